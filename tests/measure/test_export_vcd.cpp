#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "common/version.h"
#include "export_clients.h"
#include "files_fixture.h"
#include "measure/export_vcd.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace tolv {
namespace {

using testfiles::FilesTest;
using testfiles::slurp;
using testfiles::spit;
using testfiles::stamp;

SettingsRecord logicSettings(double sampleTime, double depth) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeLAIO;
  s.sampleTime = sampleTime;
  s.memoryDepth = depth;
  s.triggerPoint = 50;
  s.trgTypString = "P";
  s.relevances = 0x81;
  s.dynamics = 0x01;
  s.levels = 0x01;
  return s;
}

TEST(VcdTimescale, LargestLegalUnitTheSampleTimeIsAWholeMultipleOf) {
  struct Case {
    double dt;
    const char* text;
    std::int64_t ticks;
  };
  for (const Case& c : {Case{1e-6, "1 us", 1}, Case{2e-6, "1 us", 2}, Case{5e-6, "1 us", 5},
                        Case{1e-5, "10 us", 1}, Case{5e-4, "100 us", 5}, Case{0.001, "1 ms", 1},
                        Case{2.5, "100 ms", 25}, Case{1.0, "1 s", 1}, Case{100.0, "100 s", 1},
                        Case{0.00099 + 0.00001, "1 ms", 1}}) {
    const VcdTimescale t = vcdTimescaleOf(c.dt);
    EXPECT_EQ(t.text(), c.text) << c.dt;
    EXPECT_EQ(t.ticks, c.ticks) << c.dt;
  }
  // No decimal grid: the nearest femtosecond.
  const VcdTimescale third = vcdTimescaleOf(1e-6 / 3);
  EXPECT_EQ(third.text(), "1 fs");
  EXPECT_EQ(third.ticks, 333333333);
}

class VcdTest : public FilesTest {};

TEST_F(VcdTest, SmallRecordIsWrittenByteForByte) {
  const SettingsRecord s = logicSettings(2e-6, 4);
  const std::vector<std::uint16_t> w = {0x0001, 0x0001, 0x8003, 0x0000};
  std::ostringstream out;
  ASSERT_EQ(writeVcd(out,
                     plainHeadOf({QStringLiteral("20A4711"), s, stamp(2026, 12, 9, 14, 30, 15.120)},
                                 4),
                     w),
            0);
  std::string vars;
  for (int lane = 0; lane < 16; ++lane)
    vars += std::string("$var wire 1 ") + char('!' + lane) + " D" + std::to_string(lane) +
            " $end\n";
  std::string dump;
  for (int lane = 0; lane < 16; ++lane) dump += std::string(lane == 0 ? "1" : "0") + char('!' + lane) + "\n";
  const std::string version = (versionInfo().productName + QLatin1Char(' ') +
                               versionInfo().fileVersion).toStdString();
  const std::string expected =
      "$date\n\t2026-12-09T14:30:15.120\n$end\n"
      "$version\n\t" + version + "\n$end\n"
      "$comment\n\tserial 20A4711, mode LAIO, sample time 2e-06 s, 4 samples, 2 ticks per sample\n"
      "$end\n"
      "$comment\n\ttrigger at sample 2 (time #4), type P, pattern LXXXXXXE\n$end\n"
      "$timescale 1 us $end\n"
      "$scope module 20A4711 $end\n" + vars +
      "$upscope $end\n$enddefinitions $end\n"
      "#0\n$dumpvars\n" + dump + "$end\n"
      // Sample 1 repeats sample 0: nothing; sample 2 raises D1 and D15; sample 3 drops all.
      "#4\n1\"\n10\n"
      "#6\n0!\n0\"\n00\n"
      "#8\n";
  EXPECT_EQ(out.str(), expected);
}

TEST_F(VcdTest, QuietStretchesCostNothingAndAnOddSerialStaysAnIdentifier) {
  std::vector<std::uint16_t> w(262000, 0x00F0);
  w[200000] = 0x00F1;
  std::ostringstream out;
  PlainCsvHead head = plainHeadOf({QStringLiteral("AB 12-x"), logicSettings(1e-6, 262000), {}},
                                  262000);
  ASSERT_EQ(writeVcd(out, head, w), 0);
  const std::string t = out.str();
  EXPECT_LT(t.size(), 1500u);
  EXPECT_NE(t.find("$scope module AB_12_x $end"), std::string::npos);
  EXPECT_EQ(t.find("$date"), std::string::npos);  // no time known, no date
  // Sample indexes as digits, not in the shortest form a double takes ("1e+05").
  head.triggerSample = 100000.0;
  std::ostringstream again;
  ASSERT_EQ(writeVcd(again, head, w), 0);
  EXPECT_NE(again.str().find("trigger at sample 100000 (time #100000)"), std::string::npos)
      << again.str().substr(0, 400);
  EXPECT_NE(t.find("\n#200000\n1!\n#200001\n0!\n#262000\n"), std::string::npos);
}

