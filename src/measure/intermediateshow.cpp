#include "measure/intermediateshow.h"

#include <algorithm>
#include <optional>
#include <regex>

#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"
#include "measure/storedfile.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

// Sets a flag for the lifetime of the guard: events run while drawing must not start a second
// show of the same family.
class BusyGuard {
 public:
  explicit BusyGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyGuard() { flag_ = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  bool& flag_;
};

bool fileExists(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

}  // namespace

TIntermediateShow::TIntermediateShow(TMeasureData& data, IMeasurePresenter& presenter)
    : data_(data), presenter_(presenter) {}

bool TIntermediateShow::busy(IntermediateFamily f) const {
  if (f == IntermediateFamily::OSA0) return data_.plotBusy() || busy_[std::size_t(f)];
  return busy_[std::size_t(f)];
}

ShowResult TIntermediateShow::showByNumber(IntermediateFamily f, int k) {
  if (busy(f) || (booting_ && booting_())) return {};
  const fs::path file = intermediateFileName(data_.deviceFolder(), f, k);
  if (!fileExists(file)) return {2, false, {}};
  return showFile(f, file);
}

ShowResult TIntermediateShow::showFile(IntermediateFamily f, const fs::path& file) {
  if (!fileExists(file)) return {2, false, {}};
  // Times from an impossible sample time or depth would be drawn as if measured.
  SettingsRecord h;
  const bool headed = readTextHeader(file, h) == 0;
  if (headed) {
    if (const StoredContent c = checkStoredHeader(f, h); !c.ok()) return {c.code(), false, {}};
  }
  ShowResult r;
  {
    BusyGuard guard(busy_[std::size_t(f)]);
    switch (f) {
      case IntermediateFamily::VMXY:
        r.rc = showVoltmeter(file);
        break;
      case IntermediateFamily::OSA0:
        r.rc = showScope(file);
        break;
      case IntermediateFamily::LAIO:
        r.rc = showLogic(file);
        break;
      case IntermediateFamily::DLA0:
        presenter_.sheetToFront(MeasureSheet::AnalogLogger);
        r.rc = presenter_.plotAnalogLoggerFile(file);
        r.toldOnSheet = r.rc != 0 && presenter_.failureOnSheet();
        break;
      case IntermediateFamily::DLDI:
        r.rc = showIoLogger(file);
        break;
    }
  }
  // A record drawn as far as it goes looks whole: what is missing must be said.
  if (r.rc == 0 && headed) r.content = checkStoredContent(f, file, h);
  return r;
}

int TIntermediateShow::showVoltmeter(const fs::path& file) {
  StoredRecord rec;
  int rc = readStoredHeader(file, rec);
  if (rc != 0) return rc;
  // Straight to the voltmeter sheet: passing another sheet on the way would take the series'
  // number box out of sight (and the typed number with it) and draw that sheet's record.
  rc = readStoredSamples(file, StoredKind::Voltmeter, rec);
  if (rc != 0) return rc;
  data_.setRecordSettings(rec.header);
  if (rec.time) data_.setMeasurementTime(*rec.time);
  data_.setShownSeriesNotes(rec.readingNotes);
  // Every stored reading, the last one included.
  auto& chart = data_.chartList();
  chart.Clear();
  for (const VoltmeterReading& r : rec.readings) chart.Add(r);
  presenter_.chartListChanged(chart);
  presenter_.sheetToFront(MeasureSheet::Voltmeter);
  presenter_.voltmeterSeriesShown(data_);
  return 0;
}

int TIntermediateShow::showScope(const fs::path& file) {
  StoredRecord rec;
  int rc = readStoredHeader(file, rec);
  if (rc != 0) return rc;
  rc = readStoredSamples(file, StoredKind::Scope, rec);
  if (rc != 0) return rc;
  std::copy(rec.scope.begin(), rec.scope.end(), data_.scopeSamples());
  data_.setSampleCount(rec.scopeSamples);
  data_.copyToPlotArray();
  data_.setRecordSettings(rec.header);
  if (rec.time) data_.setMeasurementTime(*rec.time);
  data_.setPlotBusy(true);
  presenter_.plotScopeRecord(data_);
  presenter_.processEvents();
  data_.setPlotBusy(false);
  return 0;
}

int TIntermediateShow::showLogic(const fs::path& file) {
  StoredRecord rec;
  int rc = readStoredHeader(file, rec);
  if (rc != 0) return rc;
  presenter_.sheetToFront(MeasureSheet::LogicAnalyser);
  presenter_.plottingIndicator(true);
  rc = readStoredSamples(file, StoredKind::Logic, rec);
  if (rc == 0) {
    data_.logicList() = std::move(rec.logic);
    data_.setRecordSettings(rec.header);
    if (rec.time) data_.setMeasurementTime(*rec.time);
    presenter_.plotLogicRecord(data_);
  }
  presenter_.plottingIndicator(false);
  return rc;
}

int TIntermediateShow::showIoLogger(const fs::path& file) {
  SettingsRecord s;
  std::optional<DayTime> time;
  TLogAnalList loaded;
  const int rc = loadIoLoggerStream(file, loaded, &s, &time);
  if (rc != 0 && rc != kNoSamples) return rc;
  data_.ioLoggerList() = std::move(loaded);
  data_.setIoLoggerFile(file);
  data_.forgetLoggerReadResult();
  data_.setRecordSettings(s);
  if (time) data_.setMeasurementTime(*time);
  presenter_.sheetToFront(MeasureSheet::IoLogger);
  presenter_.plotIoLoggerList(data_);
  return 0;
}

std::vector<fs::path> numberedIntermediateFiles(const fs::path& deviceFolder,
                                                IntermediateFamily f) {
  std::vector<fs::path> out;
  const fs::path folder = familyFolder(deviceFolder, f);
  const std::regex pattern(familyFolderName(f) + "_[0-9]{3}\\.FIL");
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (std::regex_match(name, pattern)) out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

int TIntermediateShow::eraseAll(IntermediateFamily f) {
  // Every numbered file goes, not only those before the first gap the count stops at.
  int deleted = 0;
  std::error_code ec;
  for (const fs::path& file : numberedIntermediateFiles(data_.deviceFolder(), f)) {
    if (fs::remove(file, ec)) ++deleted;
    fs::remove(textHeaderName(file), ec);
  }
  auto& num = data_.numbering(f);
  num.refresh();
  if (deleted > 0) num.setCurrent(1);
  presenter_.intermediateFilesChanged(num);
  return deleted;
}

}  // namespace tolv
