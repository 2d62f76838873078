// Stored analog-logger streams opened for drawing: read in pieces with their summaries, the
// same samples, result codes and pictures as loading the whole stream, and 64-bit offsets.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <fstream>

#include "common/settingsio.h"
#include "measure/loggerseries.h"
#include "measure/measurecodes.h"
#include "measure/plotfeed.h"
#include "stream_maker.h"

using namespace tolv;
using namespace tolv::testfiles;

namespace {

struct SeriesFiles : ::testing::Test {
  QTemporaryDir tmp;
  fs::path dir() const { return fs::path(tmp.path().toStdString()); }
  fs::path make(const std::string& name, const StreamRecipe& s) {
    const fs::path f = dir() / name;
    EXPECT_EQ(makeAnalogStream(f, s), 0);
    return f;
  }
};

// Every drawn sample of both channels is the value the whole-stream loader converts, for a
// run the device ended and for a cut one (half a sample and part of the marker at the end).
TEST_F(SeriesFiles, SameSamplesAsTheWholeStream) {
  for (bool marker : {true, false}) {
    StreamRecipe s;
    s.samples = 70001;
    s.marker = marker;
    const fs::path f = make("Intermediate_DLA0_001.FIL", s);
    if (!marker) {
      std::ofstream(f, std::ios::binary | std::ios::app).write("\x00\x00\xFF\xFF\xFF\xFF\x00", 7);
    }
    AnalogLoggerStream whole;
    ASSERT_EQ(loadAnalogLoggerStream(f, whole), 0);
    AnalogLoggerSeries ser;
    ASSERT_EQ(openAnalogLoggerSeries(f, ser), 0);
    EXPECT_EQ(ser.wordCount, whole.wordCount);
    ASSERT_EQ(ser.samples, whole.sampleCount());
    EXPECT_EQ(ser.samples, s.samples);  // the last sample before the end is drawn too
    ASSERT_EQ(ser.drawnCount(), whole.sampleCount());  // and the first one
    ASSERT_TRUE(ser.start.has_value());
    EXPECT_EQ(ser.start->day, whole.start->day);
    for (int ch = 0; ch < 2; ++ch) {
      std::vector<double> v(ser.drawnCount());
      ASSERT_TRUE(ser.reader[ch]->Read(0, v.size(), v.data()));
      for (std::size_t i = 0; i < v.size(); ++i)
        ASSERT_EQ(v[i], whole.volts(ch, i)) << "ch " << ch << " sample " << i;
      // The summaries agree with the values, and nothing past the end is read.
      double lo = 0, hi = 0;
      ASSERT_TRUE(ser.pyramid[ch].Bounds(lo, hi));
      EXPECT_EQ(lo, *std::min_element(v.begin(), v.end()));
      EXPECT_EQ(hi, *std::max_element(v.begin(), v.end()));
      double one = 0;
      EXPECT_FALSE(ser.reader[ch]->Read(v.size(), 1, &one));
    }
  }
}

// Damaged or missing streams give the codes loading the stream gives.
TEST_F(SeriesFiles, BadStreamsKeepTheirResultCodes) {
  const fs::path f = dir() / "Intermediate_DLA0_002.FIL";
  AnalogLoggerSeries out;
  AnalogLoggerStream whole;
  const auto same = [&](int expected) {
    EXPECT_EQ(openAnalogLoggerSeries(f, out), expected);
    EXPECT_EQ(loadAnalogLoggerStream(f, whole), expected);
  };
  same(2);  // nothing there
  std::ofstream(f, std::ios::binary).write("\x01\x02\x03", 3);
  same(2);  // a stream without header
  ASSERT_EQ(writeTextHeader(f, SettingsRecord::defaults()), 0);
  same(kNoSamples);  // 3 bytes: no sample
  std::ofstream(f, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(kLoggerEndMarker), 16);
  same(kNoSamples);  // only the end marker
  std::ofstream(textHeaderName(f), std::ios::trunc) << "Mode\r\nAL";
  same(kReadPastEnd);
  EXPECT_EQ(out.samples, 0u);  // left alone
}

// The picture drawn from the file through the summaries is the picture of the whole stream
// drawn point by point: seconds and clock time, each plot mode, with and without automatic
// scaling and shared Y axes.
TEST_F(SeriesFiles, SamePictureAsTheLoadedStream) {
  for (const double dt : {0.0001, 0.001}) {  // 6.5 s and 65 s: seconds, then clock time
    StreamRecipe s;
    s.samples = 65001;
    s.sampleTime = dt;
    s.seed = 5;
    const fs::path f = make("Intermediate_DLA0_003.FIL", s);
    AnalogLoggerStream whole;
    ASSERT_EQ(loadAnalogLoggerStream(f, whole), 0);
    AnalogLoggerSeries ser;
    ASSERT_EQ(openAnalogLoggerSeries(f, ser), 0);
    for (int mode = kPlotNone; mode <= kPlotK0vsK1; ++mode) {
      for (int variant = 0; variant < 2; ++variant) {
        PlotChoice pc;
        pc.plotMode = mode;
        pc.autoScale[0] = variant == 1;
        pc.synchYAxes = variant == 0;
        TGenD2ImgKernel a, b;
        a.SetImageSize(1100, 450);
        b.SetImageSize(1100, 450);
        ASSERT_EQ(feedAnalogLoggerImage(a, whole, *whole.start, pc), kPlotOk);
        ASSERT_EQ(feedAnalogLoggerImage(b, ser, *ser.start, pc), kPlotOk);
        ASSERT_EQ(a.DataSetCount(), b.DataSetCount());
        if (a.DataSetCount() == 0) continue;
        ASSERT_EQ(a.Render(nullptr, true), kPlotOk);
        ASSERT_EQ(b.Render(nullptr, true), kPlotOk);
        EXPECT_EQ(a.Bitmap(), b.Bitmap()) << "dt " << dt << " mode " << mode << " v " << variant;
        // Only the guide and range points are points; the samples stay in the file.
        if (mode <= kPlotK0K1) {
          EXPECT_LE(b.Get(0)->points.Count(), 2 * kGuideLinePoints + 2);
        }
      }
    }
  }
}

// A file whose reads stop short from a byte on, as a failing disk or a file cut while it is
// read gives them.
class FailingFile : public TStreamFile {
 public:
  explicit FailingFile(std::uint64_t from) : from_(from) {}

