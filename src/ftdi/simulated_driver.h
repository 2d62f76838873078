#pragma once
// A D2XX driver whose devices are simulated: N Tolvanex devices (and, for tests, FTDI bridges of
// other products), with faults that tests inject per call kind or per device.
#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "ftdi/ftdi_driver.h"
#include "ftdi/simulated_device.h"

namespace tolv {

class TSimulatedDriver final : public IFtdiDriver {
 public:
  // The driver calls, for injecting a status into the next call of one kind.
  enum class Call {
    ListCount,
    ListSerial,
    ListDescription,
    Open,
    Purge,
    SetTimeouts,
    QueueStatus,
    Read,
    Write,
    Close,
    Count_
  };

  // `familyCount` devices described "Tolvanex Scope 1" with distinct serial numbers.
  TSimulatedDriver(int familyCount, IClock& clock,
                   const std::filesystem::path& traceDir = std::filesystem::path());

  // Serial number of the n-th simulated family device ("TVS00001", ...).
  static std::string serialFor(int n);

  // Appends a device; without firmware it never answers (another product's bridge).
  TSimulatedDevice& addDevice(const std::string& serial, const std::string& description,
                              bool firmware = true);
  std::size_t deviceCount() const { return devices_.size(); }
  TSimulatedDevice& device(std::size_t i) { return *devices_[i].dev; }
  TSimulatedDevice* deviceBySerial(const std::string& serial);
  void setLinkRate(LinkRate rate);

  // The next call of this kind returns `status` (one shot).
  void failNext(Call kind, FtStatus status);
  // Every call on this device fails with `status` from now on, as after unplugging it.
  void disconnect(std::size_t i, FtStatus status = kFtIoError);
  // Calls made so far, per kind.
  int calls(Call kind) const { return calls_[std::size_t(kind)]; }
  int openHandles() const;

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
  struct Slot {
    std::unique_ptr<TSimulatedDevice> dev;
    bool open = false;
    FtStatus disconnected = kFtOk;
  };
  // Counts the call and hands out an injected status, if any.
  FtStatus enter(Call kind);
  // The slot a handle names, or nullptr (status in st) when it is not an open handle.
  Slot* slotOf(FtHandle h, FtStatus& st);
  FtStatus listText(std::uint32_t index, bool serial, char* buf, std::size_t size);

  IClock& clock_;
  std::filesystem::path traceDir_;
  std::vector<Slot> devices_;
  std::array<int, std::size_t(Call::Count_)> calls_{};
  std::array<FtStatus, std::size_t(Call::Count_)> pending_{};
};

}  // namespace tolv
