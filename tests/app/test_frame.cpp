// The main frame on a simulated FTDI bus: listing, device windows, handlers, shut-down.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <cstdlib>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/qttexts.h"
#include "app/tf_about.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "frame_fixture.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "plot/d2koord.h"

using namespace tolv;
using tolv::testing::FrameTest;

TEST_F(FrameTest, TwoDevicesAreListedOpenedAndGetTheirFolders) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(f.windowTitle(), "2 FTDI-Device(s) Present ...");
  EXPECT_EQ(f.bootResult(), 0);
  ASSERT_EQ(list("LV_Devices")->topLevelItemCount(), 2);
  EXPECT_EQ(list("LV_Devices")->topLevelItem(1)->text(0), "Device 2");
  EXPECT_EQ(list("LV_Devices")->topLevelItem(1)->text(2), "Tolvanex Scope 1");
  ASSERT_EQ(list("LV_Tolvanexs")->topLevelItemCount(), 2);
  ASSERT_EQ(f.deviceWindows().count(), 2);
  EXPECT_TRUE(std::filesystem::exists(root_ / "VX_Language.TXT"));
  for (int i = 0; i < 2; ++i) {
    TF_OneTolvanex* w = window(i);
    EXPECT_TRUE(w->link().isOpen());
    EXPECT_TRUE(w->isVisible());
    const auto folder = root_ / w->serialNumber().toStdString();
    for (const char* sub : TF_OneTolvanex::kIntermediateFolders)
      EXPECT_TRUE(std::filesystem::is_directory(folder / sub)) << sub;
  }
  EXPECT_EQ(window(1)->windowTitle(), "Device 2:  Ser. Nr.: TVS00002");
  expectStartPlace(window(1), QPoint(30, 30 + f.frameGeometry().height()));
  EXPECT_TRUE(sink_.messages.empty());
  EXPECT_TRUE(f.bootTimer()->isActive());
  EXPECT_EQ(driver_->openHandles(), 2);
  f.close();
  EXPECT_TRUE(f.shutDownDone());
  EXPECT_EQ(driver_->openHandles(), 0);
}

// At the frame's default size every column of both device lists shows its heading whole, in
// the font in use (the last, stretched one included).
TEST_F(FrameTest, DeviceListsShowEveryColumnHeadingWhole) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  f.show();
  QCoreApplication::processEvents();
  for (const char* name : {"LV_Devices", "LV_Tolvanexs"}) {
    QHeaderView* h = list(name)->header();
    ASSERT_EQ(h->count(), 3) << name;
    for (int i = 0; i < h->count(); ++i) {
      EXPECT_GE(h->sectionSize(i), h->sectionSizeHint(i)) << name << " column " << i;
      EXPECT_LE(h->sectionViewportPosition(i) + h->sectionSize(i), h->viewport()->width())
          << name << " column " << i;
    }
  }
}

TEST_F(FrameTest, DescriptionsMustMatchExactly) {
  driver_->addDevice("S1", "Tolvanex Scope 1 ");
  driver_->addDevice("S2", "tolvanex scope 1");
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(list("LV_Devices")->topLevelItemCount(), 2);
  EXPECT_EQ(list("LV_Tolvanexs")->topLevelItemCount(), 0);
  EXPECT_EQ(f.deviceWindows().count(), 0);
  EXPECT_EQ(f.bootResult(), -120);
  EXPECT_TRUE(f.bootTimer()->isActive());
}

