// The walk on crafted hives: cycles, shared lists, depth, impossible sizes and counts,
// names the library cannot read whole. Each is reported, the dump goes on with the rest,
// ends, and exits with status 1.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <functional>

#include "dump_run.h"
#include "layout.h"
#include "json_reader.h"
#include "api_test.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;
using namespace vesk::format;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Points `key` at the "lf" list in cell `list` holding `count` elements.
void use_list(HiveBuilder& b, const KeyRef& key, std::uint32_t list, std::uint32_t count) {
  b.poke_u32(key.contents + kNkSubkeyListAt, list);
  b.poke_u32(key.contents + kNkSubkeyCountAt, count);
}

Placed lf_of(HiveBuilder& b, const KeyRef& child, const char* hint) {
  Bytes lf = {'l', 'f', 1, 0};
  const Bytes cell = le32(child.cell);
  lf.insert(lf.end(), cell.begin(), cell.end());
  for (int i = 0; i < 4; ++i) lf.push_back(static_cast<std::uint8_t>(hint[i]));
  return b.add_cell(lf);
}

// A change to a hive of one root key "R", what the hive is dumped as, and what is
// reported; each ends with status 1.
struct Row {
  const char* what;
  std::function<void(HiveBuilder& b, const KeyRef& root)> craft;
  std::string out;
  std::string err;
};

