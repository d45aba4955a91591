// vesk/transaction_logs.hpp: a dirty hive read as Windows reads it at load, with the
// changes its transaction logs (HIVE.LOG1 and HIVE.LOG2, or HIVE.LOG) hold applied to a
// private copy in memory. Header-only, C++17, the standard library and the installed
// layout (vesk/layout.hpp) alone; the one piece
// that needs the operating system (an anonymous in-memory file the library can open by
// path, Linux's memfd_create) sits at the end, apart from the rest.
//
// Nothing here writes a file: the hive and its logs are only read, every read bounded by
// the file's size. The library itself still refuses a dirty hive; this hands it a
// recovered copy instead. Nothing is printed: what was done comes back as plain data.
#ifndef VESK_TRANSACTION_LOGS_HPP
#define VESK_TRANSACTION_LOGS_HPP

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "vesk/layout.hpp"

namespace vesk::logs {

// The on-disk facts recovery uses. The base block (primary) and a log's copy of its
// first 512 bytes, offsets from the start of the file:
//    0  4  "regf"                    28  4  file type: 0 primary, 1 or 2 old log, 6 new log
//    4  4  primary sequence number   40  4  size of the hive bins data
//    8  4  secondary sequence number 144 4  flags (bit 0 travels with new-format entries)
//   12  8  last-written timestamp   508  4  checksum of bytes 0..507
// Old-format log after its 512-byte header: "DIRT", a bitmap of one bit per 512-byte page
// of the hive bins data, then the dirty pages from the next multiple of 512.
// New-format log entry (from 512, each at a multiple of 512):
//    0  4  "HvLE"                    16  4  hive bins data size after the entry
//    4  4  size of the whole entry   20  4  number of page references N
//    8  4  flags                     24  8  Marvin32 of bytes [40, size)
//   12  4  sequence number           32  8  Marvin32 of bytes [0, 32)
//   40 8N  references (bins offset, size), then their data back to back
// Hive bin: "hbin", its own bins offset at 4, its size at 8; the first one's timestamp
// (a copy of the base block's) at 20.
namespace layout {
// The hive's own offsets and signatures are the installed ones (vesk/layout.hpp); only
// the logs' facts are stated here.
namespace f = vesk::format;
inline constexpr std::uint32_t kSigRegf = f::kSigRegf;
inline constexpr std::uint32_t kSigDirt = 0x54524944;
inline constexpr std::uint32_t kSigHvle = 0x454C7648;
inline constexpr std::uint32_t kSigHbin = f::kSigHbin;
inline constexpr std::size_t kBasePrimarySequenceAt = f::kBasePrimarySequenceAt;
inline constexpr std::size_t kBaseSecondarySequenceAt = f::kBaseSecondarySequenceAt;
inline constexpr std::size_t kBaseTimestampAt = f::kBaseTimestampAt;
inline constexpr std::size_t kBaseFileTypeAt = f::kBaseFileTypeAt;
inline constexpr std::size_t kBaseBinsSizeAt = f::kBaseBinsSizeAt;
inline constexpr std::size_t kBaseFlagsAt = f::kBaseFlagsAt;
inline constexpr std::size_t kBaseChecksumAt = f::kBaseChecksumAt;
inline constexpr std::size_t kBaseCopiedBytes = f::kBaseCopiedBytes;
inline constexpr std::size_t kBaseBlockBytes = f::kBaseBlockBytes;
inline constexpr std::uint32_t kFileTypePrimary = f::kBaseFileType;
inline constexpr std::uint32_t kFileTypeOldLog = 1;
inline constexpr std::uint32_t kFileTypeOldLogNt = 2;
inline constexpr std::uint32_t kFileTypeNewLog = 6;
inline constexpr std::uint32_t kBaseFlagsEntryMask = 0x1;
inline constexpr std::size_t kDirtVectorAt = 512;
inline constexpr std::size_t kDirtBitmapAt = 516;
inline constexpr std::uint32_t kLogPageBytes = 512;
inline constexpr std::uint32_t kBinAlignBytes = 4096;
inline constexpr std::size_t kEntrySizeAt = 4;
inline constexpr std::size_t kEntryFlagsAt = 8;
inline constexpr std::size_t kEntrySequenceAt = 12;
inline constexpr std::size_t kEntryBinsSizeAt = 16;
inline constexpr std::size_t kEntryPageCountAt = 20;
inline constexpr std::size_t kEntryDataHashAt = 24;
inline constexpr std::size_t kEntryHeaderHashAt = 32;
inline constexpr std::size_t kEntryHeaderHashedBytes = 32;
inline constexpr std::size_t kEntryHeaderBytes = 40;
inline constexpr std::size_t kEntryReferenceBytes = 8;
inline constexpr std::size_t kBinOffsetAt = f::kBinOffsetAt;
inline constexpr std::size_t kBinSizeAt = f::kBinSizeAt;
inline constexpr std::size_t kFirstBinTimestampAt = f::kFirstBinAt + f::kBinTimestampAt;
inline constexpr std::uint64_t kLogHashSeed = 0x82EF4D887A4E55C5ull;
// The largest hive bins data a recovered hive may claim: a file the library can open is
// below 2 GiB (its sizes are 32-bit signed). Windows itself caps hives well below this.
inline constexpr std::uint32_t kMaxBinsBytes = 0x7FFFE000;
}  // namespace layout

namespace detail {
inline std::uint32_t load32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::uint64_t load64(const unsigned char* p) {
  return static_cast<std::uint64_t>(load32(p)) | static_cast<std::uint64_t>(load32(p + 4)) << 32;
}
inline void store32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline std::uint32_t rotl(std::uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }
// Sequence numbers wrap: `a` comes after `b` when it is less than half the circle ahead.
inline bool after(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t d = a - b;
  return d != 0 && d < 0x80000000u;
}
inline std::string hex(std::uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}
}  // namespace detail

// Marvin32 of `size` bytes with a 64-bit seed, as the new-format log entries store it.
inline std::uint64_t marvin32(const unsigned char* data, std::size_t size,
                              std::uint64_t seed = layout::kLogHashSeed) {
  std::uint32_t lo = static_cast<std::uint32_t>(seed);
  std::uint32_t hi = static_cast<std::uint32_t>(seed >> 32);
  auto round = [&] {
    hi ^= lo;
    lo = detail::rotl(lo, 20) + hi;
    hi = detail::rotl(hi, 9) ^ lo;
    lo = detail::rotl(lo, 27) + hi;
    hi = detail::rotl(hi, 19);
  };
  std::size_t i = 0;
  for (; size - i >= 4; i += 4) {
    lo += detail::load32(data + i);
    round();
  }
  // The last 0..3 bytes, then 0x80, read as one little-endian word.
  std::uint32_t tail = 0x80u << (8 * (size - i));
  for (std::size_t k = 0; i + k < size; ++k) tail |= static_cast<std::uint32_t>(data[i + k]) << (8 * k);
  lo += tail;
  round();
  round();
  return static_cast<std::uint64_t>(hi) << 32 | lo;
}

// The XOR-32 checksum a base block (or a log's copy of it) stores at 508.
inline std::uint32_t base_block_checksum(const unsigned char* block) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < layout::kBaseChecksumAt; at += 4) sum ^= detail::load32(block + at);
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return sum == 0 ? 1 : sum;
}

