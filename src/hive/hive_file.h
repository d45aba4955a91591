// What every hive operation does before it reads: make the hive's file current.
#pragma once

#include <cstdint>

#include "frame/files.h"
#include "vesk_10.h"

namespace vesk::hive {

// Selects the hive's file; false for a null handle, which no operation reads through.
inline bool select_hive(const HiveHandle* hive) {
  if (hive == nullptr) return false;
  frame::select_file(hive->file);
  return true;
}

// A 16-bit length from a record, sign-extended as the format's readers always did;
// a negative one is never used as a size.
inline std::int32_t signed_length(std::uint16_t field) {
  return static_cast<std::int16_t>(field);
}

// Text of `length` bytes read at `at`: bytes up to the first zero, short reads padded
// with spaces, a negative length or a failed allocation an empty text.
const char* read_fixed_text(std::uint32_t at, std::int32_t length);

}  // namespace vesk::hive
