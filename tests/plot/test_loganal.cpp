#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QStringList>
#include <functional>
#include <random>
#include <vector>

#include "plot/loganal_list.h"
#include "plot/loganal_plot.h"
#include "plot/loganal_time.h"
#include "common/windowmessages.h"

namespace tolv {
namespace {

// Collects the progress values posted by a plot.
class ProgressSink : public QObject {
 public:
  std::vector<int> values;
  std::function<void()> onFirst;

  bool event(QEvent* e) override {
    if (e->type() != TProgressEvent::kType) return QObject::event(e);
    values.push_back(static_cast<TProgressEvent*>(e)->value());
    if (onFirst && values.size() == 1) onFirst();
    return true;
  }
};

bool isRed(QRgb c) {
  return (c & 0xFFFFFF) == 0xFF0000;
}

std::vector<bool> redMask(const QImage& img) {
  std::vector<bool> m;
  m.reserve(std::size_t(img.width() * img.height()));
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) m.push_back(isRed(img.pixel(x, y)));
  return m;
}

// The view a device window gives for a logic-analyser record: Npre samples before the
// trigger, Npost after it.
TLogAnalView recordView(int npre, int npost, double period) {
  TLogAnalView v;
  v.period = period;
  v.first = -npre;
  v.zeroIndex = npre;
  v.last = npost;
  return v;
}

// The view a device window gives for an I/O-logger run of n samples: from the first sample's
// time to the end of the last one's period.
TLogAnalView loggerView(std::int64_t n, double period) {
  TLogAnalView v;
  v.period = period;
  v.last = n;
  return v;
}

// Straightforward drawing of every change, line by line, as the plot is meant to look: each
// sample's word holds until the next sample, the last one to the view's end.
QImage drawEveryChange(const TLogAnalPlot& plot, const TLogAnalList& list) {
  QImage img(plot.bitmap().size(), QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setPen(QPen(QColor(255, 0, 0), 0));
  auto level = [&](int lane, unsigned w) {
    return (w >> lane) & 1u ? plot.laneHighY(lane) : plot.laneLowY(lane);
  };
  int s = plot.indexOfTime(plot.startTime());
  int e = plot.indexOfTime(plot.endTime());
  if (e >= list.count()) --e;  // a full record's end: no drop past its last sample
  unsigned cur = list.at(s).word;
  int px = plot.pixelOfTime(plot.startTime());
  while (s < e) {
    ++s;
    const unsigned w = list.at(s).word;
    if (w == cur) continue;
    const int x = plot.pixelOfTime(plot.timeOfIndex(s));
    for (int i = 0; i < 16; ++i) {
      p.drawLine(px, level(i, cur), x, level(i, cur));
      if (((cur ^ w) >> i) & 1u) p.drawLine(x, level(i, cur), x, level(i, w));
    }
    px = x;
    cur = w;
  }
  const int xl = plot.pixelOfTime(plot.endTime());
  for (int i = 0; i < 16; ++i) p.drawLine(px, level(i, cur), xl, level(i, cur));
  return img;
}

TEST(LogAnalList, GrowsWithFillersOnlyWhenAsked) {
  TLogAnalList l;
  EXPECT_EQ(l.add(7, 0x1234), 0);
  EXPECT_EQ(l.add(8, 0xFFFF), 1);
  EXPECT_EQ(l.ensureIndex(1), 0);
  EXPECT_EQ(l.ensureIndex(3), TLogAnalList::kAppendedFiller);
  EXPECT_EQ(l.count(), 4);
  EXPECT_EQ(l.get(3), (TLogAnalEntry{-1, 0}));
  EXPECT_EQ(l.get(1), (TLogAnalEntry{8, 0xFFFF}));
  EXPECT_EQ(l.get(5), (TLogAnalEntry{-1, 0}));
  EXPECT_EQ(l.count(), 6);
  // A negative index and read-only access never touch the list.
  EXPECT_EQ(l.get(-4), (TLogAnalEntry{-1, 0}));
  EXPECT_EQ(l.ensureIndex(-1), 0);
  EXPECT_EQ(l.at(100), (TLogAnalEntry{-1, 0}));
  EXPECT_EQ(l.count(), 6);
  l.clear();
  EXPECT_EQ(l.count(), 0);
}

TEST(LogAnalPlot, SnapPeriod) {
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(0.00099), 0.001);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(0.0015), 0.0015);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(2.1e-5), 2e-5);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(0.54), 0.5);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(0.56), 0.56);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(1.19), 1.0);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(10.0), 10.0);
  EXPECT_DOUBLE_EQ(TLogAnalPlot::snapPeriod(5e-7), 5e-7);

  // Render draws with the snapped period.
  TLogAnalList l;
  TLogAnalPlot plot(l);
  plot.prepare(QSize(400, 300));
  plot.render(nullptr, recordView(10, 90, 0.00099), true);
  EXPECT_DOUBLE_EQ(plot.getView().period, 0.001);
  EXPECT_DOUBLE_EQ(plot.savedView().period, 0.001);
  EXPECT_DOUBLE_EQ(plot.startTime(), -0.01);
}

