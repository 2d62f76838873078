// Every file the program rewrites keeps its old content whole when the new one cannot be
// written (a full disk, here a file-size limit that also binds root): the frame's global
// settings and positions, the multi-device scalings and a device's three settings files.
// The language file and the data files have their own tests of this in their folders. None of
// them waits for a named pipe put where it writes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "app/framefiles.h"
#include "common/atomicfile.h"
#include "measure/settingsfiles.h"
#include "multi/multifiles.h"
#include "support/file_size_limit.h"
#include "wire/wirecommands.h"

namespace {

namespace fs = std::filesystem;
using namespace tolv;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

int entries(const fs::path& d) {
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(d)) ++n;
  return n;
}

struct Rewrite {
  const char* what;
  std::vector<fs::path> files;             // what the writer replaces
  std::function<int(const fs::path&)> write;  // writes all of them into the folder given
  // Reads the first back as the window does at start-up (none: read elsewhere too, from pipes)
  std::function<int(const fs::path&)> read = {};
};

}  // namespace

TEST(CrashSafeFiles, AFailedRewriteLeavesEveryOldFileWholeAndNoTemporaryFile) {
  SettingsRecord record;
  record.mode = kModeDLA0;
  record.sampleTime = 0.001;
  record.memoryDepth = 10000;
  ScalingsData scalings;
  scalings.rows.resize(4);
  scalings.checked = {true, false};
  const std::vector<Rewrite> rewrites = {
      {"global settings",
       {kGlobalSettingsFileName},
       [](const fs::path& d) { return writeGlobalSettingsFile(d / kGlobalSettingsFileName, {}); },
       [](const fs::path& d) {
         GlobalSettings g;
         return readGlobalSettingsFile(d / kGlobalSettingsFileName, g);
       }},
      {"positions",
       {kPositionFileName},
       [](const fs::path& d) {
         return writePositionFile(d / kPositionFileName,
                                  {"8 FTDI-Device(s) Present ...", "2", "2", "F_D2Koord", "0"});
       },
       [](const fs::path& d) {
         QStringList lines;
         return readPositionFile(d / kPositionFileName, lines);
       }},
      {"scalings",
       {"Scalings.TXT"},
       [&](const fs::path& d) { return writeScalingsFile(d / "Scalings.TXT", scalings); }},
      {"settings files",
       {"LastSettings.VXS", "LastSettings.VXT", "LastSettings.SKS"},
       [&](const fs::path& d) { return saveSettingsFiles(d / "LastSettings.VXS", record); }},
  };
  for (const Rewrite& r : rewrites) {
    SCOPED_TRACE(r.what);
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const fs::path d = tmp.path().toStdString();
    for (const fs::path& f : r.files) spit(d / f, "old " + f.string());
    {
      tolv::testing::FileSizeLimit full(16);
      EXPECT_NE(r.write(d), 0) << "a write that cannot complete is reported";
    }
    for (const fs::path& f : r.files) EXPECT_EQ(slurp(d / f), "old " + f.string()) << f;
    EXPECT_EQ(entries(d), int(r.files.size())) << "a temporary file was left behind";
    // The same write without the limit succeeds: the failure above came from the full disk.
    EXPECT_EQ(r.write(d), 0);
    for (const fs::path& f : r.files) EXPECT_NE(slurp(d / f), "old " + f.string()) << f;
    EXPECT_EQ(entries(d), int(r.files.size()));
    // A named pipe at the file's name is refused at once, with a reader (opened without
    // waiting, so a writer that waited could not hang the test) and without one: nothing is
    // written into it and it stays.
    const fs::path pipe = d / r.files.front();
    const std::string whole = slurp(pipe);
    fs::remove(pipe);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int withReader = r.write(d);
    char buf[8];
    const ssize_t got = ::read(reader, buf, sizeof buf);
    ::close(reader);
    ASSERT_EQ(withReader, tolv::kNotARegularFile);
    ASSERT_EQ(got, 0);
    EXPECT_EQ(r.write(d), tolv::kNotARegularFile);
    EXPECT_TRUE(fs::is_fifo(pipe));
    if (!r.read) continue;
    // Read at start-up, the pipe is refused as a damaged file, never waited on. A writer offers
    // the whole file in case the reader did wait (it would then read it and succeed), and is
    // let go afterwards, so the test cannot hang.
    const auto was = ::signal(SIGPIPE, SIG_IGN);
    std::thread offer([&] {
      const int w = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
      if (w < 0) return;
      if (::write(w, whole.data(), whole.size()) < 0) {
        // the reader went at once: nothing to offer
      }
      ::close(w);
    });
    const int read = r.read(d);
    const int release = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    offer.join();
    if (release >= 0) ::close(release);
    ::signal(SIGPIPE, was);
    EXPECT_EQ(read, tolv::kNotARegularFile);
  }
}
