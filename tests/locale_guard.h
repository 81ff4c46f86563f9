// Puts the process under another locale (both the C and the C++ global one) for one test,
// and puts back what was there before.
#pragma once

#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>

class LocaleGuard {
 public:
  explicit LocaleGuard(const char* name) {
    if (const char* before = std::setlocale(LC_ALL, nullptr)) cBefore_ = before;
    if (std::setlocale(LC_ALL, name) == nullptr) return;
    try {
      cppBefore_ = std::locale::global(std::locale(name));
      active_ = true;
    } catch (const std::runtime_error&) {
      std::setlocale(LC_ALL, cBefore_.c_str());
    }
  }
  ~LocaleGuard() {
    if (!active_) return;
    std::locale::global(cppBefore_);
    std::setlocale(LC_ALL, cBefore_.c_str());
  }
  LocaleGuard(const LocaleGuard&) = delete;
  LocaleGuard& operator=(const LocaleGuard&) = delete;

  // False when the locale does not exist here; a test that needs it must fail, not skip.
  bool Active() const { return active_; }

 private:
  std::string cBefore_ = "C";
  std::locale cppBefore_;
  bool active_ = false;
};
