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

#ifdef TOLV_PROGRAM_PATH

namespace {

namespace fs = std::filesystem;

std::vector<std::string> readLines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<std::string> out;
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

void writeLines(const fs::path& p, const std::vector<std::string>& lines) {
  std::ofstream out(p, std::ios::binary);
  for (const auto& l : lines) out << l << "\r\n";
}

std::vector<fs::path> mergedFiles(const fs::path& multi) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(multi, ec)) {
    const fs::path& p = e.path();
    if (e.is_regular_file() && p.extension() == ".CSV" && p.parent_path().filename() != "Intermediate")
      out.push_back(p);
  }
  return out;
}

QProcess* start(QProcess& p, const fs::path& root) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, {"--simulate", "2", "--data-root", QString::fromStdString(root)});
  return &p;
}

void stop(QProcess& p) {
  ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

}  // namespace

TEST(ProgramMulti, AutostartCollectsAndSavesCycleAfterCycleUntilTerminated) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path root = dir.path().toStdString() + "/D";
  const fs::path multi = root / "MULTI_Tolvanex";
  {
    // A first start writes the files with their defaults.
    QProcess p;
    start(p, root);
    ASSERT_TRUE(p.waitForStarted(10000));
    QElapsedTimer t;
    t.start();
    while (!fs::exists(multi / "VX_Frame_FormPos.TXT") && t.elapsed() < 30000) QThread::msleep(50);
    QThread::msleep(2500);  // past the first boot step
    stop(p);
  }
  auto pos = readLines(multi / "VX_Frame_FormPos.TXT");
  ASSERT_EQ(pos.size(), 15u);
  pos[11] = "T";  // autosave
  pos[13] = "T";  // autostart
  writeLines(multi / "VX_Frame_FormPos.TXT", pos);
  auto sc = readLines(multi / "Scalings.TXT");
  ASSERT_GE(sc.size(), 20u);
  sc[6] = "T";  // both devices checked
  sc[19] = "T";
  writeLines(multi / "Scalings.TXT", sc);

  QProcess p;
  start(p, root);
  ASSERT_TRUE(p.waitForStarted(10000));
  QElapsedTimer t;
  t.start();
  while (mergedFiles(multi).size() < 2 && t.elapsed() < 60000) QThread::msleep(100);
  const auto files = mergedFiles(multi);
  ASSERT_GE(files.size(), 2u) << "no merged data files cycle after cycle";
  const auto lines = readLines(files.front());
  ASSERT_GT(lines.size(), 11u);
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 5) << lines[0];
  fs::remove(multi / "MultiVXGlobalSettings.TXT");
  fs::remove(multi / "Scalings.TXT");
  stop(p);
  EXPECT_TRUE(fs::exists(multi / "MultiVXGlobalSettings.TXT"));
  EXPECT_TRUE(fs::exists(multi / "Scalings.TXT"));
  EXPECT_EQ(readLines(multi / "VX_Frame_FormPos.TXT")[13], "T");
}

#endif
