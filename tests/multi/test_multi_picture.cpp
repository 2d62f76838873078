// "Save picture as…" of the multi-device plot: beside copy and print, in the data menu, in the
// window's language, and the file is the plot with its header. The plot's wheel zoom, its two
// cursors and the keys of its menu.
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>
#include <QMenuBar>
#include <QPainter>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "common/texttable.h"
#include "devicewin/plotshortcuts.h"
#include "support/zoom_keys.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "plot/d2koord.h"
#include "multi/multiplotfeed.h"
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
  // The entry sits in the data-file menu after saving and loading data, before the exports of
  // a stored file and of the record on screen (in the device window's order).
  auto* data = w.findChild<QMenu*>(QStringLiteral("MI_DataFiles"));
  ASSERT_TRUE(data);
  ASSERT_EQ(data->actions().size(), 5);
  EXPECT_EQ(data->actions().at(2), act);
  EXPECT_EQ(data->actions().at(3)->objectName(), QStringLiteral("MI_ExportStoredMUVX"));
  EXPECT_EQ(data->actions().at(3)->text(), QStringLiteral("Export..."));
  EXPECT_EQ(data->actions().at(4)->objectName(), QStringLiteral("MI_ExportMUVX"));
  EXPECT_EQ(data->actions().at(4)->text(), QStringLiteral("Export record on screen..."));
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

TEST_F(MultiPicture, WheelZoomsAroundThePointerAndMiddleClicksSetTwoCursors) {
  setLanguageIndex(kLanguageEnglish);
  TF_D2Koord koord;
  TF_Multi_Tolvanex_Img& w = plotted();
  w.setCoordinateWindow(&koord);
  TGenD2ImgKernel& k = w.coll().kernel();
  ASSERT_GT(k.DataSetCount(), 0);
  QLabel* im = w.plotImage();
  const PlotRect pa = k.PlotArea();
  const QPoint at(pa.left + 321, (pa.top + pa.bottom) / 2);
  const WorldValue x0 = k.Get(0)->xTransform.toWorld(at.x());
  QWheelEvent e(QPointF(at), QPointF(im->mapToGlobal(at)), QPoint(), QPoint(0, 240), Qt::NoButton,
                {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(im, &e);
  EXPECT_EQ(k.Get(0)->xTransform.toPixel(x0), at.x());
  // Every curve of every device shares the zoomed time axis.
  for (int i = 0; i < k.DataSetCount(); ++i)
    EXPECT_EQ(k.Get(i)->xAxis.minimum, k.Get(0)->mergedX->minimum) << i;
  auto middle = [&](int x) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 100), QPointF(im->mapToGlobal(QPoint(x, 100))),
                      Qt::MiddleButton, Qt::MiddleButton, {});
    QApplication::sendEvent(im, &press);
  };
  middle(pa.left + 100);
  middle(pa.left + 400);
  const TCursorReadOut r = k.CursorReadOut();
  ASSERT_TRUE(r.complete());
  EXPECT_GT(r.dt, 0.0);
  EXPECT_EQ(r.channels.size(), std::size_t(k.DataSetCount()));
  EXPECT_TRUE(koord.IsShown());
  EXPECT_GE(koord.RowCount(), 4);
}

