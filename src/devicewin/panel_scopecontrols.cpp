#include "devicewin/panel_scopecontrols.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/regional.h"
#include "common/texttable.h"

namespace tolv {

namespace {

QTableWidget* valueTable(const QString& name, int rows, QWidget* parent) {
  auto* t = new QTableWidget(rows, 2, parent);
  t->setObjectName(name);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->setSelectionBehavior(QAbstractItemView::SelectRows);
  t->setSelectionMode(QAbstractItemView::SingleSelection);
  t->verticalHeader()->setVisible(false);
  t->verticalHeader()->setDefaultSectionSize(18);
  t->horizontalHeader()->setStretchLastSection(true);
  t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  return t;
}

void setCell(QTableWidget* t, int row, int col, const QString& s) {
  QTableWidgetItem* it = t->item(row, col);
  if (!it) {
    it = new QTableWidgetItem;
    t->setItem(row, col, it);
  }
  it->setText(s);
}

QGroupBox* tableGroup(const QString& name, QTableWidget* t, QWidget* parent) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(name);
  auto* l = new QVBoxLayout(g);
  l->setContentsMargins(3, 2, 3, 3);
  t->setParent(g);
  l->addWidget(t);
  return g;
}

void selectRow(QTableWidget* t, int row) {
  if (row < 0 || row >= t->rowCount()) {
    t->clearSelection();
    return;
  }
  // Selecting the row again repaints it, and every change of the settings model passes here.
  const QModelIndexList selected = t->selectionModel()->selectedRows();
  if (t->currentRow() != row || selected.size() != 1 || selected.front().row() != row) {
    t->setCurrentCell(row, 1);
    t->selectRow(row);
  }
  // A table only follows its current row on its own while it is shown and enabled. Scrolling
  // to a cell in sight would repaint it all the same.
  const QModelIndex cell = t->model()->index(row, 1);
  if (!t->viewport()->rect().contains(t->visualRect(cell))) t->scrollTo(cell);
}

}  // namespace

TScopeControlsSheet::TScopeControlsSheet(TSettingsModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setObjectName(QStringLiteral("PN_ScopeControlsSheet"));
  build();
  fill();
  connect(&model_, &TSettingsModel::changed, this, [this](SettingsTopic a) { modelChanged(a); });
  applyTexts();
  showEnabled();
}

void TScopeControlsSheet::build() {
  vleMode_ = valueTable(QStringLiteral("VLE_Mode_LUT"), 8, this);
  vleAmpl_ = valueTable(QStringLiteral("VLE_Amplitude_LUT"), int(kAmplitudeTable.size()), this);
  vleSampl_ = valueTable(QStringLiteral("VLE_SamplTim_LUT"), int(kSampleTimeTableUs.size()), this);
  vleMem_ = valueTable(QStringLiteral("VLE_MemoryDepth_LUT"), int(kMemoryDepthTable.size()), this);
  vleTrg_ = valueTable(QStringLiteral("VLE_TrgTyp_LUT"), int(kTriggerTypes.size()), this);
  gbModes_ = tableGroup(QStringLiteral("GB_Modes"), vleMode_, this);
  gbAmpl_ = tableGroup(QStringLiteral("GB_Amplitude_LUT"), vleAmpl_, this);
  gbSampl_ = tableGroup(QStringLiteral("GB_SamplTim_LUT"), vleSampl_, this);
  gbMem_ = tableGroup(QStringLiteral("GB_MemoryDepth_LUT"), vleMem_, this);
  gbTrg_ = tableGroup(QStringLiteral("GB_TrgTyp_LUT"), vleTrg_, this);

  auto* left = new QVBoxLayout;
  left->addWidget(gbModes_, 0);
  left->addWidget(gbTrg_, 1);
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(3, 3, 3, 3);
  lay->setSpacing(3);
  lay->addLayout(left, 4);
  lay->addWidget(gbAmpl_, 2);
  lay->addWidget(gbSampl_, 3);
  lay->addWidget(gbMem_, 3);
  // Number tables keep key and value readable; the caption tables may cut their texts.
  vleAmpl_->setMinimumWidth(100);
  vleSampl_->setMinimumWidth(135);
  vleMem_->setMinimumWidth(135);
  for (QTableWidget* t : {vleMode_, vleTrg_}) t->setMinimumWidth(120);

  for (QTableWidget* t : {vleMode_, vleAmpl_, vleSampl_, vleMem_, vleTrg_}) {
    connect(t, &QTableWidget::cellClicked, this, [this, t](int row, int) { rowClicked(t, row); });
    // A click beside the rows takes the selection away; the row of the value in force returns.
    connect(t, &QTableWidget::itemSelectionChanged, this, [this, t] {
      if (!mark_.isSet() && t->selectedItems().isEmpty()) sync();
    });
  }
}