// Where recovery reads a file from. read() is only ever asked for bytes inside size().
class Source {
 public:
  virtual ~Source() = default;
  virtual std::uint64_t size() const = 0;
  // Fills `dst` with `count` bytes from `at`; false when the system could not.
  virtual bool read(std::uint64_t at, unsigned char* dst, std::size_t count) = 0;
};

// Bytes already in memory (not copied: they must outlive the source).
class MemorySource : public Source {
 public:
  MemorySource(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  explicit MemorySource(const std::vector<unsigned char>& bytes)
      : MemorySource(bytes.data(), bytes.size()) {}
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t at, unsigned char* dst, std::size_t count) override {
    if (at > size_ || count > size_ - at) return false;
    if (count > 0) std::memcpy(dst, data_ + at, count);
    return true;
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
};

// A regular file, read where asked and nowhere else. opened() is false (and problem()
// says why) for a missing, unreadable or not regular file.
class FileSource : public Source {
 public:
  explicit FileSource(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
      problem_ = ec ? ec.message() : "not a regular file";
      return;
    }
    file_.open(path, std::ios::binary);
    if (!file_) {
      problem_ = "cannot be opened for reading";
      return;
    }
    file_.seekg(0, std::ios::end);
    const std::streamoff end = file_.tellg();
    if (!file_ || end < 0) {
      problem_ = "its size cannot be read";
      return;
    }
    size_ = static_cast<std::uint64_t>(end);
    opened_ = true;
  }
  bool opened() const { return opened_; }
  const std::string& problem() const { return problem_; }
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t at, unsigned char* dst, std::size_t count) override {
    if (!opened_ || at > size_ || count > size_ - at) return false;
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(at));
    file_.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(file_.gcount()) == count;
  }

 private:
  std::ifstream file_;
  std::uint64_t size_ = 0;
  bool opened_ = false;
  std::string problem_;
};

// The three places a log has beside its hive.
enum class LogSlot { log, log1, log2 };
inline const char* slot_extension(LogSlot slot) {
  return slot == LogSlot::log ? "LOG" : slot == LogSlot::log1 ? "LOG1" : "LOG2";
}

// A log to consider: its name (for the report), its place and its bytes.
struct LogInput {
  std::string name;
  LogSlot slot = LogSlot::log1;
  std::shared_ptr<Source> source;  // null: the file could not be opened (problem says why)
  std::string problem;
};

enum class LogFormat { unknown, old_dirty_vector, new_entries };

// What became of one log.
struct LogReport {
  std::string name;
  LogSlot slot = LogSlot::log1;
  std::uint64_t size = 0;
  LogFormat format = LogFormat::unknown;
  bool usable = false;          // its header passed (signature, checksum, sequences, type)
  std::string problem;          // why it is not usable, or why it was not applied
  std::uint32_t sequence = 0;   // its header's sequence number
  bool applied = false;         // something from it reached the recovered copy
  std::uint32_t entries_applied = 0;      // new format
  std::uint32_t dirty_pages_applied = 0;  // old format, 512-byte pages
  std::uint32_t first_sequence = 0, last_sequence = 0;  // of the entries applied
  std::string stopped;          // why its walk ended ("end of the entries", or the failure)
};

enum class Outcome {
  clean,             // nothing applied, the file reads as it is: it is not dirty, or (with
                     // dirty still true) only its checksum is wrong and no log repairs it
  recovered,         // every change the logs hold was applied
  partly_recovered,  // a bad entry or bin stopped recovery; what came before it applied
  not_recovered,     // no usable log, or nothing from one applied; no copy made
};

// A tool reading the result should say the output may miss changes unless the outcome
// is clean, or recovered with log_unusable false.
struct Report {
  Outcome outcome = Outcome::not_recovered;
  bool dirty = false;
  bool has_signature = false;     // the primary starts with "regf": it is a hive at all
  bool base_block_valid = false;  // the primary's: "regf" and a right checksum
  std::uint32_t primary_sequence = 0, secondary_sequence = 0;  // as the primary stores them
  std::uint32_t sequence_after = 0;  // both sequence numbers of the recovered copy
  std::uint32_t bins_size_before = 0, bins_size_after = 0;
  LogFormat format = LogFormat::unknown;  // the format recovery used
  std::uint32_t entries_applied = 0;
  std::uint32_t dirty_pages_applied = 0;
  std::vector<LogReport> logs;  // every log considered, LOG, LOG1, LOG2 as found
  // A log that holds something could not be used (an empty one is normal): whatever it
  // held is missing, even when the outcome is recovered.
  bool log_unusable = false;
  std::string problem;  // why recovery did not happen or stopped early; empty otherwise
  std::string leaves;   // what a reader of the result then has
  std::vector<std::string> notes;  // facts worth telling that change nothing
};

// Whether what a reader reads may miss changes the logs hold: recovery stopped early, or
// a log with something in it could not be used.
inline bool may_miss_changes(const Report& r) {
  return r.outcome == Outcome::partly_recovered || (r.dirty && r.log_unusable);
}

// The recovered hive: base block, the primary's bins data as read, and the pages the
// logs wrote past it, kept apart so that a log claiming a large hive costs only what it
// holds. Everything else up to size() reads as zeros.
class RecoveredImage {
 public:
  std::uint64_t size() const { return base_.empty() ? 0 : layout::kBaseBlockBytes + bins_size_; }
  bool empty() const { return base_.empty(); }

  // Copies bytes [at, at + count) of the image into `dst`; bytes past size() are zeros.
  void read(std::uint64_t at, unsigned char* dst, std::size_t count) const {
    std::memset(dst, 0, count);
    for_each_extent([&](std::uint64_t from, const unsigned char* data, std::size_t n) {
      const std::uint64_t lo = std::max(from, at), hi = std::min(from + n, at + count);
      if (lo < hi) std::memcpy(dst + (lo - at), data + (lo - from), static_cast<std::size_t>(hi - lo));
    });
  }
  // The whole image, zeros included.
  std::vector<unsigned char> bytes() const {
    std::vector<unsigned char> out(static_cast<std::size_t>(size()));
    if (!out.empty()) read(0, out.data(), out.size());
    return out;
  }
  // Calls fn(file offset, data, count) for every stretch that is not zero by omission,
  // in increasing order; writing each at its offset into a file of size() bytes gives
  // the image.
  template <class Fn>
  void for_each_extent(Fn&& fn) const {
    if (base_.empty()) return;
    fn(0, base_.data(), base_.size());
    const std::size_t kept = std::min<std::size_t>(bins_.size(), bins_size_);
    if (kept > 0) fn(layout::kBaseBlockBytes, bins_.data(), kept);
    for (const auto& page : pages_) {
      fn(layout::kBaseBlockBytes + std::uint64_t{page.first} * layout::kLogPageBytes,
         page.second.data(), page.second.size());
    }
  }

