// vesk-dump's JSON against an independent reader, libhivex: the same tree, the same
// value names, types and bytes, on the sample, on generated hives of a few thousand keys
// and on real hives. hivex gives names as UTF-8 converted from the stored Latin-1, as the
// JSON does, so names compare directly.
#include <gtest/gtest.h>

#include <hivex.h>

#include <cstdlib>
#include <type_traits>

#include "dump_run.h"
#include "json_reader.h"
#include "hive_generator.h"
#include "temp_hive.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

std::string hex(const char* data, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

std::string taken(char* text) {
  std::string out = text != nullptr ? text : "<hivex failed>";
  std::free(text);
  return out;
}

DumpedKey read_with_hivex(hive_h* h, hive_node_h node) {
  DumpedKey key;
  key.name = taken(hivex_node_name(h, node));
  hive_value_h* values = hivex_node_values(h, node);
  for (hive_value_h* v = values; v != nullptr && *v != 0; ++v) {
    DumpedValue value;
    value.name = taken(hivex_value_key(h, *v));
    // Types beyond hivex's enum are real (and in the sample): hold them as the integer
    // the C library writes, never as the enum.
    std::underlying_type_t<hive_type> type = 0;
    std::size_t length = 0;
    char* data = hivex_value_value(h, *v, reinterpret_cast<hive_type*>(&type), &length);
    value.type = static_cast<std::uint32_t>(type);
    value.data = hex(data, data != nullptr ? length : 0);
    std::free(data);
    key.values.push_back(std::move(value));
  }
  std::free(values);
  hive_node_h* children = hivex_node_children(h, node);
  for (hive_node_h* c = children; c != nullptr && *c != 0; ++c) {
    key.subkeys.push_back(read_with_hivex(h, *c));
  }
  std::free(children);
  return key;
}

void expect_same_as_hivex(const std::string& path, const Bytes* hive) {
  hive_h* h = hivex_open(path.c_str(), 0);
  ASSERT_NE(h, nullptr) << "hivex cannot open " << path;
  const DumpedKey expected = read_with_hivex(h, hivex_root(h));
  hivex_close(h);

  ToolRun run;
  run.args = {"--format", "json", hive != nullptr ? "HIVE" : path};
  run.hive = hive;
  const Dumped d = run_vesk_dump(run);
  ASSERT_EQ(d.status, 0) << d.err;
  std::string error;
  const std::optional<DumpedKey> dumped = read_dump_json(d.out, error);
  ASSERT_TRUE(dumped) << error;
  EXPECT_EQ(first_difference(*dumped, expected), "");
}

TEST(HivexOracleTest, Sample) { expect_same_as_hivex(VESK_EXAMPLES_DIR "/sample.hiv", nullptr); }

TEST(HivexOracleTest, GeneratedHives) {
  for (std::uint64_t seed : {1, 2, 3}) {
    SCOPED_TRACE(seed);
    HiveRecipe recipe;
    recipe.seed = seed;
    recipe.keys = 4000;
    const Bytes bytes = generate_hive(recipe).bytes;
    TempHive file(bytes);  // hivex reads it where vesk-dump does
    expect_same_as_hivex(file.path(), nullptr);
  }
}

TEST(HivexOracleTest, RealHives) {
  for (const char* name : {"dfwinreg-NTUSER.DAT", "dfirmuseum-win7-BCD"}) {
    SCOPED_TRACE(name);
    expect_same_as_hivex(std::string(VESK_TEST_DATA_DIR) + "/hives/" + name, nullptr);
  }
}

}  // namespace
}  // namespace vesk::dump::test
