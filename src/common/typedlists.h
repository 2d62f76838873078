#pragma once
// Small lists of one element type each. Reading or writing beyond the end first extends the
// list with default elements, so per-channel settings and colours can be addressed by index
// without sizing the list beforehand.
#include <QObject>
#include <cstdint>
#include <vector>

#include "common/voltmeterreading.h"

namespace tolv {

inline constexpr int kListGrew = -2235;      // Ensure had to append elements
inline constexpr int kListBadIndex = -2240;  // negative or unreasonably large index

// Growth on access stops here: an index this large is a fault, not a channel number.
inline constexpr int kMaxListIndex = (1 << 24) - 1;

template <typename T>
class TTypedList {
 public:
  virtual ~TTypedList() = default;

  void Clear() {
    items_.clear();
    items_.shrink_to_fit();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  // Copies the value into a new element at the end; returns its index.
  int Add(const T& v) {
    items_.push_back(v);
    return Count() - 1;
  }
  // 0 when index already exists, kListGrew after appending default elements up to it,
  // kListBadIndex (nothing appended) for a negative or huge index.
  int Ensure(int index) {
    if (index < 0 || index > kMaxListIndex) return kListBadIndex;
    if (index < Count()) return 0;
    items_.resize(std::size_t(index) + 1, DefaultElement());
    return kListGrew;
  }
  // A copy of the element (the default element for an index that cannot exist).
  T Get(int index) {
    if (Ensure(index) == kListBadIndex) return DefaultElement();
    return items_[std::size_t(index)];
  }
  const std::vector<T>& Items() const { return items_; }

 protected:
  virtual T DefaultElement() const { return T{}; }
  std::vector<T> items_;
};

class TByteList : public TTypedList<std::uint8_t> {};

// The bytes of the I/O ports.
class TIntIOByteList : public TByteList {};

class TIntList : public TTypedList<std::int32_t> {
 public:
  // Ensure(index), then overwrite the element; returns Ensure's result.
  int Set(int index, std::int32_t v) {
    int rc = Ensure(index);
    if (rc != kListBadIndex) items_[std::size_t(index)] = v;
    return rc;
  }
};

struct FPoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const FPoint&, const FPoint&) = default;
};

struct D3Point {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
  friend bool operator==(const D3Point&, const D3Point&) = default;
};

class TFPointList : public TTypedList<FPoint> {};
class TD3PointList : public TTypedList<D3Point> {};

// Chart readings with a count of the tagged ones (tag byte non-zero).
class TTaggedTimedFloatPointList : public TTypedList<VoltmeterReading> {
 public:
  void Clear();
  int Add(const VoltmeterReading& v);
  int TaggedCount() const { return tagged_; }
  // A second counter for the list's user; starts at 1 and is reset by Clear.
  int Counter() const { return counter_; }
  void SetCounter(int c) { counter_ = c; }

 protected:
  VoltmeterReading DefaultElement() const override { return VoltmeterReading::listDefault(); }

 private:
  int tagged_ = 0;
  int counter_ = 1;
};

// Idle handling beside the about panel: while the pointer is not over it, each idle pass
// puts the cursor back to the default one (undoing any leftover busy cursor).
class TIdleObject : public QObject {
  Q_OBJECT
 public:
  explicit TIdleObject(QObject* parent = nullptr);
  bool PointerOverAbout() const { return overAbout_; }
  void SetPointerOverAbout(bool on) { overAbout_ = on; }
  // Runs Idle() whenever the event loop runs out of events and is about to wait. Events
  // processed in the middle of a long operation do not count as idle.
  void Install();
  void Idle();

 private:
  bool overAbout_ = false;
  bool installed_ = false;
};

}  // namespace tolv