 private:
  friend class Recoverer;
  using Page = std::array<unsigned char, layout::kLogPageBytes>;

  // Bins offset and length are multiples of 512, inside bins_size_.
  void write(std::uint32_t offset, const unsigned char* data, std::size_t count) {
    for (std::size_t done = 0; done < count; done += layout::kLogPageBytes) {
      const std::size_t at = offset + done;
      if (at < bins_.size()) {
        std::memcpy(bins_.data() + at, data + done, layout::kLogPageBytes);
      } else {
        std::memcpy(pages_[static_cast<std::uint32_t>(at / layout::kLogPageBytes)].data(),
                    data + done, layout::kLogPageBytes);
      }
    }
  }
  // A smaller size drops the tail, so a later growth finds zeros as a fresh bin would.
  void resize(std::uint32_t bins_size) {
    const std::uint32_t pages = (bins_size + layout::kLogPageBytes - 1) / layout::kLogPageBytes;
    if (std::size_t{pages} * layout::kLogPageBytes < bins_.size()) bins_.resize(std::size_t{pages} * layout::kLogPageBytes);
    if (bins_size < bins_.size()) std::fill(bins_.begin() + bins_size, bins_.end(), 0);
    pages_.erase(pages_.lower_bound(pages), pages_.end());
    bins_size_ = bins_size;
  }

  std::vector<unsigned char> base_;
  std::vector<unsigned char> bins_;  // length a multiple of 512
  std::map<std::uint32_t, Page> pages_;
  std::uint32_t bins_size_ = 0;
};

struct Recovery {
  RecoveredImage image;  // empty unless the outcome is recovered or partly_recovered
  Report report;
};

// How recovery goes, step by step; recover() below is its whole interface.
class Recoverer {
 public:
  Recoverer(Source& primary, std::vector<LogInput> logs) : primary_(primary), inputs_(std::move(logs)) {}

  Recovery run() {
    Report& r = out_.report;
    if (!read_base_block()) return finish_without(r.problem);
    if (!r.dirty) {
      r.outcome = Outcome::clean;
      r.leaves = "the hive as it stands: it was written out cleanly, so its logs are not used";
      return std::move(out_);
    }
    judge_logs();
    Recovery out = with_logs();
    if (checksum_only_ && out.report.outcome == Outcome::not_recovered) return as_it_stands(std::move(out));
    return out;
  }

 private:
  using Bytes = std::vector<unsigned char>;

  Recovery with_logs() {
    std::vector<std::size_t> news = usable_of(LogFormat::new_entries);
    if (!news.empty()) return recover_new(news);
    std::vector<std::size_t> olds = usable_of(LogFormat::old_dirty_vector);
    if (!olds.empty()) return recover_old(olds);
    if (out_.report.logs.empty()) return finish_without("no transaction log was found beside the hive");
    return finish_without("no log beside the hive can be used");
  }

  // Sequence numbers that agree say the hive was written out whole; a wrong checksum
  // then is damage done after. When no log applies to it, it is read as it stands, as
  // the library (which judges the sequence numbers, not the checksum) reads it, rather
  // than refused; the checksum is a reader's to report as damage.
  static Recovery as_it_stands(Recovery out) {
    Report& r = out.report;
    r.outcome = Outcome::clean;
    r.notes.push_back(r.problem);
    r.problem.clear();
    r.leaves = "the hive as it stands, as the library reads it: its sequence numbers agree, so it was "
               "written out whole; only its checksum is wrong";
    return out;
  }

  struct Log {
    LogInput input;
    Bytes header;  // its 512 bytes, when it has them
  };

