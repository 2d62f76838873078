// The collection cycle with fake device windows and hand-stepped timers.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "multi/multiplotfeed.h"
#include "multi_rig.h"
#include "plot/sampleseries.h"

namespace tolv::test {
namespace {

namespace fs = std::filesystem;

using MultiCollect = MultiRig;

TEST_F(MultiCollect, FillNamesRowsAndReportsAnEmptyFrame) {
  TMultiCollection& empty = make();
  EXPECT_EQ(empty.fill(), kMultiEmpty);
  EXPECT_EQ(empty.activate(), kMultiEmpty);
  EXPECT_EQ(empty.startRun(), TMultiCollection::kNoActive);
  EXPECT_EQ(empty.startRun(false), kMultiEmpty);
  EXPECT_EQ(empty.switchToScopeMode(), TMultiCollection::kNoActive);
  members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  TMultiCollection& c = make();
  EXPECT_EQ(c.fill(), 0);
  EXPECT_EQ(c.rowCount(), 5);
  EXPECT_EQ(c.rowName(3), "B2 K1");
  EXPECT_EQ(c.dornellName(4), "B2");
  EXPECT_EQ(c.row(4).factor, "1.0");
  // Nothing checked yet: activation finds nothing.
  EXPECT_EQ(c.activate(), kMultiEmpty);
  EXPECT_EQ(c.activeCount(), 0);
}

TEST_F(MultiCollect, DefaultColoursWithoutAScalingsFile) {
  members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  TMultiCollection& c = make();
  c.fill();
  hub_.advance(TMultiCollection::kColourRepaintMs);
  EXPECT_EQ(c.rowColour(1), 0xFF0000u);
  EXPECT_EQ(c.rowColour(2), 0x00FF00u);
  EXPECT_EQ(c.rowColour(3), 0x0A575Eu);
  EXPECT_EQ(c.rowColour(4), 0xF70A57u);
  EXPECT_FALSE(c.colourTimer().isActive());
}

TEST_F(MultiCollect, ActivationLinksTheCheckedDevicesAndSetsTheCollectTime) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 1000, 1e-6);
  FakeMember& b = members_.add(QStringLiteral("B2"), 20000, 1e-6);
  FakeMember& c3 = members_.add(QStringLiteral("C3"), 5000, 1e-3);
  TMultiCollection& c = make();
  c.fill();
  c.setItemChecked(0, true);
  c.setItemChecked(1, true);
  EXPECT_EQ(c.activate(), 0);
  EXPECT_EQ(c.activeCount(), 2);
  EXPECT_TRUE(a.active() && b.active());
  EXPECT_FALSE(c3.active());
  EXPECT_EQ(b.index(), 1);
  EXPECT_EQ(c3.index(), -1);
  // The record's own time and its transfer add up: 20000 x 1 us + 20000 x 127 us + 113 ms.
  EXPECT_EQ(c.collectTimeMs(), 2673);
  EXPECT_EQ(c.collectTimer().interval(), 2673);
  EXPECT_DOUBLE_EQ(TMultiCollection::collectingEstimate(1000, 1e-6), 0.001 + 0.127 + 0.113);
  // A slow record: 5000 x 1 ms needs 5.635 s before its last byte is in, more than the 5.113 s
  // a larger-of-both estimate gives.
  EXPECT_DOUBLE_EQ(TMultiCollection::collectingEstimate(5000, 1e-3), 5.0 + 0.635 + 0.113);
  EXPECT_EQ(c.statusRows().size(), 2u);
  EXPECT_EQ(c.switchToScopeMode(), 0);
  EXPECT_EQ(a.mode, "OSA0");
  EXPECT_EQ(c3.mode, "VMD0");
  // The activation's value comes from B2's record, and is no change to tell of.
  EXPECT_EQ(c.collectTimeSource().serial, "B2");
  EXPECT_EQ(c.collectTimeSource().depth, 20000);
  EXPECT_FALSE(c.collectTimeSource().changed);
  // A value the user typed, which the run replaces with the estimate: told, with what it was.
  a.owes = b.owes = false;
  c.collectTimeEdited(400);
  EXPECT_EQ(c.collectTimer().interval(), 400);
  c.runClicked();
  EXPECT_EQ(c.collectTimeMs(), 2673);
  EXPECT_TRUE(c.collectTimeSource().changed);
  EXPECT_EQ(c.collectTimeSource().previousMs, 400);
  c.breakClicked();
  hub_.advance(0);
  // A record grown since: the next run lengthens the time, its device named.
  a.setDepth(131000);
  c.collectTimeEdited(2673);
  EXPECT_FALSE(c.collectTimeSource().changed);
  c.runClicked();
  EXPECT_EQ(c.collectTimeMs(), 131 + 16637 + 113);
  EXPECT_EQ(c.collectTimeSource().serial, "A1");
  EXPECT_EQ(c.collectTimeSource().previousMs, 2673);
  EXPECT_TRUE(c.collectTimeSource().changed);
  // A run that keeps the value says nothing new; activating again starts afresh.
  c.breakClicked();
  hub_.advance(0);
  c.collectTimeEdited(c.collectTimeMs());
  c.runClicked();
  EXPECT_FALSE(c.collectTimeSource().changed);
  c.breakClicked();
  hub_.advance(0);
  a.setDepth(1000);
  c.activate();
  EXPECT_EQ(c.collectTimeMs(), 2673);
  EXPECT_FALSE(c.collectTimeSource().changed);
  // An activation with nothing checked leaves no device to name, nor a change to tell of.
  c.collectTimeEdited(400);
  c.runClicked();
  ASSERT_TRUE(c.collectTimeSource().changed);
  c.breakClicked();
  hub_.advance(0);
  for (int i = 0; i < c.itemCount(); ++i) c.setItemChecked(i, false);
  EXPECT_EQ(c.activate(), kMultiEmpty);
  EXPECT_FALSE(c.collectTimeSource().changed);
  EXPECT_TRUE(c.collectTimeSource().serial.isEmpty());
}

TEST_F(MultiCollect, OneActiveDeviceNeverStartsTheCollectTimer) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.runClicked();
  EXPECT_EQ(a.starts, 1);
  EXPECT_TRUE(a.singleShot);
  EXPECT_FALSE(a.plotSwitch);
  for (int cycle = 0; cycle < 3; ++cycle) {
    c.recordArrived(a.notice());
    EXPECT_FALSE(c.collectTimer().isActive());
    EXPECT_EQ(c.kernel().DataSetCount(), 2);
    EXPECT_TRUE(c.reRunTimer().isActive());
    hub_.advance(749);
    EXPECT_EQ(a.starts, 1 + cycle);
    EXPECT_TRUE(a.singleShot);  // between the cycles of a continuous run too
    hub_.advance(1);
    EXPECT_EQ(a.starts, 2 + cycle);
  }
  EXPECT_EQ(c.cyclesCount(), 3);
  // The device window's own single-shot choice comes back when the run ends, by Break or
  // after the one cycle of a single shot.
  c.breakClicked();
  EXPECT_FALSE(a.singleShot);
  c.recordArrived(a.notice());
  c.setSingleShot(true, true);
  c.runClicked();
  EXPECT_TRUE(a.singleShot);
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.running());
  EXPECT_FALSE(a.singleShot);
  // Activating during a run ends it as Break does: a device given back its continuous choice
  // is stopped, not left measuring by itself. Its record on the way still joins the cycle; the
  // activation takes effect once the cycle has ended.
  c.setSingleShot(false, true);
  c.runClicked();
  const int stops = a.stops;
  const int cycles = c.cyclesCount();
  c.activate();
  EXPECT_EQ(a.stops, stops + 1);
  EXPECT_FALSE(c.running());
  EXPECT_TRUE(c.cycleOpen());
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cyclesCount(), cycles + 1);
  EXPECT_FALSE(a.singleShot);
  // A tick put off to the cycle's end keeps the user's choice of visible windows (none here):
  // the new member is not left shown on top.
  c.setVisibleMode(0);
  ASSERT_FALSE(a.shown());
  c.runClicked();
  c.checkClicked(0, true);
  ASSERT_TRUE(c.cycleOpen());
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_TRUE(a.active());
  EXPECT_FALSE(a.shown());
}

TEST_F(MultiCollect, AMissingSecondRecordDrawsOneDeviceAndReRunsLater) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.setCollectTimeMs(500);
  c.runClicked();  // the estimate of the devices sets the collecting time again
  const int collect = c.collectTimeMs();
  c.recordArrived(a.notice());
  EXPECT_TRUE(c.collectTimer().isActive());
  EXPECT_EQ(view_.plotPage, 0);
  hub_.advance(collect - 1);
  EXPECT_EQ(c.cyclesCount(), 0);
  hub_.advance(1);
  EXPECT_EQ(c.cyclesCount(), 1);
  EXPECT_EQ(c.kernel().DataSetCount(), 2);
  EXPECT_EQ(c.kernel().Get(0)->name, "A1 K1");
  EXPECT_EQ(c.reRunTimer().interval(), 750);
  hub_.advance(749);
  EXPECT_EQ(a.starts, 1);
  hub_.advance(1);
  EXPECT_EQ(a.starts, 2);
}

// A window the user closed or opened during a continuous run stays so at each cycle's end:
// bringing it back took the focus from whatever the user was looking at, once a cycle.
TEST_F(MultiCollect, CycleEndsLeaveWindowsTheUserClosedOrOpened) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.setVisibleMode(3);
  c.runClicked();
  b.setShown(false);
  const int shows = a.showCalls + b.showCalls;
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_EQ(c.cyclesCount(), 1);
  EXPECT_FALSE(b.shown());
  EXPECT_EQ(a.showCalls + b.showCalls, shows);
  c.setVisibleMode(0);
  EXPECT_FALSE(a.shown() || b.shown());
  a.setShown(true);
  hub_.advance(c.reRunTimer().interval());
  ASSERT_EQ(a.starts, 2);
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_EQ(c.cyclesCount(), 2);
  EXPECT_TRUE(a.shown());
  EXPECT_FALSE(b.shown());
  // What the mode judges anew still changes: B2 left out of the run is shown in the mode
  // of the windows not in it once the next cycle ends.
  c.setVisibleMode(1);
  EXPECT_FALSE(a.shown() || b.shown());
  b.setActive(false);
  hub_.advance(c.reRunTimer().interval());
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  EXPECT_TRUE(b.shown());
  EXPECT_FALSE(a.shown());
}

TEST_F(MultiCollect, CompleteCycleScalesWritesAndSortsBySerial) {
  FakeMember& b = members_.add(QStringLiteral("B2"), 400);
  FakeMember& a = members_.add(QStringLiteral("A1"), 300);
  TMultiCollection& c = makeActive();
  c.setScaleCell(1, 2, QStringLiteral("2,0"));
  c.setScaleCell(1, 3, QStringLiteral("1"));
  c.setScaleCell(4, 1, QStringLiteral("A"));
  c.setScaleCell(4, 4, QStringLiteral("-1"));
  c.setScaleCell(4, 5, QStringLiteral("1"));
  const double b0 = b.ch1()[5];
  c.runClicked();
  const int shows = a.showCalls + b.showCalls;
  const int fronts = view_.fronts;
  c.recordArrived(b.notice());
  c.recordArrived(a.notice(100));
  EXPECT_EQ(c.receivedCount(), 2);
  // The cycle's end raises no window: in a continuous run nothing else stayed usable.
  EXPECT_EQ(a.showCalls + b.showCalls, shows);
  EXPECT_EQ(view_.fronts, fronts);
  EXPECT_FALSE(c.collectTimer().isActive());
  EXPECT_FALSE(c.reRunTimer().isActive());  // single shot
  EXPECT_DOUBLE_EQ(b.ch1()[5], b0 * 2 + 1);
  ASSERT_EQ(c.kernel().DataSetCount(), 4);
  EXPECT_EQ(c.kernel().Get(0)->name, "A1 K1");
  EXPECT_EQ(c.kernel().Get(3)->name, "B2 K2");
  // A1's channel 2 has the range -1 ... 1: two extra points at its last time; the samples
  // are an evenly spaced series.
  TGenD2DataSet* a2 = c.kernel().Get(1);
  ASSERT_TRUE(a2->series);
  ASSERT_EQ(a2->series->Count(), 300u);
  ASSERT_EQ(a2->points.Count(), 2);
  EXPECT_EQ(a2->PointCount(), 302);
  const double last = (300 - 1 - 200) * 1e-6;
  EXPECT_NEAR(a2->series->XOf(299).number, last, 1e-12);
  EXPECT_NEAR(a2->points.At(0).X.number, last, 1e-12);
  EXPECT_EQ(a2->points.At(0).Y.number, -1.0);
  EXPECT_EQ(a2->points.At(1).Y.number, 1.0);
  EXPECT_NEAR(a2->series->XOf(0).number, -200e-6, 1e-12);
  EXPECT_EQ(c.kernel().Get(0)->points.Count(), 0);  // no range: no extra points
  EXPECT_EQ(c.kernel().Get(0)->PointCount(), 300);
  EXPECT_EQ(a2->yAxis.unit, "A");
  EXPECT_EQ(c.cycleFiles().size(), 2);
  EXPECT_TRUE(fs::exists(intermediateFolder() / "A1.CSV"));
  EXPECT_EQ(c.statusRows()[1].serial, "A1");
  EXPECT_TRUE(c.statusRows()[1].filled);
  EXPECT_EQ(c.statusRows()[1].colour1, 0x0A575Eu);
  EXPECT_EQ(c.statusRows()[0].colour2, 0x00FF00u);
  EXPECT_EQ(a.scopePage, 1);
  EXPECT_FALSE(c.running());
}

