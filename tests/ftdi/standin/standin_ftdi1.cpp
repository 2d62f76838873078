// Stand-in for libftdi1.so.2 built from the simulated devices, so that tests run the libftdi1
// backend end to end. Exports the libftdi1 calls the backend uses with their C signatures and
// control calls for tests, among them one-shot negative results as libftdi1 returns them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "common/clock.h"
#include "ftdi/simulated_driver.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Leads with the fields libftdi1's context starts with; the backend writes the time-outs there.
struct Context {
  void* usbCtx = nullptr;
  void* usbDev = nullptr;
  int usbReadTimeout = 5000;
  int usbWriteTimeout = 5000;
  tolv::FtHandle sim = nullptr;
  int latency = 16;
};

struct DeviceList {
  DeviceList* next;
  void* dev;
};

// Simulated devices either on a clock the tests step, or, for the program, on the real one.
tolv::IClock& standinClock() {
  static tolv::ManualClock manual;
  if (std::getenv("TOLV_STANDIN_SYSTEM_CLOCK") != nullptr) return tolv::SystemClock::instance();
  return manual;
}
tolv::ManualClock* manualClock() {
  return dynamic_cast<tolv::ManualClock*>(&standinClock());
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

std::map<std::string, int>& failures() {
  static std::map<std::string, int> f;
  return f;
}
int takeFailure(const char* fn) {
  auto it = failures().find(fn);
  if (it == failures().end()) return 0;
  const int rc = it->second;
  failures().erase(it);
  return rc;
}

int gOpenContexts = 0;
int gFlushes = 0;
int gLastReadTimeout = 0;
int gLastWriteTimeout = 0;
int gLastLatency = 0;

// The device index travels as the opaque USB device pointer (offset by one: never null).
void* devOf(std::uint32_t index) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(index) + 1);
}
std::uint32_t indexOf(void* dev) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(dev) - 1);
}

int readOut(tolv::FtHandle h, unsigned char* buf, int size) {
  std::uint32_t waiting = 0;
  if (drv().getQueueStatus(h, waiting) != tolv::kFtOk) return -4;  // LIBUSB_ERROR_NO_DEVICE
  const std::uint32_t want = std::min<std::uint32_t>(waiting, static_cast<std::uint32_t>(size));
  if (want == 0) return 0;
  std::uint32_t got = 0;
  if (drv().read(h, buf, want, got) != tolv::kFtOk) return -4;
  return static_cast<int>(got);
}

}  // namespace

// --- control calls for tests -------------------------------------------------------------------
STANDIN_EXPORT void TolvStandIn_Setup(int familyCount, const char* otherDescription) {
  setup(familyCount, otherDescription);
}
STANDIN_EXPORT void TolvStandIn_AdvanceUs(std::int64_t us) {
  if (auto* c = manualClock()) c->advanceUs(us);
}
STANDIN_EXPORT int TolvStandIn_CloseCalls() {
  return drv().calls(tolv::TSimulatedDriver::Call::Close);
}
// The next call of the named libftdi1 function returns rc (negative) without doing anything.
STANDIN_EXPORT void TolvStandIn_FailNext(const char* function, int rc) {
  failures()[function] = rc;
}
STANDIN_EXPORT void TolvStandIn_Disconnect(int deviceIndex) {
  drv().disconnect(static_cast<std::size_t>(deviceIndex));
}
// Hot-plug: the cable pulled (the device leaves the bus list), plugged in again, access denied.
STANDIN_EXPORT void TolvStandIn_Unplug(int deviceIndex) {
  drv().unplug(static_cast<std::size_t>(deviceIndex));
}
STANDIN_EXPORT void TolvStandIn_Plug(int deviceIndex) {
  drv().plug(static_cast<std::size_t>(deviceIndex));
}
STANDIN_EXPORT void TolvStandIn_Deny(int deviceIndex, int denied) {
  drv().setDenied(static_cast<std::size_t>(deviceIndex), denied != 0);
}
// 0 open contexts, 1 receive flushes, 2/3 read/write time-out and 4 latency of the last open.
STANDIN_EXPORT int TolvStandIn_Probe(int what) {
  switch (what) {
    case 0: return gOpenContexts;
    case 1: return gFlushes;
    case 2: return gLastReadTimeout;
    case 3: return gLastWriteTimeout;
    default: return gLastLatency;
  }
}

// --- the libftdi1 calls ------------------------------------------------------------------------
STANDIN_EXPORT void* ftdi_new() {
  if (takeFailure("ftdi_new") != 0) return nullptr;
  ++gOpenContexts;
  return new Context;
}

STANDIN_EXPORT void ftdi_free(void* ctx) {
  if (ctx == nullptr) return;
  --gOpenContexts;
  delete static_cast<Context*>(ctx);
}

