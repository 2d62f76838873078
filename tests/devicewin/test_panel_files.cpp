#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/atomicfile.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "devicewin/panel_files.h"
#include "measure/datafiles.h"
#include "measure/intermediaterecords.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

using namespace tolv;
namespace fs = std::filesystem;

namespace {

struct CountingPresenter : IMeasurePresenter {
  int scopePlots = 0;
  int lastN = -1;
  // What drawing a stored analog-logger stream gives, and whether the sheet says it.
  int analogRc = 0;
  bool analogToldOnSheet = false;
  void plotScopeRecord(const TMeasureData& d) override {
    ++scopePlots;
    lastN = d.sampleCount();
  }
  int plotAnalogLoggerFile(const fs::path&) override { return analogRc; }
  bool failureOnSheet() const override { return analogToldOnSheet; }
};

void spit(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

struct FakeDialogs : IFileDialogs {
  QString saveAnswer, openAnswer;
  bool yes = false;
  QStringList calls;  // dialog names in order
  QString lastFolder, lastFile, lastFilter, lastQuestion;
  bool folderThere = false;  // a dialog opens elsewhere in a folder that is not there
  QString saveFileName(const QString& name, const QString& folder, const QString& file,
                       const QString& filter, const QString&) override {
    calls << name;
    lastFolder = folder;
    folderThere = fs::is_directory(fs::path(folder.toStdString()));
    lastFile = file;
    lastFilter = filter;
    return saveAnswer;
  }
  QString openFileName(const QString& name, const QString& folder, const QString& filter) override {
    calls << name;
    lastFolder = folder;
    lastFilter = filter;
    return openAnswer;
  }
  bool confirm(const QString& text) override {
    lastQuestion = text;
    return yes;
  }
  QStringList warnings;
  void warn(const QString& text) override { warnings << text; }
};

class FilePanel : public ::testing::Test {
 protected:
  void SetUp() override {
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    folder_ = fs::path(tmp_.path().toStdString()) / "TX1";
    data_ = std::make_unique<TMeasureData>(folder_);
    panel_ = std::make_unique<TFilePanel>();
    panel_->setDialogs(&dialogs_);
    panel_->setSerialSource([] { return QStringLiteral("TX1"); });
    panel_->resize(900, 60);
  }
  void TearDown() override {
    panel_.reset();
    regional().reload();
  }

  fs::path osa(int k) const { return intermediateFileName(folder_, IntermediateFamily::OSA0, k); }
  // A stored scope record of n samples (n + 1 entries) with its header.
  void storeScope(int k, int n) {
    fs::create_directories(osa(k).parent_path());
    SettingsRecord h = SettingsRecord::defaults();
    h.memoryDepth = n;  // a whole record
    ASSERT_EQ(writeTextHeader(osa(k), h), 0);
    std::vector<ScopeSample> e(static_cast<std::size_t>(n + 1), ScopeSample{0.5f, -0.5f});
    ASSERT_EQ(writeScopeIntermediate(osa(k), e), 0);
  }
  void attach() {
    data_->initNumbering();
    panel_->attach(data_.get(), &presenter_);
  }
  QAction* action(const char* name) const {
    return panel_->menu()->findChild<QAction*>(QString::fromLatin1(name));
  }

  QTemporaryDir tmp_;
  fs::path folder_;
  std::unique_ptr<TMeasureData> data_;
  std::unique_ptr<TFilePanel> panel_;
  CountingPresenter presenter_;
  FakeDialogs dialogs_;
};

}  // namespace

TEST_F(FilePanel, MenuCarriesEveryEntryDisabledUntilThereIsSomethingToDo) {
  const char* fams[] = {"VMXY", "OSA0", "LAIO", "DLA0", "DLDI"};
  int id = 65;
  for (const char* f : fams) {
    const QString c = QString::fromLatin1(f);
    for (const QString& n :
         {"POPMEN_ShowAnIntermediate_" + c + "_File", "POPMEN_SaveIntermediate_" + c + "_As_CSV",
          "POPMEN_ClearIntermediate_" + c + "_Files"}) {
      auto* a = panel_->menu()->findChild<QAction*>(n);
      ASSERT_NE(a, nullptr) << n.toStdString();
      EXPECT_EQ(a->text(), text(id++));
      EXPECT_FALSE(a->isEnabled());
    }
  }
  EXPECT_EQ(action("POPMEN_ShowAnIntermediate_OSA0_File")->text(),
            QStringLiteral("Show scope data intermediate file data"));
  EXPECT_EQ(action("POPMEN_SaveScopeData_CSV")->text(), QStringLiteral("Save scope data (CSV)"));
  EXPECT_EQ(panel_->menu()->objectName(), QStringLiteral("POPMEN_File"));
  EXPECT_EQ(panel_->popupButton()->objectName(), QStringLiteral("BBN_Popup_SaveLoad"));

  // Settings entries: present, and live once the settings files are connected.
  QAction* saveAs = action("POPMEN_SaveSettingsAs");
  ASSERT_NE(saveAs, nullptr);
  ASSERT_NE(action("POPMEN_LoadSettings"), nullptr);
  ASSERT_NE(action("POPMEN_SaveSettings"), nullptr);
  EXPECT_FALSE(saveAs->isEnabled());
  int saved = 0;
  panel_->setSettingsActions([&] { ++saved; }, {}, {});
  EXPECT_TRUE(saveAs->isEnabled());
  EXPECT_FALSE(action("POPMEN_LoadSettings")->isEnabled());
  saveAs->trigger();
  EXPECT_EQ(saved, 1);
}

TEST_F(FilePanel, NumberBoxShowsOnlyWithMoreThanOneFile) {
  for (int k : {1, 2, 4}) storeScope(k, 3);
  fs::create_directories(intermediateFileName(folder_, IntermediateFamily::LAIO, 1).parent_path());
  std::ofstream(intermediateFileName(folder_, IntermediateFamily::LAIO, 1)) << "x";
  attach();
  panel_->setSheetFamily(IntermediateFamily::OSA0);
  EXPECT_EQ(data_->numbering(IntermediateFamily::OSA0).current(), 2);
  EXPECT_TRUE(panel_->numberBox(IntermediateFamily::OSA0)->isVisibleTo(panel_.get()));
  EXPECT_EQ(panel_->numberSpin(IntermediateFamily::OSA0)->maximum(), 2);
  EXPECT_EQ(panel_->numberSpin(IntermediateFamily::OSA0)->value(), 2);
  EXPECT_EQ(panel_->ofPanel(IntermediateFamily::OSA0)->text(), QStringLiteral("of 2"));
  EXPECT_EQ(panel_->numberBox(IntermediateFamily::OSA0)->title(), QStringLiteral("oscillographs"));
  EXPECT_EQ(presenter_.scopePlots, 0);  // a refresh shows nothing
  EXPECT_TRUE(action("POPMEN_ClearIntermediate_OSA0_Files")->isEnabled());
  // One file: entries on, box hidden; none: everything off.
  EXPECT_FALSE(panel_->numberBox(IntermediateFamily::LAIO)->isVisibleTo(panel_.get()));
  EXPECT_TRUE(action("POPMEN_ShowAnIntermediate_LAIO_File")->isEnabled());
  EXPECT_FALSE(panel_->numberBox(IntermediateFamily::VMXY)->isVisibleTo(panel_.get()));
  EXPECT_FALSE(action("POPMEN_ShowAnIntermediate_VMXY_File")->isEnabled());
  // The box belongs to its sheet: on another one it goes, and the menu keeps its files. The
  // logic analyser's sheet with one file offers no box either, nor a sheet without records.
  for (auto sheet : {std::optional(IntermediateFamily::VMXY), std::optional(IntermediateFamily::LAIO),
                     std::optional<IntermediateFamily>()}) {
    panel_->setSheetFamily(sheet);
    for (IntermediateFamily f : kIntermediateFamilies)
      EXPECT_FALSE(panel_->numberBox(f)->isVisibleTo(panel_.get()));
  }
  EXPECT_TRUE(action("POPMEN_ShowAnIntermediate_OSA0_File")->isEnabled());
  panel_->setSheetFamily(IntermediateFamily::OSA0);
  EXPECT_TRUE(panel_->numberBox(IntermediateFamily::OSA0)->isVisibleTo(panel_.get()));
  // The number the user chose stays across sheets while the files stay; a file come meanwhile
  // renews the box as a new record does.
  QSpinBox* spin = panel_->numberSpin(IntermediateFamily::OSA0);
  spin->setValue(1);
  panel_->setSheetFamily(IntermediateFamily::VMXY);
  panel_->setSheetFamily(IntermediateFamily::OSA0);
  EXPECT_EQ(spin->value(), 1);
  storeScope(3, 3);
  panel_->setSheetFamily(IntermediateFamily::VMXY);
  panel_->setSheetFamily(IntermediateFamily::OSA0);
  EXPECT_EQ(spin->maximum(), 4);
  EXPECT_EQ(spin->value(), 4);
  EXPECT_EQ(panel_->ofPanel(IntermediateFamily::OSA0)->text(), QStringLiteral("of 4"));
}

TEST_F(FilePanel, ValueAboveTheMaximumSnapsBackAndShowsThatFile) {
  storeScope(1, 3);
  storeScope(2, 6);
  attach();
  panel_->show();
  QSpinBox* spin = panel_->numberSpin(IntermediateFamily::OSA0);
  spin->setValue(1);
  EXPECT_EQ(presenter_.lastN, 3);
  QLineEdit* edit = spin->findChild<QLineEdit*>();
  edit->selectAll();
  QTest::keyClicks(spin, QStringLiteral("9"));
  QTest::keyClick(spin, Qt::Key_Return);
  EXPECT_EQ(spin->value(), 2);
  EXPECT_EQ(presenter_.lastN, 6);
  EXPECT_EQ(data_->sampleCount(), 6);
  // A numbered file shown from the menu, to see it or to save it as CSV, is named by the box,
  // without being shown twice.
  std::ofstream(textHeaderName(osa(1)), std::ios::app) << "Date Time\r\n08.12.2026 14:30:15\r\n";
  dialogs_.openAnswer = QString::fromStdString(osa(1).string());
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "one.CSV").string());
  for (const bool save : {false, true}) {
    spin->setValue(2);
    const int plots = presenter_.scopePlots;
    ASSERT_EQ(save ? panel_->saveIntermediateAsCsv(IntermediateFamily::OSA0)
                   : panel_->showIntermediate(IntermediateFamily::OSA0),
              0);
    EXPECT_EQ(spin->value(), 1) << save;
    EXPECT_EQ(presenter_.scopePlots, plots + 1);
    EXPECT_EQ(presenter_.lastN, 3);
  }
  EXPECT_TRUE(fs::exists(folder_ / "one.CSV"));

  // A double click shows the number again; while booting it does nothing.
  data_->setSampleCount(0);
  bool booting = true;
  panel_->setBootingSource([&] { return booting; });
  QTest::mouseDClick(edit, Qt::LeftButton);
  EXPECT_EQ(data_->sampleCount(), 0);
  booting = false;
  QTest::mouseDClick(edit, Qt::LeftButton);
  EXPECT_EQ(data_->sampleCount(), 3);
}

