// The JSON format, pinned by whole documents: shape and layout, names from 8-bit text
// to UTF-8 with escapes, the raw bytes of every value, and null for impossible data.
#include <gtest/gtest.h>

#include <cstdio>

#include "dump_run.h"
#include "layout.h"
#include "json_reader.h"
#include "tests/support/thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

Options json() {
  Options o;
  o.format = Format::kJson;
  return o;
}

// Nothing the library cannot read passes for something it read: a name is null with the
// reason beside it, and subkeys under a list it does not follow are counted.
TEST(JsonWriterTest, UnreadablePartsAreMarked) {
  const Dumped d = dump_bytes(unreadable_parts(), json());
  EXPECT_EQ(d.out,
            "{\n"
            "  \"name\": \"R\",\n"
            "  \"values\": [\n"
            "    {\"name\": null, \"type\": 4, \"data\": \"01000000\", \"unreadable\": \"name stored as"
            " UTF-16\"}\n"
            "  ],\n"
            "  \"subkeys\": [\n"
            "    {\n"
            "      \"name\": \"A\",\n"
            "      \"values\": [],\n"
            "      \"subkeys\": [],\n"
            "      \"subkeys_not_read\": 2,\n"
            "      \"subkeys_not_read_reason\": \"their list is an \\\"lh\\\" list, which the library"
            " does not read\"\n"
            "    },\n"
            "    {\n"
            "      \"name\": null,\n"
            "      \"values\": [\n"
            "        {\"name\": \"x\", \"type\": 4, \"data\": \"02000000\"}\n"
            "      ],\n"
            "      \"subkeys\": [],\n"
            "      \"unreadable\": \"name stored as UTF-16, read only up to its first zero byte\"\n"
            "    }\n"
            "  ]\n"
            "}\n");
  EXPECT_EQ(d.status, 1);
  std::string error;
  const auto tree = read_dump_json(d.out, error);
  ASSERT_TRUE(tree) << error;
  EXPECT_EQ(tree->values[0].unreadable, "name stored as UTF-16");
  EXPECT_EQ(tree->subkeys[0].subkeys_not_read, 2);
  EXPECT_EQ(tree->subkeys[1].unreadable,
            "name stored as UTF-16, read only up to its first zero byte");
}

TEST(JsonWriterTest, WritesTheWholeTree) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "", kTypeString, utf16z("A"), 0);
  b.add_value(root, "Num", kTypeDword, le32(0x01020304));
  const KeyRef one = b.add_key("One", root);
  b.add_key("Leaf", one);
  b.add_key("Two", root);
  b.add_value(one, "Empty", kTypeBinary, {});
  const Dumped d = dump_bytes(b.bytes(), json());
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.out,
            "{\n"
            "  \"name\": \"ROOT\",\n"
            "  \"values\": [\n"
            "    {\"name\": \"\", \"type\": 1, \"data\": \"41000000\"},\n"
            "    {\"name\": \"Num\", \"type\": 4, \"data\": \"04030201\"}\n"
            "  ],\n"
            "  \"subkeys\": [\n"
            "    {\n"
            "      \"name\": \"One\",\n"
            "      \"values\": [\n"
            "        {\"name\": \"Empty\", \"type\": 3, \"data\": \"\"}\n"
            "      ],\n"
            "      \"subkeys\": [\n"
            "        {\n"
            "          \"name\": \"Leaf\",\n"
            "          \"values\": [],\n"
            "          \"subkeys\": []\n"
            "        }\n"
            "      ]\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"Two\",\n"
            "      \"values\": [],\n"
            "      \"subkeys\": []\n"
            "    }\n"
            "  ]\n"
            "}\n");
}

