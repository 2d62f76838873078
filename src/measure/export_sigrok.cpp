#include "measure/export_sigrok.h"

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "common/paths.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

constexpr int kZipFailed = 5;  // EIO, for libzip errors without a system error number

std::string numberedName(const char* prefix, std::size_t k) {
  return prefix + std::to_string(k);
}

std::vector<std::uint8_t> floatBytes(const std::vector<float>& v) {
  std::vector<std::uint8_t> b(v.size() * 4);
  for (std::size_t i = 0; i < v.size(); ++i) {
    std::uint32_t u;
    std::memcpy(&u, &v[i], 4);
    b[4 * i] = std::uint8_t(u);
    b[4 * i + 1] = std::uint8_t(u >> 8);
    b[4 * i + 2] = std::uint8_t(u >> 16);
    b[4 * i + 3] = std::uint8_t(u >> 24);
  }
  return b;
}

std::vector<std::uint8_t> wordBytes(const std::vector<std::uint16_t>& v) {
  std::vector<std::uint8_t> b(v.size() * 2);
  for (std::size_t i = 0; i < v.size(); ++i) {
    b[2 * i] = std::uint8_t(v[i]);
    b[2 * i + 1] = std::uint8_t(v[i] >> 8);
  }
  return b;
}

int zipError(zip_t* z) {
  const int sys = zip_error_code_system(zip_get_error(z));
  return sys > 0 ? sys : kZipFailed;
}

// Adds one entry; the bytes must live until the archive is closed. `deflate`: compressed at
// the fastest level, else stored as they are.
int addEntry(zip_t* z, const std::string& name, const std::vector<std::uint8_t>& bytes,
             bool deflate) {
  zip_source_t* src = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
  if (!src) return zipError(z);
  const zip_int64_t idx = zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (idx < 0) {
    zip_source_free(src);
    return zipError(z);
  }
  zip_set_file_compression(z, zip_uint64_t(idx), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                           deflate ? 1 : 0);
  return 0;
}

}  // namespace

std::uint64_t srSampleRate(double sampleTime) {
  if (!(std::isfinite(sampleTime) && sampleTime > 0)) return 0;
  const double rate = 1.0 / sampleTime;
  const double r = std::nearbyint(rate);
  if (r < 1 || r > 1e15 || std::fabs(rate - r) > 1e-6 * r) return 0;
  return std::uint64_t(r);
}

std::string srMetadataText(const SrSession& s) {
  std::string m = "[global]\nsigrok version=0.5.2\n\n[device 1]\n";
  if (!s.logicNames.empty()) m += "capturefile=logic-1\n";
  m += "samplerate=" + std::to_string(s.sampleRate) + "\n";
  if (!s.logicNames.empty()) m += "total probes=" + std::to_string(s.logicNames.size()) + "\n";
  if (!s.analog.empty()) m += "total analog=" + std::to_string(s.analog.size()) + "\n";
  for (std::size_t k = 0; k < s.logicNames.size(); ++k)
    m += numberedName("probe", k + 1) + "=" + s.logicNames[k] + "\n";
  for (std::size_t k = 0; k < s.analog.size(); ++k)
    m += numberedName("analog", s.logicNames.size() + k + 1) + "=" + s.analog[k].name + "\n";
  if (!s.logicNames.empty()) m += "unitsize=2\n";
  return m;
}

