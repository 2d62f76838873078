#include "devicewin/panel_scopecontrols_widgets.h"

#include <QApplication>
#include <QPalette>

#include "common/texttable.h"
#include "common/widgetcolours.h"

namespace tolv {

TClickPanel::TClickPanel(const QString& name, QWidget* parent) : QLabel(parent) {
  setObjectName(name);
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  setAlignment(Qt::AlignCenter);
  setMargin(1);
}

void TClickPanel::setColour(ColorRef c) {
  colour_ = c;
  colourWidget(this, c);
}

void TClickPanel::setButtonFace() {
  const QColor face = QApplication::palette().color(QPalette::Button);
  colour_ = fromQColor(face);
  colourWidget(this, colour_);
}

void TClickPanel::mousePressEvent(QMouseEvent* e) {
  pressed_ = e->button() == Qt::LeftButton;
  QLabel::mousePressEvent(e);
}

void TClickPanel::mouseReleaseEvent(QMouseEvent* e) {
  const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->pos());
  pressed_ = false;
  QLabel::mouseReleaseEvent(e);
  if (click) emit clicked();
}

QString hintText(int id) {
  QString s = wrappedText(id);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

QString groupCaption(int id) {
  return QLatin1Char(' ') + text(id) + QLatin1Char(' ');
}

QString channelShortName(int ch) {
  return text(ch == 0 ? 113 : 115);
}

QString channelName(int ch) {
  return text(ch == 0 ? 183 : 185);
}

}  // namespace tolv
