#pragma once
// TMultiCollection: the logic of the multi-device window without its widgets. It starts a
// scope measurement on every active device, takes one record from each within the collecting
// time, scales it, writes it to an intermediate device file, adds its two channels to the
// common plot, keeps interval statistics and starts the next cycle. The window shows its state
// and passes user actions in; tests drive it with fake members and hand-stepped timers.
#include <QImage>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "common/colours.h"
#include "device/devtimer.h"
#include "multi/multifiles.h"
#include "multi/multimember.h"
#include "numerics/stddev.h"
#include "plot/genkernel.h"

class QObject;

namespace tolv {

// What the window shows changed; the window refreshes the parts named.
enum MultiChange : unsigned {
  kChangedScaleTable = 1,     // rows, names or cells of the scale table
  kChangedColours = 2,        // row colours
  kChangedCheckList = 4,      // items or check states
  kChangedCollectTime = 8,    // SE_CollectTime_ms
  kChangedRunButtons = 16,    // BN_Run / BN_Break
  kChangedStatus = 32,        // DG_ and the start/stop panel
  kChangedStatistics = 64,    // the interval statistics panels
  kChangedPlot = 128,         // the plot image
  kChangedOptions = 256,      // single shot, autostart, autosave, fixed part, visible mode
};

class IMultiView {
 public:
  virtual ~IMultiView() = default;
  virtual void changed(unsigned what) = 0;
  // Lets pending window events run (records of other devices may arrive meanwhile).
  virtual void processEvents() {}
  virtual void bringToFront() {}
  virtual void showPlotPage() {}
  virtual void setBusyCursor(bool) {}
  // A multi-device run with the device windows switched to the scope mode after activation.
  virtual void saveControlsShown(bool) {}
};

// Why a device asked for a record gave none to its cycle: each reads differently to the user.
enum class MultiMiss {
  NoRecord,      // nothing is known: its run may never have reached it
  NoTrigger,     // its run went out and did not trigger (or finish) within the cycle's time
  Stopped,       // Break ended its run and no record of it came
  Transferring,  // a record of it was still coming in when the cycle ended
};

// One row of the status grid DG_.
struct MultiStatusRow {
  QString serial;
  ColorRef colour1 = kWhite, colour2 = kWhite;
  bool filled = false;  // channel cells painted (a record of this cycle arrived)
  // The device was asked for a record in this cycle and none came before the cycle ended.
  bool missing = false;
  MultiMiss why = MultiMiss::NoRecord;  // while missing
  // The device was not asked: its own window keeps it in a run of another mode (a logger run
  // going or queued), which no switch to the scope mode may cut.
  bool busy = false;
  // Break was pressed in this cycle, and the device's record may still come: the cycle waits
  // for it (and says it is still being transferred) rather than for its collecting time.
  bool owed = false;
  // Trigger moment of this device's record relative to the cycle's first trigger moment, s.
  bool hasTriggerDelta = false;
  double triggerDelta = 0;
  // Fraction-of-second digits the trigger moments are known to: a loaded file may have kept
  // milliseconds only.
  int deltaDigits = 6;
};

// What the user's last change of the active devices (or run) did beyond what was asked: the
// run going on ended, and devices were switched from another mode to the scope for good.
struct MultiActivationNotice {
  bool runEnded = false;
  QStringList switchedToScope;  // serials
  bool empty() const { return !runEnded && switchedToScope.isEmpty(); }
};

class TMultiCollection {
 public:
  using TimerFactory = std::function<ITimer&(int ms)>;
  static constexpr int kNoActive = -1140;
  // Every active device was busy with a run of its own: the run ended.
  static constexpr int kAllBusy = -1141;
  static constexpr int kNoDataSets = -118;
  static constexpr int kCollectMs = 2000;
  static constexpr int kReRunMs = 750;
  static constexpr int kUpdateActiveMs = 5000;
  static constexpr int kColourRepaintMs = 200;
  static constexpr int kHeaderMs = 200;
  static constexpr int kArrayLength = 131001;
  // A cycle that has no record at all ends this long after the collecting time, counted from
  // the start of the run: time for the trigger on top of the record's own time.
  static constexpr int kTriggerWaitMs = 10000;
  // A device busy with a reply when the cycle starts gets its run command up to one reply wait
  // later; the collecting time then grows by that much.
  static constexpr int kLateStartMs = 333;
  // A link carries 4 bytes per 127 us: the transfer time of one sample.
  static constexpr double kTransferPerSample = 0.000127;
  // Added to every record's estimate: the command's reply and the link's start.
  static constexpr double kCollectMarginS = 0.113;
  // After Break: how often a cycle waiting for records looks whether any may still come.
  static constexpr int kOwedPollMs = 100;
  // How often a device left out as busy is looked at: its mark goes once its own run is over.
  static constexpr int kBusyPollMs = 250;

