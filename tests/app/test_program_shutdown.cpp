// The built program told to end while it is busy: during multi-device scope runs, logger runs,
// the boot sequence, the first moments of start-up and while an error box waits for a click.
// SIGTERM always ends in the orderly shut-down with every settings file whole; SIGKILL during
// a logger run leaves every byte the program had received in the stream file.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "measure/settingsfiles.h"
#include "program_rig.h"
#include "wire/wirecommands.h"
#include "wire/wiremeasure.h"

#ifdef TOLV_PROGRAM_PATH

namespace {

using namespace tolv;
using namespace tolv::progtest;

constexpr int kDevices = 2;

// One program run that writes the default files, copied for every test that needs them.
class ProgramBusyShutDown : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    templateDir_ = new QTemporaryDir;
    ASSERT_TRUE(templateDir_->isValid());
    writeDefaultFiles(templateRoot(), kDevices);
  }
  static void TearDownTestSuite() {
    delete templateDir_;
    templateDir_ = nullptr;
  }
  static fs::path templateRoot() { return fs::path(templateDir_->path().toStdString()) / "D"; }

  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ASSERT_TRUE(fs::exists(templateRoot() / "MULTI_Tolvanex" / "Scalings.TXT"));
    root_ = fs::path(dir_.path().toStdString()) / "D";
    fs::copy(templateRoot(), root_, fs::copy_options::recursive);
  }

  // Device k starts in the given mode; a logger samples every sampleTime seconds.
  void setMode(int k, ModeCode mode, double sampleTime = 0, std::uint8_t autoSaveMode = 0) {
    const fs::path vxs = deviceFolders(root_).at(std::size_t(k)) / "LastSettings.VXS";
    TSettingsLoader l;
    ASSERT_EQ(l.load(vxs), 0);
    SettingsRecord s = l.toApply();
    s.mode = mode;
    if (sampleTime > 0) s.sampleTime = sampleTime;
    s.autoSaveMode = autoSaveMode;
    ASSERT_EQ(saveSettingsFiles(vxs, s), 0);
  }

  static inline QTemporaryDir* templateDir_ = nullptr;
  QTemporaryDir dir_;
  fs::path root_;
};

// The stream file of a logger run: the numbered file in the mode's intermediate folder.
fs::path streamFile(const fs::path& device, const char* family) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(device / family, ec))
    if (e.is_regular_file() && e.path().extension() != ".VXT") return e.path();
  return {};
}

std::uintmax_t sizeOr0(const fs::path& p) {
  std::error_code ec;
  const auto n = fs::file_size(p, ec);
  return ec ? 0 : n;
}

std::string bytesOf(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// What a simulated device sent after the RUN command, one entry per trace line.
std::vector<std::string> sentAfterRun(const fs::path& trace) {
  std::vector<std::string> out;
  bool running = false;
  for (const std::string& line : readLines(trace)) {
    std::istringstream in(line);
    long long ms = 0;
    std::string dir;
    std::size_t n = 0;
    if (!(in >> ms >> dir >> n)) continue;
    std::string bytes;
    std::string hex;
    while (in >> hex) bytes += char(std::stoi(hex, nullptr, 16));
    if (bytes.size() != n) continue;  // a line cut off by the kill
    if (dir == "in") {
      running = bytes.rfind("*RUN", 0) == 0;
      continue;
    }
    if (running && dir == "out") out.push_back(bytes);
  }
  return out;
}

}  // namespace

TEST_F(ProgramBusyShutDown, SigtermDuringMultiDeviceScopeRunsKeepsEveryFileWhole) {
  setAutostart(root_, kDevices);
  QProcess p;
  startProgram(p, root_, kDevices);
  ASSERT_TRUE(p.waitForStarted(10000));
  const fs::path multi = root_ / "MULTI_Tolvanex";
  ASSERT_TRUE(waitFor([&] { return !mergedFiles(multi).empty(); }, 40000))
      << "no multi-device cycle was saved";
  stopProgram(p);
  expectShutDownFilesWhole(root_, kDevices);
  for (const fs::path& d : deviceFolders(root_))
    EXPECT_EQ(readLines(d / "LastSettings.VXT").at(1), "0ASO") << d;
  EXPECT_EQ(readLines(multi / kPositionFileName).at(kAutostartLine), "T");
}

