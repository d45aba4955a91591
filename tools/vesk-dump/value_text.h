// When a string value may be shown as text without losing anything: the stored bytes
// are one UTF-16LE text and its terminator, and the library's conversion of it to the
// code set (GetValueString) reads back as exactly those characters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "code_set.h"
#include "vesk/hive.hpp"

namespace vesk::dump {

// The characters of `bytes` when they are UTF-16LE text ending in its only zero unit,
// with no control character and no unpaired surrogate; none for any other bytes (odd
// length, no terminator, data after a zero unit, and so on).
std::optional<std::u32string> printable_text(const std::vector<std::uint8_t>& bytes);

// The value's text from GetValueString when `bytes` (its stored data) are printable text
// and the text decodes in `code_set` to exactly those characters; none otherwise.
std::optional<std::string> shown_text(Value& value, const std::vector<std::uint8_t>& bytes,
                                      const CodeSet& code_set);

}  // namespace vesk::dump
