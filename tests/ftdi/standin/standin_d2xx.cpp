// Stand-in for the vendor's libftd2xx.so, built from the simulated devices, so that tests run
// the dlopen backend end to end. Exports the eight D2XX calls with the vendor's C signatures and
// a few control calls for tests. Built a second time without FT_Close to prove rejection.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/clock.h"
#include "ftdi/simulated_driver.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
using DWORD = std::uint32_t;

tolv::ManualClock& standinClock() {
  static tolv::ManualClock clock;
  return clock;
}

std::unique_ptr<tolv::TSimulatedDriver>& standinDriver() {
  static std::unique_ptr<tolv::TSimulatedDriver> driver;
  return driver;
}

void setup(int familyCount, const char* otherDescription) {
  auto& d = standinDriver();
  d = std::make_unique<tolv::TSimulatedDriver>(familyCount, standinClock());
  if (otherDescription != nullptr) d->addDevice("OTHER001", otherDescription, false);
  d->setLinkRate(tolv::LinkRate::instant());
}

tolv::TSimulatedDriver& drv() {
  if (!standinDriver()) setup(2, "USB Serial Converter");
  return *standinDriver();
}

// The vendor driver writes up to 64 bytes into a list text buffer.
constexpr std::size_t kListText = 64;
}  // namespace

// --- control calls for tests -------------------------------------------------------------------
STANDIN_EXPORT void TolvStandIn_Setup(int familyCount, const char* otherDescription) {
  setup(familyCount, otherDescription);
}
STANDIN_EXPORT void TolvStandIn_AdvanceUs(std::int64_t us) {
  standinClock().advanceUs(us);
}
STANDIN_EXPORT int TolvStandIn_CloseCalls() {
  return drv().calls(tolv::TSimulatedDriver::Call::Close);
}

// --- the D2XX calls ----------------------------------------------------------------------------
STANDIN_EXPORT DWORD FT_ListDevices(void* arg1, void* arg2, DWORD flags) {
  // A program under test cannot call the control functions: a listing that always fails.
  if (const char* st = std::getenv("TOLV_STANDIN_LIST_STATUS")) return DWORD(std::atoi(st));
  if (flags & tolv::kFtListNumberOnly) {
    std::uint32_t n = 0;
    const DWORD st = drv().listCount(n);
    if (st == tolv::kFtOk && arg1 != nullptr) *static_cast<DWORD*>(arg1) = n;
    return st;
  }
  if (flags & tolv::kFtListByIndex) {
    const auto index = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg1));
    char* buf = static_cast<char*>(arg2);
    if ((flags & 3u) == tolv::kFtOpenBySerialNumber) return drv().listSerial(index, buf, kListText);
    if ((flags & 3u) == tolv::kFtOpenByDescription) {
      return drv().listDescription(index, buf, kListText);
    }
  }
  return tolv::kFtInvalidParameter;
}

STANDIN_EXPORT DWORD FT_OpenEx(void* arg, DWORD flags, void** handle) {
  if (flags != tolv::kFtOpenBySerialNumber || handle == nullptr) return tolv::kFtInvalidParameter;
  tolv::FtHandle h = nullptr;
  const DWORD st = drv().openBySerial(static_cast<const char*>(arg), h);
  if (st == tolv::kFtOk) *handle = h;
  return st;
}

STANDIN_EXPORT DWORD FT_Purge(void* h, DWORD mask) {
  return drv().purge(h, mask);
}

STANDIN_EXPORT DWORD FT_SetTimeouts(void* h, DWORD readMs, DWORD writeMs) {
  return drv().setTimeouts(h, readMs, writeMs);
}

STANDIN_EXPORT DWORD FT_GetQueueStatus(void* h, DWORD* rx) {
  std::uint32_t n = 0;
  const DWORD st = drv().getQueueStatus(h, n);
  if (st == tolv::kFtOk && rx != nullptr) *rx = n;
  return st;
}

STANDIN_EXPORT DWORD FT_Read(void* h, void* buf, DWORD toRead, DWORD* got) {
  std::uint32_t n = 0;
  const DWORD st = drv().read(h, static_cast<std::uint8_t*>(buf), toRead, n);
  if (got != nullptr) *got = n;
  return st;
}

STANDIN_EXPORT DWORD FT_Write(void* h, void* buf, DWORD toWrite, DWORD* written) {
  std::uint32_t n = 0;
  const DWORD st = drv().write(h, static_cast<const std::uint8_t*>(buf), toWrite, n);
  if (written != nullptr) *written = n;
  return st;
}

#ifndef TOLV_STANDIN_NO_CLOSE
STANDIN_EXPORT DWORD FT_Close(void* h) {
  return drv().close(h);
}
#endif
