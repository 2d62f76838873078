#pragma once
// Samples of a logic-analyser or I/O-logger recording: one 16-bit word per sample, bit i
// being the level of lane i, together with the running sample number given by the window.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "plot/logicsummary.h"

namespace tolv {

struct TLogAnalEntry {
  std::int32_t sampleNumber = -1;  // -1 marks a filler entry
  std::uint16_t word = 0;

  friend bool operator==(const TLogAnalEntry&, const TLogAnalEntry&) = default;
};

// A list either holds its entries or stands for a long recording kept in a file (through the
// recording's summary): then its entries are read on demand, numbered from 0, and adding to
// it first turns it into an ordinary empty list.
class TLogAnalList {
 public:
  static constexpr int kAppendedFiller = -2235;
  // Entries are counted and numbered in 32 bits.
  static constexpr std::int64_t kMaxEntries = 0x7FFFFFFF;

  void clear() {
    entries_.clear();
    stream_.reset();
  }
  int count() const {
    return stream_ ? int(std::min(stream_->count(), kMaxEntries)) : int(entries_.size());
  }

  // Stands for the summarised recording from now on (the entries are dropped).
  void attachStream(std::shared_ptr<const TLogicSummary> summary);
  // The recording's summary, or none when the list holds its entries.
  const TLogicSummary* stream() const { return stream_.get(); }

  // Appends one entry and returns its index.
  int add(std::int32_t sampleNumber, std::uint16_t word);

  // Appends filler entries until index i exists; -2235 when something was appended, else 0.
  // A negative index never exists and appends nothing, nor does a list standing for a file.
  int ensureIndex(int i);

  // Copy of entry i; the list grows with filler entries up to i first. A negative index, or
  // one past the end of a list standing for a file, yields a filler entry.
  TLogAnalEntry get(int i);

  // Read-only access that never grows the list: indexes outside it read as filler.
  TLogAnalEntry at(int i) const {
    if (stream_)
      return i >= 0 && i < count() ? TLogAnalEntry{i, stream_->wordAt(i)} : TLogAnalEntry{};
    return i >= 0 && i < count() ? entries_[std::size_t(i)] : TLogAnalEntry{};
  }
  // The held entries; none while the list stands for a recording in a file.
  const TLogAnalEntry* data() const { return entries_.data(); }

  void reserve(int n) { entries_.reserve(std::size_t(n > 0 ? n : 0)); }

 private:
  void detachStream();

  std::vector<TLogAnalEntry> entries_;
  std::shared_ptr<const TLogicSummary> stream_;
};

}  // namespace tolv