// Each boot step switches windows, modes and timers; a signal between or inside them must
// still find its way to the shut-down.
TEST_F(ProgramBusyShutDown, SigtermAtEachStepOfTheBootSequence) {
  setAutostart(root_, kDevices);
  const fs::path stats = fs::path(dir_.path().toStdString()) / "stats.txt";
  QProcessEnvironment env = programEnvironment();
  env.insert("TOLV_STATS_FILE", QString::fromStdString(stats.string()));
  for (int afterMs : {300, 1100, 2100, 3100}) {
    SCOPED_TRACE(afterMs);
    // The statistics file appears as soon as the frame is shown; the boot steps follow at
    // one-second intervals from its construction on.
    fs::remove(stats);
    QProcess p;
    startProgram(p, root_, kDevices, {}, env);
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return fs::exists(stats); }, 20000));
    QThread::msleep(afterMs);
    stopProgram(p);
    expectShutDownFilesWhole(root_, kDevices);
    EXPECT_EQ(readLines(root_ / "MULTI_Tolvanex" / kPositionFileName).at(kAutostartLine), "T");
  }
}

TEST_F(ProgramBusyShutDown, SigtermDuringAnalogAndIoLoggerRuns) {
  setMode(0, kModeDLA0, 0.001, 1);
  setMode(1, kModeDLDI, 0.001, 1);
  QProcessEnvironment env = programEnvironment();
  env.insert("TOLV_TEST_PRESS_RUN_MS", "0");
  QProcess p;
  startProgram(p, root_, kDevices, {}, env);
  ASSERT_TRUE(p.waitForStarted(10000));
  const auto dev = [&](int k) { return deviceFolders(root_).at(std::size_t(k)); };
  ASSERT_TRUE(waitFor([&] { return deviceFoldersReady(root_, kDevices); }, 20000));
  ASSERT_TRUE(waitFor(
      [&] {
        return sizeOr0(streamFile(dev(0), "Intermediate_DLA0")) > 400 &&
               sizeOr0(streamFile(dev(1), "Intermediate_DLDI")) > 400;
      },
      30000))
      << "the logger runs did not start";
  stopProgram(p);
  expectShutDownFilesWhole(root_, kDevices);
  EXPECT_EQ(readLines(dev(0) / "LastSettings.VXT").at(1), "0ALD");
  EXPECT_EQ(readLines(dev(1) / "LastSettings.VXT").at(1), "IDLD");
  // Both runs ended as STOP ends them: the device's end marker closes each stream, and each
  // run's CSV is written.
  const struct {
    int device;
    const char* family;
    const char* mode;
  } runs[] = {{0, "Intermediate_DLA0", "_DLA0"}, {1, "Intermediate_DLDI", "_DLDI"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.family);
    const std::string stream = bytesOf(streamFile(dev(r.device), r.family));
    ASSERT_GE(stream.size(), kEndMarker.size());
    EXPECT_TRUE(std::equal(kEndMarker.begin(), kEndMarker.end(),
                           stream.end() - std::ptrdiff_t(kEndMarker.size()),
                           [](std::uint8_t a, char b) { return a == std::uint8_t(b); }));
    int csv = 0;
    for (const auto& e : fs::recursive_directory_iterator(dev(r.device)))
      csv += e.path().extension() == ".CSV" && e.path().stem().string().ends_with(r.mode);
    EXPECT_EQ(csv, 1);
  }
}

// Bytes held back in a buffer of the program would be lost by the kill: the stream file must
// hold everything the device had sent, but for what became readable in the program's last
// poll, and exactly those bytes in order.
TEST_F(ProgramBusyShutDown, SigkillDuringLoggerRunsLosesNoReceivedByte) {
  setMode(0, kModeDLA0, 0.001);
  setMode(1, kModeDLDI, 0.001);
  const fs::path traces = fs::path(dir_.path().toStdString()) / "trace";
  QProcessEnvironment env = programEnvironment();
  env.insert("TOLV_TEST_PRESS_RUN_MS", "0");
  QProcess p;
  startProgram(p, root_, kDevices, {"--sim-trace", QString::fromStdString(traces.string())}, env);
  ASSERT_TRUE(p.waitForStarted(10000));
  ASSERT_TRUE(waitFor([&] { return deviceFoldersReady(root_, kDevices); }, 20000));
  const auto dev = [&](int k) { return deviceFolders(root_).at(std::size_t(k)); };
  ASSERT_TRUE(waitFor(
      [&] {
        return sizeOr0(streamFile(dev(0), "Intermediate_DLA0")) > 3000 &&
               sizeOr0(streamFile(dev(1), "Intermediate_DLDI")) > 3000;
      },
      30000));
  signalProgram(p, SIGKILL);
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);

  const struct {
    int device;
    const char* family;
  } runs[] = {{0, "Intermediate_DLA0"}, {1, "Intermediate_DLDI"}};
  for (const auto& r : runs) {
    SCOPED_TRACE(r.family);
    const fs::path folder = dev(r.device);
    const std::string stream = bytesOf(streamFile(folder, r.family));
    const auto sent = sentAfterRun(traces / (folder.filename().string() + ".trace"));
    ASSERT_GE(sent.size(), 4u);
    std::string all;
    for (const auto& s : sent) all += s;
    // The device pumps at each queue query and read: what came with the last query and read
    // may still be unread, or read but not yet written when the kill hit (three lines).
    std::size_t lastPolls = 0;
    for (std::size_t i = 1; i <= 3; ++i) lastPolls += sent[sent.size() - i].size();
    EXPECT_GE(stream.size() + lastPolls, all.size())
        << "the stream file lacks bytes the program had received";
    ASSERT_LE(stream.size(), all.size());
    EXPECT_TRUE(all.compare(0, stream.size(), stream) == 0)
        << "the stream file is not what the device sent";
  }
}

