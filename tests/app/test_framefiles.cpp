// The frame's global settings and position files, and the boot sequence that prepares the
// multi-device window.
#include <QListWidget>
#include <clocale>
#include <fstream>
#include <locale.h>

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QStyle>
#include <QApplication>

#include "app/framefiles.h"
#include "app/headless.h"
#include "app/framelogic.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "frame_fixture.h"
#include "program_rig.h"
#include "multi/tf_multi_tolvanex_img.h"

namespace tolv::testing {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void put(const fs::path& p, const std::string& s) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << s;
}

TEST(GlobalSettingsFile, RoundTripsEveryLanguageAndSeparator) {
  QTemporaryDir dir;
  const fs::path p = fs::path(dir.path().toStdString()) / kGlobalSettingsFileName;
  for (int lang = 0; lang < 3; ++lang)
    for (QChar dec : {QLatin1Char('.'), QLatin1Char(',')})
      for (QChar col : {QLatin1Char('\t'), QLatin1Char(','), QLatin1Char('.'), QLatin1Char(';'),
                        QLatin1Char(' ')}) {
        setLanguageIndex(lang == 2 ? 1 : lang);  // labels in the language of writing
        GlobalSettings s{lang, lang != 1, dec, col};
        ASSERT_EQ(writeGlobalSettingsFile(p, s), 0);
        GlobalSettings back{0, true, QLatin1Char('x'), QLatin1Char('y')};
        ASSERT_EQ(readGlobalSettingsFile(p, back), 0);
        EXPECT_EQ(back, s) << lang << " " << int(dec.unicode()) << " " << int(col.unicode());
      }
  setLanguageIndex(1);
  ASSERT_EQ(writeGlobalSettingsFile(p, {2, false, QLatin1Char('.'), QLatin1Char(';')}), 0);
  EXPECT_EQ(slurp(p),
            "Language\r\nLX\r\nHints\r\nF\r\nDecimal separator\r\n46\r\nColumn separator\r\n59\r\n")
      << "labels";
  setLanguageIndex(0);
}

TEST(GlobalSettingsFile, DamageGivesItsCodeAndKeepsTheSettings) {
  QTemporaryDir dir;
  const fs::path p = fs::path(dir.path().toStdString()) / kGlobalSettingsFileName;
  const GlobalSettings start{1, false, QLatin1Char('.'), QLatin1Char(';')};
  GlobalSettings s = start;
  EXPECT_EQ(readGlobalSettingsFile(p, s), 2);
  put(p, "L\r\nEN\r\nH\r\nmaybe\r\nD\r\n44\r\nC\r\n9\r\n");
  EXPECT_EQ(readGlobalSettingsFile(p, s), 9210);
  put(p, "L\r\nEN\r\nH\r\nT\r\n");
  EXPECT_EQ(readGlobalSettingsFile(p, s), 38);
  EXPECT_EQ(s, start);
  // Unknown codes: German; separators that are no number, out of range or not offered stay.
  put(p, "L\nXX\nH\ntrue\nD\nabc\nC\n99999\n");
  ASSERT_EQ(readGlobalSettingsFile(p, s), 0);
  EXPECT_EQ(s, (GlobalSettings{0, true, QLatin1Char('.'), QLatin1Char(';')}));
  put(p, "L\nDE\nH\nF\nD\n65\nC\n59\n");
  ASSERT_EQ(readGlobalSettingsFile(p, s), 0);
  EXPECT_EQ(s.decimal, QLatin1Char('.'));
  EXPECT_EQ(s.column, QLatin1Char(';'));
}

using FrameFiles = FrameTest;