  // handle: what device windows post their records to. Without a factory the collection makes
  // its own QTimers.
  TMultiCollection(IMultiMembers& members, QObject* handle, IMultiView* view = nullptr,
                   const TimerFactory& timers = {});
  ~TMultiCollection();

  void setView(IMultiView* view) { view_ = view; }

  // --- Steps --------------------------------------------------------------------------------
  int fill();                                  // F (and loads Scalings.TXT)
  int activate();                              // A
  // M; switched: the serials of devices that were in (or asked for) another mode.
  int switchToScopeMode(QStringList* switched = nullptr);
  int startRun(bool fromRequest = true);       // R
  // C. A record answers the run of the current cycle that asked for it; a record from an
  // earlier run, a second one of a device, or one after the cycle has ended is late and dropped.
  void recordArrived(const MultiRecordNotice& n);
  void collectTimeOver();                      // E (TM_CollectTimer)
  void watchdogOver();                         // no record at all since the start of the run
  void setVisibleMode(int mode);               // V
  // The mode applied again without bringing any window to the front.
  void keepVisibleMode();
  // The common plot after a cycle; counted: in the cycles count of the run.
  int draw(bool counted = true);

  // --- User actions ---------------------------------------------------------------------
  // BN_RunClick. While a cycle Break cut still waits for records its devices measured, the run
  // is queued and starts once they are in or can no longer come: started at once, its cycle
  // would take them for late ones and drop them.
  void runClicked();
  // BN_BreakClick; a run still queued behind the broken cycle is called off.
  void breakClicked();
  bool runQueued() const { return runAfterBreak_; }
  // Ends the run without cutting the cycle in flight (a headless run told to stop): no further
  // cycle starts, the open one collects on to its usual end and is drawn and saved with what
  // came. Without an open cycle the run ends at once.
  void stopAfterCycle();
  // Ends the open cycle now with what has come (a stop that cannot wait any longer).
  void endCycleNow() { endCycle(); }
  // The program ends: no run starts any more (a click on RUN waiting in the events included).
  void refuseRuns() {
    runsRefused_ = true;
    tmReRun_.stop();
  }
  void setSingleShot(bool on, bool byClick);
  bool singleShot() const { return singleShot_; }
  void setAutostart(bool on, bool byClick);
  bool autostart() const { return autostart_; }
  void setAutosave(bool on) { autosave_ = on; }
  bool autosave() const { return autosave_; }
  void setFixedPart(const QString& s) { fixedPart_ = s; }
  const QString& fixedPart() const { return fixedPart_; }
  // Off (default): every curve starts at its own trigger point. On: each device's curves are
  // moved by its trigger delta onto the common time axis of the cycle.
  void setShiftByTrigger(bool on);
  bool shiftByTrigger() const { return shiftByTrigger_; }
  void setClearBeforeDrawing(bool on) { clearBeforeDrawing_ = on; }
  bool clearBeforeDrawing() const { return clearBeforeDrawing_; }
  void setCollectTimeMs(int ms);
  int collectTimeMs() const { return collectTimeMs_; }
  // SE_CollectTime_msChange: the user's value, until the next run sets it from the records.
  void collectTimeEdited(int ms) {
    collectSource_.changed = false;
    setCollectTimeMs(ms);
  }
  // Where the collecting time comes from: the longest record since the activation (its device,
  // samples and sample interval). changed: a run start replaced another value with it, which
  // the window says until the user sets one again.
  struct CollectTimeSource {
    QString serial;
    std::int32_t depth = 0;
    double dt = 0;
    int previousMs = 0;
    bool changed = false;
  };
  const CollectTimeSource& collectTimeSource() const { return collectSource_; }
  // CLB_ACTIVE_TolvanexsClickCheck (item toggled to on/off); returns the activation result.
  int checkClicked(int item, bool on);
  int updateClicked();  // BN_UpdateClick
  void clearImage();    // BN_ClearImageClick
  // Scale table edits: cell (row >= 1, column 1..5). A number cell (columns 2..5) whose text
  // is not a usable number keeps its last valid text, so the channel is never scaled by 0 and
  // the data file always reads back: false then.
  bool setScaleCell(int row, int column, const QString& text);
  void setRowColour(int row, ColorRef c, bool byUser);
  // FormCloseQuery: saves the scalings when they changed. Closing is always allowed.
  bool closeQuery();

