// The open-file registry and positioned reads, driven directly: zero fill and sign
// extension at the end of a file, refused seeks, selection, and close; and on POSIX the
// errno a refused read leaves for the host, which the end of a file never sets.
#include <gtest/gtest.h>

#include <cerrno>

#include "files.h"
#include "platform.h"
#include "temp_hive.h"

namespace vesk::test {
namespace {

using namespace vesk::frame;

class FilesTest : public ::testing::Test {
 protected:
  void TearDown() override { close_all_files(); }
};

TEST_F(FilesTest, MissingFileLeavesNoEntryAndNoCurrentFile) {
  TempHive file({1, 2, 3, 4});
  const FileRef ref = open_file(file.path());
  ASSERT_NE(ref, 0u);
  EXPECT_EQ(open_file("/nonexistent/file"), 0u);
  EXPECT_EQ(open_file_count(), 1);
  // After a refused open there is no current file until one is selected.
  seek(0);
  EXPECT_EQ(read_u32(), 0u);
  EXPECT_EQ(file_size(), -1);
  select_file(ref);
  seek(0);
  EXPECT_EQ(read_u32(), 0x04030201u);
}

TEST_F(FilesTest, ReadsAtTheEndZeroFillAndSignExtend) {
  TempHive file({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, 0x80});
  ASSERT_NE(open_file(file.path()), 0u);
  EXPECT_EQ(file_size(), 8);
  seek(8);
  EXPECT_EQ(read_u32(), 0u);
  seek(6);
  EXPECT_EQ(read_u32(), 0x8000u);  // two bytes in the low half, zeros above
  seek(6);
  EXPECT_EQ(read_i16(), -32768);
  seek(4);
  EXPECT_EQ(read_i16(), 0x6655);
  seek(7);
  EXPECT_EQ(read_i16(), 0x80);  // only the low byte was there
  seek(100);
  unsigned char buffer[4] = {9, 9, 9, 9};
  EXPECT_EQ(read_bytes(buffer, 4), 0);
  EXPECT_EQ(buffer[0], 9);
}

TEST_F(FilesTest, ReadsAdvanceAndShortReadsLeaveTheRest) {
  TempHive file({1, 2, 3, 4, 5, 6});
  ASSERT_NE(open_file(file.path()), 0u);
  seek(0);
  EXPECT_EQ(read_i16(), 0x0201);
  EXPECT_EQ(read_i16(), 0x0403);  // back to back, no seek between
  unsigned char buffer[4] = {9, 9, 9, 9};
  EXPECT_EQ(read_bytes(buffer, 4), 2);
  EXPECT_EQ(buffer[1], 6);
  EXPECT_EQ(buffer[2], 9);
  EXPECT_EQ(read_bytes(buffer, 0), 0);
  EXPECT_EQ(read_bytes(buffer, -1), 0);
}

TEST_F(FilesTest, NegativeSeekIsRefusedAndThePositionStays) {
  TempHive file({1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_NE(open_file(file.path()), 0u);
  seek(4);
  seek(0x80000000u);
  EXPECT_EQ(read_u32(), 0x08070605u);
  seek(2);
  seek(0xFFFFFFFFu);
  EXPECT_EQ(read_i16(), 0x0403);
}

TEST_F(FilesTest, SelectChoosesAmongOpenFilesAndIgnoresUnknownReferences) {
  TempHive one({0xAA, 0, 0, 0});
  TempHive two({0xBB, 0, 0, 0});
  const FileRef a = open_file(one.path());
  const FileRef b = open_file(two.path());
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  seek(0);
  EXPECT_EQ(read_u32(), 0xBBu);  // the newest open is current
  select_file(a);
  select_file(0);
  select_file(0xDEADBEEF);
  seek(0);
  EXPECT_EQ(read_u32(), 0xAAu);
  close_file(a);
  EXPECT_EQ(open_file_count(), 1);
  select_file(a);  // closed: names nothing now
  select_file(b);
  seek(0);
  EXPECT_EQ(read_u32(), 0xBBu);
}

TEST_F(FilesTest, CloseUnlinksFromAnyPlaceInTheList) {
  TempHive file({1});
  FileRef refs[4];
  for (FileRef& r : refs) r = open_file(file.path());
  EXPECT_EQ(open_file_count(), 4);
  close_file(refs[2]);  // middle
  close_file(refs[3]);  // head (newest)
  close_file(refs[0]);  // tail
  close_file(refs[0]);  // again: ignored
  EXPECT_EQ(open_file_count(), 1);
  select_file(refs[1]);
  seek(0);
  EXPECT_EQ(read_u32(), 1u);
  close_all_files();
  EXPECT_EQ(open_file_count(), 0);
}

TEST_F(FilesTest, ClosingTheCurrentFileLeavesNoCurrentFile) {
  TempHive file({7, 0, 0, 0});
  const FileRef ref = open_file(file.path());
  close_file(ref);
  seek(0);
  EXPECT_EQ(read_u32(), 0u);
  EXPECT_EQ(file_size(), -1);
}

#ifndef _WIN32
struct ErrnoRow {
  const char* what;
  bool failing_file;  // /proc/self/mem: a regular file whose unmapped start refuses reads
  std::uint32_t at;
  std::int32_t count;
  std::int32_t read;
  int errno_after;  // kHostErrno: as the host left it
};

constexpr int kHostErrno = ERANGE;  // what a host that did not clear errno left there

const ErrnoRow kErrnoRows[] = {
    {"a refused read", true, 0, 4, 0, EIO},
    {"a whole read", false, 0, 4, 4, kHostErrno},
    {"a short read at the end", false, 4, 4, 2, kHostErrno},
    {"at the end", false, 6, 4, 0, kHostErrno},
    {"past the end", false, 100, 4, 0, kHostErrno},
};

TEST_F(FilesTest, OnlyARefusedReadSetsErrnoAndNothingAfterItInTheCallClearsIt) {
  TempHive file({1, 2, 3, 4, 5, 6});
  for (const ErrnoRow& row : kErrnoRows) {
    SCOPED_TRACE(row.what);
    const FileRef ref = open_file(row.failing_file ? "/proc/self/mem" : file.path());
    ASSERT_NE(ref, 0u);
    unsigned char buffer[4] = {9, 9, 9, 9};
    errno = kHostErrno;
    seek(row.at);
    EXPECT_EQ(read_bytes(buffer, row.count), row.read);
    EXPECT_EQ(errno, row.errno_after);
    // What an export does after its reads: a size, a conversion, memory, the close.
    file_size();
    char16_t unit = u'\u00e9';
    char text[8];
    platform::utf16_to_code_page(&unit, 1, text, sizeof text);
    platform::release(platform::alloc_zeroed(64));
    close_file(ref);
    EXPECT_EQ(errno, row.errno_after);
  }
}
#endif

}  // namespace
}  // namespace vesk::test