TEST_F(FilePanel, EraseAllAsksAndRemovesEveryNumberedFile) {
  for (int k : {1, 2, 4}) storeScope(k, 3);
  attach();
  panel_->setSheetFamily(IntermediateFamily::OSA0);
  ASSERT_TRUE(panel_->numberBox(IntermediateFamily::OSA0)->isVisibleTo(panel_.get()));
  dialogs_.yes = false;
  EXPECT_EQ(panel_->eraseIntermediate(IntermediateFamily::OSA0), 0);
  EXPECT_EQ(dialogs_.lastQuestion,
            QStringLiteral("Do you really want to erase all oscillogram intermediate files?"));
  EXPECT_TRUE(fs::exists(osa(4)));
  dialogs_.yes = true;
  EXPECT_EQ(panel_->eraseIntermediate(IntermediateFamily::OSA0), 3);
  EXPECT_FALSE(fs::exists(osa(4)));
  EXPECT_FALSE(fs::exists(textHeaderName(osa(4))));
  EXPECT_FALSE(panel_->numberBox(IntermediateFamily::OSA0)->isVisibleTo(panel_.get()));
  EXPECT_FALSE(action("POPMEN_SaveIntermediate_OSA0_As_CSV")->isEnabled());
  EXPECT_EQ(data_->numbering(IntermediateFamily::OSA0).current(), 1);
}

