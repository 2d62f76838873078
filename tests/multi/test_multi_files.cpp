// The multi-device files: device file layout, merging with padding, reading back, the
// scalings file and the name rules, and what damaged files give.
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <fstream>
#include <limits>

#include "multi_rig.h"

namespace tolv::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put(const fs::path& p, const std::string& s) {
  std::ofstream out(p, std::ios::binary);
  out << s;
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::size_t e = s.find("\r\n", pos);
    if (e == std::string::npos) e = s.size();
    out.push_back(s.substr(pos, e - pos));
    pos = e + 2;
  }
  return out;
}

int cells(const std::string& line) {
  return int(std::count(line.begin(), line.end(), '\t')) + 1;
}

DayTime stamp(int h, int m, int s, int ms) {
  return dtFromQDateTime(QDateTime(QDate(2007, 3, 15), QTime(h, m, s, ms)));
}

// A device file as a cycle writes it: head plus one line per sample.
fs::path deviceFile(const fs::path& folder, const QString& serial, int n, double scale = 1.0,
                    char sep = '\t', DeviceFileHead h = {}) {
  h.serial = serial;
  h.time = stamp(14, 30, 12, 250);
  h.depth = n;
  h.colours = {0xFF0000, 0x00FF00};
  h.rows[1].min = QStringLiteral("-1,5");
  h.rows[1].max = QStringLiteral("2.5");
  std::string s;
  appendDeviceFileHead(s, h, sep, '.');
  for (int k = 0; k < n; ++k)
    appendDeviceFileLine(s, -0.0005 + k * 1e-6, scale * 0.001 * k, -0.25, sep, '.');
  const fs::path p = folder / pathFromText(serial + QStringLiteral(".CSV"));
  put(p, s);
  return p;
}

using MultiFiles = MultiRig;

TEST_F(MultiFiles, DeviceFileHeadAndDataLines) {
  const fs::path p = deviceFile(root_, QStringLiteral("TX01"), 3);
  const auto l = lines(slurp(p));
  ASSERT_EQ(l.size(), 14u);
  EXPECT_EQ(l[0], "TX01\t \t ");
  EXPECT_EQ(l[1], "Date of measurement\t03.15.2007\tMM.DD.YYYY");
  EXPECT_EQ(l[2], "Time of measurement\t14:30:12.250\tHH:MM:SS.ms");
  EXPECT_EQ(l[3], "Memory Depth\t3");
  EXPECT_EQ(l[4], " \tChannel 1\tChannel 2");
  EXPECT_EQ(l[5], "Colors\t16711680\t65280");
  EXPECT_EQ(l[6], "dY/dV\t1.0\t1.0");
  EXPECT_EQ(l[8], "Y scale min\t0.0\t-1.5");  // the system separator replaces ","
  EXPECT_EQ(l[10], "s\tV\tV");
  EXPECT_EQ(l[11], " -0.000500\t 0.000000\t-0.250000");
  EXPECT_EQ(l[13], " -0.000498\t 0.002000\t-0.250000");
}

