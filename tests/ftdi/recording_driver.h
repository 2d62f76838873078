#pragma once
// Wraps a driver and records every call with its arguments, so tests see what the program
// asked of the driver (flags, sizes, order).
#include <string>
#include <vector>

#include "ftdi/ftdi_driver.h"

namespace tolv::test {

class RecordingDriver final : public IFtdiDriver {
 public:
  explicit RecordingDriver(IFtdiDriver& inner) : inner_(inner) {}

  std::vector<std::string> log;
  // When set, read() hands back at most this many bytes (a read that timed out early).
  std::uint32_t shortReadLimit = 0;

  FtStatus listCount(std::uint32_t& count) override {
    log.push_back("listCount");
    return inner_.listCount(count);
  }
  FtStatus listSerial(std::uint32_t index, char* buf, std::size_t size) override {
    log.push_back("listSerial " + std::to_string(index));
    return inner_.listSerial(index, buf, size);
  }
  FtStatus listDescription(std::uint32_t index, char* buf, std::size_t size) override {
    log.push_back("listDescription " + std::to_string(index));
    return inner_.listDescription(index, buf, size);
  }
  FtStatus openBySerial(const char* serial, FtHandle& handle) override {
    log.push_back(std::string("open ") + serial);
    return inner_.openBySerial(serial, handle);
  }
  FtStatus purge(FtHandle h, std::uint32_t mask) override {
    log.push_back("purge " + std::to_string(mask));
    return inner_.purge(h, mask);
  }
  FtStatus setTimeouts(FtHandle h, std::uint32_t r, std::uint32_t w) override {
    log.push_back("timeouts " + std::to_string(r) + " " + std::to_string(w));
    return inner_.setTimeouts(h, r, w);
  }
  FtStatus getQueueStatus(FtHandle h, std::uint32_t& rx) override {
    log.push_back("queue");
    return inner_.getQueueStatus(h, rx);
  }
  FtStatus read(FtHandle h, std::uint8_t* buf, std::uint32_t toRead, std::uint32_t& got) override {
    log.push_back("read " + std::to_string(toRead));
    const std::uint32_t n =
        shortReadLimit != 0 && toRead > shortReadLimit ? shortReadLimit : toRead;
    return inner_.read(h, buf, n, got);
  }
  FtStatus write(FtHandle h, const std::uint8_t* buf, std::uint32_t n,
                 std::uint32_t& written) override {
    log.push_back("write " + std::to_string(n));
    return inner_.write(h, buf, n, written);
  }
  FtStatus close(FtHandle h) override {
    log.push_back("close");
    return inner_.close(h);
  }

  int count(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : log) n += l.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

 private:
  IFtdiDriver& inner_;
};

}  // namespace tolv::test
