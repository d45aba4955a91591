// The JSON format: one document, the first key dumped as
// {"name": ..., "last_written": ..., "values": [{"name": ..., "type": N, "data": "<hex>"},
// ...], "subkeys": [...]} with subkeys the same way, in the library's order. Names are the
// stored 8-bit names read as Latin-1 and written as UTF-8; data is the stored bytes, or
// null when the data size cannot be true. The default value's name is "". Beside the
// data, "text", "strings" or "number" give it decoded where its type says how. A name the
// library cannot read is null, with "unreadable" saying why (last in the object); a key
// whose subkeys are not all read ends with "subkeys_not_read" (a count) and
// "subkeys_not_read_reason".
#pragma once

#include <vector>

#include "output.h"
#include "entries.h"

namespace vesk::dump {

// Appends one value as the object this format writes it as, on one line; jsonl shares it.
void append_json_value(std::string& t, const ValueEntry& value);

class JsonWriter : public Sink {
 public:
  // With `one_value`, the document is the one value object the walk hands over.
  explicit JsonWriter(Output& out, bool one_value = false)
      : out_(out), one_value_(one_value) {}
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& key) override;

 private:
  void indent(int depth, int extra);
  // "<items>_not_read" and its reason, when `count` is above 0.
  void not_read(int depth, const char* items, std::int32_t count, std::string_view reason);

  Output& out_;
  bool one_value_;
  bool first_value_ = true;
  std::vector<bool> first_subkey_;  // per open key: no subkey written yet
};

}  // namespace vesk::dump
