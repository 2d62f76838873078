// The acquisition cycle tick by tick against a scripted device.
#include <gtest/gtest.h>

#include "acq_rig.h"
#include "wire/wire.h"

using namespace tolv;
using namespace tolv::test;

namespace {

using Acq = AcqRig;

TEST_F(Acq, FreshDeviceRequestsOsa0After400msAndEnablesRun) {
  openFresh();
  advance(399);
  EXPECT_FALSE(acq.runEnabled());
  EXPECT_EQ(drv.count("*SMd"), 0);
  advance(1);
  EXPECT_TRUE(acq.runEnabled());
  EXPECT_EQ(acq.queue().count(), 1);  // "*SMd" OSA0 waits for the next tick
  advance(200);
  ASSERT_EQ(drv.count("*SMd"), 1);
  const Bytes expect{0x2A, 0x53, 0x4D, 0x64, 0x30, 0x41, 0x53, 0x4F};
  for (const auto& w : drv.writes) {
    if (w.bytes.size() == 8 && w.bytes[1] == 0x53) {
      EXPECT_EQ(w.bytes, expect);
    }
  }
  advance(1000);
  // The mode reply selects the mode and reads the settings back.
  EXPECT_EQ(acq.mode(), kModeOSA0);
  EXPECT_EQ(drv.count("*SRd"), 1);
  EXPECT_EQ(acq.storedReply().memoryDepth, 10000.0f);
  EXPECT_EQ(rig.host.identification, "Tolvanex V1.2");
  EXPECT_EQ(rig.host.queueCounts.back(), 0);
}

TEST_F(Acq, LoadedSettingsRestoreInStages) {
  SettingsRecord rec = SettingsRecord::defaults();
  rec.mode = kModeLAIO;
  rec.memoryDepth = 262000;
  rec.overlapping = true;
  rec.probeFactorC0 = 10;
  rec.probeHelpFactorFlag = false;
  rec.trgTypString = "P";
  acq.open([&](SettingsRecord& r) {
    r = rec;
    return 0;
  });
  advance(400);
  EXPECT_TRUE(acq.overlap());
  EXPECT_DOUBLE_EQ(acq.conversion().probe[0], 10.0);
  EXPECT_DOUBLE_EQ(acq.conversion().aux, 1.0);
  EXPECT_FALSE(acq.runEnabled());
  advance(1189 - 400 + 250 + 400);
  EXPECT_EQ(deviceMode, kModeLAIO);
  ASSERT_EQ(drv.count("*SWr"), 1);
  for (const auto& w : drv.writes) {
    if (w.bytes.size() != 56) continue;
    SettingsWriteBlock b;
    ASSERT_TRUE(SettingsWriteBlock::decodeCommand(w.bytes.data(), 56, b));
    EXPECT_EQ(b.memoryDepth, 262000.0f);
    EXPECT_EQ(b.triggerType, std::uint32_t('P'));
  }
  EXPECT_FALSE(acq.runEnabled());
  advance(2000);
  EXPECT_TRUE(acq.runEnabled());
}

// A settings file that cannot be read (cut by a crash) leaves a usable device: it starts as a
// new one, asks for the identification and scope mode, and RUN works.
TEST_F(Acq, UnreadableSettingsStartOnTheFirstStartSettings) {
  acq.open([](SettingsRecord&) { return 5; });
  advance(3000);
  ASSERT_GE(drv.writes.size(), 2u);
  EXPECT_EQ(drv.words().front(), "*IDN");
  EXPECT_EQ(drv.count("*SMd"), 1);
  EXPECT_EQ(acq.mode(), kModeOSA0);
  EXPECT_TRUE(acq.runEnabled());
}

TEST_F(Acq, RunCommandDropsWhatWasQueuedAfterIt) {
  boot();
  acq.queue().add(makeSettingsReadCommand());
  acq.queueRun();
  acq.queue().add(makeSettingsReadCommand());
  advance(1000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SRd", "*RUN"}));
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_EQ(acq.queue().count(), 0);
  EXPECT_EQ(rig.host.queueCounts.back(), 0);
}

TEST_F(Acq, SettingsWriteQueuedTwiceIsWrittenTwiceAsQueued) {
  boot();
  acq.desired().amplC0 = 2;
  acq.onAccumulateSettingsTimer();
  acq.desired().amplC0 = 0.5f;
  acq.onAccumulateSettingsTimer();
  advance(1000);
  std::vector<float> sent;
  for (const auto& w : drv.writes)
    if (w.bytes.size() == 56) sent.push_back(getF32(w.bytes.data() + 4));
  EXPECT_EQ(sent, (std::vector<float>{2.0f, 0.5f}));
}

// A settings reply that comes past its wait is dropped and does not update the controls. The
// device holds the written settings all the same: one settings read goes out ahead of the next
// run, so its record is counted from the depth the device measures with now.
TEST_F(Acq, LateSettingsReplyIsDroppedAndReadBackBeforeTheNextRun) {
  boot();
  const int applied = rig.host.settingsApplied;
  replyDelay = 400;  // wait interval of "*SWr" is 333 ms
  // The device takes another sample time than the one asked for: the read back says so.
  overrideReply = [&](WireCommand c, const Bytes& b) {
    if (c != WireCommand::SettingsWrite) return Bytes{};
    device = SettingsReply::fromWriteBlock(SettingsWriteBlock::decode(b.data()), 0.01f);
    device.sampleTime = 2e-4f;
    const auto r = device.toBytes();
    return Bytes(r.begin(), r.end());
  };
  acq.desired().amplC0 = 20;
  acq.desired().memoryDepth = 5000;
  acq.desired().sampleTime = 3e-4f;
  acq.onAccumulateSettingsTimer();
  advance(2000);
  EXPECT_EQ(drv.count("*SWr"), 1);
  EXPECT_EQ(drv.count("*SRd"), 0);  // no run asked for: nothing is read
  EXPECT_EQ(rig.host.settingsApplied, applied);
  EXPECT_EQ(acq.storedReply().amplC0, 10.0f);
  EXPECT_TRUE(rig.host.adjusted.empty());
  replyDelay = 20;
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(scopeData(5000, 3), 30); };
  acq.runClicked();
  advance(1000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SRd", "*RUN"}));
  EXPECT_EQ(acq.storedReply().memoryDepth, 5000.0f);
  EXPECT_EQ(acq.conversion().ampl[0], 20.0);
  EXPECT_EQ(rig.host.adjusted, (std::vector<std::pair<double, double>>{{3e-4f, 2e-4f}}));
  ASSERT_EQ(rig.sink.scopeRecords, 1);
  EXPECT_EQ(rig.sink.scope.size(), 5000u);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  // Read once per write: the next run goes out without one.
  acq.runClicked();
  advance(1000);
  EXPECT_EQ(drv.count("*SRd"), 1);
  EXPECT_EQ(rig.sink.scopeRecords, 2);

  // A slow device answers every command past its wait: a run right behind a write gets one
  // read, not a read before every try, and the late replies are dropped, neither taken as
  // settings nor as the head of the record (nor is the record's end cut off).
  replyDelay = 400;
  const int appliedThen = rig.host.settingsApplied;
  drv.writes.clear();
  std::int64_t lateAt = 0;
  overrideReply = [&](WireCommand c, const Bytes&) {
    if (c == WireCommand::SettingsWrite || c == WireCommand::SettingsRead)
      lateAt = clock.nowMs() + replyDelay;
    return Bytes{};
  };
  onRun = [&] {
    drv.deliver(scopeData(5000, 7), std::max<std::int64_t>(30, lateAt + 1 - clock.nowMs()));
  };
  acq.desired().amplC0 = 5;
  acq.requestSettingsWrite();
  acq.runClicked();
  advance(3000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SRd", "*RUN"}));
  ASSERT_EQ(rig.sink.scopeRecords, 3);
  ASSERT_EQ(rig.sink.scope.size(), 5000u);
  EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, 7), 1e-5);
  EXPECT_NEAR(rig.sink.scope.back().ch0, acq.conversion().rawToVolts(0, 7 + 4999), 1e-5);
  EXPECT_EQ(rig.host.settingsApplied, appliedThen);

  // A device slow to answer its writes alone: write A is given up, and write B goes out before
  // A's reply comes, in B's wait and as long as B's reply. The bytes may be A's: the settings
  // are read once more before the run, which is counted from B's depth, not A's.
  advance(2000);
  overrideReply = nullptr;
  replyDelay = 20;
  drv.onWrite = [&](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) != WireCommand::SettingsWrite) return respond(b);
    device = SettingsReply::fromWriteBlock(SettingsWriteBlock::decode(b.data()), 0.01f);
    const auto r = device.toBytes();
    drv.deliver(Bytes(r.begin(), r.end()), 900);
  };
  onRun = [&] { drv.deliver(scopeData(std::size_t(device.memoryDepth), 9), 30); };
  drv.writes.clear();
  acq.desired().memoryDepth = 4000;
  acq.onAccumulateSettingsTimer();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() == kTagSettings; }, 1000));
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() < 0; }, 1000));
  acq.desired().memoryDepth = 3000;
  acq.onAccumulateSettingsTimer();
  advance(3000);
  acq.runClicked();
  advance(2000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SWr", "*SRd", "*RUN"}));
  EXPECT_EQ(acq.storedReply().memoryDepth, 3000.0f);
  ASSERT_EQ(rig.sink.scopeRecords, 4);
  EXPECT_EQ(rig.sink.scope.size(), 3000u);

  // A device that answers everything 700 ms late, past the write's wait: the read ahead of the
  // run waits as long, so its late reply is dropped in the run's wait after it rather than
  // coming at the head of the record.
  drv.onWrite = [&](const Bytes& b) { respond(b); };
  replyDelay = 700;
  drv.writes.clear();
  acq.desired().amplC0 = 3;
  acq.requestSettingsWrite();
  acq.runClicked();
  advance(4000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SRd", "*RUN"}));
  ASSERT_EQ(rig.sink.scopeRecords, 5);
  ASSERT_EQ(rig.sink.scope.size(), 3000u);
  EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, 9), 1e-5);
  EXPECT_NEAR(rig.sink.scope.back().ch0, acq.conversion().rawToVolts(0, 9 + 2999), 1e-5);

  // A device that answers in turn, its write 700 ms and its read 1100 ms late: the read's reply
  // is given up and still on its way when the run goes out, and comes ahead of the record. It
  // is counted: the run brings the record and those bytes, which leave its head.
  std::int64_t busyUntil = 0;
  const auto inTurn = [&](const Bytes& bytes, std::int64_t lateMs) {
    busyUntil = std::max(clock.nowMs() + lateMs, busyUntil + 1);
    drv.deliver(bytes, busyUntil - clock.nowMs());
  };
  drv.onWrite = [&](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (c == WireCommand::SettingsWrite)
      device = SettingsReply::fromWriteBlock(SettingsWriteBlock::decode(b.data()), 0.01f);
    const auto r = device.toBytes();
    if (c == WireCommand::SettingsWrite) inTurn(Bytes(r.begin(), r.end()), 700);
    if (c == WireCommand::SettingsRead) inTurn(Bytes(r.begin(), r.end()), 1100);
    if (c == WireCommand::Run) inTurn(scopeData(std::size_t(device.memoryDepth), 11), 30);
  };
  advance(3000);
  drv.writes.clear();
  acq.desired().amplC0 = 4;
  acq.requestSettingsWrite();
  acq.runClicked();
  advance(5000);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*SWr", "*SRd", "*RUN"}));
  ASSERT_EQ(rig.sink.scopeRecords, 6);
  ASSERT_EQ(rig.sink.scope.size(), 3000u);
  EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, 11), 1e-5);
  EXPECT_NEAR(rig.sink.scope.back().ch0, acq.conversion().rawToVolts(0, 11 + 2999), 1e-5);
  EXPECT_EQ(drv.rxSize(), 0u);
  EXPECT_EQ(acq.pendingDiscard(), 0u);
  // Nothing given up: the next record is handed over once in, with no wait for a quiet link.
  onRun = nullptr;
  drv.onWrite = [&](const Bytes& b) {
    if (classifyCommand(b.data(), b.size()) == WireCommand::Run)
      drv.deliver(scopeData(3000, 12), 30);
  };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == 2; }, 1000));
  const std::int64_t runAt = clock.nowMs();
  ASSERT_TRUE(rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == 7; }, 2000));
  EXPECT_LT(clock.nowMs() - runAt, 200);
  EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, 12), 1e-5);
}

