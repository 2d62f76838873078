#pragma once
// The device window's GPIO widgets: the two rows of 24 line panels (data and direction), the
// logic-analyser trigger pattern (relevance, dynamic and level rows with their hex panels) and
// the debug controls of the I/O counter test. Each shows the models' state and forwards clicks.
#include <QWidget>
#include <array>

#include "device/gpio.h"
#include "devicewin/panel_scopecontrols_widgets.h"

class QGroupBox;
class QCheckBox;
class QSpinBox;

namespace tolv {

// GB_GPIOData and GB_GPIODirection with their 24 panels each, bit 23 on the left.
class TGpioPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TGpioPanel(TGpioModel& model, QWidget* parent = nullptr);
  void applyTexts();

  QGroupBox* dataGroup() const { return dataGroup_; }
  QGroupBox* directionGroup() const { return directionGroup_; }
  TClickPanel* dataPanel(int bit) const { return data_[std::size_t(bit)]; }
  TClickPanel* directionPanel(int bit) const { return direction_[std::size_t(bit)]; }
  // PN_IOStatus: the counter of the I/O test; a click on it asks to cover the debug controls.
  TClickPanel* ioStatus() const { return ioStatus_; }

 signals:
  void ioStatusClicked();

 private:
  void modelChanged(SettingsTopic a);
  void redraw();
  void showEnabled();
  void showCounter();

  TGpioModel& model_;
  QGroupBox* dataGroup_ = nullptr;
  QGroupBox* directionGroup_ = nullptr;
  std::array<TClickPanel*, kGpioBits> data_{};
  std::array<TClickPanel*, kGpioBits> direction_{};
  TClickPanel* ioStatus_ = nullptr;
};

// The three pattern rows of the logic-analyser trigger.
class TGpioPatternPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TGpioPatternPanel(TGpioModel& model, QWidget* parent = nullptr);
  void applyTexts();

  TClickPanel* relevancePanel(int bit) const { return relv_[std::size_t(bit)]; }
  TClickPanel* dynamicPanel(int bit) const { return dyn_[std::size_t(bit)]; }
  TClickPanel* levelPanel(int bit) const { return level_[std::size_t(bit)]; }
  TClickPanel* relevanceHex() const { return relvHex_; }
  TClickPanel* dynamicHex() const { return dynHex_; }
  TClickPanel* levelHex() const { return levelHex_; }

 private:
  void modelChanged(SettingsTopic a);
  void redraw();

  TGpioModel& model_;
  std::array<QWidget*, 3> rows_{};  // PN_LA_Trg_Relev_s, PN_LA_Trg_Dyn_s, PN_LA_Trg_Level_s
  std::array<TClickPanel*, kPatternBits> relv_{}, dyn_{}, level_{};
  TClickPanel* relvHex_ = nullptr;
  TClickPanel* dynHex_ = nullptr;
  TClickPanel* levelHex_ = nullptr;
};

// The debug controls of the I/O counter test (placed under the window's debug cover).
class TGpioCounterControls : public QWidget {
  Q_OBJECT
 public:
  explicit TGpioCounterControls(TGpioModel& model, QWidget* parent = nullptr);
  QCheckBox* countBox() const { return count_; }
  QSpinBox* interval(int which) const { return which == 0 ? interval0_ : interval1_; }
  void applyTexts();

 private:
  void showModel();

  TGpioModel& model_;
  TReentryMark mark_;
  QCheckBox* count_ = nullptr;
  QSpinBox* interval0_ = nullptr;
  QSpinBox* interval1_ = nullptr;
};

}  // namespace tolv
