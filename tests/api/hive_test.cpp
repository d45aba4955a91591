// OpenRegistryFile and CloseRegistryFile as a host sees them: which files become
// handles, what a handle holds, and that every refusal leaves nothing open behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "api_test.h"
#include "layout.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

class HiveTest : public ApiTest {};

Bytes small_hive() {
  HiveBuilder b;
  b.add_root("ROOT");
  return b.bytes();
}

TEST_F(HiveTest, HandleHoldsSizeAndFirst512Bytes) {
  const Bytes file = small_hive();
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(h->file, 0u);
  EXPECT_EQ(h->file_size, static_cast<std::int32_t>(file.size()));
  EXPECT_EQ(image(h->base_block), slice(file, 0, 512));
  EXPECT_EQ(h->base_block.minor_version, 3u);
}

struct BaseRule {
  const char* what;
  std::uint32_t at;
  std::uint32_t value;
  bool accepted;
};

class BaseRuleTest : public HiveTest, public ::testing::WithParamInterface<BaseRule> {};

TEST_P(BaseRuleTest, OnlyVersion13WithMatchingFieldsIsAccepted) {
  const BaseRule& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  b.add_root("ROOT");
  b.poke_u32(row.at, row.value);
  HiveHandle* h = open(b.bytes());
  EXPECT_EQ(h != nullptr, row.accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, BaseRuleTest,
    ::testing::Values(
        BaseRule{"signature not regf", kBaseSignatureAt, 0x66676573, false},
        BaseRule{"primary 5, secondary 1", kBasePrimarySequenceAt, 5, false},
        BaseRule{"secondary 6, primary 1", kBaseSecondarySequenceAt, 6, false},
        BaseRule{"major 2", kBaseMajorVersionAt, 2, false},
        BaseRule{"major 0", kBaseMajorVersionAt, 0, false},
        BaseRule{"minor 2", kBaseMinorVersionAt, 2, false},
        BaseRule{"minor 4", kBaseMinorVersionAt, 4, false},
        BaseRule{"minor 5", kBaseMinorVersionAt, 5, false},
        BaseRule{"file type 1", kBaseFileTypeAt, 1, false},
        BaseRule{"file format 2", kBaseFileFormatAt, 2, false},
        BaseRule{"clustering 2", kBaseClusteringAt, 2, false},
        BaseRule{"wrong checksum", kBaseChecksumAt, 0x12345678, true},
        BaseRule{"root cell offset ignored", kBaseRootCellAt, 0xFFFFFFFF, true},
        BaseRule{"bins size ignored", kBaseBinsSizeAt, 7, true},
        BaseRule{"timestamp ignored", 12, 0xFFFFFFFF, true}),
    RowIndex());

TEST_F(HiveTest, SequenceNumbersMustBeEqualNotMerelyValid) {
  HiveBuilder b;
  b.add_root("ROOT");
  b.poke_u32(kBasePrimarySequenceAt, 5);
  b.poke_u32(kBaseSecondarySequenceAt, 6);
  EXPECT_EQ(open(b.bytes()), nullptr);
  HiveBuilder same;
  same.add_root("ROOT");
  same.poke_u32(kBasePrimarySequenceAt, 6);
  same.poke_u32(kBaseSecondarySequenceAt, 6);
  EXPECT_NE(open(same.bytes()), nullptr);
}

TEST_F(HiveTest, SizeBoundaryIs4096Bytes) {
  Bytes block = small_hive();
  block.resize(4096);
  HiveHandle* exact = open(block);
  ASSERT_NE(exact, nullptr);
  KeyRecord key = patterned<KeyRecord>();
  EXPECT_EQ(vesk().SearchRootKey(exact, &key), 0);
  EXPECT_TRUE(untouched(key));

  block.resize(4095);
  EXPECT_EQ(open(block), nullptr);
  EXPECT_EQ(open(Bytes{}), nullptr);
}

TEST_F(HiveTest, RefusesWhatIsNoHiveFile) {
  EXPECT_EQ(vesk().OpenRegistryFile(nullptr), nullptr);
  EXPECT_EQ(vesk().OpenRegistryFile(""), nullptr);
  EXPECT_EQ(vesk().OpenRegistryFile("/nonexistent/vesk/hive"), nullptr);
  EXPECT_EQ(vesk().OpenRegistryFile(temp_folder().c_str()), nullptr);  // a directory
}

#ifndef _WIN32
TEST_F(HiveTest, RefusesFifoWithoutBlockingAndDeviceFiles) {
  const std::string fifo = temp_folder() + "/vesk-fifo-" + std::to_string(getpid());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(vesk().OpenRegistryFile(fifo.c_str()), nullptr);  // no writer: must not block
  unlink(fifo.c_str());
  EXPECT_EQ(vesk().OpenRegistryFile("/dev/zero"), nullptr);
}
#endif

TEST_F(HiveTest, CloseAcceptsNullAndAlwaysReturnsZero) {
  EXPECT_EQ(vesk().CloseRegistryFile(nullptr), 0);
  TempHive file(small_hive());
  HiveHandle* h = vesk().OpenRegistryFile(file.path());
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(vesk().CloseRegistryFile(h), 0);
}

TEST_F(HiveTest, TwoHivesKeepTheirOwnFiles) {
  HiveBuilder one;
  one.add_root("First");
  HiveBuilder two;
  two.add_root("Second");
  HiveHandle* a = open(one.bytes());
  HiveHandle* b = open(two.bytes());
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a->file, b->file);
  KeyRecord ka = root_of(a);
  KeyRecord kb = root_of(b);
  // Interleaved calls: each must select its own file, not read the last one used.
  EXPECT_STREQ(vesk().GetRegKeyName(a, &ka), "First");
  EXPECT_STREQ(vesk().GetRegKeyName(b, &kb), "Second");
  EXPECT_STREQ(vesk().GetRegKeyName(a, &ka), "First");
  close(a);
  EXPECT_STREQ(vesk().GetRegKeyName(b, &kb), "Second");
}

TEST_F(HiveTest, FailedOpenDoesNotDisturbOpenHives) {
  HiveBuilder one;
  one.add_root("Kept");
  HiveHandle* a = open(one.bytes());
  ASSERT_NE(a, nullptr);
  KeyRecord ka = root_of(a);
  EXPECT_EQ(vesk().OpenRegistryFile("/nonexistent"), nullptr);
  EXPECT_STREQ(vesk().GetRegKeyName(a, &ka), "Kept");
}

}  // namespace
}  // namespace vesk::test
