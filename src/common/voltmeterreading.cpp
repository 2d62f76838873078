#include "common/voltmeterreading.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tolv {

void putU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t getU32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(p[i]) << (8 * i);
  return v;
}

void putF64(std::uint8_t* p, double v) {
  auto bits = std::bit_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

double getF64(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= std::uint64_t(p[i]) << (8 * i);
  return std::bit_cast<double>(bits);
}

VoltmeterReading VoltmeterReading::measured(const DayTime& t, double v0, double v1) {
  VoltmeterReading r;
  r.tag = 1;
  r.time = t;
  r.value0 = v0;
  r.value1 = v1;
  return r;
}

VoltmeterReading VoltmeterReading::listDefault() {
  // As 32-bit words: 1 = -1; 8, 9, 11, 12 = -1; 10 = 0xFFFFFF; all else zero.
  std::array<std::uint8_t, kSize> b{};
  putU32(&b[4], 0xFFFFFFFFu);
  putU32(&b[32], 0xFFFFFFFFu);
  putU32(&b[36], 0xFFFFFFFFu);
  putU32(&b[40], 0x00FFFFFFu);
  putU32(&b[44], 0xFFFFFFFFu);
  putU32(&b[48], 0xFFFFFFFFu);
  return decode(b.data());
}

void VoltmeterReading::encode(std::uint8_t* out) const {
  std::copy(lead.begin(), lead.end(), out);
  out[8] = tag;
  std::copy(pad.begin(), pad.end(), out + 9);
  auto tb = time.toBytes();
  std::copy(tb.begin(), tb.end(), out + 16);
  std::copy(reserved.begin(), reserved.end(), out + 32);
  putF64(out + 56, value0);
  putF64(out + 64, value1);
}

std::array<std::uint8_t, VoltmeterReading::kSize> VoltmeterReading::toBytes() const {
  std::array<std::uint8_t, kSize> b{};
  encode(b.data());
  return b;
}

VoltmeterReading VoltmeterReading::decode(const std::uint8_t* in) {
  VoltmeterReading r;
  std::copy(in, in + 8, r.lead.begin());
  r.tag = in[8];
  std::copy(in + 9, in + 16, r.pad.begin());
  r.time = DayTime::fromBytes(in + 16);
  std::copy(in + 32, in + 56, r.reserved.begin());
  r.value0 = getF64(in + 56);
  r.value1 = getF64(in + 64);
  return r;
}

}  // namespace tolv
