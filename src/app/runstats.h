#pragma once
// Figures of a long run for soak tests: multi-device cycles, the records merged into them per
// device and the longest stall of the event loop, measured by a light heartbeat timer. Plain
// counting without timers so it can be tested with made-up times; TRunProbe wires it up.
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tolv {

// Bytes the program holds from the allocator (in use, small blocks and mapped large ones),
// not what the allocator keeps cached for it: the live heap a leak grows. -1 when the C
// library cannot tell.
std::int64_t heapInUseBytes();

class TRunStats {
 public:
  // The heartbeat's interval; a tick later than this by more is a stall.
  explicit TRunStats(int tickIntervalMs = 10) : intervalMs_(tickIntervalMs) {}

  // A run was started on the active devices: the previous cycle is complete.
  void runStarted();
  // One device record merged into the current cycle.
  void recordTaken(const QString& serial);
  // The common plot was drawn (once per cycle, or more often when the collecting time ends
  // before every record has come).
  void cycleDrawn();
  // The heartbeat fired at nowMs (monotonic).
  void tick(std::int64_t nowMs);

  // Completed cycles: runs started and followed by the next one.
  int cycles() const { return cycles_; }
  int draws() const { return draws_; }
  // Records of the completed cycles (a faultless run has cycles x devices of them).
  std::uint64_t records() const { return records_; }
  // Records of the cycle under way.
  std::uint64_t pendingRecords() const { return pending_; }
  // Records per device serial, pending ones included.
  const std::map<QString, std::uint64_t>& recordsPerDevice() const { return perDevice_; }
  // Longest stall since the first plot was drawn (the steady run), and before it (start-up:
  // device windows opening, boot steps).
  std::int64_t longestStallMs() const { return longestStall_; }
  std::int64_t longestStartUpStallMs() const { return startUpStall_; }
  std::uint64_t ticks() const { return ticks_; }
  // Heartbeats of the steady run that came 50 ms or more and 100 ms or more late.
  std::uint64_t stallsOver50() const { return over50_; }
  std::uint64_t stallsOver100() const { return over100_; }

  // The loop handled nothing for gapMs after what (event type, receiver class and name) was
  // dispatched at atMs; the longest gaps of the steady run are kept to find where stalls come
  // from.
  struct Gap {
    std::int64_t atMs = 0;
    std::int64_t ms = 0;
    QString what;
  };
  static constexpr std::size_t kGapsKept = 8;
  void noteGap(std::int64_t atMs, std::int64_t gapMs, const QString& what);
  // Longest first.
  const std::vector<Gap>& longestGaps() const { return gaps_; }
  QString stallCulprit() const { return gaps_.empty() ? QString() : gaps_.front().what; }

  // A reading of the heap in use (bytes; a negative one is no reading). The least one since
  // the last take is what a leak lifts: a cycle's work holds a few MB only for a moment.
  void heapSample(std::int64_t bytes);
  // The least reading since the last take (-1 without one); starts the next span.
  std::int64_t takeHeapFloor();

  // "key value" lines (LF), a "gap AT_MS MS WHAT" line per kept gap and a "device SERIAL N"
  // line per device, for scripts to read.
  std::string text(std::int64_t uptimeMs) const;

 private:
  int intervalMs_;
  int cycles_ = 0;
  int draws_ = 0;
  bool running_ = false;
  std::uint64_t records_ = 0;
  std::uint64_t pending_ = 0;
  std::map<QString, std::uint64_t> perDevice_;
  bool ticking_ = false;
  std::int64_t lastTick_ = 0;
  std::int64_t longestStall_ = 0;
  std::int64_t startUpStall_ = 0;
  std::uint64_t ticks_ = 0;
  std::uint64_t over50_ = 0;
  std::uint64_t over100_ = 0;
  std::vector<Gap> gaps_;
  std::int64_t heapFloor_ = -1;
};

}  // namespace tolv
