// The window's own scope, logic-analyser and I/O-logger tables read back under every pair of
// separators the window writes: the column separator (Tab, ";", ",", point or blank) is found
// from the table itself, and a date or number that holds the separator stays one value.
#include <gtest/gtest.h>

#include <cmath>

#include "files_fixture.h"
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
  for (int language : {0, 1}) {
    setLanguageIndex(language);
    for (const CsvStyle& style : kStyles) {
      const std::string text = scopeCsvText(record(st), samples, style);
      for (char preferred : {'\0', ';', ' ', '\t'})
        EXPECT_EQ(storedCsvColumn(firstLine(text), preferred), style.column) << show(style);
      ASSERT_EQ(storedCsvKind(text, style.column), StoredCsvKind::Scope) << show(style);
      StoredScopeCsv t;
      int bad = 0;
      ASSERT_EQ(readScopeCsv(text, style.column, t, &bad), 0) << show(style) << " row " << bad;
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
    }
  }
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
      int bad = 0;
      ASSERT_EQ(readLogicCsv(text, style.column, t, &bad), 0) << show(style) << " row " << bad;
      ASSERT_EQ(t.words.size(), 30u);
      for (int i = 0; i < 30; ++i) EXPECT_EQ(t.words[std::size_t(i)], list.at(i).word) << i;
      EXPECT_FALSE(t.ioLogger);
      EXPECT_EQ(t.serial, QStringLiteral("TX12345")) << show(style);
      ASSERT_TRUE(t.time.has_value()) << show(style);
      EXPECT_EQ(t.time->day, record(st).time.day);
      EXPECT_EQ(t.triggerPoint, 40) << show(style);
      EXPECT_DOUBLE_EQ(t.step, 1e-6) << show(style);
      EXPECT_EQ(t.memoryDepth, 30) << show(style);

      const std::string io = ioLoggerCsvText(record(st), "M", stream, style);
      EXPECT_EQ(storedCsvColumn(firstLine(io), '\0'), style.column) << show(style);
      ASSERT_EQ(storedCsvKind(io, style.column), StoredCsvKind::IoLogger) << show(style);
      StoredLogicCsv u;
      ASSERT_EQ(readLogicCsv(io, style.column, u, &bad), 0) << show(style) << " row " << bad;
      EXPECT_TRUE(u.ioLogger);
      ASSERT_EQ(u.words.size(), 30u);
      EXPECT_EQ(u.words[29], std::uint16_t(29 * 0x0201));
      EXPECT_EQ(u.trgTypString, "M");
      EXPECT_DOUBLE_EQ(u.step, 1e-6) << show(style);
    }
  }
}

TEST_F(CsvRead, OtherTextIsNoTable) {
  for (const char* line : {"", "x;y", "Time [s];D15;D14", "-;5", "1.5", "a 1.5;2"})
    EXPECT_EQ(tableColumn(line), 0) << line;
  EXPECT_EQ(tableColumn(" 1.5;2.5"), ';');  // numbers as a spreadsheet may have saved them
  // The voltmeter chart's rows hold a time and two channels: no scope table.
  const std::string chart = " 0.000000\t23.483440\t 1.568280\tDevice\tTVS00001\r\n";
  EXPECT_EQ(tableColumn(chart), 0);
  EXPECT_EQ(storedCsvKind(chart, '\t'), StoredCsvKind::Unknown);
  StoredScopeCsv t;
  int bad = 0;
  EXPECT_EQ(readScopeCsv(" 1.000000; 2.000000\r\nthree;4\r\n", ';', t, &bad), kCsvBadCell);
  EXPECT_EQ(bad, 2);
}
