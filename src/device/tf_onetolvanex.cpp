#include "device/tf_onetolvanex.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>
#include <system_error>

#include "common/paths.h"
#include "common/texttable.h"
#include "device/tf_onetolvanex_linkpanel.h"

namespace tolv {

namespace {

// Tab sheets of the page control with the text id of their caption, in page order.
struct SheetDef {
  const char* name;
  int textId;
};
constexpr SheetDef kSheets[] = {
    {"TSH_VMXY_DataImage", 182},     {"TSH_Scope_Controls", 194}, {"TSH_ScopeImage", 206},
    {"TSH_LogicAnalyzerImage", 207}, {"TSH_DLA0_DataImage", 210}, {"TSH_DLDI_DataImage", 212},
};

// File-system result of making one folder: 0, or 3 when it cannot be made.
int makeFolder(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::create_directories(p, ec);
  if (std::filesystem::is_directory(p, ec)) return 0;
  return 3;
}

}  // namespace

TF_OneTolvanex::TF_OneTolvanex(IFtdiDriver& driver, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(std::make_unique<TDeviceLink>(driver)) {
  setObjectName(QStringLiteral("TF_OneTolvanex"));
  setAttribute(Qt::WA_QuitOnClose, false);

  // Top: the run and queue controls of the acquisition cycle go here.
  runControls_ = new QFrame(this);
  runControls_->setObjectName(QStringLiteral("PN_CoolBar"));
  runControls_->setFrameShape(QFrame::StyledPanel);
  runControls_->setMinimumHeight(34);
  auto* runLay = new QHBoxLayout(runControls_);
  runLay->setContentsMargins(4, 2, 4, 2);
  runLay->addStretch(1);

  // Left: the settings panel; right: the page control with the data and settings sheets.
  parms_ = new QFrame(this);
  parms_->setObjectName(QStringLiteral("PN_Parms"));
  parms_->setFrameShape(QFrame::StyledPanel);
  parms_->setFixedWidth(260);
  auto* parmsLay = new QVBoxLayout(parms_);
  parmsLay->setContentsMargins(4, 4, 4, 4);
  parmsLay->addStretch(1);

  pageControl_ = new QTabWidget(this);
  pageControl_->setObjectName(QStringLiteral("PC_1"));
  for (const SheetDef& s : kSheets) {
    auto* page = new QWidget(pageControl_);
    page->setObjectName(QString::fromLatin1(s.name));
    pageControl_->addTab(page, QString());
    if (s.textId == 194) scopeControlsPage_ = page;
  }

  linkPanel_ = new TOneTolvanexLinkPanel(this);

  auto* mid = new QHBoxLayout;
  mid->setContentsMargins(0, 0, 0, 0);
  mid->setSpacing(3);
  mid->addWidget(parms_);
  mid->addWidget(pageControl_, 1);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(3, 3, 3, 3);
  lay->setSpacing(3);
  lay->addWidget(runControls_);
  lay->addLayout(mid, 1);
  lay->addWidget(linkPanel_);

  link_->setChangeCallback([this](TDeviceLink::Change c) { linkChanged(c); });
  resize(kDefaultWidth, kDefaultHeight);
  applyTexts();
  renewCaption();
}

TF_OneTolvanex::~TF_OneTolvanex() {
  // The link must not call back into a half-destroyed window.
  link_->setChangeCallback(nullptr);
  link_->close();
}

void TF_OneTolvanex::setCaption(const QString& caption) {
  frameCaption_ = caption;
  setWindowTitle(caption);
}

QString TF_OneTolvanex::captionText() const {
  return QStringLiteral("Gerät %1: %2 Ser. Nr.: %3")
      .arg(static_cast<qint64>(deviceIndex_) + 1)
      .arg(identification_, link_->serialNumber());
}

void TF_OneTolvanex::renewCaption() {
  setWindowTitle(captionText());
}

void TF_OneTolvanex::setSerialNumber(const QString& serial) {
  link_->setSerialNumber(serial);
  renewCaption();
}

void TF_OneTolvanex::setIdentification(const QString& identification) {
  identification_ = identification;
  renewCaption();
}

void TF_OneTolvanex::setDeviceIndex(int index) {
  deviceIndex_ = index;
  renewCaption();
}

std::filesystem::path TF_OneTolvanex::lastSettingsPath() const {
  if (deviceFolder_.empty()) return {};
  return deviceFolder_ / "LastSettings.VXS";
}

int TF_OneTolvanex::prepareFolders() {
  // A serial number that would leave the data root (empty, "..", separators) gets no folder.
  const QString serial = link_->serialNumber();
  if (serial.isEmpty() || serial == QLatin1String(".") || serial == QLatin1String("..") ||
      serial.contains(QLatin1Char('/')) || serial.contains(QLatin1Char('\\')) ||
      serial.contains(QChar(0)))
    return 3;
  deviceFolder_ = dataRoot() / pathFromText(serial);
  int result = makeFolder(deviceFolder_);
  for (const char* sub : kIntermediateFolders) {
    const int r = makeFolder(deviceFolder_ / sub);
    if (result == 0) result = r;
  }
  return result;
}

int TF_OneTolvanex::open() {
  // The forced-sample-time flag of the settings model is cleared here once that model is wired.
  const FtStatus st = link_->open();
  if (st != kFtOk) return static_cast<int>(st);
  const int folders = prepareFolders();
  // Without a restore step the window works with default settings, as for a new device.
  const int restored = settingsRestore_ ? settingsRestore_(lastSettingsPath()) : 2;
  if (restored == 0 && identificationRequest_) identificationRequest_();
  return folders != 0 ? folders : restored;
}

FtStatus TF_OneTolvanex::closeLink() {
  return link_->close();
}

bool TF_OneTolvanex::closeQuery() {
  if (closeSteps_) closeSteps_();
  closeLink();
  return true;
}

void TF_OneTolvanex::closeEvent(QCloseEvent* event) {
  closeQuery();
  event->accept();
}

void TF_OneTolvanex::restoreDefaultSize() {
  resize(kDefaultWidth, kDefaultHeight);
}

void TF_OneTolvanex::applyTexts() {
  for (int i = 0; i < pageControl_->count(); ++i) {
    const int id = kSheets[i].textId;
    pageControl_->setTabText(i, text(id));
  }
}

void TF_OneTolvanex::linkChanged(TDeviceLink::Change change) {
  switch (change) {
    case TDeviceLink::Change::ReadPanel:
    case TDeviceLink::Change::Opened:
      linkPanel_->showReadState(link_->readPanel(), link_->readPanelStatus());
      break;
    case TDeviceLink::Change::WritePanel:
      linkPanel_->showWriteState(link_->writePanel(), link_->writePanelStatus());
      break;
    case TDeviceLink::Change::TestLine:
      linkPanel_->showTestLine(link_->testLine());
      break;
    case TDeviceLink::Change::Serial:
    case TDeviceLink::Change::Closed:
      break;
  }
}

}  // namespace tolv
