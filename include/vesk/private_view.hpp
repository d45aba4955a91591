// vesk/private_view.hpp: a private view of a hive whose sequence numbers differ (copied
// from a live or crashed system), which the library refuses: an anonymous in-memory
// file holding the file's bytes, with the secondary sequence number set to the primary
// and the checksum made right, so the library reads the primary file as it stands. The
// hive on disk is never written; the view costs the file's size in memory and is gone
// with the object. vesk-dump's --ignore-dirty does the same.
//
// Linux only (memfd_create). Elsewhere no view is made: problem() says so, and the
// hive is refused as dirty, as before, rather than copied to a disk.
#ifndef VESK_PRIVATE_VIEW_HPP
#define VESK_PRIVATE_VIEW_HPP

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "vesk/byte_order.hpp"
#include "vesk/layout.hpp"

#if defined(__linux__)
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vesk {

class PrivateView {
 public:
  // Reads the base block of the file at `path`; when its sequence numbers differ, makes
  // the view. A file that cannot be read, or is no hive, gets none: opening the path
  // itself then says why.
  explicit PrivateView(const std::string& path) : path_(path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return;
    unsigned char block[format::kBaseCopiedBytes];
    const bool hive = std::fread(block, 1, sizeof block, f) == sizeof block &&
                      format::load_le32(block + format::kBaseSignatureAt) == format::kSigRegf;
    primary_ = hive ? format::load_le32(block + format::kBasePrimarySequenceAt) : 0;
    secondary_ = hive ? format::load_le32(block + format::kBaseSecondarySequenceAt) : 0;
    dirty_ = primary_ != secondary_;
    if (dirty_) copy(f, block);
    std::fclose(f);
  }
  ~PrivateView() { release(); }
  PrivateView(PrivateView&& o) noexcept { *this = std::move(o); }
  PrivateView& operator=(PrivateView&& o) noexcept {
    if (this != &o) {
      release();
      dirty_ = o.dirty_;
      primary_ = o.primary_;
      secondary_ = o.secondary_;
      fd_ = o.fd_;
      path_ = std::move(o.path_);
      problem_ = std::move(o.problem_);
      o.fd_ = -1;
    }
    return *this;
  }
  PrivateView(const PrivateView&) = delete;
  PrivateView& operator=(const PrivateView&) = delete;

  // Whether the file's sequence numbers differ.
  bool dirty() const { return dirty_; }
  std::uint32_t primary() const { return primary_; }
  std::uint32_t secondary() const { return secondary_; }
  // What to open: the view when one was made, else the file itself.
  const std::string& path() const { return path_; }
  // Why a dirty hive got no view; empty when it got one or needed none.
  const std::string& problem() const { return problem_; }
  // The warning a reader gives when it reads through the view.
  std::string warning(const std::string& file) const {
    return file + ": warning: not written out cleanly (sequence numbers " +
           std::to_string(primary_) + " and " + std::to_string(secondary_) +
           "); read as its primary file stands, without its transaction logs";
  }

 private:
  // The base block's checksum: the XOR of its first 127 words, never 0 or all ones.
  static std::uint32_t checksum(const unsigned char* block) {
    std::uint32_t sum = 0;
    for (std::uint32_t at = 0; at < format::kBaseChecksumAt; at += 4) {
      sum ^= format::load_le32(block + at);
    }
    return sum == 0 ? 1 : sum == 0xFFFFFFFF ? 0xFFFFFFFE : sum;
  }

#if defined(__linux__)
  static bool write_all(int fd, const unsigned char* data, std::size_t size, off_t at) {
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

  void copy(std::FILE* f, unsigned char* block) {
    fd_ = ::memfd_create("vesk private view", MFD_CLOEXEC);
    if (fd_ < 0) {
      problem_ = std::string("cannot make the in-memory view: ") + std::strerror(errno);
      return;
    }
    std::vector<unsigned char> buffer(1 << 16);
    std::rewind(f);
    off_t at = 0;
    for (;;) {
      const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), f);
      if (got == 0) break;
      if (!write_all(fd_, buffer.data(), got, at)) {
        problem_ = std::string("cannot copy the file into the in-memory view: ") +
                   std::strerror(errno != 0 ? errno : EIO);
        return;
      }
      at += static_cast<off_t>(got);
    }
    if (std::ferror(f)) {
      problem_ = "cannot read the file into the in-memory view";
      return;
    }
    format::store_le32(block + format::kBaseSecondarySequenceAt, primary_);
    format::store_le32(block + format::kBaseChecksumAt, checksum(block));
    if (!write_all(fd_, block, format::kBaseCopiedBytes, 0)) {
      problem_ = std::string("cannot mark the in-memory view clean: ") + std::strerror(errno);
      return;
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  void release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
#else
  void copy(std::FILE*, unsigned char*) {
    problem_ = "reading a dirty hive needs an anonymous in-memory file, which this system lacks";
  }
  void release() {}
#endif

  bool dirty_ = false;
  std::uint32_t primary_ = 0;
  std::uint32_t secondary_ = 0;
  int fd_ = -1;
  std::string path_;
  std::string problem_;
};

}  // namespace vesk

#endif  // VESK_PRIVATE_VIEW_HPP
