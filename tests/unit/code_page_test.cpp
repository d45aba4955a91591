// The POSIX code-page conversion on its own: measuring, whole characters only at the
// capacity, and the calling thread's locale rather than the process's.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform.h"
#include "thread_locale.h"

namespace vesk::test {
namespace {

using vesk::platform::utf16_to_code_page;

std::string convert(const std::u16string& s, std::int32_t capacity) {
  std::string out(static_cast<std::size_t>(capacity), '#');
  const std::int32_t n =
      utf16_to_code_page(s.data(), static_cast<std::int32_t>(s.size()), out.data(), capacity);
  return out.substr(0, static_cast<std::size_t>(n));
}

#ifndef _WIN32
TEST(CodePageTest, MeasuresWithoutWriting) {
  VESK_USE_LOCALE(utf8, "C.UTF-8");
  const std::u16string s = u"a\u00e9\u65e5";
  EXPECT_EQ(utf16_to_code_page(s.data(), 3, nullptr, 0), 1 + 2 + 3);
}

TEST(CodePageTest, WritesOnlyWholeCharactersThatFit) {
  VESK_USE_LOCALE(utf8, "C.UTF-8");
  EXPECT_EQ(convert(u"a\u65e5b", 3), "a");
  EXPECT_EQ(convert(u"a\u65e5b", 4), "a\xE6\x97\xA5");
  EXPECT_EQ(convert(u"", 4), "");
}

TEST(CodePageTest, ZeroUnitBecomesZeroByte) {
  VESK_USE_LOCALE(c, "C");
  const std::u16string s(u"a\0b", 3);
  EXPECT_EQ(convert(s, 8), std::string("a\0b", 3));
}

TEST(CodePageTest, FollowsTheThreadLocale) {
  const std::u16string s = u"\u00e9";
  {
    VESK_USE_LOCALE(latin1, "en_US.ISO-8859-1");
    EXPECT_EQ(convert(s, 4), "\xE9");
  }
  {
    VESK_USE_LOCALE(c, "C");
    errno = 0;
    EXPECT_EQ(convert(s, 4), "?");
    EXPECT_EQ(errno, 0) << "a replaced character is no read error for the host to find";
  }
}

// ASCII is copied without a conversion call, so in every code set it must come out
// as the C library's own conversion gives it, also between characters that need one.
TEST(CodePageTest, AsciiComesOutAsTheCodeSetHasIt) {
  for (const char* name :
       {"C", "C.UTF-8", "en_US.ISO-8859-1", "de_DE.ISO-8859-15", "ru_RU.KOI8-R", "en_US.CP1252"}) {
    SCOPED_TRACE(name);
    ThreadLocale locale(name);
    if (!locale.active()) {
      if (std::getenv("VESK_REQUIRE_LOCALES") != nullptr) ADD_FAILURE() << "no locale";
      continue;
    }
    const std::string other = convert(u"\u0416", 8);
    for (char16_t c = 0; c < 0x80; ++c) {
      char byte[MB_LEN_MAX];
      std::mbstate_t state{};
      ASSERT_EQ(std::wcrtomb(byte, static_cast<wchar_t>(c), &state), 1u);
      ASSERT_EQ(byte[0], static_cast<char>(c));
      const std::u16string s = std::u16string(u"\u0416") + c + u"\u0416";
      EXPECT_EQ(convert(s, 32), other + static_cast<char>(c) + other) << "unit " << int{c};
    }
  }
}
#endif

}  // namespace
}  // namespace vesk::test
