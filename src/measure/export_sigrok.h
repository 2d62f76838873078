#pragma once
// sigrok sessions (".sr", the zip archive PulseView and sigrok-cli open): a "version" entry
// ("2"), a "metadata" entry naming the sample rate and channels of one device, the logic
// samples as little-endian words (unitsize 2, "logic-1-1", "logic-1-2", ...) and every analog
// channel as little-endian 32-bit floats in volts ("analog-1-<index>-1", ...; indexes counted
// on after the logic channels). Samples go into entries of kSrChunkSamples each, as sigrok
// writes them, and every entry's bytes are made while the archive is written, a piece at a
// time: a logger stream of hours is read from its file, never held in memory. The archive is
// written under a temporary name and renamed when whole.
#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/decoding.h"
#include "measure/export_plaincsv.h"

namespace tolv {

// A session's rate is a whole number of hertz: longer sample times cannot be stored.
inline constexpr int kSrRateNotWhole = -1201;
// Devices of a merged record that sample at different rates, or whose sample instants do not
// fall on one grid, cannot share a session.
inline constexpr int kSrTimesDisagree = -1202;
// Nothing to store.
inline constexpr int kSrEmpty = -1203;
// The zip library (or one of its calls) cannot be loaded.
inline constexpr int kSrNoZipLibrary = -1204;
// The target is a pipe or a device: a zip archive is written to a file and renamed.
inline constexpr int kSrNotAFile = -1205;

// The file name of the zip library sessions are written with: the one the program was built
// against, unless tests name another (empty: that one again).
void setZipLibraryName(const std::string& name);

// Samples of one entry of the archive (per channel for analog ones).
inline constexpr std::uint64_t kSrChunkSamples = 1u << 20;

struct SrAnalogChannel {
  std::string name;
  std::vector<float> values;  // volts; NaN where the channel has no sample
};

// A logger stream file the session's samples are read from while the archive is written: the
// analog logger's two channels in volts (analog[0], analog[1] are named, their values stay
// empty), or the I/O logger's line words (logic stays empty).
struct SrStreamFile {
  std::filesystem::path file;
  bool analog = false;
  std::uint64_t samples = 0;  // complete samples from the start of the file
  ConversionInputs conv;
};

struct SrSession {
  std::uint64_t sampleRate = 0;  // Hz
  std::vector<std::string> logicNames;  // at most 16; bit k of a word is logicNames[k]
  std::vector<std::uint16_t> logic;
  std::vector<SrAnalogChannel> analog;
  std::optional<SrStreamFile> stream;  // in place of logic and the analog values

  std::uint64_t sampleCount() const;
};

// The whole-hertz rate of a sample time; 0 when it has none (kSrRateNotWhole then).
std::uint64_t srSampleRate(double sampleTime);

// The metadata entry's text.
std::string srMetadataText(const SrSession& s);
// Writes the archive: 0, kSrEmpty, or the file system's / libzip's error number (positive).
int writeSrSession(const std::filesystem::path& file, const SrSession& s);

// Sessions of the program's records. Each returns 0 or kSrRateNotWhole / kSrEmpty.
int srOfScope(const PlainCsvHead& head, std::span<const ScopeSample> samples, SrSession& out);
int srOfScope(const PlainCsvHead& head, std::span<const double> ch0, std::span<const double> ch1,
              SrSession& out);
int srOfLogic(const PlainCsvHead& head, std::span<const std::uint16_t> words, SrSession& out);
// A logger stream file with its ".VXT": the analog logger's two channels in volts (by the
// header's ranges, offsets and probes), the I/O logger's 16 lines, read from the file when the
// session is written (SrSession::stream). Also 2, the header's code, kNoSamples (no time or no
// sample), kUnknownMode, or the file system's error number.
int srOfLoggerFile(const std::filesystem::path& streamFile, SrSession& out);

// A merged multi-device record: channels "<serial>_ch0", "<serial>_ch1" of every device, on
// one sample grid. The devices must share their sample time; their first samples may lie
// whole samples apart (each device is shifted onto the grid, NaN before its first and after its
// last sample). Otherwise kSrTimesDisagree, with the reason in words in *why.
int srOfMerged(const std::vector<PlainDeviceSeries>& devices, SrSession& out,
               QString* why = nullptr);

// The reason of a code in words (English), for messages.
QString srResultText(int rc);

}  // namespace tolv
