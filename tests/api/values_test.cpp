// GetValueList, GetValue, GetValueName and GetValueType: the list taken from the key
// record alone, the signed index test, untouched records, and names with their flag.
#include <gtest/gtest.h>

#include "api_test.h"
#include "layout.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

class ValuesTest : public ApiTest {};

TEST_F(ValuesTest, TwoValuesFillTwoRecords) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const ValueRef path = b.add_value(root, "Path", kTypeString, utf16z("C:\\x"));
  const ValueRef count = b.add_value(root, "Count", kTypeDword, le32(16));
  const Placed vl = b.value_list(root);
  const Bytes file = b.bytes();
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list = patterned<ValueListRecord>();
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 2);
  EXPECT_EQ(list.offset, vl.contents);
  EXPECT_EQ(list.count, 2);

  ValueRecord v = patterned<ValueRecord>();
  EXPECT_EQ(vesk().GetValue(h, &list, 0, &v), 1);
  EXPECT_EQ(v.offset, path.contents);
  EXPECT_EQ(copied(v),
            slice(file, path.contents, 18));
  EXPECT_EQ(vesk().GetValueType(h, &v), 1);
  EXPECT_STREQ(vesk().GetValueName(h, &v), "Path");

  EXPECT_EQ(vesk().GetValue(h, &list, 1, &v), 4);
  EXPECT_EQ(v.offset, count.contents);
  EXPECT_EQ(vesk().GetValueType(nullptr, &v), 4);  // the hive is not needed
  EXPECT_STREQ(vesk().GetValueName(h, &v), "Count");
}

TEST_F(ValuesTest, IndexOutOfRangeReturnsZeroAndLeavesTheRecord) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "a", kTypeDword, le32(1));
  b.add_value(root, "b", kTypeDword, le32(2));
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list;
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 2);
  for (std::int32_t index : {2, -1, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(index);
    ValueRecord v = patterned<ValueRecord>();
    EXPECT_EQ(vesk().GetValue(h, &list, index, &v), 0);
    EXPECT_TRUE(untouched(v));
  }
}

TEST_F(ValuesTest, TypeZeroLooksLikeFailureButFillsTheRecord) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const ValueRef none = b.add_value(root, "Nothing", kTypeNone, {});
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list;
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 1);
  ValueRecord v = patterned<ValueRecord>();
  EXPECT_EQ(vesk().GetValue(h, &list, 0, &v), 0);
  EXPECT_FALSE(untouched(v));
  EXPECT_EQ(v.offset, none.contents);
  EXPECT_STREQ(vesk().GetValueName(h, &v), "Nothing");
}

