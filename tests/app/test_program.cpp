// The built program as a user starts it: simulated devices, a private data root, SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>

#ifdef TOLV_PROGRAM_PATH

namespace {

bool deviceFoldersReady(const std::filesystem::path& root, int devices) {
  int ready = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(root, ec)) {
    if (!e.is_directory() || e.path().filename() == "MULTI_Tolvanex") continue;
    int subs = 0;
    for (const char* s : {"Intermediate_VMXY", "Intermediate_OSA0", "Intermediate_LAIO",
                          "Intermediate_DLA0", "Intermediate_DLDI"})
      subs += std::filesystem::is_directory(e.path() / s) ? 1 : 0;
    if (subs == 5) ++ready;
  }
  return ready == devices;
}

}  // namespace

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

#endif
