// GetValueDataLength, GetValueData, GetValueDword and GetValueString: inline data that
// is never read, the inline bit cleared in place by exactly two calls, terminator and
// space rules, code-set conversion, and corrupt sizes answered without huge reads.
#include <gtest/gtest.h>

#include <cstring>

#include "api_test.h"
#include "layout.h"
#include "thread_locale.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

// One hive with one value per test; the value record comes from GetValue.
class ValueDataTest : public ApiTest {
 protected:
  ValueRecord value_with(const Bytes& data, std::uint32_t type = kTypeString,
                         std::uint32_t poke_size = 0, bool poke = false) {
    HiveBuilder b;
    const KeyRef root = b.add_root("ROOT");
    const ValueRef v = b.add_value(root, "v", type, data);
    if (poke) b.poke_u32(v.contents + kVkDataSizeAt, poke_size);
    file_ = b.bytes();
    hive_ = open(file_);
    EXPECT_NE(hive_, nullptr);
    KeyRecord key = root_of(hive_);
    ValueListRecord list;
    EXPECT_EQ(vesk().GetValueList(hive_, &key, &list), 1);
    ValueRecord rec;
    vesk().GetValue(hive_, &list, 0, &rec);
    return rec;
  }
  std::string text(ValueRecord& rec) { return vesk().GetValueString(hive_, &rec); }

  HiveHandle* hive_ = nullptr;
  Bytes file_;
};

TEST_F(ValueDataTest, InlineDwordIsNeverRead) {
  ValueRecord rec = value_with(le32(16), kTypeDword);
  EXPECT_EQ(rec.data_size, 0x80000004u);
  EXPECT_EQ(rec.data_offset, 16u);
  unsigned char buffer[8];
  std::memset(buffer, kPattern, sizeof buffer);
  EXPECT_EQ(vesk().GetValueDword(hive_, &rec), 16u);
  EXPECT_EQ(vesk().GetValueData(hive_, &rec, buffer), 0);
  EXPECT_EQ(rec.data_size, 0x80000004u);  // neither call touches the record

  EXPECT_EQ(vesk().GetValueDataLength(hive_, &rec), 4);
  EXPECT_EQ(rec.data_size, 4u);
  EXPECT_EQ(vesk().GetValueDataLength(nullptr, &rec), 4);
  EXPECT_EQ(vesk().GetValueDword(hive_, &rec), 16u);
  EXPECT_EQ(vesk().GetValueData(hive_, &rec, buffer), 0);
  EXPECT_EQ(buffer[0], kPattern);
  // Inline data needs no file at all.
  EXPECT_EQ(vesk().GetValueDword(nullptr, &rec), 16u);
}

TEST_F(ValueDataTest, ShortInlineDataBringsTheWholeField) {
  ValueRecord rec = value_with({0x41, 0x00}, kTypeBinary);
  rec.data_offset = 0x44330041;  // the bytes past the length come along
  EXPECT_EQ(vesk().GetValueDword(hive_, &rec), 0x44330041u);
  EXPECT_EQ(vesk().GetValueDataLength(hive_, &rec), 2);
}

TEST_F(ValueDataTest, EightBytesAreReadWhole) {
  const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
  ValueRecord rec = value_with(data, kTypeQword);
  EXPECT_EQ(vesk().GetValueDataLength(hive_, &rec), 8);
  unsigned char buffer[9];
  std::memset(buffer, kPattern, sizeof buffer);
  EXPECT_EQ(vesk().GetValueData(hive_, &rec, buffer), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 8), data);
  EXPECT_EQ(buffer[8], kPattern);
  EXPECT_EQ(vesk().GetValueDword(hive_, &rec), 0x04030201u);
}

TEST_F(ValueDataTest, DataCutByTheEndOfFileLeavesTheBufferTail) {
  ValueRecord rec = value_with(Bytes(12, 0x5A), kTypeBinary);
  Bytes cut = file_;
  cut.resize(cell_contents(rec.data_offset) + 5);
  HiveHandle* h = open(cut);
  ASSERT_NE(h, nullptr);
  unsigned char buffer[12];
  std::memset(buffer, kPattern, sizeof buffer);
  EXPECT_EQ(vesk().GetValueData(h, &rec, buffer), 1);
  EXPECT_EQ(Bytes(buffer, buffer + 5), Bytes(5, 0x5A));
  EXPECT_EQ(buffer[5], kPattern);
}

