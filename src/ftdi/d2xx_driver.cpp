#include "ftdi/d2xx_driver.h"

#include <cstdint>
#include <cstring>

namespace tolv {

namespace {
// The vendor's prototypes as they are on Linux x86-64: DWORD, ULONG and FT_STATUS are 32-bit
// unsigned, FT_HANDLE and PVOID are pointers.
using DWORD = std::uint32_t;
using FtListDevicesFn = DWORD (*)(void*, void*, DWORD);
using FtOpenExFn = DWORD (*)(void*, DWORD, void**);
using FtPurgeFn = DWORD (*)(void*, DWORD);
using FtSetTimeoutsFn = DWORD (*)(void*, DWORD, DWORD);
using FtGetQueueStatusFn = DWORD (*)(void*, DWORD*);
using FtReadFn = DWORD (*)(void*, void*, DWORD, DWORD*);
using FtWriteFn = DWORD (*)(void*, void*, DWORD, DWORD*);
using FtCloseFn = DWORD (*)(void*);

// Larger than anything the driver writes into a list text (it may write up to 64 bytes).
constexpr std::size_t kDriverTextBuffer = 128;
}  // namespace

struct TD2xxDriver::Functions {
  FtListDevicesFn listDevices = nullptr;
  FtOpenExFn openEx = nullptr;
  FtPurgeFn purge = nullptr;
  FtSetTimeoutsFn setTimeouts = nullptr;
  FtGetQueueStatusFn getQueueStatus = nullptr;
  FtReadFn read = nullptr;
  FtWriteFn write = nullptr;
  FtCloseFn close = nullptr;
};

TD2xxDriver::TD2xxDriver() {
  if (!load("libftd2xx.so")) load("/usr/local/lib/libftd2xx.so");
}

TD2xxDriver::TD2xxDriver(const std::string& libraryPath) {
  load(libraryPath.c_str());
}

TD2xxDriver::~TD2xxDriver() = default;

bool TD2xxDriver::load(const char* path) {
  if (!lib_.open(path)) return false;
  auto fns = std::make_unique<Functions>();
  lib_.bind(fns->listDevices, "FT_ListDevices");
  lib_.bind(fns->openEx, "FT_OpenEx");
  lib_.bind(fns->purge, "FT_Purge");
  lib_.bind(fns->setTimeouts, "FT_SetTimeouts");
  lib_.bind(fns->getQueueStatus, "FT_GetQueueStatus");
  lib_.bind(fns->read, "FT_Read");
  lib_.bind(fns->write, "FT_Write");
  lib_.bind(fns->close, "FT_Close");
  if (!lib_.finish()) return false;
  fns_ = std::move(fns);
  return true;
}

FtStatus TD2xxDriver::listCount(std::uint32_t& count) {
  if (!fns_) {
    count = 0;
    return kFtOk;
  }
  DWORD n = 0;
  const FtStatus st = fns_->listDevices(&n, nullptr, kFtListNumberOnly);
  if (st == kFtOk) count = n;
  return st;
}

FtStatus TD2xxDriver::listText(std::uint32_t index, std::uint32_t flags, char* buf,
                               std::size_t size) {
  if (!fns_) return kFtDeviceNotFound;
  if (buf == nullptr || size == 0) return kFtInvalidParameter;
  // The driver gets a buffer larger than it ever fills; the caller's may be smaller.
  char text[kDriverTextBuffer] = {};
  const auto arg = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
  const FtStatus st = fns_->listDevices(arg, text, flags);
  text[kDriverTextBuffer - 1] = '\0';
  if (st == kFtOk) {
    const std::size_t n = size < kDriverTextBuffer ? size : kDriverTextBuffer;
    std::memcpy(buf, text, n);
  }
  return st;
}

FtStatus TD2xxDriver::listSerial(std::uint32_t index, char* buf, std::size_t size) {
  return listText(index, kFtListByIndex | kFtOpenBySerialNumber, buf, size);
}

FtStatus TD2xxDriver::listDescription(std::uint32_t index, char* buf, std::size_t size) {
  return listText(index, kFtListByIndex | kFtOpenByDescription, buf, size);
}

FtStatus TD2xxDriver::openBySerial(const char* serial, FtHandle& handle) {
  if (!fns_) return kFtDeviceNotFound;
  void* h = nullptr;
  // The vendor's prototype takes a non-const pointer but only reads the text.
  const FtStatus st = fns_->openEx(const_cast<char*>(serial), kFtOpenBySerialNumber, &h);
  if (st == kFtOk) handle = h;
  return st;
}

FtStatus TD2xxDriver::purge(FtHandle h, std::uint32_t mask) {
  return fns_ ? fns_->purge(h, mask) : kFtInvalidHandle;
}

FtStatus TD2xxDriver::setTimeouts(FtHandle h, std::uint32_t readMs, std::uint32_t writeMs) {
  return fns_ ? fns_->setTimeouts(h, readMs, writeMs) : kFtInvalidHandle;
}

FtStatus TD2xxDriver::getQueueStatus(FtHandle h, std::uint32_t& rxBytes) {
  if (!fns_) return kFtInvalidHandle;
  DWORD n = 0;
  const FtStatus st = fns_->getQueueStatus(h, &n);
  if (st == kFtOk) rxBytes = n;
  return st;
}

FtStatus TD2xxDriver::read(FtHandle h, std::uint8_t* buf, std::uint32_t toRead,
                           std::uint32_t& got) {
  got = 0;
  if (!fns_) return kFtInvalidHandle;
  DWORD n = 0;
  const FtStatus st = fns_->read(h, buf, toRead, &n);
  got = n <= toRead ? n : toRead;
  return st;
}

FtStatus TD2xxDriver::write(FtHandle h, const std::uint8_t* buf, std::uint32_t toWrite,
                            std::uint32_t& written) {
  written = 0;
  if (!fns_) return kFtInvalidHandle;
  DWORD n = 0;
  // The vendor's prototype takes a non-const buffer but only reads it.
  const FtStatus st = fns_->write(h, const_cast<std::uint8_t*>(buf), toWrite, &n);
  written = n <= toWrite ? n : toWrite;
  return st;
}

FtStatus TD2xxDriver::close(FtHandle h) {
  return fns_ ? fns_->close(h) : kFtInvalidHandle;
}

}  // namespace tolv
