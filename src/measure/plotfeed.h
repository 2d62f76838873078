#pragma once
// What the device window's plots are fed: the curves, axes and ranges of the scope image, the
// analog-logger image and the voltmeter chart for the plot kernel, the views of the two timing
// diagrams, and the headline every image carries. Plain functions over plain data, so the
// sheets only hand over the record and draw.
#include <QImage>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

#include "common/daytime.h"
#include "common/voltmeterreading.h"
#include "device/decoding.h"
#include "device/settingsrecord.h"
#include "measure/loggerseries.h"
#include "measure/loggerstream.h"
#include "plot/genkernel.h"
#include "plot/loganal_plot.h"

namespace tolv {

// Channel 0 blue, channel 1 red (0x00BBGGRR).
inline constexpr ColorRef kChannelColour[2] = {0xFF0000, 0x0000FF};
// A Y axis both channels share is drawn in neither channel's colour.
inline constexpr ColorRef kSharedAxisColour = 0x000000;

// Lines at zero and the trigger line are drawn with this many points.
inline constexpr int kGuideLinePoints = 1001;

// From this many readings on the voltmeter chart runs on clock time.
inline constexpr int kChartClockTimeReadings = 180;

// A logger stream longer than this (sample time x words, seconds) is drawn on clock time.
inline constexpr double kLoggerClockTimeSeconds = 60.0;

// An XY plot of a logger stream holds a point per distinct line between neighbouring samples,
// at most this many; a stream that needs more is drawn straight from its file instead (a piece
// at a time, no point per line, so nothing grows with the stream). A noisy stream has nearly a
// distinct line per sample, so this is what a plot point per sample may cost: under half a
// gigabyte with the drawn points (80 bytes each), the kept lines and the set that finds them.
inline constexpr std::uint64_t kLoggerXYMaxPoints = std::uint64_t(1) << 22;

enum PlotMode : int {
  kPlotNone = 0,
  kPlotK0 = 1,
  kPlotK1 = 2,
  kPlotK0K1 = 3,
  kPlotK1vsK0 = 4,  // XY, channel 0 on X
  kPlotK0vsK1 = 5,  // XY, channel 1 on X
};

// The window's current plot choices.
struct PlotChoice {
  int plotMode = kPlotK0K1;
  bool autoScale[2] = {false, false};
  bool synchYAxes = true;
};

// The fixed range of a channel with automatic scaling off: what the converter can measure,
// F x (Offs -+ Ampl / 2), lowest first (a negative probe factor turns it round).
struct ValueRange {
  double lo = 0.0;
  double hi = 0.0;
};
ValueRange fixedRange(const SettingsRecord& rs, int ch);
// "V" for channel 0; channel 1 gets "V " (its own axis) unless the Y axes are synchronised.
QString channelYUnit(int ch, bool synchYAxes);

// The scope image from the plot array (N samples per channel). Clears the kernel's curves.
// Returns 0 or the kernel's code of the first curve that could not be set up.
int feedScopeImage(TGenD2ImgKernel& k, const double* ch0, const double* ch1, int n,
                   const SettingsRecord& rs, const PlotChoice& pc);

// The analog-logger image from a loaded stream file: samples from the second on, converted
// and timed with the settings of the stream's own text header (the window's sample time may
// have changed since the run). start: the header's "Date Time" (or the measurement time).
int feedAnalogLoggerImage(TGenD2ImgKernel& k, const AnalogLoggerStream& stream,
                          const DayTime& start, const PlotChoice& pc);

// The same picture from a stream file opened for drawing: the time curves are drawn from the
// file through its summaries, never a point per sample; an XY curve holds each distinct line
// between neighbouring samples once, up to kLoggerXYMaxPoints points, and beyond that is drawn
// from the file (TXYSeries). xyMaxPoints: that limit (smaller ones let a test compare both).
int feedAnalogLoggerImage(TGenD2ImgKernel& k, const AnalogLoggerSeries& stream,
                          const DayTime& start, const PlotChoice& pc,
                          std::uint64_t xyMaxPoints = kLoggerXYMaxPoints);

// Ranges of the voltmeter chart: the window's current amplitudes, probe factors and mode.
struct ChartScale {
  double ampl[2] = {5.0, 5.0};
  double probe[2] = {1.0, 1.0};
  bool rms = false;  // VMA0/VMA1: 0 .. Ampl x P instead of +-Ampl x P
};
// The chart's ranges in a voltmeter mode with the conversion in force: both RMS modes (VMA0,
// VMA1) start at 0.
ChartScale chartScaleFor(ModeCode mode, const ConversionInputs& conv);
// A stored series keeps the mode, ranges and probe factors it was measured with: an RMS series
// shown in a DC mode still starts its axis at 0.
ChartScale chartScaleFor(const SettingsRecord& stored);
int feedChartImage(TGenD2ImgKernel& k, std::span<const VoltmeterReading> readings,
                   const ChartScale& scale, const PlotChoice& pc);

// Timing-diagram views: the logic analyser's around its trigger, the I/O logger's from its
// first sample.
TLogAnalView logicAnalyserView(std::int64_t n, const SettingsRecord& rs);
// The same for a list on screen or read from a file: the filler an intermediate file keeps
// after the last sample is no sample, so it is neither drawn nor counted.
TLogAnalView logicAnalyserView(const TLogAnalList& list, const SettingsRecord& rs);
TLogAnalView ioLoggerView(std::int64_t n, double sampleTime);

// Serial number, two blanks, the measurement time, a blank and the program's name and version.
QString headlineText(const QString& serial, const DayTime& measurementTime);
// Black on white, centred, at the top edge.
void drawHeadline(QImage& image, const QString& text);

}  // namespace tolv
