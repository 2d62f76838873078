#pragma once
// The device window's file controls: the button BBN_Popup_SaveLoad with its popup menu
// POPMEN_File (settings, scope data, and show / save as CSV / erase all of the five
// intermediate families), and the five number boxes that show a stored file again by number.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "measure/datafiles.h"
#include "measure/intermediate.h"
#include "measure/intermediateshow.h"
#include "measure/measuredata.h"
#include "measure/recordfiles.h"

class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace tolv {

// The dialogs of the file menu, replaceable in tests. An empty name means "cancelled".
class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // `name` is the dialog's own name (SD_CSV, OD_Intermediate_OSA0, ...); filter in Qt form.
  virtual QString saveFileName(const QString& name, const QString& folder, const QString& file,
                               const QString& filter, const QString& defaultSuffix) = 0;
  virtual QString openFileName(const QString& name, const QString& folder,
                               const QString& filter) = 0;
  // A question with Yes, No and Cancel; true only for Yes.
  virtual bool confirm(const QString& text) = 0;
  // Tells the user that a file the user asked for was not written, and why.
  virtual void warn(const QString& text) { (void)text; }
};

class TQtFileDialogs : public IFileDialogs {
 public:
  explicit TQtFileDialogs(QWidget* parent) : parent_(parent) {}
  QString saveFileName(const QString& name, const QString& folder, const QString& file,
                       const QString& filter, const QString& defaultSuffix) override;
  QString openFileName(const QString& name, const QString& folder, const QString& filter) override;
  bool confirm(const QString& text) override;
  void warn(const QString& text) override;

 private:
  QWidget* parent_;
};

