#pragma once
// Crash-safe replacement of a file: the new content goes to a temporary file in the same folder,
// is flushed to disk and only then renamed over the old name, so a crash, a full disk or a signal
// in between leaves either the old file or the new one whole, never a torn file.
// The name is the file's content, not its directory entry: a symbolic link is written through
// (its target is replaced that way). A named pipe, a device or one of the process's own open
// files (/dev/stdout) at the name is refused at once (kNotARegularFile): a file the program
// writes on its own (settings, autosaves, intermediate files) never waits for a pipe's reader.
// Only an output the user named for a command goes into such a name, through writeNamedOutput.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace tolv {

// The program's own codes for a name that is no place for a file of its own: a pipe, a device
// or a socket where a file belongs (the system's ENXIO keeps its own meaning, a device that is
// gone), and a stream output that became something else between looking and opening.
inline constexpr int kNotARegularFile = -1310;
inline constexpr int kOutputChanged = -1311;

// Where a file of this name is written.
struct OutputPlace {
  enum class Kind { File, Stream, Refused };
  Kind kind = Kind::File;
  // File: the name the temporary file is renamed to, links followed (the entry may not exist
  // yet). Stream: the name as given, opened for writing.
  std::filesystem::path name;
  int error = 0;  // Refused: EISDIR for a folder, kNotARegularFile for a socket or block device
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

// An output the user named for a command (a script's target): while `write` runs, the writer
// below takes a pipe, a character device or one of the process's own open files at exactly
// `target` as a stream and writes into it as it writes (a pipe's opening waits for its reader,
// as a shell's redirection does); nothing is held back on disk. A writer that has its whole
// content before it opens (writeFileAtomically) so hands on all or nothing. A reader waiting
// on a named pipe that was never opened (the input failed) sees it end empty. Any other target
// is written as always. Result: `write`'s (EPIPE for a reader that went away).
int writeNamedOutput(const std::filesystem::path& target,
                     const std::function<int(const std::filesystem::path& file)>& write);

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
  // Writing straight into a named output's stream (see writeNamedOutput): nothing to rename,
  // and what is written is gone at once.
  bool streaming() const { return stream_; }
  int write(std::span<const std::uint8_t> bytes);
  int write(std::string_view text);
  // Flushes, syncs and renames; 0 or the first error met since opening.
  int commit();

 private:
  void discard();

  std::filesystem::path name_;
  bool stream_ = false;
  std::filesystem::path temp_;
  int fd_ = -1;
  int error_ = 0;
  bool done_ = false;
};

}  // namespace tolv
