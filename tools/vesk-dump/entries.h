// What the walk hands the writers: plain records of a key and of a value, already read
// from the library, and the Sink interface through which a writer receives them and says
// what it could not write. Nothing here reads a hive or reports: a writer sees only these
// records, formats them, and returns what it left out or changed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::dump {

// Why elements of a list the walk follows are left out of the dump for damage.
enum class Skip {
  kNone,
  kNoCell,           // the element names no cell in the file
  kWrongKind,        // a cell that is no key node (no value node in a value list)
  kPastEnd,          // a place in the part of the hive a cut file lost
  kListedElsewhere,  // a key already dumped, or dumped under the parent its record names
  kNotReached,       // after a run of damaged elements, or once the walk stopped
  kSeveral,          // more than one of these; `reason` names each
};

// Subkeys or values a key's list names that the dump leaves out for damage.
struct Skipped {
  std::int32_t count = 0;
  Skip why = Skip::kNone;
  std::string_view reason;  // in words, each reason with its count; empty when count is 0
};

struct KeyEntry {
  std::string_view name;  // as stored
  std::string_view path;  // in the code set: the start's path and the names below it
  std::string_view name_in_path;  // the end of `path` that is this key's (all for depth 0)
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
  // Elements of a followed list left out for damage: values known from the subkeys call
  // on, subkeys at key_end (0 before). A list either is followed or counts in
  // subkeys_not_read, so a writer may show both as one "not read" mark.
  struct {
    Skipped values;
    Skipped subkeys;
  } skipped;
  // The key's place in its parent's subkey list; -1 for the first key dumped. Names a
  // key whose name cannot be read ("<key 3: ...>"), as KEYPATH accepts it.
  std::int32_t index = -1;
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

// What a writer shows beyond its format's plain form.
struct Shown {
  bool times = false;      // tree: each key's last-write time on its line
  bool full_data = false;  // tree: every byte of binary data, not just the first ones
  bool one_value = false;  // the walk hands over a single value: JSON writes it alone
};

// What a writer could not write as an entry stands, and why; kNothing when it wrote all.
struct Unwritten {
  enum class Why {
    kNothing,
    kNameShownWithMarks,  // written, with '?' for the control characters of its name
    kNameHasControls,     // left out: its name holds what a .reg line cannot carry (CR, LF,
                          // NUL; a key's closing ']')
    kPathNotInCodePage,   // left out: the code page lacks characters of the key's path
    kNameNotInCodePage,   // left out: ... of the value's name
    kDataNotInCodePage,   // left out: the code page cannot carry its data exactly
  };
  Why why = Why::kNothing;
  bool of_value = false;   // a value of the key, not the key itself
  std::int32_t index = 0;  // the value's, in the key's value list
  std::string shown;       // the value's name as written, for kNameShownWithMarks
  int code_page = 0;       // for the code-page reasons
  explicit operator bool() const { return why != Why::kNothing; }
};

// What a format does with the walk; calls come in the order key, value..., subkeys,
// then the subkeys' own calls, then key_end.
class Sink {
 public:
  virtual ~Sink() = default;
  // Each returns what it could not write, for the walk to report.
  virtual Unwritten key(const KeyEntry& key) = 0;
  virtual Unwritten value(const KeyEntry& key, const ValueEntry& value) = 0;
  virtual void subkeys(const KeyEntry& key) = 0;
  virtual void key_end(const KeyEntry& key) = 0;
};

}  // namespace vesk::dump
