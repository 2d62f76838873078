#include "multi/tf_multi_tolvanex_img.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QColorDialog>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "common/paths.h"
#include "common/regional.h"
#include "common/settingsio.h"
#include "common/texttable.h"
#include "common/textutil.h"
#include "common/widgetcolours.h"
#include "common/windowmessages.h"
#include "devicewin/plotshortcuts.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "devicewin/tf_onetolvanex_formslist.h"
#include "multi/devicewindowmember.h"
#include "multi/multi_busytexts.h"
#include "multi/multi_dornellpage.h"
#include "multi/multi_exportdialog.h"
#include "multi/multi_settingspage.h"
#include "multi/multi_statusgrid.h"
#include "multi/multi_toppanel.h"
#include "plot/d2koord.h"

namespace tolv {

namespace {

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
  // Told after the cycle's work is done, not inside it: the box lets events run.
  coll_->onAutosaveFailed = [this](const std::filesystem::path& name, int rc) {
    const QString why =
        pathText(name) + QStringLiteral(":\n") + multiResultText(rc, ResultContext::Writing);
    QMetaObject::invokeMethod(this, [this, why] { tellFileProblem(why); }, Qt::QueuedConnection);
  };
  coll_->onDeviceFilesFailed = [this](const std::vector<DeviceFileFailure>& failed) {
    const QString why = multiDeviceFileProblem(failed);
    QMetaObject::invokeMethod(this, [this, why] { tellFileProblem(why); }, Qt::QueuedConnection);
  };
  coll_->onDevicesBusy = [this](const QStringList& serials, bool runEnded) {
    const QString why = multiBusyNotice(languageIndex(), serials, runEnded);
    QMetaObject::invokeMethod(this, [this, why] { tellDevicesBusy(why); }, Qt::QueuedConnection);
  };
  buildMenu();
  top_ = new TMultiTopPanel(*coll_, this);
  wireTopPanel();
  pc_ = new QTabWidget(this);
  pc_->setObjectName(QStringLiteral("PC_"));
  settings_ = new TMultiSettingsPage(*coll_);
  settings_->setColourCellPressed([this](int r) { DG_Scale_ColorsMouseDown(r); });
  settings_->setCheckClicked(
      [this](int item, bool on) { CLB_ACTIVE_TolvanexsClickCheck(item, on); });
  settings_->setUpdateClicked([this] { BN_UpdateClick(); });
  pc_->addTab(settings_, QString());
  buildPlotPage();
  dornell_ = new TMultiDornellPage;
  pc_->addTab(dornell_, QStringLiteral("DORNELL"));
  pc_->setTabVisible(2, false);
  buildShortcuts();
  resize(1000, 700);
  setMinimumSize(640, 420);
  applyTexts();
  refreshOptions();
  top_->refreshStatistics();
  refreshStatus();
}

TF_Multi_Tolvanex_Img::~TF_Multi_Tolvanex_Img() {
  coll_->setView(nullptr);
}

QWidget* TF_Multi_Tolvanex_Img::settingsPage() const {
  return settings_;
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
  // As in the device window: a stored file first, then the record on screen.
  a = data->addAction(QString(), this, [this] { ExportStoredMUVX(); });
  a->setObjectName(QStringLiteral("MI_ExportStoredMUVX"));
  a = data->addAction(QString(), this, [this] { ExportMUVX(); });
  a->setObjectName(QStringLiteral("MI_ExportMUVX"));
  QMenu* config = menu_->addMenu(QString());
  config->setObjectName(QStringLiteral("MI_ConfigFiles"));
  a = config->addAction(QString(), this, [this] { SaveMUVXSettingsAs(); });
  a->setObjectName(QStringLiteral("MI_SaveMUVXSettingsAs"));
  a = config->addAction(QString(), this, [this] { LoadMUVXSettings(); });
  a->setObjectName(QStringLiteral("MI_LoadMUVXSettings"));
}

void TF_Multi_Tolvanex_Img::buildShortcuts() {
  shortcuts_ = new TPlotShortcuts(this);
  QMenu* plot = menu_->addMenu(QString());
  plot->setObjectName(QStringLiteral("MI_Plot"));
  auto add = [&](PlotCommand c, std::function<void()> f) { plot->addAction(shortcuts_->add(c, std::move(f))); };
  // The keys act as the buttons do: nothing happens where the button could not be pressed.
  // BREAK stays enabled between runs here, so RUN's state tells whether a run goes on.
  const auto canRun = [this] {
    return !top_->runButton()->isHidden() && top_->runButton()->isEnabled();
  };
  add(PlotCommand::StartStop, [this, canRun] {
    if (canRun())
      top_->runButton()->click();
    else if (!top_->breakButton()->isHidden() && top_->breakButton()->isEnabled())
      top_->breakButton()->click();
  });
  add(PlotCommand::Single, [this, canRun] {
    if (!canRun()) return;
    coll().setSingleShot(true, true);
    top_->runButton()->click();
  });
  add(PlotCommand::Save, [this] { SaveMUVXfileAs(); });
  add(PlotCommand::CopyPicture, [this] { CopyMUVXToClipboard(Qt::LeftButton); });
  add(PlotCommand::Print, [this] { PrintMUVX(); });
  plot->addSeparator();
  add(PlotCommand::Unzoom, [this] {
    if (coll().kernel().DataSetCount() == 0 || coll().lastPictureShown()) return;
    coll().kernel().RedrawAutoRange(im2D_);
    coll().drawHeader();
  });
  add(PlotCommand::ZoomIn, [this] { plotWheel(Qt::NoModifier, -1, -1, 120); });
  add(PlotCommand::ZoomOut, [this] { plotWheel(Qt::NoModifier, -1, -1, -120); });
  plot->addSeparator();
  add(PlotCommand::NextSheet, [this] { stepTab(pc_, 1); });
  add(PlotCommand::PreviousSheet, [this] { stepTab(pc_, -1); });
  shortcuts_->decorate(top_->runButton(), {PlotCommand::StartStop, PlotCommand::Single});
  shortcuts_->decorate(top_->breakButton(), {PlotCommand::StartStop});
  shortcuts_->decorate(top_->saveDataButton(), {PlotCommand::Save});
  shortcuts_->decorate(top_->copyButton(), {PlotCommand::CopyPicture});
  shortcuts_->decorate(top_->printButton(), {PlotCommand::Print});
}

void TF_Multi_Tolvanex_Img::plotWheel(Qt::KeyboardModifiers mods, int x, int y, int delta) {
  TGenD2ImgKernel& k = coll().kernel();
  if (k.DataSetCount() == 0 || delta == 0 || coll().lastPictureShown()) return;
  if (x < 0) {  // the keys zoom around the middle of the plot
    const PlotRect a = k.PlotArea();
    x = (a.left + a.right) / 2;
    y = (a.top + a.bottom) / 2;
  }
  const double steps = delta / 120.0;
  if (mods & Qt::ShiftModifier)
    k.Pan(im2D_, -steps);
  else
    k.WheelZoom(im2D_, x, y, steps, bool(mods & Qt::ControlModifier));
  coll().drawHeader();
}

void TF_Multi_Tolvanex_Img::plotCursor(Qt::KeyboardModifiers mods, int x) {
  TGenD2ImgKernel& k = coll().kernel();
  if (k.DataSetCount() == 0 || coll().lastPictureShown()) return;
  if (mods & Qt::ControlModifier) {
    k.ClearCursors(im2D_);
    if (koord_) koord_->SetShown(false);
  } else {
    if (k.PlaceNextCursor(im2D_, x) != kPlotOk) return;
    if (koord_) koord_->ShowCursors(k.CursorReadOut());
  }
  coll().drawHeader();
}

void TF_Multi_Tolvanex_Img::wireTopPanel() {
  top_->copyButton()->installEventFilter(this);
  // A device's row brings its window up: one closed during the run is found again here.
  connect(top_->statusGrid(), &QTableWidget::cellDoubleClicked, this,
          [this](int row, int) { DG_DblClick(row); });
  connect(top_->saveDataButton(), &QToolButton::clicked, this, [this] { SaveMUVXfileAs(); });
  connect(top_->printButton(), &QToolButton::clicked, this, [this] { PrintMUVX(); });
  connect(top_->savePictureButton(), &QToolButton::clicked, this, [this] { SaveMUVXPictureAs(); });
  connect(top_->loadDataButton(), &QToolButton::clicked, this, [this] { LoadMUVXfile(); });
  connect(top_->saveSettingsButton(), &QToolButton::clicked, this,
          [this] { SaveMUVXSettingsAs(); });
  connect(top_->loadSettingsButton(), &QToolButton::clicked, this,
          [this] { LoadMUVXSettings(); });
}

// The plot fills its page; the switch for curves shifted by their trigger delta sits at the
// right end of the page tabs, shown with the plot page, so the plot keeps its whole area.
void TF_Multi_Tolvanex_Img::buildPlotPage() {
  tshImage_ = new QWidget;
  tshImage_->setObjectName(QStringLiteral("TSH_Image"));
  im2D_ = new QLabel(tshImage_);
  im2D_->setObjectName(QStringLiteral("IM_2D"));
  im2D_->setMouseTracking(true);
  im2D_->installEventFilter(this);
  pc_->addTab(tshImage_, QString());
  cbShift_ = new QCheckBox(pc_);
  cbShift_->setObjectName(QStringLiteral("CB_ShiftByTrigger"));
  cbShift_->setChecked(coll().shiftByTrigger());
  connect(cbShift_, &QCheckBox::toggled, this, [this](bool on) {
    if (refreshingOptions_ || coll().shiftByTrigger() == on) return;
    const unsigned drawn = plotChanges_;
    coll().setShiftByTrigger(on);
    // Drawn again at once, as the user looks at it, unless the collection has done so.
    if (plotChanges_ == drawn) layOut();
  });
  pc_->setCornerWidget(cbShift_, Qt::TopRightCorner);
  auto showShift = [this] { cbShift_->setVisible(pc_->currentWidget() == tshImage_); };
  connect(pc_, &QTabWidget::currentChanged, this, showShift);
  showShift();
}

// --- Texts --------------------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::applyTexts() {
  setWindowTitle(text(242));
  pc_->setTabText(pc_->indexOf(settings_), text(248));
  pc_->setTabText(pc_->indexOf(tshImage_), text(249));
  top_->applyTexts();
  settings_->applyTexts();
  if (dornell_) dornell_->applyTexts();
  cbShift_->setText(text(315));
  cbShift_->setToolTip(hintText(316));
  if (auto* act = menu_->findChild<QAction*>(QStringLiteral("MI_SaveMUVXPictureAs"))) {
    act->setText(savePictureCaption(languageIndex()));
    act->setToolTip(savePictureHint(languageIndex()));
  }
  const struct {
    const char* name;
    int caption, hintId;
  } menus[2] = {{"MI_DataFiles", 288, 289}, {"MI_ConfigFiles", 294, 295}};
  for (const auto& m : menus)
    if (auto* menu = menu_->findChild<QMenu*>(QString::fromLatin1(m.name))) {
      menu->setTitle(text(m.caption));
      menu->setToolTip(hintText(m.hintId));
      menu->setToolTipsVisible(true);
    }
  const struct {
    const char* name;
    int caption, hintId;
  } actions[6] = {{"MI_SaveMUVXfileAs", 290, 291},
                  {"MI_LoadMUVXfile", 292, 293},
                  {"MI_SaveMUVXSettingsAs", 296, 297},
                  {"MI_LoadMUVXSettings", 298, 299},
                  {"MI_ExportMUVX", 344, 346},
                  {"MI_ExportStoredMUVX", 322, 323}};
  for (const auto& a : actions)
    if (auto* act = menu_->findChild<QAction*>(QString::fromLatin1(a.name))) {
      act->setText(text(a.caption));
      act->setToolTip(hintText(a.hintId));
    }
  if (auto* plot = menu_->findChild<QMenu*>(QStringLiteral("MI_Plot"))) plot->setTitle(text(343));
  im2D_->setToolTip(hintText(331));
  if (shortcuts_) shortcuts_->applyTexts();
  refreshScaleTable();
  refreshStatus();
}