// A listing error shows a modal box while the frame is still being built; nobody clicks it.
#ifdef TOLV_STANDIN_D2XX_DIR
TEST_F(ProgramBusyShutDown, SigtermWhileTheListingErrorBoxIsUp) {
  QProcessEnvironment env = programEnvironment();
  env.insert("LD_LIBRARY_PATH", TOLV_STANDIN_D2XX_DIR);
  env.insert("TOLV_STANDIN_LIST_STATUS", "4");
  const fs::path root = fs::path(dir_.path().toStdString()) / "E";
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH,
          {"--driver", "d2xx", "--data-root", QString::fromStdString(root.string())});
  ASSERT_TRUE(p.waitForStarted(10000));
  // The texts are loaded just before the listing; the frame's files follow only once the box
  // is gone, so their absence a while later shows the box is up.
  ASSERT_TRUE(waitFor([&] { return fs::exists(root / "VX_Language.TXT"); }, 20000));
  QThread::msleep(400);
  EXPECT_FALSE(fs::exists(root / "MULTI_Tolvanex" / kPositionFileName));
  stopProgram(p, SIGTERM, 20000);
  GlobalSettings g;
  EXPECT_EQ(readGlobalSettingsFile(root / "MULTI_Tolvanex" / kGlobalSettingsFileName, g), 0);
  QStringList pos;
  EXPECT_EQ(readPositionFile(root / "MULTI_Tolvanex" / kPositionFileName, pos), 0);
  EXPECT_EQ(pos.size(), 15);
}
#endif

// Signals at arbitrary moments of start-up: before the toolkit is up, while the frame builds
// its windows, while the devices take their settings. Whatever exists afterwards loads.
// Only while the dynamic loader still maps the libraries (on a busy machine that can take a
// tenth of a second) can no program code take a signal; dying then leaves nothing behind, as
// not even the data root has been made.
TEST_F(ProgramBusyShutDown, SigtermAtAnyMomentOfStartUp) {
  // Blind moments may fall into the loader's work; moments counted from the data root's
  // appearance (made by the program's own code) must all end in order.
  struct Moment {
    bool afterRoot;
    int ms;
  };
  for (const Moment m : {Moment{false, 0}, Moment{false, 20}, Moment{false, 60},
                         Moment{true, 0}, Moment{true, 100}, Moment{true, 300},
                         Moment{true, 700}}) {
    SCOPED_TRACE(::testing::Message() << (m.afterRoot ? "after the root " : "blind ") << m.ms);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path root = fs::path(dir.path().toStdString()) / "D";
    QProcess p;
    startProgram(p, root, kDevices);
    ASSERT_TRUE(p.waitForStarted(10000));
    if (m.afterRoot) {
      ASSERT_TRUE(waitFor([&] { return fs::exists(root); }, 20000, 2));
    }
    QThread::msleep(m.ms);
    signalProgram(p, SIGTERM);
    ASSERT_TRUE(p.waitForFinished(20000));
    if (!m.afterRoot && p.exitStatus() == QProcess::CrashExit) {
      EXPECT_EQ(p.exitCode(), SIGTERM);
      EXPECT_FALSE(fs::exists(root)) << "killed after it had begun to write";
      continue;
    }
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const fs::path multi = root / "MULTI_Tolvanex";
    GlobalSettings g;
    if (fs::exists(multi / kGlobalSettingsFileName)) {
      EXPECT_EQ(readGlobalSettingsFile(multi / kGlobalSettingsFileName, g), 0);
    }
    QStringList pos;
    if (fs::exists(multi / kPositionFileName)) {
      EXPECT_EQ(readPositionFile(multi / kPositionFileName, pos), 0);
    }
    for (const fs::path& d : deviceFolders(root)) {
      if (!fs::exists(d / "LastSettings.VXS")) continue;
      TSettingsLoader l;
      EXPECT_EQ(l.load(d / "LastSettings.VXS"), 0) << d;
    }
  }
}

#endif
