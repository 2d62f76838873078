#pragma once
// Summary of a long logic recording whose words stay in a file: per block of samples the lanes
// that change within it and the block's last word, and per 64 blocks the lanes that change.
// A timing diagram asks it which lanes change within a pixel column and what the word is at
// the column's end; only the samples of the two blocks cut by a column edge are read again.
#include <cstdint>
#include <memory>
#include <vector>

namespace tolv {

// Words of a recording held elsewhere, read by index.
class TLogicWords {
 public:
  virtual ~TLogicWords() = default;
  virtual std::int64_t count() const = 0;
  // Reads words first .. first + n - 1 into out; returns how many could be read.
  virtual std::int64_t read(std::int64_t first, std::int64_t n, std::uint16_t* out) const = 0;
};

class TLogicSummary;

// Builds a recording's summary from its words as they come, in pieces of any size (while a
// run streams to its file, so nothing is left to read at its end). The last kHeld words wait:
// the end of a stream may turn out not to be samples, and finish() leaves them out then.
class TLogicSummaryBuilder {
 public:
  static constexpr std::int64_t kHeld = 16;

  void push(const std::uint16_t* words, std::int64_t n);
  // Words pushed so far.
  std::int64_t pushed() const { return summarized_ + std::int64_t(held_.size()); }
  // Ends the recording after its first n words: false (and nothing changed) when fewer were
  // pushed, or more than the held ones would have to be taken back.
  bool finish(std::int64_t n);
  bool finished() const { return finished_; }
  void clear() { *this = TLogicSummaryBuilder(); }

 private:
  friend class TLogicSummary;
  void summarize(std::uint16_t w);

  int blockShift_ = 6;
  std::int64_t summarized_ = 0;
  std::uint16_t prev_ = 0;
  std::uint16_t blockMask_ = 0;
  std::int64_t inBlock_ = 0;
  std::vector<std::uint16_t> mask_;
  std::vector<std::uint16_t> last_;
  std::vector<std::uint16_t> held_;
  bool finished_ = false;
};

class TLogicSummary {
 public:
  // The block summary never holds more entries than this, whatever the recording's length:
  // longer recordings take longer blocks.
  static constexpr std::int64_t kMaxBlocks = std::int64_t(1) << 21;
  static constexpr int kMinBlockShift = 6;  // 64 samples
  static constexpr int kGroupShift = 6;     // 64 blocks per group

  // Reads the whole recording once, in pieces, and summarises it. A word source that returns
  // fewer words than it counts (a file cut meanwhile) is summarised as far as it could be read.
  explicit TLogicSummary(std::shared_ptr<const TLogicWords> words);
  // Takes a summary built while the words were written, when it is finished and counts as
  // many words as the source; otherwise reads the source as above.
  TLogicSummary(std::shared_ptr<const TLogicWords> words, TLogicSummaryBuilder&& built);

  std::int64_t count() const { return count_; }
  int blockShift() const { return blockShift_; }

  // Word of sample i; 0 outside the recording, as a filler entry reads.
  std::uint16_t wordAt(std::int64_t i) const;

  // Lanes that change from sample j - 1 to sample j for some j in a .. b (words outside the
  // recording read 0); wordAtB gets the word of sample b.
  std::uint16_t changesIn(std::int64_t a, std::int64_t b, std::uint16_t& wordAtB) const;

  // Bytes held by the summary and its read buffer.
  std::size_t memoryBytes() const;

 private:
  void readAll();
  void adopt(TLogicSummaryBuilder&& b);
  std::int64_t blockSize() const { return std::int64_t(1) << blockShift_; }
  const std::uint16_t* block(std::int64_t k) const;
  // Changes within samples a .. b of one block (both inside the recording).
  std::uint16_t changesInBlock(std::int64_t a, std::int64_t b) const;
  // Changes of whole blocks ka .. kb.
  std::uint16_t changesOfBlocks(std::int64_t ka, std::int64_t kb) const;

  std::shared_ptr<const TLogicWords> words_;
  std::int64_t count_ = 0;
  int blockShift_ = kMinBlockShift;
  std::vector<std::uint16_t> mask_;   // per block
  std::vector<std::uint16_t> last_;   // per block: word of its last sample
  std::vector<std::uint16_t> group_;  // per group of blocks

  mutable std::int64_t cachedBlock_ = -1;
  mutable std::vector<std::uint16_t> cache_;
};

}  // namespace tolv