TEST(LogAnalPlot, LayoutSeparatesTheBytes) {
  TLogAnalList l;
  TLogAnalPlot plot(l);
  plot.prepare(QSize(1200, 700));
  EXPECT_EQ(plot.plotArea(), QRect(QPoint(20, 12), QPoint(1192, 680)));
  EXPECT_EQ(plot.labelStrip(), QRect(QPoint(20, 680), QPoint(1192, 696)));
  const double pitch = (680 - 12) / 18.0;
  EXPECT_EQ(plot.laneLowY(0), 643);  // lane 0 at the bottom
  for (int i = 1; i < 16; ++i) {
    const double expect = i == 8 ? 2 * pitch : pitch;
    EXPECT_NEAR(plot.laneLowY(i - 1) - plot.laneLowY(i), expect, 1.0) << "lane " << i;
    EXPECT_NEAR(plot.laneLowY(i) - plot.laneHighY(i), 0.75 * pitch, 1.0);
  }
  EXPECT_GT(plot.laneHighY(15), 12);
}

TEST(LogAnalPlot, ZeroSpanRefusedButProgressEnds) {
  TLogAnalList l;
  for (int i = 0; i < 100; ++i) l.add(i, std::uint16_t(i * 37));
  TLogAnalPlot plot(l);
  ProgressSink sink;
  plot.setOwner(&sink);
  plot.prepare(QSize(400, 300));
  TLogAnalView v = recordView(0, 0, 0.001);
  EXPECT_EQ(plot.render(nullptr, v, true), TLogAnalPlot::kZeroTime);
  // A zero period would divide by zero as well.
  v = recordView(10, 50, 0.0);
  EXPECT_EQ(plot.render(nullptr, v, true), TLogAnalPlot::kZeroTime);
  QCoreApplication::sendPostedEvents(&sink);
  EXPECT_EQ(sink.values, (std::vector<int>{-1, -1}));
  const std::vector<bool> red = redMask(plot.bitmap());
  EXPECT_EQ(std::count(red.begin(), red.end(), true), 0);
}

TEST(LogAnalPlot, OddImagesAndViewsStaySafe) {
  TLogAnalList l;
  for (int i = 0; i < 3000; ++i) l.add(i, std::uint16_t(i * 5));
  for (QSize size : {QSize(6, 5), QSize(1, 1), QSize(0, 0)}) {
    TLogAnalPlot plot(l);
    plot.prepare(size);
    EXPECT_EQ(plot.render(nullptr, recordView(100, 2800, 1e-3), true), 0);
    TLogAnalEntry e;
    double t;
    plot.readAt(nullptr, 3, e, t);
    plot.beginZoom(0);
    plot.dragZoom(nullptr, 4);
    plot.finishZoom(nullptr, 5);
  }
  TLogAnalPlot plot(l);
  plot.prepare(QSize(300, 200));
  // Reversed, negative-period and far-out views draw what they can and return.
  EXPECT_EQ(plot.render(nullptr, recordView(-2800, -100, 1e-3), true), 0);
  EXPECT_EQ(plot.render(nullptr, recordView(100, 2800, -1e-3), true), 0);
  TLogAnalView far = recordView(100, 2800, 1e-3);
  far.zeroIndex = -2000000000;
  EXPECT_EQ(plot.render(nullptr, far, true), 0);
  EXPECT_EQ(l.count(), 3000);
}

