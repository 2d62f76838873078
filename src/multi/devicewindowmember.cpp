#include "multi/devicewindowmember.h"
#include "multi/sessionmember.h"

#include <QCoreApplication>
#include <QTabWidget>

#include "common/textutil.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "measure/measuredata.h"
#include "devicewin/tf_onetolvanex_formslist.h"

namespace tolv {

namespace {

ITimer& retryTimer(const TDeviceWindowMember::TimerFactory& timers,
                   std::unique_ptr<TQtTimer>& own) {
  const int ms = TDeviceWindowMember::kGiveBackRetryMs;
  if (timers) return timers(ms);
  own = std::make_unique<TQtTimer>(ms);
  return *own;
}

}  // namespace

TDeviceWindowMember::TDeviceWindowMember(TF_OneTolvanex* w, std::function<bool()> runGoing,
                                         const TimerFactory& timers)
    : w_(w), runGoing_(std::move(runGoing)), giveBackRetry_(retryTimer(timers, ownRetry_)) {
  giveBackRetry_.setHandler([this] {
    giveBackRetry_.stop();
    giveBackSingleShot();
  });
}

TDeviceWindowMember::~TDeviceWindowMember() {
  giveBackRetry_.stop();
  giveBackRetry_.setHandler(nullptr);
}

QString TDeviceWindowMember::serial() const {
  return w_ ? w_->serialNumber() : QString();
}

int TDeviceWindowMember::setMultiLink(QObject* handle, int index) {
  if (!w_) return -1001;
  TMeasureData& d = w_->plots().data();
  int rc = 0;
  if (handle)
    rc = d.registerMulti(handle, index);
  else
    d.unregisterMulti();
  const bool linked = handle != nullptr && rc == 0;
  w_->setMultiRegistered(linked);
  // The run owns the window's run only while the window is in (or asked for) the scope mode: a
  // device sitting the run out keeps a run of its own in another mode, which its window stops
  // on closing like any run of its own.
  if (linked)
    w_->setMultiRunQuery([going = runGoing_, w = w_] {
      return going && going() && w && scopeModeAskedOf(w->acquisition());
    });
  else
    w_->setMultiRunQuery(nullptr);
  return rc;
}

void TDeviceWindowMember::setActive(bool on) {
  if (w_) w_->plots().data().setActive(on);
}

bool TDeviceWindowMember::active() const {
  return w_ && w_->plots().data().active();
}

void TDeviceWindowMember::setShown(bool on) {
  if (!w_) return;
  if (!on) {
    w_->hide();
    return;
  }
  w_->show();
  QCoreApplication::processEvents();
  if (w_) w_->raise();
}

bool TDeviceWindowMember::shown() const {
  return w_ && w_->isVisible();
}

void TDeviceWindowMember::setSingleShot(bool on) {
  if (!w_) return;
  if (on && !singleShotTaken_) {
    ownSingleShot_ = w_->acquisition().singleShot();
    singleShotTaken_ = true;
  }
  giveBackRetry_.stop();
  w_->acquisition().setSingleShot(on);
}

void TDeviceWindowMember::giveBackSingleShot() {
  if (!w_ || !singleShotTaken_) return;
  // A run asked for while the device's own stop was still under way is not the device's own.
  w_->acquisition().dropStartAfterStop();
  // Inside a record's steps the switch decides whether the device runs on: given back there,
  // a window whose own choice is continuous would start a run of its own after the multi-device
  // run's last record. It waits until the steps are over.
  if (w_->acquisition().recordStepGoing()) {
    if (!giveBackRetry_.isActive()) giveBackRetry_.start();
    return;
  }
  giveBackRetry_.stop();
  singleShotTaken_ = false;
  w_->acquisition().setSingleShot(ownSingleShot_);
}

void TDeviceWindowMember::holdOwnRun(bool on) {
  if (w_ && w_->runPanel()) w_->runPanel()->showHeldByMultiRun(on);
}

// Plot mode 0 draws nothing: the multi-device window draws the record instead.
void TDeviceWindowMember::setPlotSwitch(bool on) {
  if (!w_) return;
  TOneTolvanexPresenter& p = w_->plots().presenter();
  if (!on && p.choice().plotMode != 0) {
    plotModeBefore_ = p.choice().plotMode;
    p.setPlotMode(0);
    plotSwitchedOff_ = true;
  } else if (on && plotSwitchedOff_) {
    // Only what the collection switched off: a plot mode 0 the user chose stays.
    plotSwitchedOff_ = false;
    if (p.choice().plotMode == 0) p.setPlotMode(plotModeBefore_);
  }
}

void TDeviceWindowMember::switchMode(const QString& modeCode) {
  if (w_) switchMemberMode(w_->acquisition(), fourCharToCode(modeCode));
}

bool TDeviceWindowMember::inScopeMode() const {
  return !w_ || scopeModeOf(w_->acquisition());
}

bool TDeviceWindowMember::ownRunOfOtherMode() const {
  return w_ && ownRunOfOtherModeOf(w_->acquisition());
}

bool TDeviceWindowMember::scopeModeAsked() const {
  return !w_ || scopeModeAskedOf(w_->acquisition());
}

void TDeviceWindowMember::startMeasurement() {
  if (!w_) return;
  w_->acquisition().runNow();
  // The window shows it once every device of the cycle has its run command.
  QMetaObject::invokeMethod(
      w_.data(),
      [w = w_] {
        if (w) w->acquisition().showDeferredState();
      },
      Qt::QueuedConnection);
}

void TDeviceWindowMember::stopMeasurement() {
  if (w_) w_->acquisition().stopClicked();
}

bool TDeviceWindowMember::recordComing() {
  return w_ && w_->acquisition().recordComing();
}

bool TDeviceWindowMember::mayStillDeliver() {
  return w_ && recordMayCome(w_->acquisition());
}

bool TDeviceWindowMember::deviceLost() {
  return w_ && w_->isLost();
}

std::uint32_t TDeviceWindowMember::lossCount() const {
  return w_ ? w_->acquisition().lossCount() : 0;
}

std::uint32_t TDeviceWindowMember::runCount() const {
  return w_ ? w_->acquisition().runsWritten() : 0;
}

std::int32_t TDeviceWindowMember::memoryDepth() const {
  return w_ ? roundToInteger(w_->acquisition().desired().memoryDepth) : 0;
}

double TDeviceWindowMember::sampleInterval() const {
  return w_ ? double(w_->acquisition().desired().sampleTime) : 0.0;
}

DayTime TDeviceWindowMember::recordTime() const {
  return w_ ? w_->plots().data().recordInformation().measurementTime : dayTimeNow();
}

void TDeviceWindowMember::showScopeControlsPage() {
  if (w_ && w_->pageControl() && w_->scopeControlsPage())
    w_->pageControl()->setCurrentWidget(w_->scopeControlsPage());
}

// The multi-device window's channel 1 is the device's channel 0.
void TDeviceWindowMember::rescale(double offs1, double gain1, double offs2, double gain2) {
  if (w_) w_->plots().data().rescalePlotData(offs2, gain2, offs1, gain1);
}

const double* TDeviceWindowMember::channel1() const {
  return w_ ? w_->plots().data().plotChannel0() : nullptr;
}

const double* TDeviceWindowMember::channel2() const {
  return w_ ? w_->plots().data().plotChannel1() : nullptr;
}

int TFormsMembers::count() const {
  return list_ ? list_->count() : 0;
}

IMultiMember* TFormsMembers::at(int i) {
  TF_OneTolvanex* w = list_ ? list_->get(i) : nullptr;
  if (!w) return nullptr;
  auto& m = members_[w];
  if (!m || m->window() != w) m = std::make_unique<TDeviceWindowMember>(w, runGoing_);
  return m.get();
}

}  // namespace tolv
