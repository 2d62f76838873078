// What the device window's images are fed: curves, units, colours and ranges handed to the
// plot kernel, the timing-diagram views and the headline.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/format.h"
#include "common/version.h"
#include "measure/intermediaterecords.h"
#include "measure/plotfeed.h"
#include "plot/loganal_plot.h"

using namespace tolv;

namespace {

SettingsRecord scopeRecord(double tp, double depth, double dt) {
  SettingsRecord r = SettingsRecord::defaults();
  r.triggerPoint = tp;
  r.memoryDepth = depth;
  r.sampleTime = dt;
  return r;
}

struct Samples {
  std::vector<double> c0, c1;
  explicit Samples(int n) : c0(std::size_t(n)), c1(std::size_t(n)) {
    for (int i = 0; i < n; ++i) {
      c0[std::size_t(i)] = 1.5 * std::sin(i * 0.05);
      c1[std::size_t(i)] = (i / 50) % 2 ? 1.0 : -1.0;
    }
  }
};

double num(const WorldValue& v) {
  return v.toNumber();
}

// Points of a data set in the given colour that do not take part in measurements.
std::vector<PlotPoint> guidePoints(const TGenD2DataSet& ds, ColorRef c) {
  std::vector<PlotPoint> out;
  const auto& pts = ds.points.Points();
  for (std::size_t i = 0; i < pts.size(); ++i) {
    const PlotPoint& p = pts[i];
    // A lone range point is linked to nothing and nothing links to it.
    const bool lone = p.linkA < 0 && (i + 1 == pts.size() || pts[i + 1].linkA != int(i));
    if (p.color == c && !(p.flags & kPointMeasurable) && p.markerShape == 9 && !lone)
      out.push_back(p);
  }
  return out;
}

}  // namespace

namespace {

// A loaded stream of n samples: channel 0 rises by one step per sample, channel 1 falls by
// two. W counts the end marker's 8 words as well.
AnalogLoggerStream loggerStream(int n, const SettingsRecord& h = SettingsRecord::defaults()) {
  AnalogLoggerStream s;
  s.header = h;
  for (int i = 0; i < n; ++i) {
    s.raw0.push_back(std::uint16_t(32768 + i));
    s.raw1.push_back(std::uint16_t(32768 - 2 * i));
  }
  s.wordCount = std::uint64_t(2 * n + 8);
  return s;
}

}  // namespace

namespace {

std::vector<VoltmeterReading> readings(int n) {
  std::vector<VoltmeterReading> r;
  const DayTime t0{43200.0, 739000};
  for (int i = 0; i < n; ++i)
    r.push_back(VoltmeterReading::measured(dtAddSeconds(t0, 0.5 * i), 0.1 * i, -0.05 * i));
  return r;
}

}  // namespace

// A sheet with nothing measured yet names no time (not a date before the calendar).
TEST(Headline, NoMeasurementNamesNoTime) {
  const QString none = headlineText(QStringLiteral("TVS00001"), DayTime{});
  EXPECT_TRUE(none.startsWith(QStringLiteral("TVS00001  ") + versionInfo().productName))
      << none.toStdString();
  DayTime t;
  t.day = 739595;
  t.seconds = 3600.5;
  const QString at = headlineText(QStringLiteral("TVS00001"), t);
  EXPECT_EQ(at, QStringLiteral("TVS00001  ") + dateTimeText(t) + QLatin1Char(' ') +
                    versionInfo().productName + QStringLiteral(" V") + versionInfo().fileVersion);
}

TEST(ScopeFeed, PlotModeZeroLeavesNoCurve) {
  TGenD2ImgKernel k;
  Samples s(100);
  PlotChoice pc;
  pc.plotMode = kPlotNone;
  EXPECT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 100, scopeRecord(10, 100, 0.001), pc), 0);
  EXPECT_EQ(k.DataSetCount(), 0);
}

