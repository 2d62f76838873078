#pragma once
// Chooses the driver the program runs on: simulated devices (--simulate N), the vendor library
// or libftdi1.
#include <filesystem>
#include <memory>
#include <string>

#include "common/clock.h"
#include "ftdi/ftdi_driver.h"

namespace tolv {

// Largest number of simulated devices, at start and plugged in later; more would only flood
// the desktop with windows.
inline constexpr int kMaxSimulatedDevices = 32;

// Auto: the vendor library when it loads, else libftdi1.
enum class FtdiBackend { Auto, D2xx, Libftdi };

// simulateCount > 0: that many simulated family devices, traced into traceDir when it is not
// empty; otherwise the backend asked for. When no real library could be loaded, *note (if
// given) says so; the program then sees no devices.
std::unique_ptr<IFtdiDriver> makeDriver(int simulateCount, IClock& clock,
                                        const std::filesystem::path& traceDir = {},
                                        FtdiBackend backend = FtdiBackend::Auto,
                                        std::string* note = nullptr);

}  // namespace tolv
