#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "plot/voltmeterplot.h"

namespace tolv {
namespace {

constexpr QRgb kWhitePx = 0xFFFFFFFF;
constexpr QRgb kBlackPx = 0xFF000000;

QRgb px(const TVoltmeterPlot& p, int x, int y) {
  return p.image().pixel(x, y);
}

// Columns of row y painted in the given colour.
std::vector<int> columnsOf(const TVoltmeterPlot& p, int y, QRgb c) {
  std::vector<int> xs;
  for (int x = 0; x < p.image().width(); ++x)
    if (px(p, x, y) == c) xs.push_back(x);
  return xs;
}

TVoltmeterPlot dcPlot(int w = 400, int h = 60) {
  TVoltmeterPlot p(w, h);
  p.setMode(0);
  p.setRange(2.0);  // AmplC0 2: R = 1
  p.setProbeFactor(1.0);
  return p;
}

TEST(VoltmeterPlot, DcPositionsFullScaleAtSixAndAHalfAndNinetyThreeAndAHalfPercent) {
  TVoltmeterPlot p = dcPlot(1000);
  EXPECT_DOUBLE_EQ(p.fullScale(), 1.0);
  EXPECT_EQ(p.xOf(1.0), 935);
  EXPECT_EQ(p.xOf(-1.0), 65);
  EXPECT_EQ(p.xOf(0.0), 500);
  // An odd width: the centre is rounded toward zero before the offset is added.
  TVoltmeterPlot odd = dcPlot(401);
  EXPECT_EQ(odd.xOf(0.0), 200);
  EXPECT_EQ(odd.xOf(1.0), 374);  // 200 + 174.435
  // The probe factor widens the scale; VMD1 maps like VMD0.
  p.setProbeFactor(10);
  EXPECT_EQ(p.xOf(10.0), 935);
  p.setMode(1);
  EXPECT_EQ(p.xOf(-10.0), 65);
}

TEST(VoltmeterPlot, RmsZeroAtOnePointNinetyFivePercentAndOtherModesAtTheCentre) {
  TVoltmeterPlot p(400, 60);
  p.setRange(2.0);
  p.setMode(2);
  EXPECT_EQ(p.xOf(0.0), 8);    // 7.8
  EXPECT_EQ(p.xOf(1.0), 377);  // 7.8 + 368.8
  p.setMode(3);
  EXPECT_EQ(p.xOf(0.5), 192);  // 7.8 + 184.4
  p.setMode(4);
  EXPECT_EQ(p.xOf(0.7), 200);
  // A range of 0 counts as 1.
  p.setMode(2);
  p.setRange(0);
  EXPECT_DOUBLE_EQ(p.fullScale(), 1.0);
  EXPECT_DOUBLE_EQ(p.range(), 0.0);
}

TEST(VoltmeterPlot, GeometryFromImageAndTextHeight) {
  const auto g = TVoltmeterPlot::geometryFor(60, 13);
  EXPECT_EQ(g.y1, 42);  // 60 - (4.8 + 13) = 42.2
  EXPECT_EQ(g.y2, 33);  // 42 - 9
  EXPECT_EQ(g.y3, 40);  // 42 - 2.4 = 39.6
  EXPECT_EQ(g.y4, 37);  // 40 - 3
  const auto h = TVoltmeterPlot::geometryFor(100, 14);
  EXPECT_EQ(h.y1, 78);
  EXPECT_EQ(h.y2, 63);
  EXPECT_EQ(h.y3, 74);
  EXPECT_EQ(h.y4, 69);
}

TEST(VoltmeterPlot, ScaleStepsFollowTheNiceSeries) {
  TVoltmeterPlot p = dcPlot();
  EXPECT_DOUBLE_EQ(p.minorStep(), 0.05);  // above 1.05 * 0.03
  EXPECT_DOUBLE_EQ(p.labelStep(), 0.2);   // above 1.05 * 0.15 (S >= 1: a * 3)
  p.setRange(1.0);                        // S = 0.5 < 1: a * 4
  EXPECT_DOUBLE_EQ(p.minorStep(), 0.02);
  EXPECT_DOUBLE_EQ(p.labelStep(), 0.1);
  p.setMode(2);
  p.setRange(20.0);  // S = 10
  EXPECT_DOUBLE_EQ(p.minorStep(), 0.5);
  EXPECT_DOUBLE_EQ(p.labelStep(), 2.0);
}

TEST(VoltmeterPlot, ScaleDrawsMinorTicksLabelledTicksAndLabelsInsideTheImage) {
  TVoltmeterPlot p = dcPlot();
  p.showValue(0.0);
  const auto& g = p.geometry();
  // Minor tick at 0.05 V: grey above the black stroke from y4 to y3.
  const int x = p.xOf(0.05);
  EXPECT_EQ(px(p, x, 0), TVoltmeterPlot::kMinorTickGrey);
  EXPECT_EQ(px(p, x, g.y1), TVoltmeterPlot::kMinorTickGrey);
  EXPECT_EQ(px(p, x, g.y4), kBlackPx);
  EXPECT_EQ(px(p, x, g.y3), kBlackPx);
  // Full scale has its own minor tick even when it is no multiple of the step.
  EXPECT_EQ(px(p, p.xOf(1.0), g.y4), kBlackPx);
  EXPECT_EQ(px(p, p.xOf(-1.0), g.y4), kBlackPx);
  // Labelled tick at 0.4 V: black from y2 to y1.
  const int xl = p.xOf(0.4);
  for (int y = g.y2; y <= g.y1; ++y) EXPECT_EQ(px(p, xl, y), kBlackPx) << y;
  // Labels below the scale touch both image edges' neighbourhoods but stay inside.
  bool textLeft = false, textRight = false;
  const int w = p.image().width();
  for (int y = g.y1 + 1; y < p.image().height(); ++y) {
    for (int c = 0; c < 12; ++c) textLeft |= px(p, c, y) != kWhitePx;
    for (int c = w - 40; c < w; ++c) textRight |= px(p, c, y) != kWhitePx;
  }
  EXPECT_TRUE(textLeft);
  EXPECT_TRUE(textRight);
}

// A narrow bar leaves labels out rather than print them over each other; the end labels and
// zero stay, and a wide bar keeps every label of the step.
TEST(VoltmeterPlot, LabelsNeverOverlapAndNarrowBarsKeepTheEndsAndZero) {
  for (int mode : {0, 2}) {
    for (int width : {90, 130, 180, 260, 600}) {
      TVoltmeterPlot p(width, 60);
      p.setMode(mode);
      p.setRange(2.0);
      p.showValue(0.5);
      const auto& boxes = p.labelBoxes();
      for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_GE(boxes[i].left(), 0) << mode << " " << width;
        EXPECT_LE(boxes[i].right(), width - 1) << mode << " " << width;
        for (std::size_t j = 0; j < i; ++j)
          EXPECT_FALSE(boxes[i].intersects(boxes[j])) << mode << " " << width << " " << i << " " << j;
      }
      const auto hasLabelAt = [&](double v) {
        const int x = p.xOf(v);
        return std::any_of(boxes.begin(), boxes.end(), [x](const QRect& b) {
          return b.left() - 1 <= x && x <= b.right() + 1;
        });
      };
      EXPECT_TRUE(hasLabelAt(1.0)) << mode << " " << width;
      EXPECT_TRUE(hasLabelAt(0.0)) << mode << " " << width;
      if (mode == 0) {
        EXPECT_TRUE(hasLabelAt(-1.0)) << width;
      }
      // 0, 0.2 ... 1 V, and in DC the negative side too.
      if (width == 600) {
        EXPECT_EQ(boxes.size(), mode == 0 ? 11u : 6u);
      }
    }
  }
}

TEST(VoltmeterPlot, PointerIsThreePixelsInThePenColourDownToY3) {
  TVoltmeterPlot p = dcPlot();
  p.setPenColour(QColor(255, 0, 0));
  p.showValue(0.5);
  const int x = p.xOf(0.5);
  const QRgb red = qRgb(255, 0, 0);
  EXPECT_EQ(columnsOf(p, 0, red), (std::vector<int>{x - 1, x, x + 1}));
  EXPECT_EQ(px(p, x, p.geometry().y3), red);
  EXPECT_NE(px(p, x, p.geometry().y3 + 1), red);
}

TEST(VoltmeterPlot, DragIndicatorSpansTheReadingsUntilARightClick) {
  TVoltmeterPlot p = dcPlot();
  p.setPenColour(Qt::blue);
  p.showValue(0.2);
  p.showValue(0.8);
  p.showValue(0.5);
  ASSERT_TRUE(p.indicatorValid());
  EXPECT_DOUBLE_EQ(p.indicatorMinimum(), 0.2);
  EXPECT_DOUBLE_EQ(p.indicatorMaximum(), 0.8);
  const int y = 2;
  const int x02 = p.xOf(0.2), x08 = p.xOf(0.8);
  // Ends marked, grey inside, white outside (the reading inside the range keeps the area).
  EXPECT_EQ(px(p, x02, y), kBlackPx);
  EXPECT_EQ(px(p, x08, y), kBlackPx);
  EXPECT_EQ(px(p, x02 + 3, y), TVoltmeterPlot::kIndicatorGrey);
  EXPECT_EQ(px(p, x08 - 3, y), TVoltmeterPlot::kIndicatorGrey);
  EXPECT_EQ(px(p, x02 - 2, y), kWhitePx);
  EXPECT_EQ(px(p, x08 + 2, y), kWhitePx);
  EXPECT_EQ(px(p, x02 + 3, p.geometry().y3), TVoltmeterPlot::kIndicatorGrey);
  EXPECT_NE(px(p, x02 + 3, p.geometry().y3 + 1), TVoltmeterPlot::kIndicatorGrey);

  p.resetIndicator();
  EXPECT_FALSE(p.indicatorValid());
  EXPECT_TRUE(columnsOf(p, y, TVoltmeterPlot::kIndicatorGrey).empty());
  EXPECT_EQ(columnsOf(p, y, qRgb(0, 0, 255)).size(), 3u);  // the last value stays shown
  p.showValue(-0.3);
  EXPECT_DOUBLE_EQ(p.indicatorMinimum(), -0.3);
  EXPECT_DOUBLE_EQ(p.indicatorMaximum(), -0.3);
  p.showValue(-0.1);
  EXPECT_EQ(px(p, p.xOf(0.2) + 3, y), kWhitePx);
  EXPECT_EQ(px(p, p.xOf(-0.2) + 2, y), TVoltmeterPlot::kIndicatorGrey);
}

TEST(VoltmeterPlot, RmsIndicatorRunsFromZeroToTheMaximum) {
  TVoltmeterPlot p(400, 60);
  p.setMode(2);
  p.setRange(2.0);
  p.showValue(0.6);
  p.showValue(0.3);
  const int y = 1;
  EXPECT_EQ(px(p, p.xOf(0.1) + 2, y), TVoltmeterPlot::kIndicatorGrey);
  EXPECT_EQ(px(p, p.xOf(0.6), y), kBlackPx);
  EXPECT_EQ(px(p, p.xOf(0.6) + 2, y), kWhitePx);
}

TEST(VoltmeterPlot, RangeProbeDividerAndModeChangesClearTheIndicator) {
  TVoltmeterPlot p = dcPlot();
  const auto seen = [&] {
    p.showValue(0.1);
    p.showValue(0.3);
    return p.indicatorValid();
  };
  ASSERT_TRUE(seen());
  p.setRange(5.0);
  EXPECT_FALSE(p.indicatorValid());
  EXPECT_DOUBLE_EQ(p.range(), 2.5);
  // After a range change the scale is drawn at once, without a pointer or indicator.
  EXPECT_EQ(px(p, p.xOf(0.0), p.geometry().y2), kBlackPx);
  EXPECT_TRUE(columnsOf(p, 1, TVoltmeterPlot::kIndicatorGrey).empty());
  ASSERT_TRUE(seen());
  p.setProbeFactor(10);
  EXPECT_FALSE(p.indicatorValid());
  ASSERT_TRUE(seen());
  p.setAuxDivider(0.85);
  EXPECT_FALSE(p.indicatorValid());
  EXPECT_DOUBLE_EQ(p.auxDivider(), 0.85);
  ASSERT_TRUE(seen());
  p.setMode(1);
  EXPECT_FALSE(p.indicatorValid());
  // The mode change leaves a white image until the next reading.
  EXPECT_TRUE(columnsOf(p, p.geometry().y2, kBlackPx).empty());
}

TEST(VoltmeterPlot, OtherModesDrawOnlyACentredPointer) {
  TVoltmeterPlot p(400, 60);
  p.setMode(4);
  p.setPenColour(QColor(0, 0, 255));
  p.showValue(3.0);
  EXPECT_EQ(columnsOf(p, 0, qRgb(0, 0, 255)), (std::vector<int>{199, 200, 201}));
  EXPECT_TRUE(columnsOf(p, p.geometry().y2, kBlackPx).empty());
}

TEST(VoltmeterPlot, OddValuesAndSizesNeitherCrashNorHang) {
  TVoltmeterPlot p = dcPlot(1, 1);
  p.showValue(1e300);
  p.showValue(-INFINITY);
  p.showValue(NAN);
  EXPECT_FALSE(std::isnan(p.indicatorMinimum()));
  p.resize(400, 60);
  EXPECT_TRUE(p.indicatorValid());  // a new size keeps what was seen
  p.setProbeFactor(NAN);
  p.showValue(0.5);
  p.setProbeFactor(-10);  // an inverted scale draws as well
  p.showValue(5.0);
  EXPECT_EQ(p.xOf(-10.0), p.xOf(10.0) + 2 * (p.xOf(0) - p.xOf(10.0)));
  p.setProbeFactor(0);  // counts as 1 until the window replaces it
  EXPECT_DOUBLE_EQ(p.fullScale(), 1.0);
  p.setRange(1e-30);
  p.showValue(1e-31);
  p.setRange(1e30);
  p.showValue(2e29);
  SUCCEED();
}

TEST(VoltmeterPlot, AReadingArrivingWhileEventsRunWinsOverTheOlderOne) {
  TVoltmeterPlot p = dcPlot();
  p.setPenColour(QColor(0, 0, 255));
  bool nested = false;
  p.setEventPump([&] {
    if (nested) return;
    nested = true;
    p.showValue(0.9);
  });
  p.showValue(-0.9);
  const auto blue = columnsOf(p, 0, qRgb(0, 0, 255));
  ASSERT_EQ(blue.size(), 3u);
  EXPECT_EQ(blue[1], p.xOf(0.9));
  EXPECT_DOUBLE_EQ(p.indicatorMinimum(), 0.9);
}

}  // namespace
}  // namespace tolv