// The top panel never squeezes its controls: the window is at least as wide as they need with
// the statistics stacked (the status grid and the statistics box appear later and widen it).
void TF_Multi_Tolvanex_Img::fitTopPanel() {
  top_->fitWidth(width());
  // Never wider than its screen: a window that cannot be seen whole cannot be used at all.
  const int need = std::min(std::max(640, top_->rowWidth(true)), screenRoom().width());
  if (minimumWidth() != need) setMinimumWidth(need);
}

QSize TF_Multi_Tolvanex_Img::screenRoom() const {
  const QScreen* sc = screen();
  if (!sc) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  // By its outer size: a window not mapped yet has no frame, its title bar and borders are
  // allowed for.
  QSize extra = frameGeometry().size() - size();
  if (extra.isNull()) {
    const int border = 2 * style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    extra = QSize(border, border + style()->pixelMetric(QStyle::PM_TitleBarHeight));
  }
  return sc->availableGeometry().size() - extra;
}

// --- Frame operations ---------------------------------------------------------------------

void TF_Multi_Tolvanex_Img::setDeviceWindows(const TTolvanexFormsList* list) {
  // Asked by device windows, which may outlive this window.
  formsMembers_ = std::make_unique<TFormsMembers>(
      list, [self = QPointer<TF_Multi_Tolvanex_Img>(this)] { return self && self->runGoing(); });
  members_ = formsMembers_.get();
}

