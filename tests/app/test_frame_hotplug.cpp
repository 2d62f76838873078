// Devices pulled out, plugged back, plugged in new and refused while the frame runs: its lists
// follow, windows reconnect or are made, and only a refused open gets the access hint.
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/framelogic.h"
#include "common/texttable.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "frame_fixture.h"
#include "ftdi/hotplug_texts.h"
#include "ftdi/sim_control.h"

namespace tolv::testing {
namespace {

using Call = TSimulatedDriver::Call;

class FrameHotplug : public FrameTest {
 protected:
  // Three family devices and another product's bridge, booted through the first step.
  TF_MultiTolvanexFrame& boot(int family = 3) {
    driver_ = std::make_unique<TSimulatedDriver>(family, clock_);
    driver_->addDevice("OTHER001", "USB Serial Converter", false);
    TF_MultiTolvanexFrame& f = makeFrame();
    f.TM_BootTimer();
    return f;
  }
  int rows(const char* name) { return list(name)->topLevelItemCount(); }
  QString cell(const char* name, int row, int col) {
    return list(name)->topLevelItem(row)->text(col);
  }
  QString linkState(int i) { return window(i)->linkPanel()->statePanel()->text(); }
  bool linkMessageShown(int i) { return !window(i)->linkPanel()->messagePanel()->isHidden(); }
  QString linkMessage(int i) { return window(i)->linkPanel()->messagePanel()->text(); }
  // Steps the devices' clock 5 ms at a time, letting the window's timers run, until done().
  template <class Done>
  bool stepUntil(Done done, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
          if (done()) return true;
          clock_.advanceMs(5);
          return false;
        },
        timeoutMs);
  }
  // Runs the window's timers and the devices' clock until the window waits for its record;
  // from then on the devices' clock stands, so it stays waiting.
  bool measuring(int i) {
    TAcquisition& a = window(i)->acquisition();
    a.runClicked();
    return stepUntil([&] { return a.runState() == RunState::Measuring; }, 10000);
  }
  // Runs the window's start-up until it knows its device, in the scope mode.
  bool scopeReady(int i) {
    TAcquisition& a = window(i)->acquisition();
    return stepUntil(
        [&] {
          if (a.controlsEnabled() && a.mode() != kModeOSA0) a.selectMode(kModeOSA0);
          return a.mode() == kModeOSA0 && a.settingsKnown() && a.queue().isEmpty();
        },
        10000);
  }
  static void fire(QTimer* t) { QMetaObject::invokeMethod(t, "timeout"); }
};

TEST_F(FrameHotplug, PulledDeviceIsMarkedAndReconnectsToItsOwnWindow) {
  TF_MultiTolvanexFrame& f = boot();
  TF_OneTolvanex* second = window(1);
  second->move(321, 123);
  const QPoint place = second->pos();
  ASSERT_TRUE(second->link().isOpen());

  driver_->unplug(1);
  EXPECT_EQ(f.relistDevices(), 0);
  EXPECT_TRUE(second->isLost());
  EXPECT_FALSE(second->link().isOpen());
  EXPECT_EQ(driver_->openHandles(), 2);
  EXPECT_EQ(f.windowTitle(), QStringLiteral("3 FTDI-Device(s) Present ..."));
  EXPECT_EQ(rows("LV_Devices"), 3);
  EXPECT_EQ(rows("LV_Tolvanexs"), 3);  // the row stays, marked
  EXPECT_EQ(f.deviceStatusText(1), disconnectedCaption());
  EXPECT_EQ(cell("LV_Tolvanexs", 1, 1), QStringLiteral("-"));
  EXPECT_EQ(list("LV_Tolvanexs")->topLevelItem(1)->foreground(0).color(), QColor(Qt::red));
  EXPECT_TRUE(f.deviceStatusText(0).isEmpty());
  EXPECT_EQ(linkState(1), disconnectedCaption());
  EXPECT_TRUE(linkMessageShown(1));
  EXPECT_TRUE(linkMessage(1).contains(QStringLiteral("TVS00002")));
  EXPECT_TRUE(sink_.messages.empty());  // no box at all
  // The other devices keep going.
  EXPECT_FALSE(window(0)->isLost());
  EXPECT_FALSE(window(2)->isLost());

  driver_->plug(1);
  EXPECT_EQ(f.relistDevices(), 0);
  EXPECT_EQ(window(1), second);
  EXPECT_FALSE(second->isLost());
  EXPECT_TRUE(second->link().isOpen());
  EXPECT_EQ(second->pos(), place);
  EXPECT_EQ(f.deviceWindows().count(), 3);
  EXPECT_TRUE(f.deviceStatusText(1).isEmpty());
  EXPECT_EQ(cell("LV_Tolvanexs", 1, 1), QStringLiteral("2"));
  EXPECT_FALSE(linkMessageShown(1));
  EXPECT_EQ(driver_->openHandles(), 3);
  EXPECT_EQ(cell("LV_Devices", 1, 1), QStringLiteral("TVS00002"));
  EXPECT_TRUE(sink_.messages.empty());
}

