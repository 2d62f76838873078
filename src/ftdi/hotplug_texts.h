#pragma once
// What the windows say about devices that went away or may not be opened, in the language of
// the text table.
#include <QString>

#include "ftdi/ftdi_driver.h"

namespace tolv {

// The status a driver gives for a device it lists but may not open (no access rights).
inline bool isAccessDeniedStatus(FtStatus st) { return st == kFtDeviceNotOpened; }

QString disconnectedCaption();                        // "Disconnected"
QString deviceGoneText(const QString& serial);        // what happened and what to do
QString recordCutText(int bytesCut, int bytesExpected);  // the one notice of a cut record
QString noAccessCaption();                            // "No access"
// What to do about a device that may not be opened: the package's udev rule, udevadm info and
// the group check, unplugging and plugging again. Lines are separated by '\n'.
QString accessDeniedHint(const QString& serial);

}  // namespace tolv