TEST_F(MultiCollect, ARecordWithoutSamplesIsNotTakenIntoTheCycle) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 300);
  FakeMember& b = members_.add(QStringLiteral("B2"), 300);
  TMultiCollection& c = makeActive();
  c.runClicked();
  MultiRecordNotice empty = a.notice();
  empty.n = 0;
  empty.m = 0;
  c.recordArrived(empty);
  EXPECT_EQ(c.receivedCount(), 0);
  EXPECT_TRUE(c.cycleFiles().isEmpty());
  EXPECT_FALSE(fs::exists(intermediateFolder() / "A1.CSV"));
  // The devices' real records still make the cycle.
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  EXPECT_EQ(c.receivedCount(), 2);
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  EXPECT_EQ(c.cycleFiles().size(), 2);
}

TEST_F(MultiCollect, ARunWhoseOnlyRecordIsEmptyStillEnds) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 300);
  TMultiCollection& c = makeActive();
  c.runClicked();  // single shot
  MultiRecordNotice empty = a.notice();
  empty.n = 0;
  c.recordArrived(empty);
  ASSERT_TRUE(c.collectTimer().isActive());
  hub_.advance(c.collectTimeMs());
  EXPECT_FALSE(c.running()) << "Run would stay hidden for good";
}

TEST_F(MultiCollect, IntervalStatisticsStartWithDashes) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  TMultiCollection& c = makeActive();
  c.runClicked();
  c.recordArrived(a.notice());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c.statisticsText(i), " -- ");
  a.time = dtAddSeconds(a.time, 10);
  c.startRun(false);
  c.recordArrived(a.notice());
  EXPECT_EQ(c.statistics().Count(), 1);
  EXPECT_EQ(c.statisticsText(0), "1");
  // From record time to record time, the first interval too (not from the moment the first
  // record came in, which is later by its transfer).
  EXPECT_NEAR(c.statistics().Last(), 10.0, 1e-6);
  EXPECT_EQ(c.statisticsText(1), valueText(10.0, 4, QStringLiteral("s")));
  EXPECT_EQ(c.statisticsText(2), " -- ");
  a.time = dtAddSeconds(a.time, 70);
  c.startRun(false);
  c.recordArrived(a.notice());
  EXPECT_EQ(c.statistics().Count(), 2);
  EXPECT_NEAR(c.statistics().Maximum(), 70.0, 1e-6);
  EXPECT_EQ(c.statisticsText(4), valueText(c.statistics().Maximum(), 4, QStringLiteral("s")));
  EXPECT_TRUE(c.statisticsText(4).contains(QLatin1Char(':')));  // above a minute: as a time
  c.setSingleShot(true, true);  // a click resets
  EXPECT_EQ(c.cyclesCount(), 0);
  EXPECT_EQ(c.statisticsText(0), " -- ");
}

TEST_F(MultiCollect, AutostartUnchecksSingleShotAndVisibleModes) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = make();
  c.fill();
  EXPECT_TRUE(c.singleShot());
  c.setAutostart(true, true);
  EXPECT_FALSE(c.singleShot());
  c.setItemChecked(1, true);
  c.activate();
  c.setVisibleMode(0);
  EXPECT_FALSE(a.shown() || b.shown());
  c.setVisibleMode(1);
  EXPECT_TRUE(a.shown());
  EXPECT_FALSE(b.shown());
  c.setVisibleMode(2);
  EXPECT_FALSE(a.shown());
  EXPECT_TRUE(b.shown());
  c.setVisibleMode(3);
  EXPECT_TRUE(a.shown() && b.shown());
  c.switchToScopeMode();
  c.breakClicked();
  EXPECT_EQ(b.stops, 1);
  EXPECT_EQ(a.stops, 0);
}

TEST_F(MultiCollect, AutosaveWritesTheMergedFileBelowTheMultiFolder) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 200);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.setFixedPart(QStringLiteral("LineA"));
  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  const fs::path f = c.autoDataFileName();
  EXPECT_EQ(f.parent_path().parent_path(), multiFolder().parent_path());
  ASSERT_TRUE(fs::exists(f)) << f;
  EXPECT_EQ(f.filename().string().substr(6), "_LineA.CSV");
  // A second cycle within the same second keeps the first file.
  c.startRun(false);
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  fs::path second = f;
  second.replace_filename(f.stem().string() + "_1.CSV");
  EXPECT_TRUE(fs::exists(second)) << second;
  // A link put under a cycle's name while it collects (dangling: no check of the name sees it)
  // is neither written through nor replaced: the cycle takes the next free name.
  a.time = b.time = dtFromSeconds(739000.0 * 86400 + 3610.5);
  c.startRun(false);
  c.recordArrived(a.notice());
  const fs::path linked = c.autoDataFileName();
  ASSERT_NE(linked, f);
  const fs::path elsewhere = root_ / "elsewhere.CSV";
  fs::create_symlink(elsewhere, linked);
  c.recordArrived(b.notice());
  EXPECT_TRUE(fs::is_symlink(linked));
  EXPECT_FALSE(fs::exists(elsewhere));
  fs::path taken = linked;
  taken.replace_filename(linked.stem().string() + "_1.CSV");
  EXPECT_TRUE(fs::exists(taken)) << taken;
  // Read back and drawn: two devices, four data sets.
  c.clearImage();
  EXPECT_EQ(c.loadDataFile(f), 0);
  EXPECT_EQ(c.loaded().deviceCount, 2);
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  // A damaged file leaves the plot as it is.
  std::ofstream(root_ / "bad.CSV") << "A\t \t \r\nshort\r\n";
  EXPECT_EQ(c.loadDataFile(root_ / "bad.CSV"), kMultiFileTooShort);
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  EXPECT_EQ(c.loaded().deviceCount, 2);
}

// Clear image while a cycle collects takes the picture, not the cycle's records: one that came
// before it is in the autosaved merged file and its row tells of it, also as the cycle's only
// record, when the plot has nothing left to draw.
TEST_F(MultiCollect, ClearImageDuringACycleLosesNoRecord) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  FakeMember& d = members_.add(QStringLiteral("C3"), 100);
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.runClicked();
  c.recordArrived(a.notice(50));
  c.clearImage();
  EXPECT_EQ(c.kernel().DataSetCount(), 0);
  EXPECT_TRUE(c.statusRows()[0].filled);
  hub_.advance(c.collectTimeMs());
  ASSERT_FALSE(c.cycleOpen());
  const fs::path f = c.autoDataFileName();
  ASSERT_TRUE(fs::exists(f)) << f;
  TREADing r;
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  EXPECT_EQ(r.names, QStringList{"A1"});
  ASSERT_EQ(r.points.Count(), 1);
  EXPECT_EQ(r.points.At(0).Count(), 100);
  const auto& rows = c.statusRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].filled && rows[0].hasTriggerDelta && !rows[0].missing);
  EXPECT_NE(rows[0].colour1, kWhite);
  EXPECT_EQ(rows[0].triggerDelta, 0.0);
  EXPECT_TRUE(rows[1].missing && rows[2].missing);
  // With every record in: the cleared one's row has its delta against the others', and the
  // file (the next free name: same stamp) holds all three.
  b.time = dtAddSeconds(a.time, -0.002);
  d.time = a.time;
  c.startRun(false);
  c.recordArrived(a.notice(50));
  c.clearImage();
  c.recordArrived(b.notice(50));
  c.recordArrived(d.notice(50));
  ASSERT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  fs::path second = f;
  second.replace_filename(f.stem().string() + "_1.CSV");
  ASSERT_EQ(readMultiDataFile(second, '\t', r), 0);
  EXPECT_EQ(r.names, (QStringList{"A1", "B2", "C3"}));
  for (const MultiStatusRow& row : rows)
    EXPECT_TRUE(row.filled && row.hasTriggerDelta && !row.missing) << row.serial.toStdString();
  EXPECT_NEAR(rows[0].triggerDelta, 0.002, 1e-9);
  EXPECT_EQ(rows[1].triggerDelta, 0.0);
}

// A new size while a cycle collects (the window laid out, a file loaded meanwhile) leaves
// nothing of the records come so far beneath the cycle's picture: it is drawn on a clean one
// (whether the new size renders them meanwhile is not watched here).
TEST_F(MultiCollect, ANewSizeDuringACycleLeavesNoTraceInItsPicture) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 1000, 1e-6);
  FakeMember& b = members_.add(QStringLiteral("B2"), 5000, 1e-4);
  FakeMember& d = members_.add(QStringLiteral("C3"), 2000, 1e-3);
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, false);
  const auto resize = [&] { c.setImageSize(c.kernel().ImageWidth(), c.kernel().ImageHeight()); };
  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  c.recordArrived(d.notice());
  hub_.advance(TMultiCollection::kHeaderMs);
  const QImage whole = c.image();
  hub_.advance(TMultiCollection::kReRunMs - TMultiCollection::kHeaderMs);
  c.recordArrived(a.notice());
  resize();
  EXPECT_EQ(c.image(), whole);  // the last picture stays on show
  c.recordArrived(b.notice());
  c.recordArrived(d.notice());
  hub_.advance(TMultiCollection::kHeaderMs);
  EXPECT_EQ(c.image(), whole);
  hub_.advance(TMultiCollection::kReRunMs - TMultiCollection::kHeaderMs);
  // After Clear image nothing is on show to keep: what is drawn meanwhile is drawn over.
  c.recordArrived(a.notice());
  c.clearImage();
  c.recordArrived(b.notice());
  c.recordArrived(d.notice());
  hub_.advance(TMultiCollection::kHeaderMs);
  const QImage twoOfThree = c.image();
  hub_.advance(TMultiCollection::kReRunMs - TMultiCollection::kHeaderMs);
  c.recordArrived(a.notice());
  c.clearImage();
  c.recordArrived(b.notice());
  resize();  // B2 alone drawn
  c.recordArrived(d.notice());
  hub_.advance(TMultiCollection::kHeaderMs);
  EXPECT_EQ(c.image(), twoOfThree);
}

