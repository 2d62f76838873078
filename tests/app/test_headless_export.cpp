// --export: every stored kind in the open formats, what a format cannot hold refused in words,
// and the built program's output read by the programs it is meant for.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QProcess>
#include <algorithm>
#include <sstream>

#include "app/headless_export.h"
#include "app/headless_fixture.h"
#include "common/texttable.h"
#include "measure/export_clients.h"
#include "multi/multifiles.h"

using namespace tolv;
using namespace tolv::testfiles;

namespace {

using testclients::tableLines;

class HeadlessExport : public HeadlessFiles {
 protected:
  int exportFile(const QStringList& args) {
    HeadlessRequest r;
    QString err;
    const int u = parseHeadlessArguments(args, r, err);
    if (u != 0) {
      message_ = err;
      return u;
    }
    console_.str({});
    return runExport(r, console_, message_);
  }
  static QString q(const fs::path& p) { return QString::fromStdString(p.string()); }
  static fs::path cut(const fs::path& p) { return fs::path(p).replace_filename("cut_" + p.filename().string()); }

  // Two devices of 300 points in one multi-device data file; the second starts `shift` later.
  fs::path multiFile(double shift = 0) {
    std::vector<fs::path> parts;
    for (int d = 0; d < 2; ++d) {
      DeviceFileHead h;
      h.serial = QStringLiteral("TX00000%1").arg(d + 1);
      h.time = time_;
      h.depth = 300;
      std::string text;
      appendDeviceFileHead(text, h, ';', '.');
      for (int i = 0; i < 300; ++i)
        appendDeviceFileLine(text, i * 1e-4 + d * shift, 0.5 * d + i * 0.001, -0.25, ';', '.');
      parts.push_back(dir_ / ("dev" + std::to_string(d) + ".CSV"));
      spit(parts.back(), text);
    }
    const fs::path f = dir_ / "multi.CSV";
    EXPECT_EQ(writeMultiDataFile(f, parts, ';'), 0);
    return f;
  }

  // The logic-analyser .VXD, scope .VXD and scope CSV table of the fixture's records.
  struct TableFiles {
    fs::path logicVxd, scopeVxd, scopeCsv;
  };
  TableFiles tableFiles() {
    TableFiles t{dir_ / "la.VXD", dir_ / "s.VXD", dir_ / "s.CSV"};
    EXPECT_EQ(writeLogicVxd(t.logicVxd, {QString::fromLatin1(kSerial), logicSettings(), time_},
                            logicList(200)),
              0);
    EXPECT_EQ(writeScopeVxd(t.scopeVxd, scopeInfo(), scopeSamples(1000)), 0);
    EXPECT_EQ(writeScopeCsv(t.scopeCsv, scopeInfo(), scopeSamples(1000), CsvStyle{'.', ';'}), 0);
    return t;
  }

  std::ostringstream console_;
  QString message_;
};

}  // namespace

TEST(ExportArguments, TargetsFormatsAndWrongUsage) {
  HeadlessRequest r;
  QString e;
  ASSERT_EQ(parseHeadlessArguments({"--export", "vcd", "d/x.FIL"}, r, e), 0) << qPrintable(e);
  EXPECT_EQ(r.format, ExportFormat::Vcd);
  EXPECT_EQ(r.target, fs::absolute("d/x.vcd"));
  ASSERT_EQ(parseHeadlessArguments({"--export", "SR", "x.VXD"}, r, e), 0);
  EXPECT_EQ(r.target, fs::absolute("x.sr"));
  // A table of the window's becomes a second table beside it, never itself.
  ASSERT_EQ(parseHeadlessArguments({"--export", "csv", "x.CSV"}, r, e), 0);
  EXPECT_EQ(r.format, ExportFormat::PlainCsv);
  EXPECT_EQ(r.target, fs::absolute("x_plain.csv"));
  ASSERT_EQ(parseHeadlessArguments({"--export=plain", "x.FIL", "-", "--data-root", "/r"}, r, e), 0);
  EXPECT_EQ(r.format, ExportFormat::PlainCsv);
  EXPECT_EQ(r.target, fs::path("-"));
  EXPECT_EQ(r.dataRoot, fs::path("/r"));
  for (const QStringList& bad : {QStringList{"--export", "pdf", "x.FIL"},
                                 QStringList{"--export", "sr", "x.FIL", "-"},
                                 QStringList{"--export", "vcd"},
                                 QStringList{"--export"},
                                 QStringList{"--export", "vcd", "x.FIL", "a", "b"},
                                 QStringList{"--export", "csv", "x.FIL", "x.FIL"},
                                 QStringList{"--export", "csv", "x.FIL", "x.VXT"},
                                 QStringList{"--export", "csv", "x.FIL", "--size", "3x3"},
                                 QStringList{"--export", "vcd", "x.FIL", "--format", "sr"},
                                 QStringList{"--export", "csv", "x.FIL", "--convert", "y.FIL"}}) {
    e.clear();
    EXPECT_EQ(parseHeadlessArguments(bad, r, e), 2) << qPrintable(bad.join(' '));
    EXPECT_FALSE(e.isEmpty());
  }
  EXPECT_TRUE(wantsHeadless({"--export", "csv", "a"}));
  EXPECT_TRUE(wantsHeadless({"--export=vcd", "a"}));
  EXPECT_FALSE(wantsHeadless({"--export", "csv", "a", "--help"}));
}

