// Every seed in fuzz/corpus/ and every input a fuzzer ever broke (fuzz/regressions/),
// dumped in every format: each dump returns one of its statuses, sanitizers silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "dump.h"

namespace vesk::dump::test {
namespace {

TEST(ReplayTest, EveryFuzzInputIsDumpedCleanly) {
  for (const char* folder : {"corpus", "regressions"}) {
    std::vector<std::string> paths;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(VESK_FUZZ_DIR) + "/" + folder)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name != "README.md") paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
      for (const Format format : {Format::kReg, Format::kJson, Format::kTree}) {
        SCOPED_TRACE(path + " in format " + std::to_string(static_cast<int>(format)));
        Options options;
        options.format = format;
        std::ostringstream out, err;
        const int status = dump_file(path, options, out, err);
        EXPECT_TRUE(status >= 0 && status <= 2) << status;
      }
    }
  }
}

}  // namespace
}  // namespace vesk::dump::test