TEST(LogAnalPlot, ProgressInOrderAndListUntouched) {
  TLogAnalList l;
  for (int i = 0; i < 5000; ++i) l.add(i, std::uint16_t(i / 7));
  TLogAnalPlot plot(l);
  ProgressSink sink;
  plot.setOwner(&sink);
  plot.prepare(QSize(600, 400));
  TLogAnalView v;
  v.period = 1e-3;
  v.zeroIndex = 0;  // sample k at list index k
  v.first = 0;
  v.last = 6000;  // beyond the recording: read as fillers, never appended
  EXPECT_EQ(plot.render(nullptr, v, true), 0);
  QCoreApplication::sendPostedEvents(&sink);
  // 100 * s / count per thousand indexes; past the end the count is taken as s + 1.
  EXPECT_EQ(sink.values, (std::vector<int>{20, 40, 60, 80, 100, -1}));
  EXPECT_EQ(l.count(), 5000);
}

TEST(LogAnalPlot, NestedPrepareDuringRenderIsSafe) {
  TLogAnalList l;
  for (int i = 0; i < 5000; ++i) l.add(i, std::uint16_t(i));
  TLogAnalPlot plot(l);
  ProgressSink sink;
  sink.onFirst = [&] { plot.prepare(QSize(200, 100)); };
  plot.setOwner(&sink);
  plot.prepare(QSize(600, 400));
  EXPECT_EQ(plot.render(nullptr, recordView(0, 4990, 1e-3), true), 0);
  QCoreApplication::sendPostedEvents(&sink);
  EXPECT_EQ(plot.bitmap().size(), QSize(200, 100));
  EXPECT_EQ(sink.values.back(), -1);
}

TEST(LogAnalPlot, CollapsedColumnsMatchEveryChange) {
  std::mt19937 rng(12345);
  TLogAnalList l;
  for (int i = 0; i < 30000; ++i) {
    // Mostly a change at every sample, with runs and single-bit toggles mixed in.
    const unsigned r = rng();
    if (r % 5 == 0 && l.count() > 0)
      l.add(i, l.at(l.count() - 1).word);
    else if (r % 5 == 1 && l.count() > 0)
      l.add(i, std::uint16_t(l.at(l.count() - 1).word ^ (1u << (r >> 8) % 16)));
    else
      l.add(i, std::uint16_t(rng()));
  }
  struct Case {
    TLogAnalView view;
    const char* what;
  };
  TLogAnalView zoom = recordView(-100, 160, 1e-4);  // a few pixels per sample
  zoom.zeroIndex = 500;
  const Case cases[] = {{recordView(12000, 18000, 1e-6), "dense record"},
                        {zoom, "zoomed"},
                        {recordView(100, 31000, 2e-3), "past the end"}};
  for (const Case& c : cases) {
    TLogAnalPlot plot(l);
    plot.prepare(QSize(500, 320));
    ASSERT_EQ(plot.render(nullptr, c.view, true), 0);
    const QImage ref = drawEveryChange(plot, l);
    EXPECT_TRUE(redMask(plot.bitmap()) == redMask(ref)) << c.what;
  }
}

TEST(LogAnalPlot, ReadOut) {
  TLogAnalList l;
  TLogAnalPlot plot(l);
  QLabel image;
  image.resize(600, 400);
  plot.prepare(&image);
  TLogAnalEntry e;
  double t = 0;
  EXPECT_EQ(plot.readAt(&image, 100, e, t), TLogAnalPlot::kNoData);  // empty list

  for (int i = 0; i < 1000; ++i) l.add(i, i == 999 ? 0x3F0A : std::uint16_t(i));
  EXPECT_EQ(plot.readAt(&image, 100, e, t), TLogAnalPlot::kNoData);  // nothing rendered yet
  ASSERT_EQ(plot.render(&image, recordView(200, 800, 1e-3), true), 0);
  const QImage clean = plot.bitmap().copy();

  // Right of the last sample: the last entry.
  ASSERT_EQ(plot.readAt(&image, 5000, e, t), 0);
  EXPECT_EQ(e, (TLogAnalEntry{999, 0x3F0A}));
  EXPECT_EQ(plot.cursorX(), plot.plotArea().right() - 1);
  EXPECT_TRUE(TLogAnalPlot::readOutText(t, e.word).endsWith(QStringLiteral(" $H 3F 0A")));
  EXPECT_EQ(TLogAnalPlot::readOutText(0.0012345, 0x3F0A), QStringLiteral("1.2345 ms  $H 3F 0A"));
  const QRect box = plot.readOutBox();
  EXPECT_EQ(box.right(), 598);
  EXPECT_EQ(box.top(), -3);

  // Left of the first: clamped to one pixel inside, time of that pixel.
  ASSERT_EQ(plot.readAt(&image, -50, e, t), 0);
  EXPECT_EQ(plot.cursorX(), 21);
  EXPECT_DOUBLE_EQ(t, plot.timeAtPixel(21));
  // The sample drawn in that column: its step at or left of it, the next one's right of it.
  EXPECT_LE(plot.pixelOfTime(plot.timeOfIndex(e.sampleNumber)), 21);
  EXPECT_GT(plot.pixelOfTime(plot.timeOfIndex(e.sampleNumber + 1)), 21);

  // The first cursor line is gone again everywhere outside the read-out box.
  const int oldX = plot.plotArea().right() - 1;
  for (int y = 0; y < clean.height(); ++y) {
    if (box.contains(oldX, y)) continue;
    ASSERT_EQ(plot.bitmap().pixel(oldX, y), clean.pixel(oldX, y)) << y;
  }
  EXPECT_TRUE(plot.cursorDrawn());
  plot.prepare(&image);
  EXPECT_FALSE(plot.cursorDrawn());
}

