// Stamps and numbers the program stores must not depend on where it runs: the same text under
// every regional setting (the program's regional object and the C library's process locale,
// which the toolkit takes from the user's environment), and texts that earlier versions wrote
// in the regional formats of their machine must read back to the moment they named.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <string>

#include "common/format.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/stamptext.h"
#include "common/textutil.h"
#include "support/regionguard.h"

using namespace tolv;

namespace {

DayTime stamp(int y, int mo, int d, int h, int mi, double s) {
  DayTime t;
  t.day = static_cast<std::int32_t>(QDate(y, mo, d).toJulianDay() - 1721425);
  t.seconds = h * 3600.0 + mi * 60.0 + s;
  return t;
}

// The regions every round trip runs under; the C library must know each of them.
const char* const kReaders[] = {"C", "de_DE", "en_US", "en_GB", "nl_NL", "ja_JP"};

// Writers of the earlier versions' texts: many shapes of date and time.
const char* const kWriters[] = {"C",     "de_DE", "en_US", "en_GB", "nl_NL", "ja_JP", "fr_FR",
                                "it_IT", "es_ES", "pt_BR", "ru_RU", "pl_PL", "sv_SE", "fi_FI",
                                "da_DK", "zh_CN", "ko_KR", "cs_CZ", "hu_HU", "tr_TR"};

// A day that is also a month number (the hard case) and single-digit fields.
const DayTime kMoments[] = {stamp(2026, 12, 8, 22, 32, 58.736), stamp(2026, 2, 3, 9, 5, 7.5)};

std::string show(const DayTime& t) {
  return QDate::fromJulianDay(1721425 + t.day).toString(Qt::ISODate).toStdString() + " " +
         std::to_string(t.seconds);
}

}  // namespace

TEST(StoredStampTexts, OneFormUnderEveryRegion) {
  for (const char* name : kReaders) {
    RegionGuard region(name);
    ASSERT_TRUE(region.ok()) << name << " is not generated: run scripts/install-deps.sh";
    const DayTime t = kMoments[0];
    EXPECT_EQ(storedDateTimeText(t), QStringLiteral("08.12.2026  22:32:58.736")) << name;
    EXPECT_EQ(storedDateTimeText(stamp(2026, 2, 3, 9, 5, 7)),
              QStringLiteral("03.02.2026  09:05:07.0"))
        << name;
    EXPECT_EQ(csvDateText(t), QStringLiteral("12.08.2026")) << name;
    EXPECT_EQ(csvShortDateText(t), QStringLiteral("12.08.26")) << name;
    EXPECT_EQ(csvTimeText(t), QStringLiteral("22:32:58.736")) << name;
    // Milliseconds are cut as in the file names: no rounding up into the next second or day.
    EXPECT_EQ(csvTimeText(stamp(2026, 12, 8, 22, 32, 58.7369)), QStringLiteral("22:32:58.736"));
    EXPECT_EQ(csvTimeText(stamp(2026, 12, 31, 23, 59, 59.9996)), QStringLiteral("23:59:59.999"));
    EXPECT_EQ(csvDateText(stamp(2026, 12, 31, 23, 59, 59.9996)), QStringLiteral("12.31.2026"));
  }
}

TEST(StoredStampTexts, NumbersIgnoreTheProcessLocale) {
  for (const char* name : kReaders) {
    RegionGuard region(name);
    ASSERT_TRUE(region.ok()) << name;
    // 0.125 to two places is a tie only the exact decimal expansion decides (the slow path).
    EXPECT_EQ(fixedText(0.125, 6, 2, '.'), "  0.12") << name;
    EXPECT_EQ(fixedText(0.125, 6, 2, ','), "  0,12") << name;
    EXPECT_EQ(fixedText(-2.5e20, 0, 1, '.'), "-250000000000000000000.0") << name;
    EXPECT_EQ(fixedText(1.5, 9, 6, '.'), " 1.500000") << name;
    double v = 0;
    ASSERT_EQ(textToNumber(QStringLiteral("1.5"), v), 0) << name;
    EXPECT_EQ(v, 1.5) << name;
    ASSERT_EQ(textToNumber(QStringLiteral(" 2,25E+0001"), v), 0) << name;
    EXPECT_EQ(v, 22.5) << name;
    EXPECT_EQ(textToNumber(QStringLiteral("1e999"), v), 6) << name;
    ASSERT_EQ(textToNumber(QStringLiteral("1e-999"), v), 0) << name;
    EXPECT_EQ(v, 0.0) << name;
    EXPECT_EQ(valueText(0.5, 4, QStringLiteral("%")), QStringLiteral("0.5000 %")) << name;
    EXPECT_EQ(valueText(30.0, 4, QStringLiteral("s")), QStringLiteral("30 s")) << name;
  }
}

