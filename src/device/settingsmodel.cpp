#include "device/settingsmodel.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/format.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "device/acquisition.h"
#include "device/gpio.h"

namespace tolv {

// --- Host over the acquisition cycle ------------------------------------------------------

int TAcquisitionSettingsHost::replyTag() const {
  return acq_.replyTag();
}
bool TAcquisitionSettingsHost::controlsEnabled() const {
  return acq_.controlsEnabled();
}
bool TAcquisitionSettingsHost::runIdle() const {
  return acq_.runState() == RunState::Idle;
}
bool TAcquisitionSettingsHost::runWaiting() const {
  return acq_.runState() == RunState::RunQueued;
}
ModeCode TAcquisitionSettingsHost::mode() const {
  return acq_.mode();
}
ModeCode TAcquisitionSettingsHost::requestedMode() const {
  return acq_.requestedMode();
}
SettingsWriteBlock& TAcquisitionSettingsHost::desired() {
  return acq_.desired();
}
const SettingsReply& TAcquisitionSettingsHost::reported() const {
  return acq_.storedReply();
}
ConversionInputs& TAcquisitionSettingsHost::conversion() {
  return acq_.conversion();
}
void TAcquisitionSettingsHost::selectMode(ModeCode mode) {
  acq_.selectMode(mode);
}
void TAcquisitionSettingsHost::queueIoCounter(std::uint32_t counter, std::int32_t i0,
                                              std::int32_t i1) {
  acq_.queueIoCounter(counter, i0, i1);
}

// --- Model ------------------------------------------------------------------------------------

namespace {

QChar sysSep() {
  return regional().decimalSeparator();
}

bool isLogger(ModeCode m) {
  return m == kModeDLA0 || m == kModeDLDI;
}

}  // namespace

TSettingsModel::TSettingsModel(ISettingsHost& host, SettingsTimers timers, IQuestionSink* question)
    : host_(host), t_(timers), question_(question) {
  t_.noZeroProbe.stop();
  t_.noZeroProbe.setInterval(kNoZeroMs);
  t_.noZeroProbe.setHandler([this] { onNoZeroProbeTimer(); });
  t_.forceManualTrigger.stop();
  t_.forceManualTrigger.setInterval(kForceManualMs);
  t_.forceManualTrigger.setHandler([this] { onForceManualTriggerTimer(); });
  t_.forcedSampleTime.stop();
  t_.forcedSampleTime.setInterval(kForcedSampleTimeMs);
  t_.forcedSampleTime.setHandler([this] { onForcedSampleTimeTimer(); });
  const ConversionInputs& c = host_.conversion();
  d_.probeSpin = {int(c.probe[0]), int(c.probe[1])};
  d_.aux = c.aux != 1.0;
}

void TSettingsModel::restartWrite() {
  if (host_.replyTag() >= 0) return;
  writeAfresh();
}

void TSettingsModel::writeAfresh() {
  ITimer& t = host_.accumulateTimer();
  t.stop();
  t.start();
}

double TSettingsModel::reportedRange(int ch) const {
  const SettingsReply& r = host_.reported();
  return ch == 0 ? r.amplC0 : r.amplC1;
}

int TSettingsModel::sliderPos(double volts, double range) const {
  // A zero range (no reply yet) has no defined position: stay in the middle.
  if (!(range != 0) || !std::isfinite(volts)) return 0;
  const double p = std::round(volts * kSliderScale / range);
  return int(std::clamp(p, double(kSliderMin), double(kSliderMax)));
}

// --- Setters ----------------------------------------------------------------------------------

void TSettingsModel::setAmplitude(int ch, double volts) {
  if (!settersOpen() || ch < 0 || ch > 1) return;
  SettingsWriteBlock& b = host_.desired();
  (ch == 0 ? b.amplC0 : b.amplC1) = float(volts);
  host_.conversion().ampl[std::size_t(ch)] = volts;
  restartWrite();
  d_.amplPos[std::size_t(ch)] = nearestRow(kAmplitudeTable, volts);
  host_.voltmeterRange(ch, volts);
  notify(SettingsTopic::Amplitude);
}

void TSettingsModel::setOffset(int ch, double volts) {
  if (!settersOpen() || ch < 0 || ch > 1) return;
  SettingsWriteBlock& b = host_.desired();
  (ch == 0 ? b.offsC0 : b.offsC1) = float(volts);
  host_.conversion().offs[std::size_t(ch)] = volts;
  restartWrite();
  d_.offsPos[std::size_t(ch)] = sliderPos(volts, reportedRange(ch));
  notify(SettingsTopic::Offset);
}

void TSettingsModel::setSampleTime(double seconds) {
  if (!settersOpen()) return;
  host_.desired().sampleTime = float(seconds);
  restartWrite();
  d_.samplTimPos = nearestRow(kSampleTimeTableUs, seconds * 1e6);
  notify(SettingsTopic::SampleTime);
}

void TSettingsModel::setMemoryDepth(double samples) {
  if (!settersOpen()) return;
  host_.desired().memoryDepth = float(samples);
  totalTime_ = samples * double(host_.reported().sampleTime);
  restartWrite();
  d_.memDepthPos = nearestRow(kMemoryDepthTable, samples);
  notify(SettingsTopic::MemoryDepth);
}

void TSettingsModel::setTriggerPoint(double percent) {
  if (!settersOpen()) return;
  host_.desired().triggerPoint = float(percent);
  restartWrite();
  if (std::isfinite(percent)) d_.trgPointPos = int(std::clamp(std::round(percent), 0.0, 100.0));
  notify(SettingsTopic::TriggerPoint);
}

void TSettingsModel::setTriggerWord(TriggerWord w) {
  if (!settersOpen()) return;
  const bool free = host_.replyTag() < 0;
  ITimer& t = host_.accumulateTimer();
  if (free) t.stop();
  host_.desired().trigger = w;
  d_.trgChan = int(w.channel) + 1;
  d_.trigger = w;
  notify(SettingsTopic::TriggerWord);
  if (free) t.start();
}

void TSettingsModel::setTriggerType(char letter) {
  if (inTriggerType_ || !settersOpen()) return;
  inTriggerType_ = true;
  host_.desired().triggerType = triggerTypeWord(letter);
  restartWrite();
  d_.trgTypRow = triggerTypeRow(letter);
  if (host_.mode() == kModeLAIO)
    d_.patternRowsVisible = triggerTypeLetter(host_.reported().triggerType) == 'P';
  notify(SettingsTopic::TriggerType);
  inTriggerType_ = false;
}

void TSettingsModel::setLevel(int which, double volts) {
  if (!settersOpen() || which < 0 || which > 1) return;
  SettingsWriteBlock& b = host_.desired();
  (which == 0 ? b.levelUpper : b.levelLower) = float(volts);
  restartWrite();
  const int ch = host_.reported().trigger.channel == 0 ? 0 : 1;
  d_.levelPos[std::size_t(which)] = sliderPos(volts, reportedRange(ch));
  notify(SettingsTopic::Levels);
}

void TSettingsModel::setProbeFactor(int ch, double p) {
  if (!controlsEnabled() || ch < 0 || ch > 1) return;
  // The conversion never multiplies by 0; such a value waits in the spin edit for its timer.
  if (p != 0 && std::isfinite(p)) host_.conversion().probe[std::size_t(ch)] = p;
  d_.probeSpin[std::size_t(ch)] = int(p);
  host_.voltmeterProbe(ch, host_.conversion().probe[std::size_t(ch)]);
  notify(SettingsTopic::Probe);
}

void TSettingsModel::setAuxDivider(bool on) {
  if (!controlsEnabled()) return;
  host_.conversion().aux = on ? kAuxDivider : 1.0;
  d_.aux = on;
  host_.voltmeterAux(host_.conversion().aux);
  notify(SettingsTopic::Aux);
}

void TSettingsModel::selectMode(ModeCode mode) {
  if (!controlsEnabled() || modeIndex(mode) < 0) return;
  host_.selectMode(mode);
  modeRequested(mode);
}

// --- User controls ----------------------------------------------------------------------

void TSettingsModel::amplitudeTrackbarMoved(int ch, int pos) {
  if (replyAwaited() || pos < 0 || pos >= int(kAmplitudeTable.size())) return;
  setAmplitude(ch, kAmplitudeTable[std::size_t(pos)]);
}

void TSettingsModel::amplitudeRowClicked(double volts) {
  if (!std::isfinite(volts)) return;
  setAmplitude(0, volts);
  setAmplitude(1, volts);
}

void TSettingsModel::sampleTimeTrackbarMoved(int pos) {
  if (replyAwaited() || pos < 0 || pos >= int(kSampleTimeTableUs.size())) return;
  restorePending_ = false;  // the user's choice wins over a restore still to come
  setSampleTime(kSampleTimeTableUs[std::size_t(pos)] * 1e-6);
}

void TSettingsModel::sampleTimeRowClicked(double microseconds) {
  if (!std::isfinite(microseconds)) return;
  restorePending_ = false;
  setSampleTime(microseconds * 1e-6);
}

void TSettingsModel::memoryDepthTrackbarMoved(int pos) {
  if (replyAwaited() || pos < 0 || pos >= int(kMemoryDepthTable.size())) return;
  setMemoryDepth(kMemoryDepthTable[std::size_t(pos)]);
}

void TSettingsModel::memoryDepthRowClicked(double samples) {
  if (!std::isfinite(samples)) return;
  setMemoryDepth(samples);
}

void TSettingsModel::triggerPointMoved(int pos) {
  if (replyAwaited()) return;
  setTriggerPoint(pos);
}

void TSettingsModel::offsetSliderMoved(int ch, int pos) {
  if (replyAwaited() || ch < 0 || ch > 1) return;
  const double v = pos * reportedRange(ch) / kSliderScale;
  d_.offs[std::size_t(ch)] = fixedPanelText(v, 9, 5, QStringLiteral(" V"), sysSep());
  notify(SettingsTopic::Panels);
  setOffset(ch, v);
}

void TSettingsModel::levelSliderMoved(int which, int pos) {
  if (replyAwaited() || which < 0 || which > 1) return;
  const int ch = host_.reported().trigger.channel == 0 ? 0 : 1;
  const double v = pos * reportedRange(ch) / kSliderScale;
  d_.level[std::size_t(which)] = fixedPanelText(v, 9, 3, QStringLiteral(" V"), sysSep());
  notify(SettingsTopic::Panels);
  setLevel(which, v);
}

void TSettingsModel::triggerChannelChanged(int value) {
  if (replyAwaited() || value < 1 || value > 2) return;
  // Pending pattern clicks stay in the word (it equals the report when none are pending).
  TriggerWord w = host_.desired().trigger;
  w.channel = std::uint8_t(value - 1);
  setTriggerWord(w);
}

void TSettingsModel::triggerTypeChosen(char letter) {
  if (triggerTypeRow(letter) < 0) return;
  restorePending_ = false;
  displaced_ = {};  // the user's choice is the one to keep
  setTriggerType(letter);
}

void TSettingsModel::modeChosen(int index) {
  if (index < 0 || index > 7) return;
  selectMode(kModeCodes[index]);
}

void TSettingsModel::probeSpinChanged(int ch, int value) {
  if (replyAwaited() || ch < 0 || ch > 1) return;
  value = std::clamp(value, kProbeMin, kProbeMax);
  if (value != 0) {
    setProbeFactor(ch, value);
    return;
  }
  if (!controlsEnabled()) return;
  d_.probeSpin[std::size_t(ch)] = 0;
  notify(SettingsTopic::Probe);
  t_.noZeroProbe.stop();
  t_.noZeroProbe.start();
}

void TSettingsModel::auxBoxChanged(bool ticked) {
  if (ticked != d_.aux) setAuxDivider(ticked);
}

// --- Settings reply -------------------------------------------------------------------------

void TSettingsModel::applyReply(const SettingsReply& r) {
  // The device's answer reaches the controls even while they are locked for a run: nothing
  // the user did can be pending then (changes in their debounce went out before the run), and
  // the controls must not show values the device did not take.
  TReplyScope applying(applyingReply_);
  SettingsWriteBlock& b = host_.desired();
  // A change still waiting for its settings write is newer than this reply: the controls keep
  // showing it and the write still sends it; only the panels and the conversion take the
  // device's values until the device answers that write.
  const bool pending = host_.accumulateTimer().isActive();
  SettingsWriteBlock mine = b;
  const ConversionInputs applied = host_.conversion();
  const std::uint32_t word = b.word;
  b = r.toWriteBlock();
  b.word = word;
  // Taken before the sample-time question below lets newer replies in. Before the first reply
  // nothing is known of the device but this reply: a pending value counts as a change only when
  // it differs from it (not from a block of zeros, which every loaded value would).
  const SettingsWriteBlock before =
      std::exchange(replied_, r.toWriteBlock()).value_or(r.toWriteBlock());
  SettingsReply c = r;  // what the controls take
  if (pending) {
    c.amplC0 = mine.amplC0;
    c.amplC1 = mine.amplC1;
    c.offsC0 = mine.offsC0;
    c.offsC1 = mine.offsC1;
    c.sampleTime = mine.sampleTime;
    c.memoryDepth = mine.memoryDepth;
    c.triggerPoint = mine.triggerPoint;
    c.trigger = mine.trigger;
    c.triggerType = mine.triggerType;
    c.levelUpper = mine.levelUpper;
    c.levelLower = mine.levelLower;
  }
  // The first reply in a mode with a timebase after crossing the logger boundary: that side's
  // own sample time and trigger type go back to the device (only those two), and the controls
  // show them already. A change of one of them still waiting for its write (the user's, a
  // loaded setting, the forced manual trigger) is newer and stays; a change of any other field
  // does not hold the restore back.
  bool restored = false;
  if (restorePending_ && !isVoltmeterMode(host_.mode())) {
    float st = c.sampleTime;
    std::uint32_t type = c.triggerType;
    const bool kept = keptFor(host_.mode(), st, type);
    if (pending && mine.sampleTime != before.sampleTime) st = c.sampleTime;
    if (pending && mine.triggerType != before.triggerType) type = c.triggerType;
    if (kept && (st != c.sampleTime || type != c.triggerType)) {
      c.sampleTime = b.sampleTime = mine.sampleTime = st;
      c.triggerType = b.triggerType = mine.triggerType = type;
      writeAfresh();
      restored = true;
    }
  }
  // A run queued together with the way back (the multi-device window's RUN) waits behind this
  // reply: the displaced type goes out before it, so that run already measures with it. A type
  // the user chose meanwhile is newer and stays.
  if (host_.runWaiting() && displacedComesBack(host_.mode()) &&
      !(pending && mine.triggerType != before.triggerType)) {
    c.triggerType = b.triggerType = mine.triggerType = triggerTypeWord(displaced_.type);
    displaced_ = {};
    t_.forceManualTrigger.stop();
    writeAfresh();
  }

  const QChar sep = sysSep();
  const ModeCode mode = host_.mode();
  // 1. Amplitude ranges.
  setAmplitude(0, c.amplC0);
  setAmplitude(1, c.amplC1);
  amplitudePanelText(r.amplC0, mode, sep, d_.ak[0]);
  amplitudePanelText(r.amplC1, mode, sep, d_.ak[1]);
  // 2. Offsets, 3. zero-point corrections (display only).
  setOffset(0, c.offsC0);
  setOffset(1, c.offsC1);
  d_.offs[0] = fixedPanelText(r.offsC0, 9, 5, QStringLiteral(" V"), sep);
  d_.offs[1] = fixedPanelText(r.offsC1, 9, 5, QStringLiteral(" V"), sep);
  d_.npkt[0] = fixedPanelText(r.zeroCorrC0, 9, 5, QStringLiteral(" V"), sep);
  d_.npkt[1] = fixedPanelText(r.zeroCorrC1, 9, 5, QStringLiteral(" V"), sep);
  // 4. Sample time.
  const double st = r.sampleTime;
  setSampleTime(c.sampleTime);
  d_.samplTim = valueText(st, 6, QStringLiteral("s"));
  // A zero sample time has no frequency; the panel must not show an infinite number.
  d_.samplFreq = st > 0 ? valueText(1.0 / st, 6, QStringLiteral("Hz")) : QStringLiteral("- Hz");
  notify(SettingsTopic::Panels);
  // Compared in the reply's single precision: the corrected 99 us comes back as a float a hair
  // below 9.9e-5 and must not bring the question back.
  // A longer sample time on its way to the device (restored or chosen) needs no question.
  const float willRun = pending || restored ? c.sampleTime : r.sampleTime;
  if (isLogger(mode) && willRun < float(kLoggerMinSampleTime) && !forcedSampleTimeFlag_ &&
      question_) {
    QString q = text(230);
    q.replace(QLatin1Char('~'), QLatin1Char('\n'));
    // Timers that fire while the question is open act as the user would: on locked controls.
    applyingReply_ = false;
    const bool yes = question_->askYesNo(q);
    applyingReply_ = true;
    if (yes) {
      forcedSampleTimeFlag_ = true;
      t_.forcedSampleTime.stop();
      t_.forcedSampleTime.start();
    }
  }
  // 5. Memory depth.
  const double md = r.memoryDepth;
  setMemoryDepth(c.memoryDepth);
  d_.samples = valueText(md, 6, QStringLiteral("Samples"));
  d_.totTim = valueText(st * md, 6, QStringLiteral("s"));
  // 6. Trigger point.
  setTriggerPoint(c.triggerPoint);
  d_.prePosTrig = fixedPanelText(r.triggerPoint, 5, 1, QStringLiteral(" %"), sep);
  // 7. Trigger word, 8. trigger type.
  setTriggerWord(c.trigger);
  const char letter = triggerTypeLetter(r.triggerType);
  const char chosen = triggerTypeLetter(c.triggerType);
  if (chosen) setTriggerType(chosen);
  d_.trgTyp =
      QLatin1Char('"') + (letter ? QString(QLatin1Char(letter)) : QString()) + QLatin1Char('"');
  d_.trgTypLogAnal = d_.trgTyp;
  // 9. Trigger levels.
  setLevel(0, c.levelUpper);
  setLevel(1, c.levelLower);
  d_.level[0] = fixedPanelText(r.levelUpper, 3, 1, QStringLiteral(" V"), sep);
  d_.level[1] = fixedPanelText(r.levelLower, 3, 1, QStringLiteral(" V"), sep);
  notify(SettingsTopic::Panels);
  // 10. GPIO words.
  if (gpio_) {
    SettingsReply g = r;
    if (pending) {
      g.gpioData = mine.gpioData;
      g.gpioDirection = mine.gpioDirection;
    }
    gpio_->applyReply(g);
  }
  if (pending) {
    b = mine;
    host_.conversion().ampl = applied.ampl;
    host_.conversion().offs = applied.offs;
  }
}

void TSettingsModel::controlsEnabledChanged() {
  notify(SettingsTopic::ControlsEnabled);
}

void TSettingsModel::modeRequested(ModeCode mode) {
  d_.modeShown = mode;
  notify(SettingsTopic::Mode);
}

void TSettingsModel::keepAcrossLoggerBoundary(ModeCode before, ModeCode now) {
  if (modeIndex(before) < 0 || isLogger(before) == isLogger(now)) return;
  // What the side being left asked for last (a change still in its debounce counts). A side
  // left before its own values came back (only voltmeter modes in between) keeps them.
  const SettingsWriteBlock& b = host_.desired();
  if (!restorePending_)
    kept_[isLogger(before) ? 1 : 0] = {true, b.sampleTime, triggerTypeLetter(b.triggerType)};
  restorePending_ = kept_[isLogger(now) ? 1 : 0].valid;
}

bool TSettingsModel::keptFor(ModeCode mode, float& sampleTime, std::uint32_t& triggerType) {
  restorePending_ = false;
  const KeptTimebase& k = kept_[isLogger(mode) ? 1 : 0];
  if (!k.valid || !(k.sampleTime > 0)) return false;
  const char was = triggerTypeLetter(triggerType);
  sampleTime = k.sampleTime;
  triggerType = triggerTypeWord(offeredTriggerType(mode, k.triggerType ? k.triggerType : was));
  return true;
}

void TSettingsModel::modeConfirmed(ModeCode mode) {
  keepAcrossLoggerBoundary(layoutMode_, mode);
  layoutMode_ = mode;
  layout_ = modeLayout(mode, multiRegistered_);
  // A mode the user has chosen since stays in the selector; its own reply follows.
  d_.modeShown = modeIndex(host_.requestedMode()) >= 0 ? host_.requestedMode() : mode;
  t_.forceManualTrigger.stop();
  // Another mode confirmed before the timer fired must not get the manual trigger. A mode that
  // does not offer the trigger type of the mode before gets one it offers the same way, and
  // the way back to a mode that offers the displaced type brings that type back.
  const char reported = triggerTypeLetter(host_.reported().triggerType);
  const char offered = offeredTriggerType(mode, reported);
  if (displacedComesBack(mode)) {
    t_.forceManualTrigger.start();
  } else {
    if (offered != reported && hasTriggerTable(mode)) displaced_ = {reported, offered};
    if (layout_.startsForceManualTrigger || offered != reported) t_.forceManualTrigger.start();
  }
  notify(SettingsTopic::Mode);
  notify(SettingsTopic::Layout);
}

// --- Timers ---------------------------------------------------------------------------------

void TSettingsModel::onNoZeroProbeTimer() {
  t_.noZeroProbe.stop();
  for (int ch = 0; ch < 2; ++ch)
    if (d_.probeSpin[std::size_t(ch)] == 0) setProbeFactor(ch, 1);
  // Locked controls leave the spin edit at 0 otherwise; it shows the factor that still applies.
  for (int ch = 0; ch < 2; ++ch)
    if (d_.probeSpin[std::size_t(ch)] == 0) {
      d_.probeSpin[std::size_t(ch)] = int(host_.conversion().probe[std::size_t(ch)]);
      notify(SettingsTopic::Probe);
    }
}

bool TSettingsModel::hasTriggerTable(ModeCode mode) {
  return mode == kModeOSA0 || mode == kModeLAIO;
}

bool TSettingsModel::displacedComesBack(ModeCode mode) const {
  return displaced_.type && hasTriggerTable(mode) &&
         offeredTriggerType(mode, displaced_.type) == displaced_.type &&
         triggerTypeLetter(host_.reported().triggerType) == displaced_.by;
}

void TSettingsModel::forgetDisplacedTrigger() {
  displaced_ = {};
}

void TSettingsModel::onForceManualTriggerTimer() {
  t_.forceManualTrigger.stop();
  const ModeCode mode = host_.mode();
  const char reported = triggerTypeLetter(host_.reported().triggerType);
  const bool back = displacedComesBack(mode);
  const char wanted = back ? displaced_.type : offeredTriggerType(mode, reported);
  if (!isLogger(mode) && wanted == reported) return;
  // While a reply is applied (the sample-time question may be open) the reply's own trigger
  // type would overwrite M, and locked controls take nothing: try again after the interval.
  // A run started meanwhile measures with the type it went out with: the displaced one comes
  // back once the run is over, not in the middle of it (nor is it dropped: a multi-device run
  // queues its run together with the mode change that brings it back).
  if (replyAwaited() || !controlsEnabled() || (back && !host_.runIdle())) {
    t_.forceManualTrigger.start();
    return;
  }
  if (back) displaced_ = {};
  setTriggerType(wanted);
}

void TSettingsModel::onForcedSampleTimeTimer() {
  t_.forcedSampleTime.stop();
  if (isLogger(host_.mode())) setSampleTime(kLoggerMinSampleTime);
  // Cleared in either case, so a later mode change back to a logger can ask again.
  forcedSampleTimeFlag_ = false;
}

}  // namespace tolv
