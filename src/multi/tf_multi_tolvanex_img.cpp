#include "multi/tf_multi_tolvanex_img.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>

#include "common/paths.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/textutil.h"
#include "common/widgetcolours.h"
#include "common/windowmessages.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "multi/devicewindowmember.h"
#include "multi/multi_dornellpage.h"
#include "plot/d2koord.h"

namespace tolv {

namespace {

QString hint(int id) {
  QString s = wrappedText(id);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}

QString framed(int id) {
  return QLatin1Char(' ') + text(id) + QLatin1Char(' ');
}

// Placeholder member list while no device windows are known.
class NoMembers final : public IMultiMembers {
 public:
  int count() const override { return 0; }
  IMultiMember* at(int) override { return nullptr; }
};
NoMembers gNoMembers;

// A member list that forwards to whatever the window uses now, so the collection keeps one
// reference while the frame hands its list in later.
class ForwardMembers final : public IMultiMembers {
 public:
  explicit ForwardMembers(IMultiMembers** target) : target_(target) {}
  int count() const override { return *target_ ? (*target_)->count() : 0; }
  IMultiMember* at(int i) override { return *target_ ? (*target_)->at(i) : nullptr; }

 private:
  IMultiMembers** target_;
};

QToolButton* toolButton(const char* name, QStyle::StandardPixmap icon, QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(parent->style()->standardIcon(icon));
  b->setAutoRaise(true);
  return b;
}

QLabel* valuePanel(const char* name, QWidget* parent) {
  auto* l = new QLabel(QStringLiteral(" -- "), parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(QFrame::Sunken);
  l->setMinimumWidth(64);
  return l;
}

}  // namespace

TF_Multi_Tolvanex_Img::TF_Multi_Tolvanex_Img(QWidget* parent,
                                             const TMultiCollection::TimerFactory& timers)
    : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("TF_Multi_Tolvanex_Img"));
  setAttribute(Qt::WA_QuitOnClose, false);
  members_ = &gNoMembers;
  forwarder_ = std::make_unique<ForwardMembers>(&members_);
  coll_ = std::make_unique<TMultiCollection>(*forwarder_, this, static_cast<IMultiView*>(this),
                                             timers);
  buildMenu();
  buildTop();
  pc_ = new QTabWidget(this);
  pc_->setObjectName(QStringLiteral("PC_"));
  buildSettingsPage();
  tshImage_ = new QWidget;
  tshImage_->setObjectName(QStringLiteral("TSH_Image"));
  im2D_ = new QLabel(tshImage_);
  im2D_->setObjectName(QStringLiteral("IM_2D"));
  im2D_->setMouseTracking(true);
  im2D_->installEventFilter(this);
  pc_->addTab(tshImage_, QString());
  dornell_ = new TMultiDornellPage;
  pc_->addTab(dornell_, QStringLiteral("DORNELL"));
  pc_->setTabVisible(2, false);
  resize(1000, 700);
  setMinimumSize(640, 420);
  applyTexts();
  refreshOptions();
  refreshStatistics();
  refreshStatus();
}

TF_Multi_Tolvanex_Img::~TF_Multi_Tolvanex_Img() {
  coll_->setView(nullptr);
}

// --- Building -----------------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::buildMenu() {
  menu_ = new QMenuBar(this);
  menu_->setObjectName(QStringLiteral("MM_MUVX_Img"));
  QMenu* data = menu_->addMenu(QString());
  data->setObjectName(QStringLiteral("MI_DataFiles"));
  QAction* a = data->addAction(QString(), this, [this] { SaveMUVXfileAs(); });
  a->setObjectName(QStringLiteral("MI_SaveMUVXfileAs"));
  a = data->addAction(QString(), this, [this] { LoadMUVXfile(); });
  a->setObjectName(QStringLiteral("MI_LoadMUVXfile"));
  a = data->addAction(QString(), this, [this] { SaveMUVXPictureAs(); });
  a->setObjectName(QStringLiteral("MI_SaveMUVXPictureAs"));
  QMenu* config = menu_->addMenu(QString());
  config->setObjectName(QStringLiteral("MI_ConfigFiles"));
  a = config->addAction(QString(), this, [this] { SaveMUVXSettingsAs(); });
  a->setObjectName(QStringLiteral("MI_SaveMUVXSettingsAs"));
  a = config->addAction(QString(), this, [this] { LoadMUVXSettings(); });
  a->setObjectName(QStringLiteral("MI_LoadMUVXSettings"));
}