TEST_F(FilePanel, SaveScopeDataOffersTheAutomaticNameInTheDayFolder) {
  attach();
  DayTime t;
  t.day = std::int32_t(QDate(2026, 12, 8).toJulianDay() - 1721425);
  t.seconds = 14 * 3600 + 30 * 60 + 15.12;
  data_->setMeasurementTime(t);
  std::fill_n(data_->scopeSamples(), 4, ScopeSample{1.5f, -0.25f});
  data_->setSampleCount(4);
  const fs::path target = folder_ / "chosen.CSV";
  dialogs_.saveAnswer = QString::fromStdString(target.string());
  ASSERT_EQ(panel_->saveScopeData(false), 0);
  EXPECT_EQ(dialogs_.calls.last(), QStringLiteral("SD_CSV"));
  EXPECT_EQ(dialogs_.lastFolder, QString::fromStdString((folder_ / "20261208").string()));
  EXPECT_TRUE(dialogs_.folderThere);  // made for the first save of the day
  EXPECT_EQ(dialogs_.lastFile, QStringLiteral("143015_120_OSA0.CSV"));
  EXPECT_EQ(dialogs_.lastFilter, QStringLiteral("Scope Data (CSV) (*.CSV)"));
  EXPECT_TRUE(fs::exists(target));

  dialogs_.saveAnswer = QString::fromStdString((folder_ / "b.VXD").string());
  ASSERT_EQ(panel_->saveScopeData(true), 0);
  EXPECT_EQ(dialogs_.calls.last(), QStringLiteral("SD_Scope_BIN"));
  EXPECT_EQ(dialogs_.lastFile, QStringLiteral("143015_120_OSA0.VXD"));
  EXPECT_EQ(fs::file_size(folder_ / "b.VXD"), 72u + 32u);
  dialogs_.saveAnswer.clear();  // cancelled
  EXPECT_EQ(panel_->saveScopeData(true), 0);
  // A day folder that cannot be made (a file of its name): the device folder, quietly.
  t.day += 1;
  data_->setMeasurementTime(t);
  std::ofstream(folder_ / "20261209") << "in the way";
  EXPECT_EQ(panel_->saveScopeData(false), 0);
  EXPECT_EQ(dialogs_.lastFolder, QString::fromStdString(folder_.string()));
  EXPECT_TRUE(dialogs_.warnings.isEmpty());
  t.day -= 1;
  data_->setMeasurementTime(t);

  // In the logic analyser the entries write its record under its own name, greyed until one
  // came (the scope record above does not count there).
  SettingsRecord la = SettingsRecord::defaults();
  la.mode = kModeLAIO;
  la.memoryDepth = 4;
  data_->setSnapshotSource([&] { return la; });
  emit panel_->menu()->aboutToShow();
  EXPECT_FALSE(action("POPMEN_SaveScopeData_BIN")->isEnabled());
  EXPECT_FALSE(action("POPMEN_SaveScopeData_CSV")->isEnabled());
  for (int k = 0; k < 4; ++k) data_->logicList().add(k, std::uint16_t(0x8001 << (k % 2)));
  emit panel_->menu()->aboutToShow();
  EXPECT_TRUE(action("POPMEN_SaveScopeData_BIN")->isEnabled());
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "la.VXD").string());
  ASSERT_EQ(panel_->saveScopeData(true), 0);
  EXPECT_EQ(dialogs_.lastFile, QStringLiteral("143015_120_LAIO.VXD"));
  EXPECT_EQ(dialogs_.lastFilter, QStringLiteral("Logic Analyzer Data (binary) (*.VXD)"));
  EXPECT_EQ(fs::file_size(folder_ / "la.VXD"), 80u + 2u * 4u);
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "la.CSV").string());
  ASSERT_EQ(panel_->saveScopeData(false), 0);
  EXPECT_EQ(dialogs_.lastFile, QStringLiteral("143015_120_LAIO.CSV"));
  std::ifstream csv(folder_ / "la.CSV");
  std::string header, row;
  std::getline(csv, header);
  std::getline(csv, row);
  EXPECT_EQ(header.rfind("Time [s]", 0), 0u) << header;
  EXPECT_NE(row.find("1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t1"), std::string::npos) << row;
  EXPECT_TRUE(dialogs_.warnings.isEmpty());
  // The record was taken at 500 us; the window's 100 us chosen since does not describe it.
  SettingsRecord taken = la;
  taken.sampleTime = 5e-4;
  data_->setRecordSettings(taken);
  ASSERT_EQ(panel_->saveScopeData(false), 0);
  std::ifstream again(folder_ / "la.CSV");
  std::string text((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  // Its time column steps by the record's sample time.
  EXPECT_NE(text.find("\n   0,000500\t"), std::string::npos) << text.substr(0, 600);
}

TEST_F(FilePanel, SaveAsCsvShowsTheFileThenAsksForTheTarget) {
  storeScope(1, 3);
  // A header with its measurement time, as every scope record writes it.
  {
    std::ofstream(textHeaderName(osa(1)), std::ios::app) << "Date Time\r\n08.12.2026 14:30:15\r\n";
  }
  attach();
  dialogs_.openAnswer = QString::fromStdString(osa(1).string());
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "out.CSV").string());
  ASSERT_EQ(panel_->saveIntermediateAsCsv(IntermediateFamily::OSA0), 0);
  EXPECT_EQ(dialogs_.calls, QStringList({"OD_Intermediate_OSA0", "SD_OSA0_As_CSV"}));
  EXPECT_EQ(dialogs_.lastFilter, QStringLiteral("CSV (*.CSV)"));
  EXPECT_EQ(presenter_.lastN, 3);
  EXPECT_TRUE(fs::exists(folder_ / "out.CSV"));

  // A file that cannot be shown ends before the save dialog.
  dialogs_.calls.clear();
  dialogs_.openAnswer = QString::fromStdString((folder_ / "missing.FIL").string());
  EXPECT_EQ(panel_->saveIntermediateAsCsv(IntermediateFamily::OSA0), 2);
  EXPECT_EQ(dialogs_.calls, QStringList({"OD_Intermediate_OSA0"}));
}

