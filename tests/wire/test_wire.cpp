// Byte-exact checks of the device protocol against hand-written vectors.
#include <gtest/gtest.h>

#include <vector>

#include "wire/wire.h"

using namespace tolv;
using Bytes = std::vector<std::uint8_t>;

template <std::size_t N>
static Bytes vec(const std::uint8_t (&a)[N]) {
  return Bytes(a, a + N);
}

TEST(WireCommands, FormsCarryTheirWordsInWireOrder) {
  std::uint8_t b[12] = {};
  encodeIdentificationRequest(b);
  EXPECT_EQ(Bytes(b, b + 8), (Bytes{0x2A, 0x49, 0x44, 0x4E, 0x3F, 0x0A, 0x0D, 0x3F}));
  encodeSettingsRead(b);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x2A, 0x53, 0x52, 0x64}));
  encodeRun(b);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x2A, 0x52, 0x55, 0x4E}));
  encodeStop(b);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x5A, 0x5A, 0x5A, 0x5A}));
  encodeSetMode(kModeOSA0, b);
  EXPECT_EQ(Bytes(b, b + 8), (Bytes{0x2A, 0x53, 0x4D, 0x64, 0x30, 0x41, 0x53, 0x4F}));
  encodeSetMode(kModeLAIO, b);
  EXPECT_EQ(Bytes(b + 4, b + 8), (Bytes{0x4F, 0x49, 0x41, 0x4C}));
  encodeIoWord(0x12345, kIowLineMask, b);
  EXPECT_EQ(vec(b),
            (Bytes{0x2A, 0x49, 0x4F, 0x57, 0x45, 0x23, 0x01, 0x00, 0xFF, 0xFF, 0x0F, 0x00}));
}

TEST(WireCommands, DeviceSideRecognisesEveryFormAndRejectsOthers) {
  std::uint8_t b[56] = {};
  encodeIdentificationRequest(b);
  EXPECT_EQ(classifyCommand(b, 8), WireCommand::Identification);
  EXPECT_EQ(classifyCommand(b, 4), WireCommand::Unknown);  // half an identification request
  encodeSetMode(kModeDLDI, b);
  ModeCode m = 0;
  ASSERT_TRUE(decodeSetMode(b, 8, m));
  EXPECT_EQ(m, kModeDLDI);
  EXPECT_FALSE(decodeSetMode(b, 7, m));
  encodeIoWord(7, 0xFFFFF, b);
  std::uint32_t v = 0, mask = 0;
  ASSERT_TRUE(decodeIoWord(b, 12, v, mask));
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(mask, 0xFFFFFu);
  EXPECT_EQ(classifyCommand(b, 12), WireCommand::IoWord);
  const std::uint8_t junk[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(classifyCommand(junk, 4), WireCommand::Unknown);
  EXPECT_EQ(classifyCommand(nullptr, 8), WireCommand::Unknown);
  EXPECT_EQ(commandLength(WireCommand::SettingsWrite), 56u);
  EXPECT_EQ(commandLength(WireCommand::Unknown), 0u);
}

TEST(WireModes, CodesTextsAndWireOrder) {
  EXPECT_EQ(kModeOSA0, 0x4F534130u);
  EXPECT_EQ(modeCodeText(kModeOSA0), "OSA0");
  EXPECT_EQ(modeCodeFromText("LAIO-extra"), kModeLAIO);
  const std::uint8_t reply[4] = {0x30, 0x41, 0x53, 0x4F};
  EXPECT_EQ(decodeModeCode(reply), kModeOSA0);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(modeIndex(kModeCodes[i]), i);
    std::uint8_t w[4];
    encodeModeCode(kModeCodes[i], w);
    EXPECT_EQ(decodeModeCode(w), kModeCodes[i]);
  }
  EXPECT_EQ(modeIndex(modeCodeFromText("XXXX")), -1);
  EXPECT_TRUE(isVoltmeterMode(kModeVMA1));
  EXPECT_FALSE(isVoltmeterMode(kModeOSA0));
  EXPECT_TRUE(isLoggerMode(kModeDLDI));
}

TEST(WireModes, MeasurementByteCounts) {
  EXPECT_EQ(measurementByteCount(kModeOSA0, 10000), 40000);
  EXPECT_EQ(measurementByteCount(kModeOSA0, 100), 400);
  EXPECT_EQ(measurementByteCount(kModeOSA0, 131000), 524000);
  EXPECT_EQ(measurementByteCount(kModeLAIO, 262000), 524000);
  EXPECT_EQ(measurementByteCount(kModeVMD1, 10000), 8);
  EXPECT_EQ(measurementByteCount(kModeDLA0, 10000), -1);
  EXPECT_EQ(measurementByteCount(kModeOSA0, -5), 0);
}

static SettingsWriteBlock sampleBlock() {
  SettingsWriteBlock b;
  b.amplC0 = 10;
  b.amplC1 = 0.5f;
  b.offsC0 = -1.25f;
  b.offsC1 = 0.5f;
  b.sampleTime = 1e-4f;
  b.memoryDepth = 10000;
  b.triggerPoint = 10;
  b.trigger = {1, 0x81, 0x02, 0x40};
  b.triggerType = 'T';
  b.levelUpper = 0.1f;
  b.levelLower = -0.1f;
  b.gpioData = 0xABCDEF;
  b.gpioDirection = 0x00FF00;
  return b;
}

