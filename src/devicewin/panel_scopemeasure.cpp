#include "devicewin/panel_scopemeasure.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "common/format.h"
#include "devicewin/panel_scopecontrols_widgets.h"

namespace tolv {

namespace {
constexpr std::size_t kRows = std::size_t(MeasureRow::Count_);
const char* const kCaptions[2][kRows] = {
    {"Min", "Max", "Spitze-Spitze", "Mittelwert", "Effektivwert", "AC-Effektivwert", "Frequenz",
     "Periode", "Tastgrad"},
    {"Min", "Max", "Peak-peak", "Mean", "RMS", "AC RMS", "Frequency", "Period", "Duty cycle"},
};
const QString kNone = QStringLiteral("-");
}  // namespace

QString measureRowCaption(MeasureRow row, int language) {
  return QString::fromUtf8(kCaptions[language == 0 ? 0 : 1][std::size_t(row)]);
}

QString measurePanelTitle(int language, bool zoomed) {
  QString t = language == 0 ? QStringLiteral("Messwerte") : QStringLiteral("Measurements");
  if (zoomed) t += language == 0 ? QStringLiteral(" (Ausschnitt)") : QStringLiteral(" (zoomed)");
  return t;
}

QString measureValueText(const SignalMeasurement& m, MeasureRow row) {
  // Rounding residue of sums (a mean of 1e-16 V over a symmetric wave) reads as zero.
  const double floor = 1e-12 * std::max(std::abs(m.minimum), std::abs(m.maximum));
  auto volt = [floor](double v) {
    return engText(std::abs(v) < floor ? 0.0 : v, 4, QStringLiteral("V"), true);
  };
  switch (row) {
    case MeasureRow::Min: return volt(m.minimum);
    case MeasureRow::Max: return volt(m.maximum);
    case MeasureRow::PeakToPeak: return volt(m.peakToPeak);
    case MeasureRow::Mean: return volt(m.mean);
    case MeasureRow::Rms: return volt(m.rms);
    case MeasureRow::AcRms: return volt(m.acRms);
    case MeasureRow::Frequency:
      return m.frequency ? engText(*m.frequency, 5, QStringLiteral("Hz"), true) : kNone;
    case MeasureRow::Period:
      return m.period ? engText(*m.period, 5, QStringLiteral("s"), true) : kNone;
    case MeasureRow::Duty:
      return m.dutyCycle ? valueText(*m.dutyCycle * 100.0, 3, QStringLiteral("%")) : kNone;
    case MeasureRow::Count_: break;
  }
  return kNone;
}

TScopeMeasurePanel::TScopeMeasurePanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PN_ScopeMeasure"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 2, 4, 2);
  outer->setSpacing(2);
  toggle_ = new QCheckBox(this);
  toggle_->setObjectName(QStringLiteral("CB_ScopeMeasure"));
  toggle_->setChecked(true);
  outer->addWidget(toggle_);
  table_ = new QFrame(this);
  table_->setObjectName(QStringLiteral("SG_ScopeMeasure"));
  // A little smaller than the window's text: the table is a column beside the plot and takes
  // its width from it.
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  setFont(small);
  auto* grid = new QGridLayout(table_);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(0);
  for (int c = 0; c < kChannels; ++c) {
    heads_[std::size_t(c)] = new QLabel(table_);
    heads_[std::size_t(c)]->setAlignment(Qt::AlignRight);
    grid->addWidget(heads_[std::size_t(c)], 0, c + 1);
  }
  // Columns as wide as the widest value they can show, so the table keeps its width from
  // record to record and the plot beside it is not narrowed and widened by turns.
  const int valueWidth = fontMetrics().horizontalAdvance(QStringLiteral("999.99 kHz")) + 2;
  for (std::size_t r = 0; r < kRows; ++r) {
    captions_[r] = new QLabel(table_);
    grid->addWidget(captions_[r], int(r) + 1, 0);
    for (int c = 0; c < kChannels; ++c) {
      auto* l = new QLabel(kNone, table_);
      l->setAlignment(Qt::AlignRight);
      l->setMinimumWidth(valueWidth);
      cells_[std::size_t(c)][r] = l;
      grid->addWidget(l, int(r) + 1, c + 1);
    }
  }
  outer->addWidget(table_);
  outer->addStretch(1);  // in a column taller than the table, the table stays at the top
  connect(toggle_, &QCheckBox::toggled, this, [this](bool on) {
    table_->setVisible(on);
    // Measured only while shown; catch up with what came in the meantime.
    if (on) remeasure();
    adjustSize();
  });
  setChannelColours(colours_[0], colours_[1]);
  applyTexts(0);
}