// Two devices pulled, plugged back in the other order: each finds its own window, and the
// list's numbers follow the FTDI list at every step.
// Each window keeps the number in its caption meanwhile: those behind a pulled device move up
// the list, but no two open windows ever show the same number.
TEST_F(FrameHotplug, TwoPulledComeBackInTheOtherOrderToTheirOwnWindows) {
  TF_MultiTolvanexFrame& f = boot();
  const auto captions = [&] {
    QStringList c;
    for (int i = 0; i < f.deviceWindows().count(); ++i) c << window(i)->windowTitle();
    return c;
  };
  const QStringList atStart = captions();
  driver_->unplug(1);
  f.relistDevices();
  EXPECT_EQ(cell("LV_Tolvanexs", 2, 1), QStringLiteral("2"));  // TVS00003 moved up the list
  EXPECT_EQ(captions(), atStart);
  EXPECT_TRUE(window(2)->windowTitle().startsWith(text(225) + QStringLiteral(" 3: ")))
      << window(2)->windowTitle().toStdString();
  EXPECT_TRUE(window(1)->windowTitle().startsWith(text(225) + QStringLiteral(" 2: ")));
  driver_->unplug(0);
  f.relistDevices();
  EXPECT_TRUE(window(0)->isLost());
  EXPECT_TRUE(window(1)->isLost());
  EXPECT_EQ(cell("LV_Tolvanexs", 2, 1), QStringLiteral("1"));
  EXPECT_EQ(captions(), atStart);
  driver_->plug(1);
  f.relistDevices();
  EXPECT_TRUE(window(0)->isLost());
  EXPECT_FALSE(window(1)->isLost());
  EXPECT_EQ(cell("LV_Tolvanexs", 0, 1), QStringLiteral("-"));
  EXPECT_EQ(cell("LV_Tolvanexs", 1, 1), QStringLiteral("1"));
  EXPECT_EQ(cell("LV_Tolvanexs", 2, 1), QStringLiteral("2"));
  EXPECT_EQ(window(1)->deviceIndex(), 1);
  EXPECT_EQ(window(2)->deviceIndex(), 2);
  EXPECT_EQ(captions(), atStart);
  // A new device listed at a place whose number a window shows gets a number no window shows.
  driver_->unplug(3);  // the other product's bridge
  driver_->plug(4);    // TVS00005, third in the list, after TVS00002 and TVS00003
  ASSERT_EQ(cell("LV_Tolvanexs", 2, 1), QStringLiteral("2"));
  ASSERT_EQ(f.relistDevices(), 1);
  EXPECT_EQ(window(3)->serialNumber(), QStringLiteral("TVS00005"));
  EXPECT_EQ(window(3)->deviceIndex(), 3);
  EXPECT_EQ(captions().mid(0, 3), atStart);
  driver_->plug(0);
  EXPECT_EQ(f.relistDevices(), 0);
  EXPECT_EQ(f.deviceWindows().count(), 4);
  EXPECT_EQ(captions().mid(0, 3), atStart);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_FALSE(window(i)->isLost());
    EXPECT_EQ(window(i)->serialNumber(), QString::fromStdString(TSimulatedDriver::serialFor(i + 1)));
    EXPECT_EQ(cell("LV_Tolvanexs", i, 1), QString::number(i + 1));
    EXPECT_EQ(window(i)->deviceIndex(), i);
    EXPECT_TRUE(f.deviceStatusText(i).isEmpty());
  }
  EXPECT_EQ(driver_->openHandles(), 4);
}

