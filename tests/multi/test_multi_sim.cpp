// Multi-device runs of device windows on simulated devices, on the stepped clock: Break that
// holds whatever each device is doing, cycles that keep every record in exactly one file, runs
// whose records do not all come, true trigger moments and their deltas.
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <set>
#include <sstream>

#include "plot/sampleseries.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "multi/multifiles.h"
#include "multi_sim_rig.h"

namespace tolv::test {
namespace {

namespace fs = std::filesystem;

using MultiSim = MultiSimRig;

// One record a simulated device sent, from its trace: the bytes and when the last one came.
struct SentRecord {
  std::int64_t ms = 0;
  std::vector<std::uint8_t> bytes;
};

std::vector<SentRecord> sentRecords(const fs::path& trace, std::size_t size) {
  std::vector<SentRecord> out;
  std::ifstream f(trace);
  std::string line;
  while (std::getline(f, line)) {
    std::istringstream in(line);
    SentRecord r;
    std::string dir;
    std::size_t n = 0;
    if (!(in >> r.ms >> dir >> n) || dir != "out" || n != size) continue;
    std::string hex;
    while (in >> hex) r.bytes.push_back(std::uint8_t(std::stoi(hex, nullptr, 16)));
    if (r.bytes.size() == n) out.push_back(std::move(r));
  }
  return out;
}

// The volts of a record's sample k on channel ch (0 or 1) at range 10 V, offset 0.
double sentVolts(const SentRecord& r, std::size_t k, int ch) {
  const std::uint8_t* p = r.bytes.data() + 4 * k;
  const unsigned raw = ch == 0 ? unsigned(p[2] | (p[3] << 8)) : unsigned(p[0] | (p[1] << 8));
  return (double(raw) / 32768.0 - 1.0) * 5.0;
}

// The sent record whose samples a device's points of a read data file show, or -1.
int matchingRecord(const std::vector<SentRecord>& sent, const TD3PointList& pts) {
  for (std::size_t i = 0; i < sent.size(); ++i) {
    if (sent[i].bytes.size() != std::size_t(pts.Count()) * 4) continue;
    bool same = true;
    for (int k = 0; k < pts.Count() && same; ++k) {
      const D3Point& p = pts.Items()[std::size_t(k)];
      same = std::abs(p.y - sentVolts(sent[i], std::size_t(k), 0)) < 2e-6 &&
             std::abs(p.z - sentVolts(sent[i], std::size_t(k), 1)) < 2e-6;
    }
    if (same) return int(i);
  }
  return -1;
}

// The same sine on channel 1 of every device, shifted by `delay` seconds per device: their
// triggers come that far apart.
void sameSignal(MultiSimRig& r, int n, double delay = 0) {
  for (int i = 0; i < n; ++i)
    r.device(i).setInput(
        0, TSimulatedSignal::sine(2.5, 1000.0, 0.0, -2.0 * std::numbers::pi * 1000.0 * delay * i));
}

// Each merged file reads back and holds n devices.
void expectEveryFileHolds(const std::vector<fs::path>& files, int n) {
  for (const fs::path& f : files) {
    TREADing r;
    ASSERT_EQ(readMultiDataFile(f, '\t', r), 0) << f;
    EXPECT_EQ(r.deviceCount, n) << f;
  }
}

// Break handled while device windows are inside their record steps, other windows' ticks
// running inside those steps: every device stays stopped, whatever state it was in, and no
// further cycle, picture or file is made.
class MultiSimBreak : public MultiSimRig, public ::testing::WithParamInterface<int> {};

TEST_P(MultiSimBreak, InsideNestedRecordStepsEveryDeviceStaysStopped) {
  const int trial = GetParam();
  {
    make(3);
    sameSignal(*this, 3);
    nestTicks();
    coll().setAutosave(true);
    bool broken = false;
    int cyclesAtBreak = 0;
    std::size_t filesAtBreak = 0;
    RunState statesAtBreak[3] = {};
    // In the (trial + 1)-th cycle, at the first record taken: inside a device's record steps.
    coll().onRecordTaken = [&](const QString&) {
      if (broken || coll().cyclesCount() < trial + 1) return;
      broken = true;
      cyclesAtBreak = coll().cyclesCount();
      filesAtBreak = mergedFiles().size();
      for (int i = 0; i < 3; ++i) statesAtBreak[i] = window(i).acquisition().runState();
      coll().breakClicked();
    };
    coll().runClicked();
    for (int t = 0; t < 100 && !broken; ++t) advance(100);
    ASSERT_TRUE(broken);
    EXPECT_GE(pump_->deepest, 2) << "no tick ran inside another's record steps";
    const int transferring =
        int(std::count(std::begin(statesAtBreak), std::end(statesAtBreak), RunState::Transferring));
    EXPECT_GE(transferring, 2) << "Break did not come during the record steps of two devices";
    advance(5000);
    for (int i = 0; i < 3; ++i) {
      const auto runs = rec_->times(serial(i), "*RUN");
      const auto stops = rec_->times(serial(i), "ZZZZ");
      ASSERT_FALSE(stops.empty());
      EXPECT_LT(runs.back(), stops.back()) << serial(i) << " ran again after the stop";
      EXPECT_EQ(window(i).acquisition().runState(), RunState::Idle);
      EXPECT_FALSE(device(i).measuring());
    }
    // The cycle Break cut is saved with the records that came before it, and no other.
    EXPECT_EQ(mergedFiles().size(), filesAtBreak + 1);
    EXPECT_EQ(coll().cyclesCount(), cyclesAtBreak + 1);
    EXPECT_FALSE(coll().running());
    EXPECT_FALSE(coll().reRunTimer().isActive());
  }
}

// Four trials: Break in the first, second, third and fourth cycle of a run.
INSTANTIATE_TEST_SUITE_P(Trials, MultiSimBreak, ::testing::Range(0, 4));

// Break pressed the moment a cycle's last record is taken: that cycle is complete and its
// merged file is written like every cycle's before it; no cycle follows.
TEST_F(MultiSim, BreakJustAfterACyclesLastRecordKeepsItsFile) {
  make(3);
  sameSignal(*this, 3);
  coll().setAutosave(true);
  int taken = 0;
  coll().onRecordTaken = [&](const QString&) {
    if (++taken == 6) coll().breakClicked();  // the second cycle's last record
  };
  coll().runClicked();
  for (int t = 0; t < 100 && taken < 6; ++t) advance(100);
  ASSERT_EQ(taken, 6);
  advance(5000);
  EXPECT_EQ(taken, 6);
  EXPECT_FALSE(coll().running());
  EXPECT_EQ(coll().cyclesCount(), 2);
  const auto files = mergedFiles();
  ASSERT_EQ(files.size(), 2u);
  expectEveryFileHolds(files, 3);
}

// Break while a long record is on its way: the cycle waits for it, marked, and is drawn and
// saved the moment it is in, not when a long collecting time runs out.
TEST_F(MultiSim, AfterBreakTheCycleEndsWithTheLastRecordOnItsWay) {
  make(3);
  window(2).settingsModel().setSampleTime(1e-6);
  window(2).settingsModel().setMemoryDepth(131000);
  advance(1500);
  ASSERT_EQ(device(2).settings().memoryDepth, 131000.0f);
  coll().setAutosave(true);
  std::int64_t takenUs = -1, endedUs = -1;
  coll().onRecordTaken = [&](const QString&) { takenUs = clock_.nowUs(); };
  coll().onCycleEnded = [&] { endedUs = clock_.nowUs(); };
  coll().runClicked();
  coll().setCollectTimeMs(60000);
  ASSERT_TRUE(
      hub_.advanceUntil([&] { return window(2).link().accumulationFill() > 100000; }, 30000));
  ASSERT_EQ(coll().receivedCount(), 2);
  coll().breakClicked();
  EXPECT_TRUE(coll().breakPending());
  EXPECT_TRUE(coll().statusRows()[2].owed);
  ASSERT_TRUE(hub_.advanceUntil([&] { return endedUs >= 0; }, 30000));
  EXPECT_EQ(endedUs, takenUs);
  EXPECT_EQ(coll().cyclesCount(), 1);
  EXPECT_FALSE(coll().statusRows()[2].owed);
  const auto files = mergedFiles();
  ASSERT_EQ(files.size(), 1u);
  expectEveryFileHolds(files, 3);
}

// Break while every device's long record is on its way and none is in yet: the records the
// devices measured are still taken, drawn and saved as the cycle's, not dropped for late.
TEST_F(MultiSim, BreakBeforeAnyRecordKeepsTheRecordsOnTheirWay) {
  make(2);
  for (int i = 0; i < 2; ++i) {
    window(i).settingsModel().setSampleTime(1e-6);
    window(i).settingsModel().setMemoryDepth(131000);
  }
  advance(1500);
  coll().setAutosave(true);
  int ended = 0;
  coll().onCycleEnded = [&] { ++ended; };
  coll().runClicked();
  ASSERT_TRUE(hub_.advanceUntil(
      [&] { return window(0).link().accumulationFill() > 100000; }, 30000));
  ASSERT_EQ(coll().receivedCount(), 0);
  coll().breakClicked();
  advance(0);
  EXPECT_TRUE(coll().breakPending());
  EXPECT_TRUE(coll().statusRows()[0].owed);
  ASSERT_TRUE(hub_.advanceUntil([&] { return ended > 0; }, 30000));
  advance(5000);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(coll().cyclesCount(), 1);
  const auto files = mergedFiles();
  ASSERT_EQ(files.size(), 1u);
  expectEveryFileHolds(files, 2);
  EXPECT_FALSE(coll().running());
}

// Eight identical devices in a continuous run with automatic saving: every record they sent
// is in exactly one merged file, and every merged file holds all eight.
// A run switches the device windows' own plots off; when it ends (Break, or a single shot
// done) they draw again with the plot mode they had, which their stored settings keep. A plot
// mode 0 the user chose stays.
TEST_F(MultiSim, DeviceWindowsPlotAgainWhenTheRunEnds) {
  make(2);
  auto mode = [&](int i) { return window(i).plots().presenter().choice().plotMode; };
  const int before = mode(0);
  ASSERT_NE(before, 0);
  window(1).plots().presenter().setPlotMode(0);
  coll().runClicked();
  EXPECT_EQ(mode(0), 0);
  advance(3000);
  ASSERT_TRUE(hub_.advanceUntil([&] { return coll().reRunTimer().isActive(); }, 3000));
  EXPECT_EQ(mode(0), 0);  // between two cycles of a continuous run
  coll().breakClicked();
  EXPECT_EQ(mode(0), before);
  EXPECT_EQ(mode(1), 0);
  advance(1000);
  // Device 0's channel 0 in millivolts, shifted, in the multi-device window only.
  ASSERT_TRUE(coll().setScaleCell(1, 1, QStringLiteral("mV")));
  ASSERT_TRUE(coll().setScaleCell(1, 2, QStringLiteral("1000")));
  ASSERT_TRUE(coll().setScaleCell(1, 3, QStringLiteral("5")));
  coll().setSingleShot(true, true);
  coll().runClicked();
  EXPECT_EQ(mode(0), 0);
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().running(); }, 5000));
  EXPECT_EQ(coll().cyclesCount(), 1);
  EXPECT_EQ(mode(0), before);
  EXPECT_EQ(mode(1), 0);
  // The run left the window on its scope controls page; its scope sheet, brought to the front,
  // shows the record the run took with its curves, not a headline over an empty picture.
  advance(1000);
  TPlotSheets& sheets = window(0).plots().sheets();
  ASSERT_EQ(sheets.shownSheet(), PlotSheet::ScopeControls);
  const int depth = window(0).plots().data().sampleCount();
  ASSERT_GT(depth, 0);
  window(0).pageControl()->setCurrentIndex(int(PlotSheet::Scope));
  ASSERT_GT(sheets.scopeKernel().DataSetCount(), 0);
  // Drawn in the device's own volts, not with the multi-device window's scale rows.
  const TMeasureData& d = window(0).plots().data();
  for (int k : {0, depth / 2, depth - 1}) {
    EXPECT_EQ(d.plotChannel0()[k], double(d.scopeSamples()[k].ch0)) << k;
    EXPECT_EQ(d.plotChannel1()[k], double(d.scopeSamples()[k].ch1)) << k;
  }
  EXPECT_EQ(window(0).plots().presenter().scopeRecordTime(),
            window(0).plots().data().measurementTime());
}

