// .reg text as regedit writes it: a section per key, a line per value, binary data as
// comma-separated hex folded with a backslash once a line reaches 77 columns, so no line
// passes 80, and continued after two spaces. A string is quoted text only when importing
// the text gives back exactly the stored bytes. Lines are built as UTF-16 and encoded
// whole, so a line the code page cannot carry is replaced by a comment, never cut.
#include "reg_writer.h"

#include <algorithm>

#include "code_set.h"
#include "decoded_data.h"
#include "hex_digits.h"
#include "messages.h"
#include "value_types.h"

namespace vesk::dump {
namespace {

bool is_string_type(std::uint32_t type) {
  return type == kTypeString || type == kTypeExpandString || type == kTypeMultiString;
}

std::u16string ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

void append_quoted(std::u16string& line, std::u16string_view text) {
  line += u'"';
  for (const char16_t c : text) {
    if (c == u'\\' || c == u'"') line += u'\\';
    line += c;
  }
  line += u'"';
}

// What a .reg line cannot carry in a name: a line end or a NUL anywhere (regedit reads
// a line up to them), and for a key a closing ']' at its end, which regedit takes for
// the one that ends the key line. Every other character, controls too, imports as is.
bool breaks_line(std::u16string_view name) {
  return name.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos;
}
bool breaks_key_line(std::u16string_view path) {
  return breaks_line(path) || (!path.empty() && path.back() == u']');
}

// The start of a value's line: @ for the unnamed value, else its name quoted.
void append_name(std::u16string& line, const ValueEntry& value) {
  if (value.is_default) {
    line += u'@';
  } else {
    append_quoted(line, utf16_of_stored(value.name));
  }
}

}  // namespace

RegWriter::RegWriter(Output& out, const CodePage* code_page) : out_(out), page_(code_page) {
  if (page_ == nullptr) out_.text() += "\xFF\xFE";  // the byte-order mark
  emit(page_ == nullptr ? u"Windows Registry Editor Version 5.00" : u"REGEDIT4");
  emit(u"");
}

bool RegWriter::emit(std::u16string_view line) {
  std::string& t = out_.text();
  const std::size_t start = t.size();
  if (page_ == nullptr) {
    t.resize(start + 2 * line.size() + 4);
    char* p = t.data() + start;
    for (const char16_t c : line) {
      *p++ = static_cast<char>(c & 0xFF);
      *p++ = static_cast<char>(c >> 8);
    }
    std::copy_n("\r\0\n\0", 4, p);
    return true;
  }
  t.resize(start + line.size() + 2);
  char* p = t.data() + start;
  for (const char16_t c : line) {
    const std::optional<std::uint8_t> b = page_->byte_of(c);
    if (!b) {
      t.resize(start);
      return false;
    }
    *p++ = static_cast<char>(*b);
  }
  std::copy_n("\r\n", 2, p);
  return true;
}

void RegWriter::comment(const std::u16string& text) {
  std::u16string line = u"; ";
  for (const char16_t c : text) {
    const bool shown = !is_control(c) && (page_ == nullptr || page_->byte_of(c));
    line += shown ? c : u'?';
  }
  emit(line);
}

Unwritten RegWriter::key(const KeyEntry& key) {
  if (key.depth == 0) {
    path_.start(std::u16string(key.start_path));
  } else {
    path_.keep_levels(static_cast<std::size_t>(key.depth));
    path_.push([&key](std::u16string& path) { return path += utf16_of_stored(key.name), true; });
  }
  if (skipped_depth_ >= 0 && key.depth > skipped_depth_) {
    writing_ = false;
    return {};
  }
  skipped_depth_ = -1;
  writing_ = true;

  Unwritten unwritten;
  std::string why;
  if (!key.unreadable.empty()) {
    why = "its " + std::string(key.unreadable);
  } else if (breaks_key_line(path_.text())) {
    unwritten.why = Unwritten::Why::kNameHasControls;
  } else if (!emit(u"[" + path_.text() + u"]")) {
    unwritten = {Unwritten::Why::kPathNotInCodePage, false, 0, {}, page_->number};
  }
  if (unwritten) why = why_unwritten(unwritten);
  if (!why.empty()) {
    comment(u"[" + path_.text() + u"] not written, nor anything below it: " + ascii(why));
    emit(u"");
    skipped_depth_ = key.depth;
    writing_ = false;
  }
  return unwritten;
}

const std::vector<std::uint8_t>* RegWriter::file_data(const ValueEntry& value) {
  const std::vector<std::uint8_t>& bytes = *value.bytes;
  if (page_ == nullptr || !is_string_type(value.type)) return &bytes;
  // regedit widens each byte of REGEDIT4 string data through the code page and ends the
  // data with a zero unit when it has none: only UTF-16 text already ending in one, all
  // of it in the page, comes back exactly.
  if (bytes.empty()) return &bytes;
  const std::size_t n = bytes.size();
  if (n % 2 != 0 || bytes[n - 1] != 0 || bytes[n - 2] != 0) return nullptr;
  std::vector<std::uint8_t>& out = in_page_;
  out.clear();
  for (std::size_t i = 0; i < n; i += 2) {
    const std::optional<std::uint8_t> b = page_->byte_of(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    if (!b) return nullptr;
    out.push_back(*b);
  }
  return &out;
}

void RegWriter::skip_value(const ValueEntry& value, const std::string& why) {
  std::u16string which = u"value " + ascii(std::to_string(value.index));
  if (value.unreadable.empty()) {
    which += u' ';
    if (value.is_default) {
      which += u'@';
    } else {
      append_quoted(which, utf16_of_stored(value.name));
    }
  }
  comment(which + u" not written: " + ascii(why));
}

Unwritten RegWriter::left_out(const ValueEntry& value, Unwritten::Why why) {
  Unwritten unwritten{why, true, value.index, {}, page_ != nullptr ? page_->number : 0};
  skip_value(value, why_unwritten(unwritten));
  return unwritten;
}

Unwritten RegWriter::value(const KeyEntry& /*key*/, const ValueEntry& value) {
  if (!writing_) return {};
  // What the walk found unreadable it has reported; the comment only marks the place.
  if (!value.unreadable.empty()) {
    skip_value(value, std::string(value.unreadable));
    return {};
  }
  if (breaks_line(utf16_of_stored(value.name))) {
    return left_out(value, Unwritten::Why::kNameHasControls);
  }
  if (!value.bytes) {
    skip_value(value, "data size " + std::to_string(value.length) + " does not fit in the file");
    return {};
  }
  const std::vector<std::uint8_t>* data = file_data(value);
  if (!data) return left_out(value, Unwritten::Why::kDataNotInCodePage);
  if (!emit(value_line(value, *data))) {
    return left_out(value, Unwritten::Why::kNameNotInCodePage);
  }
  return {};
}

const std::u16string& RegWriter::value_line(const ValueEntry& value,
                                            const std::vector<std::uint8_t>& data) {
  std::u16string& line = line_;
  line.clear();
  append_name(line, value);
  line += u'=';
  const std::vector<std::uint8_t>& bytes = *value.bytes;
  if (value.type == kTypeString && !bytes.empty() && printable_text(bytes)) {
    // The stored units without their terminator, which the import adds back.
    line += u'"';
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 2) {
      const auto c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
      if (c == u'\\' || c == u'"') line += u'\\';
      line += c;
    }
    line += u'"';
    return line;
  }
  if (value.type == kTypeDword) {
    if (const std::optional<std::uint64_t> number = decoded_number(kTypeDword, bytes)) {
      line += u"dword:";
      append_hex(line, *number, 8);
      return line;
    }
  }
  if (value.type == kTypeBinary) {
    line += u"hex:";
  } else {
    line += u"hex(";
    append_hex(line, value.type);
    line += u"):";
  }
  // Columns count characters, one per UTF-16 unit of the line so far. Each byte takes
  // three columns with its comma; the fold goes after the comma that reaches the column.
  // Data runs to megabytes: the digits go in place, into room made once for the most
  // the line can take (a fold at least every 25 bytes).
  static const char16_t kDigits[] = u"0123456789abcdef";
  std::size_t column = line.size();
  const std::size_t n = data.size();
  const std::size_t at = line.size();
  line.resize(at + 3 * n + 5 * (n / 25 + 1));
  char16_t* p = line.data() + at;
  for (std::size_t i = 0; i < n; ++i) {
    *p++ = kDigits[data[i] >> 4];
    *p++ = kDigits[data[i] & 0xF];
    if (i + 1 == n) break;
    *p++ = u',';
    column += 3;
    if (column >= kFoldColumn) {
      p = std::copy_n(u"\\\r\n  ", 5, p);
      column = 2;
    }
  }
  line.resize(static_cast<std::size_t>(p - line.data()));
  return line;
}

void RegWriter::subkeys(const KeyEntry& key) {
  if (!writing_) return;
  if (key.skipped.values.count > 0) {
    comment(ascii(std::to_string(key.skipped.values.count)) +
            u" values of this key are not written: " + ascii(std::string(key.skipped.values.reason)));
  }
  if (key.subkeys_not_read > 0) {
    comment(ascii(std::to_string(key.subkeys_not_read)) +
            u" subkeys of this key are not written: " +
            ascii(std::string(key.subkeys_not_read_reason)));
  }
  emit(u"");
  out_.flush_if_full();
}

void RegWriter::key_removed(const std::u16string& path) {
  if (breaks_key_line(path)) {
    comment(u"a removed key not written: its path holds what a .reg line cannot carry");
    return;
  }
  emit(u"[-" + path + u"]");
  emit(u"");
  out_.flush_if_full();
}

Unwritten RegWriter::value_removed(const ValueEntry& value) {
  if (!writing_) return {};
  if (breaks_line(utf16_of_stored(value.name))) {
    return left_out(value, Unwritten::Why::kNameHasControls);
  }
  line_.clear();
  append_name(line_, value);
  emit(line_ += u"=-");
  return {};
}


// Damaged subkeys are known after the sound ones are written: the comment names its key.
void RegWriter::key_end(const KeyEntry& key) {
  if (key.skipped.subkeys.count == 0) return;
  if (skipped_depth_ >= 0 && key.depth >= skipped_depth_) return;
  comment(ascii(std::to_string(key.skipped.subkeys.count)) + u" subkeys of [" +
          std::u16string(path_.up_to(static_cast<std::size_t>(key.depth))) +
          u"] are not written: " + ascii(std::string(key.skipped.subkeys.reason)));
  emit(u"");
}

}  // namespace vesk::dump
