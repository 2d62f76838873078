// Scale cells that are no numbers, and decimal marks that equal the column separator: the
// data file of a cycle always reads back with the values in use.
#include <fstream>
#include <iterator>

#include "multi_rig.h"

namespace tolv::test {
namespace {

using MultiScaleCells = MultiRig;

TEST_F(MultiScaleCells, OnlyUsableNumbersEnterNumberCells) {
  members_.add(QStringLiteral("A1"));
  TMultiCollection& c = makeActive();
  for (const char* bad : {"2.5 V/V", "", "  ", "abc", "1,000.5", "1e400", "inf", "nan", "0x10",
                          "1.0000001e15", "-2e15", "5-", "e3"}) {
    EXPECT_FALSE(c.setScaleCell(1, 2, QString::fromUtf8(bad))) << bad;
    EXPECT_EQ(c.row(1).factor, "1.0") << bad;
  }
  for (const char* good : {" 2,5 ", "-1e3", "+.5", "1.", "1e15", "-1E-300", "0"}) {
    EXPECT_TRUE(c.setScaleCell(1, 3, QString::fromUtf8(good))) << good;
    EXPECT_EQ(c.row(1).offset, QString::fromUtf8(good));
  }
  // A unit is any text, even one that looks like a number.
  EXPECT_TRUE(c.setScaleCell(2, 1, QStringLiteral("2.5 V/V")));
  EXPECT_FALSE(c.setScaleCell(0, 2, QStringLiteral("1")));
  EXPECT_FALSE(c.setScaleCell(1, 6, QStringLiteral("1")));
  double v = 0;
  EXPECT_TRUE(scaleCellNumber(QStringLiteral("-0,125"), &v));
  EXPECT_EQ(v, -0.125);
}

// A refused factor keeps the last valid one: the channel is scaled by it, not zeroed, and the
// data file of the cycle reads back.
TEST_F(MultiScaleCells, DataFileAfterARefusedCellReadsBackWithTheValueInUse) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 200);
  FakeMember& b = members_.add(QStringLiteral("B2"), 200);
  TMultiCollection& c = makeActive();
  ASSERT_TRUE(c.setScaleCell(1, 2, QStringLiteral("2")));
  EXPECT_FALSE(c.setScaleCell(1, 2, QStringLiteral("2.5 V/V")));
  EXPECT_FALSE(c.setScaleCell(3, 4, QStringLiteral("-1 V")));
  const double a5 = a.ch1()[5];
  c.runClicked();
  c.recordArrived(a.notice());
  c.recordArrived(b.notice());
  ASSERT_EQ(c.cycleFiles().size(), 2);
  const auto name = root_ / "cycle.CSV";
  ASSERT_EQ(c.saveDataFile(name), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(name, '\t', r), 0);
  EXPECT_EQ(r.factorOffset.Get(0).x, 2.0);
  EXPECT_EQ(r.scaleRange.Get(2).x, 0.0);
  EXPECT_NEAR(r.points.At(0).Items()[5].y, a5 * 2, 1e-6);
}

// A scalings file with cells that are no numbers (edited by hand, or written before the
// table checked its cells) keeps the table's values for them.
TEST_F(MultiScaleCells, ScalingsFileCellsThatAreNoNumbersKeepTheTableValues) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 100);
  {
    ScalingsData d;
    d.rows.resize(2);
    d.rows[0].unit = QStringLiteral("bar");
    d.rows[0].factor = QStringLiteral("2.5 V/V");
    d.rows[0].offset = QStringLiteral("0,5");
    d.rows[1].max = QStringLiteral("ten");
    d.colours.Set(1, 0x123456);
    d.colours.Set(2, 0x654321);
    d.checked = {true};
    ASSERT_EQ(writeScalingsFile(multiFolder() / "Scalings.TXT", d), 0);
  }
  TMultiCollection& c = makeActive();
  EXPECT_EQ(c.row(1).unit, "bar");
  EXPECT_EQ(c.row(1).factor, "1.0");
  EXPECT_EQ(c.row(1).offset, "0,5");
  EXPECT_EQ(c.row(2).max, "0.0");
  EXPECT_EQ(c.rowColour(1), 0x123456u);
  c.runClicked();
  c.recordArrived(a.notice());
  const auto name = root_ / "one.CSV";
  ASSERT_EQ(c.saveDataFile(name), 0);
  TREADing r;
  ASSERT_EQ(readMultiDataFile(name, '\t', r), 0);
  EXPECT_EQ(r.factorOffset.Get(0).x, 1.0);
  EXPECT_EQ(r.factorOffset.Get(0).y, 0.5);
  // The next save writes the values in use.
  ASSERT_EQ(c.saveScalings(c.scalingsPath()), 0);
  ScalingsData back;
  back.rows.resize(2);
  back.checked = {false};
  ASSERT_EQ(readScalingsFile(c.scalingsPath(), back), 0);
  EXPECT_EQ(back.rows[0].factor, "1.0");
  EXPECT_EQ(back.rows[1].max, "0.0");
}

// The data file uses the system's decimal mark; where that is also the column separator the
// numbers take the other mark, so every cell still reads back.
TEST_F(MultiScaleCells, DecimalMarkNeverEqualsTheColumnSeparator) {
  FakeMember& a = members_.add(QStringLiteral("A1"), 50);
  FakeMember& b = members_.add(QStringLiteral("B2"), 50);
  TMultiCollection& c = makeActive();
  ASSERT_TRUE(c.setScaleCell(1, 2, QStringLiteral("1,5")));
  struct Case {
    char dec, sep, written;
  };
  for (const Case k :
       {Case{',', ',', '.'}, Case{'.', '.', ','}, Case{',', ';', ','}, Case{'.', ',', '.'}}) {
    regional().pin(QLatin1Char(k.dec), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    setColumnSeparatorSetting(QLatin1Char(k.sep));
    for (FakeMember* m : {&a, &b})
      for (int i = 0; i < 50; ++i) m->ch1()[std::size_t(i)] = 0.25 + i;
    c.runClicked();
    c.recordArrived(a.notice());
    c.recordArrived(b.notice());
    const auto name = root_ / (std::string("sep_") + k.dec + ".CSV");
    ASSERT_EQ(c.saveDataFile(name), 0);
    TREADing r;
    ASSERT_EQ(readMultiDataFile(name, k.sep, r), 0) << k.dec << k.sep;
    ASSERT_EQ(r.deviceCount, 2);
    EXPECT_NEAR(dtDiffSeconds(r.time, a.time), 0.0, 1e-6) << k.dec << k.sep;
    EXPECT_EQ(r.factorOffset.Get(0).x, 1.5);
    EXPECT_NEAR(r.points.At(0).Items()[3].y, 3.25 * 1.5, 1e-6) << k.dec << k.sep;
    EXPECT_NEAR(r.points.At(1).Items()[3].y, 3.25, 1e-6);
    // The scaled value 4.875 in the first data line of device A.
    const std::string bytes = [&] {
      std::ifstream in(name, std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    EXPECT_NE(bytes.find(std::string("4") + k.written + "875000"), std::string::npos)
        << k.dec << k.sep;
  }
}

}  // namespace
}  // namespace tolv::test
