// Long curves drawn from their per-column envelope: the min/max summaries against brute
// force, and the envelope picture and read-outs against the same samples drawn and searched
// point by point.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

#include "plot/genkernel.h"
#include "plot/sampleseries.h"

namespace tolv {
namespace {

// A reader that counts what it hands out, to show that summaries spare the reading.
class CountingReader : public TSampleReader {
 public:
  explicit CountingReader(std::vector<double> v) : v_(std::move(v)) {}
  std::uint64_t Count() const override { return v_.size(); }
  bool Read(std::uint64_t first, std::size_t n, double* out) const override {
    read += n;
    return TVectorSampleReader(std::vector<double>(v_.begin() + std::ptrdiff_t(first),
                                                   v_.begin() + std::ptrdiff_t(first + n)))
        .Read(0, n, out);
  }
  mutable std::uint64_t read = 0;

 private:
  std::vector<double> v_;
};

// Seeded signals of different character: a random walk, a sine with noise and rare spikes
// (a single sample far off, which a careless envelope loses), and steps.
std::vector<double> signal(std::size_t n, int kind, unsigned seed) {
  std::mt19937 g(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> v(n);
  double walk = 0;
  for (std::size_t i = 0; i < n; ++i) {
    switch (kind) {
      case 0:
        walk += noise(g) * 0.01;
        v[i] = walk;
        break;
      case 1:
        v[i] = std::sin(double(i) * 0.001) + 0.05 * noise(g) + (g() % 9973 == 0 ? 3.0 : 0.0);
        break;
      default:
        v[i] = (i / 777) % 2 ? 0.7 : -0.3;
        break;
    }
  }
  return v;
}

TEST(MinMaxPyramid, MatchesBruteForceAtBlockBoundaries) {
  const std::vector<double> v = signal(3 * 4096 + 123, 1, 7);
  TVectorSampleReader r(v);
  TMinMaxPyramid p;
  // Appended in uneven pieces, as a file is read.
  for (std::size_t i = 0; i < v.size();) {
    const std::size_t m = std::min<std::size_t>(v.size() - i, 1 + (i * 7) % 5000);
    p.Append(v.data() + i, m);
    i += m;
  }
  ASSERT_EQ(p.Count(), v.size());
  // The same pieces summarised while copied: the same summaries and an exact copy.
  TMinMaxPyramid pc;
  std::vector<double> copied(v.size(), -99.0);
  for (std::size_t i = 0; i < v.size();) {
    const std::size_t m = std::min<std::size_t>(v.size() - i, 1 + (i * 7) % 5000);
    ASSERT_TRUE(pc.AppendFinite(v.data() + i, m, copied.data() + i));
    i += m;
  }
  EXPECT_EQ(copied, v);
  // A value that is no finite number anywhere (a block's first, within the pairs, in the
  // tail, in a later piece) is told.
  for (const double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    for (std::size_t at : {std::size_t(0), std::size_t(5), std::size_t(64), std::size_t(70),
                           std::size_t(126), std::size_t(127), v.size() - 1}) {
      std::vector<double> w(v.begin(), v.begin() + 4096 + 300), out(w.size());
      w[std::min(at, w.size() - 1)] = bad;
      TMinMaxPyramid wp;
      const bool first = wp.AppendFinite(w.data(), 200, out.data());
      const bool second = wp.AppendFinite(w.data() + 200, w.size() - 200, out.data() + 200);
      EXPECT_FALSE(first && second) << bad << " at " << at;
    }
  }
  const std::uint64_t cuts[] = {0,    1,    63,   64,   65,   127,  128,  129,  4095, 4096,
                                4097, 4160, 5000, 8191, 8192, 8193, 12287, 12288, 12289,
                                v.size() - 1, v.size()};
  for (std::uint64_t a : cuts) {
    for (std::uint64_t b : cuts) {
      if (a >= b) continue;
      double lo = 0, hi = 0;
      ASSERT_TRUE(p.MinMax(r, a, b, lo, hi));
      const auto [mn, mx] = std::minmax_element(v.begin() + std::ptrdiff_t(a),
                                                v.begin() + std::ptrdiff_t(b));
      EXPECT_EQ(lo, *mn) << a << ".." << b;
      EXPECT_EQ(hi, *mx) << a << ".." << b;
      ASSERT_TRUE(pc.MinMax(r, a, b, lo, hi));
      EXPECT_EQ(lo, *mn) << "copied " << a << ".." << b;
      EXPECT_EQ(hi, *mx) << "copied " << a << ".." << b;
    }
  }
  double lo = 0, hi = 0;
  EXPECT_FALSE(p.MinMax(r, 5, 5, lo, hi));
  EXPECT_FALSE(p.MinMax(r, 0, v.size() + 1, lo, hi));
  ASSERT_TRUE(p.Bounds(lo, hi));
  EXPECT_EQ(lo, *std::min_element(v.begin(), v.end()));
  EXPECT_EQ(hi, *std::max_element(v.begin(), v.end()));
  // The extremes in every lane of the folded chains and in the tail behind them, with a value
  // that is no number among them (passed over, as comparing value after value does).
  for (std::size_t n = 2; n <= 21; ++n) {
    for (std::size_t at = 1; at < n; ++at) {
      std::vector<double> w(n, 0.5);
      w[n - at] = 6.0;
      w[at] = -4.0;  // the same sample as the maximum's when at = n / 2
      w[1 + (at * 3) % (n - 1)] = std::nan("");  // never the first, which starts the fold
      TVectorSampleReader wr(w);
      TMinMaxPyramid wp;
      wp.Append(w.data(), w.size());
      ASSERT_TRUE(wp.MinMax(wr, 0, n, lo, hi));
      double mn = w[0], mx = w[0];
      for (double x : w) {
        mn = x < mn ? x : mn;
        mx = x > mx ? x : mx;
      }
      EXPECT_EQ(lo, mn) << n << " " << at;
      EXPECT_EQ(hi, mx) << n << " " << at;
    }
  }
}

// A stretch of a million samples starting mid-block costs its two ragged ends, never the
// samples between.
TEST(MinMaxPyramid, LongStretchReadsOnlyItsEnds) {
  const std::vector<double> v = signal(1 << 20, 0, 3);
  auto reader = std::make_shared<CountingReader>(v);
  TSampleSeries s(reader, WorldValue::num(0.0), 1.0);
  reader->read = 0;
  double lo = 0, hi = 0;
  ASSERT_TRUE(s.MinMax(4097 + 30, v.size() - 17, lo, hi));
  EXPECT_LT(reader->read, 2u * TMinMaxPyramid::kFine);
  const auto [mn, mx] = std::minmax_element(v.begin() + 4127, v.end() - 17);
  EXPECT_EQ(lo, *mn);
  EXPECT_EQ(hi, *mx);
  EXPECT_LT(s.Pyramid().MemoryBytes(), v.size() * sizeof(double) / 16);
}

TEST(SampleSeries, IndexOfX) {
  auto r = std::make_shared<TVectorSampleReader>(std::vector<double>(10, 0.0));
  TSampleSeries s(r, WorldValue::num(-0.3), 0.1);
  EXPECT_EQ(s.LowerIndex(WorldValue::num(-1.0), false), 0u);
  EXPECT_EQ(s.LowerIndex(s.XOf(3), false), 3u);
  EXPECT_EQ(s.LowerIndex(s.XOf(3), true), 4u);
  EXPECT_EQ(s.LowerIndex(WorldValue::num(5.0), false), 10u);
  // Halfway between two samples the earlier one is the nearer.
  EXPECT_EQ(s.NearestIndex(WorldValue::num(-0.3 + 0.25)), 2u);
  EXPECT_EQ(s.NearestIndex(WorldValue::num(-0.3 + 0.26)), 3u);
  EXPECT_EQ(s.NearestIndex(WorldValue::num(9.0)), 9u);
  // A clock-time value never matches a numeric series.
  EXPECT_EQ(s.NearestIndex(WorldValue::seconds(5.0)), 10u);
}

// ---- pictures ---------------------------------------------------------------------------------

constexpr int kNoMarker = 9;

struct Curve {
  std::vector<double> v;
  WorldValue x0;
  double dx;
  ColorRef colour;
  TSampleSeries::XValues xs = nullptr;  // stored X values instead of x0 + i * dx
};

// One kernel drawing the curves point by point, one drawing them from their envelopes, both
// with a black guide line of points over them (as the feeds add).
struct Pair {
  TGenD2ImgKernel exact, env;
  void build(const std::vector<Curve>& curves, int w = 1200, int h = 500) {
    for (TGenD2ImgKernel* k : {&exact, &env}) {
      k->SetImageSize(w, h);
      for (const Curve& c : curves) {
        TGenD2DataSet& ds = k->NewDataSet();
        ds.SetXKind(c.x0.kind);
        if (c.x0.kind == kWorldNumber) ds.SetXUnit(QStringLiteral("s"));
        ds.SetYUnit(QStringLiteral("V"));
        PlotPoint p = ds.points.GetTemplate();
        p.color = c.colour;
        p.markerShape = kNoMarker;
        auto reader = std::make_shared<TVectorSampleReader>(c.v);
        auto series = c.xs ? std::make_shared<TSampleSeries>(reader, c.xs)
                           : std::make_shared<TSampleSeries>(reader, c.x0, c.dx);
        series->color = c.colour;
        if (k == &exact) {
          for (std::size_t i = 0; i < c.v.size(); ++i) {
            p.X = series->XOf(i);
            p.Y = WorldValue::num(c.v[i]);
            p.linkA = p.linkB = -1;
            if (i == 0)
              ds.points.AddPoint(p);
            else
              ds.points.AddLinkedPoint(p);
          }
        } else {
          ds.series = series;
        }
        // A trigger line at the first sample, over the curve.
        const int base = ds.points.Count();
        p.color = kColorBlack;
        p.flags &= ~kPointMeasurable;
        for (int i = 0; i < 11; ++i) {
          p.X = c.x0;
          p.Y = WorldValue::num(-1.0 + 0.2 * i);
          p.linkA = p.linkB = i == 0 ? -1 : base + i - 1;
          ds.points.AddPoint(p);
        }
        k->AddDataSet(ds);
      }
      ASSERT_EQ(k->Render(nullptr, true), kPlotOk);
    }
  }
  // Pixels of a colour in the envelope picture (so an empty picture cannot pass as equal).
  int pixelsOf(ColorRef c) const {
    const QRgb want = qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
    int k = 0;
    const QImage& b = env.Bitmap();
    for (int y = 0; y < b.height(); ++y)
      for (int x = 0; x < b.width(); ++x) k += b.pixel(x, y) == want;
    return k;
  }
  // Pixels that differ between the two pictures.
  int differing() const {
    const QImage& a = exact.Bitmap();
    const QImage& b = env.Bitmap();
    if (a.size() != b.size()) return -1;
    int d = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x) d += a.pixel(x, y) != b.pixel(x, y);
    return d;
  }
  void setX(double lo, double hi) {
    for (TGenD2ImgKernel* k : {&exact, &env}) {
      for (int i = 0; i < k->DataSetCount(); ++i) {
        TGenD2DataSet& ds = *k->Get(i);
        ds.mergedX->minimum = WorldValue::num(lo);
        ds.mergedX->maximum = WorldValue::num(hi);
        ds.xAxis.minimum = ds.mergedX->minimum;
        ds.xAxis.maximum = ds.mergedX->maximum;
      }
      ASSERT_EQ(k->Redraw(nullptr), kPlotOk);
    }
  }
};

class EnvelopePicture : public ::testing::TestWithParam<int> {};

// The whole view of one and two curves of 1 000 to 262 000 samples (X steps not exact in
// binary): the same pixels.
TEST_P(EnvelopePicture, WholeViewSameAsPointByPoint) {
  const int n = GetParam();
  for (int kind = 0; kind < 3; ++kind) {
    Pair p;
    p.build({{signal(std::size_t(n), kind, unsigned(n + kind)), WorldValue::num(-0.1), 0.001,
              kColorBlue},
             {signal(std::size_t(n), (kind + 1) % 3, unsigned(n * 3 + kind)),
              WorldValue::num(-0.1), 0.001, 0x0000FF}});
    EXPECT_EQ(p.differing(), 0) << "n " << n << " kind " << kind;
    EXPECT_GT(p.pixelsOf(kColorBlue), 1000);
    EXPECT_GT(p.pixelsOf(0x0000FF), 1000);
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, EnvelopePicture,
                         ::testing::Values(1000, 1199, 2401, 4097, 65537, 262000));

// Zoomed into X, windows starting mid-block and ending between samples, down to fewer samples
// than columns (lines cut at the window's edge on both sides): the same pixels.
TEST(EnvelopePictureZoom, XZoomSameAsPointByPoint) {
  const int n = 262000;
  Pair p;
  p.build({{signal(n, 1, 11), WorldValue::num(0.0), 0.001, kColorBlue}});
  const double windows[][2] = {{10.0, 200.0}, {100.0037, 101.2}, {3.14159, 3.2},
                               {50.0005, 50.0105}, {-1.0, 0.5}, {261.5, 300.0}};
  for (const auto& w : windows) {
    p.setX(w[0], w[1]);
    EXPECT_EQ(p.differing(), 0) << w[0] << ".." << w[1];
    EXPECT_GT(p.pixelsOf(kColorBlue), 100) << w[0] << ".." << w[1];
  }
}

// Zoomed into Y too: lines leaving the window are cut at its edge. Point by point a line is
// cut where it crosses the edge, which may fall on the pixel next to the edge row, while the
// envelope fills its column up to the edge row: only pixels in the rows next to the window's
// top and bottom edge may differ.
TEST(EnvelopePictureZoom, YZoomDiffersOnlyAtTheCutEdges) {
  const int n = 65537;
  Pair p;
  p.build({{signal(n, 1, 5), WorldValue::num(0.0), 0.01, kColorBlue}});
  for (TGenD2ImgKernel* k : {&p.exact, &p.env}) {
    TGenD2DataSet& ds = *k->Get(0);
    ds.mergedY->minimum = WorldValue::num(-0.4);
    ds.mergedY->maximum = WorldValue::num(0.6);
    ds.yAxis.minimum = ds.mergedY->minimum;
    ds.yAxis.maximum = ds.mergedY->maximum;
    ASSERT_EQ(k->Redraw(nullptr), kPlotOk);
  }
  const AxisTransform& ty = p.env.Get(0)->yTransform;
  const int top = ty.toPixel(WorldValue::num(0.6)), bottom = ty.toPixel(WorldValue::num(-0.4));
  const QImage& a = p.exact.Bitmap();
  const QImage& b = p.env.Bitmap();
  int inside = 0, atEdge = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      if (a.pixel(x, y) == b.pixel(x, y)) continue;
      if (std::abs(y - top) <= 1 || std::abs(y - bottom) <= 1)
        ++atEdge;
      else
        ++inside;
    }
  EXPECT_EQ(inside, 0);
  EXPECT_LT(atEdge, 200);
  EXPECT_GT(p.pixelsOf(kColorBlue), 1000);
}

// Clock-time X (a logger run of more than 60 s): the same pixels.
TEST(EnvelopePictureZoom, ClockTimeSameAsPointByPoint) {
  DayTime start;
  start.day = 739000;
  start.seconds = 43210.123;
  Pair p;
  p.build({{signal(100000, 0, 9), WorldValue::at(start), 0.002, kColorBlue}});
  EXPECT_EQ(p.differing(), 0);
  EXPECT_GT(p.pixelsOf(kColorBlue), 1000);
}

// Times as a data file holds them: written with six decimals (so the steps wobble), with a
// gap, a stretch where the clock stood (equal times) and a jump back to a slower rate.
TSampleSeries::XValues readTimes(std::size_t n, double t0, double dt) {
  auto xs = std::make_shared<std::vector<double>>(n);
  double t = t0;
  for (std::size_t i = 0; i < n; ++i) {
    if (i == n / 3) t += 40 * dt;                    // a gap
    if (i > n / 2 && i < n / 2 + 9) t -= dt;         // the clock stood
    if (i == 2 * n / 3) dt *= 2.5;                   // a slower rate
    (*xs)[i] = std::round(t * 1e6) / 1e6;
    t += dt;
  }
  return xs;
}

TEST(StoredX, OnlyFiniteNeverDecreasingTimesAreUsable) {
  const double ok[] = {0.0, 0.0, 1e-6, 2.0};
  EXPECT_TRUE(TSampleSeries::UsableX(ok, 4));
  const double back[] = {0.0, 1.0, 0.999999, 2.0};
  EXPECT_FALSE(TSampleSeries::UsableX(back, 4));
  const double nan[] = {0.0, std::nan(""), 2.0};
  EXPECT_FALSE(TSampleSeries::UsableX(nan, 3));
  const double inf[] = {0.0, HUGE_VAL};
  EXPECT_FALSE(TSampleSeries::UsableX(inf, 2));
  // Nearest by X among equal times is the first of them; the series is as long as the shorter
  // of values and times.
  auto xs = std::make_shared<std::vector<double>>(std::vector<double>{0.0, 1.0, 1.0, 1.0, 3.0});
  TSampleSeries s(std::make_shared<TVectorSampleReader>(std::vector<double>(6, 0.0)), xs);
  EXPECT_EQ(s.Count(), 5u);
  EXPECT_EQ(s.NearestIndex(WorldValue::num(1.2)), 1u);
  EXPECT_EQ(s.NearestIndex(WorldValue::num(0.8)), 1u);
  EXPECT_EQ(s.NearestIndex(WorldValue::num(2.0)), 1u);
  EXPECT_EQ(s.NearestIndex(WorldValue::num(2.01)), 4u);
  EXPECT_EQ(s.LowerIndex(WorldValue::num(1.0), true), 4u);
  EXPECT_EQ(s.XOf(4).number, 3.0);
  EXPECT_EQ(s.Dx(), 0.75);
}

// Samples at stored, uneven times: the same pixels as point by point, whole and zoomed (down
// to windows holding the gap and the stood clock), and the read-outs find the same samples.
TEST(StoredX, PictureAndReadOutSameAsPointByPoint) {
  for (const int n : {1000, 4097, 65537, 262000}) {
    const double dt = 2e-5;
    Pair p;
    p.build({{signal(std::size_t(n), 1, unsigned(n)), WorldValue::num(-0.1), 0, kColorBlue,
              readTimes(std::size_t(n), -0.1, dt)},
             {signal(std::size_t(n), 0, unsigned(n + 1)), WorldValue::num(-0.1), 0, 0x0000FF,
              readTimes(std::size_t(n), -0.1 + 3.3e-6, dt * 1.0000037)}});
    EXPECT_EQ(p.differing(), 0) << "n " << n;
    EXPECT_GT(p.pixelsOf(kColorBlue), 1000);
    const double span = n * dt;
    const double windows[][2] = {{-0.1 + n / 3 * dt - 50 * dt, -0.1 + n / 3 * dt + 90 * dt},
                                 {-0.1 + n / 2 * dt - 3 * dt, -0.1 + n / 2 * dt + 20 * dt},
                                 {-0.1 + span * 0.4, -0.1 + span * 0.8}, {-0.2, -0.09}};
    for (const auto& w : windows) {
      p.setX(w[0], w[1]);
      EXPECT_EQ(p.differing(), 0) << "n " << n << " " << w[0] << ".." << w[1];
      const PlotRect pa = p.env.PlotArea();
      for (int mode = 1; mode <= 3; ++mode) {
        const int x = (pa.left * 2 + pa.right) / 3, y = (pa.top + pa.bottom) / 2;
        ASSERT_EQ(p.exact.MeasureNearest(nullptr, x, y, mode),
                  p.env.MeasureNearest(nullptr, x, y, mode));
        const TMeasurementData& ma = p.exact.Measurement();
        const TMeasurementData& mb = p.env.Measurement();
        ASSERT_EQ(ma.Count(), mb.Count());
        for (int i = 0; i < ma.Count(); ++i) {
          EXPECT_EQ(ma.Get(i)->foundPoint.X, mb.Get(i)->foundPoint.X) << "n " << n << " " << mode;
          EXPECT_EQ(ma.Get(i)->foundPoint.Y, mb.Get(i)->foundPoint.Y) << "n " << n << " " << mode;
        }
      }
      ASSERT_EQ(p.exact.SetCursor(nullptr, 0, pa.left + 17), kPlotOk);
      ASSERT_EQ(p.env.SetCursor(nullptr, 0, pa.left + 17), kPlotOk);
      const TCursorReadOut a = p.exact.CursorReadOut(), b = p.env.CursorReadOut();
      EXPECT_EQ(a.xA, b.xA);
      ASSERT_EQ(a.channels.size(), b.channels.size());
      for (std::size_t c = 0; c < a.channels.size(); ++c) EXPECT_EQ(a.channels[c].yA, b.channels[c].yA);
    }
  }
}

// The nearest-point read-out and the cursors find the real samples, the same as a search over
// the points: by X, by Y and by distance, zoomed and not.
TEST(EnvelopeReadOut, NearestPointIsTheSameSample) {
  const int n = 200003;
  Pair p;
  p.build({{signal(n, 1, 21), WorldValue::num(0.0), 0.0001, kColorBlue}}, 900, 400);
  QLabel image;
  image.resize(900, 400);
  for (int zoom = 0; zoom < 2; ++zoom) {
    if (zoom) p.setX(3.3333, 3.5);
    const PlotRect pa = p.env.PlotArea();
    for (int mode = 1; mode <= 3; ++mode) {
      for (const auto& [x, y] : {std::pair{pa.left + 3, pa.top + 5},
                                 std::pair{(pa.left + pa.right) / 2, (pa.top + pa.bottom) / 2},
                                 std::pair{pa.right - 1, pa.bottom - 2},
                                 std::pair{pa.left + 301, pa.top + 40}}) {
        const int ra = p.exact.MeasureNearest(nullptr, x, y, mode);
        const int rb = p.env.MeasureNearest(nullptr, x, y, mode);
        ASSERT_EQ(ra, rb);
        const TMeasurementData& ma = p.exact.Measurement();
        const TMeasurementData& mb = p.env.Measurement();
        ASSERT_EQ(ma.Count(), mb.Count());
        for (int i = 0; i < ma.Count(); ++i) {
          EXPECT_EQ(ma.Get(i)->foundPoint.X, mb.Get(i)->foundPoint.X)
              << "mode " << mode << " at " << x << "," << y << " zoom " << zoom;
          EXPECT_EQ(ma.Get(i)->foundPoint.Y, mb.Get(i)->foundPoint.Y);
        }
        EXPECT_EQ(p.exact.Get(0)->foundX, p.env.Get(0)->foundX);
        EXPECT_EQ(p.exact.Get(0)->foundY, p.env.Get(0)->foundY);
      }
    }
    ASSERT_EQ(p.exact.SetCursor(nullptr, 0, pa.left + 17), kPlotOk);
    ASSERT_EQ(p.env.SetCursor(nullptr, 0, pa.left + 17), kPlotOk);
    ASSERT_EQ(p.exact.SetCursor(nullptr, 1, pa.right - 40), kPlotOk);
    ASSERT_EQ(p.env.SetCursor(nullptr, 1, pa.right - 40), kPlotOk);
    const TCursorReadOut a = p.exact.CursorReadOut(), b = p.env.CursorReadOut();
    EXPECT_EQ(a.xA, b.xA);
    EXPECT_EQ(a.xB, b.xB);
    ASSERT_EQ(a.channels.size(), b.channels.size());
    EXPECT_EQ(a.channels[0].yA, b.channels[0].yA);
    EXPECT_EQ(a.channels[0].yB, b.channels[0].yB);
  }
}

// A lone sample draws nothing (a curve is its lines), and an empty series leaves the ranges to
// the points.
TEST(EnvelopePictureZoom, TinySeries) {
  for (int n : {1, 2, 3}) {
    Pair p;
    p.build({{std::vector<double>(std::size_t(n), 0.25), WorldValue::num(0.0), 0.5, kColorBlue}});
    EXPECT_EQ(p.differing(), 0) << n;
  }
}

// Pairs held in memory, read as a file's would be.
class VectorPairs : public TPairReader {
 public:
  VectorPairs(std::vector<double> x, std::vector<double> y) : x_(std::move(x)), y_(std::move(y)) {}
  std::uint64_t Count() const override { return x_.size(); }
  bool Read(std::uint64_t first, std::size_t n, double* xs, double* ys) const override {
    if (first > x_.size() || n > x_.size() - first) return false;
    std::copy_n(x_.begin() + std::ptrdiff_t(first), n, xs);
    std::copy_n(y_.begin() + std::ptrdiff_t(first), n, ys);
    return true;
  }

