#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/atomicfile.h"

namespace fs = std::filesystem;
using tolv::TAtomicFile;
using tolv::writeFileAtomically;
using tolv::writeNamedOutput;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

fs::path freshFolder(const char* name) {
  fs::path d = fs::temp_directory_path() /
               (std::string("tolv_atomic_") + name + "_" + std::to_string(::getpid()));
  fs::remove_all(d);
  fs::create_directories(d);
  return d;
}

int entries(const fs::path& d) {
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(d)) ++n;
  return n;
}

}  // namespace

TEST(AtomicFile, ReplacesWholeAndLeavesNoTemporaryFile) {
  const fs::path d = freshFolder("replace");
  const fs::path f = d / "a.TXT";
  EXPECT_EQ(writeFileAtomically(f, "old\r\n"), 0);
  EXPECT_EQ(writeFileAtomically(f, "new content\r\n"), 0);
  EXPECT_EQ(slurp(f), "new content\r\n");
  EXPECT_EQ(entries(d), 1);
  fs::remove_all(d);
}

TEST(AtomicFile, WriterAbandonedBeforeCommitKeepsTheOldFile) {
  const fs::path d = freshFolder("abandon");
  const fs::path f = d / "b.VXS";
  ASSERT_EQ(writeFileAtomically(f, "previous"), 0);
  {
    TAtomicFile w(f);
    ASSERT_EQ(w.status(), 0);
    w.write("half of the new");
    // destroyed without commit: as if the program died here
  }
  EXPECT_EQ(slurp(f), "previous");
  EXPECT_EQ(entries(d), 1);
  fs::remove_all(d);
}

TEST(AtomicFile, MissingOrReadOnlyFolderReportsTheErrorAndChangesNothing) {
  const fs::path d = freshFolder("ro");
  EXPECT_EQ(writeFileAtomically(d / "missing" / "c.TXT", "x"), ENOENT);
  const fs::path f = d / "c.TXT";
  ASSERT_EQ(writeFileAtomically(f, "kept"), 0);
  ::chmod(d.c_str(), 0555);
  if (::access(d.c_str(), W_OK) != 0) {  // root may write anyway
    EXPECT_EQ(writeFileAtomically(f, "lost"), EACCES);
    EXPECT_EQ(slurp(f), "kept");
  }
  ::chmod(d.c_str(), 0755);
  // A folder that is there but takes no files answers "no such entry" even to root: not
  // called missing.
  if (fs::is_directory("/proc/self")) {
    EXPECT_EQ(writeFileAtomically("/proc/tolv.csv", "x"), EACCES);
  }
  fs::remove_all(d);
}

TEST(AtomicFile, CommitsOnceAndRefusesWritesAfterwards) {
  const fs::path d = freshFolder("once");
  const fs::path f = d / "d.TXT";
  TAtomicFile w(f);
  ASSERT_EQ(w.status(), 0);
  EXPECT_EQ(w.write("abc"), 0);
  EXPECT_EQ(w.commit(), 0);
  EXPECT_NE(w.commit(), 0);
  EXPECT_NE(w.write("more"), 0);
  EXPECT_EQ(slurp(f), "abc");
  fs::remove_all(d);
}

