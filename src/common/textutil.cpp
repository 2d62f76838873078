#include "common/textutil.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "common/regional.h"

namespace tolv {

namespace {
bool isBlank(QChar c) {
  return c.unicode() <= 0x20;
}
}  // namespace

QString padLeft(const QString& text, int n, QChar c) {
  if (n < 0) n = 0;
  QString s = text.size() > n ? text.right(n) : text;
  if (s.size() < n) s.prepend(QString(n - s.size(), c));
  return s;
}

QString padRight(const QString& text, int n, QChar c) {
  if (n < 0) n = 0;
  QString s = text.size() > n ? text.left(n) : text;
  if (s.size() < n) s.append(QString(n - s.size(), c));
  return s;
}

int lastPosition(QChar c, const QString& text) {
  return int(text.lastIndexOf(c)) + 1;
}

QString trimLeading(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && isBlank(text.at(i))) ++i;
  return text.mid(i);
}

QString trimTrailing(const QString& text) {
  qsizetype n = text.size();
  while (n > 0 && isBlank(text.at(n - 1))) --n;
  return text.left(n);
}

QString replaceAll(const QString& text, const QString& a, const QString& b) {
  if (a.isEmpty()) return text;
  QString s = text;
  return s.replace(a, b);
}

QStringList splitText(const QString& text, QChar c) {
  QStringList out;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text.at(i) == c) {
      out << text.mid(start, i - start);
      start = i + 1;
    }
  }
  if (start < text.size()) out << text.mid(start);
  return out;
}

namespace {

// Decimal number grammar: [blanks] [sign] digits [. digits] [e [sign] digits], "," counting as
// ".". Returns 0 and the value, or the 1-based position of the first bad character.
int parseNumber(const QString& text, bool allowTrailingBlanks, double& value) {
  std::string s;
  s.reserve(std::size_t(text.size()));
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text.at(i) == QLatin1Char(' ')) ++i;
  auto at = [&](qsizetype k) -> char16_t { return k < n ? text.at(k).unicode() : 0; };
  auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  if (at(i) == u'+' || at(i) == u'-') s += char(text.at(i++).unicode());
  int digits = 0;
  while (isDigit(at(i))) s += char(text.at(i++).unicode()), ++digits;
  if (at(i) == u'.' || at(i) == u',') {
    s += '.';
    ++i;
    while (isDigit(at(i))) s += char(text.at(i++).unicode()), ++digits;
  }
  if (digits == 0) return int(i) + 1;
  if (at(i) == u'e' || at(i) == u'E') {
    s += 'e';
    ++i;
    if (at(i) == u'+' || at(i) == u'-') s += char(text.at(i++).unicode());
    if (!isDigit(at(i))) return int(i) + 1;
    while (isDigit(at(i))) s += char(text.at(i++).unicode());
  }
  if (allowTrailingBlanks)
    while (i < n && isBlank(text.at(i))) ++i;
  if (i < n) return int(i) + 1;
  // from_chars, not strtod: strtod reads "1.5" as 1 under a process locale with a decimal
  // comma, and the toolkit takes the process locale from the user's environment.
  const char* first = s.data() + (s[0] == '+' ? 1 : 0);
  double v = 0;
  const auto r = std::from_chars(first, s.data() + s.size(), v);
  if (r.ec == std::errc::result_out_of_range && s.find("e-") != std::string::npos) {
    v = s[0] == '-' ? -0.0 : 0.0;  // too small for a double: zero, as strtod gives
  } else if (r.ec != std::errc() || !std::isfinite(v)) {
    return int(n) + 1;  // out of range counts as not readable
  }
  value = v;
  return 0;
}

}  // namespace

bool isNumber(const QString& text) {
  double v = 0;
  return parseNumber(trimLeading(text), true, v) == 0;
}

QString toSystemSeparator(const QString& text) {
  QChar sys = regional().decimalSeparator();
  QString s = text;
  if (sys == QLatin1Char(',')) s.replace(QLatin1Char('.'), QLatin1Char(','));
  if (sys == QLatin1Char('.')) s.replace(QLatin1Char(','), QLatin1Char('.'));
  return s;
}

int textToNumber(const QString& text, double& value) {
  return parseNumber(text, false, value);
}

double numberOr(const QString& text, double fallback) {
  double v = fallback;
  return parseNumber(text.trimmed(), false, v) == 0 ? v : fallback;
}

std::int32_t roundToInteger(double x) {
  if (std::isnan(x)) return 0;
  constexpr double kLimit = 2147483646.0;
  if (x > kLimit) x = kLimit;
  if (x < -kLimit) x = -kLimit;
  return static_cast<std::int32_t>(std::lround(x));
}

double powerOfTenUp(double x) {
  if (x == 0.0 || !std::isfinite(x)) return x;
  double a = std::fabs(x);
  int n = -38;
  if (a > 1e-38) n = int(std::ceil(std::log10(a)));
  while (n > -38 && std::pow(10.0, n - 1) >= a) --n;
  while (n < 308 && std::pow(10.0, n) < a) ++n;
  return std::copysign(std::pow(10.0, n), x);
}

double powerOfTenDown(double x) {
  if (x == 0.0 || !std::isfinite(x)) return x;
  double a = std::fabs(x);
  int n = 38;
  if (a < 1e38) n = int(std::floor(std::log10(a)));
  while (n < 38 && std::pow(10.0, n + 1) <= a) ++n;
  while (n > -323 && std::pow(10.0, n) > a) --n;
  return std::copysign(std::pow(10.0, n), x);
}

double lg(double x) {
  return std::log10(x);
}
double tenToThe(double x) {
  return std::pow(10.0, x);
}
double interpolate(double a, double b, double c) {
  return c + (b - c) * a;
}

QString boolToText(bool b) {
  return b ? QStringLiteral("T") : QStringLiteral("F");
}
bool textToBool(const QString& text) {
  return text == QLatin1String("T");
}

QString languageCode(int index) {
  switch (index) {
    case 1:
      return QStringLiteral("EN");
    case 2:
      return QStringLiteral("LX");
    default:
      return QStringLiteral("DE");
  }
}

int languageIndexOfCode(const QString& code) {
  if (code == QLatin1String("EN")) return 1;
  if (code == QLatin1String("LX")) return 2;
  return 0;
}

std::uint32_t fourCharToCode(const QString& text) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t b = 0;
    if (i < text.size()) {
      char16_t c = text.at(i).unicode();
      b = c < 256 ? c : u'?';
    }
    v = (v << 8) | b;
  }
  return v;
}

QString codeToFourChar(std::uint32_t code) {
  QString s;
  for (int shift = 24; shift >= 0; shift -= 8) s += QChar(char16_t((code >> shift) & 0xFF));
  return s;
}

int charToCode(const QString& text) {
  return text.isEmpty() ? 0 : text.at(0).unicode();
}
QString codeToChar(int code) {
  return QString(QChar(char16_t(code & 0xFFFF)));
}

}  // namespace tolv
