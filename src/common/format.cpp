#include "common/format.h"

#include <QDate>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/regional.h"

namespace tolv {

namespace {

constexpr std::int64_t kJulianOfDay0 = 1721425;  // day 1 = 0001-01-01

// printf's "%.*f" in the C locale. The C library's printf follows the process locale, which
// the toolkit sets from the user's environment (a German one writes "1,5").
int cFixed(char* out, std::size_t cap, double x, int decimals) {
  if (cap == 0) return -1;
  const auto r = std::to_chars(out, out + cap - 1, x, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) {
    out[0] = 0;
    return -1;
  }
  *r.ptr = 0;
  return int(r.ptr - out);
}

QString fixedC(double x, int decimals) {
  char buf[400];
  const int n = cFixed(buf, sizeof buf, x, decimals < 0 ? 6 : decimals);
  return n < 0 ? QString() : QString::fromLatin1(buf, n);
}

// The stamp split into day, whole seconds of the day and microseconds.
struct SplitStamp {
  std::int64_t day = 0;
  int second = 0;
  int micro = 0;
};

SplitStamp split(const DayTime& t) {
  DayTime n = dtNormalise(t);
  SplitStamp s;
  s.day = n.day;
  double us = std::isfinite(n.seconds) ? std::round(n.seconds * 1e6) : 0.0;
  auto total = static_cast<std::int64_t>(us);
  if (total >= 86400LL * 1000000LL) {
    total -= 86400LL * 1000000LL;
    ++s.day;
  }
  if (total < 0) total = 0;
  s.second = static_cast<int>(total / 1000000);
  s.micro = static_cast<int>(total % 1000000);
  return s;
}

QDate dateOf(const SplitStamp& s) {
  return QDate::fromJulianDay(kJulianOfDay0 + s.day);
}
QTime timeOf(const SplitStamp& s) {
  return QTime(0, 0).addSecs(s.second);
}

QString fractionOf(int micro, int minDigits) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%06d", micro);
  int n = 6;
  while (n > minDigits && buf[n - 1] == '0') --n;
  return QLatin1Char('.') + QString::fromLatin1(buf, n);
}

}  // namespace

// --- Values with units -------------------------------------------------------------------

QString siPrefix(int e3) {
  switch (e3) {
    case -15:
      return QStringLiteral("f");
    case -12:
      return QStringLiteral("p");
    case -9:
      return QStringLiteral("n");
    case -6:
      return QString(QChar(0x00B5));
    case -3:
      return QStringLiteral("m");
    case 3:
      return QStringLiteral("k");
    case 6:
      return QStringLiteral("M");
    case 9:
      return QStringLiteral("G");
    case 12:
      return QStringLiteral("T");
    default:
      return QString();
  }
}

EngParts engParts(double x, int digits) {
  EngParts p;
  if (!std::isfinite(x)) {
    p.finite = false;
    p.mantissa = std::isnan(x) ? QStringLiteral("NaN")
                               : (x < 0 ? QStringLiteral("-INF") : QStringLiteral("INF"));
    return p;
  }
  int d = digits < 3 ? 3 : (digits > 17 ? 17 : digits);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", d - 1, x);
  // buf: [-]D.DDDDe[+-]XX
  const char* e = std::strchr(buf, 'e');
  if (!e) return p;
  int exp10 = std::atoi(e + 1);
  bool neg = buf[0] == '-';
  std::string ds;
  for (const char* c = buf + (neg ? 1 : 0); c < e; ++c)
    if (*c >= '0' && *c <= '9') ds += *c;
  if (x == 0.0) exp10 = 0;
  int e3 = exp10 >= 0 ? exp10 / 3 * 3 : -((-exp10 + 2) / 3 * 3);
  std::size_t intLen = std::size_t(exp10 - e3) + 1;  // 1 .. 3 digits before the point
  while (ds.size() < intLen) ds += '0';
  std::string frac = ds.substr(intLen);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  QString m;
  if (neg && x != 0.0) m += QLatin1Char('-');
  m += QLatin1String(ds.data(), qsizetype(intLen));
  if (!frac.empty()) {
    m += QLatin1Char('.');
    m += QLatin1String(frac.data(), qsizetype(frac.size()));
  }
  p.mantissa = m;
  p.exponent3 = e3;
  return p;
}

QString engText(double x, int digits, const QString& unit, bool blank) {
  EngParts p = engParts(x, digits);
  QString s = p.mantissa;
  QString tail;
  if (p.finite && (p.exponent3 < -15 || p.exponent3 > 12)) {
    s += (p.exponent3 < 0 ? QStringLiteral("E-") : QStringLiteral("E+")) +
         padField(std::abs(p.exponent3));
  } else if (p.finite) {
    tail = siPrefix(p.exponent3);
  }
  if (blank) s += QLatin1Char(' ');
  return s + tail + unit;
}

