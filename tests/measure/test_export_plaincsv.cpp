#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "export_clients.h"
#include "files_fixture.h"
#include "measure/export_plaincsv.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace tolv {
namespace {

using testfiles::FilesTest;
using testfiles::slurp;
using testfiles::spit;
using testfiles::stamp;

std::string timeText(double step, double origin, std::int64_t n) {
  std::string s;
  TPlainTimeAxis(step, origin).append(s, n);
  return s;
}

using testclients::tableLines;

bool hasComment(const std::string& text, const std::string& line) {
  return text.find("# " + line + "\n") != std::string::npos;
}

SettingsRecord scopeRecord() {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeOSA0;
  s.sampleTime = 1e-5;
  s.memoryDepth = 1000;
  s.triggerPoint = 10;
  s.trgTypString = "E";
  s.trgChan = 1;
  s.amplC0 = 20;
  s.amplC1 = 2;
  s.probeFactorC1 = 10;
  s.trgLevelLower = 0.25;
  s.trgLevelUpper = 1.5;
  s.probeHelpFactorFlag = false;
  return s;
}

TEST(PlainTimeAxis, TimesAreExactDecimalsWhereTheDoubleProductIsNot) {
  EXPECT_EQ(timeText(0.1, 0, 3), "0.3");  // 3 * 0.1 is 0.30000000000000004 in binary
  EXPECT_EQ(timeText(1e-5, 100, 0), "-0.001");
  EXPECT_EQ(timeText(1e-5, 100, 100), "0");
  EXPECT_EQ(timeText(1e-5, 100, 103), "0.00003");
  EXPECT_EQ(timeText(2.5e-6, 0, 7), "0.0000175");
  EXPECT_EQ(timeText(0.001, 0, 131000), "131");
  EXPECT_EQ(timeText(2, 0, 5), "10");
  // One sample before a trigger at sample 1: just below zero, with its sign.
  EXPECT_EQ(timeText(0.5, 1, 0), "-0.5");
  // A step of no short decimal form falls back to the shortest double.
  EXPECT_EQ(timeText(1.0 / 3.0, 0, 3), "1");
  EXPECT_DOUBLE_EQ(std::stod(timeText(1.0 / 3.0, 0, 2)), 2.0 / 3.0);
  // A trigger between samples cannot be exact on a decimal grid; the double is used.
  EXPECT_DOUBLE_EQ(std::stod(timeText(1e-3, 0.5, 1)), 0.0005);
}

class PlainCsvTest : public FilesTest {};

TEST_F(PlainCsvTest, ScopeBlockHasItsHeadHeaderLineAndOneRowPerSample) {
  const SettingsRecord s = scopeRecord();
  const RecordInfo info{QStringLiteral("20A4711"), s, stamp(2026, 12, 9, 14, 30, 15.120)};
  const std::vector<ScopeSample> samples = {{1.5f, -0.25f}, {0.1f, 3.0f}, {-7.125f, 0.0f}};
  std::ostringstream out;
  ASSERT_EQ(writePlainScope(out, plainHeadOf(info, 3), samples), 0);
  const std::string t = out.str();
  EXPECT_EQ(t.rfind("# multi_tolvanex plain CSV\n", 0), 0u);
  for (const char* c : {"serial: 20A4711", "mode: OSA0 scope",
                        "measurement_time: 2026-12-09T14:30:15.120", "sample_time_s: 1e-05",
                        "samples: 3", "ch0_range_Vpp: 20", "ch1_range_Vpp: 2", "ch1_probe: 10",
                        "trigger_type: E", "trigger_channel: 2", "trigger_point_percent: 10",
                        "trigger_sample: 100", "lower_threshold_V: 2.5",
                        "upper_threshold_V: 15", "time_origin: trigger"})
    EXPECT_TRUE(hasComment(t, c)) << c << "\n" << t;
  EXPECT_EQ(t.find("probe_divider"), std::string::npos);  // no divider in use
  // The thresholds (0.25 V and 1.5 V set) are in the volts of the samples: channel 2's probe 10.
  // The moment as the window's CSV cells name it: milliseconds cut, not rounded.
  EXPECT_EQ(isoTimeText(stamp(2026, 12, 31, 23, 59, 59.9996)), "2026-12-31T23:59:59.999");
  // Time 0 is the trigger, 10 % of 1000 samples in; float samples print as the floats they are.
  EXPECT_EQ(tableLines(t), (std::vector<std::string>{"time_s,ch0_V,ch1_V", "-0.001,1.5,-0.25",
                                                     "-0.00099,0.1,3", "-0.00098,-7.125,0"}));
  EXPECT_EQ(t.find("record_samples"), std::string::npos);
  // A binary file keeps the pretrigger time, not the sample: worked back, it is the whole
  // sample the record's own intermediate file names.
  VxdHeader v;
  v.trgTypString = "E";
  v.sampleTime = 1e-5;
  v.pretriggerTime = 1000 * 1e-5 * (1 - 1e-16);
  v.count = 2000;
  const PlainCsvHead vh = plainHeadOfVxd(v, kModeOSA0);
  ASSERT_TRUE(vh.triggerSample && vh.triggerPoint);
  EXPECT_EQ(*vh.triggerSample, 1000.0);
  EXPECT_EQ(*vh.triggerPoint, 50.0);
  // A depth beyond the scope's memory: the head says the rows are its start.
  SettingsRecord deep = s;
  deep.memoryDepth = 262000;
  std::ostringstream cut;
  ASSERT_EQ(writePlainScope(cut, plainHeadOf({QStringLiteral("D"), deep, {}}, 3), samples), 0);
  EXPECT_TRUE(hasComment(cut.str(), "record_samples: 262000 (the rows hold the first 3, what "
                                    "the scope's memory keeps)"))
      << cut.str();
  // 33.3 % of 1000 samples is sample 333, not a product's rounding error off it.
  SettingsRecord odd = s;
  odd.triggerPoint = 33.3;
  EXPECT_EQ(*plainHeadOf({info.serial, odd, info.time}, 3).triggerSample, 333.0);
}

TEST_F(PlainCsvTest, UntriggeredScopeCountsFromTheFirstSampleAndNamesTheDivider) {
  SettingsRecord s = scopeRecord();
  s.trgTypString = "M";
  s.probeHelpFactorFlag = true;
  const std::vector<ScopeSample> samples = {{1, 2}, {3, 4}};
  std::ostringstream out;
  ASSERT_EQ(writePlainScope(out, plainHeadOf({QStringLiteral("X"), s, {}}, 2), samples), 0);
  const std::string t = out.str();
  EXPECT_TRUE(hasComment(t, "time_origin: first sample"));
  EXPECT_TRUE(hasComment(t, "probe_divider: 0.85"));
  for (const char* absent : {"trigger_channel", "trigger_sample", "threshold"})
    EXPECT_EQ(t.find(absent), std::string::npos) << absent;
  EXPECT_EQ(tableLines(t)[1], "0,1,2");
  EXPECT_EQ(tableLines(t)[2], "0.00001,3,4");
}

TEST_F(PlainCsvTest, LogicRowsListLineZeroFirstAndStepBySnappedSampleTime) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeLAIO;
  s.sampleTime = 0.00099;  // snaps to 1 ms as the timing diagram draws it
  s.memoryDepth = 4;
  s.triggerPoint = 50;
  s.trgTypString = "P";
  s.relevances = 0x03;
  s.levels = 0x01;
  const std::vector<std::uint16_t> words = {0x0005, 0x8000, 0xFFFF, 0x0000};
  std::ostringstream out;
  ASSERT_EQ(writePlainLogic(out, plainHeadOf({QStringLiteral("L1"), s, {}}, 4), words), 0);
  const std::string t = out.str();
  EXPECT_TRUE(hasComment(t, "sample_time_s: 0.001"));
  EXPECT_TRUE(hasComment(t, "trigger_pattern: XXXXXXLH"));
  EXPECT_TRUE(hasComment(t, "trigger_sample: 2"));
  EXPECT_EQ(t.find("range_Vpp"), std::string::npos);  // lines have no ranges
  const auto rows = tableLines(t);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "time_s,D0,D1,D2,D3,D4,D5,D6,D7,D8,D9,D10,D11,D12,D13,D14,D15");
  EXPECT_EQ(rows[1], "-0.002,1,0,1,0,0,0,0,0,0,0,0,0,0,0,0,0");
  EXPECT_EQ(rows[2], "-0.001,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1");
  EXPECT_EQ(rows[3], "0,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1");
}

