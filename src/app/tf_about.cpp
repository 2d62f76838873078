#include "app/tf_about.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

#include "common/texttable.h"

namespace tolv {

TF_About::TF_About(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TF_About"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(360, 200);
  applyTexts();
  timer_ = new QTimer(this);
  timer_->setInterval(40);
  connect(timer_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 1) % 360;
    update();
  });
}

void TF_About::applyTexts() {
  setWindowTitle(text(kTextAboutTitle));
  setToolTip(text(kTextAboutClose));
  update();
}

QString TF_About::bodyText() {
  return text(kTextVersionVersion) + QLatin1Char(' ') + QCoreApplication::applicationVersion() +
         QLatin1Char('\n') + text(kTextAboutLine);
}

void TF_About::showEvent(QShowEvent* e) {
  timer_->start();
  QWidget::showEvent(e);
}

void TF_About::hideEvent(QHideEvent* e) {
  timer_->stop();
  QWidget::hideEvent(e);
}

void TF_About::mousePressEvent(QMouseEvent* e) {
  hide();
  QWidget::mousePressEvent(e);
}

void TF_About::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), QColor(0x10, 0x18, 0x28));
  // A moving two-channel trace, as on the scope screen.
  const int w = width(), h = height();
  const double ph = phase_ * 3.14159265358979 / 180.0;
  QPainterPath sine, square;
  for (int x = 0; x <= w; x += 2) {
    const double t = x * 0.04 + ph * 2;
    const double ys = h * 0.62 + std::sin(t) * 22;
    const double yq = h * 0.85 + (std::sin(t * 0.5) >= 0 ? -8 : 8);
    if (x == 0) {
      sine.moveTo(x, ys);
      square.moveTo(x, yq);
    } else {
      sine.lineTo(x, ys);
      square.lineTo(x, yq);
    }
  }
  p.setPen(QPen(QColor(0xFF, 0xD0, 0x20), 2));
  p.drawPath(sine);
  p.setPen(QPen(QColor(0x30, 0xE0, 0x60), 2));
  p.drawPath(square);

  p.setPen(Qt::white);
  QFont f = font();
  f.setPointSize(16);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(0, 14, w, 30), Qt::AlignCenter, QStringLiteral("Multi_Tolvanex"));
  f.setPointSize(9);
  f.setBold(false);
  p.setFont(f);
  p.drawText(QRect(0, 46, w, 40), Qt::AlignCenter, bodyText());
}

}  // namespace tolv