const Row kRows[] = {
    {"a subkey leading back to an ancestor",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       const KeyRef bk = b.add_key("B", a);
       b.add_key("C", root);
       use_list(b, bk, lf_of(b, a, "A\0\0\0").cell, 1);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n\n[R\\A\\B]\n\n"
     "; 1 subkeys of [R\\A\\B] are not written: 1 key dumped elsewhere\n\n[R\\C]\n\n",
     "key R\\A\\B\\A leads back to its ancestor R\\A; not followed\n"},
    {"a key that is its own subkey",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       use_list(b, a, b.subkey_list(root).cell, 1);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n\n"
     "; 1 subkeys of [R\\A] are not written: 1 key dumped elsewhere\n\n",
     "key R\\A\\A leads back to its ancestor R\\A; not followed\n"},
    {"a subkey leading back to the root",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       use_list(b, a, lf_of(b, root, "R\0\0\0").cell, 1);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n\n"
     "; 1 subkeys of [R\\A] are not written: 1 key dumped elsewhere\n\n",
     "key R\\A\\R leads back to its ancestor R; not followed\n"},
    {"two keys sharing a list",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       const KeyRef bk = b.add_key("B", root);
       b.add_key("C", a);
       use_list(b, bk, b.subkey_list(a).cell, 1);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n\n[R\\A\\C]\n\n[R\\B]\n\n"
     "; 1 subkeys of [R\\B] are not written: 1 key dumped elsewhere\n\n",
     "key R\\B\\C is listed here too, but is dumped only under the key at 0x0000107c, which its"
     " parent field names\n"},
    {"subkeys under a list of another kind",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       b.add_key("B", a);
       b.add_key("C", a);
       b.add_key("D", root);
       b.poke_u16(b.subkey_list(a).contents, 0x686C);  // "lh"
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n"
     "; 2 subkeys of this key are not written: their list is an \"lh\" list, which the library"
     " does not read\n\n[R\\D]\n\n",
     "key R\\A: its 2 subkeys are not dumped: their list is an \"lh\" list, which the"
     " library does not read\n"},
    {"subkeys counted but no list",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       b.add_key("D", root);
       // The library would read at 4099, inside the first bin's header; the walk does not.
       use_list(b, a, kNoCell, 2);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n"
     "; 2 subkeys of this key are not written: the key names no list for them\n\n"
     "[R\\D]\n\n",
     "key R\\A: counts 2 subkeys, but names no list (key at 0x0000107c)\n"},
    {"a subkey count that the list disagrees with",
     [](HiveBuilder& b, const KeyRef& root) {
       const KeyRef a = b.add_key("A", root);
       b.add_key("B", a);
       b.add_key("C", a);
       b.poke_u32(a.contents + kNkSubkeyCountAt, 3);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\A]\n\n[R\\A\\B]\n\n[R\\A\\C]\n\n",
     "key R\\A: counts 3 subkeys, but its list at 0x00001194 holds 2; the list's are dumped\n"},
    {"an impossible data size",
     [](HiveBuilder& b, const KeyRef& root) {
       const ValueRef big = b.add_value(root, "Big", kTypeBinary, Bytes(8, 1));
       b.add_value(root, "After", kTypeDword, le32(5));
       b.add_key("Sub", root);
       b.poke_u32(big.contents + kVkDataSizeAt, 0x7FFFFFF0);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n"
     "; value 0 \"Big\" not written: data size 2147483632 does not fit in the file\n"
     "\"After\"=dword:00000005\n\n[R\\Sub]\n\n",
     "value \"Big\" of R: data size 2147483632 at 0x0000107c does not fit in the file; data not"
     " shown\n"},
    {"values sharing one data cell beyond the file's size",
     [](HiveBuilder& b, const KeyRef& root) {
       // A file of 12 KiB: room for four copies of the data, not for eight.
       const ValueRef first = b.add_value(root, "v0", kTypeBinary, Bytes(3000, 7));
       for (int i = 1; i < 8; ++i) {
         const ValueRef v = b.add_value(root, "v" + std::to_string(i), kTypeBinary, Bytes(8, 1));
         b.poke_u32(v.contents + kVkDataSizeAt, 3000);
         b.poke_u32(v.contents + kVkDataAt, first.data.cell);
       }
       b.add_key("Sub", root);
     },
     "",
     "the hive holds more value data than a file of this size holds; the rest is not dumped\n"},
    {"names the library cannot read whole",
     [](HiveBuilder& b, const KeyRef& root) {
       b.add_value(root, std::string("a\0b\0", 4), kTypeDword, le32(1), 0);  // UTF-16 "ab"
       b.add_value(root, std::string("x\0y", 3), kTypeDword, le32(2));
       b.add_key(std::string("U\0n\0", 4), root, 0x0000);  // UTF-16 "Un"
       b.add_key(std::string("Z\0z", 3), root);
     },
     "Windows Registry Editor Version 5.00\n\n[R]\n"
     "; value 0 not written: name stored as UTF-16\n"
     "; value 1 not written: name of 3 bytes not read whole\n\n"
     "; [R\\U] not written, nor anything below it: its name stored as UTF-16, read only up to"
     " its first zero byte\n\n"
     "; [R\\Z] not written, nor anything below it: its name of 3 bytes not read whole\n\n",
     "value 0 of R: its name is stored as UTF-16, which the library does not read; not shown"
     " as a name\n"
     "value \"x\" of R: its name of 3 bytes could not be read whole\n"
     "key R\\U: its name is stored as UTF-16, which the library reads only up to the first"
     " zero byte\n"
     "key R\\Z: its name of 3 bytes could not be read whole\n"},
};

std::string lines_of(const std::string& messages) {
  std::string out;
  std::size_t at = 0;
  while (at < messages.size()) {
    const std::size_t end = messages.find('\n', at);
    out += "vesk-dump: HIVE: " + messages.substr(at, end + 1 - at);
    at = end + 1;
  }
  return out;
}

class CraftedHiveTest : public ::testing::TestWithParam<Row> {
 protected:
  ThreadLocale utf8_{"C.UTF-8"};
};

TEST_P(CraftedHiveTest, ReportedAndDumpedWithErrors) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  row.craft(b, b.add_root("R"));
  const Bytes hive = b.bytes();
  const Dumped d = dump_bytes(hive);
  if (!row.out.empty()) {
    EXPECT_EQ(d.out, row.out);
  }
  EXPECT_EQ(d.err, lines_of(row.err));
  EXPECT_EQ(d.status, 1);

  ToolRun run;  // the program, in every format, killed if it hangs
  run.hive = &hive;
  run.limit_seconds = 20;
  for (const char* format : {"reg", "json", "tree"}) {
    SCOPED_TRACE(format);
    run.args = {"--format", format, "HIVE"};
    const Dumped p = run_vesk_dump(run);
    EXPECT_EQ(p.err, lines_of(row.err));
    EXPECT_EQ(p.status, 1);
    std::string error;
    if (std::string(format) == "json") {
      EXPECT_TRUE(read_dump_json(p.out, error)) << error;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Walk, CraftedHiveTest, ::testing::ValuesIn(kRows), RowIndex());

class WalkTest : public ::testing::Test {
 protected:
  ThreadLocale utf8_{"C.UTF-8"};
};

TEST_F(WalkTest, DepthIsBounded) {
  HiveBuilder b;
  KeyRef key = b.add_root("R");
  std::string deepest = "R";
  for (int i = 0; i < 600; ++i) {
    key = b.add_key("k", key);
    if (i < 512) deepest += "\\k";
  }
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.err, "vesk-dump: HIVE: subkeys of " + deepest +
                       " are not dumped: the depth limit is 512\n");
  EXPECT_THAT(d.out, EndsWith("[" + deepest + "]\n"
                              "; 1 subkeys of this key are not written: the depth limit is 512\n\n"));
  EXPECT_EQ(d.status, 1);

  Options shallow;
  shallow.max_depth = 1;
  const Dumped s = dump_bytes(b.bytes(), shallow);
  EXPECT_EQ(s.out, "Windows Registry Editor Version 5.00\n\n[R]\n\n[R\\k]\n"
                   "; 1 subkeys of this key are not written: the depth limit is 1\n\n");
  EXPECT_EQ(s.err, "vesk-dump: HIVE: subkeys of R\\k are not dumped: the depth limit is 1\n");
}

TEST_F(WalkTest, ValueCountBeyondTheFileIsNamedAndTheWalkGoesOn) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, "v", kTypeDword, le32(1));
  b.add_key("K", root);
  b.poke_u32(root.contents + kNkValueCountAt, 0x7FFFFFFF);
  const Bytes hive = b.bytes();
  ToolRun run;
  run.args = {"HIVE"};
  run.hive = &hive;
  run.limit_seconds = 20;
  const Dumped d = run_vesk_dump(run);
  EXPECT_EQ(d.status, 1);
  EXPECT_THAT(d.err, StartsWith("vesk-dump: HIVE: key R: counts 2147483647 values, but the file"
                                " holds "));
  EXPECT_EQ(d.out, "Windows Registry Editor Version 5.00\n\n[R]\n\"v\"=dword:00000001\n"
                   "; 1 values of this key are not written: 1 reference to a cell that is no"
                   " value node\n\n[R\\K]\n\n");
}

