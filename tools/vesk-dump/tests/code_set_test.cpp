// Names and typed paths between stored 8-bit bytes and the code sets a user may have.
#include "code_set.h"

#include <gtest/gtest.h>

#include "thread_locale.h"

namespace vesk::dump {
namespace {

std::string shown(std::string_view stored, bool quoted = false) {
  std::string out;
  CodeSet().append_name(out, stored, quoted);
  return out;
}

TEST(CodeSetTest, NamesInUtf8) {
  vesk::test::ThreadLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.active());
  EXPECT_EQ(shown("M\xFCller \xB5 \xFF"), "M\xC3\xBCller \xC2\xB5 \xC3\xBF");
  EXPECT_EQ(shown("a\"b\\c", true), "a\\\"b\\\\c");
  EXPECT_EQ(shown("a\"b\\c"), "a\"b\\c");
  std::string out;
  EXPECT_FALSE(CodeSet().append_name(out, "x\ty\x7F\x85z"));
  EXPECT_EQ(out, "x?y??z");
}

TEST(CodeSetTest, NamesKeepTheirBytesWhereTheCodeSetLacksTheCharacter) {
  vesk::test::ThreadLocale c("C");
  EXPECT_EQ(shown("M\xFCller"), "M\xFCller");
  VESK_USE_LOCALE(koi8, "ru_RU.KOI8-R");
  EXPECT_EQ(shown("\xE9"), "\xE9");  // KOI8-R has no e-acute; the stored byte stays
}

TEST(CodeSetTest, TypedPathsBecomeStoredBytes) {
  vesk::test::ThreadLocale utf8("C.UTF-8");
  const CodeSet cs;
  EXPECT_EQ(cs.to_stored("M\xC3\xBCller\\x"), "M\xFCller\\x");
  EXPECT_EQ(cs.to_stored("raw \xFC byte"), "raw \xFC byte");  // no UTF-8: taken as stored
  EXPECT_EQ(cs.to_stored("\xE2\x82\xAC"), std::nullopt);       // beyond 8 bits
  EXPECT_EQ(cs.decode("a\xC3\xA9\xE2\x82\xAC"), std::u32string(U"a\u00E9\u20AC"));
  EXPECT_EQ(cs.decode("bad \xC3"), std::nullopt);
}

TEST(CodeSetTest, JsonStrings) {
  std::string out;
  append_json_string(out, std::string("q\"b\\n\n\r\t\x01\x1F\x7F\x80\x9F\xA0\xE9\0z", 17));
  EXPECT_EQ(out, "\"q\\\"b\\\\n\\n\\r\\t\\u0001\\u001f\\u007f\\u0080\\u009f\xC2\xA0\xC3\xA9\\u0000z\"");
}

}  // namespace
}  // namespace vesk::dump
