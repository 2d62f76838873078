#include "ftdi/simulated_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
  return int(std::count_if(devices_.begin(), devices_.end(), [](const Slot& s) { return s.open; }));
}

FtStatus TSimulatedDriver::enter(Call kind) {
  const std::size_t k = std::size_t(kind);
  ++calls_[k];
  const FtStatus st = pending_[k];
  pending_[k] = kFtOk;
  return st;
}

// Handles are slot numbers + 1, so a stale or foreign handle is never dereferenced.
TSimulatedDriver::Slot* TSimulatedDriver::slotOf(FtHandle h, FtStatus& st) {
  const auto n = reinterpret_cast<std::uintptr_t>(h);
  if (n == 0 || n > devices_.size() || !devices_[n - 1].open) {
    st = kFtInvalidHandle;
    return nullptr;
  }
  Slot& s = devices_[n - 1];
  if (s.disconnected != kFtOk) {
    st = s.disconnected;
    return nullptr;
  }
  st = kFtOk;
  return &s;
}

FtStatus TSimulatedDriver::listCount(std::uint32_t& count) {
  if (const FtStatus st = enter(Call::ListCount); st != kFtOk) return st;
  count = std::uint32_t(devices_.size());
  return kFtOk;
}

FtStatus TSimulatedDriver::listText(std::uint32_t index, bool serial, char* buf, std::size_t size) {
  if (index >= devices_.size()) return kFtDeviceNotFound;
  if (buf == nullptr || size == 0) return kFtInvalidParameter;
  const std::string& text =
      serial ? devices_[index].dev->serial() : devices_[index].dev->description();
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
    if (s.disconnected != kFtOk) return kFtDeviceNotFound;
    if (s.open) return kFtDeviceNotOpened;  // the driver refuses a second open
    s.open = true;
    handle = reinterpret_cast<FtHandle>(std::uintptr_t(i + 1));
    return kFtOk;
  }
  return kFtDeviceNotFound;
}

FtStatus TSimulatedDriver::purge(FtHandle h, std::uint32_t mask) {
  if (const FtStatus st = enter(Call::Purge); st != kFtOk) return st;
  FtStatus st = kFtOk;
  Slot* s = slotOf(h, st);
  if (s == nullptr) return st;
  if (mask & kFtPurgeRx) s->dev->purgeReceived();
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
  s->dev->receive(buf, toWrite);
  written = toWrite;
  return kFtOk;
}

FtStatus TSimulatedDriver::close(FtHandle h) {
  if (const FtStatus st = enter(Call::Close); st != kFtOk) return st;
  const auto n = reinterpret_cast<std::uintptr_t>(h);
  if (n == 0 || n > devices_.size() || !devices_[n - 1].open) return kFtInvalidHandle;
  // Closing works even on an unplugged device: it only releases the handle.
  devices_[n - 1].open = false;
  return kFtOk;
}

}  // namespace tolv
