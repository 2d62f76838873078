#include "app/tf_multitolvanexframe.h"

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <utility>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QGuiApplication>
#include <QTimer>
#include <QTreeWidget>

#include "app/filedialogdates.h"
#include "app/flagimages.h"
#include "app/framefiles.h"
#include "app/framelogic.h"
#include "app/hintswitch.h"
#include "app/messageboxsink.h"
#include "app/placement.h"
#include "app/qttexts.h"
#include "app/tf_about.h"
#include "common/paths.h"
#include "common/regional.h"
#include "common/screenplace.h"
#include "common/texttable.h"
#include "common/typedlists.h"
#include "common/version.h"
#include "devicewin/repaintpacer.h"
#include "devicewin/sheets_plots.h"
#include "devicewin/tf_onetolvanex.h"
#include "ftdi/udev_monitor.h"
#include "multi/tf_multi_tolvanex_img.h"
#include "devicewin/tf_onetolvanex_plots.h"
#include "plot/d2koord.h"

namespace tolv {

namespace {

// The smallest frame, for captions short enough.
constexpr int kFrameMinimumWidth = 473;
constexpr int kFrameMinimumHeight = 156;

QLabel* captionPanel(const QString& name, QWidget* parent, QFrame::Shadow shadow) {
  auto* l = new QLabel(parent);
  l->setObjectName(name);
  l->setFrameShape(QFrame::Panel);
  l->setFrameShadow(shadow);
  l->setAlignment(Qt::AlignCenter);
  return l;
}

QTreeWidget* reportList(const QString& name, const QStringList& heads, const QList<int>& widths,
                        QWidget* parent) {
  auto* lv = new QTreeWidget(parent);
  lv->setObjectName(name);
  lv->setRootIsDecorated(false);
  lv->setUniformRowHeights(true);
  lv->setSelectionMode(QAbstractItemView::SingleSelection);
  lv->setSelectionBehavior(QAbstractItemView::SelectRows);
  lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lv->setHeaderLabels(heads);
  // Each column at least as wide as its heading in the font in use (the widths were chosen for
  // a narrower one), and the list wide enough for all of them, a scroll bar included. The
  // stretched last column starts at its heading's width too: it never shrinks below the width
  // it has when the stretching begins.
  int all = 0;
  for (int i = 0; i < heads.size(); ++i) {
    const int w = std::max(i < widths.size() ? widths[i] : 0, lv->header()->sectionSizeHint(i));
    lv->setColumnWidth(i, w);
    all += w;
  }
  lv->header()->setStretchLastSection(true);
  // A very large font must not make the frame wider than a small screen: a third of it at most.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int most = screen ? screen->availableGeometry().width() / 3 : 100000;
  lv->setMinimumWidth(std::min(most, all + 2 * lv->frameWidth() +
                                         lv->style()->pixelMetric(QStyle::PM_ScrollBarExtent,
                                                                  nullptr, lv)));
  return lv;
}

}  // namespace

TF_MultiTolvanexFrame::TF_MultiTolvanexFrame(IFtdiDriver& driver, IMessageSink* sink,
                                             QWidget* parent)
    : QWidget(parent), driver_(driver), sink_(sink), enumeration_(driver) {
  if (!sink_) {
    ownSink_ = std::make_unique<TMessageBoxSink>(this);
    sink_ = ownSink_.get();
  }
  enumeration_.setMessageSink(sink_);
  qtTexts_ = std::make_unique<TQtTexts>();
  new TFileDialogDates(this);
  infoBox_ = [this](const QString& caption, const QString& text) {
    QMessageBox::information(this, caption, text, QMessageBox::Ok);
  };
  pacer_ = new TRepaintPacer(std::make_unique<TQtTimer>(), this);
  forms_.setFactory([this] { return makeDeviceWindow(); });
  placement_ = new TDeviceWindowPlacement(this);
  buildControls();
  formCreate();
}

TF_MultiTolvanexFrame::~TF_MultiTolvanexFrame() {
  if (relistPoll_) relistPoll_->stop();
  if (relistSoon_) relistSoon_->stop();
  for (const auto& w : ownedWindows_) w->setPresenceHook(nullptr);
  forms_.clear();
  ownedWindows_.clear();
  delete multi_;
  delete koord_;
}

TF_OneTolvanex* TF_MultiTolvanexFrame::makeDeviceWindow() {
  ownedWindows_.push_back(std::make_unique<TF_OneTolvanex>(driver_));
  // Every plot of every device window reports its measurements in the one read-out window.
  ownedWindows_.back()->plots().setCoordinateWindow(qobject_cast<TF_D2Koord*>(koord_));
  pacer_->add(ownedWindows_.back().get());
  ownedWindows_.back()->plots().sheets().setPacer(pacer_);
  return ownedWindows_.back().get();
}

int TF_MultiTolvanexFrame::frameHeight() const {
  return frameGeometry().height();
}

void TF_MultiTolvanexFrame::buildControls() {
  setObjectName(QStringLiteral("TF_MultiTolvanexFrame"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  QFont f(QStringLiteral("Tahoma"));
  f.setPointSize(8);
  setFont(f);

  pnAllFtdi_ = captionPanel(QStringLiteral("PN_All_FTDI_Devices"), this, QFrame::Raised);
  lvDevices_ = reportList(QStringLiteral("LV_Devices"),
                          {QStringLiteral("Dev. Nr."), QStringLiteral("Ser. Nr."),
                           QStringLiteral("Device Description")},
                          {66, 80, 122}, this);
  lvDevices_->setFocusPolicy(Qt::NoFocus);
  pnTolvanexScopes_ = captionPanel(QStringLiteral("PN_TolvanexScopes"), this, QFrame::Raised);
  lvTolvanexs_ =
      reportList(QStringLiteral("LV_Tolvanexs"),
                 {QStringLiteral("Ser. Nr."), QStringLiteral("Nr."), QStringLiteral("Status")},
                 {66, 35}, this);
  // The never-filled "Status" column takes what is left instead of forcing a scroll bar.
  lvTolvanexs_->header()->setMinimumSectionSize(16);
  lvTolvanexs_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lvTolvanexs_->viewport()->installEventFilter(this);

  bnCascade_ = new QPushButton(this);
  bnCascade_->setObjectName(QStringLiteral("BN_Cascade"));
  bnCascade_->setVisible(false);
  connect(bnCascade_, &QPushButton::clicked, this, [this] { BN_CascadeClick(); });

  bnMultiScope_ = captionPanel(QStringLiteral("BN_MultiScopeWindow"), this, QFrame::Raised);
  bnMultiScope_->setCursor(Qt::PointingHandCursor);
  bnMultiScope_->installEventFilter(this);

  imGerman_ = new QLabel(this);
  imGerman_->setObjectName(QStringLiteral("IM_German"));
  imGerman_->setPixmap(germanFlag(24, 15));
  imGerman_->setCursor(Qt::PointingHandCursor);
  imGerman_->installEventFilter(this);
  imEnglish_ = new QLabel(this);
  imEnglish_->setObjectName(QStringLiteral("IM_English"));
  imEnglish_->setPixmap(englishFlag(24, 15));
  imEnglish_->setCursor(Qt::PointingHandCursor);
  imEnglish_->installEventFilter(this);

  cbShowHints_ = new QCheckBox(this);
  cbShowHints_->setObjectName(QStringLiteral("CB_ShowHints"));
  cbShowHints_->setChecked(true);
  connect(cbShowHints_, &QCheckBox::clicked, this, [this] { CB_ShowHintsClick(); });

  pnDecimal_ = captionPanel(QStringLiteral("PN_DecimalSeparator"), this, QFrame::Plain);
  pnDecimal_->setFrameShape(QFrame::NoFrame);
  pnDecimal_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  cbDecimal_ = new QComboBox(this);
  cbDecimal_->setObjectName(QStringLiteral("CB_DecimalSeparator"));
  cbDecimal_->addItems({QString(), QString()});
  connect(cbDecimal_, &QComboBox::activated, this,
          [this](int item) { CB_DecimalSeparatorChange(item); });
  pnColumn_ = captionPanel(QStringLiteral("PN_ColumnSeparator"), this, QFrame::Plain);
  pnColumn_->setFrameShape(QFrame::NoFrame);
  pnColumn_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  cbColumn_ = new QComboBox(this);
  cbColumn_->setObjectName(QStringLiteral("CB_ColumnSeparator"));
  cbColumn_->addItems({QString(), QString(), QString(), QString(), QString()});
  // The items change with the language ("Dot" / "Punkt"): the boxes follow their widest one
  // rather than keeping the width of the texts they first showed.
  for (QComboBox* c : {cbDecimal_, cbColumn_}) c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  connect(cbColumn_, &QComboBox::activated, this,
          [this](int item) { CB_ColumnSeparatorChange(item); });

  pnCopyright_ = captionPanel(QStringLiteral("PN_Copyright"), this, QFrame::Sunken);
  pnCopyright_->setText(versionInfo().legalCopyright + QStringLiteral("  \u00B7  ") +
                        versionInfo().productName + QLatin1Char(' ') + versionInfo().fileVersion);
  pnCopyright_->setCursor(Qt::PointingHandCursor);
  pnCopyright_->installEventFilter(this);

  bootTimer_ = new QTimer(this);
  bootTimer_->setObjectName(QStringLiteral("TM_Boot"));
  bootTimer_->setInterval(kBootInterval);
  bootTimer_->setSingleShot(false);
  connect(bootTimer_, &QTimer::timeout, this, [this] { TM_BootTimer(); });

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setHorizontalSpacing(3);
  grid->setVerticalSpacing(2);
  grid->addWidget(pnAllFtdi_, 0, 0);
  grid->addWidget(pnTolvanexScopes_, 0, 1);
  grid->addWidget(lvDevices_, 1, 0);
  grid->addWidget(lvTolvanexs_, 1, 1);
  grid->setRowStretch(1, 1);
  grid->setColumnStretch(0, 272);
  grid->setColumnStretch(1, 197);

  auto* left = new QHBoxLayout;
  left->setSpacing(4);
  left->addWidget(imGerman_);
  left->addWidget(imEnglish_);
  left->addWidget(cbShowHints_);
  left->addStretch(1);
  left->addWidget(pnDecimal_);
  left->addWidget(cbDecimal_);
  grid->addLayout(left, 2, 0);
  auto* right = new QHBoxLayout;
  right->setSpacing(4);
  right->addWidget(bnMultiScope_, 1);
  grid->addLayout(right, 2, 1);

  auto* left2 = new QHBoxLayout;
  left2->setSpacing(4);
  left2->addStretch(1);
  left2->addWidget(pnColumn_);
  left2->addWidget(cbColumn_);
  grid->addLayout(left2, 3, 0);
  grid->addWidget(bnCascade_, 3, 1);
  grid->addWidget(pnCopyright_, 4, 0, 1, 2);

  // The lists' columns decide where the font in use is wider than the one sized for.
  const int wide = layout()->minimumSize().width();
  setMinimumSize(std::max(kFrameMinimumWidth, wide), kFrameMinimumHeight);
  resize(std::max(475, wide), 154);
}

// Step A.
void TF_MultiTolvanexFrame::formCreate() {
  // A.1: the device-window list exists with the frame (forms_).
  // A.2
  multi_ = new TF_Multi_Tolvanex_Img;
  multi_->setDeviceWindows(&forms_);
  koord_ = new TF_D2Koord;
  multi_->setCoordinateWindow(static_cast<TF_D2Koord*>(koord_));
  // Showing the multi-device window before anything is active continues the boot sequence.
  multi_->setBootRequest([this] {
    // Shown before the first step has filled it: that step must still run, then activate.
    if (bootStep_ == 0) {
      activateAfterFirstStep_ = true;
      return;
    }
    bootStep_ = 1;
    bootTimer_->start();
  });
  // A.3
  initFolders();
  loadTextsAtStart(dataRoot());
  // A.4
  move(2, 2);
  // A.5
  bootResult_ = scanFtdi();
  if (bootResult_ != 0)
    bootTimer_->start();
  else
    bootResult_ = buildDeviceWindows();
  // A.6
  restoreWindowPositions();
  restoreGlobalSettings();
  keepOnScreen();
  // A.7
  multi_->applyTexts();
}

// Step B1.
int TF_MultiTolvanexFrame::scanFtdi() {
  lvDevices_->clear();
  std::vector<FtdiDeviceRow> rows;
  enumeration_.GetFTDeviceCount();
  const std::uint32_t n = enumeration_.deviceCount();
  setWindowTitle(ftdiCountCaption(n));
  if (n == 0) return kNoDeviceFound;
  for (std::uint32_t i = 0; i < n; ++i) {
    auto* item = new QTreeWidgetItem(lvDevices_);
    item->setText(0, text(225) + QLatin1Char(' ') + QString::number(i + 1));
    enumeration_.GetFTDeviceSerialNo(i);
    item->setText(1, enumeration_.lastText());
    enumeration_.GetFTDeviceDescription(i);
    item->setText(2, enumeration_.lastText());
  }
  return 0;
}

// Step B2.
int TF_MultiTolvanexFrame::buildDeviceWindows() {
  lvTolvanexs_->clear();
  for (int i = 0; i < lvDevices_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = lvDevices_->topLevelItem(i);
    if (!isFamilyDescription(row->text(2))) continue;
    addDeviceWindow(row->text(1), i);
  }
  const int rows = lvTolvanexs_->topLevelItemCount();
  bnCascade_->setVisible(rows > 1);
  QCoreApplication::processEvents();
  bootTimer_->start();
  return rows == 0 ? kNoDeviceFound : 0;
}

TF_OneTolvanex* TF_MultiTolvanexFrame::addDeviceWindow(const QString& serial, int i) {
  auto* item = new QTreeWidgetItem(lvTolvanexs_);
  item->setText(0, serial);
  item->setText(1, QString::number(i + 1));
  TF_OneTolvanex* w = forms_.createDeviceWindow();
  if (!w) return nullptr;
  w->setCaption(deviceWindowCaption(serial, static_cast<std::uint32_t>(i)));
  w->setSerialNumber(serial);
  w->open();
  placement_->place(w, lvTolvanexs_->topLevelItemCount());
  // Its number is its own while it exists, whatever place its device takes in the list later.
  const int number = numbers_.take(i);
  w->setDeviceIndex(number);
  connect(w, &QObject::destroyed, this, [this, number] { numbers_.release(number); });
  w->setPresenceHook([this, w] {
    showDeviceStatus(w);
    // A window that found its device gone by itself has it listed again soon if it was only
    // pulled and plugged back quickly: a listing then reconnects it.
    // Never at once: the window is still inside the call that failed.
    if (w->isLost() && !relisting_ && !shutDownDone_ && relistSoon_) relistSoon_->start();
  });
  showDeviceStatus(w);
  w->show();
  return w;
}

void TF_MultiTolvanexFrame::collectWindowPositions(QStringList& lines) const {
  lines << windowTitle() << QString::number(x()) << QString::number(y());
  static_cast<TF_D2Koord*>(koord_)->SavePosition(lines);
  multi_->savePositionLines(lines);
}

// Every value of a position file is checked before any window moves, so a damaged file leaves
// all windows where they are.
bool TF_MultiTolvanexFrame::positionsReadable(const QStringList& lines) const {
  auto isInt = [&](int i) {
    bool ok = false;
    const int v = lines.value(i).trimmed().toInt(&ok);
    return ok && v > -100000 && v < 100000;
  };
  if (lines.size() < 6 || !isInt(1) || !isInt(2) || !isInt(4) || !isInt(5)) return false;
  QStringList rest = lines.mid(6);
  return multi_->loadPositionLines(rest, false) == 0;
}

void TF_MultiTolvanexFrame::restoreWindowPositions() {
  const std::filesystem::path name = multiFolder() / kPositionFileName;
  QStringList live;
  collectWindowPositions(live);
  QStringList file;
  const int rc = readPositionFile(name, file);
  if (rc != 0 || file.size() != live.size() || !positionsReadable(file)) {
    writePositionFile(name, live);
    return;
  }
  file.removeFirst();
  const int left = file.takeFirst().trimmed().toInt();
  const int top = file.takeFirst().trimmed().toInt();
  move(left, top);
  static_cast<TF_D2Koord*>(koord_)->LoadPosition(file);
  multi_->loadPositionLines(file);
  const QList<QRect> screens = usableScreenAreas();
  // Sizes first, before anything is laid out or drawn at the size the file asked for.
  multi_->resize(fitOnScreens(multi_->pos(), multi_->size(), screens));
  multi_->move(placeOnScreens(multi_->pos(), multi_->size(), screens));
}

void TF_MultiTolvanexFrame::keepOnScreen() {
  // Placed once its language has laid it out, at the size it will show, with the title bar the
  // window manager adds above it: a place from a larger screen keeps its lower rows in sight.
  const QList<QRect> screens = usableScreenAreas();
  if (screens.isEmpty()) return;
  if (layout()) layout()->activate();
  const QSize outer = size().expandedTo(minimumSizeHint()) +
                      QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight));
  move(keptOnScreens(QRect(pos(), outer), QMargins(), screens).topLeft());
}

void TF_MultiTolvanexFrame::writeWindowPositions() {
  QStringList live;
  collectWindowPositions(live);
  writePositionFile(multiFolder() / kPositionFileName, live);
}

void TF_MultiTolvanexFrame::restoreGlobalSettings() {
  // Until settings are saved, the system's language and decimal mark are the defaults.
  const GlobalSettings first = firstStartSettings(regional());
  GlobalSettings s = first;
  const auto apply = [this](const GlobalSettings& g) {
    setLanguage(g.language);
    setHints(g.hints);
    setSeparators(g.decimal, g.column);
  };
  apply(s);
  const std::filesystem::path name = multiFolder() / kGlobalSettingsFileName;
  if (readGlobalSettingsFile(name, s) != 0) {
    apply(first);
    writeGlobalSettingsFile(name, first);
    return;
  }
  apply(s);
}

void TF_MultiTolvanexFrame::writeGlobalSettings() {
  GlobalSettings s;
  s.language = language_;
  s.hints = hints_;
  s.decimal = decimalSeparator_;
  s.column = columnSeparator_;
  writeGlobalSettingsFile(multiFolder() / kGlobalSettingsFileName, s);
}

void TF_MultiTolvanexFrame::chooseLanguage(int index) {
  setLanguage(index);
  writeGlobalSettings();
}

void TF_MultiTolvanexFrame::setLanguage(int index) {
  language_ = (index >= 0 && index <= 2) ? index : 0;
  applyTexts();
}

void TF_MultiTolvanexFrame::setHints(bool on) {
  hints_ = on;
  THintSwitch::instance().setEnabled(on);
  cbShowHints_->setChecked(on);
}

bool TF_MultiTolvanexFrame::setDecimalSeparator(QChar c) {
  if (separatorsClash(c, columnSeparator_)) {
    // The drop-down goes back to the separator in force.
    const int kept = decimalSeparatorItem(decimalSeparator_);
    if (kept >= 0) cbDecimal_->setCurrentIndex(kept);
    return false;
  }
  decimalSeparator_ = c;
  setDecimalSeparatorSetting(c);
  const int item = decimalSeparatorItem(c);
  if (item >= 0) cbDecimal_->setCurrentIndex(item);
  return true;
}

bool TF_MultiTolvanexFrame::setColumnSeparator(QChar c) {
  if (separatorsClash(decimalSeparator_, c)) {
    const int kept = columnSeparatorItem(columnSeparator_);
    if (kept >= 0) cbColumn_->setCurrentIndex(kept);
    return false;
  }
  columnSeparator_ = c;
  setColumnSeparatorSetting(c);
  const int item = columnSeparatorItem(c);
  if (item >= 0) cbColumn_->setCurrentIndex(item);
  return true;
}

void TF_MultiTolvanexFrame::setSeparators(QChar decimal, QChar column) {
  // A settings file written before the pair was checked must not write such files again.
  if (separatorsClash(decimal, column)) column = columnSeparatorBesides(decimal);
  // Through a separator that clashes with neither, so the order of the two steps never matters.
  columnSeparator_ = columnSeparatorBesides(decimal);
  setDecimalSeparator(decimal);
  setColumnSeparator(column);
}

void TF_MultiTolvanexFrame::CB_ShowHintsClick() {
  if (cbShowHints_->isChecked() == hints_) return;
  setHints(cbShowHints_->isChecked());
  writeGlobalSettings();
}

void TF_MultiTolvanexFrame::CB_DecimalSeparatorChange(int item) {
  const QChar c = decimalSeparatorOfItem(item);
  if (c.isNull()) return;
  if (setDecimalSeparator(c))
    writeGlobalSettings();
  else
    sink_->error(text(3), separatorClashText(c));
}

void TF_MultiTolvanexFrame::CB_ColumnSeparatorChange(int item) {
  const QChar c = columnSeparatorOfItem(item);
  if (c.isNull()) return;
  if (setColumnSeparator(c))
    writeGlobalSettings();
  else
    sink_->error(text(5), separatorClashText(c));
}

// Every device window, hidden ones included: a window closed while its device measures is
// found again here.
void TF_MultiTolvanexFrame::BN_CascadeClick() {
  QList<QRect> places;
  for (int i = 0; i < forms_.count(); ++i) {
    TF_OneTolvanex* w = forms_.get(i);
    if (!w) continue;
    w->restoreDefaultSize();
    // On a low screen the windows get lower and the steps shorter, each title bar in sight
    // (all windows are of one size and one frame).
    if (places.isEmpty()) {
      const QScreen* sc = screen();
      const QSize outer = outerSize(*w);
      const int frame = outer.height() - w->height();
      places = cascadeWindowRects(forms_.count(), frameHeight(), outer, w->minimumHeight() + frame,
                                  frame, sc ? sc->availableGeometry() : QRect());
    }
    const QRect& at = places[i];
    w->resize(w->width(), at.height() - (outerSize(*w).height() - w->height()));
    w->move(at.topLeft());
    bringUpDeviceWindow(i);
  }
}

// Always brings the window up, as it is and where it can be reached: a toggle hid a window
// that lay behind others, and a hidden window cannot show or stop its run.
void TF_MultiTolvanexFrame::BN_MultiScopeWindowClick() {
  const QList<QRect> screens = usableScreenAreas();
  // By its outer size: a window not mapped yet has no frame, its title bar is allowed for.
  QSize extra = multi_->frameGeometry().size() - multi_->size();
  if (extra.isNull()) extra = QSize(0, multi_->style()->pixelMetric(QStyle::PM_TitleBarHeight));
  // Only what must change: a window never placed is left to the window manager's placement.
  const QSize outer = fitOnScreens(multi_->pos(), multi_->size() + extra, screens);
  if (outer - extra != multi_->size()) multi_->resize(outer - extra);
  const QPoint at = placeOnScreens(multi_->pos(), outer, screens);
  if (at != multi_->pos()) multi_->move(at);
  multi_->bringUp();
}

void TF_MultiTolvanexFrame::LV_TolvanexsMouseUp(int row) {
  if (row < 0) return;
  TF_OneTolvanex* w = forms_.get(row);
  if (!w) return;
  w->setWindowState(w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
  w->setVisible(!w->isVisible());
  QCoreApplication::processEvents();
  // The window may have gone while events ran.
  w = forms_.get(row);
  if (w && w->isVisible()) {
    w->raise();
    w->activateWindow();
  }
}

void TF_MultiTolvanexFrame::LV_TolvanexsDblClick(int row) {
  dblClickRelease_ = true;
  if (row >= 0) bringUpDeviceWindow(row);
}

void TF_MultiTolvanexFrame::bringUpDeviceWindow(int row) {
  TF_OneTolvanex* w = forms_.get(row);
  if (!w) return;
  w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
  w->show();
  w->raise();
  w->activateWindow();
}

QString TF_MultiTolvanexFrame::versionBoxText() {
  return labelledVersionText(versionInfo(), text(kTextAboutLine));
}

void TF_MultiTolvanexFrame::showAbout() {
  if (!about_) return;
  if (auto* a = qobject_cast<TF_About*>(about_)) a->applyTexts();
  // By its outer size: before it is first mapped it has no frame, its title bar is allowed for.
  QSize extra = about_->frameGeometry().size() - about_->size();
  if (extra.isNull()) extra = QSize(0, about_->style()->pixelMetric(QStyle::PM_TitleBarHeight));
  const QScreen* sc = screen();
  const QRect area = sc ? sc->availableGeometry() : QRect();
  about_->move(centredOnScreen(frameGeometry(), about_->size() + extra, area));
  about_->show();
  about_->raise();
}

void TF_MultiTolvanexFrame::PN_CopyrightMouseDown(Qt::MouseButton button) {
  if (button == Qt::RightButton) {
    if (infoBox_) infoBox_(versionInfo().productName, versionBoxText());
    return;
  }
  showAbout();
}

// One step per tick; each step re-arms the timer only when the next one is to follow.
void TF_MultiTolvanexFrame::TM_BootTimer() {
  bootTimer_->stop();
  switch (bootStep_) {
    case 0:
      bootStep_ = 1;
      placement_->settle();
      multi_->fillFromDeviceWindows();
      if (!activateAfterFirstStep_) multi_->setShown(false);
      multi_->setDataFileFolder(multiFolder());
      setBootingFlag(false);
      multi_->layOut();
      multi_->prepareEmptyPlot();
      if (multi_->autostart() || activateAfterFirstStep_) bootTimer_->start();
      THintSwitch::instance().setHidePause(kHintHidePauseMs);
      if (std::exchange(relistAfterBoot_, false)) devicesChanged();
      break;
    case 1:
      if (multi_->activateCheckedDevices() != 0) break;
      bootStep_ = 2;
      bootTimer_->start();
      break;
    case 2:
      if (multi_->switchActiveToScopeMode() != 0) break;
      multi_->setShown(true);
      bootStep_ = 3;
      bootTimer_->start();
      break;
    case 3:
      if (multi_->autostart()) multi_->startRun();
      break;
    default:
      break;
  }
}

void TF_MultiTolvanexFrame::applyTexts() {
  setLanguageIndex(language_);
  qtTexts_->apply(language_);
  pnAllFtdi_->setText(text(24));
  pnTolvanexScopes_->setText(text(29));
  lvTolvanexs_->setToolTip(hintText(wrappedText(97)));
  bnCascade_->setText(text(25));
  bnCascade_->setToolTip(text(26));
  bnMultiScope_->setText(text(27));
  bnMultiScope_->setToolTip(hintText(wrappedText(28)));
  cbShowHints_->setText(text(95));
  cbShowHints_->setToolTip(hintText(wrappedText(96)));
  pnDecimal_->setText(text(3));
  cbDecimal_->setPlaceholderText(framedText(text(3)));
  for (int i = 0; i < 2; ++i) cbDecimal_->setItemText(i, text(kDecimalItemTextIds[i]));
  pnColumn_->setText(text(5));
  cbColumn_->setPlaceholderText(framedText(text(5)));
  for (int i = 0; i < 5; ++i) cbColumn_->setItemText(i, text(kColumnItemTextIds[i]));
  pnCopyright_->setToolTip(hintText(wrappedText(98)));
  // The device rows keep their numbers; the word before them follows the language.
  for (int i = 0; i < lvDevices_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = lvDevices_->topLevelItem(i);
    const QString t = row->text(0);
    row->setText(0, text(225) + t.mid(t.lastIndexOf(QLatin1Char(' '))));
  }
  for (int i = 0; i < forms_.count(); ++i)
    if (TF_OneTolvanex* w = forms_.get(i)) {
      w->applyTexts();
      showDeviceStatus(w);
    }
  if (multi_) multi_->applyTexts();
  if (auto* a = qobject_cast<TF_About*>(about_)) a->applyTexts();
  // The captions of this language decide how narrow the frame may be: a frame kept at the width
  // of shorter ones squeezes its drop-downs and cuts their items ("Punk" for "Punkt").
  for (QComboBox* c : {cbDecimal_, cbColumn_}) c->setMinimumWidth(c->sizeHint().width());
  layout()->activate();  // the rows' own layouts add up their new widths only when activated
  const QSize need = layout()->minimumSize();
  setMinimumSize(std::max(kFrameMinimumWidth, need.width()),
                 std::max(kFrameMinimumHeight, need.height()));
}

// Step D.
void TF_MultiTolvanexFrame::formCloseQuery() {
  if (shutDownDone_) return;
  shutDownDone_ = true;
  bootTimer_->stop();
  if (relistPoll_) relistPoll_->stop();
  if (relistSoon_) relistSoon_->stop();
  // A continuous multi-device run must not start the devices again while they shut down.
  multi_->endRunForShutDown();
  writeGlobalSettings();
  writeWindowPositions();
  forms_.shutDown();
  forms_.closeAll();
  multi_->close();
  koord_->close();
}

void TF_MultiTolvanexFrame::closeEvent(QCloseEvent* e) {
  formCloseQuery();
  QWidget::closeEvent(e);
  emit frameClosed();
}

bool TF_MultiTolvanexFrame::event(QEvent* e) {
  if (e->type() == static_cast<QEvent::Type>(kCloseMessage)) {
    close();
    return true;
  }
  return QWidget::event(e);
}

void TF_MultiTolvanexFrame::mousePressEvent(QMouseEvent* e) {
  // FormClick: a click on the frame itself brings the multi-device window forward.
  if (multi_ && multi_->isVisible()) multi_->raise();
  QWidget::mousePressEvent(e);
}

bool TF_MultiTolvanexFrame::eventFilter(QObject* watched, QEvent* e) {
  if ((e->type() == QEvent::MouseButtonRelease || e->type() == QEvent::MouseButtonDblClick) &&
      watched == lvTolvanexs_->viewport()) {
    auto* me = static_cast<QMouseEvent*>(e);
    QTreeWidgetItem* item = lvTolvanexs_->itemAt(me->position().toPoint());
    const int row = item ? lvTolvanexs_->indexOfTopLevelItem(item) : -1;
    if (e->type() == QEvent::MouseButtonDblClick)
      LV_TolvanexsDblClick(row);
    else if (dblClickRelease_)
      dblClickRelease_ = false;
    else
      LV_TolvanexsMouseUp(row);
    return false;
  }
  if (watched == pnCopyright_ && (e->type() == QEvent::Enter || e->type() == QEvent::Leave)) {
    // While the pointer is over the about panel the idle handler leaves the cursor alone.
    if (TIdleObject* idle = idleObject()) idle->SetPointerOverAbout(e->type() == QEvent::Enter);
    return false;
  }
  if (e->type() == QEvent::MouseButtonPress) {
    auto* me = static_cast<QMouseEvent*>(e);
    if (watched == imGerman_) {
      IM_GermanClick();
      return true;
    }
    if (watched == imEnglish_) {
      IM_EnglishClick();
      return true;
    }
    if (watched == bnMultiScope_) {
      BN_MultiScopeWindowClick();
      return true;
    }
    if (watched == pnCopyright_) {
      PN_CopyrightMouseDown(me->button());
      return true;
    }
  }
  return QWidget::eventFilter(watched, e);
}

}  // namespace tolv