TEST_F(FrameFiles, FrameRestoresAndWritesBothFiles) {
  put(multiFolder() / kGlobalSettingsFileName, "L\r\nEN\r\nH\r\nF\r\nD\r\n46\r\nC\r\n59\r\n");
  {
    TF_MultiTolvanexFrame& f = makeFrame();
    EXPECT_EQ(f.language(), 1);
    EXPECT_FALSE(f.hints());
    EXPECT_EQ(f.decimalSeparator(), QLatin1Char('.'));
    EXPECT_EQ(f.columnSeparator(), QLatin1Char(';'));
    EXPECT_TRUE(fs::exists(multiFolder() / kPositionFileName));  // missing: written at start
    f.setLanguage(0);
    f.close();
  }
  frame_.reset();
  const std::string g = slurp(multiFolder() / kGlobalSettingsFileName);
  EXPECT_EQ(g.substr(0, 11), "Sprache\r\nDE");
  QStringList pos;
  ASSERT_EQ(readPositionFile(multiFolder() / kPositionFileName, pos), 0);
  ASSERT_EQ(pos.size(), 15);
  EXPECT_EQ(pos[3], "F_D2Koord");
  EXPECT_EQ(pos[6], text(242));
}

// The frame under a system locale the test chooses; the process's regional settings are
// given back afterwards.
class FrameFilesUnderLocale : public FrameTest {
 protected:
  void TearDown() override {
    FrameTest::TearDown();
    regional().reload();
    setLanguageIndex(0);
  }
};

TEST_F(FrameFilesUnderLocale, DamagedGlobalSettingsAreReplacedByDefaults) {
  regional().pin(QLocale(QStringLiteral("de_DE")));
  put(multiFolder() / kGlobalSettingsFileName, "L\r\nEN\r\nH\r\nnope\r\n");
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(f.language(), 0);
  EXPECT_TRUE(f.hints());
  EXPECT_EQ(f.columnSeparator(), QLatin1Char('\t'));
  EXPECT_EQ(slurp(multiFolder() / kGlobalSettingsFileName).substr(0, 11), "Sprache\r\nDE");
}

TEST(FirstStart, SettingsFollowTheSystemLocale) {
  struct Case {
    const char* locale;
    int language;
    char decimal;
  };
  // Swiss German writes a decimal dot; French a comma but is not German; a mark the frame
  // does not offer (Arabic) falls back to the dot. A locale naming no language (C) gives the
  // window the program's own German with a comma, a script English with a dot.
  for (const Case& c : {Case{"de_DE", 0, ','}, Case{"de_AT", 0, ','}, Case{"de_CH", 0, '.'},
                        Case{"en_US", 1, '.'}, Case{"en_GB", 1, '.'}, Case{"fr_FR", 1, ','},
                        Case{"C", 0, ','}, Case{"ar_EG", 1, '.'}}) {
    RegionalSettings r;
    r.pin(QLocale(QString::fromLatin1(c.locale)));
    const GlobalSettings g = firstStartSettings(r);
    EXPECT_EQ(g.language, c.language) << c.locale;
    EXPECT_EQ(g.decimal, QLatin1Char(c.decimal)) << c.locale;
    EXPECT_NE(g.column, g.decimal) << c.locale;
    EXPECT_GE(columnSeparatorItem(g.column), 0) << c.locale;
    EXPECT_TRUE(g.hints) << c.locale;
    const GlobalSettings script = firstStartSettings(r, FirstStartUse::Script);
    const bool named = std::string(c.locale) != "C";
    EXPECT_EQ(script.language, named ? c.language : 1) << c.locale;
    EXPECT_EQ(script.decimal, QLatin1Char(named ? c.decimal : '.')) << c.locale;
  }
  // German regional formats under messages of no language: German with the comma.
  RegionalSettings mixed;
  mixed.pin(QLocale(QStringLiteral("C")));
  mixed.pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(firstStartSettings(mixed).language, 0);
  EXPECT_EQ(firstStartSettings(mixed).decimal, QLatin1Char(','));
}