// An autosave that cannot write is told, once per run, and the run goes on.
TEST_F(MultiCollect, AFailingAutosaveIsToldOncePerRun) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 200);
  TMultiCollection& c = makeActive();
  // A file where the day folder would go: no merged file can be written below it.
  std::ofstream(root_ / "blocked") << "x";
  c.setDataFileFolder(root_ / "blocked");
  c.setAutosave(true);
  c.setSingleShot(false, false);
  std::vector<std::pair<fs::path, int>> told;
  c.onAutosaveFailed = [&](const fs::path& name, int rc) { told.emplace_back(name, rc); };
  c.runClicked();
  c.recordArrived(a.notice());
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].second, 0);
  EXPECT_EQ(told[0].first.parent_path().parent_path(), root_ / "blocked");
  EXPECT_TRUE(c.reRunTimer().isActive());
  hub_.advance(TMultiCollection::kReRunMs);
  c.recordArrived(a.notice());
  EXPECT_EQ(told.size(), 1u);
  EXPECT_EQ(c.cyclesCount(), 2);
  c.breakClicked();
  // A new run tells again.
  c.runClicked();
  c.recordArrived(a.notice());
  EXPECT_EQ(told.size(), 2u);
  c.breakClicked();
  // A device file that cannot be written (a folder in its place) is told apart, once per run:
  // it is no failure of the merged file, whose autosave goes on. Its record stays in the merged
  // file: the autosave of each cycle and a save by hand hold it.
  std::vector<std::pair<fs::path, int>> deviceTold;
  c.onDeviceFilesFailed = [&](const std::vector<DeviceFileFailure>& failed) {
    for (const DeviceFileFailure& f : failed) deviceTold.emplace_back(f.name, f.rc);
  };
  c.setDataFileFolder(root_ / "data");
  fs::remove(intermediateFolder() / "A1.CSV");
  fs::create_directories(intermediateFolder() / "A1.CSV");
  c.runClicked();
  c.recordArrived(a.notice());
  EXPECT_EQ(told.size(), 2u);
  ASSERT_EQ(deviceTold.size(), 1u);
  EXPECT_EQ(deviceTold[0].first, intermediateFolder() / "A1.CSV");
  EXPECT_NE(deviceTold[0].second, 0);
  EXPECT_TRUE(c.cycleFiles().isEmpty());
  EXPECT_TRUE(c.reRunTimer().isActive());
  hub_.advance(TMultiCollection::kReRunMs);
  c.recordArrived(a.notice());
  EXPECT_EQ(deviceTold.size(), 1u);
  EXPECT_EQ(c.cyclesCount(), 2);
  // The message names the device file, not a merged one.
  const QString said = multiDeviceFileProblem({{deviceTold[0].first, deviceTold[0].second}});
  EXPECT_TRUE(said.contains(pathText(intermediateFolder() / "A1.CSV"))) << said.toStdString();
  c.breakClicked();
  std::size_t autosaved = 0;
  for (const auto& e : fs::recursive_directory_iterator(root_ / "data"))
    autosaved += e.is_regular_file();
  EXPECT_EQ(autosaved, 2u);
  // A new run tells it again.
  c.runClicked();
  c.recordArrived(a.notice());
  ASSERT_EQ(deviceTold.size(), 2u);
  EXPECT_EQ(deviceTold[1].first, intermediateFolder() / "A1.CSV");
  c.breakClicked();
  ASSERT_EQ(c.saveDataFile(root_ / "m.CSV"), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(root_ / "m.CSV", '\t', r), 0);
  EXPECT_EQ(r.names, QStringList{QStringLiteral("A1")});
}

TEST_F(MultiCollect, SaveWithoutCycleDataWritesNothing) {
  members_.add(QStringLiteral("A1"));
  TMultiCollection& c = makeActive();
  EXPECT_EQ(c.saveDataFile(root_ / "x.CSV"), kMultiEmpty);
  EXPECT_FALSE(fs::exists(root_ / "x.CSV"));
}

TEST_F(MultiCollect, ScalingsSurviveCloseAndNextStart) {
  members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  {
    TMultiCollection& c = makeActive();
    c.setItemChecked(0, false);
    c.setScaleCell(3, 2, QStringLiteral("3.5"));
    c.setRowColour(2, 0x123456, true);
    EXPECT_TRUE(c.scalingsChanged());
    EXPECT_TRUE(c.closeQuery());
    EXPECT_FALSE(c.scalingsChanged());
  }
  TMultiCollection& d = make();
  d.fill();
  EXPECT_EQ(d.row(3).factor, "3.5");
  EXPECT_EQ(d.rowColour(2), 0x123456u);
  EXPECT_FALSE(d.itemChecked(0));
  EXPECT_TRUE(d.itemChecked(1));
  // Save as: the old file is kept aside.
  fs::path p = root_ / "Test.CSV";
  ASSERT_EQ(d.saveScalingsAs(p), 0);
  EXPECT_EQ(p.filename(), "Test_Scalings.TXT");
  fs::path q = root_ / "Test.CSV";
  ASSERT_EQ(d.saveScalingsAs(q), 0);
  EXPECT_TRUE(fs::exists(root_ / "Test_Scalings_1.TXT"));
  // A damaged file changes nothing.
  std::ofstream(root_ / "Bad_Scalings.TXT") << "V\r\n1\r\n0\r\n0\r\n0\r\nred\r\n";
  EXPECT_EQ(d.loadScalings(root_ / "Bad_Scalings.TXT"), kNotANumber);
  EXPECT_EQ(d.row(1).factor, "1.0");
  EXPECT_EQ(d.rowColour(1), defaultColour(1));
}

TEST_F(MultiCollect, ADevicePluggedInLaterKeepsTheTableEditsNotYetSaved) {
  members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  {
    // What was saved last: B2's first row scaled by 3.5.
    TMultiCollection& c = make();
    c.fill();
    c.setScaleCell(3, 2, QStringLiteral("3.5"));
    c.saveScalings(c.scalingsPath());
  }
  TMultiCollection& c = make();
  c.fill();
  ASSERT_EQ(c.row(3).factor, "3.5");
  // Edited, checked and coloured since, nothing saved yet.
  ASSERT_TRUE(c.setScaleCell(1, 2, QStringLiteral("2.5")));
  c.setScaleCell(3, 2, QStringLiteral("4.5"));
  c.setScaleCell(4, 1, QStringLiteral("mA"));
  c.setRowColour(2, 0x123456, true);
  c.setItemChecked(1, true);
  members_.add(QStringLiteral("C3"));
  EXPECT_EQ(c.fill(), 0);
  EXPECT_EQ(c.rowCount(), 7);
  EXPECT_EQ(c.row(1).factor, "2.5");
  EXPECT_EQ(c.row(3).factor, "4.5");
  EXPECT_EQ(c.row(4).unit, "mA");
  EXPECT_EQ(c.rowColour(2), 0x123456u);
  EXPECT_FALSE(c.itemChecked(0));
  EXPECT_TRUE(c.itemChecked(1));
  // The new device gets its rows from the file or the defaults.
  EXPECT_EQ(c.rowName(5), "C3 K1");
  EXPECT_EQ(c.row(5).factor, "1.0");
  EXPECT_FALSE(c.itemChecked(2));
  EXPECT_TRUE(c.scalingsChanged());
}

TEST_F(MultiCollect, ADeviceWithAGapBeforeItKeepsItsOwnScaleRows) {
  members_.add(QStringLiteral("A1"));
  members_.add(QStringLiteral("B2"));
  FakeMember& c3 = members_.add(QStringLiteral("C3"), 100);
  TMultiCollection& c = make();
  c.fill();
  c.setItemChecked(0, true);
  c.setItemChecked(2, true);
  c.activate();
  EXPECT_EQ(c3.index(), 1);
  c.setScaleCell(3, 1, QStringLiteral("B-unit"));
  c.setScaleCell(5, 1, QStringLiteral("C-unit"));
  c.setScaleCell(5, 2, QStringLiteral("10"));
  const double v = c3.ch1()[7];
  c.runClicked();
  c.recordArrived(c3.notice());
  EXPECT_DOUBLE_EQ(c3.ch1()[7], v * 10);
  EXPECT_EQ(c.kernel().Get(0)->yAxis.unit, "C-unit");
  EXPECT_EQ(c.statusRows()[1].colour1, defaultColour(5));
}

TEST_F(MultiCollect, StaleAndOversizedNoticesAreSafe) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 1000);
  TMultiCollection& c = makeActive();
  c.runClicked();
  MultiRecordNotice n = a.notice();
  n.index = 5;
  c.recordArrived(n);
  EXPECT_EQ(c.receivedCount(), 0);
  n = a.notice();
  n.n = 1 << 30;  // more than the published arrays hold
  c.recordArrived(n);
  EXPECT_EQ(c.kernel().Get(0)->PointCount(), TMultiCollection::kArrayLength);
}


// Break in a continuous run ends the run: neither the collecting time running out nor a record
// already on its way starts another cycle, and a pending re-run is dropped. Run starts again.
TEST_F(MultiCollect, BreakEndsAContinuousRun) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.runClicked();
  c.recordArrived(a.notice());
  ASSERT_TRUE(c.collectTimer().isActive());
  c.breakClicked();
  EXPECT_EQ(a.stops, 1);
  hub_.advance(c.collectTimeMs());
  EXPECT_EQ(c.cyclesCount(), 1);  // what arrived is still drawn
  EXPECT_FALSE(c.reRunTimer().isActive());

  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  c.recordArrived(b.notice());  // was already under way
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  EXPECT_FALSE(c.reRunTimer().isActive());

  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_TRUE(c.reRunTimer().isActive());
  c.breakClicked();  // between cycles
  hub_.advance(5000);
  EXPECT_EQ(a.starts, 3);
  EXPECT_EQ(b.starts, 3);
  EXPECT_FALSE(c.running());

  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  EXPECT_TRUE(c.reRunTimer().isActive());  // a new run goes on again
}


// Closing before the table was filled (no device plugged in, or a close during the start)
// must not replace the engineer's scalings file with an empty table.
TEST_F(MultiCollect, ClosingWithoutDeviceRowsKeepsTheScalingsFile) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  (void)a;
  {
    TMultiCollection& c = makeActive();
    c.setScaleCell(1, 2, QStringLiteral("3.5"));
    ASSERT_EQ(c.saveScalings(c.scalingsPath()), 0);
  }
  const fs::path p = multiFolder() / "Scalings.TXT";
  std::ifstream in(p, std::ios::binary);
  const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  members_.list.clear();
  TMultiCollection& c = make();
  c.fill();
  EXPECT_TRUE(c.closeQuery());
  std::ifstream again(p, std::ios::binary);
  const std::string after((std::istreambuf_iterator<char>(again)),
                          std::istreambuf_iterator<char>());
  EXPECT_EQ(after, before);
}


// Devices the engineer activates by hand are switched to the scope mode as the boot sequence
// does; a device left as voltmeter would never deliver a record.
TEST_F(MultiCollect, HandActivationSwitchesTheActiveDevicesToScopeMode) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  FakeMember& c3 = members_.add(QStringLiteral("C3"));
  TMultiCollection& c = make();
  c.fill();
  EXPECT_EQ(c.checkClicked(1, true), 0);
  EXPECT_EQ(b.mode, "OSA0");
  EXPECT_EQ(a.mode, "VMD0");
  EXPECT_EQ(c.activationNotice().switchedToScope, QStringList{QStringLiteral("B2")});
  EXPECT_FALSE(c.activationNotice().runEnded);
  c.setItemChecked(2, true);
  EXPECT_EQ(c.updateClicked(), 0);
  EXPECT_EQ(c3.mode, "OSA0");
  EXPECT_EQ(a.mode, "VMD0");
  // Said of the devices switched this time only, and until the next run.
  EXPECT_EQ(c.activationNotice().switchedToScope, QStringList{QStringLiteral("C3")});
  c.runClicked();
  EXPECT_TRUE(c.activationNotice().empty());
}

// While a run measures with them (a cycle open, or the next one due), the active devices' own
// windows start nothing: a run of their own would go into the cycle. A cycle Break left
// waiting for a record holds them until it ends; a device unticked has its RUN back at once.
TEST_F(MultiCollect, TheRunHoldsItsDevicesOwnRunsUntilItEnds) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  FakeMember& d = members_.add(QStringLiteral("C3"));
  TMultiCollection& c = make();
  c.fill();
  c.setItemChecked(0, true);
  c.setItemChecked(1, true);
  c.activate();
  EXPECT_FALSE(a.held || b.held || d.held);
  c.setSingleShot(false, true);
  c.runClicked();
  EXPECT_TRUE(a.held && b.held);
  EXPECT_FALSE(d.held);
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_TRUE(c.reRunTimer().isActive());
  EXPECT_TRUE(a.held && b.held);
  hub_.advance(TMultiCollection::kReRunMs);
  c.recordArrived(a.notice());
  c.breakClicked();
  ASSERT_TRUE(c.breakPending());
  EXPECT_TRUE(a.held && b.held);
  c.recordArrived(b.notice());
  hub_.advance(0);
  ASSERT_FALSE(c.cycleOpen());
  EXPECT_FALSE(a.held || b.held);

  // A tick between two cycles ends the run at once, and says so: each device of the run is
  // stopped once and no row waits for a record.
  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_TRUE(c.reRunTimer().isActive());
  const int stopsA = a.stops;
  EXPECT_EQ(c.checkClicked(1, false), 0);
  EXPECT_FALSE(c.running());
  EXPECT_FALSE(c.reRunTimer().isActive());
  EXPECT_EQ(a.stops, stopsA + 1);
  EXPECT_FALSE(a.held || b.held);
  EXPECT_TRUE(c.activationNotice().runEnded);
  for (const MultiStatusRow& row : c.statusRows()) EXPECT_FALSE(row.owed || row.busy);
  // Without a run a tick ends nothing.
  EXPECT_EQ(c.checkClicked(2, true), 0);
  EXPECT_FALSE(c.activationNotice().runEnded);
  c.runClicked();
  EXPECT_TRUE(a.held && d.held);
  EXPECT_FALSE(b.held);
}

