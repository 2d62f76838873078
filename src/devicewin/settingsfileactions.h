#pragma once
// The settings files of one device window: "LastSettings" restored when the window opens and
// stored when it closes, and the menu actions "Save settings as...", "Load settings" and
// "Save settings". The pending values of the loader live here, one set per window.
#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>

#include "measure/settingsfiles.h"
#include "measure/snapshot.h"

namespace tolv {

class TF_OneTolvanex;

class TSettingsFileActions : public QObject {
  Q_OBJECT
 public:
  // Installs itself as the window's restore and close steps.
  explicit TSettingsFileActions(TF_OneTolvanex& window);

  // --- Operations -----------------------------------------------------------------------------
  // Saves the window's current settings under `vxs` (0 or the error code).
  int save(const std::filesystem::path& vxs);
  // Loads `vxs`; on success starts the apply sequence with what was read (0 or the code).
  int load(const std::filesystem::path& vxs);
  // The window options a snapshot takes: the live ones of the window (run flags, geometry,
  // counter intervals; probe factors come from the conversion) over the last applied ones.
  WindowOptions windowOptions() const;
  SettingsRecord snapshot() const;

  // --- Open and close -----------------------------------------------------------------------
  // Window open: 2 when there is no LastSettings.VXS, else the load's result with the record to
  // apply in `out`.
  int restoreAtOpen(const std::filesystem::path& vxs, SettingsRecord& out);
  // Close query: stores LastSettings. A failure does not hold up the closing; it is reported.
  void saveAtClose();
  int lastCloseResult() const { return closeResult_; }

  // --- Menu actions (POPMEN_SaveSettingsAs, POPMEN_LoadSettings, POPMEN_SaveSettings) --------
  void saveSettingsAs();
  void loadSettings();
  // Saves to the name last saved or loaded in this session, else to LastSettings.
  void saveSettings();
  const std::filesystem::path& lastName() const { return lastName_; }

  // --- Seams ----------------------------------------------------------------------------------
  // Asks for a file name (empty: cancelled). Default: the platform's file dialogs.
  using AskName = std::function<QString(bool save, const QString& folder, const QString& filter)>;
  void setAskName(AskName f) { askName_ = std::move(f); }
  // Where a failed store at close is told. Default: standard error.
  void setReporter(std::function<void(const QString&)> f) { report_ = std::move(f); }
  // Where a failed "Load settings" is told (title, text). Default: a warning box.
  void setLoadWarner(std::function<void(const QString&, const QString&)> f) {
    warn_ = std::move(f);
  }
  // What the user is told when a chosen setting could not be loaded (error `rc`).
  static QString loadFailedText(const std::filesystem::path& vxs, int rc);
  // Options that other panels own (plot mode, auto-scale, auto-save, synchronised axes,
  // intermediate files). Without it the last applied values are kept.
  void setOptionsSource(std::function<void(WindowOptions&)> f) { options_ = std::move(f); }

  TSettingsLoader& loader() { return loader_; }
  // Filters of the two dialogs, in the dialogs' own notation.
  static QString saveFilter();
  static QString loadFilter();

 private:
  QString ask(bool save);
  void tell(const QString& title, const QString& msg);
  void apply(const SettingsRecord& r);

  TF_OneTolvanex& w_;
  TSettingsLoader loader_;
  // Options handed to the apply sequence last; the window's initial values before.
  WindowOptions applied_;
  SettingsRecord appliedRecord_;
  bool haveApplied_ = false;
  std::filesystem::path lastName_;
  int closeResult_ = 0;
  int limited_ = 0;  // values of the last loaded file the window replaced
  AskName askName_;
  std::function<void(const QString&)> report_;
  std::function<void(const QString&, const QString&)> warn_;
  std::function<void(WindowOptions&)> options_;
};

}  // namespace tolv
