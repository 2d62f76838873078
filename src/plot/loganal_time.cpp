#include "plot/loganal_time.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "common/format.h"

namespace tolv {

namespace {

// Clock fields stop here, as the duration texts do; beyond it seconds are written plainly.
constexpr double kClockLimit = 2147483647.0;
constexpr int kMaxDecimals = 9;  // what the duration fields hold

// Fixed point in the C locale, never "-0" for a value that rounds to zero.
QString fixedText(double x, int decimals) {
  char buf[64];
  const double scale = std::pow(10.0, decimals);
  if (std::nearbyint(x * scale) == 0.0) x = 0.0;
  const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, decimals);
  return r.ec == std::errc() ? QString::fromLatin1(buf, int(r.ptr - buf)) : QString();
}

QString clockText(double t, TTimeTextStyle::Form form, int decimals) {
  // Rounded once, in whole units of the last digit, so 59.9996 s at 3 digits reads 01:00.000.
  const DurationFields f = durationFields(t, decimals);
  QString s = f.negative ? QStringLiteral("-") : QString();
  const QString secs = QLatin1Char(':') + padField(f.seconds);
  QString word;
  switch (form) {
    case TTimeTextStyle::Form::MinSec:
      s += padField((f.days * 24 + f.hours) * 60 + f.minutes) + secs;
      word = QStringLiteral("mm:ss");
      break;
    case TTimeTextStyle::Form::HourMinSec:
      s += padField(f.days * 24 + f.hours) + QLatin1Char(':') + padField(f.minutes) + secs;
      word = QStringLiteral("hh:mm:ss");
      break;
    default:
      s += QString::number(f.days) + QLatin1Char(' ') + padField(f.hours) + QLatin1Char(':') +
           padField(f.minutes) + secs;
      word = QStringLiteral("d hh:mm:ss");
      break;
  }
  if (f.decimals > 0) s += QLatin1Char('.') + padField(f.fraction, f.decimals);
  return s + QLatin1Char(' ') + word;
}

bool isClock(const TTimeTextStyle& style) {
  return style.form != TTimeTextStyle::Form::Seconds;
}

}  // namespace

TTimeTextStyle timeTextStyle(double maxAbs) {
  TTimeTextStyle st;
  const double a = std::fabs(maxAbs);
  if (!std::isfinite(a)) return st;
  if (a > 60.0 && a < kClockLimit) {
    st.form = a >= 86400.0 ? TTimeTextStyle::Form::DayHourMinSec
              : a >= 3600.0 ? TTimeTextStyle::Form::HourMinSec
                            : TTimeTextStyle::Form::MinSec;
    return st;
  }
  st.exponent3 = engParts(a, 3).exponent3;
  return st;
}

int decimalsFor(double resolution) {
  if (!(resolution > 0.0) || !std::isfinite(resolution)) return 0;
  // The tolerance keeps exact decades (0.001) at their own digit count.
  return std::clamp(int(std::ceil(-std::log10(resolution) - 1e-9)), 0, kMaxDecimals);
}

QString timeAxisLabel(double t, double step, const TTimeTextStyle& style) {
  if (isClock(style)) return clockText(t, style.form, decimalsFor(step));
  const QString prefix = siPrefix(style.exponent3);
  // A prefix outside the SI range (a broken view) falls back to a text of its own.
  if (prefix.isEmpty() && style.exponent3 != 0) return valueText(t, 3, QStringLiteral("s"));
  const double unit = std::pow(10.0, style.exponent3);
  return fixedText(t / unit, decimalsFor(step / unit)) + QLatin1Char(' ') + prefix +
         QLatin1Char('s');
}

QString timeReadOutText(double t, double resolution, const TTimeTextStyle& style) {
  if (isClock(style)) return clockText(t, style.form, decimalsFor(resolution));
  int digits = 5;
  if (t != 0.0 && resolution > 0.0 && std::isfinite(t) && std::isfinite(resolution))
    digits = std::clamp(int(std::floor(std::log10(std::fabs(t)))) -
                            int(std::floor(std::log10(resolution))) + 1,
                        5, 15);
  return engText(t, digits, QStringLiteral("s"), true);
}

}  // namespace tolv
