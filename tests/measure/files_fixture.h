#pragma once
// Shared pieces of the file tests: a fresh folder per test, English texts, a pinned region (the
// texts on screen follow it; stored dates do not) and file helpers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/daytime.h"
#include "common/regional.h"
#include "common/texttable.h"
#include "device/settingsrecord.h"

namespace tolv::testfiles {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::uint8_t> bytesOf(const fs::path& p) {
  const std::string s = slurp(p);
  return {s.begin(), s.end()};
}

inline void spit(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
}

inline DayTime stamp(int y, int mo, int d, int h, int mi, double s) {
  DayTime t;
  t.day = static_cast<std::int32_t>(QDate(y, mo, d).toJulianDay() - 1721425);
  t.seconds = h * 3600.0 + mi * 60.0 + s;
  return t;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t e = text.find("\r\n", pos);
    if (e == std::string::npos) {
      out.push_back(text.substr(pos));
      break;
    }
    out.push_back(text.substr(pos, e - pos));
    pos = e + 2;
  }
  return out;
}

// Root can write into read-only folders; such tests are skipped then.
inline bool runningAsRoot() {
  return ::geteuid() == 0;
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("tolv_files_") + info->test_suite_name() + "_" +
                                        info->name() + "_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fillBuiltInTexts();
    setLanguageIndex(kLanguageEnglish);
    regional().pin(QLatin1Char('.'), QStringLiteral("dd.MM.yyyy"), QStringLiteral("HH:mm:ss"));
  }
  void TearDown() override {
    regional().reload();
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  static SettingsRecord scopeSettings() {
    SettingsRecord s = SettingsRecord::defaults();
    s.trgTypString = "T";
    return s;
  }

  fs::path dir_;
};

}  // namespace tolv::testfiles