TEST(ScopeFeed, TimeAxisRunsFromPretriggerToEndWithTriggerLineAtZero) {
  TGenD2ImgKernel k;
  k.SetImageSize(1200, 700);
  k.PrepareImage(nullptr);
  Samples s(1000);
  PlotChoice pc;
  pc.plotMode = kPlotK0;
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 1000, scopeRecord(10, 1000, 0.001), pc), 0);
  ASSERT_EQ(k.DataSetCount(), 1);
  ASSERT_EQ(k.Render(nullptr, true), 0);
  const AxisWorldData& x = *k.Get(0)->mergedX;
  EXPECT_NEAR(num(x.minimum), -0.1, 1e-12);
  EXPECT_NEAR(num(x.maximum), 0.9, 1e-12);
  EXPECT_EQ(x.unit, QStringLiteral("s"));
  const TGenD2DataSet& ds = *k.Get(0);
  // The samples come as a series, sample i at i * 1 ms - 0.1 s to the last bit (as a point
  // per sample stood), so sample 100 is the trigger moment.
  ASSERT_TRUE(ds.series);
  ASSERT_EQ(ds.series->Count(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(ds.series->XOf(std::uint64_t(i)).number, i * 0.001 - 0.1) << i;
  EXPECT_NEAR(num(ds.series->XOf(100)), 0.0, 1e-12);
  EXPECT_EQ(ds.series->color, kChannelColour[0]);
  const auto trig = guidePoints(ds, kColorBlack);
  ASSERT_EQ(int(trig.size()), kGuideLinePoints);
  for (const PlotPoint& p : trig) EXPECT_EQ(num(p.X), 0.0);
  // Fixed range of AmplC0 5 with probe 1: +-2.5 V, the trigger line spans it.
  EXPECT_DOUBLE_EQ(num(trig.front().Y), -2.5);
  EXPECT_DOUBLE_EQ(num(trig.back().Y), 2.5);
  EXPECT_DOUBLE_EQ(num(ds.mergedY->minimum), -2.5);
  EXPECT_DOUBLE_EQ(num(ds.mergedY->maximum), 2.5);
  // The zero line in the channel's colour from -Tp to T - Tp.
  std::vector<PlotPoint> zero;
  for (const PlotPoint& p : guidePoints(ds, kChannelColour[0])) zero.push_back(p);
  ASSERT_EQ(int(zero.size()), kGuideLinePoints);
  EXPECT_NEAR(num(zero.front().X), -0.1, 1e-12);
  EXPECT_NEAR(num(zero.back().X), 0.9, 1e-12);
  EXPECT_EQ(num(zero[500].Y), 0.0);
  // Red K1 is not drawn in mode 1.
  for (const PlotPoint& p : ds.points.Points()) EXPECT_NE(p.color, kChannelColour[1]);
}

TEST(ScopeFeed, FixedRangeUsesProbeFactorAndDividerOfTheRecord) {
  TGenD2ImgKernel k;
  Samples s(200);
  SettingsRecord r = scopeRecord(50, 200, 1e-5);
  r.amplC0 = 2.0;
  r.probeFactorC0 = 10.0;
  r.probeHelpFactorFlag = true;
  r.amplC1 = 0.2;
  r.probeFactorC1 = 10.0;
  r.probeHelpFactorFlag = true;
  PlotChoice pc;
  pc.plotMode = kPlotK0K1;
  pc.synchYAxes = false;
  pc.autoScale[1] = true;
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 200, r, pc), 0);
  ASSERT_EQ(k.DataSetCount(), 2);
  EXPECT_NEAR(num(k.Get(0)->yAxis.maximum), 1.0 * (9.0 / 0.85 + 1.0), 1e-9);
  EXPECT_NEAR(num(k.Get(0)->yAxis.minimum), -1.0 * (9.0 / 0.85 + 1.0), 1e-9);
  // Auto-scaled channel 1 spans its data only.
  EXPECT_DOUBLE_EQ(num(k.Get(1)->yAxis.minimum), -1.0);
  EXPECT_DOUBLE_EQ(num(k.Get(1)->yAxis.maximum), 1.0);
  r.probeHelpFactorFlag = false;
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 200, r, pc), 0);
  EXPECT_NEAR(num(k.Get(0)->yAxis.maximum), 10.0, 1e-12);
  // A damaged header's factor counts as its CSV and conversion count it: the nearest offered
  // probe (100 for 1e30, never a range of 1e30 V), or none for a value that is no number.
  for (const auto& [damaged, probe] : {std::pair{1e30, 100.0},
                                      std::pair{std::numeric_limits<double>::quiet_NaN(), 1.0},
                                      std::pair{101.0, 100.0}}) {
    r.probeFactorC0 = probe;
    ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 200, r, pc), 0);
    const double hi = num(k.Get(0)->yAxis.maximum), lo = num(k.Get(0)->yAxis.minimum);
    EXPECT_GE(hi, probe);
    r.probeFactorC0 = damaged;
    ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 200, r, pc), 0);
    EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), hi) << damaged;
    EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.minimum), lo) << damaged;
  }
}

