#pragma once
// Shared set-up of the frame tests: a private data root, a simulated FTDI bus and a sink that
// records the error boxes.
#include <gtest/gtest.h>

#include <QLocale>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <memory>

#include "app/framelogic.h"
#include "app/placement.h"
#include "app/tf_multitolvanexframe.h"
#include "common/clock.h"
#include "common/paths.h"
#include "common/regional.h"
#include "devicewin/tf_onetolvanex.h"
#include "ftdi/simulated_driver.h"

namespace tolv::testing {

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = std::filesystem::path(dir_.path().toStdString());
    setDataRoot(root_);
    driver_ = std::make_unique<TSimulatedDriver>(0, clock_);
    // A first start on an English system, whatever locale the tests run under; tests of other
    // systems pin theirs.
    regional().pin(QLocale(QStringLiteral("en_US")));
  }
  void TearDown() override {
    frame_.reset();
    driver_.reset();
    regional().reload();
  }

  TF_MultiTolvanexFrame& makeFrame() {
    frame_ = std::make_unique<TF_MultiTolvanexFrame>(*driver_, &sink_);
    return *frame_;
  }
  QTreeWidget* list(const char* name) { return frame_->findChild<QTreeWidget*>(name); }
  TF_OneTolvanex* window(int i) { return frame_->deviceWindows().get(i); }
  // A start place: as given where the window fits on its screen, else moved up and left only,
  // never off the screen's top or left edge (the test screen is smaller than a device window).
  static void expectStartPlace(const QWidget* w, const QPoint& at) {
    const QScreen* sc = w->screen();
    const QRect area = sc ? sc->availableGeometry() : QRect();
    if (area.isEmpty() || area.contains(QRect(at, w->frameGeometry().size()))) {
      EXPECT_EQ(w->pos(), at);
      return;
    }
    EXPECT_LE(w->pos().x(), at.x());
    EXPECT_LE(w->pos().y(), at.y());
    EXPECT_GE(w->pos().x(), area.left());
    EXPECT_GE(w->pos().y(), area.top());
  }
  // A place as the window gets it on the screen it is on: the test screen is smaller than a
  // device window, so the place is kept in its usable area (a window not framed yet counts
  // the frame the main frame has).
  QPoint onScreen(const QPoint& at, const QWidget* w) const {
    const QScreen* sc = w->screen();
    return keptInArea(at, outerSize(*w, frame_.get()), sc ? sc->availableGeometry() : QRect());
  }

  QTemporaryDir dir_;
  std::filesystem::path root_;
  ManualClock clock_;
  std::unique_ptr<TSimulatedDriver> driver_;
  TRecordingMessageSink sink_;
  std::unique_ptr<TF_MultiTolvanexFrame> frame_;
};

}  // namespace tolv::testing
