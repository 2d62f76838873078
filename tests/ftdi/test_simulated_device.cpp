#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <set>

#include "wire/wire.h"
#include "ftdi/driver_factory.h"
#include "ftdi/simulated_driver.h"

namespace tolv {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The program's side of one simulated device, through the driver calls only.
struct SimFixture : ::testing::Test {
  ManualClock clock;
  TSimulatedDriver sim{1, clock};
  FtHandle h = nullptr;

  void SetUp() override { ASSERT_EQ(sim.openBySerial("TVS00001", h), kFtOk); }
  TSimulatedDevice& dev() { return sim.device(0); }

  void send(const Bytes& b) {
    std::uint32_t written = 0;
    ASSERT_EQ(sim.write(h, b.data(), std::uint32_t(b.size()), written), kFtOk);
    ASSERT_EQ(written, b.size());
  }
  void sendWords(std::initializer_list<std::uint32_t> words) {
    Bytes b;
    for (auto w : words) {
      b.resize(b.size() + 4);
      putU32(b.data() + b.size() - 4, w);
    }
    send(b);
  }
  std::uint32_t queued() {
    std::uint32_t n = 0;
    EXPECT_EQ(sim.getQueueStatus(h, n), kFtOk);
    return n;
  }
  Bytes readAll() {
    Bytes b(queued());
    std::uint32_t got = 0;
    EXPECT_EQ(sim.read(h, b.data(), std::uint32_t(b.size()), got), kFtOk);
    b.resize(got);
    return b;
  }
  void writeSettings(const SettingsWriteBlock& blk) {
    const auto bytes = blk.toBytes();
    send(Bytes(bytes.begin(), bytes.end()));
  }
  SettingsWriteBlock defaults() {
    SettingsWriteBlock b;
    b.amplC0 = 10;
    b.amplC1 = 10;
    b.sampleTime = 1e-5f;
    b.memoryDepth = 1000;
    b.triggerPoint = 50;
    b.triggerType = 'T';
    b.levelUpper = 0.5f;
    b.levelLower = -0.5f;
    return b;
  }
};

TEST_F(SimFixture, IdentificationArrivesAfterLatencyWithCrLf) {
  sendWords({kWordIdnFirst, kWordIdnSecond});
  EXPECT_EQ(queued(), 0u);  // the device needs a moment
  clock.advanceUs(2000 + 1000);
  EXPECT_EQ(queued(), 31u);  // 32 bytes at 4 bytes per 127 us take 1016 us
  clock.advanceUs(16);
  EXPECT_EQ(queued(), 32u);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), 32u);
  const std::string text(b.begin(), b.end());
  EXPECT_NE(text.find("\r\n"), std::string::npos);
  std::string id;
  ASSERT_TRUE(decodeIdentificationReply(b.data(), b.size(), id));
  EXPECT_EQ(id, "Tolvanex Scope 1 (simulated)");
}

TEST_F(SimFixture, SettingsWriteKeepsValuesSnapsRangesAndReportsCorrections) {
  SettingsWriteBlock blk = defaults();
  blk.amplC0 = 3.0f;  // between 2 and 5
  blk.amplC1 = 50.0f;
  blk.offsC0 = 1.25f;
  blk.sampleTime = 2e-4f;
  blk.memoryDepth = 5000;
  blk.triggerPoint = 20;
  blk.trigger = TriggerWord{1, 0x81, 0x01, 0x80};
  blk.triggerType = 'W';
  blk.gpioData = 0xFF00FF;
  blk.gpioDirection = 0x0000F0;
  writeSettings(blk);
  clock.advanceMs(20);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), SettingsReply::kSize);
  const SettingsReply r = SettingsReply::decode(b.data());
  EXPECT_FLOAT_EQ(r.amplC0, 5.0f);
  EXPECT_FLOAT_EQ(r.amplC1, 20.0f);
  EXPECT_FLOAT_EQ(r.offsC0, 1.25f);
  EXPECT_FLOAT_EQ(r.sampleTime, 2e-4f);
  EXPECT_FLOAT_EQ(r.memoryDepth, 5000.0f);
  EXPECT_FLOAT_EQ(r.triggerPoint, 20.0f);
  EXPECT_EQ(r.trigger, (TriggerWord{1, 0x81, 0x01, 0x80}));
  EXPECT_EQ(r.triggerType, std::uint32_t('W'));
  EXPECT_EQ(r.gpioDirection, 0xF0u);
  EXPECT_EQ(r.gpioData, 0xF0u);  // only output lines read back high
  EXPECT_LE(std::abs(r.zeroCorrC0), 0.011f);
  EXPECT_LE(std::abs(r.zeroCorrC1), 0.011f);
  // "*SRd" reports the same settings.
  sendWords({kWordSRd});
  clock.advanceMs(20);
  const Bytes again = readAll();
  ASSERT_EQ(again.size(), 60u);
  EXPECT_EQ(again, b);
}

