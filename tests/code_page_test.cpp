// The POSIX code-page conversion on its own: measuring, whole characters only at the
// capacity, and the calling thread's locale rather than the process's.
#include <gtest/gtest.h>

#include <string>

#include "frame/platform.h"
#include "tests/support/thread_locale.h"

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
    EXPECT_EQ(convert(s, 4), "?");
  }
}
#endif

}  // namespace
}  // namespace vesk::test