void TF_Multi_Tolvanex_Img::buildTop() {
  pnTop_ = new QFrame(this);
  pnTop_->setObjectName(QStringLiteral("PN_Top"));
  auto* top = new QHBoxLayout(pnTop_);
  top->setContentsMargins(4, 2, 4, 2);

  pnStartStop_ = new QFrame(pnTop_);
  pnStartStop_->setObjectName(QStringLiteral("PN_StartStopControls"));
  auto* ss = new QGridLayout(pnStartStop_);
  ss->setContentsMargins(0, 0, 0, 0);
  cbSingleShot_ = new QCheckBox(pnStartStop_);
  cbSingleShot_->setObjectName(QStringLiteral("CB_SingleShot"));
  cbSingleShot_->setChecked(true);
  connect(cbSingleShot_, &QCheckBox::clicked, this,
          [this](bool on) { coll().setSingleShot(on, true); });
  bnRun_ = new QPushButton(pnStartStop_);
  bnRun_->setObjectName(QStringLiteral("BN_Run"));
  connect(bnRun_, &QPushButton::clicked, this, [this] { BN_RunClick(); });
  bnBreak_ = new QPushButton(pnStartStop_);
  bnBreak_->setObjectName(QStringLiteral("BN_Break"));
  bnBreak_->setVisible(false);
  connect(bnBreak_, &QPushButton::clicked, this, [this] { BN_BreakClick(); });
  pnCollectTime_ = new QLabel(pnStartStop_);
  pnCollectTime_->setObjectName(QStringLiteral("PN_CollectTime_ms"));
  seCollectTime_ = new QSpinBox(pnStartStop_);
  seCollectTime_->setObjectName(QStringLiteral("SE_CollectTime_ms"));
  seCollectTime_->setRange(1, 100000000);
  seCollectTime_->setValue(TMultiCollection::kCollectMs);
  connect(seCollectTime_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!refreshing_) coll().setCollectTimeMs(v);
  });
  ss->addWidget(cbSingleShot_, 0, 0);
  ss->addWidget(bnRun_, 1, 0);
  ss->addWidget(bnBreak_, 1, 0);
  ss->addWidget(pnCollectTime_, 0, 1);
  ss->addWidget(seCollectTime_, 1, 1);
  top->addWidget(pnStartStop_);

  auto* files = new QGridLayout;
  bbnCopy_ = toolButton("BBN_CopyMUVXToClipboard", QStyle::SP_DialogApplyButton, pnTop_);
  bbnCopy_->installEventFilter(this);
  bbnSaveData_ = toolButton("BBN_SaveMUVXfileAs", QStyle::SP_DialogSaveButton, pnTop_);
  connect(bbnSaveData_, &QToolButton::clicked, this, [this] { SaveMUVXfileAs(); });
  bbnPrint_ = toolButton("BBN_PrintMUVX", QStyle::SP_FileDialogDetailedView, pnTop_);
  connect(bbnPrint_, &QToolButton::clicked, this, [this] { PrintMUVX(); });
  bbnSavePicture_ = toolButton("BBN_SaveMUVXPictureAs", QStyle::SP_DriveFDIcon, pnTop_);
  bbnSavePicture_->setIcon(savePictureIcon());
  connect(bbnSavePicture_, &QToolButton::clicked, this, [this] { SaveMUVXPictureAs(); });
  bbnLoadData_ = toolButton("BBN_LoadMUVXfile", QStyle::SP_DialogOpenButton, pnTop_);
  connect(bbnLoadData_, &QToolButton::clicked, this, [this] { LoadMUVXfile(); });
  bbnSaveSettings_ = toolButton("BBN_SaveMUVXSettingsAs", QStyle::SP_DriveFDIcon, pnTop_);
  connect(bbnSaveSettings_, &QToolButton::clicked, this, [this] { SaveMUVXSettingsAs(); });
  bbnLoadSettings_ = toolButton("BBN_LoadMUVXSettings", QStyle::SP_DirOpenIcon, pnTop_);
  connect(bbnLoadSettings_, &QToolButton::clicked, this, [this] { LoadMUVXSettings(); });
  files->addWidget(bbnCopy_, 0, 0);
  files->addWidget(bbnSaveData_, 0, 1);
  files->addWidget(bbnPrint_, 0, 2);
  files->addWidget(bbnSavePicture_, 0, 3);
  files->addWidget(bbnLoadData_, 1, 1);
  files->addWidget(bbnSaveSettings_, 1, 2);
  files->addWidget(bbnLoadSettings_, 1, 0);
  for (QToolButton* b : {bbnCopy_, bbnSaveData_, bbnPrint_, bbnSavePicture_}) b->setVisible(false);
  top->addLayout(files);

  dgStatus_ = new QTableWidget(0, 3, pnTop_);
  dgStatus_->setObjectName(QStringLiteral("DG_"));
  dgStatus_->horizontalHeader()->setVisible(false);
  dgStatus_->verticalHeader()->setVisible(false);
  dgStatus_->verticalHeader()->setDefaultSectionSize(18);
  for (int c = 0; c < 3; ++c) dgStatus_->setColumnWidth(c, 56);
  dgStatus_->setFixedWidth(3 * 56 + 6);
  dgStatus_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  dgStatus_->setSelectionMode(QAbstractItemView::NoSelection);
  dgStatus_->setVisible(false);
  top->addWidget(dgStatus_);

  auto* clear = new QVBoxLayout;
  bnClearImage_ = new QPushButton(pnTop_);
  bnClearImage_->setObjectName(QStringLiteral("BN_ClearImage"));
  connect(bnClearImage_, &QPushButton::clicked, this, [this] { BN_ClearImageClick(); });
  cbClearBeforeDrawing_ = new QCheckBox(pnTop_);
  cbClearBeforeDrawing_->setObjectName(QStringLiteral("CB_ClearBeforeDrawing"));
  cbClearBeforeDrawing_->setChecked(true);
  connect(cbClearBeforeDrawing_, &QCheckBox::toggled, this,
          [this](bool on) { coll().setClearBeforeDrawing(on); });
  clear->addWidget(bnClearImage_);
  clear->addWidget(cbClearBeforeDrawing_);
  top->addLayout(clear);

  gbAuto_ = new QGroupBox(pnTop_);
  gbAuto_->setObjectName(QStringLiteral("GB_Auto"));
  auto* au = new QGridLayout(gbAuto_);
  cbAutosave_ = new QCheckBox(gbAuto_);
  cbAutosave_->setObjectName(QStringLiteral("CB_Autosave"));
  connect(cbAutosave_, &QCheckBox::toggled, this, [this](bool on) {
    if (!refreshing_) coll().setAutosave(on);
  });
  edFixPart_ = new QLineEdit(gbAuto_);
  edFixPart_->setObjectName(QStringLiteral("ED_Fix_File_Name_Part"));
  connect(edFixPart_, &QLineEdit::textChanged, this, [this](const QString& s) {
    if (!refreshing_) coll().setFixedPart(s);
  });
  cbAutostart_ = new QCheckBox(gbAuto_);
  cbAutostart_->setObjectName(QStringLiteral("CB_Autostart"));
  connect(cbAutostart_, &QCheckBox::clicked, this,
          [this](bool on) { coll().setAutostart(on, true); });
  au->addWidget(cbAutosave_, 0, 0);
  au->addWidget(edFixPart_, 0, 1);
  au->addWidget(cbAutostart_, 1, 0, 1, 2);
  top->addWidget(gbAuto_);

  gbStats_ = new QGroupBox(pnTop_);
  gbStats_->setObjectName(QStringLiteral("GB_IntervalStatistics"));
  auto* st = new QGridLayout(gbStats_);
  const char* labels[3] = {"PN_N_Intervals_Label", "PN_DeltaTmean_Label",
                           "PN_DeltaTStdDev_Label"};
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
  st->addWidget(statValues_[3], 1, 2);
  st->addWidget(statValues_[4], 2, 2);
  gbStats_->setVisible(false);
  top->addWidget(gbStats_);
  top->addStretch(1);
}