TEST(LogAnalPlot, ZoomAndRestore) {
  TLogAnalList l;
  for (int i = 0; i < 2000; ++i) l.add(i, std::uint16_t(i * 13));
  TLogAnalPlot plot(l);
  QLabel image;
  image.resize(800, 400);
  plot.prepare(&image);
  const TLogAnalView full = recordView(500, 1500, 1e-3);
  ASSERT_EQ(plot.render(&image, full, true), 0);
  const QImage clean = plot.bitmap().copy();

  // A click without a drag keeps picture and view.
  plot.beginZoom(300);
  EXPECT_EQ(plot.finishZoom(&image, 300), TLogAnalPlot::kZeroTime);
  EXPECT_FALSE(plot.zooming());
  EXPECT_EQ(plot.getView(), full);
  EXPECT_EQ(plot.bitmap(), clean);

  // The band is drawn and erased exactly while dragging.
  plot.beginZoom(300);
  plot.dragZoom(&image, 500);
  EXPECT_NE(plot.bitmap(), clean);
  plot.dragZoom(&image, 400);
  EXPECT_EQ(plot.zoomLeft(), 300);
  EXPECT_EQ(plot.zoomRight(), 400);
  for (int y = 0; y < clean.height(); ++y)
    ASSERT_EQ(plot.bitmap().pixel(500, y), clean.pixel(500, y));
  plot.dragZoom(&image, 250);  // left of the band moves its left edge
  EXPECT_EQ(plot.zoomLeft(), 250);

  const double t0 = plot.timeAtPixel(250);
  const double t1 = plot.timeAtPixel(400);
  EXPECT_EQ(plot.finishZoom(&image, 400), 0);
  TLogAnalView z = plot.getView();
  EXPECT_EQ(z.first, int(std::lround(t0 / 1e-3)));
  EXPECT_EQ(z.last, int(std::lround(t1 / 1e-3)));
  EXPECT_EQ(z.zeroIndex, full.zeroIndex);
  EXPECT_EQ(plot.savedView(), full);
  EXPECT_FALSE(plot.zooming());

  // Restoring the saved full view gives the first picture back.
  plot.prepare(&image);
  ASSERT_EQ(plot.render(&image, plot.savedView(), false), 0);
  EXPECT_EQ(plot.bitmap(), clean);

  // A drag that was never begun draws nothing.
  plot.dragZoom(&image, 600);
  EXPECT_EQ(plot.bitmap(), clean);
}

// The time labels at both ends of the axis stay whole inside the picture ("5 ms", not "5 m"),
// over a sweep of picture widths, and never run into each other.
TEST(LogAnalPlot, TimeLabelsStayInsideThePicture) {
  TLogAnalList l;
  for (int i = 0; i < 5010; ++i) l.add(i, std::uint16_t(i / 7));
  TLogAnalPlot plot(l);
  int endLabels = 0;
  for (int width = 300; width <= 1200; width += 37) {
    plot.prepare(QSize(width, 300));
    // 0 .. 5 ms: labelled every 0.5 ms, the last label at the plot's right end.
    ASSERT_EQ(plot.render(nullptr, recordView(0, 5000, 1e-6), true), 0);
    const auto& boxes = plot.timeLabelBoxes();
    ASSERT_GE(boxes.size(), 3u) << width;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_GE(boxes[i].left(), 0) << width;
      EXPECT_LE(boxes[i].right(), width - 1) << width;
      if (i > 0) {
        EXPECT_GT(boxes[i].left(), boxes[i - 1].right()) << width;
      }
    }
    // The label of the end stands near the right edge, not dropped.
    if (boxes.back().right() >= width - 4) ++endLabels;
  }
  EXPECT_GT(endLabels, 0);
}

