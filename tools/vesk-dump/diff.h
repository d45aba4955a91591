// vesk-dump --diff: what changed between two hives. Both are walked at once through the
// library, key by key in name order (case ignored, as the registry compares names), and
// every difference becomes a Change handed to a ChangeSink, which formats it: readable
// text, a .reg that makes a registry holding OLD equal NEW, or a line format's records.
// A key or value whose name differs from the other side's only in case is removed and
// added, since regedit keeps the stored case of a name it writes to. What the library
// cannot read on either side is a Change of its own, "not compared", never an addition,
// a removal or a sameness.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "entries.h"

namespace vesk::dump {

// --diff's exit statuses beside dump.h's 1 (damage in either hive), 2 (refused) and 3
// (output failed): 0 the same throughout.
inline constexpr int kDiffer = 5;       // they differ, and every part was compared
inline constexpr int kNotCompared = 6;  // parts the library cannot read were not
                                        // compared (no damage); changes may be listed too

enum class DiffFormat { kText, kReg, kCsv, kJsonl };

struct DiffOptions {
  DiffFormat format = DiffFormat::kReg;
  std::string key_path;  // as for a dump: below the root, or starting with its name
  int max_depth = 512;
  bool progress = false;
  std::string prefix;  // stands for the root key in paths, as for a dump; empty: its name
};

// One value as read from one side.
struct ValueItem {
  std::string name;  // as stored; empty for the unnamed one or an unreadable name
  bool is_default = false;
  std::int32_t index = 0;
  std::string unreadable;  // why the name is not read whole; empty when it is
  std::uint32_t type = 0;
  std::optional<std::vector<std::uint8_t>> bytes;  // none when the data does not fit
  std::int32_t length = 0;
  ValueEntry entry() const {
    return {name, is_default, index, unreadable, type, bytes ? &*bytes : nullptr, length};
  }
};

// One difference. Paths are stored names (Latin-1) joined by backslashes, the root
// key's own name first. A line-format writer takes the same records: one line each,
// its fields those below.
struct Change {
  enum class What {
    kKeyAdded,      // `path` is only in NEW; `keys` counts the keys below it,
                    // `values` its values and theirs
    kKeyRemoved,    // only in OLD; counted the same way
    kValueAdded,    // `now`
    kValueRemoved,  // `was`
    kValueChanged,  // `was` and `now`: type, data or both differ
    kTimeOnly,      // the key's last-write time changed, and nothing in it did
    kNotCompared,   // `why` says what could not be read, and on which side
  };
  What what = What::kNotCompared;
  std::string_view path;  // the key's; for a value, the key that holds it
  const ValueItem* was = nullptr;
  const ValueItem* now = nullptr;
  std::int64_t keys = 0;
  std::int64_t values = 0;
  std::uint64_t time_was = 0;  // FILETIMEs, for kTimeOnly
  std::uint64_t time_now = 0;
  std::string_view why;
};

class ChangeSink {
 public:
  virtual ~ChangeSink() = default;
  // Returns what could not be written as it stands, for the diff to report.
  virtual Unwritten change(const Change& change) = 0;
  // The sink an added key's whole subtree is walked into before its kKeyAdded change
  // comes, or null when the change alone is enough.
  virtual Sink* added_subtree() { return nullptr; }
};

// Compares the hives at `old_path` and `new_path` (below KEYPATH, if given), writes the
// changes to `out` and diagnostics to `err`; returns one of the statuses above.
int diff_files(const std::string& old_path, const std::string& new_path, const DiffOptions& options,
               std::ostream& out, std::ostream& err);

}  // namespace vesk::dump
