#include "app/runprobe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "app/tf_multitolvanexframe.h"
#include "common/atomicfile.h"
#include "devicewin/tf_onetolvanex.h"
#include "devicewin/tf_onetolvanex_runpanel.h"
#include "multi/multicollect.h"
#include "multi/tf_multi_tolvanex_img.h"

namespace tolv {

TRunProbe::TRunProbe(TF_MultiTolvanexFrame& frame, QObject* parent)
    : QObject(parent), frame_(frame) {
  uptime_.start();
  const QString stats = qEnvironmentVariable("TOLV_STATS_FILE");
  if (!stats.isEmpty() && frame_.multiWindow()) {
    statsFile_ = std::filesystem::path(stats.toStdString());
    TMultiCollection& coll = frame_.multiWindow()->coll();
    coll.onRunStarted = [this] { stats_.runStarted(); };
    coll.onRecordTaken = [this](const QString& serial) { stats_.recordTaken(serial); };
    coll.onCycleDrawn = [this] { stats_.cycleDrawn(); };
    heartbeat_ = new QTimer(this);
    heartbeat_->setTimerType(Qt::PreciseTimer);
    heartbeat_->setInterval(kHeartbeatMs);
    connect(heartbeat_, &QTimer::timeout, this,
            [this] { stats_.tick(uptime_.elapsed()); });
    heartbeat_->start();
    writer_ = new QTimer(this);
    writer_->setInterval(kWriteEveryMs);
    connect(writer_, &QTimer::timeout, this, [this] { writeStats(); });
    writer_->start();
    heapTimer_ = new QTimer(this);
    heapTimer_->setInterval(kHeapEveryMs);
    connect(heapTimer_, &QTimer::timeout, this, [this] { stats_.heapSample(heapInUseBytes()); });
    heapTimer_->start();
    writeStats();
    QCoreApplication::instance()->installEventFilter(this);
  }
  bool ok = false;
  const int pressMs = qEnvironmentVariableIntValue("TOLV_TEST_PRESS_RUN_MS", &ok);
  if (ok && pressMs >= 0) {
    press_ = new QTimer(this);
    press_->setSingleShot(true);
    press_->setInterval(pressMs);
    connect(press_, &QTimer::timeout, this, [this] { pressRunWhereReady(); });
    press_->start();
  }
}

TRunProbe::~TRunProbe() {
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
  if (frame_.multiWindow()) {
    TMultiCollection& coll = frame_.multiWindow()->coll();
    coll.onRunStarted = nullptr;
    coll.onRecordTaken = nullptr;
    coll.onCycleDrawn = nullptr;
  }
}

bool TRunProbe::eventFilter(QObject* watched, QEvent* event) {
  // Closing the frame is the shut-down, not a stall of the run: the figures end there.
  if (closing_) return false;
  if (watched == &frame_ && event->type() == QEvent::Close) {
    closing_ = true;
    if (heartbeat_) heartbeat_->stop();
    return false;
  }
  const std::int64_t now = uptime_.nsecsElapsed();
  const std::int64_t gapMs = (now - lastEventNs_) / 1000000;
  if (stats_.draws() > 0 && gapMs >= kGapNotedMs) {
    QString what = QStringLiteral("%1 %2 \"%3\"")
                       .arg(lastType_)
                       .arg(QLatin1String(lastClass_), lastName_);
    // Timers are mostly unnamed; their interval tells them apart.
    if (lastInterval_ >= 0) what += QStringLiteral(" %1 ms").arg(lastInterval_);
    stats_.noteGap(lastEventNs_ / 1000000, gapMs, what);
  }
  lastEventNs_ = now;
  lastClass_ = watched->metaObject()->className();
  lastName_ = watched->objectName();
  lastType_ = int(event->type());
  const auto* timer = qobject_cast<const QTimer*>(watched);
  lastInterval_ = timer ? timer->interval() : -1;
  return false;
}

int TRunProbe::writeStats() {
  if (statsFile_.empty()) return 0;
  stats_.heapSample(heapInUseBytes());
  const std::int64_t heap = stats_.takeHeapFloor();
  // The monotonic clock at start-up lets the gaps' times be matched with a system trace.
  return writeFileAtomically(statsFile_, stats_.text(uptime_.elapsed()) + "monotonic_start_ms " +
                                             std::to_string(uptime_.msecsSinceReference()) +
                                             "\nheap_kb " +
                                             std::to_string(heap < 0 ? -1 : heap / 1024) + '\n');
}

void TRunProbe::pressRunWhereReady() {
  TTolvanexFormsList& forms = frame_.deviceWindows();
  int waiting = 0;
  for (int i = 0; i < forms.count(); ++i) {
    TF_OneTolvanex* w = forms.get(i);
    if (!w || std::find(pressed_.begin(), pressed_.end(), w) != pressed_.end()) continue;
    QPushButton* run = w->runPanel() ? w->runPanel()->runButton() : nullptr;
    if (!run || w->startUpPending() || !run->isEnabled()) {
      ++waiting;
      continue;
    }
    run->click();
    pressed_.push_back(w);
  }
  if (waiting > 0) {
    press_->setInterval(100);
    press_->start();
  }
}

}  // namespace tolv
