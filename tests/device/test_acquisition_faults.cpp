// Faults: failing driver calls, silent and chatty devices, garbage replies, logger streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string_view>
#include <utility>

#include "wire/wire.h"
#include "acq_rig.h"
#include "fake_device.h"

using namespace tolv;
using namespace tolv::test;

namespace {

// A device that answers the set-up commands at once and runs by script.
class Faults : public ::testing::Test {
 protected:
  ManualClock clock;
  FakeDriver drv{clock};
  Rig rig{clock, drv};
  TAcquisition& acq = rig.acq;
  SettingsReply device;
  std::function<void()> onRun;
  std::function<Bytes(WireCommand)> garbage;  // replaces every reply when set

  void SetUp() override {
    device.amplC0 = device.amplC1 = 10;
    device.memoryDepth = 10000;
    drv.onWrite = [this](const Bytes& b) {
      const WireCommand c = classifyCommand(b.data(), b.size());
      if (garbage && c != WireCommand::Stop) {
        drv.deliver(garbage(c), 10);
        return;
      }
      if (c == WireCommand::SetMode) drv.deliver(Bytes(b.begin() + 4, b.end()), 10);
      if (c == WireCommand::SettingsRead || c == WireCommand::SettingsWrite) {
        const auto r = device.toBytes();
        drv.deliver(Bytes(r.begin(), r.end()), 10);
      }
      if (c == WireCommand::Run && onRun) onRun();
    };
  }
  void advance(std::int64_t ms) { rig.hub.advance(ms); }
  // Booted in OSA0, with a depth the device reports after the start-up read.
  void bootWithDepth(float depth) {
    boot();
    device.memoryDepth = depth;
    acq.queue().add(makeSettingsReadCommand());
    rig.followUp.enable();
    advance(500);
  }
  // One cut record of a single shot whose rest the device keeps back; `idleMs` pass after its run.
  void recordWithoutItsRest(float depth, std::int64_t idleMs) {
    bootWithDepth(depth);
    acq.setSingleShot(true);
    onRun = [&] { drv.deliver(scopeData(131000, 1), 10); };
    acq.runClicked();
    advance(idleMs);
    ASSERT_EQ(rig.sink.scopeRecords, 1);
  }
  // The record handed over last: `samples` of scopeData counting up from `first`.
  void expectRecord(std::size_t samples, int first) {
    ASSERT_EQ(rig.sink.scope.size(), samples);
    const auto volts = [&](std::size_t i) {
      return acq.conversion().rawToVolts(0, std::uint16_t(first + int(i)));
    };
    EXPECT_NEAR(rig.sink.scope.front().ch0, volts(0), 1e-5);
    EXPECT_NEAR(rig.sink.scope.back().ch0, volts(samples - 1), 1e-5);
  }
  // From now on each record whose steps end is to be whole: 131000 samples of scopeData from
  // its number. Those that are count in `whole`.
  void countWholeRecords(int& whole) {
    rig.sink.onEvent = [this, &whole](const char* what) {
      if (std::string_view(what) != "scopeFinish") return;
      const auto r = std::uint16_t(rig.sink.scopeRecords);
      const auto is = [&](float v, int raw) {
        return std::fabs(v - acq.conversion().rawToVolts(0, std::uint16_t(raw))) < 1e-5;
      };
      const bool ok = rig.sink.scope.size() == 131000u && is(rig.sink.scope.front().ch0, r) &&
                      is(rig.sink.scope.back().ch0, r + 130999);
      EXPECT_TRUE(ok) << "record " << r;
      whole += ok;
    };
  }
  void boot(ModeCode mode = kModeOSA0) {
    acq.open([](SettingsRecord&) { return 2; });
    advance(1500);
    if (mode != kModeOSA0) {
      acq.selectMode(mode);
      advance(1000);
    }
    ASSERT_EQ(acq.mode(), mode);
    drv.writes.clear();
  }
};

TEST_F(Faults, FailedWritesWhileDraining) {
  boot();
  // Kind 2 fails: no reply is awaited, the next entry goes out on the next tick.
  acq.queue().add(makeSetModeCommand(kModeVMD0));
  acq.queue().add(makeSettingsReadCommand());
  drv.nextWriteStatus = kFtIoError;
  rig.followUp.start(10);
  advance(10);
  EXPECT_EQ(rig.link.writePanel(), TDeviceLink::PanelState::Red);
  EXPECT_EQ(rig.link.writePanelStatus(), 4u);
  EXPECT_EQ(acq.replyTag(), kTagNone);
  advance(rig.followUp.interval());
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SMd", "*SRd"}));

  // Kind 0 fails: the tag is set all the same and the window waits one interval.
  advance(500);
  drv.writes.clear();
  acq.queue().add(makeSettingsReadCommand());
  acq.queue().add(makeSettingsReadCommand());
  drv.nextWriteStatus = kFtIoError;
  rig.followUp.start(10);
  advance(10);
  EXPECT_EQ(acq.replyTag(), kTagSettings);
  EXPECT_EQ(drv.writes.size(), 1u);
  advance(112);
  EXPECT_EQ(drv.writes.size(), 1u);
  advance(1);
  EXPECT_EQ(drv.writes.size(), 2u);
  // The panel stays red after later successes.
  EXPECT_EQ(rig.link.writePanel(), TDeviceLink::PanelState::Red);

  // A settings write fails: part of it may have reached the device all the same, so the next
  // run reads the settings first rather than count its record from the ones before. (A read
  // answered at once first: the one given up above leaves the reply after it in doubt.)
  advance(500);
  acq.queue().add(makeSettingsReadCommand());
  advance(500);
  drv.writes.clear();
  acq.desired().memoryDepth = 3000;
  acq.onAccumulateSettingsTimer();
  drv.nextWriteStatus = kFtIoError;
  advance(500);
  acq.setSingleShot(true);
  acq.runClicked();
  advance(1000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SRd", "*RUN"}));
}

// A run command that could not be written measures nothing: the run ends at once with the
// failure on the Write panel, in every mode and also in a continuous run, and RUN works again.
TEST_F(Faults, FailedRunWriteEndsTheRun) {
  boot();
  for (const ModeCode m : {kModeOSA0, kModeVMD0, kModeDLA0}) {
    SCOPED_TRACE(modeCodeText(m));
    if (acq.mode() != m) {
      acq.selectMode(m);
      advance(1000);
      ASSERT_EQ(acq.mode(), m);
    }
    acq.setSingleShot(false);
    drv.writes.clear();
    // The logger run goes out behind its trigger write: fail the run command itself.
    drv.onWriteStatus = [](const Bytes& b) {
      return classifyCommand(b.data(), b.size()) == WireCommand::Run ? kFtIoError : kFtOk;
    };
    acq.runClicked();
    advance(1000);
    drv.onWriteStatus = nullptr;
    EXPECT_EQ(drv.count("*RUN"), 1);
    EXPECT_EQ(rig.link.writePanel(), TDeviceLink::PanelState::Red);
    EXPECT_EQ(rig.link.writePanelStatus(), std::uint32_t(kFtIoError));
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_EQ(acq.replyTag(), kTagNone);
    EXPECT_FALSE(acq.runInFlight());
    EXPECT_TRUE(acq.runEnabled());
    EXPECT_TRUE(acq.controlsEnabled());
    EXPECT_TRUE(rig.followUp.isActive());
    EXPECT_EQ(rig.sink.loggerRuns, 0);
    // No second run of its own: the failed one is not retried.
    advance(2000);
    EXPECT_EQ(drv.count("*RUN"), 1);
  }
  // RUN again: this one goes out and its record comes.
  acq.selectMode(kModeOSA0);
  advance(1000);
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(Bytes(40000, 0), 30); };
  acq.runClicked();
  advance(1000);
  EXPECT_EQ(rig.sink.scopeRecords, 1);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

TEST_F(Faults, SilentDeviceMidRecordKeepsMeasuringAndStopRepeats) {
  boot();
  onRun = [&] { drv.deliver(Bytes(12000, 1), 30); };
  acq.runClicked();
  advance(5000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_EQ(rig.link.accumulationFill(), 12000);
  EXPECT_EQ(drv.count("*RUN"), 1);
  acq.stopClicked();
  advance(1000);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 2);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_TRUE(runStateLook(acq.runState()).breakVisible);
  EXPECT_FALSE(acq.controlsEnabled());
}

TEST_F(Faults, ExtraBytesAfterARecordNeverReachTheNextOne) {
  boot();
  acq.setOverlap(true);
  int run = 0;
  onRun = [&] {
    ++run;
    Bytes b(40000);
    for (std::size_t i = 0; i < b.size(); i += 4) encodeScopeSample(std::uint16_t(run), 0, &b[i]);
    if (run == 1) b.insert(b.end(), 1000, 0xEE);  // 1000 bytes too many, in the same read
    if (run <= 2) drv.deliver(b, 30);
  };
  acq.runClicked();
  advance(1000);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  EXPECT_EQ(rig.sink.scope.size(), 10000u);
  EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, 2), 1e-5);
  EXPECT_NEAR(rig.sink.scope.back().ch0, acq.conversion().rawToVolts(0, 2), 1e-5);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
}

