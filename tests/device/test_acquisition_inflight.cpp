// One run command in flight at a time, a stop that holds whenever it comes, runs started at once
// for another window, and records stamped with the moment their last byte came.
#include <gtest/gtest.h>

#include "acq_rig.h"

using namespace tolv;
using namespace tolv::test;

namespace {

class InFlight : public AcqRig {
 protected:
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

// STOP drops a run queued behind a measurement: the record is discarded, nothing follows.
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
  EXPECT_EQ(rig.sink.scopeRecords, 0);
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

}  // namespace