 private:
  std::vector<double> x_, y_;
};

// Counts the points read through it.
class CountingPairs : public TPairReader {
 public:
  explicit CountingPairs(std::shared_ptr<const TPairReader> r) : r_(std::move(r)) {}
  std::uint64_t Count() const override { return r_->Count(); }
  bool Read(std::uint64_t first, std::size_t n, double* xs, double* ys) const override {
    read += n;
    ++calls;
    return r_->Read(first, n, xs, ys);
  }
  mutable std::uint64_t read = 0, calls = 0;

 private:
  std::shared_ptr<const TPairReader> r_;
};

// The first `shown` points of another reader: a stream that grows in place.
class GrowingPairs : public TPairReader {
 public:
  GrowingPairs(std::shared_ptr<const TPairReader> r, std::uint64_t shown)
      : r_(std::move(r)), shown(shown) {}
  std::uint64_t Count() const override { return shown; }
  bool Read(std::uint64_t first, std::size_t n, double* xs, double* ys) const override {
    return first <= shown && n <= shown - first && r_->Read(first, n, xs, ys);
  }

 private:
  std::shared_ptr<const TPairReader> r_;

 public:
  std::uint64_t shown;
};

// One kernel drawing the points xs, ys linked one by one (none of the faster paths), one
// drawing them as an XY series from `reader`, both with the corners and the black zero line the
// feeds add (none of them measured).
void buildXYPair(TGenD2ImgKernel& exact, TGenD2ImgKernel& xy,
                 const std::shared_ptr<const TPairReader>& reader, const std::vector<double>& xs,
                 const std::vector<double>& ys, double ratio, double xlo, double xhi, double ylo,
                 double yhi, QSize size = QSize(640, 420)) {
  const ColorRef colour = 0x0000FF;
  exact.collapsePoints = false;
  for (TGenD2ImgKernel* k : {&exact, &xy}) {
    k->SetDevicePixelRatio(ratio);
    k->SetImageSize(size.width(), size.height());
    TGenD2DataSet& ds = k->NewDataSet();
    ds.SetXUnit(QStringLiteral("V"));
    ds.SetYUnit(QStringLiteral("V"));
    PlotPoint p = ds.points.GetTemplate();
    p.color = colour;
    p.markerShape = kNoMarker;
    if (k == &exact) {
      for (std::size_t i = 0; i < xs.size(); ++i) {
        p.X = WorldValue::num(xs[i]);
        p.Y = WorldValue::num(ys[i]);
        p.linkA = p.linkB = -1;
        if (i == 0)
          ds.points.AddPoint(p);
        else
          ds.points.AddLinkedPoint(p);
      }
    } else {
      auto series = std::make_shared<TXYSeries>();
      series->reader = reader;
      series->xlo = xlo;
      series->xhi = xhi;
      series->ylo = ylo;
      series->yhi = yhi;
      series->color = colour;
      ds.xySeries = series;
    }
    p.flags &= ~kPointMeasurable;
    p.linkA = p.linkB = -1;
    for (const auto& [cx, cy] : {std::pair{xlo - 0.25, ylo - 0.5}, std::pair{xhi + 0.25, yhi + 0.5}}) {
      p.X = WorldValue::num(cx);
      p.Y = WorldValue::num(cy);
      ds.points.AddPoint(p);
    }
    p.color = kColorBlack;
    for (int i = 0; i < 11; ++i) {
      p.X = WorldValue::num(xlo - 0.25 + (xhi - xlo + 0.5) * i / 10);
      p.Y = WorldValue::num(0.0);
      if (i == 0)
        ds.points.AddPoint(p);
      else
        ds.points.AddLinkedPoint(p);
    }
    k->AddDataSet(ds);
    ASSERT_EQ(k->Render(nullptr, true), kPlotOk);
  }
}

int redPixels(const QImage& b) {
  const QRgb want = qRgb(255, 0, 0);
  int c = 0;
  for (int y = 0; y < b.height(); ++y)
    for (int x = 0; x < b.width(); ++x) c += b.pixel(x, y) == want;
  return c;
}

// The nearest point at (x, y) in a mode is the same sample both ways, with the same cursor.
void expectSameNearest(TGenD2ImgKernel& exact, TGenD2ImgKernel& xy, int x, int y, int mode) {
  SCOPED_TRACE(testing::Message() << "mode " << mode << " at " << x << "," << y);
  ASSERT_EQ(exact.MeasureNearest(nullptr, x, y, mode), xy.MeasureNearest(nullptr, x, y, mode));
  ASSERT_EQ(exact.Measurement().Count(), xy.Measurement().Count());
  if (exact.Measurement().Count() == 0) return;
  EXPECT_EQ(exact.Measurement().Get(0)->foundPoint.X, xy.Measurement().Get(0)->foundPoint.X);
  EXPECT_EQ(exact.Measurement().Get(0)->foundPoint.Y, xy.Measurement().Get(0)->foundPoint.Y);
  EXPECT_EQ(exact.Get(0)->foundX, xy.Get(0)->foundX);
  EXPECT_EQ(exact.Get(0)->foundY, xy.Get(0)->foundY);
}

// An XY curve drawn straight from its reader against the same points linked one by one: values
// on a coarse grid, so lines repeat in both directions and many points share a pixel or a
// distance, several pieces long, with a point that is no number; the whole view, zoomed so lines
// leave the window on every side, and on a fine screen; and the nearest point in each measuring
// mode across the picture and beyond its edges, found without reading the series through.
TEST(XYSeries, PictureAndNearestPointSameAsPointByPoint) {
  const std::size_t n = 150001;
  std::mt19937 g(5);
  std::uniform_int_distribution<int> step(-3, 3);
  std::vector<double> xs(n), ys(n);
  int gx = 0, gy = 0;
  for (std::size_t i = 0; i < n; ++i) {
    gx = std::clamp(gx + step(g), -60, 60);
    gy = std::clamp(gy + step(g) + (i % 20000 == 0 ? 25 : 0), -45, 45);
    xs[i] = gx / 16.0;
    ys[i] = std::sin(gx * 0.05) + gy / 32.0;
  }
  ys[70000] = std::nan("");
  const auto reader = std::make_shared<CountingPairs>(std::make_shared<VectorPairs>(xs, ys));
  for (const double ratio : {1.0, 2.0}) {
    TGenD2ImgKernel exact, xy;
    buildXYPair(exact, xy, reader, xs, ys, ratio, -60 / 16.0, 60 / 16.0, -2.5, 2.5);
    EXPECT_TRUE(exact.Bitmap() == xy.Bitmap()) << "ratio " << ratio;
    EXPECT_GT(redPixels(xy.Bitmap()), 5000);
    // Pending events run every message interval (10000 points) while the series is drawn, as
    // while points are.
    int ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    xy.PrepareImage(nullptr);
    ASSERT_EQ(xy.Render(nullptr, true), kPlotOk);
    timer.stop();
    EXPECT_GE(ticks, int(n / 10000));
    EXPECT_TRUE(exact.Bitmap() == xy.Bitmap()) << "yielding, ratio " << ratio;
    const PlotRect pa = xy.PlotArea();
    for (int zoom = 0; zoom < 2; ++zoom) {
      if (zoom) {
        for (TGenD2ImgKernel* k : {&exact, &xy}) {
          k->BeginZoom(nullptr, pa.left + 173, pa.top + 61);
          ASSERT_EQ(k->FinishZoom(nullptr, pa.left + 311, pa.bottom - 97), kPlotOk);
        }
        EXPECT_TRUE(exact.Bitmap() == xy.Bitmap()) << "zoomed, ratio " << ratio;
        EXPECT_GT(redPixels(xy.Bitmap()), 1000);
      }
      const std::uint64_t before = reader->read;
      for (int mode = 1; mode <= 3; ++mode)
        for (int x = pa.left - 5; x <= pa.right + 5; x += 37)
          for (int y = pa.top - 5; y <= pa.bottom + 5; y += 41)
            expectSameNearest(exact, xy, x, y, mode);
      // Each read-out reads the point it found, nothing else.
      EXPECT_LE(reader->read - before, 3u * 18 * 11) << "zoom " << zoom;
    }
  }
}

// A curve that wanders slowly (a spiral): a zoomed picture reads only the blocks of points
// that can reach it (a point that is no number ends a block), the same pixels as point by point, and the read-out still finds the real
// nearest sample; a series given anew is searched afresh, not through the last one's grid.
TEST(XYSeries, ZoomReadsOnlyTheBlocksThatReachIt) {
  const std::size_t n = 120000;
  std::vector<double> xs(n), ys(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double t = double(i) / double(n), a = 40 * M_PI * t;
    xs[i] = (0.2 + 2.8 * t) * std::cos(a);
    ys[i] = (0.2 + 2.8 * t) * std::sin(a) * 0.7;
  }
  ys[4095] = std::nan("");  // the last point of a block, whose line into the next is not drawn
  const auto reader = std::make_shared<CountingPairs>(std::make_shared<VectorPairs>(xs, ys));
  TGenD2ImgKernel exact, xy;
  buildXYPair(exact, xy, reader, xs, ys, 1.0, -3.0, 3.0, -2.1, 2.1);
  const PlotRect pa = xy.PlotArea();
  // A window at the right, reached by the outer turns only.
  const TGenD2DataSet& set = *xy.Get(0);
  const int x0 = set.xTransform.toPixel(WorldValue::num(2.4));
  const int x1 = set.xTransform.toPixel(WorldValue::num(3.0));
  const int y0 = set.yTransform.toPixel(WorldValue::num(0.4));
  const int y1 = set.yTransform.toPixel(WorldValue::num(-0.4));
  const int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
  for (TGenD2ImgKernel* k : {&exact, &xy}) {
    k->BeginZoom(nullptr, x0, y0);
    ASSERT_EQ(k->FinishZoom(nullptr, x1, y1), kPlotOk);
  }
  const std::uint64_t before = reader->read;
  ASSERT_EQ(xy.Redraw(nullptr), kPlotOk);
  EXPECT_LT(reader->read - before, n / 3);
  ASSERT_EQ(exact.Redraw(nullptr), kPlotOk);
  EXPECT_TRUE(exact.Bitmap() == xy.Bitmap());
  EXPECT_GT(redPixels(xy.Bitmap()), 500);
  for (int mode = 1; mode <= 3; ++mode)
    for (int x = pa.left; x <= pa.right; x += 53)
      for (int y = pa.top; y <= pa.bottom; y += 47) expectSameNearest(exact, xy, x, y, mode);
  // A read-out while events run during a drawing: of the same view, through the grid kept from
  // the last one (one point read); of a new view not yet drawn whole, read through, and the
  // point of the new view all the same.
  // The new view: the middle half of the zoomed one.
  const int qx0 = (3 * pa.left + pa.right) / 4, qx1 = (pa.left + 3 * pa.right) / 4;
  const int qy0 = (3 * pa.top + pa.bottom) / 4, qy1 = (pa.top + 3 * pa.bottom) / 4;
  for (const bool newView : {false, true}) {
    SCOPED_TRACE(newView ? "new view" : "same view");
    if (newView) {
      exact.BeginZoom(nullptr, qx0, qy0);
      ASSERT_EQ(exact.FinishZoom(nullptr, qx1, qy1), kPlotOk);
    }
    int measured = 0;
    std::uint64_t readInside = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      // Before the curve's drawing (its grid is the last view's) and inside it.
      if (const int tick = measured++; tick != 0 && tick != 2) return;
      const std::uint64_t b = reader->read;
      EXPECT_EQ(exact.MeasureNearest(nullptr, mx + 7, my - 9, 3), kPlotOk);
      for (int mode = 1; mode <= 3; ++mode) expectSameNearest(exact, xy, mx + 7, my - 9, mode);
      readInside += reader->read - b;
    });
    timer.start();
    if (newView) {
      xy.BeginZoom(nullptr, qx0, qy0);
      ASSERT_EQ(xy.FinishZoom(nullptr, qx1, qy1), kPlotOk);
    } else {
      ASSERT_EQ(xy.Redraw(nullptr), kPlotOk);
    }
    timer.stop();
    EXPECT_GT(measured, 2);
    if (newView)
      EXPECT_GE(readInside, 2 * n);
    else
      EXPECT_LE(readInside, 6u);
  }
  // The same set given a series of other points without a drawing: read through.
  std::vector<double> ys2(ys);
  for (double& v : ys2) v = -v;
  TGenD2DataSet& ds = *xy.Get(0);
  auto other = std::make_shared<TXYSeries>(*ds.xySeries);
  other->reader = std::make_shared<VectorPairs>(xs, ys2);
  ds.xySeries = other;
  // Compared with the new points linked one by one in the same view (the old grid's sample
  // would be another one: the curve is mirrored).
  TGenD2ImgKernel exact2, unused;
  buildXYPair(exact2, unused, reader, xs, ys2, 1.0, -3.0, 3.0, -2.1, 2.1);
  exact2.BeginZoom(nullptr, x0, y0);
  ASSERT_EQ(exact2.FinishZoom(nullptr, x1, y1), kPlotOk);
  exact2.BeginZoom(nullptr, qx0, qy0);
  ASSERT_EQ(exact2.FinishZoom(nullptr, qx1, qy1), kPlotOk);
  ASSERT_EQ(exact2.MeasureNearest(nullptr, mx, my, 3), kPlotOk);
  for (int mode = 1; mode <= 3; ++mode)
    for (const int dy : {-20, 0, 20}) expectSameNearest(exact2, xy, mx, my + dy, mode);
  // Drawn, a series copied with another reader makes its own block bounds: those of the last
  // reader would skip every block the mirrored curve has in the window.
  std::vector<double> xs3(xs);
  for (double& v : xs3) v = -v;
  auto third = std::make_shared<TXYSeries>(*ds.xySeries);
  third->reader = std::make_shared<VectorPairs>(xs3, ys);
  ds.xySeries = third;
  ASSERT_EQ(xy.Redraw(nullptr), kPlotOk);
  TGenD2ImgKernel exact3, unused3;
  buildXYPair(exact3, unused3, reader, xs3, ys, 1.0, -3.0, 3.0, -2.1, 2.1);
  exact3.BeginZoom(nullptr, x0, y0);
  ASSERT_EQ(exact3.FinishZoom(nullptr, x1, y1), kPlotOk);
  exact3.BeginZoom(nullptr, qx0, qy0);
  ASSERT_EQ(exact3.FinishZoom(nullptr, qx1, qy1), kPlotOk);
  EXPECT_TRUE(exact3.Bitmap() == xy.Bitmap());
  EXPECT_GT(redPixels(xy.Bitmap()), 100);
  // A set whose stream curve is gone gives its notes up at its next drawing.
  ds.xySeries.reset();
  ASSERT_EQ(xy.Redraw(nullptr), kPlotOk);
  EXPECT_EQ(ds.xyNotes, nullptr);
}

