#include "common/stamptext.h"

#include <QDate>
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
  QString text;  // literals only
};

struct Fields {
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
      if (out.empty() || out.back().kind != Tok::Space) out.push_back({Tok::Space, {}});
    } else {
      out.push_back({Tok::Literal, lit.mid(i, n)});
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
    switch (c.unicode()) {
      case 'd':
        out.push_back({n >= 3 ? Tok::DayName : Tok::Day, {}});
        break;
      case 'M':
        out.push_back({n >= 3 ? Tok::MonthName : Tok::Month, {}});
        break;
      case 'y':
        out.push_back({Tok::Year, {}});
        break;
      case 'H':
      case 'h':
        out.push_back({Tok::Hour, {}});
        break;
      case 'm':
        out.push_back({Tok::Minute, {}});
        break;
      case 's':
        out.push_back({Tok::Second, {}});
        break;
      case 'z':
        out.push_back({Tok::Fraction, {}});
        break;
      case 't':
        out.push_back({Tok::Zone, {}});
        break;
      case 'A':
      case 'a':
        out.push_back({Tok::AmPm, {}});
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

bool decimalMarkAt(const QString& s, qsizetype pos) {
  return pos + 1 < s.size() && (s.at(pos) == QLatin1Char('.') || s.at(pos) == QLatin1Char(',')) &&
         isAsciiDigit(s.at(pos + 1));
}

bool matchFrom(const std::vector<Token>& toks, std::size_t k, const QString& s, qsizetype pos,
               Fields f, Fields& out);

// The end of the format: an optional fraction (written after the whole time of day), then
// nothing but blanks.
bool matchEnd(const QString& s, qsizetype pos, Fields f, Fields& out) {
  if (!f.haveFraction && decimalMarkAt(s, pos)) {
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
        if (!readNumber(s, pos, 2, f.day)) return false;
        break;
      case Tok::Month:
        if (!readNumber(s, pos, 2, f.month)) return false;
        break;
      case Tok::Year:
        if (!readNumber(s, pos, 4, f.year, &f.yearDigits)) return false;
        break;
      case Tok::Hour:
        if (!readNumber(s, pos, 2, f.hour)) return false;
        break;
      case Tok::Minute:
        if (!readNumber(s, pos, 2, f.minute)) return false;
        break;
      case Tok::Second:
        if (!readNumber(s, pos, 2, f.second)) return false;
        // A fraction right behind the seconds, unless the format places one itself; if the
        // rest does not match that way, the mark belongs to the format after all.
        if (!f.haveFraction && decimalMarkAt(s, pos)) {
          Fields g = f;
          qsizetype p = pos + 1;
          g.haveFraction = readFraction(s, p, g.fraction);
          if (matchFrom(toks, k + 1, s, p, g, out)) return true;
        }
        break;
      case Tok::Fraction:
        if (!readFraction(s, pos, f.fraction)) return false;
        f.haveFraction = true;
        break;
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

}  // namespace

int dateTimeFromText(const QString& text, const QString& dateFormat, const QString& timeFormat,
                     DayTime& value) {
  std::vector<Token> toks;
  tokenize(dateFormat, toks);
  if (!timeFormat.isEmpty()) {
    addLiteral(toks, QStringLiteral(" "));
    tokenize(timeFormat, toks);
  }
  const QString s = text.trimmed();
  Fields f;
  if (!matchFrom(toks, 0, s, 0, Fields{}, f)) return kNotANumber;
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

int dateTimeFromText(const QString& text, DayTime& value) {
  const RegionalSettings& r = regional();
  // The program's own shape first, then what other machines or older versions wrote.
  const QString dates[] = {RegionalSettings::fullYear(r.shortDateFormat()),
                           r.shortDateFormat(),
                           QStringLiteral("d.M.yyyy"),
                           QStringLiteral("yyyy-M-d"),
                           QStringLiteral("M/d/yyyy"),
                           QStringLiteral("d/M/yyyy"),
                           QStringLiteral("d MMM yyyy")};
  const QString times[] = {r.longTimeFormat(), QStringLiteral("H:mm:ss"),
                           QStringLiteral("h:mm:ss AP"), QStringLiteral("H:mm"), QString()};
  for (const QString& d : dates)
    for (const QString& t : times)
      if (dateTimeFromText(text, d, t, value) == 0) return 0;
  return kNotANumber;
}

}  // namespace tolv