// Every file the program writes follows the user's umask: one written through the writer gets
// the mode a plainly created one gets, and no temporary file stays behind.
TEST(AtomicFile, NewFileFollowsTheUmaskLikeEveryOtherFile) {
  const fs::path d = freshFolder("mode");
  const mode_t was = ::umask(022);
  for (const mode_t mask : {mode_t(077), mode_t(022), mode_t(027), mode_t(002)}) {
    ::umask(mask);
    const fs::path plain = d / "plain.TXT";
    const fs::path atomic = d / "atomic.TXT";
    fs::remove(plain);
    fs::remove(atomic);
    std::ofstream(plain) << "x";
    ASSERT_EQ(writeFileAtomically(atomic, "x"), 0);
    struct stat a = {};
    struct stat p = {};
    ASSERT_EQ(::stat(atomic.c_str(), &a), 0);
    ASSERT_EQ(::stat(plain.c_str(), &p), 0);
    EXPECT_EQ(a.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    EXPECT_EQ(a.st_mode & 0777, p.st_mode & 0777) << std::oct << mask;
    EXPECT_EQ(entries(d), 2);
  }
  ::umask(was);
  fs::remove_all(d);
}

// The name stands for the content: a link is written through to its target (replaced whole in
// the target's folder), a pipe or device named as an output gets the whole output, and a folder
// or a loop of links is refused untouched.
TEST(AtomicFile, LinksAreWrittenThroughAndPipesInto) {
  const fs::path d = freshFolder("kinds");
  fs::create_directories(d / "tgt");
  ASSERT_EQ(writeFileAtomically(d / "tgt" / "real.csv", "old"), 0);
  fs::create_symlink("tgt/real.csv", d / "link.csv");
  fs::create_symlink(d / "link.csv", d / "chain.csv");
  EXPECT_EQ(writeFileAtomically(d / "link.csv", "new"), 0);
  EXPECT_EQ(slurp(d / "tgt" / "real.csv"), "new");
  EXPECT_EQ(writeFileAtomically(d / "chain.csv", "newer"), 0);
  EXPECT_EQ(slurp(d / "tgt" / "real.csv"), "newer");
  EXPECT_TRUE(fs::is_symlink(d / "link.csv"));
  EXPECT_TRUE(fs::is_symlink(d / "chain.csv"));
  EXPECT_EQ(entries(d / "tgt"), 1);
  // A link to a file not there yet makes it.
  fs::create_symlink("tgt/fresh.csv", d / "dangling.csv");
  EXPECT_EQ(writeFileAtomically(d / "dangling.csv", "x"), 0);
  EXPECT_EQ(slurp(d / "tgt" / "fresh.csv"), "x");
  EXPECT_TRUE(fs::is_symlink(d / "dangling.csv"));
  fs::create_symlink("loop_b", d / "loop_a");
  fs::create_symlink("loop_a", d / "loop_b");
  EXPECT_EQ(writeFileAtomically(d / "loop_a", "x"), ELOOP);
  EXPECT_TRUE(fs::is_symlink(d / "loop_a"));
  EXPECT_EQ(writeFileAtomically(d / "tgt", "x"), EISDIR);
  EXPECT_EQ(entries(d / "tgt"), 2);
  const fs::path pipe = d / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const auto named = [](const fs::path& target, std::string_view text, int rc = 0) {
    return writeNamedOutput(target, [&](const fs::path& file) {
      const int w = writeFileAtomically(file, text);
      return w != 0 ? w : rc;
    });
  };
  std::string got;
  std::thread reader([&] { got = slurp(pipe); });
  EXPECT_EQ(named(pipe, "piped\n"), 0);
  reader.join();
  EXPECT_EQ(got, "piped\n");
  EXPECT_TRUE(fs::is_fifo(pipe));
  // An output that fails on the way gives a reader of the pipe nothing of it (the reader opened
  // without waiting, so a wrong writer cannot hang the test).
  const int waiting = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(waiting, 0);
  EXPECT_EQ(named(pipe, "half", -1), -1);
  char buf[8];
  EXPECT_EQ(::read(waiting, buf, sizeof buf), 0);
  ::close(waiting);
  EXPECT_TRUE(fs::is_fifo(pipe));
  // Only a named output goes into a pipe: the writer of the program's own files answers a pipe
  // with a reader at once and writes nothing into it...
  const int reading = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reading, 0);
  ASSERT_EQ(writeFileAtomically(pipe, "settings"), ENXIO);
  EXPECT_EQ(::read(reading, buf, sizeof buf), 0);
  ::close(reading);
  // ... and one without a reader too, never waiting for one.
  EXPECT_EQ(writeFileAtomically(pipe, "settings"), ENXIO);
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(writeFileAtomically("/dev/null", "x"), ENXIO);
  EXPECT_EQ(named("/dev/null", "x"), 0);
  // A reader that went away is the writer's error, as the program ignores SIGPIPE.
  const auto was = ::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  ::close(ends[0]);
  EXPECT_EQ(named("/dev/fd/" + std::to_string(ends[1]), "lost"), EPIPE);
  ::close(ends[1]);
  ::signal(SIGPIPE, was);
  // A replaced file keeps its mode: a private one stays private through a link too.
  ::chmod((d / "tgt" / "real.csv").c_str(), 0600);
  EXPECT_EQ(writeFileAtomically(d / "link.csv", "private"), 0);
  EXPECT_EQ(fs::status(d / "tgt" / "real.csv").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  // The process's own descriptors by name (/dev/stdout, /dev/fd/N, /proc/self/fd/N) are written
  // through as opened ("> file" or ">> file"), never replaced by a new file.
  const fs::path opened = d / "opened.csv";
  ASSERT_EQ(writeFileAtomically(opened, "old,"), 0);
  const int fd = ::open(opened.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const auto inode = [&] {
    struct stat st = {};
    ::stat(opened.c_str(), &st);
    return st.st_ino;
  };
  const ino_t before = inode();
  const std::string n = std::to_string(fd);
  EXPECT_EQ(named("/dev/fd/" + n, "a,"), 0);
  EXPECT_EQ(named("/proc/self/fd/" + n, "b,"), 0);
  fs::create_symlink("/proc/self/fd/" + n, d / "to_fd");
  EXPECT_EQ(named(d / "to_fd", "c"), 0);
  EXPECT_EQ(writeFileAtomically("/dev/fd/" + n, "d"), ENXIO);
  ::close(fd);
  EXPECT_EQ(slurp(opened), "old,a,b,c");
  EXPECT_EQ(inode(), before);
  fs::remove_all(d);
}

// A stream gets a whole output or nothing: what is written goes to a private temporary file
// first and is handed on, piece by piece, only once its writer succeeded; the folder goes.
TEST(AtomicFile, HeldBackOutputIsHandedOnOnlyWhenWhole) {
  const std::string big(200000, 'x');
  std::string got;
  int pieces = 0;
  fs::path made;
  const auto put = [&](std::span<const std::uint8_t> p) {
    got.append(reinterpret_cast<const char*>(p.data()), p.size());
    ++pieces;
    return 0;
  };
  EXPECT_EQ(tolv::writeHeldBack("/dev/stdout", [&](const fs::path& f) {
              made = f;
              return writeFileAtomically(f, big);
            }, put), 0);
  EXPECT_EQ(got, big);
  EXPECT_GT(pieces, 1);
  EXPECT_EQ(made.filename(), "stdout");
  EXPECT_FALSE(fs::exists(made.parent_path()));
  // A writer that fails after half its rows hands on nothing.
  got.clear();
  pieces = 0;
  EXPECT_EQ(tolv::writeHeldBack("t.csv", [&](const fs::path& f) {
              made = f;
              EXPECT_EQ(writeFileAtomically(f, big.substr(0, 1000)), 0);
              return -111;
            }, put), -111);
  EXPECT_EQ(pieces, 0);
  EXPECT_FALSE(fs::exists(made.parent_path()));
  // An empty output is handed on once, empty; the taker's error ends it.
  EXPECT_EQ(tolv::writeHeldBack("e.csv", [](const fs::path& f) { return writeFileAtomically(f, ""); },
                                [&](std::span<const std::uint8_t> p) {
                                  ++pieces;
                                  return p.empty() ? EPIPE : 0;
                                }),
            EPIPE);
  EXPECT_EQ(pieces, 1);
}

// A link in a shared sticky folder (/tmp) planted by another user is not followed, as the
// kernel's own rule for such links has it: root would otherwise replace the file it names.
TEST(AtomicFile, ALinkPlantedByAnotherUserInASharedFolderIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant a link owned by another user";
  const fs::path d = freshFolder("shared");
  const fs::path shared = d / "tmp";
  fs::create_directories(shared);
  ::chmod(shared.c_str(), 01777);
  ASSERT_EQ(writeFileAtomically(d / "secret", "kept"), 0);
  fs::create_symlink(d / "secret", shared / "report.csv");
  ASSERT_EQ(::lchown((shared / "report.csv").c_str(), 4242, 4242), 0);
  EXPECT_EQ(writeFileAtomically(shared / "report.csv", "x"), EACCES);
  EXPECT_EQ(slurp(d / "secret"), "kept");
  // The user's own link there is followed.
  ASSERT_EQ(::lchown((shared / "report.csv").c_str(), 0, 0), 0);
  EXPECT_EQ(writeFileAtomically(shared / "report.csv", "x"), 0);
  EXPECT_EQ(slurp(d / "secret"), "x");
  fs::remove_all(d);
}
