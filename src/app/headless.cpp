#include "app/headless.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/cmdline.h"
#include "app/framefiles.h"
#include "app/headless_export.h"
#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/picturefile.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "measure/csvread.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/recordfiles.h"
#include "measure/storedfile.h"
#include "measure/textheader.h"
#include "multi/multifiles.h"

namespace tolv {

namespace fs = std::filesystem;

namespace {

QString quoted(const fs::path& p) {
  return QLatin1Char('"') + QString::fromStdString(p.string()) + QLatin1Char('"');
}

bool parseSize(const QString& text, QSize& out) {
  const QStringList parts = text.toLower().split(QLatin1Char('x'));
  if (parts.size() != 2) return false;
  bool okW = false, okH = false;
  const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
  if (!okW || !okH || w < 1 || h < 1 || w > kRenderMaxEdge || h > kRenderMaxEdge) return false;
  out = QSize(w, h);
  return true;
}

bool samePath(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

// Labels of the CSV cells follow the saved language and the language file beside the data.
void loadTexts(int language) {
  std::error_code ec;
  if (fs::exists(languageFilePath(dataRoot()), ec) && loadLanguageFile(dataRoot()) != 0)
    fillBuiltInTexts();  // a damaged file: the window would fall back to these too
  setLanguageIndex(language);
}

// Scripts read standard error for our one line; the toolkit's notes about the session
// (no runtime folder, no display) are no concern of theirs.
void quietToolkit(QtMsgType type, const QMessageLogContext&, const QString& msg) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "multi_tolvanex: %s\n", qPrintable(msg));
}

// An action option: "--name" or "--name=VALUE".
bool namesAction(const QStringList& args, const char* action) {
  for (const QString& a : args)
    if (a == QLatin1String(action) || a.startsWith(QLatin1String(action) + QLatin1Char('=')))
      return true;
  return false;
}

bool asksHelpOrVersion(const QStringList& args) {
  for (const QString& a : args)
    if (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("--version"))
      return true;
  return false;
}

}  // namespace

QString fileProblem(const fs::path& file, const QString& reason) {
  return quoted(file) + QStringLiteral(": ") + reason;
}

QString outputProblem(int rc) {
  return measureResultText(rc, 1, ResultContext::Writing);
}

bool wantsHeadless(const QStringList& args) {
  // Asking for help or the version is answered first, whatever else stands there.
  if (asksHelpOrVersion(args)) return false;
  return args.contains(QStringLiteral("--acquire")) || namesAction(args, "--render") ||
         namesAction(args, "--convert") || namesAction(args, "--export");
}

bool wantsConvert(const QStringList& args) {
  // The other actions are checked by the program that carries them, also when they are
  // given together with a conversion.
  return wantsHeadless(args) && !args.contains(QStringLiteral("--acquire")) &&
         !namesAction(args, "--render");
}

namespace {

// The word of --format: the open formats, or "csv" for the window's own table (nullopt).
bool formatOfWord(const QString& word, std::optional<ExportFormat>& out) {
  const QString w = word.toLower();
  if (w == QLatin1String("csv")) {
    out.reset();
    return true;
  }
  ExportFormat f{};
  if (w == QLatin1String("plain")) f = ExportFormat::PlainCsv;
  else if (!exportFormatOf(w, f)) return false;
  out = f;
  return true;
}

// The format a target's ending names: .vcd, .sr, or .csv for the window's table.
bool formatOfTarget(const fs::path& target, std::optional<ExportFormat>& out) {
  const QString ext = QString::fromStdString(target.extension().string()).toLower();
  if (ext == QLatin1String(".csv")) {
    out.reset();
    return true;
  }
  ExportFormat f{};
  if ((ext != QLatin1String(".vcd") && ext != QLatin1String(".sr")) ||
      !exportFormatOf(ext.mid(1), f))
    return false;
  out = f;
  return true;
}

}  // namespace