TEST_F(FrameFilesUnderLocale, FirstStartWritesTheSystemsLanguageAndDecimalMark) {
  regional().pin(QLocale(QStringLiteral("en_US")));
  {
    TF_MultiTolvanexFrame& f = makeFrame();
    EXPECT_EQ(f.language(), 1);
    EXPECT_EQ(f.decimalSeparator(), QLatin1Char('.'));
    EXPECT_EQ(f.columnSeparator(), QLatin1Char('\t'));
    EXPECT_EQ(slurp(multiFolder() / kGlobalSettingsFileName),
              "Language\r\nEN\r\nHints\r\nT\r\nDecimal separator\r\n46\r\n"
              "Column separator\r\n9\r\n");
  }
  frame_.reset();
  // A German system does not override what was saved.
  regional().pin(QLocale(QStringLiteral("de_DE")));
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(f.language(), 1);
  EXPECT_EQ(f.decimalSeparator(), QLatin1Char('.'));
}

// Converting without a window before any settings were saved uses the separators the window's
// first start would take.
TEST_F(FrameFilesUnderLocale, ConversionWithoutSavedSettingsFollowsTheSystemToo) {
  regional().pin(QLocale(QStringLiteral("en_US")));
  CsvStyle s = headlessCsvStyle({});
  EXPECT_EQ(s.decimal, '.');
  EXPECT_EQ(s.column, '\t');
  EXPECT_EQ(languageIndex(), 1);
  regional().pin(QLocale(QStringLiteral("de_DE")));
  s = headlessCsvStyle({});
  EXPECT_EQ(s.decimal, ',');
  EXPECT_EQ(languageIndex(), 0);
  // Scripts run under C keep the dot the tools they feed expect.
  regional().pin(QLocale(QStringLiteral("C")));
  s = headlessCsvStyle({});
  EXPECT_EQ(s.decimal, '.');
  EXPECT_EQ(languageIndex(), 1);
  EXPECT_FALSE(fs::exists(multiFolder() / kGlobalSettingsFileName)) << "nothing is saved";
}

TEST_F(FrameFilesUnderLocale, SavedSettingsWinOverTheSystem) {
  regional().pin(QLocale(QStringLiteral("en_US")));
  put(multiFolder() / kGlobalSettingsFileName, "L\r\nDE\r\nH\r\nT\r\nD\r\n44\r\nC\r\n59\r\n");
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(f.language(), 0);
  EXPECT_EQ(f.decimalSeparator(), QLatin1Char(','));
  EXPECT_EQ(f.columnSeparator(), QLatin1Char(';'));
}

TEST_F(FrameFiles, PositionFileIsAppliedOnlyWhenItsLineCountMatches) {
  const fs::path p = multiFolder() / kPositionFileName;
  QStringList good = {"frame", "33",     "44", "F_D2Koord", "500", "300", "multi", "120",
                      "130",   "880",    "610", "T",        "Part7", "T",   "1"};
  put(p, good.join(QStringLiteral("\r\n")).toStdString() + "\r\n");
  {
    TF_MultiTolvanexFrame& f = makeFrame();
    EXPECT_EQ(f.pos(), QPoint(33, 44));
    EXPECT_EQ(f.multiWindow()->coll().fixedPart(), "Part7");
    EXPECT_TRUE(f.multiWindow()->autostart());
    EXPECT_EQ(f.multiWindow()->coll().visibleMode(), 1);
    // No larger than the screen (the offscreen one is smaller than that).
    EXPECT_EQ(f.multiWindow()->size(),
              QSize(880, 610).boundedTo(QGuiApplication::primaryScreen()->availableSize()));
  }
  frame_.reset();
  // One line more than the windows give: not applied, rewritten from the live windows.
  QStringList longer = good;
  longer[1] = QStringLiteral("77");
  longer << QStringLiteral("extra");
  put(p, longer.join(QStringLiteral("\r\n")).toStdString() + "\r\n");
  {
    TF_MultiTolvanexFrame& f = makeFrame();
    EXPECT_NE(f.pos().x(), 77);
    QStringList now;
    ASSERT_EQ(readPositionFile(p, now), 0);
    EXPECT_EQ(now.size(), 15);
    EXPECT_FALSE(f.multiWindow()->autostart());
  }
  frame_.reset();
  // Right count, a value that is not a number (or huge): nothing moves, the file is rewritten.
  for (int bad : {2, 9, 14}) {
    QStringList damaged = good;
    damaged[bad] = bad == 9 ? QStringLiteral("1e12") : QStringLiteral("zz");
    put(p, damaged.join(QStringLiteral("\r\n")).toStdString() + "\r\n");
    TF_MultiTolvanexFrame& f = makeFrame();
    EXPECT_NE(f.pos(), QPoint(33, 44)) << bad;
    EXPECT_FALSE(f.multiWindow()->autostart()) << bad;
    QStringList now;
    ASSERT_EQ(readPositionFile(p, now), 0);
    EXPECT_NE(now[bad], damaged[bad]);
    frame_.reset();
  }
}

