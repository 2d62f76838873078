#pragma once
// The control channel of the simulated devices: lines such as "unplug 2", "plug 2", "deny 3"
// pull, plug and refuse devices while the program runs, from a file or a named pipe another
// program writes to (demos, black-box runs, soak runs).
#include <string>

#include "ftdi/simulated_driver.h"

namespace tolv {

// Applies one line to the driver. Devices are numbered from 1 in the driver's order:
//   unplug N [STATUS]  cable pulled; calls on its handle fail with STATUS (default 4, the
//                      driver's I/O error; 0 makes the driver answer as if nothing happened)
//   plug N             plugged in (again); beyond the last device, new devices are added,
//                      up to device 32 (kMaxSimulatedDevices)
//   deny N             it drops off and comes back without access rights (opens fail)
//   allow N            access given back; it comes back once more
// Blank lines and lines starting with '#' do nothing. Returns true when the line was understood
// (or empty); else `error` says why.
bool applySimControlLine(TSimulatedDriver& driver, const std::string& line, std::string* error);

// Reads the lines of a file or named pipe as they come, without blocking: a file is read on
// from where the last poll stopped, a pipe as writers write into it.
class TSimControlReader {
 public:
  explicit TSimControlReader(TSimulatedDriver& driver, std::string path);
  ~TSimControlReader();
  TSimControlReader(const TSimControlReader&) = delete;
  TSimControlReader& operator=(const TSimControlReader&) = delete;

  // Reads what is there and applies every complete line; returns the lines applied. Lines not
  // understood go to the error text (also when asked to, on standard error).
  int poll();
  bool isOpen() const { return fd_ >= 0; }
  const std::string& lastError() const { return lastError_; }
  void setReportErrors(bool on) { report_ = on; }

 private:
  TSimulatedDriver& driver_;
  std::string path_;
  int fd_ = -1;
  std::string pending_;
  std::string lastError_;
  bool report_ = true;
};

}  // namespace tolv
