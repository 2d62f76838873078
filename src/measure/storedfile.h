#pragma once
// The stored-file reader: what a stored file is (from its extension, its text header and its
// content), whether it is whole enough to read, and its text read once. --convert, --render,
// --export and the windows share it, so a file is judged the same way everywhere.
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "measure/datafiles.h"
#include "measure/intermediaterecords.h"

namespace tolv {

namespace fs = std::filesystem;

// What a stored file is, from its extension, its text header and its content.
enum class StoredKind {
  Unknown,
  Voltmeter,     // Intermediate_VMXY .FIL
  Scope,         // Intermediate_OSA0 .FIL
  Logic,         // Intermediate_LAIO .FIL
  AnalogLogger,  // Intermediate_DLA0 .FIL (stream)
  IoLogger,      // Intermediate_DLDI .FIL (stream)
  ScopeVxd,
  LogicVxd,
  ScopeCsv,
  AnalogLoggerCsv,
  LogicCsv,
  IoLoggerCsv,
  VoltmeterCsv,  // the voltmeter chart's table
  MultiCsv,  // the multi-device data file
};

// A stored table's text, mapped read-only: megabytes are read in place, not copied.
class StoredText {
 public:
  StoredText() = default;
  ~StoredText();
  StoredText(StoredText&& o) noexcept;
  StoredText& operator=(StoredText&& o) noexcept;
  StoredText(const StoredText&) = delete;
  StoredText& operator=(const StoredText&) = delete;

  // 0, the file system's error number, or kDamagedFile for a file beyond 1 GiB.
  int open(const fs::path& file);
  std::string_view view() const { return {data_, size_}; }

 private:
  void release();
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

// The outcome of a step on a stored file: 0 or an exit code, and the reason in words.
struct StoredProblem {
  int exitCode = 0;
  QString reason;  // without the file name
  bool ok() const { return exitCode == 0; }
};

// Reason text of a result code of the file readers.
QString readResultText(int rc);

// Tables of the layers above this one (the multi-device data file) are recognised by a probe
// the caller hands in.
enum class TableProbe { No, Yes, CutOff };
using StoredTableProbe = std::function<TableProbe(std::string_view bytes, char column)>;

// Identifies the file and checks it for the damage the readers would pass over (cut records,
// a header that disagrees with the file's folder or name). `csvColumn` is the preferred column
// separator of CSV input. *serial receives the device's serial number where the file tells it.
// A table's text is handed out in *csvText when asked for, so it is read only once.
StoredProblem identifyStoredFile(const fs::path& file, char csvColumn, StoredKind& kind,
                                 QString* serial = nullptr, StoredText* csvText = nullptr,
                                 const StoredTableProbe& probe = {});

// An intermediate file's record read whole: what the window's show functions put on screen
// and the exports write out, read the same way for both.
struct StoredRecord {
  SettingsRecord header;                   // its text header
  std::optional<DayTime> time;             // the header's MeasurementTime
  std::vector<ScopeSample> scope;          // Scope: every entry of the file
  int scopeSamples = 0;                    //   N, the samples among them
  TLogAnalList logic;                      // Logic: the file's list, its filler included
  std::vector<VoltmeterReading> readings;  // Voltmeter
  VoltmeterReadNotes readingNotes;         //   what was left out, where the clock jumped
};
// The text header beside `file`, with its time: 0 or the header reader's code.
int readStoredHeader(const fs::path& file, StoredRecord& out);
// The samples of an intermediate file of kind Voltmeter, Scope or Logic: 0 or the reader's
// code (kUnknownMode for another kind); on failure `out` keeps its samples.
int readStoredSamples(const fs::path& file, StoredKind kind, StoredRecord& out);

// The first line of a text, without its line end.
std::string_view firstLineOf(std::string_view s);

}  // namespace tolv