TEST_F(FrameTest, OnlyTheThirdOfThreeIsAFamilyDevice) {
  driver_->addDevice("A1", "USB Serial", false);
  driver_->addDevice("A2", "Other Scope", false);
  driver_->addDevice("FAM3", "Tolvanex Scope 1");
  TF_MultiTolvanexFrame& f = makeFrame();
  QTreeWidget* lv = list("LV_Tolvanexs");
  ASSERT_EQ(lv->topLevelItemCount(), 1);
  EXPECT_EQ(lv->topLevelItem(0)->text(0), "FAM3");
  EXPECT_EQ(lv->topLevelItem(0)->text(1), "3");
  EXPECT_EQ(lv->topLevelItem(0)->text(2), "");
  ASSERT_EQ(f.deviceWindows().count(), 1);
  TF_OneTolvanex* w = window(0);
  EXPECT_EQ(w->frameCaption(), "Tolvanex Scope 1 Ser. Nr.:FAM3 (2)");
  // The window renews its caption from serial and index right after the frame set it.
  EXPECT_EQ(w->windowTitle(), "Device 3:  Ser. Nr.: FAM3");
  EXPECT_EQ(w->deviceIndex(), 2);
  expectStartPlace(w, QPoint(0, f.frameGeometry().height()));
  EXPECT_FALSE(f.findChild<QPushButton*>("BN_Cascade")->isVisibleTo(&f));
}

TEST_F(FrameTest, NoDeviceAtAll) {
  TF_MultiTolvanexFrame& f = makeFrame();
  EXPECT_EQ(f.windowTitle(), "0 FTDI-Device(s) Present ...");
  EXPECT_EQ(f.bootResult(), -120);
  EXPECT_EQ(list("LV_Devices")->topLevelItemCount(), 0);
  EXPECT_TRUE(f.bootTimer()->isActive());
  EXPECT_TRUE(bootingFlag());
  f.TM_BootTimer();
  EXPECT_FALSE(bootingFlag());
  EXPECT_FALSE(f.bootTimer()->isActive());
  EXPECT_EQ(f.bootStep(), 1);
}

TEST_F(FrameTest, CascadeOnlyFromTwoDevicesAndPlacesWindows) {
  driver_ = std::make_unique<TSimulatedDriver>(3, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  auto* cascade = f.findChild<QPushButton*>("BN_Cascade");
  EXPECT_TRUE(cascade->isVisibleTo(&f));
  window(2)->resize(300, 200);
  // A window closed while its device measured is brought back with the others.
  window(1)->hide();
  f.BN_CascadeClick();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(window(i)->isVisible()) << i;
  // At the default size where the screen allows, lower and closer where it does not (the test
  // screen is lower than one window), every title bar below the one before.
  const int frame = outerSize(*window(0)).height() - window(0)->height();
  const QScreen* sc = f.screen();
  const QList<QRect> want = cascadeWindowRects(
      3, f.frameGeometry().height(),
      QSize(TF_OneTolvanex::kDefaultWidth, TF_OneTolvanex::kDefaultHeight + frame),
      TF_OneTolvanex::kMinimumHeight + frame, frame, sc ? sc->availableGeometry() : QRect());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(window(i)->pos(), want[i].topLeft()) << i;
    EXPECT_EQ(window(i)->size(), QSize(TF_OneTolvanex::kDefaultWidth, want[i].height() - frame));
    if (i > 0) {
      EXPECT_GE(window(i)->y(), window(i - 1)->y() + frame) << i;
    }
  }
}

