#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>
#include <random>

#include "common/regional.h"
#include "plot/genkernel.h"
#include "plot/plotlabel.h"
#include "plot/plotraster.h"

namespace tolv {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

std::uint32_t pixel(const TGenD2ImgKernel& k, int x, int y) {
  return k.Bitmap().pixel(x, y);
}
std::uint32_t rgb(ColorRef c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int(c >> 16)).rgb();
}

// Adds a linked curve y = f(x) at n points over [x0, x1].
void addCurve(TGenD2ImgKernel& k, int n, double x0, double x1, double (*f)(double),
              const QString& yUnit = QStringLiteral("V")) {
  TGenD2DataSet& ds = k.NewDataSet();
  ds.SetXUnit(QStringLiteral("s"));
  ds.SetYUnit(yUnit);
  PlotPoint p = ds.points.GetTemplate();
  for (int i = 0; i < n; ++i) {
    const double x = x0 + (x1 - x0) * i / std::max(1, n - 1);
    p.X = WorldValue::num(x);
    p.Y = WorldValue::num(f(x));
    ds.points.AddLinkedPoint(p);
  }
  k.AddDataSet(ds);
}

// A kernel with an empty picture of w x h, drawing collapsed or point by point.
void preparePicture(TGenD2ImgKernel& k, bool collapse, int w, int h) {
  k.collapsePoints = collapse;
  k.SetImageSize(w, h);
  k.PrepareImage(nullptr);
}

double lin(double x) {
  return x;
}
double sine(double x) {
  return std::sin(x);
}

TEST(Kernel, NewDataSetRotatesColoursAndMarkers) {
  TGenD2ImgKernel k;
  ColorRef prev = 0;
  const int shapes[] = {1, 2, 3, 0, 1};
  for (int i = 0; i < 25; ++i) {
    TGenD2DataSet& ds = k.NewDataSet();
    const ColorRef c = ds.points.GetTemplate().color;
    EXPECT_NE(c, prev);
    EXPECT_EQ(c, TGenD2ImgKernel::NextColor(prev));
    EXPECT_EQ(ds.yStyle.axisColor, c);
    EXPECT_EQ(ds.yStyle.labelColor, c);
    // Clearly different: at least one channel moves by half its range.
    const int d = std::max({std::abs(int(c & 0xFF) - int(prev & 0xFF)),
                            std::abs(int((c >> 8) & 0xFF) - int((prev >> 8) & 0xFF)),
                            std::abs(int(c >> 16) - int(prev >> 16))});
    EXPECT_GE(d, 127);
    if (i < 5) {
      EXPECT_EQ(ds.points.GetTemplate().markerShape, shapes[i]);
    }
    EXPECT_EQ(ds.points.GetTemplate().markerSize, 3);
    prev = c;
  }
}

TEST(Kernel, AddDataSetEmptiesCallerSetAndEmptySetStopsLaterCurves) {
  TGenD2ImgKernel k;
  k.SetImageSize(500, 300);
  k.PrepareImage(nullptr);
  TGenD2DataSet& ds = k.NewDataSet();
  ds.SetYUnit(QStringLiteral("V"));
  ds.points.SetMarker(0, 9);  // no marker: only the line
  PlotPoint p = ds.points.GetTemplate();
  p.X = WorldValue::num(0);
  p.Y = WorldValue::num(0);
  ds.points.AddLinkedPoint(p);
  p.X = WorldValue::num(10);
  p.Y = WorldValue::num(10);
  ds.points.AddLinkedPoint(p);
  EXPECT_EQ(k.AddDataSet(ds), kPlotOk);
  EXPECT_EQ(ds.points.Count(), 0);
  k.AddDataSet(ds);  // the emptied builder: a curve without points
  ASSERT_EQ(k.DataSetCount(), 2);
  EXPECT_EQ(k.Get(1)->points.Count(), 0);
  // A third curve with points after the empty one is not drawn.
  TGenD2DataSet& third = k.NewDataSet();
  third.SetYUnit(QStringLiteral("V"));
  third.points.SetMarker(1, 3);
  p = third.points.GetTemplate();
  p.X = WorldValue::num(5);
  p.Y = WorldValue::num(0);
  third.points.AddPoint(p);
  k.AddDataSet(third);
  EXPECT_EQ(k.Render(nullptr, true), kPlotEmpty);
  const TGenD2DataSet& first = *k.Get(0);
  const PlotRect pa = k.PlotArea();
  // The first curve's diagonal runs from the bottom-left to the top-right corner.
  EXPECT_EQ(first.xTransform.toPixel(WorldValue::num(0)), pa.left);
  EXPECT_EQ(first.yTransform.toPixel(WorldValue::num(10)), pa.top);
  EXPECT_EQ(pixel(k, pa.left, pa.bottom), rgb(first.points.At(0).color));
  EXPECT_EQ(pixel(k, pa.right, pa.top), rgb(first.points.At(0).color));
  const int cx = k.Get(2)->xTransform.toPixel(WorldValue::num(5));
  const int cy = k.Get(2)->yTransform.toPixel(WorldValue::num(0));
  EXPECT_EQ(pixel(k, cx, cy - 1), kWhite);  // the cross of the third curve is missing
  EXPECT_EQ(k.Render(nullptr, false), kPlotEmpty);
  k.ClearDataSets();
  EXPECT_EQ(k.Render(nullptr, true), kPlotEmpty);
}

TEST(Kernel, LayoutBandsForTwoYUnitsAndOneXAxis) {
  TGenD2ImgKernel k;
  k.SetImageSize(640, 400);
  k.PrepareImage(nullptr);
  addCurve(k, 50, 0, 10, sine, QStringLiteral("V"));
  addCurve(k, 50, 0, 10, lin, QStringLiteral("V "));
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  ASSERT_EQ(k.YAxes().Count(), 2);
  ASSERT_EQ(k.XAxes().Count(), 1);
  const QFontMetrics fm(k.Font());
  const int h = fm.height() + 17;
  const PlotRect pa = k.PlotArea();
  EXPECT_EQ(pa.top, 15);
  EXPECT_EQ(pa.right, 640 - 26);
  EXPECT_EQ(pa.bottom, 400 - 4 - h);
  const AxisWorldData& y0 = *k.YAxes().Get(0);
  const AxisWorldData& y1 = *k.YAxes().Get(1);
  EXPECT_EQ(y0.left, 2);
  EXPECT_EQ(y1.left, y0.right);
  EXPECT_EQ(pa.left, y1.right);
  const AxisWorldData& x0 = *k.XAxes().Get(0);
  EXPECT_EQ(x0.left, pa.left);
  EXPECT_EQ(x0.right, pa.right);
  EXPECT_EQ(x0.bottom, 400 - 9);
  EXPECT_EQ(x0.top, 400 - 4 - h);
  // Band width = widest end label + 11 (right = width + 13 from a left of 2).
  const QString lo = worldLabelText(y1.minimum, 5, y1.unit).leftJustified(y1.unit.size() + 5, '#');
  const QString hi = worldLabelText(y1.maximum, 5, y1.unit);
  EXPECT_EQ(y1.right - y1.left, std::max(fm.horizontalAdvance(lo), fm.horizontalAdvance(hi)) + 11);
  // The axis line of the first Y band is drawn in its colour.
  EXPECT_EQ(pixel(k, y0.right - 5, (pa.top + pa.bottom) / 2), rgb(k.Get(0)->yStyle.axisColor));
}