TEST_F(Faults, QueueAboveTheBufferIsReadInSlices) {
  boot();
  device.memoryDepth = 200000;  // more than the buffers hold in the scope mode
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(500);
  acq.setOverlap(true);
  int run = 0;
  onRun = [&] {
    ++run;
    if (run == 1) drv.deliver(Bytes(800000, 0x10), 30);
    if (run == 2) {
      Bytes b(524000);
      for (std::size_t i = 0; i < b.size(); i += 4) encodeScopeSample(7, 7, &b[i]);
      drv.deliver(b, 30);
    }
  };
  acq.runClicked();
  advance(1000);
  EXPECT_EQ(acq.expectedByteCount(), 524000);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  EXPECT_EQ(rig.sink.scope.size(), 131000u);
  EXPECT_NEAR(rig.sink.scope[0].ch0, acq.conversion().rawToVolts(0, 7), 1e-5);
  EXPECT_EQ(drv.rxSize(), 0u);
}

// A depth beyond the buffer from a device that sends only what the buffer holds: no rest of
// the record comes, and every later record is whole, whether the device answers the next run
// after a quiet tick or at once (with overlap the run goes out in the tick that completed the
// record; without, in the tick after).
TEST_F(Faults, NoRestOfACutRecordComingSwallowsNothingAfter) {
  bootWithDepth(200000);
  for (const bool overlap : {true, false})
    for (const std::int64_t delayMs : {300, 10}) {
      SCOPED_TRACE(testing::Message() << "overlap " << overlap << ", answer after " << delayMs);
      acq.setOverlap(overlap);
      int run = 0, wrong = 0;
      std::vector<std::int64_t> runAt, finishAt;
      onRun = [&] {
        ++run;
        runAt.push_back(clock.nowMs());
        if (run > 3) return;
        Bytes b(524000);
        for (std::size_t i = 0; i < b.size(); i += 4)
          encodeScopeSample(std::uint16_t(run), 0, &b[i]);
        drv.deliver(b, delayMs);
      };
      const int before = rig.sink.scopeRecords;
      rig.sink.onEvent = [&](const char* what) {
        if (std::string_view(what) != "scopeFinish") return;
        finishAt.push_back(clock.nowMs());
        const double v = acq.conversion().rawToVolts(0, std::uint16_t(rig.sink.scopeRecords - before));
        const auto& r = rig.sink.scope;
        wrong += r.size() != 131000u || std::fabs(r.front().ch0 - v) > 1e-5 ||
                 std::fabs(r.back().ch0 - v) > 1e-5;
      };
      acq.runClicked();
      advance(4000);
      EXPECT_EQ(rig.sink.scopeRecords - before, 3);
      EXPECT_EQ(wrong, 0);
      // Only the first cut record waits to learn that no rest comes; with overlap every later
      // run goes out in the steps of the record before.
      ASSERT_GE(runAt.size(), 3u);
      for (std::size_t k = overlap && delayMs == 300 ? 1 : 0; overlap && k < 2; ++k)
        EXPECT_LE(runAt[k + 1], finishAt[k]) << "record " << k;
      acq.stopClicked();
      advance(2000);
      ASSERT_EQ(acq.runState(), RunState::Idle);
      rig.sink.onEvent = nullptr;
    }
  // A command queued while such a record came goes out after it and its reply, sent at once,
  // is applied rather than dropped as the rest the device never sends.
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(Bytes(524000, 0), 10); };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 500));
  device.amplC0 = 2;
  acq.queue().add(makeSettingsReadCommand());
  advance(2000);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_EQ(acq.storedReply().amplC0, 2.0f);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
}

