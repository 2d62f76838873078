#pragma once
// The acquisition cycle of one device window as a plain class: the follow-up tick that reads
// what the device sent and writes the next queued command, the run/stop/single-shot/overlap
// controls, the run state, reply decoding, record completion, the start-up restore stages and
// the closing sequence. Widgets stay outside: the window listens through IAcquisitionHost and
// drives the timer handlers through ITimer.
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "device/cmdqueue.h"
#include "device/decoding.h"
#include "device/devtimer.h"
#include "device/records.h"
#include "device/settingsrecord.h"
#include "ftdi/device_link.h"
#include "wire/wiremeasure.h"
#include "wire/wiresettings.h"

namespace tolv {

enum class RunState { Idle = 0, RunQueued = 1, Measuring = 2, Transferring = 3, FilePlotting = 4 };

// How `PN_Running`, `BN_Run` and `BN_BREAK` look in a run state. While a finished record is
// saved and drawn in a run that goes on, STOP keeps its place under the pointer: RUN there
// would take a click meant to stop the run as a request for another one. A run being stopped
// shows what the next press does instead (see StopShow).
struct RunStateLook {
  bool buttonFace = false;  // the system's button-face colour instead of rgb
  std::uint32_t rgb = 0;    // 0xRRGGBB
  bool runVisible = true;
  bool breakVisible = false;
};
RunStateLook runStateLook(RunState s, bool runGoesOn = false);

// What a run had when its device went away.
struct LostRun {
  FtStatus status = kFtOk;  // the failing status that told, 0 when the device went silently
  ModeCode mode = 0;
  bool running = false;         // a run was queued or in progress: it has ended
  bool loggerClosed = false;    // a logger stream was closed with what had come
  std::int32_t bytesCut = 0;    // bytes of a record cut short and discarded (0: none)
  std::int32_t bytesExpected = 0;
};

// A stop that waits for the record in flight: the device has the stop but finishes sending what
// it began, and the run ends when that is in (it is kept like any other record).
struct StopShow {
  bool on = false;         // STOP was pressed and the run has not ended yet (its last record
                           // may be in its steps)
  int percent = -1;        // how much of the record has come, -1 for a logger stream
  // The device has sent nothing for a while, or its record has been trickling in too slowly
  // to end soon: a STOP press writes the stop again (STOP's hint says so once it is shown).
  bool stopAgain = false;
  // A stop is under way (a voltmeter's too, which is not shown as stopping): each press still
  // counts, and RUN or STOP shows what the presses so far want.
  bool pending = false;
  // START was pressed meanwhile (and not taken back): a new run begins once the stop is done.
  bool startAfter = false;
  bool operator==(const StopShow&) const = default;
};

// RUN or STOP, as the run state has them; while a stop is under way the one that fits the
// user's last press: RUN after a STOP, STOP after a START that waits for the stop to end.
RunStateLook runStateLook(RunState s, bool runGoesOn, const StopShow& stop);

// What the window does with the cycle's events. Every method has a do-nothing default.
class IAcquisitionHost {
 public:
  virtual ~IAcquisitionHost() = default;
  // Lets pending window events run (called at every run-state change and after the overlap step).
  virtual void processEvents() {}
  virtual void runStateChanged(RunState) {}
  // STOP is under way (or over): shown at once, while the device still sends.
  virtual void stopShowChanged(const StopShow&) {}
  virtual void queueCountChanged(int /*count*/) {}
  virtual void runEnabledChanged(bool) {}
  virtual void controlsEnabledChanged(bool) {}
  virtual void singleShotChanged(bool) {}
  virtual void overlapChanged(bool) {}
  virtual void identificationChanged(const QString&) {}
  // A settings reply (or an I/O reply merged into the stored one) is to be shown.
  virtual void settingsReplyApplied(const SettingsReply&, bool /*controlsEnabled*/) {}
  // The device answered a settings write with another sample time than the one written (a
  // logger faster than its link, a time between its clock's steps): the user is told.
  virtual void sampleTimeAdjusted(double /*asked*/, double /*got*/) {}
  // After an I/O reply; the I/O counter test queues its next command from here.
  virtual void ioReplyApplied(const SettingsReply&) {}
  virtual void modeRequested(ModeCode) {}  // the selector shows the chosen mode
  virtual void modeConfirmed(ModeCode) {}  // the device reported it: apply the mode layout
  // Start-up stage 1: the window-only options of the loaded settings (plot mode, geometry, ...).
  virtual void windowOptionsRestored(const SettingsRecord&) {}
  virtual void scopeTabToFront() {}
  virtual void voltmeterRunRequested() {}  // RUN in a voltmeter mode: empty the chart list
  virtual void drawProgressChanged(bool /*visible*/, int /*value*/) {}
  virtual void saveLastSettings() {}  // close query
  virtual void closeAgain() {}        // the close timer's tick
  // The device has gone from the bus: the run has ended, what arrived is kept.
  virtual void deviceLost(const LostRun&) {}
  // It is back and open again; its settings are on their way to it.
  virtual void deviceBack() {}
  // Whether the start of the record just handed over may be shifted: its bytes could be a rest
  // the device kept back of the record before, followed by the record, as well as the record
  // with its own rest behind it, and neither their timing nor the device's habit told which.
  // Told at each scope or logic-analyser record whose start was in question.
  virtual void recordHeadInDoubt(bool /*doubt*/) {}
};

// The timers the cycle runs on; the window owns them.
struct AcquisitionTimers {
  ITimer& followUp;            // TM_FolowUp
  ITimer& accumulateSettings;  // TM_AccumulateSettings
  ITimer& settings;            // TM_Settings, start-up stages in its tag
  ITimer& close;               // TM_Close
};

// The four timers as QTimers, for the window.
struct TQtAcquisitionTimers {
  TQtTimer followUp;
  TQtTimer accumulateSettings;
  TQtTimer settings;
  TQtTimer close;
  AcquisitionTimers refs() { return {followUp, accumulateSettings, settings, close}; }
};

class TAcquisition {
 public:
  static constexpr int kFollowUpInitialMs = 47;
  static constexpr int kAccumulateMs = 250;
  static constexpr int kSettingsFirstMs = 400;
  static constexpr int kStage1NextMs = 789;
  static constexpr int kStage2NextMs = 800;
  static constexpr int kCloseMs = 1000;
  // Bound of the read loop of one tick, so a device that never stops sending cannot hold it.
  static constexpr int kMaxReadsPerTick = 256;
  static constexpr int kEmptyQueue = -2230;
  // Polls without a byte after which a stopped device counts as silent: STOP goes again.
  static constexpr int kStopQuietPolls = 8;
  // A logger stream has no end of its own to wait for: after this many polls (about 2 s at the
  // run's 67 ms) STOP goes again even while it streams, in case the first stop was lost. A
  // scope or logic-analyser record after as many polls too, unless it is coming fast enough
  // to be in within kStopRecordDueMs.
  static constexpr int kLoggerStopAgainPolls = 30;
  static constexpr int kStopRecordDueMs = 30000;
  // After STOP the device sends its record within its reply latency (what its memory holds),
  // or once the triggered record is measured. One silent this much longer than that, with
  // nothing of the record come, has lost it: the run ends.
  static constexpr int kStopSilentMs = 1000;
  // After a run whose bytes may still come (its command failed after some may have left, or
  // a stopped device fell silent), no command goes out until the link has been this quiet, so
  // a late record is read and dropped rather than taken as the next command's reply.
  static constexpr int kStaleQuietMs = 500;
  // How long such bytes may keep coming at most. A logger that got its run after all streams
  // until its stop lands. Otherwise one record is all that can be on its way (the stop sent
  // with the failure, or the user's, has the device send it at once): its reply latency and
  // its bytes at 4 per 127 us as the multi-device window reckons, with slack for a slower real
  // link; bytes past that are no part of it, and the link's quiet time follows.
  static constexpr int kStaleLoggerHoldMs = 2000;
  static constexpr int kRecordLatencyMs = 113;
  static constexpr int kTransferUsPer4Bytes = 127;
  // After a cut record whose rest was not counted on, a read longer than the awaited reply,
  // or one this long with none awaited (any, for a shorter rest), is that rest come late:
  // a reply given up that comes late is short, a rest comes in reads of thousands of bytes.
  static constexpr std::size_t kLateRestBytes = 256;
  // The longest a device is counted on to keep such a rest back.
  static constexpr int kLateRestMaxDelayMs = 2000;
  // How long replies given up stay counted, from the latest: their bytes are told from a later
  // reply and from the head of a record by that count. A device this late answers no command in
  // its wait (a write's is 333 ms) and is not one the cycle can keep up with; a reply it dropped
  // for good must not leave a reply or a record minutes later in doubt.
  static constexpr int kLostReplyKeptMs = 4 * kStaleQuietMs;
  static std::int64_t staleHoldMaxUs(ModeCode mode, double memoryDepth);

