// The platform on POSIX systems: file descriptors read with pread at a position the
// frame keeps, calloc'd memory, and the calling thread's LC_CTYPE code set for text.
// errno changes only where the system refuses a read, an open or memory; hosts look
// there for read errors. The load and unload hooks are a constructor and destructor pair.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame/platform.h"
#include "frame/state.h"

namespace vesk::platform {
namespace {

int fd_of(const File& file) { return static_cast<int>(file.handle) - 1; }

// Restores the errno found on entry: what happens inside is no refusal a host must see.
class ErrnoKept {
 public:
  ErrnoKept() : saved_(errno) {}
  ~ErrnoKept() { errno = saved_; }
  ErrnoKept(const ErrnoKept&) = delete;
  ErrnoKept& operator=(const ErrnoKept&) = delete;

 private:
  int saved_;
};

}  // namespace

bool open_read_only(const char* path, File& file) {
  // O_NONBLOCK keeps a FIFO from blocking the open; it is refused just below.
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const ErrnoKept kept;
    ::close(fd);
    return false;
  }
  // Stored as fd + 1 so that descriptor 0 is still a nonzero handle.
  file.handle = static_cast<std::uintptr_t>(fd) + 1;
  file.position = 0;
  return true;
}

bool seek(File& file, std::int32_t offset) {
  if (file.handle == 0 || offset < 0) return false;
  file.position = offset;
  return true;
}

std::int32_t read(File& file, void* dst, std::int32_t count) {
  if (file.handle == 0 || count <= 0) return 0;
  // The host tells a read error by errno, so only a refusal may change it; an
  // interruption taken again leaves no mark. A read that comes back short asks once more
  // for the rest: at the end of the file that gives 0 and errno stays, while a disk
  // failing part way through refuses it and says why.
  const int entry_errno = errno;
  auto* const bytes = static_cast<unsigned char*>(dst);
  std::int32_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd_of(file), bytes + done, static_cast<std::size_t>(count - done),
                                file.position + done);
    if (got < 0 && errno == EINTR) {
      errno = entry_errno;
      continue;
    }
    if (got <= 0) break;
    done += static_cast<std::int32_t>(got);
  }
  file.position += done;
  return done;
}

std::int32_t file_size(const File& file) {
  struct stat st;
  if (file.handle == 0 || ::fstat(fd_of(file), &st) != 0) return -1;
  // The low 32 bits, as the format's 32-bit world sees a file.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(st.st_size));
}

void close(File& file) {
  // Nothing was written, so a failing close loses nothing; an earlier read error stays.
  const ErrnoKept kept;
  if (file.handle != 0) ::close(fd_of(file));
  file.handle = 0;
}

void* alloc_zeroed(std::int32_t bytes) {
  if (bytes <= 0) return nullptr;
  const int entry_errno = errno;
  void* block = std::calloc(1, static_cast<std::size_t>(bytes));
  if (block != nullptr) errno = entry_errno;
  return block;
}

void release(void* block) {
  const ErrnoKept kept;
  std::free(block);
}

namespace {

// Appends the code set's form of one character, or its replacement when it lacks one.
// Returns the bytes it produced (written only where they fit).
std::int32_t put_char(char32_t c, char* dst, std::int32_t room, std::mbstate_t& state) {
  char out[MB_LEN_MAX];
  std::size_t n = std::wcrtomb(out, static_cast<wchar_t>(c), &state);
  if (n == static_cast<std::size_t>(-1)) {
    state = std::mbstate_t{};
    n = std::wcrtomb(out, static_cast<wchar_t>(0xFFFD), &state);
    if (n == static_cast<std::size_t>(-1)) {
      state = std::mbstate_t{};
      out[0] = '?';
      n = 1;
    }
  }
  const auto len = static_cast<std::int32_t>(n);
  if (dst != nullptr && len <= room) std::memcpy(dst, out, n);
  return len;
}

}  // namespace

std::int32_t utf16_to_code_page(const char16_t* src, std::int32_t units, char* dst,
                                std::int32_t capacity) {
  // A character the code set lacks sets EILSEQ; it is replaced, and no read failed.
  const ErrnoKept kept;
  std::mbstate_t state{};
  bool initial = true;  // no shift state pending
  std::int32_t written = 0;
  for (std::int32_t i = 0; i < units; ++i) {
    char32_t c = src[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units && src[i + 1] >= 0xDC00 &&
        src[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // an unpaired surrogate is no character at all
    }
    const std::int32_t room = dst == nullptr ? 0 : capacity - written;
    char* const at = dst == nullptr ? nullptr : dst + written;
    std::int32_t n = 1;
    // The C library holds every locale's code set to keep ASCII as single unchanged
    // bytes outside a shift state, so most text needs no conversion call at all.
    if (c < 0x80 && initial) {
      if (at != nullptr && room >= 1) *at = static_cast<char>(c);
    } else {
      n = put_char(c, at, room, state);
      initial = std::mbsinit(&state) != 0;
    }
    if (dst != nullptr && n > room) break;  // only whole characters are written
    written += n;
  }
  return written;
}

}  // namespace vesk::platform

namespace {

__attribute__((constructor)) void vesk_on_load() { vesk::frame::load(); }
__attribute__((destructor)) void vesk_on_unload() { vesk::frame::unload(); }

}  // namespace
