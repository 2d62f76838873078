// The built program as a user starts it: simulated devices, a private data root, SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <utility>
#include <vector>

#include "program_rig.h"

#ifdef TOLV_PROGRAM_PATH

using tolv::progtest::deviceFoldersReady;

class Program : public ::testing::TestWithParam<int> {};

TEST_P(Program, StartsWithTwoSimulatedDevicesAndEndsCleanlyOnSignal) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::filesystem::path root = dir.path().toStdString() + "/D";
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, {"--simulate", "2", "--data-root", QString::fromStdString(root)});
  ASSERT_TRUE(p.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (!(deviceFoldersReady(root, 2) && std::filesystem::exists(root / "VX_Language.TXT")) &&
         t.elapsed() < 30000)
    QThread::msleep(50);
  EXPECT_TRUE(std::filesystem::exists(root / "VX_Language.TXT"));
  EXPECT_TRUE(deviceFoldersReady(root, 2));
  EXPECT_TRUE(std::filesystem::is_directory(root / "MULTI_Tolvanex" / "Intermediate"));
  ::kill(static_cast<pid_t>(p.processId()), GetParam());
  ASSERT_TRUE(p.waitForFinished(20000)) << "no exit after signal " << GetParam();
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, Program, ::testing::Values(SIGTERM, SIGINT));

#ifdef TOLV_STANDIN_FTDI1_DIR
// The stand-in libftdi1 (two family devices and another FTDI bridge) is found on the library
// path under Debian's file name, as the real one would be.
TEST(ProgramDrivers, ListsAndOpensDevicesThroughLibftdi) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::filesystem::path root = dir.path().toStdString() + "/D";
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("LD_LIBRARY_PATH", TOLV_STANDIN_FTDI1_DIR);
  env.insert("TOLV_STANDIN_SYSTEM_CLOCK", "1");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH,
          {"--driver", "libftdi", "--data-root", QString::fromStdString(root)});
  ASSERT_TRUE(p.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (!deviceFoldersReady(root, 2) && t.elapsed() < 30000) QThread::msleep(50);
  EXPECT_TRUE(deviceFoldersReady(root, 2));
  EXPECT_TRUE(std::filesystem::is_directory(root / "TVS00001"));
  EXPECT_TRUE(std::filesystem::is_directory(root / "TVS00002"));
  EXPECT_FALSE(std::filesystem::exists(root / "OTHER001"));
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

TEST(ProgramDrivers, ForcedVendorDriverThatIsMissingSaysSoAndListsNothing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::filesystem::path root = dir.path().toStdString() + "/D";
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("LD_LIBRARY_PATH", TOLV_STANDIN_FTDI1_DIR);
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, {"--driver", "d2xx", "--data-root", QString::fromStdString(root)});
  ASSERT_TRUE(p.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (!std::filesystem::exists(root / "VX_Language.TXT") && t.elapsed() < 30000)
    QThread::msleep(50);
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 0);
  if (!std::filesystem::exists("/usr/local/lib/libftd2xx.so")) {
    EXPECT_TRUE(p.readAllStandardError().contains("libftd2xx.so"));
  }
  EXPECT_FALSE(std::filesystem::exists(root / "TVS00001"));
}
#endif

TEST(ProgramArguments, HelpVersionAndBadArgumentsNeedNoDisplay) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, {"--help"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardOutput().contains("--simulate N"));
  p.start(TOLV_PROGRAM_PATH, {"--version"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_TRUE(p.readAllStandardOutput().startsWith("Multi_Tolvanex "));
  p.start(TOLV_PROGRAM_PATH, {"--simulate", "lots"});
  ASSERT_TRUE(p.waitForFinished(10000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 2);
}

// The signal is sent before the program runs any code of its own: the child starts with SIGTERM
// blocked, so it is pending from the first instruction on and arrives as soon as main() takes it.
TEST(ProgramShutDown, SignalBeforeTheFrameExistsEndsInOrder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.setChildProcessModifier([] {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
  });
  p.start(TOLV_PROGRAM_PATH, {"--simulate", "1", "--data-root", dir.path() + "/D"});
  ASSERT_TRUE(p.waitForStarted(10000));
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// A data root that cannot hold files stops the program at once with a reason.
TEST(ProgramArguments, UnusableDataRootIsRefusedWithStatus2) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.path() + "/plain";
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  std::vector<std::pair<QString, QByteArray>> cases = {
      {file, "is not a folder"}, {file + "/below", "cannot be created"}};
  QDir(dir.path()).mkdir("ro");
  QFile::setPermissions(dir.path() + "/ro", QFile::ReadOwner | QFile::ExeOwner);
  if (::access(qPrintable(dir.path() + "/ro"), W_OK) != 0)  // root writes anyway
    cases.push_back({dir.path() + "/ro", "is not writable"});
  // Folders that refuse even root: the process file system takes neither files nor folders.
  cases.push_back({"/proc", "is not writable"});
  cases.push_back({"/proc/tolvanex_data", "cannot be created"});
  for (const auto& [root, reason] : cases) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(TOLV_PROGRAM_PATH, {"--simulate", "1", "--data-root", root});
    ASSERT_TRUE(p.waitForFinished(20000)) << root.toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 2) << root.toStdString();
    EXPECT_TRUE(p.readAllStandardError().contains(reason)) << root.toStdString();
  }
  QFile::setPermissions(dir.path() + "/ro", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  EXPECT_FALSE(QFile::exists(file + "/below"));
}

#endif
