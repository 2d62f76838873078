#include "multi/multi_toppanel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

#include "common/format.h"
#include "common/texttable.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "devicewin/picturesave.h"
#include "multi/multi_statusgrid.h"
#include "multi/multicollect.h"

namespace tolv {

namespace {

QToolButton* toolButton(const char* name, QStyle::StandardPixmap icon, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(parent->style()->standardIcon(icon));
  b->setAutoRaise(true);
  return b;
}

// Room for the widest interval text up to a minute (a negative milliseconds value or seconds),
// so the panel, the top panel and the window keep their width as the values change from cycle
// to cycle; only cycles more than a minute apart, rare in a run, may need more.
QLabel* valuePanel(const char* name, QWidget* parent) {
  auto* l = new QLabel(QStringLiteral(" -- "), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(QFrame::Sunken);
  const QFontMetrics fm(l->font());
  int widest = 0;
  for (double x : {-0.0009999, -0.9999, -59.99})
    widest = std::max(widest, fm.horizontalAdvance(valueText(x, 4, QStringLiteral("s"))));
  l->setMinimumWidth(std::max(64, widest + 2 * l->frameWidth() + 2 * l->margin() + 8));
  return l;
}

void keepRoomWhenHidden(QWidget* w, bool on) {
  QSizePolicy p = w->sizePolicy();
  p.setRetainSizeWhenHidden(on);
  w->setSizePolicy(p);
}

}  // namespace

TMultiTopPanel::TMultiTopPanel(TMultiCollection& coll, QWidget* parent)
    : QFrame(parent), coll_(coll) {
  setObjectName(QStringLiteral("PN_Top"));
  auto* top = new QHBoxLayout(this);
  row_ = top;
  top->setContentsMargins(4, 2, 4, 2);
  // Set, not left to the style: the width of the other arrangement is reckoned from it.
  top->setSpacing(kGroupGap);
  buildStartStop();
  // Aligned to the top: rows added to the status grid never move RUN and BREAK.
  auto* lead = new QHBoxLayout;
  lead_ = lead;
  lead->setSpacing(kGroupGap);
  lead->addWidget(pnStartStop_, 0, Qt::AlignTop);
  buildFileButtons();
  auto* files = new QGridLayout;
  files->addWidget(bbnCopy_, 0, 0);
  files->addWidget(bbnSaveData_, 0, 1);
  files->addWidget(bbnPrint_, 0, 2);
  files->addWidget(bbnSavePicture_, 0, 3);
  files->addWidget(bbnLoadData_, 1, 1);
  files->addWidget(bbnSaveSettings_, 1, 2);
  files->addWidget(bbnLoadSettings_, 1, 0);
  files->setRowStretch(2, 1);
  lead->addLayout(files);
  auto* leadColumn = new QVBoxLayout;
  leadColumn_ = leadColumn;
  leadColumn->setSpacing(2);
  leadColumn->addLayout(lead);
  // What changed on screen without the user's doing and why: said where RUN is pressed.
  pnNotice_ = new QLabel(this);
  pnNotice_->setObjectName(QStringLiteral("PN_MultiNotice"));
  pnNotice_->setWordWrap(true);
  pnNotice_->setVisible(false);
  leadColumn->addWidget(pnNotice_);
  leadColumn->addStretch(1);
  top->addLayout(leadColumn);
  dgStatus_ = new TMultiStatusGrid(this);
  top->addWidget(dgStatus_, 0, Qt::AlignTop);
  buildClearAndAuto();
  // The clear controls above the automatic-operation box, side by side: the panel stays narrow
  // enough for the window to start within a common screen beside the frame.
  auto* clearAndAuto = new QVBoxLayout;
  auto* clear = new QHBoxLayout;
  clear->addWidget(bnClearImage_);
  clear->addWidget(cbClearBeforeDrawing_);
  clear->addStretch(1);
  clearAndAuto->addLayout(clear);
  clearAndAuto->addWidget(gbAuto_);
  clearAndAuto->addStretch(1);
  top->addLayout(clearAndAuto);
  buildStatistics();
  top->addWidget(gbStats_, 0, Qt::AlignTop);
  top->addStretch(1);
}

void TMultiTopPanel::buildStartStop() {
  pnStartStop_ = new QFrame(this);
  pnStartStop_->setObjectName(QStringLiteral("PN_StartStopControls"));
  auto* ss = new QGridLayout(pnStartStop_);
  ss->setContentsMargins(0, 0, 0, 0);
  cbSingleShot_ = new QCheckBox(pnStartStop_);
  cbSingleShot_->setObjectName(QStringLiteral("CB_SingleShot"));
  cbSingleShot_->setChecked(true);
  connect(cbSingleShot_, &QCheckBox::clicked, this,
          [this](bool on) { coll_.setSingleShot(on, true); });
  bnRun_ = new QPushButton(pnStartStop_);
  bnRun_->setObjectName(QStringLiteral("BN_Run"));
  connect(bnRun_, &QPushButton::clicked, this, [this] {
    fileShownDuringRun({});
    coll_.runClicked();
  });
  bnBreak_ = new QPushButton(pnStartStop_);
  bnBreak_->setObjectName(QStringLiteral("BN_Break"));
  connect(bnBreak_, &QPushButton::clicked, this, [this] { coll_.breakClicked(); });
  pnCollectTime_ = new QLabel(pnStartStop_);
  pnCollectTime_->setObjectName(QStringLiteral("PN_CollectTime_ms"));
  seCollectTime_ = new QSpinBox(pnStartStop_);
  seCollectTime_->setObjectName(QStringLiteral("SE_CollectTime_ms"));
  seCollectTime_->setRange(1, 100000000);
  seCollectTime_->setValue(TMultiCollection::kCollectMs);
  connect(seCollectTime_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!refreshing_) coll_.collectTimeEdited(v);
  });
  ss->addWidget(cbSingleShot_, 0, 0, 1, 2);
  ss->addWidget(bnRun_, 1, 0);
  ss->addWidget(bnBreak_, 1, 1);
  ss->addWidget(pnCollectTime_, 0, 2);
  ss->addWidget(seCollectTime_, 1, 2);
  ss->setRowStretch(2, 1);
}