// Each device window has its own single-shot choice back when the run ends. The run ends
// inside the last record's steps, where the switch decides whether the device runs on: a
// window whose choice is continuous must not start a run of its own there.
TEST_F(MultiSim, DeviceWindowsHaveTheirOwnSingleShotBackWhenTheRunEnds) {
  make(2);
  for (int i = 0; i < 2; ++i) window(i).acquisition().setSingleShot(false);
  // The give-back waits for the end of those steps on a timer: a call posted anew at every
  // pass of the events would keep a core busy for as long as anything in the steps (a modal
  // box) lets events run.
  struct CallCounter : QObject {
    int calls = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      calls += e->type() == QEvent::MetaCall;
      return false;
    }
  } counter;
  for (int i = 0; i < 2; ++i) window(i).installEventFilter(&counter);
  bool inSteps = false;
  int callsInSteps = -1;
  coll().onCycleEnded = [&] {
    inSteps = window(0).acquisition().recordStepGoing() ||
              window(1).acquisition().recordStepGoing();
    counter.calls = 0;
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    callsInSteps = counter.calls;
  };
  coll().setSingleShot(true, true);
  coll().runClicked();
  EXPECT_TRUE(window(0).acquisition().singleShot());
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().running(); }, 5000));
  EXPECT_TRUE(inSteps);
  EXPECT_LE(callsInSteps, 2);
  coll().onCycleEnded = nullptr;
  for (int i = 0; i < 2; ++i) window(i).removeEventFilter(&counter);
  const std::uint32_t runs[2] = {window(0).acquisition().runsWritten(),
                                 window(1).acquisition().runsWritten()};
  advance(3000);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(window(i).acquisition().singleShot()) << i;
    EXPECT_EQ(window(i).acquisition().runsWritten(), runs[i]) << i;
    EXPECT_EQ(window(i).acquisition().runState(), RunState::Idle) << i;
  }
  // Break (which clears a device's switch as it stops it) gives the choice back as well.
  window(1).acquisition().setSingleShot(true);
  coll().setSingleShot(false, true);
  coll().runClicked();
  ASSERT_TRUE(hub_.advanceUntil([&] { return coll().reRunTimer().isActive(); }, 5000));
  coll().breakClicked();
  advance(3000);
  EXPECT_FALSE(window(0).acquisition().singleShot());
  EXPECT_TRUE(window(1).acquisition().singleShot());
  // Ticking a device changes no other window's box, and switching it from another mode to the
  // scope leaves its own box as the user set it there, also once it leaves again.
  auto boxes = [&] {
    return std::make_pair(window(0).runPanel()->singleShotBox()->isChecked(),
                          window(1).runPanel()->singleShotBox()->isChecked());
  };
  coll().checkClicked(1, false);
  window(0).acquisition().setSingleShot(true);
  window(1).settingsModel().selectMode(kModeVMD0);
  advance(1500);
  ASSERT_EQ(window(1).acquisition().mode(), kModeVMD0);
  window(1).acquisition().setSingleShot(true);
  ASSERT_EQ(boxes(), std::make_pair(true, true));
  coll().checkClicked(1, true);
  EXPECT_EQ(boxes(), std::make_pair(true, true));
  advance(1500);
  EXPECT_EQ(window(1).acquisition().mode(), kModeOSA0);
  EXPECT_EQ(boxes(), std::make_pair(true, true));
  coll().checkClicked(0, false);
  coll().checkClicked(1, false);
  EXPECT_EQ(boxes(), std::make_pair(true, true));
}