TEST(DeviceNumbers, AWindowKeepsItsNumberAndANewOneTakesAFreeOne) {
  TDeviceNumbers n;
  // At start the numbers are the places in the FTDI list (another product's bridge at 1).
  EXPECT_EQ(n.take(0), 0);
  EXPECT_EQ(n.take(2), 2);
  EXPECT_EQ(n.take(3), 3);
  // A place whose number a window holds: the lowest free number, here the gap.
  EXPECT_EQ(n.take(2), 1);
  EXPECT_EQ(n.take(0), 4);
  EXPECT_EQ(n.take(-1), 5);
  EXPECT_TRUE(n.held(1));
  // A window gone gives its number back.
  n.release(2);
  EXPECT_FALSE(n.held(2));
  EXPECT_EQ(n.take(3), 2);
  EXPECT_EQ(n.take(9), 9);
  EXPECT_EQ(n.take(9), 6);
}

TEST_F(FrameHotplug, NewDeviceGetsItsWindowAndTheMultiWindowListFollows) {
  TF_MultiTolvanexFrame& f = boot(2);
  auto* checks = f.multiWindow()->findChild<QListWidget*>(QStringLiteral("CLB_ACTIVE_Tolvanexs"));
  ASSERT_NE(checks, nullptr);
  EXPECT_EQ(checks->count(), 2);
  driver_->plug(3);  // beyond the other product's bridge: TVS00004 at list position 4
  EXPECT_EQ(f.relistDevices(), 1);
  ASSERT_EQ(f.deviceWindows().count(), 3);
  TF_OneTolvanex* w = window(2);
  EXPECT_EQ(w->serialNumber(), QStringLiteral("TVS00004"));
  EXPECT_TRUE(w->link().isOpen());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->frameCaption(), deviceWindowCaption(QStringLiteral("TVS00004"), 3));
  EXPECT_EQ(rows("LV_Tolvanexs"), 3);
  EXPECT_EQ(cell("LV_Tolvanexs", 2, 1), QStringLiteral("4"));
  EXPECT_EQ(rows("LV_Devices"), 4);
  EXPECT_EQ(checks->count(), 3);
  EXPECT_EQ(f.relistDevices(), 0);  // listed again: nothing new
  EXPECT_EQ(f.deviceWindows().count(), 3);
}