// The device that does send the rest of such a record, right after what the buffer holds and
// in slices: the rest is dropped and the next command's reply is the reply.
TEST_F(Faults, TheRestOfACutRecordIsDroppedBeforeTheNextReply) {
  bootWithDepth(200000);
  acq.setSingleShot(true);
  onRun = [&] {
    drv.deliver(Bytes(524000, 0), 10);
    for (int k = 1; k <= 4; ++k) drv.deliver(Bytes(69000, 0x44), 10 + 100 * k);
  };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 500));
  device.amplC0 = 2;
  acq.queue().add(makeSettingsReadCommand());
  advance(3000);
  ASSERT_EQ(rig.sink.scopeRecords, 1);
  EXPECT_EQ(acq.storedReply().amplC0, 2.0f);
  EXPECT_EQ(drv.rxSize(), 0u);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  // Known now to send it: the next command goes out at once and the rest is dropped by count.
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 500));
  device.amplC0 = 5;
  acq.queue().add(makeSettingsReadCommand());
  advance(3000);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  EXPECT_EQ(acq.storedReply().amplC0, 5.0f);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  // Then a run whose record may still come though the window gave it up: its write failed
  // after the bytes left, or it was stopped and stayed silent past its time. That record comes
  // in slices; no rest of a cut record is owed, yet the queued read waits for a quiet link.
  const auto recordInSlices = [&] {
    for (int k = 0; k < 16; ++k) drv.deliver(Bytes(50000, 0x44), 5 + 40 * k);
  };
  for (const bool failedWrite : {true, false}) {
    SCOPED_TRACE(failedWrite ? "failed run write" : "stopped run given up");
    drv.onWriteStatus = [&](const Bytes& b) {
      if (!failedWrite || classifyCommand(b.data(), b.size()) != WireCommand::Run) return kFtOk;
      recordInSlices();
      return kFtIoError;
    };
    onRun = nullptr;
    acq.runClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() != RunState::RunQueued; }, 500));
    if (!failedWrite) {
      acq.stopClicked();
      ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Idle; }, 2000));
      recordInSlices();
    }
    drv.onWriteStatus = nullptr;
    ASSERT_EQ(acq.runState(), RunState::Idle);
    device.amplC0 = failedWrite ? 1 : 20;
    acq.queue().add(makeSettingsReadCommand());
    advance(3000);
    EXPECT_EQ(acq.storedReply().amplC0, device.amplC0);
    EXPECT_EQ(rig.sink.scopeRecords, 2);
    EXPECT_EQ(drv.rxSize(), 0u);
  }
}

// A device whose rest of the first cut record starts only after the link was quiet for 500 ms
// looks as if it sent none. That rest then comes before the reply to the next command (late 0)
// or after it: either way it is dropped, never read as the reply, and the rest of the next
// record is counted on again, so it lands neither in a reply nor in a later record.
class LateRest : public Faults {
 protected:
  // split: the rest starts just before the reply's wait ends, its first read that long.
  void run(std::int64_t late, std::size_t split = 0) {
    bootWithDepth(200000);
    acq.setSingleShot(true);
    const auto base = drv.onWrite;
    bool armed = false;
    drv.onWrite = [&, base](const Bytes& b) {
      const bool rest = armed && classifyCommand(b.data(), b.size()) == WireCommand::SettingsRead;
      if (rest && split > 0) {
        drv.deliver(Bytes(split, 0x44), 100);
        drv.deliver(Bytes(276000 - split, 0x44), 120);
        const auto r = device.toBytes();
        drv.deliver(Bytes(r.begin(), r.end()), 125);  // behind the rest, past its wait
        armed = false;
        return;
      }
      if (rest && late == 0) drv.deliver(Bytes(276000, 0x44), 0);
      base(b);
      if (rest && late > 0) drv.deliver(Bytes(276000, 0x44), late);
      armed = armed && !rest;
    };
    std::uint16_t record = 1;
    onRun = [&] {
      drv.deliver(scopeData(131000, record), 10);
      for (int k = 0; record > 1 && k < 4; ++k) drv.deliver(Bytes(69000, 0x55), 110 + 100 * k);
    };
    for (; record <= 3; ++record) {
      acq.runClicked();
      ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 600));
      armed = record == 1;
      device.amplC1 = float(record + 1);
      acq.queue().add(makeSettingsReadCommand());
      advance(3000);
      SCOPED_TRACE(testing::Message() << "record " << record);
      ASSERT_EQ(rig.sink.scopeRecords, record);
      EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, record), 1e-5);
      EXPECT_EQ(acq.storedReply().amplC1, record == 1 && split > 0 ? 10.0f : float(record + 1));
      EXPECT_EQ(drv.rxSize(), 0u);
      EXPECT_EQ(acq.pendingDiscard(), 0u);
    }
  }

  // A continuous run whose cut records' rests come `firstMs` (the first) and `laterMs` (the
  // others) after the run, the buffered part 10 ms after it: a rest later than the link's quiet
  // time comes ahead of the next record. It never becomes that record's head, the device is
  // counted on to send its rests that late from then on, and no record is lost.
  void aheadOfTheNextRecord(std::int64_t firstMs, std::int64_t laterMs, bool overlap) {
    bootWithDepth(200000);
    acq.setOverlap(overlap);
    std::uint16_t record = 0;
    onRun = [&] {
      ++record;
      drv.deliver(scopeData(131000, record), 10);
      drv.deliver(Bytes(276000, 0x44), record == 1 ? firstMs : laterMs);
    };
    int whole = 0;
    countWholeRecords(whole);
    acq.runClicked();
    advance(8000);
    acq.stopClicked();
    advance(3000);
    ASSERT_GE(rig.sink.scopeRecords, 5);
    EXPECT_EQ(whole, rig.sink.scopeRecords);
    EXPECT_EQ(rig.sink.scopeRecords, int(record));
    EXPECT_EQ(drv.rxSize(), 0u);
    EXPECT_EQ(acq.pendingDiscard(), 0u);
  }
};
TEST_F(LateRest, BeforeTheNextReply) { run(0); }
TEST_F(LateRest, AfterTheNextReply) { run(300); }
TEST_F(LateRest, InAFirstReadBarelyLongerThanTheReply) { run(0, 61); }
TEST_F(LateRest, AheadOfTheNextRecord) { aheadOfTheNextRecord(610, 200, false); }
TEST_F(LateRest, AheadOfEveryNextRecord) { aheadOfTheNextRecord(810, 810, true); }

