#pragma once
// The device window: one per family device. It owns the link to its device and shows the link's
// state; the command queue, the acquisition cycle and the tab sheets' contents are attached to
// the places this shell keeps for them.
#include <QString>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "ftdi/device_link.h"

class QTabWidget;
class QFrame;

namespace tolv {

class TOneTolvanexLinkPanel;

class TF_OneTolvanex : public QWidget {
  Q_OBJECT
 public:
  // Names of the five per-mode intermediate folders below the device folder.
  static constexpr const char* kIntermediateFolders[5] = {"Intermediate_VMXY", "Intermediate_OSA0",
                                                          "Intermediate_LAIO", "Intermediate_DLA0",
                                                          "Intermediate_DLDI"};
  static constexpr int kDefaultWidth = 980;
  static constexpr int kDefaultHeight = 640;

  explicit TF_OneTolvanex(IFtdiDriver& driver, QWidget* parent = nullptr);
  ~TF_OneTolvanex() override;

  TDeviceLink& link() { return *link_; }
  const TDeviceLink& link() const { return *link_; }

  // Caption given by the main frame; the window renews its own caption from serial number,
  // identification and device index whenever one of them changes.
  void setCaption(const QString& caption);
  const QString& frameCaption() const { return frameCaption_; }
  QString captionText() const;

  // Keeps the serial number; at most 49 characters go into the buffer the device is opened by.
  void setSerialNumber(const QString& serial);
  const QString& serialNumber() const { return link_->serialNumber(); }
  void setIdentification(const QString& identification);
  const QString& identification() const { return identification_; }
  // Position in the main frame's list, shown 1-based in the caption.
  void setDeviceIndex(int index);
  int deviceIndex() const { return deviceIndex_; }

  // Opens the device by serial number, purges its receive buffer, sets the time-outs, then
  // prepares the device folders and restores the last settings. Returns the first non-zero
  // result (driver status, or 2 when there are no stored settings yet), else 0.
  int open();
  // Releases the link if it is open.
  FtStatus closeLink();
  // What the window does before it goes away: stops the device, stores its last settings and
  // releases the link. Closing is always allowed.
  bool closeQuery();

  void restoreDefaultSize();
  void applyTexts();

  // Link operations with the panels kept up to date (they also update on their own through the
  // link's change callback).
  FtStatus writeCommand(std::uint32_t n) { return link_->writeCommand(n); }
  FtStatus queryQueue() { return link_->queryQueue(); }
  FtStatus readReceived() { return link_->readReceived(); }

  // Folders prepared by a successful open (empty before).
  const std::filesystem::path& deviceFolder() const { return deviceFolder_; }
  std::filesystem::path lastSettingsPath() const;

  // Replaceable steps of the open sequence that later parts of the window provide:
  // the settings restore (returns 0 loaded, 2 missing, or the file error) and the
  // identification request queued after a successful restore.
  void setSettingsRestore(std::function<int(const std::filesystem::path&)> f) {
    settingsRestore_ = std::move(f);
  }
  void setIdentificationRequest(std::function<void()> f) { identificationRequest_ = std::move(f); }
  void setCloseSteps(std::function<void()> f) { closeSteps_ = std::move(f); }

  // Places the later controls go.
  QTabWidget* pageControl() const { return pageControl_; }
  QWidget* scopeControlsPage() const { return scopeControlsPage_; }
  QFrame* runControlsArea() const { return runControls_; }
  QFrame* parmsPanel() const { return parms_; }
  TOneTolvanexLinkPanel* linkPanel() const { return linkPanel_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void renewCaption();
  void linkChanged(TDeviceLink::Change change);
  int prepareFolders();

  std::unique_ptr<TDeviceLink> link_;
  QString frameCaption_;
  QString identification_;
  int deviceIndex_ = 0;
  std::filesystem::path deviceFolder_;
  std::function<int(const std::filesystem::path&)> settingsRestore_;
  std::function<void()> identificationRequest_;
  std::function<void()> closeSteps_;

  QFrame* runControls_ = nullptr;
  QFrame* parms_ = nullptr;
  QTabWidget* pageControl_ = nullptr;
  QWidget* scopeControlsPage_ = nullptr;
  TOneTolvanexLinkPanel* linkPanel_ = nullptr;
};

}  // namespace tolv
