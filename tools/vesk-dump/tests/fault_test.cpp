// A disk that fails and a file cut short under vesk-dump, one read at a time (the test
// kit's armed faults): a whole dump either comes out as the clean run's or ends in status
// 1 naming the cause (2 when the read that failed was of the base block or the root key,
// which leaves nothing to dump: a refusal that names the read error); --check never finds
// no damage after a failed read. Below, the
// library's side of it: the system's error reaches the host of every export that reads.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "api_test.h"
#include "dump_run.h"
#include "json_reader.h"
#include "system_calls.h"
#include "temp_hive.h"
#include "thread_locale.h"
#include "vesk_10.h"

namespace vesk::dump::test {
namespace {

using vesk::test::ArmedFault;
using vesk::test::Fault;
using vesk::test::FaultPlan;

const std::string kHives = std::string(VESK_TEST_DATA_DIR) + "/hives/";
constexpr char kChanged[] = "the file changed while it was read";
constexpr char kNoDamage[] = "no damage found";
constexpr char kMarked[] = "a read of the file failed";  // in the output, where it failed

struct Row {
  const char* what;
  const char* hive;
  bool check;  // --check: its summary is what the run produces
  Fault fault;
  int runs;  // how many reads to fault, spread evenly; 0: every one
};

const Row kRows[] = {
    {"JSON, EIO", "dfirmuseum-win7-BCD", false, Fault::kError, 0},
    {"JSON, short read", "dfirmuseum-win7-BCD", false, Fault::kShortRead, 0},
    {"JSON, cut", "dfirmuseum-win7-BCD", false, Fault::kCut, 0},
    {"--check, EIO", "dfirmuseum-win7-BCD", true, Fault::kError, 0},
    {"--check, EIO, a larger hive", "dfwinreg-NTUSER.DAT", true, Fault::kError, 90},
    {"--check, cut, a larger hive", "dfwinreg-NTUSER.DAT", true, Fault::kCut, 90},
};

Dumped dump_with(const std::string& path, const Options& options, const FaultPlan& plan,
                 std::int64_t* reads = nullptr) {
  ArmedFault armed(path, plan);
  EXPECT_TRUE(armed.armed()) << path;
  Dumped d = dump_path(path, options);
  if (reads != nullptr) *reads = armed.reads();
  return d;
}

bool names_cause(const std::string& err, Fault fault) {
  const bool read_error = err.find(std::strerror(EIO)) != std::string::npos;
  const bool changed = err.find(kChanged) != std::string::npos;
  switch (fault) {
    case Fault::kError: return read_error;
    case Fault::kCut: return changed;
    default: return read_error || changed;
  }
}

// Whether standard error says anything beside the cause: the hive is sound, so any
// damage named is what a failed read or a cut gave, judged as if it were the file.
bool says_more(const std::string& err, bool check, Fault fault) {
  if (check) return err.find("damage found") != std::string::npos;
  std::size_t start = 0;
  while (start < err.size()) {
    const std::size_t end = err.find('\n', start);
    if (!names_cause(err.substr(start, end - start), fault)) return true;
    start = end == std::string::npos ? err.size() : end + 1;
  }
  return false;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.what; }

class FaultTest : public ::testing::TestWithParam<Row> {};

TEST_P(FaultTest, EveryFaultedReadGivesTheCleanOutputOrNamesTheCause) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.what);
  const std::string path = kHives + row.hive;
  Options options;
  options.format = Format::kJson;
  options.check = row.check;
  std::int64_t reads = 0;
  const Dumped clean = dump_with(path, options, {}, &reads);
  ASSERT_EQ(clean.status, kDumped) << clean.err;
  ASSERT_GT(reads, 0);
  const std::string& clean_result = row.check ? clean.err : clean.out;

  const std::int64_t step = row.runs == 0 ? 1 : std::max<std::int64_t>(1, reads / row.runs);
  int runs = 0;
  int by_status[4] = {0, 0, 0, 0};  // 0, 1, 2, anything else
  int differing = 0;                // status 0 with output unlike the clean run's
  int no_damage = 0;                // --check: "no damage found" after a failed read
  std::vector<std::string> bad;
  for (std::int64_t n = 1; n <= reads; n += step) {
    FaultPlan plan;
    plan.fault = row.fault;
    plan.at_read = n;
    const Dumped d = dump_with(path, options, plan);
    ++runs;
    ++by_status[d.status >= 0 && d.status <= 2 ? d.status : 3];
    const std::string& result = row.check ? d.err : d.out;
    std::string wrong;
    if (d.status == kDumped && result != clean_result) {
      ++differing;
      wrong = "status 0, output unlike the clean run's";
    } else if ((d.status == kDumpedWithDamage || d.status == kRefused) &&
               !names_cause(d.err, row.fault)) {
      wrong = "status " + std::to_string(d.status) + " without the cause";
    } else if (d.status != kDumped && d.status != kDumpedWithDamage && d.status != kRefused) {
      wrong = "status " + std::to_string(d.status);
    } else if (d.status != kDumped && says_more(d.err, row.check, row.fault)) {
      wrong = "damage named beside the cause";
    } else if (!row.check && row.fault == Fault::kError && d.status == kDumpedWithDamage &&
               d.out != clean.out && d.out.find(kMarked) == std::string::npos) {
      wrong = "what the failed read held is not marked in the output";
    }
    std::string json_error;
    if (wrong.empty() && !row.check && d.status == kDumpedWithDamage &&
        !read_dump_json(d.out, json_error)) {
      wrong = "the JSON breaks: " + json_error;
    }
    if (row.check && row.fault == Fault::kError && d.err.find(kNoDamage) != std::string::npos) {
      ++no_damage;
      if (wrong.empty()) wrong = "\"no damage found\" after a failed read";
    }
    if (!wrong.empty()) {
      bad.push_back("read " + std::to_string(n) + ": " + wrong + "; " +
                    d.err.substr(0, d.err.find('\n')));
    }
  }
  std::printf("%s (%s): %d runs of %lld reads; status 0: %d, 1: %d, 2: %d, other: %d; "
              "status 0 unlike the clean output: %d; \"no damage found\" after EIO: %d\n",
              row.what, row.hive, runs, static_cast<long long>(reads), by_status[0],
              by_status[1], by_status[2], by_status[3], differing, no_damage);
  std::string shown;
  for (std::size_t i = 0; i < bad.size() && i < 5; ++i) shown += "\n  " + bad[i];
  EXPECT_TRUE(bad.empty()) << bad.size() << " of " << runs << " runs went wrong:" << shown;
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultTest, ::testing::ValuesIn(kRows));