TEST_F(MultiSim, EveryRecordInExactlyOneFileOfItsCycle) {
  traces_ = root_ / "trace";
  make(8);
  // Half of them with Overlap ticked in their own windows: the run's one record per cycle
  // still holds (no run of their own in between).
  for (int i = 0; i < 8; i += 2) window(i).acquisition().setOverlap(true);
  coll().setAutosave(true);
  coll().runClicked();
  advance(8000);
  // Stopped between two cycles: everything sent so far belongs to a finished cycle.
  ASSERT_TRUE(hub_.advanceUntil([&] { return coll().reRunTimer().isActive(); }, 3000));
  coll().breakClicked();
  advance(1000);
  const auto files = mergedFiles();
  ASSERT_GE(files.size(), 5u);
  EXPECT_EQ(int(files.size()), coll().cyclesCount());
  std::vector<std::vector<SentRecord>> sent;
  for (int i = 0; i < 8; ++i) sent.push_back(sentRecords(traces_ / (serial(i) + ".trace"), 4000));
  std::vector<std::set<int>> used(8);
  for (const fs::path& f : files) {
    TREADing r;
    ASSERT_EQ(readMultiDataFile(f, '\t', r), 0) << f;
    ASSERT_EQ(r.deviceCount, 8) << f;
    for (int k = 0; k < 8; ++k) {
      const int i =
          int(std::find(r.names.begin(), r.names.end(), QString::fromStdString(serial(k))) -
              r.names.begin());
      ASSERT_LT(i, 8);
      const int m = matchingRecord(sent[std::size_t(k)], r.points.At(i));
      ASSERT_GE(m, 0) << serial(k) << " in " << f << " is no record the device sent";
      EXPECT_TRUE(used[std::size_t(k)].insert(m).second) << "a record in two files";
    }
  }
  for (int k = 0; k < 8; ++k)
    EXPECT_EQ(used[std::size_t(k)].size(), sent[std::size_t(k)].size())
        << serial(k) << ": a record sent is in no file";
}