  bool read_base_block() {
    Report& r = out_.report;
    const std::uint64_t size = primary_.size();
    if (size < layout::kBaseCopiedBytes) {
      r.problem = "the hive is shorter than a base block";
      return false;
    }
    base_.assign(layout::kBaseBlockBytes, 0);
    if (!primary_.read(0, base_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(size, layout::kBaseBlockBytes)))) {
      r.problem = "the hive's base block cannot be read";
      return false;
    }
    r.primary_sequence = detail::load32(&base_[layout::kBasePrimarySequenceAt]);
    r.secondary_sequence = detail::load32(&base_[layout::kBaseSecondarySequenceAt]);
    r.bins_size_before = detail::load32(&base_[layout::kBaseBinsSizeAt]);
    const bool signed_ok = r.has_signature = detail::load32(base_.data()) == layout::kSigRegf;
    r.base_block_valid = signed_ok && detail::load32(&base_[layout::kBaseChecksumAt]) == base_block_checksum(base_.data());
    checksum_only_ = signed_ok && !r.base_block_valid && r.primary_sequence == r.secondary_sequence;
    r.dirty = !r.base_block_valid || r.primary_sequence != r.secondary_sequence;
    if (!signed_ok) r.notes.push_back("the hive's base block has no \"regf\" signature");
    else if (!r.base_block_valid && !checksum_only_) r.notes.push_back("the hive's base block checksum is wrong");
    return true;
  }

  // Reads each log's header and says whether it can be used, as Windows judges it.
  void judge_logs() {
    for (LogInput& input : inputs_) {
      Log log{std::move(input), {}};
      LogReport lr;
      lr.name = log.input.name;
      lr.slot = log.input.slot;
      if (!log.input.source) {
        lr.problem = log.input.problem.empty() ? "cannot be read" : log.input.problem;
      } else if ((lr.size = log.input.source->size()) == 0) {
        lr.problem = "empty (a log with nothing in it)";
      } else if (lr.size < layout::kBaseCopiedBytes) {
        lr.problem = "shorter than a log header (" + std::to_string(lr.size) + " bytes)";
      } else {
        log.header.assign(layout::kBaseCopiedBytes, 0);
        lr.problem = judge_header(*log.input.source, log.header, lr);
        lr.usable = lr.problem.empty();
      }
      out_.report.log_unusable = out_.report.log_unusable || (!lr.usable && lr.size > 0) || !log.input.source;
      logs_.push_back(std::move(log));
      out_.report.logs.push_back(lr);
    }
  }

  static std::string judge_header(Source& source, Bytes& header, LogReport& lr) {
    if (!source.read(0, header.data(), header.size())) return "its header cannot be read";
    if (detail::load32(header.data()) != layout::kSigRegf) return "its header has no \"regf\" signature";
    if (detail::load32(&header[layout::kBaseChecksumAt]) != base_block_checksum(header.data()))
      return "its header checksum is wrong";
    lr.sequence = detail::load32(&header[layout::kBasePrimarySequenceAt]);
    if (lr.sequence != detail::load32(&header[layout::kBaseSecondarySequenceAt]))
      return "its header's sequence numbers differ (the log itself was not written out)";
    const std::uint32_t type = detail::load32(&header[layout::kBaseFileTypeAt]);
    if (type == layout::kFileTypeNewLog) {
      lr.format = LogFormat::new_entries;
    } else if (type == layout::kFileTypeOldLog || type == layout::kFileTypeOldLogNt) {
      lr.format = LogFormat::old_dirty_vector;
    } else {
      return "its header's file type " + std::to_string(type) + " is not a log's";
    }
    return {};
  }

  // The usable logs of one format: LOG1 and LOG2 if either is, else LOG.
  std::vector<std::size_t> usable_of(LogFormat format) const {
    std::vector<std::size_t> dual, single;
    for (std::size_t i = 0; i < logs_.size(); ++i) {
      const LogReport& lr = out_.report.logs[i];
      if (!lr.usable || lr.format != format) continue;
      (lr.slot == LogSlot::log ? single : dual).push_back(i);
    }
    return dual.empty() ? single : dual;
  }

  Recovery finish_without(const std::string& why) {
    Report& r = out_.report;
    r.outcome = Outcome::not_recovered;
    r.problem = why;
    r.leaves = "nothing recovered: only the primary file as it stands can be read (--ignore-dirty), "
               "without the changes the logs were to add";
    out_.image = RecoveredImage{};
    return std::move(out_);
  }

  // Reads the primary's bins data: no further than the base block in use declares, and
  // no further than the file goes.
  bool start_image(const unsigned char* base_copy) {
    RecoveredImage& image = out_.image;
    image.base_ = base_;
    if (base_copy != nullptr) {
      std::fill(image.base_.begin(), image.base_.end(), 0);
      std::memcpy(image.base_.data(), base_copy, layout::kBaseCopiedBytes);
    }
    const std::uint32_t declared = detail::load32(&image.base_[layout::kBaseBinsSizeAt]);
    const std::uint64_t size = primary_.size();
    const std::uint64_t available = size > layout::kBaseBlockBytes ? size - layout::kBaseBlockBytes : 0;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(std::min(declared, layout::kMaxBinsBytes), available));
    image.bins_.assign((take + layout::kLogPageBytes - 1) / layout::kLogPageBytes * layout::kLogPageBytes, 0);
    if (take > 0 && !primary_.read(layout::kBaseBlockBytes, image.bins_.data(), take)) return false;
    if (take < declared) {
      out_.report.notes.push_back("the hive file ends " + std::to_string(declared - take) +
                                  " bytes before the end of the hive bins data it declares; they read as zeros");
    }
    image.bins_size_ = static_cast<std::uint32_t>(take);
    image.resize(declared <= layout::kMaxBinsBytes ? declared : static_cast<std::uint32_t>(take));
    return true;
  }

  // Both sequence numbers, the size, the flags and the type of a consistent primary.
  Recovery finish(std::uint32_t sequence, std::uint32_t flags, bool partly, const std::string& why) {
    Report& r = out_.report;
    unsigned char* base = out_.image.base_.data();
    detail::store32(base + layout::kBasePrimarySequenceAt, sequence);
    detail::store32(base + layout::kBaseSecondarySequenceAt, sequence);
    detail::store32(base + layout::kBaseBinsSizeAt, out_.image.bins_size_);
    detail::store32(base + layout::kBaseFileTypeAt, layout::kFileTypePrimary);
    detail::store32(base + layout::kBaseFlagsAt, flags);
    detail::store32(base + layout::kBaseChecksumAt, base_block_checksum(base));
    r.sequence_after = sequence;
    r.bins_size_after = out_.image.bins_size_;
    r.outcome = partly ? Outcome::partly_recovered : Outcome::recovered;
    r.problem = why;
    r.leaves = partly ? "the hive as of sequence " + std::to_string(sequence) +
                            ": changes the logs hold past that point are missing"
               : r.log_unusable ? "the hive with every change its usable logs hold; what a log that "
                                  "could not be used held is missing"
                                : "the hive with every change its logs hold, as Windows would load it";
    return std::move(out_);
  }

  // ---- New format: entries with hashes, walked in sequence across LOG1 and LOG2.

  Recovery recover_new(const std::vector<std::size_t>& candidates) {
    Report& r = out_.report;
    r.format = LogFormat::new_entries;
    std::size_t earlier = candidates[0], later = candidates[0];
    if (candidates.size() > 1) {
      const std::size_t other = candidates[1];
      if (detail::after(r.logs[earlier].sequence, r.logs[other].sequence)) earlier = other;
      else later = other;
    }
    std::vector<std::size_t> walk;
    const unsigned char* base_copy = nullptr;
    if (!r.base_block_valid) {
      // The base block cannot say where the primary stands, so only the log with the
      // latest entries is used, its copy of the base block with it.
      walk = {later};
      base_copy = logs_[later].header.data();
      if (earlier != later) r.logs[earlier].problem = "not used: with the hive's base block invalid, only the later log applies";
    } else {
      auto eligible = [&](std::size_t i) { return !detail::after(r.secondary_sequence, r.logs[i].sequence); };
      const std::string older = "not used: its sequence number is before the hive's secondary (" +
                                std::to_string(r.secondary_sequence) + ")";
      if (eligible(earlier)) {
        walk = {earlier};
        if (later != earlier) walk.push_back(later);
      } else {
        r.logs[earlier].problem = older;
        if (later != earlier && eligible(later)) walk = {later};
        else if (later != earlier) r.logs[later].problem = older;
      }
      if (walk.empty()) return finish_without("every log is older than the hive: nothing to apply");
    }
    if (!start_image(base_copy)) return finish_without("the hive's bins data cannot be read");

    std::uint32_t flags = detail::load32(&out_.image.base_[layout::kBaseFlagsAt]);
    std::uint32_t last = 0;
    bool any = false;
    std::string failure;
    for (std::size_t k = 0; k < walk.size() && failure.empty(); ++k) {
      LogReport& lr = r.logs[walk[k]];
      if (k > 0 && (!any || lr.sequence != last + 1)) {
        lr.problem = any ? "not used: it does not continue from sequence " + std::to_string(last)
                         : "not used: the earlier log applied nothing for it to continue";
        break;
      }
      failure = walk_entries(*logs_[walk[k]].input.source, lr, any ? last + 1 : lr.sequence, flags);
      if (lr.entries_applied > 0) {
        any = true;
        last = lr.last_sequence;
      }
      if (!failure.empty()) failure = lr.name + ": " + failure;
    }
    if (!any) {
      return finish_without(failure.empty() ? "the logs hold no entry to apply" : failure);
    }
    return finish(last, flags, !failure.empty(), failure);
  }

  // Applies entries from offset 512 while each one holds; returns why it stopped when
  // that was a fault, empty when the entries simply ended.
  std::string walk_entries(Source& log, LogReport& lr, std::uint32_t expected, std::uint32_t& flags) {
    const std::uint64_t size = log.size();
    Bytes entry;
    for (std::uint64_t at = layout::kBaseCopiedBytes; at < size;) {
      const std::string where = "the entry at log offset " + detail::hex(at);
      unsigned char head[layout::kEntryHeaderBytes];
      if (size - at < 4 || !log.read(at, head, 4) || detail::load32(head) != layout::kSigHvle) {
        lr.stopped = "end of the entries";
        return {};
      }
      if (size - at < layout::kEntryHeaderBytes) return stop(lr, where + " is cut short by the end of the log");
      if (!log.read(at, head, sizeof head)) return stop(lr, where + " cannot be read");
      const std::uint32_t entry_size = detail::load32(head + layout::kEntrySizeAt);
      if (entry_size < layout::kLogPageBytes || entry_size % layout::kLogPageBytes != 0)
        return stop(lr, where + " has a size (" + detail::hex(entry_size) + ") that is not a multiple of 512");
      if (entry_size > size - at)
        return stop(lr, where + " runs past the end of the log (size " + detail::hex(entry_size) + ")");
      entry.resize(entry_size);
      if (!log.read(at, entry.data(), entry.size())) return stop(lr, where + " cannot be read");
      std::string fault = check_entry(entry, expected);
      if (fault == "older") {
        lr.stopped = "end of the entries (older ones follow)";
        return {};
      }
      if (!fault.empty()) return stop(lr, where + " is bad: " + fault);
      apply_entry(entry, flags);
      lr.applied = true;
      if (lr.entries_applied++ == 0) lr.first_sequence = expected;
      lr.last_sequence = expected;
      out_.report.entries_applied++;
      ++expected;
      at += entry_size;
    }
    lr.stopped = "end of the log";
    return {};
  }

  static std::string stop(LogReport& lr, const std::string& why) {
    lr.stopped = why;
    return why + "; recovery stops there";
  }

  // Empty when the whole entry holds; "older" for an already applied one.
  static std::string check_entry(const Bytes& e, std::uint32_t expected) {
    const std::uint32_t bins = detail::load32(&e[layout::kEntryBinsSizeAt]);
    if (bins == 0 || bins % layout::kBinAlignBytes != 0)
      return "its hive bins data size " + detail::hex(bins) + " is not a non-zero multiple of 4096";
    if (bins > layout::kMaxBinsBytes) return "its hive bins data size " + detail::hex(bins) + " is beyond what a hive can hold";
    const std::uint64_t count = detail::load32(&e[layout::kEntryPageCountAt]);
    const std::uint64_t table_end = layout::kEntryHeaderBytes + count * layout::kEntryReferenceBytes;
    if (count == 0) return "it lists no pages";
    if (table_end > e.size()) return "its " + std::to_string(count) + " page references do not fit in it";
    if (marvin32(e.data(), layout::kEntryHeaderHashedBytes) != detail::load64(&e[layout::kEntryHeaderHashAt]))
      return "the hash of its header is wrong";
    if (marvin32(e.data() + layout::kEntryHeaderBytes, e.size() - layout::kEntryHeaderBytes) !=
        detail::load64(&e[layout::kEntryDataHashAt]))
      return "the hash of its pages is wrong";
    const std::uint32_t sequence = detail::load32(&e[layout::kEntrySequenceAt]);
    if (detail::after(expected, sequence)) return "older";
    if (sequence != expected)
      return "its sequence number is " + std::to_string(sequence) + " where " + std::to_string(expected) + " was due";
    std::uint64_t data = table_end;
    for (std::uint64_t i = 0; i < count; ++i) {
      const unsigned char* ref = &e[layout::kEntryHeaderBytes + i * layout::kEntryReferenceBytes];
      const std::uint64_t offset = detail::load32(ref), length = detail::load32(ref + 4);
      const std::string which = "its page reference " + std::to_string(i) + " (bins offset " + detail::hex(offset) +
                                ", size " + detail::hex(length) + ")";
      if (offset % layout::kLogPageBytes != 0 || length % layout::kLogPageBytes != 0 || length == 0)
        return which + " is not a whole number of 512-byte pages";
      if (offset + length > bins) return which + " lies outside the hive bins data";
      if (length > e.size() - data) return which + " has its data past the end of the entry";
      data += length;
    }
    return {};
  }

  void apply_entry(const Bytes& e, std::uint32_t& flags) {
    RecoveredImage& image = out_.image;
    image.resize(detail::load32(&e[layout::kEntryBinsSizeAt]));
    const std::size_t count = detail::load32(&e[layout::kEntryPageCountAt]);
    std::size_t data = layout::kEntryHeaderBytes + count * layout::kEntryReferenceBytes;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* ref = &e[layout::kEntryHeaderBytes + i * layout::kEntryReferenceBytes];
      const std::uint32_t length = detail::load32(ref + 4);
      image.write(detail::load32(ref), e.data() + data, length);
      data += length;
    }
    const std::uint32_t entry_flags = detail::load32(&e[layout::kEntryFlagsAt]);
    flags = (flags & ~layout::kBaseFlagsEntryMask) | (entry_flags & layout::kBaseFlagsEntryMask);
  }

  // ---- Old format: one log, a bitmap of dirty pages, then the pages.

  Recovery recover_old(const std::vector<std::size_t>& candidates) {
    Report& r = out_.report;
    r.format = LogFormat::old_dirty_vector;
    const std::size_t chosen = choose_old(candidates);
    LogReport& lr = r.logs[chosen];
    Log& log = logs_[chosen];
    for (std::size_t i : candidates) {
      if (i != chosen) r.logs[i].problem = "not used: " + lr.name + " is the log that applies";
    }
    const unsigned char* header = log.header.data();
    const std::uint32_t bins = detail::load32(header + layout::kBaseBinsSizeAt);
    Source& source = *log.input.source;
    auto refuse = [&](const std::string& why) {
      lr.problem = why;
      lr.usable = false;
      r.log_unusable = true;
      return finish_without(lr.name + ": " + why);
    };
    if (bins == 0 || bins % layout::kBinAlignBytes != 0 || bins > layout::kMaxBinsBytes)
      return refuse("its hive bins data size " + detail::hex(bins) + " is not one a hive can have");
    const std::size_t bitmap_bytes = bins / layout::kLogPageBytes / 8;
    unsigned char sig[4];
    if (source.size() < layout::kDirtBitmapAt || !source.read(layout::kDirtVectorAt, sig, 4) ||
        detail::load32(sig) != layout::kSigDirt)
      return refuse("it has no \"DIRT\" dirty vector after its header");
    if (bitmap_bytes > source.size() - layout::kDirtBitmapAt) return refuse("its dirty vector runs past the end of the log");
    Bytes bitmap(bitmap_bytes);
    if (!source.read(layout::kDirtBitmapAt, bitmap.data(), bitmap.size())) return refuse("its dirty vector cannot be read");
    std::uint64_t marked = 0;
    for (unsigned char byte : bitmap) {
      for (; byte != 0; byte &= static_cast<unsigned char>(byte - 1)) ++marked;
    }
    const std::uint64_t pages_at = (layout::kDirtBitmapAt + bitmap_bytes + layout::kLogPageBytes - 1) /
                                   layout::kLogPageBytes * layout::kLogPageBytes;
    // Checked before the page list is made, so a log marking every page costs nothing.
    if (pages_at > source.size() || marked > (source.size() - pages_at) / layout::kLogPageBytes)
      return refuse("it is too short for the " + std::to_string(marked) + " dirty pages its vector marks");
    if (marked == 0) return refuse("its dirty vector marks no page");
    std::vector<std::uint32_t> dirty;  // page numbers, in bit order
    dirty.reserve(static_cast<std::size_t>(marked));
    for (std::size_t bit = 0; bit < bitmap_bytes * 8; ++bit) {
      if ((bitmap[bit / 8] >> (bit % 8)) & 1) dirty.push_back(static_cast<std::uint32_t>(bit));
    }

    if (!start_image(r.base_block_valid ? nullptr : header)) return finish_without("the hive's bins data cannot be read");
    note_timestamp(lr, header);
    out_.image.resize(bins);

    // Every bin a dirty page falls in must be a bin once the pages are in; the first
    // that is not ends recovery there, keeping the primary's own bytes from it on.
    std::uint64_t cut = bins;
    std::string failure;
    if (!check_dirty_bins(source, dirty, pages_at, bins, cut, failure)) return finish_without(lr.name + ": the log cannot be read");
    Bytes page(layout::kLogPageBytes);
    for (std::size_t k = 0; k < dirty.size(); ++k) {
      const std::uint64_t offset = std::uint64_t{dirty[k]} * layout::kLogPageBytes;
      if (offset >= cut) break;
      if (!source.read(pages_at + k * layout::kLogPageBytes, page.data(), page.size()))
        return finish_without(lr.name + ": a dirty page cannot be read");
      out_.image.write(static_cast<std::uint32_t>(offset), page.data(), page.size());
      lr.dirty_pages_applied++;
    }
    r.dirty_pages_applied = lr.dirty_pages_applied;
    lr.applied = lr.dirty_pages_applied > 0;
    lr.stopped = failure.empty() ? std::to_string(dirty.size()) + " dirty pages applied"
                                 : std::to_string(lr.dirty_pages_applied) + " of " + std::to_string(dirty.size()) +
                                       " dirty pages applied; " + failure;
    if (!lr.applied) return finish_without(lr.name + ": " + failure);
    if (!failure.empty()) {
      failure = lr.name + ": " + failure + "; " + std::to_string(lr.dirty_pages_applied) + " of " +
                std::to_string(dirty.size()) + " dirty pages applied, the hive's own bytes kept from there on";
    }
    return finish(lr.sequence, detail::load32(header + layout::kBaseFlagsAt), !failure.empty(), failure);
  }

  // LOG1 normally; LOG2 only when LOG1 does not match the hive and LOG2 is the newer.
  std::size_t choose_old(const std::vector<std::size_t>& candidates) const {
    if (candidates.size() == 1) return candidates[0];
    std::size_t one = candidates[0], two = candidates[1];
    if (out_.report.logs[one].slot == LogSlot::log2) std::swap(one, two);
    const std::uint64_t own = own_timestamp();
    const std::uint64_t t1 = detail::load64(&logs_[one].header[layout::kBaseTimestampAt]);
    const std::uint64_t t2 = detail::load64(&logs_[two].header[layout::kBaseTimestampAt]);
    return t1 != own && t2 > t1 ? two : one;
  }

  // The primary's last-written time: from its base block, or when that is invalid, from
  // the copy in the first bin's header.
  std::uint64_t own_timestamp() const {
    unsigned char stamp[8] = {};
    if (out_.report.base_block_valid) return detail::load64(&base_[layout::kBaseTimestampAt]);
    if (primary_.size() >= layout::kFirstBinTimestampAt + 8) primary_.read(layout::kFirstBinTimestampAt, stamp, 8);
    return detail::load64(stamp);
  }

  void note_timestamp(const LogReport& lr, const unsigned char* header) {
    if (detail::load64(header + layout::kBaseTimestampAt) != own_timestamp()) {
      out_.report.notes.push_back(lr.name + "'s timestamp differs from the hive's; applied all the same");
    }
  }

  // Walks the bins from the start through the image as it will be; sets `cut` to the bins
  // offset of the first bin a dirty page falls in that is no valid bin. False on a read error.
  bool check_dirty_bins(Source& log, const std::vector<std::uint32_t>& dirty, std::uint64_t pages_at,
                        std::uint32_t bins, std::uint64_t& cut, std::string& failure) {
    auto dirty_between = [&](std::uint64_t from, std::uint64_t to) {
      auto it = std::lower_bound(dirty.begin(), dirty.end(), static_cast<std::uint32_t>(from / layout::kLogPageBytes));
      return it != dirty.end() && std::uint64_t{*it} * layout::kLogPageBytes < to;
    };
    for (std::uint64_t at = 0; at < bins;) {
      unsigned char head[12];
      const std::uint32_t page = static_cast<std::uint32_t>(at / layout::kLogPageBytes);
      auto it = std::lower_bound(dirty.begin(), dirty.end(), page);
      if (it != dirty.end() && *it == page) {
        if (!log.read(pages_at + static_cast<std::uint64_t>(it - dirty.begin()) * layout::kLogPageBytes, head, sizeof head)) return false;
      } else {
        out_.image.read(layout::kBaseBlockBytes + at, head, sizeof head);
      }
      const std::uint32_t size = detail::load32(head + layout::kBinSizeAt);
      std::string fault;
      if (detail::load32(head) != layout::kSigHbin) fault = "no \"hbin\" signature";
      else if (detail::load32(head + layout::kBinOffsetAt) != at) fault = "a wrong offset field";
      else if (size < layout::kBinAlignBytes || size % layout::kBinAlignBytes != 0 || size > bins - at) fault = "a wrong size";
      if (fault.empty()) {
        at += size;
        continue;
      }
      // A bin no dirty page reaches is the primary's own affair: its reader judges it.
      if (dirty_between(at, at + layout::kBinAlignBytes)) {
        cut = at;
        failure = "the dirty bin at bins offset " + detail::hex(at) + " is not a valid bin (" + fault + ")";
      }
      return true;
    }
    return true;
  }

  Source& primary_;
  std::vector<LogInput> inputs_;
  std::vector<Log> logs_;
  Bytes base_;
  bool checksum_only_ = false;
  Recovery out_;
};