void TScopeControlsSheet::fill() {
  TReentryMark::Scope s(mark_);
  for (std::size_t i = 0; i < kAmplitudeTable.size(); ++i) {
    setCell(vleAmpl_, int(i), 0, QString::number(i));
    setCell(vleAmpl_, int(i), 1, tableValueText(kAmplitudeTable[i]));
  }
  for (std::size_t i = 0; i < kSampleTimeTableUs.size(); ++i) {
    setCell(vleSampl_, int(i), 0, QString::number(i));
    setCell(vleSampl_, int(i), 1, tableValueText(kSampleTimeTableUs[i]));
  }
  for (std::size_t i = 0; i < kMemoryDepthTable.size(); ++i) {
    setCell(vleMem_, int(i), 0, QString::number(i));
    setCell(vleMem_, int(i), 1, tableValueText(kMemoryDepthTable[i]));
  }
  for (int i = 0; i < 8; ++i) {
    setCell(vleMode_, i, 0, QString::fromStdString(modeCodeText(kModeCodes[i])));
    setCell(vleMode_, i, 1, text(kModeTextFirst + i));
  }
  for (std::size_t i = 0; i < kTriggerTypes.size(); ++i) {
    setCell(vleTrg_, int(i), 0, QString(QLatin1Char(kTriggerTypes[i].letter)));
    setCell(vleTrg_, int(i), 1, text(kTriggerTypes[i].textId));
  }
}

void TScopeControlsSheet::applyTexts() {
  setToolTip(hintText(195));
  gbModes_->setTitle(groupCaption(32));
  gbModes_->setToolTip(hintText(33));
  gbAmpl_->setTitle(groupCaption(128));
  gbSampl_->setTitle(groupCaption(196));
  vleSampl_->setToolTip(hintText(198));
  gbSampl_->setToolTip(hintText(197));
  gbMem_->setTitle(groupCaption(199));
  gbMem_->setToolTip(hintText(200));
  vleMem_->setToolTip(hintText(202));
  gbTrg_->setTitle(groupCaption(43));
  vleTrg_->setToolTip(hintText(205));
  const QString key = QStringLiteral("Key");
  vleMode_->setHorizontalHeaderLabels({key, text(34)});
  vleAmpl_->setHorizontalHeaderLabels({key, QStringLiteral("V")});
  vleSampl_->setHorizontalHeaderLabels({key, QString::fromUtf8("\xC2\xB5s")});
  vleMem_->setHorizontalHeaderLabels({key, text(201)});
  vleTrg_->setHorizontalHeaderLabels({key, text(44)});
  fill();
  sync();
}

void TScopeControlsSheet::rowClicked(QTableWidget* t, int row) {
  if (mark_.isSet() || row < 0) return;
  const QTableWidgetItem* valueItem = t->item(row, 1);
  const QTableWidgetItem* keyItem = t->item(row, 0);
  if (!valueItem || !keyItem) return;
  const double v = parseTableValue(valueItem->text(), regional().decimalSeparator());
  if (t == vleAmpl_)
    model_.amplitudeRowClicked(v);
  else if (t == vleSampl_)
    model_.sampleTimeRowClicked(v);
  else if (t == vleMem_)
    model_.memoryDepthRowClicked(v);
  else if (t == vleMode_)
    model_.modeChosen(modeIndex(modeCodeFromText(keyItem->text().toStdString())));
  else if (t == vleTrg_ && !keyItem->text().isEmpty())
    model_.triggerTypeChosen(char(keyItem->text().at(0).toLatin1()));
  // A refused click must not leave its row selected.
  sync();
}

void TScopeControlsSheet::modelChanged(SettingsTopic a) {
  if (a == SettingsTopic::Layout) showEnabled();
  // A continuous run unlocks at a record and locks again for the next run in the same pass:
  // the tables show the state the pass ends with, so a record does not repaint them twice
  // (some ms each). The model refuses row clicks while locked, whatever the tables show.
  if (a == SettingsTopic::ControlsEnabled && !enabledPending_) {
    enabledPending_ = true;
    QMetaObject::invokeMethod(this, [this] {
      enabledPending_ = false;
      showEnabled();
    }, Qt::QueuedConnection);
  }
  if (a != SettingsTopic::Gpio && a != SettingsTopic::Counter) sync();
}

void TScopeControlsSheet::sync() {
  TReentryMark::Scope s(mark_);
  const SettingsDisplay& d = model_.display();
  selectRow(vleAmpl_, d.amplPos[0]);
  selectRow(vleSampl_, d.samplTimPos);
  selectRow(vleMem_, d.memDepthPos);
  selectRow(vleMode_, modeIndex(d.modeShown));
  selectRow(vleTrg_, d.trgTypRow);
}

void TScopeControlsSheet::showEnabled() {
  const bool on = model_.controlsEnabled();
  gbModes_->setEnabled(on);
  // Locked, not hidden: during a run the user still reads the ranges in force.
  for (QTableWidget* t : {vleAmpl_, vleSampl_, vleMem_, vleTrg_}) t->setEnabled(on);
  gbTrg_->setVisible(model_.layout().triggerTable);
}

bool TMessageBoxQuestion::askYesNo(const QString& text) {
  return QMessageBox::warning(parent_, QString(), text, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace tolv
