// Logger runs through the record layer, and reading stored streams back for plots and files.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "common/settingsio.h"
#include "common/texttable.h"
#include "measure/export_stored.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"
#include "measure_fakes.h"

using namespace tolv;
using namespace tolv::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

Bytes marker() {
  return Bytes(std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
}

// Sample pairs: word 0 then word 1, little-endian.
Bytes pairs(std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> p) {
  Bytes b;
  for (auto [a, c] : p) {
    b.push_back(std::uint8_t(a));
    b.push_back(std::uint8_t(a >> 8));
    b.push_back(std::uint8_t(c));
    b.push_back(std::uint8_t(c >> 8));
  }
  return b;
}

class Logger : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  fs::path root{dir.path().toStdString()};
  CallLog log;
  RecordingPresenter presenter{log};
  RecordingFiles files{log};
  TMeasureData data{root};
  SettingsRecord settings = SettingsRecord::defaults();
  DayTime clock{1000.0, 739000};

  void SetUp() override {
    data.setPresenter(&presenter);
    data.setFiles(&files);
    data.setSnapshotSource([this] { return settings; });
    data.setClock([this] { return clock; });
    data.initNumbering();
  }
};

}  // namespace

TEST_F(Logger, IoRunIsStampedByItsFirstChunkAndDrawnFromTheFile) {
  settings.mode = kModeDLDI;
  settings.autoSaveMode = 1;
  data.loggerRunStarted(kModeDLDI);
  ASSERT_EQ(data.lastLoggerOpenResult(), 0);
  const fs::path file = data.loggerStream().fileName();
  EXPECT_EQ(file, intermediateFileName(root, IntermediateFamily::DLDI, 1));

  clock = DayTime{1001.25, 739000};  // first data a second after RUN
  const Bytes a = pairs({{0xAAAA, 0x0001}, {0xBBBB, 0x0002}});
  Bytes b = pairs({{0xCCCC, 0x8003}});
  const Bytes end = marker();
  b.insert(b.end(), end.begin(), end.begin() + 10);  // marker split over two chunks
  EXPECT_EQ(data.loggerChunk(kModeDLDI, a), 0);
  clock = DayTime{1002.0, 739000};
  EXPECT_EQ(data.loggerChunk(kModeDLDI, b), 0);
  EXPECT_EQ(data.loggerChunk(kModeDLDI, Bytes(end.begin() + 10, end.end())), 0);
  EXPECT_DOUBLE_EQ(data.measurementTime().seconds, 1001.25);
  data.loggerRunEnded(kModeDLDI);

  EXPECT_EQ(slurp(file).size(), 12u + 16u);
  SettingsRecord h;
  std::optional<DayTime> t;
  ASSERT_EQ(readTextHeader(file, h, &t), 0);
  ASSERT_TRUE(t.has_value());
  EXPECT_NEAR(t->seconds, 1001.25, 1e-6);
  // The plot gets the three samples, and no pair of marker words.
  ASSERT_EQ(data.ioLoggerList().count(), 3);
  EXPECT_EQ(data.ioLoggerList().at(2).word, 0x8003);
  // Its summary, fed as the chunks were written (the marker split over two), steps as the
  // words in the file do: 1 -> 2 moves lanes 0 and 1, 2 -> 8003 lanes 0 and 15.
  std::uint16_t w = 0;
  EXPECT_EQ(data.ioLoggerList().stream()->changesIn(1, 1, w), 0x0003);
  EXPECT_EQ(data.ioLoggerList().stream()->changesIn(2, 2, w), 0x8001);
  EXPECT_EQ(presenter.ioSamples, 3);
  EXPECT_EQ(log.calls, (std::vector<std::string>{"clearImage DLDI", "files DLDI", "front 4",
                                                 "plotIoList", "loggerCsv DLDI"}));
  EXPECT_FALSE(data.loggerStream().isOpen());
  EXPECT_EQ(data.numbering(IntermediateFamily::DLDI).fileCount(), 1);
}

TEST_F(Logger, IoRunOnScreenIsExportedFromItsFileNeverCopiedFromItsList) {
  settings.mode = kModeDLDI;
  data.loggerRunStarted(kModeDLDI);
  const fs::path file = data.loggerStream().fileName();
  ASSERT_EQ(data.loggerChunk(kModeDLDI, pairs({{1, 2}, {3, 4}})), 0);
  data.loggerRunEnded(kModeDLDI);
  ASSERT_NE(data.ioLoggerList().stream(), nullptr);
  const fs::path target = root / "out.csv";
  // Without its file name the list, which may hold more words than memory, is not copied.
  const StoredProblem p = exportMeasuredRecord(ExportFormat::PlainCsv, data, "TX1", settings, {},
                                               target, nullptr);
  EXPECT_FALSE(p.ok());
  EXPECT_TRUE(p.reason.contains("stored file")) << p.reason.toStdString();
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(exportMeasuredRecord(ExportFormat::PlainCsv, data, "TX1", settings, file, target,
                                   nullptr)
                  .ok());
  EXPECT_TRUE(fs::exists(target));
}

