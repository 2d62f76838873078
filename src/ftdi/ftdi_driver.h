#pragma once
// The eight calls the program needs from an FTDI D2XX driver, behind one small interface so
// that everything above it runs against the vendor library, simulated devices or test fakes.
#include <cstddef>
#include <cstdint>

namespace tolv {

using FtHandle = void*;
// D2XX status: 0 OK, 1 invalid handle, 2 device not found, 3 not opened, 4 I/O error,
// 5 insufficient resources, 6 invalid parameter, ...
using FtStatus = std::uint32_t;

// D2XX status numbers the program and the simulated devices use by name.
inline constexpr FtStatus kFtOk = 0;
inline constexpr FtStatus kFtInvalidHandle = 1;
inline constexpr FtStatus kFtDeviceNotFound = 2;
inline constexpr FtStatus kFtDeviceNotOpened = 3;
inline constexpr FtStatus kFtIoError = 4;
inline constexpr FtStatus kFtInsufficientResources = 5;
inline constexpr FtStatus kFtInvalidParameter = 6;

// Purge masks.
inline constexpr std::uint32_t kFtPurgeRx = 1;
inline constexpr std::uint32_t kFtPurgeTx = 2;

// Flags of the vendor's FT_ListDevices / FT_OpenEx.
inline constexpr std::uint32_t kFtListNumberOnly = 0x80000000u;
inline constexpr std::uint32_t kFtListByIndex = 0x40000000u;
inline constexpr std::uint32_t kFtOpenBySerialNumber = 1;
inline constexpr std::uint32_t kFtOpenByDescription = 2;

// The vendor driver may write up to 64 bytes into a list text buffer; callers hand at least this.
inline constexpr std::size_t kFtListBufferSize = 64;

class IFtdiDriver {
 public:
  virtual ~IFtdiDriver() = default;
  // Number of FTDI devices attached.
  virtual FtStatus listCount(std::uint32_t& count) = 0;  // number-only form
  // Zero-terminated serial number / description of the device at index into buf (size bytes).
  virtual FtStatus listSerial(std::uint32_t index, char* buf,
                              std::size_t size) = 0;  // by index, serial
  virtual FtStatus listDescription(std::uint32_t index, char* buf, std::size_t size) = 0;
  // Opens the device whose serial number is the zero-terminated text; writes the handle.
  virtual FtStatus openBySerial(const char* serial, FtHandle& handle) = 0;
  virtual FtStatus purge(FtHandle h, std::uint32_t mask) = 0;  // 1 = RX, 2 = TX
  virtual FtStatus setTimeouts(FtHandle h, std::uint32_t readMs, std::uint32_t writeMs) = 0;
  // Bytes waiting in the driver's receive queue.
  virtual FtStatus getQueueStatus(FtHandle h, std::uint32_t& rxBytes) = 0;
  virtual FtStatus read(FtHandle h, std::uint8_t* buf, std::uint32_t toRead,
                        std::uint32_t& got) = 0;
  virtual FtStatus write(FtHandle h, const std::uint8_t* buf, std::uint32_t toWrite,
                         std::uint32_t& written) = 0;
  virtual FtStatus close(FtHandle h) = 0;
};

}  // namespace tolv
