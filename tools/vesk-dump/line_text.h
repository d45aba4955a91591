// What the line formats (csv, jsonl, bodyfile) share: UTF-8 whatever the locale, each
// key's whole path spelled in it, CSV fields, and a key's time as Unix seconds. Every
// line they write stands alone, so a pipe can take any one of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "entries.h"
#include "path_builder.h"

namespace vesk::dump {

// What a line format puts on every line and at the top: the hive's name, in a column of
// its own, when a run dumps several; the header line only for the first.
struct LineLabel {
  std::string hive;  // UTF-8; empty: no hive column
  bool header = true;
};

// Appends one character as UTF-8; `c` is no surrogate.
void append_utf8(std::string& out, char32_t c);

// RFC 4180: a field holding a comma, a quote or a line break is quoted, quotes doubled.
void append_csv_field(std::string& out, std::string_view field);

// Appends UTF-8 text inside a JSON string, escaping quotes, backslashes and controls.
void append_json_utf8(std::string& out, std::string_view utf8);

// Seconds since 1970-01-01 UTC of a FILETIME; 0 for a time before then.
std::int64_t unix_seconds(std::uint64_t filetime);

// The UTF-8 path of each key the walk enters: the first key's path (as typed, or its
// stored name), then a backslash and each stored name read as Latin-1. A name the
// library could not read whole stands as "<why>", as the timeline shows it.
class Utf8Paths {
 public:
  // The path of `key`, valid until the next call.
  std::string_view enter(const KeyEntry& key);

 private:
  PathBuilder<std::string> paths_;
};

}  // namespace vesk::dump
