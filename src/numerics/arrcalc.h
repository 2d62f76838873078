#pragma once
// Offsetting and scaling index ranges of the published sample arrays, in place or into
// another array.
#include <cstdint>

namespace tolv {

class TArrCalc {
 public:
  static constexpr std::int32_t kLastIndex = 131000;  // arrays hold kLastIndex + 1 doubles
  static constexpr std::int32_t kArraySize = kLastIndex + 1;
  static constexpr int kMissingArray = -1001;  // a null source or destination

  // destination[i] = source[i] + x for i in [from, to]; returns 0 (-1001 for a null array).
  int AddConstant(const double* source, double* destination, double x, std::int32_t from,
                  std::int32_t to);
  // destination[i] = source[i] * x for i in [from, to]; returns 0.
  int MultiplyConstant(const double* source, double* destination, std::int32_t from,
                       std::int32_t to, double x);

  std::int32_t LowerIndex() const { return lower_; }
  std::int32_t UpperIndex() const { return upper_; }

 private:
  // Clamps both indexes into the arrays and orders them; stores the result as the last range.
  void CorrectRange(std::int32_t from, std::int32_t to);

  std::int32_t lower_ = 0;
  std::int32_t upper_ = kLastIndex;
};

}  // namespace tolv
