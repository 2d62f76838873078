#pragma once
// The voltmeter sheet's top row: one group per channel (GB_VC0, GB_VC1) with the reading as a
// large number in the channel's colour (PN_VoltageC0, PN_VoltageC1) and room for the channel's
// bar display, and the chart button (BN_PlotOrUpdateChart). The chart fills the sheet below.
#include <QFrame>
#include <QString>
#include <array>

class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace tolv {

class TVoltagePanels : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kDigits = 4;
  explicit TVoltagePanels(QWidget* parent = nullptr);
  void applyTexts();

  // The value with 4 significant digits, a blank, the SI prefix and the unit ("V DC").
  void showVoltage(int ch, double volts, const QString& unit);
  // No reading (yet) in the mode in force: both panels empty.
  void clearVoltages();
  static QString voltageText(double volts, const QString& unit);
  void showChartButton(bool visible);

  QLabel* voltagePanel(int ch) const { return value_[std::size_t(ch)]; }
  QGroupBox* group(int ch) const { return group_[std::size_t(ch)]; }
  // Where a channel's bar display goes (below its number).
  QVBoxLayout* barSlot(int ch) const { return slot_[std::size_t(ch)]; }
  QPushButton* chartButton() const { return chart_; }

 signals:
  void plotOrUpdateChartClicked();

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void fitFont(int ch);
  double basePointSize_ = 18.0;
  std::array<QGroupBox*, 2> group_{};
  std::array<QLabel*, 2> value_{};
  std::array<QVBoxLayout*, 2> slot_{};
  QPushButton* chart_ = nullptr;
};

}  // namespace tolv