TEST_F(SimFixture, NonsenseSettingsAreBoundedNotTakenOver) {
  SettingsWriteBlock blk = defaults();
  blk.amplC0 = std::nanf("");
  blk.sampleTime = -1;
  blk.memoryDepth = 1e9f;
  blk.triggerPoint = 400;
  blk.triggerType = 'Q';
  writeSettings(blk);
  clock.advanceMs(20);
  const SettingsReply r = SettingsReply::decode(readAll().data());
  EXPECT_FLOAT_EQ(r.amplC0, 10.0f);
  EXPECT_FLOAT_EQ(r.sampleTime, 1e-5f);
  EXPECT_FLOAT_EQ(r.memoryDepth, 262000.0f);
  EXPECT_FLOAT_EQ(r.triggerPoint, 100.0f);
  EXPECT_EQ(r.triggerType, std::uint32_t('T'));
}

TEST_F(SimFixture, ModeReplyInWireOrderAndUnknownModeKeepsCurrent) {
  sendWords({kWordSMd, kModeLAIO});
  clock.advanceMs(5);
  EXPECT_EQ(readAll(), (Bytes{0x4F, 0x49, 0x41, 0x4C}));
  sendWords({kWordSMd, modeCode("ABCD")});
  clock.advanceMs(5);
  EXPECT_EQ(readAll(), (Bytes{0x4F, 0x49, 0x41, 0x4C}));
  EXPECT_EQ(dev().mode(), kModeLAIO);
}

TEST_F(SimFixture, IoWordSetsLinesAndRepliesBothWords) {
  sendWords({kWordIOW, 0x12345, kIowLineMask});
  clock.advanceMs(5);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), 8u);
  const IoReply r = IoReply::decode(b.data());
  EXPECT_EQ(r.gpioData, 0x12345u);
  EXPECT_EQ(r.gpioDirection, kIowLineMask);
}

TEST_F(SimFixture, VoltmeterModesAnswerEightBytes) {
  for (ModeCode m : {kModeVMD0, kModeVMA0, kModeVMD1, kModeVMA1}) {
    sendWords({kWordSMd, m});
    clock.advanceMs(5);
    readAll();
    sendWords({kWordRUN});
    clock.advanceMs(10);
    EXPECT_EQ(queued(), 0u) << "still measuring";
    clock.advanceMs(15);
    const Bytes b = readAll();
    ASSERT_EQ(b.size(), 8u);
    if (isVoltmeterFloatMode(m)) {
      float c0 = 0, c1 = 0;
      decodeVoltmeterFloat(b.data(), c0, c1);
      EXPECT_GT(c0, 0.5f);
      EXPECT_LT(c0, 5.0f);  // inside the +-5 V of the 10 V range
    } else {
      std::uint32_t r0 = 0, r1 = 0;
      decodeVoltmeterRaw(b.data(), r0, r1);
      EXPECT_GT(r0, 32768u);
      EXPECT_LE(r0, 65535u);
      if (m == kModeVMD1) {
        EXPECT_LT(r1, 32768u);  // a negative DC voltage
      }
    }
  }
}

