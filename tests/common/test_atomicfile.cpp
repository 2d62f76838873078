#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/inotify.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "common/atomicfile.h"
#include "common/resulttext.h"

namespace fs = std::filesystem;
using tolv::kNotARegularFile;
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
  // A writer that replaced the staging file whole (a zip library): its file is the one that is
  // synced and takes the name.
  TAtomicFile z(f);
  ASSERT_EQ(z.status(), 0);
  std::ofstream(d / "zip.tmp") << "archive";
  ASSERT_EQ(::rename((d / "zip.tmp").c_str(), z.stagingName().c_str()), 0);
  EXPECT_EQ(z.commit(), 0);
  EXPECT_EQ(slurp(f), "archive");
  EXPECT_EQ(entries(d), 1);
  // No name at all is refused before a temporary file is made in the working folder.
  const fs::path was = fs::current_path();
  fs::current_path(d);
  TAtomicFile none{fs::path()};
  EXPECT_EQ(none.status(), tolv::kNoFileName);
  EXPECT_NE(none.commit(), 0);
  EXPECT_EQ(writeFileAtomically(fs::path(), "x"), tolv::kNoFileName);
  EXPECT_EQ(entries(d), 1);
  fs::current_path(was);
  fs::remove_all(d);
}

// A name the program made is never a reason to lose a file: whatever stands there when the file
// is committed (put there while it was written, a dangling link) stays, and the file takes the
// first free "_k" name. A name the user gave still replaces.
TEST(AtomicFile, AMadeNameKeepsWhatAppearedUnderItMeanwhile) {
  using tolv::Placement;
  const fs::path d = freshFolder("made");
  const fs::path f = d / "143015_120_OSA0.CSV";
  {
    TAtomicFile free(f, Placement::FreeName);
    ASSERT_EQ(free.status(), 0);
    free.write("first");
    ASSERT_EQ(free.commit(), 0);
    EXPECT_EQ(free.committedName(), f);
  }
  TAtomicFile ours(f, Placement::FreeName);
  ASSERT_EQ(ours.status(), 0);
  ours.write("ours");
  std::ofstream(d / "143015_120_OSA0_1.CSV") << "theirs";  // another writer came first
  fs::create_symlink(d / "nowhere", d / "143015_120_OSA0_2.CSV");
  ASSERT_EQ(ours.commit(), 0);
  EXPECT_EQ(ours.committedName(), d / "143015_120_OSA0_3.CSV");
  EXPECT_EQ(slurp(f), "first");
  EXPECT_EQ(slurp(d / "143015_120_OSA0_1.CSV"), "theirs");
  EXPECT_TRUE(fs::is_symlink(d / "143015_120_OSA0_2.CSV"));
  EXPECT_FALSE(fs::exists(d / "nowhere"));
  EXPECT_EQ(slurp(d / "143015_120_OSA0_3.CSV"), "ours");
  EXPECT_EQ(entries(d), 4);
  // The whole-content writer tells the name it took; a user's name is replaced as always.
  fs::path written;
  EXPECT_EQ(writeFileAtomically(f, "again", Placement::FreeName, &written), 0);
  EXPECT_EQ(written, d / "143015_120_OSA0_4.CSV");
  EXPECT_EQ(writeFileAtomically(f, "named"), 0);
  EXPECT_EQ(slurp(f), "named");
  EXPECT_EQ(entries(d), 5);
  fs::remove_all(d);
}