  TAcquisition(TDeviceLink& link, AcquisitionTimers timers, IRecordSink& sink,
               IAcquisitionHost* host = nullptr);
  ~TAcquisition();
  TAcquisition(const TAcquisition&) = delete;
  TAcquisition& operator=(const TAcquisition&) = delete;

  // Every acquisition of the process asks its driver whether its record in flight has come
  // whole and keeps the first moment it had as that record's reception time. Done before a
  // record's steps run, so a record that comes while they hold the thread is dated when it came,
  // not when its own tick gets round to it.
  static void peekAll();

  // --- Opening and start-up ---------------------------------------------------------------
  // Opens the link and restores: `restore` loads "LastSettings" and returns 0 (loaded), 2 (no
  // such file) or a file error. Returns the link status when the open failed, else that result.
  int open(const std::function<int(SettingsRecord&)>& restore);
  // The start-up after a successful open, for a window that opens the link itself.
  void startUp(int restoreResult, const SettingsRecord* loaded);

  // --- Timer handlers (each first disables its own timer) -----------------------------------
  void onFollowUpTimer();
  void onAccumulateSettingsTimer();
  void onSettingsTimer();
  void onCloseTimer();

  // --- Controls -----------------------------------------------------------------------------
  // BN_Run. While a stop waits for the device the press is kept instead: the run begins once
  // the stop is done (see startAfterStop).
  void runClicked();
  // BN_BREAK; takes back a start kept while the stop it waits for is under way.
  void stopClicked();
  // A run asked for by another window (the multi-device collection): as RUN, but the run
  // command is written before this returns when nothing else is in flight, no window events
  // run meanwhile and the window's display of it waits for showDeferredState, so the runs of
  // several devices go out back to back.
  void runNow();
  // Shows the run state, the locked controls, RUN and the queue count as they are now, when
  // runNow left them unshown.
  void showDeferredState();
  void setSingleShot(bool on);
  void setOverlap(bool on);
  void queueRun();
  // Writes queued commands until one awaits a reply; returns the last write status (-2230 when
  // the queue was empty).
  int drain();
  // Mode selection: only while the controls are enabled; "*SMd" only when the device is in
  // another mode.
  void selectMode(ModeCode mode);
  // A setter changed the desired settings: restart the debounce unless a reply is awaited.
  void requestSettingsWrite();
  // The I/O counter test's next command (does not enable the follow-up timer).
  void queueIoCounter(std::uint32_t counter, std::int32_t count0IntervalMs,
                      std::int32_t count1IntervalMs);
  void setMultiRegistered(bool on) { multiRegistered_ = on; }
  bool multiRegistered() const { return multiRegistered_; }
  // The clock records are stamped from (the system's unless set; tests step their own).
  void setDayClock(const TDayClock* c) { clock_ = c ? c : &TDayClock::system(); }
  const TDayClock& dayClock() const { return *clock_; }
  // Window message 1038: 0..100 shows the drawing progress, anything else hides it.
  void drawProgress(int value);