// Labels name only times the diagram covers: none before its first sample or after its last,
// while both ends keep theirs when they fall on a step.
TEST(LogAnalPlot, TimeLabelsOnlyWithinTheDrawnRange) {
  TLogAnalList l;
  for (int i = 0; i < 10010; ++i) l.add(i, std::uint16_t(i / 11));
  TLogAnalPlot plot(l);
  struct Case {
    int npre, npost;
    bool firstOnStart, lastOnEnd;
  };
  // 1 ms samples: -6.3 s .. 3.7 s (ends between steps), -5 s .. 5 s (ends on steps), and
  // -6.7 s .. 3.3 s (a floor of the start would give a label a whole step early).
  for (const Case c : {Case{6300, 3700, false, false}, Case{5000, 5000, true, true},
                       Case{6700, 3300, false, false}}) {
    for (int width = 400; width <= 1300; width += 150) {
      plot.prepare(QSize(width, 300));
      ASSERT_EQ(plot.render(nullptr, recordView(c.npre, c.npost, 1e-3), true), 0);
      const auto& times = plot.timeLabelTimes();
      ASSERT_GE(times.size(), 2u) << width;
      const double start = plot.startTime(), end = plot.endTime();
      const double step = times[1] - times[0];
      EXPECT_GE(times.front(), start - 1e-9) << width << " " << c.npre;
      EXPECT_LE(times.back(), end + 1e-9) << width << " " << c.npre;
      // No step inside the range is left out at either end.
      EXPECT_LT(times.front() - step, start - 1e-9) << width;
      EXPECT_GT(times.back() + step, end + 1e-9) << width;
      if (c.firstOnStart) {
        EXPECT_NEAR(times.front(), start, 1e-9) << width;
      }
      if (c.lastOnEnd) {
        EXPECT_NEAR(times.back(), end, 1e-9) << width;
      }
      EXPECT_EQ(times.size(), plot.timeLabelBoxes().size());
    }
  }
}

// A triggered record: 1000 samples, trigger at 50 %, sample 500 the trigger word 0x0055 and
// sample 503 a different word 0x0058, as a simulated device records them.
TLogAnalList triggeredRecord() {
  TLogAnalList l;
  for (int i = 0; i < 1000; ++i) {
    std::uint16_t w = std::uint16_t(0x0040 | (i & 0x0F00));
    if (i >= 500) w = 0x0055;
    if (i >= 503) w = 0x0058;
    if (i >= 550) w = 0x0087;
    l.add(i, w);
  }
  return l;
}

