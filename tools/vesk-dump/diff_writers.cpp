// Text: "+", "-" or "~" and the key's path in brackets, then for a value its name and
// type and data ("~" shows both, "->" between them); "t" for a key whose last-write time
// alone changed and "?" for what was not compared, so each kind is one grep away. The
// .reg is written by the dump's RegWriter, so added keys and values come out exactly as
// a dump writes them, and what .reg cannot carry is a ';' comment.
#include "diff_writers.h"

#include "decoded_data.h"
#include "filetime.h"
#include "hex_digits.h"
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
  if (format == DiffFormat::kText) return std::make_unique<TextChanges>(out);
  return std::make_unique<RegChanges>(out);
}

}  // namespace vesk::dump
