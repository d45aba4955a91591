// What Windows decides and Linux does not: text converted to the ANSI code page, the
// share modes of the read-only open, and pipes and devices refused. Run under Wine as
// on Windows; loading and unloading are in windows_load_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ansi_code_page.h"
#include "api_test.h"

namespace vesk::test {
namespace {

struct TextCase {
  const char* what;
  Bytes data;
  std::string expected;
};

class AnsiTextTest : public ApiTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(AnsiTextTest, ValueStringInCodePage1252) {
  VESK_NEED_ANSI_CODE_PAGE(1252);
  const TextCase& row = GetParam();
  SCOPED_TRACE(row.what);
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "v", kTypeString, row.data);
  HiveHandle* h = open(b.bytes());
  ASSERT_NE(h, nullptr);
  KeyRecord key = root_of(h);
  ValueListRecord list;
  ASSERT_EQ(vesk().GetValueList(h, &key, &list), 1);
  ValueRecord value;
  ASSERT_EQ(vesk().GetValue(h, &list, 0, &value), static_cast<std::int32_t>(kTypeString));
  EXPECT_EQ(std::string(vesk().GetValueString(h, &value)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage1252, AnsiTextTest,
    ::testing::Values(
        TextCase{"Latin letters and the euro, one byte each",
                 utf16z("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"), "Gr\xFC\xDF" "e \x80"},
        TextCase{"no terminator: the spaces stay", utf16("\xC3\xA9t\xC3\xA9"), "\xE9t\xE9   "},
        TextCase{"letters 1252 lacks take their best fit", utf16z("\xC4\x80\xC5\x81"), "AL"},
        TextCase{"characters without a fit become ?",
                 utf16z("\xD0\x9C\xD0\xB8\xD1\x80 \xE6\x97\xA5"), "??? ?"},
        TextCase{"each half of a surrogate pair becomes ?",
                 {'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 'b', 0, 0, 0}, "a??b"},
        TextCase{"a lone half becomes ?", {'a', 0, 0x00, 0xD8, 'b', 0, 0, 0}, "a?b"},
        TextCase{"inline data is converted too", {0xE9, 0, 0, 0}, "\xE9"}),
    RowIndex());

// Another handle on the hive file, opened with the given access and sharing.
class OtherHandle {
 public:
  OtherHandle(const char* path, DWORD access, DWORD share)
      : h_(CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr)) {}
  ~OtherHandle() {
    if (opened()) CloseHandle(h_);
  }
  OtherHandle(const OtherHandle&) = delete;
  OtherHandle& operator=(const OtherHandle&) = delete;
  bool opened() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct ShareCase {
  const char* what;
  DWORD access;
  DWORD share;
  bool opens;
};

class ShareModeTest : public ApiTest, public ::testing::WithParamInterface<ShareCase> {
 protected:
  Bytes hive() {
    HiveBuilder b;
    b.add_root("ROOT");
    return b.bytes();
  }
};

// The library opens for reading and shares with readers only.
TEST_P(ShareModeTest, OpenBesideAnotherHandle) {
  const ShareCase& row = GetParam();
  SCOPED_TRACE(row.what);
  TempHive file(hive());
  {
    OtherHandle other(file.path(), row.access, row.share);
    ASSERT_TRUE(other.opened());
    HiveHandle* h = vesk().OpenRegistryFile(file.path());
    EXPECT_EQ(h != nullptr, row.opens);
    vesk().CloseRegistryFile(h);
  }
  HiveHandle* alone = vesk().OpenRegistryFile(file.path());
  EXPECT_NE(alone, nullptr);
  vesk().CloseRegistryFile(alone);
}

INSTANTIATE_TEST_SUITE_P(
    Beside, ShareModeTest,
    ::testing::Values(
        ShareCase{"a reader sharing reading", GENERIC_READ, FILE_SHARE_READ, true},
        ShareCase{"a reader sharing everything", GENERIC_READ, kShareAll, true},
        ShareCase{"a reader sharing nothing", GENERIC_READ, 0, false},
        ShareCase{"a writer sharing nothing", GENERIC_WRITE, 0, false},
        ShareCase{"a writer sharing reading: writers are not admitted", GENERIC_WRITE,
                  FILE_SHARE_READ, false},
        ShareCase{"a reader and writer sharing everything", GENERIC_READ | GENERIC_WRITE,
                  kShareAll, false}),
    RowIndex());

class HeldShareTest : public ShareModeTest {};

// While the library holds the hive, others may read it, but none may write it, and a
// reader that admits no writers still gets in: the library never asks to write.
TEST_P(HeldShareTest, AnotherHandleBesideTheLibrary) {
  const ShareCase& row = GetParam();
  SCOPED_TRACE(row.what);
  TempHive file(hive());
  HiveHandle* h = vesk().OpenRegistryFile(file.path());
  ASSERT_NE(h, nullptr);
  {
    OtherHandle other(file.path(), row.access, row.share);
    EXPECT_EQ(other.opened(), row.opens);
  }
  vesk().CloseRegistryFile(h);
}

INSTANTIATE_TEST_SUITE_P(
    Held, HeldShareTest,
    ::testing::Values(
        ShareCase{"a reader sharing reading", GENERIC_READ, FILE_SHARE_READ, true},
        ShareCase{"a reader sharing everything", GENERIC_READ, kShareAll, true},
        ShareCase{"a reader sharing nothing", GENERIC_READ, 0, false},
        ShareCase{"a writer sharing everything", GENERIC_WRITE, kShareAll, false},
        ShareCase{"a reader and writer sharing everything", GENERIC_READ | GENERIC_WRITE,
                  kShareAll, false}),
    RowIndex());

class WindowsFilesTest : public ApiTest {};

TEST_F(WindowsFilesTest, PipesAndDevicesAreRefusedWithoutWaiting) {
  const std::string name = "\\\\.\\pipe\\vesk-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  // The server never writes, so the open must refuse the pipe without reading from it:
  // a read would wait for ever.
  EXPECT_EQ(vesk().OpenRegistryFile(name.c_str()), nullptr);
  CloseHandle(server);
  EXPECT_EQ(vesk().OpenRegistryFile("NUL"), nullptr);
}

}  // namespace
}  // namespace vesk::test
