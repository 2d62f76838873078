// The main frame's checks of what it takes: separator pairs that would make files unreadable,
// window sizes from the position file, and a multi-device run at shut-down.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTest>
#include <QTreeView>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QScreen>
#include <fstream>
#include <iterator>

#include "app/framefiles.h"
#include "app/framelogic.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "frame_fixture.h"
#include "multi/tf_multi_tolvanex_img.h"

namespace tolv::testing {
namespace {

class FrameChoices : public FrameTest {
 protected:
  // A first start on a German system: decimal comma, Tab between columns.
  void SetUp() override {
    FrameTest::SetUp();
    regional().pin(QLocale(QStringLiteral("de_DE")));
  }
  void TearDown() override {
    FrameTest::TearDown();
    regional().reload();
    setDecimalSeparatorSetting(QLatin1Char(','));
    setColumnSeparatorSetting(QLatin1Char('\t'));
    setLanguageIndex(0);
  }
  static void put(const std::filesystem::path& p, const std::string& bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
};

// Choosing a column separator equal to the decimal separator (or the other way round) is
// refused with a message; the drop-down and the separators in force stay as they were.
TEST_F(FrameChoices, SeparatorPairsThatSplitNumbersAreRefused) {
  TF_MultiTolvanexFrame& f = makeFrame();
  f.setLanguage(1);
  auto* dec = f.findChild<QComboBox*>("CB_DecimalSeparator");
  auto* col = f.findChild<QComboBox*>("CB_ColumnSeparator");
  ASSERT_EQ(f.decimalSeparator(), QChar(','));
  col->setCurrentIndex(1);        // what the user's pick shows before the handler runs
  f.CB_ColumnSeparatorChange(1);  // "Comma"
  EXPECT_EQ(f.columnSeparator(), QChar('\t'));
  EXPECT_EQ(columnSeparatorSetting(), QChar('\t'));
  EXPECT_EQ(col->currentIndex(), 0);
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0].caption, "Column separator");
  EXPECT_TRUE(sink_.messages[0].text.startsWith(
      QStringLiteral("The column separator \"Comma\" is also the decimal separator")));
  f.CB_ColumnSeparatorChange(2);  // "Dot" is fine beside a comma
  EXPECT_EQ(f.columnSeparator(), QChar('.'));
  dec->setCurrentIndex(0);
  f.CB_DecimalSeparatorChange(0);  // a point beside the point column separator
  EXPECT_EQ(f.decimalSeparator(), QChar(','));
  EXPECT_EQ(decimalSeparatorSetting(), QChar(','));
  EXPECT_EQ(dec->currentIndex(), 1);
  ASSERT_EQ(sink_.messages.size(), 2u);
  EXPECT_EQ(sink_.messages[1].caption, "Decimal separator");
  EXPECT_TRUE(sink_.messages[1].text.contains(QStringLiteral("\"Dot\"")));
  // In German too.
  f.setLanguage(0);
  f.CB_ColumnSeparatorChange(1);
  ASSERT_EQ(sink_.messages.size(), 3u);
  EXPECT_EQ(sink_.messages[2].caption, "Spalten-Trenner");
  EXPECT_TRUE(sink_.messages[2].text.startsWith(QStringLiteral("Der Spalten-Trenner „Komma“")));
  // The setters refuse a clash as well.
  EXPECT_FALSE(f.setColumnSeparator(QChar(',')));
  EXPECT_TRUE(f.setColumnSeparator(QChar(';')));
  EXPECT_TRUE(f.setDecimalSeparator(QChar('.')));
  EXPECT_FALSE(f.setColumnSeparator(QChar('.')));
  EXPECT_NE(decimalSeparatorSetting(), columnSeparatorSetting());

  // Without a sink given, the frame's own boxes open over the frame: a box without a parent
  // may open behind it, and the refused choice would look silently undone.
  frame_.reset();
  TF_MultiTolvanexFrame own(*driver_, nullptr);
  own.setLanguage(1);
  own.show();
  own.setSeparators(QChar('.'), QChar('\t'));
  QWidget* parent = nullptr;
  QString said;
  QTimer::singleShot(0, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      parent = box->parentWidget();
      said = box->text();
      box->done(QMessageBox::Ok);
    }
  });
  own.CB_ColumnSeparatorChange(2);  // "Dot" beside the decimal point
  EXPECT_EQ(parent, &own);
  EXPECT_TRUE(said.startsWith(QStringLiteral("The column separator \"Dot\""))) << said.toStdString();
  EXPECT_NE(own.columnSeparator(), QChar('.'));
}

