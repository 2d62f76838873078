// Queue semantics and the values every producer queues.
#include <gtest/gtest.h>

#include "device/cmdqueue.h"
#include "wire/wirebytes.h"

using namespace tolv;

TEST(CmdQueue, EmptyCommandAndRecordImage) {
  const QueuedCommand e = QueuedCommand::empty();
  const auto b = e.toBytes();
  ASSERT_EQ(b.size(), 68u);
  for (std::size_t i = 0; i < 12; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(b[12], 'Z');
  EXPECT_EQ(b[15], 'Z');
  for (std::size_t i = 16; i < 68; ++i) EXPECT_EQ(b[i], 0) << i;

  QueuedCommand c = makeSetModeCommand(kModeLAIO);
  c.kind = 0x1202;  // only the low byte counts
  const auto img = c.toBytes();
  EXPECT_EQ(getI32(img.data() + 4), 8);
  EXPECT_EQ(getI32(img.data() + 8), 333);
  EXPECT_EQ(QueuedCommand::fromBytes(img.data()), c);
  EXPECT_EQ(c.kindByte(), 2);
}

TEST(CmdQueue, AddTakeGetDeleteClear) {
  TCmdQueueList q;
  EXPECT_TRUE(q.isEmpty());
  EXPECT_EQ(q.takeFirst(), QueuedCommand::empty());

  // Get (3) on an empty queue pads it with four empty commands.
  EXPECT_EQ(q.get(3), QueuedCommand::empty());
  EXPECT_EQ(q.count(), 4);
  EXPECT_EQ(q.deleteAt(-1), -2240);
  EXPECT_EQ(q.deleteAt(4), -2240);
  EXPECT_EQ(q.count(), 4);
  q.clear();
  EXPECT_EQ(q.count(), 0);

  EXPECT_EQ(q.add(makeSettingsReadCommand()), 0);
  EXPECT_EQ(q.add(makeRunCommand()), 1);
  EXPECT_EQ(q.add(makeIdentificationCommand()), 2);
  EXPECT_EQ(q.deleteAt(1), 0);
  EXPECT_EQ(q.takeFirst().payloadWord(0), kWordSRd);
  EXPECT_EQ(q.takeFirst().kind, kKindIdentification);
  EXPECT_TRUE(q.isEmpty());
}

TEST(CmdQueue, EntriesAreCopies) {
  TCmdQueueList q;
  SettingsWriteBlock block;
  block.amplC0 = 2;
  q.add(makeSettingsWriteCommand(block));
  block.amplC0 = 20;  // a later change does not reach the queued copy
  q.add(makeSettingsWriteCommand(block));
  QueuedCommand first = q.get(0);
  first.payload[4] = 0xEE;  // nor does changing a copy taken out
  EXPECT_EQ(getF32(q.takeFirst().payload.data() + 4), 2.0f);
  EXPECT_EQ(getF32(q.takeFirst().payload.data() + 4), 20.0f);
}

TEST(CmdQueue, ProducerTable) {
  struct Row {
    QueuedCommand c;
    std::int32_t kind, tag, wait;
    std::uint32_t word;
  };
  const Row rows[] = {
      {makeIdentificationCommand(), 5, 15, 217, kWordIdnFirst},
      {makeSettingsWriteCommand({}), 3, 2, 333, kWordSWr},
      {makeSettingsReadCommand(), 0, 2, 113, kWordSRd},
      {makeSetModeCommand(kModeOSA0), 2, 8, 333, kWordSMd},
      {makeRunCommand(), 1, 9, 67, kWordRUN},
      {makeIoCounterCommand(5, 100, 250), 4, 13, 250, kWordIOW},
      {makeIoCounterCommand(6, 100, 250), 4, 13, 100, kWordIOW},
      {makeIoCounterCommand(6, -7, 250), 4, 13, 0, kWordIOW},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(r.c.kind, r.kind);
    EXPECT_EQ(r.c.replyTag, r.tag);
    EXPECT_EQ(r.c.waitMs, r.wait);
    EXPECT_EQ(r.c.payloadWord(0), r.word);
  }
  EXPECT_EQ(makeIdentificationCommand().payloadWord(1), kWordIdnSecond);
  EXPECT_EQ(makeSetModeCommand(kModeOSA0).payloadWord(1), kModeOSA0);
  EXPECT_EQ(makeIoCounterCommand(5, 100, 250).payloadWord(1), 5u);
  EXPECT_EQ(makeIoCounterCommand(5, 100, 250).payloadWord(2), 0xFFFFFu);
}
