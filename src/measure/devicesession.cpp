#include "measure/devicesession.h"

#include <system_error>

#include "common/paths.h"
#include "common/texttable.h"
#include "device/settingstables.h"

namespace tolv {

namespace fs = std::filesystem;

bool serialIsFolderName(const QString& serial) {
  return !(serial.isEmpty() || serial == QLatin1String(".") || serial == QLatin1String("..") ||
           serial.contains(QLatin1Char('/')) || serial.contains(QLatin1Char('\\')) ||
           serial.contains(QChar(0)));
}

namespace {

// File-system result of making one folder: 0, or 3 when it cannot be made.
int makeFolder(const fs::path& p) {
  std::error_code ec;
  fs::create_directories(p, ec);
  if (fs::is_directory(p, ec)) return 0;
  return 3;
}

}  // namespace

int prepareDeviceFolders(const fs::path& root, const QString& serial, fs::path& folder) {
  if (!serialIsFolderName(serial)) return 3;
  folder = root / pathFromText(serial);
  int result = makeFolder(folder);
  for (const char* sub : kIntermediateFolderNames) {
    const int r = makeFolder(folder / sub);
    if (result == 0) result = r;
  }
  return result;
}

std::unique_ptr<TChartCsvAutoSave> attachChartCsv(TMeasureData& data, TRecordFiles* files,
                                                  ITimer& closeTimer,
                                                  std::function<fs::path()> folder,
                                                  std::function<QString()> serial,
                                                  std::function<ModeCode()> mode) {
  auto chart = std::make_unique<TChartCsvAutoSave>(
      data.chartList(), closeTimer, [folder, mode](const DayTime& t, const char* ext) {
        return automaticDataFileBase(folder(), t, mode(), ext);
      });
  chart->saver().setDevice(serial());
  if (files)
    files->setChartCsv(
        [c = chart.get(), serial](const TMeasureData& d, const VoltmeterReading& r) {
          c->saver().setDevice(serial());
          return c->runReading(d, r);
        },
        [c = chart.get()] { c->endFile(); });
  return chart;
}

TDeviceSession::TDeviceSession(IFtdiDriver& driver, const QString& serial,
                               const TimerFactory& timers)
    : link_(driver),
      followUp_(makeTimer(timers, TAcquisition::kFollowUpInitialMs)),
      accumulate_(makeTimer(timers, TAcquisition::kAccumulateMs)),
      settings_(makeTimer(timers, TAcquisition::kSettingsFirstMs)),
      closeTimer_(makeTimer(timers, TAcquisition::kCloseMs)),
      chartClose_(makeTimer(timers, TChartCsvAutoSave::kCloseChartFileMs)),
      data_(std::make_unique<TMeasureData>()),
      acq_(link_, {followUp_, accumulate_, settings_, closeTimer_}, *this, this) {
  link_.setSerialNumber(serial);
  link_.setChangeCallback([this](TDeviceLink::Change c) { linkChanged(c); });
}

TDeviceSession::~TDeviceSession() {
  for (ITimer* t : {&followUp_, &accumulate_, &settings_, &closeTimer_, &chartClose_}) {
    t->stop();
    t->setHandler({});
  }
  link_.setChangeCallback(nullptr);
  if (data_) data_->setFiles(nullptr);
  chart_.reset();
  files_.reset();
  link_.close();
}

ITimer& TDeviceSession::makeTimer(const TimerFactory& f, int ms) {
  if (f) return f(ms);
  ownTimers_.push_back(std::make_unique<TQtTimer>(ms));
  return *ownTimers_.back();
}

void TDeviceSession::linkChanged(TDeviceLink::Change c) {
  if (lostStatus_ != kFtOk || !opened_) return;
  if (c == TDeviceLink::Change::ReadPanel && link_.readPanelStatus() != kFtOk)
    lostStatus_ = link_.readPanelStatus();
  else if (c == TDeviceLink::Change::WritePanel && link_.writePanelStatus() != kFtOk)
    lostStatus_ = link_.writePanelStatus();
  // Found gone by a listing rather than a failing call.
  else if (c == TDeviceLink::Change::Lost)
    lostStatus_ = link_.lostStatus() != kFtOk ? link_.lostStatus() : kFtDeviceNotFound;
}

int TDeviceSession::open(const fs::path& root, const SettingsRecord& settings,
                         const WindowOptions& options) {
  options_ = options;
  requested_ = settings;
  options_.applyTo(requested_);
  const FtStatus st = link_.open();
  if (st != kFtOk) return int(st);
  opened_ = true;
  const int folders = prepareDeviceFolders(root, serial(), folder_);
  if (folders != 0) return folders;
  // The data starts afresh in the device folder, with its files' numbering read from it.
  data_->setFiles(nullptr);
  chart_.reset();
  files_.reset();
  data_ = std::make_unique<TMeasureData>(folder_);
  data_->initNumbering();
  data_->setSnapshotSource([this] { return takeSnapshot(acq_, options_); });
  files_ = std::make_unique<TRecordFiles>(*data_, [this] { return serial(); });
  files_->setStyleSource([this] { return style_; });
  chart_ = attachChartCsv(
      *data_, files_.get(), chartClose_, [this] { return folder_; }, [this] { return serial(); },
      [this] { return acq_.mode(); });
  data_->setFiles(files_.get());
  acq_.startUp(0, &requested_);
  return 0;
}

void TDeviceSession::sampleTimeAdjusted(double asked, double got) {
  if (onNotice) onNotice(serial() + QStringLiteral(": ") + sampleTimeAdjustedText(asked, got));
}

void TDeviceSession::recordHeadInDoubt(bool doubt) {
  // Its files carry no mark: the note stands in the run's output beside its file lines.
  if (doubt && onNotice) onNotice(serial() + QStringLiteral(": ") + text(kTextRecordHeadInDoubt));
}

bool TDeviceSession::ready() const {
  return acq_.settingsKnown() && acq_.runEnabled() && acq_.controlsEnabled() &&
         acq_.runState() == RunState::Idle && !settings_.isActive() && !accumulate_.isActive() &&
         acq_.replyTag() < 0 && acq_.mode() == requested_.mode;
}

void TDeviceSession::close() {
  // A chart file still open ends with what it holds.
  if (chart_ && chartClose_.isActive()) chart_->onCloseChartFileTimer();
  acq_.close();
}

void TDeviceSession::note(SessionEvent::Kind kind, std::uint64_t bytes, int result) {
  bytesIn_ += bytes;
  int& first = kind == SessionEvent::Kind::LoggerEnded ? readBackError_ : fileError_;
  if (result != 0 && first == 0) first = result;
  if (onEvent) onEvent({kind, bytes, result});
}

int TDeviceSession::scopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv) {
  skipping_ = takeNoMore_;
  if (skipping_) return 0;
  scopeBytes_ = raw.size();
  return data_->scopeRecord(raw, conv);
}

