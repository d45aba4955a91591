// The output formats, each a Sink for the walk: a .reg file (UTF-16LE, or REGEDIT4 in a
// code page), one JSON document, an indented tree for reading on a terminal, and a
// timeline of keys by last-write time. Writers format the records they are handed and
// never read a hive.
#pragma once

#include <memory>

#include "code_pages.h"
#include "code_set.h"
#include "entries.h"
#include "output.h"
#include "report.h"

namespace vesk::dump {

enum class Format { kReg, kRegedit4, kJson, kTree, kTimeline };

// What a writer shows beyond its format's plain form.
struct Shown {
  bool times = false;      // tree: each key's last-write time on its line
  bool full_data = false;  // tree: every byte of binary data, not just the first ones
  bool one_value = false;  // the walk hands over a single value: JSON writes it alone
};

// `code_page` is the one REGEDIT4 is written in; the other formats ignore it.
std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  Report& report, const Shown& shown = {},
                                  const CodePage* code_page = nullptr);

}  // namespace vesk::dump
