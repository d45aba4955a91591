// The interposed calls: each one notes itself in the active log, if any, and hands over
// to the next definition in the lookup order (the C library, or a sanitizer's wrapper).
// Defined in the executable, they come first for the shared library as well.
// Fortified builds wrap these calls in inline functions; this file must define them.
#undef _FORTIFY_SOURCE

#include "system_calls.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

extern "C" {
ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen);
ssize_t __pread_chk(int fd, void* buf, size_t count, off_t offset, size_t buflen);
ssize_t __pread64_chk(int fd, void* buf, size_t count, off64_t offset, size_t buflen);
}

namespace vesk::test {
namespace {

std::vector<LoggedCall>* g_active = nullptr;

void note(SystemCall call, int fd, std::int64_t offset, std::int64_t length) {
  if (g_active != nullptr) g_active->push_back({call, fd, offset, length});
}

std::int64_t total(const struct iovec* iov, int count) {
  std::int64_t n = 0;
  for (int i = 0; i < count; ++i) n += static_cast<std::int64_t>(iov[i].iov_len);
  return n;
}

template <typename Function>
Function next_definition(Function, const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

SystemCallLog::SystemCallLog() { g_active = &calls_; }

SystemCallLog::~SystemCallLog() { g_active = nullptr; }

int SystemCallLog::count(SystemCall call) const {
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                        [call](const LoggedCall& c) { return c.call == call; }));
}

}  // namespace vesk::test

using vesk::test::note;
using vesk::test::SystemCall;
using vesk::test::total;

// The definition that this one stands in front of, looked up once.
#define VESK_NEXT(function) \
  static const auto next = vesk::test::next_definition(&::function, #function)

extern "C" {

ssize_t read(int fd, void* buf, size_t count) {
  VESK_NEXT(read);
  note(SystemCall::kRead, fd, -1, static_cast<std::int64_t>(count));
  return next(fd, buf, count);
}

ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen) {
  VESK_NEXT(__read_chk);
  note(SystemCall::kRead, fd, -1, static_cast<std::int64_t>(count));
  return next(fd, buf, count, buflen);
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  VESK_NEXT(pread);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return next(fd, buf, count, offset);
}

ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
  VESK_NEXT(pread64);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return next(fd, buf, count, offset);
}

ssize_t __pread_chk(int fd, void* buf, size_t count, off_t offset, size_t buflen) {
  VESK_NEXT(__pread_chk);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return next(fd, buf, count, offset, buflen);
}

ssize_t __pread64_chk(int fd, void* buf, size_t count, off64_t offset, size_t buflen) {
  VESK_NEXT(__pread64_chk);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return next(fd, buf, count, offset, buflen);
}

ssize_t readv(int fd, const struct iovec* iov, int count) {
  VESK_NEXT(readv);
  note(SystemCall::kRead, fd, -1, total(iov, count));
  return next(fd, iov, count);
}

ssize_t preadv(int fd, const struct iovec* iov, int count, off_t offset) {
  VESK_NEXT(preadv);
  note(SystemCall::kRead, fd, offset, total(iov, count));
  return next(fd, iov, count, offset);
}

ssize_t preadv64(int fd, const struct iovec* iov, int count, off64_t offset) {
  VESK_NEXT(preadv64);
  note(SystemCall::kRead, fd, offset, total(iov, count));
  return next(fd, iov, count, offset);
}

off_t lseek(int fd, off_t offset, int whence) {
  VESK_NEXT(lseek);
  note(SystemCall::kSeek, fd, offset, 0);
  return next(fd, offset, whence);
}

off64_t lseek64(int fd, off64_t offset, int whence) {
  VESK_NEXT(lseek64);
  note(SystemCall::kSeek, fd, offset, 0);
  return next(fd, offset, whence);
}

int fstat(int fd, struct stat* st) {
  VESK_NEXT(fstat);
  note(SystemCall::kStat, fd, -1, 0);
  return next(fd, st);
}

int fstat64(int fd, struct stat64* st) {
  VESK_NEXT(fstat64);
  note(SystemCall::kStat, fd, -1, 0);
  return next(fd, st);
}

int fstatat(int dir, const char* path, struct stat* st, int flags) {
  VESK_NEXT(fstatat);
  note(SystemCall::kStat, dir, -1, 0);
  return next(dir, path, st, flags);
}

int statx(int dir, const char* path, int flags, unsigned int mask, struct statx* st) {
  VESK_NEXT(statx);
  note(SystemCall::kStat, dir, -1, 0);
  return next(dir, path, flags, mask, st);
}

void* mmap(void* at, size_t length, int protection, int flags, int fd, off_t offset) {
  VESK_NEXT(mmap);
  if (fd >= 0) note(SystemCall::kMap, fd, offset, static_cast<std::int64_t>(length));
  return next(at, length, protection, flags, fd, offset);
}

void* mmap64(void* at, size_t length, int protection, int flags, int fd, off64_t offset) {
  VESK_NEXT(mmap64);
  if (fd >= 0) note(SystemCall::kMap, fd, offset, static_cast<std::int64_t>(length));
  return next(at, length, protection, flags, fd, offset);
}

}  // extern "C"