int parseHeadlessArguments(const QStringList& args, HeadlessRequest& out, QString& error) {
  out = HeadlessRequest{};
  std::vector<QString> positional;
  bool sizeGiven = false;
  bool exportForm = false;          // --export FORMAT SRC, where csv is the plain CSV
  std::optional<QString> formatWord;  // --format
  const auto takeAction = [&](HeadlessRequest::Action action, const QString& source) {
    if (out.action != HeadlessRequest::Action::None) {
      error = QStringLiteral("give one of --convert, --export and --render, once");
      return false;
    }
    out.action = action;
    out.source = fs::path(source.toStdString());
    return true;
  };
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args.at(i);
    QString v;
    bool m = false;
    bool handled = false;
    for (const auto& [name, action] :
         {std::pair{QStringLiteral("--convert"), HeadlessRequest::Action::Convert},
          std::pair{QStringLiteral("--render"), HeadlessRequest::Action::Render}}) {
      if (!takeValue(args, i, name, v, m) || (m && v.isEmpty())) {
        error = name + QStringLiteral(" needs a file");
        return kExitBadUsage;
      }
      if (!m) continue;
      if (!takeAction(action, v)) return kExitBadUsage;
      handled = true;
      break;
    }
    if (handled) continue;
    // "--export FORMAT SRC": --convert SRC with the format named first.
    if (!takeValue(args, i, QStringLiteral("--export"), v, m) || (m && i + 1 >= args.size())) {
      error = QStringLiteral("--export needs a format (plain, vcd or sr) and a stored file");
      return kExitBadUsage;
    }
    if (m) {
      ExportFormat f{};
      if (v.compare(QLatin1String("plain"), Qt::CaseInsensitive) == 0) {
        f = ExportFormat::PlainCsv;
      } else if (!exportFormatOf(v, f)) {
        error = QStringLiteral("unknown export format \"%1\" (plain, vcd or sr)").arg(v);
        return kExitBadUsage;
      }
      if (!takeAction(HeadlessRequest::Action::Convert, args.at(++i))) return kExitBadUsage;
      out.format = f;
      exportForm = true;
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--format"), v, m)) {
      error = QStringLiteral("--format needs plain, vcd, sr or csv");
      return kExitBadUsage;
    }
    if (m) {
      std::optional<ExportFormat> f;
      if (!formatOfWord(v, f)) {
        error = QStringLiteral("--format needs plain, vcd, sr or csv, not \"%1\"").arg(v);
        return kExitBadUsage;
      }
      if (formatWord) {
        error = QStringLiteral("give --format once");
        return kExitBadUsage;
      }
      formatWord = v;
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--decimal"), v, m)) {
      error = QStringLiteral("--decimal needs . or ,");
      return kExitBadUsage;
    }
    if (m) {
      if (v != QLatin1String(".") && v != QLatin1String(",")) {
        error = QStringLiteral("--decimal needs . or , not \"%1\"").arg(v);
        return kExitBadUsage;
      }
      out.decimal = v.at(0).toLatin1();
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--separator"), v, m)) {
      error = QStringLiteral("--separator needs ; , . tab or blank");
      return kExitBadUsage;
    }
    if (m) {
      // The main frame's five choices; point and blank also by name, as shells eat a blank.
      const auto is = [&v](const char* name) {
        return v.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
      };
      if (v == QLatin1String(";") || v == QLatin1String(",") || v == QLatin1String(".") ||
          v == QLatin1String(" ")) {
        out.column = v.at(0).toLatin1();
      } else if (is("tab") || v == QLatin1String("\t")) {
        out.column = '\t';
      } else if (is("point") || is("dot")) {
        out.column = '.';
      } else if (is("blank") || is("space")) {
        out.column = ' ';
      } else {
        error = QStringLiteral("--separator needs ; , . tab or blank, not \"%1\"").arg(v);
        return kExitBadUsage;
      }
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--size"), v, m)) {
      error = QStringLiteral("--size needs WIDTHxHEIGHT");
      return kExitBadUsage;
    }
    if (m) {
      if (!parseSize(v, out.size)) {
        error = QStringLiteral("--size needs WIDTHxHEIGHT, each 1 to %1, not \"%2\"")
                    .arg(kRenderMaxEdge)
                    .arg(v);
        return kExitBadUsage;
      }
      sizeGiven = true;
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--serial"), v, m)) {
      error = QStringLiteral("--serial needs the device's serial number");
      return kExitBadUsage;
    }
    if (m) {
      // It goes into table cells: nothing that could split or break them.
      static const QRegularExpression kSerial(QStringLiteral("^[A-Za-z0-9_-]{1,49}$"));
      if (!kSerial.match(v).hasMatch()) {
        error = QStringLiteral("--serial needs 1 to 49 letters, digits, - or _, not \"%1\"")
                    .arg(v);
        return kExitBadUsage;
      }
      out.serial = v;
      continue;
    }
    if (!takeValue(args, i, QStringLiteral("--data-root"), v, m) || (m && v.isEmpty())) {
      error = QStringLiteral("--data-root needs a folder");
      return kExitBadUsage;
    }
    if (m) {
      out.dataRoot = fs::path(v.toStdString());
      continue;
    }
    if (a.startsWith(QLatin1String("--"))) {
      error = QStringLiteral("%1 cannot be used with --convert or --render").arg(a);
      return kExitBadUsage;
    }
    positional.push_back(a);
  }
  if (out.action == HeadlessRequest::Action::None) {
    error = QStringLiteral("--convert or --render is missing");
    return kExitBadUsage;
  }
  const bool render = out.action == HeadlessRequest::Action::Render;
  if (positional.size() > 1) {
    error = QStringLiteral("unexpected argument \"%1\"").arg(positional[1]);
    return kExitBadUsage;
  }
  if (!positional.empty()) out.target = fs::path(positional[0].toStdString());
  out.targetNamed = !positional.empty();
  if (render) {
    if (formatWord) {
      error = QStringLiteral("--format belongs to --convert");
      return kExitBadUsage;
    }
    if (out.target.empty()) {
      error = QStringLiteral("--render needs an output file OUT.png or OUT.pdf");
      return kExitBadUsage;
    }
    if (pictureFormatOf(out.target) == PictureFormat::Unknown) {
      error = QStringLiteral("%1: the output must end in .png or .pdf").arg(quoted(out.target));
      return kExitBadUsage;
    }
    if (out.decimal) {
      error = QStringLiteral("--decimal belongs to --convert");
      return kExitBadUsage;
    }
  } else {
    if (sizeGiven) {
      error = QStringLiteral("--size belongs to --render");
      return kExitBadUsage;
    }
    if (formatWord && exportForm) {
      error = QStringLiteral("name the format once: with --export or with --format");
      return kExitBadUsage;
    }
    // The format: named, else the target's ending, else the window's CSV.
    const bool console = out.target == "-";
    if (formatWord) {
      formatOfWord(*formatWord, out.format);
    } else if (console && !exportForm) {
      out.format = ExportFormat::PlainCsv;  // the one table standard output takes
    } else if (!exportForm && !out.target.empty() && !console &&
               !formatOfTarget(out.target, out.format)) {
      error = QStringLiteral("%1: the output must end in .CSV, .vcd or .sr, or --format must "
                             "name its format")
                  .arg(quoted(out.target));
      return kExitBadUsage;
    }
    if (out.format) {
      // The open formats have fixed separators.
      if (out.decimal || out.column) {
        error = QStringLiteral("--decimal and --separator belong to the window's CSV");
        return kExitBadUsage;
      }
      if (out.target.empty()) out.target = exportTargetFor(out.source, *out.format);
      if (console && *out.format == ExportFormat::Sr) {
        error = QStringLiteral("a sigrok session is a zip archive: give a file, not -");
        return kExitBadUsage;
      }
      if (console) return kExitOk;
    } else {
      if (console) {
        error = QStringLiteral("standard output (-) takes --format plain or vcd, not csv");
        return kExitBadUsage;
      }
      if (out.target.empty()) {
        if (QString::fromStdString(out.source.extension().string()).toUpper() == ".CSV") {
          error = QStringLiteral("%1 is a CSV file already").arg(quoted(out.source));
          return kExitBadUsage;
        }
        out.target = out.source;
        out.target.replace_extension(".CSV");
      }
    }
  }
  // A name without a folder is one in the current folder.
  std::error_code ec;
  if (const fs::path abs = fs::absolute(out.target, ec); !ec) out.target = abs;
  if (samePath(out.source, out.target) ||
      (!render && samePath(textHeaderName(out.source), out.target))) {
    error = QStringLiteral("%1: the output would replace the input").arg(quoted(out.target));
    return kExitBadUsage;
  }
  return kExitOk;
}

