#pragma once
// Plain CSV for analysis tools (pandas, R, LibreOffice, gnuplot): "." as decimal mark and ","
// between cells whatever the window's separators, LF line ends, one record block after
// another on one std::ostream (a file or standard output).
//
// A record block:
//   # multi_tolvanex plain CSV                       <- always the first line of a block
//   # serial: 20A4711
//   # mode: OSA0 scope                                <- mode code, then what it is
//   # measurement_time: 2026-12-09T14:30:15.120      <- ISO 8601, local time, milliseconds
//   # sample_time_s: 1e-05
//   # samples: 131000                                 <- absent for streams of unknown length
//   # ch0_range_Vpp: 10  (and ch1_, _offset_V, _probe; probe_divider: 0.85 when in use)
//   # trigger_type: E  (trigger_channel, trigger_point_percent, trigger_sample, lower/upper
//   #                   threshold_V, trigger_pattern where the record has them)
//   # time_origin: trigger | first sample | measurement_time
//   time_s,ch0_V,ch1_V                                <- the one header line
//   -0.00131,1.5,-0.25                                <- one row per sample
// Header lines per kind: scope and analog logger "time_s,ch0_V,ch1_V"; logic analyser and
// I/O logger "time_s,D0,...,D15" with 0/1 cells; voltmeter "time_s,ch0_V,ch1_V" (the raw modes
// too: their readings are stored as volts); a merged multi-device record "time_s,<serial>_ch0_V,..." when all
// devices share their sample times, else "<serial>_time_s,<serial>_ch0_V,..." per device.
// Keys of the '#' lines are never renamed; new ones may be added. Times are exact decimals
// of sample number x sample time; values are the shortest text that reads back to the stored
// number (float samples as floats, computed volts as doubles).
#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/daytime.h"
#include "common/voltmeterreading.h"
#include "device/decoding.h"
#include "measure/datafiles.h"
#include "plot/loganal_list.h"

namespace tolv {

// The first line of every block: what tells the program's plain CSV from other tables.
inline constexpr std::string_view kPlainCsvFirstLine = "# multi_tolvanex plain CSV";

// What the '#' lines of a block tell; unknown parts stay unset and are left out.
struct PlainCsvHead {
  QString serial;
  ModeCode mode = 0;
  std::optional<DayTime> time;  // the MeasurementTime
  double sampleTime = 0;        // seconds; 0: none (voltmeter)
  std::int64_t samples = -1;    // -1: not known up front
  bool hasConversion = false;   // ranges, offsets and probes below are known
  ConversionInputs conversion;  // aux 1.0 when no divider is in use
  std::string trgTypString;
  std::optional<int> triggerChannel;  // 1-based
  std::optional<double> triggerPoint;  // per cent of the record
  // Where the trigger stands, in samples from the first; when set, time 0 is the trigger.
  std::optional<double> triggerSample;
  std::optional<double> lowerThresholdV, upperThresholdV;
  std::string pattern;  // logic analyser: the eight-character trigger pattern
  // The block's own '#' lines after the common ones ("key: value").
  std::vector<std::string> extra;
};

// The head of a record from its settings (the record's own, as a stored header keeps them).
// Trigger fields are set where the record's trigger type has them.
PlainCsvHead plainHeadOf(const RecordInfo& info, std::int64_t samples);
// The trigger's sample from a pretrigger time stored as a decimal: the quotient of two decimals
// is seldom exact in binary (0.0005 / 0.000001 is 499.99999999999994), so it is taken to the
// millionth of a sample the heads keep.
double triggerSampleOfPretrigger(double pretriggerTime, double sampleTime);
// The head of a stored ".VXD" (no ranges: the file does not keep them).
PlainCsvHead plainHeadOfVxd(const VxdHeader& h, ModeCode mode);

// The '#' lines and nothing else (tests and callers that add their own header line).
std::string plainCsvComments(const PlainCsvHead& head);

// Each writes one whole block: 0, or 5 when the stream failed.
int writePlainScope(std::ostream& out, const PlainCsvHead& head,
                    std::span<const ScopeSample> samples);
int writePlainScope(std::ostream& out, const PlainCsvHead& head, std::span<const double> ch0,
                    std::span<const double> ch1);
// Logic analyser: one 16-bit word per sample, line k in bit k.
int writePlainLogic(std::ostream& out, const PlainCsvHead& head,
                    std::span<const std::uint16_t> words);
int writePlainLogic(std::ostream& out, const PlainCsvHead& head, const TLogAnalList& list);
// A whole voltmeter series; times count from head.time (else from the first reading).
int writePlainVoltmeter(std::ostream& out, const PlainCsvHead& head,
                        std::span<const VoltmeterReading> readings);

// A voltmeter run streamed: the block's head at once, then one flushed line per reading, so a
// pipe reader sees every reading when it comes.
class TPlainVoltmeterStream {
 public:
  TPlainVoltmeterStream(std::ostream& out, const PlainCsvHead& head);
  // 0, or 5 when the stream failed.
  int add(const VoltmeterReading& r);
  int status() const { return status_; }

 private:
  std::ostream& out_;
  std::optional<DayTime> origin_;
  int status_ = 0;
};

// Logger streams (raw bytes as the device sends them, 4 bytes per sample): the analog logger's
// two raw words per sample in volts by `conv`, the I/O logger's second word as its lines. The
// in-memory forms take the shape from the bytes; the file forms read a stream of any length in
// pieces, with the header of its ".VXT". Time counts from the start of the run.
int writePlainAnalogLogger(std::ostream& out, const PlainCsvHead& head,
                           std::span<const std::uint8_t> stream);
int writePlainIoLogger(std::ostream& out, const PlainCsvHead& head,
                       std::span<const std::uint8_t> stream);
// 0, 2 when the stream or its header is missing, the header's code, kNoSamples for a header
// without time, kDamagedFile when the file shrank while read, 5 when the output failed.
int writePlainLoggerFile(std::ostream& out, const std::filesystem::path& streamFile,
                         const QString& serial);
// The ".VXT" of a logger stream file as every export reads it: 0, 2 when the stream is missing,
// the header's code, kNoSamples for a header without time.
int readLoggerStreamHeader(const std::filesystem::path& streamFile, SettingsRecord& header,
                           DayTime& start);

// One device of a merged multi-device record: its times (s, from its own trigger moment as
// the merged file keeps them) and both channels.
struct PlainDeviceSeries {
  QString serial;
  std::vector<double> time, ch0, ch1;
  std::string unit0 = "V", unit1 = "V";
};
// One block; a device shorter than the others leaves its cells empty in the late rows.
int writePlainMerged(std::ostream& out, const PlainCsvHead& head,
                     const std::vector<PlainDeviceSeries>& devices);

// "2026-12-09T14:30:15.120" (milliseconds cut).
std::string isoTimeText(const DayTime& t);

// The exact decimal text of n x step - origin for steps with a short decimal form
// (1e-05, 2.5e-06, 0.001): no binary rounding noise in a time column.
class TPlainTimeAxis {
 public:
  // originSamples: the sample that stands at time 0.
  explicit TPlainTimeAxis(double step, double originSamples = 0);
  void append(std::string& s, std::int64_t n) const;

 private:
  double step_;
  double origin_;
  bool exact_ = false;
  std::int64_t stepUnits_ = 0;    // step x 10^decimals
  std::int64_t originUnits_ = 0;  // origin x step x 10^decimals
  int decimals_ = 0;
};

}  // namespace tolv
