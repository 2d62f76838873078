#include "app/driverchoice.h"

#include <cstdio>

#include "common/clock.h"
#include "ftdi/driver_factory.h"
#include "ftdi/simulated_driver.h"

namespace tolv {

std::unique_ptr<IFtdiDriver> chooseDriver(const CommandLine& cmd) {
  // "--simulate 0" means a simulated bus without devices, not the vendor library.
  if (cmd.simulateCount == 0)
    return std::make_unique<TSimulatedDriver>(0, SystemClock::instance(), cmd.simTraceDir);
  std::string note;
  auto driver = makeDriver(cmd.simulateCount < 0 ? 0 : cmd.simulateCount,
                           SystemClock::instance(), cmd.simTraceDir, cmd.driver, &note);
  if (!note.empty()) std::fprintf(stderr, "multi_tolvanex: %s; no devices\n", note.c_str());
  // Soak runs: TOLV_SIM_FAST_LINK set moves every reply as soon as it is ready, so the event
  // loop, not the simulated bridge, sets the pace.
  if (auto* sim = dynamic_cast<TSimulatedDriver*>(driver.get());
      sim && !qEnvironmentVariableIsEmpty("TOLV_SIM_FAST_LINK"))
    sim->setLinkRate(LinkRate::instant());
  return driver;
}

}  // namespace tolv