// A reply the device dropped for good is counted as given up only for so long: a settings reply
// read up to then may be that one, and the settings are read once more before the run; one read
// from then on is the awaited one (no extra read, its settings current). A read as long as two
// replies after two given up (one dropped, the other held back until the next command) tells by
// its length however late: the newest is applied, and in doubt still (the dropped one may be the
// one that came), the settings are read before the run.
TEST_F(Acq, AReplyDroppedForGoodIsForgottenInTime) {
  boot();
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(scopeData(10000, 5), 30); };
  bool dropRead = false;
  bool holdRead = false;
  Bytes held;
  drv.onWrite = [&](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    const bool read = c == WireCommand::SettingsRead;
    if (read && holdRead) {
      const auto r = device.toBytes();
      held.assign(r.begin(), r.end());
    }
    if (c == WireCommand::SettingsWrite && !held.empty()) {
      device = SettingsReply::fromWriteBlock(SettingsWriteBlock::decode(b.data()), 0.01f);
      const auto r = device.toBytes();
      held.insert(held.end(), r.begin(), r.end());
      drv.deliver(std::exchange(held, {}), replyDelay);
      return;
    }
    if (!(read && (dropRead || holdRead))) respond(b);
  };
  const auto giveUpRead = [&](bool& flag) {
    flag = true;
    acq.queue().add(makeSettingsReadCommand());
    rig.followUp.enable();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() == kTagSettings; }, 500));
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() < 0; }, 500));
    flag = false;
  };
  for (const bool twoOwed : {false, true}) {
    for (const int offMs : {-1, 0}) {
      SCOPED_TRACE(testing::Message() << "read " << offMs << " ms from the bound"
                                      << (twoOwed ? ", two replies owed" : ""));
      ASSERT_NO_FATAL_FAILURE(giveUpRead(dropRead));
      if (twoOwed) {
        ASSERT_NO_FATAL_FAILURE(giveUpRead(holdRead));
      }
      const std::int64_t readAt = clock.nowMs() + TAcquisition::kLostReplyKeptMs + offMs;
      advance(readAt - 300 - clock.nowMs());
      drv.writes.clear();
      acq.desired().amplC0 = float(20 + offMs + (twoOwed ? 10 : 0));
      acq.onAccumulateSettingsTimer();
      ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*SWr") == 1; }, 200));
      // The tick that reads its reply (in long before) comes at that moment.
      rig.followUp.start(int(readAt - clock.nowMs()));
      advance(readAt - clock.nowMs());
      ASSERT_LT(acq.replyTag(), 0);
      EXPECT_EQ(acq.storedReply().amplC0, acq.desired().amplC0);
      acq.runClicked();
      advance(1500);
      // Two owed: the awaited reply may be the one still to come, so the first read's reply
      // is in doubt as well.
      EXPECT_EQ(drv.words(),
                twoOwed     ? (std::vector<std::string>{"*SWr", "*SRd", "*SRd", "*RUN"})
                : offMs < 0 ? (std::vector<std::string>{"*SWr", "*SRd", "*RUN"})
                            : (std::vector<std::string>{"*SWr", "*RUN"}));
      EXPECT_EQ(rig.sink.scope.size(), 10000u);
    }
  }
}

