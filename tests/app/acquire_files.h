#pragma once
// Files a measuring run left behind, for the tests of --acquire.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tolv::test {

// Every file below root with this extension (".CSV", ".FIL"), sorted by path.
inline std::vector<std::filesystem::path> filesUnder(const std::filesystem::path& root,
                                                     const std::string& ext) {
  std::vector<std::filesystem::path> out;
  std::error_code ec;
  if (!std::filesystem::exists(root, ec)) return out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    if (e.is_regular_file() && e.path().extension() == ext) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

inline std::string slurp(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace tolv::test
