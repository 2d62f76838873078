// Command line and the frame's widget-free rules.
#include <gtest/gtest.h>

#include <QProcess>

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

// Before the toolkit exists its own options are still in the list: they and their values
// pass, in either dash form, while anything else unknown stops the program.
TEST(CommandLine, ToolkitOptionsPassAndUnknownOnesStopBeforeTheToolkit) {
  CommandLine c;
  ASSERT_EQ(parseCommandLine({"-platform", "xcb", "--style=Fusion", "-reverse", "--display", ":3",
                              "-qwindowgeometry", "800x600", "--simulate", "2", "-stylesheet",
                              "a.qss", "-name", "--simulate"},
                             c, true),
            0)
      << c.error.toStdString();
  // "-name" took "--simulate" as its value: the second "--simulate" is not ours to read.
  EXPECT_EQ(c.simulateCount, 2);
  for (const QStringList& bad :
       {QStringList{"--bogus"}, QStringList{"-platform", "offscreen", "--bogus"},
        QStringList{"-bogus"}, QStringList{"--simulate", "2", "stray"},
        QStringList{"--platformx", "xcb"}, QStringList{"-style"},
        QStringList{"--simulate", "2", "-platform"}}) {
    EXPECT_EQ(parseCommandLine(bad, c, true), -1) << bad.join(' ').toStdString();
    EXPECT_FALSE(c.error.isEmpty()) << bad.join(' ').toStdString();
  }
  ASSERT_EQ(parseCommandLine({"-platform", "offscreen", "--bogus"}, c, true), -1);
  EXPECT_EQ(c.error, "unknown argument \"--bogus\"");
  ASSERT_EQ(parseCommandLine({"--simulate", "1", "-style"}, c, true), -1);
  EXPECT_EQ(c.error, "-style needs a value");
  // Once the toolkit has taken its options, one left over is an error like any other.
  EXPECT_EQ(parseCommandLine({"-platform", "offscreen"}, c), -1);
  EXPECT_EQ(parseCommandLine({"-reverse"}, c), -1);
}

TEST(CommandLine, HelpAndVersionWinOverErrorsAndTheFirstErrorIsReported) {
  CommandLine c;
  ASSERT_EQ(parseCommandLine({"--bogus", "--help"}, c, true), 0);
  EXPECT_TRUE(c.help);
  EXPECT_TRUE(c.error.isEmpty());
  ASSERT_EQ(parseCommandLine({"--simulate", "x", "--version"}, c), 0);
  EXPECT_TRUE(c.version);
  ASSERT_EQ(parseCommandLine({"--simulate", "99", "--bogus", "--driver", "usb"}, c), -1);
  EXPECT_EQ(c.error, "--simulate needs a number from 0 to 32, not \"99\"");
  EXPECT_FALSE(c.help);
}

