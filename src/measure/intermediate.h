#pragma once
// Intermediate files: one folder per mode family below the device folder, files numbered
// "<folder>_nnn.FIL" with a ".VXT" text header beside each, the numbering state of a family,
// and the write-through stream file of a logger run.
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "common/daytime.h"
#include "device/settingsrecord.h"
#include "wire/wirecommands.h"

namespace tolv {

namespace fs = std::filesystem;

enum class IntermediateFamily { VMXY = 0, OSA0 = 1, LAIO = 2, DLA0 = 3, DLDI = 4 };
inline constexpr int kIntermediateFamilyCount = 5;
inline constexpr IntermediateFamily kIntermediateFamilies[kIntermediateFamilyCount] = {
    IntermediateFamily::VMXY, IntermediateFamily::OSA0, IntermediateFamily::LAIO,
    IntermediateFamily::DLA0, IntermediateFamily::DLDI};

// "VMXY", "OSA0", ...
const char* familyCode(IntermediateFamily f);
// "Intermediate_VMXY", ...
std::string familyFolderName(IntermediateFamily f);
// The family of a mode: the four voltmeter modes share VMXY; nullopt for an unknown code.
std::optional<IntermediateFamily> familyOfMode(ModeCode mode);
// Filter of the open dialogs: "Intermediate_VMXY_???.FIL".
QString familyFileFilter(IntermediateFamily f);

// The family a stored file's name or folder names ("Intermediate_OSA0_007.FIL", or any file in
// "Intermediate_OSA0"); nullopt when neither does. A relative name counts from the current
// folder.
std::optional<IntermediateFamily> familyOfFileName(const fs::path& file);
// The device's serial number a stored file's folders name: <serial>/Intermediate_XXXX/<file>;
// empty when the file is not in a family folder. A relative name counts from the current folder.
QString serialOfIntermediateFile(const fs::path& file);

fs::path familyFolder(const fs::path& deviceFolder, IntermediateFamily f);
// File number k: three digits, a number above 999 keeps its last three (1000 -> _000).
fs::path intermediateFileName(const fs::path& deviceFolder, IntermediateFamily f, int k);
// The same with ".VXT".
fs::path intermediateHeaderName(const fs::path& deviceFolder, IntermediateFamily f, int k);

// Numbering of one family. Counting stops at the first gap, and never runs past 1000
// numbers: beyond that the three-digit names repeat.
class TIntermediateNumbering {
 public:
  static constexpr int kNameCount = 1000;

  TIntermediateNumbering() = default;
  TIntermediateNumbering(fs::path deviceFolder, IntermediateFamily f);

  // Start-up: recounts and sets the current number to the highest gapless one (1 when none).
  int init();
  // Recounts from 1 without gaps; returns the highest number (1 when there is none).
  int refresh();
  // The next file: the first number >= current whose file does not exist; the current number
  // advances to it. 0, or kNoFreeIntermediateName (nothing changed) when all names are taken.
  int nextFileName(fs::path& out);
  // Deletes files 1, 2, ... (and their headers) while they exist; after any deletion the
  // numbering restarts at 1. Returns the number of files deleted.
  int eraseAll();

  int current() const { return current_; }
  void setCurrent(int c) { current_ = c > 0 ? c : 1; }
  // Gapless count from the last refresh; highest() is that count, at least 1.
  int fileCount() const { return count_; }
  int highest() const { return count_ > 0 ? count_ : 1; }
  bool anyFile() const { return count_ > 0; }
  // The family's number box shows only when there is something to choose.
  bool boxVisible() const { return count_ > 1; }

  IntermediateFamily family() const { return family_; }
  const fs::path& deviceFolder() const { return folder_; }
  fs::path fileName(int k) const { return intermediateFileName(folder_, family_, k); }
  bool exists(int k) const;

 private:
  fs::path folder_;
  IntermediateFamily family_ = IntermediateFamily::VMXY;
  int current_ = 1;
  int count_ = 0;
};

// The stream file of one analog- or I/O-logger run. Every chunk goes straight to the
// operating system (no buffer of our own), so all bytes received so far are in the file even
// when the program is killed right after.
class TLoggerStreamFile {
 public:
  TLoggerStreamFile() = default;
  ~TLoggerStreamFile();
  TLoggerStreamFile(const TLoggerStreamFile&) = delete;
  TLoggerStreamFile& operator=(const TLoggerStreamFile&) = delete;

  // Run start: takes the next name of the family (DLA0 or DLDI), creates the file and writes
  // its header from the snapshot; for DLA0 "Date Time" = start follows at once. A file still
  // open from an earlier run is closed first. Returns 0 or the error: without a name or a file
  // nothing is open and chunks report kIntermediateNotOpen; a header that could not be written
  // is reported while the stream stays open, since the bytes matter more.
  int open(TIntermediateNumbering& numbering, const SettingsRecord& snapshot,
           const DayTime& start);
  // True before the first byte of an I/O-logger run: its time is stamped then.
  bool awaitsFirstStamp() const;
  // Appends "Date Time" = t to the header (I/O logger, first chunk).
  int stampDateTime(const DayTime& t);
  // Appends the bytes; 0, kIntermediateNotOpen, or the error of write(2).
  int append(std::span<const std::uint8_t> bytes);
  // End marker seen: closes the file; 0 or the error of close(2).
  int close();

  bool isOpen() const { return fd_ >= 0; }
  const fs::path& fileName() const { return file_; }
  std::uint64_t bytesWritten() const { return written_; }
  IntermediateFamily family() const { return family_; }

 private:
  int fd_ = -1;
  fs::path file_;
  IntermediateFamily family_ = IntermediateFamily::DLA0;
  std::uint64_t written_ = 0;
  bool stamped_ = false;
};

}  // namespace tolv
