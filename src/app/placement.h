#pragma once
// Start places of the device windows below the main frame. The frame's outer height (title
// bar and borders included) is known only once the window manager has framed it, after the
// device windows were placed; until then the windows follow the frame's real height.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <vector>

class QWidget;

namespace tolv {

// A window's size with its title bar, counted also before the window manager has framed it
// (a window never shown yet): with the frame `like` has when that one is framed (one window
// manager frames all windows alike), else with a title bar of the style's height.
QSize outerSize(const QWidget& w, const QWidget* like = nullptr);

class TDeviceWindowPlacement : public QObject {
 public:
  explicit TDeviceWindowPlacement(QWidget* frame);

  // Puts the n-th device window (from 1) at its start place below the frame.
  void place(QWidget* w, int n);
  // From now on the windows stay where they are (the start is over).
  void settle() { settled_ = true; }
  bool settled() const { return settled_; }
  // Moves the windows that are still at their start place below the frame's current outer
  // height; the frame's show, move and resize events call it.
  void follow();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  struct Placed {
    QPointer<QWidget> window;
    int n = 0;
    QPoint at;
  };
  // On the frame's screen, the whole window in sight; lower than it is when the screen is.
  QRect startPlace(const QWidget& w, int n, int frameHeight) const;
  // Moves (and if need be lowers) the window to its start place; returns the place.
  QPoint putAtStart(QWidget& w, int n, int frameHeight) const;
  QWidget* frame_;
  std::vector<Placed> placed_;
  bool settled_ = false;
};

}  // namespace tolv
