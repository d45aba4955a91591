// Hexadecimal digits for the writers, without a stream in between.
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

inline std::uint64_t load_le(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

}  // namespace vesk::dump