void TF_Multi_Tolvanex_Img::buildSettingsPage() {
  tshSettings_ = new QWidget;
  tshSettings_->setObjectName(QStringLiteral("TSH_Settings"));
  auto* lay = new QHBoxLayout(tshSettings_);

  sgScales_ = new QTableWidget(1, 6, tshSettings_);
  sgScales_->setObjectName(QStringLiteral("SG_Scales"));
  sgScales_->horizontalHeader()->setVisible(false);
  sgScales_->verticalHeader()->setVisible(false);
  sgScales_->verticalHeader()->setDefaultSectionSize(18);
  sgScales_->horizontalHeader()->setDefaultSectionSize(72);
  sgScales_->setColumnWidth(0, 110);
  connect(sgScales_, &QTableWidget::cellChanged, this, [this](int r, int c) {
    if (refreshing_ || r < 1 || c < 1) return;
    coll().setScaleCell(r, c, sgScales_->item(r, c)->text());
  });
  dgColours_ = new QTableWidget(1, 1, tshSettings_);
  dgColours_->setObjectName(QStringLiteral("DG_Scale_Colors"));
  dgColours_->horizontalHeader()->setVisible(false);
  dgColours_->verticalHeader()->setVisible(false);
  dgColours_->verticalHeader()->setDefaultSectionSize(18);
  dgColours_->setColumnWidth(0, 24);
  dgColours_->setFixedWidth(30);
  dgColours_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  dgColours_->setSelectionMode(QAbstractItemView::NoSelection);
  connect(dgColours_, &QTableWidget::cellPressed, this,
          [this](int r, int) { DG_Scale_ColorsMouseDown(r); });
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
  gbActive_ = new QGroupBox(tshSettings_);
  gbActive_->setObjectName(QStringLiteral("GB_Active_Tolvanexs"));
  auto* al = new QVBoxLayout(gbActive_);
  clbActive_ = new QListWidget(gbActive_);
  clbActive_->setObjectName(QStringLiteral("CLB_ACTIVE_Tolvanexs"));
  connect(clbActive_, &QListWidget::itemChanged, this, [this](QListWidgetItem* it) {
    if (refreshing_) return;
    CLB_ACTIVE_TolvanexsClickCheck(clbActive_->row(it), it->checkState() == Qt::Checked);
  });
  bnUpdate_ = new QPushButton(gbActive_);
  bnUpdate_->setObjectName(QStringLiteral("BN_Update"));
  bnUpdate_->setVisible(false);
  connect(bnUpdate_, &QPushButton::clicked, this, [this] { BN_UpdateClick(); });
  al->addWidget(clbActive_);
  al->addWidget(bnUpdate_);
  right->addWidget(gbActive_);

  gbHvxv_ = new QGroupBox(tshSettings_);
  gbHvxv_->setObjectName(QStringLiteral("GB_HVXV"));
  auto* hl = new QVBoxLayout(gbHvxv_);
  const char* names[4] = {"RB_HVXV_None", "RB_HVXV_INactive", "RB_HVXV_Active", "RB_HVXV_All"};
  for (int i = 0; i < 4; ++i) {
    rbHvxv_[i] = new QRadioButton(gbHvxv_);
    rbHvxv_[i]->setObjectName(QString::fromLatin1(names[i]));
    connect(rbHvxv_[i], &QRadioButton::clicked, this, [this, i] { RB_HVXVClick(i); });
    hl->addWidget(rbHvxv_[i]);
  }
  right->addWidget(gbHvxv_);
  right->addStretch(1);
  lay->addLayout(right, 1);
  pc_->addTab(tshSettings_, QString());
}