// The block length doubles once the stream passes 64k blocks of 256 points, so the bounds stay
// bounded for files of any size; points then fold into the longer blocks, the last point of
// each into the next one too.
TEST(XYSeries, BlocksGrowWithTheStreamKeepingTheirCountBounded) {
  constexpr std::uint64_t k16M = std::uint64_t(1) << 24;
  EXPECT_EQ(TXYBoxes::ShiftFor(0), 8);
  EXPECT_EQ(TXYBoxes::ShiftFor(k16M), 8);
  EXPECT_EQ(TXYBoxes::ShiftFor(k16M + 1), 9);
  EXPECT_EQ(TXYBoxes::ShiftFor(2 * k16M), 9);
  EXPECT_EQ(TXYBoxes::ShiftFor(2 * k16M + 1), 10);
  EXPECT_EQ(TXYBoxes::ShiftFor(std::uint64_t(1) << 40), 24);  // a 16 TiB file: still 64k blocks
  TXYBoxes boxes;
  boxes.Begin(k16M + 1);
  ASSERT_EQ(boxes.xlo.size(), 32769u);
  boxes.Fold(255, 1.0, 1.0);  // inside block 0 at 512 points a block
  boxes.Fold(511, 2.0, 3.0);  // block 0's last: also the start of block 1's first line
  boxes.Fold(k16M, 7.0, -7.0);  // the last point, alone in the last block
  EXPECT_EQ(boxes.xlo[0], 1.0);
  EXPECT_EQ(boxes.yhi[0], 3.0);
  EXPECT_EQ(boxes.xlo[1], 2.0);
  EXPECT_EQ(boxes.xhi[1], 2.0);
  EXPECT_EQ(boxes.ylo[32768], -7.0);
  EXPECT_FALSE(boxes.xlo[2] <= boxes.xhi[2]);
  boxes.Begin(k16M);
  EXPECT_EQ(boxes.xlo.size(), 65536u);
  EXPECT_FALSE(boxes.xlo[0] <= boxes.xhi[0]);
}

