// vesk_walk_hives [--bounded] HIVE...: walks each hive through the 17 exports as a host
// does and prints what it met; the program valgrind watches (scripts/test.d/50-valgrind.sh).
// Hives after --bounded are walked within the fuzzer's bounds, as crafted files with lists
// that lead back need, and data longer than the file is not read. Exits 1 when a walk saw
// a promise broken; refused files are only listed.
#include <cstdio>
#include <cstring>

#include "host_walk.h"

int main(int argc, char** argv) {
  const vesk::test::LinkedExports api;
  vesk::test::WalkLimits limits;
  int status = 0;
  long long walked = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bounded") == 0) {
      limits = vesk::test::kFuzzWalkLimits;
      limits.buffers_capped_by_file = false;  // valgrind checks whole buffers
      continue;
    }
    HiveHandle* hive = api.OpenRegistryFile(argv[i]);
    if (hive == nullptr) {
      std::printf("%s: refused\n", argv[i]);
      continue;
    }
    const vesk::test::WalkTally tally = vesk::test::walk_hive(api, hive, limits);
    api.CloseRegistryFile(hive);
    ++walked;
    std::printf("%s: %lld keys, %lld values, %lld data bytes\n", argv[i],
                static_cast<long long>(tally.keys), static_cast<long long>(tally.values),
                static_cast<long long>(tally.data_bytes));
    for (const std::string& broken : tally.broken) {
      std::printf("%s: broken promise: %s\n", argv[i], broken.c_str());
      status = 1;
    }
  }
  std::printf("%lld hives walked, %s\n", walked,
              status == 0 ? "every promise kept" : "PROMISES BROKEN");
  return status;
}
