// How many times each export goes to the operating system, counted at the system
// calls themselves: exactly the reads its contract makes, one pread each, no seek and
// no mapping. A cache, a read-ahead or a hidden extra read changes these numbers.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "api_test.h"
#include "system_calls.h"
#include "vesk/hive.hpp"

namespace vesk::test {
namespace {

// Fifteen subkeys with distinct hints, in the registry's order: a binary search over
// them always takes four probes.
const std::vector<std::string> kDistinct = {"Alpha",   "Bravo", "Charlie", "Delta",    "Echo",
                                            "Foxtrot", "Golf",  "Hotel",   "India",    "Juliett",
                                            "Kilo",    "Lima",  "Mike",    "November", "Oscar"};

// Fifteen subkeys whose hints all tie.
std::vector<std::string> tied_names() {
  std::vector<std::string> names;
  for (int i = 1; i <= 15; ++i) {
    names.push_back((i < 10 ? "Item0" : "Item") + std::to_string(i));
  }
  return names;
}

constexpr char kLongText[] = "C:\\Windows\\System32\\drivers\\etc";

Bytes known_hive() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "", kTypeString, utf16z(kLongText), 0);
  b.add_value(root, "Inline", kTypeDword, le32(7));
  b.add_value(root, "Short", kTypeString, utf16z("a"));
  b.add_value(root, "Long", kTypeBinary, Bytes(100, 0x5A));
  b.add_value(root, "Text", kTypeString, utf16z(kLongText));
  b.add_value(root, "Qword", kTypeQword, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  for (const std::string& name : kDistinct) {
    const KeyRef key = b.add_key(name, root);
    if (name == "Alpha") {
      for (const std::string& tied : tied_names()) b.add_key(tied, key);
    }
  }
  return b.bytes();
}

// The records a host holds once it has walked to the root's subkeys and values.
struct Walked {
  HiveHandle* hive = nullptr;
  KeyRecord root{};
  KeyListRecord subkeys{};
  KeyRecord subkey{};
  ValueListRecord values{};
  std::map<std::string, ValueRecord> value;  // by name; "{default}" for the unnamed one
};

struct ReadRow {
  const char* what;
  std::function<void(Walked&)> call;
  std::vector<std::int64_t> read_lengths;  // one entry per read, in order
};

std::vector<ReadRow> read_rows() {
  const auto length_of = [](const char* text) {
    return static_cast<std::int64_t>(std::char_traits<char>::length(text));
  };
  return {
      {"SearchRootKey: signature, step, signature, flags, record",
       [](Walked& w) {
         KeyRecord key{};
         library().SearchRootKey(w.hive, &key);
       },
       {4, 4, 2, 2, 76}},
      {"GetRegKeyName reads the name",
       [](Walked& w) { library().GetRegKeyName(w.hive, &w.subkey); },
       {length_of("Hotel")}},
      {"CountSubKeys", [](Walked& w) { library().CountSubKeys(&w.root); }, {}},
      {"CountValues", [](Walked& w) { library().CountValues(&w.root); }, {}},
      {"GetSubKeyList reads signature and count",
       [](Walked& w) {
         KeyListRecord list{};
         library().GetSubKeyList(w.hive, &w.root, &list);
       },
       {4}},
      {"CountKeyList", [](Walked& w) { library().CountKeyList(&w.subkeys); }, {}},
      {"GetSubKey reads the element and the record",
       [](Walked& w) {
         KeyRecord key{};
         library().GetSubKey(w.hive, &w.subkeys, 7, &key);
       },
       {8, 76}},
      {"GetValueList",
       [](Walked& w) {
         ValueListRecord list{};
         library().GetValueList(w.hive, &w.root, &list);
       },
       {}},
      {"GetValue reads the element and the record",
       [](Walked& w) {
         ValueRecord value{};
         library().GetValue(w.hive, &w.values, 3, &value);
       },
       {4, 18}},
      {"GetValueName of a stored name",
       [](Walked& w) { library().GetValueName(w.hive, &w.value["Long"]); },
       {length_of("Long")}},
      {"GetValueName of the default value",
       [](Walked& w) { library().GetValueName(w.hive, &w.value["{default}"]); },
       {}},
      {"GetValueType", [](Walked& w) { library().GetValueType(w.hive, &w.value["Long"]); }, {}},
      {"GetValueDataLength",
       [](Walked& w) { library().GetValueDataLength(w.hive, &w.value["Inline"]); },
       {}},
      {"GetValueData of 100 bytes",
       [](Walked& w) {
         unsigned char buffer[100];
         library().GetValueData(w.hive, &w.value["Long"], buffer);
       },
       {100}},
      {"GetValueData of inline data",
       [](Walked& w) {
         unsigned char buffer[4];
         library().GetValueData(w.hive, &w.value["Inline"], buffer);
       },
       {}},
      {"GetValueDword of inline data",
       [](Walked& w) { library().GetValueDword(w.hive, &w.value["Inline"]); },
       {}},
      {"GetValueDword of data in its own cell",
       [](Walked& w) { library().GetValueDword(w.hive, &w.value["Qword"]); },
       {4}},
      {"GetValueString of inline data",
       [](Walked& w) { library().GetValueString(w.hive, &w.value["Short"]); },
       {}},
      {"GetValueString of data in its own cell",
       [](Walked& w) { library().GetValueString(w.hive, &w.value["Text"]); },
       {static_cast<std::int64_t>(sizeof kLongText * 2)}},
  };
}

class ReadCountTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    bytes_ = known_hive();
    walked_.hive = open(bytes_);
    ASSERT_NE(walked_.hive, nullptr);
    walked_.root = root_of(walked_.hive);
    ASSERT_EQ(vesk().GetSubKeyList(walked_.hive, &walked_.root, &walked_.subkeys), 15);
    vesk().GetSubKey(walked_.hive, &walked_.subkeys, 7, &walked_.subkey);
    const std::int32_t n = vesk().GetValueList(walked_.hive, &walked_.root, &walked_.values);
    ASSERT_EQ(n, 6);
    for (std::int32_t i = 0; i < n; ++i) {
      ValueRecord value{};
      vesk().GetValue(walked_.hive, &walked_.values, i, &value);
      walked_.value[vesk().GetValueName(walked_.hive, &value)] = value;
    }
  }

  // Every read positioned by itself, on the hive's file, and nothing else at all.
  static void expect_only_reads(const SystemCallLog& log,
                                const std::vector<std::int64_t>& lengths) {
    std::vector<std::int64_t> got;
    for (const LoggedCall& c : log.calls()) {
      EXPECT_EQ(c.call, SystemCall::kRead);
      EXPECT_GE(c.offset, 0) << "a read at the file position needs a seek before it";
      got.push_back(c.length);
    }
    EXPECT_EQ(got, lengths);
  }

  Bytes bytes_;
  Walked walked_;
};

