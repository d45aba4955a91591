// The result area and its cursor. place() is the one function that writes into the
// area; every text result goes through it and its bound.
#include "frame/result_area.h"

#include <cstring>

#include "frame/platform.h"

namespace vesk::frame {
namespace {

char* g_area = nullptr;
std::int32_t g_cursor = 0;  // always inside the area, so a NUL can be stored there

// Without an area (it could not be allocated) every text is this empty one.
char g_no_area[1] = {0};

const char* place(const char* src, std::int32_t length) {
  if (g_area == nullptr) return g_no_area;
  if (length > kResultTextMaxBytes) length = kResultTextMaxBytes;
  // Never write past the end: a text that does not fit starts over at the front. The
  // previous result may be overwritten, which the host's contract allows.
  if (length > kResultAreaBytes - 1 - g_cursor) g_cursor = 0;
  char* start = g_area + g_cursor;
  if (length > 0) std::memcpy(start, src, static_cast<std::size_t>(length));
  start[length] = '\0';
  g_cursor += length;
  return start;
}

}  // namespace

void create_result_area() {
  if (g_area != nullptr) return;
  g_area = static_cast<char*>(platform::alloc_zeroed(kResultAreaBytes));
  g_cursor = 0;
}

void release_result_area() {
  platform::release(g_area);
  g_area = nullptr;
  g_cursor = 0;
}

const char* return_text(const char* src) {
  if (src == nullptr) return return_empty();
  return place(src, static_cast<std::int32_t>(std::strlen(src)));
}

const char* return_empty() { return place(nullptr, 0); }

const char* return_bounded(const char* src, std::int32_t max_bytes) {
  if (src == nullptr || max_bytes <= 0) return return_empty();
  const void* nul = std::memchr(src, 0, static_cast<std::size_t>(max_bytes));
  const std::int32_t length =
      nul == nullptr ? max_bytes : static_cast<std::int32_t>(static_cast<const char*>(nul) - src);
  return place(src, length);
}

SpaceBuffer::SpaceBuffer(std::int32_t length) {
  // length + 1 must not overflow; such a length is never a real text anyway.
  if (length < 0 || length == INT32_MAX) return;
  data_ = static_cast<char*>(platform::alloc_zeroed(length + 1));
  if (data_ == nullptr) return;
  std::memset(data_, ' ', static_cast<std::size_t>(length));
  length_ = length;
}

SpaceBuffer::~SpaceBuffer() { platform::release(data_); }

}  // namespace vesk::frame
