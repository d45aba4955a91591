// dump_file with a KEYPATH: only that subtree, found through Hive::open_key, with the
// stored names (not the typed ones) in its path; an absent path is a refusal.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <sstream>
#include <streambuf>

#include "dump_run.h"
#include "temp_hive.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

Bytes software() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef ms = b.add_key("Microsoft", root);
  const KeyRef win = b.add_key("Windows", ms);
  const KeyRef cv = b.add_key("CurrentVersion", win);
  b.add_value(cv, "ProgramFilesDir", kTypeString, utf16z("C:\\Program Files"));
  b.add_key("Run", cv);
  b.add_key("Office", ms);
  b.add_key("M\xFCller", root);
  return b.bytes();
}

Options at(const std::string& key_path) {
  Options o;
  o.key_path = key_path;
  return o;
}

class DumpTest : public ::testing::Test {
 protected:
  ThreadLocale utf8_{"C.UTF-8"};
};

TEST_F(DumpTest, KeyPathDumpsThatSubtreeUnderItsStoredNames) {
  const Dumped d = dump_bytes(software(), at("microsoft\\WINDOWS"));
  EXPECT_EQ(d.err, "");
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out,
            "Windows Registry Editor Version 5.00\n\n"
            "[ROOT\\Microsoft\\Windows]\n\n"
            "[ROOT\\Microsoft\\Windows\\CurrentVersion]\n"
            "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\n\n"
            "[ROOT\\Microsoft\\Windows\\CurrentVersion\\Run]\n\n");
}

TEST_F(DumpTest, KeyPathUnderAPrefix) {
  Options o = at("\\Microsoft\\\\Windows\\CurrentVersion\\Run\\");
  o.prefix = "HKEY_LOCAL_MACHINE\\SOFTWARE";
  o.has_prefix = true;
  EXPECT_EQ(dump_bytes(software(), o).out,
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n\n");
}

TEST_F(DumpTest, KeyPathInTheCodeSetFindsAnEightBitName) {
  EXPECT_EQ(dump_bytes(software(), at("m\xC3\x9Cller")).out, "Windows Registry Editor Version 5.00\n\n[ROOT\\M\xC3\xBCller]\n\n");
}

TEST_F(DumpTest, KeyPathInJsonAndTree) {
  Options o = at("Microsoft\\Windows\\CurrentVersion");
  o.format = Format::kJson;
  EXPECT_EQ(dump_bytes(software(), o).out,
            "{\n"
            "  \"name\": \"CurrentVersion\",\n"
            "  \"last_written\": \"1601-01-01T00:02:31.5847683Z\",\n"
            "  \"values\": [\n"
            "    {\"name\": \"ProgramFilesDir\", \"type\": 1, \"data\": "
            "\"43003a005c00500072006f006700720061006d002000460069006c00650073000000\", "
            "\"text\": \"C:\\\\Program Files\"}\n"
            "  ],\n"
            "  \"subkeys\": [\n"
            "    {\n"
            "      \"name\": \"Run\",\n"
            "      \"last_written\": \"1601-01-01T00:02:31.5847684Z\",\n"
            "      \"values\": [],\n"
            "      \"subkeys\": []\n"
            "    }\n"
            "  ]\n"
            "}\n");
  o.format = Format::kTree;
  EXPECT_EQ(dump_bytes(software(), o).out,
            "ROOT\\Microsoft\\Windows\\CurrentVersion\\\n"
            "  ProgramFilesDir = REG_SZ \"C:\\Program Files\"\n"
            "  Run\\\n");
}

TEST_F(DumpTest, AbsentKeyPathIsRefused) {
  struct Row {
    const char* path;
    const char* message;
  };
  const Row rows[] = {
      {"Microsoft\\Nope\\Windows", "no key \"Nope\" under ROOT\\Microsoft"},
      {"Nope", "no key \"Nope\" under ROOT"},
      {"Microsoft\\Windows\\CurrentVersion\\Run\\Deeper",
       "no key \"Deeper\" under ROOT\\Microsoft\\Windows\\CurrentVersion\\Run"},
      {"\xE6\x97\xA5", "no key \xE6\x97\xA5 under ROOT: the library reads only names stored as 8-bit text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const Dumped d = dump_bytes(software(), at(row.path));
    EXPECT_EQ(d.err, std::string("vesk-dump: HIVE: ") + row.message + "\n");
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.status, 2);
  }
}

// A stream that takes nothing, as a full disk would.
class FullDisk : public std::streambuf {
 protected:
  int_type overflow(int_type) override {
    errno = ENOSPC;
    return traits_type::eof();
  }
  std::streamsize xsputn(const char*, std::streamsize) override {
    errno = ENOSPC;
    return 0;
  }
};

TEST_F(DumpTest, OutputThatCannotBeWrittenIsNoSuccess) {
  vesk::test::TempHive file(software());
  FullDisk full;
  std::ostream out(&full);
  std::ostringstream err;
  EXPECT_EQ(dump_file(file.path(), Options{}, out, err), kOutputFailed);
  EXPECT_EQ(err.str(), std::string("vesk-dump: ") + file.path() +
                           ": writing the output failed: No space left on device\n");
}

// The writer's thread gets a key's values in batches apart from the key's own call: each
// value must still reach the writer with its own key, across batch ends and depths. JSON
// indents a value by its key's depth.
TEST_F(DumpTest, EveryValueStaysWithItsKeyAcrossTheWritersBatches) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef a = b.add_key("A", root);
  for (std::uint32_t i = 0; i < 5000; ++i) {
    b.add_value(a, "v" + std::to_string(i), kTypeDword, le32(i));
  }
  b.add_value(b.add_key("C", a), "c", kTypeDword, le32(1));
  b.add_value(b.add_key("B", root), "w", kTypeDword, le32(2));
  Options o;
  o.format = Format::kJson;
  const Dumped d = dump_bytes(b.bytes(), o);
  ASSERT_EQ(d.status, 0) << d.err;
  std::map<std::size_t, int> values;  // value lines by their indent
  std::istringstream lines(d.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t indent = line.find_first_not_of(' ');
    if (line.compare(indent, 10, "{\"name\": \"") == 0) ++values[indent];
  }
  // A's and B's at one depth, C's one deeper.
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values.begin()->second, 5001);
  EXPECT_EQ(values.rbegin()->second, 1);
}

TEST_F(DumpTest, KeyPathThroughTheProgram) {
  const Bytes hive = software();
  ToolRun run;
  run.args = {"HIVE", "Microsoft\\Office"};
  run.hive = &hive;
  Dumped d = run_vesk_dump(run);
  EXPECT_EQ(d.status, 0);
  EXPECT_EQ(d.out, "Windows Registry Editor Version 5.00\n\n[ROOT\\Microsoft\\Office]\n\n");
  run.args = {"HIVE", "Microsoft\\Excel"};
  d = run_vesk_dump(run);
  EXPECT_EQ(d.status, 2);
  EXPECT_EQ(d.err, "vesk-dump: HIVE: no key \"Excel\" under ROOT\\Microsoft\n");
}

}  // namespace
}  // namespace vesk::dump::test