TEST(Kernel, StepSearchOnZeroToTenOverSixHundredPixels) {
  TGenD2ImgKernel k;
  addCurve(k, 11, 0, 10, lin, QStringLiteral("V"));
  // Find the image width that gives exactly 600 plot pixels.
  k.SetImageSize(700, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const int extra = 700 - (k.PlotArea().right - k.PlotArea().left);
  k.SetImageSize(600 + extra, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  ASSERT_EQ(k.PlotArea().right - k.PlotArea().left, 600);
  const AxisStepTrace& tr = k.XTrace(0);
  EXPECT_DOUBLE_EQ(tr.range, 20.0);
  const double expected[] = {0.2, 0.5, 1, 2, 5};
  ASSERT_GE(tr.steps.size(), 2u);
  for (std::size_t i = 0; i < tr.steps.size(); ++i) EXPECT_NEAR(tr.steps[i], expected[i], 1e-12);
  // The chosen step leaves 5 pixels between labels, the one before did not.
  const QFontMetrics fm(k.Font());
  auto gap = [&](double s) {
    const QString label = worldLabelText(WorldValue::num(s), 5, "s").leftJustified(6, '#');
    return 60.0 * s - fm.horizontalAdvance(label);
  };
  EXPECT_GE(gap(tr.steps.back()), 5 - 1);
  EXPECT_LT(gap(tr.steps[tr.steps.size() - 2]), 5);
  // Minor step three enlargements back (or the first), labels at multiples of the step.
  const std::size_t n = tr.steps.size();
  EXPECT_DOUBLE_EQ(tr.minor, n > 3 ? tr.steps[n - 4] : tr.steps[0]);
  const auto& tics = k.Get(0)->xTics;
  ASSERT_GE(tics.size(), 2u);
  for (const TTicRecord& t : tics) {
    EXPECT_GT(t.x, k.PlotArea().left);
    EXPECT_LT(t.x, k.PlotArea().right);
    EXPECT_EQ(t.x, k.Get(0)->xTransform.toPixel(t.value));
    EXPECT_EQ(t.label.align, 1);
  }
  EXPECT_EQ(tics[0].label.text, worldLabelText(tics[0].value, 5, "s"));
}

// Exactly 5 pixels between the measured label and the next tick are enough: the step search
// stops there instead of going on to the next step.
TEST(Kernel, StepSearchAcceptsAGapOfExactlyFivePixels) {
  TGenD2ImgKernel k;
  addCurve(k, 11, 0, 10, lin, QStringLiteral("V"));
  const QFontMetrics fm(k.Font());
  // The search measures the label of minimum + step, padded to digits + unit length.
  const int w = fm.horizontalAdvance(worldLabelText(WorldValue::num(2), 5, "s").leftJustified(6, '#'));
  const int plotWidth = 5 * (w + 5);  // step 2 lies w + 5 pixels from 0
  k.SetImageSize(700, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const int extra = 700 - (k.PlotArea().right - k.PlotArea().left);
  k.SetImageSize(plotWidth + extra, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  ASSERT_EQ(k.PlotArea().right - k.PlotArea().left, plotWidth);
  EXPECT_EQ(k.Get(0)->xTransform.toPixel(WorldValue::num(2)) - k.PlotArea().left, w + 5);
  EXPECT_DOUBLE_EQ(k.XTrace(0).steps.back(), 2.0) << "plot width " << plotWidth;
  // One pixel less and the step 2 no longer fits.
  k.SetImageSize(plotWidth + extra - 5, 300);
  k.PrepareImage(nullptr);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  EXPECT_DOUBLE_EQ(k.XTrace(0).steps.back(), 5.0);
}

// A value on a half pixel rounds to the even pixel, in the exact and in the fast transform
// alike, for numbers and times.
TEST(Kernel, HalfPixelsRoundToEvenInBothTransforms) {
  AxisTransform t;
  t.firstPixel = 0;
  t.lastPixel = 100;
  t.scale = 0.5;
  t.minimum = WorldValue::num(0.0);
  const struct {
    double v;
    int pixel;
  } cases[] = {{1, 0}, {3, 2}, {5, 2}, {7, 4}, {-1, 0}, {-3, -2}, {2, 1}, {1.0000001, 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(t.toPixel(WorldValue::num(c.v)), c.pixel) << c.v;
    EXPECT_EQ(t.toPixelFast(WorldValue::num(c.v)), c.pixel) << c.v;
  }
  // From another first pixel the halves land on other pixels: 10 + 0.5 and 10 + 2.5.
  t.firstPixel = 11;
  EXPECT_EQ(t.toPixel(WorldValue::num(1)), 12);
  EXPECT_EQ(t.toPixelFast(WorldValue::num(1)), 12);
  EXPECT_EQ(t.toPixel(WorldValue::num(5)), 14);
  EXPECT_EQ(t.toPixelFast(WorldValue::num(5)), 14);
  // A time axis: seconds from its minimum.
  t.firstPixel = 0;
  t.minimum = WorldValue::at(DayTime{3600.0, 739000});
  for (const auto& c : {std::pair{1.0, 0}, std::pair{5.0, 2}, std::pair{3.0, 2}}) {
    const WorldValue v = WorldValue::at(DayTime{3600.0 + c.first, 739000});
    EXPECT_EQ(t.toPixel(v), c.second) << c.first;
    EXPECT_EQ(t.toPixelFast(v), c.second) << c.first;
  }
}

// A zoom between the two levels of a square wave: its edges cross the window and are cut at
// its top and bottom instead of vanishing with the levels; the same in both point drawings.
TEST(Kernel, ZoomedLinesAreClippedAtTheWindowEdge) {
  QImage pictures[2];
  for (int mode = 0; mode < 2; ++mode) {
    TGenD2ImgKernel k;
    preparePicture(k, mode == 1, 600, 400);
    TGenD2DataSet& ds = k.NewDataSet();
    ds.SetXUnit(QStringLiteral("s"));
    ds.SetYUnit(QStringLiteral("V"));
    ds.points.SetMarker(3, 9);  // lines only
    PlotPoint p = ds.points.GetTemplate();
    // Levels -1 and +1 with an edge every 100 samples, two samples per edge.
    for (int i = 0; i < 1000; ++i) {
      p.X = WorldValue::num(i * 0.001);
      p.Y = WorldValue::num((i / 100) % 2 ? 1.0 : -1.0);
      ds.points.AddLinkedPoint(p);
    }
    k.AddDataSet(ds);
    ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
    const TGenD2DataSet& s = *k.Get(0);
    const std::uint32_t c = rgb(s.points.At(0).color);
    // Zoom into -0.5 .. +0.5 V over the edges at 0.1 s .. 0.4 s.
    const int left = s.xTransform.toPixel(WorldValue::num(0.05));
    const int right = s.xTransform.toPixel(WorldValue::num(0.45));
    const int top = s.yTransform.toPixel(WorldValue::num(0.5));
    const int bottom = s.yTransform.toPixel(WorldValue::num(-0.5));
    k.BeginZoom(nullptr, left, top);
    k.DragZoom(nullptr, right, bottom);
    ASSERT_EQ(k.FinishZoom(nullptr, right, bottom), kPlotOk);
    const PlotRect pa = k.PlotArea();
    const TGenD2DataSet& z = *k.Get(0);
    ASSERT_GT(z.yAxis.minimum.toNumber(), -0.55);
    ASSERT_LT(z.yAxis.maximum.toNumber(), 0.55);
    // Each of the four edges (0.1, 0.2, 0.3, 0.4 s) crosses the plot from bottom to top.
    for (double edge : {0.1, 0.2, 0.3, 0.4}) {
      const int x = z.xTransform.toPixel(WorldValue::num(edge));
      for (int y : {pa.top, (pa.top + pa.bottom) / 2, pa.bottom}) {
        bool hit = false;
        for (int dx = -1; dx <= 1; ++dx) hit = hit || pixel(k, x + dx, y) == c;
        EXPECT_TRUE(hit) << "edge " << edge << " row " << y;
      }
    }
    // Nothing is drawn outside the plot area: above its top, below its bottom or right of it.
    for (int x = pa.left; x <= pa.right; ++x) {
      EXPECT_NE(pixel(k, x, pa.top - 1), c) << x;
      EXPECT_NE(pixel(k, x, pa.bottom + 1), c) << x;
    }
    for (int y = pa.top; y <= pa.bottom; ++y) EXPECT_NE(pixel(k, pa.right + 1, y), c) << y;
    pictures[mode] = k.Bitmap().copy();
  }
  EXPECT_TRUE(pictures[0] == pictures[1]);
}

// Lines with both ends inside the ranges are drawn as before; a line that only passes through
// the window (both ends outside) shows its middle part.
TEST(Kernel, LinePassingThroughTheWindowShowsItsMiddle) {
  TGenD2ImgKernel k;
  preparePicture(k, true, 400, 300);
  TGenD2DataSet& ds = k.NewDataSet();
  ds.SetYUnit(QStringLiteral("V"));
  ds.points.SetMarker(3, 9);
  PlotPoint p = ds.points.GetTemplate();
  // Two invisible corners fix the ranges 0..10 x 0..10; the line runs from (-10,-10) to
  // (20, 20) through the whole window.
  for (auto [x, y] : {std::pair{0.0, 0.0}, std::pair{10.0, 10.0}}) {
    p.X = WorldValue::num(x);
    p.Y = WorldValue::num(y);
    p.linkA = p.linkB = -1;
    ds.points.AddPoint(p);
  }
  p.X = WorldValue::num(-10);
  p.Y = WorldValue::num(-10);
  ds.points.AddPoint(p);
  p.X = WorldValue::num(20);
  p.Y = WorldValue::num(20);
  p.linkA = 2;
  ds.points.AddPoint(p);
  k.AddDataSet(ds);
  ASSERT_EQ(k.Render(nullptr, false), kPlotOk);
  // The ranges are the data's (-10 .. 20): zoom them to 0 .. 10 by hand.
  TGenD2DataSet& s = *k.Get(0);
  for (AxisWorldData* ax : {s.mergedX, s.mergedY}) {
    ax->minimum = WorldValue::num(0);
    ax->maximum = WorldValue::num(10);
  }
  ASSERT_EQ(k.Redraw(nullptr), kPlotOk);
  const std::uint32_t c = rgb(s.points.At(0).color);
  const PlotRect pa = k.PlotArea();
  EXPECT_EQ(pixel(k, pa.left, pa.bottom), c);
  EXPECT_EQ(pixel(k, pa.right, pa.top), c);
  const int mx = s.xTransform.toPixel(WorldValue::num(5)), my = s.yTransform.toPixel(WorldValue::num(5));
  EXPECT_EQ(pixel(k, mx, my), c);
  EXPECT_NE(pixel(k, pa.right + 1, pa.top - 1), c);
}

TEST(Kernel, TickNoiseIsLabelledZero) {
  EXPECT_EQ(tickShownValue(WorldValue::num(3e-17), WorldValue::num(0.1)).number, 0.0);
  EXPECT_EQ(tickShownValue(WorldValue::num(-5e-7), WorldValue::num(0.1)).number, 0.0);
  EXPECT_EQ(tickShownValue(WorldValue::num(1e-4), WorldValue::num(0.1)).number, 1e-4);
  EXPECT_EQ(worldLabelText(tickShownValue(WorldValue::num(3e-17), WorldValue::num(0.1)), 5, "V"),
            QStringLiteral("0V"));
  // On a real axis whose tick loop accumulates rounding noise, no label shows it.
  TGenD2ImgKernel k;
  k.SetImageSize(400, 800);
  k.PrepareImage(nullptr);
  addCurve(k, 11, -0.7, 0.3, lin, QStringLiteral("V"));
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  bool sawZero = false;
  for (const auto* tics : {&k.Get(0)->xTics, &k.Get(0)->yTics}) {
    for (const TTicRecord& t : *tics) {
      EXPECT_FALSE(t.label.text.contains(QRegularExpression("[afpn]V$")))
          << t.label.text.toStdString();
      if (t.label.text == QStringLiteral("0V")) sawZero = true;
    }
  }
  EXPECT_TRUE(sawZero);
}

// Labels sit on multiples of their step, 0 among them wherever the range spans it, also where
// the next range step is no multiple of the label step (step 0.2 or 2, base 0.5 or 5).
TEST(Kernel, LabelsSitOnMultiplesOfTheirStepWithZero) {
  struct Case {
    double lo, hi;
    int w, h;
  } cases[] = {{-1.9, 3.5, 1200, 800},  // a scope's sine and square: Y step 0.2
               {-1.9, 3.5, 1200, 480},
               {-0.9, 0.3, 400, 800},  // X step 0.2
               {-19.0, 35.0, 900, 800},
               {-0.0019, 0.0035, 700, 500}};
  for (const Case& c : cases) {
    TGenD2ImgKernel k;
    k.SetImageSize(c.w, c.h);
    k.PrepareImage(nullptr);
    addCurve(k, 11, c.lo, c.hi, lin);
    ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
    const TGenD2DataSet& ds = *k.Get(0);
    const struct {
      const char* axis;
      const std::vector<TTicRecord>& tics;
      double step;
    } axes[] = {{"X", ds.xTics, k.XTrace(0).steps.back()}, {"Y", ds.yTics, k.YTrace(0).steps.back()}};
    for (const auto& a : axes) {
      const std::string where = std::string(a.axis) + " " + std::to_string(c.lo) + ".." +
                                std::to_string(c.hi) + " " + std::to_string(c.h);
      ASSERT_GE(a.tics.size(), 2u) << where;
      bool zero = false;
      for (const TTicRecord& t : a.tics) {
        const double q = t.value.number / a.step;
        EXPECT_NEAR(q, std::round(q), 1e-6) << where << " label " << t.label.text.toStdString();
        zero = zero || t.value.number == 0.0;
      }
      EXPECT_TRUE(zero) << where << " step " << a.step;
    }
  }
}

TEST(Kernel, EqualMinimumAndMaximumPutsPointsOnFirstPixel) {
  TGenD2ImgKernel k;
  k.SetImageSize(400, 300);
  k.PrepareImage(nullptr);
  TGenD2DataSet& ds = k.NewDataSet();
  PlotPoint p = ds.points.GetTemplate();
  for (int i = 0; i < 5; ++i) {
    p.X = WorldValue::num(7.0);
    p.Y = WorldValue::num(i);
    ds.points.AddLinkedPoint(p);
  }
  k.AddDataSet(ds);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const TGenD2DataSet& s = *k.Get(0);
  EXPECT_EQ(s.xTransform.toPixel(WorldValue::num(7.0)), k.PlotArea().left);
  EXPECT_EQ(pixel(k, k.PlotArea().left, s.yTransform.toPixel(WorldValue::num(2))),
            rgb(s.points.At(0).color));
  // The flat axis still gets labels, at one pixel per unit step of the span 1.
  EXPECT_FALSE(s.xTics.empty() && s.yTics.empty());
}

TEST(Kernel, TinyImageEndsTheStepSearch) {
  TGenD2ImgKernel k;
  k.SetImageSize(120, 40);
  k.PrepareImage(nullptr);
  addCurve(k, 20, 0, 1, sine);
  EXPECT_EQ(k.Render(nullptr, true), kPlotOk);
  const AxisStepTrace& tr = k.YTrace(0);
  EXPECT_LE(tr.steps.size(), 1001u);
  for (double s : tr.steps) EXPECT_TRUE(std::isfinite(s));
}

TEST(Kernel, AbsoluteTimeAxisLabels) {
  regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  TGenD2ImgKernel k;
  k.SetImageSize(900, 300);
  k.PrepareImage(nullptr);
  TGenD2DataSet& ds = k.NewDataSet();
  ds.SetXKind(kWorldTime);
  ds.SetXUnit(QString());
  ds.SetYUnit(QStringLiteral("V"));
  const DayTime t0 = dtFromQDateTime(QDateTime(QDate(2026, 12, 8), QTime(10, 0, 0)));
  PlotPoint p = ds.points.GetTemplate();
  for (int i = 0; i <= 300; ++i) {
    p.X = WorldValue::at(dtAddSeconds(t0, i));
    p.Y = WorldValue::num(std::sin(i * 0.05));
    ds.points.AddLinkedPoint(p);
  }
  ASSERT_EQ(k.AddDataSet(ds), kPlotOk);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const auto& tics = k.Get(0)->xTics;
  ASSERT_FALSE(tics.empty());
  // The first label carries the date, the others the time of day only.
  const QRegularExpression first("^08\\.12\\.2026 10:0[0-5]:[0-5][0-9]$");
  const QRegularExpression later("^10:0[0-5]:[0-5][0-9]$");
  for (std::size_t i = 0; i < tics.size(); ++i)
    EXPECT_TRUE((i == 0 ? first : later).match(tics[i].label.text).hasMatch())
        << tics[i].label.text.toStdString();
  // Neighbouring labels do not overlap.
  const QFontMetrics fm(k.Font());
  for (std::size_t i = 1; i < tics.size(); ++i)
    EXPECT_GT(tics[i].label.left, tics[i - 1].label.right);
  regional().reload();
}

// Long time labels at either end of the X axis stay whole inside the picture, over a sweep of
// picture widths and time spans, and never run into their neighbours. Labels drawn from the
// texts kept across pictures give the pixels of texts laid out as they are drawn, on fine
// screens too, in the first picture of a text and in later ones.
TEST(Kernel, TimeLabelsAtThePictureEdgesAreNotCutOff) {
  regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  const DayTime t0 = dtFromQDateTime(QDateTime(QDate(2026, 12, 8), QTime(16, 10, 8, 239)));
  int labels = 0;
  const auto build = [&](TGenD2ImgKernel& k, int width, int n, double ratio, bool keep) {
    k.keepLabelTexts = keep;
    k.SetDevicePixelRatio(ratio);
    k.SetImageSize(width, 300);
    k.PrepareImage(nullptr);
    TGenD2DataSet& ds = k.NewDataSet();
    ds.SetXKind(kWorldTime);
    ds.SetXUnit(QString());
    ds.SetYUnit(QStringLiteral("V"));
    ds.yStyle.labelColor = 0x2080C0;
    PlotPoint p = ds.points.GetTemplate();
    for (int i = 0; i <= n; ++i) {
      p.X = WorldValue::at(dtAddSeconds(t0, i * 0.1));
      p.Y = WorldValue::num(0.9 + 0.01 * std::sin(i * 0.3));
      ds.points.AddLinkedPoint(p);
    }
    ASSERT_EQ(k.AddDataSet(ds), kPlotOk);
    ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  };
  for (const auto& [width, n] : [] {
         std::vector<std::pair<int, int>> cases;
         for (int w : {600, 900, 1200})
           for (int count = 200; count <= 232; count += 2) cases.emplace_back(w, count);
         return cases;
       }()) {
    TGenD2ImgKernel k;
    build(k, width, n, 1.0, true);
    for (const double ratio : {1.0, 2.0}) {
      if (ratio == 2.0 && n % 8 != 0) continue;
      TGenD2ImgKernel kept, laidOut;
      build(kept, width, n, ratio, true);
      build(laidOut, width, n, ratio, false);
      EXPECT_TRUE(kept.Bitmap() == laidOut.Bitmap()) << width << " " << n << " ratio " << ratio;
    }
    int prevRight = INT_MIN;
    for (const TTicRecord& t : k.Get(0)->xTics) {
      if (t.label.text.isEmpty()) continue;
      ++labels;
      EXPECT_GE(t.label.left, 0) << width << " " << t.label.text.toStdString();
      EXPECT_LE(t.label.right, width) << width << " " << t.label.text.toStdString();
      EXPECT_GT(t.label.left, prevRight) << width;
      prevRight = t.label.right;
    }
  }
  EXPECT_GT(labels, 40);
  regional().reload();
}

TEST(Kernel, TimeLabelParts) {
  regional().pin(QLatin1Char(','), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  EXPECT_EQ(timeLabelText(DayTime{0.5, 0}, 5), QStringLiteral("500 ms"));
  EXPECT_EQ(timeLabelText(DayTime{3661.25, 0}, 5), QStringLiteral("01:01:01 ,25"));
  EXPECT_EQ(timeLabelText(dtFromSeconds(-3661.0), 5), QStringLiteral("-01:01:01"));
  // A negative value of whole days is shown as a duration.
  EXPECT_EQ(timeLabelText(dtFromSeconds(-(400.0 * 86400)), 5), QStringLiteral("-1J 1M 5T"));
  EXPECT_EQ(timeLabelText(dtFromSeconds(-(3.0 * 86400) - 60), 5), QStringLiteral("-3T 00:01:00"));
  regional().reload();
  EXPECT_EQ(worldLabelText(WorldValue::num(0.25), 5, QStringLiteral("%")),
            QStringLiteral("0.2500%"));
  EXPECT_EQ(worldLabelText(WorldValue::num(150), 5, QStringLiteral("%")), QStringLiteral("150%"));
  EXPECT_EQ(worldLabelText(WorldValue::num(0.0002), 5, QStringLiteral("V")),
            QStringLiteral("200µV"));
}

// Renders the same curves point by point and collapsed into column spans.
TEST(Kernel, CollapsedDrawingGivesThePointByPointPixels) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int shape = 0; shape <= 8; ++shape) {
    QImage images[2], zoomed[2];
    for (int mode = 0; mode < 2; ++mode) {
      TGenD2ImgKernel k;
      preparePicture(k, mode == 1, 300, 200);
      rng.seed(std::uint32_t(shape));
      for (int c = 0; c < 2; ++c) {
        TGenD2DataSet& ds = k.NewDataSet();
        ds.messageInterval = 333;
        ds.points.SetMarker(1 + c, shape);
        PlotPoint p = ds.points.GetTemplate();
        for (int i = 0; i < 3000; ++i) {
          p.X = WorldValue::num(i * 0.001 + (c ? 0.0 : 0.0003 * u(rng)));
          p.Y = WorldValue::num(c ? (i / 200 % 2 ? 1.0 : -1.0) + 0.01 * u(rng)
                                  : std::sin(i * 0.01) + 0.2 * u(rng));
          // Some links jump backwards, some points are left unlinked.
          if (i % 97 == 0) p.linkA = -40;
          p.linkB = i % 13 == 0 ? -5 : 100000;
          ds.points.AddLinkedPoint(p);
          p.linkA = -1;
        }
        k.AddDataSet(ds);
      }
      ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
      images[mode] = k.Bitmap().copy();
      // Zoomed into the middle: points outside the window between points inside it, lines
      // cut at its edges.
      const PlotRect a = k.PlotArea();
      k.BeginZoom(nullptr, a.left + 97, a.top + 41);
      ASSERT_EQ(k.FinishZoom(nullptr, a.left + 171, a.bottom - 53), kPlotOk);
      zoomed[mode] = k.Bitmap().copy();
    }
    EXPECT_TRUE(images[0] == images[1]) << "shape " << shape;
    EXPECT_TRUE(zoomed[0] == zoomed[1]) << "zoomed, shape " << shape;
  }
  // Long plain chains (one colour, a square or no marker, each point linked to the one
  // before), drawn from their numbers alone: dense columns, jumps that leave gaps beside a
  // column, a yield interval that cuts the chain anywhere; whole, zoomed (points outside the
  // window from the middle of the chain on), and again after the points changed. A first
  // drawing of a list changed after it was filled reads the chain's numbers from the points as
  // far as they continue it (the first curve); the second curve leaves its chain for an
  // unlinked point and for a change of colour, and is drawn from the chain grown while it was
  // filled up to there, from the points after; a marker of another shape (1) is no chain.
  for (int shape : {0, 9, 1}) {
    QImage whole[2], zoomed[2], changed[2], first[2], zoomedFirst[2];
    for (int mode = 0; mode < 2; ++mode) {
      TGenD2ImgKernel k;
      preparePicture(k, mode == 1, 400, 250);
      rng.seed(std::uint32_t(11 + shape));
      for (int c = 0; c < 2; ++c) {
        TGenD2DataSet& ds = k.NewDataSet();
        ds.messageInterval = 1777;
        ds.points.SetMarker(3, shape);
        PlotPoint p = ds.points.GetTemplate();
        for (int i = 0; i < 9000; ++i) {
          p.X = WorldValue::num(i * 0.001);
          p.Y = WorldValue::num(c ? (i / 500 % 2 ? 2.0 : -2.0) + 0.3 * u(rng)
                                  : std::sin(i * 0.003) + (i % 301 == 0 ? 1.5 : 0.02 * u(rng)));
          if (c == 1 && i == 6100) p.color = 0x00AA33;
          if (c == 1 && i == 4321)
            ds.points.AddPoint(p);
          else
            ds.points.AddLinkedPoint(p);
        }
        k.AddDataSet(ds);
      }
      ASSERT_EQ(k.Get(0)->points.Chain() != nullptr, shape != 1);  // the path this case is about
      if (shape != 1) {
        ASSERT_NE(k.Get(1)->points.Chain(), nullptr);
        ASSERT_EQ(k.Get(1)->points.Chain()->x.size(), 4321u);
      }
      // The first curve's first drawing reads the points, the next ones the chain.
      k.Get(0)->points.OffsetX(0.0);
      ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
      first[mode] = k.Bitmap().copy();
      k.PrepareImage(nullptr);
      ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
      whole[mode] = k.Bitmap().copy();
      const PlotRect a = k.PlotArea();
      k.BeginZoom(nullptr, a.left + 131, a.top + 37);
      ASSERT_EQ(k.FinishZoom(nullptr, a.left + 202, a.bottom - 61), kPlotOk);
      zoomed[mode] = k.Bitmap().copy();
      // The zoomed picture once more as a first drawing (the points changed, not moved).
      for (int c = 0; c < 2; ++c) k.Get(c)->points.OffsetX(0.0);
      ASSERT_EQ(k.Redraw(nullptr), kPlotOk);
      zoomedFirst[mode] = k.Bitmap().copy();
      // A chain kept from the last picture must not outlive a change of the points.
      k.Get(1)->points.OffsetX(0.5);
      for (int twice = 0; twice < 2; ++twice) {
        k.PrepareImage(nullptr);
        ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
      }
      changed[mode] = k.Bitmap().copy();
    }
    EXPECT_TRUE(first[0] == first[1]) << "first drawing, shape " << shape;
    EXPECT_TRUE(first[1] == whole[1]) << "first drawing, shape " << shape;
    EXPECT_TRUE(zoomedFirst[0] == zoomedFirst[1]) << "zoomed first drawing, shape " << shape;
    EXPECT_TRUE(zoomedFirst[1] == zoomed[1]) << "zoomed first drawing, shape " << shape;
    EXPECT_TRUE(whole[0] == whole[1]) << "plain chain, shape " << shape;
    EXPECT_TRUE(zoomed[0] == zoomed[1]) << "plain chain zoomed, shape " << shape;
    EXPECT_TRUE(changed[0] == changed[1]) << "plain chain moved, shape " << shape;
    EXPECT_FALSE(whole[1] == changed[1]);
  }
  // Dense columns drawn from their extremes: a walk whose neighbours lie zero to about four
  // rows apart (the markers beside a column touch up to three rows, leave a gap from four),
  // stretches where X stands still or steps back, a value that is no number, and a fine
  // screen; each against the points one by one.
  for (int shape : {0, 9}) {
    for (double ratio : {1.0, 2.0}) {
      QImage pictures[2];
      for (int mode = 0; mode < 2; ++mode) {
        TGenD2ImgKernel k;
        k.SetDevicePixelRatio(ratio);
        preparePicture(k, mode == 1, 420, 230);
        rng.seed(std::uint32_t(29 + shape));
        TGenD2DataSet& ds = k.NewDataSet();
        ds.messageInterval = 0;
        ds.points.SetMarker(3, shape);
        PlotPoint p = ds.points.GetTemplate();
        double x = 0.0, y = 0.0;
        for (int i = 0; i < 40000; ++i) {
          x += i % 5000 < 300 ? 0.0 : i % 7001 == 0 ? -0.05 : 0.001;
          y = std::clamp(y + 3.6 * u(rng) / ratio, -100.0, 100.0);
          p.X = WorldValue::num(x);
          p.Y = WorldValue::num(i == 23456 ? std::nan("") : y);
          ds.points.AddLinkedPoint(p);
        }
        k.AddDataSet(ds);
        ASSERT_NE(k.Get(0)->points.Chain(), nullptr);
        k.Get(0)->points.OffsetX(0.0);  // so the first drawing reads the points
        for (int twice = 0; twice < 2; ++twice) {  // from the points, then from the chain
          k.PrepareImage(nullptr);
          ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
        }
        pictures[mode] = k.Bitmap().copy();
      }
      EXPECT_TRUE(pictures[0] == pictures[1]) << "walk, shape " << shape << " ratio " << ratio;
    }
  }
}

// A column's extremes and largest neighbour step against a plain loop, for every count up to
// 20 (the lanes, their seams and the tail), with the extreme, the largest step, a value out of
// range and a non-number put at each position in turn.
TEST(Kernel, ColumnStatsMatchAPlainLoopAtEveryPosition) {
  for (int n = 1; n <= 20; ++n) {
    for (int at = 0; at < n; ++at) {
      for (int kind = 0; kind < 5; ++kind) {
        SCOPED_TRACE(testing::Message() << "n " << n << " at " << at << " kind " << kind);
        std::vector<double> y(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) y[std::size_t(i)] = 0.25 * ((i * 7) % 5) - 0.5;
        double& v = y[std::size_t(at)];
        if (kind == 0) v = 3.0;        // the maximum and both steps beside it
        if (kind == 1) v = -3.0;       // the minimum
        if (kind == 2) v = 10.5;       // out of range
        if (kind == 3) v = std::nan("");
        if (kind == 4 && at + 1 < n) y[std::size_t(at + 1)] = v + 2.75;  // one large step
        double lo = 0, hi = 0, step = -1;
        const bool ok = columnStats(y.data(), n, -4.0, 4.0, lo, hi, &step);
        bool want = true;
        double wlo = y[0], whi = y[0], wstep = 0;
        for (int i = 0; i < n; ++i) {
          want &= -4.0 <= y[std::size_t(i)] && y[std::size_t(i)] <= 4.0;
          wlo = std::min(wlo, y[std::size_t(i)]);
          whi = std::max(whi, y[std::size_t(i)]);
          if (i > 0) wstep = std::max(wstep, std::fabs(y[std::size_t(i)] - y[std::size_t(i - 1)]));
        }
        ASSERT_EQ(ok, want);
        if (!ok) continue;  // the figures are then of no use
        EXPECT_EQ(lo, wlo);
        EXPECT_EQ(hi, whi);
        EXPECT_EQ(step, wstep);
        double lo2 = 0, hi2 = 0;
        EXPECT_TRUE(columnStats(y.data(), n, -4.0, 4.0, lo2, hi2, nullptr));
        EXPECT_EQ(lo2, wlo);
        EXPECT_EQ(hi2, whi);
      }
    }
  }
}

// The label never holds the picture being cleared or drawn, so neither copies it; it shows
// an empty picture of the same size meanwhile and the finished one at the end.
TEST(Kernel, LabelShowsABlankOfItsOwnWhileThePictureIsDrawn) {
  TGenD2ImgKernel k;
  QLabel label;
  label.resize(300, 200);
  addCurve(k, 50, 0, 10, sine);
  k.PrepareImage(&label);
  ASSERT_EQ(k.Render(&label, true), kPlotOk);
  EXPECT_TRUE(label.pixmap().toImage() == k.Bitmap());
  k.PrepareImage(&label);
  EXPECT_TRUE(k.Bitmap().isDetached());
  const QImage blank = label.pixmap().toImage();
  ASSERT_EQ(blank.size(), QSize(300, 200));
  for (int y = 0; y < blank.height(); y += 7)
    for (int x = 0; x < blank.width(); x += 7) ASSERT_EQ(blank.pixel(x, y), kWhite);
  ASSERT_EQ(k.Render(&label, false), kPlotOk);
  EXPECT_TRUE(label.pixmap().toImage() == k.Bitmap());
  // The blank is made once per size, also for a picture larger than the pixmap cache keeps
  // (a large window on a fine screen), and not copied on its way into the label.
  k.PrepareImage(&label);
  EXPECT_EQ(label.pixmap().toImage().constBits(), blank.constBits());
  QLabel large;
  large.resize(3000, 2000);
  k.PrepareImage(&large);
  const QImage first = large.pixmap().toImage();
  k.PrepareImage(&label);
  k.PrepareImage(&large);
  EXPECT_EQ(large.pixmap().toImage().constBits(), first.constBits());
  EXPECT_EQ(first.size(), QSize(3000, 2000));
}

TEST(Kernel, MarkerShapesProbePixels) {
  TGenD2ImgKernel k;
  k.SetImageSize(300, 200);
  k.PrepareImage(nullptr);
  TGenD2DataSet& ds = k.NewDataSet();
  PlotPoint p = ds.points.GetTemplate();
  p.markerSize = 4;
  p.markerShape = 3;
  p.X = WorldValue::num(0);
  p.Y = WorldValue::num(0);
  ds.points.AddPoint(p);
  p.markerShape = 2;
  p.X = WorldValue::num(10);
  p.Y = WorldValue::num(10);
  ds.points.AddPoint(p);
  p.markerShape = 1;
  p.X = WorldValue::num(5);
  p.Y = WorldValue::num(5);
  ds.points.AddPoint(p);
  k.AddDataSet(ds);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const TGenD2DataSet& s = *k.Get(0);
  const std::uint32_t c = rgb(s.points.At(0).color);
  const int x5 = s.xTransform.toPixel(WorldValue::num(5)),
            y5 = s.yTransform.toPixel(WorldValue::num(5));
  EXPECT_EQ(pixel(k, x5 - 4, y5 - 4), c);  // square outline corner
  EXPECT_EQ(pixel(k, x5 + 4, y5 + 1), c);
  EXPECT_EQ(pixel(k, x5, y5), kWhite);  // hollow
  const int x0 = s.xTransform.toPixel(WorldValue::num(0)),
            y0 = s.yTransform.toPixel(WorldValue::num(0));
  EXPECT_EQ(pixel(k, x0 + 4, y0), c);  // upright cross
  EXPECT_EQ(pixel(k, x0, y0 - 4), c);
  EXPECT_EQ(pixel(k, x0 + 1, y0 - 1), kWhite);
  const int x1 = s.xTransform.toPixel(WorldValue::num(10)),
            y1 = s.yTransform.toPixel(WorldValue::num(10));
  EXPECT_EQ(pixel(k, x1 - 3, y1 + 3), c);  // diagonal cross
  EXPECT_EQ(pixel(k, x1 - 3, y1), kWhite);
}

// Rendering yields to the event loop; an event that replaces the curves meanwhile ends the
// outer drawing instead of letting it run on freed data sets.
TEST(Kernel, EventDuringRenderThatClearsTheCurves) {
  TGenD2ImgKernel k;
  k.SetImageSize(300, 200);
  k.PrepareImage(nullptr);
  addCurve(k, 30000, 0, 10, sine);
  addCurve(k, 30000, 0, 10, lin);
  bool fired = false;
  QTimer::singleShot(0, [&] {
    fired = true;
    k.ClearDataSets();
  });
  EXPECT_EQ(k.Render(nullptr, true), kPlotOk);
  EXPECT_TRUE(fired);
  EXPECT_EQ(k.DataSetCount(), 0);
}

// A redraw from a plain chain keeps it while it yields: an event that changes the points
// meanwhile must not free what the drawing still reads.
TEST(Kernel, EventDuringRedrawThatChangesThePoints) {
  TGenD2ImgKernel k;
  k.SetImageSize(300, 200);
  k.PrepareImage(nullptr);
  addCurve(k, 60000, 0, 10, sine);
  k.Get(0)->messageInterval = 10000;
  k.Get(0)->points.SetMarker(3, 0);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  k.PrepareImage(nullptr);
  // The kernel yields before each curve and then within it: the change comes at the second.
  int ticks = 0;
  bool held = false;
  const std::weak_ptr<const TD2PointsLst::PlainChain> chain = k.Get(0)->points.Chain();
  QTimer timer;
  timer.setInterval(0);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++ticks < 2) return;
    timer.stop();
    k.Get(0)->points.SetColor(0x0000FF);
    held = !chain.expired();  // by the drawing alone now
  });
  timer.start();
  EXPECT_EQ(k.Render(nullptr, true), kPlotOk);
  EXPECT_EQ(ticks, 2);
  EXPECT_TRUE(held);
  // Changed after the drawing took the chain: this is again a first drawing.
  EXPECT_EQ(k.Get(0)->points.ChainForRedraw(), nullptr);

  // Emptied while the drawing yields, as a new record begins (no new picture started): the
  // curve ends where the drawing yielded, on its first drawing and on a redraw from the chain,
  // instead of being read on from the memory the list has kept.
  for (const bool redraw : {false, true}) {
    TGenD2ImgKernel e;
    e.SetImageSize(300, 200);
    e.PrepareImage(nullptr);
    addCurve(e, 60000, 0, 10, lin);
    TGenD2DataSet& ds = *e.Get(0);
    ds.messageInterval = 10000;
    ds.points.SetMarker(3, 0);
    if (redraw) {
      ASSERT_EQ(e.Render(nullptr, true), kPlotOk);
      e.PrepareImage(nullptr);
      ASSERT_NE(ds.points.ChainForRedraw(), nullptr);
    }
    const std::uint32_t c = rgb(ds.points.At(0).color);
    // Before the curve, at its first point, then after 10000 points (x up to 1.67).
    int yields = 0;
    QTimer clear;
    clear.setInterval(0);
    QObject::connect(&clear, &QTimer::timeout, [&] {
      if (++yields < 3) return;
      clear.stop();
      ds.points.Clear();
    });
    clear.start();
    EXPECT_EQ(e.Render(nullptr, !redraw), kPlotOk);
    EXPECT_EQ(yields, 3);
    const auto at = [&](double v) {
      return pixel(e, ds.xTransform.toPixel(WorldValue::num(v)),
                   ds.yTransform.toPixel(WorldValue::num(v)));
    };
    for (double v = 0.25; v <= 1.5; v += 0.25) EXPECT_EQ(at(v), c) << v << " redraw " << redraw;
    for (double v = 2.0; v <= 10.0; v += 0.5) EXPECT_EQ(at(v), kWhite) << v << " redraw " << redraw;
  }
}

// ---- mouse ---------------------------------------------------------------------------------

struct MouseFixture : ::testing::Test {
  TGenD2ImgKernel k;
  QLabel image;
  const TMeasurementData* result = nullptr;
  void SetUp() override {
    image.resize(500, 350);
    k.PrepareImage(&image);
    addCurve(k, 101, 0, 10, lin, QStringLiteral("V"));
    addCurve(k, 101, 0, 10, sine, QStringLiteral("A"));
    ASSERT_EQ(k.Render(&image, true), kPlotOk);
  }
  void down(int button, int x, int y, int shift = 0) {
    k.HandleMouse(&image, button, result, y, x, shift, false);
  }
  void move(int x, int y, int shift) {
    k.HandleMouse(&image, kMouseNone, result, y, x, shift, false);
  }
  void up(int button, int x, int y, int shift = 0) {
    k.HandleMouse(&image, button, result, y, x, shift, true);
  }
  double xMax() const { return k.Get(0)->mergedX->maximum.number; }
};

TEST_F(MouseFixture, ClickWithoutDragKeepsZoomAndNextPressContinues) {
  const PlotRect pa = k.PlotArea();
  const int x = pa.left + 50, y = pa.top + 40;
  down(kMouseLeft, x, y);
  EXPECT_TRUE(k.Zooming());
  up(kMouseLeft, x, y);
  EXPECT_TRUE(k.Zooming());
  EXPECT_DOUBLE_EQ(xMax(), 10.0);
  EXPECT_EQ(k.FinishZoom(&image, x, y), kPlotZoomEmpty);
  // The next press drags the same rectangle on.
  down(kMouseLeft, x + 100, y + 80);
  EXPECT_EQ(k.ZoomRect(), (PlotRect{x, y, x + 100, y + 80}));
  up(kMouseLeft, x + 100, y + 80);
  EXPECT_FALSE(k.Zooming());
  const TGenD2DataSet& s = *k.Get(0);
  EXPECT_EQ(s.xTransform.toPixel(s.xAxis.minimum), k.PlotArea().left);
  EXPECT_NEAR(xMax(), 10.0 * (x + 100 - pa.left) / (pa.right - pa.left), 1e-9);
  EXPECT_NEAR(k.Get(0)->mergedX->minimum.number, 10.0 * (x - pa.left) / (pa.right - pa.left), 1e-9);
  EXPECT_EQ(result, nullptr);
}

TEST_F(MouseFixture, ZoomBeyondThePlotAreaIsClamped) {
  const PlotRect pa = k.PlotArea();
  k.BeginZoom(&image, pa.left + 10, pa.top + 10);
  k.DragZoom(&image, pa.right + 50, pa.bottom + 50);
  EXPECT_EQ(k.FinishZoom(&image, pa.right + 50, pa.bottom + 50), kPlotZoomClamped);
  EXPECT_NEAR(xMax(), 10.0, 1e-9);
}

TEST_F(MouseFixture, BothButtonsRestoreTheAutomaticRange) {
  const PlotRect pa = k.PlotArea();
  down(kMouseLeft, pa.left + 20, pa.top + 20);
  move(pa.left + 120, pa.top + 90, kShiftLeft);
  up(kMouseLeft, pa.left + 120, pa.top + 90);
  ASSERT_LT(xMax(), 9.0);
  down(kMouseRight, pa.left + 50, pa.top + 50, kShiftLeft);
  EXPECT_DOUBLE_EQ(xMax(), 10.0);
  EXPECT_DOUBLE_EQ(k.Get(0)->mergedY->minimum.number, 0.0);
}

TEST_F(MouseFixture, FocusRectangleIsErasedExactly) {
  const QImage before = k.Bitmap().copy();
  const PlotRect pa = k.PlotArea();
  k.BeginZoom(&image, pa.left + 30, pa.top + 30);
  k.DragZoom(&image, pa.left + 130, pa.top + 90);
  EXPECT_FALSE(k.Bitmap() == before);
  k.DragZoom(&image, pa.left + 200, pa.top + 150);
  k.BeginZoom(&image, pa.left + 10, pa.top + 10);  // erases the old rectangle
  EXPECT_TRUE(k.Bitmap() == before);
}

TEST_F(MouseFixture, RightButtonMeasuresNearestAndHandsOverOnRelease) {
  const PlotRect pa = k.PlotArea();
  const TGenD2DataSet& s0 = *k.Get(0);
  const int x = s0.xTransform.toPixel(WorldValue::num(3.0));
  const int y = s0.yTransform.toPixel(WorldValue::num(3.0));
  down(kMouseRight, x + 1, y - 1);
  EXPECT_EQ(result, nullptr);  // handed over on the release only
  result = &k.Measurement();
  EXPECT_EQ(result->kind, 2);
  ASSERT_EQ(result->Count(), 2);
  EXPECT_DOUBLE_EQ(result->Get(0)->foundPoint.X.number, 3.0);
  EXPECT_EQ(result->Get(0)->mode, 3);
  EXPECT_EQ(result->Get(0)->yUnit, QStringLiteral("V"));
  EXPECT_EQ(result->Get(1)->yUnit, QStringLiteral("A"));
  // The cursor line of the first curve ends on the point, in its colour.
  EXPECT_EQ(pixel(k, x, y), rgb(s0.points.At(0).color));
  // Nearest by X with alt: the point at the same X wins, whatever its height.
  down(kMouseRight, x, pa.bottom - 2, kShiftAlt);
  result = &k.Measurement();
  EXPECT_DOUBLE_EQ(result->Get(0)->foundPoint.X.number, 3.0);
  EXPECT_EQ(result->Get(0)->mode, 1);
  // The release redraws and measures again; the result stays handed over.
  up(kMouseRight, x, y);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->resultFlag, 1);
}

