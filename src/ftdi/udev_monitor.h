#pragma once
// Notice of USB devices plugged in and pulled out, from the system's device manager: libudev
// (libudev.so.1, loaded at run time) on its netlink monitor, filtered to whole USB devices. The
// caller watches fd() for readability and calls takeEvents(); without libudev (or without a
// device manager, as in containers) isActive() is false and the caller lists again on a timer.
#include <string>

#include "ftdi/runtimelibrary.h"

namespace tolv {

class TUdevMonitor {
 public:
  // path: the library to load (the system's libudev.so.1 unless a test hands another).
  explicit TUdevMonitor(const char* path = "libudev.so.1");
  ~TUdevMonitor();
  TUdevMonitor(const TUdevMonitor&) = delete;
  TUdevMonitor& operator=(const TUdevMonitor&) = delete;

  bool isActive() const { return fd_ >= 0; }
  // The monitor's socket, -1 when not active.
  int fd() const { return fd_; }
  // Takes every event waiting, without blocking; returns how many were USB devices added or
  // removed.
  int takeEvents();
  // Why the monitor is not active (empty when it is).
  const std::string& reason() const { return reason_; }

  // Whether an event's action is one the device list changes with.
  static bool isListChange(const char* action);

 private:
  struct Calls {
    void* (*udevNew)() = nullptr;
    void* (*udevUnref)(void*) = nullptr;
    void* (*monitorNew)(void*, const char*) = nullptr;
    int (*filterAdd)(void*, const char*, const char*) = nullptr;
    int (*enable)(void*) = nullptr;
    int (*getFd)(void*) = nullptr;
    void* (*receive)(void*) = nullptr;
    void* (*monitorUnref)(void*) = nullptr;
    const char* (*action)(void*) = nullptr;
    void* (*deviceUnref)(void*) = nullptr;
  };
  TRuntimeLibrary lib_;
  Calls c_;
  void* udev_ = nullptr;
  void* mon_ = nullptr;
  int fd_ = -1;
  std::string reason_;
};

}  // namespace tolv
