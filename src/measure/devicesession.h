#pragma once
// One device measured without a window: its link, the acquisition cycle with its four timers,
// the measurement data and the record files, wired as the device window wires them. Headless
// runs and benchmarks use it; a window adds its widgets around the same pieces.
#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "device/acquisition.h"
#include "device/devtimer.h"
#include "ftdi/device_link.h"
#include "measure/chartcsv.h"
#include "measure/datafiles.h"
#include "measure/measuredata.h"
#include "measure/recordfiles.h"
#include "measure/snapshot.h"

namespace tolv {

// Names of the five per-mode intermediate folders below a device folder.
inline constexpr const char* kIntermediateFolderNames[5] = {
    "Intermediate_VMXY", "Intermediate_OSA0", "Intermediate_LAIO", "Intermediate_DLA0",
    "Intermediate_DLDI"};

// A serial number that may name a folder below the data root (not empty, no "." or "..", no
// separators or NUL), so no device can write outside it.
bool serialIsFolderName(const QString& serial);
// Makes root/serial and its five intermediate folders. 0, or 3 when the serial number names
// no folder or a folder cannot be made; `folder` is set whenever the serial number is usable.
int prepareDeviceFolders(const std::filesystem::path& root, const QString& serial,
                         std::filesystem::path& folder);

// The voltmeter chart's CSV file under automatic saving, wired into the record files: the file
// follows the data's chart list, is named after the run's measurement time and the mode in
// force, and a pause of `closeTimer` or the next RUN ends it. `files` may be null (then only
// the chart file is made).
std::unique_ptr<TChartCsvAutoSave> attachChartCsv(TMeasureData& data, TRecordFiles* files,
                                                  ITimer& closeTimer,
                                                  std::function<std::filesystem::path()> folder,
                                                  std::function<QString()> serial,
                                                  std::function<ModeCode()> mode);

// What a session reports of each hand-over of the acquisition cycle.
struct SessionEvent {
  enum class Kind { ScopeRecord, LogicRecord, VoltmeterReading, LoggerChunk, LoggerEnded };
  Kind kind = Kind::ScopeRecord;
  std::uint64_t bytes = 0;  // raw bytes of the record or chunk
  int result = 0;  // the file result of the step (0: written; LoggerEnded: the stream read back)
};

class TDeviceSession final : private IRecordSink, private IAcquisitionHost {
 public:
  using TimerFactory = std::function<ITimer&(int ms)>;

  // Without a timer factory the session runs on QTimers of its own.
  TDeviceSession(IFtdiDriver& driver, const QString& serial, const TimerFactory& timers = {});
  ~TDeviceSession() override;
  TDeviceSession(const TDeviceSession&) = delete;
  TDeviceSession& operator=(const TDeviceSession&) = delete;

  // Separators of the CSV files (default: the main frame's settings).
  void setCsvStyle(const CsvStyle& s) { style_ = s; }
  // Opens the device, prepares its folders below `root` and starts up with `settings` (the
  // start-up stages send mode and settings as the window's restore does). The window options
  // of the files (automatic save, intermediate files, single shot) come from `options`.
  // Returns the driver status of a failed open, 3 for folders that cannot be made, else 0.
  int open(const std::filesystem::path& root, const SettingsRecord& settings,
           const WindowOptions& options);
  // The start-up stages are over and the device reports the settings asked for: RUN may go.
  bool ready() const;
  // RUN; with single shot one record, else runs follow one another until stop().
  void run() {
    takeNoMore_ = false;
    acq_.runClicked();
  }
  // The device is told "ZZZZ"; a voltmeter series closes its file. A logger stream goes on
  // until its end marker arrives (loggerRunning()), and a scope or logic-analyser record on its
  // way is still taken, as in the window.
  void stop() { acq_.stopClicked(); }
  // As stop(), but no further record is taken: a run asked for a number of records ends with
  // that many, also when the next run was already on its way (overlap).
  void stopTakingNoMore() {
    takeNoMore_ = true;
    acq_.stopClicked();
  }
  // Releases the link; timers stop.
  void close();

