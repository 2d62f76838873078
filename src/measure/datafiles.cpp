#include "measure/datafiles.h"

#include <QByteArray>
#include <cmath>
#include <cstring>
#include <fstream>

#include "common/atomicfile.h"
#include "common/typedlists.h"
#include "common/format.h"
#include "common/paths.h"
#include "common/rawvolts.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "device/settingstables.h"
#include "measure/derived.h"
#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"

namespace tolv {

namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string utf8(const QString& s) {
  const QByteArray b = s.toUtf8();
  return std::string(b.constData(), std::size_t(b.size()));
}

std::string label(int id) {
  return utf8(text(id));
}

std::string fixed(double v, int width, int decimals, char dec) {
  return fixedText(v, width, decimals, dec);
}

// One parameter cell group: separator, label, separator, value and, where given, separator and
// unit.
std::string group(char col, const std::string& lab, std::string_view value,
                  std::string_view unit = {}) {
  std::string s;
  s.reserve(lab.size() + value.size() + unit.size() + 3);
  s += col;
  s += lab;
  s += col;
  s += value;
  if (!unit.empty()) {
    s += col;
    s += unit;
  }
  return s;
}

std::string dateGroup(char col, const DayTime& t, int labelId) {
  return group(col, label(labelId), utf8(csvDateText(t)), "MM.DD.YYYY");
}
std::string timeGroup(char col, const DayTime& t, int labelId) {
  return group(col, label(labelId), utf8(csvTimeText(t)), "HH:MM:SS.ms");
}
std::string trgModeGroup(char col, const std::string& trg) {
  return group(col, label(220), "\"" + trg + "\"");
}
std::string intGroup(char col, int labelId, std::int64_t v) {
  return group(col, label(labelId), std::to_string(v));
}
std::string deviceGroup(char col, const QString& serial) {
  return group(col, label(225), utf8(serial));
}

// The pretrigger time over a given step (the logic files use the snapped one).
double pretriggerAt(const SettingsRecord& s, double sampleTime) {
  return s.triggerPoint * 0.01 * s.memoryDepth * sampleTime;
}

void putLengthPrefixed(std::uint8_t* p, std::string_view s, std::size_t max) {
  const std::size_t n = std::min(s.size(), max);
  p[0] = std::uint8_t(n);
  std::memcpy(p + 1, s.data(), n);
}

std::string readLengthPrefixed(const std::uint8_t* p, std::size_t max) {
  const std::size_t n = std::min<std::size_t>(p[0], max);
  return std::string(reinterpret_cast<const char*>(p + 1), n);
}

void putI32(std::uint8_t* p, std::int32_t v) {
  putU32(p, std::uint32_t(v));
}
std::int32_t getI32(const std::uint8_t* p) {
  return std::int32_t(getU32(p));
}

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

std::int32_t clampI32(std::int64_t v) {
  return std::int32_t(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

void appendBits(std::string& s, std::uint16_t w, char col) {
  char buf[32];
  for (int b = 15; b >= 0; --b) {
    const int i = (15 - b) * 2;
    buf[i] = (w >> b) & 1 ? '1' : '0';
    buf[i + 1] = col;
  }
  s.append(buf, 31);  // no separator after bit 0
}

void appendRowEnd(std::string& s, const std::string* groups, std::size_t ngroups, std::size_t row) {
  if (row < ngroups) s += groups[row];
  s += kCrLf;
}

}  // namespace

CsvStyle CsvStyle::current() {
  return {decimalSeparatorSetting().toLatin1(), columnSeparatorSetting().toLatin1()};
}

// --- Folders and names -------------------------------------------------------------------

fs::path dayFolder(const fs::path& deviceFolder, const DayTime& t) {
  const QString stamp = fileNameStamp(t);  // "YYYYMMDD/HHMMSS"
  return deviceFolder / stamp.left(8).toStdString();
}

fs::path automaticDataFileBase(const fs::path& deviceFolder, const DayTime& t, ModeCode mode,
                               std::string_view ext) {
  const QString stamp = fileNameStamp(t);
  const QString ms = fractionText(t, 6).mid(1, 3);  // cut, not rounded
  std::string file = stamp.mid(9, 6).toStdString() + "_" + ms.toStdString() + "_" +
                     modeCodeText(mode) + "." + std::string(ext);
  return dayFolder(deviceFolder, t) / file;
}

fs::path automaticDataFileName(const fs::path& deviceFolder, const DayTime& t, ModeCode mode,
                               std::string_view ext) {
  fs::path name = automaticDataFileBase(deviceFolder, t, mode, ext);
  // A name that cannot be looked up stays the base: whoever writes it meets the lookup again
  // and reports its error.
  std::error_code ec;
  if (fs::exists(name, ec))
    if (fs::path free; freeBackupName(name, free) == 0) name = free;
  return name;
}

int checkTargetName(const fs::path& name) {
  fs::path copy = name;
  return forceExtension(copy, name.extension().string());
}

int writeDataFile(const fs::path& name, std::string_view bytes) {
  int rc = checkTargetName(name);
  if (rc != 0) return rc;
  rc = makeFolders(name.parent_path() / "x.x");
  if (rc != 0) return rc;
  return writeFileAtomically(name, bytes);
}

// --- Parameter texts ---------------------------------------------------------------------

std::string triggerPatternText(std::uint8_t relevances, std::uint8_t dynamics,
                               std::uint8_t levels) {
  std::string s(8, 'X');
  for (int line = 7; line >= 0; --line) {
    char& c = s[std::size_t(7 - line)];
    if (!((relevances >> line) & 1)) continue;
    const bool edge = (dynamics >> line) & 1;
    const bool high = (levels >> line) & 1;
    c = edge ? (high ? 'E' : 'e') : (high ? 'H' : 'L');
  }
  return s;
}

bool usesTriggerPoint(ModeCode mode, const std::string& trg) {
  if (trg.size() != 1) return false;
  const char c = trg[0];
  if (mode == kModeOSA0) return std::string_view("tTwWeEdDxX").find(c) != std::string_view::npos;
  if (mode == kModeLAIO) return c == 'P' || c == 'x' || c == 'X';
  return false;
}

bool usesThresholds(ModeCode mode, const std::string& trg) {
  return mode == kModeOSA0 && trg.size() == 1 &&
         std::string_view("tTwWeE").find(trg[0]) != std::string_view::npos;
}

// --- Scope -------------------------------------------------------------------------------

namespace {

// Groups of rows 0 to 10; skipped trigger-dependent groups stay empty.
// recorded: the samples of the record, which a depth beyond the scope's memory does not reach.
std::array<std::string, 11> scopeGroups(const RecordInfo& info, const CsvStyle& st,
                                        std::size_t recorded) {
  const SettingsRecord& s = info.settings;
  const char col = st.column, dec = st.decimal;
  std::array<std::string, 11> g;
  g[0] = deviceGroup(col, info.serial);
  g[1] = dateGroup(col, info.time, 226);
  g[2] = timeGroup(col, info.time, 227);
  g[3] = trgModeGroup(col, s.trgTypString);
  if (usesTriggerPoint(s.mode, s.trgTypString)) {
    g[4] = intGroup(col, 174, s.trgChan + 1);
    g[5] = group(col, label(217), fixed(pretriggerTime(s), 8, 5, dec), "s");
    g[6] = intGroup(col, 218, triggerSample(s.triggerPoint, s.memoryDepth));
  }
  if (usesThresholds(s.mode, s.trgTypString)) {
    // The device compares its input with the levels; the rows give them in the volts of the
    // samples below them, at the probe's tip, so the trigger crossing reads off the table. The
    // levels are volts already (the slider's step is the range over 4096): the range does not
    // enter again.
    const double k = channelFactor(s, s.trgChan == 0 ? 0 : 1);
    g[7] = group(col, label(221), fixed(s.trgLevelLower * k, 8, 6, dec), "V");
    g[8] = group(col, label(222), fixed(s.trgLevelUpper * k, 8, 6, dec), "V");
  }
  g[9] = group(col, label(215), fixed(s.sampleTime, 8, 6, dec), "s");
  g[10] = intGroup(col, 223, scopeRecordDepth(s.memoryDepth, std::int64_t(recorded)));
  return g;
}

std::string scopeText(const std::array<std::string, 11>& groups,
                      std::span<const ScopeSample> samples, const CsvStyle& st, std::size_t rows) {
  std::string s;
  s.reserve(rows * 22 + 1024);
  char buf[formatFixedCapacity(9, 6)];
  for (std::size_t i = 0; i < rows; ++i) {
    int n = formatFixed(buf, double(samples[i].ch0), 9, 6, st.decimal);
    s.append(buf, std::size_t(n));
    s += st.column;
    n = formatFixed(buf, double(samples[i].ch1), 9, 6, st.decimal);
    s.append(buf, std::size_t(n));
    appendRowEnd(s, groups.data(), groups.size(), i);
  }
  return s;
}

}  // namespace

std::string scopeCsvText(const RecordInfo& info, std::span<const ScopeSample> samples,
                         const CsvStyle& style) {
  return scopeText(scopeGroups(info, style, samples.size()), samples, style, samples.size());
}

int writeScopeCsv(const fs::path& name, const RecordInfo& info,
                  std::span<const ScopeSample> samples, const CsvStyle& style, int rows) {
  std::size_t n = samples.size();
  if (rows >= 0) n = std::min(n, std::size_t(rows));
  if (n == 0) return kNoSamples;
  return writeDataFile(name, scopeText(scopeGroups(info, style, samples.size()), samples, style, n));
}

namespace {

// The groups a ".VXD" can fill: it keeps neither the trigger channel nor the thresholds, so
// those rows stay plain rather than show values the record never had; the pretrigger time and
// trigger sample are the file's own.
std::array<std::string, 11> scopeVxdGroups(const VxdHeader& h, const CsvStyle& st) {
  RecordInfo info{h.serial, {}, h.time};
  info.settings.mode = kModeOSA0;
  info.settings.trgTypString = h.trgTypString;
  info.settings.sampleTime = h.sampleTime;
  info.settings.memoryDepth = h.count;
  auto g = scopeGroups(info, st, std::size_t(std::max<std::int64_t>(h.count, 0)));
  g[4].clear();
  g[7].clear();
  g[8].clear();
  if (usesTriggerPoint(kModeOSA0, h.trgTypString)) {
    g[5] = group(st.column, label(217), fixed(h.pretriggerTime, 8, 5, st.decimal), "s");
    g[6] = intGroup(st.column, 218, h.triggerSample);
  }
  return g;
}

}  // namespace

std::string scopeVxdCsvText(const VxdHeader& header, std::span<const ScopeSample> samples,
                            const CsvStyle& style) {
  return scopeText(scopeVxdGroups(header, style), samples, style, samples.size());
}

int writeScopeVxdCsv(const fs::path& name, const VxdHeader& header,
                     std::span<const ScopeSample> samples, const CsvStyle& style) {
  if (samples.empty()) return kNoSamples;
  return writeDataFile(name, scopeVxdCsvText(header, samples, style));
}

LogicCsvParams logicVxdCsvParams(const VxdHeader& h) {
  LogicCsvParams p;
  // A count beyond what any list holds is damage; rows past the samples read as zero.
  p.rows = std::clamp(h.count, 0, kLogicVxdMaxWords);
  p.step = h.sampleTime;
  p.trgTypString = h.trgTypString;
  p.triggerPointUsed = usesTriggerPoint(kModeLAIO, h.trgTypString);
  p.pattern = h.pattern;
  p.triggerSample = h.triggerSample;
  p.pretrigger = h.pretriggerTime;
  p.memoryDepth = h.count;
  // The file keeps the trigger point only as the pretrigger time over depth and step.
  const double span = 0.01 * double(h.count) * h.sampleTime;
  if (span > 0 && std::isfinite(h.pretriggerTime))
    p.triggerPoint = std::llround(std::clamp(h.pretriggerTime / span, -1e9, 1e9));
  else if (h.count > 0)
    p.triggerPoint = std::llround(100.0 * double(h.triggerSample) / double(h.count));
  return p;
}

int writeScopeIntermediateCsv(const fs::path& name, const RecordInfo& info,
                              std::span<const ScopeSample> samples, const CsvStyle& style) {
  // Rows beyond the loaded samples would repeat whatever the array held before.
  const std::int64_t depth = roundHalfEven(info.settings.memoryDepth);
  const int rows = int(std::clamp<std::int64_t>(depth, 0, std::int64_t(samples.size())));
  return writeScopeCsv(name, info, samples, style, rows);
}

std::array<std::uint8_t, kScopeVxdHeader> scopeVxdHeader(const RecordInfo& info, std::int32_t n) {
  const SettingsRecord& s = info.settings;
  std::array<std::uint8_t, kScopeVxdHeader> h{};
  putLengthPrefixed(h.data(), info.serial.toLatin1().toStdString(), 10);
  const auto t = info.time.toBytes();
  std::memcpy(h.data() + 16, t.data(), 16);
  putLengthPrefixed(h.data() + 32, s.trgTypString, 3);
  putF64(h.data() + 40, pretriggerTime(s));
  putI32(h.data() + 48, scopeTriggerSample(s.triggerPoint, s.memoryDepth, std::int32_t(n)));
  putF64(h.data() + 56, s.sampleTime);
  putI32(h.data() + 64, n);
  return h;
}

int writeScopeVxd(const fs::path& name, const RecordInfo& info,
                  std::span<const ScopeSample> samples) {
  if (samples.empty()) return kNoSamples;
  int rc = checkTargetName(name);
  if (rc == 0) rc = makeFolders(name.parent_path() / "x.x");
  if (rc != 0) return rc;
  const std::size_t n = samples.size();
  std::vector<std::uint8_t> bytes(kScopeVxdHeader + 8 * n);
  const auto h = scopeVxdHeader(info, clampI32(std::int64_t(n)));
  std::memcpy(bytes.data(), h.data(), h.size());
  std::uint8_t* p = bytes.data() + kScopeVxdHeader;
  for (std::size_t i = 0; i < n; ++i, p += 8) {
    putF32(p, samples[i].ch0);
    putF32(p + 4, samples[i].ch1);
  }
  TAtomicFile f(name);
  if (f.status() != 0) return f.status();
  if (f.write(bytes) != 0) return kShortBlock;
  return f.commit();
}

int readScopeVxd(const fs::path& name, VxdHeader& header, std::vector<ScopeSample>& samples) {
  std::vector<std::uint8_t> b;
  const int rc = readFileBytes(name, b, kScopeVxdHeader + 8ull * kScopeArrayEntries + 1);
  if (rc != 0) return rc;
  if (b.size() < kScopeVxdHeader) return kDamagedFile;
  VxdHeader h;
  h.serial = QString::fromLatin1(readLengthPrefixed(b.data(), 10));
  h.time = DayTime::fromBytes(b.data() + 16);
  h.trgTypString = readLengthPrefixed(b.data() + 32, 3);
  h.pretriggerTime = getF64(b.data() + 40);
  h.triggerSample = getI32(b.data() + 48);
  h.sampleTime = getF64(b.data() + 56);
  h.count = getI32(b.data() + 64);
  if (h.count < 0 || h.count >= kScopeArrayEntries ||
      b.size() != kScopeVxdHeader + 8 * std::size_t(h.count))
    return kDamagedFile;
  std::vector<ScopeSample> out(std::size_t(h.count));
  const std::uint8_t* p = b.data() + kScopeVxdHeader;
  for (auto& smp : out) {
    smp.ch0 = getF32(p);
    smp.ch1 = getF32(p + 4);
    p += 8;
  }
  header = std::move(h);
  samples = std::move(out);
  return 0;
}

// --- Logic analyser ----------------------------------------------------------------------

std::array<std::uint8_t, kLogicVxdHeader> logicVxdHeader(const RecordInfo& info) {
  const SettingsRecord& s = info.settings;
  std::array<std::uint8_t, kLogicVxdHeader> h{};
  putLengthPrefixed(h.data(), info.serial.toLatin1().toStdString(), 10);
  const auto t = info.time.toBytes();
  std::memcpy(h.data() + 16, t.data(), 16);
  putLengthPrefixed(h.data() + 32, s.trgTypString, 3);
  putLengthPrefixed(h.data() + 36, triggerPatternText(s.relevances, s.dynamics, s.levels), 8);
  putF64(h.data() + 48, pretriggerTime(s));
  putI32(h.data() + 56, triggerSample(s.triggerPoint, s.memoryDepth));
  putF64(h.data() + 64, s.sampleTime);
  putI32(h.data() + 72, roundHalfEven(s.memoryDepth));
  return h;
}

int writeLogicVxd(const fs::path& name, const RecordInfo& info, const TLogAnalList& list) {
  // The filler entry the intermediate file appended is no measured sample. Words are read
  // through at(): a list standing for a recording in a file holds no entries of its own.
  std::int64_t count = list.count();
  while (count > 0 && list.at(count - 1).sampleNumber == -1) --count;
  if (count == 0) return kEmptySampleList;
  // A file with more words than a record can hold would not read back.
  if (count > kLogicVxdMaxWords) return kListBadIndex;
  int rc = checkTargetName(name);
  if (rc == 0) rc = makeFolders(name.parent_path() / "x.x");
  if (rc != 0) return rc;
  std::vector<std::uint8_t> bytes(kLogicVxdHeader + 2 * std::size_t(count));
  const auto h = logicVxdHeader(info);
  std::memcpy(bytes.data(), h.data(), h.size());
  std::uint8_t* p = bytes.data() + kLogicVxdHeader;
  for (std::int64_t i = 0; i < count; ++i, p += 2) {
    const std::uint16_t w = list.at(i).word;
    p[0] = std::uint8_t(w);
    p[1] = std::uint8_t(w >> 8);
  }
  TAtomicFile f(name);
  if (f.status() != 0) return f.status();
  if (f.write(bytes) != 0) return kShortBlock;
  return f.commit();
}

int readLogicVxd(const fs::path& name, VxdHeader& header, std::vector<std::uint16_t>& words) {
  constexpr std::uintmax_t kMaxWords = kLogicVxdMaxWords;
  std::vector<std::uint8_t> b;
  const int rc = readFileBytes(name, b, kLogicVxdHeader + 2 * kMaxWords + 1);
  if (rc != 0) return rc;
  if (b.size() < kLogicVxdHeader || (b.size() - kLogicVxdHeader) % 2 != 0 ||
      b.size() > kLogicVxdHeader + 2 * kMaxWords)
    return kDamagedFile;
  VxdHeader h;
  h.serial = QString::fromLatin1(readLengthPrefixed(b.data(), 10));
  h.time = DayTime::fromBytes(b.data() + 16);
  h.trgTypString = readLengthPrefixed(b.data() + 32, 3);
  h.pattern = readLengthPrefixed(b.data() + 36, 8);
  h.pretriggerTime = getF64(b.data() + 48);
  h.triggerSample = getI32(b.data() + 56);
  h.sampleTime = getF64(b.data() + 64);
  h.count = getI32(b.data() + 72);
  const std::size_t n = (b.size() - kLogicVxdHeader) / 2;
  std::vector<std::uint16_t> out(n);
  for (std::size_t i = 0; i < n; ++i)
    out[i] = std::uint16_t(b[kLogicVxdHeader + 2 * i] | (b[kLogicVxdHeader + 2 * i + 1] << 8));
  header = std::move(h);
  words = std::move(out);
  return 0;
}

LogicCsvParams logicCsvParams(const SettingsRecord& s) {
  LogicCsvParams p;
  p.rows = int(std::clamp<std::int64_t>(roundHalfEven(s.memoryDepth), 0, INT32_MAX));
  p.step = s.sampleTime;
  p.trgTypString = s.trgTypString;
  p.triggerPointUsed = usesTriggerPoint(kModeLAIO, s.trgTypString);
  p.pattern = triggerPatternText(s.relevances, s.dynamics, s.levels);
  p.triggerPoint = roundHalfEven(s.triggerPoint);
  p.triggerSample = triggerSample(s.triggerPoint, s.memoryDepth);
  p.pretrigger = pretriggerTime(s);
  p.memoryDepth = roundHalfEven(s.memoryDepth);
  return p;
}

LogicCsvParams logicIntermediateCsvParams(const SettingsRecord& header,
                                          const std::string& windowTrgTypString, int loaded) {
  LogicCsvParams p = logicCsvParams(header);
  p.step = logicTimeStep(header.sampleTime);
  p.trgTypString = windowTrgTypString;
  p.pretrigger = pretriggerAt(header, p.step);
  p.memoryDepth = loaded - 1;
  // A header claiming more samples than the largest memory depth is damaged; its table ends
  // where the largest record would (the rows past the file read as zero either way).
  p.rows = std::min(p.rows, int(kMemoryDepthTable.back()));
  return p;
}

namespace {

std::string logicHeaderLine(const QString& serial, char col) {
  std::string s = label(224);
  for (int n = 15; n >= 0; --n) {
    s += col;
    s += 'D';
    s += std::to_string(n);
  }
  s += deviceGroup(col, serial);
  s += kCrLf;
  return s;
}

}  // namespace

std::string logicCsvText(const RecordInfo& info, const LogicCsvParams& p, const TLogAnalList& list,
                         const CsvStyle& st) {
  const char col = st.column, dec = st.decimal;
  const std::string groups[9] = {
      dateGroup(col, info.time, 226),
      timeGroup(col, info.time, 227),
      trgModeGroup(col, p.trgTypString),
      group(col, label(219), p.pattern),
      // The trigger point is a setting every record has; only the place it put the trigger
      // (sample and time before it) is missing without a trigger that uses it.
      intGroup(col, 216, p.triggerPoint),
      p.triggerPointUsed ? intGroup(col, 218, p.triggerSample) : std::string(),
      p.triggerPointUsed ? group(col, label(217), fixed(p.pretrigger, 8, 5, dec), "s")
                         : std::string(),
      group(col, label(215), fixed(p.step, 8, 6, dec), "s"),
      intGroup(col, 223, p.memoryDepth),
  };
  std::string s = logicHeaderLine(info.serial, col);
  s.reserve(s.size() + std::size_t(std::max(p.rows, 0)) * 46 + 1024);
  char buf[formatFixedCapacity(11, 6)];
  for (int k = 0; k < p.rows; ++k) {
    const int n = formatFixed(buf, double(k) * p.step, 11, 6, dec);
    s.append(buf, std::size_t(n));
    s += col;
    appendBits(s, list.at(k).word, col);
    appendRowEnd(s, groups, 9, std::size_t(k));
  }
  return s;
}

int writeLogicCsv(const fs::path& name, const RecordInfo& info, const LogicCsvParams& p,
                  const TLogAnalList& list, const CsvStyle& style) {
  if (list.count() == 0) return kEmptySampleList;
  return writeDataFile(name, logicCsvText(info, p, list, style));
}

// --- Conversions -------------------------------------------------------------------------

int writeVoltmeterSeriesCsv(const fs::path& name, const RecordInfo& info,
                            std::span<const VoltmeterReading> readings, const CsvStyle& st) {
  const char col = st.column, dec = st.decimal;
  const ModeCode m = info.settings.mode;
  std::string unit;
  if (m == kModeVMD0 || m == kModeVMD1) unit = "V (DC) ";
  if (m == kModeVMA0 || m == kModeVMA1) unit = "V rms ";
  std::string s = unit + label(183);
  s += col;
  s += unit + label(185);
  s += col;
  s += label(227) + " HH:MM:SS.ms";
  s += col;
  s += label(226) + " MM.DD.YYYY";
  s += deviceGroup(col, info.serial);
  s += kCrLf;
  const std::string depth = intGroup(col, 223, roundHalfEven(info.settings.memoryDepth));
  for (std::size_t i = 0; i < readings.size(); ++i) {
    const VoltmeterReading& r = readings[i];
    appendFixed(s, r.value0, 9, 6, dec);
    s += col;
    appendFixed(s, r.value1, 9, 6, dec);
    s += col;
    s += utf8(csvTimeText(r.time));
    s += col;
    s += utf8(csvDateText(r.time));
    if (i == 0) s += depth;
    s += kCrLf;
  }
  return writeDataFile(name, s);
}

std::int64_t loggerCsvRows(std::uintmax_t streamBytes, bool endMarker) {
  return std::int64_t(loggerStreamShape(streamBytes, StreamEnd{endMarker, 0}).samples);
}

namespace {

// Pieces handed to a sink, and bytes read from a stream file at a time.
constexpr std::size_t kPiece = std::size_t(1) << 20;

// The rows of one logger table, appended sample by sample from wherever the bytes come from.
class LoggerRows {
 public:
  LoggerRows(const RecordInfo& header, const SettingsRecord& window, const std::string& trg,
             const CsvStyle& st, const LoggerStreamShape& shape, bool analog)
      : analog_(analog), st_(st), shape_(shape) {
    const char col = st.column, dec = st.decimal;
    const SettingsRecord& h = header.settings;
    if (analog) {
      conv_.ampl = {h.amplC0, h.amplC1};
      conv_.offs = {h.offsC0, h.offsC1};
      aux_ = window.probeHelpFactorFlag ? 0.85 : 1.0;
      probe_[0] = probeOf(window.probeFactorC0);
      probe_[1] = probeOf(window.probeFactorC1);
      // The words of the samples written, not the rows.
      const std::int64_t depth = 2 * std::int64_t(shape.samples);
      groups_ = {deviceGroup(col, header.serial),
                 dateGroup(col, header.time, 228),
                 timeGroup(col, header.time, 229),
                 trgModeGroup(col, window.trgTypString),
                 group(col, label(215), fixed(window.sampleTime, 8, 6, dec), "s"),
                 intGroup(col, 223, depth)};
    } else {
      step_ = logicTimeStep(h.sampleTime);
      groups_ = {dateGroup(col, header.time, 226), timeGroup(col, header.time, 227),
                 trgModeGroup(col, trg), group(col, label(215), fixed(step_, 8, 6, dec), "s"),
                 intGroup(col, 223, std::int64_t(shape.samples))};
      head_ = logicHeaderLine(header.serial, col);
    }
  }

  // The table's first line (the I/O logger's column titles), empty for the analog logger.
  const std::string& head() const { return head_; }
  std::uint64_t rows() const { return shape_.samples; }

  // Appends the rows of `count` samples (4 bytes each at p) numbered from `first`.
  void append(std::string& s, const std::uint8_t* p, std::uint64_t first, std::uint64_t count) {
    char buf[formatFixedCapacity(11, 6)];
    for (std::uint64_t k = first; k < first + count; ++k, p += 4) {
      const std::uint16_t w0 = std::uint16_t(p[0] | (p[1] << 8));
      const std::uint16_t w1 = std::uint16_t(p[2] | (p[3] << 8));
      if (analog_) {
        int n = formatFixed(buf, rawToVolts(w0, conv_.ampl[0], conv_.offs[0], probe_[0], aux_), 9,
                            6, st_.decimal);
        s.append(buf, std::size_t(n));
        s += st_.column;
        n = formatFixed(buf, rawToVolts(w1, conv_.ampl[1], conv_.offs[1], probe_[1], aux_), 9, 6,
                        st_.decimal);
        s.append(buf, std::size_t(n));
      } else {
        const int n = formatFixed(buf, double(k) * step_, 11, 6, st_.decimal);
        s.append(buf, std::size_t(n));
        s += st_.column;
        appendBits(s, w1, st_.column);
      }
      if (k < groups_.size()) s += groups_[std::size_t(k)];
      s += kCrLf;
    }
  }

 private:
  static int probeOf(double p) { return int(probeFactorInForce(p)); }

  bool analog_;
  CsvStyle st_;
  LoggerStreamShape shape_;
  ConversionInputs conv_;
  int probe_[2] = {1, 1};
  double aux_ = 1.0;
  double step_ = 0;
  std::vector<std::string> groups_;
  std::string head_;
};

std::string rowsText(LoggerRows& rows, std::span<const std::uint8_t> stream) {
  std::string s = rows.head();
  s.reserve(s.size() + std::size_t(rows.rows()) * 46 + 1024);
  rows.append(s, stream.data(), 0, rows.rows());
  return s;
}

// Reads the stream file piece by piece and hands the table to the sink in pieces: a run of
// many hours converts in a few megabytes of memory.
int streamRows(LoggerRows& rows, const fs::path& streamFile, const CsvSink& sink) {
  std::ifstream in(streamFile, std::ios::binary);
  std::error_code ec;
  if (!in) return fs::exists(streamFile, ec) ? 5 : 2;
  std::string out = rows.head();
  std::vector<std::uint8_t> buf(kPiece);
  std::uint64_t done = 0;
  while (done < rows.rows()) {
    const std::uint64_t n = std::min<std::uint64_t>(rows.rows() - done, kPiece / 4);
    in.read(reinterpret_cast<char*>(buf.data()), std::streamsize(4 * n));
    if (in.gcount() != std::streamsize(4 * n)) return kDamagedFile;  // shrank meanwhile
    rows.append(out, buf.data(), done, n);
    done += n;
    if (out.size() >= kPiece) {
      if (const int rc = sink(out); rc != 0) return rc;
      out.clear();
    }
  }
  return out.empty() ? 0 : sink(out);
}

int writeStreamed(const fs::path& csv, const std::function<int(const CsvSink&)>& produce,
                  ConvertSide* side) {
  const auto failed = [side](int rc, ConvertSide at) {
    if (side) *side = rc != 0 ? at : ConvertSide::None;
    return rc;
  };
  int rc = checkTargetName(csv);
  if (rc == 0) rc = makeFolders(csv.parent_path() / "x.x");
  if (rc != 0) return failed(rc, ConvertSide::Target);
  TAtomicFile f(csv);
  if (f.status() != 0) return failed(f.status(), ConvertSide::Target);
  // The stream and the table both give file-system numbers: only the sink knows which it was.
  bool sinkFailed = false;
  rc = produce([&f, &sinkFailed](std::string_view piece) {
    const int r = f.write(piece);
    sinkFailed = r != 0;
    return r;
  });
  // Without commit the temporary file goes and an old table stays whole.
  if (rc != 0) return failed(rc, sinkFailed ? ConvertSide::Target : ConvertSide::Source);
  return failed(f.commit(), ConvertSide::Target);
}

}  // namespace

std::string analogLoggerCsvText(const RecordInfo& header, const SettingsRecord& window,
                                std::span<const std::uint8_t> stream, const CsvStyle& st) {
  LoggerRows rows(header, window, window.trgTypString, st, loggerStreamShape(stream), true);
  return rowsText(rows, stream);
}

std::string ioLoggerCsvText(const RecordInfo& header, const std::string& windowTrgTypString,
                            std::span<const std::uint8_t> stream, const CsvStyle& st) {
  LoggerRows rows(header, header.settings, windowTrgTypString, st, loggerStreamShape(stream),
                  false);
  return rowsText(rows, stream);
}

int streamAnalogLoggerCsv(const fs::path& streamFile, const RecordInfo& header,
                          const SettingsRecord& window, const CsvStyle& style,
                          const CsvSink& sink) {
  LoggerStreamShape shape;
  if (const int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  LoggerRows rows(header, window, window.trgTypString, style, shape, true);
  return streamRows(rows, streamFile, sink);
}

int streamIoLoggerCsv(const fs::path& streamFile, const RecordInfo& header,
                      const std::string& windowTrgTypString, const CsvStyle& style,
                      const CsvSink& sink) {
  LoggerStreamShape shape;
  if (const int rc = streamFileShape(streamFile, shape); rc != 0) return rc;
  LoggerRows rows(header, header.settings, windowTrgTypString, style, shape, false);
  return streamRows(rows, streamFile, sink);
}

int writeAnalogLoggerCsv(const fs::path& csv, const RecordInfo& header,
                         const SettingsRecord& window, const fs::path& streamFile,
                         const CsvStyle& style, ConvertSide* side) {
  return writeStreamed(
      csv,
      [&](const CsvSink& sink) {
        return streamAnalogLoggerCsv(streamFile, header, window, style, sink);
      },
      side);
}

int writeIoLoggerCsv(const fs::path& csv, const RecordInfo& header,
                     const std::string& windowTrgTypString, const fs::path& streamFile,
                     const CsvStyle& style, ConvertSide* side) {
  return writeStreamed(
      csv,
      [&](const CsvSink& sink) {
        return streamIoLoggerCsv(streamFile, header, windowTrgTypString, style, sink);
      },
      side);
}

}  // namespace tolv
