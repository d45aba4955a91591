// A valid hive cut at every cell boundary, each cut opened and walked whole as a host
// walks it: everything that lies before the cut comes back exactly as from the full file,
// and every record and name reached holds the cut file's bytes and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "api_test.h"
#include "host_walk.h"
#include "layout.h"
#include "sample_hive.h"

namespace vesk::test {
namespace {

using namespace vesk::format;

// Everything a walk met, by path, with the end of the file region each answer rests on:
// the cells and list elements that led to it, its own cell and name, and its data.
class Recorder : public WalkObserver {
 public:
  struct Item {
    bool is_key = false;
    std::vector<unsigned char> record;
    std::string name;
    std::vector<unsigned char> data;
    std::uint64_t needs = 0;
  };
  std::map<std::string, Item> items;

  void key(const std::string& path, const KeyListRecord* via, std::int32_t index,
           const KeyRecord& key, const std::string& name) override {
    std::uint64_t needs = std::uint64_t{key.offset} + kNkNameAt + length_of(key.name_length);
    if (via != nullptr) {
      needs = std::max({needs, items[path.substr(0, path.rfind('/'))].needs,
                        element_end(std::uint64_t{via->offset} + kLfElementsAt, index,
                                    kLfElementBytes)});
    }
    items[path] = {true, image(key), name, {}, needs};
  }

  void value(const std::string& key_path, const ValueListRecord& via, std::int32_t index,
             const ValueRecord& as_read, const std::string& name,
             const std::vector<unsigned char>& data) override {
    std::uint64_t needs = std::max(items[key_path].needs,
                                   element_end(via.offset, index, kValueListElementBytes));
    const bool named = (as_read.flags & kVkCompressedNameFlag) != 0;
    needs = std::max(needs, std::uint64_t{as_read.offset} +
                                (named ? kVkNameAt + length_of(as_read.name_length)
                                       : static_cast<std::uint64_t>(kVkCopiedBytes)));
    const std::uint32_t length = as_read.data_size & ~kVkInlineFlag;
    if (length > static_cast<std::uint32_t>(kVkInlineMaxBytes)) {
      needs = std::max(needs, std::uint64_t{as_read.data_offset} + kCellContentBias + length);
    }
    items[key_path + ":" + std::to_string(index)] = {false, image(as_read), name, data, needs};
  }

 private:
  // Where element `index` of a run of `bytes`-byte elements from `first` ends.
  static std::uint64_t element_end(std::uint64_t first, std::int32_t index, std::uint32_t bytes) {
    return first + std::uint64_t{bytes} * (std::uint64_t{static_cast<std::uint32_t>(index)} + 1);
  }
  static std::uint64_t length_of(std::uint16_t field) {
    return static_cast<std::uint64_t>(std::max<std::int32_t>(static_cast<std::int16_t>(field), 0));
  }
};

// Two bins: ROOT's 5000-byte value does not fit in the first, so the cells after it and
// every list go to the second.
Bytes hive_to_cut() {
  HiveBuilder b;
  const KeyRef root = b.add_root("ROOT");
  b.add_value(root, "Dword", kTypeDword, le32(0x01020304));
  b.add_value(root, "Text", kTypeString, utf16z("hello world"));
  b.add_value(root, "", kTypeString, utf16z("default"), 0);
  const KeyRef alpha = b.add_key("Alpha", root);
  b.add_value(alpha, "Blob", kTypeBinary, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  b.add_value(root, "Big", kTypeBinary, Bytes(5000, 0x5A));
  const KeyRef beta = b.add_key("Beta", root);
  const KeyRef gamma = b.add_key("Gamma", beta);
  b.add_value(gamma, "Deep", kTypeExpandString, utf16z("%SystemRoot%"));
  b.add_key("Delta", root);
  const KeyRef epsilon = b.add_key("Epsilon", root);
  for (const char* name : {"One", "Two", "Three"}) b.add_key(name, epsilon);
  return b.bytes();
}

class CutFilesTest : public ApiTest {
 protected:
  Recorder walk(const Bytes& file, WalkTally& tally) {
    Recorder recorder;
    HiveHandle* h = open(file);
    EXPECT_NE(h, nullptr);
    if (h == nullptr) return recorder;
    WalkLimits limits;
    limits.buffers_capped_by_file = true;
    tally = walk_hive(vesk(), h, limits, &recorder);
    close(h);
    return recorder;
  }
};

TEST_F(CutFilesTest, EveryCellBoundaryGivesWhatLiesBeforeIt) {
  const Bytes full = hive_to_cut();
  WalkTally full_tally;
  const Recorder whole = walk(full, full_tally);
  ASSERT_EQ(full_tally.keys, 9);
  ASSERT_EQ(full_tally.values, 6);
  ASSERT_GT(cell_starts(full).size(), 20u);

  std::vector<std::uint32_t> cuts = {kFirstBinAt};
  for (std::uint32_t cell : cell_starts(full)) {
    cuts.push_back(cell);                   // the cell is gone
    cuts.push_back(cell + kCellSizeBytes);  // only its size is left
  }
  for (std::uint32_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    const Bytes file(full.begin(), full.begin() + cut);
    WalkTally tally;
    Recorder part;
    part = walk(file, tally);
    EXPECT_TRUE(tally.broken.empty()) << tally.broken.front();

    for (const auto& [path, item] : whole.items) {
      if (item.needs > cut) continue;
      const auto found = part.items.find(path);
      ASSERT_NE(found, part.items.end()) << path << " lies before the cut";
      EXPECT_EQ(found->second.record, item.record) << path;
      EXPECT_EQ(found->second.name, item.name) << path;
      EXPECT_EQ(found->second.data, item.data) << path;
    }
    for (const auto& [path, item] : part.items) {
      const std::uint32_t offset = file_u32(Bytes(item.record.begin(), item.record.end()), 0);
      if (offset >= 0x80000000u) continue;  // a refused seek reads elsewhere
      const std::size_t copied = item.record.size() - 4;
      EXPECT_EQ(std::vector<unsigned char>(item.record.begin() + 4, item.record.end()),
                file_read(file, offset, copied, kWalkPattern))
          << path;
      if (item.is_key) {
        const auto length = static_cast<std::int16_t>(item.record[4 + kNkNameLengthAt] |
                                                      item.record[5 + kNkNameLengthAt] << 8);
        EXPECT_EQ(item.name, file_text(file, offset + kNkNameAt, length)) << path;
      } else if ((item.record[4 + kVkFlagsAt] & kVkCompressedNameFlag) == 0) {
        EXPECT_EQ(item.name, "{default}") << path;
      } else {
        const auto length = static_cast<std::int16_t>(item.record[4 + kVkNameLengthAt] |
                                                      item.record[5 + kVkNameLengthAt] << 8);
        EXPECT_EQ(item.name, file_text(file, offset + kVkNameAt, length)) << path;
      }
    }
  }
}

}  // namespace
}  // namespace vesk::test
