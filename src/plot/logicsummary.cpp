#include "plot/logicsummary.h"

#include <algorithm>

namespace tolv {

// --- building ---------------------------------------------------------------------------------

void TLogicSummaryBuilder::summarize(std::uint16_t w) {
  // A block's mask holds the step into its first sample too, so blocks fold by OR alone.
  if (inBlock_ == 0 && std::int64_t(mask_.size()) == TLogicSummary::kMaxBlocks) {
    // One block more than the summary may hold: pairs of blocks become one.
    for (std::size_t k = 0; 2 * k + 1 < mask_.size(); ++k) {
      mask_[k] = std::uint16_t(mask_[2 * k] | mask_[2 * k + 1]);
      last_[k] = last_[2 * k + 1];
    }
    mask_.resize(mask_.size() / 2);
    last_.resize(mask_.size());
    ++blockShift_;
  }
  blockMask_ |= std::uint16_t(w ^ prev_);
  prev_ = w;
  ++summarized_;
  if (++inBlock_ == (std::int64_t(1) << blockShift_)) {
    mask_.push_back(blockMask_);
    last_.push_back(w);
    blockMask_ = 0;
    inBlock_ = 0;
  }
}

void TLogicSummaryBuilder::push(const std::uint16_t* words, std::int64_t n) {
  if (finished_ || n <= 0) return;
  // Words older than the held ones are summarized at once, the rest wait.
  const std::int64_t total = std::int64_t(held_.size()) + n;
  std::int64_t go = std::max<std::int64_t>(total - kHeld, 0);
  const std::int64_t fromHeld = std::min<std::int64_t>(go, std::int64_t(held_.size()));
  for (std::int64_t k = 0; k < fromHeld; ++k) summarize(held_[std::size_t(k)]);
  held_.erase(held_.begin(), held_.begin() + fromHeld);
  go -= fromHeld;
  for (std::int64_t k = 0; k < go; ++k) summarize(words[k]);
  held_.insert(held_.end(), words + go, words + n);
}

bool TLogicSummaryBuilder::finish(std::int64_t n) {
  if (finished_ || n < summarized_ || n > pushed()) return false;
  for (std::int64_t k = 0, e = n - summarized_; k < e; ++k) summarize(held_[std::size_t(k)]);
  held_.clear();
  held_.shrink_to_fit();
  if (inBlock_ > 0) {
    mask_.push_back(blockMask_);
    last_.push_back(prev_);
    inBlock_ = 0;
  }
  finished_ = true;
  return true;
}

// --- the summary ----------------------------------------------------------------------------

static_assert(TLogicSummary::kMinBlockShift == 6, "the builder starts at 64 samples a block");

TLogicSummary::TLogicSummary(std::shared_ptr<const TLogicWords> words) : words_(std::move(words)) {
  readAll();
}

TLogicSummary::TLogicSummary(std::shared_ptr<const TLogicWords> words, TLogicSummaryBuilder&& built)
    : words_(std::move(words)) {
  const std::int64_t n = words_ ? std::max<std::int64_t>(words_->count(), 0) : 0;
  if (built.finished() && built.summarized_ == n)
    adopt(std::move(built));
  else
    readAll();
}

void TLogicSummary::readAll() {
  const std::int64_t n = words_ ? std::max<std::int64_t>(words_->count(), 0) : 0;
  TLogicSummaryBuilder b;
  std::int64_t blocks = (n + 63) >> 6;
  while (blocks > kMaxBlocks) blocks = (blocks + 1) / 2;  // longer blocks, as the builder folds
  b.mask_.reserve(std::size_t(blocks));
  b.last_.reserve(std::size_t(blocks));
  constexpr std::int64_t piece = std::int64_t(1) << 18;
  std::vector<std::uint16_t> buf(std::size_t(std::min(piece, std::max<std::int64_t>(n, 1))));
  std::int64_t done = 0;
  while (done < n) {
    const std::int64_t want = std::min<std::int64_t>(piece, n - done);
    const std::int64_t got =
        std::clamp<std::int64_t>(words_->read(done, want, buf.data()), 0, want);
    b.push(buf.data(), got);
    done += got;
    // A source cut meanwhile: what was read is the recording.
    if (got < want) break;
  }
  b.finish(done);
  adopt(std::move(b));
}

void TLogicSummary::adopt(TLogicSummaryBuilder&& b) {
  count_ = b.summarized_;
  blockShift_ = b.blockShift_;
  mask_ = std::move(b.mask_);
  last_ = std::move(b.last_);
  mask_.shrink_to_fit();
  last_.shrink_to_fit();
  group_.assign((mask_.size() + (std::size_t(1) << kGroupShift) - 1) >> kGroupShift, 0);
  for (std::size_t k = 0; k < mask_.size(); ++k) group_[k >> kGroupShift] |= mask_[k];
}

std::size_t TLogicSummary::memoryBytes() const {
  return (mask_.capacity() + last_.capacity() + group_.capacity() + cache_.capacity()) *
         sizeof(std::uint16_t);
}

const std::uint16_t* TLogicSummary::block(std::int64_t k) const {
  if (cachedBlock_ != k) {
    const std::int64_t first = k << blockShift_;
    const std::int64_t n = std::min(blockSize(), count_ - first);
    cache_.assign(std::size_t(blockSize()), 0);
    // A file cut since the summary was made reads as fillers where it ends.
    words_->read(first, n, cache_.data());
    cachedBlock_ = k;
  }
  return cache_.data();
}

std::uint16_t TLogicSummary::wordAt(std::int64_t i) const {
  if (i < 0 || i >= count_) return 0;
  const std::int64_t k = i >> blockShift_;
  const std::int64_t first = k << blockShift_;
  if (i == std::min(first + blockSize(), count_) - 1) return last_[std::size_t(k)];
  return block(k)[i - first];
}

std::uint16_t TLogicSummary::changesInBlock(std::int64_t a, std::int64_t b) const {
  const std::int64_t k = a >> blockShift_;
  const std::int64_t first = k << blockShift_;
  const std::int64_t end = std::min(first + blockSize(), count_) - 1;
  if (a == first && b == end) return mask_[std::size_t(k)];
  const std::uint16_t* w = block(k);
  std::uint16_t prev = a == first ? (k > 0 ? last_[std::size_t(k - 1)] : 0) : w[a - first - 1];
  std::uint16_t m = 0;
  for (std::int64_t j = a; j <= b; ++j) {
    m |= std::uint16_t(w[j - first] ^ prev);
    prev = w[j - first];
  }
  return m;
}

std::uint16_t TLogicSummary::changesOfBlocks(std::int64_t ka, std::int64_t kb) const {
  constexpr std::int64_t g = std::int64_t(1) << kGroupShift;
  std::uint16_t m = 0;
  for (; ka <= kb && (ka & (g - 1)) != 0; ++ka) m |= mask_[std::size_t(ka)];
  for (; ka + g - 1 <= kb; ka += g) m |= group_[std::size_t(ka >> kGroupShift)];
  for (; ka <= kb; ++ka) m |= mask_[std::size_t(ka)];
  return m;
}

std::uint16_t TLogicSummary::changesIn(std::int64_t a, std::int64_t b,
                                       std::uint16_t& wordAtB) const {
  std::uint16_t m = 0;
  const std::int64_t lo = std::max<std::int64_t>(a, 0);
  const std::int64_t hi = std::min(b, count_ - 1);
  if (lo <= hi) {
    const std::int64_t ka = lo >> blockShift_;
    const std::int64_t kb = hi >> blockShift_;
    if (ka == kb) {
      m = changesInBlock(lo, hi);
    } else {
      m = changesInBlock(lo, ((ka + 1) << blockShift_) - 1);
      m |= changesOfBlocks(ka + 1, kb - 1);
      m |= changesInBlock(kb << blockShift_, hi);
    }
  }
  // The step from the last sample down to the fillers after it.
  if (count_ > 0 && a <= count_ && count_ <= b) m |= last_.back();
  wordAtB = wordAt(b);
  return m;
}

}  // namespace tolv
