// Subkey lists: locating a key's list and taking its elements by index. Elements are
// read as 8-byte pairs whatever the list's signature; only "lf" counts as subkeys.
#include <cstddef>

#include "byte_order.h"
#include "frame/files.h"
#include "frame/result_area.h"
#include "hive/hive_file.h"
#include "layout.h"
#include "vesk_10.h"

static_assert(offsetof(KeyListRecord, signature) == 4, "list header image starts at 4");
static_assert(sizeof(KeyListRecord) - offsetof(KeyListRecord, signature) ==
                  vesk::format::kLfHeaderBytes,
              "signature and count are read as one");

extern "C" std::int32_t VESK_CALL GetSubKeyList(HiveHandle* hive, const KeyRecord* key,
                                                KeyListRecord* list) noexcept {
  using namespace vesk;
  using namespace vesk::hive;
  using namespace vesk::format;
  if (key == nullptr || list == nullptr || !select_hive(hive)) return 0;
  // Filled whatever the key's subkey count: a key without subkeys (list 0xFFFFFFFF)
  // lands inside the first bin header, where no "lf" stands.
  list->offset = cell_contents(key->subkey_list);
  frame::seek(list->offset);
  frame::read_bytes(&list->signature, kLfHeaderBytes);
  return list->signature == kSigLf ? list->count : 0;
}

extern "C" std::int32_t VESK_CALL CountKeyList(const KeyListRecord* list) noexcept {
  return list == nullptr ? 0 : list->count;
}

extern "C" const char* VESK_CALL GetSubKey(HiveHandle* hive, const KeyListRecord* list,
                                           std::int32_t index, KeyRecord* subkey) noexcept {
  using namespace vesk;
  using namespace vesk::hive;
  using namespace vesk::format;
  if (list == nullptr || subkey == nullptr || index < 0 || index >= list->count ||
      !select_hive(hive)) {
    return frame::return_empty();
  }
  unsigned char element[kLfElementBytes] = {};
  frame::seek(list->offset + kLfElementsAt + kLfElementBytes * static_cast<std::uint32_t>(index));
  frame::read_bytes(element, kLfElementBytes);
  subkey->offset = cell_contents(format::load_le32(element));
  frame::seek(subkey->offset);
  frame::read_bytes(&subkey->signature, kNkCopiedBytes);
  return frame::return_bounded(reinterpret_cast<const char*>(element + kLfHintAt), kLfHintBytes);
}
