#include "devicewin/voltmeterbars.h"

#include <QMouseEvent>
#include <QPainter>

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
  update();
}

void TVoltmeterBar::setRange(double amplitude) {
  plot_.setRange(amplitude);
  update();
}

void TVoltmeterBar::setProbeFactor(double p) {
  plot_.setProbeFactor(p);
  update();
}

void TVoltmeterBar::setAuxDivider(double a) {
  plot_.setAuxDivider(a);
  update();
}

void TVoltmeterBar::showValue(double v) {
  plot_.showValue(v);
  update();
}

void TVoltmeterBar::resetIndicator() {
  plot_.resetIndicator();
  update();
}

void TVoltmeterBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, plot_.image());
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