  // --- Devices that come and go ---------------------------------------------------------------
  // The device has gone (a failing call and it is no longer listed, or the system said so):
  // the run ends, a logger stream is closed with what came, a record cut short is discarded,
  // the handle is released and nothing is written until reconnect. Once per loss.
  void linkLost(FtStatus status);
  // Opens the device again after a loss and sends it the window's mode and settings, since a
  // device plugged in again starts with its power-on ones. Returns the open status (0 also
  // when the link was not lost).
  int reconnect();
  bool lost() const { return lost_; }
  // Links lost so far: a loss and reconnect in between leaves lost() false, this one not.
  std::uint32_t lossCount() const { return losses_; }
  // A record is being handed over (its steps, which let events run, have not returned yet):
  // whoever runs inside them leaves the link alone, since the steps go on with it afterwards.
  bool recordStepGoing() const { return recordStep_ > 0 || runState_ == RunState::Transferring; }

  // --- Closing ------------------------------------------------------------------------------
  void closeQuery();  // stops the device, stores "LastSettings", sets ClosingFlag
  void close();       // releases the link

  // --- State ------------------------------------------------------------------------------------
  RunState runState() const { return runState_; }
  // Sets the run state (the window uses FilePlotting while it plots a stored file).
  void setRunState(RunState s);
  int replyTag() const { return replyTag_; }
  bool stopRequested() const { return stopRequested_; }
  // STOP was pressed during a measurement whose bytes have not all come yet.
  bool stopping() const;
  // STOP was pressed and the run it ends has not ended yet: its record is still coming, or in
  // its steps.
  bool stopPending() const;
  // A START pressed during such a stop, to be acted on once when the stop is done.
  bool startAfterStop() const { return startAfterStop_; }
  // Takes back such a start when runNow kept it: the window that asked for the run is done
  // with the device, and the run would go on as the device's own.
  void dropStartAfterStop();
  const StopShow& stopShow() const { return stopShow_; }
  bool closing() const { return closing_; }
  bool singleShot() const { return singleShot_; }
  // Another run follows the record now in its steps, unless STOP comes first.
  bool runGoesOn() const;
  bool overlap() const { return overlap_; }
  bool runEnabled() const { return runEnabled_; }
  bool controlsEnabled() const { return controlsEnabled_; }
  std::int32_t expectedByteCount() const { return expected_; }
  ModeCode mode() const { return mode_; }              // the window's mode (device-confirmed)
  ModeCode deviceMode() const { return deviceMode_; }  // last reported by the device
  // The mode the window asked for last (the device's mode when nothing is on its way).
  ModeCode requestedMode() const { return requestedMode_; }
  // A settings reply has arrived since the link was opened: memory depth and ranges are known.
  bool settingsKnown() const { return settingsKnown_; }
  // A loss cut the start-up: the window holds its outcome, the device gets it on reconnect.
  bool startUpInterrupted() const { return startUpInterrupted_; }
  const QString& identification() const { return identification_; }
  const SettingsReply& storedReply() const { return storedReply_; }
  const std::array<std::uint8_t, SettingsReply::kSize>& storedReplyBytes() const {
    return storedReplyBytes_;
  }
  SettingsWriteBlock& desired() { return desired_; }
  ConversionInputs& conversion() { return conv_; }
  const SettingsRecord& loadedSettings() const { return loaded_; }
  TCmdQueueList& queue() { return queue_; }
  const EndMarkerDetector& endMarker() const { return endMarker_; }
  bool drawProgressVisible() const { return drawVisible_; }
  int drawProgressValue() const { return drawValue_; }
  int lastRecordResult() const { return lastRecordResult_; }
  int lastLoggerResult() const { return lastLoggerResult_; }
  // Bytes of an over-long record still to be dropped from the head of the driver's queue.
  std::uint32_t pendingDiscard() const { return discard_ + rest_; }
  // Run commands written so far; a record answers the run written last before it.
  std::uint32_t runsWritten() const { return runsWritten_; }
  // Stamp of the last scope or logic-analyser record.
  const RecordStamp& lastStamp() const { return stamp_; }
  // The run command written last is still waiting for its record (or its logger stream).
  bool runInFlight() const { return inFlight_; }
  // The record of the last run is on its way: its bytes are coming in (the driver holds some),
  // or in but not yet handed over.
  bool recordComing();

