// A device pulled out of a continuous multi-device run on the stepped clock, at each moment of
// its cycle, telling by a failing status or by silence: the run goes on with the others, their
// merged files read back, the missing one is marked, and once plugged back it joins the cycles
// again and starts from its own window.
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <set>

#include "devicewin/tf_onetolvanex_runpanel.h"
#include "multi/multifiles.h"
#include "multi_sim_rig.h"

namespace tolv::test {
namespace {

namespace fs = std::filesystem;

// Where the pulled device is in its cycle: between two runs, waiting for its trigger, or with
// part of its record across the link.
enum class Moment { Idle, Measuring, Transferring };

struct PullCase {
  Moment at;
  FtStatus status;  // what its calls answer afterwards (0: nothing, as a silent driver)
};

class FilesRig : public MultiSimRig {
 protected:
  // Device names of the merged files not in `before`, each file read back.
  std::vector<QStringList> newFiles(const std::set<fs::path>& before) {
    std::vector<QStringList> out;
    for (const fs::path& f : mergedFiles()) {
      if (before.count(f)) continue;
      TREADing r;
      EXPECT_EQ(readMultiDataFile(f, '\t', r), 0) << f;
      EXPECT_EQ(r.deviceCount, int(r.names.size())) << f;
      out.push_back(r.names);
    }
    return out;
  }
  std::set<fs::path> filesNow() const {
    const auto v = mergedFiles();
    return {v.begin(), v.end()};
  }
  QString name(int i) const { return QString::fromStdString(serial(i)); }
};

class MultiUnplug : public FilesRig, public ::testing::WithParamInterface<PullCase> {};

TEST_P(MultiUnplug, RunGoesOnWithTheOthersAndThePulledDeviceRejoins) {
  const PullCase c = GetParam();
  make(3);
  coll().setAutosave(true);
  coll().runClicked();
  advance(3000);
  ASSERT_GE(coll().cyclesCount(), 1);
  TAcquisition& pulled = window(1).acquisition();
  switch (c.at) {
    case Moment::Idle:
      ASSERT_TRUE(hub_.advanceUntil([&] { return pulled.runState() == RunState::Idle; }, 5000));
      break;
    case Moment::Measuring:
      ASSERT_TRUE(hub_.advanceUntil(
          [&] { return pulled.runInFlight() && window(1).link().accumulationFill() == 0; }, 5000));
      break;
    case Moment::Transferring:
      // Slowed from a fresh run on, so its record is caught on its way.
      ASSERT_TRUE(hub_.advanceUntil([&] { return pulled.runState() == RunState::Idle; }, 5000));
      sim_->setLinkRate({4, 1000});
      ASSERT_TRUE(hub_.advanceUntil(
          [&] {
            const int fill = window(1).link().accumulationFill();
            return pulled.runInFlight() && fill < pulled.expectedByteCount() &&
                   (fill > 0 || device(1).available() > 0);
          },
          5000));
      ASSERT_LT(window(1).link().accumulationFill(), pulled.expectedByteCount());
      break;
  }
  const int cyclesAtPull = coll().cyclesCount();
  ASSERT_TRUE(sim_->unplug(1, c.status));
  sim_->setLinkRate(LinkRate());
  // What the frame does when the system announces the device gone.
  window(1).deviceGone();
  EXPECT_TRUE(window(1).isLost());
  const auto beforeAway = filesNow();

  // The collecting time the user sees stays what it was while the device is away.
  const int collectMs = coll().collectTimeMs();
  std::set<int> shown;
  for (int t = 0; t < 50; ++t) {
    advance(100);
    shown.insert(coll().collectTimeMs());
  }
  EXPECT_EQ(shown, std::set<int>({collectMs}));
  EXPECT_TRUE(coll().running());
  EXPECT_GE(coll().cyclesCount(), cyclesAtPull + 3);
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 5000));
  EXPECT_TRUE(coll().statusRows()[1].missing);
  EXPECT_FALSE(coll().statusRows()[0].missing);
  EXPECT_FALSE(coll().statusRows()[2].missing);
  // Every cycle begun after the pull saved devices 1 and 3, read back, without device 2.
  const auto away = newFiles(beforeAway);
  ASSERT_GE(away.size(), 3u);
  for (std::size_t k = 1; k < away.size(); ++k) {
    EXPECT_EQ(away[k], QStringList({name(0), name(2)})) << "file " << k;
  }

  // Plugged back: the frame finds it on the bus again and reconnects its window.
  ASSERT_TRUE(sim_->plug(1));
  EXPECT_EQ(window(1).reconnect(), 0);
  EXPECT_FALSE(window(1).isLost());
  advance(1500);
  const auto beforeBack = filesNow();
  advance(6000);
  const auto back = newFiles(beforeBack);
  ASSERT_GE(back.size(), 3u);
  // The cycle under way at the return may lack it; those after it hold all three.
  for (std::size_t k = 1; k < back.size(); ++k)
    EXPECT_EQ(back[k], QStringList({name(0), name(1), name(2)})) << "file " << k;
  ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 5000));
  EXPECT_FALSE(coll().statusRows()[1].missing);
  EXPECT_EQ(coll().collectTimeMs(), collectMs);

  // After the run, START in its own window measures again.
  coll().breakClicked();
  advance(1500);
  const std::uint32_t runs = window(1).acquisition().runsWritten();
  TOneTolvanexRunPanel& rp = *window(1).runPanel();
  rp.singleShotBox()->setChecked(true);
  QTest::mouseClick(rp.runButton(), Qt::LeftButton, {}, rp.runButton()->rect().center());
  const TAcquisition& acq = window(1).acquisition();
  EXPECT_TRUE(hub_.advanceUntil(
      [&] { return acq.runsWritten() > runs && acq.runState() == RunState::Idle; }, 5000));
  EXPECT_FALSE(window(1).isLost());
}

