#pragma once
// Listing of the attached FTDI devices (count, serial number and description by index) and the
// recognition of family devices. Plain class: the error boxes go through a replaceable sink, so
// the listing also runs without windows.
#include <QString>
#include <cstdint>
#include <vector>

#include "ftdi/ftdi_driver.h"

namespace tolv {

// Receives error messages meant for a modal box; the program shows a QMessageBox.
class IMessageSink {
 public:
  virtual ~IMessageSink() = default;
  virtual void error(const QString& caption, const QString& text) = 0;
};

// Keeps every message; for tests and for callers that show the messages later.
class TRecordingMessageSink final : public IMessageSink {
 public:
  struct Message {
    QString caption;
    QString text;
  };
  void error(const QString& caption, const QString& text) override {
    messages.push_back({caption, text});
  }
  std::vector<Message> messages;
};

// The FTDI description that marks a device of the family; compared exactly.
inline constexpr const char* kFamilyDescription = "Tolvanex Scope 1";
// Result when no FTDI device, or no family device, was found.
inline constexpr int kNoDeviceFound = -120;

// True only for exactly "Tolvanex Scope 1" (case-sensitive, no blanks around it).
bool isFamilyDescription(const QString& description);

// One row of the FTDI device list.
struct FtdiDeviceRow {
  std::uint32_t index = 0;  // position in the driver's list, 0-based
  QString serial;
  QString description;
  bool isFamily() const { return isFamilyDescription(description); }
};

class TFtdiEnumeration {
 public:
  // Size of the text buffer whose byte 49 is forced to zero: texts are at most 49 characters.
  static constexpr std::size_t kTextLimit = 50;

  explicit TFtdiEnumeration(IFtdiDriver& driver, IMessageSink* sink = nullptr);

  void setMessageSink(IMessageSink* sink) { sink_ = sink; }
  void setErrorBoxesOn(bool on) { errorBoxesOn_ = on; }
  bool errorBoxesOn() const { return errorBoxesOn_; }

  // The three listing calls; each returns the driver's status. A failed call leaves the count
  // or the last text as they were and shows the error box.
  FtStatus GetFTDeviceCount();
  FtStatus GetFTDeviceSerialNo(std::uint32_t index);
  FtStatus GetFTDeviceDescription(std::uint32_t index);

  std::uint32_t deviceCount() const { return deviceCount_; }
  const QString& lastText() const { return lastText_; }
  // Clears the last text (module shut-down).
  void finalise() { lastText_.clear(); }

  // Lists every device: count, then serial number and description of each index. A failed
  // text query repeats the last text read successfully. Returns 0, or -120 with no device.
  int scan(std::vector<FtdiDeviceRow>& rows);
  // Lists again while devices come and go: like scan, but without error boxes and without
  // rows for entries whose texts could not be read. Returns whether the list is complete
  // (every call succeeded); only a complete list tells that a device has gone.
  bool relist(std::vector<FtdiDeviceRow>& rows);
  // The family devices among rows, in list order. Returns 0, or -120 when there is none.
  static int familyRows(const std::vector<FtdiDeviceRow>& rows, std::vector<FtdiDeviceRow>& out);

  // " - Invalid Handle..." and the other status texts; empty for unknown status numbers.
  static QString statusText(FtStatus status);
  static QString errorCaption();

 private:
  FtStatus listText(std::uint32_t index, bool serial, const char* functionName);
  void reportError(const char* functionName, FtStatus status);

  IFtdiDriver& driver_;
  IMessageSink* sink_ = nullptr;
  bool errorBoxesOn_ = true;
  std::uint32_t deviceCount_ = 0;
  QString lastText_;
  // Larger than the 50 bytes the texts are cut to: the driver may write up to 64 bytes.
  char buffer_[kFtListBufferSize] = {};
};

}  // namespace tolv
