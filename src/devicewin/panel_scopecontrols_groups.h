#pragma once
// The settings column of the device window: mode selector, amplitude, timebase, analog trigger
// and logic-analyser trigger groups and the GPIO rows. It shows the settings model's state,
// forwards user actions to its handlers and arranges its groups by the mode layout.
#include <QWidget>
#include <array>

#include "device/gpio.h"
#include "devicewin/panel_gpio.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "device/settingsmodel.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSlider;
class QSpinBox;
class QVBoxLayout;

namespace tolv {

class TScopeControlsPanel : public QWidget {
  Q_OBJECT
 public:
  TScopeControlsPanel(TSettingsModel& settings, TGpioModel& gpio, QWidget* parent = nullptr);
  void applyTexts();

  // Controls, for the window and for tests.
  QComboBox* modes() const { return modes_; }
  TClickPanel* modePanel() const { return pnMode_; }
  QGroupBox* amplitudeGroup() const { return gbAmpl_; }
  QGroupBox* timebaseGroup() const { return gbTime_; }
  QGroupBox* memoryDepthGroup() const { return gbMem_; }
  QGroupBox* triggerGroup() const { return gbTrg_; }
  QGroupBox* logicTriggerGroup() const { return gbLogic_; }
  QSlider* amplitudeTrackbar(int ch) const { return tbAmpl_[std::size_t(ch)]; }
  QScrollBar* offsetSlider(int ch) const { return sbOffs_[std::size_t(ch)]; }
  QPushButton* offsetZero(int ch) const { return bnOffs0_[std::size_t(ch)]; }
  QSpinBox* probeSpin(int ch) const { return seTf_[std::size_t(ch)]; }
  TClickPanel* amplitudePanel(int ch) const { return pnAk_[std::size_t(ch)]; }
  TClickPanel* offsetPanel(int ch) const { return pnOffs_[std::size_t(ch)]; }
  TClickPanel* zeroCorrectionPanel(int ch) const { return pnNpkt_[std::size_t(ch)]; }
  QCheckBox* auxBox() const { return cb085_; }
  QSlider* sampleTimeTrackbar() const { return tbSampl_; }
  QSlider* memoryDepthTrackbar() const { return tbMem_; }
  QSlider* triggerPointTrackbar() const { return tbTrgPt_; }
  TClickPanel* sampleTimePanel() const { return pnSamplTim_; }
  TClickPanel* sampleFreqPanel() const { return pnSamplFreq_; }
  TClickPanel* samplesPanel() const { return pnSamples_; }
  TClickPanel* totalTimePanel() const { return pnTotTim_; }
  TClickPanel* prePostTriggerPanel() const { return pnPrePos_; }
  // Shown in the scope while the memory depth asks more than the scope's memory keeps.
  QLabel* scopeDepthHint() const { return lbDepthHint_; }
  QComboBox* triggerTypeCombo() const { return cobTrg_; }
  QComboBox* logicTriggerTypeCombo() const { return cobTrgLog_; }
  TClickPanel* triggerTypePanel() const { return pnTrgTyp_; }
  TClickPanel* logicTriggerTypePanel() const { return pnTrgTypLog_; }
  QSpinBox* triggerChannel() const { return seTrgChan_; }
  QScrollBar* levelSlider(int which) const { return sbLevel_[std::size_t(which)]; }
  QPushButton* levelZero(int which) const { return bnLevel0_[std::size_t(which)]; }
  TClickPanel* levelPanel(int which) const { return pnLevel_[std::size_t(which)]; }
  TGpioPanel* gpioPanel() const { return gpioPanel_; }
  TGpioPatternPanel* patternPanel() const { return pattern_; }

 private:
  void build();
  QGroupBox* buildAmplitude();
  QGroupBox* buildTimebase();
  QGroupBox* buildTrigger();
  QGroupBox* buildLogicTrigger();
  void connectHandlers();
  void modelChanged(SettingsTopic a);
  void sync();         // every control and panel from the model
  void arrange();      // group order and visibility by the mode layout
  void showEnabled();  // ControlsEnabled
  void showDepthHint();
  void fillCombos();

  TSettingsModel& model_;
  TGpioModel& gpio_;
  TReentryMark mark_;

  QVBoxLayout* groups_ = nullptr;
  QWidget* modeRow_ = nullptr;
  QComboBox* modes_ = nullptr;
  TClickPanel* pnMode_ = nullptr;

  QGroupBox* gbAmpl_ = nullptr;
  std::array<QLabel*, 2> chLabel_{};
  std::array<TClickPanel*, 2> pnAk_{}, pnOffs_{}, pnNpkt_{};
  std::array<QSpinBox*, 2> seTf_{};
  std::array<QSlider*, 2> tbAmpl_{};
  std::array<QScrollBar*, 2> sbOffs_{};
  std::array<QPushButton*, 2> bnOffs0_{};
  QCheckBox* cb085_ = nullptr;

  QGroupBox* gbTime_ = nullptr;
  TClickPanel* pnSamplTim_ = nullptr;
  TClickPanel* pnSamplFreq_ = nullptr;
  QSlider* tbSampl_ = nullptr;
  QGroupBox* gbMem_ = nullptr;
  TClickPanel* pnSamples_ = nullptr;
  TClickPanel* pnTotTim_ = nullptr;
  QSlider* tbMem_ = nullptr;
  TClickPanel* pnPrePos_ = nullptr;
  QSlider* tbTrgPt_ = nullptr;
  QLabel* lbDepthHint_ = nullptr;

  QGroupBox* gbTrg_ = nullptr;
  QComboBox* cobTrg_ = nullptr;
  TClickPanel* pnTrgTyp_ = nullptr;
  QLabel* lbTrgTyp_ = nullptr;
  QSpinBox* seTrgChan_ = nullptr;
  QLabel* lbTrgChan_ = nullptr;
  std::array<QLabel*, 2> lbLevel_{};
  std::array<TClickPanel*, 2> pnLevel_{};
  std::array<QScrollBar*, 2> sbLevel_{};
  std::array<QPushButton*, 2> bnLevel0_{};

  QGroupBox* gbLogic_ = nullptr;
  QComboBox* cobTrgLog_ = nullptr;
  TClickPanel* pnTrgTypLog_ = nullptr;
  TGpioPatternPanel* pattern_ = nullptr;
  TGpioPanel* gpioPanel_ = nullptr;
};

}  // namespace tolv
