#pragma once
// The mouse wheel over a scrolling settings column scrolls the column, as native settings
// panels do: a slider, spin box or drop-down list takes the wheel only once it has the focus
// (clicked or tabbed to). Otherwise scrolling past one would change a setting unseen and send
// it to the device.
class QScrollArea;

namespace tolv {

// Watches the area's widget and everything in it, also what is added later; the watcher is a
// child of the area.
void scrollColumnByWheel(QScrollArea& area);

}  // namespace tolv
