// The same full walk as a host writes it in C, and through vesk/hive.hpp with and
// without its lock: every key's name, every value's name, type and stored bytes.
#pragma once

#include <cstdint>
#include <string_view>

namespace vesk::bench {

struct HostWalkCounts {
  std::int64_t keys = 0;
  std::int64_t values = 0;
  std::int64_t bytes = 0;  // of names and data
};

// Each walks the hive at `path`; all zero when it does not open or has no root.
HostWalkCounts c_walk(const char* path);
HostWalkCounts hpp_walk_locked(const char* path);
HostWalkCounts hpp_walk_unlocked(const char* path);

}  // namespace vesk::bench
