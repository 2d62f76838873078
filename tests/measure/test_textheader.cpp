// The ".VXT" text header: exact text, reader rules and round trips under regional settings.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "common/regional.h"
#include "common/settingsio.h"
#include "measure/textheader.h"
#include "support/regionguard.h"

using namespace tolv;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

SettingsRecord sample() {
  SettingsRecord r = SettingsRecord::defaults(1200, 800, 5, 6);
  r.mode = kModeDLA0;
  r.amplC0 = 0.2;
  r.amplC1 = 20;
  r.offsC0 = -1.25;
  r.offsC1 = 0.1;
  r.sampleTime = 0.0001;
  r.trgChan = 1;
  r.relevances = 0xA5;
  r.dynamics = 0x0F;
  r.levels = 255;
  r.trgTypString = "W";
  r.gpioData = std::int32_t(0x80FF0001u);  // top bit set: must survive the text
  r.gpioDirection = 0x00FFFFFF;
  r.probeFactorC0 = 10;
  r.probeFactorC1 = -100;
  r.probeHelpFactorFlag = false;
  return r;
}

// What the header carries; everything else reads back as zero.
SettingsRecord headerPart(const SettingsRecord& r) {
  SettingsRecord h;
  h.probeFactorC0 = r.probeFactorC0;
  h.probeFactorC1 = r.probeFactorC1;
  h.mode = r.mode;
  h.amplC0 = r.amplC0;
  h.amplC1 = r.amplC1;
  h.offsC0 = r.offsC0;
  h.offsC1 = r.offsC1;
  h.sampleTime = r.sampleTime;
  h.memoryDepth = r.memoryDepth;
  h.triggerPoint = r.triggerPoint;
  h.trgChan = r.trgChan;
  h.relevances = r.relevances;
  h.dynamics = r.dynamics;
  h.levels = r.levels;
  h.trgTypString = r.trgTypString;
  h.trgLevelUpper = r.trgLevelUpper;
  h.trgLevelLower = r.trgLevelLower;
  h.gpioData = r.gpioData;
  h.gpioDirection = r.gpioDirection;
  h.probeHelpFactorFlag = r.probeHelpFactorFlag;
  return h;
}

}  // namespace

TEST(TextHeader, RealsAre23CharactersWithFourExponentDigits) {
  EXPECT_EQ(headerRealText(5.0), " 5.00000000000000E+0000");
  EXPECT_EQ(headerRealText(0.0001), " 1.00000000000000E-0004");
  EXPECT_EQ(headerRealText(-0.1), "-1.00000000000000E-0001");
  EXPECT_EQ(headerRealText(0.0), " 0.00000000000000E+0000");
  EXPECT_EQ(headerRealText(131000), " 1.31000000000000E+0005");
  EXPECT_EQ(headerRealText(1e-300), " 1.00000000000000E-0300");
  for (double v : {5.0, -0.1, 1e-300, 1e300, std::nan(""), HUGE_VAL, -HUGE_VAL})
    EXPECT_EQ(headerRealText(v).size(), 23u) << v;
}

TEST(TextHeader, DefaultRecordGivesKeysInOrderWithCrLf) {
  regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  const std::string t = textHeaderText(SettingsRecord::defaults());
  regional().reload();
  const std::string expected =
      "Mode\r\n0ASO\r\n"
      "AmplC0\r\n 5.00000000000000E+0000\r\n"
      "AmplC1\r\n 5.00000000000000E+0000\r\n"
      "OffsC0\r\n 0.00000000000000E+0000\r\n"
      "OffsC1\r\n 0.00000000000000E+0000\r\n"
      "SamplTim\r\n 1.00000000000000E-0004\r\n"
      "MemoryDepth\r\n 1.00000000000000E+0004\r\n"
      "TriggerPoint\r\n 1.00000000000000E+0001\r\n"
      "TrgChan\r\n0\r\nRelevances\r\n0\r\nDynamics\r\n0\r\nLevels\r\n0\r\n"
      "TrgTypString\r\nT\r\n"
      "TrgLevelUpper\r\n 1.00000000000000E-0001\r\n"
      "TrgLevelLower\r\n-1.00000000000000E-0001\r\n"
      "GPIO24BitData\r\n0\r\nGPIO24BitDirection\r\n0\r\n"
      "VXS_ProbeFactor_C0\r\n 1.00000000000000E+0000\r\n"
      "VXS_ProbeFactor_C1\r\n 1.00000000000000E+0000\r\n"
      "VXS_ProbeHelpFactorFlag\r\nTRUE\r\n";
  EXPECT_EQ(t, expected);
}

