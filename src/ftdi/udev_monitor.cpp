#include "ftdi/udev_monitor.h"

#include <fcntl.h>

#include <cstring>

namespace tolv {

TUdevMonitor::TUdevMonitor(const char* path) {
  if (!lib_.open(path)) {
    reason_ = std::string(path) + " could not be loaded";
    return;
  }
  lib_.bind(c_.udevNew, "udev_new");
  lib_.bind(c_.udevUnref, "udev_unref");
  lib_.bind(c_.monitorNew, "udev_monitor_new_from_netlink");
  lib_.bind(c_.filterAdd, "udev_monitor_filter_add_match_subsystem_devtype");
  lib_.bind(c_.enable, "udev_monitor_enable_receiving");
  lib_.bind(c_.getFd, "udev_monitor_get_fd");
  lib_.bind(c_.receive, "udev_monitor_receive_device");
  lib_.bind(c_.monitorUnref, "udev_monitor_unref");
  lib_.bind(c_.action, "udev_device_get_action");
  lib_.bind(c_.deviceUnref, "udev_device_unref");
  if (!lib_.finish()) {
    reason_ = std::string(path) + " lacks " + lib_.missingSymbol();
    return;
  }
  udev_ = c_.udevNew();
  if (udev_ == nullptr) {
    reason_ = "udev_new failed";
    return;
  }
  // "udev": events after the device manager has applied its rules (access rights included), so
  // a device announced here can be opened.
  mon_ = c_.monitorNew(udev_, "udev");
  if (mon_ == nullptr || c_.filterAdd(mon_, "usb", "usb_device") < 0 || c_.enable(mon_) < 0) {
    reason_ = "no udev monitor (no device manager running?)";
    return;
  }
  const int fd = c_.getFd(mon_);
  if (fd < 0) {
    reason_ = "udev monitor without socket";
    return;
  }
  // takeEvents must never wait.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  fd_ = fd;
}

TUdevMonitor::~TUdevMonitor() {
  if (mon_ != nullptr && c_.monitorUnref) c_.monitorUnref(mon_);
  if (udev_ != nullptr && c_.udevUnref) c_.udevUnref(udev_);
}

bool TUdevMonitor::isListChange(const char* action) {
  return action != nullptr && (std::strcmp(action, "add") == 0 ||
                               std::strcmp(action, "remove") == 0 ||
                               std::strcmp(action, "bind") == 0 ||
                               std::strcmp(action, "unbind") == 0);
}

int TUdevMonitor::takeEvents() {
  if (fd_ < 0) return 0;
  int changes = 0;
  // Bounded: a flood of events cannot hold the user-interface thread.
  for (int i = 0; i < 256; ++i) {
    void* dev = c_.receive(mon_);
    if (dev == nullptr) break;
    if (isListChange(c_.action(dev))) ++changes;
    c_.deviceUnref(dev);
  }
  return changes;
}

}  // namespace tolv
