// Scope measurements against synthetic signals whose answers are known in closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "numerics/signalmeasure.h"

namespace tolv {
namespace {

constexpr double kDt = 1e-6;  // 1 MS/s

std::vector<double> sine(std::size_t n, double amp, double offset, double freq, double phase = 0.3) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = offset + amp * std::sin(2 * std::numbers::pi * freq * static_cast<double>(i) * kDt + phase);
  return v;
}

// Square wave of the given period in samples, high for `high` samples of each period.
std::vector<double> square(std::size_t n, int period, int high, double lo, double hi, int shift = 7) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = (static_cast<int>(i + shift) % period) < high ? hi : lo;
  return v;
}

void expectRel(double got, double want, double rel, const char* what) {
  EXPECT_NEAR(got, want, std::abs(want) * rel) << what;
}

TEST(SignalMeasure, SineLevelsAndTimingToATenthOfAPercent) {
  // 131000 samples of a 1234.5 Hz sine: 161.7 periods, not a whole number.
  const auto x = sine(131000, 2.5, 1.0, 1234.5);
  SignalMeasurement m;
  ASSERT_EQ(measureSignal(x, kDt, m), 0);
  EXPECT_EQ(m.count, 131000u);
  expectRel(m.maximum, 3.5, 1e-6, "max");
  expectRel(m.minimum, -1.5, 1e-6, "min");
  expectRel(m.peakToPeak, 5.0, 1e-6, "ptp");
  // The part period at the end moves the mean by at most amplitude / (pi * periods).
  EXPECT_NEAR(m.mean, 1.0, 2.5 / (std::numbers::pi * 161));
  expectRel(m.acRms, 2.5 / std::sqrt(2.0), 1e-3, "ac rms");
  expectRel(m.rms, std::sqrt(1.0 + 2.5 * 2.5 / 2), 1e-3, "rms");
  ASSERT_TRUE(m.frequency.has_value());
  expectRel(*m.frequency, 1234.5, 1e-3, "frequency");
  expectRel(*m.period, 1 / 1234.5, 1e-3, "period");
  expectRel(*m.dutyCycle, 0.5, 1e-3, "duty");
  EXPECT_EQ(m.risingEdges, 161);
}

TEST(SignalMeasure, SquareWaveDutyCycleAndFrequency) {
  // 25 % duty: 1000-sample period (1 kHz), high for 250 samples, between -2 V and 1 V.
  const auto x = square(131000, 1000, 250, -2.0, 1.0);
  SignalMeasurement m;
  ASSERT_EQ(measureSignal(x, kDt, m), 0);
  EXPECT_DOUBLE_EQ(m.peakToPeak, 3.0);
  expectRel(*m.dutyCycle, 0.25, 1e-3, "duty");
  expectRel(*m.frequency, 1000.0, 1e-4, "frequency");
  // Mean and RMS of a 25 % wave: 0.25*1 + 0.75*(-2); sqrt(0.25*1 + 0.75*4).
  expectRel(m.mean, -1.25, 1e-3, "mean");
  expectRel(m.rms, std::sqrt(3.25), 1e-3, "rms");
  expectRel(m.acRms, std::sqrt(3.25 - 1.25 * 1.25), 2e-3, "ac rms");
  // Inverted, the same wave is 75 % high.
  auto inverted = x;
  for (double& v : inverted) v = -v;
  ASSERT_EQ(measureSignal(inverted, kDt, m), 0);
  expectRel(*m.dutyCycle, 0.75, 1e-3, "inverted duty");
}

TEST(SignalMeasure, NoisySineKeepsItsFrequencyThanksToHysteresis) {
  auto x = sine(131000, 1.0, 0.0, 2000.0);
  std::mt19937 gen(42);
  std::uniform_real_distribution<double> noise(-0.08, 0.08);  // +-4 % of peak-to-peak
  for (double& v : x) v += noise(gen);
  SignalMeasurement m;
  ASSERT_EQ(measureSignal(x, kDt, m), 0);
  expectRel(*m.frequency, 2000.0, 1e-3, "frequency");
  EXPECT_EQ(m.risingEdges, 262);
  expectRel(*m.dutyCycle, 0.5, 1e-2, "duty");
  // Without hysteresis the noise around the mid level makes false edges.
  SignalMeasurement raw;
  ASSERT_EQ(measureSignal(x, kDt, raw, 0.0), 0);
  EXPECT_GT(raw.risingEdges, 262);
}

TEST(SignalMeasure, DcAndRecordsWithoutWholePeriodsHaveNoTiming) {
  SignalMeasurement m;
  const std::vector<double> dc(1000, -0.7);
  ASSERT_EQ(measureSignal(dc, kDt, m), 0);
  EXPECT_NEAR(m.mean, -0.7, 1e-12);
  EXPECT_NEAR(m.rms, 0.7, 1e-12);
  EXPECT_NEAR(m.acRms, 0.0, 1e-12);
  EXPECT_EQ(m.peakToPeak, 0.0);
  EXPECT_FALSE(m.frequency.has_value());
  EXPECT_FALSE(m.dutyCycle.has_value());

  // A ramp crosses the mid level once: one rising edge at most, no period.
  std::vector<double> ramp(500);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
  ASSERT_EQ(measureSignal(ramp, kDt, m), 0);
  EXPECT_FALSE(m.period.has_value());
  // One and a half periods of a square wave: two rises are needed, one is there.
  const auto sq = square(1500, 1000, 500, 0, 1, 0);
  ASSERT_EQ(measureSignal(sq, kDt, m), 0);
  EXPECT_FALSE(m.frequency.has_value());

  // A small AC part on a large DC level keeps its RMS (no cancellation).
  auto offset = sine(100000, 1e-3, 1e4, 1000.0);
  ASSERT_EQ(measureSignal(offset, kDt, m), 0);
  expectRel(m.acRms, 1e-3 / std::sqrt(2.0), 1e-3, "ac rms on dc");
}

TEST(SignalMeasure, BadInputAndRanges) {
  SignalMeasurement m;
  m.count = 5;
  EXPECT_EQ(measureSignal({}, kDt, m), kMeasureNoData);
  EXPECT_EQ(m.count, 0u);
  const auto x = square(5000, 1000, 500, 0, 1);
  EXPECT_EQ(measureSignal(x, 0.0, m), kMeasureZeroTime);
  EXPECT_DOUBLE_EQ(m.peakToPeak, 1.0);
  EXPECT_FALSE(m.frequency.has_value());
  const double one = 3.0;
  EXPECT_EQ(measureSignal({&one, 1}, kDt, m), 0);
  EXPECT_EQ(m.rms, 3.0);

  // Zoomed ranges are cut to the record.
  EXPECT_EQ(measureRange(x, 10, 19).size(), 10u);
  EXPECT_EQ(measureRange(x, 10, 19).data(), x.data() + 10);
  EXPECT_EQ(measureRange(x, -50, 4).size(), 5u);
  EXPECT_EQ(measureRange(x, 4990, 9000).size(), 10u);
  EXPECT_TRUE(measureRange(x, 6000, 7000).empty());
  EXPECT_TRUE(measureRange(x, 20, 10).empty());
  EXPECT_TRUE(measureRange({}, 0, 0).empty());
}

}  // namespace
}  // namespace tolv
