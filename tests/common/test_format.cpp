#include <gtest/gtest.h>

#include <QDate>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

#include "common/format.h"
#include "common/regional.h"

using namespace tolv;

namespace {

std::string viaPrintf(double v, int w, int d, char sep) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%*.*f", w, d, v);
  std::string s(buf);
  auto p = s.find('.');
  if (p != std::string::npos) s[p] = sep;
  return s;
}

void expectSame(double v, int w, int d, char sep = ',') {
  char out[512];
  int n = formatFixed(out, v, w, d, sep);
  std::string want = viaPrintf(v, w, d, sep);
  ASSERT_EQ(std::string(out), want) << "v=" << v << " w=" << w << " d=" << d;
  ASSERT_EQ(n, int(want.size()));
}

DayTime stamp(int y, int mo, int d, int h, int mi, double s) {
  DayTime t;
  t.day = static_cast<std::int32_t>(QDate(y, mo, d).toJulianDay() - 1721425);
  t.seconds = h * 3600.0 + mi * 60.0 + s;
  return t;
}

class GermanRegion : public ::testing::Test {
 protected:
  void SetUp() override {
    regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss t"));
  }
  void TearDown() override { regional().reload(); }
};

}  // namespace

TEST(FormatFixed, MatchesPrintfOnEdgeValues) {
  const double edge[] = {0.0,
                         -0.0,
                         0.5,
                         1.5,
                         2.5,
                         -2.5,
                         0.0000005,
                         0.0000015,
                         0.0000025,
                         -0.0000005,
                         1e15,
                         -1e15,
                         1e16,
                         1e300,
                         -1e-300,
                         123.456,
                         9.9999995,
                         9.99999949,
                         0.125,
                         0.375,
                         2.675,
                         1.005,
                         -1e-7,
                         4503599627370495.5,
                         std::numeric_limits<double>::denorm_min(),
                         std::numeric_limits<double>::max(),
                         std::numeric_limits<double>::lowest()};
  for (double v : edge)
    for (int d : {0, 1, 2, 3, 6, 9, 15, 17})
      for (int w : {0, 9, 20}) expectSame(v, w, d);
}

TEST(FormatFixed, NonFiniteAndOddArgumentsFollowPrintf) {
  for (double v :
       {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
    expectSame(v, 9, 6);
  expectSame(3.25, -12, 2);  // left-justified
  expectSame(3.25, 9, -1);   // negative precision means the default
  expectSame(3.25, 200, 30);
}

TEST(FormatFixed, MatchesPrintfOnRandomValues) {
  std::mt19937_64 rng(12345);
  std::uniform_real_distribution<double> small(-10.0, 10.0);
  std::uniform_int_distribution<int> expo(-12, 18);
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int i = 0; i < 200000; ++i) {
    double v = small(rng);
    if (i % 3 == 1) v *= std::pow(10.0, expo(rng));
    if (i % 7 == 2) v = std::round(v * 1000.0) / 1000.0 + 0.0005;  // near decimal ties
    expectSame(v, 9, 6);
    if (i % 5 == 0) expectSame(v, 0, i % 16, '.');
  }
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t b = bits(rng);
    double v;
    static_assert(sizeof v == sizeof b);
    std::memcpy(&v, &b, sizeof v);
    expectSame(v, 9, 6);
  }
}

TEST(FormatFixed, CapacityIsHonouredAndWrappersAgree) {
  char small[8];
  EXPECT_EQ(formatFixed(small, sizeof small, 123456.5, 9, 6, ','), -1);
  EXPECT_EQ(small[0], 0);
  EXPECT_EQ(fixedText(-1.25, 10, 6, ','), " -1,250000");
  EXPECT_EQ(fixedQText(2.5, 0, 1, QLatin1Char(',')), QStringLiteral("2,5"));
  std::string row;
  appendFixed(row, 1e300, 0, 2, '.');
  EXPECT_EQ(row, viaPrintf(1e300, 0, 2, '.'));
}