int writeSrSession(const fs::path& file, const SrSession& s) {
  const bool anyAnalog = std::any_of(s.analog.begin(), s.analog.end(),
                                     [](const SrAnalogChannel& c) { return !c.values.empty(); });
  if (s.sampleRate == 0) return kSrRateNotWhole;
  if ((s.logicNames.empty() || s.logic.empty()) && !anyAnalog) return kSrEmpty;
  if (const int rc = checkTargetName(file); rc != 0) return rc;
  if (const int rc = makeFolders(file.parent_path() / "x.x"); rc != 0) return rc;
  // Every entry's bytes, alive until the archive is closed.
  std::vector<std::vector<std::uint8_t>> entries;
  entries.reserve(s.analog.size() + 3);
  std::vector<std::string> names;
  entries.push_back({'2'});
  names.push_back("version");
  const std::string meta = srMetadataText(s);
  entries.emplace_back(meta.begin(), meta.end());
  names.push_back("metadata");
  if (!s.logicNames.empty()) {
    entries.push_back(wordBytes(s.logic));
    names.push_back("logic-1-1");
  }
  for (std::size_t k = 0; k < s.analog.size(); ++k) {
    entries.push_back(floatBytes(s.analog[k].values));
    names.push_back("analog-1-" + std::to_string(s.logicNames.size() + k + 1) + "-1");
  }
  // libzip writes a temporary file beside the target and renames it when the archive is
  // whole; an old session stays until then.
  int err = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, err);
    const int sys = zip_error_code_system(&ze);
    zip_error_fini(&ze);
    return sys > 0 ? sys : kZipFailed;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    // Logic words of quiet lines shrink many times over at the fastest deflate; the noisy low
    // bits of analog floats hardly shrink, and storing them halves the time of a scope record.
    const bool analog = names[i].rfind("analog-", 0) == 0;
    if (const int rc = addEntry(z, names[i], entries[i], !analog); rc != 0) {
      zip_discard(z);
      return rc;
    }
  }
  if (zip_close(z) != 0) {
    const int rc = zipError(z);
    zip_discard(z);
    return rc;
  }
  return 0;
}

namespace {

int sessionBase(const PlainCsvHead& head, SrSession& out) {
  out = SrSession{};
  out.sampleRate = srSampleRate(head.sampleTime);
  return out.sampleRate == 0 ? kSrRateNotWhole : 0;
}

std::vector<std::string> laneNames() {
  std::vector<std::string> n;
  for (int k = 0; k < 16; ++k) n.push_back("D" + std::to_string(k));
  return n;
}

}  // namespace

int srOfScope(const PlainCsvHead& head, std::span<const ScopeSample> samples, SrSession& out) {
  if (const int rc = sessionBase(head, out); rc != 0) return rc;
  if (samples.empty()) return kSrEmpty;
  out.analog = {{"ch0", {}}, {"ch1", {}}};
  out.analog[0].values.resize(samples.size());
  out.analog[1].values.resize(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    out.analog[0].values[i] = samples[i].ch0;
    out.analog[1].values[i] = samples[i].ch1;
  }
  return 0;
}

int srOfScope(const PlainCsvHead& head, std::span<const double> ch0, std::span<const double> ch1,
              SrSession& out) {
  if (const int rc = sessionBase(head, out); rc != 0) return rc;
  const std::size_t n = std::min(ch0.size(), ch1.size());
  if (n == 0) return kSrEmpty;
  out.analog = {{"ch0", std::vector<float>(ch0.begin(), ch0.begin() + std::ptrdiff_t(n))},
                {"ch1", std::vector<float>(ch1.begin(), ch1.begin() + std::ptrdiff_t(n))}};
  return 0;
}

int srOfLogic(const PlainCsvHead& head, std::span<const std::uint16_t> words, SrSession& out) {
  if (const int rc = sessionBase(head, out); rc != 0) return rc;
  if (words.empty()) return kSrEmpty;
  out.logicNames = laneNames();
  out.logic.assign(words.begin(), words.end());
  return 0;
}

