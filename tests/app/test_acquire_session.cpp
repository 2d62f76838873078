// A device measured without a window writes what the device window writes: the same settings
// on the same simulated device, both stepped on their own manual clocks, give the same files.
#include <gtest/gtest.h>

#include "app/acquire_files.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/clock.h"
#include "common/paths.h"
#include "common/texttable.h"
#include "device/devtimer.h"
#include "devicewin/tf_onetolvanex.h"
#include "ftdi/simulated_driver.h"
#include "app/headless.h"
#include "app/headless_acquire.h"
#include "measure/devicesession.h"
#include "measure/textheader.h"
#include "multi/multicollect.h"
#include "multi/multifiles.h"
#include "multi/sessionmember.h"

using namespace tolv;
using namespace tolv::test;
namespace fs = std::filesystem;

namespace {

// "" when equal, else the first line that differs in both texts.
std::string firstDifference(const std::string& a, const std::string& b) {
  std::istringstream x(a), y(b);
  std::string l1, l2;
  for (int n = 1;; ++n) {
    const bool m1 = bool(std::getline(x, l1)), m2 = bool(std::getline(y, l2));
    if (!m1 && !m2) return {};
    if (m1 != m2 || l1 != l2)
      return "line " + std::to_string(n) + ": \"" + l1.substr(0, 200) + "\" vs \"" +
             l2.substr(0, 200) + "\"";
  }
}

// The settings both sides start from: the first-start ones with a long scope record, saved
// automatically as CSV.
SettingsRecord scopeSettings(double depth) {
  SettingsRecord r = SettingsRecord::defaults();
  r.memoryDepth = depth;
  r.autoSaveMode = 1;
  return r;
}

class SessionVsWindow : public ::testing::Test {
 protected:
  static constexpr std::int64_t kRunAtMs = 3000;

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = fs::path(dir_.path().toStdString());
    setDataRoot(root_ / "window");
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    for (TSimulatedDriver* s : {&simW_, &simS_}) s->setLinkRate({4096, 1000});
  }

  // The window opens with `r` as its LastSettings and measures `records` records.
  void windowRun(const SettingsRecord& r, int records) {
    TF_OneTolvanex w(simW_, nullptr, [this](int ms) -> ITimer& { return hubW_.create(ms); });
    w.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    w.setSettingsRestore([r](const fs::path&, SettingsRecord& out) {
      out = r;
      return 0;
    });
    ASSERT_EQ(w.open(), 0);
    hubW_.advance(kRunAtMs);
    ASSERT_TRUE(w.acquisition().runEnabled());
    w.acquisition().runClicked();
    ASSERT_TRUE(hubW_.advanceUntil(
        [&] { return int(filesUnder(root_ / "window", ".CSV").size()) >= records; }, 60000));
    w.acquisition().stopClicked();
    hubW_.advance(2000);
  }

  // The session does the same without a window.
  TDeviceSession& sessionOpen(const SettingsRecord& r) {
    session_ = std::make_unique<TDeviceSession>(
        simS_, QString::fromStdString(TSimulatedDriver::serialFor(1)),
        [this](int ms) -> ITimer& { return hubS_.create(ms); });
    session_->setCsvStyle(CsvStyle::current());
    EXPECT_EQ(session_->open(root_ / "session", r, WindowOptions::fromRecord(r)), 0);
    EXPECT_TRUE(hubS_.advanceUntil([&] { return session_->ready(); }, 5000));
    // The simulated inputs run on their clock: both sides start measuring at the same moment.
    EXPECT_LE(clockS_.nowMs(), kRunAtMs);
    hubS_.advance(kRunAtMs - clockS_.nowMs());
    return *session_;
  }

  QTemporaryDir dir_;
  fs::path root_;
  ManualClock clockW_, clockS_;
  TSimulatedDriver simW_{1, clockW_}, simS_{1, clockS_};
  TManualTimerHub hubW_{clockW_}, hubS_{clockS_};
  std::unique_ptr<TDeviceSession> session_;
};

}  // namespace

