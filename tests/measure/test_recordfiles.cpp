#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <fstream>

#include "common/texttable.h"
#include "files_fixture.h"
#include "support/file_size_limit.h"
#include "measure/intermediaterecords.h"
#include "measure/intermediateshow.h"
#include "measure/loggerstream.h"
#include "measure/recordfiles.h"
#include "measure/storedfile.h"
#include "measure/textheader.h"

using namespace tolv;
using namespace tolv::testfiles;

namespace {

struct Presenter : IMeasurePresenter {
  int scopePlots = 0, logicPlots = 0, chartChanges = 0, ioPlots = 0, analogPlots = 0;
  int lastN = -1;
  std::size_t chartCount = 0;
  void plotScopeRecord(const TMeasureData& d) override {
    ++scopePlots;
    lastN = d.sampleCount();
  }
  void plotLogicRecord(const TMeasureData&) override { ++logicPlots; }
  void chartListChanged(const TTaggedTimedFloatPointList& l) override {
    ++chartChanges;
    chartCount = std::size_t(l.Count());
  }
  void plotIoLoggerList(const TMeasureData&) override { ++ioPlots; }
  int analogResult = 0;
  int plotAnalogLoggerFile(const fs::path&) override {
    ++analogPlots;
    return analogResult;
  }
};

class RecordFiles : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    settings_ = scopeSettings();
    data_ = std::make_unique<TMeasureData>(dir_);
    data_->setSnapshotSource([this] { return settings_; });
    data_->setClock([this] { return now_; });
    files_ = std::make_unique<TRecordFiles>(*data_, [] { return QStringLiteral("TX9"); });
    files_->setStyleSource([] { return CsvStyle{',', '\t'}; });
    data_->setFiles(files_.get());
    data_->setPresenter(&presenter_);
    show_ = std::make_unique<TIntermediateShow>(*data_, presenter_);
  }

  // A scope record of n samples; channel 0 rises with the index.
  void scopeRecord(int n) {
    std::vector<std::uint8_t> raw(std::size_t(n) * 4);
    for (int i = 0; i < n; ++i) {
      raw[std::size_t(4 * i + 2)] = std::uint8_t(i);
      raw[std::size_t(4 * i + 3)] = std::uint8_t(0x80 + (i >> 8) % 64);
    }
    data_->scopeRecord(raw, ConversionInputs{});
    data_->scopeRecordFinish();
  }

  fs::path osa(int k) const { return intermediateFileName(dir_, IntermediateFamily::OSA0, k); }
  void touchScopeFile(int k) {
    fs::create_directories(osa(k).parent_path());
    ASSERT_EQ(writeTextHeader(osa(k), settings_), 0);
    ASSERT_EQ(appendTextHeaderDateTime(osa(k), now_), 0);
    spit(osa(k), std::string(16, '\0'));
  }

  SettingsRecord settings_;
  DayTime now_ = stamp(2026, 12, 8, 14, 30, 15.12);
  Presenter presenter_;
  std::unique_ptr<TMeasureData> data_;
  std::unique_ptr<TRecordFiles> files_;
  std::unique_ptr<TIntermediateShow> show_;
};

}  // namespace

TEST_F(RecordFiles, AutoSaveWritesEveryScopeRecordIntoTheDayFolder) {
  settings_.makeIntermediateFiles = false;
  settings_.triggerPoint = 100;  // no post-trigger samples: the trigger moment is the reception
  for (int mode : {1, 2}) {
    settings_.autoSaveMode = std::uint8_t(mode);
    scopeRecord(20);
    scopeRecord(20);  // same millisecond
  }
  const fs::path day = dir_ / "20261208";
  EXPECT_TRUE(fs::exists(day / "143015_120_OSA0.CSV"));
  EXPECT_TRUE(fs::exists(day / "143015_120_OSA0_1.CSV"));
  EXPECT_TRUE(fs::exists(day / "143015_120_OSA0.VXD"));
  EXPECT_TRUE(fs::exists(day / "143015_120_OSA0_1.VXD"));
  EXPECT_EQ(fs::file_size(day / "143015_120_OSA0_1.VXD"), 72u + 20u * 8u);
  EXPECT_EQ(lines(slurp(day / "143015_120_OSA0.CSV")).size(), 20u);
  EXPECT_FALSE(fs::exists(dir_ / "Intermediate_OSA0"));
  // Something under the name that the check before writing does not see (a dangling link, like
  // a file another program puts there meanwhile) is kept; the record takes the next name and
  // tells it.
  now_ = stamp(2026, 12, 8, 14, 30, 16.5);
  for (int mode : {1, 2}) {
    settings_.autoSaveMode = std::uint8_t(mode);
    const std::string ext = mode == 1 ? ".CSV" : ".VXD";
    fs::create_symlink(dir_ / ("elsewhere" + ext), day / ("143016_500_OSA0" + ext));
    scopeRecord(20);
    EXPECT_EQ(files_->lastDataFile(), day / ("143016_500_OSA0_1" + ext));
    EXPECT_TRUE(fs::exists(files_->lastDataFile()));
    EXPECT_FALSE(fs::exists(dir_ / ("elsewhere" + ext)));
  }
}

