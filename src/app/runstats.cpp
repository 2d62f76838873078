#include "app/runstats.h"

#include <algorithm>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tolv {

#if defined(__SANITIZE_ADDRESS__)
#define TOLV_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TOLV_OWN_ALLOCATOR 1
#endif
#endif

std::int64_t heapInUseBytes() {
  // Under the address sanitizer blocks come from its allocator, which the C library's count
  // does not see.
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33)) && \
    !defined(TOLV_OWN_ALLOCATOR)
  const struct mallinfo2 m = mallinfo2();
  return std::int64_t(m.uordblks + m.hblkhd);
#else
  return -1;
#endif
}

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
    const std::int64_t late = nowMs - lastTick_ - intervalMs_;
    std::int64_t& longest = draws_ > 0 ? longestStall_ : startUpStall_;
    longest = std::max(longest, late);
    if (draws_ > 0 && late >= 50) ++over50_;
    if (draws_ > 0 && late >= 100) ++over100_;
  }
  ticking_ = true;
  lastTick_ = nowMs;
}

void TRunStats::heapSample(std::int64_t bytes) {
  if (bytes >= 0 && (heapFloor_ < 0 || bytes < heapFloor_)) heapFloor_ = bytes;
}

std::int64_t TRunStats::takeHeapFloor() {
  return std::exchange(heapFloor_, -1);
}

void TRunStats::noteGap(std::int64_t atMs, std::int64_t gapMs, const QString& what) {
  if (draws_ == 0) return;
  if (gaps_.size() == kGapsKept && gapMs <= gaps_.back().ms) return;
  const auto at = std::find_if(gaps_.begin(), gaps_.end(),
                               [gapMs](const Gap& g) { return g.ms < gapMs; });
  gaps_.insert(at, Gap{atMs, gapMs, what});
  if (gaps_.size() > kGapsKept) gaps_.pop_back();
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
  line("stalls_over_50ms", static_cast<long long>(over50_));
  line("stalls_over_100ms", static_cast<long long>(over100_));
  if (!gaps_.empty()) s += "stall_event " + gaps_.front().what.toStdString() + '\n';
  for (const Gap& g : gaps_) {
    s += "gap " + std::to_string(g.atMs) + ' ' + std::to_string(g.ms) + ' ' +
         g.what.toStdString() + '\n';
  }
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
