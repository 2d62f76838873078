#pragma once
// What SIGTERM and SIGINT do once the program runs: every modal box is closed (nobody would
// click it away), then, once the box's own event loop has returned, the main frame is closed,
// which runs the normal shut-down; without a shown frame yet, the message loop is told to quit.
#include <QPointer>
#include <QWidget>

namespace tolv {

void closeModalBoxes();
void endInOrder(const QPointer<QWidget>& frame);

}  // namespace tolv
