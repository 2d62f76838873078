#include "multi/devicewindowmember.h"

#include <QCoreApplication>
#include <QTabWidget>

#include "common/textutil.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_formslist.h"

namespace tolv {

TDeviceWindowMember::TDeviceWindowMember(TF_OneTolvanex* w) : w_(w) {}

QString TDeviceWindowMember::serial() const {
  return w_ ? w_->serialNumber() : QString();
}

int TDeviceWindowMember::setMultiLink(QObject* handle, int index) {
  if (!w_) return -1001;
  (void)index;
  w_->setMultiRegistered(handle != nullptr);
  return 0;
}

void TDeviceWindowMember::setActive(bool on) {
  active_ = on;
}

bool TDeviceWindowMember::active() const {
  return active_;
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
  if (w_) w_->acquisition().setSingleShot(on);
}

void TDeviceWindowMember::setPlotSwitch(bool on) {
  (void)on;
}

void TDeviceWindowMember::switchMode(const QString& modeCode) {
  if (w_) w_->acquisition().selectMode(fourCharToCode(modeCode));
}

void TDeviceWindowMember::startMeasurement() {
  if (w_) w_->acquisition().runClicked();
}

void TDeviceWindowMember::stopMeasurement() {
  if (w_) w_->acquisition().stopClicked();
}

std::int32_t TDeviceWindowMember::memoryDepth() const {
  return w_ ? roundToInteger(w_->acquisition().desired().memoryDepth) : 0;
}

double TDeviceWindowMember::sampleInterval() const {
  return w_ ? double(w_->acquisition().desired().sampleTime) : 0.0;
}

DayTime TDeviceWindowMember::recordTime() const {
  return dayTimeNow();
}

void TDeviceWindowMember::showScopeControlsPage() {
  if (w_ && w_->pageControl() && w_->scopeControlsPage())
    w_->pageControl()->setCurrentWidget(w_->scopeControlsPage());
}

void TDeviceWindowMember::rescale(double, double, double, double) {}

const double* TDeviceWindowMember::channel1() const {
  return nullptr;
}

const double* TDeviceWindowMember::channel2() const {
  return nullptr;
}

int TFormsMembers::count() const {
  return list_ ? list_->count() : 0;
}

IMultiMember* TFormsMembers::at(int i) {
  TF_OneTolvanex* w = list_ ? list_->get(i) : nullptr;
  if (!w) return nullptr;
  auto& m = members_[w];
  if (!m || m->window() != w) m = std::make_unique<TDeviceWindowMember>(w);
  return m.get();
}

}  // namespace tolv
