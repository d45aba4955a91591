// The interposed calls: each one notes itself in the active log, if any, and hands over
// to the next definition in the lookup order (the C library, or a sanitizer's wrapper).
// Defined in the executable, they come first for the shared library as well. Reads and
// status queries of an armed fault's file pass through the plan on the way.
// Fortified builds wrap these calls in inline functions; this file must define them.
#undef _FORTIFY_SOURCE

#include "system_calls.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

// The armed plan. Constant-initialised, so calls made before any constructor runs (in a
// preloaded build) see it off.
struct FaultState {
  bool on = false;
  dev_t device = 0;
  ino_t inode = 0;
  FaultPlan plan;
  std::int64_t reads = 0;
  bool fired = false;
  bool cut = false;
  std::int64_t cut_size = 0;
};

FaultState g_fault;

int real_fstat(int fd, struct stat* st) {
  static const auto next = next_definition(&::fstat, "fstat");
  return next(fd, st);
}

int real_stat(const char* path, struct stat* st) {
  static const auto next = next_definition(&::stat, "stat");
  return next(path, st);
}

bool is_fault_file(dev_t device, ino_t inode) {
  return g_fault.on && device == g_fault.device && inode == g_fault.inode;
}

bool is_fault_file(int fd) {
  if (!g_fault.on) return false;
  struct stat st;
  return real_fstat(fd, &st) == 0 && is_fault_file(st.st_dev, st.st_ino);
}

std::int64_t position_of(int fd) {
  static const auto next = next_definition(&::lseek, "lseek");
  return next(fd, 0, SEEK_CUR);
}

// One read of `count` bytes at `offset` (-1: at the descriptor's position); `real` makes
// the read itself with the count it is given.
template <typename Read>
ssize_t faulted_read(int fd, std::size_t count, std::int64_t offset, Read real) {
  if (!is_fault_file(fd)) return real(count);
  const std::int64_t at = offset >= 0 ? offset : position_of(fd);
  if (++g_fault.reads == g_fault.plan.at_read) {
    g_fault.fired = true;
    switch (g_fault.plan.fault) {
      case Fault::kError:
        errno = g_fault.plan.error;
        return -1;
      case Fault::kShortRead:
        return real(count / 2);
      case Fault::kCut:
        g_fault.cut = true;
        g_fault.cut_size = g_fault.plan.cut_size >= 0 ? g_fault.plan.cut_size : at;
        break;
      case Fault::kNone:
        break;
    }
  }
  if (g_fault.cut) {
    if (at >= g_fault.cut_size) return 0;
    count = static_cast<std::size_t>(
        std::min(static_cast<std::int64_t>(count), g_fault.cut_size - at));
  }
  return real(count);
}

// A status of the cut file shows the cut: its new length and a later modification.
template <typename Status>
int cut_status(int result, Status* st) {
  if (result == 0 && g_fault.cut && is_fault_file(st->st_dev, st->st_ino)) {
    st->st_size = std::min<std::int64_t>(st->st_size, g_fault.cut_size);
    st->st_mtim.tv_sec += 1;
  }
  return result;
}

int cut_status(int result, struct statx* st) {
  if (result == 0 && g_fault.cut && (st->stx_mask & STATX_INO) != 0 &&
      is_fault_file(makedev(st->stx_dev_major, st->stx_dev_minor), st->stx_ino)) {
    st->stx_size = static_cast<std::uint64_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(st->stx_size), g_fault.cut_size));
    st->stx_mtime.tv_sec += 1;
  }
  return result;
}

// VESK_FAULT and its companions, read once at load.
__attribute__((constructor)) void arm_from_environment() {
  const char* kind = std::getenv("VESK_FAULT");
  const char* file = std::getenv("VESK_FAULT_FILE");
  if (kind == nullptr || *kind == '\0') return;
  FaultPlan plan;
  const std::string k = kind;
  plan.fault = k == "error" ? Fault::kError : k == "short" ? Fault::kShortRead
             : k == "cut"   ? Fault::kCut   : Fault::kNone;
  if (const char* at = std::getenv("VESK_FAULT_AT")) plan.at_read = std::atoll(at);
  if (const char* cut = std::getenv("VESK_FAULT_CUT")) plan.cut_size = std::atoll(cut);
  if (const char* error = std::getenv("VESK_FAULT_ERRNO")) plan.error = std::atoi(error);
  static ArmedFault* armed = nullptr;
  armed = new ArmedFault(file == nullptr ? "" : file, plan);
  if (plan.fault == Fault::kNone || !armed->armed()) {
    std::fprintf(stderr, "VESK_FAULT=%s for VESK_FAULT_FILE=%s: nothing armed\n", kind,
                 file == nullptr ? "(unset)" : file);
  }
}

}  // namespace

