// Names in the line formats (the timeline and others written a line per record): UTF-8
// in every locale, as JSON is, with each C0 control character and DEL shown as its
// Unicode control picture (CR as U+240D, LF as U+240A, DEL as U+2421). No stored 8-bit
// name holds a control picture, so the form reads back unambiguously: KEYPATH takes it.
#pragma once

#include <optional>
#include <string>

namespace vesk::dump {

inline constexpr char32_t kControlPictures = 0x2400;
inline constexpr char32_t kDeletePicture = 0x2421;

// Appends `c` (no surrogate) to a line as UTF-8, a control as its picture.
inline void append_line_char(std::string& out, char32_t c) {
  if (c < 0x20) c += kControlPictures;
  if (c == 0x7F) c = kDeletePicture;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The control character a picture stands for; none for any other character.
inline std::optional<char32_t> control_of_picture(char32_t c) {
  if (c >= kControlPictures && c < kControlPictures + 0x20) return c - kControlPictures;
  if (c == kDeletePicture) return 0x7F;
  return std::nullopt;
}

}  // namespace vesk::dump
