// LastSettings and the settings-file actions of a device window, against simulated devices on
// a manual clock and manual timers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/texttable.h"
#include "devicewin/settingsfileactions.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "ftdi/simulated_driver.h"
#include "measure/settingsfiles.h"
#include "support/pipe_rescue.h"

using namespace tolv;
namespace fs = std::filesystem;

namespace {

class SettingsWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = fs::path(dir_.path().toStdString());
    setDataRoot(root_);
    fillBuiltInTexts();
  }
  void TearDown() override { w_.reset(); }

  // A new window on a device in its power-on state, so whatever it shows after opening came
  // from the files.
  void newWindow() {
    w_.reset();
    sim_ = std::make_unique<TSimulatedDriver>(1, clock_);
    sim_->setLinkRate({4096, 1000});
    w_ = std::make_unique<TF_OneTolvanex>(*sim_, nullptr,
                                          [this](int ms) -> ITimer& { return hub_.create(ms); });
    w_->setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
    w_->setGeometry(100, 100, 1000, 700);
  }
  void advance(std::int64_t ms) { hub_.advance(ms); }
  bool until(const std::function<bool()>& p, std::int64_t maxMs = 4000) {
    return hub_.advanceUntil(p, maxMs);
  }
  TAcquisition& acq() { return w_->acquisition(); }
  TSettingsFileActions& files() { return *w_->settingsFiles(); }
  fs::path folder() const { return root_ / TSimulatedDriver::serialFor(1); }
  fs::path last() const { return folder() / "LastSettings.VXS"; }
  bool settled() {
    return !w_->startUpPending() && acq().queue().count() == 0 && acq().replyTag() < 0;
  }
  // Replaces the value lines after the given keys of a .SKS, as a hand edit or another program
  // would.
  void editSks(const fs::path& sks, const std::vector<std::pair<QString, QString>>& values) {
    QFile f(pathText(sks));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromLatin1(f.readAll()).split(QStringLiteral("\r\n"));
    f.close();
    for (const auto& [key, value] : values) {
      const qsizetype at = lines.indexOf(key);
      ASSERT_GE(at, 0) << key.toStdString();
      lines[at + 1] = value;
    }
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(lines.join(QStringLiteral("\r\n")).toLatin1());
  }

  QTemporaryDir dir_;
  fs::path root_;
  ManualClock clock_;
  TManualTimerHub hub_{clock_};
  std::unique_ptr<TSimulatedDriver> sim_;
  std::unique_ptr<TF_OneTolvanex> w_;
};

}  // namespace

TEST_F(SettingsWindow, AFirstStartRunsTheDefaultsAndEnablesRunAtTheEnd) {
  newWindow();
  EXPECT_EQ(w_->open(), 2);
  EXPECT_FALSE(w_->runPanel()->runButton()->isEnabled());
  advance(400);
  EXPECT_TRUE(w_->runPanel()->runButton()->isEnabled());
  EXPECT_EQ(acq().loadedSettings(), SettingsRecord::defaults());
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0 && settled(); }));
  // Closing stores the defaults the device now runs with.
  w_->closeQuery();
  EXPECT_EQ(files().lastCloseResult(), 0);
  ASSERT_EQ(fs::file_size(last()), 408u);
  SettingsRecord stored;
  ASSERT_EQ(readSettingsImage(last(), stored), 0);
  EXPECT_EQ(stored.mode, kModeOSA0);
  EXPECT_EQ(stored.scopePlotMode, 3);
  EXPECT_TRUE(stored.makeIntermediateFiles);
  EXPECT_EQ(stored.clockInterval0, 100);
}

