#include "plot/plotlabel.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>
#include <QTime>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/format.h"
#include "common/nicestep.h"
#include "common/regional.h"

namespace tolv {

namespace {

QString percentText(double x, const QString& unit) {
  const double a = std::fabs(x);
  const int decimals = a < 1 ? 4 : a < 10 ? 3 : a < 100 ? 2 : 0;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, x);
  return QString::fromLatin1(buf) + unit;
}

// Days as "years J months M days T" (a year taken as 365 days, a month as 30).
QString durationDays(std::int64_t days) {
  const std::int64_t years = days / 365;
  const std::int64_t months = (days % 365) / 30;
  const std::int64_t rest = (days % 365) % 30;
  QString s;
  if (years >= 1) s += QString::number(years) + QStringLiteral("J ");
  if (years >= 1 || months >= 1) s += QString::number(months) + QStringLiteral("M ");
  return s + QString::number(rest) + QStringLiteral("T");
}

}  // namespace

namespace {

// The label's day and seconds: whole microseconds, so that 12:00:00 does not come out as
// 11:59:59.999999 (which may move the label into the next day).
DayTime labelParts(const DayTime& t, double total) {
  DayTime m = total < 0 ? dtFromSeconds(-total) : t.normalised();
  m.seconds = std::nearbyint(m.seconds * 1e6) / 1e6;
  if (m.seconds >= DayTime::kSecondsPerDay) {
    m.seconds -= DayTime::kSecondsPerDay;
    m.day += 1;
  }
  return m;
}

}  // namespace

std::int32_t timeLabelDay(const DayTime& t) {
  const double total = t.totalSeconds();
  if (total <= 1.0) return INT32_MIN;
  const DayTime m = labelParts(t, total);
  return m.day != 0 ? m.day : INT32_MIN;
}

QString timeLabelText(const DayTime& t, int digits, bool withDate) {
  const double total = t.totalSeconds();
  if (std::fabs(total) <= 1.0) return engText(total, digits, QStringLiteral("s"), true);
  const bool negative = total < 0;
  const DayTime m = labelParts(t, total);
  const double secs = m.seconds;
  QStringList parts;
  if (m.day != 0) {
    if (total <= 0) {
      parts << durationDays(m.day);
    } else if (withDate) {
      const QDate d = dtToQDateTime(DayTime{0.0, m.day}).date();
      parts << d.toString(regional().shortDateFormat());
    }
  }
  const double whole = std::floor(secs);
  if (secs != 0.0) {
    const int s = int(whole);
    parts << QTime(s / 3600, (s / 60) % 60, s % 60).toString(regional().longTimeFormat());
  }
  const double frac = std::nearbyint((secs - whole) * 1e6) / 1e6;
  QString f = QString::number(frac, 'g', 8);
  if (regional().decimalSeparator() != QLatin1Char('.'))
    f.replace(QLatin1Char('.'), regional().decimalSeparator());
  if (!parts.isEmpty() && f.startsWith(QLatin1Char('0'))) f.remove(0, 1);
  if (!f.isEmpty()) parts << f;
  return (negative ? QStringLiteral("-") : QString()) + parts.join(QLatin1Char(' '));
}

QString worldLabelText(const WorldValue& v, int digits, const QString& unit) {
  if (v.kind == kWorldTime) return timeLabelText(v.time(), digits);
  const double x = v.toNumber();
  if (unit.contains(QLatin1Char('%'))) return percentText(x, unit);
  return engText(x, digits, unit, false);
}

WorldValue rangeStep(const WorldValue& v) {
  if (v.kind == kWorldTime) {
    const double s = v.time().totalSeconds();
    const double step = std::fabs(s) >= 1.0 ? niceTimeStep(2.001 * s) : niceStepUp(1.1 * s);
    return WorldValue::seconds(step);
  }
  return WorldValue::num(niceStepUp(1.01 * v.toNumber()));
}

WorldValue roundWorldToStep(const WorldValue& v, const WorldValue& step) {
  if (v.kind == kWorldTime) {
    const double st = step.toNumber();
    const DayTime t = v.time().normalised();
    // Total seconds near 6e10 keep only about 8 us; steps up to a day round the seconds of
    // the day, so a tick carries exactly the digits of its step.
    if (st > 0.0 && st <= DayTime::kSecondsPerDay)
      return WorldValue::at(DayTime{roundSecondsToStep(t.seconds, st), t.day});
    return WorldValue::seconds(roundSecondsToStep(t.totalSeconds(), st));
  }
  return WorldValue::num(roundToStep(v.toNumber(), step.toNumber()));
}

namespace {

// The steps a time axis is labelled in: 1-2-5 below two seconds, then the time table, and
// 1-2-5 again beyond its end.
double timeLadderAbove(double s) {
  if (s < 1.0) return niceStepUp(1.1 * s);
  for (int i = 1; i <= niceTimeStepCount(); ++i)
    if (niceTimeStepEntry(i) > s * (1 + 1e-9)) return niceTimeStepEntry(i);
  return niceStepUp(1.01 * s);
}

double timeLadderAtOrBelow(double s) {
  const double tol = 1 + 1e-9;
  if (s >= 2.0) {
    double best = 2.0;
    for (int i = 1; i <= niceTimeStepCount(); ++i)
      if (niceTimeStepEntry(i) <= s * tol) best = niceTimeStepEntry(i);
    return best;
  }
  const double d = decadeFloor(s * tol);
  for (double f : {5.0, 2.0})
    if (f * d <= s * tol) return f * d;
  return d;
}

}  // namespace

WorldValue firstLabelStep(const WorldValue& range) {
  const WorldValue s = wvScale(range, 0.01);
  if (range.kind != kWorldTime) return s;
  const double sec = std::fabs(s.time().totalSeconds());
  return sec > 0.0 ? WorldValue::seconds(timeLadderAtOrBelow(sec)) : s;
}

WorldValue nextLabelStep(const WorldValue& step) {
  if (step.kind != kWorldTime) return rangeStep(step);
  const double sec = std::fabs(step.time().totalSeconds());
  return sec > 0.0 ? WorldValue::seconds(timeLadderAbove(sec)) : rangeStep(step);
}

WorldValue tickShownValue(const WorldValue& v, const WorldValue& step) {
  if (v.kind == kWorldNumber && std::fabs(v.number) < std::fabs(step.toNumber()) * 0.00001)
    return WorldValue::num(0.0);
  return v;
}

QString koordCellText(const WorldValue& v, const QString& unit) {
  if (v.kind == kWorldTime) return worldLabelText(v, 5, unit);
  const double x = v.toNumber();
  QString mantissa;
  QString prefix;
  if (unit.contains(QLatin1Char('%'))) {
    mantissa = percentText(x, QString());
  } else {
    const EngParts p = engParts(x, 5);
    mantissa = p.mantissa;
    if (p.finite && (p.exponent3 < -15 || p.exponent3 > 12)) {
      // No prefix exists: the exponent stays with the mantissa rather than being cut.
      mantissa += (p.exponent3 < 0 ? QStringLiteral("E-") : QStringLiteral("E+")) +
                  QStringLiteral("%1").arg(std::abs(p.exponent3), 2, 10, QLatin1Char('0'));
    } else if (p.finite) {
      prefix = siPrefix(p.exponent3);
    }
  }
  // The prefix is padded on its left: it stays joined to its unit ("ms", not "m s") while the
  // units still line up in their column.
  return mantissa.rightJustified(7, QLatin1Char(' ')) + QLatin1Char(' ') +
         prefix.rightJustified(2, QLatin1Char(' '), true) + unit;
}

}  // namespace tolv
