// vesk-dump --logs: each dirty hive with logs in tests/data/logs read as its recovery by
// recover.py's separate route reads (that copy dumped with --ignore-dirty, the JSON
// compared by nlohmann's parser), a broken entry stopping recovery where it breaks,
// the refusals that name the logs, and the private views bounded by the declared size.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "clean_view.h"
#include "dump_run.h"
#include "temp_hive.h"

namespace vesk::dump::test {
namespace {

namespace fs = std::filesystem;
const fs::path kLogs = fs::path(VESK_TEST_DATA_DIR) / "logs";

Bytes slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A copy of a test folder to change, removed with the object.
struct Scratch {
  explicit Scratch(const std::string& folder)
      : dir(fs::path(vesk::test::temp_folder()) /
            ("vesk-dump-logs-" + std::to_string(::getpid()) + "-" + folder)) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (const auto& e : fs::directory_iterator(kLogs / folder)) fs::copy_file(e.path(), dir / e.path().filename());
  }
  ~Scratch() { fs::remove_all(dir); }
  fs::path dir;
};

Dumped tool(std::vector<std::string> args) { return run_vesk_dump({std::move(args)}); }

// The hive recovered by recover.py, dumped as JSON from that copy.
Dumped python_recovered(const fs::path& hive, const fs::path& out) {
  const std::string command = std::string(VESK_PYTHON) + " " VESK_RECOVER_SCRIPT " '" + hive.string() + "' '" +
                              out.string() + "' > /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return tool({"--ignore-dirty", "-f", "json", out.string()});
}

TEST(Logs, DumpEqualsTheSeparateRecovery) {
  const struct {
    const char* folder;
    const char* hive;
    std::vector<std::string> extra;  // more arguments before the hive
    int status;                      // 1 where the recovered hive holds an "ri" list
    const char* said;                // on standard error
  } rows[] = {
      {"NewDirtyHive1", "NewDirtyHive", {}, 0, "recovered: sequence numbers now 5/5"},
      {"NewDirtyHive2", "NewDirtyHive", {}, 0, "NewDirtyHive.LOG1: not used"},
      {"NewDirtyHive2", "NewDirtyHive", {"--log", "LOG2"}, 0, "3 entries applied (sequence 3 to 5)"},
      {"OldDirtyHive", "OldDirtyHive", {}, 1, "64 dirty pages applied"},
      {"BadBaseBlockHive", "BadBaseBlockHive", {}, 1, "the hive's base block checksum is wrong"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.folder) + (row.extra.empty() ? "" : " --log"));
    Scratch s(row.folder);
    const fs::path hive = s.dir / row.hive;
    std::vector<std::string> args = {"--logs", "-f", "json"};
    for (const std::string& a : row.extra) args.push_back(a == "LOG2" ? hive.string() + ".LOG2" : a);
    args.push_back(hive.string());
    const Dumped mine = tool(args);
    EXPECT_EQ(mine.status, row.status) << mine.err;
    EXPECT_NE(mine.err.find(row.said), std::string::npos) << mine.err;
    EXPECT_EQ(mine.err.find("may miss changes"), std::string::npos) << mine.err;
    const Dumped python = python_recovered(hive, s.dir / "recovered");
    EXPECT_EQ(python.status, row.status) << python.err;
    EXPECT_EQ(nlohmann::json::parse(mine.out), nlohmann::json::parse(python.out));
  }
}