// --convert takes the format from the target's ending or from --format; .csv stays the
// window's table, and what cannot be told is refused rather than guessed.
TEST(ExportArguments, ConvertChoosesTheFormatByEndingOrByName) {
  HeadlessRequest r;
  QString e;
  const auto format = [&](const QStringList& args) {
    e.clear();
    EXPECT_EQ(parseHeadlessArguments(args, r, e), 0) << qPrintable(args.join(' ') + ": " + e);
    return r.format;
  };
  EXPECT_EQ(format({"--convert", "x.FIL", "y.vcd"}), ExportFormat::Vcd);
  EXPECT_EQ(format({"--convert", "x.FIL", "y.VCD"}), ExportFormat::Vcd);
  EXPECT_EQ(format({"--convert", "x.FIL", "y.sr"}), ExportFormat::Sr);
  EXPECT_EQ(format({"--convert", "x.FIL", "y.csv"}), std::nullopt);
  EXPECT_EQ(format({"--convert", "x.FIL", "y.CSV"}), std::nullopt);
  EXPECT_EQ(format({"--convert", "x.FIL"}), std::nullopt);
  EXPECT_EQ(r.target, fs::absolute("x.CSV"));
  // A named format wins over the ending and chooses the default target's.
  EXPECT_EQ(format({"--convert", "x.FIL", "y.csv", "--format", "plain"}), ExportFormat::PlainCsv);
  EXPECT_EQ(r.target, fs::absolute("y.csv"));
  EXPECT_EQ(format({"--convert", "x.FIL", "--format=PLAIN"}), ExportFormat::PlainCsv);
  EXPECT_EQ(r.target, fs::absolute("x_plain.csv"));
  EXPECT_EQ(format({"--format", "sr", "--convert", "x.FIL"}), ExportFormat::Sr);
  EXPECT_EQ(r.target, fs::absolute("x.sr"));
  EXPECT_EQ(format({"--convert", "x.FIL", "y.dump", "--format", "vcd"}), ExportFormat::Vcd);
  EXPECT_EQ(format({"--convert", "x.FIL", "y.txt", "--format", "csv"}), std::nullopt);
  EXPECT_EQ(format({"--convert", "x.CSV", "--format", "plain"}), ExportFormat::PlainCsv);
  EXPECT_EQ(format({"--convert", "x.FIL", "-", "--format", "vcd"}), ExportFormat::Vcd);
  EXPECT_EQ(r.target, fs::path("-"));
  EXPECT_EQ(format({"--convert", "x.FIL", "-"}), ExportFormat::PlainCsv);  // the default there
  for (const QStringList& bad : {
           QStringList{"--convert", "x.FIL", "y.txt"},     // ending names no format
           QStringList{"--convert", "x.FIL", "y"},         // no ending at all
           QStringList{"--convert", "x.FIL", "-", "--format", "csv"},  // the window's CSV is a file
           QStringList{"--convert", "x.FIL", "-", "--format", "sr"},  // a zip archive
           QStringList{"--convert", "x.FIL", "--format", "pdf"},
           QStringList{"--convert", "x.FIL", "--format"},
           QStringList{"--convert", "x.FIL", "--format", "sr", "--format", "vcd"},
           QStringList{"--convert", "x.FIL", "y.vcd", "--decimal", ","},  // fixed separators
           QStringList{"--convert", "x.FIL", "--format", "plain", "--separator", "tab"},
           QStringList{"--convert", "x.sr", "--format", "sr"},  // would replace itself
           QStringList{"--render", "x.FIL", "y.png", "--format", "sr"},
       }) {
    e.clear();
    EXPECT_EQ(parseHeadlessArguments(bad, r, e), 2) << qPrintable(bad.join(' '));
    EXPECT_FALSE(e.isEmpty()) << qPrintable(bad.join(' '));
  }
}

