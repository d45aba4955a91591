// The formats of --diff's changes: readable UTF-8 text, a line per change; a .reg that
// regedit applies to a registry holding OLD to make it equal NEW; csv and jsonl, a
// record per change. Each is a ChangeSink taking the Change records diff.h describes.
#pragma once

#include <memory>

#include "code_set.h"
#include "diff.h"
#include "output.h"

namespace vesk::dump {

std::unique_ptr<ChangeSink> make_change_sink(DiffFormat format, Output& out,
                                             const CodeSet& code_set);

}  // namespace vesk::dump