TEST_F(SettingsWindow, ChangedSettingsComeBackAtTheNextStart) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0 && settled(); }));
  TSettingsModel& m = w_->settingsModel();
  m.amplitudeTrackbarMoved(0, 3);  // 2 V
  m.amplitudeTrackbarMoved(1, 1);  // 0.5 V
  m.sampleTimeTrackbarMoved(8);    // 500 us
  m.memoryDepthTrackbarMoved(3);   // 1000
  m.probeSpinChanged(0, 10);
  m.probeSpinChanged(1, -5);
  m.auxBoxChanged(false);
  w_->gpioModel().setCountInterval(1, 1500);
  advance(300);
  ASSERT_TRUE(until([&] { return settled(); }));
  m.modeChosen(0);  // VMD0
  ASSERT_TRUE(until([&] { return acq().mode() == kModeVMD0 && settled(); }));
  acq().setOverlap(false);  // (single shot is cleared by the stop that closing starts with)
  w_->setGeometry(40, 50, 1300, 700);
  files().setOptionsSource([](WindowOptions& o) { o.scopePlotMode = 1; });
  w_->closeQuery();
  ASSERT_EQ(files().lastCloseResult(), 0);
  ASSERT_EQ(fs::file_size(last()), 408u);

  newWindow();
  ASSERT_EQ(w_->open(), 0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeVMD0 && settled(); }, 6000));
  advance(1000);
  EXPECT_EQ(acq().storedReply().amplC0, 2.0f);
  EXPECT_EQ(acq().storedReply().amplC1, 0.5f);
  EXPECT_FLOAT_EQ(acq().storedReply().sampleTime, 500e-6f);
  EXPECT_EQ(acq().storedReply().memoryDepth, 1000.0f);
  EXPECT_EQ(acq().conversion().probe[0], 10.0);
  EXPECT_EQ(acq().conversion().probe[1], -5.0);
  EXPECT_EQ(acq().conversion().aux, 1.0);
  EXPECT_FALSE(acq().overlap());
  EXPECT_EQ(w_->gpioModel().countInterval(1), 1500);
  // No wider than the screen holds (the test screen is narrower than the window's minimum).
  const int screenWidth = QGuiApplication::primaryScreen()->availableGeometry().width();
  EXPECT_EQ(w_->geometry(),
            QRect(40, 50, std::min(1300, std::max(TF_OneTolvanex::kMinimumWidth, screenWidth)), 700));
  EXPECT_TRUE(w_->runPanel()->runButton()->isEnabled());
  // Options no panel owns here are kept from the file.
  EXPECT_EQ(files().windowOptions().scopePlotMode, 1);
  EXPECT_EQ(files().snapshot().scopePlotMode, 1);
}

TEST_F(SettingsWindow, WithoutTheSksTheImageAppliesZeroOptionsHeldToTheMinimumSize) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return settled(); }));
  w_->closeQuery();
  fs::remove(sksName(last()));
  newWindow();
  ASSERT_EQ(w_->open(), 0);
  EXPECT_TRUE(files().loader().lastLoadUsedImage());
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0 && settled(); }, 6000));
  EXPECT_EQ(w_->geometry().size(),
            QSize(TF_OneTolvanex::kMinimumWidth, TF_OneTolvanex::kMinimumHeight));
  EXPECT_FALSE(acq().overlap());
  EXPECT_EQ(files().windowOptions().scopePlotMode, 0);
  EXPECT_EQ(files().windowOptions().autoSaveMode, 0);
  // Probe factors of 0 are never used: they count as 1.
  EXPECT_EQ(acq().conversion().probe[0], 1.0);
  EXPECT_TRUE(w_->runPanel()->runButton()->isEnabled());
}

TEST_F(SettingsWindow, AnUnreadableLastSettingsStartsOnDefaults) {
  fs::create_directories(folder());
  QFile f(pathText(last()));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("not a setting");
  f.close();
  newWindow();
  EXPECT_EQ(w_->open(), kSettingsImageSize);
  advance(3000);
  EXPECT_TRUE(w_->runPanel()->runButton()->isEnabled());
  EXPECT_EQ(acq().mode(), kModeOSA0);
  // Named pipes without a writer at the three names: the window opens at once, each pipe taken
  // for a damaged file, and starts on the defaults; "Load settings" of it says why, in the
  // window's language.
  w_.reset();
  const std::vector<fs::path> pipes = {last(), sksName(last()), vxtName(last())};
  for (const fs::path& p : pipes) {
    fs::remove(p);
    ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0);
  }
  tolv::testing::PipeRescue guard(pipes);
  newWindow();
  EXPECT_EQ(w_->open(), kNotARegularFile);
  QStringList told;
  files().setAskName([&](bool, const QString&, const QString&) { return pathText(last()); });
  files().setLoadWarner([&](const QString&, const QString& msg) { told << msg; });
  setLanguageIndex(kLanguageEnglish);
  files().loadSettings();
  setLanguageIndex(kLanguageGerman);
  files().loadSettings();
  setLanguageIndex(kLanguageEnglish);
  EXPECT_FALSE(guard.stop()) << "a pipe was waited on";
  advance(3000);
  EXPECT_TRUE(w_->runPanel()->runButton()->isEnabled());
  EXPECT_EQ(acq().mode(), kModeOSA0);
  ASSERT_EQ(told.size(), 2);
  EXPECT_TRUE(told[0].contains(pathText(last()))) << told[0].toStdString();
  EXPECT_TRUE(told[0].contains(QStringLiteral("that is not a regular file")))
      << told[0].toStdString();
  EXPECT_TRUE(told[1].contains(QStringLiteral("das ist keine gewöhnliche Datei")))
      << told[1].toStdString();
  for (const fs::path& p : pipes) EXPECT_TRUE(fs::is_fifo(p)) << p;
}

