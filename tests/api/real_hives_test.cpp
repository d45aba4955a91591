// Real hives written by Windows (origins in tests/data/hives/README.md): every key and
// value is reached, with the counts that three independent readers agree on.
#include <gtest/gtest.h>

#include <string>

#include "api_test.h"

namespace vesk::test {
namespace {

struct Counts {
  int keys = 0;
  int values = 0;
  int default_names = 0;
  int inline_values = 0;
  std::int32_t longest_data = 0;
};

class RealHivesTest : public ApiTest {
 protected:
  static std::string path(const char* name) {
    return std::string(VESK_TEST_DATA_DIR) + "/hives/" + name;
  }

  void walk(HiveHandle* h, KeyRecord& key, Counts& c, int depth) {
    ++c.keys;
    ASSERT_LT(depth, 64);
    ValueListRecord values;
    const std::int32_t n = vesk().GetValueList(h, &key, &values);
    for (std::int32_t i = 0; i < n; ++i) {
      ValueRecord v;
      vesk().GetValue(h, &values, i, &v);
      ASSERT_EQ(v.signature, 0x6B76);
      ++c.values;
      if (std::string(vesk().GetValueName(h, &v)) == "{default}") ++c.default_names;
      if (static_cast<std::int32_t>(v.data_size) < 0) ++c.inline_values;
      const std::int32_t length = vesk().GetValueDataLength(h, &v);
      if (length > c.longest_data) c.longest_data = length;
      if (length > 4) {
        std::vector<unsigned char> data(static_cast<std::size_t>(length));
        EXPECT_EQ(vesk().GetValueData(h, &v, data.data()), 1);
      }
    }
    KeyListRecord list;
    const std::int32_t subkeys = vesk().GetSubKeyList(h, &key, &list);
    EXPECT_EQ(subkeys, vesk().CountSubKeys(&key));
    for (std::int32_t i = 0; i < subkeys; ++i) {
      KeyRecord sub;
      const std::string hint = vesk().GetSubKey(h, &list, i, &sub);
      ASSERT_EQ(sub.signature, 0x6B6E);
      walk(h, sub, c, depth + 1);
    }
  }

  Counts count(const char* name) {
    Counts c;
    HiveHandle* h = vesk().OpenRegistryFile(path(name).c_str());
    EXPECT_NE(h, nullptr) << name;
    if (h == nullptr) return c;
    KeyRecord root;
    EXPECT_EQ(vesk().SearchRootKey(h, &root), 1);
    walk(h, root, c, 0);
    vesk().CloseRegistryFile(h);
    return c;
  }
};

TEST_F(RealHivesTest, DefaultUserHive) {
  const Counts c = count("dfwinreg-NTUSER.DAT");
  EXPECT_EQ(c.keys, 1597);
  EXPECT_EQ(c.values, 2310);
  EXPECT_EQ(c.inline_values, 993);
  EXPECT_EQ(c.longest_data, 29916);
}

TEST_F(RealHivesTest, BootConfiguration) {
  const Counts c = count("dfirmuseum-win7-BCD");
  EXPECT_EQ(c.keys, 66);
  EXPECT_EQ(c.values, 46);
}

TEST_F(RealHivesTest, UnicodeNames) {
  const Counts c = count("python-registry-UNICODE_TESTS");
  EXPECT_EQ(c.keys, 3);
  EXPECT_EQ(c.values, 22);
  EXPECT_EQ(c.default_names, 11);  // the UTF-16 names: their 8-bit flag is clear
}

TEST_F(RealHivesTest, Version15IsRefused) {
  EXPECT_EQ(vesk().OpenRegistryFile(path("dfirmuseum-win10-ELAM").c_str()), nullptr);
}

TEST_F(RealHivesTest, RootNameOfTheDefaultUserHive) {
  HiveHandle* h = vesk().OpenRegistryFile(path("dfwinreg-NTUSER.DAT").c_str());
  ASSERT_NE(h, nullptr);
  KeyRecord root;
  ASSERT_EQ(vesk().SearchRootKey(h, &root), 1);
  EXPECT_STREQ(vesk().GetRegKeyName(h, &root),
               "CsiTool-CreateHive-{00000000-0000-0000-0000-000000000000}");
  vesk().CloseRegistryFile(h);
}

}  // namespace
}  // namespace vesk::test