TEST_F(PlainCsvTest, VoltmeterTimesCountWholeMillisecondsFromTheSeriesStart) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeVMA1;
  const DayTime t0 = stamp(2026, 1, 2, 23, 59, 59.5);
  // The second reading lies after midnight: the day changes, the time axis goes on.
  const std::vector<VoltmeterReading> readings = {
      VoltmeterReading::measured(dtAddSeconds(t0, 0.25), 1.25, -0.5),
      VoltmeterReading::measured(dtAddSeconds(t0, 1.001), 0.1, 2)};
  std::ostringstream out;
  ASSERT_EQ(writePlainVoltmeter(out, plainHeadOf({QStringLiteral("V"), s, t0}, 2), readings), 0);
  const std::string t = out.str();
  EXPECT_TRUE(hasComment(t, "mode: VMA1 AC voltmeter (RMS), volts from raw converter values"));
  EXPECT_TRUE(hasComment(t, "time_origin: measurement_time"));
  // The raw modes' readings are volts: named as such.
  EXPECT_EQ(tableLines(t), (std::vector<std::string>{"time_s,ch0_V,ch1_V", "0.25,1.25,-0.5",
                                                     "1.001,0.1,2"}));
}

TEST_F(PlainCsvTest, VoltmeterStreamWritesTheHeadAtOnceAndEveryReadingWhenItComes) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeVMD0;
  std::ostringstream out;
  TPlainVoltmeterStream stream(out, plainHeadOf({QStringLiteral("V"), s, {}}, -1));
  EXPECT_EQ(tableLines(out.str()), std::vector<std::string>{"time_s,ch0_V,ch1_V"});
  EXPECT_EQ(out.str().find("samples:"), std::string::npos);  // not known up front
  const DayTime t0 = stamp(2026, 5, 5, 10, 0, 0);
  // A head without time: the first reading is time 0.
  EXPECT_EQ(stream.add(VoltmeterReading::measured(t0, 1, 2)), 0);
  EXPECT_EQ(stream.add(VoltmeterReading::measured(dtAddSeconds(t0, 0.3), 3, 4)), 0);
  EXPECT_EQ(tableLines(out.str()),
            (std::vector<std::string>{"time_s,ch0_V,ch1_V", "0,1,2", "0.3,3,4"}));
}

