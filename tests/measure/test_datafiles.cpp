#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <limits>

#include "files_fixture.h"
#include "measure/datafiles.h"
#include "measure/intermediaterecords.h"
#include "measure/loggerstream.h"
#include "support/file_size_limit.h"

using namespace tolv;
using namespace tolv::testfiles;

namespace {

class DataFiles : public FilesTest {
 protected:
  RecordInfo info(const SettingsRecord& s, const DayTime& t = stamp(2026, 12, 8, 14, 30, 15.12)) {
    return {QStringLiteral("TX12345"), s, t};
  }
  static std::vector<ScopeSample> ramp(int n) {
    std::vector<ScopeSample> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[std::size_t(i)] = {float(i) * 0.001f, -float(i) * 0.002f};
    return v;
  }
};

// The bytes followed by the device's end marker.
std::vector<std::uint8_t> withMarker(std::vector<std::uint8_t> b) {
  b.insert(b.end(), std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker));
  return b;
}

}  // namespace

TEST_F(DataFiles, AutomaticNamesTakeTheFirstFreeNumberWithinOneMillisecond) {
  const DayTime t = stamp(2026, 12, 8, 14, 30, 15.12);
  const auto s = ramp(20);
  for (const char* ext : {"CSV", "VXD"}) {
    const fs::path a = automaticDataFileName(dir_, t, kModeOSA0, ext);
    EXPECT_EQ(a, dir_ / "20261208" / (std::string("143015_120_OSA0.") + ext));
    ASSERT_EQ(std::string(ext) == "CSV" ? writeScopeCsv(a, info(scopeSettings(), t), s, {})
                                        : writeScopeVxd(a, info(scopeSettings(), t), s),
              0);
    const fs::path b = automaticDataFileName(dir_, t, kModeOSA0, ext);
    EXPECT_EQ(b.filename().string(), std::string("143015_120_OSA0_1.") + ext);
    ASSERT_EQ(writeDataFile(b, "x"), 0);
    EXPECT_EQ(automaticDataFileName(dir_, t, kModeOSA0, ext).filename().string(),
              std::string("143015_120_OSA0_2.") + ext);
  }
}

TEST_F(DataFiles, NameUsesTheTriggerMomentAndCutsTheMilliseconds) {
  // Received 0.3 s after midnight, triggered 0.4 s earlier: the previous day's folder.
  const DayTime received = stamp(2026, 12, 9, 0, 0, 0.3);
  const DayTime trigger = dtAddSeconds(received, -0.4);
  const fs::path n = automaticDataFileName(dir_, trigger, kModeLAIO, "CSV");
  EXPECT_EQ(n, dir_ / "20261208" / "235959_900_LAIO.CSV");
  // 0.9996 s would round up to the next second; the name cuts it.
  EXPECT_EQ(automaticDataFileName(dir_, stamp(2026, 1, 2, 3, 4, 5.9996), kModeOSA0, "VXD")
                .filename()
                .string(),
            "030405_999_OSA0.VXD");
}

TEST_F(DataFiles, ScopeRowsFollowTheSeparatorSettings) {
  const std::vector<ScopeSample> s = {{1.5f, -0.25f}, {-12.0f, 0.0f}};
  const std::string text = scopeCsvText(info(scopeSettings()), s, {',', '\t'});
  const auto l = lines(text);
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0].substr(0, 19), " 1,500000\t-0,250000");
  EXPECT_EQ(l[1].substr(0, 19), "-12,000000\t 0,00000");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::string dot = scopeCsvText(info(scopeSettings()), s, {'.', ';'});
  EXPECT_EQ(dot.substr(0, 19), " 1.500000;-0.250000");
}

