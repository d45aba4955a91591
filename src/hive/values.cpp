// Values: the list taken from a key record, each value's fixed part, name and type.
// No signature is tested: the cell reached is taken to be a value node.
#include <cstddef>

#include "frame/files.h"
#include "frame/result_area.h"
#include "hive/hive_file.h"
#include "layout.h"
#include "vesk_10.h"

static_assert(offsetof(ValueRecord, signature) == 4, "node image starts at 4");
static_assert(offsetof(ValueRecord, name_length) == 4 + vesk::format::kVkNameLengthAt, "");
static_assert(offsetof(ValueRecord, data_size) == 4 + vesk::format::kVkDataSizeAt, "");
static_assert(offsetof(ValueRecord, data_offset) == 4 + vesk::format::kVkDataAt, "");
static_assert(offsetof(ValueRecord, data_type) == 4 + vesk::format::kVkTypeAt, "");
static_assert(offsetof(ValueRecord, flags) == 4 + vesk::format::kVkFlagsAt, "");
static_assert(sizeof(ValueRecord) - offsetof(ValueRecord, signature) ==
                  vesk::format::kVkCopiedBytes,
              "the record holds exactly the copied front of the node");

namespace {
constexpr char kDefaultValueName[] = "{default}";
}

extern "C" std::int32_t VESK_CALL GetValueList(HiveHandle* /*hive*/, const KeyRecord* key,
                                               ValueListRecord* list) noexcept {
  using namespace vesk::hive;
  using namespace vesk::format;
  if (key == nullptr || list == nullptr) return 0;
  if (key->value_count == 0 || key->value_list == kNoCell) return 0;
  list->count = key->value_count;
  list->offset = cell_contents(key->value_list);
  return list->count;
}

extern "C" std::int32_t VESK_CALL GetValue(HiveHandle* hive, const ValueListRecord* list,
                                           std::int32_t index, ValueRecord* value) noexcept {
  using namespace vesk;
  using namespace vesk::hive;
  using namespace vesk::format;
  if (list == nullptr || value == nullptr || index < 0 || index >= list->count ||
      !select_hive(hive)) {
    return 0;
  }
  frame::seek(list->offset + kValueListElementBytes * static_cast<std::uint32_t>(index));
  value->offset = cell_contents(frame::read_u32());
  frame::seek(value->offset);
  frame::read_bytes(&value->signature, kVkCopiedBytes);
  return static_cast<std::int32_t>(value->data_type);
}

extern "C" const char* VESK_CALL GetValueName(HiveHandle* hive, const ValueRecord* value) noexcept {
  using namespace vesk;
  using namespace vesk::hive;
  using namespace vesk::format;
  if (value == nullptr) return frame::return_empty();
  if ((value->flags & kVkCompressedNameFlag) == 0) return frame::return_text(kDefaultValueName);
  if (!select_hive(hive)) return frame::return_empty();
  return read_fixed_text(value->offset + kVkNameAt, signed_length(value->name_length));
}

extern "C" std::int32_t VESK_CALL GetValueType(HiveHandle* /*hive*/,
                                               const ValueRecord* value) noexcept {
  return value == nullptr ? 0 : static_cast<std::int32_t>(value->data_type);
}