// A device that kept a rest back sends it only with the next command, a minute later: that
// minute is no delay to wait for next time. Its next rest kept back holds a queued read no
// longer than the quiet time after the record, not for a rest's longest delay.
TEST_F(LateRest, ARestKeptBackThroughALongIdleHoldsNoLaterCommandLong) {
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(200000, 60000));
  const auto base = drv.onWrite;
  bool restFirst = true;
  drv.onWrite = [&, base](const Bytes& b) {
    if (std::exchange(restFirst, false) &&
        classifyCommand(b.data(), b.size()) == WireCommand::SettingsRead)
      drv.deliver(Bytes(276000, 0x44), 0);
    base(b);
  };
  device.amplC1 = 3;
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(3000);
  ASSERT_EQ(acq.storedReply().amplC1, 3.0f);
  ASSERT_EQ(acq.pendingDiscard(), 0u);
  onRun = [&] { drv.deliver(scopeData(131000, 2), 10); };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 600));
  const std::int64_t ranAt = clock.nowMs();
  device.amplC1 = 4;
  acq.queue().add(makeSettingsReadCommand());
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.storedReply().amplC1 == 4.0f; }, 60000));
  EXPECT_EQ(rig.sink.scopeRecords, 2);
  EXPECT_LE(clock.nowMs() - ranAt, TAcquisition::kStaleQuietMs + 400);
}

// While the rest of a cut record is watched for, a reply given up as late and the next one are
// read together: the awaited reply is applied, and neither is taken for that rest.
TEST_F(LateRest, NotTwoRepliesReadTogether) {
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(200000, 3000));
  const auto base = drv.onWrite;
  int reads = 0;
  // Reads the device answers only with a later one, all at once (held), and reads whose
  // answer comes after the replies held so far and past its own wait (lateMs).
  std::vector<int> silent;
  std::int64_t lateMs = 0;
  Bytes held;
  std::vector<std::int64_t> writtenAt;
  drv.onWrite = [&, base](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::SettingsRead) return base(b);
    writtenAt.push_back(clock.nowMs());
    device.amplC1 = float(7 + reads);
    const auto r = device.toBytes();
    held.insert(held.end(), r.begin(), r.end());
    if (std::find(silent.begin(), silent.end(), reads) == silent.end()) {
      const std::size_t own = lateMs > 0 && held.size() > r.size() ? r.size() : 0;
      drv.deliver(Bytes(held.begin(), held.end() - std::ptrdiff_t(own)), reads == 0 ? 200 : 10);
      if (own > 0) drv.deliver(Bytes(r.begin(), r.end()), lateMs);
      held.clear();
    }
    ++reads;
  };
  acq.queue().add(makeSettingsReadCommand());
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(2000);
  ASSERT_EQ(reads, 2);
  EXPECT_EQ(acq.storedReply().amplC1, 8.0f);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  EXPECT_EQ(drv.rxSize(), 0u);
  // Two replies given up in a row come with the third, in one read: the third is applied.
  // Then two given up come alone while the next one is awaited (which comes past its wait):
  // dropped as late too, and the read after that goes out at once and is answered.
  for (const bool alone : {false, true}) {
    SCOPED_TRACE(alone ? "late replies alone" : "late replies with the awaited one");
    silent = {reads, reads + 1};
    lateMs = alone ? 150 : 0;
    const int first = reads;
    for (int k = 0; k < (alone ? 4 : 3); ++k) acq.queue().add(makeSettingsReadCommand());
    advance(2000);
    ASSERT_EQ(reads, first + (alone ? 4 : 3));
    EXPECT_EQ(acq.storedReply().amplC1, float(7 + reads - 1));
    EXPECT_LE(writtenAt.back() - writtenAt[writtenAt.size() - 2], 200);
    EXPECT_EQ(acq.pendingDiscard(), 0u);
    EXPECT_EQ(drv.rxSize(), 0u);
  }
  // The device drops one read given up, answers the next one given up only with the one after
  // it, in one read as long as the two given up: the newest reply is applied.
  int k = 0;
  drv.onWrite = [&, base](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::SettingsRead) return base(b);
    device.amplC1 = float(30 + k);
    const auto r = device.toBytes();
    if (k == 1) held.assign(r.begin(), r.end());
    if (k == 2) {
      held.insert(held.end(), r.begin(), r.end());
      drv.deliver(held, 10);
    }
    ++k;
  };
  for (int i = 0; i < 3; ++i) acq.queue().add(makeSettingsReadCommand());
  advance(2000);
  ASSERT_EQ(k, 3);
  EXPECT_EQ(acq.storedReply().amplC1, 32.0f);
  EXPECT_EQ(drv.rxSize(), 0u);
  // A write given up, which the device answers only together with the one read that goes out
  // ahead of the next run, long after: both come in one read, the read's reply is applied and
  // neither is taken for the rest still watched for. The run follows, its record whole. The
  // reply the device dropped above was given up too long before to be counted still: the two
  // in one read tell by their length, and no further read goes out.
  held.clear();
  drv.onWrite = [&, base](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (c != WireCommand::SettingsWrite && c != WireCommand::SettingsRead) return base(b);
    device.amplC1 = c == WireCommand::SettingsWrite ? 40.0f : 41.0f;
    const auto r = device.toBytes();
    held.insert(held.end(), r.begin(), r.end());
    if (c == WireCommand::SettingsRead) drv.deliver(std::exchange(held, {}), 10);
  };
  const int readsBefore = drv.count("*SRd");
  acq.desired().amplC1 = 40;
  acq.onAccumulateSettingsTimer();
  advance(2000);
  EXPECT_EQ(acq.storedReply().amplC1, 32.0f);
  onRun = [&] { drv.deliver(scopeData(131000, 2), 10); };
  acq.runClicked();
  advance(3000);
  EXPECT_EQ(drv.count("*SRd"), readsBefore + 1);
  EXPECT_EQ(drv.words().back(), "*RUN");
  EXPECT_EQ(acq.storedReply().amplC1, 41.0f);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  ASSERT_NO_FATAL_FAILURE(expectRecord(131000, 2));
  EXPECT_EQ(drv.rxSize(), 0u);
}

