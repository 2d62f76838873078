#include "measure/export_sigrok.h"

#include <dlfcn.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>

#include "common/atomicfile.h"
#include "common/paths.h"
#include "measure/loggerseries.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

constexpr int kZipFailed = 5;  // EIO, for libzip errors without a system error number

// libzip is loaded when the first session is written, not when the program starts: with the
// compression and encryption libraries it brings along it would add a quarter to the start of
// every conversion that writes no archive.
#define TOLV_ZIP_CALLS(X)           \
  X(zip_close)                      \
  X(zip_discard)                    \
  X(zip_error_code_system)          \
  X(zip_error_fini)                 \
  X(zip_error_init)                 \
  X(zip_error_init_with_code)       \
  X(zip_error_set)                  \
  X(zip_error_to_data)              \
  X(zip_file_add)                   \
  X(zip_get_error)                  \
  X(zip_open)                       \
  X(zip_set_file_compression)       \
  X(zip_source_buffer)              \
  X(zip_source_free)                \
  X(zip_source_function)            \
  X(zip_source_make_command_bitmap) \
  X(zip_stat_init)

struct ZipLibrary {
#define TOLV_ZIP_POINTER(f) decltype(&::f) f = nullptr;
  TOLV_ZIP_CALLS(TOLV_ZIP_POINTER)
#undef TOLV_ZIP_POINTER
};

std::string& zipLibraryName() {
  static std::string name = TOLV_LIBZIP_SONAME;
  return name;
}