void TScopeMeasurePanel::setRecord(std::span<const double> ch0, std::span<const double> ch1,
                                   double sampleTime) {
  data_[0].assign(ch0.begin(), ch0.end());
  data_[1].assign(ch1.begin(), ch1.end());
  sampleTime_ = sampleTime;
  remeasure();
}

void TScopeMeasurePanel::setRange(int first, int last) {
  if (first < 0) {
    first_ = last_ = -1;
  } else {
    first_ = first;
    last_ = last;
  }
  toggle_->setText(measurePanelTitle(language_, zoomed()));
  remeasure();
}

void TScopeMeasurePanel::setChannelColours(const QColor& ch0, const QColor& ch1) {
  colours_ = {ch0, ch1};
  // White like the plot beside it, so the plot's channel colours read the same here.
  QPalette p = palette();
  p.setColor(QPalette::Window, QColor(255, 255, 255));
  p.setColor(QPalette::WindowText, QColor(0, 0, 0));
  setPalette(p);
  for (int c = 0; c < kChannels; ++c) {
    const QString style = QStringLiteral("color: %1;").arg(colours_[std::size_t(c)].name());
    heads_[std::size_t(c)]->setStyleSheet(style + QStringLiteral("font-weight: bold;"));
    for (QLabel* l : cells_[std::size_t(c)]) l->setStyleSheet(style);
  }
}

void TScopeMeasurePanel::applyTexts(int language) {
  language_ = language;
  toggle_->setText(measurePanelTitle(language, zoomed()));
  for (std::size_t r = 0; r < kRows; ++r)
    captions_[r]->setText(measureRowCaption(MeasureRow(r), language));
  // The channels as the rest of the window names them.
  for (int c = 0; c < kChannels; ++c) heads_[std::size_t(c)]->setText(channelShortName(c));
  layout()->activate();
  adjustSize();
}

void TScopeMeasurePanel::setTableShown(bool shown) {
  toggle_->setChecked(shown);
}

bool TScopeMeasurePanel::tableShown() const {
  return toggle_->isChecked();
}

QString TScopeMeasurePanel::cellText(MeasureRow row, int channel) const {
  return cells_[std::size_t(channel)][std::size_t(row)]->text();
}

void TScopeMeasurePanel::remeasure() {
  if (!tableShown()) return;
  for (std::size_t c = 0; c < std::size_t(kChannels); ++c) {
    std::span<const double> all(data_[c]);
    const auto part = zoomed() ? measureRange(all, first_, last_) : all;
    valid_[c] = measureSignal(part, sampleTime_, meas_[c]) != kMeasureNoData;
  }
  showValues();
}

void TScopeMeasurePanel::showValues() {
  for (std::size_t c = 0; c < std::size_t(kChannels); ++c)
    for (std::size_t r = 0; r < kRows; ++r)
      cells_[c][r]->setText(valid_[c] ? measureValueText(meas_[c], MeasureRow(r)) : kNone);
  // Wider texts ("-100 mV") must widen the columns now, not at the next layout pass, or the
  // floating panel keeps its old width and cuts them.
  table_->layout()->activate();
  table_->adjustSize();
  if (layout()) layout()->activate();
  adjustSize();
}

}  // namespace tolv