DurationFields durationFields(double x, int decimals) {
  DurationFields f;
  f.decimals = std::clamp(decimals, 0, 9);
  long long scale = 1;
  for (int i = 0; i < f.decimals; ++i) scale *= 10;
  const long long units = std::llround(std::fabs(x) * double(scale));
  const long long whole = units / scale;
  f.negative = x < 0 && units != 0;
  f.days = whole / 86400;
  f.hours = whole % 86400 / 3600;
  f.minutes = whole % 3600 / 60;
  f.seconds = whole % 60;
  f.fraction = units % scale;
  return f;
}

QString padField(long long v, int width) {
  return QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
}

QString durationText(double x, int digits, const QString& unit) {
  (void)unit;
  double ax = std::fabs(x);
  const DurationFields f = durationFields(x, 0);
  const long long d = f.days, h = f.hours, m = f.minutes, s = f.seconds;
  QString num;
  QString word;
  if (d == 0 && h == 0 && m == 0) {
    num = fixedC(ax, digits - 2 > 0 ? digits - 2 : 0);
    word = QStringLiteral("s");
  } else if (d == 0 && h == 0) {
    if (s == 0) {
      num = QString::number(m);
      word = QStringLiteral("min");
    } else {
      num = padField(m) + QLatin1Char(':') + padField(s);
      word = QStringLiteral("mm:ss");
    }
  } else {
    // From here the hour is the leading field; behind a day count it is always two digits.
    QString hs = d > 0 ? padField(h) : QString::number(h);
    if (m == 0 && s == 0) {
      num = hs;
      word = QStringLiteral("h");
    } else if (s == 0) {
      num = padField(h) + QLatin1Char(':') + padField(m);
      word = QStringLiteral("hh:mm");
    } else {
      num = padField(h) + QLatin1Char(':') + padField(m) + QLatin1Char(':') + padField(s);
      word = QStringLiteral("hh:mm:ss");
    }
    if (d > 0) {
      num = QString::number(d) + QLatin1Char(' ') + num;
      word = QStringLiteral("d ") + word;
    }
  }
  if (x < 0) num = QLatin1Char('-') + num;
  return num + QLatin1Char(' ') + word;
}

QString valueText(double x, int digits, const QString& unit) {
  double ax = std::fabs(x);
  if (unit.startsWith(QLatin1Char('s')) && ax > 60.0 && ax < 2147483647.0)
    return durationText(x, digits, unit);
  if (unit.contains(QLatin1Char('%'))) {
    int dec = ax < 1 ? 4 : ax < 10 ? 3 : ax < 100 ? 2 : 0;
    return fixedC(x, dec) + QLatin1Char(' ') + unit;
  }
  return engText(x, digits, unit, true);
}

// --- Time-stamp texts --------------------------------------------------------------------

QString dateText(const DayTime& t) {
  return dateOf(split(t)).toString(regional().shortDateFormat());
}

QString fractionText(const DayTime& t, int minDigits) {
  return fractionOf(split(t).micro, minDigits);
}

QString timeText(const DayTime& t) {
  SplitStamp s = split(t);
  return timeOf(s).toString(regional().longTimeFormat()) + fractionOf(s.micro, 3);
}

QString dateTimeText(const DayTime& t) {
  SplitStamp s = split(t);
  // This text is read back from file headers: a two-digit year would lose the century.
  return dateOf(s).toString(RegionalSettings::fullYear(regional().shortDateFormat())) +
         QStringLiteral("  ") + timeOf(s).toString(regional().longTimeFormat()) +
         fractionOf(s.micro, 1);
}

QString storedDateTimeText(const DayTime& t) {
  const SplitStamp s = split(t);
  return dateOf(s).toString(QStringLiteral("dd.MM.yyyy")) + QStringLiteral("  ") +
         timeOf(s).toString(QStringLiteral("HH:mm:ss")) + fractionOf(s.micro, 1);
}

QString csvDateText(const DayTime& t) {
  return dateOf(split(t)).toString(QStringLiteral("MM.dd.yyyy"));
}

QString csvMicroTimeText(const DayTime& t) {
  const SplitStamp s = split(t);
  return timeOf(s).toString(QStringLiteral("HH:mm:ss")) + fractionOf(s.micro, 3);
}

QString csvShortDateText(const DayTime& t) {
  return dateOf(split(t)).toString(QStringLiteral("MM.dd.yy"));
}

QString csvTimeText(const DayTime& t) {
  const SplitStamp s = split(t);
  return timeOf(s).toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('.') +
         QStringLiteral("%1").arg(s.micro / 1000, 3, 10, QLatin1Char('0'));
}

QString fileNameStamp(const DayTime& t) {
  SplitStamp s = split(t);
  return dateOf(s).toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('/') +
         timeOf(s).toString(QStringLiteral("HHmmss"));
}

