#pragma once
// The multi-device window: runs several device windows as one instrument. The collection
// cycle, the plot and the files live in TMultiCollection; this window shows them and passes the
// user's actions in.
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "devicewin/picturesave.h"
#include "multi/multi_exportdialog.h"
#include "multi/multicollect.h"

class QCheckBox;
class QLabel;
class QMenuBar;
class QTabWidget;

namespace tolv {

class TTolvanexFormsList;
class TF_D2Koord;
class TMultiDornellPage;
class TMultiSettingsPage;
class TMultiTopPanel;
class TFormsMembers;
class TPlotShortcuts;

class TF_Multi_Tolvanex_Img : public QWidget, private IMultiView {
  Q_OBJECT
 public:
  // Result of the activation and fill steps when there is nothing to work on.
  static constexpr int kEmptyList = kMultiEmpty;
  // Result of switching to scope mode without active devices.
  static constexpr int kNoActiveDevices = TMultiCollection::kNoActive;

  // Which file dialog is asked (tests answer them without a modal window).
  enum class Dialog {
    SaveData,
    LoadData,
    SaveScalings,
    LoadScalings,
    Export,             // target of the record on screen: .sr or .csv
    ExportStored,       // a stored file to export
    ExportStoredTarget  // its target: .sr, .vcd or .csv, as far as the file can be written to
  };
  using FileDialog = std::function<QString(Dialog, const QString& proposed)>;
  using ColourDialog = std::function<bool(ColorRef& colour)>;

  // Without a timer factory the window makes its own QTimers.
  explicit TF_Multi_Tolvanex_Img(QWidget* parent = nullptr,
                                 const TMultiCollection::TimerFactory& timers = {});
  ~TF_Multi_Tolvanex_Img() override;

  // The main frame's device windows (references; the list stays the frame's).
  void setDeviceWindows(const TTolvanexFormsList* list);
  // Other member sources (tests): used instead of the device windows.
  void setMembers(IMultiMembers* members);
  void setCoordinateWindow(TF_D2Koord* k) { koord_ = k; }
  // Called when the window is shown for the first time with no active devices: the frame
  // continues its boot sequence at the activation step.
  void setBootRequest(std::function<void()> f) { bootRequest_ = std::move(f); }
  void setFileDialog(FileDialog f) { fileDialog_ = std::move(f); }
  // The formats the last stored file's target dialog offered, as its filter.
  const QString& targetFilter() const { return targetFilter_; }
  // Where export and data file problems are told (tests); a message box otherwise.
  void setExportProblemSink(std::function<void(const QString&)> f) { exportProblem_ = std::move(f); }
  void setColourDialog(ColourDialog f) { colourDialog_ = std::move(f); }
  // The notice of devices left out as busy, while it is shown.
  QMessageBox* busyNotice() const { return busyNotice_; }

  // Boot and frame operations.
  int fillFromDeviceWindows();
  void toggleVisible() { setShown(!isVisible()); }
  // Step S. Hiding the window ends a run going on, as BREAK does: nothing may go on measuring
  // and writing files with no window to show it and stop it.
  void setShown(bool on);
  // Shows the window as it is (a run going on included), out of minimised state, in front.
  void bringUp();
  void setDataFileFolder(const std::filesystem::path& folder);
  const std::filesystem::path& dataFileFolder() const { return coll().dataFileFolder(); }
  void layOut();
  void prepareEmptyPlot();
  bool autostart() const { return coll().autostart(); }
  int activateCheckedDevices();
  int switchActiveToScopeMode();
  int startRun();
  int activeCount() const { return coll().activeCount(); }
  void applyTexts();
  // A run or its pending next cycle: RUN is disabled.
  bool runGoing() const;
  // The frame shuts down: a run going on ends as with BREAK, and the cycle in hand is saved
  // at once with what came.
  void endRunForShutDown();

  // Lines of the frame's position file.
  void savePositionLines(QStringList& lines) const;
  // Takes its nine lines from the front and applies them; 0, -2230 when fewer than five are
  // left (nothing taken), or 9210/9220 for a value that cannot be read (nothing applied).
  // With apply false the lines are only checked.
  int loadPositionLines(QStringList& lines, bool apply = true);

