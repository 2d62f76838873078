#pragma once
// Helpers of the black-box tests that start the built program as a subprocess: its
// environment, waiting for files with a deadline instead of fixed sleeps, stopping it by a
// signal, the autostart set-up of the multi-device window and the checks that the files the
// shut-down writes are whole and load with the program's own readers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/framefiles.h"
#include "measure/settingsfiles.h"
#include "multi/multifiles.h"

#ifdef TOLV_PROGRAM_PATH

namespace tolv::progtest {

namespace fs = std::filesystem;

inline std::vector<std::string> readLines(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<std::string> out;
  std::string l;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    out.push_back(l);
  }
  return out;
}

inline void writeLines(const fs::path& p, const std::vector<std::string>& lines) {
  std::ofstream out(p, std::ios::binary);
  for (const auto& l : lines) out << l << "\r\n";
}

// Device folders of a data root (those with all intermediate folders made), sorted.
inline std::vector<fs::path> deviceFolders(const fs::path& root) {
  std::vector<fs::path> v;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(root, ec)) {
    if (!e.is_directory() || e.path().filename() == "MULTI_Tolvanex") continue;
    bool all = true;
    for (const char* s : {"Intermediate_VMXY", "Intermediate_OSA0", "Intermediate_LAIO",
                          "Intermediate_DLA0", "Intermediate_DLDI"})
      all = all && fs::is_directory(e.path() / s);
    if (all) v.push_back(e.path());
  }
  std::sort(v.begin(), v.end());
  return v;
}

inline bool deviceFoldersReady(const fs::path& root, int devices) {
  return int(deviceFolders(root).size()) == devices;
}

// Polls until the condition holds or the time is up; returns the condition's last value.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs, int stepMs = 20) {
  QElapsedTimer t;
  t.start();
  while (!condition()) {
    if (t.elapsed() >= timeoutMs) return condition();
    QThread::msleep(stepMs);
  }
  return true;
}

inline QProcessEnvironment programEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  return env;
}

// Starts the program with simulated devices on a data root; extra arguments follow.
inline void startProgram(QProcess& p, const fs::path& root, int devices,
                         const QStringList& extra = {},
                         const QProcessEnvironment& env = programEnvironment()) {
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, QStringList{"--simulate", QString::number(devices), "--data-root",
                                         QString::fromStdString(root.string())} +
                                 extra);
}

inline void signalProgram(QProcess& p, int sig) {
  ::kill(static_cast<pid_t>(p.processId()), sig);
}

// Sends the signal and expects the orderly end: a normal exit with status 0 within the time.
inline void stopProgram(QProcess& p, int sig = SIGTERM, int timeoutMs = 30000) {
  signalProgram(p, sig);
  if (!p.waitForFinished(timeoutMs)) {
    ADD_FAILURE() << "no exit within " << timeoutMs << " ms after signal " << sig;
    p.kill();
    p.waitForFinished(5000);
    return;
  }
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// The frame files, the scalings file and every device's LastSettings are whole: each loads
// with the reader the program itself uses at start.
inline void expectShutDownFilesWhole(const fs::path& root, int devices) {
  const fs::path multi = root / "MULTI_Tolvanex";
  GlobalSettings g;
  EXPECT_EQ(readGlobalSettingsFile(multi / kGlobalSettingsFileName, g), 0);
  QStringList pos;
  EXPECT_EQ(readPositionFile(multi / kPositionFileName, pos), 0);
  EXPECT_EQ(pos.size(), 15);
  ScalingsData sc;
  EXPECT_EQ(readScalingsFile(multi / "Scalings.TXT", sc), 0);
  const auto folders = deviceFolders(root);
  EXPECT_EQ(int(folders.size()), devices);
  for (const fs::path& d : folders) {
    SettingsRecord image;
    EXPECT_EQ(readSettingsImage(d / "LastSettings.VXS", image), 0) << d;
    TSettingsLoader l;
    EXPECT_EQ(l.load(d / "LastSettings.VXS"), 0) << d;
    EXPECT_FALSE(l.lastLoadUsedImage()) << d << ": a text file did not load";
  }
  // No temporary file of an interrupted replacement is left behind.
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(root, ec))
    EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

// Lines of the position and scalings files that switch the multi-device window's autostart and
// autosave on and check device k (0-based) in its device list.
inline constexpr int kAutosaveLine = 11;
inline constexpr int kAutostartLine = 13;
inline int scalingsCheckLine(int k) { return 6 + 13 * k; }

// Runs the program once on a fresh root so that it writes all its files, then ends it.
inline void writeDefaultFiles(const fs::path& root, int devices) {
  QProcess p;
  startProgram(p, root, devices);
  ASSERT_TRUE(p.waitForStarted(10000));
  const fs::path multi = root / "MULTI_Tolvanex";
  ASSERT_TRUE(waitFor([&] { return fs::exists(multi / kPositionFileName) &&
                                   deviceFoldersReady(root, devices); },
                      30000));
  // The first boot step (one second after the frame) fills the multi-device window's device
  // list, which its close stores in Scalings.TXT; nothing outside shows that step.
  QThread::msleep(1600);
  stopProgram(p);
  ASSERT_TRUE(fs::exists(multi / "Scalings.TXT"));
}

inline void setAutostart(const fs::path& root, int devices) {
  const fs::path multi = root / "MULTI_Tolvanex";
  auto pos = readLines(multi / kPositionFileName);
  ASSERT_EQ(pos.size(), 15u);
  pos[kAutosaveLine] = "T";
  pos[kAutostartLine] = "T";
  writeLines(multi / kPositionFileName, pos);
  auto sc = readLines(multi / "Scalings.TXT");
  ASSERT_GT(int(sc.size()), scalingsCheckLine(devices - 1));
  for (int k = 0; k < devices; ++k) sc[std::size_t(scalingsCheckLine(k))] = "T";
  writeLines(multi / "Scalings.TXT", sc);
}

// Merged data files of the multi-device window (not its per-device intermediate files).
inline std::vector<fs::path> mergedFiles(const fs::path& multi) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(multi, ec)) {
    const fs::path& p = e.path();
    if (e.is_regular_file() && p.extension() == ".CSV" &&
        p.parent_path().filename() != "Intermediate")
      out.push_back(p);
  }
  return out;
}

}  // namespace tolv::progtest

#endif
