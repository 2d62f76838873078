#include "measure/export_stored.h"

#include <QStringList>
#include <cerrno>
#include <cmath>
#include <optional>
#include <sstream>
#include <streambuf>

#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/texttable.h"
#include "common/textutil.h"
#include "measure/csvread.h"
#include "measure/export_sigrok.h"
#include "measure/export_vcd.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

StoredProblem badInput(const QString& reason) {
  return {kExportBadInput, reason};
}

StoredProblem badUsage(const QString& reason) {
  return {kExportBadUsage, reason};
}

StoredProblem noSampleTime() {
  return badInput(QStringLiteral("the table names no sample time"));
}

StoredProblem noMeasurementTime() {
  return badInput(QStringLiteral("its text header carries no measurement time"));
}

StoredProblem cannotWrite(const fs::path& target, int rc) {
  return badInput(QStringLiteral("%1 cannot be written: %2")
                      .arg(QString::fromStdString(target.string()),
                           measureResultText(rc, 1, ResultContext::Writing)));
}

// The prologue every table reader shares: the table's own separator, the read, the fault text.
template <typename Table>
StoredProblem readTable(std::string_view bytes, char preferred,
                        int (*read)(std::string_view, char, Table&, CsvFault*), const char* row,
                        Table& out) {
  CsvFault fault;
  const char column = storedCsvColumn(firstLineOf(bytes), preferred);
  if (const int rc = read(bytes, column, out, &fault); rc != 0)
    return badInput(csvFaultText(rc, fault, row));
  return {};
}

// A stream over a crash-safe file: what is written goes to its temporary file.
class AtomicBuf : public std::streambuf {
 public:
  explicit AtomicBuf(TAtomicFile& f) : f_(f) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    return put(std::string_view(&ch, 1)) ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    return put(std::string_view(s, std::size_t(n))) ? n : 0;
  }

 public:
  int error() const { return error_; }

 private:
  bool put(std::string_view bytes) {
    if (error_ == 0) error_ = f_.write(bytes);
    return error_ == 0;
  }
  TAtomicFile& f_;
  int error_ = 0;
};

bool isConsole(const fs::path& target) {
  return target == "-";
}

// A failed console, in the words of the system's number read right after the failing call.
StoredProblem consoleFailed(int e) {
  return badInput(QStringLiteral("standard output cannot be written: %1")
                      .arg(e > 0 && e != 5 ? measureResultText(e, 1, ResultContext::Writing)
                                           : QStringLiteral("an input/output error")));
}

// How a writer's output goes out. `named`: a target the user named for a command, a pipe or
// device there is written into (writeNamedOutput). `streamed`: the input is a stream file of
// any length, read piece by piece and written as it is read; a fault found on the way leaves
// the rows before it in a console or pipe. Any other output is made whole in memory before a
// byte of it goes to a console or pipe, which cannot take a part back.
struct OutputUse {
  bool named = false;
  bool streamed = false;
};

// Runs a writer on the target: a crash-safe file committed only when the writer succeeded, the
// console, or a named pipe or device. A failure is the output's when the output stream failed,
// else the input's (an input file the writer could not open is the input's too).
StoredProblem writeTarget(const fs::path& target, std::ostream* console,
                          const std::function<int(std::ostream&)>& write, OutputUse use) {
  const auto produce = [&](std::ostream& out, bool hold) {
    if (!hold) return write(out);
    std::ostringstream whole;
    if (const int rc = write(whole); rc != 0) return rc;
    const std::string text = std::move(whole).str();
    out.write(text.data(), std::streamsize(text.size()));
    return 0;
  };
  if (isConsole(target)) {
    if (!console) return badUsage(QStringLiteral("no standard output to write to"));
    errno = 0;
    const int rc = produce(*console, !use.streamed);
    console->flush();
    // The system's number is still the one of the write that failed.
    if (!*console) return consoleFailed(errno);
    return rc == 0 ? StoredProblem{} : badInput(readResultText(rc));
  }
  int rc = checkTargetName(target);
  if (rc == 0) rc = makeFolders(target.parent_path() / "x.x");
  if (rc != 0) return cannotWrite(target, rc);
  StoredProblem input;
  const auto toFile = [&](const fs::path& file) {
    TAtomicFile f(file);
    if (f.status() != 0) return f.status();
    AtomicBuf buf(f);
    std::ostream out(&buf);
    const int w = produce(out, f.streaming() && !use.streamed);
    // Without commit the temporary file goes and an old target stays whole.
    if (buf.error() != 0) return buf.error();
    if (!out) return 5;
    if (w != 0) {
      input = badInput(readResultText(w));
      return w;
    }
    return f.commit();
  };
  rc = use.named ? writeNamedOutput(target, toFile) : toFile(target);
  if (!input.ok()) return input;
  return rc == 0 ? StoredProblem{} : cannotWrite(target, rc);
}