TEST_F(MultiPicture, PlotMenuShowsTheKeysAndEveryKeyTriggersItsAction) {
  setLanguageIndex(kLanguageEnglish);
  TF_Multi_Tolvanex_Img& w = plotted();
  w.activateWindow();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  auto* menu = w.findChild<QMenu*>(QStringLiteral("MI_Plot"));
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->title(), QStringLiteral("Plot"));
  int listed = 0;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) {
      ++listed;
      EXPECT_FALSE(a->shortcut().isEmpty()) << a->objectName().toStdString();
    }
  EXPECT_EQ(listed, kPlotCommandCount);
  auto press = [&](PlotCommand c) {
    QTest::keySequence(&w, TPlotShortcuts::keys(c).value(0));
    QCoreApplication::processEvents();
  };
  std::vector<int> fired(kPlotCommandCount, 0);
  for (int i = 0; i < kPlotCommandCount; ++i)
    QObject::connect(w.shortcuts()->action(PlotCommand(i)), &QAction::triggered,
                     [&fired, i] { ++fired[std::size_t(i)]; });
  // The print dialog would wait for a person: the key is checked to reach the action only.
  int printed = 0;
  w.shortcuts()->add(PlotCommand::Print, [&] { ++printed; });

  QSignalSpy breaks(w.findChild<QPushButton*>(QStringLiteral("BN_Break")), &QPushButton::clicked);
  QSignalSpy runs(w.findChild<QPushButton*>(QStringLiteral("BN_Run")), &QPushButton::clicked);
  int asked = 0;
  w.setFileDialog([&](TF_Multi_Tolvanex_Img::Dialog d, const QString&) {
    if (d == TF_Multi_Tolvanex_Img::Dialog::SaveData) ++asked;
    return QString();
  });
  press(PlotCommand::Save);
  EXPECT_EQ(asked, 1);
  QApplication::clipboard()->clear();
  press(PlotCommand::CopyPicture);
  EXPECT_FALSE(QApplication::clipboard()->image().isNull());
  press(PlotCommand::Print);
  EXPECT_EQ(printed, 1);

  w.layOut();
  expectZoomKeys(w.coll().kernel(), press);
  const int page = w.pageControl()->currentIndex();
  press(PlotCommand::NextSheet);
  EXPECT_NE(w.pageControl()->currentIndex(), page);
  press(PlotCommand::PreviousSheet);
  EXPECT_EQ(w.pageControl()->currentIndex(), page);
  // The key ends a run that goes on and starts one when none does (BREAK stays enabled
  // between runs, so it cannot tell).
  if (w.runGoing()) {
    press(PlotCommand::StartStop);
    EXPECT_EQ(breaks.count(), 1);
    hub_.advance(10000);
    QCoreApplication::processEvents();
  }
  ASSERT_FALSE(w.runGoing());
  const int breaksBefore = breaks.count();
  press(PlotCommand::StartStop);
  EXPECT_EQ(runs.count(), 1);
  EXPECT_EQ(breaks.count(), breaksBefore);
  EXPECT_TRUE(w.runGoing());
  press(PlotCommand::StartStop);
  EXPECT_EQ(breaks.count(), breaksBefore + 1);
  hub_.advance(10000);
  QCoreApplication::processEvents();
  ASSERT_FALSE(w.runGoing());
  // The single key runs one cycle in single shot.
  w.coll().setSingleShot(false, true);
  const int runsBefore = runs.count();
  press(PlotCommand::Single);
  EXPECT_TRUE(w.coll().singleShot());
  EXPECT_EQ(runs.count(), runsBefore + 1);
  // Its cycle ends without records at the latest after the wait for any trigger.
  hub_.advance(TMultiCollection::kTriggerWaitMs + 3000);
  QCoreApplication::processEvents();
  EXPECT_FALSE(w.runGoing());

  for (int i = 0; i < kPlotCommandCount; ++i)
    if (PlotCommand(i) != PlotCommand::Print) {
      EXPECT_GE(fired[std::size_t(i)], 1) << i;
    }
  // The keys stand in the tool tips of the buttons.
  const QString key =
      TPlotShortcuts::keys(PlotCommand::Save).value(0).toString(QKeySequence::NativeText);
  EXPECT_TRUE(w.findChild<QToolButton*>(QStringLiteral("BBN_SaveMUVXfileAs"))
                  ->toolTip()
                  .contains(key));
}

// The cycle's headline is centred over the picture at both pixel ratios.
TEST(MultiHeader, CentredAtRatioOneAndTwo) {
  for (const double ratio : {1.0, 2.0}) {
    QImage img(int(600 * ratio), int(80 * ratio), QImage::Format_RGB32);
    img.setDevicePixelRatio(ratio);
    img.fill(Qt::blue);
    drawMultiHeader(img, QFont(), multiHeaderText(DayTime{3661.25, 739000}));
    int left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
      for (int i = 0; i < img.width(); ++i)
        if (img.pixelColor(i, y) != QColor(Qt::blue)) {
          left = std::min(left, i);
          right = std::max(right, i);
        }
    ASSERT_GE(right, 0) << ratio;
    EXPECT_LE(std::abs(left + right - (img.width() - 1)), int(2 * ratio)) << ratio;
  }
}

}  // namespace
}  // namespace tolv::test