std::string caseName(const ::testing::TestParamInfo<PullCase>& i) {
  static const char* const states[] = {"Idle", "Measuring", "Transferring"};
  return std::string(states[int(i.param.at)]) + (i.param.status == kFtOk ? "Silent" : "Status");
}

INSTANTIATE_TEST_SUITE_P(
    Moments, MultiUnplug,
    ::testing::Values(PullCase{Moment::Idle, kFtIoError}, PullCase{Moment::Measuring, kFtIoError},
                      PullCase{Moment::Transferring, kFtIoError}, PullCase{Moment::Idle, kFtOk},
                      PullCase{Moment::Measuring, kFtOk}, PullCase{Moment::Transferring, kFtOk}),
    caseName);

// A device pulled after its run command went out and plugged back before the cycle ends lost
// that run and its record: the cycle's end marks it missing, neither waiting for its trigger nor
// stopped by Break. A device that never left and never triggers still says no trigger came.
TEST_F(FilesRig, PulledAndPluggedBackWithinTheCycleIsMissing) {
  make(3);
  device(2).setInput(0, TSimulatedSignal::dc(0.0));
  coll().setSingleShot(true, true);
  for (bool withBreak : {false, true}) {
    const std::uint32_t runs = window(1).acquisition().runsWritten();
    coll().runClicked();
    ASSERT_GT(window(1).acquisition().runsWritten(), runs);
    advance(5);
    ASSERT_TRUE(sim_->unplug(1));
    window(1).deviceGone();
    advance(20);
    ASSERT_TRUE(sim_->plug(1));
    ASSERT_EQ(window(1).reconnect(), 0);
    ASSERT_FALSE(window(1).isLost());
    ASSERT_TRUE(coll().cycleOpen());
    if (withBreak) {
      ASSERT_TRUE(hub_.advanceUntil([&] { return coll().receivedCount() > 0; }, 3000));
      coll().breakClicked();
    }
    ASSERT_TRUE(hub_.advanceUntil([&] { return !coll().cycleOpen(); }, 15000));
    const auto& rows = coll().statusRows();
    EXPECT_FALSE(rows[0].missing);
    EXPECT_TRUE(rows[1].missing);
    EXPECT_EQ(rows[1].why, MultiMiss::NoRecord) << withBreak;
    if (!withBreak) {
      EXPECT_TRUE(rows[2].missing);
      EXPECT_EQ(rows[2].why, MultiMiss::NoTrigger);
    }
    advance(1500);
  }
}

// A device that stays plugged in stays in the run, whatever one bad moment of its link does: a
// call failing once, replies slowed for a while, noise on the line. The cycles after it hold
// every device again.
enum class Hiccup {
  QueueStatusFails,
  ReadFails,
  WriteFails,
  SlowReplies,
  Noise,
  ExtraBytes,
  SilentAWhile,  // a reply that never comes: the window's wait for it runs out
};

class MultiHiccup : public FilesRig, public ::testing::WithParamInterface<Hiccup> {};

TEST_P(MultiHiccup, ThePluggedDeviceStaysInTheRun) {
  using Call = TSimulatedDriver::Call;
  make(3);
  coll().setAutosave(true);
  coll().runClicked();
  advance(2500);
  ASSERT_GE(coll().cyclesCount(), 1);
  ASSERT_TRUE(hub_.advanceUntil([&] { return device(1).measuring(); }, 5000));
  switch (GetParam()) {
    case Hiccup::QueueStatusFails: sim_->failNext(Call::QueueStatus, kFtIoError); break;
    case Hiccup::ReadFails: sim_->failNext(Call::Read, kFtIoError); break;
    case Hiccup::WriteFails: sim_->failNext(Call::Write, kFtIoError); break;
    case Hiccup::SlowReplies: device(1).setReplyLatencyUs(700000); break;
    case Hiccup::Noise: device(1).injectGarbage(7); break;
    case Hiccup::ExtraBytes: device(1).setExtraBytesAfterRecord(3); break;
    case Hiccup::SilentAWhile: device(1).setSilent(true); break;
  }
  advance(3000);
  device(1).setSilent(false);
  device(1).setReplyLatencyUs(0);
  device(1).setExtraBytesAfterRecord(0);
  advance(3000);
  const auto before = filesNow();
  advance(4000);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(window(i).isLost()) << i;
  const auto later = newFiles(before);
  ASSERT_GE(later.size(), 3u);
  for (std::size_t k = 0; k < later.size(); ++k)
    EXPECT_EQ(later[k], QStringList({name(0), name(1), name(2)})) << "file " << k;
}

INSTANTIATE_TEST_SUITE_P(Moments, MultiHiccup,
                         ::testing::Values(Hiccup::QueueStatusFails, Hiccup::ReadFails,
                                           Hiccup::WriteFails, Hiccup::SlowReplies, Hiccup::Noise,
                                           Hiccup::ExtraBytes, Hiccup::SilentAWhile));

}  // namespace
}  // namespace tolv::test
