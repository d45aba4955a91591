// The committed seed corpus is exactly what its recipe makes, so that it can always be
// made again (build/release/fuzz/vesk_make_corpus fuzz/corpus) and nothing in it is
// of unknown origin.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "seeds.h"

namespace vesk::test {
namespace {

TEST(SeedsTest, CommittedCorpusIsWhatTheRecipeMakes) {
  const std::string folder = std::string(VESK_FUZZ_DIR) + "/corpus";
  std::set<std::string> made;
  for (const fuzz::Seed& seed : fuzz::seed_hives()) {
    SCOPED_TRACE(seed.name);
    EXPECT_TRUE(made.insert(seed.name).second) << "two seeds of one name";
    std::ifstream in(folder + "/" + seed.name, std::ios::binary);
    ASSERT_TRUE(in) << "missing; run vesk_make_corpus " << folder;
    const Bytes committed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(committed == seed.bytes) << "differs; run vesk_make_corpus " << folder;
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "README.md") {
      EXPECT_EQ(made.count(name), 1u) << name << " has no recipe";
    }
  }
}

}  // namespace
}  // namespace vesk::test
