// Every seed in fuzz/corpus/ and every input a fuzzer ever broke (fuzz/regressions/),
// replayed through the walk the library fuzzer does: each returns, sanitizers silent, no
// promise broken.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "api_test.h"
#include "host_walk.h"

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

INSTANTIATE_TEST_SUITE_P(Fuzz, ReplayTest, ::testing::Values("corpus", "regressions"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace vesk::test
