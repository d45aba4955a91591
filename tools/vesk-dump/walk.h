// The guarded depth-first walk over a hive, through include/vesk/hive.hpp only: each key,
// its values, then its subkeys, handed to a Sink. No key is followed twice (a subkey that
// leads back to an ancestor is reported and skipped), the depth is bounded, and no more
// subkeys, values or data are read than a file of the hive's size can hold, so every
// walk ends however the hive was crafted. Problems go to Findings as plain records, as
// does whatever the Sink says it could not write; the walk goes on. The walk is the only
// caller of the library; the Sink receives plain records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "code_set.h"
#include "entries.h"
#include "findings.h"
#include "progress.h"
#include "vesk/hive.hpp"

namespace vesk::dump {

struct Ancestor {
  std::uint32_t offset;
  std::string path;
};

// Where the walk begins: the whole hive's root, or the key a KEYPATH names.
struct Start {
  Key key;
  std::string name;  // as stored
  std::string path;  // in the code set
  std::u16string chars;  // the same path as UTF-16, for formats that write it so
  bool name_whole = true;
  std::vector<Ancestor> above;  // the keys above it, the root first
  // As stored: only the first value of this name (case ignored; "" the unnamed one) is
  // handed over, and no subkey.
  std::optional<std::string> only_value;
  // Whether keys below the depth limit count as damage: they do when the limit is the
  // registry's own, not when the user chose it.
  bool depth_limit_is_damage = true;
};

struct Counts {
  std::int64_t keys = 0;
  std::int64_t values = 0;
};

Counts walk(const Hive& hive, const Start& start, int max_depth, const CodeSet& code_set,
            Findings& findings, Progress& progress, Sink& sink);

}  // namespace vesk::dump
