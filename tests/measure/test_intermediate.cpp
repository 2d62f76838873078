// Intermediate file names, numbering per family and the write-through logger stream file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "measure/intermediate.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

using namespace tolv;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Folder {
  QTemporaryDir dir;
  fs::path root() const { return fs::path(dir.path().toStdString()); }
  void touch(IntermediateFamily f, int k) {
    const fs::path p = intermediateFileName(root(), f, k);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << "x";
  }
};

}  // namespace

TEST(IntermediateNames, FoldersNumbersAndFilters) {
  const fs::path d = "/data/TX1";
  EXPECT_EQ(intermediateFileName(d, IntermediateFamily::OSA0, 2),
            fs::path("/data/TX1/Intermediate_OSA0/Intermediate_OSA0_002.FIL"));
  EXPECT_EQ(intermediateHeaderName(d, IntermediateFamily::VMXY, 999),
            fs::path("/data/TX1/Intermediate_VMXY/Intermediate_VMXY_999.VXT"));
  // Above 999 only the last three digits remain: the 1000th file is _000.
  EXPECT_EQ(intermediateFileName(d, IntermediateFamily::DLDI, 1000).filename(),
            fs::path("Intermediate_DLDI_000.FIL"));
  EXPECT_EQ(intermediateFileName(d, IntermediateFamily::LAIO, 1234).filename(),
            fs::path("Intermediate_LAIO_234.FIL"));
  EXPECT_EQ(familyFileFilter(IntermediateFamily::DLA0), QStringLiteral("Intermediate_DLA0_???.FIL"));
  EXPECT_EQ(familyOfMode(kModeVMA1), IntermediateFamily::VMXY);
  EXPECT_EQ(familyOfMode(kModeDLDI), IntermediateFamily::DLDI);
  EXPECT_FALSE(familyOfMode(modeCode("ABCD")).has_value());
}

TEST(IntermediateNumbering, GapStopsTheCountAndTheNextFileFillsIt) {
  Folder f;
  const auto fam = IntermediateFamily::OSA0;
  TIntermediateNumbering n(f.root(), fam);
  EXPECT_EQ(n.init(), 1);  // nothing there yet
  EXPECT_FALSE(n.anyFile());
  EXPECT_FALSE(n.boxVisible());

  f.touch(fam, 1);
  f.touch(fam, 2);
  f.touch(fam, 4);
  EXPECT_EQ(n.init(), 2);
  EXPECT_EQ(n.current(), 2);
  EXPECT_TRUE(n.boxVisible());
  fs::path next;
  ASSERT_EQ(n.nextFileName(next), 0);
  EXPECT_EQ(next.filename(), fs::path("Intermediate_OSA0_003.FIL"));
  EXPECT_EQ(n.current(), 3);
  f.touch(fam, 3);
  EXPECT_EQ(n.refresh(), 4);
  ASSERT_EQ(n.nextFileName(next), 0);
  EXPECT_EQ(next.filename(), fs::path("Intermediate_OSA0_005.FIL"));

  // Erasing stops at the first gap as well: 001 .. 004 go, 006 stays.
  f.touch(fam, 6);
  fs::remove(intermediateFileName(f.root(), fam, 5));
  std::ofstream(intermediateHeaderName(f.root(), fam, 1)) << "h";
  EXPECT_EQ(n.eraseAll(), 4);
  EXPECT_FALSE(fs::exists(intermediateHeaderName(f.root(), fam, 1)));
  EXPECT_TRUE(fs::exists(intermediateFileName(f.root(), fam, 6)));
  EXPECT_EQ(n.current(), 1);
  EXPECT_EQ(n.fileCount(), 0);
}

TEST(IntermediateNumbering, TheThousandthFileWrapsAndAFullFamilyNeverHangs) {
  Folder f;
  const auto fam = IntermediateFamily::LAIO;
  for (int k = 1; k <= 999; ++k) f.touch(fam, k);
  TIntermediateNumbering n(f.root(), fam);
  EXPECT_EQ(n.init(), 999);
  fs::path next;
  ASSERT_EQ(n.nextFileName(next), 0);
  EXPECT_EQ(next.filename(), fs::path("Intermediate_LAIO_000.FIL"));
  EXPECT_EQ(n.current(), 1000);

  // All thousand names taken: a code, no name, no change, and the count stays bounded.
  f.touch(fam, 1000);
  EXPECT_EQ(n.refresh(), 1000);
  fs::path none = "untouched";
  EXPECT_EQ(n.nextFileName(none), kNoFreeIntermediateName);
  EXPECT_EQ(none, fs::path("untouched"));
  EXPECT_EQ(n.current(), 1000);
  n.setCurrent(17);
  EXPECT_EQ(n.nextFileName(none), kNoFreeIntermediateName);
  EXPECT_EQ(n.eraseAll(), 1000);
  ASSERT_EQ(n.nextFileName(next), 0);
  EXPECT_EQ(next.filename(), fs::path("Intermediate_LAIO_001.FIL"));
}

