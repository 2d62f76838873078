#pragma once
// Fake device windows and a rig around TMultiCollection: hand-stepped timers, a temporary data
// root and pinned regional settings, so collection cycles run tick by tick.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/paths.h"
#include "common/format.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "device/devtimer.h"
#include "multi/multicollect.h"

namespace tolv::test {

class FakeMember : public IMultiMember {
 public:
  explicit FakeMember(QString serial, int depth = 1000, double dt = 1e-6)
      : serial_(std::move(serial)), depth_(depth), dt_(dt), c1_(131001), c2_(131001) {
    for (int k = 0; k < 131001; ++k) {
      c1_[std::size_t(k)] = 0.001 * (k % 100);
      c2_[std::size_t(k)] = -0.002 * (k % 50);
    }
  }
  QString serial() const override { return serial_; }
  int setMultiLink(QObject* h, int index) override {
    handle = h;
    index_ = index;
    return 0;
  }
  void setActive(bool on) override { active_ = on; }
  bool active() const override { return active_; }
  void setShown(bool on) override {
    shown_ = on;
    ++showCalls;
  }
  bool shown() const override { return shown_; }
  void setSingleShot(bool on) override {
    if (on && !singleShotTaken) ownSingleShot = singleShot;
    singleShotTaken = singleShotTaken || on;
    singleShot = on;
  }
  void giveBackSingleShot() override {
    if (singleShotTaken) singleShot = ownSingleShot;
    singleShotTaken = false;
  }
  void holdOwnRun(bool on) override { held = on; }
  void setPlotSwitch(bool on) override { plotSwitch = on; }
  void switchMode(const QString& code) override {
    if (refuseSwitch) return;
    mode = code;
    ++switches;
  }
  bool inScopeMode() const override { return mode == QStringLiteral("OSA0"); }
  bool ownRunOfOtherMode() const override { return refuseSwitch && !inScopeMode(); }
  void startMeasurement() override {
    if (!busy) ++starts;
    modeAtStart = mode;
  }
  void stopMeasurement() override { ++stops; }
  std::uint32_t runCount() const override { return std::uint32_t(starts); }
  bool recordComing() override { return coming; }
  bool mayStillDeliver() override { return owes; }
  bool deviceLost() override { return gone; }
  std::uint32_t lossCount() const override { return losses; }
  std::int32_t memoryDepth() const override { return depth_; }
  double sampleInterval() const override { return dt_; }
  DayTime recordTime() const override { return time; }
  void showScopeControlsPage() override { ++scopePage; }
  void rescale(double o1, double g1, double o2, double g2) override {
    for (int k = 0; k < 131001; ++k) {
      c1_[std::size_t(k)] = c1_[std::size_t(k)] * g1 + o1;
      c2_[std::size_t(k)] = c2_[std::size_t(k)] * g2 + o2;
    }
  }
  const double* channel1() const override { return c1_.data(); }
  const double* channel2() const override { return c2_.data(); }
  MultiRecordNotice notice(int m = -1) const {
    return {depth_, m < 0 ? depth_ / 2 : m, index_, dt_, std::uint32_t(starts)};
  }
  int index() const { return index_; }
  void setDepth(std::int32_t n) { depth_ = n; }
  std::vector<double>& ch1() { return c1_; }
  std::vector<double>& ch2() { return c2_; }

  QObject* handle = nullptr;
  bool singleShot = false, plotSwitch = true;
  bool held = false;  // its own window's RUN held by the collection's run
  bool singleShotTaken = false, ownSingleShot = false;  // by the collection's run
  QString mode = QStringLiteral("VMD0");
  QString modeAtStart;  // the mode the last run was asked in
  int starts = 0, stops = 0, scopePage = 0, switches = 0, showCalls = 0;
  bool coming = false;  // its record's bytes are coming in
  bool owes = true;     // a record of its last run may still come
  bool gone = false;    // pulled out
  std::uint32_t losses = 0;  // times pulled out so far
  bool busy = false;    // a run asked for does not go out (a reply pending, or the device gone)
  bool refuseSwitch = false;  // its window refuses mode changes (a run of its own going)
  DayTime time = dtFromSeconds(739000.0 * 86400 + 3600.5);

 private:
  QString serial_;
  std::int32_t depth_;
  double dt_;
  int index_ = -1;
  bool active_ = false, shown_ = true;
  std::vector<double> c1_, c2_;
};

class FakeMembers : public IMultiMembers {
 public:
  int count() const override { return int(list.size()); }
  IMultiMember* at(int i) override {
    return i >= 0 && i < count() ? list[std::size_t(i)].get() : nullptr;
  }
  FakeMember& add(const QString& serial, int depth = 1000, double dt = 1e-6) {
    list.push_back(std::make_unique<FakeMember>(serial, depth, dt));
    return *list.back();
  }
  std::vector<std::unique_ptr<FakeMember>> list;
};

class CountingView : public IMultiView {
 public:
  void changed(unsigned what) override { all |= what; }
  void showPlotPage() override { ++plotPage; }
  void bringToFront() override { ++fronts; }
  unsigned all = 0;
  int plotPage = 0;
  int fronts = 0;
};

class MultiRig : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = pathFromText(dir_.path());
    setDataRoot(root_);
    initFolders();
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    setColumnSeparatorSetting(QLatin1Char('\t'));
    setLanguageIndex(1);
  }
  void TearDown() override {
    coll_.reset();
    regional().reload();
    setLanguageIndex(0);
  }
  TMultiCollection& make() {
    coll_ = std::make_unique<TMultiCollection>(members_, nullptr, &view_,
                                               [this](int ms) -> ITimer& { return hub_.create(ms); });
    return *coll_;
  }
  // Fills, checks every device and activates them.
  TMultiCollection& makeActive() {
    TMultiCollection& c = make();
    c.fill();
    for (int i = 0; i < c.itemCount(); ++i) c.setItemChecked(i, true);
    c.activate();
    return c;
  }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  ManualClock clock_;
  TManualTimerHub hub_{clock_};
  FakeMembers members_;
  CountingView view_;
  std::unique_ptr<TMultiCollection> coll_;
};

}  // namespace tolv::test
