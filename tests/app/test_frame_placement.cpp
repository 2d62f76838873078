// Device windows start just below the main frame, measured with the title bar and borders the
// window manager adds once the frame is shown.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <cstdlib>

#include "frame_fixture.h"

using namespace tolv;
using tolv::testing::FrameTest;

namespace {

// Lets the window system frame the shown windows: at once offscreen, some milliseconds under
// a real window manager (none at all under some: then the wait ends after two seconds).
void waitUntilFramed(QWidget& w) {
  QElapsedTimer clock;
  clock.start();
  while (w.frameGeometry().height() == w.height() && clock.elapsed() < 2000) {
    QCoreApplication::processEvents();
    QThread::msleep(10);
  }
  QCoreApplication::processEvents();
}

}  // namespace

TEST_F(FrameTest, DeviceWindowsFollowTheFramedHeightOfTheFrame) {
  driver_ = std::make_unique<TSimulatedDriver>(3, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  const int unframed = f.frameGeometry().height();
  // Stands in for a place restored from a file or chosen by the user before the frame shows.
  window(2)->move(500, 400);
  f.show();
  waitUntilFramed(f);
  const int h = f.frameGeometry().height();
  ASSERT_GT(h, unframed) << "the window system adds no frame; nothing to follow";
  const QPoint first = onScreen(QPoint(0, h), window(0));
  EXPECT_EQ(window(0)->pos(), first);
  EXPECT_EQ(window(1)->pos(), onScreen(QPoint(30, 30 + h), window(1)));
  // Not put back in line (a window manager may shift it by its frame, so no exact place).
  EXPECT_GT(window(2)->pos().x(), 400);
  if (first.y() == h) {  // the window fits below the frame
    EXPECT_GE(window(0)->frameGeometry().top(), f.frameGeometry().bottom() - 2);
  }
  // Once the frame is framed the start is over: resizing it moves nobody.
  f.resize(f.width(), f.height() + 40);
  QCoreApplication::processEvents();
  EXPECT_EQ(window(0)->pos(), first);
  f.close();
}

TEST_F(FrameTest, DeviceWindowsStayOnceTheBootSequenceStarted) {
  driver_ = std::make_unique<TSimulatedDriver>(1, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  const QPoint start = window(0)->pos();
  f.TM_BootTimer();  // first boot step: the start is over
  f.show();
  waitUntilFramed(f);
  EXPECT_EQ(window(0)->pos(), start);
  f.close();
}

// The whole screen with the frame and two device windows, for a look under a real window
// manager (QT_QPA_PLATFORM=xcb); only when TOLV_WINDOW_SHOT_DIR is set.
TEST_F(FrameTest, PlacementScreenshot) {
  const char* out = std::getenv("TOLV_WINDOW_SHOT_DIR");
  if (!out) GTEST_SKIP() << "TOLV_WINDOW_SHOT_DIR not set";
  driver_ = std::make_unique<TSimulatedDriver>(2, clock_);
  TF_MultiTolvanexFrame& f = makeFrame();
  f.show();
  waitUntilFramed(f);
  QThread::msleep(300);
  QCoreApplication::processEvents();
  EXPECT_EQ(window(0)->pos(), QPoint(0, f.frameGeometry().height()));
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_TRUE(screen);
  EXPECT_TRUE(screen->grabWindow(0).save(QString::fromLocal8Bit(out) +
                                         QStringLiteral("/frame_placement.png")));
  f.close();
}
