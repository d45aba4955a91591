// Lowercase hexadecimal digits appended to text, for the writers and the messages, without
// a stream in between. Reading numbers out of bytes belongs to decoded_data.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::dump {

inline void append_hex_byte(std::string& out, std::uint8_t b) {
  static const char kDigits[] = "0123456789abcdef";
  out += kDigits[b >> 4];
  out += kDigits[b & 0xF];
}

// `digits` lowercase digits of `v`, leading zeros kept; 0 digits: as many as it needs.
inline void append_hex(std::string& out, std::uint64_t v, int digits = 0) {
  if (digits == 0) {
    digits = 1;
    while (digits < 16 && (v >> (4 * digits)) != 0) ++digits;
  }
  for (int i = digits - 1; i >= 0; --i) out += "0123456789abcdef"[(v >> (4 * i)) & 0xF];
}

}  // namespace vesk::dump
