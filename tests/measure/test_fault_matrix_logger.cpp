// Logger streams under faults, through the real record layer: whatever goes wrong on the link
// (a failing call with any status, the device gone mid-stream, silence, garbage, a 1 MB flood,
// bytes after the end marker), every byte received before the fault is in the stream file, the
// stream goes on once the link works, and the next run's file is right.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "device/fake_device.h"
#include "measure/measuredata.h"
#include "wire/wire.h"

using namespace tolv;
using namespace tolv::test;

namespace {

enum class Fault { QueryFail, ReadFail, Disconnect, Silence, Garbage, Flood, Extra };

struct Cell {
  ModeCode mode;
  Fault fault;
  FtStatus status;
};

std::string cellName(const ::testing::TestParamInfo<Cell>& i) {
  static const char* names[] = {"QueryFail", "ReadFail", "Disconnect", "Silence",
                                "Garbage",   "Flood",    "Extra"};
  return std::string(i.param.mode == kModeDLA0 ? "DLA0_" : "DLDI_") +
         names[int(i.param.fault)] + "_" + std::to_string(i.param.status);
}

std::vector<Cell> allCells() {
  std::vector<Cell> cells;
  for (ModeCode m : {kModeDLA0, kModeDLDI}) {
    for (Fault f : {Fault::QueryFail, Fault::ReadFail})
      for (FtStatus s = kFtInvalidHandle; s <= kFtInvalidParameter; ++s) cells.push_back({m, f, s});
    for (Fault f : {Fault::Disconnect, Fault::Silence, Fault::Garbage, Fault::Flood, Fault::Extra})
      cells.push_back({m, f, kFtOk});
  }
  return cells;
}

Bytes readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct LoggerRig {
  LoggerRig(ManualClock& clk, IFtdiDriver& driver, const fs::path& folder)
      : hub(clk),
        followUp(hub.create(0)),
        accumulate(hub.create(0)),
        settings(hub.create(0)),
        closeTimer(hub.create(0)),
        link(driver),
        data(folder),
        acq(link, {followUp, accumulate, settings, closeTimer}, data, &host) {}
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

class LoggerFaults : public ::testing::TestWithParam<Cell> {
 protected:
  QTemporaryDir dir;
  ManualClock clock;
  FakeDriver drv{clock};
  LoggerRig rig{clock, drv, fs::path(dir.path().toStdString())};
  TAcquisition& acq = rig.acq;
  SettingsReply device;
  std::function<void()> onRun;

  void SetUp() override {
    device.amplC0 = device.amplC1 = 10;
    device.memoryDepth = 1000;
    device.triggerType = 'M';  // logger runs go out with the manual trigger, no write ahead of them
    drv.onWrite = [this](const Bytes& b) {
      const WireCommand c = classifyCommand(b.data(), b.size());
      if (c == WireCommand::SetMode) drv.deliver(Bytes(b.begin() + 4, b.end()), 10);
      if (c == WireCommand::SettingsRead || c == WireCommand::SettingsWrite) {
        const auto r = device.toBytes();
        drv.deliver(Bytes(r.begin(), r.end()), 10);
      }
      if (c == WireCommand::Run && onRun) onRun();
    };
    rig.link.setSerialNumber("FAKE0001");
    rig.data.setSettings(SettingsRecord::defaults());
    rig.data.initNumbering();
    acq.open([](SettingsRecord&) { return 2; });
    advance(1500);
    acq.selectMode(GetParam().mode);
    advance(1000);
    ASSERT_EQ(acq.mode(), GetParam().mode);
  }
  void advance(std::int64_t ms) { rig.hub.advance(ms); }

  Bytes samples(std::size_t n, int seed) const {
    Bytes b(n * 4);
    for (std::size_t i = 0; i < n; ++i) {
      const auto v = std::uint16_t(seed * 1000 + i);
      if (GetParam().mode == kModeDLA0) encodeAnalogLoggerSample(v, std::uint16_t(~v), &b[i * 4]);
      else encodeIoLoggerSample(v, &b[i * 4]);
    }
    return b;
  }
};

TEST_P(LoggerFaults, EveryByteReceivedIsInTheStreamFile) {
  const Cell cell = GetParam();
  const Bytes before = samples(500, 1);
  Bytes fault;  // what the link delivers during the fault
  if (cell.fault == Fault::Garbage)
    for (int i = 0; i < 333; ++i) fault.push_back(std::uint8_t(i * 37 + 1));  // never 00/FF runs
  if (cell.fault == Fault::Flood) fault.assign(1 << 20, 0x5A);
  const Bytes after = samples(300, 2);
  onRun = [&] {
    drv.deliver(before, 30);
    if (!fault.empty()) drv.deliver(fault, 400);
    Bytes rest = after;
    rest.insert(rest.end(), kEndMarker.begin(), kEndMarker.end());
    if (cell.fault == Fault::Extra) rest.insert(rest.end(), 9, 0x33);
    drv.deliver(rest, 900);
  };
  acq.runClicked();
  advance(200);
  const fs::path file = rig.data.loggerStream().fileName();
  ASSERT_FALSE(file.empty());
  ASSERT_EQ(readAll(file), before);  // on disk at once, not only when the run ends

  if (cell.fault == Fault::QueryFail) drv.nextQueryStatus = cell.status;
  if (cell.fault == Fault::ReadFail) drv.nextReadStatus = cell.status;
  if (cell.fault == Fault::Disconnect) drv.disconnected = true;
  advance(300);
  EXPECT_EQ(readAll(file), before) << "bytes before the fault lost or doubled";
  drv.disconnected = false;
  advance(2000);

  // The stream went on and ended at the marker: the file holds all of it in order.
  Bytes want = before;
  want.insert(want.end(), fault.begin(), fault.end());
  want.insert(want.end(), after.begin(), after.end());
  want.insert(want.end(), kEndMarker.begin(), kEndMarker.end());
  if (cell.fault == Fault::Extra) want.insert(want.end(), 9, 0x33);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_FALSE(rig.data.loggerStream().isOpen());
  const Bytes got = readAll(file);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
  EXPECT_EQ(drv.rxSize(), 0u);

  // The next run writes its own file, whole.
  const Bytes next = samples(200, 3);
  onRun = [&] {
    Bytes b = next;
    b.insert(b.end(), kEndMarker.begin(), kEndMarker.end());
    drv.deliver(b, 30);
  };
  acq.runClicked();
  advance(1000);
  const fs::path second = rig.data.loggerStream().fileName();
  EXPECT_NE(second, file);
  Bytes wantNext = next;
  wantNext.insert(wantNext.end(), kEndMarker.begin(), kEndMarker.end());
  EXPECT_TRUE(readAll(second) == wantNext);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

INSTANTIATE_TEST_SUITE_P(BothLoggers, LoggerFaults, ::testing::ValuesIn(allCells()), cellName);

// A stream cut off for good (the device never comes back): the bytes up to the cut stay in
// the file after STOP and after the window closes its stream.
TEST(LoggerCutOff, BytesBeforeTheCutSurviveStopAndClose) {
  QTemporaryDir dir;
  ManualClock clock;
  FakeDriver drv{clock};
  LoggerRig rig{clock, drv, fs::path(dir.path().toStdString())};
  SettingsReply device;
  device.memoryDepth = 1000;
  device.triggerType = 'M';  // logger runs go out with the manual trigger
  drv.onWrite = [&](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (c == WireCommand::SetMode) drv.deliver(Bytes(b.begin() + 4, b.end()), 10);
    if (c == WireCommand::SettingsRead || c == WireCommand::SettingsWrite) {
      const auto r = device.toBytes();
      drv.deliver(Bytes(r.begin(), r.end()), 10);
    }
    if (c == WireCommand::Run) drv.deliver(Bytes(4000, 0x42), 30);
  };
  rig.link.setSerialNumber("FAKE0001");
  rig.data.setSettings(SettingsRecord::defaults());
  rig.data.initNumbering();
  rig.acq.open([](SettingsRecord&) { return 2; });
  rig.hub.advance(1500);
  rig.acq.selectMode(kModeDLA0);
  rig.hub.advance(1000);
  rig.acq.runClicked();
  rig.hub.advance(200);
  const fs::path file = rig.data.loggerStream().fileName();
  drv.disconnected = true;
  rig.hub.advance(1000);
  rig.acq.stopClicked();
  rig.acq.closeQuery();
  rig.hub.advance(3000);
  EXPECT_EQ(readAll(file), Bytes(4000, 0x42));
}

}  // namespace
