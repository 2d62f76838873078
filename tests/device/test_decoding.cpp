// Conversions to volts and the per-mode sample layouts of completed records.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "device/decoding.h"
#include "device/settingsrecord.h"
#include "wire/wiremeasure.h"

using namespace tolv;

TEST(Decoding, RawToVolts) {
  ConversionInputs c;
  c.ampl = {10, 10};
  c.offs = {0, 0};
  c.probe = {1, 1};
  c.aux = 1.0;
  EXPECT_DOUBLE_EQ(c.rawToVolts(0, 32768), 0.0);
  EXPECT_NEAR(c.rawToVolts(0, 65535), 4.99985, 1e-5);
  EXPECT_DOUBLE_EQ(c.rawToVolts(0, 0), -5.0);
  c.probe = {10, 10};
  c.aux = 0.85;
  EXPECT_NEAR(c.rawToVolts(1, 65535), 57.94, 0.01);
  EXPECT_NEAR(c.probeScale(0), 11.588, 0.001);
  EXPECT_NEAR(c.floatToVolts(0, 1.0), 11.588, 0.001);
  // Garbage above 16 bits saturates instead of wrapping to the bottom of the range.
  EXPECT_DOUBLE_EQ(c.rawToVolts(0, 70000), c.rawToVolts(0, 65535));
}

// Probe factors from stored settings: the nearest whole number the spin edits offer, exactly
// at the edges too; 0 and no number count as 1.
TEST(Decoding, ProbeFactorInForceIsTheNearestOfferedOne) {
  EXPECT_EQ(probeFactorInForce(100), 100);
  EXPECT_EQ(probeFactorInForce(-100), -100);
  EXPECT_EQ(probeFactorInForce(100.4), 100);
  EXPECT_EQ(probeFactorInForce(100.5), 100);
  EXPECT_EQ(probeFactorInForce(-1e300), -100);
  EXPECT_EQ(probeFactorInForce(3.5), 4);
  EXPECT_EQ(probeFactorInForce(-0.4), 1);
  EXPECT_EQ(probeFactorInForce(500), 100);
  EXPECT_EQ(probeFactorInForce(-500), -100);
  EXPECT_EQ(probeFactorInForce(2.7), 3);
  EXPECT_EQ(probeFactorInForce(-2.5), -2);  // halves to even
  EXPECT_EQ(probeFactorInForce(0), 1);
  EXPECT_EQ(probeFactorInForce(0.4), 1);
  EXPECT_EQ(probeFactorInForce(1e30), 100);
  EXPECT_EQ(probeFactorInForce(-std::numeric_limits<double>::infinity()), 1);
  EXPECT_EQ(probeFactorInForce(std::numeric_limits<double>::quiet_NaN()), 1);
  // The conversion goes by the same rule.
  ConversionInputs c;
  c.aux = 1.0;
  c.probe = {1e30, std::numeric_limits<double>::quiet_NaN()};
  EXPECT_DOUBLE_EQ(c.probeScale(0), 100.0);
  EXPECT_DOUBLE_EQ(c.probeScale(1), 1.0);
}

TEST(Decoding, ScopeRecordMatchesPerSampleFormula) {
  ConversionInputs c;
  c.ampl = {2, 20};
  c.offs = {0.5, -3};
  c.probe = {-3, 10};
  c.aux = 0.85;
  std::vector<std::uint8_t> raw(10);  // 2 samples and 2 bytes that form no sample
  encodeScopeSample(0, 65535, raw.data());
  encodeScopeSample(40000, 123, raw.data() + 4);
  ScopeSample out[4];
  ASSERT_EQ(convertScopeRecord(raw, c, out, 4), 2u);
  EXPECT_NEAR(out[0].ch0, c.rawToVolts(0, 0), 1e-5);
  EXPECT_NEAR(out[0].ch1, c.rawToVolts(1, 65535), 1e-4);
  EXPECT_NEAR(out[1].ch0, c.rawToVolts(0, 40000), 1e-5);
  EXPECT_NEAR(out[1].ch1, c.rawToVolts(1, 123), 1e-4);
  // Never more than the capacity.
  EXPECT_EQ(convertScopeRecord(raw, c, out, 1), 1u);
}

TEST(Decoding, LogicRecordOrder) {
  const std::vector<std::uint8_t> raw = {1, 0, 2, 0, 3, 0, 4, 0, 9};
  std::uint16_t out[8] = {};
  ASSERT_EQ(decodeLogicRecord(raw, out, 8), 4u);
  EXPECT_EQ(out[0], 2);  // bytes 2-3 first
  EXPECT_EQ(out[1], 1);
  EXPECT_EQ(out[2], 4);
  EXPECT_EQ(out[3], 3);
  EXPECT_EQ(decodeLogicRecord(raw, out, 3), 3u);
}

TEST(Decoding, VoltmeterReplyRecord) {
  ConversionInputs c;
  c.ampl = {10, 10};
  c.probe = {10, 1};
  c.aux = 1.0;
  std::uint8_t eight[8];
  encodeVoltmeterFloat(1.5f, -2.0f, eight);
  auto rec = makeVoltmeterReplyRecord(kModeVMD0, eight);
  EXPECT_EQ(rec[0], 4);
  EXPECT_EQ(rec[1], 'V');
  EXPECT_EQ(rec[4], '0');
  EXPECT_EQ(rec[5], 0);
  EXPECT_EQ(voltmeterRecordMode(rec), kModeVMD0);
  VoltmeterValues v = convertVoltmeterReply(rec, c);
  EXPECT_DOUBLE_EQ(v.ch0, 15.0);
  EXPECT_DOUBLE_EQ(v.ch1, -2.0);
  EXPECT_STREQ(v.unit, "V DC");

  encodeVoltmeterRaw(32768, 0, eight);
  rec = makeVoltmeterReplyRecord(kModeVMA1, eight);
  v = convertVoltmeterReply(rec, c);
  EXPECT_DOUBLE_EQ(v.ch0, 0.0);
  EXPECT_DOUBLE_EQ(v.ch1, -5.0);
  EXPECT_STREQ(v.unit, "V RMS");
}

TEST(SettingsRecordImage, OffsetsDefaultsAndRoundTrip) {
  SettingsRecord r = SettingsRecord::defaults(800, 600, 10, 20);
  r.trgTypString = "W";
  r.gpioData = -1;
  const auto b = r.toBytes();
  ASSERT_EQ(b.size(), 408u);
  EXPECT_EQ(b[0], '0');  // "OSA0" in reversed character order
  EXPECT_EQ(b[3], 'O');
  EXPECT_EQ(b[68], 1);
  EXPECT_EQ(b[69], 'W');
  EXPECT_EQ(b[353], 1);  // overlapping
  EXPECT_EQ(b[354], 3);
  EXPECT_EQ(b[360], 800 & 0xFF);
  EXPECT_EQ(b[392], 1);
  EXPECT_EQ(b[396], 100);
  EXPECT_EQ(b[404], 1);
  EXPECT_EQ(b[4], 0);  // padding
  EXPECT_EQ(SettingsRecord::decode(b.data()), r);

  const SettingsWriteBlock w = r.toWriteBlock();
  EXPECT_EQ(w.triggerType, std::uint32_t('W'));
  EXPECT_EQ(w.memoryDepth, 10000.0f);
  EXPECT_EQ(w.gpioData, 0xFFFFFFFFu);
}