ArmedFault::ArmedFault(const std::string& path, const FaultPlan& plan) {
  struct stat st;
  if (g_fault.on || path.empty() || real_stat(path.c_str(), &st) != 0) return;
  g_fault = FaultState{};
  g_fault.device = st.st_dev;
  g_fault.inode = st.st_ino;
  g_fault.plan = plan;
  g_fault.on = true;
  armed_ = true;
}

ArmedFault::~ArmedFault() {
  if (armed_) g_fault = FaultState{};
}

std::int64_t ArmedFault::reads() const { return armed_ ? g_fault.reads : 0; }

bool ArmedFault::fired() const { return armed_ && g_fault.fired; }

SystemCallLog::SystemCallLog() { g_active = &calls_; }

SystemCallLog::~SystemCallLog() { g_active = nullptr; }

int SystemCallLog::count(SystemCall call) const {
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                        [call](const LoggedCall& c) { return c.call == call; }));
}

}  // namespace vesk::test

using vesk::test::cut_status;
using vesk::test::faulted_read;
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
  return faulted_read(fd, count, -1, [&](std::size_t n) { return next(fd, buf, n); });
}

ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen) {
  VESK_NEXT(__read_chk);
  note(SystemCall::kRead, fd, -1, static_cast<std::int64_t>(count));
  return faulted_read(fd, count, -1, [&](std::size_t n) { return next(fd, buf, n, buflen); });
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
  VESK_NEXT(pread);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return faulted_read(fd, count, offset, [&](std::size_t n) { return next(fd, buf, n, offset); });
}

ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
  VESK_NEXT(pread64);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return faulted_read(fd, count, offset, [&](std::size_t n) { return next(fd, buf, n, offset); });
}

ssize_t __pread_chk(int fd, void* buf, size_t count, off_t offset, size_t buflen) {
  VESK_NEXT(__pread_chk);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return faulted_read(fd, count, offset,
                      [&](std::size_t n) { return next(fd, buf, n, offset, buflen); });
}

ssize_t __pread64_chk(int fd, void* buf, size_t count, off64_t offset, size_t buflen) {
  VESK_NEXT(__pread64_chk);
  note(SystemCall::kRead, fd, offset, static_cast<std::int64_t>(count));
  return faulted_read(fd, count, offset,
                      [&](std::size_t n) { return next(fd, buf, n, offset, buflen); });
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
  return cut_status(next(fd, st), st);
}

int fstat64(int fd, struct stat64* st) {
  VESK_NEXT(fstat64);
  note(SystemCall::kStat, fd, -1, 0);
  return cut_status(next(fd, st), st);
}

int fstatat(int dir, const char* path, struct stat* st, int flags) {
  VESK_NEXT(fstatat);
  note(SystemCall::kStat, dir, -1, 0);
  return cut_status(next(dir, path, st, flags), st);
}

int fstatat64(int dir, const char* path, struct stat64* st, int flags) {
  VESK_NEXT(fstatat64);
  note(SystemCall::kStat, dir, -1, 0);
  return cut_status(next(dir, path, st, flags), st);
}

int stat(const char* path, struct stat* st) {
  VESK_NEXT(stat);
  note(SystemCall::kStat, AT_FDCWD, -1, 0);
  return cut_status(next(path, st), st);
}

int stat64(const char* path, struct stat64* st) {
  VESK_NEXT(stat64);
  note(SystemCall::kStat, AT_FDCWD, -1, 0);
  return cut_status(next(path, st), st);
}

int lstat(const char* path, struct stat* st) {
  VESK_NEXT(lstat);
  note(SystemCall::kStat, AT_FDCWD, -1, 0);
  return cut_status(next(path, st), st);
}

int lstat64(const char* path, struct stat64* st) {
  VESK_NEXT(lstat64);
  note(SystemCall::kStat, AT_FDCWD, -1, 0);
  return cut_status(next(path, st), st);
}

int statx(int dir, const char* path, int flags, unsigned int mask, struct statx* st) {
  VESK_NEXT(statx);
  note(SystemCall::kStat, dir, -1, 0);
  return cut_status(next(dir, path, flags, mask, st), st);
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
