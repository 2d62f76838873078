// Every mode end to end: the acquisition cycle against the simulated device firmware.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "wire/wire.h"
#include "fake_device.h"
#include "device/settingstables.h"
#include "ftdi/simulated_driver.h"
#include "ftdi/simulated_input.h"
#include "support/driver_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

class Sim : public ::testing::Test {
 protected:
  ManualClock clock;
  TSimulatedDriver sim{1, clock};
  Rig rig{clock, sim};
  TAcquisition& acq = rig.acq;

  void SetUp() override {
    // Fast enough that a full 524000-byte record crosses the link in about 130 ms.
    sim.setLinkRate({4096, 1000});
    rig.link.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    ASSERT_EQ(acq.open([](SettingsRecord&) { return 2; }), 2);
    advance(1500);
    ASSERT_EQ(acq.mode(), kModeOSA0);
    ASSERT_FALSE(acq.identification().isEmpty());
  }
  void advance(std::int64_t ms) { rig.hub.advance(ms); }
  TSimulatedDevice& dev() { return sim.device(0); }
  // Channel 1 constant, channel 2 a square wave the device triggers on 4 times a second.
  void constantTriggeredByChannel2() {
    dev().setInput(0, TSimulatedSignal::dc(1.0));
    dev().setInput(1, TSimulatedSignal::square(-2.0, 2.0, 4.0));
    acq.desired().triggerType = 'T';
    acq.desired().trigger.channel = 1;
    acq.desired().levelUpper = 0;
  }

  void selectMode(ModeCode m) {
    acq.selectMode(m);
    advance(1000);
    ASSERT_EQ(acq.mode(), m);
    ASSERT_EQ(dev().mode(), m);
  }
  // Sets sample time and memory depth through one settings write.
  void setTimebase(float sampleTime, float depth) {
    acq.desired().sampleTime = sampleTime;
    acq.desired().memoryDepth = depth;
    acq.requestSettingsWrite();
    advance(1000);
    ASSERT_EQ(acq.storedReply().memoryDepth, depth);
  }
};

TEST_F(Sim, VoltmeterModes) {
  for (ModeCode m : {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1}) {
    SCOPED_TRACE(modeCodeText(m));
    selectMode(m);
    const int before = rig.sink.voltmeterReadings;
    acq.runClicked();
    advance(1000);
    EXPECT_GT(rig.sink.voltmeterReadings, before + 3);
    EXPECT_EQ(voltmeterRecordMode(rig.sink.lastVoltmeterRecord), m);
    const VoltmeterValues& v = rig.sink.lastVoltmeter;
    EXPECT_TRUE(std::isfinite(v.ch0) && std::isfinite(v.ch1));
    EXPECT_STREQ(v.unit, (m == kModeVMA0 || m == kModeVMA1) ? "V RMS" : "V DC");
    // STOP once a reading has come, before the window read it: it was measured before the
    // stop and is kept; nothing follows, and the window goes Idle.
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return dev().available() > 0; }, 1000));
    const int inFlight = rig.sink.voltmeterReadings;
    acq.stopClicked();
    advance(500);
    EXPECT_EQ(rig.sink.voltmeterReadings, inFlight + 1);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    const int after = rig.sink.voltmeterReadings;
    advance(1000);
    EXPECT_EQ(rig.sink.voltmeterReadings, after);
    // STOP between a run and its reading: the reading comes after the stop, measured before
    // it, and is the series' last; the series closes once it is in.
    int atClose = -1;
    rig.sink.onVoltmeterStopped = [&] { atClose = rig.sink.voltmeterReadings; };
    acq.runClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.voltmeterReadings > after + 2; }, 1000));
    ASSERT_EQ(acq.runState(), RunState::Measuring);
    ASSERT_EQ(dev().available(), 0u);
    const int beforeStop = rig.sink.voltmeterReadings;
    acq.stopClicked();
    EXPECT_EQ(atClose, -1);
    advance(1000);
    EXPECT_EQ(rig.sink.voltmeterReadings, beforeStop + 1);
    EXPECT_EQ(atClose, beforeStop + 1);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    // STOP and at once START again, the reading still on its way: the series closes with that
    // reading, and the next run opens a new one.
    acq.runClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 1000));
    const int runsBefore = int(rig.sink.voltmeterRunStarts.size());
    atClose = -1;
    const int again = rig.sink.voltmeterReadings;
    acq.stopClicked();
    acq.runClicked();
    EXPECT_TRUE(acq.startAfterStop());
    EXPECT_EQ(atClose, -1);
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return atClose >= 0; }, 1000));
    EXPECT_EQ(atClose, again + 1);
    advance(500);
    EXPECT_GT(int(rig.sink.voltmeterRunStarts.size()), runsBefore + 1);
    EXPECT_GT(rig.sink.voltmeterReadings, again + 2);
    acq.stopClicked();
    advance(500);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    rig.sink.onVoltmeterStopped = nullptr;
  }
}

