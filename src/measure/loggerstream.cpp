#include "measure/loggerstream.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <system_error>

#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

int readWords(const fs::path& file, std::vector<std::uint8_t>& bytes) {
  std::error_code ec;
  if (!fs::exists(file, ec)) return 2;
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return 5;
  const std::streamoff size = in.tellg();
  if (size < 0) return 5;
  bytes.resize(std::size_t(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
  // A file that shrank meanwhile keeps what could be read.
  bytes.resize(std::size_t(in.gcount()));
  return in.bad() ? 5 : 0;
}

std::uint16_t wordAt(const std::vector<std::uint8_t>& b, std::uint64_t w) {
  return std::uint16_t(b[std::size_t(2 * w)] | (b[std::size_t(2 * w + 1)] << 8));
}

}  // namespace

StreamEnd streamEndOf(std::uint64_t bytes, std::span<const std::uint8_t> tail) {
  StreamEnd e;
  constexpr std::size_t m = sizeof kLoggerEndMarker;
  if (tail.size() >= m && std::equal(std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker),
                                     tail.end() - std::ptrdiff_t(m))) {
    e.marker = true;
    return e;
  }
  // The longest start of the marker that ends the stream at a sample boundary.
  for (std::size_t k = std::min(tail.size(), m - 1); k >= 4; --k) {
    if ((bytes - k) % 4 != 0) continue;
    if (std::equal(tail.end() - std::ptrdiff_t(k), tail.end(), std::begin(kLoggerEndMarker))) {
      e.cutMarker = k;
      break;
    }
  }
  return e;
}

// Both loggers send whole 4-byte samples and end with the 16-byte marker: every complete
// sample before it is a measurement, and no marker word is read as one (the I/O logger would
// draw it as a sample with all lines high or low).
LoggerStreamShape loggerStreamShape(std::uint64_t bytes, const StreamEnd& end) {
  const std::uint64_t cut = end.marker ? sizeof kLoggerEndMarker : end.cutMarker;
  return {bytes, end, bytes > cut ? (bytes - cut) / 4 : 0};
}

namespace {

std::span<const std::uint8_t> tailOf(std::span<const std::uint8_t> stream) {
  return stream.last(std::min<std::size_t>(stream.size(), sizeof kLoggerEndMarker));
}

}  // namespace

LoggerStreamShape loggerStreamShape(std::span<const std::uint8_t> stream) {
  return loggerStreamShape(stream.size(), streamEndOf(stream.size(), tailOf(stream)));
}

int streamFileShape(const fs::path& file, LoggerStreamShape& out) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return fs::exists(file, ec) ? 5 : 2;
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return 5;
  const std::streamoff size = in.tellg();
  if (size < 0) return 5;
  std::uint8_t tail[sizeof kLoggerEndMarker] = {};
  const std::size_t n = std::size_t(std::min<std::streamoff>(size, std::streamoff(sizeof tail)));
  in.seekg(size - std::streamoff(n));
  in.read(reinterpret_cast<char*>(tail), std::streamsize(n));
  if (in.gcount() != std::streamsize(n)) return 5;
  const StreamEnd end = streamEndOf(std::uint64_t(size), std::span(tail, n));
  out = loggerStreamShape(std::uint64_t(size), end);
  return 0;
}

ConversionInputs conversionOfHeader(const SettingsRecord& h) {
  ConversionInputs c;
  c.ampl = {h.amplC0, h.amplC1};
  c.offs = {h.offsC0, h.offsC1};
  c.probe = {probeFactorInForce(h.probeFactorC0), probeFactorInForce(h.probeFactorC1)};
  c.aux = h.probeHelpFactorFlag ? 0.85 : 1.0;
  return c;
}

ConversionInputs AnalogLoggerStream::headerConversion() const {
  return conversionOfHeader(header);
}

double AnalogLoggerStream::volts(int ch, std::size_t i) const {
  const auto& raw = ch == 1 ? raw1 : raw0;
  if (i >= raw.size()) return 0.0;
  return headerConversion().rawToVolts(ch, raw[i]);
}

int loadAnalogLoggerStream(const fs::path& streamFile, AnalogLoggerStream& out) {
  std::error_code ec;
  if (!fs::exists(streamFile, ec)) return 2;
  AnalogLoggerStream s;
  if (int rc = readTextHeader(streamFile, s.header, &s.start); rc != 0) return rc;
  std::vector<std::uint8_t> bytes;
  if (int rc = readWords(streamFile, bytes); rc != 0) return rc;
  s.wordCount = bytes.size() / 2;
  const LoggerStreamShape shape = loggerStreamShape(bytes);
  s.raw0.reserve(std::size_t(shape.samples));
  s.raw1.reserve(std::size_t(shape.samples));
  for (std::uint64_t k = 0; k < shape.samples; ++k) {
    s.raw0.push_back(wordAt(bytes, 2 * k));
    s.raw1.push_back(wordAt(bytes, 2 * k + 1));
  }
  if (s.raw0.empty()) return kNoSamples;
  out = std::move(s);
  return 0;
}