TEST_F(SessionVsWindow, ScopeRecordsAreTheWindowsFiles) {
  const SettingsRecord r = scopeSettings(131000);
  windowRun(r, 3);
  TDeviceSession& s = sessionOpen(r);
  int events = 0;
  s.onEvent = [&](const SessionEvent& e) {
    EXPECT_EQ(e.kind, SessionEvent::Kind::ScopeRecord);
    EXPECT_EQ(e.bytes, 131000u * 4);
    EXPECT_EQ(e.result, 0);
    if (++events == 3) s.stopTakingNoMore();
  };
  s.run();
  ASSERT_TRUE(hubS_.advanceUntil([&] { return events >= 3; }, 60000));
  hubS_.advance(2000);
  EXPECT_EQ(s.records(), 3u);
  EXPECT_EQ(s.bytesIn(), 3u * 131000 * 4);

  const auto w = filesUnder(root_ / "window", ".CSV");
  const auto h = filesUnder(root_ / "session", ".CSV");
  // The window keeps the record its STOP found on its way; the session asked for three takes
  // no more.
  ASSERT_GE(w.size(), 3u);
  ASSERT_EQ(h.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(firstDifference(slurp(w[i]), slurp(h[i])), "");
  // The intermediate files as well, headers included.
  const auto wf = filesUnder(root_ / "window", ".FIL");
  const auto hf = filesUnder(root_ / "session", ".FIL");
  ASSERT_GE(wf.size(), 3u);
  ASSERT_EQ(hf.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(slurp(wf[i]), slurp(hf[i])) << i;
}

TEST_F(SessionVsWindow, StartsWithTheGivenSettingsAndReportsALostLink) {
  SettingsRecord r = scopeSettings(1000);
  r.mode = kModeLAIO;
  r.sampleTime = 1e-6;
  r.autoSaveMode = 2;
  TDeviceSession& s = sessionOpen(r);
  EXPECT_EQ(s.acquisition().mode(), kModeLAIO);
  EXPECT_EQ(s.acquisition().storedReply().memoryDepth, 1000.0f);
  EXPECT_FALSE(s.lost());
  s.acquisition().setSingleShot(true);
  s.run();
  ASSERT_TRUE(hubS_.advanceUntil([&] { return s.records() == 1; }, 5000));
  EXPECT_EQ(filesUnder(root_ / "session", ".VXD").size(), 1u);
  EXPECT_GE(s.data().logicList().count(), 1000);
  // Unplugged: the next read fails and the session says so with the driver's status.
  simS_.disconnect(0);
  s.run();
  hubS_.advance(1000);
  EXPECT_TRUE(s.lost());
  EXPECT_NE(s.lostStatus(), kFtOk);
}

TEST(DeviceFolders, OnlySerialNumbersThatStayBelowTheRoot) {
  QTemporaryDir dir;
  const fs::path root(dir.path().toStdString());
  fs::path folder;
  for (const char* bad : {"", ".", "..", "a/b", "a\\b"})
    EXPECT_EQ(prepareDeviceFolders(root, QString::fromLatin1(bad), folder), 3) << bad;
  EXPECT_TRUE(fs::is_empty(root));
  ASSERT_EQ(prepareDeviceFolders(root, QStringLiteral("TVS00001"), folder), 0);
  EXPECT_EQ(folder, root / "TVS00001");
  for (const char* sub : kIntermediateFolderNames) EXPECT_TRUE(fs::is_directory(folder / sub));
  // A file where the device folder belongs: the folder cannot be made.
  std::ofstream(root / "TVS00002") << "x";
  EXPECT_EQ(prepareDeviceFolders(root, QStringLiteral("TVS00002"), folder), 3);
}

// The run of --acquire in this process, on simulated devices with an instant link and the
// event loop's own timers.
class HeadlessRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    setDataRoot(fs::path(dir_.path().toStdString()));
    sim_.setLinkRate(LinkRate::instant());
    err_ = open_memstream(&errText_, &errSize_);
  }
  void TearDown() override {
    std::fclose(err_);
    std::free(errText_);
  }
  QString errors() {
    std::fflush(err_);
    return QString::fromUtf8(errText_, qsizetype(errSize_));
  }
  // Runs the event loop until the run has finished (or `ms` passed); what `during` does is
  // done once every device measures.
  void loop(THeadlessAcquisition& run, const std::function<void()>& during, int ms = 20000) {
    QElapsedTimer t;
    t.start();
    bool done = false;
    while (!run.finished() && t.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (!done && during && run.sessionCount() > 0 && run.session(0).records() > 0) {
        during();
        done = true;
      }
    }
  }

  QTemporaryDir dir_;
  TSimulatedDriver sim_{2, SystemClock::instance()};
  char* errText_ = nullptr;
  std::size_t errSize_ = 0;
  std::FILE* err_ = nullptr;
};

