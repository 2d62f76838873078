// The built program keeps each device's settings from one run to the next: closed by SIGTERM,
// it stores LastSettings, and the next start applies them to the (simulated) device again.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "devicewin/tf_onetolvanex.h"
#include "measure/settingsfiles.h"
#include "program_rig.h"
#include "wire/wirecommands.h"

#ifdef TOLV_PROGRAM_PATH

namespace {

namespace fs = std::filesystem;
using namespace tolv;

using tolv::progtest::deviceFolders;

// Runs the program until its devices had time to take their settings, then sends SIGTERM.
void runOnce(const fs::path& root, int settleMs, QByteArray* err = nullptr) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH,
          {"--simulate", "2", "--data-root", QString::fromStdString(root.string())});
  ASSERT_TRUE(p.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (deviceFolders(root).size() < 2 && t.elapsed() < 30000) QThread::msleep(50);
  ASSERT_EQ(deviceFolders(root).size(), 2u);
  // Start-up stages: 400 + 789 + 800 ms, then the device's replies.
  QThread::msleep(settleMs);
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(20000));
  const QByteArray e = p.readAllStandardError();
  EXPECT_EQ(p.exitCode(), 0) << e.toStdString();
  if (err) *err = e;
}

QByteArray bytesOf(const fs::path& p) {
  QFile f(QString::fromStdString(p.string()));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(ProgramSettings, ChangedSettingsAreRestoredAfterSigterm) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path root = fs::path(dir.path().toStdString()) / "D";
  runOnce(root, 3000);
  const auto devices = deviceFolders(root);
  ASSERT_EQ(devices.size(), 2u);
  for (const fs::path& d : devices) {
    EXPECT_EQ(fs::file_size(d / "LastSettings.VXS"), 408u) << d;
    EXPECT_TRUE(bytesOf(d / "LastSettings.VXT").startsWith("Mode\r\n0ASO\r\n")) << d;
    EXPECT_TRUE(fs::exists(d / "LastSettings.SKS")) << d;
  }

  // The user's changes to the first device, as a save of that window would have stored them.
  const fs::path first = devices[0] / "LastSettings.VXS";
  TSettingsLoader l;
  ASSERT_EQ(l.load(first), 0);
  SettingsRecord s = l.toApply();
  s.mode = kModeVMD0;
  s.amplC0 = 2;
  s.amplC1 = 0.5;
  s.sampleTime = 0.0005;
  s.scopePlotMode = 1;
  s.probeFactorC0 = 10;
  s.probeFactorC1 = -5;
  s.probeHelpFactorFlag = false;
  s.overlapping = false;
  s.left = 60;
  s.top = 70;
  s.width = 1300;
  s.height = 700;
  ASSERT_EQ(saveSettingsFiles(first, s), 0);

  // The next run applies them to a device in its power-on state and stores them again.
  runOnce(root, 6000);
  TSettingsLoader again;
  ASSERT_EQ(again.load(first), 0);
  const SettingsRecord r = again.toApply();
  EXPECT_EQ(modeCodeText(r.mode), "VMD0");
  EXPECT_EQ(r.amplC0, 2);
  EXPECT_EQ(r.amplC1, 0.5);
  EXPECT_EQ(r.sampleTime, 0.0005);
  EXPECT_EQ(r.scopePlotMode, 1);
  EXPECT_EQ(r.probeFactorC0, 10);
  EXPECT_EQ(r.probeFactorC1, -5);
  EXPECT_FALSE(r.probeHelpFactorFlag);
  EXPECT_FALSE(r.overlapping);
  EXPECT_EQ(r.left, 60);
  EXPECT_EQ(r.top, 70);
  // The offscreen screen (800 px) is narrower: the window is fitted down to its least width.
  EXPECT_EQ(r.width, TF_OneTolvanex::kMinimumWidth);
  EXPECT_EQ(r.height, 700);
  EXPECT_EQ(fs::file_size(first), 408u);
  EXPECT_TRUE(bytesOf(devices[0] / "LastSettings.VXT").startsWith("Mode\r\n0DMV\r\n"));
  // The second device stayed in scope mode.
  EXPECT_TRUE(bytesOf(devices[1] / "LastSettings.VXT").startsWith("Mode\r\n0ASO\r\n"));
}

TEST(ProgramSettings, AStoreThatFailsAtCloseIsToldOnStandardError) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path root = fs::path(dir.path().toStdString()) / "D";
  runOnce(root, 2000);
  const auto devices = deviceFolders(root);
  ASSERT_EQ(devices.size(), 2u);
  // The image's name taken by a folder refuses the file as a read-only device folder would;
  // the header and options still load.
  fs::remove(devices[0] / "LastSettings.VXS");
  fs::create_directories(devices[0] / "LastSettings.VXS");
  QByteArray err;
  runOnce(root, 2000, &err);
  // The program starts in German: the message comes in the window's language.
  EXPECT_TRUE(err.contains("konnten nicht in")) << err.toStdString();
  EXPECT_TRUE(err.contains(devices[0].filename().string().c_str())) << err.toStdString();
  EXPECT_FALSE(err.contains(devices[1].filename().string().c_str())) << err.toStdString();
}

#endif
