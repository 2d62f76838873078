#include "multi/multi_settingspage.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "common/texttable.h"
#include "common/widgetcolours.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "multi/multicollect.h"

namespace tolv {

namespace {

// Shows the display range cells as the page says they act; the text the user edits stays.
class ScaleCellDelegate final : public QStyledItemDelegate {
 public:
  explicit ScaleCellDelegate(const TMultiSettingsPage& page) : page_(page) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* o, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(o, index);
    if (!page_.rangeFollowsData(index.row(), index.column())) return;
    o->text = QStringLiteral("auto");
    o->font.setItalic(true);
    o->palette.setColor(QPalette::Text, QColor(128, 128, 128));
  }

 private:
  const TMultiSettingsPage& page_;
};

}  // namespace

TMultiSettingsPage::TMultiSettingsPage(TMultiCollection& coll, QWidget* parent)
    : QWidget(parent), coll_(coll) {
  setObjectName(QStringLiteral("TSH_Settings"));
  auto* lay = new QHBoxLayout(this);

  sgScales_ = new QTableWidget(1, 6, this);
  sgScales_->setObjectName(QStringLiteral("SG_Scales"));
  sgScales_->horizontalHeader()->setVisible(false);
  sgScales_->verticalHeader()->setVisible(false);
  sgScales_->verticalHeader()->setDefaultSectionSize(18);
  sgScales_->horizontalHeader()->setDefaultSectionSize(72);
  sgScales_->setColumnWidth(0, 110);
  auto* cells = new ScaleCellDelegate(*this);
  cells->setParent(sgScales_);
  sgScales_->setItemDelegate(cells);
  connect(sgScales_, &QTableWidget::cellChanged, this, [this](int r, int c) {
    if (refreshing_ || r < 1 || c < 1) return;
    editScaleCell(r, c, sgScales_->item(r, c)->text());
  });
  dgColours_ = new QTableWidget(1, 1, this);
  dgColours_->setObjectName(QStringLiteral("DG_Scale_Colors"));
  dgColours_->horizontalHeader()->setVisible(false);
  dgColours_->verticalHeader()->setVisible(false);
  dgColours_->verticalHeader()->setDefaultSectionSize(18);
  dgColours_->setColumnWidth(0, 24);
  dgColours_->setFixedWidth(30);
  dgColours_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  dgColours_->setSelectionMode(QAbstractItemView::NoSelection);
  connect(dgColours_, &QTableWidget::cellPressed, this, [this](int r, int) {
    if (colourPressed_) colourPressed_(r);
  });
  // Scrolling one grid scrolls the other, so rows and colours stay side by side.
  connect(sgScales_->verticalScrollBar(), &QScrollBar::valueChanged,
          dgColours_->verticalScrollBar(), &QScrollBar::setValue);
  dgColours_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* grids = new QHBoxLayout;
  grids->setSpacing(0);
  grids->addWidget(sgScales_);
  grids->addWidget(dgColours_);
  grids->setAlignment(Qt::AlignTop);
  lay->addLayout(grids, 3);

  auto* right = new QVBoxLayout;
  gbActive_ = new QGroupBox(this);
  gbActive_->setObjectName(QStringLiteral("GB_Active_Tolvanexs"));
  auto* al = new QVBoxLayout(gbActive_);
  clbActive_ = new QListWidget(gbActive_);
  clbActive_->setObjectName(QStringLiteral("CLB_ACTIVE_Tolvanexs"));
  connect(clbActive_, &QListWidget::itemChanged, this, [this](QListWidgetItem* it) {
    if (refreshing_ || !checkClicked_) return;
    checkClicked_(clbActive_->row(it), it->checkState() == Qt::Checked);
  });
  bnUpdate_ = new QPushButton(gbActive_);
  bnUpdate_->setObjectName(QStringLiteral("BN_Update"));
  bnUpdate_->setVisible(false);
  connect(bnUpdate_, &QPushButton::clicked, this, [this] {
    if (updateClicked_) updateClicked_();
  });
  // Where the user ticks: what a tick did beyond the list is said right there.
  pnNotice_ = new QLabel(gbActive_);
  pnNotice_->setObjectName(QStringLiteral("PN_ActiveNotice"));
  pnNotice_->setWordWrap(true);
  pnNotice_->setVisible(false);
  al->addWidget(clbActive_);
  al->addWidget(bnUpdate_);
  al->addWidget(pnNotice_);
  right->addWidget(gbActive_);

  gbHvxv_ = new QGroupBox(this);
  gbHvxv_->setObjectName(QStringLiteral("GB_HVXV"));
  auto* hl = new QVBoxLayout(gbHvxv_);
  const char* names[4] = {"RB_HVXV_None", "RB_HVXV_INactive", "RB_HVXV_Active", "RB_HVXV_All"};
  for (int i = 0; i < 4; ++i) {
    rbHvxv_[i] = new QRadioButton(gbHvxv_);
    rbHvxv_[i]->setObjectName(QString::fromLatin1(names[i]));
    connect(rbHvxv_[i], &QRadioButton::clicked, this, [this, i] { coll_.setVisibleMode(i); });
    hl->addWidget(rbHvxv_[i]);
  }
  right->addWidget(gbHvxv_);
  right->addStretch(1);
  lay->addLayout(right, 1);
}

