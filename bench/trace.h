// The reads of one walk as a file of (offset, length) pairs, which the floor replays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk::bench {

struct TracedRead {
  std::int64_t offset;
  std::int64_t length;
};

bool save_trace(const std::string& path, const std::vector<TracedRead>& reads);
// Empty when the file is missing or unreadable.
std::vector<TracedRead> load_trace(const std::string& path);

}  // namespace vesk::bench
