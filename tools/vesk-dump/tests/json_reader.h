// vesk-dump's JSON read for the tests through a kept JSON library (well-formed JSON,
// valid UTF-8, no trailing text) and turned into the key tree it describes, so a test
// can compare it with another reader's tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::dump::test {

struct DumpedValue {
  std::string name;  // UTF-8; empty when the name is null (then `unreadable` says why)
  std::uint32_t type = 0;
  std::optional<std::string> data;  // lowercase hex; none for null
  std::optional<std::string> unreadable;
  bool operator==(const DumpedValue& o) const {
    return name == o.name && type == o.type && data == o.data;
  }
};

struct DumpedKey {
  std::string name;  // UTF-8; empty when the name is null (then `unreadable` says why)
  std::optional<std::string> last_written;           // ISO 8601; none for null
  std::optional<std::string> last_written_filetime;  // hex, beside a null time
  std::vector<DumpedValue> values;
  std::vector<DumpedKey> subkeys;
  std::int64_t subkeys_not_read = 0;
  std::string subkeys_not_read_reason;
  std::optional<std::string> unreadable;
};

// The tree of a document, or none with `error` saying where the text breaks the grammar
// or the shape {"name", "values", "subkeys"} (in that order, with the optional members
// placed and paired as the README documents them).
std::optional<DumpedKey> read_dump_json(const std::string& text, std::string& error);

// The first difference between two trees as "path: what", or "" when they are equal.
std::string first_difference(const DumpedKey& a, const DumpedKey& b);

}  // namespace vesk::dump::test
