// The window's own scope, logic-analyser and I/O-logger tables read back under every pair of
// separators the window writes: the column separator (Tab, ";", ",", point or blank) is found
// from the table itself, and a date or number that holds the separator stays one value.
#include <gtest/gtest.h>

#include <cmath>

#include "files_fixture.h"
#include "measure/chartcsv.h"
#include "measure/csvread.h"
#include "measure/datafiles.h"
#include "measure/loggerstream.h"

using namespace tolv;
using namespace tolv::testfiles;

namespace {

constexpr CsvStyle kStyles[] = {{'.', '\t'}, {',', '\t'}, {',', ';'}, {'.', ','},
                                {',', '.'},  {'.', ' '},  {',', ' '}};

std::string firstLine(const std::string& s) {
  return s.substr(0, s.find('\r'));
}

// The table as a copy cut at a line end leaves it: its last row gone.
std::string withoutLastRow(const std::string& s) {
  return s.substr(0, s.rfind("\r\n", s.size() - 3) + 2);
}

// A table one row short of the length its Memory Depth cell states is cut, however its rows
// read; whole it is not.
template <typename Table>
void expectCutByOneRow(int (*read)(std::string_view, char, Table&, CsvFault*),
                       const std::string& text, char col, std::int64_t stated) {
  Table t;
  CsvFault f;
  EXPECT_EQ(read(withoutLastRow(text), col, t, &f), kCsvCutShort);
  EXPECT_EQ(f.held, stated - 1);
  EXPECT_EQ(f.stated, stated);
  EXPECT_EQ(csvFaultText(kCsvCutShort, f, "scope"),
            QStringLiteral("the file is cut short (%1 of %2 samples)").arg(stated - 1).arg(stated));
}

std::string show(const CsvStyle& st) {
  return std::string("decimal '") + st.decimal + "' column '" + st.column + "'";
}

class CsvRead : public FilesTest {
 protected:
  RecordInfo record(const SettingsRecord& s) const {
    return {QStringLiteral("TX12345"), s, stamp(2026, 12, 8, 22, 32, 58.736)};
  }
};

}  // namespace

