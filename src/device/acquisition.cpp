#include "device/acquisition.h"

#include <QScopeGuard>
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "device/settingstables.h"
#include "wire/wirebytes.h"

namespace tolv {

RunStateLook runStateLook(RunState s, bool runGoesOn) {
  switch (s) {
    case RunState::Idle:
      return {true, 0, true, false};
    case RunState::RunQueued:
      return {false, 0xFFFF00, false, true};
    case RunState::Measuring:
      return {false, 0xFF0000, false, true};
    case RunState::Transferring:
      return {false, 0x00FF00, !runGoesOn, runGoesOn};
    case RunState::FilePlotting:
      return {false, 0x008000, true, false};
  }
  return {};
}

RunStateLook runStateLook(RunState s, bool runGoesOn, const StopShow& stop) {
  // A stop under way keeps its place under the pointer as the other button: a press there is
  // the user's next wish, RUN after the STOP, STOP after a START waiting for the stop to end.
  RunStateLook look = runStateLook(s, runGoesOn || stop.pending);
  if (stop.pending && s != RunState::FilePlotting) {
    look.runVisible = !stop.startAfter;
    look.breakVisible = stop.startAfter;
  }
  return look;
}

namespace {

// Bytes of the reply a tag waits for (0: none is awaited).
std::size_t replyLength(int tag) {
  switch (tag) {
    case kTagSettings:
      return kSettingsReplyLen;
    case kTagMode:
      return kModeReplyLen;
    case kTagIo:
      return kIoReplyLen;
    case kTagIdentification:
      return kIdentificationLen;
    default:
      return 0;
  }
}

bool isSetModeCommand(const QueuedCommand& c) {
  return c.kindByte() == kKindEightByte && c.payloadWord(0) == kWordSMd;
}

// Every acquisition of the process, so a record's steps can first look whether the others'
// records have come (all run on one thread).
std::vector<TAcquisition*>& acquisitions() {
  static std::vector<TAcquisition*> all;
  return all;
}

}  // namespace

TAcquisition::~TAcquisition() { std::erase(acquisitions(), this); }

TAcquisition::TAcquisition(TDeviceLink& link, AcquisitionTimers timers, IRecordSink& sink,
                           IAcquisitionHost* host)
    : link_(link), t_(timers), sink_(sink), host_(host ? *host : nullHost_) {
  // Stamps come from the clock the timers run on: the system's, or a test's stepped one.
  if (&t_.followUp.clock() != &SystemClock::instance()) {
    ownClock_ = std::make_unique<TDayClock>(t_.followUp.clock());
    clock_ = ownClock_.get();
  }
  t_.followUp.stop();
  t_.followUp.setInterval(kFollowUpInitialMs);
  t_.accumulateSettings.stop();
  t_.accumulateSettings.setInterval(kAccumulateMs);
  t_.settings.stop();
  t_.settings.setInterval(kSettingsFirstMs);
  t_.settings.tag = -1;
  t_.close.stop();
  t_.close.setInterval(kCloseMs);
  t_.followUp.setHandler([this] { onFollowUpTimer(); });
  t_.accumulateSettings.setHandler([this] { onAccumulateSettingsTimer(); });
  t_.settings.setHandler([this] { onSettingsTimer(); });
  t_.close.setHandler([this] { onCloseTimer(); });
  acquisitions().push_back(this);
}

// --- Opening and start-up -------------------------------------------------------------------

int TAcquisition::open(const std::function<int(SettingsRecord&)>& restore) {
  const FtStatus st = link_.open();
  if (st != kFtOk) return int(st);
  SettingsRecord rec;
  const int r = restore ? restore(rec) : 2;
  startUp(r, r == 0 ? &rec : nullptr);
  return r;
}

void TAcquisition::startUp(int restoreResult, const SettingsRecord* loaded) {
  settingsKnown_ = false;
  settingsCurrent_ = false;
  const bool haveLoaded = restoreResult == 0 && loaded != nullptr;
  if (haveLoaded) loaded_ = *loaded;
  // A device that is away gets nothing now: the window takes the settings at once, and the
  // reconnect sends them with whatever the user changes meanwhile.
  if (lost_) {
    applyStartUpLocally(haveLoaded ? 1 : 0);
    return;
  }
  // A fresh device also gets its identification asked, so its caption is complete at once.
  // So does one whose settings file cannot be read (cut by a crash or a full disk): it starts
  // on the first-start settings rather than staying unusable with RUN disabled for good.
  queueIdentification();
  t_.settings.tag = haveLoaded ? 1 : 0;
  t_.settings.start(kSettingsFirstMs);
}

void TAcquisition::applyStartUpStage(int stage) {
  switch (stage) {
    case 0:
      selectMode(kModeOSA0);
      loaded_ = SettingsRecord::defaults();
      break;
    case 1:
      setOverlap(loaded_.overlapping);
      conv_.probe[0] = probeFactorInForce(loaded_.probeFactorC0);
      conv_.probe[1] = probeFactorInForce(loaded_.probeFactorC1);
      conv_.aux = loaded_.probeHelpFactorFlag ? 0.85 : 1.0;
      host_.windowOptionsRestored(loaded_);
      selectMode(loaded_.mode);
      // Choosing a mode clears single shot: the stored choice comes after it, or a stored
      // single shot would come back as a continuous run.
      setSingleShot(loaded_.singleShot);
      break;
    case 2: {
      const std::uint32_t word = desired_.word;
      desired_ = loaded_.toWriteBlock();
      desired_.word = word;
      desiredSet_ = true;
      break;
    }
    default:
      break;
  }
}

void TAcquisition::applyStartUpLocally(int from) {
  // The stages' effects on the window, all at once and with nothing sent: what the user
  // chooses until the device is back comes on top of them, and the reconnect sends the lot.
  for (int stage = from; stage <= 2; ++stage) {
    applyStartUpStage(stage);
    if (stage == 0) break;  // a fresh device keeps its power-on settings
  }
  startUpInterrupted_ = true;
}

void TAcquisition::onSettingsTimer() {
  t_.settings.stop();
  switch (t_.settings.tag) {
    case 0:
      applyStartUpStage(0);
      setRunEnabled(true);
      break;
    case 1:
      applyStartUpStage(1);
      t_.settings.tag = 2;
      t_.settings.start(kStage1NextMs);
      break;
    case 2:
      t_.accumulateSettings.stop();
      applyStartUpStage(2);
      t_.accumulateSettings.start(kAccumulateMs);
      t_.settings.tag = 3;
      t_.settings.start(kStage2NextMs);
      break;
    case 3:
      setRunEnabled(true);
      break;
    default:
      break;
  }
}

// --- Small state helpers --------------------------------------------------------------------

void TAcquisition::setRunState(RunState s) {
  runState_ = s;
  if (s == RunState::Idle) setControlsEnabled(true);
  if (s == RunState::Measuring) {
    stopRequested_ = false;
    startAfterStop_ = false;  // a run is on its way: what the presses wanted is done
    firstStopUs_ = -1;
  }
  showStop();
  if (deferShow_)
    showPending_ = true;
  else
    host_.runStateChanged(s);
  if (!quiet_) host_.processEvents();
}

void TAcquisition::showDeferredState() {
  if (!showPending_) return;
  showPending_ = false;
  host_.runStateChanged(runState_);
  host_.controlsEnabledChanged(controlsEnabled_);
  host_.runEnabledChanged(runEnabled_);
  host_.queueCountChanged(queue_.count());
}

void TAcquisition::settle() {
  setRunState(RunState::Idle);
  // A run asked for while the last one was processed waits in the queue: say so.
  if (runState_ == RunState::Idle && queue_.indexOfKind(kKindRun) >= 0) {
    setControlsEnabled(false);
    setRunState(RunState::RunQueued);
  }
}

void TAcquisition::setRunEnabled(bool on) {
  runEnabled_ = on;
  if (deferShow_)
    showPending_ = true;
  else
    host_.runEnabledChanged(on);
}

void TAcquisition::setControlsEnabled(bool on) {
  controlsWanted_ = on;
  // A start waiting for the stop's end is a run on its way: a mode or setting changed meanwhile
  // would have it go out in a mode nobody started it in.
  on = on && !startAfterStop_;
  controlsEnabled_ = on;
  if (deferShow_)
    showPending_ = true;
  else
    host_.controlsEnabledChanged(on);
}

void TAcquisition::setSingleShot(bool on) {
  singleShot_ = on;
  host_.singleShotChanged(on);
  // RUN or STOP in the record steps depends on it.
  if (runState_ == RunState::Transferring) host_.runStateChanged(runState_);
}

bool TAcquisition::runGoesOn() const {
  return (mode_ == kModeOSA0 || mode_ == kModeLAIO) && !singleShot_ && !stopRequested_ &&
         !closing_ && !lost_;
}

void TAcquisition::setOverlap(bool on) {
  overlap_ = on;
  host_.overlapChanged(on);
}

void TAcquisition::showQueueCount() {
  if (deferShow_)
    showPending_ = true;
  else
    host_.queueCountChanged(queue_.count());
}

void TAcquisition::queueCommand(const QueuedCommand& c, bool enableFollowUp) {
  queue_.add(c);
  showQueueCount();
  if (enableFollowUp) t_.followUp.enable();
}

void TAcquisition::queueIdentification() {
  queueCommand(makeIdentificationCommand(), true);
}

void TAcquisition::queueIoCounter(std::uint32_t counter, std::int32_t count0IntervalMs,
                                  std::int32_t count1IntervalMs) {
  queueCommand(makeIoCounterCommand(counter, count0IntervalMs, count1IntervalMs), false);
}

void TAcquisition::drawProgress(int value) {
  drawVisible_ = value >= 0 && value <= 100;
  if (drawVisible_) drawValue_ = value;
  host_.drawProgressChanged(drawVisible_, drawValue_);
}

// --- Controls -------------------------------------------------------------------------------

void TAcquisition::queueRun() {
  // A device that is not there takes no run; RUN is disabled until it is back.
  if (lost_) return;
  // One command in flight is the link's rule: a run asked for while the last one still waits
  // for its record only joins the queue. The state stays Measuring, so the bytes still coming
  // remain that record's, and the run goes out once the record is complete.
  const bool behind = inFlight_ && runState_ == RunState::Measuring;
  if (!behind) t_.followUp.stop();
  // A change still in its debounce goes out before the run: the device measures with what the
  // window shows, and the conversion gets what the device applied.
  if (t_.accumulateSettings.isActive()) {
    t_.accumulateSettings.stop();
    queue_.add(makeSettingsWriteCommand(desired_));
  }
  queue_.add(makeRunCommand());
  triggerForced_ = false;
  showQueueCount();
  if (behind) {
    t_.followUp.enable();
    return;
  }
  // Locked before the state change lets events run, so a STOP handled there unlocks for good.
  setControlsEnabled(false);
  setRunState(RunState::RunQueued);
  t_.followUp.enable();
}

void TAcquisition::runClicked() {
  if (stopPending() || startAfterStop_) {
    // The user's last press wins, however long the device takes: the run begins once the stop
    // is done, unless a STOP takes it back first. Queued now, it would ride on the queue's
    // rules for runs behind a record and could go out to a device that never ends its stop.
    // The press writes nothing: repeating the stop (and clearing single shot) is STOP's, and a
    // repeat here would cut short the time the device is given for its record.
    startAfterStop_ = true;
    startAfterForOther_ = false;
    setControlsEnabled(controlsWanted_);
    showStop();
    return;
  }
  startRun();
}

void TAcquisition::startRun() {
  // A new series opens with this run: the one the stop left open for its last reading ends first.
  closeVoltmeterSeries();
  queueRun();
  if (isVoltmeterMode(mode_)) host_.voltmeterRunRequested();
  if (runState_ == RunState::RunQueued) setRunEnabled(false);
}

void TAcquisition::startIfWanted() {
  if (startAfterStop_ && !stopPending()) {
    startAfterStop_ = false;
    // A run already on its way (asked for while the run ended) is the one wanted.
    if (runState_ == RunState::Idle && !lost_ && !closing_) startRun();
    setControlsEnabled(controlsWanted_);
  }
  // The record's steps are over: the stop is no longer shown as under way.
  showStop();
}

void TAcquisition::runNow() {
  const bool wasQuiet = quiet_;
  quiet_ = true;
  // What the window shows of it waits for showDeferredState: several devices started one after
  // another write their run commands without the windows' updates in between.
  deferShow_ = true;
  const bool wished = startAfterStop_;
  runClicked();
  if (!wished && startAfterStop_) startAfterForOther_ = true;
  // Inside this window's own tick (its record steps let events run) the tick writes it when
  // it ends; bytes waiting in the driver are read (and dropped) by a tick first.
  if (runState_ == RunState::RunQueued && replyTag_ < 0 && !inTick_ && link_.isOpen() &&
      link_.queryQueue() == kFtOk && link_.queueByteCount() == 0)
    drain();
  deferShow_ = false;
  quiet_ = wasQuiet;
}

void TAcquisition::dropStartAfterStop() {
  if (!startAfterStop_ || !startAfterForOther_) return;
  startAfterStop_ = false;
  startAfterForOther_ = false;
  setControlsEnabled(controlsWanted_);
  showStop();
}

bool TAcquisition::stopping() const {
  return stopRequested_ && runState_ == RunState::Measuring && inFlight_;
}

bool TAcquisition::stopPending() const {
  return stopRequested_ && !lost_ && !closing_ &&
         (stopping() || runState_ == RunState::Transferring || recordStep_ > 0);
}

bool TAcquisition::stopMayRepeat() const {
  if (quietPolls_ >= kStopQuietPolls) return true;
  if (stopPolls_ < kLoggerStopAgainPolls) return false;
  if (isLoggerMode(mode_)) return true;
  // A record still coming at a pace that brings it in soon needs no second stop; one that
  // trickles in too slowly for that may be a device that never took the first.
  const std::int64_t fill = link_.accumulationFill();
  const std::int64_t got = fill - lastStopFill_;
  const std::int64_t rest = std::int64_t(expected_) - fill;
  const std::int64_t since = clock_->nowUs() - lastStopUs_;
  return got <= 0 || rest * since > got * std::int64_t(kStopRecordDueMs) * 1000;
}

bool TAcquisition::stoppedAndSilent() const {
  // A record in whole whose head is still in doubt is no part of a record.
  if (runState_ != RunState::Measuring || !inFlight_ || !stopRequested_ || firstStopUs_ < 0 ||
      isLoggerMode(mode_) || undecided_)
    return false;
  // Part of a record that stalls is waited for, as the device may go on, until the user stops
  // again (offered once it stayed quiet) and it stays silent after that one too: part of a
  // record is no record.
  const bool repeated = lastStopUs_ != firstStopUs_;
  const bool part = link_.accumulationFill() > 0;
  if (part && !repeated) return false;
  // A device still waiting for its trigger sends its memory at once; a triggered record is
  // sent once its part after the trigger is measured. A second stop does not wait for that.
  const double recordMs = repeated ? 0.0 : afterTriggerUs() / 1000.0;
  const std::int64_t since = std::max(part ? lastStopUs_ : firstStopUs_, lastByteUs_);
  return double(clock_->nowUs() - since) / 1000.0 >= kStopSilentMs + recordMs;
}

double TAcquisition::afterTriggerUs() const {
  if (mode_ != kModeOSA0 && mode_ != kModeLAIO) return 0;
  // Whole samples, counted as the record's trigger moment counts them.
  const double depth = std::max(0.0, double(storedReply_.memoryDepth));
  const double tp = std::clamp(double(storedReply_.triggerPoint), 0.0, 100.0);
  const auto after = measuredAfterTrigger(tp, depth, roundHalfEven(depth));
  return double(after) * std::max(0.0, double(storedReply_.sampleTime)) * 1e6;
}

void TAcquisition::closeVoltmeterSeries() {
  if (std::exchange(voltmeterStopOwed_, false)) sink_.voltmeterStopped();
}

void TAcquisition::abandonStoppedRun() {
  closeVoltmeterSeries();
  inFlight_ = false;
  replyTag_ = kTagNone;
  reads_ = 0;
  peekUs_ = -1;
  link_.resetAccumulation();
  staleSinceUs_ = clock_->nowUs();
  holdForRest_ = false;
  settle();
  startIfWanted();
}

std::int64_t TAcquisition::staleHoldMaxUs(ModeCode mode, double memoryDepth) {
  if (isLoggerMode(mode)) return std::int64_t(kStaleLoggerHoldMs) * 1000;
  // A real link falls behind its nominal pace at times (USB scheduling, the driver's latency
  // timer, reads in bursts): half the transfer time and a second more are allowed for.
  constexpr std::int64_t kSlackUs = 1'000'000;
  const std::int64_t bytes = std::max<std::int64_t>(0, measurementByteCount(mode, memoryDepth));
  const std::int64_t transferUs = (bytes * kTransferUsPer4Bytes + 3) / 4;
  return std::int64_t(kRecordLatencyMs + kStaleQuietMs) * 1000 + kSlackUs + transferUs * 3 / 2;
}

bool TAcquisition::holdForStaleBytes() {
  if (staleSinceUs_ < 0) return false;
  // A device that keeps sending holds nothing for good: a record may take seconds to come
  // whole, and its rest must not become the next reply, but it takes no longer than its size.
  const std::int64_t holdMaxUs = staleHoldMaxUs(mode_, storedReply_.memoryDepth);
  const std::int64_t now = clock_->nowUs();
  const std::int64_t since = std::max(staleSinceUs_, lastByteUs_);
  // Nothing of a rest yet from a device seen to keep one back is no sign it sends none.
  const std::int64_t delayUs = holdForRest_ && lastByteUs_ <= staleSinceUs_ ? restDelayUs_ : 0;
  const bool quiet = now - since >= std::int64_t(kStaleQuietMs) * 1000 + delayUs;
  if (!quiet && now - staleSinceUs_ < holdMaxUs) return true;
  staleSinceUs_ = -1;
  // Whether any of a cut record's rest came tells what the device does with the next one.
  const bool noneCame = holdForRest_ && restProbe_ > 0 && rest_ == restProbe_;
  if (holdForRest_ && restProbe_ > 0)
    restKind_ = noneCame ? RestKind::NotSent : RestKind::Sent;
  holdForRest_ = false;
  restProbe_ = 0;
  if (quiet && rest_ > 0) {
    // The device stopped sending. What it still owes may come later, with the next command, so
    // it is watched for rather than counted: its count would swallow what follows.
    watchLateRest(rest_, noneCame ? Owed::Whole : Owed::Short, since);
    rest_ = 0;
  }
  // Ended at its longest while the rest still comes: the device sends the rest before
  // anything asked of it next, so it is still dropped by its count.
  return false;
}

bool TAcquisition::lateReplyMayCome() {
  // Past that the run goes out, but the replies given up are still counted until bytes come:
  // a device may send them only with its answer to the next command, or ahead of the record.
  return replyLostUs_ >= 0 && clock_->nowUs() - replyLostUs_ < std::int64_t(kStaleQuietMs) * 1000;
}

std::size_t TAcquisition::lostReplyBytes(std::int64_t atUs) const {
  const bool kept =
      replyLostUs_ >= 0 && atUs - replyLostUs_ < std::int64_t(kLostReplyKeptMs) * 1000;
  return kept ? lostBytes_ : 0;
}

void TAcquisition::showStop() {
  StopShow now;
  // A voltmeter reading in flight is not waited for as a record is (the stop drops it, and it
  // is in within a moment): the window does not say it is stopping.
  if (stopping() && !isVoltmeterMode(mode_)) {
    now.on = true;
    if (!isLoggerMode(mode_) && expected_ > 0)
      now.percent = int(std::int64_t(link_.accumulationFill()) * 100 / expected_);
    now.stopAgain = stopMayRepeat();
  } else if (stopRequested_ && runState_ == RunState::Transferring) {
    // The stopped run's last record is saved and drawn: the stop ends with it. Clicks made
    // on STOP meanwhile must not land on a RUN shown in its place.
    now.on = true;
    now.percent = 100;
  }
  // A start kept for after the stop stays shown until it is acted on: the stopped run's end
  // (a logger's file closed and drawn) lets events run first, and a press there takes it back.
  now.pending = stopPending() || startAfterStop_;
  now.startAfter = startAfterStop_;
  if (now == stopShow_) return;
  stopShow_ = now;
  host_.stopShowChanged(now);
}

void TAcquisition::stopClicked() {
  // A start kept during the stop is taken back, before anything here may end that stop: the
  // last press wins.
  const bool tookBack = std::exchange(startAfterStop_, false);
  if (tookBack) setControlsEnabled(controlsWanted_);
  // A voltmeter reading already waiting in the driver was measured before the stop: it is
  // taken first, like any other, so the series the stop closes holds it. (Inside a tick or a
  // record's steps the tick takes it.)
  if (isVoltmeterMode(mode_) && runState_ == RunState::Measuring && inFlight_ && !inTick_ &&
      recordStep_ == 0 && !lost_ && link_.isOpen() && link_.queryQueue() == kFtOk &&
      std::int64_t(link_.queueByteCount()) >=
          std::int64_t(expected_) - link_.accumulationFill() + discard_ + rest_) {
    const bool wasQuiet = quiet_;
    quiet_ = true;  // no window events in the middle of the click
    queryUs_ = clock_->nowUs();
    readMeasurement(link_.queueByteCount());
    quiet_ = wasQuiet;
  }
  // The device has the stop and is still sending the record it began: a second ZZZZ would
  // reach it only after that record, as the first command of whatever follows. Only a device
  // silent since, or one whose record trickles in, gets it again; one whose record is in
  // needs none (the press took back a start, if anything; the stop it waited for is done).
  if ((!stopPending() && !tookBack) || (stopping() && stopMayRepeat())) sendStop();
  // No run queued before the stop may go out after it, whatever the state: entering Measuring
  // would clear the stop request and the device would go on measuring.
  dropQueuedRuns();
  if (runState_ == RunState::RunQueued) {
    setRunEnabled(true);
    setRunState(RunState::Idle);
  }
  showStop();
}

void TAcquisition::sendStop() {
  stopRequested_ = true;
  // Before anything here lets events run (closing the voltmeter's file draws its chart): a
  // tick there would write a run still queued, and entering Measuring clears the stop.
  dropQueuedRuns();
  setSingleShot(false);  // shows RUN again in the record steps: the run ends with them
  const FtStatus st = lost_ ? kFtOk : link_.writeWords({kWordZZZZ});
  // A stop that never left the computer may be sent again at once.
  quietPolls_ = st == kFtOk ? 0 : kStopQuietPolls;
  stopPolls_ = 0;
  if (st == kFtOk && !lost_) {
    lastStopUs_ = clock_->nowUs();
    lastStopFill_ = link_.accumulationFill();
    if (firstStopUs_ < 0 && inFlight_) firstStopUs_ = lastStopUs_;
  }
  if (isVoltmeterMode(mode_)) {
    // A reading whose run went out before the stop was measured before it too: the series
    // closes once it is in (or the device stays silent, or goes).
    voltmeterStopOwed_ = runState_ == RunState::Measuring && inFlight_ && !lost_;
    if (!voltmeterStopOwed_) sink_.voltmeterStopped();
  }
}

void TAcquisition::dropQueuedRuns() {
  bool dropped = false;
  for (int i = queue_.indexOfKind(kKindRun); i >= 0; i = queue_.indexOfKind(kKindRun)) {
    queue_.deleteAt(i);
    dropped = true;
  }
  if (dropped) showQueueCount();
}

void TAcquisition::selectMode(ModeCode mode) {
  if (!controlsEnabled_) return;
  showRequestedMode(mode);
  requestedMode_ = mode;
  if (lost_) return;  // the reconnect sends it
  // The mode chosen last wins: a mode command not yet written gives way to the new choice,
  // which is compared with the mode on its way to the device, else with the device's.
  bool removed = false;
  for (int i = 0; i < queue_.count();) {
    if (isSetModeCommand(queue_.get(i))) {
      queue_.deleteAt(i);
      removed = true;
    } else {
      ++i;
    }
  }
  const ModeCode current = replyTag_ == kTagMode ? modeInFlight_ : deviceMode_;
  if (mode != current)
    queueCommand(makeSetModeCommand(mode), true);
  else if (removed)
    showQueueCount();
}

void TAcquisition::showRequestedMode(ModeCode mode) {
  if (!controlsEnabled_) return;
  setSingleShot(false);
  host_.modeRequested(mode);
}

void TAcquisition::requestSettingsWrite() {
  // While the device is away the change stays in the desired settings; reconnect sends them.
  if (replyTag_ >= 0 || lost_) return;
  t_.accumulateSettings.stop();
  t_.accumulateSettings.start(kAccumulateMs);
}

void TAcquisition::onAccumulateSettingsTimer() {
  t_.accumulateSettings.stop();
  if (lost_) return;
  queueCommand(makeSettingsWriteCommand(desired_), true);
}

// --- Drain ----------------------------------------------------------------------------------

int TAcquisition::drain() {
  if (queue_.isEmpty()) return kEmptyQueue;
  // The tick drains once the link has been quiet long enough.
  // A device whose habit with the rest of a cut record is known (it sends it, or a kept-back
  // one came ahead of a reply) is free once that rest is in by its count: the next command need
  // not wait for a quiet link. Not before: a run written while the rest still comes would be
  // measured only after it, seconds after the time reckoned for it. Only the hold kept for that
  // rest ends so: one after a given-up or failed run stays.
  if (holdForRest_ && restKind_ != RestKind::Unknown && rest_ == 0) {
    staleSinceUs_ = -1;
    holdForRest_ = false;
    restProbe_ = 0;
  }
  if (holdForStaleBytes()) return 0;
  // A rest still owed once its wait ended, and quiet since, stopped short: its count must not
  // swallow what is asked next, but the rest of it may still come with it.
  if (rest_ > 0 && clock_->nowUs() - lastByteUs_ >= std::int64_t(kStaleQuietMs) * 1000) {
    watchLateRest(rest_, Owed::Short, lastByteUs_);
    rest_ = 0;
  }
  const bool runNext = queue_.get(0).kindByte() == kKindRun;
  if (runNext && lateReplyMayCome()) return 0;
  if (!runNext && restMayFollowRecord()) return 0;
  t_.followUp.stop();
  int result = 0;
  bool ranRun = false;
  bool runFailed = false;
  while (!queue_.isEmpty() && replyTag_ < 0 && result == 0) {
    const QueuedCommand c = queue_.takeFirst();
    ++commandsTaken_;
    showQueueCount();
    askedSampleTime_ = -1;
    writeAwaited_ = false;
    FtStatus st = kFtOk;
    const std::uint8_t* p = c.payload.data();
    switch (c.kindByte()) {
      case kKindFourByte:
        st = link_.writeBytes({p, 4});
        replyTag_ = c.replyTag;  // also after a failed write: the window waits one interval
        break;
      case kKindRun:
        if (holdRunForSettings(c)) {
          // What goes ahead of the run waits for a rest behind the record as any command does.
          if (restMayFollowRecord()) {
            t_.followUp.enable();
            return 0;
          }
          continue;
        }
        t_.accumulateSettings.stop();
        queue_.clear();  // whatever was queued after the run command is dropped
        showQueueCount();
        replyTag_ = kTagMeasurement;
        {
          // The command goes out before window events run: a click handled there finds the
          // run on its way and cannot slip a second one in front of its record.
          const bool wasQuiet = quiet_;
          quiet_ = true;
          setRunState(RunState::Measuring);
          quiet_ = wasQuiet;
        }
        st = link_.writeBytes({p, 4});
        if (st == kFtOk) {
          inFlight_ = true;
          ++runsWritten_;
          runUs_ = emptyUs_ = clock_->nowUs();
          reads_ = 0;
          peekUs_ = -1;
          runPreparation();
          link_.resetAccumulation();
        } else {
          // A failed run write ends the run rather than waiting for good for a record that
          // may never come; the Write panel shows why. Its bytes may have left all the same:
          // a record then coming is dropped, not read as the next command's reply.
          replyTag_ = kTagNone;
          runFailed = true;
          staleSinceUs_ = clock_->nowUs();
          holdForRest_ = false;
          // In case it reached the device: a stop ends a logger stream, or has a scope send
          // its memory at once; an idle device ignores it.
          link_.writeWords({kWordZZZZ});
        }
        setRunEnabled(true);
        ranRun = true;
        break;
      case kKindEightByte:
      case kKindIdentification:
        st = link_.writeBytes({p, 8});
        if (st == kFtOk) replyTag_ = c.replyTag;
        if (isSetModeCommand(c)) {
          // Another mode may bring other settings: the stored ones hold until read back, and
          // a sample time asked for before is no longer what they are compared with.
          settingsCurrent_ = false;
          readBackAsked_ = -1;
          if (st == kFtOk) decodeSetMode(p, 8, modeInFlight_);
        }
        break;
      case kKindSettingsWrite: {
        std::array<std::uint8_t, QueuedCommand::kPayloadSize> block = c.payload;
        putU32(block.data(), kWordSWr);
        st = link_.writeBytes(block);
        // Until its reply the device may hold these settings or the ones before.
        settingsCurrent_ = false;
        if (st == kFtOk) {
          replyTag_ = c.replyTag;
          writeAwaited_ = true;
          askedSampleTime_ = SettingsWriteBlock::decode(block.data()).sampleTime;
        } else {
          // Part of it may have reached the device: read back before the next run, as after
          // a write whose reply was given up.
          readSettingsFirst_ = true;
          readBackAsked_ = SettingsWriteBlock::decode(block.data()).sampleTime;
        }
        break;
      }
      case kKindTwelveByte:
        st = link_.writeBytes({p, 12});
        if (st == kFtOk) replyTag_ = c.replyTag;
        break;
      default:
        break;  // unknown kinds are not written
    }
    result = int(st);
    if (st != kFtOk && goneAfter(st)) break;
    if (runFailed) {
      settle();
      break;
    }
    if (replyTag_ >= 0) {
      pollMs_ = std::max(0, c.waitMs);
      t_.followUp.start(pollMs_);
      break;
    }
  }
  if (ranRun && !quiet_) host_.processEvents();
  return result;
}

bool TAcquisition::restMayFollowRecord() const {
  // A device judged to keep a cut record's rest back until the next command (from a rest that
  // came ahead of a reply, which a rest sent late would do as well) may send it behind its record
  // after all: a reply read with it would be taken for the rest. A run need not wait for it, as
  // its record tells the rest ahead by its count; anything else waits the quiet interval from
  // the record's end, not a rest's longest delay (up to seconds after an idle).
  return restKind_ == RestKind::NotSent && lateRest_ > 0 && owed_ == Owed::Whole &&
         clock_->nowUs() - lateFromUs_ < std::int64_t(kStaleQuietMs) * 1000;
}

bool TAcquisition::holdRunForSettings(const QueuedCommand& run) {
  QueuedCommand ahead;
  const char reported = triggerTypeLetter(storedReply_.triggerType);
  const char offered = offeredTriggerType(mode_, reported);
  // A letter the program does not know is the device's own business.
  const bool foreign = isLoggerMode(mode_)
                           ? reported != 'M'
                           : settingsKnown_ && triggerTypeRow(reported) >= 0 && offered != reported;
  // A write still to go out with a type the mode offers (one the mode change brings back) is
  // what the run measures with: the reported one is no longer the question.
  const char pending = triggerTypeLetter(desired_.triggerType);
  const bool pendingOffered = t_.accumulateSettings.isActive() &&
                              (isLoggerMode(mode_) ? pending == 'M'
                                                   : offeredTriggerType(mode_, pending) == pending);
  if (!triggerForced_ && foreign && !pendingOffered) {
    // A run always goes out with a trigger type its mode offers: a logger with the manual
    // trigger (the logger modes offer no other), the logic analyser never with an analog one;
    // once per run, so a device that refuses it cannot hold the run back.
    triggerForced_ = true;
    t_.accumulateSettings.stop();
    desired_.triggerType = triggerTypeWord(offered);
    ahead = makeSettingsWriteCommand(desired_);
  } else if (t_.accumulateSettings.isActive()) {
    // Restarted while the run waited: that change goes out first as well.
    t_.accumulateSettings.stop();
    ahead = makeSettingsWriteCommand(desired_);
  } else if (!settingsKnown_ || std::exchange(readSettingsFirst_, false)) {
    // Without the device's memory depth the record length is unknown. Read once more after a
    // record whose head was in doubt: the reply alone, or a rest ahead of it, tells what the
    // device does with its rests. A device that answered a write late answers this read as
    // late: it waits as long as a write, so its reply comes in its wait, or is dropped in the
    // run's wait after it, rather than coming ahead of the record.
    ahead = makeSettingsReadCommand();
    if (!settingsCurrent_) ahead.waitMs = std::max(ahead.waitMs, kWaitSettingsWrite);
  } else {
    return false;
  }
  queue_.insertAt(0, run);
  queue_.insertAt(0, ahead);
  showQueueCount();
  return true;
}

// --- Follow-up tick -------------------------------------------------------------------------

void TAcquisition::onFollowUpTimer() {
  t_.followUp.stop();
  // Record processing lets window events run; a tick fired from inside it waits for this one.
  if (inTick_ || lost_) return;
  inTick_ = true;
  const std::int32_t fillBefore = link_.accumulationFill();
  // This tick ends the wait for the reply to the command written last.
  const bool awaited =
      replyTag_ >= 0 && replyTag_ != kTagMeasurement && runState_ != RunState::Measuring;
  const int awaitedTag = replyTag_;
  const std::uint32_t takenBefore = commandsTaken_;
  bool anyRead = false;
  bool lastZero = false;
  if (runState_ == RunState::Measuring && stopPolls_ < kLoggerStopAgainPolls) ++stopPolls_;
  for (int i = 0; i < kMaxReadsPerTick && !lost_; ++i) {
    const FtStatus qs = link_.queryQueue();
    const bool ok = qs == kFtOk;
    if (!ok && goneAfter(qs)) break;
    // The bytes the query reports had come by this moment: the arrival the reads note.
    queryUs_ = clock_->nowUs();
    const std::uint32_t n = ok ? link_.queueByteCount() : 0;
    bool progressed = false;
    const bool forReply = runState_ != RunState::Measuring;
    if (n > 0) {
      progressed = forReply ? readReply(n) : readMeasurement(n);
      anyRead = anyRead || progressed;
    }
    // The reply is read, or this tick ends its wait. A command a record's steps wrote in this
    // tick, ahead of the next run, awaits its own reply over its own wait.
    if (runState_ != RunState::Measuring &&
        (commandsTaken_ == takenBefore || (forReply && n > 0)))
      replyTag_ = kTagNone;
    if (!ok) break;  // no count to go on with
    if (n == 0) {
      lastZero = true;
      emptyUs_ = queryUs_;
      if (runState_ == RunState::Measuring && quietPolls_ < kStopQuietPolls) {
        ++quietPolls_;
        showStop();
      }
      break;
    }
    if (!progressed) break;  // a failed or empty read: try again next tick
  }
  if (awaited && !anyRead && lastZero) {
    // Replies given up one after another with nothing come meanwhile all come before the next.
    lostBytes_ = lostReplyBytes(clock_->nowUs()) + replyLength(awaitedTag);
    lostLast_ = replyLength(awaitedTag);
    replyLostUs_ = clock_->nowUs();
  }
  // A settings write whose wait ended without its reply applied: the device may hold the new
  // settings, so the next run is not counted from the old depth and timebase. One read goes
  // out ahead of it, once for this write; its own reply given up asks for no further read.
  // The sample time it asked for is kept for that read's reply, so an adjusted one is told.
  if (awaited && std::exchange(writeAwaited_, false)) {
    readSettingsFirst_ = true;
    readBackAsked_ = askedSampleTime_;
  }
  // Quiet with no more than the device sends for it: nothing came ahead of the record. A cut
  // record's own rest may come as late as the one it kept back, and would have told.
  const int undecidedMs =
      kStaleQuietMs + (lateRest_ > 0 && deviceBytes_ > expected_ ? kLateRestMaxDelayMs : 0);
  if (undecided_ && !lost_ && clock_->nowUs() - lastByteUs_ >= std::int64_t(undecidedMs) * 1000) {
    headOnQuiet();
  }
  if (!lost_ && stoppedAndSilent()) abandonStoppedRun();
  if (lastZero && !lost_ && runState_ != RunState::Measuring && !queue_.isEmpty()) drain();
  inTick_ = false;
  // A window closed while this tick let events run has released its link: polling ends.
  // A command written in this tick has started the timer with its own wait interval.
  if (link_.isOpen() && !t_.followUp.isActive()) t_.followUp.start(pollIntervalMs(fillBefore));
}

int TAcquisition::pollIntervalMs(std::int32_t fillBefore) const {
  // While a record streams in, the next look comes when its last byte is due at the pace seen
  // so far, so the reception time is the moment it came, not up to a wait interval later. Only
  // after a read that brought bytes: a device that stalls is polled at the usual pace.
  const std::int32_t fill = link_.accumulationFill();
  if (runState_ != RunState::Measuring || !inFlight_ || isLoggerMode(mode_) || reads_ < 2 ||
      fill <= fillBefore || fill >= expected_ || lastUs_ <= firstUs_ || lastFill_ <= firstFill_)
    return pollMs_;
  const double perUs = double(lastFill_ - firstFill_) / double(lastUs_ - firstUs_);
  const double dueMs = double(expected_ - fill) / perUs / 1000.0;
  return std::clamp(int(std::ceil(dueMs)), 1, std::max(1, pollMs_));
}

void TAcquisition::noteArrival(std::int32_t fill) {
  const std::int64_t now = queryUs_;
  if (fill >= expected_) {
    receivedUs_ = now;
    transferUs_ = 0;
    // The link's pace: from this record's reads when it gave two before the last one, else
    // as an earlier record showed it, else at least as fast as the one read before this one.
    double perUs = 0;
    if (reads_ >= 2 && lastUs_ > firstUs_ && lastFill_ > firstFill_) {
      perUs = double(lastFill_ - firstFill_) / double(lastUs_ - firstUs_);
      linkPerUs_ = perUs;
    } else if (linkPerUs_ > 0) {
      perUs = linkPerUs_;
    } else if (reads_ == 1 && now > firstUs_) {
      perUs = double(fill - firstFill_) / double(now - firstUs_);
    }
    if (perUs > 0) {
      // The last bytes may have waited for this read while the window was busy elsewhere; at
      // that pace they came then (never before the previous read, nor after this one).
      if (reads_ >= 1 && lastFill_ < expected_) {
        const auto due = lastUs_ + std::int64_t(std::ceil(double(expected_ - lastFill_) / perUs));
        receivedUs_ = std::clamp(due, lastUs_, now);
      }
      transferUs_ = std::int64_t(std::llround(double(expected_) / perUs));
    }
    // A peek saw every byte there already.
    if (peekUs_ >= 0) receivedUs_ = std::min(receivedUs_, peekUs_);
  }
  if (reads_ == 0) {
    firstUs_ = now;
    firstFill_ = fill;
  }
  lastUs_ = now;
  lastFill_ = fill;
  ++reads_;
}

void TAcquisition::peekArrival() {
  if (inTick_ || peekUs_ >= 0 || runState_ != RunState::Measuring || !inFlight_ ||
      isLoggerMode(mode_) || !link_.isOpen())
    return;
  if (link_.queryQueue() != kFtOk) return;
  const std::int64_t have = std::int64_t(link_.accumulationFill()) + link_.queueByteCount();
  if (have >= std::int64_t(expected_) + discard_ + rest_) peekUs_ = clock_->nowUs();
}

void TAcquisition::peekAll() {
  for (TAcquisition* a : acquisitions()) a->peekArrival();
}

std::span<const std::uint8_t> TAcquisition::dropDiscarded(std::span<const std::uint8_t> bytes) {
  const std::size_t skip = std::min<std::size_t>(discard_, bytes.size());
  discard_ -= std::uint32_t(skip);
  const std::size_t more = std::min<std::size_t>(rest_, bytes.size() - skip);
  rest_ -= std::uint32_t(more);
  return bytes.subspan(skip + more);
}

bool TAcquisition::readReply(std::uint32_t n) {
  if (const FtStatus st = link_.readReceived(n); st != kFtOk) {
    goneAfter(st);
    return false;
  }
  const auto got = link_.receivedBytes();
  if (got.empty()) return false;
  lastByteUs_ = queryUs_;
  const std::size_t reply = replyLength(replyTag_);
  // The replies given up are in now, or would have come before these bytes. Read alone or
  // together with the awaited one they are dropped as late; they are no rest come late. A read
  // longer than the awaited reply tells by its length, however late (a device may keep them
  // back until its next command); a read as long as the reply leaves it in doubt only while
  // they are still counted (one dropped for good must not do so minutes later).
  const std::size_t owed = replyLostUs_ >= 0 ? lostBytes_ : 0;
  const std::size_t lost = lostReplyBytes(queryUs_);
  replyLostUs_ = -1;
  const bool clean = reply > 0 && discard_ == 0 && rest_ == 0;
  const bool withAwaited = clean && owed > 0 && got.size() == owed + reply;
  const bool lateReplies = withAwaited || (clean && got.size() == owed && owed > reply);
  // What a rest that stopped short still owes may be a few bytes, and a rest in doubt may be
  // owed nothing: a read a little longer than the reply (two replies together) is not taken
  // for it. A rest in doubt shorter than that (a record just beyond the buffer) is taken at its
  // own length, or it and the reply behind it would be read as the settings.
  const std::size_t restMin = owed_ == Owed::Short ? kLateRestBytes
                              : owed_ == Owed::Doubt
                                  ? std::min<std::size_t>(lateRest_, kLateRestBytes)
                                  : 0;
  if (lateRest_ > 0 && rest_ == 0 && discard_ == 0 && !lateReplies && got.size() >= restMin &&
      (reply > 0 ? got.size() > reply
                 : got.size() >= std::min<std::size_t>(lateRest_, kLateRestBytes))) {
    // More than any awaited reply after a cut record whose rest was not counted on: the rest
    // comes late after all. It comes before any reply, so it is dropped by its count. Ahead of
    // the reply it was kept back until the command, as one ahead of a record is.
    rest_ = lateRest_;
    lateRestCame(reply > 0);
    restProbe_ = 0;
    staleSinceUs_ = queryUs_;
    holdForRest_ = true;
  } else if (owed_ == Owed::Doubt && lateRest_ > 0 && reply > 0 && got.size() == reply) {
    // The reply alone: the device keeps no rest back, so the record in doubt had its own
    // behind it, and the next one is owed nothing.
    watchLateRest(0, Owed::Whole, 0);
  }
  std::size_t late = lateReplies ? owed : 0;
  if (lateReplies && !withAwaited) {
    // Only those came, or the device dropped one of them and the awaited one came with the
    // others: the count cannot tell when the last given up is as long as the awaited one. The
    // newest reply is taken then, the awaited one still counted as late either way.
    if (lostLast_ == reply) late = got.size() - reply;
    lostBytes_ = reply;
    lostLast_ = reply;
    replyLostUs_ = queryUs_;
  }
  const auto bytes = dropDiscarded(got.subspan(late));
  if (bytes.empty()) return true;
  dispatchReply(bytes);
  // Unless exactly the replies given up and the awaited one came, the bytes taken may be a
  // reply given up, as long as the awaited one: a settings write's reply then tells the
  // settings before it. They are shown, but read once more before the next run, and the
  // record's timing is not told by them.
  if (replyTag_ == kTagSettings && (lost > 0 || lateReplies) && !withAwaited) {
    settingsCurrent_ = false;
    readSettingsFirst_ = true;
  }
  return true;
}

void TAcquisition::watchLateRest(std::uint32_t bytes, Owed kind, std::int64_t fromUs) {
  lateRest_ = bytes;
  owed_ = kind;
  lateFromUs_ = fromUs;
}

TAcquisition::Head TAcquisition::headTiming() const {
  // After a stop the device sends what its memory holds at once.
  if (firstStopUs_ >= 0) return Head::Unknown;
  // The bytes were there by the query: before the record can have been measured (with a tenth
  // spare for the device's clock), they are no part of it. Only with the settings the device
  // holds now: stale ones (a write or mode change not read back, a new connection) may reckon
  // a long measurement where the device measures in no time, and shift a whole record.
  if (settingsCurrent_ && double(queryUs_ - runUs_) < 0.9 * afterTriggerUs()) return Head::Early;
  // Nothing had come a reply's latency after the run: no rest sent at once.
  if (emptyUs_ - runUs_ >= std::int64_t(kRecordLatencyMs) * 1000) return Head::Late;
  return Head::Unknown;
}

void TAcquisition::headOnQuiet() {
  if (lateRest_ == 0) {
    // Replies given up: what the run brought beyond the record came ahead of it. Fewer than
    // counted when the device dropped one of them. A device that keeps a cut record's rest back
    // sent only the part the buffer holds.
    const std::int64_t sent =
        restKind_ == RestKind::NotSent ? std::min<std::int64_t>(deviceBytes_, expected_)
                                       : deviceBytes_;
    const std::int64_t extra = std::min<std::int64_t>(seenBytes_ - sent, replyAhead_);
    if (extra <= 0) return recordIn(0);
    dropHead(std::uint32_t(extra));
    replyAhead_ = 0;
    if (link_.accumulationFill() >= expected_) recordIn(0);
    return;
  }
  // No more than the device sends for the record: it came with its own rest behind it, unless
  // the bytes are just the rest before and the record with its own rest kept back. Only that
  // count leaves both; the timing of the first bytes, or the device's habit, then decides, and
  // where neither tells the record is kept as it came and the window says so.
  const bool both = seenBytes_ == std::int64_t(lateRest_) + expected_;
  if (both && head_ != Head::Late && restAheadSeen_) {
    takeHeadAhead();
    if (link_.accumulationFill() >= expected_) recordIn(0);
    return;
  }
  recordIn(0, both && head_ == Head::Unknown);
}

void TAcquisition::lateRestCame(bool keptBack) {
  // Come ahead of a record or a reply, it was kept back until the next command: a record's
  // rest is not sent behind it, and the next command need not wait for a quiet link (each
  // record pays that wait otherwise). Come late with nothing asked, or the end of a rest that
  // came in part behind its record, the next commands wait for the next rest as before.
  restKind_ = keptBack && owed_ != Owed::Short ? RestKind::NotSent : RestKind::Sent;
  restAheadSeen_ = true;
  // A device idle for minutes before its next command tells nothing about how late it sends.
  restDelayUs_ = std::clamp(queryUs_ - lateFromUs_, restDelayUs_,
                            std::int64_t(kLateRestMaxDelayMs) * 1000);
  watchLateRest(0, Owed::Whole, 0);
}

void TAcquisition::keepBeyond(std::span<const std::uint8_t> bytes) {
  const std::size_t ahead = headAhead();
  const std::size_t room = ahead > beyond_.size() ? ahead - beyond_.size() : 0;
  const auto kept = bytes.first(std::min(room, bytes.size()));
  beyond_.insert(beyond_.end(), kept.begin(), kept.end());
}

void TAcquisition::takeHeadAhead() {
  if (lateRest_ > 0) {
    dropHead(lateRest_);
    lateRestCame(true);
  } else {
    dropHead(std::exchange(replyAhead_, 0u));
  }
}

void TAcquisition::dropHead(std::uint32_t bytes) {
  const auto acc = link_.accumulated();
  std::vector<std::uint8_t> run(acc.begin(), acc.end());
  run.insert(run.end(), beyond_.begin(), beyond_.end());
  beyond_.clear();
  undecided_ = false;
  const std::size_t ahead = std::min<std::size_t>(bytes, run.size());
  // What has not come of it yet comes before anything else, and is dropped by its count.
  rest_ = bytes - std::uint32_t(ahead);
  seenBytes_ -= std::int64_t(ahead);
  const std::size_t record = std::min(run.size() - ahead, std::size_t(expected_));
  link_.resetAccumulation();
  link_.appendAccumulation({run.data() + ahead, record});
  // The record's arrival starts again with what is left of it.
  reads_ = 0;
  peekUs_ = -1;
  if (record > 0) noteArrival(link_.accumulationFill());
}

bool TAcquisition::readMeasurement(std::uint32_t n) {
  if (const FtStatus st = link_.readReceived(n); st != kFtOk) {
    goneAfter(st);
    return false;
  }
  const auto got = link_.receivedBytes();
  if (got.empty()) return false;
  quietPolls_ = 0;
  lastByteUs_ = queryUs_;
  replyLostUs_ = -1;
  auto bytes = dropDiscarded(got);
  if (isLoggerMode(mode_)) {
    if (!bytes.empty()) loggerStream(bytes);
    showStop();
    return true;
  }
  const bool headClean = discard_ == 0 && rest_ == 0;
  const std::uint32_t queued = headClean && n > got.size() ? n - std::uint32_t(got.size()) : 0;
  if (seenBytes_ == 0 && !bytes.empty()) head_ = headTiming();
  seenBytes_ += std::int64_t(bytes.size());
  if (!undecided_) {
    const std::int32_t fill = link_.accumulationFill();
    const std::size_t missing = expected_ > fill ? std::size_t(expected_ - fill) : 0;
    const std::size_t take = std::min(bytes.size(), missing);
    // Only the missing bytes go to the record; the rest of this read is dropped.
    link_.appendAccumulation(bytes.first(take));
    if (take > 0) noteArrival(link_.accumulationFill());
    if (take < missing) {
      showStop();
      return true;
    }
    bytes = bytes.subspan(take);
    // A rest the cut record before kept back may have come ahead of this one: then the run
    // brings more than its record, but so does a cut record with its own rest behind it, and
    // the read that ends a record of the buffer's size may end at its count with the record's
    // tail still to come. Only the count the run brings in all tells.
    // So may replies given up before the run: their count is told the same way, and a record
    // cut at the buffer whose rest stays behind brings no more than it and those replies, so
    // the read that ends it at its count may leave its tail (their length) still to come.
    undecided_ = headAhead() > 0 && (!bytes.empty() || queued > 0 || deviceBytes_ == expected_ ||
                                     (lateRest_ == 0 && restKind_ == RestKind::NotSent));
  }
  if (undecided_) {
    keepBeyond(bytes);
    // More than the device sends for this record (a rest may have come in part; replies come
    // whole, all those given up), or its first bytes came before it can have been measured:
    // they came ahead of it. Otherwise the record waits for more bytes or a quiet link (see
    // headOnQuiet). Early replies tell only that some came: the device may have dropped one,
    // and the record's own bytes must not go with the count of those it dropped.
    const std::int64_t ahead = lateRest_ > 0 ? 1 : std::int64_t(replyAhead_);
    const bool early = head_ == Head::Early && lateRest_ > 0;
    if (seenBytes_ + queued < deviceBytes_ + ahead && !early) {
      showStop();
      return true;
    }
    takeHeadAhead();
    if (link_.accumulationFill() < expected_) {
      showStop();
      return true;
    }
  }
  recordIn(queued);
  return true;
}

void TAcquisition::recordIn(std::uint32_t queued, bool doubt) {
  // The record is complete and the driver still holds bytes that were queued with it: they
  // are surplus of this record and are dropped too, so they never land in the next one. So
  // is the rest of a record whose depth the buffer does not hold, still on its way.
  undecided_ = false;
  beyond_.clear();
  replyAhead_ = 0;
  discard_ += queued;
  const std::int64_t rest = deviceBytes_ - seenBytes_ - std::int64_t(queued);
  rest_ = std::uint32_t(std::clamp<std::int64_t>(rest, 0, 1 << 30));
  watchLateRest(0, Owed::Whole, 0);
  // Whether the device sends that rest shows only by waiting: the next command (a run with
  // overlap too) goes out once the link has been quiet, so neither the rest becomes the head
  // of the next record nor its count swallows the next reply. A device seen to send none is
  // owed nothing next time, and one seen to send it gets other commands once the rest is in
  // by its count. Each record tells again: a device that sent none but has bytes beyond this
  // record already (a late rest came ahead of it) is watched again, and a rest that comes late
  // while no run follows shows in readReply.
  const bool cut = deviceBytes_ > std::int64_t(expected_);
  const bool watchAgain = cut && restKind_ == RestKind::NotSent &&
                          seenBytes_ + std::int64_t(queued) > std::int64_t(expected_);
  if (watchAgain) restKind_ = RestKind::Unknown;
  if (rest_ > 0 && restKind_ == RestKind::NotSent) {
    watchLateRest(rest_, Owed::Whole, queryUs_);
    rest_ = 0;
  } else if (rest_ > 0 || watchAgain) {
    restProbe_ = rest_;
    staleSinceUs_ = queryUs_;
    holdForRest_ = true;
  }
  // Kept as it came, its head in doubt: if it was the rest before, this record's own rest is
  // still kept back, and is watched for like one.
  if (doubt) {
    watchLateRest(std::uint32_t(deviceBytes_ - expected_), Owed::Doubt, lastByteUs_);
    readSettingsFirst_ = true;
  }
  if (doubt || headDoubt_) {
    headDoubt_ = doubt;
    host_.recordHeadInDoubt(doubt);
  }
  recordComplete();
}

// --- Reply dispatch -------------------------------------------------------------------------

void TAcquisition::dispatchReply(std::span<const std::uint8_t> bytes) {
  switch (replyTag_) {
    case kTagSettings: {
      if (bytes.size() < kSettingsReplyLen) return;
      std::copy_n(bytes.begin(), kSettingsReplyLen, storedReplyBytes_.begin());
      settingsKnown_ = true;
      settingsCurrent_ = true;
      writeAwaited_ = false;
      readSettingsFirst_ = false;
      applySettingsReply();
      // The write awaited, else one read back: what its reply tells is compared with it. Only
      // where the user chooses a sample time: the voltmeter modes offer none.
      const float awaitedAsked = std::exchange(askedSampleTime_, -1.0f);
      const float readBack = std::exchange(readBackAsked_, -1.0f);
      if (const float asked = awaitedAsked > 0 ? awaitedAsked : readBack;
          asked > 0 && !isVoltmeterMode(mode_)) {
        const float got = storedReply_.sampleTime;
        if (std::fabs(got - asked) > 1e-6f * asked) host_.sampleTimeAdjusted(asked, got);
      }
      break;
    }
    case kTagMode: {
      if (bytes.size() < kModeReplyLen) return;
      const ModeCode m = decodeModeCode(bytes.data());
      // A code that is none of the eight modes would leave the window without a mode layout.
      if (modeIndex(m) < 0) return;
      deviceMode_ = m;
      // The selector follows the device unless the user has chosen another mode meanwhile.
      bool newerChoice = false;
      for (int i = 0; i < queue_.count() && !newerChoice; ++i)
        newerChoice = isSetModeCommand(queue_.get(i));
      // The device confirming the mode asked for (the stored one at start-up, the window's own
      // after a reconnect) is no new choice: single shot stays as the user set it.
      if (!newerChoice && m == requestedMode_) {
        if (controlsEnabled_) host_.modeRequested(m);
      } else if (!newerChoice) {
        requestedMode_ = m;
        showRequestedMode(m);
      }
      mode_ = m;
      host_.modeConfirmed(m);
      // A run already waiting waits behind this read, so it knows the record length.
      const int run = queue_.indexOfKind(kKindRun);
      if (run >= 0) {
        queue_.insertAt(run, makeSettingsReadCommand());
        showQueueCount();
        t_.followUp.enable();
      } else {
        queueCommand(makeSettingsReadCommand(), true);
      }
      break;
    }
    case kTagMeasurement:
      recordComplete();
      break;
    case kTagIo:
      if (bytes.size() < kIoReplyLen) return;
      std::copy_n(bytes.begin(), kIoReplyLen,
                  storedReplyBytes_.begin() + SettingsReply::kGpioDataOffset);
      applySettingsReply();
      host_.ioReplyApplied(storedReply_);
      break;
    case kTagIdentification: {
      std::string text;
      if (!decodeIdentificationReply(bytes.data(), bytes.size(), text)) return;
      identification_ = QString::fromLatin1(text.data(), qsizetype(text.size()));
      host_.identificationChanged(identification_);
      break;
    }
    default:
      break;  // late or unexpected: dropped
  }
}

void TAcquisition::applySettingsReply() {
  storedReply_ = SettingsReply::decode(storedReplyBytes_.data());
  // The desired settings follow the reported ones, except while a change waits for its settings
  // write: the reply was asked for before that change and must not undo it.
  if (!t_.accumulateSettings.isActive()) {
    const std::uint32_t word = desired_.word;
    desired_ = storedReply_.toWriteBlock();
    desired_.word = word;
  }
  desiredSet_ = true;
  // The conversion always takes what the device applied, also while a run waits: the record
  // that follows is measured with it.
  conv_.ampl = {storedReply_.amplC0, storedReply_.amplC1};
  conv_.offs = {storedReply_.offsC0, storedReply_.offsC1};
  host_.settingsReplyApplied(storedReply_, controlsEnabled_);
}

// --- Measurement path -----------------------------------------------------------------------

void TAcquisition::loggerStream(std::span<const std::uint8_t> bytes) {
  lastLoggerResult_ = sink_.loggerChunk(mode_, bytes);
  endMarker_.feed(bytes.data(), bytes.size());
  link_.resetAccumulation();
  if (!endMarker_.seen()) return;
  replyTag_ = kTagNone;
  inFlight_ = false;
  const ModeCode m = mode_;
  if (m == kModeDLA0) setRunState(RunState::Idle);
  sink_.loggerRunEnded(m);
  // A run asked for while the stream's file was closed and drawn stays queued and says so.
  if (runState_ != RunState::Idle) settle();
  startIfWanted();
}

void TAcquisition::runPreparation() {
  const double depth = storedReply_.memoryDepth;
  deviceBytes_ = std::max<std::int64_t>(0, measurementByteCount(mode_, depth));
  seenBytes_ = 0;
  head_ = Head::Unknown;
  undecided_ = false;
  beyond_.clear();
  // A rest still owed by the record before may come ahead of this one (see readMeasurement),
  // and so may replies given up (a device answers in turn); a logger stream has no record head
  // to tell them by.
  replyAhead_ = std::uint32_t(lostReplyBytes(runUs_));
  if (isLoggerMode(mode_)) {
    watchLateRest(0, Owed::Whole, 0);
    replyAhead_ = 0;
  }
  const auto bytesFor = [depth](ModeCode m) {
    // Never more than the accumulation buffer holds, or the record could not complete.
    const std::int64_t n = measurementByteCount(m, depth);
    return std::int32_t(std::clamp<std::int64_t>(n, 0, TDeviceLink::kBufferSize));
  };
  if (isVoltmeterMode(mode_)) {
    expected_ = std::int32_t(kVoltmeterReplyLen);
    // The run's time on the clock its readings are dated by.
    sink_.recordStamped({clock_->at(runUs_), runsWritten_, 0.0});
    sink_.voltmeterRunStarted(singleShot_);
  } else if (mode_ == kModeOSA0) {
    expected_ = bytesFor(mode_);
    if (!multiRegistered_) host_.scopeTabToFront();
  } else if (mode_ == kModeLAIO) {
    expected_ = bytesFor(mode_);
  } else if (isLoggerMode(mode_)) {
    endMarker_.clear();
    sink_.loggerRunStarted(mode_);
  }
}

bool TAcquisition::overlapStep(std::uint32_t losses) {
  // A window asked to close, or stopped, while the record was processed starts no further run.
  if (!overlap_ || singleShot_ || closing_ || stopRequested_) return false;
  // Nor does one whose device went (and maybe came back) meanwhile: the loss ended the run.
  if (losses_ != losses) return true;
  queueRun();
  if (losses_ != losses) return true;
  replyTag_ = kTagNone;
  drain();
  host_.processEvents();
  return true;
}

void TAcquisition::recordComplete() {
  recordSteps();
  // A start pressed while a stopped run's record came or was saved and drawn: now that the
  // run has ended, it begins the next one.
  startIfWanted();
}

void TAcquisition::recordSteps() {
  ++recordStep_;
  const auto leave = qScopeGuard([this] { --recordStep_; });
  // The steps let events run: a loss there ends the run, even when a reconnect followed it.
  const std::uint32_t losses = losses_;
  inFlight_ = false;
  // Without a read that completed it (a record taken by a reply tick) it came now, or when a
  // peek saw it whole.
  if (reads_ == 0 || lastFill_ < expected_) {
    receivedUs_ = peekUs_ >= 0 ? std::min(peekUs_, clock_->nowUs()) : clock_->nowUs();
    transferUs_ = 0;
  }
  stamp_ = {clock_->at(receivedUs_), runsWritten_, double(transferUs_) * 1e-6};
  reads_ = 0;
  peekUs_ = -1;
  // This record's steps may hold the thread for a while: the others' records that have come by
  // now are dated first.
  peekAll();
  // A scope or logic-analyser record that comes after STOP was measured all the same (the
  // device finishes what it began, or sends its memory when it had no trigger yet): it is kept
  // like any other, and the stop only holds back the next run. A voltmeter reading is not: the
  // stop has already closed its series.
  if (stopRequested_ && isVoltmeterMode(mode_) && !voltmeterStopOwed_) {
    settle();
    return;
  }
  if (closing_) return closeVoltmeterSeries();
  const auto raw = link_.accumulated();
  if (isVoltmeterMode(mode_)) {
    if (raw.size() >= kVoltmeterReplyLen) {
      // Dated when its run went out, as the device measures on it: the poll that reads the
      // reply comes up to a wait interval later, and a STOP takes one waiting at once, which
      // would date the last reading of a series early against the others.
      sink_.recordStamped({clock_->at(runUs_), runsWritten_, 0.0});
      const VoltmeterReplyRecord rec = makeVoltmeterReplyRecord(mode_, raw.data());
      sink_.voltmeterReading(rec, convertVoltmeterReply(rec, conv_));
    }
    closeVoltmeterSeries();
    if (losses_ != losses) return;
    if (singleShot_ || closing_ || stopRequested_) {
      setRunState(RunState::Idle);
    } else {
      queueRun();
    }
    return;
  }
  bool overlapped = false;
  if (mode_ == kModeOSA0) {
    setRunState(RunState::Transferring);
    sink_.recordStamped(stamp_);
    lastRecordResult_ = sink_.scopeRecord(raw, conv_);
    setControlsEnabled(true);
    overlapped = overlapStep(losses);
    sink_.scopeRecordFinish();
  } else if (mode_ == kModeLAIO) {
    setRunState(RunState::Transferring);
    sink_.recordStamped(stamp_);
    sink_.logicRecord(raw);
    overlapped = overlapStep(losses);
    lastRecordResult_ = sink_.logicRecordFinish();
  }
  // Without the overlap step (overlap off, or single shot) the record ends here; single shot
  // with overlap ticked ends Idle as well rather than staying in Transferring. The steps let
  // events run: a STOP handled there (by this window or the multi-device window) holds, and a
  // run asked for there waits in the queue.
  if (!overlapped && losses_ == losses) {
    // A run that goes on passes Idle without letting events run: RUN shows there, in STOP's
    // place, and a click meant to stop would ask for another run.
    const bool wasQuiet = quiet_;
    quiet_ = quiet_ || runGoesOn();
    setRunState(RunState::Idle);
    quiet_ = wasQuiet;
    if (runState_ == RunState::Idle && runGoesOn())
      queueRun();
    else if (runState_ == RunState::Idle && queue_.indexOfKind(kKindRun) >= 0) {
      setControlsEnabled(false);
      setRunState(RunState::RunQueued);
    }
  }
}

// --- Devices that come and go ---------------------------------------------------------------

bool TAcquisition::goneAfter(FtStatus st) {
  if (lost_) return true;
  // A single failing call of a device still on the bus is a fault of that call: it shows on
  // the panels and the cycle goes on. A device the driver no longer lists has gone, and so has
  // one pulled and plugged back before this call: its handle died with the old connection.
  if (!TDeviceLink::isGoneStatus(st)) return false;
  if (link_.listedNow() && !link_.handleDead()) return false;
  linkLost(st);
  return true;
}

void TAcquisition::linkLost(FtStatus status) {
  if (lost_) return;
  lost_ = true;
  ++losses_;
  const int stageLeft = t_.settings.isActive() ? t_.settings.tag : -1;
  t_.followUp.stop();
  t_.accumulateSettings.stop();
  t_.settings.stop();
  startAfterStop_ = false;  // the run ends with the device; RUN is offered once it is back
  LostRun run;
  run.status = status;
  run.mode = mode_;
  run.running = runState_ == RunState::RunQueued || runState_ == RunState::Measuring;
  const bool measuring = runState_ == RunState::Measuring && inFlight_;
  if (measuring && isLoggerMode(mode_)) {
    run.loggerClosed = true;
  } else if (measuring && link_.accumulationFill() > 0) {
    // Part of a record is no record: it is dropped, and the window says so once.
    run.bytesCut = link_.accumulationFill();
    run.bytesExpected = expected_;
  }
  inFlight_ = false;
  replyTag_ = kTagNone;
  settingsCurrent_ = false;  // the device that comes back may hold others
  writeAwaited_ = false;
  discard_ = 0;
  rest_ = 0;
  restProbe_ = 0;
  watchLateRest(0, Owed::Whole, 0);
  restAheadSeen_ = false;
  undecided_ = false;
  replyAhead_ = 0;
  beyond_.clear();
  restKind_ = RestKind::Unknown;  // the device that comes back may be another one
  restDelayUs_ = 0;
  reads_ = 0;
  queue_.clear();
  showQueueCount();
  link_.resetAccumulation();
  link_.markLost(status);
  // Whatever came of a logger run is in its file: closing it writes its end and plots it.
  if (run.loggerClosed) sink_.loggerRunEnded(mode_);
  if (isVoltmeterMode(mode_) && (run.running || voltmeterStopOwed_)) {
    voltmeterStopOwed_ = false;
    sink_.voltmeterStopped();
  }
  setRunEnabled(false);
  if (runState_ != RunState::Idle) setRunState(RunState::Idle);
  setControlsEnabled(true);
  // Lost while opening: the stages still to come would act on the device that comes back as if
  // no time had passed, over what the user chose meanwhile.
  if (stageLeft >= 0) applyStartUpLocally(stageLeft);
  host_.deviceLost(run);
}

int TAcquisition::reconnect() {
  if (!lost_) return 0;
  const FtStatus st = link_.open();
  if (st != kFtOk) return int(st);
  lost_ = false;
  stopRequested_ = false;
  settingsKnown_ = false;
  settingsCurrent_ = false;
  writeAwaited_ = false;
  readSettingsFirst_ = false;
  readBackAsked_ = -1;
  deviceMode_ = 0;
  modeInFlight_ = 0;
  replyTag_ = kTagNone;
  staleSinceUs_ = -1;  // opening purged what the old connection left
  holdForRest_ = false;
  replyLostUs_ = -1;
  queue_.clear();
  // The device starts with its power-on settings: it gets the window's mode and settings as
  // they are now, then its answers update the window as after opening.
  queueIdentification();
  const ModeCode m = requestedMode_ != 0 ? requestedMode_ : mode_;
  if (m != 0) queue_.add(makeSetModeCommand(m));
  // A fresh device lost before it reported its settings has none to send yet: it keeps its
  // power-on ones, which the mode's answer reads.
  if (desiredSet_) queue_.add(makeSettingsWriteCommand(desired_));
  startUpInterrupted_ = false;
  showQueueCount();
  setRunEnabled(true);
  t_.followUp.start(kFollowUpInitialMs);
  host_.deviceBack();
  return 0;
}

// --- Closing --------------------------------------------------------------------------------

bool TAcquisition::recordComing() {
  if (runState_ == RunState::Transferring) return true;
  if (!inFlight_) return false;
  return link_.accumulationFill() > 0 ||
         (link_.queryQueue() == kFtOk && link_.queueByteCount() > 0);
}

void TAcquisition::closeQuery() {
  stopClicked();
  // The window goes: its series closes now, not with a reading that may come after it.
  closeVoltmeterSeries();
  host_.saveLastSettings();
  closing_ = true;
  t_.close.enable();
}

void TAcquisition::close() {
  t_.close.enable();
  // The window goes away: no more polling, settings writes or start-up stages.
  t_.followUp.stop();
  t_.accumulateSettings.stop();
  t_.settings.stop();
  link_.close();
}

void TAcquisition::onCloseTimer() {
  t_.close.stop();
  host_.closeAgain();
}

}  // namespace tolv
