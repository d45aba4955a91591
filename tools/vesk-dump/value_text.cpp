// The stored bytes decide what a string's text must be.
#include "value_text.h"

namespace vesk::dump {

std::optional<std::u32string> printable_text(const std::vector<std::uint8_t>& bytes) {
  const std::size_t units = bytes.size() / 2;
  if (bytes.size() % 2 != 0 || units == 0) return std::nullopt;
  auto unit = [&bytes](std::size_t i) -> char32_t {
    return static_cast<char32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  };
  if (unit(units - 1) != 0) return std::nullopt;
  std::u32string out;
  out.reserve(units - 1);
  for (std::size_t i = 0; i + 1 < units; ++i) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF) {
      const char32_t low = unit(i + 1);  // the terminator is never a low surrogate
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if ((c >= 0xDC00 && c <= 0xDFFF) || c == 0 || is_control(c)) {
      return std::nullopt;
    }
    out += c;
  }
  return out;
}

}  // namespace vesk::dump
