#include "device/settingsbridge.h"

#include "device/decoding.h"

namespace tolv {

void TSettingsAcquisitionHost::controlsEnabledChanged(bool on) {
  settings_.controlsEnabledChanged();
  next_.controlsEnabledChanged(on);
}

void TSettingsAcquisitionHost::settingsReplyApplied(const SettingsReply& r, bool ce) {
  settings_.applyReply(r);
  next_.settingsReplyApplied(r, ce);
}

void TSettingsAcquisitionHost::ioReplyApplied(const SettingsReply& r) {
  next_.ioReplyApplied(r);
  // The reply was applied through settingsReplyApplied already; the test goes on from here.
  gpio_.ioReplyApplied();
}

void TSettingsAcquisitionHost::windowOptionsRestored(const SettingsRecord& r) {
  settings_.forgetDisplacedTrigger();
  // A file may hold any number: the window uses only what its spin edits can show.
  settings_.setProbeFactor(0, probeFactorInForce(r.probeFactorC0));
  settings_.setProbeFactor(1, probeFactorInForce(r.probeFactorC1));
  settings_.setAuxDivider(r.probeHelpFactorFlag);
  // A record without intervals (0) leaves the start values.
  if (r.clockInterval0 > 0) gpio_.setCountInterval(0, r.clockInterval0);
  if (r.clockInterval1 > 0) gpio_.setCountInterval(1, r.clockInterval1);
  next_.windowOptionsRestored(r);
}

void TSettingsAcquisitionHost::modeRequested(ModeCode m) {
  settings_.modeRequested(m);
  next_.modeRequested(m);
}

void TSettingsAcquisitionHost::modeConfirmed(ModeCode m) {
  settings_.modeConfirmed(m);
  next_.modeConfirmed(m);
}

}  // namespace tolv
