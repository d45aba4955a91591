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
  EXPECT_EQ(d.out, "Windows Registry Editor Version 5.00\n\n[R]\n" + row.lines + "\n");
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
            "Windows Registry Editor Version 5.00\n\n"
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
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n@=\"top\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows]\n\"Build\"=dword:00004a65\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\M\xC3\xBCller]\n\n");
}

// The UTF-16 .reg is the same in every locale; REGEDIT4 carries what its code page holds
// and leaves the rest out with a comment, reported.
TEST(RegWriterLocaleTest, TheFileDoesNotDependOnTheLocale) {
  HiveBuilder b;
  const KeyRef root = b.add_root("M\xFCller");
  b.add_value(root, "Caf\xE9", kTypeString, utf16z("Caf\xC3\xA9"));
  b.add_value(root, "Euro", kTypeString, utf16z("5 \xE2\x82\xAC"));
  b.add_value(root, "Plain", kTypeString, utf16z("ok"));
  const Bytes hive = b.bytes();
  const std::string utf16 =
      "Windows Registry Editor Version 5.00\n\n[M\xC3\xBCller]\n"
      "\"Caf\xC3\xA9\"=\"Caf\xC3\xA9\"\n"
      "\"Euro\"=\"5 \xE2\x82\xAC\"\n"
      "\"Plain\"=\"ok\"\n\n";
  {
    ThreadLocale c("C");
    ASSERT_TRUE(c.active());
    EXPECT_EQ(dump_bytes(hive).out, utf16);
  }
  {
    VESK_USE_LOCALE(latin1, "en_US.ISO-8859-1");
    EXPECT_EQ(dump_bytes(hive).out, utf16);
  }
  {
    VESK_USE_LOCALE(cp1252, "en_US.CP1252");
    EXPECT_EQ(dump_bytes(hive).out, utf16);
  }
}

TEST(RegWriterRegedit4Test, WrittenInTheCodePageOrLeftOutWithAComment) {
  ThreadLocale utf8("C.UTF-8");
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, "Caf\xE9", kTypeString, utf16z("Caf\xC3\xA9"));
  b.add_value(root, "Euro", kTypeExpandString, utf16z("5 \xE2\x82\xAC"));
  b.add_value(root, "Multi", kTypeMultiString, utf16z(std::string("a\0\xC3\xA9\0", 5)));
  b.add_value(root, "Odd", kTypeString, Bytes{0x41, 0x00, 0x42});
  b.add_value(root, "Open", kTypeString, Bytes{0x41, 0x00});
  b.add_value(root, "Empty", kTypeString, Bytes{});
  b.add_value(root, "Bin", kTypeBinary, Bytes{0xe9, 0x00});
  b.add_key("Gr\xFC\xDF", root);
  struct Row {
    int code_page;
    int status;
    std::string out;
  };
  const Row rows[] = {
      {1252, 1,
       "REGEDIT4\r\n\r\n[R]\r\n"
       "\"Caf\xE9\"=\"Caf\xE9\"\r\n"
       "\"Euro\"=hex(2):35,20,80,00\r\n"
       "\"Multi\"=hex(7):61,00,e9,00,00\r\n"
       "; value 3 \"Odd\" not written: its data cannot be written exactly in code page 1252\r\n"
       "; value 4 \"Open\" not written: its data cannot be written exactly in code page 1252\r\n"
       "\"Empty\"=hex(1):\r\n"
       "\"Bin\"=hex:e9,00\r\n\r\n"
       "[R\\Gr\xFC\xDF]\r\n\r\n"},
      {1251, 1,
       "REGEDIT4\r\n\r\n[R]\r\n"
       "; value 0 \"Caf?\" not written: its data cannot be written exactly in code page 1251\r\n"
       "\"Euro\"=hex(2):35,20,88,00\r\n"
       "; value 2 \"Multi\" not written: its data cannot be written exactly in code page 1251\r\n"
       "; value 3 \"Odd\" not written: its data cannot be written exactly in code page 1251\r\n"
       "; value 4 \"Open\" not written: its data cannot be written exactly in code page 1251\r\n"
       "\"Empty\"=hex(1):\r\n"
       "\"Bin\"=hex:e9,00\r\n\r\n"
       "; [R\\Gr??] not written, nor anything below it: its path has characters that code page"
       " 1251 lacks\r\n\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code_page);
    Options options;
    options.format = Format::kRegedit4;
    options.code_page = row.code_page;
    const Dumped d = dump_bytes(b.bytes(), options);
    EXPECT_EQ(d.raw, row.out);
    EXPECT_EQ(d.status, row.status);
  }
}

// The default file byte for byte: the byte-order mark, UTF-16LE, CRLF, folds included.
TEST(RegWriterUtf16Test, BytesAreUtf16LeWithCrLf) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, "\xE9", kTypeBinary, Bytes(30, 0xab));
  const std::string out = dump_bytes(b.bytes()).raw;
  std::string expected = "\xFF\xFE";
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[R]\r\n\"\xE9\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,"
      "ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n  ab,ab,ab,ab,ab,ab,ab\r\n\r\n";
  for (const char c : text) {
    expected += c;
    expected += '\0';
  }
  EXPECT_EQ(out, expected);
}

// Whatever the library cannot read, or a line cannot hold, is a comment, never a guess.
TEST(RegWriterNamesTest, NamesNotWrittenExactlyBecomeComments) {
  ThreadLocale utf8("C.UTF-8");
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_value(root, "c\x01" "d", kTypeDword, le32(1));
  b.add_value(root, std::string("a\0b\0", 4), kTypeDword, le32(2), 0);  // UTF-16 "ab"
  b.add_value(root, "", kTypeDword, le32(3));
  b.add_value(root, "e\rf", kTypeDword, le32(5));
  const KeyRef k = b.add_key("a\nb", root);
  b.add_value(k, "x", kTypeDword, le32(4));
  b.add_key("y", k);
  const KeyRef u = b.add_key(std::string("U\0n\0", 4), root, 0x0000);  // UTF-16 "Un"
  b.add_key("z", u);
  const Dumped d = dump_bytes(b.bytes());
  // Other control characters, U+0001 here, are written as they are.
  const std::string kCannotCarry =
      "its name holds a line end, a NUL or a closing ']' that a .reg line cannot carry";
  EXPECT_EQ(d.out,
            "Windows Registry Editor Version 5.00\n\n[R]\n"
            "\"c\x01" "d\"=dword:00000001\n"
            "; value 1 not written: name stored as UTF-16\n"
            "@=dword:00000003\n"
            "; value 3 \"e?f\" not written: " + kCannotCarry + "\n\n"
            "; [R\\a?b] not written, nor anything below it: " + kCannotCarry + "\n\n"
            "; [R\\U] not written, nor anything below it: its name stored as UTF-16, read only up"
            " to its first zero byte\n\n");
  EXPECT_EQ(d.err,
            "vesk-dump: HIVE: value 1 of R: its name is stored as UTF-16, which the library does"
            " not read; not shown as a name\n"
            "vesk-dump: HIVE: value 3 of R: not written: " + kCannotCarry + "\n"
            "vesk-dump: HIVE: key R\\a?b: not written: " + kCannotCarry + "\n"
            "vesk-dump: HIVE: key R\\U: its name is stored as UTF-16, which the library reads"
            " only up to the first zero byte\n");
  EXPECT_EQ(d.status, 1);
}

}  // namespace
}  // namespace vesk::dump::test
