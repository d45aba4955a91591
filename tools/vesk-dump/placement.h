// Where a structure the walk is about to follow lies in the file, judged only from the
// offsets and sizes the library's records hold, the file's size and the hive size its base
// block declares. Nothing here reads the file: the walk asks before it trusts a record.
#pragma once

#include <cstdint>

#include "vesk_10.h"

namespace vesk::dump {

struct Extent {
  std::uint32_t file_size;  // as the library sees it
  std::uint64_t hive_end;   // 4096 plus the hive bins size the base block declares
  // A file shorter than its base block says was cut: what lies between its end and
  // hive_end is missing, not damaged.
  bool cut() const { return file_size < hive_end; }
};

// The extent of the hive a handle holds. A hive bins size that is no multiple of 4096
// is itself damage, and says nothing of where the hive ends: the file's end is taken.
Extent extent_of(const HiveHandle& hive);

enum class Place {
  kInFile,   // the whole structure lies inside the file
  kPastEnd,  // it would lie in the part of the hive a cut file lost
  kNoCell,   // no cell can be there: before the first cell, off the 8-byte grid, or
             // beyond both the file and the hive
};

// Where `bytes` bytes of cell contents starting at file offset `at` lie. Cells are
// 8-aligned from the first bin, so their contents start 4 bytes past a multiple of 8.
Place place_cell(const Extent& extent, std::uint32_t at, std::uint64_t bytes);

// How many elements of `element_bytes` each, starting `header_bytes` after file offset
// `at`, lie inside the file (0 when the header itself does not).
std::uint32_t elements_in_file(const Extent& extent, std::uint32_t at,
                               std::uint32_t header_bytes, std::uint32_t element_bytes);

}  // namespace vesk::dump
