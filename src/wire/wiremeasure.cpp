#include "wire/wiremeasure.h"

#include <algorithm>

#include "wire/wirebytes.h"

namespace tolv {

void encodeVoltmeterFloat(float ch0, float ch1, std::uint8_t* out8) {
  putF32(out8, ch0);
  putF32(out8 + 4, ch1);
}
void decodeVoltmeterFloat(const std::uint8_t* in8, float& ch0, float& ch1) {
  ch0 = getF32(in8);
  ch1 = getF32(in8 + 4);
}
void encodeVoltmeterRaw(std::uint32_t ch0, std::uint32_t ch1, std::uint8_t* out8) {
  putU32(out8, ch0);
  putU32(out8 + 4, ch1);
}
void decodeVoltmeterRaw(const std::uint8_t* in8, std::uint32_t& ch0, std::uint32_t& ch1) {
  ch0 = getU32(in8);
  ch1 = getU32(in8 + 4);
}

void encodeScopeSample(std::uint16_t ch0, std::uint16_t ch1, std::uint8_t* out4) {
  putU16(out4, ch1);
  putU16(out4 + 2, ch0);
}
void decodeScopeSample(const std::uint8_t* in4, std::uint16_t& ch0, std::uint16_t& ch1) {
  ch1 = getU16(in4);
  ch0 = getU16(in4 + 2);
}

void encodeLogicGroup(std::uint16_t earlier, std::uint16_t later, std::uint8_t* out4) {
  putU16(out4, later);
  putU16(out4 + 2, earlier);
}
void decodeLogicGroup(const std::uint8_t* in4, std::uint16_t& earlier, std::uint16_t& later) {
  later = getU16(in4);
  earlier = getU16(in4 + 2);
}

void encodeAnalogLoggerSample(std::uint16_t ch0, std::uint16_t ch1, std::uint8_t* out4) {
  putU16(out4, ch0);
  putU16(out4 + 2, ch1);
}
void decodeAnalogLoggerSample(const std::uint8_t* in4, std::uint16_t& ch0, std::uint16_t& ch1) {
  ch0 = getU16(in4);
  ch1 = getU16(in4 + 2);
}
void encodeIoLoggerSample(std::uint16_t lines, std::uint8_t* out4) {
  putU16(out4, 0);
  putU16(out4 + 2, lines);
}
std::uint16_t decodeIoLoggerSample(const std::uint8_t* in4) {
  return getU16(in4 + 2);
}

std::array<std::uint8_t, 32> encodeIdentificationReply(const std::string& text) {
  std::array<std::uint8_t, 32> out;
  out.fill(' ');
  std::copy_n(text.begin(), std::min<std::size_t>(text.size(), out.size()), out.begin());
  return out;
}

bool decodeIdentificationReply(const std::uint8_t* data, std::size_t n, std::string& text) {
  if (data == nullptr || n < 32) return false;
  std::string s(reinterpret_cast<const char*>(data), 32);
  const std::size_t crlf = s.find("\r\n");
  // The character before the CR is dropped along with the line end; a CR LF at the very
  // start leaves nothing.
  if (crlf != std::string::npos) s.erase(crlf == 0 ? 0 : crlf - 1);
  text = s;
  return true;
}

void EndMarkerDetector::clear() {
  head_ = 0;
  count_ = 0;
  seen_ = false;
}

bool EndMarkerDetector::feed(std::uint8_t b) {
  if (b != 0x00 && b != 0xFF) {
    head_ = 0;
    count_ = 0;
    return false;
  }
  if (count_ < 16) {
    win_[(head_ + count_) % 16] = b;
    ++count_;
  } else {
    win_[head_] = b;  // overwrite the oldest
    head_ = (head_ + 1) % 16;
  }
  if (count_ < 16) return false;
  for (std::size_t i = 0; i < 16; ++i) {
    if (win_[(head_ + i) % 16] != kEndMarker[i]) return false;
  }
  seen_ = true;
  return true;
}

bool EndMarkerDetector::feed(const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) feed(data[i]);
  return seen_;
}

}  // namespace tolv
