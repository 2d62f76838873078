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
  // A recording in a file numbers its samples from 0 and may hold more than 2^31 of them.
  std::int64_t sampleNumber = -1;  // -1 marks a filler entry
  std::uint16_t word = 0;

  friend bool operator==(const TLogAnalEntry&, const TLogAnalEntry&) = default;
};

// A list either holds its entries or stands for a long recording kept in a file (through the
// recording's summary): then its entries are read on demand, numbered from 0, and adding to
// it first turns it into an ordinary empty list.
class TLogAnalList {
 public:
  static constexpr int kAppendedFiller = -2235;

  void clear() {
    entries_.clear();
    stream_.reset();
  }
  // Counted in 64 bits: a recording in a file of hours holds more than 2^31 samples.
  std::int64_t count() const {
    return stream_ ? stream_->count() : std::int64_t(entries_.size());
  }

  // Stands for the summarised recording from now on (the entries are dropped).
  void attachStream(std::shared_ptr<const TLogicSummary> summary);
  // The recording's summary, or none when the list holds its entries.
  const TLogicSummary* stream() const { return stream_.get(); }

  // Appends one entry and returns its index (a list holding its entries stays far below 2^31).
  int add(std::int64_t sampleNumber, std::uint16_t word);

  // Appends filler entries until index i exists; -2235 when something was appended, else 0.
  // A negative index never exists and appends nothing, nor does a list standing for a file.
  int ensureIndex(int i);

  // Copy of entry i; the list grows with filler entries up to i first. A negative index, or
  // one past the end of a list standing for a file, yields a filler entry.
  TLogAnalEntry get(int i);

  // Read-only access that never grows the list: indexes outside it read as filler.
  TLogAnalEntry at(std::int64_t i) const {
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
