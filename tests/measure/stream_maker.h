#pragma once
// Seeded analog-logger streams of any length for tests and benchmarks: a text header with its
// "Date Time", then sample pairs (a slow sine with noise and rare spikes on channel 0, steps
// on channel 1), then the device's end marker unless a cut run is asked for. Written in
// pieces, so streams of hours never sit in memory.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace tolv::testfiles {

struct StreamRecipe {
  std::uint64_t samples = 1000;
  double sampleTime = 0.001;
  std::uint32_t seed = 1;
  bool marker = true;
  DayTime start{36000.25, 739000};
};

inline SettingsRecord streamHeader(const StreamRecipe& s) {
  SettingsRecord h = SettingsRecord::defaults();
  h.mode = kModeDLA0;
  h.sampleTime = s.sampleTime;
  h.amplC0 = 10.0;
  h.amplC1 = 4.0;
  h.offsC1 = 0.5;
  h.probeFactorC0 = 10.0;
  h.probeHelpFactorFlag = true;
  return h;
}

// Sample k of channel ch as the device's word.
inline std::uint16_t streamWord(const StreamRecipe& s, std::uint64_t k, int ch) {
  std::uint32_t x = std::uint32_t(k * 2654435761u) ^ s.seed ^ std::uint32_t(ch * 0x9E3779B9u);
  x ^= x >> 13;
  x *= 0x5bd1e995u;
  x ^= x >> 15;
  if (ch == 1) return std::uint16_t(((k / 3001) % 3) * 20000 + 5000 + (x & 0xFF));
  if (x % 50021 == 0) return std::uint16_t(x & 1 ? 65535 : 0);  // a spike
  const double v = 32768.0 + 25000.0 * std::sin(double(k) * 6.283185307179586 / 400000.0) +
                   double(x & 0x3FF) - 512.0;
  return std::uint16_t(v);
}

// A stream whose word of sample k on channel ch is word(k, ch). Returns 0 or the header's write
// error.
template <class Word>
int makeAnalogStreamOf(const std::filesystem::path& file, const StreamRecipe& s, Word word) {
  if (const int rc = writeTextHeader(file, streamHeader(s), s.start); rc != 0) return rc;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  std::vector<std::uint8_t> piece;
  piece.reserve(1 << 20);
  for (std::uint64_t k = 0; k < s.samples; ++k) {
    for (int ch = 0; ch < 2; ++ch) {
      const std::uint16_t w = word(k, ch);
      piece.push_back(std::uint8_t(w));
      piece.push_back(std::uint8_t(w >> 8));
    }
    if (piece.size() >= (1 << 20)) {
      out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
      piece.clear();
    }
  }
  if (s.marker) piece.insert(piece.end(), std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
  out.write(reinterpret_cast<const char*>(piece.data()), std::streamsize(piece.size()));
  return out ? 0 : 5;
}

inline int makeAnalogStream(const std::filesystem::path& file, const StreamRecipe& s) {
  return makeAnalogStreamOf(file, s, [&s](std::uint64_t k, int ch) { return streamWord(s, k, ch); });
}

}  // namespace tolv::testfiles
