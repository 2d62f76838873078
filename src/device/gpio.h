#pragma once
// The 24 general-purpose I/O lines (data and direction words), the logic-analyser trigger
// pattern over lines 0-7 and the I/O counter test. A click toggles one bit relative to what
// the device reported; the change travels with the next settings write.
#include <QString>
#include <array>
#include <cstdint>

#include "common/colours.h"
#include "device/settingsmodel.h"

namespace tolv {

// A colour written as RGB RRGGBB, as the platform value.
constexpr ColorRef rgbColour(std::uint32_t rrggbb) {
  return colorRef(int((rrggbb >> 16) & 0xFF), int((rrggbb >> 8) & 0xFF), int(rrggbb & 0xFF));
}

inline constexpr int kGpioBits = 24;
inline constexpr int kPatternBits = 8;
inline constexpr std::uint32_t kCounterMax = 0xFFFFF;
inline constexpr int kCountIntervalMin = 17;
inline constexpr int kCountIntervalMax = 2000;
inline constexpr int kCountIntervalStart = 100;

inline constexpr ColorRef kColourHigh = rgbColour(0xFF9D9D);
inline constexpr ColorRef kColourLow = rgbColour(0x80FFFF);
inline constexpr ColorRef kColourOutput = rgbColour(0xFFFF00);
inline constexpr ColorRef kColourInput = rgbColour(0x00FF00);
inline constexpr ColorRef kColourRelevant = rgbColour(0xFFFF00);
inline constexpr ColorRef kColourIrrelevant = rgbColour(0xFFFFFF);
inline constexpr ColorRef kColourEdge = rgbColour(0xF1CD7A);
inline constexpr ColorRef kColourState = rgbColour(0xCDB1EB);

// Look of one clickable panel.
struct BitLook {
  QString caption;
  ColorRef colour = kWhite;
};
BitLook gpioDataLook(bool high);         // "H" / "L"
BitLook gpioDirectionLook(bool output);  // "O" / "I"

// Symbols of the dynamic and level panels of the pattern rows.
QString edgeSymbol();
QString stateSymbol();
QString levelSymbol(bool high, bool edge);

enum class PatternRow { Relevance = 0, Dynamic = 1, Level = 2 };

struct PatternLook {
  std::array<ColorRef, kPatternBits> relevance{};
  std::array<bool, kPatternBits> detailVisible{};  // dynamic and level panels of the bit
  std::array<BitLook, kPatternBits> dynamic;
  std::array<BitLook, kPatternBits> level;
  QString relevanceHex, dynamicHex, levelHex;  // two hex digits each
  bool relevanceHexHighlighted = false;        // yellow, else the button-face colour
};
PatternLook patternLook(const TriggerWord& w);

class TGpioModel {
 public:
  // Attaches itself to the settings model, whose reply application ends with the GPIO words.
  explicit TGpioModel(TSettingsModel& settings);
  ~TGpioModel();
  TGpioModel(const TGpioModel&) = delete;
  TGpioModel& operator=(const TGpioModel&) = delete;

  // Clicks on the panels (bit 0 .. 23, pattern bit 0 .. 7).
  void toggleData(int bit);
  void toggleDirection(int bit);
  void togglePattern(PatternRow row, int bit);

  // Setters: only while the controls are enabled; the write follows 250 ms later unless a
  // reply is awaited.
  void setData(std::uint32_t word);
  void setDirection(std::uint32_t word);
  // Step 10 of a settings reply: data word, then direction word.
  void applyReply(const SettingsReply& r);

  // I/O counter test.
  void setCounting(bool on);  // CB_Count: ticking queues the next counter command
  bool counting() const { return counting_; }
  void setCountInterval(int which, int ms);  // SE_Count_0_Interval / SE_Count_1_Interval
  int countInterval(int which) const { return interval_[which == 0 ? 0 : 1]; }
  std::uint32_t counter() const { return counter_; }
  // Puts the counter where a test run is to continue (values above 0xFFFFF count as 0xFFFFF).
  void setCounter(std::uint32_t v) { counter_ = v > kCounterMax ? kCounterMax : v; }
  void queueNextCounterCommand();
  // After every I/O reply: the next command while the test runs.
  void ioReplyApplied();

  std::uint32_t shownData() const { return data_; }
  std::uint32_t shownDirection() const { return direction_; }
  // The trigger word the pattern panels show (the one of the last setter call).
  TriggerWord shownTrigger() const { return settings_.display().trigger; }
  bool controlsEnabled() const { return settings_.controlsEnabled(); }
  TSettingsModel& settings() { return settings_; }

 private:
  void toggle(bool direction, int bit);
  void setWord(bool direction, std::uint32_t word);

  TSettingsModel& settings_;
  std::uint32_t data_ = 0;
  std::uint32_t direction_ = 0;
  bool dataMark_ = false;       // re-entry mark of the data row
  bool directionMark_ = false;  // re-entry mark of the direction row
  bool patternMark_ = false;    // shared by the three pattern rows
  bool counting_ = false;
  std::array<int, 2> interval_{kCountIntervalStart, kCountIntervalStart};
  std::uint32_t counter_ = 0;
};

}  // namespace tolv
