#include "app/headless_export.h"

#include "common/atomicfile.h"
#include "multi/multifiles.h"

namespace tolv {

namespace fs = std::filesystem;

int runExport(const HeadlessRequest& r, std::ostream& console, QString& message) {
  message.clear();
  if (!r.format) {
    message = QStringLiteral("no open format asked for");
    return kExitBadUsage;
  }
  StoredExportHooks hooks;
  // Tables are read with the separator the window writes them with.
  hooks.csvColumn = headlessCsvStyle(r).column;
  hooks.probe = probeMultiDataTable;
  hooks.merged = readMergedForExport;
  hooks.serial = r.serial;
  hooks.namedOutput = r.targetNamed;
  // The exporter writes into a named output (and standard output) itself; a made name only
  // needs keeping apart from a file put there meanwhile.
  StoredProblem p;
  const auto exportTo = [&](const fs::path& target) {
    p = exportStoredFile(*r.format, r.source, target, &console, hooks);
    return p.ok() ? 0 : p.exitCode;
  };
  QString moved;
  if (madeOutputName(r)) {
    fs::path written;
    if (writeMadeOutput(r.target, exportTo, written) == 0)
      moved = movedOutputNote(r.target, written);
  } else {
    exportTo(r.target);
  }
  if (p.ok()) {
    noteConvertedFile(r, message);
    addNote(message, moved);
    return kExitOk;
  }
  message = QLatin1Char('"') + QString::fromStdString(r.source.string()) + QStringLiteral("\": ") +
            p.reason;
  return p.exitCode;
}

}  // namespace tolv
