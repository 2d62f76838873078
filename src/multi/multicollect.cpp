#include "multi/multicollect.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "common/atomicfile.h"
#include "common/format.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/textutil.h"
#include "multi/multiplotfeed.h"

namespace tolv {

namespace fs = std::filesystem;

namespace {

char columnSep() {
  return char(columnSeparatorSetting().toLatin1());
}

// The system's decimal mark, unless it is the column separator: then the other mark, which
// the reader takes as well, since a number split into two cells never reads back (the system
// may have changed since the separator was chosen).
char systemDecimal() {
  const char c = regional().decimalSeparator().toLatin1();
  const char dec = c ? c : '.';
  if (dec == columnSep()) return dec == '.' ? ',' : '.';
  return dec;
}

}  // namespace

TMultiCollection::TMultiCollection(IMultiMembers& members, QObject* handle, IMultiView* view,
                                   const TimerFactory& timers)
    : members_(members),
      handle_(handle),
      view_(view),
      tmCollect_(timers ? timers(kCollectMs) : makeTimer(kCollectMs)),
      tmReRun_(timers ? timers(kReRunMs) : makeTimer(kReRunMs)),
      tmUpdateActive_(timers ? timers(kUpdateActiveMs) : makeTimer(kUpdateActiveMs)),
      tmColours_(timers ? timers(kColourRepaintMs) : makeTimer(kColourRepaintMs)),
      tmHeader_(timers ? timers(kHeaderMs) : makeTimer(kHeaderMs)),
      tmWatchdog_(timers ? timers(kCollectMs + kTriggerWaitMs)
                         : makeTimer(kCollectMs + kTriggerWaitMs)),
      tmOwed_(timers ? timers(kOwedPollMs) : makeTimer(kOwedPollMs)),
      tmBreakEnd_(timers ? timers(0) : makeTimer(0)),
      tmBusy_(timers ? timers(kBusyPollMs) : makeTimer(kBusyPollMs)) {
  tmCollect_.setHandler([this] { collectTimeOver(); });
  tmReRun_.setHandler([this] {
    tmReRun_.stop();
    startRun(false);
  });
  tmUpdateActive_.setHandler([this] { tmUpdateActive_.stop(); });
  tmColours_.setHandler([this] { repaintColours(); });
  tmHeader_.setHandler([this] {
    tmHeader_.stop();
    drawHeader();
  });
  tmWatchdog_.setHandler([this] { watchdogOver(); });
  tmOwed_.setHandler([this] {
    tmOwed_.stop();
    endIfNothingOwed();
  });
  tmBreakEnd_.setHandler([this] {
    tmBreakEnd_.stop();
    breakEndDue();
  });
  tmBusy_.setHandler([this] { refreshBusyMarks(); });
  previous_ = current_ = cycleStamp_ = dayTimeNow();
  setStatisticsDashes();
  kernel_.SetImageSize(800, 400);
  kernel_.PrepareImage(nullptr);
}

TMultiCollection::~TMultiCollection() {
  for (ITimer* t : {&tmCollect_, &tmReRun_, &tmUpdateActive_, &tmColours_, &tmHeader_,
                    &tmWatchdog_, &tmOwed_, &tmBreakEnd_, &tmBusy_}) {
    t->stop();
    t->setHandler(nullptr);
  }
}

ITimer& TMultiCollection::makeTimer(int ms) {
  ownTimers_.push_back(std::make_unique<TQtTimer>(ms));
  return *ownTimers_.back();
}

double TMultiCollection::collectingEstimate(std::int32_t depth, double dt) {
  // The record is measured first and sent afterwards: both times add up.
  const double n = depth > 0 ? double(depth) : 0.0;
  return n * std::max(dt, 0.0) + n * kTransferPerSample + kCollectMarginS;
}

// --- F ------------------------------------------------------------------------------------

void TMultiCollection::ensureRows(int rows) {
  while (int(rows_.size()) + 1 < rows) {
    rows_.emplace_back();
    rowNames_ << QString();
    dornellNames_ << QString();
  }
}

int TMultiCollection::fill() {
  const int n = members_.count();
  if (n <= 0) return kMultiEmpty;
  // A fill after the first (a device plugged in later) keeps what the table holds for the
  // devices listed already: the scalings file only knows what was last saved, and an edit not
  // yet saved must neither vanish nor change the scaling of the next merged file.
  struct Kept {
    ScaleRowTexts rows[2];
    ColorRef colours[2];
    bool checked;
  };
  std::map<QString, Kept> kept;
  for (int i = 0; i < itemCount(); ++i) {
    const int r1 = 2 * i + 1;
    if (r1 + 1 >= rowCount()) break;
    kept[itemSerials_[i]] = {{rows_[std::size_t(r1 - 1)], rows_[std::size_t(r1)]},
                             {rowColour(r1), rowColour(r1 + 1)},
                             checked_[std::size_t(i)]};
  }
  itemSerials_.clear();
  checked_.clear();
  for (int i = 0; i < n; ++i) {
    IMultiMember* m = members_.at(i);
    const QString serial = m ? m->serial() : QString();
    itemSerials_ << serial;
    checked_.push_back(false);
    ensureRows(2 * i + 3);
    rowNames_[2 * i] = serial + QStringLiteral(" K1");
    rowNames_[2 * i + 1] = serial + QStringLiteral(" K2");
    dornellNames_[2 * i] = dornellNames_[2 * i + 1] = serial;
    rows_[std::size_t(2 * i)] = ScaleRowTexts();
    rows_[std::size_t(2 * i + 1)] = ScaleRowTexts();
  }
  notify(kChangedScaleTable | kChangedCheckList);
  loadScalings(scalingsPath());
  if (!kept.empty()) {
    for (int i = 0; i < itemCount(); ++i) {
      const auto k = kept.find(itemSerials_[i]);
      if (k == kept.end()) continue;
      const int r1 = 2 * i + 1;
      rows_[std::size_t(r1 - 1)] = k->second.rows[0];
      rows_[std::size_t(r1)] = k->second.rows[1];
      setRowColour(r1, k->second.colours[0], false);
      setRowColour(r1 + 1, k->second.colours[1], false);
      checked_[std::size_t(i)] = k->second.checked;
    }
    notify(kChangedScaleTable | kChangedCheckList);
  }
  return itemSerials_.isEmpty() ? kMultiEmpty : 0;
}

// --- A ------------------------------------------------------------------------------------

int TMultiCollection::activate() {
  // Activating during a run ends it: given back their own choice below, devices whose own
  // choice is continuous would otherwise go on measuring by themselves. A cycle in hand ends as
  // after Break: the records the stop lets come still join it, and the new list takes over once
  // that cycle has ended.
  const bool breaking = running_ && !runAfterBreak_;
  if (breaking && cycleOpen_) {
    breakClicked();
    activateAfterCycle_ = true;
    return 0;
  }
  if (breaking) {
    stopRunDevices();
    endRun();
  }
  activateAfterCycle_ = false;
  // A run queued behind a broken cycle was asked of the devices active then.
  if (runAfterBreak_) {
    runAfterBreak_ = false;
    running_ = false;
    notify(kChangedRunButtons);
  }
  // A cycle Break left waiting keeps what came, saved before the active list changes.
  finishOpenCycle();
  longestEstimate_ = 0;
  // With nothing active, nothing sets the collecting time: no device is its source any more.
  collectSource_ = {};
  std::vector<MultiStatusRow> rowsBefore = std::move(status_);
  active_.clear();
  slots_.clear();
  // Break's marks were of the devices active until now.
  breakRequested_ = false;
  closeCycleQuietly();
  int rc = 0;
  const int n = members_.count();
  if (n <= 0) {
    rc = kMultiEmpty;
  } else {
    for (int i = 0; i < n; ++i)
      if (IMultiMember* m = members_.at(i)) {
        m->setMultiLink(nullptr, -1);
        m->setActive(false);
        m->setPlotSwitch(true);
        m->giveBackSingleShot();
      }
    if (itemSerials_.isEmpty()) rc = kMultiEmpty;
  }
  if (rc == 0) {
    for (int i = 0; i < itemCount() && i < n; ++i)
      if (checked_[std::size_t(i)])
        if (IMultiMember* m = members_.at(i)) {
          active_.push_back(m);
          m->setActive(true);
        }
    if (active_.empty()) rc = kMultiEmpty;
  }
  slots_.assign(active_.size(), Slot());
  for (std::size_t k = 0; k < active_.size(); ++k) {
    active_[k]->setMultiLink(handle_, int(k));
    active_[k]->setShown(true);
  }
  tmBusy_.stop();
  rowsFromPicture(std::move(rowsBefore));
  if (!active_.empty()) {
    for (IMultiMember* m : active_) updateEstimate(m);
    setCollectTimeFromEstimate(false);
  }
  notify(kChangedStatus);
  if (view_) view_->bringToFront();
  return rc;
}

void TMultiCollection::updateEstimate(IMultiMember* m) {
  const double e = collectingEstimate(m->memoryDepth(), m->sampleInterval());
  if (e <= longestEstimate_) return;
  longestEstimate_ = e;
  collectSource_.serial = m->serial();
  collectSource_.depth = m->memoryDepth();
  collectSource_.dt = m->sampleInterval();
}

void TMultiCollection::setCollectTimeFromEstimate(bool byRun) {
  const int ms = int(std::lround(longestEstimate_ * 1000.0));
  if (!byRun) collectSource_.changed = false;
  // The activation sets the time from the devices chosen; a run that changes it (a record
  // grown since, or a value the user typed) says so, as the box changes without any input.
  if (ms == collectTimeMs_) return;
  collectSource_.changed = byRun;
  collectSource_.previousMs = collectTimeMs_;
  setCollectTimeMs(ms);
}

// --- M ------------------------------------------------------------------------------------

int TMultiCollection::switchToScopeMode(QStringList* switched) {
  if (active_.empty()) return kNoActive;
  const std::vector<IMultiMember*> list = active_;
  for (IMultiMember* m : list) {
    const bool other = !m->scopeModeAsked();
    m->switchMode(QStringLiteral("OSA0"));
    if (switched && other && m->scopeModeAsked()) *switched << m->serial();
  }
  return 0;
}

// --- R ------------------------------------------------------------------------------------

int TMultiCollection::startRun(bool fromRequest) {
  if (active_.empty()) return fromRequest ? kNoActive : kMultiEmpty;
  if (runsRefused_) return kNoActive;
  finishOpenCycle();
  if (fromRequest) {
    tmReRun_.stop();
    plotPageDue_ = true;  // RUN, or the start-up's autostart
  }
  tmCollect_.stop();
  tmWatchdog_.stop();
  const std::vector<IMultiMember*> list = active_;
  // A device its own window has put into another mode since is switched back first: its run
  // would otherwise be of that mode, and a logger's stream never ends the cycle. The mode
  // command goes out before the run, as after activation. A window whose own run is going or
  // queued refuses the switch: that run is the user's and is left alone, and the device sits
  // the cycle out, since a run asked of it would be one more of that mode.
  // A new cycle: every slot starts afresh.
  slots_.assign(list.size(), Slot());
  QStringList busyNames;
  bool switched = false;
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (list[k]->inScopeMode()) continue;
    const bool other = !list[k]->scopeModeAsked();
    list[k]->switchMode(QStringLiteral("OSA0"));
    if (list[k]->scopeModeAsked()) {
      if (other && !notice_.switchedToScope.contains(list[k]->serial())) {
        notice_.switchedToScope << list[k]->serial();
        switched = true;
      }
      continue;
    }
    slots_[k].busy = true;
    busyNames << list[k]->serial();
  }
  if (switched) notify(kChangedCheckList);
  // The rows go on telling of the cycle on screen (a device missing from it included) until
  // this cycle's picture replaces it; a device sitting this cycle out says so at once, its
  // curves still drawn keep their marks.
  for (std::size_t k = 0; k < status_.size(); ++k) {
    MultiStatusRow& r = status_[k];
    r.busy = busyAt(k);
    r.owed = false;
    if (r.busy) r.missing = false;
  }
  // The marks go as soon as those runs are over, not at the next start.
  if (askedCount() < activeCount())
    tmBusy_.start();
  else
    tmBusy_.stop();
  if (askedCount() == 0) {
    // No device is free: the run ends here, saying why, rather than wait for records that
    // cannot come.
    closeCycleQuietly();
    plotSwitchesOn();
    running_ = false;
    notify(kChangedRunButtons | kChangedStatus);
    if (onDevicesBusy) onDevicesBusy(busyNames, true);
    return kAllBusy;
  }
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (slots_[k].busy) continue;
    list[k]->setPlotSwitch(false);
    list[k]->setSingleShot(true);
    updateEstimate(list[k]);
  }
  setCollectTimeFromEstimate(true);
  running_ = true;
  breakRequested_ = false;
  received_ = 0;
  firstRecord_ = 0;
  // A new cycle: every active device is asked for one record of a run started now.
  cycleOpen_ = true;
  ++cycleGen_;
  collectExtensions_ = 0;
  if (onRunStarted) onRunStarted();
  notify(kChangedRunButtons | kChangedStatus);
  if (!busyNames.isEmpty() && !busyTold_) {
    busyTold_ = true;
    if (onDevicesBusy) onDevicesBusy(busyNames, false);
  }
  for (std::size_t k = 0; k < list.size(); ++k)
    if (!slots_[k].busy) {
      list[k]->setSingleShot(true);
      list[k]->setPlotSwitch(false);
    }
  for (std::size_t k = 0; k < list.size(); ++k) {
    slots_[k].asked = list[k]->runCount();
    slots_[k].losses = list[k]->lossCount();
  }
  // Back to back, with nothing in between: the devices start as close together as their links
  // allow.
  for (std::size_t k = 0; k < list.size(); ++k)
    if (!slots_[k].busy) list[k]->startMeasurement();
  bool lateStart = false;
  for (std::size_t k = 0; k < list.size(); ++k)
    if (!slots_[k].busy && list[k]->runCount() == slots_[k].asked) lateStart = true;
  // The allowance is this cycle's, not the collecting time shown: a device that is busy or
  // gone must not change the user's setting.
  lateStartMs_ = lateStart ? kLateStartMs : 0;
  tmCollect_.setInterval(collectTimeMs_ + lateStartMs_);
  // Without any record the cycle still ends: the watchdog counts from the start.
  tmWatchdog_.start(collectTimeMs_ + lateStartMs_ + kTriggerWaitMs);
  return 0;
}

