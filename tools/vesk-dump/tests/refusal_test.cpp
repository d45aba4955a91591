// Every refusal: a clear reason on standard error, nothing on standard output, exit
// status 2. The reasons come from the file's own bytes after the library said no.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "dump_run.h"
#include "layout.h"
#include "api_test.h"
#include "temp_hive.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;
using namespace vesk::format;

Bytes good_hive() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "v", kTypeDword, le32(1));
  return b.bytes();
}

Bytes first_bytes(std::size_t n) {
  const Bytes all = good_hive();
  return Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes poked(std::uint32_t at, std::uint32_t v) {
  Bytes bytes = good_hive();
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  return bytes;
}

struct Row {
  const char* what;
  std::function<Bytes()> hive;
  std::string message;
};

const Row kRows[] = {
    {"too short", [] { return Bytes(100, 0); },
     "not a hive: 100 bytes, shorter than the 4096-byte base block every hive starts with"},
    {"a base block of 4095 bytes", [] { return first_bytes(4095); },
     "not a hive: 4095 bytes, shorter than the 4096-byte base block every hive starts with"},
    {"no regf", [] { return poked(kBaseSignatureAt, 0x66676571); },
     "not a hive: it does not start with \"regf\""},
    {"unequal sequence numbers", [] {
       Bytes b = poked(kBasePrimarySequenceAt, 5);
       b[kBaseSecondarySequenceAt] = 6;
       return b;
     },
     "the hive was not written out cleanly: its sequence numbers 5 and 6 differ (a write was"
     " cut short; its transaction logs hold the rest); --ignore-dirty reads the file as it"
     " stands"},
    {"version 1.5", [] { return poked(kBaseMinorVersionAt, 5); },
     "version 1.5: only version 1.3 hives can be read"},
    {"version 1.2", [] { return poked(kBaseMinorVersionAt, 2); },
     "version 1.2: only version 1.3 hives can be read"},
    {"version 2.3", [] { return poked(kBaseMajorVersionAt, 2); },
     "version 2.3: only version 1.3 hives can be read"},
    {"a log file's type", [] { return poked(kBaseFileTypeAt, 1); },
     "file type 1: only primary hive files (type 0) can be read"},
    {"another file format", [] { return poked(kBaseFileFormatAt, 2); },
     "file format 2: only format 1 can be read"},
    {"another clustering factor", [] { return poked(kBaseClusteringAt, 4); },
     "clustering factor 4: only 1 can be read"},
    {"a base block and nothing else", [] { return first_bytes(4096); },
     "the file holds 4096 bytes, but its base block says the hive needs 8192 (4096 + 4096 of"
     " hive bins): it was cut short; what lies past its end is counted, not dumped\n"
     "vesk-dump: HIVE: no root key: it must be the first cell of the first bin, and the file"
     " ends before that bin"},
    {"no hbin", [] { return poked(kFirstBinAt, 0x6E696267); },
     "no root key: it must be the first cell of the first bin, and the first bin has no"
     " \"hbin\" signature"},
    {"the root key further on", [] {
       HiveBuilder b;
       b.add_cell({'s', 'k', 0, 0});
       b.add_root("ROOT");
       return b.bytes();
     },
     "no root key: it must be the first cell of the first bin, and that cell is no key node"},
    {"an ordinary key first", [] {
       HiveBuilder b;
       const KeyRef root = b.add_root("ROOT");
       b.poke_u16(root.contents + kNkFlagsAt, 0x0020);
       return b.bytes();
     },
     "no root key: it must be the first cell of the first bin, and that cell is a key with"
     " flags 0x0020, where the root key has 0x002C"},
};

class RefusalTest : public ::testing::TestWithParam<Row> {};

TEST_P(RefusalTest, SaysWhyAndExitsWith2) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.what);
  const Dumped d = dump_bytes(row.hive());
  EXPECT_EQ(d.err, "vesk-dump: HIVE: " + row.message + "\n");
  EXPECT_EQ(d.out, "");
  EXPECT_EQ(d.status, 2);
}

INSTANTIATE_TEST_SUITE_P(Files, RefusalTest, ::testing::ValuesIn(kRows), RowIndex());

TEST(RefusalPathTest, MissingFile) {
  const std::string path = temp_folder() + "/vesk-no-such-hive.hiv";
  const Dumped d = dump_path(path);
  EXPECT_EQ(d.err, "vesk-dump: HIVE: cannot open: No such file or directory\n");
  EXPECT_EQ(d.out, "");
  EXPECT_EQ(d.status, 2);
}

TEST(RefusalPathTest, Directory) {
  const Dumped d = dump_path(temp_folder());
  EXPECT_EQ(d.err, "vesk-dump: HIVE: cannot open: it is a directory\n");
  EXPECT_EQ(d.status, 2);
}

TEST(RefusalPathTest, UnreadableFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempHive file(good_hive());
  ASSERT_EQ(chmod(file.path(), 0), 0);
  const Dumped d = dump_path(file.path());
  EXPECT_EQ(d.err, "vesk-dump: HIVE: cannot open: Permission denied\n");
  EXPECT_EQ(d.status, 2);
}

TEST(RefusalPathTest, ARealVersion15Hive) {
  const Dumped d = dump_path(std::string(VESK_TEST_DATA_DIR) + "/hives/dfirmuseum-win10-ELAM");
  EXPECT_EQ(d.err, "vesk-dump: HIVE: version 1.5: only version 1.3 hives can be read\n");
  EXPECT_EQ(d.status, 2);
}

// The program passes the same status and message on.
TEST(RefusalProgramTest, ExitStatusOfTheProgram) {
  const Bytes hive = poked(kBaseMinorVersionAt, 5);
  ToolRun run;
  run.args = {"HIVE"};
  run.hive = &hive;
  const Dumped d = run_vesk_dump(run);
  EXPECT_EQ(d.err, "vesk-dump: HIVE: version 1.5: only version 1.3 hives can be read\n");
  EXPECT_EQ(d.out, "");
  EXPECT_EQ(d.status, 2);
}

}  // namespace
}  // namespace vesk::dump::test
