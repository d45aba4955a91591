// Built for the eye, not for reading back: no escapes beyond what keeps a line a line.
#include "tree_writer.h"

#include "hex.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

void append_number(std::string& t, std::uint64_t v, int digits) {
  t += "0x";
  append_hex(t, v, digits);
  t += " (" + std::to_string(v) + ")";
}

}  // namespace

bool TreeWriter::shows_text(std::uint32_t type) const {
  return type == kTypeString || type == kTypeExpandString;
}

void TreeWriter::key(const KeyEntry& key) {
  std::string& t = out_.text();
  t.append(static_cast<std::size_t>(2 * key.depth), ' ');
  // The first key shows its whole path, so a KEYPATH dump says where it is.
  const bool whole = key.depth == 0 ? (t += key.path, key.name_whole)
                                    : code_set_.append_name(t, key.name);
  if (!whole) {
    report_.error("key " + std::string(key.path) +
                  ": control characters in its name are shown as '?'");
  }
  t += '\\';
  if (!key.unreadable.empty()) {
    t += "  <";
    t += key.unreadable;
    t += '>';
  }
  t += '\n';
}

void TreeWriter::value(const KeyEntry& key, const ValueEntry& value) {
  std::string& t = out_.text();
  t.append(static_cast<std::size_t>(2 * key.depth + 2), ' ');
  if (!value.unreadable.empty()) {
    t += "<value " + std::to_string(value.index) + ": ";
    t += value.unreadable;
    t += '>';
  } else if (value.is_default) {
    t += '@';
  } else {
    const std::size_t start = t.size();
    if (!code_set_.append_name(t, value.name)) {
      report_.error("value " + t.substr(start) + " of " + std::string(key.path) +
                    ": control characters in its name are shown as '?'");
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
  if (!value.bytes) {
    t += "(not shown: data size " + std::to_string(value.length) + " is larger than the file)\n";
    return;
  }
  const std::vector<std::uint8_t>& bytes = *value.bytes;
  const std::uint32_t type = value.type;
  if ((type == kTypeString || type == kTypeExpandString) && value.text) {
    t += '"' + *value.text + "\"\n";
    return;
  }
  if ((type == kTypeDword || type == kTypeDwordBigEndian) && bytes.size() == 4) {
    const std::uint64_t v = type == kTypeDword
                                ? load_le(bytes.data(), 4)
                                : std::uint64_t{bytes[0]} << 24 | bytes[1] << 16 |
                                      bytes[2] << 8 | bytes[3];
    append_number(t, v, 8);
  } else if (type == kTypeQword && bytes.size() == 8) {
    append_number(t, load_le(bytes.data(), 8), 16);
  } else if (bytes.empty()) {
    t += "(empty)";
  } else {
    for (std::size_t i = 0; i < bytes.size() && i < kShownBytes; ++i) {
      if (i > 0) t += ' ';
      append_hex_byte(t, bytes[i]);
    }
    if (bytes.size() > kShownBytes) t += " ... (" + std::to_string(bytes.size()) + " bytes)";
  }
  t += '\n';
}

void TreeWriter::subkeys(const KeyEntry& key) {
  if (key.subkeys_not_read > 0) {
    std::string& t = out_.text();
    t.append(static_cast<std::size_t>(2 * key.depth + 2), ' ');
    t += "<" + std::to_string(key.subkeys_not_read) + " subkeys not read: ";
    t += key.subkeys_not_read_reason;
    t += ">\n";
  }
  out_.flush_if_full();
}

void TreeWriter::key_end(const KeyEntry& /*key*/) {}

}  // namespace vesk::dump
