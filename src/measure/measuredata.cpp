#include "measure/measuredata.h"

#include <QCoreApplication>
#include <QObject>
#include <algorithm>

#include "common/texttable.h"
#include "common/windowmessages.h"
#include "measure/derived.h"
#include "measure/loggerstream.h"
#include "numerics/arrcalc.h"

namespace tolv {

TMeasureData::TMeasureData(std::filesystem::path deviceFolder)
    : samples_(std::size_t(kScopeEntries)),
      plot_(std::size_t(2 * kScopeEntries), 0.0),
      folder_(std::move(deviceFolder)) {
  for (IntermediateFamily f : kIntermediateFamilies)
    numbering_[std::size_t(f)] = TIntermediateNumbering(folder_, f);
}

TMeasureData::~TMeasureData() = default;

void TMeasureData::initNumbering() {
  for (auto& n : numbering_) n.init();
}

SettingsRecord TMeasureData::snapshot() const {
  return snapshot_ ? snapshot_() : fixedSettings_;
}

// --- Scope -----------------------------------------------------------------------------------

DayTime TMeasureData::triggerMoment(const DayTime& reception, const SettingsRecord& s,
                                    std::int64_t afterSamples) const {
  return dtAddSeconds(reception, -(stamp_.transfer + double(afterSamples) * s.sampleTime));
}

DayTime TMeasureData::receptionTime() {
  if (!stamped_) {
    stamp_ = RecordStamp{};
    return now();
  }
  stamped_ = false;
  return stamp_.received;
}

int TMeasureData::scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) {
  // 1. Reception time.
  const DayTime reception = receptionTime();
  n_ = 0;
  // 2-3. Complete 4-byte groups to volts; the last array entry stays free.
  n_ = std::int32_t(convertScopeRecord(raw, conv, samples_.data(), std::size_t(kScopeMemorySamples)));
  // 4. Trigger moment.
  const SettingsRecord s = snapshot();
  m_ = scopePostTrigger(s.triggerPoint, s.memoryDepth, n_);
  recordSampleTime_ = s.sampleTime;
  // The device sends a record once measured: its transfer comes off as well. A record cut at
  // the scope's memory came as the start of the whole depth, measured to its end.
  measurementTime_ =
      triggerMoment(reception, s, scopeMeasuredAfterTrigger(s.triggerPoint, s.memoryDepth, n_));
  // 5. Automatic save; its result goes back to the acquisition.
  int rc = 0;
  if (s.autoSaveMode == 1 || s.autoSaveMode == 2) rc = files_->autoSaveScope(*this, s.autoSaveMode);
  // 6. Plot array, one entry past the last sample.
  copyToPlotArray();
  // 7. Notice to the multi-device window, as a copy of the values.
  if (!multiHandle_.isNull()) {
    QCoreApplication::postEvent(
        multiHandle_.data(),
        new TRecordNoticeEvent({n_, m_, multiNumber_, s.sampleTime, stamp_.run}));
  }
  return rc;
}

void TMeasureData::scopeRecordFinish() {
  // 8. Plot with the settings of this record.
  plotBusy_ = true;
  recordSettings_ = snapshot();
  presenter_->plotScopeRecord(*this);
  // 9. Intermediate file.
  if (recordSettings_.makeIntermediateFiles) {
    intermediateResult_ = files_->writeScopeIntermediate(*this);
    if (intermediateResult_ == 0) {
      auto& num = numbering(IntermediateFamily::OSA0);
      num.refresh();
      presenter_->intermediateFilesChanged(num);
    }
  }
  // 10. Let the window (and the multi-device window's notice) run, then free the plot.
  presenter_->processEvents();
  plotBusy_ = false;
}

void TMeasureData::setSampleCount(std::int32_t n) {
  n_ = std::clamp<std::int32_t>(n, 0, kScopeMemorySamples);
}

void TMeasureData::copyToPlotArray() {
  double* c0 = plot_.data();
  double* c1 = plot_.data() + kScopeEntries;
  const ScopeSample* s = samples_.data();
  for (std::int32_t i = 0; i <= n_; ++i) {
    c0[i] = s[i].ch0;
    c1[i] = s[i].ch1;
  }
}

// --- Logic analyser --------------------------------------------------------------------------

