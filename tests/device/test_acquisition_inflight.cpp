// One run command in flight at a time, a stop that holds whenever it comes, runs started at once
// for another window, and records stamped with the moment their last byte came.
#include <gtest/gtest.h>

#include <set>

#include "acq_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

class InFlight : public AcqRig {
 protected:
  // The multi-device window ends a cycle once no device may still deliver (no run in flight,
  // no record's steps going). So a run found so at any moment window events run must never
  // deliver a record afterwards, or that record would open a cycle of its own.
  std::set<std::uint32_t> judgedOver;
  bool deliveredAfterJudgedOver = false;
  void SetUp() override {
    AcqRig::SetUp();
    rig.host.onProcessEvents = [this] {
      const std::uint32_t delivered = rig.sink.stamp.run;
      deliveredAfterJudgedOver = deliveredAfterJudgedOver || judgedOver.count(delivered) > 0;
      const std::uint32_t last = acq.runsWritten();
      if (!acq.runInFlight() && !acq.recordStepGoing() && last != delivered)
        judgedOver.insert(last);
    };
  }
  void TearDown() override {
    EXPECT_FALSE(deliveredAfterJudgedOver || judgedOver.count(rig.sink.stamp.run) > 0)
        << "run " << rig.sink.stamp.run << " delivered after it was judged over";
  }
  // Waits for the n-th run command to go out; returns the moment it did.
  std::int64_t untilRun(int n) {
    EXPECT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") >= n; }, 2000));
    return drv.writes.back().atMs;
  }
  // STOP handled inside the record's steps, with or without overlap.
  void stopInsideTheRecordSteps(bool overlap) {
    boot();
    acq.setSingleShot(true);  // as the multi-device window leaves it
    acq.setOverlap(overlap);
    onRun = [&] { drv.deliver(scopeData(10000, 7), 30); };
    rig.sink.onEvent = [&](const char* what) {
      if (std::string(what) == "scope") acq.stopClicked();
    };
    acq.runClicked();
    advance(1000);
    rig.sink.onEvent = nullptr;
    EXPECT_EQ(rig.sink.scopeRecords, 1);
    advance(3000);
    EXPECT_EQ(drv.count("*RUN"), 1);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_EQ(acq.queue().indexOfKind(kKindRun), -1);
    EXPECT_FALSE(acq.singleShot());
  }
};

// The record of a run: 10000 samples whose channel 0 counts up from `base`.
void expectRecordOf(const TLastRecordSink& sink, TAcquisition& acq, std::uint16_t base) {
  ASSERT_EQ(sink.scope.size(), 10000u);
  EXPECT_NEAR(sink.scope.front().ch0, acq.conversion().rawToVolts(0, base), 1e-5);
  EXPECT_NEAR(sink.scope.back().ch0, acq.conversion().rawToVolts(0, std::uint16_t(base + 9999)),
              1e-5);
}

// STOP handled while the record's steps let events run (the multi-device window's Break during
// a device's record steps): single shot is cleared by it, yet no next run is queued.
TEST_F(InFlight, StopDuringTheRecordStepsHolds) {
  stopInsideTheRecordSteps(false);
}

TEST_F(InFlight, StopDuringTheRecordStepsHoldsWithOverlap) {
  stopInsideTheRecordSteps(true);
}

// A run asked for while the last one is still measuring waits: the state stays Measuring, the
// bytes still coming stay that record's, and the new run goes out once it is complete.
TEST_F(InFlight, ARunAskedForWhileMeasuringWaitsForTheRecord) {
  boot();
  acq.setSingleShot(true);
  const Bytes data = scopeData(10000, 100);
  onRun = [&] {
    if (drv.count("*RUN") > 1) return;
    drv.deliver(Bytes(data.begin(), data.begin() + 13), 30);
    drv.deliver(Bytes(data.begin() + 13, data.end()), 150);
  };
  acq.runNow();
  advance(100);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  ASSERT_EQ(rig.link.accumulationFill(), 13);
  acq.runClicked();
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_EQ(acq.queue().indexOfKind(kKindRun), 0);
  advance(60);
  EXPECT_EQ(drv.count("*RUN"), 1);
  advance(200);
  EXPECT_EQ(rig.sink.scopeRecords, 1);
  expectRecordOf(rig.sink, acq, 100);
  EXPECT_EQ(drv.count("*RUN"), 2);  // then the waiting run
}

