#include "measure/export_plaincsv.h"

#include <QDateTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

#include "common/format.h"
#include "common/rawvolts.h"
#include "measure/derived.h"
#include "measure/intermediate.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

constexpr int kOutputFailed = 5;  // EIO: the stream would not take the text
// Text is handed to the stream in pieces of about this size.
constexpr std::size_t kPiece = std::size_t(1) << 20;

void appendDouble(std::string& s, double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

// A time cell: the shortest digits that read back as the value, never in exponent form
// ("0.0009", not "9e-04"), the form of every time column. Any double fits the buffer.
void appendTime(std::string& s, double v) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  s.append(buf, r.ptr);
}

// A float sample written as a float: "0.1", not the double nearest to 0.1f.
void appendFloat(std::string& s, float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

// A measured value kept in a double: readings are worked out in float precision, and their
// double's every digit ("0.7845357060432434") claims a precision the value never had, so a
// double that is exactly a float is written as that float's shortest text; any other double
// keeps all of its digits, so nothing is lost either way.
void appendSample(std::string& s, double v) {
  const float f = float(v);
  if (double(f) == v)
    appendFloat(s, f);
  else
    appendDouble(s, v);
}

void appendInt(std::string& s, std::int64_t v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  s.append(buf, r.ptr);
}

std::string doubleText(double v) {
  std::string s;
  appendDouble(s, v);
  return s;
}

void appendBits(std::string& s, std::uint16_t w) {
  for (int b = 0; b < 16; ++b) {
    s += ',';
    s += (w >> b) & 1 ? '1' : '0';
  }
}

const char* modeWords(ModeCode m) {
  if (m == kModeOSA0) return "scope";
  if (m == kModeLAIO) return "logic analyser";
  if (m == kModeDLA0) return "analog logger";
  if (m == kModeDLDI) return "I/O logger";
  if (m == kModeVMD0) return "DC voltmeter";
  if (m == kModeVMD1) return "DC voltmeter, volts from raw converter values";
  if (m == kModeVMA0) return "AC voltmeter (RMS)";
  if (m == kModeVMA1) return "AC voltmeter (RMS), volts from raw converter values";
  return "";
}

std::string modeText(ModeCode m) {
  std::string s;
  for (int i = 0; i < 4; ++i) {
    const char c = char((m >> (24 - 8 * i)) & 0xFF);
    s += (c > 32 && c < 127) ? c : '?';
  }
  const std::string words = modeWords(m);
  return words.empty() ? s : s + ' ' + words;
}

// Hands a growing text to the stream in pieces; remembers a failure.
class Sink {
 public:
  explicit Sink(std::ostream& out) : out_(out) { text_.reserve(kPiece + 4096); }
  std::string& text() { return text_; }
  void maybeFlush() {
    if (text_.size() >= kPiece) flush();
  }
  int finish() {
    flush();
    out_.flush();
    return out_ ? 0 : kOutputFailed;
  }

 private:
  void flush() {
    if (!text_.empty() && out_) out_.write(text_.data(), std::streamsize(text_.size()));
    text_.clear();
  }
  std::ostream& out_;
  std::string text_;
};

void appendComment(std::string& s, const char* key, const std::string& value) {
  s += "# ";
  s += key;
  s += ": ";
  s += value;
  s += '\n';
}

}  // namespace

std::string isoTimeText(const DayTime& t) {
  // Milliseconds cut as in the window's CSV cells and file names: both name one moment alike.
  const QString d = csvDateText(t);  // MM.DD.YYYY
  return (d.mid(6) + QLatin1Char('-') + d.left(2) + QLatin1Char('-') + d.mid(3, 2) +
          QLatin1Char('T') + csvTimeText(t))
      .toStdString();
}

TPlainTimeAxis::TPlainTimeAxis(double step, double originSamples)
    : step_(step), origin_(originSamples) {
  if (!(std::isfinite(step) && step > 0 && std::isfinite(originSamples))) return;
  // The shortest decimal form of the step, if it has one of at most 15 places.
  double scale = 1.0;
  for (int d = 0; d <= 15; ++d, scale *= 10.0) {
    const double k = step * scale;
    if (k > 1e12) return;
    const double r = std::nearbyint(k);
    if (r >= 1 && std::fabs(k - r) <= 1e-9) {
      const double o = originSamples * r;
      if (std::fabs(o) > 1e15 || std::fabs(o - std::nearbyint(o)) > 1e-6) return;
      exact_ = true;
      decimals_ = d;
      stepUnits_ = std::int64_t(r);
      originUnits_ = std::int64_t(std::nearbyint(o));
      return;
    }
  }
}