// RUN while Break's cycle waits queues the run; RUN again once no record can come any more
// starts it directly, and the queued one is that run: it must not start another on top.
TEST_F(MultiCollect, ARunQueuedBehindBreakStartsOnlyOnce) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(true, true);
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  ASSERT_TRUE(c.breakPending());
  c.runClicked();
  ASSERT_TRUE(c.runQueued());
  b.owes = false;  // its record can no longer come; the poll has not looked yet
  const int startsA = a.starts;
  c.runClicked();
  EXPECT_EQ(a.starts, startsA + 1);
  EXPECT_FALSE(c.runQueued());
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  hub_.advance(1000);
  EXPECT_EQ(a.starts, startsA + 1);
  EXPECT_FALSE(c.running());
}

// A device its own window has put into another mode (a logger run between two multi-device
// runs, or between two cycles) is switched back to the scope mode before its next run: a
// logger's stream would never end the cycle. Devices in the scope mode are left alone.
TEST_F(MultiCollect, EveryRunPutsADeviceLeftInAnotherModeBackIntoScopeMode) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.switchToScopeMode();
  const int aSwitches = a.switches;
  b.mode = QStringLiteral("DLDI");
  c.setSingleShot(false, false);
  c.runClicked();
  EXPECT_EQ(b.modeAtStart, "OSA0");
  EXPECT_EQ(a.modeAtStart, "OSA0");
  EXPECT_EQ(a.switches, aSwitches);
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_TRUE(c.reRunTimer().isActive());
  b.mode = QStringLiteral("DLA0");
  hub_.advance(TMultiCollection::kReRunMs);
  EXPECT_EQ(b.starts, 2);
  EXPECT_EQ(b.modeAtStart, "OSA0");
  EXPECT_EQ(a.switches, aSwitches);
}

// A device whose own window keeps it in a run of another mode (a logger run going or queued)
// refuses the switch to the scope mode: it sits the cycle out, its run neither touched nor
// stopped, marked busy, and the cycle ends with the others' records at once. Told once per run;
// once its run is over it joins again. With no device free the run ends at once, saying so.
TEST_F(MultiCollect, ADeviceBusyWithARunOfItsOwnSitsTheCycleOut) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.switchToScopeMode();
  b.mode = QStringLiteral("DLA0");
  b.refuseSwitch = true;
  std::vector<std::pair<QStringList, bool>> told;
  c.onDevicesBusy = [&](const QStringList& s, bool ended) { told.emplace_back(s, ended); };
  c.setSingleShot(false, false);
  c.runClicked();
  EXPECT_EQ(a.starts, 1);
  EXPECT_EQ(b.starts, 0);
  EXPECT_FALSE(b.singleShot);
  EXPECT_TRUE(b.plotSwitch);
  EXPECT_TRUE(c.statusRows()[1].busy);
  EXPECT_FALSE(c.statusRows()[0].busy);
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_FALSE(c.collectTimer().isActive());
  EXPECT_EQ(b.stops, 0);
  EXPECT_FALSE(c.statusRows()[1].missing);
  EXPECT_EQ(c.reRunTimer().interval(), TMultiCollection::kReRunMs);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].first, QStringList{QStringLiteral("B2")});
  EXPECT_FALSE(told[0].second);
  hub_.advance(TMultiCollection::kReRunMs);
  EXPECT_EQ(a.starts, 2);
  c.recordArrived(a.notice());
  EXPECT_EQ(told.size(), 1u);
  b.refuseSwitch = false;
  hub_.advance(TMultiCollection::kReRunMs);
  EXPECT_EQ(b.modeAtStart, "OSA0");
  EXPECT_EQ(b.starts, 1);
  EXPECT_FALSE(c.statusRows()[1].busy);
  c.recordArrived(a.notice());
  EXPECT_TRUE(c.cycleOpen());
  c.recordArrived(b.notice());
  EXPECT_FALSE(c.cycleOpen());
  c.breakClicked();
  a.mode = QStringLiteral("DLDI");
  a.refuseSwitch = b.refuseSwitch = true;
  b.mode = QStringLiteral("DLA0");
  c.runClicked();
  EXPECT_FALSE(c.running());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.startRun(true), TMultiCollection::kAllBusy);
  ASSERT_GE(told.size(), 2u);
  EXPECT_EQ(told[1].first, (QStringList{QStringLiteral("A1"), QStringLiteral("B2")}));
  EXPECT_TRUE(told[1].second);
  hub_.advance(TMultiCollection::kCollectMs + TMultiCollection::kTriggerWaitMs);
  EXPECT_EQ(a.starts, 3);
  EXPECT_EQ(b.starts, 1);
  EXPECT_EQ(a.stops + b.stops, 2);  // Break's only
  // A busy device's row keeps the marks of its curves still drawn until a cycle's picture
  // replaces them.
  EXPECT_TRUE(c.statusRows()[1].filled);
  // The marks last as long as the devices' own runs: A's run ends, and its mark goes at the
  // next look, while B's stays.
  EXPECT_TRUE(c.statusRows()[0].busy);
  a.refuseSwitch = false;
  hub_.advance(TMultiCollection::kBusyPollMs - 1);
  EXPECT_TRUE(c.statusRows()[0].busy);
  hub_.advance(1);
  EXPECT_FALSE(c.statusRows()[0].busy);
  EXPECT_TRUE(c.statusRows()[1].busy);
  EXPECT_TRUE(c.busyTimer().isActive());
  const int bStopsBefore = b.stops;
  c.runClicked();
  EXPECT_TRUE(c.statusRows()[1].busy);
  EXPECT_TRUE(c.statusRows()[1].filled);
  EXPECT_TRUE(c.statusRows()[1].hasTriggerDelta);
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_FALSE(c.statusRows()[1].filled);
  EXPECT_FALSE(c.statusRows()[1].hasTriggerDelta);
  EXPECT_FALSE(c.statusRows()[1].missing);
  EXPECT_EQ(b.stops, bStopsBefore);
}

// A cycle is one run of every active device. A record that comes after its cycle was ended by
// the collecting time is late: it neither opens a cycle of its own nor joins the next cycle,
// whose file holds the records of that cycle's runs only.
TEST_F(MultiCollect, ALateRecordIsNeitherACycleNorPartOfTheNext) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 200);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.setAutosave(true);
  c.runClicked();
  const MultiRecordNotice bFirst = b.notice();  // B's record of run 1, on its way for long
  c.recordArrived(a.notice());
  hub_.advance(c.collectTimeMs());
  // Drawn and saved with what came; B marked and stopped, so its run ends.
  EXPECT_EQ(c.cyclesCount(), 1);
  ASSERT_EQ(c.cycleFiles().size(), 1);
  EXPECT_TRUE(fs::exists(c.autoDataFileName()));
  EXPECT_TRUE(c.statusRows()[1].missing);
  EXPECT_FALSE(c.statusRows()[0].missing);
  EXPECT_EQ(b.stops, 1);
  EXPECT_EQ(a.stops, 0);
  // Late, before the next cycle: no cycle of its own.
  c.recordArrived(bFirst);
  EXPECT_EQ(c.cyclesCount(), 1);
  EXPECT_EQ(c.receivedCount(), 1);
  hub_.advance(c.reRunTimer().interval());
  ASSERT_EQ(a.starts, 2);
  ASSERT_EQ(b.starts, 2);
  // Asked again, but the picture on screen is still the cycle without it, and its row says so.
  EXPECT_TRUE(c.statusRows()[1].missing);
  // Late, within the next cycle: not taken as that cycle's record of B.
  c.recordArrived(bFirst);
  EXPECT_EQ(c.receivedCount(), 0);
  c.recordArrived(a.notice());
  c.recordArrived(a.notice());  // a second record of A in one cycle is not taken either
  EXPECT_EQ(c.receivedCount(), 1);
  c.recordArrived(b.notice());
  EXPECT_EQ(c.cyclesCount(), 2);
  EXPECT_EQ(c.cycleFiles().size(), 2);
  EXPECT_FALSE(c.statusRows()[1].missing);
  // After its end nothing joins the cycle.
  c.recordArrived(b.notice());
  EXPECT_EQ(c.receivedCount(), 2);
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
}

// After a cycle cut by the collecting time the next pause is longer; once a cycle completes the
// normal pause is back.
TEST_F(MultiCollect, TheNormalReRunPauseReturnsOnceACycleCompletes) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.runClicked();
  c.recordArrived(a.notice());
  hub_.advance(c.collectTimeMs());
  EXPECT_EQ(c.reRunTimer().interval(), 750);  // 250 x 2 + 250
  hub_.advance(750);
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_TRUE(c.reRunTimer().isActive());
  EXPECT_EQ(c.reRunTimer().interval(), TMultiCollection::kReRunMs);
  // Three devices make the difference visible: 1000 ms after a cut cycle, 750 after a whole one.
  members_.add(QStringLiteral("C3"));
  TMultiCollection& d = makeActive();
  d.setSingleShot(false, true);
  d.runClicked();
  d.recordArrived(members_.list[0]->notice());
  hub_.advance(d.collectTimeMs());
  EXPECT_EQ(d.reRunTimer().interval(), 1000);
  hub_.advance(1000);
  for (auto& m : members_.list) d.recordArrived(m->notice());
  EXPECT_EQ(d.reRunTimer().interval(), 750);
}

// With no record at all the run does not hang: a watchdog from the start of the run ends the
// cycle, shown empty with every device marked, and a continuous run goes on.
TEST_F(MultiCollect, AWatchdogEndsACycleWithoutAnyRecord) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 300);
  FakeMember& b = members_.add(QStringLiteral("B2"), 300);
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());  // a first, whole cycle
  ASSERT_EQ(c.cyclesCount(), 1);
  const auto files = c.cycleFiles();
  c.setSingleShot(false, true);
  c.runClicked();
  ASSERT_TRUE(c.watchdogTimer().isActive());
  const int wait = c.collectTimeMs() + TMultiCollection::kTriggerWaitMs;
  hub_.advance(wait - 1);
  EXPECT_TRUE(c.cycleOpen());
  EXPECT_TRUE(c.running());
  hub_.advance(1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_TRUE(c.statusRows()[0].missing && c.statusRows()[1].missing);
  EXPECT_EQ(c.kernel().DataSetCount(), 0);  // the last cycle's curves are not this one's
  EXPECT_TRUE(c.cycleFiles().isEmpty());
  EXPECT_EQ(a.stops, 1);
  EXPECT_EQ(b.stops, 1);
  EXPECT_TRUE(c.running());  // continuous: Break stays the button to press
  ASSERT_TRUE(c.reRunTimer().isActive());
  hub_.advance(c.reRunTimer().interval());
  EXPECT_EQ(a.starts, 3);
  EXPECT_TRUE(c.watchdogTimer().isActive());
  // The first record hands the cycle over to the collecting time.
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.watchdogTimer().isActive());
  EXPECT_TRUE(c.collectTimer().isActive());
  (void)files;
}

TEST_F(MultiCollect, ARunInSingleShotEndsAfterTheWatchdogWithRunShown) {
  members_.add(QStringLiteral("A1"));
  TMultiCollection& c = makeActive();
  c.runClicked();
  EXPECT_TRUE(c.running());
  hub_.advance(c.collectTimeMs() + TMultiCollection::kTriggerWaitMs);
  EXPECT_FALSE(c.running());
  EXPECT_TRUE(c.statusRows()[0].missing);
  EXPECT_FALSE(c.reRunTimer().isActive());
}