void TMultiCollection::runClicked() {
  if (runsRefused_) return;
  if (breakPending() && markOwed()) {
    runAfterBreak_ = true;
    running_ = true;
    notify(kChangedRunButtons);
    return;
  }
  // A run queued behind a broken cycle is this one: started here, it must not start again when
  // that cycle ends.
  runAfterBreak_ = false;
  finishOpenCycle();  // before the statistics start afresh
  if (!notice_.empty()) {
    notice_ = {};
    notify(kChangedCheckList);
  }
  autosaveFailureTold_ = false;
  deviceFilesToldFailed_.clear();
  busyTold_ = false;
  lastCycle_ = false;
  resetStatistics();
  startRun(true);
}

void TMultiCollection::startQueuedRun() {
  if (activateAfterCycle_) settleActivation(activate());
  if (!runAfterBreak_) return;
  runAfterBreak_ = false;
  running_ = false;
  runClicked();
  if (!running_) notify(kChangedRunButtons);
}

void TMultiCollection::breakClicked() {
  if (runAfterBreak_) {
    // The devices were stopped by the Break before; the broken cycle goes on waiting.
    runAfterBreak_ = false;
    running_ = false;
    notify(kChangedRunButtons);
    return;
  }
  // Only a device stopped here can still owe this cycle a record.
  stopRunDevices();
  // Break ends the run: no pending or later re-run may start the devices again. What the
  // devices measured before it is kept: records already on their way still join the cycle,
  // which ends, is drawn and saved once they are in or can no longer come (at the latest at
  // its collecting time).
  breakRequested_ = true;
  endRun();
  // The records still on their way are waited for, and no longer than they can come: the
  // cycle is drawn and saved as soon as the last of them is in or can no longer come. Records
  // announced just before the click wait behind it: they are this cycle's.
  endIfNothingOwed();
}

