// Text: "+", "-" or "~" and the key's path in brackets, then for a value its name and
// type and data ("~" shows both, "->" between them); "t" for a key whose last-write time
// alone changed and "?" for what was not compared, so each kind is one grep away. The
// .reg is written by the dump's RegWriter, so added keys and values come out exactly as
// a dump writes them, and what .reg cannot carry is a ';' comment. csv and jsonl write a
// value's type and data as the dump's csv and JSON do, through the dump's own writers.
#include "diff_writers.h"


#include "decoded_data.h"
#include "filetime.h"
#include "hex_digits.h"
#include "json_writer.h"
#include "line_writers.h"
#include "reg_writer.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

// A stored name or path in UTF-8, as a JSON string's characters are (quotes and
// backslashes escaped only where `quoted`).
void append_utf8(std::string& t, std::string_view stored, bool quoted) {
  for (const char c : stored) {
    const auto u = static_cast<unsigned char>(c);
    if (!quoted && (u == '\\' || u == '"')) {
      t += c;
    } else {
      append_json_char(t, u);
    }
  }
}

void append_value(std::string& t, const ValueItem& v) {
  if (v.is_default) {
    t += '@';
  } else {
    t += '"';
    append_utf8(t, v.name, true);
    t += '"';
  }
  t += " = ";
  if (const char* name = type_name(v.type)) {
    t += name;
  } else {
    t += "type 0x";
    append_hex(t, v.type, 8);
  }
  t += ' ';
  const std::vector<std::uint8_t>& bytes = *v.bytes;
  if (v.type == kTypeString || v.type == kTypeExpandString) {
    if (const std::optional<std::u32string> text = printable_text(bytes)) {
      t += '"';
      for (const char32_t c : *text) append_json_char(t, c);
      t += '"';
      return;
    }
  }
  if (const std::optional<std::uint64_t> n = decoded_number(v.type, bytes)) {
    t += "0x";
    append_hex(t, *n, v.type == kTypeQword ? 16 : 8);
    return;
  }
  t += "hex:";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) t += ',';
    append_hex_byte(t, bytes[i]);
  }
}

class TextChanges : public ChangeSink {
 public:
  explicit TextChanges(Output& out) : out_(out) {}

  Unwritten change(const Change& c) override {
    std::string& t = out_.text();
    using W = Change::What;
    static const char kMarks[] = "+-+-~t?";
    t += kMarks[static_cast<int>(c.what)];
    t += " [";
    append_utf8(t, c.path, false);
    t += ']';
    switch (c.what) {
      case W::kKeyAdded:
      case W::kKeyRemoved:
        t += " key and all in it: " + std::to_string(c.keys) + " subkeys, " +
             std::to_string(c.values) + " values";
        break;
      case W::kValueAdded:
      case W::kValueChanged:
      case W::kValueRemoved:
        t += ' ';
        append_value(t, c.was != nullptr ? *c.was : *c.now);
        if (c.what == W::kValueChanged) {
          t += " -> ";
          append_value(t, *c.now);
        }
        break;
      case W::kTimeOnly:
        t += " last written ";
        append_time_or_reason(t, c.time_was);
        t += " -> ";
        append_time_or_reason(t, c.time_now);
        break;
      case W::kNotCompared:
        t += " not compared: ";
        t += c.why;
        break;
    }
    t += '\n';
    out_.flush_if_full();
    return {};
  }

 private:
  Output& out_;
};

// The line formats' name of each kind of change, in Change::What's order.
const char* const kKinds[] = {"key_added",     "key_removed", "value_added", "value_removed",
                              "value_changed", "time_only",   "not_compared"};

// A stored name or path as the dump's csv shows it: UTF-8, controls as their pictures.
std::string utf8_of_stored(std::string_view stored) {
  std::string out;
  append_line_name(out, stored);
  return out;
}

// csv: "change,path,value,old_type,old_form,old_data,new_type,new_form,new_data,subkeys,
// values,note". A value's old and new fields are empty on the side that lacks it; a
// time-only change has form "time" and the times as data; an added or removed key has
// its counts; "note" says why a part was not compared.
class CsvChanges : public ChangeSink {
 public:
  explicit CsvChanges(Output& out) : out_(out) {
    out_.text() +=
        "change,path,value,old_type,old_form,old_data,new_type,new_form,new_data,subkeys,"
        "values,note\n";
  }