TEST_F(Logger, AnalogRunUsesItsHeaderTimeAndTheNextNumber) {
  settings.mode = kModeDLA0;
  data.loggerRunStarted(kModeDLA0);
  data.loggerRunEnded(kModeDLA0);
  clock = DayTime{2000.0, 739000};
  data.loggerRunStarted(kModeDLA0);
  const fs::path file = data.loggerStream().fileName();
  EXPECT_EQ(file, intermediateFileName(root, IntermediateFamily::DLA0, 2));
  Bytes s = pairs({{32768, 65535}, {0, 32768}, {65535, 0}});
  const Bytes m = marker();
  s.insert(s.end(), m.begin(), m.end());
  EXPECT_EQ(data.loggerChunk(kModeDLA0, s), 0);
  data.loggerRunEnded(kModeDLA0);
  EXPECT_EQ(presenter.analogFile, file);
  EXPECT_EQ(data.measurementTime().seconds, 2000.0);

  // A chunk after the end (no file open) reports it.
  EXPECT_EQ(data.loggerChunk(kModeDLA0, s), kIntermediateNotOpen);
  // A logger start in a mode that has no stream opens nothing.
  data.loggerRunStarted(kModeOSA0);
  EXPECT_EQ(data.lastLoggerOpenResult(), kUnknownMode);
}

TEST(LoggerStreamLoad, AnalogStreamConvertsWithItsOwnHeader) {
  QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "Intermediate_DLA0_001.FIL";
  SettingsRecord h = SettingsRecord::defaults();
  h.mode = kModeDLA0;
  h.amplC0 = 2.0;
  h.amplC1 = 20.0;
  h.offsC1 = 1.0;
  h.sampleTime = 0.5;  // the run's own sample time, whatever the window says now
  h.probeFactorC0 = 10;
  h.probeHelpFactorFlag = true;
  ASSERT_EQ(writeTextHeader(file, h), 0);
  ASSERT_EQ(appendTextHeaderDateTime(file, DayTime{5.0, 739000}), 0);
  Bytes s = pairs({{65535, 32768}, {0, 0}, {32768, 65535}, {1, 2}});
  const Bytes m = marker();
  s.insert(s.end(), m.begin(), m.end());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(s.data()),
                                              std::streamsize(s.size()));
  AnalogLoggerStream out;
  ASSERT_EQ(loadAnalogLoggerStream(file, out), 0);
  EXPECT_EQ(out.wordCount, 16u);
  // Every sample before the end marker, the last one too.
  ASSERT_EQ(out.sampleCount(), 4u);
  EXPECT_DOUBLE_EQ(out.sampleTime(), 0.5);
  ASSERT_TRUE(out.start.has_value());
  EXPECT_NEAR(out.volts(0, 0), (9.0 / 0.85 + 1.0) * 32767.0 / 32768.0, 1e-9);
  EXPECT_DOUBLE_EQ(out.volts(1, 0), 1.0);   // mid-range plus the header's offset
  EXPECT_DOUBLE_EQ(out.volts(1, 1), -9.0);  // -10 V + 1 V
  EXPECT_EQ(out.raw0[3], 1u);
  EXPECT_DOUBLE_EQ(out.volts(1, 3), (2.0 / 32768.0 - 1.0) * 10.0 + 1.0);
  EXPECT_DOUBLE_EQ(out.volts(0, 99), 0.0);  // past the end
}

