#include "plot/loganal_list.h"

namespace tolv {

int TLogAnalList::add(std::int32_t sampleNumber, std::uint16_t word) {
  entries_.push_back(TLogAnalEntry{sampleNumber, word});
  return count() - 1;
}

int TLogAnalList::ensureIndex(int i) {
  if (i < count()) return 0;
  entries_.resize(std::size_t(i) + 1);  // default entries are fillers
  return kAppendedFiller;
}

TLogAnalEntry TLogAnalList::get(int i) {
  if (i < 0) return TLogAnalEntry{};
  ensureIndex(i);
  return entries_[std::size_t(i)];
}

}  // namespace tolv