TEST_F(ValuesTest, ValueListNeedsACountAndACell) {
  struct Row {
    const char* what;
    std::uint32_t count;
    std::uint32_t cell;
    std::int32_t expected;
  };
  const Row rows[] = {{"count 3, no cell", 3, kNoCell, 0},
                      {"count 0 with a cell", 0, 0x20, 0},
                      {"negative count passes through", 0xFFFFFFFF, 0x20, -1},
                      {"count and cell", 3, 0x20, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    KeyRecord key = patterned<KeyRecord>();
    key.value_count = static_cast<std::int32_t>(row.count);
    key.value_list = row.cell;
    ValueListRecord list = patterned<ValueListRecord>();
    EXPECT_EQ(vesk().GetValueList(nullptr, &key, &list), row.expected);
    if (row.expected == 0) {
      EXPECT_TRUE(untouched(list));
    } else {
      EXPECT_EQ(list.count, row.expected);
      EXPECT_EQ(list.offset, row.cell + 4100);
    }
  }
}

TEST_F(ValuesTest, NegativeCountAllowsNoIndex) {
  ValueListRecord list{4100, -1};
  ValueRecord v = patterned<ValueRecord>();
  EXPECT_EQ(vesk().GetValue(nullptr, &list, 0, &v), 0);
  EXPECT_TRUE(untouched(v));
}

struct ValueNameCase {
  const char* what;
  Bytes name;
  std::uint16_t flags;
  std::uint16_t length;  // poked over the stored length when poke_length is set
  bool poke_length;
  std::string expected;
};

class ValueNameTest : public ValuesTest, public ::testing::WithParamInterface<ValueNameCase> {};

TEST_P(ValueNameTest, NameText) {
  const ValueNameCase& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const ValueRef v =
      b.add_value(root, std::string(row.name.begin(), row.name.end()), kTypeDword, le32(1),
                  row.flags);
  if (row.poke_length) b.poke_u16(v.contents + kVkNameLengthAt, row.length);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list;
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 1);
  ValueRecord rec;
  ASSERT_EQ(vesk().GetValue(h, &list, 0, &rec), 4);
  EXPECT_EQ(std::string(vesk().GetValueName(h, &rec)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ValueNameTest,
    ::testing::Values(
        ValueNameCase{"8-bit Path", {0x50, 0x61, 0x74, 0x68}, 1, 0, false, "Path"},
        ValueNameCase{"8-bit, length 0", {}, 1, 0, false, ""},
        ValueNameCase{"flag clear, empty", {}, 0, 0, false, "{default}"},
        ValueNameCase{"flag clear, UTF-16 name", {'a', 0, 'b', 0}, 0, 0, false, "{default}"},
        ValueNameCase{"flag clear, any length", {'a'}, 0x10, 0x8000, true, "{default}"},
        ValueNameCase{"other flag bits ignored", {'x', 'y'}, 0xFFFF, 0, false, "xy"},
        ValueNameCase{"CP1252 bytes pass through", {0xC4, 'r', 0xE9}, 1, 0, false,
                      "\xC4r\xE9"},
        ValueNameCase{"length 0x8000 is negative", {'a'}, 1, 0x8000, true, ""},
        ValueNameCase{"length 0xFFFF is negative", {'a'}, 1, 0xFFFF, true, ""},
        ValueNameCase{"zero byte ends the name", {'a', 0, 'b'}, 1, 0, false, "a"}), RowIndex());

TEST_F(ValuesTest, NameCutShortByTheEndOfFileIsPaddedWithSpaces) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "a", kTypeDword, le32(1));
  const std::uint32_t element = b.value_list(root).contents;
  Bytes file = b.bytes();
  // A vk cell at the very end whose 6-byte name the file cuts after 2 bytes.
  const auto at = static_cast<std::uint32_t>(file.size());
  const Bytes vk = {0xE8, 0xFF, 0xFF, 0xFF, 'v', 'k', 6, 0, 4, 0, 0, 0x80, 1, 0, 0, 0,
                    4,    0,    0,    0,    1,   0,   0, 0, 'N', 'a'};
  file.insert(file.end(), vk.begin(), vk.end());
  const Bytes cell = le32(at - 4096);
  std::copy(cell.begin(), cell.end(), file.begin() + element);
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list;
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 1);
  ValueRecord v;
  ASSERT_EQ(vesk().GetValue(h, &list, 0, &v), 4);
  EXPECT_EQ(v.offset, at + 4);
  EXPECT_STREQ(vesk().GetValueName(h, &v), "Na    ");
}

TEST_F(ValuesTest, ValueCellPastTheEndLeavesTheRestOfTheRecord) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "a", kTypeDword, le32(1));
  b.poke_u32(b.value_list(root).contents, 0x7FFF0000);  // far past the end
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list;
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 1);
  ValueRecord v = patterned<ValueRecord>();
  const std::int32_t type = vesk().GetValue(h, &list, 0, &v);
  EXPECT_EQ(v.offset, 0x7FFF0000u + 4100u);
  ValueRecord expected = patterned<ValueRecord>();
  expected.offset = v.offset;
  EXPECT_EQ(image(v), image(expected));  // nothing could be read
  EXPECT_EQ(type, static_cast<std::int32_t>(expected.data_type));
}

}  // namespace
}  // namespace vesk::test
