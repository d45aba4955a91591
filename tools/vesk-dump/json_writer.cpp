// Pretty-printed so that a diff shows one value per line: keys as indented objects,
// each value as one line. Written by hand rather than through a JSON library, which
// the project does not depend on.
#include "json_writer.h"

#include "code_set.h"
#include "hex.h"

namespace vesk::dump {

void JsonWriter::indent(int depth, int extra) {
  out_.text().append(static_cast<std::size_t>(4 * depth + extra), ' ');
}

void JsonWriter::key(const KeyEntry& key) {
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
  t += "\"values\": [";
  first_value_ = true;
}

void JsonWriter::value(const KeyEntry& key, const ValueEntry& value) {
  std::string& t = out_.text();
  t += first_value_ ? "\n" : ",\n";
  first_value_ = false;
  indent(key.depth, 4);
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
    for (const std::uint8_t b : *value.bytes) append_hex_byte(t, b);
    t += '"';
  }
  if (!value.unreadable.empty()) {
    t += ", \"unreadable\": ";
    append_json_string(t, value.unreadable);
  }
  t += '}';
}

void JsonWriter::subkeys(const KeyEntry& key) {
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

void JsonWriter::key_end(const KeyEntry& key) {
  std::string& t = out_.text();
  if (!first_subkey_.back()) {
    t += '\n';
    indent(key.depth, 2);
  }
  first_subkey_.pop_back();
  t += ']';
  // What the library could not read comes after what it did, in members of its own.
  if (key.subkeys_not_read > 0) {
    t += ",\n";
    indent(key.depth, 2);
    t += "\"subkeys_not_read\": " + std::to_string(key.subkeys_not_read) + ",\n";
    indent(key.depth, 2);
    t += "\"subkeys_not_read_reason\": ";
    append_json_string(t, key.subkeys_not_read_reason);
  }
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