TEST_F(RecordFiles, AutoSaveOfALateRecordUsesTheTriggerDay) {
  settings_.autoSaveMode = 1;
  settings_.makeIntermediateFiles = false;
  settings_.triggerPoint = 0;
  settings_.sampleTime = 0.01;
  now_ = stamp(2026, 12, 9, 0, 0, 0.5);  // 100 post-trigger samples of 10 ms: 1 s earlier
  scopeRecord(100);
  EXPECT_EQ(files_->lastDataFile(), dir_ / "20261208" / "235959_500_OSA0.CSV");
}

TEST_F(RecordFiles, NumberingStopsAtTheGapAndTheNextRecordFillsIt) {
  for (int k : {1, 2, 4}) touchScopeFile(k);
  data_->initNumbering();
  const auto& num = data_->numbering(IntermediateFamily::OSA0);
  EXPECT_EQ(num.current(), 2);
  EXPECT_EQ(num.highest(), 2);
  scopeRecord(10);
  EXPECT_EQ(files_->lastIntermediateFile(), osa(3));
  EXPECT_EQ(num.highest(), 4);
  scopeRecord(10);
  EXPECT_EQ(files_->lastIntermediateFile(), osa(5));
}

TEST_F(RecordFiles, ScopeIntermediateHoldsNPlusOneEntriesAndShowsAgain) {
  scopeRecord(10000);
  ASSERT_EQ(files_->lastIntermediateFile(), osa(1));
  EXPECT_EQ(fs::file_size(osa(1)), 80008u);
  SettingsRecord h;
  std::optional<DayTime> t;
  ASSERT_EQ(readTextHeader(osa(1), h, &t), 0);
  ASSERT_TRUE(t.has_value());
  const float last = data_->scopeSamples()[9999].ch0;

  // A new window over the same folder (a restart) shows it by number.
  TMeasureData again(dir_);
  Presenter p;
  TIntermediateShow show(again, p);
  again.initNumbering();
  ASSERT_EQ(show.showByNumber(IntermediateFamily::OSA0, 1).rc, 0);
  EXPECT_EQ(again.sampleCount(), 10000);
  EXPECT_EQ(p.lastN, 10000);
  EXPECT_EQ(again.scopeSamples()[9999].ch0, last);
  EXPECT_EQ(again.plotChannel0()[9999], double(last));
  EXPECT_EQ(again.measurementTime().day, data_->measurementTime().day);
  EXPECT_NEAR(again.measurementTime().seconds, data_->measurementTime().seconds, 1e-6);
  EXPECT_FALSE(again.plotBusy());
  EXPECT_EQ(show.showByNumber(IntermediateFamily::OSA0, 2).rc, 2);
}

TEST_F(RecordFiles, ShowByNumberWaitsWhileBusyOrBooting) {
  scopeRecord(5);
  bool booting = true;
  show_->setBootingSource([&] { return booting; });
  const int before = presenter_.scopePlots;
  EXPECT_EQ(show_->showByNumber(IntermediateFamily::OSA0, 1).rc, 0);
  EXPECT_EQ(presenter_.scopePlots, before);
  booting = false;
  data_->setPlotBusy(true);
  EXPECT_EQ(show_->showByNumber(IntermediateFamily::OSA0, 1).rc, 0);
  EXPECT_EQ(presenter_.scopePlots, before);
  data_->setPlotBusy(false);
  EXPECT_EQ(show_->showByNumber(IntermediateFamily::OSA0, 1).rc, 0);
  EXPECT_EQ(presenter_.scopePlots, before + 1);
}

// What kept a shown logger stream from being drawn reaches the one who asked to show it.
TEST_F(RecordFiles, ShowingAnAnalogLoggerStreamAnswersWhatTheDrawingAnswered) {
  const fs::path f = intermediateFileName(dir_, IntermediateFamily::DLA0, 4);
  fs::create_directories(f.parent_path());
  spit(f, std::string(16, '\0'));
  ASSERT_EQ(show_->showFile(IntermediateFamily::DLA0, f).rc, 0);
  EXPECT_EQ(presenter_.analogPlots, 1);
  presenter_.analogResult = 5;
  EXPECT_EQ(show_->showFile(IntermediateFamily::DLA0, f).rc, 5);
  EXPECT_EQ(show_->showByNumber(IntermediateFamily::DLA0, 4).rc, 5);
  EXPECT_EQ(presenter_.analogPlots, 3);
  fs::remove(f);
  EXPECT_EQ(show_->showFile(IntermediateFamily::DLA0, f).rc, 2);
  EXPECT_EQ(presenter_.analogPlots, 3);
}

