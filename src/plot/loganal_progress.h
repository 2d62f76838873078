#pragma once
// Drawing progress of a timing diagram, posted to the window that owns the plot: a value
// 0..100 while drawing and -1 when the drawing has ended (successfully or not).
#include <QEvent>

namespace tolv {

class TProgressEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType = QEvent::Type(1038);
  static constexpr int kFinished = -1;

  explicit TProgressEvent(int value) : QEvent(kType), value_(value) {}
  int value() const { return value_; }

 private:
  int value_;
};

}  // namespace tolv