TEST_F(ValueDataTest, NegativeSizesAreNeverRead) {
  for (std::uint32_t size : {0x80000008u, 0xFFFFFFFFu, 0x80000000u}) {
    SCOPED_TRACE(size);
    ValueRecord rec = value_with(Bytes(8, 1), kTypeBinary, size, true);
    unsigned char buffer[8] = {};
    EXPECT_EQ(vesk().GetValueData(hive_, &rec, buffer), 0);
    EXPECT_EQ(vesk().GetValueDword(hive_, &rec), rec.data_offset);
    EXPECT_EQ(rec.data_size, size);
  }
}

struct StringCase {
  const char* what;
  Bytes data;
  std::string expected;
};

class StringTest : public ValueDataTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringTest, TextOfTheData) {
  SCOPED_TRACE(GetParam().what);
  ValueRecord rec = value_with(GetParam().data);
  EXPECT_EQ(text(rec), GetParam().expected);
  EXPECT_EQ(rec.data_size, GetParam().data.size());  // inline bit cleared in place
}

INSTANTIATE_TEST_SUITE_P(
    Strings, StringTest,
    ::testing::Values(
        StringCase{"terminated, 22 bytes", utf16z("C:\\Windows"), "C:\\Windows"},
        StringCase{"unterminated, 20 bytes", utf16("C:\\Windows"), "C:\\Windows          "},
        StringCase{"empty", {}, ""},
        StringCase{"inline one character", {0x41, 0, 0, 0}, "A"},
        StringCase{"inline two characters, no terminator", {0x41, 0, 0x42, 0}, "AB  "},
        StringCase{"inline character without room for a terminator", {0x41, 0}, "A "},
        StringCase{"one odd byte", {0x41}, " "},
        StringCase{"odd size ignores the last byte", {0x41, 0, 0x42, 0, 0x43}, "AB   "},
        StringCase{"only a terminator", {0, 0}, ""},
        StringCase{"stops at the first zero unit", utf16z(std::string_view("ab\0cd", 5)), "ab"},
        StringCase{"multi-string shows its first string", utf16z(std::string_view("one\0two\0", 8)), "one"}), RowIndex());

TEST_F(ValueDataTest, StringClearsTheInlineBitAndTheOthersDoNot) {
  ValueRecord rec = value_with({0x41, 0, 0, 0});
  unsigned char buffer[4];
  vesk().GetValueData(hive_, &rec, buffer);
  vesk().GetValueDword(hive_, &rec);
  vesk().GetValueName(hive_, &rec);
  EXPECT_EQ(rec.data_size, 0x80000004u);
  EXPECT_EQ(text(rec), "A");
  EXPECT_EQ(rec.data_size, 4u);
}

#ifndef _WIN32
// "Grüße €" with and without its terminator, as each code set renders it.
const Bytes kGruesse = utf16z("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");

TEST_F(ValueDataTest, CLocaleIsAsciiWithQuestionMarks) {
  VESK_USE_LOCALE(c, "C");
  ValueRecord rec = value_with(kGruesse);
  EXPECT_EQ(text(rec), "Gr??e ?");
}

TEST_F(ValueDataTest, Latin1ConvertsOneByteEachAndReplacesTheRest) {
  VESK_USE_LOCALE(latin1, "en_US.ISO-8859-1");
  ValueRecord rec = value_with(kGruesse);
  EXPECT_EQ(text(rec), "Gr\xFC\xDF" "e ?");
  ValueRecord open_ended = value_with(utf16("\xC3\xA9t\xC3\xA9"));  // "été", 6 bytes
  EXPECT_EQ(text(open_ended), "\xE9t\xE9   ");
}

