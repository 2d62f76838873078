#pragma once
// Backend over the vendor's D2XX library, loaded at run time so that the program also starts on
// machines without it (it then sees no FTDI devices).
#include <memory>
#include <string>

#include "ftdi/ftdi_driver.h"
#include "ftdi/runtimelibrary.h"

namespace tolv {

class TD2xxDriver final : public IFtdiDriver {
 public:
  // Why a load attempt ended where it did; tests check rejection of incomplete libraries.
  using LoadResult = TRuntimeLibrary::LoadResult;

  // Tries "libftd2xx.so" on the library path, then "/usr/local/lib/libftd2xx.so".
  TD2xxDriver();
  // Loads exactly the given file (tests hand in stand-in libraries).
  explicit TD2xxDriver(const std::string& libraryPath);
  ~TD2xxDriver() override;
  TD2xxDriver(const TD2xxDriver&) = delete;
  TD2xxDriver& operator=(const TD2xxDriver&) = delete;

  bool isLoaded() const { return fns_ != nullptr; }
  LoadResult loadResult() const { return lib_.loadResult(); }
  // Name of the first missing symbol when the library was rejected.
  const std::string& missingSymbol() const { return lib_.missingSymbol(); }

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
  bool load(const char* path);
  FtStatus listText(std::uint32_t index, std::uint32_t flags, char* buf, std::size_t size);

  TRuntimeLibrary lib_;
  std::unique_ptr<Functions> fns_;
};

}  // namespace tolv
