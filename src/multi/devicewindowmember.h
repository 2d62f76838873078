#pragma once
// The device windows of the main frame as members of the multi-device window.
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

#include "device/devtimer.h"
#include "multi/multimember.h"

namespace tolv {

class TF_OneTolvanex;
class TTolvanexFormsList;

class TDeviceWindowMember final : public IMultiMember {
 public:
  using TimerFactory = std::function<ITimer&(int ms)>;
  // How often a give-back of the single-shot switch looks again whether the record's steps
  // are over.
  static constexpr int kGiveBackRetryMs = 20;
  // runGoing: whether the multi-device window's run is going; a window it links closes into
  // hiding only while it is and the window's run is that run's (without it, closing would stop
  // a device in that run). Without a timer factory the member makes its own QTimer.
  TDeviceWindowMember(TF_OneTolvanex* w, std::function<bool()> runGoing,
                      const TimerFactory& timers = {});
  ~TDeviceWindowMember() override;
  TF_OneTolvanex* window() const { return w_; }

  QString serial() const override;
  int setMultiLink(QObject* handle, int index) override;
  void setActive(bool on) override;
  bool active() const override;
  void setShown(bool on) override;
  bool shown() const override;
  void setSingleShot(bool on) override;
  void giveBackSingleShot() override;
  void holdOwnRun(bool on) override;
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
  bool deviceLost() override;
  std::uint32_t lossCount() const override;
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
  // The single-shot switch is on because a run of the collection set it, and the window's own
  // choice before.
  bool singleShotTaken_ = false;
  bool ownSingleShot_ = false;
  // A give-back waiting for the end of a record's steps looks again on this timer: a nested
  // event loop inside the steps (a modal box) runs timers at their pace, where a call posted
  // anew at each pass would keep a core busy for as long as the box is up.
  std::unique_ptr<TQtTimer> ownRetry_;
  ITimer& giveBackRetry_;
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
