#pragma once
// A stored analog-logger stream drawn without loading it: the file is read in pieces, once
// to summarise each channel (minimum and maximum per 64 and 4096 samples), and again only
// where a picture or a read-out needs single samples. Memory stays a few bytes per 64
// samples whatever the file's size.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "common/daytime.h"
#include "device/decoding.h"
#include "device/settingsrecord.h"
#include "plot/sampleseries.h"

namespace tolv {

namespace fs = std::filesystem;

// An open file read at 64-bit offsets. Small reads are widened to whole 256-byte blocks that
// are kept in a bounded cache (1 MiB), so the samples at every pixel column's edges are read
// from the file once for both channels and for the redraws that follow.
class TStreamFile {
 public:
  TStreamFile() = default;
  virtual ~TStreamFile();
  TStreamFile(const TStreamFile&) = delete;
  TStreamFile& operator=(const TStreamFile&) = delete;
  // 0, 2 when missing, else the error number.
  int Open(const fs::path& file);
  std::uint64_t Size() const { return size_; }
  // Exactly n bytes at offset into out; false when they are not all there.
  bool ReadAt(std::uint64_t offset, std::size_t n, std::uint8_t* out) const;

 protected:
  // Up to len bytes at `at` from the file: fewer at its end or on a read error.
  virtual std::size_t readRaw(std::uint64_t at, std::size_t len, std::uint8_t* dst) const;

 private:
  // Reads blocks [from, to) into their cache slots; false when the file gives fewer bytes.
  bool fillBlocks(std::uint64_t from, std::uint64_t to) const;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  // Block b sits in slot b % slots, tagged b + 1 (0: empty); allocated on the first small read.
  mutable std::vector<std::uint8_t> blocks_;
  mutable std::vector<std::uint64_t> tags_;
  mutable std::vector<std::uint8_t> scratch_;
  mutable std::uint64_t lastMiss_ = ~std::uint64_t(0);  // block of the last small read's miss
};

// One channel of an analog-logger stream in volts: value i is the channel's word of stream
// sample first + i.
class TLoggerChannelReader : public TSampleReader {
 public:
  TLoggerChannelReader(std::shared_ptr<const TStreamFile> file, int ch, std::uint64_t first,
                       std::uint64_t count, const ConversionInputs& conv);
  std::uint64_t Count() const override { return count_; }
  bool Read(std::uint64_t first, std::size_t n, double* out) const override;
  // Both channels' words of values first .. first + n - 1: channel 0 in the low half.
  bool ReadPairs(std::uint64_t first, std::size_t n, std::uint32_t* out) const;
  const std::vector<double>& Volts() const { return volts_; }
  void Shorten(std::uint64_t count) { count_ = std::min(count_, count); }

 private:
  // Reads values first .. first + n - 1 in pieces, handing each piece's bytes and count to take.
  template <class Take>
  bool readPieces(std::uint64_t first, std::size_t n, Take take) const;
  std::shared_ptr<const TStreamFile> file_;
  int ch_;
  std::uint64_t first_, count_;
  // The volts of every word, computed once: the same values as converting each sample.
  std::vector<double> volts_;
};

// Both channels of a stream in volts as the points of an XY curve: channel cx on X, the other
// on Y, read in pieces straight from the file.
class TLoggerPairReader : public TPairReader {
 public:
  TLoggerPairReader(std::shared_ptr<const TLoggerChannelReader> ch0,
                    std::shared_ptr<const TLoggerChannelReader> ch1, int cx);
  std::uint64_t Count() const override { return ch_[0]->Count(); }
  bool Read(std::uint64_t first, std::size_t n, double* xs, double* ys) const override;

 private:
  std::shared_ptr<const TLoggerChannelReader> ch_[2];
  int cx_;
};

struct AnalogLoggerSeries {
  SettingsRecord header;          // from the stream's ".VXT"
  std::optional<DayTime> start;   // its "Date Time"
  std::uint64_t wordCount = 0;    // W: the file size in 16-bit words
  std::uint64_t samples = 0;      // samples of the stream (the first one included)
  // The drawn samples of each channel: every one of the stream, its first included.
  std::shared_ptr<TLoggerChannelReader> reader[2];
  TMinMaxPyramid pyramid[2];
  // The largest limit the stream's distinct XY lines were found to exceed, once a drawing
  // found it: later drawings go straight to the stream instead of counting them again.
  mutable std::optional<std::uint64_t> xyLinesMoreThan;
  // The XY curve of each channel on X, made once: a re-plot of the stream (another plot mode,
  // auto-scale) hands the kernel the same curve, whose block bounds spare it the stream.
  struct KeptXY {
    std::shared_ptr<TXYSeries> series;
    std::shared_ptr<const TLoggerChannelReader> of[2];  // the readers it pairs
  };
  mutable KeptXY xyKept[2];

  // Samples drawn per channel.
  std::uint64_t drawnCount() const { return samples; }
  // A curve of channel ch for the plot, sample i at x0 + i x dx.
  std::shared_ptr<TSampleSeries> series(int ch, const WorldValue& x0, double dx) const;
  // The XY curve of all drawn samples, channel cx on X; null when there are none. The same
  // curve on every call while the readers stay.
  std::shared_ptr<TXYSeries> xySeries(int cx) const;
};

// Opens a DLA0 stream file and its header and summarises both channels in one pass over the
// file. Returns what loading the stream would: 0; 2 when the stream or its header is missing;
// a header read error; kNoSamples when it holds no sample;
// an error number (5) when it cannot be read, its first samples included. `out` is filled
// only on 0.
int openAnalogLoggerSeries(const fs::path& streamFile, AnalogLoggerSeries& out);
// The same through a file object of the caller's, not yet opened.
int openAnalogLoggerSeries(const fs::path& streamFile, std::shared_ptr<TStreamFile> file,
                           AnalogLoggerSeries& out);

}  // namespace tolv