TEST_F(DataFiles, ScopeParameterRowsWithAndWithoutTriggerPoint) {
  SettingsRecord st = scopeSettings();  // 5 V ranges, 0.1 ms, 10000 samples, 10 %
  st.trgChan = 1;
  st.probeFactorC1 = 10;
  st.probeHelpFactorFlag = true;
  const auto l = lines(scopeCsvText(info(st), ramp(12), {'.', ';'}));
  ASSERT_EQ(l.size(), 12u);
  EXPECT_EQ(l[0], " 0.000000;-0.000000;Device;TX12345");
  EXPECT_EQ(l[1].substr(19), ";Date of measurement;12.08.2026;MM.DD.YYYY");
  EXPECT_EQ(l[2].substr(19), ";Time of measurement;14:30:15.120;HH:MM:SS.ms");
  EXPECT_EQ(l[3].substr(19), ";Trigger mode;\"T\"");
  EXPECT_EQ(l[4].substr(19), ";Trigger channel;2");
  EXPECT_EQ(l[5].substr(19), ";Pretrigger time; 0.10000;s");
  EXPECT_EQ(l[6].substr(19), ";Trigger sample;1000");
  // Levels of +-0.1 V through probe 10 and the 0.85 divider of channel 2: 9 / 0.85 + 1.
  EXPECT_EQ(l[7].substr(19), ";Lower trigger threshold;-1.158824;V");
  EXPECT_EQ(l[8].substr(19), ";Upper trigger threshold;1.158824;V");
  EXPECT_EQ(l[9].substr(19), ";Sampletime;0.000100;s");
  EXPECT_EQ(l[10].substr(19), ";Memory Depth;10000");
  EXPECT_EQ(l[11].size(), 19u);

  st.trgTypString = "M";  // manual: no trigger point, no thresholds
  const auto m = lines(scopeCsvText(info(st), ramp(12), {'.', ';'}));
  for (int r : {4, 5, 6, 7, 8}) EXPECT_EQ(m[std::size_t(r)].size(), 19u) << r;
  EXPECT_EQ(m[9].substr(19), ";Sampletime;0.000100;s");

  st.trgTypString = "d";  // trigger point, but no thresholds
  const auto d = lines(scopeCsvText(info(st), ramp(12), {'.', ';'}));
  EXPECT_EQ(d[4].substr(19), ";Trigger channel;2");
  EXPECT_EQ(d[7].size(), 19u);

  // A depth beyond the scope's memory names the samples the record holds; one the memory keeps
  // stays as set, whatever came.
  st.memoryDepth = 262000;
  EXPECT_EQ(lines(scopeCsvText(info(st), ramp(12), {'.', ';'}))[10].substr(19), ";Memory Depth;12");
  st.memoryDepth = 131000;
  EXPECT_EQ(lines(scopeCsvText(info(st), ramp(12), {'.', ';'}))[10].substr(19),
            ";Memory Depth;131000");
}

// The device compares its input with the levels as set; the rows give them in the samples'
// volts, through the trigger channel's probe factor and the 0.85 divider as the samples are.
// The levels are volts already: the range does not scale them again.
TEST_F(DataFiles, ThresholdsAreInTheVoltsOfTheSamples) {
  struct Case {
    bool aux;
    int chan;
    const char *lower, *upper;
  };
  // Channel 0 has probe 10 on a 10 V range, channel 1 probe -3 on a 2 V range.
  for (const Case c : {Case{true, 0, "-2,317647", "5,794118"}, Case{false, 0, "-2,000000", "5,000000"},
                       Case{true, 1, "0,741176", "-1,852941"}, Case{false, 1, "0,600000", "-1,500000"}}) {
    SettingsRecord st = scopeSettings();
    st.amplC0 = 10;
    st.amplC1 = 2;
    st.probeFactorC0 = 10;
    st.probeFactorC1 = -3;
    st.probeHelpFactorFlag = c.aux;
    st.trgChan = std::uint8_t(c.chan);
    st.trgLevelUpper = 0.5;
    st.trgLevelLower = -0.2;  // not exact in binary
    const auto l = lines(scopeCsvText(info(st), ramp(12), {',', '\t'}));
    EXPECT_EQ(l[7].substr(19), std::string("\tLower trigger threshold\t") + c.lower + "\tV")
        << c.aux << c.chan;
    EXPECT_EQ(l[8].substr(19), std::string("\tUpper trigger threshold\t") + c.upper + "\tV")
        << c.aux << c.chan;
  }
  // With probe 1 the divider leaves the samples and so the levels as they are.
  SettingsRecord st = scopeSettings();
  st.probeFactorC0 = 1;
  st.probeHelpFactorFlag = true;
  st.trgLevelUpper = 0.3;
  const auto l = lines(scopeCsvText(info(st), ramp(12), {'.', ';'}));
  EXPECT_EQ(l[8].substr(19), ";Upper trigger threshold;0.300000;V");
}