// Blocks that come back into a zoomed window after skipped ones: a sweep inside it, then above
// it for two blocks, then below it from a block's first point on. The line from the last point
// above to the first below crosses the window; it belongs to the block it ends in, which must
// be read (its bounds hold the point before it) and start from that point, read again.
TEST(XYSeries, ZoomedLineBackIntoTheWindowAfterSkippedBlocks) {
  constexpr std::size_t kB = std::size_t(1) << TXYBoxes::kMinShift, n = 8 * kB;
  std::vector<double> xs(n), ys(n);
  for (std::size_t i = 0; i < n; ++i) {
    xs[i] = double(i) / double(n);
    ys[i] = i < kB ? 0.0 : i < 3 * kB ? 10.0 : -10.0;
  }
  const auto reader = std::make_shared<CountingPairs>(std::make_shared<VectorPairs>(xs, ys));
  for (const double ratio : {1.0, 2.0}) {
    SCOPED_TRACE(testing::Message() << "ratio " << ratio);
    TGenD2ImgKernel exact, xy;
    buildXYPair(exact, xy, reader, xs, ys, ratio, 0.0, 1.0, -10.0, 10.0);
    const PlotRect pa = xy.PlotArea();
    const TGenD2DataSet& set = *xy.Get(0);
    const int y0 = set.yTransform.toPixel(WorldValue::num(5.0));
    const int y1 = set.yTransform.toPixel(WorldValue::num(-5.0));
    const std::uint64_t before = reader->read, calls = reader->calls;
    for (TGenD2ImgKernel* k : {&exact, &xy}) {
      k->BeginZoom(nullptr, pa.left, y0);
      ASSERT_EQ(k->FinishZoom(nullptr, pa.right, y1), kPlotOk);
    }
    EXPECT_LT(reader->read - before, 4 * kB);  // blocks above and below are skipped
    // The first block, then the crossing one with the point before it: no read of that alone.
    EXPECT_EQ(reader->calls - calls, 2u);
    EXPECT_TRUE(exact.Bitmap() == xy.Bitmap());
  }
}

