// Each line is built whole before the next begins, so any one line read alone says
// where it is (its path) and, with several hives, which hive it came from.
#include "line_writers.h"

#include "code_set.h"
#include "decoded_data.h"
#include "filetime.h"
#include "hex_digits.h"
#include "json_writer.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

bool is_string_type(std::uint32_t type) {
  return type == kTypeString || type == kTypeExpandString || type == kTypeLink;
}

void append_type(std::string& t, std::uint32_t type) {
  const char* name = type_name(type);
  t += name != nullptr ? std::string(name) : std::to_string(type);
}

void append_utf8_text(std::string& t, const std::u32string& text) {
  for (const char32_t c : text) append_utf8(t, c);
}

// What the library could not read of a key, in words, for csv's note column.
std::string key_note(const KeyEntry& key) {
  std::string note;
  if (!key.unreadable.empty()) note = std::string(key.unreadable);
  if (key.subkeys_not_read > 0) {
    if (!note.empty()) note += "; ";
    note += std::to_string(key.subkeys_not_read) + " subkeys not read: ";
    note += key.subkeys_not_read_reason;
  }
  return note;
}

}  // namespace

void append_csv_data(std::string& t, const ValueEntry& value) {
  append_type(t, value.type);
  t += ',';
  // Hex and numbers never need quoting: only text goes through the CSV quoting.
  if (!value.bytes) {
    t += "none,";
  } else if (const std::optional<std::uint64_t> n = decoded_number(value.type, *value.bytes)) {
    t += "number,";
    t += std::to_string(*n);
  } else if (const std::optional<std::u32string> text =
                 is_string_type(value.type) ? printable_text(*value.bytes) : std::nullopt) {
    t += "text,";
    std::string field;
    append_utf8_text(field, *text);
    append_csv_field(t, field);
  } else {
    t += "hex,";
    append_hex_bytes(t, value.bytes->data(), value.bytes->size());
  }
}

CsvWriter::CsvWriter(Output& out, LineLabel label) : out_(out), label_(std::move(label)) {
  if (!label_.header) return;
  out_.text() += label_.hive.empty() ? "" : "hive,";
  out_.text() += "path,value,type,form,data,last_written,note\n";
}

void CsvWriter::begin_row() {
  std::string& t = out_.text();
  if (!label_.hive.empty()) {
    append_csv_field(t, label_.hive);
    t += ',';
  }
  t += path_;
  t += ',';
}

Unwritten CsvWriter::key(const KeyEntry& key) {
  path_.clear();
  append_csv_field(path_, paths_.enter(key));
  time_.clear();
  append_time_or_reason(time_, key.last_written);
  had_value_ = false;
  return {};
}

Unwritten CsvWriter::value(const KeyEntry& /*key*/, const ValueEntry& value) {
  had_value_ = true;
  begin_row();
  std::string& t = out_.text();
  std::string field;
  append_line_name(field, value.name);
  append_csv_field(t, field);
  t += ',';
  append_csv_data(t, value);
  t += ',';
  t += time_;
  t += ',';
  append_csv_field(t, value.unreadable);
  t += '\n';
  out_.flush_if_full();
  return {};
}

void CsvWriter::subkeys(const KeyEntry& key) {
  const std::string note = key_note(key);
  if (had_value_ && note.empty()) return;
  begin_row();
  std::string& t = out_.text();
  t += ",,key,,";
  t += time_;
  t += ',';
  append_csv_field(t, note);
  t += '\n';
  out_.flush_if_full();
}

Unwritten JsonlWriter::key(const KeyEntry& key) {
  std::string& t = out_.text();
  t += '{';
  if (!label_.hive.empty()) {
    t += "\"hive\": \"";
    append_json_utf8(t, label_.hive);
    t += "\", ";
  }
  t += "\"path\": \"";
  append_json_utf8(t, paths_.enter(key));
  t += "\", \"name\": ";
  if (key.unreadable.empty()) {
    append_json_string(t, key.name);
  } else {
    t += "null";
  }
  // As the JSON format: null for a time no date stands for, the stored value beside it
  // when it is out of range.
  t += ", \"last_written\": ";
  const TimeKind kind = time_kind(key.last_written);
  if (kind == TimeKind::kDate) {
    t += '"';
    append_iso_time(t, key.last_written);
    t += '"';
  } else {
    t += "null";
    if (kind == TimeKind::kOutOfRange) {
      t += ", \"last_written_filetime\": \"";
      append_hex(t, key.last_written, 16);
      t += '"';
    }
  }
  t += ", \"values\": [";
  first_value_ = true;
  return {};
}

Unwritten JsonlWriter::value(const KeyEntry& /*key*/, const ValueEntry& value) {
  std::string& t = out_.text();
  if (!first_value_) t += ", ";
  first_value_ = false;
  append_json_value(t, value);
  return {};
}

void JsonlWriter::subkeys(const KeyEntry& key) {
  std::string& t = out_.text();
  t += ']';
  if (key.subkeys_not_read > 0) {
    t += ", \"subkeys_not_read\": " + std::to_string(key.subkeys_not_read) +
         ", \"subkeys_not_read_reason\": ";
    append_json_string(t, key.subkeys_not_read_reason);
  }
  if (!key.unreadable.empty()) {
    t += ", \"unreadable\": ";
    append_json_string(t, key.unreadable);
  }
  t += "}\n";
  out_.flush_if_full();
}

Unwritten BodyfileWriter::key(const KeyEntry& key) {
  // MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime, as mactime -b reads it.
  std::string& t = out_.text();
  t += "0|";
  std::string name = label_.hive.empty() ? std::string() : label_.hive + ':';
  name += paths_.enter(key);
  // The name's line ends are pictures already; only the field separator is left.
  for (const char c : name) {
    if (c == '|') {
      t += "%7C";
    } else {
      t += c;
    }
  }
  t += "|0|0|0|0|0|0|" + std::to_string(unix_seconds(key.last_written)) + "|0|0\n";
  out_.flush_if_full();
  return {};
}

Unwritten TextWriter::value(const KeyEntry& /*key*/, const ValueEntry& value) {
  std::string& t = out_.text();
  if (!value.bytes) return {};
  if (is_string_type(value.type)) {
    append_utf8_text(t, decoded_text(*value.bytes));
    t += '\n';
  } else if (value.type == kTypeMultiString) {
    for (const std::u32string& s : decoded_strings(*value.bytes)) {
      append_utf8_text(t, s);
      t += '\n';
    }
  } else if (const std::optional<std::uint64_t> n = decoded_number(value.type, *value.bytes)) {
    t += std::to_string(*n) + '\n';
  } else {
    append_hex_bytes(t, value.bytes->data(), value.bytes->size());
    t += '\n';
  }
  return {};
}

}  // namespace vesk::dump
