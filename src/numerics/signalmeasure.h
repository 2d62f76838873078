#pragma once
// Measurements of one channel of a scope record over a range of samples: extremes, mean, RMS,
// and the timing of the waveform from its mid-level crossings.
#include <cstddef>
#include <optional>
#include <span>

namespace tolv {

inline constexpr int kMeasureNoData = -111;
inline constexpr int kMeasureZeroTime = -190;

struct SignalMeasurement {
  std::size_t count = 0;
  double minimum = 0.0;
  double maximum = 0.0;
  double peakToPeak = 0.0;
  double mean = 0.0;
  double rms = 0.0;
  double acRms = 0.0;  // RMS of the signal less its mean
  // Need at least two rising edges (one whole period); absent otherwise.
  std::optional<double> period;     // seconds, mean over the whole periods in the range
  std::optional<double> frequency;  // Hz
  std::optional<double> dutyCycle;  // high share of those periods, 0..1
  int risingEdges = 0;
};

// Share of the peak-to-peak value by which the signal must pass the mid level, up and down, to
// count as a crossing; noise smaller than twice this does not make false edges.
inline constexpr double kDefaultHysteresis = 0.1;

// Measures samples taken sampleTime seconds apart. Returns 0; -111 for no samples; -190 for a
// sample time that is not positive (the levels are still measured, the timing is not).
int measureSignal(std::span<const double> samples, double sampleTime, SignalMeasurement& out,
                  double hysteresis = kDefaultHysteresis);

// The samples first..last (inclusive) of a record of size samples, cut to the record; empty when
// the range lies outside it. For measuring the zoomed part of a record.
std::span<const double> measureRange(std::span<const double> record, std::ptrdiff_t first,
                                     std::ptrdiff_t last);

}  // namespace tolv