void TF_Multi_Tolvanex_Img::setMembers(IMultiMembers* members) {
  members_ = members ? members : &gNoMembers;
}

int TF_Multi_Tolvanex_Img::fillFromDeviceWindows() {
  const int rc = coll().fill();
  settings_->sizeCheckList();
  // Devices checked by the scalings file wait for the user's (or the boot sequence's) go.
  settings_->updateButton()->setVisible(countChecked(settings_->checkList()) > 0);
  return rc;
}

void TF_Multi_Tolvanex_Img::setDataFileFolder(const std::filesystem::path& folder) {
  coll().setDataFileFolder(folder);
}

void TF_Multi_Tolvanex_Img::setShown(bool on) {
  const bool wasHidden = !isVisible();
  if (!on && !wasHidden) endRunForGoing();
  if (on && wasHidden) {
    fitTopPanel();
    const QSize room = screenRoom();
    if (width() > room.width() || height() > room.height()) resize(size().boundedTo(room));
  }
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

void TF_Multi_Tolvanex_Img::bringUp() {
  if (!isVisible()) setShown(true);
  if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void TF_Multi_Tolvanex_Img::layOut() {
  if (bootingFlag()) return;
  const int menuH = menu_->sizeHint().height();
  menu_->setGeometry(0, 0, width(), menuH);
  top_->fitWidth(width());
  const int topH = top_->sizeHint().height();
  top_->setGeometry(0, menuH, width(), topH);
  pc_->setGeometry(0, menuH + topH, width(), std::max(50, height() - menuH - topH));
  const int w = std::max(100, pc_->width() - 6);
  const int h = std::max(60, pc_->height() - pc_->tabBar()->height() - 6);
  im2D_->setGeometry(0, 0, w, h);
  coll().setImageSize(w, h);
  showPlot();
  settings_->sizeScaleTable();
}

void TF_Multi_Tolvanex_Img::prepareEmptyPlot() {
  coll().prepareEmptyPlot();
}

int TF_Multi_Tolvanex_Img::activateCheckedDevices() {
  const int rc = coll().activate();
  // The boot sequence has given the go the button waits for.
  if (rc == 0) settings_->updateButton()->setVisible(false);
  return rc;
}

int TF_Multi_Tolvanex_Img::switchActiveToScopeMode() {
  return coll().switchToScopeMode();
}

int TF_Multi_Tolvanex_Img::startRun() {
  return coll().startRun(true);
}

void TF_Multi_Tolvanex_Img::BN_RunClick() {
  top_->fileShownDuringRun({});
  coll().runClicked();
}

bool TF_Multi_Tolvanex_Img::runGoing() const {
  // Between two cycles of a continuous run only the re-run timer is pending.
  return coll().running() || coll_->reRunTimer().isActive();
}

// The window is closed or hidden: the run ends as BREAK ends it. The cycle in hand collects
// on (the window still takes records while hidden) and is saved with what came at its usual
// end, so records announced but not yet taken are not lost.
void TF_Multi_Tolvanex_Img::endRunForGoing() {
  if (runGoing()) coll().breakClicked();
}

void TF_Multi_Tolvanex_Img::endRunForShutDown() {
  endRunForGoing();
  coll().refuseRuns();
  // The program ends: the cycle in hand (also one a Break before left waiting for its
  // collecting time) ends now, so what came is still saved, records announced just before
  // included: only those are taken, no other event (a click on START) may run here.
  if (coll().cycleOpen()) QCoreApplication::sendPostedEvents(this, kRecordNoticeMessage);
  if (coll().cycleOpen()) coll().endCycleNow();
}

bool TF_Multi_Tolvanex_Img::FormCloseQuery() {
  endRunForGoing();
  return coll().closeQuery();
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
  settings_->updateButton()->setVisible(false);
}

void TF_Multi_Tolvanex_Img::DG_DblClick(int row) {
  if (row >= 0 && row < coll().activeCount()) coll().activeMember(row)->setShown(true);
}

void TF_Multi_Tolvanex_Img::CLB_ACTIVE_TolvanexsClickCheck(int item, bool on) {
  settings_->updateButton()->setVisible(true);
  coll().checkClicked(item, on);
}

QString TF_Multi_Tolvanex_Img::askFile(Dialog d, const QString& proposed, const QString& filter) {
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
    case Dialog::Export:
    case Dialog::ExportStoredTarget:
      return QFileDialog::getSaveFileName(this, QString(), proposed, filter);
    case Dialog::ExportStored:
      return QFileDialog::getOpenFileName(this, text(325), proposed, filter);
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
  const int rc = coll().saveDataFile(p);
  if (rc != 0)
    tellFileProblem(pathText(p) + QStringLiteral(":\n") +
                    multiResultText(rc, ResultContext::Writing));
  return rc;
}

void TF_Multi_Tolvanex_Img::tellFileProblem(const QString& why) {
  if (exportProblem_)
    exportProblem_(why);
  else
    QMessageBox::warning(this, windowTitle(), why);
}

void TF_Multi_Tolvanex_Img::tellDevicesBusy(const QString& why) {
  if (!busyNotice_) {
    busyNotice_ = new QMessageBox(QMessageBox::Warning, windowTitle(), why, QMessageBox::Ok, this);
    busyNotice_->setObjectName(QStringLiteral("MultiBusyNotice"));
    busyNotice_->setAttribute(Qt::WA_DeleteOnClose);
    busyNotice_->setWindowModality(Qt::NonModal);
  }
  busyNotice_->setText(why);
  busyNotice_->show();
  busyNotice_->raise();
}

int TF_Multi_Tolvanex_Img::ExportMUVX() {
  return exportRecordOnScreen(coll(), char(columnSeparatorSetting().toLatin1()), dataFolderText(),
                              exportAsk(), [this](const QString& why) { tellFileProblem(why); });
}

int TF_Multi_Tolvanex_Img::ExportStoredMUVX() {
  return exportStoredFileAsked(char(columnSeparatorSetting().toLatin1()), dataFolderText(),
                               exportAsk(), [this](const QString& why) { tellFileProblem(why); });
}

MultiExportAskFile TF_Multi_Tolvanex_Img::exportAsk() {
  return [this](MultiExportAsk a, const QString& proposed, const QString& filter) {
    switch (a) {
      case MultiExportAsk::Target:
        targetFilter_ = filter;
        return askFile(Dialog::Export, proposed, filter);
      case MultiExportAsk::Source:
        return askFile(Dialog::ExportStored, proposed, filter);
      case MultiExportAsk::StoredTarget:
        break;
    }
    targetFilter_ = filter;
    return askFile(Dialog::ExportStoredTarget, proposed, filter);
  };
}

QString TF_Multi_Tolvanex_Img::dataFolderText() const {
  return pathText(coll().dataFileFolder().empty() ? multiFolder() : coll().dataFileFolder());
}

int TF_Multi_Tolvanex_Img::LoadMUVXfile() {
  const QString folder = pathText(coll().dataFileFolder().empty() ? multiFolder()
                                                                  : coll().dataFileFolder());
  const QString name = askFile(Dialog::LoadData, folder);
  if (name.isEmpty()) return kMultiCancelled;
  const int rc = coll().loadDataFile(pathFromText(name));
  if (rc == 0) {
    // Shown at once, but a run going on draws its next cycle in its place: said, not hidden.
    // A cycle Break left waiting has no next one: its own picture replaces the file as any
    // cycle's does, and a note from before is of another file.
    top_->fileShownDuringRun(runGoing() ? pathText(pathFromText(name).filename()) : QString());
    layOut();
  } else
    tellFileProblem(name + QStringLiteral(":\n") + multiResultText(rc, ResultContext::Reading));
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
  if (rc == 0 && countChecked(settings_->checkList()) > 0)
    settings_->updateButton()->setVisible(true);
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
  ColorRef c = gridCellColour(settings_->colourGrid(), 0, row);
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
  if (watched == top_->copyButton() && e->type() == QEvent::MouseButtonPress) {
    CopyMUVXToClipboard(static_cast<QMouseEvent*>(e)->button());
    return true;
  }
  if (watched == im2D_) {
    const auto t = e->type();
    if (t == QEvent::Wheel) {
      auto* we = static_cast<QWheelEvent*>(e);
      const QPoint pos = we->position().toPoint();
      const QPoint d = we->angleDelta();  // Shift+wheel may come sideways
      plotWheel(we->modifiers(), pos.x(), pos.y(), d.y() != 0 ? d.y() : d.x());
      return true;
    }
    if ((t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(e)->button() == Qt::MiddleButton) {
      auto* me = static_cast<QMouseEvent*>(e);
      if (t == QEvent::MouseButtonPress) plotCursor(me->modifiers(), me->position().toPoint().x());
      return true;
    }
    if (t == QEvent::MouseButtonPress || t == QEvent::MouseMove ||
        t == QEvent::MouseButtonRelease) {
      if (coll().lastPictureShown()) return true;  // the new picture is on its way
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
  if (what & kChangedCheckList) settings_->refreshCheckList();
  if (what & kChangedColours) settings_->refreshColours();
  if (what & (kChangedStatus | kChangedRunButtons | kChangedCollectTime | kChangedCheckList))
    refreshStatus();
  if (what & kChangedStatistics) {
    top_->refreshStatistics();
    fitTopPanel();
  }
  if (what & kChangedOptions) refreshOptions();
  if (what & kChangedPlot) {
    ++plotChanges_;
    showPlot();
  }
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
  top_->saveControlsShown(on);
}

void TF_Multi_Tolvanex_Img::showPlot() {
  im2D_->setPixmap(QPixmap::fromImage(coll().image()));
}

void TF_Multi_Tolvanex_Img::refreshScaleTable() {
  settings_->refreshScaleTable();
  QStringList dornellNames;
  for (int r = 1; r < coll().rowCount(); ++r) dornellNames << coll().dornellName(r);
  dornell_->setRows(dornellNames);
}

void TF_Multi_Tolvanex_Img::refreshStatus() {
  top_->refreshStatus(runGoing());
  // The busy notice speaks of devices in runs of their own: once none is, it has no more to say.
  const auto& rows = coll().statusRows();
  if (busyNotice_ && busyNotice_->isVisible() &&
      std::none_of(rows.begin(), rows.end(), [](const MultiStatusRow& r) { return r.busy; }))
    busyNotice_->hide();
  fitTopPanel();
  // A status grid that grew or shrank with the active devices moves the pages below it.
  if (top_->height() != top_->sizeHint().height()) layOut();
  // A cycle's end reaches the window before the next cycle is scheduled: look once more when
  // the cycle's work is done, so RUN stays disabled between the cycles of a continuous run.
  if (!runButtonsRecheck_ && !runGoing()) {
    runButtonsRecheck_ = true;
    QTimer::singleShot(0, this, [this] {
      runButtonsRecheck_ = false;
      top_->refreshStatus(runGoing());
    });
  }
}

void TF_Multi_Tolvanex_Img::refreshOptions() {
  top_->refreshOptions();
  settings_->refreshVisibleMode();
  refreshingOptions_ = true;
  cbShift_->setChecked(coll().shiftByTrigger());
  refreshingOptions_ = false;
}

}  // namespace tolv
