#pragma once
// The device window: one per family device. It owns the link to its device, the acquisition
// cycle over that link with its timers, the settings and GPIO models, and the panels that show
// them: run controls on top, the settings column on the left, the page control on the right and
// the link state below.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "device/acquisition.h"
#include "device/gpio.h"
#include "devicewin/panel_scopecontrols.h"
#include "device/settingsbridge.h"
#include "device/settingsmodel.h"
#include "devicewin/tf_onetolvanex_relay.h"
#include "ftdi/device_link.h"
#include "measure/devicesession.h"

class QTabWidget;
class QFrame;

namespace tolv {

class TOneTolvanexLinkPanel;
class TOneTolvanexRunPanel;
class TScopeControlsPanel;
class TGpioCounterControls;
class TSettingsFileActions;
class TOneTolvanexPlots;
class TFilePanel;
class TChartCsvAutoSave;
class TPlotShortcuts;

// The timers of a device window. The application runs them on QTimers; tests hand in timers
// stepped by a manual clock.
struct TOneTolvanexTimers {
  ITimer& followUp;            // TM_FolowUp
  ITimer& accumulateSettings;  // TM_AccumulateSettings
  ITimer& settings;            // TM_Settings
  ITimer& close;               // TM_Close
  ITimer& noZeroProbe;         // TM_NoZero_TeilerFaktor
  ITimer& forceManualTrigger;  // TM_ForceManualTriggering
  ITimer& forcedSampleTime;    // TM_ForcedSamplTim
  ITimer& replotDldi;          // TM_Replot_DLDI_Data
  ITimer& closeChartFile;      // TM_CloseChartFile
  ITimer& storedScope;         // asks again for the stored scope record once booting ends
};

class TF_OneTolvanex : public QWidget, private IAcquisitionHost {
  Q_OBJECT
 public:
  // Makes one timer with the given interval; the timer must outlive the window.
  using TimerFactory = std::function<ITimer&(int ms)>;
  // Small enough for a 1366 x 768 screen; at this size every control, every sheet's tab and
  // every picture is whole (the settings column scrolls up and down).
  static constexpr int kMinimumWidth = 1220;
  static constexpr int kMinimumHeight = 600;

  // Names of the five per-mode intermediate folders below the device folder.
  static constexpr const auto& kIntermediateFolders = kIntermediateFolderNames;
  static constexpr int kDefaultWidth = 1240;
  static constexpr int kDefaultHeight = 680;
  // How often the scope sheet asks again, while the program boots, for the stored record its
  // number box names.
  static constexpr int kStoredScopeRetryMs = 250;

  // Without a timer factory the window makes its own QTimers.
  explicit TF_OneTolvanex(IFtdiDriver& driver, QWidget* parent = nullptr,
                          const TimerFactory& timers = {});
  ~TF_OneTolvanex() override;

  TDeviceLink& link() { return *link_; }
  const TDeviceLink& link() const { return *link_; }

  // Caption given by the main frame; the window renews its own caption from serial number,
  // identification and device index whenever one of them changes.
  void setCaption(const QString& caption);
  const QString& frameCaption() const { return frameCaption_; }
  QString captionText() const;

  // Keeps the serial number; at most 49 characters go into the buffer the device is opened by.
  void setSerialNumber(const QString& serial);
  const QString& serialNumber() const { return link_->serialNumber(); }
  void setIdentification(const QString& identification);
  const QString& identification() const { return identification_; }
  // Position in the main frame's list, shown 1-based in the caption.
  void setDeviceIndex(int index);
  int deviceIndex() const { return deviceIndex_; }

  // Opens the device by serial number, purges its receive buffer, sets the time-outs, then
  // prepares the device folders, restores the last settings and starts the start-up stages
  // (the identification request is queued for stored and fresh settings alike). Returns the
  // first non-zero result (driver status, or 2 when there are no stored settings yet), else 0.
  int open();
  // Releases the link if it is open.
  FtStatus closeLink();

  // --- Devices that come and go ---------------------------------------------------------------
  // The device has gone from the bus and no failing call has told yet (the system said so, or
  // the device went silently): the run ends as after a failing call. status is the driver's
  // word for it, 0 when none came.
  void deviceGone(FtStatus status = kFtOk);
  // The device is on the bus (again): opens it when it was lost, or when it never opened. A
  // refused open of a listed device shows what to do about access rights. Returns the open
  // status, 0 when nothing was to be done.
  int reconnect();
  // Lost and not back yet.
  bool isLost() const { return acq_.lost(); }
  // The last open was refused for lack of access rights.
  bool accessDenied() const { return accessDenied_; }
  // Called whenever the window's device goes, comes back or is refused (the frame's list
  // follows).
  void setPresenceHook(std::function<void()> f) { presenceHook_ = std::move(f); }
  // What the window does before it goes away: stops the device ("ZZZZ"), stores its last
  // settings and releases the link. A logger run is given a bounded while for its end marker,
  // so its stream file is whole and converted as after STOP; nothing else waits for the device,
  // so a silent or unplugged one cannot hold up the shut-down. Closing is always allowed; a
  // second call does nothing. Runs the three steps below.
  bool closeQuery();
  // The close query in steps, so that at shut-down every device is stopped first and one wait
  // serves all stopped loggers. beginClose stops the device and stores the settings (false when
  // the window was closed already); pollLoggerEnd reads once what a stopped logger still sends
  // (true while its end marker has not come and its link can be read); finishClose ends a
  // stream left without its end marker with what came and releases the link.
  bool beginClose();
  bool pollLoggerEnd();
  void finishClose();
  // Polls the windows' stopped loggers together until each has sent its end marker, for at most
  // kLoggerEndWaitMs.
  static void awaitLoggerEnds(const std::vector<QPointer<TF_OneTolvanex>>& windows);
  static constexpr int kLoggerEndWaitMs = 1000;
  static constexpr int kLoggerEndPollMs = 20;
  // The pause between polls (a real sleep unless replaced; tests move their clock).
  void setCloseWait(std::function<void(int)> f) { closeWait_ = std::move(f); }

