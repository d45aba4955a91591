// What the walk hands the writers: plain records of a key and of a value, already read
// from the library, and the Sink interface through which a writer receives them. Nothing
// here reads a hive, so a writer sees only these records and formats them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::dump {

struct KeyEntry {
  std::string_view name;  // as stored
  std::string_view path;  // in the code set: the start's path and the names below it
  int depth;              // 0 for the first key dumped
  bool name_whole;        // false when `path` shows a control character of the name as '?'
  std::uint64_t last_written = 0;  // the stored FILETIME, as it stands
  std::int32_t subkey_count = 0;   // as the key's own record counts them
  std::int32_t value_count = 0;
  // The first key's path as UTF-16: the prefix as typed, or the stored names (Latin-1).
  std::u16string_view start_path;
  // Why `name` is not the key's whole name (stored as UTF-16, or cut); empty when it is.
  std::string_view unreadable;
  // Subkeys that exist but are not dumped (their list is one the library does not follow,
  // or the depth limit), and why; known from the subkeys call on, 0 before.
  std::int32_t subkeys_not_read = 0;
  std::string_view subkeys_not_read_reason;
};

struct ValueEntry {
  std::string_view name;  // as stored; empty for the default value
  bool is_default;        // the name's stored length is 0
  std::int32_t index;     // in the key's value list
  // Why the name could not be read (then `name` is empty and is_default false); empty
  // when it was.
  std::string_view unreadable;
  std::uint32_t type;
  const std::vector<std::uint8_t>* bytes;  // the stored data; null when its size cannot be true
  std::int32_t length;                     // the data size
};

// What a format does with the walk; calls come in the order key, value..., subkeys,
// then the subkeys' own calls, then key_end.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void key(const KeyEntry& key) = 0;
  virtual void value(const KeyEntry& key, const ValueEntry& value) = 0;
  virtual void subkeys(const KeyEntry& key) = 0;
  virtual void key_end(const KeyEntry& key) = 0;
};

}  // namespace vesk::dump