// A page byte under the hash of NewDirtyHive1's LOG2 entry 4: entries 2 and 3 applied,
// the dump says where it stopped, and that the output may miss changes (status 1).
TEST(Logs, BrokenEntryStopsRecoveryThere) {
  Scratch s("NewDirtyHive1");
  const fs::path hive = s.dir / "NewDirtyHive";
  Bytes log = slurp(hive.string() + ".LOG2");
  log[0x2100] ^= 1;
  std::ofstream(hive.string() + ".LOG2", std::ios::binary)
      .write(reinterpret_cast<const char*>(log.data()), static_cast<std::streamsize>(log.size()));
  for (const bool check : {false, true}) {
    const Dumped mine = tool(check ? std::vector<std::string>{"--logs", "--check", hive.string()}
                                   : std::vector<std::string>{"--logs", "-f", "json", hive.string()});
    EXPECT_EQ(mine.status, 1) << mine.err;
    for (const char* said : {"NewDirtyHive.LOG2: the entry at log offset 0x2000 is bad: the hash of its pages is wrong; recovery stops there",
                             "recovered: sequence numbers now 3/3",
                             "the transaction logs were not applied whole: the output may miss changes"}) {
      EXPECT_NE(mine.err.find(said), std::string::npos) << mine.err;
    }
    if (!check) {
      EXPECT_EQ(nlohmann::json::parse(mine.out), nlohmann::json::parse(python_recovered(hive, s.dir / "r").out));
    }
  }
}

TEST(Logs, RefusalsNameTheLogs) {
  // Sequence numbers 5/5 but a wrong checksum, no log beside it: read as the library
  // reads it, the checksum counted as damage (status 1), not refused.
  Scratch checksum("win10-BCD-Template");
  fs::remove(checksum.dir / "BCD-Template.LOG");
  Bytes bcd = slurp(checksum.dir / "BCD-Template");
  bcd[508] ^= 1;
  std::ofstream(checksum.dir / "BCD-Template", std::ios::binary)
      .write(reinterpret_cast<const char*>(bcd.data()), static_cast<std::streamsize>(bcd.size()));
  const struct {
    std::vector<std::string> args;
    int status;
    const char* said;
  } rows[] = {
      {{(kLogs / "NewDirtyHive1/NewDirtyHive").string()}, 2,
       "its transaction logs NewDirtyHive.LOG1 and NewDirtyHive.LOG2 lie beside it: --logs applies them; --ignore-dirty"},
      {{(kLogs / "OldDirtyHive/OldDirtyHive").string()}, 2, "its transaction log OldDirtyHive.LOG1 lies beside it: --logs applies it"},
      {{"--logs", (kLogs / "BadLogHive1/BadLogHive").string()}, 2, "BadLogHive.LOG1: its header checksum is wrong"},
      {{"--logs", (kLogs / "TruncatedDirtyHive/TruncatedDirtyHive").string()}, 2, "not read: its transaction logs could not be applied"},
      {{"--logs", "--check", (kLogs / "NewDirtyHive1/NewDirtyHive").string()}, 0, "every change its logs hold"},
      {{"--logs", "--check", (kLogs / "win10-BCD-Template/BCD-Template").string()}, 0, "written out cleanly; its logs are not used"},
      {{"--logs", (kLogs / "README.md").string()}, 2, "README.md: not a hive"},  // the library's refusal
      {{"--logs", "--check", (checksum.dir / "BCD-Template").string()}, 1, "base blocks whose checksum is wrong: 1"},
      {{"--log"}, 2, "--log needs a file"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.back());
    const Dumped d = tool(row.args);
    EXPECT_EQ(d.status, row.status) << d.err;
    EXPECT_NE(d.err.find(row.said), std::string::npos) << d.err;
  }
}

// A hive padded far past its declared size costs only the declared size in either view,
// and reads the same as without the padding.
TEST(Logs, ViewsHoldOnlyTheDeclaredHive) {
  Scratch s("OldDirtyHive");
  const fs::path hive = s.dir / "OldDirtyHive";
  const Dumped before = tool({"--ignore-dirty", "-f", "json", hive.string()});
  fs::resize_file(hive, 64 << 20);
  const CleanView stands(hive.string());
  EXPECT_EQ(stands.size(), 4096u + 0x77000u) << stands.problem();
  const CleanView recovered(hive.string(), {});
  EXPECT_EQ(recovered.size(), 4096u + 0x77000u) << recovered.problem();
  EXPECT_EQ(tool({"--ignore-dirty", "-f", "json", hive.string()}).out, before.out);
  // Cut short of its declared size, the view is no larger than the file: the cut is seen.
  fs::resize_file(hive, 8192);
  EXPECT_EQ(CleanView(hive.string()).size(), 8192u);
}

}  // namespace
}  // namespace vesk::dump::test