namespace {

// The line words of an I/O-logger stream file: the second word of every 4-byte sample, read
// from the file when asked for.
class TIoStreamWords : public TLogicWords {
 public:
  TIoStreamWords(const fs::path& file, std::int64_t samples)
      : in_(file, std::ios::binary), samples_(samples) {}
  bool ok() const { return bool(in_); }
  std::int64_t count() const override { return samples_; }
  std::int64_t read(std::int64_t first, std::int64_t n, std::uint16_t* out) const override {
    if (first < 0 || n <= 0 || first >= samples_) return 0;
    n = std::min(n, samples_ - first);
    bytes_.resize(std::size_t(n) * 4);
    in_.clear();
    in_.seekg(std::streamoff(first) * 4);
    in_.read(reinterpret_cast<char*>(bytes_.data()), std::streamsize(bytes_.size()));
    // A file that shrank meanwhile gives what could be read.
    const std::int64_t got = std::int64_t(in_.gcount()) / 4;
    for (std::int64_t i = 0; i < got; ++i)
      out[i] =
          std::uint16_t(bytes_[std::size_t(4 * i + 2)] | (bytes_[std::size_t(4 * i + 3)] << 8));
    return got;
  }

 private:
  mutable std::ifstream in_;
  mutable std::vector<std::uint8_t> bytes_;
  std::int64_t samples_;
};

}  // namespace

void TIoStreamSummaryFeed::clear() {
  builder_.clear();
  bytes_ = 0;
  partialCount_ = 0;
  words_.clear();
}

void TIoStreamSummaryFeed::feed(std::span<const std::uint8_t> bytes) {
  bytes_ += bytes.size();
  words_.clear();
  std::size_t k = 0;
  // A sample cut by the last chunk's end is completed first.
  if (partialCount_ > 0) {
    const std::size_t have = std::size_t(partialCount_) & 3u;
    k = std::min(4 - have, bytes.size());
    std::copy_n(bytes.begin(), k, partial_ + have);
    partialCount_ = int(have + k);
    if (partialCount_ == 4) {
      words_.push_back(std::uint16_t(partial_[2] | (partial_[3] << 8)));
      partialCount_ = 0;
    }
  }
  for (; k + 4 <= bytes.size(); k += 4)
    words_.push_back(std::uint16_t(bytes[k + 2] | (bytes[k + 3] << 8)));
  if (k < bytes.size() && partialCount_ == 0) {
    std::copy(bytes.begin() + std::ptrdiff_t(k), bytes.end(), partial_);
    partialCount_ = int(bytes.size() - k);
  }
  builder_.push(words_.data(), std::int64_t(words_.size()));
}

namespace {

int loadIoStream(const fs::path& streamFile, TLogAnalList& list, SettingsRecord* header,
                 std::optional<DayTime>* start, TIoStreamSummaryFeed* fed) {
  list.clear();
  std::error_code ec;
  if (!fs::exists(streamFile, ec)) return 2;
  SettingsRecord h;
  std::optional<DayTime> t;
  if (int rc = readTextHeader(streamFile, h, &t); rc != 0) return rc;
  if (header) *header = h;
  if (start) *start = t;
  LoggerStreamShape shape;
  if (int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  // The words stay in the file: the list reads them on demand and the plot draws from the
  // summary, so memory does not grow with the length of the run.
  auto words = std::make_shared<TIoStreamWords>(
      streamFile, std::int64_t(std::min<std::uint64_t>(shape.samples, INT64_MAX / 4)));
  if (!words->ok()) return 5;
  const std::int64_t samples = words->count();
  std::shared_ptr<const TLogicSummary> summary;
  if (fed && fed->bytesFed() == shape.bytes && fed->builder().finish(samples))
    summary = std::make_shared<const TLogicSummary>(std::move(words), std::move(fed->builder()));
  else
    summary = std::make_shared<const TLogicSummary>(std::move(words));
  if (summary->count() == 0) return kNoSamples;
  list.attachStream(std::move(summary));
  return 0;
}

}  // namespace

int loadIoLoggerStream(const fs::path& streamFile, TLogAnalList& list, SettingsRecord* header,
                       std::optional<DayTime>* start) {
  return loadIoStream(streamFile, list, header, start, nullptr);
}

int loadIoLoggerStream(const fs::path& streamFile, TLogAnalList& list, TIoStreamSummaryFeed& fed) {
  const int rc = loadIoStream(streamFile, list, nullptr, nullptr, &fed);
  fed.clear();
  return rc;
}

}  // namespace tolv
