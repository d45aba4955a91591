// Every seed in fuzz/corpus/ and every input a fuzzer ever broke (fuzz/regressions/),
// replayed through the walk the library fuzzer does and, where vesk-dump is part of the
// build, through its walker: each returns, sanitizers silent, no promise broken.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/host_walk.h"
#include "tests/support/api_test.h"
#ifdef VESK_HAVE_DUMP
#include "fuzz/dump_every_format.h"
#endif

namespace vesk::test {
namespace {

// The inputs kept in a folder of fuzz/, in name order; notes about them are not inputs.
std::vector<std::string> inputs_in(const char* folder) {
  std::vector<std::string> paths;
  const std::string path = std::string(VESK_FUZZ_DIR) + "/" + folder;
  for (const auto& entry : std::filesystem::directory_iterator(path)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name != "README.md" && name[0] != '.') {
      paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

class ReplayTest : public ApiTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ReplayTest, EveryInputIsWalkedCleanly) {
  const std::vector<std::string> paths = inputs_in(GetParam());
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    HiveHandle* h = vesk().OpenRegistryFile(path.c_str());
    if (h == nullptr) continue;
    const WalkTally tally = walk_hive(vesk(), h, kFuzzWalkLimits);
    EXPECT_TRUE(tally.broken.empty()) << tally.broken.front();
    EXPECT_EQ(vesk().CloseRegistryFile(h), 0);
  }
  RecordProperty("inputs", static_cast<int>(paths.size()));
}

#ifdef VESK_HAVE_DUMP
TEST_P(ReplayTest, EveryInputIsDumpedCleanly) {
  for (const std::string& path : inputs_in(GetParam())) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(fuzz::dump_every_format(path));
  }
}
#endif

INSTANTIATE_TEST_SUITE_P(Fuzz, ReplayTest, ::testing::Values("corpus", "regressions"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace vesk::test
