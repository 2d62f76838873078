#include "measure/loggerseries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

// A small read is widened to whole blocks of this many bytes (64 samples) and kept: the samples
// at the end of one pixel column and at the start of the next lie in one block. Kept small, as
// a picture of a long run reads a few samples at every column edge, far apart.
constexpr std::size_t kBlockBytes = 256;
constexpr std::size_t kSmallRead = 4096;
// Slots of the block cache: room for the column edges of a few pictures 4000 pixels wide.
constexpr std::size_t kCacheSlots = 4096;
// Small reads marching forward in short steps (the column edges of a zoomed picture) take this
// many blocks at once, so one system call serves many columns.
constexpr std::uint64_t kAheadBlocks = 64 * 1024 / kBlockBytes;
// Bytes read per piece while summarising.
constexpr std::size_t kPieceBytes = 1 << 20;

std::uint16_t wordOf(const std::uint8_t* p) {
  return std::uint16_t(p[0] | (p[1] << 8));
}

}  // namespace

TStreamFile::~TStreamFile() {
  if (fd_ >= 0) ::close(fd_);
}

int TStreamFile::Open(const fs::path& file) {
  // Opened again: the old file's descriptor and kept blocks go, so none of its bytes is served.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  tags_.clear();
  lastMiss_ = ~std::uint64_t(0);
  std::error_code ec;
  if (!fs::exists(file, ec)) return 2;
  if (!fs::is_regular_file(file, ec)) return 5;
  fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return errno == ENOENT ? 2 : 5;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || st.st_size < 0) return 5;
  size_ = std::uint64_t(st.st_size);
  return 0;
}

