#include "devicewin/tf_onetolvanex.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QCheckBox>
#include <QToolButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <system_error>

#include "common/paths.h"
#include "common/screenplace.h"
#include "common/texttable.h"
#include "common/windowmessages.h"
#include "devicewin/columnwheel.h"
#include "devicewin/flowlayout.h"
#include "ftdi/hotplug_texts.h"
#include "devicewin/panel_files.h"
#include "measure/chartcsv.h"
#include "measure/datafiles.h"
#include "measure/recordfiles.h"
#include "devicewin/panel_gpio.h"
#include "devicewin/panel_plotmode.h"
#include "devicewin/plotshortcuts.h"
#include "devicewin/panel_scopecontrols_groups.h"
#include "devicewin/runnotes.h"
#include "devicewin/settingsfileactions.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/sheets_presenter.h"
#include "devicewin/tf_onetolvanex_linkpanel.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "measure/devicesession.h"
#include "measure/snapshot.h"
#include "wire/wirecommands.h"

namespace tolv {

namespace {

// Tab sheets of the page control with the text id of their caption, in page order.
struct SheetDef {
  const char* name;
  int textId;
};
enum SheetIndex { kSheetVoltmeter = 0, kSheetScopeControls = 1, kSheetScopeImage = 2 };
constexpr SheetDef kSheets[] = {
    {"TSH_VMXY_DataImage", 182},     {"TSH_Scope_Controls", 194}, {"TSH_ScopeImage", 206},
    {"TSH_LogicAnalyzerImage", 207}, {"TSH_DLA0_DataImage", 210}, {"TSH_DLDI_DataImage", 212},
};

// The settings column is wide enough for its groups, with the captions of the language in use,
// and the scroll bar beside them, so nothing is cut on the right. It only ever grows.
void fitSettingsColumn(QFrame& column, QScrollArea& scroll) {
  const QMargins m = column.layout()->contentsMargins();
  const QWidget* groups = scroll.widget();
  const int needed =
      std::max(groups->sizeHint().width(), groups->minimumSizeHint().width()) +
      scroll.verticalScrollBar()->sizeHint().width() + m.left() + m.right() +
      2 * column.frameWidth();
  // Only ever wider, and untouched at the same width: a refit on the column's own layout
  // request cannot swing between two widths.
  if (needed > column.minimumWidth()) column.setFixedWidth(needed);
}

// The same for the column as built: its scrolling area is found by name.
void refitSettingsColumn(QFrame& column) {
  if (auto* scroll = column.findChild<QScrollArea*>(QStringLiteral("SB_Parms")))
    fitSettingsColumn(column, *scroll);
}

// Fits the column again whenever its groups have laid themselves out anew: a panel that now
// holds the device's value ("100 kHz", "OSA0") is wider than the empty one the column was
// fitted to, and nothing may lie under the scroll bar. (Asked at once, the sizes are still the
// old ones.)
class TColumnFitter final : public QObject {
 public:
  explicit TColumnFitter(QFrame& column) : QObject(&column), column_(column) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::LayoutRequest) refitSettingsColumn(column_);
    return false;
  }

 private:
  QFrame& column_;
};

// The family whose number box goes with a sheet: the family of stored records the sheet draws;
// for the settings sheet, which draws none, the family of the window's mode (the window opens
// on that sheet, and the stored records of the mode are the ones to page).
std::optional<IntermediateFamily> boxFamilyOfSheet(PlotSheet s, ModeCode mode) {
  switch (s) {
    case PlotSheet::Voltmeter:
      return IntermediateFamily::VMXY;
    case PlotSheet::Scope:
      return IntermediateFamily::OSA0;
    case PlotSheet::Logic:
      return IntermediateFamily::LAIO;
    case PlotSheet::AnalogLogger:
      return IntermediateFamily::DLA0;
    case PlotSheet::IoLogger:
      return IntermediateFamily::DLDI;
    default:
      return familyOfMode(mode);
  }
}

}  // namespace

