#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <climits>

#include "plot/plotdata.h"
#include "plot/plotraster.h"

namespace tolv {
namespace {

PlotPoint pointAt(double x, double y) {
  PlotPoint p;
  p.X = WorldValue::num(x);
  p.Y = WorldValue::num(y);
  return p;
}

TEST(WorldValue, ArithmeticOnNumbersAndTimes) {
  EXPECT_DOUBLE_EQ(wvSub(WorldValue::num(5), WorldValue::num(2)).number, 3.0);
  EXPECT_DOUBLE_EQ(wvScale(WorldValue::num(4), 0.5).number, 2.0);
  // Times subtract as DayTimes and stay times.
  const WorldValue a = WorldValue::at(DayTime{100.0, 700000});
  const WorldValue b = WorldValue::at(DayTime{86300.0, 699999});
  const WorldValue d = wvSub(a, b);
  EXPECT_EQ(d.kind, kWorldTime);
  EXPECT_DOUBLE_EQ(d.toNumber(), 200.0);
  // Adding seconds crosses midnight and normalises.
  const WorldValue c = wvAddUnits(b, 200.0);
  EXPECT_EQ(c.time().day, 700000);
  EXPECT_DOUBLE_EQ(c.time().seconds, 100.0);
  // Scaling a time rebuilds it from total seconds with day part 0.
  const WorldValue s = wvScale(WorldValue::seconds(90000.0), 2.0);
  EXPECT_EQ(s.time().day, 2);
  EXPECT_DOUBLE_EQ(s.time().seconds, 7200.0);
  // Mixed kinds: difference is a copy of a, comparisons are false.
  const WorldValue n = WorldValue::num(1.0);
  EXPECT_EQ(wvSub(n, a), n);
  EXPECT_FALSE(wvLess(n, a));
  EXPECT_FALSE(wvLessEqual(a, n));
  EXPECT_EQ(wvZero(kWorldTime).kind, kWorldTime);
  EXPECT_DOUBLE_EQ(wvZero(kWorldTime).toNumber(), 0.0);
}

TEST(WorldValue, MinMaxTieRules) {
  // 0.0 and -0.0 compare equal but can be told apart.
  const WorldValue pz = WorldValue::num(0.0), nz = WorldValue::num(-0.0);
  EXPECT_TRUE(std::signbit(wvMin(pz, nz).number));   // the second operand
  EXPECT_FALSE(std::signbit(wvMax(pz, nz).number));  // the first operand
  EXPECT_DOUBLE_EQ(wvMin(WorldValue::num(2), WorldValue::num(1)).number, 1.0);
  EXPECT_DOUBLE_EQ(wvMax(WorldValue::num(2), WorldValue::num(1)).number, 2.0);
}

TEST(PointsList, DefaultsAndLinkedAdds) {
  TD2PointsLst l;
  const PlotPoint t = l.GetTemplate();
  EXPECT_EQ(t.flags, 15u);
  EXPECT_EQ(t.linkA, -1);
  EXPECT_EQ(t.color, 0xFF0000u);
  EXPECT_EQ(t.markerSize, 3);
  EXPECT_EQ(t.markerShape, 2);
  EXPECT_EQ(t.color2, 0xC0C0C0u);
  EXPECT_EQ(t.words[1], 1u);

  PlotPoint p = t;
  p.color = 0x123456;
  EXPECT_EQ(l.AddLinkedPoint(p).linkA, -1);  // empty list: no line
  EXPECT_EQ(l.At(0).color2, 0x123456u);      // second colour follows the colour
  l.AddLinkedPoint(p);
  l.AddLinkedPoint(p);
  EXPECT_EQ(l.At(2).linkA, 1);
  EXPECT_EQ(l.At(2).linkB, 1);

  TD2PointsLst other;
  EXPECT_EQ(other.AppendFrom(l, true), 3);
  EXPECT_EQ(other.At(2).linkA, 3);  // stored link 1 shifted by the count 2
  EXPECT_EQ(other.ReplaceFrom(l, false), 3);
  EXPECT_EQ(other.At(2).linkA, 1);
  EXPECT_EQ(other.ReplaceFrom(other, false), 3);  // from itself
}

TEST(PointsList, GetPointCodes) {
  TD2PointsLst l;
  PlotPoint out;
  EXPECT_EQ(l.GetPoint(0, out), kPlotEmpty);
  l.AddPoint(pointAt(1, 2));
  EXPECT_EQ(l.GetPoint(1, out), kPlotIndex);
  EXPECT_EQ(l.GetPoint(-1, out), kPlotIndex);
  EXPECT_EQ(l.GetPoint(0, out), kPlotOk);
  EXPECT_DOUBLE_EQ(out.Y.number, 2.0);
}

TEST(PointsList, BoundsValidFlagAndKinds) {
  TD2PointsLst l;
  l.AddPoint(pointAt(3, -1));
  l.AddPoint(pointAt(-2, 4));
  WorldValue x0, x1, y0, y1;
  l.GetBounds(x0, x1, y0, y1);
  EXPECT_TRUE(l.BoundsValid());
  EXPECT_DOUBLE_EQ(x0.number, -2);
  EXPECT_DOUBLE_EQ(x1.number, 3);
  EXPECT_DOUBLE_EQ(y0.number, -1);
  EXPECT_DOUBLE_EQ(y1.number, 4);
  // Empty list: minima become zero, maxima stay, bounds stay invalid.
  l.Clear();
  l.GetBounds(x0, x1, y0, y1);
  EXPECT_FALSE(l.BoundsValid());
  EXPECT_DOUBLE_EQ(x0.number, 0);
  EXPECT_DOUBLE_EQ(x1.number, 3);
  EXPECT_DOUBLE_EQ(y1.number, 4);
  EXPECT_EQ(l.SetXKind(kWorldTime), kPlotEmpty);
  l.GetBounds(x0, x1, y0, y1);
  EXPECT_EQ(x0.kind, kWorldTime);
  EXPECT_EQ(x1.kind, kWorldTime);

  l.AddPoint(pointAt(0, 0));
  EXPECT_EQ(l.SetYKind(kWorldTime), kPlotOk);
  EXPECT_EQ(l.At(0).Y.kind, kWorldTime);

  // The bounds are those of comparing point after point with wvMin / wvMax, values that are
  // no number (first, between, last) and a point of another kind among them included.
  const auto same = [](const WorldValue& a, const WorldValue& b) {
    return a.kind == b.kind &&
           (a.number == b.number || (std::isnan(a.number) && std::isnan(b.number)));
  };
  for (int variant = 0; variant < 4; ++variant) {
    TD2PointsLst m;
    for (int i = 0; i < 40; ++i) {
      const double v = i == variant * 13 ? std::nan("") : std::sin(i * 1.7) * 5;
      m.AddPoint(pointAt(v, -v));
    }
    if (variant == 3) {
      PlotPoint t = pointAt(1, 1);
      t.X = WorldValue::at(DayTime{3600.0, 739000});
      m.AddPoint(t);
    }
    WorldValue ex[4] = {m.At(0).X, m.At(0).X, m.At(0).Y, m.At(0).Y};
    for (const PlotPoint& p : m.Points()) {
      ex[0] = wvMin(ex[0], p.X);
      ex[1] = wvMax(ex[1], p.X);
      ex[2] = wvMin(ex[2], p.Y);
      ex[3] = wvMax(ex[3], p.Y);
    }
    // Kept while the points were added, and worked out again after a change.
    for (const bool again : {false, true}) {
      if (again) m.OffsetX(0.0);
      EXPECT_EQ(m.BoundsValid(), !again);
      WorldValue got[4];
      m.GetBounds(got[0], got[1], got[2], got[3]);
      for (int b = 0; b < 4; ++b)
        EXPECT_TRUE(same(got[b], ex[b])) << variant << " bound " << b << " again " << again;
    }
  }
}

TEST(PointsList, ColourAndMarkerOnTemplateAndPoints) {
  TD2PointsLst l;
  EXPECT_EQ(l.SetColor(0xAB), kPlotEmpty);
  EXPECT_EQ(l.GetTemplate().color, 0xABu);  // the template changes all the same
  EXPECT_EQ(l.SetMarker(5, 7), kPlotEmpty);
  int size = 0, shape = 0;
  l.GetMarker(size, shape);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(shape, 7);
  l.AddPoint(pointAt(0, 0));
  EXPECT_EQ(l.SetMarker(1, 0), kPlotOk);
  EXPECT_EQ(l.SetColor(0xCD), kPlotOk);
  EXPECT_EQ(l.At(0).color, 0xCDu);
  l.GetMarker(size, shape);
  EXPECT_EQ(size, 1);
  EXPECT_EQ(shape, 0);
}

// What a redraw reads instead of the points exists only for lists it describes exactly, and
// a change of the points drops it.
TEST(PointsList, PlainChainOnlyForLongOneColouredLinkedCurves) {
  const auto chain = [](int n, int shape) {
    TD2PointsLst l;
    l.SetMarker(3, shape);
    PlotPoint p = l.GetTemplate();
    for (int i = 0; i < n; ++i) {
      p.X = WorldValue::num(i * 0.5);
      p.Y = WorldValue::num(-i);
      l.AddLinkedPoint(p);
    }
    return l;
  };
  const int n = TD2PointsLst::kPlainChainMin;
  TD2PointsLst l = chain(n, 0);
  // Kept while the points were added: the first drawing reads it already.
  auto c = l.ChainForRedraw();
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->x.size(), std::size_t(n));
  EXPECT_EQ(c->x[7], 3.5);
  EXPECT_EQ(c->y[n - 1], -(n - 1));
  EXPECT_EQ(l.Chain(), c);  // kept
  EXPECT_NE(chain(n, 9).Chain(), nullptr);   // no marker
  EXPECT_EQ(chain(n, 1).Chain(), nullptr);   // a marker of its own shape
  EXPECT_EQ(chain(n - 1, 0).Chain(), nullptr);
  // A point that does not continue it (a curve's unlinked corner) ends it; what was grown
  // stays, and points after it are not taken in, whatever they are.
  l.AddPoint(pointAt(1, 1));  // not linked
  ASSERT_EQ(l.Chain(), c);
  l.AddLinkedPoint(l.At(0));
  EXPECT_EQ(l.ChainForRedraw(), c);
  EXPECT_EQ(c->x.size(), std::size_t(n));
  // A list emptied and filled again writes into the same memory (none holds it meanwhile).
  c.reset();
  const double* memory = nullptr;
  for (int round = 0; round < 2; ++round) {
    l.Clear();
    EXPECT_EQ(l.Chain(), nullptr);
    PlotPoint again = l.GetTemplate();
    for (int i = 0; i < n; ++i) {
      again.X = again.Y = WorldValue::num(i + round);
      l.AddLinkedPoint(again);
    }
    ASSERT_NE(l.Chain(), nullptr);
    EXPECT_EQ(l.Chain()->x[9], 9.0 + round);
    if (round == 1) {
      EXPECT_EQ(l.Chain()->x.data(), memory);
    }
    memory = l.Chain()->x.data();
  }
  l.AddPoint(pointAt(1, 1));
  l.OffsetX(1.0);
  EXPECT_EQ(l.ChainForRedraw(), nullptr);  // a change makes the next drawing a first one
  l = chain(n, 0);
  ASSERT_NE(l.Chain(), nullptr);
  l.SetXKind(kWorldTime);
  EXPECT_EQ(l.Chain(), nullptr);
  l = chain(n, 0);
  ASSERT_NE(l.Chain(), nullptr);
  l.OffsetX(2.0);
  ASSERT_NE(l.Chain(), nullptr);
  EXPECT_EQ(l.Chain()->x[0], 2.0);  // made afresh
  const TD2PointsLst other = chain(n, 0);
  PlotPoint q = other.At(3);
  q.color = 0x123456;
  TD2PointsLst mixed;
  for (int i = 0; i < other.Count(); ++i) mixed.AddPoint(i == 3 ? q : other.At(i));
  EXPECT_NE(other.Chain(), nullptr);
  EXPECT_EQ(mixed.Chain(), nullptr);  // one point of another colour

