#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <filesystem>

#include "common/clock.h"
#include "common/format.h"
#include "common/regional.h"
#include "device/decoding.h"
#include "measure/chartcsv.h"
#include "measure/devicesession.h"
#include "measure/recordfiles.h"
#include "wire/wirecommands.h"

namespace tolv {
namespace {

namespace fs = std::filesystem;

// 14:30:15.120 on some day.
DayTime at(double seconds) {
  return DayTime{seconds, 739000};
}
const DayTime kStart = at(14 * 3600 + 30 * 60 + 15.12);

QStringList rowsOf(const fs::path& p) {
  QFile f(QString::fromStdString(p.string()));
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QString all = QString::fromUtf8(f.readAll());
  QStringList rows = all.split(QStringLiteral("\r\n"));
  if (!rows.isEmpty() && rows.back().isEmpty()) rows.pop_back();
  return rows;
}

class ChartCsv : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = fs::path(dir_.path().toStdString());
    regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    setDecimalSeparatorSetting(QLatin1Char(','));
    setColumnSeparatorSetting(QLatin1Char('\t'));
  }
  void TearDown() override {
    regional().reload();
    setDecimalSeparatorSetting(QLatin1Char(','));
    setColumnSeparatorSetting(QLatin1Char('\t'));
  }
  QTemporaryDir dir_;
  fs::path root_;
};

TEST_F(ChartCsv, RowsCarryTimeAndValuesAndTheHeaderCellsOfTheFirstSevenRows) {
  TChartData_CSV_Saver s([] { return kStart; });
  s.setDevice(QStringLiteral("TVS00001"));
  ASSERT_EQ(s.open(root_ / "day" / "chart.txt", 2), 0);
  EXPECT_EQ(s.fileName(), root_ / "day" / "chart.CSV");
  for (int i = 0; i < 9; ++i)
    ASSERT_EQ(s.writeReading(VoltmeterReading::measured(dtAddSeconds(kStart, 0.25 * i + 0.0000004),
                                                        1.5 + i, -0.1)),
              0);
  EXPECT_EQ(s.row(), 9);
  ASSERT_EQ(s.close(), 0);
  EXPECT_EQ(s.row(), 0);
  const QStringList rows = rowsOf(root_ / "day" / "chart.CSV");
  ASSERT_EQ(rows.size(), 9);
  EXPECT_EQ(rows[0], QStringLiteral(" 0,000000\t 1,500000\t-0,100000\tDevice\tTVS00001"));
  EXPECT_EQ(rows[1], QStringLiteral(" 0,250000\t 2,500000\t-0,100000\tDate\t04.24.24\tMM.DD.YY"));
  EXPECT_EQ(rows[2],
            QStringLiteral(" 0,500000\t 3,500000\t-0,100000\tTime\t14:30:15.120\tHH:MM:SS.ms"));
  EXPECT_EQ(rows[3], QStringLiteral(" 0,750000\t 4,500000\t-0,100000\tUnit\tV RMS"));
  EXPECT_TRUE(rows[4].endsWith(QStringLiteral("\tColumn 1\trel time in s")));
  EXPECT_TRUE(rows[5].endsWith(QStringLiteral("\tColumn 2\tChan. 0")));
  EXPECT_TRUE(rows[6].endsWith(QStringLiteral("\tColumn 3\tChan. 1")));
  // From the eighth row on only time and the two values.
  EXPECT_EQ(rows[7], QStringLiteral(" 1,750000\t 8,500000\t-0,100000"));
  EXPECT_EQ(rows[8], QStringLiteral(" 2,000000\t 9,500000\t-0,100000"));
}

