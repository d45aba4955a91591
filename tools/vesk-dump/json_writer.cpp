// Pretty-printed so that a diff shows one value per line: keys as indented objects,
// each value as one line. Written by hand rather than through a JSON library, which
// the project does not depend on.
#include "json_writer.h"

#include "code_set.h"
#include "decoded_data.h"
#include "filetime.h"
#include "hex_digits.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

void append_json_text(std::string& t, const std::u32string& text) {
  t += '"';
  for (const char32_t c : text) append_json_char(t, c);
  t += '"';
}

// "text", "strings" or "number" after the data, where the type says how to read it.
void append_decoded(std::string& t, std::uint32_t type, const std::vector<std::uint8_t>& bytes) {
  if (type == kTypeString || type == kTypeExpandString || type == kTypeLink) {
    t += ", \"text\": ";
    append_json_text(t, decoded_text(bytes));
  } else if (type == kTypeMultiString) {
    t += ", \"strings\": [";
    bool first = true;
    for (const std::u32string& s : decoded_strings(bytes)) {
      if (!first) t += ", ";
      first = false;
      append_json_text(t, s);
    }
    t += ']';
  } else if (const std::optional<std::uint64_t> n = decoded_number(type, bytes)) {
    t += ", \"number\": " + std::to_string(*n);
  }
}

}  // namespace

void append_json_value(std::string& t, const ValueEntry& value) {
  t += "{\"name\": ";
  if (value.unreadable.empty()) {
    append_json_string(t, value.name);
  } else {
    t += "null";
  }
  t += ", \"type\": " + std::to_string(value.type) + ", \"data\": ";
  if (!value.bytes) {
    t += "null";
  } else {
    t += '"';
    append_hex_bytes(t, value.bytes->data(), value.bytes->size());
    t += '"';
    append_decoded(t, value.type, *value.bytes);
  }
  if (!value.unreadable.empty()) {
    t += ", \"unreadable\": ";
    append_json_string(t, value.unreadable);
  }
  t += '}';
}

void JsonWriter::indent(int depth, int extra) {
  out_.text().append(static_cast<std::size_t>(4 * depth + extra), ' ');
}

Unwritten JsonWriter::key(const KeyEntry& key) {
  if (one_value_) return {};
  std::string& t = out_.text();
  if (key.depth > 0) {
    t += first_subkey_.back() ? "\n" : ",\n";
    first_subkey_.back() = false;
  }
  indent(key.depth, 0);
  t += "{\n";
  indent(key.depth, 2);
  t += "\"name\": ";
  if (key.unreadable.empty()) {
    append_json_string(t, key.name);
  } else {
    t += "null";
  }
  t += ",\n";
  indent(key.depth, 2);
  // null for a time that no date stands for; one out of range keeps its stored value.
  t += "\"last_written\": ";
  const TimeKind kind = time_kind(key.last_written);
  if (kind == TimeKind::kDate) {
    t += '"';
    append_iso_time(t, key.last_written);
    t += "\",\n";
  } else {
    t += "null,\n";
    if (kind == TimeKind::kOutOfRange) {
      indent(key.depth, 2);
      t += "\"last_written_filetime\": \"";
      append_hex(t, key.last_written, 16);
      t += "\",\n";
    }
  }
  indent(key.depth, 2);
  t += "\"values\": [";
  first_value_ = true;
  return {};
}

Unwritten JsonWriter::value(const KeyEntry& key, const ValueEntry& value) {
  std::string& t = out_.text();
  if (!one_value_) {
    t += first_value_ ? "\n" : ",\n";
    indent(key.depth, 4);
  }
  first_value_ = false;
  append_json_value(t, value);
  if (one_value_) t += '\n';
  return {};
}

void JsonWriter::subkeys(const KeyEntry& key) {
  if (one_value_) return;
  std::string& t = out_.text();
  if (!first_value_) {
    t += '\n';
    indent(key.depth, 2);
  }
  t += "],\n";
  indent(key.depth, 2);
  t += "\"subkeys\": [";
  first_subkey_.push_back(true);
  out_.flush_if_full();
}

void JsonWriter::not_read(int depth, const char* items, std::int32_t count,
                          std::string_view reason) {
  if (count <= 0) return;
  std::string& t = out_.text();
  t += ",\n";
  indent(depth, 2);
  t += std::string("\"") + items + "_not_read\": " + std::to_string(count) + ",\n";
  indent(depth, 2);
  t += std::string("\"") + items + "_not_read_reason\": ";
  append_json_string(t, reason);
}

void JsonWriter::key_end(const KeyEntry& key) {
  if (one_value_) return;
  std::string& t = out_.text();
  if (!first_subkey_.back()) {
    t += '\n';
    indent(key.depth, 2);
  }
  first_subkey_.pop_back();
  t += ']';
  // What the library could not read comes after what it did, in members of its own; a
  // list is either followed (its damaged elements skipped) or not read at all.
  not_read(key.depth, "subkeys", key.subkeys_not_read + key.skipped.subkeys.count,
           key.subkeys_not_read > 0 ? key.subkeys_not_read_reason : key.skipped.subkeys.reason);
  not_read(key.depth, "values", key.skipped.values.count, key.skipped.values.reason);
  if (!key.unreadable.empty()) {
    t += ",\n";
    indent(key.depth, 2);
    t += "\"unreadable\": ";
    append_json_string(t, key.unreadable);
  }
  t += '\n';
  indent(key.depth, 0);
  t += '}';
  if (key.depth == 0) t += '\n';
}

}  // namespace vesk::dump