  void restoreDefaultSize();
  // What the window manager adds around the window (its title bar above); before it is framed,
  // a title bar's height above.
  QMargins frameMargins() const;
  void applyTexts();

  // Link operations with the panels kept up to date (they also update on their own through the
  // link's change callback).
  FtStatus writeCommand(std::uint32_t n) { return link_->writeCommand(n); }
  FtStatus queryQueue() { return link_->queryQueue(); }
  FtStatus readReceived() { return link_->readReceived(); }

  // Folders prepared by a successful open (empty before).
  const std::filesystem::path& deviceFolder() const { return deviceFolder_; }
  std::filesystem::path lastSettingsPath() const;

  // Replaceable steps that the settings files provide: the restore of "LastSettings" (fills
  // the record and returns 0, 2 when there is no such file, or the file error) and the store
  // of the current settings when the window closes.
  using SettingsRestore = std::function<int(const std::filesystem::path&, SettingsRecord&)>;
  void setSettingsRestore(SettingsRestore f) { settingsRestore_ = std::move(f); }
  void setCloseSteps(std::function<void()> f) { closeSteps_ = std::move(f); }
  // Called after the mode layout of a confirmed mode has been applied, for the controls the
  // data layer owns (automatic-save choice, chart button) and the clearing of its plots.
  void setModeLayoutHook(std::function<void(ModeCode, const ModeLayout&)> f) {
    modeLayoutHook_ = std::move(f);
  }
  // RUN in a voltmeter mode: the chart list is emptied by whoever keeps it.
  void setVoltmeterRunHook(std::function<void()> f) { voltmeterRunHook_ = std::move(f); }
  // The data layer that receives the records; nullptr keeps them in lastRecordSink().
  void setRecordSink(IRecordSink* sink) { sink_.setTarget(sink); }
  TLastRecordSink& lastRecordSink() { return lastSink_; }

  // A multi-device window registered this one: it keeps the scope image sheet where it is.
  void setMultiRegistered(bool on);
  // Whether a multi-device run owns the window's run now (given by the multi-device window that
  // registers it): closing the window then only hides it, and that run's Break ends the run.
  // Otherwise closing stops the run, registered or not.
  void setMultiRunQuery(std::function<bool()> f) { multiRunGoing_ = std::move(f); }

  TAcquisition& acquisition() { return acq_; }
  TSettingsModel& settingsModel() { return model_; }
  TGpioModel& gpioModel() { return gpio_; }
  TOneTolvanexRunPanel* runPanel() const { return runPanel_; }
  TScopeControlsPanel* scopeControlsPanel() const { return controls_; }
  TScopeControlsSheet* scopeControlsSheet() const { return sheet_; }
  TGpioCounterControls* counterControls() const { return counter_; }
  // LastSettings at open and close, and the settings-file menu actions.
  TSettingsFileActions* settingsFiles() const { return settingsFiles_; }
  // The start-up stages have not finished applying a setting yet, or a loss cut them and the
  // device has not had their outcome.
  bool startUpPending() const { return tm_.settings.isActive() || acq_.startUpInterrupted(); }
  // Measurement data, plot sheets, plot controls and voltage panels.
  TOneTolvanexPlots& plots() const { return *plots_; }
  // BBN_Popup_SaveLoad with POPMEN_File and the intermediate files' number boxes.
  TFilePanel* filePanel() const { return files_; }
  TChartCsvAutoSave* chartCsv() const { return chartCsv_.get(); }
  // The window's keyboard commands (start/stop, single, save, copy, print, zoom, sheets).
  TPlotShortcuts* shortcuts() const { return shortcuts_; }

  // Places the later controls go.
  QTabWidget* pageControl() const { return pageControl_; }
  QWidget* scopeControlsPage() const { return scopeControlsPage_; }
  QFrame* runControlsArea() const { return runControls_; }
  QFrame* parmsPanel() const { return parms_; }
  TOneTolvanexLinkPanel* linkPanel() const { return linkPanel_; }
  // A note on the settings file loaded last (which file served), in the status line until the
  // next load; empty clears it.
  void setLoadNote(std::function<QString()> note);

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Window message 1038: drawing progress of a timing diagram.
  bool event(QEvent* e) override;

