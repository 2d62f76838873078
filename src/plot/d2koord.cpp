#include "plot/d2koord.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>

#include "common/texttable.h"
#include "plot/plotdata.h"
#include "plot/plotlabel.h"

namespace tolv {

namespace {

constexpr int kDefaultRowHeight = 16;
constexpr int kHintText = 241;

QFont gridFont() {
  QFont f(QStringLiteral("Courier New"));
  f.setPixelSize(13);
  f.setBold(true);
  f.setStyleHint(QFont::TypeWriter);
  // Without Courier New the system's fixed font stands in, so the columns still line up.
  if (!QFontInfo(f).fixedPitch()) {
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(13);
    fixed.setBold(true);
    return fixed;
  }
  return f;
}

}  // namespace

QPoint keptOnScreen(const QRect& frame, const QRect& screen) {
  if (screen.isEmpty()) return frame.topLeft();
  const int x = std::max(screen.left(), std::min(frame.left(), screen.right() + 1 - frame.width()));
  const int y = std::max(screen.top(), std::min(frame.top(), screen.bottom() + 1 - frame.height()));
  return {x, y};
}

TF_D2Koord::TF_D2Koord(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("F_D2Koord"));
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  resize(171, 131);
  grid_ = new QTableWidget(this);
  grid_->setObjectName(QStringLiteral("SG_Measurement"));
  grid_->setColumnCount(2);
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(kDefaultRowHeight);
  grid_->verticalHeader()->setMinimumSectionSize(kDefaultRowHeight);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setFont(gridFont());
  grid_->setGeometry(0, 0, 171, 131);
  grid_->viewport()->installEventFilter(this);
  grid_->installEventFilter(this);
}