 private:
  // Kinds of lateRest_: a rest kept back whole; what a rest that stopped short still owes;
  // and the rest a record whose head stayed in doubt owes if its head was the rest before.
  enum class Owed : std::uint8_t { Whole, Short, Doubt };
  // A kept-back rest comes as soon as a command is written; a record not before its part after
  // the trigger is measured. Early: the first bytes came before that; Late: not at once.
  enum class Head : std::uint8_t { Unknown, Early, Late };

  void setRunEnabled(bool on);
  void setControlsEnabled(bool on);
  // What RUN does when no stop is under way.
  void startRun();
  // STOP's word to the device, with what it means for a repeat and for a voltmeter series.
  void sendStop();
  // The stop under way has ended: a START pressed meanwhile begins its run now, once.
  void startIfWanted();
  // The record's steps proper (recordComplete acts on a start kept meanwhile after them).
  void recordSteps();
  void showQueueCount();
  void queueCommand(const QueuedCommand& c, bool enableFollowUp);
  void queueIdentification();
  bool readReply(std::uint32_t n);
  bool readMeasurement(std::uint32_t n);
  std::span<const std::uint8_t> dropDiscarded(std::span<const std::uint8_t> bytes);
  // The rest counted in lateRest_ has come after all: the device sends the rest of its cut
  // records, this late. `keptBack`: it came only with the next command (ahead of its reply or
  // of the next run's record), so the device sends none behind a record and the next one need
  // not wait for it.
  void lateRestCame(bool keptBack);
  // A rest not counted on is to be watched for from `fromUs` (0 bytes: none is).
  void watchLateRest(std::uint32_t bytes, Owed kind, std::int64_t fromUs);
  // The time the device needs at least to measure a record's part after its trigger, us.
  double afterTriggerUs() const;
  // What the timing of the run's first bytes says about them (see head_).
  Head headTiming() const;
  // A record in whole whose head may be a rest, with the link quiet and no more bytes than
  // the device sends for it: decides where its head is and hands it over.
  void headOnQuiet();
  // Keeps what a read brought beyond a record whose head is in doubt, as far as it may be needed.
  void keepBeyond(std::span<const std::uint8_t> bytes);
  // What may come ahead of the run's record: a rest kept back (it comes before any reply, so
  // it alone is judged while owed), else the replies given up when the run went out.
  std::uint32_t headAhead() const { return lateRest_ > 0 ? lateRest_ : replyAhead_; }
  // The first `bytes` of the run came ahead of its record: they leave the record's head, and
  // what followed takes its place. What has not come of them yet is dropped by its count.
  void dropHead(std::uint32_t bytes);
  // That came ahead of the record (the run brought more than the device sends for it).
  void takeHeadAhead();
  // The record is in: what may still come of it is counted, then its steps run. `doubt`: its
  // head stayed in doubt.
  void recordIn(std::uint32_t queued, bool doubt = false);
  void dispatchReply(std::span<const std::uint8_t> bytes);
  void applySettingsReply();
  void applyStartUpStage(int stage);
  void applyStartUpLocally(int from);
  void loggerStream(std::span<const std::uint8_t> bytes);
  void runPreparation();
  void noteArrival(std::int32_t fill);
  // Asks the driver, without reading, whether the record in flight has come whole, and keeps
  // the first moment it had (see peekAll).
  void peekArrival();
  int pollIntervalMs(std::int32_t fillBefore) const;
  // Idle, or RunQueued when a run is waiting in the queue.
  void settle();
  void recordComplete();
  // losses: the count of losses when the record step began; a loss since ends the step.
  bool overlapStep(std::uint32_t losses);
  bool holdRunForSettings(const QueuedCommand& run);
  void dropQueuedRuns();
  // Tells the window how a stop under way stands, when that has changed.
  void showStop();
  // The run was stopped and the device has stayed silent since, with nothing of its record
  // come, for longer than it takes to send it (see kStopSilentMs).
  bool stoppedAndSilent() const;
  // Ends such a run in Idle; what may still come later is dropped (see kStaleQuietMs).
  void abandonStoppedRun();
  // No command may go out yet: bytes of an earlier run may still be on their way.
  bool holdForStaleBytes();
  // A reply whose wait ended without it may still come (see replyLostUs_).
  bool lateReplyMayCome();
  // Closes the voltmeter series a stop left open for the reading in flight.
  void closeVoltmeterSeries();
  // A command other than a run waits: a cut record's rest judged kept back may come behind it.
  bool restMayFollowRecord() const;
  // The bytes of the replies given up that may still come at `atUs` (see kLostReplyKeptMs).
  std::size_t lostReplyBytes(std::int64_t atUs) const;
  // A stop under way may be sent again: the device has gone silent, or a logger keeps streaming.
  bool stopMayRepeat() const;
  void showRequestedMode(ModeCode mode);
  // A failing status: when it is one a vanished device gives and the device is no longer
  // listed, the link is lost. Returns true then.
  bool goneAfter(FtStatus st);

