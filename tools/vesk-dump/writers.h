// The output formats, each a Sink for the walk: a .reg file (UTF-16LE, or REGEDIT4 in a
// code page), one JSON document, an indented tree for reading on a terminal, and a
// timeline of keys by last-write time. Writers format the records they are handed,
// return what they could not write, and never read a hive nor report.
#pragma once

#include <memory>

#include "code_pages.h"
#include "code_set.h"
#include "entries.h"
#include "output.h"

namespace vesk::dump {

enum class Format { kReg, kRegedit4, kJson, kTree, kTimeline };

// `code_page` is the one REGEDIT4 is written in; the other formats ignore it.
std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  const Shown& shown = {},
                                  const CodePage* code_page = nullptr);

}  // namespace vesk::dump