// A stored record the conversion refuses, or a target that cannot be written: the user is told
// which file was not written and why, and nothing is left behind.
TEST_F(FilePanel, ARefusedSaveTellsTheUserWhy) {
  const fs::path laio = intermediateFileName(folder_, IntermediateFamily::LAIO, 1);
  fs::create_directories(laio.parent_path());
  SettingsRecord h = SettingsRecord::defaults();
  h.mode = kModeLAIO;
  h.memoryDepth = 1000;
  ASSERT_EQ(writeTextHeader(laio, h, DayTime{3600.0, 739000}), 0);
  spit(laio, std::string(8 * 500, '\0'));  // 500 of the record's 1001 entries
  attach();
  dialogs_.openAnswer = QString::fromStdString(laio.string());
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "cut.CSV").string());
  EXPECT_EQ(panel_->saveIntermediateAsCsv(IntermediateFamily::LAIO), kDamagedFile);
  EXPECT_FALSE(fs::exists(folder_ / "cut.CSV"));
  ASSERT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_TRUE(dialogs_.warnings[0].contains(QStringLiteral("cut.CSV")));
  EXPECT_TRUE(dialogs_.warnings[0].contains(QStringLiteral("cut short (499 of 1000 samples)")))
      << dialogs_.warnings[0].toStdString();

  // The scope record's CSV into a folder that is a file.
  storeScope(1, 3);
  spit(folder_ / "blocker", "x");
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "blocker" / "s.CSV").string());
  data_->scopeRecord(std::vector<std::uint8_t>(12, 0x80), ConversionInputs{});
  EXPECT_NE(panel_->saveScopeData(false), 0);
  ASSERT_EQ(dialogs_.warnings.size(), 2);
  EXPECT_TRUE(dialogs_.warnings[1].contains(QStringLiteral("s.CSV was not written: ")))
      << dialogs_.warnings[1].toStdString();
  EXPECT_FALSE(dialogs_.warnings[1].contains(QStringLiteral("No such process")));
  // The words come from the text table, so a third language has its own (or placeholders),
  // never the English ones.
  setLanguageIndex(kLanguageThird);
  EXPECT_NE(panel_->saveScopeData(false), 0);
  setLanguageIndex(kLanguageEnglish);
  ASSERT_EQ(dialogs_.warnings.size(), 3);
  EXPECT_FALSE(dialogs_.warnings[2].contains(QStringLiteral("was not written")))
      << dialogs_.warnings[2].toStdString();
  // A name that leads to a device (a link to /dev/null) would take the table into nothing: the
  // save is refused rather than reported done, and the user reads the file and the reason in
  // the window's language.
  const fs::path sink = folder_ / "sink.CSV";
  fs::create_symlink("/dev/null", sink);
  dialogs_.saveAnswer = QString::fromStdString(sink.string());
  EXPECT_EQ(panel_->saveScopeData(false), kNotARegularFile);
  setLanguageIndex(kLanguageGerman);
  EXPECT_EQ(panel_->saveScopeData(false), kNotARegularFile);
  setLanguageIndex(kLanguageEnglish);
  ASSERT_EQ(dialogs_.warnings.size(), 5);
  EXPECT_EQ(dialogs_.warnings[3], QString::fromStdString(sink.string()) +
                                      QStringLiteral(" was not written: that is not a regular "
                                                     "file"));
  EXPECT_EQ(dialogs_.warnings[4], QString::fromStdString(sink.string()) +
                                      QStringLiteral(" wurde nicht geschrieben: das ist keine "
                                                     "gewöhnliche Datei"));
  EXPECT_TRUE(fs::is_symlink(sink));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

