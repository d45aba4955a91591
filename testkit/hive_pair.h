// Pairs of hives for testing a diff: OLD is a hive's readable content laid out again by
// HiveBuilder, NEW the same content with a seeded set of edits (keys added, removed and
// renamed; a key and a value renamed in case alone; values added, removed, and changed
// in type and in data; a key whose last-write time alone changed; a part the library cannot read on either side), and
// the changes a diff must report, exactly, as lines "MARK [PATH]" with ' "NAME"' (or
// ' @') after a value's key and " key and all in it: K subkeys, V values" after an added
// or removed key. Every other key has the same last-write time in both.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "hive_builder.h"

namespace vesk::test {

struct HivePair {
  Bytes old_hive;
  Bytes new_hive;
  std::set<std::string> changes;
};

// Reads `hive` through the library (only what it reads whole: keys and values named in
// UTF-16 are left out) and makes a pair from it with the edits `seed` chooses. The hive
// needs a few keys with values below the root.
HivePair make_hive_pair(const Bytes& hive, std::uint64_t seed);

}  // namespace vesk::test
