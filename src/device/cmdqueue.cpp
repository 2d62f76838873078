#include "device/cmdqueue.h"

#include <algorithm>

#include "wire/wirebytes.h"

namespace tolv {

QueuedCommand QueuedCommand::empty() {
  QueuedCommand c;
  putU32(c.payload.data(), kWordZZZZ);
  return c;
}

std::uint32_t QueuedCommand::payloadWord(std::size_t i) const {
  return i < kPayloadSize / 4 ? getU32(payload.data() + 4 * i) : 0;
}

std::array<std::uint8_t, QueuedCommand::kSize> QueuedCommand::toBytes() const {
  std::array<std::uint8_t, kSize> b{};
  putI32(b.data(), kind);
  putI32(b.data() + 4, replyTag);
  putI32(b.data() + 8, waitMs);
  std::copy(payload.begin(), payload.end(), b.begin() + 12);
  return b;
}

QueuedCommand QueuedCommand::fromBytes(const std::uint8_t* in) {
  QueuedCommand c;
  c.kind = getI32(in);
  c.replyTag = getI32(in + 4);
  c.waitMs = getI32(in + 8);
  std::copy(in + 12, in + kSize, c.payload.begin());
  return c;
}

static QueuedCommand command(std::int32_t kind, std::int32_t tag, std::int32_t wait) {
  QueuedCommand c;
  c.kind = kind;
  c.replyTag = tag;
  c.waitMs = std::max(0, wait);
  return c;
}

QueuedCommand makeIdentificationCommand() {
  QueuedCommand c = command(kKindIdentification, kTagIdentification, kWaitIdentification);
  encodeIdentificationRequest(c.payload.data());
  return c;
}

QueuedCommand makeSettingsWriteCommand(const SettingsWriteBlock& block) {
  QueuedCommand c = command(kKindSettingsWrite, kTagSettings, kWaitSettingsWrite);
  block.encode(c.payload.data());
  return c;
}

QueuedCommand makeSettingsReadCommand() {
  QueuedCommand c = command(kKindFourByte, kTagSettings, kWaitSettingsRead);
  encodeSettingsRead(c.payload.data());
  return c;
}

QueuedCommand makeSetModeCommand(ModeCode mode) {
  QueuedCommand c = command(kKindEightByte, kTagMode, kWaitSetMode);
  encodeSetMode(mode, c.payload.data());
  return c;
}

QueuedCommand makeRunCommand() {
  QueuedCommand c = command(kKindRun, kTagMeasurement, kWaitRun);
  encodeRun(c.payload.data());
  return c;
}

QueuedCommand makeIoCounterCommand(std::uint32_t counter, std::int32_t count0IntervalMs,
                                   std::int32_t count1IntervalMs) {
  QueuedCommand c =
      command(kKindTwelveByte, kTagIo, (counter & 1u) ? count1IntervalMs : count0IntervalMs);
  encodeIoWord(counter, kIowLineMask, c.payload.data());
  return c;
}

int TCmdQueueList::add(const QueuedCommand& cmd) {
  items_.push_back(cmd);
  return count() - 1;
}

int TCmdQueueList::insertAt(int index, const QueuedCommand& cmd) {
  const int at = std::clamp(index, 0, count());
  items_.insert(items_.begin() + at, cmd);
  return at;
}

int TCmdQueueList::indexOfKind(std::int32_t kind) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].kindByte() == std::uint8_t(kind & 0xFF)) return int(i);
  return -1;
}

QueuedCommand TCmdQueueList::takeFirst() {
  if (items_.empty()) return QueuedCommand::empty();
  QueuedCommand c = items_.front();
  items_.pop_front();
  return c;
}

void TCmdQueueList::clear() {
  while (!items_.empty()) items_.pop_back();
}

QueuedCommand TCmdQueueList::get(int index) {
  if (index < 0) return QueuedCommand::empty();
  while (count() <= index) items_.push_back(QueuedCommand::empty());
  return items_[std::size_t(index)];
}

int TCmdQueueList::deleteAt(int index) {
  if (index < 0 || index >= count()) return kIndexOutOfRange;
  items_.erase(items_.begin() + index);
  return 0;
}

}  // namespace tolv