StoredProblem writeSession(const fs::path& target, int built, const SrSession& s) {
  // A record the format cannot hold is refused as any such pair of record and format is: wrong
  // usage, as a scope record asked for as a value change dump.
  if (built == kSrRateNotWhole || built == kSrTimesDisagree) return badUsage(srResultText(built));
  if (built != 0) return badInput(built == kSrEmpty ? srResultText(built) : readResultText(built));
  if (isConsole(target))
    return badUsage(QStringLiteral("a sigrok session is a zip archive: give a file, not -"));
  const int rc = writeSrSession(target, s);
  if (rc == kSrNotAFile) return badUsage(srResultText(rc));
  if (rc == kSrEmpty || rc == kSrNoZipLibrary) return badInput(srResultText(rc));
  return rc == 0 ? StoredProblem{} : cannotWrite(target, rc);
}

// `session`: whether the record also goes to a sigrok session (a voltmeter series has no
// sample rate).
StoredProblem noVcd(const char* what, bool session = true) {
  return badUsage(QStringLiteral("a value change dump holds logic lines; %1 goes to %2")
                      .arg(QLatin1String(what),
                           session ? QStringLiteral("sr or csv") : QStringLiteral("csv")));
}

// A record of samples in memory: scope pairs, or logic words.
struct Loaded {
  PlainCsvHead head;
  std::vector<ScopeSample> scope;
  std::vector<double> ch0, ch1;  // tables read back keep their values as doubles
  std::vector<std::uint16_t> words;
  std::vector<VoltmeterReading> readings;
  enum class What { Scope, ScopeDoubles, Logic, Voltmeter } what = What::Scope;
};

StoredProblem exportLoaded(ExportFormat format, const Loaded& l, const fs::path& target,
                           std::ostream* console, bool named = false) {
  using W = Loaded::What;
  if (format == ExportFormat::Vcd) {
    if (l.what == W::Voltmeter) return noVcd("a voltmeter series", false);
    if (l.what != W::Logic)
      return noVcd(l.head.mode == kModeDLA0 ? "an analog-logger record" : "a scope record");
    return writeTarget(
        target, console, [&](std::ostream& o) { return writeVcd(o, l.head, l.words); },
        {named, false});
  }
  if (format == ExportFormat::Sr) {
    SrSession s;
    int rc = 0;
    switch (l.what) {
      case W::Scope:
        rc = srOfScope(l.head, l.scope, s);
        break;
      case W::ScopeDoubles:
        rc = srOfScope(l.head, l.ch0, l.ch1, s);
        break;
      case W::Logic:
        rc = srOfLogic(l.head, l.words, s);
        break;
      case W::Voltmeter:
        return badUsage(QStringLiteral(
            "a voltmeter series has no regular sample rate for a sigrok session; it goes to csv"));
    }
    return writeSession(target, rc, s);
  }
  return writeTarget(target, console, [&](std::ostream& o) {
    switch (l.what) {
      case W::Scope:
        return writePlainScope(o, l.head, l.scope);
      case W::ScopeDoubles:
        return writePlainScope(o, l.head, l.ch0, l.ch1);
      case W::Logic:
        return writePlainLogic(o, l.head, l.words);
      case W::Voltmeter:
        return writePlainVoltmeter(o, l.head, l.readings);
    }
    return 0;
  }, {named, false});
}

StoredProblem exportLogger(ExportFormat format, const fs::path& source, bool analog,
                           const QString& serial, const fs::path& target, std::ostream* console,
                           bool named) {
  if (format == ExportFormat::Sr) {
    SrSession s;
    const int rc = srOfLoggerFile(source, s);
    return writeSession(target, rc, s);
  }
  if (format == ExportFormat::Vcd && analog) return noVcd("an analog-logger stream");
  return writeTarget(target, console, [&](std::ostream& o) {
    return format == ExportFormat::Vcd ? writeVcdLoggerFile(o, source, serial)
                                       : writePlainLoggerFile(o, source, serial);
  }, {named, true});
}

