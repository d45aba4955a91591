// Realistic hives made from a seed, on top of HiveBuilder: a SOFTWARE-like tree in version
// 1.3 layout with "lf" lists sorted the way Windows sorts them, spread over many bins, with
// every value type, empty and default values and 8-bit (CP1252) names; and the benchmark's
// wide preset. The same recipe always gives the same bytes, on every platform; nothing
// here reads a hive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "hive_builder.h"

namespace vesk::test {

struct HiveRecipe {
  std::uint64_t seed = 1;
  // Keys in all, the root and the fixed SOFTWARE-like skeleton of about thirty keys
  // included; a smaller number gives the skeleton alone.
  std::int32_t keys = 1000;
  // The average number of values of a key outside the skeleton.
  std::int32_t values_per_key = 3;
  // The longest data of one value; about one value in a hundred comes near it.
  std::int32_t max_data_bytes = 4096;
  // The most subkeys of one key; every key keeps all of its subkeys in one "lf" list.
  std::int32_t max_subkeys = 2000;
};

struct GeneratedHive {
  Bytes bytes;
  std::int32_t keys = 0;
  std::int64_t values = 0;
};

// Makes the hive that `recipe` describes. The root key is the first cell of the first bin.
GeneratedHive generate_hive(const HiveRecipe& recipe);

// The number of keys that makes a hive of about `bytes` bytes with the other settings of
// `recipe`, scaled from a small hive of the same recipe.
std::int32_t keys_for_bytes(const HiveRecipe& recipe, std::uint64_t bytes);

// Windows' order of 8-bit names in an "lf" list: character by character after upper-casing
// as Windows does (which maps 0xFF and 0xB5 beyond the 8-bit range), shorter names first.
bool windows_name_less(std::string_view a, std::string_view b);

// The benchmark's hive: ten keys under the root, each over one wide "lf" list, then a few
// levels of narrower ones, of about `megabytes` MiB. The same size always gives the same
// bytes. `lookup_key` is the backslash path of a key four levels down that holds at least two
// values, `lookup_value` the name of one of them.
struct WideHive {
  Bytes bytes;
  std::string lookup_key;
  std::string lookup_value;
};
WideHive generate_wide_hive(double megabytes);

}  // namespace vesk::test