TEST_F(FrameFiles, BootWithoutAutostartStopsAfterTheFirstStep) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  TF_Multi_Tolvanex_Img* m = f.multiWindow();
  f.TM_BootTimer();
  EXPECT_EQ(f.bootStep(), 1);
  EXPECT_FALSE(f.bootTimer()->isActive());
  EXPECT_FALSE(m->isVisible());
  EXPECT_EQ(m->coll().itemCount(), 2);
  EXPECT_EQ(m->dataFileFolder(), multiFolder());
  EXPECT_FALSE(bootingFlag());
  // Showing the window for the first time continues at the activation step.
  f.BN_MultiScopeWindowClick();
  EXPECT_TRUE(m->isVisible());
  EXPECT_TRUE(f.bootTimer()->isActive());
  EXPECT_EQ(f.bootStep(), 1);
  f.TM_BootTimer();  // nothing checked: the sequence stops
  EXPECT_FALSE(f.bootTimer()->isActive());
  EXPECT_EQ(m->activeCount(), 0);
}

TEST_F(FrameFiles, AutostartActivatesSwitchesShowsAndRuns) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  const fs::path p = multiFolder() / kPositionFileName;
  {
    TF_MultiTolvanexFrame& f = makeFrame();
    f.multiWindow()->coll().setAutostart(true, false);
    f.close();
  }
  frame_.reset();
  // Both devices checked in the scalings file.
  TF_MultiTolvanexFrame& f = makeFrame();
  TF_Multi_Tolvanex_Img* m = f.multiWindow();
  EXPECT_TRUE(m->autostart());
  m->coll().fill();
  m->coll().setItemChecked(0, true);
  m->coll().setItemChecked(1, true);
  m->coll().saveScalings(m->coll().scalingsPath());
  f.TM_BootTimer();
  EXPECT_TRUE(m->coll().itemChecked(1));
  EXPECT_TRUE(f.bootTimer()->isActive());
  f.TM_BootTimer();
  EXPECT_EQ(f.bootStep(), 2);
  EXPECT_EQ(m->activeCount(), 2);
  f.TM_BootTimer();
  EXPECT_EQ(f.bootStep(), 3);
  EXPECT_TRUE(m->isVisible());
  f.TM_BootTimer();
  EXPECT_FALSE(f.bootTimer()->isActive());
  EXPECT_TRUE(m->coll().running());
}

}  // namespace
}  // namespace tolv::testing

