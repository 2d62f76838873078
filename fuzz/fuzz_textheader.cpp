// A record's ".VXT" text header as read back from disk.
#include <QByteArray>
#include <cstdint>
#include <optional>

#include "measure/textheader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tolv::SettingsRecord r{};
  std::optional<tolv::DayTime> t;
  (void)tolv::parseTextHeader(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                              r, &t);
  return 0;
}
