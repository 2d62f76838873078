#include "app/messageboxsink.h"

#include <QMessageBox>

namespace tolv {

void TMessageBoxSink::error(const QString& caption, const QString& text) {
  QMessageBox::critical(nullptr, caption, text, QMessageBox::Ok);
}

}  // namespace tolv