// --- Texts --------------------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::applyTexts() {
  setWindowTitle(text(242));
  bnRun_->setText(text(85));
  bnRun_->setToolTip(hint(86));
  bnBreak_->setText(text(87));
  bnBreak_->setToolTip(hint(88));
  cbSingleShot_->setText(text(91));
  cbSingleShot_->setToolTip(hint(92));
  pc_->setTabText(pc_->indexOf(tshSettings_), text(248));
  pc_->setTabText(pc_->indexOf(tshImage_), text(249));
  gbActive_->setTitle(framed(250));
  gbActive_->setToolTip(hint(251));
  clbActive_->setToolTip(hint(255));
  bnUpdate_->setText(text(253));
  bnUpdate_->setToolTip(hint(254));
  sgScales_->setToolTip(hint(252));
  pnCollectTime_->setText(text(256));
  pnCollectTime_->setToolTip(hint(257));
  seCollectTime_->setToolTip(hint(257));
  bnClearImage_->setText(text(258));
  bnClearImage_->setToolTip(hint(259));
  cbClearBeforeDrawing_->setText(text(259));
  cbClearBeforeDrawing_->setToolTip(hint(260));
  dgColours_->setToolTip(hint(261));
  gbAuto_->setTitle(framed(262));
  gbAuto_->setToolTip(hint(263));
  cbAutosave_->setText(text(264));
  cbAutosave_->setToolTip(hint(265));
  edFixPart_->setToolTip(hint(266));
  cbAutostart_->setText(text(267));
  cbAutostart_->setToolTip(hint(268));
  gbStats_->setTitle(framed(269));
  gbStats_->setToolTip(hint(270));
  statValues_[0]->setToolTip(hint(271));
  statLabels_[0]->setText(text(272));
  statLabels_[0]->setToolTip(hint(273));
  statValues_[1]->setToolTip(hint(274));
  statLabels_[1]->setText(text(275));
  statLabels_[1]->setToolTip(hint(276));
  statValues_[2]->setToolTip(hint(277));
  QString sd = text(278);
  if (!sd.endsWith(QChar(0x00B1))) sd += QChar(0x00B1);
  statLabels_[2]->setText(sd);
  statLabels_[2]->setToolTip(hint(279));
  statValues_[3]->setToolTip(hint(280));
  statValues_[4]->setToolTip(hint(281));
  bbnCopy_->setToolTip(hint(282));
  bbnSaveData_->setToolTip(hint(283));
  bbnPrint_->setToolTip(hint(284));
  bbnSavePicture_->setToolTip(savePictureCaption(languageIndex()) + QLatin1Char('\n') +
                              savePictureHint(languageIndex()));
  if (auto* act = menu_->findChild<QAction*>(QStringLiteral("MI_SaveMUVXPictureAs"))) {
    act->setText(savePictureCaption(languageIndex()));
    act->setToolTip(savePictureHint(languageIndex()));
  }
  bbnLoadData_->setToolTip(hint(285));
  bbnSaveSettings_->setToolTip(hint(286));
  bbnLoadSettings_->setToolTip(hint(287));
  const struct {
    const char* name;
    int caption, hintId;
  } menus[2] = {{"MI_DataFiles", 288, 289}, {"MI_ConfigFiles", 294, 295}};
  for (const auto& m : menus)
    if (auto* menu = menu_->findChild<QMenu*>(QString::fromLatin1(m.name))) {
      menu->setTitle(text(m.caption));
      menu->setToolTip(hint(m.hintId));
      menu->setToolTipsVisible(true);
    }
  const struct {
    const char* name;
    int caption, hintId;
  } actions[4] = {{"MI_SaveMUVXfileAs", 290, 291},
                  {"MI_LoadMUVXfile", 292, 293},
                  {"MI_SaveMUVXSettingsAs", 296, 297},
                  {"MI_LoadMUVXSettings", 298, 299}};
  for (const auto& a : actions)
    if (auto* act = menu_->findChild<QAction*>(QString::fromLatin1(a.name))) {
      act->setText(text(a.caption));
      act->setToolTip(hint(a.hintId));
    }
  gbHvxv_->setTitle(framed(300));
  gbHvxv_->setToolTip(hint(301));
  for (int i = 0; i < 4; ++i) {
    rbHvxv_[i]->setText(text(302 + 2 * i));
    rbHvxv_[i]->setToolTip(hint(303 + 2 * i));
  }
  refreshScaleTable();
  fitTopPanel();
}