 protected:
  std::size_t readRaw(std::uint64_t at, std::size_t len, std::uint8_t* dst) const override {
    if (at >= from_) return 0;
    return TStreamFile::readRaw(at, std::size_t(std::min<std::uint64_t>(len, from_ - at)), dst);
  }

 private:
  std::uint64_t from_;
};

// A stream that cannot be read from its first drawn sample is a read error (5), never an empty
// picture; one that fails after its first piece is drawn as far as it was read.
TEST_F(SeriesFiles, ReadErrorsOnTheFirstPieceAndLater) {
  StreamRecipe s;
  s.samples = 300000;
  const fs::path f = make("Intermediate_DLA0_004.FIL", s);
  AnalogLoggerSeries out;
  for (const std::uint64_t from : {std::uint64_t(0), std::uint64_t(4 * 1000)}) {
    EXPECT_EQ(openAnalogLoggerSeries(f, std::make_shared<FailingFile>(from), out), 5) << from;
    EXPECT_EQ(out.samples, 0u) << from;  // left alone
  }
  // The first piece is 2^18 samples from the first one on; the failure falls in the next.
  const std::uint64_t piece = (1u << 20) / 4;
  ASSERT_EQ(openAnalogLoggerSeries(f, std::make_shared<FailingFile>(4 * piece + 40), out), 0);
  EXPECT_EQ(out.drawnCount(), piece);
  double v = 0;
  EXPECT_TRUE(out.reader[0]->Read(piece - 1, 1, &v));
  EXPECT_FALSE(out.reader[0]->Read(piece, 1, &v));
}

// Words of a stream whose XY curve repeats: a figure of period 77 with a spike every 1000
// samples, so lines already drawn come back after new ones.
std::uint16_t repeatingWord(std::uint64_t k, int ch) {
  if (ch == 0 && k % 1000 == 999) return std::uint16_t(40000 + k / 1000);
  return std::uint16_t(ch == 0 ? (k % 7) * 5000 + 1000 : (k % 11) * 4000 + 3000);
}

// An XY curve of a stream holds each distinct line once and draws the picture of a point per
// sample, for both XY modes and with automatic scaling on and off.
TEST_F(SeriesFiles, XYHoldsEachDistinctLineOnceWithTheSamePicture) {
  StreamRecipe s;
  s.samples = 200001;
  const fs::path f = dir() / "Intermediate_DLA0_005.FIL";
  ASSERT_EQ(makeAnalogStreamOf(f, s, repeatingWord), 0);
  AnalogLoggerStream whole;
  ASSERT_EQ(loadAnalogLoggerStream(f, whole), 0);
  AnalogLoggerSeries ser;
  ASSERT_EQ(openAnalogLoggerSeries(f, ser), 0);
  for (int mode : {int(kPlotK1vsK0), int(kPlotK0vsK1)}) {
    for (bool autoScale : {false, true}) {
      PlotChoice pc;
      pc.plotMode = mode;
      pc.autoScale[0] = pc.autoScale[1] = autoScale;
      TGenD2ImgKernel a, b;
      a.SetImageSize(900, 600);
      b.SetImageSize(900, 600);
      ASSERT_EQ(feedAnalogLoggerImage(a, whole, *whole.start, pc), kPlotOk);
      ASSERT_EQ(feedAnalogLoggerImage(b, ser, *ser.start, pc), kPlotOk);
      ASSERT_EQ(b.DataSetCount(), 1);
      // 77 lines of the figure, 2 per spike and a run start after each: far below a point
      // per sample.
      EXPECT_LT(b.Get(0)->points.Count(), 1000 + 2 * kGuideLinePoints);
      ASSERT_EQ(a.Render(nullptr, true), kPlotOk);
      ASSERT_EQ(b.Render(nullptr, true), kPlotOk);
      EXPECT_EQ(a.Bitmap(), b.Bitmap()) << "mode " << mode << " auto " << autoScale;
      // Zoomed into a corner, where lines are cut at the edge of the window.
      for (TGenD2ImgKernel* k : {&a, &b}) {
        const PlotRect pa = k->PlotArea();
        k->WheelZoom(nullptr, pa.left + 60, pa.top + 40, 3.0, false);
      }
      EXPECT_EQ(a.Bitmap(), b.Bitmap()) << "zoomed, mode " << mode << " auto " << autoScale;
    }
  }
}

// A noisy stream has a new line at nearly every sample: its XY plot of 25 minutes at 1 ms is
// drawn with a point per line, within the ranges of its samples; drawn straight from the stream
// instead (as beyond the limit) it gives the same pictures, whole and zoomed, with the data's
// ranges and with fixed ones that cut lines at their edge.
TEST_F(SeriesFiles, XYOfANoisyRunOfMinutesIsDrawn) {
  StreamRecipe s;
  s.samples = 1500000;
  const fs::path f = dir() / "Intermediate_DLA0_007.FIL";
  ASSERT_EQ(makeAnalogStream(f, s), 0);
  AnalogLoggerSeries ser;
  ASSERT_EQ(openAnalogLoggerSeries(f, ser), 0);
  ASSERT_EQ(ser.drawnCount(), s.samples);
  const ColorRef c = kChannelColour[1];
  const QRgb line = qRgb(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
  const auto coloured = [&](const QImage& pic) {
    int n = 0;
    for (int y = 0; y < pic.height(); ++y)
      for (int x = 0; x < pic.width(); ++x) n += pic.pixel(x, y) == line;
    return n;
  };
  for (const bool autoScale : {true, false}) {
    PlotChoice pc;
    pc.plotMode = kPlotK1vsK0;
    pc.autoScale[0] = pc.autoScale[1] = autoScale;
    TGenD2ImgKernel k, fromStream;
    k.SetImageSize(400, 300);
    fromStream.SetImageSize(400, 300);
    ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc), kPlotOk);
    ASSERT_EQ(feedAnalogLoggerImage(fromStream, ser, *ser.start, pc, 0), kPlotOk);
    ASSERT_EQ(k.DataSetCount(), 1);
    ASSERT_EQ(fromStream.DataSetCount(), 1);
    EXPECT_EQ(k.Get(0)->xySeries, nullptr);
    ASSERT_NE(fromStream.Get(0)->xySeries, nullptr);
    EXPECT_LE(fromStream.Get(0)->points.Count(), 2 + 2 * kGuideLinePoints);
    const int points = k.Get(0)->points.Count();
    EXPECT_GT(points, 1 << 20);
    EXPECT_LE(points, int(2 * ser.drawnCount()) + 2 + 2 * kGuideLinePoints);
    ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
    ASSERT_EQ(fromStream.Render(nullptr, true), kPlotOk);
    EXPECT_GT(coloured(k.Bitmap()), 1000);
    EXPECT_TRUE(k.Bitmap() == fromStream.Bitmap()) << "auto " << autoScale;
    for (TGenD2ImgKernel* z : {&k, &fromStream}) {
      const PlotRect pa = z->PlotArea();
      z->BeginZoom(nullptr, pa.left + 40, pa.top + 30);
      ASSERT_EQ(z->FinishZoom(nullptr, pa.left + 150, pa.top + 140), kPlotOk);
    }
    EXPECT_GT(coloured(k.Bitmap()), 500);
    EXPECT_TRUE(k.Bitmap() == fromStream.Bitmap()) << "zoomed, auto " << autoScale;
  }
  // Found once to hold more lines than a limit, the stream is drawn from itself for that limit
  // or a smaller one without counting its lines again.
  ASSERT_EQ(ser.xyLinesMoreThan, std::optional<std::uint64_t>(0));
  ser.xyLinesMoreThan = std::uint64_t(1) << 22;
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  TGenD2ImgKernel k;
  ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc), kPlotOk);
  EXPECT_NE(k.Get(0)->xySeries, nullptr);
  // A stream whose XY curve cannot be made leaves no curve of the last one drawn.
  ser.reader[1].reset();
  ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc), kPlotOk);
  ASSERT_EQ(k.DataSetCount(), 1);
  EXPECT_EQ(k.Get(0)->xySeries, nullptr);
  EXPECT_EQ(k.Get(0)->points.Count(), 0);
}

