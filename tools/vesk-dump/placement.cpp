// Where cells and lists lie: the arithmetic is vesk/cell_checks.hpp's, which hosts
// reading through hive.hpp share, so that they judge a damaged hive as the walk does.
#include "placement.h"

#include "vesk/cell_checks.hpp"

namespace vesk::dump {
namespace {

checks::Extent shared(const Extent& extent) { return {extent.file_size, extent.hive_end}; }

}  // namespace

Extent extent_of(const HiveHandle& hive) {
  const checks::Extent e = checks::extent_of(hive);
  return {e.file_size, e.hive_end};
}

Place place_cell(const Extent& extent, std::uint32_t at, std::uint64_t bytes) {
  switch (checks::place_cell(shared(extent), at, bytes)) {
    case checks::Place::in_file: return Place::kInFile;
    case checks::Place::past_end: return Place::kPastEnd;
    case checks::Place::no_cell: break;
  }
  return Place::kNoCell;
}

std::uint32_t elements_in_file(const Extent& extent, std::uint32_t at,
                               std::uint32_t header_bytes, std::uint32_t element_bytes) {
  return checks::elements_in_file(shared(extent), at, header_bytes, element_bytes);
}

}  // namespace vesk::dump