CsvStyle headlessCsvStyle(const HeadlessRequest& r) {
  // Without saved settings, the separators and language a first start of the window takes.
  GlobalSettings g = firstStartSettings(regional(), FirstStartUse::Script);
  std::error_code ec;
  const fs::path file = multiFolder() / kGlobalSettingsFileName;
  if (fs::exists(file, ec)) readGlobalSettingsFile(file, g);  // a damaged file keeps the defaults
  loadTexts(g.language);
  CsvStyle s;
  s.decimal = r.decimal.value_or(g.decimal.toLatin1());
  s.column = r.column.value_or(g.column.toLatin1());
  return s;
}

namespace {

// A file written while its run went, cut by the program or the device gone meanwhile: a
// logger stream without the end marker of its run, a voltmeter file inside its last reading.
QString cutStreamNote(const fs::path& file) {
  SettingsRecord h;
  LoggerStreamShape shape;
  if (readTextHeader(file, h) != 0) return {};
  const std::optional<IntermediateFamily> f = familyOfMode(h.mode);
  if (f == IntermediateFamily::VMXY) {
    const StoredContent c = checkStoredContent(*f, file, h);
    return c.problem == StoredContent::Problem::CutReading ? c.text(1) : QString();
  }
  if (f != IntermediateFamily::DLA0 && f != IntermediateFamily::DLDI) return {};
  if (streamFileShape(file, shape) != 0 || shape.end.marker || shape.samples == 0) return {};
  return QStringLiteral("the stream ends without the end marker of its run (cut short); its %1 "
                        "whole samples are kept")
      .arg(shape.samples);
}

// The voltmeter chart's table is written row by row while its run goes: one cut inside its
// last row keeps the whole rows before it.
QString cutTableNote(const fs::path& file) {
  StoredText text;
  if (text.open(file) != 0 || text.view().empty() || text.view().back() == '\n') return {};
  const std::string_view bytes = text.view();
  const char column = storedCsvColumn(firstLineOf(bytes), 0);
  StoredChartCsv t;
  if (column == 0 || storedCsvKind(bytes, column) != StoredCsvKind::VoltmeterChart ||
      readChartCsv(bytes, column, t) != 0 || !t.cut)
    return {};
  return QStringLiteral("the file ends inside its last row (cut short); its %1 whole readings "
                        "are kept")
      .arg(t.time.size());
}

}  // namespace