// Where every line is new the XY curve holds a point per sample up to the limit; beyond it the
// curve is drawn straight from the stream (a handful of points for ranges and zero lines) and
// the picture shows it.
TEST_F(SeriesFiles, XYBeyondItsLimitIsDrawnFromTheStream) {
  const auto distinct = [](std::uint64_t k, int ch) {
    return std::uint16_t(ch == 0 ? k & 0xFFFF : k >> 16);
  };
  for (const std::uint64_t drawn : {kLoggerXYMaxPoints, kLoggerXYMaxPoints + 1}) {
    StreamRecipe s;
    s.samples = drawn;
    const fs::path f = dir() / "Intermediate_DLA0_006.FIL";
    ASSERT_EQ(makeAnalogStreamOf(f, s, distinct), 0);
    AnalogLoggerSeries ser;
    ASSERT_EQ(openAnalogLoggerSeries(f, ser), 0);
    ASSERT_EQ(ser.drawnCount(), drawn);
    PlotChoice pc;
    pc.plotMode = kPlotK0vsK1;
    TGenD2ImgKernel k;
    k.SetImageSize(400, 300);
    ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc), kPlotOk);
    ASSERT_EQ(k.DataSetCount(), 1);
    const TGenD2DataSet& ds = *k.Get(0);
    if (drawn == kLoggerXYMaxPoints) {
      EXPECT_EQ(ds.xySeries, nullptr);
      EXPECT_GE(ds.points.Count(), int(kLoggerXYMaxPoints));
      EXPECT_LE(ds.points.Count(), int(kLoggerXYMaxPoints) + 2 + 2 * kGuideLinePoints);
      continue;
    }
    ASSERT_NE(ds.xySeries, nullptr);
    EXPECT_EQ(ds.xySeries->Count(), drawn);
    EXPECT_LE(ds.points.Count(), 2 + 2 * kGuideLinePoints);
    EXPECT_EQ(ds.PointCount(), std::int64_t(drawn) + ds.points.Count());
    ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
    const ColorRef c = kChannelColour[0];
    const QRgb line = qRgb(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
    int coloured = 0;
    const QImage& pic = k.Bitmap();
    for (int y = 0; y < pic.height(); ++y)
      for (int x = 0; x < pic.width(); ++x) coloured += pic.pixel(x, y) == line;
    EXPECT_GT(coloured, 500);
    pc.plotMode = kPlotK0K1;
    ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc), kPlotOk);
    EXPECT_EQ(k.DataSetCount(), 2);
    EXPECT_EQ(k.Get(0)->xySeries, nullptr);
  }
}