void TMultiCollection::stopRunDevices() {
  // A device sitting the run out keeps its own run, as it was promised; a window put into
  // another mode since keeps that run too.
  const std::vector<IMultiMember*> list = active_;
  for (std::size_t k = 0; k < list.size(); ++k) {
    const bool stop = !busyAt(k) && list[k]->scopeModeAsked();
    if (stop) list[k]->stopMeasurement();
    if (k < slots_.size()) slots_[k].stoppedByBreak = stop;
  }
}

void TMultiCollection::endRun() {
  tmReRun_.stop();
  plotSwitchesOn();
  running_ = false;
  notify(kChangedRunButtons);
}

void TMultiCollection::holdMemberRuns() {
  const bool hold = running_ || cycleOpen_;
  for (int i = 0, n = members_.count(); i < n; ++i)
    if (IMultiMember* m = members_.at(i))
      m->holdOwnRun(hold && std::find(active_.begin(), active_.end(), m) != active_.end());
}

bool TMultiCollection::markOwed() {
  bool any = false, changed = false;
  const std::size_t n = std::min(status_.size(), slots_.size());
  for (std::size_t k = 0; k < n; ++k) {
    const Slot& sl = slots_[k];
    const bool owed = !sl.delivered && sl.stoppedByBreak && active_[k]->mayStillDeliver();
    any = any || owed;
    changed = changed || status_[k].owed != owed;
    status_[k].owed = owed;
  }
  if (changed) notify(kChangedStatus);
  return any;
}

void TMultiCollection::endIfNothingOwed() {
  if (!cycleOpen_ || !breakRequested_) return;
  if (markOwed()) {
    if (!tmOwed_.isActive()) tmOwed_.start();
    return;
  }
  tmBreakEnd_.start(0);
}

void TMultiCollection::breakEndDue() {
  // A run started meanwhile (RUN clicked at once) has its own cycle.
  if (!cycleOpen_ || !breakRequested_) return;
  // A record measured before the click is waited for, the first of the cycle too: the device
  // sends it all the same, and dropped for late it would be lost to the merged file.
  if (markOwed()) {
    if (!tmOwed_.isActive()) tmOwed_.start();
    return;
  }
  if (received_ == 0) {
    // Nothing came and nothing can: the cycle simply ends, the last picture stays.
    closeBrokenCycleQuietly();
    return;
  }
  endCycle();
}

void TMultiCollection::closeBrokenCycleQuietly() {
  closeCycleQuietly();
  for (MultiStatusRow& r : status_) r.owed = false;
  notify(kChangedRunButtons | kChangedStatus);
  startQueuedRun();
}

void TMultiCollection::refreshBusyMarks() {
  bool any = false, changed = false;
  for (std::size_t k = 0; k < status_.size() && k < active_.size(); ++k) {
    MultiStatusRow& r = status_[k];
    if (!r.busy) continue;
    if (active_[k]->ownRunOfOtherMode()) {
      any = true;
      continue;
    }
    // Still out of the cycle under way (it was not asked), but no longer busy: no mark.
    r.busy = false;
    changed = true;
  }
  if (!any) tmBusy_.stop();
  if (changed) notify(kChangedStatus);
}

void TMultiCollection::finishOpenCycle() {
  // A cycle Break left waiting for its collecting time is ended with what came before a new
  // run replaces it, so its records reach the merged file.
  if (cycleOpen_ && received_ > 0) endCycle();
}

void TMultiCollection::stopAfterCycle() {
  lastCycle_ = true;
  tmReRun_.stop();
  if (cycleOpen_) return;  // endCycle ends the run
  endRun();
}

void TMultiCollection::plotSwitchesOn() {
  const std::vector<IMultiMember*> list = active_;
  for (IMultiMember* m : list) {
    m->setPlotSwitch(true);
    m->giveBackSingleShot();
  }
}

void TMultiCollection::closeCycleQuietly() {
  cycleOpen_ = false;
  tmCollect_.stop();
  tmWatchdog_.stop();
  tmOwed_.stop();
  tmBreakEnd_.stop();
}

void TMultiCollection::resetStatistics() {
  stats_.Reset();
  cycles_ = 0;
  setStatisticsDashes();
  notify(kChangedStatistics);
}

void TMultiCollection::setStatisticsDashes() {
  for (QString& s : statTexts_) s = QStringLiteral(" -- ");
}

// --- C ------------------------------------------------------------------------------------

const TGenD2DataSet* TMultiCollection::addChannelSet(const QString& name, const QString& yUnit,
                                                     ColorRef colour, const double* t0dt, int n,
                                                     const double* values,
                                                     const ScaleRowValues& v) {
  TGenD2DataSet& ds = kernel_.NewDataSet();
  ds.name = name;
  ds.SetXUnit(QStringLiteral("s"));
  ds.SetYUnit(yUnit);
  ds.SetYAxisColor(colour);
  ds.SetYLabelColor(colour);
  ds.points.Template().color = colour;
  ds.points.SetMarker(1, 9);
  if (!pointPool_.empty()) {
    ds.points.TakeFrom(pointPool_.back());
    pointPool_.pop_back();
  }
  ds.points.Reserve(2);
  const double t0 = t0dt[0], dt = t0dt[1];
  setEvenCurve(ds, t0, dt, values, n);
  // The display range: two points at the end stretch the axis without a visible line.
  if (v.hasRange() && n > 0) {
    const double last = t0 + (n - 1) * dt;
    PlotPoint q = ds.points.GetTemplate();
    q.linkA = q.linkB = -1;
    q.X = WorldValue::num(last);
    q.Y = WorldValue::num(v.min);
    ds.points.AddPoint(q);
    q.Y = WorldValue::num(v.max);
    ds.points.AddPoint(q);
  }
  const int before = kernel_.DataSetCount();
  kernel_.AddDataSet(ds);
  return kernel_.DataSetCount() > before ? kernel_.Get(kernel_.DataSetCount() - 1) : nullptr;
}