// The fixed range is what the converter measures: the offset shifts it, the probe factor
// (with the divider) scales it, a negative probe factor turns it round.
TEST(ScopeFeed, FixedRangeIsTheMeasurableRangeOffsetIncluded) {
  SettingsRecord r = scopeRecord(50, 200, 1e-5);
  r.amplC0 = 2.0;
  r.offsC0 = 1.5;
  r.probeFactorC0 = 1.0;
  r.amplC1 = 10.0;
  r.offsC1 = -3.0;
  r.probeFactorC1 = 10.0;
  r.probeHelpFactorFlag = false;
  EXPECT_DOUBLE_EQ(fixedRange(r, 0).lo, 0.5);
  EXPECT_DOUBLE_EQ(fixedRange(r, 0).hi, 2.5);
  EXPECT_DOUBLE_EQ(fixedRange(r, 1).lo, -80.0);
  EXPECT_DOUBLE_EQ(fixedRange(r, 1).hi, 20.0);
  r.probeHelpFactorFlag = true;
  const double f = 9.0 / 0.85 + 1.0;
  EXPECT_NEAR(fixedRange(r, 1).lo, -8.0 * f, 1e-12);
  EXPECT_NEAR(fixedRange(r, 1).hi, 2.0 * f, 1e-12);
  r.probeFactorC0 = -1.0;  // (-1 - 1) / 0.85 + 1
  const double g = -2.0 / 0.85 + 1.0;
  EXPECT_NEAR(fixedRange(r, 0).lo, 2.5 * g, 1e-12);
  EXPECT_NEAR(fixedRange(r, 0).hi, 0.5 * g, 1e-12);

  // A trace measured at 1.0 .. 2.0 V with the 1.5 V offset lies on the axis and is drawn.
  r = scopeRecord(50, 200, 1e-5);
  r.amplC0 = 2.0;
  r.offsC0 = 1.5;
  r.probeFactorC0 = 1.0;
  std::vector<double> c0(200), c1(200, 0.0);
  for (int i = 0; i < 200; ++i) c0[std::size_t(i)] = 1.5 + 0.5 * std::sin(i * 0.1);
  PlotChoice pc;
  pc.plotMode = kPlotK0;
  TGenD2ImgKernel k;
  k.SetImageSize(500, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(feedScopeImage(k, c0.data(), c1.data(), 200, r, pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.minimum), 0.5);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), 2.5);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const QRgb blue = qRgb(0, 0, 255);
  int drawn = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 500; ++x) drawn += k.Bitmap().pixel(x, y) == blue;
  EXPECT_GT(drawn, 300);
  // The XY picture fixes the axis of a channel the same way.
  pc.plotMode = kPlotK1vsK0;
  pc.autoScale[1] = true;
  ASSERT_EQ(feedScopeImage(k, c0.data(), c1.data(), 200, r, pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->xAxis.minimum), 0.5);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->xAxis.maximum), 2.5);
}

// Both channels on one Y axis: the axis is drawn in a neutral colour, not in either channel's;
// an axis of one channel keeps its colour.
TEST(ScopeFeed, SharedYAxisIsNeutral) {
  Samples s(300);
  const SettingsRecord r = scopeRecord(10, 300, 1e-4);
  PlotChoice pc;
  pc.plotMode = kPlotK0K1;
  pc.synchYAxes = true;
  TGenD2ImgKernel k;
  k.SetImageSize(600, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 300, r, pc), 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(k.Get(i)->yStyle.axisColor, kSharedAxisColour) << i;
    EXPECT_EQ(k.Get(i)->yStyle.labelColor, kSharedAxisColour) << i;
    ASSERT_TRUE(k.Get(i)->series) << i;
    EXPECT_EQ(k.Get(i)->series->color, kChannelColour[i]) << i;
  }
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const AxisWorldData& band = *k.YAxes().Get(0);
  const int x = band.right - 5, y = (band.top + band.bottom) / 2;
  EXPECT_EQ(k.Bitmap().pixel(x, y), qRgb(0, 0, 0));
  // One channel alone: its own colour.
  pc.plotMode = kPlotK1;
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 300, r, pc), 0);
  EXPECT_EQ(k.Get(0)->yStyle.axisColor, kChannelColour[1]);
  // The analog logger and the voltmeter chart share the same way.
  pc.plotMode = kPlotK0K1;
  ASSERT_EQ(feedAnalogLoggerImage(k, loggerStream(30), DayTime{}, pc), 0);
  EXPECT_EQ(k.Get(1)->yStyle.axisColor, kSharedAxisColour);
  pc.synchYAxes = false;
  ASSERT_EQ(feedAnalogLoggerImage(k, loggerStream(30), DayTime{}, pc), 0);
  EXPECT_EQ(k.Get(1)->yStyle.axisColor, kChannelColour[1]);
  ASSERT_EQ(feedChartImage(k, readings(5), ChartScale{}, pc), 0);
  EXPECT_EQ(k.Get(0)->yStyle.axisColor, kSharedAxisColour);
  EXPECT_EQ(k.Get(1)->yStyle.axisColor, kSharedAxisColour);
}

