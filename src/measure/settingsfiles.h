#pragma once
// Saved settings of a device window: three files with one base name, the binary image of the
// SettingsRecord (".VXS"), its text header (".VXT") and the window options (".SKS"). Saving
// replaces each file only once its new content is complete, so an interrupted save leaves the
// previous setting loadable. Loading goes through the text files first and falls back to the
// binary image; it fills pending values that the window then applies.
#include <QByteArray>
#include <filesystem>
#include <functional>
#include <string>

#include "device/settingsrecord.h"
#include "measure/snapshot.h"

namespace tolv {

namespace fs = std::filesystem;

// A ".VXS" that is not exactly one record long.
inline constexpr int kSettingsImageSize = 100;
// Far beyond any setting the program writes (under a kilobyte each): a longer file at an own
// file's name is refused as damaged (EFBIG), so the loader falls back as for any other.
inline constexpr qint64 kLargestOwnSettingsFile = qint64(1) << 20;

// Whose setting is read. A window's own files (its LastSettings, a setting picked in its
// dialog) are read without waiting: a named pipe or device put there is refused as a damaged
// file (kNotARegularFile), since the window's thread must never hang on it. A file the user
// names on a command line is read as given, a pipe included (a shell's "<(...)").
enum class SettingsSource { Own, Named };

// Window options all zero (and false): what a window holds before it has read any ".SKS".
WindowOptions zeroWindowOptions();

// --- ".SKS": 17 key/value pairs -------------------------------------------------------------

// The text of the file (CR LF line ends); the key "Clock_Interval_0" stands twice.
std::string sksText(const WindowOptions& o);
// Reads the values by position into o. A value that cannot be read ends the reading; the
// options not read keep their values and the result is still 0. Returns the code of a file
// that cannot be read (2 when missing). *valuesRead counts the values taken.
int readSks(const fs::path& name, WindowOptions& o, int* valuesRead = nullptr,
            SettingsSource source = SettingsSource::Own);
int parseSks(const QByteArray& bytes, WindowOptions& o, int* valuesRead = nullptr);

// --- ".VXS": the 408-byte record ------------------------------------------------------------

// Decodes a whole file image. 0; kSettingsImageSize when it is not 408 bytes; 9220 when the
// mode is none of the eight or a number is not finite; 9210 when a flag byte is neither 0
// nor 1. `out` changes only on success.
int decodeSettingsImage(const QByteArray& bytes, SettingsRecord& out);
int readSettingsImage(const fs::path& name, SettingsRecord& out,
                      SettingsSource source = SettingsSource::Own);

// --- Names ------------------------------------------------------------------------------------

// The companions of a ".VXS" name.
fs::path sksName(const fs::path& vxs);
fs::path vxtName(const fs::path& vxs);

// --- Save and load ----------------------------------------------------------------------------

// Makes the folder of `vxs` and writes the three files from the snapshot. Each file's new
// content is complete and on disk before any of them replaces an old file, and the three are
// then renamed in the order .VXS, .VXT, .SKS. Returns 0 or the first error (the folder's code
// or the file system's error number); on an error before the renames no old file changes.
// `beforeReplace(k)` (tests) is asked before the k-th rename (0..2); false stops the save there
// as a crash would, with the result -1.
int saveSettingsFiles(const fs::path& vxs, const SettingsRecord& snapshot,
                      const std::function<bool(int)>& beforeReplace = {});

// The pending values of a window: both start as zero and keep what was read last.
class TSettingsLoader {
 public:
  explicit TSettingsLoader(SettingsSource source = SettingsSource::Own);

  // Reads the ".VXT" into the pending record, then the ".SKS" into the pending window options;
  // if either fails and the ".VXS" exists, the record comes from the ".VXS" instead and its
  // result counts. Returns 0 or the code of the failure (2 when nothing is there).
  int load(const fs::path& vxs);

  const SettingsRecord& pendingRecord() const { return record_; }
  const WindowOptions& pendingOptions() const { return options_; }
  // The record to apply: device settings from the pending record, window options from the
  // pending options (never the window bytes of a binary image).
  SettingsRecord toApply() const;
  // Which file the last successful load took the device settings from.
  bool lastLoadUsedImage() const { return usedImage_; }
  // The text file the image stood in for (empty when none did).
  const fs::path& lastLoadBrokenFile() const { return broken_; }

 private:
  // The text header into the pending record: 0 or its code.
  int readHeader(const fs::path& vxs);

  SettingsSource source_;
  SettingsRecord record_;
  WindowOptions options_;
  bool usedImage_ = false;
  fs::path broken_;
};

}  // namespace tolv
