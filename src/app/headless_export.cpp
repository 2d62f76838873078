#include "app/headless_export.h"

#include <QCoreApplication>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "app/cmdline.h"
#include "app/headless.h"
#include "measure/textheader.h"
#include "multi/multifiles.h"

namespace tolv {

namespace fs = std::filesystem;

namespace {

QString quoted(const fs::path& p) {
  return QLatin1Char('"') + QString::fromStdString(p.string()) + QLatin1Char('"');
}

bool samePath(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

}  // namespace

bool wantsExport(const QStringList& args) {
  for (const QString& a : args)
    if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("--version"))
      return false;
  for (const QString& a : args)
    if (a == QLatin1String("--export")) return true;
  return false;
}

int parseExportArguments(const QStringList& args, ExportRequest& out, QString& error) {
  out = ExportRequest{};
  std::vector<QString> positional;
  bool seen = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args.at(i);
    if (a == QLatin1String("--export")) {
      if (seen) {
        error = QStringLiteral("give --export once");
        return kExitBadUsage;
      }
      seen = true;
      continue;
    }
    QString v;
    bool m = false;
    if (!takeValue(args, i, QStringLiteral("--data-root"), v, m) || (m && v.isEmpty())) {
      error = QStringLiteral("--data-root needs a folder");
      return kExitBadUsage;
    }
    if (m) {
      out.dataRoot = fs::path(v.toStdString());
      continue;
    }
    if (a.startsWith(QLatin1String("--"))) {
      error = QStringLiteral("%1 cannot be used with --export").arg(a);
      return kExitBadUsage;
    }
    positional.push_back(a);
  }
  if (!seen) {
    error = QStringLiteral("--export is missing");
    return kExitBadUsage;
  }
  if (positional.size() < 2) {
    error = QStringLiteral("--export needs a format (vcd, sr or csv) and a stored file");
    return kExitBadUsage;
  }
  if (positional.size() > 3) {
    error = QStringLiteral("unexpected argument \"%1\"").arg(positional[3]);
    return kExitBadUsage;
  }
  if (!exportFormatOf(positional[0], out.format)) {
    error = QStringLiteral("unknown export format \"%1\" (vcd, sr or csv)").arg(positional[0]);
    return kExitBadUsage;
  }
  out.source = fs::path(positional[1].toStdString());
  out.target = positional.size() == 3 ? fs::path(positional[2].toStdString())
                                      : exportTargetFor(out.source, out.format);
  if (out.target == "-") {
    if (out.format == ExportFormat::Sr) {
      error = QStringLiteral("a sigrok session is a zip archive: give a file, not -");
      return kExitBadUsage;
    }
    return kExitOk;
  }
  std::error_code ec;
  if (const fs::path abs = fs::absolute(out.target, ec); !ec) out.target = abs;
  if (samePath(out.source, out.target) || samePath(textHeaderName(out.source), out.target)) {
    error = QStringLiteral("%1: the output would replace the input").arg(quoted(out.target));
    return kExitBadUsage;
  }
  return kExitOk;
}

int runExport(const ExportRequest& r, std::ostream& console, QString& message) {
  message.clear();
  HeadlessRequest settings;
  settings.dataRoot = r.dataRoot;
  StoredExportHooks hooks;
  // Tables are read with the separator the window writes them with.
  hooks.csvColumn = headlessCsvStyle(settings).column;
  hooks.probe = probeMultiDataTable;
  hooks.merged = readMergedForExport;
  const StoredProblem p = exportStoredFile(r.format, r.source, r.target, &console, hooks);
  if (p.ok()) return kExitOk;
  message = quoted(r.source) + QStringLiteral(": ") + p.reason;
  return p.exitCode;
}

int exportMain(int argc, char** argv) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  ExportRequest req;
  QString error;
  if (parseExportArguments(args, req, error) != kExitOk) {
    std::fprintf(stderr, "multi_tolvanex: %s\nTry \"multi_tolvanex --help\".\n", qPrintable(error));
    return kExitBadUsage;
  }
  beginHeadlessProcess(req.dataRoot);
  // A reader that goes away (| head) ends the export as it ends any command line tool.
  ::signal(SIGPIPE, SIG_DFL);
  int qtArgc = 1;
  QCoreApplication app(qtArgc, argv);
  std::setlocale(LC_NUMERIC, "C");  // numbers in files keep their dot
  std::ios::sync_with_stdio(false);
  QString message;
  const int rc = runExport(req, std::cout, message);
  std::cout.flush();
  if (!message.isEmpty()) std::fprintf(stderr, "multi_tolvanex: %s\n", qPrintable(message));
  return rc;
}

}  // namespace tolv
