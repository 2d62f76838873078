// Command line and the frame's widget-free rules.
#include <gtest/gtest.h>

#include "app/cmdline.h"
#include "app/framelogic.h"

using namespace tolv;

TEST(CommandLine, AcceptsEveryOptionInBothForms) {
  CommandLine c;
  ASSERT_EQ(parseCommandLine({"--simulate", "2", "--data-root", "/tmp/d", "--sim-trace=/tmp/t"}, c),
            0);
  EXPECT_EQ(c.simulateCount, 2);
  EXPECT_EQ(c.dataRoot, std::filesystem::path("/tmp/d"));
  EXPECT_EQ(c.simTraceDir, std::filesystem::path("/tmp/t"));
  EXPECT_FALSE(c.help);
  ASSERT_EQ(parseCommandLine({"--simulate=0", "--help", "--version"}, c), 0);
  EXPECT_EQ(c.simulateCount, 0);
  EXPECT_TRUE(c.help);
  EXPECT_TRUE(c.version);
  ASSERT_EQ(parseCommandLine({}, c), 0);
  EXPECT_EQ(c.simulateCount, -1);
  EXPECT_TRUE(c.dataRoot.empty());
}

TEST(CommandLine, RejectsBadValuesAndUnknownArguments) {
  CommandLine c;
  for (const QStringList& bad :
       {QStringList{"--simulate"}, QStringList{"--simulate", "x"}, QStringList{"--simulate", "-1"},
        QStringList{"--simulate", "33"}, QStringList{"--simulate=2x"}, QStringList{"--data-root"},
        QStringList{"--data-root="}, QStringList{"--sim-trace"}, QStringList{"--frobnicate"},
        QStringList{"stray"}}) {
    EXPECT_EQ(parseCommandLine(bad, c), -1) << bad.join(' ').toStdString();
    EXPECT_FALSE(c.error.isEmpty());
  }
  // Lenient parsing skips what the toolkit may still hold, but not our own bad values.
  EXPECT_EQ(parseCommandLine({"-platform", "offscreen", "--simulate", "1"}, c, true), 0);
  EXPECT_EQ(c.simulateCount, 1);
  EXPECT_EQ(parseCommandLine({"-platform", "offscreen", "--simulate", "many"}, c, true), -1);
}

TEST(CommandLine, DriverChoice) {
  CommandLine c;
  ASSERT_EQ(parseCommandLine({}, c), 0);
  EXPECT_EQ(c.driver, FtdiBackend::Auto);
  ASSERT_EQ(parseCommandLine({"--driver", "libftdi"}, c), 0);
  EXPECT_EQ(c.driver, FtdiBackend::Libftdi);
  ASSERT_EQ(parseCommandLine({"--driver=d2xx", "--data-root", "/tmp/d"}, c), 0);
  EXPECT_EQ(c.driver, FtdiBackend::D2xx);
  for (const QStringList& bad :
       {QStringList{"--driver"}, QStringList{"--driver", "D2XX"}, QStringList{"--driver="},
        QStringList{"--driver", "libusb"}, QStringList{"--driver", "d2xx", "--simulate", "2"},
        QStringList{"--simulate=0", "--driver=libftdi"}}) {
    EXPECT_EQ(parseCommandLine(bad, c), -1) << bad.join(' ').toStdString();
    EXPECT_FALSE(c.error.isEmpty());
  }
}

TEST(CommandLine, HelpNamesEveryOption) {
  const QString h = commandLineHelpText();
  for (const char* opt :
       {"--simulate N", "--driver NAME", "--data-root DIR", "--sim-trace DIR", "--help",
        "--version"})
    EXPECT_TRUE(h.contains(QLatin1String(opt))) << opt;
  EXPECT_TRUE(commandLineVersionText().startsWith("Multi_Tolvanex "));
}

TEST(FrameLogic, CaptionsAndPlaces) {
  EXPECT_EQ(ftdiCountCaption(2), "2 FTDI-Device(s) Present ...");
  EXPECT_EQ(ftdiCountCaption(0), "0 FTDI-Device(s) Present ...");
  EXPECT_EQ(deviceWindowCaption("TVS1", 2), "Tolvanex Scope 1 Ser. Nr.:TVS1 (2)");
  EXPECT_EQ(initialWindowPlace(1, 190), QPoint(0, 190));
  EXPECT_EQ(initialWindowPlace(3, 190), QPoint(60, 250));
  EXPECT_EQ(cascadeWindowPlace(0, 190), QPoint(0, 190));
  EXPECT_EQ(cascadeWindowPlace(2, 190), QPoint(120, 338));
}

TEST(FrameLogic, SeparatorItemsMapBothWays) {
  EXPECT_EQ(decimalSeparatorOfItem(0), QChar('.'));
  EXPECT_EQ(decimalSeparatorOfItem(1), QChar(','));
  EXPECT_TRUE(decimalSeparatorOfItem(2).isNull());
  EXPECT_TRUE(decimalSeparatorOfItem(-1).isNull());
  EXPECT_EQ(decimalSeparatorItem(QChar(',')), 1);
  EXPECT_EQ(decimalSeparatorItem(QChar(';')), -1);
  const int codes[5] = {9, 44, 46, 59, 32};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(columnSeparatorOfItem(i).unicode(), codes[i]);
    EXPECT_EQ(columnSeparatorItem(QChar(codes[i])), i);
  }
  EXPECT_TRUE(columnSeparatorOfItem(5).isNull());
  EXPECT_EQ(columnSeparatorItem(QChar('x')), -1);
  EXPECT_EQ(framedText("Column separator"), " Column separator ");
}