// Each way of moving without replacing keeps a file at the target and moves into a free one,
// as file systems without the kernel's no-replace rename (or without hard links) need.
TEST(AtomicFile, EveryNoReplaceWayKeepsTheTarget) {
  using tolv::NoReplaceWay;
  const fs::path d = freshFolder("noreplace");
  for (const NoReplaceWay way : {NoReplaceWay::Rename, NoReplaceWay::Link, NoReplaceWay::Reserve}) {
    const fs::path from = d / "from", to = d / "to";
    std::ofstream(from) << "new";
    std::ofstream(to) << "old";
    EXPECT_EQ(tolv::moveWithoutReplacing(from, to, way), EEXIST) << int(way);
    EXPECT_EQ(slurp(to), "old") << int(way);
    EXPECT_EQ(slurp(from), "new") << int(way);
    fs::remove(to);
    fs::create_symlink(d / "elsewhere", to);  // a dangling link is something standing there
    EXPECT_EQ(tolv::moveWithoutReplacing(from, to, way), EEXIST) << int(way);
    EXPECT_FALSE(fs::exists(d / "elsewhere")) << int(way);
    fs::remove(to);
    EXPECT_EQ(tolv::moveWithoutReplacing(from, to, way), 0) << int(way);
    EXPECT_EQ(slurp(to), "new") << int(way);
    EXPECT_FALSE(fs::exists(from)) << int(way);
    EXPECT_EQ(entries(d), 1) << int(way);
    fs::remove(to);
  }
  // A link whose reply was lost (a network file system): the retry's EEXIST names the file
  // itself, which is then in place under one name, not taken.
  const fs::path from = d / "from", to = d / "to";
  std::ofstream(from) << "new";
  ASSERT_EQ(::link(from.c_str(), to.c_str()), 0);
  EXPECT_EQ(tolv::moveWithoutReplacing(from, to, NoReplaceWay::Link), 0);
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(slurp(to), "new");
  EXPECT_EQ(entries(d), 1);
  fs::remove_all(d);
}

// A command's made output: the writers below take only a name, and the one that writes it is
// kept apart from what appears meanwhile; other files they write are not.
TEST(AtomicFile, AMadeOutputScopeReachesTheWriterOfItsName) {
  const fs::path d = freshFolder("madescope");
  const fs::path base = d / "m.CSV", other = d / "other.TXT";
  std::ofstream(other) << "old";
  fs::path written;
  const int rc = tolv::writeMadeOutput(base, [&](const fs::path& file) {
    EXPECT_TRUE(tolv::isMadeOutput(file));
    EXPECT_FALSE(tolv::isMadeOutput(other));
    TAtomicFile w(file);
    w.write("table");
    std::ofstream(base) << "a second run's";  // done while this one converted
    EXPECT_EQ(writeFileAtomically(other, "new"), 0);
    return w.commit();
  }, written);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(written, d / "m_1.CSV");
  EXPECT_EQ(slurp(base), "a second run's");
  EXPECT_EQ(slurp(written), "table");
  EXPECT_EQ(slurp(other), "new");
  EXPECT_FALSE(tolv::isMadeOutput(base));
  // Once the scope has ended the name is written as named again.
  EXPECT_EQ(writeFileAtomically(base, "named"), 0);
  EXPECT_EQ(slurp(base), "named");
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
// the target's folder), a pipe or device named as an output is written into, and a folder or a
// loop of links is refused untouched.
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
  // An output whose input fails before a byte is made never opens the pipe; a reader already
  // waiting in its blocking open is let go and reads nothing. (Tried until the reader is seen
  // to wait, and freed by the test if it is never let go, so the test cannot hang.)
  std::future<std::string> waiter = std::async(std::launch::async, [&] { return slurp(pipe); });
  const auto give = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (waiter.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready &&
         std::chrono::steady_clock::now() < give)
    EXPECT_EQ(writeNamedOutput(pipe, [](const fs::path&) { return -1; }), -1);
  const bool letGo = waiter.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  if (!letGo) {
    const int rescue = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (rescue >= 0) ::close(rescue);
  }
  EXPECT_TRUE(letGo);
  EXPECT_EQ(waiter.get(), "");
  char buf[8];
  EXPECT_TRUE(fs::is_fifo(pipe));
  // Only a named output goes into a pipe: the writer of the program's own files answers a pipe
  // with a reader at once and writes nothing into it...
  const int reading = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reading, 0);
  ASSERT_EQ(writeFileAtomically(pipe, "settings"), kNotARegularFile);
  EXPECT_EQ(::read(reading, buf, sizeof buf), 0);
  ::close(reading);
  // ... and one without a reader too, never waiting for one.
  EXPECT_EQ(writeFileAtomically(pipe, "settings"), kNotARegularFile);
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(writeFileAtomically("/dev/null", "x"), kNotARegularFile);
  EXPECT_EQ(named("/dev/null", "x"), 0);
  // Only the very name the command gave is a stream; another pipe is refused meanwhile.
  EXPECT_EQ(writeNamedOutput("/dev/null", [&](const fs::path&) {
              return writeFileAtomically(pipe, "settings");
            }),
            kNotARegularFile);
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
  EXPECT_EQ(writeFileAtomically("/dev/fd/" + n, "d"), kNotARegularFile);
  ::close(fd);
  EXPECT_EQ(slurp(opened), "old,a,b,c");
  EXPECT_EQ(inode(), before);
  fs::remove_all(d);
}

