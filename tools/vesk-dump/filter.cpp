// Text is compared as characters with case folded, the stored names read as Latin-1
// and string data decoded from UTF-16, so a match does not depend on the locale.
#include "filter.h"

#include <cwctype>

#include "decoded_data.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

char32_t folded(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  if (c < 0x100) return c;
  return static_cast<char32_t>(std::towlower(static_cast<std::wint_t>(c)));
}

std::u32string folded(std::u32string text) {
  for (char32_t& c : text) c = folded(c);
  return text;
}

bool ascii_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::uint32_t> parse_type(std::string_view text) {
  for (std::uint32_t t = 0; type_name(t) != nullptr; ++t) {
    const std::string_view name = type_name(t);
    if (ascii_equal(text, name) || ascii_equal(text, name.substr(4))) return t;
  }
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string_view digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.size() > (hex ? 8 : 10)) return std::nullopt;
  std::uint64_t n = 0;
  for (const char c : digits) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    if (d < 0) return std::nullopt;
    n = n * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
  }
  if (n > 0xFFFFFFFF) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

FilterSink::FilterSink(Sink& inner, Filter filter) : inner_(inner), filter_(std::move(filter)) {
  filter_.grep = folded(std::move(filter_.grep));
}

void FilterSink::keep(Held& held, const KeyEntry& key) {
  held.name = key.name;
  held.path = key.path;
  held.name_in_path = key.name_in_path;
  held.unreadable = key.unreadable;
  held.reason = key.subkeys_not_read_reason;
  held.start_path = key.start_path;
  held.entry = key;
}

KeyEntry FilterSink::view(const Held& held) {
  KeyEntry key = held.entry;
  key.name = held.name;
  key.path = held.path;
  key.name_in_path = held.name_in_path;
  key.unreadable = held.unreadable;
  key.subkeys_not_read_reason = held.reason;
  key.start_path = held.start_path;
  return key;
}

bool FilterSink::matches(std::string_view latin1) const {
  std::u32string text;
  text.reserve(latin1.size());
  for (const char c : latin1) text += folded(static_cast<unsigned char>(c));
  return text.find(filter_.grep) != std::u32string::npos;
}

bool FilterSink::data_matches(const ValueEntry& value) const {
  if (!value.bytes) return false;
  const auto has = [this](const std::u32string& text) {
    return folded(text).find(filter_.grep) != std::u32string::npos;
  };
  if (value.type == kTypeString || value.type == kTypeExpandString || value.type == kTypeLink) {
    return has(decoded_text(*value.bytes));
  }
  if (value.type == kTypeMultiString) {
    for (const std::u32string& s : decoded_strings(*value.bytes)) {
      if (has(s)) return true;
    }
  }
  return false;
}

void FilterSink::pass_held() {
  matched_ = true;
  for (Held& held : held_) {
    if (held.passed) continue;
    held.passed = true;
    const KeyEntry key = view(held);
    inner_.key(key);
    if (held.subkeys_called) inner_.subkeys(key);
  }
}

Unwritten FilterSink::key(const KeyEntry& key) {
  held_.emplace_back();
  keep(held_.back(), key);
  const bool name_matched = !filter_.grep.empty() && key.unreadable.empty() && matches(key.name);
  // Found by its name, its values go through (of the --type asked for, if any); with
  // no --type the key goes through at once, by the walk's own entry, so that what its
  // writer could not write is reported.
  held_.back().all_values = name_matched;
  if (!name_matched || !filter_.types.empty()) return {};
  Held self = std::move(held_.back());
  held_.pop_back();
  pass_held();
  self.passed = true;
  held_.push_back(std::move(self));
  return inner_.key(key);
}

Unwritten FilterSink::value(const KeyEntry& key, const ValueEntry& value) {
  if (!filter_.types.empty()) {
    bool wanted = false;
    for (const std::uint32_t t : filter_.types) wanted = wanted || t == value.type;
    if (!wanted) return {};
  }
  if (!filter_.grep.empty() && !held_.back().all_values &&
      !(value.unreadable.empty() && matches(value.name)) && !data_matches(value)) {
    return {};
  }
  pass_held();
  return inner_.value(key, value);
}

void FilterSink::subkeys(const KeyEntry& key) {
  Held& top = held_.back();
  keep(top, key);
  top.subkeys_called = true;
  if (top.passed) inner_.subkeys(key);
}

void FilterSink::key_end(const KeyEntry& key) {
  if (held_.back().passed) inner_.key_end(key);
  held_.pop_back();
}

}  // namespace vesk::dump