// The table itself names no mode: the automatic name does ("075643_763_VMD0.CSV"), else its
// unit tells direct from RMS values.
ModeCode chartMode(const fs::path& source, const std::string& unit) {
  const QString stem = QString::fromStdString(source.stem().string()).toUpper();
  if (stem.size() >= 4)
    if (const ModeCode m = fourCharToCode(stem.right(4)); isVoltmeterMode(m)) return m;
  return unit == "V RMS" ? kModeVMA0 : kModeVMD0;
}

// The record of an intermediate file with its header.
StoredProblem loadIntermediate(StoredKind kind, const fs::path& source, const QString& serial,
                               Loaded& l) {
  StoredRecord rec;
  int rc = readStoredHeader(source, rec);
  if (rc != 0) return badInput(readResultText(rc));
  if (!rec.time) return noMeasurementTime();
  if (kind != StoredKind::Scope && kind != StoredKind::Logic && kind != StoredKind::Voltmeter)
    return badInput(QStringLiteral("unknown kind of file"));
  const RecordInfo info{serial, rec.header, *rec.time};
  if (kind == StoredKind::Logic) {
    // Only the words are exported: they are taken straight from the file, without the list.
    std::int64_t last = 0;
    rc = readLogicIntermediateEntries(
        source, [&l](std::size_t n) { l.words.reserve(n); },
        [&](std::span<const TLogAnalEntry> piece) {
          const std::size_t at = l.words.size();
          l.words.resize(at + piece.size());
          for (std::size_t k = 0; k < piece.size(); ++k) l.words[at + k] = piece[k].word;
          last = piece.back().sampleNumber;
        });
    if (rc != 0) return badInput(readResultText(rc));
    // The zero entry written after the last sample is no sample.
    if (!l.words.empty() && last == -1) l.words.pop_back();
    l.head = plainHeadOf(info, std::int64_t(l.words.size()));
    l.what = Loaded::What::Logic;
    return {};
  }
  if ((rc = readStoredSamples(source, kind, rec)) != 0) return badInput(readResultText(rc));
  switch (kind) {
    case StoredKind::Scope: {
      const int n = rec.scopeSamples;
      l.scope = std::move(rec.scope);
      l.scope.resize(std::size_t(std::max(n, 0)));  // the entry after the last sample goes
      l.head = plainHeadOf(info, n);
      l.what = Loaded::What::Scope;
      return {};
    }
    default:
      l.readings = std::move(rec.readings);
      l.head = plainHeadOf(info, std::int64_t(l.readings.size()));
      l.what = Loaded::What::Voltmeter;
      return {};
  }
}

}  // namespace

bool exportFormatOf(const QString& word, ExportFormat& out) {
  const QString w = word.toLower();
  if (w == QLatin1String("vcd")) out = ExportFormat::Vcd;
  else if (w == QLatin1String("sr")) out = ExportFormat::Sr;
  else if (w == QLatin1String("csv")) out = ExportFormat::PlainCsv;
  else return false;
  return true;
}

const char* exportEnding(ExportFormat f) {
  switch (f) {
    case ExportFormat::Vcd:
      return ".vcd";
    case ExportFormat::Sr:
      return ".sr";
    case ExportFormat::PlainCsv:
      return "_plain.csv";
  }
  return "";
}

fs::path exportTargetFor(const fs::path& source, ExportFormat f) {
  fs::path t = source;
  t.replace_extension();
  t += exportEnding(f);
  return t;
}

std::vector<ExportFormat> exportFormatsOf(StoredKind kind) {
  using F = ExportFormat;
  switch (kind) {
    case StoredKind::Logic:
    case StoredKind::LogicVxd:
    case StoredKind::LogicCsv:
    case StoredKind::IoLogger:
    case StoredKind::IoLoggerCsv:
      return {F::Sr, F::Vcd, F::PlainCsv};
    case StoredKind::Scope:
    case StoredKind::ScopeVxd:
    case StoredKind::ScopeCsv:
    case StoredKind::AnalogLogger:
    case StoredKind::AnalogLoggerCsv:
    case StoredKind::MultiCsv:
      return {F::Sr, F::PlainCsv};
    case StoredKind::Voltmeter:
    case StoredKind::VoltmeterCsv:
      return {F::PlainCsv};
    case StoredKind::Unknown:
      break;
  }
  return {};
}

