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
  blk.sampleTime = 1e-6f;  // faster than the link's 127 us per sample: its next step, 200 us
  writeSettings(blk);
  clock.advanceMs(20);
  readAll();
  sendWords({kWordRUN});
  clock.advanceUs(200 * 50 - 1);
  EXPECT_EQ(queued(), 196u);
  clock.advanceUs(1);
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

// --- The physical inputs -------------------------------------------------------------------

// A scope device on an instant link with the given input on channel 0.
struct InputFixture : SimFixture {
  void SetUp() override {
    SimFixture::SetUp();
    sim.setLinkRate(LinkRate::instant());
  }
  void setMode(ModeCode m) {
    sendWords({kWordSMd, m});
    clock.advanceMs(5);
    readAll();
  }
  SettingsReply apply(const SettingsWriteBlock& blk) {
    writeSettings(blk);
    clock.advanceMs(5);
    const Bytes b = readAll();
    EXPECT_EQ(b.size(), SettingsReply::kSize);
    return b.size() == SettingsReply::kSize ? SettingsReply::decode(b.data()) : SettingsReply{};
  }
  // Channel 0 of a record, in raw values; waits at most maxMs.
  std::vector<std::uint16_t> record(std::int64_t maxMs = 2000) {
    const std::uint32_t want = std::uint32_t(dev().settings().memoryDepth) * 4;
    sendWords({kWordRUN});
    for (std::int64_t t = 0; t < maxMs && queued() < want; ++t) clock.advanceMs(1);
    const Bytes b = readAll();
    std::vector<std::uint16_t> c0;
    for (std::size_t i = 0; i + 4 <= b.size(); i += 4) {
      std::uint16_t a = 0, c = 0;
      decodeScopeSample(b.data() + i, a, c);
      c0.push_back(a);
    }
    return c0;
  }
  static double volts(std::uint16_t raw, double ampl, double offs) {
    return (raw / 32768.0 - 1.0) * ampl / 2 + offs;
  }
};

TEST_F(InputFixture, RangeAndOffsetChangeTheRawValuesOfTheSameInput) {
  dev().setInput(0, TSimulatedSignal::dc(1.234));
  dev().setInput(1, TSimulatedSignal::dc(-4.0));
  struct Case {
    float ampl, offs;
    std::uint16_t raw0, raw1;
  };
  // Channel 1 shares the range and offset: -4 V fits only the widest settings.
  for (const Case& c : {Case{10, 0, 40855, 6554}, Case{2, 1, 40436, 0}, Case{0.2f, 1.2f, 43909, 0},
                        Case{20, -7, 59749, 42598}, Case{2, 0, 65535, 0}}) {
    SCOPED_TRACE(c.ampl);
    SettingsWriteBlock blk = defaults();
    blk.amplC0 = blk.amplC1 = c.ampl;
    blk.offsC0 = blk.offsC1 = c.offs;
    blk.triggerType = 'M';
    apply(blk);
    sendWords({kWordRUN});
    clock.advanceMs(20);
    const Bytes b = readAll();
    ASSERT_EQ(b.size(), 4000u);
    for (std::size_t i = 0; i < b.size(); i += 4) {
      std::uint16_t r0 = 0, r1 = 0;
      decodeScopeSample(b.data() + i, r0, r1);
      ASSERT_EQ(r0, c.raw0);
      ASSERT_EQ(r1, c.raw1);
    }
  }
}

TEST_F(InputFixture, TwoDevicesWithTheSameSettingsRecordDifferentSignals) {
  TSimulatedDriver two(2, clock);
  two.setLinkRate(LinkRate::instant());
  std::vector<Bytes> records;
  for (int i = 1; i <= 2; ++i) {
    FtHandle hd = nullptr;
    ASSERT_EQ(two.openBySerial(TSimulatedDriver::serialFor(i).c_str(), hd), kFtOk);
    std::uint32_t n = 0;
    SettingsWriteBlock blk = defaults();
    blk.triggerType = 'M';
    const auto w = blk.toBytes();
    ASSERT_EQ(two.write(hd, w.data(), 56, n), kFtOk);
    const std::uint8_t run[4] = {0x2A, 0x52, 0x55, 0x4E};
    ASSERT_EQ(two.write(hd, run, 4, n), kFtOk);
    records.emplace_back();
  }
  clock.advanceMs(50);
  for (int i = 0; i < 2; ++i) {
    FtHandle hd = reinterpret_cast<FtHandle>(std::uintptr_t(i + 1));
    std::uint32_t n = 0, got = 0;
    ASSERT_EQ(two.getQueueStatus(hd, n), kFtOk);
    ASSERT_EQ(n, 60u + 4000u);
    records[std::size_t(i)].resize(n);
    ASSERT_EQ(two.read(hd, records[std::size_t(i)].data(), n, got), kFtOk);
  }
  // Both measured the same 10 ms, each its own signals.
  int differ = 0;
  for (std::size_t k = 60; k < 4060; k += 4) {
    differ += getU16(records[0].data() + k + 2) != getU16(records[1].data() + k + 2);
  }
  EXPECT_GT(differ, 900);
}

