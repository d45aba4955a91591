// The program's command line: help, version, usage errors, format and prefix options,
// and progress on standard error only when it is a terminal.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "dump_run.h"
#include "tests/support/hive_generator.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;
using ::testing::HasSubstr;
using ::testing::StartsWith;

Dumped run_with(std::vector<std::string> args, const Bytes* hive = nullptr) {
  ToolRun run;
  run.args = std::move(args);
  run.hive = hive;
  return run_vesk_dump(run);
}

Bytes small_hive() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "v", kTypeDword, le32(7));
  return b.bytes();
}

TEST(MainTest, HelpAndVersion) {
  Dumped d = run_with({"--help"});
  EXPECT_EQ(d.status, 0);
  EXPECT_THAT(d.out, StartsWith("Usage: vesk-dump [OPTION]... HIVE [KEYPATH]\n"));
  EXPECT_THAT(d.out, HasSubstr("--format FORMAT"));
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(run_with({"-h"}).out, d.out);
  d = run_with({"--version"});
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out, "vesk-dump " VESK_VERSION_TEXT "\n");
}

TEST(MainTest, UsageErrors) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{}, "no hive file given"},
      {{"--frobnicate", "x"}, "unknown option --frobnicate"},
      {{"--format", "xml", "x"}, "unknown format 'xml' (reg, regedit4, json or tree)"},
      {{"x", "--format"}, "--format needs a value"},
      {{"--prefix=", "x"}, "--prefix needs a path"},
      {{"--max-depth", "-1", "x"}, "--max-depth needs a number, not '-1'"},
      {{"a", "b", "c"}, "too many arguments: c"},
      {{"--code-page", "437", "x"},
       "--code-page 437 is not a single-byte Windows code page; accepted: 874, 1250, 1251,"
       " 1252, 1253, 1254, 1255, 1256, 1257, 1258"},
      {{"--code-page=utf8", "x"},
       "--code-page utf8 is not a single-byte Windows code page; accepted: 874, 1250, 1251,"
       " 1252, 1253, 1254, 1255, 1256, 1257, 1258"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const Dumped d = run_with(row.args);
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.err, std::string("vesk-dump: ") + row.message +
                         "\nTry 'vesk-dump --help' for more.\n");
    EXPECT_EQ(d.out, "");
  }
}

TEST(MainTest, OptionsReachTheDump) {
  const Bytes hive = small_hive();
  Options json;
  json.format = Format::kJson;
  const std::string expected = dump_bytes(hive, json).out;
  EXPECT_EQ(run_with({"--format", "json", "HIVE"}, &hive).out, expected);
  EXPECT_EQ(run_with({"--format=json", "HIVE"}, &hive).out, expected);
  EXPECT_EQ(run_with({"-f", "json", "HIVE"}, &hive).out, expected);
  EXPECT_EQ(run_with({"-p", "HKCU", "HIVE"}, &hive).out, "Windows Registry Editor Version 5.00\n\n[HKCU]\n\"v\"=dword:00000007\n\n");
  EXPECT_EQ(run_with({"--prefix=HKCU\\X", "--", "HIVE"}, &hive).out,
            "Windows Registry Editor Version 5.00\n\n[HKCU\\X]\n\"v\"=dword:00000007\n\n");
  EXPECT_EQ(run_with({"-f", "tree", "HIVE"}, &hive).out, "ROOT\\\n  v = REG_DWORD 0x00000007 (7)\n");
}

// A dump made to last: its output is left unread for longer than progress waits before
// it shows, so the rest of the walk runs when a line is due.
class ProgressLineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HiveRecipe recipe;
    recipe.keys = 3000;
    hive_ = new Bytes(generate_hive(recipe).bytes);
  }
  static void TearDownTestSuite() { delete hive_; }
  static Dumped stalled(ErrTo err_to) {
    ToolRun run;
    run.args = {"HIVE"};
    run.hive = hive_;
    run.err_to = err_to;
    run.stall_seconds = 1.0;
    return run_vesk_dump(run);
  }
  static Bytes* hive_;
};
Bytes* ProgressLineTest::hive_ = nullptr;

TEST_F(ProgressLineTest, NoneWhenStandardErrorIsNoTerminal) {
  const Dumped d = stalled(ErrTo::kFile);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.err, "");
}

TEST_F(ProgressLineTest, ShownOnATerminal) {
  const Dumped d = stalled(ErrTo::kTerminal);
  EXPECT_EQ(d.status, 0);
  EXPECT_THAT(d.err, ::testing::MatchesRegex("\r[0-9]+ keys, [0-9]+ values.*"));
  // Erased at the end: the last thing written is a run of spaces and a return.
  EXPECT_THAT(d.err, ::testing::EndsWith(" \r"));
}

}  // namespace
}  // namespace vesk::dump::test