void TMultiCollection::recordArrived(const MultiRecordNotice& notice) {
  // A notice from a window that has since left the active list is stale.
  if (notice.index < 0 || notice.index >= activeCount()) return;
  const std::size_t slot = std::size_t(notice.index);
  // A record answers the run that asked for it. One that comes after its cycle has ended, from
  // a run older than this cycle's request, or a second one of a device, is late: it is neither
  // a cycle of its own nor part of this one.
  if (!cycleOpen_ || slots_[slot].delivered || slots_[slot].busy ||
      notice.run <= slots_[slot].asked)
    return;
  // A record without samples (a device stopped before its first sample) carries nothing to
  // draw or keep: it is not taken into the cycle, nor leaves a file of a head only.
  // The collecting time still ends the cycle, so a run whose records all come empty goes on.
  if (notice.n <= 0) {
    if (!tmCollect_.isActive()) tmCollect_.start();
    tmWatchdog_.stop();
    return;
  }
  // The collecting time may already run for an empty record: the first real one still opens.
  const bool opensCycle = received_ == 0;
  if (opensCycle) {
    tmWatchdog_.stop();
    cycleFiles_.clear();
    // Until this cycle is drawn the window goes on showing the last one, and each device's
    // status row its last record: a blank picture would flash up for every cycle.
    if (!lastPictureShown_) {
      lastPicture_ = kernel_.Bitmap();
      lastHeader_ = headerText();
      lastPictureShown_ = true;
    }
    // The first record of a cycle clears every curve, a file drawn beside the last cycle's
    // included: it was drawn beside that cycle, whose picture this one replaces.
    beside_.clear();
    clearDataSets();
    kernel_.PrepareImage(nullptr);
    // The device files are written anew from here on; the cycle on screen keeps its texts.
    if (onScreen_ == OnScreen::Cycle && !shownHeld_) {
      std::swap(cycleTexts_, shownTexts_);
      shownTextCount_ = cycleTextCount_;
      shownHeld_ = true;
    }
    cycleTextCount_ = 0;
  }
  IMultiMember* d = active_[std::size_t(notice.index)];
  if (opensCycle) {
    if (cycles_ < 1) {
      // The record's own time, as for every later cycle: the moment it came in is later by its
      // transfer, and would make the first interval that much short.
      previous_ = current_ = d->recordTime();
      stats_.Reset();
      setStatisticsDashes();
    } else {
      if (firstRecord_ == 0) previous_ = current_;
      current_ = d->recordTime();
      if (firstRecord_ == 0) {
        firstRecord_ = 1;
        stats_.Add(dtDiffSeconds(current_, previous_));
        statTexts_[0] = QString::number(stats_.Count());
        stats_.Compute();
        statTexts_[1] = valueText(stats_.Count() > 1 ? stats_.Mean() : stats_.Last(), 4,
                                  QStringLiteral("s"));
        if (stats_.Count() > 1) {
          statTexts_[2] = valueText(stats_.SampleDeviation(), 4, QStringLiteral("s"));
          statTexts_[3] = valueText(stats_.Minimum(), 4, QStringLiteral("s"));
          statTexts_[4] = valueText(stats_.Maximum(), 4, QStringLiteral("s"));
        }
      }
    }
    cycleStamp_ = d->recordTime();
    notify(kChangedStatistics);
  }
  // The device's own rows of the scale table (its place in the frame's list): an active list
  // with gaps must not borrow a neighbour's scaling.
  int frameIndex = notice.index;
  for (int i = 0; i < members_.count(); ++i)
    if (members_.at(i) == d) frameIndex = i;
  const int r1 = 2 * frameIndex + 1, r2 = r1 + 1;
  ensureRows(r2 + 1);
  const QString serial = d->serial();
  d->showScopeControlsPage();

  const int n = std::clamp(notice.n, 0, kArrayLength);
  DeviceFileHead head;
  head.serial = serial;
  head.time = d->recordTime();
  head.depth = n;
  head.colours = {rowColour(r1), rowColour(r2)};
  head.rows = {rows_[std::size_t(r1 - 1)], rows_[std::size_t(r2 - 1)]};
  const ScaleRowValues v1 = ScaleRowValues::of(head.rows[0]);
  const ScaleRowValues v2 = ScaleRowValues::of(head.rows[1]);
  d->rescale(v1.offset, v1.factor, v2.offset, v2.factor);
  const double* c1 = d->channel1();
  const double* c2 = d->channel2();
  const double t0dt[2] = {-double(notice.n - notice.m) * notice.dt, notice.dt};

  std::string& file = fileBuffer_;
  file.clear();
  file.reserve(std::size_t(n) * 34 + 1024);
  const char sep = columnSep(), dec = systemDecimal();
  appendDeviceFileHead(file, head, sep, dec);
  if (c1 && c2)
    for (int k = 0; k < n; ++k)
      appendDeviceFileLine(file, t0dt[0] + k * t0dt[1], c1[k], c2[k], sep, dec);
  const fs::path name = intermediateFolder() / pathFromText(serial + QStringLiteral(".CSV"));
  // The merged file is joined from the texts kept here: a device file that cannot be written
  // (open in another program, a full disk) loses no record from it, and the window says so.
  int written = makeFolders(name);
  if (written == 0) written = writeFileAtomically(name, file);
  if (written == 0) {
    cycleFiles_ << pathText(name);
  } else if (deviceFilesToldFailed_.insert(name).second) {
    // Each file once per run: a folder that takes none shows every device's, not the first's,
    // all in one message at the cycle's end.
    deviceFilesFailedNow_.push_back({name, written});
  }
  if (cycleTextCount_ == cycleTexts_.size()) cycleTexts_.emplace_back();
  KeptDeviceText& kept = cycleTexts_[cycleTextCount_++];
  kept.name = name;
  kept.text.swap(fileBuffer_);
  kept.sep = sep;

  if (c1 && c2) {
    slots_[slot].curves = {addChannelSet(serial + QStringLiteral(" K1"), head.rows[0].unit,
                                       head.colours[0], t0dt, n, c1, v1),
                         addChannelSet(serial + QStringLiteral(" K2"), head.rows[1].unit,
                                       head.colours[1], t0dt, n, c2, v2)};
  }
  slots_[slot].delivered = true;
  slots_[slot].trigger = head.time;
  slots_[slot].colours = {head.colours[0], head.colours[1]};
  if (slot < status_.size()) {
    MultiStatusRow& row = status_[slot];
    row.missing = false;
    row.owed = false;
    // A file shown in place of the picture keeps its colours until the cycle's picture comes.
    if (!fileInPlace_) {
      row.serial = serial;
      row.colour1 = head.colours[0];
      row.colour2 = head.colours[1];
      row.filled = true;
    }
  }
  notify(kChangedStatus);

  ++received_;
  if (onRecordTaken) onRecordTaken(serial);
  if (received_ < askedCount()) {
    // The collecting time counts from the first record.
    if (!tmCollect_.isActive()) tmCollect_.start();
    endIfNothingOwed();
    return;
  }
  endCycle();
}

void TMultiCollection::updateTriggerDeltas() {
  // Relative to the earliest trigger moment of the cycle's records. Only at the cycle's end:
  // until it is drawn the picture is the last cycle's, and a delta against the records come so
  // far (the first alone is always 0) beside the others' last ones would contradict it.
  // Every record the cycle took, also one whose curves Clear image took while the cycle
  // collected: its record is in the cycle's merged file, and the grid tells what that holds.
  bool any = false;
  DayTime first;
  for (const Slot& sl : slots_)
    if (sl.delivered && (!any || dtLess(sl.trigger, first))) {
      first = sl.trigger;
      any = true;
    }
  for (std::size_t k = 0; k < slots_.size() && k < status_.size(); ++k) {
    const Slot& sl = slots_[k];
    if (!sl.delivered) continue;
    MultiStatusRow& r = status_[k];
    r.deltaDigits = MultiStatusRow().deltaDigits;
    // A file loaded during the cycle emptied the rows: the cycle's picture fills them again.
    r.filled = true;
    r.colour1 = sl.colours[0];
    r.colour2 = sl.colours[1];
    r.hasTriggerDelta = true;
    r.triggerDelta = dtDiffSeconds(sl.trigger, first);
    for (const TGenD2DataSet* curve : sl.curves)
      if (curve) {
        curveDelta_[curve] = r.triggerDelta;
        pictureCurves_.insert(curve);
      }
  }
}

