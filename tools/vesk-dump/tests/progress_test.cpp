// The progress line with a clock the test sets: silent at first, then throttled, and
// erased in place.
#include "progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vesk::dump {
namespace {

TEST(ProgressTest, WaitsThenThrottlesThenErases) {
  double now = 100.0;
  std::ostringstream err;
  Progress progress(err, true, [&now] { return now; });
  auto calls = [&progress](std::int64_t keys, std::int64_t values, int n) {
    for (int i = 0; i < n; ++i) progress.update(keys, values);
  };
  calls(1, 1, 200);  // the clock has not moved: nothing yet
  EXPECT_EQ(err.str(), "");
  now += Progress::kFirstAfter;
  calls(12345, 67890, static_cast<int>(Progress::kCallsPerLook));
  EXPECT_EQ(err.str(), "\r12345 keys, 67890 values");
  calls(99999, 99999, static_cast<int>(Progress::kCallsPerLook));  // too soon again
  EXPECT_EQ(err.str(), "\r12345 keys, 67890 values");
  now += Progress::kEvery;
  calls(20000, 70000, static_cast<int>(Progress::kCallsPerLook));
  EXPECT_EQ(err.str(), "\r12345 keys, 67890 values\r20000 keys, 70000 values");
  progress.clear();
  const std::string erased = "\r12345 keys, 67890 values\r20000 keys, 70000 values\r" +
                             std::string(24, ' ') + "\r";
  EXPECT_EQ(err.str(), erased);
  progress.clear();  // nothing shown: nothing to erase
  EXPECT_EQ(err.str(), erased);
}

TEST(ProgressTest, AShorterLineCoversTheLongerOne) {
  double now = 0;
  std::ostringstream err;
  Progress progress(err, true, [&now] { return now; });
  now = 1;
  progress.update(1000000, 1000000);
  now = 2;
  for (int i = 0; i < Progress::kCallsPerLook; ++i) progress.update(5, 5);
  EXPECT_EQ(err.str(), "\r1000000 keys, 1000000 values\r5 keys, 5 values" + std::string(12, ' '));
}

TEST(ProgressTest, DisabledShowsNothing) {
  std::ostringstream err;
  Progress progress(err, false, [] { return 1e9; });
  for (int i = 0; i < 1000; ++i) progress.update(i, i);
  progress.clear();
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace vesk::dump
