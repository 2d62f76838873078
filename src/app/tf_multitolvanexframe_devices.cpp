// The main frame's part in devices that come and go: listing again when the system reports a
// change (or on a poll), reconnecting returning devices to their windows, making windows for new
// ones and marking those that went, in the device list's status column.
#include <QBrush>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>

#include "app/framelogic.h"
#include "app/tf_multitolvanexframe.h"
#include "common/texttable.h"
#include "devicewin/tf_onetolvanex.h"
#include "ftdi/hotplug_texts.h"
#include "ftdi/udev_monitor.h"
#include "multi/tf_multi_tolvanex_img.h"

namespace tolv {

void TF_MultiTolvanexFrame::startHotplugWatch(HotplugWatch how) {
  if (!relistSoon_) {
    relistSoon_ = new QTimer(this);
    relistSoon_->setObjectName(QStringLiteral("TM_Relist"));
    relistSoon_->setSingleShot(true);
    relistSoon_->setInterval(kRelistDelayMs);
    connect(relistSoon_, &QTimer::timeout, this, [this] { relistDevices(); });
    relistPoll_ = new QTimer(this);
    relistPoll_->setObjectName(QStringLiteral("TM_RelistPoll"));
    relistPoll_->setInterval(kRelistPollMs);
    connect(relistPoll_, &QTimer::timeout, this, [this] { onRelistPoll(); });
  }
  relistPoll_->stop();
  watch_ = how;
  if (how == HotplugWatch::Udev && !udev_) {
    udev_ = std::make_unique<TUdevMonitor>();
    if (udev_->isActive()) {
      auto* n = new QSocketNotifier(udev_->fd(), QSocketNotifier::Read, this);
      connect(n, &QSocketNotifier::activated, this, [this] { onUdevReadable(); });
    } else {
      udev_.reset();
      watch_ = HotplugWatch::Poll;
    }
  } else if (how == HotplugWatch::Udev) {
    watch_ = HotplugWatch::Udev;
  }
  if (watch_ == HotplugWatch::Poll) relistPoll_->start();
}

void TF_MultiTolvanexFrame::onUdevReadable() {
  if (udev_ && udev_->takeEvents() > 0) devicesChanged();
}

void TF_MultiTolvanexFrame::devicesChanged() {
  if (shutDownDone_) return;
  if (relistSoon_)
    relistSoon_->start();
  else
    relistDevices();
}

void TF_MultiTolvanexFrame::onRelistPoll() {
  // Listing asks the driver for its list and takes no bytes from an open link, so it runs
  // during transfers as well: a device pulled or plugged meanwhile is seen all the same.
  relistDevices();
}

int TF_MultiTolvanexFrame::relistDevices() {
  if (shutDownDone_ || relisting_) return 0;
  // Before the first boot step the windows are still being set up: a change meanwhile (a
  // device pulled while its window opens) is listed for right after that step, never dropped.
  if (bootStep_ == 0) {
    relistAfterBoot_ = true;
    return 0;
  }
  relisting_ = true;
  std::vector<FtdiDeviceRow> rows;
  const bool complete = enumeration_.relist(rows);
  const std::uint32_t n = enumeration_.deviceCount();
  if (complete) {
    setWindowTitle(ftdiCountCaption(n));
    lvDevices_->clear();
    for (const FtdiDeviceRow& r : rows) {
      auto* item = new QTreeWidgetItem(lvDevices_);
      item->setText(0, text(225) + QLatin1Char(' ') + QString::number(r.index + 1));
      item->setText(1, r.serial);
      item->setText(2, r.description);
    }
  }
  // Windows of devices that are listed (again) and of devices that are not. A window handing
  // over a record (this listing may run inside its steps) is left alone: its steps go on with
  // the link afterwards, and a dead handle fails their own next call. Only one that is lost or
  // missing is listed for again soon: a run always has some window in its steps, and listing
  // for every such window 250 ms later would load every transfer.
  std::vector<bool> seen(rows.size(), false);
  bool waiting = false;
  for (int k = 0; k < forms_.count(); ++k) {
    TF_OneTolvanex* w = forms_.get(k);
    if (!w) continue;
    const FtdiDeviceRow* mine = nullptr;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].isFamily() && rows[r].serial == w->serialNumber()) {
        mine = &rows[r];
        seen[r] = true;
        break;
      }
    }
    if (mine != nullptr) {
      if (w->acquisition().recordStepGoing()) {
        // Its steps' own next call finds a dead handle; only one already lost needs a listing
        // to come back.
        waiting = waiting || w->isLost() || !w->link().isOpen();
      } else {
        // Pulled and plugged back between two listings: listed as before, but its handle died
        // with the old connection. It is lost first, so the run ends as for any unplug.
        if (!w->isLost() && w->link().isOpen() && w->link().handleDead())
          w->deviceGone(kFtIoError);
        if (w->isLost() || !w->link().isOpen()) w->reconnect();
      }
    } else if (complete) {
      // Only a complete list tells that a device has gone.
      if (w->acquisition().recordStepGoing())
        waiting = true;
      else
        w->deviceGone();
    }
    // Its place in the list, once the window has had its say: a loss it found meanwhile marks
    // the row "-", and a reconnect in the same listing gives the place back. The caption keeps
    // the window's own number: the places move up when a device before them is pulled out.
    if (mine)
      if (QTreeWidgetItem* item = lvTolvanexs_->topLevelItem(k))
        item->setText(1, QString::number(mine->index + 1));
    showDeviceStatus(w);
  }
  int created = 0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (seen[r] || !rows[r].isFamily()) continue;
    if (addDeviceWindow(rows[r].serial, int(rows[r].index))) ++created;
  }
  if (created > 0) {
    bnCascade_->setVisible(lvTolvanexs_->topLevelItemCount() > 1);
    multiRefillPending_ = true;
  }
  // The multi-device window's list follows, but never under a run of its own.
  if (multiRefillPending_ && !multi_->runGoing()) {
    multiRefillPending_ = false;
    multi_->fillFromDeviceWindows();
  }
  relisting_ = false;
  // Without the 2 s listing nothing else would list again for the window that was left.
  if (waiting && relistSoon_) relistSoon_->start();
  return created;
}

QString TF_MultiTolvanexFrame::deviceStatusText(int row) const {
  const QTreeWidgetItem* item = lvTolvanexs_->topLevelItem(row);
  return item ? item->text(2) : QString();
}

void TF_MultiTolvanexFrame::showDeviceStatus(TF_OneTolvanex* w) {
  QTreeWidgetItem* item = lvTolvanexs_->topLevelItem(forms_.indexOf(w));
  if (!item) return;
  // A device listed but refused for lack of rights says so, as its window does: that is what
  // the user can mend. The window drops the mark once the device leaves the list.
  const QString status = w->accessDenied() ? noAccessCaption()
                         : w->isLost()     ? disconnectedCaption()
                                           : QString();
  item->setText(2, status);
  // The narrow "Status" column cuts the word: the row turns red and says it in its tip too.
  for (int c = 0; c < 3; ++c) {
    item->setForeground(c, status.isEmpty() ? QBrush() : QBrush(Qt::red));
    item->setToolTip(c, status);
  }
  // A device away has no place in the FTDI list.
  if (w->isLost()) item->setText(1, QStringLiteral("-"));
}

}  // namespace tolv