// The top panel never squeezes its controls: the window is at least as wide as they need
// (the status grid and the statistics box appear later and widen it).
void TF_Multi_Tolvanex_Img::fitTopPanel() {
  const int need = std::max(640, pnTop_->sizeHint().width());
  if (minimumWidth() != need) setMinimumWidth(need);
}

// --- Frame operations ---------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::setDeviceWindows(const TTolvanexFormsList* list) {
  formsMembers_ = std::make_unique<TFormsMembers>(list);
  members_ = formsMembers_.get();
}

void TF_Multi_Tolvanex_Img::setMembers(IMultiMembers* members) {
  members_ = members ? members : &gNoMembers;
}

int TF_Multi_Tolvanex_Img::fillFromDeviceWindows() {
  const int rc = coll().fill();
  // The check list shows all its items; the group box ends just below it.
  const int itemHeight = clbActive_->fontMetrics().height() + 2;
  clbActive_->setFixedHeight(std::max(1, clbActive_->count()) * itemHeight + 6);
  // Devices checked by the scalings file wait for the user's (or the boot sequence's) go.
  bnUpdate_->setVisible(countChecked(clbActive_) > 0);
  return rc;
}

void TF_Multi_Tolvanex_Img::setDataFileFolder(const std::filesystem::path& folder) {
  coll().setDataFileFolder(folder);
}

void TF_Multi_Tolvanex_Img::setShown(bool on) {
  const bool wasHidden = !isVisible();
  setVisible(on);
  if (on && wasHidden && coll().activeCount() == 0) {
    if (bootRequest_) bootRequest_();
    coll().setVisibleMode(coll().visibleMode());
  }
  if (isVisible()) {
    raise();
    coll().colourTimer().start();
  }
}

void TF_Multi_Tolvanex_Img::layOut() {
  if (bootingFlag()) return;
  const int menuH = menu_->sizeHint().height();
  menu_->setGeometry(0, 0, width(), menuH);
  const int topH = pnTop_->sizeHint().height();
  pnTop_->setGeometry(0, menuH, width(), topH);
  pc_->setGeometry(0, menuH + topH, width(), std::max(50, height() - menuH - topH));
  pc_->layout();
  const QRect page = pc_->currentWidget() ? pc_->currentWidget()->rect() : QRect();
  const int w = std::max(100, pc_->width() - 6);
  const int h = std::max(60, pc_->height() - pc_->tabBar()->height() - 6);
  (void)page;
  im2D_->setGeometry(0, 0, w, h);
  coll().setImageSize(w, h);
  showPlot();
  sizeScaleTable();
}

void TF_Multi_Tolvanex_Img::prepareEmptyPlot() {
  coll().prepareEmptyPlot();
}

int TF_Multi_Tolvanex_Img::activateCheckedDevices() {
  const int rc = coll().activate();
  // The boot sequence has given the go the button waits for.
  if (rc == 0) bnUpdate_->setVisible(false);
  return rc;
}

int TF_Multi_Tolvanex_Img::switchActiveToScopeMode() {
  return coll().switchToScopeMode();
}

int TF_Multi_Tolvanex_Img::startRun() {
  return coll().startRun(true);
}

// --- Position lines -----------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::savePositionLines(QStringList& lines) const {
  lines << windowTitle() << QString::number(x()) << QString::number(y())
        << QString::number(width()) << QString::number(height())
        << boolToText(coll().autosave()) << coll().fixedPart() << boolToText(coll().autostart())
        << QString::number(coll().visibleMode());
}