  // A logger run was written and its end marker has not come yet.
  bool loggerRunning() const { return loggerOpen_; }
  // The link failed: a read or write status other than OK since the open, or the device was
  // found gone (its link lost) without one.
  bool lost() const { return lostStatus_ != kFtOk; }
  FtStatus lostStatus() const { return lostStatus_; }

  std::uint64_t records() const { return records_; }  // scope, logic and voltmeter hand-overs
  std::uint64_t bytesIn() const { return bytesIn_; }   // raw bytes of those and of streams
  // The first file error of a record step (0: none).
  int firstFileError() const { return fileError_; }
  // The first logger stream that could not be read back at the end of its run (0: none); its
  // file was written, so it is no file error.
  int firstReadBackError() const { return readBackError_; }
  // Called after each hand-over has run its record steps.
  std::function<void(const SessionEvent&)> onEvent;
  // What the user must be told (the device took another sample time than asked for), one line
  // naming the device.
  std::function<void(const QString&)> onNotice;

  const QString& serial() const { return link_.serialNumber(); }
  const std::filesystem::path& deviceFolder() const { return folder_; }
  TDeviceLink& link() { return link_; }
  TAcquisition& acquisition() { return acq_; }
  const TAcquisition& acquisition() const { return acq_; }
  TMeasureData& data() { return *data_; }
  const TMeasureData& data() const { return *data_; }
  TRecordFiles& files() { return *files_; }
  const WindowOptions& options() const { return options_; }
  const SettingsRecord& requested() const { return requested_; }

 private:
  ITimer& makeTimer(const TimerFactory& f, int ms);
  void linkChanged(TDeviceLink::Change c);
  void note(SessionEvent::Kind kind, std::uint64_t bytes, int result);

  // IRecordSink: every step goes to the measurement data; the session counts.
  void recordStamped(const RecordStamp& s) override { data_->recordStamped(s); }
  int scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) override;
  void scopeRecordFinish() override;
  void logicRecord(std::span<const std::uint8_t> raw) override;
  int logicRecordFinish() override;
  void voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) override;
  void voltmeterRunStarted(bool singleShot) override { data_->voltmeterRunStarted(singleShot); }
  void voltmeterStopped() override { data_->voltmeterStopped(); }
  void loggerRunStarted(ModeCode mode) override;
  int loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) override;
  void loggerRunEnded(ModeCode mode) override;
  // IAcquisitionHost: RUN in a voltmeter mode starts an empty chart, as in the window.
  void voltmeterRunRequested() override { data_->clearChartList(); }
  void sampleTimeAdjusted(double asked, double got) override;
  void recordHeadInDoubt(bool doubt) override;

  std::vector<std::unique_ptr<TQtTimer>> ownTimers_;
  TDeviceLink link_;
  ITimer& followUp_;
  ITimer& accumulate_;
  ITimer& settings_;
  ITimer& closeTimer_;
  ITimer& chartClose_;
  std::unique_ptr<TMeasureData> data_;
  TAcquisition acq_;
  std::unique_ptr<TRecordFiles> files_;
  std::unique_ptr<TChartCsvAutoSave> chart_;
  CsvStyle style_ = CsvStyle::current();
  WindowOptions options_;
  SettingsRecord requested_;
  std::filesystem::path folder_;
  std::uint64_t scopeBytes_ = 0;
  std::uint64_t records_ = 0;
  std::uint64_t bytesIn_ = 0;
  int fileError_ = 0;
  int readBackError_ = 0;
  bool loggerOpen_ = false;
  bool opened_ = false;
  bool takeNoMore_ = false;  // stopTakingNoMore: records still coming are not taken
  bool skipping_ = false;    // the record in its steps is one of those
  FtStatus lostStatus_ = kFtOk;
};

}  // namespace tolv
