#pragma once
// Data files of a device window: the day folder and automatic names, the CSV tables of every
// mode and the compact binary ".VXD" files of scope and logic analyser. Writers take plain
// inputs (settings snapshot, measurement time, samples) and return 0 or a result code; they
// never show a message. Every file goes through a temporary name and a rename, so an existing
// file is never left half-written.
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/daytime.h"
#include "common/voltmeterreading.h"
#include "device/decoding.h"
#include "device/records.h"
#include "device/settingsrecord.h"
#include "measure/measurecodes.h"
#include "plot/loganal_list.h"

namespace tolv {

namespace fs = std::filesystem;

// A binary file too short, too long or inconsistent with its own header (the other codes are
// in measurecodes.h).
inline constexpr int kDamagedFile = -182;

// Largest scope record a file may hand back (the sample array's capacity).
inline constexpr int kScopeArrayEntries = kScopeMemorySamples + 1;

// Which end of a conversion failed: reading the stored file or writing the table. The writers
// that know it say it, so a caller never has to work it out from the result code.
enum class ConvertSide { None, Source, Target };

// Separators of CSV output: one character each.
struct CsvStyle {
  char decimal = ',';
  char column = '\t';
  // The user's choice in the main frame.
  static CsvStyle current();
};

// --- Folders and names -------------------------------------------------------------------

// Device folder + "YYYYMMDD" of the time.
fs::path dayFolder(const fs::path& deviceFolder, const DayTime& t);
// "HHMMSS_mmm_MODE.ext" in the day folder (milliseconds cut, not rounded), ext without the
// point. The automatic writers take this name through writeMadeOutput, which moves on to the
// first free "_1", "_2", ... itself when it is taken (a file put there meanwhile is kept).
fs::path automaticDataFileBase(const fs::path& deviceFolder, const DayTime& t, ModeCode mode,
                               std::string_view ext);
// The base name, or when that file exists the first free "_1", "_2", ... (the base when none
// can be told): what a save dialog offers.
fs::path automaticDataFileName(const fs::path& deviceFolder, const DayTime& t, ModeCode mode,
                               std::string_view ext);
// 0, or -192 / -194 / -196 when the name has no folder, no file name or neither.
int checkTargetName(const fs::path& name);

// --- Parameter texts ---------------------------------------------------------------------

// "X" for an irrelevant line, else "L"/"H" (level) or "e"/"E" (edge); lines 7 down to 0.
std::string triggerPatternText(std::uint8_t relevances, std::uint8_t dynamics, std::uint8_t levels);
// Whether a record of this mode and trigger type has a trigger point (trigger channel,
// pretrigger time and trigger sample are then written) and thresholds.
bool usesTriggerPoint(ModeCode mode, const std::string& trgTypString);
bool usesThresholds(ModeCode mode, const std::string& trgTypString);

// What every parameter group draws from.
struct RecordInfo {
  QString serial;
  SettingsRecord settings;
  DayTime time;  // the MeasurementTime
};

// --- Scope -------------------------------------------------------------------------------

// Scope CSV: one row per sample ("%9.6f" channel 0, separator, channel 1); rows 0 to 10 carry
// the parameter groups. `rows` limits the table (-1: every sample). -111 when there are no
// samples.
int writeScopeCsv(const fs::path& name, const RecordInfo& info,
                  std::span<const ScopeSample> samples, const CsvStyle& style, int rows = -1);
// The text alone (benchmarks and tests compare it).
std::string scopeCsvText(const RecordInfo& info, std::span<const ScopeSample> samples,
                         const CsvStyle& style);

inline constexpr std::size_t kScopeVxdHeader = 72;
std::array<std::uint8_t, kScopeVxdHeader> scopeVxdHeader(const RecordInfo& info, std::int32_t n);
// Scope ".VXD": the 72-byte header, then 8 bytes per sample. -111 without samples.
int writeScopeVxd(const fs::path& name, const RecordInfo& info,
                  std::span<const ScopeSample> samples);

// What a ".VXD" holds besides its samples.
struct VxdHeader {
  QString serial;
  DayTime time;
  std::string trgTypString;
  std::string pattern;  // logic analyser only
  double pretriggerTime = 0;
  std::int32_t triggerSample = 0;
  double sampleTime = 0;
  std::int32_t count = 0;  // N (scope) or round(MemoryDepth) (logic analyser)
};
// Readers: 0, 2 when missing, kDamagedFile when the header is cut or N disagrees with the
// file's size or capacity. The outputs change only on success.
int readScopeVxd(const fs::path& name, VxdHeader& header, std::vector<ScopeSample>& samples);

// Scope CSV of a stored ".VXD" (its header and samples as readScopeVxd gives them): the
// memory depth is N, and the trigger channel and threshold rows stay plain, since the file does
// not keep them. -111 without samples.
std::string scopeVxdCsvText(const VxdHeader& header, std::span<const ScopeSample> samples,
                            const CsvStyle& style);
int writeScopeVxdCsv(const fs::path& name, const VxdHeader& header,
                     std::span<const ScopeSample> samples, const CsvStyle& style);

// --- Logic analyser ----------------------------------------------------------------------

inline constexpr std::size_t kLogicVxdHeader = 80;
// The list holds at most two samples per byte pair of the largest receive buffer.
inline constexpr int kLogicVxdMaxWords = 262001;
std::array<std::uint8_t, kLogicVxdHeader> logicVxdHeader(const RecordInfo& info);
// Logic-analyser ".VXD": 80-byte header, one 16-bit word per sample. -2230 for no samples.
int writeLogicVxd(const fs::path& name, const RecordInfo& info, const TLogAnalList& list);
int readLogicVxd(const fs::path& name, VxdHeader& header, std::vector<std::uint16_t>& words);

// What the logic-analyser CSV takes beside the list; the two callers fill it differently.
struct LogicCsvParams {
  int rows = 0;              // rows k = 0 .. rows - 1
  double step = 0;           // seconds per row
  std::string trgTypString;  // trigger mode group
  // Whether the record's own trigger type (P, x or X) has a trigger point: only then are the
  // trigger sample and pretrigger time written (their rows stay plain otherwise); the trigger
  // point row is always written.
  bool triggerPointUsed = true;
  std::string pattern;  // trigger pattern group
  std::int64_t triggerPoint = 0;
  std::int64_t triggerSample = 0;
  double pretrigger = 0;
  std::int64_t memoryDepth = 0;
};
// From a record's settings (automatic saving): rows and memory depth round(MemoryDepth),
// the step SamplTim.
LogicCsvParams logicCsvParams(const SettingsRecord& s);
// From a stored ".VXD": rows and memory depth its round(MemoryDepth), the step its sample
// time; the trigger point comes back from the pretrigger time.
LogicCsvParams logicVxdCsvParams(const VxdHeader& header);
// Header "Time [s]", D15 .. D0, device; rows past the end of the list read as all zero and
// do not grow it. Rows 0 to 8 carry date, time, trigger mode, pattern, trigger point, trigger
// sample, pretrigger time, sample time and memory depth; rows 5 and 6 only for a trigger point.
int writeLogicCsv(const fs::path& name, const RecordInfo& info, const LogicCsvParams& p,
                  const TLogAnalList& list, const CsvStyle& style);
std::string logicCsvText(const RecordInfo& info, const LogicCsvParams& p, const TLogAnalList& list,
                         const CsvStyle& style);

// --- Conversions of stored files (the header already read by the caller) -------------------

// Voltmeter series: header line, then one row per reading. The mode of `info.settings`
// chooses the unit prefix.
int writeVoltmeterSeriesCsv(const fs::path& name, const RecordInfo& info,
                            std::span<const VoltmeterReading> readings, const CsvStyle& style);
// Scope intermediate CSV: round(MemoryDepth) rows, but never more than the loaded samples.
int writeScopeIntermediateCsv(const fs::path& name, const RecordInfo& info,
                              std::span<const ScopeSample> samples, const CsvStyle& style);
// Logic-analyser intermediate CSV: header's memory depth and snapped step, the window's trigger
// type, memory depth group = loaded entries - 1.
LogicCsvParams logicIntermediateCsvParams(const SettingsRecord& header,
                                          const std::string& windowTrgTypString, int loaded);
// Logger tables: the samples of the stream's shape (loggerstream.h: a run the device ended
// leaves its end out, a crashed one keeps every complete sample).
// Analog logger: raw stream words converted with the header's amplitudes and offsets and the
// window's probe factors and divider; `window` supplies trigger type and sample time too.
// I/O logger: the second word of each sample, the snapped step of the header's sample time,
// the window's trigger type.
// In memory, the shape taken from the bytes themselves (tests, benchmarks):
std::string analogLoggerCsvText(const RecordInfo& header, const SettingsRecord& window,
                                std::span<const std::uint8_t> stream, const CsvStyle& style);
std::string ioLoggerCsvText(const RecordInfo& header, const std::string& windowTrgTypString,
                            std::span<const std::uint8_t> stream, const CsvStyle& style);
// From a stream file of any length (sizes are 64-bit), read and handed on in pieces of about a
// megabyte. The sink takes each piece; a result other than 0 stops the writer with it.
using CsvSink = std::function<int(std::string_view)>;
int streamAnalogLoggerCsv(const fs::path& streamFile, const RecordInfo& header,
                          const SettingsRecord& window, const CsvStyle& style, const CsvSink& sink);
int streamIoLoggerCsv(const fs::path& streamFile, const RecordInfo& header,
                      const std::string& windowTrgTypString, const CsvStyle& style,
                      const CsvSink& sink);
// The same into a CSV file, through a temporary file. On a failure `side` (when given) tells
// whether the stream could not be read or the table not be written.
int writeAnalogLoggerCsv(const fs::path& csv, const RecordInfo& header,
                         const SettingsRecord& window, const fs::path& streamFile,
                         const CsvStyle& style, ConvertSide* side = nullptr);
int writeIoLoggerCsv(const fs::path& csv, const RecordInfo& header,
                     const std::string& windowTrgTypString, const fs::path& streamFile,
                     const CsvStyle& style, ConvertSide* side = nullptr);

// Sample rows of either logger CSV for a stream of this many bytes (0: nothing to convert).
std::int64_t loggerCsvRows(std::uintmax_t streamBytes, bool endMarker = true);

// Writes the whole text through a temporary file after making the target's folder.
int writeDataFile(const fs::path& name, std::string_view bytes);

}  // namespace tolv
