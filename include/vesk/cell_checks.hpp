// vesk/cell_checks.hpp: the checks a reader applies to a record before trusting it, judged
// only from the offsets, counts and signatures the library's records hold, the file's
// size and the hive size its base block declares. vesk-dump's walk and hive.hpp's
// iteration both use these, so a host reads a damaged hive exactly as vesk-dump does:
// an element naming no cell in the file, or a cell of the wrong kind, is skipped and
// reported, and no list is read past what the file can hold. Nothing here reads a file.
#ifndef VESK_CELL_CHECKS_HPP
#define VESK_CELL_CHECKS_HPP

#include <algorithm>
#include <cstdint>
#include <vector>

#include "vesk/layout.hpp"
#include "vesk_10.h"

namespace vesk::checks {

struct Extent {
  std::uint32_t file_size;  // as the library sees it
  std::uint64_t hive_end;   // 4096 plus the hive bins size the base block declares
  // A file shorter than its base block says was cut: what lies between its end and
  // hive_end is missing, not damaged.
  bool cut() const { return file_size < hive_end; }
};

// A hive bins size that is no multiple of 4096 is itself damage and says nothing of
// where the hive ends: the file's end is taken.
inline Extent extent_of(const HiveHandle& hive) {
  const auto file_size = static_cast<std::uint32_t>(hive.file_size);
  const std::uint32_t bins = hive.base_block.hive_bins_size;
  const bool plausible = bins % format::kBaseBlockBytes == 0;
  return {file_size, plausible ? format::kFirstBinAt + std::uint64_t{bins} : file_size};
}

enum class Place {
  in_file,   // the whole structure lies inside the file
  past_end,  // it would lie in the part of the hive a cut file lost
  no_cell,   // no cell can be there: before the first cell, off the 8-byte grid, or
             // beyond both the file and the hive
};

// Where `bytes` bytes of cell contents starting at file offset `at` lie. Cells are
// 8-aligned from the first bin, so their contents start 4 bytes past a multiple of 8.
// In 64 bits, so that no offset plus size wraps.
inline Place place_cell(const Extent& extent, std::uint32_t at, std::uint64_t bytes) {
  if (at < format::kFirstBinAt + format::kBinFirstCellContentsAt ||
      (at & 7) != format::kCellSizeBytes) {
    return Place::no_cell;
  }
  const std::uint64_t end = std::uint64_t{at} + bytes;
  if (end <= extent.file_size) return Place::in_file;
  if (extent.cut() && end <= extent.hive_end) return Place::past_end;
  return Place::no_cell;
}

// How many elements of `element_bytes` each, starting `header_bytes` after file offset
// `at`, lie inside the file (0 when the header itself does not).
inline std::uint32_t elements_in_file(const Extent& extent, std::uint32_t at,
                                      std::uint32_t header_bytes, std::uint32_t element_bytes) {
  const std::uint64_t first = std::uint64_t{at} + header_bytes;
  if (first > extent.file_size) return 0;
  const std::uint64_t n = (extent.file_size - first) / element_bytes;
  return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(n);
}

// An "lf" list holds at most 0x7FFF elements, whatever a damaged count says.
inline constexpr std::int32_t kMostLfElements = 0x7FFF;
// Within a list's trusted count, this many failures in a row end the list.
inline constexpr std::int32_t kFailuresInARow = 8;

enum class Items { subkeys, values };

// What one element of a list names.
enum class Element {
  sound,       // a cell of the list's kind, inside the file
  past_end,    // a place in the part of the hive a cut file lost
  no_cell,     // no cell in the file
  wrong_kind,  // a cell, but not of the list's kind (no key node in a subkey list, say)
};

inline Element judge_element(const Extent& extent, Items items, std::uint32_t at,
                             std::uint16_t signature) {
  const bool keys = items == Items::subkeys;
  const Place place = place_cell(extent, at, keys ? format::kNkNameAt : format::kVkNameAt);
  if (place == Place::no_cell) return Element::no_cell;
  if (place == Place::past_end) return Element::past_end;
  return signature == (keys ? format::kSigNk : format::kSigVk) ? Element::sound
                                                                : Element::wrong_kind;
}

// Whether a value's data of `length` bytes at cell `data_offset` can be read: up to 4
// bytes sit in the record itself.
inline Place place_data(const Extent& extent, std::uint32_t data_offset, std::int32_t length) {
  if (length <= format::kVkInlineMaxBytes) return Place::in_file;
  return place_cell(extent, format::cell_contents(data_offset),
                    static_cast<std::uint32_t>(length));
}

// One thing a check found, in a key's lists or in a walk.
struct Damage {
  enum class Kind {
    skipped,            // elements first..last named no cell or a cell of the wrong kind
    no_list,            // the key counts subkeys but names no list
    list_no_cell,       // its list is at no cell in the file
    list_not_followed,  // the subkey list is no "lf" list (signature in `number`)
    count_mismatch,     // the key's count and its list's disagree
    list_beyond_file,   // the list holds more elements than the file can
    negative_count,     // a value count below 0
    past_end,           // `number` references into the part a cut file lost
    data_no_cell,       // value `first`'s data lies outside the file
    revisit,            // a subkey already walked (a loop or a shared key); skipped
  };
  Kind kind;
  Items items;
  std::uint32_t at;        // the file offset it concerns (a run: its first element)
  std::int32_t first = -1;  // element indexes, for skipped and data_no_cell
  std::int32_t last = -1;
  std::int32_t no_cell = 0;     // skipped: how many named no cell
  std::int32_t wrong_kind = 0;  // and how many a cell of the wrong kind
  std::int32_t unread = 0;      // skipped: elements after the run left unread
  std::int64_t number = 0;      // the count concerned (list_not_followed: the signature)
};

// The reading of one list's elements in order. Past its trusted count a list is read
// only while its elements pass; within it, a run of kFailuresInARow failures ends it.
// Consecutive failures make one `skipped` Damage, given when the run ends.
class ListRun {
 public:
  ListRun() = default;
  ListRun(Items items, std::int32_t end, std::int32_t trusted)
      : items_(items), end_(end), trusted_(trusted) {}

