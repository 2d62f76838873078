#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "export_clients.h"
#include "files_fixture.h"
#include "common/atomicfile.h"
#include "measure/export_sigrok.h"
#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace tolv {
namespace {

using testfiles::FilesTest;
using testfiles::spit;
using testfiles::stamp;

using testclients::zipEntry;

std::vector<float> floatsOf(const std::string& bytes) {
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);  // the test machine is little-endian
  return v;
}

PlainCsvHead scopeHead(double dt) {
  SettingsRecord s = SettingsRecord::defaults();
  s.mode = kModeOSA0;
  s.sampleTime = dt;
  return plainHeadOf({QStringLiteral("20A4711"), s, stamp(2026, 1, 1, 0, 0, 0)}, -1);
}

TEST(SrSession, RatesAreWholeHertzOrRefused) {
  EXPECT_EQ(srSampleRate(1e-6), 1000000u);
  EXPECT_EQ(srSampleRate(2e-6), 500000u);
  EXPECT_EQ(srSampleRate(5e-6), 200000u);
  EXPECT_EQ(srSampleRate(1.0), 1u);
  EXPECT_EQ(srSampleRate(2.0), 0u);  // 0.5 Hz
  EXPECT_EQ(srSampleRate(2.5), 0u);
  EXPECT_EQ(srSampleRate(3e-6), 0u);  // 333333.3 Hz
  EXPECT_EQ(srSampleRate(0.0), 0u);
  SrSession s;
  EXPECT_EQ(srOfScope(scopeHead(2.5), std::vector<ScopeSample>(3), s), kSrRateNotWhole);
}

TEST(SrSession, MetadataNumbersAnalogChannelsAfterTheLogicOnes) {
  SrSession s;
  s.sampleRate = 200000;
  s.logicNames = {"D0", "D1"};
  s.analog = {{"ch0", {}}};
  EXPECT_EQ(srMetadataText(s),
            "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\nsamplerate=200000\n"
            "total probes=2\ntotal analog=1\nprobe1=D0\nprobe2=D1\nanalog3=ch0\nunitsize=2\n");
  s.logicNames.clear();
  EXPECT_EQ(srMetadataText(s),
            "[global]\nsigrok version=0.5.2\n\n[device 1]\nsamplerate=200000\ntotal analog=1\n"
            "analog1=ch0\n");
}

TEST(SrSession, MergedDevicesShareOneGridOrAreRefusedInWords) {
  std::vector<PlainDeviceSeries> d(2);
  d[0] = {QStringLiteral("A1"), {0, 1e-5, 2e-5}, {1, 2, 3}, {4, 5, 6}};
  // B's first sample lies one sample later: it is shifted, NaN stands before and after.
  d[1] = {QStringLiteral("B2"), {1e-5, 2e-5, 3e-5}, {7, 8, 9}, {0.5, 0.25, 0.125}};
  SrSession s;
  ASSERT_EQ(srOfMerged(d, s), 0);
  EXPECT_EQ(s.sampleRate, 100000u);
  ASSERT_EQ(s.analog.size(), 4u);
  EXPECT_EQ(s.analog[2].name, "B2_ch0");
  ASSERT_EQ(s.analog[0].values.size(), 4u);
  EXPECT_TRUE(std::isnan(s.analog[0].values[3]));
  EXPECT_TRUE(std::isnan(s.analog[2].values[0]));
  EXPECT_EQ(s.analog[2].values[1], 7.0f);
  EXPECT_EQ(s.analog[3].values[3], 0.125f);
  QString why;
  d[1].time = {0.5e-5, 1.5e-5, 2.5e-5};  // half a sample off
  EXPECT_EQ(srOfMerged(d, s, &why), kSrTimesDisagree);
  EXPECT_TRUE(why.contains(QStringLiteral("B2"))) << why.toStdString();
  d[1].time = {0, 2e-5, 4e-5};  // another rate
  EXPECT_EQ(srOfMerged(d, s, &why), kSrTimesDisagree);
  EXPECT_TRUE(why.contains(QStringLiteral("different rates"))) << why.toStdString();
}

