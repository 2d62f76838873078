// SIGTERM's path once the program runs, driven in-process: a modal box that is up (an error
// at start, a question of a device window) is closed, and the frame closes from the outer
// event loop after the box's own loop has returned.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <functional>

#include "app/signalbridge.h"
#include "app/termination.h"

namespace {

class CountingFrame : public QWidget {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* e) override {
    ++closes;
    QWidget::closeEvent(e);
  }
};

bool spinUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return done();
}

}  // namespace

TEST(Termination, ClosesTheBoxThatIsUpThenTheFrameFromTheOuterLoop) {
  CountingFrame frame;
  frame.show();
  bool boxReturned = false;
  int boxResult = -1;
  bool frameShownWhenBoxReturned = false;
  QTimer::singleShot(0, &frame, [&] {
    QTimer::singleShot(30, &frame, [&] { tolv::endInOrder(&frame); });
    QMessageBox box(QMessageBox::Critical, "Error", "GetFTDeviceCount - General IO Error...",
                    QMessageBox::Ok, &frame);
    boxResult = box.exec();
    boxReturned = true;
    frameShownWhenBoxReturned = frame.isVisible();
  });
  ASSERT_TRUE(spinUntil([&] { return boxReturned && frame.closes > 0; }, 5000))
      << "the box or the frame stayed open";
  EXPECT_NE(boxResult, QMessageBox::Ok);
  EXPECT_TRUE(frameShownWhenBoxReturned) << "the frame closed inside the box's loop";
  EXPECT_FALSE(frame.isVisible());
  EXPECT_EQ(frame.closes, 1);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(Termination, NestedBoxesAllCloseAndWithoutAFrameTheLoopQuits) {
  int returned = 0;
  QTimer::singleShot(0, qApp, [&] {
    QTimer::singleShot(0, qApp, [&] {
      QTimer::singleShot(30, qApp, [] { tolv::endInOrder(nullptr); });
      QMessageBox inner(QMessageBox::Question, "", "Save?", QMessageBox::Yes | QMessageBox::No);
      inner.exec();
      ++returned;
    });
    QMessageBox outer(QMessageBox::Warning, "", "Range?", QMessageBox::Yes | QMessageBox::No);
    outer.exec();
    ++returned;
  });
  // A guard ends the loop with another code if the quit never comes.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(7); });
  guard.start(5000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_EQ(returned, 2);
}

// From the program's first moment a closed pipe is a write error its writer reports (EPIPE),
// not the end of the window process with its runs and files.
TEST(Termination, AClosedPipeDoesNotEndTheProgram) {
  struct sigaction was[3] = {};
  const int sigs[3] = {SIGPIPE, SIGTERM, SIGINT};
  for (int i = 0; i < 3; ++i) ::sigaction(sigs[i], nullptr, &was[i]);
  ::signal(SIGPIPE, SIG_DFL);
  tolv::TSignalBridge::catchEarly();
  struct sigaction now = {};
  ::sigaction(SIGPIPE, nullptr, &now);
  for (int i = 0; i < 3; ++i) ::sigaction(sigs[i], &was[i], nullptr);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
}
