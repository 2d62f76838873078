#include "devicewin/panel_files.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>

#include "common/paths.h"
#include "common/texttable.h"
#include "devicewin/panel_scopecontrols_widgets.h"
#include "measure/export_stored.h"
#include "measure/measurecodes.h"
#include "measure/recordfiles.h"
#include "measure/storedfile.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

// A number typed above the maximum is let through while typing, so Enter snaps it back to the
// maximum and shows that file, rather than the key being swallowed.
class TNumberSpin : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QValidator::State validate(QString& input, int& pos) const override {
    const QValidator::State s = QSpinBox::validate(input, pos);
    bool ok = false;
    const int v = input.trimmed().toInt(&ok);
    return s == QValidator::Invalid && ok && v > maximum() ? QValidator::Intermediate : s;
  }
  void fixup(QString& input) const override {
    bool ok = false;
    const int v = input.trimmed().toInt(&ok);
    if (ok) input = QString::number(std::clamp(v, minimum(), maximum()));
  }
};

QString code(IntermediateFamily f) {
  return QString::fromLatin1(familyCode(f));
}

// "Caption|*.EXT" as the dialogs of this program state filters, in Qt's form.
// The folder a save dialog opens in for an automatic name: its day folder, made when missing
// (the automatic saves of the day go there too); a dialog given a folder that is not there
// would open somewhere else. The nearest folder that exists when it cannot be made.
QString offeredFolder(const fs::path& automaticName) {
  fs::path folder = automaticName.parent_path();
  std::error_code ec;
  fs::create_directories(folder, ec);
  while (!folder.empty() && !fs::is_directory(folder, ec) && folder != folder.parent_path())
    folder = folder.parent_path();
  return pathText(folder);
}

QString qtFilter(const QString& caption, const QString& pattern) {
  return caption + QStringLiteral(" (") + pattern + QLatin1Char(')');
}

}  // namespace

// --- Qt dialogs ----------------------------------------------------------------------------

QString TQtFileDialogs::saveFileName(const QString& name, const QString& folder,
                                     const QString& file, const QString& filter,
                                     const QString& defaultSuffix) {
  QFileDialog d(parent_, QString(), folder, filter);
  d.setObjectName(name);
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setDefaultSuffix(defaultSuffix);
  if (!file.isEmpty()) d.selectFile(file);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
  return d.selectedFiles().first();
}

QString TQtFileDialogs::openFileName(const QString& name, const QString& folder,
                                     const QString& filter) {
  QFileDialog d(parent_, QString(), folder, filter);
  d.setObjectName(name);
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(QFileDialog::ExistingFile);
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
  return d.selectedFiles().first();
}

