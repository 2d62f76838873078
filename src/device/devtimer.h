#pragma once
// Timers of a device window behind a small interface, so the acquisition cycle runs on QTimers
// in the window and on hand-stepped timers in tests.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/clock.h"

namespace tolv {

class ITimer {
 public:
  virtual ~ITimer() = default;
  // Sets the interval and (re)starts counting from now.
  virtual void start(int ms) = 0;
  // (Re)starts counting from now with the current interval.
  virtual void start() = 0;
  virtual void stop() = 0;
  virtual bool isActive() const = 0;
  virtual int interval() const = 0;
  // Changes the interval; a running timer starts counting anew, as a changed interval always does.
  virtual void setInterval(int ms) = 0;
  // The handler called on each expiry (the timer keeps running until stopped).
  virtual void setHandler(std::function<void()> h) = 0;

  // Enabling a timer that already runs changes nothing.
  void enable() {
    if (!isActive()) start();
  }
  // An integer tag, as the start-up stages keep on their timer.
  int tag = -1;
};

// QTimer-backed timer for the window. The QTimer is a member and has no parent, so it lives and
// dies with this object only.
class TQtTimer final : public ITimer {
 public:
  explicit TQtTimer(int ms = 0);
  void start(int ms) override { timer_.start(ms); }
  void start() override { timer_.start(); }
  void stop() override { timer_.stop(); }
  bool isActive() const override { return timer_.isActive(); }
  int interval() const override { return timer_.interval(); }
  void setInterval(int ms) override { timer_.setInterval(ms); }
  void setHandler(std::function<void()> h) override { handler_ = std::move(h); }
  QTimer& qtimer() { return timer_; }

 private:
  QTimer timer_;
  std::function<void()> handler_;
};

class TManualTimerHub;

// Timer driven by a ManualClock through its hub; fires only when the hub advances time.
class TManualTimer final : public ITimer {
 public:
  void start(int ms) override;
  void start() override;
  void stop() override { active_ = false; }
  bool isActive() const override { return active_; }
  int interval() const override { return interval_; }
  void setInterval(int ms) override;
  void setHandler(std::function<void()> h) override { handler_ = std::move(h); }
  std::int64_t dueMs() const { return dueMs_; }

 private:
  friend class TManualTimerHub;
  TManualTimer(TManualTimerHub& hub, int ms) : hub_(hub), interval_(ms) {}
  TManualTimerHub& hub_;
  int interval_ = 0;
  bool active_ = false;
  std::int64_t dueMs_ = 0;
  std::function<void()> handler_;
};

// Owns manual timers and fires them in due order while it moves its clock forward.
class TManualTimerHub {
 public:
  explicit TManualTimerHub(ManualClock& clock) : clock_(clock) {}
  TManualTimer& create(int ms);
  ManualClock& clock() { return clock_; }
  // Moves time forward by ms, firing every timer that falls due on the way (in due order;
  // timers due at the same moment fire in creation order). Extra work each time the clock moves
  // (a simulated device, for example) goes into the step hook.
  void advance(std::int64_t ms);
  // Advances until pred() holds or maxMs have passed; true when pred() held.
  bool advanceUntil(const std::function<bool()>& pred, std::int64_t maxMs, std::int64_t stepMs = 1);
  void setStepHook(std::function<void()> h) { stepHook_ = std::move(h); }

 private:
  ManualClock& clock_;
  std::vector<std::unique_ptr<TManualTimer>> timers_;
  std::function<void()> stepHook_;
};

}  // namespace tolv