void TMultiTopPanel::buildFileButtons() {
  bbnCopy_ = toolButton("BBN_CopyMUVXToClipboard", QStyle::SP_DialogApplyButton, this);
  bbnSaveData_ = toolButton("BBN_SaveMUVXfileAs", QStyle::SP_DialogSaveButton, this);
  bbnPrint_ = toolButton("BBN_PrintMUVX", QStyle::SP_FileDialogDetailedView, this);
  bbnSavePicture_ = toolButton("BBN_SaveMUVXPictureAs", QStyle::SP_DriveFDIcon, this);
  bbnSavePicture_->setIcon(savePictureIcon());
  bbnLoadData_ = toolButton("BBN_LoadMUVXfile", QStyle::SP_DialogOpenButton, this);
  bbnSaveSettings_ = toolButton("BBN_SaveMUVXSettingsAs", QStyle::SP_DriveFDIcon, this);
  bbnLoadSettings_ = toolButton("BBN_LoadMUVXSettings", QStyle::SP_DirOpenIcon, this);
  // They appear with the first picture: their room is there from the start.
  for (QToolButton* b : {bbnCopy_, bbnSaveData_, bbnPrint_, bbnSavePicture_})
    keepRoomWhenHidden(b, true);
  saveControlsShown(false);
}

