#include "app/launcherpath.h"

#include <unistd.h>

namespace tolv {

namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

// The folder of the program itself: a command reached through a link (a symlink on PATH, into
// /usr/local/bin, say) has the windows program beside its target, not beside the link.
fs::path folderOfProgram(const fs::path& program) {
  std::error_code ec;
  const fs::path real = fs::canonical(program, ec);
  return ec ? program.parent_path() : real.parent_path();
}

}  // namespace

fs::path launcherFolder(const fs::path& self, std::string_view argv0, std::string_view pathVariable,
                        const fs::path& installFolder) {
  if (self.is_absolute()) return self.parent_path();
  const fs::path named(argv0);
  if (named.is_absolute()) return folderOfProgram(named);
  // A name with a slash was found from the current folder, which is not to be trusted.
  if (!argv0.empty() && argv0.find('/') == std::string_view::npos) {
    for (std::size_t at = 0; at <= pathVariable.size();) {
      std::size_t end = pathVariable.find(':', at);
      if (end == std::string_view::npos) end = pathVariable.size();
      const fs::path folder(pathVariable.substr(at, end - at));
      // Empty and relative entries name the current folder or one below it.
      if (folder.is_absolute() && isExecutableFile(folder / named))
        return folderOfProgram(folder / named);
      at = end + 1;
    }
  }
  return installFolder;
}

}  // namespace tolv
