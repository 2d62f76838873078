#include <gtest/gtest.h>

#include "ftdi/ftdi_enumeration.h"
#include "ftdi/simulated_driver.h"

namespace tolv {
namespace {

using Call = TSimulatedDriver::Call;

struct EnumerationFixture : ::testing::Test {
  ManualClock clock;
  TSimulatedDriver driver{0, clock};
  TRecordingMessageSink sink;
  TFtdiEnumeration en{driver, &sink};
};

TEST_F(EnumerationFixture, NoDeviceGivesZeroCountNoBoxAndNoDeviceResult) {
  EXPECT_EQ(en.GetFTDeviceCount(), kFtOk);
  EXPECT_EQ(en.deviceCount(), 0u);
  std::vector<FtdiDeviceRow> rows;
  EXPECT_EQ(en.scan(rows), kNoDeviceFound);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(sink.messages.empty());
}

TEST(FamilyDescription, OnlyTheExactTextCounts) {
  EXPECT_TRUE(isFamilyDescription("Tolvanex Scope 1"));
  for (const char* other : {"Tolvanex Scope 1 ", "tolvanex scope 1", " Tolvanex Scope 1",
                            "Tolvanex Scope 10", "TOLVANEX SCOPE 1", ""}) {
    EXPECT_FALSE(isFamilyDescription(other)) << '"' << other << '"';
  }
}

TEST_F(EnumerationFixture, OnlyTheThirdOfThreeDevicesIsAFamilyDevice) {
  driver.addDevice("A1", "Tolvanex Scope 1 ", false);
  driver.addDevice("B2", "tolvanex scope 1", false);
  driver.addDevice("C3", "Tolvanex Scope 1");
  std::vector<FtdiDeviceRow> rows;
  ASSERT_EQ(en.scan(rows), 0);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].description, "Tolvanex Scope 1 ");
  EXPECT_EQ(rows[2].serial, "C3");
  std::vector<FtdiDeviceRow> family;
  ASSERT_EQ(TFtdiEnumeration::familyRows(rows, family), 0);
  ASSERT_EQ(family.size(), 1u);
  EXPECT_EQ(family[0].index, 2u);
  EXPECT_EQ(family[0].serial, "C3");
}

TEST_F(EnumerationFixture, DevicesButNoFamilyDeviceGiveNoDeviceResult) {
  driver.addDevice("A1", "USB Serial Converter", false);
  std::vector<FtdiDeviceRow> rows;
  std::vector<FtdiDeviceRow> family;
  EXPECT_EQ(en.scan(rows), 0);
  EXPECT_EQ(TFtdiEnumeration::familyRows(rows, family), kNoDeviceFound);
}

TEST_F(EnumerationFixture, LongTextsAreCutTo49Characters) {
  const std::string fifty(50, 'D');
  const std::string sixty = std::string(49, 'S') + "0123456789X";
  driver.addDevice(sixty, fifty, false);
  ASSERT_EQ(en.GetFTDeviceDescription(0), kFtOk);
  EXPECT_EQ(en.lastText(), QString::fromStdString(std::string(49, 'D')));
  ASSERT_EQ(en.GetFTDeviceSerialNo(0), kFtOk);
  EXPECT_EQ(en.lastText().size(), 49);
  EXPECT_EQ(en.lastText(), QString::fromStdString(sixty.substr(0, 49)));
}

TEST_F(EnumerationFixture, Status2FromSerialQueryShowsItsBoxAndKeepsLastText) {
  driver.addDevice("SER1", "Tolvanex Scope 1");
  ASSERT_EQ(en.GetFTDeviceDescription(0), kFtOk);
  driver.failNext(Call::ListSerial, kFtDeviceNotFound);
  EXPECT_EQ(en.GetFTDeviceSerialNo(0), kFtDeviceNotFound);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].text, "GetFTDeviceSerialNo - Device Not Found....");
  EXPECT_EQ(en.lastText(), "Tolvanex Scope 1");
}

TEST_F(EnumerationFixture, BoxTextsPerStatusAndFunction) {
  const char* texts[] = {"",
                         " - Invalid Handle...",
                         " - Device Not Found....",
                         " - Device Not Opened...",
                         " - General IO Error...",
                         " - Insufficient Resources...",
                         " - Invalid Parameter ...",
                         ""};
  driver.addDevice("SER1", "Tolvanex Scope 1");
  for (FtStatus st = 1; st <= 7; ++st) {
    sink.messages.clear();
    driver.failNext(Call::ListDescription, st);
    EXPECT_EQ(en.GetFTDeviceDescription(0), st);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, QString("GetFTDeviceDescription") + texts[st]);
  }
  sink.messages.clear();
  driver.failNext(Call::ListCount, kFtIoError);
  EXPECT_EQ(en.GetFTDeviceCount(), kFtIoError);
  ASSERT_EQ(sink.messages.size(), 1u);
  EXPECT_EQ(sink.messages[0].text, "GetFTDeviceCount - General IO Error...");
}

TEST_F(EnumerationFixture, FailedCountKeepsOldCountAndBoxesCanBeOff) {
  driver.addDevice("SER1", "Tolvanex Scope 1");
  ASSERT_EQ(en.GetFTDeviceCount(), kFtOk);
  driver.addDevice("SER2", "Tolvanex Scope 1");
  en.setErrorBoxesOn(false);
  driver.failNext(Call::ListCount, kFtInsufficientResources);
  EXPECT_EQ(en.GetFTDeviceCount(), kFtInsufficientResources);
  EXPECT_EQ(en.deviceCount(), 1u);
  EXPECT_TRUE(sink.messages.empty());
}

TEST_F(EnumerationFixture, ScanGoesOnAfterAFailedQueryRepeatingTheLastText) {
  driver.addDevice("SER1", "Tolvanex Scope 1");
  driver.addDevice("SER2", "Other");
  driver.failNext(Call::ListSerial, kFtIoError);  // the first serial query
  std::vector<FtdiDeviceRow> rows;
  ASSERT_EQ(en.scan(rows), 0);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].serial, "");  // nothing read successfully before
  EXPECT_EQ(rows[0].description, "Tolvanex Scope 1");
  EXPECT_EQ(rows[1].serial, "SER2");
  EXPECT_EQ(sink.messages.size(), 1u);
  en.finalise();
  EXPECT_TRUE(en.lastText().isEmpty());
}

}  // namespace
}  // namespace tolv