TEST_F(SettingsWindow, ClosingBeforeTheSettingIsAppliedKeepsTheStoredOne) {
  SettingsRecord stored = SettingsRecord::defaults(700, 500, 10, 20);
  stored.mode = kModeLAIO;
  stored.amplC0 = 0.2;
  fs::create_directories(folder());
  ASSERT_EQ(saveSettingsFiles(last(), stored), 0);
  newWindow();
  ASSERT_EQ(w_->open(), 0);
  advance(100);  // closed at once: nothing has reached the device yet
  w_->closeQuery();
  TSettingsLoader l;
  ASSERT_EQ(l.load(last()), 0);
  EXPECT_EQ(l.toApply(), stored);

  // Nor when the device is pulled once it has confirmed the stored mode and reported its
  // power-on settings, but before the stored ones went out, and the window closes while it is
  // away.
  newWindow();
  ASSERT_EQ(w_->open(), 0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeLAIO && acq().settingsKnown(); }));
  ASSERT_TRUE(w_->startUpPending());
  ASSERT_NE(acq().conversion().ampl[0], 0.2);
  sim_->unplug(0);
  w_->deviceGone();
  ASSERT_TRUE(w_->isLost());
  advance(3000);
  EXPECT_TRUE(w_->startUpPending());
  w_->closeQuery();
  ASSERT_EQ(l.load(last()), 0);
  EXPECT_EQ(l.toApply(), stored);

  // A mode chosen but not yet confirmed by the device when the window closes is the one kept.
  newWindow();
  ASSERT_EQ(w_->open(), 0);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeLAIO && settled(); }, 6000));
  w_->settingsModel().modeChosen(0);  // VMD0
  EXPECT_EQ(acq().mode(), kModeLAIO);
  w_->closeQuery();
  ASSERT_EQ(l.load(last()), 0);
  EXPECT_EQ(l.toApply().mode, kModeVMD0);
}

// A settings file may hold probe factors no spin edit offers (edited by hand, another
// program): the window uses what it can show, so the value shown is the value converted with.
TEST_F(SettingsWindow, LoadedProbeFactorsAreTheOnesTheSpinEditsShow) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return settled(); }));
  const fs::path vxs = folder() / "Odd.VXS";
  ASSERT_EQ(files().save(vxs), 0);
  setLanguageIndex(kLanguageEnglish);
  files().setAskName([&](bool, const QString&, const QString&) { return pathText(vxs); });
  QStringList warned;
  files().setLoadWarner([&](const QString&, const QString& text) { warned << text; });
  // A setting the window saved itself (sample time from the device's reply) loads as it is.
  files().loadSettings();
  ASSERT_TRUE(until([&] { return settled(); }, 6000));
  EXPECT_TRUE(warned.isEmpty()) << warned.join(QLatin1Char('|')).toStdString();
  editSks(folder() / "Odd.SKS", {{"ProbeFactor_C0", " 5.00000000000000E+0002"},
                                  {"ProbeFactor_C1", "-2.50000000000000E+0000"}});
  files().loadSettings();
  ASSERT_TRUE(until([&] { return settled(); }, 6000));
  ASSERT_EQ(warned.size(), 1);
  EXPECT_TRUE(warned[0].contains(QStringLiteral("2 values of the file are none the window offers")))
      << warned[0].toStdString();
  EXPECT_EQ(acq().conversion().probe[0], 100.0);
  EXPECT_EQ(acq().conversion().probe[1], -2.0);
  EXPECT_EQ(w_->findChild<QSpinBox*>(QStringLiteral("SE_TF_C0"))->value(), 100);
  EXPECT_EQ(w_->findChild<QSpinBox*>(QStringLiteral("SE_TF_C1"))->value(), -2);
}

