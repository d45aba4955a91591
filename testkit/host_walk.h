// A host's walk over a hive through the 17 exports: every key to a bounded depth and
// breadth, every value read with every data function, each answer checked against what
// must hold for any file at all. Shared by the fuzzers, the hardening tests and the
// valgrind walk; it knows nothing of gtest, so a broken promise is only recorded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "layout.h"
#include "vesk_10.h"
#include "vesk_library.h"

namespace vesk::test {

// The exports as linked into the program, for programs that do not load the library.
// VeskLibrary offers the same members, so a walk takes either.
struct LinkedExports {
#define VESK_LINK_POINTER(name) decltype(&::name) name = &::name;
  VESK_FOR_EACH_EXPORT(VESK_LINK_POINTER)
#undef VESK_LINK_POINTER
};

struct WalkLimits {
  int max_depth = 512;                   // levels below the root
  std::int32_t max_breadth = INT32_MAX;  // subkeys and values taken per key
  std::int64_t max_keys = INT64_MAX;     // keys visited in all
  std::int64_t max_values = INT64_MAX;   // values read in all
  // Calls GetValueData even for a length beyond the file's size, into a buffer only as
  // large as the file (see buffer_for). The library never reads past the end, so that is
  // safe here and lets the sanitizers watch every byte; valgrind, which checks the whole
  // length a read may fill, would report it. Off: such data is not read at all.
  bool buffers_capped_by_file = false;
};

// The fuzzer's bounds, which the replay of its inputs keeps too: deep, wide and cyclic
// enough to reach every kind of list a file can fake, small enough that an input whose
// every list runs on into garbage still costs about a millisecond.
inline constexpr WalkLimits kFuzzWalkLimits{8, 16, 64, 64, true};

// What a walk met, and every promise it saw broken (none, for a correct library).
struct WalkTally {
  std::int64_t keys = 0;
  std::int64_t values = 0;
  std::int64_t data_bytes = 0;  // read by GetValueData, at most a file's worth per value
  std::vector<std::string> broken;
};

// Told of every key and value as the walk meets it. A path names a key by the indexes
// that lead to it from the root: "" is the root, "/0/2" the third subkey of its first.
class WalkObserver {
 public:
  virtual ~WalkObserver() = default;
  // `via` is the list the key was taken from (null for the root), `index` its element.
  virtual void key(const std::string& /*path*/, const KeyListRecord* /*via*/,
                   std::int32_t /*index*/, const KeyRecord& /*key*/,
                   const std::string& /*name*/) {}
  // `as_read` is the record as GetValue filled it; `data` what GetValueData wrote, or
  // for data of 4 bytes or fewer the bytes of GetValueDword.
  virtual void value(const std::string& /*key_path*/, const ValueListRecord& /*via*/,
                     std::int32_t /*index*/, const ValueRecord& /*as_read*/,
                     const std::string& /*name*/, const std::vector<unsigned char>& /*data*/) {}
};

inline constexpr unsigned char kWalkPattern = 0xAB;

// The longest text a host can be handed: the library's 64000-byte result area less the NUL.
inline constexpr std::size_t kLongestText = 63999;

template <class Exports>
class HostWalk {
 public:
  HostWalk(const Exports& api, HiveHandle* hive, const WalkLimits& limits,
           WalkObserver* observer)
      : api_(api), hive_(hive), limits_(limits), observer_(observer) {}

  WalkTally run() {
    KeyRecord root = patterned<KeyRecord>();
    const std::int32_t found = api_.SearchRootKey(hive_, &root);
    expect(found == 0 || found == 1, "SearchRootKey answers 0 or 1");
    if (found == 1) {
      visit_key(root, "", nullptr, 0, 0);
    } else {
      expect(untouched(root), "a failed root search leaves the record");
    }
    return tally_;
  }

 private:
  template <typename Record>
  static Record patterned() {
    Record r;
    std::memset(&r, kWalkPattern, sizeof r);
    return r;
  }
  template <typename Record>
  static bool untouched(const Record& r) {
    const auto* p = reinterpret_cast<const unsigned char*>(&r);
    return std::all_of(p, p + sizeof r, [](unsigned char b) { return b == kWalkPattern; });
  }

