#pragma once
// The main frame's two small files in the multi folder: the global settings
// "MultiVXGlobalSettings.TXT" (language, hints, decimal and column separator) and the window
// positions "VX_Frame_FormPos.TXT".
#include <QChar>
#include <QStringList>
#include <filesystem>
#include <string>

namespace tolv {

inline constexpr const char* kGlobalSettingsFileName = "MultiVXGlobalSettings.TXT";
inline constexpr const char* kPositionFileName = "VX_Frame_FormPos.TXT";

struct GlobalSettings {
  int language = 0;  // 0 German, 1 English, 2 third language
  bool hints = true;
  QChar decimal = QLatin1Char(',');
  QChar column = QLatin1Char('\t');
  friend bool operator==(const GlobalSettings&, const GlobalSettings&) = default;
};

class RegionalSettings;

// Who asks for the first start's settings: the window program, or a conversion or acquisition
// run from the command line (scripts).
enum class FirstStartUse { Window, Script };

// What a first start takes while no global settings are saved. A system locale that names a
// language decides: German on a German-speaking system, English on any other, with the
// system's decimal mark (a dot where it is neither dot nor comma). One that names none (C or
// POSIX, a system nobody set up for a region) gives the window the program's own defaults,
// German with a decimal comma; a script keeps English and the dot, as tools run under C expect.
// Tab between columns, which differs from either mark. Hints are on.
GlobalSettings firstStartSettings(const RegionalSettings& system,
                                  FirstStartUse use = FirstStartUse::Window);

// Eight lines: a label in the current language before each value.
std::string globalSettingsText(const GlobalSettings& s);
int writeGlobalSettingsFile(const std::filesystem::path& name, const GlobalSettings& s);
// 0, 2 (missing), 38 (cut off) or 9210 (hints not a boolean); s changes only on success. A
// separator that is not a number or not one the frame offers keeps its value.
int readGlobalSettingsFile(const std::filesystem::path& name, GlobalSettings& s);

// One value per line; lines longer than 255 characters are cut.
int readPositionFile(const std::filesystem::path& name, QStringList& lines);
int writePositionFile(const std::filesystem::path& name, const QStringList& lines);

}  // namespace tolv