TEST_F(MultiFiles, DateAndTimeCellsKeepOneShapeUnderOtherRegionalFormats) {
  regional().pin(QLatin1Char(','), QStringLiteral("M/d/yyyy"), QStringLiteral("h:mm:ss AP"));
  const DayTime t = stamp(21, 5, 7, 40);
  EXPECT_EQ(multiTimeText(t), "21:05:07.040");
  DayTime back;
  ASSERT_EQ(multiStampFromTexts(multiDateText(t), multiTimeText(t), back), 0);
  EXPECT_EQ(dtToQDateTime(back), dtToQDateTime(t));
  EXPECT_EQ(multiDateText(t), "03.15.2007");
  EXPECT_EQ(multiStampFromTexts(QStringLiteral("3/15/2007"), QStringLiteral("9:05 PM"), back),
            kNotANumber);
  ASSERT_EQ(multiStampFromTexts(QStringLiteral("3/15/2007"), QStringLiteral("21:05:07"), back),
            0);  // the regional date of a hand-made file
  EXPECT_EQ(dtToQDateTime(back).date(), QDate(2007, 3, 15));
  // Microseconds are kept; the first twelve characters stay "HH:MM:SS.mmm" for readers that
  // take the milliseconds at fixed places. A rounding that reaches the next second carries.
  const DayTime fine = dtAddSeconds(t, 0.000417);
  EXPECT_EQ(multiTimeText(fine), "21:05:07.040417");
  int digits = -1;
  ASSERT_EQ(multiStampFromTexts(multiDateText(fine), multiTimeText(fine), back, &digits), 0);
  EXPECT_EQ(digits, 6);
  EXPECT_NEAR(dtDiffSeconds(back, fine), 0.0, 1e-7);
  EXPECT_EQ(multiTimeText(dtAddSeconds(t, 0.9599996)), "21:05:08.000");
  // Finer than microseconds: cut.
  ASSERT_EQ(
      multiStampFromTexts(multiDateText(t), QStringLiteral("21:05:07.1234567"), back, &digits), 0);
  EXPECT_EQ(digits, 6);
  EXPECT_NEAR(dtDiffSeconds(back, stamp(21, 5, 7, 0)), 0.123456, 1e-7);
  ASSERT_EQ(multiStampFromTexts(multiDateText(t), QStringLiteral("21:05:07.1234567890123"),
                                back, &digits),
            0);
  EXPECT_NEAR(dtDiffSeconds(back, stamp(21, 5, 7, 0)), 0.123456, 1e-7);
  // Just before midnight the date and time cells name one moment: neither rounds into the next
  // day without the other.
  const DayTime lastMs = dtAddSeconds(stamp(23, 59, 59, 0), 0.9997);
  EXPECT_EQ(multiDateText(lastMs), "03.15.2007");
  EXPECT_EQ(multiTimeText(lastMs), "23:59:59.9997");
  ASSERT_EQ(multiStampFromTexts(multiDateText(lastMs), multiTimeText(lastMs), back), 0);
  EXPECT_NEAR(dtDiffSeconds(back, lastMs), 0.0, 1e-7);
  const DayTime nextDay = dtAddSeconds(stamp(23, 59, 59, 0), 0.9999996);
  EXPECT_EQ(multiDateText(nextDay), "03.16.2007");
  EXPECT_EQ(multiTimeText(nextDay), "00:00:00.000");
  ASSERT_EQ(multiStampFromTexts(multiDateText(nextDay), multiTimeText(nextDay), back), 0);
  EXPECT_NEAR(dtDiffSeconds(back, nextDay), 0.0, 1e-6);
  ASSERT_EQ(multiStampFromTexts(multiDateText(t), QStringLiteral("21:05:07"), back, &digits), 0);
  EXPECT_EQ(digits, 0);
  for (const char* bad : {"21:05:07.", "21:05:07.04x", "21:65:07.040", "21:05"})
    EXPECT_EQ(multiStampFromTexts(multiDateText(t), QString::fromLatin1(bad), back), kNotANumber)
        << bad;
}

TEST_F(MultiFiles, EqualDepthsGiveSixCellsEveryLine) {
  std::vector<fs::path> f = {deviceFile(root_, QStringLiteral("B2"), 50),
                             deviceFile(root_, QStringLiteral("A1"), 50)};
  std::string merged;
  ASSERT_EQ(mergeDeviceFiles(f, '\t', merged), 0);
  const auto l = lines(merged);
  ASSERT_EQ(l.size(), 61u);
  for (const auto& line : l) EXPECT_EQ(cells(line), 6) << line;
  EXPECT_EQ(l[0], "A1\t \t \tB2\t \t ");  // sorted by name
  // The two-cell depth line is padded, so the second device still starts at cell 4, and the
  // last device's as well, so the line has as many cells as the others.
  EXPECT_EQ(l[3], "Memory Depth\t50\t \tMemory Depth\t50\t ");
}

