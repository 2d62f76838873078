#include "common/regional.h"

#include <QLocale>

namespace tolv {

namespace {
QChar g_decimalSetting = QLatin1Char(',');
QChar g_columnSetting = QLatin1Char('\t');
}  // namespace

RegionalSettings::RegionalSettings() {
  reload();
}

void RegionalSettings::reload() {
  pin(QLocale::system());
}

void RegionalSettings::pin(const QLocale& loc) {
  QString dp = loc.decimalPoint();
  decimal_ = dp.isEmpty() ? QLatin1Char('.') : dp.at(0);
  shortDate_ = loc.dateFormat(QLocale::ShortFormat);
  longTime_ = stripTimeZone(loc.timeFormat(QLocale::LongFormat));
  language_ = QLocale::languageToCode(loc.language(), QLocale::ISO639Part1);
  if (shortDate_.isEmpty()) shortDate_ = QStringLiteral("dd.MM.yyyy");
  if (longTime_.isEmpty()) longTime_ = QStringLiteral("HH:mm:ss");
}

void RegionalSettings::pin(QChar dec, QString shortDate, QString longTime) {
  decimal_ = dec;
  shortDate_ = std::move(shortDate);
  longTime_ = stripTimeZone(longTime);
}

QString RegionalSettings::fullYear(const QString& f) {
  QString out;
  out.reserve(f.size() + 2);
  bool quoted = false;
  for (qsizetype i = 0; i < f.size();) {
    const QChar c = f.at(i);
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (quoted || c != QLatin1Char('y')) {
      out += c;
      ++i;
      continue;
    }
    qsizetype n = 0;
    while (i + n < f.size() && f.at(i + n) == QLatin1Char('y')) ++n;
    out += n == 2 ? QStringLiteral("yyyy") : QString(n, QLatin1Char('y'));
    i += n;
  }
  return out;
}

QString RegionalSettings::stripTimeZone(const QString& f) {
  QString out;
  out.reserve(f.size());
  bool quoted = false;
  for (qsizetype i = 0; i < f.size(); ++i) {
    QChar c = f.at(i);
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      out += c;
      continue;
    }
    if (!quoted && c == QLatin1Char('t')) {
      while (i + 1 < f.size() && f.at(i + 1) == QLatin1Char('t')) ++i;
      continue;
    }
    out += c;
  }
  return out.trimmed();
}

RegionalSettings& regional() {
  static RegionalSettings r;
  return r;
}

QChar decimalSeparatorSetting() {
  return g_decimalSetting;
}
void setDecimalSeparatorSetting(QChar c) {
  g_decimalSetting = c;
}
QChar columnSeparatorSetting() {
  return g_columnSetting;
}
void setColumnSeparatorSetting(QChar c) {
  g_columnSetting = c;
}

}  // namespace tolv
