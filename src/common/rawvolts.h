#pragma once
// Conversion of the converters' raw 16-bit values (and of float readings) to volts.
#include <cstdint>

namespace tolv {

// Effective probe factor: P with the 1:1 path, (P - 1) / aux + 1 with the auxiliary divider.
inline double probeScale(int probe, double aux) {
  return (double(probe) - 1.0) / aux + 1.0;
}

// 32768 is the middle of the range, full scale is +-ampl/2; offs (volts) is added before the
// probe factor applies.
inline double rawToVolts(std::uint16_t raw, double ampl, double offs, int probe, double aux) {
  return probeScale(probe, aux) * ((double(raw) / 32768.0 - 1.0) * ampl / 2.0 + offs);
}

// A reading the device already sends in volts: only the probe factor applies.
inline double floatToVolts(double v, int probe, double aux) {
  return probeScale(probe, aux) * v;
}

}  // namespace tolv