// A reader that grows within its last block keeps its block count: the bounds of its first
// drawing, which knew only the early points of that block, must not skip the new ones.
TEST(XYSeries, ReaderGrownWithinItsLastBlockIsReadAgain) {
  constexpr std::size_t kB = std::size_t(1) << TXYBoxes::kMinShift, n = 3 * kB - 1, early = 2 * kB + 10;
  std::vector<double> xs(n), ys(n);
  for (std::size_t i = 0; i < n; ++i) {
    xs[i] = double(i) / double(n);
    ys[i] = i < early ? 0.0 : 5.0;  // the new points lie in a band the early ones never reach
  }
  const auto grown = std::make_shared<GrowingPairs>(std::make_shared<VectorPairs>(xs, ys), early);
  TGenD2ImgKernel exact, xy;
  buildXYPair(exact, xy, grown, xs, ys, 1.0, 0.0, 1.0, 0.0, 5.0);
  grown->shown = n;
  const TGenD2DataSet& set = *xy.Get(0);
  const int y0 = set.yTransform.toPixel(WorldValue::num(5.4));
  const int y1 = set.yTransform.toPixel(WorldValue::num(4.0));
  const PlotRect pa = xy.PlotArea();
  for (TGenD2ImgKernel* k : {&exact, &xy}) {
    k->BeginZoom(nullptr, pa.left, y0);
    ASSERT_EQ(k->FinishZoom(nullptr, pa.right, y1), kPlotOk);
  }
  EXPECT_GT(redPixels(exact.Bitmap()), 50);
  EXPECT_TRUE(exact.Bitmap() == xy.Bitmap());
}

