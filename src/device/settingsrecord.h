#pragma once
// SettingsRecord: every setting of a device window in one 408-byte little-endian record, the
// image of a ".VXS" file. Packed and unpacked field by field; padding bytes are zero.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "wire/wirecommands.h"
#include "wire/wiresettings.h"

namespace tolv {

struct SettingsRecord {
  static constexpr std::size_t kSize = 408;

  ModeCode mode = 0;                   // offset 0
  double amplC0 = 0;                   // 8
  double amplC1 = 0;                   // 16
  double offsC0 = 0;                   // 24
  double offsC1 = 0;                   // 32
  double sampleTime = 0;               // 40, seconds
  double memoryDepth = 0;              // 48
  double triggerPoint = 0;             // 56, percent
  std::uint8_t trgChan = 0;            // 64, 0-based
  std::uint8_t relevances = 0;         // 65
  std::uint8_t dynamics = 0;           // 66
  std::uint8_t levels = 0;             // 67
  std::string trgTypString;            // 68, length-prefixed, at most 255 characters
  double trgLevelUpper = 0;            // 328
  double trgLevelLower = 0;            // 336
  std::int32_t gpioData = 0;           // 344
  std::int32_t gpioDirection = 0;      // 348
  bool singleShot = false;             // 352
  bool overlapping = false;            // 353
  std::uint8_t scopePlotMode = 0;      // 354
  bool autoScaleC0 = false;            // 355
  bool autoScaleC1 = false;            // 356
  std::uint8_t autoSaveMode = 0;       // 357: 0 off, 1 CSV, 2 binary
  std::int32_t width = 0;              // 360
  std::int32_t height = 0;             // 364
  std::int32_t left = 0;               // 368
  std::int32_t top = 0;                // 372
  double probeFactorC0 = 1;            // 376
  double probeFactorC1 = 1;            // 384
  bool probeHelpFactorFlag = false;    // 392: auxiliary divider 0.85 in use
  bool synchYAxes = false;             // 393
  std::int32_t clockInterval0 = 0;     // 396
  std::int32_t clockInterval1 = 0;     // 400
  bool makeIntermediateFiles = false;  // 404

  void encode(std::uint8_t* out408) const;
  std::array<std::uint8_t, kSize> toBytes() const;
  static SettingsRecord decode(const std::uint8_t* in408);

  // The record a window builds when it finds no settings file; the geometry is the window's.
  static SettingsRecord defaults(std::int32_t width = 0, std::int32_t height = 0,
                                 std::int32_t left = 0, std::int32_t top = 0);

  TriggerWord triggerWord() const { return {trgChan, relevances, dynamics, levels}; }
  // Character code of the trigger type: the first letter of the stored text, 0 when empty.
  std::uint32_t triggerTypeCode() const;
  // The device part as the settings write that restores it.
  SettingsWriteBlock toWriteBlock() const;

  friend bool operator==(const SettingsRecord&, const SettingsRecord&) = default;
};

// (P - 1) / A + 1 with the record's probe factor and auxiliary divider: what a channel's
// converter volts are multiplied by (its samples, its fixed range, its trigger thresholds).
double channelFactor(const SettingsRecord& rs, int ch);

}  // namespace tolv
