// The language file as the program finds it in its data root at start-up.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/texttable.h"

namespace {

std::filesystem::path folder() {
  static const std::filesystem::path dir = [] {
    std::string t = (std::filesystem::temp_directory_path() / "fuzz_language_XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    return std::filesystem::path(t);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto root = folder();
  {
    std::ofstream out(tolv::languageFilePath(root), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  tolv::loadLanguageFile(root);
  for (int n = 1; n <= tolv::kTextCount; n += 97) (void)tolv::text(n);
  tolv::decodeLanguageFileLine(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
