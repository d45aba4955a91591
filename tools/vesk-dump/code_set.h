// Names and text between the forms they take here: 8-bit names as a hive stores them
// (Latin-1, one byte per character), the user's code set (the thread's LC_CTYPE) that
// .reg and tree output use, and UTF-8 for JSON. Nothing here reads a hive.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vesk::dump {

// C0 and C1 control characters and DEL: never written raw into a line of output.
constexpr bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

class CodeSet {
 public:
  // Takes the calling thread's LC_CTYPE as it is now.
  CodeSet();

  // Appends a stored name in the code set. A character the code set lacks is written as
  // the stored byte, so nothing is lost; a control character becomes '?'. With `quoted`
  // a backslash or double quote gets a backslash before it, as in a .reg string.
  // Returns false when a control character was replaced.
  bool append_name(std::string& out, std::string_view stored, bool quoted = false) const;

  // Appends `text` in the code set; false, with `out` left as it was, when a character
  // is a control character or one the code set lacks.
  bool append_text(std::string& out, std::u32string_view text) const;

  // The characters of `text` in the code set, or none when it is not valid there.
  std::optional<std::u32string> decode(std::string_view text) const;

  // A name typed in the code set as the bytes a hive stores it as. Bytes that are no
  // character of the code set stand for themselves, as append_name writes them; none
  // when a character lies beyond the 8-bit range, which no stored name can hold.
  std::optional<std::string> to_stored(std::string_view text) const;

 private:
  std::string high_[128];  // the code set's form of Latin-1 0x80..0xFF, empty if none
};

// Appends one character as UTF-8; `c` is no surrogate.
void append_utf8(std::string& out, char32_t c);

// Appends one character inside a JSON string: as UTF-8, with control characters, quotes
// and backslashes escaped. `c` is no surrogate.
void append_json_char(std::string& out, char32_t c);
// A stored 8-bit name as UTF-16: each byte is the Latin-1 character of that number.
std::u16string utf16_of_stored(std::string_view stored);

// Text in the thread's code set as UTF-16; a byte that is no character of the code set
// stands for the Latin-1 character of its number, as to_stored takes it.
std::u16string utf16_of_text(std::string_view text);

// Appends a stored name as a JSON string: quoted, UTF-8, with control characters,
// quotes and backslashes escaped.
void append_json_string(std::string& out, std::string_view stored);

}  // namespace vesk::dump
