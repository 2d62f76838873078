#pragma once
// Stored files in the formats other programs open: any file the stored-file reader knows
// (intermediate .FIL with its .VXT, .VXD, the window's CSV tables, the multi-device data file)
// to VCD (logic-analyser and I/O-logger records), a sigrok session (every record with a regular
// time axis) or plain CSV (everything). Targets are written under a temporary name and renamed
// when whole; "-" writes VCD and CSV to a console stream instead: a record once its output is
// whole, a logger stream of any length as it is read.
#include <QString>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string_view>
#include <vector>

#include "measure/export_plaincsv.h"
#include "measure/measuredata.h"
#include "measure/storedfile.h"

namespace tolv {

struct StoredScopeCsv;
struct StoredLogicCsv;
struct StoredChartCsv;

enum class ExportFormat { Vcd, Sr, PlainCsv };

// "vcd", "sr", "csv" (any case); false for another word.
bool exportFormatOf(const QString& word, ExportFormat& out);
// The ending of a target made from the source's name: ".vcd", ".sr", "_plain.csv".
const char* exportEnding(ExportFormat f);
// The default target: the source's name with its extension replaced by the ending.
std::filesystem::path exportTargetFor(const std::filesystem::path& source, ExportFormat f);
// The formats a stored file of this kind can be written to, the usual one first: a session for
// every record on a regular time axis, VCD only for logic lines, plain CSV for all. None for
// an unknown kind. (A merged record goes to a session only when its devices share one grid.)
std::vector<ExportFormat> exportFormatsOf(StoredKind kind);
// A file dialog's filter offering these formats in their order ("sigrok session (*.sr);;..."),
// named in the window's language.
QString exportDialogFilter(const std::vector<ExportFormat>& formats);
// The ending a name typed into such a dialog without one gets: ".sr", ".vcd" or ".csv".
const char* exportDialogEnding(ExportFormat f);

// A merged multi-device table read into devices (the layer that knows the table hands it in):
// 0 or the reader's code.
using MergedTableReader = std::function<int(std::string_view bytes, char column,
                                            PlainCsvHead& head,
                                            std::vector<PlainDeviceSeries>& devices)>;

struct StoredExportHooks {
  StoredTableProbe probe;   // recognises the merged table
  MergedTableReader merged;  // and reads it
  char csvColumn = '\t';     // preferred column separator of CSV input
  QString serial;            // the device of a file that does not name it (a copied .FIL)
  // A target the user named for a command: a pipe or device there is written into as the
  // console is (see writeNamedOutput). Any other writer refuses such a target.
  bool namedOutput = false;
};

// What an export dialog offers for one stored file: the formats it can be written to, the usual
// one first (a merged record whose devices do not share one sample grid is no session), the
// dialog's filter, and the proposed target beside the file. A file no export knows comes back
// as a problem with no formats.
struct StoredExportOffer {
  StoredProblem problem;
  std::vector<ExportFormat> formats;
  QString filter;
  std::filesystem::path proposed;
};
StoredExportOffer storedExportOffer(const std::filesystem::path& source,
                                    const StoredExportHooks& hooks);
// The format a target named in the dialog asks for: its ending when it names one, else the
// offer's usual one, whose ending the name then gets.
ExportFormat exportFormatOfTarget(std::filesystem::path& target, const StoredExportOffer& offer);

// Exit codes of the problems below, as the converter uses them.
inline constexpr int kExportBadInput = 1;
inline constexpr int kExportBadUsage = 2;

// Exports `source` to `target` ("-": to *console). The problem carries 1 (unreadable input, an
// output that cannot be written), 2 (the format cannot hold this record) and the reason in
// words, without the file name.
StoredProblem exportStoredFile(ExportFormat format, const std::filesystem::path& source,
                               const std::filesystem::path& target, std::ostream* console,
                               const StoredExportHooks& hooks = {});

// One of the window's own tables read, with the separator it was written with (`preferred`
// where its first line allows that one): ok, or exit code 1 with the reader's fault in words
// ("line N is not a scope row", the cut's counts).
StoredProblem readStoredTable(std::string_view bytes, char preferred, StoredScopeCsv& out);
StoredProblem readStoredTable(std::string_view bytes, char preferred, StoredLogicCsv& out);
StoredProblem readStoredTable(std::string_view bytes, char preferred, StoredChartCsv& out);

// A merged record already in memory (the multi-device window's), to a target file.
StoredProblem exportMerged(ExportFormat format, const PlainCsvHead& head,
                           const std::vector<PlainDeviceSeries>& devices,
                           const std::filesystem::path& target, std::ostream* console,
                           bool namedOutput = false);

// The record a measurement holds, the one on screen or the one a run has just finished:
// scope and logic-analyser records from memory (with their own settings and time), the
// voltmeter's chart (settings: the run's, for its mode and ranges), a logger's stream file
// with its header as stored. `settings.mode` tells which of them. Loggers: `streamFile`, else
// for the I/O logger the lines in memory (what its diagram shows).
StoredProblem exportMeasuredRecord(ExportFormat format, const TMeasureData& data,
                                   const QString& serial, const SettingsRecord& settings,
                                   const std::filesystem::path& streamFile,
                                   const std::filesystem::path& target, std::ostream* console);

}  // namespace tolv
