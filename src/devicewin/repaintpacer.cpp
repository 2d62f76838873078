#include "devicewin/repaintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <algorithm>

namespace tolv {

TRepaintPacer::TRepaintPacer(std::unique_ptr<ITimer> passTimer, QObject* parent)
    : QObject(parent), timer_(std::move(passTimer)) {
  timer_->setHandler([this] { passEnded(); });
}

TRepaintPacer::~TRepaintPacer() {
  timer_->stop();
  // A window held back must not stay unpainted for good.
  for (const QPointer<QWidget>& w : held_)
    if (w) QCoreApplication::postEvent(w, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

void TRepaintPacer::add(QWidget* window) {
  if (window) window->installEventFilter(this);
}

bool TRepaintPacer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::UpdateRequest || watched == releasing_) return false;
  if (!paintedThisPass_) {
    paintedThisPass_ = true;
    timer_->start(0);
    return false;
  }
  // Qt asks once until the window has painted: the request is made again when its turn comes.
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w) return false;
  if (std::none_of(held_.begin(), held_.end(),
                   [w](const QPointer<QWidget>& h) { return h == w; }))
    held_.emplace_back(w);
  return true;
}

void TRepaintPacer::passEnded() {
  timer_->stop();
  paintedThisPass_ = false;
  while (!held_.empty() && !held_.front()) held_.pop_front();
  if (held_.empty()) return;
  QWidget* w = held_.front();
  held_.pop_front();
  paintedThisPass_ = true;
  timer_->start(0);
  QEvent request(QEvent::UpdateRequest);
  releasing_ = w;
  QCoreApplication::sendEvent(w, &request);
  releasing_ = nullptr;
}

}  // namespace tolv