  // --- Files ------------------------------------------------------------------------------
  int saveScalings(const std::filesystem::path& name);  // as it is (no backup)
  // The save dialog's rules: name fixed up, an existing file kept aside first.
  int saveScalingsAs(std::filesystem::path& name);
  int loadScalings(const std::filesystem::path& name);
  std::filesystem::path scalingsPath() const;
  // What the picture on screen is of, for the actions on the record on screen ("Save as",
  // "Export record on screen"): the cycle drawn last, also while the next one collects and its
  // device files are written anew; a loaded data file; or nothing yet.
  enum class OnScreen { Nothing, Cycle, Loaded };
  OnScreen recordOnScreen() const { return onScreen_; }
  // The data file text of the record on screen: 0, or kMultiEmpty when there is none.
  int mergedRecordOnScreen(std::string& out) const;
  // Writes the record on screen as a data file: 0, kMultiEmpty or an output code.
  int saveDataFile(const std::filesystem::path& name);
  std::filesystem::path autoDataFileName() const;
  // Reads and draws a data file at once; the plot stays as it was on failure. While a cycle
  // collects, the file is shown until the cycle's picture replaces it, and the cycle keeps its
  // records, for its picture and its merged file.
  int loadDataFile(const std::filesystem::path& name);
  void setDataFileFolder(const std::filesystem::path& f) { dataFolder_ = f; }
  const std::filesystem::path& dataFileFolder() const { return dataFolder_; }

  // --- Plot -------------------------------------------------------------------------------
  void setImageSize(int w, int h);
  void prepareEmptyPlot();
  TGenD2ImgKernel& kernel() { return kernel_; }
  // The picture with the header drawn on it: while a cycle collects, the last one drawn, as
  // the window shows it (and copies, saves and prints it).
  const QImage& image() const { return lastPictureShown_ ? lastPicture_ : kernel_.Bitmap(); }
  QString headerText() const;
  void drawHeader();
  QString footerText() const;

