#pragma once
// The operating system's regional settings the program uses (decimal separator, short date
// and long time format) and the process-wide separator settings chosen by the user.
#include <QChar>
#include <QString>

class QLocale;

namespace tolv {

class RegionalSettings {
 public:
  RegionalSettings();

  QChar decimalSeparator() const { return decimal_; }
  // Qt date format, e.g. "dd.MM.yyyy".
  const QString& shortDateFormat() const { return shortDate_; }
  // Qt time format without any time-zone part, e.g. "HH:mm:ss".
  const QString& longTimeFormat() const { return longTime_; }
  // Two-letter code of the language the user's messages are in, e.g. "de" or "en".
  const QString& languageCode() const { return language_; }

  // Reads the values again from the system locale (undoes pin()).
  void reload();
  // Fixes the values, so tests do not depend on the machine's locale.
  void pin(QChar dec, QString shortDate, QString longTime);
  // Fixes the values a machine with this locale would have.
  void pin(const QLocale& locale);

  // Removes time-zone fields ("t" .. "tttt") and the blanks around them from a Qt time format.
  static QString stripTimeZone(const QString& timeFormat);
  // A date format whose two-digit year ("yy") is widened to four digits, so a stamp written
  // with it keeps its century.
  static QString fullYear(const QString& dateFormat);

 private:
  QChar decimal_ = QLatin1Char('.');
  QString shortDate_;
  QString longTime_;
  QString language_;
};

// The process-wide instance.
RegionalSettings& regional();

// Separators of CSV output chosen by the user (initially "," and Tab).
QChar decimalSeparatorSetting();
void setDecimalSeparatorSetting(QChar c);
QChar columnSeparatorSetting();
void setColumnSeparatorSetting(QChar c);
// The column separators the user can choose, in the order the frame lists them.
inline constexpr char kColumnSeparators[5] = {'\t', ',', '.', ';', ' '};

}  // namespace tolv
