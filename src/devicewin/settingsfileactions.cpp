#include "devicewin/settingsfileactions.h"

#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>

#include "common/paths.h"
#include "common/resulttext.h"
#include "common/texttable.h"
#include "device/settingstables.h"
#include "devicewin/tf_onetolvanex.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

TSettingsFileActions::TSettingsFileActions(TF_OneTolvanex& window) : QObject(&window), w_(window) {
  setObjectName(QStringLiteral("SettingsFiles"));
  w_.setSettingsRestore(
      [this](const std::filesystem::path& p, SettingsRecord& r) { return restoreAtOpen(p, r); });
  w_.setCloseSteps([this] { saveAtClose(); });
}

QString TSettingsFileActions::saveFilter() {
  return QStringLiteral("Tolvanex Einstellungen (*.VXS)");
}

QString TSettingsFileActions::loadFilter() {
  return QStringLiteral("Tolvanex Settings (*.VXS)");
}

// --- Snapshot -------------------------------------------------------------------------------

WindowOptions TSettingsFileActions::windowOptions() const {
  TF_OneTolvanex& w = w_;
  WindowOptions o = applied_;
  o.singleShot = w.acquisition().singleShot();
  o.overlapping = w.acquisition().overlap();
  const QRect g = w.geometry();
  o.width = g.width();
  o.height = g.height();
  o.left = g.x();
  o.top = g.y();
  const ConversionInputs& conv = w.acquisition().conversion();
  o.probeFactorC0 = conv.probe[0];
  o.probeFactorC1 = conv.probe[1];
  o.probeHelpFactorFlag = conv.aux != 1.0;
  o.clockInterval0 = w.gpioModel().countInterval(0);
  o.clockInterval1 = w.gpioModel().countInterval(1);
  if (options_) options_(o);
  return o;
}

SettingsRecord TSettingsFileActions::snapshot() const {
  TAcquisition& acq = w_.acquisition();
  // Until the start-up stages have applied a setting and the device has confirmed a mode and
  // reported its settings, the window's own copies are still empty: storing them would replace
  // the user's setting with zeros. The setting about to be applied stands for them.
  const bool settled = !w_.startUpPending() && modeIndex(acq.mode()) >= 0 &&
                       acq.conversion().ampl[0] > 0 && acq.conversion().ampl[1] > 0;
  if (!settled) {
    if (haveApplied_) return appliedRecord_;
    const QRect g = w_.geometry();
    return SettingsRecord::defaults(g.width(), g.height(), g.x(), g.y());
  }
  SettingsRecord r = takeSnapshot(acq, windowOptions());
  // A mode chosen but not yet confirmed by the device is the user's last word.
  if (modeIndex(acq.requestedMode()) >= 0) r.mode = acq.requestedMode();
  return r;
}

// --- Save and load --------------------------------------------------------------------------

int TSettingsFileActions::save(const std::filesystem::path& vxs) {
  return saveSettingsFiles(vxs, snapshot());
}

void TSettingsFileActions::apply(const SettingsRecord& r) {
  appliedRecord_ = r;
  applied_ = WindowOptions::fromRecord(r);
  haveApplied_ = true;
}

int TSettingsFileActions::load(const std::filesystem::path& vxs) {
  const int rc = loader_.load(vxs);
  if (rc != 0) return rc;
  SettingsRecord r = loader_.toApply();
  limited_ = limitToOffered(r);
  apply(r);
  // The same stages as at start-up, with the loaded values.
  w_.acquisition().startUp(0, &r);
  return 0;
}

int TSettingsFileActions::restoreAtOpen(const std::filesystem::path& vxs, SettingsRecord& out) {
  std::error_code ec;
  if (vxs.empty() || !std::filesystem::exists(vxs, ec)) return 2;
  const int rc = loader_.load(vxs);
  if (rc != 0) return rc;
  out = loader_.toApply();
  // The file may hold what no control offers (edited by hand, damaged): the window sends and
  // shows only what it offers.
  limitToOffered(out);
  apply(out);
  return 0;
}

void TSettingsFileActions::saveAtClose() {
  const std::filesystem::path name = w_.lastSettingsPath();
  if (name.empty()) return;
  closeResult_ = save(name);
  if (closeResult_ == 0) return;
  // The window closes anyway; the user must still learn that the setting was not kept.
  const QString msg =
      text(kTextSettingsNotStored)
          .arg(w_.serialNumber(), pathText(name),
               codeWithWords(closeResult_, languageIndex(), ResultContext::Writing));
  if (report_) {
    report_(msg);
  } else {
    std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
    std::fflush(stderr);
  }
}

// --- Menu actions ---------------------------------------------------------------------------

QString TSettingsFileActions::ask(bool save) {
  const QString folder = pathText(w_.deviceFolder());
  if (askName_) return askName_(save, folder, save ? saveFilter() : loadFilter());
  if (save) return QFileDialog::getSaveFileName(&w_, text(61), folder, saveFilter());
  return QFileDialog::getOpenFileName(&w_, text(62), folder, loadFilter());
}

void TSettingsFileActions::saveSettingsAs() {
  const QString chosen = ask(true);
  if (chosen.isEmpty()) return;
  std::filesystem::path name = pathFromText(chosen);
  // A name without folder or file part is refused by the extension rule; nothing is saved.
  if (forceExtension(name, ".VXS") != 0) return;
  if (save(name) == 0) lastName_ = name;
}

QString TSettingsFileActions::loadFailedText(const std::filesystem::path& vxs, int rc) {
  // Reached only when neither the text files nor the image could be read: the image's reason.
  const QString why = rc == kSettingsImageSize
                          ? text(kTextSettingsNoImage)
                          : measureResultText(rc, languageIndex(), ResultContext::Reading);
  return QStringLiteral("%1\n%2\n%3 %4\n%5 %6 (%7)")
      .arg(text(15), text(19), text(16), pathText(vxs), text(14), QString::number(rc), why);
}

void TSettingsFileActions::loadSettings() {
  const QString chosen = ask(false);
  if (chosen.isEmpty()) return;
  const std::filesystem::path name = pathFromText(chosen);
  const int rc = load(name);
  w_.setLoadNote(nullptr);
  if (rc == 0) {
    lastName_ = name;
    if (loader_.lastLoadUsedImage()) {
      // The text files are the ones the user edits and other programs read: a broken one must
      // not go unnoticed just because the image stood in for it.
      const QString used = pathText(name.filename());
      const QString bad = pathText(loader_.lastLoadBrokenFile().filename());
      w_.setLoadNote([used, bad] { return text(kTextSettingsFromImage).arg(bad, used); });
    }
    if (limited_ == 0) return;
    // Loaded, but not as the file has it: the user must know the window changed it.
    // The count stands outside the text, so a language file without it still says how many.
    const QString msg = pathText(name) + QLatin1Char('\n') + QString::number(limited_) +
                        QLatin1Char(' ') + text(kTextSettingsReplaced);
    tell(text(62), msg);
    return;
  }
  // Nothing was applied: the user must not take the window's settings for the loaded ones.
  tell(text(13), loadFailedText(name, rc));
}

void TSettingsFileActions::tell(const QString& title, const QString& msg) {
  if (warn_)
    warn_(title, msg);
  else
    QMessageBox::warning(&w_, title, msg);
}

void TSettingsFileActions::saveSettings() {
  const std::filesystem::path name = lastName_.empty() ? w_.lastSettingsPath() : lastName_;
  if (!name.empty()) save(name);
}

}  // namespace tolv