TEST_F(DataFiles, ScopeWritersRefuseEmptyRecordsAndBadNames) {
  const fs::path n = dir_ / "a.CSV";
  EXPECT_EQ(writeScopeCsv(n, info(scopeSettings()), {}, {}), kNoSamples);
  EXPECT_EQ(writeScopeVxd(n, info(scopeSettings()), {}), kNoSamples);
  EXPECT_FALSE(fs::exists(n));
  EXPECT_EQ(writeScopeCsv("a.CSV", info(scopeSettings()), ramp(3), {}), -192);
  EXPECT_EQ(writeScopeCsv(dir_.string() + "/", info(scopeSettings()), ramp(3), {}), -194);
}

TEST_F(DataFiles, ScopeVxdHeaderByteForByte) {
  SettingsRecord st = scopeSettings();
  st.trgTypString = "Tabc";  // cut to 3
  const DayTime t = stamp(2026, 12, 8, 14, 30, 15.12);
  RecordInfo ri{QStringLiteral("ABCDEFGHIJKL"), st, t};
  const auto s = ramp(4);
  const fs::path n = dir_ / "d" / "s.VXD";
  ASSERT_EQ(writeScopeVxd(n, ri, s), 0);
  const auto b = bytesOf(n);
  ASSERT_EQ(b.size(), 72u + 32u);
  std::vector<std::uint8_t> want(72, 0);
  want[0] = 10;
  std::memcpy(want.data() + 1, "ABCDEFGHIJ", 10);
  const auto tb = t.toBytes();
  std::memcpy(want.data() + 16, tb.data(), 16);
  want[32] = 3;
  std::memcpy(want.data() + 33, "Tab", 3);
  putF64(want.data() + 40, 10 * 0.01 * 10000 * 0.0001);
  putU32(want.data() + 48, 0);  // round(10 % of N = 4) = round(0.4)
  putF64(want.data() + 56, 0.0001);
  putU32(want.data() + 64, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 72), want);
  float f;
  std::memcpy(&f, &b[72 + 8 * 3 + 4], 4);
  EXPECT_EQ(f, s[3].ch1);

  VxdHeader h;
  std::vector<ScopeSample> back;
  ASSERT_EQ(readScopeVxd(n, h, back), 0);
  EXPECT_EQ(h.serial, QStringLiteral("ABCDEFGHIJ"));
  EXPECT_EQ(h.time, t);
  EXPECT_EQ(h.count, 4);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[2].ch0, s[2].ch0);
}

TEST_F(DataFiles, TriggerSampleOfTheScopeFileRoundsHalvesToEven) {
  SettingsRecord st = scopeSettings();
  st.triggerPoint = 50;
  EXPECT_EQ(getU32(scopeVxdHeader(info(st), 5).data() + 48), 2u);  // 2.5 -> 2
  EXPECT_EQ(getU32(scopeVxdHeader(info(st), 7).data() + 48), 4u);  // 3.5 -> 4
  // A record cut at the scope's memory is the start of the depth measured: its trigger sample
  // is a share of that depth, in the binary file as in the CSV (here just after the record).
  st.memoryDepth = 262000;
  st.trgTypString = "T";
  EXPECT_EQ(getU32(scopeVxdHeader(info(st), 131000).data() + 48), 131000u);
  std::vector<ScopeSample> cut(131000);
  EXPECT_EQ(lines(scopeCsvText(info(st), cut, {'.', ';'}))[6].substr(19), ";Trigger sample;131000");
  st.triggerPoint = 10;
  EXPECT_EQ(getU32(scopeVxdHeader(info(st), 131000).data() + 48), 26200u);
  st.memoryDepth = 131000;  // a whole record
  EXPECT_EQ(getU32(scopeVxdHeader(info(st), 131000).data() + 48), 13100u);
}

TEST_F(DataFiles, DamagedVxdFilesAreRefusedAndLeaveTheOutputs) {
  VxdHeader h;
  h.count = 77;
  std::vector<ScopeSample> s(3);
  std::vector<std::uint16_t> w(2);
  EXPECT_EQ(readScopeVxd(dir_ / "missing.VXD", h, s), 2);
  spit(dir_ / "empty.VXD", "");
  EXPECT_EQ(readScopeVxd(dir_ / "empty.VXD", h, s), kDamagedFile);
  EXPECT_EQ(readLogicVxd(dir_ / "empty.VXD", h, w), kDamagedFile);
  ASSERT_EQ(writeScopeVxd(dir_ / "ok.VXD", info(scopeSettings()), ramp(10)), 0);
  std::string ok = slurp(dir_ / "ok.VXD");
  spit(dir_ / "cut.VXD", ok.substr(0, ok.size() - 3));
  EXPECT_EQ(readScopeVxd(dir_ / "cut.VXD", h, s), kDamagedFile);
  std::string huge = ok;
  huge[64] = char(0xFF);  // N = -1 ... a binary file of something else
  huge[67] = char(0x7F);
  spit(dir_ / "bad.VXD", huge);
  EXPECT_EQ(readScopeVxd(dir_ / "bad.VXD", h, s), kDamagedFile);
  EXPECT_EQ(h.count, 77);
  EXPECT_EQ(s.size(), 3u);
  EXPECT_EQ(w.size(), 2u);
}