QString exportDialogFilter(const std::vector<ExportFormat>& formats) {
  QStringList parts;
  for (const ExportFormat f : formats) {
    switch (f) {
      case ExportFormat::Sr:
        parts << text(kTextSigrokSession) + QStringLiteral(" (*.sr)");
        break;
      case ExportFormat::Vcd:
        parts << text(kTextValueChangeDump) + QStringLiteral(" (*.vcd)");
        break;
      case ExportFormat::PlainCsv:
        parts << text(kTextPlainCsv) + QStringLiteral(" (*.csv)");
        break;
    }
  }
  return parts.join(QStringLiteral(";;"));
}

const char* exportDialogEnding(ExportFormat f) {
  switch (f) {
    case ExportFormat::Sr:
      return ".sr";
    case ExportFormat::Vcd:
      return ".vcd";
    case ExportFormat::PlainCsv:
      break;
  }
  return ".csv";
}

StoredExportOffer storedExportOffer(const fs::path& source, const StoredExportHooks& hooks) {
  StoredExportOffer o;
  // A file of an ending no stored file has is told in the window's language; the reader's
  // reasons for the others (missing, damaged, a table of another program) stay as they are.
  const QString ending = QString::fromStdString(source.extension().string()).toUpper();
  std::error_code ec;
  if (fs::is_regular_file(source, ec) && ending != QLatin1String(".FIL") &&
      ending != QLatin1String(".VXD") && ending != QLatin1String(".CSV")) {
    o.problem = badInput(tolv::text(kTextUnknownFileKind));
    return o;
  }
  StoredKind kind = StoredKind::Unknown;
  StoredText text;
  o.problem = identifyStoredFile(source, hooks.csvColumn, kind, nullptr, &text, hooks.probe);
  if (!o.problem.ok()) return o;
  o.formats = exportFormatsOf(kind);
  if (o.formats.empty()) {
    o.problem = badInput(tolv::text(kTextUnknownFileKind));
    return o;
  }
  // A merged record goes to one session only when its devices share one sample grid.
  if (kind == StoredKind::MultiCsv && hooks.merged) {
    const std::string_view bytes = text.view();
    PlainCsvHead head;
    std::vector<PlainDeviceSeries> devices;
    SrSession session;
    if (hooks.merged(bytes, hooks.csvColumn, head, devices) == 0 &&
        srOfMerged(devices, session) == kSrTimesDisagree)
      o.formats = {ExportFormat::PlainCsv};
  }
  o.filter = exportDialogFilter(o.formats);
  o.proposed = exportTargetFor(source, o.formats.front());
  return o;
}

ExportFormat exportFormatOfTarget(fs::path& target, const StoredExportOffer& offer) {
  ExportFormat f = offer.formats.empty() ? ExportFormat::PlainCsv : offer.formats.front();
  if (!exportFormatOf(QString::fromStdString(target.extension().string()).mid(1), f))
    target += exportDialogEnding(f);
  return f;
}

