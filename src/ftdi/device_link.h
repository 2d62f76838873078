#pragma once
// The link of one device window to its device: the driver handle opened by serial number, the
// transmit, receive and accumulation buffers, and the statuses shown in the "Read" and "Write"
// panels and in the debug line. No widgets: the window reads the getters and listens to the
// change callback.
#include <QString>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>

#include "ftdi/ftdi_driver.h"

namespace tolv {

class TDeviceLink {
 public:
  static constexpr std::size_t kSerialBufferSize = 50;  // 49 characters and the zero byte
  static constexpr std::size_t kTransmitSize = 128;
  static constexpr std::uint32_t kBufferSize = 524000;  // one full scope or logic-analyser record
  static constexpr std::uint32_t kTimeoutMs = 500;

  // Colour state of the "Read" and "Write" panels.
  enum class PanelState { Initial, Green, Red };
  // What changed, for the window's change callback.
  enum class Change { Serial, Opened, Closed, WritePanel, ReadPanel, TestLine, Lost };

  // Statuses a driver gives for a device that has gone from the bus (or a handle that went
  // with it): invalid handle, device not found, I/O error. Others never mean unplugged.
  static bool isGoneStatus(FtStatus st) {
    return st == kFtInvalidHandle || st == kFtDeviceNotFound || st == kFtIoError;
  }

  explicit TDeviceLink(IFtdiDriver& driver);
  ~TDeviceLink();
  TDeviceLink(const TDeviceLink&) = delete;
  TDeviceLink& operator=(const TDeviceLink&) = delete;

  void setChangeCallback(std::function<void(Change)> cb) { onChange_ = std::move(cb); }

  // Stores the serial number and copies at most 49 characters of it into the zero-terminated
  // buffer the device is opened by.
  void setSerialNumber(const QString& serial);
  const QString& serialNumber() const { return serial_; }
  const char* serialBuffer() const { return serialBuffer_; }

  // Opens by serial number, purges the receive buffer and sets 500 ms time-outs; returns the
  // first failing status or 0. On success the "Read" panel turns green.
  FtStatus open();
  bool isOpen() const { return open_; }
  FtHandle handle() const { return handle_; }
  // Releases the handle if there is one; a link whose open call failed calls no close.
  FtStatus close();

  // Whether the driver lists this serial number now (the device is on the bus).
  bool listedNow();
  // Whether the open handle died with a device that was pulled and is back already (listed
  // again, so listedNow() cannot tell): a harmless call on the handle fails with a gone status
  // and the serial number opens afresh or is refused (for rights, or because the old handle
  // still holds it; either way only a fresh open can go on). A call that the handle answers
  // keeps the link, and so does a device the driver will not open at all.
  // Drivers also refuse a second open of a device our own live handle holds, so a refused open
  // counts as dead too: a live handle whose harmless call fails with a gone status as well is
  // lost and opened afresh (the window sends its settings again), where a single failing call
  // otherwise keeps the link.
  bool handleDead();
  // The device has gone: the handle is released and the link stays lost until it is opened
  // again. status is the failing driver status that told (0 when it went silently).
  void markLost(FtStatus status);
  bool lost() const { return lost_; }
  FtStatus lostStatus() const { return lostStatus_; }

  // Writes the first n bytes of the transmit buffer (n <= 128).
  FtStatus writeCommand(std::uint32_t n);
  // Copies bytes to the transmit buffer and writes them.
  FtStatus writeBytes(std::span<const std::uint8_t> bytes);
  // The 4-, 8- and 12-byte forms: words copied little-endian in order.
  FtStatus writeWords(std::initializer_list<std::uint32_t> words);
  std::uint8_t* transmitBuffer() { return transmit_; }
  std::uint32_t bytesToWrite() const { return bytesToWrite_; }
  std::uint32_t bytesWritten() const { return bytesWritten_; }

  // Asks the driver how many bytes wait; increments the poll counter and renews the debug line.
  FtStatus queryQueue();
  std::uint32_t queueByteCount() const { return queueByteCount_; }
  std::int32_t pollCounter() const { return pollCounter_; }
  // "ErrCode: <status> Bytes: <count>  <poll counter>" of the last query.
  const QString& testLine() const { return testLine_; }

  // Reads the bytes the last query reported into the receive buffer, never more than limit nor
  // than the buffer holds (a larger queue is read over several calls, in arrival order).
  // The bytes read are receivedBytes(); on failure that is empty.
  FtStatus readReceived(std::uint32_t limit = kBufferSize);
  std::span<const std::uint8_t> receivedBytes() const { return {receive_.get(), bytesReturned_}; }
  std::int32_t bytesToRead() const { return bytesToRead_; }
  std::uint32_t bytesReturned() const { return bytesReturned_; }

  // Accumulation buffer of the measurement in progress.
  void resetAccumulation() { fill_ = 0; }
  // Appends what fits; returns the number of bytes stored (bytes beyond 524000 are dropped).
  std::uint32_t appendAccumulation(std::span<const std::uint8_t> bytes);
  std::span<const std::uint8_t> accumulated() const {
    return {accumulation_.get(), static_cast<std::size_t>(fill_)};
  }
  std::int32_t accumulationFill() const { return fill_; }

  // Panel states: red with the last failing status; a later success never resets them.
  PanelState readPanel() const { return readPanel_; }
  PanelState writePanel() const { return writePanel_; }
  FtStatus readPanelStatus() const { return readStatus_; }
  FtStatus writePanelStatus() const { return writeStatus_; }

 private:
  void changed(Change c) {
    if (onChange_) onChange_(c);
  }
  void readFailed(FtStatus st);

  IFtdiDriver& driver_;
  std::function<void(Change)> onChange_;
  QString serial_;
  char serialBuffer_[kSerialBufferSize] = {};
  FtHandle handle_ = nullptr;
  bool open_ = false;
  bool lost_ = false;
  FtStatus lostStatus_ = kFtOk;

  std::uint8_t transmit_[kTransmitSize] = {};
  std::uint32_t bytesToWrite_ = 0;
  std::uint32_t bytesWritten_ = 0;

  std::uint32_t queueByteCount_ = 0;
  std::int32_t pollCounter_ = 0;
  QString testLine_;

  std::unique_ptr<std::uint8_t[]> receive_;
  std::int32_t bytesToRead_ = 0;
  std::uint32_t bytesReturned_ = 0;

  std::unique_ptr<std::uint8_t[]> accumulation_;
  std::int32_t fill_ = 0;

  PanelState readPanel_ = PanelState::Initial;
  PanelState writePanel_ = PanelState::Initial;
  FtStatus readStatus_ = kFtOk;
  FtStatus writeStatus_ = kFtOk;
};

}  // namespace tolv
