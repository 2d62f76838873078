#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QScreen>
#include <QAbstractItemDelegate>
#include <QStyleOptionViewItem>
#include <QTableWidget>

#include "common/texttable.h"
#include "plot/d2koord.h"
#include "plot/plotdata.h"
#include "plot/plotlabel.h"

namespace tolv {
namespace {

QString cell(const TF_D2Koord& w, int row, int col) {
  const QTableWidgetItem* it = w.SG_Measurement()->item(row, col);
  return it ? it->text() : QString();
}

TMeasurementEntry entry(double cx, double cy, double fx, double fy) {
  TMeasurementEntry e;
  e.cursorX = WorldValue::num(cx);
  e.cursorY = WorldValue::num(cy);
  e.xUnit = QStringLiteral("s");
  e.yUnit = QStringLiteral("V");
  e.foundPoint.X = WorldValue::num(fx);
  e.foundPoint.Y = WorldValue::num(fy);
  e.found = 1;
  return e;
}

TEST(D2KoordCell, ColumnLayoutOfNumbersAndTimes) {
  EXPECT_EQ(koordCellText(WorldValue::num(0.0015), QStringLiteral("V")),
            QStringLiteral("    1.5  mV"));
  EXPECT_EQ(koordCellText(WorldValue::num(-12345.678), QStringLiteral("s")),
            QStringLiteral("-12.346  ks"));
  EXPECT_EQ(koordCellText(WorldValue::num(3), QStringLiteral("A")), QStringLiteral("      3   A"));
  EXPECT_EQ(koordCellText(WorldValue::num(2e-6), QStringLiteral("V")),
            QStringLiteral("      2  ") + QChar(0xB5) + QStringLiteral("V"));
  // No prefix exists beyond tera: the exponent stays with the number.
  EXPECT_EQ(koordCellText(WorldValue::num(2e18), QStringLiteral("V")),
            QStringLiteral("  2E+18   V"));
  const WorldValue t = WorldValue::seconds(0.25);
  EXPECT_EQ(koordCellText(t, QStringLiteral("s")), worldLabelText(t, 5, QStringLiteral("s")));
}

TEST(D2Koord, CursorAndNearestRows) {
  TF_D2Koord w;
  EXPECT_EQ(w.objectName(), QStringLiteral("F_D2Koord"));
  EXPECT_EQ(w.SG_Measurement()->objectName(), QStringLiteral("SG_Measurement"));
  EXPECT_EQ(w.SG_Measurement()->columnCount(), 2);
  TMeasurementData m;
  m.kind = 1;
  w.Show(&m);
  EXPECT_TRUE(w.IsShown());
  EXPECT_EQ(w.RowCount(), 2);
  EXPECT_EQ(cell(w, 0, 0), QStringLiteral("  X"));
  EXPECT_EQ(cell(w, 0, 1), QStringLiteral("  Y"));
  EXPECT_EQ(cell(w, 1, 0), QStringLiteral("  X Cursor"));
  EXPECT_EQ(cell(w, 1, 1), QStringLiteral("  Y Cursor"));

  m.kind = 2;
  w.Show(&m);
  EXPECT_EQ(w.RowCount(), 4);
  EXPECT_EQ(cell(w, 2, 0), QString());
  EXPECT_EQ(cell(w, 3, 0), QStringLiteral("X Data"));
  EXPECT_EQ(cell(w, 3, 1), QStringLiteral("Y Data"));
  EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(w.SG_Measurement()->toolTip(), wrappedText(241));

  m.AddEntry(entry(1.0, 0.5, 1.25, 0.002));
  m.AddEntry(entry(2.0, -0.5, 2.5, 3.0));
  w.Show(&m);
  EXPECT_EQ(w.RowCount(), 8);
  EXPECT_EQ(w.SG_Measurement()->rowCount(), 8);
  EXPECT_EQ(cell(w, 2, 0), QStringLiteral("      1   s"));
  EXPECT_EQ(cell(w, 3, 1), QStringLiteral("   -500  mV"));
  EXPECT_EQ(cell(w, 5, 0), QStringLiteral("X Data"));
  EXPECT_EQ(cell(w, 6, 1), QStringLiteral("      2  mV"));
  EXPECT_EQ(cell(w, 7, 0), QStringLiteral("    2.5   s"));
  // Both columns as wide as the widest text plus 4; rows 16 high, or higher when a line of the
  // grid's font needs it (its text was cut at the top, the first row's under the title bar).
  const int cw = w.SG_Measurement()->columnWidth(0);
  EXPECT_EQ(cw, w.SG_Measurement()->columnWidth(1));
  EXPECT_EQ(w.SG_Measurement()->width(), 2 * cw + 24);
  const int lineH = QFontMetrics(w.SG_Measurement()->font()).height();
  const int rowH = std::max(16, lineH + 2);
  EXPECT_GE(w.SG_Measurement()->rowHeight(0), lineH + 2);
  EXPECT_EQ(w.SG_Measurement()->rowHeight(0), rowH);
  EXPECT_EQ(w.SG_Measurement()->rowHeight(7), rowH);
  EXPECT_EQ(w.SG_Measurement()->height(), (rowH + 2) * 8 + 4);

  w.Show(nullptr);
  EXPECT_FALSE(w.IsShown());
  EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
}

// Every value shows whole, unit included: the column leaves room for the cell's text margins,
// and a wide X column is not cut to the width of the Y column.
TEST(D2Koord, CellTextsAreNotCutOff) {
  TF_D2Koord w;
  TMeasurementData m;
  m.kind = 2;
  TMeasurementEntry e = entry(-0.0023955, 0.40056, -0.0024, 0.18716);
  e.xUnit = QStringLiteral("ms/div");
  m.AddEntry(e);
  w.Show(&m);
  const QTableWidget* g = w.SG_Measurement();
  for (int r = 0; r < g->rowCount(); ++r)
    for (int c = 0; c < 2; ++c) {
      const QTableWidgetItem* it = g->item(r, c);
      if (!it || it->text().isEmpty()) continue;
      // What the cell's own painter needs for the whole text, margins included.
      QStyleOptionViewItem opt;
      opt.initFrom(g->viewport());
      opt.font = g->font();
      const QSize need = g->itemDelegate()->sizeHint(opt, g->model()->index(r, c));
      EXPECT_LE(need.width(), g->columnWidth(c) - (g->showGrid() ? 1 : 0))
          << it->text().toStdString();
    }
}

TEST(D2Koord, LongListIsCutToTheScreen) {
  TF_D2Koord w;
  TMeasurementData m;
  m.kind = 1;
  for (int i = 0; i < 400; ++i) m.AddEntry(entry(i, i, i, i));
  w.Show(&m);
  EXPECT_EQ(w.RowCount(), 402);
  ASSERT_NE(w.screen(), nullptr);
  EXPECT_LE(w.SG_Measurement()->height(), w.screen()->availableGeometry().height());
}

TEST(D2Koord, ClickHidesTheWindow) {
  TF_D2Koord w;
  w.SetShown(true);
  ASSERT_TRUE(w.IsShown());
  QWidget* vp = w.SG_Measurement()->viewport();
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), vp->mapToGlobal(QPointF(5, 5)),
                    Qt::RightButton, Qt::RightButton, Qt::NoModifier);
  QApplication::sendEvent(vp, &press);
  EXPECT_FALSE(w.IsShown());
}