// A run that ended without the end marker (the program or the device went away) is drawn with
// every complete sample, and the I/O logger's too; the start of a marker the run died in is no
// sample.
TEST(LoggerStreamLoad, StreamWithoutEndMarkerKeepsEveryCompleteSample) {
  QTemporaryDir dir;
  const fs::path root = dir.path().toStdString();
  const fs::path analog = root / "Intermediate_DLA0_001.FIL";
  const fs::path io = root / "Intermediate_DLDI_001.FIL";
  SettingsRecord h = SettingsRecord::defaults();
  for (const fs::path& f : {analog, io}) {
    ASSERT_EQ(writeTextHeader(f, h), 0);
    ASSERT_EQ(appendTextHeaderDateTime(f, DayTime{5.0, 739000}), 0);
  }
  Bytes s;
  for (std::uint16_t k = 0; k < 12; ++k) {
    const Bytes p = pairs({{std::uint16_t(1000 + k), std::uint16_t(k)}});
    s.insert(s.end(), p.begin(), p.end());
  }
  const Bytes m = marker();
  for (std::size_t tail : {0u, 2u, 7u, 12u, 15u}) {
    Bytes b = s;
    if (tail == 2) b.push_back(0x55), b.push_back(0x66);  // half a sample
    if (tail > 2) b.insert(b.end(), m.begin(), m.begin() + std::ptrdiff_t(tail));
    for (const fs::path& f : {analog, io})
      std::ofstream(f, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    AnalogLoggerStream out;
    ASSERT_EQ(loadAnalogLoggerStream(analog, out), 0) << tail;
    ASSERT_EQ(out.sampleCount(), 12u) << tail;
    EXPECT_EQ(out.raw0.back(), 1011) << tail;
    TLogAnalList list;
    ASSERT_EQ(loadIoLoggerStream(io, list), 0) << tail;
    ASSERT_EQ(list.count(), 12) << tail;
    EXPECT_EQ(list.at(11).word, 11) << tail;
  }
}

TEST_F(Logger, IoRunWhoseStreamCannotBeReadBackSaysWhyAndAnEmptyRunIsNoFailure) {
  settings.mode = kModeDLDI;
  data.loggerRunStarted(kModeDLDI);
  data.loggerRunEnded(kModeDLDI);  // nothing recorded
  EXPECT_EQ(data.lastLoggerReadResult(), 0);

  data.loggerRunStarted(kModeDLDI);
  const fs::path file = data.loggerStream().fileName();
  ASSERT_EQ(data.loggerChunk(kModeDLDI, pairs({{1, 2}, {3, 4}})), 0);
  fs::remove(textHeaderName(file));  // the header went away during the run
  data.loggerRunEnded(kModeDLDI);
  EXPECT_EQ(data.lastLoggerReadResult(), 2);
  EXPECT_EQ(data.ioLoggerList().count(), 0);
  EXPECT_EQ(data.ioLoggerHeadlineNote(), "  " + measureResultText(2, languageIndex()));

  data.loggerRunStarted(kModeDLDI);
  ASSERT_EQ(data.loggerChunk(kModeDLDI, pairs({{1, 2}})), 0);
  data.loggerRunEnded(kModeDLDI);
  EXPECT_EQ(data.lastLoggerReadResult(), 0);  // a good run clears it
  EXPECT_EQ(data.ioLoggerHeadlineNote(), QString());
  EXPECT_EQ(data.ioLoggerList().count(), 1);
}

TEST(LoggerStreamLoad, IoStreamIsReadFromItsFileInPiecesAndOnDemand) {
  // Over a megabyte: several read pieces and summary blocks; every word as written, numbered
  // from 0, and readable after the file's name is gone (a newer run's numbering may erase it).
  QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "Intermediate_DLDI_001.FIL";
  ASSERT_EQ(writeTextHeader(file, SettingsRecord::defaults()), 0);
  const int n = 300007;
  auto word = [](int k) { return std::uint16_t((k / 7) ^ (k % 5 == 0 ? 0x8000 : 0)); };
  Bytes b;
  for (int k = 0; k < n; ++k) {
    const Bytes s = pairs({{0xEEEE, word(k)}});
    b.insert(b.end(), s.begin(), s.end());
  }
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  TLogAnalList list;
  ASSERT_EQ(loadIoLoggerStream(file, list), 0);
  ASSERT_EQ(list.count(), n);
  EXPECT_LT(list.stream()->memoryBytes(), std::size_t(n) / 4);
  fs::remove(file);
  for (int k = 0; k < n; ++k) {
    const TLogAnalEntry e = list.at(k);
    if (e.sampleNumber != k || e.word != word(k)) {
      ADD_FAILURE() << "sample " << k << ": " << e.sampleNumber << " " << e.word;
      break;
    }
  }
  for (int k : {n - 1, 0, 65536, 64, 63})  // back and forth across blocks
    EXPECT_EQ(list.at(k).word, word(k)) << k;
}

TEST(LoggerStreamLoad, IoSummaryFedAsTheStreamIsWrittenIsTakenOnlyForTheFileItWasFedFrom) {
  QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "Intermediate_DLDI_001.FIL";
  ASSERT_EQ(writeTextHeader(file, SettingsRecord::defaults()), 0);
  const int n = 70001;
  auto word = [](int k) { return std::uint16_t((k / 11) ^ (k % 13 == 0 ? 0x0100 : 0)); };
  Bytes b;
  for (int k = 0; k < n; ++k) {
    const Bytes s = pairs({{0x5555, word(k)}});
    b.insert(b.end(), s.begin(), s.end());
  }
  const Bytes m = marker();
  b.insert(b.end(), m.begin(), m.end());
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
  // Fed in chunks that cut samples anywhere, as the device's bytes arrive.
  auto feedAll = [&](TIoStreamSummaryFeed& feed, const Bytes& bytes) {
    std::size_t done = 0;
    for (std::size_t step = 1; done < bytes.size(); step = step * 7 % 5003 + 1) {
      const std::size_t k = std::min(step, bytes.size() - done);
      feed.feed(std::span(bytes).subspan(done, k));
      done += k;
    }
  };
  TLogAnalList read;
  ASSERT_EQ(loadIoLoggerStream(file, read), 0);
  ASSERT_EQ(read.count(), n);
  auto sameAnswers = [&](const TLogAnalList& l) {
    const TLogicSummary& a = *read.stream();
    const TLogicSummary& c = *l.stream();
    if (a.count() != c.count()) return false;
    for (std::int64_t k = -1; k <= n; k += 61) {
      std::uint16_t wa = 0, wc = 1;
      if (a.changesIn(k, k + 200, wa) != c.changesIn(k, k + 200, wc) || wa != wc) return false;
    }
    return true;
  };

  TIoStreamSummaryFeed feed;
  feedAll(feed, b);
  EXPECT_EQ(feed.bytesFed(), b.size());
  TLogAnalList fed;
  ASSERT_EQ(loadIoLoggerStream(file, fed, feed), 0);
  EXPECT_EQ(fed.count(), n);
  EXPECT_TRUE(sameAnswers(fed));
  EXPECT_EQ(fed.at(n - 1).word, word(n - 1));
  EXPECT_EQ(feed.bytesFed(), 0u);  // used up

  // Proof that the fed summary is the one taken: fed quiet words of the file's size, the list
  // says no lane changes although the file's words do.
  Bytes quiet(b.size(), 0);
  std::copy(m.begin(), m.end(), quiet.end() - 16);
  feedAll(feed, quiet);
  ASSERT_EQ(loadIoLoggerStream(file, fed, feed), 0);
  std::uint16_t w = 0;
  EXPECT_EQ(fed.stream()->changesIn(0, n - 1, w), 0u);

  // A feed that missed bytes (or got more than the file holds) is not taken: the file is read.
  for (const std::size_t size : {b.size() - 1, b.size() + 4}) {
    Bytes other = quiet;
    other.resize(size);
    feedAll(feed, other);
    ASSERT_EQ(loadIoLoggerStream(file, fed, feed), 0);
    EXPECT_TRUE(sameAnswers(fed)) << size;
  }
  // A summary of another run is never carried into the next one.
  feedAll(feed, quiet);
  feed.clear();
  feedAll(feed, b);
  ASSERT_EQ(loadIoLoggerStream(file, fed, feed), 0);
  EXPECT_TRUE(sameAnswers(fed));
}

TEST(LoggerStreamLoad, BadStreamsReturnCodesAndLeaveTheTargetAlone) {
  QTemporaryDir dir;
  const fs::path root = dir.path().toStdString();
  const fs::path file = root / "Intermediate_DLA0_001.FIL";
  AnalogLoggerStream out;
  out.raw0 = {7};
  TLogAnalList list;
  list.add(0, 1);
  EXPECT_EQ(loadAnalogLoggerStream(file, out), 2);  // nothing there
  EXPECT_EQ(loadIoLoggerStream(file, list), 2);
  EXPECT_EQ(list.count(), 0);

  std::ofstream(file, std::ios::binary).write("\x01\x02\x03", 3);
  EXPECT_EQ(loadAnalogLoggerStream(file, out), 2);  // stream without header
  ASSERT_EQ(writeTextHeader(file, SettingsRecord::defaults()), 0);
  EXPECT_EQ(loadAnalogLoggerStream(file, out), kNoSamples);  // 3 bytes: no sample
  EXPECT_EQ(loadIoLoggerStream(file, list), kNoSamples);
  // A stream ended by the device with three bytes of a sample before the marker has no sample
  // either; one with a whole one has that sample.
  Bytes ended = {1, 0, 2};
  const Bytes m = marker();
  ended.insert(ended.end(), m.begin(), m.end());
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(ended.data()), std::streamsize(ended.size()));
  EXPECT_EQ(loadAnalogLoggerStream(file, out), kNoSamples);
  ended.insert(ended.begin() + 3, 0);
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(ended.data()), std::streamsize(ended.size()));
  AnalogLoggerStream one;
  ASSERT_EQ(loadAnalogLoggerStream(file, one), 0);
  EXPECT_EQ(one.raw0, std::vector<std::uint16_t>{1});
  EXPECT_EQ(one.raw1, std::vector<std::uint16_t>{2});
  // A cut header.
  std::ofstream(textHeaderName(file), std::ios::trunc) << "Mode\r\nAL";
  EXPECT_EQ(loadAnalogLoggerStream(file, out), kReadPastEnd);
  EXPECT_EQ(out.raw0, std::vector<std::uint16_t>{7});
}
