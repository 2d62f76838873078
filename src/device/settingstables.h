#pragma once
// The fixed tables behind the settings controls (amplitude ranges, sample times, memory depths,
// modes, trigger types), the nearest-row rule, the panel texts of a settings reply and the
// per-mode layout of the controls. Widget-free, so the rules are testable on their own.
#include <QChar>
#include <QString>
#include <array>
#include <cstdint>
#include <span>

#include "device/decoding.h"
#include "wire/wirecommands.h"

namespace tolv {

// Amplitude ranges in volts peak-to-peak (trackbar positions 0 .. 6).
inline constexpr std::array<double, 7> kAmplitudeTable = {0.2, 0.5, 1, 2, 5, 10, 20};
inline constexpr int kAmplitudeStartPos = 5;
// Sample times in microseconds (trackbar positions 0 .. 20).
inline constexpr std::array<double, 21> kSampleTimeTableUs = {
    1,    2,     5,     10,    20,     50,     100,    200,     500,     1000,   2000,
    5000, 10000, 20000, 50000, 100000, 200000, 500000, 1000000, 2000000, 2500000};
// Memory depths in samples (trackbar positions 0 .. 12).
inline constexpr std::array<double, 13> kMemoryDepthTable = {
    100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000, 131000, 200000, 262000};
inline constexpr int kTriggerPointStart = 50;
inline constexpr int kSliderMin = -2048;
inline constexpr int kSliderMax = 2047;
inline constexpr int kProbeMin = -int(kMostProbeFactor);
inline constexpr int kProbeMax = int(kMostProbeFactor);

struct SettingsRecord;
// A setting read from a file as the window offers it, before it goes to the device: a mode
// that is none of the eight becomes the scope; amplitude ranges and memory depth the nearest
// row of their tables (so the rows highlighted are the values sent); the sample time within
// the table's span; the trigger point within 0 .. 100 %; the probe factors as
// probeFactorInForce. Returns how many fields changed (0 for a setting the window saved).
int limitToOffered(SettingsRecord& r);
inline constexpr double kAuxDivider = 0.85;
// Shortest sample time the logger modes accept without asking (seconds).
inline constexpr double kLoggerMinSampleTime = 9.9e-5;

// Trigger types: the letter sent to the device and the text id of its caption, in table order.
struct TriggerTypeDef {
  char letter;
  int textId;
};
inline constexpr std::array<TriggerTypeDef, 12> kTriggerTypes = {{{'T', 45},
                                                                  {'t', 46},
                                                                  {'W', 47},
                                                                  {'w', 48},
                                                                  {'E', 49},
                                                                  {'e', 50},
                                                                  {'D', 51},
                                                                  {'d', 52},
                                                                  {'X', 53},
                                                                  {'x', 54},
                                                                  {'M', 55},
                                                                  {'P', 56}}};
// Entries of the analog combo (T .. M) and of the logic-analyser combo.
inline constexpr std::array<char, 11> kAnalogTriggerLetters = {'T', 't', 'W', 'w', 'E', 'e',
                                                               'D', 'd', 'X', 'x', 'M'};
inline constexpr std::array<char, 4> kLogicTriggerLetters = {'X', 'x', 'M', 'P'};
// Caption ids of the eight modes (mode index 0 .. 7).
inline constexpr int kModeTextFirst = 35;

// The first row whose value has the smallest absolute difference to v (0 for an empty table;
// a NaN value selects row 0 as well).
int nearestRow(std::span<const double> table, double v);

// Table value as written in the value-list editors: decimal comma ("0,2", "10", "2500000").
QString tableValueText(double v);
// Reads a table text: the comma becomes the system's decimal separator, then the text is read
// with that separator. NaN when it is no number.
double parseTableValue(const QString& text, QChar systemSeparator);

// Row of a trigger-type letter in kTriggerTypes, -1 when unknown.
int triggerTypeRow(char letter);
// Letter of a trigger-type word (byte 0); 0 when the byte is no printable character.
char triggerTypeLetter(std::uint32_t word);
std::uint32_t triggerTypeWord(char letter);
// Index of a letter in a combo's entry list, -1 when the combo does not offer it.
int analogComboIndex(char letter);
int logicComboIndex(char letter);
// The trigger type a mode uses for `letter`: the letter itself where the mode offers it, else
// the one it falls back to (the loggers always M; the logic analyser M for an analog type; the
// scope T for the pattern). The voltmeter modes have no trigger: the letter stays.
char offeredTriggerType(ModeCode mode, char letter);

// --- Panel texts of a settings reply ---------------------------------------------------
// PN_AK0/1: half the range, "±" in the DC, scope and analog-logger modes, without it in the AC
// voltmeter modes. False (text untouched) in LAIO and DLDI.
bool amplitudePanelText(double range, ModeCode mode, QChar decimalSep, QString& out);
// What the user is told when the device applied another sample time than the one asked for.
QString sampleTimeAdjustedText(double asked, double got);
// printf-style fixed text with the given decimal separator ("%9.5f V" and the like).
QString fixedPanelText(double v, int width, int decimals, const QString& suffix, QChar sep);

// --- Mode layout -------------------------------------------------------------------------
enum class GpioPlacement { Hidden, BelowAmplitudes, BelowTrigger, Shown };
enum class TabSheet { Voltmeter, ScopeControls };

// What the window shows in a mode; applied when the device confirms the mode.
struct ModeLayout {
  bool singleOverlap = false;  // CB_SingleShot, CB_Overlapping
  bool amplitudes = false;     // amplitude group
  bool timebase = false;       // timebase group
  bool timebaseAtTop = false;  // timebase above everything (no amplitudes)
  bool memoryDepth = false;    // memory depth and trigger point belong to the mode
  bool analogTrigger = false;  // analog trigger group
  bool triggerTable = false;   // trigger-type table on the sheet
  bool logicTrigger = false;   // logic-analyser trigger group (pattern)
  GpioPlacement gpio = GpioPlacement::Hidden;
  TabSheet sheet = TabSheet::ScopeControls;
  // Set in OSA0 only; the other modes leave these two controls as they are.
  bool autoSaveBinShown = false;          // show RB_AutoSave_BIN
  bool hidePlotOrUpdateChart = false;     // hide BN_PlotOrUpdateChart
  bool startsForceManualTrigger = false;  // logger modes
  bool switchTab = true;                  // false in OSA0 while a multi-device window is registered
};
// Layout of a mode; an unknown code hides every group and switches no sheet.
ModeLayout modeLayout(ModeCode mode, bool multiRegistered = false);
// Memory depth and trigger-point controls show only while the controls are enabled in OSA0
// and LAIO.
bool memoryDepthControlsShown(bool controlsEnabled, ModeCode mode);

}  // namespace tolv
