// vesk_bench_hive: writes the benchmark hive (the generator's wide preset) and prints the
// key and value the point lookup reads, tab-separated. The same size gives the same file.
//
// Usage: vesk_bench_hive MEGABYTES OUTPUT
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "hive_generator.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atof(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: vesk_bench_hive MEGABYTES OUTPUT\n");
    return 2;
  }
  const vesk::test::WideHive hive = vesk::test::generate_wide_hive(std::atof(argv[1]));
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(hive.bytes.data()),
            static_cast<std::streamsize>(hive.bytes.size()));
  if (!out) {
    std::fprintf(stderr, "vesk_bench_hive: cannot write %s\n", argv[2]);
    return 1;
  }
  std::printf("%s\t%s\n", hive.lookup_key.c_str(), hive.lookup_value.c_str());
  return 0;
}
