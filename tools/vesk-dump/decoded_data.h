// Value data read as what its type says it holds: the characters of string data, the
// strings of a multi-string, the number of a DWORD or QWORD. Decoded from the stored
// bytes alone, never through the locale, so every writer and every locale agree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::dump {

// The characters of stored UTF-16LE string data: the units up to the first zero unit,
// or all of them when none is zero (unterminated data). An odd last byte is no unit and
// is left out; a surrogate without its partner becomes U+FFFD.
std::u32string decoded_text(const std::vector<std::uint8_t>& bytes);

// The strings of multi-string data: zero-terminated UTF-16LE strings, ended by an empty
// one or by the end of the data (an unterminated last string counts). Units are read
// as decoded_text reads them.
std::vector<std::u32string> decoded_strings(const std::vector<std::uint8_t>& bytes);

// The characters of `bytes` when they are UTF-16LE text ending in its only zero unit,
// with no control character and no unpaired surrogate; none for any other bytes (odd
// length, no terminator, data after a zero unit, and so on). The text a writer may show
// quoted, knowing that it stands for exactly these bytes.
std::optional<std::u32string> printable_text(const std::vector<std::uint8_t>& bytes);

// True when `bytes` are exactly `strings` laid out as a multi-string: each string and
// its zero unit, then the closing zero unit, which may be missing.
bool is_exact_multi_string(const std::vector<std::uint8_t>& bytes,
                           const std::vector<std::u32string>& strings);

// The number of REG_DWORD and REG_DWORD_BIG_ENDIAN data of 4 bytes and of REG_QWORD
// data of 8 bytes; none for other types and other lengths.
std::optional<std::uint64_t> decoded_number(std::uint32_t type,
                                            const std::vector<std::uint8_t>& bytes);

}  // namespace vesk::dump
