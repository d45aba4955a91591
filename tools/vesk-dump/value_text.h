// When string data is printable text: the stored bytes are one UTF-16LE text and its
// terminator, nothing else. Pure: the walk compares the library's conversion with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "code_set.h"

namespace vesk::dump {

// The characters of `bytes` when they are UTF-16LE text ending in its only zero unit,
// with no control character and no unpaired surrogate; none for any other bytes (odd
// length, no terminator, data after a zero unit, and so on).
std::optional<std::u32string> printable_text(const std::vector<std::uint8_t>& bytes);

}  // namespace vesk::dump
