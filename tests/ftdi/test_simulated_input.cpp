#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "ftdi/simulated_device.h"
#include "ftdi/simulated_input.h"

namespace tolv {
namespace {

using S = TSimulatedSignal;

TEST(SimulatedSignal, ShapesAtTheirCharacteristicTimes) {
  const S sine = S::sine(2.0, 1000.0, 0.5);
  EXPECT_DOUBLE_EQ(sine.at(0), 0.5);
  EXPECT_NEAR(sine.at(0.00025), 2.5, 1e-12);
  EXPECT_NEAR(sine.at(0.00075), -1.5, 1e-12);
  // Hours into a run the phase is still exact.
  EXPECT_NEAR(S::sine(1.0, 1000.0).at(3600.00025), 1.0, 1e-9);
  EXPECT_NEAR(S::sine(1.0, 1000.0, 0, std::numbers::pi / 2).at(0), 1.0, 1e-12);

  const S square = S::square(-2.0, 1.0, 250.0);
  EXPECT_EQ(square.at(0), 1.0);
  EXPECT_EQ(square.at(0.001999), 1.0);
  EXPECT_EQ(square.at(0.002001), -2.0);
  EXPECT_EQ(square.at(0.003999), -2.0);
  EXPECT_EQ(square.at(0.004001), 1.0);
  // A quarter period of phase moves the edges a quarter period earlier.
  EXPECT_EQ(S::square(0, 5, 250.0, std::numbers::pi / 2).at(0.001001), 0.0);

  const S ramp = S::ramp(1.0, 3.0, 0.002, 0.5);
  EXPECT_DOUBLE_EQ(ramp.at(0.5), 1.0);
  EXPECT_NEAR(ramp.at(0.501), 2.0, 1e-9);
  EXPECT_NEAR(ramp.at(0.5019), 2.9, 1e-9);
  EXPECT_NEAR(ramp.at(0.502), 1.0, 1e-9);    // back to the start
  EXPECT_NEAR(ramp.at(0.4995), 2.5, 1e-9);   // repeats before its start as well
  EXPECT_NEAR(S::ramp(3.0, -1.0, 1.0).at(0.25), 2.0, 1e-12);  // falling

  const S step = S::step(-1.0, 4.0, 2.5);
  EXPECT_EQ(step.at(2.4999999), -1.0);
  EXPECT_EQ(step.at(2.5), 4.0);

  const S table = S::table({1.0, 2.0, 3.0}, 0.001);
  EXPECT_EQ(table.at(0.0005), 1.0);
  EXPECT_EQ(table.at(0.0015), 2.0);
  EXPECT_EQ(table.at(0.0035), 1.0);   // repeated
  EXPECT_EQ(table.at(-0.0005), 3.0);  // and backwards
  EXPECT_EQ(S::table({}, 0.001).at(1.0), 0.0);
  EXPECT_EQ(S::table({7.0, 8.0}, 0).at(1.0), 7.0);
  EXPECT_EQ(S::table({7.0, 8.0}, 0.001).at(std::nan("")), 0.0);
}

TEST(SimulatedSignal, NoiseIsRepeatableWithItsRms) {
  S noisy = S::dc(1.0);
  noisy.withNoise(0.1, 7);
  S other = S::dc(1.0);
  other.withNoise(0.1, 8);
  double sum = 0, sq = 0;
  int differ = 0;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    const double t = i * 1e-6;
    const double v = noisy.at(t) - 1.0;
    EXPECT_EQ(noisy.at(t), noisy.at(t));
    differ += other.at(t) != noisy.at(t);
    sum += v;
    sq += v * v;
  }
  EXPECT_NEAR(sum / n, 0.0, 0.005);
  EXPECT_NEAR(std::sqrt(sq / n), 0.1, 0.005);
  EXPECT_GT(differ, n - 10);  // another seed is other noise
  EXPECT_FALSE(noisy.constant());
  EXPECT_TRUE(S::dc(3).constant());
  EXPECT_TRUE(S::sine(0, 1000).constant());
  EXPECT_FALSE(S::sine(1, 1000).constant());
  EXPECT_TRUE(S::square(2, 2, 100).constant());
  EXPECT_FALSE(S::step(0, 1, 5).constant());
  // Nonsense noise is no noise.
  EXPECT_TRUE(S::dc(1).withNoise(std::nan(""), 1).constant());
  EXPECT_TRUE(S::dc(1).withNoise(-1, 1).constant());
}

TEST(SimulatedConverter, RoundsClipsAndCentresAsTheDeviceDoes) {
  using D = TSimulatedDevice;
  EXPECT_EQ(D::rawFromVolts(0.0, 10.0, 0.0), 32768);
  EXPECT_EQ(D::rawFromVolts(3.0, 10.0, 3.0), 32768);  // the offset is the middle
  // 1.234 V in the 5 V range: (0.4936 + 1) x 32768 = 48942.28.
  EXPECT_EQ(D::rawFromVolts(1.234, 5.0, 0.0), 48942);
  EXPECT_EQ(D::rawFromVolts(1.234, 2.0, 1.0), 40436);  // (0.234 + 1) x 32768 = 40435.71
  EXPECT_EQ(D::rawFromVolts(1.234, 0.2, 1.2), 43909);  // (0.34 + 1) x 32768 = 43909.12
  // The ends: +ampl/2 would be 65536, clipped; -ampl/2 is 0; beyond them stays at the ends.
  EXPECT_EQ(D::rawFromVolts(1.0, 2.0, 0.0), 65535);
  EXPECT_EQ(D::rawFromVolts(4.0, 2.0, 0.0), 65535);
  EXPECT_EQ(D::rawFromVolts(-1.0, 2.0, 0.0), 0);
  EXPECT_EQ(D::rawFromVolts(-40.0, 2.0, 0.0), 0);
  // Half a step decides the rounding: 1 step of the 20 V range is 20 / 65536 V.
  EXPECT_EQ(D::rawFromVolts(20.0 / 65536 * 0.49, 20.0, 0.0), 32768);
  EXPECT_EQ(D::rawFromVolts(20.0 / 65536 * 0.51, 20.0, 0.0), 32769);
  // Nonsense never leaves the range.
  EXPECT_EQ(D::rawFromVolts(std::nan(""), 2.0, 0.0), 32768);
  EXPECT_EQ(D::rawFromVolts(INFINITY, 2.0, 0.0), 65535);
  EXPECT_EQ(D::rawFromVolts(1.0, 0.0, 0.0), 32768);
}

TEST(SimulatedConverter, DefaultInputsDifferPerSerialAndFitTheDefaultRange) {
  const S a = TSimulatedDevice::defaultInput("TVS00001", 0);
  const S b = TSimulatedDevice::defaultInput("TVS00002", 0);
  int differ = 0;
  double lo = 1e9, hi = -1e9;
  for (int i = 0; i < 1000; ++i) {
    const double t = i * 1e-5;
    differ += std::abs(a.at(t) - b.at(t)) > 1e-3;
    lo = std::min(lo, a.at(t));
    hi = std::max(hi, a.at(t));
  }
  EXPECT_GT(differ, 900);
  // A sine of a few volts with a DC part, well inside +-5 V.
  EXPECT_GT(hi - lo, 4.0);
  EXPECT_GT(lo + hi, 1.0);
  EXPECT_LT(hi, 5.0);
  EXPECT_GT(lo, -5.0);
  EXPECT_FALSE(TSimulatedDevice::defaultInput("TVS00001", 1).constant());
  EXPECT_FALSE(TSimulatedDevice::defaultExternalInput("TVS00001").constant());
}

}  // namespace
}  // namespace tolv