void TPlainTimeAxis::append(std::string& s, std::int64_t n) const {
  if (!exact_) {
    appendTime(s, (double(n) - origin_) * step_);
    return;
  }
  __int128 v = __int128(n) * stepUnits_ - originUnits_;
  if (v < 0) {
    s += '-';
    v = -v;
  }
  __int128 p = 1;
  for (int i = 0; i < decimals_; ++i) p *= 10;
  appendInt(s, std::int64_t(v / p));
  std::int64_t frac = std::int64_t(v % p);
  if (frac == 0) return;
  int places = decimals_;
  while (frac % 10 == 0) {
    frac /= 10;
    --places;
  }
  char digits[20];
  for (int i = places - 1; i >= 0; --i, frac /= 10) digits[i] = char('0' + frac % 10);
  s += '.';
  s.append(digits, std::size_t(places));
}

namespace {

// To a millionth: a sample index or percentage worked out in doubles is written as the number
// it stands for (333, not 332.99999999999994).
double toMillionth(double v) {
  return std::nearbyint(v * 1e6) / 1e6;
}

}  // namespace

PlainCsvHead plainHeadOf(const RecordInfo& info, std::int64_t samples) {
  const SettingsRecord& s = info.settings;
  PlainCsvHead h;
  h.serial = info.serial;
  h.mode = s.mode;
  // A zero stamp (day 0 lies before the calendar) is a record without time.
  if (info.time.day != 0 || info.time.seconds != 0) h.time = info.time;
  h.samples = samples;
  const bool logic = s.mode == kModeLAIO || s.mode == kModeDLDI;
  const bool voltmeter = familyOfMode(s.mode) == IntermediateFamily::VMXY;
  // The logic plot and tables step by the nominal value the sample time snaps to.
  h.sampleTime = voltmeter ? 0.0 : logic ? logicTimeStep(s.sampleTime) : s.sampleTime;
  if (!logic) {
    h.hasConversion = true;
    h.conversion = conversionOfHeader(s);
  }
  if (s.mode == kModeOSA0 || s.mode == kModeLAIO) h.trgTypString = s.trgTypString;
  if (usesTriggerPoint(s.mode, s.trgTypString)) {
    h.triggerPoint = s.triggerPoint;
    if (s.mode == kModeOSA0) {
      h.triggerChannel = s.trgChan + 1;
      // As the window's plot puts it: time 0 is TriggerPoint % of the memory depth in.
      h.triggerSample = toMillionth(s.triggerPoint * s.memoryDepth / 100.0);
    } else {
      h.triggerSample = double(triggerSample(s.triggerPoint, s.memoryDepth));
    }
  }
  if (usesThresholds(s.mode, s.trgTypString)) {
    // In the volts of the samples, as the scope's own table gives them.
    const double k = channelFactor(s, s.trgChan == 0 ? 0 : 1);
    h.lowerThresholdV = s.trgLevelLower * k;
    h.upperThresholdV = s.trgLevelUpper * k;
  }
  if (s.mode == kModeLAIO) h.pattern = triggerPatternText(s.relevances, s.dynamics, s.levels);
  // A depth beyond the scope's memory: the rows are the start of the record, and a script must
  // not take them for all of it (the trigger sample still counts in the whole record).
  const double depth = std::nearbyint(s.memoryDepth);
  if (s.mode == kModeOSA0 && samples > 0 && depth > double(kScopeMemorySamples) &&
      depth > double(samples) && depth < 1e9)
    h.extra.push_back("record_samples: " + std::to_string(std::int64_t(depth)) +
                      " (the rows hold the first " + std::to_string(samples) +
                      ", what the scope's memory keeps)");
  return h;
}

double triggerSampleOfPretrigger(double pretriggerTime, double sampleTime) {
  return toMillionth(pretriggerTime / sampleTime);
}

PlainCsvHead plainHeadOfVxd(const VxdHeader& v, ModeCode mode) {
  PlainCsvHead h;
  h.serial = v.serial;
  h.mode = mode;
  h.time = v.time;
  h.sampleTime = mode == kModeLAIO ? logicTimeStep(v.sampleTime) : v.sampleTime;
  h.trgTypString = v.trgTypString;
  h.pattern = v.pattern;
  if (usesTriggerPoint(mode, v.trgTypString)) {
    if (mode == kModeOSA0 && v.sampleTime > 0 && std::isfinite(v.pretriggerTime))
      h.triggerSample = triggerSampleOfPretrigger(v.pretriggerTime, v.sampleTime);
    else
      h.triggerSample = double(v.triggerSample);
    if (v.count > 0) h.triggerPoint = toMillionth(100.0 * *h.triggerSample / double(v.count));
  }
  return h;
}