TEST(D2Koord, PositionLines) {
  TF_D2Koord w;
  w.move(123, 45);
  QStringList lines;
  w.SavePosition(lines);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], QStringLiteral("F_D2Koord"));
  EXPECT_EQ(lines[1], QString::number(w.x()));
  EXPECT_EQ(lines[2], QString::number(w.y()));

  TF_D2Koord other;
  lines = {QStringLiteral("F_D2Koord"), QStringLiteral("200"), QStringLiteral("80"),
           QStringLiteral("next")};
  EXPECT_EQ(other.LoadPosition(lines), 0);
  EXPECT_EQ(other.x(), 200);
  EXPECT_EQ(other.y(), 80);
  EXPECT_EQ(lines, QStringList{QStringLiteral("next")});
  lines = {QStringLiteral("F_D2Koord"), QStringLiteral("x1"), QStringLiteral("90")};
  EXPECT_EQ(other.LoadPosition(lines), 9220);
  EXPECT_EQ(other.x(), 200);  // the bad value leaves the old one
  EXPECT_EQ(other.y(), 90);
  lines = {QStringLiteral("F_D2Koord")};
  EXPECT_EQ(other.LoadPosition(lines), -2230);
}

TEST(D2KoordPlace, MovedTheLeastWayOntoTheScreen) {
  const QRect screen(100, 50, 800, 600);  // x 100..899, y 50..649
  // Wholly inside, touching the edges: unchanged.
  EXPECT_EQ(keptOnScreen(QRect(100, 50, 200, 100), screen), QPoint(100, 50));
  EXPECT_EQ(keptOnScreen(QRect(700, 550, 200, 100), screen), QPoint(700, 550));
  // One pixel over the right or bottom edge: one pixel back.
  EXPECT_EQ(keptOnScreen(QRect(701, 300, 200, 100), screen), QPoint(700, 300));
  EXPECT_EQ(keptOnScreen(QRect(300, 551, 200, 100), screen), QPoint(300, 550));
  // Over the left and top edges, and wholly on another screen to the right.
  EXPECT_EQ(keptOnScreen(QRect(99, 49, 200, 100), screen), QPoint(100, 50));
  EXPECT_EQ(keptOnScreen(QRect(2000, 300, 200, 100), screen), QPoint(700, 300));
  EXPECT_EQ(keptOnScreen(QRect(-1500, -900, 200, 100), screen), QPoint(100, 50));
  // Larger than the screen: its top left corner stays on it.
  EXPECT_EQ(keptOnScreen(QRect(500, 500, 1000, 700), screen), QPoint(100, 50));
  EXPECT_EQ(keptOnScreen(QRect(5, 6, 10, 10), QRect()), QPoint(5, 6));
}