TEST(WireSettings, WriteBlockFieldOffsets) {
  const auto bytes = sampleBlock().toBytes();
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{0x2A, 0x53, 0x57, 0x72}));
  EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 8), (Bytes{0x00, 0x00, 0x20, 0x41}));  // 10.0f
  EXPECT_EQ(Bytes(bytes.begin() + 32, bytes.begin() + 36), (Bytes{0x01, 0x81, 0x02, 0x40}));
  EXPECT_EQ(Bytes(bytes.begin() + 36, bytes.begin() + 40), (Bytes{0x54, 0x00, 0x00, 0x00}));
  EXPECT_EQ(Bytes(bytes.begin() + 48, bytes.begin() + 52), (Bytes{0xEF, 0xCD, 0xAB, 0x00}));
  EXPECT_EQ(Bytes(bytes.begin() + 52, bytes.begin() + 56), (Bytes{0x00, 0xFF, 0x00, 0x00}));
  SettingsWriteBlock back;
  ASSERT_TRUE(SettingsWriteBlock::decodeCommand(bytes.data(), 56, back));
  EXPECT_EQ(back, sampleBlock());
  EXPECT_FALSE(SettingsWriteBlock::decodeCommand(bytes.data(), 55, back));
}

TEST(WireSettings, ReplyMirrorsBlockWithZeroCorrectionsInserted) {
  const SettingsReply r = SettingsReply::fromWriteBlock(sampleBlock(), 0.01f, -0.02f);
  const auto bytes = r.toBytes();
  EXPECT_EQ(getF32(bytes.data() + 0), 10.0f);
  EXPECT_EQ(getF32(bytes.data() + 8), -1.25f);
  EXPECT_EQ(getF32(bytes.data() + 16), 0.01f);
  EXPECT_EQ(getF32(bytes.data() + 20), -0.02f);
  EXPECT_EQ(getF32(bytes.data() + 28), 10000.0f);
  EXPECT_EQ(getU32(bytes.data() + 36), 0x40028101u);
  EXPECT_EQ(getU32(bytes.data() + 40), std::uint32_t('T'));
  EXPECT_EQ(getU32(bytes.data() + 52), 0xABCDEFu);
  EXPECT_EQ(getU32(bytes.data() + 56), 0x00FF00u);
  EXPECT_EQ(SettingsReply::decode(bytes.data()), r);
  EXPECT_EQ(r.toWriteBlock(), sampleBlock());
}

TEST(WireSettings, TriggerChannelTwoIsByteOne) {
  TriggerWord t;
  t.channel = 2 - 1;  // the user counts channels from 1
  EXPECT_EQ(t.toWord() & 0xFF, 1u);
  EXPECT_EQ(TriggerWord::fromWord(0x04030201), (TriggerWord{1, 2, 3, 4}));
}

TEST(WireMeasure, SampleLayouts) {
  std::uint8_t b[8];
  encodeScopeSample(0x1234, 0xABCD, b);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0xCD, 0xAB, 0x34, 0x12}));  // channel 0 in bytes 2-3
  std::uint16_t c0 = 0, c1 = 0;
  decodeScopeSample(b, c0, c1);
  EXPECT_EQ(c0, 0x1234);
  EXPECT_EQ(c1, 0xABCD);

  encodeLogicGroup(0x0001, 0x0002, b);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x02, 0x00, 0x01, 0x00}));  // earlier in bytes 2-3

  encodeAnalogLoggerSample(0x1111, 0x2222, b);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0x11, 0x11, 0x22, 0x22}));
  encodeIoLoggerSample(0xBEEF, b);
  EXPECT_EQ(decodeIoLoggerSample(b), 0xBEEF);
}

TEST(WireMeasure, IdentificationEndsOneCharacterBeforeCrLf) {
  std::string text;
  // CR LF at positions 15 and 16 (1-based): 13 characters remain.
  auto reply = encodeIdentificationReply("Tolvanex V1.2 \r\nrest of the text");
  ASSERT_TRUE(decodeIdentificationReply(reply.data(), 32, text));
  EXPECT_EQ(text, "Tolvanex V1.2");
  EXPECT_FALSE(decodeIdentificationReply(reply.data(), 31, text));
  reply = encodeIdentificationReply("\r\nxyz");
  ASSERT_TRUE(decodeIdentificationReply(reply.data(), 32, text));
  EXPECT_EQ(text, "");
  reply = encodeIdentificationReply("no line end at all");
  ASSERT_TRUE(decodeIdentificationReply(reply.data(), 40, text));
  EXPECT_EQ(text.size(), 32u);
}

TEST(WireMeasure, EndMarkerDetection) {
  EndMarkerDetector d;
  // Split 10 + 6 across two chunks.
  EXPECT_FALSE(d.feed(kEndMarker.data(), 10));
  EXPECT_TRUE(d.feed(kEndMarker.data() + 10, 6));

  // A leading FF drops out of the window.
  d.clear();
  Bytes s{0xFF};
  s.insert(s.end(), kEndMarker.begin(), kEndMarker.end());
  EXPECT_TRUE(d.feed(s.data(), s.size()));

  // Any other byte inside the marker clears the window.
  d.clear();
  Bytes broken(kEndMarker.begin(), kEndMarker.end());
  broken.insert(broken.begin() + 8, 0x12);
  EXPECT_FALSE(d.feed(broken.data(), broken.size()));
  EXPECT_FALSE(d.seen());

  // Long runs of 00/FF samples before the marker do not hide it.
  d.clear();
  Bytes longRun(1000, 0x00);
  for (std::size_t i = 0; i < longRun.size(); i += 3) longRun[i] = 0xFF;
  longRun.insert(longRun.end(), kEndMarker.begin(), kEndMarker.end());
  EXPECT_TRUE(d.feed(longRun.data(), longRun.size()));
}
