#pragma once
// Samples of a logic-analyser or I/O-logger recording: one 16-bit word per sample, bit i
// being the level of lane i, together with the running sample number given by the window.
#include <cstdint>
#include <vector>

namespace tolv {

struct TLogAnalEntry {
  std::int32_t sampleNumber = -1;  // -1 marks a filler entry
  std::uint16_t word = 0;

  friend bool operator==(const TLogAnalEntry&, const TLogAnalEntry&) = default;
};

class TLogAnalList {
 public:
  static constexpr int kAppendedFiller = -2235;

  void clear() { entries_.clear(); }
  int count() const { return int(entries_.size()); }

  // Appends one entry and returns its index.
  int add(std::int32_t sampleNumber, std::uint16_t word);

  // Appends filler entries until index i exists; -2235 when something was appended, else 0.
  // A negative index never exists and appends nothing.
  int ensureIndex(int i);

  // Copy of entry i; the list grows with filler entries up to i first. A negative index
  // yields a filler entry.
  TLogAnalEntry get(int i);

  // Read-only access that never grows the list: indexes outside it read as filler.
  TLogAnalEntry at(int i) const {
    return i >= 0 && i < count() ? entries_[std::size_t(i)] : TLogAnalEntry{};
  }
  const TLogAnalEntry* data() const { return entries_.data(); }

  void reserve(int n) { entries_.reserve(std::size_t(n > 0 ? n : 0)); }

 private:
  std::vector<TLogAnalEntry> entries_;
};

}  // namespace tolv