// Sound value cells referenced more often than a file of this size has room for.
TEST_F(WalkTest, ValueReferencesBeyondTheFileStop) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const ValueRef v = b.add_value(root, "v", kTypeDword, le32(1));
  std::vector<KeyRef> sharing;
  for (int i = 0; i < 40; ++i) sharing.push_back(b.add_key("S" + std::to_string(i), root));
  Bytes list;
  for (int i = 0; i < 1000; ++i) {
    const Bytes cell = le32(v.cell);
    list.insert(list.end(), cell.begin(), cell.end());
  }
  const Placed shared = b.add_cell(list);
  for (const KeyRef& s : sharing) {
    b.poke_u32(s.contents + kNkValueCountAt, 1000);
    b.poke_u32(s.contents + kNkValueListAt, shared.cell);
  }
  const Bytes hive = b.bytes();
  const Dumped d = dump_bytes(hive);
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.err, "vesk-dump: HIVE: the hive holds more value references than a file of this"
                   " size holds; the rest is not dumped\n");
  EXPECT_EQ(std::count(d.out.begin(), d.out.end(), '='), static_cast<long>(hive.size() / 4 + 1));
}

TEST_F(WalkTest, SubkeyReferencesBeyondTheFileStop) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const KeyRef leaf = b.add_key("K", root);
  std::vector<KeyRef> sharing;
  for (int i = 0; i < 40; ++i) sharing.push_back(b.add_key("S" + std::to_string(i), root));
  Bytes lf = {'l', 'f', 0xFF, 0x7F};  // 32767 elements, every one the same leaf
  for (int i = 0; i < 0x7FFF; ++i) {
    const Bytes cell = le32(leaf.cell);
    lf.insert(lf.end(), cell.begin(), cell.end());
    lf.insert(lf.end(), {'K', 0, 0, 0});
  }
  const Placed big = b.add_cell(lf);
  for (const KeyRef& s : sharing) use_list(b, s, big.cell, 0x7FFF);
  const Bytes hive = b.bytes();
  ToolRun run;
  run.args = {"HIVE"};
  run.hive = &hive;
  run.limit_seconds = 20;
  const Dumped d = run_vesk_dump(run);
  EXPECT_EQ(d.status, 1);
  EXPECT_THAT(d.err, StartsWith("vesk-dump: HIVE: key R\\S0\\K is listed here too, but is dumped"
                                " only under the key at 0x00001024, which its parent field"
                                " names\n"));
  EXPECT_THAT(d.err, HasSubstr("vesk-dump: HIVE: the hive holds more subkey references than a"
                               " file of this size holds; the rest is not dumped\n"));
  EXPECT_THAT(d.out, EndsWith("[R\\S1]\n\n; 32767 subkeys of [R\\S1] are not written: 1535 keys"
                              " dumped elsewhere; 31232 not read after damage or a"
                              " stop\n\n; 38 subkeys of [R] are not written: 38 not read after"
                              " damage or a stop\n\n"));
}

