#pragma once
// What a simulated device measures: a physical signal at one of its inputs, in volts over the
// seconds of the device's clock. The signal does not depend on the device's settings, so a
// program that converts with a stale range, offset, probe factor or sample time sees it.
#include <cstdint>
#include <vector>

namespace tolv {

class TSimulatedSignal {
 public:
  enum class Shape { Dc, Sine, Square, Ramp, Step, Table };

  // A constant level.
  static TSimulatedSignal dc(double volts);
  // dc + amplitude * sin(2 pi f t + phase).
  static TSimulatedSignal sine(double amplitude, double frequencyHz, double dc = 0,
                               double phase = 0);
  // `high` during the first half of each period, `low` during the second; a period begins
  // (rising edge) wherever f t + phase / 2 pi is a whole number.
  static TSimulatedSignal square(double low, double high, double frequencyHz, double phase = 0);
  // Sawtooth: from `from` at startS rising (or falling) linearly to `to` within periodS, then
  // back to `from`; before startS it repeats the same way.
  static TSimulatedSignal ramp(double from, double to, double periodS, double startS = 0);
  // `before` until atS, `after` from atS on.
  static TSimulatedSignal step(double before, double after, double atS);
  // A waveform table, each value held for intervalS, repeated; value 0 begins at startS.
  static TSimulatedSignal table(std::vector<double> volts, double intervalS, double startS = 0);

  // Adds noise of this RMS (volts); the same seed and time always give the same noise.
  TSimulatedSignal& withNoise(double rmsVolts, std::uint32_t seed = 1);

  // Volts at time t (seconds of the device clock).
  double at(double t) const;
  // True when the value never changes (a level without noise), so nothing can cross it.
  bool constant() const;

  Shape shape() const { return shape_; }
  double noiseRms() const { return noise_; }

 private:
  Shape shape_ = Shape::Dc;
  double a_ = 0;  // dc level, low level, ramp start, level before the step
  double b_ = 0;  // sine amplitude, high level, ramp end, level after the step
  double f_ = 0;  // frequency (Hz) or, for ramps and tables, the interval (s)
  double phase_ = 0;
  double t0_ = 0;  // start of a ramp or table, time of a step
  std::vector<double> table_;
  double noise_ = 0;
  std::uint32_t seed_ = 1;
};

}  // namespace tolv