// A stored record the window refuses to show: the user is told which file and why, as for a
// refused save, whether it was asked to be shown or saved as CSV.
TEST_F(FilePanel, AStoredFileThatCannotBeShownTellsTheUserWhy) {
  // A header with a sample time no record can have.
  storeScope(1, 3);
  SettingsRecord h = SettingsRecord::defaults();
  h.memoryDepth = 3;
  h.sampleTime = 0;
  ASSERT_EQ(writeTextHeader(osa(1), h), 0);
  attach();
  dialogs_.openAnswer = QString::fromStdString(osa(1).string());
  EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::OSA0), kDamagedFile);
  EXPECT_EQ(presenter_.scopePlots, 0);
  ASSERT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_EQ(
      dialogs_.warnings[0],
      QString::fromStdString(osa(1).string()) +
          QStringLiteral(" cannot be shown: its text header is damaged (impossible sample time)"))
      << dialogs_.warnings[0].toStdString();
  EXPECT_EQ(panel_->saveIntermediateAsCsv(IntermediateFamily::OSA0), kDamagedFile);
  EXPECT_EQ(dialogs_.calls.size(), 2);  // no save dialog for a record that cannot be read
  ASSERT_EQ(dialogs_.warnings.size(), 2);
  EXPECT_EQ(dialogs_.warnings[1], dialogs_.warnings[0]);
  // A file that is not there is not blamed on its header.
  dialogs_.openAnswer = QString::fromStdString((folder_ / "missing.FIL").string());
  EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::OSA0), 2);
  ASSERT_EQ(dialogs_.warnings.size(), 3);
  EXPECT_TRUE(dialogs_.warnings[2].contains(QStringLiteral("missing.FIL cannot be shown: ")));
  EXPECT_FALSE(dialogs_.warnings[2].contains(QStringLiteral("header")))
      << dialogs_.warnings[2].toStdString();
  // Cancelled: nothing to say.
  dialogs_.openAnswer.clear();
  EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::OSA0), 0);
  EXPECT_EQ(dialogs_.warnings.size(), 3);

  // The number box says the same instead of leaving the last record on screen unexplained.
  storeScope(2, 6);
  attach();
  panel_->show();
  QSpinBox* spin = panel_->numberSpin(IntermediateFamily::OSA0);
  ASSERT_EQ(spin->value(), 2);
  spin->setValue(1);
  ASSERT_EQ(dialogs_.warnings.size(), 4);
  EXPECT_EQ(dialogs_.warnings[3], dialogs_.warnings[0]);
  // A record file cut short is drawn as far as it goes, and said to be cut, either way.
  spit(osa(2), std::string(8 * 4, '\0'));
  spin->setValue(2);
  EXPECT_EQ(presenter_.lastN, 3);
  ASSERT_EQ(dialogs_.warnings.size(), 5);
  EXPECT_EQ(dialogs_.warnings[4], QString::fromStdString(osa(2).string()) +
                                      QStringLiteral(" is shown only in part: the file is cut "
                                                     "short (3 of 6 samples)"))
      << dialogs_.warnings[4].toStdString();
  dialogs_.openAnswer = QString::fromStdString(osa(2).string());
  EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::OSA0), 0);
  ASSERT_EQ(dialogs_.warnings.size(), 6);
  EXPECT_EQ(dialogs_.warnings[5], dialogs_.warnings[4]);
  // A number whose file was deleted meanwhile is passed over quietly, and typing waits for Enter.
  fs::remove(osa(1));
  spin->setValue(1);
  EXPECT_EQ(dialogs_.warnings.size(), 6);
  EXPECT_FALSE(spin->keyboardTracking());

  // A header cut short (or unreadable) is the damaged file, and is named so: the record beside
  // it is not blamed. The same whether the header was cut at a line or inside a value.
  storeScope(1, 3);
  dialogs_.warnings.clear();
  {
    SettingsRecord whole = SettingsRecord::defaults();
    whole.memoryDepth = 3;
    const std::string full = textHeaderText(whole);
    std::string unreadable = full;
    unreadable.replace(unreadable.find("E+0000"), 6, "E+00x0");
    const std::pair<std::string, const char*> headers[] = {
        {full.substr(0, full.find("TriggerPoint")), "(cut short)"},
        {unreadable, "(a value is not a number)"}};
    dialogs_.openAnswer = QString::fromStdString(osa(1).string());
    for (const auto& [bytes, why] : headers) {
      spit(textHeaderName(osa(1)), bytes);
      dialogs_.warnings.clear();
      EXPECT_NE(panel_->showIntermediate(IntermediateFamily::OSA0), 0);
      ASSERT_EQ(dialogs_.warnings.size(), 1);
      const QString w = dialogs_.warnings[0];
      EXPECT_EQ(w, QString::fromStdString(osa(1).string()) +
                       QStringLiteral(" cannot be shown: its text header "
                                      "Intermediate_OSA0_001.VXT is damaged ") +
                       QLatin1String(why))
          << w.toStdString();
      EXPECT_NE(panel_->saveIntermediateAsCsv(IntermediateFamily::OSA0), 0);
      EXPECT_EQ(dialogs_.warnings.last(), w);
    }
    setLanguageIndex(kLanguageGerman);
    panel_->showIntermediate(IntermediateFamily::OSA0);
    EXPECT_TRUE(dialogs_.warnings.last().contains(
        QStringLiteral("sein Dateikopf Intermediate_OSA0_001.VXT ist beschädigt")))
        << dialogs_.warnings.last().toStdString();
    setLanguageIndex(kLanguageEnglish);
    dialogs_.warnings.clear();
  }
  // A data file or another family's intermediate file picked in the dialog is said to be what
  // it is: it is neither blamed for a header it never has nor read as a scope record.
  {
    RecordInfo ri;
    ri.serial = QStringLiteral("TX1");
    ri.settings = SettingsRecord::defaults();
    const std::vector<ScopeSample> two(2, ScopeSample{0.5f, -0.5f});
    const fs::path vxd = folder_ / "143015_120_OSA0.VXD";
    ASSERT_EQ(writeScopeVxd(vxd, ri, two), 0);
    const fs::path laio = intermediateFileName(folder_, IntermediateFamily::LAIO, 1);
    fs::create_directories(laio.parent_path());
    SettingsRecord lh = SettingsRecord::defaults();
    lh.mode = kModeLAIO;
    lh.memoryDepth = 3;
    ASSERT_EQ(writeTextHeader(laio, lh, DayTime{3600.0, 739000}), 0);
    spit(laio, std::string(8 * 4, '\0'));
    // Files whose content does not tell their kind (cut before any header, a voltmeter chart
    // table) are named by their extension's kind.
    spit(folder_ / "cut.VXD", "");
    spit(folder_ / "chart.CSV", "Date\tTime\tK0\r\n");
    const int plots = presenter_.scopePlots;
    const QString only = QStringLiteral(". Only intermediate files (.FIL) are taken here.");
    const std::pair<fs::path, QString> picked[] = {
        {vxd, QStringLiteral("143015_120_OSA0.VXD is not an intermediate file but a scope data "
                             "file (binary)") + only},
        {folder_ / "cut.VXD",
         QStringLiteral("cut.VXD is not an intermediate file but a binary data file (.VXD)") +
             only},
        {folder_ / "chart.CSV",
         QStringLiteral("chart.CSV is not an intermediate file but a CSV data file") + only},
        {laio, QStringLiteral("Intermediate_LAIO_001.FIL is an intermediate file of the LAIO "
                              "family, not OSA0.")}};
    for (const auto& [file, said] : picked) {
      dialogs_.openAnswer = QString::fromStdString(file.string());
      dialogs_.calls.clear();
      EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::OSA0), kUnknownMode);
      EXPECT_EQ(panel_->saveIntermediateAsCsv(IntermediateFamily::OSA0), kUnknownMode);
      EXPECT_EQ(dialogs_.calls, QStringList({"OD_Intermediate_OSA0", "OD_Intermediate_OSA0"}));
      ASSERT_EQ(dialogs_.warnings.size(), 2);
      EXPECT_EQ(dialogs_.warnings[0], said) << dialogs_.warnings[0].toStdString();
      EXPECT_EQ(dialogs_.warnings[1], said);
      dialogs_.warnings.clear();
    }
    EXPECT_EQ(presenter_.scopePlots, plots);
  }
}

