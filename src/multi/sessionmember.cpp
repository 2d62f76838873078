#include "multi/sessionmember.h"

#include "common/textutil.h"
#include "common/windowmessages.h"

namespace tolv {

namespace {

// The mode asked for last (or, with none asked, the device's).
ModeCode askedMode(const TAcquisition& a) {
  return a.requestedMode() != 0 ? a.requestedMode() : a.mode();
}

}  // namespace

int TSessionMember::setMultiLink(QObject* handle, int index) {
  TMeasureData& d = s_.data();
  int rc = 0;
  if (handle)
    rc = d.registerMulti(handle, index);
  else
    d.unregisterMulti();
  s_.acquisition().setMultiRegistered(handle != nullptr && rc == 0);
  return rc;
}

void TSessionMember::switchMode(const QString& modeCode) {
  switchMemberMode(s_.acquisition(), fourCharToCode(modeCode));
}

void switchMemberMode(TAcquisition& a, ModeCode mode) {
  const bool own = a.singleShot();
  a.selectMode(mode);
  if (a.singleShot() != own) a.setSingleShot(own);
}

bool scopeModeOf(const TAcquisition& a) {
  return a.mode() == kModeOSA0 && (a.requestedMode() == 0 || a.requestedMode() == kModeOSA0);
}

bool scopeModeAskedOf(const TAcquisition& a) {
  return askedMode(a) == kModeOSA0;
}

bool ownRunOfOtherModeOf(const TAcquisition& a) {
  return !a.controlsEnabled() && !scopeModeAskedOf(a);
}

bool TSessionMember::ownRunOfOtherMode() const {
  return ownRunOfOtherModeOf(s_.acquisition());
}

bool recordMayCome(const TAcquisition& a) {
  return a.runInFlight() || a.recordStepGoing();
}

bool TSessionMember::inScopeMode() const {
  return scopeModeOf(s_.acquisition());
}

void TSessionMember::startMeasurement() {
  TAcquisition& a = s_.acquisition();
  a.runNow();
  // Nothing waits to be shown, but the deferred state must not stay pending.
  a.showDeferredState();
}

std::int32_t TSessionMember::memoryDepth() const {
  return roundToInteger(s_.acquisition().desired().memoryDepth);
}

double TSessionMember::sampleInterval() const {
  return double(s_.acquisition().desired().sampleTime);
}

DayTime TSessionMember::recordTime() const {
  return s_.data().recordInformation().measurementTime;
}

// The collection's channel 1 is the device's channel 0.
void TSessionMember::rescale(double offs1, double gain1, double offs2, double gain2) {
  s_.data().rescalePlotData(offs2, gain2, offs1, gain1);
}

bool TRecordNoticeReceiver::event(QEvent* e) {
  if (e->type() != TRecordNoticeEvent::kType) return QObject::event(e);
  const RecordNotice& n = static_cast<TRecordNoticeEvent*>(e)->notice();
  if (f_) f_({n.sampleCount, n.postTrigger, n.registration, n.sampleTime, n.run});
  return true;
}

}  // namespace tolv