std::string plainCsvComments(const PlainCsvHead& h) {
  std::string s(kPlainCsvFirstLine);
  s += '\n';
  appendComment(s, "serial", h.serial.toStdString());
  appendComment(s, "mode", modeText(h.mode));
  if (h.time) appendComment(s, "measurement_time", isoTimeText(*h.time));
  if (h.sampleTime > 0) appendComment(s, "sample_time_s", doubleText(h.sampleTime));
  if (h.samples >= 0) appendComment(s, "samples", std::to_string(h.samples));
  if (h.hasConversion) {
    const ConversionInputs& c = h.conversion;
    for (int ch = 0; ch < 2; ++ch) {
      const std::string p = "ch" + std::to_string(ch) + '_';
      appendComment(s, (p + "range_Vpp").c_str(), doubleText(c.ampl[std::size_t(ch)]));
      appendComment(s, (p + "offset_V").c_str(), doubleText(c.offs[std::size_t(ch)]));
      appendComment(s, (p + "probe").c_str(), doubleText(c.probe[std::size_t(ch)]));
    }
    if (c.aux != 1.0) appendComment(s, "probe_divider", doubleText(c.aux));
  }
  if (!h.trgTypString.empty()) appendComment(s, "trigger_type", h.trgTypString);
  if (h.triggerChannel) appendComment(s, "trigger_channel", std::to_string(*h.triggerChannel));
  if (h.triggerPoint) appendComment(s, "trigger_point_percent", doubleText(*h.triggerPoint));
  if (h.triggerSample) appendComment(s, "trigger_sample", doubleText(*h.triggerSample));
  if (h.lowerThresholdV) appendComment(s, "lower_threshold_V", doubleText(*h.lowerThresholdV));
  if (h.upperThresholdV) appendComment(s, "upper_threshold_V", doubleText(*h.upperThresholdV));
  if (!h.pattern.empty()) appendComment(s, "trigger_pattern", h.pattern);
  for (const std::string& e : h.extra) s += "# " + e + '\n';
  return s;
}

namespace {

std::string commentsWithOrigin(const PlainCsvHead& h, const char* origin) {
  std::string s = plainCsvComments(h);
  appendComment(s, "time_origin", origin);
  return s;
}

const char* recordOrigin(const PlainCsvHead& h) {
  if (h.triggerSample) return "trigger";
  // A logger run's first sample is taken at the start its measurement time names.
  const bool logger = h.mode == kModeDLA0 || h.mode == kModeDLDI;
  return logger && h.time ? "measurement_time" : "first sample";
}

TPlainTimeAxis recordAxis(const PlainCsvHead& h) {
  return TPlainTimeAxis(h.sampleTime, h.triggerSample.value_or(0.0));
}

constexpr const char* kBitsHeader = "time_s,D0,D1,D2,D3,D4,D5,D6,D7,D8,D9,D10,D11,D12,D13,D14,D15\n";

template <typename Row>
int writeRecord(std::ostream& out, const PlainCsvHead& head, const char* origin,
                const char* headerLine, std::size_t n, Row row) {
  Sink sink(out);
  std::string& s = sink.text();
  s += commentsWithOrigin(head, origin);
  s += headerLine;
  for (std::size_t i = 0; i < n; ++i) {
    row(s, i);
    s += '\n';
    sink.maybeFlush();
  }
  return sink.finish();
}

}  // namespace

int writePlainScope(std::ostream& out, const PlainCsvHead& head,
                    std::span<const ScopeSample> samples) {
  const TPlainTimeAxis axis = recordAxis(head);
  return writeRecord(out, head, recordOrigin(head), "time_s,ch0_V,ch1_V\n", samples.size(),
                     [&](std::string& s, std::size_t i) {
                       axis.append(s, std::int64_t(i));
                       s += ',';
                       appendFloat(s, samples[i].ch0);
                       s += ',';
                       appendFloat(s, samples[i].ch1);
                     });
}

int writePlainScope(std::ostream& out, const PlainCsvHead& head, std::span<const double> ch0,
                    std::span<const double> ch1) {
  const TPlainTimeAxis axis = recordAxis(head);
  return writeRecord(out, head, recordOrigin(head), "time_s,ch0_V,ch1_V\n",
                     std::min(ch0.size(), ch1.size()), [&](std::string& s, std::size_t i) {
                       axis.append(s, std::int64_t(i));
                       s += ',';
                       appendSample(s, ch0[i]);
                       s += ',';
                       appendSample(s, ch1[i]);
                     });
}

