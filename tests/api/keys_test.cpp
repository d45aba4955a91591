// SearchRootKey, the record-only counts and GetRegKeyName: where the root is looked
// for (and where it is not), what the record holds, and how names come back as text.
#include <gtest/gtest.h>

#include <cstring>

#include "api_test.h"
#include "layout.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

class KeysTest : public ApiTest {};

TEST_F(KeysTest, RootIsTheFirstCellOfTheFirstBin) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef child = b.add_key("Child", root);
  b.add_value(root, "v", kTypeDword, le32(7));
  const Bytes file = b.bytes();
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  ASSERT_EQ(vesk().SearchRootKey(h, &key), 1);
  EXPECT_EQ(key.offset, 4132u);
  EXPECT_EQ(root.contents, 4132u);
  EXPECT_EQ(copied(key),
            slice(file, 4132, 76));
  EXPECT_EQ(key.flags, 0x2C);
  EXPECT_EQ(vesk().CountSubKeys(&key), 1);
  EXPECT_EQ(vesk().CountValues(&key), 1);
  EXPECT_STREQ(vesk().GetRegKeyName(h, &key), "ROOT");
  (void)child;
}

struct RootCase {
  const char* what;
  std::uint16_t flags;
  int found;
};

class RootFlagsTest : public KeysTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(RootFlagsTest, FlagsMustBeExactly0x2C) {
  SCOPED_TRACE(GetParam().what);
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.poke_u16(root.contents + kNkFlagsAt, GetParam().flags);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(h, &key), GetParam().found);
  EXPECT_EQ(untouched(key), GetParam().found == 0);
}

INSTANTIATE_TEST_SUITE_P(Flags, RootFlagsTest,
                         ::testing::Values(RootCase{"0x2C", 0x2C, 1}, RootCase{"0x24", 0x24, 0},
                                           RootCase{"0x2D", 0x2D, 0}, RootCase{"0x20", 0x20, 0},
                                           RootCase{"0x102C", 0x102C, 0}), RowIndex());

TEST_F(KeysTest, RootFurtherOnInTheFirstBinIsNotFound) {
  HiveBuilder b;
  b.add_cell({'s', 'k', 0, 0, 0, 0, 0, 0});
  b.add_root("ROOT");
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(h, &key), 0);
  EXPECT_TRUE(untouched(key));
}

TEST_F(KeysTest, NoHbinAtTheFirstBinMeansNoRoot) {
  HiveBuilder b;
  b.add_root("ROOT");
  b.poke_u32(kFirstBinAt, 0x6E696269);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(h, &key), 0);
  EXPECT_TRUE(untouched(key));
}

// A first bin whose first cell is something else, followed by a bin that starts with
// the root. Which bin the search reaches depends on the first bin's fields.
Bytes two_bins(std::uint32_t first_offset_field, std::uint32_t first_size_field) {
  HiveBuilder b;
  b.add_cell({'s', 'k', 0, 0});
  b.start_bin();
  const KeyRef root = b.add_root("Second");
  EXPECT_EQ(root.contents, 8192u + 36u);
  b.poke_u32(kFirstBinAt + kBinOffsetAt, first_offset_field);
  b.poke_u32(kFirstBinAt + kBinSizeAt, first_size_field);
  return b.bytes();
}

TEST_F(KeysTest, SearchStepsByTheBinOffsetFieldNeverBySize) {
  HiveHandle* by_offset = open(two_bins(4096, 0x10000));
  ASSERT_NE(by_offset, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  ASSERT_EQ(vesk().SearchRootKey(by_offset, &key), 1);
  EXPECT_EQ(key.offset, 8192u + 36u);
  EXPECT_STREQ(vesk().GetRegKeyName(by_offset, &key), "Second");

  // Size says 4096 (where the root is) but the offset field is 0: the search ends.
  HiveHandle* by_size = open(two_bins(0, 4096));
  ASSERT_NE(by_size, nullptr);
  KeyRecord none = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(by_size, &none), 0);
  EXPECT_TRUE(untouched(none));
}

struct CycleCase {
  const char* what;
  std::uint32_t first_step;
  std::uint32_t second_step;
};

class RootCycleTest : public KeysTest, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(RootCycleTest, CraftedBinChainsEndPromptly) {
  SCOPED_TRACE(GetParam().what);
  HiveBuilder b;
  b.add_cell({'s', 'k', 0, 0});
  b.start_bin();
  b.add_cell({'s', 'k', 0, 0});
  b.poke_u32(kFirstBinAt + kBinOffsetAt, GetParam().first_step);
  b.poke_u32(8192 + kBinOffsetAt, GetParam().second_step);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(h, &key), 0);
  EXPECT_TRUE(untouched(key));
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, RootCycleTest,
    ::testing::Values(CycleCase{"second wraps back to the first", 4096, 0xFFFFF000u},
                      CycleCase{"second steps to itself modulo 2^32", 4096, 0u - 4096u},
                      CycleCase{"first wraps onto itself", 0u - 4096u, 0},
                      CycleCase{"steps past the end", 4096, 0x7FFFFFFF},
                      CycleCase{"negative position", 0x80000000u, 4096},
                      CycleCase{"step of 0xFFFFFFFF", 0xFFFFFFFFu, 0xFFFFFFFFu}), RowIndex());

