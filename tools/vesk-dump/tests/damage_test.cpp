// A real hive damaged in each way a copy gets damaged: a flipped count, a reference to
// no cell, a wrong signature, a cut, unequal sequence numbers. Each dump names the
// damage, goes on past it, and ends with the status that says so; --check agrees.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "dump_run.h"
#include "layout.h"
#include "api_test.h"
#include "vesk/hive.hpp"

namespace vesk::dump::test {
namespace {

using namespace vesk::format;
using ::testing::HasSubstr;

const std::string kHive = std::string(VESK_TEST_DATA_DIR) + "/hives/dfwinreg-NTUSER.DAT";
constexpr int kKeys = 1597;

// The file offset of the node of the key at `path`, read from the sound hive.
std::uint32_t key_at(const std::string& path) {
  const Hive hive(kHive);
  const std::optional<Key> key = hive.open_key(path);
  EXPECT_TRUE(key.has_value()) << path;
  return key ? key->offset() : 0;
}

std::uint32_t u32_at(const Bytes& b, std::uint32_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16) |
         static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void put_u32(Bytes& b, std::uint32_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The file offset of element `i` of the "lf" list of the key at `path`.
std::uint32_t element_at(const Bytes& b, const std::string& path, std::uint32_t i) {
  return cell_contents(u32_at(b, key_at(path) + kNkSubkeyListAt)) + kLfElementsAt +
         kLfElementBytes * i;
}

struct Row {
  const char* what;
  std::function<void(Bytes&)> damage;
  std::vector<std::string> args;  // before the hive
  int status;
  int check_status;
  int keys;                      // keys dumped
  std::string said;              // part of what standard error says
};

const Row kRows[] = {
    {"a value count with a flipped byte",
     [](Bytes& b) { b[key_at("Console") + kNkValueCountAt + 2] ^= 0x5A; },
     {}, 1, 1, kKeys,
     "Console: counts 5898277 values, but the file holds"},
    {"a subkey count flipped to 0",
     [](Bytes& b) { put_u32(b, key_at("Control Panel") + kNkSubkeyCountAt, 0); },
     {}, 1, 1, kKeys,
     "Control Panel: counts 0 subkeys, but its list at"},
    {"a subkey reference to no cell",
     [](Bytes& b) { put_u32(b, element_at(b, "Control Panel", 0), 0x7FFFFFF0); },
     {}, 1, 1, kKeys - 14,
     "Control Panel: subkey 0 points to no cell in the file (at 0x80000ff4); skipped"},
    {"a key node with a wrong signature",
     [](Bytes& b) { b[key_at("Control Panel\\Desktop") + 1] = 'x'; },
     {}, 1, 1, kKeys - 4,
     "Control Panel: subkey 4 is no key node (at 0x0001a34c); skipped"},
    {"cut at 100000 bytes", [](Bytes& b) { b.resize(100000); }, {}, 1, 1, 267,
     "the file holds 100000 bytes, but its base block says the hive needs 462848"},
    {"cut at 300000 bytes", [](Bytes& b) { b.resize(300000); }, {}, 1, 1, 555,
     "134 keys, 7 values and the data of 1 value lie past the end of the cut file"},
    {"cut inside the last bin", [](Bytes& b) { b.resize(462000); }, {}, 1, 1, kKeys,
     "the file holds 462000 bytes"},
    {"unequal sequence numbers", [](Bytes& b) { b[kBaseSecondarySequenceAt] ^= 1; }, {}, 2, 2, 0,
     "its sequence numbers 132 and 133 differ"},
    {"unequal sequence numbers, read anyway", [](Bytes& b) { b[kBaseSecondarySequenceAt] ^= 1; },
     {"--ignore-dirty"}, 0, 0, kKeys,
     "warning: its sequence numbers 132 and 133 differ"},
};

class DamageTest : public ::testing::TestWithParam<Row> {};

TEST_P(DamageTest, NamedAndWalkedPast) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.what);
  const std::string text = read_file(kHive);
  Bytes hive(text.begin(), text.end());
  row.damage(hive);
  const Bytes before = hive;

  ToolRun run;
  run.hive = &hive;
  run.limit_seconds = 30;
  run.args = row.args;
  run.args.push_back("HIVE");
  const Dumped d = run_vesk_dump(run);
  EXPECT_EQ(d.status, row.status);
  EXPECT_THAT(d.err, HasSubstr(row.said));
  std::istringstream lines(d.out);
  int keys = 0;
  for (std::string line; std::getline(lines, line);) keys += !line.empty() && line[0] == '[';
  EXPECT_EQ(keys, row.keys);

  run.args.insert(run.args.begin(), "--check");
  const Dumped c = run_vesk_dump(run);
  EXPECT_EQ(c.status, row.check_status);
  EXPECT_EQ(c.out, "");
  EXPECT_THAT(c.err, HasSubstr(row.status == 2 ? row.said
                                               : std::to_string(row.keys) + " keys and "));
  EXPECT_TRUE(hive == before) << "the hive given was changed";
}

INSTANTIATE_TEST_SUITE_P(RealHive, DamageTest, ::testing::ValuesIn(kRows),
                         vesk::test::RowIndex());

// --check on the real hives: sound ones pass, names the library cannot read are said to
// be no damage but still give 1, and a version it does not read is refused.
TEST(CheckTest, RealHives) {
  const struct {
    const char* name;
    int status;
    const char* said;
  } rows[] = {
      {"dfwinreg-NTUSER.DAT", 0,
       "HIVE: 1597 keys and 2310 values read\nvesk-dump: HIVE: no damage found\n"},
      {"dfirmuseum-win7-BCD", 0,
       "HIVE: 66 keys and 46 values read\nvesk-dump: HIVE: no damage found\n"},
      {"python-registry-UNICODE_TESTS", 1,
       "HIVE: no damage found\nvesk-dump: HIVE: no damage, but what the library cannot read, 12"
       " in all:\nvesk-dump: HIVE:   key names stored as UTF-16: 1 (at 0x00001ad4)\n"},
      {"dfirmuseum-win10-ELAM", 2, "HIVE: version 1.5: only version 1.3 hives can be read\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string text = read_file(std::string(VESK_TEST_DATA_DIR) + "/hives/" + row.name);
    const Bytes hive(text.begin(), text.end());
    ToolRun run;
    run.hive = &hive;
    run.args = {"--check", "HIVE"};
    const Dumped d = run_vesk_dump(run);
    EXPECT_EQ(d.status, row.status);
    EXPECT_EQ(d.out, "");
    EXPECT_THAT(d.err, HasSubstr(row.said));
  }
}

}  // namespace
}  // namespace vesk::dump::test
