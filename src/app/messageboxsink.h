#pragma once
// Error messages of the FTDI listing shown as modal message boxes.
#include "ftdi/ftdi_enumeration.h"

namespace tolv {

class TMessageBoxSink final : public IMessageSink {
 public:
  void error(const QString& caption, const QString& text) override;
};

}  // namespace tolv
