// The tree format, pinned by whole listings: indentation, keys with a trailing
// backslash, text, numbers, shortened hex; multi-strings, times and whole data.
#include <gtest/gtest.h>

#include <numeric>

#include "dump_run.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

TEST(TreeWriterTest, ListsKeysAndValues) {
  ThreadLocale utf8("C.UTF-8");
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "", kTypeString, utf16z("Caf\xC3\xA9"), 0);
  const KeyRef sub = b.add_key("Sub", root);
  b.add_value(sub, "Count", kTypeDword, le32(42));
  b.add_value(sub, "Big", kTypeDwordBigEndian, {0, 0, 1, 0});
  b.add_value(sub, "When", kTypeQword, {0, 1, 0, 0, 0, 0, 0, 0});
  b.add_value(sub, "Path", kTypeExpandString, utf16z("%A%\\b"));
  b.add_value(sub, "Raw", kTypeString, utf16("no end"));
  Bytes blob(20);
  std::iota(blob.begin(), blob.end(), std::uint8_t{0});
  b.add_value(sub, "Blob", kTypeBinary, blob);
  b.add_value(sub, "None", kTypeNone, {});
  b.add_value(sub, "Odd", 0x42, {1});
  b.add_key("Deeper", sub);
  b.add_key("Gr\xFCn", root);
  Options options;
  options.format = Format::kTree;
  const Dumped d = dump_bytes(b.bytes(), options);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out,
            "ROOT\\\n"
            "  @ = REG_SZ \"Caf\xC3\xA9\"\n"
            "  Sub\\\n"
            "    Count = REG_DWORD 0x0000002a (42)\n"
            "    Big = REG_DWORD_BIG_ENDIAN 0x00000100 (256)\n"
            "    When = REG_QWORD 0x0000000000000100 (256)\n"
            "    Path = REG_EXPAND_SZ \"%A%\\b\"\n"
            "    Raw = REG_SZ 6e 00 6f 00 20 00 65 00 6e 00 64 00\n"
            "    Blob = REG_BINARY 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f ... (20 bytes)\n"
            "    None = REG_NONE (empty)\n"
            "    Odd = type 0x00000042 01\n"
            "    Deeper\\\n"
            "  Gr\xC3\xBCn\\\n");
}

// A multi-string shows as its strings only when its bytes are exactly those strings and
// the code set has every character; anything else stays hex, so nothing is hidden.
TEST(TreeWriterTest, MultiStringsTimesAndWholeData) {
  ThreadLocale utf8("C.UTF-8");
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const auto strings = [](std::initializer_list<const char*> parts) {
    Bytes out;
    for (const char* p : parts) {
      const Bytes s = utf16z(p);
      out.insert(out.end(), s.begin(), s.end());
    }
    return out;
  };
  b.add_value(root, "Two", kTypeMultiString, strings({"a b", "Caf\xC3\xA9", ""}));
  b.add_value(root, "NoClose", kTypeMultiString, strings({"a", "b"}));
  b.add_value(root, "None", kTypeMultiString, strings({""}));
  b.add_value(root, "After", kTypeMultiString, strings({"a", "", "b", ""}));
  b.add_value(root, "Lone", kTypeMultiString, {0x00, 0xD8, 0, 0, 0, 0});
  b.add_value(root, "Blob", kTypeBinary, Bytes(18, 0xAB));
  const KeyRef sub = b.add_key("Sub", root);
  set_last_written(b, sub, 2650467744000000000);  // 10000-01-01: out of range
  Options options;
  options.format = Format::kTree;
  options.shown.times = true;
  options.shown.full_data = true;
  const Dumped d = dump_bytes(b.bytes(), options);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out,
            "ROOT\\  [1601-01-01T00:02:31.5847680Z]\n"
            "  Two = REG_MULTI_SZ \"a b\" \"Caf\xC3\xA9\"\n"
            "  NoClose = REG_MULTI_SZ \"a\" \"b\"\n"
            "  None = REG_MULTI_SZ (no strings)\n"
            "  After = REG_MULTI_SZ 61 00 00 00 00 00 62 00 00 00 00 00\n"
            "  Lone = REG_MULTI_SZ 00 d8 00 00 00 00\n"
            "  Blob = REG_BINARY ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab ab\n"
            "  Sub\\  [out of range 0x24c85a5ed1c04000]\n");
  ThreadLocale c("C");
  EXPECT_NE(dump_bytes(b.bytes(), options).out.find(
                "  Two = REG_MULTI_SZ 61 00 20 00 62 00 00 00 43 00 61 00 66 00 e9 00 00 00 00 00\n"),
            std::string::npos);
}

TEST(TreeWriterTest, UnreadablePartsAreMarked) {
  ThreadLocale utf8("C.UTF-8");
  Options options;
  options.format = Format::kTree;
  EXPECT_EQ(dump_bytes(unreadable_parts(), options).out,
            "R\\\n"
            "  <value 0: name stored as UTF-16> = REG_DWORD 0x00000001 (1)\n"
            "  A\\\n"
            "    <2 subkeys not read: their list is an \"lh\" list, which the library does not read>\n"
            "  U\\  <name stored as UTF-16, read only up to its first zero byte>\n"
            "    x = REG_DWORD 0x00000002 (2)\n");
}

}  // namespace
}  // namespace vesk::dump::test
