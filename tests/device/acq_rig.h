#pragma once
// One acquisition cycle on manual timers against the scripted device, booted in a mode: the
// common start of the acquisition tests.
#include <gtest/gtest.h>

#include <functional>

#include "fake_device.h"
#include "wire/wire.h"

namespace tolv::test {

// Scope samples: channel 0 counts up from base, channel 1 stays at base.
inline Bytes scopeData(std::size_t samples, std::uint16_t base) {
  Bytes b(samples * 4);
  for (std::size_t i = 0; i < samples; ++i)
    encodeScopeSample(std::uint16_t(base + i), std::uint16_t(base), b.data() + 4 * i);
  return b;
}

class AcqRig : public ::testing::Test {
 protected:
  ManualClock clock;
  FakeDriver drv{clock};
  Rig rig{clock, drv};
  TAcquisition& acq = rig.acq;

  // What the scripted firmware reports and how it answers.
  SettingsReply device;
  ModeCode deviceMode = 0;
  std::int64_t replyDelay = 20;
  std::function<Bytes(WireCommand, const Bytes&)> overrideReply;  // empty result: default
  std::function<void()> onRun;

  void SetUp() override {
    device.amplC0 = device.amplC1 = 10;
    device.sampleTime = 1e-4f;
    device.memoryDepth = 10000;
    drv.onWrite = [this](const Bytes& b) { respond(b); };
  }

  void respond(const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (overrideReply) {
      const Bytes r = overrideReply(c, b);
      if (!r.empty()) {
        drv.deliver(r, replyDelay);
        return;
      }
    }
    switch (c) {
      case WireCommand::Identification: {
        const auto id = encodeIdentificationReply("Tolvanex V1.2 \r\nFW 7");
        drv.deliver(Bytes(id.begin(), id.end()), replyDelay);
        break;
      }
      case WireCommand::SettingsWrite:
        device = SettingsReply::fromWriteBlock(SettingsWriteBlock::decode(b.data()), 0.01f);
        [[fallthrough]];
      case WireCommand::SettingsRead: {
        const auto r = device.toBytes();
        drv.deliver(Bytes(r.begin(), r.end()), replyDelay);
        break;
      }
      case WireCommand::SetMode: {
        decodeSetMode(b.data(), b.size(), deviceMode);
        drv.deliver(Bytes(b.begin() + 4, b.end()), replyDelay);
        break;
      }
      case WireCommand::IoWord:
        drv.deliver(Bytes(8, 0), replyDelay);
        break;
      case WireCommand::Run:
        if (onRun) onRun();
        break;
      default:
        break;
    }
  }

  void advance(std::int64_t ms) { rig.hub.advance(ms); }
  void openFresh() {
    acq.open([](SettingsRecord&) { return 2; });
  }
  // Opened, the mode confirmed and the settings read back.
  void boot(ModeCode mode = kModeOSA0) {
    openFresh();
    advance(1500);
    if (mode != kModeOSA0) {
      acq.selectMode(mode);
      advance(1000);
    }
    ASSERT_EQ(acq.mode(), mode);
    ASSERT_EQ(acq.runState(), RunState::Idle);
    drv.writes.clear();
  }
};

}  // namespace tolv::test
