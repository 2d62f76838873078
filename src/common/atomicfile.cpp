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
  ::fchmod(fd_, 0644);
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
