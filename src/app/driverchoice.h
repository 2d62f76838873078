#pragma once
// Which FTDI driver the program runs on: the vendor library or simulated devices.
#include <QString>
#include <memory>

#include "app/cmdline.h"
#include "ftdi/ftdi_driver.h"

namespace tolv {

std::unique_ptr<IFtdiDriver> chooseDriver(const CommandLine& cmd);

}  // namespace tolv
