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
// An empty name: no file name (as forceExtension says it).
inline constexpr int kNoFileName = -194;

// How a commit treats what stands under the file's name.
//  Replace: a name the user chose, or one of the program's own files it rewrites: a file there
//    is replaced (a link there is written through).
//  FreeName: a name the program made (a data file named by its time, an output named after
//    its source): nothing standing there, or put there while the file was written, is replaced;
//    the file takes the first free "stem_k.ext" beside it instead (see freeBackupName).
enum class Placement { Replace, FreeName };

// How moveWithoutReplacing keeps an existing file: the kernel's no-replace rename, else a hard
// link and the old name's removal, else the name reserved exclusively and renamed over. Each
// later way serves file systems without the one before; tests pick one to try it. A crash
// during the last way can leave the reservation: an empty file under the name.
enum class NoReplaceWay { Rename, Link, Reserve };

// Moves `from` to `to` unless something (a file, a link, a folder) stands at `to`: 0, EEXIST,
// or the file system's error number. `from` stays where it was on failure.
int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                         NoReplaceWay first = NoReplaceWay::Rename);

// Moves `from` to `base`, or, when a name is taken or gets taken meanwhile, to the first free
// "stem_k.ext" beside `base` (k = 1, 2, ...; `baseFirst` false starts there, as for a backup).
// Nothing is replaced. 0 and `placed`, or the error number (of a lookup that failed, say).
int moveToFreeName(const std::filesystem::path& from, const std::filesystem::path& base,
                   bool baseFirst, std::filesystem::path& placed);

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
// The same with a placement; `written` (when given) gets the name the file took.
int writeFileAtomically(const std::filesystem::path& name, std::span<const std::uint8_t> bytes,
                        Placement placement, std::filesystem::path* written = nullptr);
int writeFileAtomically(const std::filesystem::path& name, std::string_view text,
                        Placement placement, std::filesystem::path* written = nullptr);

// An output whose name the program made for a command (named after its source): while `write`
// runs, a writer below that opens a TAtomicFile for exactly `base` gets Placement::FreeName, so
// writers that take only a name keep their file apart from one that appears meanwhile.
// `written` gets the name the output took (`base` unless it was taken). Result: `write`'s.
int writeMadeOutput(const std::filesystem::path& base,
                    const std::function<int(const std::filesystem::path& file)>& write,
                    std::filesystem::path& written);
// Whether `name` is the made name of a writeMadeOutput running now: whatever stands there is
// no concern of its writer.
bool isMadeOutput(const std::filesystem::path& name);

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
  explicit TAtomicFile(std::filesystem::path name, Placement placement = Placement::Replace);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  // 0 when the temporary file is open; else the error number of creating it (kNoFileName for
  // an empty name).
  int status() const { return error_; }
  // Writing straight into a named output's stream (see writeNamedOutput): nothing to rename,
  // and what is written is gone at once.
  bool streaming() const { return stream_; }
  int write(std::span<const std::uint8_t> bytes);
  int write(std::string_view text);
  // Flushes, syncs and renames; 0 or the first error met since opening.
  int commit();
  // The name the file has after a successful commit: the one given, links followed, or with
  // Placement::FreeName possibly a "stem_k.ext" beside it.
  const std::filesystem::path& committedName() const { return name_; }
  // The temporary file a writer that only takes a name (a zip library) may replace whole
  // before commit(); empty when there is none.
  const std::filesystem::path& stagingName() const { return temp_; }

 private:
  void discard();
  void openTemporary();
  // fsync of what stands at the staging name; 0 or the error.
  int syncStaged();

  std::filesystem::path name_;
  Placement placement_ = Placement::Replace;
  bool stream_ = false;
  std::filesystem::path temp_;
  int fd_ = -1;
  int error_ = 0;
  bool done_ = false;
  // Where a command's made output tells the name it took (writeMadeOutput); null otherwise.
  std::filesystem::path* report_ = nullptr;
};

}  // namespace tolv
