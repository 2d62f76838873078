#pragma once
// The run controls of a device window: RUN and STOP, single shot and overlap, the run-state
// panel, the queue count and the drawing progress bar. It only shows what it is told and
// reports clicks; the acquisition cycle decides.
#include <QFrame>
#include <QStringList>

#include "device/acquisition.h"
#include "devicewin/panel_scopecontrols_widgets.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tolv {

class TOneTolvanexRunPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TOneTolvanexRunPanel(QWidget* parent = nullptr);
  void applyTexts();

  void showRunState(RunState s);
  // A stop under way: the run-state panel says so, with how much of the record has come, and
  // the shared spot shows RUN, or STOP once a START pressed meanwhile waits for the stop's end.
  void showStop(const StopShow& stop);
  // Whether the run goes on after the record in its steps (STOP then stays in RUN's place).
  void showRunGoesOn(bool on) { runGoesOn_ = on; }
  void showQueueCount(int n);
  void showRunEnabled(bool on);
  // A multi-device run measures with the device: RUN and the single-shot box are held (greyed,
  // their hints saying why) until it gives them back. STOP stays.
  void showHeldByMultiRun(bool held);
  // The boxes follow their flags without reporting a change back.
  void showSingleShot(bool on);
  void showOverlap(bool on);
  // The two boxes belong to the scope and logic-analyser modes only.
  void showSingleOverlapBoxes(bool visible);
  void showDrawProgress(bool visible, int value);

  QPushButton* runButton() const { return run_; }
  QPushButton* breakButton() const { return break_; }
  QCheckBox* singleShotBox() const { return single_; }
  QCheckBox* overlapBox() const { return overlap_; }
  TClickPanel* runningPanel() const { return running_; }
  TClickPanel* queuePanel() const { return queue_; }
  QProgressBar* drawProgress() const { return draw_; }

 signals:
  void runClicked();
  void breakClicked();
  void singleShotToggled(bool on);
  void overlapToggled(bool on);

 private:
  static constexpr int kMinimumButtonWidth = 64;
  static constexpr int kMinimumRunningWidth = 70;
  static constexpr int kMinimumQueueWidth = 28;
  static constexpr int kPanelPadding = 4;
  static constexpr int kDrawBarWidth = 64;
  // Sizes the fixed rooms for the captions of the current language.
  void fitRooms();
  static QString stoppingCaption(int percent, bool startAfter = false);
  // RUN and STOP as the run state and a stop under way have them.
  void applyButtons();
  // Fixes the panel at the size its widest caption asks (at least `least` wide).
  static void fitToWidest(QLabel* panel, const QStringList& captions, int least);

  // RUN and the box as the run and the multi-device run allow them.
  void applyRunEnabled();
  // RUN and STOP swap places (and RUN greys) under the keyboard user's hand: the focus the pair
  // holds is parked on their shared spot while they change, then given to the one in sight.
  bool parkButtonFocus();
  void restoreButtonFocus(bool parked);

  TReentryMark mark_;
  bool runGoesOn_ = false;
  RunState state_ = RunState::Idle;
  bool runEnabled_ = false;
  bool held_ = false;
  StopShow stop_;
  QWidget* buttons_ = nullptr;
  QWidget* drawRoom_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* break_ = nullptr;
  QCheckBox* single_ = nullptr;
  QCheckBox* overlap_ = nullptr;
  TClickPanel* running_ = nullptr;
  TClickPanel* queue_ = nullptr;
  QProgressBar* draw_ = nullptr;
};

}  // namespace tolv
