// For Windows tests whose expected bytes belong to one ANSI code page. Wine takes the
// code page from the Unix locale it starts in; the Windows test run picks one giving
// 1252, the code page of Western European and American Windows installations.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

// Where CI runs the suite (VESK_REQUIRE_LOCALES=1) another code page fails the test;
// elsewhere it is skipped with the code page found.
#define VESK_NEED_ANSI_CODE_PAGE(cp)                                         \
  if (GetACP() != (cp)) {                                                    \
    if (std::getenv("VESK_REQUIRE_LOCALES") != nullptr) {                    \
      FAIL() << "the ANSI code page is " << GetACP() << ", not " #cp;        \
    }                                                                        \
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not " #cp;    \
  }