  bool more() const { return next_ < end_; }
  std::int32_t take() { return next_++; }
  std::int32_t end() const { return end_; }

  Element judge(const Extent& extent, std::int32_t index, std::uint32_t at,
                std::uint16_t signature, std::vector<Damage>& out) {
    const Element e = judge_element(extent, items_, at, signature);
    if (e == Element::no_cell || e == Element::wrong_kind) {
      failed(e == Element::wrong_kind, index, at, out);
    } else if (e == Element::sound) {
      flush(0, out);
      in_row_ = 0;
    }
    return e;
  }
  void finish(std::vector<Damage>& out) { flush(0, out); }

 private:
  void failed(bool cell_found, std::int32_t index, std::uint32_t at, std::vector<Damage>& out) {
    if (run_.first >= 0 && run_.last + 1 != index) flush(0, out);
    if (run_.first < 0) {
      run_ = Damage{Damage::Kind::skipped, items_, at};
      run_.first = index;
    }
    run_.last = index;
    ++(cell_found ? run_.wrong_kind : run_.no_cell);
    if (index >= trusted_ || ++in_row_ >= kFailuresInARow) {
      flush(end_ - index - 1, out);
      next_ = end_;
    }
  }
  void flush(std::int32_t unread, std::vector<Damage>& out) {
    if (run_.first < 0) return;
    run_.unread = unread;
    out.push_back(run_);
    run_.first = -1;
  }