// Replies given up ahead of a run that do not all come: none (the device dropped the one), or
// one of two, early (before the record can have been measured) or with the record. The record is
// handed over whole once the link is quiet after it, its head not in doubt, and the run ends.
TEST_F(Acq, RepliesGivenUpThatDoNotAllComeLeaveTheRecordWhole) {
  boot();
  acq.setSingleShot(true);
  int dropReads = 0;
  bool holdRead = false;
  Bytes held;
  std::int64_t heldMs = 0;
  std::uint16_t base = 0;
  drv.onWrite = [&](const Bytes& b) {
    const WireCommand c = classifyCommand(b.data(), b.size());
    if (c == WireCommand::SettingsRead && dropReads > 0) {
      --dropReads;
      return;
    }
    if (c == WireCommand::SettingsRead && std::exchange(holdRead, false)) {
      const auto r = device.toBytes();
      held.assign(r.begin(), r.end());
      return;
    }
    if (c != WireCommand::Run) return respond(b);
    if (!held.empty()) drv.deliver(std::exchange(held, {}), heldMs);
    drv.deliver(scopeData(10000, base), 1100);  // 1 s measured after the trigger
  };
  const auto giveUpRead = [&] {
    acq.queue().add(makeSettingsReadCommand());
    rig.followUp.enable();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() == kTagSettings; }, 500));
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return acq.replyTag() < 0; }, 500));
  };
  struct Case {
    bool twoGivenUp;
    std::int64_t cameMs;
  };
  for (const Case k : {Case{false, 0}, Case{true, 100}, Case{true, 1099}}) {
    SCOPED_TRACE(testing::Message() << (k.twoGivenUp ? "one of two came at " : "none came ")
                                    << k.cameMs);
    ++base;
    dropReads = 1;
    ASSERT_NO_FATAL_FAILURE(giveUpRead());
    if (k.twoGivenUp) {
      holdRead = true;
      heldMs = k.cameMs;
      ASSERT_NO_FATAL_FAILURE(giveUpRead());
    }
    const int records = rig.sink.scopeRecords;
    const int doubts = rig.host.headInDoubt;
    acq.runClicked();
    ASSERT_TRUE(rig.hub.advanceUntil([&] { return drv.count("*RUN") == base; }, 1000));
    const std::int64_t lastByteAt = clock.nowMs() + 1100;
    ASSERT_TRUE(
        rig.hub.advanceUntil([&] { return rig.sink.scopeRecords == records + 1; }, 3000));
    EXPECT_GE(clock.nowMs() - lastByteAt, TAcquisition::kStaleQuietMs);
    EXPECT_LE(clock.nowMs() - lastByteAt, TAcquisition::kStaleQuietMs + 150);
    ASSERT_EQ(rig.sink.scope.size(), 10000u);
    EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, base), 1e-5);
    EXPECT_NEAR(rig.sink.scope.back().ch0, acq.conversion().rawToVolts(0, base + 9999), 1e-5);
    EXPECT_EQ(rig.host.headInDoubt, doubts);
    advance(500);
    EXPECT_EQ(acq.runState(), RunState::Idle);
    EXPECT_EQ(drv.rxSize(), 0u);
    EXPECT_EQ(acq.pendingDiscard(), 0u);
  }
}

