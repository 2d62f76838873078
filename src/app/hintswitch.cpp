#include "app/hintswitch.h"

#include <QCoreApplication>
#include <QEvent>

namespace tolv {

THintSwitch::THintSwitch() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

THintSwitch& THintSwitch::instance() {
  static THintSwitch* s = new THintSwitch;  // lives as long as the application object
  return *s;
}

bool THintSwitch::eventFilter(QObject* watched, QEvent* event) {
  if (!enabled_ && event->type() == QEvent::ToolTip) return true;
  return QObject::eventFilter(watched, event);
}

QString hintText(const QString& wrapped) {
  QString s = wrapped;
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return s;
}

}  // namespace tolv
