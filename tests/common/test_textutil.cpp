#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/rawvolts.h"
#include "common/regional.h"
#include "common/textutil.h"

using namespace tolv;

TEST(TextHelpers, PadTrimPosition) {
  EXPECT_EQ(padLeft("12345", 3, '0'), QStringLiteral("345"));
  EXPECT_EQ(padLeft("7", 2, '0'), QStringLiteral("07"));
  EXPECT_EQ(padRight("12345", 3, '_'), QStringLiteral("123"));
  EXPECT_EQ(padRight("ab", 4, '_'), QStringLiteral("ab__"));
  EXPECT_EQ(padLeft("ab", -1, '_'), QString());
  EXPECT_EQ(lastPosition('\\', "a\\b\\c"), 4);
  EXPECT_EQ(lastPosition('x', "abc"), 0);
  EXPECT_EQ(trimLeading("  \tab "), QStringLiteral("ab "));
  EXPECT_EQ(trimTrailing(" ab \r"), QStringLiteral(" ab"));
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), QStringLiteral("ba"));
  EXPECT_EQ(replaceAll("abc", "", "x"), QStringLiteral("abc"));
}

TEST(TextHelpers, SplitKeepsInnerEmptyPiecesOnly) {
  EXPECT_EQ(splitText("a;;b;", ';'), (QStringList{"a", "", "b"}));
  EXPECT_TRUE(splitText("", ';').isEmpty());
  EXPECT_EQ(splitText(";", ';'), (QStringList{""}));
  EXPECT_EQ(splitText("a;b", ';'), (QStringList{"a", "b"}));
}

TEST(NumberHelpers, TextToNumber) {
  double v = -1;
  EXPECT_EQ(textToNumber("1,5", v), 0);
  EXPECT_EQ(v, 1.5);
  v = -1;
  EXPECT_EQ(textToNumber("1.5", v), 0);
  EXPECT_EQ(v, 1.5);
  EXPECT_EQ(textToNumber("1.5x", v), 4);
  EXPECT_EQ(textToNumber("", v), 1);
  EXPECT_EQ(textToNumber("-", v), 2);
  EXPECT_EQ(textToNumber("1e", v), 3);
  EXPECT_EQ(textToNumber("1e999", v), 6);  // overflow is no number either
  EXPECT_EQ(textToNumber("1,5,3", v), 4);
  EXPECT_EQ(v, 1.5);
  EXPECT_EQ(textToNumber("  -2.5E-3", v), 0);
  EXPECT_EQ(v, -2.5e-3);
  EXPECT_TRUE(isNumber(" 3,25 "));
  EXPECT_FALSE(isNumber("0x10"));
  EXPECT_FALSE(isNumber("nan"));
  EXPECT_EQ(numberOr("abc", 0.0), 0.0);
  EXPECT_EQ(numberOr(" 2,5 ", 0.0), 2.5);
}

TEST(NumberHelpers, SystemSeparator) {
  regional().pin(',', "dd.MM.yyyy", "HH:mm:ss");
  EXPECT_EQ(toSystemSeparator("3.14"), QStringLiteral("3,14"));
  EXPECT_EQ(toSystemSeparator("314"), QStringLiteral("314"));
  regional().pin('.', "dd.MM.yyyy", "HH:mm:ss");
  EXPECT_EQ(toSystemSeparator("3,14"), QStringLiteral("3.14"));
  regional().reload();
}

TEST(NumberHelpers, RoundingAndPowers) {
  EXPECT_EQ(roundToInteger(2.4), 2);
  EXPECT_EQ(roundToInteger(-2.6), -3);
  EXPECT_EQ(roundToInteger(1e12), 2147483646);
  EXPECT_EQ(roundToInteger(-1e12), -2147483646);
  EXPECT_EQ(roundToInteger(std::numeric_limits<double>::infinity()), 2147483646);
  EXPECT_EQ(roundToInteger(std::nan("")), 0);
  EXPECT_EQ(powerOfTenUp(0), 0);
  EXPECT_EQ(powerOfTenUp(3.2), 10);
  EXPECT_EQ(powerOfTenUp(100), 100);
  EXPECT_EQ(powerOfTenUp(-0.02), -0.1);
  EXPECT_EQ(powerOfTenUp(1e-50), 1e-38);
  EXPECT_EQ(powerOfTenDown(3.2), 1);
  EXPECT_EQ(powerOfTenDown(1000), 1000);
  EXPECT_EQ(powerOfTenDown(-0.02), -0.01);
  EXPECT_EQ(powerOfTenDown(1e50), 1e38);
  EXPECT_DOUBLE_EQ(lg(1000), 3);
  EXPECT_DOUBLE_EQ(tenToThe(-2), 0.01);
  EXPECT_EQ(interpolate(0.25, 10, 2), 4);
}

TEST(Codes, BooleansLanguagesAndFourCharacters) {
  EXPECT_EQ(boolToText(true), QStringLiteral("T"));
  EXPECT_TRUE(textToBool("T"));
  EXPECT_FALSE(textToBool("t"));
  EXPECT_EQ(languageCode(1), QStringLiteral("EN"));
  EXPECT_EQ(languageCode(7), QStringLiteral("DE"));
  EXPECT_EQ(languageIndexOfCode("LX"), 2);
  EXPECT_EQ(languageIndexOfCode("en"), 0);
  EXPECT_EQ(fourCharToCode("OSA0"), 0x4F534130u);
  EXPECT_EQ(codeToFourChar(0x564D4430u), QStringLiteral("VMD0"));
  EXPECT_EQ(fourCharToCode("AB"), 0x41420000u);
  EXPECT_EQ(charToCode("A"), 65);
  EXPECT_EQ(charToCode(""), 0);
  EXPECT_EQ(codeToChar(0xE4), QString(QChar(0xE4)));
}

TEST(RawVolts, Conversion) {
  EXPECT_DOUBLE_EQ(rawToVolts(32768, 10, 0, 1, 1), 0.0);
  EXPECT_NEAR(rawToVolts(65535, 10, 0, 1, 1), 4.99985, 5e-6);
  EXPECT_DOUBLE_EQ(rawToVolts(0, 10, 0, 1, 1), -5.0);
  EXPECT_NEAR(rawToVolts(65535, 10, 0, 10, 0.85), 57.94, 0.005);
  EXPECT_DOUBLE_EQ(rawToVolts(32768, 10, 0.5, 2, 1), 1.0);
  EXPECT_DOUBLE_EQ(floatToVolts(1.5, 10, 1), 15.0);
}
