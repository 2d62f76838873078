#pragma once
// The settings blocks of the device protocol: the 56-byte settings write, the 60-byte settings
// reply, the trigger word and the 8-byte I/O reply. Each block is packed field by field.
#include <array>
#include <cstddef>
#include <cstdint>

#include "wire/wirecommands.h"

namespace tolv {

// Trigger channel and the three pattern masks (bit n = IO line n, lines 0-7) in one word:
// byte 0 channel (0 or 1), byte 1 relevance, byte 2 dynamic, byte 3 level.
struct TriggerWord {
  std::uint8_t channel = 0;
  std::uint8_t relevance = 0;
  std::uint8_t dynamic = 0;
  std::uint8_t level = 0;

  std::uint32_t toWord() const;
  static TriggerWord fromWord(std::uint32_t w);
  friend bool operator==(const TriggerWord&, const TriggerWord&) = default;
};

// The 56 bytes of "*SWr": the desired device settings.
struct SettingsWriteBlock {
  static constexpr std::size_t kSize = 56;

  std::uint32_t word = kWordSWr;  // bytes 0-3; the sender puts "*SWr" here in any case
  float amplC0 = 0;               // volts peak-to-peak
  float amplC1 = 0;
  float offsC0 = 0;  // volts
  float offsC1 = 0;
  float sampleTime = 0;    // seconds
  float memoryDepth = 0;   // samples
  float triggerPoint = 0;  // percent of the record before the trigger
  TriggerWord trigger;
  std::uint32_t triggerType = 0;  // character code of the type letter in byte 0
  float levelUpper = 0;           // volts
  float levelLower = 0;
  std::uint32_t gpioData = 0;       // bit n = output level of line n (0-23)
  std::uint32_t gpioDirection = 0;  // bit n = 1: line n is an output

  void encode(std::uint8_t* out56) const;
  std::array<std::uint8_t, kSize> toBytes() const;
  // Reads every field, the word included, from 56 bytes.
  static SettingsWriteBlock decode(const std::uint8_t* in56);
  // Device side: false when fewer than 56 bytes or the word is not "*SWr".
  static bool decodeCommand(const std::uint8_t* data, std::size_t n, SettingsWriteBlock& out);

  friend bool operator==(const SettingsWriteBlock&, const SettingsWriteBlock&) = default;
};

// The 60-byte reply to "*SRd" and "*SWr": the settings the device has applied. Mirrors the
// write block without its word, with the two read-only zero-point corrections after the offsets.
struct SettingsReply {
  static constexpr std::size_t kSize = 60;
  static constexpr std::size_t kGpioDataOffset = 52;
  static constexpr std::size_t kGpioDirectionOffset = 56;

  float amplC0 = 0;
  float amplC1 = 0;
  float offsC0 = 0;
  float offsC1 = 0;
  float zeroCorrC0 = 0;  // volts, shown only
  float zeroCorrC1 = 0;
  float sampleTime = 0;
  float memoryDepth = 0;
  float triggerPoint = 0;
  TriggerWord trigger;
  std::uint32_t triggerType = 0;
  float levelUpper = 0;
  float levelLower = 0;
  std::uint32_t gpioData = 0;  // as read from the lines
  std::uint32_t gpioDirection = 0;

  void encode(std::uint8_t* out60) const;
  std::array<std::uint8_t, kSize> toBytes() const;
  static SettingsReply decode(const std::uint8_t* in60);

  // The reply a device gives after applying `block` as it is (the device may adjust values).
  static SettingsReply fromWriteBlock(const SettingsWriteBlock& block, float zeroCorrC0 = 0,
                                      float zeroCorrC1 = 0);
  // The write block that asks for exactly these settings.
  SettingsWriteBlock toWriteBlock() const;

  friend bool operator==(const SettingsReply&, const SettingsReply&) = default;
};

// The 8-byte reply to "*IOW": GPIO data and direction words as read back.
struct IoReply {
  static constexpr std::size_t kSize = 8;
  std::uint32_t gpioData = 0;
  std::uint32_t gpioDirection = 0;

  void encode(std::uint8_t* out8) const;
  static IoReply decode(const std::uint8_t* in8);
  friend bool operator==(const IoReply&, const IoReply&) = default;
};

}  // namespace tolv
