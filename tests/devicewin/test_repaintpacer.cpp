// Device windows repaint one per pass of the event loop, so a cycle that greys every window
// does not hold everything else up until all of them have painted.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>

#include "common/clock.h"
#include "device/devtimer.h"
#include "devicewin/repaintpacer.h"

namespace tolv {
namespace {

class Counted : public QWidget {
 public:
  Counted() { resize(120, 80); }
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override { ++paints; }
};

// The pacer's pass timer is a manual one; processing posted events is one batch of the loop.
struct Rig {
  ManualClock clock;
  TManualTimerHub hub{clock};
  std::unique_ptr<TRepaintPacer> pacer;
  std::unique_ptr<Counted> w[3];
  Rig() {
    for (auto& p : w) {
      p = std::make_unique<Counted>();
      p->show();
    }
    settle();
    pacer = std::make_unique<TRepaintPacer>(std::make_unique<Forward>(hub.create(0)));
    for (auto& p : w) {
      pacer->add(p.get());
      p->paints = 0;
    }
  }
  // Lets the posted events of one pass through (the windows' repaint requests among them).
  static void batch() { QCoreApplication::sendPostedEvents(); }
  void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }
  void endPass() { hub.fireDue(); }
  // The hub owns its timers; the pacer gets a forwarding handle.
  class Forward final : public ITimer {
   public:
    explicit Forward(TManualTimer& t) : t_(t) {}
    void start(int ms) override { t_.start(ms); }
    void start() override { t_.start(); }
    void stop() override { t_.stop(); }
    bool isActive() const override { return t_.isActive(); }
    int interval() const override { return t_.interval(); }
    void setInterval(int ms) override { t_.setInterval(ms); }
    void setHandler(std::function<void()> h) override { t_.setHandler(std::move(h)); }

   private:
    TManualTimer& t_;
  };
};

TEST(RepaintPacer, WindowsAskingInOneBatchPaintOnePerPass) {
  Rig r;
  for (auto& p : r.w) p->update();
  Rig::batch();
  EXPECT_EQ(r.w[0]->paints, 1);
  EXPECT_EQ(r.w[1]->paints, 0);
  EXPECT_EQ(r.w[2]->paints, 0);
  EXPECT_EQ(r.pacer->heldBack(), 2u);
  // A window held back that asks again is not queued twice.
  r.w[1]->update();
  Rig::batch();
  EXPECT_EQ(r.pacer->heldBack(), 2u);

  r.endPass();
  EXPECT_EQ(r.w[1]->paints, 1);
  EXPECT_EQ(r.w[2]->paints, 0);
  r.endPass();
  EXPECT_EQ(r.w[2]->paints, 1);
  EXPECT_EQ(r.pacer->heldBack(), 0u);
  r.endPass();

  // With the turn over, the next window to ask paints at once again.
  r.w[2]->update();
  Rig::batch();
  EXPECT_EQ(r.w[2]->paints, 2);
  EXPECT_EQ(r.w[0]->paints, 1);
}

TEST(RepaintPacer, JobsTakeAPassOfTheirOwnInTurnWithRepaintsAndGoWithTheirOwner) {
  Rig r;
  int fitted = 0;
  auto owner = std::make_unique<QObject>();
  r.pacer->queue(owner.get(), [&fitted] { ++fitted; });
  EXPECT_EQ(fitted, 0);  // never inside the handler that asked
  r.w[0]->update();
  r.w[1]->update();
  Rig::batch();
  EXPECT_EQ(r.w[0]->paints, 1);
  r.endPass();  // the job came first
  EXPECT_EQ(fitted, 1);
  EXPECT_EQ(r.w[1]->paints, 0);
  r.endPass();
  EXPECT_EQ(r.w[1]->paints, 1);

  r.pacer->queue(owner.get(), [&fitted] { ++fitted; });
  owner.reset();
  r.endPass();
  EXPECT_EQ(fitted, 1);
  EXPECT_EQ(r.pacer->heldBack(), 0u);
}

TEST(RepaintPacer, AWindowGoneWhileHeldBackIsPassedOverAndHeldOnesPaintWhenThePacerGoes) {
  Rig r;
  for (auto& p : r.w) p->update();
  Rig::batch();
  ASSERT_EQ(r.pacer->heldBack(), 2u);
  r.w[1].reset();
  r.endPass();
  EXPECT_EQ(r.w[2]->paints, 1);

  r.endPass();
  r.w[0]->update();
  r.w[2]->update();
  Rig::batch();
  ASSERT_EQ(r.pacer->heldBack(), 1u);
  // Jobs held back when the pacer goes run later all the same (an owner that waits for its job
  // would wait for good otherwise); the job of an owner gone by then is dropped.
  int fitted = 0, dropped = 0;
  QObject owner;
  auto gone = std::make_unique<QObject>();
  r.pacer->queue(&owner, [&fitted] { ++fitted; });
  r.pacer->queue(gone.get(), [&dropped] { ++dropped; });
  r.pacer.reset();  // the frame closing: nothing stays unpainted
  EXPECT_EQ(fitted, 0);  // never inside the destructor
  gone.reset();
  r.settle();
  EXPECT_EQ(r.w[2]->paints, 2);
  EXPECT_EQ(fitted, 1);
  EXPECT_EQ(dropped, 0);
}

}  // namespace
}  // namespace tolv
