// What the walk hands the writers: plain records of a key and of a value, already read
// from the library, and the Sink interface through which a writer receives them. Nothing
// here reads a hive, so a writer sees only these records and formats them.
#pragma once

#include <cstdint>
#include <optional>
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
};

struct ValueEntry {
  std::string_view name;  // as stored; empty for the default value
  bool is_default;
  std::uint32_t type;
  const std::vector<std::uint8_t>* bytes;  // the stored data; null when its size cannot be true
  std::int32_t length;                     // the data size
  // The data as text in the code set, present only where the writer asked for its type
  // and the text reads back as exactly the stored characters.
  std::optional<std::string> text;
};

// What a format does with the walk; calls come in the order key, value..., subkeys,
// then the subkeys' own calls, then key_end.
class Sink {
 public:
  virtual ~Sink() = default;
  // Whether values of `type` are shown as text, so the walk reads their text for them.
  virtual bool shows_text(std::uint32_t /*type*/) const { return false; }
  virtual void key(const KeyEntry& key) = 0;
  virtual void value(const KeyEntry& key, const ValueEntry& value) = 0;
  virtual void subkeys(const KeyEntry& key) = 0;
  virtual void key_end(const KeyEntry& key) = 0;
};

}  // namespace vesk::dump