TEST_F(PlainCsvTest, AFailingStreamIsReportedNotIgnored) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  const std::vector<ScopeSample> samples(10);
  EXPECT_EQ(writePlainScope(out, plainHeadOf({QStringLiteral("X"), scopeRecord(), {}}, 10),
                            samples),
            5);
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeVMD0;
  TPlainVoltmeterStream stream(out, plainHeadOf({QStringLiteral("V"), s, {}}, -1));
  EXPECT_EQ(stream.status(), 5);
  EXPECT_EQ(stream.add(VoltmeterReading::measured(DayTime{}, 1, 2)), 5);
}

// Samples as the device sends them: two little-endian words each.
std::vector<std::uint8_t> streamOf(const std::vector<std::pair<std::uint16_t, std::uint16_t>>& s,
                                   bool endMarker) {
  std::vector<std::uint8_t> b;
  for (auto [w0, w1] : s) {
    b.push_back(std::uint8_t(w0));
    b.push_back(std::uint8_t(w0 >> 8));
    b.push_back(std::uint8_t(w1));
    b.push_back(std::uint8_t(w1 >> 8));
  }
  if (endMarker) b.insert(b.end(), std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
  return b;
}

TEST_F(PlainCsvTest, AnalogLoggerStreamInVoltsWithoutItsEnd) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeDLA0;
  s.sampleTime = 0.5;
  s.amplC0 = 10;
  s.amplC1 = 2;
  s.offsC1 = 1;
  // With the end marker every sample before it is a row, the last one too, as in the window's
  // table.
  const auto bytes = streamOf({{32768, 32768}, {49152, 0}, {0, 65535}, {1, 1}}, true);
  std::ostringstream out;
  ASSERT_EQ(writePlainAnalogLogger(out, plainHeadOf({QStringLiteral("A"), s, {}}, -1), bytes), 0);
  const std::string t = out.str();
  EXPECT_TRUE(hasComment(t, "samples: 4"));
  EXPECT_EQ(tableLines(t), (std::vector<std::string>{"time_s,ch0_V,ch1_V", "0,0,1", "0.5,2.5,0",
                                                     "1,-5,1.999969482421875",
                                                     "1.5,-4.999847412109375,3.0517578125e-05"}));
}

TEST_F(PlainCsvTest, IoLoggerStreamTakesTheSecondWordOfEachSample) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeDLDI;
  s.sampleTime = 0.0021;  // snaps to 2 ms
  const auto bytes = streamOf({{0xFFFF, 0x0001}, {0x0000, 0x0300}}, false);
  std::ostringstream out;
  ASSERT_EQ(writePlainIoLogger(out, plainHeadOf({QStringLiteral("D"), s, {}}, -1), bytes), 0);
  const auto rows = tableLines(out.str());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], "0,1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
  EXPECT_EQ(rows[2], "0.002,0,0,0,0,0,0,0,0,1,1,0,0,0,0,0,0");
}

