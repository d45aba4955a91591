// The JSON format: one document, the first key dumped as
// {"name": ..., "values": [{"name": ..., "type": N, "data": "<hex>"}, ...], "subkeys": [...]}
// with subkeys the same way, in the library's order. Names are the stored 8-bit names
// read as Latin-1 and written as UTF-8; data is the stored bytes, or null when the data
// size cannot be true. The default value's name is "". A name the library cannot read is
// null, with "unreadable" saying why (last in the object); a key whose subkeys are not all
// read ends with "subkeys_not_read" (a count) and "subkeys_not_read_reason".
#pragma once

#include <vector>

#include "output.h"
#include "entries.h"

namespace vesk::dump {

class JsonWriter : public Sink {
 public:
  explicit JsonWriter(Output& out) : out_(out) {}
  void key(const KeyEntry& key) override;
  void value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& key) override;

 private:
  void indent(int depth, int extra);

  Output& out_;
  bool first_value_ = true;
  std::vector<bool> first_subkey_;  // per open key: no subkey written yet
};

}  // namespace vesk::dump
