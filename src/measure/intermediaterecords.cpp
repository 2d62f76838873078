#include "measure/intermediaterecords.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/atomicfile.h"
#include "common/typedlists.h"
#include "device/settingstables.h"
#include "measure/datafiles.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

constexpr std::size_t kLogicEntries = 262001;  // two samples per group of the largest buffer, + 1

void putF32(std::uint8_t* p, float v) {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  putU32(p, u);
}
float getF32(const std::uint8_t* p) {
  const std::uint32_t u = getU32(p);
  float v;
  std::memcpy(&v, &u, 4);
  return v;
}

int errnoOr(int fallback) {
  return errno != 0 ? errno : fallback;
}

}  // namespace

// --- Content checks -------------------------------------------------------------------------

int StoredContent::code() const {
  switch (problem) {
    case Problem::None:
    case Problem::CutReading:
      return 0;
    case Problem::Empty:
    case Problem::OnlyEnd:
      return kNoSamples;
    default:
      return kDamagedFile;
  }
}

QString StoredContent::text(int language) const {
  const bool de = language == 0;
  switch (problem) {
    case Problem::None:
      return {};
    case Problem::Empty:
      return de ? QStringLiteral("die Datei enthält keine Messwerte")
                : QStringLiteral("the file holds no samples");
    case Problem::CutEntry:
      return de ? QStringLiteral(
                      "die Datei ist abgeschnitten (ihr letzter Eintrag ist unvollständig)")
                : QStringLiteral("the file is cut short (its last entry is incomplete)");
    case Problem::CutRecord:
      return (de ? QStringLiteral("die Datei ist abgeschnitten (%1 von %2 Messwerten)")
                 : QStringLiteral("the file is cut short (%1 of %2 samples)"))
          .arg(have)
          .arg(want);
    case Problem::TooLong:
      return (de ? QStringLiteral("die Datei ist beschädigt: %1 Messwerte, mehr als ein "
                                  "Datensatz fassen kann (%2)")
                 : QStringLiteral("damaged file: %1 samples, more than a record holds (%2)"))
          .arg(have)
          .arg(want);
    case Problem::OnlyEnd:
      return de ? QStringLiteral("die Datei enthält keine Messwerte (nur das Ende eines Laufs)")
                : QStringLiteral("the file holds no samples (only the end of a run)");
    case Problem::OutOfStep:
      return de ? QStringLiteral(
                      "die Datei ist beschädigt: ihre Endmarke steht nicht hinter "
                      "ganzen Messwerten")
                : QStringLiteral("damaged file: its end marker does not follow whole samples");
    case Problem::Unheaded:
      return (de ? QStringLiteral("die Datei passt nicht zu ihrem Dateikopf (%1 Messwerte, der "
                                  "Kopf nennt %2)")
                 : QStringLiteral("the file does not match its text header (%1 samples, the "
                                  "header names %2)"))
          .arg(have)
          .arg(want);
    case Problem::NoneWhole:
      return (de ? QStringLiteral("die Datei ist beschädigt: keiner ihrer %1 Messwerte ist lesbar")
                 : QStringLiteral("damaged file: none of its %1 readings is whole"))
          .arg(have);
    case Problem::CutReading:
      return (de ? QStringLiteral("die Datei endet mitten in ihrem letzten Messwert "
                                  "(abgeschnitten); ihre %1 ganzen Messwerte bleiben")
                 : QStringLiteral("the file ends inside its last reading (cut short); its %1 "
                                  "whole readings are kept"))
          .arg(have);
    case Problem::BadSampleTime:
      return de ? QStringLiteral("sein Dateikopf ist beschädigt (unmögliche Abtastzeit)")
                : QStringLiteral("its text header is damaged (impossible sample time)");
    case Problem::BadMemoryDepth:
      return de ? QStringLiteral("sein Dateikopf ist beschädigt (unmögliche Speichertiefe)")
                : QStringLiteral("its text header is damaged (impossible memory depth)");
  }
  return {};
}

StoredContent checkStoredHeader(IntermediateFamily f, const SettingsRecord& header) {
  using P = StoredContent::Problem;
  StoredContent c;
  // Voltmeter readings carry their own times; the header's sample time plays no part.
  if (f == IntermediateFamily::VMXY) return c;
  // A tenth of the shortest table row up to ten times the longest: room for a device's own
  // rounding, none for values no run writes.
  const double t = header.sampleTime;
  if (!(t >= kSampleTimeTableUs.front() * 1e-7 && t <= kSampleTimeTableUs.back() * 1e-5)) {
    c.problem = P::BadSampleTime;
    return c;
  }
  // The loggers' streams do not use the depth.
  if (f != IntermediateFamily::OSA0 && f != IntermediateFamily::LAIO) return c;
  const double d = header.memoryDepth;
  if (!(d >= 1 && d <= kMemoryDepthTable.back())) c.problem = P::BadMemoryDepth;
  return c;
}

