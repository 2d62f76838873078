#pragma once
// Posted messages between the program's windows. Their event type numbers are fixed:
// 1035 record notice (device window -> multi-device window), 1036 close the main frame,
// 1038 drawing progress of a timing diagram (plot -> its device window).
#include <QEvent>

namespace tolv {

inline constexpr QEvent::Type kRecordNoticeMessage = QEvent::Type(0x40B);  // 1035
inline constexpr QEvent::Type kCloseFrameMessage = QEvent::Type(0x40C);    // 1036
inline constexpr QEvent::Type kDrawProgressMessage = QEvent::Type(0x40E);  // 1038

// Drawing progress: a value 0..100 while drawing and -1 when the drawing has ended
// (successfully or not).
class TProgressEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType = kDrawProgressMessage;
  static constexpr int kFinished = -1;

  explicit TProgressEvent(int value) : QEvent(kType), value_(value) {}
  int value() const { return value_; }

 private:
  int value_;
};

}  // namespace tolv