  // --- State ------------------------------------------------------------------------------
  int rowCount() const { return int(rows_.size()) + 1; }  // with the title row
  const ScaleRowTexts& row(int r) const { return rows_[std::size_t(r - 1)]; }
  const QString& rowName(int r) const { return rowNames_[std::size_t(r - 1)]; }
  const QString& dornellName(int r) const { return dornellNames_[std::size_t(r - 1)]; }
  ColorRef rowColour(int r);  // stored, else the default colour of r
  void repaintColours();      // TM_DrawDG_Scales_ColorTimer
  // Said until the user's next change of the active devices or next RUN.
  const MultiActivationNotice& activationNotice() const { return notice_; }
  int itemCount() const { return int(itemSerials_.size()); }
  const QString& itemSerial(int i) const { return itemSerials_[std::size_t(i)]; }
  bool itemChecked(int i) const { return checked_[std::size_t(i)]; }
  void setItemChecked(int i, bool on);
  int activeCount() const { return int(active_.size()); }
  IMultiMember* activeMember(int k) const { return active_[std::size_t(k)]; }
  const std::vector<MultiStatusRow>& statusRows() const { return status_; }
  int receivedCount() const { return received_; }
  // Between the start of a cycle's runs and its end (all records in, collecting time or
  // watchdog over, or Break before any record).
  bool cycleOpen() const { return cycleOpen_; }
  // Break was pressed in the open cycle, which waits for records still on their way.
  bool breakPending() const { return cycleOpen_ && breakRequested_; }
  int cyclesCount() const { return cycles_; }
  const TStdDev& statistics() const { return stats_; }
  // Texts of PN_N_Intervals, PN_DeltaTmean, PN_DeltaTStdDev, PN_DeltaTMin, PN_DeltaTMax.
  const QString& statisticsText(int i) const { return statTexts_[std::size_t(i)]; }
  int visibleMode() const { return visibleMode_; }
  bool running() const { return running_; }
  bool scalingsChanged() const { return scalingsChanged_; }
  void markScalingsChanged() { scalingsChanged_ = true; }
  double longestEstimate() const { return longestEstimate_; }
  const QStringList& cycleFiles() const { return cycleFiles_; }
  const DayTime& cycleStamp() const { return cycleStamp_; }
  bool plotControlsShown() const { return plotControlsShown_; }
  // A cycle's first records are in but not drawn yet: the window keeps the last picture, and
  // the plot's mouse and keys wait for the new one (the curves are no longer the picture's).
  bool lastPictureShown() const { return lastPictureShown_; }
  // The data file read last that is the record on screen (one drawn beside another is not).
  const TREADing& loaded() const { return loaded_; }

  ITimer& collectTimer() { return tmCollect_; }
  ITimer& reRunTimer() { return tmReRun_; }
  ITimer& updateActiveTimer() { return tmUpdateActive_; }
  ITimer& colourTimer() { return tmColours_; }
  ITimer& headerTimer() { return tmHeader_; }
  ITimer& watchdogTimer() { return tmWatchdog_; }
  ITimer& owedTimer() { return tmOwed_; }
  ITimer& breakEndTimer() { return tmBreakEnd_; }
  ITimer& busyTimer() { return tmBusy_; }

  // Observers for run statistics: a run started on the active devices, a device's record
  // merged into the cycle, the common plot drawn.
  std::function<void()> onRunStarted;
  std::function<void(const QString& serial)> onRecordTaken;
  std::function<void()> onCycleDrawn;
  // A cycle is over, its merged file autosaved: a caller that stops after a number of cycles
  // stops here, so the last one is not taken for a cycle Break interrupted.
  std::function<void()> onCycleEnded;
  // A merged file autosave could not be written: told once per run, so a run that goes on is
  // not a cascade of messages.
  std::function<void(const std::filesystem::path& name, int rc)> onAutosaveFailed;
  // Devices' own files in the intermediate folder could not be written. Their records are kept
  // for the merged file all the same, so this is no failure of the merged file: told apart
  // from it, at a cycle's end, all the cycle's newly failed files at once, each once per run.
  std::function<void(const std::vector<DeviceFileFailure>& failed)> onDeviceFilesFailed;
  // Active devices were busy with runs of their own at the start of a cycle and left out of
  // it: told once per run, and again when none was free and the run ended for that.
  std::function<void(const QStringList& serials, bool runEnded)> onDevicesBusy;

