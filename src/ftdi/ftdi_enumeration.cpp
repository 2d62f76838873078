#include "ftdi/ftdi_enumeration.h"

#include <cstring>

namespace tolv {

bool isFamilyDescription(const QString& description) {
  return description == QLatin1String(kFamilyDescription);
}

TFtdiEnumeration::TFtdiEnumeration(IFtdiDriver& driver, IMessageSink* sink)
    : driver_(driver), sink_(sink) {}

QString TFtdiEnumeration::statusText(FtStatus status) {
  switch (status) {
    case 1:
      return QStringLiteral(" - Invalid Handle...");
    case 2:
      return QStringLiteral(" - Device Not Found....");
    case 3:
      return QStringLiteral(" - Device Not Opened...");
    case 4:
      return QStringLiteral(" - General IO Error...");
    case 5:
      return QStringLiteral(" - Insufficient Resources...");
    case 6:
      return QStringLiteral(" - Invalid Parameter ...");
    default:
      return QString();
  }
}

QString TFtdiEnumeration::errorCaption() {
  return QStringLiteral("Error");
}

void TFtdiEnumeration::reportError(const char* functionName, FtStatus status) {
  if (!errorBoxesOn_ || sink_ == nullptr) return;
  sink_->error(errorCaption(), QLatin1String(functionName) + statusText(status));
}

FtStatus TFtdiEnumeration::GetFTDeviceCount() {
  std::uint32_t count = 0;
  const FtStatus st = driver_.listCount(count);
  if (st != kFtOk) {
    reportError("GetFTDeviceCount", st);
    return st;
  }
  deviceCount_ = count;
  return st;
}

FtStatus TFtdiEnumeration::listText(std::uint32_t index, bool serial, const char* functionName) {
  std::memset(buffer_, 0, sizeof buffer_);
  const FtStatus st = serial ? driver_.listSerial(index, buffer_, sizeof buffer_)
                             : driver_.listDescription(index, buffer_, sizeof buffer_);
  if (st != kFtOk) {
    reportError(functionName, st);
    return st;
  }
  buffer_[kTextLimit - 1] = '\0';
  lastText_ = QString::fromLatin1(buffer_, static_cast<qsizetype>(std::strlen(buffer_)));
  return st;
}

FtStatus TFtdiEnumeration::GetFTDeviceSerialNo(std::uint32_t index) {
  return listText(index, true, "GetFTDeviceSerialNo");
}

FtStatus TFtdiEnumeration::GetFTDeviceDescription(std::uint32_t index) {
  return listText(index, false, "GetFTDeviceDescription");
}

int TFtdiEnumeration::scan(std::vector<FtdiDeviceRow>& rows) {
  rows.clear();
  GetFTDeviceCount();
  if (deviceCount_ == 0) return kNoDeviceFound;
  rows.reserve(deviceCount_);
  for (std::uint32_t i = 0; i < deviceCount_; ++i) {
    FtdiDeviceRow row;
    row.index = i;
    GetFTDeviceSerialNo(i);
    row.serial = lastText_;
    GetFTDeviceDescription(i);
    row.description = lastText_;
    rows.push_back(std::move(row));
  }
  return 0;
}

bool TFtdiEnumeration::relist(std::vector<FtdiDeviceRow>& rows) {
  rows.clear();
  // A bus in motion gives failing list calls: no box for any of them.
  const bool boxes = errorBoxesOn_;
  errorBoxesOn_ = false;
  bool complete = GetFTDeviceCount() == kFtOk;
  const std::uint32_t n = complete ? deviceCount_ : 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    FtdiDeviceRow row;
    row.index = i;
    if (GetFTDeviceSerialNo(i) != kFtOk) {
      complete = false;
      continue;
    }
    row.serial = lastText_;
    if (GetFTDeviceDescription(i) != kFtOk) {
      complete = false;
      continue;
    }
    row.description = lastText_;
    rows.push_back(std::move(row));
  }
  errorBoxesOn_ = boxes;
  return complete;
}

int TFtdiEnumeration::familyRows(const std::vector<FtdiDeviceRow>& rows,
                                 std::vector<FtdiDeviceRow>& out) {
  out.clear();
  for (const auto& r : rows) {
    if (r.isFamily()) out.push_back(r);
  }
  return out.empty() ? kNoDeviceFound : 0;
}

}  // namespace tolv
