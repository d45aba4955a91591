// The tree format, pinned by a whole listing: indentation, keys with a trailing
// backslash, text, numbers, shortened hex.
#include <gtest/gtest.h>

#include <numeric>

#include "dump_run.h"
#include "tests/support/thread_locale.h"

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
