// The walk on crafted hives: cycles, shared lists, depth, impossible sizes and counts,
// names the library cannot read whole. Each is reported, the dump goes on with the rest,
// ends, and exits with status 1.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "dump_run.h"
#include "hive/layout.h"
#include "tests/support/thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;
using namespace vesk::hive;
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

class WalkTest : public ::testing::Test {
 protected:
  ThreadLocale utf8_{"C.UTF-8"};
};

TEST_F(WalkTest, SubkeyLeadingBackToAnAncestorIsReportedOnceAndSkipped) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const KeyRef a = b.add_key("A", root);
  const KeyRef bk = b.add_key("B", a);
  b.add_key("C", root);
  use_list(b, bk, lf_of(b, a, "A\0\0\0").cell, 1);  // B's only subkey is A
  const Bytes hive = b.bytes();
  const Dumped d = dump_bytes(hive);
  EXPECT_EQ(d.out, "REGEDIT4\n\n[R]\n\n[R\\A]\n\n[R\\A\\B]\n\n[R\\C]\n\n");
  EXPECT_EQ(d.err, "vesk-dump: HIVE: key R\\A\\B\\A leads back to its ancestor R\\A; not followed\n");
  EXPECT_EQ(d.status, 1);

  ToolRun run;  // the program, watched for a hang
  run.args = {"--format", "json", "HIVE"};
  run.hive = &hive;
  run.limit_seconds = 20;
  const Dumped p = run_vesk_dump(run);
  EXPECT_EQ(p.status, 1);
  EXPECT_EQ(p.err, "vesk-dump: HIVE: key R\\A\\B\\A leads back to its ancestor R\\A; not followed\n");
}

TEST_F(WalkTest, KeyThatIsItsOwnSubkey) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const KeyRef a = b.add_key("A", root);
  use_list(b, a, b.subkey_list(root).cell, 1);
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.out, "REGEDIT4\n\n[R]\n\n[R\\A]\n\n");
  EXPECT_EQ(d.err, "vesk-dump: HIVE: key R\\A\\A leads back to its ancestor R\\A; not followed\n");
  EXPECT_EQ(d.status, 1);
}

TEST_F(WalkTest, SubkeyLeadingBackToTheRoot) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const KeyRef a = b.add_key("A", root);
  use_list(b, a, lf_of(b, root, "R\0\0\0").cell, 1);
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.err, "vesk-dump: HIVE: key R\\A\\R leads back to its ancestor R; not followed\n");
  EXPECT_EQ(d.status, 1);
}

TEST_F(WalkTest, KeyReachedTwiceIsDumpedOnce) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const KeyRef a = b.add_key("A", root);
  const KeyRef bk = b.add_key("B", root);
  b.add_key("C", a);
  use_list(b, bk, b.subkey_list(a).cell, 1);  // B shares A's list
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.out, "REGEDIT4\n\n[R]\n\n[R\\A]\n\n[R\\A\\C]\n\n[R\\B]\n\n");
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: key R\\B\\C was already dumped under another key; not followed again\n");
  EXPECT_EQ(d.status, 1);
}

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
  EXPECT_THAT(d.out, EndsWith("[" + deepest + "]\n\n"));
  EXPECT_EQ(d.status, 1);

  Options shallow;
  shallow.max_depth = 1;
  const Dumped s = dump_bytes(b.bytes(), shallow);
  EXPECT_EQ(s.out, "REGEDIT4\n\n[R]\n\n[R\\k]\n\n");
  EXPECT_EQ(s.err, "vesk-dump: HIVE: subkeys of R\\k are not dumped: the depth limit is 1\n");
}

TEST_F(WalkTest, ImpossibleDataSizeIsReportedAndTheDumpGoesOn) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const ValueRef big = b.add_value(root, "Big", kTypeBinary, Bytes(8, 1));
  b.add_value(root, "After", kTypeDword, le32(5));
  b.add_key("Sub", root);
  b.poke_u32(big.contents + kVkDataSizeAt, 0x7FFFFFF0);
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.out,
            "REGEDIT4\n\n[R]\n"
            "; \"Big\" not shown: data size 2147483632 is larger than the file\n"
            "\"After\"=dword:00000005\n\n[R\\Sub]\n\n");
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: value \"Big\" of R: data size 2147483632 is larger than the file;"
            " data not shown\n");
  EXPECT_EQ(d.status, 1);
}