int TF_Multi_Tolvanex_Img::loadPositionLines(QStringList& lines, bool apply) {
  if (lines.size() <= 4) return kMultiEmpty;
  lines.removeFirst();  // caption
  auto take = [&]() { return lines.isEmpty() ? QString() : lines.takeFirst(); };
  auto integer = [](const QString& s, int lo, int hi, int& v) {
    bool ok = false;
    const int n = s.trimmed().toInt(&ok);
    if (!ok || n < lo || n > hi) return false;
    v = n;
    return true;
  };
  auto boolean = [](const QString& s, bool& v) {
    const QString t = s.trimmed().toUpper();
    if (t == QStringLiteral("T") || t == QStringLiteral("TRUE")) v = true;
    else if (t == QStringLiteral("F") || t == QStringLiteral("FALSE")) v = false;
    else return false;
    return true;
  };
  int left = 0, top = 0, w = 0, h = 0, mode = 3;
  bool autosave = false, autostartOn = false;
  if (!integer(take(), -100000, 100000, left) || !integer(take(), -100000, 100000, top))
    return kNotANumber;
  if (!integer(take(), 100, 20000, w) || !integer(take(), 100, 20000, h)) return kNotANumber;
  if (!boolean(take(), autosave)) return kBadBoolean;
  const QString part = take().left(255);
  if (!boolean(take(), autostartOn)) return kBadBoolean;
  if (!integer(take(), 0, 3, mode)) return kNotANumber;
  if (!apply) return 0;
  move(left, top);
  resize(w, h);
  coll().setAutosave(autosave);
  coll().setFixedPart(part);
  coll().setAutostart(autostartOn, false);
  coll().setVisibleMode(mode);
  refreshOptions();
  return 0;
}

// --- Handlers -----------------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::BN_UpdateClick() {
  coll().updateClicked();
  bnUpdate_->setVisible(false);
}

void TF_Multi_Tolvanex_Img::CLB_ACTIVE_TolvanexsClickCheck(int item, bool on) {
  bnUpdate_->setVisible(true);
  coll().checkClicked(item, on);
}

QString TF_Multi_Tolvanex_Img::askFile(Dialog d, const QString& proposed) {
  if (fileDialog_) return fileDialog_(d, proposed);
  const QString dataFilter = QStringLiteral("CSV (*.CSV *.csv)");
  switch (d) {
    case Dialog::SaveData:
      return QFileDialog::getSaveFileName(this, QString(), proposed, dataFilter);
    case Dialog::LoadData:
      return QFileDialog::getOpenFileName(this, QString(), proposed, dataFilter);
    case Dialog::SaveScalings:
      return QFileDialog::getSaveFileName(
          this, QString(), proposed,
          QStringLiteral("Multi-Tolvanex Scalings-File (*Scalings.TXT)"));
    case Dialog::LoadScalings:
      return QFileDialog::getOpenFileName(
          this, QString(), proposed,
          QStringLiteral("Multi-Tolvanex Scalings-File (*Scalings*.TXT)"));
  }
  return QString();
}

int TF_Multi_Tolvanex_Img::SaveMUVXfileAs() {
  const QString folder = pathText(coll().dataFileFolder().empty() ? multiFolder()
                                                                  : coll().dataFileFolder());
  const QString name = askFile(Dialog::SaveData, folder);
  if (name.isEmpty()) return kMultiCancelled;
  std::filesystem::path p = pathFromText(name);
  if (!p.has_extension()) p += ".CSV";
  return coll().saveDataFile(p);
}

int TF_Multi_Tolvanex_Img::LoadMUVXfile() {
  const QString folder = pathText(coll().dataFileFolder().empty() ? multiFolder()
                                                                  : coll().dataFileFolder());
  const QString name = askFile(Dialog::LoadData, folder);
  if (name.isEmpty()) return kMultiCancelled;
  const int rc = coll().loadDataFile(pathFromText(name));
  if (rc == 0) layOut();
  return rc;
}

int TF_Multi_Tolvanex_Img::SaveMUVXSettingsAs() {
  const QString name = askFile(Dialog::SaveScalings, pathText(coll().scalingsPath()));
  if (name.isEmpty()) return kMultiCancelled;
  std::filesystem::path p = pathFromText(name);
  return coll().saveScalingsAs(p);
}

int TF_Multi_Tolvanex_Img::LoadMUVXSettings() {
  const QString name = askFile(Dialog::LoadScalings, pathText(coll().scalingsPath()));
  if (name.isEmpty()) return kMultiCancelled;
  const int rc = coll().loadScalings(pathFromText(name));
  if (rc == 0 && countChecked(clbActive_) > 0) bnUpdate_->setVisible(true);
  return rc;
}

void TF_Multi_Tolvanex_Img::PrintMUVX() {
  QPrinter printer;
  QPrintDialog dlg(&printer, this);
  dlg.setObjectName(QStringLiteral("PD_"));
  if (dlg.exec() != QDialog::Accepted) return;
  QPainter p(&printer);
  const QPixmap shot = grab();
  const QRect page = p.viewport();
  const QSize size = shot.size().scaled(page.size(), Qt::KeepAspectRatio);
  p.drawPixmap(QRect(page.topLeft(), size), shot);
}

void TF_Multi_Tolvanex_Img::CopyMUVXToClipboard(Qt::MouseButton button) {
  if (button == Qt::RightButton)
    QApplication::clipboard()->setPixmap(grab());
  else
    QApplication::clipboard()->setImage(coll().image());
}

int TF_Multi_Tolvanex_Img::SaveMUVXPictureAs() {
  return savePictureAs(this, coll().image(), pictureDialog_, coll().headerText());
}

