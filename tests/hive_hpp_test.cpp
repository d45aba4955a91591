// The C++ interface over the flat functions: ownership, ranges, value bytes, and name
// lookup that binary-searches by hint yet still finds names in lists out of order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hive_builder.h"
#include "layout.h"
#include "temp_hive.h"
#include "vesk/hive.hpp"

namespace vesk::test {
namespace {

// A root with children added in the order given (an "lf" list keeps that order).
Bytes hive_with_children(const std::vector<std::string>& names) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  for (const std::string& n : names) {
    const KeyRef k = b.add_key(n, root);
    b.add_value(k, "me", kTypeString, utf16z(n));
  }
  return b.bytes();
}

std::string found(const Hive& hive, const std::string& name) {
  const auto key = hive.root()->subkey(name);
  if (!key) return "<absent>";
  return key->name();
}

TEST(HiveHppTest, OwnsItsHandleAndMoves) {
  TempHive file(hive_with_children({"A"}));
  Hive first(file.path());
  ASSERT_TRUE(first.is_open());
  Hive second(std::move(first));
  EXPECT_FALSE(first.is_open());
  ASSERT_TRUE(second);
  EXPECT_EQ(second.root()->name(), "ROOT");
  Hive third("/nonexistent");
  EXPECT_FALSE(third);
  EXPECT_FALSE(third.root());
  third = std::move(second);
  EXPECT_TRUE(third);
}

TEST(HiveHppTest, RangesVisitEverySubkeyAndValue) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("One", root);
  b.add_key("Two", root);
  b.add_value(root, "", kTypeString, utf16z("dflt"), 0);
  b.add_value(root, "Num", kTypeDword, le32(0x01020304));
  b.add_value(root, "Three", kTypeBinary, {1, 2, 3});
  b.add_value(root, "Blob", kTypeBinary, {9, 8, 7, 6, 5, 4});
  TempHive file(b.bytes());
  Hive hive(file.path());
  const Key top = *hive.root();
  std::vector<std::string> names;
  for (const Key& k : top.subkeys()) names.push_back(k.name());
  EXPECT_EQ(names, (std::vector<std::string>{"One", "Two"}));
  std::vector<std::string> values;
  for (Value v : top.values()) {
    values.push_back(v.name() + "/" + std::to_string(v.type()) + "/" +
                     std::to_string(v.bytes()->size()));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"{default}/1/10", "Num/4/4", "Three/3/3",
                                              "Blob/3/6"}));
  Value num = top.values().at(1);
  EXPECT_EQ(*num.bytes(), (std::vector<std::uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(num.dword(), 0x01020304u);
  Value dflt = top.values().at(0);
  EXPECT_FALSE(dflt.has_name());
  EXPECT_EQ(dflt.text(), "dflt");
  EXPECT_EQ(*top.values().at(2).bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(*top.values().at(3).bytes(), (std::vector<std::uint8_t>{9, 8, 7, 6, 5, 4}));
}

TEST(HiveHppTest, ImpossibleDataSizeGivesNoBytes) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const ValueRef v = b.add_value(root, "Big", kTypeBinary, Bytes(8, 1));
  b.poke_u32(v.contents + format::kVkDataSizeAt, 0x7FFFFFF0);
  TempHive file(b.bytes());
  Hive hive(file.path());
  Value big = hive.root()->values().at(0);
  EXPECT_EQ(big.length(), 0x7FFFFFF0);
  EXPECT_FALSE(big.bytes());
}

TEST(HiveHppTest, LookupIgnoresCaseAndSettlesTiedHints) {
  // Sorted by upper-cased name, as Windows keeps an "lf" list.
  TempHive file(hive_with_children(
      {"Alpha", "Soft", "SOFTware", "Software2", "SoftX", "System", "Zed", "\xC9t\xE9"}));
  Hive hive(file.path());
  struct Row {
    const char* ask;
    const char* expect;
  };
  const Row rows[] = {{"alpha", "Alpha"},        {"SOFT", "Soft"},
                      {"software", "SOFTware"},  {"SoftWare2", "Software2"},
                      {"softx", "SoftX"},        {"system", "System"},
                      {"\xE9T\xC9", "\xC9t\xE9"}, {"zed", "Zed"},
                      {"Sof", "<absent>"},       {"Softwares", "<absent>"},
                      {"", "<absent>"},          {"Zz", "<absent>"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ask);
    EXPECT_EQ(found(hive, row.ask), row.expect);
  }
}

TEST(HiveHppTest, LookupFindsNamesInAListOutOfOrder) {
  TempHive file(hive_with_children({"Zeta", "beta", "Alpha", "Mid", "alphabet"}));
  Hive hive(file.path());
  for (const char* name : {"Zeta", "BETA", "alpha", "mid", "ALPHABET"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(compare_names(found(hive, name), name), 0);
  }
  EXPECT_EQ(found(hive, "gamma"), "<absent>");
}

TEST(HiveHppTest, LookupInLargeSortedLists) {
  std::vector<std::string> names;
  for (int i = 0; i < 700; ++i) names.push_back("Key" + std::to_string(100000 + i * 7));
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compare_names(a, b) < 0; });
  TempHive file(hive_with_children(names));
  Hive hive(file.path());
  for (std::size_t i = 0; i < names.size(); i += 37) EXPECT_EQ(found(hive, names[i]), names[i]);
  EXPECT_EQ(found(hive, "Key100001"), "<absent>");
}

TEST(HiveHppTest, OpenKeyWalksABackslashPath) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef ms = b.add_key("Microsoft", root);
  const KeyRef win = b.add_key("Windows", ms);
  const KeyRef cv = b.add_key("CurrentVersion", win);
  b.add_value(cv, "ProgramFilesDir", kTypeString, utf16z("C:\\Program Files"));
  TempHive file(b.bytes());
  Hive hive(file.path());
  const auto key = hive.open_key("microsoft\\WINDOWS\\CurrentVersion");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->name(), "CurrentVersion");
  EXPECT_EQ(key->values().at(0).text(), "C:\\Program Files");
  EXPECT_EQ(hive.open_key("")->name(), "ROOT");
  EXPECT_EQ(hive.open_key("\\Microsoft\\\\Windows\\")->name(), "Windows");
  EXPECT_FALSE(hive.open_key("Microsoft\\Nope\\CurrentVersion"));
}

}  // namespace
}  // namespace vesk::test
