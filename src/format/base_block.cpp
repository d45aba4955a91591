// Applies the base-block rules in their fixed order and names the first one broken.
#include "base_block.h"

#include "byte_order.h"
#include "layout.h"

namespace vesk::format {

BaseBlockVerdict check_base_block(const unsigned char* block, std::int32_t file_size) {
  if (file_size < kBaseBlockBytes) return BaseBlockVerdict::kTooShort;
  if (load_le32(block + kBaseSignatureAt) != kSigRegf) return BaseBlockVerdict::kBadSignature;
  if (load_le32(block + kBasePrimarySequenceAt) != load_le32(block + kBaseSecondarySequenceAt))
    return BaseBlockVerdict::kSequenceMismatch;
  if (load_le32(block + kBaseMajorVersionAt) != kBaseMajorVersion)
    return BaseBlockVerdict::kBadMajorVersion;
  if (load_le32(block + kBaseMinorVersionAt) != kBaseMinorVersion)
    return BaseBlockVerdict::kBadMinorVersion;
  if (load_le32(block + kBaseFileTypeAt) != kBaseFileType) return BaseBlockVerdict::kBadFileType;
  if (load_le32(block + kBaseFileFormatAt) != kBaseFileFormat)
    return BaseBlockVerdict::kBadFileFormat;
  if (load_le32(block + kBaseClusteringAt) != kBaseClustering)
    return BaseBlockVerdict::kBadClustering;
  return BaseBlockVerdict::kAccepted;
}

std::uint32_t base_block_checksum(const unsigned char* block) {
  std::uint32_t sum = 0;
  for (std::uint32_t at = 0; at < kBaseChecksumAt; at += 4) sum ^= load_le32(block + at);
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFF) return 0xFFFFFFFE;
  return sum;
}

}  // namespace vesk::format
