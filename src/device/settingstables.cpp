#include "device/settingstables.h"

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <cstdio>

#include "common/format.h"
#include "device/settingsrecord.h"
#include "common/texttable.h"

namespace tolv {

int nearestRow(std::span<const double> table, double v) {
  int best = 0;
  double bestDiff = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const double d = std::fabs(table[i] - v);
    // Strictly smaller keeps the first of equally near rows.
    if (i == 0 || d < bestDiff) {
      best = int(i);
      bestDiff = d;
    }
  }
  return best;
}

QString tableValueText(double v) {
  QString s = QString::number(v, 'g', 10);
  s.replace(QLatin1Char('.'), QLatin1Char(','));
  return s;
}

double parseTableValue(const QString& text, QChar systemSeparator) {
  QString s = text.trimmed();
  s.replace(QLatin1Char(','), systemSeparator);
  // Read with the system separator: any other separator makes it no number.
  if (systemSeparator != QLatin1Char('.')) {
    if (s.contains(QLatin1Char('.'))) return std::nan("");
    s.replace(systemSeparator, QLatin1Char('.'));
  }
  bool ok = false;
  const double v = s.toDouble(&ok);
  return ok ? v : std::nan("");
}

int triggerTypeRow(char letter) {
  for (std::size_t i = 0; i < kTriggerTypes.size(); ++i)
    if (kTriggerTypes[i].letter == letter) return int(i);
  return -1;
}

char triggerTypeLetter(std::uint32_t word) {
  const unsigned c = word & 0xFF;
  return (c >= 0x20 && c < 0x7F) ? char(c) : char(0);
}

std::uint32_t triggerTypeWord(char letter) {
  return std::uint32_t(std::uint8_t(letter));
}

int analogComboIndex(char letter) {
  for (std::size_t i = 0; i < kAnalogTriggerLetters.size(); ++i)
    if (kAnalogTriggerLetters[i] == letter) return int(i);
  return -1;
}

int logicComboIndex(char letter) {
  for (std::size_t i = 0; i < kLogicTriggerLetters.size(); ++i)
    if (kLogicTriggerLetters[i] == letter) return int(i);
  return -1;
}

QString sampleTimeAdjustedText(double asked, double got) {
  return text(kTextSampleTimeTaken).arg(valueText(got, 6, QStringLiteral("s")),
                       valueText(asked, 6, QStringLiteral("s")));
}

int limitToOffered(SettingsRecord& r) {
  int changed = 0;
  // Files hold the values in single precision (0.2 V is read back as 0.20000000298): a value
  // that is the offered one in that precision is the offered one, and is not counted.
  const auto take = [&](auto& field, auto value) {
    if (field == value) return;
    if constexpr (std::is_floating_point_v<std::decay_t<decltype(field)>>)
      if (float(field) == float(value)) return;
    field = value;
    ++changed;
  };
  // A value that is no number goes to the row the controls start in.
  const auto row = [](std::span<const double> table, double v, int start) {
    return table[std::size_t(std::isfinite(v) ? nearestRow(table, v) : start)];
  };
  if (modeIndex(r.mode) < 0) take(r.mode, kModeOSA0);
  take(r.amplC0, row(kAmplitudeTable, r.amplC0, kAmplitudeStartPos));
  take(r.amplC1, row(kAmplitudeTable, r.amplC1, kAmplitudeStartPos));
  // A device takes sample times between the rows too (and reports them): only one outside the
  // table's span is limited, so a setting saved from a reply comes back as it was.
  const double shortest = kSampleTimeTableUs.front() / 1e6, longest = kSampleTimeTableUs.back() / 1e6;
  take(r.sampleTime, std::isfinite(r.sampleTime) ? std::clamp(r.sampleTime, shortest, longest)
                                                 : kSampleTimeTableUs[6] / 1e6);
  take(r.memoryDepth, row(kMemoryDepthTable, r.memoryDepth, 6));
  take(r.triggerPoint, std::isfinite(r.triggerPoint) ? std::clamp(r.triggerPoint, 0.0, 100.0)
                                                     : double(kTriggerPointStart));
  take(r.probeFactorC0, probeFactorInForce(r.probeFactorC0));
  take(r.probeFactorC1, probeFactorInForce(r.probeFactorC1));
  return changed;
}

char offeredTriggerType(ModeCode mode, char letter) {
  if (isLoggerMode(mode)) return 'M';
  // Manual rather than an external edge: a record comes whatever is wired to the device.
  if (mode == kModeLAIO) return logicComboIndex(letter) >= 0 ? letter : 'M';
  if (mode == kModeOSA0) return analogComboIndex(letter) >= 0 ? letter : 'T';
  return letter;
}

QString fixedPanelText(double v, int width, int decimals, const QString& suffix, QChar sep) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
  QString s = QString::fromLatin1(buf);
  if (sep != QLatin1Char('.')) s.replace(QLatin1Char('.'), sep);
  return s + suffix;
}

bool amplitudePanelText(double range, ModeCode mode, QChar decimalSep, QString& out) {
  QString sign;
  if (mode == kModeVMD0 || mode == kModeVMD1 || mode == kModeOSA0 || mode == kModeDLA0)
    sign = QString(QChar(0x00B1));
  else if (mode != kModeVMA0 && mode != kModeVMA1)
    return false;
  const double half = range / 2.0;
  if (range >= 2.0) {
    // Whole volts; a half range like 2.5 keeps its fraction rather than being rounded away.
    if (std::fabs(half - std::round(half)) < 1e-6) {
      out = sign + QString::number(qint64(std::llround(half))) + QStringLiteral(" V");
    } else {
      QString t = QString::number(half, 'g', 6);
      if (decimalSep != QLatin1Char('.')) t.replace(QLatin1Char('.'), decimalSep);
      out = sign + t + QStringLiteral(" V");
    }
  } else {
    out = sign + fixedPanelText(half, 2, 2, QStringLiteral("V"), decimalSep);
  }
  return true;
}

ModeLayout modeLayout(ModeCode mode, bool multiRegistered) {
  ModeLayout l;
  switch (modeIndex(mode)) {
    case 0:
    case 1:
    case 2:
    case 3:
      l.amplitudes = true;
      l.gpio = GpioPlacement::BelowAmplitudes;
      l.sheet = TabSheet::Voltmeter;
      break;
    case 4:  // OSA0
      l.singleOverlap = l.amplitudes = l.timebase = l.memoryDepth = true;
      l.analogTrigger = l.triggerTable = true;
      l.gpio = GpioPlacement::BelowTrigger;
      l.autoSaveBinShown = l.hidePlotOrUpdateChart = true;
      l.switchTab = !multiRegistered;
      break;
    case 5:  // DLA0
      l.amplitudes = l.timebase = true;
      l.gpio = GpioPlacement::Shown;
      l.startsForceManualTrigger = true;
      break;
    case 6:  // LAIO
      l.singleOverlap = l.timebase = l.timebaseAtTop = l.memoryDepth = true;
      l.triggerTable = l.logicTrigger = true;
      l.autoSaveBinShown = true;  // its binary auto-save writes the logic-analyser file
      break;
    case 7:  // DLDI
      l.timebase = l.timebaseAtTop = true;
      l.startsForceManualTrigger = true;
      break;
    default:
      l.switchTab = false;
      break;
  }
  return l;
}

bool memoryDepthControlsShown(bool controlsEnabled, ModeCode mode) {
  return controlsEnabled && (mode == kModeOSA0 || mode == kModeLAIO);
}

}  // namespace tolv
