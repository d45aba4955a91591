// The names of the registry's value types (the numbers are in vesk/hive.hpp), as the
// writers show them. Types past these pass through as numbers.
#pragma once

#include <cstdint>

#include "vesk/hive.hpp"

namespace vesk::dump {

// "REG_SZ" and the like, or nullptr for a number without a name.
inline const char* type_name(std::uint32_t type) {
  static const char* const kNames[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY",
                                       "REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_LINK",
                                       "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                                       "REG_FULL_RESOURCE_DESCRIPTOR",
                                       "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"};
  return type <= kTypeQword ? kNames[type] : nullptr;
}

}  // namespace vesk::dump
