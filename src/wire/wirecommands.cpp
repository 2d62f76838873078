#include "wire/wirecommands.h"

#include <cmath>

#include "wire/wirebytes.h"

namespace tolv {

int modeIndex(ModeCode code) {
  for (int i = 0; i < 8; ++i) {
    if (kModeCodes[i] == code) return i;
  }
  return -1;
}

bool isVoltmeterMode(ModeCode code) {
  const int i = modeIndex(code);
  return i >= 0 && i < 4;
}

bool isVoltmeterFloatMode(ModeCode code) {
  return code == kModeVMD0 || code == kModeVMA0;
}

bool isLoggerMode(ModeCode code) {
  return code == kModeDLA0 || code == kModeDLDI;
}

ModeCode modeCodeFromText(std::string_view text) {
  ModeCode c = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint8_t ch = i < text.size() ? std::uint8_t(text[i]) : 0;
    c = (c << 8) | ch;
  }
  return c;
}

std::string modeCodeText(ModeCode code) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[std::size_t(i)] = char((code >> (24 - 8 * i)) & 0xFF);
  return s;
}

void encodeModeCode(ModeCode code, std::uint8_t* out4) {
  putU32(out4, code);
}
ModeCode decodeModeCode(const std::uint8_t* in4) {
  return getU32(in4);
}

std::int64_t measurementByteCount(ModeCode mode, double memoryDepth) {
  if (isVoltmeterMode(mode)) return std::int64_t(kVoltmeterReplyLen);
  if (mode != kModeOSA0 && mode != kModeLAIO) return -1;
  if (!std::isfinite(memoryDepth) || memoryDepth <= 0) return 0;
  // Halves to even, as every rounding of the program.
  const auto depth = std::int64_t(std::nearbyint(memoryDepth));
  return depth * (mode == kModeOSA0 ? 4 : 2);
}

void encodeIdentificationRequest(std::uint8_t* out8) {
  putU32(out8, kWordIdnFirst);
  putU32(out8 + 4, kWordIdnSecond);
}
void encodeSettingsRead(std::uint8_t* out4) {
  putU32(out4, kWordSRd);
}
void encodeSetMode(ModeCode mode, std::uint8_t* out8) {
  putU32(out8, kWordSMd);
  encodeModeCode(mode, out8 + 4);
}
void encodeRun(std::uint8_t* out4) {
  putU32(out4, kWordRUN);
}
void encodeStop(std::uint8_t* out4) {
  putU32(out4, kWordZZZZ);
}
void encodeIoWord(std::uint32_t data, std::uint32_t mask, std::uint8_t* out12) {
  putU32(out12, kWordIOW);
  putU32(out12 + 4, data);
  putU32(out12 + 8, mask);
}

WireCommand classifyCommand(const std::uint8_t* data, std::size_t n) {
  if (data == nullptr || n < 4) return WireCommand::Unknown;
  switch (getU32(data)) {
    case kWordIdnFirst:
      return n >= 8 && getU32(data + 4) == kWordIdnSecond ? WireCommand::Identification
                                                          : WireCommand::Unknown;
    case kWordSRd:
      return WireCommand::SettingsRead;
    case kWordSWr:
      return WireCommand::SettingsWrite;
    case kWordSMd:
      return WireCommand::SetMode;
    case kWordRUN:
      return WireCommand::Run;
    case kWordIOW:
      return WireCommand::IoWord;
    case kWordZZZZ:
      return WireCommand::Stop;
    default:
      return WireCommand::Unknown;
  }
}

std::size_t commandLength(WireCommand c) {
  switch (c) {
    case WireCommand::Identification:
    case WireCommand::SetMode:
      return kCmdLen8;
    case WireCommand::SettingsRead:
    case WireCommand::Run:
    case WireCommand::Stop:
      return kCmdLen4;
    case WireCommand::SettingsWrite:
      return kCmdLen56;
    case WireCommand::IoWord:
      return kCmdLen12;
    case WireCommand::Unknown:
      break;
  }
  return 0;
}

const char* commandName(WireCommand c) {
  switch (c) {
    case WireCommand::Identification:
      return "*IDN?";
    case WireCommand::SettingsRead:
      return "*SRd";
    case WireCommand::SettingsWrite:
      return "*SWr";
    case WireCommand::SetMode:
      return "*SMd";
    case WireCommand::Run:
      return "*RUN";
    case WireCommand::IoWord:
      return "*IOW";
    case WireCommand::Stop:
      return "ZZZZ";
    case WireCommand::Unknown:
      break;
  }
  return "?";
}

bool decodeSetMode(const std::uint8_t* data, std::size_t n, ModeCode& mode) {
  if (data == nullptr || n < kCmdLen8 || getU32(data) != kWordSMd) return false;
  mode = decodeModeCode(data + 4);
  return true;
}

bool decodeIoWord(const std::uint8_t* data, std::size_t n, std::uint32_t& value,
                  std::uint32_t& mask) {
  if (data == nullptr || n < kCmdLen12 || getU32(data) != kWordIOW) return false;
  value = getU32(data + 4);
  mask = getU32(data + 8);
  return true;
}

}  // namespace tolv
