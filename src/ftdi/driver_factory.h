#pragma once
// Chooses the driver the program runs on: simulated devices (--simulate N) or the vendor library.
#include <filesystem>
#include <memory>

#include "common/clock.h"
#include "ftdi/ftdi_driver.h"

namespace tolv {

// simulateCount > 0: that many simulated family devices, traced into traceDir when it is not
// empty; otherwise the vendor D2XX library (no devices when it is missing).
std::unique_ptr<IFtdiDriver> makeDriver(int simulateCount, IClock& clock,
                                        const std::filesystem::path& traceDir = {});

}  // namespace tolv