TEST_F(HeadlessExport, EveryStoredKindBecomesAPlainTable) {
  const auto [la, sv, sc] = tableFiles();
  struct Case {
    fs::path source;
    std::string header;
    std::size_t rows;
  };
  const std::string bits = "time_s,D0,D1,D2,D3,D4,D5,D6,D7,D8,D9,D10,D11,D12,D13,D14,D15";
  const std::vector<Case> cases = {
      {scopeFil(), "time_s,ch0_V,ch1_V", 1000},
      // The zero entry the window writes after the last sample is no sample.
      {logicFil(), bits, 200},
      {voltmeterFil(), "time_s,ch0_V,ch1_V", 20},
      // A run the device ended: every sample before its end marker, as the window's table.
      {loggerFil(IntermediateFamily::DLA0), "time_s,ch0_V,ch1_V", 300},
      {loggerFil(IntermediateFamily::DLDI), bits, 300},
      {la, bits, 200},
      {sv, "time_s,ch0_V,ch1_V", 1000},
      {sc, "time_s,ch0_V,ch1_V", 1000},
      {multiFile(), "time_s,TX000001_ch0_V,TX000001_ch1_V,TX000002_ch0_V,TX000002_ch1_V", 300},
      // The window's own logger and voltmeter chart tables.
      {analogLoggerCsv(), "time_s,ch0_V,ch1_V", 300},
      {chartCsv(), "time_s,ch0_V,ch1_V", 20}};
  for (const Case& c : cases) {
    const fs::path out = dir_ / (c.source.stem().string() + "_plain.csv");
    ASSERT_EQ(exportFile({"--export", "csv", q(c.source), q(out)}), 0)
        << c.source << qPrintable(message_);
    const auto rows = tableLines(slurp(out));
    ASSERT_EQ(rows.size(), c.rows + 1) << c.source;
    EXPECT_EQ(rows[0], c.header) << c.source;
  }
  // A merged record keeps each device's own moment.
  const std::string merged = slurp(dir_ / "multi_plain.csv");
  for (const std::string d : {"TX000001", "TX000002"})
    EXPECT_NE(merged.find("# measurement_time_" + d + ": 2026-03-14T09:26:53.589\n"),
              std::string::npos)
        << merged.substr(0, 600);
  // Its times in the decimal form of every time column ("0.0001", not "1e-04").
  EXPECT_EQ(tableLines(merged)[2].substr(0, 7), "0.0001,") << tableLines(merged)[2];
  // A logger table is a run from its start, not a scope record: the stream's 10 ms samples.
  const std::string logger = slurp(dir_ / "092653_589_DLA0_plain.csv");
  for (const char* line : {"# mode: DLA0 ", "# measurement_time: 2026-03-14T09:26:53.589\n",
                           "# sample_time_s: 0.01\n", "# time_origin: measurement_time\n"})
    EXPECT_NE(logger.find(line), std::string::npos) << line << logger.substr(0, 500);
  EXPECT_EQ(logger.find("trigger"), std::string::npos) << logger.substr(0, 500);
  EXPECT_EQ(tableLines(logger)[300].substr(0, 5), "2.99,");
  // The chart's readings at their times from the start its Date and Time cells name.
  const std::string chart = slurp(dir_ / "092653_589_VMD0_plain.csv");
  EXPECT_NE(chart.find("# mode: VMD0 "), std::string::npos) << chart.substr(0, 500);
  EXPECT_NE(chart.find("# measurement_time: 2026-03-14T09:26:53.589\n"), std::string::npos);
  EXPECT_EQ(tableLines(chart)[1], "0,1,-2");
  EXPECT_EQ(tableLines(chart)[20], "9.5,2.9,-2");
  // The mode is the one the table's name ends in, in any case; its unit only tells DC from RMS.
  fs::copy_file(dir_ / "092653_589_VMD0.CSV", dir_ / "092653_589_vma1.CSV");
  ASSERT_EQ(exportFile({"--export", "csv", q(dir_ / "092653_589_vma1.CSV"), "-"}), 0)
      << qPrintable(message_);
  EXPECT_NE(console_.str().find("# mode: VMA1 "), std::string::npos) << console_.str().substr(0, 300);
  // A chart of three readings, padded to its seven header rows, has three.
  ASSERT_EQ(exportFile({"--export", "csv", q(chartCsv(3)), "-"}), 0) << qPrintable(message_);
  EXPECT_EQ(tableLines(console_.str()).size(), 4u) << console_.str();
  // Logger tables too short for their sample-time cell are no record: their times would all
  // be 0 (and a one-row analog-logger table would pass for a scope's).
  const std::string logger1 = slurp(analogLoggerCsv());
  spit(dir_ / "short.CSV", logger1.substr(0, logger1.find("\r\n") + 2));
  EXPECT_EQ(exportFile({"--export", "csv", q(dir_ / "short.CSV"), "-"}), 1);
  EXPECT_TRUE(message_.endsWith(QStringLiteral("the table names no sample time")))
      << qPrintable(message_);
  // Cut inside its last row by a crash: its whole readings, and the cut said.
  const fs::path chartFile = chartCsv();
  const std::string chartBytes = slurp(chartFile);
  spit(chartFile, chartBytes.substr(0, chartBytes.size() - 5));
  ASSERT_EQ(exportFile({"--export", "csv", q(chartFile), "-"}), 0) << qPrintable(message_);
  EXPECT_EQ(tableLines(console_.str()).size(), 20u) << console_.str();
  EXPECT_TRUE(message_.endsWith(QStringLiteral("the file ends inside its last row (cut short); "
                                               "its 19 whole readings are kept")))
      << qPrintable(message_);
  // The scope table's trigger sample is whole, also where pretrigger time over sample time is
  // not exact in binary (0.0005 / 0.000001).
  SettingsRecord fast = scopeSettings(1000);
  fast.sampleTime = 1e-6;
  fast.triggerPoint = 50;
  ASSERT_EQ(writeScopeCsv(dir_ / "fast.CSV", {QString::fromLatin1(kSerial), fast, time_},
                          scopeSamples(1000), CsvStyle{'.', ';'}),
            0);
  ASSERT_EQ(exportFile({"--export", "csv", q(dir_ / "fast.CSV"), "-"}), 0) << qPrintable(message_);
  EXPECT_NE(console_.str().find("# trigger_sample: 500\n"), std::string::npos)
      << console_.str().substr(0, 600);
  // The scope's first row: trigger 10 % into 1000 samples of 10 us, float values as stored.
  ASSERT_EQ(exportFile({"--export", "csv", q(scopeFil()), "-"}), 0) << qPrintable(message_);
  const std::string text = console_.str();
  EXPECT_NE(text.find("# serial: TX123456\n"), std::string::npos);
  EXPECT_NE(text.find("# measurement_time: 2026-03-14T09:26:53.589\n"), std::string::npos);
  EXPECT_EQ(tableLines(text)[1], "-0.001,0,0.5");
  EXPECT_EQ(tableLines(text)[101].substr(0, 2), "0,");  // the trigger sample at time 0
}