// A file that counts the bytes it reads from the disk.
class CountingFile : public TStreamFile {
 public:
  mutable std::uint64_t bytes = 0;

 protected:
  std::size_t readRaw(std::uint64_t at, std::size_t len, std::uint8_t* dst) const override {
    const std::size_t got = TStreamFile::readRaw(at, len, dst);
    bytes += got;
    return got;
  }
};

// Puts fixed ranges on a fed kernel's axes and its curves' own, as a kept zoom is put back.
void putRanges(TGenD2ImgKernel& k, double x0, double x1, double y0, double y1) {
  for (const bool x : {true, false}) {
    TAxWorldDataLst& list = x ? k.XAxes() : k.YAxes();
    for (int i = 0; i < list.Count(); ++i) {
      list.Get(i)->minimum = WorldValue::num(x ? x0 : y0);
      list.Get(i)->maximum = WorldValue::num(x ? x1 : y1);
    }
  }
  for (int i = 0; i < k.DataSetCount(); ++i) {
    TGenD2DataSet& ds = *k.Get(i);
    for (auto [own, merged] : {std::pair{&ds.xAxis, ds.mergedX}, std::pair{&ds.yAxis, ds.mergedY}})
      if (merged) {
        own->minimum = merged->minimum;
        own->maximum = merged->maximum;
      }
  }
}