TEST_F(HeadlessRun, ADeviceLostMidRunEndsWithThreeKeepingWhatArrived) {
  AcquireRequest q;
  q.samples = 1000;
  q.quiet = true;
  THeadlessAcquisition run(q, sim_, err_);
  ASSERT_EQ(run.start(), 0);
  ASSERT_EQ(run.sessionCount(), 2);
  loop(run, [&] { sim_.disconnect(1); });
  ASSERT_TRUE(run.finished());
  EXPECT_EQ(run.exitCode(), kExitDeviceLost);
  EXPECT_TRUE(errors().contains("TVS00002: device lost (driver status")) << errors().toStdString();
  // The other device was stopped and keeps its records.
  EXPECT_TRUE(run.session(0).acquisition().stopRequested());
  EXPECT_GE(run.session(0).records(), 1u);
  EXPECT_FALSE(filesUnder(fs::path(dir_.path().toStdString()) / "TVS00001", ".CSV").empty());
}

// A device that goes without a failing call (a silent driver), or that is pulled and plugged
// back at once, is found by the listing: a run for a number of records ends instead of waiting
// for ever.
TEST_F(HeadlessRun, ADeviceGoneSilentlyOrBackAtOnceIsFoundByTheListing) {
  for (bool back : {false, true}) {
    SCOPED_TRACE(back);
    TSimulatedDriver sim(2, SystemClock::instance());
    sim.setLinkRate(LinkRate::instant());
    AcquireRequest q;
    q.samples = 1000;
    q.records = 1000000;
    q.quiet = true;
    const long from = long(errors().size());
    THeadlessAcquisition run(q, sim, err_);
    ASSERT_EQ(run.start(), 0);
    loop(run, [&] {
      sim.unplug(1, kFtOk);
      if (back) sim.plug(1);  // within one listing: only its dead handle tells
    });
    ASSERT_TRUE(run.finished());
    EXPECT_EQ(run.exitCode(), kExitDeviceLost);
    const QString said = errors().mid(from);
    EXPECT_TRUE(said.contains(QStringLiteral("TVS00002: device lost (driver status %1)")
                                  .arg(back ? kFtIoError : kFtDeviceNotFound)))
        << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("TVS00001: device lost"))) << said.toStdString();
    EXPECT_GE(run.session(0).records(), 1u);
  }
}

TEST_F(HeadlessRun, AStopRequestStopsEveryDeviceAndEndsWithZero) {
  AcquireRequest q;
  q.samples = 1000;
  THeadlessAcquisition run(q, sim_, err_);
  ASSERT_EQ(run.start(), 0);
  int finishedWith = -1;
  run.onFinished = [&](int code) { finishedWith = code; };
  loop(run, [&] { run.requestStop(); });
  ASSERT_TRUE(run.finished());
  EXPECT_EQ(finishedWith, 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(run.session(i).acquisition().stopRequested()) << i;
    EXPECT_FALSE(run.session(i).link().isOpen()) << i;
  }
  // Not a terminal: lines per record, each naming its device.
  const QStringList lines = errors().split('\n', Qt::SkipEmptyParts);
  ASSERT_FALSE(lines.isEmpty());
  for (const QString& l : lines) EXPECT_TRUE(l.startsWith("TVS0000")) << l.toStdString();
}

