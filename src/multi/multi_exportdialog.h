#pragma once
// The multi-device window's exports, each through its file dialogs: the merged record on
// screen (a sigrok session or plain CSV, by the name's ending) and a stored file (a merged data
// file, a device's intermediate file or table), whose target dialog offers only the formats that
// file can become. Problems are told in words, headed "Cannot export:".
#include <QString>
#include <functional>

#include "multi/multicollect.h"

namespace tolv {

// The dialogs asked: the target of the record on screen, the stored file, and its target.
enum class MultiExportAsk { Target, Source, StoredTarget };
// A file name, or empty when cancelled; `filter` lists the formats offered.
using MultiExportAskFile =
    std::function<QString(MultiExportAsk, const QString& proposed, const QString& filter)>;
using MultiExportTell = std::function<void(const QString& why)>;

// `folder` is where the dialogs open, `column` the separator of the window's tables.
// Each returns 0, kMultiCancelled, or the exporter's exit code.
int exportRecordOnScreen(const TMultiCollection& coll, char column, const QString& folder,
                         const MultiExportAskFile& ask, const MultiExportTell& tell);
int exportStoredFileAsked(char column, const QString& folder, const MultiExportAskFile& ask,
                          const MultiExportTell& tell);

}  // namespace tolv
