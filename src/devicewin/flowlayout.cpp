#include "devicewin/flowlayout.h"

#include <QWidget>
#include <algorithm>

namespace tolv {

TFlowLayout::TFlowLayout(QWidget* parent, int spacing) : QLayout(parent), spacing_(spacing) {}

TFlowLayout::~TFlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void TFlowLayout::insertWidget(int index, QWidget* w) {
  addChildWidget(w);
  auto* item = new QWidgetItem(w);
  if (index < 0 || index > items_.size())
    items_.append(item);
  else
    items_.insert(index, item);
  invalidate();
}

void TFlowLayout::addItem(QLayoutItem* item) {
  items_.append(item);
}

int TFlowLayout::count() const {
  return int(items_.size());
}

QLayoutItem* TFlowLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* TFlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

Qt::Orientations TFlowLayout::expandingDirections() const {
  return {};
}

bool TFlowLayout::hasHeightForWidth() const {
  return true;
}

int TFlowLayout::heightForWidth(int width) const {
  return arrange(QRect(0, 0, width, 0), false);
}

int TFlowLayout::spacing() const {
  return spacing_;
}

QSize TFlowLayout::minimumSize() const {
  // As wide as the widest item: everything else can move to a row of its own.
  QSize size;
  for (const QLayoutItem* item : items_)
    if (!item->isEmpty()) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize TFlowLayout::sizeHint() const {
  // One row of everything.
  int w = 0, h = 0;
  bool first = true;
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize s = item->sizeHint();
    w += s.width() + (first ? 0 : spacing_);
    h = std::max(h, s.height());
    first = false;
  }
  const QMargins m = contentsMargins();
  return {w + m.left() + m.right(), h + m.top() + m.bottom()};
}

void TFlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  arrange(rect, true);
}

int TFlowLayout::arrange(const QRect& rect, bool apply) const {
  const QMargins m = contentsMargins();
  const QRect area = rect.adjusted(m.left(), m.top(), -m.right(), -m.bottom());
  int x = area.x();
  int y = area.y();
  int rowHeight = 0;
  int bottom = area.y();  // below the last row that shows something
  // Items of the current row, centred vertically in it once the row is complete.
  QList<QLayoutItem*> row;
  // A hidden widget that keeps its room holds it within a row of shown ones; a row of such
  // widgets alone takes no height, or a narrow window shows an empty band where they wrapped.
  bool rowShows = false;
  const auto placeRow = [&] {
    if (rowShows) bottom = y + rowHeight;
    if (!apply) return;
    int rx = area.x();
    for (QLayoutItem* item : row) {
      const QSize s = item->sizeHint();
      const int h = item->expandingDirections() & Qt::Vertical ? rowHeight : s.height();
      item->setGeometry(QRect(QPoint(rx, y + (rowHeight - h) / 2), QSize(s.width(), h)));
      rx += s.width() + spacing_;
    }
  };
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize s = item->sizeHint();
    if (!row.isEmpty() && x + s.width() > area.right() + 1) {
      placeRow();
      if (rowShows) y += rowHeight + spacing_;
      row.clear();
      x = area.x();
      rowHeight = 0;
      rowShows = false;
    }
    row.append(item);
    x += s.width() + spacing_;
    rowHeight = std::max(rowHeight, s.height());
    rowShows = rowShows || !(item->widget() && item->widget()->isHidden());
  }
  placeRow();
  return bottom - rect.y() + m.bottom();
}

}  // namespace tolv