TEST_F(RecordFiles, DamagedScopeFilesLeaveTheRecordOnScreen) {
  scopeRecord(7);
  const int n = data_->sampleCount();
  const fs::path f = osa(1);
  spit(f, "");
  EXPECT_EQ(show_->showFile(IntermediateFamily::OSA0, f).rc, kNoSamples);
  spit(f, std::string(8 * 3 + 5, '\x11'));  // three pairs and a cut-off rest
  const ShowResult cut = show_->showFile(IntermediateFamily::OSA0, f);
  ASSERT_EQ(cut.rc, 0);
  EXPECT_EQ(data_->sampleCount(), 2);
  // Drawn as far as it goes, and said to be cut.
  EXPECT_EQ(cut.content.problem, StoredContent::Problem::CutEntry);
  EXPECT_FALSE(cut.toldOnSheet);
  spit(f, std::string(8 * 131005, '\0'));  // more than the array holds
  ASSERT_EQ(show_->showFile(IntermediateFamily::OSA0, f).rc, 0);
  EXPECT_EQ(data_->sampleCount(), 131000);
  fs::remove(textHeaderName(f));
  scopeRecord(7);
  EXPECT_EQ(show_->showFile(IntermediateFamily::OSA0, f).rc, 2);  // header missing
  EXPECT_EQ(data_->sampleCount(), n);
  spit(textHeaderName(f), "Mode\r\n0ASO\r\nAmplC0\r\nbinary\x01\x02\r\n");
  EXPECT_NE(show_->showFile(IntermediateFamily::OSA0, f).rc, 0);
  EXPECT_EQ(data_->sampleCount(), n);
}

TEST_F(RecordFiles, AllNamesTakenKeepsTheMeasurementAndOverwritesNothing) {
  fs::create_directories(osa(1).parent_path());
  for (int k = 1; k <= 1000; ++k) spit(osa(k), "old");
  EXPECT_EQ(osa(1000).filename().string(), "Intermediate_OSA0_000.FIL");
  data_->initNumbering();
  scopeRecord(12);
  EXPECT_EQ(data_->lastIntermediateResult(), kNoFreeIntermediateName);
  EXPECT_EQ(data_->sampleCount(), 12);
  EXPECT_EQ(presenter_.lastN, 12);
  EXPECT_EQ(slurp(osa(1)), "old");
  EXPECT_EQ(slurp(osa(1000)), "old");
}

TEST_F(RecordFiles, EraseAllRemovesFilesBehindGapsToo) {
  for (int k : {1, 2, 4, 7}) touchScopeFile(k);
  spit(osa(1).parent_path() / "notes.txt", "keep");
  data_->initNumbering();
  EXPECT_EQ(show_->eraseAll(IntermediateFamily::OSA0), 4);
  EXPECT_FALSE(fs::exists(osa(4)));
  EXPECT_FALSE(fs::exists(textHeaderName(osa(7))));
  EXPECT_TRUE(fs::exists(osa(1).parent_path() / "notes.txt"));
  EXPECT_EQ(data_->numbering(IntermediateFamily::OSA0).current(), 1);
  EXPECT_FALSE(data_->numbering(IntermediateFamily::OSA0).anyFile());
  EXPECT_EQ(show_->eraseAll(IntermediateFamily::OSA0), 0);
}

