#pragma once
// The main frame's rules that need no widgets: caption texts, window placement and the mapping
// between separator characters and drop-down items.
#include <QChar>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <cstdint>
#include <set>

namespace tolv {

struct VersionInfo;

// Frame caption after the FTDI scan: "2 FTDI-Device(s) Present ...".
QString ftdiCountCaption(std::uint32_t count);
// Caption the frame gives a new device window: "Tolvanex Scope 1 Ser. Nr.:<serial> (<i>)",
// i being the 0-based FTDI index.
QString deviceWindowCaption(const QString& serial, std::uint32_t ftdiIndex);

// The numbers the device windows show in their captions (0-based here, shown from 1). A window
// keeps the number it was given while it exists, wherever its device is listed later: a device
// pulled out moves those behind it up the FTDI list, and a device plugged in may take a place
// another window's number came from. So no two windows show the same number, and a window
// whose device comes back still shows its own.
class TDeviceNumbers {
 public:
  // The number of a new window: its device's place in the FTDI list while no window holds
  // that number, else the lowest number no window holds.
  int take(int listIndex);
  // The window with this number is gone.
  void release(int number);
  bool held(int number) const;

 private:
  std::set<int> held_;
};

// Where the n-th device window (n = rows in the device list, from 1) is placed at start.
QPoint initialWindowPlace(int n, int frameHeight);
// A window of outer size `outer` at `at`, moved as little as needed to lie wholly in the usable
// area `area` (its status line at the bottom in sight); one larger than the area goes to the
// area's left or top edge, its title bar in reach. An empty area (no screen known) moves nothing.
QPoint keptInArea(const QPoint& at, const QSize& outer, const QRect& area);
// The start place kept in the area of the screen.
QPoint initialWindowPlace(int n, int frameHeight, const QSize& outer, const QRect& area);
// The start place and outer size: a window higher than the area gets lower (not below
// minHeight), so its title bar and its status line at the bottom both lie on the area.
QRect initialWindowRect(int n, int frameHeight, const QSize& outer, int minHeight,
                        const QRect& area);
// Where BN_Cascade puts the device window at list index i (from 0).
QPoint cascadeWindowPlace(int i, int frameHeight);
// The outer rectangles (title bar included) BN_Cascade gives `count` windows of outer size
// `outer`, list index 0 first: the steps above from below the frame. Where the usable area is
// too small for that, the windows get lower (not below minHeight), then the steps shrink (not
// below minStep, a title bar, so every title stays readable), then the cascade moves up over
// the frame. Every window stays in the area as keptInArea keeps it, but on a screen too small
// for them the lower ends of later windows go past its bottom, their title bars in sight; an
// empty area changes nothing.
QList<QRect> cascadeWindowRects(int count, int frameHeight, const QSize& outer, int minHeight,
                                int minStep, const QRect& area);

// Where a window of outer size `outer` opened from another goes: centred over `over` (that
// window's outer rectangle), then moved wholly into `screen` (the usable area of the opener's
// screen) as far as it fits, its top left corner first.
QPoint centredOnScreen(const QRect& over, const QSize& outer, const QRect& screen);

// The version box: each value after its label in the current language, the description in
// that language too (`description`, shown where the program has one).
QString labelledVersionText(const VersionInfo& v, const QString& description);

// Decimal separator drop-down: item 0 ".", item 1 ",".
// Character of an item; a null QChar for any other item.
QChar decimalSeparatorOfItem(int item);
// Item of a character; -1 for characters the drop-down does not offer.
int decimalSeparatorItem(QChar c);

// Column separator drop-down: items Tab, ",", ".", ";", blank.
QChar columnSeparatorOfItem(int item);
int columnSeparatorItem(QChar c);

// A decimal separator equal to the column separator splits every number into two cells: no
// file written so reads back. The frame refuses such a pair.
bool separatorsClash(QChar decimal, QChar column);
// The frame's refusal: names the column separator by its drop-down text.
QString separatorClashText(QChar column);
// The column separator that replaces a clashing one read from an old settings file.
QChar columnSeparatorBesides(QChar decimal);

// Text ids of the drop-down items, in item order.
inline constexpr int kDecimalItemTextIds[2] = {8, 7};
inline constexpr int kColumnItemTextIds[5] = {9, 7, 8, 10, 11};

// Idle text of a drop-down: its label text framed by one blank on each side.
QString framedText(const QString& s);

}  // namespace tolv