TEST_F(HeadlessExport, WhatAFormatCannotHoldIsRefusedInWords) {
  EXPECT_EQ(exportFile({"--export", "vcd", q(scopeFil()), q(dir_ / "a.vcd")}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("sr or csv"))) << qPrintable(message_);
  EXPECT_EQ(exportFile({"--export", "vcd", q(loggerFil(IntermediateFamily::DLA0)),
                        q(dir_ / "b.vcd")}),
            2);
  EXPECT_EQ(exportFile({"--export", "sr", q(voltmeterFil()), q(dir_ / "c.sr")}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("no regular sample rate"))) << qPrintable(message_);
  // Devices whose samples do not lie on one grid cannot share a session.
  EXPECT_EQ(exportFile({"--export", "sr", q(multiFile(0.5e-4)), q(dir_ / "d.sr")}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("TX000002"))) << qPrintable(message_);
  // The window's tables of a logger run and a voltmeter chart are refused as their records are.
  EXPECT_EQ(exportFile({"--export", "vcd", q(analogLoggerCsv()), q(dir_ / "e.vcd")}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("an analog-logger record goes to sr or csv")))
      << qPrintable(message_);
  EXPECT_EQ(exportFile({"--export", "sr", q(chartCsv()), q(dir_ / "f.sr")}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("no regular sample rate"))) << qPrintable(message_);
  // The slowest sample time, 2.5 s, has no whole hertz: a pair of record and format, not damage.
  const fs::path slow = logicFil();
  SettingsRecord s = logicSettings();
  s.sampleTime = 2.5;
  header(slow, s);
  EXPECT_EQ(exportFile({"--export", "sr", q(slow), q(dir_ / "g.sr")}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("whole hertz"))) << qPrintable(message_);
  // A session is a zip archive: not into a pipe (which is left as it is, and not waited for).
  const fs::path pipe = dir_ / "h.sr";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(exportFile({"--export", "sr", q(scopeFil()), q(pipe)}), 2);
  EXPECT_TRUE(message_.contains(QStringLiteral("regular file"))) << qPrintable(message_);
  EXPECT_TRUE(fs::is_fifo(pipe));
  // The program's own plain CSV is written for other programs, not read back: said so, not
  // called a stranger's table.
  const fs::path plain = dir_ / "p.csv";
  ASSERT_EQ(exportFile({"--export", "plain", q(slow), q(plain)}), 0) << qPrintable(message_);
  EXPECT_EQ(exportFile({"--export", "vcd", q(plain), q(dir_ / "i.vcd")}), 2);
  EXPECT_TRUE(message_.endsWith(QStringLiteral("is this program's plain CSV, which it writes for "
                                               "other programs but does not read back; convert "
                                               "or draw the file it was made from")))
      << qPrintable(message_);
  for (const char* f : {"a.vcd", "b.vcd", "c.sr", "d.sr", "e.vcd", "f.sr", "g.sr", "i.vcd"})
    EXPECT_FALSE(fs::exists(dir_ / f)) << f;
}

// The formats offered for a kind of stored file (the windows' export dialogs) are exactly those
// its export writes: each offered one succeeds, each other is refused as wrong usage.
TEST_F(HeadlessExport, OfferedFormatsAreExactlyTheOnesAFileIsWrittenTo) {
  const auto [la, sv, sc] = tableFiles();
  const std::vector<std::pair<fs::path, StoredKind>> files = {
      {scopeFil(), StoredKind::Scope},
      {logicFil(), StoredKind::Logic},
      {voltmeterFil(), StoredKind::Voltmeter},
      {loggerFil(IntermediateFamily::DLA0), StoredKind::AnalogLogger},
      {loggerFil(IntermediateFamily::DLDI), StoredKind::IoLogger},
      {la, StoredKind::LogicVxd},
      {sv, StoredKind::ScopeVxd},
      {sc, StoredKind::ScopeCsv},
      {multiFile(), StoredKind::MultiCsv},
      {analogLoggerCsv(), StoredKind::AnalogLoggerCsv},
      {chartCsv(), StoredKind::VoltmeterCsv}};
  int n = 0;
  for (const auto& [file, want] : files) {
    StoredKind kind = StoredKind::Unknown;
    ASSERT_TRUE(identifyStoredFile(file, '\t', kind, nullptr, nullptr, probeMultiDataTable).ok())
        << file;
    ASSERT_EQ(kind, want) << file;
    const std::vector<ExportFormat> offered = exportFormatsOf(kind);
    ASSERT_FALSE(offered.empty()) << file;
    EXPECT_EQ(offered.back(), ExportFormat::PlainCsv) << file;  // every record makes a table
    for (const char* word : {"sr", "vcd", "plain"}) {
      ExportFormat f = ExportFormat::PlainCsv;
      exportFormatOf(QString::fromLatin1(word) == "plain" ? "csv" : word, f);
      const bool offers = std::find(offered.begin(), offered.end(), f) != offered.end();
      const fs::path out = dir_ / ("out" + std::to_string(++n) + exportDialogEnding(f));
      EXPECT_EQ(exportFile({"--export", word, q(file), q(out)}), offers ? 0 : 2)
          << file << ' ' << word << ": " << qPrintable(message_);
      EXPECT_EQ(fs::exists(out), offers) << file << ' ' << word;
    }
  }
  EXPECT_TRUE(exportFormatsOf(StoredKind::Unknown).empty());
  // The refusal names only what the series does go to.
  EXPECT_EQ(exportFile({"--export", "vcd", q(voltmeterFil()), q(dir_ / "v.vcd")}), 2);
  EXPECT_TRUE(message_.endsWith(QStringLiteral("a voltmeter series goes to csv")))
      << qPrintable(message_);
  // The dialogs' filters list the offered formats in their order.
  EXPECT_EQ(exportDialogFilter(exportFormatsOf(StoredKind::MultiCsv)),
            "sigrok session (*.sr);;Plain CSV (*.csv)");
  EXPECT_EQ(exportDialogFilter(exportFormatsOf(StoredKind::Logic)),
            "sigrok session (*.sr);;Value change dump (*.vcd);;Plain CSV (*.csv)");
  EXPECT_EQ(exportDialogFilter(exportFormatsOf(StoredKind::Voltmeter)), "Plain CSV (*.csv)");
}

