#include "ftdi/simulated_input.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace tolv {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;

double frac(double x) {
  return x - std::floor(x);
}

std::uint32_t mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ull;
  x ^= x >> 33;
  return std::uint32_t(x);
}

// Noise as a function of time (10 ns cells), roughly Gaussian with unit RMS: the sum of four
// uniform values has variance 4/12.
double noiseAt(double t, std::uint32_t seed) {
  const auto cell = std::uint64_t(std::llround(t * 1e8));
  double sum = 0;
  for (std::uint64_t i = 0; i < 4; ++i) {
    sum += double(mix(cell * 4 + i + (std::uint64_t(seed) << 40))) / 4294967296.0 - 0.5;
  }
  return sum * std::sqrt(3.0);
}
}  // namespace

TSimulatedSignal TSimulatedSignal::dc(double volts) {
  TSimulatedSignal s;
  s.shape_ = Shape::Dc;
  s.a_ = volts;
  return s;
}

TSimulatedSignal TSimulatedSignal::sine(double amplitude, double frequencyHz, double dc,
                                        double phase) {
  TSimulatedSignal s;
  s.shape_ = Shape::Sine;
  s.a_ = dc;
  s.b_ = amplitude;
  s.f_ = frequencyHz;
  s.phase_ = phase;
  return s;
}

TSimulatedSignal TSimulatedSignal::square(double low, double high, double frequencyHz,
                                          double phase) {
  TSimulatedSignal s;
  s.shape_ = Shape::Square;
  s.a_ = low;
  s.b_ = high;
  s.f_ = frequencyHz;
  s.phase_ = phase;
  return s;
}

TSimulatedSignal TSimulatedSignal::ramp(double from, double to, double periodS, double startS) {
  TSimulatedSignal s;
  s.shape_ = Shape::Ramp;
  s.a_ = from;
  s.b_ = to;
  s.f_ = periodS;
  s.t0_ = startS;
  return s;
}

TSimulatedSignal TSimulatedSignal::step(double before, double after, double atS) {
  TSimulatedSignal s;
  s.shape_ = Shape::Step;
  s.a_ = before;
  s.b_ = after;
  s.t0_ = atS;
  return s;
}

TSimulatedSignal TSimulatedSignal::table(std::vector<double> volts, double intervalS,
                                         double startS) {
  TSimulatedSignal s;
  s.shape_ = Shape::Table;
  s.table_ = std::move(volts);
  s.f_ = intervalS;
  s.t0_ = startS;
  return s;
}

TSimulatedSignal& TSimulatedSignal::withNoise(double rmsVolts, std::uint32_t seed) {
  noise_ = std::isfinite(rmsVolts) && rmsVolts > 0 ? rmsVolts : 0;
  seed_ = seed;
  return *this;
}

bool TSimulatedSignal::constant() const {
  if (noise_ > 0) return false;
  switch (shape_) {
    case Shape::Dc:
      return true;
    case Shape::Sine:
      return b_ == 0 || f_ == 0;
    case Shape::Square:
    case Shape::Ramp:
    case Shape::Step:
      return a_ == b_;
    case Shape::Table:
      return table_.size() <= 1;
  }
  return true;
}

double TSimulatedSignal::at(double t) const {
  double v = 0;
  switch (shape_) {
    case Shape::Dc:
      v = a_;
      break;
    case Shape::Sine:
      // The phase is reduced to one period first, so long run times keep full precision.
      v = a_ + b_ * std::sin(kTwoPi * frac(f_ * t) + phase_);
      break;
    case Shape::Square:
      v = frac(f_ * t + phase_ / kTwoPi) < 0.5 ? b_ : a_;
      break;
    case Shape::Ramp:
      v = f_ > 0 ? a_ + (b_ - a_) * frac((t - t0_) / f_) : a_;
      break;
    case Shape::Step:
      v = t < t0_ ? a_ : b_;
      break;
    case Shape::Table:
      if (table_.empty()) break;
      if (f_ > 0) {
        const double n = double(table_.size());
        const double i = std::floor((t - t0_) / f_);
        if (!std::isfinite(i)) break;
        v = table_[std::size_t(std::clamp(i - n * std::floor(i / n), 0.0, n - 1))];
      } else {
        v = table_.front();
      }
      break;
  }
  if (noise_ > 0) v += noise_ * noiseAt(t, seed_);
  return v;
}

}  // namespace tolv