// A settings file written before the pair was checked: the program starts with another column
// separator and writes the file back without the clash.
TEST_F(FrameChoices, StoredClashingPairIsNotWrittenAgain) {
  for (QChar both : {QChar('.'), QChar(',')}) {
    GlobalSettings g;
    g.language = 1;
    g.decimal = both;
    g.column = both;
    ASSERT_EQ(writeGlobalSettingsFile(multiFolder() / kGlobalSettingsFileName, g), 0);
    {
      TF_MultiTolvanexFrame& f = makeFrame();
      EXPECT_EQ(f.decimalSeparator(), both);
      EXPECT_EQ(f.columnSeparator(), QChar('\t'));
      EXPECT_EQ(decimalSeparatorSetting(), both);
      EXPECT_EQ(columnSeparatorSetting(), QChar('\t'));
      f.close();
    }
    frame_.reset();
    GlobalSettings back;
    ASSERT_EQ(readGlobalSettingsFile(multiFolder() / kGlobalSettingsFileName, back), 0);
    EXPECT_EQ(back.decimal, both);
    EXPECT_EQ(back.column, QChar('\t'));
  }
  // A good pair is taken as it stands, whatever the separators in force before.
  setDecimalSeparatorSetting(QLatin1Char('.'));
  GlobalSettings g;
  g.decimal = QLatin1Char(',');
  g.column = QLatin1Char('.');
  ASSERT_EQ(writeGlobalSettingsFile(multiFolder() / kGlobalSettingsFileName, g), 0);
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(f.decimalSeparator(), QChar(','));
  EXPECT_EQ(f.columnSeparator(), QChar('.'));
  EXPECT_TRUE(sink_.messages.empty());
}

// A choice is saved when it is made, not at exit: a conversion from the command line meanwhile
// reads the file and must write what the windows write. A refused choice saves nothing.
TEST_F(FrameChoices, ChoicesAreSavedWhenMade) {
  TF_MultiTolvanexFrame& f = makeFrame();
  const std::filesystem::path file = multiFolder() / kGlobalSettingsFileName;
  const auto saved = [&] {
    GlobalSettings g;
    EXPECT_EQ(readGlobalSettingsFile(file, g), 0);
    return g;
  };
  f.CB_ColumnSeparatorChange(3);  // "Semicolon"
  EXPECT_EQ(saved().column, QChar(';'));
  f.CB_DecimalSeparatorChange(0);  // "Dot"
  EXPECT_EQ(saved().decimal, QChar('.'));
  f.CB_ColumnSeparatorChange(2);  // "Dot" beside the dot: refused
  EXPECT_EQ(saved().column, QChar(';'));
  auto* hints = f.findChild<QCheckBox*>("CB_ShowHints");
  hints->setChecked(false);
  f.CB_ShowHintsClick();
  EXPECT_FALSE(saved().hints);
  f.IM_EnglishClick();
  // The file as the exit writes it, labels in the language now in force.
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, globalSettingsText({1, false, QChar('.'), QChar(';')}));
  EXPECT_EQ(bytes.substr(0, 14), "Language\r\nEN\r\n");
  f.IM_GermanClick();
  EXPECT_EQ(saved().language, 0);
}

TEST(FrameLogicChoices, SeparatorClashAndItsReplacement) {
  EXPECT_TRUE(separatorsClash(QChar('.'), QChar('.')));
  EXPECT_FALSE(separatorsClash(QChar(','), QChar('.')));
  EXPECT_EQ(columnSeparatorBesides(QChar(',')), QChar('\t'));
  EXPECT_EQ(columnSeparatorBesides(QChar('\t')), QChar(';'));
}