// The end of a cycle: every record in, the collecting time over, or no record at all.
void TMultiCollection::endCycle() {
  if (!cycleOpen_) return;
  cycleOpen_ = false;
  tmCollect_.stop();
  tmWatchdog_.stop();
  tmOwed_.stop();
  tmBreakEnd_.stop();
  const bool complete = received_ >= askedCount();
  // Rows of a loaded file's devices not in the run, shown or kept aside, go with its picture.
  if (status_.size() > active_.size()) status_.resize(active_.size());
  asideRows_.clear();
  // A device that did not deliver is marked, and stopped unless Break stopped it already: its
  // run ends, so no record of it can come late, and the next cycle starts it afresh. One that
  // sat the cycle out keeps its own run and its busy mark; its curves leave the picture now.
  for (std::size_t k = 0; k < slots_.size(); ++k) {
    if (slots_[k].delivered) continue;
    if (k < status_.size()) {
      MultiStatusRow& r = status_[k];
      r.missing = !busyAt(k);
      if (r.missing) r.why = missReason(k);
      r.owed = false;
      r.filled = false;
      r.hasTriggerDelta = false;
      r.triggerDelta = 0;
    }
    if (!breakRequested_ && !busyAt(k)) active_[k]->stopMeasurement();
  }
  updateTriggerDeltas();
  if (received_ == 0) {
    // Shown as empty: the last cycle's curves and files are not this cycle's.
    cycleFiles_.clear();
    beside_.clear();
    clearDataSets();
    kernel_.PrepareImage(nullptr);
    dropLastPicture();
    notify(kChangedPlot);
  }
  notify(kChangedStatus);
  const std::uint64_t gen = cycleGen_;
  const int received = received_;
  // Named by the cycle's stamp before a file loaded meanwhile can take its place.
  const fs::path autoName = autoDataFileName();
  cycleEnding_ = true;
  processEvents();
  cycleEnding_ = false;
  // RUN clicked meanwhile has started a run of its own: this cycle is still drawn and saved,
  // but it neither schedules a re-run into that run nor ends it.
  const bool newRun = gen != cycleGen_;
  if (complete) keepVisibleMode();
  // Drawn all the same, but a run started meanwhile has reset the statistics: the old cycle
  // counts in none of them.
  const bool drawnNothing = draw(!newRun) == kNoDataSets;
  const bool fileKept = drawnNothing && fileInPlace_;
  if (fileKept) {
    // Clear image left nothing of the cycle, and a file is shown in its place: it becomes the
    // picture proper, as loaded after the cycle (redrawn on a new size, shifted, zoomed).
    cycleStamp_ = loaded_.time;
    addFileCurves(loaded_);
    renderPlot(false, true);
    describeLoadedFile(loaded_);
  }
  // The picture now shows this cycle (unless nothing could be drawn: the last one stays).
  if (!lastPictureShown_ && !fileKept) {
    onScreen_ = received > 0 ? OnScreen::Cycle : OnScreen::Nothing;
    shownHeld_ = false;
  }
  // Every cycle with records is saved: a complete one, one cut by the collecting time and one
  // Break interrupted, each with what came (a Break pressed while the cycle ends included).
  // From the cycle's records, not from the picture: one Clear image emptied, or a file loaded
  // meanwhile shows, still holds records that exist nowhere else.
  if (autosave_ && received > 0 && cycleTextCount_ > 0) {
    // Cycles can be shorter than a second; a later one must not overwrite the earlier file.
    // Written without replacing: a file under the name (an earlier cycle's, or one put there
    // meanwhile) is kept and this one takes the next free _k.
    fs::path name = autoName;
    std::string merged;
    int saved = mergeKept(cycleTexts_, cycleTextCount_, merged);
    if (saved == 0)
      saved = writeMadeOutput(
          autoName, [&](const fs::path& f) { return writeMergedText(f, merged); }, name);
    if (saved != 0 && !autosaveFailureTold_) {
      autosaveFailureTold_ = true;
      if (onAutosaveFailed) onAutosaveFailed(name, saved);
    }
  }
  if (!deviceFilesFailedNow_.empty()) {
    const std::vector<DeviceFileFailure> failed = std::move(deviceFilesFailedNow_);
    deviceFilesFailedNow_.clear();
    if (onDeviceFilesFailed) onDeviceFilesFailed(failed);
  }
  if (newRun) {
    // Nothing to schedule or end.
  } else if (!singleShot_ && !breakRequested_ && !lastCycle_) {
    // A device that failed to deliver gets a longer pause; the normal one returns as soon as a
    // cycle completes.
    tmReRun_.setInterval(complete ? kReRunMs : 250 * activeCount() + 250);
    tmReRun_.start();
  } else {
    endRun();
  }
  if (onCycleEnded) onCycleEnded();
  startQueuedRun();
}

MultiMiss TMultiCollection::missReason(std::size_t k) {
  IMultiMember* m = active_[k];
  // Pulled out: it is missing, whether Break came after or not; no record of it can come. So
  // is one plugged back since the cycle began: the loss took its run and record along.
  if (m->deviceLost() || m->lossCount() != slots_[k].losses) return MultiMiss::NoRecord;
  if (m->recordComing()) return MultiMiss::Transferring;
  if (breakRequested_ && slots_[k].stoppedByBreak) return MultiMiss::Stopped;
  if (m->runCount() != slots_[k].asked) return MultiMiss::NoTrigger;
  return MultiMiss::NoRecord;
}

// --- E ------------------------------------------------------------------------------------

void TMultiCollection::collectTimeOver() {
  tmCollect_.stop();
  // A record already in whose window has not got round to announcing it (the windows were
  // busy with the records before it) still belongs to this cycle.
  const std::uint64_t gen = cycleGen_;
  processEvents();
  // The last record came meanwhile, or a new run began (RUN after Break): not this cycle's end.
  if (!cycleOpen_ || gen != cycleGen_) return;
  // A record still coming in (or in, but its window busy with the records before it) is
  // waited for, the collecting time over again, as long as a cycle without any record would
  // be: the estimate cannot know how busy the windows are.
  const int most = std::max(1, kTriggerWaitMs / std::max(1, collectTimeMs_));
  if (collectExtensions_ < most)
    for (std::size_t k = 0; k < slots_.size(); ++k)
      if (!slots_[k].delivered && !slots_[k].busy && active_[k]->recordComing()) {
        ++collectExtensions_;
        tmCollect_.start();
        return;
      }
  endCycle();
}

void TMultiCollection::watchdogOver() {
  tmWatchdog_.stop();
  // After Break with nothing in, the records waited for never came: the cycle ends as Break
  // alone ends such a cycle, the last picture staying.
  if (cycleOpen_ && breakRequested_ && received_ == 0) {
    closeBrokenCycleQuietly();
    return;
  }
  endCycle();
}

// --- V ------------------------------------------------------------------------------------

void TMultiCollection::setVisibleMode(int mode) {
  if (mode < 0 || mode > 3) return;
  visibleMode_ = mode;
  applyVisibleMode(false);
  notify(kChangedOptions);
  if (view_) view_->bringToFront();
}