TEST_F(WalkTest, ManyErrorsAreCountedNotAllShown) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  for (int i = 0; i < 150; ++i) {
    const ValueRef v = b.add_value(root, "v" + std::to_string(i), kTypeBinary, Bytes(8, 1));
    b.poke_u32(v.contents + kVkDataSizeAt, 0x7FFFFFF0);
  }
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(std::count(d.err.begin(), d.err.end(), '\n'), 101);
  EXPECT_THAT(d.err, EndsWith("vesk-dump: HIVE: 50 more errors not shown, 150 in all\n"));
  EXPECT_EQ(d.status, 1);
}

TEST_F(WalkTest, RealHiveWithUtf16Names) {
  const Dumped d =
      dump_path(std::string(VESK_TEST_DATA_DIR) + "/hives/python-registry-UNICODE_TESTS");
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(std::count(d.out.begin(), d.out.end(), '['), 3);
  EXPECT_THAT(d.err, HasSubstr("its name is stored as UTF-16"));
}

TEST_F(WalkTest, RealHivesWithoutSurprises) {
  for (const char* name : {"dfwinreg-NTUSER.DAT", "dfirmuseum-win7-BCD"}) {
    SCOPED_TRACE(name);
    const Dumped d = dump_path(std::string(VESK_TEST_DATA_DIR) + "/hives/" + name);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(d.status, 0);
  }
}

// Damage anywhere in a hive: every dump ends with a status and, unless refused, with
// well-formed JSON. Under the sanitizers this also proves no read strays.
TEST_F(WalkTest, DamagedSamplesEndWell) {
  const std::string text = read_file(VESK_EXAMPLES_DIR "/sample.hiv");
  const Bytes sample(text.begin(), text.end());
  ASSERT_GT(sample.size(), 8192u);
  std::uint64_t state = 12345;
  auto next = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  };
  Options json;
  json.format = Format::kJson;
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = sample;
    for (int i = 0; i < 8; ++i) {
      // Mostly in the first bins, where the root, the lists and the names are.
      const std::uint32_t at = 4096 + next() % static_cast<std::uint32_t>(damaged.size() - 4096);
      damaged[i < 4 ? 4096 + (at % 8192) : at] = static_cast<std::uint8_t>(next());
    }
    SCOPED_TRACE(round);
    const Dumped d = dump_bytes(damaged, json);
    ASSERT_TRUE(d.status == 0 || d.status == 1 || d.status == 2);
    if (d.status == 2) continue;
    std::string error;
    ASSERT_TRUE(read_dump_json(d.out, error)) << error;
    // .reg may add errors of its own: control characters it cannot show in a name.
    const int reg = dump_bytes(damaged).status;
    EXPECT_TRUE(reg == d.status || (reg == 1 && d.status == 0)) << reg << " after " << d.status;
  }
}

}  // namespace
}  // namespace vesk::dump::test