// The library's part: a read the system refuses leaves its errno to the host, and nothing
// else in the call does. A walked hive, then each export that reads, its reads faulted in turn.
struct Walk {
  HiveHandle* hive = nullptr;
  KeyRecord root{};
  KeyListRecord subkeys{};
  KeyRecord subkey{};
  ValueListRecord values{};
  ValueRecord value[3]{};  // a text the C locale cannot write, binary data, 8 bytes
};

vesk::test::Bytes errno_hive() {
  using namespace vesk::test;
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_key("Sub", root);
  b.add_value(root, "Text", kTypeString, utf16z("caf\u00e9 cr\u00e8me"));
  b.add_value(root, "Bin", kTypeBinary, Bytes(100, 0x5A));
  b.add_value(root, "Eight", kTypeBinary, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  return b.bytes();
}

struct Call {
  const char* what;
  std::function<void(Walk&)> run;
};

const Call kCalls[] = {
    {"OpenRegistryFile", {}},
    {"SearchRootKey", [](Walk& w) { SearchRootKey(w.hive, &w.root); }},
    {"GetRegKeyName", [](Walk& w) { GetRegKeyName(w.hive, &w.root); }},
    {"GetSubKeyList", [](Walk& w) { GetSubKeyList(w.hive, &w.root, &w.subkeys); }},
    {"GetSubKey", [](Walk& w) { GetSubKey(w.hive, &w.subkeys, 0, &w.subkey); }},
    {"GetValue", [](Walk& w) { GetValue(w.hive, &w.values, 0, &w.value[0]); }},
    {"GetValueName", [](Walk& w) { GetValueName(w.hive, &w.value[0]); }},
    {"GetValueString", [](Walk& w) { GetValueString(w.hive, &w.value[0]); }},
    {"GetValueData",
     [](Walk& w) {
       unsigned char data[100];
       GetValueData(w.hive, &w.value[1], data);
     }},
    {"GetValueDword", [](Walk& w) { GetValueDword(w.hive, &w.value[2]); }},
};

TEST(ReadErrorTest, TheSystemsErrorReachesTheHostOfEveryExportThatReads) {
  vesk::test::TempHive file(errno_hive());
  vesk::test::ThreadLocale c_locale("C");  // "é" has no form here: the conversion fails
  Walk w;
  w.hive = OpenRegistryFile(file.path());
  ASSERT_NE(w.hive, nullptr);
  ASSERT_EQ(SearchRootKey(w.hive, &w.root), 1);
  ASSERT_EQ(GetSubKeyList(w.hive, &w.root, &w.subkeys), 1);
  GetSubKey(w.hive, &w.subkeys, 0, &w.subkey);
  ASSERT_EQ(GetValueList(w.hive, &w.root, &w.values), 3);
  for (int i = 0; i < 3; ++i) GetValue(w.hive, &w.values, i, &w.value[i]);

  for (const Call& call : kCalls) {
    SCOPED_TRACE(call.what);
    const auto run = [&] {
      if (call.run) {
        call.run(w);
        return;
      }
      CloseRegistryFile(OpenRegistryFile(file.path()));
    };
    std::int64_t reads = 0;
    {
      ArmedFault counting(file.path(), {});
      errno = 0;
      run();
      reads = counting.reads();
      EXPECT_EQ(errno, 0) << "a call whose reads all succeed leaves errno alone";
    }
    ASSERT_GT(reads, 0);
    struct Case {
      Fault fault;
      int error;
      int expected;
    };
    const Case cases[] = {{Fault::kError, EIO, EIO},
                          {Fault::kError, ENXIO, ENXIO},
                          {Fault::kError, EINTR, 0},  // taken again, and then it succeeds
                          {Fault::kShortRead, 0, 0},
                          {Fault::kCut, 0, 0}};
    for (std::int64_t n = 1; n <= reads; ++n) {
      for (const Case& c : cases) {
        FaultPlan plan;
        plan.fault = c.fault;
        plan.at_read = n;
        plan.error = c.error;
        ArmedFault armed(file.path(), plan);
        errno = 0;
        run();
        EXPECT_TRUE(armed.fired());
        EXPECT_EQ(errno, c.expected) << "read " << n << " of " << reads << ", fault "
                                     << static_cast<int>(c.fault) << " errno " << c.error;
      }
    }
  }
  CloseRegistryFile(w.hive);
}

}  // namespace
}  // namespace vesk::dump::test