TEST_F(Acq, ShortRepliesAreIgnored) {
  boot();
  const int applied = rig.host.settingsApplied;
  overrideReply = [](WireCommand c, const Bytes&) {
    if (c == WireCommand::SettingsRead) return Bytes(59, 0x41);
    if (c == WireCommand::SetMode) return Bytes{0x31, 0x44, 0x4D};
    return Bytes{};
  };
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(500);
  EXPECT_EQ(rig.host.settingsApplied, applied);
  EXPECT_EQ(acq.storedReply().amplC0, 10.0f);
  acq.selectMode(kModeVMD1);
  advance(1000);
  EXPECT_EQ(acq.mode(), kModeOSA0);
  EXPECT_EQ(drv.count("*SRd"), 1);  // only the one queued above
}

TEST_F(Acq, ScopeRecordCompletesAtTheThirdChunk) {
  boot();
  const Bytes data = scopeData(10000, 1000);
  onRun = [&] {
    if (drv.count("*RUN") > 1) return;
    drv.deliver(Bytes(data.begin(), data.begin() + 12000), 67);
    drv.deliver(Bytes(data.begin() + 12000, data.begin() + 24000), 134);
    drv.deliver(Bytes(data.begin() + 24000, data.end()), 201);
  };
  acq.runClicked();
  EXPECT_EQ(acq.runState(), RunState::RunQueued);
  EXPECT_FALSE(acq.controlsEnabled());
  advance(200);  // the tick that writes "*RUN"
  ASSERT_EQ(drv.count("*RUN"), 1);
  EXPECT_EQ(acq.expectedByteCount(), 40000);
  EXPECT_EQ(acq.runState(), RunState::Measuring);
  EXPECT_TRUE(acq.runEnabled());
  const std::int64_t t0 = drv.writes.back().atMs;
  advance(t0 + 134 - clock.nowMs());
  EXPECT_EQ(rig.link.accumulationFill(), 24000);
  EXPECT_EQ(rig.sink.scopeRecords, 0);
  advance(67);
  EXPECT_EQ(rig.sink.scopeRecords, 1);
  ASSERT_EQ(rig.sink.scope.size(), 10000u);
  EXPECT_NEAR(rig.sink.scope[5].ch0, acq.conversion().rawToVolts(0, 1005), 1e-5);
  // No overlap, no single shot: the next run follows at once.
  EXPECT_EQ(drv.count("*RUN"), 2);
  EXPECT_EQ(rig.sink.scopeFinished, 1);
}

