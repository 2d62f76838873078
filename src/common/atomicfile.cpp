#include "common/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "common/paths.h"

namespace tolv {

namespace {

int writeAll(int fd, const std::uint8_t* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno != 0 ? errno : EIO;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return 0;
}

// The process's file-creation mask. /proc tells it without changing it; umask() itself can
// only be read by setting it, which is the fallback.
mode_t currentUmask() {
  if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[128];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(f);
    if (found) return mode_t(mask);
  }
  const mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

// The descriptor a name of the process's own open files stands for, else -1. Such a name is
// not resolved to the file behind it: "> file" or ">> file" in the shell decided how it is
// written (from its start or appended), and a rename would replace the file.
int ownDescriptorOf(const std::filesystem::path& name) {
  const std::string n = name.lexically_normal().string();
  if (n == "/dev/stdout") return 1;
  if (n == "/dev/stderr") return 2;
  const std::string pid = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"), pid}) {
    if (n.size() <= prefix.size() || n.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = n.substr(prefix.size());
    if (digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
  }
  return -1;
}

// The output a command named while its writer runs (writeNamedOutput), and whether a writer
// has opened it since.
struct NamedOutput {
  const std::filesystem::path* target = nullptr;
  bool opened = false;
};
thread_local NamedOutput tNamed;

// The output name a command made while its writer runs (writeMadeOutput), and where the name
// the output took is told.
struct MadeOutput {
  const std::filesystem::path* base = nullptr;
  std::filesystem::path* written = nullptr;
};
thread_local MadeOutput tMade;

// Whether a failed call means the file system does not offer it (so a later way is tried),
// rather than a real refusal. FAT answers a hard link with EPERM.
bool unsupported(int e, bool linking) {
  return e == EINVAL || e == ENOSYS || e == ENOTSUP || e == EOPNOTSUPP || (linking && e == EPERM);
}

// The stream an output place stands for, opened for writing into `fd`; 0 or the error. The
// kind is checked on the opened descriptor: a name turned into a regular file since it was
// looked at would be written over in place, torn.
int openStream(const OutputPlace& place, int& fd) {
  fd = -1;
  if (place.fd >= 0) {
    fd = ::fcntl(place.fd, F_DUPFD_CLOEXEC, 3);
    return fd >= 0 ? 0 : (errno != 0 ? errno : EIO);
  }
  do fd = ::open(place.name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno != 0 ? errno : EIO;
  struct stat st = {};
  if (::fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
    ::close(fd);
    fd = -1;
    return kOutputChanged;
  }
  return 0;
}

// Whether both names are entries of one file (neither followed when it is a link).
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat sa = {}, sb = {};
  return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                         NoReplaceWay first) {
  if (first == NoReplaceWay::Rename) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int e = errno != 0 ? errno : EIO;
    if (!unsupported(e, false)) return e;
#endif
    first = NoReplaceWay::Link;
  }
  if (first == NoReplaceWay::Link) {
    int e = ::link(from.c_str(), to.c_str()) == 0 ? 0 : (errno != 0 ? errno : EIO);
    // A network file system may answer a link it made with EEXIST (its reply was lost and the
    // retry found the name taken): the file itself under `to` is a success, not a taken name.
    if (e == EEXIST && sameFile(from, to)) e = 0;
    if (e == 0) {
      // A failed removal leaves a second name, which the caller removes once more (commit).
      ::unlink(from.c_str());
      return 0;
    }
    if (!unsupported(e, true)) return e;
  }
  // Neither: the name is taken for this file alone first, so the rename only replaces that. A
  // crash in between leaves the reservation: empty, but with the mode the file would have had.
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                        0666 & ~currentUmask());
  if (fd < 0) return errno != 0 ? errno : EIO;
  ::close(fd);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    const int e = errno != 0 ? errno : EIO;
    ::unlink(to.c_str());
    return e;
  }
  return 0;
}

int moveToFreeName(const std::filesystem::path& from, const std::filesystem::path& base,
                   bool baseFirst, std::filesystem::path& placed) {
  // A name found taken is skipped by the next lookup, so only a folder that fills as fast as it
  // is searched keeps this going; it ends as a taken name.
  constexpr int kTries = 1000;
  std::filesystem::path to = base;
  for (int t = 0; t < kTries; ++t) {
    if (t > 0 || !baseFirst)
      if (const int rc = freeBackupName(base, to); rc != 0) return rc;
    const int rc = moveWithoutReplacing(from, to);
    if (rc == 0) placed = to;
    if (rc != EEXIST) return rc;
  }
  return EEXIST;
}

