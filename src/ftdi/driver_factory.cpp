#include "ftdi/driver_factory.h"

#include "ftdi/d2xx_driver.h"
#include "ftdi/simulated_driver.h"

namespace tolv {

std::unique_ptr<IFtdiDriver> makeDriver(int simulateCount, IClock& clock,
                                        const std::filesystem::path& traceDir) {
  if (simulateCount > 0) {
    return std::make_unique<TSimulatedDriver>(simulateCount, clock, traceDir);
  }
  return std::make_unique<TD2xxDriver>();
}

}  // namespace tolv