  // Collecting estimate of one device in seconds: the record's own time N x dt, its transfer
  // N x 127 us, and 113 ms.
  static double collectingEstimate(std::int32_t depth, double dt);

 private:
  // What the cycle in progress knows of one active device.
  struct Slot {
    std::uint32_t asked = 0;  // its run count read before its run was asked for
    std::uint32_t losses = 0;  // its loss count then
    bool delivered = false;   // its record came
    bool busy = false;        // sits the cycle out (see MultiStatusRow::busy)
    // Break stopped it (one it left running owes the cycle nothing).
    bool stoppedByBreak = false;
    DayTime trigger;  // its record's trigger moment
    std::array<ColorRef, 2> colours{kWhite, kWhite};  // of the record's channels
    // The record's two curves as the plot keeps them (nullptr until it is drawn).
    std::array<const TGenD2DataSet*, 2> curves{nullptr, nullptr};
  };

  // Shows and hides the device windows as the visible-windows mode says; with onlyChanges
  // only those the mode now judges otherwise than when it last looked at them.
  void applyVisibleMode(bool onlyChanges);
  // What checkClicked and updateClicked share: activate, switch to the scope, save the
  // scalings, apply the visible mode, and say what it did beyond that (activationNotice).
  void settleActivation(int rc);
  int activateByUser();
  // The trigger deltas of the rows (and of the cycle's curves) against the earliest of the
  // members'; the curves on show move at once when shifted.
  void referDeltasToMembers();
  // The status rows of the cycle on screen, whose records `picture` describes (by serial): one
  // per member, the others kept aside, deltas referred to the members.
  void placePictureRows(std::vector<MultiStatusRow> picture);
  // One row per member with only its serial and what it does now; rows beyond them dropped.
  void emptyMemberRows();
  // The rows of a cycle's delivered records, after something emptied them mid-cycle.
  void refillCycleRows();
  // The curves on show drawn again with their shifts (unless a new cycle's records are in).
  void redrawShifted();
  // The status rows of a merged data file loaded in place of the picture on show.
  void describeLoadedFile(const TREADing& r);
  ITimer& makeTimer(int ms);
  void notify(unsigned what) {
    holdMemberRuns();
    if (view_) view_->changed(what);
  }
  // The active devices' own windows start nothing while a run or a cycle is going; the others
  // have their RUN back.
  void holdMemberRuns();
  // Stops the free devices of the run (one sitting it out keeps its own run) and marks their
  // slots stopped by Break.
  void stopRunDevices();
  // No further cycle starts; the device windows have their plots and single-shot choice back.
  void endRun();
  // The status rows of the new active list from the picture on screen: a loaded file's rows
  // from the file, a cycle's from what its rows said (before, and the rows kept aside, by
  // serial), one per member.
  void rowsFromPicture(std::vector<MultiStatusRow> before);
  void processEvents() {
    if (view_) view_->processEvents();
  }
  void resetStatistics();
  void clearDataSets();
  // Adds a read file's curves, each to be moved by its own record's trigger delta.
  void addFileCurves(const TREADing& r);
  // A file loaded while a cycle collects, with clearing before drawing: its own picture is
  // shown, the plot keeps the cycle's curves. bytes are taken.
  int showFileInPlaceOfPicture(const TREADing& r, std::string& bytes, char sep);
  void setStatisticsDashes();
  void updateEstimate(IMultiMember* m);
  // The collecting time from the longest estimate; told as a change when byRun and the value
  // was another.
  void setCollectTimeFromEstimate(bool byRun);
  void ensureRows(int rows);
  // forCycle: a cycle's picture, which brings the plot page to the front only as the run's
  // first: the user may have turned to another page since.
  int renderPlot(bool toFront = true, bool forCycle = false);
  void dropLastPicture() {
    lastPictureShown_ = false;
    fileInPlace_ = false;
    lastPicture_ = QImage();
  }
  ScalingsData scalingsData() const;
  void applyScalings(const ScalingsData& d);
  void endCycle();
  void closeCycleQuietly();
  void finishOpenCycle();
  // After Break: marks the rows whose records may still come; true when there is one.
  bool markOwed();
  // After Break: the cycle ends as soon as no record of it can come any more, from a zero-time
  // timer: notices posted before it are taken first, and no record handler runs inside another.
  void endIfNothingOwed();
  void breakEndDue();
  // A cycle Break cut before any record came ends without a picture or file of its own.
  void closeBrokenCycleQuietly();
  // Clears the busy mark of each device whose own run is over (or whose mode changed).
  void refreshBusyMarks();
  // A run has ended: the device windows draw their own records again (and keep their plot
  // mode in their stored settings) and have their own single-shot choice back.
  void plotSwitchesOn();
  // Applies an activation asked for while the cycle waited, then starts the run queued behind
  // a broken cycle, now that the cycle has ended.
  void startQueuedRun();
  // Why active device k gave no record to the cycle now ending.
  MultiMiss missReason(std::size_t k);
  void updateTriggerDeltas();
  // Moves each drawn curve by its device's trigger delta (or back to 0).
  void applyShifts();
  // Adds the curve to the plot and returns it as the plot keeps it (nullptr if it was not
  // taken).
  const TGenD2DataSet* addChannelSet(const QString& name, const QString& yUnit, ColorRef colour,
                                     const double* t0dt, int n, const double* values,
                                     const ScaleRowValues& v);
  int askedCount() const {
    return activeCount() -
           int(std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; }));
  }
  // k may be a status row beyond the active devices (a loaded file's device).
  bool busyAt(std::size_t k) const { return k < slots_.size() && slots_[k].busy; }
  // The plot's curves are gone: what was kept about them goes too.
  void forgetCurves();

  IMultiMembers& members_;
  QObject* handle_ = nullptr;
  IMultiView* view_ = nullptr;
  std::vector<std::unique_ptr<TQtTimer>> ownTimers_;
  ITimer& tmCollect_;
  ITimer& tmReRun_;
  ITimer& tmUpdateActive_;
  ITimer& tmColours_;
  ITimer& tmHeader_;
  ITimer& tmWatchdog_;
  ITimer& tmOwed_;
  ITimer& tmBreakEnd_;
  ITimer& tmBusy_;

  std::vector<ScaleRowTexts> rows_;  // rows_[r - 1] is table row r
  QStringList rowNames_;
  QStringList dornellNames_;
  TIntList colours_;
  QStringList itemSerials_;
  std::vector<bool> checked_;
  std::vector<IMultiMember*> active_;
  std::vector<MultiStatusRow> status_;
  // Rows of the cycle on screen whose devices left the active list (placePictureRows).
  std::vector<MultiStatusRow> asideRows_;

  int received_ = 0;
  int cycles_ = 0;
  int firstRecord_ = 0;
  DayTime previous_;
  DayTime current_;
  DayTime cycleStamp_;
  TStdDev stats_;
  QString statTexts_[5];
  QStringList cycleFiles_;
  double longestEstimate_ = 0;
  int visibleMode_ = 3;
  // What the mode last asked of each device's window, by serial: a window the user closed or
  // opened since keeps that until the mode's answer for it changes.
  std::map<QString, bool> shownAsked_;
  bool scalingsChanged_ = true;
  bool running_ = false;
  bool breakRequested_ = false;  // Break pressed since the last start of a run
  bool runAfterBreak_ = false;   // RUN pressed while the broken cycle waits (runClicked)
  bool activateAfterCycle_ = false;  // activated while a cycle still waited for records
  bool lastCycle_ = false;       // stopAfterCycle: the open cycle is the run's last
  bool runsRefused_ = false;     // refuseRuns
  bool autosaveFailureTold_ = false;  // in this run
  std::set<std::filesystem::path> deviceFilesToldFailed_;  // in this run
  std::vector<DeviceFileFailure> deviceFilesFailedNow_;  // in this cycle, still to be told
  bool busyTold_ = false;             // in this run
  bool plotPageDue_ = false;  // the first picture of a run started by request is still to come
  MultiActivationNotice notice_;
  bool cycleOpen_ = false;  // see cycleOpen()
  // From a cycle's end until its picture is drawn: a click handled meanwhile still meets the
  // cycle's records, not yet drawn or saved.
  bool cycleEnding_ = false;
  bool fileInPlace_ = false;  // the last picture is a file loaded while a cycle collected
  bool collectingRecords() const { return (cycleOpen_ || cycleEnding_) && received_ > 0; }
  int collectExtensions_ = 0;  // times the collecting time was given again for a record coming
  int lateStartMs_ = 0;        // added to this cycle's collecting time for a device started late
  // Counts the cycles started: work that lets events run ends only the cycle it began with.
  std::uint64_t cycleGen_ = 0;
  // One per active device, in active order: made afresh for every cycle and at activation.
  std::vector<Slot> slots_;
  // Curves drawn: the trigger delta of the record each belongs to, and the shift applied to
  // it. By curve, not by name: a loaded file's curves may bear the names of the cycle's.
  std::map<const TGenD2DataSet*, double> curveDelta_;
  std::map<const TGenD2DataSet*, double> appliedShift_;
  // The curves of the cycle's records: only they follow the members' earliest trigger, not
  // those of a data file (its rows keep the deltas stored in it).
  std::set<const TGenD2DataSet*> pictureCurves_;
  bool singleShot_ = true;
  bool autostart_ = false;
  bool autosave_ = false;
  bool clearBeforeDrawing_ = true;
  bool shiftByTrigger_ = false;
  bool plotControlsShown_ = false;
  bool lastPictureShown_ = false;
  QImage lastPicture_;   // while lastPictureShown_: the picture drawn last
  QString lastHeader_;   // and its header
  QString fixedPart_;
  int collectTimeMs_ = kCollectMs;
  CollectTimeSource collectSource_;
  std::filesystem::path dataFolder_;

  TGenD2ImgKernel kernel_;
  TREADing loaded_;
  // Point storage of the last cycle's curves and the file text, kept for the next cycle: fresh
  // memory for 2 x 131000 points per device costs more than filling it.
  std::vector<TD2PointsLst> pointPool_;
  std::string fileBuffer_;
  // Device file texts as written (a file that failed to write is not kept): this cycle's, and,
  // while it collects, those of the cycle on screen. The buffers swap between the two, so a
  // cycle costs no fresh memory.
  struct KeptDeviceText {
    std::filesystem::path name;
    std::string text;
    char sep = '\t';  // the column separator it was written with
  };
  std::vector<KeptDeviceText> cycleTexts_, shownTexts_;
  std::size_t cycleTextCount_ = 0, shownTextCount_ = 0;
  // The first count of kept joined into one data file text: 0 or kMultiEmpty.
  static int mergeKept(const std::vector<KeptDeviceText>& kept, std::size_t count,
                       std::string& out);
  OnScreen onScreen_ = OnScreen::Nothing;
  bool shownHeld_ = false;   // the cycle on screen is in shownTexts_, a new one collects
  std::string loadedText_;   // the data file loaded last, as read
  // The data files drawn beside the cycle on screen, there to compare (loaded while it
  // collected, or with clearing before drawing off): they go with the next cycle's first record,
  // which clears every curve, with a cycle that ends empty, with Clear image or a file loaded in
  // place of the picture. The header names their record times after its own, so the picture
  // says it holds others' records.
  std::vector<TREADing> beside_;
  char loadedSep_ = '\t';    // and the column separator it was written (and read) with
};

}  // namespace tolv
