// vesk-dump's own reading of a hive file, apart from the library and the walk: what the
// library reads past but a sound hive never holds. The base block's checksum (of a hive
// written cleanly), and the
// bins along the size it declares: each signed "hbin", at the offset it says, of a size
// that is a multiple of 4096 and ends inside the declared bins. Every read is a bounded
// read of a header; nothing is trusted to size a read.
#pragma once

#include <string>

#include "findings.h"

namespace vesk::dump {

// Reports to `findings` what the file at `path` holds wrong; nothing when it cannot be
// opened or is too short for a base block (the library says why then), nor past the end
// of a cut file (its cut is reported on its own).
void audit_file(const std::string& path, Findings& findings);

}  // namespace vesk::dump