TEST_F(KeysTest, ManySmallStepsThroughALargeFileEndPromptly) {
  // Every 8 bytes a fake bin header with a step of 8: the walk is long but bounded.
  HiveBuilder b;
  b.add_cell({'s', 'k', 0, 0});
  Bytes file = b.bytes();
  file.resize(8u << 20, 0);
  for (std::uint32_t at = 4096; at + 8 <= file.size(); at += 8) {
    std::memcpy(&file[at], "hbin", 4);
    file[at + 4] = 8;
  }
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(h, &key), 0);
}

TEST_F(KeysTest, CountsAreTheRecordsSignedFields) {
  KeyRecord key = patterned<KeyRecord>();
  key.subkey_count = -5;
  key.value_count = 0x7FFFFFFF;
  EXPECT_EQ(vesk().CountSubKeys(&key), -5);
  EXPECT_EQ(vesk().CountValues(&key), 0x7FFFFFFF);
  EXPECT_EQ(vesk().CountSubKeys(nullptr), 0);
}

struct NameCase {
  const char* what;
  Bytes stored;
  std::uint16_t length;
  std::string expected;
};

class KeyNameTest : public KeysTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(KeyNameTest, NameTextFromTheFile) {
  const NameCase& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  const KeyRef root = b.add_root(std::string(row.stored.begin(), row.stored.end()));
  b.poke_u16(root.contents + kNkNameLengthAt, row.length);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  EXPECT_EQ(std::string(vesk().GetRegKeyName(h, &key)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, KeyNameTest,
    ::testing::Values(
        NameCase{"plain", {'S', 'O', 'F', 'T'}, 4, "SOFT"},
        NameCase{"length 0", {'x'}, 0, ""},
        NameCase{"UTF-16LE bytes end at the first zero", {0x61, 0, 0x62, 0}, 4, "a"},
        NameCase{"zero byte inside", {'a', 'b', 0, 'c', 'd', 'e'}, 6, "ab"},
        NameCase{"8-bit bytes pass through", {0xC4, 0xE9}, 2, "\xC4\xE9"},
        NameCase{"length 0x8000 is negative", {'a'}, 0x8000, ""},
        NameCase{"length 0xFFFF is negative", {'a'}, 0xFFFF, ""},
        NameCase{"shorter length than stored", {'a', 'b', 'c'}, 2, "ab"}), RowIndex());

TEST_F(KeysTest, NameCutShortByTheEndOfFileIsPaddedWithSpaces) {
  HiveBuilder b;
  const KeyRef root = b.add_root("abcde");
  Bytes file = b.bytes();
  file.resize(root.contents + kNkNameAt + 3);
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  EXPECT_STREQ(vesk().GetRegKeyName(h, &key), "abc  ");
}

TEST_F(KeysTest, LongestNameIsReadWholeAndPadded) {
  HiveBuilder b;
  const KeyRef root = b.add_root(std::string(100, 'n'));
  b.poke_u16(root.contents + kNkNameLengthAt, 0x7FFF);
  Bytes file = b.bytes();
  file.resize(root.contents + kNkNameAt + 100);  // the rest is past the end
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  EXPECT_EQ(std::string(vesk().GetRegKeyName(h, &key)),
            std::string(100, 'n') + std::string(0x7FFF - 100, ' '));
}

TEST_F(KeysTest, ResultsFollowEachOtherInTheResultArea) {
  HiveBuilder b;
  const KeyRef root = b.add_root("abc");
  b.add_key("de", root);
  const KeyRef empty = b.add_key("", root);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  ASSERT_EQ(vesk().GetSubKeyList(h, &key, &list), 2);

  const char* a = vesk().GetRegKeyName(h, &key);
  ASSERT_STREQ(a, "abc");
  KeyRecord sub;
  const char* hint = vesk().GetSubKey(h, &list, 0, &sub);
  EXPECT_EQ(hint, a + 3);
  EXPECT_STREQ(hint, "de");
  EXPECT_STREQ(a, "abcde");

  KeyRecord none;
  const char* e1 = vesk().GetSubKey(h, &list, 1, &none);  // hint of "" is empty
  EXPECT_EQ(none.offset, empty.contents);
  const char* e2 = vesk().GetRegKeyName(h, &none);
  EXPECT_EQ(e1, e2);
  EXPECT_STREQ(e2, "");
  EXPECT_EQ(e1, hint + 2);
}

TEST_F(KeysTest, NullArgumentsAreRefusedNotFollowed) {
  HiveBuilder b;
  b.add_root("ROOT");
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(nullptr, &key), 0);
  EXPECT_TRUE(untouched(key));
  EXPECT_EQ(vesk().SearchRootKey(h, nullptr), 0);
  EXPECT_STREQ(vesk().GetRegKeyName(h, nullptr), "");
  EXPECT_STREQ(vesk().GetRegKeyName(nullptr, &key), "");
}

}  // namespace
}  // namespace vesk::test