TEST_F(SimFixture, ScopeRunMeasuresThenArrivesAtLinkRate) {
  writeSettings(defaults());  // 1000 samples of 10 us: 10 ms to measure, 4000 bytes
  clock.advanceMs(20);
  readAll();
  sendWords({kWordRUN});
  clock.advanceMs(9);
  EXPECT_EQ(queued(), 0u);
  clock.advanceMs(3);  // 12 ms: measured + latency, ~0 ms of transfer
  EXPECT_LT(queued(), 4000u);
  clock.advanceMs(60);  // half-way through the 127 ms the link needs for 4000 bytes
  const std::uint32_t mid = queued();
  EXPECT_GT(mid, 1500u);
  EXPECT_LT(mid, 2500u);
  clock.advanceMs(100);
  EXPECT_EQ(queued(), 4000u);
  EXPECT_FALSE(dev().measuring());
}

TEST_F(SimFixture, TriggeredScopeRecordsAreStableAndCrossTheLevelAtTheTriggerPoint) {
  sim.setLinkRate(LinkRate::instant());
  writeSettings(defaults());
  clock.advanceMs(20);
  readAll();
  auto c0Of = [](const Bytes& b, int k) {
    std::uint16_t c0 = 0, c1 = 0;
    decodeScopeSample(b.data() + k * 4, c0, c1);
    return int(c0);
  };
  // The default sine (2.5 V, about 1 kHz) moves at most this far between two 10 us samples.
  const int maxStep = int(2.5 * 2 * std::numbers::pi * 1150 * 1e-5 * 65536 / 10) + 1;
  Bytes first;
  for (int run = 0; run < 2; ++run) {
    sendWords({kWordRUN});
    clock.advanceMs(37 + run * 11);
    const Bytes b = readAll();
    ASSERT_EQ(b.size(), 4000u);
    if (run == 0) {
      first = b;
      continue;
    }
    // Triggered runs start at other moments but show the same picture, give or take the
    // sample the crossing falls between.
    int worst = 0;
    for (int k = 0; k < 1000; ++k) worst = std::max(worst, std::abs(c0Of(b, k) - c0Of(first, k)));
    EXPECT_LE(worst, maxStep);
  }
  // Channel 0 rises through 0.5 V between samples 499 and 500 (trigger point 50 %).
  auto volts = [&](int k) { return (c0Of(first, k) / 32768.0 - 1.0) * 10.0 / 2.0; };
  EXPECT_LT(volts(499), 0.5);
  EXPECT_GE(volts(500), 0.5 - 10.0 / 65536);
  EXPECT_LE(volts(500), 0.5 + maxStep * 10.0 / 65536);
  EXPECT_GT(volts(501), volts(499));
  // The sine stays inside the range; channel 1 is a two-level square wave.
  std::set<std::uint16_t> ch1;
  for (int k = 0; k < 1000; ++k) {
    std::uint16_t c0 = 0, c1 = 0;
    decodeScopeSample(first.data() + k * 4, c0, c1);
    EXPECT_GT(c0, 1000);
    EXPECT_LT(c0, 64535);
    ch1.insert(c1);
  }
  EXPECT_EQ(ch1.size(), 2u);
}

TEST_F(SimFixture, LogicAnalyserRecordHonoursPatternTrigger) {
  sim.setLinkRate(LinkRate::instant());
  sendWords({kWordSMd, kModeLAIO});
  SettingsWriteBlock blk = defaults();
  blk.memoryDepth = 101;  // odd: the last sample fills half a group
  blk.triggerType = 'P';
  blk.trigger = TriggerWord{0, 0x06, 0x02, 0x06};  // line 1 rising while line 2 is high
  writeSettings(blk);
  clock.advanceMs(20);
  readAll();
  sendWords({kWordRUN});
  clock.advanceMs(20);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), 202u);
  std::vector<std::uint16_t> s;
  for (std::size_t i = 0; i + 4 <= b.size(); i += 4) {
    std::uint16_t e = 0, l = 0;
    decodeLogicGroup(b.data() + i, e, l);
    s.push_back(e);
    s.push_back(l);
  }
  s.push_back(getU16(b.data() + 200));
  const int npre = 51;  // round(101 * 0.5)
  EXPECT_EQ(s[npre] & 0x6, 0x6);
  EXPECT_EQ(s[npre - 1] & 0x2, 0);
  for (std::size_t k = 1; k < s.size(); ++k) EXPECT_EQ(s[k] & 0xFF, (s[k - 1] + 1) & 0xFF);
}