// The "Date Time" line must read back to the same moment whatever the regional settings.
class TextHeaderRegion : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    switch (GetParam()) {
      case 0:
        regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
        break;
      case 1:
        regional().pin(QLatin1Char('.'), QStringLiteral("M/d/yy"), QStringLiteral("h:mm:ss AP"));
        break;
      default:
        regional().pin(QLatin1Char('.'), QStringLiteral("MM/dd/yy"), QStringLiteral("HH:mm:ss"));
        break;
    }
  }
  void TearDown() override { regional().reload(); }
};

TEST_P(TextHeaderRegion, RoundTripWithDateTime) {
  QTemporaryDir dir;
  const fs::path fil = fs::path(dir.path().toStdString()) / "Intermediate_DLA0_001.FIL";
  const SettingsRecord r = sample();
  ASSERT_EQ(writeTextHeader(fil, r), 0);
  EXPECT_TRUE(fs::exists(fs::path(dir.path().toStdString()) / "Intermediate_DLA0_001.VXT"));

  SettingsRecord back;
  std::optional<DayTime> t = DayTime{};
  ASSERT_EQ(readTextHeader(fil, back, &t), 0);
  EXPECT_EQ(back, headerPart(r));
  EXPECT_FALSE(t.has_value());  // no "Date Time" yet

  // 23:59:59.987 on 31 December: every field of the date and a fraction that is not exact.
  const DayTime when{86399.987, 739251};
  ASSERT_EQ(appendTextHeaderDateTime(fil, when), 0);
  ASSERT_EQ(readTextHeader(fil, back, &t), 0);
  EXPECT_EQ(back, headerPart(r));
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->day, when.day);
  EXPECT_NEAR(t->seconds, when.seconds, 1e-6);
  EXPECT_NE(slurp(textHeaderName(fil)).find("\r\nDate Time\r\n"), std::string::npos);

  // Written in one go, the header is byte for byte what the two steps leave.
  const fs::path other = fs::path(dir.path().toStdString()) / "Intermediate_OSA0_001.FIL";
  ASSERT_EQ(writeTextHeader(other, r, when), 0);
  EXPECT_EQ(slurp(textHeaderName(other)), slurp(textHeaderName(fil)));
}

INSTANTIATE_TEST_SUITE_P(
    Regions, TextHeaderRegion, ::testing::Values(0, 1, 2), [](const auto& info) {
      return std::string(info.param == 0 ? "de_DE" : info.param == 1 ? "en_US" : "C");
    });

TEST(TextHeader, ReaderTakesCommasBooleanWordsAndLfLines) {
  QTemporaryDir dir;
  const fs::path fil = fs::path(dir.path().toStdString()) / "x.FIL";
  std::string t = textHeaderText(sample());
  // A header written elsewhere: comma decimals, "t" for the flag, LF line ends, keys ignored.
  std::string edited;
  for (char c : t)
    if (c != '\r') edited += c;
  edited.replace(edited.find(" 2.00000000000000E+0001"), 23, "20,5");
  edited.replace(edited.find("FALSE"), 5, "t");
  edited.replace(edited.find("AmplC0"), 6, "whatever");
  spit(textHeaderName(fil), edited);
  SettingsRecord back;
  ASSERT_EQ(readTextHeader(fil, back), 0);
  EXPECT_DOUBLE_EQ(back.amplC1, 20.5);
  EXPECT_TRUE(back.probeHelpFactorFlag);
  EXPECT_EQ(back.gpioData, std::int32_t(0x80FF0001u));
  EXPECT_EQ(back.mode, kModeDLA0);
  EXPECT_EQ(back.width, 0);  // not in the header
  EXPECT_FALSE(back.makeIntermediateFiles);
}

