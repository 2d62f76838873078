#pragma once
// Top-level windows that repaint, and window jobs that lay out and redraw, one per pass of the
// event loop. A multi-device run starts and ends every device's run in one handler; each device
// window greys or frees its controls (and, on its first records, fits its pictures), and Qt does
// all of it in one batch of posted events: with eight windows the program answered nothing
// (input, device links, timers) for half a second at every cycle. Here the first window
// repaints at once and the rest follows one per pass, with everything else served in between.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>

#include "device/devtimer.h"

namespace tolv {

class TRepaintPacer : public QObject {
  Q_OBJECT
 public:
  // The timer ends a pass: started at 0 ms, it fires once the batch in hand has been handled.
  explicit TRepaintPacer(std::unique_ptr<ITimer> passTimer, QObject* parent = nullptr);
  ~TRepaintPacer() override;
  // Paces the repaints of this top-level window from now on (until it is destroyed).
  void add(QWidget* window);
  // Runs job in a later pass of its own (the owner gone by then, it is dropped). The caller
  // keeps a job from being queued twice. Jobs still held when the pacer goes run in a later
  // pass of the event loop all the same.
  void queue(QObject* owner, std::function<void()> job);
  // Repaints and jobs waiting for a later pass.
  std::size_t heldBack() const { return held_.size(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void passEnded();
  std::unique_ptr<ITimer> timer_;
  struct Held {
    QPointer<QObject> owner;
    std::function<void()> job;  // empty: the owner's repaint
  };
  std::deque<Held> held_;
  bool paintedThisPass_ = false;
  QObject* releasing_ = nullptr;
};

}  // namespace tolv