// A device known to send the rest whose rest trickles in for longer than a record can take
// (here 46 s): when the wait for it ends, the next command goes out, but the rest still coming
// is dropped by its count, not read as that command's reply (which the device sends after it).
// Record 4's rest stops 36000 bytes short after 40 s, and record 6's never comes at all: what
// they still owe swallows neither the next reply nor the head of the next record, which the
// device sends with its own rest right behind it (records 5, 7 and 8), and no record is
// shifted by what was owed.
TEST_F(Faults, ARestStillComingWhenItsWaitEndsIsNotTakenAsAReply) {
  bootWithDepth(200000);
  acq.setSingleShot(true);
  std::int64_t restEnd = 0;
  const auto base = drv.onWrite;
  drv.onWrite = [&, base](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::SettingsRead ||
        clock.nowMs() >= restEnd)
      return base(b);
    const auto r = device.toBytes();
    drv.deliver(Bytes(r.begin(), r.end()), restEnd - clock.nowMs() + 5);
  };
  std::uint16_t record = 1;
  onRun = [&] {
    drv.deliver(scopeData(131000, record), 10);
    const int slices = record == 2 ? 460 : record == 4 ? 400 : record == 6 ? 0 : 1;
    const std::int64_t at = record >= 5 ? 10 : 410;
    for (int k = 0; k < slices; ++k)
      drv.deliver(Bytes(slices == 1 ? 276000 : 600, 0x44), at + 100 * k);
    restEnd = clock.nowMs() + at + 1 + 100 * std::max(0, slices - 1);
  };
  for (; record <= 8; ++record) {
    SCOPED_TRACE(testing::Message() << "record " << record);
    const bool trickle = record == 2 || record == 4;
    acq.runClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Measuring; }, 600));
    acq.queue().add(makeSettingsReadCommand());
    device.amplC1 = float(record + 1);
    // With nothing owed that may come ahead of it, a record is handed over as it comes. What
    // record 4's rest still owes may: record 5 waits until the count it brings tells.
    if (record == 5 || record == 8) {
      EXPECT_EQ(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == record; }, 150),
                record == 8);
    }
    if (record == 7) {
      // Stopped twice while it waits to tell whether the rest is at its head: it is in whole
      // all the same, and kept.
      advance(300);
      acq.stopClicked();
      advance(700);
      acq.stopClicked();
      acq.setSingleShot(true);  // STOP cleared it
    }
    advance(trickle ? 50000 : 5000);
    ASSERT_EQ(rig.sink.scopeRecords, record);
    ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
    // The reply that came behind the long rest came too late and was dropped; none was garbage.
    EXPECT_EQ(acq.storedReply().amplC1, trickle ? float(record) : float(record + 1));
    if (record != 4) {
      EXPECT_EQ(acq.pendingDiscard(), 0u);
    }
    EXPECT_EQ(drv.rxSize(), 0u);
    // Record 7's count leaves both readings (record 6's rest ahead, or its own behind) and
    // nothing tells: it is kept as it came, and the window says its start may be shifted.
    EXPECT_EQ(rig.host.headDoubtShown, record == 7);
  }
  EXPECT_EQ(rig.host.headInDoubt, 1);
}