class SrFileTest : public FilesTest {};

TEST_F(SrFileTest, ScopeSessionIsReadBackBySigrokWithItsRateNamesAndValues) {
  std::vector<ScopeSample> samples(5000);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = {float(std::sin(double(i) * 0.01) * 3.3), 0.1f * float(i % 7) - 0.3f};
  SrSession s;
  ASSERT_EQ(srOfScope(scopeHead(2e-6), samples, s), 0);
  const fs::path file = dir_ / "sub" / "scope.sr";
  ASSERT_EQ(writeSrSession(file, s), 0);
  EXPECT_EQ(zipEntry(file, "version"), "2");
  const auto ch1 = floatsOf(zipEntry(file, "analog-1-2-1"));
  ASSERT_EQ(ch1.size(), samples.size());
  EXPECT_EQ(ch1[6], samples[6].ch1);
  // Under a name the program made the session never replaces what stands there (the zip
  // library's own rename would): it goes beside it, and a name given is still replaced whole.
  ::chmod(file.c_str(), 0640);
  const std::string before = testfiles::slurp(file);
  fs::path written;
  ASSERT_EQ(writeMadeOutput(file, [&](const fs::path& f) { return writeSrSession(f, s); }, written),
            0);
  EXPECT_EQ(written, dir_ / "sub" / "scope_1.sr");
  EXPECT_EQ(testfiles::slurp(file), before);
  EXPECT_EQ(zipEntry(written, "version"), "2");
  s.analog[1].values[6] = 42.0f;
  ASSERT_EQ(writeSrSession(file, s), 0);
  EXPECT_EQ(floatsOf(zipEntry(file, "analog-1-2-1"))[6], 42.0f);
  struct stat st = {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // a replaced file keeps its mode
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "sub"), fs::directory_iterator()), 2);
  s.analog[1].values[6] = samples[6].ch1;
  ASSERT_EQ(writeSrSession(file, s), 0);
  if (!testclients::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  int status = -1;
  const std::string show = testclients::run("sigrok-cli -i " + file.string() + " --show", &status);
  ASSERT_EQ(status, 0);
  for (const char* want : {"Samplerate: 500000", "- ch0: analog", "- ch1: analog",
                           "Analog sample count: 5000"})
    EXPECT_NE(show.find(want), std::string::npos) << want << "\n" << show;
  // sigrok's own reader and writer: the copy holds the very same floats.
  const fs::path copy = dir_ / "copy.sr";
  testclients::run("sigrok-cli -i " + file.string() + " -o " + copy.string(), &status);
  ASSERT_EQ(status, 0);
  const auto back0 = floatsOf(zipEntry(copy, "analog-1-1-1"));
  const auto back1 = floatsOf(zipEntry(copy, "analog-1-2-1"));
  ASSERT_EQ(back0.size(), samples.size());
  ASSERT_EQ(back1.size(), samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(back0[i], samples[i].ch0) << i;
    ASSERT_EQ(back1[i], samples[i].ch1) << i;
  }
  // Its analog output shows the values in volts.
  const std::string analog =
      testclients::run("sigrok-cli -i " + file.string() + " -O analog | grep ch1 | head -1", &status);
  EXPECT_NE(analog.find("ch1: -0.30 V"), std::string::npos) << analog;
}

