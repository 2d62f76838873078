#pragma once
// TF_D2Koord: the single small tool window that shows the result of a cursor measurement on
// a plot: the world coordinates under the cursor for every curve and, for a nearest-point
// measurement, the point found on each curve. A click on it hides it.
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>

class QTableWidget;

namespace tolv {

class TMeasurementData;
struct TCursorReadOut;

// Where a window whose frame is frame goes so that it lies wholly inside screen (a screen's
// available area): unchanged when it does, else moved the least way that brings it in. A
// window larger than the screen keeps its top left corner on it.
QPoint keptOnScreen(const QRect& frame, const QRect& screen);

class TF_D2Koord : public QWidget {
  Q_OBJECT
 public:
  explicit TF_D2Koord(QWidget* parent = nullptr);

  void SetShown(bool shown);
  bool IsShown() const { return isVisible(); }
  // Hides the window for no measurement or kind 0; shows the cursor rows for kind 1 and the
  // cursor and data rows for kind 2.
  void Show(const TMeasurementData* m);
  // The two cursors of a plot: their X, the distance dt, 1/dt and per curve the difference
  // of its values. Shows the window.
  void ShowCursors(const TCursorReadOut& r);
  // Appends "F_D2Koord", left and top.
  void SavePosition(QStringList& lines) const;
  // Takes the name line, left and top from the front of lines. Returns 0, -2230 when lines
  // are missing (nothing moved) or 9220 when a value is not a number (that value kept).
  int LoadPosition(QStringList& lines);

  // The plot whose measurement the next Show or ShowCursors shows (that call forgets it): the
  // window stays on the screen that holds it. Without one, the screen under the mouse
  // pointer, else the window's own.
  void SetPlot(const QWidget* plot) { plot_ = plot; }
  // The screen area the window keeps to (available geometry), empty without any screen.
  QRect TargetScreenArea() const;

  QTableWidget* SG_Measurement() const { return grid_; }
  int RowCount() const { return rowCount_; }
  // Column layout and size as the last Show left them.
  void Fit();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SG_MeasurementMouseDown();
  void ShowCursor(const TMeasurementData& m);
  void ShowNearest(const TMeasurementData& m);
  void setStayOnTop(bool on);
  void setHint();
  void clearCells();
  void setCell(int col, int row, const QString& text);
  void keepOnScreen();

  QTableWidget* grid_ = nullptr;
  int rowCount_ = 0;
  QPointer<const QWidget> plot_;
};

}  // namespace tolv
