#pragma once
// Little-endian field access for the device byte layouts. Every block on the wire is packed
// and unpacked field by field through these, never by casting structs.
#include <bit>
#include <cstdint>

namespace tolv {

inline void putU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline std::uint16_t getU16(const std::uint8_t* p) {
  return std::uint16_t(unsigned(p[0]) | (unsigned(p[1]) << 8));
}
inline void putU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
inline std::uint32_t getU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}
inline void putI32(std::uint8_t* p, std::int32_t v) {
  putU32(p, std::uint32_t(v));
}
inline std::int32_t getI32(const std::uint8_t* p) {
  return std::int32_t(getU32(p));
}
inline void putF32(std::uint8_t* p, float v) {
  putU32(p, std::bit_cast<std::uint32_t>(v));
}
inline float getF32(const std::uint8_t* p) {
  return std::bit_cast<float>(getU32(p));
}

}  // namespace tolv
