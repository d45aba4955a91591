// The library's use of the base-block rules (stated once, installed, in
// vesk/base_block.hpp), and the checksum a tool that writes a base block must store.
#pragma once

#include <cstdint>

namespace vesk::format {

// Whether a file of `file_size` bytes (a negative size counts as too short) whose first
// 512 bytes are `block` passes every base-block rule.
bool accepts_base_block(const unsigned char* block, std::int32_t file_size);

// The checksum a base block stores at 508: its first 127 little-endian words XORed, with
// 0 and 0xFFFFFFFF (which Windows reserves) moved to 1 and 0xFFFFFFFE. The library never
// checks it; a tool that writes a base block must get it right.
std::uint32_t base_block_checksum(const unsigned char* block);

}  // namespace vesk::format