bool TQtFileDialogs::confirm(const QString& text) {
  return QMessageBox::question(parent_, QApplication::applicationName(), text,
                               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

void TQtFileDialogs::warn(const QString& text) {
  QMessageBox::warning(parent_, QApplication::applicationName(), text);
}

// --- Panel ---------------------------------------------------------------------------------

TFilePanel::TFilePanel(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PN_Files"));
  auto* lay = new QHBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(4);
  button_ = new QToolButton(this);
  button_->setObjectName(QStringLiteral("BBN_Popup_SaveLoad"));
  button_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
  button_->setIconSize(QSize(20, 20));
  lay->addWidget(button_);
  connect(button_, &QToolButton::clicked, this, [this] { popup(); });
  buildMenu();
  auto* save = new QGroupBox(this);
  save->setObjectName(QStringLiteral("GB_AutoSave"));
  auto* sl = new QHBoxLayout(save);
  sl->setContentsMargins(4, 0, 4, 0);
  const char* names[3] = {"RB_AutoSave_OFF", "RB_AutoSave_CSV", "RB_AutoSave_BIN"};
  for (int i = 0; i < 3; ++i) {
    autoSave_[std::size_t(i)] = new QRadioButton(save);
    autoSave_[std::size_t(i)]->setObjectName(QString::fromLatin1(names[i]));
    sl->addWidget(autoSave_[std::size_t(i)]);
    connect(autoSave_[std::size_t(i)], &QRadioButton::toggled, this, [this](bool on) {
      if (on && autoSaveChanged_) autoSaveChanged_();
    });
  }
  autoSave_[0]->setChecked(true);
  // BIN keeps its room while hidden (voltmeter modes): the radios and the buttons beside the
  // group stay where they were, so a click aimed at CSV does not hit the next button.
  QSizePolicy keepRoom = autoSave_[2]->sizePolicy();
  keepRoom.setRetainSizeWhenHidden(true);
  autoSave_[2]->setSizePolicy(keepRoom);
  connect(autoSave_[2], &QRadioButton::toggled, this, [this] { showAutoSaveBin(binOffered_); });
  lay->addWidget(save);
  buildBoxes();
  lay->addStretch(1);
  applyTexts();
}

TFilePanel::~TFilePanel() = default;

QScrollArea* TFilePanel::inScrollArea(QWidget* parent) {
  auto* scroll = new QScrollArea(parent);
  scroll->setObjectName(QStringLiteral("SB_Files"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll->setWidgetResizable(true);
  auto* panel = new TFilePanel;
  scroll->setWidget(panel);
  scroll->setFixedHeight(panel->sizeHint().height() +
                         scroll->horizontalScrollBar()->sizeHint().height());
  scroll->setMinimumWidth(28);  // the popup button at least
  scroll->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  return scroll;
}

void TFilePanel::buildMenu() {
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("POPMEN_File"));
  const auto add = [this](const char* name) {
    QAction* a = menu_->addAction(QString());
    a->setObjectName(QString::fromLatin1(name));
    a->setEnabled(false);
    return a;
  };
  saveSettingsAs_ = add("POPMEN_SaveSettingsAs");
  loadSettings_ = add("POPMEN_LoadSettings");
  saveSettings_ = add("POPMEN_SaveSettings");
  connect(saveSettingsAs_, &QAction::triggered, this, [this] {
    if (onSaveAs_) onSaveAs_();
  });
  connect(loadSettings_, &QAction::triggered, this, [this] {
    if (onLoad_) onLoad_();
  });
  connect(saveSettings_, &QAction::triggered, this, [this] {
    if (onSave_) onSave_();
  });
  // What the data entries would write is known only when the menu opens.
  connect(menu_, &QMenu::aboutToShow, this, [this] { enableDataEntries(); });
  menu_->addSeparator();
  scopeCsv_ = add("POPMEN_SaveScopeData_CSV");
  scopeBin_ = add("POPMEN_SaveScopeData_BIN");
  connect(scopeCsv_, &QAction::triggered, this, [this] { saveScopeData(false); });
  connect(scopeBin_, &QAction::triggered, this, [this] { saveScopeData(true); });
  export_ = add("POPMEN_Export");
  connect(export_, &QAction::triggered, this, [this] { exportRecord(); });
  exportShown_ = add("POPMEN_ExportShown");
  connect(exportShown_, &QAction::triggered, this, [this] { exportShown(); });
  for (IntermediateFamily f : kIntermediateFamilies) {
    menu_->addSeparator();
    const QByteArray c = code(f).toLatin1();
    auto& e = entries_[idx(f)];
    e[0] = add(("POPMEN_ShowAnIntermediate_" + c + "_File").constData());
    e[1] = add(("POPMEN_SaveIntermediate_" + c + "_As_CSV").constData());
    e[2] = add(("POPMEN_ClearIntermediate_" + c + "_Files").constData());
    connect(e[0], &QAction::triggered, this, [this, f] { showIntermediate(f); });
    connect(e[1], &QAction::triggered, this, [this, f] { saveIntermediateAsCsv(f); });
    connect(e[2], &QAction::triggered, this, [this, f] { eraseIntermediate(f); });
  }
}

void TFilePanel::buildBoxes() {
  auto* lay = static_cast<QHBoxLayout*>(layout());
  for (IntermediateFamily f : kIntermediateFamilies) {
    const std::size_t i = idx(f);
    auto* box = new QGroupBox(this);
    box->setObjectName(QStringLiteral("GB_") + code(f) + QStringLiteral("_Nrs"));
    auto* bl = new QHBoxLayout(box);
    bl->setContentsMargins(4, 2, 4, 2);
    auto* spin = new TNumberSpin(box);
    spin->setObjectName(QStringLiteral("SE_") + code(f) + QStringLiteral("_Nrs"));
    spin->setRange(1, 1);
    // A number above the maximum snaps back to it (and that file is shown).
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    // Typing "57" shows file 57, not 5 on the way to it.
    spin->setKeyboardTracking(false);
    auto* of = new QLabel(box);
    of->setObjectName(QStringLiteral("PN_") + code(f) + QStringLiteral("_von"));
    bl->addWidget(spin);
    bl->addWidget(of);
    box->setVisible(false);
    lay->addWidget(box);
    boxes_[i] = box;
    spins_[i] = spin;
    ofs_[i] = of;
    connect(spin, &QSpinBox::valueChanged, this, [this, f] { spinChanged(f); });
    // A double click shows the chosen number again (after a plot of another family).
    spin->findChild<QLineEdit*>()->installEventFilter(this);
    spin->installEventFilter(this);
  }
}

void TFilePanel::applyTexts() {
  autoSave_[0]->setText(text(kTextAutoSaveOff));
  autoSave_[1]->setText(QStringLiteral("CSV"));
  autoSave_[1]->setToolTip(hintText(kTextAutoSaveCsvHint));
  autoSave_[2]->setText(QStringLiteral("BIN"));
  autoSave_[2]->setToolTip(hintText(kTextAutoSaveBinHint));
  button_->setToolTip(text(61) + QStringLiteral(" / ") + text(62));
  saveSettings_->setText(text(60));
  saveSettingsAs_->setText(text(61));
  loadSettings_->setText(text(62));
  scopeCsv_->setText(text(63));
  scopeBin_->setText(text(64));
  export_->setText(text(322));
  export_->setToolTip(text(323));
  exportShown_->setText(text(344));
  exportShown_->setToolTip(text(345));
  for (IntermediateFamily f : kIntermediateFamilies) {
    const int i = int(idx(f));
    for (int j = 0; j < 3; ++j)
      entries_[std::size_t(i)][std::size_t(j)]->setText(text(65 + 3 * i + j));
    boxes_[std::size_t(i)]->setTitle(text(231 + 2 * i));
    boxes_[std::size_t(i)]->setToolTip(wrappedText(232 + 2 * i));
    ofs_[std::size_t(i)]->setText(text(23) + QLatin1Char(' ') +
                                  QString::number(spins_[std::size_t(i)]->maximum()));
    fitNumberRoom(std::size_t(i), spins_[std::size_t(i)]->maximum(), true);
  }
}

void TFilePanel::fitNumberRoom(std::size_t i, int highest, bool force) {
  constexpr int kDigitsReserved = 3;
  constexpr int kDigitsMost = 9;  // what an int holds in nines
  const int digits = std::clamp(int(QString::number(highest).size()), kDigitsReserved, kDigitsMost);
  if (!force && digits <= roomDigits_[i]) return;
  roomDigits_[i] = digits;
  const QString nines(digits, QLatin1Char('9'));
  // A spin box is as wide as the text of its largest value asks.
  QSpinBox probe;
  probe.setFont(spins_[i]->font());
  probe.setRange(1, nines.toInt());
  spins_[i]->setFixedSize(probe.sizeHint().width(), spins_[i]->sizeHint().height());
  QLabel* of = ofs_[i];
  const QMargins m = of->contentsMargins();
  const int width = of->fontMetrics().horizontalAdvance(text(23) + QLatin1Char(' ') + nines) +
                    m.left() + m.right() + 2 * of->margin() + 2;
  of->setFixedSize(width, of->sizeHint().height());
}

void TFilePanel::attach(TMeasureData* data, IMeasurePresenter* presenter) {
  if (data_ && data_ != data) data_->setFiles(nullptr);
  data_ = data;
  show_.reset();
  recordFiles_.reset();
  if (data_) {
    recordFiles_ = std::make_unique<TRecordFiles>(*data_, [this] { return serialText(); });
    recordFiles_->setStyleSource([this] { return csvStyle(); });
    data_->setFiles(recordFiles_.get());
  }
  if (data_ && presenter) {
    show_ = std::make_unique<TIntermediateShow>(*data_, *presenter);
    show_->setBootingSource([this] { return booting_ && booting_(); });
  }
  const bool on = data_ != nullptr;
  enableDataEntries();
  export_->setEnabled(on);
  exportShown_->setEnabled(on);
  refreshAll();
}

int TFilePanel::autoSaveMode() const {
  for (int i = 2; i > 0; --i)
    if (autoSave_[std::size_t(i)]->isChecked()) return i;
  return 0;
}

void TFilePanel::setAutoSaveMode(int mode) {
  autoSave_[std::size_t(mode >= 0 && mode <= 2 ? mode : 0)]->setChecked(true);
}

void TFilePanel::showAutoSaveBin(bool on) {
  binOffered_ = on;
  // A binary choice made in the scope stays in force in other modes (the logic analyser saves
  // its record as .VXD then): its button stays in sight while it is the choice, so the group
  // never shows nothing selected, and goes once the user picks another one.
  autoSave_[2]->setVisible(on || autoSave_[2]->isChecked());
}

void TFilePanel::setStyleSource(std::function<CsvStyle()> f) {
  style_ = std::move(f);
}

void TFilePanel::setBootingSource(std::function<bool()> f) {
  booting_ = std::move(f);
}

void TFilePanel::setDialogs(IFileDialogs* d) {
  dialogs_ = d ? d : &qtDialogs_;
}

void TFilePanel::setSettingsActions(std::function<void()> saveAs, std::function<void()> load,
                                    std::function<void()> save) {
  onSaveAs_ = std::move(saveAs);
  onLoad_ = std::move(load);
  onSave_ = std::move(save);
  saveSettingsAs_->setEnabled(bool(onSaveAs_));
  loadSettings_->setEnabled(bool(onLoad_));
  saveSettings_->setEnabled(bool(onSave_));
}

void TFilePanel::setFamilyEntries(IntermediateFamily f, bool on) {
  for (QAction* a : entries_[idx(f)]) a->setEnabled(on);
}

void TFilePanel::numberingChanged(const TIntermediateNumbering& n) {
  const std::size_t i = idx(n.family());
  // Setting range and value is no user's choice: nothing is shown again by it.
  updating_ = true;
  spins_[i]->setRange(1, n.highest());
  spins_[i]->setValue(n.highest());
  updating_ = false;
  fitNumberRoom(i, n.highest(), false);
  ofs_[i]->setText(text(23) + QLatin1Char(' ') + QString::number(n.highest()));
  setFamilyEntries(n.family(), n.anyFile() && show_ != nullptr);
  offerBox(n);
}

void TFilePanel::setSheetFamily(std::optional<IntermediateFamily> f) {
  if (f == sheetFamily_) return;
  sheetFamily_ = f;
  if (!data_) return;
  // A box keeps the number the user chose (the record its sheet shows) while its files stay
  // as they were: showing a stored record may pass another sheet on its way. Files come or
  // go behind the window's back (another program writing there) renew it as a refresh does.
  for (IntermediateFamily g : kIntermediateFamilies) {
    TIntermediateNumbering& n = data_->numbering(g);
    const int before = n.fileCount();
    n.refresh();
    if (n.fileCount() != before)
      numberingChanged(n);
    else
      offerBox(n);
  }
}

void TFilePanel::offerBox(const TIntermediateNumbering& n) {
  boxes_[idx(n.family())]->setVisible(n.boxVisible() && show_ != nullptr &&
                                      sheetFamily_ == n.family());
}

bool TFilePanel::showNamedScopeRecord() {
  constexpr IntermediateFamily f = IntermediateFamily::OSA0;
  if (!show_ || !data_ || data_->sampleCount() > 0) return true;
  if (booting_ && booting_()) return false;
  // Quietly: the window opens with it, and the user asked for nothing.
  if (data_->numbering(f).anyFile()) show_->showByNumber(f, spins_[idx(f)]->value());
  return true;
}

void TFilePanel::refreshAll() {
  for (IntermediateFamily f : kIntermediateFamilies) {
    if (data_) {
      auto& n = data_->numbering(f);
      n.refresh();
      numberingChanged(n);
    } else {
      setFamilyEntries(f, false);
      boxes_[idx(f)]->setVisible(false);
    }
  }
}

void TFilePanel::spinChanged(IntermediateFamily f) {
  if (updating_ || !show_) return;
  // QSpinBox already keeps the value within minimum and maximum.
  showNumbered(f, spins_[idx(f)]->value());
}

void TFilePanel::showNumbered(IntermediateFamily f, int k) {
  const ShowResult shown = show_->showByNumber(f, k);
  // A number is shown when its file exists: one deleted behind the window's back is no fault
  // worth a box that would take the focus while a number is being typed.
  if (shown.rc == 2) return;
  reportShow(shown, intermediateFileName(data_->deviceFolder(), f, k), f);
}

bool TFilePanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && show_) {
    for (IntermediateFamily f : kIntermediateFamilies) {
      QSpinBox* s = spins_[idx(f)];
      if (watched == s || watched == s->findChild<QLineEdit*>()) {
        showNumbered(f, s->value());
        break;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

QPoint TFilePanel::popupPosition() const {
  const QWidget* w = window();
  const QPoint inWindow = button_->mapTo(w, QPoint(0, 0));
  return {w->x() + inWindow.x() + button_->width() + 20, w->y() + inWindow.y() + 30};
}

void TFilePanel::popup() {
  menu_->popup(popupPosition());
}

// --- Actions -------------------------------------------------------------------------------

RecordInfo TFilePanel::recordInfo() const {
  RecordInfo ri;
  ri.serial = serialText();
  if (data_) {
    ri.settings = data_->snapshot();
    ri.time = data_->measurementTime();
  }
  return ri;
}

SettingsRecord TFilePanel::windowSettings() const {
  if (window_) return window_();
  return data_ ? data_->snapshot() : SettingsRecord::defaults();
}

bool TFilePanel::savesLogicData() const {
  return data_ && data_->snapshot().mode == kModeLAIO;
}

void TFilePanel::enableDataEntries() {
  // Greyed while there is nothing to write: the writers would refuse an empty record.
  const bool any = data_ && (savesLogicData() ? data_->logicList().count() > 0
                                              : data_->sampleCount() > 0);
  scopeCsv_->setEnabled(any);
  scopeBin_->setEnabled(any);
}

int TFilePanel::saveScopeData(bool binary) {
  if (!data_) return kMissingObject;
  RecordInfo ri = recordInfo();
  // In the logic analyser the entries write its record, in the two files its automatic saving
  // writes: a scope name would be offered for a record the scope never took.
  const bool logic = savesLogicData();
  // The file describes the record: the settings it was taken with (or a shown stored file's),
  // not the ones the user may have chosen since.
  if (const SettingsRecord& rs = data_->recordSettings(); rs.mode == (logic ? kModeLAIO : kModeOSA0))
    ri.settings = rs;
  const fs::path suggested = automaticDataFileName(
      data_->deviceFolder(), ri.time, logic ? kModeLAIO : kModeOSA0, binary ? "VXD" : "CSV");
  const QString kind = logic ? QStringLiteral("Logic Analyzer Data") : QStringLiteral("Scope Data");
  const QString chosen = dialogs_->saveFileName(
      logic ? (binary ? QStringLiteral("SD_LogicData_BIN") : QStringLiteral("SD_LogicData_CSV"))
            : (binary ? QStringLiteral("SD_Scope_BIN") : QStringLiteral("SD_CSV")),
      offeredFolder(suggested), pathText(suggested.filename()),
      binary ? qtFilter(kind + QStringLiteral(" (binary)"), QStringLiteral("*.VXD"))
             : qtFilter(kind + QStringLiteral(" (CSV)"), QStringLiteral("*.CSV")),
      binary ? QStringLiteral("VXD") : QStringLiteral("CSV"));
  if (chosen.isEmpty()) return 0;
  const fs::path name = pathFromText(chosen);
  if (logic) {
    const TLogAnalList& list = data_->logicList();
    return reportSave(binary ? writeLogicVxd(name, ri, list)
                             : writeLogicCsv(name, ri, logicCsvParams(ri.settings), list,
                                             csvStyle()),
                      name);
  }
  const std::span<const ScopeSample> samples(data_->scopeSamples(),
                                             std::size_t(data_->sampleCount()));
  return reportSave(
      binary ? writeScopeVxd(name, ri, samples) : writeScopeCsv(name, ri, samples, csvStyle()),
      name);
}

QString TFilePanel::storedFileFault(const fs::path& source, IntermediateFamily family) const {
  std::error_code ec;
  // A file that is not there at all is said so by its result code.
  if (source.empty() || !fs::exists(source, ec)) return {};
  const int lang = languageIndex();
  const fs::path headerName = textHeaderName(source);
  if (!fs::exists(headerName, ec))
    return text(kTextHeaderMissing).arg(pathText(headerName.filename()));
  SettingsRecord header;
  // A header that cannot be read is the damaged file, not the record beside it.
  if (const int rc = readTextHeader(source, header); rc != 0)
    return text(kTextHeaderDamaged)
        .arg(pathText(headerName.filename()), measureResultText(rc, lang, ResultContext::Reading));
  const StoredContent c = checkStoredContent(family, source, header);
  if (!c.ok()) return c.text(lang);
  return {};
}

QString TFilePanel::notOfFamily(const fs::path& file, IntermediateFamily family) const {
  const QString name = pathText(file.filename());
  const QString ext = QString::fromStdString(file.extension().string()).toUpper();
  if (ext != QLatin1String(".FIL")) {
    StoredKind kind = StoredKind::Unknown;
    // Only what the file is matters here, not whether it is whole.
    (void)identifyStoredFile(file, csvStyle().column, kind);
    int what = kTextKindOther;
    switch (kind) {
      case StoredKind::ScopeVxd:
        what = kTextKindScopeVxd;
        break;
      case StoredKind::LogicVxd:
        what = kTextKindLogicVxd;
        break;
      case StoredKind::ScopeCsv:
      case StoredKind::LogicCsv:
      case StoredKind::IoLoggerCsv:
      case StoredKind::MultiCsv:
        what = kTextKindTable;
        break;
      default:
        // Not told by its content (cut, empty, a table of another layout): its name says
        // which kind of data file it is meant to be.
        if (ext == QLatin1String(".CSV")) what = kTextKindTable;
        if (ext == QLatin1String(".VXD")) what = kTextKindBinary;
        break;
    }
    return text(kTextNotIntermediate).arg(name, text(what));
  }
  // The header's mode tells the family; without a readable header the name does.
  SettingsRecord header;
  std::optional<IntermediateFamily> of = readTextHeader(file, header) == 0
                                             ? familyOfMode(header.mode)
                                             : familyOfFileName(file);
  if (!of || *of == family) return {};
  return text(kTextOtherFamily).arg(name, code(*of), code(family));
}

QString TFilePanel::showFaultText(const ShowResult& shown, const fs::path& file,
                                  IntermediateFamily family) const {
  const int lang = languageIndex();
  if (shown.rc == 0) {
    // Drawn as far as the file goes, which looks like a whole record.
    if (shown.content.ok()) return {};
    return text(kTextShownInPart).arg(pathText(file), shown.content.text(lang));
  }
  if (shown.toldOnSheet) return {};
  QString why = storedFileFault(file, family);
  if (why.isEmpty()) why = measureResultText(shown.rc, lang, ResultContext::Reading);
  return text(kTextCannotShow).arg(pathText(file), why);
}

int TFilePanel::reportShow(const ShowResult& shown, const fs::path& file,
                           IntermediateFamily family) {
  if (const QString t = showFaultText(shown, file, family); !t.isEmpty()) dialogs_->warn(t);
  return shown.rc;
}

QString TFilePanel::saveFaultText(int rc, const fs::path& target, const fs::path& source,
                                  IntermediateFamily family, bool writing) const {
  if (rc == 0) return {};
  const int lang = languageIndex();
  // A stored file the conversion refused: what is wrong with it, in words. A target that
  // could not be written is that, whatever else is wrong with the source.
  QString why = writing ? QString() : storedFileFault(source, family);
  if (why.isEmpty())
    why = measureResultText(rc, lang, writing ? ResultContext::Writing : ResultContext::Reading);
  return text(kTextNotWritten).arg(pathText(target), why);
}

int TFilePanel::reportSave(int rc, const fs::path& target) {
  // The window's own record has no stored file behind it: only its target can fail.
  if (const QString t = saveFaultText(rc, target, {}, IntermediateFamily::VMXY, true);
      !t.isEmpty())
    dialogs_->warn(t);
  return rc;
}

int TFilePanel::pickIntermediate(IntermediateFamily f, fs::path& file) {
  file.clear();
  const fs::path folder = familyFolder(data_->deviceFolder(), f);
  const QString chosen =
      dialogs_->openFileName(QStringLiteral("OD_Intermediate_") + code(f), pathText(folder),
                             qtFilter(familyFileFilter(f), familyFileFilter(f)));
  if (chosen.isEmpty()) return 0;
  const fs::path picked = pathFromText(chosen);
  // A data file or another family's file named in the dialog is said to be what it is, rather
  // than read as this family's record or blamed for a header it never has.
  if (const QString other = notOfFamily(picked, f); !other.isEmpty()) {
    dialogs_->warn(other);
    return kUnknownMode;
  }
  file = picked;
  return 0;
}

int TFilePanel::showIntermediate(IntermediateFamily f) {
  if (!data_ || !show_) return kMissingObject;
  fs::path file;
  if (const int rc = pickIntermediate(f, file); rc != 0 || file.empty()) return rc;
  const ShowResult shown = show_->showFile(f, file);
  if (shown.rc == 0) nameShownNumber(f, file);
  return reportShow(shown, file, f);
}

void TFilePanel::nameShownNumber(IntermediateFamily f, const fs::path& file) {
  // The box names the record on screen when the file is one of its numbers.
  QSpinBox* spin = spins_[idx(f)];
  for (int k = spin->minimum(); k <= spin->maximum(); ++k) {
    std::error_code ec;
    if (!fs::equivalent(intermediateFileName(data_->deviceFolder(), f, k), file, ec)) continue;
    updating_ = true;
    spin->setValue(k);
    updating_ = false;
    return;
  }
}

int TFilePanel::saveIntermediateAsCsv(IntermediateFamily f) {
  if (!data_ || !show_) return kMissingObject;
  fs::path source;
  if (const int rc = pickIntermediate(f, source); rc != 0 || source.empty()) return rc;
  const fs::path folder = familyFolder(data_->deviceFolder(), f);
  const ShowResult shown = show_->showFile(f, source);
  if (shown.rc == 0) nameShownNumber(f, source);
  // A file drawn in part is left to the conversion, which refuses it and says why.
  const ShowResult fault{shown.rc, shown.toldOnSheet, {}};
  // A logger's stream converts even when it cannot be drawn.
  const bool logger = f == IntermediateFamily::DLA0 || f == IntermediateFamily::DLDI;
  if (!logger) {
    if (const int rc = reportShow(fault, source, f); rc != 0) return rc;
  }
  const QString csv = dialogs_->saveFileName(
      QStringLiteral("SD_") + code(f) + QStringLiteral("_As_CSV"), pathText(folder), QString(),
      qtFilter(QStringLiteral("CSV"), QStringLiteral("*.CSV")), QStringLiteral("CSV"));
  const fs::path target = csv.isEmpty() ? fs::path() : pathFromText(csv);
  ConvertSide side = ConvertSide::None;
  const int rc = csv.isEmpty() ? 0
                               : convertIntermediateFile(f, source, target, serialText(),
                                                         csvStyle(), &side);
  // The user hears each fault once and none is dropped: a conversion that failed on the same
  // stream says what the drawing would say; one that failed for a reason of its own (the
  // target cannot be written) is told beside why the stream could not be drawn.
  const bool writing = side == ConvertSide::Target;
  QStringList told;
  const QString saved = saveFaultText(rc, target, source, f, writing);
  if (!saved.isEmpty()) told << saved;
  const bool sameStream = rc != 0 && !writing;
  if (const QString drawn = showFaultText(fault, source, f);
      logger && !drawn.isEmpty() && !sameStream)
    told << drawn;
  if (!told.isEmpty()) dialogs_->warn(told.join(QLatin1Char('\n')));
  return rc;
}

int TFilePanel::eraseIntermediate(IntermediateFamily f) {
  if (!data_ || !show_) return kMissingObject;
  if (!dialogs_->confirm(text(80 + int(idx(f))))) return 0;
  const int deleted = show_->eraseAll(f);
  if (deleted > 0) {
    numberingChanged(data_->numbering(f));
    setFamilyEntries(f, false);
    boxes_[idx(f)]->setVisible(false);
  }
  return deleted;
}

int TFilePanel::exportRecord() {
  if (!data_) return kMissingObject;
  // The folder of the newest intermediate file: most often the record on screen.
  fs::path folder = data_->deviceFolder();
  fs::file_time_type newest{};
  std::error_code ec;
  for (IntermediateFamily f : kIntermediateFamilies) {
    const TIntermediateNumbering& n = data_->numbering(f);
    if (!n.anyFile()) continue;
    const fs::path file = n.fileName(n.current());
    const auto t = fs::last_write_time(file, ec);
    if (!ec && t > newest) {
      newest = t;
      folder = file.parent_path();
    }
  }
  const QString chosen = dialogs_->openFileName(
      QStringLiteral("OD_Export"), pathText(folder),
      text(325) + QStringLiteral(" (*.FIL *.VXD *.CSV *.fil *.vxd *.csv)"));
  if (chosen.isEmpty()) return 0;
  const fs::path source = pathFromText(chosen);
  const QString named = dialogs_->saveFileName(
      QStringLiteral("SD_Export"), pathText(source.parent_path()),
      QString::fromStdString(source.stem().string()),
      QStringLiteral("sigrok session (*.sr);;Value change dump (*.vcd);;Plain CSV (*.csv)"),
      QStringLiteral("sr"));
  if (named.isEmpty()) return 0;
  fs::path target = pathFromText(named);
  ExportFormat format = ExportFormat::Sr;
  if (!exportFormatOf(QString::fromStdString(target.extension().string()).mid(1), format))
    target += ".sr";
  StoredExportHooks hooks;
  hooks.csvColumn = csvStyle().column;
  const StoredProblem p = exportStoredFile(format, source, target, nullptr, hooks);
  if (p.ok()) return 0;
  dialogs_->warn(text(324) + QLatin1Char('\n') + pathText(source) + QStringLiteral(": ") +
                 p.reason);
  return p.exitCode;
}

int TFilePanel::exportShown() {
  if (!data_) return kMissingObject;
  ShownRecord shown;
  if (shown_) {
    shown = shown_();
  } else {
    shown.mode = windowSettings().mode;
    if (isLoggerMode(shown.mode)) shown.streamFile = data_->loggerStream().fileName();
  }
  SettingsRecord settings = windowSettings();
  // A series shown from a file keeps the ranges it was measured with.
  if (familyOfMode(data_->recordSettings().mode) == IntermediateFamily::VMXY &&
      familyOfMode(shown.mode) == IntermediateFamily::VMXY)
    settings = data_->recordSettings();
  settings.mode = shown.mode;
  // Only the formats that can hold the record are offered, the likeliest first.
  const bool lines = shown.mode == kModeLAIO || shown.mode == kModeDLDI;
  const bool series = familyOfMode(shown.mode) == IntermediateFamily::VMXY;
  QStringList filters;
  if (lines) filters << QStringLiteral("Value change dump (*.vcd)");
  if (!series) filters << QStringLiteral("sigrok session (*.sr)");
  filters << QStringLiteral("Plain CSV (*.csv)");
  const QString suffix = lines ? QStringLiteral("vcd") : series ? QStringLiteral("csv")
                                                              : QStringLiteral("sr");
  const DayTime t = series && data_->chartList().Count() > 0
                        ? data_->chartList().Items().front().time
                        : data_->measurementTime();
  const fs::path suggested =
      automaticDataFileName(data_->deviceFolder(), t, shown.mode, suffix.toStdString());
  const QString named = dialogs_->saveFileName(
      QStringLiteral("SD_ExportShown"), offeredFolder(suggested),
      QString::fromStdString(suggested.stem().string()), filters.join(QStringLiteral(";;")),
      suffix);
  if (named.isEmpty()) return 0;
  fs::path target = pathFromText(named);
  ExportFormat format = ExportFormat::Sr;
  if (!exportFormatOf(QString::fromStdString(target.extension().string()).mid(1), format)) {
    target += "." + suffix.toStdString();
    exportFormatOf(suffix, format);
  }
  const StoredProblem p = exportMeasuredRecord(format, *data_, serialText(), settings,
                                               shown.streamFile, target, nullptr);
  if (p.ok()) return 0;
  dialogs_->warn(text(324) + QLatin1Char('\n') + p.reason);
  return p.exitCode;
}

}  // namespace tolv
