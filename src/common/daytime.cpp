#include "common/daytime.h"

#include <QDateTime>
#include <cmath>
#include <cstring>

namespace tolv {

namespace {
// Julian day number of 0001-01-01 minus one, so that day 1 is that date.
constexpr std::int64_t kJulianOffset = 1721425;
}  // namespace

void encodeExtended80(double value, std::uint8_t* out10) {
  std::memset(out10, 0, 10);
  if (value == 0.0) {
    if (std::signbit(value)) out10[9] = 0x80;
    return;
  }
  std::uint16_t sign = std::signbit(value) ? 0x8000 : 0;
  std::uint16_t exp = 0;
  std::uint64_t mant = 0;
  if (std::isnan(value)) {
    exp = 0x7FFF;
    mant = 0xC000000000000000ULL;
  } else if (std::isinf(value)) {
    exp = 0x7FFF;
    mant = 0x8000000000000000ULL;
  } else {
    int e = 0;
    double m = std::frexp(std::fabs(value), &e);  // m in [0.5, 1)
    // m * 2^64 fits exactly: a double has 53 significant bits.
    mant = static_cast<std::uint64_t>(std::ldexp(m, 64));
    exp = static_cast<std::uint16_t>(e - 1 + 16383);
  }
  for (int i = 0; i < 8; ++i) out10[i] = static_cast<std::uint8_t>(mant >> (8 * i));
  std::uint16_t se = sign | exp;
  out10[8] = static_cast<std::uint8_t>(se & 0xFF);
  out10[9] = static_cast<std::uint8_t>(se >> 8);
}

double decodeExtended80(const std::uint8_t* in10) {
  std::uint64_t mant = 0;
  for (int i = 0; i < 8; ++i) mant |= std::uint64_t(in10[i]) << (8 * i);
  std::uint16_t se = std::uint16_t(in10[8]) | (std::uint16_t(in10[9]) << 8);
  bool neg = (se & 0x8000) != 0;
  int exp = se & 0x7FFF;
  double v;
  if (exp == 0x7FFF) {
    v = (mant << 1) == 0 ? INFINITY : NAN;
  } else if (exp == 0 && mant == 0) {
    v = 0.0;
  } else {
    // Denormals use exponent 1 - bias; normals carry the integer bit in the mantissa.
    int e = (exp == 0 ? 1 : exp) - 16383 - 63;
    v = std::ldexp(static_cast<double>(mant), e);
  }
  return neg ? -v : v;
}

DayTime DayTime::normalised() const { return dtNormalise(*this); }

DayTime DayTime::fromTotalSeconds(double total) { return dtFromSeconds(total); }

std::array<std::uint8_t, 16> DayTime::toBytes() const {
  std::array<std::uint8_t, 16> b{};
  encodeExtended80(seconds, b.data());
  std::uint32_t d = static_cast<std::uint32_t>(day);
  for (int i = 0; i < 4; ++i) b[12 + i] = static_cast<std::uint8_t>(d >> (8 * i));
  return b;
}

DayTime DayTime::fromBytes(const std::uint8_t* p) {
  DayTime t;
  t.seconds = decodeExtended80(p);
  std::uint32_t d = 0;
  for (int i = 0; i < 4; ++i) d |= std::uint32_t(p[12 + i]) << (8 * i);
  t.day = static_cast<std::int32_t>(d);
  return t;
}

DayTime dtNormalise(const DayTime& t) {
  DayTime r = t;
  if (!std::isfinite(r.seconds)) return r;
  double whole = std::floor(r.seconds / DayTime::kSecondsPerDay);
  if (std::fabs(whole) >= 2147483648.0) {
    // Seconds from a damaged file or reply: beyond any day the stamp can hold. The day wraps
    // as the 32-bit day does and the seconds keep their place in the day, without a
    // conversion that overflows.
    const double days = std::fmod(whole, 4294967296.0);
    r.day = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.day) +
                                      static_cast<std::uint32_t>(static_cast<std::int64_t>(days)));
    r.seconds = std::fmod(r.seconds, DayTime::kSecondsPerDay);
    if (r.seconds < 0) r.seconds += DayTime::kSecondsPerDay;
  } else if (whole != 0.0) {
    r.day = static_cast<std::int32_t>(r.day + static_cast<std::int64_t>(whole));
    r.seconds -= whole * DayTime::kSecondsPerDay;
  }
  // Rounding can leave exactly one day's worth of seconds.
  if (r.seconds >= DayTime::kSecondsPerDay) {
    r.seconds -= DayTime::kSecondsPerDay;
    ++r.day;
  }
  if (r.seconds < 0) r.seconds = 0;
  return r;
}

DayTime dtAdd(const DayTime& a, const DayTime& b) {
  return dtNormalise(DayTime{a.seconds + b.seconds, a.day + b.day});
}

double dtDiffSeconds(const DayTime& a, const DayTime& b) {
  return double(std::int64_t(a.day) - b.day) * DayTime::kSecondsPerDay + (a.seconds - b.seconds);
}

DayTime dtDiff(const DayTime& a, const DayTime& b) {
  return dtNormalise(DayTime{a.seconds - b.seconds, a.day - b.day});
}

DayTime dtAddSeconds(const DayTime& a, double s) {
  return dtNormalise(DayTime{a.seconds + s, a.day});
}

DayTime dtFromSeconds(double total) { return dtNormalise(DayTime{total, 0}); }

double dtTotalSeconds(const DayTime& a) { return a.totalSeconds(); }

int dtRatio(const DayTime& a, const DayTime& b, double& ratio) {
  double tb = b.totalSeconds();
  if (tb == 0.0) return -190;
  ratio = a.totalSeconds() / tb;
  return 0;
}

bool dtLess(const DayTime& a, const DayTime& b) {
  return a.day < b.day || (a.day == b.day && a.seconds < b.seconds);
}

bool dtLessEqual(const DayTime& a, const DayTime& b) { return !dtLess(b, a); }

QDateTime dtToQDateTime(const DayTime& t) {
  DayTime n = dtNormalise(t);
  std::int64_t ms = std::llround(n.seconds * 1000.0);
  std::int64_t day = n.day;
  if (ms >= 86400000) {  // 86399.9996 s rounds up into the next day
    ms -= 86400000;
    ++day;
  }
  // Wall-clock construction, not adding milliseconds to midnight: a DST change that day
  // must not shift the time of day.
  return QDateTime(QDate::fromJulianDay(kJulianOffset + day),
                   QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

DayTime dtFromQDateTime(const QDateTime& dt) {
  DayTime t;
  t.day = static_cast<std::int32_t>(dt.date().toJulianDay() - kJulianOffset);
  t.seconds = dt.time().msecsSinceStartOfDay() / 1000.0;
  return t;
}

DayTime dayTimeNow() { return dtFromQDateTime(QDateTime::currentDateTime()); }

}  // namespace tolv
