// vesk/base_block.hpp: the rules a file's first bytes must pass to be a hive the library
// reads, and the sentence for each one broken. The library's open, vesk/hive.hpp (and so
// vesk-dump) judge by these and no other copy. It judges bytes it is given and reads no
// file: the library reads through its own frame, a host as it likes.
#ifndef VESK_BASE_BLOCK_HPP
#define VESK_BASE_BLOCK_HPP

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "vesk/byte_order.hpp"
#include "vesk/layout.hpp"

namespace vesk::base_block {

struct ReasonRow {
  const char* key;
  const char* text;
};

// Every refusal, in the order the rules are applied: the base block's, then the root
// key's. The version comes before dirtiness, so a hive that nothing reads is not sent to
// an option that reads dirty ones. A text's placeholders take the refusal's numbers in
// order: "{}" in decimal, "{x4}" in upper-case hexadecimal of at least four digits (the
// sentence itself writes the "0x").
inline constexpr ReasonRow kReasonRows[] = {
    {"too_short",
     "not a hive: {} bytes, shorter than the {}-byte base block every hive starts with"},
    {"no_signature", "not a hive: it does not start with \"regf\""},
    {"wrong_version", "version {}.{}: only version 1.3 hives can be read"},
    {"not_written_cleanly",
     "the hive was not written out cleanly: its sequence numbers {} and {} differ (a write was cut short; its transaction logs hold the rest)"},
    {"file_type", "file type {}: only primary hive files (type 0) can be read"},
    {"file_format", "file format {}: only format 1 can be read"},
    {"clustering_factor", "clustering factor {}: only 1 can be read"},
    {"refused_anyway",
     "the library refused it, though its base block looks right (did the file change?)"},
    {"root_file_ends_before_bin",
     "no root key: it must be the first cell of the first bin, and the file ends before that bin"},
    {"root_no_bin_signature",
     "no root key: it must be the first cell of the first bin, and the first bin has no \"hbin\" signature"},
    {"root_file_ends_inside_bin",
     "no root key: it must be the first cell of the first bin, and the file ends inside that bin"},
    {"root_not_a_key",
     "no root key: it must be the first cell of the first bin, and that cell is no key node"},
    {"root_flags",
     "no root key: it must be the first cell of the first bin, and that cell is a key with flags 0x{x4}, where the root key has 0x{x4}"},
    {"root_not_found", "no root key: the library found none"},
};

// The rows by name: each value is its row's index, and is named after its key.
enum class Reason : std::uint8_t {
  too_short,
  no_signature,
  wrong_version,
  not_written_cleanly,
  file_type,
  file_format,
  clustering_factor,
  refused_anyway,  // the rules pass, yet the library refused (the file changed)
  root_file_ends_before_bin,
  root_no_bin_signature,
  root_file_ends_inside_bin,
  root_not_a_key,
  root_flags,
  root_not_found,  // the root key's cell looks right, yet the library found none
};
inline constexpr std::size_t kMaxNumbers = 2;

namespace detail {
constexpr std::size_t placeholders(const char* text) {
  std::size_t n = 0;
  for (; *text != '\0'; ++text) n += *text == '{' ? 1 : 0;
  return n;
}
constexpr bool rows_fit() {
  for (const ReasonRow& row : kReasonRows) {
    if (placeholders(row.text) > kMaxNumbers) return false;
  }
  return std::size(kReasonRows) == static_cast<std::size_t>(Reason::root_not_found) + 1;
}
static_assert(rows_fit(), "a row per Reason, none with more numbers than a Refusal holds");
}  // namespace detail

constexpr const ReasonRow& row_of(Reason reason) {
  return kReasonRows[static_cast<std::size_t>(reason)];
}

// A broken rule and the numbers its sentence shows, in the order of its placeholders.
struct Refusal {
  Reason reason;
  std::int64_t numbers[kMaxNumbers];
};

// The first rule broken by a file of `file_size` bytes (a negative size counts as too
// short) whose first 512 bytes are `block`; none when it passes them all. `block` is read
// only when the file is long enough to hold a base block.
inline std::optional<Refusal> judge_base_block(const unsigned char* block,
                                               std::int32_t file_size) {
  using namespace vesk::format;
  if (file_size < kBaseBlockBytes) return Refusal{Reason::too_short, {file_size, kBaseBlockBytes}};
  const auto field = [block](std::uint32_t at) { return load_le32(block + at); };
  if (field(kBaseSignatureAt) != kSigRegf) return Refusal{Reason::no_signature, {}};
  const std::uint32_t major = field(kBaseMajorVersionAt);
  const std::uint32_t minor = field(kBaseMinorVersionAt);
  if (major != kBaseMajorVersion || minor != kBaseMinorVersion) {
    return Refusal{Reason::wrong_version, {major, minor}};
  }
  const std::uint32_t primary = field(kBasePrimarySequenceAt);
  const std::uint32_t secondary = field(kBaseSecondarySequenceAt);
  if (primary != secondary) return Refusal{Reason::not_written_cleanly, {primary, secondary}};
  if (field(kBaseFileTypeAt) != kBaseFileType) {
    return Refusal{Reason::file_type, {field(kBaseFileTypeAt)}};
  }
  if (field(kBaseFileFormatAt) != kBaseFileFormat) {
    return Refusal{Reason::file_format, {field(kBaseFileFormatAt)}};
  }
  if (field(kBaseClusteringAt) != kBaseClustering) {
    return Refusal{Reason::clustering_factor, {field(kBaseClusteringAt)}};
  }
  return std::nullopt;
}

// How many of a file's first bytes judge_root looks at: up to the flags of the first
// cell of the first bin.
inline constexpr std::size_t kRootHeadBytes =
    format::kFirstBinAt + format::kBinFirstCellContentsAt + format::kNkFlagsAt + 2;

// Why no root key stands where the library looks for it (the first cell of the first
// bin, a key node with exactly the root's flags), given the first `size` bytes of the
// file (at most kRootHeadBytes are read); none when one stands there.
inline std::optional<Refusal> judge_root(const unsigned char* head, std::size_t size) {
  using namespace vesk::format;
  constexpr std::size_t kRootAt = kFirstBinAt + kBinFirstCellContentsAt;
  if (size < kFirstBinAt + kBinOffsetAt) return Refusal{Reason::root_file_ends_before_bin, {}};
  if (load_le32(head + kFirstBinAt) != kSigHbin) return Refusal{Reason::root_no_bin_signature, {}};
  if (size < kRootHeadBytes) return Refusal{Reason::root_file_ends_inside_bin, {}};
  if (load_le16(head + kRootAt + kNkSignatureAt) != kSigNk) {
    return Refusal{Reason::root_not_a_key, {}};
  }
  const std::uint16_t flags = load_le16(head + kRootAt + kNkFlagsAt);
  if (flags != kNkRootFlags) return Refusal{Reason::root_flags, {flags, kNkRootFlags}};
  return std::nullopt;
}

// The refusal's sentence: its row's text with the numbers in place.
inline std::string sentence(const Refusal& refusal) {
  const char* text = row_of(refusal.reason).text;
  std::string out;
  std::size_t next = 0;
  const auto number = [&]() { return next < kMaxNumbers ? refusal.numbers[next++] : 0; };
  while (*text != '\0') {
    if (text[0] == '{' && text[1] == '}') {
      out += std::to_string(number());
      text += 2;
    } else if (text[0] == '{' && text[1] == 'x' && text[2] == '4' && text[3] == '}') {
      auto value = static_cast<std::uint64_t>(number());
      std::string digits;
      do {
        digits.insert(digits.begin(), "0123456789ABCDEF"[value & 0xF]);
        value >>= 4;
      } while (value != 0 || digits.size() < 4);
      out += digits;
      text += 4;
    } else {
      out += *text++;
    }
  }
  return out;
}

}  // namespace vesk::base_block

#endif  // VESK_BASE_BLOCK_HPP