TEST_F(Sim, ScopeRecordOfFullDepth) {
  setTimebase(1e-6f, 131000);
  acq.setSingleShot(true);
  acq.runClicked();
  advance(2000);
  EXPECT_EQ(acq.expectedByteCount(), 524000);
  ASSERT_EQ(rig.sink.scopeRecords, 1);
  ASSERT_EQ(rig.sink.scope.size(), 131000u);
  // Channel 0 is a sine within the range: it must not sit at one rail.
  float lo = 1e9f, hi = -1e9f;
  for (const auto& s : rig.sink.scope) {
    lo = std::min(lo, s.ch0);
    hi = std::max(hi, s.ch0);
  }
  EXPECT_LT(lo, hi);
  EXPECT_LE(hi, acq.conversion().probeScale(0) * acq.storedReply().amplC0 / 2 + 1e-3);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_EQ(sim.calls(TSimulatedDriver::Call::Write), int(dev().commandCount()));
}

TEST_F(Sim, ScopeRunsContinuouslyWithOverlapUntilStop) {
  setTimebase(1e-6f, 10000);
  acq.setOverlap(true);
  acq.runClicked();
  advance(3000);
  const int records = rig.sink.scopeRecords;
  EXPECT_GE(records, 5);
  EXPECT_EQ(rig.sink.scopeFinished, records);
  acq.stopClicked();
  advance(1000);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_LE(rig.sink.scopeRecords, records + 1);
}

