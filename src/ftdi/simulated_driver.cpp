#include "ftdi/simulated_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ftdi/driver_factory.h"
#include "ftdi/ftdi_enumeration.h"

namespace tolv {

TSimulatedDriver::TSimulatedDriver(int familyCount, IClock& clock,
                                   const std::filesystem::path& traceDir)
    : clock_(clock), traceDir_(traceDir) {
  if (!traceDir_.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(traceDir_, ec);  // tracing is best effort
  }
  for (int i = 0; i < familyCount; ++i) addDevice(serialFor(i + 1), kFamilyDescription);
}

std::string TSimulatedDriver::serialFor(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "TVS%05d", n % 100000);
  return buf;
}

TSimulatedDevice& TSimulatedDriver::addDevice(const std::string& serial,
                                              const std::string& description, bool firmware) {
  Slot s;
  s.dev = std::make_unique<TSimulatedDevice>(serial, description, clock_, firmware);
  if (!traceDir_.empty()) s.dev->setTraceDir(traceDir_);
  devices_.push_back(std::move(s));
  return *devices_.back().dev;
}

TSimulatedDevice* TSimulatedDriver::deviceBySerial(const std::string& serial) {
  for (auto& s : devices_) {
    if (s.dev->serial() == serial) return s.dev.get();
  }
  return nullptr;
}

void TSimulatedDriver::setLinkRate(LinkRate rate) {
  for (auto& s : devices_) s.dev->setLinkRate(rate);
}

void TSimulatedDriver::failNext(Call kind, FtStatus status) {
  pending_[std::size_t(kind)] = status;
}

void TSimulatedDriver::disconnect(std::size_t i, FtStatus status) {
  if (i < devices_.size()) devices_[i].disconnected = status == kFtOk ? kFtIoError : status;
}

int TSimulatedDriver::openHandles() const {
  int n = 0;
  for (const Slot& s : devices_) n += (s.open ? 1 : 0) + s.staleHandles;
  return n;
}

bool TSimulatedDriver::unplug(std::size_t i, FtStatus status) {
  if (i >= devices_.size() || !devices_[i].present) return false;
  Slot& s = devices_[i];
  s.present = false;
  s.silentlyGone = status == kFtOk;
  s.disconnected = status == kFtOk ? kFtOk : status;
  s.dev->powerOff();
  announce();
  return true;
}

bool TSimulatedDriver::plug(std::size_t i) {
  if (i >= std::size_t(kMaxSimulatedDevices)) return false;
  while (devices_.size() <= i) {
    addDevice(serialFor(int(devices_.size()) + 1), kFamilyDescription);
    if (devices_.size() > i) {
      announce();
      return true;
    }
  }
  Slot& s = devices_[i];
  if (s.present) return false;
  s.present = true;
  s.silentlyGone = false;
  s.disconnected = kFtOk;
  ++s.generation;
  if (s.open) {
    // The handle of the device that went away is dead; the program must close it and open anew.
    s.open = false;
    ++s.staleHandles;
  }
  s.dev->powerOn();
  announce();
  return true;
}

void TSimulatedDriver::setDenied(std::size_t i, bool denied) {
  if (i < devices_.size()) devices_[i].denied = denied;
}

TSimulatedDriver::Slot* TSimulatedDriver::listed(std::uint32_t index) {
  for (Slot& s : devices_) {
    if (!s.present) continue;
    if (index == 0) return &s;
    --index;
  }
  return nullptr;
}

FtStatus TSimulatedDriver::enter(Call kind) {
  const std::size_t k = std::size_t(kind);
  ++calls_[k];
  const FtStatus st = pending_[k];
  pending_[k] = kFtOk;
  return st;
}

namespace {

// Handles are slot numbers + 1 in the low 16 bits and the slot's plug generation above them,
// so a stale or foreign handle is never dereferenced.
constexpr std::uintptr_t kSlotBits = 0xFFFF;
std::uintptr_t slotNumberOf(FtHandle h) { return reinterpret_cast<std::uintptr_t>(h) & kSlotBits; }
std::uint32_t generationOf(FtHandle h) {
  return std::uint32_t(reinterpret_cast<std::uintptr_t>(h) >> 16);
}

}  // namespace

TSimulatedDriver::Slot* TSimulatedDriver::slotOf(FtHandle h, FtStatus& st) {
  const std::uintptr_t n = slotNumberOf(h);
  if (n == 0 || n > devices_.size()) {
    st = kFtInvalidHandle;
    return nullptr;
  }
  Slot& s = devices_[n - 1];
  if (generationOf(h) != s.generation) {
    // Opened before the device was unplugged and plugged again: dead like a real one.
    st = s.staleHandles > 0 ? kFtIoError : kFtInvalidHandle;
    return nullptr;
  }
  if (!s.open) {
    st = kFtInvalidHandle;
    return nullptr;
  }
  if (s.disconnected != kFtOk) {
    st = s.disconnected;
    return nullptr;
  }
  st = kFtOk;
  return &s;
}

FtStatus TSimulatedDriver::listCount(std::uint32_t& count) {
  if (const FtStatus st = enter(Call::ListCount); st != kFtOk) return st;
  count = std::uint32_t(
      std::count_if(devices_.begin(), devices_.end(), [](const Slot& s) { return s.present; }));
  return kFtOk;
}

