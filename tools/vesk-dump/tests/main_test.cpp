// The program's command line: help, version, the manual page, usage errors, options,
// and progress on standard error only when it is a terminal.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <cstdio>

#include "dump_run.h"
#include "hive_generator.h"

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
      {{"--format", "xml", "x"},
       "unknown format 'xml' (reg, regedit4, json, tree, timeline, csv, jsonl, bodyfile or text)"},
      {{"x", "--format"}, "--format needs a value"},
      {{"--prefix=", "x"}, "--prefix needs a path"},
      {{"--max-depth", "-1", "x"}, "--max-depth needs a number, not '-1'"},
      {{"a", "b", "c"}, "too many arguments: c"},
      {{"--prefix", "\\\\", "x"}, "--prefix needs a path"},
      {{"-f", "timeline", "--value", "v", "x"}, "--value does not go with --format timeline"},
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
  EXPECT_EQ(run_with({"-f", "JSON", "HIVE"}, &hive).out, expected);
  EXPECT_EQ(run_with({"-p", "HKCU", "HIVE"}, &hive).out,
            "Windows Registry Editor Version 5.00\n\n[HKCU]\n\"v\"=dword:00000007\n\n");
  EXPECT_EQ(run_with({"--prefix=HKCU\\X", "--", "HIVE"}, &hive).out,
            "Windows Registry Editor Version 5.00\n\n[HKCU\\X]\n\"v\"=dword:00000007\n\n");
  EXPECT_EQ(run_with({"--prefix=HKCU\\X\\", "HIVE"}, &hive).out,
            "Windows Registry Editor Version 5.00\n\n[HKCU\\X]\n\"v\"=dword:00000007\n\n");
  EXPECT_EQ(run_with({"-f", "tree", "HIVE"}, &hive).out, "ROOT\\\n  v = REG_DWORD 0x00000007 (7)\n");
}

// A limit the user sets is no damage; the default one, the registry's own, is.
TEST(MainTest, ChosenDepthLimitIsNoDamage) {
  HiveBuilder b;
  b.add_key("Sub", b.add_root("ROOT"));
  const Bytes hive = b.bytes();
  const Dumped d = run_with({"--max-depth", "0", "-f", "Tree", "HIVE"}, &hive);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.err, "");
  // Not damage, but still not passed off as a key without subkeys.
  EXPECT_EQ(d.out, "ROOT\\\n  <1 subkeys not read: the depth limit is 0>\n");
}

// A locale that is not installed is named once; one that asked for UTF-8 still gets it.
TEST(MainTest, UnknownLocaleIsWarnedAbout) {
  HiveBuilder b;
  b.add_value(b.add_root("ROOT"), "v", kTypeString, utf16z("Caf\xC3\xA9"));
  const Bytes hive = b.bytes();
  struct Row {
    const char* locale;
    const char* err;
    const char* out;
  };
  const Row rows[] = {
      {"xx_XX.UTF-8",
       "vesk-dump: warning: the locale 'xx_XX.UTF-8' is not available; text comes out in"
       " UTF-8 (C.UTF-8)\n",
       "ROOT\\\n  v = REG_SZ \"Caf\xC3\xA9\"\n"},
      {"xx_XX",
       "vesk-dump: warning: the locale 'xx_XX' is not available; text beyond ASCII comes out"
       " as hex\n",
       "ROOT\\\n  v = REG_SZ 43 00 61 00 66 00 e9 00 00 00\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.locale);
    ToolRun run;
    run.args = {"-f", "tree", "HIVE"};
    run.hive = &hive;
    run.locale = row.locale;
    const Dumped d = run_vesk_dump(run);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.err, row.err);
    EXPECT_EQ(d.out, row.out);
  }
}

// The manual page as man(1) shows it at 80 columns: no line wider, no roff warning, its
// sections, and every option --help names.
TEST(MainTest, ManualPage) {
  const std::string page = VESK_MAN_SOURCE;
  const auto output_of = [](const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
      pclose(p);
    }
    return out;
  };
  const std::string shown =
      output_of("LC_ALL=C.UTF-8 MANWIDTH=80 MAN_KEEP_FORMATTING= man -l '" + page + "' 2>&1");
  std::size_t column = 0;
  for (const char c : shown) {
    if (c == '\n') {
      column = 0;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      EXPECT_LT(column++, 80u) << "a line of the page is wider than 80 columns";
    }
  }
  EXPECT_EQ(output_of("LC_ALL=C.UTF-8 groff -man -ww -z '" + page + "' 2>&1"), "");
  for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "OUTPUT FORMATS",
                              "EXIT STATUS", "ENVIRONMENT", "EXAMPLES", "LIMITATIONS", "SEE ALSO"}) {
    EXPECT_NE(shown.find(std::string("\n") + section + "\n"), std::string::npos) << section;
  }
  EXPECT_NE(shown.find("vesk-dump [option]... hive [keypath]"), std::string::npos);
  const std::string help = run_with({"--help"}).out;
  for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
    const std::string option = help.substr(at, help.find_first_of(" =,)'", at) - at);
    EXPECT_NE(shown.find(option), std::string::npos) << option;
  }
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
