#pragma once
// Crash-safe replacement of a file: the new content goes to a temporary file in the same folder,
// is flushed to disk and only then renamed over the old name, so a crash, a full disk or a signal
// in between leaves either the old file or the new one whole, never a torn file.
// The name is the file's content, not its directory entry: a symbolic link is written through
// (its target is replaced that way), a named pipe or a character device (a terminal,
// /dev/stdout) is written into directly, and any other kind of file is left alone.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace tolv {

// Where a file of this name is written.
struct OutputPlace {
  enum class Kind { File, Stream, Refused };
  Kind kind = Kind::File;
  // File: the name the temporary file is renamed to, links followed (the entry may not exist
  // yet). Stream: the name as given, opened for writing.
  std::filesystem::path name;
  int error = 0;  // Refused: EISDIR for a folder, ENXIO for a socket or a block device
  // Stream: the process's own descriptor the name stands for (/dev/stdout, /dev/fd/N,
  // /proc/self/fd/N), written through a copy of it; -1 for a name opened as given.
  int fd = -1;
};
OutputPlace outputPlaceOf(const std::filesystem::path& name);

// A new file gets the mode every other file of the program gets: 0666 less the user's umask.
// Result: 0, or the file system's error number (2 when the folder is missing, 13 when it is
// read-only, 28 when the disk is full, ...). On failure the old file is untouched and no
// temporary file is left behind.
int writeFileAtomically(const std::filesystem::path& name, std::span<const std::uint8_t> bytes);
int writeFileAtomically(const std::filesystem::path& name, std::string_view text);

// For writers that produce a file piece by piece: write() collects into the temporary file,
// commit() makes it the file; a writer destroyed without commit() removes the temporary file
// and leaves the old one as it was.
class TAtomicFile {
 public:
  explicit TAtomicFile(std::filesystem::path name);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  // 0 when the temporary file is open; else the error number of creating it.
  int status() const { return error_; }
  int write(std::span<const std::uint8_t> bytes);
  int write(std::string_view text);
  // Flushes, syncs and renames; 0 or the first error met since opening.
  int commit();

 private:
  void discard();

  std::filesystem::path name_;
  bool direct_ = false;  // a pipe or device: written as it comes, nothing to rename
  std::filesystem::path temp_;
  int fd_ = -1;
  int error_ = 0;
  bool done_ = false;
};

}  // namespace tolv