TEST_F(FrameHotplug, RefusedOpenShowsTheAccessHintAndNothingElseDoes) {
  driver_ = std::make_unique<TSimulatedDriver>(3, clock_);
  driver_->setDenied(1, true);
  driver_->failNext(Call::Open, kFtIoError);  // device 1: an open that fails otherwise
  TF_MultiTolvanexFrame& f = makeFrame();
  f.TM_BootTimer();
  EXPECT_FALSE(window(0)->link().isOpen());
  EXPECT_FALSE(window(0)->accessDenied());
  EXPECT_TRUE(window(0)->linkPanel()->statePanel()->isHidden());
  EXPECT_TRUE(f.deviceStatusText(0).isEmpty());

  EXPECT_TRUE(window(1)->accessDenied());
  EXPECT_EQ(f.deviceStatusText(1), noAccessCaption());
  EXPECT_EQ(linkState(1), noAccessCaption());
  const QString hint = linkMessage(1);
  EXPECT_TRUE(hint.contains(QStringLiteral("70-multi-tolvanex-ftdi.rules")));
  EXPECT_TRUE(hint.contains(QStringLiteral("udevadm info")));
  EXPECT_TRUE(hint.contains(QStringLiteral("plugdev")));
  EXPECT_TRUE(hint.contains(QStringLiteral("TVS00002")));
  EXPECT_FALSE(hint.contains(QLatin1Char('~')));

  // Listing again opens what may be opened now; the refused one stays refused.
  f.relistDevices();
  EXPECT_TRUE(window(0)->link().isOpen());
  EXPECT_TRUE(window(1)->accessDenied());
  // Rights given and the device plugged again: it opens and the hint goes.
  driver_->setDenied(1, false);
  driver_->unplug(1);
  driver_->plug(1);
  f.relistDevices();
  EXPECT_FALSE(window(1)->accessDenied());
  EXPECT_TRUE(window(1)->link().isOpen());
  EXPECT_TRUE(f.deviceStatusText(1).isEmpty());
  EXPECT_TRUE(window(1)->linkPanel()->statePanel()->isHidden());

  // A device that returns without rights after being pulled: marked, hinted, not opened.
  driver_->unplug(2);
  f.relistDevices();
  driver_->setDenied(2, true);
  driver_->plug(2);
  f.relistDevices();
  EXPECT_TRUE(window(2)->isLost());
  EXPECT_TRUE(window(2)->accessDenied());
  EXPECT_EQ(linkState(2), noAccessCaption());
  // English hint after a language change, as every text.
  f.setLanguage(1);
  f.setLanguage(0);
  EXPECT_TRUE(sink_.messages.empty());
}

TEST_F(FrameHotplug, IncompleteListingMarksNothingAndShowsNoBox) {
  TF_MultiTolvanexFrame& f = boot();
  driver_->unplug(2, kFtOk);  // gone without the driver telling
  driver_->failNext(Call::ListSerial, kFtIoError);
  f.relistDevices();
  EXPECT_FALSE(window(2)->isLost());
  EXPECT_TRUE(sink_.messages.empty());
  EXPECT_EQ(f.windowTitle(), QStringLiteral("4 FTDI-Device(s) Present ..."));
  f.relistDevices();
  EXPECT_TRUE(window(2)->isLost());
  EXPECT_EQ(f.windowTitle(), QStringLiteral("3 FTDI-Device(s) Present ..."));
}

TEST_F(FrameHotplug, WatchesAndTheirTimers) {
  TF_MultiTolvanexFrame& f = boot();
  EXPECT_EQ(f.hotplugWatch(), TF_MultiTolvanexFrame::HotplugWatch::None);
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Poll);
  ASSERT_NE(f.relistTimer(), nullptr);
  EXPECT_TRUE(f.relistTimer()->isActive());
  EXPECT_EQ(f.relistTimer()->interval(), 2000);
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Announced);
  // Udev where a monitor starts, else the 2 s listing.
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Udev);
  EXPECT_NE(f.hotplugWatch(), TF_MultiTolvanexFrame::HotplugWatch::None);
  f.close();
  EXPECT_FALSE(f.relistTimer()->isActive());
  // After shut-down nothing is listed or opened again.
  driver_->plug(5);
  EXPECT_EQ(f.relistDevices(), 0);
}

