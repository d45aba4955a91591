// Lowercase hexadecimal digits appended to text, for the writers and the messages, without
// a stream in between. Reading numbers out of bytes belongs to decoded_data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk::dump {

// Templates over the string type: the .reg writer builds its lines in UTF-16.
template <class Text>
void append_hex_byte(Text& out, std::uint8_t b) {
  static const char kDigits[] = "0123456789abcdef";
  out += kDigits[b >> 4];
  out += kDigits[b & 0xF];
}

// Every byte as two digits, written in place: data runs to many kilobytes, and one
// resize costs less than a capacity check per digit.
template <class Text>
void append_hex_bytes(Text& out, const std::uint8_t* bytes, std::size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  const std::size_t at = out.size();
  out.resize(at + 2 * n);
  auto* p = out.data() + at;
  for (std::size_t i = 0; i < n; ++i) {
    *p++ = kDigits[bytes[i] >> 4];
    *p++ = kDigits[bytes[i] & 0xF];
  }
}

// `digits` lowercase digits of `v`, leading zeros kept; 0 digits: as many as it needs.
template <class Text>
void append_hex(Text& out, std::uint64_t v, int digits = 0) {
  if (digits == 0) {
    digits = 1;
    while (digits < 16 && (v >> (4 * digits)) != 0) ++digits;
  }
  for (int i = digits - 1; i >= 0; --i) out += "0123456789abcdef"[(v >> (4 * i)) & 0xF];
}

}  // namespace vesk::dump