int writePlainLogic(std::ostream& out, const PlainCsvHead& head,
                    std::span<const std::uint16_t> words) {
  const TPlainTimeAxis axis = recordAxis(head);
  return writeRecord(out, head, recordOrigin(head), kBitsHeader, words.size(),
                     [&](std::string& s, std::size_t i) {
                       axis.append(s, std::int64_t(i));
                       appendBits(s, words[i]);
                     });
}

int writePlainLogic(std::ostream& out, const PlainCsvHead& head, const TLogAnalList& list) {
  std::vector<std::uint16_t> words(std::size_t(std::max<std::int64_t>(0, list.count())));
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = list.at(std::int64_t(i)).word;
  return writePlainLogic(out, head, words);
}

namespace {

// The raw modes' readings too are kept as the volts converted from the device's raw values.
constexpr const char* kVoltmeterHeader = "time_s,ch0_V,ch1_V\n";

// Readings carry the clock's milliseconds: their times are whole milliseconds apart.
void appendReadingRow(std::string& s, const VoltmeterReading& r, const DayTime& origin) {
  const double ms = std::nearbyint(dtDiffSeconds(r.time, origin) * 1000.0);
  static const TPlainTimeAxis axis(0.001);
  axis.append(s, std::int64_t(ms));
  s += ',';
  appendSample(s, r.value0);
  s += ',';
  appendSample(s, r.value1);
  s += '\n';
}

}  // namespace

int writePlainVoltmeter(std::ostream& out, const PlainCsvHead& head,
                        std::span<const VoltmeterReading> readings) {
  const DayTime origin = head.time ? *head.time
                         : readings.empty() ? DayTime{}
                                            : readings.front().time;
  Sink sink(out);
  std::string& s = sink.text();
  s += commentsWithOrigin(head, "measurement_time");
  s += kVoltmeterHeader;
  for (const VoltmeterReading& r : readings) {
    appendReadingRow(s, r, origin);
    sink.maybeFlush();
  }
  return sink.finish();
}

TPlainVoltmeterStream::TPlainVoltmeterStream(std::ostream& out, const PlainCsvHead& head)
    : out_(out), origin_(head.time) {
  const std::string s = commentsWithOrigin(head, "measurement_time") + kVoltmeterHeader;
  out_.write(s.data(), std::streamsize(s.size()));
  out_.flush();
  if (!out_) status_ = kOutputFailed;
}

int TPlainVoltmeterStream::add(const VoltmeterReading& r) {
  if (!origin_) origin_ = r.time;
  std::string s;
  appendReadingRow(s, r, *origin_);
  out_.write(s.data(), std::streamsize(s.size()));
  out_.flush();
  if (!out_) status_ = kOutputFailed;
  return status_;
}

namespace {

// The rows of a logger stream, appended piece by piece.
class LoggerPlainRows {
 public:
  LoggerPlainRows(const PlainCsvHead& head, bool analog)
      : analog_(analog), axis_(head.sampleTime), conv_(head.conversion) {
    for (int ch = 0; ch < 2; ++ch) {
      const double p = conv_.probe[std::size_t(ch)];
      probe_[ch] = (p > -1e9 && p < 1e9) ? int(p) : 1;
    }
  }
  const char* headerLine() const { return analog_ ? "time_s,ch0_V,ch1_V\n" : kBitsHeader; }
  void append(std::string& s, const std::uint8_t* p, std::uint64_t first, std::uint64_t count) {
    for (std::uint64_t k = first; k < first + count; ++k, p += 4) {
      const std::uint16_t w0 = std::uint16_t(p[0] | (p[1] << 8));
      const std::uint16_t w1 = std::uint16_t(p[2] | (p[3] << 8));
      axis_.append(s, std::int64_t(k));
      if (analog_) {
        s += ',';
        appendDouble(s, rawToVolts(w0, conv_.ampl[0], conv_.offs[0], probe_[0], conv_.aux));
        s += ',';
        appendDouble(s, rawToVolts(w1, conv_.ampl[1], conv_.offs[1], probe_[1], conv_.aux));
      } else {
        appendBits(s, w1);
      }
      s += '\n';
    }
  }