TEST(ValueText, Durations) {
  EXPECT_EQ(valueText(90, 4, "s"), QStringLiteral("01:30 mm:ss"));
  EXPECT_EQ(valueText(120, 4, "s"), QStringLiteral("2 min"));
  EXPECT_EQ(valueText(7200, 4, "s"), QStringLiteral("2 h"));
  EXPECT_EQ(valueText(3660, 4, "s"), QStringLiteral("01:01 hh:mm"));
  EXPECT_EQ(valueText(3661, 4, "s"), QStringLiteral("01:01:01 hh:mm:ss"));
  EXPECT_EQ(valueText(86400 + 3661, 4, "s"), QStringLiteral("1 01:01:01 d hh:mm:ss"));
  EXPECT_EQ(valueText(-90.4, 4, "s"), QStringLiteral("-01:30 mm:ss"));
  // A minute or less, and the far end, stay engineering numbers.
  EXPECT_EQ(valueText(60, 4, "s"), QStringLiteral("60 s"));
  EXPECT_EQ(valueText(3e9, 4, "s"), QStringLiteral("3 Gs"));
}

TEST(ValueText, PercentAndEngineering) {
  EXPECT_EQ(valueText(0.5, 4, "%"), QStringLiteral("0.5000 %"));
  EXPECT_EQ(valueText(5, 4, "%"), QStringLiteral("5.000 %"));
  EXPECT_EQ(valueText(50, 4, "%"), QStringLiteral("50.00 %"));
  EXPECT_EQ(valueText(500, 4, "%"), QStringLiteral("500 %"));
  EXPECT_EQ(valueText(0.0012345, 4, "s"), QStringLiteral("1.234 ms"));
  EXPECT_EQ(valueText(0.0, 4, "V"), QStringLiteral("0 V"));
  EXPECT_EQ(valueText(-12346, 4, "V"), QStringLiteral("-12.35 kV"));
  EXPECT_EQ(valueText(2.5e-6, 2, "A"), QStringLiteral("2.5 ") + QChar(0x00B5) + "A");
  EXPECT_EQ(valueText(999.96, 4, "V"), QStringLiteral("1 kV"));
  EXPECT_EQ(valueText(1.5e-18, 3, "F"), QStringLiteral("1.5E-18 F"));
  EXPECT_EQ(valueText(4.2e15, 3, "Hz"), QStringLiteral("4.2E+15 Hz"));
  EXPECT_EQ(valueText(5e14, 3, "Hz"), QStringLiteral("500 THz"));
  EXPECT_EQ(engText(0.25, 3, "V", false), QStringLiteral("250mV"));
  EXPECT_EQ(valueText(std::nan(""), 3, "V"), QStringLiteral("NaN V"));
}

TEST_F(GermanRegion, StampTexts) {
  EXPECT_EQ(regional().longTimeFormat(), QStringLiteral("HH:mm:ss"));
  DayTime t = stamp(2024, 3, 5, 14, 30, 12.5);
  EXPECT_EQ(dateText(t), QStringLiteral("05.03.2024"));
  EXPECT_EQ(timeText(t), QStringLiteral("14:30:12.500"));
  EXPECT_EQ(timeText(stamp(2024, 3, 5, 14, 30, 12.123456)), QStringLiteral("14:30:12.123456"));
  EXPECT_EQ(dateTimeText(t), QStringLiteral("05.03.2024  14:30:12.5"));
  EXPECT_EQ(dateTimeText(stamp(2024, 3, 5, 14, 30, 12)), QStringLiteral("05.03.2024  14:30:12.0"));
  EXPECT_EQ(fileNameStamp(t), QStringLiteral("20240305/143012"));
  // Microsecond rounding that reaches midnight moves to the next day.
  EXPECT_EQ(fileNameStamp(stamp(2024, 3, 5, 23, 59, 59.9999996)),
            QStringLiteral("20240306/000000"));
}

TEST(Regional, TimeZoneIsStripped) {
  EXPECT_EQ(RegionalSettings::stripTimeZone(QStringLiteral("HH:mm:ss tttt")),
            QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(RegionalSettings::stripTimeZone(QStringLiteral("h:mm:ss AP t")),
            QStringLiteral("h:mm:ss AP"));
  EXPECT_EQ(RegionalSettings::stripTimeZone(QStringLiteral("HH 'at' mm")),
            QStringLiteral("HH 'at' mm"));
  EXPECT_EQ(decimalSeparatorSetting(), QLatin1Char(','));
  EXPECT_EQ(columnSeparatorSetting(), QLatin1Char('\t'));
}
