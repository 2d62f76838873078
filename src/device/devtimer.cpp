#include "device/devtimer.h"

#include <algorithm>
#include <cmath>

namespace tolv {

TDayClock::TDayClock(const IClock& clock, const DayTime& anchor)
    : clock_(clock), anchor_(anchor), anchorUs_(clock.nowUs()) {}

TDayClock::TDayClock(const IClock& clock) : clock_(clock) {
  const DayTime today = dayTimeNow();
  anchor_ = DayTime{0.0, today.day};
  anchorUs_ = 0;
}

DayTime TDayClock::at(std::int64_t us) const {
  if (followSystem_) {
    const std::int64_t nowUs = clock_.nowUs();
    const DayTime wall = dayTimeNow();
    if (std::abs(dtDiffSeconds(dtAddSeconds(anchor_, double(nowUs - anchorUs_) * 1e-6), wall)) >
        0.5) {
      anchor_ = wall;
      anchorUs_ = nowUs;
    }
  }
  return dtAddSeconds(anchor_, double(us - anchorUs_) * 1e-6);
}

const TDayClock& TDayClock::system() {
  static TDayClock c = [] {
    TDayClock d(SystemClock::instance(), dayTimeNow());
    d.followSystem_ = true;
    return d;
  }();
  return c;
}

TQtTimer::TQtTimer(int ms) {
  timer_.setInterval(ms);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (handler_) handler_();
  });
}

const IClock& TManualTimer::clock() const {
  return hub_.clock();
}

void TManualTimer::start(int ms) {
  interval_ = ms < 0 ? 0 : ms;
  start();
}

void TManualTimer::start() {
  active_ = true;
  dueMs_ = hub_.clock().nowMs() + interval_;
}

void TManualTimer::setInterval(int ms) {
  interval_ = ms < 0 ? 0 : ms;
  if (active_) start();
}

TManualTimer& TManualTimerHub::create(int ms) {
  timers_.push_back(std::unique_ptr<TManualTimer>(new TManualTimer(*this, ms)));
  return *timers_.back();
}

void TManualTimerHub::fireDue() {
  // Everything due now fires before time moves on; a zero interval fires once per millisecond.
  // By index: a handler may create timers, and nested calls see each timer's new due time.
  for (std::size_t i = 0; i < timers_.size(); ++i) {
    TManualTimer& t = *timers_[i];
    if (t.active_ && t.dueMs_ <= clock_.nowMs()) {
      t.dueMs_ = clock_.nowMs() + std::max(1, t.interval_);
      if (t.handler_) t.handler_();
    }
  }
}

void TManualTimerHub::advance(std::int64_t ms) {
  const std::int64_t end = clock_.nowMs() + ms;
  for (;;) {
    fireDue();
    std::int64_t next = end;
    for (auto& t : timers_) {
      if (t->active_ && t->dueMs_ < next) next = t->dueMs_;
    }
    if (next <= clock_.nowMs()) next = clock_.nowMs() + 1;
    if (next > end) break;
    clock_.advanceMs(next - clock_.nowMs());
    if (stepHook_) stepHook_();
  }
  if (clock_.nowMs() < end) {
    clock_.advanceMs(end - clock_.nowMs());
    if (stepHook_) stepHook_();
  }
}

bool TManualTimerHub::advanceUntil(const std::function<bool()>& pred, std::int64_t maxMs,
                                   std::int64_t stepMs) {
  for (std::int64_t t = 0; t < maxMs; t += stepMs) {
    if (pred()) return true;
    advance(stepMs);
  }
  return pred();
}

}  // namespace tolv
