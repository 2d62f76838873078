#include "app/placement.h"

#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include "app/framelogic.h"

namespace tolv {

QSize outerSize(const QWidget& w, const QWidget* like) {
  QSize s = w.frameGeometry().size();
  if (s != w.size()) return s;
  // The style's title bar height falls short of most window managers' frames (borders, a
  // bottom edge), which put a window placed by it partly below the screen.
  if (like && like->frameGeometry().size() != like->size())
    return s + (like->frameGeometry().size() - like->size());
  s.rheight() += w.style()->pixelMetric(QStyle::PM_TitleBarHeight);
  return s;
}

TDeviceWindowPlacement::TDeviceWindowPlacement(QWidget* frame) : QObject(frame), frame_(frame) {
  frame_->installEventFilter(this);
}

void TDeviceWindowPlacement::place(QWidget* w, int n) {
  if (!w) return;
  placed_.push_back({w, n, putAtStart(*w, n, frame_->frameGeometry().height())});
}

void TDeviceWindowPlacement::follow() {
  if (settled_) return;
  const int h = frame_->frameGeometry().height();
  for (Placed& p : placed_) {
    // A window moved meanwhile (by the user or a stored position) keeps its place.
    if (!p.window || p.window->pos() != p.at) continue;
    p.at = putAtStart(*p.window, p.n, h);
  }
  // Framed by the window manager: the height is final.
  if (frame_->isVisible() && h != frame_->height()) settled_ = true;
}

QRect TDeviceWindowPlacement::startPlace(const QWidget& w, int n, int frameHeight) const {
  const QScreen* screen = frame_->screen();
  const QSize outer = outerSize(w, frame_);
  const int decoration = outer.height() - w.height();
  return initialWindowRect(n, frameHeight, outer, w.minimumHeight() + decoration,
                           screen ? screen->availableGeometry() : QRect());
}

QPoint TDeviceWindowPlacement::putAtStart(QWidget& w, int n, int frameHeight) const {
  const QRect at = startPlace(w, n, frameHeight);
  const int lower = outerSize(w, frame_).height() - at.height();
  if (lower > 0) w.resize(w.width(), w.height() - lower);
  if (w.pos() != at.topLeft()) w.move(at.topLeft());
  return at.topLeft();
}

bool TDeviceWindowPlacement::eventFilter(QObject* watched, QEvent* e) {
  if (watched == frame_ &&
      (e->type() == QEvent::Show || e->type() == QEvent::Move || e->type() == QEvent::Resize))
    follow();
  return QObject::eventFilter(watched, e);
}

}  // namespace tolv
