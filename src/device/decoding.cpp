#include "device/decoding.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/rawvolts.h"
#include "wire/wiremeasure.h"

namespace tolv {

static int chIndex(int ch) {
  return ch == 1 ? 1 : 0;
}

double probeFactorInForce(double stored) {
  if (!std::isfinite(stored)) return 1.0;
  const double p = std::clamp(std::nearbyint(stored), -kMostProbeFactor, kMostProbeFactor);
  return p == 0 ? 1.0 : p;
}

static int probeFactor(double p) {
  return int(probeFactorInForce(p));
}

double ConversionInputs::probeScale(int ch) const {
  return tolv::probeScale(probeFactor(probe[std::size_t(chIndex(ch))]), aux);
}

double ConversionInputs::rawToVolts(int ch, std::uint32_t raw) const {
  const auto c = std::size_t(chIndex(ch));
  // Out-of-range values saturate rather than wrap around.
  return tolv::rawToVolts(std::uint16_t(std::min<std::uint32_t>(raw, 65535)), ampl[c], offs[c],
                          probeFactor(probe[c]), aux);
}

double ConversionInputs::floatToVolts(int ch, double v) const {
  return tolv::floatToVolts(v, probeFactor(probe[std::size_t(chIndex(ch))]), aux);
}

std::size_t convertScopeRecord(std::span<const std::uint8_t> raw, const ConversionInputs& conv,
                               ScopeSample* out, std::size_t capacity) {
  const std::size_t n = std::min(raw.size() / kScopeSampleBytes, capacity);
  // The conversion is linear in the raw value: fold it into one multiply-add per channel.
  const double s0 = conv.probeScale(0), s1 = conv.probeScale(1);
  const double k0 = s0 * conv.ampl[0] / 65536.0, b0 = s0 * (conv.offs[0] - conv.ampl[0] / 2.0);
  const double k1 = s1 * conv.ampl[1] / 65536.0, b1 = s1 * (conv.offs[1] - conv.ampl[1] / 2.0);
  const std::uint8_t* p = raw.data();
  for (std::size_t i = 0; i < n; ++i, p += 4) {
    const unsigned r1 = unsigned(p[0]) | (unsigned(p[1]) << 8);
    const unsigned r0 = unsigned(p[2]) | (unsigned(p[3]) << 8);
    out[i].ch0 = float(k0 * double(r0) + b0);
    out[i].ch1 = float(k1 * double(r1) + b1);
  }
  return n;
}

std::size_t decodeLogicRecord(std::span<const std::uint8_t> raw, std::uint16_t* out,
                              std::size_t capacity) {
  const std::size_t groups = raw.size() / kLogicGroupBytes;
  std::size_t n = 0;
  for (std::size_t g = 0; g < groups && n < capacity; ++g) {
    std::uint16_t earlier = 0, later = 0;
    decodeLogicGroup(raw.data() + g * kLogicGroupBytes, earlier, later);
    out[n++] = earlier;
    if (n < capacity) out[n++] = later;
  }
  return n;
}

VoltmeterReplyRecord makeVoltmeterReplyRecord(ModeCode mode, const std::uint8_t* eight) {
  VoltmeterReplyRecord r{};
  r[0] = 4;
  const std::string text = modeCodeText(mode);
  std::copy(text.begin(), text.end(), r.begin() + 1);
  std::copy(eight, eight + 8, r.begin() + 8);
  return r;
}

ModeCode voltmeterRecordMode(const VoltmeterReplyRecord& rec) {
  return modeCodeFromText(std::string_view(reinterpret_cast<const char*>(rec.data() + 1), 4));
}

VoltmeterValues convertVoltmeterReply(const VoltmeterReplyRecord& rec,
                                      const ConversionInputs& conv) {
  VoltmeterValues v;
  const ModeCode mode = voltmeterRecordMode(rec);
  v.unit = (mode == kModeVMA0 || mode == kModeVMA1) ? "V RMS" : "V DC";
  if (isVoltmeterFloatMode(mode)) {
    float f0 = 0, f1 = 0;
    decodeVoltmeterFloat(rec.data() + 8, f0, f1);
    v.ch0 = conv.floatToVolts(0, f0);
    v.ch1 = conv.floatToVolts(1, f1);
  } else {
    std::uint32_t r0 = 0, r1 = 0;
    decodeVoltmeterRaw(rec.data() + 8, r0, r1);
    v.ch0 = conv.rawToVolts(0, r0);
    v.ch1 = conv.rawToVolts(1, r1);
  }
  return v;
}

}  // namespace tolv
