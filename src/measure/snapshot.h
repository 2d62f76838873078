#pragma once
// Settings snapshot: a SettingsRecord built from the settings in force (the desired device
// settings, the conversion inputs of both channels) and the window's own options.
#include <cstdint>

#include "device/decoding.h"
#include "device/settingsrecord.h"
#include "wire/wiresettings.h"

namespace tolv {

class TAcquisition;

// The parts of a SettingsRecord that are not device settings: options of the window.
struct WindowOptions {
  bool singleShot = false;
  bool overlapping = true;
  std::uint8_t scopePlotMode = 3;  // 0 none, 1 K0, 2 K1, 3 K0+K1, 4 K1 vs K0, 5 K0 vs K1
  bool autoScaleC0 = false;
  bool autoScaleC1 = false;
  std::uint8_t autoSaveMode = 0;  // 0 off, 1 CSV, 2 binary
  std::int32_t width = 0, height = 0, left = 0, top = 0;
  // Probe factors and the 0.85 divider. The conversion inputs hold the live values; the
  // snapshots that take ConversionInputs use those and ignore these three.
  double probeFactorC0 = 1.0;
  double probeFactorC1 = 1.0;
  bool probeHelpFactorFlag = true;
  bool synchYAxes = true;
  std::int32_t clockInterval0 = 100;
  std::int32_t clockInterval1 = 100;
  bool makeIntermediateFiles = true;

  static WindowOptions fromRecord(const SettingsRecord& r);
  void applyTo(SettingsRecord& r) const;

  friend bool operator==(const WindowOptions&, const WindowOptions&) = default;
};

// A float setting as the double the user chose: the shortest decimal that gives back the
// float (0.0001f becomes 0.0001, not 9.99999974737875E-0005).
double settingValue(float f);

// Mode, sample time, depth, trigger point, trigger word and type, levels and GPIO words from
// `desired`; amplitudes, offsets, probe factors and the divider flag from `conv`; the rest
// from `opts`.
SettingsRecord takeSnapshot(ModeCode mode, const SettingsWriteBlock& desired,
                            const ConversionInputs& conv, const WindowOptions& opts);
// The same from a window's acquisition cycle (its mode, desired block and conversion; single
// shot and overlap from the cycle too).
SettingsRecord takeSnapshot(TAcquisition& acq, const WindowOptions& opts);

}  // namespace tolv
