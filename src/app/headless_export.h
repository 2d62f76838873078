#pragma once
// "--export FORMAT SOURCE [TARGET]": a stored file in a format other programs open (see
// measure/export_stored.h). TARGET "-" writes VCD and CSV to standard output. Exit codes as
// --convert: 1 for input that cannot be read and outputs that cannot be written, 2 for wrong
// usage (a format that cannot hold the record included).
#include <QString>
#include <QStringList>
#include <filesystem>
#include <ostream>

#include "measure/export_stored.h"

namespace tolv {

struct ExportRequest {
  ExportFormat format = ExportFormat::PlainCsv;
  std::filesystem::path source;
  std::filesystem::path target;  // "-" for standard output
  std::filesystem::path dataRoot;
};

// Whether the arguments ask for --export (and not for --help or --version).
bool wantsExport(const QStringList& args);
// 0, or 2 with the reason in `error`. Without TARGET the export goes next to the source with
// the format's ending (".vcd", ".sr", "_plain.csv").
int parseExportArguments(const QStringList& args, ExportRequest& out, QString& error);

// Runs the export; `console` receives standard-output exports. Returns the exit code and the
// line for standard error in `message` (empty on success).
int runExport(const ExportRequest& r, std::ostream& console, QString& message);

// Whole process, for main().
int exportMain(int argc, char** argv);

}  // namespace tolv