OutputPlace outputPlaceOf(const std::filesystem::path& name) {
  namespace fs = std::filesystem;
  OutputPlace o;
  o.name = name;
  if ((o.fd = ownDescriptorOf(name)) >= 0) {
    o.kind = OutputPlace::Kind::Stream;
    return o;
  }
  struct stat st = {};
  // What the name leads to: a pipe or device behind a link (/dev/stdout -> /proc/self/fd/1 ->
  // pipe:[...]) is opened by the name given, as the kernel follows such links itself.
  if (::stat(name.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
      o.kind = OutputPlace::Kind::Stream;
    } else {
      o.kind = OutputPlace::Kind::Refused;
      o.error = S_ISDIR(st.st_mode) ? EISDIR : kNotARegularFile;
    }
    return o;
  }
  // A regular file or none yet: the rename must replace the link's target, not the link. A
  // dangling link names the file to create.
  for (int hops = 0; ::lstat(o.name.c_str(), &st) == 0 && S_ISLNK(st.st_mode); ++hops) {
    // The kernel's rule for links in a shared folder (/tmp): one planted by someone else is
    // not followed, or a link to /etc/shadow would have root replace that file.
    struct stat dir = {};
    const fs::path folder = o.name.has_parent_path() ? o.name.parent_path() : fs::path(".");
    if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) &&
        st.st_uid != ::geteuid() && st.st_uid != dir.st_uid) {
      o.kind = OutputPlace::Kind::Refused;
      o.error = EACCES;
      return o;
    }
    std::error_code ec;
    const fs::path to = fs::read_symlink(o.name, ec);
    if (ec || hops >= 40) {
      o.kind = OutputPlace::Kind::Refused;
      o.error = ec ? ec.value() : ELOOP;
      return o;
    }
    o.name = to.is_absolute() ? to : o.name.parent_path() / to;
    if ((o.fd = ownDescriptorOf(o.name)) >= 0) {
      o.kind = OutputPlace::Kind::Stream;
      o.name = name;
      return o;
    }
  }
  return o;
}

TAtomicFile::TAtomicFile(std::filesystem::path name, Placement placement)
    : placement_(placement) {
  if (name.empty()) {
    // No name at all would put the temporary file into the working folder, to fail only at
    // the rename.
    error_ = kNoFileName;
    done_ = true;
    return;
  }
  if (placement_ == Placement::Replace && isMadeOutput(name)) {
    placement_ = Placement::FreeName;
    report_ = tMade.written;
  }
  if (placement_ == Placement::FreeName) {
    // Nothing under the name is written into or through: the file gets a name of its own.
    name_ = std::move(name);
    openTemporary();
    return;
  }
  const OutputPlace place = outputPlaceOf(name);
  name_ = place.name;
  if (place.kind == OutputPlace::Kind::Stream && tNamed.target != nullptr &&
      *tNamed.target == name) {
    // The output a command named: written into as it comes, as a shell's redirection would.
    stream_ = true;
    tNamed.opened = true;
    error_ = openStream(place, fd_);
    return;
  }
  if (place.kind != OutputPlace::Kind::File) {
    // A pipe's opening would wait for its reader, and a device has no old content to keep.
    error_ = place.kind == OutputPlace::Kind::Refused ? place.error : kNotARegularFile;
    return;
  }
  openTemporary();
}

void TAtomicFile::openTemporary() {
  // mkstemp gives a unique name, so two writers of one file never share a temporary file.
  std::string pattern = name_.string() + ".tmp-XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) {
    error_ = errno != 0 ? errno : EIO;
    // A folder that takes no new files (/proc) answers "no such entry" even to root: it is
    // there, so the user is told that it may not be written.
    struct stat dir = {};
    const std::filesystem::path folder =
        name_.has_parent_path() ? name_.parent_path() : std::filesystem::path(".");
    if (error_ == ENOENT && ::stat(folder.c_str(), &dir) == 0 && S_ISDIR(dir.st_mode))
      error_ = EACCES;
    return;
  }
  temp_ = pattern;
  // mkstemp makes the file 0600; the result gets what any file the program creates gets: read
  // and write for all, less what the user's umask takes away. A file it replaces keeps its
  // mode and, where the program may give it, its owner: a private 0600 file stays private.
  struct stat old = {};
  if (placement_ == Placement::Replace && ::stat(name_.c_str(), &old) == 0 &&
      S_ISREG(old.st_mode)) {
    if (::geteuid() == 0 && ::fchown(fd_, old.st_uid, old.st_gid) != 0) {
      // the owner stays the writer's; the mode below still keeps others out
    }
    ::fchmod(fd_, old.st_mode & 0777);
  } else {
    ::fchmod(fd_, 0666 & ~currentUmask());
  }
}

TAtomicFile::~TAtomicFile() {
  if (!done_) discard();
}

void TAtomicFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  done_ = true;
}

int TAtomicFile::write(std::span<const std::uint8_t> bytes) {
  if (error_ != 0) return error_;
  if (done_ || fd_ < 0) return error_ = EBADF;
  error_ = writeAll(fd_, bytes.data(), bytes.size());
  return error_;
}

int TAtomicFile::write(std::string_view text) {
  return write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

int TAtomicFile::commit() {
  if (done_) return error_ != 0 ? error_ : EBADF;
  if (stream_) {
    // Nothing to sync or rename: what was written has gone on already.
    if (fd_ >= 0 && ::close(fd_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    fd_ = -1;
    done_ = true;
    return error_;
  }
  if (error_ == 0) error_ = syncStaged();
  if (error_ == 0 && ::close(fd_) != 0) error_ = errno != 0 ? errno : EIO;
  fd_ = -1;
  if (error_ == 0 && placement_ == Placement::FreeName) {
    std::filesystem::path placed;
    error_ = moveToFreeName(temp_, name_, true, placed);
    if (error_ == 0) name_ = placed;
    // A link's second name its removal left (see moveWithoutReplacing) goes now.
    if (error_ == 0 && sameFile(temp_, name_)) ::unlink(temp_.c_str());
    // Told only to the command's scope that is still running.
    if (error_ == 0 && report_ != nullptr && tMade.written == report_) *report_ = name_;
  } else if (error_ == 0 && ::rename(temp_.c_str(), name_.c_str()) != 0) {
    error_ = errno != 0 ? errno : EIO;
  }
  if (error_ != 0) {
    discard();
    return error_;
  }
  temp_.clear();
  done_ = true;
  return 0;
}

int TAtomicFile::syncStaged() {
  // A writer that took only the staging name (a zip library) may have put a file of its own
  // there: that file is the one that moves into place, so it is the one synced; the one the
  // descriptor still holds is gone.
  struct stat held = {}, staged = {};
  if (::fstat(fd_, &held) == 0 && ::stat(temp_.c_str(), &staged) == 0 &&
      (held.st_dev != staged.st_dev || held.st_ino != staged.st_ino)) {
    int fd = -1;
    do fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno != 0 ? errno : EIO;
    const int rc = ::fsync(fd) == 0 ? 0 : (errno != 0 ? errno : EIO);
    ::close(fd);
    return rc;
  }
  return ::fsync(fd_) == 0 ? 0 : (errno != 0 ? errno : EIO);
}

int writeFileAtomically(const std::filesystem::path& name, std::span<const std::uint8_t> bytes,
                        Placement placement, std::filesystem::path* written) {
  TAtomicFile f(name, placement);
  if (f.status() != 0) return f.status();
  f.write(bytes);
  const int rc = f.commit();
  if (rc == 0 && written) *written = f.committedName();
  return rc;
}

int writeFileAtomically(const std::filesystem::path& name, std::string_view text,
                        Placement placement, std::filesystem::path* written) {
  return writeFileAtomically(
      name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), placement,
      written);
}

int writeFileAtomically(const std::filesystem::path& name, std::span<const std::uint8_t> bytes) {
  return writeFileAtomically(name, bytes, Placement::Replace);
}

int writeFileAtomically(const std::filesystem::path& name, std::string_view text) {
  return writeFileAtomically(name, text, Placement::Replace);
}

int writeMadeOutput(const std::filesystem::path& base,
                    const std::function<int(const std::filesystem::path& file)>& write,
                    std::filesystem::path& written) {
  struct Scope {
    MadeOutput outer = tMade;
    ~Scope() { tMade = outer; }
  } scope;
  written = base;
  tMade = {&base, &written};
  return write(base);
}

int writeNamedOutput(const std::filesystem::path& target,
                     const std::function<int(const std::filesystem::path& file)>& write) {
  struct Scope {
    NamedOutput outer = tNamed;
    ~Scope() { tNamed = outer; }
  } scope;
  tNamed = {&target, false};
  const int rc = write(target);
  if (!tNamed.opened) {
    // A reader already waiting on a named pipe nobody opened would wait for good. Opening it
    // without waiting and closing it again ends its read, empty. Only a pipe: opening a
    // terminal or a tape has effects of its own.
    const OutputPlace place = outputPlaceOf(target);
    struct stat st = {};
    if (place.kind == OutputPlace::Kind::Stream && place.fd < 0 &&
        ::stat(target.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
      const int wake = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      if (wake >= 0) ::close(wake);
    }
  }
  return rc;
}

bool isMadeOutput(const std::filesystem::path& name) {
  return tMade.base != nullptr && *tMade.base == name;
}

}  // namespace tolv
