// Reads with std::ifstream at 64-bit positions, so a file of any size is judged by what
// it holds; the declared bins bound how far the bins are followed.
#include "file_audit.h"

#include <cerrno>
#include <cstdint>
#include <fstream>

#include "base_block.h"
#include "byte_order.h"
#include "layout.h"

namespace vesk::dump {
namespace {

class File {
 public:
  explicit File(const std::string& path) : in_(path, std::ios::binary) {
    if (in_) {
      in_.seekg(0, std::ios::end);
      const std::streamoff end = in_.tellg();
      size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    }
  }
  std::uint64_t size() const { return size_; }
  // Reads `n` bytes at `at` into `into`; false unless all of them lie in the file.
  bool read(std::uint64_t at, unsigned char* into, std::uint32_t n) {
    if (at > size_ || size_ - at < n) return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(at));
    const int before = errno;
    errno = 0;
    in_.read(reinterpret_cast<char*>(into), n);
    const bool whole = static_cast<std::uint32_t>(in_.gcount()) == n;
    if (!whole && errno != 0) error_ = errno;
    errno = before;
    return whole;
  }
  // The system's error of the last read it refused; 0 when none was, as at a cut.
  int error() const { return error_; }

 private:
  std::ifstream in_;
  std::uint64_t size_ = 0;
  int error_ = 0;
};

// A read the system refused is named as such; a short file is reported elsewhere.
void say_refused(const File& file, std::uint32_t at, Reading reading, Findings& findings) {
  if (file.error() != 0) findings.add(ReadFailed{at, {}, reading, -1, file.error()});
}

void audit_bins(File& file, std::uint32_t bins_size, Findings& findings) {
  using namespace format;
  std::uint64_t end = std::uint64_t{kFirstBinAt} + bins_size;
  if (bins_size % kBaseBlockBytes != 0) {
    findings.add(BadBin{kBaseBinsSizeAt, BinFault::kBinsSize, bins_size, false});
    end -= bins_size % kBaseBlockBytes;
  }
  unsigned char header[kBinHeaderBytes];
  for (std::uint64_t at = kFirstBinAt; at < end;) {
    const auto here = static_cast<std::uint32_t>(at);
    if (!file.read(at, header, kBinHeaderBytes)) {
      return say_refused(file, here, Reading::kBinHeaders, findings);  // else a cut file
    }
    const std::uint32_t signature = load_le32(header);
    if (signature != kSigHbin) return findings.add(BadBin{here, BinFault::kSignature, signature, true});
    const std::uint32_t offset = load_le32(header + kBinOffsetAt);
    if (offset != at - kFirstBinAt) findings.add(BadBin{here, BinFault::kOffset, offset, false});
    const std::uint32_t size = load_le32(header + kBinSizeAt);
    if (size == 0 || size % kBaseBlockBytes != 0 || size > end - at) {
      return findings.add(BadBin{here, BinFault::kSize, size, at + kBaseBlockBytes < end});
    }
    at += size;
  }
}

}  // namespace

void audit_file(const std::string& path, Findings& findings) {
  using namespace format;
  File file(path);
  unsigned char block[kBaseCopiedBytes];
  if (!file.read(0, block, kBaseCopiedBytes) || file.size() < kBaseBlockBytes) {
    return say_refused(file, 0, Reading::kHive, findings);
  }
  // A hive whose sequence numbers differ was caught mid-write, its checksum with it; it
  // is named as such (--ignore-dirty) and its checksum not judged.
  const bool written_cleanly =
      load_le32(block + kBasePrimarySequenceAt) == load_le32(block + kBaseSecondarySequenceAt);
  const std::uint32_t stored = load_le32(block + kBaseChecksumAt);
  const std::uint32_t computed = base_block_checksum(block);
  if (written_cleanly && stored != computed) {
    findings.add(ChecksumWrong{kBaseChecksumAt, stored, computed});
  }
  audit_bins(file, load_le32(block + kBaseBinsSizeAt), findings);
}

}  // namespace vesk::dump