TEST_F(FrameHotplug, PulledAndPluggedBackBeforeTheListingReconnectsWithItsSettings) {
  TF_MultiTolvanexFrame& f = boot();
  TF_OneTolvanex* w = window(1);
  // Opened and started up, its settings reported (a pull during the start-up is the test
  // further down).
  ASSERT_TRUE(stepUntil(
      [&] {
        return w->acquisition().runEnabled() && w->acquisition().settingsKnown() &&
               w->acquisition().queue().isEmpty();
      },
      10000));
  for (FtStatus st : {kFtIoError, kFtOk}) {
    SCOPED_TRACE(st);
    const FtHandle before = w->link().handle();
    // Both within the listing's delay: the list shows the device as it was.
    driver_->unplug(1, st);
    driver_->plug(1);
    EXPECT_EQ(f.relistDevices(), 0);
    EXPECT_EQ(window(1), w);
    EXPECT_FALSE(w->isLost());
    EXPECT_TRUE(w->link().isOpen());
    EXPECT_NE(w->link().handle(), before);
    EXPECT_EQ(driver_->openHandles(), 3);  // the dead handle released
    // Its settings go out again, as after a longer pull.
    EXPECT_GE(w->acquisition().queue().indexOfKind(kKindSettingsWrite), 0);
    EXPECT_TRUE(f.deviceStatusText(1).isEmpty());
    EXPECT_EQ(cell("LV_Tolvanexs", 1, 1), QStringLiteral("2"));
  }
  // The others were left alone.
  EXPECT_FALSE(window(0)->isLost());
  EXPECT_FALSE(window(2)->isLost());
  // Back at once without access rights (the control channel's "deny"): marked and hinted, in
  // the frame's list as in the window, for as long as the device is listed.
  std::string err;
  ASSERT_TRUE(applySimControlLine(*driver_, "deny 2", &err)) << err;
  f.relistDevices();
  EXPECT_TRUE(w->isLost());
  EXPECT_TRUE(w->accessDenied());
  EXPECT_EQ(linkState(1), noAccessCaption());
  EXPECT_EQ(f.deviceStatusText(1), noAccessCaption());
  f.relistDevices();
  EXPECT_EQ(f.deviceStatusText(1), noAccessCaption());
  // Pulled out: away, not refused.
  ASSERT_TRUE(applySimControlLine(*driver_, "unplug 2", &err)) << err;
  f.relistDevices();
  EXPECT_FALSE(w->accessDenied());
  EXPECT_EQ(f.deviceStatusText(1), disconnectedCaption());
  EXPECT_EQ(linkState(1), disconnectedCaption());
  // Plugged back refused, then with its rights: refused again, then back.
  driver_->plug(1);
  f.relistDevices();
  EXPECT_EQ(f.deviceStatusText(1), noAccessCaption());
  ASSERT_TRUE(applySimControlLine(*driver_, "allow 2", &err)) << err;
  f.relistDevices();
  EXPECT_FALSE(w->isLost());
  EXPECT_TRUE(f.deviceStatusText(1).isEmpty());
  EXPECT_TRUE(sink_.messages.empty());
}

// Pulled and plugged back while its window opens, before the frame's first boot step: the
// listing the driver asked for then is not dropped but comes after that step, and the window
// ends its start-up on the device that came back.
TEST_F(FrameHotplug, PulledWhileItsWindowOpensReconnectsAfterTheFirstBootStep) {
  driver_ = std::make_unique<TSimulatedDriver>(3, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  f.bootTimer()->stop();  // its step is taken below
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Announced);
  auto* soon = f.findChild<QTimer*>(QStringLiteral("TM_Relist"));
  ASSERT_NE(soon, nullptr);
  TF_OneTolvanex* w = window(1);
  TAcquisition& a = w->acquisition();
  // The identification request is out; its answer has not been read.
  ASSERT_TRUE(stepUntil([&] { return a.queue().isEmpty(); }, 5000));
  ASSERT_TRUE(a.identification().isEmpty());
  driver_->unplug(1);
  driver_->plug(1);
  driver_->plug(3);  // and one never seen before
  f.devicesChanged();  // as the driver announces it
  ASSERT_TRUE(stepUntil([&] { return w->isLost() && !soon->isActive(); }, 5000));
  EXPECT_EQ(f.bootStep(), 0);
  EXPECT_EQ(f.relistDevices(), 0);
  EXPECT_TRUE(w->isLost());

  f.TM_BootTimer();
  EXPECT_TRUE(soon->isActive());
  fire(soon);
  EXPECT_FALSE(w->isLost());
  EXPECT_TRUE(w->link().isOpen());
  ASSERT_EQ(f.deviceWindows().count(), 4);
  EXPECT_EQ(window(3)->serialNumber(), QStringLiteral("TVS00004"));
  ASSERT_TRUE(stepUntil(
      [&] {
        return a.mode() == kModeOSA0 && a.settingsKnown() && a.runEnabled() &&
               a.queue().isEmpty() && !a.identification().isEmpty();
      },
      10000));
  EXPECT_EQ(driver_->device(1).mode(), kModeOSA0);
  EXPECT_TRUE(w->captionText().contains(a.identification()));
  EXPECT_TRUE(f.deviceStatusText(1).isEmpty());
  EXPECT_EQ(cell("LV_Tolvanexs", 1, 1), QStringLiteral("2"));
  EXPECT_FALSE(linkMessageShown(1));
  EXPECT_TRUE(sink_.messages.empty());
}

