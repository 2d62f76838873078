// Real records: the acquisition cycle against the simulated device, handing its records to the
// record layer, stepped on the manual clock.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <fstream>

#include "device/fake_device.h"
#include "ftdi/simulated_driver.h"
#include "measure/loggerstream.h"
#include "measure/snapshot.h"
#include "measure/textheader.h"
#include "measure_fakes.h"

using namespace tolv;
using namespace tolv::test;

namespace {

struct MeasureRig {
  MeasureRig(ManualClock& clk, IFtdiDriver& driver, const fs::path& folder)
      : clock(clk),
        hub(clock),
        followUp(hub.create(0)),
        accumulate(hub.create(0)),
        settings(hub.create(0)),
        closeTimer(hub.create(0)),
        link(driver),
        data(folder),
        acq(link, {followUp, accumulate, settings, closeTimer}, data, &host) {}
  ManualClock& clock;
  TManualTimerHub hub;
  TManualTimer& followUp;
  TManualTimer& accumulate;
  TManualTimer& settings;
  TManualTimer& closeTimer;
  TDeviceLink link;
  TMeasureData data;
  RecordingHost host;
  TAcquisition acq;
};

class SimRecords : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  ManualClock clock;
  // 23:59:59 on some day at the clock's start: records are stamped from the acquisition's clock.
  TDayClock dayClock{clock, DayTime{86399.0, 739000}};
  TSimulatedDriver sim{1, clock};
  MeasureRig rig{clock, sim, fs::path(dir.path().toStdString())};
  TAcquisition& acq = rig.acq;
  TMeasureData& data = rig.data;
  CallLog log;
  RecordingPresenter presenter{log};
  WindowOptions options;

  void SetUp() override {
    sim.setLinkRate({4096, 1000});
    rig.link.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    data.setPresenter(&presenter);
    data.setSnapshotSource([this] { return takeSnapshot(acq, options); });
    // 23:59:59 on some day, moving with the manual clock.
    data.setClock([this] { return dtAddSeconds(DayTime{86399.0, 739000}, clock.nowMs() / 1000.0); });
    acq.setDayClock(&dayClock);
    data.initNumbering();
    ASSERT_EQ(acq.open([](SettingsRecord&) { return 2; }), 2);
    advance(1500);
    ASSERT_EQ(acq.mode(), kModeOSA0);
  }
  void advance(std::int64_t ms) { rig.hub.advance(ms); }
  void selectMode(ModeCode m) {
    acq.selectMode(m);
    advance(1000);
    ASSERT_EQ(acq.mode(), m);
  }
  void setTimebase(float sampleTime, float depth, float triggerPoint = 10) {
    acq.desired().sampleTime = sampleTime;
    acq.desired().memoryDepth = depth;
    acq.desired().triggerPoint = triggerPoint;
    acq.requestSettingsWrite();
    advance(1000);
    ASSERT_EQ(acq.storedReply().memoryDepth, depth);
  }
};

}  // namespace

