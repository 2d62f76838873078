// Stored logger streams read back, each with its text header: the first two bytes give the
// header's length, then the header, then the stream; both loaders read the same pair.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "measure/loggerstream.h"
#include "measure/textheader.h"

namespace {

std::filesystem::path folder() {
  static const std::filesystem::path dir = [] {
    std::string t = (std::filesystem::temp_directory_path() / "fuzz_logger_XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    return std::filesystem::path(t);
  }();
  return dir;
}

void put(const std::filesystem::path& p, const std::uint8_t* data, std::size_t n) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t headerLen = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
  const auto stream = folder() / "run.VXD";
  put(tolv::textHeaderName(stream), data + 2, headerLen);
  put(stream, data + 2 + headerLen, size - 2 - headerLen);

  tolv::AnalogLoggerStream analog;
  if (tolv::loadAnalogLoggerStream(stream, analog) == 0)
    for (std::size_t i = 0; i < analog.sampleCount(); i += 1 + analog.sampleCount() / 8)
      (void)analog.volts(0, i), (void)analog.volts(1, i);
  tolv::TLogAnalList list;
  tolv::SettingsRecord h{};
  std::optional<tolv::DayTime> start;
  (void)tolv::loadIoLoggerStream(stream, list, &h, &start);
  return 0;
}
