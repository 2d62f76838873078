#pragma once
// Posted messages between the program's windows. Their event type numbers are fixed:
// 1035 record notice (device window -> multi-device window), 1036 close the main frame,
// 1038 drawing progress of a timing diagram (plot -> its device window).
#include <QEvent>
#include <cstdint>

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

// A finished scope record, announced to the multi-device window. The event carries its own
// copy of the four values, so it stays valid however late it is delivered.
struct RecordNotice {
  std::int32_t sampleCount = 0;    // N
  std::int32_t postTrigger = 0;    // M
  std::int32_t registration = -1;  // the device window's number in the multi-device window
  double sampleTime = 0.0;         // seconds
  std::uint32_t run = 0;           // the run command the record answers (0: not known)
};

class TRecordNoticeEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType = kRecordNoticeMessage;

  explicit TRecordNoticeEvent(const RecordNotice& n) : QEvent(kType), notice_(n) {}
  const RecordNotice& notice() const { return notice_; }

 private:
  RecordNotice notice_;
};

}  // namespace tolv