// A continuous run keeps Break on show from its start to its end, between cycles too.
TEST_F(MultiCollect, AContinuousRunStaysRunningBetweenCycles) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, true);
  c.runClicked();
  for (int i = 0; i < 3; ++i) {
    c.recordArrived(a.notice());
    EXPECT_TRUE(c.running()) << i;
    hub_.advance(c.reRunTimer().interval());
    EXPECT_TRUE(c.running()) << i;
  }
  c.breakClicked();
  EXPECT_FALSE(c.running());
  c.recordArrived(a.notice());  // the record Break left on its way
  c.setSingleShot(true, true);
  c.runClicked();
  c.recordArrived(a.notice());
  EXPECT_FALSE(c.running());
}

// Break while nothing of the cycle has come and nothing can come any more ends it at once:
// nothing is drawn, saved or started again, and a record that turns up after all is dropped.
// A record still on its way at the click is waited for, the first of the cycle as any other.
TEST_F(MultiCollect, BreakBeforeAnyRecordEndsTheCycle) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.setSingleShot(false, true);
  c.runClicked();
  c.breakClicked();
  hub_.advance(0);
  EXPECT_TRUE(c.breakPending());
  EXPECT_TRUE(c.statusRows()[0].owed && c.statusRows()[1].owed);
  c.recordArrived(a.notice());
  b.owes = false;  // its device gave up
  hub_.advance(TMultiCollection::kOwedPollMs);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cyclesCount(), 1);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(c.autoDataFileName(), '\t', r), 0);
  EXPECT_EQ(r.names, QStringList{QStringLiteral("A1")});
  EXPECT_TRUE(c.statusRows()[1].missing);
  fs::remove(c.autoDataFileName());
  a.owes = false;
  c.runClicked();
  c.breakClicked();
  hub_.advance(0);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_FALSE(c.watchdogTimer().isActive());
  c.recordArrived(a.notice());
  EXPECT_EQ(c.receivedCount(), 0);
  hub_.advance(20000);
  EXPECT_EQ(c.cyclesCount(), 0);
  EXPECT_EQ(a.starts, 2);
  EXPECT_FALSE(fs::exists(c.autoDataFileName()));
  // Records said to be on their way that never come: the watchdog ends the wait as Break
  // would have, the last picture staying and no device marked.
  a.owes = b.owes = true;
  c.runClicked();
  c.breakClicked();
  hub_.advance(c.collectTimeMs() + TMultiCollection::kTriggerWaitMs - 1);
  EXPECT_TRUE(c.breakPending());
  hub_.advance(1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cyclesCount(), 0);
  EXPECT_GT(c.kernel().DataSetCount(), 0);
  for (const MultiStatusRow& r : c.statusRows()) EXPECT_FALSE(r.owed);
  EXPECT_FALSE(c.statusRows()[0].missing);
  EXPECT_FALSE(fs::exists(c.autoDataFileName()));
}

// A device whose run cannot go out at the cycle's start gives that cycle a longer collecting
// time; the collecting time shown, the user's setting, stays as it was, and the next cycle
// without the late start has the plain time again.
TEST_F(MultiCollect, ALateStartLengthensTheCycleNotTheSetting) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 1000, 10e-6);
  FakeMember& b = members_.add(QStringLiteral("B2"), 1000, 10e-6);
  TMultiCollection& c = makeActive();
  ASSERT_EQ(c.collectTimeMs(), 250);  // 10 ms + 127 ms + 113 ms
  c.setSingleShot(false, true);
  b.busy = true;
  c.runClicked();
  EXPECT_EQ(c.collectTimeMs(), 250);
  c.recordArrived(a.notice());
  hub_.advance(250 + TMultiCollection::kLateStartMs - 1);
  EXPECT_TRUE(c.cycleOpen());
  hub_.advance(1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.collectTimeMs(), 250);
  b.busy = false;
  hub_.advance(250 * 2 + 250);  // the longer re-run pause after a missing record
  ASSERT_TRUE(c.cycleOpen());
  c.recordArrived(a.notice());
  hub_.advance(249);
  EXPECT_TRUE(c.cycleOpen());
  hub_.advance(1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.collectTimeMs(), 250);
}

// Break never costs a measurement: a cycle whose records all came is saved, whether the
// last of them came before the click, while the cycle ended, or was on its way.
class HookView final : public IMultiView {
 public:
  void changed(unsigned) override {}
  void processEvents() override {
    if (!hook) return;
    auto h = std::move(hook);  // once
    hook = nullptr;
    h();
  }
  std::function<void()> hook;
};

TEST_F(MultiCollect, BreakKeepsEveryCycleWhoseRecordsCame) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  HookView view;
  TMultiCollection& c = makeActive();
  c.setView(&view);
  c.setAutosave(true);
  c.setSingleShot(false, true);
  int cycleFiles = 0;
  auto saved = [&] {
    std::error_code ec;
    int n = 0;
    for (auto it = fs::recursive_directory_iterator(multiFolder(), ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file() && it->path().parent_path().filename() != "Intermediate") ++n;
    return n;
  };
  // 1. Break clicked while the cycle's end lets events run (just after its last record).
  c.runClicked();
  c.recordArrived(a.notice());
  view.hook = [&] { c.breakClicked(); };
  c.recordArrived(b.notice());
  EXPECT_FALSE(c.running());
  EXPECT_FALSE(c.reRunTimer().isActive());
  EXPECT_EQ(saved(), ++cycleFiles);
  // 2. Both records announced before the click, their notices waiting behind it: the end
  // after Break comes from the event loop, behind them.
  c.runClicked();
  c.breakClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  hub_.advance(0);
  EXPECT_EQ(c.cyclesCount(), 1);
  EXPECT_EQ(saved(), ++cycleFiles);
  // 3. One record in at the click, the other on its way.
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  c.recordArrived(b.notice());
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  EXPECT_EQ(saved(), ++cycleFiles);
  EXPECT_EQ(b.stops, 3);  // by Break only: a cycle's end stops no device a second time
  hub_.advance(20000);
  EXPECT_EQ(a.starts, 3);
  // 4. RUN clicked while that cycle's end lets events run: the cycle is saved, and the new run
  // keeps its first cycle, with no re-run of the old one to cut it, and goes on running.
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  view.hook = [&] { c.runClicked(); };
  c.recordArrived(b.notice());
  EXPECT_EQ(saved(), ++cycleFiles);
  EXPECT_TRUE(c.running());
  EXPECT_TRUE(c.cycleOpen());
  EXPECT_FALSE(c.reRunTimer().isActive());
  EXPECT_EQ(a.starts, 5);
  // The old cycle counts in no statistics of the new run: its first interval has none before.
  EXPECT_EQ(c.cyclesCount(), 0);
  c.breakClicked();
}

// RUN clicked just after Break, or while the collecting time's end lets events run, starts a
// run whose first cycle those steps leave alone; a change of the active devices while a broken cycle
// waits saves that cycle first.
TEST_F(MultiCollect, WorkAfterBreakLeavesTheNewCycleAndKeepsTheOld) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 200);
  FakeMember& b = members_.add(QStringLiteral("B2"), 300);
  HookView view;
  TMultiCollection& c = makeActive();
  c.setView(&view);
  c.setAutosave(true);
  c.setSingleShot(false, true);
  c.runClicked();
  a.owes = b.owes = false;
  c.breakClicked();  // nothing in yet; RUN clicked before the end after Break is due
  c.runClicked();
  a.owes = b.owes = true;
  hub_.advance(0);
  EXPECT_TRUE(c.cycleOpen());
  EXPECT_TRUE(c.running());
  EXPECT_TRUE(c.watchdogTimer().isActive());
  EXPECT_EQ(a.starts, 2);
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  EXPECT_EQ(c.cyclesCount(), 1);
  EXPECT_TRUE(c.reRunTimer().isActive());

  // Break with A in; RUN served while the collecting time ends.
  hub_.advance(TMultiCollection::kReRunMs);
  c.recordArrived(a.notice());
  c.breakClicked();
  view.hook = [&] { c.runClicked(); };
  hub_.advance(c.collectTimeMs());
  EXPECT_TRUE(c.cycleOpen());  // the new run's first cycle
  EXPECT_EQ(b.stops, 2);       // by the two Breaks only: the new cycle was not ended
  EXPECT_EQ(a.starts, 4);
  c.recordArrived(b.notice());
  EXPECT_EQ(c.receivedCount(), 1);

  // Break with B in; a device unchecked while that cycle waits.
  c.breakClicked();
  const int cyclesBefore = c.cyclesCount();
  c.checkClicked(0, false);
  EXPECT_EQ(c.cyclesCount(), cyclesBefore + 1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_TRUE(fs::exists(c.autoDataFileName()));
}

// A cycle only partly in at Break keeps the collecting time, as a cycle a device failed in:
// it is drawn and saved with what came, the missing device marked, and no cycle follows.
// Run pressed before that time is over ends it first.
TEST_F(MultiCollect, ACyclePartlyInAtBreakIsSavedWithWhatCame) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 200);
  FakeMember& b = members_.add(QStringLiteral("B2"), 300);
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.setSingleShot(false, true);
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  EXPECT_TRUE(c.cycleOpen());
  EXPECT_TRUE(c.collectTimer().isActive());
  hub_.advance(c.collectTimeMs() - 1);
  EXPECT_TRUE(c.cycleOpen());
  hub_.advance(1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cyclesCount(), 1);
  EXPECT_TRUE(c.statusRows()[1].missing);
  EXPECT_EQ(b.stops, 1);
  EXPECT_FALSE(c.reRunTimer().isActive());
  const fs::path first = c.autoDataFileName();
  TREADing r;
  ASSERT_EQ(readMultiDataFile(first, '\t', r), 0) << first;
  EXPECT_EQ(r.deviceCount, 1);
  EXPECT_EQ(r.names.value(0), "A1");
  EXPECT_EQ(r.points.At(0).Count(), 200);
  hub_.advance(20000);
  EXPECT_EQ(a.starts, 1);

  // Run again while the broken cycle still waits, nothing more owed to it: it is saved with
  // what came before the new cycle.
  c.runClicked();
  c.recordArrived(b.notice());
  a.owes = false;
  c.breakClicked();
  c.runClicked();
  EXPECT_EQ(b.starts, 3);
  EXPECT_EQ(c.cyclesCount(), 0);  // the new run's statistics start afresh
  EXPECT_TRUE(c.cycleOpen());
  fs::path second = first;
  second.replace_filename(first.stem().string() + "_1.CSV");
  ASSERT_EQ(readMultiDataFile(second, '\t', r), 0) << second;
  EXPECT_EQ(r.names.value(0), "B2");
  EXPECT_EQ(r.points.At(0).Count(), 300);

  // Run again while a record the device measured is still on its way to the broken cycle: the
  // run waits for it, as a new cycle would drop it as late.
  c.recordArrived(a.notice());
  b.owes = true;
  c.breakClicked();
  const MultiRecordNotice owedB = b.notice();
  c.runClicked();
  EXPECT_TRUE(c.runQueued());
  EXPECT_TRUE(c.running());
  EXPECT_EQ(b.starts, 3);
  c.recordArrived(owedB);
  EXPECT_EQ(c.cycleFiles().size(), 2);
  EXPECT_EQ(c.kernel().DataSetCount(), 4);
  EXPECT_FALSE(c.runQueued());
  EXPECT_EQ(b.starts, 4);  // the queued run went out once the cycle ended
  EXPECT_TRUE(c.cycleOpen());
  EXPECT_EQ(c.receivedCount(), 0);
  // Break calls a queued run off; the broken cycle goes on waiting for what it is owed.
  c.recordArrived(a.notice());
  c.breakClicked();
  const MultiRecordNotice owedAgain = b.notice();
  c.runClicked();
  ASSERT_TRUE(c.runQueued());
  c.breakClicked();
  EXPECT_FALSE(c.runQueued());
  EXPECT_FALSE(c.running());
  EXPECT_EQ(b.stops, 4);  // no second stop for the call-off
  c.recordArrived(owedAgain);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cycleFiles().size(), 2);
  EXPECT_EQ(b.starts, 4);
}

