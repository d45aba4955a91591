// The full walk: every key and value of a hive through the 17 exports, as a host that
// dumps a whole hive makes the calls. Shared by the timed walk and the recorded one.
#pragma once

#include <cstdint>

namespace vesk::bench {

struct WalkCounts {
  std::int64_t keys = 0;
  std::int64_t values = 0;
  std::int64_t bytes = 0;      // of names, texts and data
  std::int64_t announced = 0;  // values, subkeys and list elements the records claim
};

// Walks the hive at `path`; all zero when it does not open or has no root.
WalkCounts walk_hive(const char* path);

}  // namespace vesk::bench
