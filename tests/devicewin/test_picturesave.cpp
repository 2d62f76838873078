// "Save picture as…" of a device window: the tool button beside copy and print saves the
// picture of the sheet in front as PNG or PDF, named through the dialog, in the window's
// language; a cancelled dialog writes nothing.
#include <gtest/gtest.h>

#include "sim_window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cerrno>
#include <cstring>

#include "common/paths.h"
#include "common/picturefile.h"
#include "common/texttable.h"
#include "devicewin/panel_plotmode.h"
#include "devicewin/picturesave.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "ftdi/simulated_driver.h"
#include "measure/intermediate.h"
#include "measure/measuredata.h"

using namespace tolv;
namespace fs = std::filesystem;

namespace {

class SavePicture : public tolv::test::SimWindowTest {
 protected:
  void TearDown() override {
    tolv::test::SimWindowTest::TearDown();
    setLanguageIndex(kLanguageGerman);
  }
  TPlotSheets& sheets() { return w_->plots().sheets(); }
  QToolButton* button() { return w_->findChild<QToolButton*>(QStringLiteral("BBN_SavePicture")); }
  void oneScopeRecord() {
    TOneTolvanexRunPanel& run = *w_->runPanel();
    if (!w_->acquisition().singleShot()) QTest::mouseClick(run.singleShotBox(), Qt::LeftButton);
    QTest::mouseClick(run.runButton(), Qt::LeftButton);
    ASSERT_TRUE(hub_.advanceUntil(
        [&] { return w_->acquisition().runState() == RunState::Measuring; }, 2000));
    ASSERT_TRUE(
        hub_.advanceUntil([&] { return w_->acquisition().runState() == RunState::Idle; }, 20000));
    QApplication::processEvents();
  }

};

}  // namespace

TEST(PictureName, TheChosenFilterAddsItsExtensionOnlyWhenNoneIsGiven) {
  const QString filters = savePictureFilters(1);
  const QString png = filters.section(QStringLiteral(";;"), 0, 0);
  const QString pdf = filters.section(QStringLiteral(";;"), 1, 1);
  EXPECT_TRUE(png.contains("*.png"));
  EXPECT_TRUE(pdf.contains("*.pdf"));
  EXPECT_EQ(pictureNameWithExtension("/d/plot", pdf), fs::path("/d/plot.pdf"));
  EXPECT_EQ(pictureNameWithExtension("/d/plot", png), fs::path("/d/plot.png"));
  EXPECT_EQ(pictureNameWithExtension("/d/plot.PDF", png), fs::path("/d/plot.PDF"));
  EXPECT_EQ(pictureNameWithExtension("/d/plot.v1", pdf), fs::path("/d/plot.v1.pdf"));
  EXPECT_EQ(savePictureCaption(0), QStringLiteral("Bild speichern unter…"));
  EXPECT_EQ(savePictureCaption(2), QStringLiteral("Save picture as…"));
}

TEST_F(SavePicture, ButtonSavesTheShownScopePictureFromTheDataRoot) {
  ASSERT_TRUE(button());
  EXPECT_TRUE(button()->toolTip().startsWith("Save picture as"));
  oneScopeRecord();
  ASSERT_EQ(sheets().shownSheet(), PlotSheet::Scope);
  QString start;
  fs::path name = root_ / "pics" / "scope";
  sheets().setPictureNameDialog([&](QWidget*, const QString& folder) {
    start = folder;
    return pictureNameWithExtension(pathText(name), savePictureFilters(1).section(";;", 0, 0));
  });
  fs::create_directories(root_ / "pics");
  QTest::mouseClick(button(), Qt::LeftButton);
  EXPECT_EQ(pathFromText(start), dataRoot());
  const QImage saved(QString::fromStdString((root_ / "pics" / "scope.png").string()));
  ASSERT_FALSE(saved.isNull());
  const QImage shown = sheets().image(PlotSheet::Scope)->pixmap().toImage();
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
  // PDF by its extension; a cancelled dialog and an unwritable name leave the files alone.
  sheets().setPictureNameDialog([&](QWidget*, const QString&) { return root_ / "pics" / "s.PDF"; });
  EXPECT_EQ(sheets().savePictureAs(), 0);
  EXPECT_EQ(pictureFormatOf(root_ / "pics" / "s.PDF"), PictureFormat::Pdf);
  sheets().setPictureNameDialog([](QWidget*, const QString&) { return fs::path(); });
  EXPECT_EQ(sheets().savePictureAs(), kPictureCancelled);
  sheets().setPictureNameDialog([&](QWidget*, const QString&) { return root_ / "no" / "x.png"; });
  EXPECT_EQ(sheets().savePictureAs(), 2);
  EXPECT_FALSE(fs::exists(root_ / "no"));
}

