// The full walk through vesk/hive.hpp, for whichever build of the header the including
// file chose (with its lock, or with VESK_HIVE_NO_LOCK): each lands in its own inline
// namespace, so both builds of this template can sit in one program.
#pragma once

#include "host_walks.h"
#include "vesk/hive.hpp"

namespace vesk::bench {

template <typename KeyType>
void hpp_walk_key(const KeyType& key, HostWalkCounts& counts) {
  ++counts.keys;
  counts.bytes += static_cast<std::int64_t>(key.name().size());
  for (const auto& value : key.values()) {
    ++counts.values;
    if (value.has_name()) counts.bytes += static_cast<std::int64_t>(value.name().size());
    const auto data = value.bytes();
    if (data) counts.bytes += static_cast<std::int64_t>(data->size());
  }
  if (key.subkey_count() <= 0) return;
  for (const auto& subkey : key.subkeys()) hpp_walk_key(subkey, counts);
}

template <typename HiveType>
HostWalkCounts hpp_walk(const char* path) {
  HostWalkCounts counts;
  const HiveType hive(path);
  if (const auto root = hive.root()) hpp_walk_key(*root, counts);
  return counts;
}

}  // namespace vesk::bench
