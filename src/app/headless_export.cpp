#include "app/headless_export.h"

#include "multi/multifiles.h"

namespace tolv {

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
  QString moved;
  const StoredProblem p =
      exportStoredFile(*r.format, r.source, outputTarget(r, moved), &console, hooks);
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
