// The library follows "lf" lists only, so subkeys under any other list would be missing
// from the dump without a word: each such key is named. Where a key's count and its
// list's disagree, one of them is damaged: the elements both agree on are read, and
// those past that only while each is sound. Cells that fail their checks are not charged
// to the walk's budgets; a list stops being read after a run of them instead.
#include "list_scan.h"

#include <algorithm>

#include "layout.h"

namespace vesk::dump {
namespace {

// An "lf" list holds at most 0x7FFF elements, whatever a damaged count says.
constexpr std::int32_t kMostLfElements = 0x7FFF;

bool is_other_list_kind(std::uint16_t signature) {
  const char first = static_cast<char>(signature & 0xFF);
  const char second = static_cast<char>(signature >> 8);
  return (first == 'l' && (second == 'i' || second == 'h')) || (first == 'r' && second == 'i');
}

}  // namespace

void count_past_end(const ListContext& context, std::int64_t& counter, std::uint32_t at,
                    std::int64_t n) {
  counter += n;
  context.findings.add(PastEnd{at, n});
}

Element ListScan::judge(const ListContext& context, std::string_view path, std::int32_t index,
                        std::uint32_t at, std::uint16_t signature) {
  const bool keys = items_ == Items::kSubkeys;
  const Place place =
      place_cell(context.extent, at, keys ? format::kNkNameAt : format::kVkNameAt);
  if (place == Place::kNoCell) {
    failed(context, path, false, index, at);
    return Element::kNoCell;
  }
  if (place == Place::kPastEnd) return Element::kPastEnd;
  if (signature != (keys ? format::kSigNk : format::kSigVk)) {
    failed(context, path, true, index, at);
    return Element::kWrongKind;
  }
  flush(context, path, 0);
  in_row_ = 0;
  return Element::kSound;
}

void ListScan::failed(const ListContext& context, std::string_view path, bool cell_found,
                      std::int32_t index, std::uint32_t at) {
  if (first_ >= 0 && last_ + 1 != index) flush(context, path, 0);
  if (first_ < 0) {
    first_ = index;
    first_at_ = at;
  }
  last_ = index;
  if (!cell_found && no_cell_++ == 0) no_cell_at_ = at;
  if (cell_found && no_node_++ == 0) no_node_at_ = at;
  if (index >= trusted_ || ++in_row_ >= kFailuresInARow) {
    flush(context, path, end_ - index - 1);
    next_ = end_;
  }
}

void ListScan::flush(const ListContext& context, std::string_view path, std::int32_t unread) {
  if (first_ < 0) return;
  context.findings.add(SkippedRun{path, items_, first_, last_, first_at_, no_cell_, no_cell_at_,
                                  no_node_, no_node_at_, unread});
  first_ = -1;
  no_cell_ = 0;
  no_node_ = 0;
  no_cell_at_ = 0;
  no_node_at_ = 0;
}

bool subkey_list_in_file(const ListContext& context, std::string_view path,
                         const KeyRecord& key, std::uint32_t key_at,
                         std::optional<Unread>& unread) {
  const std::int32_t counted = key.subkey_count;
  const std::uint32_t at = format::cell_contents(key.subkey_list);
  switch (place_cell(context.extent, at, format::kLfHeaderBytes)) {
    case Place::kInFile:
      return true;
    case Place::kPastEnd:
      if (counted > 0) {
        count_past_end(context, context.lost.keys, at, std::min(counted, kMostLfElements));
        unread = Unread{counted, NotRead::kListPastEnd};
      }
      return false;
    case Place::kNoCell:
      break;
  }
  if (counted != 0 && key.subkey_list == format::kNoCell) {
    context.findings.add(NoSubkeyList{key_at, path, counted});
    unread = Unread{counted, NotRead::kNoList};
  } else if (counted != 0) {
    context.findings.add(ListNoCell{key_at, path, Items::kSubkeys, counted, at});
    unread = Unread{counted, NotRead::kListNoCell};
  }
  return false;
}

ListScan scan_subkeys(const ListContext& context, std::string_view path, std::int32_t counted,
                      const KeyListRecord& list, std::int32_t held,
                      std::optional<Unread>& unread) {
  if (list.signature != format::kSigLf) {
    if (counted == 0) return {};  // a stale offset under a key without subkeys
    const bool other_kind = is_other_list_kind(list.signature);
    context.findings.add(ListNotFollowed{list.offset, path, counted, list.signature, other_kind});
    unread = Unread{counted, other_kind ? NotRead::kOtherListKind : NotRead::kNotLf,
                    list.signature};
    return {};
  }
  const auto fit = static_cast<std::int32_t>(std::min<std::uint32_t>(
      elements_in_file(context.extent, list.offset, format::kLfElementsAt,
                       format::kLfElementBytes),
      kMostLfElements));
  const std::int32_t end = std::min(held, fit);
  std::int32_t trusted = std::min(std::max(counted, 0), end);
  if (list.count != counted) {
    context.findings.add(CountMismatch{list.offset, path, counted, list.count, held});
  }
  if (held > fit) {
    const std::uint64_t list_end =
        list.offset + format::kLfElementsAt + std::uint64_t{format::kLfElementBytes} * held;
    if (context.extent.cut() && list_end <= context.extent.hive_end) {
      count_past_end(context, context.lost.keys, list.offset, held - fit);
    } else {
      context.findings.add(ListBeyondFile{list.offset, path, Items::kSubkeys, held, fit});
      trusted = 0;
    }
  }
  return ListScan(Items::kSubkeys, end, trusted);
}

std::optional<ListScan> scan_values(const ListContext& context, std::string_view path,
                                    const KeyRecord& key, std::uint32_t key_at) {
  const std::int32_t count = key.value_count;
  if (count == 0 || key.value_list == format::kNoCell) return std::nullopt;
  if (count < 0) {
    context.findings.add(NegativeCount{key_at, path, count});
    return std::nullopt;
  }
  const std::uint32_t at = format::cell_contents(key.value_list);
  switch (place_cell(context.extent, at, format::kValueListElementBytes)) {
    case Place::kInFile:
      break;
    case Place::kPastEnd:
      count_past_end(context, context.lost.values, at, count);
      return std::nullopt;
    case Place::kNoCell:
      context.findings.add(ListNoCell{key_at, path, Items::kValues, count, at});
      return std::nullopt;
  }
  const std::uint32_t fit = elements_in_file(context.extent, at, 0, format::kValueListElementBytes);
  const auto end = static_cast<std::int32_t>(std::min<std::uint32_t>(fit, count));
  std::int32_t trusted = end;
  if (end < count) {
    const std::uint64_t list_end = at + std::uint64_t{format::kValueListElementBytes} * count;
    if (context.extent.cut() && list_end <= context.extent.hive_end) {
      count_past_end(context, context.lost.values, at, count - end);
    } else {
      context.findings.add(ListBeyondFile{at, path, Items::kValues, count, fit});
      trusted = 0;
    }
  }
  return ListScan(Items::kValues, end, trusted);
}

}  // namespace vesk::dump