TEST_F(RecordFiles, VoltmeterSeriesIsWrittenReadingByReadingAndShowsEveryReading) {
  settings_.mode = kModeVMA0;
  data_->voltmeterRunStarted(false);
  ASSERT_TRUE(data_->voltmeterFileOpen());
  const DayTime t0 = now_;
  for (int i = 0; i < 3; ++i) {
    now_ = dtAddSeconds(t0, i);
    std::array<std::uint8_t, 8> eight{};
    data_->voltmeterReply(makeVoltmeterReplyRecord(kModeVMA0, eight.data()),
                          {1.5 * i, -0.25, "V RMS"});
  }
  data_->voltmeterStopped();
  const fs::path f = intermediateFileName(dir_, IntermediateFamily::VMXY, 1);
  const auto b = bytesOf(f);
  ASSERT_EQ(b.size(), 3u * 72u);
  std::vector<std::uint8_t> want(72, 0);
  want[8] = 1;
  const auto tb = dtAddSeconds(t0, 2).toBytes();
  std::memcpy(want.data() + 16, tb.data(), 16);
  putF64(want.data() + 56, 3.0);
  putF64(want.data() + 64, -0.25);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 144, b.end()), want);
  EXPECT_EQ(files_->appendVoltmeterReading(VoltmeterReading{}), kIntermediateNotOpen);

  data_->clearChartList();
  ASSERT_EQ(show_->showFile(IntermediateFamily::VMXY, f).rc, 0);
  EXPECT_EQ(presenter_.chartCount, 3u);  // the last reading too
  const fs::path csv = dir_ / "v.CSV";
  ASSERT_EQ(convertVoltmeterFile(f, csv, QStringLiteral("TX9"), {',', '\t'}), 0);
  const auto l = lines(slurp(csv));
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[0].substr(0, 16), "V rms Channel 1\t");
  EXPECT_EQ(l[3].substr(0, 19), " 3,000000\t-0,250000");
  EXPECT_EQ(skippedReadingsNote(f), QString());

  // Entries no run writes are left out and named; a reading an hour before the start (the
  // clock set back) is kept, and so are readings after a jump of the clock by days, alone or
  // with a series going on from them: they are as measured, and the note names them.
  std::vector<VoltmeterReading> more = {
      VoltmeterReading::measured(dtAddSeconds(t0, -3600), 7, 7),
      VoltmeterReading::measured(dtAddSeconds(t0, 40 * 86400.0), 1, 1),
      VoltmeterReading::measured(dtAddSeconds(t0, 3), 1.13e174, 0),
      VoltmeterReading::measured(dtAddSeconds(t0, 3), 0, std::nan("")),
      VoltmeterReading::measured(dtAddSeconds(t0, 3), 1, 1),
      VoltmeterReading::measured(dtAddSeconds(t0, 3), 1, 1),
      VoltmeterReading::measured(dtAddSeconds(t0, 3 * 86400.0), 2, 2),
      VoltmeterReading::measured(dtAddSeconds(t0, 3 * 86400.0 + 1), 3, 3)};
  more[4].tag = 0;
  more[5].time.seconds = 86402;
  const auto append = [](const fs::path& file, const std::vector<VoltmeterReading>& rs) {
    std::ofstream o(file, std::ios::binary | std::ios::app);
    for (const VoltmeterReading& r : rs) {
      const auto b72 = r.toBytes();
      o.write(reinterpret_cast<const char*>(b72.data()), std::streamsize(b72.size()));
    }
  };
  append(f, more);
  ASSERT_EQ(convertVoltmeterFile(f, csv, QStringLiteral("TX9"), {',', '\t'}), 0);
  const auto kept = lines(slurp(csv));
  ASSERT_EQ(kept.size(), 8u);
  EXPECT_EQ(kept[4].substr(0, 19), " 7,000000\t 7,000000");
  EXPECT_EQ(kept[5].substr(0, 19), " 1,000000\t 1,000000");
  EXPECT_EQ(kept[7].substr(0, 19), " 3,000000\t 3,000000");
  EXPECT_EQ(skippedReadingsNote(f),
            QStringLiteral("4 damaged readings left out (entries 6, 7, 8, 9); the clock jumped by "
                           "more than a day before entries 5, 10 (kept)"));
  EXPECT_EQ(skippedReadingsNote(f, 0),
            QStringLiteral("4 beschädigte Messwerte ausgelassen (Einträge 6, 7, 8, 9); die Uhr "
                           "sprang um mehr als einen Tag vor Einträgen 5, 10 (behalten)"));
  // The window's chart shows the same readings and its headline says the same.
  ASSERT_EQ(show_->showFile(IntermediateFamily::VMXY, f).rc, 0);
  EXPECT_EQ(presenter_.chartCount, 7u);
  EXPECT_EQ(data_->shownSeriesHeadlineNote(),
            QStringLiteral("  ") + skippedReadingsNote(f, languageIndex()));

  // The last reading of a run after the machine woke, and a lone reading days from the
  // header's start (the clock set between them), are kept, not called damaged.
  const fs::path g = intermediateFileName(dir_, IntermediateFamily::VMXY, 2);
  fs::copy_file(textHeaderName(f), textHeaderName(g));
  append(g, {VoltmeterReading::measured(t0, 1, 1),
             VoltmeterReading::measured(dtAddSeconds(t0, 1), 2, 2),
             VoltmeterReading::measured(dtAddSeconds(t0, 2 * 86400.0), 3, 3)});
  std::vector<VoltmeterReading> back;
  VoltmeterReadNotes notes;
  ASSERT_EQ(readVoltmeterIntermediate(g, back, t0, &notes), 0);
  EXPECT_EQ(back.size(), 3u);
  EXPECT_TRUE(notes.damaged.empty());
  EXPECT_EQ(notes.clockJumps, std::vector<std::size_t>{3});
  EXPECT_EQ(skippedReadingsNote(g),
            QStringLiteral("the clock jumped by more than a day before entry 3 (kept)"));
  fs::resize_file(g, 72);
  ASSERT_EQ(readVoltmeterIntermediate(g, back, dtAddSeconds(t0, -3 * 86400.0), &notes), 0);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(notes.clockJumps, std::vector<std::size_t>{1});
  ASSERT_EQ(show_->showFile(IntermediateFamily::VMXY, g).rc, 0);
  EXPECT_EQ(presenter_.chartCount, 1u);
  EXPECT_EQ(data_->shownSeriesHeadlineNote(), QString());  // nothing to say of this one
}

TEST_F(RecordFiles, LogicRecordWritesItsEntriesAndSavesOnlyMeasuredSamples) {
  settings_.mode = kModeLAIO;
  settings_.trgTypString = "P";
  settings_.memoryDepth = 4;
  settings_.autoSaveMode = 2;
  const std::vector<std::uint8_t> raw = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00};
  data_->logicRecord(raw);
  EXPECT_EQ(data_->logicRecordFinish(), 0);
  const fs::path f = intermediateFileName(dir_, IntermediateFamily::LAIO, 1);
  const auto b = bytesOf(f);
  ASSERT_EQ(b.size(), 5u * 8u);  // n + 1 entries
  EXPECT_EQ(getU32(b.data() + 8), 1u);
  EXPECT_EQ(b[8 + 4], 0x01);
  EXPECT_EQ(getU32(b.data() + 32), 0xFFFFFFFFu);  // the filler entry
  EXPECT_EQ(data_->logicList().count(), 4);  // the record on screen keeps its length
  EXPECT_EQ(fs::file_size(files_->lastDataFile()), 80u + 4u * 2u);

  const fs::path csv = dir_ / "l.CSV";
  ASSERT_EQ(convertLogicFile(f, csv, QStringLiteral("TX9"), "X", {'.', ';'}), 0);
  const auto l = lines(slurp(csv));
  ASSERT_EQ(l.size(), 5u);
  EXPECT_EQ(l[3].substr(43), ";Trigger mode;\"X\"");
  EXPECT_EQ(l[4].substr(0, 43), "   0.000300;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1;1");

  TLogAnalList empty;
  EXPECT_EQ(writeLogicIntermediate(dir_ / "e.FIL", empty), kEmptySampleList);
  EXPECT_FALSE(fs::exists(dir_ / "e.FIL"));
}