TEST_F(HeadlessRun, SettingsOutsideTheTablesStopBeforeAnythingIsSent) {
  AcquireRequest q;
  q.range = std::array<double, 2>{5, 3};
  THeadlessAcquisition run(q, sim_, err_);
  EXPECT_EQ(run.start(), 2);
  EXPECT_TRUE(errors().contains("TVS00001: --range 3 V is no range of channel 2; nearest: 2 V or 5 V"))
      << errors().toStdString();
  EXPECT_EQ(sim_.calls(TSimulatedDriver::Call::Open), 0);
  EXPECT_EQ(sim_.calls(TSimulatedDriver::Call::Write), 0);
}

namespace {

std::size_t filesIn(const fs::path& dir) {
  std::size_t n = 0;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(dir, ec)) n += e.is_regular_file();
  return n;
}

// A merged run of 1000-sample records into `out`.
AcquireRequest mergedInto(const fs::path& out) {
  AcquireRequest q;
  q.merged = true;
  q.samples = 1000;
  q.quiet = true;
  fs::create_directories(out);
  q.out = QString::fromStdString(out.string());
  return q;
}

// Runs the event loop until the run has finished (at most 30 s), handing `step` the collection
// once the run has one.
void loopMerged(THeadlessAcquisition& run, const std::function<void(TMultiCollection&)>& step) {
  QElapsedTimer t;
  t.start();
  while (!run.finished() && t.elapsed() < 30000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (TMultiCollection* c = run.collection()) step(*c);
  }
}

// A merged run whose device 2 falls silent: every cycle from then on is cut by its collecting
// time. The stop comes while such a cycle is open with device 1's record in it; that cycle is
// still written, with device 2 marked missing, and the devices are stopped.
TEST_F(HeadlessRun, AMergedStopInTheMiddleOfACycleWritesThatCycle) {
  const fs::path out = fs::path(dir_.path().toStdString()) / "merged";
  THeadlessAcquisition run(mergedInto(out), sim_, err_);
  ASSERT_EQ(run.start(), 0);
  bool silenced = false, stopped = false;
  std::size_t filesAtStop = 0;
  int cyclesAtStop = 0;
  loopMerged(run, [&](TMultiCollection& c) {
    if (!silenced && c.cyclesCount() >= 1) {
      sim_.device(1).setSilent(true);
      silenced = true;
    }
    // A cycle after the silence, device 1's record in it, device 2's missing.
    if (silenced && !stopped && c.cyclesCount() >= 2 && c.cycleOpen() && c.receivedCount() == 1) {
      filesAtStop = filesIn(out);
      cyclesAtStop = c.cyclesCount();
      run.requestStop();
      stopped = true;
    }
  });
  ASSERT_TRUE(stopped);
  ASSERT_TRUE(run.finished());
  EXPECT_EQ(run.exitCode(), 0) << errors().toStdString();
  EXPECT_EQ(filesIn(out), filesAtStop + 1);
  EXPECT_EQ(run.collection()->cyclesCount(), cyclesAtStop + 1);
  EXPECT_TRUE(run.collection()->statusRows()[1].missing);
  EXPECT_FALSE(run.collection()->running());
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(run.session(i).acquisition().stopRequested()) << i;
    EXPECT_FALSE(run.session(i).link().isOpen()) << i;
  }
}

// One device lost from a merged run: the run goes on with the other, saying so once on
// stderr; its files hold the other device with the lost one marked missing; a stop then ends
// it with the exit code of a lost device.
TEST_F(HeadlessRun, AMergedRunGoesOnWithoutALostDevice) {
  const fs::path out = fs::path(dir_.path().toStdString()) / "merged";
  THeadlessAcquisition run(mergedInto(out), sim_, err_);
  ASSERT_EQ(run.start(), 0);
  int cyclesAtLoss = -1;
  loopMerged(run, [&](TMultiCollection& c) {
    if (cyclesAtLoss < 0 && c.cyclesCount() >= 1 && !c.cycleOpen()) {
      sim_.unplug(1);
      cyclesAtLoss = c.cyclesCount();
    }
    if (cyclesAtLoss >= 0 && c.cyclesCount() >= cyclesAtLoss + 3) run.requestStop();
  });
  ASSERT_TRUE(run.finished());
  ASSERT_GE(cyclesAtLoss, 1);
  EXPECT_GE(run.collection()->cyclesCount(), cyclesAtLoss + 3);
  EXPECT_EQ(run.exitCode(), kExitDeviceLost);
  EXPECT_EQ(errors().count("TVS00002: device lost"), 1) << errors().toStdString();
  EXPECT_TRUE(errors().contains("goes on without it")) << errors().toStdString();
  EXPECT_TRUE(run.collection()->statusRows()[1].missing);
  EXPECT_GE(filesIn(out), std::size_t(cyclesAtLoss + 3));
}

