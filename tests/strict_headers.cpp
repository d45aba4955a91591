// The installed C++ headers alone, for the test that compiles them with the warnings
// hosts turn on (conversions, signedness, shadowing) as errors; the walk below makes the
// templates that only a use instantiates face them too.
#include "vesk/base_block.hpp"
#include "vesk/hive.hpp"

std::size_t strict_headers_walk(const vesk::Hive& hive) {
  std::size_t bytes = 0;
  for (const vesk::Key key : hive.root()->subkeys()) {
    for (const vesk::Value value : key.values()) {
      if (const auto data = value.bytes()) bytes += data->size();
    }
  }
  return bytes;
}
