#include "common/paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "common/atomicfile.h"

namespace tolv {

namespace {

struct Folders {
  fs::path program;
  fs::path root;
  bool haveProgram = false;
  bool haveRoot = false;
};

Folders& folders() {
  static Folders f;
  return f;
}

// Folder paths carry a trailing separator, as callers append names to them.
fs::path asFolder(fs::path p) {
  std::string s = p.string();
  if (s.empty() || s.back() != '/') s += '/';
  return fs::path(s);
}

fs::path homeFolder() {
  const char* h = std::getenv("HOME");
  if (h && *h) return fs::path(h);
  std::error_code ec;
  return fs::current_path(ec);
}

int codeOf(const std::error_code& ec) {
  if (!ec) return 0;
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) return 5;
  return 3;
}

}  // namespace

fs::path programFolder() {
  Folders& f = folders();
  if (!f.haveProgram) {
    std::error_code ec;
    f.program = asFolder(fs::current_path(ec));
    f.haveProgram = true;
  }
  return f.program;
}

fs::path dataRoot() {
  Folders& f = folders();
  if (!f.haveRoot) {
    f.root = asFolder(homeFolder() / "TolvanexData");
    f.haveRoot = true;
  }
  return f.root;
}

void setDataRoot(const fs::path& root) {
  Folders& f = folders();
  f.root = asFolder(root);
  f.haveRoot = true;
}

fs::path multiFolder() {
  return fs::path(dataRoot().string() + "MULTI_Tolvanex/");
}
fs::path intermediateFolder() {
  return fs::path(multiFolder().string() + "Intermediate/");
}
fs::path languageFileName() {
  return dataRoot() / "VX_Language.TXT";
}
fs::path deviceFolder(const QString& serial) {
  return fs::path(dataRoot().string() + serial.toStdString() + "/");
}

int initFolders() {
  programFolder();
  int rc = makeFolders(dataRoot());
  if (rc != 0) {
    // The home folder is not writable: fall back to a folder beside the program.
    setDataRoot(programFolder() / "TolvanexData");
    rc = makeFolders(dataRoot());
    if (rc != 0) return rc;
  }
  rc = makeFolders(multiFolder());
  if (rc == 0) rc = makeFolders(intermediateFolder());
  return rc;
}

int makeFolders(const fs::path& path) {
  std::string s = path.string();
  std::size_t slash = s.rfind('/');
  std::size_t dot = s.rfind('.');
  if (slash != std::string::npos && dot != std::string::npos && dot > slash) s = s.substr(0, slash);
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  if (s.empty()) return 0;
  std::error_code ec;
  fs::path dir(s);
  if (fs::is_directory(dir, ec)) return 0;
  fs::create_directories(dir, ec);
  if (ec) return codeOf(ec);
  return fs::is_directory(dir, ec) ? 0 : 3;
}

int forceExtension(fs::path& name, const std::string& ext) {
  std::string s = name.string();
  std::size_t slash = s.rfind('/');
  if (slash == std::string::npos) return -192;
  std::string folder = s.substr(0, slash + 1);
  std::string file = s.substr(slash + 1);
  if (file.empty()) return -194;
  if (file.size() >= ext.size() && file.compare(file.size() - ext.size(), ext.size(), ext) == 0)
    return 0;
  std::size_t dot = file.find('.');
  if (dot != std::string::npos) file.erase(dot);
  if (file.empty()) return -196;
  name = fs::path(folder + file + ext);
  return 0;
}

int freeBackupName(const fs::path& name, fs::path& out) {
  const fs::path folder = name.parent_path();
  const std::string stem = name.stem().string();
  const std::string ext = name.extension().string();
  for (unsigned long k = 1;; ++k) {
    const fs::path cand = folder / (stem + "_" + std::to_string(k) + ext);
    // A link, dangling or not, takes its name too: writing there would go elsewhere.
    struct stat st = {};
    if (::lstat(cand.c_str(), &st) == 0) continue;
    if (errno == ENOENT) {
      out = cand;
      return 0;
    }
    return errno != 0 ? errno : EIO;
  }
}

fs::path freeBackupName(const fs::path& name) {
  fs::path out;
  return freeBackupName(name, out) == 0 ? out : fs::path();
}

bool backUpFile(const fs::path& name) {
  std::error_code ec;
  if (!fs::exists(name, ec)) return false;
  fs::path placed;
  return moveToFreeName(name, name, false, placed) == 0;
}

int moveToProgramDrive(fs::path& path) {
  (void)path;
  std::error_code ec;
  return fs::is_directory(programFolder(), ec) ? 0 : 3;
}

QString pathText(const fs::path& p) {
  return QString::fromStdString(p.string());
}
fs::path pathFromText(const QString& s) {
  return fs::path(s.toStdString());
}

}  // namespace tolv