// One device at 1 ms x 5000 samples, two at 10 us x 1000: the collecting time covers the slow
// record's measuring and transfer, so every cycle's file holds all three.
TEST_F(MultiSim, MixedDepthsAndSampleTimesEveryFileHoldsEveryDevice) {
  make(3);
  TSettingsModel& m = window(0).settingsModel();
  m.setSampleTime(1e-3);
  m.setMemoryDepth(5000);
  advance(1000);
  ASSERT_EQ(device(0).settings().memoryDepth, 5000.0f);
  ASSERT_FLOAT_EQ(device(0).settings().sampleTime, 1e-3f);
  coll().setAutosave(true);
  coll().runClicked();
  advance(26000);
  const auto files = mergedFiles();
  ASSERT_GE(files.size(), 3u);
  expectEveryFileHolds(files, 3);
  for (const MultiStatusRow& row : coll().statusRows()) EXPECT_FALSE(row.missing);
}

// A device whose trigger never fires: each cycle ends with the collecting time, is drawn and
// saved with the others, the device marked missing; the run goes on.
TEST_F(MultiSim, ADeviceThatNeverTriggersIsMarkedAndTheRunGoesOn) {
  make(3);
  device(1).setInput(0, TSimulatedSignal::dc(0.0));
  coll().setAutosave(true);
  coll().runClicked();
  advance(12000);
  EXPECT_GE(coll().cyclesCount(), 4);
  EXPECT_TRUE(coll().running());
  const auto files = mergedFiles();
  ASSERT_GE(files.size(), 4u);
  for (const fs::path& f : files) {
    TREADing r;
    ASSERT_EQ(readMultiDataFile(f, '\t', r), 0) << f;
    EXPECT_EQ(r.deviceCount, 2) << f;
    EXPECT_FALSE(r.names.contains(QString::fromStdString(serial(1))));
  }
  // Marked in every finished cycle; started afresh in every cycle.
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 3000));
  EXPECT_TRUE(coll().statusRows()[1].missing);
  EXPECT_FALSE(coll().statusRows()[0].missing);
  EXPECT_GE(int(rec_->times(serial(1), "*RUN").size()), coll().cyclesCount());
}

