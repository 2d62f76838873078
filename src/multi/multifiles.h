#pragma once
// The multi-device window's files: the intermediate device file of one record, the data file
// that joins a cycle's device files side by side and its reader, the scalings file, and the
// file-name rules. No widgets: the window hands in texts and numbers and gets codes back.
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/colours.h"
#include "common/daytime.h"
#include "common/resulttext.h"
#include "common/typedlists.h"
#include "measure/export_plaincsv.h"
#include "measure/storedfile.h"

namespace tolv {

inline constexpr int kMultiEmpty = -2230;       // no devices, no cycle data, nothing read
inline constexpr int kMultiFileTooShort = -2242;  // a data file that is too short or cut off
inline constexpr int kMultiCancelled = -1111;     // a file dialog was cancelled

// Largest number of points one device may bring in a data file; the devices record at most
// 131000 samples, anything far above is damage, not a record.
inline constexpr int kMultiMaxPoints = 1 << 22;

// One channel's row of the scale table as texts (columns 1 to 5).
struct ScaleRowTexts {
  QString unit = QStringLiteral("V");
  QString factor = QStringLiteral("1.0");
  QString offset = QStringLiteral("0.0");
  QString min = QStringLiteral("0.0");
  QString max = QStringLiteral("0.0");
  QString& cell(int column);  // 1 .. 5
  const QString& cell(int column) const;
};

// Largest size of a scale number: volts scaled by it, and the file cells written from them,
// stay finite numbers that read back.
inline constexpr double kMaxScaleMagnitude = 1e15;
// A number cell of the scale table (columns 2 to 5): a decimal number with "." or "," as
// decimal mark, blanks around it allowed, no larger than kMaxScaleMagnitude.
bool scaleCellNumber(const QString& text, double* value = nullptr);
// Whether a text may stand in column 1 .. 5 of a scale row: any unit text, a number elsewhere.
bool scaleCellAccepted(int column, const QString& text);

// The numbers of a scale row; a text that is not a number counts as 0.
struct ScaleRowValues {
  double factor = 0, offset = 0, min = 0, max = 0;
  bool hasRange() const { return min != max; }
  static ScaleRowValues of(const ScaleRowTexts& t);
};

// --- Intermediate device file -------------------------------------------------------------

struct DeviceFileHead {
  QString serial;
  DayTime time;
  std::int32_t depth = 0;
  std::array<ColorRef, 2> colours{0, 0};
  std::array<ScaleRowTexts, 2> rows;
};

// The record time of day as the data files carry it: "HH:MM:SS" and the fraction of the
// second to microseconds (trailing zeros dropped, at least three digits), 24-hour, always
// this shape whatever the regional time format, so the reader can take it back.
QString multiTimeText(const DayTime& t);
// The record date as the data files carry it: "MM.DD.YYYY".
QString multiDateText(const DayTime& t);
// Date and time cells back to a stamp; 0 or 9220. fractionDigits: how many digits of the
// fraction the time cell had (up to 6, those read).
int multiStampFromTexts(const QString& date, const QString& time, DayTime& out,
                        int* fractionDigits = nullptr);

// Appends the 11 head lines (CR LF each). sep: column separator; dec: decimal separator.
void appendDeviceFileHead(std::string& out, const DeviceFileHead& h, char sep, char dec);
// Appends one data line "%10.6f" sep "%9.6f" sep "%9.6f" CR LF.
void appendDeviceFileLine(std::string& out, double t, double c1, double c2, char sep, char dec);

// --- Multi-device data file ---------------------------------------------------------------

// A device file's text under its file name (the name orders the devices).
struct NamedDeviceText {
  std::filesystem::path name;
  std::string_view text;
};
// Joins device file texts side by side (sorted by name, three cells per device, " " cells
// where an earlier device ran out). 0, or kMultiEmpty for no texts or nothing in them.
int mergeDeviceTexts(std::vector<NamedDeviceText> texts, char sep, std::string& out);
// Joins the device files side by side (sorted by name, three cells per device, " " cells
// where an earlier device ran out). Returns 0, kMultiEmpty for no files or nothing read, or the
// file system's code of a file that could not be read.
int mergeDeviceFiles(std::vector<std::filesystem::path> files, char sep, std::string& out);
// A merged text read with the column separator `from`, as written with `to`: the cells stay,
// numbers take the decimal mark dec, and a text cell loses any `to` in it (as when written).
std::string mergedTextWithSeparator(std::string_view text, char from, char to, char dec);
// Writes a merged text to name (its folder made when missing). 0 or a code.
int writeMergedText(const std::filesystem::path& name, const std::string& merged);
// Merges and writes name (its folder made when missing). 0 or a code.
int writeMultiDataFile(const std::filesystem::path& name,
                       const std::vector<std::filesystem::path>& files, char sep);

// The automatic name: folder / "YYYYMMDD" / "HHMMSS" ["_" part] ".CSV".
std::filesystem::path multiDataFileName(const std::filesystem::path& folder, const DayTime& t,
                                        const QString& fixedPart);

// Point lists of the devices of a read file; grows on access.
class TTolvanexPointLists {
 public:
  int Count() const { return int(lists_.size()); }
  void Clear() { lists_.clear(); }
  TD3PointList& Get(int i);  // i >= 0
  const TD3PointList& At(int i) const { return lists_[std::size_t(i)]; }

