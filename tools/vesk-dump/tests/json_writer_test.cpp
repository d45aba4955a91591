// The JSON format, pinned by whole documents: shape and layout, names from 8-bit text
// to UTF-8 with escapes, the raw bytes of every value, and null for impossible data.
#include <gtest/gtest.h>

#include <cstdio>

#include "dump_run.h"
#include "layout.h"
#include "json_reader.h"
#include "thread_locale.h"

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
            "  \"last_written\": \"1601-01-01T00:02:31.5847680Z\",\n"
            "  \"values\": [\n"
            "    {\"name\": null, \"type\": 4, \"data\": \"01000000\", \"number\": 1,"
            " \"unreadable\": \"name stored as UTF-16\"}\n"
            "  ],\n"
            "  \"subkeys\": [\n"
            "    {\n"
            "      \"name\": \"A\",\n"
            "      \"last_written\": \"1601-01-01T00:02:31.5847681Z\",\n"
            "      \"values\": [],\n"
            "      \"subkeys\": [],\n"
            "      \"subkeys_not_read\": 2,\n"
            "      \"subkeys_not_read_reason\": \"their list is an \\\"lh\\\" list, which the library"
            " does not read\"\n"
            "    },\n"
            "    {\n"
            "      \"name\": null,\n"
            "      \"last_written\": \"1601-01-01T00:02:31.5847684Z\",\n"
            "      \"values\": [\n"
            "        {\"name\": \"x\", \"type\": 4, \"data\": \"02000000\", \"number\": 2}\n"
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
  const KeyRef leaf = b.add_key("Leaf", one);
  const KeyRef two = b.add_key("Two", root);
  b.add_value(one, "Empty", kTypeBinary, {});
  set_last_written(b, root, 131205014401234567);   // every tick of the stored time is shown
  set_last_written(b, one, 0);                     // no time
  set_last_written(b, leaf, 2650467744000000000);  // 10000-01-01, past four-digit years
  set_last_written(b, two, 2650467743999999999);   // the last time shown as a date
  const Dumped d = dump_bytes(b.bytes(), json());
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.out,
            "{\n"
            "  \"name\": \"ROOT\",\n"
            "  \"last_written\": \"2016-10-09T15:44:00.1234567Z\",\n"
            "  \"values\": [\n"
            "    {\"name\": \"\", \"type\": 1, \"data\": \"41000000\", \"text\": \"A\"},\n"
            "    {\"name\": \"Num\", \"type\": 4, \"data\": \"04030201\", \"number\": 16909060}\n"
            "  ],\n"
            "  \"subkeys\": [\n"
            "    {\n"
            "      \"name\": \"One\",\n"
            "      \"last_written\": null,\n"
            "      \"values\": [\n"
            "        {\"name\": \"Empty\", \"type\": 3, \"data\": \"\"}\n"
            "      ],\n"
            "      \"subkeys\": [\n"
            "        {\n"
            "          \"name\": \"Leaf\",\n"
            "          \"last_written\": null,\n"
            "          \"last_written_filetime\": \"24c85a5ed1c04000\",\n"
            "          \"values\": [],\n"
            "          \"subkeys\": []\n"
            "        }\n"
            "      ]\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"Two\",\n"
            "      \"last_written\": \"9999-12-31T23:59:59.9999999Z\",\n"
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
            "  \"last_written\": \"1601-01-01T00:02:31.5847680Z\",\n"
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
  b.add_value(root, "List", kTypeMultiString, utf16z("\xC3\xA9"));
  const Bytes hive = b.bytes();
  ThreadLocale c("C");
  const std::string in_c = dump_bytes(hive, json()).out;
  ThreadLocale utf8("C.UTF-8");
  EXPECT_EQ(dump_bytes(hive, json()).out, in_c);
  EXPECT_NE(in_c.find("\"name\": \"\xC3\x89t\xC3\xA9\", \"type\": 1, \"data\": \"35002000ac200000\", "
                      "\"text\": \"5 \xE2\x82\xAC\""),
            std::string::npos);
  EXPECT_NE(in_c.find("\"strings\": [\"\xC3\xA9\"]"), std::string::npos);
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

// What JSON decodes beside the hex, and where it stops: at the first zero unit, at the
// end of data that has none, before an odd last byte; a lone surrogate becomes U+FFFD.
TEST(JsonWriterTest, DecodesDataBesideTheBytes) {
  struct Row {
    const char* what;
    std::uint32_t type;
    Bytes data;
    const char* decoded;  // what follows the "data" member
  };
  const Row rows[] = {
      {"terminated", kTypeString, utf16z("a\"\\\t\xE2\x82\xAC"), ", \"text\": \"a\\\"\\\\\\t\xE2\x82\xAC\""},
      {"unterminated", kTypeExpandString, utf16("%x%"), ", \"text\": \"%x%\""},
      {"text after the zero unit", kTypeString, {'a', 0, 0, 0, 'b', 0}, ", \"text\": \"a\""},
      {"odd last byte", kTypeLink, {'a', 0, 'b'}, ", \"text\": \"a\""},
      {"surrogate pair and lone ones", kTypeString,
       {0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 'x', 0, 0x3D, 0xD8}, ", \"text\": \"\xF0\x9F\x98\x80\xEF\xBF\xBDx\xEF\xBF\xBD\""},
      {"empty string data", kTypeString, {}, ", \"text\": \"\""},
      {"strings", kTypeMultiString, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}, ", \"strings\": [\"a\", \"bc\"]"},
      {"strings unterminated", kTypeMultiString, {'a', 0, 0, 0, 'b', 0}, ", \"strings\": [\"a\", \"b\"]"},
      {"strings end at an empty one", kTypeMultiString, {'a', 0, 0, 0, 0, 0, 'b', 0}, ", \"strings\": [\"a\"]"},
      {"no strings", kTypeMultiString, {0, 0}, ", \"strings\": []"},
      {"dword", kTypeDword, le32(0xFFFFFFFF), ", \"number\": 4294967295"},
      {"big-endian dword", kTypeDwordBigEndian, {0, 0, 1, 2}, ", \"number\": 258"},
      {"qword", kTypeQword, {1, 2, 3, 4, 5, 6, 7, 0x80}, ", \"number\": 9225348980303659521"},
      {"dword of 3 bytes", kTypeDword, {1, 2, 3}, ""},
      {"qword of 4 bytes", kTypeQword, le32(1), ""},
      {"binary", kTypeBinary, {1}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HiveBuilder b;
    b.add_value(b.add_root("R"), "v", row.type, row.data);
    const Dumped d = dump_bytes(b.bytes(), json());
    std::string hex;
    for (const std::uint8_t byte : row.data) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", byte);
      hex += two;
    }
    const std::string line = "{\"name\": \"v\", \"type\": " + std::to_string(row.type) +
                             ", \"data\": \"" + hex + "\"" + row.decoded + "}\n";
    EXPECT_NE(d.out.find(line), std::string::npos) << d.out;
    std::string error;
    EXPECT_TRUE(read_dump_json(d.out, error)) << error;
  }
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
                       "    {\"name\": \"After\", \"type\": 4, \"data\": \"05000000\", \"number\": 5}"),
            std::string::npos)
      << d.out;
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: value \"Big\" of R: data size 2147483632 at 0x0000107c does not fit"
            " in the file; data not shown\n");
}

}  // namespace
}  // namespace vesk::dump::test
