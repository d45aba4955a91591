// What vesk-dump says at the edges of what it can read or write: files too large for the
// library's 32-bit sizes (sparse copies, which cost no disk), a --check whose summary
// cannot be written, and --prefix text that would break a .reg key line.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "dump_run.h"
#include "temp_hive.h"

namespace vesk::dump::test {
namespace {

namespace fs = std::filesystem;

const std::string kBcd = std::string(VESK_TEST_DATA_DIR) + "/hives/dfirmuseum-win7-BCD";

// A copy of BCD grown to `size` bytes with a hole, removed at the end.
class SparseCopy {
 public:
  explicit SparseCopy(std::uint64_t size)
      : path_(vesk::test::temp_folder() + "/vesk-sparse-" + std::to_string(size)) {
    fs::copy_file(kBcd, path_, fs::copy_options::overwrite_existing);
    fs::resize_file(path_, size);
  }
  ~SparseCopy() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(LimitsTest, FilesPastTheLibrarysSizesAreRefusedWithTheirTrueSize) {
  struct Row {
    std::uint64_t size;
    const char* says;
  };
  const Row rows[] = {
      {(std::uint64_t{2} << 30) + 8192,
       "the file holds 2147491840 bytes; the library reads files of at most 2147483647 bytes"},
      {(std::uint64_t{4} << 30) + 8192,
       "the file holds 4294975488 bytes; the library reads files of at most 2147483647 bytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    const SparseCopy copy(row.size);
    for (const bool check : {false, true}) {
      Options options;
      options.check = check;
      const Dumped d = dump_path(copy.path(), options);
      EXPECT_EQ(d.status, kRefused);
      EXPECT_NE(d.err.find(row.says), std::string::npos) << d.err;
      EXPECT_EQ(d.err.find("cut short"), std::string::npos) << d.err;
      EXPECT_EQ(d.out, "");
    }
  }
}

// A stream that takes nothing, as standard error on a full disk.
class FullDevice : public std::streambuf {
 protected:
  int_type overflow(int_type) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(LimitsTest, ACheckWhoseSummaryCannotBeWrittenEndsInStatus3) {
  FullDevice full;
  std::ostream err(&full);
  std::ostringstream out;
  Options options;
  options.check = true;
  EXPECT_EQ(dump_file(kBcd, options, out, err), kOutputFailed);
}

TEST(LimitsTest, PrefixesThatWouldBreakAKeyLineAreRefused) {
  struct Row {
    const char* prefix;
    const char* message;
  };
  const Row rows[] = {
      {"HKLM\\X]\r\n[HKLM\\Injected", "--prefix cannot hold ']': key lines of .reg end at them"},
      {"HKLM\\X\r\n[HKLM\\Injected",
       "--prefix cannot hold control characters: key lines of .reg end at them"},
      {"HKLM\\Tab\there",
       "--prefix cannot hold control characters: key lines of .reg end at them"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const Dumped d = run_vesk_dump({{"--prefix", row.prefix, kBcd}});
    EXPECT_EQ(d.status, kRefused);
    EXPECT_EQ(d.err, std::string("vesk-dump: ") + row.message +
                         "\nTry 'vesk-dump --help' for more.\n");
    EXPECT_EQ(d.out, "");
  }
}

}  // namespace
}  // namespace vesk::dump::test
