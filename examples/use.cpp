// Lists every key of a hive with its values, then the totals: vesk/hive.hpp from C++17.
#include <cstdio>
#include <string>

#include <vesk/hive.hpp>

static int keys = 0, values = 0;

static void list_key(const vesk::Key& key, int depth) {
  ++keys;
  const std::string indent(2 * depth, ' ');
  std::printf("%s%s\n", indent.c_str(), key.name().c_str());
  for (const vesk::Value& value : key.values()) {
    std::printf("%s  = %s (type %u, %d bytes)\n", indent.c_str(), value.name().c_str(),
                value.type(), value.length());
    ++values;
  }
  for (const vesk::Key& subkey : key.subkeys()) list_key(subkey, depth + 1);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s HIVE\n", argv[0]);
    return 2;
  }
  try {
    const vesk::Hive hive = vesk::Hive::open(argv[1]);  // or throws, saying why not
    list_key(*hive.root(), 0);
  } catch (const vesk::OpenError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  std::printf("%d keys, %d values\n", keys, values);
  return 0;
}