TEST_F(SavePicture, TooltipFollowsTheLanguage) {
  setLanguageIndex(kLanguageGerman);
  w_->plots().applyTexts();
  EXPECT_TRUE(button()->toolTip().startsWith(QStringLiteral("Bild speichern unter…")));
  setLanguageIndex(kLanguageEnglish);
  w_->plots().applyTexts();
  EXPECT_TRUE(button()->toolTip().startsWith(QStringLiteral("Save picture as…")));
}

// The window with its new button and the scope sheet after a record, written when
// TOLV_WINDOW_SHOT_DIR names a folder.
TEST_F(SavePicture, Screenshot) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  oneScopeRecord();
  const QString d = QString::fromLocal8Bit(out);
  EXPECT_TRUE(w_->grab().save(d + QStringLiteral("/devicewin_savepicture.png")));
  auto* tools = w_->findChild<QWidget*>(QStringLiteral("PN_PlotTools"));
  ASSERT_TRUE(tools);
  EXPECT_TRUE(tools->grab().scaled(tools->size() * 3).save(d + QStringLiteral("/devicewin_tools.png")));
  // The record's intermediate file beside the shots, to draw it without a window and compare.
  const QImage shown = sheets().image(PlotSheet::Scope)->pixmap().toImage();
  EXPECT_TRUE(shown.save(d + QStringLiteral("/devicewin_scope_%1x%2.png")
                                 .arg(shown.width())
                                 .arg(shown.height())));
  const fs::path fil = intermediateFileName(w_->plots().data().deviceFolder(),
                                            IntermediateFamily::OSA0, 1);
  const fs::path dest = fs::path(out) / w_->serialNumber().toStdString() / "Intermediate_OSA0";
  fs::create_directories(dest);
  for (const fs::path& f : {fil, fs::path(fil).replace_extension(".VXT")})
    fs::copy_file(f, dest / f.filename(), fs::copy_options::overwrite_existing);
}

// The reason in words of the window's language, never the C library's reading of the program's
// own codes (3, a missing folder, is "No such process" there).
TEST(SavePictureText, AFailureNamesTheFileAndTheReason) {
  const QString en = savePictureFailureText("/x/p.png", ENOENT, kLanguageEnglish);
  EXPECT_TRUE(en.contains("/x/p.png")) << qPrintable(en);
  EXPECT_TRUE(en.contains("the folder does not exist")) << qPrintable(en);
  const QString de = savePictureFailureText("/x/p.png", kPictureEmpty, kLanguageGerman);
  EXPECT_TRUE(de.contains("kein Bild")) << qPrintable(de);
  const QString folder = savePictureFailureText("/x/p.png", 3, kLanguageEnglish);
  EXPECT_TRUE(folder.contains("folder")) << qPrintable(folder);
  EXPECT_FALSE(folder.contains(QString::fromLocal8Bit(std::strerror(3)))) << qPrintable(folder);
  EXPECT_TRUE(savePictureFailureText("/x/p.png", EACCES, kLanguageGerman).contains("Zugriff"));
  EXPECT_TRUE(
      savePictureFailureText("/x/p.png", ENOSPC, kLanguageEnglish).contains("disk is full"));
  const QString encode = savePictureFailureText("/x/p.png", kPictureEncodeFailed, kLanguageEnglish);
  EXPECT_TRUE(encode.contains("could not be encoded")) << qPrintable(encode);
}