// A depth beyond the scope's memory: the device sends the whole depth, the window keeps what
// its memory holds, the start of it. The rest of that record is no part of the next one, run
// after run with overlap: each record starts low and crosses the level at its trigger sample.
TEST_F(Sim, ScopeDepthBeyondTheMemoryKeepsTheStartOfEachRecord) {
  dev().setInput(0, TSimulatedSignal::square(-2.0, 2.0, 4.0));
  acq.desired().amplC0 = 10;
  acq.desired().triggerType = 'T';
  acq.desired().trigger.channel = 0;
  acq.desired().levelUpper = 0;
  acq.desired().triggerPoint = 10;
  setTimebase(1e-6f, 262000);
  int checked = 0;
  rig.sink.onEvent = [&](const char* what) {
    if (std::string_view(what) != "scopeFinish") return;
    const auto& r = rig.sink.scope;
    ASSERT_EQ(r.size(), 131000u);
    EXPECT_LT(r[26199].ch0, 0) << "record " << checked;
    EXPECT_GT(r[26200].ch0, 0) << "record " << checked;
    EXPECT_LT(r[0].ch0, 0) << "record " << checked;
    ++checked;
  };
  acq.setOverlap(true);
  acq.runClicked();
  advance(4000);
  acq.stopClicked();
  advance(1500);
  EXPECT_GE(checked, 3);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

TEST_F(Sim, LogicAnalyserRecordOfFullDepth) {
  selectMode(kModeLAIO);
  setTimebase(1e-6f, 262000);
  acq.setSingleShot(true);
  acq.runClicked();
  advance(2000);
  ASSERT_EQ(rig.sink.logicRecords, 1);
  EXPECT_EQ(rig.sink.logic.size(), 262000u);
  EXPECT_EQ(rig.sink.logicFinished, 1);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

TEST_F(Sim, LoggerStreamsEndByStopAndEndMarker) {
  for (ModeCode m : {kModeDLA0, kModeDLDI}) {
    SCOPED_TRACE(modeCodeText(m));
    selectMode(m);
    setTimebase(1e-3f, 10000);
    const int ended = rig.sink.loggerEnded;
    acq.runClicked();
    advance(1000);
    EXPECT_EQ(acq.runState(), RunState::Measuring);
    EXPECT_GT(rig.sink.loggerBytes, 400u);
    acq.stopClicked();
    advance(500);
    EXPECT_EQ(rig.sink.loggerEnded, ended + 1);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_EQ(rig.sink.loggerBytes % 4, 0u);
    EXPECT_TRUE(acq.endMarker().seen());
    EXPECT_TRUE(acq.controlsEnabled());
  }
}

TEST_F(Sim, FaultsFromTheSimulator) {
  setTimebase(1e-6f, 10000);
  acq.setSingleShot(true);
  // Extra bytes after each record: dropped, the record keeps its size.
  dev().setExtraBytesAfterRecord(1000);
  acq.runClicked();
  advance(1000);
  ASSERT_EQ(rig.sink.scopeRecords, 1);
  EXPECT_EQ(rig.sink.scope.size(), 10000u);
  EXPECT_EQ(acq.runState(), RunState::Idle);

  // Silent mid-record: stays Measuring; STOP writes "ZZZZ" each time.
  dev().setExtraBytesAfterRecord(0);
  dev().setSilent(true);
  acq.setSingleShot(true);
  acq.runClicked();
  advance(2000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  acq.stopClicked();
  advance(500);
  EXPECT_EQ(acq.runState(), RunState::Measuring);

  // Unplugged: red panels, no hang, the cycle keeps polling.
  sim.disconnect(0);
  advance(2000);
  EXPECT_EQ(rig.link.readPanel(), TDeviceLink::PanelState::Red);
  acq.stopClicked();
  EXPECT_EQ(rig.link.writePanel(), TDeviceLink::PanelState::Red);
  EXPECT_TRUE(rig.followUp.isActive());
}

// Every sample of the last scope record has the first one's channel 0 (a constant input).
bool wholeConstantRecord(const TLastRecordSink& sink) {
  const auto& r = sink.scope;
  return r.size() == 131000u &&
         std::all_of(r.begin(), r.end(), [&](const auto& s) { return s.ch0 == r.front().ch0; });
}

// A slow device, answering 400 ms after each command (longer than a settings write's wait of
// 333 ms), at a depth beyond its memory with overlap: every record is the device's own, whole,
// whatever late reply or rest of a record came before it.
TEST_F(Sim, SlowAnswersAndDeepRecordsKeepEveryRecordWhole) {
  constantTriggeredByChannel2();
  setTimebase(1e-6f, 200000);
  dev().setReplyLatencyUs(400000);
  int records = 0, whole = 0;
  rig.sink.onEvent = [&](const char* what) {
    if (std::string_view(what) != "scopeFinish") return;
    ++records;
    whole += wholeConstantRecord(rig.sink);
  };
  acq.setOverlap(true);
  acq.runClicked();
  advance(6000);
  acq.stopClicked();
  advance(3000);
  EXPECT_GE(records, 3);
  EXPECT_EQ(whole, records);
  // A settings write right before a single run: its reply comes after the wait, before the
  // record.
  acq.setSingleShot(true);
  acq.desired().amplC1 = 5;
  acq.requestSettingsWrite();
  acq.runClicked();
  advance(4000);
  EXPECT_EQ(records, whole);
  EXPECT_GE(records, 4);
}

// Pulled out while the rest of a record beyond the memory comes, and plugged in again: the
// device starts afresh, owes nothing, and the next records are whole.
TEST_F(Sim, UnpluggedWhileTheRestOfARecordComesThenBack) {
  constantTriggeredByChannel2();
  setTimebase(1e-6f, 200000);
  sim.setLinkRate({4096, 10000});  // the rest takes about 0.7 s
  acq.setSingleShot(true);
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 1; }, 5000));
  advance(200);
  ASSERT_GT(acq.pendingDiscard(), 0u);
  sim.unplug(0);
  advance(500);
  ASSERT_TRUE(acq.lost());
  sim.plug(0);
  ASSERT_EQ(acq.reconnect(), 0);
  advance(1500);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  for (int k = 0; k < 2; ++k) {
    acq.setSingleShot(true);
    acq.runClicked();
    advance(5000);
    ASSERT_EQ(rig.sink.scopeRecords, 2 + k);
    EXPECT_TRUE(wholeConstantRecord(rig.sink)) << "record " << k;
  }
}

}  // namespace

