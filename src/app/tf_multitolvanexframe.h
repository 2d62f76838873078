#pragma once
// The main frame: lists every FTDI device, opens one device window per family device, owns the
// process-wide choices (language, hints, decimal and column separator) and shuts everything
// down when it closes.
#include <QChar>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/framelogic.h"
#include "common/windowmessages.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "ftdi/ftdi_enumeration.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace tolv {

class TF_OneTolvanex;
class TF_Multi_Tolvanex_Img;
class TDeviceWindowPlacement;
class TUdevMonitor;
class TQtTexts;
class TRepaintPacer;

class TF_MultiTolvanexFrame : public QWidget {
  Q_OBJECT
 public:
  // Posted to the frame, this user message closes it.
  static constexpr int kCloseMessage = kCloseFrameMessage;
  static constexpr int kBootInterval = 1000;
  static constexpr int kHintHidePauseMs = 20000;

  // Creating the frame runs its whole start-up: windows, folders, texts, the FTDI scan and the
  // device windows. Boxes go to sink (nullptr: modal message boxes).
  explicit TF_MultiTolvanexFrame(IFtdiDriver& driver, IMessageSink* sink = nullptr,
                                 QWidget* parent = nullptr);
  ~TF_MultiTolvanexFrame() override;

  // Setters also update the controls; getters return the stored values. A separator equal to
  // the other one is refused (false): no file written with such a pair reads back.
  void setLanguage(int index);
  int language() const { return language_; }
  void setHints(bool on);
  bool hints() const { return hints_; }
  bool setDecimalSeparator(QChar c);
  QChar decimalSeparator() const { return decimalSeparator_; }
  bool setColumnSeparator(QChar c);
  QChar columnSeparator() const { return columnSeparator_; }
  // Both at once (a settings file): a clashing column separator gives way to another one.
  void setSeparators(QChar decimal, QChar column);

  int bootResult() const { return bootResult_; }
  TTolvanexFormsList& deviceWindows() { return forms_; }
  TF_Multi_Tolvanex_Img* multiWindow() const { return multi_; }
  QWidget* coordinateWindow() const { return koord_; }
  QTimer* bootTimer() const { return bootTimer_; }
  int bootStep() const { return bootStep_; }

  // The about window (made by the program entry after the frame).
  void setAboutWindow(QWidget* about) { about_ = about; }
  // Shows the version box; replaceable so tests see the text instead of a modal box.
  void setInfoBox(std::function<void(const QString& caption, const QString& text)> f) {
    infoBox_ = std::move(f);
  }
  // The version information, each value after its label in the current language.
  static QString versionBoxText();

  // Handlers (public so they can be driven directly).
  void IM_GermanClick() { chooseLanguage(0); }
  void IM_EnglishClick() { chooseLanguage(1); }
  void CB_ShowHintsClick();
  void CB_DecimalSeparatorChange(int item);
  void CB_ColumnSeparatorChange(int item);
  void BN_CascadeClick();
  void BN_MultiScopeWindowClick();
  // Toggles the device window of a list row; a row of -1 (empty area) does nothing.
  void LV_TolvanexsMouseUp(int row);
  // A double-click on a row brings its window up, whatever the click before it toggled, and
  // the release that ends it toggles nothing: a window closed while its device measures is
  // always found again this way.
  void LV_TolvanexsDblClick(int row);
  void PN_CopyrightMouseDown(Qt::MouseButton button);
  void TM_BootTimer();

  // Step C: re-applies every language-dependent text here, in the device windows and in the
  // multi-device window.
  void applyTexts();

  // Qt's own texts (standard buttons, dialogs), switched with the language.
  const TQtTexts& qtTexts() const { return *qtTexts_; }

  // Whether the shut-down sequence has run.
  bool shutDownDone() const { return shutDownDone_; }

  // --- Devices that come and go ---------------------------------------------------------------
  // How the frame learns of devices plugged in or pulled out while it runs.
  enum class HotplugWatch {
    None,       // not at all (the device list of the start stays)
    Announced,  // the driver calls devicesChanged itself (simulated devices)
    Udev,       // the system's device manager; listing again every 2 s where there is none
    Poll,       // listing again every 2 s, transfers or not
  };
  static constexpr int kRelistPollMs = 2000;
  static constexpr int kRelistDelayMs = 250;
  void startHotplugWatch(HotplugWatch how);
  // The watch in force: Udev falls back to Poll when no monitor could be started.
  HotplugWatch hotplugWatch() const { return watch_; }
  // A USB device came or went: the list is read again shortly after.
  void devicesChanged();
  // Lists the devices again without error boxes: a returning device reconnects to its own
  // window, a new family device gets a window as at start, a vanished one is marked (and its
  // window told, for drivers that answer as if nothing had happened). Returns the number of
  // new windows.
  int relistDevices();
  // Status cell of the device list row of a window: empty, "Disconnected" or "No access".
  QString deviceStatusText(int row) const;
  QTimer* relistTimer() const { return relistPoll_; }

