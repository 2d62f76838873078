#include "device/settingsrecord.h"

#include <algorithm>
#include <bit>

#include "device/decoding.h"
#include "wire/wirebytes.h"

namespace tolv {

namespace {
void putF64(std::uint8_t* p, double v) {
  const auto u = std::bit_cast<std::uint64_t>(v);
  putU32(p, std::uint32_t(u));
  putU32(p + 4, std::uint32_t(u >> 32));
}
double getF64(const std::uint8_t* p) {
  return std::bit_cast<double>(std::uint64_t(getU32(p)) | (std::uint64_t(getU32(p + 4)) << 32));
}
}  // namespace

void SettingsRecord::encode(std::uint8_t* out) const {
  std::fill(out, out + kSize, std::uint8_t(0));
  putU32(out + 0, mode);
  putF64(out + 8, amplC0);
  putF64(out + 16, amplC1);
  putF64(out + 24, offsC0);
  putF64(out + 32, offsC1);
  putF64(out + 40, sampleTime);
  putF64(out + 48, memoryDepth);
  putF64(out + 56, triggerPoint);
  out[64] = trgChan;
  out[65] = relevances;
  out[66] = dynamics;
  out[67] = levels;
  const std::size_t len = std::min<std::size_t>(trgTypString.size(), 255);
  out[68] = std::uint8_t(len);
  std::copy_n(trgTypString.begin(), len, out + 69);
  putF64(out + 328, trgLevelUpper);
  putF64(out + 336, trgLevelLower);
  putI32(out + 344, gpioData);
  putI32(out + 348, gpioDirection);
  out[352] = singleShot ? 1 : 0;
  out[353] = overlapping ? 1 : 0;
  out[354] = scopePlotMode;
  out[355] = autoScaleC0 ? 1 : 0;
  out[356] = autoScaleC1 ? 1 : 0;
  out[357] = autoSaveMode;
  putI32(out + 360, width);
  putI32(out + 364, height);
  putI32(out + 368, left);
  putI32(out + 372, top);
  putF64(out + 376, probeFactorC0);
  putF64(out + 384, probeFactorC1);
  out[392] = probeHelpFactorFlag ? 1 : 0;
  out[393] = synchYAxes ? 1 : 0;
  putI32(out + 396, clockInterval0);
  putI32(out + 400, clockInterval1);
  out[404] = makeIntermediateFiles ? 1 : 0;
}

std::array<std::uint8_t, SettingsRecord::kSize> SettingsRecord::toBytes() const {
  std::array<std::uint8_t, kSize> b{};
  encode(b.data());
  return b;
}

SettingsRecord SettingsRecord::decode(const std::uint8_t* in) {
  SettingsRecord r;
  r.mode = getU32(in + 0);
  r.amplC0 = getF64(in + 8);
  r.amplC1 = getF64(in + 16);
  r.offsC0 = getF64(in + 24);
  r.offsC1 = getF64(in + 32);
  r.sampleTime = getF64(in + 40);
  r.memoryDepth = getF64(in + 48);
  r.triggerPoint = getF64(in + 56);
  r.trgChan = in[64];
  r.relevances = in[65];
  r.dynamics = in[66];
  r.levels = in[67];
  r.trgTypString.assign(reinterpret_cast<const char*>(in + 69), in[68]);
  r.trgLevelUpper = getF64(in + 328);
  r.trgLevelLower = getF64(in + 336);
  r.gpioData = getI32(in + 344);
  r.gpioDirection = getI32(in + 348);
  // A boolean byte counts as true when it is not 0.
  r.singleShot = in[352] != 0;
  r.overlapping = in[353] != 0;
  r.scopePlotMode = in[354];
  r.autoScaleC0 = in[355] != 0;
  r.autoScaleC1 = in[356] != 0;
  r.autoSaveMode = in[357];
  r.width = getI32(in + 360);
  r.height = getI32(in + 364);
  r.left = getI32(in + 368);
  r.top = getI32(in + 372);
  r.probeFactorC0 = getF64(in + 376);
  r.probeFactorC1 = getF64(in + 384);
  r.probeHelpFactorFlag = in[392] != 0;
  r.synchYAxes = in[393] != 0;
  r.clockInterval0 = getI32(in + 396);
  r.clockInterval1 = getI32(in + 400);
  r.makeIntermediateFiles = in[404] != 0;
  return r;
}

SettingsRecord SettingsRecord::defaults(std::int32_t width, std::int32_t height, std::int32_t left,
                                        std::int32_t top) {
  SettingsRecord r;
  r.mode = kModeOSA0;
  r.amplC0 = 5.0;
  r.amplC1 = 5.0;
  r.sampleTime = 0.0001;
  r.memoryDepth = 10000;
  r.triggerPoint = 10;
  r.trgTypString.assign(1, 'T');  // (a literal here trips a false -Wrestrict in GCC 12)
  r.trgLevelUpper = 0.1;
  r.trgLevelLower = -0.1;
  r.overlapping = true;
  r.scopePlotMode = 3;
  r.width = width;
  r.height = height;
  r.left = left;
  r.top = top;
  r.probeFactorC0 = 1.0;
  r.probeFactorC1 = 1.0;
  r.probeHelpFactorFlag = true;
  r.synchYAxes = true;
  r.clockInterval0 = 100;
  r.clockInterval1 = 100;
  r.makeIntermediateFiles = true;
  return r;
}

std::uint32_t SettingsRecord::triggerTypeCode() const {
  return trgTypString.empty() ? 0u : std::uint32_t(std::uint8_t(trgTypString[0]));
}

SettingsWriteBlock SettingsRecord::toWriteBlock() const {
  SettingsWriteBlock b;
  b.amplC0 = float(amplC0);
  b.amplC1 = float(amplC1);
  b.offsC0 = float(offsC0);
  b.offsC1 = float(offsC1);
  b.sampleTime = float(sampleTime);
  b.memoryDepth = float(memoryDepth);
  b.triggerPoint = float(triggerPoint);
  b.trigger = triggerWord();
  b.triggerType = triggerTypeCode();
  b.levelUpper = float(trgLevelUpper);
  b.levelLower = float(trgLevelLower);
  b.gpioData = std::uint32_t(gpioData);
  b.gpioDirection = std::uint32_t(gpioDirection);
  return b;
}

double channelFactor(const SettingsRecord& rs, int ch) {
  const double p = probeFactorInForce(ch == 0 ? rs.probeFactorC0 : rs.probeFactorC1);
  const double auxDivider = rs.probeHelpFactorFlag ? 0.85 : 1.0;
  return (p - 1.0) / auxDivider + 1.0;
}

}  // namespace tolv