  TDeviceLink& link_;
  AcquisitionTimers t_;
  IRecordSink& sink_;
  IAcquisitionHost nullHost_;
  IAcquisitionHost& host_;

  TCmdQueueList queue_;
  RunState runState_ = RunState::Idle;
  int replyTag_ = kTagNone;
  bool stopRequested_ = false;
  bool startAfterStop_ = false;
  bool startAfterForOther_ = false;  // that start came from runNow
  int quietPolls_ = 0;  // polls in Measuring that found nothing since the last byte or ZZZZ
  int stopPolls_ = 0;   // polls in Measuring since the last ZZZZ
  std::int64_t firstStopUs_ = -1;  // the run's first ZZZZ that was written (-1: none)
  std::int64_t lastStopUs_ = 0;    // the latest ZZZZ that was written, and the record's fill then
  std::int32_t lastStopFill_ = 0;
  std::int64_t lastByteUs_ = 0;    // the latest read that brought bytes
  std::int64_t staleSinceUs_ = -1;  // commands wait for a quiet link since then (-1: they don't)
  bool holdForRest_ = false;  // that wait is for the rest of a cut record alone (see below)
  // When the wait for a reply ended with nothing come (-1: none did, or bytes came since). A
  // slow device sends it all the same, before answering a run written meanwhile: the run waits
  // a while, so the late reply is dropped rather than read as the head of its record.
  std::int64_t replyLostUs_ = -1;
  std::size_t lostBytes_ = 0;  // the bytes of the replies given up since bytes came last
  std::size_t lostLast_ = 0;   // of those, the newest one's
  std::uint32_t replyAhead_ = 0;  // of those, still counted when the run in flight went out
  StopShow stopShow_;
  bool closing_ = false;
  bool voltmeterStopOwed_ = false;  // stopped with a reading in flight: close after it
  bool singleShot_ = false;
  bool overlap_ = false;
  bool runEnabled_ = false;
  bool controlsEnabled_ = true;
  bool controlsWanted_ = true;  // as the run has them, before a start kept for after a stop
  bool multiRegistered_ = false;
  bool inTick_ = false;
  bool lost_ = false;
  std::uint32_t losses_ = 0;  // links lost so far: tells a loss (and reconnect) meanwhile
  bool startUpInterrupted_ = false;  // a loss cut the start-up: the reconnect ends it
  bool desiredSet_ = false;          // desired_ holds reported or loaded settings, not zeros
  int recordStep_ = 0;        // depth of recordComplete
  bool quiet_ = false;               // state changes let no window events run (runNow)
  bool deferShow_ = false;           // state changes are not shown yet (runNow)
  bool showPending_ = false;
  bool inFlight_ = false;            // a written run command has not ended yet
  int pollMs_ = kFollowUpInitialMs;  // wait interval of the command written last
  const TDayClock* clock_ = &TDayClock::system();
  std::unique_ptr<TDayClock> ownClock_;
  std::uint32_t runsWritten_ = 0;
  std::uint32_t commandsTaken_ = 0;  // commands taken from the queue to be written so far
  RecordStamp stamp_;
  // Arrival of the record in progress: the first and the latest read that brought bytes.
  int reads_ = 0;
  std::int64_t firstUs_ = 0, lastUs_ = 0, receivedUs_ = 0, transferUs_ = 0;
  std::int32_t firstFill_ = 0, lastFill_ = 0;
  double linkPerUs_ = 0;      // bytes per microsecond the link was seen to carry
  std::int64_t queryUs_ = 0;  // when the driver's queue was asked last
  std::int64_t peekUs_ = -1;  // when a peek first saw the record whole (-1: not yet)
  std::int32_t expected_ = 0;
  // Bytes beyond a record: a depth past the buffer has the device send more than the buffer
  // holds (the rest), and a device may send that rest behind its record, late, only with the
  // next command, or not at all. What each field means, and when it is cleared:
  //
  //  field          meaning                                              cleared / reset
  //  deviceBytes_   bytes the device sends for the run in flight         set at each run
  //  seenBytes_     bytes of this run come so far (drops excluded)       0 at each run
  //  discard_       bytes queued with a finished record: dropped first   as they are read
  //  rest_          rest of a cut record counted on: dropped by count    as it comes; 0 once
  //                                                                      the link is quiet
  //  restProbe_     rest_ as the hold for it began (did any come?)       when that hold ends
  //  holdForRest_   commands wait for rest_ or a quiet link from         when that hold ends
  //                 staleSinceUs_
  //  restKind_      what the device did with its last rest (NotSent:     anew at each cut
  //                 none behind its record, maybe with the next run)     record, on loss
  //  lateRest_      a rest not counted on, watched for ahead of the      when it comes, at the
  //                 next reply or record (owed_ says which kind)         next record, on loss
  //  lateFromUs_    when that rest was due                               with lateRest_
  //  restDelayUs_   longest a rest was seen kept back                    on loss
  //  restAheadSeen_ the device once sent a kept-back rest ahead          on loss
  //  undecided_     record in whole, lateRest_ (or replyAhead_, the      once decided
  //                 replies given up) may be at its head
  //  beyond_        bytes after such a record, kept until decided        once decided
  //  runUs_, emptyUs_, head_  when the run went out, the last empty      at each run
  //                 query since, and what that timing says of its first bytes
  //  headDoubt_     the last record's head stayed in doubt (told once)   at the next record
  std::int64_t deviceBytes_ = 0, seenBytes_ = 0;
  std::uint32_t discard_ = 0;
  std::uint32_t rest_ = 0;
  std::uint32_t restProbe_ = 0;
  std::uint32_t lateRest_ = 0;
  Owed owed_ = Owed::Whole;
  // A device that sent one late sends the next one as late, so the wait for it allows that long.
  std::int64_t lateFromUs_ = 0;
  std::int64_t restDelayUs_ = 0;
  bool restAheadSeen_ = false;
  bool undecided_ = false;
  std::vector<std::uint8_t> beyond_;
  enum class RestKind : std::uint8_t { Unknown, Sent, NotSent };
  RestKind restKind_ = RestKind::Unknown;
  std::int64_t runUs_ = 0, emptyUs_ = 0;
  Head head_ = Head::Unknown;
  bool headDoubt_ = false;
  ModeCode mode_ = 0;
  ModeCode deviceMode_ = 0;
  ModeCode requestedMode_ = 0;
  ModeCode modeInFlight_ = 0;  // mode of the "*SMd" written last, while its reply is awaited
  bool settingsKnown_ = false;
  // The stored reply is what the device holds now: no settings write, mode command or new
  // connection since it came. Only then does its timing tell where a record starts.
  bool settingsCurrent_ = false;
  bool readSettingsFirst_ = false;  // a settings read goes out ahead of the next run (once)
  bool writeAwaited_ = false;       // the reply awaited is a settings write's
  float askedSampleTime_ = -1;  // of the settings write in flight, -1 for other commands
  float readBackAsked_ = -1;    // of a write to be read back (see readSettingsFirst_), else -1
  bool triggerForced_ = false;  // the queued run has had its write with a type its mode offers
  QString identification_;
  SettingsReply storedReply_;
  std::array<std::uint8_t, SettingsReply::kSize> storedReplyBytes_{};
  SettingsWriteBlock desired_;
  ConversionInputs conv_;
  SettingsRecord loaded_;
  EndMarkerDetector endMarker_;
  bool drawVisible_ = false;
  int drawValue_ = 0;
  int lastRecordResult_ = 0;
  int lastLoggerResult_ = 0;
};

}  // namespace tolv
