// The base-block rules that decide whether a file is a hive this library reads.
// Shared by OpenRegistryFile and by tools that must say why a file was refused.
#pragma once

#include <cstdint>

namespace vesk::format {

// The first rule a file breaks, in the order the rules are applied.
enum class BaseBlockVerdict {
  kAccepted,
  kTooShort,           // fewer than 4096 bytes
  kBadSignature,       // no "regf"
  kSequenceMismatch,   // primary and secondary sequence numbers differ
  kBadMajorVersion,
  kBadMinorVersion,
  kBadFileType,
  kBadFileFormat,
  kBadClustering,
};

// Judges the first 512 bytes of a file of `file_size` bytes (a negative size counts as
// too short). `block` must hold 512 bytes.
BaseBlockVerdict check_base_block(const unsigned char* block, std::int32_t file_size);

// The checksum a base block stores at 508: its first 127 little-endian words XORed, with
// 0 and 0xFFFFFFFF (which Windows reserves) moved to 1 and 0xFFFFFFFE. The library never
// checks it; a tool that writes a base block must get it right.
std::uint32_t base_block_checksum(const unsigned char* block);

}  // namespace vesk::format