namespace tolv::testing {
namespace {

// An engineer who opens the multi-device window before the first boot step has run gets it
// filled, laid out and activated, and the scalings file keeps its rows.
TEST_F(FrameFiles, MultiWindowShownBeforeTheFirstStepIsStillPrepared) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  {
    TF_MultiTolvanexFrame& f = makeFrame();
    TF_Multi_Tolvanex_Img* m = f.multiWindow();
    f.TM_BootTimer();
    m->coll().setItemChecked(0, true);
    m->coll().setItemChecked(1, true);
    m->coll().setScaleCell(1, 2, QStringLiteral("2.5"));
    f.close();
  }
  frame_.reset();
  TF_MultiTolvanexFrame& f = makeFrame();
  TF_Multi_Tolvanex_Img* m = f.multiWindow();
  ASSERT_EQ(f.bootStep(), 0);
  f.BN_MultiScopeWindowClick();
  EXPECT_TRUE(m->isVisible());
  for (int tick = 0; tick < 5 && f.bootTimer()->isActive(); ++tick) f.TM_BootTimer();
  EXPECT_FALSE(bootingFlag());
  EXPECT_EQ(m->coll().itemCount(), 2);
  EXPECT_EQ(m->activeCount(), 2);
  EXPECT_TRUE(m->isVisible());
  f.close();
  frame_.reset();
  ScalingsData d;
  d.rows.resize(4);
  d.checked = {false, false};
  ASSERT_EQ(readScalingsFile(multiFolder() / "Scalings.TXT", d), 0);
  EXPECT_EQ(d.rows[0].factor, "2.5");
  EXPECT_EQ(d.checked, (std::vector<bool>{true, true}));
}

}  // namespace
}  // namespace tolv::testing