// Applies `logs` to the hive read from `primary`, as Windows does at load. Reads the
// primary's first 4096 bytes and then no more than 4096 plus the bins size the base block
// in use declares (capped by the file's size); reads the logs only where the recovery
// looks. A clean hive gets Outcome::clean and an empty image, whatever its logs hold.
inline Recovery recover(Source& primary, std::vector<LogInput> logs) {
  return Recoverer(primary, std::move(logs)).run();
}

namespace detail {
inline bool same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c; };
    if (up(a[i]) != up(b[i])) return false;
  }
  return true;
}
inline LogInput open_log(const std::filesystem::path& path, LogSlot slot) {
  LogInput in{path.string(), slot, nullptr, {}};
  auto file = std::make_shared<FileSource>(path);
  if (file->opened()) in.source = std::move(file);
  else in.problem = file->problem();
  return in;
}
}  // namespace detail

// The logs beside the hive at `hive_path`: HIVE.LOG, HIVE.LOG1, HIVE.LOG2, names matched
// without regard to ASCII case as Windows matches them; when two differ only in case the
// one with the upper-case extension wins. Those missing are simply absent.
inline std::vector<LogInput> find_logs(const std::filesystem::path& hive_path) {
  std::vector<LogInput> found;
  const std::filesystem::path folder = hive_path.has_parent_path() ? hive_path.parent_path() : ".";
  const std::string base = hive_path.filename().string();
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (LogSlot slot : {LogSlot::log, LogSlot::log1, LogSlot::log2}) {
    const std::string ext = slot_extension(slot);
    const std::string* pick = nullptr;
    for (const std::string& name : names) {
      if (!detail::same_name(name, base + "." + ext)) continue;
      if (pick == nullptr || name.compare(name.size() - ext.size(), ext.size(), ext) == 0) pick = &name;
    }
    if (pick != nullptr) found.push_back(detail::open_log(folder / *pick, slot));
  }
  return found;
}