void TMultiCollection::keepVisibleMode() {
  // Each cycle's end: only a window the mode now judges otherwise changes, nothing is brought
  // to the front (a continuous run raised every window once a cycle, so no other window, the
  // device windows' own STOP included, stayed usable). A window the user closed during the run
  // stays closed, one opened stays open: showing it again took the focus every cycle.
  applyVisibleMode(true);
}

void TMultiCollection::applyVisibleMode(bool onlyChanges) {
  for (int i = 0; i < members_.count(); ++i) {
    IMultiMember* m = members_.at(i);
    if (!m) continue;
    const bool show = visibleMode_ == 3 || (visibleMode_ == 1 && !m->active()) ||
                      (visibleMode_ == 2 && m->active());
    const auto [asked, fresh] = shownAsked_.try_emplace(m->serial(), show);
    const bool judgedAgain = fresh || asked->second != show;
    asked->second = show;
    // Showing a window brings it up: only a user's choice of the mode does that to every one.
    if (!onlyChanges || (judgedAgain && show != m->shown())) m->setShown(show);
  }
}

// --- Draw ---------------------------------------------------------------------------------

int TMultiCollection::draw(bool counted) {
  if (counted) ++cycles_;
  if (onCycleDrawn) onCycleDrawn();
  notify(kChangedStatistics);
  if (kernel_.DataSetCount() == 0) return kNoDataSets;
  // On a clean picture: the records come first may have been drawn meanwhile (a file drawn
  // beside them, a new size after Clear image), and would stay beneath with their axes.
  kernel_.PrepareImage(nullptr);
  // A cycle's picture does not raise the window: in a continuous run that came once a
  // cycle, and no other window stayed usable.
  return renderPlot(false, true);
}

int TMultiCollection::renderPlot(bool toFront, bool forCycle) {
  dropLastPicture();
  if (view_) {
    view_->setBusyCursor(true);
    if (toFront) view_->bringToFront();
  }
  if (view_ && (!forCycle || plotPageDue_)) view_->showPlotPage();
  if (forCycle) plotPageDue_ = false;
  applyShifts();
  kernel_.DataSets().SortByName();
  const int rc = kernel_.Render(nullptr, true);
  tmHeader_.start();
  plotControlsShown_ = true;
  if (view_) {
    view_->saveControlsShown(true);
    view_->setBusyCursor(false);
  }
  notify(kChangedPlot | kChangedRunButtons);
  return rc;
}

void TMultiCollection::applyShifts() {
  for (int i = 0; i < kernel_.DataSetCount(); ++i) {
    TGenD2DataSet* ds = kernel_.Get(i);
    if (!ds) continue;
    const auto d = curveDelta_.find(ds);
    const double want = shiftByTrigger_ && d != curveDelta_.end() ? d->second : 0.0;
    double& have = appliedShift_[ds];
    if (want != have) {
      offsetCurveX(*ds, want - have);
      have = want;
    }
  }
}

void TMultiCollection::setShiftByTrigger(bool on) {
  if (shiftByTrigger_ == on) return;
  shiftByTrigger_ = on;
  notify(kChangedOptions);
  redrawShifted();
}

void TMultiCollection::redrawShifted() {
  // The curves on show move at once; a cycle still collecting is drawn shifted when it ends.
  if (kernel_.DataSetCount() > 0 && !(cycleOpen_ && received_ > 0)) {
    applyShifts();
    kernel_.PrepareImage(nullptr);
    kernel_.Render(nullptr, true);
    drawHeader();
  }
}

void TMultiCollection::clearDataSets() {
  for (int i = 0; i < kernel_.DataSetCount(); ++i) {
    pointPool_.emplace_back();
    pointPool_.back().TakeFrom(kernel_.Get(i)->points);
    pointPool_.back().Clear();  // keeps the capacity
  }
  // Only as many as a cycle of the active devices uses.
  if (pointPool_.size() > 2 * active_.size()) pointPool_.resize(2 * active_.size());
  kernel_.ClearDataSets();
  forgetCurves();
}

void TMultiCollection::addFileCurves(const TREADing& r) {
  // The file's curves come unshifted, each moved by its own record's trigger delta.
  const int first = kernel_.DataSetCount();
  feedMultiReading(kernel_, r);
  const auto deltas = loadedTriggerDeltas(r);
  for (int i = first; i < kernel_.DataSetCount(); ++i) {
    const TGenD2DataSet* curve = kernel_.Get(i);
    if (const auto delta = readingCurveDelta(deltas, curve->name)) curveDelta_[curve] = *delta;
  }
}

void TMultiCollection::forgetCurves() {
  asideRows_.clear();
  appliedShift_.clear();
  curveDelta_.clear();
  pictureCurves_.clear();
  for (Slot& sl : slots_) sl.curves = {nullptr, nullptr};
}

void TMultiCollection::clearImage() {
  clearDataSets();
  beside_.clear();
  kernel_.PrepareImage(nullptr);
  dropLastPicture();
  // Nothing is drawn any more, so the rows describe no record: each member's keeps only what
  // its device does now (busy, a record owed), and the rows of a file's other devices go.
  emptyMemberRows();
  // The records a cycle still collecting has taken stay its own and go into its merged file:
  // their rows keep telling of them (with their deltas once the cycle has ended).
  if (cycleOpen_ || cycleEnding_) refillCycleRows();
  notify(kChangedPlot | kChangedStatus);
}

void TMultiCollection::refillCycleRows() {
  if (cycleEnding_) {
    updateTriggerDeltas();
    return;
  }
  for (std::size_t k = 0; k < slots_.size() && k < status_.size(); ++k)
    if (slots_[k].delivered) {
      status_[k].filled = true;
      status_[k].colour1 = slots_[k].colours[0];
      status_[k].colour2 = slots_[k].colours[1];
    }
}

void TMultiCollection::setImageSize(int w, int h) {
  kernel_.SetImageSize(w, h);
  // While a cycle's records are in but not drawn, the picture on show is another: the plot is
  // drawn once the cycle ends, on a clean picture, so a render now would be wasted.
  if (kernel_.DataSetCount() > 0 && !lastPictureShown_) kernel_.Render(nullptr, true);
  drawHeader();
}

void TMultiCollection::prepareEmptyPlot() {
  kernel_.PrepareImage(nullptr);
  dropLastPicture();
  notify(kChangedPlot);
}

QString TMultiCollection::footerText() const {
  return QStringLiteral("Multi_Tolvanex");
}

QString TMultiCollection::headerText() const {
  if (lastPictureShown_) return lastHeader_;
  if (beside_.empty()) return multiHeaderText(cycleStamp_);
  QString text = dateTimeText(cycleStamp_);
  for (const TREADing& r : beside_) text += QStringLiteral("  +  ") + dateTimeText(r.time);
  return text + QLatin1Char(' ') + footerText();
}

void TMultiCollection::drawHeader() {
  // The picture shown has its header; the one being made gets its own when it is drawn.
  if (lastPictureShown_) return;
  drawMultiHeader(kernel_.Bitmap(), kernel_.Font(), headerText());
  notify(kChangedPlot);
}

// --- Options ------------------------------------------------------------------------------

void TMultiCollection::setSingleShot(bool on, bool byClick) {
  singleShot_ = on;
  if (byClick) resetStatistics();
  notify(kChangedOptions);
}

void TMultiCollection::setAutostart(bool on, bool byClick) {
  autostart_ = on;
  if (on) setSingleShot(false, byClick);
  notify(kChangedOptions);
}

void TMultiCollection::setCollectTimeMs(int ms) {
  collectTimeMs_ = std::max(ms, 1);
  tmCollect_.setInterval(collectTimeMs_ + lateStartMs_);
  notify(kChangedCollectTime);
}

