// Wheel zoom, panning and the two cursors of the plot kernel and the timing diagram, and the
// read-out of the cursors in the coordinate window.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTableWidget>
#include <cmath>

#include "plot/d2koord.h"
#include "plot/genkernel.h"
#include "plot/loganal_plot.h"

namespace tolv {
namespace {

QRgb rgbOfTest(ColorRef c) {
  return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

// Two channels sampled every 0.1 s (not exact in binary): ch0 = 0.3 * i, ch1 = 1 - 0.7 * i.
struct NavFixture : ::testing::Test {
  TGenD2ImgKernel k;
  QLabel image;
  static constexpr int kN = 201;
  double t(int i) const { return i * 0.1; }
  void SetUp() override {
    image.resize(700, 400);
    k.PrepareImage(&image);
    for (int ch = 0; ch < 2; ++ch) {
      TGenD2DataSet& ds = k.NewDataSet();
      ds.name = ch == 0 ? QStringLiteral("CH0") : QStringLiteral("CH1");
      ds.SetXUnit(QStringLiteral("s"));
      ds.SetYUnit(QStringLiteral("V"));
      PlotPoint p = ds.points.GetTemplate();
      for (int i = 0; i < kN; ++i) {
        p.X = WorldValue::num(t(i));
        p.Y = WorldValue::num(ch == 0 ? 0.3 * i : 1.0 - 0.7 * i);
        ds.points.AddLinkedPoint(p);
      }
      k.AddDataSet(ds);
    }
    ASSERT_EQ(k.Render(&image, true), kPlotOk);
  }
  const AxisTransform& tx() { return k.Get(0)->xTransform; }
  const AxisTransform& ty() { return k.Get(0)->yTransform; }
};

// The world value under pixel x before a wheel step is still under x after it, for zooming in
// and out, at pixels near both edges and in the middle, with a fractional (high-resolution
// wheel) step too.
TEST_F(NavFixture, WheelZoomKeepsTheWorldPointUnderThePointer) {
  const PlotRect pa = k.PlotArea();
  for (int x : {pa.left + 1, pa.left + 137, (pa.left + pa.right) / 2, pa.right - 3}) {
    for (double steps : {1.0, -1.0, 3.0, 0.25, -2.5}) {
      const WorldValue w = tx().toWorld(x);
      ASSERT_EQ(k.WheelZoom(&image, x, pa.top + 10, steps, false), kPlotOk);
      EXPECT_EQ(tx().toPixel(w), x) << "x " << x << " steps " << steps;
      EXPECT_NEAR(tx().toPixelReal(w), double(x), 1e-6);
    }
  }
  // The Y zoom leaves X alone and keeps the value under the pointer's row.
  const WorldValue xMin = k.Get(0)->mergedX->minimum;
  const int y = pa.top + 77;
  const WorldValue wy = ty().toWorld(y);
  ASSERT_EQ(k.WheelZoom(&image, pa.left + 5, y, 2.0, true), kPlotOk);
  EXPECT_EQ(ty().toPixel(wy), y);
  EXPECT_EQ(k.Get(0)->mergedX->minimum, xMin);
}

// Values half a pixel either side of the pointer round onto it before; zooming out pulls
// them closer, so they stay on that pixel. Zooming in by one notch moves a value 0.45 pixel
// away to 0.5625 pixel: the next pixel, as the span shrank to 0.8.
TEST_F(NavFixture, WheelZoomAtHalfPixelBoundaries) {
  const PlotRect pa = k.PlotArea();
  const int x = pa.left + 200;
  const double perPixel = double(1.0L / tx().scale);
  const WorldValue x0 = tx().toWorld(x);
  const WorldValue left = wvAddUnits(x0, -0.499 * perPixel), right = wvAddUnits(x0, 0.499 * perPixel);
  EXPECT_EQ(tx().toPixel(left), x);
  EXPECT_EQ(tx().toPixel(right), x);
  ASSERT_EQ(k.WheelZoom(&image, x, pa.top, -1.0, false), kPlotOk);
  EXPECT_EQ(tx().toPixel(left), x);
  EXPECT_EQ(tx().toPixel(right), x);
  const WorldValue near = wvAddUnits(tx().toWorld(x), 0.45 * double(1.0L / tx().scale));
  ASSERT_EQ(k.WheelZoom(&image, x, pa.top, 1.0, false), kPlotOk);
  EXPECT_EQ(tx().toPixel(near), x + 1);
}

TEST_F(NavFixture, WheelZoomSpanFactorPanAndUnzoom) {
  const PlotRect pa = k.PlotArea();
  const double span0 = k.Get(0)->mergedX->maximum.number - k.Get(0)->mergedX->minimum.number;
  ASSERT_EQ(k.WheelZoom(&image, pa.left + 40, pa.top, 2.0, false), kPlotOk);
  const AxisWorldData& ax = *k.Get(0)->mergedX;
  EXPECT_NEAR(ax.maximum.number - ax.minimum.number, span0 * 0.64, 1e-9);
  // Both curves share the axis; the own ranges follow it.
  EXPECT_EQ(k.Get(1)->xAxis.minimum, ax.minimum);
  const double min0 = ax.minimum.number, span = ax.maximum.number - ax.minimum.number;
  ASSERT_EQ(k.Pan(&image, 1.0), kPlotOk);
  EXPECT_NEAR(ax.minimum.number, min0 + 0.1 * span, 1e-12);
  EXPECT_NEAR(ax.maximum.number - ax.minimum.number, span, 1e-12);
  ASSERT_EQ(k.Pan(&image, -3.0), kPlotOk);
  EXPECT_NEAR(ax.minimum.number, min0 - 0.2 * span, 1e-12);
  // Both buttons: the full view comes back.
  const TMeasurementData* result = nullptr;
  k.HandleMouse(&image, kMouseRight, result, pa.top + 5, pa.left + 5, kShiftLeft, false);
  EXPECT_DOUBLE_EQ(k.Get(0)->mergedX->minimum.number, 0.0);
  EXPECT_DOUBLE_EQ(k.Get(0)->mergedX->maximum.number, t(kN - 1));
}

TEST_F(NavFixture, WheelZoomRefusesASpanBelowNumberResolutionAndEmptyKernels) {
  const PlotRect pa = k.PlotArea();
  int rc = kPlotOk;
  int steps = 0;
  while (rc == kPlotOk && steps < 400) {
    rc = k.WheelZoom(&image, pa.left + 100, pa.top, 5.0, false);
    ++steps;
  }
  EXPECT_EQ(rc, kPlotDivZero);
  const AxisWorldData& ax = *k.Get(0)->mergedX;
  EXPECT_GT(ax.maximum.number, ax.minimum.number);
  TGenD2ImgKernel empty;
  EXPECT_EQ(empty.WheelZoom(nullptr, 10, 10, 1.0, false), kPlotEmpty);
  EXPECT_EQ(empty.Pan(nullptr, 1.0), kPlotEmpty);
  EXPECT_EQ(empty.SetCursor(nullptr, 0, 10), kPlotEmpty);
}

// Cursors snap to samples: dt is the distance of two samples as stored, 1/dt its inverse
// and the differences per channel are those of the stored values.
TEST_F(NavFixture, TwoCursorsGiveExactDifferences) {
  const int xa = tx().toPixel(WorldValue::num(t(30)));
  const int xb = tx().toPixel(WorldValue::num(t(130)));
  EXPECT_FALSE(k.CursorReadOut().complete());
  ASSERT_EQ(k.PlaceNextCursor(&image, xa + 1), kPlotOk);  // a pixel off still snaps
  TCursorReadOut r = k.CursorReadOut();
  EXPECT_TRUE(r.hasA);
  EXPECT_FALSE(r.hasB);
  ASSERT_EQ(k.PlaceNextCursor(&image, xb), kPlotOk);
  r = k.CursorReadOut();
  ASSERT_TRUE(r.complete());
  EXPECT_EQ(r.xA.number, t(30));
  EXPECT_EQ(r.xB.number, t(130));
  EXPECT_EQ(r.dt, t(130) - t(30));
  EXPECT_TRUE(r.timeAxis);
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(r.channels[0].dy, 0.3 * 130 - 0.3 * 30);
  EXPECT_EQ(r.channels[1].dy, (1.0 - 0.7 * 130) - (1.0 - 0.7 * 30));
  EXPECT_EQ(r.channels[1].name, QStringLiteral("CH1"));
  EXPECT_EQ(r.channels[1].yUnit, QStringLiteral("V"));
  // The third click moves A again.
  ASSERT_EQ(k.PlaceNextCursor(&image, tx().toPixel(WorldValue::num(t(150)))), kPlotOk);
  r = k.CursorReadOut();
  EXPECT_EQ(r.dt, t(130) - t(150));
  EXPECT_LT(r.dt, 0.0);
  // The lines are on the picture in the cursors' colours, dashed from the top.
  const int xa2 = tx().toPixel(WorldValue::num(t(150)));
  const QImage& img = k.Bitmap();
  int aPixels = 0, bPixels = 0;
  for (int y = k.PlotArea().top; y <= k.PlotArea().bottom; ++y) {
    aPixels += QColor(img.pixel(xa2, y)) == QColor::fromRgb(rgbOfTest(TGenD2ImgKernel::kCursorAColor));
    bPixels += QColor(img.pixel(xb, y)) == QColor::fromRgb(rgbOfTest(TGenD2ImgKernel::kCursorBColor));
  }
  EXPECT_GT(aPixels, 20);
  EXPECT_GT(bPixels, 20);
  // A new drawing (new record, zoom) keeps them; clearing removes them.
  ASSERT_EQ(k.RedrawAutoRange(&image), kPlotOk);
  EXPECT_TRUE(k.CursorReadOut().complete());
  k.ClearCursors(&image);
  EXPECT_FALSE(k.HasCursor(0));
  EXPECT_FALSE(k.HasCursor(1));
  EXPECT_NE(QColor(k.Bitmap().pixel(xb, k.PlotArea().top + 1)),
            QColor::fromRgb(rgbOfTest(TGenD2ImgKernel::kCursorBColor)));
}

TEST_F(NavFixture, ReadOutWindowListsDtInverseAndChannelDifferences) {
  k.SetCursor(&image, 0, tx().toPixel(WorldValue::num(t(10))));
  k.SetCursor(&image, 1, tx().toPixel(WorldValue::num(t(30))));
  TF_D2Koord w;
  w.ShowCursors(k.CursorReadOut());
  QTableWidget* g = w.SG_Measurement();
  ASSERT_EQ(w.RowCount(), 6);
  auto cell = [&](int r, int c) { return g->item(r, c) ? g->item(r, c)->text() : QString(); };
  EXPECT_EQ(cell(0, 0).trimmed(), QStringLiteral("A"));
  EXPECT_EQ(cell(2, 0).trimmed(), QStringLiteral("\u0394t"));
  EXPECT_EQ(cell(2, 1), QStringLiteral("      2   s"));
  EXPECT_EQ(cell(3, 1), QStringLiteral("    500  mHz"));
  EXPECT_EQ(cell(4, 0).trimmed(), QStringLiteral("\u0394 CH0"));
  EXPECT_EQ(cell(4, 1), QStringLiteral("      6   V"));
  EXPECT_EQ(cell(5, 1), QStringLiteral("    -14   V"));
  EXPECT_TRUE(w.isVisible());
  // Both cursors on one sample: no inverse.
  k.SetCursor(&image, 1, tx().toPixel(WorldValue::num(t(10))));
  w.ShowCursors(k.CursorReadOut());
  EXPECT_EQ(cell(3, 1).trimmed(), QStringLiteral("-"));
}

// --- fine screens -------------------------------------------------------------------------------

// At a pixel ratio of 2 the picture has four device pixels per coordinate pixel; the layout,
// the transforms and the mouse stay in coordinate pixels, and a flat curve is one device
// pixel thin (drawn on the finer grid, not a doubled coarse one).
TEST(KernelRatio, CurvesOnTheDeviceGridLayoutInCoordinatePixels) {
  auto build = [](TGenD2ImgKernel& k, double ratio) {
    k.SetDevicePixelRatio(ratio);
    k.SetImageSize(500, 300);
    k.PrepareImage(nullptr);
    TGenD2DataSet& ds = k.NewDataSet();
    ds.SetXUnit(QStringLiteral("s"));
    ds.SetYUnit(QStringLiteral("V"));
    ds.SetMarker(3, 9);  // no markers: the line alone
    PlotPoint p = ds.points.GetTemplate();
    for (int i = 0; i <= 100; ++i) {
      p.X = WorldValue::num(i * 0.01);
      p.Y = WorldValue::num(i <= 50 ? 0.25 : 1.0);
      ds.points.AddLinkedPoint(p);
    }
    k.AddDataSet(ds);
    return k.Render(nullptr, true);
  };
  TGenD2ImgKernel one, two;
  ASSERT_EQ(build(one, 1.0), kPlotOk);
  ASSERT_EQ(build(two, 2.0), kPlotOk);
  EXPECT_EQ(two.Bitmap().size(), QSize(1000, 600));
  EXPECT_EQ(two.Bitmap().devicePixelRatio(), 2.0);
  EXPECT_EQ(two.ImageWidth(), 500);
  EXPECT_EQ(two.PlotArea(), one.PlotArea());
  const AxisTransform& tx = two.Get(0)->xTransform;
  const AxisTransform& ty = two.Get(0)->yTransform;
  EXPECT_EQ(tx.firstPixel, one.Get(0)->xTransform.firstPixel);
  const QRgb c = rgbOfTest(two.Get(0)->points.At(0).color);
  const int x = tx.toPixel(WorldValue::num(0.2));
  const double yReal = ty.toPixelReal(WorldValue::num(0.25));
  const int yDev = int(std::lround(yReal * 2.0));
  EXPECT_EQ(two.Bitmap().pixel(2 * x, yDev) & 0xFFFFFF, c & 0xFFFFFF);
  EXPECT_EQ(two.Bitmap().pixel(2 * x + 1, yDev) & 0xFFFFFF, c & 0xFFFFFF);
  EXPECT_NE(two.Bitmap().pixel(2 * x, yDev - 1) & 0xFFFFFF, c & 0xFFFFFF);
  EXPECT_NE(two.Bitmap().pixel(2 * x, yDev + 1) & 0xFFFFFF, c & 0xFFFFFF);
  // Ratios are whole numbers within 1..4.
  two.SetDevicePixelRatio(1.4);
  EXPECT_EQ(two.DevicePixelRatio(), 1.0);
  two.SetDevicePixelRatio(9.0);
  EXPECT_EQ(two.DevicePixelRatio(), 4.0);
  two.SetDevicePixelRatio(std::nan(""));
  EXPECT_EQ(two.DevicePixelRatio(), 1.0);
}

// The measuring cursor covers whole coordinate pixels at ratio 2 and is erased again.
TEST(KernelRatio, MeasuringCursorOnTheFineGridIsErasedExactly) {
  TGenD2ImgKernel k;
  k.SetDevicePixelRatio(2.0);
  k.SetImageSize(400, 300);
  k.PrepareImage(nullptr);
  TGenD2DataSet& ds = k.NewDataSet();
  PlotPoint p = ds.points.GetTemplate();
  for (int i = 0; i <= 10; ++i) {
    p.X = WorldValue::num(i);
    p.Y = WorldValue::num(i % 3);
    ds.points.AddLinkedPoint(p);
  }
  k.AddDataSet(ds);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  const QImage before = k.Bitmap().copy();
  const PlotRect pa = k.PlotArea();
  EXPECT_EQ(k.MeasureNearest(nullptr, pa.left + 3, pa.top + 3, 1), kPlotOk);
  EXPECT_NE(k.Bitmap(), before);
  // Whole coordinate pixels: the 2 x 2 block of every changed device pixel is the cursor's.
  const QRgb c = rgbOfTest(k.Get(0)->points.At(0).color) & 0xFFFFFF;
  int drawn = 0, partial = 0;
  for (int y = 0; y < before.height(); ++y)
    for (int x = 0; x < before.width(); ++x) {
      if (k.Bitmap().pixel(x, y) == before.pixel(x, y)) continue;
      ++drawn;
      const int bx = x & ~1, by = y & ~1;
      for (int d = 0; d < 4; ++d)
        partial += (k.Bitmap().pixel(bx + (d & 1), by + (d >> 1)) & 0xFFFFFF) != c;
    }
  EXPECT_GT(drawn, 40);
  EXPECT_EQ(partial, 0);
  k.ReadWorldAt(nullptr, pa.left + 3, pa.top + 3);
  // Erased as at ratio 1: only where the cursor crossed the curve a trace may stay.
  int left = 0;
  for (int y = 0; y < before.height(); ++y)
    for (int x = 0; x < before.width(); ++x) left += k.Bitmap().pixel(x, y) != before.pixel(x, y);
  EXPECT_LT(left, 80);
}

TEST(LogicRatio, TracesOneDevicePixelThinAtRatioTwo) {
  TLogAnalList list;
  for (int i = 0; i < 400; ++i) list.add(i, std::uint16_t((i / 50) % 2));
  TLogAnalPlot plot(list);
  plot.setDevicePixelRatio(2.0);
  plot.prepare(QSize(600, 300));
  TLogAnalView v;
  v.period = 1e-3;
  v.zeroIndex = 0;
  v.last = 396;
  ASSERT_EQ(plot.render(nullptr, v, true), 0);
  EXPECT_EQ(plot.bitmap().size(), QSize(1200, 600));
  EXPECT_EQ(plot.bitmap().deviceIndependentSize().toSize(), QSize(600, 300));
  // Lane 0 sits low from sample 0 to 49: its run is on the device row of the low level only.
  const int x = plot.pixelOfTime(0.02);
  const int y = plot.laneLowY(0);
  const QRgb red = QRgb(TLogAnalPlot::kTraceColor);
  EXPECT_EQ(plot.bitmap().pixel(2 * x, 2 * y) & 0xFFFFFF, red);
  EXPECT_EQ(plot.bitmap().pixel(2 * x + 1, 2 * y) & 0xFFFFFF, red);
  EXPECT_NE(plot.bitmap().pixel(2 * x, 2 * y + 1) & 0xFFFFFF, red);
  // The read-out and the wheel work in coordinate pixels as before.
  TLogAnalEntry e;
  double t = 0;
  ASSERT_EQ(plot.readAt(nullptr, x, e, t), 0);
  EXPECT_NEAR(t, 0.02, 1e-3);
  ASSERT_EQ(plot.wheelZoom(nullptr, x, 1.0), 0);
  EXPECT_EQ(plot.pixelOfTime(t), x);
}

// --- timing diagram ---------------------------------------------------------------------------

struct LogicNav : ::testing::Test {
  TLogAnalList list;
  std::unique_ptr<TLogAnalPlot> plot;
  void SetUp() override {
    for (int i = 0; i < 2000; ++i) list.add(i, std::uint16_t(i & 0x0F0F));
    plot = std::make_unique<TLogAnalPlot>(list);
    plot->prepare(QSize(900, 400));
    TLogAnalView v;
    v.period = 1e-3;
    v.zeroIndex = 0;
    v.first = 0;
    v.last = 1996;
    ASSERT_EQ(plot->render(nullptr, v, true), 0);
  }
};

TEST_F(LogicNav, WheelZoomKeepsTheTimeUnderThePointer) {
  const QRect pa = plot->plotArea();
  for (int x : {pa.left() + 3, pa.left() + 311, pa.right() - 2}) {
    for (double steps : {1.0, 4.0, -2.0, 0.5}) {
      const double t = (x - pa.left()) / plot->pixelsPerSecond() + plot->startTime();
      ASSERT_EQ(plot->wheelZoom(nullptr, x, steps), 0);
      EXPECT_EQ(plot->pixelOfTime(t), x) << "x " << x << " steps " << steps;
      EXPECT_NEAR((t - plot->startTime()) * plot->pixelsPerSecond() + pa.left(), double(x), 1e-6);
    }
  }
  // The saved full view stays for the unzoom rule.
  EXPECT_EQ(plot->savedView().first, 0);
  EXPECT_EQ(plot->savedView().last, 1996);
  EXPECT_EQ(plot->savedView().offset, 0.0);
}

TEST_F(LogicNav, WheelZoomStopsAtOneSampleAndPanMovesByATenth) {
  const QRect pa = plot->plotArea();
  int rc = 0, guard = 0;
  while (rc == 0 && guard++ < 200) rc = plot->wheelZoom(nullptr, pa.left() + 100, 3.0);
  EXPECT_EQ(rc, TLogAnalPlot::kZeroTime);
  EXPECT_EQ(plot->getView().last - plot->getView().first, 1);
  plot->prepare(QSize(900, 400));
  ASSERT_EQ(plot->render(nullptr, plot->savedView(), true), 0);
  const double start = plot->startTime(), end = plot->endTime();
  ASSERT_EQ(plot->pan(nullptr, 2.0), 0);
  EXPECT_NEAR(plot->startTime(), start + 0.2 * (end - start), 1e-9);
  EXPECT_NEAR(plot->endTime(), end + 0.2 * (end - start), 1e-9);
  TLogAnalPlot fresh(list);
  EXPECT_EQ(fresh.wheelZoom(nullptr, 10, 1.0), TLogAnalPlot::kNoData);
  EXPECT_EQ(fresh.setCursor(nullptr, 0, 10), TLogAnalPlot::kNoData);
}

TEST_F(LogicNav, CursorsGiveSampleCountTimesPeriod) {
  // 400 samples over some 870 pixels: every sample has a pixel column of its own.
  TLogAnalView v = plot->getView();
  v.last = 400;
  plot->prepare(QSize(900, 400));
  ASSERT_EQ(plot->render(nullptr, v, true), 0);
  const int xa = plot->pixelOfTime(plot->timeOfIndex(100));
  const int xb = plot->pixelOfTime(plot->timeOfIndex(300));
  ASSERT_EQ(plot->placeNextCursor(nullptr, xa), 0);
  ASSERT_EQ(plot->placeNextCursor(nullptr, xb), 0);
  const TCursorReadOut r = plot->cursorReadOut();
  ASSERT_TRUE(r.complete());
  EXPECT_EQ(plot->cursorIndex(0), 100);
  EXPECT_EQ(plot->cursorIndex(1), 300);
  EXPECT_EQ(r.dt, 200 * 1e-3);
  EXPECT_TRUE(r.timeAxis);
  ASSERT_EQ(r.notes.size(), 2u);
  EXPECT_EQ(r.notes[0].second, QStringLiteral("$H 00 04"));  // 100 & 0x0F0F
  EXPECT_EQ(r.notes[1].second, QStringLiteral("$H 01 0C"));  // 300 & 0x0F0F
  // The lines survive a zoom that keeps them in view.
  ASSERT_EQ(plot->wheelZoom(nullptr, xa, 1.0), 0);
  const int xa2 = plot->pixelOfTime(plot->timeOfIndex(100));
  EXPECT_EQ(QColor(plot->bitmap().pixel(xa2, plot->plotArea().top())),
            QColor::fromRgb(QRgb(TLogAnalPlot::kCursorAColor)));
  plot->clearCursors(nullptr);
  EXPECT_FALSE(plot->hasCursor(0));
  EXPECT_NE(QColor(plot->bitmap().pixel(xa2, plot->plotArea().top())),
            QColor::fromRgb(QRgb(TLogAnalPlot::kCursorAColor)));
}

}  // namespace
}  // namespace tolv
