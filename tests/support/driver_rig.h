#pragma once
// A driver that hands every call to another one; rigs derive from it and override only the
// calls they note or change.
#include "ftdi/ftdi_driver.h"

namespace tolv::test {

class ForwardingDriver : public IFtdiDriver {
 public:
  explicit ForwardingDriver(IFtdiDriver& inner) : inner_(inner) {}

  FtStatus listCount(std::uint32_t& c) override { return inner_.listCount(c); }
  FtStatus listSerial(std::uint32_t i, char* b, std::size_t n) override {
    return inner_.listSerial(i, b, n);
  }
  FtStatus listDescription(std::uint32_t i, char* b, std::size_t n) override {
    return inner_.listDescription(i, b, n);
  }
  FtStatus openBySerial(const char* s, FtHandle& h) override { return inner_.openBySerial(s, h); }
  FtStatus purge(FtHandle h, std::uint32_t m) override { return inner_.purge(h, m); }
  FtStatus setTimeouts(FtHandle h, std::uint32_t r, std::uint32_t w) override {
    return inner_.setTimeouts(h, r, w);
  }
  FtStatus getQueueStatus(FtHandle h, std::uint32_t& n) override {
    return inner_.getQueueStatus(h, n);
  }
  FtStatus read(FtHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t& got) override {
    return inner_.read(h, b, n, got);
  }
  FtStatus write(FtHandle h, const std::uint8_t* b, std::uint32_t n,
                 std::uint32_t& written) override {
    return inner_.write(h, b, n, written);
  }
  FtStatus close(FtHandle h) override { return inner_.close(h); }

 protected:
  IFtdiDriver& inner_;
};

}  // namespace tolv::test