// --- Fast fixed-point numbers ------------------------------------------------------------

namespace {

constexpr std::uint64_t kPow10[] = {1ULL,
                                    10ULL,
                                    100ULL,
                                    1000ULL,
                                    10000ULL,
                                    100000ULL,
                                    1000000ULL,
                                    10000000ULL,
                                    100000000ULL,
                                    1000000000ULL,
                                    10000000000ULL,
                                    100000000000ULL,
                                    1000000000000ULL,
                                    10000000000000ULL,
                                    100000000000000ULL,
                                    1000000000000000ULL};
constexpr double kPow10d[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

int formatSlow(char* out, std::size_t cap, double v, int width, int decimals, char sep) {
  std::vector<char> body(330 + std::size_t(std::max(decimals, 6)));
  const int n = cFixed(body.data(), body.size(), v, decimals < 0 ? 6 : decimals);
  // A negative width pads on the right, as printf's "-" flag does.
  const int w = width < 0 ? -width : width;
  const int total = n < 0 ? -1 : std::max(n, w);
  if (n < 0 || std::size_t(total) + 1 > cap) {
    if (cap > 0) out[0] = 0;
    return -1;
  }
  const std::size_t pad = std::size_t(total - n);
  if (width < 0) {
    std::memcpy(out, body.data(), std::size_t(n));
    std::memset(out + n, ' ', pad);
  } else {
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, body.data(), std::size_t(n));
  }
  out[total] = 0;
  if (sep != '.') {
    if (char* p = std::strchr(out, '.')) *p = sep;
  }
  return total;
}

}  // namespace

int formatFixed(char* out, std::size_t cap, double v, int width, int decimals, char sep) {
  // Fast path only where the scaled value is an exact-enough integer candidate; ties and
  // everything large, odd or non-finite go to the C library so the text stays identical.
  if (!std::isfinite(v) || decimals < 0 || decimals > 15 || width < 0 || width > 64)
    return formatSlow(out, cap, v, width, decimals, sep);
  double a = std::fabs(v);
  double scaled = a * kPow10d[decimals];
  if (!(scaled < 4.0e15)) return formatSlow(out, cap, v, width, decimals, sep);
  double fl = std::floor(scaled);
  double fr = scaled - fl;
  // The product carries at most half an ulp of error; near a .5 tie the exact decimal
  // expansion decides, which only the library knows.
  if (std::fabs(fr - 0.5) <= scaled * 1e-15 + 1e-300)
    return formatSlow(out, cap, v, width, decimals, sep);
  std::uint64_t r = static_cast<std::uint64_t>(fl) + (fr > 0.5 ? 1 : 0);
  std::uint64_t ip = r / kPow10[decimals];
  std::uint64_t fp = r % kPow10[decimals];

  char tmp[48];
  char* p = tmp + sizeof tmp;
  for (int i = 0; i < decimals; ++i) {
    *--p = char('0' + fp % 10);
    fp /= 10;
  }
  if (decimals > 0) *--p = sep;
  do {
    *--p = char('0' + ip % 10);
    ip /= 10;
  } while (ip);
  if (std::signbit(v)) *--p = '-';
  int len = int(tmp + sizeof tmp - p);
  int total = len < width ? width : len;
  if (std::size_t(total) + 1 > cap) {
    if (cap > 0) out[0] = 0;
    return -1;
  }
  int padN = total - len;
  std::memset(out, ' ', std::size_t(padN));
  std::memcpy(out + padN, p, std::size_t(len));
  out[total] = 0;
  return total;
}

int formatFixed(char* out, double v, int width, int decimals, char sep) {
  return formatFixed(out, formatFixedCapacity(width, decimals), v, width, decimals, sep);
}

void appendFixed(std::string& s, double v, int width, int decimals, char sep) {
  char buf[128];
  int n = formatFixed(buf, sizeof buf, v, width, decimals, sep);
  if (n >= 0) {
    s.append(buf, std::size_t(n));
    return;
  }
  std::vector<char> big(formatFixedCapacity(width, decimals));
  n = formatFixed(big.data(), big.size(), v, width, decimals, sep);
  if (n > 0) s.append(big.data(), std::size_t(n));
}

std::string fixedText(double v, int width, int decimals, char sep) {
  std::string s;
  appendFixed(s, v, width, decimals, sep);
  return s;
}

QString fixedQText(double v, int width, int decimals, QChar sep) {
  char c = sep.unicode() < 128 ? char(sep.unicode()) : '.';
  QString s = QString::fromLatin1(fixedText(v, width, decimals, c == '.' ? '.' : c));
  if (c == '.' && sep != QLatin1Char('.')) s.replace(QLatin1Char('.'), sep);
  return s;
}

}  // namespace tolv