TEST(ScopeFeed, UnsynchronisedYAxesGiveChannelOneAnAxisOfItsOwn) {
  TGenD2ImgKernel k;
  Samples s(300);
  PlotChoice pc;
  pc.plotMode = kPlotK0K1;
  pc.synchYAxes = false;
  const SettingsRecord r = scopeRecord(10, 300, 1e-4);
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 300, r, pc), 0);
  EXPECT_EQ(k.YAxes().Count(), 2);
  EXPECT_EQ(k.XAxes().Count(), 1);
  EXPECT_EQ(k.Get(1)->yAxis.unit, QStringLiteral("V "));
  EXPECT_EQ(k.Get(1)->yStyle.axisColor, kChannelColour[1]);
  pc.synchYAxes = true;
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 300, r, pc), 0);
  EXPECT_EQ(k.YAxes().Count(), 1);
  EXPECT_EQ(k.Get(1)->yAxis.unit, QStringLiteral("V"));
}

TEST(ScopeFeed, XYModesPutTheChosenChannelOnX) {
  TGenD2ImgKernel k;
  Samples s(100);
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  pc.autoScale[0] = pc.autoScale[1] = true;
  const SettingsRecord r = scopeRecord(10, 100, 1e-4);
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 100, r, pc), 0);
  ASSERT_EQ(k.DataSetCount(), 1);
  const TGenD2DataSet& ds = *k.Get(0);
  EXPECT_DOUBLE_EQ(num(ds.points.At(7).X), s.c0[7]);
  EXPECT_DOUBLE_EQ(num(ds.points.At(7).Y), s.c1[7]);
  EXPECT_EQ(ds.xStyle.axisColor, kChannelColour[0]);
  EXPECT_EQ(ds.yStyle.axisColor, kChannelColour[1]);
  EXPECT_EQ(ds.points.At(7).color, kChannelColour[1]);
  EXPECT_EQ(ds.xAxis.unit, QStringLiteral("V"));
  // Both ranges contain 0: a black vertical and a black horizontal line.
  EXPECT_EQ(int(guidePoints(ds, kColorBlack).size()), 2 * kGuideLinePoints);

  pc.plotMode = kPlotK0vsK1;
  pc.autoScale[1] = false;  // X is channel 1, fixed at +-2.5 V
  ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 100, r, pc), 0);
  const TGenD2DataSet& d2 = *k.Get(0);
  EXPECT_DOUBLE_EQ(num(d2.points.At(7).X), s.c1[7]);
  EXPECT_DOUBLE_EQ(num(d2.xAxis.minimum), -2.5);
  EXPECT_DOUBLE_EQ(num(d2.xAxis.maximum), 2.5);
  EXPECT_EQ(d2.xStyle.axisColor, kChannelColour[1]);
}

TEST(ScopeFeed, EmptyRecordAddsNoSamplePoints) {
  TGenD2ImgKernel k;
  PlotChoice pc;
  const SettingsRecord r = scopeRecord(10, 100, 1e-4);
  EXPECT_EQ(feedScopeImage(k, nullptr, nullptr, 5, r, pc), 0);
  for (int i = 0; i < k.DataSetCount(); ++i)
    for (const PlotPoint& p : k.Get(i)->points.Points()) EXPECT_FALSE(p.flags & kPointMeasurable);
  pc.plotMode = kPlotK1vsK0;
  EXPECT_EQ(feedScopeImage(k, nullptr, nullptr, 0, r, pc), 0);
  EXPECT_EQ(k.DataSetCount(), 0);
}