// A device that sends the rest it kept back only with the next run, and then keeps the new
// record's rest back in turn: each run brings as many bytes as a record with its own rest right
// behind. The rest comes at once; a record only once its part after the trigger is measured
// (here 1 s), which tells the two apart: every record is whole, and so is one that, once the
// device has stopped owing, comes after that second with its own rest behind it. Where the
// timing tells nothing, the device's habit decides, or the window says the start is in doubt.
TEST_F(Faults, ARestKeptBackUntilTheNextRunLeavesEveryRecordsHead) {
  device.sampleTime = 1e-5f;
  device.triggerPoint = 50;
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(200000, 3000));
  std::uint16_t record = 2;
  std::int64_t recordMs = 10;
  bool oldRest = true;
  onRun = [&] {
    if (oldRest) drv.deliver(Bytes(276000, 0x44), 10);
    drv.deliver(scopeData(131000, record), recordMs);
  };
  const auto take = [&](std::int64_t ms) {
    acq.runClicked();
    advance(ms);
    ASSERT_EQ(rig.sink.scopeRecords, record);
    ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
    EXPECT_EQ(drv.rxSize(), 0u);
  };
  for (; record <= 4; ++record) {
    SCOPED_TRACE(testing::Message() << "record " << record);
    ASSERT_NO_FATAL_FAILURE(take(5000));
    // Its own rest comes with the next run, ahead of that record: the next command does not
    // wait for it behind this one.
    EXPECT_EQ(acq.pendingDiscard(), 0u);
  }
  EXPECT_EQ(rig.host.headInDoubt, 0);
  // Record 4's rest never comes; record 5 comes once measured, its rest right behind it.
  oldRest = false;
  recordMs = 1100;
  onRun = [&] {
    Bytes all = scopeData(131000, record);
    all.insert(all.end(), 276000, 0x55);
    drv.deliver(all, recordMs);
  };
  ASSERT_NO_FATAL_FAILURE(take(5000));
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  ++record;
  // Measured in no time: the count and the timing cannot tell, but the device was seen to send
  // its rests ahead. Then another device of that kind, never seen doing so: the window says so.
  device.sampleTime = 0;
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(500);
  onRun = [&] {
    if (oldRest) drv.deliver(Bytes(276000, 0x44), 10);
    drv.deliver(scopeData(131000, record), 10);
    oldRest = true;
  };
  ASSERT_NO_FATAL_FAILURE(take(5000));
  ++record;
  ASSERT_NO_FATAL_FAILURE(take(5000));
  EXPECT_EQ(rig.host.headInDoubt, 0);
  ++record;
  acq.linkLost(kFtIoError);
  ASSERT_EQ(acq.reconnect(), 0);
  advance(1500);
  device.memoryDepth = 200000;
  acq.queue().add(makeSettingsReadCommand());
  advance(500);
  oldRest = false;
  onRun = [&] { drv.deliver(scopeData(131000, record), 10); };
  ASSERT_NO_FATAL_FAILURE(take(5000));
  ++record;
  onRun = [&] {
    drv.deliver(Bytes(276000, 0x44), 10);
    drv.deliver(scopeData(131000, record), 10);
  };
  acq.runClicked();
  advance(5000);
  ASSERT_EQ(rig.sink.scopeRecords, record);
  EXPECT_EQ(rig.host.headInDoubt, 1);
  EXPECT_TRUE(rig.host.headDoubtShown);
  // That device keeps each rest back until the next command, whatever it is: the settings read
  // that goes out ahead of the next run brings the rest ahead of its reply, which tells, and no
  // later record is in doubt or shifted. Nor does any run clicked once the record before is in
  // wait for a rest behind it (the first waits for the read alone).
  std::size_t kept = 276000;
  const auto base = drv.onWrite;
  drv.onWrite = [&, base](const Bytes& b) {
    if (kept > 0) drv.deliver(Bytes(std::exchange(kept, 0), 0x44), 10);
    base(b);
  };
  onRun = [&] {
    drv.deliver(scopeData(131000, record), 10);
    kept = 276000;
  };
  for (++record; record <= 12; ++record) {
    SCOPED_TRACE(testing::Message() << "record " << record);
    const int runs = drv.count("*RUN");
    const std::int64_t clickAt = clock.nowMs();
    acq.runClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") > runs; }, 5000));
    EXPECT_LT(clock.nowMs() - clickAt, TAcquisition::kStaleQuietMs);
    ASSERT_TRUE(rig.hub.advanceUntil(
        [&] { return rig.sink.scopeRecords == record && acq.runState() == RunState::Idle; },
        5000));
    ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
  }
  advance(3000);
  EXPECT_EQ(drv.rxSize(), 0u);
  EXPECT_EQ(rig.host.headInDoubt, 1);
  EXPECT_FALSE(rig.host.headDoubtShown);
}

// The same kind of device in a continuous run: once a rest was seen to come only with the next
// run, ahead of its record (told by its timing), a record's run follows the one before at
// once, not after the link's quiet time, and every record is whole.
TEST_F(Faults, ARunAfterARecordWhoseRestComesWithItWaitsForNoQuietLink) {
  device.sampleTime = 1e-5f;
  device.triggerPoint = 50;
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(200000, 3000));
  acq.setSingleShot(false);
  std::uint16_t record = 1;
  std::vector<std::int64_t> runAt;
  onRun = [&] {
    runAt.push_back(clock.nowMs());
    drv.deliver(Bytes(276000, 0x44), 10);  // the rest kept back of the record before
    drv.deliver(scopeData(131000, ++record), 10);
  };
  int whole = 0;
  countWholeRecords(whole);
  acq.runClicked();
  advance(3000);
  acq.stopClicked();
  advance(1000);
  ASSERT_GE(runAt.size(), 6u);
  for (std::size_t i = 1; i < runAt.size(); ++i)
    EXPECT_LT(runAt[i] - runAt[i - 1], TAcquisition::kStaleQuietMs) << "run " << i + 1;
  EXPECT_EQ(whole, rig.sink.scopeRecords - 1);
  EXPECT_EQ(rig.host.headInDoubt, 0);
}

// A device seen to keep each cut record's rest back until its next command (the rest came
// ahead of a reply) and to keep a reply given up back as well: that reply comes ahead of the
// next run's record, and the run brings no more than it and the part the buffer holds, never
// more than the device sends for the record. The record is whole all the same, whether the
// read that fills it ends beyond its count or at it with its tail still to come. A command
// that goes out ahead of a run after such a record (a change made while the run waited) waits
// the quiet time from the record's end, as any other command does, in case the rest comes
// behind the record after all.
TEST_F(Faults, AReplyGivenUpAheadOfACutRecordWhoseRestIsKeptBackLeavesItsHead) {
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(200000, 3000));
  const auto base = drv.onWrite;
  bool restFirst = false, holdRead = false;
  Bytes held;
  drv.onWrite = [&, base](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (!held.empty()) drv.deliver(std::exchange(held, {}), 5);
    if (c != WireCommand::SettingsRead) return base(b);
    if (std::exchange(restFirst, false)) drv.deliver(Bytes(276000, 0x44), 0);
    if (!holdRead) return base(b);
    const auto r = device.toBytes();
    held.assign(r.begin(), r.end());
  };
  std::uint16_t record = 2;
  for (const bool atCount : {false, true}) {
    SCOPED_TRACE(atCount ? "the read ends at the record's count" : "the read goes beyond it");
    restFirst = true;
    acq.queue().add(makeSettingsReadCommand());
    rig.followUp.enable();
    advance(1000);
    ASSERT_EQ(acq.pendingDiscard(), 0u);
    holdRead = true;
    acq.queue().add(makeSettingsReadCommand());
    rig.followUp.enable();
    advance(600);
    holdRead = false;
    onRun = [&] {
      const Bytes data = scopeData(131000, record);
      const std::ptrdiff_t tail = atCount ? 60 : 0;
      drv.deliver(Bytes(data.begin(), data.end() - tail), 10);
      if (atCount) drv.deliver(Bytes(data.end() - tail, data.end()), 300);
    };
    acq.runClicked();
    advance(3000);
    ASSERT_EQ(rig.sink.scopeRecords, record);
    ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
    EXPECT_EQ(drv.rxSize(), 0u);
    ++record;
  }
  EXPECT_EQ(rig.host.headInDoubt, 0);
  // The record's rest is kept back: a change made while the next run waits goes out ahead of
  // it no sooner than the quiet time after the record.
  onRun = [&] { drv.deliver(scopeData(131000, record), 10); };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == record; }, 2000));
  ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
  const std::int64_t recordAt = clock.nowMs();
  ++record;
  const int writes = drv.count("*SWr");
  acq.runClicked();
  acq.desired().amplC1 = 5;
  acq.requestSettingsWrite();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*SWr") > writes; }, 2000));
  EXPECT_GE(clock.nowMs() - recordAt, TAcquisition::kStaleQuietMs);
  advance(3000);
  ASSERT_EQ(rig.sink.scopeRecords, record);
  ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
}

