// vesk_bench_lookup: one point lookup, open to close, through vesk/hive.hpp and through
// libhivex, taken in turn so both see the same machine; prints the median of each.
// A lookup opens the hive, descends the path one name at a time, reads one value's
// data and closes the hive. Both must find the same bytes, or nothing is printed.
//
// Usage: vesk_bench_lookup HIVE KEYPATH VALUE REPS   (KEYPATH below the root, "A\B\C")
#include <hivex.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "timing.h"
#include "vesk/hive.hpp"

namespace {

using Data = std::vector<std::uint8_t>;

// The names a lookup steps through, for libhivex, which takes one name at a time.
std::vector<std::string> steps_of(std::string_view path) {
  std::vector<std::string> steps;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    steps.emplace_back(path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  }
  return steps;
}

std::optional<Data> vesk_lookup(const char* file, const std::string& path,
                                const std::string& value) {
  const vesk::Hive hive(file);
  const std::optional<vesk::Key> key = hive.open_key(path);
  if (!key) return std::nullopt;
  for (vesk::Value v : key->values()) {
    if (vesk::compare_names(v.name(), value) == 0) return v.bytes();
  }
  return std::nullopt;
}

std::optional<Data> hivex_lookup(const char* file, const std::vector<std::string>& steps,
                                 const std::string& value) {
  hive_h* h = hivex_open(file, 0);
  if (h == nullptr) return std::nullopt;
  std::optional<Data> out;
  hive_node_h node = hivex_root(h);
  for (const std::string& step : steps) {
    if (node == 0) break;
    node = hivex_node_get_child(h, node, step.c_str());
  }
  const hive_value_h v = node == 0 ? 0 : hivex_node_get_value(h, node, value.c_str());
  hive_type type;
  std::size_t length = 0;
  char* data = v == 0 ? nullptr : hivex_value_value(h, v, &type, &length);
  if (data != nullptr) out = Data(data, data + length);
  std::free(data);
  hivex_close(h);
  return out;
}

// vesk lookups timed for each libhivex one: many more samples of the shorter run, so
// its median is as steady.
constexpr int kVeskPerHivex = 20;

}  // namespace

int main(int argc, char** argv) {
  using vesk::bench::median;
  using vesk::bench::seconds;
  if (argc != 5 || std::atoi(argv[4]) <= 0) {
    std::fprintf(stderr, "usage: vesk_bench_lookup HIVE KEYPATH VALUE REPS\n");
    return 2;
  }
  const char* file = argv[1];
  const std::string path = argv[2];
  const std::string value = argv[3];
  const std::vector<std::string> steps = steps_of(path);
  const std::optional<Data> ours = vesk_lookup(file, path, value);
  const std::optional<Data> theirs = hivex_lookup(file, steps, value);
  if (!ours || !theirs || *ours != *theirs) {
    std::fprintf(stderr, "vesk_bench_lookup: %s\\%s not found alike by both\n", path.c_str(),
                 value.c_str());
    return 1;
  }
  std::vector<double> vesk_times;
  std::vector<double> hivex_times;
  for (int rep = 0, reps = std::atoi(argv[4]); rep < reps; ++rep) {
    hivex_times.push_back(seconds([&] { hivex_lookup(file, steps, value); }));
    for (int i = 0; i < kVeskPerHivex; ++i) {
      vesk_times.push_back(seconds([&] { vesk_lookup(file, path, value); }));
    }
  }
  std::printf("vesk_s=%.9f\nhivex_s=%.9f\n", median(vesk_times), median(hivex_times));
  return 0;
}
