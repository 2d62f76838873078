#include "app/placement.h"

#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include "app/framelogic.h"

namespace tolv {

QSize outerSize(const QWidget& w) {
  QSize s = w.frameGeometry().size();
  if (s == w.size()) s.rheight() += w.style()->pixelMetric(QStyle::PM_TitleBarHeight);
  return s;
}

TDeviceWindowPlacement::TDeviceWindowPlacement(QWidget* frame) : QObject(frame), frame_(frame) {
  frame_->installEventFilter(this);
}

void TDeviceWindowPlacement::place(QWidget* w, int n) {
  if (!w) return;
  const QPoint at = startPlace(*w, n, frame_->frameGeometry().height());
  w->move(at);
  placed_.push_back({w, n, at});
}

void TDeviceWindowPlacement::follow() {
  if (settled_) return;
  const int h = frame_->frameGeometry().height();
  for (Placed& p : placed_) {
    // A window moved meanwhile (by the user or a stored position) keeps its place.
    if (!p.window || p.window->pos() != p.at) continue;
    const QPoint at = startPlace(*p.window, p.n, h);
    if (at == p.at) continue;
    p.window->move(at);
    p.at = at;
  }
  // Framed by the window manager: the height is final.
  if (frame_->isVisible() && h != frame_->height()) settled_ = true;
}

QPoint TDeviceWindowPlacement::startPlace(const QWidget& w, int n, int frameHeight) const {
  const QScreen* screen = frame_->screen();
  return initialWindowPlace(n, frameHeight, outerSize(w),
                            screen ? screen->availableGeometry() : QRect());
}

bool TDeviceWindowPlacement::eventFilter(QObject* watched, QEvent* e) {
  if (watched == frame_ &&
      (e->type() == QEvent::Show || e->type() == QEvent::Move || e->type() == QEvent::Resize))
    follow();
  return QObject::eventFilter(watched, e);
}

}  // namespace tolv
