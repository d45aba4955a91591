// The C++ interface over the flat functions: ownership, ranges, value bytes, name
// lookup that binary-searches by hint yet still finds names in lists out of order, why a
// file does not open, use after close, and two threads on two hives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "hive_builder.h"
#include "layout.h"
#include "temp_hive.h"
#include "vesk/base_block.hpp"
#include "vesk/hive.hpp"

namespace vesk::test {
namespace {

// A root with children added in the order given (an "lf" list keeps that order).
Bytes hive_with_children(const std::vector<std::string>& names) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  for (const std::string& n : names) {
    const KeyRef k = b.add_key(n, root);
    b.add_value(k, "me", kTypeString, utf16z(n));
  }
  return b.bytes();
}

std::string found(const Hive& hive, const std::string& name) {
  const auto key = hive.root()->subkey(name);
  if (!key) return "<absent>";
  return key->name();
}

TEST(HiveHppTest, OwnsItsHandleAndMoves) {
  TempHive file(hive_with_children({"A"}));
  Hive first(file.path());
  ASSERT_TRUE(first.is_open());
  Hive second(std::move(first));
  EXPECT_FALSE(first.is_open());
  ASSERT_TRUE(second);
  EXPECT_EQ(second.root()->name(), "ROOT");
  Hive third("/nonexistent");
  EXPECT_FALSE(third);
  EXPECT_FALSE(third.root());
  third = std::move(second);
  EXPECT_TRUE(third);
}

TEST(HiveHppTest, RangesVisitEverySubkeyAndValue) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("One", root);
  b.add_key("Two", root);
  b.add_value(root, "", kTypeString, utf16z("dflt"), 0);
  b.add_value(root, "Num", kTypeDword, le32(0x01020304));
  b.add_value(root, "Three", kTypeBinary, {1, 2, 3});
  b.add_value(root, "Blob", kTypeBinary, {9, 8, 7, 6, 5, 4});
  TempHive file(b.bytes());
  Hive hive(file.path());
  const Key top = *hive.root();
  std::vector<std::string> names;
  for (const Key& k : top.subkeys()) names.push_back(k.name());
  EXPECT_EQ(names, (std::vector<std::string>{"One", "Two"}));
  std::vector<std::string> values;
  for (Value v : top.values()) {
    values.push_back(v.name() + "/" + std::to_string(v.type()) + "/" +
                     std::to_string(v.bytes()->size()));
  }
  EXPECT_EQ(values, (std::vector<std::string>{"{default}/1/10", "Num/4/4", "Three/3/3",
                                              "Blob/3/6"}));
  Value num = top.values().at(1);
  EXPECT_EQ(*num.bytes(), (std::vector<std::uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(num.dword(), 0x01020304u);
  Value dflt = top.values().at(0);
  EXPECT_FALSE(dflt.has_name());
  EXPECT_EQ(dflt.text(), "dflt");
  EXPECT_EQ(*top.values().at(2).bytes(), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(*top.values().at(3).bytes(), (std::vector<std::uint8_t>{9, 8, 7, 6, 5, 4}));
}

TEST(HiveHppTest, IteratorsOutliveTheirRangeAndAccessorsAreConst) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("One", root);
  b.add_key("Two", root);
  b.add_value(root, "Str", kTypeString, utf16z("text"));
  b.add_value(root, "In", kTypeDword, le32(7));
  TempHive file(b.bytes());
  const Hive hive(file.path());
  const Key top = *hive.root();
  auto it = top.subkeys().begin();  // the range is gone at the semicolon
  EXPECT_EQ((*it++).name(), "One");
  EXPECT_EQ((*it).name(), "Two");
  EXPECT_TRUE(++it == top.subkeys().end());
  std::vector<std::string> seen;
  for (const Value& v : top.values()) {
    seen.push_back(v.name() + "/" + std::to_string(v.length()) + "/" + v.text() + "/" +
                   std::to_string(v.bytes()->size()));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Str/10/text/10", "In/4/\x07/4"}));
  // Reading a length does not change the record (it used to clear the inline bit).
  const Value in = top.values().at(1);
  const std::uint32_t stored = in.record().data_size;
  EXPECT_EQ(in.length(), 4);
  EXPECT_EQ(in.record().data_size, stored);
}

TEST(HiveHppTest, KeysTellTheirTimeAndTheSubkeysTheLibraryDoesNotRead) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef hidden = b.add_key("Hidden", root);
  b.add_key("A", hidden);
  b.add_key("B", hidden);
  // 1970-01-01 00:00:01 UTC in 100-nanosecond ticks since 1601.
  b.poke_u32(root.contents + 4, 0xD53E8000u + 10000000u);
  b.poke_u32(root.contents + 8, 0x019DB1DEu);
  b.poke_u16(b.subkey_list(hidden).contents, kSigLhList);
  TempHive file(b.bytes());
  const Hive hive(file.path());
  EXPECT_EQ(hive.root()->last_written().time_since_epoch(), std::chrono::seconds(1));
  EXPECT_EQ(hive.root()->subkeys_not_read(), 0);
  EXPECT_EQ(hive.open_key("Hidden")->subkeys_not_read(), 2);
  EXPECT_EQ(hive.open_key("Hidden")->subkeys().size(), 0);
}

TEST(HiveHppTest, KeysAndValuesUsedAfterTheHiveClosedThrow) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("Sub", root);
  b.add_value(root, "Small", kTypeDword, le32(1));
  b.add_value(root, "Large", kTypeBinary, Bytes(8, 2));
  TempHive file(b.bytes());
  std::optional<Key> key;
  std::optional<Value> small;
  std::optional<Value> large;
  std::optional<Subkeys> list;
  {
    Hive hive(file.path());
    key = hive.root();
    small = key->values().at(0);
    large = key->values().at(1);
    list = key->subkeys();
    Hive moved(std::move(hive));  // a moved Hive keeps what was read from it open
    EXPECT_EQ(key->name(), "ROOT");
  }
  EXPECT_THROW(key->name(), HiveClosed);
  EXPECT_THROW(key->subkeys(), HiveClosed);
  EXPECT_THROW(key->values(), HiveClosed);
  EXPECT_THROW(small->bytes(), HiveClosed);
  EXPECT_THROW(large->bytes(), HiveClosed);
  EXPECT_THROW(large->text(), HiveClosed);
  EXPECT_THROW(list->at(0), HiveClosed);
}

// Each way a file fails to open, with its code and vesk-dump's words.
TEST(HiveHppTest, OpenSaysWhyAFileIsNotAHive) {
  namespace fs = std::filesystem;
  const auto hive_with = [](auto change) {
    HiveBuilder b;
    b.add_root("ROOT");
    Bytes bytes = b.bytes();
    change(bytes);
    return bytes;
  };
  const auto poke32 = [](Bytes& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const TempHive text(Bytes(5000, 'x'));
  const TempHive short_file(Bytes(100, 0));
  const TempHive v15(hive_with([&](Bytes& h) { poke32(h, format::kBaseMinorVersionAt, 5); }));
  const TempHive dirty(hive_with([&](Bytes& h) {
    poke32(h, format::kBasePrimarySequenceAt, 5);
    poke32(h, format::kBaseSecondarySequenceAt, 6);
  }));
  const TempHive dirty_v15(hive_with([&](Bytes& h) {
    poke32(h, format::kBasePrimarySequenceAt, 5);
    poke32(h, format::kBaseSecondarySequenceAt, 6);
    poke32(h, format::kBaseMinorVersionAt, 5);
  }));
  const TempHive log_file(hive_with([&](Bytes& h) { poke32(h, format::kBaseFileTypeAt, 1); }));
  const TempHive cut(hive_with([](Bytes& h) { h.resize(4096); }));
  const TempHive root_flags(hive_with([](Bytes& h) { h[4134] = 0x24; }));
  const std::string folder = fs::path(text.path()).parent_path().string();
  const std::string missing = folder + "/vesk-no-such-hive";
  using base_block::Reason;
  const auto words = [](Reason reason, std::int64_t a = 0, std::int64_t b = 0) {
    return base_block::sentence({reason, {a, b}});
  };
  struct Row {
    const char* what;
    std::string path;
    std::error_code code;
    std::string reason;  // empty: the system's own words for the code
  };
  const Row rows[] = {
      {"missing", missing, std::make_error_code(std::errc::no_such_file_or_directory), ""},
      {"directory", folder, std::make_error_code(std::errc::is_a_directory),
       "cannot open: it is a directory"},
      {"text", text.path(), OpenErrc::not_a_hive, words(Reason::no_signature)},
      {"short", short_file.path(), OpenErrc::not_a_hive, words(Reason::too_short, 100, 4096)},
      {"version 1.5", v15.path(), OpenErrc::wrong_version, words(Reason::wrong_version, 1, 5)},
      {"dirty", dirty.path(), OpenErrc::not_written_cleanly,
       words(Reason::not_written_cleanly, 5, 6)},
      // No option reads a 1.5 hive: its version is what rules it out.
      {"dirty and version 1.5", dirty_v15.path(), OpenErrc::wrong_version,
       words(Reason::wrong_version, 1, 5)},
      {"a log file", log_file.path(), OpenErrc::unsupported, words(Reason::file_type, 1)},
      {"cut short", cut.path(), OpenErrc::no_root_key, words(Reason::root_file_ends_before_bin)},
      {"root flags", root_flags.path(), OpenErrc::no_root_key,
       words(Reason::root_flags, 0x24, 0x2C)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    try {
      Hive::open(row.path);
      ADD_FAILURE() << "opened";
    } catch (const OpenError& e) {
      // The system's codes compare as conditions: Windows reports its own numbers.
      EXPECT_EQ(e.code().default_error_condition(), row.code.default_error_condition());
      const std::string reason =
          row.reason.empty() ? "cannot open: " + e.code().message() : row.reason;
      EXPECT_EQ(e.reason(), reason);
      EXPECT_EQ(std::string(e.what()), row.path + ": " + reason);
    }
    const Hive plain(row.path);  // opens a hive without a root, but finds none
    EXPECT_FALSE(plain && plain.root());
  }
  EXPECT_EQ(Hive::open(TempHive(hive_with([](Bytes&) {})).path()).root()->name(), "ROOT");
}

#ifndef _WIN32
TEST(HiveHppTest, OpenSaysWhenPermissionIsDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file: no permission to lose";
  HiveBuilder b;
  b.add_root("ROOT");
  TempHive file(b.bytes());
  std::filesystem::permissions(file.path(), std::filesystem::perms::none);
  try {
    Hive::open(file.path());
    ADD_FAILURE() << "opened";
  } catch (const OpenError& e) {
    EXPECT_EQ(e.code(), std::errc::permission_denied);
  }
}
#endif

// Two threads, each walking its own hive: the library's text area is one for the whole
// process, so without the header's lock one thread reads the other's names.
TEST(HiveHppTest, TwoThreadsOnTwoHivesReadTheirOwnNames) {
  const auto make = [](const std::string& stem) {
    HiveBuilder b;
    const KeyRef root = b.add_root(stem + "Root");
    for (int i = 0; i < 40; ++i) {
      const KeyRef k = b.add_key(stem + "Key" + std::to_string(i), root);
      b.add_value(k, stem + "Value" + std::to_string(i), kTypeString, utf16z(stem));
    }
    return b.bytes();
  };
  const TempHive first(make("Alpha"));
  const TempHive second(make("Beta"));
  const auto names = [](const char* path) {
    std::vector<std::string> out;
    const Hive hive(path);
    const Key root = *hive.root();
    out.push_back(root.name());
    for (const Key& k : root.subkeys()) {
      out.push_back(k.name());
      for (const Value& v : k.values()) out.push_back(v.name() + "=" + v.text());
    }
    return out;
  };
  const std::vector<std::string> expected[] = {names(first.path()), names(second.path())};
  int wrong[2] = {0, 0};
  const auto run = [&](int which, const char* path) {
    for (int round = 0; round < 30; ++round) wrong[which] += names(path) != expected[which];
  };
  std::thread a(run, 0, first.path());
  std::thread b(run, 1, second.path());
  a.join();
  b.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
  EXPECT_EQ(expected[0][1], "AlphaKey0");
}

TEST(HiveHppTest, ImpossibleDataSizeGivesNoBytes) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const ValueRef v = b.add_value(root, "Big", kTypeBinary, Bytes(8, 1));
  b.poke_u32(v.contents + format::kVkDataSizeAt, 0x7FFFFFF0);
  TempHive file(b.bytes());
  Hive hive(file.path());
  Value big = hive.root()->values().at(0);
  EXPECT_EQ(big.length(), 0x7FFFFFF0);
  EXPECT_FALSE(big.bytes());
}

TEST(HiveHppTest, LookupIgnoresCaseAndSettlesTiedHints) {
  // Sorted by upper-cased name, as Windows keeps an "lf" list.
  TempHive file(hive_with_children(
      {"Alpha", "Soft", "SOFTware", "Software2", "SoftX", "System", "Zed", "\xC9t\xE9"}));
  Hive hive(file.path());
  struct Row {
    const char* ask;
    const char* expect;
  };
  const Row rows[] = {{"alpha", "Alpha"},        {"SOFT", "Soft"},
                      {"software", "SOFTware"},  {"SoftWare2", "Software2"},
                      {"softx", "SoftX"},        {"system", "System"},
                      {"\xE9T\xC9", "\xC9t\xE9"}, {"zed", "Zed"},
                      {"Sof", "<absent>"},       {"Softwares", "<absent>"},
                      {"", "<absent>"},          {"Zz", "<absent>"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.ask);
    EXPECT_EQ(found(hive, row.ask), row.expect);
  }
}

TEST(HiveHppTest, LookupFindsNamesInAListOutOfOrder) {
  TempHive file(hive_with_children({"Zeta", "beta", "Alpha", "Mid", "alphabet"}));
  Hive hive(file.path());
  for (const char* name : {"Zeta", "BETA", "alpha", "mid", "ALPHABET"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(compare_names(found(hive, name), name), 0);
  }
  EXPECT_EQ(found(hive, "gamma"), "<absent>");
}

TEST(HiveHppTest, LookupInLargeSortedLists) {
  std::vector<std::string> names;
  for (int i = 0; i < 700; ++i) names.push_back("Key" + std::to_string(100000 + i * 7));
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compare_names(a, b) < 0; });
  TempHive file(hive_with_children(names));
  Hive hive(file.path());
  for (std::size_t i = 0; i < names.size(); i += 37) EXPECT_EQ(found(hive, names[i]), names[i]);
  EXPECT_EQ(found(hive, "Key100001"), "<absent>");
}

TEST(HiveHppTest, OpenKeyWalksABackslashPath) {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  const KeyRef ms = b.add_key("Microsoft", root);
  const KeyRef win = b.add_key("Windows", ms);
  const KeyRef cv = b.add_key("CurrentVersion", win);
  b.add_value(cv, "ProgramFilesDir", kTypeString, utf16z("C:\\Program Files"));
  TempHive file(b.bytes());
  Hive hive(file.path());
  const auto key = hive.open_key("microsoft\\WINDOWS\\CurrentVersion");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->name(), "CurrentVersion");
  EXPECT_EQ(key->values().at(0).text(), "C:\\Program Files");
  EXPECT_EQ(hive.open_key("")->name(), "ROOT");
  EXPECT_EQ(hive.open_key("\\Microsoft\\\\Windows\\")->name(), "Windows");
  EXPECT_FALSE(hive.open_key("Microsoft\\Nope\\CurrentVersion"));
}

}  // namespace
}  // namespace vesk::test
