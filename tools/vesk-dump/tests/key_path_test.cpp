// KEYPATH as printed: every path vesk-dump prints for a key of the sample, in each format
// and with and without a prefix, names that key again (also in other case and with a
// trailing backslash); a value named as a key, and --value, which prints one value.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "dump_run.h"
#include "thread_locale.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

const std::string kSample = VESK_EXAMPLES_DIR "/sample.hiv";

// The key paths in a dump: .reg section headers, the tree's first line, the timeline's
// path column (no name in the sample holds a comma or a quote).
std::vector<std::string> printed_paths(Format format, const std::string& out) {
  std::vector<std::string> paths;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (format == Format::kReg && line.size() > 2 && line.front() == '[') {
      paths.push_back(line.substr(1, line.size() - 2));
    } else if (format == Format::kTree) {
      paths.push_back(line.substr(0, line.size() - 1));  // without its closing backslash
      break;
    } else if (format == Format::kTimeline && line.rfind("last_written,", 0) != 0) {
      // The path lies between the time and the last three fields (not_read empty here).
      const std::size_t first = line.find(',');
      std::size_t middle = line.size();
      for (int field = 0; field < 3; ++field) middle = line.rfind(',', middle - 1);
      paths.push_back(line.substr(first + 1, middle - first - 1));
    } else if (format == Format::kCsv && line.rfind("path,", 0) != 0) {
      paths.push_back(line.substr(0, line.find(",,,key,")));  // keys without values here
    } else if (format == Format::kBodyfile) {
      paths.push_back(line.substr(2, line.find('|', 2) - 2));
    }
  }
  return paths;
}

std::string ascii_lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

TEST(KeyPathTest, EveryPrintedPathNamesItsKey) {
  ThreadLocale utf8("C.UTF-8");
  struct Row {
    Format format;
    const char* prefix;  // nullptr: none
    std::size_t paths;   // how many paths the format prints for the whole sample
  };
  const Row rows[] = {
      {Format::kReg, nullptr, 48},
      {Format::kReg, "HKEY_CURRENT_USER", 48},
      {Format::kReg, "HKEY_LOCAL_MACHINE\\SOFTWARE", 48},
      {Format::kTimeline, nullptr, 48},
      {Format::kTimeline, "HKEY_CURRENT_USER", 48},
      {Format::kTree, nullptr, 1},
      {Format::kTree, "HKEY_CURRENT_USER", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(static_cast<int>(row.format)) + " " +
                 (row.prefix != nullptr ? row.prefix : "no prefix"));
    Options options;
    options.format = row.format;
    options.has_prefix = row.prefix != nullptr;
    if (row.prefix != nullptr) options.prefix = row.prefix;
    const std::vector<std::string> paths =
        printed_paths(row.format, dump_path(kSample, options).out);
    EXPECT_EQ(paths.size(), row.paths);
    for (const std::string& path : paths) {
      for (const std::string& typed : {path, ascii_lower(path) + "\\"}) {
        SCOPED_TRACE(typed);
        Options at = options;
        at.format = Format::kTree;
        at.max_depth = 0;
        at.max_depth_chosen = true;
        at.key_path = typed;
        const Dumped d = dump_path(kSample, at);
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.err, "");
        EXPECT_EQ(d.out.substr(0, d.out.find('\n')), path + "\\");
      }
    }
  }
}

Bytes run_key() {
  HiveBuilder b;
  const KeyRef root = b.add_root("Software");
  const KeyRef run = b.add_key("Run", b.add_key("Software", root));
  b.add_value(run, "", kTypeString, utf16z("default"), 0);
  b.add_value(run, "Agent", kTypeString, utf16z("C:\\agent.exe"));
  b.add_value(run, "Count", kTypeDword, le32(3));
  return b.bytes();
}

// A root named like one of its subkeys: the printed path, which starts with the root's
// name, wins over the same text read below the root.
// The timeline's, csv's and the body file's paths are UTF-8 in every locale, with control
// pictures for a name's line ends and "<key N: ...>" for names that cannot be read; each
// names its key again.
TEST(KeyPathTest, LinePathsNameTheirKeysInEveryLocale) {
  HiveBuilder b;
  const KeyRef root = b.add_root("R");
  b.add_key(std::string("U\0a\0", 4), root, 0x0000);  // UTF-16: unreadable, twice
  b.add_key(std::string("U\0b\0", 4), root, 0x0000);
  b.add_key("a\r\n\xEB", root);
  const Bytes hive = b.bytes();
  for (const auto& [locale, format] :
       {std::pair("C", Format::kTimeline), std::pair("C.UTF-8", Format::kTimeline),
        std::pair("C", Format::kCsv), std::pair("C", Format::kBodyfile)}) {
    SCOPED_TRACE(locale + std::string(" ") + std::to_string(static_cast<int>(format)));
    ThreadLocale in(locale);
    Options options;
    options.format = format;
    const std::vector<std::string> paths = printed_paths(options.format, dump_bytes(hive, options).out);
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "R\\a\u240D\u240A\u00EB"), paths.end());
    for (const std::string& path : paths) {
      SCOPED_TRACE(path);
      EXPECT_EQ(std::count(paths.begin(), paths.end(), path), 1);
      Options at;
      at.format = format;
      // A path holding a comma is quoted (no name here holds a quote).
      at.key_path = path.front() == '"' ? path.substr(1, path.size() - 2) : path;
      at.max_depth = 0;
      at.max_depth_chosen = true;
      const Dumped d = dump_bytes(hive, at);
      EXPECT_EQ(printed_paths(at.format, d.out), std::vector<std::string>{path}) << d.err;
    }
  }
}

