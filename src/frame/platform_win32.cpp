// The platform on Windows: file handles read at the position SetFilePointer leaves,
// one private heap for all library memory, and the ANSI code page for text. The last
// error changes only where the system refuses a read, an open or memory; hosts look
// there for read errors. DllMain is the load and unload hook; nothing here knows hives.
#include <windows.h>

#include "frame/platform.h"
#include "frame/state.h"

namespace vesk::platform {
namespace {

HANDLE g_heap = nullptr;

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.handle); }

// Restores the last error found on entry: what happens inside is no refusal a host must
// see (some calls set the last error even when they succeed).
class LastErrorKept {
 public:
  LastErrorKept() : saved_(GetLastError()) {}
  ~LastErrorKept() { SetLastError(saved_); }
  LastErrorKept(const LastErrorKept&) = delete;
  LastErrorKept& operator=(const LastErrorKept&) = delete;

 private:
  DWORD saved_;
};

// Created at process attach. A program that links the frame without the DLL around it
// has no attach, so the first allocation creates the heap there instead.
HANDLE heap() {
  if (g_heap == nullptr) g_heap = HeapCreate(0, 0, 0);
  return g_heap;
}

void destroy_heap() {
  if (g_heap != nullptr) HeapDestroy(g_heap);
  g_heap = nullptr;
}

std::int32_t measure(const char16_t* src, std::int32_t units) {
  if (units <= 0) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(src), units, nullptr, 0,
                             nullptr, nullptr);
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// How many leading units convert within `capacity` bytes, never stopping between the
// halves of a pair. The ANSI code pages are stateless: fewer units convert to a prefix
// of the whole conversion, so the measure only grows with the count and can be halved.
std::int32_t units_that_fit(const char16_t* src, std::int32_t units, std::int32_t capacity) {
  std::int32_t low = 0;       // fits
  std::int32_t high = units;  // does not fit
  while (high - low > 1) {
    const std::int32_t mid = low + (high - low) / 2;
    if (measure(src, mid) <= capacity) {
      low = mid;
    } else {
      high = mid;
    }
  }
  if (low > 0 && low < units && is_high_surrogate(src[low - 1]) && is_low_surrogate(src[low])) {
    --low;
  }
  return low;
}

}  // namespace

bool open_read_only(const char* path, File& file) {
  const DWORD entry_error = GetLastError();
  const HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  SetLastError(entry_error);
  file.handle = reinterpret_cast<std::uintptr_t>(h);
  return true;
}

bool seek(File& file, std::int32_t offset) {
  if (file.handle == 0) return false;
  // Without a high part the distance is signed: the system refuses a negative one
  // and leaves the position where it was. That is the file's damage, not a read error.
  const LastErrorKept kept;
  return SetFilePointer(handle_of(file), offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

std::int32_t read(File& file, void* dst, std::int32_t count) {
  if (file.handle == 0 || count <= 0) return 0;
  // A read that comes back short asks once more for the rest: at the end of the file
  // that gives 0 and the last error stays, while a failing disk refuses it and says why.
  const DWORD entry_error = GetLastError();
  auto* const bytes = static_cast<unsigned char*>(dst);
  std::int32_t done = 0;
  while (done < count) {
    DWORD got = 0;
    if (!ReadFile(handle_of(file), bytes + done, static_cast<DWORD>(count - done), &got,
                  nullptr)) {
      return done;
    }
    if (got == 0) break;
    done += static_cast<std::int32_t>(got);
  }
  SetLastError(entry_error);
  return done;
}

std::int32_t file_size(const File& file) {
  if (file.handle == 0) return -1;
  // The low 32 bits; a failure is INVALID_FILE_SIZE, which reads as -1 as well.
  const DWORD entry_error = GetLastError();
  const DWORD size = GetFileSize(handle_of(file), nullptr);
  if (size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) SetLastError(entry_error);
  return static_cast<std::int32_t>(size);
}

void close(File& file) {
  // Nothing was written, so a failing close loses nothing; an earlier read error stays.
  const LastErrorKept kept;
  if (file.handle != 0) CloseHandle(handle_of(file));
  file.handle = 0;
}

void* alloc_zeroed(std::int32_t bytes) {
  if (bytes <= 0) return nullptr;
  const HANDLE h = heap();
  if (h == nullptr) return nullptr;
  const DWORD entry_error = GetLastError();
  void* block = HeapAlloc(h, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(bytes));
  if (block != nullptr) SetLastError(entry_error);
  return block;
}

void release(void* block) {
  const LastErrorKept kept;
  if (block != nullptr && g_heap != nullptr) HeapFree(g_heap, 0, block);
}

std::int32_t utf16_to_code_page(const char16_t* src, std::int32_t units, char* dst,
                                std::int32_t capacity) {
  const LastErrorKept kept;
  if (units <= 0) return 0;
  if (dst == nullptr) return measure(src, units);
  if (capacity <= 0) return 0;
  // Asked to fit, the system converts nothing at all; a cut text keeps what fits.
  if (measure(src, units) > capacity) units = units_that_fit(src, units, capacity);
  if (units == 0) return 0;
  return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWCH>(src), units, dst, capacity,
                             nullptr, nullptr);
}

}  // namespace vesk::platform

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    vesk::platform::heap();
    vesk::frame::load();
  } else if (reason == DLL_PROCESS_DETACH) {
    vesk::frame::unload();
    vesk::platform::destroy_heap();
  }
  return 1;
}
