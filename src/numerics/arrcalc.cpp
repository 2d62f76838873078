#include "numerics/arrcalc.h"

#include <algorithm>
#include <utility>

namespace tolv {

void TArrCalc::CorrectRange(std::int32_t from, std::int32_t to) {
  from = std::clamp(from, std::int32_t(0), kLastIndex);
  to = std::clamp(to, std::int32_t(0), kLastIndex);
  if (to < from) std::swap(from, to);
  lower_ = from;
  upper_ = to;
}

int TArrCalc::AddConstant(const double* source, double* destination, double x, std::int32_t from,
                          std::int32_t to) {
  CorrectRange(from, to);
  if (!source || !destination) return kMissingArray;
  for (std::int32_t i = lower_; i <= upper_; ++i) destination[i] = source[i] + x;
  return 0;
}

int TArrCalc::MultiplyConstant(const double* source, double* destination, std::int32_t from,
                               std::int32_t to, double x) {
  CorrectRange(from, to);
  if (!source || !destination) return kMissingArray;
  for (std::int32_t i = lower_; i <= upper_; ++i) destination[i] = source[i] * x;
  return 0;
}

}  // namespace tolv
