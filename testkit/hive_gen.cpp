// hive-gen: writes a realistic generated hive (hive_generator.h) to a file,
// for the committed sample, for benchmarks and for trying the tools on a large hive.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hive_generator.h"

namespace {

const char kUsage[] =
    "Usage: hive-gen [--seed N] [--keys K | --megabytes M] [--values V] [--max-data B]\n"
    "                [--max-subkeys S] OUT\n"
    "Writes a version 1.3 hive with a SOFTWARE-like tree, made from the seed, to OUT.\n"
    "  --seed N         the seed (default 1); the same options always give the same file\n"
    "  --keys K         keys in all, the root and a skeleton of about 30 included (1000)\n"
    "  --megabytes M    as many keys as make a file of about M MiB instead\n"
    "  --values V       average values per key (3)\n"
    "  --max-data B     longest value data in bytes (4096)\n"
    "  --max-subkeys S  most subkeys of one key (2000)\n";

bool number(const char* text, unsigned long long& out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  out = std::strtoull(text, &end, 10);
  return errno == 0 && *end == '\0';
}

int usage_error(const std::string& what) {
  std::fprintf(stderr, "hive-gen: %s\n%s", what.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  vesk::test::HiveRecipe recipe;
  unsigned long long megabytes = 0;
  const char* out_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg.rfind("--", 0) == 0) {
      unsigned long long v = 0;
      if (i + 1 >= argc || !number(argv[i + 1], v)) return usage_error(arg + " needs a number");
      ++i;
      const bool small = v <= 0x7FFFFFFF;
      if (arg == "--seed") recipe.seed = v;
      else if (arg == "--keys" && small && v > 0) recipe.keys = static_cast<std::int32_t>(v);
      else if (arg == "--megabytes" && v > 0 && v <= 2047) megabytes = v;
      else if (arg == "--values" && v <= 1000) recipe.values_per_key = static_cast<std::int32_t>(v);
      else if (arg == "--max-data" && small && v > 0) recipe.max_data_bytes = static_cast<std::int32_t>(v);
      else if (arg == "--max-subkeys" && v > 0 && v <= 32767) recipe.max_subkeys = static_cast<std::int32_t>(v);
      else return usage_error("bad option or value: " + arg + " " + argv[i]);
      continue;
    }
    if (out_path != nullptr) return usage_error("one output file only");
    out_path = argv[i];
  }
  if (out_path == nullptr) return usage_error("no output file");
  if (megabytes > 0) recipe.keys = vesk::test::keys_for_bytes(recipe, megabytes << 20);

  const vesk::test::GeneratedHive hive = vesk::test::generate_hive(recipe);
  std::FILE* f = std::fopen(out_path, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "hive-gen: %s: %s\n", out_path, std::strerror(errno));
    return 1;
  }
  const bool written = std::fwrite(hive.bytes.data(), 1, hive.bytes.size(), f) == hive.bytes.size();
  if (std::fclose(f) != 0 || !written) {
    std::fprintf(stderr, "hive-gen: %s: write failed\n", out_path);
    return 1;
  }
  std::printf("%s: %d keys, %lld values, %zu bytes\n", out_path, hive.keys,
              static_cast<long long>(hive.values), hive.bytes.size());
  return 0;
}