StoredProblem exportStoredFile(ExportFormat format, const fs::path& source, const fs::path& target,
                               std::ostream* console, const StoredExportHooks& hooks) {
  StoredKind kind = StoredKind::Unknown;
  QString serial;
  StoredText text;
  StoredProblem p = identifyStoredFile(source, hooks.csvColumn, kind, &serial, &text, hooks.probe);
  if (!p.ok()) return p;
  if (serial.isEmpty()) serial = hooks.serial;
  Loaded l;
  switch (kind) {
    case StoredKind::AnalogLogger:
    case StoredKind::IoLogger: {
      // Its times count from the header's measurement time: without one there is no record,
      // whatever samples the stream holds.
      StoredRecord rec;
      if (const int rc = readStoredHeader(source, rec); rc != 0) return badInput(readResultText(rc));
      if (!rec.time) return noMeasurementTime();
      return exportLogger(format, source, kind == StoredKind::AnalogLogger, serial, target,
                          console, hooks.namedOutput);
    }
    case StoredKind::Scope:
    case StoredKind::Logic:
    case StoredKind::Voltmeter:
      p = loadIntermediate(kind, source, serial, l);
      if (!p.ok()) return p;
      break;
    case StoredKind::ScopeVxd: {
      VxdHeader h;
      if (const int rc = readScopeVxd(source, h, l.scope); rc != 0)
        return badInput(readResultText(rc));
      l.head = plainHeadOfVxd(h, kModeOSA0);
      l.head.samples = std::int64_t(l.scope.size());
      l.what = Loaded::What::Scope;
      break;
    }
    case StoredKind::LogicVxd: {
      VxdHeader h;
      if (const int rc = readLogicVxd(source, h, l.words); rc != 0)
        return badInput(readResultText(rc));
      l.head = plainHeadOfVxd(h, kModeLAIO);
      l.head.samples = std::int64_t(l.words.size());
      l.what = Loaded::What::Logic;
      break;
    }
    case StoredKind::ScopeCsv:
    case StoredKind::AnalogLoggerCsv: {
      StoredScopeCsv t;
      if (p = readStoredTable(text.view(), hooks.csvColumn, t); !p.ok()) return p;
      // Rows without their sample time would all stand at time 0 (a table too short for its
      // parameter cells, or not ours).
      if (!(t.sampleTime > 0)) return noSampleTime();
      const bool scope = kind == StoredKind::ScopeCsv;
      l.head.serial = t.serial;
      l.head.mode = scope ? kModeOSA0 : kModeDLA0;
      l.head.time = t.time;
      l.head.sampleTime = t.sampleTime;
      l.head.samples = std::int64_t(t.ch0.size());
      // A logger run has no trigger point: its time counts from its start.
      if (scope) {
        l.head.trgTypString = t.trgTypString;
        // The table's own whole trigger sample; its pretrigger time has five decimals only.
        if (t.triggerSample)
          l.head.triggerSample = double(*t.triggerSample);
        else if (t.pretrigger != 0 && t.sampleTime > 0)
          l.head.triggerSample = triggerSampleOfPretrigger(t.pretrigger, t.sampleTime);
      }
      l.ch0 = std::move(t.ch0);
      l.ch1 = std::move(t.ch1);
      l.what = Loaded::What::ScopeDoubles;
      break;
    }
    case StoredKind::VoltmeterCsv: {
      StoredChartCsv t;
      if (p = readStoredTable(text.view(), hooks.csvColumn, t); !p.ok()) return p;
      if (!t.start)
        return badInput(QStringLiteral("its Date and Time cells give no start time"));
      l.readings = chartReadings(t, *t.start);
      l.head.serial = t.serial;
      l.head.mode = chartMode(source, t.unit);
      l.head.time = t.start;
      l.head.samples = std::int64_t(l.readings.size());
      l.what = Loaded::What::Voltmeter;
      break;
    }
    case StoredKind::LogicCsv:
    case StoredKind::IoLoggerCsv: {
      StoredLogicCsv t;
      if (p = readStoredTable(text.view(), hooks.csvColumn, t); !p.ok()) return p;
      if (!(t.step > 0)) return noSampleTime();
      l.head.serial = t.serial;
      l.head.mode = t.ioLogger ? kModeDLDI : kModeLAIO;
      l.head.time = t.time;
      l.head.sampleTime = t.step;
      l.head.samples = std::int64_t(t.words.size());
      l.head.trgTypString = t.trgTypString;
      if (!t.ioLogger && usesTriggerPoint(kModeLAIO, t.trgTypString)) {
        l.head.triggerPoint = double(t.triggerPoint);
        if (t.triggerSample)
          l.head.triggerSample = double(*t.triggerSample);
        else if (t.memoryDepth > 0)
          l.head.triggerSample = std::nearbyint(double(t.triggerPoint) * 0.01 * double(t.memoryDepth));
      }
      if (!t.ioLogger) l.head.pattern = t.pattern;
      l.words = std::move(t.words);
      l.what = Loaded::What::Logic;
      break;
    }
    case StoredKind::MultiCsv: {
      if (!hooks.merged) return badInput(QStringLiteral("multi-device data files are not read here"));
      const std::string_view bytes = text.view();
      PlainCsvHead head;
      std::vector<PlainDeviceSeries> devices;
      // The merged reader finds the file's own separator: its first line of names and blank
      // cells would pass for a table of blanks.
      if (const int rc = hooks.merged(bytes, hooks.csvColumn, head, devices); rc != 0)
        return badInput(readResultText(rc));
      return exportMerged(format, head, devices, target, console, hooks.namedOutput);
    }
    case StoredKind::Unknown:
      return badInput(QStringLiteral("unknown kind of file"));
  }
  return exportLoaded(format, l, target, console, hooks.namedOutput);
}

