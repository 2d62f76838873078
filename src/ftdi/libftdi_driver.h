#pragma once
// Backend over the free libftdi1 library (Debian's libftdi1-2), for machines without the vendor
// driver. Loaded at run time like the vendor library, so the program starts without it.
//
// libftdi1 has no receive-queue count; the backend keeps a receive buffer per open device that
// non-blocking reads fill, and reports its length as the bytes waiting.
#include <memory>
#include <string>
#include <vector>

#include "ftdi/ftdi_driver.h"
#include "ftdi/runtimelibrary.h"

namespace tolv {

class TLibFtdiDriver final : public IFtdiDriver {
 public:
  using LoadResult = TRuntimeLibrary::LoadResult;

  // Bytes buffered per open device at most; a producer faster than the program waits in the
  // chip and the USB stack instead of growing memory.
  static constexpr std::uint32_t kReceiveCapacity = 1u << 20;
  // One non-blocking read asks for no more than a full scope record, so a continuous stream
  // cannot hold the caller for long.
  static constexpr std::uint32_t kPullLimit = 524000;

  // Tries "libftdi1.so.2", then "libftdi1.so".
  TLibFtdiDriver();
  // Loads exactly the given file (tests hand in stand-in libraries).
  explicit TLibFtdiDriver(const std::string& libraryPath);
  ~TLibFtdiDriver() override;
  TLibFtdiDriver(const TLibFtdiDriver&) = delete;
  TLibFtdiDriver& operator=(const TLibFtdiDriver&) = delete;

  bool isLoaded() const { return fns_ != nullptr; }
  LoadResult loadResult() const { return lib_.loadResult(); }
  const std::string& missingSymbol() const { return lib_.missingSymbol(); }

  // Status numbers the link shows for libftdi1's negative results.
  static FtStatus mapListResult(int rc);
  static FtStatus mapStringsResult(int rc);
  static FtStatus mapOpenResult(int rc);
  static FtStatus mapTransferResult(int rc);

  FtStatus listCount(std::uint32_t& count) override;
  FtStatus listSerial(std::uint32_t index, char* buf, std::size_t size) override;
  FtStatus listDescription(std::uint32_t index, char* buf, std::size_t size) override;
  FtStatus openBySerial(const char* serial, FtHandle& handle) override;
  FtStatus purge(FtHandle h, std::uint32_t mask) override;
  FtStatus setTimeouts(FtHandle h, std::uint32_t readMs, std::uint32_t writeMs) override;
  FtStatus getQueueStatus(FtHandle h, std::uint32_t& rxBytes) override;
  FtStatus read(FtHandle h, std::uint8_t* buf, std::uint32_t toRead, std::uint32_t& got) override;
  FtStatus write(FtHandle h, const std::uint8_t* buf, std::uint32_t toWrite,
                 std::uint32_t& written) override;
  FtStatus close(FtHandle h) override;

 private:
  struct Functions;
  struct Connection;
  struct Row {
    std::string serial;
    std::string description;
    FtStatus status = kFtOk;  // non-zero when the device's strings could not be read
  };

  bool load(const char* path);
  FtStatus scan();
  Connection* connectionOf(FtHandle h);
  // Appends what the device has ready to the receive buffer without waiting for more.
  FtStatus pull(Connection& c, std::uint32_t& got);
  FtStatus listText(std::uint32_t index, bool serial, char* buf, std::size_t size);

  TRuntimeLibrary lib_;
  std::unique_ptr<Functions> fns_;
  std::vector<Row> rows_;
  std::vector<std::unique_ptr<Connection>> open_;
};

}  // namespace tolv