TEST_F(DataFiles, LogicVxdHeaderByteForByte) {
  SettingsRecord st = scopeSettings();
  st.mode = kModeLAIO;
  st.trgTypString = "P";
  st.relevances = 0b10000011;
  st.dynamics = 0b00000010;
  st.levels = 0b10000010;
  st.memoryDepth = 3;
  st.triggerPoint = 50;
  const DayTime t = stamp(2026, 12, 8, 1, 2, 3.5);
  TLogAnalList list;
  list.add(0, 0x8001);
  list.add(1, 0x1234);
  const fs::path n = dir_ / "l.VXD";
  ASSERT_EQ(writeLogicVxd(n, {QStringLiteral("SER"), st, t}, list), 0);
  const auto b = bytesOf(n);
  ASSERT_EQ(b.size(), 84u);
  std::vector<std::uint8_t> want(80, 0);
  want[0] = 3;
  std::memcpy(want.data() + 1, "SER", 3);
  const auto tb = t.toBytes();
  std::memcpy(want.data() + 16, tb.data(), 16);
  want[32] = 1;
  want[33] = 'P';
  want[36] = 8;
  std::memcpy(want.data() + 37, "HXXXXXEL", 8);
  putF64(want.data() + 48, 50 * 0.01 * 3 * 0.0001);
  putU32(want.data() + 56, 2);  // round(1.5) = 2
  putF64(want.data() + 64, 0.0001);
  putU32(want.data() + 72, 3);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 80), want);
  EXPECT_EQ(b[80], 0x01);
  EXPECT_EQ(b[81], 0x80);
  EXPECT_EQ(b[82], 0x34);
  EXPECT_EQ(b[83], 0x12);
  TLogAnalList empty;
  EXPECT_EQ(writeLogicVxd(dir_ / "e.VXD", {}, empty), kEmptySampleList);
  EXPECT_FALSE(fs::exists(dir_ / "e.VXD"));
}

// A list standing for a recording in a file (no entries of its own) writes its words from the
// recording; one longer than a record refuses with -2240 and writes nothing.
TEST_F(DataFiles, LogicWritersTakeAListStandingForARecordingInAFile) {
  struct Words : TLogicWords {
    std::int64_t n;
    explicit Words(std::int64_t count) : n(count) {}
    std::int64_t count() const override { return n; }
    std::int64_t read(std::int64_t first, std::int64_t k, std::uint16_t* out) const override {
      for (std::int64_t i = 0; i < k; ++i) out[i] = std::uint16_t((first + i) * 7);
      return k;
    }
  };
  const auto streamed = [](std::int64_t n) {
    TLogAnalList l;
    l.attachStream(std::make_shared<TLogicSummary>(std::make_shared<Words>(n)));
    return l;
  };
  SettingsRecord st = scopeSettings();
  st.mode = kModeLAIO;
  TLogAnalList list = streamed(1000);
  ASSERT_EQ(writeLogicVxd(dir_ / "s.VXD", {QStringLiteral("SER"), st, {}}, list), 0);
  VxdHeader h;
  std::vector<std::uint16_t> words;
  ASSERT_EQ(readLogicVxd(dir_ / "s.VXD", h, words), 0);
  ASSERT_EQ(words.size(), 1000u);
  EXPECT_EQ(words[1], 7);
  EXPECT_EQ(words[999], std::uint16_t(999 * 7));

  ASSERT_EQ(writeLogicIntermediate(dir_ / "s.FIL", list), 0);
  EXPECT_EQ(list.count(), 1000);  // still the recording's, not grown
  TLogAnalList back;
  ASSERT_EQ(readLogicIntermediate(dir_ / "s.FIL", back), 0);
  ASSERT_EQ(back.count(), 1001);
  EXPECT_EQ(back.at(999), (TLogAnalEntry{999, std::uint16_t(999 * 7)}));
  EXPECT_EQ(back.at(1000).sampleNumber, -1);

  TLogAnalList longest = streamed(kLogicVxdMaxWords);
  EXPECT_EQ(writeLogicVxd(dir_ / "m.VXD", {QStringLiteral("SER"), st, {}}, longest), 0);
  TLogAnalList tooLong = streamed(kLogicVxdMaxWords + 1);
  EXPECT_EQ(writeLogicVxd(dir_ / "l.VXD", {QStringLiteral("SER"), st, {}}, tooLong), -2240);
  EXPECT_FALSE(fs::exists(dir_ / "l.VXD"));
  TLogAnalList longestRecord = streamed(kLogicVxdMaxWords - 1);  // and its filler entry
  EXPECT_EQ(writeLogicIntermediate(dir_ / "m.FIL", longestRecord), 0);
  EXPECT_EQ(writeLogicIntermediate(dir_ / "l.FIL", longest), -2240);
  EXPECT_FALSE(fs::exists(dir_ / "l.FIL"));
}