  Unwritten change(const Change& c) override {
    using W = Change::What;
    std::string& t = out_.text();
    t += kKinds[static_cast<int>(c.what)];
    t += ',';
    append_csv_field(t, utf8_of_stored(c.path));
    t += ',';
    const ValueItem* either = c.was != nullptr ? c.was : c.now;
    if (either != nullptr) append_csv_field(t, utf8_of_stored(either->name));
    for (const auto& [item, time] : {std::pair(c.was, c.time_was), std::pair(c.now, c.time_now)}) {
      t += ',';
      if (item != nullptr) {
        const ValueEntry value = item->entry();
        append_csv_data(t, value);
      } else if (c.what == W::kTimeOnly) {
        t += ",time,";
        append_time_or_reason(t, time);
      } else {
        t += ",,";
      }
    }
    t += ',';
    if (c.what == W::kKeyAdded || c.what == W::kKeyRemoved) {
      t += std::to_string(c.keys) + ',' + std::to_string(c.values);
    } else {
      t += ',';
    }
    t += ',';
    append_csv_field(t, utf8_of_stored(c.why));
    t += '\n';
    out_.flush_if_full();
    return {};
  }

 private:
  Output& out_;
};

// jsonl: {"change", "path"} and, as the change has them, "value" (its name), "old" and
// "new" (value objects as the JSON format writes them), "subkeys" and "values" (an added
// or removed key's counts), "old_last_written" and "new_last_written", "why".
class JsonlChanges : public ChangeSink {
 public:
  explicit JsonlChanges(Output& out) : out_(out) {}

  Unwritten change(const Change& c) override {
    using W = Change::What;
    std::string& t = out_.text();
    t += "{\"change\": \"";
    t += kKinds[static_cast<int>(c.what)];
    t += "\", \"path\": ";
    append_json_string(t, c.path);
    const ValueItem* either = c.was != nullptr ? c.was : c.now;
    if (either != nullptr) {
      t += ", \"value\": ";
      append_json_string(t, either->name);
    }
    for (const auto& [member, item] : {std::pair("old", c.was), std::pair("new", c.now)}) {
      if (item == nullptr) continue;
      t += std::string(", \"") + member + "\": ";
      append_json_value(t, item->entry());
    }
    if (c.what == W::kKeyAdded || c.what == W::kKeyRemoved) {
      t += ", \"subkeys\": " + std::to_string(c.keys) + ", \"values\": " + std::to_string(c.values);
    } else if (c.what == W::kTimeOnly) {
      t += ", \"old_last_written\": \"";
      append_time_or_reason(t, c.time_was);
      t += "\", \"new_last_written\": \"";
      append_time_or_reason(t, c.time_now);
      t += '"';
    } else if (c.what == W::kNotCompared) {
      t += ", \"why\": ";
      append_json_string(t, c.why);
    }
    t += "}\n";
    out_.flush_if_full();
    return {};
  }

 private:
  Output& out_;
};

class RegChanges : public ChangeSink {
 public:
  explicit RegChanges(Output& out) : reg_(out) {}
  ~RegChanges() override { close(); }

  Unwritten change(const Change& c) override {
    using W = Change::What;
    switch (c.what) {
      case W::kKeyAdded:  // written already, through added_subtree()
        return {};
      case W::kKeyRemoved:
        close();
        reg_.key_removed(utf16_of_stored(c.path));
        return {};
      case W::kValueAdded:
      case W::kValueChanged:
        open(c.path);
        return reg_.value(section_, c.now->entry());
      case W::kValueRemoved:
        open(c.path);
        return reg_.value_removed(c.was->entry());
      case W::kTimeOnly:
        close();
        reg_.note(u"[" + utf16_of_stored(c.path) +
                  u"]: only its last-write time changed, which .reg does not carry");
        return {};
      case W::kNotCompared:
        close();
        reg_.note(u"[" + utf16_of_stored(c.path) + u"] not compared: " + utf16_of_stored(c.why));
        return {};
    }
    return {};
  }

  Sink* added_subtree() override {
    close();
    return &reg_;
  }

 private:
  // The section of the key at `path`, begun once for all its value lines.
  void open(std::string_view path) {
    if (open_ && path == path_) return;
    close();
    path_ = path;
    chars_ = utf16_of_stored(path);
    section_ = KeyEntry{path_, path_, path_, 0, true, 0, 0, 0, chars_, {}, 0, {}, {}, -1};
    reg_.key(section_);
    open_ = true;
  }
  void close() {
    if (open_) reg_.subkeys(section_);
    open_ = false;
  }

  RegWriter reg_;
  bool open_ = false;
  std::string path_;
  std::u16string chars_;
  KeyEntry section_{};
};

}  // namespace

std::unique_ptr<ChangeSink> make_change_sink(DiffFormat format, Output& out,
                                             const CodeSet& /*code_set*/) {
  switch (format) {
    case DiffFormat::kText: return std::make_unique<TextChanges>(out);
    case DiffFormat::kCsv: return std::make_unique<CsvChanges>(out);
    case DiffFormat::kJsonl: return std::make_unique<JsonlChanges>(out);
    case DiffFormat::kReg: break;
  }
  return std::make_unique<RegChanges>(out);
}

}  // namespace vesk::dump
