// Keys: finding the root, the record-only counts, and key names. Also the fixed-length
// text reader that key and value names share.
#include <cstddef>

#include "frame/files.h"
#include "frame/result_area.h"
#include "hive/hive_file.h"
#include "layout.h"
#include "vesk_10.h"

static_assert(offsetof(KeyRecord, signature) == 4, "node image starts at 4");
static_assert(offsetof(KeyRecord, subkey_count) == 4 + vesk::format::kNkSubkeyCountAt, "");
static_assert(offsetof(KeyRecord, subkey_list) == 4 + vesk::format::kNkSubkeyListAt, "");
static_assert(offsetof(KeyRecord, value_count) == 4 + vesk::format::kNkValueCountAt, "");
static_assert(offsetof(KeyRecord, value_list) == 4 + vesk::format::kNkValueListAt, "");
static_assert(offsetof(KeyRecord, name_length) == 4 + vesk::format::kNkNameLengthAt, "");
static_assert(sizeof(KeyRecord) - offsetof(KeyRecord, signature) == vesk::format::kNkCopiedBytes,
              "the record holds exactly the copied front of the node");

namespace vesk::hive {

const char* read_fixed_text(std::uint32_t at, std::int32_t length) {
  if (length < 0) return frame::return_empty();
  frame::SpaceBuffer buffer(length);
  if (buffer.data() == nullptr) return frame::return_empty();
  frame::seek(at);
  frame::read_bytes(buffer.data(), length);
  return frame::return_text(buffer.data());
}

}  // namespace vesk::hive

extern "C" std::int32_t VESK_CALL SearchRootKey(HiveHandle* hive, KeyRecord* key) noexcept {
  using namespace vesk;
  using namespace vesk::hive;
  using namespace vesk::format;
  if (key == nullptr || !select_hive(hive)) return 0;
  // Bins are visited by their offset fields. The walk only ever moves forward and stays
  // inside the file, so a crafted chain that wraps or points back cannot keep it going.
  const auto size = static_cast<std::uint32_t>(hive->file_size < 0 ? 0 : hive->file_size);
  std::uint32_t p = kFirstBinAt;
  for (std::int32_t bins = 0; bins < kRootSearchMaxBins; ++bins) {
    frame::seek(p);
    if (frame::read_u32() != kSigHbin) return 0;
    const std::uint32_t step = frame::read_u32();
    const std::uint32_t cell = p + kBinFirstCellContentsAt;
    frame::seek(cell);
    if (static_cast<std::uint16_t>(frame::read_i16()) == kSigNk &&
        static_cast<std::uint16_t>(frame::read_i16()) == kNkRootFlags) {
      key->offset = cell;
      frame::seek(cell);
      frame::read_bytes(&key->signature, kNkCopiedBytes);
      return 1;
    }
    if (step == 0 || step > size || p > size - step) return 0;
    p += step;
  }
  return 0;
}

extern "C" std::int32_t VESK_CALL CountSubKeys(const KeyRecord* key) noexcept {
  return key == nullptr ? 0 : key->subkey_count;
}

extern "C" std::int32_t VESK_CALL CountValues(const KeyRecord* key) noexcept {
  return key == nullptr ? 0 : key->value_count;
}

extern "C" const char* VESK_CALL GetRegKeyName(HiveHandle* hive, const KeyRecord* key) noexcept {
  using namespace vesk;
  using namespace vesk::hive;
  using namespace vesk::format;
  if (key == nullptr || !select_hive(hive)) return frame::return_empty();
  return read_fixed_text(key->offset + kNkNameAt, signed_length(key->name_length));
}