// The 2 s listing goes on while a device measures: a device pulled meanwhile is marked, and
// the measuring one is not disturbed. One that finds its own device dead lists again soon and
// is back.
TEST_F(FrameHotplug, ListingGoesOnWhileADeviceMeasures) {
  TF_MultiTolvanexFrame& f = boot();
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Poll);
  ASSERT_TRUE(measuring(0));
  TAcquisition& a = window(0)->acquisition();
  driver_->unplug(2, kFtOk);  // silently: no failing call tells
  fire(f.relistTimer());
  EXPECT_TRUE(window(2)->isLost());
  EXPECT_EQ(a.runState(), RunState::Measuring);
  EXPECT_FALSE(window(0)->isLost());
  driver_->plug(2);
  fire(f.relistTimer());
  EXPECT_FALSE(window(2)->isLost());
  EXPECT_EQ(a.runState(), RunState::Measuring);

  // Window 1 measures when its device is pulled and plugged back at once; the poll waits, so
  // the window is the one to find out.
  f.relistTimer()->stop();
  ASSERT_TRUE(measuring(1));
  auto* soon = f.findChild<QTimer*>(QStringLiteral("TM_Relist"));
  ASSERT_NE(soon, nullptr);
  driver_->unplug(1);
  driver_->plug(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window(1)->isLost(); }, 5000));
  EXPECT_TRUE(soon->isActive());
  EXPECT_EQ(window(1)->acquisition().runState(), RunState::Idle);
  fire(soon);
  EXPECT_FALSE(window(1)->isLost());
  EXPECT_TRUE(window(1)->link().isOpen());
  EXPECT_TRUE(sink_.messages.empty());
}

// Stands in for the window's displays and runs a step of the test inside each record step.
class StepSink : public IRecordSink {
 public:
  std::function<void()> step;
  int records = 0;
  void recordStamped(const RecordStamp&) override {
    ++records;
    if (step) step();
  }
  int scopeRecord(std::span<const std::uint8_t>, const ConversionInputs&) override { return 0; }
  void logicRecord(std::span<const std::uint8_t>) override {}
  void voltmeterReading(const VoltmeterReplyRecord&, const VoltmeterValues&) override {}
  int loggerChunk(ModeCode, std::span<const std::uint8_t>) override { return 0; }
};