// A damaged record (no forward sample time, or values that are no numbers) keeps a point per
// sample, which leaves such values out of the ranges instead of a series summarising them.
TEST(ScopeFeed, DamagedRecordKeepsAPointPerSample) {
  Samples s(100);
  s.c0[40] = std::nan("");
  PlotChoice pc;
  pc.plotMode = kPlotK0K1;
  pc.autoScale[0] = pc.autoScale[1] = true;
  for (const double dt : {1e-4, 0.0, -1e-4}) {
    TGenD2ImgKernel k;
    ASSERT_EQ(feedScopeImage(k, s.c0.data(), s.c1.data(), 100, scopeRecord(10, 100, dt), pc), 0);
    ASSERT_EQ(k.DataSetCount(), 2);
    EXPECT_FALSE(k.Get(0)->series) << dt;
    EXPECT_EQ(bool(k.Get(1)->series), dt > 0) << dt;
    EXPECT_EQ(k.Get(1)->PointCount(), 100 + 2 * kGuideLinePoints) << dt;
    EXPECT_TRUE(std::isfinite(num(k.Get(0)->yAxis.minimum))) << dt;
    EXPECT_TRUE(std::isfinite(num(k.Get(0)->yAxis.maximum))) << dt;
  }
  // The values are checked piece by piece as they are copied: the last piece counts too.
  Samples l(9000);
  l.c0[8999] = std::numeric_limits<double>::infinity();
  TGenD2ImgKernel k;
  ASSERT_EQ(feedScopeImage(k, l.c0.data(), l.c1.data(), 9000, scopeRecord(10, 9000, 1e-4), pc), 0);
  EXPECT_FALSE(k.Get(0)->series);
  ASSERT_TRUE(k.Get(1)->series);
  EXPECT_EQ(k.Get(1)->series->Count(), 9000u);
  for (std::size_t i = 0; i < 9000; ++i) l.c1[i] = std::sin(double(i) * 0.0123) * double(i);
  ASSERT_EQ(feedScopeImage(k, l.c0.data(), l.c1.data(), 9000, scopeRecord(10, 9000, 1e-4), pc), 0);
  double lo = 0, hi = 0;
  ASSERT_TRUE(k.Get(1)->series->MinMax(4000, 8200, lo, hi));  // across the pieces
  const auto [mn, mx] = std::minmax_element(l.c1.begin() + 4000, l.c1.begin() + 8200);
  EXPECT_EQ(lo, *mn);
  EXPECT_EQ(hi, *mx);
}

// --- Analog logger ---------------------------------------------------------------------------


// Every sample is drawn, the first one at 0 s: the CSV of the same stream has it as row 0.
TEST(AnalogLoggerFeed, DrawsEverySampleFromTheFirstAndConvertsWithTheHeader) {
  TGenD2ImgKernel k;
  SettingsRecord h = SettingsRecord::defaults();
  h.sampleTime = 0.01;
  h.amplC0 = 2.0;
  h.probeFactorC0 = 10.0;
  h.probeHelpFactorFlag = false;
  PlotChoice pc;
  pc.plotMode = kPlotK0;
  pc.autoScale[0] = true;
  ASSERT_EQ(feedAnalogLoggerImage(k, loggerStream(19, h), DayTime{3600.0, 739000}, pc), 0);
  const TGenD2DataSet& ds = *k.Get(0);
  std::vector<PlotPoint> curve;
  for (const PlotPoint& p : ds.points.Points())
    if (p.flags & kPointMeasurable) curve.push_back(p);
  ASSERT_EQ(curve.size(), 19u);
  EXPECT_DOUBLE_EQ(num(curve[0].Y), 0.0);
  EXPECT_DOUBLE_EQ(num(curve[0].X), 0.0);
  EXPECT_DOUBLE_EQ(num(curve[1].Y), 10.0 / 32768.0);
  EXPECT_DOUBLE_EQ(num(curve[18].Y), 10.0 * 18.0 / 32768.0);
  EXPECT_DOUBLE_EQ(num(curve[18].X), 18 * 0.01);
  EXPECT_TRUE(curve[0].X.isNumber());
  EXPECT_EQ(ds.xAxis.unit, QStringLiteral("s"));
}

TEST(AnalogLoggerFeed, LongStreamRunsOnClockTimeOfTheHeadersSampleTime) {
  TGenD2ImgKernel k;
  SettingsRecord h = SettingsRecord::defaults();
  const DayTime start{86399.5, 739000};
  PlotChoice pc;
  pc.plotMode = kPlotK1;
  // 208 words x 0.28 s = 58.24 s: seconds; x 0.29 s = 60.32 s: clock time.
  h.sampleTime = 0.28;
  ASSERT_EQ(feedAnalogLoggerImage(k, loggerStream(100, h), start, pc), 0);
  EXPECT_TRUE(k.Get(0)->points.At(0).X.isNumber());
  h.sampleTime = 0.29;
  ASSERT_EQ(feedAnalogLoggerImage(k, loggerStream(100, h), start, pc), 0);
  const PlotPoint& p3 = k.Get(0)->points.At(3);
  ASSERT_TRUE(p3.X.isTime());
  // 3 x 0.29 s after the start, past midnight into the next day.
  EXPECT_EQ(p3.X.day, 739001);
  EXPECT_NEAR(p3.X.number, 0.37, 1e-9);
  // The trigger line stands at the first X value.
  const auto trig = guidePoints(*k.Get(0), kColorBlack);
  ASSERT_FALSE(trig.empty());
  EXPECT_EQ(trig.front().X, k.Get(0)->points.At(0).X);
}