// A device that gave its cycle no record says why: its run went out and did not trigger in
// time; Break stopped it; a record of it was still coming in; or nothing is known.
TEST_F(MultiCollect, AMissingDeviceSaysWhyItGaveNoRecord) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  const MultiStatusRow& row = c.statusRows()[1];
  c.runClicked();
  c.recordArrived(a.notice());
  hub_.advance(c.collectTimeMs());
  ASSERT_TRUE(row.missing);
  EXPECT_EQ(row.why, MultiMiss::NoTrigger);
  // Its run could not go out: an earlier record was still coming in.
  b.busy = b.coming = true;
  c.runClicked();
  c.recordArrived(a.notice());
  hub_.advance(60000);
  ASSERT_FALSE(c.cycleOpen());
  EXPECT_EQ(row.why, MultiMiss::Transferring);
  b.coming = false;
  c.runClicked();
  c.recordArrived(a.notice());
  hub_.advance(60000);
  EXPECT_EQ(row.why, MultiMiss::NoRecord);
  b.busy = false;
  // Break stopped it, and nothing of its record can come.
  b.owes = false;
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  hub_.advance(0);
  ASSERT_FALSE(c.cycleOpen());
  EXPECT_TRUE(row.missing);
  EXPECT_EQ(row.why, MultiMiss::Stopped);
  // Pulled out before Break: missing for that, not stopped by Break.
  b.gone = true;
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  hub_.advance(0);
  ASSERT_FALSE(c.cycleOpen());
  EXPECT_TRUE(row.missing);
  EXPECT_EQ(row.why, MultiMiss::NoRecord);
  b.gone = false;
  // Pulled after its run went out and back before the cycle's end, with or without Break:
  // missing, neither waiting for its trigger nor stopped.
  for (bool withBreak : {false, true}) {
    b.owes = false;
    c.runClicked();
    ++b.losses;
    c.recordArrived(a.notice());
    if (withBreak) c.breakClicked();
    hub_.advance(60000);
    ASSERT_FALSE(c.cycleOpen());
    EXPECT_TRUE(row.missing);
    EXPECT_EQ(row.why, MultiMiss::NoRecord) << withBreak;
  }
  // Its record is on its way after Break: owed while the cycle waits, not missing.
  b.owes = true;
  c.runClicked();
  c.recordArrived(a.notice());
  c.breakClicked();
  EXPECT_TRUE(row.owed);
  c.recordArrived(b.notice());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_FALSE(row.missing || row.owed);
}

// Each device's trigger moment relative to the cycle's earliest one, in the status rows and,
// when asked for, as a shift of its curves on the common time axis.
TEST_F(MultiCollect, TriggerDeltasAndShiftedCurves) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  FakeMember& c3 = members_.add(QStringLiteral("C3"), 100);
  TMultiCollection& c = makeActive();
  b.time = dtAddSeconds(a.time, -0.0015);  // B triggered first
  c3.time = dtAddSeconds(a.time, 0.0042);
  c.runClicked();
  // The deltas are the cycle's when it is drawn, against its earliest trigger (B's, which
  // came second), not against the records come so far.
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  EXPECT_FALSE(c.statusRows()[0].hasTriggerDelta);
  c.recordArrived(c3.notice(50));
  EXPECT_NEAR(c.statusRows()[0].triggerDelta, 0.0015, 1e-9);
  EXPECT_NEAR(c.statusRows()[1].triggerDelta, 0.0, 1e-12);
  EXPECT_NEAR(c.statusRows()[2].triggerDelta, 0.0057, 1e-9);
  // Off (default): every curve starts at its own -(N - M) x dt.
  EXPECT_FALSE(c.shiftByTrigger());
  auto firstX = [&](const char* name) {
    for (int i = 0; i < c.kernel().DataSetCount(); ++i)
      if (c.kernel().Get(i)->name == QLatin1String(name))
        return c.kernel().Get(i)->series->XOf(0).number;
    return -1.0;
  };
  EXPECT_NEAR(firstX("C3 K2"), -50e-6, 1e-12);
  c.setShiftByTrigger(true);
  EXPECT_NEAR(firstX("C3 K2"), -50e-6 + 0.0057, 1e-12);
  EXPECT_NEAR(firstX("A1 K1"), -50e-6 + 0.0015, 1e-12);
  EXPECT_NEAR(firstX("B2 K1"), -50e-6, 1e-12);
  c.setShiftByTrigger(false);
  EXPECT_NEAR(firstX("C3 K2"), -50e-6, 1e-12);
  // A cycle drawn while the switch is on comes shifted; the files keep each record's own times.
  c.setShiftByTrigger(true);
  c.startRun(false);
  // While it collects, the rows keep telling of the cycle on screen: A's record alone, the
  // first of the new cycle, is no trigger delta of 0 beside the others' last ones.
  a.time = dtAddSeconds(b.time, 0.0030);
  c.recordArrived(a.notice(50));
  EXPECT_NEAR(c.statusRows()[0].triggerDelta, 0.0015, 1e-9);
  for (FakeMember* m : {&b, &c3}) c.recordArrived(m->notice(50));
  EXPECT_NEAR(c.statusRows()[0].triggerDelta, 0.0030, 1e-9);
  EXPECT_NEAR(firstX("A1 K2"), -50e-6 + 0.0030, 1e-12);
  std::ifstream in(intermediateFolder() / "A1.CSV");
  std::string line;
  for (int i = 0; i < 12; ++i) std::getline(in, line);
  EXPECT_EQ(line.substr(0, 10), " -0.000050");
  // A tick changes the rows at once: the members' deltas against the earliest of their own
  // triggers (B, the first, has left), the curves shifted alike. B's row is kept aside while
  // its curves are shown, and back when it is ticked again.
  ASSERT_EQ(c.checkClicked(1, false), 0);
  ASSERT_EQ(c.statusRows().size(), 2u);
  EXPECT_EQ(c.statusRows()[0].triggerDelta, 0.0);
  EXPECT_NEAR(c.statusRows()[1].triggerDelta, 0.0027, 1e-9);
  EXPECT_NEAR(firstX("A1 K2"), -50e-6, 1e-12);
  EXPECT_NEAR(firstX("C3 K1"), -50e-6 + 0.0027, 1e-12);
  EXPECT_NEAR(firstX("B2 K1"), -50e-6 - 0.0030, 1e-12);
  ASSERT_EQ(c.checkClicked(1, true), 0);
  ASSERT_EQ(c.statusRows().size(), 3u);
  EXPECT_TRUE(c.statusRows()[1].filled);
  EXPECT_EQ(c.statusRows()[1].triggerDelta, 0.0);
  EXPECT_NEAR(c.statusRows()[0].triggerDelta, 0.0030, 1e-9);
  EXPECT_NEAR(firstX("A1 K2"), -50e-6 + 0.0030, 1e-12);
  // The cycle's file loaded again shows what the cycle showed when it was drawn, B in the list
  // or not (to the file's millisecond): the same rows, deltas and shifted curves, B's row after
  // the members' while it is not ticked. Not the rows of the cycle after the untick: the deltas
  // stored in the file are not referred to today's list.
  const fs::path f = root_ / "abc.CSV";
  ASSERT_EQ(c.saveDataFile(f), 0);
  struct Shown {
    std::vector<MultiStatusRow> rows;
    std::vector<double> firsts;
  };
  auto shown = [&] {
    return Shown{c.statusRows(), {firstX("A1 K1"), firstX("B2 K2"), firstX("C3 K1")}};
  };
  auto expectShown = [&](const Shown& want) {
    const Shown got = shown();
    ASSERT_EQ(got.rows.size(), want.rows.size());
    for (std::size_t k = 0; k < want.rows.size(); ++k) {
      SCOPED_TRACE(want.rows[k].serial.toStdString());
      EXPECT_EQ(got.rows[k].serial, want.rows[k].serial);
      EXPECT_EQ(got.rows[k].filled, want.rows[k].filled);
      EXPECT_EQ(got.rows[k].colour1, want.rows[k].colour1);
      EXPECT_EQ(got.rows[k].colour2, want.rows[k].colour2);
      EXPECT_EQ(got.rows[k].hasTriggerDelta, want.rows[k].hasTriggerDelta);
      EXPECT_NEAR(got.rows[k].triggerDelta, want.rows[k].triggerDelta, 0.001);
    }
    for (std::size_t i = 0; i < want.firsts.size(); ++i)
      EXPECT_NEAR(got.firsts[i], want.firsts[i], 0.001) << i;
  };
  const Shown liveAll = shown();
  Shown bLast = liveAll;
  bLast.rows = {liveAll.rows[0], liveAll.rows[2], liveAll.rows[1]};
  ASSERT_EQ(c.checkClicked(1, false), 0);
  ASSERT_EQ(c.loadDataFile(f), 0);
  ASSERT_EQ(c.recordOnScreen(), TMultiCollection::OnScreen::Loaded);
  expectShown(bLast);
  ASSERT_EQ(c.checkClicked(1, true), 0);
  expectShown(liveAll);
  ASSERT_EQ(c.checkClicked(1, false), 0);
  expectShown(bLast);
}

// After Break the cycle waits for the records still on their way, marked, and no longer: it
// ends with the last of them, or as soon as none can come any more, not at its collecting time.
TEST_F(MultiCollect, AfterBreakTheCycleEndsOnceNoRecordCanCome) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  FakeMember& c3 = members_.add(QStringLiteral("C3"));
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.setSingleShot(false, true);
  c.runClicked();
  c.setCollectTimeMs(60000);  // far beyond the steps below
  c.recordArrived(a.notice());
  c3.owes = false;  // stopped before anything of its record was measured
  c.breakClicked();
  EXPECT_TRUE(c.breakPending());
  EXPECT_TRUE(c.statusRows()[1].owed);
  EXPECT_FALSE(c.statusRows()[2].owed);
  hub_.advance(1000);
  EXPECT_TRUE(c.cycleOpen());
  // The last record owed ends the cycle from the event loop: no events run inside its
  // handler, so no other record's handler can run inside it.
  HookView view;
  c.setView(&view);
  bool ranInside = false;
  view.hook = [&] { ranInside = true; };
  c.recordArrived(b.notice());
  EXPECT_FALSE(ranInside);
  EXPECT_TRUE(c.cycleOpen());
  hub_.advance(0);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.receivedCount(), 2);
  EXPECT_FALSE(c.breakPending());
  EXPECT_FALSE(c.statusRows()[1].owed);
  EXPECT_TRUE(c.statusRows()[2].missing);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(c.autoDataFileName(), '\t', r), 0);
  EXPECT_EQ(r.names, QStringList({QStringLiteral("A1"), QStringLiteral("B2")}));

  // Nothing more can come: Break itself ends the cycle.
  c.runClicked();
  c.setCollectTimeMs(60000);  // far beyond the steps below
  c.recordArrived(a.notice());
  b.owes = false;
  c.breakClicked();
  hub_.advance(0);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cyclesCount(), 1);

  // The last record owed stops being able to come (its device gave up): the next look ends it.
  b.owes = true;
  c.runClicked();
  c.setCollectTimeMs(60000);  // far beyond the steps below
  c.recordArrived(a.notice());
  c.breakClicked();
  hub_.advance(TMultiCollection::kOwedPollMs * 3);
  EXPECT_TRUE(c.cycleOpen());
  b.owes = false;
  hub_.advance(TMultiCollection::kOwedPollMs);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_TRUE(c.statusRows()[1].missing);
  EXPECT_FALSE(c.owedTimer().isActive());

  // A device whose window went into another mode with a run of its own is left running by
  // Break, so it owes nothing: Break ends the cycle at once.
  b.owes = true;
  c.runClicked();
  c.setCollectTimeMs(60000);  // far beyond the steps below
  c.recordArrived(a.notice());
  b.mode = QStringLiteral("DLA0");
  const int bStops = b.stops;
  c.breakClicked();
  hub_.advance(0);
  EXPECT_EQ(b.stops, bStops);
  EXPECT_FALSE(c.statusRows()[1].owed);
  EXPECT_FALSE(c.cycleOpen());
}