// A settings file from another screen, or edited by hand, must not take the window, or its
// title bar, out of reach.
TEST_F(SettingsWindow, APlaceOffTheScreenFromASettingsFileIsBroughtBack) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return settled(); }));
  const fs::path vxs = folder() / "Far.VXS";
  ASSERT_EQ(files().save(vxs), 0);
  editSks(folder() / "Far.SKS", {{"Left", "-5000"}, {"Top", "30000"}, {"Width", "99999"}});
  files().setAskName([&](bool, const QString&, const QString&) { return pathText(vxs); });
  files().setLoadWarner([](const QString&, const QString&) {});
  files().loadSettings();
  ASSERT_TRUE(until([&] { return settled(); }, 6000));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  const QRect g = w_->geometry();
  // The title bar above the inner rectangle lies on the screen.
  EXPECT_TRUE(screen.contains(QPoint(g.x(), g.y() - w_->frameMargins().top())))
      << g.x() << "," << g.y();
  EXPECT_LE(g.width(), std::max(screen.width(), TF_OneTolvanex::kMinimumWidth));
}

TEST_F(SettingsWindow, AFailedStoreAtCloseIsReportedAndClosingGoesOn) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return settled(); }));
  // The name is taken by a folder, as a read-only device folder refuses the file.
  fs::create_directories(last());
  QStringList told;
  files().setReporter([&](const QString& s) { told << s; });
  setLanguageIndex(kLanguageGerman);  // told in the window's language
  EXPECT_TRUE(w_->closeQuery());
  setLanguageIndex(kLanguageEnglish);
  EXPECT_FALSE(w_->link().isOpen());
  EXPECT_NE(files().lastCloseResult(), 0);
  ASSERT_EQ(told.size(), 1);
  EXPECT_TRUE(told[0].contains(QString::fromStdString(TSimulatedDriver::serialFor(1))));
  EXPECT_TRUE(told[0].contains(QStringLiteral("LastSettings.VXS")));
  EXPECT_TRUE(told[0].contains(QStringLiteral("konnten nicht"))) << told[0].toStdString();
  // The reason in words beside its number.
  EXPECT_TRUE(told[0].contains(QStringLiteral("(Fehler 21: das ist ein Ordner)")))
      << told[0].toStdString();
}