int srOfLoggerFile(const fs::path& streamFile, SrSession& out) {
  SettingsRecord header;
  DayTime start;
  if (const int rc = readLoggerStreamHeader(streamFile, header, start); rc != 0) return rc;
  const PlainCsvHead head = plainHeadOf(RecordInfo{{}, header, start}, -1);
  if (header.mode == kModeDLA0) {
    AnalogLoggerStream stream;
    if (const int rc = loadAnalogLoggerStream(streamFile, stream); rc != 0) return rc;
    if (const int rc = sessionBase(head, out); rc != 0) return rc;
    const ConversionInputs conv = stream.headerConversion();
    out.analog = {{"ch0", {}}, {"ch1", {}}};
    const std::size_t n = stream.sampleCount();
    for (int ch = 0; ch < 2; ++ch) {
      auto& v = out.analog[std::size_t(ch)].values;
      const auto& raw = ch == 0 ? stream.raw0 : stream.raw1;
      v.resize(n);
      for (std::size_t i = 0; i < n; ++i) v[i] = float(conv.rawToVolts(ch, raw[i]));
    }
    return n == 0 ? kSrEmpty : 0;
  }
  if (header.mode == kModeDLDI) {
    TLogAnalList list;
    if (const int rc = loadIoLoggerStream(streamFile, list); rc != 0) return rc;
    if (const int rc = sessionBase(head, out); rc != 0) return rc;
    out.logicNames = laneNames();
    out.logic.resize(std::size_t(list.count()));
    for (int i = 0; i < list.count(); ++i) out.logic[std::size_t(i)] = list.at(i).word;
    return out.logic.empty() ? kSrEmpty : 0;
  }
  return kUnknownMode;
}

int srOfMerged(const std::vector<PlainDeviceSeries>& devices, SrSession& out, QString* why) {
  out = SrSession{};
  auto refuse = [why](const QString& reason) {
    if (why) *why = reason;
    return kSrTimesDisagree;
  };
  if (devices.empty()) return kSrEmpty;
  // Each device's step from its whole time span; the cells keep microseconds, so short steps
  // are judged over the record, not over one pair of samples.
  std::vector<double> steps;
  for (const PlainDeviceSeries& d : devices) {
    if (d.time.size() < 2)
      return refuse(QStringLiteral("device %1 has fewer than two samples").arg(d.serial));
    steps.push_back((d.time.back() - d.time.front()) / double(d.time.size() - 1));
  }
  const double dt = steps.front();
  for (std::size_t k = 1; k < devices.size(); ++k)
    if (!(std::fabs(steps[k] - dt) <= 1e-6 * dt))
      return refuse(QStringLiteral("devices %1 and %2 sample at different rates (%3 s and %4 s)")
                        .arg(devices.front().serial, devices[k].serial)
                        .arg(dt)
                        .arg(steps[k]));
  double first = devices.front().time.front();
  for (const PlainDeviceSeries& d : devices) first = std::min(first, d.time.front());
  std::vector<std::int64_t> shift;
  std::int64_t length = 0;
  for (const PlainDeviceSeries& d : devices) {
    const double s = (d.time.front() - first) / dt;
    const double r = std::nearbyint(s);
    if (std::fabs(s - r) > 0.05)
      return refuse(
          QStringLiteral("the samples of device %1 lie between those of the others (%2 samples "
                         "apart)")
              .arg(d.serial)
              .arg(s));
    shift.push_back(std::int64_t(r));
    length = std::max<std::int64_t>(length, std::int64_t(r) + std::int64_t(d.time.size()));
  }
  PlainCsvHead head;
  head.sampleTime = dt;
  if (const int rc = sessionBase(head, out); rc != 0) return rc;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (std::size_t k = 0; k < devices.size(); ++k) {
    const PlainDeviceSeries& d = devices[k];
    for (int ch = 0; ch < 2; ++ch) {
      SrAnalogChannel c;
      c.name = d.serial.toStdString() + "_ch" + std::to_string(ch);
      c.values.assign(std::size_t(length), nan);
      const auto& v = ch == 0 ? d.ch0 : d.ch1;
      for (std::size_t i = 0; i < v.size() && i < d.time.size(); ++i)
        c.values[std::size_t(shift[k]) + i] = float(v[i]);
      out.analog.push_back(std::move(c));
    }
  }
  return 0;
}

QString srResultText(int rc) {
  switch (rc) {
    case kSrRateNotWhole:
      return QStringLiteral(
          "a sigrok session stores its sample rate in whole hertz; this sample time has none");
    case kSrTimesDisagree:
      return QStringLiteral("the devices' sample times do not agree");
    case kSrEmpty:
      return QStringLiteral("no samples");
    default:
      return measureResultText(rc, 1, ResultContext::Writing);
  }
}

}  // namespace tolv
