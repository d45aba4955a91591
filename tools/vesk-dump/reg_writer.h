// The .reg formats regedit imports. By default "Windows Registry Editor Version 5.00" in
// UTF-16LE with a byte-order mark, data as stored; with a code page "REGEDIT4" in it, with
// string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) converted to it as regedit expects.
// Either way a key section per key, a line per value, CRLF line ends, and a ';' comment
// line, never an approximation, wherever something cannot be written exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "code_pages.h"
#include "entries.h"
#include "output.h"
#include "path_builder.h"

namespace vesk::dump {

class RegWriter : public Sink {
 public:
  // `code_page` null: the UTF-16LE format; otherwise REGEDIT4 in that page.
  RegWriter(Output& out, const CodePage* code_page = nullptr);
  // What is left out is returned unless the walk said it was unreadable already.
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& key) override;

  // For a diff: a section removing the key at `path` and everything below it.
  void key_removed(const std::u16string& path);
  // For a diff, in the section of the key last given to key(): the line removing `value`.
  Unwritten value_removed(const ValueEntry& value);
  // A ';' comment line, for what the format cannot carry.
  void note(const std::u16string& text) { comment(text); }

  // A line of hex is broken after the comma that takes it to this column or beyond.
  static constexpr std::size_t kFoldColumn = 77;

 private:
  // Appends `line` and a line end in the file's encoding; false, with nothing appended,
  // when the code page lacks one of its characters.
  bool emit(std::u16string_view line);
  // A ';' line; characters the encoding lacks, and control characters, become '?'.
  void comment(const std::u16string& text);
  // The data as the file carries it: stored, or in the code page; none when the code
  // page cannot carry it exactly. Points at the value's bytes or at in_page_.
  const std::vector<std::uint8_t>* file_data(const ValueEntry& value);
  // A comment in place of the value, saying why it is not written.
  void skip_value(const ValueEntry& value, const std::string& why);
  // The same for what this writer cannot write; returns it, for the walk to report.
  Unwritten left_out(const ValueEntry& value, Unwritten::Why why);
  // The value's line: its name, '=' and its data (`data` as the file carries it).
  // Built in line_, whose room is kept from line to line.
  const std::u16string& value_line(const ValueEntry& value, const std::vector<std::uint8_t>& data);

  Output& out_;
  const CodePage* page_;
  PathBuilder<std::u16string> path_;  // the current key's path, in UTF-16
  int skipped_depth_ = -1;       // the depth of a key not written, whose subtree is not either
  bool writing_ = true;          // whether the current key's values are written
  std::u16string line_;
  std::vector<std::uint8_t> in_page_;  // string data in the code page, for REGEDIT4
};

}  // namespace vesk::dump
