// The built program with autostart and autosave set in its files: it activates both simulated
// devices, runs the multi-device cycle and writes merged data files without a click, and a
// signal ends it with both frame files and the scalings file written.
#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "program_rig.h"

#ifdef TOLV_PROGRAM_PATH

using namespace tolv::progtest;

TEST(ProgramMulti, AutostartCollectsAndSavesCycleAfterCycleUntilTerminated) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path root = dir.path().toStdString() + "/D";
  const fs::path multi = root / "MULTI_Tolvanex";
  // A first start writes the files with their defaults.
  writeDefaultFiles(root, 2);
  setAutostart(root, 2);

  QProcess p;
  startProgram(p, root, 2);
  ASSERT_TRUE(p.waitForStarted(10000));
  ASSERT_TRUE(waitFor([&] { return mergedFiles(multi).size() >= 2; }, 60000, 100))
      << "no merged data files cycle after cycle";
  const auto files = mergedFiles(multi);
  const auto lines = readLines(files.front());
  ASSERT_GT(lines.size(), 11u);
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 5) << lines[0];
  fs::remove(multi / "MultiVXGlobalSettings.TXT");
  fs::remove(multi / "Scalings.TXT");
  stopProgram(p);
  EXPECT_TRUE(fs::exists(multi / "MultiVXGlobalSettings.TXT"));
  EXPECT_TRUE(fs::exists(multi / "Scalings.TXT"));
  EXPECT_EQ(readLines(multi / "VX_Frame_FormPos.TXT")[kAutostartLine], "T");
}

#endif
