// Plot navigation in the device window: the wheel and the middle button on the images (sent
// as real events), and every keyboard command reaching its action.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <cmath>

#include "devicewin/panel_plotmode.h"
#include "plot/sampleseries.h"
#include "devicewin/plotshortcuts.h"
#include "support/zoom_keys.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "sim_window_fixture.h"

using namespace tolv;

namespace {

void sendWheel(QWidget* w, QPoint pos, int delta, Qt::KeyboardModifiers mods = {}) {
  QWheelEvent e(QPointF(pos), QPointF(w->mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                Qt::NoButton, mods, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

void sendMiddle(QWidget* w, QPoint pos, Qt::KeyboardModifiers mods = {}) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), QPointF(w->mapToGlobal(pos)),
                    Qt::MiddleButton, Qt::MiddleButton, mods);
  QApplication::sendEvent(w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), QPointF(w->mapToGlobal(pos)),
                      Qt::MiddleButton, Qt::NoButton, mods);
  QApplication::sendEvent(w, &release);
}

class NavWindow : public test::SimWindowTest {
 protected:
  TPlotSheets& sheets() { return w_->plots().sheets(); }
  // A scope record of 1000 samples, 1 ms apart: ch0 = i / 100 V, ch1 = -i / 50 V.
  void plotKnownScope() {
    c0_.resize(1000);
    c1_.resize(1000);
    for (int i = 0; i < 1000; ++i) {
      c0_[std::size_t(i)] = i / 100.0;
      c1_[std::size_t(i)] = -i / 50.0;
    }
    SettingsRecord r = SettingsRecord::defaults();
    r.memoryDepth = 1000;
    r.sampleTime = 0.001;
    r.triggerPoint = 0;
    PlotChoice pc;
    pc.autoScale[0] = pc.autoScale[1] = true;
    sheets().bringToFront(PlotSheet::Scope);
    settle();
    ASSERT_EQ(sheets().plotScope(c0_.data(), c1_.data(), 1000, r, pc), 0);
  }
  // The window lays itself out for the sheet in front (the plot-mode group joins the bar, the
  // settings column widens to the device's values) before a picture is drawn and clicked.
  static void settle() {
    for (int pass = 0; pass < 4; ++pass) QApplication::processEvents();
  }
  QAction* action(PlotCommand c) { return w_->shortcuts()->action(c); }
  // Presses the first key sequence of the command in the active window.
  void press(PlotCommand c) {
    const QKeySequence k = TPlotShortcuts::keys(c).value(0);
    QTest::keySequence(w_.get(), k);
    QApplication::processEvents();
  }
  std::vector<double> c0_, c1_;
};

TEST_F(NavWindow, WheelOverTheScopeImageZoomsAroundThePointerPansAndZoomsY) {
  plotKnownScope();
  QLabel* im = sheets().image(PlotSheet::Scope);
  TGenD2ImgKernel& k = sheets().scopeKernel();
  const TGenD2DataSet& s = *k.Get(0);
  const PlotRect pa = k.PlotArea();
  const QPoint at(pa.left + 173, (pa.top + pa.bottom) / 2);
  const WorldValue w = s.xTransform.toWorld(at.x());
  const double span0 = s.mergedX->maximum.toNumber() - s.mergedX->minimum.toNumber();
  sendWheel(im, at, 120);
  EXPECT_EQ(k.Get(0)->xTransform.toPixel(w), at.x());
  EXPECT_NEAR(s.mergedX->maximum.toNumber() - s.mergedX->minimum.toNumber(), span0 * 0.8,
              span0 * 1e-9);
  sendWheel(im, at, -240);
  EXPECT_EQ(k.Get(0)->xTransform.toPixel(w), at.x());
  // Shift: the view moves, its span stays.
  const double min1 = s.mergedX->minimum.toNumber();
  const double span1 = s.mergedX->maximum.toNumber() - min1;
  sendWheel(im, at, -120, Qt::ShiftModifier);
  EXPECT_NEAR(s.mergedX->minimum.toNumber(), min1 + 0.1 * span1, span1 * 1e-9);
  // Ctrl: the Y axis under the pointer's row.
  const WorldValue wy = s.yTransform.toWorld(at.y());
  const double ySpan = s.mergedY->maximum.toNumber() - s.mergedY->minimum.toNumber();
  sendWheel(im, at, 120, Qt::ControlModifier);
  EXPECT_EQ(k.Get(0)->yTransform.toPixel(wy), at.y());
  EXPECT_NEAR(s.mergedY->maximum.toNumber() - s.mergedY->minimum.toNumber(), ySpan * 0.8,
              ySpan * 1e-9);
  // The unzoom rule gives the full view back.
  sheets().mouseDown(PlotSheet::Scope, Qt::RightButton, Qt::RightButton, {}, at.x(), at.y());
  sheets().mouseDown(PlotSheet::Scope, Qt::LeftButton, Qt::LeftButton | Qt::RightButton, {},
                     at.x(), at.y());
  sheets().mouseUp(PlotSheet::Scope, Qt::LeftButton, Qt::RightButton, {}, at.x(), at.y());
  EXPECT_DOUBLE_EQ(s.mergedX->maximum.toNumber() - s.mergedX->minimum.toNumber(), span0);
  // The picture on the image is the kernel's, with the headline.
  EXPECT_FALSE(im->pixmap().isNull());
}