 private:
  void renewCaption();
  void linkChanged(TDeviceLink::Change change);
  int prepareFolders();
  void attachChartCsv();
  TOneTolvanexTimers makeTimers(const TimerFactory& factory);
  void buildPanels();
  void buildShortcuts();
  void applyModeLayout(ModeCode mode, bool switchSheet);
  // The user closed the window: its own run stops (a multi-device run's is left to that window)
  // and its settings are stored, but it keeps its link and goes on polling, so showing it again
  // from the main frame's list finds it alive.
  void closedByUser();

  // What the acquisition cycle reports, after the settings models have taken their part.
  void processEvents() override;
  void runStateChanged(RunState s) override;
  void stopShowChanged(const StopShow& stop) override;
  void sampleTimeAdjusted(double asked, double got) override;
  void queueCountChanged(int count) override;
  void runEnabledChanged(bool on) override;
  void singleShotChanged(bool on) override;
  void overlapChanged(bool on) override;
  void identificationChanged(const QString& identification) override;
  void modeConfirmed(ModeCode mode) override;
  void settingsReplyApplied(const SettingsReply& r, bool controlsEnabled) override;
  void windowOptionsRestored(const SettingsRecord& r) override;
  void scopeTabToFront() override;
  // The scope sheet in front with nothing drawn: the stored record its number box names (after
  // a restart the newest) is drawn, so the box and the sheet agree.
  void showStoredScopeRecord();
  void voltmeterRunRequested() override;
  void drawProgressChanged(bool visible, int value) override;
  void saveLastSettings() override;
  void closeAgain() override;
  void deviceLost(const LostRun& run) override;
  void deviceBack() override;
  void recordHeadInDoubt(bool doubt) override;
  void showAccessDenied(bool on);
  // The link panel's state and message: refused, gone (with the cut record, if any) or none.
  void showLinkState();
  void presenceChanged() {
    if (presenceHook_) presenceHook_();
  }

  std::unique_ptr<TDeviceLink> link_;
  std::vector<std::unique_ptr<TQtTimer>> ownTimers_;
  TOneTolvanexTimers tm_;
  TLastRecordSink lastSink_;
  TRecordSinkRelay sink_{lastSink_};
  // The cycle reports to the settings bridge, which passes everything on to this window.
  TAcquisition acq_;
  TAcquisitionSettingsHost settingsHost_{acq_, tm_.accumulateSettings};
  TMessageBoxQuestion question_{this};
  TSettingsModel model_{
      settingsHost_, {tm_.noZeroProbe, tm_.forceManualTrigger, tm_.forcedSampleTime}, &question_};
  TGpioModel gpio_{model_};
  TSettingsAcquisitionHost bridge_{model_, gpio_, static_cast<IAcquisitionHost*>(this)};
  bool closed_ = false;
  bool linkReleased_ = false;
  std::function<void(int)> closeWait_;
  bool everOpened_ = false;
  bool accessDenied_ = false;
  LostRun lastLost_;
  // The status line's notes, written anew in the language in use: what the device did with the
  // settings asked for, and what the user must know of the run (samples cut or come so far).
  std::function<QString()> settingsNote_, runNote_, loadNote_;
  // Automatic binary saving chosen in a mode without a binary file: said from a run's start on,
  // and renewed as the choice changes.
  std::function<QString()> saveNote_;
  bool headDoubt_ = false;  // the last record's start may be shifted
  ModeCode notesMode_ = 0;  // the mode confirmed last, whose notes they are
  std::function<void()> presenceHook_;
  std::function<bool()> multiRunGoing_;

  QString frameCaption_;
  QString identification_;
  int deviceIndex_ = 0;
  std::filesystem::path deviceFolder_;
  SettingsRestore settingsRestore_;
  std::function<void()> closeSteps_;
  std::function<void(ModeCode, const ModeLayout&)> modeLayoutHook_;
  std::function<void()> voltmeterRunHook_;

  QFrame* runControls_ = nullptr;
  QFrame* parms_ = nullptr;
  QTabWidget* pageControl_ = nullptr;
  QWidget* scopeControlsPage_ = nullptr;
  TOneTolvanexLinkPanel* linkPanel_ = nullptr;
  TOneTolvanexRunPanel* runPanel_ = nullptr;
  TScopeControlsPanel* controls_ = nullptr;
  TScopeControlsSheet* sheet_ = nullptr;
  TGpioCounterControls* counter_ = nullptr;
  TSettingsFileActions* settingsFiles_ = nullptr;
  std::unique_ptr<TOneTolvanexPlots> plots_;
  TFilePanel* files_ = nullptr;
  TPlotShortcuts* shortcuts_ = nullptr;
  std::unique_ptr<TChartCsvAutoSave> chartCsv_;  // chart CSV of the voltmeter readings
};

}  // namespace tolv