TEST(CommandLine, DisplayIsReachableOnlyThroughAPlatformOrADisplayVariable) {
  EXPECT_FALSE(displayReachable({}, {}, {}, {}));
  EXPECT_FALSE(displayReachable({"--simulate", "2"}, "", "", ""));
  EXPECT_TRUE(displayReachable({}, "offscreen", {}, {}));
  EXPECT_TRUE(displayReachable({}, {}, ":0", {}));
  EXPECT_TRUE(displayReachable({}, {}, {}, "wayland-0"));
  EXPECT_TRUE(displayReachable({"-platform", "offscreen"}, {}, {}, {}));
  EXPECT_TRUE(displayReachable({"--platform", "vnc"}, {}, {}, {}));
  // A platform option without its value names none.
  EXPECT_FALSE(displayReachable({"--simulate", "1", "-platform"}, {}, {}, {}));
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

TEST(CommandLine, SimControlNeedsSimulatedDevicesAndAPath) {
  CommandLine c;
  ASSERT_EQ(parseCommandLine({"--simulate", "3", "--sim-control", "/tmp/ctl"}, c), 0);
  EXPECT_EQ(c.simControl, std::filesystem::path("/tmp/ctl"));
  ASSERT_EQ(parseCommandLine({"--sim-control=/tmp/ctl2", "--simulate=1"}, c), 0);
  EXPECT_EQ(c.simControl, std::filesystem::path("/tmp/ctl2"));
  for (const QStringList& bad :
       {QStringList{"--sim-control", "/tmp/ctl"}, QStringList{"--simulate", "0", "--sim-control=x"},
        QStringList{"--simulate", "2", "--sim-control"},
        QStringList{"--simulate", "2", "--sim-control="}}) {
    EXPECT_EQ(parseCommandLine(bad, c), -1) << bad.join(' ').toStdString();
    EXPECT_FALSE(c.error.isEmpty());
  }
  EXPECT_TRUE(commandLineHelpText().contains(QLatin1String("--sim-control FILE")));
}

TEST(CommandLine, HelpNamesEveryOption) {
  const QString h = commandLineHelpText();
  for (const char* opt :
       {"--simulate N", "--driver NAME", "--data-root DIR", "--sim-trace DIR", "--help",
        "--version"})
    EXPECT_TRUE(h.contains(QLatin1String(opt))) << opt;
  EXPECT_TRUE(commandLineVersionText().startsWith("Multi_Tolvanex "));
}

// The manual page is made from the help text by help2man: it needs the usage line first,
// section heads as unindented lines ending in a colon, and lines a terminal shows whole.
TEST(CommandLine, HelpTextHasTheShapeTheManualPageIsMadeFrom) {
  const QStringList lines = commandLineHelpText().split(QLatin1Char('\n'));
  ASSERT_GT(lines.size(), 10);
  EXPECT_EQ(lines.first(), commandLineUsageLine());
  EXPECT_TRUE(commandLineUsageLine().startsWith("Usage: multi_tolvanex "));
  EXPECT_TRUE(lines.last().isEmpty()) << "ends with a line break";
  QStringList heads;
  for (const QString& l : lines) {
    EXPECT_LE(l.size(), 80) << l.toStdString();
    EXPECT_FALSE(l.contains(QLatin1Char('\t'))) << l.toStdString();
    if (!l.isEmpty() && !l.front().isSpace() && l.endsWith(QLatin1Char(':'))) heads << l;
  }
  EXPECT_EQ(heads, (QStringList{"Options:", "Without a window:", "Measuring without a window:",
                                "In a device window:", "Exit status:"}));
  // Every option line of the options section is one the parser takes.
  CommandLine c;
  for (const char* opt : {"--simulate 1", "--driver d2xx", "--data-root /d", "--sim-trace /t",
                          "-h", "--help", "--version"})
    EXPECT_EQ(parseCommandLine(QString::fromLatin1(opt).split(' '), c), 0) << opt;
}

#ifdef TOLV_PROGRAM_PATH
// No display at all: no X11 or Wayland display and no platform named. Options are answered
// without the toolkit, which would abort the program here.
TEST(ProgramArguments, OptionsAreCheckedBeforeTheToolkitWithoutADisplay) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(v);
  const auto run = [&env](const QStringList& args, QByteArray* err = nullptr) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(TOLV_PROGRAM_PATH, args);
    EXPECT_TRUE(p.waitForFinished(10000)) << args.join(' ').toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
    if (err) *err = p.readAllStandardError();
    return p.exitCode();
  };
  QByteArray err;
  EXPECT_EQ(run({"--bogus"}, &err), 2);
  EXPECT_TRUE(err.contains("unknown argument \"--bogus\"")) << err.toStdString();
  EXPECT_TRUE(err.contains("Usage: multi_tolvanex [OPTION]...")) << err.toStdString();
  EXPECT_EQ(run({"--simulate", "-3"}, &err), 2);
  EXPECT_TRUE(err.contains("--simulate needs a number")) << err.toStdString();
  EXPECT_EQ(run({"-platform", "offscreen", "--simulate", "2", "--typo"}, &err), 2);
  EXPECT_TRUE(err.contains("--typo")) << err.toStdString();
  EXPECT_EQ(run({"--help", "--bogus"}), 0);
  // Sound options but nothing to show the windows on: said so, no abort.
  EXPECT_EQ(run({"--simulate", "1"}, &err), 1);
  EXPECT_TRUE(err.contains("no display")) << err.toStdString();
}
#endif