// A stored logger stream that cannot be drawn: said once, on the sheet when the presenter said
// it there, else in a box, whether it was to be shown or saved as CSV (which goes on: the
// stream converts as far as it can).
TEST_F(FilePanel, ALoggerStreamThatCannotBeDrawnIsToldOnce) {
  const fs::path dla = intermediateFileName(folder_, IntermediateFamily::DLA0, 1);
  fs::create_directories(dla.parent_path());
  SettingsRecord h = SettingsRecord::defaults();
  h.mode = kModeDLA0;
  ASSERT_EQ(writeTextHeader(dla, h, DayTime{3600.0, 739000}), 0);
  spit(dla, std::string(16, '\0'));
  attach();
  dialogs_.openAnswer = QString::fromStdString(dla.string());
  presenter_.analogRc = kNoSamples;
  presenter_.analogToldOnSheet = true;
  EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::DLA0), kNoSamples);
  EXPECT_TRUE(dialogs_.warnings.isEmpty());
  presenter_.analogToldOnSheet = false;
  EXPECT_EQ(panel_->showIntermediate(IntermediateFamily::DLA0), kNoSamples);
  ASSERT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_TRUE(dialogs_.warnings[0].contains(QStringLiteral(" cannot be shown: ")));
  dialogs_.calls.clear();
  panel_->saveIntermediateAsCsv(IntermediateFamily::DLA0);
  ASSERT_EQ(dialogs_.warnings.size(), 2);
  EXPECT_EQ(dialogs_.warnings[1], dialogs_.warnings[0]);
  EXPECT_EQ(dialogs_.calls, QStringList({"OD_Intermediate_DLA0", "SD_DLA0_As_CSV"}));
  // Saved: a conversion that fails on the same stream says it, and only it.
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "out.CSV").string());
  panel_->saveIntermediateAsCsv(IntermediateFamily::DLA0);
  EXPECT_EQ(dialogs_.warnings.size(), 3);
  // A target that cannot be written fails for a reason of its own: that is told as it is, not
  // put down to the stream, and the drawing's fault is told beside it.
  spit(folder_ / "blocker", "x");
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "blocker" / "out.CSV").string());
  EXPECT_NE(panel_->saveIntermediateAsCsv(IntermediateFamily::DLA0), 0);
  ASSERT_EQ(dialogs_.warnings.size(), 4);
  const QStringList both = dialogs_.warnings[3].split(QLatin1Char('\n'));
  ASSERT_EQ(both.size(), 2) << dialogs_.warnings[3].toStdString();
  EXPECT_TRUE(both[0].contains(QStringLiteral("out.CSV was not written: ")));
  EXPECT_FALSE(both[0].contains(QStringLiteral("samples"))) << both[0].toStdString();
  EXPECT_EQ(both[1], dialogs_.warnings[0]);
  // Drawn on the sheet's word: only the write failure needs a box.
  presenter_.analogToldOnSheet = true;
  panel_->saveIntermediateAsCsv(IntermediateFamily::DLA0);
  ASSERT_EQ(dialogs_.warnings.size(), 5);
  EXPECT_EQ(dialogs_.warnings[4], both[0]);
  // The writer says which end failed, also where its code alone would point at the stream (a
  // target name without a file name gives a negative code, as a damaged stream does).
  presenter_.analogToldOnSheet = false;
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "x").string()) + QLatin1Char('/');
  EXPECT_EQ(panel_->saveIntermediateAsCsv(IntermediateFamily::DLA0), -194);
  ASSERT_EQ(dialogs_.warnings.size(), 6);
  const QStringList named = dialogs_.warnings[5].split(QLatin1Char('\n'));
  ASSERT_EQ(named.size(), 2) << dialogs_.warnings[5].toStdString();
  EXPECT_TRUE(named[0].endsWith(QStringLiteral("x/ was not written: ") +
                                measureResultText(-194, languageIndex(), ResultContext::Writing)))
      << named[0].toStdString();
  EXPECT_EQ(named[1], dialogs_.warnings[0]);
}