void TMultiCollection::setItemChecked(int i, bool on) {
  if (i < 0 || i >= itemCount()) return;
  checked_[std::size_t(i)] = on;
  notify(kChangedCheckList);
}

int TMultiCollection::checkClicked(int item, bool on) {
  setItemChecked(item, on);
  tmUpdateActive_.stop();
  return activateByUser();
}

int TMultiCollection::updateClicked() {
  const int rc = activateByUser();
  if (view_) view_->showPlotPage();
  return rc;
}

int TMultiCollection::activateByUser() {
  // Told, not done silently: the run ends, and devices left in another mode change mode.
  const bool wasRunning = running_;
  notice_ = {};
  const int rc = activate();
  notice_.runEnded = wasRunning && !running_;
  // Put off until the open cycle has ended: the new list is settled then (startQueuedRun).
  if (activateAfterCycle_) {
    notify(kChangedCheckList);
    return rc;
  }
  settleActivation(rc);
  return rc;
}

void TMultiCollection::settleActivation(int rc) {
  // As after the boot's activation: a device left in another mode would never send a record.
  if (rc == 0) switchToScopeMode(&notice_.switchedToScope);
  notify(kChangedCheckList);
  saveScalings(scalingsPath());
  // activate() shows every new member; the user's choice of visible windows holds, also when
  // the activation waited for a cycle's end.
  setVisibleMode(visibleMode_);
}

bool TMultiCollection::setScaleCell(int row, int column, const QString& text) {
  if (row < 1 || column < 1 || column > 5) return false;
  if (!scaleCellAccepted(column, text)) return false;
  ensureRows(row + 1);
  rows_[std::size_t(row - 1)].cell(column) = text;
  scalingsChanged_ = true;
  return true;
}

// --- Colours ------------------------------------------------------------------------------

ColorRef TMultiCollection::rowColour(int r) {
  const auto& items = colours_.Items();
  if (r >= 0 && r < int(items.size()) && items[std::size_t(r)] >= 0)
    return ColorRef(items[std::size_t(r)]);
  return defaultColour(r);
}

void TMultiCollection::setRowColour(int row, ColorRef c, bool byUser) {
  if (row < 0 || row > kMaxListIndex) return;
  // Rows between the last stored one and this one stay "not stored" (-1): default colours.
  while (colours_.Count() < row) colours_.Add(-1);
  colours_.Set(row, std::int32_t(c & 0xFFFFFF));
  if (byUser) {
    tmColours_.stop();
    scalingsChanged_ = true;
  }
  notify(kChangedColours);
}

void TMultiCollection::repaintColours() {
  tmColours_.stop();
  for (int r = 1; r <= 2 * members_.count(); ++r) setRowColour(r, rowColour(r), false);
}

// --- Scalings -----------------------------------------------------------------------------

fs::path TMultiCollection::scalingsPath() const {
  return multiFolder() / "Scalings.TXT";
}

ScalingsData TMultiCollection::scalingsData() const {
  ScalingsData d;
  d.rows = rows_;
  const auto& items = colours_.Items();
  const int rows = rowCount();
  for (int r = 0; r <= rows; ++r) {
    std::int32_t c = r < int(items.size()) ? items[std::size_t(r)] : -1;
    if (c < 0) c = (r >= 1 && r < rows) ? std::int32_t(defaultColour(r)) : 0;
    d.colours.Set(r, c);
  }
  d.checked = checked_;
  return d;
}

void TMultiCollection::applyScalings(const ScalingsData& d) {
  // A number cell the file holds that is no usable number (edited by hand, or written before
  // cells were checked) keeps the table's value: it would scale the channel by 0 and make the
  // data file unreadable.
  std::vector<ScaleRowTexts> rows = d.rows;
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (int c = 2; c <= 5; ++c)
      if (!scaleCellAccepted(c, rows[r].cell(c)))
        rows[r].cell(c) = r < rows_.size() ? rows_[r].cell(c) : ScaleRowTexts().cell(c);
  rows_ = std::move(rows);
  const auto& items = d.colours.Items();
  for (int r = 1; r < int(items.size()); ++r) setRowColour(r, ColorRef(items[std::size_t(r)]), false);
  for (std::size_t i = 0; i < checked_.size() && i < d.checked.size(); ++i)
    if (i < d.checkRead.size() && d.checkRead[i]) checked_[i] = d.checked[i];
  notify(kChangedScaleTable | kChangedCheckList | kChangedColours);
}

int TMultiCollection::saveScalings(const fs::path& name) {
  const int rc = writeScalingsFile(name, scalingsData());
  scalingsChanged_ = rc != 0;
  return rc;
}

int TMultiCollection::saveScalingsAs(fs::path& name) {
  if (int rc = scalingsFileName(name); rc != 0) return rc;
  std::error_code ec;
  if (fs::exists(name, ec)) backUpFile(name);
  return saveScalings(name);
}

int TMultiCollection::loadScalings(const fs::path& name) {
  ScalingsData d = scalingsData();
  const int rc = readScalingsFile(name, d);
  if (rc == 0) applyScalings(d);
  tmColours_.start();
  return rc;
}

bool TMultiCollection::closeQuery() {
  // Without device rows (no device found, or closed before the table was filled) there is
  // nothing to keep, and writing would wipe the scalings of the devices not plugged in.
  if (scalingsChanged_ && itemCount() > 0) {
    // A cycle a Break left collecting keeps its devices until its end: activating now would
    // drop the records still on their way. The check states are saved all the same.
    if (!cycleOpen_) activate();
    saveScalings(scalingsPath());
  }
  return true;
}

// --- Data files ---------------------------------------------------------------------------

fs::path TMultiCollection::autoDataFileName() const {
  return multiDataFileName(dataFolder_.empty() ? multiFolder() : dataFolder_, cycleStamp_,
                           fixedPart_);
}

int TMultiCollection::mergedRecordOnScreen(std::string& out) const {
  out.clear();
  if (onScreen_ == OnScreen::Loaded) {
    // In the column separator in force, as every data file is written.
    out = loadedSep_ == columnSep()
              ? loadedText_
              : mergedTextWithSeparator(loadedText_, loadedSep_, columnSep(), systemDecimal());
    return out.empty() ? kMultiEmpty : 0;
  }
  if (onScreen_ != OnScreen::Cycle) return kMultiEmpty;
  return shownHeld_ ? mergeKept(shownTexts_, shownTextCount_, out)
                    : mergeKept(cycleTexts_, cycleTextCount_, out);
}

int TMultiCollection::mergeKept(const std::vector<KeptDeviceText>& kept, std::size_t count,
                                std::string& out) {
  // A text written before the column separator changed is joined in the one in force, or
  // the file would mix both and no reader could split it.
  const char sep = columnSep();
  std::vector<std::string> converted(count);
  std::vector<NamedDeviceText> texts;
  for (std::size_t k = 0; k < count; ++k) {
    if (kept[k].sep != sep)
      converted[k] = mergedTextWithSeparator(kept[k].text, kept[k].sep, sep, systemDecimal());
    texts.push_back({kept[k].name, kept[k].sep != sep ? converted[k] : kept[k].text});
  }
  return mergeDeviceTexts(std::move(texts), sep, out);
}

int TMultiCollection::saveDataFile(const fs::path& name) {
  std::string merged;
  if (const int rc = mergedRecordOnScreen(merged); rc != 0) return rc;
  return writeMergedText(name, merged);
}