TEST_F(FrameTest, SeparatorChoicesStoreTheirCharacters) {
  regional().pin(QLocale(QStringLiteral("de_DE")));  // first start on a German system
  TF_MultiTolvanexFrame& f = makeFrame();
  regional().reload();
  EXPECT_EQ(f.decimalSeparator(), QChar(','));
  EXPECT_EQ(f.columnSeparator(), QChar('\t'));
  f.CB_ColumnSeparatorChange(2);  // "Dot"
  EXPECT_EQ(f.columnSeparator().unicode(), 46);
  EXPECT_EQ(columnSeparatorSetting().unicode(), 46);
  f.CB_ColumnSeparatorChange(7);
  EXPECT_EQ(f.columnSeparator().unicode(), 46);
  EXPECT_TRUE(sink_.messages.empty());
  // A point as decimal separator beside the point as column separator is refused.
  f.CB_DecimalSeparatorChange(0);
  EXPECT_EQ(f.decimalSeparator(), QChar(','));
  ASSERT_EQ(sink_.messages.size(), 1u);
  f.CB_ColumnSeparatorChange(0);
  f.CB_DecimalSeparatorChange(0);
  EXPECT_EQ(f.decimalSeparator(), QChar('.'));
  EXPECT_EQ(decimalSeparatorSetting(), QChar('.'));
  auto* dec = f.findChild<QComboBox*>("CB_DecimalSeparator");
  auto* col = f.findChild<QComboBox*>("CB_ColumnSeparator");
  f.setDecimalSeparator(QChar(','));
  EXPECT_EQ(dec->currentIndex(), 1);
  // Other characters are stored, the drop-down stays as it was.
  f.setDecimalSeparator(QChar('x'));
  EXPECT_EQ(f.decimalSeparator(), QChar('x'));
  EXPECT_EQ(dec->currentIndex(), 1);
  f.setColumnSeparator(QChar(';'));
  EXPECT_EQ(col->currentIndex(), 3);
  f.setColumnSeparator(QChar('|'));
  EXPECT_EQ(col->currentIndex(), 3);
  EXPECT_EQ(f.columnSeparator(), QChar('|'));
  f.setDecimalSeparator(QChar(','));
  f.setColumnSeparator(QChar('\t'));
}

TEST_F(FrameTest, LanguageAndHints) {
  TF_MultiTolvanexFrame& f = makeFrame();
  auto* heading = f.findChild<QLabel*>("PN_All_FTDI_Devices");
  f.IM_EnglishClick();
  EXPECT_EQ(f.language(), 1);
  EXPECT_EQ(languageIndex(), 1);
  EXPECT_EQ(heading->text(), "All FTDI-devices");
  auto* col = f.findChild<QComboBox*>("CB_ColumnSeparator");
  EXPECT_EQ(col->itemText(3), "Semicolon");
  EXPECT_EQ(col->placeholderText(), " Column separator ");
  f.IM_GermanClick();
  EXPECT_EQ(languageIndex(), 0);
  EXPECT_EQ(col->itemText(3), "Semikolon");
  EXPECT_EQ(f.findChild<QCheckBox*>("CB_ShowHints")->text(), "Hinweise");

  auto* hints = f.findChild<QCheckBox*>("CB_ShowHints");
  EXPECT_TRUE(hints->isChecked());
  f.setHints(false);
  EXPECT_FALSE(hints->isChecked());
  EXPECT_FALSE(f.hints());
  hints->setChecked(true);
  f.CB_ShowHintsClick();
  EXPECT_TRUE(f.hints());
}

TEST_F(FrameTest, RowClickTogglesItsDeviceWindow) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  f.show();
  QTreeWidget* lv = list("LV_Tolvanexs");
  TF_OneTolvanex* w = window(1);
  const QRect row = lv->visualItemRect(lv->topLevelItem(1));
  ASSERT_TRUE(row.isValid());
  QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(window(0)->isVisible());
  QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_TRUE(w->isVisible());
  // Below the rows: nothing happens.
  const QPoint empty(row.center().x(), lv->viewport()->height() - 3);
  ASSERT_EQ(lv->itemAt(empty), nullptr);
  QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, empty);
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(window(0)->isVisible());
  f.LV_TolvanexsMouseUp(5);  // no window at that index
  // A double-click (a click, then the second press and its release) always leaves the window
  // shown: hidden, it comes back; shown, it stays. A single click after it toggles again.
  const auto doubleClick = [&] {
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(lv->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseRelease(lv->viewport(), Qt::LeftButton, {}, row.center());
  };
  QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, row.center());
  ASSERT_FALSE(w->isVisible());
  doubleClick();
  EXPECT_TRUE(w->isVisible());
  doubleClick();
  EXPECT_TRUE(w->isVisible());
  QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_FALSE(w->isVisible());
}