void TF_Multi_Tolvanex_Img::DG_Scale_ColorsMouseDown(int row) {
  if (row < 1) return;
  ColorRef c = gridCellColour(dgColours_, 0, row);
  bool ok = false;
  if (colourDialog_) {
    ok = colourDialog_(c);
  } else {
    const QColor q = QColorDialog::getColor(toQColor(c), this);
    ok = q.isValid();
    if (ok) c = fromQColor(q);
  }
  coll().colourTimer().stop();
  if (ok) coll().setRowColour(row, c, true);
  coll().markScalingsChanged();
}

// --- Events -------------------------------------------------------------------------------

bool TF_Multi_Tolvanex_Img::event(QEvent* e) {
  if (e->type() == TRecordNoticeEvent::kType) {
    // The notice is a copy, so the record is taken while the device window still holds it.
    const RecordNotice& n = static_cast<TRecordNoticeEvent*>(e)->notice();
    coll().recordArrived({n.sampleCount, n.postTrigger, n.registration, n.sampleTime, n.run});
    return true;
  }
  return QWidget::event(e);
}

void TF_Multi_Tolvanex_Img::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  layOut();
}

void TF_Multi_Tolvanex_Img::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  coll().colourTimer().start();
}

void TF_Multi_Tolvanex_Img::closeEvent(QCloseEvent* e) {
  FormCloseQuery();
  QWidget::closeEvent(e);
}