// A RUN click handled while the run command's own state change lets events run cannot put a
// second run command in front of the record: the record that comes is whole and the one run
// asked for follows it.
TEST_F(InFlight, AClickWhileTheRunGoesOutCannotSplitItsRecord) {
  boot();
  acq.setSingleShot(true);
  int clicks = 0;
  rig.host.onProcessEvents = [&] {
    if (acq.runState() == RunState::Measuring && clicks == 0) {
      ++clicks;
      acq.runClicked();
    }
  };
  std::uint16_t base = 1000;
  onRun = [&] {
    drv.deliver(scopeData(10000, base), 20);
    base = std::uint16_t(base + 20000);
  };
  acq.runClicked();
  untilRun(1);
  advance(15);
  rig.host.onProcessEvents = nullptr;
  EXPECT_EQ(drv.count("*RUN"), 1);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  advance(1000);
  ASSERT_EQ(clicks, 1);
  EXPECT_EQ(rig.sink.scopeRecords, 2);
  EXPECT_EQ(drv.count("*RUN"), 2);
  expectRecordOf(rig.sink, acq, 21000);
}

// STOP drops a run queued behind a measurement: the record in flight is still kept, nothing
// follows it.
TEST_F(InFlight, StopDropsARunWaitingBehindTheMeasurement) {
  boot();
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(scopeData(10000, 0), 200); };
  acq.runClicked();
  untilRun(1);
  advance(100);
  acq.runClicked();
  ASSERT_EQ(acq.queue().indexOfKind(kKindRun), 0);
  acq.stopClicked();
  EXPECT_EQ(acq.queue().indexOfKind(kKindRun), -1);
  advance(2000);
  EXPECT_EQ(drv.count("*RUN"), 1);
  EXPECT_EQ(rig.sink.scopeRecords, 1);
  expectRecordOf(rig.sink, acq, 0);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

// For another window: the run command is written before runNow returns, with no window events
// run on the way; it waits while a reply is awaited, and it counts.
TEST_F(InFlight, RunNowWritesAtOnceAndLetsNoEventsRun) {
  boot();
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(scopeData(10000, 0), 30); };
  const int events = rig.host.processed;
  EXPECT_EQ(acq.runsWritten(), 0u);
  acq.runNow();
  EXPECT_EQ(drv.count("*RUN"), 1);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_EQ(rig.host.processed, events);
  EXPECT_EQ(acq.runsWritten(), 1u);
  EXPECT_TRUE(acq.runInFlight());
  acq.stopClicked();
  advance(1000);
  acq.setSingleShot(true);  // STOP cleared it
  // A settings read on its way: the run waits for its reply and the next tick.
  ASSERT_EQ(acq.runState(), RunState::Idle);
  acq.queue().add(makeSettingsReadCommand());
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() >= 0; }, 1000));
  acq.runNow();
  EXPECT_EQ(drv.count("*RUN"), 1);
  EXPECT_EQ(acq.runState(), RunState::RunQueued);
  advance(500);
  EXPECT_EQ(drv.count("*RUN"), 2);
  EXPECT_EQ(acq.runsWritten(), 2u);
  // A write that fails sends nothing and counts nothing.
  advance(2000);
  drv.nextWriteStatus = kFtIoError;
  acq.runNow();
  EXPECT_EQ(acq.runsWritten(), 2u);
  EXPECT_FALSE(acq.runInFlight());
}

