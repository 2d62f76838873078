#include "measure/storedfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include "common/resulttext.h"
#include "common/texttable.h"
#include "measure/csvread.h"
#include "measure/export_plaincsv.h"
#include "measure/intermediate.h"
#include "measure/intermediaterecords.h"
#include "measure/measurecodes.h"
#include "measure/textheader.h"

namespace tolv {

namespace {

constexpr int kExitBadInput = 1;
constexpr int kExitBadUsage = 2;
// Stored tables beyond this size are not something the program wrote.
constexpr std::uintmax_t kMaxCsvBytes = 1ull << 30;
// The multi-device reader's code of a cut-off data file.
constexpr int kTableCutOff = -2242;

StoredProblem bad(const QString& reason) {
  return {kExitBadInput, reason};
}

QString nameText(const fs::path& p) {
  return QString::fromStdString(p.filename().string());
}

QString upperExtension(const fs::path& p) {
  return QString::fromStdString(p.extension().string()).toUpper();
}

StoredKind kindOfFamily(IntermediateFamily f) {
  switch (f) {
    case IntermediateFamily::VMXY:
      return StoredKind::Voltmeter;
    case IntermediateFamily::OSA0:
      return StoredKind::Scope;
    case IntermediateFamily::LAIO:
      return StoredKind::Logic;
    case IntermediateFamily::DLA0:
      return StoredKind::AnalogLogger;
    case IntermediateFamily::DLDI:
      return StoredKind::IoLogger;
  }
  return StoredKind::Unknown;
}

std::string fourCharacters(ModeCode m) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) {
    const char c = char((m >> (24 - 8 * i)) & 0xFF);
    s[std::size_t(i)] = (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

StoredProblem checkIntermediate(const fs::path& file, StoredKind& kind, QString* serial) {
  const fs::path header = textHeaderName(file);
  std::error_code ec;
  if (!fs::exists(header, ec))
    return bad(tableText(kTextHeaderMissing, kLanguageEnglish).arg(nameText(header)));
  SettingsRecord h;
  const int rc = readTextHeader(file, h);
  if (rc != 0)
    return bad(tableText(kTextHeaderDamaged, kLanguageEnglish)
                   .arg(nameText(header), readResultText(rc)));
  const std::optional<IntermediateFamily> fam = familyOfMode(h.mode);
  if (!fam)
    return bad(QStringLiteral("its text header names an unknown mode \"%1\"")
                   .arg(QString::fromStdString(fourCharacters(h.mode))));
  if (const auto named = familyOfFileName(file); named && *named != *fam)
    return bad(QStringLiteral("wrong kind of file: its text header is of mode %1, its name of %2")
                   .arg(QLatin1String(familyCode(*fam)), QLatin1String(familyCode(*named))));
  kind = kindOfFamily(*fam);
  if (serial) *serial = serialOfIntermediateFile(file);
  // The content is judged where the conversions judge it; what is only said (a cut last
  // reading) is said by the caller.
  const StoredContent content = checkStoredContent(*fam, file, h);
  if (content.code() != 0) return bad(content.text(1));
  return {};
}

StoredProblem checkVxd(const fs::path& file, StoredKind& kind, QString* serial) {
  std::vector<std::uint8_t> all;
  const int rc = readFileBytes(file, all, kLogicVxdHeader + 2ull * kLogicVxdMaxWords + 1);
  if (rc != 0) return bad(readResultText(rc));
  if (all.empty()) return bad(QStringLiteral("the file is empty"));
  if (all.size() < kScopeVxdHeader) return bad(QStringLiteral("the file is cut short (no whole header)"));
  // The logic analyser's header carries its 8-character pattern at offset 36; the scope's has
  // zeros there.
  kind = all[36] == 8 ? StoredKind::LogicVxd : StoredKind::ScopeVxd;
  if (serial) {
    const std::size_t len = std::min<std::size_t>(all[0], 10);
    *serial = QString::fromLatin1(reinterpret_cast<const char*>(all.data() + 1), qsizetype(len));
  }
  VxdHeader h;
  if (kind == StoredKind::ScopeVxd) {
    std::vector<ScopeSample> s;
    const int r = readScopeVxd(file, h, s);
    if (r == kDamagedFile)
      return bad(QStringLiteral("damaged scope file: its size does not match its sample count"));
    if (r != 0) return bad(readResultText(r));
    if (s.empty()) return bad(QStringLiteral("the file holds no samples"));
  } else {
    std::vector<std::uint16_t> w;
    const int r = readLogicVxd(file, h, w);
    if (r == kDamagedFile)
      return bad(QStringLiteral("damaged logic-analyser file: cut inside a sample or too long"));
    if (r != 0) return bad(readResultText(r));
    if (w.empty()) return bad(QStringLiteral("the file holds no samples"));
    if (h.count <= 0 || h.count > kLogicVxdMaxWords)
      return bad(QStringLiteral("damaged logic-analyser file: memory depth %1 in its header")
                     .arg(h.count));
    if (w.size() < std::size_t(h.count))
      return bad(
          QStringLiteral("the file is cut short (%1 of %2 samples)").arg(w.size()).arg(h.count));
  }
  return {};
}

}  // namespace

std::string_view firstLineOf(std::string_view s) {
  const std::size_t nl = s.find('\n');
  std::string_view l = s.substr(0, nl);
  if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
  return l;
}

namespace {

StoredProblem checkCsv(std::string_view bytes, char preferred, StoredKind& kind, char& column,
                       const StoredTableProbe& probe) {
  if (bytes.empty()) return bad(QStringLiteral("the file is empty"));
  // The open format is written for other programs and not read back: the file it was made from
  // converts and draws.
  if (firstLineOf(bytes) == kPlainCsvFirstLine)
    return {kExitBadUsage, QStringLiteral("is this program's plain CSV, which it writes for other "
                                          "programs but does not read back; convert or draw the "
                                          "file it was made from")};
  column = storedCsvColumn(firstLineOf(bytes), preferred);
  if (column != 0) {
    switch (storedCsvKind(bytes, column)) {
      case StoredCsvKind::Scope:
        kind = StoredKind::ScopeCsv;
        return {};
      case StoredCsvKind::Logic:
        kind = StoredKind::LogicCsv;
        return {};
      case StoredCsvKind::IoLogger:
        kind = StoredKind::IoLoggerCsv;
        return {};
      case StoredCsvKind::AnalogLogger:
        kind = StoredKind::AnalogLoggerCsv;
        return {};
      case StoredCsvKind::VoltmeterChart:
        kind = StoredKind::VoltmeterCsv;
        return {};
      case StoredCsvKind::Unknown:
        break;
    }
    // The separator in force first: a merged table's line of names guesses wrong.
    const char first = preferred != 0 ? preferred : column;
    const TableProbe t = probe ? probe(bytes, first) : TableProbe::No;
    if (t == TableProbe::Yes) {
      kind = StoredKind::MultiCsv;
      return {};
    }
    if (t == TableProbe::CutOff) return bad(QStringLiteral("multi-device data file is cut off"));
  }
  return bad(QStringLiteral(
      "not a table this program writes (scope, logic-analyser, logger, voltmeter chart or "
      "multi-device CSV)"));
}

}  // namespace

StoredText::~StoredText() {
  release();
}

StoredText::StoredText(StoredText&& o) noexcept : data_(o.data_), size_(o.size_) {
  o.data_ = nullptr;
  o.size_ = 0;
}

StoredText& StoredText::operator=(StoredText&& o) noexcept {
  if (this != &o) {
    release();
    data_ = std::exchange(o.data_, nullptr);
    size_ = std::exchange(o.size_, 0);
  }
  return *this;
}

void StoredText::release() {
  if (data_) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

int StoredText::open(const fs::path& file) {
  release();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno != 0 ? errno : EIO;
  struct stat st {};
  int rc = 0;
  if (::fstat(fd, &st) != 0) {
    rc = errno != 0 ? errno : EIO;
  } else if (std::uintmax_t(st.st_size) > kMaxCsvBytes) {
    rc = kDamagedFile;
  } else if (st.st_size > 0) {
    void* p = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) {
      rc = errno != 0 ? errno : EIO;
    } else {
      data_ = static_cast<char*>(p);
      size_ = std::size_t(st.st_size);
    }
  }
  ::close(fd);
  return rc;
}

QString readResultText(int rc) {
  switch (rc) {
    case kDamagedFile:
      return QStringLiteral("damaged file: its size does not match its header");
    case kNoSamples:
    case kEmptySampleList:
      return QStringLiteral("no samples");
    case kTableCutOff:
      return QStringLiteral("multi-device data file is cut off");
    default:
      return measureResultText(rc, 1, ResultContext::Reading);
  }
}

StoredProblem identifyStoredFile(const fs::path& file, char csvColumn, StoredKind& kind,
                                 QString* serial, StoredText* csvText,
                                 const StoredTableProbe& probe) {
  kind = StoredKind::Unknown;
  std::error_code ec;
  const auto st = fs::status(file, ec);
  if (!fs::exists(st)) return bad(QStringLiteral("file not found"));
  if (fs::is_directory(st)) return bad(QStringLiteral("is a folder, not a file"));
  // A pipe or device would block the read for good.
  if (!fs::is_regular_file(st)) return bad(QStringLiteral("is not a regular file"));
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bad(QStringLiteral("cannot be read: ") + resultText(errno, 1));
  ::close(fd);
  const QString ext = upperExtension(file);
  if (ext == QLatin1String(".FIL")) return checkIntermediate(file, kind, serial);
  if (ext == QLatin1String(".VXD")) return checkVxd(file, kind, serial);
  if (ext == QLatin1String(".CSV")) {
    StoredText text;
    if (const int rc = text.open(file); rc != 0) return bad(readResultText(rc));
    char column = 0;
    StoredProblem p = checkCsv(text.view(), csvColumn, kind, column, probe);
    if (p.ok() && csvText) *csvText = std::move(text);
    return p;
  }
  return bad(QStringLiteral("unknown kind of file \"%1\" (expected .FIL, .VXD or .CSV)")
                 .arg(ext.isEmpty() ? QStringLiteral("no extension") : ext));
}

int readStoredHeader(const fs::path& file, StoredRecord& out) {
  out.time.reset();
  return readTextHeader(file, out.header, &out.time);
}

int readStoredSamples(const fs::path& file, StoredKind kind, StoredRecord& out) {
  switch (kind) {
    case StoredKind::Voltmeter: {
      std::vector<VoltmeterReading> readings;
      VoltmeterReadNotes notes;
      const int rc = readVoltmeterIntermediate(file, readings, out.time, &notes);
      if (rc == 0) {
        out.readings = std::move(readings);
        out.readingNotes = std::move(notes);
      }
      return rc;
    }
    case StoredKind::Scope: {
      std::vector<ScopeSample> entries;
      int n = 0;
      const int rc = readScopeIntermediate(file, entries, n);
      if (rc == 0) {
        out.scope = std::move(entries);
        out.scopeSamples = n;
      }
      return rc;
    }
    case StoredKind::Logic: {
      TLogAnalList list;
      const int rc = readLogicIntermediate(file, list);
      if (rc == 0) out.logic = std::move(list);
      return rc;
    }
    default:
      return kUnknownMode;
  }
}

}  // namespace tolv