TEST_F(FrameTest, ListingErrorsShowTheirBoxAndTheScanGoesOn) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  driver_->failNext(TSimulatedDriver::Call::ListSerial, kFtDeviceNotFound);
  TF_MultiTolvanexFrame& f = makeFrame();
  ASSERT_EQ(sink_.messages.size(), 1u);
  EXPECT_EQ(sink_.messages[0].text, "GetFTDeviceSerialNo - Device Not Found....");
  QTreeWidget* lv = list("LV_Devices");
  ASSERT_EQ(lv->topLevelItemCount(), 2);
  // The failed cell repeats the last text read successfully (none yet: empty).
  EXPECT_EQ(lv->topLevelItem(0)->text(1), "");
  EXPECT_EQ(lv->topLevelItem(1)->text(1), "TVS00002");
  EXPECT_EQ(f.deviceWindows().count(), 2);
}

TEST_F(FrameTest, MultiWindowAndAboutAndVersionBox) {
  TF_MultiTolvanexFrame& f = makeFrame();
  TF_Multi_Tolvanex_Img* m = f.multiWindow();
  ASSERT_NE(m, nullptr);
  EXPECT_FALSE(m->isVisible());
  f.BN_MultiScopeWindowClick();
  EXPECT_TRUE(m->isVisible());
  // The button always brings the window up: a second click does not hide it, and a window
  // minimised or moved off every screen comes back whole onto a screen.
  f.BN_MultiScopeWindowClick();
  EXPECT_TRUE(m->isVisible());
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  m->showMinimized();
  m->move(screen.right() + 500, screen.bottom() + 400);
  f.BN_MultiScopeWindowClick();
  EXPECT_TRUE(m->isVisible());
  EXPECT_FALSE(m->isMinimized());
  // Its top left on the screen, and no larger than the screen unless its smallest size is.
  EXPECT_TRUE(screen.contains(m->frameGeometry().topLeft()))
      << m->frameGeometry().x() << "," << m->frameGeometry().y();
  EXPECT_LE(m->width(), std::max(screen.width(), m->minimumWidth()));
  EXPECT_LE(m->height(), std::max(screen.height(), m->minimumHeight()));
  m->hide();
  ASSERT_NE(f.coordinateWindow(), nullptr);
  EXPECT_NE(qobject_cast<TF_D2Koord*>(f.coordinateWindow()), nullptr);
  EXPECT_FALSE(f.coordinateWindow()->isVisible());

  QWidget about;
  f.setAboutWindow(&about);
  QString shown;
  f.setInfoBox([&](const QString&, const QString& t) { shown = t; });
  f.PN_CopyrightMouseDown(Qt::RightButton);
  EXPECT_TRUE(shown.contains("Version"));
  EXPECT_FALSE(about.isVisible());
  f.PN_CopyrightMouseDown(Qt::LeftButton);
  EXPECT_TRUE(about.isVisible());
  about.hide();
}

