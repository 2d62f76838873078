#pragma once
// Data folders of the program and file-name helpers (backups, forced extensions).
#include <QString>
#include <filesystem>
#include <string>

namespace tolv {

namespace fs = std::filesystem;

// Program folder: the current directory when initFolders() (or the first query) ran.
fs::path programFolder();
// Data root, default ~/TolvanexData/. Folder paths end in a separator.
fs::path dataRoot();
// Moves the data root (tests, or a user choice); the multi folders follow it.
void setDataRoot(const fs::path& root);
fs::path multiFolder();         // data root + "MULTI_Tolvanex/"
fs::path intermediateFolder();  // multi folder + "Intermediate/"
fs::path languageFileName();    // data root + "VX_Language.TXT"
// Per-device folder: data root + serial + "/".
fs::path deviceFolder(const QString& serial);

// Start-up: remembers the program folder and makes the data root, multi and intermediate
// folders. Returns 0 or the file-system code of the first folder that could not be made.
int initFolders();

// Makes the folder part of a path with all missing parents: the text up to the last
// separator when a "." follows it (a file name), else the whole text. Returns 0, 3 when the
// folder cannot be made, 5 when access is denied.
int makeFolders(const fs::path& path);

// Replaces the extension: if the name does not end in ext, everything from the first "." of
// the file name is removed and ext appended. Returns 0; -192 no folder part, -194 no file
// name, -196 nothing left before the extension. The name is changed only on success.
int forceExtension(fs::path& name, const std::string& ext);

// First name folder/stem_k.ext (k = 1, 2, ...) under which nothing stands, not even a link:
// 0 and the name, or the error number of a name that could not be looked up (EACCES, EIO,
// ELOOP, ENAMETOOLONG, ...): such a name may hide a file, so none is handed out.
int freeBackupName(const fs::path& name, fs::path& out);
// The same; an empty path when no free name can be told (writing to it fails).
fs::path freeBackupName(const fs::path& name);
// Renames an existing file to its free backup name, never over a backup that appears
// meanwhile; true when the rename worked.
bool backUpFile(const fs::path& name);

// On this platform there are no drives: the path is kept; 0 when the program folder
// exists, else 3.
int moveToProgramDrive(fs::path& path);

// Opens a file or address with its associated program.
bool openWithShell(const QString& nameOrUrl);

// Path <-> QString without loss of non-ASCII names.
QString pathText(const fs::path& p);
fs::path pathFromText(const QString& s);

}  // namespace tolv