// STOP during a long record on a link of realistic speed: the device finishes sending what it
// began, so the window says at once that it stops and how far the record has come, a second
// press sends nothing more, and the run ends the moment the record is in (and keeps it), with
// the link in step.
TEST_F(Sim, StopDuringALongRecordShowsStoppingAndSendsOneStop) {
  for (ModeCode m : {kModeOSA0, kModeLAIO}) {
    SCOPED_TRACE(modeCodeText(m));
    selectMode(m);
    setTimebase(1e-6f, 100000);
    sim.setLinkRate(LinkRate{});  // 4 bytes per 127 us
    acq.setSingleShot(true);
    acq.runClicked();
    advance(1000);
    ASSERT_EQ(acq.runState(), RunState::Measuring);
    ASSERT_GT(rig.link.accumulationFill(), 0);
    const int scopes = rig.sink.scopeRecords, logics = rig.sink.logicRecords;
    rig.host.stops.clear();
    acq.stopClicked();
    const std::uint64_t commands = dev().commandCount();
    ASSERT_FALSE(rig.host.stops.empty());
    EXPECT_TRUE(rig.host.stops.back().on);
    EXPECT_FALSE(rig.host.stops.back().stopAgain);
    const int firstPercent = rig.host.stops.back().percent;
    EXPECT_GT(firstPercent, 0);
    EXPECT_LT(firstPercent, 100);
    EXPECT_TRUE(acq.stopping());
    advance(2000);
    acq.stopClicked();  // the record is still coming: no second ZZZZ
    acq.stopClicked();
    EXPECT_EQ(dev().commandCount(), commands);
    EXPECT_GT(acq.stopShow().percent, firstPercent);
    EXPECT_FALSE(acq.stopShow().stopAgain);
    // It ends once the last byte is in, well within the record's own transfer time.
    std::int64_t waited = 0;
    while (acq.runState() != RunState::Idle && waited < 20000) {
      advance(100);
      waited += 100;
    }
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_FALSE(acq.stopping());
    EXPECT_FALSE(rig.host.stops.back().on);
    EXPECT_EQ(rig.sink.scopeRecords, scopes + (m == kModeOSA0));
    EXPECT_EQ(rig.sink.logicRecords, logics + (m == kModeLAIO));
    EXPECT_EQ(dev().available(), 0u);
    // In step: the next command gets its own reply.
    sim.setLinkRate({4096, 1000});
    setTimebase(1e-6f, 1000);
    acq.setSingleShot(true);  // STOP cleared it
    acq.runClicked();
    advance(1000);
    EXPECT_EQ(rig.sink.scopeRecords + rig.sink.logicRecords, scopes + logics + 2);
    EXPECT_EQ(dev().commandCount(), commands + 2);
  }
}

