// Built for the eye, not for reading back: no escapes beyond what keeps a line a line.
#include "tree_writer.h"

#include "decoded_data.h"
#include "filetime.h"
#include "hex_digits.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

void append_number(std::string& t, std::uint64_t v, int digits) {
  t += "0x";
  append_hex(t, v, digits);
  t += " (" + std::to_string(v) + ")";
}

}  // namespace

// The strings, each quoted, when the data is exactly a multi-string of them and the code
// set shows every character; otherwise nothing is appended and the bytes show as hex.
bool TreeWriter::append_strings(std::string& t, const std::vector<std::uint8_t>& bytes) const {
  const std::vector<std::u32string> strings = decoded_strings(bytes);
  if (!is_exact_multi_string(bytes, strings)) return false;
  std::string shown;
  for (const std::u32string& s : strings) {
    if (!shown.empty()) shown += ' ';
    shown += '"';
    if (!code_set_.append_text(shown, s)) return false;
    shown += '"';
  }
  t += strings.empty() ? "(no strings)" : shown;
  return true;
}

Unwritten TreeWriter::key(const KeyEntry& key) {
  std::string& t = out_.text();
  t.append(static_cast<std::size_t>(2 * key.depth), ' ');
  // The first key shows its whole path, so a KEYPATH dump says where it is.
  const bool whole = key.depth == 0 ? (t += key.path, key.name_whole)
                                    : code_set_.append_name(t, key.name);
  t += '\\';
  if (shown_.times) {
    t += "  [";
    append_time_or_reason(t, key.last_written);
    t += ']';
  }
  if (!key.unreadable.empty()) {
    t += "  <";
    t += key.unreadable;
    t += '>';
  }
  t += '\n';
  Unwritten marked;
  if (!whole) marked.why = Unwritten::Why::kNameShownWithMarks;
  return marked;
}

Unwritten TreeWriter::value(const KeyEntry& key, const ValueEntry& value) {
  std::string& t = out_.text();
  t.append(static_cast<std::size_t>(2 * key.depth + 2), ' ');
  Unwritten marked;
  if (!value.unreadable.empty()) {
    t += "<value " + std::to_string(value.index) + ": ";
    t += value.unreadable;
    t += '>';
  } else if (value.is_default) {
    t += '@';
  } else {
    const std::size_t start = t.size();
    if (!code_set_.append_name(t, value.name)) {
      marked = {Unwritten::Why::kNameShownWithMarks, true, value.index, t.substr(start)};
    }
  }
  t += " = ";
  if (const char* name = type_name(value.type)) {
    t += name;
  } else {
    t += "type 0x";
    append_hex(t, value.type, 8);
  }
  t += ' ';
  append_data(t, value);
  t += '\n';
  return marked;
}

void TreeWriter::append_data(std::string& t, const ValueEntry& value) const {
  if (!value.bytes) {
    t += "(not shown: data size " + std::to_string(value.length) + " does not fit in the file)";
    return;
  }
  const std::vector<std::uint8_t>& bytes = *value.bytes;
  const std::uint32_t type = value.type;
  if (type == kTypeString || type == kTypeExpandString) {
    // Text only where it stands for exactly the stored bytes and the code set has every
    // character of it; anything else shows as hex.
    const std::optional<std::u32string> text = printable_text(bytes);
    const std::size_t start = t.size();
    t += '"';
    if (text && code_set_.append_text(t, *text)) {
      t += '"';
      return;
    }
    t.resize(start);
  }
  if (const std::optional<std::uint64_t> v = decoded_number(type, bytes)) {
    append_number(t, *v, type == kTypeQword ? 16 : 8);
  } else if (bytes.empty()) {
    t += "(empty)";
  } else if (!(type == kTypeMultiString && append_strings(t, bytes))) {
    const std::size_t shown = shown_.full_data ? bytes.size() : kShownBytes;
    for (std::size_t i = 0; i < bytes.size() && i < shown; ++i) {
      if (i > 0) t += ' ';
      append_hex_byte(t, bytes[i]);
    }
    if (bytes.size() > shown) t += " ... (" + std::to_string(bytes.size()) + " bytes)";
  }
}

void TreeWriter::mark(const KeyEntry& key, const char* items, std::int32_t count,
                      std::string_view reason) {
  if (count <= 0) return;
  std::string& t = out_.text();
  t.append(static_cast<std::size_t>(2 * key.depth + 2), ' ');
  t += "<" + std::to_string(count) + ' ' + items + " not read: ";
  t += reason;
  t += ">\n";
}

void TreeWriter::subkeys(const KeyEntry& key) {
  mark(key, "values", key.skipped.values.count, key.skipped.values.reason);
  mark(key, "subkeys", key.subkeys_not_read, key.subkeys_not_read_reason);
  out_.flush_if_full();
}

// Damaged subkeys are known once the list is read through, after the sound ones.
void TreeWriter::key_end(const KeyEntry& key) {
  mark(key, "subkeys", key.skipped.subkeys.count, key.skipped.subkeys.reason);
}

}  // namespace vesk::dump