// Three devices: every line of the file has nine cells, the depth line too, as a strict CSV
// reader and pandas see it; the program's own reader takes the file back.
TEST_F(MultiFiles, ThreeDevicesGiveATableOfNineCellRows) {
  std::vector<fs::path> f = {deviceFile(root_, QStringLiteral("A1"), 40),
                             deviceFile(root_, QStringLiteral("B2"), 40),
                             deviceFile(root_, QStringLiteral("C3"), 40)};
  const fs::path out = root_ / "three.CSV";
  ASSERT_EQ(writeMultiDataFile(out, f, '\t'), 0);
  const auto l = lines(slurp(out));
  ASSERT_EQ(l.size(), 51u);
  for (const auto& line : l) EXPECT_EQ(cells(line), 9) << line;
  TREADing r;
  ASSERT_EQ(readMultiDataFile(out, '\t', r), 0);
  EXPECT_EQ(r.depths.Get(2), 40);
  EXPECT_EQ(r.points.At(2).Count(), 40);
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "no python3";
  QProcess py;
  py.start("/usr/bin/python3",
           {"-c",
            "import sys,csv,pandas as p\n"
            "rows=list(csv.reader(open(sys.argv[1],newline=''),delimiter='\\t'))\n"
            "print(sorted(set(len(x) for x in rows)))\n"
            "h=p.read_csv(sys.argv[1],sep='\\t',header=None,nrows=11,dtype=str)\n"
            "d=p.read_csv(sys.argv[1],sep='\\t',header=None,skiprows=11)\n"
            "print(h.shape, h.iloc[3,7].strip(), d.shape, d.dtypes.iloc[8])",
            pathText(out)});
  ASSERT_TRUE(py.waitForFinished(60000));
  if (py.exitCode() != 0 && py.readAllStandardError().contains("No module named"))
    GTEST_SKIP() << "pandas is not installed";
  EXPECT_EQ(QString::fromUtf8(py.readAllStandardOutput()).trimmed().toStdString(),
            "[9]\n(11, 9) 40 (40, 9) float64");
}

TEST_F(MultiFiles, ShorterFirstDeviceIsPaddedAndTheFileReadsBack) {
  std::vector<fs::path> f = {deviceFile(root_, QStringLiteral("A"), 1000),
                             deviceFile(root_, QStringLiteral("B"), 2000, 2.0)};
  const fs::path out = root_ / "sub" / "m.CSV";
  ASSERT_EQ(writeMultiDataFile(out, f, '\t'), 0);
  const auto l = lines(slurp(out));
  ASSERT_EQ(l.size(), 2011u);
  EXPECT_EQ(cells(l[1010]), 6);  // line 1011: A's last sample
  EXPECT_EQ(l[1011].substr(0, 6), " \t \t \t");  // line 1012: three blank cells, then B
  EXPECT_EQ(l[1011].substr(6), "  0.000500\t 2.000000\t-0.250000");
  TREADing r;
  ASSERT_EQ(readMultiDataFile(out, '\t', r), 0);
  ASSERT_EQ(r.deviceCount, 2);
  EXPECT_EQ(r.names, QStringList({QStringLiteral("A"), QStringLiteral("B")}));
  EXPECT_EQ(r.points.At(0).Count(), 1000);
  EXPECT_EQ(r.points.At(1).Count(), 2000);
  EXPECT_DOUBLE_EQ(r.points.At(1).Items()[1999].y, 2.0 * 0.001 * 1999);
  EXPECT_EQ(r.scaleRange.Items()[3], (FPoint{-1.5, 2.5}));
  EXPECT_EQ(r.colours.Items()[1], 0x00FF00);
  EXPECT_EQ(r.units.value(4), "V");
  EXPECT_EQ(dtToQDateTime(r.time), dtToQDateTime(stamp(14, 30, 12, 250)));
  // The other way round: the later device ends early, lines just get shorter.
  std::vector<fs::path> g = {deviceFile(root_, QStringLiteral("A"), 2000),
                             deviceFile(root_, QStringLiteral("B"), 1000)};
  ASSERT_EQ(writeMultiDataFile(out, g, '\t'), 0);
  EXPECT_EQ(cells(lines(slurp(out))[1011]), 3);
  ASSERT_EQ(readMultiDataFile(out, '\t', r), 0);
  EXPECT_EQ(r.points.At(1).Count(), 1000);
}

