#pragma once
// What the file targets share: a private folder per process for readers that take a path, a
// cursor over the input, and a check that stops the run when a result is wrong (a crash alone
// would not show it).
#include <unistd.h>

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzz {

namespace fs = std::filesystem;

// Made once and removed at exit. Memory-backed where the system has it: the writers that the
// round trips use sync their files, which would otherwise dominate every run.
inline const fs::path& folder() {
  static const fs::path dir = [] {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                          : fs::temp_directory_path();
    std::string t = (base / "tolv_fuzz_XXXXXX").string();
    if (!::mkdtemp(t.data())) std::abort();
    std::atexit([] {
      std::error_code e;
      fs::remove_all(folder(), e);
    });
    return fs::path(t);
  }();
  return dir;
}

inline void put(const fs::path& p, const void* data, std::size_t n) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(n));
}
inline void put(const fs::path& p, std::string_view s) {
  put(p, s.data(), s.size());
}

inline void remove(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "wrong result: %s\n", what);
  std::abort();
}
inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// The input taken piece by piece; reads past the end give zeros and empty pieces.
struct Input {
  const std::uint8_t* p;
  std::size_t n;

  std::uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  std::size_t u16() {
    const std::size_t lo = byte();
    return lo | (std::size_t(byte()) << 8);
  }
  // Up to len bytes.
  std::string_view take(std::size_t len) {
    len = std::min(len, n);
    std::string_view s(reinterpret_cast<const char*>(p), len);
    p += len;
    n -= len;
    return s;
  }
  // A piece with its two length bytes in front.
  std::string_view piece() { return take(u16()); }
  std::string_view rest() { return take(n); }
};

inline QByteArray bytes(std::string_view s) {
  return QByteArray(s.data(), qsizetype(s.size()));
}

}  // namespace fuzz