// The header stands beside the first seven rows; a shorter series ends with the header rows
// it lacks, their time and value cells empty, so no file loses its date, unit or columns.
TEST_F(ChartCsv, AShortSeriesEndsWithTheWholeHeader) {
  const std::string head[7] = {"\tDevice\tTVS00002\r\n",
                               "\tDate\t04.24.24\tMM.DD.YY\r\n",
                               "\tTime\t14:30:15.120\tHH:MM:SS.ms\r\n",
                               "\tUnit\tV\r\n",
                               "\tColumn 1\trel time in s\r\n",
                               "\tColumn 2\tChan. 0\r\n",
                               "\tColumn 3\tChan. 1\r\n"};
  const auto bytesOf = [](const fs::path& p) {
    QFile f(QString::fromStdString(p.string()));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
  };
  for (int n : {1, 6, 7}) {
    const fs::path name = root_ / (std::to_string(n) + ".CSV");
    std::string expected;
    for (int i = 0; i < 7; ++i)
      expected += (i < n ? " " + std::to_string(i) + ",000000\t 1,250000\t-0,500000"
                         : std::string("\t\t")) +
                  head[i];
    // Ended by close and by the saver going away (window closed, program ending).
    for (bool byClose : {true, false}) {
      {
        TChartData_CSV_Saver s([] { return kStart; });
        s.setDevice(QStringLiteral("TVS00002"));
        ASSERT_EQ(s.open(name, 1), 0);
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(s.writeReading(VoltmeterReading::measured(dtAddSeconds(kStart, i), 1.25, -0.5)),
                    0);
        }
        if (byClose) {
          EXPECT_EQ(s.close(), 0);
        }
      }
      EXPECT_EQ(bytesOf(name), expected) << n << " readings, by close " << byClose;
    }
  }
}

TEST_F(ChartCsv, SeparatorSettingsAndUnitByMode) {
  setDecimalSeparatorSetting(QLatin1Char('.'));
  setColumnSeparatorSetting(QLatin1Char(';'));
  TChartData_CSV_Saver s([] { return kStart; });
  for (int mode : {0, 1, 2, 3, 4}) {
    ASSERT_EQ(s.open(root_ / "m.CSV", mode), 0);
    for (int i = 0; i < 4; ++i) s.writeReading(VoltmeterReading::measured(kStart, 0.1, 12.3456789));
    ASSERT_EQ(s.close(), 0);
    const QStringList rows = rowsOf(root_ / "m.CSV");
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0], QStringLiteral(" 0.000000; 0.100000;12.345679;Device;"));
    const QString unit = mode < 2 ? QStringLiteral("V") : mode < 4 ? QStringLiteral("V RMS") : "";
    EXPECT_EQ(rows[3], QStringLiteral(" 0.000000; 0.100000;12.345679;Unit;") + unit) << mode;
    // The rows that complete the header keep the column separator of the file.
    EXPECT_EQ(rows[4], QStringLiteral(";;;Column 1;rel time in s"));
  }
}

TEST_F(ChartCsv, ResultCodesForClosedFailedAndBadNames) {
  TChartData_CSV_Saver s([] { return kStart; });
  const VoltmeterReading r = VoltmeterReading::measured(kStart, 1, 2);
  EXPECT_EQ(s.writeReading(r), 5);
  EXPECT_EQ(s.close(), 5);
  EXPECT_EQ(s.open("nofolder.CSV", 0), -192);
  EXPECT_FALSE(s.isOpen());
  // The failed open blocks writes with its own code until an open succeeds.
  EXPECT_EQ(s.writeReading(r), -192);
  EXPECT_EQ(s.lastResult(), -192);
  // A folder that cannot be made (a file stands in its way).
  QFile blocker(QString::fromStdString((root_ / "blocker").string()));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  EXPECT_NE(s.open(root_ / "blocker" / "x.CSV", 0), 0);
  EXPECT_NE(s.writeReading(r), 0);
  ASSERT_EQ(s.open(root_ / "ok.CSV", 0), 0);
  EXPECT_EQ(s.lastResult(), 0);
  EXPECT_EQ(s.writeReading(r), 0);
  // Opening again closes the file still open and starts a new one.
  ASSERT_EQ(s.open(root_ / "second.CSV", 0), 0);
  EXPECT_EQ(s.row(), 0);
  EXPECT_EQ(rowsOf(root_ / "ok.CSV").size(), 7);
  EXPECT_EQ(s.close(), 0);
  // A made name taken after it was chosen: the file there stays, and a dangling link there is
  // not written through; the readings take the next free name.
  ASSERT_EQ(s.open(root_ / "ok.CSV", 0, tolv::Placement::FreeName), 0);
  EXPECT_EQ(s.fileName(), root_ / "ok_1.CSV");
  EXPECT_EQ(s.close(), 0);
  EXPECT_EQ(rowsOf(root_ / "ok.CSV").size(), 7);
  fs::create_symlink(root_ / "elsewhere.CSV", root_ / "linked.CSV");
  ASSERT_EQ(s.open(root_ / "linked.CSV", 0, tolv::Placement::FreeName), 0);
  EXPECT_EQ(s.fileName(), root_ / "linked_1.CSV");
  EXPECT_EQ(s.close(), 0);
  EXPECT_FALSE(fs::exists(root_ / "elsewhere.CSV"));
}

