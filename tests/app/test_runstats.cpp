// The soak run's figures: cycles and their records, and the event-loop stall the heartbeat
// sees, split at the first plot into start-up and steady run.
#include <gtest/gtest.h>

#include <string>

#include "app/runstats.h"

using tolv::TRunStats;

TEST(RunStats, CyclesCountOnlyWhenTheNextRunStartsAndTakeTheirRecordsWithThem) {
  TRunStats s;
  s.recordTaken("TVS00001");  // before any run: not part of a cycle
  EXPECT_EQ(s.pendingRecords(), 1u);
  s.runStarted();
  EXPECT_EQ(s.cycles(), 0);
  EXPECT_EQ(s.pendingRecords(), 0u);
  s.recordTaken("TVS00001");
  s.recordTaken("TVS00002");
  s.cycleDrawn();
  EXPECT_EQ(s.cycles(), 0) << "a cycle ends with the next run, not with its plot";
  s.runStarted();
  EXPECT_EQ(s.cycles(), 1);
  EXPECT_EQ(s.records(), 2u);
  // A device that misses a cycle shows as records below cycles x devices.
  s.recordTaken("TVS00001");
  s.cycleDrawn();
  s.cycleDrawn();  // collecting time over, then the late plot again
  s.runStarted();
  EXPECT_EQ(s.cycles(), 2);
  EXPECT_EQ(s.records(), 3u);
  EXPECT_EQ(s.draws(), 3);
  EXPECT_EQ(s.recordsPerDevice().at("TVS00001"), 3u);
  EXPECT_EQ(s.recordsPerDevice().at("TVS00002"), 1u);
}

TEST(RunStats, StallIsTheLatenessBeyondTheIntervalSplitAtTheFirstPlot) {
  TRunStats s(10);
  s.tick(1000);  // the first tick only sets the start
  EXPECT_EQ(s.longestStartUpStallMs(), 0);
  s.tick(1010);  // on time
  EXPECT_EQ(s.longestStartUpStallMs(), 0);
  s.tick(1021);  // 1 ms late
  EXPECT_EQ(s.longestStartUpStallMs(), 1);
  s.tick(1400);  // start-up work: 369 ms late
  EXPECT_EQ(s.longestStartUpStallMs(), 369);
  EXPECT_EQ(s.longestStallMs(), 0);
  s.cycleDrawn();
  s.tick(1510);  // 100 ms late: exactly the soak limit
  s.tick(1520);
  EXPECT_EQ(s.longestStallMs(), 100);
  s.tick(1531);
  EXPECT_EQ(s.longestStallMs(), 100);
  EXPECT_EQ(s.longestStartUpStallMs(), 369);
  EXPECT_EQ(s.ticks(), 7u);
}

TEST(RunStats, TextHasOneKeyAndValuePerLineAndALinePerDevice) {
  TRunStats s;
  s.runStarted();
  s.recordTaken("TVS00002");
  s.recordTaken("TVS00001");
  s.runStarted();
  s.setStallCulprit("77 QWidget \"PN_Running\"");
  const std::string t = s.text(61234);
  EXPECT_EQ(t,
            "uptime_ms 61234\n"
            "cycles 1\n"
            "draws 0\n"
            "records 2\n"
            "records_pending 0\n"
            "devices 2\n"
            "stall_max_ms 0\n"
            "stall_startup_max_ms 0\n"
            "ticks 0\n"
            "stall_event 77 QWidget \"PN_Running\"\n"
            "device TVS00001 1\n"
            "device TVS00002 1\n");
}
