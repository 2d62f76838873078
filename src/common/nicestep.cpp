#include "common/nicestep.h"

#include <array>
#include <cmath>

namespace tolv {

namespace {

constexpr std::array<double, 41> kTimeSteps = {
    2.0,           5.0,           10.0,          15.0,           30.0,          60.0,
    120.0,         300.0,         600.0,         900.0,          1800.0,        3600.0,
    7200.0,        14400.0,       21600.0,       43200.0,        86400.0,       604800.0,
    1209600.0,     2419200.0,     4838400.0,     7257600.0,      8640000.0,     9072000.0,
    15120000.0,    17280000.0,    31536000.0,    63072000.0,     94608000.0,    126230400.0,
    189216000.0,   315532800.0,   788918400.0,   1577664000.0,   3155673600.0,  6311347200.0,
    15778368000.0, 31556736000.0, 63113472000.0, 157783680000.0, 315567360000.0};

// pow rather than repeated multiplication, so 1e-k does not drift in the last bit.
double pow10(int k) {
  return std::pow(10.0, double(k));
}

double withSign(double magnitude, double x) {
  return x < 0 ? -magnitude : magnitude;
}

}  // namespace

double decadeFloor(double x) {
  const double a = std::fabs(x);
  if (a == 0.0 || std::isnan(a)) return 0.0;
  for (int k = 38; k >= -38; --k) {
    const double p = pow10(k);
    if (p <= a) return withSign(p, x);
  }
  return withSign(pow10(-38), x);
}

double decadeCeil(double x) {
  const double a = std::fabs(x);
  if (a == 0.0 || std::isnan(a)) return 0.0;
  for (int k = -38; k <= 38; ++k) {
    const double p = pow10(k);
    if (p >= a) return withSign(p, x);
  }
  return withSign(pow10(38), x);
}

double niceStepUp(double x) {
  const double a = 1.05 * std::fabs(x);
  const double d = decadeFloor(a);
  for (double f : {2.0, 5.0, 10.0}) {
    if (f * d > a) return withSign(f * d, x);
  }
  return withSign(20.0 * d, x);
}

double niceStepDown(double x) {
  const double a = 0.9 * std::fabs(x);
  const double c = decadeCeil(a);
  for (double f : {1.0, 0.5, 0.2, 0.1}) {
    if (f * c < a) return withSign(f * c, x);
  }
  return withSign(0.05 * c, x);
}

int niceTimeStepCount() {
  return int(kTimeSteps.size());
}

double niceTimeStepEntry(int i) {
  if (i < 1 || i > niceTimeStepCount()) return 0.0;
  return kTimeSteps[std::size_t(i - 1)];
}

double niceTimeStep(double seconds) {
  const double a = std::fabs(seconds);
  if (!(a >= 2.0)) return niceStepUp(seconds);
  // Entries are 1-based; look for the last of entries 2..40 that is <= a.
  int last = 0;
  for (int i = 2; i <= 40; ++i) {
    if (niceTimeStepEntry(i) <= a) last = i;
  }
  const double step = last == 0 ? niceTimeStepEntry(1) : niceTimeStepEntry(last + 1);
  return withSign(step, seconds);
}

double roundToStep(double v, double step) {
  if (step == 0.0) {
    if (v == 0.0) return 1.0;
    step = niceStepDown(1.01 * v);
  }
  return std::nearbyint(v / step) * step;
}

double roundSecondsToStep(double s, double step) {
  if (step == 0.0) {
    if (s == 0.0) return 1.0;
    step = niceTimeStep(1.01 * s);
  }
  return std::nearbyint(s / step) * step;
}

double snapToDecadeStep(double period) {
  for (int k = -5; k <= 0; ++k) {
    const double d = std::pow(10.0, double(k));
    if (period > 0.8 * d && period < 1.2 * d) return d;
    if (period > 1.8 * d && period < 2.2 * d) return 2.0 * d;
    if (period > 4.8 * d && period < 5.5 * d) return 5.0 * d;
  }
  return period;
}

}  // namespace tolv
