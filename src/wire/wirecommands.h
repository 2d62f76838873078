#pragma once
// Command words, command forms and mode codes of the device protocol.
// Commands are short byte records that begin with a four-character word; the device answers
// without a header, so the program knows a reply only by the command it has in flight.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolv {

// A command word as the 32-bit little-endian number whose bytes, in wire order, are the four
// characters: "*SRd" travels as 2A 53 52 64.
constexpr std::uint32_t wireWord(const char (&s)[5]) {
  return std::uint32_t(std::uint8_t(s[0])) | (std::uint32_t(std::uint8_t(s[1])) << 8) |
         (std::uint32_t(std::uint8_t(s[2])) << 16) | (std::uint32_t(std::uint8_t(s[3])) << 24);
}

inline constexpr std::uint32_t kWordIdnFirst = wireWord("*IDN");     // identification, bytes 0-3
inline constexpr std::uint32_t kWordIdnSecond = wireWord("?\n\r?");  // identification, bytes 4-7
inline constexpr std::uint32_t kWordSRd = wireWord("*SRd");
inline constexpr std::uint32_t kWordSWr = wireWord("*SWr");
inline constexpr std::uint32_t kWordSMd = wireWord("*SMd");
inline constexpr std::uint32_t kWordRUN = wireWord("*RUN");
inline constexpr std::uint32_t kWordIOW = wireWord("*IOW");
inline constexpr std::uint32_t kWordZZZZ = wireWord("ZZZZ");

// Lengths of the command forms.
inline constexpr std::size_t kCmdLen4 = 4;
inline constexpr std::size_t kCmdLen8 = 8;
inline constexpr std::size_t kCmdLen12 = 12;
inline constexpr std::size_t kCmdLen56 = 56;

// Reply lengths the program waits for.
inline constexpr std::size_t kSettingsReplyLen = 60;
inline constexpr std::size_t kModeReplyLen = 4;
inline constexpr std::size_t kIoReplyLen = 8;
inline constexpr std::size_t kIdentificationLen = 32;
inline constexpr std::size_t kVoltmeterReplyLen = 8;

// The constant line mask sent with "*IOW": lines 0-19.
inline constexpr std::uint32_t kIowLineMask = 0xFFFFF;

// ModeCode: the four characters held with the first one in the most significant byte.
using ModeCode = std::uint32_t;

constexpr ModeCode modeCode(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

inline constexpr ModeCode kModeVMD0 = modeCode("VMD0");
inline constexpr ModeCode kModeVMD1 = modeCode("VMD1");
inline constexpr ModeCode kModeVMA0 = modeCode("VMA0");
inline constexpr ModeCode kModeVMA1 = modeCode("VMA1");
inline constexpr ModeCode kModeOSA0 = modeCode("OSA0");
inline constexpr ModeCode kModeDLA0 = modeCode("DLA0");
inline constexpr ModeCode kModeLAIO = modeCode("LAIO");
inline constexpr ModeCode kModeDLDI = modeCode("DLDI");

// The eight modes in index order 0-7.
inline constexpr ModeCode kModeCodes[8] = {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1,
                                           kModeOSA0, kModeDLA0, kModeLAIO, kModeDLDI};

// Index 0-7 of a mode, -1 for a code that is none of the eight.
int modeIndex(ModeCode code);
// Voltmeter family (indexes 0-3).
bool isVoltmeterMode(ModeCode code);
// Voltmeter modes that deliver floats in volts (VMD0, VMA0) rather than raw converter values.
bool isVoltmeterFloatMode(ModeCode code);
bool isLoggerMode(ModeCode code);  // DLA0, DLDI

// Text <-> code; the text takes its first four characters (missing ones count as zero bytes).
ModeCode modeCodeFromText(std::string_view text);
std::string modeCodeText(ModeCode code);

// On the wire the code travels little-endian, so its characters appear in reverse order.
void encodeModeCode(ModeCode code, std::uint8_t* out4);
ModeCode decodeModeCode(const std::uint8_t* in4);

// Number of measurement bytes a "*RUN" yields in a mode: 8 for the voltmeters, memory depth x 4
// for the scope, memory depth x 2 for the logic analyser; -1 for the open-ended logger streams
// and for unknown modes. The memory depth is rounded to the nearest whole number.
std::int64_t measurementByteCount(ModeCode mode, double memoryDepth);

// --- Command forms (program -> device) -----------------------------------------------------
void encodeIdentificationRequest(std::uint8_t* out8);
void encodeSettingsRead(std::uint8_t* out4);
void encodeSetMode(ModeCode mode, std::uint8_t* out8);
void encodeRun(std::uint8_t* out4);
void encodeStop(std::uint8_t* out4);
void encodeIoWord(std::uint32_t data, std::uint32_t mask, std::uint8_t* out12);

// --- Recognising a command (device side) ---------------------------------------------------
enum class WireCommand {
  Identification,  // 8 bytes
  SettingsRead,    // 4
  SettingsWrite,   // 56
  SetMode,         // 8
  Run,             // 4
  IoWord,          // 12
  Stop,            // 4
  Unknown,
};

// The command that begins at `data` (by its first word; the identification request needs all
// eight bytes). Unknown when fewer than four bytes are given or the word is none of the seven.
WireCommand classifyCommand(const std::uint8_t* data, std::size_t n);
// Full length of a command form; 0 for Unknown.
std::size_t commandLength(WireCommand c);
// Name for traces and messages, e.g. "*SMd".
const char* commandName(WireCommand c);

// Fields of the longer forms; each returns false when fewer bytes than the form are given or
// the word does not match.
bool decodeSetMode(const std::uint8_t* data, std::size_t n, ModeCode& mode);
bool decodeIoWord(const std::uint8_t* data, std::size_t n, std::uint32_t& value,
                  std::uint32_t& mask);

}  // namespace tolv
