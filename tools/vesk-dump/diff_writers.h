// The formats of --diff's changes: readable UTF-8 text, a line per change, and a .reg
// that regedit applies to a registry holding OLD to make it equal NEW. Each takes the
// Change records diff.h describes; a line format (csv, jsonl) is one more ChangeSink.
#pragma once

#include <memory>

#include "code_set.h"
#include "diff.h"
#include "output.h"

namespace vesk::dump {

std::unique_ptr<ChangeSink> make_change_sink(DiffFormat format, Output& out,
                                             const CodeSet& code_set);

}  // namespace vesk::dump
