#include "multi/multi_dornellpage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <limits>

#include "common/texttable.h"
#include "common/textutil.h"
#include "common/widgetcolours.h"

namespace tolv {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
}

TMultiDornellPage::TMultiDornellPage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TSH_Dornell"));
  auto* lay = new QHBoxLayout(this);
  grid_ = new QTableWidget(0, 2, this);
  grid_->setObjectName(QStringLiteral("SG_Dornell"));
  grid_->verticalHeader()->setVisible(false);
  grid_->horizontalHeader()->setVisible(false);
  colours_ = new QTableWidget(0, 1, this);
  colours_->setObjectName(QStringLiteral("DG_Dornell_ScaleColors"));
  colours_->verticalHeader()->setVisible(false);
  colours_->horizontalHeader()->setVisible(false);
  colours_->setMaximumWidth(40);
  colourTimer_ = new QTimer(this);
  colourTimer_->setObjectName(QStringLiteral("TM_DrawDG_Scales_Dornell_Color"));
  colourTimer_->setInterval(200);
  connect(colourTimer_, &QTimer::timeout, colourTimer_, &QTimer::stop);
  connect(colours_, &QTableWidget::cellPressed, colourTimer_, &QTimer::stop);
  lay->addWidget(grid_, 2);
  lay->addWidget(colours_);

  auto* right = new QVBoxLayout;
  comment_ = new QLineEdit(this);
  comment_->setObjectName(QStringLiteral("ED_DornellComment"));
  right->addWidget(comment_);

  auto* thresh = threshold_ = new QGroupBox(this);
  auto* tl = new QGridLayout(thresh);
  auto* rbA = new QRadioButton(QStringLiteral("A"), thresh);
  rbA->setObjectName(QStringLiteral("RB_Integr_Thresh_A"));
  rbA->setChecked(true);
  auto* rbV = new QRadioButton(QStringLiteral("V"), thresh);
  rbV->setObjectName(QStringLiteral("RB_Integr_Thresh_V"));
  tl->addWidget(rbA, 0, 0);
  tl->addWidget(edit("ED_A_Threshold", QStringLiteral("1"), 0.1, kInf), 0, 1);
  tl->addWidget(rbV, 1, 0);
  tl->addWidget(edit("ED_V_Threshold", QStringLiteral("1"), 0.1, kInf), 1, 1);
  right->addWidget(thresh);

  auto* opts = options_ = new QGroupBox(this);
  auto* ol = new QGridLayout(opts);
  // The minima have no use yet; any number is accepted for them.
  const struct {
    const char* name;
    double lower;
  } fields[4] = {{"ED_Dornell_W_min", -kInf},
                 {"ED_Dornell_W_max", 0.0},
                 {"ED_Dornell_Ws_min", -kInf},
                 {"ED_Dornell_Ws_max", 0.0}};
  for (int i = 0; i < 4; ++i) {
    limitLabels_[i] = new QLabel(opts);
    ol->addWidget(limitLabels_[i], i, 0);
    ol->addWidget(edit(fields[i].name, QStringLiteral("0"), fields[i].lower, kInf), i, 1);
  }
  auto* power = power_ = new QCheckBox(opts);
  power->setObjectName(QStringLiteral("CB_Plot_Power"));
  power->setChecked(true);
  auto* work = work_ = new QCheckBox(opts);
  work->setObjectName(QStringLiteral("CB_Plot_Work"));
  work->setChecked(true);
  ol->addWidget(power, 4, 0, 1, 2);
  ol->addWidget(work, 5, 0, 1, 2);
  right->addWidget(opts);
  right->addStretch(1);
  lay->addLayout(right, 1);
  applyTexts();
}

void TMultiDornellPage::applyTexts() {
  comment_->setPlaceholderText(text(kTextEvaluationComment));
  threshold_->setTitle(QLatin1Char(' ') + text(kTextIntegrationThreshold) + QLatin1Char(' '));
  options_->setTitle(QLatin1Char(' ') + text(kTextPlotOptions) + QLatin1Char(' '));
  // Minimum and maximum of the power (W) and energy (Ws) scales.
  const char* quantities[4] = {"W min", "W max", "Ws min", "Ws max"};
  for (int i = 0; i < 4; ++i)
    limitLabels_[i]->setText(QString::fromLatin1(quantities[i]) + QStringLiteral("  ") +
                             text(i % 2 == 0 ? kTextScaleStart : kTextScaleEnd));
  power_->setText(text(kTextDrawPower));
  work_->setText(text(kTextDrawEnergy));
}

QLineEdit* TMultiDornellPage::edit(const char* name, const QString& text, double lower,
                                   double upper) {
  auto* e = new QLineEdit(text, this);
  e->setObjectName(QString::fromLatin1(name));
  connect(e, &QLineEdit::textChanged, this, [e, lower, upper] { validate(e, lower, upper); });
  validate(e, lower, upper);
  return e;
}

bool TMultiDornellPage::validate(QLineEdit* e, double lower, double upper) {
  double v = 0;
  const bool ok = textToNumber(e->text().trimmed(), v) == 0 && v > lower && v <= upper;
  colourWidget(e, ok ? ColorRef(0x008000) : ColorRef(0x0000FF));
  return ok;
}

void TMultiDornellPage::setRows(const QStringList& names) {
  const int rows = int(names.size()) + 1;
  grid_->setRowCount(rows);
  colours_->setRowCount(rows);
  for (int r = 1; r < rows; ++r)
    grid_->setItem(r, 0, new QTableWidgetItem(names[r - 1]));
  colourTimer_->start();
}

void TMultiDornellPage::clearResults() {
  for (int r = 0; r < grid_->rowCount(); ++r)
    if (QTableWidgetItem* it = grid_->item(r, 1)) it->setText(QString());
}

}  // namespace tolv