TEST_F(RecordFiles, IoLoggerRunStampsItsFirstChunkAndConvertsAtTheEnd) {
  settings_.mode = kModeDLDI;
  settings_.autoSaveMode = 1;
  settings_.sampleTime = 0.001;
  const DayTime run = now_;
  data_->loggerRunStarted(kModeDLDI);
  now_ = dtAddSeconds(run, 1.0);
  std::vector<std::uint8_t> chunk = {0, 0, 0x05, 0x00, 0, 0, 0x0A, 0x00};
  chunk.insert(chunk.end(), {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
                             0xFF, 0xFF, 0x00, 0x00});
  ASSERT_EQ(data_->loggerChunk(kModeDLDI, chunk), 0);
  data_->loggerRunEnded(kModeDLDI);
  const fs::path f = intermediateFileName(dir_, IntermediateFamily::DLDI, 1);
  SettingsRecord h;
  std::optional<DayTime> t;
  ASSERT_EQ(readTextHeader(f, h, &t), 0);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(*t, dtAddSeconds(run, 1.0));
  EXPECT_EQ(files_->lastDataFile(), dir_ / "20261208" / "143016_120_DLDI.CSV");
  const auto l = lines(slurp(files_->lastDataFile()));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[1].substr(0, 11), "   0,000000");
  EXPECT_EQ(l[2].substr(0, 11), "   0,001000");
}

TEST_F(RecordFiles, AnalogLoggerConversionNeedsTheHeaderTime) {
  const fs::path f = intermediateFileName(dir_, IntermediateFamily::DLA0, 1);
  fs::create_directories(f.parent_path());
  // Four samples and the end marker (zero bytes stand for the samples).
  std::string stream(4 * 4, '\0');
  stream.append(reinterpret_cast<const char*>(kLoggerEndMarker), 16);
  spit(f, stream);
  const fs::path csv = dir_ / "a.CSV";
  EXPECT_EQ(convertAnalogLoggerFile(f, csv, QStringLiteral("TX9"), settings_, {}), 2);
  ASSERT_EQ(writeTextHeader(f, settings_), 0);
  EXPECT_EQ(convertAnalogLoggerFile(f, csv, QStringLiteral("TX9"), settings_, {}), kNoSamples);
  EXPECT_FALSE(fs::exists(csv));
  ASSERT_EQ(appendTextHeaderDateTime(f, now_), 0);
  ASSERT_EQ(convertAnalogLoggerFile(f, csv, QStringLiteral("TX9"), settings_, {}), 0);
  EXPECT_EQ(lines(slurp(csv)).size(), 4u);
  EXPECT_EQ(convertAnalogLoggerFile(dir_ / "none.FIL", csv, QStringLiteral("TX9"), settings_, {}),
            2);
}

