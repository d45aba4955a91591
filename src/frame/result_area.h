// The result area: one process-wide block of 64000 bytes through which every text
// result reaches the host, and the temporary space-filled buffers that feed it.
// A result stays intact until the next text-returning call; nothing writes outside.
#pragma once

#include <cstdint>

namespace vesk::frame {

inline constexpr std::int32_t kResultAreaBytes = 64000;
// The longest text a result can hold: the whole area less its terminating NUL.
inline constexpr std::int32_t kResultTextMaxBytes = kResultAreaBytes - 1;

void create_result_area();
void release_result_area();

// Copies `src` through its first zero byte to the cursor and moves the cursor onto the
// copied NUL; returns where the text starts. A null source is an empty result. A text
// that does not fit in the rest of the area starts again at the area's first byte; one
// longer than the whole area is cut to fit.
const char* return_text(const char* src);

// Stores a NUL at the cursor, which stays; returns the cursor.
const char* return_empty();

// As return_text, but copies at most `max_bytes` bytes of `src` before the NUL.
const char* return_bounded(const char* src, std::int32_t max_bytes);

// A private buffer of `length` spaces and a NUL, released when it goes out of scope.
// data() is null when it could not be allocated (or the length is negative).
class SpaceBuffer {
 public:
  explicit SpaceBuffer(std::int32_t length);
  ~SpaceBuffer();
  SpaceBuffer(const SpaceBuffer&) = delete;
  SpaceBuffer& operator=(const SpaceBuffer&) = delete;

  char* data() const { return data_; }
  std::int32_t length() const { return length_; }

 private:
  char* data_ = nullptr;
  std::int32_t length_ = 0;
};

}  // namespace vesk::frame
