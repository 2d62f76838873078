#pragma once
// The measurement data of one device window: the containers of every mode family, the
// measurement time and record settings, and the record steps that run when the acquisition
// hands over a completed record. Plots, displays and files above this layer are reached
// through IMeasurePresenter and IRecordFiles; both default to doing nothing, so the data
// layer runs on its own in tests.
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "common/daytime.h"
#include "common/typedlists.h"
#include "common/voltmeterreading.h"
#include "device/decoding.h"
#include "device/records.h"
#include "device/settingsrecord.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"
#include "measure/measurecodes.h"
#include "plot/loganal_list.h"

class QObject;

namespace tolv {

class TMeasureData;

// The window's image sheets, for bringing one to the front.
enum class MeasureSheet { Scope, AnalogLogger, Voltmeter, LogicAnalyser, IoLogger };

// What the window shows. Called on the GUI thread in the order of the record steps.
class IMeasurePresenter {
 public:
  virtual ~IMeasurePresenter() = default;
  // Scope step 8: draw the ScopePlotArray with the record settings.
  virtual void plotScopeRecord(const TMeasureData&) {}
  // Logic-analyser step 4: draw the logic-analyser list.
  virtual void plotLogicRecord(const TMeasureData&) {}
  // Voltmeter step 3: both values with the unit ("V DC" or "V RMS"), panels and bars.
  virtual void showVoltmeterValues(double /*ch0*/, double /*ch1*/, const QString& /*unit*/) {}
  // Voltmeter step 4: a reading was appended to (or the chart list was cleared).
  virtual void chartListChanged(const TTaggedTimedFloatPointList&) {}
  // STOP of a voltmeter run: the chart shows the run's readings.
  virtual void voltmeterRunStopped(const TMeasureData&) {}
  // A stored voltmeter series was loaded into the chart list: the chart shows it.
  virtual void voltmeterSeriesShown(const TMeasureData&) {}
  // End of an analog-logger run (or a stored one shown): draw the stream file; 0 or the code
  // of what kept it from being read or drawn.
  virtual int plotAnalogLoggerFile(const std::filesystem::path& /*streamFile*/) { return 0; }
  // Whether the failure of the last plotAnalogLoggerFile is said on its sheet, so that no one
  // need say it again.
  virtual bool failureOnSheet() const { return false; }
  // End of an I/O-logger run: draw the I/O-logger list.
  virtual void plotIoLoggerList(const TMeasureData&) {}
  // Logger run start: the family's image is cleared (DLA0 analog logger, DLDI I/O logger).
  virtual void clearLoggerImage(IntermediateFamily) {}
  // The running indicator shows "plotting" while a stored file is drawn.
  virtual void plottingIndicator(bool /*on*/) {}
  virtual void sheetToFront(MeasureSheet) {}
  // A family got a new intermediate file: enable its three menu entries, update its box.
  virtual void intermediateFilesChanged(const TIntermediateNumbering&) {}
  // Scope step 10 and wherever long work lets the window breathe.
  virtual void processEvents() {}
};

// Files written by the record steps. Every call returns 0 or an error code.
class IRecordFiles {
 public:
  virtual ~IRecordFiles() = default;
  // Automatic save (mode 1 CSV, 2 binary) of the scope / logic-analyser record.
  virtual int autoSaveScope(const TMeasureData&, int /*mode*/) { return 0; }
  virtual int autoSaveLogic(const TMeasureData&, int /*mode*/) { return 0; }
  // End of a logger run with automatic CSV: convert the stream file.
  virtual int loggerCsv(const TMeasureData&, ModeCode /*mode*/,
                        const std::filesystem::path& /*streamFile*/) {
    return 0;
  }
  // Intermediate files of scope and logic-analyser records (written in one go).
  virtual int writeScopeIntermediate(const TMeasureData&) { return 0; }
  virtual int writeLogicIntermediate(TMeasureData&) { return 0; }
  // The voltmeter intermediate file: opened at run start, one reading at a time, closed at
  // stop. open returns 0 when the file is open.
  virtual int openVoltmeterIntermediate(const TMeasureData&) { return 0; }
  virtual int appendVoltmeterReading(const VoltmeterReading&) { return 0; }
  virtual int closeVoltmeterIntermediate() { return 0; }
  // Voltmeter reading with automatic CSV: the chart CSV line.
  virtual int chartCsvReading(const TMeasureData&, const VoltmeterReading&) { return 0; }
  // A voltmeter RUN (a series or a single reading) begins: a chart CSV still open belongs to the
  // last run and ends, so the run's first reading starts a file of its own.
  virtual void endChartCsv() {}
};

// What the multi-device window reads of a finished record.
struct RecordInformation {
  double samplTim = 0.0;
  std::int32_t preTrigger = 0;   // N - M
  std::int32_t postTrigger = 0;  // M
  DayTime measurementTime;
};

class TMeasureData : public IRecordSink {
 public:
  // Indexes 0 .. kScopeMemorySamples: the last entry stays free.
  static constexpr std::int32_t kScopeEntries = kScopeMemorySamples + 1;

