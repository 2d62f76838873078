#include "numerics/stddev.h"

#include <cmath>

namespace tolv {

void TStdDev::Add(double x) {
  last_ = x;
  ++count_;
  sum_ += x;
  mean_ = sum_ / count_;
  sumSq_ += x * x;
  hasData_ = 1;
  if (count_ == 1) {
    min_ = max_ = x;
  } else {
    if (x < min_) min_ = x;
    if (x > max_) max_ = x;
  }
}

bool TStdDev::Compute() {
  if (count_ < 2) return false;
  const double n = count_;
  mean_ = sum_ / n;
  // The abs guards against a tiny negative d from cancellation when all values are equal.
  const double d = sumSq_ - sum_ * mean_;
  popDev_ = std::sqrt(std::fabs(d / n));
  sampleDev_ = std::sqrt(std::fabs(d / (n - 1)));
  return true;
}

int TStdDev::ComputeChecked() {
  if (count_ == 0) return kStatNoValues;
  if (count_ == 1) return kStatOneValue;
  Compute();
  return count_ == 2 ? kStatTwoValues : 0;
}

bool TStdDev::LowerBound(double k, double& value) {
  if (!Compute()) return false;
  value = mean_ - k * popDev_;
  return true;
}

bool TStdDev::UpperBound(double k, double& value) {
  if (!Compute()) return false;
  value = mean_ + k * popDev_;
  return true;
}

}  // namespace tolv