TEST_F(DataFiles, TriggerPatternLetters) {
  EXPECT_EQ(triggerPatternText(0, 0xFF, 0xFF), "XXXXXXXX");
  EXPECT_EQ(triggerPatternText(0x0F, 0b0101, 0b0011), "XXXXLeHE");
}

TEST_F(DataFiles, LogicCsvContinuesWithZeroRowsWithoutGrowingTheList) {
  SettingsRecord st = scopeSettings();
  st.mode = kModeLAIO;
  st.trgTypString = "P";
  st.memoryDepth = 12;
  st.sampleTime = 0.5;
  TLogAnalList list;
  list.add(0, 0xA001);
  list.add(1, 0x0002);
  const auto text = logicCsvText(info(st), logicCsvParams(st), list, {',', ';'});
  EXPECT_EQ(list.count(), 2);
  const auto l = lines(text);
  ASSERT_EQ(l.size(), 13u);
  EXPECT_EQ(l[0], "Time [s];D15;D14;D13;D12;D11;D10;D9;D8;D7;D6;D5;D4;D3;D2;D1;D0;Device;TX12345");
  EXPECT_EQ(l[1],
            "   0,000000;1;0;1;0;0;0;0;0;0;0;0;0;0;0;0;1;Date of measurement;12.08.2026;"
            "MM.DD.YYYY");
  EXPECT_EQ(l[2].substr(0, 43), "   0,500000;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1;0");
  EXPECT_EQ(l[5].substr(43), ";Trigger point [%];10");
  EXPECT_EQ(l[6].substr(43), ";Trigger sample;1");
  EXPECT_EQ(l[7].substr(43), ";Pretrigger time; 0,60000;s");
  EXPECT_EQ(l[9].substr(43), ";Memory Depth;12");
  EXPECT_EQ(l[12], "   5,500000;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0");

  // Manual and the other types without a trigger point keep the trigger point row and leave
  // rows 5 and 6 (trigger sample, pretrigger time) plain; the rows after keep their places.
  for (const char* trg : {"M", "T", ""}) {
    st.trgTypString = trg;
    const auto m = lines(logicCsvText(info(st), logicCsvParams(st), list, {',', ';'}));
    ASSERT_EQ(m.size(), 13u);
    EXPECT_EQ(m[4].substr(43), ";Trigger pattern;XXXXXXXX") << trg;
    EXPECT_EQ(m[5], "   2,000000;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;Trigger point [%];10") << trg;
    for (int r : {6, 7}) EXPECT_EQ(m[std::size_t(r)].size(), 43u) << trg << r;
    EXPECT_EQ(m[8].substr(43), ";Sampletime;0,500000;s") << trg;
  }
  for (const char* trg : {"x", "X"}) {
    st.trgTypString = trg;
    const auto x = lines(logicCsvText(info(st), logicCsvParams(st), list, {',', ';'}));
    EXPECT_EQ(x[5].substr(43), ";Trigger point [%];10") << trg;
  }
}