TF_OneTolvanex::TF_OneTolvanex(IFtdiDriver& driver, QWidget* parent, const TimerFactory& timers)
    : QWidget(parent, Qt::Window),
      link_(std::make_unique<TDeviceLink>(driver)),
      tm_(makeTimers(timers)),
      acq_(*link_, {tm_.followUp, tm_.accumulateSettings, tm_.settings, tm_.close}, sink_,
           &bridge_) {
  setObjectName(QStringLiteral("TF_OneTolvanex"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setMinimumSize(kMinimumWidth, kMinimumHeight);

  // Top: the run and queue controls of the acquisition cycle go here.
  runControls_ = new QFrame(this);
  runControls_->setObjectName(QStringLiteral("PN_CoolBar"));
  runControls_->setFrameShape(QFrame::StyledPanel);
  runControls_->setMinimumHeight(34);
  // The controls wrap into further rows in a narrow window instead of being cut off.
  auto* runLay = new TFlowLayout(runControls_);
  runLay->setContentsMargins(4, 2, 4, 2);

  // Left: the settings panel; right: the page control with the data and settings sheets.
  parms_ = new QFrame(this);
  parms_->setObjectName(QStringLiteral("PN_Parms"));
  parms_->setFrameShape(QFrame::StyledPanel);
  parms_->setFixedWidth(260);
  auto* parmsLay = new QVBoxLayout(parms_);
  parmsLay->setContentsMargins(4, 4, 4, 4);

  pageControl_ = new QTabWidget(this);
  pageControl_->setObjectName(QStringLiteral("PC_1"));
  for (const SheetDef& s : kSheets) {
    auto* page = new QWidget(pageControl_);
    page->setObjectName(QString::fromLatin1(s.name));
    pageControl_->addTab(page, QString());
    if (s.textId == 194) scopeControlsPage_ = page;
  }

  linkPanel_ = new TOneTolvanexLinkPanel(this);

  auto* mid = new QHBoxLayout;
  mid->setContentsMargins(0, 0, 0, 0);
  mid->setSpacing(3);
  mid->addWidget(parms_);
  mid->addWidget(pageControl_, 1);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(3, 3, 3, 3);
  lay->setSpacing(3);
  lay->addWidget(runControls_);
  lay->addLayout(mid, 1);
  lay->addWidget(linkPanel_);

  buildPanels();
  sink_.onLoggerBytes = [this](std::int64_t bytes, bool ended) {
    runNote_ = [bytes, ended] { return loggerReceivedNote(bytes, ended); };
    showLinkState();
  };
  settingsFiles_ = new TSettingsFileActions(*this);
  plots_ = std::make_unique<TOneTolvanexPlots>(*this, tm_.replotDldi);
  files_ = new TFilePanel(runControls_);
  static_cast<TFlowLayout*>(runControls_->layout())->insertWidget(1, files_);
  files_->setSerialSource([this] { return serialNumber(); });
  // "Export record on screen" takes the record of the sheet in front.
  files_->setShownSource([this] {
    TFilePanel::ShownRecord r;
    switch (plots_->sheets().shownSheet()) {
      case PlotSheet::Voltmeter: {
        const ModeCode m = plots_->data().recordSettings().mode;
        r.mode = familyOfMode(m) == IntermediateFamily::VMXY ? m : plots_->data().snapshot().mode;
        if (familyOfMode(r.mode) != IntermediateFamily::VMXY) r.mode = kModeVMD0;
        break;
      }
      case PlotSheet::Logic:
        r.mode = kModeLAIO;
        break;
      case PlotSheet::AnalogLogger:
        r.mode = kModeDLA0;
        r.streamFile = plots_->presenter().analogLoggerFile();
        break;
      case PlotSheet::IoLogger:
        r.mode = kModeDLDI;  // the lines its diagram shows
        r.streamFile = plots_->data().ioLoggerFile();
        break;
      default:
        r.mode = kModeOSA0;
    }
    return r;
  });
  plots_->presenter().onIntermediateFilesChanged = [this](const TIntermediateNumbering& n) {
    files_->numberingChanged(n);
  };
  // Each number box belongs to its family's plot sheet.
  const auto sheetShown = [this](int index) {
    files_->setSheetFamily(boxFamilyOfSheet(PlotSheet(index), acq_.mode()));
    showStoredScopeRecord();
  };
  tm_.storedScope.stop();
  tm_.storedScope.setHandler([this] {
    tm_.storedScope.stop();
    showStoredScopeRecord();
  });
  connect(pageControl_, &QTabWidget::currentChanged, files_, sheetShown);
  sheetShown(pageControl_->currentIndex());
  files_->setBootingSource([] { return bootingFlag(); });
  files_->setAutoSaveChanged([this] {
    if (saveNote_) showLinkState();
  });
  files_->setSettingsActions([this] { settingsFiles_->saveSettingsAs(); },
                             [this] { settingsFiles_->loadSettings(); },
                             [this] { settingsFiles_->saveSettings(); });
  settingsFiles_->setOptionsSource([this](WindowOptions& o) {
    plots_->presenter().applyTo(o);
    o.autoSaveMode = std::uint8_t(files_->autoSaveMode());
  });

  link_->setChangeCallback([this](TDeviceLink::Change c) { linkChanged(c); });
  buildShortcuts();
  resize(kDefaultWidth, kDefaultHeight);
  applyTexts();
  renewCaption();
}

TF_OneTolvanex::~TF_OneTolvanex() {
  // Nothing may fire into a half-destroyed window: neither a timer (tests' timers outlive it)
  // nor the link.
  for (ITimer* t : {&tm_.followUp, &tm_.accumulateSettings, &tm_.settings, &tm_.close,
                    &tm_.noZeroProbe, &tm_.forceManualTrigger, &tm_.forcedSampleTime,
                    &tm_.replotDldi, &tm_.closeChartFile}) {
    t->stop();
    t->setHandler({});
  }
  link_->setChangeCallback(nullptr);
  files_->attach(nullptr, nullptr);
  chartCsv_.reset();
  plots_.reset();
  // The panels refer to the models, which go before the widget tree does.
  delete runPanel_;
  delete controls_;
  delete sheet_;
  delete counter_;
  link_->close();
}

TOneTolvanexTimers TF_OneTolvanex::makeTimers(const TimerFactory& factory) {
  const auto make = [&](int ms) -> ITimer& {
    if (factory) return factory(ms);
    ownTimers_.push_back(std::make_unique<TQtTimer>(ms));
    return *ownTimers_.back();
  };
  return {make(TAcquisition::kFollowUpInitialMs),   make(TAcquisition::kAccumulateMs),
          make(TAcquisition::kSettingsFirstMs),     make(TAcquisition::kCloseMs),
          make(TSettingsModel::kNoZeroMs),          make(TSettingsModel::kForceManualMs),
          make(TSettingsModel::kForcedSampleTimeMs), make(TPlotSheets::kUnzoomWindowMs),
          make(TChartCsvAutoSave::kCloseChartFileMs), make(kStoredScopeRetryMs)};
}

void TF_OneTolvanex::buildPanels() {
  runPanel_ = new TOneTolvanexRunPanel(runControls_);
  static_cast<TFlowLayout*>(runControls_->layout())->insertWidget(0, runPanel_);
  connect(runPanel_, &TOneTolvanexRunPanel::runClicked, this, [this] { acq_.runClicked(); });
  connect(runPanel_, &TOneTolvanexRunPanel::breakClicked, this, [this] { acq_.stopClicked(); });
  connect(runPanel_, &TOneTolvanexRunPanel::singleShotToggled, this,
          [this](bool on) { acq_.setSingleShot(on); });
  connect(runPanel_, &TOneTolvanexRunPanel::overlapToggled, this,
          [this](bool on) { acq_.setOverlap(on); });

  // The settings column scrolls when the window is too low for all of its groups.
  auto* scroll = new QScrollArea(parms_);
  scroll->setObjectName(QStringLiteral("SB_Parms"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  controls_ = new TScopeControlsPanel(model_, gpio_);
  scroll->setWidget(controls_);
  scrollColumnByWheel(*scroll);
  auto* parmsLay = static_cast<QVBoxLayout*>(parms_->layout());
  parmsLay->addWidget(scroll, 1);
  fitSettingsColumn(*parms_, *scroll);
  controls_->installEventFilter(new TColumnFitter(*parms_));
  connect(controls_->gpioPanel(), &TGpioPanel::ioStatusClicked, this,
          [this] { linkPanel_->setDebugCovered(true); });

  // The value tables need more room than a small window leaves them: they scroll instead of
  // being squeezed over each other (and their minimum no longer pushes the window's layout).
  auto* sheetScroll = new QScrollArea(scopeControlsPage_);
  sheetScroll->setObjectName(QStringLiteral("SB_ScopeControlsSheet"));
  sheetScroll->setFrameShape(QFrame::NoFrame);
  sheetScroll->setWidgetResizable(true);
  sheet_ = new TScopeControlsSheet(model_);
  sheetScroll->setWidget(sheet_);
  auto* sheetLay = new QVBoxLayout(scopeControlsPage_);
  sheetLay->setContentsMargins(0, 0, 0, 0);
  sheetLay->addWidget(sheetScroll);

  counter_ = new TGpioCounterControls(gpio_, linkPanel_->debugPage());
  linkPanel_->debugPage()->layout()->addWidget(counter_);

  runPanel_->showSingleOverlapBoxes(model_.layout().singleOverlap);
}

void TF_OneTolvanex::setCaption(const QString& caption) {
  frameCaption_ = caption;
  setWindowTitle(caption);
}

QString TF_OneTolvanex::captionText() const {
  // "Gerät" in German, "Device" in English: the caption speaks the window's language.
  return QStringLiteral("%1 %2: %3 Ser. Nr.: %4")
      .arg(text(225))
      .arg(static_cast<qint64>(deviceIndex_) + 1)
      .arg(identification_, link_->serialNumber());
}

void TF_OneTolvanex::renewCaption() {
  setWindowTitle(captionText());
}

void TF_OneTolvanex::setSerialNumber(const QString& serial) {
  link_->setSerialNumber(serial);
  renewCaption();
}

void TF_OneTolvanex::setIdentification(const QString& identification) {
  identification_ = identification;
  renewCaption();
}

void TF_OneTolvanex::setDeviceIndex(int index) {
  deviceIndex_ = index;
  renewCaption();
}

std::filesystem::path TF_OneTolvanex::lastSettingsPath() const {
  if (deviceFolder_.empty()) return {};
  return deviceFolder_ / "LastSettings.VXS";
}

int TF_OneTolvanex::prepareFolders() {
  return prepareDeviceFolders(dataRoot(), link_->serialNumber(), deviceFolder_);
}

void TF_OneTolvanex::attachChartCsv() {
  // The chart file follows the chart list of the data now in use; a reading with automatic
  // CSV saving goes to it, and a pause of TM_CloseChartFile ends the file.
  chartCsv_.reset();
  chartCsv_ = tolv::attachChartCsv(
      plots_->data(), files_->recordFiles(), tm_.closeChartFile, [this] { return deviceFolder_; },
      [this] { return serialNumber(); }, [this] { return acq_.mode(); });
}

int TF_OneTolvanex::open() {
  model_.clearForcedSampleTimeFlag();
  const FtStatus st = link_->open();
  // Only a device the driver lists and refuses gets the access hint: other failures are not
  // about rights.
  showAccessDenied(isAccessDeniedStatus(st) && link_->listedNow());
  if (st != kFtOk) return static_cast<int>(st);
  everOpened_ = true;
  const int folders = prepareFolders();
  // A new folder means new data: whatever refers to the old data lets go of it first. Opening
  // again on the same folder keeps the data and its open files (a voltmeter series, a chart
  // file) as they are.
  if (folders == 0 && deviceFolder_ != plots_->data().deviceFolder()) {
    files_->attach(nullptr, nullptr);
    chartCsv_.reset();
    plots_->setDeviceFolder(deviceFolder_);
    files_->attach(&plots_->data(), &plots_->presenter());
    attachChartCsv();
    showStoredScopeRecord();
  }
  // Without a restore step the window works with default settings, as for a new device.
  SettingsRecord loaded;
  const int restored = settingsRestore_ ? settingsRestore_(lastSettingsPath(), loaded) : 2;
  acq_.startUp(restored, restored == 0 ? &loaded : nullptr);
  return folders != 0 ? folders : restored;
}

FtStatus TF_OneTolvanex::closeLink() {
  return link_->close();
}

bool TF_OneTolvanex::closeQuery() {
  if (!beginClose()) return true;
  awaitLoggerEnds({this});
  finishClose();
  return true;
}

bool TF_OneTolvanex::beginClose() {
  if (closed_) return false;
  closed_ = true;
  // A window whose open failed has no device to stop and no settings of its own to store; it
  // must not overwrite the stored ones with defaults.
  // A device that went away keeps the settings its window shows: they are stored all the same.
  if (link_->isOpen() || acq_.lost()) acq_.closeQuery();
  return true;
}

bool TF_OneTolvanex::pollLoggerEnd() {
  if (linkReleased_ || !acq_.runInFlight() || !isLoggerMode(acq_.mode()) || !link_->isOpen() ||
      acq_.lost())
    return false;
  // The device sends what it measured before the stop, then its end marker, within a few polls.
  // A tick already on the stack (the close came while it let events run) refuses to poll: the
  // stream cannot be read from here, and waiting would only spin.
  const std::int32_t polls = link_->pollCounter();
  acq_.onFollowUpTimer();
  if (link_->pollCounter() == polls) return false;
  return acq_.runInFlight() && link_->isOpen() && !acq_.lost();
}

void TF_OneTolvanex::finishClose() {
  if (linkReleased_) return;
  linkReleased_ = true;
  // No end marker in time: the stream file keeps what came and is converted all the same.
  if (acq_.runInFlight() && isLoggerMode(acq_.mode()) && !acq_.lost())
    sink_.loggerRunEnded(acq_.mode());
  acq_.close();
  // A chart file still open ends with the window (a reading the stop let come included), not
  // at a pause that never comes.
  if (chartCsv_) chartCsv_->endFile();
}

void TF_OneTolvanex::awaitLoggerEnds(const std::vector<QPointer<TF_OneTolvanex>>& windows) {
  std::function<void(int)> pause;
  for (const auto& w : windows)
    if (w && w->closeWait_) {
      pause = w->closeWait_;
      break;
    }
  for (int waited = 0;; waited += kLoggerEndPollMs) {
    bool pending = false;
    for (const auto& w : windows)
      if (w && w->pollLoggerEnd()) pending = true;
    if (!pending || waited >= kLoggerEndWaitMs) break;
    if (pause)
      pause(kLoggerEndPollMs);
    else
      QThread::msleep(kLoggerEndPollMs);
  }
}

void TF_OneTolvanex::closedByUser() {
  if (!link_->isOpen() && !acq_.lost()) return;  // never opened: nothing to stop or store
  // A multi-device run owns its members' runs: its BREAK ends them, and the window only hides.
  // Being registered is not enough: a run of the window's own between multi-device runs would
  // go on measuring and writing files with no window to show it.
  if (!acq_.multiRegistered() || !multiRunGoing_ || !multiRunGoing_()) {
    // Stopped in any state: a continuous run between two records (in the record steps, or
    // Idle just before the next run is queued) would go on otherwise.
    const bool idle = acq_.runState() == RunState::Idle && !acq_.runInFlight();
    const bool single = acq_.singleShot();
    acq_.stopClicked();
    // The stop clears single shot for the run it ends; an idle window keeps the choice.
    if (idle && single) acq_.setSingleShot(true);
  }
  saveLastSettings();
}

void TF_OneTolvanex::deviceGone(FtStatus status) {
  if (closed_) return;
  // A refused device that left the list is away, no longer refused: plugged back, it is
  // asked again.
  if (accessDenied_) {
    showAccessDenied(false);
    presenceChanged();
  }
  if (!link_->isOpen()) return;
  acq_.linkLost(status);
}

int TF_OneTolvanex::reconnect() {
  if (closed_) return 0;
  if (!everOpened_) {
    if (link_->isOpen()) return 0;
    const int r = open();
    presenceChanged();
    return link_->isOpen() ? 0 : r;
  }
  if (!acq_.lost()) return 0;
  const int st = acq_.reconnect();
  showAccessDenied(isAccessDeniedStatus(FtStatus(st)) && link_->listedNow());
  if (st != 0) presenceChanged();
  return st;
}

void TF_OneTolvanex::deviceLost(const LostRun& run) {
  lastLost_ = run;
  showLinkState();
  presenceChanged();
}

void TF_OneTolvanex::deviceBack() {
  // A run the loss ended stays told after the return: the window is idle, and nothing else
  // says the run did not end as asked (nor that its record in flight is gone).
  if (lastLost_.running) {
    const std::int32_t cut = lastLost_.bytesCut, expected = lastLost_.bytesExpected;
    runNote_ = [cut, expected] { return runEndedByLossNote(cut, expected); };
  }
  lastLost_ = LostRun();
  showLinkState();
  presenceChanged();
}

void TF_OneTolvanex::showAccessDenied(bool on) {
  if (on == accessDenied_) return;
  accessDenied_ = on;
  showLinkState();
  if (on) std::fprintf(stderr, "%s\n", accessDeniedHint(serialNumber()).toLocal8Bit().constData());
}

void TF_OneTolvanex::showLinkState() {
  if (accessDenied_) {
    linkPanel_->showLinkMessage(noAccessCaption(), accessDeniedHint(serialNumber()));
  } else if (acq_.lost()) {
    QString message = deviceGoneText(serialNumber());
    if (lastLost_.bytesCut > 0)
      message += QLatin1Char('\n') + recordCutText(lastLost_.bytesCut, lastLost_.bytesExpected);
    linkPanel_->showLinkMessage(disconnectedCaption(), message);
  } else {
    QStringList notes;
    for (const auto* note : {&loadNote_, &settingsNote_, &runNote_, &saveNote_})
      if (*note) notes << (*note)();
    if (headDoubt_) notes << text(kTextRecordHeadInDoubt);
    notes.removeAll(QString());
    linkPanel_->showLinkMessage(QString(), notes.join(QLatin1Char('\n')));
  }
}

void TF_OneTolvanex::closeEvent(QCloseEvent* event) {
  // At shut-down the close query has run already. Otherwise the user closed the window: it
  // hides (the device list shows it again), and a hidden window must not be cut off from its
  // device, so the link stays open.
  if (!closed_) closedByUser();
  event->accept();
}

bool TF_OneTolvanex::event(QEvent* e) {
  if (e->type() == TProgressEvent::kType) {
    acq_.drawProgress(static_cast<TProgressEvent*>(e)->value());
    return true;
  }
  return QWidget::event(e);
}

void TF_OneTolvanex::setMultiRegistered(bool on) {
  acq_.setMultiRegistered(on);
  model_.setMultiRegistered(on);
}

// --- Reports of the acquisition cycle ---------------------------------------------------------

void TF_OneTolvanex::processEvents() {
  QCoreApplication::processEvents();
}

void TF_OneTolvanex::runStateChanged(RunState s) {
  runPanel_->showRunGoesOn(acq_.runGoesOn());
  runPanel_->showRunState(s);
  // Told as the run starts, where the user looks: the depth the device measures with is the
  // one it reported for this run.
  if (s != RunState::Measuring) return;
  const QString saveBefore = saveNote_ ? saveNote_() : QString();
  saveNote_ = [this] { return binSaveNote(acq_.mode(), files_->autoSaveMode()); };
  const bool saveChanged = saveNote_() != saveBefore;
  if (isLoggerMode(acq_.mode())) {
    if (saveChanged) showLinkState();
    return;
  }
  const ModeCode mode = acq_.mode();
  const double depth = acq_.storedReply().memoryDepth;
  const double trigger = acq_.storedReply().triggerPoint;
  const bool had = bool(runNote_);
  runNote_ = nullptr;
  if (!scopeDepthNote(mode, depth, trigger).isEmpty())
    runNote_ = [mode, depth, trigger] { return scopeDepthNote(mode, depth, trigger); };
  if (had || runNote_ || saveChanged) showLinkState();
}

void TF_OneTolvanex::setLoadNote(std::function<QString()> note) {
  if (!note && !loadNote_) return;
  loadNote_ = std::move(note);
  showLinkState();
}

void TF_OneTolvanex::recordHeadInDoubt(bool doubt) {
  headDoubt_ = doubt;
  showLinkState();
}

void TF_OneTolvanex::sampleTimeAdjusted(double asked, double got) {
  settingsNote_ = [asked, got] { return sampleTimeAdjustedText(asked, got); };
  showLinkState();
}

void TF_OneTolvanex::stopShowChanged(const StopShow& stop) {
  runPanel_->showStop(stop);
}

void TF_OneTolvanex::queueCountChanged(int count) {
  runPanel_->showQueueCount(count);
}

void TF_OneTolvanex::runEnabledChanged(bool on) {
  runPanel_->showRunEnabled(on);
}

void TF_OneTolvanex::singleShotChanged(bool on) {
  runPanel_->showSingleShot(on);
}

void TF_OneTolvanex::overlapChanged(bool on) {
  runPanel_->showOverlap(on);
}

void TF_OneTolvanex::identificationChanged(const QString& identification) {
  setIdentification(identification);
}

void TF_OneTolvanex::modeConfirmed(ModeCode mode) {
  // Notes on the sample time the device took and on a run belong to the mode they were made in
  // (a reconnect confirms the same mode again: they stay).
  const bool otherMode = mode != notesMode_;
  notesMode_ = mode;
  if (otherMode && (settingsNote_ || runNote_ || saveNote_ || headDoubt_)) {
    settingsNote_ = nullptr;
    runNote_ = nullptr;
    saveNote_ = nullptr;
    headDoubt_ = false;
    showLinkState();
  }
  // A reconnect confirms the mode the window had: the sheet the user looks at stays in front.
  applyModeLayout(mode, otherMode);
  plots_->modeConfirmed(mode);
}

void TF_OneTolvanex::settingsReplyApplied(const SettingsReply&, bool) {
  if (plots_) plots_->settingsApplied();
}

void TF_OneTolvanex::windowOptionsRestored(const SettingsRecord& r) {
  plots_->restoreOptions(r);
  files_->setAutoSaveMode(r.autoSaveMode);
  // Options never read (zero) shrink the window to its minimum size. A file from another
  // screen, or edited by hand, must not put the window, or its title bar, out of reach.
  const QRect asked(r.left, r.top, std::max(r.width, kMinimumWidth),
                    std::max(r.height, kMinimumHeight));
  setGeometry(keptOnScreens(asked, frameMargins(), usableScreenAreas()));
}

QMargins TF_OneTolvanex::frameMargins() const {
  const QRect outer = frameGeometry();
  const QRect inner = geometry();
  if (outer != inner)
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
  // Not framed yet: its title bar is allowed for.
  return {0, style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0};
}

void TF_OneTolvanex::applyModeLayout(ModeCode mode, bool switchSheet) {
  // The settings column arranges its own groups; the window does the rest of the layout.
  const ModeLayout& l = model_.layout();
  runPanel_->showSingleOverlapBoxes(l.singleOverlap);
  // A mode shows other groups in the settings column, maybe wider ones.
  refitSettingsColumn(*parms_);
  if (switchSheet && l.switchTab && modeIndex(mode) >= 0)
    pageControl_->setCurrentIndex(l.sheet == TabSheet::Voltmeter ? kSheetVoltmeter
                                                                 : kSheetScopeControls);
  // A new mode on the settings sheet brings its own family's box.
  files_->setSheetFamily(boxFamilyOfSheet(PlotSheet(pageControl_->currentIndex()), mode));
  files_->showAutoSaveBin(l.autoSaveBinShown);
  if (modeLayoutHook_) modeLayoutHook_(mode, l);
}

void TF_OneTolvanex::showStoredScopeRecord() {
  if (pageControl_->currentIndex() != kSheetScopeImage) return;
  if (!files_->showNamedScopeRecord()) tm_.storedScope.start();
}

void TF_OneTolvanex::scopeTabToFront() {
  pageControl_->setCurrentIndex(kSheetScopeImage);
}

void TF_OneTolvanex::voltmeterRunRequested() {
  if (voltmeterRunHook_) voltmeterRunHook_();
}

void TF_OneTolvanex::drawProgressChanged(bool visible, int value) {
  runPanel_->showDrawProgress(visible, value);
}

void TF_OneTolvanex::saveLastSettings() {
  if (closeSteps_) closeSteps_();
}

void TF_OneTolvanex::closeAgain() {
  // The device is stopped and the link released already; closing once more only hides.
  hide();
}

void TF_OneTolvanex::restoreDefaultSize() {
  resize(kDefaultWidth, kDefaultHeight);
}

void TF_OneTolvanex::buildShortcuts() {
  shortcuts_ = new TPlotShortcuts(this);
  TOneTolvanexRunPanel* rp = runPanel_;
  TPlotSheets& sheets = plots_->sheets();
  // The keys act as the buttons do: nothing happens where the button could not be pressed.
  shortcuts_->add(PlotCommand::StartStop, [rp] {
    if (!rp->breakButton()->isHidden() && rp->breakButton()->isEnabled())
      rp->breakButton()->click();
    else if (!rp->runButton()->isHidden())
      rp->runButton()->click();
  });
  shortcuts_->add(PlotCommand::Single, [rp] {
    if (!rp->breakButton()->isHidden() && rp->breakButton()->isEnabled()) return;  // running
    if (!rp->runButton()->isEnabled()) return;
    if (!rp->singleShotBox()->isHidden() && !rp->singleShotBox()->isChecked())
      rp->singleShotBox()->click();
    rp->runButton()->click();
  });
  shortcuts_->add(PlotCommand::Save, [&sheets] { sheets.savePictureAs(); });
  shortcuts_->add(PlotCommand::CopyPicture, [&sheets] { sheets.copyToClipboard(Qt::LeftButton); });
  shortcuts_->add(PlotCommand::Print, [&sheets] { sheets.print(); });
  shortcuts_->add(PlotCommand::Unzoom, [&sheets] { sheets.unzoom(sheets.shownSheet()); });
  shortcuts_->add(PlotCommand::ZoomIn, [&sheets] { sheets.keyZoom(sheets.shownSheet(), 1.0); });
  shortcuts_->add(PlotCommand::ZoomOut, [&sheets] { sheets.keyZoom(sheets.shownSheet(), -1.0); });
  shortcuts_->add(PlotCommand::NextSheet, [&sheets] { sheets.stepSheet(1); });
  shortcuts_->add(PlotCommand::PreviousSheet, [&sheets] { sheets.stepSheet(-1); });
  shortcuts_->decorate(rp->runButton(), {PlotCommand::StartStop, PlotCommand::Single});
  shortcuts_->decorate(rp->breakButton(), {PlotCommand::StartStop});
  shortcuts_->decorate(rp->singleShotBox(), {PlotCommand::Single});
  TPlotToolButtons& tools = plots_->toolButtons();
  shortcuts_->decorate(tools.copyButton(), {PlotCommand::CopyPicture});
  shortcuts_->decorate(tools.printButton(), {PlotCommand::Print});
  shortcuts_->decorate(tools.savePictureButton(), {PlotCommand::Save});
  shortcuts_->decorate(pageControl_->tabBar(), {PlotCommand::NextSheet, PlotCommand::PreviousSheet});
}

void TF_OneTolvanex::applyTexts() {
  for (int i = 0; i < pageControl_->count(); ++i) {
    const int id = kSheets[i].textId;
    pageControl_->setTabText(i, text(id));
  }
  if (runPanel_) runPanel_->applyTexts();
  if (linkPanel_) {
    linkPanel_->applyTexts();
    showLinkState();
  }
  if (counter_) counter_->applyTexts();
  if (controls_) {
    controls_->applyTexts();
    refitSettingsColumn(*parms_);
  }
  if (sheet_) sheet_->applyTexts();
  if (plots_) plots_->applyTexts();
  if (files_) files_->applyTexts();
  if (shortcuts_) shortcuts_->applyTexts();
  // The frame's own caption stays until the window renews its caption itself.
  if (windowTitle() != frameCaption_) renewCaption();
}

void TF_OneTolvanex::linkChanged(TDeviceLink::Change change) {
  switch (change) {
    case TDeviceLink::Change::ReadPanel:
    case TDeviceLink::Change::Opened:
      linkPanel_->showReadState(link_->readPanel(), link_->readPanelStatus());
      break;
    case TDeviceLink::Change::WritePanel:
      linkPanel_->showWriteState(link_->writePanel(), link_->writePanelStatus());
      break;
    case TDeviceLink::Change::TestLine:
      linkPanel_->showTestLine(link_->testLine());
      break;
    case TDeviceLink::Change::Lost:
      // Both panels red: nothing is read or written until the device is back.
      linkPanel_->showReadState(TDeviceLink::PanelState::Red, link_->lostStatus());
      linkPanel_->showWriteState(TDeviceLink::PanelState::Red, link_->lostStatus());
      break;
    case TDeviceLink::Change::Serial:
    case TDeviceLink::Change::Closed:
      break;
  }
}

}  // namespace tolv
