// vesk-dump --diff against pairs whose changes are known: each real hive (and the
// sample) laid out again as OLD, and NEW with seeded edits; the changes reported must be
// exactly the edits. With VESK_DIFF_PAIRS_DIR set the pairs are also left there, for
// scripts/test.d/26-regedit-diff.sh to apply the .reg with regedit.
#include "diff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "dump.h"
#include "dump_run.h"
#include "hive_pair.h"
#include "layout.h"
#include "temp_hive.h"

namespace vesk::dump::test {
namespace {

using vesk::test::Bytes;
using vesk::test::HiveBuilder;
using vesk::test::TempHive;

struct Diffed {
  int status;
  std::string out;
  std::string err;
};

Diffed diff(const Bytes& was, const Bytes& now, DiffFormat format = DiffFormat::kText,
             const std::string& key_path = "") {
  const TempHive a(was);
  const TempHive b(now);
  DiffOptions options;
  options.format = format;
  options.key_path = key_path;
  std::ostringstream out;
  std::ostringstream err;
  const int status = diff_files(a.path(), b.path(), options, out, err);
  return {status, out.str(), err.str()};
}

// Each line of text output as the pair builder states it: a key added or removed whole,
// a value up to its name, anything else up to its key's path.
std::set<std::string> stated(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const std::size_t key_end = line.find("] ");
    const bool value = (line[0] == '+' || line[0] == '-' || line[0] == '~') &&
                       line.find("] key and all in it: ") == std::string::npos;
    if (value && line[key_end + 2] == '"') {
      lines.insert(line.substr(0, line.find('"', key_end + 3) + 1));
    } else if (value) {
      lines.insert(line.substr(0, key_end + 3));  // "@"
    } else {
      lines.insert(line[0] == '+' || line[0] == '-' ? line : line.substr(0, key_end + 1));
    }
  }
  return lines;
}

// RFC 4180 fields of one line (no field of these pairs spans lines).
std::vector<std::string> csv_fields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += line[++i];
    } else if (line[i] == '"') {
      quoted = !quoted;
    } else if (line[i] == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

// Each csv row or jsonl line as stated() states the text's.
std::set<std::string> stated(const std::string& text, DiffFormat format) {
  static const std::map<std::string, char> kMarks = {
      {"key_added", '+'},     {"key_removed", '-'},   {"value_added", '+'}, {"value_removed", '-'},
      {"value_changed", '~'}, {"time_only", 't'},     {"not_compared", '?'}};
  std::set<std::string> lines;
  std::istringstream in(text);
  std::string line;
  if (format == DiffFormat::kCsv) std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::vector<std::string> f = csv_fields(line);  // change, path, value, ..., subkeys, values
    if (format == DiffFormat::kJsonl) {
      const nlohmann::json j = nlohmann::json::parse(line);
      f = {j["change"], j["path"], j.value("value", ""), "", "", "", "", "", "",
           j.contains("subkeys") ? j["subkeys"].dump() : "", j.contains("values") ? j["values"].dump() : ""};
    } else {
      EXPECT_EQ(f.size(), 12u) << line;
      f.resize(12);
    }
    std::string said = kMarks.at(f[0]) + (" [" + f[1] + "]");
    if (f[0].rfind("value_", 0) == 0) said += ' ' + (f[2].empty() ? "@" : '"' + f[2] + '"');
    if (f[0].rfind("key_", 0) == 0) {
      said += " key and all in it: " + f[9] + " subkeys, " + f[10] + " values";
    }
    lines.insert(said);
  }
  return lines;
}