void TMultiTopPanel::buildClearAndAuto() {
  bnClearImage_ = new QPushButton(this);
  bnClearImage_->setObjectName(QStringLiteral("BN_ClearImage"));
  connect(bnClearImage_, &QPushButton::clicked, this, [this] { coll_.clearImage(); });
  cbClearBeforeDrawing_ = new QCheckBox(this);
  cbClearBeforeDrawing_->setObjectName(QStringLiteral("CB_ClearBeforeDrawing"));
  cbClearBeforeDrawing_->setChecked(true);
  connect(cbClearBeforeDrawing_, &QCheckBox::toggled, this,
          [this](bool on) { coll_.setClearBeforeDrawing(on); });

  gbAuto_ = new QGroupBox(this);
  gbAuto_->setObjectName(QStringLiteral("GB_Auto"));
  auto* au = new QGridLayout(gbAuto_);
  cbAutosave_ = new QCheckBox(gbAuto_);
  cbAutosave_->setObjectName(QStringLiteral("CB_Autosave"));
  connect(cbAutosave_, &QCheckBox::toggled, this, [this](bool on) {
    if (!refreshing_) coll_.setAutosave(on);
  });
  edFixPart_ = new QLineEdit(gbAuto_);
  edFixPart_->setObjectName(QStringLiteral("ED_Fix_File_Name_Part"));
  connect(edFixPart_, &QLineEdit::textChanged, this, [this](const QString& s) {
    if (!refreshing_) coll_.setFixedPart(s);
  });
  cbAutostart_ = new QCheckBox(gbAuto_);
  cbAutostart_->setObjectName(QStringLiteral("CB_Autostart"));
  connect(cbAutostart_, &QCheckBox::clicked, this,
          [this](bool on) { coll_.setAutostart(on, true); });
  au->addWidget(cbAutosave_, 0, 0);
  au->addWidget(edFixPart_, 0, 1);
  au->addWidget(cbAutostart_, 1, 0, 1, 2);
}

void TMultiTopPanel::buildStatistics() {
  gbStats_ = new QGroupBox(this);
  gbStats_->setObjectName(QStringLiteral("GB_IntervalStatistics"));
  auto* st = new QGridLayout(gbStats_);
  const char* labels[3] = {"PN_N_Intervals_Label", "PN_DeltaTmean_Label", "PN_DeltaTStdDev_Label"};
  const char* values[5] = {"PN_N_Intervals", "PN_DeltaTmean", "PN_DeltaTStdDev", "PN_DeltaTMin",
                           "PN_DeltaTMax"};
  for (int i = 0; i < 3; ++i) {
    statLabels_[i] = new QLabel(gbStats_);
    statLabels_[i]->setObjectName(QString::fromLatin1(labels[i]));
    statLabels_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statLabels_[i]->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    st->addWidget(statLabels_[i], i, 0);
  }
  for (int i = 0; i < 5; ++i) statValues_[i] = valuePanel(values[i], gbStats_);
  st->addWidget(statValues_[0], 0, 1);
  st->addWidget(statValues_[1], 1, 1);
  st->addWidget(statValues_[2], 2, 1);
  // The smallest and largest interval have captions of their own: beside the mean and the
  // standard deviation without them, they read as a second mean and deviation.
  const char* extremes[2] = {"PN_DeltaTMin_Label", "PN_DeltaTMax_Label"};
  for (int i = 0; i < 2; ++i) {
    extremeLabels_[i] = new QLabel(gbStats_);
    extremeLabels_[i]->setObjectName(QString::fromLatin1(extremes[i]));
    extremeLabels_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    extremeLabels_[i]->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    st->addWidget(extremeLabels_[i], i + 1, 2);
  }
  st->addWidget(statValues_[3], 1, 3);
  st->addWidget(statValues_[4], 2, 3);
  gbStats_->setVisible(false);
}