namespace tolv::testing {
namespace {

// Places saved on a monitor that has gone since: the windows come back onto the screen.
TEST_F(FrameFiles, WindowsSavedOffTheScreensComeBackOntoThem) {
  const fs::path p = multiFolder() / kPositionFileName;
  const QStringList lines = {"frame", "9000", "7000", "F_D2Koord", "500", "300", "multi", "-5000",
                             "3000",  "880",  "610",  "F",         "",    "F",   "3"};
  put(p, lines.join(QStringLiteral("\r\n")).toStdString() + "\r\n");
  TF_MultiTolvanexFrame& f = makeFrame();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_TRUE(screen.contains(f.pos())) << f.pos().x() << "," << f.pos().y();
  // The whole frame, its lower rows and the title bar above it included, not only its corner.
  f.show();
  QApplication::processEvents();
  const QRect whole(f.pos(), f.size() + QSize(0, f.style()->pixelMetric(QStyle::PM_TitleBarHeight)));
  EXPECT_TRUE(screen.contains(whole)) << whole.x() << "," << whole.y() << " " << whole.width()
                                      << "x" << whole.height();
  EXPECT_TRUE(screen.contains(f.multiWindow()->pos()));
  EXPECT_EQ(f.multiWindow()->size(), QSize(880, 610).boundedTo(screen.size()));
}

TEST(FramePlacement, CentredOnScreenKeepsAWindowWhollyOnTheOpenersScreen) {
  const QRect screen(0, 0, 1600, 1000);
  const QSize about(360, 230);
  EXPECT_EQ(centredOnScreen(QRect(100, 100, 480, 190), about, screen), QPoint(160, 80));
  // At the edges: moved in until it fits, the top left corner first.
  EXPECT_EQ(centredOnScreen(QRect(1400, 900, 480, 190), about, screen), QPoint(1240, 770));
  EXPECT_EQ(centredOnScreen(QRect(-300, -100, 480, 190), about, screen), QPoint(0, 0));
  EXPECT_EQ(centredOnScreen(QRect(100, 100, 480, 190), QSize(2000, 1200), screen), QPoint(0, 0));
  // A second screen to the right is the opener's own.
  EXPECT_EQ(centredOnScreen(QRect(1700, 10, 480, 190), about, QRect(1600, 0, 1280, 1024)),
            QPoint(1760, 0));
}

#ifdef TOLV_PROGRAM_PATH
// The built program's first start on a fresh data root under a system language: the global
// settings it writes at once, and again when it ends, follow that language.
TEST(ProgramFirstStart, GlobalSettingsFollowTheSystemLanguage) {
  struct Case {
    const char* lang;
    const char* file;
  };
  for (const Case& c :
       {Case{"en_US.UTF-8",
             "Language\r\nEN\r\nHints\r\nT\r\nDecimal separator\r\n46\r\nColumn separator\r\n9\r\n"},
        Case{"de_DE.UTF-8",
             "Sprache\r\nDE\r\nHinweise\r\nT\r\nDezimal-Trenner\r\n44\r\n"
             "Spalten-Trenner\r\n9\r\n"},
        // A system set up for no region: the program's own defaults.
        Case{"C.UTF-8",
             "Sprache\r\nDE\r\nHinweise\r\nT\r\nDezimal-Trenner\r\n44\r\n"
             "Spalten-Trenner\r\n9\r\n"}}) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const fs::path root = fs::path(dir.path().toStdString()) / "D";
    const fs::path file = root / "MULTI_Tolvanex" / kGlobalSettingsFileName;
    QProcessEnvironment env = progtest::programEnvironment();
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANGUAGE"}) env.remove(v);
    env.insert("LANG", c.lang);
    QProcess p;
    progtest::startProgram(p, root, 0, {}, env);
    ASSERT_TRUE(p.waitForStarted(10000)) << c.lang;
    ASSERT_TRUE(progtest::waitFor([&] { return slurp(file).size() > 60; }, 30000)) << c.lang;
    EXPECT_EQ(slurp(file), c.file) << c.lang;
    progtest::stopProgram(p);
    EXPECT_EQ(slurp(file), c.file) << c.lang << ", after the end";
  }
}

// On a German system the C library would write and read numbers with a decimal comma; the
// program's files keep the dot, so a device's stored settings come back as they were.
TEST(ProgramUnderGermanLocale, StoredSettingsKeepTheirNumbers) {
  if (locale_t l = newlocale(LC_ALL_MASK, "de_DE.UTF-8", locale_t(nullptr)))
    freelocale(l);
  else
    GTEST_SKIP() << "locale de_DE.UTF-8 is not generated (scripts/install-deps.sh does it)";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path root = fs::path(dir.path().toStdString()) / "D";
  QProcessEnvironment env = progtest::programEnvironment();
  for (const char* v : {"LC_ALL", "LC_NUMERIC", "LC_MESSAGES", "LANGUAGE"}) env.remove(v);
  env.insert("LANG", "de_DE.UTF-8");
  const auto runOnce = [&] {
    QProcess p;
    progtest::startProgram(p, root, 1, {}, env);
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(progtest::waitFor([&] { return progtest::deviceFoldersReady(root, 1); }, 30000));
    QThread::msleep(2500);  // the device window has applied its settings
    progtest::stopProgram(p);
  };
  runOnce();
  const auto devices = progtest::deviceFolders(root);
  ASSERT_EQ(devices.size(), 1u);
  const fs::path vxs = devices[0] / "LastSettings.VXS";
  TSettingsLoader l;
  ASSERT_EQ(l.load(vxs), 0);
  SettingsRecord s = l.toApply();
  s.amplC1 = 0.5;
  s.sampleTime = 0.0005;
  s.probeFactorC1 = -7;  // whole numbers only: a loaded -2.5 would come back as the offered -2
  ASSERT_EQ(saveSettingsFiles(vxs, s), 0);
  runOnce();
  TSettingsLoader again;
  ASSERT_EQ(again.load(vxs), 0);
  EXPECT_FALSE(again.lastLoadUsedImage()) << "the text file did not load";
  const SettingsRecord r = again.toApply();
  EXPECT_EQ(r.amplC1, 0.5);
  EXPECT_EQ(r.sampleTime, 0.0005);
  EXPECT_EQ(r.probeFactorC1, -7);
}
#endif

}  // namespace
}  // namespace tolv::testing