TEST_F(DataFiles, LogicIntermediateParametersUseSnappedStepAndLoadedCount) {
  SettingsRecord h = scopeSettings();
  h.mode = kModeLAIO;
  h.sampleTime = 0.000099;  // snaps to 0.1 ms
  h.memoryDepth = 4;
  h.triggerPoint = 50;
  const LogicCsvParams p = logicIntermediateCsvParams(h, "X", 5);
  EXPECT_DOUBLE_EQ(p.step, 0.0001);
  EXPECT_EQ(p.rows, 4);
  EXPECT_EQ(p.memoryDepth, 4);
  EXPECT_EQ(p.trgTypString, "X");
  EXPECT_DOUBLE_EQ(p.pretrigger, 0.5 * 4 * 0.0001);
  // The largest memory depth gives its full table; a damaged header's depth no more than that.
  // The record's own trigger type decides the trigger-point rows, not the window's.
  h.trgTypString = "M";
  EXPECT_FALSE(logicIntermediateCsvParams(h, "X", 5).triggerPointUsed);
  h.trgTypString = "P";
  EXPECT_TRUE(logicIntermediateCsvParams(h, "M", 5).triggerPointUsed);
  h.memoryDepth = 262000;
  EXPECT_EQ(logicIntermediateCsvParams(h, "X", 5).rows, 262000);
  for (double depth : {262001.0, 2147483647.0, 1e300}) {
    h.memoryDepth = depth;
    EXPECT_EQ(logicIntermediateCsvParams(h, "X", 5).rows, 262000) << depth;
  }
}

TEST_F(DataFiles, VoltmeterSeriesCsv) {
  SettingsRecord st = scopeSettings();
  st.mode = kModeVMA0;
  st.memoryDepth = 1;
  const DayTime t = stamp(2026, 12, 8, 9, 0, 1.25);
  std::vector<VoltmeterReading> r = {VoltmeterReading::measured(t, 1.5, -0.25),
                                     VoltmeterReading::measured(dtAddSeconds(t, 1), 2, 3)};
  const fs::path n = dir_ / "v" / "v.CSV";
  ASSERT_EQ(writeVoltmeterSeriesCsv(n, info(st, t), r, {',', '\t'}), 0);
  const auto l = lines(slurp(n));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[0],
            "V rms Channel 1\tV rms Channel 2\tTime of measurement HH:MM:SS.ms\t"
            "Date of measurement MM.DD.YYYY\tDevice\tTX12345");
  EXPECT_EQ(l[1], " 1,500000\t-0,250000\t09:00:01.250\t12.08.2026\tMemory Depth\t1");
  EXPECT_EQ(l[2], " 2,000000\t 3,000000\t09:00:02.250\t12.08.2026");
  st.mode = kModeVMD1;
  ASSERT_EQ(writeVoltmeterSeriesCsv(n, info(st, t), r, {',', '\t'}), 0);
  EXPECT_EQ(slurp(n).substr(0, 17), "V (DC) Channel 1\t");
}

TEST_F(DataFiles, ScopeIntermediateCsvNeverReadsPastTheLoadedSamples) {
  SettingsRecord st = scopeSettings();
  st.memoryDepth = 3;
  const fs::path n = dir_ / "i.CSV";
  ASSERT_EQ(writeScopeIntermediateCsv(n, info(st), ramp(5), {}), 0);
  EXPECT_EQ(lines(slurp(n)).size(), 3u);
  st.memoryDepth = 50;
  ASSERT_EQ(writeScopeIntermediateCsv(n, info(st), ramp(5), {}), 0);
  EXPECT_EQ(lines(slurp(n)).size(), 5u);
}