// A record streaming in slowly is looked at again when its last byte is due at the pace seen,
// not a whole wait interval later; its stamp is when the last byte came, its transfer time how
// long the bytes took, and the run it answers.
TEST_F(InFlight, TheStampIsWhenTheLastByteCame) {
  boot();
  acq.setSingleShot(true);
  const Bytes data = scopeData(10000, 0);
  std::int64_t t0 = 0;
  // 2000 bytes every 10 ms from 20 ms after the run command: the last ones at 210 ms.
  onRun = [&] {
    t0 = clock.nowMs();
    for (int i = 0; i < 20; ++i)
      drv.deliver(Bytes(data.begin() + 2000 * i, data.begin() + 2000 * (i + 1)), 20 + 10 * i);
  };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 1; }, 1000));
  // Ticks at 67, 134 and 201 ms; the next one when the rest is due, not at 268 ms.
  EXPECT_LE(clock.nowMs() - t0, 212);
  const RecordStamp& s = rig.sink.stamp;
  const DayTime start = acq.dayClock().at(t0 * 1000);
  EXPECT_NEAR(dtDiffSeconds(s.received, start), 0.210, 0.0015);
  // 40000 bytes at 2000 per 10 ms: 0.2 s on the link, so the first came at about 20 ms.
  EXPECT_NEAR(s.transfer, 0.2, 0.015);
  EXPECT_EQ(s.run, 1u);
  EXPECT_EQ(acq.lastStamp().run, 1u);
}

// A device that stalls in the middle of a record is polled at the usual pace again, not every
// millisecond.
TEST_F(InFlight, AStalledRecordIsPolledAtTheUsualPace) {
  boot();
  const Bytes data = scopeData(10000, 0);
  onRun = [&] {
    for (int i = 0; i < 10; ++i)
      drv.deliver(Bytes(data.begin() + 2000 * i, data.begin() + 2000 * (i + 1)), 20 + 10 * i);
  };
  acq.runClicked();
  advance(400);
  const int queries = drv.queries;
  advance(1000);
  EXPECT_LE(drv.queries - queries, 1000 / 67 + 2);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
}

// A record that comes in one read has no pace: it was received when it was read, in no time.
TEST_F(InFlight, ARecordInOneReadIsStampedWhenRead) {
  boot();
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(scopeData(10000, 0), 30); };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 1; }, 1000));
  EXPECT_EQ(dtDiffSeconds(rig.sink.stamp.received, acq.dayClock().now()), 0.0);
  EXPECT_EQ(rig.sink.stamp.transfer, 0.0);
}

// A record that comes while another device's record steps hold the thread is dated when a peek
// first saw it whole, not when its own tick gets round to it; a peek at a record still coming
// in, or a later peek, does not date it.
TEST_F(InFlight, ARecordSeenWholeByAPeekIsStampedThen) {
  boot();
  acq.setSingleShot(true);
  const Bytes data = scopeData(10000, 0);
  onRun = [&] {
    drv.deliver(Bytes(data.begin(), data.begin() + 100), 20);
    drv.deliver(Bytes(data.begin() + 100, data.end()), 30);
  };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == 1; }, 1000));
  clock.advanceMs(25);  // part of it there: not yet
  TAcquisition::peekAll();
  clock.advanceMs(15);
  TAcquisition::peekAll();
  const DayTime seen = acq.dayClock().now();
  clock.advanceMs(300);  // another device's record steps
  TAcquisition::peekAll();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 1; }, 1000));
  EXPECT_EQ(dtDiffSeconds(rig.sink.stamp.received, seen), 0.0);
  // The next record starts without the old peek.
  acq.setSingleShot(true);
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 2; }, 1000));
  EXPECT_EQ(dtDiffSeconds(rig.sink.stamp.received, acq.dayClock().now()), 0.0);
}

}  // namespace