TEST_F(PlainCsvTest, LoggerFileReadsItsOwnHeaderAndRefusesAHeaderWithoutTime) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeDLA0;
  s.sampleTime = 0.01;
  s.amplC0 = s.amplC1 = 10;
  const fs::path file = dir_ / "Intermediate_DLA0_001.FIL";
  // Several reading pieces: more samples than one piece holds.
  std::vector<std::pair<std::uint16_t, std::uint16_t>> samples;
  for (int i = 0; i < 70000; ++i) samples.push_back({std::uint16_t(i), std::uint16_t(65535 - i)});
  const auto bytes = streamOf(samples, true);
  spit(file, std::string(bytes.begin(), bytes.end()));
  ASSERT_EQ(writeTextHeader(file, s), 0);
  std::ostringstream none;
  EXPECT_EQ(writePlainLoggerFile(none, file, QStringLiteral("S")), kNoSamples);
  EXPECT_TRUE(none.str().empty());
  ASSERT_EQ(writeTextHeader(file, s, stamp(2026, 3, 1, 8, 0, 0)), 0);
  std::ostringstream fromFile, inMemory;
  ASSERT_EQ(writePlainLoggerFile(fromFile, file, QStringLiteral("S")), 0);
  ASSERT_EQ(writePlainAnalogLogger(
                inMemory, plainHeadOf({QStringLiteral("S"), s, stamp(2026, 3, 1, 8, 0, 0)}, -1),
                bytes),
            0);
  EXPECT_EQ(fromFile.str(), inMemory.str());
  EXPECT_EQ(tableLines(fromFile.str()).size(), 1u + 70000u);
  EXPECT_EQ(writePlainLoggerFile(none, dir_ / "missing.FIL", QStringLiteral("S")), 2);
}

// Readings of float precision kept in doubles are written as the float's shortest text
// ("0.7845357", not "0.7845357060432434"), which reads back to the same float; a double that
// is no float keeps every digit, and times never take the float's text.
TEST_F(PlainCsvTest, FloatReadingsTakeTheirShortestTextAndOtherDoublesKeepTheirDigits) {
  const float f = 0.7845357f;               // not exact in binary
  const double widened = double(f);         // 0.7845357060432434
  const double notAFloat = 0.1;             // needs more than a float's bits
  const double tiny = double(1.0e-7f);      // shortest float text in exponent form
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeVMD0;
  const DayTime t0 = stamp(2026, 5, 5, 10, 0, 0);
  std::ostringstream out;
  ASSERT_EQ(writePlainVoltmeter(out, plainHeadOf({QStringLiteral("V"), s, t0}, 2),
                                std::vector<VoltmeterReading>{
                                    VoltmeterReading::measured(t0, widened, notAFloat),
                                    VoltmeterReading::measured(dtAddSeconds(t0, 0.001), -widened,
                                                               tiny)}),
            0);
  const std::vector<std::string> lines = tableLines(out.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "0,0.7845357,0.1");
  EXPECT_EQ(lines[2], "0.001,-0.7845357,1e-07");
  EXPECT_EQ(std::strtof("0.7845357", nullptr), f);
  // The streamed series writes the same text.
  std::ostringstream streamed;
  TPlainVoltmeterStream stream(streamed, plainHeadOf({QStringLiteral("V"), s, t0}, -1));
  ASSERT_EQ(stream.add(VoltmeterReading::measured(t0, widened, 1.0 / 3.0)), 0);
  EXPECT_EQ(tableLines(streamed.str()).back(), "0,0.7845357,0.3333333333333333");
  // Scope channels and merged cells given as doubles likewise; the time column stays exact.
  PlainCsvHead head;
  head.serial = QStringLiteral("multi");
  std::vector<PlainDeviceSeries> d(1);
  d[0] = {QStringLiteral("A1"), {double(0.1f)}, {widened}, {notAFloat}};
  std::ostringstream merged;
  ASSERT_EQ(writePlainMerged(merged, head, d), 0);
  EXPECT_EQ(tableLines(merged.str()).back(), "0.10000000149011612,0.7845357,0.1");
  SettingsRecord sc = scopeRecord();
  sc.memoryDepth = 1;
  std::ostringstream scope;
  const std::vector<double> ch0{widened}, ch1{-2.5};
  ASSERT_EQ(writePlainScope(scope, plainHeadOf({QStringLiteral("S"), sc, t0}, 1), ch0, ch1), 0);
  const std::string last = tableLines(scope.str()).back();
  EXPECT_EQ(last.substr(last.find(',')), ",0.7845357,-2.5");
}