// Pictures of the panel and its menu for a look at the layout (only when a folder is given).
TEST_F(FilePanel, Screenshots) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  for (int k : {1, 2, 3, 4, 5}) storeScope(k, 3);
  storeScope(1, 3);
  attach();
  panel_->show();
  QApplication::processEvents();
  panel_->grab().save(QString::fromLocal8Bit(out) + "/file_panel.png");
  for (IntermediateFamily f : kIntermediateFamilies) data_->numbering(f).refresh();
  panel_->menu()->adjustSize();
  panel_->menu()->grab().save(QString::fromLocal8Bit(out) + "/file_menu.png");
}

TEST_F(FilePanel, AttachedPanelWritesTheRecordsFilesAndDetachesCleanly) {
  attach();
  ASSERT_NE(panel_->recordFiles(), nullptr);
  std::vector<std::uint8_t> raw(40, 0x80);
  data_->scopeRecord(raw, ConversionInputs{});
  data_->scopeRecordFinish();
  EXPECT_TRUE(fs::exists(osa(1)));
  EXPECT_EQ(data_->lastIntermediateResult(), 0);
  panel_->attach(nullptr, nullptr);
  data_->scopeRecordFinish();  // the data works on without the panel
  EXPECT_FALSE(fs::exists(osa(2)));
  EXPECT_FALSE(action("POPMEN_SaveScopeData_CSV")->isEnabled());
}

// "Export...": the newest intermediate file's folder first, the format from the name's ending,
// and a record a format cannot hold told in words.
TEST_F(FilePanel, ExportOffersTheNewestRecordsFolderAndWritesByTheEnding) {
  storeScope(1, 50);
  {
    std::ofstream(textHeaderName(osa(1)), std::ios::app) << "Date Time\r\n08.12.2026 14:30:15\r\n";
  }
  attach();
  QAction* a = action("POPMEN_Export");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->isEnabled());
  EXPECT_EQ(a->text(), QStringLiteral("Export..."));
  dialogs_.openAnswer = QString::fromStdString(osa(1).string());
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "out.sr").string());
  ASSERT_EQ(panel_->exportRecord(), 0);
  EXPECT_EQ(dialogs_.calls, QStringList({"OD_Export", "SD_Export"}));
  EXPECT_EQ(dialogs_.lastFile, QStringLiteral("Intermediate_OSA0_001"));
  EXPECT_TRUE(fs::exists(folder_ / "out.sr"));
  EXPECT_TRUE(dialogs_.warnings.isEmpty());
  // A name without a known ending becomes a session.
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "bare").string());
  ASSERT_EQ(panel_->exportRecord(), 0);
  EXPECT_TRUE(fs::exists(folder_ / "bare.sr"));
  // A scope record holds no logic lines for a value change dump.
  dialogs_.saveAnswer = QString::fromStdString((folder_ / "out.vcd").string());
  EXPECT_EQ(panel_->exportRecord(), 2);
  ASSERT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_TRUE(dialogs_.warnings[0].startsWith(QStringLiteral("Cannot export:")));
  EXPECT_FALSE(fs::exists(folder_ / "out.vcd"));
  // Cancelled: nothing happens.
  dialogs_.openAnswer.clear();
  EXPECT_EQ(panel_->exportRecord(), 0);
}