TEST(FrameLogic, CaptionsAndPlaces) {
  EXPECT_EQ(ftdiCountCaption(2), "2 FTDI-Device(s) Present ...");
  EXPECT_EQ(ftdiCountCaption(0), "0 FTDI-Device(s) Present ...");
  EXPECT_EQ(deviceWindowCaption("TVS1", 2), "Tolvanex Scope 1 Ser. Nr.:TVS1 (2)");
  EXPECT_EQ(initialWindowPlace(1, 190), QPoint(0, 190));
  EXPECT_EQ(initialWindowPlace(3, 190), QPoint(60, 250));
  // On a low screen the window moves up until its bottom row lies on it, no further.
  const QRect area(0, 0, 1280, 770);
  EXPECT_EQ(initialWindowPlace(2, 190, QSize(1240, 540), area), QPoint(30, 220));
  EXPECT_EQ(initialWindowPlace(2, 190, QSize(1240, 550), area), QPoint(30, 220));
  EXPECT_EQ(initialWindowPlace(2, 190, QSize(1240, 551), area), QPoint(30, 219));
  EXPECT_EQ(initialWindowPlace(2, 190, QSize(1240, 705), area), QPoint(30, 65));
  EXPECT_EQ(initialWindowPlace(2, 190, QSize(1240, 900), QRect(0, 20, 1280, 770)),
            QPoint(30, 20));
  EXPECT_EQ(initialWindowPlace(2, 190, QSize(1240, 900), QRect()), QPoint(30, 220));
  // Sideways the same: the third window steps right only as far as the screen is wide.
  EXPECT_EQ(initialWindowPlace(3, 190, QSize(1240, 540), area), QPoint(40, 230));
  // At 1280 x 800 with a panel, and at a smaller area: every window's title bar and its bottom
  // row (the status line) on the area, a window higher than the area lowered to fit, never
  // below its least height.
  for (const QRect small : {QRect(0, 24, 1280, 776), QRect(0, 0, 1024, 600)}) {
    for (int n = 1; n <= 3; ++n) {
      const QRect r = initialWindowRect(n, 190, QSize(1240, 710), 400, small);
      EXPECT_GE(r.top(), small.top()) << n;
      EXPECT_LE(r.bottom(), small.bottom()) << n;
      EXPECT_GE(r.left(), small.left()) << n;
      EXPECT_EQ(r.height(), std::min(710, small.height())) << n;
    }
  }
  EXPECT_EQ(initialWindowRect(2, 190, QSize(1240, 600), 400, QRect(0, 0, 1280, 600)),
            QRect(30, 0, 1240, 600));
  EXPECT_EQ(initialWindowRect(2, 190, QSize(1240, 601), 400, QRect(0, 0, 1280, 600)),
            QRect(30, 0, 1240, 600));
  // Not below the least height: then the title bar stays in sight.
  EXPECT_EQ(initialWindowRect(1, 190, QSize(1240, 710), 400, QRect(0, 10, 1280, 300)),
            QRect(0, 10, 1240, 400));
  EXPECT_EQ(initialWindowRect(1, 190, QSize(1240, 710), 400, QRect()), QRect(0, 190, 1240, 710));
  EXPECT_EQ(keptInArea(QPoint(120, 338), QSize(1240, 705), area), QPoint(40, 65));
  EXPECT_EQ(keptInArea(QPoint(-5, 10), QSize(100, 100), QRect(0, 20, 1280, 770)), QPoint(0, 20));
  EXPECT_EQ(cascadeWindowPlace(0, 190), QPoint(0, 190));
  EXPECT_EQ(cascadeWindowPlace(2, 190), QPoint(120, 338));
}

// Three device windows of 1240 x 680 (700 with the title bar, at least 620) below a frame
// 115 high: on a 1280 x 800 screen they once all went to one place.
TEST(FrameLogic, CascadeKeepsEveryTitleBarInSightOnALowScreen) {
  const QSize outer(1240, 700);
  const auto rects = [&](int n, const QRect& area) {
    return cascadeWindowRects(n, 115, outer, 620, 20, area);
  };
  // Room enough: the usual steps, the windows as they are.
  EXPECT_EQ(rects(3, QRect(0, 0, 1920, 1080)),
            QList<QRect>(
                {QRect(0, 115, 1240, 700), QRect(60, 189, 1240, 700), QRect(120, 263, 1240, 700)}));
  EXPECT_EQ(rects(2, QRect()), QList<QRect>({QRect(0, 115, 1240, 700), QRect(60, 189, 1240, 700)}));
  // Lower windows first, then shorter steps; the last one ends on the bottom row.
  EXPECT_EQ(rects(3, QRect(0, 0, 1280, 800)),
            QList<QRect>(
                {QRect(0, 115, 1240, 620), QRect(20, 147, 1240, 620), QRect(40, 179, 1240, 620)}));
  // One pixel higher and the windows need not be as low as they may be.
  EXPECT_EQ(rects(2, QRect(0, 0, 1280, 810)).back(), QRect(40, 189, 1240, 621));
  // Six: steps of a title bar, and the cascade moves up over the frame.
  const QList<QRect> six = rects(6, QRect(0, 0, 1280, 800));
  ASSERT_EQ(six.size(), 6);
  EXPECT_EQ(six.front(), QRect(0, 80, 1240, 620));
  EXPECT_EQ(six.back(), QRect(40, 180, 1240, 620));
  // A screen lower than one window: the title bars still one below the other.
  const QList<QRect> low = rects(3, QRect(0, 0, 800, 600));
  EXPECT_EQ(low, QList<QRect>(
                     {QRect(0, 0, 1240, 620), QRect(0, 20, 1240, 620), QRect(0, 40, 1240, 620)}));
  // A usable area below a panel: nothing above its top.
  EXPECT_EQ(rects(2, QRect(0, 200, 1280, 900)).front().top(), 200);
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