TEST(StoredStampTexts, HeaderTextsReadBackUnderEveryRegion) {
  for (const char* writer : kReaders) {
    QString text[2];
    {
      RegionGuard w(writer);
      for (int i = 0; i < 2; ++i) text[i] = storedDateTimeText(kMoments[i]);
    }
    for (const char* reader : kReaders) {
      RegionGuard r(reader);
      for (int i = 0; i < 2; ++i) {
        DayTime back{};
        ASSERT_EQ(dateTimeFromText(text[i], back), 0) << writer << " -> " << reader;
        EXPECT_EQ(back.day, kMoments[i].day) << writer << " -> " << reader;
        EXPECT_NEAR(back.seconds, kMoments[i].seconds, 1e-9) << writer << " -> " << reader;
      }
    }
  }
}

// What earlier versions wrote: the regional date (year widened) and time of the writer's machine.
TEST(EarlierVersionTexts, HeaderStampsReadTheSameUnderEveryRegion) {
  for (const char* writer : kWriters) {
    QString text[2];
    {
      RegionGuard w(writer);
      for (int i = 0; i < 2; ++i) text[i] = dateTimeText(kMoments[i]);
    }
    for (const char* reader : kReaders) {
      RegionGuard r(reader);
      for (int i = 0; i < 2; ++i) {
        DayTime back{};
        ASSERT_EQ(dateTimeFromText(text[i], back), 0)
            << writer << " -> " << reader << ": " << text[i].toStdString();
        EXPECT_EQ(show(back), show(kMoments[i]))
            << writer << " -> " << reader << ": " << text[i].toStdString();
      }
    }
  }
}

// A text that fits two regional settings naming different moments: this machine's settings
// decide, else US order before Australian.
TEST(EarlierVersionTexts, AmbiguousTextFollowsThisMachineThenTheUsOrder) {
  const DayTime t = kMoments[0];
  QString text;
  {
    RegionGuard w("en_AU");  // "8/12/2026  10:32:58 PM.736": 8 December
    text = dateTimeText(t);
  }
  DayTime back{};
  {
    RegionGuard r("en_AU");
    ASSERT_EQ(dateTimeFromText(text, back), 0) << text.toStdString();
    EXPECT_EQ(show(back), show(t));
  }
  {
    RegionGuard r("de_DE");
    ASSERT_EQ(dateTimeFromText(text, back), 0);
    EXPECT_EQ(show(back), show(stamp(2026, 8, 12, 22, 32, 58.736)));
  }
}

// The cells earlier versions wrote: the regional short date as it stands (two-digit years too)
// and the long time with the fraction.
TEST(EarlierVersionTexts, CsvCellsReadTheSameUnderEveryRegion) {
  for (const char* writer : kWriters) {
    for (int i = 0; i < 2; ++i) {
      QString date, time;
      {
        RegionGuard w(writer);
        date = dateText(kMoments[i]);
        time = timeText(kMoments[i]);
      }
      // A day-first dotted date with four-digit year beside a time of exactly milliseconds is
      // the program's own form now, month first; such an old cell of a day below 13 reads
      // with day and month swapped (tested below).
      const bool fixedShape = date.size() == 10 && date.at(2) == QLatin1Char('.') &&
                              date.at(5) == QLatin1Char('.') && time.size() == 12 &&
                              time.at(2) == QLatin1Char(':') && time.at(8) == QLatin1Char('.');
      if (fixedShape) continue;
      for (const char* reader : kReaders) {
        RegionGuard r(reader);
        DayTime back{};
        ASSERT_EQ(dateTimeFromCsvCells(date, time, back), 0)
            << writer << " -> " << reader << ": " << date.toStdString() << " "
            << time.toStdString();
        EXPECT_EQ(show(back), show(kMoments[i])) << writer << " -> " << reader;
      }
    }
  }
}

TEST(EarlierVersionTexts, CsvCellsOfTheProgramsOwnShapeReadMonthFirst) {
  for (const char* reader : kReaders) {
    RegionGuard r(reader);
    DayTime back{};
    // What this version writes, and what an earlier one wrote under Russian settings alike.
    ASSERT_EQ(
        dateTimeFromCsvCells(QStringLiteral("12.08.2026"), QStringLiteral("22:32:58.736"), back),
        0);
    EXPECT_EQ(show(back), show(kMoments[0])) << reader;
    // Day 13 cannot be a month; more fraction digits than milliseconds are an earlier version.
    ASSERT_EQ(
        dateTimeFromCsvCells(QStringLiteral("13.08.2026"), QStringLiteral("22:32:58.736"), back),
        0);
    EXPECT_EQ(show(back), show(stamp(2026, 8, 13, 22, 32, 58.736))) << reader;
    ASSERT_EQ(
        dateTimeFromCsvCells(QStringLiteral("08.12.2026"), QStringLiteral("22:32:58.7365"), back),
        0);
    EXPECT_EQ(show(back), show(stamp(2026, 12, 8, 22, 32, 58.7365))) << reader;
    EXPECT_EQ(dateTimeFromCsvCells(QStringLiteral("12.08.2026"), QStringLiteral("noon"), back),
              kNotANumber);
  }
}