// The 2 s listing may run inside a window's record step, whose steps let events run. A device
// pulled and plugged back then is left to the window: the step goes on with the old link, its
// next call finds the handle dead, the run ends as for any loss and a later listing reconnects.
TEST_F(FrameHotplug, ListingInsideARecordStepLeavesThatWindowToItself) {
  TF_MultiTolvanexFrame& f = boot();
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Poll);
  TF_OneTolvanex* w = window(0);
  TAcquisition& a = w->acquisition();
  auto* soon = f.findChild<QTimer*>(QStringLiteral("TM_Relist"));
  ASSERT_NE(soon, nullptr);
  for (bool overlap : {false, true}) {
    SCOPED_TRACE(overlap);
    a.setOverlap(overlap);
    StepSink sink;
    w->setRecordSink(&sink);
    FtHandle during = 0;
    sink.step = [&] {
      const FtHandle before = w->link().handle();
      driver_->unplug(0);
      driver_->plug(0);
      fire(f.relistTimer());  // as if due in the events the step lets run
      EXPECT_FALSE(w->isLost());
      during = w->link().handle();
      EXPECT_EQ(during, before);
      // Once more from the step's own event runs, after the record has been handed over.
      QMetaObject::invokeMethod(f.relistTimer(), "timeout", Qt::QueuedConnection);
      sink.step = nullptr;
    };
    ASSERT_TRUE(scopeReady(0));
    ASSERT_TRUE(measuring(0));
    ASSERT_TRUE(stepUntil([&] { return w->isLost(); }, 5000));
    EXPECT_EQ(sink.records, 1);
    EXPECT_EQ(a.runState(), RunState::Idle);
    EXPECT_LT(a.queue().indexOfKind(kKindRun), 0);
    EXPECT_TRUE(soon->isActive());
    fire(soon);
    EXPECT_FALSE(w->isLost());
    EXPECT_NE(w->link().handle(), during);
    EXPECT_EQ(driver_->openHandles(), 3);
    EXPECT_GE(a.queue().indexOfKind(kKindSettingsWrite), 0);
    EXPECT_LT(a.queue().indexOfKind(kKindRun), 0);
    EXPECT_EQ(a.runState(), RunState::Idle);
    w->setRecordSink(nullptr);
  }
  EXPECT_TRUE(sink_.messages.empty());
}

// A listing inside a record step of a device that stays asks for no second listing: a run always
// has some window in its steps, and a listing 250 ms after each would load every transfer.
TEST_F(FrameHotplug, AListingInsideARecordStepOfAPresentDeviceAsksForNoOther) {
  TF_MultiTolvanexFrame& f = boot();
  f.startHotplugWatch(TF_MultiTolvanexFrame::HotplugWatch::Poll);
  TF_OneTolvanex* w = window(0);
  auto* soon = f.findChild<QTimer*>(QStringLiteral("TM_Relist"));
  ASSERT_NE(soon, nullptr);
  soon->stop();
  StepSink sink;
  w->setRecordSink(&sink);
  bool askedAgain = true;
  sink.step = [&] {
    fire(f.relistTimer());
    askedAgain = soon->isActive();
    sink.step = nullptr;
  };
  ASSERT_TRUE(scopeReady(0));
  ASSERT_TRUE(measuring(0));
  ASSERT_TRUE(stepUntil([&] { return sink.records > 0; }, 5000));
  EXPECT_FALSE(askedAgain);
  EXPECT_FALSE(w->isLost());
  w->setRecordSink(nullptr);
}

// A loss and a reconnect inside the record step, whatever brought them, end the continuous run
// as every loss does: the step does not queue the next run behind the reconnect.
TEST_F(FrameHotplug, LossInsideARecordStepEndsTheRunEvenWhenBackAtOnce) {
  boot();
  TF_OneTolvanex* w = window(1);
  TAcquisition& a = w->acquisition();
  for (bool overlap : {false, true}) {
    SCOPED_TRACE(overlap);
    a.setOverlap(overlap);
    StepSink sink;
    w->setRecordSink(&sink);
    sink.step = [&] {
      w->deviceGone(kFtIoError);
      EXPECT_EQ(w->reconnect(), 0);
      sink.step = nullptr;
    };
    ASSERT_TRUE(scopeReady(1));
    ASSERT_TRUE(measuring(1));
    ASSERT_TRUE(stepUntil([&] { return sink.records > 0; }, 5000));
    EXPECT_FALSE(w->isLost());
    EXPECT_EQ(a.runState(), RunState::Idle);
    EXPECT_LT(a.queue().indexOfKind(kKindRun), 0);
    EXPECT_GE(a.queue().indexOfKind(kKindSettingsWrite), 0);
    // The reconnect's commands go out, and still no run follows.
    for (int i = 0; i < 100; ++i) {
      clock_.advanceMs(5);
      QCoreApplication::processEvents();
    }
    EXPECT_FALSE(a.runInFlight());
    EXPECT_EQ(a.runState(), RunState::Idle);
    EXPECT_EQ(sink.records, 1);
    w->setRecordSink(nullptr);
  }
}

}  // namespace
}  // namespace tolv::testing