// The timing of a run's first bytes tells a rest from a record only with the settings the
// device holds now. Here a write has made it measure in no time, and neither its reply nor the
// read before the run came in time: the stored settings still reckon 1 s after the trigger.
// The record, with its own rest right behind it, came at once all the same; it is no rest
// ahead of a record: kept as it came, its start said to be in doubt.
TEST_F(Faults, StaleSettingsTellNothingOfWhereARecordStarts) {
  device.sampleTime = 1e-5f;
  device.triggerPoint = 50;
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(200000, 3000));
  const auto base = drv.onWrite;
  drv.onWrite = [&, base](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (c != WireCommand::SettingsWrite && c != WireCommand::SettingsRead) return base(b);
    device.sampleTime = 0;  // the write is taken; every reply comes past its wait
    const auto r = device.toBytes();
    drv.deliver(Bytes(r.begin(), r.end()), 400);
  };
  onRun = [&] {
    Bytes all = scopeData(131000, 2);
    all.insert(all.end(), 276000, 0x55);
    drv.deliver(all, 10);
  };
  acq.desired().sampleTime = 0;
  acq.onAccumulateSettingsTimer();
  drv.writes.clear();
  acq.runClicked();
  advance(6000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SRd", "*RUN"}));
  ASSERT_EQ(acq.storedReply().sampleTime, 1e-5f);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  ASSERT_NO_FATAL_FAILURE(expectRecord(131000, 2));
  EXPECT_EQ(rig.host.headInDoubt, 1);
  EXPECT_EQ(drv.rxSize(), 0u);
}

// A record just beyond the buffer keeps back a rest shorter than any read taken for a rest:
// when the read after a record in doubt brings it ahead of the settings reply, it is dropped,
// not read as the settings.
TEST_F(Faults, ASmallRestInDoubtIsNotReadAsTheSettings) {
  device.sampleTime = 0;  // the timing cannot tell
  device.triggerPoint = 50;
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(131040, 3000));
  std::uint16_t record = 2;
  std::size_t kept = 160;
  const auto base = drv.onWrite;
  drv.onWrite = [&, base](const Bytes& b) {
    if (kept > 0) drv.deliver(Bytes(std::exchange(kept, 0), 0x44), 10);
    base(b);
  };
  onRun = [&] {
    drv.deliver(scopeData(131000, record), 10);
    kept = 160;
  };
  for (; record <= 4; ++record) {
    SCOPED_TRACE(testing::Message() << "record " << record);
    acq.runClicked();
    advance(5000);
    ASSERT_EQ(rig.sink.scopeRecords, record);
    // Record 2 is the one in doubt, kept as it came; the read before record 3 tells.
    if (record > 2) {
      ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
    }
    EXPECT_EQ(acq.storedReply().memoryDepth, 131040.0f);
  }
  EXPECT_EQ(rig.host.headInDoubt, 1);
}

// A device known to send its rests right behind its records stops one short: 100000 of its
// 276000 bytes come, then nothing for longer than the quiet time, and the other 176000 come
// with the next run, ahead of that record (and its own rest behind it). They are no part of it.
TEST_F(Faults, ARestThatStoppedShortAndGoesOnWithTheNextRunLeavesItsHead) {
  bootWithDepth(200000);
  acq.setSingleShot(true);
  std::uint16_t record = 1;
  std::size_t restNow = 276000, restNext = 0;
  onRun = [&] {
    if (restNext > 0) drv.deliver(Bytes(restNext, 0x44), 10);
    drv.deliver(scopeData(131000, record), 10);
    drv.deliver(Bytes(restNow, 0x55), 150);
  };
  for (; record <= 3; ++record) {
    SCOPED_TRACE(testing::Message() << "record " << record);
    acq.runClicked();
    advance(4000);
    ASSERT_EQ(rig.sink.scopeRecords, record);
    ASSERT_NO_FATAL_FAILURE(expectRecord(131000, record));
    EXPECT_EQ(drv.rxSize(), 0u);
    restNext = record == 2 ? 176000 : 0;
    restNow = record == 1 ? 100000 : 276000;
  }
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  EXPECT_EQ(rig.host.headInDoubt, 0);
}

// A depth one step past the buffer leaves a rest of 1000 bytes, which the device keeps back;
// the next record, of a depth the buffer holds, comes with that rest ahead of it, and its read
// that ends at the record's count is not its end: the record's tail comes after it.
TEST_F(Faults, ARestAheadOfARecordEndingAtItsCountLeavesItsHead) {
  ASSERT_NO_FATAL_FAILURE(recordWithoutItsRest(131250, 3000));
  device.memoryDepth = 10000;
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(500);
  ASSERT_EQ(acq.storedReply().memoryDepth, 10000.0f);
  onRun = [&] {
    Bytes all(1000, 0x44);
    const Bytes rec = scopeData(10000, 2);
    all.insert(all.end(), rec.begin(), rec.end());
    // A tick apart each, the second ending exactly at the record's count.
    drv.deliver(Bytes(all.begin(), all.begin() + 20000), 10);
    drv.deliver(Bytes(all.begin() + 20000, all.begin() + 40000), 80);
    drv.deliver(Bytes(all.begin() + 40000, all.end()), 150);
  };
  acq.runClicked();
  advance(3000);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  ASSERT_NO_FATAL_FAILURE(expectRecord(10000, 2));
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  // Nothing owed now: the next record, which ends at its count, is handed over at once.
  onRun = [&] { drv.deliver(scopeData(10000, 3), 10); };
  acq.runClicked();
  advance(150);
  EXPECT_EQ(rig.sink.scopeRecords, 3);
  expectRecord(10000, 3);
}

