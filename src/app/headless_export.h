#pragma once
// A conversion into a format other programs open (see measure/export_stored.h); the request
// comes from parseHeadlessArguments with its format set. Target "-" writes VCD and plain CSV
// to standard output. Exit codes as the window's CSV: 1 for input that cannot be read and
// outputs that cannot be written, 2 for wrong usage (a format that cannot hold the record
// included).
#include <QString>
#include <ostream>

#include "app/headless.h"

namespace tolv {

// Runs the export; `console` receives standard-output exports. Returns the exit code and the
// line for standard error in `message` (empty on success).
int runExport(const HeadlessRequest& r, std::ostream& console, QString& message);

}  // namespace tolv