// On a large screen the read-out grid holds only the tiles the curve's points stand on: three
// bands of a logger's XY plot in a 4K picture, a small part of its area, with the nearest point
// found as when read through (between the bands, on them and in the empty corners).
TEST(XYSeries, LargePlotGridHoldsOnlyTheTilesThePointsStandOn) {
  const std::size_t n = 60000;
  std::mt19937 g(3);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  std::vector<double> xs(n), ys(n);
  for (std::size_t i = 0; i < n; ++i) {
    xs[i] = 2.5 * std::sin(double(i) * 2 * M_PI / 40000.0) + noise(g);
    ys[i] = double(int(i / 1001) % 3) - 1.0 + noise(g);
  }
  const auto reader = std::make_shared<CountingPairs>(std::make_shared<VectorPairs>(xs, ys));
  TGenD2ImgKernel exact, xy;
  buildXYPair(exact, xy, reader, xs, ys, 1.0, -2.6, 2.6, -1.1, 1.1, QSize(3840, 2160));
  EXPECT_TRUE(exact.Bitmap() == xy.Bitmap());
  const PlotRect pa = xy.PlotArea();
  const std::size_t area = std::size_t(pa.right - pa.left + 1) * std::size_t(pa.bottom - pa.top + 1);
  ASSERT_NE(xy.Get(0)->xyNotes, nullptr);
  EXPECT_LT(xy.Get(0)->xyNotes->grid.MemoryBytes(), area * 4 / 8);
  EXPECT_LT(xy.Get(0)->xyNotes->grid.Tiles(), 116u * 65 / 8);
  const std::uint64_t before = reader->read;
  for (int mode = 1; mode <= 3; ++mode)
    for (int x = pa.left - 3; x <= pa.right + 3; x += 431)
      for (int y = pa.top - 3; y <= pa.bottom + 3; y += 157) expectSameNearest(exact, xy, x, y, mode);
  EXPECT_LE(reader->read - before, 3u * 10 * 15);  // the found point only, each time
}

