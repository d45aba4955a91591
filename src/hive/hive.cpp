// OpenRegistryFile and CloseRegistryFile: the hive handle's whole life. A handle is
// either open with a validated base block or gone; no half-open handle escapes.
#include <cstddef>

#include "frame/files.h"
#include "frame/platform.h"
#include "base_block.h"
#include "layout.h"
#include "vesk_10.h"

static_assert(offsetof(HiveHandle, base_block) == 8, "base block follows file and size");

extern "C" HiveHandle* VESK_CALL OpenRegistryFile(const char* path) noexcept {
  using namespace vesk;
  auto* hive = static_cast<HiveHandle*>(platform::alloc_zeroed(sizeof(HiveHandle)));
  if (hive == nullptr) return nullptr;
  hive->file = frame::open_file(path);
  if (hive->file != 0) {
    hive->file_size = frame::file_size();
    if (hive->file_size >= format::kBaseBlockBytes) {
      frame::select_file(hive->file);
      frame::seek(0);
      frame::read_bytes(&hive->base_block, format::kBaseCopiedBytes);
      if (format::accepts_base_block(reinterpret_cast<const unsigned char*>(&hive->base_block),
                                     hive->file_size)) {
        return hive;
      }
    }
  }
  CloseRegistryFile(hive);
  return nullptr;
}

extern "C" std::int32_t VESK_CALL CloseRegistryFile(HiveHandle* hive) noexcept {
  using namespace vesk;
  if (hive == nullptr) return 0;
  if (hive->file != 0) frame::close_file(hive->file);
  platform::release(hive);
  return 0;
}
