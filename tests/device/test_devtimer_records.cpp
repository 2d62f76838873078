// Timers (Qt and hand-stepped) and the minimal record sink's logger files.
#include <gtest/gtest.h>

#include <QTest>

#include "device/devtimer.h"
#include "device/records.h"
#include "wire/wire.h"
#include "fake_device.h"

using namespace tolv;

TEST(DevTimer, QtTimerCallsItsHandler) {
  TQtTimer t(5);
  int fired = 0;
  t.setHandler([&] {
    ++fired;
    t.stop();  // as every handler does first
  });
  t.enable();
  EXPECT_TRUE(t.isActive());
  EXPECT_TRUE(QTest::qWaitFor([&] { return fired > 0; }, 2000));
  QTest::qWait(30);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(t.isActive());
}

TEST(DevTimer, ManualTimersFireInDueOrderAndEnableKeepsARunningTimer) {
  ManualClock clock;
  TManualTimerHub hub(clock);
  TManualTimer& a = hub.create(100);
  TManualTimer& b = hub.create(30);
  std::vector<std::pair<char, std::int64_t>> log;
  a.setHandler([&] { log.emplace_back('a', clock.nowMs()); });
  b.setHandler([&] {
    log.emplace_back('b', clock.nowMs());
    b.stop();
  });
  a.start();
  b.start();
  hub.advance(50);
  a.enable();  // already running: its due time stays at 100
  hub.advance(60);
  EXPECT_EQ(log, (std::vector<std::pair<char, std::int64_t>>{{'b', 30}, {'a', 100}}));
  a.setInterval(10);  // a changed interval counts anew from now
  hub.advance(10);
  EXPECT_EQ(log.back(), (std::pair<char, std::int64_t>{'a', 120}));
}

TEST(RecordSink, LoggerRunsGoToNumberedFiles) {
  const auto dir = std::filesystem::temp_directory_path() / "tolv_sink_test";
  std::filesystem::remove_all(dir);
  TLastRecordSink sink(dir);
  const std::uint8_t chunk[6] = {1, 2, 3, 4, 5, 6};
  sink.loggerRunStarted(kModeDLA0);
  EXPECT_EQ(sink.loggerChunk(kModeDLA0, chunk), 0);
  EXPECT_EQ(sink.loggerChunk(kModeDLA0, {kEndMarker.data(), kEndMarker.size()}), 0);
  sink.loggerRunEnded(kModeDLA0);
  sink.loggerRunStarted(kModeDLA0);
  sink.loggerRunEnded(kModeDLA0);
  const auto first = dir / "Intermediate_DLA0" / "Intermediate_DLA0_001.FIL";
  EXPECT_EQ(std::filesystem::file_size(first), 22u);
  EXPECT_EQ(sink.loggerFile.filename(), "Intermediate_DLA0_002.FIL");
  std::filesystem::remove_all(dir);
}

// The cycle on real QTimers, as the window runs it: a fresh device gets its mode confirmed.
TEST(DevTimer, AcquisitionRunsOnQtTimers) {
  ManualClock clock;  // replies are delivered at once, so the fake needs no time
  test::FakeDriver drv(clock);
  drv.onWrite = [&](const test::Bytes& b) {
    if (classifyCommand(b.data(), b.size()) == WireCommand::SetMode)
      drv.deliver(test::Bytes(b.begin() + 4, b.end()));
  };
  TDeviceLink link(drv);
  TLastRecordSink sink;
  TQtAcquisitionTimers timers;
  TAcquisition acq(link, timers.refs(), sink);
  acq.open([](SettingsRecord&) { return 2; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return acq.mode() == kModeOSA0; }, 5000));
  EXPECT_TRUE(acq.runEnabled());
  EXPECT_TRUE(timers.followUp.isActive());
}
