#pragma once
// The pieces of a multi-device run without windows of its own, shared by the stepped-clock test
// rig and the real-time benchmark: a driver noting every command, the multi-device window's
// handling of record notices, its view and its member list.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/windowmessages.h"
#include "device/devtimer.h"
#include "multi/devicewindowmember.h"
#include "multi/multicollect.h"
#include "support/driver_rig.h"

namespace tolv::test {

// Passes every call on and notes each write: which device, when (us of the clock), what.
class NotingDriver final : public ForwardingDriver {
 public:
  NotingDriver(IFtdiDriver& d, IClock& c) : ForwardingDriver(d), clock_(c) {}
  struct Written {
    std::string serial;
    std::int64_t us;
    std::string word;  // the first four bytes
  };
  std::vector<Written> writes;

  FtStatus openBySerial(const char* s, FtHandle& h) override {
    const FtStatus st = inner_.openBySerial(s, h);
    if (st == kFtOk) serials_[h] = s;
    return st;
  }
  FtStatus write(FtHandle h, const std::uint8_t* b, std::uint32_t n,
                 std::uint32_t& written) override {
    if (n >= 4) writes.push_back({serials_[h], clock_.nowUs(), std::string(b, b + 4)});
    return inner_.write(h, b, n, written);
  }

  // Times of one device's writes of a word, in order.
  std::vector<std::int64_t> times(const std::string& serial, const char* word) const {
    std::vector<std::int64_t> v;
    for (const Written& w : writes)
      if (w.serial == serial && w.word == word) v.push_back(w.us);
    return v;
  }
  int count(const char* word) const {
    int n = 0;
    for (const Written& w : writes) n += w.word == word ? 1 : 0;
    return n;
  }

 private:
  IClock& clock_;
  std::map<FtHandle, std::string> serials_;
};

// What the multi-device window does with a record notice, without its widgets.
class NoticeTarget final : public QObject {
 public:
  TMultiCollection* coll = nullptr;
  int notices = 0;
  bool event(QEvent* e) override {
    if (e->type() != TRecordNoticeEvent::kType) return QObject::event(e);
    const RecordNotice& n = static_cast<TRecordNoticeEvent*>(e)->notice();
    ++notices;
    if (coll)
      coll->recordArrived({n.sampleCount, n.postTrigger, n.registration, n.sampleTime, n.run});
    return true;
  }
};

class LoopView final : public IMultiView {
 public:
  void changed(unsigned) override {}
  void processEvents() override { QCoreApplication::processEvents(); }
};

// Fires the timers due by now whenever window events run, as a Qt event loop delivers timer
// events inside long work: another window's tick then runs inside a window's record steps.
class NestingPump final : public QObject {
 public:
  explicit NestingPump(TManualTimerHub& hub) : hub_(hub) { post(); }
  int depth = 0, deepest = 0;
  bool event(QEvent* e) override {
    if (e->type() != kType) return QObject::event(e);
    post();
    ++depth;
    deepest = std::max(deepest, depth);
    hub_.fireDue();
    --depth;
    return true;
  }

 private:
  static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 211);
  void post() { QCoreApplication::postEvent(this, new QEvent(kType)); }
  TManualTimerHub& hub_;
};

class WindowMembers final : public IMultiMembers {
 public:
  int count() const override { return int(list.size()); }
  IMultiMember* at(int i) override {
    return i >= 0 && i < count() ? list[std::size_t(i)].get() : nullptr;
  }
  std::vector<std::unique_ptr<TDeviceWindowMember>> list;
};

}  // namespace tolv::test