TEST_F(SimFixture, LoggerStreamsUntilStopThenSendsEndMarker) {
  sim.setLinkRate(LinkRate::instant());
  sendWords({kWordSMd, kModeDLA0});
  SettingsWriteBlock blk = defaults();
  blk.sampleTime = 1e-4f;
  writeSettings(blk);
  clock.advanceMs(20);
  readAll();
  sendWords({kWordRUN});
  clock.advanceMs(10);
  EXPECT_EQ(queued(), 400u);  // 100 samples of 4 bytes
  const Bytes head = readAll();
  clock.advanceUs(250);
  EXPECT_EQ(queued(), 8u);
  EXPECT_TRUE(dev().logging());
  sendWords({kWordZZZZ});
  clock.advanceMs(5);
  const Bytes tail = readAll();
  ASSERT_GE(tail.size(), 24u);
  EXPECT_TRUE(std::equal(kEndMarker.begin(), kEndMarker.end(), tail.end() - 16));
  EndMarkerDetector det;
  EXPECT_FALSE(det.feed(head.data(), head.size()));
  EXPECT_TRUE(det.feed(tail.data(), tail.size()));
  clock.advanceMs(100);
  EXPECT_EQ(queued(), 0u);
  EXPECT_FALSE(dev().logging());
}

TEST_F(SimFixture, IoLoggerStreamAtLinkRateWhenSampleTimeIsShorter) {
  sendWords({kWordSMd, kModeDLDI});
  SettingsWriteBlock blk = defaults();
  blk.sampleTime = 1e-6f;  // faster than the link's 127 us per sample
  writeSettings(blk);
  clock.advanceMs(20);
  readAll();
  sendWords({kWordRUN});
  clock.advanceUs(127 * 50);
  EXPECT_EQ(queued(), 200u);
  sendWords({kWordZZZZ});
  clock.advanceMs(5);
  const Bytes b = readAll();
  EXPECT_TRUE(std::equal(kEndMarker.begin(), kEndMarker.end(), b.end() - 16));
}

TEST_F(SimFixture, StopWhileMeasuringStillDeliversTheRecord) {
  writeSettings(defaults());
  clock.advanceMs(20);
  readAll();
  sendWords({kWordRUN});
  clock.advanceMs(5);
  sendWords({kWordZZZZ});
  EXPECT_FALSE(dev().measuring());
  clock.advanceMs(500);
  EXPECT_EQ(queued(), 4000u);  // 1000 samples of 4 bytes: the program drops them itself
}

TEST_F(SimFixture, CommandsSplitOverWritesAndNoiseAreHandled) {
  send({0x01, 0x02, 0x2A, 0x53});  // noise, then half a "*SMd"
  send({0x4D, 0x64, 0x30, 0x41});
  send({0x53, 0x4F});
  clock.advanceMs(5);
  EXPECT_EQ(readAll(), (Bytes{0x30, 0x41, 0x53, 0x4F}));
  EXPECT_EQ(dev().commandCount(), 1u);
}

