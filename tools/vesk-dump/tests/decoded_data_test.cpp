// When string data may be shown as text: exactly one UTF-16LE text with its terminator
// and nothing unprintable.
#include "decoded_data.h"

#include <gtest/gtest.h>

#include "hive_builder.h"

namespace vesk::dump {
namespace {

using vesk::test::Bytes;
using vesk::test::utf16;
using vesk::test::utf16z;

TEST(PrintableTextTest, Table) {
  struct Row {
    const char* what;
    Bytes bytes;
    std::optional<std::u32string> text;
  };
  const Row rows[] = {
      {"text and terminator", utf16z("C:\\x"), U"C:\\x"},
      {"only the terminator", {0, 0}, U""},
      {"no bytes", {}, std::nullopt},
      {"no terminator", utf16("ab"), std::nullopt},
      {"odd length", {0x61, 0, 0}, std::nullopt},
      {"two terminators", {0x61, 0, 0, 0, 0, 0}, std::nullopt},
      {"a second text", {0x61, 0, 0, 0, 0x62, 0, 0, 0}, std::nullopt},
      {"a surrogate pair", utf16z("\xF0\x9F\x98\x80"), U"\U0001F600"},
      {"a high surrogate alone", {0x00, 0xD8, 0, 0}, std::nullopt},
      {"a low surrogate alone", {0x00, 0xDC, 0x61, 0, 0, 0}, std::nullopt},
      {"a line break", utf16z("a\nb"), std::nullopt},
      {"a C1 control", {0x85, 0x00, 0, 0}, std::nullopt},
      {"beyond 8 bits", utf16z("\xE2\x82\xAC"), U"\u20AC"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(printable_text(row.bytes), row.text);
  }
}

}  // namespace
}  // namespace vesk::dump
