// The output formats, each a Sink for the walk: a .reg file (UTF-16LE, or REGEDIT4 in a
// code page), one JSON document, and an indented tree for reading on a terminal. Writers format the records they are
// handed and never read a hive.
#pragma once

#include <memory>

#include "code_pages.h"
#include "code_set.h"
#include "entries.h"
#include "output.h"
#include "report.h"

namespace vesk::dump {

enum class Format { kReg, kRegedit4, kJson, kTree };

// `code_page` is the one REGEDIT4 is written in; the other formats ignore it.
std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  Report& report, const CodePage* code_page = nullptr);

}  // namespace vesk::dump
