#pragma once
// A D2XX driver whose devices are simulated: N Tolvanex devices (and, for tests, FTDI bridges of
// other products), with faults that tests inject per call kind or per device.
#include <array>
#include <filesystem>
#include <functional>
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
  // Every call on this device's handle fails with `status` from now on, while the driver still
  // lists it (a device that hangs on the bus).
  void disconnect(std::size_t i, FtStatus status = kFtIoError);

  // --- hot-plug ------------------------------------------------------------------------------
  // The device's cable is pulled: it leaves the list, its byte stream stops where it is, and
  // calls on a handle opened before fail with `status` (0: answer as if nothing had happened,
  // the silent kind of driver). Returns false for a device that is not plugged in.
  bool unplug(std::size_t i, FtStatus status = kFtIoError);
  // Plugged in again (a fresh power-on); a handle from before stays dead. With i at or beyond
  // the count, new family devices are added up to device i, never beyond the most simulated
  // devices (false then, nothing added).
  bool plug(std::size_t i);
  // The device is listed but cannot be opened (no access rights): opens fail with status 3.
  void setDenied(std::size_t i, bool denied);
  bool plugged(std::size_t i) const { return i < devices_.size() && devices_[i].present; }
  bool denied(std::size_t i) const { return i < devices_.size() && devices_[i].denied; }
  // Called after every plug and unplug, as the system announces USB devices coming and going.
  void setPlugListener(std::function<void()> f) { plugListener_ = std::move(f); }
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
    bool present = true;
    bool silentlyGone = false;  // unplugged with status 0: calls succeed, nothing comes
    bool denied = false;
    std::uint32_t generation = 0;  // plugs so far; a handle carries the one it was opened in
    int staleHandles = 0;          // handles from before a replug, not yet closed
  };
  // The present slot at list position index, or nullptr.
  Slot* listed(std::uint32_t index);
  void announce() {
    if (plugListener_) plugListener_();
  }
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
  std::function<void()> plugListener_;
};

}  // namespace tolv
