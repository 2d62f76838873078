#pragma once
// Checks the data root named on the command line before anything is started, so a root that
// cannot hold files stops the program with a reason instead of a run that silently saves nothing.
#include <QString>
#include <filesystem>

namespace tolv {

// Makes the folder with its parents when missing and proves it takes a file. Returns an empty
// text when the folder is usable, else the reason for standard error.
QString checkDataRoot(const std::filesystem::path& root);

}  // namespace tolv