TEST_F(NavWindow, MiddleClicksSetTwoCursorsAndTheReadOutShowsTheirDistance) {
  plotKnownScope();
  QLabel* im = sheets().image(PlotSheet::Scope);
  TGenD2ImgKernel& k = sheets().scopeKernel();
  const AxisTransform& tx = k.Get(0)->xTransform;
  // Samples 100 and 350 (time of sample i: i ms, the trigger at 0), halfway down the plot.
  ASSERT_TRUE(k.Get(0)->series);
  const WorldValue ta = k.Get(0)->series->XOf(100), tb = k.Get(0)->series->XOf(350);
  const int y = (k.PlotArea().top + k.PlotArea().bottom) / 2;
  sendMiddle(im, QPoint(tx.toPixel(ta), y));
  sendMiddle(im, QPoint(tx.toPixel(tb), y));
  const TCursorReadOut r = k.CursorReadOut();
  ASSERT_TRUE(r.complete());
  // Each cursor sits on the sample under the pixel clicked: the one aimed at, or its neighbour
  // where the picture has fewer pixels than samples.
  const auto sampleAt = [&](int which) {
    return std::size_t(std::lround(k.CursorX(which).toNumber() * 1000.0));
  };
  const std::size_t ia = sampleAt(0), ib = sampleAt(1);
  EXPECT_NEAR(double(ia), 100.0, 1.0);
  EXPECT_NEAR(double(ib), 350.0, 1.0);
  EXPECT_EQ(r.dt, wvSub(k.CursorX(1), k.CursorX(0)).toNumber());
  EXPECT_NEAR(r.dt, double(ib - ia) * 1e-3, 1e-12);
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(r.channels[0].dy, c0_[ib] - c0_[ia]);
  EXPECT_EQ(r.channels[1].dy, c1_[ib] - c1_[ia]);
  TF_D2Koord* koord = sheets().coordinateWindow();
  EXPECT_TRUE(koord->IsShown());
  QTableWidget* g = koord->SG_Measurement();
  ASSERT_GE(koord->RowCount(), 6);
  const QString hz = g->item(3, 1)->text();  // 1 / dt
  ASSERT_TRUE(hz.endsWith(QStringLiteral("Hz"))) << hz.toStdString();
  EXPECT_NEAR(hz.chopped(2).trimmed().toDouble(), 1.0 / r.dt, 1e-3 / r.dt) << hz.toStdString();
  // A release of the middle button measures nothing and keeps the cursors on the picture.
  EXPECT_TRUE(k.HasCursor(1));
  // Ctrl+middle removes both and hides the read-out.
  sendMiddle(im, QPoint(tx.toPixel(ta), y), Qt::ControlModifier);
  EXPECT_FALSE(k.HasCursor(0));
  EXPECT_FALSE(koord->IsShown());
}

TEST_F(NavWindow, TimingDiagramTakesTheWheelAndTheCursors) {
  TLogAnalList own;
  for (int i = 0; i < 3000; ++i) own.add(i, std::uint16_t(i));
  sheets().attachLists(own, own);
  SettingsRecord r = SettingsRecord::defaults();
  r.memoryDepth = 3000;
  r.triggerPoint = 10;
  r.sampleTime = 1e-6;
  sheets().bringToFront(PlotSheet::Logic);
  settle();
  ASSERT_EQ(sheets().plotLogic(r), 0);
  TLogAnalPlot& p = sheets().logicPlot();
  QLabel* im = sheets().image(PlotSheet::Logic);
  const int x = p.plotArea().left() + 211;
  const double t = (x - p.plotArea().left()) / p.pixelsPerSecond() + p.startTime();
  const double span = p.endTime() - p.startTime();
  sendWheel(im, QPoint(x, 100), 360);
  EXPECT_EQ(p.pixelOfTime(t), x);
  EXPECT_LT(p.endTime() - p.startTime(), span * 0.6);
  // Ctrl+wheel has no Y axis to zoom here: nothing changes.
  const TLogAnalView v = p.getView();
  sendWheel(im, QPoint(x, 100), 120, Qt::ControlModifier);
  EXPECT_EQ(p.getView(), v);
  sendMiddle(im, QPoint(p.plotArea().left() + 50, 100));
  sendMiddle(im, QPoint(p.plotArea().left() + 450, 100));
  const TCursorReadOut ro = p.cursorReadOut();
  ASSERT_TRUE(ro.complete());
  EXPECT_EQ(ro.dt, (p.cursorIndex(1) - p.cursorIndex(0)) * p.getView().period);
  EXPECT_GT(ro.dt, 0.0);
  EXPECT_TRUE(sheets().coordinateWindow()->IsShown());
  // The full view by key.
  sheets().unzoom(PlotSheet::Logic);
  EXPECT_EQ(p.getView(), p.savedView());
  sheets().attachLists(w_->plots().data().logicList(), w_->plots().data().ioLoggerList());
}