TEST(TextHeader, FailedReadsLeaveTheRecordUnchanged) {
  QTemporaryDir dir;
  const fs::path fil = fs::path(dir.path().toStdString()) / "y.FIL";
  const SettingsRecord before = SettingsRecord::defaults(1, 2, 3, 4);
  SettingsRecord out = before;
  std::optional<DayTime> t = DayTime{1.0, 2};

  EXPECT_EQ(readTextHeader(fil, out, &t), 2);  // missing
  EXPECT_EQ(appendTextHeaderDateTime(fil, DayTime{}), 2);

  const std::string full = textHeaderText(sample());
  spit(textHeaderName(fil), "");
  EXPECT_EQ(readTextHeader(fil, out, &t), kReadPastEnd);  // empty
  spit(textHeaderName(fil), full.substr(0, full.size() / 2));
  EXPECT_EQ(readTextHeader(fil, out, &t), kReadPastEnd);  // cut short

  std::string bad = full;
  bad.replace(bad.find("FALSE"), 5, "JEIN");
  spit(textHeaderName(fil), bad);
  EXPECT_EQ(readTextHeader(fil, out, &t), kBadBoolean);

  bad = full;
  bad.replace(bad.find(" 1.00000000000000E-0004"), 23, "0.1x");
  spit(textHeaderName(fil), bad);
  EXPECT_EQ(readTextHeader(fil, out, &t), kNotANumber);

  spit(textHeaderName(fil), full + "Date Time\r\nnot a date\r\n");
  EXPECT_EQ(readTextHeader(fil, out, &t), kNotANumber);
  spit(textHeaderName(fil), full + "Date Time\r\n");
  EXPECT_EQ(readTextHeader(fil, out, &t), kReadPastEnd);

  EXPECT_EQ(out, before);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->day, 2);

  // Trailing blank lines are no time.
  spit(textHeaderName(fil), full + "\r\n\r\n");
  EXPECT_EQ(readTextHeader(fil, out, &t), 0);
  EXPECT_FALSE(t.has_value());
}

TEST(TextHeader, NameReplacesTheExtension) {
  EXPECT_EQ(textHeaderName("/d/Intermediate_OSA0_002.FIL"),
            fs::path("/d/Intermediate_OSA0_002.VXT"));
  EXPECT_EQ(textHeaderName("/d/run"), fs::path("/d/run.VXT"));
}

// One header text whatever region writes it (the C library's locale would put a comma into
// the reals), and it reads back everywhere, as do the "Date Time" texts of earlier versions.
TEST(TextHeader, SameTextUnderEveryRegionAndReadBackEverywhere) {
  QTemporaryDir dir;
  const fs::path fil = fs::path(dir.path().toStdString()) / "Intermediate_OSA0_001.FIL";
  const DayTime when{22 * 3600 + 32 * 60 + 58.736, 739958};  // 8 December 2026
  std::string written;
  {
    RegionGuard region("C");
    written = textHeaderText(sample()) + textHeaderDateTimeText(when);
  }
  EXPECT_NE(written.find("Date Time\r\n08.12.2026  22:32:58.736\r\n"), std::string::npos)
      << written;
  EXPECT_NE(written.find("SamplTim\r\n 1.00000000000000E-0004\r\n"), std::string::npos);
  for (const char* name : {"de_DE", "en_US", "en_GB", "nl_NL", "ja_JP", "fr_FR"}) {
    RegionGuard region(name);
    ASSERT_TRUE(region.ok()) << name << " is not generated: run scripts/install-deps.sh";
    ASSERT_EQ(writeTextHeader(fil, sample(), when), 0);
    EXPECT_EQ(slurp(textHeaderName(fil)), written) << name;
    for (const char* reader : {"C", "de_DE", "en_US", "ja_JP"}) {
      RegionGuard r(reader);
      SettingsRecord back;
      std::optional<DayTime> t;
      ASSERT_EQ(readTextHeader(fil, back, &t), 0) << name << " -> " << reader;
      EXPECT_EQ(back, headerPart(sample()));
      ASSERT_TRUE(t.has_value());
      EXPECT_EQ(t->day, when.day) << name << " -> " << reader;
      EXPECT_NEAR(t->seconds, when.seconds, 1e-6);
    }
  }
  // A header an earlier version wrote under British settings names 8 December, also when read
  // under US or German ones.
  spit(textHeaderName(fil), textHeaderText(sample()) + "Date Time\r\n08/12/2026  22:32:58.736\r\n");
  for (const char* reader : {"en_US", "de_DE", "en_GB"}) {
    RegionGuard r(reader);
    SettingsRecord back;
    std::optional<DayTime> t;
    ASSERT_EQ(readTextHeader(fil, back, &t), 0);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->day, when.day) << reader;
  }
}