StoredContent checkStoredContent(IntermediateFamily f, const fs::path& file,
                                 const SettingsRecord& header) {
  using P = StoredContent::Problem;
  StoredContent c;
  std::error_code ec;
  const std::uint64_t size = fs::file_size(file, ec);
  if (ec) return c;  // the reader reports what is wrong with the file itself
  // Samples the header's memory depth names; 0 for none or a value no record has.
  const double d = std::nearbyint(header.memoryDepth);
  const std::uint64_t depth = d > 0 && d < 1e15 ? std::uint64_t(d) : 0;
  auto record = [&](std::uint64_t entrySize, std::uint64_t capacity) {
    const std::uint64_t entries = size / entrySize;
    if (entries < 2)
      c.problem = P::Empty;
    else if (size % entrySize != 0)
      c.problem = P::CutEntry;
    // N samples and the entry after them.
    c.have = entries > 0 ? entries - 1 : 0;
    if (c.problem != P::None) return;
    if (entries > capacity) {
      c.problem = P::TooLong;
      c.want = capacity - 1;
    } else if (c.have < depth && entries < capacity) {
      c.problem = P::CutRecord;
      c.want = depth;
    } else if (depth > 0 && c.have > depth) {
      // A record never holds more than it was asked for.
      c.problem = P::Unheaded;
      c.want = depth;
    }
  };
  switch (f) {
    case IntermediateFamily::VMXY:
      c.have = size / VoltmeterReading::kSize;
      if (size == 0)
        c.problem = P::Empty;
      else if (c.have == 0)
        c.problem = P::CutEntry;  // not even one reading whole
      else if (std::vector<VoltmeterReading> whole;
               readVoltmeterIntermediate(file, whole) == 0 && whole.empty())
        c.problem = P::NoneWhole;  // nothing left to show or convert
      else if (size % VoltmeterReading::kSize != 0) {
        c.problem = P::CutReading;
        c.have = whole.size();  // what is kept: damaged readings are left out
      }
      break;
    case IntermediateFamily::OSA0:
      record(8, std::uint64_t(kScopeArrayEntries));
      break;
    case IntermediateFamily::LAIO:
      record(8, kLogicEntries);
      break;
    case IntermediateFamily::DLA0:
    case IntermediateFamily::DLDI: {
      LoggerStreamShape shape;
      if (streamFileShape(file, shape) != 0) return c;
      c.have = shape.samples;
      if (size == 0)
        c.problem = P::Empty;
      else if (shape.end.marker && size % 4 != 0)
        c.problem = P::OutOfStep;
      else if (shape.samples == 0)
        c.problem = shape.end.marker || shape.end.cutMarker > 0 ? P::OnlyEnd : P::Empty;
      break;
    }
  }
  // What the size tells is the more telling reason; a whole file may still have a header
  // no record has (the count of what the file holds stays).
  if (c.ok()) c.problem = checkStoredHeader(f, header).problem;
  return c;
}

int readFileBytes(const fs::path& name, std::vector<std::uint8_t>& out, std::uintmax_t limit) {
  std::error_code ec;
  if (!fs::is_regular_file(name, ec)) return fs::exists(name, ec) ? 5 : 2;
  std::ifstream f(name, std::ios::binary);
  if (!f) return 5;
  f.seekg(0, std::ios::end);
  const std::uintmax_t size = std::uintmax_t(std::max<std::streamoff>(f.tellg(), 0));
  f.seekg(0);
  out.resize(std::size_t(std::min(size, limit)));
  f.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
  out.resize(std::size_t(f.gcount()));
  return 0;
}

// --- Voltmeter ---------------------------------------------------------------------------

TVoltmeterIntermediateFile::~TVoltmeterIntermediateFile() {
  close();
}

int TVoltmeterIntermediateFile::open(const fs::path& name) {
  close();
  errno = 0;
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (f == nullptr) return errnoOr(5);
  f_ = f;
  name_ = name;
  return 0;
}

