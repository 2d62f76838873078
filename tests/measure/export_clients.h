#pragma once
// Running the programs exports are opened with (sigrok-cli, GTKWave's converters) from tests:
// whether they are there, their output, sigrok's "bits" output read back per channel, and the
// entries of a session archive.
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tolv::testclients {

inline bool have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Standard output of a shell command (standard error dropped); *status gets its exit status.
inline std::string run(const std::string& cmd, int* status = nullptr) {
  std::string text;
  FILE* p = ::popen((cmd + " 2>/dev/null").c_str(), "r");
  if (!p) return text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int rc = ::pclose(p);
  if (status) *status = rc;
  return text;
}

// The lines of a plain CSV block after its '#' lines.
inline std::vector<std::string> tableLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string l;
  while (std::getline(in, l))
    if (l.empty() || l[0] != '#') out.push_back(l);
  return out;
}

// "D0:1110 0010" lines of sigrok's bits output, joined per channel over all its blocks.
inline std::map<std::string, std::string> sigrokBits(const std::string& text) {
  std::map<std::string, std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const auto colon = line.find(':');
    if (colon == std::string::npos || line.rfind("META", 0) == 0 ||
        line.rfind("Acquisition", 0) == 0)
      continue;
    std::string bits;
    for (char c : line.substr(colon + 1))
      if (c == '0' || c == '1') bits += c;
    out[line.substr(0, colon)] += bits;
  }
  return out;
}

// One entry of a zip archive, empty when it is not there.
inline std::string zipEntry(const std::string& archive, const std::string& name) {
  int err = 0;
  zip_t* z = zip_open(archive.c_str(), ZIP_RDONLY, &err);
  if (!z) return {};
  std::string out;
  if (zip_file_t* f = zip_fopen(z, name.c_str(), 0)) {
    char buf[65536];
    zip_int64_t n;
    while ((n = zip_fread(f, buf, sizeof buf)) > 0) out.append(buf, std::size_t(n));
    zip_fclose(f);
  }
  zip_close(z);
  return out;
}

// The numbered entries of a session's channel ("logic-1-", "analog-1-2-") joined in order.
inline std::string zipChannel(const std::string& archive, const std::string& prefix) {
  std::string out;
  for (int k = 1;; ++k) {
    const std::string part = zipEntry(archive, prefix + std::to_string(k));
    if (part.empty()) break;
    out += part;
  }
  return out;
}

}  // namespace tolv::testclients