// A named stream is written into as the writer writes: a logger's table of any length needs no
// copy anywhere (a tmpfs /tmp is memory), so a fault part-way leaves the rows before it there.
// A device that is not a pipe is never opened by a failed output.
TEST(AtomicFile, ANamedStreamIsWrittenAsItComes) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  const fs::path out = "/dev/fd/" + std::to_string(ends[1]);
  const auto readNow = [&] {
    char b[64];
    const ssize_t n = ::read(ends[0], b, sizeof b);
    return n > 0 ? std::string(b, std::size_t(n)) : std::string();
  };
  std::string before;
  EXPECT_EQ(writeNamedOutput(out, [&](const fs::path& file) {
              TAtomicFile f(file);
              EXPECT_TRUE(f.streaming());
              f.write("first rows,");
              before = readNow();
              f.write("more");
              return 7;  // the input failed: no commit
            }),
            7);
  EXPECT_EQ(before, "first rows,");
  EXPECT_EQ(readNow(), "more");
  // Without the command naming it, the same name is refused and nothing goes into it.
  TAtomicFile own(out);
  EXPECT_FALSE(own.streaming());
  EXPECT_EQ(own.status(), kNotARegularFile);
  // The refusal has words of its own; the system's ENXIO (a device that is gone) keeps its own.
  using tolv::ResultContext;
  EXPECT_EQ(tolv::resultText(kNotARegularFile, 1, ResultContext::Writing),
            "that is not a regular file");
  EXPECT_NE(tolv::resultText(ENXIO, 1, ResultContext::Writing), "that is not a regular file");
  // A message that shows the number gets the words beside it; a number nobody names stays bare.
  EXPECT_EQ(tolv::codeWithWords(EISDIR, 0, ResultContext::Writing), "21: das ist ein Ordner");
  EXPECT_EQ(tolv::codeWithWords(EACCES, 1, ResultContext::Writing), "13: access denied");
  EXPECT_EQ(tolv::codeWithWords(3, 1, ResultContext::Writing),
            "3: the folder is missing or cannot be made");
  EXPECT_EQ(tolv::codeWithWords(E2BIG, 1), "7: " + QString::fromLocal8Bit(std::strerror(E2BIG)));
  EXPECT_EQ(tolv::codeWithWords(-1, 1), "-1");
  // A third language has no words here: English ones would sit untranslated in its text.
  EXPECT_EQ(tolv::codeWithWords(EACCES, 2, ResultContext::Writing), "13");
  EXPECT_EQ(tolv::codeWithWords(E2BIG, 2), "7");
  ::close(ends[0]);
  ::close(ends[1]);
  // A character device of our own (a copy of /dev/null), watched for openings: an output to it
  // that fails before it is opened leaves it unopened.
  const fs::path d = freshFolder("device");
  const fs::path dev = d / "null";
  if (::mknod(dev.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
    fs::remove_all(d);
    GTEST_SKIP() << "no device nodes may be made here";
  }
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, dev.c_str(), IN_OPEN), 0);
  EXPECT_EQ(writeNamedOutput(dev, [](const fs::path&) { return -1; }), -1);
  alignas(struct inotify_event) char ev[256];
  EXPECT_LT(::read(watch, ev, sizeof ev), 0) << "the device was opened";
  EXPECT_EQ(writeNamedOutput(dev, [](const fs::path& f) { return writeFileAtomically(f, "x"); }),
            0);
  EXPECT_GT(::read(watch, ev, sizeof ev), 0) << "the watch sees openings";
  ::close(watch);
  fs::remove_all(d);
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
