// Hostile hives built by hand: each offset field the library reads set to values that
// wrap, that the system refuses as a seek or that lie past the end; lists that run past
// the end of the file; absurd counts, name lengths and data sizes; lists that lead back.
// Each row says where the library's reads land and checks what the host gets back.
#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "api_test.h"
#include "layout.h"
#include "sample_hive.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

constexpr std::uint32_t kRefusedFrom = 0x80000000;

void put_u32(Bytes& file, std::uint32_t at, std::uint32_t v) {
  const Bytes b = le32(v);
  std::copy(b.begin(), b.end(), file.begin() + at);
}

void put_u16(Bytes& file, std::uint32_t at, std::uint16_t v) {
  file.at(at) = static_cast<std::uint8_t>(v);
  file.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

// Appends an allocated cell at the very end of the file; returns its contents' offset.
std::uint32_t append_cell(Bytes& file, const Bytes& contents) {
  const auto at = static_cast<std::uint32_t>(file.size());
  const auto size = static_cast<std::uint32_t>((kCellSizeBytes + contents.size() + 7) / 8 * 8);
  const Bytes size_field = le32(0u - size);
  file.insert(file.end(), size_field.begin(), size_field.end());
  file.insert(file.end(), contents.begin(), contents.end());
  return at + kCellSizeBytes;
}

// The position after a read of `n` bytes at `at`: it advances by the bytes there were.
std::uint32_t after_read(const Bytes& file, std::uint32_t at, std::uint32_t n) {
  if (at >= file.size()) return at;
  return at + std::min<std::uint32_t>(n, static_cast<std::uint32_t>(file.size()) - at);
}

// Where a read lands after a seek to `target`: there, unless the system refuses the
// seek (0x80000000 or more) and the position stays where the previous read ended.
std::uint32_t land(std::uint32_t target, std::uint32_t previous_end) {
  return target >= kRefusedFrom ? previous_end : target;
}

// A record of `n` copied bytes as one read at `at` fills it over the pattern, behind
// the file offset the library stores in front.
std::vector<unsigned char> record(std::uint32_t offset, const Bytes& file, std::uint32_t at,
                                  std::size_t n) {
  std::vector<unsigned char> out = le32(offset);
  const std::vector<unsigned char> bytes = file_read(file, at, n, kPattern);
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

// What GetSubKey must give for element `index` of the list whose contents are at `list`
// (the element's missing bytes read as zero): the subkey record and the name hint.
std::pair<std::vector<unsigned char>, std::string> expected_subkey(const Bytes& file,
                                                                   std::uint32_t list,
                                                                   std::uint32_t index) {
  const std::uint32_t element = list + kLfElementsAt + kLfElementBytes * index;
  const std::uint32_t target = cell_contents(file_u32(file, element));
  const std::uint32_t at = land(target, after_read(file, element, kLfElementBytes));
  const std::vector<unsigned char> hint = file_read(file, element + kLfHintAt, 4, 0);
  std::string text(hint.begin(), hint.end());
  return {record(target, file, at, kNkCopiedBytes), text.substr(0, text.find('\0'))};
}

// What GetValue must leave in the record for element `index` of the value list at `list`.
std::vector<unsigned char> expected_value(const Bytes& file, std::uint32_t list,
                                          std::uint32_t index) {
  const std::uint32_t element = list + kValueListElementBytes * index;
  const std::uint32_t target = cell_contents(file_u32(file, element));
  const std::uint32_t at = land(target, after_read(file, element, kValueListElementBytes));
  return record(target, file, at, kVkCopiedBytes);
}

std::int32_t type_in(const std::vector<unsigned char>& value_image) {
  return static_cast<std::int32_t>(file_u32(Bytes(value_image.begin(), value_image.end()),
                                            4 + kVkTypeAt));
}

class CraftedTest : public ApiTest {
 protected:
  // Opens `file` and fills `value` from ROOT's value list at `index` (0 Number, 1 Text),
  // as a host does; null when the file is refused.
  HiveHandle* open_at_value(const Bytes& file, std::int32_t index, ValueRecord& value) {
    HiveHandle* h = open(file);
    if (h == nullptr) return nullptr;
    KeyRecord root = root_of(h);
    ValueListRecord values;
    EXPECT_EQ(vesk().GetValueList(h, &root, &values), 2);
    vesk().GetValue(h, &values, index, &value);
    return h;
  }

  const SampleHive sample_ = make_sample_hive();
};

// ---- Every offset field, every hostile value -----------------------------------------

// Which way of the rule a value takes once 4100 is added to it.
enum class Landing {
  kWrapped,     // below 0x80000000 and inside the file: read right there
  kRefused,     // 0x80000000 or more: read where the previous read ended
  kPastTheEnd,  // accepted, but the file has nothing there
};

struct HostileOffset {
  std::uint32_t value;
  Landing landing;
};

void PrintTo(const HostileOffset& row, std::ostream* os) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", row.value);
  *os << text;
}

constexpr HostileOffset kHostileOffsets[] = {
    {0xFFFFFFFFu, Landing::kWrapped},     // 4099, inside the first bin header
    {0xFFFFEFFCu, Landing::kWrapped},     // 0, the base block
    {0x7FFFFFFFu, Landing::kRefused},     // 0x80001003
    {0x80000000u, Landing::kRefused},     // 0x80001004
    {0xFFFFEFFBu, Landing::kRefused},     // 0xFFFFFFFF
    {0x7FFFEFFBu, Landing::kPastTheEnd},  // 0x7FFFFFFF, the furthest seek allowed
};

enum Field { kSubkeyList, kLfElement, kValueList, kValueElement, kDataCell, kFieldCount };

class OffsetSweepTest : public CraftedTest,
                        public ::testing::WithParamInterface<std::tuple<int, HostileOffset>> {};

TEST_P(OffsetSweepTest, ReadsLandWhereTheRuleSaysAndNowhereElse) {
  const int field = std::get<0>(GetParam());
  const HostileOffset hostile = std::get<1>(GetParam());
  const OffsetField where = offset_fields(sample_).at(field);
  char what[64];
  std::snprintf(what, sizeof what, "%s = 0x%08X", where.name, hostile.value);
  SCOPED_TRACE(what);

  Bytes file = sample_.bytes;
  put_u32(file, where.at, hostile.value);
  const std::uint32_t target = cell_contents(hostile.value);
  switch (hostile.landing) {
    case Landing::kWrapped: ASSERT_TRUE(target < kRefusedFrom && target < file.size()); break;
    case Landing::kRefused: ASSERT_GE(target, kRefusedFrom); break;
    case Landing::kPastTheEnd: ASSERT_TRUE(target < kRefusedFrom && target >= file.size()); break;
  }
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord root = root_of(h);  // its last read ends where ROOT's name starts
  const std::uint32_t after_root = root.offset + kNkCopiedBytes;

  {
    KeyListRecord list = patterned<KeyListRecord>();
    ValueListRecord values = patterned<ValueListRecord>();
    ValueRecord value = patterned<ValueRecord>();
    switch (field) {
      case kSubkeyList: {
        EXPECT_EQ(vesk().GetSubKeyList(h, &root, &list), 0);  // nothing there reads "lf"
        EXPECT_EQ(image(list), record(target, file, land(target, after_root), kLfHeaderBytes));
        break;
      }
      case kLfElement: {
        ASSERT_EQ(vesk().GetSubKeyList(h, &root, &list), 2);
        KeyRecord sub = patterned<KeyRecord>();
        EXPECT_STREQ(vesk().GetSubKey(h, &list, 0, &sub), "Alph");
        const std::uint32_t after_element = list.offset + kLfElementsAt + kLfElementBytes;
        EXPECT_EQ(image(sub), record(target, file, land(target, after_element), kNkCopiedBytes));
        break;
      }
      case kValueList: {
        if (hostile.value == kNoCell) {  // the one value that means "no list"
          EXPECT_EQ(vesk().GetValueList(h, &root, &values), 0);
          EXPECT_TRUE(untouched(values));
          break;
        }
        ASSERT_EQ(vesk().GetValueList(h, &root, &values), 2);  // no file access
        EXPECT_EQ(values.offset, target);
        const std::int32_t type = vesk().GetValue(h, &values, 0, &value);
        const std::uint32_t element = land(target, after_root);
        const std::uint32_t cell = cell_contents(file_u32(file, element));
        const std::uint32_t at = land(cell, after_read(file, element, kValueListElementBytes));
        EXPECT_EQ(image(value), record(cell, file, at, kVkCopiedBytes));
        EXPECT_EQ(type, type_in(image(value)));
        break;
      }
      case kValueElement: {
        ASSERT_EQ(vesk().GetValueList(h, &root, &values), 2);
        const std::int32_t type = vesk().GetValue(h, &values, 1, &value);
        EXPECT_EQ(image(value), expected_value(file, values.offset, 1));
        EXPECT_EQ(type, type_in(image(value)));
        break;
      }
      case kDataCell: {
        ASSERT_EQ(vesk().GetValueList(h, &root, &values), 2);
        ASSERT_EQ(vesk().GetValue(h, &values, 1, &value), 1);
        ASSERT_EQ(vesk().GetValueDataLength(h, &value), 12);
        std::vector<unsigned char> buffer(12 + 8, kPattern);
        EXPECT_EQ(vesk().GetValueData(h, &value, buffer.data()), 1);
        const std::uint32_t at = land(target, value.offset + kVkCopiedBytes);
        std::vector<unsigned char> expected = file_read(file, at, 12, kPattern);
        expected.resize(buffer.size(), kPattern);  // not a byte past the data size
        EXPECT_EQ(buffer, expected);
        EXPECT_EQ(vesk().GetValueDword(h, &value),
                  file_u32(file, land(target, after_read(file, at, 12))));
        break;
      }
    }
  }
}

// Rows are named by the field, in the order of offset_fields(), and the value.
std::string sweep_row_name(
    const ::testing::TestParamInfo<std::tuple<int, HostileOffset>>& info) {
  static const char* const kNames[kFieldCount] = {"SubkeyList", "LfElement", "ValueList",
                                                  "ValueElement", "DataCell"};
  char text[48];
  std::snprintf(text, sizeof text, "%s_%08X", kNames[std::get<0>(info.param)],
                std::get<1>(info.param).value);
  return text;
}

INSTANTIATE_TEST_SUITE_P(EveryField, OffsetSweepTest,
                         ::testing::Combine(::testing::Range(0, static_cast<int>(kFieldCount)),
                                            ::testing::ValuesIn(kHostileOffsets)),
                         sweep_row_name);

// ---- Lists that run past the end of the file -----------------------------------------

struct CutList {
  const char* what;
  bool subkeys;        // an lf list, else a value list
  std::uint32_t kept;  // bytes of its second element left before the end of the file
};

void PrintTo(const CutList& row, std::ostream* os) { *os << row.what; }

class ListPastTheEndTest : public CraftedTest, public ::testing::WithParamInterface<CutList> {};

TEST_P(ListPastTheEndTest, MissingBytesOfAnElementReadAsZero) {
  const CutList& row = GetParam();
  SCOPED_TRACE(row.what);
  Bytes file = sample_.bytes;
  Bytes list = row.subkeys ? Bytes{'l', 'f', 2, 0} : Bytes{};
  for (const Placed* p : row.subkeys ? std::vector<const Placed*>{&sample_.alpha, &sample_.beta}
                                     : std::vector<const Placed*>{&sample_.number, &sample_.text}) {
    const Bytes cell = le32(p->cell);
    list.insert(list.end(), cell.begin(), cell.end());
    if (row.subkeys) list.insert(list.end(), 4, p == &sample_.alpha ? 'A' : 'B');
  }
  const std::uint32_t contents = append_cell(file, list);
  const std::uint32_t element_bytes = row.subkeys ? kLfElementBytes : kValueListElementBytes;
  const std::uint32_t first = row.subkeys ? contents + kLfElementsAt : contents;
  file.resize(first + element_bytes + row.kept);
  put_u32(file, sample_.root.contents + (row.subkeys ? kNkSubkeyListAt : kNkValueListAt),
          contents - kCellContentBias);
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord root = root_of(h);
  {
    if (row.subkeys) {
      KeyListRecord lf;
      ASSERT_EQ(vesk().GetSubKeyList(h, &root, &lf), 2);
      for (std::uint32_t i : {0u, 1u}) {
        KeyRecord sub = patterned<KeyRecord>();
        const std::string hint = vesk().GetSubKey(h, &lf, static_cast<std::int32_t>(i), &sub);
        const auto expected = expected_subkey(file, lf.offset, i);
        EXPECT_EQ(image(sub), expected.first);
        EXPECT_EQ(hint, expected.second);
      }
    } else {
      ValueListRecord values;
      ASSERT_EQ(vesk().GetValueList(h, &root, &values), 2);
      for (std::uint32_t j : {0u, 1u}) {
        ValueRecord v = patterned<ValueRecord>();
        EXPECT_EQ(vesk().GetValue(h, &values, static_cast<std::int32_t>(j), &v),
                  type_in(expected_value(file, values.offset, j)));
        EXPECT_EQ(image(v), expected_value(file, values.offset, j));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListPastTheEndTest,
    ::testing::Values(CutList{"lf list ends before its second element", true, 0},
                      CutList{"lf list ends after one byte of a cell offset", true, 1},
                      CutList{"lf list ends before a name hint", true, 4},
                      CutList{"lf list ends inside a name hint", true, 6},
                      CutList{"value list ends before its second element", false, 0},
                      CutList{"value list ends after one byte", false, 1},
                      CutList{"value list ends after three bytes", false, 3}),
    RowIndex());

// ---- Element counts ------------------------------------------------------------------

struct CountCase {
  const char* what;
  bool subkeys;
  std::uint32_t count;     // stored in the lf list (16 bits) or the key (32 bits)
  std::int32_t reported;   // by GetSubKeyList or GetValueList
};

void PrintTo(const CountCase& row, std::ostream* os) { *os << row.what; }

class CountTest : public CraftedTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountTest, IndexesAnsweredExactlyAndPromptly) {
  const CountCase& row = GetParam();
  SCOPED_TRACE(row.what);
  Bytes file = sample_.bytes;
  if (row.subkeys) {
    put_u16(file, sample_.root_list.contents + kLfCountAt, static_cast<std::uint16_t>(row.count));
  } else {
    put_u32(file, sample_.root.contents + kNkValueCountAt, row.count);
  }
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord root = root_of(h);
  // Only the library's calls are timed; their answers are checked afterwards.
  std::uint32_t list_offset = 0;
  std::vector<std::pair<std::int32_t, std::pair<std::vector<unsigned char>, std::string>>> subkeys;
  std::vector<std::pair<std::int32_t, std::pair<std::vector<unsigned char>, std::int32_t>>> values;
  // Every element that lies in the file or reaches into it; past it every element reads
  // the same zeros, so a sample there, and the last index, show all of them.
  auto indexes = [&file](std::int32_t count, std::uint32_t first, std::uint32_t bytes) {
    std::vector<std::int32_t> chosen;
    for (std::int32_t i = 0; i < count; ++i) {
      const std::uint64_t at = first + std::uint64_t{bytes} * static_cast<std::uint32_t>(i);
      if (at < file.size() || i % 61 == 0 || i == count - 1) chosen.push_back(i);
    }
    return chosen;
  };
  {
    if (row.subkeys) {
      KeyListRecord lf;
      ASSERT_EQ(vesk().GetSubKeyList(h, &root, &lf), row.reported);
      ASSERT_EQ(vesk().CountKeyList(&lf), row.reported);
      list_offset = lf.offset;
      for (std::int32_t i : indexes(row.reported, lf.offset + kLfElementsAt, kLfElementBytes)) {
        KeyRecord sub = patterned<KeyRecord>();
        const std::string hint = vesk().GetSubKey(h, &lf, i, &sub);
        subkeys.emplace_back(i, std::make_pair(image(sub), hint));
      }
      KeyRecord none = patterned<KeyRecord>();
      EXPECT_STREQ(vesk().GetSubKey(h, &lf, std::max(row.reported, 0), &none), "");
      EXPECT_TRUE(untouched(none));
    } else {
      ValueListRecord list;
      ASSERT_EQ(vesk().GetValueList(h, &root, &list), row.reported);
      list_offset = list.offset;
      for (std::int32_t j : indexes(row.reported, list.offset, kValueListElementBytes)) {
        ValueRecord v = patterned<ValueRecord>();
        const std::int32_t type = vesk().GetValue(h, &list, j, &v);
        values.emplace_back(j, std::make_pair(image(v), type));
      }
    }
  }
  std::size_t wrong = 0;
  std::int32_t first_wrong = 0;
  for (const auto& [i, got] : subkeys) {
    if (got != expected_subkey(file, list_offset, static_cast<std::uint32_t>(i)) &&
        wrong++ == 0) {
      first_wrong = i;
    }
  }
  for (const auto& [j, got] : values) {
    const auto expected = expected_value(file, list_offset, static_cast<std::uint32_t>(j));
    if ((got.first != expected || got.second != type_in(expected)) && wrong++ == 0) {
      first_wrong = j;
    }
  }
  EXPECT_EQ(wrong, 0u) << "first at index " << first_wrong;
  if (row.reported > 0) {
    EXPECT_GT(subkeys.size() + values.size(), 600u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CountTest,
    ::testing::Values(CountCase{"lf count 0x7FFF runs on through the file", true, 0x7FFF, 0x7FFF},
                      CountCase{"lf count 0x8000 is negative", true, 0x8000, -32768},
                      CountCase{"lf count 0xFFFF is negative", true, 0xFFFF, -1},
                      CountCase{"value count 0x7FFF", false, 0x7FFF, 0x7FFF},
                      CountCase{"value count 0xFFFF", false, 0xFFFF, 0xFFFF}),
    RowIndex());

// ---- Name lengths reaching far into the file -----------------------------------------

TEST_F(CraftedTest, LongestValueNameAtTheEndOfTheFileIsPaddedWithSpaces) {
  Bytes file = sample_.bytes;
  Bytes vk = {'v', 'k', 0xFF, 0x7F, 4, 0, 0, 0x80, 7, 0, 0, 0, kTypeDword, 0, 0, 0, 1, 0, 0, 0,
              'N', 'a'};
  const std::uint32_t at = append_cell(file, vk);
  file.resize(at + vk.size());
  put_u32(file, sample_.root_values.contents, at - kCellContentBias);
  ValueRecord v;
  HiveHandle* h = open_at_value(file, 0, v);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(v.offset, at);
  {
    EXPECT_EQ(std::string(vesk().GetValueName(h, &v)), "Na" + std::string(0x7FFF - 2, ' '));
  }
}

TEST_F(CraftedTest, LongestNamesInsideTheFileEndAtTheFirstZeroByte) {
  Bytes file = sample_.bytes;
  put_u16(file, sample_.root.contents + kNkNameLengthAt, 0x7FFF);
  put_u16(file, sample_.text.contents + kVkNameLengthAt, 0x7FFF);
  ValueRecord text;
  HiveHandle* h = open_at_value(file, 1, text);
  ASSERT_NE(h, nullptr);
  const KeyRecord root = root_of(h);
  const std::string key_name = vesk().GetRegKeyName(h, &root);
  EXPECT_EQ(key_name, file_text(file, sample_.root.contents + kNkNameAt, 0x7FFF));
  EXPECT_EQ(key_name.substr(0, 4), "ROOT");  // then the next cell's size, up to a zero
  const std::string value_name = vesk().GetValueName(h, &text);
  EXPECT_EQ(value_name, file_text(file, sample_.text.contents + kVkNameAt, 0x7FFF));
  EXPECT_EQ(value_name.substr(0, 4), "Text");
}

// ---- Data sizes ----------------------------------------------------------------------

class HugeDataSizeTest : public CraftedTest, public ::testing::WithParamInterface<std::uint32_t> {
};

TEST_P(HugeDataSizeTest, ReadsStopAtTheEndOfTheFile) {
  const std::uint32_t size = GetParam();
  SCOPED_TRACE(size);
  Bytes file = sample_.bytes;
  put_u32(file, sample_.text.contents + kVkDataSizeAt, size);
  ValueRecord v;
  HiveHandle* h = open_at_value(file, 1, v);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(v.data_size, size);
  const std::uint32_t data = sample_.text.data.contents;
  // A buffer as large as the whole file: no read can bring more than that. (A POSIX read
  // stops at the end of the file whatever it was asked for; Windows checks the whole
  // buffer it is given, so there a buffer short of the data size gets nothing at all, and
  // a host must size it to the data as the interface says.)
  std::vector<unsigned char> buffer(file.size() + 16, kPattern);
  {
    const bool negative = static_cast<std::int32_t>(size) < 0;
    EXPECT_EQ(vesk().GetValueData(h, &v, buffer.data()), negative ? 0 : 1);
    EXPECT_EQ(vesk().GetValueDword(h, &v),
              negative ? sample_.text.data.cell : file_u32(file, data));
    EXPECT_EQ(vesk().GetValueDataLength(h, &v), 0x7FFFFFFF);
    EXPECT_EQ(v.data_size, 0x7FFFFFFFu);
    std::fill(buffer.begin(), buffer.end(), kPattern);
    EXPECT_EQ(vesk().GetValueData(h, &v, buffer.data()), 1);
#ifndef _WIN32
    EXPECT_EQ(buffer, file_read(file, data, buffer.size(), kPattern));
#endif
    EXPECT_EQ(vesk().GetValueDword(h, &v), file_u32(file, data));
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, HugeDataSizeTest, ::testing::Values(0x7FFFFFFFu, 0xFFFFFFFFu),
                         RowIndex());

TEST_F(CraftedTest, ManyCorruptSizesCostNoMoreThanTheFileHolds) {
  // 10000 values, every one the same short text with a corrupt size: each GetValueString
  // may be asked for 2 GiB, but the file ends after a few bytes and so does the work.
  Bytes file = sample_.bytes;
  put_u32(file, sample_.text.contents + kVkDataSizeAt, 0x7FFFFFFF);
  constexpr std::uint32_t kValues = 10000;
  Bytes list;
  for (std::uint32_t j = 0; j < kValues; ++j) {
    const Bytes cell = le32(sample_.text.cell);
    list.insert(list.end(), cell.begin(), cell.end());
  }
  const std::uint32_t at = append_cell(file, list);
  put_u32(file, sample_.root.contents + kNkValueListAt, at - kCellContentBias);
  put_u32(file, sample_.root.contents + kNkValueCountAt, kValues);
  // The text data now ends where the file does: move it to the very end.
  const Bytes hello = utf16("hello");
  const std::uint32_t data = append_cell(file, hello);
  file.resize(data + hello.size());
  put_u32(file, sample_.text.contents + kVkDataAt, data - kCellContentBias);
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  KeyRecord root = root_of(h);
  ValueListRecord values;
  ASSERT_EQ(vesk().GetValueList(h, &root, &values), static_cast<std::int32_t>(kValues));
  std::size_t wrong = 0;
  {
    for (std::uint32_t j = 0; j < kValues; ++j) {
      ValueRecord v;
      vesk().GetValue(h, &values, static_cast<std::int32_t>(j), &v);
      // The missing bytes read as zero, so the text ends with the file.
      if (std::string(vesk().GetValueString(h, &v)) != "hello") ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0u);
}

// ---- Lists that lead back ------------------------------------------------------------

TEST_F(CraftedTest, TwoKeysListingEachOtherGiveTheSameTwoRecordsForever) {
  Bytes file = sample_.bytes;
  // Alpha gets a list naming ROOT: ROOT -> Alpha -> ROOT -> Alpha ...
  const Bytes back = {'l', 'f', 1, 0, static_cast<std::uint8_t>(sample_.root.cell),
                      static_cast<std::uint8_t>(sample_.root.cell >> 8), 0, 0, 'R', 'O', 'O', 'T'};
  const std::uint32_t list = append_cell(file, back);
  put_u32(file, sample_.alpha.contents + kNkSubkeyListAt, list - kCellContentBias);
  put_u32(file, sample_.alpha.contents + kNkSubkeyCountAt, 1);
  HiveHandle* h = open(file);
  ASSERT_NE(h, nullptr);
  const KeyRecord root = root_of(h);
  KeyRecord key = root;
  {
    for (int depth = 0; depth < 1000; ++depth) {
      KeyListRecord lf;
      ASSERT_GE(vesk().GetSubKeyList(h, &key, &lf), 1);
      KeyRecord next = patterned<KeyRecord>();
      vesk().GetSubKey(h, &lf, 0, &next);
      const bool to_alpha = depth % 2 == 0;
      ASSERT_EQ(next.offset, to_alpha ? sample_.alpha.contents : root.offset) << depth;
      if (!to_alpha) {
        ASSERT_EQ(image(next), image(root)) << depth;
      }
      key = next;
    }
  }
  EXPECT_STREQ(vesk().GetRegKeyName(h, &key), "ROOT");
}

}  // namespace
}  // namespace vesk::test