// Whatever a data line holds, the file reads back: even the widest number "%f" writes (the
// largest double, over 300 digits) is a number, not damage.
TEST_F(MultiFiles, ExtremeValuesReadBack) {
  DeviceFileHead h;
  h.serial = QStringLiteral("A");
  h.time = stamp(9, 0, 0, 0);
  h.depth = 2;
  std::string s;
  appendDeviceFileHead(s, h, ';', ',');
  const double big = std::numeric_limits<double>::max();
  appendDeviceFileLine(s, 0.0, big, -1e57, ';', ',');
  appendDeviceFileLine(s, 1e-3, -big, 1e300, ';', ',');
  const fs::path out = root_ / "big.CSV";
  ASSERT_EQ(writeMultiDataFile(out, {root_ / "A.CSV"}, ';'), 2);
  put(root_ / "A.CSV", s);
  ASSERT_EQ(writeMultiDataFile(out, {root_ / "A.CSV"}, ';'), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(out, ';', r), 0);
  ASSERT_EQ(r.points.At(0).Count(), 2);
  EXPECT_EQ(r.points.At(0).Items()[0].y, big);
  EXPECT_EQ(r.points.At(0).Items()[0].z, -1e57);
  EXPECT_EQ(r.points.At(0).Items()[1].y, -big);
  EXPECT_EQ(r.points.At(0).Items()[1].z, 1e300);
  // Longer than any written number is still damage.
  put(out, slurp(out) + std::string(400, '1') + ";1;1\r\n");
  EXPECT_EQ(readMultiDataFile(out, ';', r), kNotANumber);
}

// A unit typed with the column separator or a line break in it keeps its line's cells: the
// merged file reads back with its three units per device.
TEST_F(MultiFiles, UnitWithTheColumnSeparatorKeepsTheUnitLineWhole) {
  for (const char sep : {';', '\t', ','}) {
    SCOPED_TRACE(int(sep));
    DeviceFileHead h;
    h.serial = QStringLiteral("TX09");
    h.time = stamp(9, 0, 0, 0);
    h.depth = 2;
    h.rows[0].unit = QStringLiteral("V;m\tA,s");
    h.rows[1].unit = QStringLiteral("mV\r\nx");
    const char dec = sep == ',' ? '.' : ',';
    std::string s;
    appendDeviceFileHead(s, h, sep, dec);
    appendDeviceFileLine(s, 0.0, 1.5, -2.0, sep, dec);
    appendDeviceFileLine(s, 1e-3, 1.0, -1.0, sep, dec);
    put(root_ / "TX09.CSV", s);
    const auto l = lines(s);
    ASSERT_EQ(l.size(), 13u);
    EXPECT_EQ(std::count(l[10].begin(), l[10].end(), sep), 2) << l[10];
    const fs::path out = root_ / "units.CSV";
    ASSERT_EQ(writeMultiDataFile(out, {root_ / "TX09.CSV"}, sep), 0);
    TREADing r;
    ASSERT_EQ(readMultiDataFile(out, sep, r), 0);
    ASSERT_EQ(r.units.size(), 3);
    EXPECT_EQ(r.units[0], QStringLiteral("s"));
    QString unit0 = QStringLiteral("V;m\tA,s");
    unit0.replace(QLatin1Char(sep), QLatin1Char(' '));
    EXPECT_EQ(r.units[1], unit0);
    EXPECT_EQ(r.units[2], QStringLiteral("mV  x"));
    ASSERT_EQ(r.points.At(0).Count(), 2);
    EXPECT_EQ(r.points.At(0).Items()[1].z, -1.0);
  }
}

