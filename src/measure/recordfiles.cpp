#include "measure/recordfiles.h"

#include <optional>

#include "common/atomicfile.h"

#include "measure/derived.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

// Header and time of a stored file: 2 without header, -111 without time.
int readStoredHeader(const fs::path& source, SettingsRecord& s, DayTime& t) {
  std::error_code ec;
  if (!fs::exists(source, ec)) return 2;
  std::optional<DayTime> time;
  const int rc = readTextHeader(source, s, &time);
  if (rc != 0) return rc;
  if (!time) return kNoSamples;
  t = *time;
  return 0;
}

}  // namespace

TRecordFiles::TRecordFiles(TMeasureData& data, std::function<QString()> serial)
    : data_(data), serial_(std::move(serial)) {}

RecordInfo TRecordFiles::info(const TMeasureData& d, const SettingsRecord& s) const {
  return {serial_ ? serial_() : QString(), s, d.measurementTime()};
}

int TRecordFiles::autoSaveScope(const TMeasureData& d, int mode) {
  lastDataFile_.clear();
  if (d.deviceFolder().empty()) return 0;
  const std::span<const ScopeSample> samples(d.scopeSamples(), std::size_t(d.sampleCount()));
  const RecordInfo ri = info(d, d.snapshot());
  const bool csv = mode == 1;
  const fs::path name =
      automaticDataFileBase(d.deviceFolder(), ri.time, kModeOSA0, csv ? "CSV" : "VXD");
  fs::path taken;
  const int rc = writeMadeOutput(
      name,
      [&](const fs::path& f) {
        return csv ? writeScopeCsv(f, ri, samples, style()) : writeScopeVxd(f, ri, samples);
      },
      taken);
  if (rc == 0) lastDataFile_ = taken;
  return rc;
}

int TRecordFiles::autoSaveLogic(const TMeasureData& d, int mode) {
  lastDataFile_.clear();
  if (d.deviceFolder().empty()) return 0;
  const RecordInfo ri = info(d, d.snapshot());
  const bool csv = mode == 1;
  const fs::path name =
      automaticDataFileBase(d.deviceFolder(), ri.time, kModeLAIO, csv ? "CSV" : "VXD");
  fs::path taken;
  const int rc = writeMadeOutput(
      name,
      [&](const fs::path& f) {
        return csv ? writeLogicCsv(f, ri, logicCsvParams(ri.settings), d.logicList(), style())
                   : writeLogicVxd(f, ri, d.logicList());
      },
      taken);
  if (rc == 0) lastDataFile_ = taken;
  return rc;
}

int TRecordFiles::loggerCsv(const TMeasureData& d, ModeCode mode, const fs::path& streamFile) {
  lastDataFile_.clear();
  if (d.deviceFolder().empty()) return 0;
  SettingsRecord header;
  DayTime start;
  int rc = readStoredHeader(streamFile, header, start);
  if (rc != 0) return rc;
  const fs::path name = automaticDataFileBase(d.deviceFolder(), start, mode, "CSV");
  const SettingsRecord window = d.snapshot();
  const QString serial = serial_ ? serial_() : QString();
  fs::path taken;
  rc = writeMadeOutput(
      name,
      [&](const fs::path& f) {
        return mode == kModeDLA0
                   ? convertAnalogLoggerFile(streamFile, f, serial, window, style())
                   : convertIoLoggerFile(streamFile, f, serial, window.trgTypString, style());
      },
      taken);
  if (rc == 0) lastDataFile_ = taken;
  return rc;
}

int TRecordFiles::prepareIntermediate(IntermediateFamily f, const SettingsRecord& s,
                                      const DayTime& t, fs::path& file) {
  // A family whose every name is taken reports it; nothing is overwritten.
  int rc = data_.numbering(f).nextFileName(file);
  if (rc != 0) return rc;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  return writeTextHeader(file, s, t);
}

