#include "multi/multi_exportdialog.h"

#include "common/paths.h"
#include "common/texttable.h"
#include "measure/export_sigrok.h"
#include "measure/export_stored.h"
#include "multi/multifiles.h"

namespace tolv {

int exportRecordOnScreen(const TMultiCollection& coll, char column, const QString& folder,
                         const MultiExportAskFile& ask, const MultiExportTell& tell) {
  PlainCsvHead head;
  std::vector<PlainDeviceSeries> devices;
  int rc = kMultiEmpty;
  if (coll.recordOnScreen() == TMultiCollection::OnScreen::Loaded) {
    // As read: the separator may have changed since.
    head = plainHeadOfMerged(coll.loaded());
    devices = plainSeriesOf(coll.loaded());
    rc = devices.empty() ? kMultiEmpty : 0;
  } else {
    std::string merged;
    rc = coll.mergedRecordOnScreen(merged);
    if (rc == 0) rc = readMergedForExport(merged, column, head, devices);
  }
  if (rc != 0) {
    tell(text(324) + QStringLiteral("\n") + readResultText(rc));
    return rc;
  }
  // A session only when the devices share one sample grid, as for a stored merged file.
  SrSession grid;
  const bool oneGrid = srOfMerged(devices, grid) != kSrTimesDisagree;
  const QString name =
      ask(MultiExportAsk::Target, folder,
          oneGrid ? exportDialogFilter({ExportFormat::Sr, ExportFormat::PlainCsv})
                  : exportDialogFilter({ExportFormat::PlainCsv}));
  if (name.isEmpty()) return kMultiCancelled;
  std::filesystem::path p = pathFromText(name);
  ExportFormat f = ExportFormat::PlainCsv;
  if (!exportFormatOf(QString::fromStdString(p.extension().string()).mid(1), f) ||
      f == ExportFormat::Vcd) {
    p += ".csv";
    f = ExportFormat::PlainCsv;
  }
  const StoredProblem problem = exportMerged(f, head, devices, p, nullptr);
  if (problem.ok()) return 0;
  tell(text(324) + QStringLiteral("\n") + problem.reason);
  return problem.exitCode;
}

int exportStoredFileAsked(char column, const QString& folder, const MultiExportAskFile& ask,
                          const MultiExportTell& tell) {
  const QString chosen = ask(MultiExportAsk::Source, folder,
                             text(325) + QStringLiteral(" (*.FIL *.VXD *.CSV *.fil *.vxd *.csv)"));
  if (chosen.isEmpty()) return kMultiCancelled;
  const std::filesystem::path source = pathFromText(chosen);
  StoredExportHooks hooks;
  hooks.csvColumn = column;
  hooks.probe = probeMultiDataTable;
  hooks.merged = readMergedForExport;
  // The target dialog offers what this file can become, the usual format proposed; an ending
  // naming another is refused with the reason.
  const StoredExportOffer offer = storedExportOffer(source, hooks);
  StoredProblem p = offer.problem;
  if (p.ok()) {
    const QString named = ask(MultiExportAsk::StoredTarget, pathText(offer.proposed), offer.filter);
    if (named.isEmpty()) return kMultiCancelled;
    std::filesystem::path target = pathFromText(named);
    const ExportFormat format = exportFormatOfTarget(target, offer);
    p = exportStoredFile(format, source, target, nullptr, hooks);
    if (p.ok()) return 0;
  }
  tell(text(324) + QLatin1Char('\n') + chosen + QStringLiteral(": ") + p.reason);
  return p.exitCode;
}

}  // namespace tolv