class TFilePanel : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kMissingObject = -1001;  // an action before the data is attached

  explicit TFilePanel(QWidget* parent = nullptr);
  ~TFilePanel() override;
  // The panel in a scroll area (SB_Files) that scrolls sideways in a narrow window rather than
  // making the window wider; the area's widget() is the panel.
  static QScrollArea* inScrollArea(QWidget* parent);

  // The data whose files the panel handles and the presenter that draws what is shown. Until
  // attached, every entry stays disabled and the boxes hidden. Attaching also makes the panel
  // the data's record files (automatic saving, intermediate files); the presenter is to pass
  // intermediateFilesChanged on to numberingChanged. attach(nullptr, nullptr) before the data
  // goes away.
  void attach(TMeasureData* data, IMeasurePresenter* presenter);
  TRecordFiles* recordFiles() const { return recordFiles_.get(); }
  void setSerialSource(std::function<QString()> f) { serial_ = std::move(f); }
  void setStyleSource(std::function<CsvStyle()> f);
  // Settings of the window in force (trigger type and probe factors of the conversions).
  void setWindowSettingsSource(std::function<SettingsRecord()> f) { window_ = std::move(f); }
  // What the plot in front shows, as the window tells it: the mode of its record, and the
  // stream file an analog logger's curve is drawn from.
  struct ShownRecord {
    ModeCode mode = kModeOSA0;
    std::filesystem::path streamFile;
  };
  void setShownSource(std::function<ShownRecord()> f) { shown_ = std::move(f); }
  void setBootingSource(std::function<bool()> f);
  // Told after the user picks another automatic save choice.
  void setAutoSaveChanged(std::function<void()> f) { autoSaveChanged_ = std::move(f); }
  // Replaces the dialogs (tests); the panel keeps its own Qt dialogs otherwise.
  void setDialogs(IFileDialogs* d);

  // The settings entries: actions of the settings files, enabled once connected.
  void setSettingsActions(std::function<void()> saveAs, std::function<void()> load,
                          std::function<void()> save);

  // A family's files changed: spin edit range and value, "of" text, entries, box visibility.
  void numberingChanged(const TIntermediateNumbering& n);
  // All five families at once (window open).
  void refreshAll();
  // The family whose plot sheet is shown: only its number box is offered, whatever the
  // device's mode, so stored records of any family can be browsed on their own sheet without
  // switching the device. Unset (a sheet without records): no box.
  void setSheetFamily(std::optional<IntermediateFamily> f);
  // Draws the stored scope record the number box names when no scope record is held yet (the
  // box names the newest after the window opened). False while the program boots and nothing
  // may be shown yet: ask again later.
  bool showNamedScopeRecord();

  // Where the popup opens: window left + button left + its width + 20, window top + button
  // top + 30, in screen coordinates.
  QPoint popupPosition() const;
  void popup();

  QMenu* menu() const { return menu_; }
  QToolButton* popupButton() const { return button_; }
  QGroupBox* numberBox(IntermediateFamily f) const { return boxes_[idx(f)]; }
  QSpinBox* numberSpin(IntermediateFamily f) const { return spins_[idx(f)]; }
  QLabel* ofPanel(IntermediateFamily f) const { return ofs_[idx(f)]; }
  TIntermediateShow* show() const { return show_.get(); }

  void applyTexts();

  // RB_AutoSave_OFF / _CSV / _BIN: AutoSaveMode 0, 1, 2. BIN is offered only where the mode
  // has a binary file.
  int autoSaveMode() const;
  void setAutoSaveMode(int mode);
  void showAutoSaveBin(bool on);

  // Menu actions (also reachable from tests without the menu). A file the user named that could
  // not be written is reported with its reason (IFileDialogs::warn) besides the result code.
  // The two "Save scope data" entries: the scope record, or in the logic analyser its record
  // (as its automatic saving writes it). Greyed while that record is empty.
  int saveScopeData(bool binary);
  bool savesLogicData() const;
  void enableDataEntries();
  int showIntermediate(IntermediateFamily f);
  int saveIntermediateAsCsv(IntermediateFamily f);
  int eraseIntermediate(IntermediateFamily f);
  // "Export...": a stored record (the newest intermediate file's folder first) as a sigrok
  // session, value change dump or plain CSV, chosen by the name's ending. 0 (also when
  // cancelled), or the exit code of the export, told to the user in words.
  int exportRecord();
  // "Export record on screen...": the record the plot in front shows (without a source, that of
  // the window's mode) in the formats that can hold it; 0 (also when cancelled) or the exit
  // code of the export, told in words.
  int exportShown();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static std::size_t idx(IntermediateFamily f) { return std::size_t(f); }
  void buildMenu();
  void buildBoxes();
  void spinChanged(IntermediateFamily f);
  // Shows the family's number box when it has more than one file and its sheet is in front.
  void offerBox(const TIntermediateNumbering& n);
  // The number box keeps one size while its count grows, so a record's new number lays out
  // nothing around it; it grows only when the count outgrows the digits it has room for.
  void fitNumberRoom(std::size_t i, int highest, bool force);
  void setFamilyEntries(IntermediateFamily f, bool on);
  RecordInfo recordInfo() const;
  QString serialText() const { return serial_ ? serial_() : QString(); }
  SettingsRecord windowSettings() const;
  CsvStyle csvStyle() const { return style_ ? style_() : CsvStyle::current(); }
  // Reports a failed save of the window's own record to `target`; passes rc on.
  int reportSave(int rc, const fs::path& target);
  // A failed save of `target` (from `source` when converting a stored file), `writing` when it
  // failed on the target, as the writer said; empty for rc 0.
  QString saveFaultText(int rc, const fs::path& target, const fs::path& source,
                        IntermediateFamily family, bool writing) const;
  // Reports a stored file of the family that could not be shown (unless the sheet says so
  // already) or was drawn only in part; passes its rc on.
  int reportShow(const ShowResult& shown, const fs::path& file, IntermediateFamily family);
  QString showFaultText(const ShowResult& shown, const fs::path& file,
                        IntermediateFamily family) const;
  // The family's open dialog: 0 with the file (empty when cancelled); a file that is no
  // intermediate file of the family is said to be what it is and not taken (kUnknownMode).
  int pickIntermediate(IntermediateFamily f, fs::path& file);
  // Sets the family's box to the number of a file shown from the menu, when it has one.
  void nameShownNumber(IntermediateFamily f, const fs::path& file);
  // Empty for a .FIL of the family, else what the file is, in words.
  QString notOfFamily(const fs::path& file, IntermediateFamily family) const;
  // The same for the file the family's number box holds.
  void showNumbered(IntermediateFamily f, int k);
  // What keeps a stored file from being read, in words: what its header or content check finds
  // wrong, else empty.
  QString storedFileFault(const fs::path& source, IntermediateFamily family) const;

  TMeasureData* data_ = nullptr;
  std::unique_ptr<TIntermediateShow> show_;
  std::unique_ptr<TRecordFiles> recordFiles_;
  std::function<QString()> serial_;
  std::function<CsvStyle()> style_;
  std::function<SettingsRecord()> window_;
  std::function<ShownRecord()> shown_;
  std::function<bool()> booting_;
  std::function<void()> autoSaveChanged_;
  TQtFileDialogs qtDialogs_{this};
  IFileDialogs* dialogs_ = &qtDialogs_;
  bool updating_ = false;

  QToolButton* button_ = nullptr;
  QMenu* menu_ = nullptr;
  QAction* saveSettingsAs_ = nullptr;
  QAction* loadSettings_ = nullptr;
  QAction* saveSettings_ = nullptr;
  QAction* scopeCsv_ = nullptr;
  QAction* scopeBin_ = nullptr;
  QAction* export_ = nullptr;
  QAction* exportShown_ = nullptr;
  std::function<void()> onSaveAs_, onLoad_, onSave_;
  std::array<std::array<QAction*, 3>, kIntermediateFamilyCount> entries_{};
  std::array<QGroupBox*, kIntermediateFamilyCount> boxes_{};
  std::optional<IntermediateFamily> sheetFamily_;
  std::array<QSpinBox*, kIntermediateFamilyCount> spins_{};
  std::array<QLabel*, kIntermediateFamilyCount> ofs_{};
  std::array<int, kIntermediateFamilyCount> roomDigits_{};
  std::array<QRadioButton*, 3> autoSave_{};
  bool binOffered_ = true;  // the mode has a binary file of its own
};

}  // namespace tolv
