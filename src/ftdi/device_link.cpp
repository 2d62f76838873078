#include "ftdi/device_link.h"

#include <algorithm>
#include <cstring>

namespace tolv {

TDeviceLink::TDeviceLink(IFtdiDriver& driver)
    : driver_(driver),
      receive_(new std::uint8_t[kBufferSize]()),
      accumulation_(new std::uint8_t[kBufferSize]()) {}

TDeviceLink::~TDeviceLink() = default;

void TDeviceLink::setSerialNumber(const QString& serial) {
  serial_ = serial;
  const QByteArray bytes = serial.toLatin1();
  const std::size_t n =
      std::min<std::size_t>(static_cast<std::size_t>(bytes.size()), kSerialBufferSize - 1);
  std::memset(serialBuffer_, 0, sizeof serialBuffer_);
  std::memcpy(serialBuffer_, bytes.constData(), n);
  changed(Change::Serial);
}

FtStatus TDeviceLink::open() {
  // A second open must not leak the handle of the first.
  if (handle_ != nullptr) close();
  // The handle is taken only from a successful open, so a failed open leaves nothing to close.
  FtHandle h = nullptr;
  FtStatus st = driver_.openBySerial(serialBuffer_, h);
  if (st != kFtOk) return st;
  handle_ = h;
  st = driver_.purge(handle_, kFtPurgeRx);
  if (st != kFtOk) return st;
  st = driver_.setTimeouts(handle_, kTimeoutMs, kTimeoutMs);
  if (st != kFtOk) return st;
  open_ = true;
  // A device plugged in again starts with clean panels: the old failures were the cable's.
  if (lost_) {
    lost_ = false;
    lostStatus_ = kFtOk;
    writePanel_ = PanelState::Initial;
    writeStatus_ = kFtOk;
    changed(Change::WritePanel);
  }
  readPanel_ = PanelState::Green;
  changed(Change::ReadPanel);
  changed(Change::Opened);
  return kFtOk;
}

FtStatus TDeviceLink::close() {
  if (handle_ == nullptr) return kFtOk;
  const FtStatus st = driver_.close(handle_);
  handle_ = nullptr;
  open_ = false;
  changed(Change::Closed);
  return st;
}

bool TDeviceLink::listedNow() {
  std::uint32_t count = 0;
  if (driver_.listCount(count) != kFtOk) return true;  // cannot tell: not taken as gone
  char buf[kFtListBufferSize];
  for (std::uint32_t i = 0; i < count; ++i) {
    std::memset(buf, 0, sizeof buf);
    if (driver_.listSerial(i, buf, sizeof buf) != kFtOk) continue;
    buf[kSerialBufferSize - 1] = '\0';
    if (std::strcmp(buf, serialBuffer_) == 0) return true;
  }
  return false;
}

bool TDeviceLink::handleDead() {
  if (!open_ || handle_ == nullptr) return false;
  // A harmless call first: it takes no bytes, so a transfer in progress goes on undisturbed.
  std::uint32_t waiting = 0;
  if (!isGoneStatus(driver_.getQueueStatus(handle_, waiting))) return false;
  // Drivers refuse a second open of a device that is open: one that opens belongs to another
  // connection than ours, so ours is dead.
  FtHandle fresh = nullptr;
  const FtStatus st = driver_.openBySerial(serialBuffer_, fresh);
  if (st == kFtOk) {
    driver_.close(fresh);
    return true;
  }
  return st == kFtDeviceNotOpened;
}

void TDeviceLink::markLost(FtStatus status) {
  if (lost_) return;
  lost_ = true;
  lostStatus_ = status;
  // The dead handle is released at once: the driver frees it, and a device plugged in again
  // is opened afresh.
  close();
  changed(Change::Lost);
}

FtStatus TDeviceLink::writeCommand(std::uint32_t n) {
  bytesToWrite_ = std::min<std::uint32_t>(n, kTransmitSize);
  bytesWritten_ = 0;
  const FtStatus st = driver_.write(handle_, transmit_, bytesToWrite_, bytesWritten_);
  if (st != kFtOk) {
    writePanel_ = PanelState::Red;
    writeStatus_ = st;
    changed(Change::WritePanel);
  }
  return st;
}

FtStatus TDeviceLink::writeBytes(std::span<const std::uint8_t> bytes) {
  const std::size_t n = std::min(bytes.size(), kTransmitSize);
  if (n > 0) std::memcpy(transmit_, bytes.data(), n);
  return writeCommand(static_cast<std::uint32_t>(n));
}

FtStatus TDeviceLink::writeWords(std::initializer_list<std::uint32_t> words) {
  std::uint32_t n = 0;
  for (std::uint32_t w : words) {
    if (n + 4 > kTransmitSize) break;
    transmit_[n] = static_cast<std::uint8_t>(w);
    transmit_[n + 1] = static_cast<std::uint8_t>(w >> 8);
    transmit_[n + 2] = static_cast<std::uint8_t>(w >> 16);
    transmit_[n + 3] = static_cast<std::uint8_t>(w >> 24);
    n += 4;
  }
  return writeCommand(n);
}

void TDeviceLink::readFailed(FtStatus st) {
  readPanel_ = PanelState::Red;
  readStatus_ = st;
  changed(Change::ReadPanel);
}

FtStatus TDeviceLink::queryQueue() {
  std::uint32_t n = 0;
  const FtStatus st = driver_.getQueueStatus(handle_, n);
  // A failed query reports no count: callers must not go on with an earlier one.
  queueByteCount_ = st == kFtOk ? n : 0;
  ++pollCounter_;
  testLine_ =
      QStringLiteral("ErrCode: %1 Bytes: %2  %3").arg(st).arg(queueByteCount_).arg(pollCounter_);
  changed(Change::TestLine);
  if (st != kFtOk) readFailed(st);
  return st;
}

FtStatus TDeviceLink::readReceived(std::uint32_t limit) {
  const std::uint32_t n = std::min({queueByteCount_, limit, kBufferSize});
  bytesToRead_ = static_cast<std::int32_t>(n);
  bytesReturned_ = 0;
  if (n == 0) return kFtOk;
  std::uint32_t got = 0;
  const FtStatus st = driver_.read(handle_, receive_.get(), n, got);
  if (st != kFtOk) {
    readFailed(st);
    return st;
  }
  // Only the bytes that really arrived count; stale buffer contents never pass as a reply.
  bytesReturned_ = std::min(got, n);
  return st;
}

std::uint32_t TDeviceLink::appendAccumulation(std::span<const std::uint8_t> bytes) {
  const std::size_t room = kBufferSize - static_cast<std::size_t>(fill_);
  const std::size_t n = std::min(bytes.size(), room);
  if (n > 0) std::memcpy(accumulation_.get() + fill_, bytes.data(), n);
  fill_ += static_cast<std::int32_t>(n);
  return static_cast<std::uint32_t>(n);
}

}  // namespace tolv
