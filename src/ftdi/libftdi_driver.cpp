#include "ftdi/libftdi_driver.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <thread>

namespace tolv {

namespace {
// libftdi1's C interface as far as it is used here. The context and USB device stay opaque,
// except for the leading fields of the context, which the library's users set directly (it
// has no call for the USB time-outs); they have led the structure since the first 1.x release.
struct FtdiContextHead {
  void* usbCtx;
  void* usbDev;
  int usbReadTimeout;
  int usbWriteTimeout;
};
struct FtdiDeviceList {
  FtdiDeviceList* next;
  void* dev;
};

using NewFn = void* (*)();
using FreeFn = void (*)(void*);
using FindAllFn = int (*)(void*, FtdiDeviceList**, int, int);
using ListFreeFn = void (*)(FtdiDeviceList**);
using GetStringsFn = int (*)(void*, void*, char*, int, char*, int, char*, int);
using OpenDevFn = int (*)(void*, void*);
using CloseFn = int (*)(void*);
using FlushFn = int (*)(void*);
using ReadFn = int (*)(void*, unsigned char*, int);
using WriteFn = int (*)(void*, const unsigned char*, int);
using SetLatencyFn = int (*)(void*, unsigned char);
using SetChunkFn = int (*)(void*, unsigned int);

// Room for the longest USB string descriptor text.
constexpr int kStringBuffer = 256;
// libftdi1's "USB device unavailable" and libusb's time-out.
constexpr int kRcDeviceUnavailable = -666;
constexpr int kRcUsbTimeout = -7;
}  // namespace

struct TLibFtdiDriver::Functions {
  NewFn ftdiNew = nullptr;
  FreeFn ftdiFree = nullptr;
  FindAllFn findAll = nullptr;
  ListFreeFn listFree = nullptr;
  GetStringsFn getStrings = nullptr;
  OpenDevFn openDev = nullptr;
  CloseFn usbClose = nullptr;
  ReadFn readData = nullptr;
  WriteFn writeData = nullptr;
  // Optional: the receive flush under its current name (older releases have only the
  // deprecated one), the latency timer and the read chunk size.
  FlushFn tciflush = nullptr;
  FlushFn purgeRxOld = nullptr;
  FlushFn tcoflush = nullptr;
  SetLatencyFn setLatency = nullptr;
  SetChunkFn setChunk = nullptr;
};

struct TLibFtdiDriver::Connection {
  void* ctx = nullptr;
  std::unique_ptr<std::uint8_t[]> buf{new std::uint8_t[kReceiveCapacity]};
  std::uint32_t head = 0;  // first unread byte
  std::uint32_t tail = 0;  // one past the last buffered byte
  std::uint32_t readTimeoutMs = 500;
  std::uint32_t size() const { return tail - head; }
};

TLibFtdiDriver::TLibFtdiDriver() {
  if (!load("libftdi1.so.2")) load("libftdi1.so");
}

TLibFtdiDriver::TLibFtdiDriver(const std::string& libraryPath) {
  load(libraryPath.c_str());
}

TLibFtdiDriver::~TLibFtdiDriver() {
  // Devices the caller left open are released so the USB interface is free for the next user.
  while (!open_.empty()) close(open_.back().get());
  fns_.reset();
}

bool TLibFtdiDriver::load(const char* path) {
  if (!lib_.open(path)) return false;
  auto fns = std::make_unique<Functions>();
  lib_.bind(fns->ftdiNew, "ftdi_new");
  lib_.bind(fns->ftdiFree, "ftdi_free");
  lib_.bind(fns->findAll, "ftdi_usb_find_all");
  lib_.bind(fns->listFree, "ftdi_list_free");
  lib_.bind(fns->getStrings, "ftdi_usb_get_strings");
  lib_.bind(fns->openDev, "ftdi_usb_open_dev");
  lib_.bind(fns->usbClose, "ftdi_usb_close");
  lib_.bind(fns->readData, "ftdi_read_data");
  lib_.bind(fns->writeData, "ftdi_write_data");
  lib_.bind(fns->tciflush, "ftdi_tciflush", false);
  lib_.bind(fns->purgeRxOld, "ftdi_usb_purge_rx_buffer", false);
  lib_.bind(fns->tcoflush, "ftdi_tcoflush", false);
  lib_.bind(fns->setLatency, "ftdi_set_latency_timer", false);
  lib_.bind(fns->setChunk, "ftdi_read_data_set_chunksize", false);
  lib_.requireEither(fns->tciflush != nullptr || fns->purgeRxOld != nullptr, "ftdi_tciflush");
  if (!lib_.finish()) return false;
  fns_ = std::move(fns);
  return true;
}

FtStatus TLibFtdiDriver::mapListResult(int rc) {
  if (rc >= 0) return kFtOk;
  return rc == -3 ? kFtInsufficientResources : kFtIoError;
}

FtStatus TLibFtdiDriver::mapStringsResult(int rc) {
  if (rc >= 0) return kFtOk;
  if (rc == -1) return kFtInvalidParameter;
  // -4: the device could not be opened to read its strings, mostly missing access rights.
  return rc == -4 ? kFtDeviceNotOpened : kFtIoError;
}

FtStatus TLibFtdiDriver::mapOpenResult(int rc) {
  if (rc >= 0) return kFtOk;
  switch (rc) {
    case -4:   // no access to the device
    case -5:   // interface claimed by someone else
    case -11:  // kernel driver would not let go
      return kFtDeviceNotOpened;
    case -8:
      return kFtInvalidHandle;
    default:
      return kFtIoError;
  }
}

FtStatus TLibFtdiDriver::mapTransferResult(int rc) {
  if (rc >= 0) return kFtOk;
  return rc == kRcDeviceUnavailable ? kFtInvalidHandle : kFtIoError;
}

FtStatus TLibFtdiDriver::scan() {
  rows_.clear();
  void* ctx = fns_->ftdiNew();
  if (ctx == nullptr) return kFtInsufficientResources;
  FtdiDeviceList* list = nullptr;
  // Vendor and product 0 ask for FTDI's own vendor id 0x0403 with its standard product ids.
  const int n = fns_->findAll(ctx, &list, 0, 0);
  FtStatus st = mapListResult(n);
  if (st == kFtOk) {
    for (FtdiDeviceList* d = list; d != nullptr; d = d->next) {
      char desc[kStringBuffer] = {};
      char serial[kStringBuffer] = {};
      const int rc = fns_->getStrings(ctx, d->dev, nullptr, 0, desc, kStringBuffer, serial,
                                      kStringBuffer);
      desc[kStringBuffer - 1] = serial[kStringBuffer - 1] = '\0';
      Row row;
      row.status = mapStringsResult(rc);
      if (row.status == kFtOk) {
        row.serial = serial;
        row.description = desc;
      }
      rows_.push_back(std::move(row));
    }
  }
  if (list != nullptr) fns_->listFree(&list);
  fns_->ftdiFree(ctx);
  return st;
}

FtStatus TLibFtdiDriver::listCount(std::uint32_t& count) {
  if (!fns_) {
    count = 0;
    return kFtOk;
  }
  const FtStatus st = scan();
  if (st == kFtOk) count = static_cast<std::uint32_t>(rows_.size());
  return st;
}

FtStatus TLibFtdiDriver::listText(std::uint32_t index, bool serial, char* buf, std::size_t size) {
  if (!fns_) return kFtDeviceNotFound;
  if (buf == nullptr || size == 0) return kFtInvalidParameter;
  // The texts come from the last count; a caller that never counted gets a fresh scan.
  if (rows_.empty() && scan() != kFtOk) return kFtIoError;
  if (index >= rows_.size()) return kFtDeviceNotFound;
  const Row& row = rows_[index];
  if (row.status != kFtOk) return row.status;
  const std::string& text = serial ? row.serial : row.description;
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return kFtOk;
}

FtStatus TLibFtdiDriver::listSerial(std::uint32_t index, char* buf, std::size_t size) {
  return listText(index, true, buf, size);
}

FtStatus TLibFtdiDriver::listDescription(std::uint32_t index, char* buf, std::size_t size) {
  return listText(index, false, buf, size);
}

FtStatus TLibFtdiDriver::openBySerial(const char* serial, FtHandle& handle) {
  if (!fns_) return kFtDeviceNotFound;
  if (serial == nullptr) return kFtInvalidParameter;
  void* ctx = fns_->ftdiNew();
  if (ctx == nullptr) return kFtInsufficientResources;
  FtdiDeviceList* list = nullptr;
  const int n = fns_->findAll(ctx, &list, 0, 0);
  FtStatus st = mapListResult(n);
  if (st == kFtOk) {
    st = kFtDeviceNotFound;
    bool unreadable = false;
    for (FtdiDeviceList* d = list; d != nullptr; d = d->next) {
      char text[kStringBuffer] = {};
      const int rc = fns_->getStrings(ctx, d->dev, nullptr, 0, nullptr, 0, text, kStringBuffer);
      text[kStringBuffer - 1] = '\0';
      if (rc < 0) {
        unreadable = unreadable || mapStringsResult(rc) == kFtDeviceNotOpened;
        continue;
      }
      if (std::strcmp(text, serial) != 0) continue;
      st = mapOpenResult(fns_->openDev(ctx, d->dev));
      break;
    }
    // The device may be among those we are not allowed to look at.
    if (st == kFtDeviceNotFound && unreadable) st = kFtDeviceNotOpened;
  }
  if (list != nullptr) fns_->listFree(&list);
  if (st != kFtOk) {
    fns_->ftdiFree(ctx);
    return st;
  }
  // A short latency lets small replies through at once instead of after the chip's 16 ms.
  if (fns_->setLatency != nullptr) fns_->setLatency(ctx, 2);
  if (fns_->setChunk != nullptr) fns_->setChunk(ctx, 65536);
  auto c = std::make_unique<Connection>();
  c->ctx = ctx;
  handle = c.get();
  open_.push_back(std::move(c));
  return kFtOk;
}

TLibFtdiDriver::Connection* TLibFtdiDriver::connectionOf(FtHandle h) {
  // Only handles this driver gave out are used; anything else is refused, never dereferenced.
  for (const auto& c : open_)
    if (c.get() == h) return c.get();
  return nullptr;
}

FtStatus TLibFtdiDriver::purge(FtHandle h, std::uint32_t mask) {
  Connection* c = fns_ ? connectionOf(h) : nullptr;
  if (c == nullptr) return kFtInvalidHandle;
  int rc = 0;
  if ((mask & kFtPurgeRx) != 0) {
    c->head = c->tail = 0;
    rc = fns_->tciflush != nullptr ? fns_->tciflush(c->ctx) : fns_->purgeRxOld(c->ctx);
  }
  if (rc >= 0 && (mask & kFtPurgeTx) != 0 && fns_->tcoflush != nullptr) rc = fns_->tcoflush(c->ctx);
  if (rc >= 0) return kFtOk;
  return rc == -2 ? kFtInvalidHandle : kFtIoError;
}

FtStatus TLibFtdiDriver::setTimeouts(FtHandle h, std::uint32_t readMs, std::uint32_t writeMs) {
  Connection* c = fns_ ? connectionOf(h) : nullptr;
  if (c == nullptr) return kFtInvalidHandle;
  auto* head = static_cast<FtdiContextHead*>(c->ctx);
  head->usbReadTimeout = static_cast<int>(std::min<std::uint32_t>(readMs, INT_MAX));
  head->usbWriteTimeout = static_cast<int>(std::min<std::uint32_t>(writeMs, INT_MAX));
  c->readTimeoutMs = readMs;
  return kFtOk;
}

FtStatus TLibFtdiDriver::pull(Connection& c, std::uint32_t& got) {
  got = 0;
  if (c.head > 0 && kReceiveCapacity - c.tail < kPullLimit) {
    std::memmove(c.buf.get(), c.buf.get() + c.head, c.size());
    c.tail -= c.head;
    c.head = 0;
  }
  if (c.head == c.tail) c.head = c.tail = 0;
  const std::uint32_t room = std::min(kReceiveCapacity - c.tail, kPullLimit);
  if (room == 0) return kFtOk;
  const int rc = fns_->readData(c.ctx, c.buf.get() + c.tail, static_cast<int>(room));
  if (rc == kRcUsbTimeout) return kFtOk;  // nothing arrived in time: nothing waiting
  if (rc < 0) return mapTransferResult(rc);
  got = std::min(static_cast<std::uint32_t>(rc), room);
  c.tail += got;
  return kFtOk;
}

FtStatus TLibFtdiDriver::getQueueStatus(FtHandle h, std::uint32_t& rxBytes) {
  Connection* c = fns_ ? connectionOf(h) : nullptr;
  if (c == nullptr) return kFtInvalidHandle;
  std::uint32_t got = 0;
  const FtStatus st = pull(*c, got);
  if (st != kFtOk) return st;
  rxBytes = c->size();
  return kFtOk;
}

FtStatus TLibFtdiDriver::read(FtHandle h, std::uint8_t* buf, std::uint32_t toRead,
                              std::uint32_t& got) {
  got = 0;
  Connection* c = fns_ ? connectionOf(h) : nullptr;
  if (c == nullptr) return kFtInvalidHandle;
  if (buf == nullptr && toRead > 0) return kFtInvalidParameter;
  // Like the vendor driver: wait up to the read time-out for the bytes asked for, then hand
  // over what is there with success.
  FtStatus st = kFtOk;
  if (c->size() < toRead) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(c->readTimeoutMs);
    while (c->size() < toRead) {
      std::uint32_t n = 0;
      st = pull(*c, n);
      if (st != kFtOk || c->size() == kReceiveCapacity) break;
      if (std::chrono::steady_clock::now() >= deadline) break;
      if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  const std::uint32_t n = std::min(c->size(), toRead);
  // Bytes already received are delivered even when the device failed since; the failure
  // shows on the next call.
  if (n == 0 && st != kFtOk) return st;
  if (n > 0) std::memcpy(buf, c->buf.get() + c->head, n);
  c->head += n;
  got = n;
  return kFtOk;
}

FtStatus TLibFtdiDriver::write(FtHandle h, const std::uint8_t* buf, std::uint32_t toWrite,
                               std::uint32_t& written) {
  written = 0;
  Connection* c = fns_ ? connectionOf(h) : nullptr;
  if (c == nullptr) return kFtInvalidHandle;
  if (toWrite > static_cast<std::uint32_t>(INT_MAX)) return kFtInvalidParameter;
  const int rc = fns_->writeData(c->ctx, buf, static_cast<int>(toWrite));
  if (rc < 0) return mapTransferResult(rc);
  written = std::min(static_cast<std::uint32_t>(rc), toWrite);
  return kFtOk;
}

FtStatus TLibFtdiDriver::close(FtHandle h) {
  Connection* c = fns_ ? connectionOf(h) : nullptr;
  if (c == nullptr) return kFtInvalidHandle;
  const int rc = fns_->usbClose(c->ctx);
  fns_->ftdiFree(c->ctx);
  open_.erase(std::find_if(open_.begin(), open_.end(),
                           [c](const auto& p) { return p.get() == c; }));
  return rc >= 0 ? kFtOk : kFtIoError;
}

}  // namespace tolv