// The trigger sample stands at 0 s, in the traces and in the read-out, in the full view and
// zoomed; the read-out names the sample whose level is drawn under the cursor.
TEST(LogAnalPlot, TriggerSampleAtTimeZero) {
  const TLogAnalList l = triggeredRecord();
  TLogAnalPlot plot(l);
  plot.prepare(QSize(1200, 400));
  ASSERT_EQ(plot.render(nullptr, recordView(500, 500, 1e-5), true), 0);
  EXPECT_EQ(plot.timeOfIndex(500), 0.0);
  EXPECT_EQ(plot.indexOfTime(0.0), 500);
  EXPECT_NEAR(plot.timeOfIndex(550), 500e-6, 1e-12);
  TLogAnalEntry e;
  double t = 1;
  ASSERT_EQ(plot.readAt(nullptr, plot.pixelOfTime(0.0), e, t), 0);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(e, (TLogAnalEntry{500, 0x0055}));

  // Zoomed to -250 .. +250 us (about 23 pixels a sample).
  TLogAnalView zoom = recordView(25, 25, 1e-5);
  zoom.zeroIndex = 500;
  ASSERT_EQ(plot.render(nullptr, zoom, false), 0);
  const int x0 = plot.pixelOfTime(0.0);
  auto red = [&](int x, int y) { return isRed(plot.bitmap().pixel(x, y)); };
  // Lane 0 rises at 0 s exactly: low left of it, a step in its column, high right of it.
  EXPECT_TRUE(red(x0 - 1, plot.laneLowY(0)));
  EXPECT_FALSE(red(x0 - 1, plot.laneHighY(0)));
  EXPECT_TRUE(red(x0, (plot.laneLowY(0) + plot.laneHighY(0)) / 2));
  EXPECT_TRUE(red(x0 + 1, plot.laneHighY(0)));
  ASSERT_EQ(plot.readAt(nullptr, x0, e, t), 0);
  EXPECT_EQ(e.word, 0x0055);
  ASSERT_EQ(plot.readAt(nullptr, x0 - 1, e, t), 0);
  EXPECT_EQ(e.sampleNumber, 499);
  // Just left of the step of sample 503 (at 30 us) the picture and the read-out still show 502.
  const int x503 = plot.pixelOfTime(30e-6);
  ASSERT_EQ(plot.readAt(nullptr, x503 - 1, e, t), 0);
  EXPECT_EQ(e.sampleNumber, 502);
  ASSERT_EQ(plot.readAt(nullptr, x503, e, t), 0);
  EXPECT_EQ(e.word, 0x0058);

  // The I/O logger's first sample is at 0 s.
  TLogAnalPlot io(l);
  io.prepare(QSize(1200, 400));
  ASSERT_EQ(io.render(nullptr, loggerView(1000, 1e-3), true), 0);
  EXPECT_EQ(io.timeOfIndex(0), 0.0);
  EXPECT_EQ(io.timeOfIndex(500), 0.5);
}

// Traces reach the view's right end: the last sample of a full record, the last sample of a
// logger (its step at the edge) and zooms of one to three samples.
TEST(LogAnalPlot, TracesReachTheRightEdge) {
  TLogAnalList l;
  for (int i = 0; i < 1000; ++i) l.add(i, std::uint16_t(i == 999 ? 0x0020 : i % 16));
  TLogAnalPlot plot(l);
  plot.prepare(QSize(800, 300));
  const int right = plot.plotArea().right();
  const int left = plot.plotArea().left();
  auto red = [&](int x, int y) { return isRed(plot.bitmap().pixel(x, y)); };

  // Full record: only the last sample lifts lane 5; it holds to the edge, no drop after it.
  ASSERT_EQ(plot.render(nullptr, recordView(300, 700, 1e-3), true), 0);
  EXPECT_EQ(plot.pixelOfTime(plot.endTime()), right);
  EXPECT_TRUE(red(right, plot.laneHighY(5)));
  EXPECT_FALSE(red(right, plot.laneLowY(5)));
  EXPECT_TRUE(red(right - 1, plot.laneHighY(5)));
  EXPECT_TRUE(red(right, plot.laneLowY(0)));
  // The same record read back from its file, which keeps a filler after the last sample.
  l.get(1000);
  ASSERT_EQ(plot.render(nullptr, recordView(300, 700, 1e-3), true), 0);
  EXPECT_TRUE(red(right, plot.laneHighY(5)));
  EXPECT_FALSE(red(right, plot.laneLowY(5)));

  // A logger run: its last sample is drawn over its own period up to the edge.
  plot.prepare(QSize(800, 300));
  ASSERT_EQ(plot.render(nullptr, loggerView(1000, 1e-3), true), 0);
  EXPECT_DOUBLE_EQ(plot.endTime(), 1.0);
  const int x999 = plot.pixelOfTime(0.999);
  EXPECT_LT(x999, right);
  EXPECT_TRUE(red(x999, (plot.laneHighY(5) + plot.laneLowY(5)) / 2));
  EXPECT_TRUE(red(right, plot.laneHighY(5)));
  EXPECT_FALSE(red(right, plot.laneLowY(5)));

  // Zooms of 1, 2 and 3 samples starting at sample 10 (word 10: lanes 1 and 3 high).
  for (int n = 1; n <= 3; ++n) {
    TLogAnalView z;
    z.period = 1e-3;
    z.first = 10;
    z.last = 10 + n;
    plot.prepare(QSize(800, 300));
    ASSERT_EQ(plot.render(nullptr, z, false), 0) << n;
    // The last shown sample holds up to the edge column, where the next one's step stands.
    const unsigned lastWord = unsigned(10 + n - 1);
    for (int lane = 0; lane < 4; ++lane) {
      const bool high0 = (10u >> lane) & 1u;
      const bool highEnd = (lastWord >> lane) & 1u;
      EXPECT_TRUE(red(left + 1, high0 ? plot.laneHighY(lane) : plot.laneLowY(lane))) << n;
      EXPECT_TRUE(red(right - 1, highEnd ? plot.laneHighY(lane) : plot.laneLowY(lane))) << n;
      EXPECT_FALSE(red(right - 1, highEnd ? plot.laneLowY(lane) : plot.laneHighY(lane))) << n;
    }
  }
}