  Items items_ = Items::subkeys;
  std::int32_t next_ = 0;
  std::int32_t end_ = 0;      // elements inside the file, up to the list's count
  std::int32_t trusted_ = 0;  // elements the counts agree on
  std::int32_t in_row_ = 0;   // failures since the last sound element
  Damage run_{Damage::Kind::skipped, Items::subkeys, 0};
};

// Whether the header of the subkey list `key` names lies in the file; when not, what
// is lost is added to `out`. A key that counts no subkeys and names no list has none.
inline bool subkey_list_in_file(const Extent& extent, const KeyRecord& key,
                                std::vector<Damage>& out) {
  const std::int32_t counted = key.subkey_count;
  const std::uint32_t at = format::cell_contents(key.subkey_list);
  switch (place_cell(extent, at, format::kLfHeaderBytes)) {
    case Place::in_file: return true;
    case Place::past_end:
      if (counted > 0) {
        out.push_back({Damage::Kind::past_end, Items::subkeys, at, -1, -1, 0, 0, 0,
                       std::min(counted, kMostLfElements)});
      }
      return false;
    case Place::no_cell: break;
  }
  if (counted != 0) {
    const bool none = key.subkey_list == format::kNoCell;
    out.push_back({none ? Damage::Kind::no_list : Damage::Kind::list_no_cell, Items::subkeys,
                   none ? key.offset : at, -1, -1, 0, 0, 0, counted});
  }
  return false;
}

// The run over a subkey list whose header lies in the file: `counted` as the key counts
// them, `list` as the library read it, `held` the elements GetSubKeyList gave. A list
// other than "lf" gives an empty run; counts that disagree or that the file cannot hold
// are reported and trusted less.
inline ListRun plan_subkeys(const Extent& extent, std::int32_t counted, const KeyListRecord& list,
                            std::int32_t held, std::vector<Damage>& out) {
  if (list.signature != format::kSigLf) {
    if (counted != 0) {
      out.push_back({Damage::Kind::list_not_followed, Items::subkeys, list.offset, -1, -1, 0, 0,
                     0, list.signature});
    }
    return {};
  }
  const auto fit = static_cast<std::int32_t>(std::min<std::uint32_t>(
      elements_in_file(extent, list.offset, format::kLfElementsAt, format::kLfElementBytes),
      kMostLfElements));
  const std::int32_t end = std::min(held, fit);
  std::int32_t trusted = std::min(std::max(counted, 0), end);
  if (list.count != counted) {
    out.push_back({Damage::Kind::count_mismatch, Items::subkeys, list.offset, -1, -1, 0, 0, 0,
                   list.count});
  }
  if (held > fit) {
    const std::uint64_t list_end =
        list.offset + format::kLfElementsAt +
        std::uint64_t{format::kLfElementBytes} * static_cast<std::uint32_t>(held);
    if (extent.cut() && list_end <= extent.hive_end) {
      out.push_back({Damage::Kind::past_end, Items::subkeys, list.offset, -1, -1, 0, 0, 0,
                     held - fit});
    } else {
      out.push_back({Damage::Kind::list_beyond_file, Items::subkeys, list.offset, -1, -1, 0, 0,
                     0, held});
      trusted = 0;
    }
  }
  return ListRun(Items::subkeys, end, trusted);
}

// The run over a key's value list; an empty one when there is nothing to read (no
// values, a negative count, a list past the end or at no cell), reported when damage.
inline ListRun plan_values(const Extent& extent, const KeyRecord& key, std::vector<Damage>& out) {
  const std::int32_t count = key.value_count;
  if (count == 0 || key.value_list == format::kNoCell) return {};
  if (count < 0) {
    out.push_back(
        {Damage::Kind::negative_count, Items::values, key.offset, -1, -1, 0, 0, 0, count});
    return {};
  }
  const std::uint32_t at = format::cell_contents(key.value_list);
  switch (place_cell(extent, at, format::kValueListElementBytes)) {
    case Place::in_file: break;
    case Place::past_end:
      out.push_back({Damage::Kind::past_end, Items::values, at, -1, -1, 0, 0, 0, count});
      return {};
    case Place::no_cell:
      out.push_back({Damage::Kind::list_no_cell, Items::values, at, -1, -1, 0, 0, 0, count});
      return {};
  }
  const std::uint32_t fit = elements_in_file(extent, at, 0, format::kValueListElementBytes);
  const auto end = static_cast<std::int32_t>(
      std::min<std::uint32_t>(fit, static_cast<std::uint32_t>(count)));
  std::int32_t trusted = end;
  if (end < count) {
    const std::uint64_t list_end =
        at + std::uint64_t{format::kValueListElementBytes} * static_cast<std::uint32_t>(count);
    if (extent.cut() && list_end <= extent.hive_end) {
      out.push_back({Damage::Kind::past_end, Items::values, at, -1, -1, 0, 0, 0, count - end});
    } else {
      out.push_back({Damage::Kind::list_beyond_file, Items::values, at, -1, -1, 0, 0, 0, count});
      trusted = 0;
    }
  }
  return ListRun(Items::values, end, trusted);
}

}  // namespace vesk::checks

#endif  // VESK_CELL_CHECKS_HPP
