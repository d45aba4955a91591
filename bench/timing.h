// Timing for the benchmarks: a monotonic clock and the median of repeated runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace vesk::bench {

// Seconds that `run` takes.
template <typename Run>
double seconds(Run&& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t mid = v.size() / 2;
  return v.size() % 2 == 1 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

}  // namespace vesk::bench
