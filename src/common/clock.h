#pragma once
// One clock for everything that measures time intervals (acquisition ticks, simulated
// devices, debounce), so tests can step time deterministically instead of sleeping.
#include <chrono>
#include <cstdint>

namespace tolv {

class IClock {
 public:
  virtual ~IClock() = default;
  // Milliseconds on a monotonic scale; only differences are meaningful.
  virtual std::int64_t nowMs() const = 0;
  // Microseconds on the same scale, for link-rate arithmetic.
  virtual std::int64_t nowUs() const { return nowMs() * 1000; }
};

class SystemClock final : public IClock {
 public:
  std::int64_t nowMs() const override { return nowUs() / 1000; }
  std::int64_t nowUs() const override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - start_)
        .count();
  }
  static SystemClock& instance() {
    static SystemClock c;
    return c;
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Test clock: time moves only when told to.
class ManualClock final : public IClock {
 public:
  std::int64_t nowMs() const override { return us_ / 1000; }
  std::int64_t nowUs() const override { return us_; }
  void advanceMs(std::int64_t ms) { us_ += ms * 1000; }
  void advanceUs(std::int64_t us) { us_ += us; }
  void setUs(std::int64_t us) { us_ = us; }

 private:
  std::int64_t us_ = 0;
};

}  // namespace tolv
