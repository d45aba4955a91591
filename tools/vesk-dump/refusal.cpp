// Reads at most the base block and the head of the first bin, with the C library, and
// explains in words a user can act on.
#include "refusal.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "byte_order.h"
#include "base_block.h"
#include "layout.h"

namespace vesk::dump {
namespace {

using format::load_le16;
using format::load_le32;
using namespace vesk::format;

// The file's first `count` bytes (fewer if it is shorter), or the reason it cannot be read.
struct Head {
  std::vector<unsigned char> bytes;
  std::int32_t file_size = 0;  // the low 32 bits, as the library sees a file
  std::string problem;
};

Head read_head(const std::string& path, std::size_t count) {
  Head head;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec) {
    head.problem = "cannot open: " + ec.message();
    return head;
  }
  if (std::filesystem::is_directory(status)) {
    head.problem = "cannot open: it is a directory";
    return head;
  }
  if (!std::filesystem::is_regular_file(status)) {
    head.problem = "cannot open: not a regular file";
    return head;
  }
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    head.problem = std::string("cannot open: ") + std::strerror(errno != 0 ? errno : EACCES);
    return head;
  }
  head.bytes.resize(count, 0);
  const std::size_t got = std::fread(head.bytes.data(), 1, count, f);
  std::fclose(f);
  head.bytes.resize(got);
  head.file_size = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(std::filesystem::file_size(path, ec)));
  return head;
}

std::string hex4(std::uint32_t v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(v));
  return buffer;
}

}  // namespace

std::string why_not_opened(const std::string& path) {
  Head head = read_head(path, kBaseCopiedBytes);
  if (!head.problem.empty()) return head.problem;
  const std::int32_t size = head.file_size;
  head.bytes.resize(kBaseCopiedBytes, 0);
  const unsigned char* b = head.bytes.data();
  auto field = [b](std::uint32_t at) { return std::to_string(load_le32(b + at)); };
  switch (check_base_block(b, size)) {
    case BaseBlockVerdict::kTooShort:
      return "not a hive: " + std::to_string(size) + " bytes, shorter than the " +
             std::to_string(kBaseBlockBytes) + "-byte base block every hive starts with";
    case BaseBlockVerdict::kBadSignature:
      return "not a hive: it does not start with \"regf\"";
    case BaseBlockVerdict::kSequenceMismatch:
      return "the hive was not written out cleanly: its sequence numbers " +
             field(kBasePrimarySequenceAt) + " and " + field(kBaseSecondarySequenceAt) +
             " differ (a write was cut short; its transaction logs hold the rest);"
             " --ignore-dirty reads the file as it stands";
    case BaseBlockVerdict::kBadMajorVersion:
    case BaseBlockVerdict::kBadMinorVersion:
      return "version " + field(kBaseMajorVersionAt) + "." + field(kBaseMinorVersionAt) +
             ": only version 1.3 hives can be read";
    case BaseBlockVerdict::kBadFileType:
      return "file type " + field(kBaseFileTypeAt) + ": only primary hive files (type 0) can be read";
    case BaseBlockVerdict::kBadFileFormat:
      return "file format " + field(kBaseFileFormatAt) + ": only format 1 can be read";
    case BaseBlockVerdict::kBadClustering:
      return "clustering factor " + field(kBaseClusteringAt) + ": only 1 can be read";
    case BaseBlockVerdict::kAccepted:
      break;
  }
  return "the library refused it, though its base block looks right (did the file change?)";
}

std::string why_no_root(const std::string& path) {
  const std::uint32_t cell = kFirstBinAt + kBinFirstCellContentsAt;
  Head head = read_head(path, cell + kNkFlagsAt + 2);
  if (!head.problem.empty()) return head.problem;
  const std::string lead = "no root key: it must be the first cell of the first bin, and ";
  if (head.bytes.size() < kFirstBinAt + kBinOffsetAt) return lead + "the file ends before that bin";
  if (load_le32(head.bytes.data() + kFirstBinAt) != kSigHbin) {
    return lead + "the first bin has no \"hbin\" signature";
  }
  if (head.bytes.size() < cell + kNkFlagsAt + 2) return lead + "the file ends inside that bin";
  if (load_le16(head.bytes.data() + cell) != kSigNk) return lead + "that cell is no key node";
  const std::uint16_t flags = load_le16(head.bytes.data() + cell + kNkFlagsAt);
  if (flags != kNkRootFlags) {
    return lead + "that cell is a key with flags " + hex4(flags) + ", where the root key has " +
           hex4(kNkRootFlags);
  }
  return "no root key: the library found none";
}

}  // namespace vesk::dump