// "Export record on screen": what the sheet in front shows, offered only in the formats that
// hold it, written whole or not at all, and refused in words when there is nothing to export.
TEST_F(FilePanel, TheRecordOnScreenIsExportedInTheFormatsThatHoldIt) {
  attach();
  QAction* a = action("POPMEN_ExportShown");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->isEnabled());
  EXPECT_EQ(a->text(), QStringLiteral("Export record on screen..."));
  TFilePanel::ShownRecord shown;
  panel_->setShownSource([&shown] { return shown; });
  DayTime t0;
  t0.day = 739594;  // 2026
  t0.seconds = 52215.0;
  // A scope record of 100 samples on screen.
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeOSA0;
  s.sampleTime = 1e-5;
  s.memoryDepth = 100;
  for (int i = 0; i < 100; ++i) data_->scopeSamples()[i] = ScopeSample{0.25f * float(i), -1.5f};
  data_->setSampleCount(100);
  data_->setRecordSettings(s);
  data_->setMeasurementTime(t0);
  const auto exportTo = [&](const fs::path& p) {
    dialogs_.saveAnswer = QString::fromStdString(p.string());
    return panel_->exportShown();
  };
  ASSERT_EQ(exportTo(folder_ / "scope.csv"), 0) << dialogs_.warnings.join(' ').toStdString();
  EXPECT_EQ(dialogs_.calls.back(), QStringLiteral("SD_ExportShown"));
  EXPECT_FALSE(dialogs_.lastFilter.contains(QStringLiteral("*.vcd")));
  EXPECT_TRUE(dialogs_.lastFilter.startsWith(QStringLiteral("sigrok session")));
  std::ifstream in(folder_ / "scope.csv");
  std::vector<std::string> rows;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') rows.push_back(line);
  ASSERT_EQ(rows.size(), 101u);
  EXPECT_EQ(rows[0], "time_s,ch0_V,ch1_V");
  EXPECT_EQ(rows[100].substr(rows[100].find(',')), ",24.75,-1.5");
  ASSERT_EQ(exportTo(folder_ / "scope.sr"), 0);
  EXPECT_TRUE(fs::exists(folder_ / "scope.sr"));
  EXPECT_EQ(exportTo(folder_ / "scope.vcd"), 2);
  ASSERT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_TRUE(dialogs_.warnings[0].startsWith(QStringLiteral("Cannot export:")));
  EXPECT_FALSE(fs::exists(folder_ / "scope.vcd"));

  // The logic analyser's sheet in front: its record, a dump first among the choices.
  shown.mode = kModeLAIO;
  s.mode = kModeLAIO;
  s.memoryDepth = 50;
  data_->setRecordSettings(s);
  for (int i = 0; i < 50; ++i) data_->logicList().add(i, std::uint16_t(i & 3));
  data_->logicList().add(-1, 0);  // the filler after the record is no sample
  ASSERT_EQ(exportTo(folder_ / "bare"), 0) << dialogs_.warnings.join(' ').toStdString();
  EXPECT_TRUE(dialogs_.lastFilter.startsWith(QStringLiteral("Value change dump")));
  EXPECT_EQ(dialogs_.lastFile.toStdString(), automaticDataFileName(folder_, t0, kModeLAIO, "vcd")
                                                 .stem()
                                                 .string());
  std::ifstream vcd(folder_ / "bare.vcd");
  const std::string dump((std::istreambuf_iterator<char>(vcd)), {});
  EXPECT_NE(dump.find("$enddefinitions"), std::string::npos);
  EXPECT_NE(dump.find(", 50 samples"), std::string::npos) << dump.substr(0, 600);
  // The scope's sheet in front again, but the last record was the logic analyser's: its rate
  // and time would be written into the scope's file, so nothing is written.
  shown.mode = kModeOSA0;
  dialogs_.warnings.clear();
  EXPECT_NE(exportTo(folder_ / "stale.sr"), 0);
  ASSERT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_TRUE(dialogs_.warnings[0].contains(QStringLiteral("not the last one measured")));
  EXPECT_FALSE(fs::exists(folder_ / "stale.sr"));

  // A voltmeter series: plain CSV only; a session has no rate for it.
  shown.mode = kModeVMD0;
  for (int i = 0; i < 3; ++i)
    data_->chartList().Add(VoltmeterReading::measured(dtAddSeconds(t0, 0.5 * i), 0.25 * i, 1));
  ASSERT_EQ(exportTo(folder_ / "series"), 0);
  EXPECT_FALSE(dialogs_.lastFilter.contains(QStringLiteral("*.sr")));
  EXPECT_TRUE(fs::exists(folder_ / "series.csv"));
  EXPECT_EQ(exportTo(folder_ / "series.sr"), 2);
  EXPECT_FALSE(fs::exists(folder_ / "series.sr"));

  // An analog logger's sheet with no stream drawn yet: nothing to export, said in words.
  shown.mode = kModeDLA0;
  dialogs_.warnings.clear();
  EXPECT_EQ(exportTo(folder_ / "logger.sr"), 1);
  EXPECT_EQ(dialogs_.warnings.size(), 1);
  EXPECT_FALSE(fs::exists(folder_ / "logger.sr"));
  // Cancelled: nothing happens.
  dialogs_.saveAnswer.clear();
  EXPECT_EQ(panel_->exportShown(), 0);
}
