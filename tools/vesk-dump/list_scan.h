// The reading and judging of one list of a key: whether its header lies in the file, how
// many of its elements to read and how many to trust, whether each element names a cell
// of the list's kind, and the runs of elements that do not. Results are plain: a count,
// a verdict, a finding handed to Findings; the words are messages.h's. Nothing here
// calls the library: the walk reads the records and hands them over.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "findings.h"
#include "placement.h"
#include "vesk_10.h"

namespace vesk::dump {

// What the judging of lists needs from the walk: the hive's extent, where findings go,
// and the tally of what lay past the end of a cut file.
struct ListContext {
  const Extent& extent;
  Findings& findings;
  LostPastEnd& lost;
};

// Adds `n` references into the part of the hive a cut file lost to `counter` (one of
// context.lost's), and counts them as findings, the first at `at`.
void count_past_end(const ListContext& context, std::int64_t& counter, std::uint32_t at,
                    std::int64_t n);

// What one element of a list names.
enum class Element {
  kSound,      // a cell of the list's kind, inside the file
  kPastEnd,    // a place in the part of the hive a cut file lost
  kNoCell,     // no cell in the file
  kWrongKind,  // a cell, but not of the list's kind (no key node in a subkey list, say)
};

// The reading of one list's elements, in order. Past its trusted count a list is read
// only while its elements pass; within it, a run of kFailuresInARow failures ends it.
// Consecutive failures make one SkippedRun finding, given when the run ends.
class ListScan {
 public:
  ListScan() = default;
  ListScan(Items items, std::int32_t end, std::int32_t trusted)
      : items_(items), end_(end), trusted_(trusted) {}

  bool more() const { return next_ < end_; }
  // The index of the next element to read.
  std::int32_t take() { return next_++; }

  // Judges element `index`, whose cell contents are at `at` and whose record says
  // `signature`. A failure joins the run of failures and may end the scan; a sound
  // element first reports the run before it. `path` is the key's, for the findings.
  Element judge(const ListContext& context, std::string_view path, std::int32_t index,
                std::uint32_t at, std::uint16_t signature);
  // Reports the run of failures still open, if any.
  void finish(const ListContext& context, std::string_view path) { flush(context, path, 0); }

  static constexpr std::int32_t kFailuresInARow = 8;

 private:
  void failed(const ListContext& context, std::string_view path, bool cell_found,
              std::int32_t index, std::uint32_t at);
  void flush(const ListContext& context, std::string_view path, std::int32_t unread);

  Items items_ = Items::kSubkeys;
  std::int32_t next_ = 0;
  std::int32_t end_ = 0;      // elements inside the file, up to the list's count
  std::int32_t trusted_ = 0;  // elements the counts agree on
  std::int32_t in_row_ = 0;   // failures since the last sound element
  std::int32_t first_ = -1;   // the run: elements first_..last_
  std::int32_t last_ = -1;
  std::uint32_t first_at_ = 0;
  std::int32_t no_cell_ = 0;  // how many of them name no cell, the first at no_cell_at_
  std::int32_t no_node_ = 0;  // and how many a cell of the wrong kind
  std::uint32_t no_cell_at_ = 0;
  std::uint32_t no_node_at_ = 0;
};

// Whether the header of the subkey list `key` names lies in the file (`key_at` is the
// key's offset, for the findings). When it does not, what is not dumped is set in
// `unread` and reported; `unread` is left alone when nothing is lost.
bool subkey_list_in_file(const ListContext& context, std::string_view path,
                         const KeyRecord& key, std::uint32_t key_at,
                         std::optional<Unread>& unread);

// The scan of a subkey list whose header lies in the file: `counted` as the key counts
// them, `list` as the library read it, `held` the elements it holds. A list that is no
// "lf" list gives an empty scan and sets `unread` (unless the key counts no subkeys);
// counts that disagree or that the file cannot hold are reported and trusted less.
ListScan scan_subkeys(const ListContext& context, std::string_view path, std::int32_t counted,
                      const KeyListRecord& list, std::int32_t held,
                      std::optional<Unread>& unread);

// The scan of a key's value list, or none, reported when it is damage, when there is
// nothing to read: no values, a negative count, a list past the end or at no cell.
std::optional<ListScan> scan_values(const ListContext& context, std::string_view path,
                                    const KeyRecord& key, std::uint32_t key_at);

}  // namespace vesk::dump