TEST_F(ChartCsv, APauseOfTwoSecondsEndsTheFileAndTheNextReadingRepeatsTheList) {
  ManualClock clock;
  TManualTimerHub hub(clock);
  TManualTimer& tm = hub.create(0);
  TTaggedTimedFloatPointList chart;
  DayTime now = kStart;
  std::vector<DayTime> named;
  TChartCsvAutoSave a(
      chart, tm,
      [&](const DayTime& t, const char* ext) {
        named.push_back(t);
        return root_ / "dev" /
               QStringLiteral("%1.%2")
                   .arg(qRound64(t.seconds * 1000))
                   .arg(QLatin1String(ext))
                   .toStdString();
      },
      [&] { return now; });
  EXPECT_EQ(tm.interval(), 2000);
  const auto reading = [&](double v) {
    const VoltmeterReading r = VoltmeterReading::measured(now, v, -v);
    chart.Add(r);
    return a.chartReading(r, now, 0);
  };
  ASSERT_EQ(reading(1.0), 0);
  EXPECT_TRUE(a.saver().isOpen());
  EXPECT_TRUE(tm.isActive());
  // A reading within two seconds goes to the same file and restarts the timer.
  hub.advance(1999);
  now = dtAddSeconds(now, 1.999);
  ASSERT_EQ(reading(2.0), 0);
  hub.advance(1999);
  EXPECT_TRUE(a.saver().isOpen());
  hub.advance(1);
  EXPECT_FALSE(a.saver().isOpen());
  EXPECT_FALSE(tm.isActive());
  // Three seconds after the last reading: a second file with every reading of the list.
  hub.advance(1000);
  now = dtAddSeconds(now, 3.0);
  ASSERT_EQ(reading(3.0), 0);
  hub.advance(2000);
  ASSERT_EQ(named.size(), 2u);
  const fs::path f1 = root_ / "dev" / (std::to_string(qRound64(named[0].seconds * 1000)) + ".CSV");
  const fs::path f2 = root_ / "dev" / (std::to_string(qRound64(named[1].seconds * 1000)) + ".CSV");
  const QStringList rows1 = rowsOf(f1), rows2 = rowsOf(f2);
  ASSERT_EQ(rows1.size(), 7);
  ASSERT_EQ(rows2.size(), 7);
  EXPECT_TRUE(rows2[0].startsWith(QStringLiteral("-4,999000\t 1,000000\t-1,000000\t")));
  EXPECT_TRUE(rows2[1].startsWith(QStringLiteral("-3,000000\t 2,000000")));
  EXPECT_TRUE(rows2[2].startsWith(QStringLiteral(" 0,000000\t 3,000000")));
}

