#pragma once
// Running mean, extremes and standard deviation of a stream of values.
#include <cstdint>

namespace tolv {

inline constexpr int kStatNoValues = -2223;
inline constexpr int kStatOneValue = -2224;
inline constexpr int kStatTwoValues = -2225;

class TStdDev {
 public:
  TStdDev() = default;
  virtual ~TStdDev() = default;

  void Reset() { *this = TStdDev(); }
  void Add(double x);
  int Count() const { return count_; }
  // False below two values; otherwise updates the mean and both deviations.
  bool Compute();
  // Compute with codes: -2223 no values, -2224 one value, -2225 two values (computed but
  // weakly founded), 0 otherwise.
  int ComputeChecked();
  // mean -+ k * population deviation, when Compute succeeds.
  virtual bool LowerBound(double k, double& value);
  virtual bool UpperBound(double k, double& value);

  double Last() const { return last_; }
  double Mean() const { return mean_; }
  double Minimum() const { return min_; }
  double Maximum() const { return max_; }
  double PopulationDeviation() const { return popDev_; }
  double SampleDeviation() const { return sampleDev_; }
  double Sum() const { return sum_; }
  double SumOfSquares() const { return sumSq_; }
  bool HasData() const { return hasData_ != 0; }

 private:
  double last_ = 0.0;
  std::int32_t count_ = 0;
  double mean_ = 0.0;
  double min_ = 0.0;
  double max_ = 0.0;
  double popDev_ = 0.0;
  double sampleDev_ = 0.0;
  double sum_ = 0.0;
  double sumSq_ = 0.0;
  std::uint8_t hasData_ = 0;
};

}  // namespace tolv