 private:
  bool analog_;
  TPlainTimeAxis axis_;
  ConversionInputs conv_;
  int probe_[2] = {1, 1};
};

int writeLoggerBytes(std::ostream& out, PlainCsvHead head, std::span<const std::uint8_t> stream,
                     bool analog) {
  const LoggerStreamShape shape = loggerStreamShape(stream);
  head.samples = std::int64_t(shape.samples);
  LoggerPlainRows rows(head, analog);
  Sink sink(out);
  sink.text() += commentsWithOrigin(head, "measurement_time");
  sink.text() += rows.headerLine();
  const std::uint64_t step = kPiece / 64;
  for (std::uint64_t done = 0; done < shape.samples; done += step) {
    const std::uint64_t n = std::min(step, shape.samples - done);
    rows.append(sink.text(), stream.data() + 4 * done, done, n);
    sink.maybeFlush();
  }
  return sink.finish();
}

}  // namespace

int writePlainAnalogLogger(std::ostream& out, const PlainCsvHead& head,
                           std::span<const std::uint8_t> stream) {
  return writeLoggerBytes(out, head, stream, true);
}

int writePlainIoLogger(std::ostream& out, const PlainCsvHead& head,
                       std::span<const std::uint8_t> stream) {
  return writeLoggerBytes(out, head, stream, false);
}

int readLoggerStreamHeader(const fs::path& streamFile, SettingsRecord& header, DayTime& start) {
  std::error_code ec;
  if (!fs::exists(streamFile, ec)) return 2;
  std::optional<DayTime> t;
  if (const int rc = readTextHeader(streamFile, header, &t); rc != 0) return rc;
  if (!t) return kNoSamples;
  start = *t;
  return 0;
}

int writePlainLoggerFile(std::ostream& out, const fs::path& streamFile, const QString& serial) {
  SettingsRecord header;
  DayTime start;
  if (const int rc = readLoggerStreamHeader(streamFile, header, start); rc != 0) return rc;
  const bool analog = header.mode == kModeDLA0;
  if (!analog && header.mode != kModeDLDI) return kUnknownMode;
  LoggerStreamShape shape;
  if (const int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  PlainCsvHead head = plainHeadOf(RecordInfo{serial, header, start}, std::int64_t(shape.samples));
  LoggerPlainRows rows(head, analog);
  std::ifstream in(streamFile, std::ios::binary);
  if (!in) return 5;
  Sink sink(out);
  sink.text() += commentsWithOrigin(head, "measurement_time");
  sink.text() += rows.headerLine();
  std::vector<std::uint8_t> buf(kPiece / 4);
  const std::uint64_t step = buf.size() / 4;
  for (std::uint64_t done = 0; done < shape.samples; done += step) {
    const std::uint64_t n = std::min(step, shape.samples - done);
    in.read(reinterpret_cast<char*>(buf.data()), std::streamsize(4 * n));
    if (in.gcount() != std::streamsize(4 * n)) return kDamagedFile;  // shrank meanwhile
    rows.append(sink.text(), buf.data(), done, n);
    sink.maybeFlush();
  }
  return sink.finish();
}

int writePlainMerged(std::ostream& out, const PlainCsvHead& head,
                     const std::vector<PlainDeviceSeries>& devices) {
  // One shared time column only when every device has the very same times.
  bool shared = !devices.empty();
  std::size_t rows = 0;
  for (const PlainDeviceSeries& d : devices) {
    rows = std::max(rows, d.time.size());
    if (d.time != devices.front().time) shared = false;
  }
  Sink sink(out);
  std::string& s = sink.text();
  s += plainCsvComments(head);
  appendComment(s, "devices", std::to_string(devices.size()));
  appendComment(s, "time_origin", "each device's trigger moment, as the merged file keeps it");
  appendComment(s, "shared_time_column", shared ? "yes" : "no");
  bool first = true;
  auto cell = [&](const std::string& t) {
    if (!first) s += ',';
    first = false;
    s += t;
  };
  if (shared) cell("time_s");
  for (const PlainDeviceSeries& d : devices) {
    const std::string id = d.serial.toStdString();
    if (!shared) cell(id + "_time_s");
    cell(id + "_ch0_" + d.unit0);
    cell(id + "_ch1_" + d.unit1);
  }
  s += '\n';
  for (std::size_t i = 0; i < rows; ++i) {
    if (shared) appendTime(s, devices.front().time[i]);
    bool firstCell = !shared;
    for (const PlainDeviceSeries& d : devices) {
      const bool has = i < d.time.size() && i < d.ch0.size() && i < d.ch1.size();
      for (int c = shared ? 1 : 0; c < 3; ++c) {
        if (!firstCell) s += ',';
        firstCell = false;
        if (!has) continue;
        if (c == 0)
          appendTime(s, d.time[i]);
        else
          appendSample(s, c == 1 ? d.ch0[i] : d.ch1[i]);
      }
    }
    s += '\n';
    sink.maybeFlush();
  }
  return sink.finish();
}

}  // namespace tolv