TEST_F(SimFixture, InjectedFaults) {
  // Silence: commands are taken, nothing comes back.
  dev().setSilent(true);
  sendWords({kWordSRd});
  clock.advanceMs(50);
  EXPECT_EQ(queued(), 0u);
  dev().setSilent(false);
  // Garbage: readable at once.
  dev().injectGarbage(13);
  EXPECT_EQ(readAll().size(), 13u);
  // Extra bytes after each record.
  sim.setLinkRate(LinkRate::instant());
  writeSettings(defaults());
  clock.advanceMs(5);
  readAll();
  dev().setExtraBytesAfterRecord(6);
  sendWords({kWordRUN});
  clock.advanceMs(30);
  EXPECT_EQ(queued(), 4006u);
  readAll();
  // A status on the next call of one kind, once.
  sim.failNext(TSimulatedDriver::Call::QueueStatus, kFtIoError);
  std::uint32_t n = 0;
  EXPECT_EQ(sim.getQueueStatus(h, n), kFtIoError);
  EXPECT_EQ(sim.getQueueStatus(h, n), kFtOk);
  // A queue above the receive buffer.
  dev().injectGarbage(524001 + 99);
  EXPECT_EQ(queued(), 524100u);
  // Unplugged: every call fails, a new open finds no device.
  sim.disconnect(0, kFtDeviceNotFound);
  std::uint32_t w = 0;
  const std::uint8_t stop[4] = {'Z', 'Z', 'Z', 'Z'};
  EXPECT_EQ(sim.write(h, stop, 4, w), kFtDeviceNotFound);
  EXPECT_EQ(sim.read(h, nullptr, 0, w), kFtDeviceNotFound);
  EXPECT_EQ(sim.purge(h, kFtPurgeRx), kFtDeviceNotFound);
}

TEST(SimulatedDriver, DistinctSerialsOtherDevicesSilentAndHandlesChecked) {
  ManualClock clock;
  TSimulatedDriver sim(3, clock);
  sim.addDevice("OTHER1", "USB Serial Converter", false);
  std::set<std::string> serials;
  for (std::uint32_t i = 0; i < 4; ++i) {
    char buf[64] = {};
    ASSERT_EQ(sim.listSerial(i, buf, sizeof buf), kFtOk);
    serials.insert(buf);
  }
  EXPECT_EQ(serials.size(), 4u);
  char buf[64];
  EXPECT_EQ(sim.listSerial(4, buf, sizeof buf), kFtDeviceNotFound);
  FtHandle h = nullptr;
  FtHandle h2 = nullptr;
  ASSERT_EQ(sim.openBySerial("OTHER1", h), kFtOk);
  EXPECT_EQ(sim.openBySerial("OTHER1", h2), kFtDeviceNotOpened);
  std::uint32_t n = 0;
  const std::uint8_t srd[4] = {0x2A, 0x53, 0x52, 0x64};
  EXPECT_EQ(sim.write(h, srd, 4, n), kFtOk);
  clock.advanceMs(100);
  EXPECT_EQ(sim.getQueueStatus(h, n), kFtOk);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(sim.close(h), kFtOk);
  EXPECT_EQ(sim.getQueueStatus(h, n), kFtInvalidHandle);
  EXPECT_EQ(sim.close(h), kFtInvalidHandle);
  EXPECT_EQ(sim.getQueueStatus(reinterpret_cast<FtHandle>(0x9999), n), kFtInvalidHandle);
}

TEST(SimulatedDriver, FactoryTracesCommandsAndReplies) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("tolv_ftdi_trace_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  ManualClock clock;
  {
    auto drv = makeDriver(2, clock, dir);
    FtHandle h = nullptr;
    ASSERT_EQ(drv->openBySerial("TVS00002", h), kFtOk);
    std::uint32_t n = 0;
    const std::uint8_t srd[4] = {0x2A, 0x53, 0x52, 0x64};
    clock.advanceMs(1234);
    ASSERT_EQ(drv->write(h, srd, 4, n), kFtOk);
    // 2 ms latency and 60 bytes at 4 per 127 us: readable in full at 1237.905 ms.
    clock.advanceUs(3904);
    ASSERT_EQ(drv->getQueueStatus(h, n), kFtOk);
    EXPECT_EQ(n, 59u);
    clock.advanceUs(1);
    ASSERT_EQ(drv->getQueueStatus(h, n), kFtOk);
    EXPECT_EQ(n, 60u);
  }
  std::ifstream f(dir / "TVS00002.trace");
  ASSERT_TRUE(f.good());
  std::string l1, l2;
  std::getline(f, l1);
  std::getline(f, l2);
  EXPECT_EQ(l1, "1234 in 4 2A 53 52 64");
  EXPECT_EQ(l2.rfind("1237 out 60 ", 0), 0u);
  EXPECT_EQ(l2.size(), std::string("1237 out 60").size() + 60 * 3);
  EXPECT_FALSE(std::filesystem::exists(dir / "TVS00001.trace"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tolv
