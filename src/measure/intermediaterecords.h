#pragma once
// Record formats of the numbered ".FIL" files a device window keeps of every measurement:
// 72-byte voltmeter readings written while a run goes, the scope record's N + 1 sample pairs,
// the logic-analyser list's n + 1 entries, and the reading of logger streams for plotting.
// Folders, numbers and text headers are kept elsewhere; these functions only move records.
#include <QString>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/voltmeterreading.h"
#include "device/decoding.h"
#include "device/settingsrecord.h"
#include "measure/intermediate.h"
#include "measure/measurecodes.h"
#include "plot/loganal_list.h"

namespace tolv {

namespace fs = std::filesystem;

// The voltmeter file stays open from RUN to STOP and grows by one reading at a time, so a
// crash keeps every reading written before it.
class TVoltmeterIntermediateFile {
 public:
  TVoltmeterIntermediateFile() = default;
  ~TVoltmeterIntermediateFile();
  TVoltmeterIntermediateFile(const TVoltmeterIntermediateFile&) = delete;
  TVoltmeterIntermediateFile& operator=(const TVoltmeterIntermediateFile&) = delete;

  // Creates (or empties) the file; 0 or the error number. The file is open only on success.
  int open(const fs::path& name);
  // Appends the 72 bytes; -189 when not open. A failed write closes the file and returns the
  // error number.
  int append(const VoltmeterReading& r);
  // 0, or the error of the last flush; the file is closed afterwards in every case.
  int close();
  bool isOpen() const { return f_ != nullptr; }
  const fs::path& name() const { return name_; }

 private:
  std::FILE* f_ = nullptr;
  fs::path name_;
};

// What reading a voltmeter file met, by 1-based entry numbers: entries no run writes (another
// tag, a time of day outside its day, values beyond any range), left out; and readings kept
// that lie more than a day from the one before (the first: from the series' start), which only
// a clock set anew or a machine asleep gives.
struct VoltmeterReadNotes {
  std::vector<std::size_t> damaged;
  std::vector<std::size_t> clockJumps;
  bool empty() const { return damaged.empty() && clockJumps.empty(); }
  // "" when nothing, else what was left out and where the clock jumped, naming at most the
  // first ten entries of each; German for language 0, English otherwise.
  QString text(int language) const;
};

// Every complete 72-byte reading of the file that a run writes (a cut-off last record and
// damaged entries are left out). `start` (the header's time) only places the first clock jump.
// 0, 2 when missing, or the error number; the outputs change only on success.
int readVoltmeterIntermediate(const fs::path& name, std::vector<VoltmeterReading>& readings,
                              const std::optional<DayTime>& start = std::nullopt,
                              VoltmeterReadNotes* notes = nullptr);
// What a conversion of a voltmeter intermediate file should say about it (see
// VoltmeterReadNotes::text); "" for other files.
QString skippedReadingsNote(const fs::path& file, int language = 1);

// Scope file: `entries` are the N samples and the array entry after them (N + 1 in all).
int writeScopeIntermediate(const fs::path& name, std::span<const ScopeSample> entries);
// Loads at most 131001 sample pairs; n = pairs loaded - 1. -111 for a file without any
// complete pair; the outputs change only on success.
int readScopeIntermediate(const fs::path& name, std::vector<ScopeSample>& entries, int& n);

// Logic-analyser file: entries 0 to n of the list; reading entry n appends the zero filler
// entry, which is written and stays in the list. -2230 for an empty list.
int writeLogicIntermediate(const fs::path& name, TLogAnalList& list);
// Appends every complete 8-byte entry (at most 262001) to the list after clearing it.
int readLogicIntermediate(const fs::path& name, TLogAnalList& list);
// The same entries handed out a piece at a time, for readers that keep only the words:
// `expect` first gets the number of entries to come. One call per piece, not per entry: a call
// through std::function per sample was a fifth of a conversion's time.
int readLogicIntermediateEntries(const fs::path& name,
                                 const std::function<void(std::size_t count)>& expect,
                                 const std::function<void(std::span<const TLogAnalEntry>)>& piece);

// What is wrong with the content of a stored intermediate file, judged from its size, the
// memory depth of its header and, for the loggers, the end of the stream. A record file that is
// cut (fewer samples than its header names) or longer than any record would give made-up or
// lost rows, so conversions refuse it.
struct StoredContent {
  enum class Problem {
    None,
    Empty,      // no sample or reading at all
    CutEntry,   // the last record is incomplete
    CutRecord,  // fewer samples than the header's memory depth
    TooLong,    // more samples than any record holds
    OnlyEnd,    // a logger stream of nothing but its end
    OutOfStep,  // a logger stream with its end marker but not in whole samples
    Unheaded,   // more samples than the header's memory depth: the header is another file's
    NoneWhole,  // voltmeter readings, none of them one a run writes
    // A voltmeter file ends inside its last reading: it is written reading by reading while
    // the run goes, so a crash leaves this; its whole readings stand (code() is 0).
    CutReading,
    BadSampleTime,   // the header's sample time is none a device measures with
    BadMemoryDepth,  // the header's memory depth is none a record has
  };
  Problem problem = Problem::None;
  std::uint64_t have = 0;  // samples (readings) in the file
  // samples the header names (CutRecord, Unheaded) or the most a record holds (TooLong)
  std::uint64_t want = 0;
  bool ok() const { return problem == Problem::None; }
  // 0 (also for CutReading, which is said, not refused); kNoSamples for Empty and OnlyEnd;
  // kDamagedFile for the others.
  int code() const;
  // The problem in words, German for language 0, English otherwise ("" when none).
  QString text(int language) const;
};
StoredContent checkStoredContent(IntermediateFamily f, const fs::path& file,
                                 const SettingsRecord& header);
// The header alone: a sample time or memory depth no record can have (zero, negative, NaN,
// far outside the tables) would give times and trigger positions that mean nothing.
StoredContent checkStoredHeader(IntermediateFamily f, const SettingsRecord& header);

// The whole file, at most `limit` bytes; 0, 2 when missing, else the error number.
int readFileBytes(const fs::path& name, std::vector<std::uint8_t>& out, std::uintmax_t limit);

}  // namespace tolv
