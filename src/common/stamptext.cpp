#include "common/stamptext.h"

#include <QDate>
#include <QLocale>
#include <algorithm>
#include <array>
#include <vector>

#include "common/regional.h"
#include "common/settingsio.h"

namespace tolv {

namespace {

constexpr std::int64_t kJulianOfDay0 = 1721425;  // day 1 = 0001-01-01

enum class Tok {
  Literal,
  Space,
  Day,
  DayName,
  Month,
  MonthName,
  Year,
  Hour,
  Minute,
  Second,
  Fraction,
  AmPm,
  Zone
};

struct Token {
  Tok kind = Tok::Literal;
  QString text;     // literals only
  int letters = 0;  // how many format letters: "d" 1, "dd" 2, "yyyy" 4
};

struct Fields {
  bool strict = false;  // digits exactly as Qt writes the format, fraction only with "."
  int year = -1;
  int yearDigits = 0;
  int month = -1;
  int day = -1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int ampm = 0;  // 0 none, 1 AM, 2 PM
  bool twelveHour = false;
  bool haveFraction = false;
  double fraction = 0.0;
};

void addLiteral(std::vector<Token>& out, const QString& lit) {
  for (qsizetype i = 0; i < lit.size();) {
    const bool space = lit.at(i).isSpace();
    qsizetype n = 1;
    while (i + n < lit.size() && lit.at(i + n).isSpace() == space) ++n;
    if (space) {
      if (out.empty() || out.back().kind != Tok::Space) out.push_back({Tok::Space, {}, 0});
    } else {
      out.push_back({Tok::Literal, lit.mid(i, n), 0});
    }
    i += n;
  }
}

// Qt's format letters as tokens; everything else is literal text.
void tokenize(const QString& f, std::vector<Token>& out) {
  for (qsizetype i = 0; i < f.size();) {
    const QChar c = f.at(i);
    if (c == QLatin1Char('\'')) {
      QString lit;
      ++i;
      while (i < f.size()) {
        if (f.at(i) == QLatin1Char('\'')) {
          if (i + 1 < f.size() && f.at(i + 1) == QLatin1Char('\'')) {
            lit += QLatin1Char('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        lit += f.at(i++);
      }
      addLiteral(out, lit.isEmpty() ? QStringLiteral("'") : lit);
      continue;
    }
    qsizetype n = 1;
    while (i + n < f.size() && f.at(i + n) == c) ++n;
    const int letters = int(n);
    switch (c.unicode()) {
      case 'd':
        out.push_back({n >= 3 ? Tok::DayName : Tok::Day, {}, letters});
        break;
      case 'M':
        out.push_back({n >= 3 ? Tok::MonthName : Tok::Month, {}, letters});
        break;
      case 'y':
        out.push_back({Tok::Year, {}, letters});
        break;
      case 'H':
      case 'h':
        out.push_back({Tok::Hour, {}, letters});
        break;
      case 'm':
        out.push_back({Tok::Minute, {}, letters});
        break;
      case 's':
        out.push_back({Tok::Second, {}, letters});
        break;
      case 'z':
        out.push_back({Tok::Fraction, {}, letters});
        break;
      case 't':
        out.push_back({Tok::Zone, {}, letters});
        break;
      case 'A':
      case 'a':
        out.push_back({Tok::AmPm, {}, 1});
        n = 1;
        if (i + 1 < f.size() &&
            (f.at(i + 1) == QLatin1Char('P') || f.at(i + 1) == QLatin1Char('p')))
          n = 2;
        break;
      default:
        addLiteral(out, QString(n, c));
        break;
    }
    i += n;
  }
}

bool isAsciiDigit(QChar c) {
  return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Up to maxDigits digits; false when there is none.
bool readNumber(const QString& s, qsizetype& pos, int maxDigits, int& value,
                int* digits = nullptr) {
  int n = 0;
  int v = 0;
  while (n < maxDigits && pos < s.size() && isAsciiDigit(s.at(pos))) {
    v = v * 10 + (s.at(pos).unicode() - '0');
    ++pos;
    ++n;
  }
  if (digits) *digits = n;
  value = v;
  return n > 0;
}

// Digits after the decimal mark; more than nine carry nothing the stamp could keep.
bool readFraction(const QString& s, qsizetype& pos, double& value) {
  double v = 0.0;
  double scale = 1.0;
  int n = 0;
  while (pos < s.size() && isAsciiDigit(s.at(pos))) {
    if (n < 9) {
      v = v * 10 + (s.at(pos).unicode() - '0');
      scale *= 10;
    }
    ++pos;
    ++n;
  }
  value = v / scale;
  return n > 0;
}

bool readLetters(const QString& s, qsizetype& pos, QString& word) {
  const qsizetype start = pos;
  while (pos < s.size() && s.at(pos).isLetter()) ++pos;
  word = s.mid(start, pos - start).toLower();
  return pos > start;
}

// Month names as QDate writes them (English, whatever the locale).
int monthOfName(const QString& w) {
  static const std::array<const char*, 12> kNames = {
      "january", "february", "march",     "april",   "may",      "june",
      "july",    "august",   "september", "october", "november", "december"};
  for (int i = 0; i < 12; ++i) {
    const QString full = QLatin1String(kNames[std::size_t(i)]);
    if (w == full || w == full.left(3)) return i + 1;
  }
  return -1;
}

bool decimalMarkAt(const QString& s, qsizetype pos, bool strict) {
  return pos + 1 < s.size() &&
         (s.at(pos) == QLatin1Char('.') || (!strict && s.at(pos) == QLatin1Char(','))) &&
         isAsciiDigit(s.at(pos + 1));
}

// A number field of `letters` format letters. Strictly, a doubled letter ("dd", "HH") is
// exactly two digits, "yyyy" four, and a single one ("d", "H") one or two digits without a
// leading zero, as Qt writes them; otherwise up to two digits (four for a year).
bool readField(const QString& s, qsizetype& pos, const Token& t, bool strict, int& value,
               int* digitsOut = nullptr) {
  const bool year = t.kind == Tok::Year;
  int digits = 0;
  const qsizetype start = pos;
  if (!readNumber(s, pos, year ? 4 : 2, value, &digits)) return false;
  if (digitsOut) *digitsOut = digits;
  if (!strict) return true;
  if (year) return digits == (t.letters >= 3 ? 4 : 2);
  if (t.letters >= 2) return digits == 2;
  return digits == 1 || s.at(start) != QLatin1Char('0');
}

bool matchFrom(const std::vector<Token>& toks, std::size_t k, const QString& s, qsizetype pos,
               Fields f, Fields& out);

// The end of the format: an optional fraction (written after the whole time of day), then
// nothing but blanks.
bool matchEnd(const QString& s, qsizetype pos, Fields f, Fields& out) {
  if (!f.haveFraction && decimalMarkAt(s, pos, f.strict)) {
    ++pos;
    f.haveFraction = readFraction(s, pos, f.fraction);
  }
  while (pos < s.size() && s.at(pos).isSpace()) ++pos;
  if (pos != s.size()) return false;
  out = f;
  return true;
}

bool matchFrom(const std::vector<Token>& toks, std::size_t k, const QString& s, qsizetype pos,
               Fields f, Fields& out) {
  for (; k < toks.size(); ++k) {
    const Token& t = toks[k];
    switch (t.kind) {
      case Tok::Space: {
        const qsizetype start = pos;
        while (pos < s.size() && s.at(pos).isSpace()) ++pos;
        if (pos == start) return false;
        break;
      }
      case Tok::Literal:
        if (s.mid(pos, t.text.size()).compare(t.text, Qt::CaseInsensitive) != 0) return false;
        pos += t.text.size();
        break;
      case Tok::Day:
        if (!readField(s, pos, t, f.strict, f.day)) return false;
        break;
      case Tok::Month:
        if (!readField(s, pos, t, f.strict, f.month)) return false;
        break;
      case Tok::Year:
        if (!readField(s, pos, t, f.strict, f.year, &f.yearDigits)) return false;
        break;
      case Tok::Hour:
        if (!readField(s, pos, t, f.strict, f.hour)) return false;
        break;
      case Tok::Minute:
        if (!readField(s, pos, t, f.strict, f.minute)) return false;
        break;
      case Tok::Second:
        if (!readField(s, pos, t, f.strict, f.second)) return false;
        // A fraction right behind the seconds, unless the format places one itself; if the
        // rest does not match that way, the mark belongs to the format after all. No writer
        // of the program put it there, so strict matching leaves it out.
        if (!f.strict && !f.haveFraction && decimalMarkAt(s, pos, false)) {
          Fields g = f;
          qsizetype p = pos + 1;
          g.haveFraction = readFraction(s, p, g.fraction);
          if (matchFrom(toks, k + 1, s, p, g, out)) return true;
        }
        break;
      case Tok::Fraction: {
        const qsizetype start = pos;
        if (!readFraction(s, pos, f.fraction)) return false;
        if (f.strict && t.letters >= 3 && pos - start != 3) return false;
        f.haveFraction = true;
        break;
      }
      case Tok::DayName: {
        QString w;
        if (!readLetters(s, pos, w)) return false;
        break;
      }
      case Tok::MonthName: {
        QString w;
        if (!readLetters(s, pos, w)) return false;
        f.month = monthOfName(w);
        if (f.month < 0) return false;
        break;
      }
      case Tok::AmPm: {
        const QString w = s.mid(pos, 2).toUpper();
        if (w == QLatin1String("AM"))
          f.ampm = 1;
        else if (w == QLatin1String("PM"))
          f.ampm = 2;
        else
          return false;
        f.twelveHour = true;
        pos += 2;
        break;
      }
      case Tok::Zone:
        while (pos < s.size() && !s.at(pos).isSpace()) ++pos;
        break;
    }
  }
  return matchEnd(s, pos, f, out);
}

int fullYear(int year, int digits) {
  if (digits > 2) return year;
  const int now = QDate::currentDate().year();
  int y = now / 100 * 100 + year;
  if (y > now + 50) y -= 100;
  if (y <= now - 50) y += 100;
  return y;
}

int match(const QString& text, const QString& dateFormat, const QString& timeFormat, bool strict,
          DayTime& value) {
  std::vector<Token> toks;
  tokenize(dateFormat, toks);
  if (!timeFormat.isEmpty()) {
    addLiteral(toks, QStringLiteral(" "));
    tokenize(timeFormat, toks);
  }
  const QString s = text.trimmed();
  Fields start;
  start.strict = strict;
  Fields f;
  if (!matchFrom(toks, 0, s, 0, start, f)) return kNotANumber;
  if (f.year < 0 || f.month < 1 || f.day < 1) return kNotANumber;
  const QDate date(fullYear(f.year, f.yearDigits), f.month, f.day);
  if (!date.isValid()) return kNotANumber;
  int hour = f.hour;
  if (f.twelveHour) {
    if (hour < 1 || hour > 12) return kNotANumber;
    hour = hour % 12 + (f.ampm == 2 ? 12 : 0);
  }
  if (hour > 23 || f.minute > 59 || f.second > 59) return kNotANumber;
  const std::int64_t day = date.toJulianDay() - kJulianOfDay0;
  if (day < INT32_MIN || day > INT32_MAX) return kNotANumber;
  value.day = static_cast<std::int32_t>(day);
  value.seconds = double(hour * 3600 + f.minute * 60 + f.second) + f.fraction;
  return 0;
}

// --- Texts of earlier versions -------------------------------------------------------------
//
// Earlier versions wrote stamps in the regional formats of the machine: a text header's
// "Date Time" as the short date (two-digit years widened to four), two blanks, the long time
// and the fraction; a CSV cell as the short date as it stands and the long time with the
// fraction. Such a text is read against the formats of every locale the toolkit knows. Where
// it fits several that name different moments (12/8/2026 with AM/PM is December in the US and
// August in Australia), the formats of this machine decide, as a file is mostly read where it
// was written; then the order of kPreferredLocales; then the formats most locales share.

struct Signature {
  QString date;
  QString time;
  QString locale;  // the first locale with these formats
  int locales = 0;
};

constexpr const char* kPreferredLocales[] = {"de_DE", "en_US", "en_GB", "fr_FR", "nl_NL",
                                             "it_IT", "es_ES", "ja_JP", "zh_CN"};

std::vector<Signature> buildSignatures(bool widenYear) {
  std::vector<Signature> out;
  const auto all =
      QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
  for (const QLocale& loc : all) {
    QString date = loc.dateFormat(QLocale::ShortFormat);
    QString time = RegionalSettings::stripTimeZone(loc.timeFormat(QLocale::LongFormat));
    if (date.isEmpty()) date = QStringLiteral("dd.MM.yyyy");
    if (time.isEmpty()) time = QStringLiteral("HH:mm:ss");
    if (widenYear) date = RegionalSettings::fullYear(date);
    auto same = std::find_if(out.begin(), out.end(),
                             [&](const Signature& g) { return g.date == date && g.time == time; });
    if (same != out.end()) {
      ++same->locales;
      continue;
    }
    out.push_back({date, time, loc.name(), 1});
  }
  return out;
}

const std::vector<Signature>& signatures(bool widenYear) {
  static const std::vector<Signature> header = buildSignatures(true);
  static const std::vector<Signature> cells = buildSignatures(false);
  return widenYear ? header : cells;
}

// The formats of the preferred locales, in their order.
const std::vector<Signature>& preferred(bool widenYear) {
  static const auto make = [](bool widen) {
    std::vector<Signature> out;
    for (const char* name : kPreferredLocales) {
      const QLocale loc(QString::fromLatin1(name));
      QString date = loc.dateFormat(QLocale::ShortFormat);
      if (widen) date = RegionalSettings::fullYear(date);
      out.push_back({date, RegionalSettings::stripTimeZone(loc.timeFormat(QLocale::LongFormat)),
                     loc.name(), 1});
    }
    return out;
  };
  static const std::vector<Signature> header = make(true);
  static const std::vector<Signature> cells = make(false);
  return widenYear ? header : cells;
}

// 0 for this machine's formats, 1.. for the preferred locales, then all others alike.
int preferenceOf(const Signature& g, bool widenYear, const Signature& local) {
  if (g.date == local.date && g.time == local.time) return 0;
  const auto& pref = preferred(widenYear);
  for (std::size_t i = 0; i < pref.size(); ++i)
    if (g.date == pref[i].date && g.time == pref[i].time) return int(i) + 1;
  return int(pref.size()) + 1;
}

int fromEarlierVersion(const QString& text, bool widenYear, DayTime& value) {
  const RegionalSettings& r = regional();
  // This machine's own formats may be no locale's (set by hand); they count as one.
  const Signature local{
      widenYear ? RegionalSettings::fullYear(r.shortDateFormat()) : r.shortDateFormat(),
      r.longTimeFormat(), QString(), 0};
  const Signature* best = nullptr;
  int bestRank = 0;
  DayTime found{};
  auto consider = [&](const Signature& g) {
    DayTime t;
    if (match(text, g.date, g.time, true, t) != 0) return;
    const int rank = preferenceOf(g, widenYear, local);
    if (!best || rank < bestRank || (rank == bestRank && g.locales > best->locales)) {
      best = &g;
      bestRank = rank;
      found = t;
    }
  };
  consider(local);
  for (const Signature& g : signatures(widenYear)) consider(g);
  if (!best) return kNotANumber;
  value = found;
  return 0;
}

// Shapes typed by hand or written by other tools, read leniently as a last resort.
int fromUsualShape(const QString& text, DayTime& value) {
  const RegionalSettings& r = regional();
  // A slashed date beside a 12-hour time is read the US way, beside a 24-hour one day first.
  const bool twelveHour = text.contains(QLatin1String("AM"), Qt::CaseInsensitive) ||
                          text.contains(QLatin1String("PM"), Qt::CaseInsensitive);
  const QString dayFirst = QStringLiteral("d/M/yyyy"), monthFirst = QStringLiteral("M/d/yyyy");
  const QString dates[] = {RegionalSettings::fullYear(r.shortDateFormat()),
                           r.shortDateFormat(),
                           QStringLiteral("d.M.yyyy"),
                           QStringLiteral("yyyy-M-d"),
                           twelveHour ? monthFirst : dayFirst,
                           twelveHour ? dayFirst : monthFirst,
                           QStringLiteral("d MMM yyyy")};
  const QString times[] = {r.longTimeFormat(), QStringLiteral("H:mm:ss"),
                           QStringLiteral("h:mm:ss AP"), QStringLiteral("H:mm"), QString()};
  for (const QString& d : dates)
    for (const QString& t : times)
      if (match(text, d, t, false, value) == 0) return 0;
  return kNotANumber;
}

}  // namespace

int dateTimeFromText(const QString& text, const QString& dateFormat, const QString& timeFormat,
                     DayTime& value) {
  return match(text, dateFormat, timeFormat, false, value);
}

int dateTimeFromText(const QString& text, DayTime& value) {
  // The program's own form first; no locale writes a dotted date month first, so a text of
  // that shape never means anything else.
  if (match(text, QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"), true, value) == 0)
    return 0;
  if (fromEarlierVersion(text, true, value) == 0) return 0;
  return fromUsualShape(text, value);
}

int dateTimeFromCsvCells(const QString& date, const QString& time, DayTime& value) {
  const QString text = date.trimmed() + QStringLiteral("  ") + time.trimmed();
  // The cells as their notes name them; an earlier version's day-first date with a four-digit
  // year and a time of exactly milliseconds reads the same way (the cells cannot tell).
  if (match(text, QStringLiteral("MM.dd.yyyy"), QStringLiteral("HH:mm:ss.zzz"), true, value) == 0)
    return 0;
  if (fromEarlierVersion(text, false, value) == 0) return 0;
  return fromUsualShape(text, value);
}

}  // namespace tolv
