#pragma once
// Wiring of the settings and GPIO models to the acquisition cycle: an acquisition host that
// hands settings replies, mode requests and confirmations, the ControlsEnabled changes and the
// I/O replies to the models, and passes every event on to the window's own host.
#include "device/acquisition.h"
#include "device/gpio.h"
#include "device/settingsmodel.h"

namespace tolv {

class TSettingsAcquisitionHost : public IAcquisitionHost {
 public:
  TSettingsAcquisitionHost(TSettingsModel& settings, TGpioModel& gpio,
                           IAcquisitionHost* next = nullptr)
      : settings_(settings), gpio_(gpio), next_(next ? *next : none_) {}

  void processEvents() override { next_.processEvents(); }
  void runStateChanged(RunState s) override { next_.runStateChanged(s); }
  void stopShowChanged(const StopShow& s) override { next_.stopShowChanged(s); }
  void queueCountChanged(int n) override { next_.queueCountChanged(n); }
  void runEnabledChanged(bool on) override { next_.runEnabledChanged(on); }
  void controlsEnabledChanged(bool on) override;
  void singleShotChanged(bool on) override { next_.singleShotChanged(on); }
  void overlapChanged(bool on) override { next_.overlapChanged(on); }
  void identificationChanged(const QString& t) override { next_.identificationChanged(t); }
  void settingsReplyApplied(const SettingsReply& r, bool controlsEnabled) override;
  void sampleTimeAdjusted(double asked, double got) override {
    next_.sampleTimeAdjusted(asked, got);
  }
  void ioReplyApplied(const SettingsReply& r) override;
  void modeRequested(ModeCode m) override;
  void modeConfirmed(ModeCode m) override;
  // Start-up stage 1: probe factors, the 0.85 flag and the counter intervals reach the
  // controls as well (the cycle has set the conversion already).
  void windowOptionsRestored(const SettingsRecord& r) override;
  void scopeTabToFront() override { next_.scopeTabToFront(); }
  void voltmeterRunRequested() override { next_.voltmeterRunRequested(); }
  void drawProgressChanged(bool v, int value) override { next_.drawProgressChanged(v, value); }
  void saveLastSettings() override { next_.saveLastSettings(); }
  void closeAgain() override { next_.closeAgain(); }
  void deviceLost(const LostRun& r) override { next_.deviceLost(r); }
  void recordHeadInDoubt(bool doubt) override { next_.recordHeadInDoubt(doubt); }
  void deviceBack() override {
    settings_.forgetDisplacedTrigger();
    next_.deviceBack();
  }

 private:
  TSettingsModel& settings_;
  TGpioModel& gpio_;
  IAcquisitionHost none_;
  IAcquisitionHost& next_;
};

}  // namespace tolv
