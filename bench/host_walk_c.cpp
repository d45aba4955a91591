// The full walk a host program makes through the 17 exports, written as plainly as C
// would: every key's name, every value's name, type and stored bytes. The Python and
// C++ walks that bench/run sets beside it read exactly the same.
#include "host_walks.h"

#include <vector>

#include "vesk/hive.hpp"
#include "vesk_10.h"

namespace vesk::bench {
namespace {

struct CWalker {
  HiveHandle* hive;
  std::vector<unsigned char> data;
  HostWalkCounts counts;

  void key(const KeyRecord& key) {
    ++counts.keys;
    counts.bytes += static_cast<std::int64_t>(std::string_view(GetRegKeyName(hive, &key)).size());
    ValueListRecord values{};
    const std::int32_t n = GetValueList(hive, &key, &values);
    for (std::int32_t i = 0; i < n; ++i) value(values, i);
    if (CountSubKeys(&key) <= 0) return;
    KeyListRecord subkeys{};
    const std::int32_t m = GetSubKeyList(hive, &key, &subkeys);
    for (std::int32_t i = 0; i < m; ++i) {
      KeyRecord subkey{};
      GetSubKey(hive, &subkeys, i, &subkey);
      this->key(subkey);
    }
  }

  void value(const ValueListRecord& list, std::int32_t index) {
    ++counts.values;
    ValueRecord value{};
    GetValue(hive, &list, index, &value);
    if ((value.flags & kValueNameIs8BitFlag) != 0 && value.name_length != 0) {
      counts.bytes += static_cast<std::int64_t>(std::string_view(GetValueName(hive, &value)).size());
    }
    const std::uint32_t size = value.data_size & ~kValueDataInlineFlag;
    if (size <= 4) {
      counts.bytes += size;
      return;
    }
    value.data_size = size;
    if (size > static_cast<std::uint32_t>(hive->file_size)) return;
    if (data.size() < size) data.resize(size);
    if (GetValueData(hive, &value, data.data()) != 0) counts.bytes += size;
  }
};

}  // namespace

HostWalkCounts c_walk(const char* path) {
  CWalker walker{OpenRegistryFile(path), {}, {}};
  if (walker.hive == nullptr) return {};
  KeyRecord root{};
  if (SearchRootKey(walker.hive, &root) != 0) walker.key(root);
  CloseRegistryFile(walker.hive);
  return walker.counts;
}

}  // namespace vesk::bench