// A record whose bytes are still coming in when the collecting time runs out is waited for,
// the collecting time over again, at most as long as the watchdog would wait for a cycle
// without any record; after that the cycle ends without it.
TEST_F(MultiCollect, ARecordStillComingInIsWaitedFor) {
  FakeMember& a = members_.add(QStringLiteral("A1"));
  FakeMember& b = members_.add(QStringLiteral("B2"));
  TMultiCollection& c = makeActive();
  c.setAutosave(true);
  c.runClicked();
  c.recordArrived(a.notice());
  b.coming = true;
  const int t = c.collectTimeMs();
  hub_.advance(t);
  EXPECT_TRUE(c.cycleOpen());
  hub_.advance(t - 1);
  c.recordArrived(b.notice());
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_EQ(c.cycleFiles().size(), 2);
  EXPECT_FALSE(c.statusRows()[1].missing);
  // Still coming for good: the cycle ends without it once the watchdog's span is used up.
  c.startRun(false);
  c.recordArrived(a.notice());
  const int times = TMultiCollection::kTriggerWaitMs / t;
  hub_.advance(std::int64_t(t) * (times + 1) - 1);
  EXPECT_TRUE(c.cycleOpen());
  hub_.advance(1);
  EXPECT_FALSE(c.cycleOpen());
  EXPECT_TRUE(c.statusRows()[1].missing);
}

// The merged file keeps each device's true trigger time in its own time cells; read back, they
// give the deltas again, and a file drawn with the shift on lies on one time axis as the cycle
// did (to the file's millisecond).
TEST_F(MultiCollect, TriggerTimesReadBackFromTheMergedFile) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  TMultiCollection& c = makeActive();
  // Triggers a fraction of a millisecond apart read back as they were, to the microsecond.
  b.time = dtAddSeconds(a.time, 0.000417);
  c.runClicked();
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  const fs::path f = root_ / "m.CSV";
  ASSERT_EQ(c.saveDataFile(f), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  ASSERT_EQ(r.times.size(), 2u);
  EXPECT_EQ(r.timeDigits, 6);
  EXPECT_NEAR(loadedTriggerDeltas(r)[1].second, 0.000417, 1e-7);
  ASSERT_EQ(c.loadDataFile(f), 0);
  EXPECT_EQ(c.statusRows()[1].deltaDigits, 6);
  EXPECT_NEAR(c.statusRows()[1].triggerDelta, 0.000417, 1e-7);
  // A file that kept milliseconds only (as older ones did) tells its deltas at that resolution.
  {
    std::string text;
    {
      std::ifstream in(f, std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::size_t line3 = text.find("\r\n", text.find("\r\n") + 2) + 2;
    std::string head = text.substr(line3, text.find("\r\n", line3) - line3);
    ASSERT_NE(head.find("00.500417"), std::string::npos) << head;
    head.replace(head.find("00.500417"), 9, "00.500");
    text.replace(line3, text.find("\r\n", line3) - line3, head);
    std::ofstream(root_ / "ms.CSV", std::ios::binary) << text;
    TREADing old;
    ASSERT_EQ(readMultiDataFile(root_ / "ms.CSV", '\t', old), 0) << head;
    EXPECT_EQ(old.timeDigits, 3);
    ASSERT_EQ(c.loadDataFile(root_ / "ms.CSV"), 0);
    EXPECT_EQ(c.statusRows()[1].deltaDigits, 3);
    EXPECT_EQ(c.statusRows()[1].triggerDelta, 0.0);
  }
  b.time = dtAddSeconds(a.time, 0.25);
  c.runClicked();
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  ASSERT_EQ(c.saveDataFile(f), 0);
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  ASSERT_EQ(r.times.size(), 2u);
  EXPECT_NEAR(dtDiffSeconds(r.times[0], a.time), 0.0, 5e-7);
  EXPECT_NEAR(dtDiffSeconds(r.times[1], b.time), 0.0, 5e-7);
  const auto deltas = loadedTriggerDeltas(r);
  ASSERT_EQ(deltas.size(), 2u);
  EXPECT_EQ(deltas[1].first, "B2");
  EXPECT_NEAR(deltas[1].second, 0.25, 1e-6);
  c.setShiftByTrigger(true);
  ASSERT_EQ(c.loadDataFile(f), 0);
  double bFirst = 0;
  for (int i = 0; i < c.kernel().DataSetCount(); ++i)
    if (const TGenD2DataSet& ds = *c.kernel().Get(i); ds.name == QLatin1String("B2 K1")) {
      ASSERT_TRUE(ds.series);  // the file's samples are drawn from their stored times
      bFirst = ds.series->XOf(0).number;
    }
  EXPECT_NEAR(bFirst, -50e-6 + 0.25, 0.001);
  // Loaded beside a cycle of the same devices (clear before drawing off), each curve moves by
  // its own record's delta: the cycle's B2 is not moved twice, nor the file's left unmoved.
  b.time = dtAddSeconds(a.time, 0.1);
  c.startRun(false);
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  c.setClearBeforeDrawing(false);
  const QString cycleHeader = c.headerText();
  ASSERT_EQ(c.loadDataFile(f), 0);
  // The header names the cycle's time and the file's: the grid's deltas are the cycle's.
  EXPECT_EQ(c.headerText(), cycleHeader.left(cycleHeader.lastIndexOf(QLatin1Char(' '))) +
                                QStringLiteral("  +  ") + dateTimeText(r.time) +
                                QStringLiteral(" Multi_Tolvanex"));
  const auto bFirsts = [&] {
    std::vector<double> xs;
    for (int i = 0; i < c.kernel().DataSetCount(); ++i)
      if (const TGenD2DataSet& ds = *c.kernel().Get(i); ds.name == QLatin1String("B2 K1"))
        xs.push_back(ds.series->XOf(0).number);
    std::sort(xs.begin(), xs.end());
    return xs;
  };
  std::vector<double> xs = bFirsts();
  ASSERT_EQ(xs.size(), 2u);
  EXPECT_NEAR(xs[0], -50e-6 + 0.1, 1e-9);
  EXPECT_NEAR(xs[1], -50e-6 + 0.25, 0.001);
  // A tick re-bases the cycle's curves on its members (B2 alone, now at 0); the file's curves
  // keep their own deltas.
  ASSERT_EQ(c.checkClicked(0, false), 0);
  xs = bFirsts();
  ASSERT_EQ(xs.size(), 2u);
  EXPECT_NEAR(xs[0], -50e-6, 1e-9);
  EXPECT_NEAR(xs[1], -50e-6 + 0.25, 0.001);
  c.setShiftByTrigger(false);
  xs = bFirsts();
  EXPECT_NEAR(xs[0], -50e-6, 1e-9);
  EXPECT_NEAR(xs[1], -50e-6, 1e-9);
}

// A merged file loaded in place of the picture gets the status rows of what is drawn: each of
// its devices with its colours and the trigger deltas stored in it, ticked or not (after the
// members' rows), a member the file lacks empty. The next cycle's picture brings the run's rows
// back; a file loaded while a cycle collects is drawn beside it and leaves the cycle whole.
TEST_F(MultiCollect, ALoadedFileGetsTheStatusRowsOfItsOwnDevices) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  FakeMember& d = members_.add(QStringLiteral("C3"), 100);
  TMultiCollection& c = make();
  c.fill();
  c.setItemChecked(0, true);
  c.setItemChecked(1, true);
  c.activate();
  b.time = dtAddSeconds(a.time, 0.25);
  c.runClicked();
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  const fs::path f = root_ / "ab.CSV";
  ASSERT_EQ(c.saveDataFile(f), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  c.setItemChecked(0, false);
  c.setItemChecked(2, true);
  c.activate();
  d.time = dtAddSeconds(b.time, -0.6);
  c.runClicked();
  c.recordArrived(b.notice(50));
  c.recordArrived(d.notice(50));
  ASSERT_EQ(c.statusRows().size(), 2u);
  ASSERT_NEAR(c.statusRows()[0].triggerDelta, 0.6, 1e-9);
  ASSERT_EQ(c.loadDataFile(f), 0);
  // The members' rows, then A1's, no member: the deltas are the file's (B2's against A1's).
  const auto& rows = c.statusRows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].serial, "B2");
  EXPECT_TRUE(rows[0].filled && rows[0].hasTriggerDelta);
  EXPECT_NEAR(rows[0].triggerDelta, 0.25, 0.001);
  EXPECT_EQ(rows[0].colour1, ColorRef(r.colours.Items()[2]));
  EXPECT_EQ(rows[0].colour2, ColorRef(r.colours.Items()[3]));
  EXPECT_EQ(rows[1].serial, "C3");
  EXPECT_FALSE(rows[1].filled || rows[1].hasTriggerDelta || rows[1].missing);
  EXPECT_EQ(rows[1].colour1, kWhite);
  EXPECT_EQ(rows[2].serial, "A1");
  EXPECT_TRUE(rows[2].filled && rows[2].hasTriggerDelta);
  EXPECT_EQ(rows[2].triggerDelta, 0.0);
  EXPECT_EQ(rows[2].colour1, ColorRef(r.colours.Items()[0]));
  // Ticked, A1 takes its member's place, with the same cells.
  ASSERT_EQ(c.checkClicked(0, true), 0);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].serial, "A1");
  EXPECT_TRUE(rows[0].filled && rows[0].hasTriggerDelta);
  EXPECT_EQ(rows[0].triggerDelta, 0.0);
  EXPECT_EQ(rows[0].colour1, ColorRef(r.colours.Items()[0]));
  EXPECT_NEAR(rows[1].triggerDelta, 0.25, 0.001);
  ASSERT_EQ(c.checkClicked(0, false), 0);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].serial, "A1");
  // Loaded while a cycle comes in, after the record of the device the file lacks: the file is
  // shown at once, alone, with its stamp, its rows and Save; the plot keeps the cycle's record,
  // and the cycle's end draws the cycle alone in its place.
  c.runClicked();
  c.recordArrived(d.notice(50));
  ASSERT_EQ(c.loadDataFile(f), 0);
  EXPECT_TRUE(c.lastPictureShown());
  EXPECT_EQ(c.headerText(), multiHeaderText(r.time));
  EXPECT_EQ(c.recordOnScreen(), TMultiCollection::OnScreen::Loaded);
  ASSERT_EQ(c.statusRows().size(), 3u);
  EXPECT_EQ(c.statusRows()[2].serial, "A1");
  {
    ASSERT_EQ(c.saveDataFile(root_ / "mid.CSV"), 0);
    TREADing mid;
    ASSERT_EQ(readMultiDataFile(root_ / "mid.CSV", '\t', mid), 0);
    EXPECT_EQ(mid.names, r.names);
  }
  c.recordArrived(b.notice(50));
  EXPECT_FALSE(c.lastPictureShown());
  EXPECT_EQ(c.recordOnScreen(), TMultiCollection::OnScreen::Cycle);
  QStringList drawn;
  for (int i = 0; i < c.kernel().DataSetCount(); ++i) drawn << c.kernel().Get(i)->name;
  drawn.sort();
  EXPECT_EQ(drawn, (QStringList{"B2 K1", "B2 K2", "C3 K1", "C3 K2"}));
  EXPECT_EQ(c.headerText(), multiHeaderText(c.cycleStamp()));
  ASSERT_EQ(c.saveDataFile(root_ / "bc.CSV"), 0);
  TREADing saved;
  ASSERT_EQ(readMultiDataFile(root_ / "bc.CSV", '\t', saved), 0);
  EXPECT_EQ(saved.names, (QStringList{"B2", "C3"}));
  ASSERT_EQ(c.statusRows().size(), 2u);
  for (const MultiStatusRow& row : c.statusRows())
    EXPECT_TRUE(row.filled && row.hasTriggerDelta && row.colour1 != kWhite) << row.serial.toStdString();
  EXPECT_NEAR(c.statusRows()[0].triggerDelta, 0.6, 1e-9);
  EXPECT_EQ(c.statusRows()[0].colour1, ColorRef(r.colours.Items()[2]));
  // A tick or Update keeps the picture, and the rows go on telling of it: the members' rows of
  // the cycle (one per member); then the file's.
  const std::vector<MultiStatusRow> cycleRows = c.statusRows();
  EXPECT_EQ(c.checkClicked(1, false), 0);
  ASSERT_EQ(c.statusRows().size(), 1u);
  const MultiStatusRow& row = c.statusRows()[0];
  EXPECT_EQ(row.serial, "C3");
  EXPECT_TRUE(row.filled && row.hasTriggerDelta);
  EXPECT_EQ(row.colour1, cycleRows[1].colour1);
  EXPECT_EQ(row.triggerDelta, cycleRows[1].triggerDelta);
  ASSERT_EQ(c.loadDataFile(f), 0);
  EXPECT_EQ(c.updateClicked(), 0);
  ASSERT_EQ(c.statusRows().size(), 3u);
  EXPECT_FALSE(c.statusRows()[0].filled);  // C3, not in the file
  ASSERT_EQ(c.checkClicked(1, true), 0);
  ASSERT_EQ(c.statusRows().size(), 3u);
  EXPECT_EQ(c.statusRows()[0].serial, "B2");
  EXPECT_TRUE(c.statusRows()[0].filled);
  EXPECT_NEAR(c.statusRows()[0].triggerDelta, 0.25, 0.001);
  // With no device ticked (an archived file read with none plugged in) the rows are the file's.
  ASSERT_EQ(c.checkClicked(1, false), 0);
  ASSERT_EQ(c.checkClicked(2, false), kMultiEmpty);
  ASSERT_EQ(c.statusRows().size(), 2u);
  EXPECT_EQ(c.statusRows()[0].serial, "A1");
  EXPECT_EQ(c.statusRows()[0].colour1, ColorRef(r.colours.Items()[0]));
  EXPECT_EQ(c.statusRows()[0].triggerDelta, 0.0);
  EXPECT_EQ(c.statusRows()[1].serial, "B2");
  EXPECT_NEAR(c.statusRows()[1].triggerDelta, 0.25, 0.001);
  ASSERT_EQ(c.loadDataFile(f), 0);
  ASSERT_EQ(c.statusRows().size(), 2u);
  EXPECT_TRUE(c.statusRows()[1].filled && c.statusRows()[1].hasTriggerDelta);
  // Clear image: nothing is drawn, so no row tells of the file, nor again after a tick.
  c.clearImage();
  EXPECT_TRUE(c.statusRows().empty());
  ASSERT_EQ(c.checkClicked(1, true), 0);
  ASSERT_EQ(c.statusRows().size(), 1u);
  EXPECT_FALSE(c.statusRows()[0].filled || c.statusRows()[0].hasTriggerDelta);
  EXPECT_EQ(c.statusRows()[0].colour1, kWhite);
}