int TVoltmeterIntermediateFile::append(const VoltmeterReading& r) {
  if (f_ == nullptr) return kIntermediateNotOpen;
  const auto b = r.toBytes();
  errno = 0;
  // Flushed at once: the run may end by a crash or an unplugged device at any reading.
  if (std::fwrite(b.data(), 1, b.size(), f_) != b.size() || std::fflush(f_) != 0) {
    const int rc = errnoOr(kShortBlock);
    std::fclose(f_);
    f_ = nullptr;
    return rc;
  }
  return 0;
}

int TVoltmeterIntermediateFile::close() {
  if (f_ == nullptr) return 0;
  errno = 0;
  const int rc = std::fclose(f_) != 0 ? errnoOr(5) : 0;
  f_ = nullptr;
  return rc;
}

namespace {

// What no run writes: another tag, a time of day outside its day, values beyond any range.
bool wholeReading(const VoltmeterReading& r) {
  // Range 20 V, offset and probe factor 100 over the divider 0.85 stay far below this.
  constexpr double kMaxVolts = 1e5;
  if (r.tag != 1 || !(r.time.seconds >= 0 && r.time.seconds < DayTime::kSecondsPerDay + 1))
    return false;
  return std::fabs(r.value0) <= kMaxVolts && std::fabs(r.value1) <= kMaxVolts;
}

QString entryList(const std::vector<std::size_t>& entries) {
  QStringList numbers;
  for (std::size_t k = 0; k < entries.size() && k < 10; ++k)
    numbers << QString::number(entries[k]);
  if (entries.size() > 10) numbers << QStringLiteral("...");
  return numbers.join(QStringLiteral(", "));
}

}  // namespace

int readVoltmeterIntermediate(const fs::path& name, std::vector<VoltmeterReading>& readings,
                              const std::optional<DayTime>& start, VoltmeterReadNotes* notes) {
  std::vector<std::uint8_t> b;
  // A series of a million readings is far beyond any run; more is not a voltmeter file.
  const int rc = readFileBytes(name, b, 72ull * 1000000);
  if (rc != 0) return rc;
  const std::size_t n = b.size() / VoltmeterReading::kSize;
  std::vector<VoltmeterReading> out;
  VoltmeterReadNotes found;
  out.reserve(n);
  std::optional<DayTime> before = start;
  for (std::size_t i = 0; i < n; ++i) {
    const VoltmeterReading r = VoltmeterReading::decode(b.data() + i * VoltmeterReading::kSize);
    if (!wholeReading(r)) {
      found.damaged.push_back(i + 1);
      continue;
    }
    // Readings come a poll apart: a day between two is the clock's doing, not the file's, and
    // the reading is as measured.
    if (before && std::fabs(dtDiffSeconds(r.time, *before)) > DayTime::kSecondsPerDay)
      found.clockJumps.push_back(i + 1);
    out.push_back(r);
    before = r.time;
  }
  readings = std::move(out);
  if (notes) *notes = std::move(found);
  return 0;
}

QString VoltmeterReadNotes::text(int language) const {
  const bool de = language == 0;
  QStringList parts;
  if (!damaged.empty()) {
    const bool one = damaged.size() == 1;
    parts << (de ? QStringLiteral("%1 beschädigte%2 Messwert%3 ausgelassen (Eintr%4 %5)")
                       .arg(damaged.size())
                       .arg(one ? "r" : "")
                       .arg(one ? "" : "e")
                       .arg(one ? "ag" : "äge")
                 : QStringLiteral("%1 damaged reading%2 left out (entr%3 %4)")
                       .arg(damaged.size())
                       .arg(one ? "" : "s")
                       .arg(one ? "y" : "ies"))
                 .arg(entryList(damaged));
  }
  if (!clockJumps.empty()) {
    const bool one = clockJumps.size() == 1;
    parts << (de ? QStringLiteral("die Uhr sprang um mehr als einen Tag vor %1 %2 (behalten)")
                       .arg(one ? QStringLiteral("Eintrag") : QStringLiteral("Einträgen"))
                 : QStringLiteral("the clock jumped by more than a day before entr%1 %2 (kept)")
                       .arg(one ? "y" : "ies"))
                 .arg(entryList(clockJumps));
  }
  return parts.join(QStringLiteral("; "));
}

QString skippedReadingsNote(const fs::path& file, int language) {
  SettingsRecord header;
  std::optional<DayTime> start;
  if (readTextHeader(file, header, &start) != 0 ||
      familyOfMode(header.mode) != IntermediateFamily::VMXY)
    return {};
  std::vector<VoltmeterReading> readings;
  VoltmeterReadNotes notes;
  if (readVoltmeterIntermediate(file, readings, start, &notes) != 0) return {};
  return notes.text(language);
}

