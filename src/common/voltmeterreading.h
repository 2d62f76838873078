#pragma once
// VoltmeterReading: the 72-byte record of one voltmeter reading, as kept in the chart list
// and written to the voltmeter intermediate file. Fields not used by this program are kept
// as bytes so a record read from a file is written back unchanged.
#include <array>
#include <cstdint>

#include "common/daytime.h"

namespace tolv {

struct VoltmeterReading {
  static constexpr std::size_t kSize = 72;

  std::array<std::uint8_t, 8> lead{};       // bytes 0-7, not used
  std::uint8_t tag = 0;                     // byte 8: 1 = carries an absolute time
  std::array<std::uint8_t, 7> pad{};        // bytes 9-15, not used
  DayTime time;                             // bytes 16-31
  std::array<std::uint8_t, 24> reserved{};  // bytes 32-55, not used
  double value0 = 0.0;                      // bytes 56-63: channel 0 in volts
  double value1 = 0.0;                      // bytes 64-71: channel 1 in volts

  // A measured reading: tag 1, the time and both values, everything else zero.
  static VoltmeterReading measured(const DayTime& t, double v0, double v1);
  // The element a chart list fills gaps with (several "no value" markers set).
  static VoltmeterReading listDefault();

  void encode(std::uint8_t* out72) const;
  std::array<std::uint8_t, kSize> toBytes() const;
  static VoltmeterReading decode(const std::uint8_t* in72);

  friend bool operator==(const VoltmeterReading&, const VoltmeterReading&) = default;
};

// Little-endian IEEE doubles and 32-bit words, shared by the record layouts.
void putF64(std::uint8_t* p, double v);
double getF64(const std::uint8_t* p);
void putU32(std::uint8_t* p, std::uint32_t v);
std::uint32_t getU32(const std::uint8_t* p);

}  // namespace tolv
