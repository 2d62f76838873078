#pragma once
// Texts for an active device that sits a multi-device cycle out because its own window keeps
// it in a run of another mode, from the text table in the given language (0, 1, 2).
#include <QString>
#include <QStringList>

namespace tolv {

// The status grid's cell and its hint.
QString multiBusyCaption(int language);
QString multiBusyHint(int language);
// The notice of a run that goes on without those devices, or (runEnded) that ended because
// none was free.
QString multiBusyNotice(int language, const QStringList& serials, bool runEnded);

}  // namespace tolv
