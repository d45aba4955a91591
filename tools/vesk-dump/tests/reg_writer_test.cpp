// The .reg format, pinned by whole texts: how every type is written, when a string is
// text and when it is hex, escapes, the default value, and folding at regedit's columns.
#include <gtest/gtest.h>

#include <numeric>

#include "dump_run.h"
#include "api_test.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

Bytes counting(std::size_t n) {
  Bytes out(n);
  std::iota(out.begin(), out.end(), std::uint8_t{0});
  return out;
}

Bytes cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Row {
  const char* what;
  std::string name;  // as stored
  std::uint32_t type;
  Bytes data;
  std::string lines;  // what the value comes out as
  std::uint16_t name_flags = 1;
};

// The shape regedit itself exports for Explorer's ShellState.
const Bytes kShellState = {0x24, 0x00, 0x00, 0x00, 0x33, 0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                           0,    0,    0,    0x01, 0,    0,    0, 0x13, 0, 0, 0, 0, 0, 0, 0,
                           0x72, 0,    0,    0};

const Row kRows[] = {
    {"a string", "Path", kTypeString, utf16z("C:\\Windows"), "\"Path\"=\"C:\\\\Windows\"\n"},
    {"quotes and backslashes in name and text", "a\"b\\c", kTypeString, utf16z("x\"y\\z"),
     "\"a\\\"b\\\\c\"=\"x\\\"y\\\\z\"\n"},
    {"the default value", "", kTypeString, utf16z("dflt"), "@=\"dflt\"\n", 0},
    {"an 8-bit name of length 0 is the default too", "", kTypeString, utf16z("x"), "@=\"x\"\n"},
    {"an empty string", "e", kTypeString, utf16z(""), "\"e\"=\"\"\n"},
    {"a string of no bytes at all", "z", kTypeString, {}, "\"z\"=hex(1):\n"},
    {"a string without its terminator", "u", kTypeString, utf16("A"), "\"u\"=hex(1):41,00\n"},
    {"a string with more after its terminator", "m", kTypeString, cat(utf16z("A"), utf16z("B")),
     "\"m\"=hex(1):41,00,00,00,42,00,00,00\n"},
    {"a string of odd length", "o", kTypeString, {0x41, 0x00, 0x00}, "\"o\"=hex(1):41,00,00\n"},
    {"a string with a line break", "n", kTypeString, utf16z("a\nb"),
     "\"n\"=hex(1):61,00,0a,00,62,00,00,00\n"},
    {"a string with an unpaired surrogate", "s", kTypeString, {0x00, 0xD8, 0x41, 0x00, 0, 0},
     "\"s\"=hex(1):00,d8,41,00,00,00\n"},
    {"characters beyond 8 bits", "w", kTypeString, utf16z("5 \xE2\x82\xAC \xE6\x97\xA5"),
     "\"w\"=\"5 \xE2\x82\xAC \xE6\x97\xA5\"\n"},
    {"a surrogate pair", "p", kTypeString, utf16z("\xF0\x9F\x98\x80"), "\"p\"=\"\xF0\x9F\x98\x80\"\n"},
    {"an 8-bit name", "Gr\xF6\xDF" "e", kTypeDword, le32(1024), "\"Gr\xC3\xB6\xC3\x9F" "e\"=dword:00000400\n"},
    {"REG_DWORD", "d", kTypeDword, le32(0x01020304), "\"d\"=dword:01020304\n"},
    {"REG_DWORD of 2 bytes", "d", kTypeDword, {0x07, 0x00}, "\"d\"=hex(4):07,00\n"},
    {"REG_DWORD of 8 bytes", "d", kTypeDword, counting(8), "\"d\"=hex(4):00,01,02,03,04,05,06,07\n"},
    {"REG_DWORD of no bytes", "d", kTypeDword, {}, "\"d\"=hex(4):\n"},
    {"REG_EXPAND_SZ", "x", kTypeExpandString, utf16z("%A%"), "\"x\"=hex(2):25,00,41,00,25,00,00,00\n"},
    {"REG_MULTI_SZ", "m", kTypeMultiString, cat(utf16z("a"), {0, 0}), "\"m\"=hex(7):61,00,00,00,00,00\n"},
    {"REG_BINARY", "b", kTypeBinary, {1, 2, 3}, "\"b\"=hex:01,02,03\n"},
    {"REG_BINARY of no bytes", "b", kTypeBinary, {}, "\"b\"=hex:\n"},
    {"REG_NONE of no bytes", "n", kTypeNone, {}, "\"n\"=hex(0):\n"},
    {"REG_DWORD_BIG_ENDIAN", "e", kTypeDwordBigEndian, {0xCA, 0xFE, 0xBA, 0xBE}, "\"e\"=hex(5):ca,fe,ba,be\n"},
    {"REG_LINK", "l", kTypeLink, utf16("\\R"), "\"l\"=hex(6):5c,00,52,00\n"},
    {"REG_RESOURCE_LIST", "r", kTypeResourceList, {1, 0}, "\"r\"=hex(8):01,00\n"},
    {"REG_FULL_RESOURCE_DESCRIPTOR", "r", kTypeFullResourceDescriptor, {1, 0, 0, 0, 0},
     "\"r\"=hex(9):01,00,00,00,00\n"},
    {"REG_RESOURCE_REQUIREMENTS_LIST", "r", kTypeResourceRequirementsList, {0x48},
     "\"r\"=hex(a):48\n"},
    {"REG_QWORD", "q", kTypeQword, counting(8), "\"q\"=hex(b):00,01,02,03,04,05,06,07\n"},
    {"a type without a name", "t", 0x12345678, {0xDE, 0xAD}, "\"t\"=hex(12345678):de,ad\n"},
    {"folding as regedit does", "ShellState", kTypeBinary, kShellState,
     "\"ShellState\"=hex:24,00,00,00,33,28,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n"
     "  01,00,00,00,13,00,00,00,00,00,00,00,72,00,00,00\n"},
    {"folding: 25 bytes to a continued line", "Settings", kTypeBinary, counting(48),
     "\"Settings\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
     "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,\\\n"
     "  2e,2f\n"},
    {"folding: a line that just fits is not broken", "", kTypeBinary, counting(24),
     "@=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17\n", 0},
    {"folding: one byte more is", "", kTypeBinary, counting(25),
     "@=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n"
     "  18\n", 0},
    {"folding counts an 8-bit character as one column", "Gr\xF6\xDF" "e", kTypeBinary, counting(23),
     "\"Gr\xC3\xB6\xC3\x9F" "e\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
     "  16\n"},
    {"folding counts escapes and the type", "Quote\"d", 0x12345678, counting(30),
     "\"Quote\\\"d\"=hex(12345678):00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,\\\n"
     "  12,13,14,15,16,17,18,19,1a,1b,1c,1d\n"},
};