  // A link beyond the list designates no point until the list reaches that point: the chain
  // grows on up to there and ends with it, as one made from the points finds.
  TD2PointsLst ahead = chain(n, 0);
  PlotPoint a = ahead.GetTemplate();
  a.X = WorldValue::num(n * 0.5);
  a.linkA = n - 1;
  a.linkB = n + 2;
  ahead.AddPoint(a);  // point n
  a.linkA = a.linkB = -1;
  ahead.AddLinkedPoint(a);  // n + 1
  ASSERT_NE(ahead.Chain(), nullptr);
  EXPECT_EQ(ahead.Chain()->x.size(), std::size_t(n + 2));
  ahead.AddLinkedPoint(a);  // n + 2: now point n's link designates it
  ASSERT_NE(ahead.Chain(), nullptr);
  EXPECT_EQ(ahead.Chain()->x.size(), std::size_t(n));
  ahead.OffsetX(0.0);
  ASSERT_NE(ahead.Chain(), nullptr);
  EXPECT_EQ(ahead.Chain()->x.size(), std::size_t(n));
  // A chain a drawing holds, or one a copy of the list shares, is never changed by points added
  // afterwards; the list's own covers them.
  TD2PointsLst grown = chain(n, 9);
  const auto held = grown.Chain();
  const TD2PointsLst copy = grown;
  PlotPoint b = grown.GetTemplate();
  b.X = WorldValue::num(-7.0);
  grown.AddLinkedPoint(b);
  EXPECT_EQ(held->x.size(), std::size_t(n));
  EXPECT_EQ(copy.Chain()->x.size(), std::size_t(n));
  ASSERT_NE(grown.Chain(), nullptr);
  EXPECT_EQ(grown.Chain()->x.size(), std::size_t(n + 1));
  EXPECT_EQ(grown.Chain()->x[std::size_t(n)], -7.0);
  EXPECT_FALSE(grown.Chain()->square);
  // A chain found for a list whose points changed covers no point added after.
  grown.OffsetX(1.0);
  ASSERT_NE(grown.Chain(), nullptr);
  grown.AddLinkedPoint(b);
  ASSERT_NE(grown.Chain(), nullptr);
  EXPECT_EQ(grown.Chain()->x.size(), std::size_t(n + 2));
  EXPECT_EQ(grown.Chain()->x[std::size_t(n + 1)], -7.0);
}

TEST(DataSet, UnitOnTimeAxisIsStoredAndReported) {
  TGenD2DataSet ds;
  EXPECT_EQ(ds.xAxis.unit, QStringLiteral("#"));
  EXPECT_EQ(ds.messageInterval, 10000);
  EXPECT_EQ(ds.SetXUnit(QStringLiteral("s")), kPlotOk);
  ds.SetXKind(kWorldTime);
  EXPECT_EQ(ds.SetXUnit(QStringLiteral("t")), kPlotUnitOnTime);
  EXPECT_EQ(ds.xAxis.unit, QStringLiteral("t"));
  EXPECT_EQ(ds.SetYUnit(QString(300, QLatin1Char('V'))), kPlotOk);
  EXPECT_EQ(ds.yAxis.unit.size(), 255);

  ds.SetYAxisColor(0x00FF00);
  EXPECT_EQ(ds.yStyle.labelColor, 0x00FF00u);  // label colour follows while still black
  ds.SetYLabelColor(0x0000FF);
  ds.SetYAxisColor(0x111111);
  EXPECT_EQ(ds.yStyle.labelColor, 0x0000FFu);
}

TEST(DataSet, RangesFromPointsAndKindCodes) {
  TGenD2DataSet ds;
  ds.points.AddPoint(pointAt(1, 10));
  ds.points.AddPoint(pointAt(5, -10));
  EXPECT_EQ(ds.SetRangesFromPoints(), kPlotOk);
  EXPECT_DOUBLE_EQ(ds.xAxis.maximum.number, 5);
  EXPECT_DOUBLE_EQ(ds.yAxis.minimum.number, -10);
  // Points of time kind on a number axis: the axis follows and says its kind changed.
  ds.points.SetXKind(kWorldTime);
  EXPECT_EQ(ds.SetRangesFromPoints(), kPlotAxisKindChanged);
  EXPECT_EQ(ds.xAxis.minimum.kind, kWorldTime);
  EXPECT_DOUBLE_EQ(ds.yAxis.maximum.number, 10);  // Y still taken over
}

TEST(AxisList, MatchOrAddByUnitKindAndScale) {
  TAxWorldDataLst axes;
  AxisWorldData a;
  a.unit = QStringLiteral("V");
  a.minimum = WorldValue::num(0);
  a.maximum = WorldValue::num(1);
  AxisWorldData* rec = nullptr;
  EXPECT_EQ(axes.MatchOrAdd(a, rec), 0);
  AxisWorldData b = a;
  b.minimum = WorldValue::num(-2);
  b.maximum = WorldValue::num(0.5);
  EXPECT_EQ(axes.MatchOrAdd(b, rec), 0);
  EXPECT_DOUBLE_EQ(rec->minimum.number, -2);  // widened
  EXPECT_DOUBLE_EQ(rec->maximum.number, 1);
  AxisWorldData c = a;
  c.unit = QStringLiteral("V ");  // a trailing blank makes another axis
  EXPECT_EQ(axes.MatchOrAdd(c, rec), 1);
  AxisWorldData d = a;
  d.minimum.kind = d.maximum.kind = kWorldTime;
  EXPECT_EQ(axes.MatchOrAdd(d, rec), 2);
  AxisWorldData e = a;
  e.scaleType = 1;
  EXPECT_EQ(axes.MatchOrAdd(e, rec), 3);
  EXPECT_EQ(axes.ResetPointCounts(), kPlotOk);
  axes.Clear();
  EXPECT_EQ(axes.ResetPointCounts(), kPlotEmpty);
}

TEST(DataSetList, AddCopyEmptiesTheSourceAndSortByName) {
  TGenD2DataSetsLst sets;
  TGenD2DataSet src;
  src.name = QStringLiteral("b K1");
  src.SetYUnit(QStringLiteral("V"));
  src.yStyle.grid = 1;
  src.points.AddLinkedPoint(pointAt(0, 1));
  src.points.AddLinkedPoint(pointAt(2, 3));
  TGenD2DataSet& copy = sets.AddCopy(src);
  EXPECT_EQ(src.points.Count(), 0);
  EXPECT_EQ(copy.points.Count(), 2);
  EXPECT_EQ(copy.points.At(1).linkA, 0);  // links kept as stored
  EXPECT_EQ(copy.yAxis.unit, QStringLiteral("V"));
  EXPECT_EQ(copy.yStyle.grid, 1);
  src.name = QStringLiteral("a K2");
  sets.AddCopy(src);
  src.name = QStringLiteral("B");
  sets.AddCopy(src);
  sets.SortByName();
  TGenD2DataSet* out = nullptr;
  ASSERT_EQ(sets.Get(0, out), kPlotOk);
  EXPECT_EQ(out->name, QStringLiteral("B"));  // capitals sort first by character code
  sets.Get(1, out);
  EXPECT_EQ(out->name, QStringLiteral("a K2"));
  EXPECT_EQ(sets.Get(3, out), kPlotIndex);
  sets.Clear();
  EXPECT_EQ(sets.Get(0, out), kPlotEmpty);
}

TEST(MeasurementData, EntriesAndFlags) {
  TMeasurementData m;
  m.title = QStringLiteral("t");
  EXPECT_EQ(m.AddEntry(TMeasurementEntry{}), 0);
  EXPECT_EQ(m.filledFlag, 1);
  EXPECT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Get(1), nullptr);
  m.Clear();
  EXPECT_EQ(m.Count(), 0);
  EXPECT_TRUE(m.title.isEmpty());
}