// No device triggers at all: the watchdog ends each cycle, shown empty and marked, and the
// continuous run goes on instead of waiting for good.
TEST_F(MultiSim, NoRecordAtAllEndsTheCycleAndTheRunGoesOn) {
  make(2);
  for (int i = 0; i < 2; ++i) device(i).setInput(0, TSimulatedSignal::dc(0.0));
  coll().runClicked();
  const int runs = rec_->count("*RUN");
  advance(coll().collectTimeMs() + TMultiCollection::kTriggerWaitMs + 100);
  EXPECT_EQ(coll().cyclesCount(), 1);
  EXPECT_TRUE(coll().statusRows()[0].missing && coll().statusRows()[1].missing);
  EXPECT_TRUE(coll().running());
  advance(2000);
  EXPECT_EQ(rec_->count("*RUN"), runs + 2);  // the next cycle started both again
}

// The run commands of a cycle go out back to back, before anything else; each record's
// trigger moment is the true one, and the status rows show how far apart they were.
TEST_F(MultiSim, RunsBackToBackAndTrueTriggerMoments) {
  traces_ = root_ / "trace";
  make(4);
  constexpr double kApart = 0.0003;  // device k triggers k x 0.3 ms after device 0
  sameSignal(*this, 4, kApart);
  coll().setSingleShot(true, true);
  const std::size_t before = rec_->writes.size();
  coll().runClicked();
  ASSERT_GE(rec_->writes.size(), before + 4);
  for (std::size_t i = before; i < before + 4; ++i) {
    EXPECT_EQ(rec_->writes[i].word, "*RUN");
    EXPECT_EQ(rec_->writes[i].us, rec_->writes[before].us);
  }
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 3000));
  ASSERT_EQ(coll().receivedCount(), 4);
  // Sample 500 is the first that may trigger (50 % of 1000 before it), at 10 us per sample;
  // the rising 0.5 V crossing of a 2.5 V sine comes asin(0.2) / (2 pi 1 kHz) into its period.
  const std::int64_t run = rec_->writes[before].us;
  const TDayClock& dc = window(0).acquisition().dayClock();
  for (int k = 0; k < 4; ++k) {
    const double phase = std::asin(0.2) / (2 * std::numbers::pi * 1000.0) + k * kApart;
    // The first crossing after sample 499; the trigger is the first sample at or after it.
    const double t499 = double(run) * 1e-6 + 499 * 1e-5;
    double cross = std::floor((t499 - phase) * 1000.0) / 1000.0 + phase;
    if (cross <= t499) cross += 0.001;
    const double sample = std::ceil((cross - double(run) * 1e-6) / 1e-5 - 1e-9);
    const DayTime want = dc.at(run + std::llround(sample * 10.0));
    const DayTime got = window(k).plots().data().measurementTime();
    EXPECT_NEAR(dtDiffSeconds(got, want), 0.0, 0.0002) << serial(k);
    EXPECT_NEAR(coll().statusRows()[std::size_t(k)].triggerDelta, k * kApart, 0.00005) << serial(k);
  }
  // The merged file carries each device's true time where it reads back.
  const fs::path f = root_ / "cycle.CSV";
  ASSERT_EQ(coll().saveDataFile(f), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(f, '\t', r), 0);
  ASSERT_EQ(r.times.size(), 4u);
  for (int k = 0; k < 4; ++k)
    EXPECT_NEAR(dtDiffSeconds(r.times[std::size_t(k)], window(k).plots().data().measurementTime()),
                0.0, 0.0006);
}

// A device whose record is cut at the scope's memory sends the rest after the part the window
// keeps. Its next run must not go out while that rest is still coming: the device would measure
// at once and send the record after the rest, and the record's time, reckoned back from its
// arrival, would lie seconds after its true trigger. Every record's time in the merged files is
// its device's own: its run command plus the time before the trigger.
TEST_F(MultiSim, CutRecordsOfAContinuousRunKeepTheirDevicesTriggerTimes) {
  make(2);
  window(1).settingsModel().setSampleTime(1e-6);
  window(1).settingsModel().setMemoryDepth(200000);
  advance(1500);
  ASSERT_EQ(device(1).settings().memoryDepth, 200000.0f);
  coll().setAutosave(true);
  coll().runClicked();
  advance(90000);
  coll().breakClicked();
  advance(40000);
  const auto files = mergedFiles();
  ASSERT_GE(files.size(), 3u);
  const TDayClock& dc = window(1).acquisition().dayClock();
  const auto runs = rec_->times(serial(1), "*RUN");
  for (const fs::path& f : files) {
    TREADing r;
    ASSERT_EQ(readMultiDataFile(f, '\t', r), 0) << f;
    ASSERT_EQ(r.deviceCount, 2) << f;
    // 100000 samples of 1 us before the trigger.
    double nearest = 1e9;
    for (std::int64_t us : runs)
      nearest = std::min(nearest, std::abs(dtDiffSeconds(r.times[1], dc.at(us)) - 0.1));
    EXPECT_LT(nearest, 0.005) << f;
  }
}