TEST_F(PlainCsvTest, MergedRecordSharesOneTimeColumnOnlyWhenAllTimesAgree) {
  PlainCsvHead head;
  head.serial = QStringLiteral("multi");
  std::vector<PlainDeviceSeries> d(2);
  d[0] = {QStringLiteral("A1"), {0, 0.1, 0.2}, {1, 2, 3}, {4, 5, 6}};
  d[1] = {QStringLiteral("B2"), {0, 0.1, 0.2}, {7, 8, 9}, {0.5, 0.25, 0.125}};
  std::ostringstream shared;
  ASSERT_EQ(writePlainMerged(shared, head, d), 0);
  EXPECT_EQ(tableLines(shared.str()),
            (std::vector<std::string>{"time_s,A1_ch0_V,A1_ch1_V,B2_ch0_V,B2_ch1_V", "0,1,4,7,0.5",
                                      "0.1,2,5,8,0.25", "0.2,3,6,9,0.125"}));
  // B triggered 0.05 s later and recorded one sample less: own time columns, empty cells.
  d[1] = {QStringLiteral("B2"), {-0.05, 0.05}, {7, 8}, {0.5, 0.25}};
  std::ostringstream own;
  ASSERT_EQ(writePlainMerged(own, head, d), 0);
  EXPECT_TRUE(hasComment(own.str(), "shared_time_column: no"));
  EXPECT_EQ(tableLines(own.str()),
            (std::vector<std::string>{"A1_time_s,A1_ch0_V,A1_ch1_V,B2_time_s,B2_ch0_V,B2_ch1_V",
                                      "0,1,4,-0.05,7,0.5", "0.1,2,5,0.05,8,0.25", "0.2,3,6,,,"}));
}

// pandas, the tool most of these files end in, reads a block as written.
TEST_F(PlainCsvTest, PandasReadsScopeAndLogicBlocksWithExactColumnsAndValues) {
  // Debian's interpreter holds Debian's pandas; a python3 earlier in PATH may not.
  const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  if (std::system((python + " -c 'import pandas' >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "python3 with pandas is not installed";
  SettingsRecord s = scopeRecord();
  std::vector<ScopeSample> samples(1000);
  for (int i = 0; i < 1000; ++i) samples[std::size_t(i)] = {0.1f * float(i), -0.3f * float(i)};
  {
    std::ofstream f(dir_ / "scope.csv", std::ios::binary);
    ASSERT_EQ(writePlainScope(f, plainHeadOf({QStringLiteral("20A4711"), s, {}}, 1000), samples),
              0);
  }
  s.mode = kModeLAIO;
  s.trgTypString = "P";
  std::vector<std::uint16_t> words(500);
  for (int i = 0; i < 500; ++i) words[std::size_t(i)] = std::uint16_t(i * 37);
  {
    std::ofstream f(dir_ / "logic.csv", std::ios::binary);
    ASSERT_EQ(writePlainLogic(f, plainHeadOf({QStringLiteral("L"), s, {}}, 500), words), 0);
  }
  const std::string script = R"(
import sys, numpy as np, pandas as pd
d = sys.argv[1]
s = pd.read_csv(d + '/scope.csv', comment='#')
assert list(s.columns) == ['time_s', 'ch0_V', 'ch1_V'], list(s.columns)
assert all(str(t) == 'float64' for t in s.dtypes), s.dtypes
assert len(s) == 1000
i = np.arange(1000)
# Times are (i - 100) * 10 us as decimals: equal to the nearest double of each exact value.
assert (s.time_s.values == np.array([float(repr((k - 100) / 100000)) for k in i])).all()
assert s.time_s[100] == 0.0 and s.time_s[103] == 3e-05
assert (s.ch0_V.values.astype(np.float32) == (np.float32(0.1) * i.astype(np.float32))).all()
assert (s.ch1_V.values.astype(np.float32) == (np.float32(-0.3) * i.astype(np.float32))).all()
l = pd.read_csv(d + '/logic.csv', comment='#')
assert list(l.columns) == ['time_s'] + ['D%d' % k for k in range(16)], list(l.columns)
assert len(l) == 500
w = np.arange(500) * 37
for k in range(16):
    assert str(l['D%d' % k].dtype) == 'int64'
    assert (l['D%d' % k].values == ((w >> k) & 1)).all(), k
print('ok')
)";
  spit(dir_ / "check.py", script);
  const std::string cmd = python + " " + (dir_ / "check.py").string() + " " + dir_.string() + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) text += buf;
  EXPECT_EQ(::pclose(p), 0) << text;
  EXPECT_EQ(text, "ok\n");
}

}  // namespace
}  // namespace tolv