// The place a log named by the user takes: by its extension when that is LOG, LOG1 or
// LOG2 (any case), else the first of LOG1, LOG2, LOG still free.
inline std::vector<LogInput> name_logs(const std::vector<std::string>& paths) {
  std::vector<LogInput> out;
  bool taken[3] = {false, false, false};
  std::vector<std::size_t> unplaced;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string ext = std::filesystem::path(paths[i]).extension().string();
    bool placed = false;
    for (LogSlot slot : {LogSlot::log, LogSlot::log1, LogSlot::log2}) {
      if (!placed && !taken[static_cast<int>(slot)] && detail::same_name(ext, std::string(".") + slot_extension(slot))) {
        taken[static_cast<int>(slot)] = placed = true;
        out.push_back(detail::open_log(paths[i], slot));
      }
    }
    if (!placed) unplaced.push_back(i);
  }
  for (std::size_t i : unplaced) {
    for (LogSlot slot : {LogSlot::log1, LogSlot::log2, LogSlot::log}) {
      if (taken[static_cast<int>(slot)]) continue;
      taken[static_cast<int>(slot)] = true;
      out.push_back(detail::open_log(paths[i], slot));
      break;
    }
  }
  return out;
}

// Recovers the hive file at `hive_path` with the logs found beside it, or with `logs`
// when given (a fourth and later name is ignored: there are three places).
inline Recovery recover_file(const std::filesystem::path& hive_path, const std::vector<std::string>& logs = {}) {
  FileSource primary(hive_path);
  if (!primary.opened()) {
    Recovery r;
    r.report.problem = "the hive " + primary.problem();
    r.report.leaves = "nothing to read";
    return r;
  }
  return recover(primary, logs.empty() ? find_logs(hive_path) : name_logs(logs));
}