TEST_F(InputFixture, EachTriggerTypeFiresWhereTheInputMeetsItsCondition) {
  // 4 V sine of 1 kHz in the 20 V range: one raw step is 0.3 mV, one sample 10 us.
  dev().setInput(0, TSimulatedSignal::sine(4.0, 1000.0));
  const double step = 20.0 / 65536;
  struct Case {
    char type;
    float upper, lower;
  };
  for (const Case& c : {Case{'T', 1, -1}, Case{'t', 1, -1}, Case{'W', 3, 1}, Case{'w', 3, 1},
                        Case{'W', 1, 3}, Case{'E', 1, -1}, Case{'e', 1, -1}, Case{'D', 20, 0},
                        Case{'d', 20, 0}}) {
    SCOPED_TRACE(std::string(1, c.type) + " " + std::to_string(c.upper));
    SettingsWriteBlock blk = defaults();
    blk.amplC0 = 20;
    blk.triggerType = std::uint8_t(c.type);
    blk.levelUpper = c.upper;
    blk.levelLower = c.lower;
    apply(blk);
    const auto r = record();
    ASSERT_EQ(r.size(), 1000u);
    const double prev = volts(r[499], 20, 0);
    const double cur = volts(r[500], 20, 0);
    const double lo = std::min(c.upper, c.lower), hi = std::max(c.upper, c.lower);
    auto inside = [&](double v) { return v >= lo - step && v <= hi + step; };
    switch (c.type) {
      case 'T':
      case 'E':
        EXPECT_LT(prev, c.upper + step);
        EXPECT_GE(cur, c.upper - step);
        break;
      case 't':
      case 'e':
        EXPECT_GT(prev, c.lower - step);
        EXPECT_LE(cur, c.lower + step);
        break;
      case 'W':
        EXPECT_FALSE(inside(prev) && prev > lo + step && prev < hi - step);
        EXPECT_TRUE(inside(cur));
        break;
      case 'w':
        EXPECT_TRUE(inside(prev));
        EXPECT_FALSE(cur > lo + step && cur < hi - step);
        break;
      case 'D':  // 20 V/ms reached from below; the sine's steepest is 25 V/ms
        EXPECT_GE((cur - prev) / 0.01, 20.0 - 0.1);
        EXPECT_LT((prev - volts(r[498], 20, 0)) / 0.01, 20.0 + 0.1);
        break;
      case 'd':
        EXPECT_LE((cur - prev) / 0.01, -20.0 + 0.1);
        EXPECT_GT((prev - volts(r[498], 20, 0)) / 0.01, -20.0 - 0.1);
        break;
    }
  }
}

TEST_F(InputFixture, ATriggerThatNeverComesWaitsUntilStopThenTheMemoryIsSent) {
  // A level the sine never reaches, then a constant input: the device keeps waiting.
  dev().setInput(0, TSimulatedSignal::sine(1.0, 1000.0));
  SettingsWriteBlock blk = defaults();
  blk.levelUpper = 1.5f;
  apply(blk);
  sendWords({kWordRUN});
  clock.advanceMs(3000);
  EXPECT_EQ(queued(), 0u);
  EXPECT_TRUE(dev().waitingForTrigger());
  dev().setInput(0, TSimulatedSignal::ramp(-4.0, 4.0, 1.0, 3.0));  // 8 V/s from -4 V at 3 s
  clock.advanceMs(500);  // the ramp passes 1.5 V at 3.6875 s
  EXPECT_EQ(queued(), 0u);
  EXPECT_TRUE(dev().measuring());
  sendWords({kWordZZZZ});
  EXPECT_FALSE(dev().measuring());
  clock.advanceMs(1);
  EXPECT_EQ(queued(), 0u);  // the reply latency
  clock.advanceMs(2);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), 4000u);
  // The last memory-depth samples before the stop: the run began at 5 ms, so the last one
  // is the sample at 3.505 s, where the ramp is at 0.04 V, and the first 9.99 ms earlier.
  auto v = [&](int k) { return volts(getU16(b.data() + k * 4 + 2), 10, 0); };
  EXPECT_NEAR(v(999), 0.04, 2e-4);
  EXPECT_NEAR(v(0), 0.04 - 8.0 * 0.00999, 2e-4);
  clock.advanceMs(1000);
  EXPECT_EQ(queued(), 0u);
}

