// The clean view on Linux: memfd_create gives a file with no name on any disk, which
// the library opens again through /proc/self/fd like any other path. The bytes are
// copied through a small buffer, so the copy itself adds no memory beyond the view.
#include "clean_view.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "base_block.h"
#include "byte_order.h"
#include "layout.h"

namespace vesk::dump {
namespace {

using namespace vesk::format;

bool write_all(int fd, const unsigned char* data, std::size_t size, off_t at) {
  while (size > 0) {
    const ssize_t put = ::pwrite(fd, data, size, at);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    size -= static_cast<std::size_t>(put);
    at += put;
  }
  return true;
}

}  // namespace

CleanView::CleanView(const std::string& path) : path_(path) {
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (file < 0) return;
  unsigned char block[kBaseCopiedBytes];
  const bool hive = ::pread(file, block, sizeof block, 0) == kBaseCopiedBytes &&
                    load_le32(block + kBaseSignatureAt) == kSigRegf;
  primary_ = hive ? load_le32(block + kBasePrimarySequenceAt) : 0;
  secondary_ = hive ? load_le32(block + kBaseSecondarySequenceAt) : 0;
  dirty_ = primary_ != secondary_;
  if (!dirty_) {
    ::close(file);
    return;
  }
  fd_ = ::memfd_create("vesk-dump clean view", MFD_CLOEXEC);
  if (fd_ < 0) {
    problem_ = std::string("cannot make the in-memory view: ") + std::strerror(errno);
    ::close(file);
    return;
  }
  std::vector<unsigned char> buffer(1 << 16);
  off_t at = 0;
  for (;;) {
    const ssize_t got = ::pread(file, buffer.data(), buffer.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || !write_all(fd_, buffer.data(), static_cast<std::size_t>(got), at)) {
      problem_ = std::string("cannot copy the file into the in-memory view: ") +
                 std::strerror(errno != 0 ? errno : EIO);
      break;
    }
    if (got == 0) break;
    at += got;
  }
  ::close(file);
  store_le32(block + kBaseSecondarySequenceAt, primary_);
  store_le32(block + kBaseChecksumAt, base_block_checksum(block));
  if (problem_.empty() && !write_all(fd_, block, sizeof block, 0)) {
    problem_ = std::string("cannot mark the in-memory view clean: ") + std::strerror(errno);
  }
  if (problem_.empty()) path_ = "/proc/self/fd/" + std::to_string(fd_);
}

CleanView::~CleanView() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace vesk::dump
