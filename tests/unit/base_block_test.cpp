// The refusal rules (vesk/base_block.hpp): the one test of every reason's key, order and
// words, which vesk-dump prints and the Python module's own table is held to; the order
// in which the rules are applied, with the numbers each refusal shows; and the checksum.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>

#include "api_test.h"
#include "base_block.h"
#include "byte_order.h"
#include "layout.h"
#include "vesk/base_block.hpp"

namespace vesk::test {
namespace {

using namespace vesk::format;
using base_block::Reason;
using base_block::Refusal;

std::optional<Refusal> refusal(Reason reason, std::int64_t a = 0, std::int64_t b = 0) {
  return Refusal{reason, {a, b}};
}

bool same(const std::optional<Refusal>& a, const std::optional<Refusal>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  return a->reason == b->reason && a->numbers[0] == b->numbers[0] &&
         a->numbers[1] == b->numbers[1];
}

// Every row, in the table's order, with the sentence it makes from the numbers given.
TEST(ReasonRowsTest, EveryReasonItsKeyAndWords) {
  const std::string lead = "no root key: it must be the first cell of the first bin, and ";
  const struct {
    Reason reason;
    const char* key;
    Refusal refusal;
    std::string words;
  } rows[] = {
      {Reason::too_short, "too_short", {Reason::too_short, {100, 4096}},
       "not a hive: 100 bytes, shorter than the 4096-byte base block every hive starts with"},
      {Reason::no_signature, "no_signature", {Reason::no_signature, {}},
       "not a hive: it does not start with \"regf\""},
      {Reason::wrong_version, "wrong_version", {Reason::wrong_version, {1, 5}},
       "version 1.5: only version 1.3 hives can be read"},
      {Reason::not_written_cleanly, "not_written_cleanly",
       {Reason::not_written_cleanly, {5, 6}},
       "the hive was not written out cleanly: its sequence numbers 5 and 6 differ (a write was"
       " cut short; its transaction logs hold the rest)"},
      {Reason::file_type, "file_type", {Reason::file_type, {1}},
       "file type 1: only primary hive files (type 0) can be read"},
      {Reason::file_format, "file_format", {Reason::file_format, {2}},
       "file format 2: only format 1 can be read"},
      {Reason::clustering_factor, "clustering_factor", {Reason::clustering_factor, {4}},
       "clustering factor 4: only 1 can be read"},
      {Reason::refused_anyway, "refused_anyway", {Reason::refused_anyway, {}},
       "the library refused it, though its base block looks right (did the file change?)"},
      {Reason::root_file_ends_before_bin, "root_file_ends_before_bin",
       {Reason::root_file_ends_before_bin, {}}, lead + "the file ends before that bin"},
      {Reason::root_no_bin_signature, "root_no_bin_signature",
       {Reason::root_no_bin_signature, {}}, lead + "the first bin has no \"hbin\" signature"},
      {Reason::root_file_ends_inside_bin, "root_file_ends_inside_bin",
       {Reason::root_file_ends_inside_bin, {}}, lead + "the file ends inside that bin"},
      {Reason::root_not_a_key, "root_not_a_key", {Reason::root_not_a_key, {}},
       lead + "that cell is no key node"},
      {Reason::root_flags, "root_flags", {Reason::root_flags, {0x24, 0x2C}},
       lead + "that cell is a key with flags 0x0024, where the root key has 0x002C"},
      {Reason::root_not_found, "root_not_found", {Reason::root_not_found, {}},
       "no root key: the library found none"},
  };
  ASSERT_EQ(std::size(base_block::kReasonRows), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].key);
    EXPECT_EQ(&base_block::row_of(rows[i].reason), &base_block::kReasonRows[i]);
    EXPECT_STREQ(base_block::kReasonRows[i].key, rows[i].key);
    EXPECT_EQ(base_block::sentence(rows[i].refusal), rows[i].words);
  }
}

// What a file past 2 GiB shows (the library sees its size's low 32 bits), and flags
// wider than four digits.
TEST(ReasonRowsTest, NumbersOutsideTheUsualRange) {
  EXPECT_EQ(base_block::sentence({Reason::too_short, {-2147483647 - 1, 4096}}),
            "not a hive: -2147483648 bytes, shorter than the 4096-byte base block every hive"
            " starts with");
  EXPECT_EQ(base_block::sentence({Reason::wrong_version, {4294967295, 0}}),
            "version 4294967295.0: only version 1.3 hives can be read");
  EXPECT_EQ(base_block::sentence({Reason::root_flags, {0xABCDE, 0}}),
            "no root key: it must be the first cell of the first bin, and that cell is a key"
            " with flags 0xABCDE, where the root key has 0x0000");
}

struct OrderCase {
  const char* what;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> pokes;  // offset, value
  std::int32_t size;
  std::optional<Refusal> refusal;
};

class BaseBlockTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(BaseBlockTest, FirstBrokenRuleIsNamed) {
  const OrderCase& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  b.add_root("ROOT");
  for (const auto& [at, v] : row.pokes) b.poke_u32(at, v);
  const Bytes file = b.bytes();
  const std::optional<Refusal> got = base_block::judge_base_block(file.data(), row.size);
  EXPECT_TRUE(same(got, row.refusal)) << (got ? base_block::sentence(*got) : "accepted");
  EXPECT_EQ(accepts_base_block(file.data(), row.size), !row.refusal.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Order, BaseBlockTest,
    ::testing::Values(
        OrderCase{"good", {}, 8192, std::nullopt},
        OrderCase{"short file beats everything", {{kBaseSignatureAt, 0}}, 4095,
                  refusal(Reason::too_short, 4095, 4096)},
        OrderCase{"unknown size", {}, -1, refusal(Reason::too_short, -1, 4096)},
        OrderCase{"signature before sequence",
                  {{kBaseSignatureAt, 0}, {kBasePrimarySequenceAt, 9}}, 8192,
                  refusal(Reason::no_signature)},
        OrderCase{"signature before version", {{kBaseSignatureAt, 0}, {kBaseMinorVersionAt, 5}},
                  8192, refusal(Reason::no_signature)},
        // No option reads a 1.5 hive, so it is not called dirty first.
        OrderCase{"version before sequence",
                  {{kBasePrimarySequenceAt, 9}, {kBaseMinorVersionAt, 5}}, 8192,
                  refusal(Reason::wrong_version, 1, 5)},
        OrderCase{"sequence numbers in order", {{kBasePrimarySequenceAt, 9}}, 8192,
                  refusal(Reason::not_written_cleanly, 9, 1)},
        OrderCase{"sequence before type", {{kBaseSecondarySequenceAt, 7}, {kBaseFileTypeAt, 1}},
                  8192, refusal(Reason::not_written_cleanly, 1, 7)},
        OrderCase{"major and minor together", {{kBaseMajorVersionAt, 2}, {kBaseMinorVersionAt, 5}},
                  8192, refusal(Reason::wrong_version, 2, 5)},
        OrderCase{"minor before type", {{kBaseMinorVersionAt, 5}, {kBaseFileTypeAt, 1}}, 8192,
                  refusal(Reason::wrong_version, 1, 5)},
        OrderCase{"type before format", {{kBaseFileTypeAt, 1}, {kBaseFileFormatAt, 0}}, 8192,
                  refusal(Reason::file_type, 1)},
        OrderCase{"format before clustering",
                  {{kBaseFileFormatAt, 0}, {kBaseClusteringAt, 0}}, 8192,
                  refusal(Reason::file_format, 0)},
        OrderCase{"clustering last", {{kBaseClusteringAt, 2}}, 8192,
                  refusal(Reason::clustering_factor, 2)}),
    RowIndex());

// The root key's place: a good hive changed or cut, judged from its first bytes.
TEST(RootTest, FirstReasonTheRootIsNotWhereTheLibraryLooks) {
  constexpr std::uint32_t kRootAt = kFirstBinAt + kBinFirstCellContentsAt;
  const struct {
    const char* what;
    std::size_t keep;  // bytes of the file judged
    std::uint32_t at;  // 0: nothing changed
    std::uint16_t value;
    std::optional<Refusal> refusal;
  } rows[] = {
      {"good", base_block::kRootHeadBytes, 0, 0, std::nullopt},
      {"base block only", kFirstBinAt, 0, 0, refusal(Reason::root_file_ends_before_bin)},
      {"half a signature", kFirstBinAt + 2, 0, 0, refusal(Reason::root_file_ends_before_bin)},
      {"no hbin", base_block::kRootHeadBytes, kFirstBinAt, 0x6267,
       refusal(Reason::root_no_bin_signature)},
      {"no hbin beats a cut", kFirstBinAt + 4, kFirstBinAt, 0, refusal(Reason::root_no_bin_signature)},
      {"cut in the bin header", kFirstBinAt + 4, 0, 0, refusal(Reason::root_file_ends_inside_bin)},
      {"cut in the flags", base_block::kRootHeadBytes - 1, 0, 0,
       refusal(Reason::root_file_ends_inside_bin)},
      {"an sk cell first", base_block::kRootHeadBytes, kRootAt, 0x6B73,
       refusal(Reason::root_not_a_key)},
      {"an ordinary key first", base_block::kRootHeadBytes, kRootAt + kNkFlagsAt, 0x0020,
       refusal(Reason::root_flags, 0x0020, 0x002C)},
      {"a root flag too many", base_block::kRootHeadBytes, kRootAt + kNkFlagsAt, 0x002D,
       refusal(Reason::root_flags, 0x002D, 0x002C)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    HiveBuilder b;
    b.add_root("ROOT");
    if (row.at != 0) b.poke_u16(row.at, row.value);
    const Bytes file = b.bytes();
    const std::optional<Refusal> got = base_block::judge_root(file.data(), row.keep);
    EXPECT_TRUE(same(got, row.refusal)) << (got ? base_block::sentence(*got) : "found");
  }
}

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
