// The Windows platform on its own: the ANSI code page conversion (measuring, cutting at
// whole characters, zero units), the private heap's zero-filled blocks, and the last
// error a refused read leaves for the host, which the end of a file never sets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <windows.h>

#include "ansi_code_page.h"
#include "platform.h"
#include "temp_hive.h"

namespace vesk::test {
namespace {

using vesk::platform::utf16_to_code_page;

std::string convert(const std::u16string& s, std::int32_t capacity) {
  std::string out(static_cast<std::size_t>(capacity) + 1, '#');
  const std::int32_t n =
      utf16_to_code_page(s.data(), static_cast<std::int32_t>(s.size()), out.data(), capacity);
  EXPECT_EQ(out[static_cast<std::size_t>(capacity)], '#') << "wrote past the capacity";
  return out.substr(0, static_cast<std::size_t>(n));
}

TEST(Win32CodePageTest, MeasuresWithoutWriting) {
  VESK_NEED_ANSI_CODE_PAGE(1252);
  const std::u16string s = u"a\u00e9\u20ac\U0001F600";
  EXPECT_EQ(utf16_to_code_page(s.data(), 5, nullptr, 0), 5);  // the pair is "??"
  EXPECT_EQ(utf16_to_code_page(s.data(), 0, nullptr, 0), 0);
}

TEST(Win32CodePageTest, ConvertsOneByteEachWithBestFitAndReplacement) {
  VESK_NEED_ANSI_CODE_PAGE(1252);
  EXPECT_EQ(convert(u"\u00e9\u20ac\u0160\u0178", 8), "\xE9\x80\x8A\x9F");
  EXPECT_EQ(convert(u"\u0100\u0141", 8), "AL");  // letters 1252 lacks fit to their base
  EXPECT_EQ(convert(u"\u041c\u65e5", 8), "??");
}

TEST(Win32CodePageTest, ZeroUnitBecomesZeroByte) {
  const std::u16string s(u"a\0b", 3);
  EXPECT_EQ(convert(s, 8), std::string("a\0b", 3));
}

TEST(Win32CodePageTest, TooLittleRoomKeepsTheWholeCharactersThatFit) {
  VESK_NEED_ANSI_CODE_PAGE(1252);
  // The system itself converts nothing when the output does not fit.
  EXPECT_EQ(convert(u"\u00e9t\u00e9 long", 3), "\xE9t\xE9");
  EXPECT_EQ(convert(u"abc", 3), "abc");
  EXPECT_EQ(convert(u"abc", 0), "");
  // A pair is two replacement bytes; its first half alone never ends the text.
  EXPECT_EQ(convert(u"ab\U0001F600", 3), "ab");
  EXPECT_EQ(convert(u"ab\U0001F600", 4), "ab??");
  const std::u16string long_text = std::u16string(63998, u'a') + u"\U0001F600";
  EXPECT_EQ(convert(long_text, 63999), std::string(63998, 'a'));
}

TEST(Win32HeapTest, BlocksAreZeroFilledAndNoneForZeroOrFewerBytes) {
  EXPECT_EQ(vesk::platform::alloc_zeroed(0), nullptr);
  EXPECT_EQ(vesk::platform::alloc_zeroed(-1), nullptr);
  // Dirty a block and give it back, so that the next one would show old bytes.
  void* dirty = vesk::platform::alloc_zeroed(4096);
  ASSERT_NE(dirty, nullptr);
  std::memset(dirty, 0xAB, 4096);
  vesk::platform::release(dirty);
  auto* block = static_cast<unsigned char*>(vesk::platform::alloc_zeroed(4096));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 4096; ++i) ASSERT_EQ(block[i], 0) << "at " << i;
  vesk::platform::release(block);
  vesk::platform::release(nullptr);
}

struct LastErrorRow {
  const char* what;
  bool write_only;  // opened for writing alone, so the system refuses every read
  std::int32_t at;
  std::int32_t count;
  std::int32_t read;
  DWORD error_after;  // kHostError: as the host left it
};

constexpr DWORD kHostError = ERROR_INVALID_DATA;  // what a host that did not clear it left

const LastErrorRow kLastErrorRows[] = {
    {"a refused read", true, 0, 4, 0, ERROR_ACCESS_DENIED},
    {"a whole read", false, 0, 4, 4, kHostError},
    {"a short read at the end", false, 4, 4, 2, kHostError},
    {"at the end", false, 6, 4, 0, kHostError},
    {"past the end", false, 100, 4, 0, kHostError},
};

TEST(Win32FileTest, OnlyARefusedReadSetsTheLastErrorAndNothingAfterItInTheCallClearsIt) {
  TempHive file({1, 2, 3, 4, 5, 6});
  for (const LastErrorRow& row : kLastErrorRows) {
    SCOPED_TRACE(row.what);
    vesk::platform::File f;
    if (row.write_only) {
      const HANDLE h = CreateFileA(file.path(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE);
      f.handle = reinterpret_cast<std::uintptr_t>(h);
    } else {
      SetLastError(kHostError);
      ASSERT_TRUE(vesk::platform::open_read_only(file.path(), f));
      EXPECT_EQ(GetLastError(), kHostError) << "the open";
    }
    unsigned char buffer[4] = {9, 9, 9, 9};
    SetLastError(kHostError);
    ASSERT_TRUE(vesk::platform::seek(f, row.at));
    EXPECT_EQ(vesk::platform::read(f, buffer, row.count), row.read);
    EXPECT_EQ(GetLastError(), row.error_after);
    // What an export does after its reads: a refused seek (the file's damage), a size, a
    // conversion, memory, the close.
    EXPECT_FALSE(vesk::platform::seek(f, -8));
    vesk::platform::file_size(f);
    convert(u"\u00e9\u65e5", 1);
    vesk::platform::release(vesk::platform::alloc_zeroed(64));
    vesk::platform::close(f);
    EXPECT_EQ(GetLastError(), row.error_after);
  }
}

}  // namespace
}  // namespace vesk::test
