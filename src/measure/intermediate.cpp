#include "measure/intermediate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

const char* familyCode(IntermediateFamily f) {
  switch (f) {
    case IntermediateFamily::VMXY: return "VMXY";
    case IntermediateFamily::OSA0: return "OSA0";
    case IntermediateFamily::LAIO: return "LAIO";
    case IntermediateFamily::DLA0: return "DLA0";
    case IntermediateFamily::DLDI: return "DLDI";
  }
  return "VMXY";
}

std::string familyFolderName(IntermediateFamily f) {
  return std::string("Intermediate_") + familyCode(f);
}

std::optional<IntermediateFamily> familyOfMode(ModeCode mode) {
  if (isVoltmeterMode(mode)) return IntermediateFamily::VMXY;
  if (mode == kModeOSA0) return IntermediateFamily::OSA0;
  if (mode == kModeLAIO) return IntermediateFamily::LAIO;
  if (mode == kModeDLA0) return IntermediateFamily::DLA0;
  if (mode == kModeDLDI) return IntermediateFamily::DLDI;
  return std::nullopt;
}

QString familyFileFilter(IntermediateFamily f) {
  return QString::fromStdString(familyFolderName(f)) + QStringLiteral("_???.FIL");
}

namespace {

// The file's full path with "." and ".." resolved, so its folders can be named.
fs::path fullPath(const fs::path& file) {
  std::error_code ec;
  const fs::path abs = fs::absolute(file, ec);
  return ec ? file.lexically_normal() : abs.lexically_normal();
}

}  // namespace

std::optional<IntermediateFamily> familyOfFileName(const fs::path& file) {
  const fs::path full = fullPath(file);
  const std::string name = full.filename().string();
  const std::string folder = full.parent_path().filename().string();
  for (IntermediateFamily f : kIntermediateFamilies) {
    const std::string prefix = familyFolderName(f);
    if (name.rfind(prefix + "_", 0) == 0 || folder == prefix) return f;
  }
  return std::nullopt;
}

QString serialOfIntermediateFile(const fs::path& file) {
  const fs::path family = fullPath(file).parent_path();
  const std::string folder = family.filename().string();
  bool isFamily = false;
  for (IntermediateFamily f : kIntermediateFamilies) isFamily |= folder == familyFolderName(f);
  if (!isFamily) return {};
  return QString::fromStdString(family.parent_path().filename().string());
}

fs::path familyFolder(const fs::path& deviceFolder, IntermediateFamily f) {
  return deviceFolder / familyFolderName(f);
}

static fs::path numberedName(const fs::path& deviceFolder, IntermediateFamily f, int k,
                             const char* ext) {
  const int digits = k >= 0 ? k % 1000 : 0;
  char tail[16];
  std::snprintf(tail, sizeof tail, "_%03d%s", digits, ext);
  return familyFolder(deviceFolder, f) / (familyFolderName(f) + tail);
}

fs::path intermediateFileName(const fs::path& deviceFolder, IntermediateFamily f, int k) {
  return numberedName(deviceFolder, f, k, ".FIL");
}

fs::path intermediateHeaderName(const fs::path& deviceFolder, IntermediateFamily f, int k) {
  return numberedName(deviceFolder, f, k, ".VXT");
}

// --- Numbering -------------------------------------------------------------------------------

TIntermediateNumbering::TIntermediateNumbering(fs::path deviceFolder, IntermediateFamily f)
    : folder_(std::move(deviceFolder)), family_(f) {}

bool TIntermediateNumbering::exists(int k) const {
  std::error_code ec;
  return !folder_.empty() && fs::exists(fileName(k), ec);
}

int TIntermediateNumbering::init() {
  const int h = refresh();
  current_ = h;
  return h;
}

int TIntermediateNumbering::refresh() {
  count_ = 0;
  // Past 1000 the names repeat: counting on would never end once every name exists.
  for (int k = 1; k <= kNameCount && exists(k); ++k) count_ = k;
  return highest();
}

int TIntermediateNumbering::nextFileName(fs::path& out) {
  if (folder_.empty()) return 3;
  // A thousand consecutive numbers cover every name once.
  for (int i = 0; i < kNameCount; ++i) {
    const int k = current_ + i;
    if (!exists(k)) {
      current_ = k;
      out = fileName(k);
      return 0;
    }
  }
  return kNoFreeIntermediateName;
}

int TIntermediateNumbering::eraseAll() {
  int deleted = 0;
  std::error_code ec;
  for (int k = 1; k <= kNameCount && exists(k); ++k) {
    if (!fs::remove(fileName(k), ec)) break;
    fs::remove(intermediateHeaderName(folder_, family_, k), ec);
    ++deleted;
  }
  if (deleted > 0) {
    refresh();
    current_ = 1;
  }
  return deleted;
}

// --- Logger stream file ----------------------------------------------------------------------

TLoggerStreamFile::~TLoggerStreamFile() {
  close();
}

int TLoggerStreamFile::open(TIntermediateNumbering& numbering, const SettingsRecord& snapshot,
                            const DayTime& start) {
  close();
  file_.clear();
  written_ = 0;
  family_ = numbering.family();
  stamped_ = false;
  fs::path name;
  if (int rc = numbering.nextFileName(name); rc != 0) return rc;
  std::error_code ec;
  fs::create_directories(name.parent_path(), ec);
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return errno ? errno : 5;
  fd_ = fd;
  file_ = name;
  // A header that cannot be written is reported, but the stream stays open: the bytes of the
  // run matter more than their description.
  if (family_ != IntermediateFamily::DLA0) return writeTextHeader(name, snapshot);
  const int rc = writeTextHeader(name, snapshot, start);
  stamped_ = rc == 0;
  return rc;
}

bool TLoggerStreamFile::awaitsFirstStamp() const {
  return isOpen() && family_ == IntermediateFamily::DLDI && !stamped_ && written_ == 0;
}

int TLoggerStreamFile::stampDateTime(const DayTime& t) {
  if (file_.empty()) return kIntermediateNotOpen;
  const int rc = appendTextHeaderDateTime(file_, t);
  stamped_ = true;  // once per run, even when it failed
  return rc;
}

int TLoggerStreamFile::append(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return kIntermediateNotOpen;
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno ? errno : 5;
    }
    p += n;
    left -= std::size_t(n);
    written_ += std::uint64_t(n);
  }
  return 0;
}

int TLoggerStreamFile::close() {
  if (fd_ < 0) return 0;
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : (errno ? errno : 5);
}

}  // namespace tolv