// --- Scope -------------------------------------------------------------------------------

int writeScopeIntermediate(const fs::path& name, std::span<const ScopeSample> entries) {
  std::vector<std::uint8_t> b(entries.size() * 8);
  std::uint8_t* p = b.data();
  for (const ScopeSample& s : entries) {
    putF32(p, s.ch0);
    putF32(p + 4, s.ch1);
    p += 8;
  }
  return writeFileAtomically(name, b);
}

int readScopeIntermediate(const fs::path& name, std::vector<ScopeSample>& entries, int& n) {
  std::vector<std::uint8_t> b;
  const int rc = readFileBytes(name, b, 8ull * kScopeArrayEntries);
  if (rc != 0) return rc;
  const std::size_t count = b.size() / 8;
  if (count == 0) return kNoSamples;
  std::vector<ScopeSample> out(count);
  for (std::size_t i = 0; i < count; ++i) {
    out[i].ch0 = getF32(b.data() + 8 * i);
    out[i].ch1 = getF32(b.data() + 8 * i + 4);
  }
  entries = std::move(out);
  n = int(count) - 1;
  return 0;
}

// --- Logic analyser ----------------------------------------------------------------------

int writeLogicIntermediate(const fs::path& name, TLogAnalList& list) {
  const std::int64_t n = list.count();
  if (n == 0) return kEmptySampleList;
  // A list standing for a recording in a file may count billions of samples: such a file is
  // written only when it stays within a record (with the entry after the last sample), as a
  // longer one would not read back whole. Entries are read through at(), which gives the
  // filler past the end without growing the list: a record on screen keeps its length, so a
  // redraw does not draw the filler at its right edge.
  if (list.stream() && n + 1 > std::int64_t(kLogicEntries)) return kListBadIndex;
  std::vector<std::uint8_t> b(std::size_t(n + 1) * 8);
  for (std::int64_t i = 0; i <= n; ++i) {
    const TLogAnalEntry e = list.at(i);
    std::uint8_t* p = b.data() + 8 * std::size_t(i);
    putU32(p, std::uint32_t(e.sampleNumber));
    p[4] = std::uint8_t(e.word);
    p[5] = std::uint8_t(e.word >> 8);
  }
  return writeFileAtomically(name, b);
}

int readLogicIntermediateEntries(const fs::path& name,
                                 const std::function<void(std::size_t count)>& expect,
                                 const std::function<void(std::span<const TLogAnalEntry>)>& piece) {
  std::error_code ec;
  if (!fs::is_regular_file(name, ec)) return fs::exists(name, ec) ? 5 : 2;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return 5;
  const std::uintmax_t size = fs::file_size(name, ec);
  const std::size_t count = ec ? 0 : std::size_t(std::min<std::uintmax_t>(size / 8, kLogicEntries));
  expect(count);
  // Pieces of a few pages: a whole record never sits in memory as bytes too.
  constexpr std::size_t kPiece = 4096;
  std::uint8_t bytes[8 * kPiece];
  std::array<TLogAnalEntry, kPiece> entries;
  int rc = 0;
  for (std::size_t done = 0; done < count;) {
    const std::size_t m = std::min(count - done, kPiece);
    const std::size_t got = std::fread(bytes, 8, m, f);
    for (std::size_t i = 0; i < got; ++i) {
      const std::uint8_t* p = bytes + 8 * i;
      entries[i] = {std::int32_t(getU32(p)), std::uint16_t(p[4] | (p[5] << 8))};
    }
    if (got > 0) piece(std::span(entries.data(), got));
    if (got < m) {
      rc = std::ferror(f) ? 5 : 0;  // a file that shrank meanwhile keeps what was read
      break;
    }
    done += m;
  }
  std::fclose(f);
  return rc;
}

int readLogicIntermediate(const fs::path& name, TLogAnalList& list) {
  TLogAnalList read;
  const int rc = readLogicIntermediateEntries(
      name, [&read](std::size_t n) { read.reserve(int(n)); },
      [&read](std::span<const TLogAnalEntry> piece) {
        for (const TLogAnalEntry& e : piece) read.add(e.sampleNumber, e.word);
      });
  if (rc == 0) list = std::move(read);
  return rc;
}

}  // namespace tolv
