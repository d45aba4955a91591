// Conversions through the C library's multibyte functions, which follow the thread's
// locale. Latin-1 needs no table: each stored byte is the character of that number.
#include "code_set.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cwchar>

namespace vesk::dump {
namespace {

// A character the locale lacks sets errno (EILSEQ), and vesk-dump reads errno after
// library calls to tell a failed read: a conversion must leave it as it found it.
class ErrnoKept {
 public:
  ErrnoKept() : saved_(errno) {}
  ~ErrnoKept() { errno = saved_; }
  ErrnoKept(const ErrnoKept&) = delete;
  ErrnoKept& operator=(const ErrnoKept&) = delete;

 private:
  int saved_;
};

}  // namespace

CodeSet::CodeSet() {
  const ErrnoKept kept;
  for (int i = 0; i < 128; ++i) {
    char buffer[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(0x80 + i), &state);
    if (n != static_cast<std::size_t>(-1)) high_[i].assign(buffer, n);
  }
}

bool CodeSet::append_name(std::string& out, std::string_view stored, bool quoted) const {
  bool whole = true;
  for (const char ch : stored) {
    const auto c = static_cast<unsigned char>(ch);
    if (is_control(c)) {
      out += '?';
      whole = false;
    } else if (c < 0x80) {
      if (quoted && (c == '\\' || c == '"')) out += '\\';
      out += ch;
    } else if (!high_[c - 0x80].empty()) {
      out += high_[c - 0x80];
    } else {
      out += ch;
    }
  }
  return whole;
}

bool CodeSet::append_text(std::string& out, std::u32string_view text) const {
  const ErrnoKept kept;
  const std::size_t before = out.size();
  std::mbstate_t state{};
  for (const char32_t c : text) {
    char buffer[MB_LEN_MAX];
    const std::size_t n = c < 0x80 ? 1 : std::wcrtomb(buffer, static_cast<wchar_t>(c), &state);
    if (is_control(c) || n == static_cast<std::size_t>(-1)) {
      out.resize(before);
      return false;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out.append(buffer, n);
    }
  }
  return true;
}

std::optional<std::u32string> CodeSet::decode(std::string_view text) const {
  const ErrnoKept kept;
  std::u32string out;
  out.reserve(text.size());
  std::mbstate_t state{};
  std::size_t at = 0;
  while (at < text.size()) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {  // every code set a locale can have keeps ASCII as it is
      out += static_cast<char32_t>(c);
      ++at;
      continue;
    }
    wchar_t wide = 0;
    const std::size_t n = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
    if (n == 0 || n > text.size() - at) return std::nullopt;  // also (size_t)-1 and -2
    out += static_cast<char32_t>(wide);
    at += n;
  }
  return out;
}

std::optional<std::string> CodeSet::to_stored(std::string_view text) const {
  std::string out;
  for (const char16_t c : utf16_of_text(text)) {
    if (c > 0xFF) return std::nullopt;
    out += static_cast<char>(c);
  }
  return out;
}

std::u16string utf16_of_stored(std::string_view stored) {
  std::u16string out;
  out.reserve(stored.size());
  for (const char c : stored) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  return out;
}

std::u16string utf16_of_text(std::string_view text) {
  const ErrnoKept kept;
  std::u16string out;
  std::mbstate_t state{};
  std::size_t at = 0;
  while (at < text.size()) {
    wchar_t wide = 0;
    const std::size_t n = std::mbrtowc(&wide, text.data() + at, text.size() - at, &state);
    if (n == 0 || n > text.size() - at) {
      state = std::mbstate_t{};
      out += static_cast<char16_t>(static_cast<unsigned char>(text[at++]));
      continue;
    }
    const auto c = static_cast<std::uint32_t>(wide);
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    at += n;
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
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

void append_json_char(std::string& out, char32_t c) {
  static const char kHex[] = "0123456789abcdef";
  if (c == '"' || c == '\\') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (c == '\n') {
    out += "\\n";
  } else if (c == '\t') {
    out += "\\t";
  } else if (c == '\r') {
    out += "\\r";
  } else if (is_control(c)) {
    out += "\\u00";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
  } else {
    append_utf8(out, c);
  }
}

void append_json_string(std::string& out, std::string_view stored) {
  out += '"';
  for (const char ch : stored) append_json_char(out, static_cast<unsigned char>(ch));
  out += '"';
}

}  // namespace vesk::dump