// A dialog's offer for one file: a merged record off one sample grid is offered as a table
// only, a file no export knows is a problem before any target is asked for (in the window's
// language), and a typed name takes its format from its ending or gets the usual one's.
TEST_F(HeadlessExport, AnOfferProposesWhatTheFileCanBecome) {
  setLanguageIndex(kLanguageEnglish);
  StoredExportHooks hooks;
  hooks.csvColumn = ';';
  hooks.probe = probeMultiDataTable;
  hooks.merged = readMergedForExport;
  StoredExportOffer o = storedExportOffer(multiFile(), hooks);
  ASSERT_TRUE(o.problem.ok()) << qPrintable(o.problem.reason);
  EXPECT_EQ(o.formats, (std::vector<ExportFormat>{ExportFormat::Sr, ExportFormat::PlainCsv}));
  EXPECT_EQ(o.proposed, dir_ / "multi.sr");
  o = storedExportOffer(multiFile(0.5e-4), hooks);
  ASSERT_TRUE(o.problem.ok()) << qPrintable(o.problem.reason);
  EXPECT_EQ(o.formats, std::vector<ExportFormat>{ExportFormat::PlainCsv});
  EXPECT_EQ(o.filter, "Plain CSV (*.csv)");
  EXPECT_EQ(o.proposed, dir_ / "multi_plain.csv");
  o = storedExportOffer(logicFil(), hooks);
  ASSERT_EQ(o.formats.size(), 3u);
  fs::path named = dir_ / "wave";
  EXPECT_EQ(exportFormatOfTarget(named, o), ExportFormat::Sr);
  EXPECT_EQ(named, dir_ / "wave.sr");
  named = dir_ / "wave.VCD";
  EXPECT_EQ(exportFormatOfTarget(named, o), ExportFormat::Vcd);
  EXPECT_EQ(named, dir_ / "wave.VCD");
  spit(dir_ / "notes.csv", "shopping list\r\n");
  o = storedExportOffer(dir_ / "notes.csv", hooks);
  EXPECT_EQ(o.problem.exitCode, 1);
  EXPECT_TRUE(o.formats.empty());
  spit(dir_ / "notes.txt", "shopping list\r\n");
  o = storedExportOffer(dir_ / "notes.txt", hooks);
  EXPECT_EQ(o.problem.exitCode, 1);
  EXPECT_TRUE(o.formats.empty());
  EXPECT_EQ(o.problem.reason, "unknown kind of file");
  setLanguageIndex(kLanguageGerman);
  EXPECT_EQ(storedExportOffer(dir_ / "notes.txt", hooks).problem.reason,
            "unbekannte Art von Datei");
  EXPECT_EQ(exportDialogFilter(exportFormatsOf(StoredKind::Logic)),
            "sigrok-Sitzung (*.sr);;Wertwechsel-Datei (*.vcd);;Einfaches CSV (*.csv)");
  setLanguageIndex(kLanguageEnglish);
  o = storedExportOffer(dir_ / "missing.FIL", hooks);
  EXPECT_EQ(o.problem.exitCode, 1);
  EXPECT_TRUE(o.formats.empty());
}