// An analog logger on a link of realistic speed (4 bytes per 127 us) cannot stream a sample
// every 100 us: the device takes the shortest step of its clock the link carries, 200 us, a row
// of the window's table, so shown, stored and highlighted values agree, and the window is told
// once. The logic analyser takes 100 us as it is; so does a logger on a fast link.
TEST_F(Sim, LoggerFasterThanTheLinkTakesTheNextTableStepAndSaysSo) {
  sim.setLinkRate(LinkRate{});
  selectMode(kModeDLA0);
  rig.host.adjusted.clear();
  acq.desired().sampleTime = 1e-4f;
  acq.requestSettingsWrite();
  advance(1000);
  EXPECT_EQ(acq.storedReply().sampleTime, 2e-4f);
  EXPECT_FLOAT_EQ(float(dev().minLoggerSampleTime()), 2e-4f);
  ASSERT_EQ(rig.host.adjusted.size(), 1u);
  EXPECT_FLOAT_EQ(float(rig.host.adjusted[0].first), 1e-4f);
  EXPECT_FLOAT_EQ(float(rig.host.adjusted[0].second), 2e-4f);
  // The desired settings follow: the next write (the logger's manual trigger) carries 200 us
  // and is taken as it is.
  EXPECT_EQ(acq.desired().sampleTime, 2e-4f);
  acq.desired().triggerType = triggerTypeWord('M');
  acq.requestSettingsWrite();
  advance(1000);
  EXPECT_EQ(rig.host.adjusted.size(), 1u);
  // 500 us is carried: no word.
  acq.desired().sampleTime = 5e-4f;
  acq.requestSettingsWrite();
  advance(1000);
  EXPECT_EQ(acq.storedReply().sampleTime, 5e-4f);
  EXPECT_EQ(rig.host.adjusted.size(), 1u);

  selectMode(kModeLAIO);
  acq.desired().sampleTime = 1e-4f;
  acq.requestSettingsWrite();
  advance(1000);
  EXPECT_EQ(acq.storedReply().sampleTime, 1e-4f);
  EXPECT_EQ(rig.host.adjusted.size(), 1u);

  sim.setLinkRate({4096, 1000});
  selectMode(kModeDLDI);
  acq.desired().sampleTime = 1e-4f;
  acq.requestSettingsWrite();
  advance(1000);
  EXPECT_EQ(acq.storedReply().sampleTime, 1e-4f);
  EXPECT_EQ(rig.host.adjusted.size(), 1u);
}

namespace {

// Every word the window writes, in order; a run written while the record of the last one is
// still owed breaks the one-command rule and is counted.
class WordLog final : public ForwardingDriver {
 public:
  using ForwardingDriver::ForwardingDriver;
  std::vector<std::string> words;
  std::function<bool()> runInFlight;
  int runsWhileInFlight = 0;
  FtStatus write(FtHandle h, const std::uint8_t* b, std::uint32_t n,
                 std::uint32_t& written) override {
    if (n >= 4) {
      words.emplace_back(b, b + 4);
      if (words.back() == "*RUN" && runInFlight && runInFlight()) ++runsWhileInFlight;
    }
    return inner_.write(h, b, n, written);
  }
  int count(const char* word) const { return int(std::count(words.begin(), words.end(), word)); }
};

// START and STOP pressed in quick turns on the simulated device: the user's last press is what
// the device does, whenever it lands.
class StartStop : public ::testing::Test {
 protected:
  ManualClock clock;
  TSimulatedDriver sim{1, clock};
  WordLog log{sim};
  Rig rig{clock, log};
  TAcquisition& acq = rig.acq;

  void SetUp() override {
    // A record of 131000 samples crosses in about 1.3 s.
    sim.setLinkRate({4096, 10000});
    rig.link.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    ASSERT_EQ(acq.open([](SettingsRecord&) { return 2; }), 2);
    advance(1500);
    log.runInFlight = [this] { return acq.runInFlight(); };
    // Wherever the window lets events run (a record saved and drawn, a logger's file closed),
    // a start kept for after the stop keeps the settings locked, and a test may press there.
    rig.host.onProcessEvents = [this] {
      if (acq.startAfterStop() && acq.controlsEnabled()) ++unlockedForAStart;
      if (duringEvents) duringEvents();
    };
  }
  void TearDown() override { EXPECT_EQ(unlockedForAStart, 0); }
  int unlockedForAStart = 0;
  std::function<void()> duringEvents;
  void advance(std::int64_t ms) { rig.hub.advance(ms); }
  bool until(const std::function<bool()>& p, std::int64_t ms) {
    return rig.hub.advanceUntil(p, ms);
  }
  // 10 us per sample, recorded without waiting for a trigger: depth x 10 us, then the transfer.
  void timebase(float depth) {
    acq.desired().sampleTime = 1e-5f;
    acq.desired().memoryDepth = depth;
    acq.desired().triggerType = 'M';
    acq.requestSettingsWrite();
    advance(1000);
    ASSERT_EQ(acq.storedReply().memoryDepth, depth);
  }
  // Press k of a sequence that began with START: odd presses start, even ones stop.
  void press(int k) { k % 2 ? acq.runClicked() : acq.stopClicked(); }
  // A click on the shared spot: whichever of RUN and STOP the window shows.
  void click() {
    runStateLook(acq.runState(), acq.runGoesOn(), acq.stopShow()).breakVisible ? acq.stopClicked()
                                                                               : acq.runClicked();
  }
  // Once the presses have had their effect: stopped for an even count, measuring again for an
  // odd one.
  bool settled(int presses) {
    if (acq.stopPending() || acq.startAfterStop()) return false;
    return presses % 2 ? acq.runState() == RunState::Measuring && !acq.stopRequested()
                       : acq.runState() == RunState::Idle;
  }
};

}  // namespace

