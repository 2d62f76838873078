#include <gtest/gtest.h>

#include <cstring>

#include "wire/wire.h"
#include "ftdi/device_link.h"
#include "ftdi/ftdi_enumeration.h"
#include "ftdi/simulated_driver.h"
#include "recording_driver.h"

namespace tolv {
namespace {

using Call = TSimulatedDriver::Call;
using Panel = TDeviceLink::PanelState;

struct LinkFixture : ::testing::Test {
  ManualClock clock;
  TSimulatedDriver sim{1, clock};
  test::RecordingDriver rec{sim};
  TDeviceLink link{rec};

  void SetUp() override {
    sim.setLinkRate(LinkRate::instant());
    sim.device(0).setReplyLatencyUs(0);
    link.setSerialNumber(QString::fromStdString(TSimulatedDriver::serialFor(1)));
  }
};

TEST_F(LinkFixture, OpenPurgesReceiveBufferAndSets500msTimeouts) {
  int opened = 0;
  link.setChangeCallback(
      [&](TDeviceLink::Change c) { opened += c == TDeviceLink::Change::Opened; });
  EXPECT_EQ(link.readPanel(), Panel::Initial);
  ASSERT_EQ(link.open(), kFtOk);
  EXPECT_TRUE(link.isOpen());
  EXPECT_EQ(rec.log, (std::vector<std::string>{"open TVS00001", "purge 1", "timeouts 500 500"}));
  EXPECT_EQ(link.readPanel(), Panel::Green);
  EXPECT_EQ(opened, 1);
  ASSERT_EQ(link.open(), kFtOk);  // opening again releases the first handle
  EXPECT_EQ(rec.count("close"), 1);
  EXPECT_EQ(sim.openHandles(), 1);
  EXPECT_EQ(link.close(), kFtOk);
  EXPECT_EQ(link.close(), kFtOk);  // a second close finds no handle
  EXPECT_EQ(rec.count("close"), 2);
  EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(LinkFixture, SixtyCharacterSerialIsOpenedWithItsFirst49) {
  const std::string longSerial = std::string(49, 'K') + "0123456789A";
  sim.addDevice(longSerial.substr(0, 49), kFamilyDescription);
  link.setSerialNumber(QString::fromStdString(longSerial));
  EXPECT_EQ(link.serialNumber().size(), 60);
  EXPECT_EQ(std::strlen(link.serialBuffer()), 49u);
  ASSERT_EQ(link.open(), kFtOk);
  EXPECT_EQ(rec.log.front(), "open " + longSerial.substr(0, 49));
}

TEST_F(LinkFixture, ClosingAfterAFailedOpenCallsNoClose) {
  sim.failNext(Call::Open, kFtDeviceNotFound);
  EXPECT_EQ(link.open(), kFtDeviceNotFound);
  EXPECT_FALSE(link.isOpen());
  EXPECT_EQ(link.handle(), nullptr);
  EXPECT_EQ(rec.count("purge"), 0);
  link.close();
  EXPECT_EQ(rec.count("close"), 0);
  EXPECT_EQ(link.readPanel(), Panel::Initial);
}

TEST_F(LinkFixture, FailedPurgeStopsTheOpenButTheHandleIsStillReleased) {
  sim.failNext(Call::Purge, kFtIoError);
  EXPECT_EQ(link.open(), kFtIoError);
  EXPECT_FALSE(link.isOpen());
  EXPECT_EQ(rec.count("timeouts"), 0);
  EXPECT_EQ(link.readPanel(), Panel::Initial);
  link.close();
  EXPECT_EQ(rec.count("close"), 1);
  EXPECT_EQ(sim.openHandles(), 0);
}

TEST_F(LinkFixture, WriteFailureStaysRedAfterALaterSuccess) {
  ASSERT_EQ(link.open(), kFtOk);
  sim.failNext(Call::Write, kFtIoError);
  EXPECT_EQ(link.writeWords({kWordSRd}), kFtIoError);
  EXPECT_EQ(link.writePanel(), Panel::Red);
  EXPECT_EQ(link.writePanelStatus(), kFtIoError);
  EXPECT_EQ(link.writeWords({kWordSRd}), kFtOk);
  EXPECT_EQ(link.bytesWritten(), 4u);
  EXPECT_EQ(link.writePanel(), Panel::Red);
  EXPECT_EQ(link.writePanelStatus(), kFtIoError);
}

TEST_F(LinkFixture, WordsGoOutLittleEndianInOrder) {
  ASSERT_EQ(link.open(), kFtOk);
  ASSERT_EQ(link.writeWords({kWordSMd, kModeOSA0}), kFtOk);
  const std::uint8_t expected[] = {0x2A, 0x53, 0x4D, 0x64, 0x30, 0x41, 0x53, 0x4F};
  EXPECT_EQ(link.bytesToWrite(), 8u);
  EXPECT_EQ(std::memcmp(link.transmitBuffer(), expected, 8), 0);
  // The device understood it: the mode reply comes back.
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.queueByteCount(), 4u);
  ASSERT_EQ(link.readReceived(), kFtOk);
  ASSERT_EQ(link.receivedBytes().size(), 4u);
  EXPECT_EQ(decodeModeCode(link.receivedBytes().data()), kModeOSA0);
}

TEST_F(LinkFixture, QueryOfZeroBytesReadsNothingAndTestLineCountsPolls) {
  ASSERT_EQ(link.open(), kFtOk);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.testLine(), "ErrCode: 0 Bytes: 0  1");
  EXPECT_EQ(link.readReceived(), kFtOk);
  EXPECT_EQ(rec.count("read"), 0);
  EXPECT_TRUE(link.receivedBytes().empty());
  sim.failNext(Call::QueueStatus, kFtIoError);
  EXPECT_EQ(link.queryQueue(), kFtIoError);
  EXPECT_EQ(link.testLine(), "ErrCode: 4 Bytes: 0  2");
  EXPECT_EQ(link.pollCounter(), 2);
  EXPECT_EQ(link.readPanel(), Panel::Red);
  EXPECT_EQ(link.readPanelStatus(), kFtIoError);
}

TEST_F(LinkFixture, FailedQueryLeavesNoStaleCountToRead) {
  ASSERT_EQ(link.open(), kFtOk);
  sim.device(0).injectGarbage(100);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.queueByteCount(), 100u);
  sim.failNext(Call::QueueStatus, kFtInsufficientResources);
  link.queryQueue();
  EXPECT_EQ(link.queueByteCount(), 0u);
  link.readReceived();
  EXPECT_EQ(rec.count("read"), 0);
}

