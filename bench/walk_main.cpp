// vesk_bench_walk: the full walk against its floor, or the walk's peak memory.
//
//   vesk_bench_walk time HIVE TRACE REPS   walks and replays the traced reads in turn,
//                                          REPS times each; prints both medians and
//                                          the median ratio of walk to replay
//   vesk_bench_walk floor HIVE TRACE       replays the traced reads once; prints the
//                                          seconds, for a whole program timed in turn
//   vesk_bench_walk memory HIVE            walks once; prints the process's peak RSS
//
// The floor opens the file, makes exactly the walk's preads into one buffer and
// closes it: the cost of the system calls alone, with no hive logic.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "timing.h"
#include "trace.h"
#include "walk.h"

namespace {

using namespace vesk::bench;

// A buffer that holds the longest of the reads.
std::vector<unsigned char> buffer_for(const std::vector<TracedRead>& reads) {
  std::int64_t longest = 0;
  for (const TracedRead& r : reads) longest = std::max(longest, r.length);
  return std::vector<unsigned char>(static_cast<std::size_t>(longest));
}

std::int64_t replay(const char* path, const std::vector<TracedRead>& reads,
                    std::vector<unsigned char>& buffer) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  std::int64_t total = 0;
  for (const TracedRead& r : reads) {
    total += ::pread(fd, buffer.data(), static_cast<std::size_t>(r.length), r.offset);
  }
  ::close(fd);
  return total;
}

// The peak resident set of this process so far, in KiB, from the kernel's own count.
long peak_resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

int time_walk(const char* hive, const char* trace_path, int reps) {
  const std::vector<TracedRead> reads = load_trace(trace_path);
  if (reads.empty()) {
    std::fprintf(stderr, "vesk_bench_walk: no trace in %s\n", trace_path);
    return 1;
  }
  std::vector<unsigned char> buffer = buffer_for(reads);
  WalkCounts counts = walk_hive(hive);  // warms the page cache and the code
  if (counts.keys == 0 || replay(hive, reads, buffer) < 0) {
    std::fprintf(stderr, "vesk_bench_walk: cannot walk %s\n", hive);
    return 1;
  }
  // Each walk is paired with the replay right after it, which ran on the same machine
  // in nearly the same state; the ratio is the median of the pairs' ratios.
  std::vector<double> walk;
  std::vector<double> floor;
  std::vector<double> ratio;
  for (int i = 0; i < reps; ++i) {
    walk.push_back(seconds([&] { counts = walk_hive(hive); }));
    floor.push_back(seconds([&] { replay(hive, reads, buffer); }));
    ratio.push_back(walk.back() / floor.back());
  }
  std::printf("walk_s=%.6f\nfloor_s=%.6f\nratio=%.4f\nreads=%zu\nkeys=%lld\nvalues=%lld\n",
              median(walk), median(floor), median(ratio), reads.size(),
              static_cast<long long>(counts.keys), static_cast<long long>(counts.values));
  return 0;
}

// One replay of a warm file, for scripts that time a program against it in turn.
int time_floor(const char* hive, const char* trace_path) {
  const std::vector<TracedRead> reads = load_trace(trace_path);
  std::vector<unsigned char> buffer = buffer_for(reads);
  if (reads.empty() || replay(hive, reads, buffer) < 0) {
    std::fprintf(stderr, "vesk_bench_walk: cannot replay %s on %s\n", trace_path, hive);
    return 1;
  }
  std::printf("floor_s=%.6f\n", seconds([&] { replay(hive, reads, buffer); }));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "time") == 0 && std::atoi(argv[4]) > 0) {
    return time_walk(argv[2], argv[3], std::atoi(argv[4]));
  }
  if (argc == 4 && std::strcmp(argv[1], "floor") == 0) return time_floor(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "memory") == 0) {
    const WalkCounts counts = walk_hive(argv[2]);
    if (counts.keys == 0) return 1;
    std::printf("peak_kib=%ld\nkeys=%lld\n", peak_resident_kib(),
                static_cast<long long>(counts.keys));
    return 0;
  }
  std::fprintf(stderr,
               "usage: vesk_bench_walk time HIVE TRACE REPS\n"
               "       vesk_bench_walk floor HIVE TRACE\n"
               "       vesk_bench_walk memory HIVE\n");
  return 2;
}