// Null when the library or one of its calls is missing: all of them or none. The library
// stays loaded; it is looked for again only after its name changed.
const ZipLibrary* zipLibrary() {
  static ZipLibrary lib;
  static std::string triedName;
  static bool whole = false;
  if (triedName != zipLibraryName()) {
    triedName = zipLibraryName();
    lib = ZipLibrary{};
    whole = false;
    if (void* h = ::dlopen(triedName.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      whole = true;
#define TOLV_ZIP_RESOLVE(f) \
  whole = whole && (lib.f = reinterpret_cast<decltype(&::f)>(::dlsym(h, #f))) != nullptr;
      TOLV_ZIP_CALLS(TOLV_ZIP_RESOLVE)
#undef TOLV_ZIP_RESOLVE
    }
  }
  return whole ? &lib : nullptr;
}

// The calls of the library a session being written has loaded.
const ZipLibrary& zipCalls() {
  return *zipLibrary();
}

std::string numberedName(const char* prefix, std::size_t k) {
  return prefix + std::to_string(k);
}

void putFloat(float v, std::uint8_t* out) {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  out[0] = std::uint8_t(u);
  out[1] = std::uint8_t(u >> 8);
  out[2] = std::uint8_t(u >> 16);
  out[3] = std::uint8_t(u >> 24);
}

void putWord(std::uint16_t v, std::uint8_t* out) {
  out[0] = std::uint8_t(v);
  out[1] = std::uint8_t(v >> 8);
}

int zipError(zip_t* z) {
  const ZipLibrary& Z = zipCalls();
  const int sys = Z.zip_error_code_system(Z.zip_get_error(z));
  return sys > 0 ? sys : kZipFailed;
}

// Makes the bytes of `n` samples of one channel, from sample `first` on: 0 or an error number.
using SampleFill = std::function<int(std::uint64_t first, std::size_t n, std::uint8_t* out)>;

// Samples made per call of a fill: the memory an entry takes while it is written.
constexpr std::size_t kPieceSamples = 16384;

// One entry whose bytes libzip asks for while it writes the archive.
struct EntryMaker {
  SampleFill fill;
  std::uint64_t first = 0;
  std::uint64_t count = 0;
  unsigned width = 0;  // bytes per sample
  std::uint64_t made = 0;
  std::vector<std::uint8_t> piece;
  std::size_t taken = 0;  // bytes of piece handed out
  zip_error_t error;
};

zip_int64_t makeEntry(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* e = static_cast<EntryMaker*>(state);
  const ZipLibrary& Z = zipCalls();
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      e->made = 0;
      e->piece.clear();
      e->taken = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      auto* out = static_cast<std::uint8_t*>(data);
      zip_uint64_t given = 0;
      while (given < len) {
        if (e->taken == e->piece.size()) {
          if (e->made == e->count) break;
          const std::size_t n =
              std::size_t(std::min<std::uint64_t>(e->count - e->made, kPieceSamples));
          e->piece.resize(n * e->width);
          if (const int rc = e->fill(e->first + e->made, n, e->piece.data()); rc != 0) {
            Z.zip_error_set(&e->error, ZIP_ER_READ, rc);
            return -1;
          }
          e->made += n;
          e->taken = 0;
        }
        const std::size_t m =
            std::size_t(std::min<zip_uint64_t>(len - given, e->piece.size() - e->taken));
        std::memcpy(out + given, e->piece.data() + e->taken, m);
        given += m;
        e->taken += m;
      }
      return zip_int64_t(given);
    }
    case ZIP_SOURCE_CLOSE:
      std::vector<std::uint8_t>().swap(e->piece);
      return 0;
    case ZIP_SOURCE_STAT: {
      if (len < sizeof(zip_stat_t)) {
        Z.zip_error_set(&e->error, ZIP_ER_INVAL, 0);
        return -1;
      }
      auto* st = static_cast<zip_stat_t*>(data);
      Z.zip_stat_init(st);
      st->size = e->count * e->width;
      st->mtime = std::time(nullptr);
      st->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return Z.zip_error_to_data(&e->error, data, len);
    case ZIP_SOURCE_FREE:
      Z.zip_error_fini(&e->error);
      delete e;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return Z.zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
      Z.zip_error_set(&e->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

// Adds one entry of `count` samples from `first` on. `deflate`: compressed at the fastest
// level, else stored as they are.
int addEntry(zip_t* z, const std::string& name, SampleFill fill, std::uint64_t first,
             std::uint64_t count, unsigned width, bool deflate) {
  const ZipLibrary& Z = zipCalls();
  auto* e = new EntryMaker{std::move(fill), first, count, width, 0, {}, 0, {}};
  Z.zip_error_init(&e->error);
  zip_source_t* src = Z.zip_source_function(z, makeEntry, e);
  if (!src) {
    Z.zip_error_fini(&e->error);
    delete e;
    return zipError(z);
  }
  const zip_int64_t idx = Z.zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (idx < 0) {
    Z.zip_source_free(src);
    return zipError(z);
  }
  Z.zip_set_file_compression(z, zip_uint64_t(idx), deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                             deflate ? 1 : 0);
  return 0;
}

// The text must live until the archive is closed.
int addText(zip_t* z, const std::string& name, const std::string& text) {
  const ZipLibrary& Z = zipCalls();
  zip_source_t* src = Z.zip_source_buffer(z, text.data(), text.size(), 0);
  if (!src) return zipError(z);
  if (Z.zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
    Z.zip_source_free(src);
    return zipError(z);
  }
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

std::uint64_t SrSession::sampleCount() const {
  if (stream) return stream->samples;
  std::uint64_t n = logicNames.empty() ? 0 : logic.size();
  for (const SrAnalogChannel& c : analog) n = std::max<std::uint64_t>(n, c.values.size());
  return n;
}

int writeSrSession(const fs::path& file, const SrSession& s) {
  if (s.sampleRate == 0) return kSrRateNotWhole;
  if (s.sampleCount() == 0) return kSrEmpty;
  if (const int rc = checkTargetName(file); rc != 0) return rc;
  if (const int rc = makeFolders(file.parent_path() / "x.x"); rc != 0) return rc;
  // A zip archive cannot go into a pipe as it is made. (A made name is left as it stands.)
  const OutputPlace place = outputPlaceOf(file);
  if (!isMadeOutput(file)) {
    if (place.kind == OutputPlace::Kind::Stream) return kSrNotAFile;
    if (place.kind == OutputPlace::Kind::Refused) return place.error;
  }
  // A stream is read through the readers that draw it: 64-bit offsets, volts by table.
  std::shared_ptr<const TLoggerChannelReader> reader[2];
  if (s.stream) {
    auto file = std::make_shared<TStreamFile>();
    if (const int rc = file->Open(s.stream->file); rc != 0) return rc;
    for (int ch = 0; ch < 2; ++ch)
      reader[ch] = std::make_shared<TLoggerChannelReader>(file, ch, 0, s.stream->samples,
                                                          s.stream->conv);
  }
  // One piece of the stream, shared by the entries' fills (libzip makes one entry at a time).
  std::vector<std::uint32_t> pairs;
  std::vector<double> volts;
  const ZipLibrary* const lib = zipLibrary();
  if (!lib) return kSrNoZipLibrary;
  const ZipLibrary& Z = *lib;
  // libzip writes a temporary file beside the name it opens and renames it there when the
  // archive is whole. It opens the crash-safe file's own temporary file, so the session takes
  // its place as every other output does (a made name never replaces a file); an old session
  // stays until then.
  TAtomicFile out(file);
  if (out.status() != 0) return out.status();
  int err = 0;
  zip_t* z = Z.zip_open(out.stagingName().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!z) {
    zip_error_t ze;
    Z.zip_error_init_with_code(&ze, err);
    const int sys = Z.zip_error_code_system(&ze);
    Z.zip_error_fini(&ze);
    return sys > 0 ? sys : kZipFailed;
  }
  // Both texts live until the archive is closed.
  const std::string version = "2";
  const std::string meta = srMetadataText(s);
  int rc = addText(z, "version", version);
  if (rc == 0) rc = addText(z, "metadata", meta);
  const std::uint64_t total = s.sampleCount();
  for (std::uint64_t first = 0, chunk = 1; rc == 0 && first < total;
       first += kSrChunkSamples, ++chunk) {
    const std::uint64_t n = std::min(kSrChunkSamples, total - first);
    const std::string no = std::to_string(chunk);
    // Logic words of quiet lines shrink many times over at the fastest deflate; the noisy low
    // bits of analog floats hardly shrink, and storing them halves the time of a scope record.
    if (!s.logicNames.empty()) {
      SampleFill fill;
      if (s.stream) {
        fill = [&](std::uint64_t at, std::size_t m, std::uint8_t* out) {
          pairs.resize(m);
          // A file that shrank meanwhile is an input/output error.
          if (!reader[0]->ReadPairs(at, m, pairs.data())) return 5;
          for (std::size_t i = 0; i < m; ++i)  // the second word of each sample
            putWord(std::uint16_t(pairs[i] >> 16), out + 2 * i);
          return 0;
        };
      } else {
        fill = [&s](std::uint64_t at, std::size_t m, std::uint8_t* out) {
          for (std::size_t i = 0; i < m; ++i)
            putWord(at + i < s.logic.size() ? s.logic[at + i] : 0, out + 2 * i);
          return 0;
        };
      }
      rc = addEntry(z, "logic-1-" + no, std::move(fill), first, n, 2, true);
    }
    for (std::size_t k = 0; rc == 0 && k < s.analog.size(); ++k) {
      SampleFill fill;
      if (s.stream) {
        const TLoggerChannelReader* r = reader[k].get();
        fill = [&volts, r](std::uint64_t at, std::size_t m, std::uint8_t* out) {
          volts.resize(m);
          if (!r->Read(at, m, volts.data())) return 5;
          for (std::size_t i = 0; i < m; ++i) putFloat(float(volts[i]), out + 4 * i);
          return 0;
        };
      } else {
        const std::vector<float>& v = s.analog[k].values;
        fill = [&v](std::uint64_t at, std::size_t m, std::uint8_t* out) {
          const float nan = std::numeric_limits<float>::quiet_NaN();
          for (std::size_t i = 0; i < m; ++i)
            putFloat(at + i < v.size() ? v[at + i] : nan, out + 4 * i);
          return 0;
        };
      }
      rc = addEntry(z, "analog-1-" + std::to_string(s.logicNames.size() + k + 1) + "-" + no,
                    std::move(fill), first, n, 4, false);
    }
  }
  if (rc != 0) {
    Z.zip_discard(z);
    return rc;
  }
  if (Z.zip_close(z) != 0) {
    rc = zipError(z);
    Z.zip_discard(z);
    return rc;
  }
  return out.commit();
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
  const bool analog = header.mode == kModeDLA0;
  if (!analog && header.mode != kModeDLDI) return kUnknownMode;
  LoggerStreamShape shape;
  if (const int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  if (const int rc = sessionBase(head, out); rc != 0) return rc;
  if (shape.samples == 0) return kSrEmpty;
  if (analog)
    out.analog = {{"ch0", {}}, {"ch1", {}}};
  else
    out.logicNames = laneNames();
  out.stream = SrStreamFile{streamFile, analog, shape.samples, conversionOfHeader(header)};
  return 0;
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

void setZipLibraryName(const std::string& name) {
  zipLibraryName() = name.empty() ? std::string(TOLV_LIBZIP_SONAME) : name;
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
    case kSrNotAFile:
      return QStringLiteral("a sigrok session is a zip archive: give a regular file, not a pipe "
                            "or a device");
    case kSrNoZipLibrary:
      return QStringLiteral("sigrok sessions are written with the zip library %1, which cannot "
                            "be loaded (install libzip)")
          .arg(QString::fromStdString(zipLibraryName()));
    default:
      return measureResultText(rc, 1, ResultContext::Writing);
  }
}

}  // namespace tolv