// The window's logic-analyser table keeps the record's trigger: its sample and pattern go on
// into the dump, as from the record's own files; text in that table is no VCD keyword there.
TEST_F(HeadlessExport, ALogicTableCarriesItsTriggerPatternIntoTheDump) {
  const fs::path csv = dir_ / "la.CSV";
  const RecordInfo info{QString::fromLatin1(kSerial), logicSettings(), time_};
  ASSERT_EQ(writeLogicCsv(csv, info, logicCsvParams(info.settings), logicList(200), CsvStyle{'.', ';'}),
            0);
  const std::string want = "trigger at sample 50 (time #50), type P, pattern HXXXXXXe\n";
  for (const fs::path& source : {csv, logicFil()}) {
    ASSERT_EQ(exportFile({"--export", "vcd", q(source), "-"}), 0) << qPrintable(message_);
    EXPECT_NE(console_.str().find(want), std::string::npos) << source << console_.str().substr(0, 400);
  }
  // A table whose trigger cells say something else: no pattern of ours, and no "$end" that
  // would close the comment early.
  std::string text = slurp(csv);
  const auto swap = [&](const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  swap(";TX123456", ";TX$end1");
  swap("HXXXXXXe", "$end");
  spit(csv, text);
  ASSERT_EQ(exportFile({"--export", "vcd", q(csv), "-"}), 0) << qPrintable(message_);
  const std::string dump = console_.str();
  EXPECT_EQ(dump.find("pattern"), std::string::npos);
  EXPECT_NE(dump.find("trigger at sample 50 (time #50), type P\n$end\n"), std::string::npos)
      << dump.substr(0, 400);
  EXPECT_NE(dump.find("\tserial TX_end1, mode LAIO"), std::string::npos) << dump.substr(0, 400);
  if (!testclients::have("sigrok-cli")) return;
  const fs::path vcd = dir_ / "la.vcd";
  ASSERT_EQ(exportFile({"--export", "vcd", q(csv), q(vcd)}), 0) << qPrintable(message_);
  int status = -1;
  const auto bits = testclients::sigrokBits(
      testclients::run("sigrok-cli -i " + vcd.string() + " -I vcd -O bits:width=0", &status));
  EXPECT_EQ(status, 0);
  ASSERT_EQ(bits.count("D3"), 1u);
  EXPECT_EQ(bits.at("D3").size(), 200u);
}

TEST_F(HeadlessExport, BadInputNamesTheFileAndKeepsAnOldOutputWhole) {
  const fs::path fil = scopeFil();
  const fs::path out = dir_ / "keep.csv";
  spit(out, "old");
  // Cut inside its samples: the header names 1000.
  fs::resize_file(fil, 8 * 600);
  EXPECT_EQ(exportFile({"--export", "csv", q(fil), q(out)}), 1);
  EXPECT_TRUE(message_.startsWith(QLatin1Char('"') + q(fil) + QLatin1Char('"')))
      << qPrintable(message_);
  EXPECT_EQ(slurp(out), "old");
  // A record whose header lost its measurement time says so in every format it could go to,
  // as the window's CSV does.
  const fs::path untimed = loggerFil(IntermediateFamily::DLDI);
  SettingsRecord io;
  io.mode = kModeDLDI;
  io.sampleTime = 0.01;
  header(untimed, io, false);
  const fs::path scope = scopeFil(1000, 2), logic = logicFil(), volts = voltmeterFil();
  header(scope, scopeSettings(), false);
  header(logic, logicSettings(), false);
  SettingsRecord vm;
  ASSERT_EQ(readTextHeader(volts, vm), 0);
  header(volts, vm, false);
  for (const auto& [file, formats] :
       std::vector<std::pair<fs::path, std::vector<const char*>>>{{untimed, {"csv", "sr", "vcd"}},
                                                                  {scope, {"csv", "sr"}},
                                                                  {logic, {"csv", "sr", "vcd"}},
                                                                  {volts, {"csv"}}})
    for (const char* format : formats) {
      EXPECT_EQ(exportFile({"--export", format, q(file), q(out)}), 1) << format << file;
      EXPECT_TRUE(message_.endsWith(QStringLiteral("its text header carries no measurement time")))
          << format << ": " << qPrintable(message_);
      // Standard output gets nothing of a record that cannot be read.
      if (format == std::string("sr")) continue;
      EXPECT_EQ(exportFile({"--export", format, q(file), "-"}), 1) << format << file;
      EXPECT_EQ(console_.str(), "") << format << file;
    }
  EXPECT_EQ(exportFile({"--export", "csv", q(fil), "-"}), 1);
  EXPECT_EQ(console_.str(), "");
  EXPECT_EQ(slurp(out), "old");
  // Standard output that takes nothing (a full disk): the output is to blame, not the source.
  {
    HeadlessRequest r;
    QString err;
    ASSERT_EQ(parseHeadlessArguments({"--export", "csv", q(logicFil()), "-"}, r, err), 0);
    std::ostream full(nullptr);
    EXPECT_EQ(runExport(r, full, message_), 1);
    EXPECT_TRUE(message_.contains(QStringLiteral("standard output cannot be written")))
        << qPrintable(message_);
    EXPECT_FALSE(message_.contains(QStringLiteral("access denied"))) << qPrintable(message_);
  }
  // A logger stream of any length goes to standard output as it is read, held nowhere: one
  // that shrinks while it is read (here as soon as its first rows are out) leaves those rows
  // there and is the source's fault.
  {
    const fs::path big = loggerFil(IntermediateFamily::DLDI, 200000);
    HeadlessRequest r;
    QString err;
    ASSERT_EQ(parseHeadlessArguments({"--export", "csv", q(big), "-"}, r, err), 0);
    struct Shrinking : std::stringbuf {
      fs::path file;
      std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (!file.empty()) fs::resize_file(file, 4);
        file.clear();
        return std::stringbuf::xsputn(s, n);
      }
    } shrinking;
    shrinking.file = big;
    std::ostream console(&shrinking);
    EXPECT_EQ(runExport(r, console, message_), 1);
    EXPECT_TRUE(message_.startsWith(QLatin1Char('"') + q(big) + QLatin1Char('"')))
        << qPrintable(message_);
    EXPECT_FALSE(message_.contains(QStringLiteral("cannot be written"))) << qPrintable(message_);
    const std::size_t rows = tableLines(shrinking.str()).size();
    EXPECT_GT(rows, 1000u);
    EXPECT_LT(rows, 200000u);
  }
  // Under a name made from the source's, nothing standing there is replaced, a dangling link
  // neither (nor one at "_1"): the output takes the first free "_1", "_2" name. Named as DST it
  // replaces the file there.
  const fs::path lfil = logicFil();
  const fs::path made = fs::path(lfil).replace_extension(".vcd");
  const fs::path made1 = fs::path(lfil).replace_extension().concat("_1.vcd");
  const fs::path made2 = fs::path(lfil).replace_extension().concat("_2.vcd");
  fs::create_symlink(dir_ / "nowhere", made);
  fs::create_symlink(dir_ / "nowhere_either", made1);
  EXPECT_EQ(exportFile({"--export", "vcd", q(lfil)}), 0) << qPrintable(message_);
  EXPECT_EQ(message_, QLatin1Char('"') + q(made) +
                          QStringLiteral("\": exists already and is kept; the output is \"") +
                          q(made2) + QLatin1Char('"'));
  EXPECT_TRUE(fs::is_symlink(made));
  EXPECT_TRUE(fs::is_symlink(made1));
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  EXPECT_FALSE(fs::exists(dir_ / "nowhere_either"));
  EXPECT_TRUE(slurp(made2).find("$enddefinitions") != std::string::npos);
  const fs::path madePlain = fs::path(lfil).replace_extension().concat("_plain.csv");
  const fs::path madePlain1 = fs::path(lfil).replace_extension().concat("_plain_1.csv");
  spit(madePlain, "old");
  EXPECT_EQ(exportFile({"--convert", q(lfil), "--format", "plain"}), 0) << qPrintable(message_);
  EXPECT_EQ(slurp(madePlain), "old");
  const std::string plain = slurp(madePlain1);
  EXPECT_NE(plain, "");
  EXPECT_EQ(exportFile({"--convert", q(lfil), q(madePlain), "--format", "plain"}), 0)
      << qPrintable(message_);
  EXPECT_EQ(slurp(madePlain), plain);
  EXPECT_EQ(exportFile({"--export", "sr", q(dir_ / "none.FIL"), q(dir_ / "x.sr")}), 1);
  EXPECT_TRUE(message_.contains(QStringLiteral("not found"))) << qPrintable(message_);
  // A target in a folder that cannot be made.
  spit(dir_ / "file", "x");
  EXPECT_EQ(exportFile({"--export", "csv", q(logicFil()), q(dir_ / "file" / "x.csv")}), 1);
  EXPECT_TRUE(message_.contains(QStringLiteral("cannot be written"))) << qPrintable(message_);
  // A multi-device data file cut off at a line end, inside a line or inside a number says so.
  const std::string whole = slurp(multiFile());
  const std::size_t line = whole.find('\n', whole.size() / 2) + 1;
  for (const std::size_t keep : {line, line + 3, line + 12, whole.size() - 3}) {
    const fs::path cut = dir_ / "cut.CSV";
    spit(cut, whole.substr(0, keep));
    for (const char* format : {"csv", "sr"}) {
      EXPECT_EQ(exportFile({"--export", format, q(cut), q(out)}), 1) << keep;
      EXPECT_TRUE(message_.endsWith(QStringLiteral("multi-device data file is cut off")))
          << keep << qPrintable(message_);
    }
  }
  // The window's own tables copied while it wrote them, cut at a line end: one row short of the
  // length they state is cut, whole they export.
  const TableFiles tables = tableFiles();
  const std::string scopeWhole = slurp(tables.scopeCsv);
  spit(cut(tables.scopeCsv), scopeWhole.substr(0, scopeWhole.rfind("\r\n", scopeWhole.size() - 3) + 2));
  for (const char* format : {"csv", "sr"}) {
    EXPECT_EQ(exportFile({"--export", format, q(cut(tables.scopeCsv)), q(out)}), 1) << format;
    EXPECT_TRUE(message_.endsWith(QStringLiteral("the file is cut short (999 of 1000 samples)")))
        << qPrintable(message_);
  }
  EXPECT_EQ(slurp(out), "old");
  EXPECT_EQ(exportFile({"--export", "csv", q(tables.scopeCsv), q(out)}), 0) << qPrintable(message_);
  // Only its last line end lost (an editor's save): the file is whole.
  ASSERT_EQ(whole.substr(whole.size() - 2), "\r\n");
  spit(dir_ / "cut.CSV", whole.substr(0, whole.size() - 2));
  EXPECT_EQ(exportFile({"--export", "csv", q(dir_ / "cut.CSV"), q(out)}), 0) << qPrintable(message_);
}