// Every command's first key reaches its action, which does what the button does.
TEST_F(NavWindow, EveryShortcutTriggersItsAction) {
  w_->activateWindow();
  QApplication::setActiveWindow(w_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get()));
  plotKnownScope();
  for (int i = 0; i < kPlotCommandCount; ++i) {
    QAction* a = action(PlotCommand(i));
    ASSERT_NE(a, nullptr) << i;
    EXPECT_FALSE(a->shortcut().isEmpty()) << i;
    EXPECT_FALSE(a->text().isEmpty()) << i;
  }
  std::vector<int> fired(kPlotCommandCount, 0);
  for (int i = 0; i < kPlotCommandCount; ++i)
    QObject::connect(action(PlotCommand(i)), &QAction::triggered, [&fired, i] { ++fired[std::size_t(i)]; });

  TOneTolvanexRunPanel* rp = w_->runPanel();
  QSignalSpy runs(rp, &TOneTolvanexRunPanel::runClicked);
  QSignalSpy breaks(rp, &TOneTolvanexRunPanel::breakClicked);
  press(PlotCommand::StartStop);
  EXPECT_EQ(runs.count(), 1);
  hub_.advance(50);
  QApplication::processEvents();
  ASSERT_FALSE(rp->breakButton()->isHidden());
  press(PlotCommand::StartStop);
  EXPECT_EQ(breaks.count(), 1);
  hub_.advance(3000);
  ASSERT_TRUE(rp->breakButton()->isHidden());
  rp->singleShotBox()->setChecked(false);
  press(PlotCommand::Single);
  EXPECT_TRUE(rp->singleShotBox()->isChecked());
  EXPECT_EQ(runs.count(), 2);
  hub_.advance(3000);
  plotKnownScope();

  int pictureAsked = 0;
  sheets().setPictureNameDialog([&](QWidget*, const QString&) {
    ++pictureAsked;
    return std::filesystem::path();
  });
  press(PlotCommand::Save);
  EXPECT_EQ(pictureAsked, 1);

  QApplication::clipboard()->clear();
  press(PlotCommand::CopyPicture);
  EXPECT_FALSE(QApplication::clipboard()->image().isNull());

  int printAsked = 0;
  sheets().setPrintDialogRunner([&](QPrinter&, QWidget*) {
    ++printAsked;
    return false;
  });
  press(PlotCommand::Print);
  EXPECT_EQ(printAsked, 1);

  test::expectZoomKeys(sheets().scopeKernel(), [this](PlotCommand c) { press(c); });

  QTabWidget* pc = w_->pageControl();
  const int before = pc->currentIndex();
  press(PlotCommand::NextSheet);
  EXPECT_NE(pc->currentIndex(), before);
  press(PlotCommand::PreviousSheet);
  EXPECT_EQ(pc->currentIndex(), before);

  for (int i = 0; i < kPlotCommandCount; ++i) EXPECT_GE(fired[std::size_t(i)], 1) << i;
}

TEST_F(NavWindow, ToolTipsShowTheKeysOnceInBothLanguages) {
  QToolButton* print = w_->plots().toolButtons().printButton();
  const QString key = TPlotShortcuts::keys(PlotCommand::Print).value(0).toString(QKeySequence::NativeText);
  EXPECT_TRUE(print->toolTip().endsWith(QStringLiteral("(") + key + QStringLiteral(")")))
      << print->toolTip().toStdString();
  setLanguageIndex(kLanguageGerman);
  w_->applyTexts();
  w_->applyTexts();
  EXPECT_EQ(print->toolTip().count(key), 1);
  EXPECT_EQ(action(PlotCommand::NextSheet)->text(), QStringLiteral("Nächstes Blatt"));
  const QString run = w_->runPanel()->runButton()->toolTip();
  EXPECT_TRUE(run.contains(QStringLiteral("Einzelmessung: F6"))) << run.toStdString();
  EXPECT_TRUE(sheets().image(PlotSheet::Scope)->toolTip().contains(QStringLiteral("Mausrad")));
  setLanguageIndex(kLanguageEnglish);
  w_->applyTexts();
  EXPECT_EQ(action(PlotCommand::NextSheet)->text(), QStringLiteral("Next sheet"));
  EXPECT_TRUE(sheets().image(PlotSheet::Logic)->toolTip().contains(QStringLiteral("Mouse wheel")));
}

}  // namespace
