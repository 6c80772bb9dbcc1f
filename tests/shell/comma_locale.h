// Switches LC_NUMERIC to a locale with a decimal comma for the life of the
// object: an installed one, or one built with localedef in a temporary
// folder. `active` tells whether that worked.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace skylode::test {

class CommaLocale {
 public:
  CommaLocale() {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    saved_ = previous ? previous : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"}) {
      if (std::setlocale(LC_NUMERIC, name) && WritesComma()) {
        active = true;
        return;
      }
    }
    dir_ = testing::TempDir() + "skylode_shell_locale";
    const std::string cmd = "command -v localedef >/dev/null 2>&1 && mkdir -p '" + dir_ +
                            "' && localedef -i de_DE -f ISO-8859-1 '" + dir_ + "/de_DE' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return;
    setenv("LOCPATH", dir_.c_str(), 1);
    active = std::setlocale(LC_NUMERIC, "de_DE") && WritesComma();
  }
  ~CommaLocale() {
    std::setlocale(LC_NUMERIC, saved_.c_str());
    unsetenv("LOCPATH");
    if (!dir_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir_, ignored);
    }
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;
  bool active = false;

 private:
  static bool WritesComma() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    return std::string(buf) == "1,5";
  }
  std::string saved_, dir_;
};

}  // namespace skylode::test