TEST_F(WalkTest, ValueCountBeyondTheFileStops) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, "v", kTypeDword, le32(1));
  b.poke_u32(root.contents + kNkValueCountAt, 0x7FFFFFFF);
  // Past its one element the list reads free space, cell offsets of 0: "values" in the
  // first bin's header, whose size field (never read by the library) makes them inline.
  b.poke_u32(kFirstBinAt + kBinSizeAt, 0x80000004);
  const Bytes hive = b.bytes();
  ToolRun run;
  run.args = {"HIVE"};
  run.hive = &hive;
  run.limit_seconds = 20;
  const Dumped d = run_vesk_dump(run);
  EXPECT_EQ(d.status, 1);
  EXPECT_EQ(d.err, "vesk-dump: HIVE: the hive holds more value references than a file of this"
                   " size holds; the rest is not dumped\n");
  EXPECT_THAT(d.out, StartsWith("REGEDIT4\n\n[R]\n\"v\"=dword:00000001\n"));
  EXPECT_EQ(std::count(d.out.begin(), d.out.end(), '\n'), 3 + static_cast<long>(hive.size() / 4 + 1) + 1);
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
  EXPECT_THAT(d.err, StartsWith("vesk-dump: HIVE: key R\\S0\\K was already dumped under another"
                                " key; not followed again\n"));
  EXPECT_THAT(d.err, HasSubstr("vesk-dump: HIVE: the hive holds more subkey references than a"
                               " file of this size holds; the rest is not dumped\n"));
  EXPECT_THAT(d.out, EndsWith("[R\\S0]\n\n[R\\S1]\n\n"));
}

TEST_F(WalkTest, SharedDataBeyondTheFileStops) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const ValueRef first = b.add_value(root, "v0", kTypeBinary, Bytes(3000, 7));
  std::vector<ValueRef> copies;
  for (int i = 1; i < 8; ++i) copies.push_back(b.add_value(root, "v" + std::to_string(i), kTypeBinary, Bytes(8, 1)));
  for (const ValueRef& v : copies) {
    b.poke_u32(v.contents + kVkDataSizeAt, 3000);
    b.poke_u32(v.contents + kVkDataAt, first.data.cell);
  }
  const Bytes hive = b.bytes();
  ASSERT_LT(hive.size(), 8 * 3000u);
  const Dumped d = dump_bytes(hive);
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: the hive holds more value data than a file of this size holds;"
            " the rest is not dumped\n");
  EXPECT_EQ(d.status, 1);
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

TEST_F(WalkTest, NamesTheLibraryCannotReadWhole) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, std::string("a\0b\0", 4), kTypeDword, le32(1), 0);  // UTF-16 "ab"
  b.add_value(root, std::string("x\0y", 3), kTypeDword, le32(2));
  b.add_key(std::string("U\0n\0", 4), root, 0x0000);  // UTF-16 "Un"
  b.add_key(std::string("Z\0z", 3), root);
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.out,
            "REGEDIT4\n\n[R]\n@=dword:00000001\n\"x\"=dword:00000002\n\n"
            "[R\\U]\n\n[R\\Z]\n\n");
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: value 0 of R: its name is stored as UTF-16, which the library does"
            " not read; shown as the default value\n"
            "vesk-dump: HIVE: value \"x\" of R: its name of 3 bytes could not be read whole\n"
            "vesk-dump: HIVE: key R\\U: its name is stored as UTF-16, which the library reads"
            " only up to the first zero byte\n"
            "vesk-dump: HIVE: key R\\Z: its name of 3 bytes could not be read whole\n");
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

}  // namespace
}  // namespace vesk::dump::test