TEST_F(MouseFixture, CursorLinesAreErasedByReadingTheWorld) {
  const PlotRect pa = k.PlotArea();
  const QImage before = k.Bitmap().copy();
  // Far below the first curve's start: its cursor line crosses white plot area.
  EXPECT_EQ(k.MeasureNearest(&image, pa.right - 5, pa.bottom - 5, 3), kPlotOk);
  EXPECT_FALSE(k.Bitmap() == before);
  k.ReadWorldAt(&image, pa.left + 5, pa.top + 5);
  EXPECT_EQ(k.Measurement().kind, 1);
  EXPECT_EQ(k.Measurement().Count(), 2);
  // Erasing restores the picture except where lines overlapped (the two cursor lines share
  // their start, curves crossed): there the not-exclusive-or leaves a trace until the next
  // redraw, which the release of the button brings.
  int changed = 0;
  for (int y = pa.top; y <= pa.bottom; ++y)
    for (int x = pa.left; x <= pa.right; ++x)
      if (k.Bitmap().pixel(x, y) != before.pixel(x, y)) ++changed;
  EXPECT_LT(changed, 20);
  // World coordinates under the cursor.
  const TMeasurementEntry* e = k.Measurement().Get(0);
  EXPECT_NEAR(e->cursorX.number, 10.0 * 5 / (pa.right - pa.left), 1e-9);
  EXPECT_NEAR(e->cursorY.number, 10.0 - 10.0 * 5 / (pa.bottom - pa.top), 1e-9);
}

TEST_F(MouseFixture, CurveWithoutQualifyingPointIsLeftOut) {
  // Take every point of the second curve out of measurements.
  TGenD2DataSet& s1 = *k.Get(1);
  for (int i = 0; i < s1.points.Count(); ++i) const_cast<PlotPoint&>(s1.points.At(i)).flags = 1;
  const PlotRect pa = k.PlotArea();
  EXPECT_EQ(k.MeasureNearest(&image, pa.left + 40, pa.top + 40, 3), kPlotNoCandidate);
  ASSERT_EQ(k.Measurement().Count(), 1);
  EXPECT_EQ(k.Measurement().Get(0)->yUnit, QStringLiteral("V"));
  EXPECT_FALSE(s1.cursorDrawn);
}

}  // namespace
}  // namespace tolv
