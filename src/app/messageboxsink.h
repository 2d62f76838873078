#pragma once
// Error messages of the main frame (the FTDI listing's and its own) shown as modal message
// boxes over the frame.
#include <QPointer>
#include <QWidget>

#include "ftdi/ftdi_enumeration.h"

namespace tolv {

class TMessageBoxSink final : public IMessageSink {
 public:
  // A box without a parent may open behind the frame or on another screen and look like
  // nothing happened: the frame's boxes open over it.
  explicit TMessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
  void error(const QString& caption, const QString& text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace tolv