// A value's name as csv prints it, controls as their pictures, names the value too.
TEST(KeyPathTest, ValueNamesAsCsvPrintsThem) {
  HiveBuilder b;
  b.add_value(b.add_root("R"), "v\r\x01", kTypeString, utf16z("x"));
  Options options;
  options.format = Format::kText;
  options.value = "v\u240D\u2401";
  const Dumped d = dump_bytes(b.bytes(), options);
  EXPECT_EQ(d.out, "x\n") << d.err;
}

TEST(KeyPathTest, RootNameAndPrefixAreOptional) {
  ThreadLocale utf8("C.UTF-8");
  struct Row {
    const char* prefix;
    const char* key_path;
    const char* first_line;
  };
  const Row rows[] = {
      {nullptr, "Software\\Software\\Run", "Software\\Software\\Run\\"},
      {nullptr, "Software\\Run", "Software\\Software\\Run\\"},
      {nullptr, "Software", "Software\\"},
      {nullptr, "software\\software\\", "Software\\Software\\"},
      {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER\\Software\\Run", "HKEY_CURRENT_USER\\Software\\Run\\"},
      {"HKEY_CURRENT_USER", "hkey_current_user", "HKEY_CURRENT_USER\\"},
      {"HKEY_CURRENT_USER", "Software\\Software\\Run", "HKEY_CURRENT_USER\\Software\\Run\\"},
      {"HKEY_CURRENT_USER", "Software\\Run", "HKEY_CURRENT_USER\\Software\\Run\\"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key_path);
    Options o;
    o.format = Format::kTree;
    o.max_depth = 0;
    o.max_depth_chosen = true;
    o.has_prefix = row.prefix != nullptr;
    if (row.prefix != nullptr) o.prefix = row.prefix;
    o.key_path = row.key_path;
    const Dumped d = dump_bytes(run_key(), o);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(d.out.substr(0, d.out.find('\n')), row.first_line);
  }
}

TEST(KeyPathTest, OneValueInEachFormat) {
  ThreadLocale utf8("C.UTF-8");
  struct Row {
    Format format;
    const char* value;
    const char* out;
  };
  const Row rows[] = {
      {Format::kJson, "agent",
       "{\"name\": \"Agent\", \"type\": 1, \"data\": "
       "\"43003a005c006100670065006e0074002e006500780065000000\", \"text\": \"C:\\\\agent.exe\"}\n"},
      {Format::kJson, "@",
       "{\"name\": \"\", \"type\": 1, \"data\": \"640065006600610075006c0074000000\", "
       "\"text\": \"default\"}\n"},
      {Format::kReg, "", "Windows Registry Editor Version 5.00\n\n[Software\\Software\\Run]\n@=\"default\"\n\n"},
      {Format::kTree, "COUNT", "Software\\Software\\Run\\\n  Count = REG_DWORD 0x00000003 (3)\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    Options o;
    o.format = row.format;
    o.key_path = "Software\\Run";
    o.value = row.value;
    const Dumped d = dump_bytes(run_key(), o);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(d.out, row.out);
  }
}

TEST(KeyPathTest, AValueIsNotAKey) {
  ThreadLocale utf8("C.UTF-8");
  struct Row {
    const char* key_path;
    const char* value;  // nullptr: none asked for
    const char* message;
  };
  const Row rows[] = {
      {"Software\\Run\\agent", nullptr,
       "\"agent\" is a value of Software\\Software\\Run, not a key; print it with --value"},
      {"Software\\Run\\agent\\more", nullptr, "no key \"agent\" under Software\\Software\\Run"},
      {"Software\\Run", "Missing", "no value \"Missing\" in Software\\Software\\Run"},
      {"Software\\Software", "@", "no value @ in Software\\Software"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key_path);
    Options o;
    o.key_path = row.key_path;
    if (row.value != nullptr) o.value = row.value;
    const Dumped d = dump_bytes(run_key(), o);
    EXPECT_EQ(d.status, 2);
    EXPECT_EQ(d.out, "");
    EXPECT_EQ(d.err, std::string("vesk-dump: HIVE: ") + row.message + "\n");
  }
  // A value whose name is stored as UTF-16 reads back as no name: it is not the unnamed one.
  Options o;
  o.value = "@";
  const Dumped d = dump_bytes(unreadable_parts(), o);
  EXPECT_EQ(d.status, 2);
  EXPECT_EQ(d.err, "vesk-dump: HIVE: no value @ in R\n");
}

}  // namespace
}  // namespace vesk::dump::test
