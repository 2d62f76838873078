#include "devicewin/repaintpacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>

namespace tolv {

TRepaintPacer::TRepaintPacer(std::unique_ptr<ITimer> passTimer, QObject* parent)
    : QObject(parent), timer_(std::move(passTimer)) {
  timer_->setHandler([this] { passEnded(); });
}

TRepaintPacer::~TRepaintPacer() {
  timer_->stop();
  // A window held back must not stay unpainted for good, and a job held back goes back to the
  // event loop unpaced: its owner may outlive the pacer and wait for it (a relayout it marked
  // as pending would never be asked for again). An owner gone by then drops it.
  for (Held& h : held_) {
    if (!h.owner) continue;
    if (h.job)
      QTimer::singleShot(0, h.owner.data(), std::move(h.job));
    else
      QCoreApplication::postEvent(h.owner, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
  }
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
  if (std::none_of(held_.begin(), held_.end(),
                   [watched](const Held& h) { return h.owner == watched && !h.job; }))
    held_.push_back(Held{watched, {}});
  return true;
}

void TRepaintPacer::queue(QObject* owner, std::function<void()> job) {
  held_.push_back(Held{owner, std::move(job)});
  if (!timer_->isActive()) timer_->start(0);
}

void TRepaintPacer::passEnded() {
  timer_->stop();
  paintedThisPass_ = false;
  while (!held_.empty() && !held_.front().owner) held_.pop_front();
  if (held_.empty()) return;
  const Held h = std::move(held_.front());
  held_.pop_front();
  paintedThisPass_ = true;
  timer_->start(0);
  if (h.job) {
    h.job();
    return;
  }
  QEvent request(QEvent::UpdateRequest);
  releasing_ = h.owner;
  QCoreApplication::sendEvent(h.owner, &request);
  releasing_ = nullptr;
}

}  // namespace tolv