TEST_F(SrFileTest, LogicSessionGivesSigrokTheSameLanes) {
  std::vector<std::uint16_t> w(4000);
  for (std::size_t i = 0; i < w.size(); ++i) w[i] = std::uint16_t((i * 40503u) ^ (i >> 3));
  SettingsRecord st = SettingsRecord::defaults();
  st.mode = kModeLAIO;
  st.sampleTime = 0.00099;  // the snapped 1 ms: 1 kHz
  SrSession s;
  ASSERT_EQ(srOfLogic(plainHeadOf({QStringLiteral("L"), st, {}}, -1), w, s), 0);
  const fs::path file = dir_ / "la.sr";
  ASSERT_EQ(writeSrSession(file, s), 0);
  if (!testclients::have("sigrok-cli")) GTEST_SKIP() << "sigrok-cli is not installed";
  int status = -1;
  const std::string text =
      testclients::run("sigrok-cli -i " + file.string() + " -O bits:width=0", &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(text.find("16/16 channels at 1 kHz"), std::string::npos) << text.substr(0, 200);
  const auto bits = testclients::sigrokBits(text);
  ASSERT_EQ(bits.size(), 16u);
  for (int lane = 0; lane < 16; ++lane) {
    std::string want;
    for (std::uint16_t x : w) want += (x >> lane) & 1 ? '1' : '0';
    EXPECT_EQ(bits.at("D" + std::to_string(lane)), want) << lane;
  }
}

TEST_F(SrFileTest, LoggerFilesBecomeSessionsOfTheirMode) {
  SettingsRecord h = SettingsRecord::defaults();
  h.mode = kModeDLA0;
  h.sampleTime = 0.001;
  h.amplC0 = h.amplC1 = 10;
  h.probeHelpFactorFlag = false;
  const fs::path file = dir_ / "Intermediate_DLA0_001.FIL";
  std::string bytes;
  for (std::uint16_t w : {32768, 49152, 16384, 32768, 0, 0})
    bytes += {char(w & 0xFF), char(w >> 8)};
  spit(file, bytes);  // a run cut off without its end: every complete sample counts
  ASSERT_EQ(writeTextHeader(file, h), 0);
  SrSession s;
  EXPECT_EQ(srOfLoggerFile(file, s), kNoSamples);  // a header without time
  ASSERT_EQ(writeTextHeader(file, h, stamp(2026, 1, 1, 1, 1, 1)), 0);
  ASSERT_EQ(srOfLoggerFile(file, s), 0);
  EXPECT_EQ(s.sampleRate, 1000u);
  ASSERT_EQ(s.analog.size(), 2u);
  ASSERT_EQ(s.sampleCount(), 3u);
  const fs::path sr = dir_ / "dla0.sr";
  ASSERT_EQ(writeSrSession(sr, s), 0);
  EXPECT_EQ(floatsOf(zipEntry(sr, "analog-1-1-1")), (std::vector<float>{0.0f, -2.5f, -5.0f}));
  EXPECT_EQ(floatsOf(zipEntry(sr, "analog-1-2-1")), (std::vector<float>{2.5f, 0.0f, -5.0f}));
  h.mode = kModeDLDI;
  ASSERT_EQ(writeTextHeader(file, h, stamp(2026, 1, 1, 1, 1, 1)), 0);
  ASSERT_EQ(srOfLoggerFile(file, s), 0);
  EXPECT_EQ(s.logicNames.size(), 16u);
  ASSERT_EQ(writeSrSession(sr, s), 0);
  const std::string words = zipEntry(sr, "logic-1-1");  // the second word of each sample
  EXPECT_EQ(words, std::string("\x00\xC0\x00\x80\x00\x00", 6));
  EXPECT_EQ(srOfLoggerFile(dir_ / "none.FIL", s), 2);
}

// A stream longer than one entry is split as sigrok splits its own sessions; every sample
// lands in its entry once, the last entry holding the rest. It is read from the file while the
// archive is written: a file cut short meanwhile fails the export and leaves no archive.
TEST_F(SrFileTest, LongStreamIsWrittenInNumberedEntriesFromItsFile) {
  SettingsRecord h = SettingsRecord::defaults();
  h.mode = kModeDLDI;
  h.sampleTime = 1e-4;
  const fs::path file = dir_ / "Intermediate_DLDI_001.FIL";
  const std::uint64_t n = 2 * kSrChunkSamples + 3;
  std::string bytes(std::size_t(n) * 4, '\0');
  for (std::uint64_t i = 0; i < n; ++i) {
    const auto w = std::uint16_t(i * 7919u);
    bytes[std::size_t(4 * i + 2)] = char(w & 0xFF);
    bytes[std::size_t(4 * i + 3)] = char(w >> 8);
  }
  spit(file, bytes);
  ASSERT_EQ(writeTextHeader(file, h, stamp(2026, 1, 1, 1, 1, 1)), 0);
  SrSession s;
  ASSERT_EQ(srOfLoggerFile(file, s), 0);
  ASSERT_EQ(s.sampleCount(), n);
  const fs::path sr = dir_ / "long.sr";
  ASSERT_EQ(writeSrSession(sr, s), 0);
  const std::string e1 = zipEntry(sr, "logic-1-1"), e3 = zipEntry(sr, "logic-1-3");
  ASSERT_EQ(e1.size(), 2 * kSrChunkSamples);
  ASSERT_EQ(zipEntry(sr, "logic-1-2").size(), 2 * kSrChunkSamples);
  ASSERT_EQ(e3.size(), 6u);
  EXPECT_TRUE(zipEntry(sr, "logic-1-4").empty());
  const auto wordAt = [](const std::string& e, std::size_t i) {
    return std::uint16_t(std::uint8_t(e[2 * i]) | (std::uint8_t(e[2 * i + 1]) << 8));
  };
  EXPECT_EQ(wordAt(e1, 1), std::uint16_t(7919u));
  EXPECT_EQ(wordAt(e1, kSrChunkSamples - 1), std::uint16_t((kSrChunkSamples - 1) * 7919u));
  EXPECT_EQ(wordAt(e3, 0), std::uint16_t(2 * kSrChunkSamples * 7919u));
  EXPECT_EQ(wordAt(e3, 2), std::uint16_t((n - 1) * 7919u));
  // The stream shrinks between the look at its size and the writing.
  const fs::path cut = dir_ / "cut.sr";
  ASSERT_EQ(srOfLoggerFile(file, s), 0);
  fs::resize_file(file, 4 * kSrChunkSamples);
  EXPECT_GT(writeSrSession(cut, s), 0);
  EXPECT_FALSE(fs::exists(cut));
}

TEST_F(SrFileTest, AnUnwritableTargetIsReportedAndAnOldSessionStaysWhole) {
  spit(dir_ / "afile", "x");  // a file where the folder should be
  SrSession s;
  ASSERT_EQ(srOfScope(scopeHead(1e-6), std::vector<ScopeSample>(10), s), 0);
  EXPECT_GT(writeSrSession(dir_ / "afile" / "x.sr", s), 0);
  const fs::path file = dir_ / "x.sr";
  ASSERT_EQ(writeSrSession(file, s), 0);
  const auto before = fs::file_size(file);
  SrSession empty;
  empty.sampleRate = 1000;
  EXPECT_EQ(writeSrSession(file, empty), kSrEmpty);
  EXPECT_EQ(fs::file_size(file), before);
  EXPECT_EQ(zipEntry(file, "version"), "2");
  // Without the zip library nothing is written and the reason names the library, not the
  // target; once it is there again sessions are written as before.
  setZipLibraryName("libzip-not-installed.so.4");
  EXPECT_EQ(writeSrSession(dir_ / "y.sr", s), kSrNoZipLibrary);
  EXPECT_FALSE(fs::exists(dir_ / "y.sr"));
  EXPECT_TRUE(srResultText(kSrNoZipLibrary).contains("libzip-not-installed.so.4"));
  setZipLibraryName("");
  EXPECT_EQ(writeSrSession(dir_ / "y.sr", s), 0);
  EXPECT_EQ(zipEntry(dir_ / "y.sr", "version"), "2");
}

}  // namespace
}  // namespace tolv