// A multi-device window of 20000 x 20000 in the position file is fitted to the screen before
// anything is laid out or drawn at that size.
TEST_F(FrameChoices, HugeMultiWindowFromThePositionFileFitsTheScreen) {
  driver_ = std::make_unique<TSimulatedDriver>(1, clock_);
  const QStringList lines = {"frame", "10",    "10",    "F_D2Koord", "500", "300", "multi", "40",
                             "30",    "20000", "20000", "F",         "",    "F",   "3"};
  put(multiFolder() / kPositionFileName, lines.join(QStringLiteral("\r\n")).toStdString() + "\r\n");
  TF_MultiTolvanexFrame& f = makeFrame();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  TF_Multi_Tolvanex_Img* m = f.multiWindow();
  EXPECT_LE(m->width(), std::max(screen.width(), m->minimumWidth()));
  EXPECT_LE(m->height(), screen.height());
  f.TM_BootTimer();  // lays the window out and prepares its plot
  EXPECT_LE(m->coll().image().width(), std::max(screen.width(), m->minimumWidth()));
  EXPECT_LE(m->coll().image().height(), screen.height());
  EXPECT_EQ(m->pos(), QPoint(40, 30));
}

// Closing the frame ends a continuous multi-device run before the devices shut down.
TEST_F(FrameChoices, ShutDownEndsAMultiDeviceRunWithoutAsking) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  TF_Multi_Tolvanex_Img* m = f.multiWindow();
  f.TM_BootTimer();
  m->coll().setItemChecked(0, true);
  m->coll().setItemChecked(1, true);
  ASSERT_EQ(m->activateCheckedDevices(), 0);
  m->coll().setSingleShot(false, false);
  ASSERT_EQ(m->startRun(), 0);
  ASSERT_TRUE(m->runGoing());
  f.close();
  EXPECT_TRUE(f.shutDownDone());
  EXPECT_FALSE(m->runGoing());
  EXPECT_FALSE(m->isVisible());
}

// The separator boxes are as wide as their widest item in the language chosen last, not in the
// one they were first shown in ("Dot" became a cut "Punkt").
TEST_F(FrameChoices, SeparatorBoxesFitTheirItemsAfterALanguageChange) {
  TF_MultiTolvanexFrame& f = makeFrame();
  f.setLanguage(kLanguageEnglish);
  f.show();
  QApplication::processEvents();
  f.setLanguage(kLanguageGerman);
  QApplication::processEvents();
  for (const char* name : {"CB_DecimalSeparator", "CB_ColumnSeparator"}) {
    SCOPED_TRACE(name);
    auto* box = f.findChild<QComboBox*>(QString::fromLatin1(name));
    ASSERT_NE(box, nullptr);
    QComboBox fresh;
    fresh.setFont(box->font());
    fresh.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (int i = 0; i < box->count(); ++i) fresh.addItem(box->itemText(i));
    EXPECT_GE(box->width(), fresh.sizeHint().width());
  }
  EXPECT_EQ(f.findChild<QComboBox*>(QStringLiteral("CB_DecimalSeparator"))->itemText(0),
            QStringLiteral("Punkt"));
  // The frame grew instead of squeezing the captions beside them.
  for (const char* name : {"PN_DecimalSeparator", "PN_ColumnSeparator", "BN_MultiScopeWindow"}) {
    auto* caption = f.findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_NE(caption, nullptr) << name;
    EXPECT_GE(caption->width(), caption->sizeHint().width()) << name;
  }
}

// Qt's file dialog lists the files' dates as the program's regional settings write them, not
// in the locale the program runs under.
TEST_F(FrameChoices, FileDialogListsDatesInTheRegionalFormats) {
  makeFrame();
  const QString folder = dir_.path() + QStringLiteral("/dates");
  ASSERT_TRUE(QDir().mkpath(folder));
  QFile file(folder + QStringLiteral("/A.CSV"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)),
                               QFileDevice::FileModificationTime));
  file.close();
  QFileDialog d(nullptr, QString(), folder);
  d.setOption(QFileDialog::DontUseNativeDialog);
  d.setViewMode(QFileDialog::Detail);
  d.show();
  const auto* list = d.findChild<QTreeView*>(QStringLiteral("treeView"));
  ASSERT_NE(list, nullptr);
  QString shown;
  for (int i = 0; i < 500 && shown.isEmpty(); ++i) {
    QTest::qWait(10);
    const QAbstractItemModel* m = list->model();
    const QModelIndex root = list->rootIndex();
    for (int r = 0; r < m->rowCount(root); ++r)
      if (m->index(r, 0, root).data().toString() == QStringLiteral("A.CSV"))
        shown = m->index(r, 3, root).data().toString();
  }
  EXPECT_EQ(shown, QStringLiteral("04.03.2026 05:06:07"));
}

}  // namespace
}  // namespace tolv::testing
