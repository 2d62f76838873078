#include <gtest/gtest.h>

#include <QDateTime>

#include "common/daytime.h"
#include "common/format.h"

using namespace tolv;

namespace {
std::array<std::uint8_t, 16> bytes(std::initializer_list<int> v) {
  std::array<std::uint8_t, 16> b{};
  int i = 0;
  for (int x : v) b[i++] = static_cast<std::uint8_t>(x);
  return b;
}
}  // namespace

TEST(DayTimeImage, HalfSecondOfDay693594) {
  DayTime t{0.5, 693594};
  // 0.5 = 2^-1: exponent 16382 = 0x3FFE, mantissa with only the integer bit set.
  EXPECT_EQ(t.toBytes(), bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F, 0, 0, 0x5A, 0x95, 0x0A, 0}));
  DayTime back = DayTime::fromBytes(t.toBytes().data());
  EXPECT_EQ(back, t);
}

TEST(DayTimeImage, LastMillisecondOfDayRoundTrips) {
  DayTime t{86399.999, 1};
  auto b = t.toBytes();
  EXPECT_EQ(b[9], 0x40);  // exponent 16383 + 16 = 0x400F
  EXPECT_EQ(b[8], 0x0F);
  EXPECT_EQ(b[10], 0);
  EXPECT_EQ(b[11], 0);
  EXPECT_EQ(DayTime::fromBytes(b.data()).seconds, 86399.999);
}

TEST(DayTimeImage, ZeroNegativeAndSpecialValues) {
  std::uint8_t b[10];
  encodeExtended80(0.0, b);
  for (auto x : b) EXPECT_EQ(x, 0);
  encodeExtended80(-1.0, b);
  EXPECT_EQ(b[7], 0x80);
  EXPECT_EQ(b[8], 0xFF);
  EXPECT_EQ(b[9], 0xBF);
  EXPECT_EQ(decodeExtended80(b), -1.0);
  encodeExtended80(1e-300, b);
  EXPECT_EQ(decodeExtended80(b), 1e-300);
  // Garbage exponent decodes to a number or infinity, never traps.
  std::uint8_t junk[10] = {1, 2, 3, 4, 5, 6, 7, 8, 0xFF, 0x7F};
  EXPECT_TRUE(std::isnan(decodeExtended80(junk)));
}

TEST(DayTimeArithmetic, NegativeDifferenceNormalisedAcrossMidnight) {
  DayTime a{10.0, 700000};
  DayTime b{86390.0, 700000};
  DayTime d = dtDiff(a, b);
  EXPECT_EQ(d.day, -1);
  EXPECT_DOUBLE_EQ(d.seconds, 20.0);
  EXPECT_DOUBLE_EQ(dtDiffSeconds(a, b), -86380.0);
  auto img = d.toBytes();
  EXPECT_EQ(img[12], 0xFF);
  EXPECT_EQ(img[15], 0xFF);
}

// Stamps read from damaged files: seconds far beyond any day still normalise to a place in
// the day, the day wrapping as the 32-bit day does on both sides of 2^31 days, and print.
TEST(DayTimeArithmetic, NormalisesSecondsBeyondEveryDay) {
  const double day = DayTime::kSecondsPerDay;
  DayTime in = dtNormalise(DayTime{day * 2147483647.0 + 5, 0});
  EXPECT_EQ(in.day, 2147483647);
  EXPECT_EQ(in.seconds, 5.0);
  DayTime past = dtNormalise(DayTime{day * 2147483648.0 + 5, 0});
  EXPECT_EQ(past.day, -2147483647 - 1);
  EXPECT_EQ(past.seconds, 5.0);
  DayTime below = dtNormalise(DayTime{-day * 2147483648.0 - 10, 0});
  EXPECT_EQ(below.day, 2147483647);
  EXPECT_EQ(below.seconds, 86390.0);
  for (double s : {1e300, -1e300, 1.7976931348623157e308, -4.5e18}) {
    const DayTime n = dtNormalise(DayTime{s, 12345});
    EXPECT_GE(n.seconds, 0.0) << s;
    EXPECT_LT(n.seconds, day) << s;
    EXPECT_FALSE(dateTimeText(DayTime{s, 12345}).isEmpty()) << s;
  }
}

TEST(DayTimeArithmetic, AddRatioAndOrder) {
  DayTime a{86000.0, 5};
  DayTime s = dtAddSeconds(a, 1000.0);
  EXPECT_EQ(s.day, 6);
  EXPECT_DOUBLE_EQ(s.seconds, 600.0);
  double r = 7;
  EXPECT_EQ(dtRatio(a, DayTime{}, r), -190);
  EXPECT_EQ(r, 7);
  EXPECT_EQ(dtRatio(DayTime{0, 2}, DayTime{0, 1}, r), 0);
  EXPECT_DOUBLE_EQ(r, 2.0);
  EXPECT_TRUE(dtLess(a, s));
  EXPECT_TRUE(dtLessEqual(a, a));
  EXPECT_FALSE(dtLess(s, a));
}

TEST(DayTimeQt, ConvertsBothWays) {
  QDateTime q(QDate(1899, 12, 30), QTime(0, 0, 0, 500));
  DayTime t = dtFromQDateTime(q);
  EXPECT_EQ(t.day, 693594);
  EXPECT_DOUBLE_EQ(t.seconds, 0.5);
  EXPECT_EQ(dtToQDateTime(t), q);
  EXPECT_EQ(dtToQDateTime(DayTime{86399.9996, 693594}).date(), QDate(1899, 12, 31));
}