// A merged file exports the same whichever column separator it was written with: its line of
// names and blank cells holds blanks, so guessing from that line takes the point separator for
// a blank one.
TEST_F(HeadlessExport, MergedFileExportsWithTheSeparatorItWasWrittenWith) {
  const std::string written = slurp(multiFile());
  const fs::path want = dir_ / "want.csv";
  ASSERT_EQ(exportFile({"--export", "csv", q(dir_ / "multi.CSV"), q(want)}), 0);
  for (const char sep : {'\t', ',', '.'}) {
    SCOPED_TRACE(int(sep));
    const fs::path f = dir_ / "sep.CSV";
    spit(f, mergedTextWithSeparator(written, ';', sep, sep == ',' ? '.' : ','));
    const fs::path out = dir_ / "sep.csv";
    ASSERT_EQ(exportFile({"--export", "csv", q(f), q(out)}), 0) << qPrintable(message_);
    EXPECT_EQ(slurp(out), slurp(want));
    StoredExportHooks hooks;
    hooks.csvColumn = sep == '.' ? '\t' : '.';
    hooks.probe = probeMultiDataTable;
    hooks.merged = readMergedForExport;
    EXPECT_EQ(storedExportOffer(f, hooks).formats,
              (std::vector<ExportFormat>{ExportFormat::Sr, ExportFormat::PlainCsv}));
  }
}