TEST_F(CsvRead, ScopeTablesUnderEverySeparator) {
  SettingsRecord st = scopeSettings();  // "T": every group, thresholds included
  st.sampleTime = 2e-5;
  st.memoryDepth = 40;
  std::vector<ScopeSample> samples;
  for (int i = 0; i < 40; ++i)
    samples.push_back({float(12.5 * std::sin(i * 0.3)), float(i % 7 == 0 ? 0.0 : -0.125 * i)});
  std::vector<std::uint8_t> stream;  // an analog logger's 40 word pairs and its end marker
  for (int i = 0; i < 80; ++i) {
    stream.push_back(std::uint8_t(i * 37));
    stream.push_back(std::uint8_t(0x80 + i));
  }
  stream.insert(stream.end(), std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
  for (int language : {0, 1}) {
    setLanguageIndex(language);
    for (const CsvStyle& style : kStyles) {
      const std::string text = scopeCsvText(record(st), samples, style);
      for (char preferred : {'\0', ';', ' ', '\t'})
        EXPECT_EQ(storedCsvColumn(firstLine(text), preferred), style.column) << show(style);
      ASSERT_EQ(storedCsvKind(text, style.column), StoredCsvKind::Scope) << show(style);
      StoredScopeCsv t;
      CsvFault bad;
      ASSERT_EQ(readScopeCsv(text, style.column, t, &bad), 0) << show(style) << " line " << bad.line;
      ASSERT_EQ(t.ch0.size(), samples.size());
      for (std::size_t i = 0; i < samples.size(); ++i) {
        EXPECT_NEAR(t.ch0[i], samples[i].ch0, 5e-7) << i;
        EXPECT_NEAR(t.ch1[i], samples[i].ch1, 5e-7) << i;
      }
      EXPECT_EQ(t.serial, QStringLiteral("TX12345")) << show(style);
      ASSERT_TRUE(t.time.has_value()) << show(style);
      EXPECT_EQ(t.time->day, record(st).time.day) << show(style);
      EXPECT_NEAR(t.time->seconds, record(st).time.seconds, 1e-6) << show(style);
      EXPECT_EQ(t.trgTypString, "T") << show(style);
      EXPECT_DOUBLE_EQ(t.sampleTime, 2e-5) << show(style);
      EXPECT_EQ(t.memoryDepth, 40) << show(style);
      EXPECT_NEAR(t.pretrigger, 0.1 * 40 * 2e-5, 1e-9) << show(style);
      EXPECT_EQ(t.triggerSample, 4) << show(style);
      expectCutByOneRow(readScopeCsv, text, style.column, 40);
      // Cut inside its last number: cut too; only its last line end lost: whole.
      CsvFault f;
      EXPECT_EQ(readScopeCsv(text.substr(0, text.size() - 5), style.column, t, &f), kCsvCutShort);
      EXPECT_EQ(f.held, 39);
      EXPECT_EQ(readScopeCsv(text.substr(0, text.size() - 2), style.column, t, &f), 0);
      EXPECT_EQ(t.ch0.size(), 40u);
      // The analog logger's table has the same columns; its dates are those of its start.
      const std::string logger = analogLoggerCsvText(record(st), st, stream, style);
      EXPECT_EQ(storedCsvColumn(firstLine(logger), '\0'), style.column) << show(style);
      ASSERT_EQ(storedCsvKind(logger, style.column), StoredCsvKind::AnalogLogger) << show(style);
      StoredScopeCsv u;
      ASSERT_EQ(readScopeCsv(logger, style.column, u, &bad), 0) << show(style) << " line " << bad.line;
      EXPECT_EQ(u.ch0.size(), 40u);
      expectCutByOneRow(readScopeCsv, logger, style.column, 40);  // 80 words stated
      ASSERT_TRUE(u.time.has_value()) << show(style);
      EXPECT_NEAR(u.time->seconds, record(st).time.seconds, 1e-6) << show(style);
    }
  }
}

// A record deeper than the scope's memory holds its first 131000 samples: a table stating the
// depth asked (as an earlier version wrote it) is whole with them, one row fewer is cut.
TEST_F(CsvRead, DeepScopeTableIsWholeWithTheScopesMemory) {
  SettingsRecord st = scopeSettings();
  st.memoryDepth = 200000;
  const std::vector<ScopeSample> samples(std::size_t(kScopeMemorySamples), ScopeSample{0.5f, -0.25f});
  std::string text = scopeCsvText(record(st), samples, {'.', ';'});
  const std::size_t cell = text.find(";131000\r\n");
  ASSERT_NE(cell, std::string::npos);
  text.replace(cell, 7, ";200000");
  StoredScopeCsv t;
  ASSERT_EQ(readScopeCsv(text, ';', t), 0);
  EXPECT_EQ(t.memoryDepth, 200000);
  expectCutByOneRow(readScopeCsv, text, ';', kScopeMemorySamples);
}

// The voltmeter chart's table: its readings, the padding rows of a short series left out, and
// its start from the Date and Time cells (a dotted date beside the point as separator too).
TEST_F(CsvRead, VoltmeterChartTablesUnderEverySeparator) {
  const DayTime start = record({}).time;
  for (const CsvStyle& style : kStyles) {
    setDecimalSeparatorSetting(QLatin1Char(style.decimal));
    setColumnSeparatorSetting(QLatin1Char(style.column));
    for (const int n : {3, 12}) {
      const fs::path f = dir_ / "chart.CSV";
      {
        TChartData_CSV_Saver saver([&] { return start; });
        saver.setDevice(QStringLiteral("TX12345"));
        ASSERT_EQ(saver.open(f, 2), 0);
        for (int i = 0; i < n; ++i)
          saver.writeReading(VoltmeterReading::measured(dtAddSeconds(start, 0.25 * i), -1.5 * i, 2.0));
      }
      const std::string text = slurp(f);
      ASSERT_EQ(storedCsvColumn(firstLine(text), '\0'), style.column) << show(style) << text;
      ASSERT_EQ(storedCsvKind(text, style.column), StoredCsvKind::VoltmeterChart) << show(style);
      StoredChartCsv t;
      CsvFault bad;
      ASSERT_EQ(readChartCsv(text, style.column, t, &bad), 0) << show(style) << " line " << bad.line;
      ASSERT_EQ(t.time.size(), std::size_t(n)) << show(style);
      EXPECT_FALSE(t.cut);
      // Written row by row: cut inside its last number (a crash), the whole rows are its
      // readings and the cut is told; only its last line end lost, it is whole.
      if (n > 4) {
        StoredChartCsv u;
        ASSERT_EQ(readChartCsv(text.substr(0, text.size() - 5), style.column, u), 0);
        EXPECT_TRUE(u.cut);
        EXPECT_EQ(u.time.size(), std::size_t(n - 1));
        ASSERT_EQ(readChartCsv(text.substr(0, text.size() - 2), style.column, u), 0);
        EXPECT_FALSE(u.cut);
        EXPECT_EQ(u.time.size(), std::size_t(n));
      }
      EXPECT_EQ(t.time[2], 0.5);
      EXPECT_EQ(t.ch0[2], -3.0);
      EXPECT_EQ(t.ch1[2], 2.0);
      EXPECT_EQ(t.serial, QStringLiteral("TX12345")) << show(style);
      EXPECT_EQ(t.unit, "V RMS") << show(style);
      ASSERT_TRUE(t.start.has_value()) << show(style);
      EXPECT_EQ(t.start->day, start.day) << show(style);
      EXPECT_NEAR(t.start->seconds, start.seconds, 1e-6) << show(style);
    }
  }
  setDecimalSeparatorSetting(QLatin1Char(','));
  setColumnSeparatorSetting(QLatin1Char('\t'));
}

TEST_F(CsvRead, LogicAndIoLoggerTablesUnderEverySeparator) {
  SettingsRecord st = scopeSettings();
  st.mode = kModeLAIO;
  st.trgTypString = "P";
  st.memoryDepth = 30;
  st.sampleTime = 1e-6;
  st.triggerPoint = 40;
  TLogAnalList list;
  for (int i = 0; i < 30; ++i) list.add(i, std::uint16_t(0x8001 ^ (i * 0x0123)));
  std::vector<std::uint8_t> stream;
  for (int i = 0; i < 30; ++i)
    for (std::uint16_t w : {std::uint16_t(0xFFFF), std::uint16_t(i * 0x0201)}) {
      stream.push_back(std::uint8_t(w));
      stream.push_back(std::uint8_t(w >> 8));
    }
  stream.insert(stream.end(), std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
  for (int language : {0, 1}) {
    setLanguageIndex(language);
    for (const CsvStyle& style : kStyles) {
      const std::string text = logicCsvText(record(st), logicCsvParams(st), list, style);
      EXPECT_EQ(storedCsvColumn(firstLine(text), ';'), style.column) << show(style);
      ASSERT_EQ(storedCsvKind(text, style.column), StoredCsvKind::Logic) << show(style);
      StoredLogicCsv t;
      CsvFault bad;
      ASSERT_EQ(readLogicCsv(text, style.column, t, &bad), 0) << show(style) << " line " << bad.line;
      ASSERT_EQ(t.words.size(), 30u);
      for (int i = 0; i < 30; ++i) EXPECT_EQ(t.words[std::size_t(i)], list.at(i).word) << i;
      EXPECT_FALSE(t.ioLogger);
      EXPECT_EQ(t.serial, QStringLiteral("TX12345")) << show(style);
      ASSERT_TRUE(t.time.has_value()) << show(style);
      EXPECT_EQ(t.time->day, record(st).time.day);
      EXPECT_EQ(t.triggerPoint, 40) << show(style);
      EXPECT_DOUBLE_EQ(t.step, 1e-6) << show(style);
      EXPECT_EQ(t.memoryDepth, 30) << show(style);
      expectCutByOneRow(readLogicCsv, text, style.column, 30);

      const std::string io = ioLoggerCsvText(record(st), "M", stream, style);
      EXPECT_EQ(storedCsvColumn(firstLine(io), '\0'), style.column) << show(style);
      ASSERT_EQ(storedCsvKind(io, style.column), StoredCsvKind::IoLogger) << show(style);
      StoredLogicCsv u;
      ASSERT_EQ(readLogicCsv(io, style.column, u, &bad), 0) << show(style) << " line " << bad.line;
      EXPECT_TRUE(u.ioLogger);
      ASSERT_EQ(u.words.size(), 30u);
      EXPECT_EQ(u.words[29], std::uint16_t(29 * 0x0201));
      EXPECT_EQ(u.trgTypString, "M");
      EXPECT_DOUBLE_EQ(u.step, 1e-6) << show(style);
      expectCutByOneRow(readLogicCsv, io, style.column, 30);
    }
  }
}

TEST_F(CsvRead, OtherTextIsNoTable) {
  for (const char* line : {"", "x;y", "Time [s];D15;D14", "-;5", "1.5", "a 1.5;2"})
    EXPECT_EQ(tableColumn(line), 0) << line;
  EXPECT_EQ(tableColumn(" 1.5;2.5"), ';');  // numbers as a spreadsheet may have saved them
  // The voltmeter chart's rows hold a time and two channels: no scope table.
  const std::string chart = " 0.000000\t23.483440\t 1.568280\tDevice\tTVS00001\r\n";
  EXPECT_EQ(storedCsvKind(chart, '\t'), StoredCsvKind::VoltmeterChart);
  EXPECT_EQ(tableColumn(" 0.000000\t23.483440\t 1.568280\tDevise\tTVS00001"), 0);
  StoredScopeCsv t;
  CsvFault bad;
  EXPECT_EQ(readScopeCsv(" 1.000000; 2.000000\r\nthree;4\r\n", ';', t, &bad), kCsvBadCell);
  EXPECT_EQ(bad.line, 2);
  EXPECT_EQ(csvFaultText(kCsvBadCell, bad, "scope"), QStringLiteral("line 2 is not a scope row"));
}