std::size_t TStreamFile::readRaw(std::uint64_t at, std::size_t len, std::uint8_t* dst) const {
  std::size_t got = 0;
  while (got < len) {
    const ssize_t r = ::pread(fd_, dst + got, len - got, off_t(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return got;
    got += std::size_t(r);
  }
  return got;
}

bool TStreamFile::fillBlocks(std::uint64_t from, std::uint64_t to) const {
  const std::size_t len = std::size_t((to - from) * kBlockBytes);
  scratch_.resize(len);
  if (readRaw(from * kBlockBytes, len, scratch_.data()) != len) return false;
  for (std::uint64_t b = from; b < to; ++b) {
    const std::size_t slot = std::size_t(b % kCacheSlots);
    std::memcpy(blocks_.data() + slot * kBlockBytes,
                scratch_.data() + std::size_t(b - from) * kBlockBytes, kBlockBytes);
    tags_[slot] = b + 1;
  }
  return true;
}

bool TStreamFile::ReadAt(std::uint64_t offset, std::size_t n, std::uint8_t* out) const {
  if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
  if (n == 0) return true;
  const std::uint64_t b0 = offset / kBlockBytes, b1 = (offset + n - 1) / kBlockBytes;
  const std::uint64_t wholeBlocks = size_ / kBlockBytes;
  // Large reads, and the file's last partial block, go to the file directly.
  if (n > kSmallRead || b1 >= wholeBlocks) return readRaw(offset, n, out) == n;
  if (tags_.empty()) {
    blocks_.resize(kCacheSlots * kBlockBytes);
    tags_.assign(kCacheSlots, 0);
  }
  std::uint64_t miss = b0;
  while (miss <= b1 && tags_[std::size_t(miss % kCacheSlots)] == miss + 1) ++miss;
  if (miss <= b1) {
    // The block after is taken too: a column's first samples often end a few bytes into it.
    std::uint64_t end = std::max(b1 + 1, miss + 2);
    if (miss > lastMiss_ && miss - lastMiss_ < kAheadBlocks / 8) end = miss + kAheadBlocks;
    end = std::min(end, wholeBlocks);
    lastMiss_ = miss;
    // A short read keeps nothing; the bytes asked for may still be there before the failure.
    if (!fillBlocks(miss, end)) return readRaw(offset, n, out) == n;
  }
  for (std::uint64_t b = b0; b <= b1; ++b) {
    const std::uint64_t start = std::max(offset, b * kBlockBytes);
    const std::uint64_t stop = std::min(offset + n, (b + 1) * kBlockBytes);
    std::memcpy(out + (start - offset),
                blocks_.data() + std::size_t(b % kCacheSlots) * kBlockBytes +
                    std::size_t(start - b * kBlockBytes),
                std::size_t(stop - start));
  }
  return true;
}

TLoggerChannelReader::TLoggerChannelReader(std::shared_ptr<const TStreamFile> file, int ch,
                                           std::uint64_t first, std::uint64_t count,
                                           const ConversionInputs& conv)
    : file_(std::move(file)), ch_(ch), first_(first), count_(count), volts_(65536) {
  for (std::size_t w = 0; w < volts_.size(); ++w) volts_[w] = conv.rawToVolts(ch, std::uint32_t(w));
}

template <class Take>
bool TLoggerChannelReader::readPieces(std::uint64_t first, std::size_t n, Take take) const {
  if (first > count_ || n > count_ - first) return false;
  std::uint8_t buf[4096];
  while (n > 0) {
    const std::size_t m = std::min<std::size_t>(n, sizeof buf / 4);
    if (!file_->ReadAt((first_ + first) * 4, m * 4, buf)) return false;
    take(buf, m);
    first += m;
    n -= m;
  }
  return true;
}

bool TLoggerChannelReader::Read(std::uint64_t first, std::size_t n, double* out) const {
  return readPieces(first, n, [&](const std::uint8_t* buf, std::size_t m) {
    for (std::size_t k = 0; k < m; ++k)
      out[k] = volts_[wordOf(buf + 4 * k + 2 * std::size_t(ch_))];
    out += m;
  });
}

bool TLoggerChannelReader::ReadPairs(std::uint64_t first, std::size_t n,
                                     std::uint32_t* out) const {
  return readPieces(first, n, [&](const std::uint8_t* buf, std::size_t m) {
    for (std::size_t k = 0; k < m; ++k)
      out[k] = std::uint32_t(wordOf(buf + 4 * k)) | std::uint32_t(wordOf(buf + 4 * k + 2)) << 16;
    out += m;
  });
}

std::shared_ptr<TSampleSeries> AnalogLoggerSeries::series(int ch, const WorldValue& x0,
                                                          double dx) const {
  const int c = ch == 1 ? 1 : 0;
  return std::make_shared<TSampleSeries>(reader[c], pyramid[c], x0, dx);
}

TLoggerPairReader::TLoggerPairReader(std::shared_ptr<const TLoggerChannelReader> ch0,
                                     std::shared_ptr<const TLoggerChannelReader> ch1, int cx)
    : ch_{std::move(ch0), std::move(ch1)}, cx_(cx == 1 ? 1 : 0) {}

bool TLoggerPairReader::Read(std::uint64_t first, std::size_t n, double* xs, double* ys) const {
  std::vector<std::uint32_t> words(n);
  if (!ch_[0]->ReadPairs(first, n, words.data())) return false;
  const std::vector<double>& vx = ch_[cx_]->Volts();
  const std::vector<double>& vy = ch_[1 - cx_]->Volts();
  const int sx = 16 * cx_, sy = 16 - sx;
  for (std::size_t k = 0; k < n; ++k) {
    xs[k] = vx[words[k] >> sx & 0xFFFF];
    ys[k] = vy[words[k] >> sy & 0xFFFF];
  }
  return true;
}

std::shared_ptr<TXYSeries> AnalogLoggerSeries::xySeries(int cx) const {
  const int x = cx == 1 ? 1 : 0, y = 1 - x;
  KeptXY& kept = xyKept[x];
  if (kept.series && kept.of[0] == reader[0] && kept.of[1] == reader[1]) return kept.series;
  kept = {};
  auto s = std::make_shared<TXYSeries>();
  if (!reader[0] || !reader[1] || !pyramid[x].Bounds(s->xlo, s->xhi) ||
      !pyramid[y].Bounds(s->ylo, s->yhi))
    return nullptr;
  s->reader = std::make_shared<TLoggerPairReader>(reader[0], reader[1], x);
  kept = {s, {reader[0], reader[1]}};
  return s;
}

int openAnalogLoggerSeries(const fs::path& streamFile, AnalogLoggerSeries& out) {
  return openAnalogLoggerSeries(streamFile, std::make_shared<TStreamFile>(), out);
}

int openAnalogLoggerSeries(const fs::path& streamFile, std::shared_ptr<TStreamFile> file,
                           AnalogLoggerSeries& out) {
  std::error_code ec;
  if (!fs::exists(streamFile, ec)) return 2;
  AnalogLoggerSeries s;
  if (int rc = readTextHeader(streamFile, s.header, &s.start); rc != 0) return rc;
  LoggerStreamShape shape;
  if (int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  if (int rc = file->Open(streamFile); rc != 0) return rc;
  s.wordCount = file->Size() / 2;
  // A file that shrank since its size was taken keeps the samples still there.
  s.samples = std::min(shape.samples, file->Size() / 4);
  if (s.samples == 0) return kNoSamples;
  const ConversionInputs conv = conversionOfHeader(s.header);
  for (int ch = 0; ch < 2; ++ch)
    s.reader[ch] = std::make_shared<TLoggerChannelReader>(file, ch, 0, s.samples, conv);
  const std::vector<double>* table[2] = {&s.reader[0]->Volts(), &s.reader[1]->Volts()};
  for (TMinMaxPyramid& p : s.pyramid) p.Reserve(s.samples);
  // One pass over the file: both channels' summaries of every sample.
  std::vector<std::uint8_t> piece(kPieceBytes);
  std::vector<double> v0(kPieceBytes / 4), v1(kPieceBytes / 4);
  for (std::uint64_t k = 0; k < s.samples;) {
    const std::size_t m = std::size_t(std::min<std::uint64_t>(s.samples - k, kPieceBytes / 4));
    if (!file->ReadAt(k * 4, m * 4, piece.data())) {
      // Unreadable from the start, the stream cannot be shown; later, it is drawn as far as
      // it could be read.
      if (k == 0) return 5;
      s.samples = k;
      break;
    }
    for (std::size_t i = 0; i < m; ++i) {
      v0[i] = (*table[0])[wordOf(piece.data() + 4 * i)];
      v1[i] = (*table[1])[wordOf(piece.data() + 4 * i + 2)];
    }
    s.pyramid[0].Append(v0.data(), m);
    s.pyramid[1].Append(v1.data(), m);
    k += m;
  }
  // A file that shrank while it was read is drawn as far as it could be read.
  for (int ch = 0; ch < 2; ++ch) s.reader[ch]->Shorten(s.drawnCount());
  out = std::move(s);
  return 0;
}

}  // namespace tolv
