#pragma once
// Decoding of measurement data: conversion inputs per channel, raw and float to volts, and the
// per-mode sample layouts of completed records.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "wire/wirecommands.h"

namespace tolv {

// What turns a channel value into volts: amplitude range (Vpp), offset (V), probe factor
// (integer -100..100, never 0) and the auxiliary divider (1.0, or 0.85 while ticked).
struct ConversionInputs {
  std::array<double, 2> ampl{10.0, 10.0};
  std::array<double, 2> offs{0.0, 0.0};
  std::array<double, 2> probe{1.0, 1.0};
  double aux = 0.85;

  double probeScale(int ch) const;
  double rawToVolts(int ch, std::uint32_t raw) const;
  double floatToVolts(int ch, double v) const;
};

// The probe factor a stored or restored setting stands for, the one rule of conversions, files
// and plots alike, and the one the window applies to loaded settings: the whole numbers from
// -100 to 100 the spin edits offer, the nearest one (a value beyond them the end it lies
// beyond); 0 (never offered) would zero every value and range and no number is damage: both
// count as no probe, 1.
inline constexpr double kMostProbeFactor = 100.0;
double probeFactorInForce(double stored);

struct ScopeSample {
  float ch0 = 0;
  float ch1 = 0;
};

// Converts the complete 4-byte groups of a scope record (bytes 2-3 channel 0, bytes 0-1
// channel 1) into volts; stores at most `capacity` samples and returns how many it stored.
std::size_t convertScopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv,
                               ScopeSample* out, std::size_t capacity);

// Splits the complete 4-byte groups of a logic-analyser record into 16-bit samples in time
// order (bytes 2-3, then 0-1); stores at most `capacity` and returns how many it stored.
std::size_t decodeLogicRecord(std::span<const std::uint8_t> raw, std::uint16_t* out,
                              std::size_t capacity);

// The 16-byte voltmeter reply record: a length byte 4 and the mode's four characters, three
// unused bytes, then the eight received bytes.
using VoltmeterReplyRecord = std::array<std::uint8_t, 16>;
VoltmeterReplyRecord makeVoltmeterReplyRecord(ModeCode mode, const std::uint8_t* eight);
ModeCode voltmeterRecordMode(const VoltmeterReplyRecord& rec);

struct VoltmeterValues {
  double ch0 = 0;
  double ch1 = 0;
  const char* unit = "V DC";  // "V RMS" for the AC modes
};
// Floats in volts for VMD0/VMA0 (probe factor applied), raw converter values otherwise.
VoltmeterValues convertVoltmeterReply(const VoltmeterReplyRecord& rec,
                                      const ConversionInputs& conv);

}  // namespace tolv
