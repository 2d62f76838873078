#include "ftdi/sim_control.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "ftdi/driver_factory.h"

namespace tolv {

bool applySimControlLine(TSimulatedDriver& driver, const std::string& line, std::string* error) {
  std::istringstream in(line);
  std::string verb;
  if (!(in >> verb) || verb[0] == '#') return true;
  long n = 0;
  if (!(in >> n) || n < 1) {
    if (error) *error = "expected a device number from 1 in: " + line;
    return false;
  }
  if (n > kMaxSimulatedDevices) {
    if (error)
      *error = "at most " + std::to_string(kMaxSimulatedDevices) +
               " simulated devices: no device " + std::to_string(n) + " in: " + line;
    return false;
  }
  const std::size_t i = std::size_t(n - 1);
  long status = long(kFtIoError);
  if (verb == "unplug") {
    if (in >> status) {
      if (status < 0 || status > 0xFFFF) {
        if (error) *error = "status out of range in: " + line;
        return false;
      }
    }
  }
  std::string rest;
  if (in >> rest) {
    if (error) *error = "unexpected \"" + rest + "\" in: " + line;
    return false;
  }
  if (verb == "unplug") {
    if (i >= driver.deviceCount()) {
      if (error) *error = "no device " + std::to_string(n);
      return false;
    }
    driver.unplug(i, FtStatus(status));
    return true;
  }
  if (verb == "plug") {
    driver.plug(i);
    return true;
  }
  if (verb == "deny" || verb == "allow") {
    if (i >= driver.deviceCount()) {
      if (error) *error = "no device " + std::to_string(n);
      return false;
    }
    // Access rights are given when a device is plugged in: it comes back with the new ones.
    driver.setDenied(i, verb == "deny");
    driver.unplug(i);
    driver.plug(i);
    return true;
  }
  if (error) *error = "unknown command \"" + verb + "\" (unplug, plug, deny, allow)";
  return false;
}

TSimControlReader::TSimControlReader(TSimulatedDriver& driver, std::string path)
    : driver_(driver), path_(std::move(path)) {
  // Non-blocking, so opening a pipe nobody writes to yet does not wait for a writer.
  fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

TSimControlReader::~TSimControlReader() {
  if (fd_ >= 0) ::close(fd_);
}

int TSimControlReader::poll() {
  if (fd_ < 0) return 0;
  char buf[4096];
  for (;;) {
    const ssize_t got = ::read(fd_, buf, sizeof buf);
    if (got <= 0) break;  // nothing more now (a pipe without writer or the end of the file)
    pending_.append(buf, std::size_t(got));
    if (pending_.size() > (1u << 20)) pending_.clear();  // no line is that long
  }
  int applied = 0;
  for (std::size_t nl = pending_.find('\n'); nl != std::string::npos;
       nl = pending_.find('\n')) {
    std::string line = pending_.substr(0, nl);
    pending_.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string err;
    if (applySimControlLine(driver_, line, &err)) {
      ++applied;
    } else {
      lastError_ = err;
      if (report_) std::fprintf(stderr, "sim-control: %s\n", err.c_str());
    }
  }
  return applied;
}

}  // namespace tolv