void TMultiTopPanel::applyTexts() {
  bnRun_->setText(text(85));
  bnRun_->setToolTip(hintText(86));
  bnBreak_->setText(text(87));
  bnBreak_->setToolTip(hintText(88));
  cbSingleShot_->setText(text(91));
  cbSingleShot_->setToolTip(hintText(92));
  pnCollectTime_->setText(text(256));
  pnCollectTime_->setToolTip(hintText(257));
  seCollectTime_->setToolTip(hintText(257));
  bnClearImage_->setText(text(258));
  bnClearImage_->setToolTip(hintText(259));
  cbClearBeforeDrawing_->setText(text(259));
  cbClearBeforeDrawing_->setToolTip(hintText(260));
  gbAuto_->setTitle(groupCaption(262));
  gbAuto_->setToolTip(hintText(263));
  cbAutosave_->setText(text(264));
  cbAutosave_->setToolTip(hintText(265));
  edFixPart_->setToolTip(hintText(266));
  cbAutostart_->setText(text(267));
  cbAutostart_->setToolTip(hintText(268));
  gbStats_->setTitle(groupCaption(269));
  gbStats_->setToolTip(hintText(270));
  statValues_[0]->setToolTip(hintText(271));
  statLabels_[0]->setText(text(272));
  statLabels_[0]->setToolTip(hintText(273));
  statValues_[1]->setToolTip(hintText(274));
  statLabels_[1]->setText(text(275));
  statLabels_[1]->setToolTip(hintText(276));
  statValues_[2]->setToolTip(hintText(277));
  QString sd = text(278);
  if (!sd.endsWith(QChar(0x00B1))) sd += QChar(0x00B1);
  statLabels_[2]->setText(sd);
  statLabels_[2]->setToolTip(hintText(279));
  statValues_[3]->setToolTip(hintText(280));
  statValues_[4]->setToolTip(hintText(281));
  extremeLabels_[0]->setText(text(kTextIntervalMin));
  extremeLabels_[0]->setToolTip(hintText(280));
  extremeLabels_[1]->setText(text(kTextIntervalMax));
  extremeLabels_[1]->setToolTip(hintText(281));
  bbnCopy_->setToolTip(hintText(282));
  bbnSaveData_->setToolTip(hintText(283));
  bbnPrint_->setToolTip(hintText(284));
  bbnSavePicture_->setToolTip(savePictureCaption(languageIndex()) + QLatin1Char('\n') +
                              savePictureHint(languageIndex()));
  bbnLoadData_->setToolTip(hintText(285));
  bbnSaveSettings_->setToolTip(hintText(286));
  bbnLoadSettings_->setToolTip(hintText(287));
  dgStatus_->applyTexts();
}

void TMultiTopPanel::refreshStatus(bool runGoing) {
  refreshing_ = true;
  // Hidden without active devices; once there are devices to check it keeps its room, so the
  // controls beside it stay where they are while the user checks them.
  keepRoomWhenHidden(pnStartStop_, coll_.itemCount() > 0);
  pnStartStop_->setVisible(coll_.activeCount() > 0);
  // The statistics appear after the first cycle: their room is kept too, so the window does
  // not grow in the middle of a run.
  keepRoomWhenHidden(gbStats_, coll_.itemCount() > 0);
  QStringList serials;
  for (int i = 0; i < coll_.itemCount(); ++i) serials << coll_.itemSerial(i);
  dgStatus_->setRoom(serials);
  dgStatus_->showRows(coll_.statusRows());
  // RUN cannot restart a run that goes on; BREAK can end it at any moment, between cycles too.
  bnRun_->setEnabled(!runGoing);
  // Never held down: a pressed look beside an enabled RUN read as a stop that did not take.
  // The rows of the records a cut cycle still waits for say "transferring".
  bnBreak_->setEnabled(true);
  if (seCollectTime_->value() != coll_.collectTimeMs())
    seCollectTime_->setValue(coll_.collectTimeMs());
  // Said on after the cycle's picture has taken the file's place (a cycle may take less than a
  // second, too short to read it; a single shot's ends the run with it) until the user does
  // something else with the picture: RUN, another load, or the picture cleared.
  if (coll_.kernel().DataSetCount() == 0 && !coll_.lastPictureShown()) pictureFile_.clear();
  const auto& cs = coll_.collectTimeSource();
  const QString source = collectTimeSourceText(cs);
  const QString hint =
      source.isEmpty() ? hintText(257) : hintText(257) + QLatin1Char('\n') + source;
  seCollectTime_->setToolTip(hint);
  pnCollectTime_->setToolTip(hint);
  collectNotice_.clear();
  if (cs.changed)
    collectNotice_ =
        text(kTextMultiCollectTimeChanged).arg(cs.previousMs).arg(coll_.collectTimeMs()) +
        QLatin1Char(' ') + source;
  showNotice();
  refreshing_ = false;
}