// A stored logger stream is converted with what it was measured with, whatever the window holds
// now: probe factor, divider, sample time and trigger type all come from its own header.
TEST_F(RecordFiles, StoredFilesConvertWithTheirOwnHeader) {
  SettingsRecord h = scopeSettings();
  h.mode = kModeDLA0;
  h.amplC0 = 10;
  h.probeFactorC0 = 10;
  h.probeHelpFactorFlag = false;
  h.sampleTime = 0.001;
  h.trgTypString = "M";
  const fs::path f = intermediateFileName(dir_, IntermediateFamily::DLA0, 1);
  fs::create_directories(f.parent_path());
  std::string stream = {'\x00', '\xC0', '\x00', '\x80'};  // +2.5 V of 10 V, x 10
  stream.append(reinterpret_cast<const char*>(kLoggerEndMarker), 16);
  spit(f, stream);
  ASSERT_EQ(writeTextHeader(f, h, now_), 0);
  const fs::path csv = dir_ / "a.CSV";
  ASSERT_EQ(convertIntermediateFile(IntermediateFamily::DLA0, f, csv, QStringLiteral("TX9"),
                                    {'.', ';'}),
            0);
  const auto l = lines(slurp(csv));
  ASSERT_EQ(l.size(), 1u);
  EXPECT_EQ(l[0], "25.000000; 0.000000;Device;TX9");
  // Ranges, trigger type and sample time of the header in the parameter rows.
  spit(f, std::string(6 * 4, '\0') +
              std::string(reinterpret_cast<const char*>(kLoggerEndMarker), 16));
  ASSERT_EQ(convertIntermediateFile(IntermediateFamily::DLA0, f, csv, QStringLiteral("TX9"),
                                    {'.', ';'}),
            0);
  const auto m = lines(slurp(csv));
  ASSERT_EQ(m.size(), 6u);
  EXPECT_EQ(m[3], "-50.000000;-2.500000;Trigger mode;\"M\"");
  EXPECT_EQ(m[4], "-50.000000;-2.500000;Sampletime;0.001000;s");

  // A failure says which end failed, whatever its code: the table (a name without a file name,
  // a folder that is a file) or the stream (gone, or a folder in its place, with its header
  // still beside it).
  ConvertSide side = ConvertSide::None;
  const auto convert = [&](const fs::path& from, const fs::path& to) {
    side = ConvertSide::None;
    return convertIntermediateFile(IntermediateFamily::DLA0, from, to, {}, {}, &side);
  };
  EXPECT_EQ(convert(f, dir_ / "x" / ""), -194);
  EXPECT_EQ(side, ConvertSide::Target);
  spit(dir_ / "blocker", "x");
  EXPECT_GT(convert(f, dir_ / "blocker" / "a.CSV"), 0);
  EXPECT_EQ(side, ConvertSide::Target);
  EXPECT_EQ(convert(f, csv), 0);
  EXPECT_EQ(side, ConvertSide::None);
  {
    // A disk full mid-way through the table: its end failed, not the stream's, and no part of
    // a table is left.
    const fs::path partial = dir_ / "full.CSV";
    tolv::testing::FileSizeLimit full(64);
    EXPECT_EQ(convert(f, partial), EFBIG);
    EXPECT_EQ(side, ConvertSide::Target);
    EXPECT_FALSE(fs::exists(partial));
  }
  const fs::path held = f.parent_path() / "held";
  fs::rename(f, held);
  fs::create_directory(f);
  EXPECT_GT(convert(f, csv), 0);
  EXPECT_EQ(side, ConvertSide::Source);
  fs::remove(f);
  EXPECT_EQ(convert(f, csv), 2);
  EXPECT_EQ(side, ConvertSide::Source);
  // The same for a record converted in one piece: a header without its time is the record's.
  const fs::path scope = intermediateFileName(dir_, IntermediateFamily::OSA0, 1);
  fs::create_directories(scope.parent_path());
  h.mode = kModeOSA0;
  ASSERT_EQ(writeTextHeader(scope, h), 0);
  spit(scope, std::string(8, '\0'));
  EXPECT_EQ(convertIntermediateFile(IntermediateFamily::OSA0, scope, csv, {}, {}, &side),
            kNoSamples);
  EXPECT_EQ(side, ConvertSide::Source);
}

TEST_F(RecordFiles, VoltmeterFileClosesOnAWriteErrorAndKeepsWhatWasWritten) {
  TVoltmeterIntermediateFile f;
  const fs::path name = dir_ / "v.FIL";
  EXPECT_EQ(f.append(VoltmeterReading{}), kIntermediateNotOpen);
  ASSERT_EQ(f.open(name), 0);
  ASSERT_EQ(f.append(VoltmeterReading::measured(now_, 1, 2)), 0);
  {
    struct rlimit old {
    }, l{};
    getrlimit(RLIMIT_FSIZE, &old);
    l = old;
    l.rlim_cur = 100;  // room for one reading, not two
    auto* handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &l);
    EXPECT_EQ(f.append(VoltmeterReading::measured(now_, 3, 4)), EFBIG);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
  }
  EXPECT_FALSE(f.isOpen());
  EXPECT_EQ(f.append(VoltmeterReading{}), kIntermediateNotOpen);
  std::vector<VoltmeterReading> back;
  ASSERT_EQ(readVoltmeterIntermediate(name, back), 0);
  ASSERT_GE(back.size(), 1u);
  EXPECT_EQ(back[0].value1, 2.0);
  EXPECT_EQ(readVoltmeterIntermediate(dir_ / "none.FIL", back), 2);
  EXPECT_NE(f.open(dir_ / "no" / "folder.FIL"), 0);
}

