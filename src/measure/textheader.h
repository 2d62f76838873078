#pragma once
// The ".VXT" text header beside every intermediate file: key line / value line pairs in a
// fixed order, written from a SettingsRecord, optionally followed by "Date Time" and the
// measurement time.
#include <QString>
#include <filesystem>
#include <optional>
#include <string>

#include "common/daytime.h"
#include "device/settingsrecord.h"

namespace tolv {

namespace fs = std::filesystem;

// A real as the header writes it: 23 characters, blank or minus, one digit, point, 14
// digits, "E", sign and four exponent digits (" 5.00000000000000E+0000"), whatever the
// regional settings say.
std::string headerRealText(double v);

// The whole header text of a record (CR LF line ends), without "Date Time".
std::string textHeaderText(const SettingsRecord& r);
// The two lines "Date Time" and the date-time text of t.
std::string textHeaderDateTimeText(const DayTime& t);

// The header's name: the file's name with the extension ".VXT", or ".vxt" when only that one
// exists (a lower-case copy).
fs::path textHeaderName(const fs::path& file);

// Writes the header of r to textHeaderName(file), replacing any old one as a whole.
// Returns 0 or the file system's error number.
int writeTextHeader(const fs::path& file, const SettingsRecord& r);
// The same with "Date Time" and t after the settings, in one write: what writeTextHeader
// followed by appendTextHeaderDateTime leave, for records whose time is known up front.
int writeTextHeader(const fs::path& file, const SettingsRecord& r, const DayTime& t);
// Appends "Date Time" and t to an existing header (2 when there is none).
int appendTextHeaderDateTime(const fs::path& file, const DayTime& t);

// Reads textHeaderName(file). The value lines are taken by position; reals accept "," as
// decimal mark, booleans "T"/"F"/"TRUE"/"FALSE" in any case. Fields the header does not
// hold are zero. `out` (and *dateTime) change only when every step succeeded; *dateTime is
// set to nullopt when the header carries no time. Returns 0, 2 (no header), 38 (cut short),
// 9210 (bad boolean), 9220 (a real or the time that cannot be read) or a file error.
int readTextHeader(const fs::path& file, SettingsRecord& out,
                   std::optional<DayTime>* dateTime = nullptr);
// The same over header text already in memory.
int parseTextHeader(const QByteArray& bytes, SettingsRecord& out,
                    std::optional<DayTime>* dateTime = nullptr);

}  // namespace tolv
