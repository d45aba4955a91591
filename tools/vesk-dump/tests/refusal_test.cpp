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
#include "vesk/base_block.hpp"

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

using base_block::Reason;
std::string words(Reason reason, std::int64_t a = 0, std::int64_t b = 0) {
  return base_block::sentence({reason, {a, b}});
}

const Row kRows[] = {
    {"too short", [] { return Bytes(100, 0); }, words(Reason::too_short, 100, 4096)},
    {"a base block of 4095 bytes", [] { return first_bytes(4095); },
     words(Reason::too_short, 4095, 4096)},
    {"no regf", [] { return poked(kBaseSignatureAt, 0x66676571); }, words(Reason::no_signature)},
    {"unequal sequence numbers", [] {
       Bytes b = poked(kBasePrimarySequenceAt, 5);
       b[kBaseSecondarySequenceAt] = 6;
       return b;
     },
     words(Reason::not_written_cleanly, 5, 6) + "; --ignore-dirty reads the file as it stands"},
    // A 1.5 hive is not sent to --ignore-dirty, which would refuse it too.
    {"unequal sequence numbers and version 1.5", [] {
       Bytes b = poked(kBasePrimarySequenceAt, 5);
       b[kBaseSecondarySequenceAt] = 6;
       b[kBaseMinorVersionAt] = 5;
       return b;
     },
     words(Reason::wrong_version, 1, 5)},
    {"version 1.5", [] { return poked(kBaseMinorVersionAt, 5); },
     words(Reason::wrong_version, 1, 5)},
    {"version 1.2", [] { return poked(kBaseMinorVersionAt, 2); },
     words(Reason::wrong_version, 1, 2)},
    {"version 2.3", [] { return poked(kBaseMajorVersionAt, 2); },
     words(Reason::wrong_version, 2, 3)},
    {"a log file's type", [] { return poked(kBaseFileTypeAt, 1); }, words(Reason::file_type, 1)},
    {"another file format", [] { return poked(kBaseFileFormatAt, 2); },
     words(Reason::file_format, 2)},
    {"another clustering factor", [] { return poked(kBaseClusteringAt, 4); },
     words(Reason::clustering_factor, 4)},
    {"a base block and nothing else", [] { return first_bytes(4096); },
     "the file holds 4096 bytes, but its base block says the hive needs 8192 (4096 + 4096 of"
     " hive bins): it was cut short; what lies past its end is counted, not dumped\n"
     "vesk-dump: HIVE: " + words(Reason::root_file_ends_before_bin)},
    {"no hbin", [] { return poked(kFirstBinAt, 0x6E696267); },
     words(Reason::root_no_bin_signature)},
    {"the root key further on", [] {
       HiveBuilder b;
       b.add_cell({'s', 'k', 0, 0});
       b.add_root("ROOT");
       return b.bytes();
     },
     words(Reason::root_not_a_key)},
    {"an ordinary key first", [] {
       HiveBuilder b;
       const KeyRef root = b.add_root("ROOT");
       b.poke_u16(root.contents + kNkFlagsAt, 0x0020);
       return b.bytes();
     },
     words(Reason::root_flags, 0x0020, 0x002C)},
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
