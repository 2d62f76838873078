#include "plot/loganal_list.h"

namespace tolv {

void TLogAnalList::attachStream(std::shared_ptr<const TLogicSummary> summary) {
  entries_.clear();
  entries_.shrink_to_fit();
  stream_ = std::move(summary);
}

void TLogAnalList::detachStream() {
  stream_.reset();
}

int TLogAnalList::add(std::int64_t sampleNumber, std::uint16_t word) {
  detachStream();
  entries_.push_back(TLogAnalEntry{sampleNumber, word});
  return int(entries_.size()) - 1;
}

int TLogAnalList::ensureIndex(int i) {
  // A list standing for a file cannot grow: dropping the recording would wipe its picture.
  if (i < count() || stream_) return 0;
  detachStream();
  entries_.resize(std::size_t(i) + 1);  // default entries are fillers
  return kAppendedFiller;
}

TLogAnalEntry TLogAnalList::get(int i) {
  if (i < 0) return TLogAnalEntry{};
  if (stream_) return at(i);  // past the end a filler, the recording kept
  ensureIndex(i);
  return entries_[std::size_t(i)];
}

}  // namespace tolv