StoredProblem readStoredTable(std::string_view bytes, char preferred, StoredScopeCsv& out) {
  return readTable(bytes, preferred, readScopeCsv, "scope", out);
}

StoredProblem readStoredTable(std::string_view bytes, char preferred, StoredLogicCsv& out) {
  return readTable(bytes, preferred, readLogicCsv, "timing", out);
}

StoredProblem readStoredTable(std::string_view bytes, char preferred, StoredChartCsv& out) {
  return readTable(bytes, preferred, readChartCsv, "chart", out);
}

StoredProblem exportMerged(ExportFormat format, const PlainCsvHead& head,
                           const std::vector<PlainDeviceSeries>& devices, const fs::path& target,
                           std::ostream* console, bool namedOutput) {
  if (devices.empty()) return badInput(readResultText(kEmptySampleList));
  if (format == ExportFormat::Vcd) return noVcd("a merged multi-device record");
  if (format == ExportFormat::Sr) {
    SrSession s;
    QString why;
    const int rc = srOfMerged(devices, s, &why);
    if (rc == kSrTimesDisagree)
      return badUsage(QStringLiteral("the devices cannot share one sigrok session: ") + why);
    return writeSession(target, rc, s);
  }
  return writeTarget(
      target, console, [&](std::ostream& o) { return writePlainMerged(o, head, devices); },
      {namedOutput, false});
}

StoredProblem exportMeasuredRecord(ExportFormat format, const TMeasureData& data,
                                   const QString& serial, const SettingsRecord& settings,
                                   const fs::path& streamFile, const fs::path& target,
                                   std::ostream* console) {
  const ModeCode mode = settings.mode;
  // Loggers write through to their stream file: that file is the record.
  if (isLoggerMode(mode) && !streamFile.empty())
    return exportStoredFile(format, streamFile, target, console);
  if (mode == kModeDLA0) return badInput(readResultText(kEmptySampleList));
  Loaded l;
  if (mode == kModeOSA0 || mode == kModeLAIO || mode == kModeDLDI) {
    // The header's settings and time are those of the last record taken; a sheet still showing
    // an earlier record of another mode would be written with them (wrong rate, wrong time).
    if (data.recordSettings().mode != mode)
      return badInput(QStringLiteral("the record on screen is not the last one measured; export "
                                     "its stored file instead"));
    const RecordInfo info{serial, data.recordSettings(), data.measurementTime()};
    if (mode == kModeOSA0) {
      l.scope.assign(data.scopeSamples(), data.scopeSamples() + std::max(0, data.sampleCount()));
      l.what = Loaded::What::Scope;
      l.head = plainHeadOf(info, std::int64_t(l.scope.size()));
    } else {
      const TLogAnalList& list = mode == kModeLAIO ? data.logicList() : data.ioLoggerList();
      // A run kept in its file may hold more words than memory: that file is the record.
      if (list.stream())
        return badInput(QStringLiteral("the run on screen is kept in its stored file; export "
                                       "that file instead"));
      std::int64_t n = list.count();
      while (n > 0 && list.at(n - 1).sampleNumber == -1) --n;  // fillers after the record
      l.words.reserve(std::size_t(n));
      for (std::int64_t k = 0; k < n; ++k) l.words.push_back(list.at(k).word);
      l.what = Loaded::What::Logic;
      l.head = plainHeadOf(info, std::int64_t(l.words.size()));
    }
    l.head.mode = mode;
  } else if (familyOfMode(mode) == IntermediateFamily::VMXY) {
    const auto& items = data.chartList().Items();
    l.readings.assign(items.begin(), items.end());
    l.what = Loaded::What::Voltmeter;
    const DayTime start = l.readings.empty() ? DayTime{} : l.readings.front().time;
    l.head = plainHeadOf({serial, settings, start}, std::int64_t(l.readings.size()));
  } else {
    return badInput(readResultText(kUnknownMode));
  }
  if (l.scope.empty() && l.words.empty() && l.readings.empty())
    return badInput(readResultText(kEmptySampleList));
  return exportLoaded(format, l, target, console);
}

}  // namespace tolv