// A file loaded while a continuous run's cycle collects is shown at once: alone (clearing
// before drawing) until the cycle's picture replaces it, or beside that cycle, its record time
// in the header; the next cycle's first record clears every curve, the file's too. Clear
// image empties the rows of the cycle on screen (a missing mark included) and leaves the next
// cycle's picture to its own records.
TEST_F(MultiCollect, AFileLoadedDuringARunIsShownAtOnceAndTheCycleReplacesIt) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  TMultiCollection& c = makeActive();
  c.setSingleShot(false, false);
  c.runClicked();
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  const fs::path f = root_ / "ab.CSV";
  ASSERT_EQ(c.saveDataFile(f), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  const auto drawn = [&] {
    QStringList names;
    for (int i = 0; i < c.kernel().DataSetCount(); ++i) names << c.kernel().Get(i)->name;
    names.sort();
    return names;
  };
  const QStringList cycle{"A1 K1", "A1 K2", "B2 K1", "B2 K2"};
  const QStringList both{"A1 K1", "A1 K1", "A1 K2", "A1 K2", "B2 K1", "B2 K1", "B2 K2", "B2 K2"};
  // Clearing before drawing: the file is shown at once in place of the last picture, as the
  // window draws it alone; the cycle keeps its record and replaces the file when it ends.
  hub_.advance(TMultiCollection::kReRunMs);
  ASSERT_TRUE(c.cycleOpen());
  a.time = dtAddSeconds(a.time, 1.5);
  b.time = dtAddSeconds(b.time, 1.5);
  c.recordArrived(a.notice(50));
  const int pages = view_.plotPage;
  ASSERT_EQ(c.loadDataFile(f), 0);
  EXPECT_EQ(view_.plotPage, pages + 1);
  ASSERT_TRUE(c.lastPictureShown());
  EXPECT_EQ(c.headerText(), multiHeaderText(r.time));
  {
    TGenD2ImgKernel alone;
    renderMultiReading(alone, r, c.kernel().ImageWidth(), c.kernel().ImageHeight());
    EXPECT_EQ(c.image(), alone.Bitmap());
  }
  EXPECT_EQ(drawn(), (QStringList{"A1 K1", "A1 K2"}));
  c.recordArrived(b.notice(50));
  EXPECT_FALSE(c.lastPictureShown());
  EXPECT_EQ(drawn(), cycle);
  EXPECT_EQ(c.headerText(), multiHeaderText(a.time));
  {
    // The merged file is the cycle's, not the file's shown meanwhile.
    ASSERT_EQ(c.saveDataFile(root_ / "cycle.CSV"), 0);
    TREADing saved;
    ASSERT_EQ(readMultiDataFile(root_ / "cycle.CSV", '\t', saved), 0);
    EXPECT_NEAR(dtDiffSeconds(saved.time, r.time), 1.5, 1e-9);
  }
  // Without clearing the file joins what the plot holds: drawn at once beside the cycle's
  // record so far, and in the cycle's picture with the rest.
  c.setClearBeforeDrawing(false);
  hub_.advance(TMultiCollection::kReRunMs);
  ASSERT_TRUE(c.cycleOpen());
  c.recordArrived(a.notice(50));
  ASSERT_EQ(c.loadDataFile(f), 0);
  EXPECT_FALSE(c.lastPictureShown());
  const QString beside = QStringLiteral("  +  ") + dateTimeText(r.time);
  EXPECT_TRUE(c.headerText().contains(beside)) << c.headerText().toStdString();
  {
    // Save as takes the records now drawn, not the last cycle's no longer on screen; the row
    // of the device yet to deliver describes nothing drawn.
    ASSERT_EQ(c.saveDataFile(root_ / "sofar.CSV"), 0);
    TREADing saved;
    ASSERT_EQ(readMultiDataFile(root_ / "sofar.CSV", '\t', saved), 0);
    EXPECT_EQ(saved.names, QStringList{"A1"});
    EXPECT_NEAR(dtDiffSeconds(saved.time, r.time), 1.5, 1e-9);
    EXPECT_TRUE(c.statusRows()[0].filled);
    EXPECT_FALSE(c.statusRows()[1].filled || c.statusRows()[1].hasTriggerDelta);
  }
  EXPECT_EQ(drawn(), (QStringList{"A1 K1", "A1 K1", "A1 K2", "A1 K2", "B2 K1", "B2 K2"}));
  c.recordArrived(b.notice(50));
  ASSERT_EQ(drawn(), both);
  EXPECT_TRUE(c.headerText().contains(beside)) << c.headerText().toStdString();
  c.setClearBeforeDrawing(true);
  // The next cycle's first record clears every curve, the file's among them.
  for (int cycle = 0; cycle < 2; ++cycle) {
    hub_.advance(TMultiCollection::kReRunMs);
    ASSERT_TRUE(c.cycleOpen()) << cycle;
    c.recordArrived(a.notice(50));
    c.recordArrived(b.notice(50));
    EXPECT_EQ(drawn(), (QStringList{"A1 K1", "A1 K2", "B2 K1", "B2 K2"})) << cycle;
    EXPECT_FALSE(c.headerText().contains(beside)) << c.headerText().toStdString();
  }
  // A cycle B2 misses: its row is marked; Clear image takes the file, the curves and the rows.
  hub_.advance(TMultiCollection::kReRunMs);
  c.recordArrived(a.notice(50));
  hub_.advance(c.collectTimeMs());
  ASSERT_FALSE(c.cycleOpen());
  ASSERT_TRUE(c.statusRows()[1].missing);
  c.clearImage();
  EXPECT_EQ(c.kernel().DataSetCount(), 0);
  ASSERT_EQ(c.statusRows().size(), 2u);
  for (const MultiStatusRow& row : c.statusRows())
    EXPECT_FALSE(row.filled || row.missing || row.hasTriggerDelta) << row.serial.toStdString();
  hub_.advance(250 * 2 + 250);
  ASSERT_TRUE(c.cycleOpen());
  c.recordArrived(a.notice(50));
  c.recordArrived(b.notice(50));
  EXPECT_EQ(drawn(), (QStringList{"A1 K1", "A1 K2", "B2 K1", "B2 K2"}));
  EXPECT_FALSE(c.headerText().contains(QStringLiteral("  +  ")));
}

// A click handled while a cycle ends (its last record written, its picture not yet drawn)
// meets the cycle as one still collecting; Clear image and a file shown in its place leave
// the cycle's records, rows, stamp and file whole.
TEST_F(MultiCollect, AClickWhileACycleEndsLeavesTheCycleWhole) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  FakeMember& b = members_.add(QStringLiteral("B2"), 100);
  FakeMember& d = members_.add(QStringLiteral("C3"), 100);
  HookView view;
  TMultiCollection& c = makeActive();
  c.setView(&view);
  c.setAutosave(true);
  const auto cycle = [&](std::function<void()> hook) {
    for (FakeMember* m : {&a, &b, &d}) m->time = dtAddSeconds(m->time, 2.0);
    c.runClicked();
    c.recordArrived(a.notice(50));
    c.recordArrived(b.notice(50));
    view.hook = std::move(hook);
    c.recordArrived(d.notice(50));
    ASSERT_FALSE(c.cycleOpen());
    EXPECT_FALSE(view.hook);  // it ran
  };
  cycle(nullptr);
  const fs::path f = root_ / "abc.CSV";
  ASSERT_EQ(c.saveDataFile(f), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  cycle([&] { c.clearImage(); });
  EXPECT_EQ(c.kernel().DataSetCount(), 0);
  for (const MultiStatusRow& row : c.statusRows())
    EXPECT_TRUE(row.filled && row.hasTriggerDelta && !row.missing) << row.serial.toStdString();
  EXPECT_TRUE(fs::exists(c.autoDataFileName()));
  cycle([&] { EXPECT_EQ(c.loadDataFile(f), 0); });
  EXPECT_FALSE(c.lastPictureShown());
  EXPECT_EQ(c.headerText(), multiHeaderText(a.time));
  {
    TREADing saved;
    ASSERT_EQ(c.saveDataFile(root_ / "shown.CSV"), 0);
    ASSERT_EQ(readMultiDataFile(root_ / "shown.CSV", '\t', saved), 0);
    EXPECT_NEAR(dtDiffSeconds(saved.time, r.time), 4.0, 1e-9);
    ASSERT_TRUE(fs::exists(c.autoDataFileName()));
    ASSERT_EQ(readMultiDataFile(c.autoDataFileName(), '\t', saved), 0);
    EXPECT_NEAR(dtDiffSeconds(saved.time, r.time), 4.0, 1e-9);
  }
  // Clear image, a file shown in place, and no other record: the file stays as the picture
  // proper (its curves in the plot, redrawn on a new size), its rows its own.
  for (FakeMember* m : {&a, &b, &d}) m->time = dtAddSeconds(m->time, 2.0);
  c.runClicked();
  c.recordArrived(a.notice(50));
  c.clearImage();
  ASSERT_EQ(c.loadDataFile(f), 0);
  ASSERT_TRUE(c.lastPictureShown());
  hub_.advance(c.collectTimeMs());
  ASSERT_FALSE(c.cycleOpen());
  EXPECT_FALSE(c.lastPictureShown());
  EXPECT_EQ(c.kernel().DataSetCount(), 6);
  EXPECT_EQ(c.headerText(), multiHeaderText(r.time));
  ASSERT_EQ(c.statusRows().size(), 3u);
  for (const MultiStatusRow& row : c.statusRows())
    EXPECT_TRUE(row.filled && !row.missing && row.deltaDigits == r.timeDigits)
        << row.serial.toStdString();
  ASSERT_EQ(c.saveDataFile(root_ / "after.CSV"), 0);
  TREADing after;
  ASSERT_EQ(readMultiDataFile(root_ / "after.CSV", '\t', after), 0);
  EXPECT_EQ(dtDiffSeconds(after.time, r.time), 0.0);
}

}  // namespace
}  // namespace tolv::test