namespace {

// A continuous run passes Idle between a record and the next run without letting window events
// run there: STOP and RUN share one spot, and a click handled in that gap would land on RUN.
// Events do run once the next run is queued, where STOP shows.
TEST_F(InFlight, AContinuousRunLetsNoEventsRunWhileIdleBetweenRecords) {
  boot();
  onRun = [&] { drv.deliver(scopeData(10000, 7), 30); };
  int idleEvents = 0, queuedEvents = 0;
  rig.host.onProcessEvents = [&] {
    if (acq.runState() == RunState::Idle) ++idleEvents;
    if (acq.runState() == RunState::RunQueued) ++queuedEvents;
  };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords >= 3; }, 3000));
  rig.host.onProcessEvents = nullptr;
  EXPECT_EQ(idleEvents, 0);
  EXPECT_GE(queuedEvents, 2);
  acq.stopClicked();
  advance(1000);
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

// A record is a measurement however STOP falls: one whole in the driver before the press (not
// read yet) and one that completes after it are kept, and no further run follows either.
TEST_F(InFlight, ARecordInHandOrCompletingAfterStopIsKept) {
  boot(kModeLAIO);
  for (const bool inHand : {true, false}) {
    SCOPED_TRACE(inHand ? "in hand" : "completing after");
    const int records = rig.sink.logicRecords;
    const int runs = drv.count("*RUN");
    onRun = [&] { drv.deliver(Bytes(20000, 0x5A), 30); };
    // While that record is saved and drawn the stop shows as finishing, not as over.
    StopShow during;
    rig.sink.onEvent = [&](const char* what) {
      if (std::string(what) == "logic") during = acq.stopShow();
    };
    acq.runClicked();  // continuous
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == runs + 1; }, 1000));
    advance(inHand ? 40 : 10);  // the next look is 67 ms after the run command
    ASSERT_EQ(rig.sink.logicRecords, records);
    acq.stopClicked();
    advance(1000);
    EXPECT_EQ(rig.sink.logicRecords, records + 1);
    EXPECT_EQ(during, (StopShow{true, 100, false, true}));
    EXPECT_FALSE(acq.stopShow().on);
    EXPECT_EQ(drv.count("*RUN"), runs + 1);
    EXPECT_EQ(drv.count("ZZZZ"), 1);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_TRUE(acq.controlsEnabled());
    drv.writes.clear();
  }
}

// A record that trickles in and never completes: a second STOP is written once the stop has
// had about 2 s (30 polls) to take, not before; a record coming at the link's pace gets no
// second one (see the simulated long record).
TEST_F(InFlight, ASecondStopGoesOutWhileARecordTrickles) {
  boot();
  bool trickling = false;
  onRun = [&] { trickling = true; };
  const auto trickle = [&](std::int64_t ms) {
    for (std::int64_t t = 0; t < ms; t += 10) {
      if (trickling) drv.deliver(Bytes(2, 0x11), 0);
      advance(10);
    }
  };
  acq.runClicked();
  trickle(1000);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  ASSERT_GT(rig.link.accumulationFill(), 0);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 1);
  trickle(29 * 67);
  EXPECT_FALSE(acq.stopShow().stopAgain);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 1);
  trickle(2 * 67);
  EXPECT_TRUE(acq.stopShow().stopAgain);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 2);
  EXPECT_FALSE(acq.stopShow().stopAgain);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 2);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
}

// A stopped device that stays silent with nothing of its record come has lost it: once the
// stop has had the record's length (10000 x 100 us) and 1 s more, the run ends in Idle. Bytes
// of that run still coming then are dropped: the next run command waits until the link has
// been quiet for 500 ms, and its record is whole.
TEST_F(InFlight, AStoppedDeviceThatStaysSilentEndsTheRun) {
  boot();
  onRun = [&] {
    if (drv.count("*RUN") > 1) drv.deliver(scopeData(10000, 300), 30);
  };
  acq.runClicked();
  advance(3000);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  const std::int64_t stopAt = clock.nowMs();
  acq.stopClicked();
  rig.hub.advanceUntil([&] { return clock.nowMs() >= stopAt + 1990; }, 3000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Idle; }, 200));
  EXPECT_GE(clock.nowMs(), stopAt + 2000);
  EXPECT_TRUE(acq.controlsEnabled());
  EXPECT_FALSE(acq.runInFlight());
  // The lost run's record after all, a little late, while the next run is asked for.
  drv.deliver(scopeData(5000, 9), 100);
  acq.setSingleShot(true);
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == 2; }, 2000));
  EXPECT_GE(drv.writes.back().atMs, stopAt + 2000 + 100 + 500);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 1; }, 1000));
  expectRecordOf(rig.sink, acq, 300);
}