TEST_F(Faults, QueryFailureEndsTheTickAndDisconnectMidRecordDoesNotHang) {
  boot();
  onRun = [&] { drv.deliver(Bytes(20000, 3), 30); };
  acq.runClicked();
  advance(150);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  drv.nextQueryStatus = kFtIoError;
  const int reads = drv.reads;
  advance(67);
  EXPECT_EQ(drv.reads, reads);
  EXPECT_EQ(rig.link.readPanel(), TDeviceLink::PanelState::Red);

  drv.disconnected = true;
  advance(5000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_TRUE(rig.followUp.isActive());  // keeps polling
  acq.stopClicked();
  EXPECT_EQ(rig.link.writePanel(), TDeviceLink::PanelState::Red);
}

TEST_F(Faults, GarbageRepliesForEveryTag) {
  boot();
  std::mt19937 rng(1234);
  garbage = [&](WireCommand) {
    Bytes b(rng() % 100);
    for (auto& x : b) x = std::uint8_t(rng());
    return b;
  };
  for (int round = 0; round < 30; ++round) {
    acq.queue().add(makeIdentificationCommand());
    acq.queue().add(makeSettingsReadCommand());
    acq.queue().add(makeSetModeCommand(kModeCodes[round % 8]));
    acq.queue().add(makeIoCounterCommand(std::uint32_t(round), 20, 30));
    rig.followUp.enable();
    advance(2000);
    EXPECT_EQ(acq.queue().count(), 0) << round;
    EXPECT_GE(modeIndex(acq.mode()), 0);
  }
  // Measurement garbage in each mode: a run always ends or keeps polling, never hangs.
  garbage = nullptr;
  for (ModeCode m : {kModeVMD1, kModeVMA0, kModeOSA0, kModeLAIO}) {
    acq.selectMode(m);
    advance(1000);
    onRun = [&] {
      Bytes b(rng() % 50000);
      for (auto& x : b) x = std::uint8_t(rng());
      drv.deliver(b, 10);
    };
    acq.setSingleShot(true);
    acq.runClicked();
    advance(2000);
    acq.stopClicked();
    advance(500);
  }
}

TEST_F(Faults, LoggerStreamEndsWithMarkerSplitAcrossReads) {
  device.triggerType = 'M';  // logger runs go out with the manual trigger
  boot(kModeDLA0);
  Bytes samples(4000);
  for (std::size_t i = 0; i < samples.size(); i += 4)
    encodeAnalogLoggerSample(0x1234, 0x4321, &samples[i]);
  onRun = [&] {
    Bytes first = samples;
    first.insert(first.end(), kEndMarker.begin(), kEndMarker.begin() + 10);
    drv.deliver(first, 30);
    drv.deliver(Bytes(kEndMarker.begin() + 10, kEndMarker.end()), 200);
  };
  acq.runClicked();
  advance(150);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_EQ(rig.sink.loggerRuns, 1);
  EXPECT_EQ(rig.sink.loggerEnded, 0);
  advance(300);
  EXPECT_EQ(rig.sink.loggerEnded, 1);
  EXPECT_EQ(rig.sink.loggerBytes, samples.size() + 16);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_EQ(drv.count("*RUN"), 1);  // a logger run is not repeated
}

TEST_F(Faults, IoLoggerMarkerAfterStrayFF) {
  device.triggerType = 'M';  // logger runs go out with the manual trigger
  boot(kModeDLDI);
  onRun = [&] {
    Bytes b(400, 0x12);
    b.push_back(0xFF);
    b.insert(b.end(), kEndMarker.begin(), kEndMarker.end());
    b.insert(b.end(), 5, 0x33);  // after the marker: still part of the chunk
    drv.deliver(b, 30);
  };
  acq.runClicked();
  advance(500);
  EXPECT_EQ(rig.sink.loggerEnded, 1);
  EXPECT_EQ(rig.sink.loggerBytes, 400u + 1 + 16 + 5);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

TEST_F(Faults, RecordAfterCloseQueryIsDiscarded) {
  boot();
  onRun = [&] { drv.deliver(Bytes(40000, 0), 200); };
  acq.runClicked();
  advance(100);
  acq.closeQuery();
  advance(1000);
  EXPECT_EQ(rig.sink.scopeRecords, 0);
}

}  // namespace

// A logger streams until it has the stop, so a stop that was lost must not lock STOP out: a
// ZZZZ whose write failed may go again at once, and one that went but did not take (the stream
// goes on) may go again after a while. Between those, presses send nothing.
TEST_F(Faults, LoggerStopThatWasLostCanBeSentAgain) {
  device.triggerType = 'M';
  boot(kModeDLA0);
  bool streaming = false;
  onRun = [&] { streaming = true; };
  const auto stream = [&](std::int64_t ms) {
    for (std::int64_t t = 0; t < ms; t += 50) {
      if (streaming) drv.deliver(Bytes(400, 0x11), 0);
      advance(50);
    }
  };
  acq.runClicked();
  stream(1000);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  drv.nextWriteStatus = kFtIoError;
  acq.stopClicked();  // the write fails
  EXPECT_EQ(drv.count("ZZZZ"), 1);
  EXPECT_TRUE(acq.stopShow().on);
  EXPECT_TRUE(acq.stopShow().stopAgain);
  acq.stopClicked();  // goes again at once, and is written
  EXPECT_EQ(drv.count("ZZZZ"), 2);
  EXPECT_FALSE(acq.stopShow().stopAgain);
  stream(1000);  // the device did not take it: the stream goes on
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 2);
  stream(1500);
  EXPECT_TRUE(acq.stopShow().stopAgain);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 3);
  // This one takes: the end marker comes and the run ends.
  streaming = false;
  drv.deliver(Bytes(kEndMarker.begin(), kEndMarker.end()), 10);
  advance(500);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_FALSE(acq.stopShow().on);
}
