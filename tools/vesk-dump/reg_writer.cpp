// REGEDIT4 text as regedit writes it: a section per key, a line per value, binary data as
// comma-separated hex folded with a backslash once a line reaches 77 columns, so no line
// passes 80, and continued after two spaces. Strings are text only when nothing is lost.
#include "reg_writer.h"

#include "hex.h"
#include "value_types.h"

namespace vesk::dump {

RegWriter::RegWriter(Output& out, const CodeSet& code_set, Report& report)
    : out_(out), code_set_(code_set), report_(report) {
  out_.text() += "REGEDIT4\n\n";
}

bool RegWriter::shows_text(std::uint32_t type) const { return type == kTypeString; }

void RegWriter::key(const KeyEntry& key) {
  if (!key.name_whole) {
    report_.error("key " + std::string(key.path) +
                  ": control characters in its name are shown as '?'");
  }
  std::string& t = out_.text();
  t += '[';
  t += key.path;
  t += "]\n";
}

void RegWriter::value(const KeyEntry& key, const ValueEntry& value) {
  std::string& t = out_.text();
  const std::size_t line_start = t.size();
  if (value.name.empty()) {
    t += '@';
  } else {
    t += '"';
    if (!code_set_.append_name(t, value.name, true)) {
      report_.error("value \"" + t.substr(line_start + 1) + "\" of " + std::string(key.path) +
                    ": control characters in its name are shown as '?'");
    }
    t += '"';
  }
  if (!value.bytes) {
    const std::string name = t.substr(line_start);
    t.resize(line_start);
    t += "; " + name + " not shown: data size " + std::to_string(value.length) +
         " does not fit in the file\n";
    return;
  }
  // Columns count characters: a stored name has one per byte, plus its escapes.
  std::size_t column = 1;
  if (!value.name.empty()) {
    column = 2 + value.name.size();
    for (const char c : value.name) column += c == '\\' || c == '"';
  }
  t += '=';
  ++column;
  const std::vector<std::uint8_t>& bytes = *value.bytes;
  if (value.type == kTypeString && value.text) {
    t += '"';
    for (const char c : *value.text) {
      if (c == '\\' || c == '"') t += '\\';
      t += c;
    }
    t += "\"\n";
    return;
  }
  if (value.type == kTypeDword && bytes.size() == 4) {
    t += "dword:";
    append_hex(t, load_le(bytes.data(), 4), 8);
    t += '\n';
    return;
  }
  const std::size_t type_start = t.size();
  if (value.type == kTypeBinary) {
    t += "hex:";
  } else {
    t += "hex(";
    append_hex(t, value.type);
    t += "):";
  }
  column += t.size() - type_start;
  append_folded_hex(t, bytes, column);
  t += '\n';
}

void RegWriter::append_folded_hex(std::string& t, const std::vector<std::uint8_t>& bytes,
                                  std::size_t column) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    append_hex_byte(t, bytes[i]);
    if (i + 1 == bytes.size()) break;
    t += ',';
    column += 3;
    if (column >= kFoldColumn) {
      t += "\\\n  ";
      column = 2;
    }
  }
}

void RegWriter::subkeys(const KeyEntry& /*key*/) {
  out_.text() += '\n';
  out_.flush_if_full();
}

void RegWriter::key_end(const KeyEntry& /*key*/) {}

}  // namespace vesk::dump
