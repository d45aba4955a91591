// The output formats, each a Sink for the walk: a REGEDIT4 .reg file, one JSON document,
// and an indented tree for reading on a terminal. Writers format the records they are
// handed and never read a hive.
#pragma once

#include <memory>

#include "code_set.h"
#include "entries.h"
#include "output.h"
#include "report.h"

namespace vesk::dump {

enum class Format { kReg, kJson, kTree };

std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  Report& report);

}  // namespace vesk::dump
