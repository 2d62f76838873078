#pragma once
// The top panel PN_Top of the multi-device window: start and stop controls, the file buttons,
// the status grid, the clear controls, the automatic-operation box and the interval statistics.
// RUN and BREAK sit side by side and never trade places: during a continuous run RUN is
// disabled and BREAK stays where it is, so a click meant to stop never starts.
#include <QFrame>

#include "multi/multicollect.h"

class QBoxLayout;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace tolv {

class TMultiStatusGrid;

class TMultiTopPanel : public QFrame {
  Q_OBJECT
 public:
  TMultiTopPanel(TMultiCollection& coll, QWidget* parent);

  void applyTexts();
  // Run buttons, collecting time and status grid; runGoing: a run or a pending re-run.
  void refreshStatus(bool runGoing);
  void refreshStatistics();
  void refreshOptions();
  void saveControlsShown(bool on);
  // The line under the start controls says why the collecting time changed, when a run
  // changed it, and, for a data file loaded while a run goes on, that the run's cycles take
  // its picture's place (until RUN, another load or the picture cleared; empty: said no more).
  void fileShownDuringRun(const QString& file);
  QLabel* notice() const { return pnNotice_; }
  // Where the collecting time comes from, in the program's language (empty: not known).
  static QString collectTimeSourceText(const TMultiCollection::CollectTimeSource& cs);
  // Narrower than one row of its groups needs (a small screen), the statistics go beneath the
  // start and stop controls: cut off at the window's edge they could not be read.
  void fitWidth(int width);
  bool statisticsStacked() const { return statsStacked_; }
  // The width of its groups in one row, or with the statistics stacked.
  int rowWidth(bool stacked) const;

  QPushButton* runButton() const { return bnRun_; }
  QPushButton* breakButton() const { return bnBreak_; }
  TMultiStatusGrid* statusGrid() const { return dgStatus_; }
  QToolButton* copyButton() const { return bbnCopy_; }
  QToolButton* saveDataButton() const { return bbnSaveData_; }
  QToolButton* printButton() const { return bbnPrint_; }
  QToolButton* savePictureButton() const { return bbnSavePicture_; }
  QToolButton* loadDataButton() const { return bbnLoadData_; }
  QToolButton* saveSettingsButton() const { return bbnSaveSettings_; }
  QToolButton* loadSettingsButton() const { return bbnLoadSettings_; }

 private:
  static constexpr int kGroupGap = 6;
  void buildStartStop();
  void buildFileButtons();
  void buildClearAndAuto();
  void buildStatistics();
  void showNotice();
  TMultiCollection& coll_;
  bool refreshing_ = false;
  bool statsStacked_ = false;
  QBoxLayout* row_ = nullptr;
  QBoxLayout* lead_ = nullptr;        // the start and stop controls and the file buttons
  QBoxLayout* leadColumn_ = nullptr;  // and beneath them the statistics when stacked

  QWidget* pnStartStop_ = nullptr;
  QCheckBox* cbSingleShot_ = nullptr;
  QPushButton* bnRun_ = nullptr;
  QPushButton* bnBreak_ = nullptr;
  QLabel* pnCollectTime_ = nullptr;
  QSpinBox* seCollectTime_ = nullptr;
  QToolButton* bbnCopy_ = nullptr;
  QToolButton* bbnSaveData_ = nullptr;
  QToolButton* bbnPrint_ = nullptr;
  QToolButton* bbnSavePicture_ = nullptr;
  QToolButton* bbnLoadData_ = nullptr;
  QToolButton* bbnSaveSettings_ = nullptr;
  QToolButton* bbnLoadSettings_ = nullptr;
  TMultiStatusGrid* dgStatus_ = nullptr;
  QPushButton* bnClearImage_ = nullptr;
  QCheckBox* cbClearBeforeDrawing_ = nullptr;
  QGroupBox* gbAuto_ = nullptr;
  QCheckBox* cbAutosave_ = nullptr;
  QLineEdit* edFixPart_ = nullptr;
  QCheckBox* cbAutostart_ = nullptr;
  QGroupBox* gbStats_ = nullptr;
  QLabel* statLabels_[3] = {};
  QLabel* extremeLabels_[2] = {};  // captions of PN_DeltaTMin and PN_DeltaTMax
  QLabel* statValues_[5] = {};
  QLabel* pnNotice_ = nullptr;
  QString pictureFile_;  // a file loaded during a run (empty: nothing to say of it)
  QString collectNotice_;
};

}  // namespace tolv