// The reading that opens a file came a moment before the file: its row is at 0 and the file's
// time is the reading's, not a millisecond later with a first row at -0.001.
TEST_F(ChartCsv, TheReadingThatOpensAFileIsAtItsStart) {
  ManualClock clock;
  TManualTimerHub hub(clock);
  TManualTimer& tm = hub.create(0);
  TTaggedTimedFloatPointList chart;
  DayTime now = dtAddSeconds(kStart, 0.001);
  TChartCsvAutoSave a(
      chart, tm,
      [&](const DayTime&, const char* ext) { return root_ / (std::string("first.") + ext); },
      [&] { return now; });
  const VoltmeterReading r = VoltmeterReading::measured(kStart, 1.0, -1.0);
  chart.Add(r);
  ASSERT_EQ(a.chartReading(r, r.time, 0), 0);
  EXPECT_EQ(a.saver().start(), kStart);
  hub.advance(2000);
  const QStringList rows = rowsOf(root_ / "first.CSV");
  ASSERT_EQ(rows.size(), 7);
  EXPECT_TRUE(rows[0].startsWith(QStringLiteral(" 0,000000\t 1,000000\t")))
      << rows[0].toStdString();
  // A saver's own clock is never moved forward.
  TChartData_CSV_Saver s([] { return kStart; });
  ASSERT_EQ(s.open(root_ / "later.CSV", 0), 0);
  s.startNoLaterThan(dtAddSeconds(kStart, 1.0));
  EXPECT_EQ(s.start(), kStart);
}

TEST_F(ChartCsv, AFailingFileDoesNotStopTheReadings) {
  ManualClock clock;
  TManualTimerHub hub(clock);
  TManualTimer& tm = hub.create(0);
  TTaggedTimedFloatPointList chart;
  TChartCsvAutoSave a(
      chart, tm, [&](const DayTime&, const char*) { return fs::path("no-folder.CSV"); },
      [] { return kStart; });
  const VoltmeterReading r = VoltmeterReading::measured(kStart, 1, 1);
  chart.Add(r);
  EXPECT_EQ(a.chartReading(r, kStart, 0), -192);
  EXPECT_FALSE(tm.isActive());
  chart.Add(r);
  EXPECT_EQ(a.chartReading(r, kStart, 0), -192);  // tried again with the next reading
  TChartCsvAutoSave unnamed(chart, tm, {}, [] { return kStart; });
  EXPECT_EQ(unnamed.chartReading(r, kStart, 0), -1001);
}

// The record steps reach the chart file through the files decorator; everything else passes.
TEST_F(ChartCsv, VoltmeterReadingsWithAutomaticCsvReachTheChartFile) {
  struct Inner : IRecordFiles {
    int appended = 0;
    int appendVoltmeterReading(const VoltmeterReading&) override { return ++appended, 0; }
  } inner;
  ManualClock clock;
  TManualTimerHub hub(clock);
  TManualTimer& tm = hub.create(0);
  TMeasureData data;
  DayTime now = kStart;
  data.setClock([&] { return now; });
  TChartCsvAutoSave chart(
      data.chartList(), tm,
      [&](const DayTime&, const char* ext) { return root_ / (std::string("chart.") + ext); },
      [&] { return now; });
  TChartCsvRecordFiles files(inner, chart);
  data.setFiles(&files);
  SettingsRecord s = SettingsRecord::defaults();
  s.autoSaveMode = 1;
  data.setSettings(s);
  data.voltmeterRunStarted(false);
  const std::uint8_t eight[8] = {};
  const VoltmeterReplyRecord rec = makeVoltmeterReplyRecord(kModeVMA0, eight);
  data.voltmeterReply(rec, {0.5, 0.25, "V RMS"});
  now = dtAddSeconds(now, 0.5);
  data.voltmeterReply(rec, {0.75, 0.125, "V RMS"});
  EXPECT_EQ(files.appendVoltmeterReading(VoltmeterReading{}), 0);
  EXPECT_EQ(inner.appended, 3);  // two readings of the run and the direct call
  hub.advance(2000);
  const QStringList rows = rowsOf(root_ / "chart.CSV");
  ASSERT_EQ(rows.size(), 7);
  EXPECT_EQ(rows[0], QStringLiteral(" 0,000000\t 0,500000\t 0,250000\tDevice\t"));
  EXPECT_EQ(rows[1], QStringLiteral(" 0,500000\t 0,750000\t 0,125000\tDate\t04.24.24\tMM.DD.YY"));
}

