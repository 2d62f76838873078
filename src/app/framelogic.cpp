#include "app/framelogic.h"

#include <QStringList>
#include <algorithm>
#include <utility>

#include "common/regional.h"
#include "common/texttable.h"
#include "common/version.h"

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

QPoint keptInArea(const QPoint& at, const QSize& outer, const QRect& area) {
  if (area.isEmpty()) return at;
  return {std::max(std::min(at.x(), area.right() + 1 - outer.width()), area.left()),
          std::max(std::min(at.y(), area.bottom() + 1 - outer.height()), area.top())};
}

QPoint initialWindowPlace(int n, int frameHeight, const QSize& outer, const QRect& area) {
  return keptInArea(initialWindowPlace(n, frameHeight), outer, area);
}

QRect initialWindowRect(int n, int frameHeight, const QSize& outer, int minHeight,
                        const QRect& area) {
  QSize size = outer;
  if (!area.isEmpty() && size.height() > area.height())
    size.setHeight(std::max(area.height(), std::min(minHeight, outer.height())));
  return {initialWindowPlace(n, frameHeight, size, area), size};
}

QPoint cascadeWindowPlace(int i, int frameHeight) {
  return {60 * i, frameHeight + 74 * i};
}

QList<QRect> cascadeWindowRects(int count, int frameHeight, const QSize& outer, int minHeight,
                                int minStep, const QRect& area) {
  QList<QRect> rects;
  if (count <= 0) return rects;
  const QPoint step = cascadeWindowPlace(1, 0);
  QPoint first = cascadeWindowPlace(0, frameHeight);
  QPoint by = step;
  int height = outer.height();
  const int gaps = count - 1;
  if (!area.isEmpty() && gaps > 0) {
    // Sideways the steps shrink until the last window's right edge is on the area.
    first.setX(keptInArea(first, outer, area).x());
    const int roomX = area.right() + 1 - outer.width() - first.x();
    by.setX(std::clamp(roomX / gaps, 0, step.x()));
  }
  if (!area.isEmpty()) {
    const int bottom = area.bottom() + 1;
    first.setY(std::max(first.y(), area.top()));
    const auto fits = [&] { return first.y() + gaps * by.y() + height <= bottom; };
    if (!fits()) height = std::max(bottom - first.y() - gaps * by.y(), std::min(minHeight, height));
    if (!fits() && gaps > 0)
      by.setY(std::max((bottom - first.y() - height) / gaps, std::min(minStep, step.y())));
    if (!fits()) first.setY(std::max(bottom - height - gaps * by.y(), area.top()));
  }
  for (int i = 0; i < count; ++i) {
    const QSize size(outer.width(), height);
    // Kept in the area by the part of it that can be: on a screen too small for the windows
    // their lower ends go past the bottom, never their title bars onto each other.
    const QSize kept(size.width(), std::max(std::min(area.height() - i * by.y(), height), minStep));
    rects.append(QRect(keptInArea(first + i * by, kept, area), size));
  }
  return rects;
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

QChar columnSeparatorOfItem(int item) {
  if (item < 0 || item >= 5) return {};
  return QLatin1Char(kColumnSeparators[item]);
}

int columnSeparatorItem(QChar c) {
  for (int i = 0; i < 5; ++i)
    if (c == QLatin1Char(kColumnSeparators[i])) return i;
  return -1;
}

QString framedText(const QString& s) {
  return QLatin1Char(' ') + s + QLatin1Char(' ');
}

QPoint centredOnScreen(const QRect& over, const QSize& outer, const QRect& screen) {
  int x = over.x() + (over.width() - outer.width()) / 2;
  int y = over.y() + (over.height() - outer.height()) / 2;
  if (screen.isEmpty()) return {x, y};
  x = std::max(std::min(x, screen.right() + 1 - outer.width()), screen.left());
  y = std::max(std::min(y, screen.bottom() + 1 - outer.height()), screen.top());
  return {x, y};
}

QString labelledVersionText(const VersionInfo& v, const QString& description) {
  const std::pair<int, QString> rows[] = {
      {kTextVersionProduct, v.productName},   {kTextVersionVersion, v.fileVersion},
      {kTextVersionCompany, v.companyName},   {kTextVersionCopyright, v.legalCopyright},
      {kTextVersionInternal, v.internalName}, {kTextVersionFile, v.originalFileName},
      {kTextVersionComments, v.comments.isEmpty() ? QString() : description}};
  QStringList lines;
  for (const auto& [label, value] : rows)
    if (!value.isEmpty()) lines << text(label) + QStringLiteral(": ") + value;
  return lines.join(QLatin1Char('\n'));
}

int TDeviceNumbers::take(int listIndex) {
  int n = std::max(listIndex, 0);
  if (held_.contains(n))
    for (n = 0; held_.contains(n);) ++n;
  held_.insert(n);
  return n;
}

void TDeviceNumbers::release(int number) {
  held_.erase(number);
}

bool TDeviceNumbers::held(int number) const {
  return held_.contains(number);
}

bool separatorsClash(QChar decimal, QChar column) {
  return decimal == column;
}

QString separatorClashText(QChar column) {
  const int item = columnSeparatorItem(column);
  const QString name = item >= 0 ? text(kColumnItemTextIds[item]) : QString(column);
  return text(318).arg(name);
}

QChar columnSeparatorBesides(QChar decimal) {
  return decimal == QLatin1Char('\t') ? QLatin1Char(';') : QLatin1Char('\t');
}

}  // namespace tolv
