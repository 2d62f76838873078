#pragma once
// Keeping windows whose place and size come from a file (a position file, a settings file
// from another screen, a hand edit) where the user can reach them.
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace tolv {

// The usable areas of the screens now attached, in the system's order (the primary one
// first); empty without a graphical application.
QList<QRect> usableScreenAreas();

// Where a window goes whose place was read from a file: it stays when a good part of its
// title bar lies on one of the screens (their usable areas), else it is moved into the first
// screen, so a monitor that has gone does not take the window with it. topLeft and size are
// the window's outer ones (title bar included).
QPoint placeOnScreens(const QPoint& topLeft, const QSize& size, const QList<QRect>& screens);

// The size a window read from a file gets: no larger than the usable area of the screen it is
// placed on (the one that shows most of its title bar, else the first), so a damaged or
// foreign file cannot make a window, and the pictures drawn into it, huge.
QSize fitOnScreens(const QPoint& topLeft, const QSize& size, const QList<QRect>& screens);

// A window's inner rectangle read from a file, fitted and placed by the two rules above, then
// moved up as far as needed for its bottom edge (the status line) to lie on the screen that
// shows its title bar; `frame` is what the window manager adds around it (the title bar above).
QRect keptOnScreens(const QRect& inner, const QMargins& frame, const QList<QRect>& screens);

}  // namespace tolv
