#include "app/hintswitch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

namespace tolv {

THintSwitch::THintSwitch() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

THintSwitch& THintSwitch::instance() {
  static THintSwitch* s = new THintSwitch;  // lives as long as the application object
  return *s;
}

bool THintSwitch::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    if (!enabled_) return true;
    auto* w = qobject_cast<QWidget*>(watched);
    if (hidePause_ > 0 && w && !w->toolTip().isEmpty()) {
      QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), w->toolTip(), w, QRect(),
                         hidePause_);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

QString hintText(const QString& wrapped) {
  QString s = wrapped;
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return s;
}

}  // namespace tolv