// Every sample before the device's end marker is a row, the last one too.
TEST_F(DataFiles, AnalogLoggerRowsEndAtTheEndMarker) {
  SettingsRecord header = scopeSettings();
  header.mode = kModeDLA0;
  header.amplC0 = 10;
  header.amplC1 = 2;
  header.offsC1 = 0.5;
  SettingsRecord window = scopeSettings();
  window.probeHelpFactorFlag = false;
  window.trgTypString = "A";
  // The marker alone, or three bytes of a sample and the marker, give no row.
  EXPECT_EQ(analogLoggerCsvText(info(header), window, withMarker({}), {}), "");
  EXPECT_EQ(analogLoggerCsvText(info(header), window, withMarker({0, 0xC0, 0}), {}), "");
  // One sample and the marker, 20 bytes: 0xC000 -> +2.5 V of 10 V; 0x4000 -> -0.5 + 0.5 V.
  std::vector<std::uint8_t> s = {0x00, 0xC0, 0x00, 0x40};
  const auto one = lines(analogLoggerCsvText(info(header), window, withMarker(s), {'.', ';'}));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0], " 2.500000; 0.000000;Device;TX12345");
  // A second one, the last before the marker: 0xFFFF on both channels.
  s.resize(8, 0xFF);
  const auto l = lines(analogLoggerCsvText(info(header), window, withMarker(s), {'.', ';'}));
  ASSERT_EQ(l.size(), 2u);
  EXPECT_EQ(l[0], one[0]);
  EXPECT_EQ(l[1].substr(0, 19), " 4.999847; 1.499969");
  // Probe factors of a damaged settings file: the nearest offered one, or none for no number.
  SettingsRecord damaged = window;
  damaged.probeFactorC0 = 1e20;
  damaged.probeFactorC1 = std::numeric_limits<double>::quiet_NaN();
  SettingsRecord offered = window;
  offered.probeFactorC0 = 100;
  EXPECT_EQ(lines(analogLoggerCsvText(info(header), damaged, withMarker(s), {'.', ';'})),
            lines(analogLoggerCsvText(info(header), offered, withMarker(s), {'.', ';'})));
  damaged.probeFactorC0 = 1;
  EXPECT_EQ(lines(analogLoggerCsvText(info(header), damaged, withMarker(s), {'.', ';'})), l);
  damaged.probeFactorC0 = damaged.probeFactorC1 = 0;  // and 0 counts as 1
  EXPECT_EQ(lines(analogLoggerCsvText(info(header), damaged, withMarker(s), {'.', ';'})), l);
  // Eight samples: eight rows, and the depth counts the words of all of them.
  s.resize(4 * 8, 0);
  const auto m = lines(analogLoggerCsvText(info(header), window, withMarker(s), {'.', ';'}));
  ASSERT_EQ(m.size(), 8u);
  EXPECT_EQ(m[1].substr(19), ";Date of measurement start;12.08.2026;MM.DD.YYYY");
  EXPECT_EQ(m[3].substr(19), ";Trigger mode;\"A\"");
  EXPECT_EQ(m[5].substr(19), ";Memory Depth;16");
  EXPECT_EQ(m[7], "-5.000000;-0.500000");
}

// A run that ended without the device's end marker (crashed, unplugged) keeps every complete
// sample: nothing is taken for a marker that is not there, in the table and its depth alike.
TEST_F(DataFiles, AnalogLoggerStreamWithoutEndKeepsEveryCompleteSample) {
  SettingsRecord header = scopeSettings();
  header.mode = kModeDLA0;
  std::vector<std::uint8_t> s;
  for (int k = 0; k < 8; ++k)
    for (std::uint8_t b :
         {std::uint8_t(0), std::uint8_t(0x80 + k), std::uint8_t(0), std::uint8_t(0x80)})
      s.push_back(b);
  const auto all = lines(analogLoggerCsvText(info(header), scopeSettings(), s, {'.', ';'}));
  ASSERT_EQ(all.size(), 8u);
  EXPECT_EQ(all[5].substr(19), ";Memory Depth;16");
  EXPECT_EQ(all[7].substr(0, 9), " 0.136719");  // the last sample: 0x8700 of 5 V
  // Bytes of a sample cut off, or the start of a marker the run died in, are no sample.
  for (std::size_t extra : {1u, 3u}) {
    std::vector<std::uint8_t> cut = s;
    cut.resize(s.size() + extra, 0x12);
    EXPECT_EQ(lines(analogLoggerCsvText(info(header), scopeSettings(), cut, {'.', ';'})), all)
        << extra;
  }
  for (std::size_t k = 4; k < 16; ++k) {
    std::vector<std::uint8_t> died = s;
    died.insert(died.end(), std::begin(kLoggerEndMarker), std::begin(kLoggerEndMarker) + k);
    const auto l = lines(analogLoggerCsvText(info(header), scopeSettings(), died, {'.', ';'}));
    ASSERT_EQ(l.size(), 8u) << k;
    EXPECT_EQ(l[7], all[7]) << k;
  }
}

