// What the line formats (csv, jsonl, bodyfile, the timeline) share: UTF-8 whatever the
// locale, each key's whole path spelled in it, CSV fields, and a key's time as Unix
// seconds. Every line they write stands alone, so a pipe can take any one of them.
// Names in the timeline show each C0 control character and DEL as its Unicode control
// picture (CR as U+240D, LF as U+240A, DEL as U+2421). No stored 8-bit name holds a
// control picture, so the form reads back unambiguously: KEYPATH takes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "code_set.h"
#include "entries.h"
#include "path_builder.h"

namespace vesk::dump {

// What a line format puts on every line and at the top: the hive's name, in a column of
// its own, when a run dumps several; the header line only for the first.
struct LineLabel {
  std::string hive;  // UTF-8; empty: no hive column
  bool header = true;
};


// RFC 4180: a field holding a comma, a quote or a line break is quoted, quotes doubled.
void append_csv_field(std::string& out, std::string_view field);

// Appends UTF-8 text inside a JSON string, escaping quotes, backslashes and controls.
void append_json_utf8(std::string& out, std::string_view utf8);

// Seconds since 1970-01-01 UTC of a FILETIME; 0 for a time before then.
std::int64_t unix_seconds(std::uint64_t filetime);

// The UTF-8 path of each key the walk enters: the first key's path (as typed, or its
// stored name), then a backslash and each stored name read as Latin-1. A name the
// library could not read whole stands as "<key N: why>" (N its place in its parent's
// list), as the timeline shows it, and works as KEYPATH so. Formats
// with no escapes of their own (csv, the body file) show a name's controls as their
// pictures, so that a line end in a name never ends or splits a line; JSON escapes
// them itself and takes the names as they are.
class Utf8Paths {
 public:
  explicit Utf8Paths(bool pictures) : pictures_(pictures) {}
  // The path of `key`, valid until the next call.
  std::string_view enter(const KeyEntry& key);

 private:
  PathBuilder<std::string> paths_;
  bool pictures_;
};

inline constexpr char32_t kControlPictures = 0x2400;
inline constexpr char32_t kDeletePicture = 0x2421;

// Appends `c` (no surrogate) to a line as UTF-8, a control as its picture.
inline void append_line_char(std::string& out, char32_t c) {
  if (c < 0x20) c += kControlPictures;
  if (c == 0x7F) c = kDeletePicture;
  append_utf8(out, c);
}

// A stored 8-bit name (Latin-1) as a line shows it: UTF-8, controls as their pictures.
inline void append_line_name(std::string& out, std::string_view stored) {
  for (const char c : stored) append_line_char(out, static_cast<unsigned char>(c));
}

// The control character a picture stands for; none for any other character.
inline std::optional<char32_t> control_of_picture(char32_t c) {
  if (c >= kControlPictures && c < kControlPictures + 0x20) return c - kControlPictures;
  if (c == kDeletePicture) return 0x7F;
  return std::nullopt;
}

// A path printed in a line format, read back as stored 8-bit names: UTF-8, pictures as
// their controls; none when it is no UTF-8 or holds a character no stored name can.
inline std::optional<std::string> stored_of_line_text(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int more = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : -1;
    if (more < 0 || text.size() - i <= static_cast<std::size_t>(more)) return std::nullopt;
    char32_t c = more == 0 ? lead : more == 1 ? (lead & 0x1F) : (lead & 0x0F);
    for (int k = 1; k <= more; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = c << 6 | (next & 0x3F);
    }
    i += static_cast<std::size_t>(more) + 1;
    if (const std::optional<char32_t> control = control_of_picture(c)) c = *control;
    if (c > 0xFF) return std::nullopt;
    out += static_cast<char>(c);
  }
  return out;
}

}  // namespace vesk::dump
