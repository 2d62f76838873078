#include "measure/loggerstream.h"

#include <fstream>
#include <system_error>

#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

// Words left out at the end of a stream: the analog logger leaves ten (the eight of the end
// marker and one more sample), the I/O logger the eight of the end marker, so that no pair
// of marker words is drawn as a sample with all lines high.
constexpr std::uint64_t kAnalogTailWords = 10;
constexpr std::uint64_t kIoTailWords = 8;

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

ConversionInputs conversionOfHeader(const SettingsRecord& h) {
  ConversionInputs c;
  c.ampl = {h.amplC0, h.amplC1};
  c.offs = {h.offsC0, h.offsC1};
  c.probe = {h.probeFactorC0, h.probeFactorC1};
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
  if (s.wordCount > kAnalogTailWords) {
    const std::uint64_t end = s.wordCount - kAnalogTailWords;
    s.raw0.reserve(std::size_t(end / 2 + 1));
    s.raw1.reserve(std::size_t(end / 2 + 1));
    for (std::uint64_t p = 0; p < end; p += 2) {
      s.raw0.push_back(wordAt(bytes, p));
      s.raw1.push_back(wordAt(bytes, p + 1));
    }
  }
  if (s.raw0.empty()) return kNoSamples;
  out = std::move(s);
  return 0;
}

int loadIoLoggerStream(const fs::path& streamFile, TLogAnalList& list, SettingsRecord* header,
                       std::optional<DayTime>* start) {
  list.clear();
  std::error_code ec;
  if (!fs::exists(streamFile, ec)) return 2;
  SettingsRecord h;
  std::optional<DayTime> t;
  if (int rc = readTextHeader(streamFile, h, &t); rc != 0) return rc;
  if (header) *header = h;
  if (start) *start = t;
  std::vector<std::uint8_t> bytes;
  if (int rc = readWords(streamFile, bytes); rc != 0) return rc;
  const std::uint64_t words = bytes.size() / 2;
  if (words > kIoTailWords) {
    const std::uint64_t end = words - kIoTailWords;
    list.reserve(int(std::min<std::uint64_t>(end / 2 + 1, 1u << 30)));
    std::int32_t k = 0;
    for (std::uint64_t p = 0; p + 1 < words && p < end; p += 2) list.add(k++, wordAt(bytes, p + 1));
  }
  return list.count() > 0 ? 0 : kNoSamples;
}

}  // namespace tolv
