#pragma once
// The device windows of the main frame as members of the multi-device window.
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

#include "multi/multimember.h"

namespace tolv {

class TF_OneTolvanex;
class TTolvanexFormsList;

class TDeviceWindowMember final : public IMultiMember {
 public:
  // runGoing: whether the multi-device window's run is going; a window it links closes into
  // hiding only while it is and the window's run is that run's (without it, closing would stop
  // a device in that run).
  TDeviceWindowMember(TF_OneTolvanex* w, std::function<bool()> runGoing);
  TF_OneTolvanex* window() const { return w_; }

  QString serial() const override;
  int setMultiLink(QObject* handle, int index) override;
  void setActive(bool on) override;
  bool active() const override;
  void setShown(bool on) override;
  bool shown() const override;
  void setSingleShot(bool on) override;
  void giveBackSingleShot() override;
  void setPlotSwitch(bool on) override;
  void switchMode(const QString& modeCode) override;
  bool inScopeMode() const override;
  bool ownRunOfOtherMode() const override;
  bool scopeModeAsked() const override;
  void startMeasurement() override;
  void stopMeasurement() override;
  std::uint32_t runCount() const override;
  bool recordComing() override;
  bool mayStillDeliver() override;
  std::int32_t memoryDepth() const override;
  double sampleInterval() const override;
  DayTime recordTime() const override;
  void showScopeControlsPage() override;
  void rescale(double offs1, double gain1, double offs2, double gain2) override;
  const double* channel1() const override;
  const double* channel2() const override;

 private:
  QPointer<TF_OneTolvanex> w_;
  std::function<bool()> runGoing_;
  int plotModeBefore_ = 3;
  bool plotSwitchedOff_ = false;  // the plot mode is 0 because a run of the collection set it
  // The single-shot switch is on because a run of the collection set it; the window's own
  // choice before, and whether giving it back waits for the end of a record's steps.
  bool singleShotTaken_ = false;
  bool ownSingleShot_ = false;
  bool giveBackDue_ = false;
  // Lets a deferred give-back tell whether this member still exists.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The frame's list, with one member per window made on first use.
class TFormsMembers final : public IMultiMembers {
 public:
  TFormsMembers(const TTolvanexFormsList* list, std::function<bool()> runGoing)
      : list_(list), runGoing_(std::move(runGoing)) {}
  int count() const override;
  IMultiMember* at(int i) override;

 private:
  const TTolvanexFormsList* list_;
  std::function<bool()> runGoing_;
  std::map<const TF_OneTolvanex*, std::unique_ptr<TDeviceWindowMember>> members_;
};

}  // namespace tolv
