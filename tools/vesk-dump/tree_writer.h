// The tree format, for reading on a terminal: a key per line, its name and a backslash
// (and, if asked, its last-write time in brackets), indented two spaces a level; beneath
// it its values as "name = TYPE data", then its subkeys. Text shows as "text", a
// multi-string as its "strings", numbers in hex and decimal, other data as hex bytes,
// the first kShownBytes of them unless all are asked for. What the library cannot read
// shows in angle brackets: "<value 7: name stored as UTF-16> = ...",
// "<2 subkeys not read: ...>".
#pragma once

#include "code_set.h"
#include "entries.h"
#include "output.h"

namespace vesk::dump {

class TreeWriter : public Sink {
 public:
  // A name with control characters is written with '?' for them, and returned as such.
  TreeWriter(Output& out, const CodeSet& code_set, const Shown& shown = {})
      : out_(out), code_set_(code_set), shown_(shown) {}
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& key) override;

  static constexpr std::size_t kShownBytes = 16;

 private:
  // A "<N items not read: reason>" line under the key, when `count` is above 0.
  void mark(const KeyEntry& key, const char* items, std::int32_t count, std::string_view reason);
  bool append_strings(std::string& t, const std::vector<std::uint8_t>& bytes) const;
  void append_data(std::string& t, const ValueEntry& value) const;

  Output& out_;
  const CodeSet& code_set_;
  Shown shown_;
};

}  // namespace vesk::dump
