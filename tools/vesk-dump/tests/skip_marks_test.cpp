// Each kind of damage, built into a small hive: what the dump skips for it is marked in
// every format where it would have been, --check names the damage, and both exit 1.
// JSON is read back by nlohmann::json, not by our own reader.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base_block.h"
#include "dump_run.h"
#include "layout.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::format;
using vesk::test::HiveBuilder;
using vesk::test::KeyRef;

void put_u32(Bytes& b, std::uint32_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// R with A (subkeys B and C, values x and y) and D; with `second_bin`, D starts a bin of its own.
struct Built {
  HiveBuilder b;
  KeyRef root, a, bk, c, d;
  explicit Built(bool second_bin = false) {
    root = b.add_root("R");
    a = b.add_key("A", root);
    bk = b.add_key("B", a);
    c = b.add_key("C", a);
    b.add_value(a, "x", kTypeDword, vesk::test::le32(1));
    b.add_value(a, "y", kTypeDword, vesk::test::le32(2));
    if (second_bin) b.start_bin();
    d = b.add_key("D", root);
  }
};

// The image with its base block's checksum made right again after the pokes.
Bytes sealed(Bytes bytes) {
  put_u32(bytes, kBaseChecksumAt, base_block_checksum(bytes.data()));
  return bytes;
}

struct Row {
  const char* what;
  std::function<Bytes()> hive;
  const char* check_says;  // part of the --check summary
  // What marks the skip, by format; empty where nothing is skipped.
  const char* key;          // the key whose list it is
  const char* json_member;  // "subkeys" or "values"
  const char* reason;       // part of the reason every format shows
  // A key listed twice: the path below R where it and its subtree are dumped, once in
  // every format, and the one where they are not.
  const char* once = "";
  const char* never = "";
};

// Lists B under D too, as the one element of a list of D's own.
void list_b_under_d(Built& h) {
  Bytes lf = {'l', 'f', 1, 0};
  const Bytes cell = vesk::test::le32(h.bk.cell);
  lf.insert(lf.end(), cell.begin(), cell.end());
  lf.insert(lf.end(), {'B', 0, 0, 0});
  h.b.set_subkey_list(h.d, h.b.add_cell(lf).cell, 1);
}

constexpr const char* kListedTwice =
    "keys listed under more than one key, dumped under the one their parent field names";

const Row kRows[] = {
    {"a subkey reference to no cell",
     [] {
       Built h;
       h.b.poke_u32(h.b.subkey_list(h.a).contents + kLfElementsAt, 0x7FFFFFF0);
       return h.b.bytes();
     },
     "subkey references to no cell", "A", "subkeys", "1 reference to no cell in the file"},
    {"a subkey reference to a zeroed cell",
     [] {
       Built h;
       const std::uint32_t zeroed = h.b.add_cell(Bytes(80, 0)).cell;
       h.b.poke_u32(h.b.subkey_list(h.a).contents + kLfElementsAt, zeroed);
       return h.b.bytes();
     },
     "subkey references to a cell that is no key node", "A", "subkeys", "1 reference to a cell that is no key node"},
    {"a value reference to a zeroed cell",
     [] {
       Built h;
       const std::uint32_t zeroed = h.b.add_cell(Bytes(24, 0)).cell;
       h.b.poke_u32(h.b.value_list(h.a).contents + 4, zeroed);
       return h.b.bytes();
     },
     "value references to a cell that is no value node", "A", "values", "1 reference to a cell that is no value node"},
    {"a value list at no cell",
     [] {
       Built h;
       h.b.poke_u32(h.a.contents + kNkValueListAt, 0x7FFFFFF0);
       return h.b.bytes();
     },
     "lists at no cell", "A", "values", "2 references to no cell in the file"},
    {"a key listed under two keys",
     [] {
       Built h;
       const vesk::test::Placed list = h.b.subkey_list(h.a);
       h.b.set_subkey_list(h.d, list.cell, 2);
       return h.b.bytes();
     },
     "keys listed under more than one key", "D", "subkeys", "2 keys dumped elsewhere"},
    // B (with its subkey E) listed under A and D: dumped under the one its parent field
    // names, whether the walk meets that one first or last.
    {"a key listed under two keys, its parent met first",
     [] {
       Built h;
       h.b.add_key("E", h.bk);
       list_b_under_d(h);
       return h.b.bytes();
     },
     kListedTwice, "D", "subkeys", "1 key dumped elsewhere", "A\\B\\E", "D\\B"},
    {"a key listed under two keys, its parent met last",
     [] {
       Built h;
       h.b.add_key("E", h.bk);
       list_b_under_d(h);
       h.b.poke_u32(h.bk.contents + kNkParentAt, h.d.cell);
       return h.b.bytes();
     },
     kListedTwice, "A", "subkeys", "1 key dumped elsewhere", "D\\B\\E", "A\\B"},
    {"a key listed under two keys, its parent field naming neither",
     [] {
       Built h;
       list_b_under_d(h);
       h.b.poke_u32(h.bk.contents + kNkParentAt, h.c.cell);
       return h.b.bytes();
     },
     "keys whose parent field names another key", "D", "subkeys", "1 key dumped elsewhere",
     "A\\B", "D\\B"},
    {"a key whose parent field names another key",
     [] {
       Built h;
       h.b.poke_u32(h.c.contents + kNkParentAt, h.d.cell);
       return h.b.bytes();
     },
     "keys whose parent field names another key", "", "", ""},
    {"a wrong base-block checksum",
     [] {
       Built h;
       Bytes bytes = h.b.bytes();
       bytes[kBaseChecksumAt] ^= 1;
       return bytes;
     },
     "base blocks whose checksum is wrong", "", "", ""},
    {"a bin signed \"gbin\"",
     [] {
       Built h(true);
       h.b.poke_u8(h.b.bins()[1], 'g');
       return h.b.bytes();
     },
     "bins with a wrong signature", "", "", ""},
    {"a tree past the declared bins",
     [] {
       Built h(true);
       Bytes bytes = h.b.bytes();
       put_u32(bytes, kBaseBinsSizeAt, h.b.bins()[1] - kFirstBinAt);
       return sealed(bytes);
     },
     "past the bins the base block declares", "", "", ""},
};

class SkipMarks : public ::testing::TestWithParam<Row> {};

Dumped dump_as(const Bytes& hive, Format format) {
  Options options;
  options.format = format;
  return dump_bytes(hive, options);
}

TEST_P(SkipMarks, EveryFormatMarksTheSkipAndCheckNamesIt) {
  const Row& row = GetParam();
  const Bytes hive = row.hive();
  Options check;
  check.check = true;
  const Dumped checked = dump_bytes(hive, check);
  EXPECT_EQ(checked.status, kDumpedWithDamage) << checked.err;
  EXPECT_NE(checked.err.find(row.check_says), std::string::npos) << checked.err;
  EXPECT_EQ(checked.err.find("no damage found"), std::string::npos) << checked.err;

  const Dumped json = dump_as(hive, Format::kJson);
  EXPECT_EQ(json.status, kDumpedWithDamage);
  const nlohmann::json doc = nlohmann::json::parse(json.out);  // throws when malformed
  if (*row.once != '\0') {
    std::multiset<std::string> paths;
    const std::function<void(const nlohmann::json&, const std::string&)> collect =
        [&](const nlohmann::json& key, const std::string& path) {
          paths.insert(path);
          for (const nlohmann::json& k : key["subkeys"]) {
            collect(k, (path.empty() ? "" : path + "\\") + k["name"].get<std::string>());
          }
        };
    collect(doc, "");
    EXPECT_EQ(paths.count(row.once), 1u) << json.out;
    EXPECT_EQ(paths.count(row.never), 0u) << json.out;
    // .reg and the line formats print every key's full path: none of the wrong place,
    // and the right one on one .reg key line.
    for (const Format format : {Format::kReg, Format::kTimeline, Format::kCsv}) {
      const std::string out = readable_reg(dump_as(hive, format).out);
      const std::string never = std::string("R\\") + row.never;
      EXPECT_EQ(out.find(never + "\n"), std::string::npos) << out;
      EXPECT_EQ(out.find(never + "]"), std::string::npos) << out;
      EXPECT_EQ(out.find(never + "\\"), std::string::npos) << out;
      EXPECT_EQ(out.find(never + ","), std::string::npos) << out;
    }
    const std::string reg = dump_as(hive, Format::kReg).out;
    const std::string line = std::string("[R\\") + row.once + "]";
    const std::size_t at = reg.find(line);
    EXPECT_NE(at, std::string::npos) << reg;
    EXPECT_EQ(reg.find(line, at + 1), std::string::npos) << reg;
  }
  if (*row.json_member == '\0') return;
  const nlohmann::json* a = nullptr;
  for (const nlohmann::json& k : doc["subkeys"]) {
    if (k["name"] == row.key) a = &k;
  }
  ASSERT_NE(a, nullptr) << json.out;
  const std::string member = std::string(row.json_member) + "_not_read";
  ASSERT_TRUE(a->contains(member)) << json.out;
  EXPECT_GT((*a)[member].get<int>(), 0);
  EXPECT_NE((*a)[member + "_reason"].get<std::string>().find(row.reason), std::string::npos);
  for (const Format format : {Format::kReg, Format::kTree, Format::kTimeline}) {
    const Dumped d = dump_as(hive, format);
    EXPECT_EQ(d.status, kDumpedWithDamage);
    EXPECT_NE(readable_reg(d.out).find(row.reason), std::string::npos)
        << static_cast<int>(format) << "\n" << readable_reg(d.out);
  }
}

INSTANTIATE_TEST_SUITE_P(Damage, SkipMarks, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return "row" + std::to_string(info.index);
                         });

}  // namespace
}  // namespace vesk::dump::test
