#include "common/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

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

}  // namespace

TAtomicFile::TAtomicFile(std::filesystem::path name) : name_(std::move(name)) {
  // mkstemp gives a unique name, so two writers of one file never share a temporary file.
  std::string pattern = name_.string() + ".tmp-XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) {
    error_ = errno != 0 ? errno : EIO;
    return;
  }
  temp_ = pattern;
  // mkstemp makes the file 0600; the result gets what any file the program creates gets: read
  // and write for all, less what the user's umask takes away.
  ::fchmod(fd_, 0666 & ~currentUmask());
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
  if (error_ == 0 && ::fsync(fd_) != 0) error_ = errno != 0 ? errno : EIO;
  if (error_ == 0 && ::close(fd_) != 0) error_ = errno != 0 ? errno : EIO;
  fd_ = -1;
  if (error_ == 0 && ::rename(temp_.c_str(), name_.c_str()) != 0) error_ = errno != 0 ? errno : EIO;
  if (error_ != 0) {
    discard();
    return error_;
  }
  temp_.clear();
  done_ = true;
  return 0;
}

int writeFileAtomically(const std::filesystem::path& name, std::span<const std::uint8_t> bytes) {
  TAtomicFile f(name);
  if (f.status() != 0) return f.status();
  f.write(bytes);
  return f.commit();
}

int writeFileAtomically(const std::filesystem::path& name, std::string_view text) {
  return writeFileAtomically(
      name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace tolv
