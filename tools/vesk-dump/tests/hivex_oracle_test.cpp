// vesk-dump's JSON against an independent reader, libhivex: the same tree, the same
// value names, types and bytes, on the sample, on generated hives of a few thousand keys
// and on real hives, and every key's last-write time. hivex gives names as UTF-8
// converted from the stored Latin-1, as the JSON does, so names compare directly. The
// timeline is checked against the JSON: every key once, newest first.
#include <gtest/gtest.h>

#include <hivex.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <tuple>
#include <type_traits>

#include "dump_run.h"
#include "json_reader.h"
#include "hive_generator.h"
#include "temp_hive.h"

namespace vesk::dump::test {
namespace {

using namespace vesk::test;

std::string hex(const char* data, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

std::string taken(char* text) {
  std::string out = text != nullptr ? text : "<hivex failed>";
  std::free(text);
  return out;
}

DumpedKey read_with_hivex(hive_h* h, hive_node_h node) {
  DumpedKey key;
  key.name = taken(hivex_node_name(h, node));
  hive_value_h* values = hivex_node_values(h, node);
  for (hive_value_h* v = values; v != nullptr && *v != 0; ++v) {
    DumpedValue value;
    value.name = taken(hivex_value_key(h, *v));
    // Types beyond hivex's enum are real (and in the sample): hold them as the integer
    // the C library writes, never as the enum.
    std::underlying_type_t<hive_type> type = 0;
    std::size_t length = 0;
    char* data = hivex_value_value(h, *v, reinterpret_cast<hive_type*>(&type), &length);
    value.type = static_cast<std::uint32_t>(type);
    value.data = hex(data, data != nullptr ? length : 0);
    std::free(data);
    key.values.push_back(std::move(value));
  }
  std::free(values);
  hive_node_h* children = hivex_node_children(h, node);
  for (hive_node_h* c = children; c != nullptr && *c != 0; ++c) {
    key.subkeys.push_back(read_with_hivex(h, *c));
  }
  std::free(children);
  return key;
}

// The FILETIME an ISO 8601 time stands for, read back through the C library's calendar.
std::optional<std::uint64_t> filetime_of(const std::string& iso) {
  std::tm tm{};
  unsigned long long ticks = 0;
  char z = 0;
  if (iso.size() != 28 ||
      std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%7llu%c", &tm.tm_year, &tm.tm_mon,
                  &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ticks, &z) != 8 ||
      z != 'Z') {
    return std::nullopt;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  const std::int64_t unix_seconds = timegm(&tm);
  return static_cast<std::uint64_t>(unix_seconds + 11644473600) * 10000000 + ticks;
}

// The first key, by position, whose time is not hivex's node_timestamp, or "".
std::string first_time_difference(hive_h* h, hive_node_h node, const DumpedKey& dumped,
                                  const std::string& path) {
  const auto expected = static_cast<std::uint64_t>(hivex_node_timestamp(h, node));
  std::uint64_t shown = 0;
  if (dumped.last_written) {
    shown = filetime_of(*dumped.last_written).value_or(~expected);
  } else if (dumped.last_written_filetime) {
    shown = std::strtoull(dumped.last_written_filetime->c_str(), nullptr, 16);
  }
  if (shown != expected || (expected == 0) != (!dumped.last_written && !dumped.last_written_filetime)) {
    return path + ": " + dumped.last_written.value_or("null") + " against FILETIME " +
           std::to_string(expected);
  }
  hive_node_h* children = hivex_node_children(h, node);
  std::string difference;
  std::size_t i = 0;
  for (hive_node_h* c = children; c != nullptr && *c != 0 && difference.empty(); ++c, ++i) {
    if (i >= dumped.subkeys.size()) {
      difference = path + ": fewer subkeys than hivex";
    } else {
      difference = first_time_difference(h, *c, dumped.subkeys[i], path + "\\" + dumped.subkeys[i].name);
    }
  }
  std::free(children);
  return difference;
}

struct TimelineRow {
  std::string time;
  std::string path;
  std::size_t subkeys;
  std::size_t values;
  auto tied() const { return std::tie(time, path, subkeys, values); }
  bool operator<(const TimelineRow& o) const { return tied() < o.tied(); }
  bool operator==(const TimelineRow& o) const { return tied() == o.tied(); }
};

void rows_of(const DumpedKey& key, const std::string& path, std::vector<TimelineRow>& rows) {
  rows.push_back({key.last_written.value_or("zero"), path, key.subkeys.size(), key.values.size()});
  // A key whose name cannot be read is named by its place in the list (these hives have
  // no damaged lists, so every subkey of the list is dumped).
  for (std::size_t i = 0; i < key.subkeys.size(); ++i) {
    const DumpedKey& k = key.subkeys[i];
    const std::string marker = "<key " + std::to_string(i) + ": " + k.unreadable.value_or("") + ">";
    rows_of(k, path + "\\" + (k.unreadable ? marker : k.name), rows);
  }
}

// The timeline of the hive, read as CSV: the JSON's keys, each once, newest first.
void expect_timeline_of(const std::string& path, const DumpedKey& dumped) {
  ToolRun run;
  run.args = {"--format", "timeline", path};
  const Dumped d = run_vesk_dump(run);
  ASSERT_LE(d.status, 1) << d.err;
  std::istringstream lines(d.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "last_written,path,subkeys,values,not_read");
  std::vector<TimelineRow> listed;
  while (std::getline(lines, line)) {
    // No name in these hives holds a quote, so a quoted path is the text between quotes.
    TimelineRow row;
    // Nothing is left out of these hives: not_read, the last field, is empty.
    EXPECT_EQ(line.back(), ',') << line;
    line.pop_back();
    const std::size_t first = line.find(',');
    const std::size_t last = line.rfind(',');
    const std::size_t middle = line.rfind(',', last - 1);
    row.time = line.substr(0, first);
    row.path = line.substr(first + 1, middle - first - 1);
    if (row.path.size() >= 2 && row.path.front() == '"') row.path = row.path.substr(1, row.path.size() - 2);
    row.subkeys = std::stoul(line.substr(middle + 1, last - middle - 1));
    row.values = std::stoul(line.substr(last + 1));
    listed.push_back(row);
  }
  EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end(),
                             [](const TimelineRow& a, const TimelineRow& b) {
                               // A zero time is listed last.
                               return a.time != "zero" && (b.time == "zero" || a.time > b.time);
                             }));
  std::vector<TimelineRow> expected;
  rows_of(dumped, dumped.name, expected);
  std::sort(listed.begin(), listed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(listed.size(), expected.size());
  EXPECT_TRUE(listed == expected);
}

void expect_same_as_hivex(const std::string& path, const Bytes* hive) {
  hive_h* h = hivex_open(path.c_str(), 0);
  ASSERT_NE(h, nullptr) << "hivex cannot open " << path;
  const DumpedKey expected = read_with_hivex(h, hivex_root(h));
  hivex_close(h);

  ToolRun run;
  run.args = {"--format", "json", hive != nullptr ? "HIVE" : path};
  run.hive = hive;
  const Dumped d = run_vesk_dump(run);
  ASSERT_EQ(d.status, 0) << d.err;
  std::string error;
  const std::optional<DumpedKey> dumped = read_dump_json(d.out, error);
  ASSERT_TRUE(dumped) << error;
  EXPECT_EQ(first_difference(*dumped, expected), "");
}

// Times of every key against hivex, and the timeline against the JSON. Hives with names
// the library cannot read whole still have their times checked, key by position.
void expect_times_as_hivex(const std::string& path) {
  ToolRun run;
  run.args = {"--format", "json", path};
  const Dumped d = run_vesk_dump(run);
  ASSERT_LE(d.status, 1) << d.err;
  std::string error;
  const std::optional<DumpedKey> dumped = read_dump_json(d.out, error);
  ASSERT_TRUE(dumped) << error;
  hive_h* h = hivex_open(path.c_str(), 0);
  ASSERT_NE(h, nullptr) << "hivex cannot open " << path;
  EXPECT_EQ(first_time_difference(h, hivex_root(h), *dumped, dumped->name), "");
  hivex_close(h);
  expect_timeline_of(path, *dumped);
}

TEST(HivexOracleTest, Sample) {
  expect_same_as_hivex(VESK_EXAMPLES_DIR "/sample.hiv", nullptr);
  expect_times_as_hivex(VESK_EXAMPLES_DIR "/sample.hiv");
}

TEST(HivexOracleTest, GeneratedHives) {
  for (std::uint64_t seed : {1, 2, 3}) {
    SCOPED_TRACE(seed);
    HiveRecipe recipe;
    recipe.seed = seed;
    recipe.keys = 4000;
    const Bytes bytes = generate_hive(recipe).bytes;
    TempHive file(bytes);  // hivex reads it where vesk-dump does
    expect_same_as_hivex(file.path(), nullptr);
  }
}

TEST(HivexOracleTest, RealHives) {
  for (const char* name : {"dfwinreg-NTUSER.DAT", "dfirmuseum-win7-BCD"}) {
    SCOPED_TRACE(name);
    expect_same_as_hivex(std::string(VESK_TEST_DATA_DIR) + "/hives/" + name, nullptr);
  }
}

// Every real hive the library reads (the 1.5 one it refuses).
TEST(HivexOracleTest, RealHivesTimes) {
  for (const char* name :
       {"dfwinreg-NTUSER.DAT", "dfirmuseum-win7-BCD", "python-registry-UNICODE_TESTS"}) {
    SCOPED_TRACE(name);
    expect_times_as_hivex(std::string(VESK_TEST_DATA_DIR) + "/hives/" + name);
  }
}

}  // namespace
}  // namespace vesk::dump::test