// Three devices measure the same sine but trigger at different levels, so at different
// moments. Each on its own trigger point, their curves lie apart; shifted by their trigger
// deltas, they lie on one another, as the signal is one.
TEST_F(MultiSim, ShiftedCurvesLieOnOneTimeAxis) {
  make(3);
  sameSignal(*this, 3);
  for (int i = 0; i < 3; ++i) window(i).settingsModel().setLevel(0, 1.0 * i);
  advance(1000);
  ASSERT_FLOAT_EQ(device(2).settings().levelUpper, 2.0f);
  coll().setImageSize(1200, 700);
  coll().setSingleShot(true, true);
  coll().runClicked();
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 3000));
  ASSERT_EQ(coll().receivedCount(), 3);
  EXPECT_GT(coll().statusRows()[2].triggerDelta, 0.0001);
  // Channel 1 of each device at a time on the plot's axis, by linear interpolation.
  auto valueAt = [&](int dev, double x) {
    const QString name = QString::fromStdString(serial(dev)) + QStringLiteral(" K1");
    for (int i = 0; i < coll().kernel().DataSetCount(); ++i) {
      const TGenD2DataSet* ds = coll().kernel().Get(i);
      if (ds->name != name) continue;
      // The device's samples, evenly spaced from its own start.
      const TSampleSeries& s = *ds->series;
      for (std::uint64_t k = 1; k < std::min<std::uint64_t>(1000, s.Count()); ++k)
        if (s.XOf(k).number >= x) {
          const double x0 = s.XOf(k - 1).number, x1 = s.XOf(k).number;
          double y0 = 0, y1 = 0;
          s.Value(k - 1, y0);
          s.Value(k, y1);
          return y0 + (x - x0) / (x1 - x0) * (y1 - y0);
        }
    }
    return 1e9;
  };
  auto spread = [&] {
    double worst = 0;
    for (double x = -0.004; x < 0.004; x += 0.00037)
      worst = std::max({worst, std::abs(valueAt(0, x) - valueAt(1, x)),
                        std::abs(valueAt(0, x) - valueAt(2, x))});
    return worst;
  };
  const QImage apart = coll().image().copy();
  EXPECT_GT(spread(), 1.0);
  coll().setShiftByTrigger(true);
  EXPECT_LT(spread(), 0.25);
  const QImage together = coll().image().copy();
  EXPECT_NE(apart, together);
  // Drawn afresh, not over the picture before: the same as a picture made from nothing.
  coll().setImageSize(1200, 700);
  EXPECT_TRUE(coll().image() == together);
  const QByteArray dir = qgetenv("TOLV_WINDOW_SHOT_DIR");
  if (!dir.isEmpty()) {
    apart.save(QString::fromLocal8Bit(dir) + QStringLiteral("/multi_curves_own_trigger.png"));
    together.save(QString::fromLocal8Bit(dir) + QStringLiteral("/multi_curves_shifted.png"));
  }
  coll().setShiftByTrigger(false);
  EXPECT_GT(spread(), 1.0);
}

// A device whose own window runs the analog logger refuses the switch to the scope mode: the
// multi-device run leaves it out, marked busy, and its logger run goes on untouched (no run
// nor stop of the collection's reaches it, Break included), while the others' cycles complete
// without waiting for it. Closing its window stops the logger as any run of the window's own;
// the device is then switched back and joins.
TEST_F(MultiSim, ADeviceInALoggerRunOfItsOwnIsLeftOutUntilThatRunEnds) {
  make(2);
  TAcquisition& acq = window(1).acquisition();
  acq.selectMode(kModeDLA0);
  advance(1500);
  ASSERT_EQ(acq.mode(), kModeDLA0);
  acq.runClicked();
  advance(500);
  ASSERT_TRUE(acq.runInFlight());
  const std::size_t runs = rec_->times(serial(1), "*RUN").size();
  const std::size_t stops = rec_->times(serial(1), "ZZZZ").size();
  QStringList told;
  coll().onDevicesBusy = [&](const QStringList& s, bool ended) {
    told = s;
    EXPECT_FALSE(ended);
  };
  std::vector<int> filesPerCycle;
  coll().onCycleEnded = [&] { filesPerCycle.push_back(int(coll().cycleFiles().size())); };
  coll().runClicked();
  advance(3000);
  ASSERT_GE(filesPerCycle.size(), 2u);
  for (int n : filesPerCycle) EXPECT_EQ(n, 1);
  EXPECT_TRUE(coll().statusRows()[1].busy);
  EXPECT_FALSE(coll().statusRows()[1].missing);
  EXPECT_EQ(told, QStringList{QString::fromStdString(serial(1))});
  EXPECT_TRUE(acq.runInFlight());
  EXPECT_EQ(acq.mode(), kModeDLA0);
  EXPECT_EQ(rec_->times(serial(1), "*RUN").size(), runs);
  EXPECT_EQ(rec_->times(serial(1), "ZZZZ").size(), stops);
  const std::size_t otherStops = rec_->times(serial(0), "ZZZZ").size();
  coll().breakClicked();
  advance(1000);
  EXPECT_GT(rec_->times(serial(0), "ZZZZ").size(), otherStops);
  EXPECT_EQ(rec_->times(serial(1), "ZZZZ").size(), stops);
  EXPECT_TRUE(acq.runInFlight());
  coll().runClicked();
  advance(1000);
  ASSERT_TRUE(coll().statusRows()[1].busy);
  window(1).show();
  window(1).close();
  EXPECT_FALSE(window(1).isVisible());
  EXPECT_EQ(rec_->times(serial(1), "ZZZZ").size(), stops + 1);
  filesPerCycle.clear();
  ASSERT_TRUE(hub_.advanceUntil(
      [&] { return !filesPerCycle.empty() && filesPerCycle.back() == 2; }, 8000));
  EXPECT_FALSE(acq.runInFlight());
  EXPECT_EQ(acq.mode(), kModeOSA0);
  EXPECT_FALSE(coll().statusRows()[1].busy);
  coll().breakClicked();
  advance(1000);
}