// The first STOP 0.6 s into a record of 131000 samples (1.31 s measured, some 1.3 s in
// transfer, so the stop waits for about 2 s); the presses after it every 80 ms (all while the
// stop waits), every 1.4 s (one before its end, one after) or every 2.3 s (each after the
// stop before it has ended). A START that lands in a pending stop is acted on once when it
// ends, a STOP after it takes it back, and a stop still waiting for its record is not sent again.
TEST_F(StartStop, PressesAroundAPendingStopOfALongRecordEndAsTheLastPress) {
  timebase(131000);
  struct Case {
    std::int64_t gapMs;
    int presses, runs, stops;
  };
  const Case cases[] = {{80, 2, 1, 1},   {80, 3, 2, 1},   {80, 4, 1, 1},   {80, 5, 2, 1},
                        {1400, 2, 1, 1}, {1400, 3, 2, 1}, {1400, 4, 2, 2}, {1400, 5, 3, 2},
                        {2300, 2, 1, 1}, {2300, 3, 2, 1}, {2300, 4, 2, 2}, {2300, 5, 3, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.presses << " presses " << c.gapMs << " ms apart");
    log.words.clear();
    const int records = rig.sink.scopeRecords;
    press(1);
    ASSERT_TRUE(until([&] { return acq.runState() == RunState::Measuring; }, 1000));
    advance(600);
    std::string pending;  // which presses found the stop under way
    for (int k = 2; k <= c.presses; ++k) {
      if (k > 2) advance(c.gapMs);
      pending += acq.stopPending() ? 'p' : '-';
      press(k);
    }
    ASSERT_TRUE(until([&] { return settled(c.presses); }, 20000)) << pending;
    EXPECT_EQ(log.count("*RUN"), c.runs) << pending;
    EXPECT_EQ(log.count("ZZZZ"), c.stops) << pending;
    // Every record the device measured is kept, the stopped ones too.
    EXPECT_EQ(rig.sink.scopeRecords - records, c.runs - c.presses % 2) << pending;
    if (c.presses % 2) {
      acq.stopClicked();
      ASSERT_TRUE(until([&] { return acq.runState() == RunState::Idle; }, 20000));
    } else {
      advance(3000);
      EXPECT_EQ(log.count("*RUN"), c.runs);
      EXPECT_EQ(acq.runState(), RunState::Idle);
    }
    EXPECT_EQ(log.runsWhileInFlight, 0);
    EXPECT_TRUE(acq.controlsEnabled());
  }
}