class RegWriterTest : public ::testing::TestWithParam<Row> {};

TEST_P(RegWriterTest, WritesTheValueLine) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.what);
  ThreadLocale utf8("C.UTF-8");
  ASSERT_TRUE(utf8.active());
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, row.name, row.type, row.data, row.name_flags);
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out, "REGEDIT4\n\n[R]\n" + row.lines + "\n");
}

INSTANTIATE_TEST_SUITE_P(Values, RegWriterTest, ::testing::ValuesIn(kRows), RowIndex());

Bytes nested_hive() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "", kTypeString, utf16z("top"), 0);
  const KeyRef ms = b.add_key("Microsoft", root);
  const KeyRef win = b.add_key("Windows", ms);
  b.add_value(win, "Build", kTypeDword, le32(19045));
  b.add_key("M\xFCller", root);
  return b.bytes();
}

TEST(RegWriterKeysTest, EveryKeyGetsASectionUnderItsPath) {
  ThreadLocale utf8("C.UTF-8");
  const Dumped d = dump_bytes(nested_hive());
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out,
            "REGEDIT4\n\n"
            "[ROOT]\n@=\"top\"\n\n"
            "[ROOT\\Microsoft]\n\n"
            "[ROOT\\Microsoft\\Windows]\n\"Build\"=dword:00004a65\n\n"
            "[ROOT\\M\xC3\xBCller]\n\n");
}

TEST(RegWriterKeysTest, PrefixStandsForTheRoot) {
  ThreadLocale utf8("C.UTF-8");
  Options options;
  options.prefix = "HKEY_LOCAL_MACHINE\\SOFTWARE";
  options.has_prefix = true;
  const Dumped d = dump_bytes(nested_hive(), options);
  EXPECT_EQ(d.out,
            "REGEDIT4\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n@=\"top\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows]\n\"Build\"=dword:00004a65\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\M\xC3\xBCller]\n\n");
}

// In a code set without the characters, names keep their stored bytes and strings
// that would not come out whole turn to hex: nothing is lost either way.
TEST(RegWriterLocaleTest, CodeSetsWithoutTheCharacters) {
  HiveBuilder b;
  const KeyRef root = b.add_root("M\xFCller");
  b.add_value(root, "Caf\xE9", kTypeString, utf16z("Caf\xC3\xA9"));
  b.add_value(root, "Euro", kTypeString, utf16z("5 \xE2\x82\xAC"));
  b.add_value(root, "Plain", kTypeString, utf16z("ok"));
  const Bytes hive = b.bytes();
  {
    ThreadLocale c("C");
    ASSERT_TRUE(c.active());
    EXPECT_EQ(dump_bytes(hive).out,
              "REGEDIT4\n\n[M\xFCller]\n"
              "\"Caf\xE9\"=hex(1):43,00,61,00,66,00,e9,00,00,00\n"
              "\"Euro\"=hex(1):35,00,20,00,ac,20,00,00\n"
              "\"Plain\"=\"ok\"\n\n");
  }
  {
    VESK_USE_LOCALE(latin1, "en_US.ISO-8859-1");
    EXPECT_EQ(dump_bytes(hive).out,
              "REGEDIT4\n\n[M\xFCller]\n"
              "\"Caf\xE9\"=\"Caf\xE9\"\n"
              "\"Euro\"=hex(1):35,00,20,00,ac,20,00,00\n"
              "\"Plain\"=\"ok\"\n\n");
  }
  {
    VESK_USE_LOCALE(cp1252, "en_US.CP1252");
    EXPECT_EQ(dump_bytes(hive).out,
              "REGEDIT4\n\n[M\xFCller]\n"
              "\"Caf\xE9\"=\"Caf\xE9\"\n"
              "\"Euro\"=\"5 \x80\"\n"
              "\"Plain\"=\"ok\"\n\n");
  }
}

TEST(RegWriterNamesTest, ControlCharactersInNamesAreReplacedAndReported) {
  ThreadLocale utf8("C.UTF-8");
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  const KeyRef k = b.add_key("a\nb", root);
  b.add_value(k, "c\x01" "d", kTypeDword, le32(1));
  const Dumped d = dump_bytes(b.bytes());
  EXPECT_EQ(d.out, "REGEDIT4\n\n[R]\n\n[R\\a?b]\n\"c?d\"=dword:00000001\n\n");
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: key R\\a?b: control characters in its name are shown as '?'\n"
            "vesk-dump: HIVE: value \"c?d\" of R\\a?b: control characters in its name are"
            " shown as '?'\n");
  EXPECT_EQ(d.status, 1);
}

}  // namespace
}  // namespace vesk::dump::test
