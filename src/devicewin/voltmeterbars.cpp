#include "devicewin/voltmeterbars.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "devicewin/panel_scopecontrols_widgets.h"

namespace tolv {

TVoltmeterBar::TVoltmeterBar(int channel, QWidget* parent)
    : QWidget(parent), channel_(channel == 1 ? 1 : 0), plot_(400, 60) {
  setObjectName(channel_ == 0 ? QStringLiteral("IM_V_C0") : QStringLiteral("IM_V_C1"));
  // Channel 0 blue, channel 1 red, as in the chart and the voltage panels.
  plot_.setPenColour(channel_ == 0 ? QColor(0, 0, 255) : QColor(255, 0, 0));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  applyTexts();
}

void TVoltmeterBar::applyTexts() {
  setToolTip(hintText(channel_ == 0 ? 188 : 190));
}

void TVoltmeterBar::setMode(int modeIndex) {
  plot_.setMode(modeIndex);
  forgetValue();
  update();
}

void TVoltmeterBar::setRange(double amplitude) {
  plot_.setRange(amplitude);
  forgetValue();
  update();
}

void TVoltmeterBar::setProbeFactor(double p) {
  plot_.setProbeFactor(p);
  forgetValue();
  update();
}

void TVoltmeterBar::setAuxDivider(double a) {
  plot_.setAuxDivider(a);
  forgetValue();
  update();
}

void TVoltmeterBar::showValue(double v) {
  plot_.showValue(v);
  if (!std::isnan(v)) {
    last_ = v;
    shown_ = true;
  }
  update();
}

int TVoltmeterBar::overRange() const {
  if (!shown_) return 0;
  const int mode = plot_.mode();
  if (mode < 0 || mode > 3) return 0;
  // The reading as a share of the scale: 1 at its right end whatever the probe factor's sign
  // (a negative one turns the scale round).
  const double s = plot_.fullScale();
  if (!std::isfinite(s) || s == 0.0) return 0;
  const double share = last_ / s;
  const double end = 1.0 - kEndTolerance;
  if (share >= end) return 1;
  // RMS readings start at 0: only DC has a lower end to pass.
  if (mode <= 1 && share <= -end) return -1;
  return 0;
}

void TVoltmeterBar::resetIndicator() {
  plot_.resetIndicator();
  update();
}

void TVoltmeterBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, plot_.image());
  const int side = overRange();
  if (side == 0) return;
  // A wedge at the end passed, pointing outwards, over the pointer's rows.
  const int h = std::max(6, plot_.geometry().y3);
  const int w = std::max(6, h / 2);
  const int tip = side > 0 ? width() - 1 : 0;
  const int base = side > 0 ? tip - w : tip + w;
  const QPoint wedge[3] = {{base, 0}, {tip, h / 2}, {base, h}};
  p.setPen(Qt::NoPen);
  p.setBrush(kOverRangeColour);
  p.drawPolygon(wedge, 3);
}

void TVoltmeterBar::resizeEvent(QResizeEvent*) {
  if (plot_.image().size() == size()) return;
  plot_.resize(width(), height());
}

void TVoltmeterBar::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) resetIndicator();
  QWidget::mousePressEvent(e);
}

}  // namespace tolv