// A file written before the column separator changed reads with its own, whichever is in
// force now (a Tab file of one device looks like three cells to " " as well); a damaged one
// keeps its true reason rather than "no data".
TEST_F(MultiFiles, DataFileReadsWithTheSeparatorItWasWrittenWith) {
  std::string tab;
  ASSERT_EQ(mergeDeviceFiles({deviceFile(root_, QStringLiteral("A"), 20),
                              deviceFile(root_, QStringLiteral("B"), 12, 2.0)},
                             '\t', tab),
            0);
  std::string single;
  ASSERT_EQ(mergeDeviceFiles({root_ / "A.CSV"}, '\t', single), 0);
  TREADing want;
  ASSERT_EQ(readMultiDataBytes(tab, '\t', want), 0);
  for (const char written : {'\t', ',', '.', ';'}) {
    const char dec = written == ',' ? '.' : ',';
    for (const std::string* text : {&tab, &single}) {
      const std::string bytes =
          written == '\t' ? *text : mergedTextWithSeparator(*text, '\t', written, dec);
      // And back to Tab, the stamps a "." split whole again.
      TREADing back;
      ASSERT_EQ(readMultiDataBytes(mergedTextWithSeparator(bytes, written, '\t', '.'), '\t', back),
                0)
          << written;
      EXPECT_EQ(dtDiffSeconds(back.time, want.time), 0.0) << written;
      for (const char inForce : kColumnSeparators) {
        SCOPED_TRACE((std::string{written, inForce} + std::to_string(text->size())));
        TREADing r;
        char found = 0;
        ASSERT_EQ(readMultiDataOwnSep(bytes, inForce, r, found), 0);
        EXPECT_EQ(found, written);
        ASSERT_EQ(r.names.size(), text == &tab ? 2 : 1);
        EXPECT_EQ(r.points.At(0).Items()[19].y, want.points.At(0).Items()[19].y);
      }
    }
  }
  // Written with the blank by the program itself: padded numbers, titles of several words, an
  // empty scale cell and unit, and a device that ends first must all come back in place.
  {
    DeviceFileHead h;
    h.rows[0].offset.clear();
    h.rows[1].unit = QStringLiteral("m V");
    h.rows[0].unit.clear();
    std::string blank;
    ASSERT_EQ(mergeDeviceFiles({deviceFile(root_, QStringLiteral("C"), 20, 1.0, ' ', h),
                                deviceFile(root_, QStringLiteral("D"), 12, 2.0, ' ', h)},
                               ' ', blank),
              0);
    const fs::path file = root_ / "blank.CSV";
    put(file, blank);
    for (const char inForce : kColumnSeparators) {
      TREADing r;
      char found = 0;
      ASSERT_EQ(readMultiDataFile(file, inForce, r, nullptr, &found), 0) << int(inForce);
      EXPECT_EQ(found, ' ');
      EXPECT_EQ(r.names, QStringList({QStringLiteral("C"), QStringLiteral("D")}));
      EXPECT_EQ(r.depths.Get(1), 12);
      EXPECT_EQ(dtDiffSeconds(r.time, want.time), 0.0);
      ASSERT_EQ(r.points.At(1).Count(), 12);
      EXPECT_EQ(r.points.At(0).Items()[19].y, want.points.At(0).Items()[19].y);
      EXPECT_EQ(r.points.At(1).Items()[11].y, want.points.At(1).Items()[11].y);
      EXPECT_EQ(r.factorOffset.Items()[0].y, 0.0);  // the empty offset
      EXPECT_EQ(r.scaleRange.Items()[1].x, -1.5);
      EXPECT_EQ(r.units.at(1), QString());
      EXPECT_EQ(r.units.at(2), QStringLiteral("m_V"));
    }
    // Shown with another separator, its cells are the ones a Tab file has.
    const auto l = lines(mergedTextWithSeparator(blank, ' ', '\t', '.'));
    EXPECT_EQ(l[1], "Date of measurement\t03.15.2007\tMM.DD.YYYY\t"
                    "Date of measurement\t03.15.2007\tMM.DD.YYYY");
    EXPECT_EQ(l[23], "-0.000488\t0.012000\t-0.250000\t \t \t ");
    // A number lost from a line leaves it without its place: damage, not a shifted column.
    std::string cut = blank;
    cut.erase(cut.find("-0.250000"), 9);
    TREADing r;
    EXPECT_EQ(readMultiDataBytes(cut, ' ', r), kNotANumber);
  }

  std::string damaged = tab;
  damaged.replace(damaged.rfind("-0.250000"), 9, "-0.25x000");
  TREADing r = want;
  char found = 0;
  EXPECT_EQ(readMultiDataOwnSep(damaged, ';', r, found), kNotANumber);
  EXPECT_EQ(found, '\t');
  // Cut in its head, with the blank in force: the blank splits only the blank cells, which keep
  // their Tabs, so the file is no blank table and keeps its own reason.
  const std::string head = tab.substr(0, tab.find("Y scale max"));
  EXPECT_EQ(readMultiDataOwnSep(head, ' ', r, found), kMultiFileTooShort);
  EXPECT_EQ(found, '\t');
  // Without its last line end a file is whole when its last line is, blank cells of devices
  // that ended earlier at its end included (a table made rectangular); cut in a number it is not.
  const std::string noEnd = tab.substr(0, tab.size() - 2);
  EXPECT_EQ(probeMultiDataTable(noEnd, ' '), TableProbe::Yes);
  EXPECT_EQ(probeMultiDataTable(noEnd + "\t \t \t ", '\t'), TableProbe::Yes);
  EXPECT_EQ(probeMultiDataTable(tab.substr(0, tab.size() - 5), '\t'), TableProbe::CutOff);
  EXPECT_EQ(readMultiDataOwnSep(std::string(40, '\n'), ';', r, found), kMultiEmpty);
  EXPECT_EQ(found, ';');
  EXPECT_EQ(r.names, want.names);  // left as it was
}