TEST(PosTxt, AlignmentCodes) {
  const int w = 11, h = 7;  // halves truncate toward zero: 5 and 3
  const int expect[9][2] = {{100, 50}, {95, 50},  {89, 50}, {100, 47}, {95, 47},
                            {89, 47},  {100, 43}, {95, 43}, {89, 43}};
  for (int a = 0; a < 9; ++a) {
    TMyPosTxt t;
    t.x = 100;
    t.y = 50;
    t.align = a;
    t.Place(w, h);
    EXPECT_EQ(t.left, expect[a][0]) << a;
    EXPECT_EQ(t.top, expect[a][1]) << a;
    EXPECT_EQ(t.right - t.left, w);
    EXPECT_EQ(t.bottom - t.top, h);
  }
}

// Link lines between points at the clamped pixel limits (a degenerate axis): the walk is cut
// to the square around every picture, ends, and still passes where the line does.
TEST(LineSpans, FarEndsAreCutToTheFarSquare) {
  struct Sink {
    std::size_t count = 0;
    int minX = INT_MAX, maxX = INT_MIN, lo = INT_MAX, hi = INT_MIN;
    std::pair<int, int> atZero{1, 0};
    void span(int x, int l, int h) {
      ++count;
      minX = std::min(minX, x);
      maxX = std::max(maxX, x);
      lo = std::min(lo, l);
      hi = std::max(hi, h);
      if (x == 0) atZero = {l, h};
    }
  };
  Sink diag;
  lineSpans(diag, -1000000000, -1000000000, 1000000000, 999999999);
  EXPECT_EQ(diag.minX, -kFarPixel);
  EXPECT_EQ(diag.maxX, kFarPixel);
  EXPECT_EQ(diag.count, std::size_t(2 * kFarPixel + 1));
  EXPECT_LE(diag.atZero.first, 0);
  EXPECT_GE(diag.atZero.second, -1);
  // Wholly outside the square: nothing; a steep cut stays within it.
  Sink outside;
  lineSpans(outside, -1000000000, 500000000, -500000000, 1000000000);
  EXPECT_EQ(outside.count, 0u);
  Sink steep;
  lineSpans(steep, 7, -1000000000, 8, 1000000000);
  EXPECT_EQ(steep.minX, 7);
  EXPECT_EQ(steep.maxX, 8);
  EXPECT_EQ(steep.lo, -kFarPixel);
  EXPECT_EQ(steep.hi, kFarPixel);
}

}  // namespace
}  // namespace tolv
