// The three output formats, each a Sink for the walk: a REGEDIT4 .reg file, one JSON
// document, and an indented tree for reading on a terminal.
#pragma once

#include <memory>

#include "code_set.h"
#include "dump.h"
#include "output.h"
#include "report.h"
#include "walk.h"

namespace vesk::dump {

std::unique_ptr<Sink> make_writer(Format format, Output& out, const CodeSet& code_set,
                                  Report& report);

}  // namespace vesk::dump
