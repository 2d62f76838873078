#pragma once
// A device window's settings side on manual timers: the real acquisition cycle over a scripted
// device, the settings and GPIO models wired to it, and a scripted Yes/No answer.
#include <QString>
#include <functional>

#include "common/regional.h"
#include "common/texttable.h"
#include "device/settingsbridge.h"
#include "wire/wire.h"
#include "fake_device.h"

namespace tolv::test {

struct ScriptedQuestion : IQuestionSink {
  bool answer = false;
  int asked = 0;
  QString lastText;
  bool askYesNo(const QString& t) override {
    ++asked;
    lastText = t;
    return answer;
  }
};

struct SettingsRig {
  ManualClock clock;
  FakeDriver drv{clock};
  TManualTimerHub hub{clock};
  TManualTimer& followUp = hub.create(0);
  TManualTimer& accumulate = hub.create(0);
  TManualTimer& settingsTimer = hub.create(0);
  TManualTimer& closeTimer = hub.create(0);
  TManualTimer& noZero = hub.create(0);
  TManualTimer& forceManual = hub.create(0);
  TManualTimer& forcedSampl = hub.create(0);
  TDeviceLink link{drv};
  TLastRecordSink sink;
  ScriptedQuestion question;
  TAcquisition acq{link, {followUp, accumulate, settingsTimer, closeTimer}, sink, &bridge};
  TAcquisitionSettingsHost host{acq, accumulate};
  TSettingsModel model{host, {noZero, forceManual, forcedSampl}, &question};
  TGpioModel gpio{model};
  TSettingsAcquisitionHost bridge{model, gpio};

  // The scripted firmware: what it reports, how it adjusts a write, how late it answers.
  SettingsReply device;
  ModeCode deviceMode = 0;
  std::int64_t replyDelay = 20;
  std::function<void(SettingsReply&)> adjust;

  SettingsRig() {
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
    link.setSerialNumber("FAKE0001");
    device.amplC0 = device.amplC1 = 10;
    device.sampleTime = 1e-4f;
    device.memoryDepth = 10000;
    device.triggerPoint = 50;
    device.triggerType = 'T';
    drv.onWrite = [this](const Bytes& b) { respond(b); };
  }
  ~SettingsRig() { regional().reload(); }

  void respond(const Bytes& b) {
    switch (classifyCommand(b.data(), b.size())) {
      case WireCommand::SettingsWrite:
        device = SettingsReply::fromWriteBlock(SettingsWriteBlock::decode(b.data()), 0.01f);
        if (adjust) adjust(device);
        [[fallthrough]];
      case WireCommand::SettingsRead: {
        const auto r = device.toBytes();
        drv.deliver(Bytes(r.begin(), r.end()), replyDelay);
        break;
      }
      case WireCommand::SetMode:
        decodeSetMode(b.data(), b.size(), deviceMode);
        drv.deliver(Bytes(b.begin() + 4, b.end()), replyDelay);
        break;
      case WireCommand::IoWord: {
        std::uint32_t v = 0, mask = 0;
        decodeIoWord(b.data(), b.size(), v, mask);
        device.gpioData = v;
        IoReply r{v, device.gpioDirection};
        Bytes out(8);
        r.encode(out.data());
        drv.deliver(out, replyDelay);
        break;
      }
      default:
        break;
    }
  }

  void advance(std::int64_t ms) { hub.advance(ms); }
  // Opened without stored settings, in the given mode, settings read back, nothing pending.
  void boot(ModeCode mode = kModeOSA0) {
    acq.open([](SettingsRecord&) { return 2; });
    advance(1500);
    if (mode != kModeOSA0) {
      model.selectMode(mode);
      advance(1000);
    }
    drv.writes.clear();
  }
  // The blocks of every "*SWr" written so far.
  std::vector<SettingsWriteBlock> settingsWrites() const {
    std::vector<SettingsWriteBlock> v;
    for (const auto& w : drv.writes)
      if (w.bytes.size() == 56 && classifyCommand(w.bytes.data(), 56) == WireCommand::SettingsWrite)
        v.push_back(SettingsWriteBlock::decode(w.bytes.data()));
    return v;
  }
  std::vector<Bytes> rawWrites(const char* word) const {
    std::vector<Bytes> v;
    for (const auto& w : drv.writes)
      if (w.bytes.size() >= 4 && std::string(w.bytes.begin(), w.bytes.begin() + 4) == word)
        v.push_back(w.bytes);
    return v;
  }
};

}  // namespace tolv::test
