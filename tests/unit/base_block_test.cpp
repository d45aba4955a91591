// The base-block rules are applied in a fixed order and the first one broken is named,
// so a tool can say exactly why a file was refused.
#include <gtest/gtest.h>

#include <fstream>

#include "api_test.h"
#include "base_block.h"
#include "byte_order.h"
#include "layout.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

struct OrderCase {
  const char* what;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pokes;  // offset, value
  std::int32_t size;
  BaseBlockVerdict verdict;
};

class BaseBlockTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(BaseBlockTest, FirstBrokenRuleIsNamed) {
  const OrderCase& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  b.add_root("ROOT");
  for (const auto& [at, v] : row.pokes) b.poke_u32(at, v);
  const Bytes file = b.bytes();
  EXPECT_EQ(check_base_block(file.data(), row.size), row.verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Order, BaseBlockTest,
    ::testing::Values(
        OrderCase{"good", {}, 8192, BaseBlockVerdict::kAccepted},
        OrderCase{"short file beats everything", {{kBaseSignatureAt, 0}}, 4095,
                  BaseBlockVerdict::kTooShort},
        OrderCase{"unknown size", {}, -1, BaseBlockVerdict::kTooShort},
        OrderCase{"signature before sequence",
                  {{kBaseSignatureAt, 0}, {kBasePrimarySequenceAt, 9}}, 8192,
                  BaseBlockVerdict::kBadSignature},
        OrderCase{"sequence before version",
                  {{kBasePrimarySequenceAt, 9}, {kBaseMinorVersionAt, 5}}, 8192,
                  BaseBlockVerdict::kSequenceMismatch},
        OrderCase{"major before minor", {{kBaseMajorVersionAt, 2}, {kBaseMinorVersionAt, 5}},
                  8192, BaseBlockVerdict::kBadMajorVersion},
        OrderCase{"minor before type", {{kBaseMinorVersionAt, 5}, {kBaseFileTypeAt, 1}}, 8192,
                  BaseBlockVerdict::kBadMinorVersion},
        OrderCase{"type before format", {{kBaseFileTypeAt, 1}, {kBaseFileFormatAt, 0}}, 8192,
                  BaseBlockVerdict::kBadFileType},
        OrderCase{"format before clustering",
                  {{kBaseFileFormatAt, 0}, {kBaseClusteringAt, 0}}, 8192,
                  BaseBlockVerdict::kBadFileFormat},
        OrderCase{"clustering last", {{kBaseClusteringAt, 2}}, 8192,
                  BaseBlockVerdict::kBadClustering}),
    RowIndex());

// Windows wrote these hives, and with them the checksum a clean copy must carry.
TEST(BaseBlockChecksumTest, IsWhatWindowsStored) {
  for (const char* name : {"dfwinreg-NTUSER.DAT", "dfirmuseum-win7-BCD",
                           "python-registry-UNICODE_TESTS", "dfirmuseum-win10-ELAM"}) {
    SCOPED_TRACE(name);
    std::ifstream in(std::string(VESK_TEST_DATA_DIR) + "/hives/" + name, std::ios::binary);
    unsigned char block[kBaseCopiedBytes] = {};
    ASSERT_TRUE(in.read(reinterpret_cast<char*>(block), sizeof block));
    EXPECT_EQ(base_block_checksum(block), load_le32(block + kBaseChecksumAt));
  }
}

}  // namespace
}  // namespace vesk::test