// A device's own file that cannot be written (a folder in its place) is no failure of the
// merged files: said in one warning line naming each device's file that fails, and the run
// goes on to its last cycle, every merged file holding both devices, with exit code 0.
TEST_F(HeadlessRun, AMergedRunGoesOnWhenADeviceFileCannotBeWritten) {
  const fs::path out = fs::path(dir_.path().toStdString()) / "merged";
  AcquireRequest q = mergedInto(out);
  q.records = 3;
  const fs::path blocked = intermediateFolder() / "TVS00001.CSV";
  const fs::path blocked2 = intermediateFolder() / "TVS00002.CSV";
  fs::create_directories(blocked);
  fs::create_directories(blocked2);
  THeadlessAcquisition run(q, sim_, err_);
  ASSERT_EQ(run.start(), 0);
  loopMerged(run, [](TMultiCollection&) {});
  ASSERT_TRUE(run.finished());
  EXPECT_EQ(run.exitCode(), 0) << errors().toStdString();
  EXPECT_EQ(run.collection()->cyclesCount(), 3);
  const QString said = errors();
  EXPECT_EQ(said.count("warning:"), 1) << said.toStdString();
  for (const fs::path& p : {blocked, blocked2})
    EXPECT_EQ(said.count(QString::fromStdString(p.string())), 1) << said.toStdString();
  EXPECT_FALSE(said.contains("stopping")) << said.toStdString();
  std::size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out)) {
    if (!e.is_regular_file()) continue;
    ++files;
    TREADing r;
    ASSERT_EQ(readMultiDataFile(e.path(), '\t', r), 0) << e.path();
    EXPECT_EQ(r.names, (QStringList{"TVS00001", "TVS00002"})) << e.path();
  }
  EXPECT_EQ(files, 3u);
}

}  // namespace
TEST_F(HeadlessRun, AnIoLoggerStreamThatCannotBeReadBackIsNamedSoNotAsAWriteFailure) {
  AcquireRequest q;
  q.mode = kModeDLDI;
  q.quiet = true;
  THeadlessAcquisition run(q, sim_, err_);
  ASSERT_EQ(run.start(), 0);
  // Once the first device's stream has data, its header goes away and the run is stopped: the
  // stream ends normally but cannot be read back.
  QElapsedTimer t;
  t.start();
  bool cut = false;
  while (!run.finished() && t.elapsed() < 20000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!cut && run.sessionCount() > 0 && run.session(0).bytesIn() > 0 &&
        !run.session(0).data().loggerStream().fileName().empty()) {
      fs::remove(textHeaderName(run.session(0).data().loggerStream().fileName()));
      run.requestStop();
      cut = true;
    }
  }
  ASSERT_TRUE(cut);
  ASSERT_TRUE(run.finished());
  EXPECT_EQ(run.exitCode(), kExitBadInput);
  EXPECT_EQ(run.session(0).firstReadBackError(), 2);
  EXPECT_EQ(run.session(0).firstFileError(), 0);
  EXPECT_TRUE(errors().contains("TVS00001: the stream cannot be read back: file not found"))
      << errors().toStdString();
  EXPECT_FALSE(errors().contains("cannot be written")) << errors().toStdString();
  // The other device's stream was read back.
  EXPECT_EQ(run.session(1).firstReadBackError(), 0);
}
