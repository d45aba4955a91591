// Where cells and lists lie: the arithmetic of the walk's checks, in 64 bits so that no
// offset plus size wraps.
#include "placement.h"

#include "layout.h"

namespace vesk::dump {

using namespace vesk::format;

Extent extent_of(const HiveHandle& hive) {
  const auto file_size = static_cast<std::uint32_t>(hive.file_size);
  const std::uint32_t bins = hive.base_block.hive_bins_size;
  const bool plausible = bins % kBaseBlockBytes == 0;
  return {file_size, plausible ? kFirstBinAt + std::uint64_t{bins} : file_size};
}

Place place_cell(const Extent& extent, std::uint32_t at, std::uint64_t bytes) {
  if (at < kFirstBinAt + kBinFirstCellContentsAt || (at & 7) != kCellSizeBytes) {
    return Place::kNoCell;
  }
  const std::uint64_t end = std::uint64_t{at} + bytes;
  if (end <= extent.file_size) return Place::kInFile;
  if (extent.cut() && end <= extent.hive_end) return Place::kPastEnd;
  return Place::kNoCell;
}

std::uint32_t elements_in_file(const Extent& extent, std::uint32_t at,
                               std::uint32_t header_bytes, std::uint32_t element_bytes) {
  const std::uint64_t first = std::uint64_t{at} + header_bytes;
  if (first > extent.file_size) return 0;
  const std::uint64_t n = (extent.file_size - first) / element_bytes;
  return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

}  // namespace vesk::dump
