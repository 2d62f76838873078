// "Save picture as…" of the multi-device plot: beside copy and print, in the data menu, in the
// window's language, and the file is the plot with its header.
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QToolButton>
#include <cmath>

#include "common/texttable.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "multi_rig.h"

namespace tolv::test {
namespace {

class MultiPicture : public MultiRig {
 protected:
  void TearDown() override {
    win_.reset();
    setBootingFlag(false);
    MultiRig::TearDown();
  }
  TF_Multi_Tolvanex_Img& window() {
    win_ = std::make_unique<TF_Multi_Tolvanex_Img>(
        nullptr, [this](int ms) -> ITimer& { return hub_.create(ms); });
    win_->setMembers(&members_);
    return *win_;
  }
  // One cycle of two devices, so the plot and its save controls show.
  TF_Multi_Tolvanex_Img& plotted() {
    FakeMember& a = members_.add(QStringLiteral("TX4711"), 2000, 2e-6);
    FakeMember& b = members_.add(QStringLiteral("TX4712"), 1500, 2e-6);
    for (int k = 0; k < 2000; ++k) {
      a.ch1()[std::size_t(k)] = std::sin(k * 0.01);
      a.ch2()[std::size_t(k)] = 0.5;
      b.ch1()[std::size_t(k)] = (k / 200) % 2 ? 1.2 : -0.2;
      b.ch2()[std::size_t(k)] = -0.5;
    }
    setBootingFlag(false);
    TF_Multi_Tolvanex_Img& w = window();
    w.resize(1100, 700);
    w.fillFromDeviceWindows();
    for (int i = 0; i < 2; ++i) w.coll().setItemChecked(i, true);
    w.activateCheckedDevices();
    w.applyTexts();
    w.show();
    w.layOut();
    w.BN_RunClick();
    w.coll().recordArrived(a.notice(1500));
    w.coll().recordArrived(b.notice(1000));
    hub_.advance(TMultiCollection::kHeaderMs);
    w.layOut();
    QCoreApplication::processEvents();
    return w;
  }
  std::unique_ptr<TF_Multi_Tolvanex_Img> win_;
};

TEST_F(MultiPicture, SavesThePlotWithItsHeaderAndNothingWhenCancelled) {
  setLanguageIndex(kLanguageEnglish);
  TF_Multi_Tolvanex_Img& w = plotted();
  auto* button = w.findChild<QToolButton*>(QStringLiteral("BBN_SaveMUVXPictureAs"));
  ASSERT_TRUE(button);
  EXPECT_TRUE(button->isVisibleTo(&w));  // shown with copy and print once there is a plot
  EXPECT_TRUE(button->toolTip().startsWith("Save picture as"));
  QString folder;
  const std::filesystem::path file = root_ / "plot.png";
  w.setPictureNameDialog([&](QWidget*, const QString& start) {
    folder = start;
    return file;
  });
  button->click();
  EXPECT_EQ(pathFromText(folder), dataRoot());
  const QImage saved(QString::fromStdString(file.string()));
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
            w.coll().image().convertToFormat(QImage::Format_RGB32));
  w.setPictureNameDialog([](QWidget*, const QString&) { return std::filesystem::path(); });
  std::filesystem::remove(file);
  EXPECT_EQ(w.SaveMUVXPictureAs(), kPictureCancelled);
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(MultiPicture, MenuEntryFollowsTheLanguage) {
  members_.add(QStringLiteral("A1"));
  TF_Multi_Tolvanex_Img& w = window();
  auto* act = w.findChild<QAction*>(QStringLiteral("MI_SaveMUVXPictureAs"));
  ASSERT_TRUE(act);
  setLanguageIndex(kLanguageGerman);
  w.applyTexts();
  EXPECT_EQ(act->text(), QStringLiteral("Bild speichern unter…"));
  setLanguageIndex(kLanguageEnglish);
  w.applyTexts();
  EXPECT_EQ(act->text(), QStringLiteral("Save picture as…"));
  // The entry sits in the data-file menu after saving and loading data, before "Export...".
  auto* data = w.findChild<QMenu*>(QStringLiteral("MI_DataFiles"));
  ASSERT_TRUE(data);
  ASSERT_EQ(data->actions().size(), 4);
  EXPECT_EQ(data->actions().at(2), act);
  EXPECT_EQ(data->actions().at(3)->objectName(), QStringLiteral("MI_ExportMUVX"));
  EXPECT_EQ(data->actions().at(3)->text(), QStringLiteral("Export..."));
}

// The data menu opened over the plot, written when TOLV_WINDOW_SHOT_DIR names a folder.
TEST_F(MultiPicture, Screenshot) {
  const QByteArray dir = qgetenv("TOLV_WINDOW_SHOT_DIR");
  if (dir.isEmpty()) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  setLanguageIndex(kLanguageEnglish);
  TF_Multi_Tolvanex_Img& w = plotted();
  auto* data = w.findChild<QMenu*>(QStringLiteral("MI_DataFiles"));
  auto* bar = w.findChild<QMenuBar*>(QStringLiteral("MM_MUVX_Img"));
  data->popup(w.mapToGlobal(bar->actionGeometry(data->menuAction()).bottomLeft()));
  QCoreApplication::processEvents();
  QImage shot = w.grab().toImage();
  {
    QPainter p(&shot);
    p.drawPixmap(data->mapTo(&w, QPoint(0, 0)) - w.mapTo(&w, QPoint(0, 0)), data->grab());
  }
  const QString d = QString::fromLocal8Bit(dir);
  EXPECT_TRUE(shot.save(d + QStringLiteral("/multi_savepicture_menu.png")));
  data->hide();
}

}  // namespace
}  // namespace tolv::test