void TDeviceSession::scopeRecordFinish() {
  if (skipping_) return;
  data_->scopeRecordFinish();
  ++records_;
  const int rc = acq_.lastRecordResult() != 0 ? acq_.lastRecordResult()
                                              : data_->lastIntermediateResult();
  note(SessionEvent::Kind::ScopeRecord, scopeBytes_, rc);
}

void TDeviceSession::logicRecord(std::span<const std::uint8_t> raw) {
  skipping_ = takeNoMore_;
  if (skipping_) return;
  scopeBytes_ = raw.size();
  data_->logicRecord(raw);
}

int TDeviceSession::logicRecordFinish() {
  if (skipping_) return 0;
  const int rc = data_->logicRecordFinish();
  ++records_;
  note(SessionEvent::Kind::LogicRecord, scopeBytes_, rc != 0 ? rc : data_->lastIntermediateResult());
  return rc;
}

void TDeviceSession::voltmeterReading(const VoltmeterReplyRecord& rec, const VoltmeterValues& v) {
  data_->voltmeterReading(rec, v);
  ++records_;
  const int rc = data_->lastIntermediateResult();
  // A single shot writes no intermediate file; that is no failure.
  note(SessionEvent::Kind::VoltmeterReading, 16,
       rc == kIntermediateNotOpen && acq_.singleShot() ? 0 : rc);
}

void TDeviceSession::loggerRunStarted(ModeCode mode) {
  data_->loggerRunStarted(mode);
  loggerOpen_ = true;
  if (data_->lastLoggerOpenResult() != 0 && fileError_ == 0)
    fileError_ = data_->lastLoggerOpenResult();
}

int TDeviceSession::loggerChunk(ModeCode mode, std::span<const std::uint8_t> bytes) {
  const int rc = data_->loggerChunk(mode, bytes);
  note(SessionEvent::Kind::LoggerChunk, bytes.size(), rc);
  return rc;
}

void TDeviceSession::loggerRunEnded(ModeCode mode) {
  data_->loggerRunEnded(mode);
  loggerOpen_ = false;
  note(SessionEvent::Kind::LoggerEnded, 0, data_->lastLoggerReadResult());
}

}  // namespace tolv
