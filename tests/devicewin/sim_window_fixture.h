#pragma once
// One device window on a simulated device, opened without stored settings in scope mode, with
// its timers on a manual clock: the common start of the window tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>

#include "common/clock.h"
#include "common/paths.h"
#include "common/texttable.h"
#include "device/devtimer.h"
#include "devicewin/tf_onetolvanex.h"
#include "ftdi/simulated_driver.h"

namespace tolv::test {

class SimWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = std::filesystem::path(dir_.path().toStdString());
    setDataRoot(root_);
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    sim_.setLinkRate({4096, 1000});
    w_ = std::make_unique<TF_OneTolvanex>(sim_, nullptr,
                                          [this](int ms) -> ITimer& { return hub_.create(ms); });
    w_->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    w_->resize(1200, 800);
    w_->show();
    QApplication::processEvents();
    ASSERT_EQ(w_->open(), 2);
    hub_.advance(1500);
    ASSERT_EQ(w_->acquisition().mode(), kModeOSA0);
  }
  void TearDown() override { w_.reset(); }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  ManualClock clock_;
  TSimulatedDriver sim_{1, clock_};
  TManualTimerHub hub_{clock_};
  std::unique_ptr<TF_OneTolvanex> w_;
};

}  // namespace tolv::test