  // deviceFolder: where the intermediate families live (empty: no files are written).
  explicit TMeasureData(std::filesystem::path deviceFolder = {});
  ~TMeasureData() override;
  TMeasureData(const TMeasureData&) = delete;
  TMeasureData& operator=(const TMeasureData&) = delete;

  // --- Wiring (all optional) --------------------------------------------------------------
  void setPresenter(IMeasurePresenter* p) { presenter_ = p ? p : &nullPresenter_; }
  void setFiles(IRecordFiles* f) { files_ = f ? f : &nullFiles_; }
  // The settings in force: called for every snapshot (defaults: the last setSettings()).
  void setSnapshotSource(std::function<SettingsRecord()> source) { snapshot_ = std::move(source); }
  void setSettings(const SettingsRecord& r) { fixedSettings_ = r; }
  // Current DayTime (default dayTimeNow); tests pin it.
  void setClock(std::function<DayTime()> now) { now_ = std::move(now); }
  // Re-reads the numbering of all five families (after the device folder exists).
  void initNumbering();

  // --- IRecordSink: the record steps ---------------------------------------------------------
  // The acquisition's stamp of the record that follows: its reception time (when the last byte
  // was read) and the run it answers. A record handed over without one is received now.
  void recordStamped(const RecordStamp& s) override {
    stamp_ = s;
    stamped_ = true;
  }
  // Scope steps 1-7 (convert, trigger time, automatic save, plot array, notice); returns the
  // automatic save's result. The acquisition unlocks the controls and may start the next run
  // before calling scopeRecordFinish (steps 8-10: plot, intermediate file, events).
  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override;
  void scopeRecordFinish() override;
  // Logic-analyser steps 1-3, then (after the acquisition's hand-over) 4-6; the finish returns
  // the automatic save's result.
  void logicRecord(std::span<const std::uint8_t> raw) override;
  int logicRecordFinish() override;
  void voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) override;
  void voltmeterRunStarted(bool singleShot) override;
  void voltmeterStopped() override;
  void loggerRunStarted(ModeCode mode) override;
  int loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) override;
  void loggerRunEnded(ModeCode mode) override;

  // Voltmeter steps 1-5 with a result: 0, kUnknownMode for a reply of no voltmeter mode
  // (nothing is stored), or the intermediate file's code.
  int voltmeterReply(const VoltmeterReplyRecord& rec, const VoltmeterValues& v);
  // RUN in a voltmeter mode: the chart starts empty.
  void clearChartList();

  // --- Multi-device window -------------------------------------------------------------------
  // 0, or kNoMultiHandle for a null handle (nothing changes).
  int registerMulti(QObject* handle, std::int32_t number);
  void unregisterMulti();
  bool registered() const { return !multiHandle_.isNull(); }
  std::int32_t registrationNumber() const { return multiNumber_; }
  bool active() const { return active_; }
  void setActive(bool on) { active_ = on; }
  RecordInformation recordInformation() const;
  // ScopePlotArray entries 0 .. N: channel 0 = v * gain0 + offs0, channel 1 = v * gain1 + offs1.
  void rescalePlotData(double offs1, double gain1, double offs0, double gain0);
  const double* plotChannel0() const { return plot_.data(); }
  const double* plotChannel1() const { return plot_.data() + kScopeEntries; }

  // --- Containers ------------------------------------------------------------------------------
  std::int32_t sampleCount() const { return n_; }  // N of the scope record
  std::int32_t postTrigger() const { return m_; }  // M of the scope record
  // 131001 float pairs; entries 0 .. N-1 are the record.
  const ScopeSample* scopeSamples() const { return samples_.data(); }
  ScopeSample* scopeSamples() { return samples_.data(); }
  // Loading a stored record: sets N (clamped to 0 .. 131000) and copies the plot array.
  void setSampleCount(std::int32_t n);
  void copyToPlotArray();
  double* plotArray() { return plot_.data(); }  // 2 x 131001 doubles

  TLogAnalList& logicList() { return logic_; }
  const TLogAnalList& logicList() const { return logic_; }
  TLogAnalList& ioLoggerList() { return ioLogger_; }
  const TLogAnalList& ioLoggerList() const { return ioLogger_; }
  // The stream file the I/O-logger list was read from (empty: none), the record an export of
  // that sheet writes: the list may hold only a summary of it.
  const std::filesystem::path& ioLoggerFile() const { return ioLoggerFile_; }
  void setIoLoggerFile(std::filesystem::path f) { ioLoggerFile_ = std::move(f); }

  double voltage(int ch) const { return volts_[ch == 1 ? 1 : 0]; }
  const QString& voltageUnit() const { return unit_; }
  const VoltmeterReplyRecord& lastVoltmeterRecord() const { return lastRaw_; }
  TTaggedTimedFloatPointList& chartList() { return chart_; }
  const TTaggedTimedFloatPointList& chartList() const { return chart_; }

  const DayTime& measurementTime() const { return measurementTime_; }
  void setMeasurementTime(const DayTime& t) { measurementTime_ = t; }
  const SettingsRecord& recordSettings() const { return recordSettings_; }
  void setRecordSettings(const SettingsRecord& r) { recordSettings_ = r; }
  SettingsRecord snapshot() const;

  // Set from scope step 8 to 10 and while a stored scope file is shown.
  bool plotBusy() const { return plotBusy_; }
  void setPlotBusy(bool on) { plotBusy_ = on; }

  // --- Intermediate files ------------------------------------------------------------------------
  const std::filesystem::path& deviceFolder() const { return folder_; }
  TIntermediateNumbering& numbering(IntermediateFamily f) { return numbering_[std::size_t(f)]; }
  const TLoggerStreamFile& loggerStream() const { return stream_; }
  bool voltmeterFileOpen() const { return voltmeterFileOpen_; }
  // Results of the last step that has no return path through the acquisition.
  int lastLoggerOpenResult() const { return loggerOpenResult_; }
  // Reading back the stream of the last I/O-logger run for its image: 0, or why it could not
  // be read (a run that recorded nothing is no failure).
  int lastLoggerReadResult() const { return loggerReadResult_; }
  // A stored stream shown instead: nothing is left of the run's failure.
  void forgetLoggerReadResult() { loggerReadResult_ = 0; }
  // What the headline of the I/O-logger picture adds to the record's time: why the run's
  // stream could not be read back, in the user's language; empty when all is well.
  QString ioLoggerHeadlineNote() const;
  // A stored voltmeter series shown: what its reading left out or found (damaged entries, clock
  // jumps), for the headline of its chart, in the user's language; empty when all is well.
  void setShownSeriesNotes(VoltmeterReadNotes notes) { shownSeriesNotes_ = std::move(notes); }
  QString shownSeriesHeadlineNote() const;
  int lastIntermediateResult() const { return intermediateResult_; }

 private:
  DayTime now() const { return now_ ? now_() : dayTimeNow(); }
  // The reception time of the record being handed over (its stamp, used once).
  DayTime receptionTime();
  // The trigger moment of a record received at `reception`: its transfer and the part
  // measured after the trigger (`afterSamples`) before it.
  DayTime triggerMoment(const DayTime& reception, const SettingsRecord& s,
                        std::int64_t afterSamples) const;

  IMeasurePresenter nullPresenter_;
  IRecordFiles nullFiles_;
  IMeasurePresenter* presenter_ = &nullPresenter_;
  IRecordFiles* files_ = &nullFiles_;
  std::function<SettingsRecord()> snapshot_;
  std::function<DayTime()> now_;
  SettingsRecord fixedSettings_ = SettingsRecord::defaults();

  std::vector<ScopeSample> samples_;  // kScopeEntries
  std::vector<double> plot_;          // 2 x kScopeEntries
  std::int32_t n_ = 0;
  std::int32_t m_ = 0;
  double recordSampleTime_ = 0.0;
  TLogAnalList logic_;
  TLogAnalList ioLogger_;
  std::filesystem::path ioLoggerFile_;
  std::array<double, 2> volts_{0.0, 0.0};
  QString unit_ = QStringLiteral("V DC");
  VoltmeterReplyRecord lastRaw_{};
  TTaggedTimedFloatPointList chart_;
  DayTime measurementTime_;
  RecordStamp stamp_;
  bool stamped_ = false;
  SettingsRecord recordSettings_;
  bool plotBusy_ = false;

  QPointer<QObject> multiHandle_;
  std::int32_t multiNumber_ = -1;
  bool active_ = false;

  std::filesystem::path folder_;
  std::array<TIntermediateNumbering, kIntermediateFamilyCount> numbering_;
  TLoggerStreamFile stream_;
  // The I/O logger's summary, made as its stream is written.
  TIoStreamSummaryFeed ioFeed_;
  bool voltmeterSeries_ = false;  // from the first run command of a series to STOP
  bool voltmeterFileOpen_ = false;
  int loggerOpenResult_ = 0;
  int loggerReadResult_ = 0;
  VoltmeterReadNotes shownSeriesNotes_;
  int intermediateResult_ = 0;
};

}  // namespace tolv
