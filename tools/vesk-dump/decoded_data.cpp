// One reader of UTF-16LE units serves text and multi-strings, so both treat surrogates
// and the data's end alike.
#include "decoded_data.h"

#include "code_set.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

std::uint64_t load_le(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// Reads characters from units [at, end) until a zero unit, which it steps over.
std::u32string read_string(const std::vector<std::uint8_t>& bytes, std::size_t& at) {
  const std::size_t units = bytes.size() / 2;
  auto unit = [&bytes](std::size_t i) -> char32_t {
    return static_cast<char32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  };
  std::u32string out;
  while (at < units) {
    const char32_t c = unit(at++);
    if (c == 0) break;
    if (c >= 0xD800 && c <= 0xDBFF && at < units) {
      const char32_t low = unit(at);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out += 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++at;
        continue;
      }
    }
    out += c >= 0xD800 && c <= 0xDFFF ? kReplacement : c;
  }
  return out;
}

void append_utf16(std::vector<std::uint8_t>& out, char32_t c) {
  auto unit = [&out](char32_t u) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  };
  if (c < 0x10000) return unit(c);
  unit(0xD800 + ((c - 0x10000) >> 10));
  unit(0xDC00 + ((c - 0x10000) & 0x3FF));
}

}  // namespace

std::u32string decoded_text(const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 0;
  return read_string(bytes, at);
}

std::vector<std::u32string> decoded_strings(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::u32string> out;
  std::size_t at = 0;
  while (at < bytes.size() / 2) {
    std::u32string s = read_string(bytes, at);
    if (s.empty()) break;
    out.push_back(std::move(s));
  }
  return out;
}

std::optional<std::u32string> printable_text(const std::vector<std::uint8_t>& bytes) {
  std::u32string text = decoded_text(bytes);
  // Laid out again, anything the reading passed over or replaced (an odd byte, a lone
  // surrogate, data after the zero unit, no zero unit at all) no longer matches.
  std::vector<std::uint8_t> laid_out;
  laid_out.reserve(bytes.size());
  for (const char32_t c : text) {
    if (is_control(c)) return std::nullopt;
    append_utf16(laid_out, c);
  }
  append_utf16(laid_out, 0);
  if (laid_out != bytes) return std::nullopt;
  return text;
}

bool is_exact_multi_string(const std::vector<std::uint8_t>& bytes,
                           const std::vector<std::u32string>& strings) {
  std::vector<std::uint8_t> laid_out;
  laid_out.reserve(bytes.size() + 2);
  for (const std::u32string& s : strings) {
    for (const char32_t c : s) append_utf16(laid_out, c);
    append_utf16(laid_out, 0);
  }
  append_utf16(laid_out, 0);
  if (bytes == laid_out) return true;
  laid_out.resize(laid_out.size() - 2);
  return bytes == laid_out;
}

std::optional<std::uint64_t> decoded_number(std::uint32_t type,
                                            const std::vector<std::uint8_t>& bytes) {
  if (type == kTypeDword && bytes.size() == 4) return load_le(bytes.data(), 4);
  if (type == kTypeQword && bytes.size() == 8) return load_le(bytes.data(), 8);
  if (type == kTypeDwordBigEndian && bytes.size() == 4) {
    return std::uint64_t{bytes[0]} << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
  }
  return std::nullopt;
}

}  // namespace vesk::dump
