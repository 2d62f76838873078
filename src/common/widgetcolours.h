#pragma once
// Colour helpers for widgets. Header-only: the common library itself does not link the
// widget module, its users do.
#include <QListWidget>
#include <QPalette>
#include <QTableWidget>
#include <QWidget>
#include <algorithm>

#include "common/colours.h"

namespace tolv {

// Background colour with the contrasting text colour.
inline void colourWidget(QWidget* w, ColorRef background) {
  if (!w) return;
  QPalette p = w->palette();
  QColor bg = toQColor(background);
  QColor fg = toQColor(contrastTextColour(background));
  for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) p.setColor(role, bg);
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(role, fg);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

// Paints one cell; column and row are clamped into the grid. False for a grid without cells.
inline bool paintGridCell(QTableWidget* grid, int col, int row, ColorRef colour) {
  if (!grid || grid->rowCount() == 0 || grid->columnCount() == 0) return false;
  col = std::clamp(col, 0, grid->columnCount() - 1);
  row = std::clamp(row, 0, grid->rowCount() - 1);
  QTableWidgetItem* it = grid->item(row, col);
  if (!it) {
    it = new QTableWidgetItem;
    grid->setItem(row, col, it);
  }
  it->setBackground(toQColor(colour));
  it->setForeground(toQColor(contrastTextColour(colour)));
  return true;
}

// The colour a cell shows: its painted background, else the grid's base colour.
inline ColorRef gridCellColour(const QTableWidget* grid, int col, int row) {
  if (!grid || grid->rowCount() == 0 || grid->columnCount() == 0) return kWhite;
  col = std::clamp(col, 0, grid->columnCount() - 1);
  row = std::clamp(row, 0, grid->rowCount() - 1);
  const QTableWidgetItem* it = grid->item(row, col);
  if (it && it->background().style() != Qt::NoBrush) return fromQColor(it->background().color());
  return fromQColor(grid->palette().color(QPalette::Base));
}

// Number of checked items of a check list.
inline int countChecked(const QListWidget* list) {
  if (!list) return 0;
  int n = 0;
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->checkState() == Qt::Checked) ++n;
  return n;
}

}  // namespace tolv