// A curve that covers a 4K plot (a serpentine with a point every few pixels, so every tile of
// the grid is reached) costs no more cells than the dense grid of one per pixel did, the
// pointers to its tiles aside, and reads out as when read through; a zoom and a zoom back, new
// views of the same area, take the last view's tiles again and leave none of their old cells.
TEST(XYSeries, CoveredLargePlotGridCostsNoMoreThanOneCellPerPixel) {
  std::vector<double> xs, ys;
  std::mt19937 g(5);
  std::uniform_real_distribution<double> noise(-0.002, 0.002);
  // About 4 pixels apart both ways, running past the ranges so the cut edge tiles are reached.
  for (int row = 0; row <= 560; ++row)
    for (int i = 0; i <= 1000; ++i) {
      const double t = double(row % 2 == 0 ? i : 1000 - i) / 1000.0;
      xs.push_back(-2.65 + 5.3 * t + noise(g));
      ys.push_back(-1.13 + 2.26 * double(row) / 560.0 + noise(g));
    }
  const auto reader = std::make_shared<CountingPairs>(std::make_shared<VectorPairs>(xs, ys));
  TGenD2ImgKernel exact, xy;
  buildXYPair(exact, xy, reader, xs, ys, 1.0, -2.6, 2.6, -1.1, 1.1, QSize(3840, 2160));
  // Zoomed to the ranges the curve covers (the whole view has margins around them).
  const TGenD2DataSet& set = *xy.Get(0);
  const int l = set.xTransform.toPixel(WorldValue::num(-2.6)), r = set.xTransform.toPixel(WorldValue::num(2.6));
  const int t = set.yTransform.toPixel(WorldValue::num(1.1)), b = set.yTransform.toPixel(WorldValue::num(-1.1));
  for (TGenD2ImgKernel* k : {&exact, &xy}) {
    k->BeginZoom(nullptr, l, t);
    ASSERT_EQ(k->FinishZoom(nullptr, r, b), kPlotOk);
  }
  EXPECT_TRUE(exact.Bitmap() == xy.Bitmap());
  const PlotRect pa = xy.PlotArea();
  const std::size_t w = std::size_t(pa.right - pa.left + 1), h = std::size_t(pa.bottom - pa.top + 1);
  ASSERT_NE(xy.Get(0)->xyNotes, nullptr);
  const TXYNearestGrid& grid = xy.Get(0)->xyNotes->grid;
  const std::size_t tiles = ((w + 31) / 32) * ((h + 31) / 32);
  const auto checkGrid = [&] {
    EXPECT_EQ(grid.Tiles(), tiles);
    EXPECT_EQ(grid.CellBytes(), w * h * 4);
    EXPECT_LE(grid.MemoryBytes(), w * h * 4 + tiles * 2 * sizeof(void*));
    for (int mode = 1; mode <= 3; ++mode)
      for (int x = pa.left - 3; x <= pa.right + 3; x += 1251)
        for (int y = pa.top - 3; y <= pa.bottom + 3; y += 705) expectSameNearest(exact, xy, x, y, mode);
  };
  checkGrid();
  const int x0 = (pa.left + pa.right) / 2, y0 = (pa.top + pa.bottom) / 2;
  for (double steps : {2.0, -2.0}) {
    SCOPED_TRACE(steps);
    for (TGenD2ImgKernel* k : {&exact, &xy}) ASSERT_EQ(k->WheelZoom(nullptr, x0 + 7, y0, steps, false), kPlotOk);
    EXPECT_TRUE(exact.Bitmap() == xy.Bitmap());
    checkGrid();
  }
}

}  // namespace
}  // namespace tolv
