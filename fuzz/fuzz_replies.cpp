// Device replies of every mode: the acquisition cycle on manual timers talks to a scripted
// driver whose answers come from the fuzz input. Set-up is answered properly so that the run
// reaches the mode's reply decoding; from then on every command gets the next chunk of input
// (two length bytes, then up to that many bytes), whatever it asked for.
#include <cstdint>

#include "device/fake_device.h"  // the tests' scripted driver and rig
#include "wire/wire.h"

using namespace tolv;
using namespace tolv::test;

namespace {

struct Input {
  const std::uint8_t* p;
  std::size_t n;
  std::uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  Bytes chunk() {
    std::size_t len = byte();
    len |= std::size_t(byte()) << 8;
    // Long runs of one value reach the record lengths without needing long inputs.
    const bool fill = (len & 0x8000) != 0;
    len &= 0x7FFF;
    if (fill) return Bytes(len * 8, byte());
    len = std::min(len, n);
    Bytes b(p, p + len);
    p += len;
    n -= len;
    return b;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in{data, size};
  const ModeCode mode = kModeCodes[in.byte() % 8];
  const std::uint8_t flags = in.byte();
  const int depth = 1 + (in.byte() | (in.byte() << 8)) % 4000;

  ManualClock clock;
  FakeDriver drv(clock);
  Rig rig(clock, drv);
  TAcquisition& acq = rig.acq;
  SettingsReply device;
  device.amplC0 = device.amplC1 = 10;
  device.memoryDepth = float(depth);
  bool scripted = false;
  drv.onWrite = [&](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (scripted) {
      if (c != WireCommand::Stop || (flags & 8)) drv.deliver(in.chunk(), 10);
      return;
    }
    if (c == WireCommand::SetMode) drv.deliver(Bytes(b.begin() + 4, b.end()), 10);
    if (c == WireCommand::SettingsRead || c == WireCommand::SettingsWrite) {
      const auto r = device.toBytes();
      drv.deliver(Bytes(r.begin(), r.end()), 10);
    }
  };
  acq.open([](SettingsRecord&) { return 2; });
  rig.hub.advance(1500);
  if (mode != kModeOSA0) {
    acq.selectMode(mode);
    rig.hub.advance(1000);
  }
  scripted = true;
  acq.setSingleShot(flags & 1);
  acq.setOverlap(flags & 2);
  acq.runClicked();
  for (int step = 0; step < 40 && in.n > 0; ++step) {
    const std::uint8_t op = in.byte();
    if (op < 8) drv.nextReadStatus = op;
    else if (op < 16) drv.nextQueryStatus = op - 8;
    else if (op < 20) acq.queue().add(makeSettingsReadCommand());
    else if (op < 22) acq.queue().add(makeIdentificationCommand());
    else if (op == 22) acq.stopClicked();
    else if (op == 23) acq.runClicked();
    rig.hub.advance(10 + op);
  }
  if (flags & 4) acq.closeQuery();
  else acq.stopClicked();
  rig.hub.advance(3000);
  return 0;
}
