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
#include "common/daytime.h"

namespace tolv {

// Day times on the scale of one monotonic clock. An anchor pairs a DayTime with a reading of the
// clock, so stamps taken from the same clock keep their true distances: the system time of day
// has millisecond steps and may jump, which would put a device's record before another's that
// came later. Every device window stamps its records from the same instance.
class TDayClock {
 public:
  // The anchor: the DayTime that the clock's present reading stands for.
  TDayClock(const IClock& clock, const DayTime& anchor);
  // Reading 0 of the clock stands for midnight today: every instance over the same clock gives
  // the same stamps (stepped clocks start at 0).
  explicit TDayClock(const IClock& clock);
  const IClock& clock() const { return clock_; }
  std::int64_t nowUs() const { return clock_.nowUs(); }
  DayTime now() const { return at(clock_.nowUs()); }
  // The DayTime of a reading of the clock (microseconds on its scale).
  DayTime at(std::int64_t us) const;
  // Over the system clock, anchored at first use. It follows the system time of day when that
  // moves away by more than half a second (a clock set by hand, a change of daylight saving).
  static const TDayClock& system();

 private:
  const IClock& clock_;
  mutable DayTime anchor_;
  mutable std::int64_t anchorUs_ = 0;
  bool followSystem_ = false;
};

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
  // The clock the timer counts on.
  virtual const IClock& clock() const { return SystemClock::instance(); }

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
  const IClock& clock() const override;

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
  // Fires the timers due by now without moving the clock, as an event loop does when long work
  // lets events run: a handler that calls it runs other timers' handlers inside its own.
  void fireDue();

 private:
  ManualClock& clock_;
  std::vector<std::unique_ptr<TManualTimer>> timers_;
  std::function<void()> stepHook_;
};

}  // namespace tolv