TEST_F(DataFiles, IoLoggerRowsUseTheSecondWordAndTheSnappedStep) {
  SettingsRecord header = scopeSettings();
  header.sampleTime = 0.0021;  // snaps to 2 ms
  const std::vector<std::uint8_t> s = {0xFF, 0xFF, 0x03, 0x00, 0x00, 0x00, 0x00, 0x80};
  const auto l = lines(ioLoggerCsvText(info(header), "P", withMarker(s), {'.', ';'}));
  ASSERT_EQ(l.size(), 3u);
  EXPECT_EQ(l[1].substr(0, 43), "   0.000000;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1;1");
  EXPECT_EQ(l[2].substr(0, 43), "   0.002000;1;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0");
  EXPECT_EQ(l[2].substr(43), ";Time of measurement;14:30:15.120;HH:MM:SS.ms");
  // The marker alone: only the column titles.
  EXPECT_EQ(lines(ioLoggerCsvText(info(header), "P", withMarker({}), {})).size(), 1u);
  // Without it every sample is a row, and the depth counts them.
  const auto n = lines(ioLoggerCsvText(info(header), "P", s, {'.', ';'}));
  ASSERT_EQ(n.size(), 3u);
  EXPECT_EQ(n[2].substr(0, 43), l[2].substr(0, 43));
}

TEST_F(DataFiles, LoggerRowCountsAreTheRowsTheWritersWrite) {
  // Every stream length around the end blocks, odd byte counts included, with and without the
  // end marker.
  const std::vector<std::uint8_t> s(60, 0x11);
  for (const bool marker : {true, false}) {
    for (std::size_t n = 0; n <= s.size(); ++n) {
      std::vector<std::uint8_t> part(s.begin(), s.begin() + std::ptrdiff_t(n));
      if (marker) {
        if (n < 16) continue;
        std::copy(std::begin(kLoggerEndMarker), std::end(kLoggerEndMarker), part.end() - 16);
      }
      EXPECT_EQ(loggerCsvRows(n, marker),
                std::int64_t(lines(analogLoggerCsvText(info(scopeSettings()), scopeSettings(), part,
                                                       {'.', ';'}))
                                 .size()))
          << n << " bytes, marker " << marker;
      // The I/O table has its header line on top.
      EXPECT_EQ(loggerCsvRows(n, marker) + 1,
                std::int64_t(lines(ioLoggerCsvText(info(scopeSettings()), "P", part, {})).size()))
          << n << " bytes, marker " << marker;
    }
  }
  // Only complete samples before the marker: half of one is no row, nor a marker word in it.
  EXPECT_EQ(loggerCsvRows(19), 0);
  EXPECT_EQ(loggerCsvRows(18), 0);
  EXPECT_EQ(loggerCsvRows(20), 1);
  EXPECT_EQ(loggerCsvRows(23), 1);
  EXPECT_EQ(loggerCsvRows(24), 2);
  EXPECT_EQ(loggerCsvRows(21, false), 5);
  EXPECT_EQ(loggerCsvRows(3, false), 0);
}

TEST_F(DataFiles, BlockedTargetFolderReportsAndKeepsExistingFiles) {
  spit(dir_ / "blocker", "not a folder");
  EXPECT_NE(writeScopeCsv(dir_ / "blocker" / "day" / "a.CSV", info(scopeSettings()), ramp(3), {}),
            0);
  EXPECT_EQ(slurp(dir_ / "blocker"), "not a folder");
  if (runningAsRoot()) GTEST_SKIP() << "root writes into read-only folders";
  const fs::path ro = dir_ / "ro";
  fs::create_directories(ro);
  spit(ro / "a.CSV", "old");
  fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(writeScopeCsv(ro / "a.CSV", info(scopeSettings()), ramp(3), {}), 13);
  EXPECT_EQ(writeScopeVxd(ro / "a.CSV", info(scopeSettings()), ramp(3)), 13);
  EXPECT_EQ(slurp(ro / "a.CSV"), "old");
}

namespace {

using tolv::testing::FileSizeLimit;

int entries(const fs::path& d) {
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(d)) ++n;
  return n;
}

}  // namespace

TEST_F(DataFiles, FullDiskLeavesTheOldFileWholeAndNoTemporaryFile) {
  const fs::path csv = dir_ / "a.CSV";
  const fs::path vxd = dir_ / "a.VXD";
  spit(csv, "old csv");
  spit(vxd, "old vxd");
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(writeScopeCsv(csv, info(scopeSettings()), ramp(5000), {}), EFBIG);
    EXPECT_EQ(writeScopeVxd(vxd, info(scopeSettings()), ramp(5000)), kShortBlock);
  }
  EXPECT_EQ(slurp(csv), "old csv");
  EXPECT_EQ(slurp(vxd), "old vxd");
  EXPECT_EQ(entries(dir_), 2);
}