void TMeasureData::logicRecord(std::span<const std::uint8_t> raw) {
  const DayTime reception = receptionTime();
  logic_.clear();
  const std::size_t groups = raw.size() / 4;
  const std::size_t n = std::min<std::size_t>(groups * 2, std::size_t(kLogicMemorySamples));
  logic_.reserve(int(n));
  std::int32_t k = 0;
  for (std::size_t g = 0; g < groups && std::size_t(k) < n; ++g) {
    const std::uint8_t* p = raw.data() + 4 * g;
    logic_.add(k++, std::uint16_t(p[2] | (p[3] << 8)));
    if (std::size_t(k) < n) logic_.add(k++, std::uint16_t(p[0] | (p[1] << 8)));
  }
  // As a scope record: the trigger moment, not the arrival, which comes the transfer and the
  // part after the trigger later (seconds for a deep record).
  const SettingsRecord s = snapshot();
  measurementTime_ =
      triggerMoment(reception, s, measuredAfterTrigger(s.triggerPoint, s.memoryDepth, k));
}

int TMeasureData::logicRecordFinish() {
  // 4. Plot with this record's settings.
  recordSettings_ = snapshot();
  presenter_->plotLogicRecord(*this);
  // 5. Intermediate file.
  if (recordSettings_.makeIntermediateFiles) {
    intermediateResult_ = files_->writeLogicIntermediate(*this);
    if (intermediateResult_ == 0) {
      auto& num = numbering(IntermediateFamily::LAIO);
      num.refresh();
      presenter_->intermediateFilesChanged(num);
    }
    presenter_->sheetToFront(MeasureSheet::LogicAnalyser);
  }
  // 6. Automatic save.
  const int mode = recordSettings_.autoSaveMode;
  if (mode == 1 || mode == 2) return files_->autoSaveLogic(*this, mode);
  return 0;
}

// --- Voltmeter -------------------------------------------------------------------------------

void TMeasureData::voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) {
  intermediateResult_ = voltmeterReply(rec, v);
}

int TMeasureData::voltmeterReply(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) {
  const ModeCode mode = voltmeterRecordMode(rec);
  if (!isVoltmeterMode(mode)) return kUnknownMode;
  // 1. The acquisition stamps a reading with the moment it was measured.
  const DayTime t = receptionTime();
  lastRaw_ = rec;
  // 2-3.
  volts_ = {v.ch0, v.ch1};
  unit_ = (mode == kModeVMA0 || mode == kModeVMA1) ? QStringLiteral("V RMS")
                                                   : QStringLiteral("V DC");
  presenter_->showVoltmeterValues(v.ch0, v.ch1, unit_);
  // 4.
  const VoltmeterReading reading = VoltmeterReading::measured(t, v.ch0, v.ch1);
  chart_.Add(reading);
  presenter_->chartListChanged(chart_);
  const SettingsRecord s = snapshot();
  if (s.autoSaveMode == 1) files_->chartCsvReading(*this, reading);
  // 5.
  if (s.singleShot) return 0;
  if (!voltmeterFileOpen_) return kIntermediateNotOpen;
  const int rc = files_->appendVoltmeterReading(reading);
  if (rc != 0) voltmeterFileOpen_ = false;  // a write error closes the series
  return rc;
}

void TMeasureData::clearChartList() {
  chart_.Clear();
  presenter_->chartListChanged(chart_);
}

void TMeasureData::voltmeterRunStarted(bool singleShot) {
  // Every run command of a series passes here; the file opens once per series, and a file
  // closed by a write error stays closed until STOP. A single reading asked during a series
  // belongs to it. The acquisition stamps each run command as it goes out.
  const DayTime runTime = receptionTime();
  if (voltmeterSeries_) return;
  // RUN empties the chart list the chart file mirrors, so each RUN ends the open file: each
  // file holds one run's readings under that run's time. A single reading is a measurement of
  // its own, named by its time, not by that of the last run, whose file it would otherwise
  // run on in.
  measurementTime_ = runTime;
  files_->endChartCsv();
  if (singleShot) return;
  voltmeterSeries_ = true;
  // The chart, emptied by RUN, is cleared once more under the new series' time.
  presenter_->chartListChanged(chart_);
  recordSettings_ = snapshot();
  intermediateResult_ = files_->openVoltmeterIntermediate(*this);
  voltmeterFileOpen_ = intermediateResult_ == 0;
}