// RUN empties the chart the file mirrors: a run started within the file's pause, a series or a
// single shot, gets a file of its own, with its own time, instead of running on in the last
// run's file.
TEST_F(ChartCsv, ANewRunWithinThePauseStartsItsOwnFile) {
  ManualClock clock;
  TManualTimerHub hub(clock);
  TManualTimer& tm = hub.create(0);
  fs::path folder;
  ASSERT_EQ(prepareDeviceFolders(root_, QStringLiteral("TVS00001"), folder), 0);
  TMeasureData data(folder);
  data.initNumbering();
  DayTime now = kStart;
  data.setClock([&] { return now; });
  SettingsRecord s = SettingsRecord::defaults();
  s.autoSaveMode = 1;
  s.singleShot = false;
  data.setSettings(s);
  TRecordFiles files(data, [] { return QStringLiteral("TVS00001"); });
  data.setFiles(&files);
  const auto chart = attachChartCsv(
      data, &files, tm, [&] { return folder; }, [] { return QStringLiteral("TVS00001"); },
      [] { return kModeVMD0; });
  const std::uint8_t eight[8] = {};
  const VoltmeterReplyRecord rec = makeVoltmeterReplyRecord(kModeVMD0, eight);
  const auto series = [&](double startAfter, double value) {
    now = dtAddSeconds(now, startAfter);
    data.clearChartList();
    data.voltmeterRunStarted(false);
    data.voltmeterRunStarted(false);  // the series' next run command changes nothing
    for (int i = 0; i < 3; ++i) {
      if (i > 0) now = dtAddSeconds(now, 0.25);
      hub.advance(250);
      data.voltmeterReply(rec, {value + i, -value, "V DC"});
    }
    data.voltmeterStopped();
  };
  series(0.0, 1.0);
  // The next series 0.5 s after the last reading, well within the pause.
  hub.advance(500);
  series(0.5, 10.0);
  ASSERT_TRUE(chart->saver().isOpen());
  // A single shot within the pause ends the open file as well: its RUN emptied the list the
  // file mirrors, and its file is named by its own time like its headline.
  hub.advance(1999);
  data.clearChartList();
  data.voltmeterRunStarted(true);
  EXPECT_FALSE(chart->saver().isOpen());
  EXPECT_EQ(data.measurementTime(), now);
  data.voltmeterReply(rec, {5.0, -5.0, "V DC"});
  hub.advance(2000);
  EXPECT_FALSE(chart->saver().isOpen());
  // A single shot after the pause: a file named by its own time, not by the last series' start.
  now = dtAddSeconds(now, 3.0);
  data.clearChartList();
  data.voltmeterRunStarted(true);
  data.voltmeterReply(rec, {7.0, -7.0, "V DC"});
  hub.advance(2000);

  std::vector<fs::path> csv;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.path().extension() == ".CSV") csv.push_back(e.path());
  std::sort(csv.begin(), csv.end());
  ASSERT_EQ(csv.size(), 4u);
  const QStringList first = rowsOf(csv[0]), second = rowsOf(csv[1]);
  EXPECT_EQ(csv[2].filename(), "143016_620_VMD0.CSV");
  EXPECT_EQ(rowsOf(csv[2])[0], QStringLiteral(" 0,000000\t 5,000000\t-5,000000\tDevice\tTVS00001"));
  EXPECT_EQ(rowsOf(csv[2])[1], QStringLiteral("\t\t\tDate\t04.24.24\tMM.DD.YY"));
  EXPECT_EQ(csv[3].filename(), "143019_620_VMD0.CSV");
  EXPECT_EQ(rowsOf(csv[3])[0],
            QStringLiteral(" 0,000000\t 7,000000\t-7,000000\tDevice\tTVS00001"));
  ASSERT_EQ(first.size(), 7);
  ASSERT_EQ(second.size(), 7);
  EXPECT_EQ(first[2],
            QStringLiteral(" 0,500000\t 3,000000\t-1,000000\tTime\t14:30:15.120\tHH:MM:SS.ms"));
  EXPECT_EQ(second[0], QStringLiteral(" 0,000000\t10,000000\t-10,000000\tDevice\tTVS00001"));
  EXPECT_EQ(second[2], QStringLiteral(" 0,500000\t12,000000\t-10,000000\tTime\t14:30:16.120\t"
                                      "HH:MM:SS.ms"));
  EXPECT_EQ(second[3], QStringLiteral("\t\t\tUnit\tV"));
}

}  // namespace
}  // namespace tolv
