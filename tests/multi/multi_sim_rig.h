#pragma once
// Device windows on simulated devices and the multi-device collection, all on one stepped
// clock: records come over simulated links, are announced with the device windows' own record
// notices and are taken by the collection. Every command written is noted with its time.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/windowmessages.h"
#include "device/devtimer.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "ftdi/simulated_driver.h"
#include "measure/measuredata.h"
#include "multi/devicewindowmember.h"
#include "multi/multicollect.h"
#include "multi_loop_rig.h"

namespace tolv::test {

class MultiSimRig : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = pathFromText(dir_.path());
    setDataRoot(root_);
    initFolders();
    fillBuiltInTexts();
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    setColumnSeparatorSetting(QLatin1Char('\t'));
    setLanguageIndex(kLanguageEnglish);
    hub_.setStepHook([] { QCoreApplication::processEvents(); });
  }
  void TearDown() override {
    pump_.reset();
    coll_.reset();
    members_.list.clear();
    windows_.clear();
    QCoreApplication::processEvents();
    regional().reload();
    setLanguageIndex(0);
  }

  // n devices opened on defaults (scope mode, 1000 samples at 10 us, triggered on channel 1),
  // all of them active in the collection, which is left with single shot off.
  void make(int n) {
    sim_ = std::make_unique<TSimulatedDriver>(n, clock_, traces_);
    rec_ = std::make_unique<NotingDriver>(*sim_, clock_);
    for (int i = 0; i < n; ++i) {
      auto w = std::make_unique<TF_OneTolvanex>(
          *rec_, nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
      w->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(i + 1)));
      ASSERT_EQ(w->open(), 2);
      windows_.push_back(std::move(w));
    }
    hub_.advance(1500);
    for (auto& w : windows_) {
      ASSERT_EQ(w->acquisition().mode(), kModeOSA0);
      members_.list.push_back(std::make_unique<TDeviceWindowMember>(
          w.get(), [this] { return coll_ && coll_->running(); },
          [this](int ms) -> ITimer& { return hub_.create(ms); }));
    }
    coll_ = std::make_unique<TMultiCollection>(
        members_, &target_, &view_, [this](int ms) -> ITimer& { return hub_.create(ms); });
    target_.coll = coll_.get();
    coll_->fill();
    for (int i = 0; i < n; ++i) coll_->setItemChecked(i, true);
    ASSERT_EQ(coll_->activate(), 0);
    ASSERT_EQ(coll_->switchToScopeMode(), 0);
    coll_->setVisibleMode(0);  // no device window drawn on the way
    coll_->setSingleShot(false, true);
    hub_.advance(500);
  }
  TMultiCollection& coll() { return *coll_; }
  TF_OneTolvanex& window(int i) { return *windows_[std::size_t(i)]; }
  TSimulatedDevice& device(int i) { return sim_->device(std::size_t(i)); }
  std::string serial(int i) const { return TSimulatedDriver::serialFor(i + 1); }
  void advance(std::int64_t ms) { hub_.advance(ms); }
  // Other windows' ticks run inside a window's record steps from now on.
  void nestTicks() { pump_ = std::make_unique<NestingPump>(hub_); }

  // The merged data files written so far (below the multi folder's day folders).
  std::vector<std::filesystem::path> mergedFiles() const {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(multiFolder(), ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      const auto& p = it->path();
      if (it->is_regular_file() && p.extension() == ".CSV" &&
          p.parent_path().filename() != "Intermediate")
        out.push_back(p);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  std::filesystem::path traces_;
  ManualClock clock_;
  TManualTimerHub hub_{clock_};
  std::unique_ptr<TSimulatedDriver> sim_;
  std::unique_ptr<NotingDriver> rec_;
  std::vector<std::unique_ptr<TF_OneTolvanex>> windows_;
  WindowMembers members_;
  NoticeTarget target_;
  LoopView view_;
  std::unique_ptr<TMultiCollection> coll_;
  std::unique_ptr<NestingPump> pump_;
};

}  // namespace tolv::test