TEST(AnalogLoggerFeed, EmptyOrUnevenStreamsDrawNoCurveAndOneSampleIsAPoint) {
  TGenD2ImgKernel k;
  PlotChoice pc;
  for (int mode : {kPlotK0K1, kPlotK1vsK0}) {
    pc.plotMode = mode;
    EXPECT_EQ(feedAnalogLoggerImage(k, loggerStream(0), DayTime{}, pc), 0);
    EXPECT_EQ(k.DataSetCount(), 0);
    EXPECT_EQ(feedAnalogLoggerImage(k, loggerStream(1), DayTime{}, pc), 0);
    ASSERT_GT(k.DataSetCount(), 0);
    int measured = 0;
    for (const PlotPoint& p : k.Get(0)->points.Points()) measured += (p.flags & kPointMeasurable) != 0;
    EXPECT_EQ(measured, 1);
    AnalogLoggerStream uneven = loggerStream(5);
    uneven.raw1.resize(2);
    EXPECT_EQ(feedAnalogLoggerImage(k, uneven, DayTime{}, pc), 0);
    for (int i = 0; i < k.DataSetCount(); ++i)
      EXPECT_LE(k.Get(i)->points.Count(), 2 + 2 + 2 * kGuideLinePoints);
  }
}

TEST(AnalogLoggerFeed, XYZeroLinesTakeTheChannelColours) {
  TGenD2ImgKernel k;
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  ASSERT_EQ(feedAnalogLoggerImage(k, loggerStream(30), DayTime{}, pc), 0);
  const TGenD2DataSet& ds = *k.Get(0);
  EXPECT_EQ(int(guidePoints(ds, kChannelColour[0]).size()), kGuideLinePoints);
  EXPECT_TRUE(guidePoints(ds, kColorBlack).empty());
}

// --- Voltmeter chart -------------------------------------------------------------------------


TEST(ChartFeed, The180thReadingSwitchesToClockTime) {
  TGenD2ImgKernel k;
  PlotChoice pc;
  ChartScale sc;
  auto r = readings(179);
  ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
  EXPECT_TRUE(k.Get(0)->points.At(178).X.isNumber());
  EXPECT_DOUBLE_EQ(num(k.Get(0)->points.At(178).X), 89.0);
  EXPECT_EQ(k.Get(0)->xAxis.unit, QStringLiteral("s"));
  r = readings(180);
  ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
  EXPECT_TRUE(k.Get(0)->points.At(179).X.isTime());
  EXPECT_EQ(k.Get(0)->points.At(179).X, WorldValue::at(r[179].time));
  // Both channels always on one Y axis.
  EXPECT_EQ(k.YAxes().Count(), 1);
}

TEST(ChartFeed, FixedRangeIsPlusMinusAmplitudeTimesProbeInDCAndFromZeroInRMS) {
  TGenD2ImgKernel k;
  PlotChoice pc;
  pc.plotMode = kPlotK0;
  ChartScale sc;
  sc.ampl[0] = 2.0;
  sc.probe[0] = 10.0;
  const auto r = readings(5);
  ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.minimum), -20.0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), 20.0);
  sc.rms = true;
  ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.minimum), 0.0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), 20.0);
  pc.autoScale[0] = true;
  ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), 0.4);
}

// Both RMS modes, raw or not, start the chart at 0; both DC modes run symmetric.
TEST(ChartFeed, BothRmsModesStartAtZero) {
  ConversionInputs conv;
  conv.ampl = {2.0, 20.0};
  conv.probe = {10.0, 1.0};
  auto r = readings(5);
  for (VoltmeterReading& v : r) v.value1 = -v.value1;  // RMS readings are not negative
  PlotChoice pc;
  pc.plotMode = kPlotK0K1;
  for (ModeCode m : {kModeVMD0, kModeVMD1, kModeVMA0, kModeVMA1}) {
    SCOPED_TRACE(modeCodeText(m));
    const ChartScale sc = chartScaleFor(m, conv);
    const bool rms = m == kModeVMA0 || m == kModeVMA1;
    EXPECT_EQ(sc.rms, rms);
    EXPECT_DOUBLE_EQ(sc.ampl[1], 20.0);
    EXPECT_DOUBLE_EQ(sc.probe[0], 10.0);
    TGenD2ImgKernel k;
    ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
    EXPECT_DOUBLE_EQ(num(k.Get(0)->mergedY->minimum), rms ? 0.0 : -20.0);
    EXPECT_DOUBLE_EQ(num(k.Get(0)->mergedY->maximum), 20.0);
  }
}

