#include "devicewin/panel_voltage.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/format.h"
#include "common/texttable.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "measure/plotfeed.h"

namespace tolv {

TVoltagePanels::TVoltagePanels(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PN_Voltages"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 2, 2, 2);
  for (int ch = 0; ch < 2; ++ch) {
    auto* gb = new QGroupBox(this);
    gb->setObjectName(QStringLiteral("GB_VC%1").arg(ch));
    auto* col = new QVBoxLayout(gb);
    col->setContentsMargins(4, 2, 4, 4);
    auto* v = new QLabel(gb);
    v->setObjectName(QStringLiteral("PN_VoltageC%1").arg(ch));
    v->setAlignment(Qt::AlignCenter);
    QFont f = v->font();
    basePointSize_ = f.pointSizeF() * 2.2;
    f.setPointSizeF(basePointSize_);
    f.setBold(true);
    v->setFont(f);
    v->setMinimumWidth(60);
    v->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    const QColor c = toQColor(kChannelColour[ch]);
    v->setStyleSheet(QStringLiteral("color: %1;").arg(c.name()));
    col->addWidget(v);
    auto* slot = new QVBoxLayout;
    slot->setContentsMargins(0, 0, 0, 0);
    col->addLayout(slot);
    row->addWidget(gb, 1);
    group_[std::size_t(ch)] = gb;
    value_[std::size_t(ch)] = v;
    slot_[std::size_t(ch)] = slot;
  }
  chart_ = new QPushButton(this);
  chart_->setObjectName(QStringLiteral("BN_PlotOrUpdateChart"));
  chart_->setVisible(false);
  row->addWidget(chart_, 0, Qt::AlignVCenter);
  connect(chart_, &QPushButton::clicked, this, &TVoltagePanels::plotOrUpdateChartClicked);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  applyTexts();
}

void TVoltagePanels::applyTexts() {
  for (int ch = 0; ch < 2; ++ch) {
    group_[std::size_t(ch)]->setTitle(channelName(ch));
    value_[std::size_t(ch)]->setToolTip(text(ch == 0 ? 187 : 189));
  }
  chart_->setText(text(192));
  chart_->setToolTip(hintText(193));
}

QString TVoltagePanels::voltageText(double volts, const QString& unit) {
  return engText(volts, kDigits, unit, true);
}

void TVoltagePanels::showVoltage(int ch, double volts, const QString& unit) {
  if (ch != 0 && ch != 1) return;
  value_[std::size_t(ch)]->setText(voltageText(volts, unit));
  fitFont(ch);
}

void TVoltagePanels::clearVoltages() {
  for (QLabel* v : value_) v->clear();
}

void TVoltagePanels::fitFont(int ch) {
  // The number shrinks with a narrow window instead of being cut.
  QLabel* v = value_[std::size_t(ch)];
  QFont f = v->font();
  f.setPointSizeF(basePointSize_);
  const int room = std::max(1, v->contentsRect().width() - 4);
  while (f.pointSizeF() > 7.0 && QFontMetrics(f).horizontalAdvance(v->text()) > room)
    f.setPointSizeF(f.pointSizeF() - 1.0);
  v->setFont(f);
}

void TVoltagePanels::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  fitFont(0);
  fitFont(1);
}

void TVoltagePanels::showChartButton(bool visible) {
  chart_->setVisible(visible);
}

}  // namespace tolv
