#pragma once
// Measurement data of the device protocol (the reply to "*RUN" per mode), the identification
// text and the end marker that closes a logger stream.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tolv {

// --- Voltmeter (8 bytes: channel 0 then channel 1) ------------------------------------------
// VMD0/VMA0: floats in volts at the input; VMD1/VMA1: unsigned 32-bit raw converter values.
void encodeVoltmeterFloat(float ch0, float ch1, std::uint8_t* out8);
void decodeVoltmeterFloat(const std::uint8_t* in8, float& ch0, float& ch1);
void encodeVoltmeterRaw(std::uint32_t ch0, std::uint32_t ch1, std::uint8_t* out8);
void decodeVoltmeterRaw(const std::uint8_t* in8, std::uint32_t& ch0, std::uint32_t& ch1);

// --- Scope (OSA0): 4 bytes per sample, bytes 0-1 channel 1, bytes 2-3 channel 0 -------------
inline constexpr std::size_t kScopeSampleBytes = 4;
void encodeScopeSample(std::uint16_t ch0, std::uint16_t ch1, std::uint8_t* out4);
void decodeScopeSample(const std::uint8_t* in4, std::uint16_t& ch0, std::uint16_t& ch1);

// --- Logic analyser (LAIO): 4-byte groups of two 16-bit samples; bytes 2-3 the earlier -------
inline constexpr std::size_t kLogicGroupBytes = 4;
void encodeLogicGroup(std::uint16_t earlier, std::uint16_t later, std::uint8_t* out4);
void decodeLogicGroup(const std::uint8_t* in4, std::uint16_t& earlier, std::uint16_t& later);

// --- Logger streams: 4 bytes per sample ------------------------------------------------------
// DLA0: channel 0 raw word, then channel 1 raw word.
void encodeAnalogLoggerSample(std::uint16_t ch0, std::uint16_t ch1, std::uint8_t* out4);
void decodeAnalogLoggerSample(const std::uint8_t* in4, std::uint16_t& ch0, std::uint16_t& ch1);
// DLDI: the second word carries IO lines 0-15; the first is not evaluated (sent as 0).
void encodeIoLoggerSample(std::uint16_t lines, std::uint8_t* out4);
std::uint16_t decodeIoLoggerSample(const std::uint8_t* in4);

// --- Identification --------------------------------------------------------------------------
// Device side: the text padded with blanks (or cut) to exactly 32 bytes.
std::array<std::uint8_t, 32> encodeIdentificationReply(const std::string& text);
// Program side: takes the first 32 bytes as characters; when they contain CR LF the text ends
// one character before the CR. Returns false (text untouched) when fewer than 32 bytes came.
bool decodeIdentificationReply(const std::uint8_t* data, std::size_t n, std::string& text);

// --- End marker --------------------------------------------------------------------------------
inline constexpr std::array<std::uint8_t, 16> kEndMarker = {
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};

// Watches a byte stream for the end marker over its last 16 bytes of 00/FF. Any other byte
// clears the window; the marker may arrive split across chunks. Once seen, it stays seen
// until clear().
class EndMarkerDetector {
 public:
  void clear();
  // Feeds one byte; true when this byte completes the marker.
  bool feed(std::uint8_t b);
  // Feeds n bytes (all of them, also after the marker); true when the marker was seen so far.
  bool feed(const std::uint8_t* data, std::size_t n);
  bool seen() const { return seen_; }
  std::size_t count() const { return count_; }

 private:
  std::array<std::uint8_t, 16> win_{};  // ring of the last bytes
  std::size_t head_ = 0;                // index of the oldest byte
  std::size_t count_ = 0;
  bool seen_ = false;
};

}  // namespace tolv
