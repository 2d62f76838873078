// Logger streams are converted from the file piece by piece, with 64-bit sizes: the table is the
// one the in-memory writer gives at every piece boundary, and a run beyond 1 GiB or 4 GiB (hours
// at the shortest sample time) converts instead of being taken for damage.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

#include "common/texttable.h"
#include "files_fixture.h"
#include "measure/datafiles.h"
#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"
#include "measure/plotfeed.h"
#include "measure/recordfiles.h"
#include "measure/textheader.h"
#include "plot/loganal_plot.h"
#include "support/file_size_limit.h"

using namespace tolv;
using tolv::testfiles::slurp;

namespace {

class LargeStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    dir_ = fs::path(tmp_.path().toStdString());
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    header_.settings = SettingsRecord::defaults();
    header_.settings.mode = kModeDLA0;
    header_.settings.amplC0 = 10;
    header_.settings.sampleTime = 9.9e-5;
    header_.serial = QStringLiteral("TX123456");
    header_.time = DayTime{3600.5, 739958};
    window_ = header_.settings;
    window_.trgTypString = "M";
  }
  fs::path stream(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path f = dir_ / name;
    std::ofstream(f, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return f;
  }
  // A sparse file of `size` bytes, zero but for its last 16, which are the end marker when
  // asked for.
  fs::path sparse(const std::string& name, std::uint64_t size, bool marker) {
    const fs::path f = dir_ / name;
    { std::ofstream(f, std::ios::binary); }
    fs::resize_file(f, size);
    if (marker) {
      std::fstream io(f, std::ios::binary | std::ios::in | std::ios::out);
      io.seekp(std::streamoff(size - 16));
      io.write(reinterpret_cast<const char*>(kLoggerEndMarker), 16);
    }
    EXPECT_EQ(fs::file_size(f), size);
    return f;
  }

  QTemporaryDir tmp_;
  fs::path dir_;
  RecordInfo header_;
  SettingsRecord window_;
};

// The first piece a sink receives; the conversion is stopped there.
constexpr int kStopped = 4242;

}  // namespace

