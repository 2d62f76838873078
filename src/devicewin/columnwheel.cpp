#include "devicewin/columnwheel.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QChildEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>

namespace tolv {

namespace {

// A scroll bar (of a list inside the column, or a drop-down's open list) is scrolled on purpose.
bool takesValueByWheel(const QWidget* w) {
  return (qobject_cast<const QAbstractSlider*>(w) && !qobject_cast<const QScrollBar*>(w)) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QComboBox*>(w);
}

class TColumnWheel final : public QObject {
 public:
  explicit TColumnWheel(QScrollArea& area) : QObject(&area), area_(area) {}

  void watch(QWidget* w) {
    QList<QWidget*> all = w->findChildren<QWidget*>();
    all.prepend(w);
    for (QWidget* c : all) {
      c->installEventFilter(this);
      // A wheel turned over it must not hand it the focus (and with it the wheel).
      if (takesValueByWheel(c) && c->focusPolicy() == Qt::WheelFocus)
        c->setFocusPolicy(Qt::StrongFocus);
    }
  }

  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::ChildPolished) {
      // Built completely only now: a child is no slider yet when it is added.
      if (auto* c = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child())) watch(c);
      return false;
    }
    if (e->type() != QEvent::Wheel) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !takesValueByWheel(w) || w->hasFocus() || w->window() != area_.window()) return false;
    QCoreApplication::sendEvent(area_.viewport(), e);
    return true;
  }

 private:
  QScrollArea& area_;
};

}  // namespace

void scrollColumnByWheel(QScrollArea& area) {
  if (!area.widget()) return;
  auto* wheel = new TColumnWheel(area);
  wheel->watch(area.widget());
}

}  // namespace tolv
