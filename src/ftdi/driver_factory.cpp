#include "ftdi/driver_factory.h"

#include "ftdi/d2xx_driver.h"
#include "ftdi/libftdi_driver.h"
#include "ftdi/simulated_driver.h"

namespace tolv {

std::unique_ptr<IFtdiDriver> makeDriver(int simulateCount, IClock& clock,
                                        const std::filesystem::path& traceDir,
                                        FtdiBackend backend, std::string* note) {
  if (simulateCount > 0) {
    return std::make_unique<TSimulatedDriver>(simulateCount, clock, traceDir);
  }
  if (backend != FtdiBackend::Libftdi) {
    auto d2xx = std::make_unique<TD2xxDriver>();
    if (d2xx->isLoaded() || backend == FtdiBackend::D2xx) {
      if (!d2xx->isLoaded() && note != nullptr)
        *note = "the FTDI D2XX library (libftd2xx.so) could not be loaded";
      return d2xx;
    }
  }
  auto ftdi = std::make_unique<TLibFtdiDriver>();
  if (!ftdi->isLoaded() && note != nullptr) {
    *note = backend == FtdiBackend::Libftdi
                ? "libftdi1 (libftdi1.so.2) could not be loaded"
                : "neither the FTDI D2XX library nor libftdi1 could be loaded";
  }
  return ftdi;
}

}  // namespace tolv
