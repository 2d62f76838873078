// The main frame's two files: the first byte picks the global settings (even) or the position
// file (odd), the rest is the file. A file that reads writes back and reads to the same values.
#include <cstdint>

#include "app/framefiles.h"
#include "fuzz_support.h"

using namespace tolv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool positions = data[0] & 1;
  const auto file = fuzz::folder() / (positions ? kPositionFileName : kGlobalSettingsFileName);
  fuzz::put(file, data + 1, size - 1);
  if (positions) {
    QStringList lines;
    if (readPositionFile(file, lines) != 0) return 0;
    fuzz::check(writePositionFile(file, lines) == 0, "position file written");
    QStringList again;
    fuzz::check(readPositionFile(file, again) == 0, "position file read again");
    // Written without a byte-order mark, a first line that starts with U+FEFF reads as one.
    if (!lines.isEmpty() && lines[0].startsWith(QChar(0xFEFF))) lines[0].remove(0, 1);
    fuzz::check(again == lines, "position file lines survive a round trip");
  } else {
    // Values the file may leave as they were start off unlike the defaults.
    const GlobalSettings start{1, false, QLatin1Char('.'), QLatin1Char(';')};
    GlobalSettings s = start;
    const int rc = readGlobalSettingsFile(file, s);
    if (rc != 0) {
      fuzz::check(s == start, "failed read leaves the settings");
      return 0;
    }
    fuzz::check(s.language >= 0 && s.language <= 2, "language index");
    fuzz::check(writeGlobalSettingsFile(file, s) == 0, "global settings written");
    GlobalSettings again;
    fuzz::check(readGlobalSettingsFile(file, again) == 0, "global settings read again");
    fuzz::check(again == s, "global settings survive a round trip");
  }
  return 0;
}