// A stored series takes its own mode, ranges and probe factors; a probe factor 0 in its record
// counts as 1, as it does for the window's conversion, rather than closing the axis to 0..0.
TEST(ChartFeed, StoredSeriesScaleTakesItsRecordAndProbeZeroAsOne) {
  SettingsRecord r = SettingsRecord::defaults();
  r.mode = kModeVMA1;
  r.amplC0 = 2.0;
  r.amplC1 = 20.0;
  r.probeFactorC0 = 0;
  r.probeFactorC1 = -10;
  const ChartScale sc = chartScaleFor(r);
  EXPECT_TRUE(sc.rms);
  EXPECT_DOUBLE_EQ(sc.probe[0], 1.0);
  EXPECT_DOUBLE_EQ(sc.probe[1], -10.0);
  PlotChoice pc;
  pc.plotMode = kPlotK0;
  TGenD2ImgKernel k;
  ASSERT_EQ(feedChartImage(k, readings(5), sc, pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.minimum), 0.0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), 2.0);
  r.mode = kModeVMD0;
  ASSERT_EQ(feedChartImage(k, readings(5), chartScaleFor(r), pc), 0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.minimum), -2.0);
  // A stored header without its probe lines (read as 0) converts and ranges as factor 1.
  SettingsRecord one = r;
  one.probeFactorC0 = 1;
  EXPECT_DOUBLE_EQ(channelFactor(r, 0), 1.0);
  EXPECT_EQ(fixedRange(r, 0).lo, fixedRange(one, 0).lo);
  EXPECT_EQ(fixedRange(r, 0).hi, fixedRange(one, 0).hi);
  EXPECT_DOUBLE_EQ(conversionOfHeader(r).rawToVolts(0, 65535),
                   conversionOfHeader(one).rawToVolts(0, 65535));
}

TEST(ChartFeed, XYChartAndEmptyList) {
  TGenD2ImgKernel k;
  PlotChoice pc;
  pc.plotMode = kPlotK0vsK1;
  ChartScale sc;
  const auto r = readings(10);
  ASSERT_EQ(feedChartImage(k, r, sc, pc), 0);
  ASSERT_EQ(k.DataSetCount(), 1);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->points.At(4).X), r[4].value1);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->xAxis.minimum), -5.0);
  EXPECT_DOUBLE_EQ(num(k.Get(0)->yAxis.maximum), 5.0);
  EXPECT_EQ(feedChartImage(k, {}, sc, pc), 0);
  EXPECT_EQ(k.DataSetCount(), 0);
}

// --- Timing diagrams and headline ------------------------------------------------------------

TEST(LogicViews, PreAndPostTriggerCountsRoundHalfToEven) {
  SettingsRecord r = scopeRecord(10, 1000, 1e-6);
  TLogAnalView v = logicAnalyserView(1000, r);
  EXPECT_EQ(v.last, 900);
  EXPECT_EQ(v.first, -100);
  EXPECT_EQ(v.zeroIndex, 100);
  EXPECT_DOUBLE_EQ(v.period, 1e-6);
  // 5 x 0.5 = 2.5 post-trigger samples round to 2.
  r.triggerPoint = 50;
  r.memoryDepth = 5;
  v = logicAnalyserView(5, r);
  EXPECT_EQ(v.last, 2);
  EXPECT_EQ(v.first, -3);
  const TLogAnalView io = ioLoggerView(50, 0.0102);
  EXPECT_EQ(io.first, 0);
  EXPECT_EQ(io.last, 50);
  EXPECT_DOUBLE_EQ(io.period, 0.01);
}

// Writing a record's intermediate file must not grow the record on screen, and the filler a
// file read back keeps after the last sample is no sample: the view, its trigger sample and
// the right edge stay the record's.
// A record read back from its intermediate file keeps the filler written after its last
// sample: the view and the picture are those of the record itself, all lanes high to the right
// edge, no drop to the filler's zero word there.
TEST(LogicViews, TheFillerAfterARecordIsNoSample) {
  SettingsRecord r = scopeRecord(50, 5, 1e-6);
  TLogAnalList list;
  for (int i = 0; i < 5; ++i) list.add(i, std::uint16_t(0xFFFF));
  const TLogAnalView record = logicAnalyserView(list, r);
  EXPECT_EQ(record.last, 2);  // 2.5 post-trigger samples round to 2
  QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "LA.FIL";
  ASSERT_EQ(writeLogicIntermediate(file, list), 0);
  EXPECT_EQ(list.count(), 5);
  TLogAnalList back;
  ASSERT_EQ(readLogicIntermediate(file, back), 0);
  ASSERT_EQ(back.count(), 6);  // the filler came back with the record
  const TLogAnalView read = logicAnalyserView(back, r);
  EXPECT_EQ(read.last, record.last);
  EXPECT_EQ(read.first, record.first);
  EXPECT_EQ(read.zeroIndex, record.zeroIndex);
  TLogAnalPlot plot(back);
  plot.prepare(QSize(600, 300));
  ASSERT_EQ(plot.render(nullptr, read, true), 0);
  const auto red = [&](int x, int y) { return (plot.bitmap().pixel(x, y) & 0xFFFFFF) == 0xFF0000; };
  for (int x : {plot.plotArea().right() - 1, plot.plotArea().right()}) {
    for (int lane : {0, 15}) {
      EXPECT_TRUE(red(x, plot.laneHighY(lane))) << x << " lane " << lane;
      EXPECT_FALSE(red(x, plot.laneLowY(lane))) << x << " lane " << lane;
    }
  }
}

