// Spelled out by hand: the line formats must not depend on the locale's code set.
#include "line_text.h"

namespace vesk::dump {
namespace {

// Appends the characters of UTF-16 text; an unpaired surrogate becomes U+FFFD.
void append_utf16(std::string& out, std::u16string_view text, bool pictures) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (pictures) {
      append_line_char(out, c);
    } else {
      append_utf8(out, c);
    }
  }
}

void append_name(std::string& out, const KeyEntry& key, bool pictures) {
  if (!key.unreadable.empty()) {
    // Its place in the list tells it from a sibling whose name fails alike.
    out += "<key ";
    out += std::to_string(key.index);
    out += ": ";
    out += key.unreadable;
    out += '>';
  } else if (pictures) {
    append_line_name(out, key.name);
  } else {
    for (const char ch : key.name) append_utf8(out, static_cast<unsigned char>(ch));
  }
}

}  // namespace

void append_csv_field(std::string& out, std::string_view field) {
  // A plain loop: find_first_of calls memchr once per character.
  bool plain = true;
  for (const char c : field) {
    if (c == ',' || c == '"' || c == '\r' || c == '\n') {
      plain = false;
      break;
    }
  }
  if (plain) {
    out += field;
    return;
  }
  out += '"';
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void append_json_utf8(std::string& out, std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  for (const char ch : utf8) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += ch;
    } else if (b < 0x20 || b == 0x7F) {
      out += "\\u00";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    } else {
      out += ch;
    }
  }
}

std::int64_t unix_seconds(std::uint64_t filetime) {
  constexpr std::uint64_t kTicksPerSecond = 10000000;
  constexpr std::uint64_t kSecondsTo1970 = 11644473600;
  const std::uint64_t seconds = filetime / kTicksPerSecond;
  return seconds < kSecondsTo1970 ? 0 : static_cast<std::int64_t>(seconds - kSecondsTo1970);
}

std::string_view Utf8Paths::enter(const KeyEntry& key) {
  if (key.depth == 0) {
    std::string first;
    append_utf16(first, key.start_path, pictures_);
    paths_.start(std::move(first));
  } else {
    paths_.keep_levels(static_cast<std::size_t>(key.depth));
    paths_.push([&](std::string& path) {
      append_name(path, key, pictures_);
      return true;
    });
  }
  return paths_.text();
}

}  // namespace vesk::dump
