// Fault matrix: every mode against failing driver calls (each status), a device gone in the
// middle of a record, silence, garbage, a 1 MB flood and extra bytes. After each fault the
// device behaves again: the acquisition must not hang, must accept STOP and RUN, and the next
// good record must arrive intact. Logger streams are covered with the stream file in
// tests/measure/test_fault_matrix_logger.cpp.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>

#include "fake_device.h"
#include "wire/wire.h"

using namespace tolv;
using namespace tolv::test;

namespace {

enum class Fault { WriteFail, QueryFail, ReadFail, Disconnect, Silence, Garbage, Flood, Extra };

const char* faultName(Fault f) {
  switch (f) {
    case Fault::WriteFail: return "WriteFail";
    case Fault::QueryFail: return "QueryFail";
    case Fault::ReadFail: return "ReadFail";
    case Fault::Disconnect: return "Disconnect";
    case Fault::Silence: return "Silence";
    case Fault::Garbage: return "Garbage";
    case Fault::Flood: return "Flood";
    default: return "Extra";
  }
}

constexpr ModeCode kRecordModes[] = {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1, kModeOSA0, kModeLAIO};
constexpr int kDepth = 2000;  // scope samples per record

struct Cell {
  ModeCode mode;
  Fault fault;
  FtStatus status;  // for the failing calls
};

std::string cellName(const ::testing::TestParamInfo<Cell>& i) {
  const ModeCode m = i.param.mode;
  std::string n{char(m >> 24), char(m >> 16), char(m >> 8), char(m)};
  for (char& c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n + "_" + faultName(i.param.fault) + "_" + std::to_string(i.param.status);
}

std::vector<Cell> allCells() {
  std::vector<Cell> cells;
  for (ModeCode m : kRecordModes) {
    for (Fault f : {Fault::WriteFail, Fault::QueryFail, Fault::ReadFail})
      for (FtStatus s = kFtInvalidHandle; s <= kFtInvalidParameter; ++s) cells.push_back({m, f, s});
    for (Fault f : {Fault::Disconnect, Fault::Silence, Fault::Garbage, Fault::Flood, Fault::Extra})
      cells.push_back({m, f, kFtOk});
  }
  return cells;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {
 protected:
  ManualClock clock;
  FakeDriver drv{clock};
  Rig rig{clock, drv};
  TAcquisition& acq = rig.acq;
  SettingsReply device;
  int runs = 0;
  // What the device does on RUN; by default a whole good record for that run.
  std::function<void()> onRun;

  void SetUp() override {
    device.amplC0 = device.amplC1 = 10;
    device.memoryDepth = kDepth;
    drv.onWrite = [this](const Bytes& b) {
      const WireCommand c = classifyCommand(b.data(), b.size());
      if (c == WireCommand::SetMode) drv.deliver(Bytes(b.begin() + 4, b.end()), 10);
      if (c == WireCommand::SettingsRead || c == WireCommand::SettingsWrite) {
        const auto r = device.toBytes();
        drv.deliver(Bytes(r.begin(), r.end()), 10);
      }
      if (c == WireCommand::Run) {
        ++runs;
        if (onRun) onRun();
        else drv.deliver(record(runs), 30);
      }
    };
    const ModeCode mode = GetParam().mode;
    acq.open([](SettingsRecord&) { return 2; });
    advance(1500);
    if (mode != kModeOSA0) {
      acq.selectMode(mode);
      advance(1000);
    }
    ASSERT_EQ(acq.mode(), mode);
    acq.setSingleShot(true);
  }
  void advance(std::int64_t ms) { rig.hub.advance(ms); }

  // The good record of run k: every value is k.
  Bytes record(int k) const {
    const ModeCode m = GetParam().mode;
    Bytes b(std::size_t(measurementByteCount(m, kDepth)));
    if (m == kModeOSA0) {
      for (std::size_t i = 0; i < b.size(); i += 4) encodeScopeSample(std::uint16_t(k), std::uint16_t(k), &b[i]);
    } else if (m == kModeLAIO) {
      for (std::size_t i = 0; i < b.size(); i += 4) encodeLogicGroup(std::uint16_t(k), std::uint16_t(k), &b[i]);
    } else if (m == kModeVMD0 || m == kModeVMA0) {
      encodeVoltmeterFloat(float(k), float(k), b.data());
    } else {
      encodeVoltmeterRaw(std::uint32_t(k), std::uint32_t(k), b.data());
    }
    return b;
  }
  int records() const {
    const ModeCode m = GetParam().mode;
    if (m == kModeOSA0) return rig.sink.scopeRecords;
    if (m == kModeLAIO) return rig.sink.logicRecords;
    return rig.sink.voltmeterReadings;
  }
  // The last record handed over is run k's, whole.
  void expectLastRecord(int k) {
    const ModeCode m = GetParam().mode;
    if (m == kModeOSA0) {
      ASSERT_EQ(rig.sink.scope.size(), std::size_t(kDepth));
      const double v = acq.conversion().rawToVolts(0, std::uint16_t(k));
      EXPECT_NEAR(rig.sink.scope.front().ch0, v, 1e-5);
      EXPECT_NEAR(rig.sink.scope.back().ch0, v, 1e-5);
    } else if (m == kModeLAIO) {
      ASSERT_FALSE(rig.sink.logic.empty());
      EXPECT_EQ(rig.sink.logic.front(), k);
      EXPECT_EQ(rig.sink.logic.back(), k);
    } else {
      const auto want = makeVoltmeterReplyRecord(m, record(k).data());
      EXPECT_EQ(rig.sink.lastVoltmeterRecord, want);
    }
  }
};

TEST_P(FaultMatrix, NoHangAndTheNextGoodRecordIsRight) {
  const Cell cell = GetParam();
  const std::size_t len = record(1).size();
  switch (cell.fault) {
    case Fault::WriteFail:
      drv.nextWriteStatus = cell.status;  // RUN never reaches the device
      onRun = [] {};
      break;
    case Fault::QueryFail:
    case Fault::ReadFail:
    case Fault::Disconnect:
      // Half the record, then the fault, then the rest once the link works again.
      onRun = [&] {
        Bytes r = record(runs);
        drv.deliver(Bytes(r.begin(), r.begin() + std::ptrdiff_t(len / 2)), 30);
        drv.deliver(Bytes(r.begin() + std::ptrdiff_t(len / 2), r.end()), 400);
      };
      break;
    case Fault::Silence:
      onRun = [] {};
      break;
    case Fault::Garbage:
      onRun = [&] {
        Bytes g(len / 2 + 3);
        for (std::size_t i = 0; i < g.size(); ++i) g[i] = std::uint8_t(i * 131 + 7);
        drv.deliver(g, 30);
      };
      break;
    case Fault::Flood:
      onRun = [&] { drv.deliver(Bytes(1 << 20, 0xA5), 30); };
      break;
    case Fault::Extra:
      onRun = [&] {
        Bytes r = record(runs);
        r.insert(r.end(), 777, 0xEE);
        drv.deliver(r, 30);
      };
      break;
  }
  acq.runClicked();
  advance(100);
  if (cell.fault == Fault::QueryFail) drv.nextQueryStatus = cell.status;
  if (cell.fault == Fault::ReadFail) drv.nextReadStatus = cell.status;
  if (cell.fault == Fault::Disconnect) drv.disconnected = true;
  advance(200);
  drv.disconnected = false;
  advance(2000);
  // Whatever came of the faulty run, the window answers: a record that did complete is whole.
  if (cell.fault == Fault::Extra || cell.fault == Fault::QueryFail ||
      cell.fault == Fault::ReadFail || cell.fault == Fault::Disconnect) {
    ASSERT_EQ(records(), 1);
    expectLastRecord(1);
  }

  // The device behaves again. STOP ends what is pending (a device that got RUN answers it
  // with the rest of its record), RUN takes a fresh record.
  onRun = nullptr;
  const bool deviceRan = cell.fault != Fault::WriteFail;
  drv.onWrite = [this, deviceRan, base = drv.onWrite](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::Stop) return base(b);
    if (deviceRan) {
      drv.deliver(Bytes(std::size_t(std::max<std::int32_t>(0, acq.expectedByteCount())), 0), 30);
    }
  };
  if (acq.runState() != RunState::Idle) {
    acq.stopClicked();
    advance(2000);
  }
  // A RUN that never left the computer leaves the window measuring with RUN enabled: the
  // user's next RUN is the way out.
  if (deviceRan) {
    EXPECT_EQ(acq.runState(), RunState::Idle);
  }
  ASSERT_TRUE(acq.runEnabled());
  const int before = records();
  acq.setSingleShot(true);
  acq.runClicked();
  advance(2000);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_EQ(records(), before + 1);
  expectLastRecord(runs);
  EXPECT_EQ(drv.rxSize(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllModes, FaultMatrix, ::testing::ValuesIn(allCells()), cellName);

}  // namespace

// Found by fuzzing stored logger streams: a damaged header's probe factor (1.3e15, or no
// number at all) reached an undefined float-to-int conversion.
TEST(DamagedProbeFactor, SaturatesOrCountsAsNoProbe) {
  ConversionInputs huge, top, nan, none;
  huge.probe = {1.3e15, -1.3e15};
  top.probe = {2147483647.0, -2147483648.0};
  nan.probe = {std::nan(""), std::nan("")};
  EXPECT_EQ(huge.probeScale(0), top.probeScale(0));
  EXPECT_EQ(huge.probeScale(1), top.probeScale(1));
  EXPECT_EQ(nan.rawToVolts(0, 40000), none.rawToVolts(0, 40000));
  EXPECT_EQ(nan.floatToVolts(1, 2.5), none.floatToVolts(1, 2.5));
}
