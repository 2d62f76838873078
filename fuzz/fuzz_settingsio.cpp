// The line readers every settings file goes through: the first byte picks the order in which
// the value readers take the lines, the rest is the file.
#include <QByteArray>
#include <QString>
#include <cstdint>

#include "common/daytime.h"
#include "common/settingsio.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::uint32_t order = data[0];
  tolv::LineReader r(QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
  for (int step = 0; step < 64 && !r.atEnd(); ++step) {
    QString s;
    bool b = false;
    double d = 0;
    std::int32_t i = 0;
    std::uint8_t u = 0;
    int lang = 0;
    tolv::DayTime t{};
    switch ((order + std::uint32_t(step) * 7u) % 8u) {
      case 0: (void)tolv::readTextValue(r, s); break;
      case 1: (void)tolv::readShortTextValue(r, s, int(order % 40)); break;
      case 2: (void)tolv::readLanguageValue(r, lang); break;
      case 3: (void)tolv::readBoolValue(r, b); break;
      case 4: (void)tolv::readNumberValue(r, d); break;
      case 5: (void)tolv::readIntValue(r, i); break;
      case 6: (void)tolv::readByteValue(r, u); break;
      default: (void)tolv::readDateTimeValue(r, t); break;
    }
  }
  (void)tolv::decodeText(reinterpret_cast<const char*>(data), qsizetype(size));
  return 0;
}