// A position saved on a larger desktop, or a window grown to many rows, still shows whole.
TEST(D2KoordPlace, ShownWindowStaysOnThePlotsScreen) {
  TF_D2Koord w;
  const QRect area = w.TargetScreenArea();
  ASSERT_FALSE(area.isEmpty());
  QStringList pos{QStringLiteral("F_D2Koord"), QString::number(area.right() - 20),
                  QString::number(area.bottom() - 10)};
  ASSERT_EQ(w.LoadPosition(pos), 0);
  TMeasurementData m;
  m.kind = 2;
  for (int i = 0; i < 3; ++i) m.AddEntry(entry(i, 0.001 * i, i, 0.002 * i));
  w.Show(&m);
  EXPECT_TRUE(area.contains(w.frameGeometry()))
      << w.frameGeometry().x() << "," << w.frameGeometry().y();
  // So many rows that the grid scrolls: as tall as the screen allows, and on it.
  for (int i = 0; i < 200; ++i) m.AddEntry(entry(i, 1.0, i, 1.0));
  w.Show(&m);
  EXPECT_TRUE(area.contains(w.frameGeometry()));
  EXPECT_LE(w.frameGeometry().height(), area.height());
  // A plot on the screen decides the screen.
  QWidget plot;
  plot.resize(200, 100);
  plot.show();
  w.SetPlot(&plot);
  EXPECT_EQ(w.TargetScreenArea(), plot.screen()->availableGeometry());
}

}  // namespace
}  // namespace tolv