TEST_F(InputFixture, ExternalInputTriggersXAndxAndAModeChangeDropsAWaitingRun) {
  SettingsWriteBlock blk = defaults();
  blk.triggerType = 'X';
  dev().setInput(0, TSimulatedSignal::ramp(0.0, 4.0, 0.004));  // 1 V/ms, from 0 every 4 ms
  apply(blk);
  // Rising at 25.0001 ms: the first high sample is the one at 25.01 ms.
  const double at = 0.025 + 1e-7;
  dev().setExternalInput(TSimulatedSignal::step(0.0, 5.0, at));
  auto r = record();
  ASSERT_EQ(r.size(), 1000u);
  EXPECT_NEAR(volts(r[500], 10, 0), 1.01, 1e-3);  // 25.01 ms: 1.01 ms into a ramp
  EXPECT_NEAR(volts(r[499], 10, 0), 1.00, 1e-3);

  blk.triggerType = 'x';
  apply(blk);
  dev().setExternalInput(TSimulatedSignal::step(5.0, 1.0, double(clock.nowUs()) * 1e-6 + 0.0123));
  r = record();
  ASSERT_EQ(r.size(), 1000u);
  EXPECT_NEAR(volts(r[500], 10, 0) - volts(r[499], 10, 0), 0.01, 1e-3);

  // An external input that stays low: waiting; a mode change ends the run without data.
  blk.triggerType = 'X';
  apply(blk);
  dev().setExternalInput(TSimulatedSignal::dc(0.3));
  sendWords({kWordRUN});
  clock.advanceMs(100);
  EXPECT_TRUE(dev().waitingForTrigger());
  sendWords({kWordSMd, kModeVMD0});
  clock.advanceMs(5);
  EXPECT_EQ(readAll().size(), 4u);
  EXPECT_FALSE(dev().measuring());
}

TEST_F(InputFixture, VoltmeterReadsMeanAndTrueRmsThroughTheConverter) {
  dev().setInput(0, TSimulatedSignal::dc(1.234));
  dev().setInput(1, TSimulatedSignal::sine(2.0, 1000.0, 0.5));
  auto reading = [&](ModeCode m) {
    setMode(m);
    sendWords({kWordRUN});
    clock.advanceMs(19);
    EXPECT_EQ(queued(), 0u);  // 20 ms of measuring
    clock.advanceMs(1);
    const Bytes b = readAll();
    EXPECT_EQ(b.size(), 8u);
    return b;
  };
  SettingsWriteBlock blk = defaults();
  blk.amplC0 = 5;
  apply(blk);
  float f0 = 0, f1 = 0;
  decodeVoltmeterFloat(reading(kModeVMD0).data(), f0, f1);
  EXPECT_NEAR(f0, 1.234, 5.0 / 65536);
  EXPECT_NEAR(f1, 0.5, 1e-3);  // the mean of 20 periods
  decodeVoltmeterFloat(reading(kModeVMA0).data(), f0, f1);
  EXPECT_NEAR(f0, 1.234, 5.0 / 65536);  // true RMS of a DC level is the level
  EXPECT_NEAR(f1, std::sqrt(0.25 + 2.0), 1e-3);
  std::uint32_t r0 = 0, r1 = 0;
  decodeVoltmeterRaw(reading(kModeVMD1).data(), r0, r1);
  EXPECT_EQ(r0, 48942u);
  EXPECT_NEAR(double(r1), 32768 + 0.5 / 5 * 32768, 2);
  decodeVoltmeterRaw(reading(kModeVMA1).data(), r0, r1);
  EXPECT_EQ(r0, 48942u);
  // The same input through the 0.5 V range clips at its end.
  blk.amplC0 = 0.5f;
  apply(blk);
  decodeVoltmeterFloat(reading(kModeVMD0).data(), f0, f1);
  EXPECT_NEAR(f0, 0.25 - 0.5 / 65536, 1e-7);
}