// The busiest record there is: every lane changes at every sample, at times of many digits
// (1 fs ticks) and at times counting up one by one past 9999, 10000 and 10001 (1 us ticks),
// over many of the writer's pieces and added in uneven parts. Each change is written whole, in
// order, and nothing else.
TEST_F(VcdTest, EveryLaneChangingAtEverySampleIsWrittenWhole) {
  for (const auto& [dt, ticks] :
       {std::pair{1e-6 / 3, std::uint64_t(333333333)}, std::pair{1e-6, std::uint64_t(1)}}) {
    SCOPED_TRACE(ticks);
    const int n = 40000;
    std::vector<std::uint16_t> w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) w[std::size_t(i)] = (i % 2) ? 0xFFFF : 0x0000;
    PlainCsvHead head = plainHeadOf({QStringLiteral("X"), logicSettings(dt, n), {}}, n);
    std::ostringstream out;
    TVcdWriter writer(out, head);
    for (std::size_t at = 0, part = 1; at < w.size(); at += part, part = part * 3 + 1)
      ASSERT_EQ(writer.add(std::span(w).subspan(at, std::min(part, w.size() - at))), 0);
    ASSERT_EQ(writer.finish(), 0);
    EXPECT_EQ(writer.samples(), std::uint64_t(n));
    const std::string t = out.str();
    std::string want = "#0\n$dumpvars\n";
    for (int lane = 0; lane < 16; ++lane) want += std::string("0") + char('!' + lane) + "\n";
    want += "$end\n";
    for (int i = 1; i < n; ++i) {
      want += '#' + std::to_string(std::uint64_t(i) * ticks) + '\n';
      for (int lane = 0; lane < 16; ++lane)
        want += std::string(i % 2 ? "1" : "0") + char('!' + lane) + "\n";
    }
    want += '#' + std::to_string(std::uint64_t(n) * ticks) + '\n';
    const std::size_t start = t.find("#0\n$dumpvars");
    ASSERT_NE(start, std::string::npos);
    EXPECT_TRUE(t.compare(start, std::string::npos, want) == 0)
        << t.size() - start << " bytes against " << want.size();
  }
}

TEST_F(VcdTest, IoLoggerFileGivesTheSameDumpAsItsWords) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeDLDI;
  s.sampleTime = 0.001;
  const fs::path file = dir_ / "Intermediate_DLDI_001.FIL";
  std::string bytes;
  std::vector<std::uint16_t> words;
  for (int i = 0; i < 300000; ++i) {
    const std::uint16_t w = std::uint16_t((i / 7) * 13);
    words.push_back(w);
    bytes += char(0x55);
    bytes += char(0xAA);  // the first word is no line word
    bytes += char(w & 0xFF);
    bytes += char(w >> 8);
  }
  bytes.append(reinterpret_cast<const char*>(kLoggerEndMarker), sizeof kLoggerEndMarker);
  spit(file, bytes);
  const DayTime t = stamp(2026, 2, 3, 4, 5, 6);
  ASSERT_EQ(writeTextHeader(file, s, t), 0);
  std::ostringstream fromFile, fromWords;
  ASSERT_EQ(writeVcdLoggerFile(fromFile, file, QStringLiteral("IO7")), 0);
  ASSERT_EQ(writeVcd(fromWords, plainHeadOf({QStringLiteral("IO7"), s, t}, 300000), words), 0);
  EXPECT_EQ(fromFile.str(), fromWords.str());
  // A stream of another mode is no I/O-logger stream.
  s.mode = kModeDLA0;
  ASSERT_EQ(writeTextHeader(file, s, t), 0);
  std::ostringstream none;
  EXPECT_EQ(writeVcdLoggerFile(none, file, QStringLiteral("IO7")), kUnknownMode);
}

// sigrok-cli and GTKWave's converters read the dump back with the same samples, rate and names.
TEST_F(VcdTest, SigrokAndGtkwaveReadTheRecordBack) {
  if (!testclients::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  std::vector<std::uint16_t> w(3000);
  for (std::size_t i = 0; i < w.size(); ++i) w[i] = std::uint16_t((i * 2654435761u) >> 7);
  const fs::path file = dir_ / "la.vcd";
  {
    std::ofstream f(file, std::ios::binary);
    ASSERT_EQ(writeVcd(f, plainHeadOf({QStringLiteral("S1"), logicSettings(5e-6, 3000), {}}, 3000),
                       w),
              0);
  }
  // 5 us samples on a 1 us timescale: sigrok is told the ticks per sample from the comment.
  int status = -1;
  const std::string text = testclients::run(
      "sigrok-cli -i " + file.string() + " -I vcd:downsample=5 -O bits:width=0", &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(text.find("Acquisition with 16/16 channels at 200 kHz"), std::string::npos) << text;
  const auto bits = testclients::sigrokBits(text);
  ASSERT_EQ(bits.size(), 16u);
  for (int lane = 0; lane < 16; ++lane) {
    std::string want;
    for (std::uint16_t x : w) want += (x >> lane) & 1 ? '1' : '0';
    EXPECT_EQ(bits.at("D" + std::to_string(lane)), want) << lane;
  }
  if (!testclients::have("vcd2fst")) GTEST_SKIP() << "GTKWave's vcd2fst is not installed";
  const fs::path fst = dir_ / "la.fst";
  testclients::run("vcd2fst " + file.string() + " " + fst.string(), &status);
  ASSERT_EQ(status, 0);
  const std::string back = testclients::run("fst2vcd " + fst.string(), &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(back.find("$var wire 1 0 D15 $end"), std::string::npos) << back.substr(0, 2000);
  EXPECT_NE(back.find("#15000"), std::string::npos);  // the end of the last sample
}

}  // namespace
}  // namespace tolv
