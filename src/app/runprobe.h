#pragma once
// Opt-in instruments of the program for soak runs and black-box tests, switched on by
// environment variables and idle otherwise:
//   TOLV_STATS_FILE=FILE       run statistics (TRunStats) written to FILE every 5 s and at
//                              the orderly shut-down, with the least heap in use of the
//                              seconds since the last write
//   TOLV_TEST_PRESS_RUN_MS=N   N ms after start-up RUN is pressed in every device window once
//                              its start-up stages are done, as a user would
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "app/runstats.h"

class QTimer;

namespace tolv {

class TF_MultiTolvanexFrame;
class TF_OneTolvanex;

class TRunProbe : public QObject {
  Q_OBJECT
 public:
  static constexpr int kHeartbeatMs = 10;
  // The file is written on the event loop, synced: not too often, or the probe makes stalls.
  static constexpr int kWriteEveryMs = 5000;
  static constexpr int kHeapEveryMs = 1000;
  // Shorter gaps between two events are not worth naming.
  static constexpr int kGapNotedMs = 20;

  explicit TRunProbe(TF_MultiTolvanexFrame& frame, QObject* parent = nullptr);
  ~TRunProbe() override;

  bool statsOn() const { return !statsFile_.empty(); }
  // Notes which event's handling held the loop longest (see TRunStats::setStallCulprit).
  bool eventFilter(QObject* watched, QEvent* event) override;
  const TRunStats& stats() const { return stats_; }
  // Writes the statistics file once more (at the shut-down); 0 or the file error.
  int writeStats();

 private:
  void pressRunWhereReady();

  TF_MultiTolvanexFrame& frame_;
  TRunStats stats_{kHeartbeatMs};
  std::filesystem::path statsFile_;
  QElapsedTimer uptime_;
  QTimer* heartbeat_ = nullptr;
  QTimer* writer_ = nullptr;
  QTimer* heapTimer_ = nullptr;
  QTimer* press_ = nullptr;
  std::vector<const TF_OneTolvanex*> pressed_;
  // The event dispatched last: when the next one comes late, its handler held the loop.
  std::int64_t lastEventNs_ = 0;
  const char* lastClass_ = "";
  QString lastName_;
  int lastType_ = 0;
  int lastInterval_ = -1;
  bool closing_ = false;
};

}  // namespace tolv