void TMultiSettingsPage::applyTexts() {
  gbActive_->setTitle(groupCaption(250));
  gbActive_->setToolTip(hintText(251));
  clbActive_->setToolTip(hintText(255));
  bnUpdate_->setText(text(253));
  bnUpdate_->setToolTip(hintText(254));
  sgScales_->setToolTip(hintText(252));
  dgColours_->setToolTip(hintText(261));
  refreshCheckList();
  gbHvxv_->setTitle(groupCaption(300));
  gbHvxv_->setToolTip(hintText(301));
  for (int i = 0; i < 4; ++i) {
    rbHvxv_[i]->setText(text(302 + 2 * i));
    rbHvxv_[i]->setToolTip(hintText(303 + 2 * i));
  }
  refreshScaleTable();
}

bool TMultiSettingsPage::editScaleCell(int row, int column, const QString& t) {
  const bool taken = coll_.setScaleCell(row, column, t);
  QString why;
  if (!taken && row < coll_.rowCount())
    why = hintText(317).arg(t.trimmed(), coll_.row(row).cell(column));
  markCell(row, column, !taken, why);
  // The row's other range cell may change between a number and "auto".
  sgScales_->viewport()->update();
  return taken;
}

bool TMultiSettingsPage::rangeFollowsData(int row, int column) const {
  if ((column != 4 && column != 5) || row < 1 || row >= coll_.rowCount()) return false;
  return !cellRefused(row, column) && !ScaleRowValues::of(coll_.row(row)).hasRange();
}

bool TMultiSettingsPage::cellRefused(int row, int column) const {
  const QTableWidgetItem* it = sgScales_->item(row, column);
  return it && it->data(Qt::UserRole).toBool();
}

void TMultiSettingsPage::markCell(int row, int column, bool refused, const QString& hintText) {
  QTableWidgetItem* it = sgScales_->item(row, column);
  if (!it) return;
  const bool was = refreshing_;
  refreshing_ = true;  // colouring the item is no edit
  it->setData(Qt::UserRole, refused);
  if (refused) {
    it->setBackground(toQColor(ColorRef(kRefusedCellColour)));
    it->setForeground(toQColor(contrastTextColour(ColorRef(kRefusedCellColour))));
  } else {
    it->setData(Qt::BackgroundRole, QVariant());
    it->setData(Qt::ForegroundRole, QVariant());
  }
  it->setToolTip(hintText);
  refreshing_ = was;
}

