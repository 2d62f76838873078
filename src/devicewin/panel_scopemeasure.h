#pragma once
// Compact measurement table on the scope sheet: per channel the levels, RMS and timing of the
// shown record, or of the zoomed part of it. The user hides the table with its check box; the
// check box itself stays, so the table can be brought back.
#include <QColor>
#include <QFrame>
#include <QString>
#include <QStringList>
#include <array>
#include <span>
#include <vector>

#include "numerics/signalmeasure.h"

class QCheckBox;
class QLabel;
class QGridLayout;

namespace tolv {

// Row captions and value texts, apart from widgets. language: 0 German, else English.
enum class MeasureRow { Min, Max, PeakToPeak, Mean, Rms, AcRms, Frequency, Period, Duty, Count_ };
QString measureRowCaption(MeasureRow row, int language);
QString measureValueText(const SignalMeasurement& m, MeasureRow row);
QString measurePanelTitle(int language, bool zoomed);

class TScopeMeasurePanel : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kChannels = 2;
  explicit TScopeMeasurePanel(QWidget* parent = nullptr);

  // The record as drawn (copied: the window's arrays change with the next record).
  void setRecord(std::span<const double> ch0, std::span<const double> ch1, double sampleTime);
  // Samples first..last are shown (zoomed); first < 0 shows the whole record.
  void setRange(int first, int last);
  void setChannelColours(const QColor& ch0, const QColor& ch1);
  void applyTexts(int language);
  // Whether the table is shown (the check box).
  void setTableShown(bool shown);
  bool tableShown() const;

  const SignalMeasurement& measurement(int channel) const { return meas_[std::size_t(channel)]; }
  QString cellText(MeasureRow row, int channel) const;
  bool zoomed() const { return first_ >= 0; }

 private:
  void remeasure();
  void showValues();

  QCheckBox* toggle_ = nullptr;
  QFrame* table_ = nullptr;
  std::array<QLabel*, kChannels> heads_{};
  std::array<QLabel*, std::size_t(MeasureRow::Count_)> captions_{};
  std::array<std::array<QLabel*, std::size_t(MeasureRow::Count_)>, kChannels> cells_{};
  std::array<std::vector<double>, kChannels> data_;
  std::array<SignalMeasurement, kChannels> meas_{};
  std::array<bool, kChannels> valid_{};
  std::array<QColor, kChannels> colours_{QColor(Qt::blue), QColor(Qt::red)};
  double sampleTime_ = 0.0;
  int first_ = -1;
  int last_ = -1;
  int language_ = 0;
};

}  // namespace tolv