  // Handlers (public so they can be driven directly).
  void BN_RunClick();
  void BN_BreakClick() { coll().breakClicked(); }
  void BN_UpdateClick();
  void BN_ClearImageClick() { coll().clearImage(); }
  void CLB_ACTIVE_TolvanexsClickCheck(int item, bool on);
  // A double-click on a row of the status grid shows that device's window, in front.
  void DG_DblClick(int row);
  void RB_HVXVClick(int mode) { coll().setVisibleMode(mode); }
  int SaveMUVXfileAs();
  // "Export record on screen...": the merged record as a sigrok session or plain CSV, by the
  // name's ending. 0, kMultiCancelled, or an error code (told to the user in words).
  int ExportMUVX();
  // "Export...": a stored file (a merged data file, a device's intermediate file or table)
  // chosen in a dialog, in the format the target's ending names (.sr when it names none).
  // 0, kMultiCancelled, or the exporter's exit code (told to the user in words).
  int ExportStoredMUVX();
  int LoadMUVXfile();
  int SaveMUVXSettingsAs();
  int LoadMUVXSettings();
  void PrintMUVX();
  void CopyMUVXToClipboard(Qt::MouseButton button);
  // "Save picture as…" of the plot: 0, kPictureCancelled or the picture writer's code.
  int SaveMUVXPictureAs();
  void setPictureNameDialog(PictureNameDialog d) { pictureDialog_ = std::move(d); }
  void DG_Scale_ColorsMouseDown(int row);
  // Ends a run going on as BREAK does, then saves the scalings when they changed. Closing is
  // always allowed.
  bool FormCloseQuery();

  TMultiCollection& coll() { return *coll_; }
  const TMultiCollection& coll() const { return *coll_; }
  QLabel* plotImage() const { return im2D_; }
  QTabWidget* pageControl() const { return pc_; }
  QWidget* settingsPage() const;
  QWidget* imagePage() const { return tshImage_; }
  TMultiDornellPage* dornellPage() const { return dornell_; }
  TPlotShortcuts* shortcuts() const { return shortcuts_; }

 protected:
  bool event(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // IMultiView
  void changed(unsigned what) override;
  void processEvents() override;
  void bringToFront() override;
  void showPlotPage() override;
  void setBusyCursor(bool on) override;
  void saveControlsShown(bool on) override;

  void buildMenu();
  void buildShortcuts();
  // Wheel over the plot (x < 0: the middle of the plot) and the middle button's cursors.
  void plotWheel(Qt::KeyboardModifiers mods, int x, int y, int delta);
  void plotCursor(Qt::KeyboardModifiers mods, int x);
  void buildPlotPage();
  void wireTopPanel();
  void refreshScaleTable();
  void refreshStatus();
  void refreshOptions();
  void showPlot();
  void fitTopPanel();
  // The size the window may take on its screen, its frame allowed for.
  QSize screenRoom() const;
  void endRunForGoing();
  // `filter`: the formats an export dialog offers.
  QString askFile(Dialog d, const QString& proposed, const QString& filter = QString());
  MultiExportAskFile exportAsk();
  QString dataFolderText() const;

  std::unique_ptr<TFormsMembers> formsMembers_;
  IMultiMembers* members_ = nullptr;
  std::unique_ptr<IMultiMembers> forwarder_;  // -> members_, which may change later
  std::unique_ptr<TMultiCollection> coll_;
  TF_D2Koord* koord_ = nullptr;
  std::function<void()> bootRequest_;
  FileDialog fileDialog_;
  QString targetFilter_;
  std::function<void(const QString&)> exportProblem_;
  void tellFileProblem(const QString& why);
  // Devices left out of a run because they are busy: told in a box that blocks nothing, so
  // BREAK and the run go on while it is up. A newer notice replaces the one still shown.
  void tellDevicesBusy(const QString& why);
  QPointer<QMessageBox> busyNotice_;
  ColourDialog colourDialog_;
  PictureNameDialog pictureDialog_;
  int mouseButton_ = 0;
  bool runButtonsRecheck_ = false;
  bool refreshingOptions_ = false;
  unsigned plotChanges_ = 0;  // plot pictures shown so far

  QMenuBar* menu_ = nullptr;
  TPlotShortcuts* shortcuts_ = nullptr;
  TMultiTopPanel* top_ = nullptr;
  QTabWidget* pc_ = nullptr;
  TMultiSettingsPage* settings_ = nullptr;
  QWidget* tshImage_ = nullptr;
  QCheckBox* cbShift_ = nullptr;
  TMultiDornellPage* dornell_ = nullptr;
  QLabel* im2D_ = nullptr;
};

}  // namespace tolv
