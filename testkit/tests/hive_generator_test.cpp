// The realistic hive generator: the same recipe always gives the same bytes, and the
// hives have what tests rely on: sorted "lf" lists, many bins, every value type, empty
// and default values, 8-bit names, and the size asked for.
#include <gtest/gtest.h>

#include <set>

#include "hive_generator.h"
#include "temp_hive.h"
#include "vesk/hive.hpp"

namespace vesk::test {
namespace {

struct Census {
  std::int32_t keys = 0;
  std::int64_t values = 0;
  std::set<std::uint32_t> types;
  int defaults = 0;
  int empty = 0;
  int eight_bit_names = 0;
  int largest_list = 0;
  int depth = 0;
  bool sorted = true;
  bool unique = true;
};

void take(const Key& key, Census& c, int depth) {
  ++c.keys;
  c.depth = std::max(c.depth, depth);
  for (Value v : key.values()) {
    ++c.values;
    c.types.insert(v.type());
    if (!v.has_name()) ++c.defaults;
    if (v.length() == 0) ++c.empty;
  }
  std::string previous;
  std::set<std::string> seen;
  int n = 0;
  for (const Key& sub : key.subkeys()) {
    const std::string name = sub.name();
    for (unsigned char ch : name) {
      if (ch >= 0x80) {
        ++c.eight_bit_names;
        break;
      }
    }
    if (n > 0 && !windows_name_less(previous, name)) c.sorted = false;
    std::string folded;
    for (unsigned char ch : name) folded += static_cast<char>(fold_case(ch));
    if (!seen.insert(folded).second) c.unique = false;
    previous = name;
    ++n;
    take(sub, c, depth + 1);
  }
  c.largest_list = std::max(c.largest_list, n);
}

Census census(const Bytes& bytes) {
  TempHive file(bytes);
  Hive hive(file.path());
  Census c;
  if (auto root = hive.root()) take(*root, c, 0);
  return c;
}

int bins(const Bytes& bytes) {
  int n = 0;
  for (std::size_t at = 4096; at + 4 <= bytes.size(); at += 4096) {
    n += bytes[at] == 'h' && bytes[at + 1] == 'b' && bytes[at + 2] == 'i' && bytes[at + 3] == 'n';
  }
  return n;
}

TEST(HiveGeneratorTest, SameRecipeSameBytes) {
  HiveRecipe recipe;
  recipe.keys = 500;
  const Bytes a = generate_hive(recipe).bytes;
  EXPECT_TRUE(a == generate_hive(recipe).bytes);
  recipe.seed = 2;
  EXPECT_FALSE(a == generate_hive(recipe).bytes);
}

TEST(HiveGeneratorTest, HivesHaveWhatTestsNeed) {
  HiveRecipe recipe;
  recipe.seed = 7;
  recipe.keys = 3000;
  const GeneratedHive g = generate_hive(recipe);
  const Census c = census(g.bytes);
  EXPECT_EQ(c.keys, 3000);
  EXPECT_EQ(g.keys, 3000);
  EXPECT_EQ(c.values, g.values);
  EXPECT_GT(c.values, 3 * 3000 / 2);
  for (std::uint32_t type = 0; type <= 11; ++type) EXPECT_EQ(c.types.count(type), 1u) << type;
  EXPECT_TRUE(c.types.upper_bound(11) != c.types.end()) << "no type beyond the named ones";
  EXPECT_GT(c.defaults, 100);
  EXPECT_GT(c.empty, 50);
  EXPECT_GT(c.eight_bit_names, 50);
  EXPECT_TRUE(c.sorted);
  EXPECT_TRUE(c.unique);
  EXPECT_GT(c.largest_list, 150);
  EXPECT_LE(c.largest_list, recipe.max_subkeys);
  EXPECT_GE(c.depth, 5);
  EXPECT_GT(bins(g.bytes), 100);
}

TEST(HiveGeneratorTest, SizeByBytes) {
  HiveRecipe recipe;
  const std::int32_t keys = keys_for_bytes(recipe, 4 << 20);
  recipe.keys = keys;
  const std::size_t size = generate_hive(recipe).bytes.size();
  EXPECT_GT(size, 3u << 20);
  EXPECT_LT(size, 5u << 20);
}

TEST(HiveGeneratorTest, WindowsNameOrder) {
  struct Row {
    const char* a;
    const char* b;
  };
  // Each row: a sorts strictly before b.
  const Row rows[] = {{"a", "B"},        {"ab", "abc"},    {"ABC", "abd"}, {"Z", "_"},
                      {"Z", "\xE4"},     {"\xE4", "\xF6"}, {"\xFE", "\xFF"}, {"\xFF", "\xB5"},
                      {"", "a"},         {"ab", "a_"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " < " + row.b);
    EXPECT_TRUE(windows_name_less(row.a, row.b));
    EXPECT_FALSE(windows_name_less(row.b, row.a));
  }
  EXPECT_FALSE(windows_name_less("abc", "ABC"));
  EXPECT_FALSE(windows_name_less("\xE9", "\xC9"));
}

}  // namespace
}  // namespace vesk::test
