#include "app/runstats.h"

#include <algorithm>

namespace tolv {

void TRunStats::recordTaken(const QString& serial) {
  ++pending_;
  ++perDevice_[serial];
}

void TRunStats::runStarted() {
  if (running_) {
    ++cycles_;
    records_ += pending_;
  }
  pending_ = 0;
  running_ = true;
}

void TRunStats::cycleDrawn() {
  ++draws_;
}

void TRunStats::tick(std::int64_t nowMs) {
  ++ticks_;
  if (ticking_) {
    std::int64_t& longest = draws_ > 0 ? longestStall_ : startUpStall_;
    longest = std::max(longest, nowMs - lastTick_ - intervalMs_);
  }
  ticking_ = true;
  lastTick_ = nowMs;
}

std::string TRunStats::text(std::int64_t uptimeMs) const {
  std::string s;
  const auto line = [&s](const char* key, long long v) {
    s += key;
    s += ' ';
    s += std::to_string(v);
    s += '\n';
  };
  line("uptime_ms", uptimeMs);
  line("cycles", cycles_);
  line("draws", draws_);
  line("records", static_cast<long long>(records_));
  line("records_pending", static_cast<long long>(pending_));
  line("devices", static_cast<long long>(perDevice_.size()));
  line("stall_max_ms", longestStall_);
  line("stall_startup_max_ms", startUpStall_);
  line("ticks", static_cast<long long>(ticks_));
  if (!culprit_.isEmpty()) s += "stall_event " + culprit_.toStdString() + '\n';
  for (const auto& [serial, n] : perDevice_) {
    s += "device ";
    s += serial.toStdString();
    s += ' ';
    s += std::to_string(n);
    s += '\n';
  }
  return s;
}

}  // namespace tolv
