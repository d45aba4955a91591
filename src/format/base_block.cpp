// The base-block rules as the library applies them, and the checksum.
#include "base_block.h"

#include "vesk/base_block.hpp"
#include "vesk/byte_order.hpp"
#include "vesk/layout.hpp"

namespace vesk::format {

bool accepts_base_block(const unsigned char* block, std::int32_t file_size) {
  return !base_block::judge_base_block(block, file_size).has_value();
}

std::uint32_t base_block_checksum(const unsigned char* block) {
  std::uint32_t sum = 0;
  for (std::uint32_t at = 0; at < kBaseChecksumAt; at += 4) sum ^= load_le32(block + at);
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  return sum;
}

}  // namespace vesk::format