TEST(LogAnalTimeText, FormsAndDigitsAtTheirBoundaries) {
  using F = TTimeTextStyle::Form;
  EXPECT_EQ(timeTextStyle(59.999).form, F::Seconds);
  EXPECT_EQ(timeTextStyle(60.0).form, F::Seconds);  // "60 s", as every duration text
  EXPECT_EQ(timeTextStyle(60.001).form, F::MinSec);
  EXPECT_EQ(timeTextStyle(-61).form, F::MinSec);
  EXPECT_EQ(timeTextStyle(3599.9).form, F::MinSec);
  EXPECT_EQ(timeTextStyle(3600).form, F::HourMinSec);
  EXPECT_EQ(timeTextStyle(86400).form, F::DayHourMinSec);
  EXPECT_EQ(timeTextStyle(5e-3).exponent3, -3);
  EXPECT_EQ(timeTextStyle(0.9999).exponent3, 0);  // 3 digits round it up to 1 s

  EXPECT_EQ(decimalsFor(1.0), 0);
  EXPECT_EQ(decimalsFor(0.5), 1);
  EXPECT_EQ(decimalsFor(0.2), 1);
  EXPECT_EQ(decimalsFor(0.05), 2);
  EXPECT_EQ(decimalsFor(0.001), 3);
  EXPECT_EQ(decimalsFor(0.002), 3);
  EXPECT_EQ(decimalsFor(10.0), 0);

  // Up to a minute: seconds, one prefix per axis, the fraction digits of the step.
  const TTimeTextStyle s60 = timeTextStyle(60);
  EXPECT_EQ(timeAxisLabel(60, 1, s60), QStringLiteral("60 s"));
  EXPECT_EQ(timeAxisLabel(59.5, 0.5, s60), QStringLiteral("59.5 s"));
  EXPECT_EQ(timeAxisLabel(59.999, 0.001, timeTextStyle(59.999)), QStringLiteral("59.999 s"));
  const TTimeTextStyle ms = timeTextStyle(5e-3);
  EXPECT_EQ(timeAxisLabel(0.0, 0.5e-3, ms), QStringLiteral("0.0 ms"));
  EXPECT_EQ(timeAxisLabel(-2e-3, 1e-3, ms), QStringLiteral("-2 ms"));
  EXPECT_EQ(timeAxisLabel(-1e-12, 1e-3, ms), QStringLiteral("0 ms"));  // never "-0"

  // Beyond: clock fields with the unit word, a fraction when the step is below a second.
  const TTimeTextStyle m = timeTextStyle(163.5);
  EXPECT_EQ(timeAxisLabel(163, 1, m), QStringLiteral("02:43 mm:ss"));
  EXPECT_EQ(timeAxisLabel(163.5, 0.5, m), QStringLiteral("02:43.5 mm:ss"));
  EXPECT_EQ(timeAxisLabel(60, 0.5, timeTextStyle(60.5)), QStringLiteral("01:00.0 mm:ss"));
  EXPECT_EQ(timeAxisLabel(59.5, 0.5, timeTextStyle(60.5)), QStringLiteral("00:59.5 mm:ss"));
  EXPECT_EQ(timeAxisLabel(120, 10, m), QStringLiteral("02:00 mm:ss"));  // not "2 min"
  EXPECT_EQ(timeAxisLabel(-90, 10, m), QStringLiteral("-01:30 mm:ss"));
  EXPECT_EQ(timeAxisLabel(3600, 60, timeTextStyle(7000)), QStringLiteral("01:00:00 hh:mm:ss"));
  EXPECT_EQ(timeAxisLabel(90061.5, 0.5, timeTextStyle(90061.5)),
            QStringLiteral("1 01:01:01.5 d hh:mm:ss"));

  // Read-outs carry the digits of one pixel; rounding carries into the minutes.
  EXPECT_EQ(timeReadOutText(163.4124, 0.0004, m), QStringLiteral("02:43.4124 mm:ss"));
  EXPECT_EQ(timeReadOutText(163.4124, 0.001, m), QStringLiteral("02:43.412 mm:ss"));
  EXPECT_EQ(timeReadOutText(59.9996, 0.001, m), QStringLiteral("01:00.000 mm:ss"));
  EXPECT_EQ(timeReadOutText(12.3456789, 1e-6, timeTextStyle(20)), QStringLiteral("12.345679 s"));
  EXPECT_EQ(timeReadOutText(497.84e-6, 0.3e-6, timeTextStyle(250e-6)),
            QStringLiteral("497.84 \u00B5s"));
}