 signals:
  // Emitted once the frame has closed; the program ends its message loop on it.
  void frameClosed();

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildControls();
  void formCreate();
  int scanFtdi();
  int buildDeviceWindows();
  void restoreWindowPositions();
  // Moves the frame, whose place may come from the position file, wholly onto a screen.
  void keepOnScreen();
  void collectWindowPositions(QStringList& lines) const;
  bool positionsReadable(const QStringList& lines) const;
  void restoreGlobalSettings();
  void writeGlobalSettings();
  // A choice of the user: in force and saved at once, so a conversion from the command line
  // meanwhile writes what the windows write.
  void chooseLanguage(int index);
  void writeWindowPositions();
  void formCloseQuery();
  TF_OneTolvanex* makeDeviceWindow();
  // Steps 1 to 6 of building the device list for one family device at FTDI index i.
  TF_OneTolvanex* addDeviceWindow(const QString& serial, int ftdiIndex);
  void showDeviceStatus(TF_OneTolvanex* w);
  // Shows the window of a list row, out of minimised state, in front.
  void bringUpDeviceWindow(int row);
  // Opens the about window over the frame, wholly on the frame's screen.
  void showAbout();
  void onRelistPoll();
  void onUdevReadable();
  int frameHeight() const;

  IFtdiDriver& driver_;
  IMessageSink* sink_ = nullptr;
  std::unique_ptr<IMessageSink> ownSink_;
  TFtdiEnumeration enumeration_;

  TTolvanexFormsList forms_;
  // The numbers in the device windows' captions (before the windows: a window gone gives its
  // number back).
  TDeviceNumbers numbers_;
  // The device windows belong to the frame; the list above only refers to them.
  std::vector<std::unique_ptr<TF_OneTolvanex>> ownedWindows_;
  TF_Multi_Tolvanex_Img* multi_ = nullptr;
  QWidget* koord_ = nullptr;
  // The device windows repaint one per pass of the event loop (a multi-device cycle greys them all).
  TRepaintPacer* pacer_ = nullptr;
  QWidget* about_ = nullptr;
  std::function<void(const QString&, const QString&)> infoBox_;
  std::unique_ptr<TQtTexts> qtTexts_;

  int language_ = 0;
  bool hints_ = true;
  QChar decimalSeparator_ = QLatin1Char(',');
  QChar columnSeparator_ = QLatin1Char('\t');
  int bootResult_ = 0;
  int bootStep_ = 0;
  bool activateAfterFirstStep_ = false;  // the multi-device window was shown before step 0
  bool shutDownDone_ = false;
  bool dblClickRelease_ = false;  // the next release on the device list ends a double-click

  QLabel* pnAllFtdi_ = nullptr;
  QTreeWidget* lvDevices_ = nullptr;
  QLabel* pnTolvanexScopes_ = nullptr;
  QTreeWidget* lvTolvanexs_ = nullptr;
  QPushButton* bnCascade_ = nullptr;
  QLabel* bnMultiScope_ = nullptr;
  QLabel* imGerman_ = nullptr;
  QLabel* imEnglish_ = nullptr;
  QCheckBox* cbShowHints_ = nullptr;
  QLabel* pnDecimal_ = nullptr;
  QComboBox* cbDecimal_ = nullptr;
  QLabel* pnColumn_ = nullptr;
  QComboBox* cbColumn_ = nullptr;
  QLabel* pnCopyright_ = nullptr;
  QTimer* bootTimer_ = nullptr;
  TDeviceWindowPlacement* placement_ = nullptr;  // child of the frame

  HotplugWatch watch_ = HotplugWatch::None;
  QTimer* relistPoll_ = nullptr;
  QTimer* relistSoon_ = nullptr;
  std::unique_ptr<TUdevMonitor> udev_;
  bool relisting_ = false;
  bool multiRefillPending_ = false;  // new windows wait for the multi-device run to end
  bool relistAfterBoot_ = false;     // a listing was asked for before the first boot step
};

}  // namespace tolv