// A record file cut by whole samples, or longer than any record, would give a table with made-up
// zero rows or lost samples under a memory depth it contradicts: both are refused, for the
// window's "save as CSV" as for the command line, and nothing is written.
// A header with a sample time or memory depth no record has gives times and trigger positions
// that mean nothing: it is refused as damaged, by the conversions, the identification the
// command line uses and the window's show alike. The tables' own ends stay accepted.
TEST_F(RecordFiles, ImpossibleSampleTimeOrDepthInTheHeaderIsRefused) {
  using P = StoredContent::Problem;
  const double nan = std::nan("");
  struct Row {
    IntermediateFamily family;
    double sampleTime, memoryDepth;
    P problem;
  };
  const Row rows[] = {
      {IntermediateFamily::LAIO, 0, 1000, P::BadSampleTime},
      {IntermediateFamily::LAIO, -1e-5, 1000, P::BadSampleTime},
      {IntermediateFamily::LAIO, nan, 1000, P::BadSampleTime},
      {IntermediateFamily::LAIO, 1e30, 1000, P::BadSampleTime},
      {IntermediateFamily::LAIO, 26, 1000, P::BadSampleTime},
      {IntermediateFamily::LAIO, 1e-5, 1e16, P::BadMemoryDepth},
      {IntermediateFamily::LAIO, 1e-5, -2e5, P::BadMemoryDepth},
      {IntermediateFamily::LAIO, 1e-5, nan, P::BadMemoryDepth},
      {IntermediateFamily::LAIO, 1e-5, 0, P::BadMemoryDepth},
      {IntermediateFamily::OSA0, 1e-5, 262001, P::BadMemoryDepth},
      {IntermediateFamily::OSA0, 9e-8, 1000, P::BadSampleTime},
      {IntermediateFamily::DLA0, 0, 1000, P::BadSampleTime},
      {IntermediateFamily::DLDI, nan, 1000, P::BadSampleTime},
      // The ends of the tables, and a logger's depth, which its stream does not use.
      {IntermediateFamily::LAIO, 1e-6, 262000, P::None},
      {IntermediateFamily::OSA0, 2.5, 1, P::None},
      {IntermediateFamily::DLA0, 1e-3, 0, P::None},
      {IntermediateFamily::VMXY, 0, 0, P::None},
  };
  for (const Row& row : rows) {
    SettingsRecord h = settings_;
    h.sampleTime = row.sampleTime;
    h.memoryDepth = row.memoryDepth;
    SCOPED_TRACE(std::to_string(row.sampleTime) + " " + std::to_string(row.memoryDepth));
    const StoredContent c = checkStoredHeader(row.family, h);
    EXPECT_EQ(c.problem, row.problem);
    EXPECT_EQ(c.code(), row.problem == P::None ? 0 : kDamagedFile);
  }
  EXPECT_EQ(checkStoredHeader(IntermediateFamily::OSA0, [&] {
              SettingsRecord h = settings_;
              h.memoryDepth = -1;
              return h;
            }()).text(1),
            QStringLiteral("its text header is damaged (impossible memory depth)"));

  // A whole logic-analyser record under a header whose sample time is NaN.
  SettingsRecord la = settings_;
  la.mode = kModeLAIO;
  la.trgTypString = "P";
  la.memoryDepth = 1000;
  la.sampleTime = nan;
  const fs::path logic = intermediateFileName(dir_, IntermediateFamily::LAIO, 1);
  fs::create_directories(logic.parent_path());
  spit(logic, std::string(8 * 1001, '\0'));
  ASSERT_EQ(writeTextHeader(logic, la, now_), 0);
  const StoredContent c = checkStoredContent(IntermediateFamily::LAIO, logic, la);
  EXPECT_EQ(c.problem, P::BadSampleTime);
  EXPECT_EQ(c.text(1), QStringLiteral("its text header is damaged (impossible sample time)"));
  const fs::path csv = dir_ / "out.CSV";
  EXPECT_EQ(convertLogicFile(logic, csv, QStringLiteral("TX9"), "P", {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));
  StoredKind kind = StoredKind::Unknown;
  const StoredProblem p = identifyStoredFile(logic, '\t', kind);
  EXPECT_FALSE(p.ok());
  EXPECT_EQ(p.reason, QStringLiteral("its text header is damaged (impossible sample time)"));
  const int plots = presenter_.logicPlots;
  EXPECT_EQ(show_->showFile(IntermediateFamily::LAIO, logic).rc, kDamagedFile);
  EXPECT_EQ(presenter_.logicPlots, plots);
  // The same record under a sound header converts and shows.
  la.sampleTime = 1e-5;
  ASSERT_EQ(writeTextHeader(logic, la, now_), 0);
  EXPECT_EQ(convertLogicFile(logic, csv, QStringLiteral("TX9"), "P", {}), 0);
  EXPECT_EQ(show_->showFile(IntermediateFamily::LAIO, logic).rc, 0);
  EXPECT_EQ(presenter_.logicPlots, plots + 1);

  // A logger stream is converted by the same call the window's "save as CSV" makes.
  SettingsRecord dl = settings_;
  dl.mode = kModeDLA0;
  dl.sampleTime = 0;
  const fs::path stream = intermediateFileName(dir_, IntermediateFamily::DLA0, 1);
  fs::create_directories(stream.parent_path());
  spit(stream, std::string(16, '\0'));
  ASSERT_EQ(writeTextHeader(stream, dl, now_), 0);
  fs::remove(csv);
  EXPECT_EQ(convertIntermediateFile(IntermediateFamily::DLA0, stream, csv, {}, {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));
  EXPECT_EQ(show_->showFile(IntermediateFamily::DLA0, stream).rc, kDamagedFile);
}

TEST_F(RecordFiles, CutAndOverlongRecordFilesAreNotConverted) {
  const fs::path csv = dir_ / "out.CSV";
  const auto withHeader = [&](IntermediateFamily f, const std::string& bytes,
                              const SettingsRecord& h) {
    const fs::path p = intermediateFileName(dir_, f, 1);
    fs::create_directories(p.parent_path());
    spit(p, bytes);
    EXPECT_EQ(writeTextHeader(p, h, now_), 0);
    return p;
  };
  SettingsRecord la = settings_;
  la.mode = kModeLAIO;
  la.trgTypString = "P";
  la.memoryDepth = 1000;
  // 1001 entries make the whole record; 500 are cut.
  const fs::path logic = withHeader(IntermediateFamily::LAIO, std::string(8 * 500, '\0'), la);
  StoredContent c = checkStoredContent(IntermediateFamily::LAIO, logic, la);
  EXPECT_EQ(c.problem, StoredContent::Problem::CutRecord);
  EXPECT_EQ(c.have, 499u);
  EXPECT_EQ(c.want, 1000u);
  EXPECT_EQ(c.text(1), QStringLiteral("the file is cut short (499 of 1000 samples)"));
  EXPECT_EQ(convertLogicFile(logic, csv, QStringLiteral("TX9"), "P", {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));
  spit(logic, std::string(8 * 1001, '\0'));
  EXPECT_TRUE(checkStoredContent(IntermediateFamily::LAIO, logic, la).ok());
  EXPECT_EQ(convertLogicFile(logic, csv, QStringLiteral("TX9"), "P", {}), 0);
  EXPECT_EQ(lines(slurp(csv)).size(), 1001u);

  // The scope: 200 001 entries are more than its sample array holds.
  SettingsRecord sc = settings_;
  sc.memoryDepth = 200000;
  const fs::path scope = withHeader(IntermediateFamily::OSA0, std::string(8 * 200001, '\0'), sc);
  c = checkStoredContent(IntermediateFamily::OSA0, scope, sc);
  EXPECT_EQ(c.problem, StoredContent::Problem::TooLong);
  EXPECT_EQ(c.have, 200000u);
  EXPECT_EQ(c.want, 131000u);
  fs::remove(csv);
  EXPECT_EQ(convertScopeFile(scope, csv, QStringLiteral("TX9"), {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));
  // A full array under a larger memory depth is what a record of that depth gives.
  spit(scope, std::string(8 * 131001, '\0'));
  EXPECT_TRUE(checkStoredContent(IntermediateFamily::OSA0, scope, sc).ok());
  EXPECT_EQ(convertScopeFile(scope, csv, QStringLiteral("TX9"), {}), 0);
  // One sample short of the memory depth below the array's end is cut.
  sc.memoryDepth = 1000;
  EXPECT_EQ(writeTextHeader(scope, sc, now_), 0);
  spit(scope, std::string(8 * 1000, '\0'));
  c = checkStoredContent(IntermediateFamily::OSA0, scope, sc);
  EXPECT_EQ(c.problem, StoredContent::Problem::CutRecord);
  EXPECT_EQ(c.have, 999u);
  // More samples than its header names: the header is another file's (a voltmeter series of
  // 240 readings beside a scope header), and its volts would be made up.
  spit(scope, std::string(72 * 240, '\x01'));
  c = checkStoredContent(IntermediateFamily::OSA0, scope, sc);
  EXPECT_EQ(c.problem, StoredContent::Problem::Unheaded);
  EXPECT_EQ(c.text(1),
            QStringLiteral("the file does not match its text header (2159 samples, the header "
                           "names 1000)"));
  spit(scope, std::string(8 * 1001, '\0'));
  EXPECT_TRUE(checkStoredContent(IntermediateFamily::OSA0, scope, sc).ok());
  spit(scope, std::string(8 * 1002, '\0'));
  fs::remove(csv);
  EXPECT_EQ(convertScopeFile(scope, csv, QStringLiteral("TX9"), {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));

  // A voltmeter series none of whose readings is one a run writes holds nothing to convert.
  SettingsRecord vm = settings_;
  vm.mode = kModeVMD0;
  const fs::path volts = withHeader(IntermediateFamily::VMXY, std::string(72 * 3, '\x7f'), vm);
  c = checkStoredContent(IntermediateFamily::VMXY, volts, vm);
  EXPECT_EQ(c.problem, StoredContent::Problem::NoneWhole);
  EXPECT_EQ(c.text(1), QStringLiteral("damaged file: none of its 3 readings is whole"));
  EXPECT_EQ(convertVoltmeterFile(volts, csv, QStringLiteral("TX9"), {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));
  const auto one = VoltmeterReading::measured(now_, 1, 2).toBytes();
  std::ofstream(volts, std::ios::binary | std::ios::app)
      .write(reinterpret_cast<const char*>(one.data()), std::streamsize(one.size()));
  EXPECT_TRUE(checkStoredContent(IntermediateFamily::VMXY, volts, vm).ok());

  // A logic-analyser ".VXD" with fewer samples than its memory depth.
  const fs::path vxd = dir_ / "l.VXD";
  TLogAnalList list;
  for (int i = 0; i < 2000; ++i) list.add(i, std::uint16_t(i));
  ASSERT_EQ(writeLogicVxd(vxd,
                          {QStringLiteral("TX9"),
                           [&] {
                             SettingsRecord s = la;
                             s.memoryDepth = 2000;
                             return s;
                           }(),
                           now_},
                          list),
            0);
  fs::resize_file(vxd, kLogicVxdHeader + 2 * 500);
  fs::remove(csv);
  EXPECT_EQ(convertLogicVxdFile(vxd, csv, {}), kDamagedFile);
  EXPECT_FALSE(fs::exists(csv));
}