TEST_F(LinkFixture, QueueAbove524000IsReadInBoundedChunksInArrivalOrder) {
  ASSERT_EQ(link.open(), kFtOk);
  sim.device(0).injectGarbage(600000);
  std::vector<std::uint8_t> all;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(link.queryQueue(), kFtOk);
    if (link.queueByteCount() == 0) break;
    ASSERT_EQ(link.readReceived(), kFtOk);
    EXPECT_LE(link.bytesToRead(), 524000);
    all.insert(all.end(), link.receivedBytes().begin(), link.receivedBytes().end());
  }
  EXPECT_EQ(rec.log[4], "read 524000");
  EXPECT_EQ(rec.log[6], "read 76000");
  EXPECT_EQ(all.size(), 600000u);
}

TEST_F(LinkFixture, ReadLimitAndShortReadOnlyExposeBytesThatArrived) {
  ASSERT_EQ(link.open(), kFtOk);
  sim.device(0).injectGarbage(40);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.readReceived(10), kFtOk);
  EXPECT_EQ(link.receivedBytes().size(), 10u);
  rec.shortReadLimit = 7;
  ASSERT_EQ(link.queryQueue(), kFtOk);
  ASSERT_EQ(link.readReceived(), kFtOk);
  EXPECT_EQ(link.bytesToRead(), 30);
  EXPECT_EQ(link.receivedBytes().size(), 7u);
  sim.failNext(Call::Read, kFtIoError);
  ASSERT_EQ(link.queryQueue(), kFtOk);
  EXPECT_EQ(link.readReceived(), kFtIoError);
  EXPECT_TRUE(link.receivedBytes().empty());
  EXPECT_EQ(link.readPanel(), Panel::Red);
}

TEST_F(LinkFixture, AccumulationNeverGrowsPastItsCapacity) {
  std::vector<std::uint8_t> chunk(200000, 0xAB);
  EXPECT_EQ(link.appendAccumulation(chunk), 200000u);
  EXPECT_EQ(link.appendAccumulation(chunk), 200000u);
  EXPECT_EQ(link.appendAccumulation(chunk), 124000u);
  EXPECT_EQ(link.appendAccumulation(chunk), 0u);
  EXPECT_EQ(link.accumulationFill(), 524000);
  link.resetAccumulation();
  EXPECT_EQ(link.accumulationFill(), 0);
}

