#include "app/framelogic.h"

namespace tolv {

QString ftdiCountCaption(std::uint32_t count) {
  return QString::number(count) + QStringLiteral(" FTDI-Device(s) Present ...");
}

QString deviceWindowCaption(const QString& serial, std::uint32_t ftdiIndex) {
  return QStringLiteral("Tolvanex Scope 1 Ser. Nr.:") + serial + QStringLiteral(" (") +
         QString::number(ftdiIndex) + QLatin1Char(')');
}

QPoint initialWindowPlace(int n, int frameHeight) {
  return {30 * (n - 1), 30 * (n - 1) + frameHeight};
}

QPoint cascadeWindowPlace(int i, int frameHeight) {
  return {60 * i, frameHeight + 74 * i};
}

QChar decimalSeparatorOfItem(int item) {
  switch (item) {
    case 0:
      return QLatin1Char('.');
    case 1:
      return QLatin1Char(',');
    default:
      return {};
  }
}

int decimalSeparatorItem(QChar c) {
  if (c == QLatin1Char('.')) return 0;
  if (c == QLatin1Char(',')) return 1;
  return -1;
}

namespace {
constexpr char kColumnChars[5] = {'\t', ',', '.', ';', ' '};
}  // namespace

QChar columnSeparatorOfItem(int item) {
  if (item < 0 || item >= 5) return {};
  return QLatin1Char(kColumnChars[item]);
}

int columnSeparatorItem(QChar c) {
  for (int i = 0; i < 5; ++i)
    if (c == QLatin1Char(kColumnChars[i])) return i;
  return -1;
}

QString framedText(const QString& s) {
  return QLatin1Char(' ') + s + QLatin1Char(' ');
}

}  // namespace tolv
