#pragma once
// Where the command users start finds the windows program it hands everything but conversions
// to: beside itself, wherever it was installed.
#include <filesystem>
#include <string_view>

namespace tolv {

// The folder the running command lies in. `self` is what /proc/self/exe names (empty when it
// cannot be read); otherwise `argv0` when it is an absolute path, or for a bare name the first
// absolute folder of `pathVariable` holding an executable file of that name, as the shell
// found it, each with its links resolved (the folder of the file itself, as /proc names it);
// else `installFolder`, where the command is installed. Never the current folder: a
// command started through PATH would otherwise start whatever program of that relative name
// lies in the folder the user is in.
std::filesystem::path launcherFolder(const std::filesystem::path& self, std::string_view argv0,
                                     std::string_view pathVariable,
                                     const std::filesystem::path& installFolder);

}  // namespace tolv