// A record of 1000 samples (10 ms, in within a poll): the first STOP the moment a run goes
// out, so its record is read at the next poll, 67 ms on; the presses after it 20 ms apart (all
// before that poll), 50 ms apart (the poll falls among them) or 300 ms apart (each after it).
// The run goes on from record to record between presses: only the words after the first STOP
// are counted.
TEST_F(StartStop, PressesAroundAPendingStopOfAShortRecordEndAsTheLastPress) {
  timebase(1000);
  // A double click: its second press stops the run the first one started, whether the run has
  // gone out yet (a hand's double click) or not (both presses at once).
  for (const bool sent : {false, true}) {
    SCOPED_TRACE(sent);
    log.words.clear();
    press(1);
    if (sent) {
      ASSERT_TRUE(until([&] { return log.count("*RUN") == 1; }, 1000));
    }
    press(2);
    ASSERT_TRUE(until([&] { return settled(2); }, 1000));
    advance(1000);
    EXPECT_EQ(log.count("*RUN"), sent ? 1 : 0);
    EXPECT_EQ(log.count("ZZZZ"), 1);
    EXPECT_EQ(acq.runState(), RunState::Idle);
  }
  struct Case {
    std::int64_t gapMs;
    int presses;
    const char* pending;  // which of the presses after the first STOP find it under way
    int runs, stops;      // written after the first STOP (runs -1: a run went on meanwhile)
  };
  const Case cases[] = {{20, 2, "", 0, 0},     {20, 3, "p", 1, 0},   {20, 4, "pp", 0, 0},
                        {20, 5, "ppp", 1, 0},  {50, 3, "p", 1, 0},   {50, 4, "p-", 1, 1},
                        {50, 5, "p--", 2, 1},  {300, 3, "-", 1, 0},  {300, 4, "--", -1, 1},
                        {300, 5, "---", -1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.presses << " presses " << c.gapMs << " ms apart");
    press(1);
    // Some records go by, then STOP as the next run goes out.
    advance(500);
    const int runsBefore = log.count("*RUN");
    ASSERT_TRUE(until([&] { return log.count("*RUN") > runsBefore; }, 1000));
    press(2);
    ASSERT_TRUE(acq.stopPending());
    const int runs = log.count("*RUN"), stops = log.count("ZZZZ");
    std::string pending;
    for (int k = 3; k <= c.presses; ++k) {
      advance(c.gapMs);
      pending += acq.stopPending() ? 'p' : '-';
      press(k);
    }
    ASSERT_TRUE(until([&] { return settled(c.presses); }, 3000)) << pending;
    EXPECT_EQ(pending, c.pending);
    if (c.runs >= 0) {
      EXPECT_EQ(log.count("*RUN") - runs, c.runs);
    }
    EXPECT_EQ(log.count("ZZZZ") - stops, c.stops);
    if (c.presses % 2) {
      acq.stopClicked();
      ASSERT_TRUE(until([&] { return acq.runState() == RunState::Idle; }, 3000));
    } else {
      const int settledRuns = log.count("*RUN");
      advance(1000);
      EXPECT_EQ(log.count("*RUN"), settledRuns);
      EXPECT_EQ(acq.runState(), RunState::Idle);
    }
    EXPECT_EQ(log.runsWhileInFlight, 0);
  }
}

// A device that takes the run and then falls silent, and the user's START, STOP, START, STOP:
// the stop ends once the device has been silent for a second and no run follows; with one
// more START exactly one run goes out then, and the silent device gets no other.
TEST_F(StartStop, ASilentDeviceCollectsNoRunTheLastPressDidNotAskFor) {
  timebase(131000);
  for (const int presses : {4, 5}) {
    SCOPED_TRACE(presses);
    log.words.clear();
    sim.device(0).setSilent(true);
    press(1);
    ASSERT_TRUE(until([&] { return acq.runState() == RunState::Measuring; }, 1000));
    advance(600);
    for (int k = 2; k <= presses; ++k) {
      if (k > 2) advance(100);
      press(k);
      EXPECT_EQ(acq.startAfterStop(), k % 2 == 1);
    }
    ASSERT_TRUE(until([&] { return !acq.stopPending(); }, 5000));
    advance(5000);
    EXPECT_EQ(log.count("*RUN"), presses % 2 ? 2 : 1);
    EXPECT_EQ(log.count("ZZZZ"), 1);
    EXPECT_EQ(acq.runState(), presses % 2 ? RunState::Measuring : RunState::Idle);
    // The run the last START asked for waits on the silent device until it is stopped too.
    if (presses % 2) {
      acq.stopClicked();
      ASSERT_TRUE(until([&] { return acq.runState() == RunState::Idle; }, 5000));
      advance(5000);
      EXPECT_EQ(log.count("*RUN"), 2);
    }
    sim.device(0).setSilent(false);
    advance(2000);
  }
}