TEST(JsonWriterTest, NamesBecomeUtf8WithEscapes) {
  HiveBuilder b;
  const KeyRef root = b.add_root("M\xFCller \"Q\" \\");
  b.add_value(root, "tab\there\x01\x7F\x85\xA0\xFF", kTypeNone, {});
  b.add_value(root, "line\nbreak\r", kTypeNone, {});
  const Dumped d = dump_bytes(b.bytes(), json());
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out,
            "{\n"
            "  \"name\": \"M\xC3\xBCller \\\"Q\\\" \\\\\",\n"
            "  \"values\": [\n"
            "    {\"name\": \"tab\\there\\u0001\\u007f\\u0085\xC2\xA0\xC3\xBF\", \"type\": 0, "
            "\"data\": \"\"},\n"
            "    {\"name\": \"line\\nbreak\\r\", \"type\": 0, \"data\": \"\"}\n"
            "  ],\n"
            "  \"subkeys\": []\n"
            "}\n");
  std::string error;
  const auto tree = read_dump_json(d.out, error);
  ASSERT_TRUE(tree) << error;
  EXPECT_EQ(tree->name, "M\xC3\xBCller \"Q\" \\");
  EXPECT_EQ(tree->values[0].name, "tab\there\x01\x7F\xC2\x85\xC2\xA0\xC3\xBF");
}

// JSON does not depend on the locale: it is the same in every code set.
TEST(JsonWriterTest, SameInEveryCodeSet) {
  HiveBuilder b;
  const KeyRef root = b.add_root("Caf\xE9");
  b.add_value(root, "\xC9t\xE9", kTypeString, utf16z("5 \xE2\x82\xAC"));
  const Bytes hive = b.bytes();
  ThreadLocale c("C");
  const std::string in_c = dump_bytes(hive, json()).out;
  ThreadLocale utf8("C.UTF-8");
  EXPECT_EQ(dump_bytes(hive, json()).out, in_c);
  EXPECT_NE(in_c.find("\"name\": \"\xC3\x89t\xC3\xA9\", \"type\": 1, \"data\": \"35002000ac200000\""),
            std::string::npos);
}

TEST(JsonWriterTest, EveryTypeKeepsItsStoredBytes) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  for (std::uint32_t type = 0; type <= 11; ++type) {
    b.add_value(root, "t" + std::to_string(type), type, {static_cast<std::uint8_t>(type), 0xFF, 7, 8, 9});
  }
  b.add_value(root, "odd", 0xFFFFFFFF, {1});
  b.add_value(root, "inline", kTypeBinary, {0xAA, 0xBB});
  const Dumped d = dump_bytes(b.bytes(), json());
  std::string error;
  const auto tree = read_dump_json(d.out, error);
  ASSERT_TRUE(tree) << error;
  ASSERT_EQ(tree->values.size(), 14u);
  for (std::uint32_t type = 0; type <= 11; ++type) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%02xff070809", type);
    EXPECT_EQ(tree->values[type], (DumpedValue{"t" + std::to_string(type), type, std::string(hex), std::nullopt}));
  }
  EXPECT_EQ(tree->values[12], (DumpedValue{"odd", 0xFFFFFFFF, std::string("01"), std::nullopt}));
  EXPECT_EQ(tree->values[13], (DumpedValue{"inline", kTypeBinary, std::string("aabb"), std::nullopt}));
}

TEST(JsonWriterTest, ImpossibleDataIsNull) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const ValueRef big = b.add_value(root, "Big", kTypeBinary, Bytes(8, 1));
  b.add_value(root, "After", kTypeDword, le32(5));
  b.poke_u32(big.contents + format::kVkDataSizeAt, 0x7FFFFFF0);
  const Dumped d = dump_bytes(b.bytes(), json());
  EXPECT_EQ(d.status, 1);
  EXPECT_NE(d.out.find("{\"name\": \"Big\", \"type\": 3, \"data\": null},\n"
                       "    {\"name\": \"After\", \"type\": 4, \"data\": \"05000000\"}"),
            std::string::npos)
      << d.out;
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: value \"Big\" of R: data size 2147483632 is larger than the file;"
            " data not shown\n");
}

}  // namespace
}  // namespace vesk::dump::test
