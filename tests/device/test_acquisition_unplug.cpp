// Devices pulled out in every mode and at every moment of a run, telling by a failing status or
// not at all, then plugged back: the run ends, what came is kept, nothing hangs, and the device
// comes back with the window's mode and settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fake_device.h"
#include "ftdi/simulated_driver.h"
#include "wire/wire.h"

using namespace tolv;
using namespace tolv::test;

namespace {

enum class Moment { Idle, RunQueued, Measuring, Transferring, Streaming };

const char* momentName(Moment m) {
  switch (m) {
    case Moment::Idle: return "Idle";
    case Moment::RunQueued: return "RunQueued";
    case Moment::Measuring: return "Measuring";
    case Moment::Transferring: return "Transferring";
    case Moment::Streaming: return "Streaming";
  }
  return "?";
}

struct Case {
  ModeCode mode;
  Moment moment;
  FtStatus status;  // 0: the driver answers as if nothing happened; the system tells instead
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  return std::string(modeCodeText(info.param.mode)) + "_" + momentName(info.param.moment) +
         (info.param.status == kFtOk ? "_Silent" : "_Status" + std::to_string(info.param.status));
}

// Bytes the device sent after its last "*RUN", less those that died unread in the driver.
std::uint64_t sentAfterRun(const std::filesystem::path& trace) {
  std::ifstream f(trace);
  std::string line;
  std::uint64_t sent = 0;
  while (std::getline(f, line)) {
    std::istringstream in(line);
    std::int64_t ms = 0;
    std::string dir;
    std::uint64_t n = 0;
    in >> ms >> dir >> n;
    if (dir == "in" && line.find(" 2A 52 55 4E") != std::string::npos) sent = 0;
    if (dir == "out") sent += n;
    if (dir == "unplug") sent -= n;
  }
  return sent;
}

class Unplug : public ::testing::TestWithParam<Case> {
 protected:
  std::filesystem::path traceDir = std::filesystem::temp_directory_path() /
                                   ("tolv_unplug_acq_" + std::to_string(::getpid()));
  ManualClock clock;
  std::unique_ptr<TSimulatedDriver> sim;
  std::unique_ptr<Rig> rig;

