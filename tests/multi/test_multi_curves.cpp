// The multi-device plot draws each device's evenly spaced samples from their per-column
// envelope: the picture is the one a linked point per sample gives, with each device at its own
// start and sample time, whole, wheel-zoomed and moved by a trigger shift; the nearest-point
// read-out still finds the real samples.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "multi/multifiles.h"
#include "multi/multiplotfeed.h"
#include "reading_as_points.h"
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

// Both drawn whole, then wheel-zoomed in and out around points across the picture: the same
// pixels every time.
void sameWholeAndZoomed(TGenD2ImgKernel& exact, TGenD2ImgKernel& env, int n) {
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
    sameWholeAndZoomed(exact, env, n);
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

// A read data file: each device's times as written with six decimals, so never quite even.
TREADing readingOf(const std::vector<Device>& devs) {
  TREADing r;
  r.deviceCount = int(devs.size());
  for (std::size_t d = 0; d < devs.size(); ++d) {
    r.names << QStringLiteral("D%1").arg(d);
    r.colours.Add(int(devs[d].colour));
    r.colours.Add(0x00FF00);
    r.scaleRange.Add(d == 1 ? FPoint{-4.0, 4.0} : FPoint{0.0, 0.0});
    r.scaleRange.Add(FPoint{0.0, 0.0});
    r.units << QStringLiteral("s") << QStringLiteral("V") << QStringLiteral("A");
    TD3PointList& pts = r.points.Get(int(d));
    for (std::size_t k = 0; k < devs[d].v.size(); ++k)
      pts.Add({std::round((devs[d].t0 + double(k) * devs[d].dt) * 1e6) / 1e6, devs[d].v[k],
               -devs[d].v[k] * 0.5});
  }
  return r;
}

TEST_F(MultiCurves, ReadFileDrawnFromItsTimesAsPointByPoint) {
  for (const int n : {1000, 131001}) {
    const std::vector<Device> devs = {
        {-0.013, 1e-6, signal(n, 5), kColorBlue},
        {-0.013 + 3.3e-6, 1.0000037e-6, signal(n, 6), ColorRef(0x0000FF)}};
    const TREADing r = readingOf(devs);
    TGenD2ImgKernel exact, env;
    for (TGenD2ImgKernel* k : {&exact, &env}) {
      k->SetImageSize(1200, 700);
      k->PrepareImage(nullptr);
    }
    test::feedReadingAsPoints(exact, r);
    feedMultiReading(env, r);
    ASSERT_EQ(env.DataSetCount(), 4);
    for (int i = 0; i < 4; ++i) {
      const TGenD2DataSet& ds = *env.Get(i);
      ASSERT_TRUE(ds.series) << i;
      ASSERT_EQ(ds.series->Count(), std::uint64_t(n));
      // Only the two display-range points of D1 K1 stay points.
      EXPECT_EQ(ds.points.Count(), i == 2 ? 2 : 0) << i;
      // Each channel's samples are its device's times and its own column of the file.
      const auto& items = r.points.At(i / 2).Items();
      for (const int k : {0, 1, n / 2, n - 1}) {
        double v = 0;
        ASSERT_TRUE(ds.series->Value(std::uint64_t(k), v));
        EXPECT_EQ(ds.series->XOf(std::uint64_t(k)).number, items[std::size_t(k)].x) << i << " " << k;
        EXPECT_EQ(v, i % 2 == 0 ? items[std::size_t(k)].y : items[std::size_t(k)].z) << i << " " << k;
      }
    }
    EXPECT_EQ(exact.Get(0)->PointCount(), env.Get(0)->PointCount());
    for (TGenD2ImgKernel* k : {&exact, &env}) k->DataSets().SortByName();
    sameWholeAndZoomed(exact, env, n);
  }
}

TEST_F(MultiCurves, ReadTimesThatGoBackStayPointsAndShiftLikeThem) {
  std::vector<Device> devs = {{0.0, 1e-3, signal(500, 7), kColorBlue}};
  TREADing r = readingOf(devs);
  TGenD2DataSet ds;
  ds.points.Template().color = kColorBlue;
  auto xs = std::make_shared<std::vector<double>>();
  for (const D3Point& p : r.points.At(0).Items()) xs->push_back(p.x);
  setTimedCurve(ds, xs, devs[0].v);
  ASSERT_TRUE(ds.series);
  EXPECT_EQ(ds.series->color, kColorBlue);
  // A trigger shift moves every stored time, and leaves the read ones and the samples shared.
  const auto before = ds.series;
  offsetCurveX(ds, 0.0057);
  offsetCurveX(ds, -0.0017);
  for (const std::size_t i : {std::size_t(0), std::size_t(333), std::size_t(499)})
    EXPECT_NEAR(ds.series->XOf(i).number, (*xs)[i] + 0.004, 1e-15) << i;
  EXPECT_EQ(ds.series->X0().number, ds.series->XOf(0).number);
  EXPECT_EQ((*xs)[333], std::round(333 * 1e-3 * 1e6) / 1e6);
  EXPECT_EQ(before->XOf(333).number, (*xs)[333]);
  EXPECT_EQ(ds.series->StoredX(), xs);
  EXPECT_EQ(&ds.series->Reader(), &before->Reader());
  EXPECT_EQ(ds.series->color, kColorBlue);

  // A time going back (a hand-edited file) or a lone sample: linked points, as before.
  (*xs)[250] = (*xs)[249] - 1e-6;
  TGenD2DataSet back;
  setTimedCurve(back, xs, devs[0].v);
  EXPECT_FALSE(back.series);
  ASSERT_EQ(back.points.Count(), 500);
  EXPECT_EQ(back.points.At(250).X.number, (*xs)[250]);
  EXPECT_EQ(back.points.At(250).linkA, 249);
  TGenD2DataSet one;
  setTimedCurve(one, xs, {1.5});
  EXPECT_FALSE(one.series);
  ASSERT_EQ(one.points.Count(), 1);
  EXPECT_EQ(one.points.At(0).Y.number, 1.5);
}

}  // namespace
}  // namespace tolv