TEST(LoggerStreamFile, AnalogRunStampsItsStartAtOpen) {
  Folder f;
  TIntermediateNumbering n(f.root(), IntermediateFamily::DLA0);
  n.init();
  TLoggerStreamFile s;
  SettingsRecord snap = SettingsRecord::defaults();
  snap.mode = kModeDLA0;
  const DayTime start{3600.5, 739000};
  ASSERT_EQ(s.open(n, snap, start), 0);
  EXPECT_FALSE(s.awaitsFirstStamp());
  EXPECT_EQ(s.fileName().filename(), fs::path("Intermediate_DLA0_001.FIL"));
  SettingsRecord h;
  std::optional<DayTime> t;
  ASSERT_EQ(readTextHeader(s.fileName(), h, &t), 0);
  EXPECT_EQ(h.mode, kModeDLA0);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->day, start.day);
  EXPECT_EQ(s.close(), 0);
  EXPECT_EQ(s.append(std::vector<std::uint8_t>{1}), kIntermediateNotOpen);
}

TEST(LoggerStreamFile, IoRunWaitsForItsFirstChunkAndKeepsEveryByte) {
  Folder f;
  TIntermediateNumbering n(f.root(), IntermediateFamily::DLDI);
  n.init();
  TLoggerStreamFile s;
  ASSERT_EQ(s.open(n, SettingsRecord::defaults(), DayTime{}), 0);
  EXPECT_TRUE(s.awaitsFirstStamp());
  SettingsRecord h;
  std::optional<DayTime> t = DayTime{};
  ASSERT_EQ(readTextHeader(s.fileName(), h, &t), 0);
  EXPECT_FALSE(t.has_value());
  ASSERT_EQ(s.stampDateTime(DayTime{10.0, 739000}), 0);
  EXPECT_FALSE(s.awaitsFirstStamp());
  std::vector<std::uint8_t> a{1, 2, 3}, b{4, 5};
  ASSERT_EQ(s.append(a), 0);
  ASSERT_EQ(s.append(b), 0);
  EXPECT_EQ(s.bytesWritten(), 5u);
  // Written through: readable before the file is closed.
  EXPECT_EQ(slurp(s.fileName()), std::string("\x01\x02\x03\x04\x05", 5));
  ASSERT_EQ(readTextHeader(s.fileName(), h, &t), 0);
  ASSERT_TRUE(t.has_value());
  EXPECT_DOUBLE_EQ(t->seconds, 10.0);
}

TEST(LoggerStreamFile, EveryByteSurvivesAKilledProcess) {
  Folder f;
  const fs::path root = f.root();
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    // The I/O logger: no time stamp at open, so the child runs nothing but file calls.
    TIntermediateNumbering n(root, IntermediateFamily::DLDI);
    n.init();
    TLoggerStreamFile s;
    if (s.open(n, SettingsRecord::defaults(), DayTime{}) != 0) _exit(3);
    std::vector<std::uint8_t> chunk(1000);
    for (int c = 0; c < 50; ++c) {
      for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = std::uint8_t(c * 7 + i);
      if (s.append(chunk) != 0) _exit(4);
    }
    const char go = 'k';
    if (write(ready[1], &go, 1) != 1) _exit(5);
    for (;;) pause();  // killed here, file still open, never closed or flushed by us
  }
  close(ready[1]);
  char got = 0;
  ASSERT_EQ(read(ready[0], &got, 1), 1);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  const std::string bytes = slurp(intermediateFileName(root, IntermediateFamily::DLDI, 1));
  ASSERT_EQ(bytes.size(), 50000u);
  for (int c = 0; c < 50; ++c)
    for (std::size_t i = 0; i < 1000; i += 97)
      ASSERT_EQ(std::uint8_t(bytes[std::size_t(c) * 1000 + i]), std::uint8_t(c * 7 + i));
}

TEST(LoggerStreamFile, AHeaderThatCannotBeWrittenDoesNotCostTheData) {
  Folder f;
  TIntermediateNumbering n(f.root(), IntermediateFamily::DLA0);
  n.init();
  // A folder where the header should go: the header fails, the stream does not.
  fs::create_directories(intermediateHeaderName(f.root(), IntermediateFamily::DLA0, 1));
  TLoggerStreamFile s;
  EXPECT_NE(s.open(n, SettingsRecord::defaults(), DayTime{}), 0);
  ASSERT_TRUE(s.isOpen());
  EXPECT_EQ(s.append(std::vector<std::uint8_t>{9, 8, 7}), 0);
  EXPECT_EQ(s.close(), 0);
  EXPECT_EQ(slurp(s.fileName()), std::string("\x09\x08\x07", 3));
}
