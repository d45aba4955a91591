// Value data: its length, raw bytes, a 32-bit number, or UTF-16LE text converted to
// the 8-bit code page. Data of 4 bytes or fewer sits in the record and is never read.
// The data type is never consulted; the host picks the call that suits it.
#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "frame/files.h"
#include "frame/platform.h"
#include "frame/result_area.h"
#include "hive/hive_file.h"
#include "layout.h"
#include "vesk_10.h"

namespace {

using namespace vesk;
using namespace vesk::hive;
using namespace vesk::format;

std::int32_t clear_inline_flag(ValueRecord* value) {
  if (static_cast<std::int32_t>(value->data_size) < 0) value->data_size &= ~kVkInlineFlag;
  return static_cast<std::int32_t>(value->data_size);
}

// Room for a whole zero unit after the file's last byte, whether the data before it
// ends on an odd or an even position.
constexpr std::int32_t kPastTheFileBytes = 4;

// Releases a temporary block when the call returns.
struct Temporary {
  void* block;
  ~Temporary() { platform::release(block); }
};

}  // namespace

extern "C" std::int32_t VESK_CALL GetValueDataLength(HiveHandle* /*hive*/,
                                                     ValueRecord* value) noexcept {
  return value == nullptr ? 0 : clear_inline_flag(value);
}

extern "C" std::int32_t VESK_CALL GetValueData(HiveHandle* hive, const ValueRecord* value,
                                               void* buffer) noexcept {
  if (value == nullptr || buffer == nullptr) return 0;
  // Also true of every size whose inline bit is still set: it reads as negative.
  const auto size = static_cast<std::int32_t>(value->data_size);
  if (size <= kVkInlineMaxBytes || !select_hive(hive)) return 0;
  frame::seek(cell_contents(value->data_offset));
  frame::read_bytes(buffer, size);
  return 1;
}

extern "C" std::uint32_t VESK_CALL GetValueDword(HiveHandle* hive,
                                                 const ValueRecord* value) noexcept {
  if (value == nullptr) return 0;
  // Inline data comes whole, bytes past a short value's length included.
  if (static_cast<std::int32_t>(value->data_size) <= kVkInlineMaxBytes) return value->data_offset;
  if (!select_hive(hive)) return 0;
  frame::seek(cell_contents(value->data_offset));
  return frame::read_u32();
}

extern "C" const char* VESK_CALL GetValueString(HiveHandle* hive, ValueRecord* value) noexcept {
  if (value == nullptr) return frame::return_empty();
  const std::int32_t size = clear_inline_flag(value);

  // The text can never be longer than the result area, and no character takes more
  // than 4 bytes of data, so a corrupt size is read no further than that reach.
  alignas(char16_t) unsigned char inline_bytes[kVkInlineMaxBytes] = {};
  unsigned char* source = inline_bytes;
  std::int32_t available = size;
  Temporary temporary{nullptr};
  if (size <= kVkInlineMaxBytes) {
    std::memcpy(inline_bytes, &value->data_offset, kVkInlineMaxBytes);
  } else {
    if (!select_hive(hive)) return frame::return_empty();
    available = std::min(size, kStringReadMaxBytes);
    // The read brings no more than the file holds from where it starts (from the data
    // when that lies inside the file, else from elsewhere or nowhere), and the zero unit
    // after what it brings ends the text. Past one whole zero unit beyond the file's end
    // nothing can change the result, so a corrupt size costs no more than the file. The
    // size is the one taken at open, as the root search takes it: no extra system call.
    const std::uint32_t at = cell_contents(value->data_offset);
    if (hive->file_size >= 0) {
      const auto end = static_cast<std::uint32_t>(hive->file_size);
      const auto reach = static_cast<std::int32_t>(at < end ? end - at : end);
      if (reach < available - kPastTheFileBytes) available = reach + kPastTheFileBytes;
    }
    temporary.block = platform::alloc_zeroed(available);
    if (temporary.block == nullptr) return frame::return_empty();
    source = static_cast<unsigned char*>(temporary.block);
    frame::seek(at);
    frame::read_bytes(source, available);  // what the file lacks stays zero
  }

  // In place: unit i is assembled from bytes 2i and 2i+1 before it is stored over them.
  // Nothing past the first zero unit is ever shown, so the work stops there.
  auto* units = reinterpret_cast<char16_t*>(source);
  const std::int32_t unit_count = available / 2;
  std::int32_t converted = unit_count;
  for (std::int32_t i = 0; i < unit_count; ++i) {
    units[i] = static_cast<char16_t>(format::load_le16(source + 2 * i));
    if (units[i] == 0) {
      converted = i;
      break;
    }
  }
  const bool terminated = converted < unit_count;

  // A terminated text ends at its zero unit. Otherwise the characters are followed by
  // the spaces they did not overwrite in a buffer of the data's size; in a multi-byte
  // code set the buffer grows to hold the whole conversion rather than lose any of it.
  const std::int32_t needed = platform::utf16_to_code_page(units, converted, nullptr, 0);
  const std::int32_t length =
      std::min(terminated ? needed : std::max(size, needed), frame::kResultTextMaxBytes);
  frame::SpaceBuffer buffer(length);
  if (buffer.data() == nullptr) return frame::return_empty();
  platform::utf16_to_code_page(units, converted, buffer.data(), length);
  return frame::return_text(buffer.data());
}