  void expect(bool ok, const char* promise) {
    if (!ok) tally_.broken.emplace_back(promise);
  }

  std::string text(const char* t, const char* promise) {
    expect(t != nullptr, promise);
    if (t == nullptr) return {};
    const std::size_t n = std::strlen(t);  // a text without its NUL runs off the area here
    expect(n <= kLongestText, promise);
    return std::string(t, n);
  }

  // The buffer for data of `length` bytes is the smaller of that length and the file's:
  // no read brings more bytes than the file holds, so a corrupt length needs no
  // gigabytes, while a true one gets a buffer of exactly its size and not a byte more.
  std::vector<unsigned char> buffer_for(std::int32_t length) const {
    std::int32_t bytes = std::max(length, 1);
    if (hive_->file_size >= 0) bytes = std::min(bytes, std::max(hive_->file_size, 1));
    return std::vector<unsigned char>(static_cast<std::size_t>(bytes), kWalkPattern);
  }

  // Whether GetValueData is called for data of `length` bytes (see WalkLimits).
  bool reads_data_of(std::int32_t length) const {
    return limits_.buffers_capped_by_file || hive_->file_size < 0 || length <= hive_->file_size;
  }

  static bool all_pattern(const std::vector<unsigned char>& b) {
    return std::all_of(b.begin(), b.end(), [](unsigned char x) { return x == kWalkPattern; });
  }

  void visit_key(KeyRecord& key, const std::string& path, const KeyListRecord* via,
                 std::int32_t index, int depth) {
    ++tally_.keys;
    expect(api_.CountSubKeys(&key) == key.subkey_count, "CountSubKeys is the record's count");
    expect(api_.CountValues(&key) == key.value_count, "CountValues is the record's count");
    const std::string name = text(api_.GetRegKeyName(hive_, &key), "GetRegKeyName gives text");
    if (observer_ != nullptr) observer_->key(path, via, index, key, name);
    visit_values(key, path);

    KeyListRecord list = patterned<KeyListRecord>();
    const std::int32_t subkeys = api_.GetSubKeyList(hive_, &key, &list);
    expect(list.offset == format::cell_contents(key.subkey_list), "the list offset is the cell's");
    expect(subkeys == (list.signature == format::kSigLf ? list.count : 0),
           "GetSubKeyList counts only lf lists");
    const std::int32_t count = api_.CountKeyList(&list);
    expect(count == list.count, "CountKeyList is the record's count");
    for (std::int32_t outside : {count, -1}) {
      KeyRecord none = patterned<KeyRecord>();
      const std::string hint = text(api_.GetSubKey(hive_, &list, outside, &none), "GetSubKey");
      expect(hint.empty() && untouched(none), "an index out of range reads nothing");
    }
    if (depth >= limits_.max_depth) return;
    const std::int32_t breadth = std::min(count, limits_.max_breadth);
    for (std::int32_t i = 0; i < breadth && tally_.keys < limits_.max_keys; ++i) {
      KeyRecord sub = patterned<KeyRecord>();
      const std::string hint = text(api_.GetSubKey(hive_, &list, i, &sub), "GetSubKey");
      expect(hint.size() <= static_cast<std::size_t>(format::kLfHintBytes),
             "a name hint has at most four characters");
      visit_key(sub, path + "/" + std::to_string(i), &list, i, depth + 1);
    }
  }

  void visit_values(const KeyRecord& key, const std::string& path) {
    ValueListRecord list = patterned<ValueListRecord>();
    const std::int32_t values = api_.GetValueList(hive_, &key, &list);
    if (key.value_count == 0 || key.value_list == format::kNoCell) {
      expect(values == 0 && untouched(list), "no value list leaves the record");
    } else {
      expect(values == key.value_count && list.count == key.value_count &&
                 list.offset == format::cell_contents(key.value_list),
             "GetValueList takes count and cell from the key");
    }
    for (std::int32_t outside : {values, -1}) {
      ValueRecord none = patterned<ValueRecord>();
      expect(api_.GetValue(hive_, &list, outside, &none) == 0 && untouched(none),
             "an index out of range reads nothing");
    }
    const std::int32_t breadth = std::min(values, limits_.max_breadth);
    for (std::int32_t j = 0; j < breadth && tally_.values < limits_.max_values; ++j) {
      visit_value(list, j, path);
    }
  }