int TMultiCollection::loadDataFile(const fs::path& name) {
  TREADing r;
  std::string bytes;
  // A file written before the column separator changed reads with its own.
  char sep = columnSep();
  const int rc = readMultiDataFile(name, columnSep(), r, &bytes, &sep);
  if (rc != 0) return rc;
  // While a cycle collects, its records are the picture to come: they stay in the plot and go
  // into its merged file. The file is shown at once all the same, and the cycle's picture
  // replaces it when the cycle ends (the window says so).
  if (collectingRecords() && clearBeforeDrawing_) return showFileInPlaceOfPicture(r, bytes, sep);
  // Kept for comparison beside the curves on show (clear before drawing off), the file is
  // stored already: the record on screen that Save as and Export take stays the one shown
  // before, so a cycle never saved can still be saved, and the header keeps its time. Beside
  // a cycle still collecting, it is drawn at once with what came so far, and stays in that
  // cycle's picture.
  const bool collecting = collectingRecords();
  const bool beside = collecting || (!clearBeforeDrawing_ && kernel_.DataSetCount() > 0 &&
                                     onScreen_ != OnScreen::Nothing);
  if (!beside) {
    loadedText_ = std::move(bytes);
    loadedSep_ = sep;
    onScreen_ = OnScreen::Loaded;
    shownHeld_ = false;
  }
  if (clearBeforeDrawing_) {
    kernel_.ClearDataSets();
    forgetCurves();
  }
  kernel_.PrepareImage(nullptr);
  addFileCurves(r);
  if (!beside) describeLoadedFile(r);
  if (collecting) {
    // The picture is now the cycle's records so far with the file: Save as and Export take
    // those records, and the rows of the devices yet to deliver describe nothing drawn.
    onScreen_ = OnScreen::Cycle;
    shownHeld_ = false;
    emptyMemberRows();
    refillCycleRows();
  }
  // The file's stamp heads the picture; beside others it is named after theirs.
  if (beside) beside_.push_back(r);
  const int drawn = renderPlot();
  if (!beside) {
    cycleStamp_ = r.time;
    loaded_ = std::move(r);
    // Files beside the picture stay as long as their curves do.
    if (clearBeforeDrawing_) beside_.clear();
  }
  tmHeader_.stop();
  drawHeader();
  return drawn;
}

int TMultiCollection::showFileInPlaceOfPicture(const TREADing& r, std::string& bytes, char sep) {
  // Drawn apart, as the picture on show until the cycle's own: the cycle's curves stay in the
  // plot, and its stamp keeps naming its merged file.
  TGenD2ImgKernel picture;
  picture.SetDevicePixelRatio(kernel_.DevicePixelRatio());
  const int drawn = renderMultiReading(picture, r, kernel_.ImageWidth(), kernel_.ImageHeight(),
                                       shiftByTrigger_);
  lastPicture_ = picture.Bitmap();
  lastHeader_ = multiHeaderText(r.time);
  lastPictureShown_ = true;
  fileInPlace_ = true;
  loadedText_ = std::move(bytes);
  loadedSep_ = sep;
  onScreen_ = OnScreen::Loaded;
  shownHeld_ = false;
  loaded_ = r;
  describeLoadedFile(r);
  if (view_) view_->showPlotPage();
  plotControlsShown_ = true;
  if (view_) view_->saveControlsShown(true);
  notify(kChangedPlot);
  return drawn;
}

void TMultiCollection::rowsFromPicture(std::vector<MultiStatusRow> before) {
  status_.assign(active_.size(), MultiStatusRow());
  for (std::size_t k = 0; k < active_.size(); ++k) status_[k].serial = active_[k]->serial();
  // After Clear image nothing is drawn, whatever Save as still has of the record.
  if (kernel_.DataSetCount() == 0) return;
  if (onScreen_ == OnScreen::Loaded) {
    describeLoadedFile(loaded_);
    return;
  }
  if (onScreen_ != OnScreen::Cycle) return;
  // The cycle's picture stays: each member's row says again what it said of its record. No run
  // is going any more, so nothing is busy or owed.
  for (MultiStatusRow& old : before) old.busy = old.owed = false;
  placePictureRows(std::move(before));
}

void TMultiCollection::emptyMemberRows() {
  // A member without a record in the picture has empty cells; what it does now (busy, a record
  // owed) stays.
  if (status_.size() > active_.size()) status_.resize(active_.size());
  for (MultiStatusRow& row : status_) {
    MultiStatusRow empty;
    empty.serial = row.serial;
    empty.busy = row.busy;
    empty.owed = row.owed;
    row = empty;
  }
}

void TMultiCollection::placePictureRows(std::vector<MultiStatusRow> picture) {
  // The rows are the members': the row of a record whose device left the list is kept aside
  // while its curves are on screen, back when it is ticked again. The rows kept aside before
  // are the picture's too, unless it names their devices itself.
  emptyMemberRows();
  std::vector<MultiStatusRow> known = std::move(asideRows_);
  asideRows_.clear();
  for (MultiStatusRow& r : picture) {
    std::erase_if(known, [&](const MultiStatusRow& k) { return k.serial == r.serial; });
    known.push_back(std::move(r));
  }
  for (MultiStatusRow& r : known) {
    auto row = std::find_if(status_.begin(), status_.end(),
                            [&](const MultiStatusRow& s) { return s.serial == r.serial; });
    if (row != status_.end()) {
      r.busy = r.busy || row->busy;
      r.owed = r.owed || row->owed;
      *row = std::move(r);
    } else if (r.filled) {
      asideRows_.push_back(std::move(r));
    }
  }
  referDeltasToMembers();
  notify(kChangedStatus);
}

void TMultiCollection::referDeltasToMembers() {
  // Against the earliest trigger of the members' records: the device whose trigger came first
  // may have left the list.
  bool any = false;
  double first = 0;
  for (const MultiStatusRow& r : status_)
    if (r.hasTriggerDelta && (!any || r.triggerDelta < first)) {
      first = r.triggerDelta;
      any = true;
    }
  if (!any || first == 0) return;
  for (auto* rows : {&status_, &asideRows_})
    for (MultiStatusRow& r : *rows)
      if (r.hasTriggerDelta) r.triggerDelta -= first;
  // The curves keep to the table: shifted, they lie on the members' time axis.
  for (auto& [curve, delta] : curveDelta_)
    if (pictureCurves_.contains(curve)) delta -= first;
  if (shiftByTrigger_) redrawShifted();
}

void TMultiCollection::describeLoadedFile(const TREADing& r) {
  // The rows describe what is drawn: every device of the file with its colours and the deltas
  // stored in it, whether ticked or not (an archived file read with no device plugged in shows
  // all of them), a member of the file in its own row, a member the file lacks empty.
  asideRows_.clear();
  emptyMemberRows();
  const auto deltas = loadedTriggerDeltas(r);
  const auto& colours = r.colours.Items();
  for (int dev = 0; dev < r.deviceCount; ++dev) {
    const QString serial = r.names.value(dev);
    auto row = std::find_if(status_.begin(), status_.end(),
                            [&](const MultiStatusRow& s) { return s.serial == serial; });
    if (row == status_.end()) {
      status_.emplace_back();
      row = status_.end() - 1;
      row->serial = serial;
    }
    if (std::size_t(2 * dev + 1) < colours.size()) {
      row->colour1 = ColorRef(colours[std::size_t(2 * dev)]);
      row->colour2 = ColorRef(colours[std::size_t(2 * dev + 1)]);
    }
    row->filled = true;
    row->deltaDigits = r.timeDigits;
    row->hasTriggerDelta = std::size_t(dev) < deltas.size();
    if (row->hasTriggerDelta) row->triggerDelta = deltas[std::size_t(dev)].second;
  }
  notify(kChangedStatus);
}

}  // namespace tolv