// A device window's RUN and single-shot box are held while the multi-device run measures with
// its device, saying why: a click sends no run of its own into the cycle. Break gives them
// back, and so does unticking the device during a run.
TEST_F(MultiSim, ADeviceWindowStartsNothingOfItsOwnDuringTheRun) {
  make(2);
  TOneTolvanexRunPanel& panel = *window(1).runPanel();
  ASSERT_TRUE(panel.runButton()->isEnabled());
  coll().runClicked();
  advance(200);
  ASSERT_TRUE(hub_.advanceUntil([&] { return coll().reRunTimer().isActive(); }, 5000));
  for (bool pending : {true, false}) {
    EXPECT_FALSE(panel.runButton()->isEnabled()) << pending;
    EXPECT_FALSE(panel.singleShotBox()->isEnabled()) << pending;
    EXPECT_EQ(panel.runButton()->toolTip(), hintText(kTextHeldByMultiRun));
    const std::size_t runs = rec_->times(serial(1), "*RUN").size();
    panel.runButton()->click();
    EXPECT_EQ(rec_->times(serial(1), "*RUN").size(), runs);
    if (pending) advance(TMultiCollection::kReRunMs + 10);  // and inside the next cycle
  }
  coll().breakClicked();
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 5000));
  EXPECT_TRUE(panel.runButton()->isEnabled());
  EXPECT_TRUE(panel.singleShotBox()->isEnabled());
  EXPECT_EQ(panel.runButton()->toolTip(), hintText(86));
  coll().runClicked();
  advance(200);
  EXPECT_FALSE(panel.runButton()->isEnabled());
  coll().checkClicked(1, false);
  EXPECT_FALSE(coll().running());
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 5000));
  EXPECT_TRUE(panel.runButton()->isEnabled());
}

// Closing a device window stops a run of its own, even while the multi-device window has it
// registered; during a multi-device run the window only hides, and that run goes on with it
// until its Break.
TEST_F(MultiSim, ClosingADeviceWindowStopsItsOwnRunNotAMultiDeviceRun) {
  make(2);
  TAcquisition& acq = window(1).acquisition();
  acq.setSingleShot(false);
  acq.runClicked();
  advance(300);
  ASSERT_NE(acq.runState(), RunState::Idle);
  window(1).show();
  window(1).close();
  EXPECT_FALSE(window(1).isVisible());
  advance(1000);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  const std::size_t runs = rec_->times(serial(1), "*RUN").size();
  advance(2000);
  EXPECT_EQ(rec_->times(serial(1), "*RUN").size(), runs);
  coll().runClicked();
  advance(300);
  window(0).show();
  window(0).close();
  const int cycles = coll().cyclesCount();
  advance(3000);
  EXPECT_TRUE(coll().running());
  EXPECT_GE(coll().cyclesCount(), cycles + 2);
  EXPECT_FALSE(coll().statusRows()[0].missing);
  EXPECT_GT(rec_->times(serial(1), "*RUN").size(), runs + 1);
  coll().breakClicked();
  advance(1000);
  EXPECT_EQ(window(0).acquisition().runState(), RunState::Idle);
}

