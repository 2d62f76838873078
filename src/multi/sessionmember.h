#pragma once
// A device without a window as a member of the multi-device collection, and the receiver that
// hands its record notices to the collection as the multi-device window does.
#include <QObject>
#include <functional>

#include "measure/devicesession.h"
#include "multi/multimember.h"

namespace tolv {

// A device in the scope mode with no other mode asked for (one not yet asked for counts as
// none).
bool scopeModeOf(const TAcquisition& a);
// The scope mode is the one asked for last (or, with none asked, the device's).
bool scopeModeAskedOf(const TAcquisition& a);
// A run of the window's own in another mode is going or queued (the controls are locked for
// it, and a mode change is refused).
bool ownRunOfOtherModeOf(const TAcquisition& a);
// A record of the last run may still be announced (see IMultiMember::mayStillDeliver).
bool recordMayCome(const TAcquisition& a);
// The multi-device window's switch of a member to a mode. A window's own mode choice clears its
// single-shot box; this one is no choice of the user's in that window, and the multi-device
// window switches every member it activates: the box keeps what the user set there.
void switchMemberMode(TAcquisition& a, ModeCode mode);

class TSessionMember final : public IMultiMember {
 public:
  explicit TSessionMember(TDeviceSession& s) : s_(s) {}
  TDeviceSession& session() { return s_; }

  QString serial() const override { return s_.serial(); }
  int setMultiLink(QObject* handle, int index) override;
  void setActive(bool on) override { s_.data().setActive(on); }
  bool active() const override { return s_.data().active(); }
  // Nothing to show or draw: the collection keeps the records.
  void setShown(bool) override {}
  bool shown() const override { return false; }
  void setPlotSwitch(bool) override {}
  void showScopeControlsPage() override {}
  void setSingleShot(bool on) override { s_.acquisition().setSingleShot(on); }
  void switchMode(const QString& modeCode) override;
  bool inScopeMode() const override;
  bool ownRunOfOtherMode() const override;
  bool scopeModeAsked() const override { return scopeModeAskedOf(s_.acquisition()); }
  void startMeasurement() override;
  void stopMeasurement() override { s_.stop(); }
  std::uint32_t runCount() const override { return s_.acquisition().runsWritten(); }
  bool recordComing() override { return s_.acquisition().recordComing(); }
  bool mayStillDeliver() override { return recordMayCome(s_.acquisition()); }
  bool deviceLost() override { return s_.acquisition().lost(); }
  std::uint32_t lossCount() const override { return s_.acquisition().lossCount(); }
  std::int32_t memoryDepth() const override;
  double sampleInterval() const override;
  DayTime recordTime() const override;
  void rescale(double offs1, double gain1, double offs2, double gain2) override;
  const double* channel1() const override { return s_.data().plotChannel0(); }
  const double* channel2() const override { return s_.data().plotChannel1(); }

 private:
  TDeviceSession& s_;
};

// Record notices (window message 1035) to a function, for a collection without its window.
class TRecordNoticeReceiver final : public QObject {
 public:
  explicit TRecordNoticeReceiver(std::function<void(const MultiRecordNotice&)> f)
      : f_(std::move(f)) {}
  bool event(QEvent* e) override;

 private:
  std::function<void(const MultiRecordNotice&)> f_;
};

}  // namespace tolv