void save(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

TEST(DiffTest, ReportsExactlyTheSeededEdits) {
  const std::string data = VESK_TEST_DATA_DIR;
  const std::pair<const char*, std::string> hives[] = {
      {"ntuser", data + "/hives/dfwinreg-NTUSER.DAT"},
      {"unicode", data + "/hives/python-registry-UNICODE_TESTS"},
      {"bcd", data + "/hives/dfirmuseum-win7-BCD"},
      {"sample", std::string(VESK_EXAMPLES_DIR) + "/sample.hiv"},
  };
  const char* keep = std::getenv("VESK_DIFF_PAIRS_DIR");
  for (const auto& [name, path] : hives) {
    const std::string file = read_file(path);
    const Bytes hive(file.begin(), file.end());
    for (const std::uint64_t seed : {1u, 2u}) {
      SCOPED_TRACE(std::string(name) + " seed " + std::to_string(seed));
      const vesk::test::HivePair pair = vesk::test::make_hive_pair(hive, seed);
      const Diffed d = diff(pair.old_hive, pair.new_hive);
      EXPECT_EQ(stated(d.out), pair.changes) << d.out;
      for (const DiffFormat format : {DiffFormat::kCsv, DiffFormat::kJsonl}) {
        const Diffed records = diff(pair.old_hive, pair.new_hive, format);
        EXPECT_EQ(stated(records.out, format), pair.changes) << records.out;
      }
      // The unreadable parts are said, and told apart from a plain difference.
      EXPECT_EQ(d.status, kNotCompared) << d.err;
      if (keep != nullptr) {
        const std::string base = std::string(keep) + "/" + name + "-" + std::to_string(seed);
        save(base + "-old.hiv", pair.old_hive);
        save(base + "-new.hiv", pair.new_hive);
      }
    }
  }
}

// One hive with a value, as given.
Bytes one_value(const Bytes& data, std::uint32_t type = vesk::kTypeBinary,
                const std::string& key = "A", const std::string& value = "x") {
  HiveBuilder b;
  const auto root = b.add_root("R");
  const auto a = b.add_key(key, root);
  b.add_value(a, value, type, data);
  return b.bytes();
}

TEST(DiffTest, StatusTellsSameDifferentDamagedAndRefused) {
  const Bytes base = one_value({1, 2, 3});
  Bytes damaged = base;
  HiveBuilder cut;  // a subkey list at no cell
  const auto root = cut.add_root("R");
  cut.add_key("A", root);
  cut.set_subkey_list(root, 0x7FFFFFF0, 1);
  HiveBuilder loop;  // A lists the root's list, so A is its own subkey
  const auto loop_root = loop.add_root("R");
  const auto loop_a = loop.add_key("A", loop_root);
  loop.add_value(loop_a, "x", vesk::kTypeBinary, {1, 2, 3});
  const vesk::test::Placed root_list = loop.subkey_list(loop_root);
  loop.poke_u32(loop_a.contents + format::kNkSubkeyCountAt, 1);
  loop.poke_u32(loop_a.contents + format::kNkSubkeyListAt, root_list.cell);
  const struct {
    const char* what;
    Bytes now;
    int status;
    const char* out;
  } cases[] = {
      {"the same", base, kDumped, ""},
      {"data changed", one_value({1, 2, 4}), kDiffer,
       "~ [R\\A] \"x\" = REG_BINARY hex:01,02,03 -> \"x\" = REG_BINARY hex:01,02,04\n"},
      {"type changed", one_value({1, 2, 3}, vesk::kTypeNone), kDiffer,
       "~ [R\\A] \"x\" = REG_BINARY hex:01,02,03 -> \"x\" = REG_NONE hex:01,02,03\n"},
      {"damaged", cut.bytes(), kDumpedWithDamage,
       "? [R] not compared: NEW: subkeys not all read\n"
       "? [R\\A] not compared: only in OLD, and NEW's subkeys of its parent not read whole\n"},
      {"a loop", loop.bytes(), kDumpedWithDamage,
       "? [R\\A\\A] not compared: a key already read elsewhere in its hive\n"},
      // regedit keeps a stored name's case, so a name in another case goes and comes back.
      {"a value named in another case", one_value({1, 2, 3}, vesk::kTypeBinary, "A", "X"),
       kDiffer,
       "- [R\\A] \"x\" = REG_BINARY hex:01,02,03\n+ [R\\A] \"X\" = REG_BINARY hex:01,02,03\n"},
      {"a key named in another case", one_value({1, 2, 3}, vesk::kTypeBinary, "a"), kDiffer,
       "- [R\\A] key and all in it: 0 subkeys, 1 values\n"
       "+ [R\\a] key and all in it: 0 subkeys, 1 values\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Diffed d = diff(base, c.now);
    EXPECT_EQ(d.status, c.status) << d.err;
    EXPECT_EQ(d.out, c.out);
  }
  // Parts the library cannot read are never equal, even in the same hive.
  const Diffed same = diff(unreadable_parts(), unreadable_parts());
  EXPECT_EQ(same.status, kNotCompared);
  for (const char* said : {"? [R] not compared: OLD: value 0: its name stored as UTF-16\n",
                           "? [R\\A] not compared: NEW: subkeys not all read\n",
                           "? [R\\U] not compared: OLD: its name stored as UTF-16"}) {
    EXPECT_NE(same.out.find(said), std::string::npos) << said << same.out;
  }
  DiffOptions options;
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(diff_files("/nonexistent", "/nonexistent", options, out, err), kRefused);
  // KEYPATH in one hive alone is all of it removed or added; in neither, refused.
  HiveBuilder no_a;
  no_a.add_key("B", no_a.add_root("R"));
  const struct {
    const char* key_path;
    Bytes was, now;
    int status;
    const char* out;
  } paths[] = {
      {"A", base, no_a.bytes(), kDiffer, "- [R\\A] key and all in it: 0 subkeys, 1 values\n"},
      {"R\\a", no_a.bytes(), base, kDiffer, "+ [R\\A] key and all in it: 0 subkeys, 1 values\n"},
      {"a", base, one_value({1, 2, 3}, vesk::kTypeBinary, "a"), kDiffer,
       "- [R\\A] key and all in it: 0 subkeys, 1 values\n"
       "+ [R\\a] key and all in it: 0 subkeys, 1 values\n"},
      {"C", base, no_a.bytes(), kRefused, ""},
  };
  for (const auto& c : paths) {
    SCOPED_TRACE(c.key_path);
    const Diffed d = diff(c.was, c.now, DiffFormat::kText, c.key_path);
    EXPECT_EQ(d.status, c.status) << d.err;
    EXPECT_EQ(d.out, c.out);
    EXPECT_EQ(d.err.find("no key \"C\" under R") != std::string::npos, c.status == kRefused)
        << d.err;
  }
}

}  // namespace
}  // namespace vesk::dump::test
