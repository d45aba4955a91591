// The line formats, UTF-8 with one record a line:
// - csv: "path,value,type,form,data,last_written,note" (a "hive" column first when a run
//   dumps several), a row per value and a row for each key that has no value or has
//   something unread. `form` says how `data` is written: text (the exact UTF-16 string,
//   as UTF-8), number (decimal), hex (the stored bytes), none (no data: its size cannot
//   be true), or key on a key's own row. `note` holds what the library could not read.
// - jsonl: an object per key: "path", "name", "last_written", "values" as the JSON
//   format writes them, and its "subkeys_not_read", "subkeys_not_read_reason" and
//   "unreadable" members.
// - bodyfile: the Sleuth Kit body file mactime -b reads, a line per key, its last-write
//   time as the modification time (a '|' in a path written as %7C).
// - text: the one value --value names, as a script takes it: a string and a newline, a
//   multi-string's strings a line each, a number in decimal, other data in hex.
#pragma once

#include <utility>

#include "entries.h"
#include "line_text.h"
#include "output.h"

namespace vesk::dump {

// A value's "type,form,data" fields as csv writes them (no comma after), for the dump's
// rows and the diff's alike.
void append_csv_data(std::string& t, const ValueEntry& value);

class CsvWriter : public Sink {
 public:
  CsvWriter(Output& out, LineLabel label);
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& /*key*/) override {}

 private:
  void begin_row();

  Output& out_;
  LineLabel label_;
  Utf8Paths paths_{true};
  std::string path_;  // the CSV field of the key's path
  std::string time_;
  bool had_value_ = false;
};

class JsonlWriter : public Sink {
 public:
  JsonlWriter(Output& out, LineLabel label) : out_(out), label_(std::move(label)) {}
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& /*key*/) override {}

 private:
  Output& out_;
  LineLabel label_;
  Utf8Paths paths_{false};
  bool first_value_ = true;
};

class BodyfileWriter : public Sink {
 public:
  BodyfileWriter(Output& out, LineLabel label) : out_(out), label_(std::move(label)) {}
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry&, const ValueEntry&) override { return {}; }
  void subkeys(const KeyEntry&) override {}
  void key_end(const KeyEntry&) override {}

 private:
  Output& out_;
  LineLabel label_;
  Utf8Paths paths_{true};
};

class TextWriter : public Sink {
 public:
  explicit TextWriter(Output& out) : out_(out) {}
  Unwritten key(const KeyEntry&) override { return {}; }
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry&) override {}
  void key_end(const KeyEntry&) override {}

 private:
  Output& out_;
};

}  // namespace vesk::dump
