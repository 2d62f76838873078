// Stored logger streams read back, each with its text header: the first two bytes give the
// header's length, then the header, then the stream; both loaders read the same pair.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
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
  const int rc = tolv::loadIoLoggerStream(stream, list, &h, &start);
  // The summary fed as the bytes were written (in two chunks cut anywhere) answers as the one
  // read from the file.
  tolv::TIoStreamSummaryFeed feed;
  const std::size_t body = size - 2 - headerLen;
  const std::size_t cut = body ? data[0] % (body + 1) : 0;
  feed.feed(std::span(data + 2 + headerLen, cut));
  feed.feed(std::span(data + 2 + headerLen + cut, body - cut));
  tolv::TLogAnalList fed;
  if (tolv::loadIoLoggerStream(stream, fed, feed) != rc) std::abort();
  if (rc == 0) {
    if (fed.count() != list.count()) std::abort();
    for (std::int64_t k = -1; k <= list.count(); k += 1 + list.count() / 64) {
      std::uint16_t a = 0, b = 1;
      if (list.stream()->changesIn(k, k + 70, a) != fed.stream()->changesIn(k, k + 70, b) || a != b)
        std::abort();
    }
  }
  return 0;
}
