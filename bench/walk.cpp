// The walk is depth-first, as a dump prints: a key's name, its values with their names
// and data, then its subkeys. Data is taken by the call that suits its type, into one
// buffer that grows to the largest value, so memory does not grow with the hive.
#include "walk.h"

#include <cstring>
#include <vector>

#include "vesk/hive.hpp"
#include "vesk_10.h"

namespace vesk::bench {
namespace {

class Walker {
 public:
  explicit Walker(HiveHandle* hive) : hive_(hive) {}

  void key(const KeyRecord& key) {
    ++counts_.keys;
    text(GetRegKeyName(hive_, &key));
    ValueListRecord values{};
    const std::int32_t value_count = GetValueList(hive_, &key, &values);
    for (std::int32_t i = 0; i < value_count; ++i) value(values, i);
    KeyListRecord subkeys{};
    const std::int32_t subkey_count = GetSubKeyList(hive_, &key, &subkeys);
    counts_.announced += CountValues(&key) + CountSubKeys(&key) + CountKeyList(&subkeys);
    for (std::int32_t i = 0; i < subkey_count; ++i) {
      KeyRecord subkey{};
      text(GetSubKey(hive_, &subkeys, i, &subkey));
      this->key(subkey);
    }
  }

  const WalkCounts& counts() const { return counts_; }

 private:
  void value(const ValueListRecord& list, std::int32_t index) {
    ++counts_.values;
    ValueRecord value{};
    GetValue(hive_, &list, index, &value);
    text(GetValueName(hive_, &value));
    const auto type = static_cast<std::uint32_t>(GetValueType(hive_, &value));
    const std::int32_t length = GetValueDataLength(hive_, &value);
    if (type == kTypeString || type == kTypeExpandString) {
      text(GetValueString(hive_, &value));
    } else if (type == kTypeDword || type == kTypeDwordBigEndian || length <= 4) {
      GetValueDword(hive_, &value);
      counts_.bytes += 4;
    } else if (length <= hive_->file_size) {
      if (data_.size() < static_cast<std::size_t>(length)) data_.resize(length);
      if (GetValueData(hive_, &value, data_.data()) != 0) counts_.bytes += length;
    }
  }

  void text(const char* t) { counts_.bytes += static_cast<std::int64_t>(std::strlen(t)); }

  HiveHandle* hive_;
  std::vector<unsigned char> data_;
  WalkCounts counts_;
};

}  // namespace

WalkCounts walk_hive(const char* path) {
  HiveHandle* hive = OpenRegistryFile(path);
  if (hive == nullptr) return {};
  Walker walker(hive);
  KeyRecord root{};
  if (SearchRootKey(hive, &root) != 0) walker.key(root);
  CloseRegistryFile(hive);
  return walker.counts();
}

}  // namespace vesk::bench
