// The registry's value types by number, as the writers tell them apart. The library
// passes types through without interpreting them; so do the formats, beyond these.
#pragma once

#include <cstdint>

namespace vesk::dump {

inline constexpr std::uint32_t kTypeNone = 0;
inline constexpr std::uint32_t kTypeString = 1;
inline constexpr std::uint32_t kTypeExpandString = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeDwordBigEndian = 5;
inline constexpr std::uint32_t kTypeLink = 6;
inline constexpr std::uint32_t kTypeMultiString = 7;
inline constexpr std::uint32_t kTypeResourceList = 8;
inline constexpr std::uint32_t kTypeFullResourceDescriptor = 9;
inline constexpr std::uint32_t kTypeResourceRequirementsList = 10;
inline constexpr std::uint32_t kTypeQword = 11;

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
