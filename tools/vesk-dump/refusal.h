// Why the library refused a file, told from the file itself. The library answers only
// 0; these read the first bytes again and apply the same base-block rules
// (src/hive/base_block.h) to name the reason. Used only after the library has refused.
#pragma once

#include <string>

namespace vesk::dump {

// Why OpenRegistryFile refused `path`: it cannot be opened, is not a hive, is not
// version 1.3, was not written out cleanly, and so on.
std::string why_not_opened(const std::string& path);

// Why SearchRootKey found no root key in the hive at `path`.
std::string why_no_root(const std::string& path);

}  // namespace vesk::dump