// A long logger run: zoomed into its end the labels and read-outs tell samples apart, and
// unzoomed every label has the same form and none runs into another.
TEST(LogAnalPlot, LongRunTimesKeepTheirResolution) {
  TLogAnalList l;
  for (int i = 0; i < 163546; ++i) l.add(i, std::uint16_t(i / 100));
  TLogAnalPlot plot(l);
  for (int width : {700, 1200, 1600}) {
    plot.prepare(QSize(width, 400));
    const TLogAnalView full = loggerView(163546, 1e-3);
    ASSERT_EQ(plot.render(nullptr, full, true), 0);
    const auto& boxes = plot.timeLabelBoxes();
    const auto& times = plot.timeLabelTimes();
    ASSERT_GE(times.size(), 4u) << width;
    const double step = times[1] - times[0];
    for (std::size_t i = 1; i < boxes.size(); ++i) {
      EXPECT_GT(boxes[i].left(), boxes[i - 1].right() + 2) << width;
      EXPECT_NEAR(times[i] - times[i - 1], step, 1e-9) << width;  // none left out
    }
    // Clock labels stand on clock steps (10 s, 15 s, 30 s), not on 20 s or 50 s.
    EXPECT_TRUE(step == 10.0 || step == 15.0 || step == 30.0) << step;

    // Zoomed to 100 samples at 2:43.
    TLogAnalView z = full;
    z.first = 163400;
    z.last = 163500;
    plot.prepare(QSize(width, 400));
    ASSERT_EQ(plot.render(nullptr, z, false), 0);
    const auto& zt = plot.timeLabelTimes();
    ASSERT_GE(zt.size(), 3u) << width;
    const double zstep = zt[1] - zt[0];
    EXPECT_LT(zstep, 0.1);
    QStringList texts = plot.timeLabelTexts();
    texts.removeDuplicates();
    EXPECT_EQ(texts.size(), qsizetype(zt.size())) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts.front().startsWith(QStringLiteral("02:43."))) << texts.front().toStdString();
  }
  // Ten minutes are labelled on whole minutes.
  TLogAnalList ten;
  for (int i = 0; i <= 600000; ++i) ten.add(i, std::uint16_t(i / 1000));
  TLogAnalPlot tenPlot(ten);
  tenPlot.prepare(QSize(1200, 400));
  ASSERT_EQ(tenPlot.render(nullptr, loggerView(600001, 1e-3), true), 0);
  ASSERT_GE(tenPlot.timeLabelTimes().size(), 4u);
  for (double t : tenPlot.timeLabelTimes()) EXPECT_EQ(std::fmod(t, 60.0), 0.0) << t;
  EXPECT_EQ(tenPlot.timeLabelTexts().back(), QStringLiteral("10:00 mm:ss"));

  // Read-outs at neighbouring samples differ and resolve below a millisecond.
  QString texts[2];
  for (int k = 0; k < 2; ++k) {
    TLogAnalEntry e;
    double t = 0;
    ASSERT_EQ(plot.readAt(nullptr, plot.pixelOfTime(163.41 + 0.001 * k), e, t), 0);
    EXPECT_EQ(e.sampleNumber, 163410 + k);
    texts[k] = TLogAnalPlot::readOutText(t, e.word, 1.0 / plot.pixelsPerSecond(), 163.5);
    EXPECT_TRUE(texts[k].startsWith(QStringLiteral("02:43.4"))) << texts[k].toStdString();
    EXPECT_TRUE(texts[k].contains(QStringLiteral(" mm:ss  $H 06 "))) << texts[k].toStdString();
  }
  EXPECT_NE(texts[0], texts[1]);
}

}  // namespace
}  // namespace tolv