TEST_F(InputFixture, LoggerSamplesTheInputAtTheTimeItReallyKeeps) {
  // 4 bytes per 127 us: the fastest logger step the link carries is 200 us
  sim.setLinkRate(LinkRate{});
  setMode(kModeDLA0);
  dev().setInput(0, TSimulatedSignal::ramp(-2.0, 2.0, 0.0127, 0));  // 4 V per 100 samples
  SettingsWriteBlock blk = defaults();
  blk.sampleTime = 1e-5f;
  SettingsReply r = apply(blk);
  EXPECT_FLOAT_EQ(r.sampleTime, 200e-6f);
  sendWords({kWordSRd});
  clock.advanceMs(5);
  EXPECT_FLOAT_EQ(SettingsReply::decode(readAll().data()).sampleTime, 200e-6f);
  // The limit belongs to the logger: the scope keeps what was asked.
  setMode(kModeOSA0);
  sendWords({kWordSRd});
  clock.advanceMs(5);
  EXPECT_FLOAT_EQ(SettingsReply::decode(readAll().data()).sampleTime, 1e-5f);
  setMode(kModeDLA0);
  // A slower request is kept as it is.
  blk.sampleTime = 2.54e-4f;
  r = apply(blk);
  EXPECT_FLOAT_EQ(r.sampleTime, 2.54e-4f);
  clock.setUs(1000000);
  sendWords({kWordRUN});
  clock.advanceUs(254 * 10);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), 40u);
  // Sample k is taken (k + 1) x 254 us after the run: the ramp has moved 0.08 V per sample.
  for (int k = 0; k < 10; ++k) {
    std::uint16_t c0 = 0, c1 = 0;
    decodeAnalogLoggerSample(b.data() + k * 4, c0, c1);
    const double t = 1.0 + (k + 1) * 254e-6;
    const double expect = -2.0 + 4.0 * (t / 0.0127 - std::floor(t / 0.0127));
    EXPECT_NEAR(volts(c0, 10, 0), expect, 10.0 / 65536);
  }
  sendWords({kWordZZZZ});
  clock.advanceMs(5);
  readAll();
}

TEST_F(InputFixture, LogicLinesCountInPhysicalTimeAndTheExternalInputTriggersThem) {
  setMode(kModeLAIO);
  SettingsWriteBlock blk = defaults();
  blk.sampleTime = 1e-4f;  // ten counts of the 100 kHz line counter per sample
  blk.memoryDepth = 100;
  blk.triggerType = 'X';
  apply(blk);
  // The external input rises at 30.00005 s: the first high sample is the one at 30.0001 s.
  dev().setExternalInput(TSimulatedSignal::step(0.0, 3.3, 30.00005));
  clock.setUs(29990000);
  sendWords({kWordRUN});
  clock.advanceMs(50);
  const Bytes b = readAll();
  ASSERT_EQ(b.size(), 200u);
  std::vector<std::uint16_t> s;
  for (std::size_t i = 0; i < b.size(); i += 4) {
    std::uint16_t e = 0, l = 0;
    decodeLogicGroup(b.data() + i, e, l);
    s.push_back(e);
    s.push_back(l);
  }
  // Sample 50 is taken at 30.0001 s: counter 3000010, whose low byte is 0x0A.
  EXPECT_EQ(s[50] & 0xFF, 3000010 & 0xFF);
  for (std::size_t k = 1; k < s.size(); ++k) EXPECT_EQ(s[k] & 0xFF, (s[k - 1] + 10) & 0xFF);
}

TEST_F(InputFixture, IdentificationIsPaddedToThirtyTwoBytesAndMayBeLonger) {
  dev().setIdentification("Tolvanex Scope 1 V2.17 serial TVS00001\r\n");
  sendWords({kWordIdnFirst, kWordIdnSecond});
  clock.advanceMs(5);
  const Bytes b = readAll();
  EXPECT_EQ(std::string(b.begin(), b.end()), "Tolvanex Scope 1 V2.17 serial TVS00001\r\n");
  dev().setIdentification("Short\r\n");
  sendWords({kWordIdnFirst, kWordIdnSecond});
  clock.advanceMs(5);
  const Bytes c = readAll();
  ASSERT_EQ(c.size(), 32u);
  EXPECT_EQ(std::string(c.begin(), c.end()), "Short\r\n" + std::string(25, ' '));
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
