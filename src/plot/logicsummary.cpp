#include "plot/logicsummary.h"

#include <algorithm>

namespace tolv {

TLogicSummary::TLogicSummary(std::shared_ptr<const TLogicWords> words) : words_(std::move(words)) {
  const std::int64_t n = words_ ? std::max<std::int64_t>(words_->count(), 0) : 0;
  while (((n + blockSize() - 1) >> blockShift_) > kMaxBlocks) ++blockShift_;
  const std::int64_t b = blockSize();
  const std::size_t blocks = std::size_t((n + b - 1) >> blockShift_);
  mask_.reserve(blocks);
  last_.reserve(blocks);

  // Pieces of whole blocks, so each block is summarised from one piece.
  const std::int64_t piece = std::max<std::int64_t>(b, std::int64_t(1) << 18);
  std::vector<std::uint16_t> buf(std::size_t(std::min(piece, std::max<std::int64_t>(n, 1))));
  std::uint16_t prev = 0;
  std::int64_t done = 0;
  while (done < n) {
    const std::int64_t want = std::min<std::int64_t>(piece, n - done);
    const std::int64_t got =
        std::clamp<std::int64_t>(words_->read(done, want, buf.data()), 0, want);
    for (std::int64_t k = 0; k < got; k += b) {
      const std::int64_t e = std::min(got, k + b);
      std::uint16_t m = 0;
      for (std::int64_t j = k; j < e; ++j) {
        m |= std::uint16_t(buf[std::size_t(j)] ^ prev);
        prev = buf[std::size_t(j)];
      }
      mask_.push_back(m);
      last_.push_back(prev);
    }
    done += got;
    // A source cut meanwhile: what was read is the recording. A last short block is whole
    // too, as the count ends there.
    if (got < want || got % b != 0) break;
  }
  count_ = done;
  mask_.resize(std::size_t((count_ + b - 1) >> blockShift_));
  last_.resize(mask_.size());

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