bool TF_D2Koord::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == grid_ || watched == grid_->viewport()) &&
      event->type() == QEvent::MouseButtonPress) {
    SG_MeasurementMouseDown();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TF_D2Koord::SG_MeasurementMouseDown() {
  SetShown(false);
}

void TF_D2Koord::setStayOnTop(bool on) {
  if (testAttribute(Qt::WA_WState_Created) && bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
    return;
  const bool visible = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);  // hides the window; show it again below
  if (visible) QWidget::show();
}

void TF_D2Koord::setHint() {
  grid_->setToolTip(wrappedText(kHintText));
}

void TF_D2Koord::SetShown(bool shown) {
  if (shown) {
    setStayOnTop(true);
    setHint();
    QWidget::show();
  } else {
    hide();
    setStayOnTop(false);
  }
}

void TF_D2Koord::clearCells() {
  grid_->clearContents();
  grid_->setRowCount(0);
}

void TF_D2Koord::setCell(int col, int row, const QString& text) {
  if (row >= grid_->rowCount()) grid_->setRowCount(row + 1);
  grid_->setItem(row, col, new QTableWidgetItem(text));
}

void TF_D2Koord::Show(const TMeasurementData* m) {
  if (!m || m->kind == 0) {
    SetShown(false);
  } else if (m->kind == 1) {
    ShowCursor(*m);
  } else {
    setHint();
    ShowNearest(*m);
    setStayOnTop(true);
  }
  setWindowTitle(m ? m->title : QString());
  plot_ = nullptr;  // the next measurement names its own plot
}

void TF_D2Koord::ShowCursor(const TMeasurementData& m) {
  clearCells();
  QWidget::show();
  QFont f = grid_->font();
  f.setFixedPitch(true);
  f.setPointSize(12);
  grid_->setFont(f);
  rowCount_ = m.Count() + 2;
  grid_->setRowCount(rowCount_);
  setCell(0, 0, QStringLiteral("  X"));
  setCell(1, 0, QStringLiteral("  Y"));
  setCell(0, 1, QStringLiteral("  X Cursor"));
  setCell(1, 1, QStringLiteral("  Y Cursor"));
  for (int i = 0; i < m.Count(); ++i) {
    const TMeasurementEntry* e = m.Get(i);
    setCell(0, 2 + i, koordCellText(e->cursorX, e->xUnit));
    setCell(1, 2 + i, koordCellText(e->cursorY, e->yUnit));
  }
  Fit();
}

void TF_D2Koord::ShowNearest(const TMeasurementData& m) {
  ShowCursor(m);
  const int n = m.Count();
  rowCount_ = 2 * n + 4;
  grid_->setRowCount(rowCount_);
  setCell(0, n + 3, QStringLiteral("X Data"));
  setCell(1, n + 3, QStringLiteral("Y Data"));
  for (int i = 0; i < n; ++i) {
    const TMeasurementEntry* e = m.Get(i);
    setCell(0, n + 4 + i, koordCellText(e->foundPoint.X, e->xUnit));
    setCell(1, n + 4 + i, koordCellText(e->foundPoint.Y, e->yUnit));
  }
  Fit();
}

void TF_D2Koord::ShowCursors(const TCursorReadOut& r) {
  clearCells();
  QWidget::show();
  setHint();
  setStayOnTop(true);
  int row = 0;
  const QString xUnit = r.xA.kind == kWorldTime ? QString() : r.xUnit;
  if (r.hasA) {
    setCell(0, row, QStringLiteral("  A"));
    setCell(1, row++, koordCellText(r.xA, xUnit));
  }
  if (r.hasB) {
    setCell(0, row, QStringLiteral("  B"));
    setCell(1, row++, koordCellText(r.xB, xUnit));
  }
  if (r.complete()) {
    const QString dUnit = r.timeAxis ? QStringLiteral("s") : r.xUnit;
    setCell(0, row, QStringLiteral("  \u0394t"));
    setCell(1, row++, koordCellText(WorldValue::num(r.dt), dUnit));
    setCell(0, row, QStringLiteral("  1/\u0394t"));
    if (r.dt != 0.0) {
      const QString fUnit = r.timeAxis           ? QStringLiteral("Hz")
                            : r.xUnit.isEmpty() ? QString()
                                                : QStringLiteral("1/") + r.xUnit;
      setCell(1, row++, koordCellText(WorldValue::num(1.0 / r.dt), fUnit));
    } else {
      setCell(1, row++, QStringLiteral("      -"));
    }
    for (std::size_t i = 0; i < r.channels.size(); ++i) {
      const TCursorChannel& c = r.channels[i];
      if (!c.valid) continue;
      const QString name = c.name.isEmpty() ? QString::number(i + 1) : c.name;
      setCell(0, row, QStringLiteral("  \u0394 ") + name);
      setCell(1, row++, koordCellText(WorldValue::num(c.dy), c.yUnit));
    }
  }
  for (const auto& [label, text] : r.notes) {
    setCell(0, row, QStringLiteral("  ") + label);
    setCell(1, row++, text);
  }
  rowCount_ = row;
  grid_->setRowCount(rowCount_);
  setWindowTitle(QString());
  Fit();
  plot_ = nullptr;
}

void TF_D2Koord::Fit() {
  const QFontMetrics fm(grid_->font());
  int widest = 0;
  for (int c = 0; c < 2; ++c) {
    int w = 0;
    for (int r = 0; r < grid_->rowCount(); ++r) {
      const QTableWidgetItem* it = grid_->item(r, c);
      if (it) w = std::max(w, fm.horizontalAdvance(it->text()));
    }
    grid_->setColumnWidth(c, w);
    widest = std::max(widest, w);
  }
  // Both columns take one width, that of the wider column: with the width of the last one the
  // X column cut its values short. The cell draws its text inside a margin on either side and
  // a grid line; without room for them the unit fell off the end.
  const int textMargin =
      grid_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid_) + 1;
  const int colWidth = widest + 2 * textMargin + (grid_->showGrid() ? 1 : 0) + 4;
  for (int c = 0; c < 2; ++c) grid_->setColumnWidth(c, colWidth);
  // Rows of 16 cut the 12-point text at its top and bottom, the first row's under the title
  // bar: a row is at least as high as a line of the grid's font.
  const int rowHeight = std::max(kDefaultRowHeight, fm.height() + 2);
  grid_->verticalHeader()->setDefaultSectionSize(rowHeight);
  for (int r = 0; r < grid_->rowCount(); ++r) grid_->setRowHeight(r, rowHeight);
  const int frameH = frameGeometry().height() - geometry().height();
  const int gridW = 2 * colWidth + 24;
  int gridH = (rowHeight + 2) * rowCount_ + 4;
  const QRect area = TargetScreenArea();
  if (!area.isEmpty()) gridH = std::min(gridH, area.height() - frameH);
  grid_->setGeometry(0, 0, gridW, gridH);
  resize(gridW, gridH);  // the client area; the window frame comes around it
  // Grown to its rows, the window may reach past the screen's edge (or stand on another screen
  // than the plot, or where a saved position from a larger desktop put it).
  keepOnScreen();
  QCoreApplication::processEvents();
}

QRect TF_D2Koord::TargetScreenArea() const {
  const QScreen* s = nullptr;
  if (plot_ && plot_->isVisible())
    s = QGuiApplication::screenAt(plot_->mapToGlobal(plot_->rect().center()));
  if (!s && plot_) s = plot_->screen();
  if (!s) s = QGuiApplication::screenAt(QCursor::pos());
  if (!s) s = screen();
  return s ? s->availableGeometry() : QRect();
}

void TF_D2Koord::keepOnScreen() {
  // The frame is known once the window manager has framed the window; before, the client
  // area stands for it.
  const QRect frame = frameGeometry();
  const QPoint at = keptOnScreen(frame, TargetScreenArea());
  if (at != frame.topLeft()) move(at);
}

void TF_D2Koord::SavePosition(QStringList& lines) const {
  lines << QStringLiteral("F_D2Koord") << QString::number(x()) << QString::number(y());
}

int TF_D2Koord::LoadPosition(QStringList& lines) {
  if (lines.size() < 3) return -2230;
  lines.removeFirst();
  bool okLeft = false, okTop = false;
  const int left = lines.takeFirst().trimmed().toInt(&okLeft);
  const int top = lines.takeFirst().trimmed().toInt(&okTop);
  move(okLeft ? left : x(), okTop ? top : y());
  return okLeft && okTop ? 0 : 9220;
}

}  // namespace tolv
