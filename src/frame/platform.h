// The only view of the operating system: files, memory and the 8-bit code page.
// platform_posix.cpp and platform_win32.cpp each implement all of it; the build picks
// one. Load and unload hooks live beside them and call frame::load / frame::unload.
#pragma once

#include <cstdint>

namespace vesk::platform {

// An open file as the frame keeps it. `position` is where the next read starts on
// platforms that read at an explicit offset; others leave it to the system.
struct File {
  std::uintptr_t handle = 0;  // 0 means no file
  std::int64_t position = 0;
};

// Opens an existing regular file for reading only, admitting other readers.
// Returns false (and leaves `file` alone) when the system refuses.
bool open_read_only(const char* path, File& file);

// Moves to `offset` from the start; a negative offset is refused and the position stays.
bool seek(File& file, std::int32_t offset);

// Reads up to `count` bytes at the position and advances it; returns the bytes read.
std::int32_t read(File& file, void* dst, std::int32_t count);

// Low 32 bits of the file's length, or -1 when unknown.
std::int32_t file_size(const File& file);

void close(File& file);

// Zero-filled memory; nullptr when bytes <= 0 or none is left.
void* alloc_zeroed(std::int32_t bytes);
void release(void* block);

// Converts UTF-16LE code units to the 8-bit code page, writing at most `capacity`
// bytes; with dst == nullptr it only measures. Returns the bytes written (or needed).
// A zero code unit becomes a zero byte; characters the code page lacks become its
// replacement character.
std::int32_t utf16_to_code_page(const char16_t* src, std::int32_t units, char* dst,
                                std::int32_t capacity);

}  // namespace vesk::platform
