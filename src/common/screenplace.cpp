#include "common/screenplace.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace tolv {

QList<QRect> usableScreenAreas() {
  QList<QRect> areas;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return areas;
  for (const QScreen* sc : QGuiApplication::screens()) areas << sc->availableGeometry();
  return areas;
}

QPoint placeOnScreens(const QPoint& topLeft, const QSize& size, const QList<QRect>& screens) {
  if (screens.isEmpty()) return topLeft;
  const QRect title(topLeft, QSize(std::max(1, size.width()), 24));
  for (const QRect& s : screens) {
    const QRect seen = title.intersected(s);
    if (seen.width() >= std::min(title.width(), 80) && seen.height() >= 8) return topLeft;
  }
  const QRect& s = screens.first();
  const int x = std::clamp(topLeft.x(), s.left(), std::max(s.left(), s.right() + 1 - size.width()));
  const int y = std::clamp(topLeft.y(), s.top(), std::max(s.top(), s.bottom() + 1 - size.height()));
  return {x, y};
}

namespace {

// The screen that shows most of a window's title bar, else the first.
const QRect& titleScreen(const QPoint& topLeft, int width, const QList<QRect>& screens) {
  const QRect title(topLeft, QSize(std::max(1, width), 24));
  const QRect* best = &screens.first();
  qint64 bestArea = 0;
  for (const QRect& s : screens) {
    const QRect seen = title.intersected(s);
    const qint64 area = seen.isEmpty() ? 0 : qint64(seen.width()) * seen.height();
    if (area > bestArea) {
      bestArea = area;
      best = &s;
    }
  }
  return *best;
}

}  // namespace

QSize fitOnScreens(const QPoint& topLeft, const QSize& size, const QList<QRect>& screens) {
  if (screens.isEmpty()) return size;
  const QRect& best = titleScreen(topLeft, size.width(), screens);
  return {std::min(size.width(), best.width()), std::min(size.height(), best.height())};
}

QRect keptOnScreens(const QRect& inner, const QMargins& frame, const QList<QRect>& screens) {
  const QRect outer = inner.marginsAdded(frame);
  const QSize size = fitOnScreens(outer.topLeft(), outer.size(), screens);
  QPoint at = placeOnScreens(outer.topLeft(), size, screens);
  if (!screens.isEmpty()) {
    // The status line at the bottom in sight as well as the title bar: a window stored on a
    // higher screen (or at another resolution) moves up, as far as its screen needs.
    const QRect& s = titleScreen(at, size.width(), screens);
    at.setY(std::max(s.top(), std::min(at.y(), s.bottom() + 1 - size.height())));
  }
  return QRect(at, size).marginsRemoved(frame);
}

}  // namespace tolv
