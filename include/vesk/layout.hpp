// vesk/layout.hpp: every offset, signature, size and limit of the hive format that the
// library reads, installed so that hosts, the refusal rules (vesk/base_block.hpp) and the
// library share one statement of them. Signatures are little-endian integers, as they
// come out of a 16- or 32-bit read. Nothing here touches a file.
#ifndef VESK_LAYOUT_HPP
#define VESK_LAYOUT_HPP

#include <cstdint>

namespace vesk::format {

// Base block, offsets from the start of the file:
//    0  4  signature "regf"
//    4  4  primary sequence number      must equal the secondary
//    8  4  secondary sequence number
//   12  8  last-written timestamp
//   20  4  major version                must be 1
//   24  4  minor version                must be 3
//   28  4  file type                    must be 0
//   32  4  file format                  must be 1
//   36  4  root cell offset             copied, not used
//   40  4  size of the hive bins data
//   44  4  clustering factor            must be 1
//   48 464 file name, reserved, checksum at 508 (never verified)
inline constexpr std::uint32_t kSigRegf = 0x66676572;
inline constexpr std::uint32_t kBaseSignatureAt = 0;
inline constexpr std::uint32_t kBasePrimarySequenceAt = 4;
inline constexpr std::uint32_t kBaseSecondarySequenceAt = 8;
inline constexpr std::uint32_t kBaseMajorVersionAt = 20;
inline constexpr std::uint32_t kBaseMinorVersionAt = 24;
inline constexpr std::uint32_t kBaseFileTypeAt = 28;
inline constexpr std::uint32_t kBaseFileFormatAt = 32;
inline constexpr std::uint32_t kBaseRootCellAt = 36;
inline constexpr std::uint32_t kBaseBinsSizeAt = 40;
inline constexpr std::uint32_t kBaseClusteringAt = 44;
inline constexpr std::uint32_t kBaseChecksumAt = 508;
inline constexpr std::int32_t kBaseCopiedBytes = 512;
inline constexpr std::int32_t kBaseBlockBytes = 4096;
inline constexpr std::uint32_t kBaseMajorVersion = 1;
inline constexpr std::uint32_t kBaseMinorVersion = 3;
inline constexpr std::uint32_t kBaseFileType = 0;
inline constexpr std::uint32_t kBaseFileFormat = 1;
inline constexpr std::uint32_t kBaseClustering = 1;
// Read only by the transaction-log recovery (vesk/transaction_logs.hpp), not the library.
inline constexpr std::uint32_t kBaseTimestampAt = 12;  // last-written timestamp, 8 bytes
inline constexpr std::uint32_t kBaseFlagsAt = 144;     // bit 0 travels with log entries

// Bin header, offsets from the start of the bin:
//    0  4  signature "hbin"
//    4  4  offset of this bin from the first bin (the root search steps by this)
//    8  4  size of this bin (never read)
//   32     first cell (its size field); contents at 36
inline constexpr std::uint32_t kSigHbin = 0x6E696268;
inline constexpr std::uint32_t kFirstBinAt = 4096;
inline constexpr std::uint32_t kBinOffsetAt = 4;
inline constexpr std::uint32_t kBinSizeAt = 8;
inline constexpr std::uint32_t kBinHeaderBytes = 32;
inline constexpr std::uint32_t kBinFirstCellContentsAt = 36;
// The first bin's copy of the base block's timestamp (recovery falls back on it).
inline constexpr std::uint32_t kBinTimestampAt = 20;

// Cells: a signed 32-bit size, then the contents. Cell offsets count from the first
// bin and point at the size field.
inline constexpr std::uint32_t kCellSizeBytes = 4;
inline constexpr std::uint32_t kCellContentBias = kFirstBinAt + kCellSizeBytes;  // 4100
inline constexpr std::uint32_t kNoCell = 0xFFFFFFFF;

// Unsigned and wrapping on purpose: the "no cell" value lands at 4099, inside the
// first bin header, exactly where the format's arithmetic puts it.
constexpr std::uint32_t cell_contents(std::uint32_t cell) { return cell + kCellContentBias; }

// Key node ("nk"), offsets from the start of the cell contents:
//    0  2  signature              20  4  number of subkeys      44  4  security cell
//    2  2  flags (root: 0x2C)     24  4  volatile subkeys       48  4  class name cell
//    4  8  last-written time      28  4  subkey list cell       52 16  four largest sizes
//   12  4  access bits            32  4  volatile list cell     68  4  work variable
//   16  4  parent cell            36  4  number of values       72  2  name length
//                                 40  4  value list cell        74  2  class name length
//   76     name
inline constexpr std::uint16_t kSigNk = 0x6B6E;
inline constexpr std::uint32_t kNkSignatureAt = 0;
inline constexpr std::uint32_t kNkFlagsAt = 2;
inline constexpr std::uint32_t kNkParentAt = 16;
inline constexpr std::uint32_t kNkSubkeyCountAt = 20;
inline constexpr std::uint32_t kNkSubkeyListAt = 28;
inline constexpr std::uint32_t kNkValueCountAt = 36;
inline constexpr std::uint32_t kNkValueListAt = 40;
inline constexpr std::uint32_t kNkNameLengthAt = 72;
inline constexpr std::uint32_t kNkNameAt = 76;
inline constexpr std::int32_t kNkCopiedBytes = 76;
inline constexpr std::uint16_t kNkHiveEntryFlag = 0x04;
inline constexpr std::uint16_t kNkNoDeleteFlag = 0x08;
inline constexpr std::uint16_t kNkCompressedNameFlag = 0x20;
inline constexpr std::uint16_t kNkRootFlags =
    kNkHiveEntryFlag | kNkNoDeleteFlag | kNkCompressedNameFlag;  // 0x2C, compared exactly

// Subkey list ("lf"), offsets from the start of the cell contents:
//    0  2  signature
//    2  2  number of elements
//    4     elements of 8 bytes: subkey cell offset, then a 4-byte name hint
inline constexpr std::uint16_t kSigLf = 0x666C;
inline constexpr std::uint32_t kLfCountAt = 2;
inline constexpr std::uint32_t kLfElementsAt = 4;
inline constexpr std::uint32_t kLfElementBytes = 8;
inline constexpr std::uint32_t kLfHintAt = 4;  // within an element
inline constexpr std::int32_t kLfHintBytes = 4;
inline constexpr std::int32_t kLfHeaderBytes = 4;  // signature and count, read as one
// The other lists a hive may hold in a key's place for one, which the library does not follow.
inline constexpr std::uint16_t kSigLh = 0x686C;
inline constexpr std::uint16_t kSigLi = 0x696C;
inline constexpr std::uint16_t kSigRi = 0x6972;

// Value list: 32-bit value cell offsets, one per value, no header.
inline constexpr std::uint32_t kValueListElementBytes = 4;

// Value node ("vk"), offsets from the start of the cell contents:
//    0  2  signature
//    2  2  name length in bytes
//    4  4  data size; bit 31 set: data is inline in the next field
//    8  4  data cell offset, or the inline data
//   12  4  data type (never interpreted)
//   16  2  flags; bit 0 set: the name is 8-bit text
//   18  2  spare
//   20     name
inline constexpr std::uint16_t kSigVk = 0x6B76;
inline constexpr std::uint32_t kVkNameLengthAt = 2;
inline constexpr std::uint32_t kVkDataSizeAt = 4;
inline constexpr std::uint32_t kVkDataAt = 8;
inline constexpr std::uint32_t kVkTypeAt = 12;
inline constexpr std::uint32_t kVkFlagsAt = 16;
inline constexpr std::uint32_t kVkNameAt = 20;
inline constexpr std::int32_t kVkCopiedBytes = 18;
inline constexpr std::uint32_t kVkInlineFlag = 0x80000000;
inline constexpr std::uint16_t kVkCompressedNameFlag = 0x0001;
inline constexpr std::int32_t kVkInlineMaxBytes = 4;

// Caps against absurd input.

// The root search ends after the first bin of every well-formed hive (its offset
// field is 0). A crafted file can chain "bins" in steps of a few bytes through a large
// file; 4096 steps cost a few milliseconds and no real hive takes a second one.
inline constexpr std::int32_t kRootSearchMaxBins = 4096;

// Text never outlives the result area, so a string value's data is read no further
// than it could reach: 63999 characters, each at most a surrogate pair of 4 bytes.
inline constexpr std::int32_t kStringReadMaxBytes = 256000;

}  // namespace vesk::format

#endif  // VESK_LAYOUT_HPP