void noteConvertedFile(const HeadlessRequest& r, QString& message) {
  // Said, not refused: what the file holds is written whole.
  QStringList notes;
  if (const QString note = skippedReadingsNote(r.source); !note.isEmpty()) notes << note;
  const bool intermediate =
      QString::fromStdString(r.source.extension().string()).toUpper() == QLatin1String(".FIL");
  if (const QString cut = cutStreamNote(r.source); intermediate && !cut.isEmpty()) notes << cut;
  if (!intermediate)
    if (const QString cut = cutTableNote(r.source); !cut.isEmpty()) notes << cut;
  if (intermediate && r.serial.isEmpty() && serialOfIntermediateFile(r.source).isEmpty())
    notes << QStringLiteral("its folder names no device, so the serial is left empty "
                            "(--serial names it)");
  if (!notes.isEmpty()) message = fileProblem(r.source, notes.join(QStringLiteral("; ")));
}

bool madeOutputName(const HeadlessRequest& r) {
  return !r.targetNamed && r.target != "-";
}

QString movedOutputNote(const fs::path& made, const fs::path& written) {
  if (written == made) return {};
  return fileProblem(made, QStringLiteral("exists already and is kept; the output is %1")
                               .arg(quoted(written)));
}

int writeRequestOutput(const HeadlessRequest& r,
                       const std::function<int(const fs::path& file)>& write, QString& note) {
  note.clear();
  if (r.targetNamed) return writeNamedOutput(r.target, write);
  // A made name may be that of a file the user keeps: the window offers the same base name for
  // a record's CSV and its .VXD, and its CSV holds the trigger channel and thresholds a .VXD
  // cannot keep. It is checked where the output is committed, not before it is made: a second
  // conversion of the same source may take the name meanwhile.
  fs::path written;
  const int rc = writeMadeOutput(r.target, write, written);
  if (rc == 0) note = movedOutputNote(r.target, written);
  return rc;
}

void addNote(QString& message, const QString& line) {
  if (line.isEmpty()) return;
  if (!message.isEmpty()) message += QLatin1Char('\n');
  message += line;
}