bool TF_Multi_Tolvanex_Img::eventFilter(QObject* watched, QEvent* e) {
  if (watched == bbnCopy_ && e->type() == QEvent::MouseButtonPress) {
    CopyMUVXToClipboard(static_cast<QMouseEvent*>(e)->button());
    return true;
  }
  if (watched == im2D_) {
    const auto t = e->type();
    if (t == QEvent::MouseButtonPress || t == QEvent::MouseMove ||
        t == QEvent::MouseButtonRelease) {
      auto* me = static_cast<QMouseEvent*>(e);
      const QPoint pos = me->position().toPoint();
      int button = kMouseNone;
      if (me->button() == Qt::LeftButton) button = kMouseLeft;
      if (me->button() == Qt::RightButton) button = kMouseRight;
      int shift = 0;
      if (me->modifiers() & Qt::ShiftModifier) shift |= kShiftShift;
      if (me->buttons() & Qt::LeftButton) shift |= kShiftLeft;
      if (me->buttons() & Qt::RightButton) shift |= kShiftRight;
      const TMeasurementData* result = nullptr;
      if (t == QEvent::MouseButtonPress) {
        mouseButton_ = button;
        coll().kernel().HandleMouse(im2D_, button, result, pos.y(), pos.x(), shift, false);
      } else if (t == QEvent::MouseMove) {
        if (me->buttons() != Qt::NoButton)
          coll().kernel().HandleMouse(im2D_, kMouseNone, result, pos.y(), pos.x(), shift, false);
      } else {
        // A release after a right press measures with the alternative shift state.
        if (mouseButton_ == kMouseRight) shift = kShiftAlt;
        coll().kernel().HandleMouse(im2D_, mouseButton_, result, pos.y(), pos.x(), shift, true);
        coll().drawHeader();
      }
      if (result && koord_) koord_->Show(result);
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}

// --- View ---------------------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::changed(unsigned what) {
  if (what & kChangedScaleTable) refreshScaleTable();
  if (what & kChangedCheckList) refreshCheckList();
  if (what & kChangedColours) refreshColours();
  if (what & (kChangedStatus | kChangedRunButtons | kChangedCollectTime)) refreshStatus();
  if (what & kChangedStatistics) refreshStatistics();
  if (what & kChangedOptions) refreshOptions();
  if (what & kChangedPlot) showPlot();
}

void TF_Multi_Tolvanex_Img::processEvents() {
  QCoreApplication::processEvents();
}

void TF_Multi_Tolvanex_Img::bringToFront() {
  if (isVisible()) raise();
}

void TF_Multi_Tolvanex_Img::showPlotPage() {
  pc_->setCurrentWidget(tshImage_);
}

void TF_Multi_Tolvanex_Img::setBusyCursor(bool on) {
  if (on)
    setCursor(Qt::WaitCursor);
  else
    unsetCursor();
}

void TF_Multi_Tolvanex_Img::saveControlsShown(bool on) {
  for (QToolButton* b : {bbnCopy_, bbnSaveData_, bbnPrint_, bbnSavePicture_}) b->setVisible(on);
}

void TF_Multi_Tolvanex_Img::showPlot() {
  im2D_->setPixmap(QPixmap::fromImage(coll().image()));
}

void TF_Multi_Tolvanex_Img::refreshScaleTable() {
  refreshing_ = true;
  const int rows = coll().rowCount();
  sgScales_->setRowCount(rows);
  dgColours_->setRowCount(rows);
  const QString titles[6] = {QString(), text(243), QStringLiteral("dY/dV"),
                             QStringLiteral("Y(0V)"), text(246), text(247)};
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
  QStringList dornellNames;
  for (int r = 1; r < rows; ++r) {
    auto* name = new QTableWidgetItem(coll().rowName(r));
    name->setFlags(Qt::ItemIsEnabled);
    name->setBackground(palette().button());
    sgScales_->setItem(r, 0, name);
    for (int c = 1; c <= 5; ++c) sgScales_->setItem(r, c, new QTableWidgetItem(coll().row(r).cell(c)));
    dornellNames << coll().dornellName(r);
  }
  dornell_->setRows(dornellNames);
  refreshing_ = false;
  refreshColours();
  sizeScaleTable();
}

void TF_Multi_Tolvanex_Img::sizeScaleTable() {
  const int rows = sgScales_->rowCount();
  const int want = (rows + 1) * 18 + 4;
  const int room = std::max(60, tshSettings_->height() - 20);
  sgScales_->setFixedHeight(std::min(want, room));
  dgColours_->setFixedHeight(sgScales_->height());
  int columns = 4;
  for (int c = 0; c < sgScales_->columnCount(); ++c) columns += sgScales_->columnWidth(c);
  sgScales_->setMinimumWidth(columns);
}

void TF_Multi_Tolvanex_Img::refreshColours() {
  const int rows = coll().rowCount();
  if (dgColours_->rowCount() < rows) dgColours_->setRowCount(rows);
  for (int r = 1; r < dgColours_->rowCount(); ++r) paintGridCell(dgColours_, 0, r, coll().rowColour(r));
}

void TF_Multi_Tolvanex_Img::refreshCheckList() {
  refreshing_ = true;
  const int n = coll().itemCount();
  while (clbActive_->count() > n) delete clbActive_->takeItem(clbActive_->count() - 1);
  while (clbActive_->count() < n) {
    auto* it = new QListWidgetItem(clbActive_);
    it->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  }
  for (int i = 0; i < n; ++i) {
    QListWidgetItem* it = clbActive_->item(i);
    it->setText(coll().itemSerial(i));
    it->setCheckState(coll().itemChecked(i) ? Qt::Checked : Qt::Unchecked);
  }
  refreshing_ = false;
}

void TF_Multi_Tolvanex_Img::refreshStatus() {
  refreshing_ = true;
  const auto& rows = coll().statusRows();
  pnStartStop_->setVisible(coll().activeCount() > 0);
  dgStatus_->setRowCount(int(rows.size()));
  dgStatus_->setFixedHeight(std::max(1, int(rows.size())) * (18 + 2) + 6);
  for (int r = 0; r < int(rows.size()); ++r) {
    const MultiStatusRow& s = rows[std::size_t(r)];
    auto* name = new QTableWidgetItem(s.serial);
    name->setBackground(Qt::white);
    name->setForeground(Qt::black);
    dgStatus_->setItem(r, 0, name);
    for (int c = 1; c <= 2; ++c) {
      const ColorRef fill = s.filled ? (c == 1 ? s.colour1 : s.colour2) : kWhite;
      auto* it = new QTableWidgetItem(s.filled ? (c == 1 ? QStringLiteral("Kanal 1")
                                                         : QStringLiteral("Kanal 2"))
                                               : QString());
      dgStatus_->setItem(r, c, it);
      paintGridCell(dgStatus_, c, r, fill);
    }
  }
  // Serial numbers are wider than the 56 px of the colour columns.
  dgStatus_->resizeColumnToContents(0);
  dgStatus_->setColumnWidth(0, std::max(56, dgStatus_->columnWidth(0)));
  dgStatus_->setFixedWidth(dgStatus_->columnWidth(0) + 2 * 56 + 6);
  dgStatus_->setVisible(!rows.empty());
  fitTopPanel();
  bnRun_->setVisible(!coll().running());
  bnBreak_->setVisible(coll().running());
  if (seCollectTime_->value() != coll().collectTimeMs()) seCollectTime_->setValue(coll().collectTimeMs());
  refreshing_ = false;
}

void TF_Multi_Tolvanex_Img::refreshStatistics() {
  for (int i = 0; i < 5; ++i) statValues_[i]->setText(coll().statisticsText(i));
  gbStats_->setVisible(coll().cyclesCount() > 0);
  fitTopPanel();
}

void TF_Multi_Tolvanex_Img::refreshOptions() {
  refreshing_ = true;
  cbSingleShot_->setChecked(coll().singleShot());
  cbAutostart_->setChecked(coll().autostart());
  cbAutosave_->setChecked(coll().autosave());
  if (edFixPart_->text() != coll().fixedPart()) edFixPart_->setText(coll().fixedPart());
  cbClearBeforeDrawing_->setChecked(coll().clearBeforeDrawing());
  const int mode = coll().visibleMode();
  if (mode >= 0 && mode < 4) rbHvxv_[mode]->setChecked(true);
  refreshing_ = false;
}

}  // namespace tolv
