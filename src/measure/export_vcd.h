#pragma once
// Value Change Dump (IEEE 1364) of logic-analyser records and I/O-logger streams, the text
// GTKWave, PulseView and sigrok-cli open: one 1-bit wire per lane (D0 .. D15) in a module named
// after the device's serial number, and only the changes of the sample word, so long quiet
// stretches cost nothing.
//
// The timescale is the largest one VCD allows (1, 10 or 100 s, ms, us, ns, ps, fs) that the
// sample time is a whole multiple of; every sample lies on a multiple of it ("ticks per
// sample": 2 for 2 us samples at 1 us). The file ends with the time just after the last sample,
// so readers see the whole record. $date holds the MeasurementTime (ISO 8601), $comment the
// serial, mode, sample time, sample count, ticks per sample and the trigger: its sample, its
// VCD time, type and pattern. Time 0 is the first sample (VCD has no negative times).
#include <QString>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "measure/export_plaincsv.h"

namespace tolv {

struct VcdTimescale {
  int factor = 1;            // 1, 10 or 100
  const char* unit = "us";   // s, ms, us, ns, ps, fs
  std::int64_t ticks = 1;    // timescale units per sample
  std::string text() const;  // "10 us"
};
// The timescale of a sample time (seconds); a time of no exact grid is put on 1 fs (or 1 ns
// when that would overflow) to the nearest tick.
VcdTimescale vcdTimescaleOf(double sampleTime);

// Writes a VCD incrementally: the head at once, then words as they come, the end time last.
class TVcdWriter {
 public:
  static constexpr int kLanes = 16;
  // head.sampleTime is the step between samples; head.samples, when known, goes into the
  // comment.
  TVcdWriter(std::ostream& out, const PlainCsvHead& head);
  // Appends samples; returns 0 or 5 when the stream failed.
  int add(std::span<const std::uint16_t> words);
  // Writes the end time; 0 or 5.
  int finish();
  std::uint64_t samples() const { return n_; }

 private:
  // A sample adds at most "#", 20 digits and a line end, and a line of three characters for
  // each lane (the first one its $dumpvars block, which is shorter). Batches of samples are
  // written straight into the buffer, which keeps room for a batch at that length beyond a
  // piece; a full piece goes out.
  static constexpr std::size_t kMostPerSample = 1 + 20 + 1 + 3 * kLanes;
  static constexpr std::size_t kPiece = std::size_t(1) << 18;
  static constexpr std::size_t kBatch = 1024;
  static constexpr std::size_t kBufferBytes = kPiece + kBatch * kMostPerSample;
  char* putTime(char* p, std::uint64_t t);
  void put(std::string_view text);
  void flush();
  void flushIfLarge();
  std::ostream& out_;
  VcdTimescale scale_;
  std::string buf_;  // its whole length is room; used_ bytes of it are held
  std::size_t used_ = 0;
  std::uint64_t n_ = 0;
  std::uint16_t last_ = 0;
  bool failed_ = false;
  // The digits of a time above its last four, kept as text: they change every 10000 ticks.
  std::uint64_t high_ = 0;
  char highText_[20] = {};
  std::size_t highLength_ = 0;
};

// A whole record in one go: 0, or 5 when the stream failed.
int writeVcd(std::ostream& out, const PlainCsvHead& head, std::span<const std::uint16_t> words);
// An I/O-logger stream file with its ".VXT", read in pieces. 0, 2 when missing, the header's
// code, kNoSamples for a header without time, kUnknownMode for a stream of another mode,
// kDamagedFile when it shrank while read, 5 when the output failed.
int writeVcdLoggerFile(std::ostream& out, const std::filesystem::path& streamFile,
                       const QString& serial);

}  // namespace tolv