int TRecordFiles::writeScopeIntermediate(const TMeasureData& d) {
  lastIntermediate_.clear();
  if (d.deviceFolder().empty()) return 0;
  fs::path file;
  int rc =
      prepareIntermediate(IntermediateFamily::OSA0, d.recordSettings(), d.measurementTime(), file);
  if (rc != 0) return rc;
  // The entry after the last sample goes with the record, as readers expect N + 1.
  rc = tolv::writeScopeIntermediate(
      file, std::span<const ScopeSample>(d.scopeSamples(), std::size_t(d.sampleCount()) + 1));
  if (rc == 0) lastIntermediate_ = file;
  return rc;
}

int TRecordFiles::writeLogicIntermediate(TMeasureData& d) {
  lastIntermediate_.clear();
  if (d.logicList().count() == 0) return kEmptySampleList;
  if (d.deviceFolder().empty()) return 0;
  fs::path file;
  int rc =
      prepareIntermediate(IntermediateFamily::LAIO, d.recordSettings(), d.measurementTime(), file);
  if (rc != 0) return rc;
  rc = tolv::writeLogicIntermediate(file, d.logicList());
  if (rc == 0) lastIntermediate_ = file;
  return rc;
}

int TRecordFiles::openVoltmeterIntermediate(const TMeasureData& d) {
  lastIntermediate_.clear();
  if (d.deviceFolder().empty()) return kIntermediateNotOpen;
  fs::path file;
  int rc = data_.numbering(IntermediateFamily::VMXY).nextFileName(file);
  if (rc != 0) return rc;
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  rc = voltmeter_.open(file);
  if (rc != 0) return rc;
  lastIntermediate_ = file;
  // A missing header only loses the settings shown with the series, not the readings.
  writeTextHeader(file, d.recordSettings(), d.measurementTime());
  return 0;
}

int TRecordFiles::appendVoltmeterReading(const VoltmeterReading& r) {
  return voltmeter_.append(r);
}

int TRecordFiles::closeVoltmeterIntermediate() {
  return voltmeter_.close();
}

// --- Conversions ---------------------------------------------------------------------------

namespace {

// A reading step's result: a failure is the stored file's.
int fromSource(int rc, ConvertSide* side) {
  if (side) *side = rc != 0 ? ConvertSide::Source : ConvertSide::None;
  return rc;
}

// A writer's result: it fails on its table, except when it was handed no samples to write,
// which is the stored record's fault.
int written(int rc, ConvertSide* side) {
  if (side) {
    *side = rc == 0 ? ConvertSide::None
            : rc == kNoSamples || rc == kEmptySampleList ? ConvertSide::Source
                                                         : ConvertSide::Target;
  }
  return rc;
}

}  // namespace

int convertVoltmeterFile(const fs::path& source, const fs::path& csv, const QString& serial,
                         const CsvStyle& style, ConvertSide* side) {
  RecordInfo ri{serial, {}, {}};
  int rc = readStoredHeader(source, ri.settings, ri.time);
  if (rc == 0) rc = checkStoredContent(IntermediateFamily::VMXY, source, ri.settings).code();
  if (rc != 0) return fromSource(rc, side);
  std::vector<VoltmeterReading> readings;
  rc = readVoltmeterIntermediate(source, readings, ri.time);
  if (rc != 0) return fromSource(rc, side);
  return written(writeVoltmeterSeriesCsv(csv, ri, readings, style), side);
}

int convertScopeFile(const fs::path& source, const fs::path& csv, const QString& serial,
                     const CsvStyle& style, ConvertSide* side) {
  RecordInfo ri{serial, {}, {}};
  int rc = readStoredHeader(source, ri.settings, ri.time);
  // A record cut short or longer than any record would lose samples or show made-up ones.
  if (rc == 0) rc = checkStoredContent(IntermediateFamily::OSA0, source, ri.settings).code();
  if (rc != 0) return fromSource(rc, side);
  std::vector<ScopeSample> entries;
  int n = 0;
  rc = readScopeIntermediate(source, entries, n);
  if (rc != 0) return fromSource(rc, side);
  return written(
      writeScopeIntermediateCsv(csv, ri, std::span(entries).first(std::size_t(n)), style), side);
}