TEST_F(MultiFiles, MergeAndReadRefuseWhatIsNotThere) {
  std::string merged;
  EXPECT_EQ(mergeDeviceFiles({}, '\t', merged), kMultiEmpty);
  EXPECT_EQ(mergeDeviceFiles({root_ / "none.CSV"}, '\t', merged), 2);
  TREADing r;
  EXPECT_EQ(readMultiDataFile(root_ / "none.CSV", '\t', r), 2);
}

TEST_F(MultiFiles, DamagedDataFilesGiveTheirCodeAndLeaveTheReadDataAlone) {
  const fs::path a = deviceFile(root_, QStringLiteral("A"), 20);
  const fs::path b = deviceFile(root_, QStringLiteral("B"), 20);
  std::string good;
  ASSERT_EQ(mergeDeviceFiles({a, b}, '\t', good), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataBytes(good, '\t', r), 0);
  const TREADing before = r;
  auto code = [&](std::string s) { return readMultiDataBytes(s, '\t', r); };
  EXPECT_EQ(code(good.substr(0, good.find("Colors"))), kMultiFileTooShort);  // 5 lines
  EXPECT_EQ(code(good.substr(0, good.size() - 10)), kNotANumber);  // last line cut mid-cell
  const auto cut = good.rfind("\r\n", good.size() - 3);
  EXPECT_EQ(code(good.substr(0, cut + 2)), kMultiFileTooShort);  // one line short of the depth
  EXPECT_EQ(code(std::string("\x01\x02\x03\x00\xff\xfe\r\n", 8) + std::string(400, '\x7f')),
            kMultiFileTooShort);
  std::string binary(4000, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = char((i * 7919) % 256);
  EXPECT_NE(code(binary), 0);
  std::string edited = good;
  edited.replace(edited.rfind("-0.250000"), 9, "-0.2x0000");
  EXPECT_EQ(code(edited), kNotANumber);
  std::string huge = good;
  huge.replace(huge.find("Memory Depth\t20"), 15, "Memory Depth\t9999999999");
  EXPECT_EQ(code(huge), kNotANumber);
  std::string noDevices = "only one cell\r\n" + good.substr(good.find("\r\n") + 2);
  EXPECT_EQ(code(noDevices), kMultiEmpty);
  std::string numbersAfterEnd = good;  // a blank triple in the middle, numbers after it
  const auto l12 = numbersAfterEnd.find(" -0.000500");
  numbersAfterEnd.replace(l12, 30, " \t \t ");
  EXPECT_EQ(code(numbersAfterEnd), kNotANumber);
  EXPECT_EQ(r.points.At(0).Items(), before.points.At(0).Items());
  EXPECT_EQ(r.names, before.names);
}

TEST_F(MultiFiles, AutomaticNameHasADayFolderAndTheFixedPart) {
  const DayTime t = stamp(14, 30, 12, 999);
  EXPECT_EQ(multiDataFileName(root_, t, QStringLiteral("LineA")),
            root_ / "20070315" / "143012_LineA.CSV");
  EXPECT_EQ(multiDataFileName(root_, t, QString()), root_ / "20070315" / "143012.CSV");
  // The fixed part never makes folders nor leaves the day folder.
  EXPECT_EQ(multiDataFileName(root_, t, QStringLiteral("run/1")),
            root_ / "20070315" / "143012_run_1.CSV");
  EXPECT_EQ(multiDataFileName(root_, t, QStringLiteral("../../x\\y\tz")),
            root_ / "20070315" / "143012_.._.._x_y_z.CSV");
}

TEST_F(MultiFiles, ScalingsNameRule) {
  auto fixed = [](fs::path p) {
    EXPECT_EQ(scalingsFileName(p), 0);
    return p.filename().string();
  };
  EXPECT_EQ(fixed("/x/Test.CSV"), "Test_Scalings.TXT");
  EXPECT_EQ(fixed("/x/Line.TXT"), "Line_Scalings.TXT");
  EXPECT_EQ(fixed("/x/Scalings.TXT"), "Scalings.TXT");
  EXPECT_EQ(fixed("/x/My_Scalings.TXT"), "My_Scalings.TXT");
  fs::path noFolder = "Test.CSV";
  EXPECT_EQ(scalingsFileName(noFolder), -192);
}

TEST_F(MultiFiles, OneDeviceGivesThreeBlocks) {
  ScalingsData d;
  d.rows.resize(2);
  d.rows[1].unit = QStringLiteral("A");
  d.colours.Set(1, 0xFF0000);
  d.colours.Set(2, 0x00FF00);
  d.checked = {true};
  const auto l = lines(scalingsText(d));
  const std::vector<std::string> want = {"V", "1.0", "0.0", "0.0", "0.0", "16711680", "T",
                                         "A", "1.0", "0.0", "0.0", "0.0", "65280",
                                         "",  "",    "",    "",    "",    "0",
                                         " "};
  EXPECT_EQ(l, want);
}

TEST_F(MultiFiles, ScalingsRoundTripAndDamage) {
  ScalingsData d;
  d.rows.resize(4);
  d.rows[2].factor = QStringLiteral("2,5");
  for (int r = 1; r <= 5; ++r) d.colours.Set(r, r == 5 ? 0 : 100 * r);
  d.checked = {false, true};
  const fs::path p = root_ / "S_Scalings.TXT";
  ASSERT_EQ(writeScalingsFile(p, d), 0);
  ScalingsData back;
  back.rows.resize(4);
  back.checked = {true, false};
  ASSERT_EQ(readScalingsFile(p, back), 0);
  EXPECT_EQ(back.rows[2].factor, "2,5");
  EXPECT_EQ(back.colours.Items()[3], 300);
  EXPECT_EQ(back.checked, (std::vector<bool>{false, true}));

  const ScalingsData keep = back;
  const std::string text = scalingsText(d);
  auto code = [&](const std::string& s) {
    return readScalingsBytes(QByteArray(s.data(), qsizetype(s.size())), back);
  };
  EXPECT_EQ(code(text.substr(0, 20)), kReadPastEnd);  // cut inside the first block
  std::string bad = text;
  bad.replace(bad.find("100"), 3, "1x0");
  EXPECT_EQ(code(bad), kNotANumber);
  std::string huge = text;
  huge.replace(huge.find("100"), 3, "99999999999");
  EXPECT_EQ(code(huge), kNotANumber);
  EXPECT_EQ(code(std::string(300, '\0')), kReadPastEnd);
  EXPECT_EQ(back.rows[2].factor, keep.rows[2].factor);
  EXPECT_EQ(back.checked, keep.checked);
  EXPECT_EQ(readScalingsFile(root_ / "missing.TXT", back), 2);
}


// A file saved with one device, read when a second device has joined: the file's closing
// block (no device) must leave the new device's first row as it was.
TEST_F(MultiFiles, ScalingsOfFewerDevicesLeaveTheNewDevicesRows) {
  ScalingsData one;
  one.rows.resize(2);
  one.rows[0].factor = QStringLiteral("2.0");
  one.colours.Set(1, 0x123456);
  one.colours.Set(2, 0x654321);
  one.checked = {true};
  const std::string s = scalingsText(one);
  ScalingsData two;
  two.rows.resize(4);
  two.checked = {false, false};
  ASSERT_EQ(readScalingsBytes(QByteArray(s.data(), qsizetype(s.size())), two), 0);
  EXPECT_EQ(two.rows[0].factor, "2.0");
  EXPECT_EQ(two.checked, (std::vector<bool>{true, false}));
  for (int r : {3, 4}) {
    EXPECT_EQ(two.rows[std::size_t(r - 1)].unit, "V") << r;
    EXPECT_EQ(two.rows[std::size_t(r - 1)].factor, "1.0") << r;
  }
  const auto& cols = two.colours.Items();
  EXPECT_EQ(cols[2], 0x654321);
  EXPECT_TRUE(cols.size() <= 3 || cols[3] != 0);  // no black row for the new device
}


// A file that holds a blanked device row (as a fewer-device file once left it) still gives
// the rows and check states after it.
TEST_F(MultiFiles, ScalingsWithABlankedRowKeepTheRowsAfterIt) {
  ScalingsData d;
  d.rows.resize(4);
  d.rows[2] = ScaleRowTexts{QString(), QString(), QString(), QString(), QString()};
  d.rows[3].unit = QStringLiteral("A");
  for (int r = 1; r <= 5; ++r) d.colours.Set(r, r == 3 || r == 5 ? 0 : 100 * r);
  d.checked = {false, true};
  const std::string s = scalingsText(d);
  ScalingsData back;
  back.rows.resize(4);
  back.checked = {false, false};
  ASSERT_EQ(readScalingsBytes(QByteArray(s.data(), qsizetype(s.size())), back), 0);
  EXPECT_EQ(back.rows[2].factor, "1.0");
  EXPECT_EQ(back.rows[3].unit, "A");
  EXPECT_EQ(back.colours.Items()[4], 400);
  EXPECT_EQ(back.checked, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace tolv::test
