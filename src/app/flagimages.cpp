#include "app/flagimages.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>

namespace tolv {

QPixmap germanFlag(int width, int height) {
  QPixmap pm(width, height);
  QPainter p(&pm);
  const int h3 = height / 3;
  p.fillRect(0, 0, width, h3, QColor(0, 0, 0));
  p.fillRect(0, h3, width, h3, QColor(0xDD, 0x00, 0x00));
  p.fillRect(0, 2 * h3, width, height - 2 * h3, QColor(0xFF, 0xCE, 0x00));
  return pm;
}

QPixmap englishFlag(int width, int height) {
  QPixmap pm(width, height);
  pm.fill(QColor(0x01, 0x21, 0x69));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const int w = width, h = height;
  // Diagonals: white, then thin red.
  p.setPen(QPen(Qt::white, h / 4.0));
  p.drawLine(0, 0, w, h);
  p.drawLine(0, h, w, 0);
  p.setPen(QPen(QColor(0xC8, 0x10, 0x2E), h / 10.0));
  p.drawLine(0, 0, w, h);
  p.drawLine(0, h, w, 0);
  // Upright cross: white, then red.
  p.setRenderHint(QPainter::Antialiasing, false);
  const int cw = std::max(3, h / 3), rw = std::max(1, h / 5);
  p.fillRect(0, (h - cw) / 2, w, cw, Qt::white);
  p.fillRect((w - cw) / 2, 0, cw, h, Qt::white);
  p.fillRect(0, (h - rw) / 2, w, rw, QColor(0xC8, 0x10, 0x2E));
  p.fillRect((w - rw) / 2, 0, rw, h, QColor(0xC8, 0x10, 0x2E));
  return pm;
}

}  // namespace tolv
