// Thousands of opens, walks and closes of valid, refused and missing hives: afterwards the
// process holds no more file descriptors and no more heap than after the first round.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>

#include "api_test.h"
#include "host_walk.h"
#include "layout.h"
#include "sample_hive.h"

#ifdef __linux__
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VESK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_UNDER_ASAN 1
#endif
#endif

#ifdef VESK_UNDER_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace vesk::test {
namespace {

using namespace vesk::format;

#ifdef __linux__
#ifdef VESK_UNDER_ASAN
// ASan's heap (glibc's stays unused), counted exactly.
std::size_t heap_in_use() { return __sanitizer_get_current_allocated_bytes(); }
bool heap_counted_exactly() { return true; }
#else
std::size_t heap_in_use() { return mallinfo2().uordblks; }
// glibc keeps up to seven freed blocks of each small size in a per-thread cache that
// mallinfo2 counts as in use, so the count is exact only with that cache turned off, as
// CTest runs this test: GLIBC_TUNABLES=glibc.malloc.tcache_count=0.
bool heap_counted_exactly() {
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  return tunables != nullptr && std::strstr(tunables, "glibc.malloc.tcache_count=0") != nullptr;
}
#endif

long descriptors_in_use() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<long>(std::distance(begin(fds), end(fds)));
}

class LeakTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    Bytes minor_2 = valid_.bytes;
    minor_2[kBaseMinorVersionAt] = 2;
    Bytes not_regf = valid_.bytes;
    not_regf[kBaseSignatureAt] = 'x';
    Bytes short_file = valid_.bytes;
    short_file.resize(kBaseBlockBytes - 1);
    for (const Bytes& b : {valid_.bytes, minor_2, not_regf, short_file}) {
      files_.push_back(std::make_unique<TempHive>(b));
    }
  }

  // One round: the sample walked through two handles, a real hive walked, then every
  // kind of refusal. Every hundredth round walks the large real hive too.
  void round(int number) {
    HiveHandle* first = vesk().OpenRegistryFile(files_[0]->path());
    HiveHandle* second = vesk().OpenRegistryFile(files_[0]->path());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    walk_cleanly(first, 4);
    vesk().CloseRegistryFile(first);  // not the newest: unlinked from the middle
    walk_cleanly(second, 4);
    vesk().CloseRegistryFile(second);
    walk_real("python-registry-UNICODE_TESTS", 3);
    if (number % 100 == 0) walk_real("dfwinreg-NTUSER.DAT", 1597);
    for (std::size_t i = 1; i < files_.size(); ++i) {
      ASSERT_EQ(vesk().OpenRegistryFile(files_[i]->path()), nullptr);
    }
    ASSERT_EQ(vesk().OpenRegistryFile("/nonexistent/vesk/hive"), nullptr);
    ASSERT_EQ(vesk().OpenRegistryFile(temp_folder().c_str()), nullptr);
    ASSERT_EQ(vesk().OpenRegistryFile(nullptr), nullptr);
  }

  void walk_cleanly(HiveHandle* h, std::int64_t keys) {
    const WalkTally tally = walk_hive(vesk(), h);
    ASSERT_EQ(tally.keys, keys);
    ASSERT_TRUE(tally.broken.empty()) << tally.broken.front();
  }

  void walk_real(const char* name, std::int64_t keys) {
    const std::string path = std::string(VESK_TEST_DATA_DIR) + "/hives/" + name;
    HiveHandle* h = vesk().OpenRegistryFile(path.c_str());
    ASSERT_NE(h, nullptr) << path;
    walk_cleanly(h, keys);
    vesk().CloseRegistryFile(h);
  }

  const SampleHive valid_ = make_sample_hive();
  std::vector<std::unique_ptr<TempHive>> files_;
};

TEST_F(LeakTest, ThousandsOfRoundsHoldNoMoreThanTheFirst) {
  round(0);  // what the first use sets up for good is the baseline
  const long descriptors = descriptors_in_use();
  const std::size_t heap = heap_in_use();
  constexpr int kRounds = 2000;  // 20000 opens, 6020 walks
  for (int i = 1; i <= kRounds && !HasFatalFailure(); ++i) round(i);
  EXPECT_EQ(descriptors_in_use(), descriptors);
  if (heap_counted_exactly()) {
    EXPECT_LE(heap_in_use(), heap);
  } else {
    std::printf("heap not compared: glibc's thread cache is on (run it through ctest)\n");
  }
}
#endif

}  // namespace
}  // namespace vesk::test