// The report in lines a program may show as they are: what was read, applied and left.
inline std::vector<std::string> describe(const Report& r) {
  std::vector<std::string> lines;
  if (!r.dirty) {
    lines.push_back("the hive was written out cleanly; its logs are not used");
    return lines;
  }
  if (r.outcome == Outcome::clean) {
    lines.push_back("the hive's base block checksum is wrong, but its sequence numbers agree (" +
                    std::to_string(r.primary_sequence) + "/" + std::to_string(r.secondary_sequence) + ")");
  } else {
    lines.push_back("the hive is dirty: sequence numbers " + std::to_string(r.primary_sequence) + "/" +
                    std::to_string(r.secondary_sequence) + (r.base_block_valid ? "" : ", base block invalid"));
  }
  for (const LogReport& l : r.logs) {
    std::string line = l.name + ": ";
    if (l.applied) {
      line += l.format == LogFormat::new_entries
                  ? std::to_string(l.entries_applied) + (l.entries_applied == 1 ? " entry" : " entries") +
                        " applied (sequence " + std::to_string(l.first_sequence) +
                        (l.entries_applied > 1 ? " to " + std::to_string(l.last_sequence) : "") + "); " + l.stopped
                  : l.stopped;
    } else {
      line += l.problem.empty() ? l.stopped : l.problem;
    }
    lines.push_back(line);
  }
  for (const std::string& n : r.notes) lines.push_back(n);
  if (r.outcome == Outcome::recovered || r.outcome == Outcome::partly_recovered) {
    lines.push_back("recovered: sequence numbers now " + std::to_string(r.sequence_after) + "/" +
                    std::to_string(r.sequence_after) + ", hive bins data " + detail::hex(r.bins_size_after) + " bytes");
  }
  if (!r.problem.empty() && std::find(lines.begin(), lines.end(), r.problem) == lines.end()) lines.push_back(r.problem);
  lines.push_back(r.leaves);
  return lines;
}

// Why the logs could not be applied, on one line: describe()'s lines between the first
// (the sequence numbers) and the last (what that leaves), so each log's fault is named.
inline std::string why_not_applied(const Report& r) {
  const std::vector<std::string> lines = describe(r);
  std::string out;
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) out += (out.empty() ? "" : "; ") + lines[i];
  return out.empty() ? r.problem : out;
}