STANDIN_EXPORT int ftdi_usb_find_all(void* ctx, DeviceList** list, int vendor, int product) {
  if (ctx == nullptr || list == nullptr) return -1;
  if (const int rc = takeFailure("ftdi_usb_find_all")) return rc;
  // The backend asks for FTDI's standard ids; anything else finds nothing here.
  if (vendor != 0 || product != 0) return 0;
  std::uint32_t n = 0;
  drv().listCount(n);
  *list = nullptr;
  DeviceList** tail = list;
  for (std::uint32_t i = 0; i < n; ++i) {
    *tail = new DeviceList{nullptr, devOf(i)};
    tail = &(*tail)->next;
  }
  return static_cast<int>(n);
}

STANDIN_EXPORT void ftdi_list_free(DeviceList** list) {
  if (list == nullptr) return;
  for (DeviceList* d = *list; d != nullptr;) {
    DeviceList* next = d->next;
    delete d;
    d = next;
  }
  *list = nullptr;
}

STANDIN_EXPORT int ftdi_usb_get_strings(void* ctx, void* dev, char* manufacturer, int mnfLen,
                                        char* description, int descLen, char* serial,
                                        int serialLen) {
  if (ctx == nullptr || dev == nullptr) return -1;
  if (const int rc = takeFailure("ftdi_usb_get_strings")) return rc;
  const std::uint32_t i = indexOf(dev);
  char text[tolv::kFtListBufferSize] = {};
  if (manufacturer != nullptr && mnfLen > 0) std::snprintf(manufacturer, mnfLen, "FTDI");
  if (description != nullptr && descLen > 0) {
    if (drv().listDescription(i, text, sizeof text) != tolv::kFtOk) return -9;
    std::snprintf(description, descLen, "%s", text);
  }
  if (serial != nullptr && serialLen > 0) {
    if (drv().listSerial(i, text, sizeof text) != tolv::kFtOk) return -9;
    std::snprintf(serial, serialLen, "%s", text);
  }
  return 0;
}

STANDIN_EXPORT int ftdi_usb_open_dev(void* ctx, void* dev) {
  auto* c = static_cast<Context*>(ctx);
  if (c == nullptr) return -8;
  if (const int rc = takeFailure("ftdi_usb_open_dev")) return rc;
  char serial[tolv::kFtListBufferSize] = {};
  if (drv().listSerial(indexOf(dev), serial, sizeof serial) != tolv::kFtOk) return -4;
  if (drv().openBySerial(serial, c->sim) != tolv::kFtOk) return -4;
  c->usbDev = c;
  return 0;
}

STANDIN_EXPORT int ftdi_usb_close(void* ctx) {
  auto* c = static_cast<Context*>(ctx);
  if (c == nullptr || c->usbDev == nullptr) return -3;
  gLastReadTimeout = c->usbReadTimeout;
  gLastWriteTimeout = c->usbWriteTimeout;
  gLastLatency = c->latency;
  drv().close(c->sim);
  c->usbDev = nullptr;
  return 0;
}

STANDIN_EXPORT int ftdi_tciflush(void* ctx) {
  auto* c = static_cast<Context*>(ctx);
  if (c == nullptr || c->usbDev == nullptr) return -2;
  if (const int rc = takeFailure("ftdi_tciflush")) return rc;
  ++gFlushes;
  return drv().purge(c->sim, tolv::kFtPurgeRx) == tolv::kFtOk ? 0 : -1;
}

STANDIN_EXPORT int ftdi_set_latency_timer(void* ctx, unsigned char latency) {
  auto* c = static_cast<Context*>(ctx);
  if (c == nullptr || latency < 1) return -1;
  c->latency = latency;
  return 0;
}

// Returns what the simulated device has ready, never waiting: like libftdi1 when the chip
// answers with no payload.
STANDIN_EXPORT int ftdi_read_data(void* ctx, unsigned char* buf, int size) {
  auto* c = static_cast<Context*>(ctx);
  if (c == nullptr || c->usbDev == nullptr) return -666;
  if (const int rc = takeFailure("ftdi_read_data")) return rc;
  return readOut(c->sim, buf, size);
}

STANDIN_EXPORT int ftdi_write_data(void* ctx, const unsigned char* buf, int size) {
  auto* c = static_cast<Context*>(ctx);
  if (c == nullptr || c->usbDev == nullptr) return -666;
  if (const int rc = takeFailure("ftdi_write_data")) return rc;
  std::uint32_t n = 0;
  if (drv().write(c->sim, buf, static_cast<std::uint32_t>(size), n) != tolv::kFtOk) return -4;
  return static_cast<int>(n);
}
