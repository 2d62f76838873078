#pragma once
// The two voltage bar displays of the voltmeter sheet (IM_V_C0, IM_V_C1): each shows its
// channel's TVoltmeterPlot and resets the drag indicator on a right click.
#include <QColor>
#include <QWidget>

#include "plot/voltmeterplot.h"

namespace tolv {

class TVoltmeterBar : public QWidget {
  Q_OBJECT
 public:
  // channel 0 or 1: name IM_V_C0 / IM_V_C1, the channel's colour and hint.
  explicit TVoltmeterBar(int channel, QWidget* parent = nullptr);

  int channel() const { return channel_; }
  TVoltmeterPlot& plot() { return plot_; }
  const TVoltmeterPlot& plot() const { return plot_; }

  // The plot's operations, each followed by a repaint.
  void setMode(int modeIndex);
  void setRange(double amplitude);
  void setProbeFactor(double p);
  void setAuxDivider(double a);
  void showValue(double v);
  void resetIndicator();
  void applyTexts();

  // The reading shown lies at or beyond an end of the scale (within two converter steps: a
  // converter at its limit stops there): +1 at the upper end, -1 at the lower one, else 0.
  // The bar then carries a mark at that end, as the pointer says nothing beyond it.
  int overRange() const;
  static constexpr double kEndTolerance = 2.0 / 32768.0;
  static inline const QColor kOverRangeColour{220, 0, 0};

  QSize sizeHint() const override { return {400, 60}; }
  QSize minimumSizeHint() const override { return {120, 40}; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;

 private:
  void forgetValue() { shown_ = false; }

  int channel_;
  TVoltmeterPlot plot_;
  double last_ = 0;
  bool shown_ = false;
};

}  // namespace tolv