// The about window opens over the frame and wholly on the frame's screen, in the program's
// language; the version box gives each value after its label in that language.
TEST_F(FrameTest, AboutWindowAndVersionBoxStayOnScreenInTheProgramsLanguage) {
  TF_MultiTolvanexFrame& f = makeFrame();
  f.show();
  TF_About about;
  f.setAboutWindow(&about);
  const QRect screen = f.screen()->availableGeometry();
  f.setLanguage(kLanguageGerman);
  f.move(screen.center() - QPoint(f.width() / 2, f.height() / 2));
  f.PN_CopyrightMouseDown(Qt::LeftButton);
  ASSERT_TRUE(about.isVisible());
  // Centred (up to a title bar the window manager may not have drawn yet).
  const QPoint off = about.frameGeometry().center() - f.frameGeometry().center();
  EXPECT_LE(std::abs(off.x()), 1);
  EXPECT_LE(std::abs(off.y()), about.style()->pixelMetric(QStyle::PM_TitleBarHeight));
  EXPECT_EQ(about.windowTitle(), QStringLiteral("Über Multi_Tolvanex"));
  EXPECT_TRUE(TF_About::bodyText().endsWith(QStringLiteral("Messprogramm für Tolvanex-Geräte")));
  about.hide();
  // The frame in the bottom right corner: the window is not cut off by the screen's edges.
  f.move(screen.bottomRight() - QPoint(f.frameGeometry().width(), f.frameGeometry().height()));
  f.PN_CopyrightMouseDown(Qt::LeftButton);
  EXPECT_TRUE(screen.contains(about.frameGeometry()))
      << about.frameGeometry().x() << "," << about.frameGeometry().y();
  f.setLanguage(kLanguageEnglish);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Multi_Tolvanex"));
  about.hide();

  QString shown;
  f.setInfoBox([&](const QString&, const QString& t) { shown = t; });
  f.PN_CopyrightMouseDown(Qt::RightButton);
  const QStringList lines = shown.split(QLatin1Char('\n'));
  EXPECT_EQ(lines.value(0), QStringLiteral("Product: Multi_Tolvanex"));
  EXPECT_TRUE(lines.value(1).contains(QRegularExpression(QStringLiteral("^Version: \\d+\\.\\d+"))))
      << qPrintable(shown);
  for (const QString& l : lines) EXPECT_TRUE(l.contains(QStringLiteral(": "))) << qPrintable(l);
  f.setLanguage(kLanguageGerman);
  f.PN_CopyrightMouseDown(Qt::RightButton);
  EXPECT_TRUE(shown.startsWith(QStringLiteral("Produkt: Multi_Tolvanex\n"))) << qPrintable(shown);
  EXPECT_TRUE(shown.endsWith(QStringLiteral("Beschreibung: Messprogramm für Tolvanex-Geräte")));
}

// Qt's own texts (standard buttons, file dialogs) are German while the program is, where Qt's
// German catalogue is installed; without it they stay English and nothing fails.
TEST_F(FrameTest, QtsOwnTextsSwitchWithTheLanguage) {
  const auto cancel = [] {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Cancel);
    return box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&'));
  };
  {
    QTemporaryDir none;
    TQtTexts missing(none.path());
    EXPECT_FALSE(missing.apply(kLanguageGerman));
    EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
  }
  TF_MultiTolvanexFrame& f = makeFrame();
  f.setLanguage(kLanguageGerman);
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                     QStringLiteral("/qtbase_de.qm")))
    GTEST_SKIP() << "Qt's German catalogue is not installed (scripts/install-deps.sh does it)";
  EXPECT_TRUE(f.qtTexts().german());
  EXPECT_EQ(cancel(), QStringLiteral("Abbrechen"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Suchen in:"));
  f.setLanguage(kLanguageEnglish);
  EXPECT_FALSE(f.qtTexts().german());
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
  f.setLanguage(kLanguageThird);
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
  f.setLanguage(kLanguageGerman);
  EXPECT_EQ(cancel(), QStringLiteral("Abbrechen"));
  frame_.reset();  // the catalogue leaves with the frame
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
}

TEST_F(FrameTest, Message1036ClosesTheFrameAndShutsDown) {
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  f.show();
  bool closedSignal = false;
  QObject::connect(&f, &TF_MultiTolvanexFrame::frameClosed, [&] { closedSignal = true; });
  QCoreApplication::postEvent(&f, new QEvent(static_cast<QEvent::Type>(1036)));
  QCoreApplication::processEvents();
  EXPECT_TRUE(closedSignal);
  EXPECT_TRUE(f.shutDownDone());
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.deviceWindows().count(), 0);
  EXPECT_EQ(driver_->calls(TSimulatedDriver::Call::Close), 2);
  // A second close does not run the shut-down again.
  f.close();
  EXPECT_EQ(driver_->calls(TSimulatedDriver::Call::Close), 2);
}
