#include "measure/settingsfiles.h"

#include <QFile>
#include <array>
#include <cerrno>
#include <cmath>
#include <memory>

#include "common/atomicfile.h"
#include "common/paths.h"
#include "common/settingsio.h"
#include "measure/textheader.h"
#include "wire/wirecommands.h"

namespace tolv {

namespace {

constexpr const char* kCrLf = "\r\n";

// 0 and the whole file, 2 when it is missing, 3 when its folder is, else the error number
// (kNotARegularFile for a pipe or device at the name of an own file, EFBIG for one too long).
int readFileBytes(const fs::path& name, QByteArray& bytes, SettingsSource source) {
  std::error_code ec;
  if (!fs::exists(name, ec)) return fs::is_directory(name.parent_path(), ec) ? 2 : 3;
  if (source == SettingsSource::Own) return readOwnFile(name, bytes, kLargestOwnSettingsFile);
  QFile f(pathText(name));
  if (!f.open(QIODevice::ReadOnly)) return f.error() == QFileDevice::PermissionsError ? 5 : 2;
  bytes = f.readAll();
  if (f.error() != QFileDevice::NoError) return 5;
  return 0;
}

void pair(std::string& s, const char* key, const std::string& value) {
  s += key;
  s += kCrLf;
  s += value;
  s += kCrLf;
}

std::string boolWord(bool b) {
  return b ? "TRUE" : "FALSE";
}

}  // namespace

WindowOptions zeroWindowOptions() {
  WindowOptions o;
  o.singleShot = false;
  o.overlapping = false;
  o.scopePlotMode = 0;
  o.autoScaleC0 = false;
  o.autoScaleC1 = false;
  o.autoSaveMode = 0;
  o.width = o.height = o.left = o.top = 0;
  o.probeFactorC0 = 0;
  o.probeFactorC1 = 0;
  o.probeHelpFactorFlag = false;
  o.synchYAxes = false;
  o.clockInterval0 = 0;
  o.clockInterval1 = 0;
  o.makeIntermediateFiles = false;
  return o;
}

// --- .SKS -----------------------------------------------------------------------------------

std::string sksText(const WindowOptions& o) {
  std::string s;
  s.reserve(512);
  pair(s, "SingleShot", boolWord(o.singleShot));
  pair(s, "Overlapping", boolWord(o.overlapping));
  pair(s, "ScopePlotMode", std::to_string(o.scopePlotMode));
  pair(s, "AutoScaleC0", boolWord(o.autoScaleC0));
  pair(s, "AutoScaleC1", boolWord(o.autoScaleC1));
  pair(s, "AutoSaveMode", std::to_string(o.autoSaveMode));
  pair(s, "Width", std::to_string(o.width));
  pair(s, "Height", std::to_string(o.height));
  pair(s, "Left", std::to_string(o.left));
  pair(s, "Top", std::to_string(o.top));
  pair(s, "ProbeFactor_C0", headerRealText(o.probeFactorC0));
  pair(s, "ProbeFactor_C1", headerRealText(o.probeFactorC1));
  pair(s, "ProbeHelpFactorFlag", boolWord(o.probeHelpFactorFlag));
  pair(s, "SynchYAxes", boolWord(o.synchYAxes));
  // The second interval has no key of its own; readers go by position.
  pair(s, "Clock_Interval_0", std::to_string(o.clockInterval0));
  pair(s, "Clock_Interval_0", std::to_string(o.clockInterval1));
  pair(s, "MakeIntermediateFiles", boolWord(o.makeIntermediateFiles));
  return s;
}

int parseSks(const QByteArray& bytes, WindowOptions& o, int* valuesRead) {
  LineReader r(bytes);
  int n = 0;
  // Each step stores its value only when it could be read; the first that cannot ends the
  // reading and the rest keep their values.
  const auto boolStep = [&](bool& b) { return readBoolValue(r, b); };
  const auto intStep = [&](std::int32_t& v) { return readIntValue(r, v); };
  const auto byteStep = [&](std::uint8_t& b) {
    std::int32_t v = b;
    const int rc = readIntValue(r, v);
    if (rc == 0) b = std::uint8_t(v & 0xFF);  // only the low byte is kept
    return rc;
  };
  const auto realStep = [&](double& d) { return readNumberValue(r, d); };
  const std::function<int()> steps[] = {
      [&] { return boolStep(o.singleShot); },
      [&] { return boolStep(o.overlapping); },
      [&] { return byteStep(o.scopePlotMode); },
      [&] { return boolStep(o.autoScaleC0); },
      [&] { return boolStep(o.autoScaleC1); },
      [&] { return byteStep(o.autoSaveMode); },
      [&] { return intStep(o.width); },
      [&] { return intStep(o.height); },
      [&] { return intStep(o.left); },
      [&] { return intStep(o.top); },
      [&] { return realStep(o.probeFactorC0); },
      [&] { return realStep(o.probeFactorC1); },
      [&] { return boolStep(o.probeHelpFactorFlag); },
      [&] { return boolStep(o.synchYAxes); },
      [&] { return intStep(o.clockInterval0); },
      [&] { return intStep(o.clockInterval1); },
      [&] { return boolStep(o.makeIntermediateFiles); },
  };
  for (const auto& step : steps) {
    if (step() != 0) break;
    ++n;
  }
  if (valuesRead) *valuesRead = n;
  return 0;
}

int readSks(const fs::path& name, WindowOptions& o, int* valuesRead, SettingsSource source) {
  QByteArray bytes;
  if (valuesRead) *valuesRead = 0;
  if (const int rc = readFileBytes(name, bytes, source); rc != 0) return rc;
  return parseSks(bytes, o, valuesRead);
}

// --- .VXS -----------------------------------------------------------------------------------

int decodeSettingsImage(const QByteArray& bytes, SettingsRecord& out) {
  if (bytes.size() != qsizetype(SettingsRecord::kSize)) return kSettingsImageSize;
  const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  const SettingsRecord r = SettingsRecord::decode(p);
  // An image is applied to the device as it stands, so anything that is not a setting of
  // this program (another file renamed, random bytes) is refused rather than sent.
  if (modeIndex(r.mode) < 0) return kNotANumber;
  for (double d :
       {r.amplC0, r.amplC1, r.offsC0, r.offsC1, r.sampleTime, r.memoryDepth, r.triggerPoint,
        r.trgLevelUpper, r.trgLevelLower, r.probeFactorC0, r.probeFactorC1})
    if (!std::isfinite(d)) return kNotANumber;
  for (std::size_t off : {352u, 353u, 355u, 356u, 392u, 393u, 404u})
    if (p[off] > 1) return kBadBoolean;
  out = r;
  return 0;
}

int readSettingsImage(const fs::path& name, SettingsRecord& out, SettingsSource source) {
  QByteArray bytes;
  if (const int rc = readFileBytes(name, bytes, source); rc != 0) return rc;
  return decodeSettingsImage(bytes, out);
}

// --- Names ------------------------------------------------------------------------------------

fs::path sksName(const fs::path& vxs) {
  fs::path p = vxs;
  p.replace_extension(".SKS");
  return p;
}

fs::path vxtName(const fs::path& vxs) {
  return textHeaderName(vxs);
}

// --- Save -------------------------------------------------------------------------------------

int saveSettingsFiles(const fs::path& vxs, const SettingsRecord& snapshot,
                      const std::function<bool(int)>& beforeReplace) {
  if (const int rc = makeFolders(vxs); rc != 0) return rc;
  const auto image = snapshot.toBytes();
  const std::string header = textHeaderText(snapshot);
  const std::string options = sksText(WindowOptions::fromRecord(snapshot));
  // Every new file is complete before the first old one is replaced: a full disk or a
  // read-only folder then leaves the previous setting as it was, and a crash can only fall
  // between two renames.
  std::array<std::unique_ptr<TAtomicFile>, 3> files;
  const fs::path names[3] = {vxs, vxtName(vxs), sksName(vxs)};
  for (int i = 0; i < 3; ++i) {
    files[i] = std::make_unique<TAtomicFile>(names[i]);
    if (files[i]->status() != 0) return files[i]->status();
  }
  int rc = files[0]->write(std::span<const std::uint8_t>(image.data(), image.size()));
  if (rc == 0) rc = files[1]->write(header);
  if (rc == 0) rc = files[2]->write(options);
  if (rc != 0) return rc;
  for (int i = 0; i < 3; ++i) {
    if (beforeReplace && !beforeReplace(i)) return -1;
    if (const int c = files[i]->commit(); c != 0) return c;
  }
  return 0;
}

// --- Load -------------------------------------------------------------------------------------

TSettingsLoader::TSettingsLoader(SettingsSource source)
    : source_(source), options_(zeroWindowOptions()) {
  const std::array<std::uint8_t, SettingsRecord::kSize> zero{};
  record_ = SettingsRecord::decode(zero.data());
}

int TSettingsLoader::readHeader(const fs::path& vxs) {
  if (source_ == SettingsSource::Named) return readTextHeader(vxs, record_);
  // A missing header is 2 whatever its folder, as the header reader says it.
  std::error_code ec;
  if (!fs::exists(vxtName(vxs), ec)) return 2;
  QByteArray bytes;
  if (const int rc = readFileBytes(vxtName(vxs), bytes, source_); rc != 0) return rc;
  return parseTextHeader(bytes, record_);
}

int TSettingsLoader::load(const fs::path& vxs) {
  int rc = readHeader(vxs);
  fs::path failed = rc != 0 ? vxtName(vxs) : fs::path();
  if (rc == 0) {
    rc = readSks(sksName(vxs), options_, nullptr, source_);
    if (rc != 0) failed = sksName(vxs);
  }
  usedImage_ = false;
  broken_.clear();
  std::error_code ec;
  if (rc != 0 && fs::exists(vxs, ec)) {
    rc = readSettingsImage(vxs, record_, source_);
    usedImage_ = rc == 0;
    if (usedImage_) broken_ = failed;
  }
  return rc;
}

SettingsRecord TSettingsLoader::toApply() const {
  SettingsRecord r = record_;
  options_.applyTo(r);
  return r;
}

}  // namespace tolv
