#include "device/devtimer.h"

#include <algorithm>

namespace tolv {

TQtTimer::TQtTimer(int ms) {
  timer_.setInterval(ms);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (handler_) handler_();
  });
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

void TManualTimerHub::advance(std::int64_t ms) {
  const std::int64_t end = clock_.nowMs() + ms;
  for (;;) {
    // Fire everything due now before moving on; a zero interval fires once per millisecond.
    for (auto& t : timers_) {
      if (t->active_ && t->dueMs_ <= clock_.nowMs()) {
        t->dueMs_ = clock_.nowMs() + std::max(1, t->interval_);
        if (t->handler_) t->handler_();
      }
    }
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