// A stream drawn from itself as an XY curve and plotted again (the same plot mode, another one
// and back, auto-scale switched) with a zoom kept reads only the blocks that reach the window:
// none in a corner the curve never passes, a few around its middle, with the picture of a
// fresh drawing. Grown and opened anew, it is read again.
TEST_F(SeriesFiles, XYReplotOfTheSameStreamReadsOnlyWhatTheZoomReaches) {
  StreamRecipe s;
  s.samples = 600000;
  const fs::path f = dir() / "Intermediate_DLA0_008.FIL";
  const auto ramp = [&s](std::uint64_t k, int ch) {
    return std::uint16_t((k * 65536 / s.samples + std::uint64_t(ch) * (k % 3)) & 0xFFFF);
  };
  ASSERT_EQ(makeAnalogStreamOf(f, s, ramp), 0);
  const std::uint64_t fileBytes = 4 * s.samples;
  auto file = std::make_shared<CountingFile>();
  AnalogLoggerSeries ser;
  ASSERT_EQ(openAnalogLoggerSeries(f, file, ser), 0);
  const auto whole = ser.xySeries(0);
  ASSERT_NE(whole, nullptr);
  EXPECT_EQ(ser.xySeries(0), whole);
  EXPECT_NE(ser.xySeries(1), whole);
  const double w = whole->xhi - whole->xlo, h = whole->yhi - whole->ylo;
  const double middle[4] = {whole->xlo + 0.45 * w, whole->xlo + 0.55 * w,
                            whole->ylo + 0.45 * h, whole->ylo + 0.55 * h};
  const double corner[4] = {whole->xlo, whole->xlo + 0.2 * w, whole->yhi - 0.2 * h, whole->yhi};
  PlotChoice pc;
  pc.plotMode = kPlotK1vsK0;
  TGenD2ImgKernel k;
  k.SetImageSize(400, 300);
  ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc, 0), kPlotOk);
  ASSERT_NE(k.Get(0)->xySeries, nullptr);
  ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
  EXPECT_GE(file->bytes, fileBytes);
  // The picture of the same window drawn by a kernel of its own from a stream opened afresh.
  const auto fresh = [&](const double* r) {
    AnalogLoggerSeries other;
    EXPECT_EQ(openAnalogLoggerSeries(f, other), 0);
    TGenD2ImgKernel z;
    z.SetImageSize(400, 300);
    EXPECT_EQ(feedAnalogLoggerImage(z, other, *other.start, pc, 0), kPlotOk);
    putRanges(z, r[0], r[1], r[2], r[3]);
    EXPECT_EQ(z.Render(nullptr, false), kPlotOk);
    return z.Bitmap();
  };
  const auto replot = [&](const double* r) {
    file->bytes = 0;
    k.PrepareImage(nullptr);
    EXPECT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc, 0), kPlotOk);
    putRanges(k, r[0], r[1], r[2], r[3]);
    EXPECT_EQ(k.Render(nullptr, false), kPlotOk);
    return file->bytes;
  };
  for (const int step : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "step " << step);
    if (step == 1) {
      // Another plot mode drawn in between: the kernel's curves are made anew.
      pc.plotMode = kPlotK0K1;
      k.PrepareImage(nullptr);
      ASSERT_EQ(feedAnalogLoggerImage(k, ser, *ser.start, pc, 0), kPlotOk);
      ASSERT_EQ(k.Render(nullptr, true), kPlotOk);
      pc.plotMode = kPlotK1vsK0;
    }
    if (step == 2) pc.autoScale[0] = pc.autoScale[1] = false;
    EXPECT_EQ(replot(corner), 0u);
    EXPECT_TRUE(k.Bitmap() == fresh(corner));
    EXPECT_LT(replot(middle), fileBytes / 5);
    EXPECT_TRUE(k.Bitmap() == fresh(middle));
  }
  // Grown and opened anew: its curve and block bounds are made again from the stream.
  s.samples += 100000;
  ASSERT_EQ(makeAnalogStreamOf(f, s, ramp), 0);
  file = std::make_shared<CountingFile>();
  ASSERT_EQ(openAnalogLoggerSeries(f, file, ser), 0);
  EXPECT_NE(ser.xySeries(0), whole);
  EXPECT_GT(replot(middle), fileBytes / 2);
  EXPECT_TRUE(k.Bitmap() == fresh(middle));
  EXPECT_LT(replot(middle), fileBytes / 5);
  // The same object handed another reader for a channel (not opened anew): its curve pairs the
  // readers it has now, not those the kept one was made of; X on the other channel is its own.
  const std::shared_ptr<TXYSeries> kept = ser.xySeries(0);
  EXPECT_EQ(ser.xySeries(0), kept);
  EXPECT_NE(ser.xySeries(1), kept);
  ser.reader[1] = std::make_shared<TLoggerChannelReader>(*ser.reader[1]);
  const std::shared_ptr<TXYSeries> other = ser.xySeries(0);
  ASSERT_NE(other, nullptr);
  EXPECT_NE(other, kept);
  EXPECT_NE(other->reader, kept->reader);
  EXPECT_EQ(ser.xySeries(0), other);
}