TEST_F(ValueDataTest, OtherSingleByteCodeSets) {
  {
    VESK_USE_LOCALE(l9, "de_DE.ISO-8859-15");
    ValueRecord rec = value_with(kGruesse);
    EXPECT_EQ(text(rec), "Gr\xFC\xDF" "e \xA4");
  }
  {
    VESK_USE_LOCALE(cp1252, "en_US.CP1252");
    ValueRecord rec = value_with(kGruesse);
    EXPECT_EQ(text(rec), "Gr\xFC\xDF" "e \x80");
  }
  {
    VESK_USE_LOCALE(koi8, "ru_RU.KOI8-R");
    ValueRecord rec = value_with(utf16z("\xD0\x9C\xD0\xB8\xD1\x80 \xC3\xA9"));  // "Мир é"
    EXPECT_EQ(text(rec), "\xED\xC9\xD2 ?");
  }
}

TEST_F(ValueDataTest, SurrogatesInASingleByteCodeSet) {
  VESK_USE_LOCALE(latin1, "en_US.ISO-8859-1");
  // A pair is one character (one '?'); an unpaired half is replaced too.
  ValueRecord pair = value_with({'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'b', 0, 0, 0});
  EXPECT_EQ(text(pair), "a?b");
  ValueRecord lone = value_with({'a', 0, 0x00, 0xD8, 'b', 0, 0, 0});
  EXPECT_EQ(text(lone), "a?b");
}

TEST_F(ValueDataTest, Utf8TextComesBackWhole) {
  VESK_USE_LOCALE(utf8, "C.UTF-8");
  ValueRecord rec = value_with(kGruesse);
  EXPECT_EQ(text(rec), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC");
  // Three characters in 6 bytes need 9: the buffer grows instead of losing them.
  ValueRecord cjk = value_with(utf16("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"));
  EXPECT_EQ(text(cjk), "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
  // ASCII without a terminator keeps the space rule: 10 characters, 10 spaces.
  ValueRecord ascii = value_with(utf16("C:\\Windows"));
  EXPECT_EQ(text(ascii), "C:\\Windows          ");
  // Two 2-byte characters in 4 bytes fill the buffer exactly.
  ValueRecord fits = value_with(utf16("\xC3\xA9\xC3\xA9"));
  EXPECT_EQ(text(fits), "\xC3\xA9\xC3\xA9");
  ValueRecord pair = value_with({0x3D, 0xD8, 0x00, 0xDE, 0, 0});
  EXPECT_EQ(text(pair), "\xF0\x9F\x98\x80");
  ValueRecord lone = value_with({0x00, 0xDC, 'x', 0, 0, 0});
  EXPECT_EQ(text(lone), "\xEF\xBF\xBDx");
}
#endif

TEST_F(ValueDataTest, HugeCorruptSizeIsAnsweredPromptly) {
  for (std::uint32_t size : {0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(size);
    ValueRecord rec = value_with(utf16z("short text"), kTypeString, size, true);
    EXPECT_EQ(vesk().GetValueDataLength(hive_, &rec), 0x7FFFFFFF);
    // The data runs on into the rest of the file and then its end, read as zeros.
    const std::string got = text(rec);
    EXPECT_EQ(got.substr(0, 10), "short text");
    EXPECT_LT(got.size(), file_.size());
  }
}

TEST_F(ValueDataTest, TextLongerThanTheResultAreaIsCutToFit) {
  const Bytes long_data = utf16(std::string(100000, 'x'));
  ValueRecord rec = value_with(long_data);
  EXPECT_EQ(text(rec), std::string(63999, 'x'));
  // A corrupt size over a long run of text: still the area's worth, no more.
  ValueRecord corrupt = value_with(long_data, kTypeString, 0x7FFFFFFF, true);
  EXPECT_EQ(text(corrupt), std::string(63999, 'x'));
}

TEST_F(ValueDataTest, NullArguments) {
  ValueRecord rec = value_with(utf16z("abcdef"));
  unsigned char buffer[16];
  EXPECT_EQ(vesk().GetValueData(hive_, &rec, nullptr), 0);
  EXPECT_EQ(vesk().GetValueData(nullptr, &rec, buffer), 0);
  EXPECT_EQ(vesk().GetValueData(hive_, nullptr, buffer), 0);
  EXPECT_EQ(vesk().GetValueDword(hive_, nullptr), 0u);
  EXPECT_EQ(vesk().GetValueDataLength(hive_, nullptr), 0);
  EXPECT_STREQ(vesk().GetValueString(hive_, nullptr), "");
  EXPECT_STREQ(vesk().GetValueString(nullptr, &rec), "");
}

}  // namespace
}  // namespace vesk::test
