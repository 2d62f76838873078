// Date-time texts as the file headers carry them must read back to the moment they were
// written from, whatever regional settings wrote them.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <cmath>

#include "common/format.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/stamptext.h"

using namespace tolv;

namespace {

DayTime stamp(int y, int mo, int d, int h, int mi, double s) {
  DayTime t;
  t.day = static_cast<std::int32_t>(QDate(y, mo, d).toJulianDay() - 1721425);
  t.seconds = h * 3600.0 + mi * 60.0 + s;
  return t;
}

// Reads one "Date Time" key/value pair the way a header reader does.
int readBack(const QString& value, DayTime& t) {
  LineReader r(QByteArray("Date Time\r\n") + value.toUtf8() + QByteArray("\r\n"));
  return readDateTimeValue(r, t);
}

class StampLocale : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { regional().pin(QLocale(QString::fromLatin1(GetParam()))); }
  void TearDown() override { regional().reload(); }
};

}  // namespace

TEST_P(StampLocale, WrittenTextReadsBackToTheSameMoment) {
  const DayTime moments[] = {
      stamp(2024, 12, 8, 14, 30, 12),         // no fraction
      stamp(2024, 12, 8, 14, 30, 12.5),       //
      stamp(2024, 12, 8, 14, 30, 12.123456),  // all six digits
      stamp(2024, 3, 5, 0, 0, 0),             // midnight
      stamp(2024, 3, 5, 12, 0, 0.25),         // noon: 12 PM, not 0
      stamp(2024, 12, 31, 23, 59, 59.999),    // last moment of a year
      stamp(1999, 1, 2, 9, 5, 7.04),          // one-digit fields, another century
  };
  for (const DayTime& t : moments) {
    const QString text = dateTimeText(t);
    DayTime back{-1.0, -1};
    ASSERT_EQ(readBack(text, back), 0) << GetParam() << ": " << text.toStdString();
    EXPECT_EQ(back.day, t.day) << text.toStdString();
    EXPECT_NEAR(back.seconds, t.seconds, 0.5e-6) << text.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, StampLocale,
                         ::testing::Values("de_DE", "en_US", "C", "fi_FI", "ko_KR", "bg_BG",
                                           "ja_JP"));

TEST(StampText, WrittenYearKeepsItsCentury) {
  regional().pin(QLocale(QStringLiteral("en_US")));  // short date "M/d/yy"
  EXPECT_EQ(dateTimeText(stamp(2024, 12, 8, 14, 30, 12.5)),
            QStringLiteral("12/8/2024  2:30:12 PM.5"));
  regional().reload();
  EXPECT_EQ(RegionalSettings::fullYear(QStringLiteral("dd.MM.yy")), QStringLiteral("dd.MM.yyyy"));
  EXPECT_EQ(RegionalSettings::fullYear(QStringLiteral("yyyy-MM-dd")), QStringLiteral("yyyy-MM-dd"));
  EXPECT_EQ(RegionalSettings::fullYear(QStringLiteral("d 'yy' yy")), QStringLiteral("d 'yy' yyyy"));
}

TEST(StampText, TextsOfOtherMachinesAndOlderVersions) {
  regional().pin(QLocale(QStringLiteral("de_DE")));
  const DayTime want = stamp(2024, 12, 8, 14, 30, 12.5);
  for (const char* s : {"08.12.2024  14:30:12.5", "8.12.2024 14:30:12,500", "08.12.24 14:30:12.5",
                        "  12/8/2024  2:30:12 PM.5  ", "12/8/2024 2:30:12.5 PM",
                        "2024-12-08 14:30:12.5", "8 Dec 2024  14:30:12.5"}) {
    DayTime t{};
    ASSERT_EQ(dateTimeFromText(QString::fromLatin1(s), t), 0) << s;
    EXPECT_EQ(t.day, want.day) << s;
    EXPECT_NEAR(t.seconds, want.seconds, 1e-9) << s;
  }
  DayTime t{};
  ASSERT_EQ(dateTimeFromText(QStringLiteral("05.03.2024"), t), 0);  // a date alone
  EXPECT_EQ(t, stamp(2024, 3, 5, 0, 0, 0));
  ASSERT_EQ(dateTimeFromText(QStringLiteral("05.03.2024 14:30"), t), 0);
  EXPECT_EQ(t, stamp(2024, 3, 5, 14, 30, 0));
  regional().reload();
}

TEST(StampText, NoMomentGives9220AndKeepsTheValue) {
  regional().pin(QLocale(QStringLiteral("en_US")));
  const DayTime keep = stamp(2000, 1, 1, 1, 1, 1);
  for (const char* s :
       {"", "x", "31.02.2024 10:00:00", "12/8/2024 13:30:12 PM", "12/8/2024 0:30:12 AM",
        "08.12.2024 24:00:00", "08.12.2024 14:60:00", "08.12.2024 14:30:12 garbage",
        "08.12.2024 14:30:12.", "13/13/2024", "8 Foo 2024 14:30:12"}) {
    DayTime t = keep;
    EXPECT_EQ(dateTimeFromText(QString::fromLatin1(s), t), kNotANumber) << s;
    EXPECT_EQ(t, keep) << s;
  }
  regional().reload();
}