TEST_F(Acq, SingleShotTakesExactlyOneRecord) {
  boot();
  acq.setOverlap(true);  // single shot wins over overlap and still ends Idle
  acq.setSingleShot(true);
  onRun = [&] { drv.deliver(scopeData(10000, 0), 30); };
  acq.runClicked();
  advance(3000);
  EXPECT_EQ(drv.count("*RUN"), 1);
  EXPECT_EQ(rig.sink.scopeRecords, 1);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_TRUE(acq.controlsEnabled());
}

TEST_F(Acq, OverlapWritesNextRunBeforeThePlot) {
  boot();
  acq.setOverlap(true);
  std::vector<std::pair<std::string, int>> seen;
  rig.sink.onEvent = [&](const char* what) { seen.emplace_back(what, drv.count("*RUN")); };
  onRun = [&] {
    if (drv.count("*RUN") == 1) drv.deliver(scopeData(10000, 0), 30);
  };
  acq.runClicked();
  advance(1000);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[0], (std::pair<std::string, int>{"scope", 1}));
  EXPECT_EQ(seen[1], (std::pair<std::string, int>{"scopeFinish", 2}));
  EXPECT_EQ(acq.runState(), RunState::Measuring);
}

// A command written in a record's steps ahead of the overlapping run (here a settings change
// whose debounce ended there) has its reply awaited: the run follows once it is applied, so it
// is neither lost nor taken as the head of the run's record.
TEST_F(Acq, OverlapAwaitsTheReplyOfACommandWrittenAheadOfTheNextRun) {
  boot();
  acq.setOverlap(true);
  bool changed = false;
  rig.host.onProcessEvents = [&] {
    if (acq.runState() != RunState::Transferring || std::exchange(changed, true)) return;
    acq.desired().amplC0 = 4;
    acq.onAccumulateSettingsTimer();
  };
  int runs = 0;
  onRun = [&] {
    if (++runs <= 2) drv.deliver(scopeData(10000, std::uint16_t(100 * runs)), 30);
  };
  acq.runClicked();
  advance(1000);
  EXPECT_TRUE(changed);
  EXPECT_EQ(drv.words(), (std::vector<std::string>{"*RUN", "*SWr", "*RUN", "*RUN"}));
  EXPECT_EQ(acq.storedReply().amplC0, 4.0f);
  ASSERT_EQ(rig.sink.scopeRecords, 2);
  ASSERT_EQ(rig.sink.scope.size(), 10000u);
  EXPECT_NEAR(rig.sink.scope.front().ch0, acq.conversion().rawToVolts(0, 200), 1e-5);
  EXPECT_NEAR(rig.sink.scope.back().ch0, acq.conversion().rawToVolts(0, 200 + 9999), 1e-5);
}