// On a slow time base a triggered record may come long after the stop (here 10000 x 10 ms),
// so a silent device is waited for that long; a second STOP, offered once it stayed quiet,
// ends the wait.
TEST_F(InFlight, ASecondStopEndsTheWaitForASilentDeviceOnASlowTimeBase) {
  device.sampleTime = 0.01f;
  boot();
  acq.runClicked();
  advance(3000);
  acq.stopClicked();
  advance(1000);
  EXPECT_TRUE(acq.stopShow().stopAgain);
  advance(5000);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  acq.stopClicked();
  EXPECT_EQ(drv.count("ZZZZ"), 2);
  advance(100);
  EXPECT_EQ(acq.runState(), RunState::Idle);

  // The wait after one stop is the part after the trigger in whole samples, counted as the
  // record's trigger moment counts them: 35 % of 10 samples leaves round(6.4999...) = 6 after
  // it (0.35 is not exact in binary), so at 2 s a sample the device is given up 1 s + 12 s
  // after the stop, not half a sample later.
  EXPECT_EQ(measuredAfterTrigger(35.0, 10.0, 10), 6);
  device.memoryDepth = 10;
  device.sampleTime = 2;
  device.triggerPoint = 35;
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(1000);
  ASSERT_EQ(acq.storedReply().triggerPoint, 35.0f);
  acq.runClicked();
  advance(1000);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  const std::int64_t stopAt = clock.nowMs();
  acq.stopClicked();
  rig.hub.advanceUntil([&] { return clock.nowMs() >= stopAt + 12990; }, 14000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Idle; }, 200));
  EXPECT_GE(clock.nowMs(), stopAt + 13000);
}

// Part of a record, then silence: the rest is waited for until the user stops again and the
// device stays silent 1 s after that stop as well; the part is no record.
TEST_F(InFlight, PartOfARecordThenSilenceEndsOneSecondAfterASecondStop) {
  boot();
  onRun = [&] { drv.deliver(Bytes(10000, 0x11), 30); };
  acq.runClicked();
  advance(1000);
  acq.stopClicked();
  advance(5000);
  ASSERT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_TRUE(acq.stopShow().stopAgain);
  acq.stopClicked();
  const std::int64_t again = clock.nowMs();
  rig.hub.advanceUntil([&] { return clock.nowMs() >= again + 990; }, 2000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.runState() == RunState::Idle; }, 200));
  EXPECT_EQ(rig.link.accumulationFill(), 0);
  EXPECT_EQ(rig.sink.scopeRecords, 0);
}

// A failed run write in a logger mode whose bytes reached the device after all: the stop sent
// with the failure ends the stream, and a device streaming on regardless holds the next
// command back for 2 s at most.
TEST_F(InFlight, AFailedLoggerRunWriteStopsTheDeviceAndHoldsCommandsBackTwoSecondsAtMost) {
  device.triggerType = 'M';
  boot(kModeDLDI);
  bool streaming = false;
  drv.onWriteStatus = [&](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::Run) return kFtOk;
    streaming = true;
    return kFtIoError;
  };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == 1; }, 1000));
  drv.onWriteStatus = nullptr;
  EXPECT_EQ(drv.words().back(), "ZZZZ");
  const std::int64_t failedAt = clock.nowMs();
  acq.runClicked();
  for (int t = 0; t < 300 && drv.count("*RUN") < 2; ++t) {
    if (streaming) drv.deliver(Bytes(2, 0x11), 0);
    advance(10);
  }
  ASSERT_EQ(drv.count("*RUN"), 2);
  EXPECT_GE(drv.writes.back().atMs, failedAt + 2000);
  EXPECT_LE(drv.writes.back().atMs, failedAt + 2200);
}