void TMultiSettingsPage::refreshScaleTable() {
  refreshing_ = true;
  const int rows = coll_.rowCount();
  sgScales_->setRowCount(rows);
  dgColours_->setRowCount(rows);
  const QString titles[6] = {QString(), text(243), QStringLiteral("dY/dV"), QStringLiteral("Y(0V)"),
                             text(246), text(247)};
  for (int c = 0; c < 6; ++c) {
    auto* it = new QTableWidgetItem(titles[c]);
    it->setFlags(Qt::ItemIsEnabled);
    it->setBackground(palette().button());
    sgScales_->setItem(0, c, it);
    // Titles such as "Y scale min" are wider than the default column in some languages.
    if (c > 0)
      sgScales_->setColumnWidth(
          c, std::max(72, sgScales_->fontMetrics().horizontalAdvance(titles[c]) + 12));
  }
  for (int r = 1; r < rows; ++r) {
    auto* name = new QTableWidgetItem(coll_.rowName(r));
    name->setFlags(Qt::ItemIsEnabled);
    name->setBackground(palette().button());
    sgScales_->setItem(r, 0, name);
    // The values in use: a refused text is gone once the table is filled again.
    for (int c = 1; c <= 5; ++c)
      sgScales_->setItem(r, c, new QTableWidgetItem(coll_.row(r).cell(c)));
  }
  refreshing_ = false;
  refreshColours();
  sizeScaleTable();
}

void TMultiSettingsPage::sizeScaleTable() {
  const int rows = sgScales_->rowCount();
  const int want = (rows + 1) * 18 + 4;
  const int room = std::max(60, height() - 20);
  sgScales_->setFixedHeight(std::min(want, room));
  dgColours_->setFixedHeight(sgScales_->height());
  int columns = 4;
  for (int c = 0; c < sgScales_->columnCount(); ++c) columns += sgScales_->columnWidth(c);
  sgScales_->setMinimumWidth(columns);
}

void TMultiSettingsPage::sizeCheckList() {
  const int itemHeight = clbActive_->fontMetrics().height() + 2;
  clbActive_->setFixedHeight(std::max(1, clbActive_->count()) * itemHeight + 6);
}

void TMultiSettingsPage::refreshColours() {
  const int rows = coll_.rowCount();
  if (dgColours_->rowCount() < rows) dgColours_->setRowCount(rows);
  for (int r = 1; r < dgColours_->rowCount(); ++r)
    paintGridCell(dgColours_, 0, r, coll_.rowColour(r));
}

void TMultiSettingsPage::refreshCheckList() {
  refreshing_ = true;
  const int n = coll_.itemCount();
  while (clbActive_->count() > n) delete clbActive_->takeItem(clbActive_->count() - 1);
  while (clbActive_->count() < n) {
    auto* it = new QListWidgetItem(clbActive_);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  }
  for (int i = 0; i < n; ++i) {
    QListWidgetItem* it = clbActive_->item(i);
    it->setText(coll_.itemSerial(i));
    it->setCheckState(coll_.itemChecked(i) ? Qt::Checked : Qt::Unchecked);
  }
  refreshing_ = false;
  // The serials stand outside the texts: a language file without these ids still names them.
  const MultiActivationNotice& notice = coll_.activationNotice();
  QStringList lines;
  if (notice.runEnded) lines << text(kTextMultiRunEndedByChange);
  if (!notice.switchedToScope.isEmpty())
    lines << text(kTextMultiSwitchedToScope) + QLatin1Char(' ') +
                 notice.switchedToScope.join(QStringLiteral(", "));
  pnNotice_->setText(lines.join(QLatin1Char('\n')));
  pnNotice_->setVisible(!lines.isEmpty());
}

void TMultiSettingsPage::refreshVisibleMode() {
  const int mode = coll_.visibleMode();
  if (mode >= 0 && mode < 4) rbHvxv_[mode]->setChecked(true);
}

void TMultiSettingsPage::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  sizeScaleTable();
}

}  // namespace tolv
