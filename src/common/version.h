#pragma once
// The program's version information, compiled in.
#include <QString>
#include <filesystem>

namespace tolv {

struct VersionInfo {
  QString productName;
  QString internalName;
  QString originalFileName;
  QString companyName;
  QString legalCopyright;
  QString fileVersion;
  QString comments;
};

const VersionInfo& versionInfo();

// The non-empty values, one per line, the file version prefixed with "Version: ". With
// dumpFile set the text is also written there (a diagnostic copy).
QString versionText(const std::filesystem::path& dumpFile = {});

}  // namespace tolv