// Settings of a damaged stored header: the view stays within a billion samples each way and
// a number that is none counts as zero, so drawing the record shows nothing instead of failing.
TEST(LogicViews, SettingsFromDamagedHeadersGiveABoundedView) {
  SettingsRecord r = scopeRecord(10, 1000, 1e-6);
  r.triggerPoint = -1e300;
  r.memoryDepth = 1e300;
  TLogAnalView v = logicAnalyserView(1000, r);
  EXPECT_EQ(v.last, 1000000000);
  EXPECT_EQ(v.zeroIndex, 1000000000);
  EXPECT_EQ(v.first, -1000000000);
  r.triggerPoint = std::numeric_limits<double>::quiet_NaN();
  r.memoryDepth = -1e300;
  v = logicAnalyserView(1000, r);
  EXPECT_EQ(v.last, 0);
  EXPECT_EQ(v.first, 1000000000);
  EXPECT_EQ(v.zeroIndex, -1000000000);
  // Drawn as the sheet draws it.
  TLogAnalList list;
  for (int i = 0; i < 10; ++i) list.add(i, std::uint16_t(i));
  TLogAnalPlot plot(list);
  plot.prepare(QSize(300, 200));
  r.triggerPoint = -1e12;
  r.memoryDepth = 2e12;
  EXPECT_EQ(plot.render(nullptr, logicAnalyserView(list.count(), r), true), 0);
}

TEST(Headline, CentredAtTheTopInBlackOnWhite) {
  const QString text = headlineText(QStringLiteral("TV000123"), DayTime{3661.25, 739000});
  EXPECT_TRUE(text.startsWith(QStringLiteral("TV000123  ")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("Multi_Tolvanex V") + versionInfo().fileVersion));
  QImage img(401, 60, QImage::Format_RGB32);
  img.fill(Qt::blue);
  drawHeadline(img, text);
  QFontMetrics fm(QPainter(&img).font());
  const int w = fm.horizontalAdvance(text);
  const int x = (401 - w) / 2;
  // White background from x on, nothing left of it, black ink somewhere in the band.
  EXPECT_EQ(img.pixelColor(x - 3, 2), QColor(Qt::blue));
  EXPECT_EQ(img.pixelColor(x - 2, 0), QColor(Qt::white));
  EXPECT_EQ(img.pixelColor(x + w + 2, 2), QColor(Qt::blue));
  EXPECT_EQ(img.pixelColor(x, fm.height()), QColor(Qt::blue));
  bool ink = false;
  for (int y = 0; y < fm.height(); ++y)
    for (int i = x; i < x + w; ++i) ink = ink || img.pixelColor(i, y) == QColor(Qt::black);
  EXPECT_TRUE(ink);
}

// On a fine screen the picture has twice the pixels each way: the headline stays centred over
// it, its white box and its ink on the device pixels of the same place.
TEST(Headline, CentredOnAFineScreenPicture) {
  const QString text = QStringLiteral("TV000123  9 Dec 2026  07:23:05.123456 Multi_Tolvanex V1.0.0");
  QImage img(802, 120, QImage::Format_RGB32);
  img.setDevicePixelRatio(2.0);
  img.fill(Qt::blue);
  drawHeadline(img, text);
  int left = img.width(), right = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int i = 0; i < img.width(); ++i)
      if (img.pixelColor(i, y) == QColor(Qt::white)) {
        left = std::min(left, i);
        right = std::max(right, i);
      }
  ASSERT_GE(right, 0) << "no headline box";
  // The box is symmetric about the middle within a device pixel or two of rounding.
  EXPECT_LE(std::abs((left + right) - (img.width() - 1)), 4) << left << ".." << right;
  EXPECT_GT(left, 0);
  EXPECT_LT(right, img.width() - 1);
}
