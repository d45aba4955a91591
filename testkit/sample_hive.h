// A small valid hive with one of every cell the library reads, and the file position of
// each offset field in it, so that a crafted-file test or a fuzz seed breaks exactly one;
// and what single reads of a file image give, for stating expected records and texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hive_builder.h"

namespace vesk::test {

// ROOT holds Number (inline DWORD 7) and Text ("hello" in a data cell), and the subkeys
// Alpha (value Blob: 8 bytes in a data cell) and Beta, which holds Gamma. One bin.
struct SampleHive {
  Bytes bytes;
  KeyRef root, alpha, beta, gamma;
  ValueRef number, text, blob;
  Placed root_list;    // ROOT's lf list: Alpha, Beta
  Placed root_values;  // ROOT's value list: Number, Text
};

SampleHive make_sample_hive();

// One place in the sample where the library reads a cell offset from the file.
struct OffsetField {
  const char* name;
  std::uint32_t at;
};

// ROOT's subkey list cell, its lf list's first element, ROOT's value list cell, the
// value list's element for Text, and Text's data cell.
std::vector<OffsetField> offset_fields(const SampleHive& sample);

// File offsets at which a cell starts (its size field), in every bin, in file order.
// A walk by the bins' size fields and the cells' sizes, for well-formed images only.
std::vector<std::uint32_t> cell_starts(const Bytes& hive);

// The n bytes a single read at `at` leaves in a record filled with `fill`: the file's
// bytes up to its end, and `fill` where the file has none.
std::vector<unsigned char> file_read(const Bytes& file, std::uint32_t at, std::size_t n,
                                     unsigned char fill);

// The text of a name of `length` bytes at `at`: the file's bytes up to the first zero,
// spaces where the file ends first; a negative length is an empty text.
std::string file_text(const Bytes& file, std::uint32_t at, std::int32_t length);

// The 32-bit little-endian value at `at`, bytes past the end counting as zero.
std::uint32_t file_u32(const Bytes& file, std::uint32_t at);

}  // namespace vesk::test