TEST_F(HeadlessExport, SessionsAndDumpsOfStoredFilesOpenInSigrok) {
  if (!testclients::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  const fs::path sr = dir_ / "scope.sr";
  ASSERT_EQ(exportFile({"--export", "sr", q(scopeFil()), q(sr)}), 0) << qPrintable(message_);
  int status = -1;
  std::string show = testclients::run("sigrok-cli -i " + sr.string() + " --show", &status);
  EXPECT_NE(show.find("Samplerate: 100000"), std::string::npos) << show;
  EXPECT_NE(show.find("Analog sample count: 1000"), std::string::npos) << show;
  const fs::path merged = dir_ / "merged.sr";
  ASSERT_EQ(exportFile({"--export", "sr", q(multiFile()), q(merged)}), 0) << qPrintable(message_);
  show = testclients::run("sigrok-cli -i " + merged.string() + " --show", &status);
  EXPECT_NE(show.find("- TX000002_ch1: analog"), std::string::npos) << show;
  EXPECT_NE(show.find("Samplerate: 10000"), std::string::npos) << show;
  const fs::path vcd = dir_ / "io.vcd";
  ASSERT_EQ(exportFile({"--export", "vcd", q(loggerFil(IntermediateFamily::DLDI)), q(vcd)}), 0);
  const auto bits = testclients::sigrokBits(
      testclients::run("sigrok-cli -i " + vcd.string() + " -I vcd -O bits:width=0", &status));
  ASSERT_EQ(bits.count("D0"), 1u);
  // The fixture's line words are (i * 7) & 0xFFFF.
  std::string want;
  for (int i = 0; i < 300; ++i) want += ((i * 7) & 1) ? '1' : '0';
  EXPECT_EQ(bits.at("D0"), want);
}

#ifdef TOLV_PROGRAM_PATH
// The built program: a plain table to standard output for a pipe, the exit codes a script sees.
TEST_F(HeadlessExport, TheProgramWritesToAPipeWithoutADisplay) {
  const fs::path fil = logicFil();
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, {"--export", "csv", q(fil), "-", "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  const std::string out = p.readAllStandardOutput().toStdString();
  EXPECT_EQ(tableLines(out).size(), 201u);
  p.start(TOLV_PROGRAM_PATH, {"--export", "vcd", q(scopeFil()), "-", "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 2);
  EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
  EXPECT_TRUE(p.readAllStandardError().startsWith("multi_tolvanex: \""));
  // --convert: the format by the target's ending, a wrong one refused before anything is read.
  const fs::path vcd = dir_ / "out" / "logic.vcd";
  p.start(TOLV_PROGRAM_PATH, {"--convert", q(fil), q(vcd), "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_NE(slurp(vcd).find("$enddefinitions"), std::string::npos);
  p.start(TOLV_PROGRAM_PATH, {"--convert", q(fil), q(dir_ / "logic.txt"), "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 2);
  EXPECT_FALSE(fs::exists(dir_ / "logic.txt"));
  p.start(TOLV_PROGRAM_PATH,
          {"--convert", q(fil), "-", "--format", "plain", "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(p.readAllStandardOutput().toStdString(), out);
  // Named by the process's own name for it, with a $TMPDIR where nothing can be made: nothing
  // is copied anywhere first, a record's table nor a logger stream's.
  env.insert("TMPDIR", "/proc/self");
  p.setProcessEnvironment(env);
  p.start(TOLV_PROGRAM_PATH, {"--export", "plain", q(fil), "/dev/stdout", "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(p.readAllStandardOutput().toStdString(), out);
  const fs::path io = loggerFil(IntermediateFamily::DLDI);
  ASSERT_EQ(exportFile({"--export", "vcd", q(io), "-"}), 0) << qPrintable(message_);
  p.start(TOLV_PROGRAM_PATH, {"--export", "vcd", q(io), "-", "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(p.readAllStandardOutput().toStdString(), console_.str());
  // `-` alone takes the plain table.
  p.start(TOLV_PROGRAM_PATH, {"--convert", q(fil), "-", "--data-root", q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(p.readAllStandardOutput().toStdString(), out);
  // A reader that goes away (| head) is an output that cannot be written: exit 1 and the
  // reason, not the end by SIGPIPE.
  p.start("bash", {"-c", "set -o pipefail; \"$0\" --convert \"$1\" - --data-root \"$2\" | "
                         "head -c 10 >/dev/null",
                   TOLV_PROGRAM_PATH, q(scopeFil(131000)), q(dir_)});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 1) << "141 is the end by SIGPIPE";
  EXPECT_TRUE(p.readAllStandardError().contains("the reader has closed the pipe"));
}
#endif
