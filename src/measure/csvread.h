#pragma once
// Reading the device window's own scope and logic-analyser CSV tables back, so a stored table
// can be drawn again: the value columns and the parameter groups, found by their labels. The
// date and time cells are read in the fixed form they are written in, or as an earlier version
// wrote them.
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/daytime.h"
#include "common/voltmeterreading.h"

namespace tolv {

// A cell that should be a number is not one, or a row has too few cells.
inline constexpr int kCsvBadCell = 9220;
// The table ends at a line end before the length its Memory Depth cell states (copied while
// the window still wrote it, or a stick pulled early).
inline constexpr int kCsvCutShort = 9221;

// Where a table could not be read: the line that is no row of it (1-based), or the samples it
// holds against those it states.
struct CsvFault {
  int line = 0;
  std::int64_t held = 0, stated = 0;
};
// The reason in words for a reader's code: "line N is not a <row> row", the cut's counts, or
// the code's own text.
QString csvFaultText(int rc, const CsvFault& fault, const char* row);

enum class StoredCsvKind { Unknown, Scope, AnalogLogger, Logic, IoLogger, VoltmeterChart };

// The column separator of a table: `preferred` when the first line holds it, else the first of
// Tab, ";", "," and blank that it holds; 0 when none.
char detectCsvColumn(std::string_view firstLine, char preferred);
// The column separator of the device window's own scope, logic-analyser or voltmeter chart
// table, read from the structure of its first line (any of the five separators the window
// writes, blank and point included); 0 when the line is none of these.
char tableColumn(std::string_view firstLine);
// tableColumn, else detectCsvColumn.
char storedCsvColumn(std::string_view firstLine, char preferred);
// Scope tables start with two numbers (the analog logger's too; its date group on row 1 is that
// of the measurement start); logic tables with "Time [s]" and D15 .. D0 (the I/O logger's have
// its sample-time group on row 3); the voltmeter chart's rows with three numbers and its
// "Device" cell. Unknown for anything else.
StoredCsvKind storedCsvKind(std::string_view bytes, char column);

// A scope or analog-logger table (the same columns; the logger's dates are those of its start).
struct StoredScopeCsv {
  QString serial;
  std::optional<DayTime> time;
  std::string trgTypString;
  double pretrigger = 0;  // seconds; 0 when the table has no trigger point
  std::optional<std::int64_t> triggerSample;  // as its row gives it
  double sampleTime = 0;
  std::int64_t memoryDepth = 0;
  std::vector<double> ch0, ch1;
};
// 0, kCsvBadCell, kCsvCutShort (*fault tells more when given) or -111 for a table without
// rows.
// The stated length: the scope's Memory Depth in samples (a record deeper than the scope's
// memory holds its first 131000), the analog logger's in words, two per sample.
int readScopeCsv(std::string_view bytes, char column, StoredScopeCsv& out,
                 CsvFault* fault = nullptr);

struct StoredLogicCsv {
  QString serial;
  std::optional<DayTime> time;
  bool ioLogger = false;
  std::string trgTypString;
  double step = 0;
  std::int64_t triggerPoint = 0;  // logic analyser only
  std::optional<std::int64_t> triggerSample;  // as its row gives it
  std::string pattern;                        // "XXXXXXEH", lines 7 down to 0
  std::int64_t memoryDepth = 0;
  std::vector<std::uint16_t> words;
};
int readLogicCsv(std::string_view bytes, char column, StoredLogicCsv& out,
                 CsvFault* fault = nullptr);

// The voltmeter chart's table: one row per reading (seconds since the file's start, both
// channels), with Device, Date, Time and Unit cells beside the first rows; rows a short series
// was padded with have empty cells and are no readings.
struct StoredChartCsv {
  QString serial;
  std::optional<DayTime> start;
  std::string unit;  // "V", "V RMS" or empty
  std::vector<double> time, ch0, ch1;
  // The file ends inside its last row (written row by row, cut by a crash): the whole rows
  // before it are the readings.
  bool cut = false;
};
int readChartCsv(std::string_view bytes, char column, StoredChartCsv& out,
                 CsvFault* fault = nullptr);
// The table's readings, dated from `start` (the table's own, or another where it names none).
std::vector<VoltmeterReading> chartReadings(const StoredChartCsv& t, const DayTime& start);

}  // namespace tolv