TEST_F(ReadCountTest, EachExportMakesExactlyItsReads) {
  for (const ReadRow& row : read_rows()) {
    SCOPED_TRACE(row.what);
    SystemCallLog log;
    row.call(walked_);
    expect_only_reads(log, row.read_lengths);
  }
}

TEST_F(ReadCountTest, OpenReadsTheBaseBlockOnceAndCloseReadsNothing) {
  TempHive file(bytes_);
  HiveHandle* hive = nullptr;
  {
    SystemCallLog log;
    hive = vesk().OpenRegistryFile(file.path());
    // One status query refuses what is not a regular file, one takes the size.
    EXPECT_EQ(log.count(SystemCall::kStat), 2);
    EXPECT_EQ(log.count(SystemCall::kSeek), 0);
    EXPECT_EQ(log.count(SystemCall::kMap), 0);
    ASSERT_EQ(log.count(SystemCall::kRead), 1);
    for (const LoggedCall& c : log.calls()) {
      if (c.call == SystemCall::kRead) {
        EXPECT_EQ(c.offset, 0);
        EXPECT_EQ(c.length, 512);
      }
    }
  }
  ASSERT_NE(hive, nullptr);
  SystemCallLog log;
  vesk().CloseRegistryFile(hive);
  EXPECT_TRUE(log.calls().empty());
}

TEST_F(ReadCountTest, TheSameCallTwiceReadsTwice) {
  // Nothing is remembered between calls: the second call goes to the file again.
  SystemCallLog log;
  KeyRecord key{};
  vesk().GetSubKey(walked_.hive, &walked_.subkeys, 3, &key);
  vesk().GetSubKey(walked_.hive, &walked_.subkeys, 3, &key);
  vesk().GetRegKeyName(walked_.hive, &key);
  vesk().GetRegKeyName(walked_.hive, &key);
  expect_only_reads(log, {8, 76, 8, 76, 5, 5});
}

struct LookupRow {
  const char* what;
  std::string parent;  // path below the root
  std::string name;
  bool found;
  int reads;
};

// On a list of 15 the binary search probes index 7 first, then 3 or 11, then 1, 5, 9
// or 13, then the rest. A lookup reads the list header once, 2 records a probe, a name
// for each probe whose hint ties, and for a name it does not find 3 reads a subkey.
const LookupRow kLookupRows[] = {
    {"first name: four probes", "", "Alpha", true, 1 + 4 * 2 + 1},
    {"middle name: the first probe", "", "Hotel", true, 1 + 2 + 1},
    {"last name: four probes", "", "Oscar", true, 1 + 4 * 2 + 1},
    {"name in other case: three probes", "", "jULIETT", true, 1 + 3 * 2 + 1},
    {"absent, sorting after all", "", "Papa", false, 1 + 4 * 2 + 15 * 3},
    {"absent, sorting between", "", "Bz", false, 1 + 4 * 2 + 15 * 3},
    {"absent, sharing a hint", "", "Alphabet", false, 1 + 4 * 2 + 1 + 15 * 3},
    {"tied hints, first", "Alpha", "Item01", true, 1 + 4 * 3},
    {"tied hints, the first probe", "Alpha", "Item08", true, 1 + 3},
    {"tied hints, last", "Alpha", "item15", true, 1 + 4 * 3},
    {"tied hints, absent", "Alpha", "Item99", false, 1 + 4 * 3 + 15 * 3},
};

void PrintTo(const LookupRow& row, std::ostream* os) { *os << row.what; }

class SubkeyReadCountTest : public ::testing::TestWithParam<LookupRow> {};

TEST_P(SubkeyReadCountTest, LookupReadsAsTheSearchPredicts) {
  const LookupRow& row = GetParam();
  SCOPED_TRACE(row.what);
  TempHive file(known_hive());
  Hive hive(file.path());
  const std::optional<Key> parent = hive.open_key(row.parent);
  ASSERT_TRUE(parent);
  SystemCallLog log;
  const std::optional<Key> key = parent->subkey(row.name);
  EXPECT_EQ(log.count(SystemCall::kRead), row.reads);
  EXPECT_EQ(static_cast<int>(log.calls().size()), row.reads) << "only reads";
  ASSERT_EQ(key.has_value(), row.found);
  if (row.found) {
    EXPECT_EQ(compare_names(key->name(), row.name), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Lookups, SubkeyReadCountTest, ::testing::ValuesIn(kLookupRows),
                         RowIndex());

}  // namespace
}  // namespace vesk::test
