#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "numerics/arrcalc.h"
#include "numerics/stddev.h"

using namespace tolv;

TEST(StdDev, ThreeValues) {
  TStdDev s;
  for (double x : {1.0, 3.0, 2.0}) s.Add(x);
  EXPECT_EQ(s.ComputeChecked(), 0);
  EXPECT_DOUBLE_EQ(s.Mean(), 2.0);
  EXPECT_DOUBLE_EQ(s.PopulationDeviation(), std::sqrt(2.0 / 3.0));
  EXPECT_DOUBLE_EQ(s.SampleDeviation(), 1.0);
  EXPECT_EQ(s.Minimum(), 1.0);
  EXPECT_EQ(s.Maximum(), 3.0);
  EXPECT_EQ(s.Last(), 2.0);
  double lo = 0, hi = 0;
  ASSERT_TRUE(s.LowerBound(3.0, lo));
  ASSERT_TRUE(s.UpperBound(3.0, hi));
  EXPECT_DOUBLE_EQ(lo, 2.0 - 3.0 * std::sqrt(2.0 / 3.0));
  EXPECT_DOUBLE_EQ(hi, 2.0 + 3.0 * std::sqrt(2.0 / 3.0));
}

TEST(StdDev, FewValuesGiveTheirCodes) {
  TStdDev s;
  EXPECT_EQ(s.ComputeChecked(), kStatNoValues);
  EXPECT_FALSE(s.HasData());
  s.Add(-4.5);
  EXPECT_FALSE(s.Compute());
  EXPECT_EQ(s.ComputeChecked(), kStatOneValue);
  EXPECT_EQ(s.Minimum(), -4.5);
  EXPECT_EQ(s.Maximum(), -4.5);
  double v = 99;
  EXPECT_FALSE(s.LowerBound(1, v));
  EXPECT_EQ(v, 99);
  s.Reset();
  s.Add(5);
  s.Add(5);
  EXPECT_EQ(s.ComputeChecked(), kStatTwoValues);
  EXPECT_EQ(s.PopulationDeviation(), 0.0);
  EXPECT_EQ(s.SampleDeviation(), 0.0);
}

TEST(StdDev, EqualLargeValuesDoNotGiveNaN) {
  // Cancellation in sum of squares - sum * mean can go slightly negative.
  TStdDev s;
  for (int i = 0; i < 1000; ++i) s.Add(1e8 + 0.1);
  EXPECT_EQ(s.ComputeChecked(), 0);
  EXPECT_FALSE(std::isnan(s.PopulationDeviation()));
  EXPECT_FALSE(std::isnan(s.SampleDeviation()));
}

TEST(ArrCalc, RangeIsOrderedAndClamped) {
  std::vector<double> a(TArrCalc::kArraySize, 1.0);
  TArrCalc c;
  EXPECT_EQ(c.LowerIndex(), 0);
  EXPECT_EQ(c.UpperIndex(), 131000);
  EXPECT_EQ(c.AddConstant(a.data(), a.data(), 2.0, 10, 5), 0);
  EXPECT_EQ(c.LowerIndex(), 5);
  EXPECT_EQ(c.UpperIndex(), 10);
  EXPECT_EQ(a[4], 1.0);
  EXPECT_EQ(a[5], 3.0);
  EXPECT_EQ(a[10], 3.0);
  EXPECT_EQ(a[11], 1.0);
  // Indexes beyond the array are clamped: no write past its end (ASan would catch one).
  EXPECT_EQ(c.MultiplyConstant(a.data(), a.data(), -7, 200000, 4.0), 0);
  EXPECT_EQ(c.LowerIndex(), 0);
  EXPECT_EQ(c.UpperIndex(), 131000);
  EXPECT_EQ(a[0], 4.0);
  EXPECT_EQ(a[131000], 4.0);
}

TEST(ArrCalc, SeparateDestination) {
  std::vector<double> src(TArrCalc::kArraySize, 2.0), dst(TArrCalc::kArraySize, 0.0);
  TArrCalc c;
  c.MultiplyConstant(src.data(), dst.data(), 3, 3, 0.5);
  EXPECT_EQ(dst[3], 1.0);
  EXPECT_EQ(dst[2], 0.0);
  EXPECT_EQ(src[3], 2.0);
  EXPECT_EQ(c.AddConstant(nullptr, dst.data(), 1.0, 0, 5), TArrCalc::kMissingArray);
}
