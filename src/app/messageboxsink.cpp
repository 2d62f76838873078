#include "app/messageboxsink.h"

#include <QMessageBox>
#include <cstdio>

#include "app/signalbridge.h"

namespace tolv {

void TMessageBoxSink::error(const QString& caption, const QString& text) {
  // While the program is ending nobody would click the box away; the text is kept anyway.
  if (TSignalBridge::terminating()) {
    std::fprintf(stderr, "multi_tolvanex: %s: %s\n", qPrintable(caption), qPrintable(text));
    return;
  }
  QMessageBox::critical(parent_.data(), caption, text, QMessageBox::Ok);
}

}  // namespace tolv
