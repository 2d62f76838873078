// The soak run's figures: cycles and their records, and the event-loop stall the heartbeat
// sees, split at the first plot into start-up and steady run.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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
  // Only the steady run's stalls are counted, at their exact limits.
  EXPECT_EQ(s.stallsOver50(), 1u);
  EXPECT_EQ(s.stallsOver100(), 1u);
  s.tick(1590);  // 49 ms late
  s.tick(1650);  // 50 ms late
  s.tick(1759);  // 99 ms late
  EXPECT_EQ(s.stallsOver50(), 3u);
  EXPECT_EQ(s.stallsOver100(), 1u);
}

TEST(RunStats, KeepsTheLongestGapsOfTheSteadyRunLongestFirst) {
  TRunStats s;
  s.noteGap(100, 500, "start-up");  // before the first plot: not the steady run
  EXPECT_TRUE(s.longestGaps().empty());
  s.cycleDrawn();
  for (int i = 0; i < 20; ++i) s.noteGap(1000 + i, 20 + (i * 7) % 20, QString::number(i));
  ASSERT_EQ(s.longestGaps().size(), TRunStats::kGapsKept);
  for (std::size_t i = 1; i < s.longestGaps().size(); ++i)
    EXPECT_GE(s.longestGaps()[i - 1].ms, s.longestGaps()[i].ms);
  EXPECT_EQ(s.longestGaps().front().ms, 39);
  EXPECT_EQ(s.longestGaps().back().ms, 32);
  s.noteGap(5000, 32, "as short as the shortest kept");
  EXPECT_EQ(s.longestGaps().back().what, "16") << "a tie does not push out the older gap";
  s.noteGap(6000, 120, "the worst");
  EXPECT_EQ(s.longestGaps().front().atMs, 6000);
  EXPECT_EQ(s.stallCulprit(), "the worst");
  EXPECT_EQ(s.longestGaps().size(), TRunStats::kGapsKept);
}

TEST(RunStats, TextHasOneKeyAndValuePerLineAndALinePerDevice) {
  TRunStats s;
  s.runStarted();
  s.recordTaken("TVS00002");
  s.recordTaken("TVS00001");
  s.runStarted();
  s.cycleDrawn();
  s.noteGap(4321, 37, "77 QWidget \"PN_Running\"");
  s.noteGap(5000, 21, "1 QTimer \"\" 10 ms");
  const std::string t = s.text(61234);
  EXPECT_EQ(t,
            "uptime_ms 61234\n"
            "cycles 1\n"
            "draws 1\n"
            "records 2\n"
            "records_pending 0\n"
            "devices 2\n"
            "stall_max_ms 0\n"
            "stall_startup_max_ms 0\n"
            "ticks 0\n"
            "stalls_over_50ms 0\n"
            "stalls_over_100ms 0\n"
            "stall_event 77 QWidget \"PN_Running\"\n"
            "gap 4321 37 77 QWidget \"PN_Running\"\n"
            "gap 5000 21 1 QTimer \"\" 10 ms\n"
            "device TVS00001 1\n"
            "device TVS00002 1\n");
}

// The soak's leak check follows this figure: it must count small blocks and mapped large ones
// alike, and fall back when they are freed (memory the allocator keeps cached is no leak).
namespace {
// The optimiser may drop an allocation nobody looks at.
void keep(const void* p) { asm volatile("" : : "g"(p) : "memory"); }
}  // namespace

TEST(RunStats, HeapInUseFollowsSmallAndLargeBlocksAndTheirRelease) {
  const std::int64_t before = tolv::heapInUseBytes();
  if (before < 0) GTEST_SKIP() << "the C library does not report its heap";
  std::vector<std::unique_ptr<char[]>> small;
  for (int i = 0; i < 4096; ++i) keep(small.emplace_back(new char[1024]).get());
  const std::int64_t withSmall = tolv::heapInUseBytes();
  EXPECT_GE(withSmall - before, 4096 * 1024);
  std::unique_ptr<char[]> large(new char[16 << 20]);
  keep(large.get());
  EXPECT_GE(tolv::heapInUseBytes() - withSmall, 16 << 20);
  large.reset();
  small.clear();
  EXPECT_LT(tolv::heapInUseBytes() - before, 1 << 20);

  // The statistics write the least reading between two writes: what stays, not a moment's peak.
  TRunStats s;
  EXPECT_EQ(s.takeHeapFloor(), -1);
  for (std::int64_t b : {300, -1, 200, 250}) s.heapSample(b);
  EXPECT_EQ(s.takeHeapFloor(), 200);
  EXPECT_EQ(s.takeHeapFloor(), -1) << "each write starts a new span";
  s.heapSample(400);
  EXPECT_EQ(s.takeHeapFloor(), 400);
}