 private:
  std::vector<TD3PointList> lists_;
};

// A read data file.
class TREADing {
 public:
  void Clear();
  int deviceCount = 0;
  QStringList names;
  DayTime time;
  std::vector<DayTime> times;  // per device: its record's trigger moment (else `time`)
  // Fraction digits of its finest time cell: 3 for a file that kept milliseconds only.
  int timeDigits = 0;
  TIntList depths;             // per device
  TIntList colours;            // index 2k + channel
  TFPointList factorOffset;    // index 2k + channel: (factor, offset)
  TFPointList scaleRange;      // index 2k + channel: (minimum, maximum)
  QStringList units;           // index 3k + j: x unit, channel 1, channel 2
  TTolvanexPointLists points;  // per device (time, channel 1, channel 2)
};

// Reads a data file. Returns 0, 2 (missing), kMultiFileTooShort, kMultiEmpty or 9220 (a cell that
// is not a number). " " padding cells and lines that end early end a device's points; a
// device whose points do not match its memory depth is refused as cut off. On failure `into` is
// left as it was.
// With bytes given, a file read gives its text there too. With found given, the file is read
// with its own column separator (see readMultiDataOwnSep, sep preferred), stored in found.
int readMultiDataFile(const std::filesystem::path& name, char sep, TREADing& into,
                      std::string* bytes = nullptr, char* found = nullptr);
int readMultiDataBytes(std::string_view bytes, char sep, TREADing& into);
// Reads with the column separator the file was written with, which may not be the one in
// force (preferred): of the separators the user can choose, preferred first, those under which
// the first line holds names and the first data line whole cell triples are tried until one
// reads. A file none reads is refused with the first such separator's reason (preferred's
// when none fits), so a damaged file is not reported as empty. 0 or the reader's code.
int readMultiDataOwnSep(std::string_view bytes, char preferred, TREADing& into, char& found);
// Whether a stored table is a multi-device data file, for the stored-file reader: Yes, CutOff
// (more lines than its head, but cut), or No. Read with its own separator, preferred first.
TableProbe probeMultiDataTable(std::string_view bytes, char preferred);
// A read data file as the exports take it: each device's times, channels and units, and a head
// with the record time and the device names.
PlainCsvHead plainHeadOfMerged(const TREADing& r);
std::vector<PlainDeviceSeries> plainSeriesOf(const TREADing& r);
// readMultiDataOwnSep into those two (the stored-file exports' reader of merged tables).
int readMergedForExport(std::string_view bytes, char preferred, PlainCsvHead& head,
                        std::vector<PlainDeviceSeries>& devices);
// What a result code of the data file's reader or writer means, in the program's language.
QString multiResultText(int rc, ResultContext context);
// A device's own file of a multi-device cycle that could not be written, and why (result code).
struct DeviceFileFailure {
  std::filesystem::path name;
  int rc = 0;
};
// The device files of a cycle that could not be written, each named with its reason, in the
// program's language, in one message: their records stay in the merged data file.
QString multiDeviceFileProblem(const std::vector<DeviceFileFailure>& failed);
// Each device's trigger moment relative to the earliest one in the file, s, by device name.
std::vector<std::pair<QString, double>> loadedTriggerDeltas(const TREADing& r);

// --- Scalings file ------------------------------------------------------------------------

// The scale table's rows 1 .. R-1 (R counting the title row), their colours and the check
// states of the devices' list items.
struct ScalingsData {
  std::vector<ScaleRowTexts> rows;  // rows[r - 1] is table row r
  TIntList colours;                 // index r
  std::vector<bool> checked;        // per check-list item
  std::vector<bool> checkRead;      // whether the file set that item's state
};

// Text of the file: per row r = 1 .. R a block (five cells, colour, check line of odd rows
// with an item), then a line with one blank.
std::string scalingsText(const ScalingsData& d);
int writeScalingsFile(const std::filesystem::path& name, const ScalingsData& d);
// Reads into d, whose rows and items tell how much the table holds. On failure d is unchanged.
// 0, 2, 38 (a block cut off) or 9220 (a colour that is no colour).
int readScalingsFile(const std::filesystem::path& name, ScalingsData& d);
int readScalingsBytes(const QByteArray& bytes, ScalingsData& d);

// The save dialog's name rule: extension ".TXT", "_Scalings" inserted unless the name holds
// "Scalings.TXT". 0 or the path helpers' code.
int scalingsFileName(std::filesystem::path& name);

}  // namespace tolv
