#pragma once
// The tab sheet "Scope Controls": the value tables of modes, amplitude ranges, sample times,
// memory depths and trigger types. A row click sets the row's value; the selected rows follow
// what the controls show. Also the message-box form of the settings model's Yes/No question.
#include <QWidget>

#include "devicewin/panel_scopecontrols_widgets.h"
#include "device/settingsmodel.h"

class QGroupBox;
class QTableWidget;

namespace tolv {

class TScopeControlsSheet : public QWidget {
  Q_OBJECT
 public:
  explicit TScopeControlsSheet(TSettingsModel& model, QWidget* parent = nullptr);
  void applyTexts();

  QTableWidget* modeTable() const { return vleMode_; }
  QTableWidget* amplitudeTable() const { return vleAmpl_; }
  QTableWidget* sampleTimeTable() const { return vleSampl_; }
  QTableWidget* memoryDepthTable() const { return vleMem_; }
  QTableWidget* triggerTypeTable() const { return vleTrg_; }
  QGroupBox* modeGroup() const { return gbModes_; }
  QGroupBox* triggerTypeGroup() const { return gbTrg_; }

 private:
  void build();
  void fill();
  void modelChanged(SettingsTopic a);
  void sync();
  void showEnabled();
  void rowClicked(QTableWidget* table, int row);

  TSettingsModel& model_;
  TReentryMark mark_;
  bool enabledPending_ = false;
  QGroupBox* gbModes_ = nullptr;
  QGroupBox* gbAmpl_ = nullptr;
  QGroupBox* gbSampl_ = nullptr;
  QGroupBox* gbMem_ = nullptr;
  QGroupBox* gbTrg_ = nullptr;
  QTableWidget* vleMode_ = nullptr;
  QTableWidget* vleAmpl_ = nullptr;
  QTableWidget* vleSampl_ = nullptr;
  QTableWidget* vleMem_ = nullptr;
  QTableWidget* vleTrg_ = nullptr;
};

// The logger sample-time question as a warning box with Yes and No.
class TMessageBoxQuestion : public IQuestionSink {
 public:
  explicit TMessageBoxQuestion(QWidget* parent = nullptr) : parent_(parent) {}
  bool askYesNo(const QString& text) override;

 private:
  QWidget* parent_;
};

}  // namespace tolv