int convertLogicFile(const fs::path& source, const fs::path& csv, const QString& serial,
                     const std::string& windowTrgTypString, const CsvStyle& style,
                     ConvertSide* side) {
  RecordInfo ri{serial, {}, {}};
  int rc = readStoredHeader(source, ri.settings, ri.time);
  if (rc == 0) rc = checkStoredContent(IntermediateFamily::LAIO, source, ri.settings).code();
  if (rc != 0) return fromSource(rc, side);
  TLogAnalList list;
  rc = readLogicIntermediate(source, list);
  if (rc != 0) return fromSource(rc, side);
  const LogicCsvParams p =
      logicIntermediateCsvParams(ri.settings, windowTrgTypString, list.count());
  return written(writeLogicCsv(csv, ri, p, list, style), side);
}

int convertAnalogLoggerFile(const fs::path& source, const fs::path& csv, const QString& serial,
                            const SettingsRecord& window, const CsvStyle& style,
                            ConvertSide* side) {
  RecordInfo ri{serial, {}, {}};
  const int rc = readStoredHeader(source, ri.settings, ri.time);
  if (rc != 0) return fromSource(rc, side);
  return writeAnalogLoggerCsv(csv, ri, window, source, style, side);
}

int convertIoLoggerFile(const fs::path& source, const fs::path& csv, const QString& serial,
                        const std::string& windowTrgTypString, const CsvStyle& style,
                        ConvertSide* side) {
  RecordInfo ri{serial, {}, {}};
  const int rc = readStoredHeader(source, ri.settings, ri.time);
  if (rc != 0) return fromSource(rc, side);
  return writeIoLoggerCsv(csv, ri, windowTrgTypString, source, style, side);
}

int convertIntermediateFile(IntermediateFamily f, const fs::path& source, const fs::path& csv,
                            const QString& serial, const CsvStyle& style, ConvertSide* side) {
  SettingsRecord window;
  if (f == IntermediateFamily::LAIO || f == IntermediateFamily::DLA0 ||
      f == IntermediateFamily::DLDI) {
    std::optional<DayTime> time;
    if (const int rc = readTextHeader(source, window, &time); rc != 0)
      return fromSource(rc, side);
    // The loggers' readers take the sample time as written: times from a NaN would be written.
    if (const StoredContent c = checkStoredHeader(f, window); !c.ok())
      return fromSource(c.code(), side);
  }
  switch (f) {
    case IntermediateFamily::VMXY:
      return convertVoltmeterFile(source, csv, serial, style, side);
    case IntermediateFamily::OSA0:
      return convertScopeFile(source, csv, serial, style, side);
    case IntermediateFamily::LAIO:
      return convertLogicFile(source, csv, serial, window.trgTypString, style, side);
    case IntermediateFamily::DLA0:
      return convertAnalogLoggerFile(source, csv, serial, window, style, side);
    case IntermediateFamily::DLDI:
      return convertIoLoggerFile(source, csv, serial, window.trgTypString, style, side);
  }
  return fromSource(kUnknownMode, side);
}

int convertScopeVxdFile(const fs::path& source, const fs::path& csv, const CsvStyle& style) {
  VxdHeader h;
  std::vector<ScopeSample> samples;
  const int rc = readScopeVxd(source, h, samples);
  if (rc != 0) return rc;
  return writeScopeVxdCsv(csv, h, samples, style);
}

int convertLogicVxdFile(const fs::path& source, const fs::path& csv, const CsvStyle& style) {
  VxdHeader h;
  std::vector<std::uint16_t> words;
  const int rc = readLogicVxd(source, h, words);
  if (rc != 0) return rc;
  if (words.empty()) return kEmptySampleList;
  // Fewer samples than its memory depth: the table would go on with made-up zero rows.
  if (words.size() < std::size_t(std::max(h.count, 0))) return kDamagedFile;
  TLogAnalList list;
  for (std::size_t i = 0; i < words.size(); ++i) list.add(std::int32_t(i), words[i]);
  return writeLogicCsv(csv, RecordInfo{h.serial, {}, h.time}, logicVxdCsvParams(h), list, style);
}

}  // namespace tolv
