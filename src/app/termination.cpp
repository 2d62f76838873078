#include "app/termination.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace tolv {

void closeModalBoxes() {
  // Bounded: a box that refuses to close must not keep the shut-down spinning.
  for (int guard = 0; guard < 32; ++guard) {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) break;
    if (auto* d = qobject_cast<QDialog*>(w))
      d->reject();
    else
      w->close();
  }
}

void endInOrder(const QPointer<QWidget>& frame) {
  closeModalBoxes();
  // Closed from the outer loop, not from inside the box's loop that is still on the stack.
  QTimer::singleShot(0, qApp, [frame] {
    if (frame && frame->isVisible())
      frame->close();
    else
      QCoreApplication::quit();
  });
}

}  // namespace tolv
