// The multi-device plot draws each device's evenly spaced samples from their per-column
// envelope: the picture is the one a linked point per sample gives, with each device at its own
// start and sample time, whole, wheel-zoomed and moved by a trigger shift; the nearest-point
// read-out still finds the real samples.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "multi/multiplotfeed.h"
#include "plot/genkernel.h"
#include "plot/sampleseries.h"

namespace tolv {
namespace {

struct Device {
  double t0, dt;
  std::vector<double> v;
  ColorRef colour;
};

std::vector<double> signal(int n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<double> v(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    v[std::size_t(k)] = std::sin(k * 0.0007) * 2.0 + (rng() % 1000) * 0.0004;
    if (rng() % 20011 == 0) v[std::size_t(k)] += (rng() & 1) ? 3.0 : -3.0;  // a spike
  }
  return v;
}

// As the multi-device window set its curves up before: a linked point per sample.
void addCurve(TGenD2ImgKernel& k, const QString& name, const Device& d, bool asSeries, bool range) {
  TGenD2DataSet& ds = k.NewDataSet();
  ds.name = name;
  ds.SetXUnit(QStringLiteral("s"));
  ds.SetYUnit(QStringLiteral("V"));
  ds.SetYAxisColor(d.colour);
  ds.SetYLabelColor(d.colour);
  ds.points.Template().color = d.colour;
  ds.points.SetMarker(1, 9);
  const int n = int(d.v.size());
  if (asSeries) {
    setEvenCurve(ds, d.t0, d.dt, d.v.data(), n);
  } else {
    PlotPoint p = ds.points.GetTemplate();
    for (int i = 0; i < n; ++i) {
      p.X = WorldValue::num(d.t0 + i * d.dt);
      p.Y = WorldValue::num(d.v[std::size_t(i)]);
      ds.points.AddLinkedPoint(p);
    }
  }
  if (range && n > 0) {
    PlotPoint q = ds.points.GetTemplate();
    q.linkA = q.linkB = -1;
    q.X = WorldValue::num(d.t0 + (n - 1) * d.dt);
    q.Y = WorldValue::num(-4.0);
    ds.points.AddPoint(q);
    q.Y = WorldValue::num(4.0);
    ds.points.AddPoint(q);
  }
  k.AddDataSet(ds);
}

int differingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return -1;
  int d = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) d += a.pixel(x, y) != b.pixel(x, y);
  return d;
}

class MultiCurves : public ::testing::Test {
 protected:
  void feed(TGenD2ImgKernel& k, const std::vector<Device>& devs, bool asSeries) {
    k.SetImageSize(1200, 700);
    k.PrepareImage(nullptr);
    for (std::size_t i = 0; i < devs.size(); ++i)
      addCurve(k, QStringLiteral("D%1 K1").arg(i), devs[i], asSeries, i == 1);
    k.DataSets().SortByName();
  }
};

TEST_F(MultiCurves, EnvelopeDrawingIsThePointDrawingWholeAndZoomed) {
  for (const int n : {1000, 4099, 131001, 262000}) {
    // Two devices with their own start and sample time: true times, not merged onto one grid.
    const std::vector<Device> devs = {
        {-0.1 * n * 1e-6, 1e-6, signal(n, 1), kColorBlue},
        {-0.1 * n * 1e-6 + 3.3e-6, 1.0000037e-6, signal(n, 2), ColorRef(0x0000FF)}};
    TGenD2ImgKernel exact, env;
    feed(exact, devs, false);
    feed(env, devs, true);
    ASSERT_EQ(exact.Render(nullptr, true), 0);
    ASSERT_EQ(env.Render(nullptr, true), 0);
    EXPECT_EQ(differingPixels(exact.Bitmap(), env.Bitmap()), 0) << "n " << n << " whole";
    for (const int x : {100, 600, 1150}) {
      for (const double steps : {4.0, 12.0, -3.0}) {
        exact.WheelZoom(nullptr, x, 300, steps, false);
        env.WheelZoom(nullptr, x, 300, steps, false);
        EXPECT_EQ(differingPixels(exact.Bitmap(), env.Bitmap()), 0)
            << "n " << n << " zoom at " << x << " by " << steps;
      }
    }
  }
}

TEST_F(MultiCurves, TriggerShiftMovesTheSeriesAsItMovedThePoints) {
  const int n = 20000;
  const std::vector<Device> devs = {{-2e-3, 1e-6, signal(n, 3), kColorBlue}};
  TGenD2DataSet ds;
  ds.points.Template().color = kColorBlue;
  setEvenCurve(ds, devs[0].t0, devs[0].dt, devs[0].v.data(), n);
  ASSERT_TRUE(ds.series);
  const auto before = ds.series;
  offsetCurveX(ds, 0.0057);
  offsetCurveX(ds, -0.0017);
  EXPECT_NEAR(ds.series->XOf(0).number, -2e-3 + 0.004, 1e-15);
  EXPECT_EQ(ds.series->Dx(), 1e-6);
  EXPECT_EQ(ds.series->Count(), std::uint64_t(n));
  EXPECT_EQ(ds.series->color, kColorBlue);
  // The original stays as it was: a series is never changed once drawn.
  EXPECT_NEAR(before->XOf(0).number, -2e-3, 1e-15);
  double v = 0;
  ASSERT_TRUE(ds.series->Value(777, v));
  EXPECT_EQ(v, devs[0].v[777]);

  // A lone sample has no line: it stays a point, and moves like one.
  TGenD2DataSet one;
  setEvenCurve(one, 1.0, 1e-6, devs[0].v.data(), 1);
  EXPECT_FALSE(one.series);
  ASSERT_EQ(one.points.Count(), 1);
  offsetCurveX(one, 0.5);
  EXPECT_EQ(one.points.At(0).X.number, 1.5);
}

TEST_F(MultiCurves, ReadOutFindsTheRealSampleNearestThePointer) {
  const int n = 131001;
  const std::vector<Device> devs = {{-0.01, 1e-6, signal(n, 4), kColorBlue}};
  TGenD2ImgKernel exact, env;
  feed(exact, devs, false);
  feed(env, devs, true);
  ASSERT_EQ(exact.Render(nullptr, true), 0);
  ASSERT_EQ(env.Render(nullptr, true), 0);
  for (const int x : {300, 601, 1000}) {
    // A cursor stands on the sample nearest the pointer's column: the same sample either way.
    ASSERT_EQ(exact.SetCursor(nullptr, 0, x), 0);
    ASSERT_EQ(env.SetCursor(nullptr, 0, x), 0);
    EXPECT_EQ(exact.CursorX(0).number, env.CursorX(0).number) << x;
    EXPECT_EQ(differingPixels(exact.Bitmap(), env.Bitmap()), 0) << x;
  }
}

}  // namespace
}  // namespace tolv