TEST_F(SimRecords, ScopeRecordFromTheDevice) {
  setTimebase(1e-4f, 10000, 10);
  options.makeIntermediateFiles = false;
  acq.setSingleShot(true);
  NoticeReceiver multi;
  data.registerMulti(&multi, 0);
  const std::int64_t before = clock.nowMs();
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return data.sampleCount() > 0; }, 5000));
  const std::int64_t received = clock.nowMs();
  advance(500);
  ASSERT_EQ(data.sampleCount(), 10000);
  EXPECT_EQ(data.postTrigger(), 9000);
  // The trigger moment: the post-trigger time (0.9 s) and the record's transfer before its last
  // byte came, past midnight back into the first day. The last byte came at or before the tick
  // that took the record in.
  const DayTime processed = dtAddSeconds(DayTime{86399.0, 739000}, received / 1000.0);
  const RecordStamp& stamp = acq.lastStamp();
  EXPECT_GT(stamp.transfer, 0.0);
  EXPECT_NEAR(dtDiffSeconds(stamp.received, data.measurementTime()), 0.9 + stamp.transfer, 1e-6);
  EXPECT_GE(dtDiffSeconds(processed, stamp.received), 0.0);
  EXPECT_LT(dtDiffSeconds(processed, stamp.received), 0.25);
  EXPECT_GT(received, before);
  // A sine within the range on channel 0, mirrored into the plot array.
  float lo = 1e9f, hi = -1e9f;
  for (int i = 0; i < data.sampleCount(); ++i) {
    lo = std::min(lo, data.scopeSamples()[i].ch0);
    hi = std::max(hi, data.scopeSamples()[i].ch0);
    ASSERT_EQ(data.plotChannel0()[i], double(data.scopeSamples()[i].ch0));
  }
  EXPECT_LT(lo, hi);
  EXPECT_EQ(data.recordSettings().mode, kModeOSA0);
  EXPECT_DOUBLE_EQ(data.recordSettings().sampleTime, 0.0001);
  EXPECT_TRUE(data.recordSettings().singleShot);  // the cycle's own state, not the option copy
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "plotScope"), 1);
  QCoreApplication::sendPostedEvents(&multi);
  ASSERT_EQ(multi.notices.size(), 1u);
  EXPECT_EQ(multi.notices[0].sampleCount, 10000);
  EXPECT_EQ(multi.notices[0].postTrigger, 9000);
}

TEST_F(SimRecords, LogicAnalyserAndVoltmeterRecords) {
  selectMode(kModeLAIO);
  setTimebase(1e-6f, 1000);
  acq.setSingleShot(true);
  acq.runClicked();
  advance(2000);
  EXPECT_EQ(data.logicList().count(), 1000);
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "plotLogic"), 1);

  selectMode(kModeVMA1);
  acq.runClicked();
  advance(1000);
  acq.stopClicked();
  advance(500);
  EXPECT_GT(data.chartList().Count(), 2);
  EXPECT_EQ(data.voltageUnit(), QStringLiteral("V RMS"));
  EXPECT_EQ(presenter.unit, QStringLiteral("V RMS"));
  EXPECT_TRUE(std::isfinite(data.voltage(0)));
}

TEST_F(SimRecords, AnalogLoggerRunLandsInItsStreamFile) {
  selectMode(kModeDLA0);
  setTimebase(1e-3f, 10000);
  acq.runClicked();
  advance(1000);
  const fs::path file = data.loggerStream().fileName();
  ASSERT_FALSE(file.empty());
  EXPECT_TRUE(data.loggerStream().isOpen());
  const auto midRun = fs::file_size(file);
  EXPECT_GT(midRun, 400u);  // on disk while the run goes on
  acq.stopClicked();
  advance(500);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_FALSE(data.loggerStream().isOpen());
  EXPECT_EQ(presenter.analogFile, file);
  // Every byte, the end marker last.
  std::ifstream in(file, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 16u);
  EXPECT_EQ(bytes.size(), data.loggerStream().bytesWritten());
  EXPECT_TRUE(std::equal(std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker),
                         reinterpret_cast<const std::uint8_t*>(bytes.data()) + bytes.size() - 16));
  AnalogLoggerStream s;
  ASSERT_EQ(loadAnalogLoggerStream(file, s), 0);
  EXPECT_EQ(s.header.mode, kModeDLA0);
  EXPECT_DOUBLE_EQ(s.sampleTime(), 0.001);
  // Every sample the device sent before its end marker, the last one too.
  EXPECT_EQ(s.sampleCount(), (bytes.size() - 16) / 4);
  ASSERT_GT(s.sampleCount(), 0u);
  const auto* last = reinterpret_cast<const std::uint8_t*>(bytes.data()) + bytes.size() - 20;
  EXPECT_EQ(s.raw0.back(), last[0] | (last[1] << 8));
  EXPECT_EQ(s.raw1.back(), last[2] | (last[3] << 8));
}