void TMeasureData::voltmeterStopped() {
  voltmeterSeries_ = false;
  if (voltmeterFileOpen_) {
    voltmeterFileOpen_ = false;
    intermediateResult_ = files_->closeVoltmeterIntermediate();
    if (intermediateResult_ == 0) {
      auto& num = numbering(IntermediateFamily::VMXY);
      num.refresh();
      presenter_->intermediateFilesChanged(num);
      presenter_->chartListChanged(chart_);
    }
  }
  // The chart is not drawn while readings arrive; the end of the run shows them.
  if (chart_.Count() > 0) presenter_->voltmeterRunStopped(*this);
}

// --- Loggers ---------------------------------------------------------------------------------

void TMeasureData::loggerRunStarted(ModeCode mode) {
  const auto family = familyOfMode(mode);
  if (!family || (*family != IntermediateFamily::DLA0 && *family != IntermediateFamily::DLDI)) {
    loggerOpenResult_ = kUnknownMode;
    return;
  }
  measurementTime_ = now();
  recordSettings_ = snapshot();
  recordSettings_.mode = mode;
  loggerOpenResult_ = stream_.open(numbering(*family), recordSettings_, measurementTime_);
  ioFeed_.clear();
  presenter_->clearLoggerImage(*family);
}

int TMeasureData::loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) {
  if (stream_.awaitsFirstStamp() && !bytes.empty()) {
    // The I/O logger's run begins with its first data, not with RUN.
    measurementTime_ = now();
    stream_.stampDateTime(measurementTime_);
  }
  const int rc = stream_.append(bytes);
  // Bytes not written are not fed either; a file that differs from the feed is read at the end.
  if (rc == 0 && mode == kModeDLDI) ioFeed_.feed(bytes);
  return rc;
}

void TMeasureData::loggerRunEnded(ModeCode mode) {
  const auto family = familyOfMode(mode);
  const std::filesystem::path file = stream_.fileName();
  stream_.close();
  if (!family || file.empty()) return;
  auto& num = numbering(*family);
  num.refresh();
  presenter_->intermediateFilesChanged(num);
  loggerReadResult_ = 0;
  if (*family == IntermediateFamily::DLA0) {
    presenter_->sheetToFront(MeasureSheet::AnalogLogger);
    presenter_->plotAnalogLoggerFile(file);
  } else {
    const int rc = loadIoLoggerStream(file, ioLogger_, ioFeed_);
    ioLoggerFile_ = file;
    loggerReadResult_ = rc == kNoSamples ? 0 : rc;
    presenter_->sheetToFront(MeasureSheet::IoLogger);
    presenter_->plotIoLoggerList(*this);
  }
  // The option in force at the end of the run decides, as for the other modes' saves.
  if (snapshot().autoSaveMode == 1) files_->loggerCsv(*this, mode, file);
}

QString TMeasureData::ioLoggerHeadlineNote() const {
  if (loggerReadResult_ == 0) return {};
  return QStringLiteral("  ") +
         measureResultText(loggerReadResult_, languageIndex(), ResultContext::Reading);
}

QString TMeasureData::shownSeriesHeadlineNote() const {
  if (shownSeriesNotes_.empty()) return {};
  return QStringLiteral("  ") + shownSeriesNotes_.text(languageIndex());
}

// --- Multi-device window ---------------------------------------------------------------------

int TMeasureData::registerMulti(QObject* handle, std::int32_t number) {
  if (!handle) return kNoMultiHandle;
  multiHandle_ = handle;
  multiNumber_ = number;
  return 0;
}

void TMeasureData::unregisterMulti() {
  multiHandle_.clear();
  multiNumber_ = -1;
}

RecordInformation TMeasureData::recordInformation() const {
  return {recordSampleTime_, n_ - m_, m_, measurementTime_};
}

void TMeasureData::rescalePlotData(double offs1, double gain1, double offs0, double gain0) {
  TArrCalc calc;
  double* c0 = plot_.data();
  double* c1 = plot_.data() + kScopeEntries;
  calc.MultiplyConstant(c0, c0, 0, n_, gain0);
  calc.AddConstant(c0, c0, offs0, 0, n_);
  calc.MultiplyConstant(c1, c1, 0, n_, gain1);
  calc.AddConstant(c1, c1, offs1, 0, n_);
}

}  // namespace tolv