// A run write that failed after its bytes had left: the device measures and sends its record
// all the same, here 10 % slower than the link's nominal pace. Those bytes are dropped, not read
// as the reply to the next command, which waits until the link has been quiet for 500 ms, also
// when the record takes longer than the 2 s a logger's stream may hold commands back.
TEST_F(InFlight, ARecordOfAFailedRunWriteIsNotTakenAsTheNextReply) {
  device.memoryDepth = 40000;
  boot();
  std::int64_t recordAt = 0;  // when its last bytes come: 160000 bytes over 5.59 s
  drv.onWriteStatus = [&](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::Run) return kFtOk;
    const Bytes data = scopeData(40000, 0);
    for (int i = 0; i < 40; ++i)
      drv.deliver(Bytes(data.begin() + 4000 * i, data.begin() + 4000 * (i + 1)), 50 + 142 * i);
    recordAt = clock.nowMs() + 5588;
    return kFtIoError;
  };
  acq.setSingleShot(true);
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == 1; }, 1000));
  drv.onWriteStatus = nullptr;
  ASSERT_EQ(acq.runState(), RunState::Idle);
  device.memoryDepth = 2000;
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*SRd") == 1; }, 8000));
  EXPECT_GE(drv.writes.back().atMs, recordAt + 500);
  advance(1000);
  EXPECT_EQ(acq.storedReply().memoryDepth, 2000.0f);
  EXPECT_EQ(rig.sink.scopeRecords, 0);
}

// A run started for the multi-device window whose write failed: what can still come is the one
// record it may have started (10000 samples: 113 ms and 1.27 s at 4 bytes per 127 us, with half
// that and 1 s of slack) and a quiet 500 ms, so a device that sends on past that gets its next
// command then, not after 30 s; one that sends nothing (no record was started) gets it after the
// quiet 500 ms.
TEST_F(InFlight, AFailedRunWriteHoldsCommandsBackNoLongerThanItsRecordTakes) {
  EXPECT_EQ(TAcquisition::staleHoldMaxUs(kModeOSA0, 10000), 3'518'000);
  EXPECT_EQ(TAcquisition::staleHoldMaxUs(kModeLAIO, 10000), 2'565'500);
  EXPECT_EQ(TAcquisition::staleHoldMaxUs(kModeVMD1, 10000), 1'613'381);
  EXPECT_EQ(TAcquisition::staleHoldMaxUs(kModeDLA0, 10000), 2'000'000);
  boot();
  for (const bool sending : {true, false}) {
    SCOPED_TRACE(sending ? "device sends on" : "device silent");
    drv.onWriteStatus = [](const Bytes& b) {
      return classifyCommand(b.data(), b.size()) == WireCommand::Run ? kFtIoError : kFtOk;
    };
    acq.setSingleShot(true);
    const int srd = drv.count("*SRd");
    acq.runNow();
    drv.onWriteStatus = nullptr;
    ASSERT_EQ(acq.runState(), RunState::Idle);
    const std::int64_t failedAt = clock.nowMs();
    acq.queue().add(makeSettingsReadCommand());
    rig.followUp.enable();
    for (int t = 0; t < 600 && drv.count("*SRd") == srd; ++t) {
      if (sending) drv.deliver(Bytes(2, 0x11), 0);
      advance(10);
    }
    ASSERT_EQ(drv.count("*SRd"), srd + 1);
    const std::int64_t at = drv.writes.back().atMs;
    EXPECT_GE(at, failedAt + (sending ? 3518 : 500));
    EXPECT_LE(at, failedAt + (sending ? 3518 : 500) + 150);
    advance(1000);
  }
}

}  // namespace
