#include "numerics/signalmeasure.h"

#include <algorithm>
#include <cmath>

namespace tolv {

namespace {

// Levels in one pass. Four independent accumulators let the compiler keep the loop in vector
// registers; a whole record takes a fraction of a millisecond.
void levels(std::span<const double> x, SignalMeasurement& out) {
  const std::size_t n = x.size();
  double mn[4] = {x[0], x[0], x[0], x[0]};
  double mx[4] = {x[0], x[0], x[0], x[0]};
  double s[4] = {0, 0, 0, 0};
  double q[4] = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    for (int k = 0; k < 4; ++k) {
      const double v = x[i + k];
      mn[k] = v < mn[k] ? v : mn[k];
      mx[k] = v > mx[k] ? v : mx[k];
      s[k] += v;
      q[k] += v * v;
    }
  }
  for (; i < n; ++i) {
    const double v = x[i];
    mn[0] = v < mn[0] ? v : mn[0];
    mx[0] = v > mx[0] ? v : mx[0];
    s[0] += v;
    q[0] += v * v;
  }
  out.minimum = std::min({mn[0], mn[1], mn[2], mn[3]});
  out.maximum = std::max({mx[0], mx[1], mx[2], mx[3]});
  out.peakToPeak = out.maximum - out.minimum;
  const double dn = static_cast<double>(n);
  out.mean = (s[0] + s[1] + s[2] + s[3]) / dn;
  out.rms = std::sqrt((q[0] + q[1] + q[2] + q[3]) / dn);
}

// Sum of squares about the mean: exact for a small AC part on a large DC level, where the
// difference of the mean square and the squared mean would cancel.
double acRms(std::span<const double> x, double mean) {
  double q[4] = {0, 0, 0, 0};
  std::size_t i = 0;
  const std::size_t n = x.size();
  for (; i + 4 <= n; i += 4)
    for (int k = 0; k < 4; ++k) {
      const double d = x[i + k] - mean;
      q[k] += d * d;
    }
  for (; i < n; ++i) q[0] += (x[i] - mean) * (x[i] - mean);
  return std::sqrt((q[0] + q[1] + q[2] + q[3]) / static_cast<double>(n));
}

// Edges found with hysteresis: the signal is high after passing mid + h, low after passing
// mid - h; an edge is dated at its last crossing of the mid level (interpolated between samples)
// before it passed the far threshold, so noise around the mid level does not move it much.
void timing(std::span<const double> x, double sampleTime, double hysteresis,
            SignalMeasurement& out) {
  if (!(out.peakToPeak > 0.0) || !std::isfinite(out.peakToPeak)) return;
  const double mid = out.minimum + out.peakToPeak / 2;
  const double h = std::clamp(hysteresis, 0.0, 0.49) * out.peakToPeak;
  const double hi = mid + h;
  const double lo = mid - h;
  enum class State { Unknown, Low, High } state = State::Unknown;
  double lastUp = -1.0;    // sample position of the last upward mid crossing
  double lastDown = -1.0;  // ... downward
  double firstRise = -1.0, lastRise = -1.0;
  double fallAfterRise = -1.0;  // first falling edge after the latest rising edge
  double highTime = 0.0;        // high time within completed periods
  int rises = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double v = x[i];
    if (i > 0) {
      const double p = x[i - 1];
      if (p < mid && v >= mid) lastUp = static_cast<double>(i - 1) + (mid - p) / (v - p);
      if (p >= mid && v < mid) lastDown = static_cast<double>(i - 1) + (p - mid) / (p - v);
    }
    if (v >= hi && state != State::High) {
      if (state == State::Low && lastUp >= 0.0) {
        if (rises > 0 && fallAfterRise >= 0.0) highTime += fallAfterRise - lastRise;
        if (rises == 0) firstRise = lastUp;
        lastRise = lastUp;
        fallAfterRise = -1.0;
        ++rises;
      }
      state = State::High;
    } else if (v <= lo && state != State::Low) {
      if (state == State::High && rises > 0 && lastDown >= 0.0) fallAfterRise = lastDown;
      state = State::Low;
    }
  }
  out.risingEdges = rises;
  if (rises < 2 || sampleTime <= 0.0) return;
  const double span = lastRise - firstRise;
  if (!(span > 0.0)) return;
  const double period = span / (rises - 1) * sampleTime;
  out.period = period;
  out.frequency = 1.0 / period;
  out.dutyCycle = std::clamp(highTime / span, 0.0, 1.0);
}

}  // namespace

int measureSignal(std::span<const double> samples, double sampleTime, SignalMeasurement& out,
                  double hysteresis) {
  out = SignalMeasurement{};
  if (samples.empty()) return kMeasureNoData;
  out.count = samples.size();
  levels(samples, out);
  out.acRms = acRms(samples, out.mean);
  timing(samples, sampleTime, hysteresis, out);
  return sampleTime > 0.0 ? 0 : kMeasureZeroTime;
}

std::span<const double> measureRange(std::span<const double> record, std::ptrdiff_t first,
                                     std::ptrdiff_t last) {
  const auto size = static_cast<std::ptrdiff_t>(record.size());
  first = std::max<std::ptrdiff_t>(first, 0);
  last = std::min<std::ptrdiff_t>(last, size - 1);
  if (first > last) return {};
  return record.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1));
}

}  // namespace tolv