  void visit_value(const ValueListRecord& list, std::int32_t index, const std::string& path) {
    ++tally_.values;
    ValueRecord value = patterned<ValueRecord>();
    const std::int32_t type = api_.GetValue(hive_, &list, index, &value);
    expect(type == static_cast<std::int32_t>(value.data_type), "GetValue returns the type");
    expect(api_.GetValueType(hive_, &value) == type, "GetValueType agrees with GetValue");
    const ValueRecord as_read = value;
    const char* name_text = api_.GetValueName(hive_, &value);
    const std::string name = text(name_text, "GetValueName gives text");
    if ((value.flags & format::kVkCompressedNameFlag) == 0) {
      expect(name == "{default}", "a name not 8-bit is {default}");
    }

    // Before the inline bit is cleared: a size with bit 31 set reads as negative.
    const auto raw_size = static_cast<std::int32_t>(as_read.data_size);
    if (reads_data_of(raw_size)) {
      std::vector<unsigned char> early = buffer_for(raw_size);
      const std::int32_t early_read = api_.GetValueData(hive_, &value, early.data());
      expect(early_read == (raw_size > format::kVkInlineMaxBytes ? 1 : 0),
           "GetValueData reads only sizes over 4");
      if (early_read == 0) expect(all_pattern(early), "GetValueData wrote nothing");
    }
    const std::uint32_t early_dword = api_.GetValueDword(hive_, &value);
    if (raw_size <= format::kVkInlineMaxBytes) {
      expect(early_dword == as_read.data_offset, "inline data is the field");
    }
    expect(image_of(value) == image_of(as_read), "only two calls change the record");

    const std::int32_t length = api_.GetValueDataLength(hive_, &value);
    expect(length == static_cast<std::int32_t>(as_read.data_size & ~format::kVkInlineFlag) &&
               value.data_size == static_cast<std::uint32_t>(length),
           "GetValueDataLength clears bit 31 in place");
    std::vector<unsigned char> data = buffer_for(length);
    if (reads_data_of(length)) {
      const std::int32_t read = api_.GetValueData(hive_, &value, data.data());
      expect(read == (length > format::kVkInlineMaxBytes ? 1 : 0),
             "GetValueData reads only sizes over 4");
    } else {
      data.clear();
    }
    const std::uint32_t dword = api_.GetValueDword(hive_, &value);
    if (length > format::kVkInlineMaxBytes) {
      data.resize(std::min(data.size(), static_cast<std::size_t>(length)));
      tally_.data_bytes += static_cast<std::int64_t>(data.size());
    } else {
      expect(all_pattern(data) && dword == as_read.data_offset, "inline data is not read");
      data.assign(static_cast<std::size_t>(length), 0);
      for (std::int32_t b = 0; b < length; ++b) {
        data[static_cast<std::size_t>(b)] = static_cast<unsigned char>(dword >> (8 * b));
      }
    }

    // None of the calls since GetValueName returns text, so its text is still there.
    expect(name_text == nullptr || name == name_text, "a text stays until the next text call");
    ValueRecord fresh = as_read;
    text(api_.GetValueString(hive_, &fresh), "GetValueString gives text");
    expect(fresh.data_size == (as_read.data_size & ~format::kVkInlineFlag),
           "GetValueString clears bit 31 in place");
    if (observer_ != nullptr) observer_->value(path, list, index, as_read, name, data);
  }

  template <typename Record>
  static std::vector<unsigned char> image_of(const Record& r) {
    const auto* p = reinterpret_cast<const unsigned char*>(&r);
    return {p, p + sizeof r};
  }

  const Exports& api_;
  HiveHandle* hive_;
  WalkLimits limits_;
  WalkObserver* observer_;
  WalkTally tally_;
};

// Walks the opened hive from its root; the hive stays open.
template <class Exports>
WalkTally walk_hive(const Exports& api, HiveHandle* hive, const WalkLimits& limits = {},
                    WalkObserver* observer = nullptr) {
  return HostWalk<Exports>(api, hive, limits, observer).run();
}

}  // namespace vesk::test