  void SetUp() override {
    std::filesystem::remove_all(traceDir);
    sim = std::make_unique<TSimulatedDriver>(2, clock, traceDir);
    rig = std::make_unique<Rig>(clock, *sim);
    rig->link.setSerialNumber(QStringLiteral("TVS00001"));
    ASSERT_EQ(rig->acq.open([](SettingsRecord&) { return 2; }), 2);
    advance(1500);
  }
  void TearDown() override {
    rig.reset();
    sim.reset();
    std::filesystem::remove_all(traceDir);
  }
  TAcquisition& acq() { return rig->acq; }
  void advance(std::int64_t ms) { rig->hub.advance(ms); }
  void advanceUntil(const std::function<bool()>& done, std::int64_t limitMs = 5000) {
    for (std::int64_t t = 0; t < limitMs && !done(); ++t) advance(1);
  }
  void selectMode(ModeCode m) {
    acq().selectMode(m);
    advance(1000);
    ASSERT_EQ(acq().mode(), m);
  }
  void setTimebase(float sampleTime, float depth) {
    acq().desired().sampleTime = sampleTime;
    acq().desired().memoryDepth = depth;
    acq().requestSettingsWrite();
    advance(1000);
    ASSERT_EQ(acq().storedReply().memoryDepth, depth);
  }
  // Pulls device 1 out: with a status the cycle finds out by itself; silently, the system's
  // notice (the frame's listing) tells the cycle.
  void pull(FtStatus status) {
    sim->unplug(0, status);
    if (status == kFtOk) acq().linkLost(kFtOk);
  }
};

TEST_P(Unplug, RunEndsWhatCameIsKeptAndTheDeviceComesBackWithItsSettings) {
  const Case c = GetParam();
  const bool logger = isLoggerMode(c.mode);
  if (c.mode != kModeOSA0) selectMode(c.mode);
  // A record long enough to be caught in flight: 40000 bytes cross the link in ~1.3 s, after
  // a measuring time of 10 ms (scope, logic analyser) or 20 ms (voltmeter).
  if (c.mode == kModeOSA0 || c.mode == kModeLAIO) setTimebase(1e-6f, 10000);
  if (logger) setTimebase(1e-3f, 10000);
  const float depth = acq().storedReply().memoryDepth;
  const int recordsBefore = rig->sink.scopeRecords + rig->sink.logicRecords;

  switch (c.moment) {
    case Moment::Idle:
      break;
    case Moment::RunQueued:
      acq().runClicked();
      ASSERT_EQ(acq().runState(), RunState::RunQueued);
      break;
    case Moment::Measuring:
      acq().runClicked();
      advanceUntil([&] { return acq().runInFlight(); });
      ASSERT_EQ(acq().runState(), RunState::Measuring);
      ASSERT_EQ(rig->link.accumulationFill(), 0);
      break;
    case Moment::Transferring:
      acq().runClicked();
      // A reading's 8 bytes cross the link within a tick: slowed once the run is on its way,
      // the reading is caught halfway.
      if (isVoltmeterMode(c.mode)) {
        advanceUntil([&] { return acq().runInFlight(); });
        sim->setLinkRate({4, 100000});
      }
      advanceUntil([&] { return rig->link.accumulationFill() > 0; });
      ASSERT_EQ(acq().runState(), RunState::Measuring);
      ASSERT_LT(rig->link.accumulationFill(), acq().expectedByteCount());
      break;
    case Moment::Streaming:
      acq().runClicked();
      advance(1000);
      ASSERT_GT(rig->sink.loggerBytes, 400u);
      break;
  }
  const int writesBefore = sim->calls(TSimulatedDriver::Call::Write);
  const int loggerEndedBefore = rig->sink.loggerEnded;
  pull(c.status);
  advance(3000);

  // Lost once, the run over, the handle released, nothing more written or polled.
  ASSERT_TRUE(acq().lost());
  ASSERT_EQ(rig->host.lost.size(), 1u);
  const LostRun& lost = rig->host.lost.front();
  EXPECT_EQ(lost.status, c.status);
  EXPECT_EQ(lost.mode, c.mode);
  EXPECT_EQ(lost.running, c.moment != Moment::Idle);
  EXPECT_EQ(acq().runState(), RunState::Idle);
  EXPECT_FALSE(acq().runEnabled());
  EXPECT_TRUE(acq().controlsEnabled());
  EXPECT_FALSE(rig->link.isOpen());
  EXPECT_TRUE(rig->link.lost());
  EXPECT_EQ(sim->openHandles(), 0);
  EXPECT_FALSE(rig->followUp.isActive());
  EXPECT_EQ(rig->sink.scopeRecords + rig->sink.logicRecords, recordsBefore);
  // With a status, the cycle's failing query may not have reached the write; silently, the
  // run's write already went to nowhere. Either way nothing follows the loss.
  const int writesAtLoss = sim->calls(TSimulatedDriver::Call::Write);
  EXPECT_LE(writesAtLoss - writesBefore, 1);
  acq().stopClicked();
  acq().runClicked();
  acq().requestSettingsWrite();
  advance(2000);
  EXPECT_EQ(sim->calls(TSimulatedDriver::Call::Write), writesAtLoss);
  EXPECT_EQ(acq().runState(), RunState::Idle);

  if (c.moment == Moment::Transferring) {
    EXPECT_GT(lost.bytesCut, 0);
    EXPECT_LT(lost.bytesCut, lost.bytesExpected);
  } else {
    EXPECT_EQ(lost.bytesCut, 0);
  }
  if (c.moment == Moment::Streaming) {
    // The stream was closed with every byte the device got across before the cable went.
    EXPECT_TRUE(lost.loggerClosed);
    EXPECT_EQ(rig->sink.loggerEnded, loggerEndedBefore + 1);
    EXPECT_EQ(rig->sink.loggerBytes, sentAfterRun(traceDir / "TVS00001.trace"));
  } else {
    EXPECT_FALSE(lost.loggerClosed);
    EXPECT_EQ(rig->sink.loggerEnded, loggerEndedBefore);
  }

  // Plugged back: the device starts with its power-on settings, the window sends its own.
  sim->setLinkRate(LinkRate());
  sim->plug(0);
  EXPECT_EQ(sim->device(0).settings().memoryDepth, 1000.0f);
  ASSERT_EQ(acq().reconnect(), 0);
  EXPECT_EQ(rig->host.back, 1);
  advance(2000);
  EXPECT_FALSE(acq().lost());
  EXPECT_EQ(sim->openHandles(), 1);
  EXPECT_EQ(sim->device(0).mode(), c.mode);
  EXPECT_EQ(sim->device(0).settings().memoryDepth, depth);
  EXPECT_EQ(acq().storedReply().memoryDepth, depth);
  EXPECT_TRUE(acq().runEnabled());
  EXPECT_EQ(rig->link.readPanel(), TDeviceLink::PanelState::Green);
  EXPECT_EQ(rig->link.writePanel(), TDeviceLink::PanelState::Initial);
  EXPECT_FALSE(acq().identification().isEmpty());

  // And measures again.
  acq().setSingleShot(true);
  acq().runClicked();
  advance(3000);
  if (logger) {
    EXPECT_GT(rig->sink.loggerBytes, 400u);
    acq().stopClicked();
    advance(1000);
  }
  EXPECT_EQ(acq().runState(), RunState::Idle);
  if (c.mode == kModeOSA0) {
    EXPECT_EQ(rig->sink.scopeRecords, recordsBefore + 1);
  }
  if (c.mode == kModeLAIO) {
    EXPECT_EQ(rig->sink.logicRecords, recordsBefore + 1);
  }
}

std::vector<Case> allCases() {
  std::vector<Case> out;
  for (FtStatus st : {kFtIoError, kFtOk}) {
    for (ModeCode m : {kModeVMD0, kModeVMA1, kModeOSA0, kModeLAIO}) {
      for (Moment mo : {Moment::Idle, Moment::RunQueued, Moment::Measuring, Moment::Transferring})
        out.push_back({m, mo, st});
    }
    for (ModeCode m : {kModeDLA0, kModeDLDI}) {
      for (Moment mo : {Moment::Idle, Moment::RunQueued, Moment::Streaming})
        out.push_back({m, mo, st});
    }
  }
  // Other statuses a vanished device gives.
  out.push_back({kModeOSA0, Moment::Transferring, kFtDeviceNotFound});
  out.push_back({kModeDLA0, Moment::Streaming, kFtInvalidHandle});
  return out;
}

INSTANTIATE_TEST_SUITE_P(EveryModeAndMoment, Unplug, ::testing::ValuesIn(allCases()), caseName);

class UnplugFaults : public Unplug {};

TEST_F(UnplugFaults, FailingCallsOfADeviceStillListedAreNoLoss) {
  // One failing read and one failing write of a device on the bus: red panels, the cycle goes on.
  sim->failNext(TSimulatedDriver::Call::QueueStatus, kFtIoError);
  advance(500);
  sim->failNext(TSimulatedDriver::Call::Write, kFtIoError);
  acq().requestSettingsWrite();
  advance(1000);
  EXPECT_FALSE(acq().lost());
  EXPECT_TRUE(rig->link.isOpen());
  EXPECT_EQ(rig->link.readPanel(), TDeviceLink::PanelState::Red);
  EXPECT_TRUE(rig->followUp.isActive());
  // A handle that fails for good while the device stays listed (a hung device) is not taken
  // for unplugged either: its window keeps showing the failures.
  sim->disconnect(0);
  advance(1000);
  EXPECT_FALSE(acq().lost());
  // An access-refusing status is not a vanished device.
  EXPECT_FALSE(TDeviceLink::isGoneStatus(kFtDeviceNotOpened));
  EXPECT_FALSE(TDeviceLink::isGoneStatus(kFtOk));
}

TEST_F(UnplugFaults, ReconnectWhileStillAwayFailsAndKeepsWaiting) {
  sim->unplug(0);
  advance(500);
  ASSERT_TRUE(acq().lost());
  EXPECT_EQ(acq().reconnect(), int(kFtDeviceNotFound));
  EXPECT_TRUE(acq().lost());
  EXPECT_EQ(rig->host.back, 0);
  // Denied on return: the open says so and nothing is sent.
  sim->setDenied(0, true);
  sim->plug(0);
  EXPECT_EQ(acq().reconnect(), int(kFtDeviceNotOpened));
  EXPECT_TRUE(acq().lost());
  sim->setDenied(0, false);
  EXPECT_EQ(acq().reconnect(), 0);
  EXPECT_EQ(acq().reconnect(), 0);  // not lost any more: nothing to do
  EXPECT_EQ(rig->host.back, 1);
  // A second loss is told once more.
  sim->unplug(0);
  advance(500);
  EXPECT_EQ(rig->host.lost.size(), 2u);
}

TEST_F(UnplugFaults, ClosingALostWindowStoresItsSettingsAndWritesNothing) {
  sim->unplug(0);
  advance(500);
  const int writes = sim->calls(TSimulatedDriver::Call::Write);
  acq().closeQuery();
  acq().close();
  EXPECT_EQ(sim->calls(TSimulatedDriver::Call::Write), writes);
  EXPECT_TRUE(acq().closing());
}

// Pulled and plugged back between two ticks: the driver lists the device as before, but the
// handle died with it. The run ends as for any unplug and the device comes back with its
// settings.
TEST_F(UnplugFaults, PulledAndPluggedBackBetweenTwoTicksIsStillALoss) {
  setTimebase(1e-6f, 10000);
  acq().runClicked();
  advanceUntil([&] { return acq().runInFlight(); });
  ASSERT_EQ(acq().runState(), RunState::Measuring);
  sim->unplug(0);
  sim->plug(0);
  advance(500);
  ASSERT_TRUE(acq().lost());
  ASSERT_EQ(rig->host.lost.size(), 1u);
  EXPECT_EQ(rig->host.lost.front().status, kFtIoError);
  EXPECT_TRUE(rig->host.lost.front().running);
  EXPECT_EQ(acq().runState(), RunState::Idle);
  EXPECT_EQ(sim->openHandles(), 0);
  EXPECT_EQ(sim->device(0).settings().memoryDepth, 1000.0f);  // power-on settings
  ASSERT_EQ(acq().reconnect(), 0);
  advance(2000);
  EXPECT_FALSE(acq().lost());
  EXPECT_EQ(sim->device(0).settings().memoryDepth, 10000.0f);
  EXPECT_EQ(sim->openHandles(), 1);

  // Likewise with a settings write on its way: the change reaches the device that came back.
  acq().desired().memoryDepth = 20000;
  acq().requestSettingsWrite();
  const int writes = sim->calls(TSimulatedDriver::Call::Write);
  advanceUntil([&] { return sim->calls(TSimulatedDriver::Call::Write) > writes; });
  sim->unplug(0);
  sim->plug(0);
  advance(500);
  ASSERT_TRUE(acq().lost());
  ASSERT_EQ(acq().reconnect(), 0);
  advance(2000);
  EXPECT_EQ(sim->device(0).settings().memoryDepth, 20000.0f);
  EXPECT_EQ(acq().storedReply().memoryDepth, 20000.0f);
  EXPECT_TRUE(acq().runEnabled());
}

// The command the device got last, as its trace shows it.
std::string lastCommandIn(const std::filesystem::path& trace) {
  std::ifstream f(trace);
  std::string line, last;
  while (std::getline(f, line))
    if (line.find(" in ") != std::string::npos) last = line;
  return last;
}

// A device pulled while its window opens, at each command of the opening handshake, and back
// at once (the cycle finds its dead handle) or later: the window ends with the settings it
// loaded, on the device as in the window, and RUN works.
TEST_F(UnplugFaults, PulledWhileOpeningComesBackWithTheLoadedSettings) {
  SettingsRecord stored = SettingsRecord::defaults();
  stored.mode = kModeLAIO;
  stored.memoryDepth = 5000;
  stored.overlapping = true;
  stored.singleShot = true;
  // Identification, mode, the first settings read, the loaded settings' write.
  const char* const words[] = {"2A 49 44 4E", "2A 53 4D 64", "2A 53 52 64", "2A 53 57 72"};
  for (bool atOnce : {true, false}) {
    for (int k = 1; k <= 4; ++k) {
      SCOPED_TRACE(std::string(atOnce ? "at once" : "later") + ", command " + std::to_string(k));
      rig.reset();
      sim.reset();
      std::filesystem::remove_all(traceDir);
      sim = std::make_unique<TSimulatedDriver>(1, clock, traceDir);
      rig = std::make_unique<Rig>(clock, *sim);
      rig->link.setSerialNumber(QStringLiteral("TVS00001"));
      ASSERT_EQ(acq().open([&](SettingsRecord& r) {
        r = stored;
        return 0;
      }),
                0);
      advanceUntil([&] { return sim->calls(TSimulatedDriver::Call::Write) >= k; });
      ASSERT_EQ(sim->calls(TSimulatedDriver::Call::Write), k);
      EXPECT_NE(lastCommandIn(traceDir / "TVS00001.trace").find(words[k - 1]), std::string::npos);
      sim->unplug(0);
      if (atOnce) sim->plug(0);
      advance(atOnce ? 500 : 4000);
      ASSERT_TRUE(acq().lost());
      if (!atOnce) {
        EXPECT_EQ(acq().reconnect(), int(kFtDeviceNotFound));
        sim->plug(0);
      }
      ASSERT_EQ(acq().reconnect(), 0);
      advance(4000);
      EXPECT_FALSE(acq().lost());
      EXPECT_EQ(sim->device(0).mode(), kModeLAIO);
      EXPECT_EQ(sim->device(0).settings().memoryDepth, 5000.0f);
      EXPECT_EQ(acq().mode(), kModeLAIO);
      EXPECT_EQ(acq().desired().memoryDepth, 5000.0f);
      EXPECT_EQ(acq().storedReply().memoryDepth, 5000.0f);
      EXPECT_TRUE(acq().overlap());
      EXPECT_TRUE(acq().singleShot());
      EXPECT_TRUE(acq().runEnabled());
      EXPECT_TRUE(acq().queue().isEmpty());
      EXPECT_FALSE(acq().identification().isEmpty());
      // And measures.
      const int before = rig->sink.logicRecords;
      acq().runClicked();
      advance(3000);
      EXPECT_EQ(rig->sink.logicRecords, before + 1);
      EXPECT_EQ(acq().runState(), RunState::Idle);
    }
  }
}

// Pulled while opening, and the user chooses a mode and changes a setting before it is back:
// the window shows the stored settings at once, the user's choices go on top of them, and the
// device that comes back gets the lot. Nothing is written while it is away.
TEST_F(UnplugFaults, ChoicesMadeWhileAwayDuringOpeningWin) {
  SettingsRecord stored = SettingsRecord::defaults();
  stored.mode = kModeLAIO;
  stored.memoryDepth = 5000;
  stored.triggerPoint = 30;
  stored.overlapping = true;
  // During the identification, the mode command (stage 2 still to come), the settings write.
  for (int k : {1, 3, 4}) {
    SCOPED_TRACE(k);
    rig.reset();
    sim.reset();
    sim = std::make_unique<TSimulatedDriver>(1, clock);
    rig = std::make_unique<Rig>(clock, *sim);
    rig->link.setSerialNumber(QStringLiteral("TVS00001"));
    ASSERT_EQ(acq().open([&](SettingsRecord& r) {
      r = stored;
      return 0;
    }),
              0);
    advanceUntil([&] { return sim->calls(TSimulatedDriver::Call::Write) >= k; });
    sim->unplug(0);
    advance(500);
    ASSERT_TRUE(acq().lost());
    EXPECT_TRUE(acq().startUpInterrupted());
    // The window holds the stored settings now, not only once the device is back.
    EXPECT_EQ(acq().requestedMode(), kModeLAIO);
    EXPECT_EQ(acq().desired().memoryDepth, 5000.0f);
    EXPECT_TRUE(acq().overlap());
    acq().selectMode(kModeVMA0);
    acq().desired().memoryDepth = 20000;
    acq().requestSettingsWrite();
    EXPECT_TRUE(acq().queue().isEmpty());
    const int writes = sim->calls(TSimulatedDriver::Call::Write);
    advance(3000);
    EXPECT_EQ(sim->calls(TSimulatedDriver::Call::Write), writes);
    sim->plug(0);
    ASSERT_EQ(acq().reconnect(), 0);
    EXPECT_FALSE(acq().startUpInterrupted());
    EXPECT_TRUE(acq().runEnabled());
    advance(4000);
    EXPECT_EQ(sim->device(0).mode(), kModeVMA0);
    EXPECT_EQ(sim->device(0).settings().memoryDepth, 20000.0f);
    EXPECT_EQ(sim->device(0).settings().triggerPoint, 30.0f);
    EXPECT_EQ(acq().mode(), kModeVMA0);
    EXPECT_EQ(acq().desired().memoryDepth, 20000.0f);
    EXPECT_TRUE(acq().overlap());
    EXPECT_TRUE(acq().queue().isEmpty());
  }
  // A settings file loaded while the device is away: the window takes it at once, RUN stays
  // off until the device is back, and a mode chosen after the load stays.
  sim->unplug(0);
  advance(500);
  ASSERT_TRUE(acq().lost());
  SettingsRecord file = stored;
  file.mode = kModeVMD0;
  file.memoryDepth = 10000;
  acq().startUp(0, &file);
  EXPECT_EQ(acq().requestedMode(), kModeVMD0);
  EXPECT_EQ(acq().desired().memoryDepth, 10000.0f);
  EXPECT_TRUE(acq().startUpInterrupted());
  acq().selectMode(kModeOSA0);
  advance(3000);
  EXPECT_FALSE(acq().runEnabled());
  EXPECT_EQ(acq().requestedMode(), kModeOSA0);
  sim->plug(0);
  ASSERT_EQ(acq().reconnect(), 0);
  advance(4000);
  EXPECT_EQ(sim->device(0).mode(), kModeOSA0);
  EXPECT_EQ(sim->device(0).settings().memoryDepth, 10000.0f);
  EXPECT_EQ(acq().mode(), kModeOSA0);
  EXPECT_TRUE(acq().runEnabled());
}

// A new device (no stored settings) pulled during its first handshake: back in the scope mode
// with RUN enabled.
TEST_F(UnplugFaults, NewDevicePulledWhileOpeningStartsInTheScopeMode) {
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE(k);
    rig.reset();
    sim.reset();
    sim = std::make_unique<TSimulatedDriver>(1, clock);
    rig = std::make_unique<Rig>(clock, *sim);
    rig->link.setSerialNumber(QStringLiteral("TVS00001"));
    ASSERT_EQ(acq().open([](SettingsRecord&) { return 2; }), 2);
    ASSERT_TRUE(rig->link.isOpen());
    const SettingsReply powerOn = sim->device(0).settings();
    advanceUntil([&] { return sim->calls(TSimulatedDriver::Call::Write) >= k; });
    sim->unplug(0);
    sim->plug(0);
    advance(500);
    ASSERT_TRUE(acq().lost());
    // A mode chosen while it is away is not undone by the scope mode of a first start.
    const ModeCode chosen = k == 3 ? kModeVMD0 : kModeOSA0;
    if (k == 3) acq().selectMode(chosen);
    ASSERT_EQ(acq().reconnect(), 0);
    advance(3000);
    EXPECT_EQ(acq().mode(), chosen);
    EXPECT_EQ(sim->device(0).mode(), chosen);
    EXPECT_TRUE(acq().settingsKnown());
    EXPECT_TRUE(acq().runEnabled());
    // It keeps its power-on settings: none were known to send it.
    EXPECT_EQ(sim->device(0).settings().memoryDepth, powerOn.memoryDepth);
    EXPECT_EQ(sim->device(0).settings().sampleTime, powerOn.sampleTime);
  }
}

}  // namespace