int runConvert(const HeadlessRequest& r, QString& message) {
  message.clear();
  const CsvStyle style = headlessCsvStyle(r);
  if (style.decimal == style.column) {
    // Every number would split into two cells.
    message = QStringLiteral("the column separator \"%1\" is also the decimal separator")
                  .arg(QLatin1Char(style.column));
    return kExitBadUsage;
  }
  StoredKind kind = StoredKind::Unknown;
  QString serial;
  StoredProblem p = identifyStoredFile(r.source, style.column, kind, &serial, nullptr,
                                       probeMultiDataTable);
  if (!p.ok()) {
    message = fileProblem(r.source, p.reason);
    return p.exitCode;
  }
  if (serial.isEmpty()) serial = r.serial;
  std::optional<IntermediateFamily> family;
  if (kind == StoredKind::Voltmeter || kind == StoredKind::Scope || kind == StoredKind::Logic ||
      kind == StoredKind::AnalogLogger || kind == StoredKind::IoLogger) {
    SettingsRecord h;
    std::optional<DayTime> t;
    if (const int rc = readTextHeader(r.source, h, &t); rc != 0) {
      message = fileProblem(r.source, readResultText(rc));
      return kExitBadInput;
    }
    if (!t) {
      message =
          fileProblem(r.source, QStringLiteral("its text header carries no measurement time"));
      return kExitBadInput;
    }
    if (!(family = familyOfMode(h.mode))) {
      message = fileProblem(r.source, readResultText(kUnknownMode));
      return kExitBadInput;
    }
  } else if (kind != StoredKind::ScopeVxd && kind != StoredKind::LogicVxd) {
    message = fileProblem(r.source, QStringLiteral("is a table already; only .FIL and .VXD "
                                                   "files are converted"));
    return kExitBadUsage;
  }
  const auto convertInto = [&](const fs::path& csv) {
    if (family) return convertIntermediateFile(*family, r.source, csv, serial, style);
    return kind == StoredKind::ScopeVxd ? convertScopeVxdFile(r.source, csv, style)
                                        : convertLogicVxdFile(r.source, csv, style);
  };
  QString moved;
  const fs::path& target = r.target;
  // A pipe or device named as DST is written into: a record's table once it is made whole, a
  // logger stream's as it is read.
  const int rc = writeRequestOutput(r, convertInto, moved);
  if (rc == 0) {
    noteConvertedFile(r, message);
    addNote(message, moved);
    return kExitOk;
  }
  // Readers were checked above: what fails now is the output.
  if (rc > 0 || rc == -192 || rc == -194 || rc == -196) {
    message = fileProblem(target, QStringLiteral("cannot be written: ") + outputProblem(rc));
    return kExitBadInput;
  }
  message = fileProblem(r.source, readResultText(rc));
  return kExitBadInput;
}

void beginHeadlessProcess(const fs::path& dataRoot) {
  // A conversion has nothing to store on the way out: a signal ends it as it ends any command
  // line tool, and an existing output survives as outputs are written under another name first.
  ::signal(SIGTERM, SIG_DFL);
  ::signal(SIGINT, SIG_DFL);
  if (!dataRoot.empty()) setDataRoot(dataRoot);
  qInstallMessageHandler(quietToolkit);
}

int runHeadlessCommand(int argc, char** argv, HeadlessRenderStep render) {
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  HeadlessRequest req;
  QString error;
  if (parseHeadlessArguments(args, req, error) != kExitOk) {
    std::fprintf(stderr, "multi_tolvanex: %s\nTry \"multi_tolvanex --help\".\n", qPrintable(error));
    return kExitBadUsage;
  }
  beginHeadlessProcess(req.dataRoot);
  int rc = 0;
  QString message;
  if (req.action == HeadlessRequest::Action::Render) {
    if (render) {
      rc = render(req, argv, message);
    } else {
      message = QStringLiteral("this program does not draw stored files");
      rc = kExitBadUsage;
    }
  } else {
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    // The toolkit has set the C library's locale from the environment; numbers in files keep
    // their dot.
    std::setlocale(LC_NUMERIC, "C");
    if (req.format) {
      std::ios::sync_with_stdio(false);
      rc = runExport(req, std::cout, message);
      std::cout.flush();
    } else {
      rc = runConvert(req, message);
    }
  }
  if (!message.isEmpty()) std::fprintf(stderr, "multi_tolvanex: %s\n", qPrintable(message));
  return rc;
}

}  // namespace tolv
