#pragma once
// Reading stored logger streams back: the analog logger's raw word pairs (converted with the
// amplitudes, offsets and probe factors of the stream's own text header) and the I/O
// logger's line words.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "common/daytime.h"
#include "device/decoding.h"
#include "device/settingsrecord.h"
#include "plot/loganal_list.h"

namespace tolv {

namespace fs = std::filesystem;

// 00 00 FF FF FF FF 00 00 00 00 FF FF FF FF 00 00
inline constexpr std::uint8_t kLoggerEndMarker[16] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                                                      0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                                                      0xFF, 0xFF, 0x00, 0x00};

// How much of a stream holds samples: every complete 4-byte sample before the end marker of a
// run the device ended, or, without it (a crashed or unplugged run), before the stream's end.
// Bytes of a sample cut off are left out, and so is the start of an end marker the run died
// in (4 to 15 bytes of it at a sample boundary). Both loggers share this.
struct StreamEnd {
  bool marker = false;          // the whole end marker ends the stream
  std::uint64_t cutMarker = 0;  // else: how many bytes of its start do
};
struct LoggerStreamShape {
  std::uint64_t bytes = 0;
  StreamEnd end;
  std::uint64_t samples = 0;  // complete samples to read, from the start of the stream
};
// The end of a stream of `bytes` bytes whose last bytes (up to 16) are `tail`.
StreamEnd streamEndOf(std::uint64_t bytes, std::span<const std::uint8_t> tail);
LoggerStreamShape loggerStreamShape(std::uint64_t bytes, const StreamEnd& end);
// The shape of a stream in memory.
LoggerStreamShape loggerStreamShape(std::span<const std::uint8_t> stream);
// The shape of a stream file, from its size and its last 16 bytes: 0, 2 when missing, or the
// error number.
int streamFileShape(const fs::path& file, LoggerStreamShape& out);

struct AnalogLoggerStream {
  SettingsRecord header;              // from the stream's ".VXT"
  std::optional<DayTime> start;       // its "Date Time": the start of the run
  std::uint64_t wordCount = 0;        // W: the file size in 16-bit words
  std::vector<std::uint16_t> raw0;    // channel 0 raw values, one per sample
  std::vector<std::uint16_t> raw1;    // channel 1

  std::size_t sampleCount() const { return raw0.size(); }
  // The header's sample time: a stored run keeps its own time axis.
  double sampleTime() const { return header.sampleTime; }
  // Conversion with Ampl, Offs, P and A all from the header (as the plot draws it).
  ConversionInputs headerConversion() const;
  double volts(int ch, std::size_t i) const;
};

// The conversion inputs a header describes (probe factors, 0.85 divider when flagged).
ConversionInputs conversionOfHeader(const SettingsRecord& h);

// Loads a DLA0 stream file and its header: the samples of loggerStreamShape. Returns 0; 2 when
// the stream or its header is missing; a header read error; kNoSamples when the stream holds
// no sample. `out` is filled only on 0.
int loadAnalogLoggerStream(const fs::path& streamFile, AnalogLoggerStream& out);

// The I/O logger's summary made while its stream is written: every byte written to the file is
// fed here as well, so the end of the run has nothing left to read.
class TIoStreamSummaryFeed {
 public:
  void clear();
  void feed(std::span<const std::uint8_t> bytes);
  std::uint64_t bytesFed() const { return bytes_; }
  TLogicSummaryBuilder& builder() { return builder_; }

 private:
  TLogicSummaryBuilder builder_;
  std::uint64_t bytes_ = 0;
  std::uint8_t partial_[4] = {};  // bytes of a sample cut by a chunk's end
  int partialCount_ = 0;
  std::vector<std::uint16_t> words_;
};

// Opens a DLDI stream as `list` (cleared first): of every sample of loggerStreamShape the second
// word, numbered from 0. The words stay in the file: the list reads them on demand and holds a
// summary of a few bytes per thousand samples, whatever the file's size. The header (and its
// time) is read too and handed out when asked for. Returns 0, 2, 5, a header error, or
// kNoSamples for a stream without samples (the list is then empty).
int loadIoLoggerStream(const fs::path& streamFile, TLogAnalList& list,
                       SettingsRecord* header = nullptr,
                       std::optional<DayTime>* start = nullptr);
// The same, taking the summary fed while the stream was written when the file holds exactly the
// bytes fed (else the file is read as above). The feed is used up either way.
int loadIoLoggerStream(const fs::path& streamFile, TLogAnalList& list, TIoStreamSummaryFeed& fed);

}  // namespace tolv