// Small reads, kept and widened around themselves, give the file's bytes wherever they fall:
// marching forward in short and long steps, going back, across block edges and at the end,
// and at offsets a whole cache (1 MiB) apart, which share its slots.
TEST_F(SeriesFiles, SmallReadsGiveTheFileBytesInAnyOrder) {
  const fs::path f = dir() / "bytes.FIL";
  std::vector<std::uint8_t> bytes(2500001);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 131 + i / 251);
  std::ofstream(f, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  TStreamFile file;
  ASSERT_EQ(file.Open(f), 0);
  std::vector<std::uint64_t> at;
  for (std::uint64_t o = 3; o < 200000; o += 700) at.push_back(o);    // short steps forward
  for (std::uint64_t o = 250; o < 290000; o += 40000) at.push_back(o);  // long steps
  for (std::uint64_t o : {100000u, 99999u, 255u, 256u, 511u, 0u, 299999u, 295000u})
    at.push_back(o);
  for (std::uint64_t o : {5000u, 1053576u, 5000u, 2102152u, 1053576u, 5000u, 2499990u})
    at.push_back(o);
  for (std::size_t k = 0; k < at.size(); ++k) {
    const std::size_t n = std::size_t(1 + (k * 37) % 300);
    std::uint8_t got[300] = {};
    const bool fits = at[k] + n <= bytes.size();
    ASSERT_EQ(file.ReadAt(at[k], n, got), fits) << at[k];
    if (fits) {
      ASSERT_TRUE(std::equal(got, got + n, bytes.begin() + std::ptrdiff_t(at[k]))) << at[k];
    }
  }
  std::uint8_t last = 0;
  ASSERT_TRUE(file.ReadAt(bytes.size() - 1, 1, &last));
  EXPECT_EQ(last, bytes.back());
  // Reads marching up to a failure: the read ahead of them fails, the bytes before the failure
  // still come, and nothing after it is served from memory.
  FailingFile failing(200000);
  ASSERT_EQ(failing.Open(f), 0);
  for (std::uint64_t o = 190000; o < 200100; o += 1000) {
    std::uint8_t got[100] = {};
    ASSERT_EQ(failing.ReadAt(o, 100, got), o + 100 <= 200000) << o;
    if (o + 100 <= 200000) {
      ASSERT_TRUE(std::equal(got, got + 100, bytes.begin() + std::ptrdiff_t(o))) << o;
    }
  }
  std::uint8_t got[20] = {};
  EXPECT_FALSE(failing.ReadAt(199990, 20, got));
  // Opened again on another file of the same size: its bytes, none kept from the first.
  const fs::path g = dir() / "bytes2.FIL";
  for (std::uint8_t& b : bytes) b = std::uint8_t(~b);
  std::ofstream(g, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  for (std::uint64_t o : {5000u, 1053576u, 299999u}) {
    ASSERT_TRUE(file.ReadAt(o, 20, got));
    ASSERT_EQ(file.Open(g), 0);
    ASSERT_TRUE(file.ReadAt(o, 20, got));
    EXPECT_TRUE(std::equal(got, got + 20, bytes.begin() + std::ptrdiff_t(o))) << o;
    ASSERT_EQ(file.Open(f), 0);
  }
}

// Offsets beyond 4 GiB: a sparse file read at its far end, through the window and directly.
TEST_F(SeriesFiles, ReadsBeyondFourGiB) {
  const fs::path f = dir() / "big.FIL";
  const std::uint64_t size = (std::uint64_t(1) << 32) + 4096 + 16;
  { std::ofstream(f, std::ios::binary); }
  std::error_code ec;
  fs::resize_file(f, size, ec);
  if (ec) GTEST_SKIP() << "no sparse files here";
  {
    std::fstream io(f, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(std::streamoff(size - 20));
    io.write("\x34\x12\x78\x56", 4);
  }
  auto file = std::make_shared<TStreamFile>();
  ASSERT_EQ(file->Open(f), 0);
  EXPECT_EQ(file->Size(), size);
  std::uint8_t b[4] = {};
  ASSERT_TRUE(file->ReadAt(size - 20, 4, b));
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[3], 0x56);
  EXPECT_FALSE(file->ReadAt(size - 2, 4, b));
  ConversionInputs conv;
  const std::uint64_t samples = (size - 16) / 4;
  TLoggerChannelReader ch1(file, 1, 1, samples - 1, conv);
  double v = 0, w = 0;
  ASSERT_TRUE(ch1.Read(samples - 2, 1, &v));  // the last sample, word 0x5678
  ASSERT_TRUE(ch1.Read(samples - 3, 1, &w));  // a zero word
  EXPECT_EQ(v, conv.rawToVolts(1, 0x5678));
  EXPECT_EQ(w, conv.rawToVolts(1, 0));
  // Both channels' words of the last sample, as the XY drawing reads them.
  std::uint32_t pair = 0;
  ASSERT_TRUE(ch1.ReadPairs(samples - 2, 1, &pair));
  EXPECT_EQ(pair, 0x56781234u);
  fs::remove(f);
}

}  // namespace
