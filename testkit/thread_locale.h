// Switches the calling thread to a named locale for one test and back again. The
// library follows the thread's LC_CTYPE; it never sets a locale itself.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <locale.h>
#endif

namespace vesk::test {

#ifndef _WIN32
class ThreadLocale {
 public:
  explicit ThreadLocale(const char* name) : locale_(newlocale(LC_ALL_MASK, name, nullptr)) {
    if (locale_ != nullptr) previous_ = uselocale(locale_);
  }
  ~ThreadLocale() {
    if (locale_ != nullptr) {
      uselocale(previous_);
      freelocale(locale_);
    }
  }
  ThreadLocale(const ThreadLocale&) = delete;
  ThreadLocale& operator=(const ThreadLocale&) = delete;
  bool active() const { return locale_ != nullptr; }

 private:
  locale_t locale_;
  locale_t previous_ = nullptr;
};

// Where CI has generated the locales (VESK_REQUIRE_LOCALES=1) a missing one fails;
// elsewhere the test is skipped with the command that would make it.
#define VESK_USE_LOCALE(var, name)                                                    \
  ::vesk::test::ThreadLocale var(name);                                               \
  if (!var.active()) {                                                                \
    if (std::getenv("VESK_REQUIRE_LOCALES") != nullptr) FAIL() << "no locale " name;  \
    GTEST_SKIP() << "locale " name " missing; generate it with localedef";            \
  }
#endif

}  // namespace vesk::test
