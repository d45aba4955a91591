// vesk_bench_host_walks: the full walk of a host, timed in turn so that all see the same
// machine; prints the median of each, in seconds.
//
//   vesk_bench_host_walks c HIVE REPS      the walk in C through the 17 exports
//   vesk_bench_host_walks lock HIVE REPS   the walk through vesk/hive.hpp with and
//                                          without its lock, and the lock's share
//
// Python's walk is timed by bench/python_walk.py, beside the C walk of this program.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host_walks.h"
#include "timing.h"

int main(int argc, char** argv) {
  using namespace vesk::bench;
  const int reps = argc == 4 ? std::atoi(argv[3]) : 0;
  if (reps <= 0 || (std::strcmp(argv[1], "c") != 0 && std::strcmp(argv[1], "lock") != 0)) {
    std::fprintf(stderr, "usage: vesk_bench_host_walks c|lock HIVE REPS\n");
    return 2;
  }
  const char* hive = argv[2];
  if (c_walk(hive).keys == 0) {  // also warms the page cache and the code
    std::fprintf(stderr, "vesk_bench_host_walks: cannot walk %s\n", hive);
    return 1;
  }
  if (std::strcmp(argv[1], "c") == 0) {
    std::vector<double> c;
    for (int i = 0; i < reps; ++i) c.push_back(seconds([&] { c_walk(hive); }));
    std::printf("c_s=%.6f\n", median(c));
    return 0;
  }
  const HostWalkCounts locked = hpp_walk_locked(hive);
  const HostWalkCounts unlocked = hpp_walk_unlocked(hive);
  if (locked.keys != unlocked.keys || locked.bytes != unlocked.bytes) {
    std::fprintf(stderr, "vesk_bench_host_walks: the two walks read different hives\n");
    return 1;
  }
  // Each locked walk is paired with the unlocked one right after it; the cost is the
  // median of the pairs' differences over the unlocked time.
  std::vector<double> with_lock;
  std::vector<double> without;
  std::vector<double> cost;
  for (int i = 0; i < reps; ++i) {
    with_lock.push_back(seconds([&] { hpp_walk_locked(hive); }));
    without.push_back(seconds([&] { hpp_walk_unlocked(hive); }));
    cost.push_back(with_lock.back() / without.back() - 1);
  }
  std::printf("locked_s=%.6f\nunlocked_s=%.6f\nlock_cost=%.4f\nkeys=%lld\n", median(with_lock),
              median(without), median(cost), static_cast<long long>(locked.keys));
  return 0;
}
