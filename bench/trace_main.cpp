// vesk_bench_trace: walks a hive once with every system call logged and saves the
// reads it made, in order, for the floor to replay. Fails if the walk made any call
// other than positioned reads, since the floor could not replay it.
//
// Usage: vesk_bench_trace HIVE TRACE
#include <cstdio>

#include "system_calls.h"
#include "trace.h"
#include "walk.h"

int main(int argc, char** argv) {
  using namespace vesk;
  if (argc != 3) {
    std::fprintf(stderr, "usage: vesk_bench_trace HIVE TRACE\n");
    return 2;
  }
  std::vector<bench::TracedRead> reads;
  bench::WalkCounts counts;
  {
    test::SystemCallLog log;
    counts = bench::walk_hive(argv[1]);
    for (const test::LoggedCall& c : log.calls()) {
      if (c.call == test::SystemCall::kStat) continue;  // the two of the open
      if (c.call != test::SystemCall::kRead || c.offset < 0) {
        std::fprintf(stderr, "vesk_bench_trace: the walk made a call other than pread\n");
        return 1;
      }
      reads.push_back({c.offset, c.length});
    }
  }
  if (counts.keys == 0 || !bench::save_trace(argv[2], reads)) {
    std::fprintf(stderr, "vesk_bench_trace: no walk of %s or no trace in %s\n", argv[1], argv[2]);
    return 1;
  }
  std::printf("reads=%zu\nkeys=%lld\nvalues=%lld\n", reads.size(),
              static_cast<long long>(counts.keys), static_cast<long long>(counts.values));
  return 0;
}