// ---- The operating system's part: the recovered hive as a file the library can open.
//
// On Linux, an anonymous in-memory file (memfd_create), sealed against change, which
// OpenRegistryFile opens again through /proc/self/fd/N; it costs what the image holds, the
// zeros by omission being holes. Elsewhere no such file exists: a view is never made
// (ok() is false and error() says "not supported on this platform"); a dirty hive is not
// copied to a disk behind the caller's back.
class MemoryFile {
 public:
  MemoryFile() = default;
  MemoryFile(MemoryFile&& other) noexcept { *this = std::move(other); }
  MemoryFile& operator=(MemoryFile&& other) noexcept;
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile();

  // Writes `image` into a new in-memory file.
  static MemoryFile of(const RecoveredImage& image);
  // The primary read by `primary` as it stands, marked clean: its first 4096 + bins size
  // bytes (no more than the file holds), the secondary sequence number set to the primary
  // and the checksum made right, so the library reads it although no log was applied.
  static MemoryFile marked_clean(Source& primary);

  // Puts `count` bytes at `at`; false when the file could not take them.
  using Put = std::function<bool(std::uint64_t at, const unsigned char* data, std::size_t count)>;
  // A new in-memory file of `size` bytes, zeros but where fill(put) puts something;
  // fill returns why it could not read what it puts, or nothing.
  static MemoryFile made(std::uint64_t size, const std::function<std::string(const Put&)>& fill);

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // Hands the descriptor over to the caller, who closes it; -1 when there is none.
  int release() {
    path_.clear();
    return std::exchange(fd_, -1);
  }
  // The name that opens it (/proc/self/fd/N); empty when !ok().
  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

// A hive opened with its logs applied, for a host to hand path() to OpenRegistryFile
// (or to vesk::Hive): the hive itself when it is clean, the recovered copy in memory
// when something was recovered (check report().outcome for partly_recovered), nothing
// (path() empty, error() saying why) when the logs could not be applied or the platform
// has no in-memory files. The copy lives as long as this object.
class HiveWithLogs {
 public:
  const std::string& path() const { return file_.ok() ? file_.path() : path_; }
  const Report& report() const { return report_; }
  const std::string& error() const { return error_; }
  bool ok() const { return !path().empty(); }

 private:
  friend HiveWithLogs open_with_logs(const std::filesystem::path&, const std::vector<std::string>&);
  MemoryFile file_;
  std::string path_;
  Report report_;
  std::string error_;
};

// Recovers the hive at `hive_path` with its logs (found beside it, or `logs`) and makes
// the result openable. Never writes the hive or the logs.
inline HiveWithLogs open_with_logs(const std::filesystem::path& hive_path, const std::vector<std::string>& logs = {}) {
  HiveWithLogs out;
  Recovery recovery = recover_file(hive_path, logs);
  out.report_ = std::move(recovery.report);
  if (out.report_.outcome == Outcome::clean) {
    out.path_ = hive_path.string();
  } else if (recovery.image.empty()) {
    out.error_ = why_not_applied(out.report_);
  } else {
    out.file_ = MemoryFile::of(recovery.image);
    out.error_ = out.file_.error();
  }
  return out;
}

inline MemoryFile MemoryFile::of(const RecoveredImage& image) {
  return made(image.size(), [&](const Put& put) {
    image.for_each_extent([&](std::uint64_t at, const unsigned char* data, std::size_t count) { put(at, data, count); });
    return std::string();
  });
}

inline MemoryFile MemoryFile::marked_clean(Source& primary) {
  unsigned char block[layout::kBaseCopiedBytes];
  if (primary.size() < sizeof block || !primary.read(0, block, sizeof block)) {
    MemoryFile out;
    out.error_ = "the hive's base block cannot be read";
    return out;
  }
  detail::store32(block + layout::kBaseSecondarySequenceAt, detail::load32(block + layout::kBasePrimarySequenceAt));
  detail::store32(block + layout::kBaseChecksumAt, base_block_checksum(block));
  const std::uint64_t declared = layout::kBaseBlockBytes + std::uint64_t{detail::load32(block + layout::kBaseBinsSizeAt)};
  const std::uint64_t size = std::min(primary.size(), declared);
  return made(size, [&](const Put& put) {
    if (!put(0, block, sizeof block)) return std::string();
    std::vector<unsigned char> buffer(std::size_t{1} << 16);
    for (std::uint64_t at = sizeof block; at < size;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size - at));
      if (!primary.read(at, buffer.data(), n)) return "the hive cannot be read at offset " + detail::hex(at);
      if (!put(at, buffer.data(), n)) break;
      at += n;
    }
    return std::string();
  });
}

}  // namespace vesk::logs

#if defined(__linux__)
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace vesk::logs {

inline MemoryFile& MemoryFile::operator=(MemoryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    error_ = std::move(other.error_);
  }
  return *this;
}

inline MemoryFile::~MemoryFile() {
  if (fd_ >= 0) ::close(fd_);
}

inline MemoryFile MemoryFile::made(std::uint64_t size, const std::function<std::string(const Put&)>& fill) {
  MemoryFile out;
  const int fd = ::memfd_create("vesk hive copy", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) {
    out.error_ = std::string("cannot make the in-memory copy: ") + std::strerror(errno);
    return out;
  }
  int failed = 0;
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) failed = errno;
  const std::string unread = fill([&](std::uint64_t at, const unsigned char* data, std::size_t count) {
    while (failed == 0 && count > 0) {
      const ssize_t put = ::pwrite(fd, data, count, static_cast<off_t>(at));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        failed = put < 0 ? errno : EIO;
        break;
      }
      data += put;
      count -= static_cast<std::size_t>(put);
      at += static_cast<std::uint64_t>(put);
    }
    return failed == 0;
  });
  // Sealed, so nothing in the process can change the copy under a reader.
  if (failed == 0 && unread.empty() &&
      ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    failed = errno;
  }
  if (failed != 0 || !unread.empty()) {
    ::close(fd);
    out.error_ = !unread.empty() ? unread : std::string("cannot fill the in-memory copy: ") + std::strerror(failed);
    return out;
  }
  out.fd_ = fd;
  out.path_ = "/proc/self/fd/" + std::to_string(fd);
  return out;
}

}  // namespace vesk::logs
#else
namespace vesk::logs {

inline MemoryFile& MemoryFile::operator=(MemoryFile&& other) noexcept {
  error_ = std::move(other.error_);
  return *this;
}
inline MemoryFile::~MemoryFile() = default;
inline MemoryFile MemoryFile::made(std::uint64_t, const std::function<std::string(const Put&)>&) {
  MemoryFile out;
  out.error_ = "an in-memory copy of a hive is not supported on this platform";
  return out;
}

}  // namespace vesk::logs
#endif

#endif  // VESK_TRANSACTION_LOGS_HPP