FtStatus TSimulatedDriver::listText(std::uint32_t index, bool serial, char* buf, std::size_t size) {
  const Slot* slot = listed(index);
  if (slot == nullptr) return kFtDeviceNotFound;
  if (buf == nullptr || size == 0) return kFtInvalidParameter;
  const std::string& text = serial ? slot->dev->serial() : slot->dev->description();
  // Like the vendor driver: the text and its zero byte, as far as the buffer reaches.
  const std::size_t n = std::min(text.size() + 1, size);
  std::memcpy(buf, text.c_str(), n);
  return kFtOk;
}

FtStatus TSimulatedDriver::listSerial(std::uint32_t index, char* buf, std::size_t size) {
  if (const FtStatus st = enter(Call::ListSerial); st != kFtOk) return st;
  return listText(index, true, buf, size);
}

FtStatus TSimulatedDriver::listDescription(std::uint32_t index, char* buf, std::size_t size) {
  if (const FtStatus st = enter(Call::ListDescription); st != kFtOk) return st;
  return listText(index, false, buf, size);
}

FtStatus TSimulatedDriver::openBySerial(const char* serial, FtHandle& handle) {
  if (const FtStatus st = enter(Call::Open); st != kFtOk) return st;
  if (serial == nullptr) return kFtInvalidParameter;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    Slot& s = devices_[i];
    if (s.dev->serial() != serial) continue;
    if (!s.present || s.disconnected != kFtOk) return kFtDeviceNotFound;
    if (s.denied) return kFtDeviceNotOpened;  // the driver's answer when access is refused
    if (s.open) return kFtDeviceNotOpened;  // the driver refuses a second open
    s.open = true;
    handle = reinterpret_cast<FtHandle>(std::uintptr_t(i + 1) |
                                        (std::uintptr_t(s.generation) << 16));
    return kFtOk;
  }
  return kFtDeviceNotFound;
}

FtStatus TSimulatedDriver::purge(FtHandle h, std::uint32_t mask) {
  if (const FtStatus st = enter(Call::Purge); st != kFtOk) return st;
  FtStatus st = kFtOk;
  Slot* s = slotOf(h, st);
  if (s == nullptr) return st;
  if ((mask & kFtPurgeRx) && !s->silentlyGone) s->dev->purgeReceived();
  return kFtOk;
}

FtStatus TSimulatedDriver::setTimeouts(FtHandle h, std::uint32_t, std::uint32_t) {
  if (const FtStatus st = enter(Call::SetTimeouts); st != kFtOk) return st;
  FtStatus st = kFtOk;
  slotOf(h, st);
  return st;
}

FtStatus TSimulatedDriver::getQueueStatus(FtHandle h, std::uint32_t& rxBytes) {
  if (const FtStatus st = enter(Call::QueueStatus); st != kFtOk) return st;
  FtStatus st = kFtOk;
  Slot* s = slotOf(h, st);
  if (s == nullptr) return st;
  if (s->silentlyGone) {
    rxBytes = 0;
    return kFtOk;
  }
  const std::size_t n = s->dev->available();
  rxBytes = std::uint32_t(std::min<std::size_t>(n, UINT32_MAX));
  return kFtOk;
}

FtStatus TSimulatedDriver::read(FtHandle h, std::uint8_t* buf, std::uint32_t toRead,
                                std::uint32_t& got) {
  got = 0;
  if (const FtStatus st = enter(Call::Read); st != kFtOk) return st;
  FtStatus st = kFtOk;
  Slot* s = slotOf(h, st);
  if (s == nullptr) return st;
  if (buf == nullptr && toRead > 0) return kFtInvalidParameter;
  if (s->silentlyGone) return kFtOk;
  // Without waiting: what has not arrived by now counts as a time-out, which is no error.
  got = std::uint32_t(s->dev->take(buf, toRead));
  return kFtOk;
}

FtStatus TSimulatedDriver::write(FtHandle h, const std::uint8_t* buf, std::uint32_t toWrite,
                                 std::uint32_t& written) {
  written = 0;
  if (const FtStatus st = enter(Call::Write); st != kFtOk) return st;
  FtStatus st = kFtOk;
  Slot* s = slotOf(h, st);
  if (s == nullptr) return st;
  if (buf == nullptr && toWrite > 0) return kFtInvalidParameter;
  if (!s->silentlyGone) s->dev->receive(buf, toWrite);
  written = toWrite;
  return kFtOk;
}

FtStatus TSimulatedDriver::close(FtHandle h) {
  if (const FtStatus st = enter(Call::Close); st != kFtOk) return st;
  const std::uintptr_t n = slotNumberOf(h);
  if (n == 0 || n > devices_.size()) return kFtInvalidHandle;
  Slot& s = devices_[n - 1];
  // Closing works even on an unplugged device: it only releases the handle.
  if (generationOf(h) != s.generation) {
    if (s.staleHandles == 0) return kFtInvalidHandle;
    --s.staleHandles;
    return kFtOk;
  }
  if (!s.open) return kFtInvalidHandle;
  s.open = false;
  return kFtOk;
}

}  // namespace tolv
