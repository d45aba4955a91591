// The judging of one list's elements, without a hive: each place and signature gets its
// own answer, and consecutive failures make one finding counted under both their kinds.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "layout.h"
#include "list_scan.h"
#include "messages.h"

namespace vesk::dump {
namespace {

using namespace vesk::format;

struct Recorded : Findings {
  void add(const Finding& f) override { seen.push_back(f); }
  std::vector<Finding> seen;
};

const Extent kCut{8192, 16384};  // a file cut short of the hive its base block declares

TEST(ListScanTest, EachElementGetsItsOwnAnswer) {
  struct Row {
    const char* what;
    std::uint32_t at;
    std::uint16_t signature;
    Element expected;
  };
  const Row rows[] = {
      {"a key node inside the file", 4132, kSigNk, Element::kSound},
      {"a value node in a subkey list", 4132, kSigVk, Element::kWrongKind},
      {"before the first cell", 4100, kSigNk, Element::kNoCell},
      {"off the 8-byte grid", 4136, kSigNk, Element::kNoCell},
      {"in the part the cut file lost", 8196, kSigNk, Element::kPastEnd},
      {"beyond the hive", 20004, kSigNk, Element::kNoCell},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Recorded findings;
    LostPastEnd lost;
    ListScan scan(Items::kSubkeys, 2, 2);
    EXPECT_EQ(scan.judge({kCut, findings, lost}, "R", scan.take(), row.at, row.signature),
              row.expected);
  }
}

TEST(ListScanTest, ARunOfFailuresIsOneFinding) {
  Recorded findings;
  LostPastEnd lost;
  const ListContext context{kCut, findings, lost};
  ListScan scan(Items::kValues, 5, 3);
  scan.judge(context, "R", scan.take(), 4100, kSigVk);  // no cell
  scan.judge(context, "R", scan.take(), 4140, kSigNk);  // no value node
  scan.judge(context, "R", scan.take(), 4148, kSigVk);  // sound: the run is reported
  scan.judge(context, "R", scan.take(), 4100, kSigVk);  // past the trusted count: the end
  EXPECT_FALSE(scan.more());
  ASSERT_EQ(findings.seen.size(), 2u);
  const auto fields = [](const Finding& f) {
    const SkippedRun& r = std::get<SkippedRun>(f);
    return std::make_tuple(r.first, r.last, r.first_at, r.no_cell, r.no_cell_at, r.no_node,
                           r.no_node_at, r.unread);
  };
  EXPECT_EQ(fields(findings.seen[0]), std::make_tuple(0, 1, 4100u, 1, 4100u, 1, 4140u, 0));
  EXPECT_EQ(fields(findings.seen[1]), std::make_tuple(3, 3, 4100u, 1, 4100u, 0, 0u, 1));
  EXPECT_EQ(sentence(findings.seen[1]),
            "key R: value 3 points to no cell in the file (at 0x00001004); skipped, and the "
            "list's last 1 value not read");
}

}  // namespace
}  // namespace vesk::dump