TEST_F(SettingsWindow, MenuActionsSaveAsLoadAndSaveToTheLastName) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return acq().mode() == kModeOSA0 && settled(); }));
  QString answer;
  QString askedFolder, askedFilter;
  files().setAskName([&](bool, const QString& folder, const QString& filter) {
    askedFolder = folder;
    askedFilter = filter;
    return answer;
  });
  // Cancelled and folder-less names do nothing.
  answer.clear();
  files().saveSettingsAs();
  answer = QStringLiteral("bare.txt");
  files().saveSettingsAs();
  EXPECT_TRUE(files().lastName().empty());
  EXPECT_EQ(askedFolder, pathText(folder()));
  EXPECT_EQ(askedFilter, QStringLiteral("Tolvanex Einstellungen (*.VXS)"));
  // The chosen extension becomes ".VXS".
  acq().setSingleShot(true);
  answer = pathText(folder() / "Bench.txt");
  files().saveSettingsAs();
  acq().setSingleShot(false);
  EXPECT_EQ(files().lastName(), folder() / "Bench.VXS");
  EXPECT_EQ(fs::file_size(folder() / "Bench.VXS"), 408u);
  EXPECT_TRUE(fs::exists(folder() / "Bench.VXT"));
  EXPECT_TRUE(fs::exists(folder() / "Bench.SKS"));
  // A changed range, then loading the saved setting brings the old one back (the device's
  // power-on range, read back when the window started on defaults).
  ASSERT_EQ(acq().storedReply().amplC0, 10.0f);
  w_->settingsModel().amplitudeTrackbarMoved(0, 0);
  advance(300);
  ASSERT_TRUE(until([&] { return settled() && acq().storedReply().amplC0 == 0.2f; }));
  answer = pathText(folder() / "Bench.VXS");
  files().loadSettings();
  EXPECT_EQ(askedFilter, QStringLiteral("Tolvanex Settings (*.VXS)"));
  ASSERT_TRUE(until([&] { return settled() && acq().storedReply().amplC0 == 10.0f; }, 6000));
  EXPECT_TRUE(acq().singleShot());
  EXPECT_TRUE(w_->runPanel()->singleShotBox()->isChecked());
  // "Save settings" goes to the name used last; a load that fails changes nothing and says so.
  setLanguageIndex(kLanguageEnglish);
  QStringList warned;
  files().setLoadWarner([&](const QString& title, const QString& text) {
    warned << title + QLatin1Char('|') + text;
  });
  // A damaged text header: the image stands in, and the status line names both files until
  // the next load.
  const fs::path vxt = folder() / "Bench.VXT";
  fs::copy_file(vxt, folder() / "Bench.keep");
  std::ofstream(vxt, std::ios::binary | std::ios::trunc) << std::string(300, '\x7f');
  const QLabel* status = w_->linkPanel()->messagePanel();
  const QString fromImage =
      QStringLiteral("Bench.VXT is damaged or missing: the settings were loaded from Bench.VXS.");
  files().loadSettings();
  EXPECT_TRUE(status->text().contains(fromImage)) << status->text().toStdString();
  ASSERT_TRUE(until([&] { return settled(); }, 6000));
  EXPECT_TRUE(status->text().contains(fromImage));
  fs::remove(vxt);
  fs::rename(folder() / "Bench.keep", vxt);
  files().loadSettings();
  ASSERT_TRUE(until([&] { return settled(); }, 6000));
  EXPECT_FALSE(status->text().contains(QStringLiteral("damaged")));
  answer = pathText(folder() / "Missing.VXS");
  files().loadSettings();
  EXPECT_FALSE(w_->startUpPending());  // no stage started
  EXPECT_EQ(files().lastName(), folder() / "Bench.VXS");
  // A damaged image without its text files: cut short, or a whole one of nonsense.
  std::ofstream(folder() / "Cut.VXS", std::ios::binary) << std::string(407, '\1');
  answer = pathText(folder() / "Cut.VXS");
  files().loadSettings();
  std::ofstream(folder() / "Junk.VXS", std::ios::binary) << std::string(408, '\xff');
  answer = pathText(folder() / "Junk.VXS");
  files().loadSettings();
  EXPECT_FALSE(w_->startUpPending());
  EXPECT_EQ(files().lastName(), folder() / "Bench.VXS");
  ASSERT_EQ(warned.size(), 3);
  EXPECT_TRUE(warned[0].startsWith(QStringLiteral("File error|Error occurred when\nTrying to load\n")))
      << warned[0].toStdString();
  EXPECT_TRUE(warned[0].contains(QStringLiteral("File: ") + pathText(folder() / "Missing.VXS")));
  EXPECT_TRUE(warned[0].contains(QStringLiteral("Error Code: 2 (")));
  EXPECT_TRUE(warned[1].contains(QStringLiteral("Cut.VXS")));
  EXPECT_TRUE(warned[1].contains(QStringLiteral("not 408 bytes long")));
  EXPECT_TRUE(warned[2].contains(QStringLiteral("Junk.VXS")));
  EXPECT_TRUE(warned[2].contains(QStringLiteral("Error Code: 9220")));
  fs::remove(folder() / "Bench.SKS");
  files().saveSettings();
  EXPECT_TRUE(fs::exists(folder() / "Bench.SKS"));
  EXPECT_FALSE(fs::exists(last()));
}

TEST_F(SettingsWindow, SaveSettingsWithoutANameThisSessionGoesToLastSettings) {
  newWindow();
  ASSERT_EQ(w_->open(), 2);
  ASSERT_TRUE(until([&] { return settled(); }));
  files().saveSettings();
  EXPECT_EQ(fs::file_size(last()), 408u);
}