// Every call failing with every status, one at a time, must leave the link and the listing
// consistent and never crash.
TEST(LinkFaults, EachCallFailingWithEachStatusNeverCrashes) {
  const FtStatus statuses[] = {1, 2, 3, 4, 5, 6, 7, 18, 0xFFFFFFFFu};
  for (int kind = 0; kind < int(Call::Count_); ++kind) {
    for (FtStatus st : statuses) {
      ManualClock clock;
      TSimulatedDriver sim(2, clock);
      sim.setLinkRate(LinkRate::instant());
      TRecordingMessageSink sink;
      TFtdiEnumeration en(sim, &sink);
      sim.failNext(Call(kind), st);
      std::vector<FtdiDeviceRow> rows;
      en.scan(rows);
      sim.failNext(Call(kind), st);
      TDeviceLink link(sim);
      link.setSerialNumber("TVS00001");
      const FtStatus openSt = link.open();
      link.writeWords({kWordIdnFirst, kWordIdnSecond});
      clock.advanceMs(10);
      for (int i = 0; i < 3; ++i) {
        link.queryQueue();
        link.readReceived();
      }
      link.close();
      // Only a refused close leaves the driver's handle open; the link forgets it either way.
      const bool closeRefused = Call(kind) == Call::Close;
      EXPECT_EQ(sim.openHandles(), closeRefused ? 1 : 0);
      EXPECT_EQ(link.handle(), nullptr);
      if (openSt == kFtOk) {
        EXPECT_TRUE(link.writePanel() == Panel::Red || link.readPanel() != Panel::Initial);
      }
    }
  }
}

TEST(LinkFaults, UnpluggedDeviceFailsEveryCallAndTheWindowKeepsItsStatuses) {
  ManualClock clock;
  TSimulatedDriver sim(1, clock);
  TDeviceLink link(sim);
  link.setSerialNumber("TVS00001");
  ASSERT_EQ(link.open(), kFtOk);
  sim.disconnect(0);
  EXPECT_EQ(link.writeWords({kWordSRd}), kFtIoError);
  EXPECT_EQ(link.queryQueue(), kFtIoError);
  EXPECT_EQ(link.readPanelStatus(), kFtIoError);
  EXPECT_EQ(link.writePanelStatus(), kFtIoError);
  link.close();
  EXPECT_EQ(sim.openHandles(), 0);
  EXPECT_EQ(link.open(), kFtDeviceNotFound);
}

// A device pulled and plugged back before anyone listed it: the serial number is listed as
// before, so only the handle can tell. It is asked without taking bytes, and only a handle that
// fails is checked further by opening afresh.
TEST(LinkFaults, HandleOfADevicePluggedBackAtOnceIsDeadAndOthersAreNot) {
  ManualClock clock;
  TSimulatedDriver sim(2, clock);
  TDeviceLink link(sim);
  link.setSerialNumber("TVS00001");
  EXPECT_FALSE(link.handleDead());  // nothing open
  ASSERT_EQ(link.open(), kFtOk);
  const int opens = sim.calls(Call::Open);
  EXPECT_FALSE(link.handleDead());
  EXPECT_EQ(sim.calls(Call::Open), opens);  // a live handle costs one queue query, no open

  // The quick replug, with the driver telling and silently: the old handle is dead either way,
  // and the probe's own handle is released again.
  for (FtStatus st : {kFtIoError, kFtOk}) {
    SCOPED_TRACE(st);
    sim.unplug(0, st);
    sim.plug(0);
    EXPECT_TRUE(link.listedNow());
    EXPECT_TRUE(link.handleDead());
    EXPECT_EQ(sim.openHandles(), 1);  // the dead one only
    link.close();
    ASSERT_EQ(link.open(), kFtOk);
    EXPECT_FALSE(link.handleDead());
  }

  // Back without access rights: dead too, so the window can say what to do.
  sim.setDenied(0, true);
  sim.unplug(0);
  sim.plug(0);
  EXPECT_TRUE(link.handleDead());
  link.close();
  sim.setDenied(0, false);
  ASSERT_EQ(link.open(), kFtOk);

  // One failing call is no reason: the probe asks again and the handle answers.
  sim.failNext(Call::Read, kFtIoError);
  EXPECT_FALSE(link.handleDead());
  // A handle failing for good on a device the driver will not open again (hung on the bus)
  // stays: nothing better can be opened.
  sim.disconnect(0);
  EXPECT_FALSE(link.handleDead());
  EXPECT_EQ(sim.openHandles(), 1);
}

}  // namespace
}  // namespace tolv