// The multi-device window itself with the device windows as the frame hands them in: a member
// window closed during its continuous run only hides, its device goes on measuring, and the
// following cycles complete with it.
TEST_F(MultiSim, AWindowClosedInTheWindowsRunHidesAndItsDeviceStaysInTheRun) {
  make(2);
  TTolvanexFormsList list;
  for (int i = 0; i < 2; ++i) list.add(&window(i));
  setBootingFlag(false);
  TF_Multi_Tolvanex_Img multi(nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
  multi.setDeviceWindows(&list);
  multi.fillFromDeviceWindows();
  for (int i = 0; i < 2; ++i) multi.coll().setItemChecked(i, true);
  ASSERT_EQ(multi.activateCheckedDevices(), 0);
  multi.coll().setSingleShot(false, true);
  multi.BN_RunClick();
  advance(1500);
  ASSERT_TRUE(multi.runGoing());
  window(0).show();
  window(0).close();
  EXPECT_FALSE(window(0).isVisible());
  const std::size_t stops = rec_->times(serial(0), "ZZZZ").size();
  const int cycles = multi.coll().cyclesCount();
  std::vector<int> filesPerCycle;
  multi.coll().onCycleEnded = [&] { filesPerCycle.push_back(int(multi.coll().cycleFiles().size())); };
  advance(3000);
  EXPECT_EQ(rec_->times(serial(0), "ZZZZ").size(), stops);
  EXPECT_GE(multi.coll().cyclesCount(), cycles + 2);
  for (int n : filesPerCycle) EXPECT_EQ(n, 2);
  multi.BN_BreakClick();
  advance(1000);
  multi.coll().onCycleEnded = nullptr;
  // The windows let go of this window before it goes.
  for (int i = 0; i < 2; ++i) multi.coll().setItemChecked(i, false);
  multi.activateCheckedDevices();
  list.clear();
}

// RUN, BREAK and RUN again within a few tenths of a second, with a slow device (2 s record):
// the slow device sends what it measured up to Break, and RUN waits for it rather than drop it
// as late. The cycle Break cut ends with every device's record, and the new run's first cycle
// holds every device too.
class MultiSimRunBreakRun : public MultiSimRig, public ::testing::WithParamInterface<int> {};

TEST_P(MultiSimRunBreakRun, TheCycleBreakCutKeepsTheRecordOnItsWayAndTheNextHoldsEveryDevice) {
  const int breakAfterMs = GetParam();
  make(3);
  sameSignal(*this, 3);
  TSettingsModel& m = window(2).settingsModel();
  m.setSampleTime(200e-6);
  m.setMemoryDepth(10000);
  advance(1000);
  ASSERT_EQ(device(2).settings().memoryDepth, 10000.0f);
  coll().setSingleShot(true, true);
  std::vector<std::vector<bool>> cycles;
  coll().onCycleEnded = [&] {
    std::vector<bool> got;
    for (const MultiStatusRow& r : coll().statusRows()) got.push_back(r.filled && !r.missing);
    cycles.push_back(got);
  };
  coll().runClicked();
  advance(breakAfterMs);
  coll().breakClicked();
  advance(100);
  ASSERT_TRUE(cycles.empty());
  coll().runClicked();
  EXPECT_TRUE(coll().runQueued());
  EXPECT_TRUE(coll().statusRows()[2].owed);
  ASSERT_TRUE(hub_.advanceUntil([&] { return !cycles.empty(); }, 20000));
  EXPECT_EQ(cycles.front(), (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(coll().running());
  ASSERT_TRUE(hub_.advanceUntil([&] { return cycles.size() > 1; }, 20000));
  EXPECT_EQ(cycles.back(), (std::vector<bool>{true, true, true}));
  for (const MultiStatusRow& r : coll().statusRows())
    EXPECT_FALSE(r.missing) << r.serial.toStdString();
}

// Break before the fast devices' records are in (nothing drawn), and after.
INSTANTIATE_TEST_SUITE_P(BreakAfter, MultiSimRunBreakRun, ::testing::Values(100, 250));

// START, STOP 150 ms later and START 100 ms later, with one device's window switched back from
// the voltmeter to the scope a moment before (its own mode choice, still on its way to the
// device at the first START): the second run's merged file holds that device as well, and its
// row is not marked.
class MultiSimSwitchBack : public MultiSimRig, public ::testing::WithParamInterface<int> {};

TEST_P(MultiSimSwitchBack, ADeviceJustSwitchedBackIsInTheNextRunsFile) {
  const int chosenBeforeMs = GetParam();
  make(2);
  sameSignal(*this, 2);
  TSettingsModel& m = window(1).settingsModel();
  m.selectMode(kModeVMD0);
  advance(1500);
  ASSERT_EQ(window(1).acquisition().mode(), kModeVMD0);
  window(1).acquisition().runClicked();
  advance(600);
  window(1).acquisition().stopClicked();
  advance(400);
  m.selectMode(kModeOSA0);
  advance(chosenBeforeMs);
  coll().setSingleShot(true, true);
  coll().setAutosave(true);
  std::vector<std::pair<int, std::vector<bool>>> cycles;  // files and rows said missing
  coll().onCycleEnded = [&] {
    std::vector<bool> missing;
    for (const MultiStatusRow& r : coll().statusRows()) missing.push_back(r.missing);
    cycles.emplace_back(int(coll().cycleFiles().size()), missing);
  };
  coll().runClicked();
  advance(150);
  coll().breakClicked();
  advance(100);
  const std::size_t before = cycles.size();
  coll().runClicked();
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().running() && cycles.size() > before; },
                                20000));
  advance(3000);
  ASSERT_FALSE(cycles.empty());
  const auto& [files, missing] = cycles.back();
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_EQ(files, 2) << chosenBeforeMs << " ms";
  EXPECT_FALSE(missing[1]) << chosenBeforeMs << " ms";
  EXPECT_EQ(window(1).acquisition().mode(), kModeOSA0);
  expectEveryFileHolds({mergedFiles().back()}, 2);
}

// The choice made at once, within its reply's wait, and after the device took it.
INSTANTIATE_TEST_SUITE_P(ChosenBefore, MultiSimSwitchBack, ::testing::Values(0, 150, 1200));

}  // namespace
}  // namespace tolv::test
