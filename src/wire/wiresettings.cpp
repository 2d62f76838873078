#include "wire/wiresettings.h"

#include "wire/wirebytes.h"

namespace tolv {

std::uint32_t TriggerWord::toWord() const {
  return std::uint32_t(channel) | (std::uint32_t(relevance) << 8) | (std::uint32_t(dynamic) << 16) |
         (std::uint32_t(level) << 24);
}

TriggerWord TriggerWord::fromWord(std::uint32_t w) {
  TriggerWord t;
  t.channel = std::uint8_t(w);
  t.relevance = std::uint8_t(w >> 8);
  t.dynamic = std::uint8_t(w >> 16);
  t.level = std::uint8_t(w >> 24);
  return t;
}

void SettingsWriteBlock::encode(std::uint8_t* out) const {
  putU32(out + 0, word);
  putF32(out + 4, amplC0);
  putF32(out + 8, amplC1);
  putF32(out + 12, offsC0);
  putF32(out + 16, offsC1);
  putF32(out + 20, sampleTime);
  putF32(out + 24, memoryDepth);
  putF32(out + 28, triggerPoint);
  putU32(out + 32, trigger.toWord());
  putU32(out + 36, triggerType);
  putF32(out + 40, levelUpper);
  putF32(out + 44, levelLower);
  putU32(out + 48, gpioData);
  putU32(out + 52, gpioDirection);
}

std::array<std::uint8_t, SettingsWriteBlock::kSize> SettingsWriteBlock::toBytes() const {
  std::array<std::uint8_t, kSize> b{};
  encode(b.data());
  return b;
}

SettingsWriteBlock SettingsWriteBlock::decode(const std::uint8_t* in) {
  SettingsWriteBlock b;
  b.word = getU32(in + 0);
  b.amplC0 = getF32(in + 4);
  b.amplC1 = getF32(in + 8);
  b.offsC0 = getF32(in + 12);
  b.offsC1 = getF32(in + 16);
  b.sampleTime = getF32(in + 20);
  b.memoryDepth = getF32(in + 24);
  b.triggerPoint = getF32(in + 28);
  b.trigger = TriggerWord::fromWord(getU32(in + 32));
  b.triggerType = getU32(in + 36);
  b.levelUpper = getF32(in + 40);
  b.levelLower = getF32(in + 44);
  b.gpioData = getU32(in + 48);
  b.gpioDirection = getU32(in + 52);
  return b;
}

bool SettingsWriteBlock::decodeCommand(const std::uint8_t* data, std::size_t n,
                                       SettingsWriteBlock& out) {
  if (data == nullptr || n < kSize || getU32(data) != kWordSWr) return false;
  out = decode(data);
  return true;
}

void SettingsReply::encode(std::uint8_t* out) const {
  putF32(out + 0, amplC0);
  putF32(out + 4, amplC1);
  putF32(out + 8, offsC0);
  putF32(out + 12, offsC1);
  putF32(out + 16, zeroCorrC0);
  putF32(out + 20, zeroCorrC1);
  putF32(out + 24, sampleTime);
  putF32(out + 28, memoryDepth);
  putF32(out + 32, triggerPoint);
  putU32(out + 36, trigger.toWord());
  putU32(out + 40, triggerType);
  putF32(out + 44, levelUpper);
  putF32(out + 48, levelLower);
  putU32(out + kGpioDataOffset, gpioData);
  putU32(out + kGpioDirectionOffset, gpioDirection);
}

std::array<std::uint8_t, SettingsReply::kSize> SettingsReply::toBytes() const {
  std::array<std::uint8_t, kSize> b{};
  encode(b.data());
  return b;
}

SettingsReply SettingsReply::decode(const std::uint8_t* in) {
  SettingsReply r;
  r.amplC0 = getF32(in + 0);
  r.amplC1 = getF32(in + 4);
  r.offsC0 = getF32(in + 8);
  r.offsC1 = getF32(in + 12);
  r.zeroCorrC0 = getF32(in + 16);
  r.zeroCorrC1 = getF32(in + 20);
  r.sampleTime = getF32(in + 24);
  r.memoryDepth = getF32(in + 28);
  r.triggerPoint = getF32(in + 32);
  r.trigger = TriggerWord::fromWord(getU32(in + 36));
  r.triggerType = getU32(in + 40);
  r.levelUpper = getF32(in + 44);
  r.levelLower = getF32(in + 48);
  r.gpioData = getU32(in + kGpioDataOffset);
  r.gpioDirection = getU32(in + kGpioDirectionOffset);
  return r;
}

SettingsReply SettingsReply::fromWriteBlock(const SettingsWriteBlock& b, float zc0, float zc1) {
  SettingsReply r;
  r.amplC0 = b.amplC0;
  r.amplC1 = b.amplC1;
  r.offsC0 = b.offsC0;
  r.offsC1 = b.offsC1;
  r.zeroCorrC0 = zc0;
  r.zeroCorrC1 = zc1;
  r.sampleTime = b.sampleTime;
  r.memoryDepth = b.memoryDepth;
  r.triggerPoint = b.triggerPoint;
  r.trigger = b.trigger;
  r.triggerType = b.triggerType;
  r.levelUpper = b.levelUpper;
  r.levelLower = b.levelLower;
  r.gpioData = b.gpioData;
  r.gpioDirection = b.gpioDirection;
  return r;
}

SettingsWriteBlock SettingsReply::toWriteBlock() const {
  SettingsWriteBlock b;
  b.amplC0 = amplC0;
  b.amplC1 = amplC1;
  b.offsC0 = offsC0;
  b.offsC1 = offsC1;
  b.sampleTime = sampleTime;
  b.memoryDepth = memoryDepth;
  b.triggerPoint = triggerPoint;
  b.trigger = trigger;
  b.triggerType = triggerType;
  b.levelUpper = levelUpper;
  b.levelLower = levelLower;
  b.gpioData = gpioData;
  b.gpioDirection = gpioDirection;
  return b;
}

void IoReply::encode(std::uint8_t* out) const {
  putU32(out, gpioData);
  putU32(out + 4, gpioDirection);
}

IoReply IoReply::decode(const std::uint8_t* in) {
  IoReply r;
  r.gpioData = getU32(in);
  r.gpioDirection = getU32(in + 4);
  return r;
}

}  // namespace tolv