TEST_F(Acq, TickFiredWhileEventsRunDoesNotNest) {
  boot();
  acq.setOverlap(true);
  int nested = 0;
  rig.host.onProcessEvents = [&] {
    ++nested;
    acq.onFollowUpTimer();  // a follow-up tick delivered while the record is processed
  };
  onRun = [&] {
    if (drv.count("*RUN") <= 3) drv.deliver(scopeData(10000, 0), 30);
  };
  acq.runClicked();
  advance(2000);
  EXPECT_GT(nested, 0);
  EXPECT_EQ(rig.sink.scopeRecords, 3);
  EXPECT_EQ(rig.sink.scopeFinished, 3);
  EXPECT_EQ(drv.count("*RUN"), 4);
  EXPECT_TRUE(rig.followUp.isActive());
}

TEST_F(Acq, LogicAnalyserRecord) {
  boot(kModeLAIO);
  device.memoryDepth = 262000;
  acq.queue().add(makeSettingsReadCommand());
  rig.followUp.enable();
  advance(500);
  acq.setSingleShot(true);
  Bytes data(524000);
  for (std::size_t g = 0; g < data.size() / 4; ++g)
    encodeLogicGroup(std::uint16_t(2 * g), std::uint16_t(2 * g + 1), data.data() + 4 * g);
  onRun = [&] { drv.deliver(data, 40); };
  acq.runClicked();
  advance(1000);
  EXPECT_EQ(acq.expectedByteCount(), 524000);
  ASSERT_EQ(rig.sink.logic.size(), 262000u);
  EXPECT_EQ(rig.sink.logic[0], 0);
  EXPECT_EQ(rig.sink.logic[261999], std::uint16_t(261999));
  EXPECT_EQ(acq.runState(), RunState::Idle);
}

