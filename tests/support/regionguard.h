#pragma once
// Sets both regional sources of the program to one locale for the life of the object: its
// regional object (pinned) and the C library's process locale, which the toolkit otherwise takes
// from the user's environment and which printf and strtod follow.
#include <QLocale>
#include <clocale>
#include <string>

#include "common/regional.h"

namespace tolv {

class RegionGuard {
 public:
  explicit RegionGuard(const char* name) {
    const char* was = std::setlocale(LC_ALL, nullptr);
    previous_ = was ? was : "C";
    const std::string c = std::string(name) == "C" ? "C" : std::string(name) + ".UTF-8";
    ok_ = std::setlocale(LC_ALL, c.c_str()) != nullptr;
    regional().pin(QLocale(QString::fromLatin1(name)));
  }
  ~RegionGuard() {
    std::setlocale(LC_ALL, previous_.c_str());
    regional().reload();
  }
  RegionGuard(const RegionGuard&) = delete;
  RegionGuard& operator=(const RegionGuard&) = delete;
  // Whether the C library has the locale (scripts/install-deps.sh generates it).
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

}  // namespace tolv
