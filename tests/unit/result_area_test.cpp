// The result area: where each text lands, how results follow each other, and that
// nothing is written outside the 64000 bytes however long or many the results are.
#include <gtest/gtest.h>

#include <string>

#include "result_area.h"

namespace vesk::test {
namespace {

using namespace vesk::frame;

TEST(ResultAreaTest, EmptyResultsShareTheCursor) {
  const char* a = return_empty();
  const char* b = return_empty();
  EXPECT_EQ(a, b);
  EXPECT_EQ(return_text(nullptr), a);
  EXPECT_EQ(return_text(""), a);
  EXPECT_STREQ(a, "");
}

TEST(ResultAreaTest, ConsecutiveResultsConcatenate) {
  const char* a = return_text("abc");
  const char* b = return_text("de");
  EXPECT_EQ(b, a + 3);
  EXPECT_STREQ(a, "abcde");
  const char* c = return_bounded("fghij", 4);
  EXPECT_EQ(c, b + 2);
  EXPECT_STREQ(c, "fghi");
  EXPECT_STREQ(return_bounded("k\0lm", 4), "k");
  EXPECT_STREQ(return_bounded("xyz", 0), "");
}

TEST(ResultAreaTest, TextThatDoesNotFitStartsAgainAtTheFront) {
  const std::string chunk(1000, 'q');
  const char* first = return_text(chunk.c_str());
  const char* area_end = first;  // found below as the highest address reached
  const char* lowest = first;
  for (int i = 0; i < 200; ++i) {
    const char* p = return_text(chunk.c_str());
    ASSERT_STREQ(p, chunk.c_str());  // each result is whole when returned
    if (p < lowest) lowest = p;
    if (p > area_end) area_end = p;
  }
  // The results wrapped around inside one block of kResultAreaBytes.
  EXPECT_LE(area_end + chunk.size() + 1 - lowest, static_cast<std::size_t>(kResultAreaBytes));
}

TEST(ResultAreaTest, TextLongerThanTheAreaIsCut) {
  const std::string huge(200000, 'h');
  const char* p = return_text(huge.c_str());
  EXPECT_EQ(std::string(p), std::string(kResultTextMaxBytes, 'h'));
  const char* next = return_text("z");
  EXPECT_STREQ(next, "z");  // and the area is usable straight after
}

TEST(ResultAreaTest, SpaceBufferIsSpacesThenNul) {
  SpaceBuffer five(5);
  ASSERT_NE(five.data(), nullptr);
  EXPECT_STREQ(five.data(), "     ");
  SpaceBuffer zero(0);
  ASSERT_NE(zero.data(), nullptr);
  EXPECT_STREQ(zero.data(), "");
  SpaceBuffer negative(-3);
  EXPECT_EQ(negative.data(), nullptr);
}

}  // namespace
}  // namespace vesk::test