TEST_F(LargeStreams, StreamedTableIsTheInMemoryTableAcrossPieces) {
  // Over a megabyte of samples: two pieces with a boundary inside the table; the ends the
  // stream may have (marker, none, half a sample, a marker cut off).
  std::vector<std::uint8_t> s;
  const std::size_t samples = (std::size_t(1) << 20) / 4 + 5;
  s.reserve(samples * 4 + 32);
  for (std::size_t k = 0; k < samples; ++k)
    for (int b = 0; b < 4; ++b) s.push_back(std::uint8_t(k * 7 + std::size_t(b) * 13));
  const std::vector<std::uint8_t> m(std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
  std::vector<std::vector<std::uint8_t>> ends = {m, {}, {0x01, 0x02}, {m.begin(), m.begin() + 9}};
  int n = 0;
  for (const auto& end : ends) {
    std::vector<std::uint8_t> bytes = s;
    bytes.insert(bytes.end(), end.begin(), end.end());
    const fs::path f = stream("s" + std::to_string(n++) + ".FIL", bytes);
    const fs::path a = dir_ / "a.CSV", io = dir_ / "io.CSV";
    ASSERT_EQ(writeAnalogLoggerCsv(a, header_, window_, f, {',', ';'}), 0);
    EXPECT_EQ(slurp(a), analogLoggerCsvText(header_, window_, bytes, {',', ';'})) << end.size();
    ASSERT_EQ(writeIoLoggerCsv(io, header_, "M", f, {'.', '\t'}), 0);
    EXPECT_EQ(slurp(io), ioLoggerCsvText(header_, "M", bytes, {'.', '\t'})) << end.size();
  }
  // A stream that is gone, and a sink that stops: the code comes back and no table is left.
  EXPECT_EQ(writeAnalogLoggerCsv(dir_ / "x.CSV", header_, window_, dir_ / "none.FIL", {}), 2);
  EXPECT_FALSE(fs::exists(dir_ / "x.CSV"));
  const fs::path f = stream("t.FIL", s);
  EXPECT_EQ(
      streamAnalogLoggerCsv(f, header_, window_, {}, [](std::string_view) { return kStopped; }),
      kStopped);
}

TEST_F(LargeStreams, RunsBeyondOneAndFourGiBConvert) {
  for (const std::uint64_t size : {(std::uint64_t(1) << 30) + 4096 + 16,  // 1 GiB + 1024 samples
                                   (std::uint64_t(5) << 30) + 16}) {      // 5 GiB
    const fs::path f = sparse("big.FIL", size, true);
    ASSERT_EQ(writeTextHeader(f, header_.settings, header_.time), 0);
    const std::uint64_t words = size / 2;
    // Every sample before the end marker: far beyond 32 bits for the larger run.
    LoggerStreamShape shape;
    ASSERT_EQ(streamFileShape(f, shape), 0);
    EXPECT_TRUE(shape.end.marker);
    EXPECT_EQ(shape.samples, (words - 8) / 2);
    EXPECT_EQ(loggerCsvRows(size), std::int64_t((words - 8) / 2));
    const StoredContent c = checkStoredContent(IntermediateFamily::DLA0, f, header_.settings);
    EXPECT_TRUE(c.ok());
    EXPECT_EQ(c.have, shape.samples);
    // The table's first piece: zero raw values, and the depth of all words before the end.
    std::string first;
    ASSERT_EQ(streamAnalogLoggerCsv(f, header_, window_, {'.', ';'},
                                    [&](std::string_view piece) {
                                      first = piece;
                                      return kStopped;
                                    }),
              kStopped);
    EXPECT_GE(first.size(), std::size_t(1) << 20);
    EXPECT_EQ(first.substr(0, 19), "-5.000000;-2.500000");
    EXPECT_NE(first.find(";Memory Depth;" + std::to_string(words - 8) + "\r\n"), std::string::npos)
        << first.substr(0, 400);
    // The whole conversion runs until the disk is full: past every size check, in pieces, and
    // leaves no part of a table behind.
    {
      const fs::path csv = dir_ / "big.CSV";
      tolv::testing::FileSizeLimit full(std::size_t(3) << 20);
      EXPECT_EQ(convertAnalogLoggerFile(f, csv, header_.serial, window_, {}), EFBIG);
      EXPECT_FALSE(fs::exists(csv));
    }
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
    EXPECT_EQ(files, 2);  // the stream and its header
    fs::remove(f);
  }
  // A run of 5 GiB that died without its end keeps every sample.
  const fs::path f = sparse("died.FIL", (std::uint64_t(5) << 30) + 3, false);
  LoggerStreamShape shape;
  ASSERT_EQ(streamFileShape(f, shape), 0);
  EXPECT_FALSE(shape.end.marker);
  EXPECT_EQ(shape.samples, std::uint64_t(5) << 28);
}

TEST_F(LargeStreams, IoStreamBeyondFourGiBOpensAsAListWithASmallSummary) {
  // 4 GiB and 8 samples, ended by the device: over a thousand million samples, all zero but
  // one set near the end, stepping lanes 0 and 9.
  const std::uint64_t size = (std::uint64_t(4) << 30) + 32 + 16;
  const fs::path f = sparse("io.FIL", size, true);
  header_.settings.mode = kModeDLDI;
  ASSERT_EQ(writeTextHeader(f, header_.settings, header_.time), 0);
  const std::uint64_t samples = (size / 2 - 9) / 2 + 1;
  const std::uint64_t lit = samples - 3;
  {
    std::fstream io(f, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(std::streamoff(lit * 4 + 2));
    io.write("\x01\x02", 2);
  }
  TLogAnalList list;
  ASSERT_EQ(loadIoLoggerStream(f, list), 0);
  ASSERT_NE(list.stream(), nullptr);
  EXPECT_EQ(list.count(), int(samples));
  EXPECT_LT(list.stream()->memoryBytes(), std::size_t(16) << 20);
  EXPECT_EQ(list.at(int(lit)), (TLogAnalEntry{int(lit), 0x0201}));
  EXPECT_EQ(list.at(int(lit) - 1).word, 0);
  EXPECT_EQ(list.at(int(samples) - 1).word, 0);
  std::uint16_t w = 0;
  EXPECT_EQ(list.stream()->changesIn(0, std::int64_t(samples) - 1, w), 0x0201);
  EXPECT_EQ(list.stream()->changesIn(0, std::int64_t(lit) - 1, w), 0);
}

TEST_F(LargeStreams, IoStreamBeyondTwoToThe31SamplesIsCountedDrawnAndReadToItsEnd) {
  // 2^31 + 100 samples, ended by the device (8 GiB and more, sparse): the last 50 are 0x0201,
  // past what 32 bits count, so a list cut at 2^31 - 1 would show none of them.
  const std::int64_t samples = (std::int64_t(1) << 31) + 100;
  const std::int64_t lit = samples - 50;
  const std::uint64_t size = std::uint64_t(samples) * 4 + 16;
  const fs::path f = sparse("io.FIL", size, true);
  header_.settings.mode = kModeDLDI;
  ASSERT_EQ(writeTextHeader(f, header_.settings, header_.time), 0);
  {
    std::fstream io(f, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(std::streamoff(lit * 4));
    for (int k = 0; k < 50; ++k) io.write("\0\0\x01\x02", 4);
  }
  TLogAnalList list;
  ASSERT_EQ(loadIoLoggerStream(f, list), 0);
  EXPECT_EQ(list.count(), samples);
  EXPECT_EQ(list.at(lit), (TLogAnalEntry{lit, 0x0201}));
  EXPECT_EQ(list.at(samples - 1), (TLogAnalEntry{samples - 1, 0x0201}));
  EXPECT_EQ(list.at(lit - 1).word, 0);
  EXPECT_EQ(list.at(samples), TLogAnalEntry{});

  // The full view reaches the last sample: lanes 0 and 9 rise in the last column.
  TLogAnalPlot plot(list);
  plot.prepare(QSize(1200, 400));
  const TLogAnalView full = ioLoggerView(list.count(), 1e-5);
  EXPECT_EQ(full.last, samples);
  ASSERT_EQ(plot.render(nullptr, full, true), 0);
  const int right = plot.plotArea().right();
  auto red = [&](int x, int y) { return (plot.bitmap().pixel(x, y) & 0xFFFFFF) == 0xFF0000; };
  const int xLit = plot.pixelOfTime(plot.timeOfIndex(lit));
  EXPECT_TRUE(red(xLit, plot.laneHighY(0)));
  EXPECT_TRUE(red(xLit, plot.laneHighY(9)));
  EXPECT_FALSE(red(xLit, plot.laneHighY(1)));

  // Zoomed in at the right edge down to a few hundred samples: the step stands inside the
  // picture, and the read-out and cursors there name its samples.
  ASSERT_EQ(plot.wheelZoom(nullptr, right, 70), 0);
  EXPECT_GT(plot.getView().last, std::int64_t(INT32_MAX));
  EXPECT_LT(plot.getView().first, lit);
  EXPECT_LT(plot.getView().last - plot.getView().first, 2000);
  const int x = plot.pixelOfTime(plot.timeOfIndex(lit));
  ASSERT_GT(x, plot.plotArea().left() + 2);
  ASSERT_LT(x, plot.plotArea().right() - 2);
  EXPECT_TRUE(red(x, (plot.laneHighY(0) + plot.laneLowY(0)) / 2));
  EXPECT_TRUE(red(x - 2, plot.laneLowY(0)));
  EXPECT_TRUE(red(x + 2, plot.laneHighY(0)));
  TLogAnalEntry e;
  double t = 0;
  ASSERT_EQ(plot.readAt(nullptr, x + 3, e, t), 0);
  EXPECT_GE(e.sampleNumber, lit);
  EXPECT_EQ(e.word, 0x0201);
  // The sample whose level is drawn in that column.
  EXPECT_LE(plot.pixelOfTime(plot.timeOfIndex(e.sampleNumber)), x + 3);
  EXPECT_GT(plot.pixelOfTime(plot.timeOfIndex(e.sampleNumber + 1)), x + 3);
  ASSERT_EQ(plot.setCursor(nullptr, 0, x), 0);
  EXPECT_EQ(plot.cursorIndex(0), lit);
  ASSERT_EQ(plot.setCursor(nullptr, 1, x - 2), 0);
  EXPECT_LT(plot.cursorIndex(1), lit);
  const TCursorReadOut ro = plot.cursorReadOut();
  ASSERT_EQ(ro.notes.size(), 2u);
  EXPECT_EQ(ro.notes[0].second, QStringLiteral("$H 02 01"));
  EXPECT_EQ(ro.notes[1].second, QStringLiteral("$H 00 00"));
}
