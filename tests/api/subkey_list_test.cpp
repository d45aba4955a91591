// GetSubKeyList, CountKeyList and GetSubKey: the list record, element offsets, name
// hints, the signed index test, and lists that are not "lf".
#include <gtest/gtest.h>

#include "api_test.h"
#include "layout.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

class SubkeyListTest : public ApiTest {};

TEST_F(SubkeyListTest, ThreeSubkeysUnderAnLfList) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef k[3] = {b.add_key("Software", root), b.add_key("Ab", root),
                       b.add_key("System", root)};
  const Placed lf = b.subkey_list(root);
  const Bytes file = b.bytes();
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list = patterned<KeyListRecord>();
  ASSERT_EQ(vesk().GetSubKeyList(h, &key, &list), 3);
  EXPECT_EQ(list.offset, lf.contents);
  EXPECT_EQ(list.signature, kSigLf);
  EXPECT_EQ(vesk().CountKeyList(&list), 3);

  const char* hints[3] = {"Soft", "Ab", "Syst"};
  const char* names[3] = {"Software", "Ab", "System"};
  for (int i = 0; i < 3; ++i) {
    KeyRecord sub = patterned<KeyRecord>();
    EXPECT_STREQ(vesk().GetSubKey(h, &list, i, &sub), hints[i]);
    EXPECT_EQ(sub.offset, k[i].cell + 4100);
    EXPECT_EQ(copied(sub),
              slice(file, k[i].contents, 76));
    EXPECT_STREQ(vesk().GetRegKeyName(h, &sub), names[i]);
  }
}

TEST_F(SubkeyListTest, IndexOutOfRangeLeavesTheRecordAndReturnsEmpty) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  for (const char* n : {"a", "b", "c"}) b.add_key(n, root);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  ASSERT_EQ(vesk().GetSubKeyList(h, &key, &list), 3);
  for (std::int32_t index : {3, -1, 4, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(index);
    KeyRecord sub = patterned<KeyRecord>();
    EXPECT_STREQ(vesk().GetSubKey(h, &list, index, &sub), "");
    EXPECT_TRUE(untouched(sub));
  }
}

TEST_F(SubkeyListTest, KeyWithoutSubkeysReadsInsideTheBinHeader) {
  HiveBuilder b;
  b.add_root("ROOT");
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ASSERT_EQ(key.subkey_list, kNoCell);
  KeyListRecord list = patterned<KeyListRecord>();
  EXPECT_EQ(vesk().GetSubKeyList(h, &key, &list), 0);
  EXPECT_EQ(list.offset, 4099u);
  EXPECT_EQ(list.signature, 'n');  // the last byte of "hbin", then the bin offset's 0
  EXPECT_EQ(vesk().CountKeyList(&list), 0);
}

TEST_F(SubkeyListTest, OtherSignatureCountsNoSubkeysButElementsStillRead) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef x = b.add_key("Xyzzy", root);
  const KeyRef y = b.add_key("Yo", root);
  Bytes lh = {'l', 'h', 2, 0};
  for (const KeyRef* k : {&x, &y}) {
    const Bytes c = le32(k->cell);
    lh.insert(lh.end(), c.begin(), c.end());
    const Bytes hash = le32(0x00616263);  // "cba": what an lh list keeps is no hint
    lh.insert(lh.end(), hash.begin(), hash.end());
  }
  const Placed list_cell = b.add_cell(lh);
  b.set_subkey_list(root, list_cell.cell, 2);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  EXPECT_EQ(vesk().GetSubKeyList(h, &key, &list), 0);
  EXPECT_EQ(list.signature, 0x686C);
  EXPECT_EQ(vesk().CountKeyList(&list), 2);
  KeyRecord sub;
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 1, &sub), "cba");
  EXPECT_EQ(sub.offset, y.contents);
  EXPECT_STREQ(vesk().GetRegKeyName(h, &sub), "Yo");
}

TEST_F(SubkeyListTest, CountIsSignExtendedFrom16Bits) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("a", root);
  b.poke_u16(b.subkey_list(root).contents + kLfCountAt, 0xFFFF);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  EXPECT_EQ(vesk().GetSubKeyList(h, &key, &list), -1);
  EXPECT_EQ(vesk().CountKeyList(&list), -1);
  KeyRecord sub = patterned<KeyRecord>();
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 0, &sub), "");  // nothing is below -1
  EXPECT_TRUE(untouched(sub));
}

TEST_F(SubkeyListTest, HintsStopAtZeroAndAtFourBytes) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("Ab", root);
  b.add_key("ABCDEFG", root);
  b.add_key("", root);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  ASSERT_EQ(vesk().GetSubKeyList(h, &key, &list), 3);
  KeyRecord sub;
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 0, &sub), "Ab");
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 1, &sub), "ABCD");
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 2, &sub), "");
}

TEST_F(SubkeyListTest, ElementPastTheEndOfFileReadsAsZero) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("a", root);
  const Placed lf = b.subkey_list(root);
  b.poke_u16(lf.contents + kLfCountAt, 0x7FFF);
  Bytes file = b.bytes();
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  ASSERT_EQ(vesk().GetSubKeyList(h, &key, &list), 0x7FFF);
  KeyRecord sub;
  // Element 0x7FFE lies far past the end: its cell offset and hint read as zero.
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 0x7FFE, &sub), "");
  EXPECT_EQ(sub.offset, 4100u);
  EXPECT_EQ(copied(sub),
            slice(file, 4100, 76));
}

TEST_F(SubkeyListTest, KeyWhoseListNamesItselfIsJustAnotherRecord) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const Bytes self = {'l', 'f', 1, 0, static_cast<std::uint8_t>(root.cell), 0, 0, 0,
                      'R', 'O', 'O', 'T'};
  const Placed list_cell = b.add_cell(self);
  b.set_subkey_list(root, list_cell.cell, 1);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  KeyListRecord list;
  ASSERT_EQ(vesk().GetSubKeyList(h, &key, &list), 1);
  KeyRecord sub;
  EXPECT_STREQ(vesk().GetSubKey(h, &list, 0, &sub), "ROOT");
  EXPECT_EQ(image(sub), image(key));  // the host sees the same key again
}

TEST_F(SubkeyListTest, NullArgumentsAreRefused) {
  KeyListRecord list = patterned<KeyListRecord>();
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().GetSubKeyList(nullptr, &key, &list), 0);
  EXPECT_TRUE(untouched(list));
  EXPECT_EQ(vesk().CountKeyList(nullptr), 0);
  EXPECT_STREQ(vesk().GetSubKey(nullptr, &list, 0, &key), "");
  EXPECT_STREQ(vesk().GetSubKey(nullptr, nullptr, 0, &key), "");
}

}  // namespace
}  // namespace vesk::test