TEST_F(Acq, VoltmeterRunsBackToBackAndStopKeepsTheReadingInFlight) {
  boot(kModeVMD0);
  std::uint8_t v[8];
  encodeVoltmeterFloat(1.25f, -0.5f, v);
  onRun = [&] { drv.deliver(Bytes(v, v + 8), 30); };
  acq.runClicked();
  advance(500);
  const int readings = rig.sink.voltmeterReadings;
  EXPECT_GE(readings, 3);
  // Each reading is dated when its run went out (the device measures on it), not when a poll
  // or a STOP happens to read its reply.
  const auto datedByItsRun = [&] {
    std::vector<std::int64_t> runAt;
    for (const auto& w : drv.writes)
      if (w.bytes[1] == 'R') runAt.push_back(w.atMs);
    ASSERT_GE(runAt.size(), std::size_t(rig.sink.stamp.run));
    ASSERT_GT(rig.sink.stamp.run, 0u);
    EXPECT_EQ(rig.sink.stamp.received, acq.dayClock().at(runAt[rig.sink.stamp.run - 1] * 1000));
  };
  datedByItsRun();
  EXPECT_NEAR(rig.sink.lastVoltmeter.ch0, 1.25, 1e-6);
  EXPECT_EQ(rig.sink.lastVoltmeterRecord[1], 'V');
  // STOP right after a "*RUN" went out: the reading in flight was measured before the stop. It
  // is the series' last, dated by its run; no run follows it.
  ASSERT_TRUE(rig.hub.advanceUntil(
      [&] {
        return acq.runState() == RunState::Measuring && drv.writes.back().bytes[1] == 'R' &&
               drv.rxSize() == 0;
      },
      1000));
  const int before = rig.sink.voltmeterReadings;
  const int runs = drv.count("*RUN");
  acq.stopClicked();
  EXPECT_EQ(drv.words().back(), "ZZZZ");
  advance(500);
  EXPECT_EQ(rig.sink.voltmeterReadings, before + 1);
  datedByItsRun();
  EXPECT_EQ(drv.count("*RUN"), runs);
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_TRUE(runStateLook(acq.runState()).runVisible);
  EXPECT_FALSE(runStateLook(acq.runState()).breakVisible);

  // A reading that had come when STOP was pressed (not read yet) was measured before it: it is
  // kept, and no further run follows.
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil(
      [&] { return acq.runState() == RunState::Measuring && drv.rxSize() == 8; }, 1000));
  const int kept = rig.sink.voltmeterReadings;
  const int runsThen = drv.count("*RUN");
  acq.stopClicked();
  EXPECT_EQ(rig.sink.voltmeterReadings, kept + 1);
  EXPECT_EQ(rig.sink.stamp.run, std::uint32_t(runsThen));
  datedByItsRun();
  EXPECT_EQ(drv.words().back(), "ZZZZ");
  advance(500);
  EXPECT_EQ(rig.sink.voltmeterReadings, kept + 1);
  EXPECT_EQ(drv.count("*RUN"), runsThen);
  EXPECT_EQ(acq.runState(), RunState::Idle);

  // The same with the next run queued by that reading: closing the series draws its chart and
  // lets events run, where the follow-up tick comes. The queued run does not go out there.
  rig.sink.onVoltmeterStopped = [&] { advance(200); };
  acq.runClicked();
  ASSERT_TRUE(rig.hub.advanceUntil(
      [&] { return acq.runState() == RunState::Measuring && drv.rxSize() == 8; }, 1000));
  const int runsAtStop = drv.count("*RUN");
  acq.stopClicked();
  advance(500);
  EXPECT_EQ(drv.count("*RUN"), runsAtStop);
  EXPECT_EQ(drv.words().back(), "ZZZZ");
  // Each run command tells the records whether it is a single reading (a measurement of its
  // own, with its own time) or one of a series.
  rig.sink.onVoltmeterStopped = nullptr;
  rig.sink.voltmeterRunStarts.clear();
  acq.setSingleShot(true);
  acq.runClicked();
  advance(500);
  EXPECT_EQ(rig.sink.voltmeterRunStarts, std::vector<bool>{true});
  EXPECT_EQ(acq.runState(), RunState::Idle);
  EXPECT_TRUE(acq.queue().isEmpty());
}

TEST_F(Acq, DrawProgressAndClosing) {
  boot();
  acq.drawProgress(40);
  EXPECT_TRUE(acq.drawProgressVisible());
  EXPECT_EQ(acq.drawProgressValue(), 40);
  acq.drawProgress(101);
  EXPECT_FALSE(acq.drawProgressVisible());

  acq.closeQuery();
  EXPECT_TRUE(acq.closing());
  EXPECT_EQ(drv.words().back(), "ZZZZ");
  acq.close();
  EXPECT_FALSE(rig.link.isOpen());
  EXPECT_TRUE(rig.closeTimer.isActive());
  advance(1000);
  EXPECT_FALSE(rig.closeTimer.isActive());
}

}  // namespace

