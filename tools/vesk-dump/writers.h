// The output formats, each a Sink for the walk: a .reg file (UTF-16LE, or REGEDIT4 in a
// code page), one JSON document, an indented tree for reading on a terminal, a
// timeline of keys by last-write time, the line formats for pipes (csv, jsonl, a Sleuth
// Kit body file) and one value's data as plain text. Writers format the records they are handed,
// return what they could not write, and never read a hive nor report.
#pragma once

#include <memory>

#include "code_pages.h"
#include "code_set.h"
#include "entries.h"
#include "line_text.h"
#include "output.h"

namespace vesk::dump {

enum class Format { kReg, kRegedit4, kJson, kTree, kTimeline, kCsv, kJsonl, kBodyfile, kText };

// Whether a format writes one record a line, each line standing alone, so that several
// hives can go into one run.
constexpr bool is_line_format(Format f) {
  return f == Format::kCsv || f == Format::kJsonl || f == Format::kBodyfile ||
         f == Format::kTimeline;
}

// `code_page` is the one REGEDIT4 is written in; `label` what the line formats put on
// each line and at the top; the other formats ignore them.
std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  const Shown& shown = {},
                                  const CodePage* code_page = nullptr,
                                  const LineLabel& label = {});

}  // namespace vesk::dump