QString TMultiTopPanel::collectTimeSourceText(const TMultiCollection::CollectTimeSource& cs) {
  if (cs.serial.isEmpty() || cs.depth <= 0) return {};
  const double record = cs.depth * std::max(cs.dt, 0.0);
  const double transfer = cs.depth * TMultiCollection::kTransferPerSample;
  return text(kTextMultiCollectTimeSource)
      .arg(cs.serial)
      .arg(cs.depth)
      .arg(valueText(record, 4, QStringLiteral("s")), valueText(transfer, 4, QStringLiteral("s")),
           valueText(TMultiCollection::kCollectMarginS, 4, QStringLiteral("s")));
}

void TMultiTopPanel::fileShownDuringRun(const QString& file) {
  pictureFile_ = file;
  showNotice();
}

void TMultiTopPanel::showNotice() {
  // Built here, so a change of language reaches it too.
  QStringList lines;
  if (!pictureFile_.isEmpty()) lines << text(kTextMultiLoadedDuringRun).arg(pictureFile_);
  if (!collectNotice_.isEmpty()) lines << collectNotice_;
  const QString all = lines.join(QLatin1Char('\n'));
  if (pnNotice_->text() != all) pnNotice_->setText(all);
  if (pnNotice_->isHidden() != all.isEmpty()) pnNotice_->setVisible(!all.isEmpty());
}

void TMultiTopPanel::refreshStatistics() {
  for (int i = 0; i < 5; ++i) statValues_[i]->setText(coll_.statisticsText(i));
  gbStats_->setVisible(coll_.cyclesCount() > 0);
}

void TMultiTopPanel::refreshOptions() {
  refreshing_ = true;
  cbSingleShot_->setChecked(coll_.singleShot());
  cbAutostart_->setChecked(coll_.autostart());
  cbAutosave_->setChecked(coll_.autosave());
  if (edFixPart_->text() != coll_.fixedPart()) edFixPart_->setText(coll_.fixedPart());
  cbClearBeforeDrawing_->setChecked(coll_.clearBeforeDrawing());
  refreshing_ = false;
}

int TMultiTopPanel::rowWidth(bool stacked) const {
  const int now = sizeHint().width();
  if (stacked == statsStacked_) return now;
  // The other arrangement differs only in where the statistics are: at the end of the row, or
  // beneath the start and stop controls and the file buttons.
  const int lead = lead_->sizeHint().width();
  const int stats = gbStats_->sizeHint().expandedTo(gbStats_->minimumSizeHint()).width();
  const int apart = lead + kGroupGap + stats, together = std::max(lead, stats);
  return stacked ? now - apart + together : now - together + apart;
}

void TMultiTopPanel::fitWidth(int width) {
  const bool stack = rowWidth(false) > width;
  if (stack == statsStacked_) return;
  statsStacked_ = stack;
  row_->removeWidget(gbStats_);
  leadColumn_->removeWidget(gbStats_);
  if (stack)
    leadColumn_->insertWidget(1, gbStats_, 0, Qt::AlignLeft);  // before the stretch
  else
    row_->insertWidget(row_->count() - 1, gbStats_, 0, Qt::AlignTop);
  updateGeometry();
}

void TMultiTopPanel::saveControlsShown(bool on) {
  for (QToolButton* b : {bbnCopy_, bbnSaveData_, bbnPrint_, bbnSavePicture_}) b->setVisible(on);
}

}  // namespace tolv
