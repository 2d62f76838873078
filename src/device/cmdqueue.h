#pragma once
// The command queue of a device window: every command waits here until the acquisition cycle
// has no reply pending, so exactly one command is in flight at a time.
#include <array>
#include <cstdint>
#include <deque>

#include "wire/wirecommands.h"
#include "wire/wiresettings.h"

namespace tolv {

// How the drain step sends a queued command (only the low byte counts).
enum CommandKind : std::int32_t {
  kKindFourByte = 0,
  kKindRun = 1,
  kKindEightByte = 2,
  kKindSettingsWrite = 3,
  kKindTwelveByte = 4,
  kKindIdentification = 5,
};

// The reply the window waits for once a command has been written.
enum ReplyTag : std::int32_t {
  kTagNone = -1,
  kTagSettings = 2,
  kTagMode = 8,
  kTagMeasurement = 9,
  kTagIo = 13,
  kTagIdentification = 15,
};

// Wait intervals (ms) of the producers.
inline constexpr std::int32_t kWaitIdentification = 217;
inline constexpr std::int32_t kWaitSettingsWrite = 333;
inline constexpr std::int32_t kWaitSettingsRead = 113;
inline constexpr std::int32_t kWaitSetMode = 333;
inline constexpr std::int32_t kWaitRun = 67;

// One queue entry; its 68-byte image is little-endian: kind, reply tag, wait interval, then the
// 56 payload bytes as they go on the wire.
struct QueuedCommand {
  static constexpr std::size_t kSize = 68;
  static constexpr std::size_t kPayloadSize = 56;

  std::int32_t kind = kKindFourByte;
  std::int32_t replyTag = 0;
  std::int32_t waitMs = 0;
  std::array<std::uint8_t, kPayloadSize> payload{};

  // The empty command: kind 0, tag 0, wait 0, payload word "ZZZZ", all else zero.
  static QueuedCommand empty();
  std::uint8_t kindByte() const { return std::uint8_t(kind & 0xFF); }
  std::uint32_t payloadWord(std::size_t i) const;

  std::array<std::uint8_t, kSize> toBytes() const;
  static QueuedCommand fromBytes(const std::uint8_t* in68);
  friend bool operator==(const QueuedCommand&, const QueuedCommand&) = default;
};

// The producers of the system with the values each queues.
QueuedCommand makeIdentificationCommand();
QueuedCommand makeSettingsWriteCommand(const SettingsWriteBlock& block);  // copy of the block now
QueuedCommand makeSettingsReadCommand();
QueuedCommand makeSetModeCommand(ModeCode mode);
QueuedCommand makeRunCommand();
// I/O counter test: the wait is the interval of counter 1 for odd counters, of counter 0 for
// even ones; a negative interval counts as 0.
QueuedCommand makeIoCounterCommand(std::uint32_t counter, std::int32_t count0IntervalMs,
                                   std::int32_t count1IntervalMs);

class TCmdQueueList {
 public:
  static constexpr int kIndexOutOfRange = -2240;

  // Appends a copy; returns its index.
  int add(const QueuedCommand& cmd);
  // Puts a copy before the entry at index (at the end when index >= count); returns its index.
  int insertAt(int index, const QueuedCommand& cmd);
  // Index of the first entry of that kind, -1 when there is none.
  int indexOfKind(std::int32_t kind) const;
  int count() const { return int(items_.size()); }
  bool isEmpty() const { return count() < 1; }
  // A copy of the first entry, which leaves the queue; the empty command when there is none.
  QueuedCommand takeFirst();
  void clear();
  // A copy of the entry at index; a shorter queue is first padded with empty commands up to
  // that index. A negative index yields the empty command and changes nothing.
  QueuedCommand get(int index);
  // Removes the entry; -2240 (nothing changed) for an index outside 0 .. count-1.
  int deleteAt(int index);

 private:
  std::deque<QueuedCommand> items_;
};

}  // namespace tolv