// A START that waits for a stop the device has gone quiet on (a record of 131000 samples at
// 20 us, STOP 0.6 s in, the next press 0.6 s later, past the polls that allow a repeat) only
// marks the run wanted: no second stop that would cut short the time the device still has
// for its record, and single shot as it was (the device window's F6 and the multi-device
// window tick it before their RUN). The multi-device window takes back a start it asked for
// when it gives the device back; the user's own stays.
TEST_F(StartStop, AStartDuringAQuietStopWritesNothingAndKeepsSingleShot) {
  timebase(131000);
  acq.desired().sampleTime = 2e-5f;
  acq.requestSettingsWrite();
  advance(1000);
  for (const bool fromOther : {false, true}) {
    SCOPED_TRACE(fromOther);
    log.words.clear();
    const int records = rig.sink.scopeRecords;
    acq.setSingleShot(true);
    press(1);
    ASSERT_TRUE(until([&] { return acq.runState() == RunState::Measuring; }, 1000));
    advance(600);
    press(2);
    advance(600);
    ASSERT_TRUE(acq.stopping());
    ASSERT_TRUE(acq.stopShow().stopAgain);
    acq.setSingleShot(true);
    fromOther ? acq.runNow() : acq.runClicked();
    EXPECT_TRUE(acq.startAfterStop());
    EXPECT_EQ(log.count("ZZZZ"), 1);
    EXPECT_TRUE(acq.singleShot());
    if (fromOther) {
      acq.dropStartAfterStop();
      EXPECT_FALSE(acq.startAfterStop());
      EXPECT_FALSE(acq.stopShow().pending && acq.stopShow().startAfter);
    } else {
      acq.dropStartAfterStop();  // not the multi-device window's
      EXPECT_TRUE(acq.startAfterStop());
    }
    ASSERT_TRUE(until([&] { return !acq.stopPending(); }, 10000));
    // The stopped run's record is its own, and the wanted single-shot run takes one more.
    EXPECT_EQ(rig.sink.scopeRecords - records, 1);
    advance(8000);
    EXPECT_EQ(log.count("ZZZZ"), 1);
    EXPECT_EQ(log.count("*RUN"), fromOther ? 1 : 2);
    EXPECT_EQ(rig.sink.scopeRecords - records, fromOther ? 1 : 2);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_TRUE(acq.singleShot());
    EXPECT_TRUE(acq.controlsEnabled());
  }
}

// A logger's run stopped, START pressed while it streams on to its end marker: closing and
// drawing the stream's file lets events run before the wanted run goes out, and a click
// there lands on STOP (the start still shown as waiting) and takes it back, writing nothing.
// Without a click the wanted run goes out once.
TEST_F(StartStop, AStartWaitingForALoggersEndIsShownUntilItIsActedOn) {
  for (ModeCode m : {kModeDLA0, kModeDLDI}) {
    for (const bool fourth : {true, false}) {
      SCOPED_TRACE(::testing::Message() << modeCodeText(m) << (fourth ? " 4" : " 3") << " presses");
      acq.selectMode(m);
      advance(1000);
      ASSERT_EQ(acq.mode(), m);
      acq.desired().sampleTime = 1e-3f;
      acq.desired().memoryDepth = 10000;
      acq.requestSettingsWrite();
      advance(1000);
      log.words.clear();
      const int ended = rig.sink.loggerEnded;
      press(1);
      advance(1000);
      ASSERT_EQ(acq.runState(), RunState::Measuring);
      press(2);
      press(3);
      ASSERT_TRUE(acq.startAfterStop());
      int clicked = 0;
      duringEvents = [&] {
        // The stream has ended; its file is still to be closed and drawn, or is being.
        if (!fourth || clicked || acq.runState() != RunState::Idle || !acq.startAfterStop())
          return;
        ++clicked;
        EXPECT_TRUE(acq.stopShow().startAfter);
        click();
      };
      ASSERT_TRUE(until([&] { return rig.sink.loggerEnded > ended; }, 3000));
      advance(1000);
      duringEvents = nullptr;
      EXPECT_EQ(clicked, fourth ? 1 : 0);
      EXPECT_EQ(log.count("ZZZZ"), 1);
      EXPECT_EQ(log.count("*RUN"), fourth ? 1 : 2);
      EXPECT_EQ(acq.runState(), fourth ? RunState::Idle : RunState::Measuring);
      EXPECT_FALSE(acq.startAfterStop());
      if (!fourth) {
        acq.stopClicked();
        ASSERT_TRUE(until([&] { return acq.runState() == RunState::Idle; }, 3000));
      }
      EXPECT_TRUE(acq.controlsEnabled());
    }
  }
}
