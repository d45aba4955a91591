// An explicit stack rather than recursion, so no hive and no depth limit can exhaust the
// machine's stack. Every key, value, list and data run is checked against the file
// before it is trusted (list_scan.h judges the lists); what fails is reported and
// skipped, and its siblings are read. The budgets follow from the layout: every subkey
// reference takes 8 bytes of an "lf" list, every value reference 4 bytes of a value
// list, and every byte of data longer than 4 bytes a byte of its own cell, so a hive
// whose sound cells ask for more than that is sharing or inventing them, and the walk
// stops reading there. The library leaves errno as a failed read set it, so errno is
// cleared before each call that reads and looked at after it: what such a call gave is
// zeros or spaces, never judged as damage, and the part it stood for is marked unread.
#include "walk.h"

#include <cerrno>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "layout.h"
#include "list_scan.h"
#include "messages.h"
#include "path_builder.h"
#include "placement.h"

namespace vesk::dump {
namespace {

// Key offsets already walked: a bit per 8-byte cell position for the offsets a sound
// hive has (contents 4 bytes into an 8-aligned cell, inside the file), a set for others.
class SeenKeys {
 public:
  explicit SeenKeys(std::uint32_t file_size)
      : limit_(file_size), bits_((file_size >> 9) + 1, 0) {}

  bool contains(std::uint32_t offset) const {
    if ((offset & 7) != 4 || offset >= limit_) return others_.count(offset) != 0;
    return (bits_[offset >> 9] >> ((offset >> 3) & 63) & 1) != 0;
  }

  // True the first time an offset is given.
  bool insert(std::uint32_t offset) {
    if ((offset & 7) != 4 || offset >= limit_) return others_.insert(offset).second;
    std::uint64_t& word = bits_[offset >> 9];
    const std::uint64_t bit = std::uint64_t{1} << ((offset >> 3) & 63);
    if ((word & bit) != 0) return false;
    word |= bit;
    return true;
  }

 private:
  std::uint32_t limit_;
  std::vector<std::uint64_t> bits_;
  std::unordered_set<std::uint32_t> others_;
};

// Where a key belongs that is listed under a key its record does not name as parent.
// The walk may meet it there before or after the key its record names; either way it is
// dumped once, under that key, when that key is a key node that lists it and is itself
// reached from the start along keys listed where their records say, above the depth
// limit. Anything else (the named key lists it not, is no key, lies outside the walked
// subtree or below the limit) keeps it where the walk meets it. Answers cost reads of
// other keys and their lists: each answer and each list is kept, and all such reads
// together are bounded; past the bound the key is kept where it is met, as before.
class Parentage {
 public:
  Parentage(const Start& start, int max_depth, const Extent& extent)
      : max_depth_(max_depth), extent_{extent.file_size, extent.hive_end} {
    for (const Ancestor& a : start.above) depth_[a.offset] = -1;
    depth_[start.key.offset()] = 0;
  }

  // Whether `key` (met under a key its parent field does not name) is dumped under the
  // key that field names. `error` is the system's error when a read failed, for the walk
  // to report; the key is then kept where it is met.
  bool dumped_under_named(const Key& key, int& error) {
    error = 0;
    const int depth = depth_of(key, error);
    return error == 0 && depth >= 1 && depth <= max_depth_;
  }

  // Reads these checks may still take: a few for a sound hive, where no key's parent
  // field disagrees with its list; enough for many damaged keys in a large one.
  static constexpr std::uint32_t kReads = 1u << 20;

 private:
  // The depth below the start at which `key` is dumped by the rule above; -1 when it is
  // not reached that way (or no more reads are allowed).
  int depth_of(const Key& key, int& error) {
    std::vector<std::uint32_t> chain;
    std::unordered_set<std::uint32_t> on_chain;
    std::optional<Key> at = key;
    int base = -1;
    for (;;) {
      const auto known = depth_.find(at->offset());
      if (known != depth_.end()) {
        base = known->second;
        break;
      }
      // A chain that comes back on itself reaches no start.
      if (!on_chain.insert(at->offset()).second) break;
      // A chain longer than the limit reaches nothing the walk lists.
      if (chain.size() > static_cast<std::size_t>(max_depth_)) return -1;
      chain.push_back(at->offset());
      at = listing_parent(*at, error);
      if (error != 0) return -1;
      if (!at) break;
    }
    // Each key of the chain is one level below the next.
    for (std::size_t i = chain.size(); i-- > 0;) {
      depth_[chain[i]] = base < 0 ? -1 : base + static_cast<int>(chain.size() - i);
    }
    return depth_[key.offset()];
  }

  // The key `key`'s parent field names, when it is a key node that lists `key`.
  std::optional<Key> listing_parent(const Key& key, int& error) {
    if (!spend(1)) return std::nullopt;
    errno = 0;
    Key parent = key.named_parent();
    if ((error = errno) != 0) return std::nullopt;
    if (checks::judge_element(extent_, checks::Items::subkeys, parent.offset(),
                              parent.record().signature) != checks::Element::sound) {
      return std::nullopt;
    }
    const std::vector<std::uint32_t>* listed = subkeys_of(parent, error);
    if (listed == nullptr ||
        !std::binary_search(listed->begin(), listed->end(), key.offset())) {
      return std::nullopt;
    }
    return parent;
  }

  // The offsets of the sound subkeys `key` lists, sorted, read as the walk reads them;
  // none when the reads allowed are spent or a read failed. Kept by list and count, as
  // damaged keys may share a list.
  const std::vector<std::uint32_t>* subkeys_of(const Key& key, int& error) {
    const KeyRecord& r = key.record();
    const std::uint64_t which =
        std::uint64_t{r.subkey_list} << 32 | static_cast<std::uint32_t>(r.subkey_count);
    const auto kept = lists_.find(which);
    if (kept != lists_.end()) return &kept->second;
    errno = 0;
    const Subkeys list = key.subkeys();
    if (!spend(static_cast<std::uint32_t>(std::max(list.size(), 0)) + 1)) return nullptr;
    std::vector<std::uint32_t> offsets;
    for (const Key& k : list) offsets.push_back(k.offset());
    if ((error = errno) != 0) return nullptr;
    std::sort(offsets.begin(), offsets.end());
    return &lists_.emplace(which, std::move(offsets)).first->second;
  }

  bool spend(std::uint32_t n) {
    if (n > reads_left_) {
      reads_left_ = 0;
      return false;
    }
    reads_left_ -= n;
    return true;
  }

  int max_depth_;
  checks::Extent extent_;
  std::uint32_t reads_left_ = kReads;
  std::unordered_map<std::uint32_t, int> depth_;  // by key offset: -1 when not reached
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> lists_;
};

class Walker {
 public:
  Walker(const Hive& hive, const Start& start, int max_depth, const CodeSet& code_set,
         Findings& findings, Progress& progress, Sink& sink)
      : start_(start),
        max_depth_(max_depth),
        code_set_(code_set),
        findings_(findings),
        progress_(progress),
        sink_(sink),
        extent_(extent_of(*hive.handle())),
        lists_{extent_, findings_, lost_},
        parentage_(start, max_depth, extent_),
        seen_(extent_.file_size),
        subkeys_left_(extent_.file_size / 8 + 1),
        values_left_(extent_.file_size / 4 + 1),
        data_left_(extent_.file_size) {}

  Counts run() {
    for (const Ancestor& a : start_.above) seen_.insert(a.offset);
    seen_.insert(start_.key.offset());
    paths_.start(start_.path);
    enter(start_.key, start_.name, start_.name_whole);
    while (!frames_.empty()) {
      Frame& top = frames_.back();
      if (!stopped_ && top.list && top.scan.more()) {
        next_subkey(top);  // `top` may dangle from here on
      } else {
        leave(top);
      }
    }
    if (lost_.keys + lost_.values + lost_.data > 0) findings_.add(lost_);
    return counts_;
  }

 private:
  struct Frame {
    Key key;
    std::string name;
    bool name_whole;
    std::string unreadable;  // why the name is not whole; empty when it is
    std::optional<Subkeys> list;
    ListScan scan;
    std::int32_t subkeys_not_read = 0;
    std::string subkeys_not_read_reason;
    // What the followed lists leave out for damage, by reason, and in words.
    SkipCounts value_skips{};
    SkipCounts key_skips{};
    std::int32_t subkeys_taken = 0;
    std::int32_t index = -1;  // in the parent's list
    std::string values_skipped;
    std::string subkeys_skipped;
  };

  static Skipped skipped(const SkipCounts& counts, const std::string& words) {
    Skipped s;
    for (std::size_t i = 0; i < counts.size(); ++i) {
      if (counts[i] == 0) continue;
      s.why = s.count == 0 ? static_cast<Skip>(i) : Skip::kSeveral;
      s.count += counts[i];
    }
    s.reason = words;
    return s;
  }

  // The entry for a frame; the path is the deepest key's, so `f` is the top frame.
  KeyEntry view(const Frame& f) const {
    const KeyRecord& r = f.key.record();
    return {f.name,          paths_.text(),       paths_.last_name(),
            static_cast<int>(frames_.size()) - 1, f.name_whole,
            std::uint64_t{r.last_written_high} << 32 | r.last_written_low,
            r.subkey_count,  r.value_count,       start_.chars,
            f.unreadable,    f.subkeys_not_read,  f.subkeys_not_read_reason,
            {skipped(f.value_skips, f.values_skipped), skipped(f.key_skips, f.subkeys_skipped)},
            f.index};
  }

  // Judges the top key's next subkey and enters it when it is sound and new.
  void next_subkey(Frame& top) {
    const std::int32_t index = top.scan.take();
    ++top.subkeys_taken;
    errno = 0;
    Key child = top.list->at(index).first;
    if (const int error = read_failed(top.list->record().offset, Reading::kSubkey, index)) {
      return count_unread_subkey(top, error);
    }
    const Element element =
        top.scan.judge(lists_, paths_.text(), index, child.offset(), child.record().signature);
    if (element != Element::kSound) ++top.key_skips[skip_index(element)];
    if (element == Element::kNoCell || element == Element::kWrongKind) return;
    if (!spend(subkeys_left_, 1, Budget::kSubkeys)) {
      --top.subkeys_taken;  // counted as not reached when the key ends
      return;
    }
    if (element == Element::kPastEnd) {
      return count_past_end(lists_, lost_.keys, child.offset(), 1);
    }
    // A key listed under a key its record does not name is dumped under the one it
    // names when that one lists it and is walked; whichever listing is met first.
    const std::uint32_t named = format::cell_contents(child.record().parent);
    const bool elsewhere = named != top.key.offset();
    if (seen_.contains(child.offset())) {
      ++top.key_skips[index_of(Skip::kListedElsewhere)];
      return report_revisit(child, elsewhere && astray_.count(child.offset()) == 0);
    }
    if (elsewhere) {
      int error = 0;
      const bool there = parentage_.dumped_under_named(child, error);
      if (error != 0) read_failed_with(error, child.offset(), Reading::kSubkeyList, index);
      if (there) {
        ++top.key_skips[index_of(Skip::kListedElsewhere)];
        return report_revisit(child, true);
      }
    }
    seen_.insert(child.offset());
    errno = 0;
    std::string name = child.name();
    if (const int error = read_failed(child.offset(), Reading::kKeyName, index)) {
      return count_unread_subkey(top, error);
    }
    const bool whole =
        paths_.push([&](std::string& path) { return code_set_.append_name(path, name); });
    if (elsewhere) {
      astray_.insert(child.offset());
      findings_.add(ParentElsewhere{child.offset(), paths_.text(), named});
    }
    enter(child, std::move(name), whole, index);
  }

  void enter(const Key& key, std::string name, bool name_whole, std::int32_t index = -1) {
    ++counts_.keys;
    past_bins(key.offset(), format::kNkNameAt);
    progress_.update(counts_.keys, counts_.values);
    std::string unreadable = check_name(key, name);
    frames_.push_back(Frame{key, std::move(name), name_whole, std::move(unreadable),
                            std::nullopt, {}, 0, {}, {}, {}, 0, index, {}, {}});
    const KeyEntry here = view(frames_.back());
    written(sink_.key(here));
    values(key, here, frames_.back().value_skips);
    Frame& entered = frames_.back();
    entered.values_skipped = skipped_reasons(Items::kValues, entered.value_skips);
    // The list is read before the subkeys call, so the writers learn what it leaves out.
    list_subkeys(key);
    sink_.subkeys(view(frames_.back()));
  }

  void leave(Frame& top) {
    top.scan.finish(lists_, paths_.text());
    if (top.list) {
      // Elements the key counts that the scan ended before, after damage or a stop.
      const auto in_file = static_cast<std::int32_t>(std::min<std::uint32_t>(
          elements_in_file(extent_, top.list->record().offset, format::kLfElementsAt,
                           format::kLfElementBytes),
          0x7FFF));
      // A count the file cannot hold is damage of its own, named as such: then only the
      // elements read are known.
      const std::int32_t counted = top.key.record().subkey_count;
      const std::int32_t listed =
          counted <= in_file ? std::min(counted, top.list->size()) : top.subkeys_taken;
      if (listed > top.subkeys_taken) {
        top.key_skips[index_of(Skip::kNotReached)] += listed - top.subkeys_taken;
      }
    }
    top.subkeys_skipped = skipped_reasons(Items::kSubkeys, top.key_skips);
    sink_.key_end(view(top));
    paths_.pop();
    frames_.pop_back();
  }

  // Reports a name the library does not read whole and returns why; empty for a whole one.
  std::string check_name(const Key& key, const std::string& name) {
    const std::size_t stored = key.record().name_length;
    NameProblem problem = NameProblem::kNone;
    if ((key.record().flags & format::kNkCompressedNameFlag) == 0) {
      problem = NameProblem::kUtf16;
    } else if (name.size() != stored) {
      problem = NameProblem::kNotWhole;
    }
    if (problem != NameProblem::kNone) {
      findings_.add(KeyNameUnread{key.offset(), paths_.text(), problem,
                                  static_cast<std::int64_t>(stored)});
    }
    return name_unread(Items::kSubkeys, problem, static_cast<std::int64_t>(stored));
  }

  // Reads and checks the top key's subkey list into its frame; what is not dumped is
  // counted in the frame with the reason, for the writers to say.
  void list_subkeys(const Key& key) {
    Frame& frame = frames_.back();
    const KeyRecord& record = key.record();
    const std::int32_t counted = record.subkey_count;
    // A key whose count is 0 and that names no list has no subkeys; this also spares a
    // read for every leaf. A list named under a count of 0 is read, in case the count
    // is what was damaged.
    if (stopped_ || start_.only_value ||
        (counted == 0 && record.subkey_list == format::kNoCell)) {
      return;
    }
    std::optional<Unread> unread;
    if (static_cast<int>(paths_.depth()) >= max_depth_) {
      if (counted == 0) return;
      unread = Unread{counted, NotRead::kDepthLimit, max_depth_};
      if (start_.depth_limit_is_damage) {
        findings_.add(DepthLimit{key.offset(), paths_.text(), max_depth_});
      }
    } else if (subkey_list_in_file(lists_, paths_.text(), record, key.offset(), unread)) {
      errno = 0;
      const Subkeys& list = frame.list.emplace(key.subkeys());
      const std::uint32_t list_at = format::cell_contents(record.subkey_list);
      if (const int error = read_failed(list_at, Reading::kSubkeyList, 0)) {
        frame.list.reset();
        unread = Unread{counted, NotRead::kReadError, error};
      } else {
        frame.scan = scan_subkeys(lists_, paths_.text(), key.subkey_count(), list.record(),
                                  list.size(), unread);
      }
    }
    if (unread) {
      frame.subkeys_not_read = unread->count;
      frame.subkeys_not_read_reason = subkeys_unread(unread->why, unread->detail);
    }
  }

  void values(const Key& key, const KeyEntry& here, SkipCounts& skips) {
    const KeyRecord& counted = key.record();
    std::optional<ListScan> scan = scan_values(lists_, paths_.text(), counted, key.offset());
    if (!scan) {
      // A list that cannot be followed leaves out every value the key counts.
      if (counted.value_count > 0 && !start_.only_value) {
        const bool past = counted.value_list != format::kNoCell &&
                          place_cell(extent_, format::cell_contents(counted.value_list),
                                     format::kValueListElementBytes) == Place::kPastEnd;
        skips[index_of(past ? Skip::kPastEnd : Skip::kNoCell)] += counted.value_count;
      }
      return;
    }
    errno = 0;
    const Values list = key.values();
    const std::uint32_t list_at = format::cell_contents(counted.value_list);
    const int list_error = read_failed(list_at, Reading::kValueList, 0);
    std::int32_t taken = 0;
    while (scan->more() && !stopped_) {
      const std::int32_t i = scan->take();
      ++taken;
      if (list_error != 0) {
        if (!spend(values_left_, 1, Budget::kValues)) break;
        hand_over_unread(i, list_error, here);
        continue;
      }
      errno = 0;
      const Value value = list.at(i);
      if (const int error = read_failed(list_at, Reading::kValue, i)) {
        hand_over_unread(i, error, here);
        continue;
      }
      const ValueRecord& record = value.record();
      const Element element =
          scan->judge(lists_, paths_.text(), i, record.offset, record.signature);
      if (element != Element::kSound) ++skips[skip_index(element)];
      if (element == Element::kNoCell || element == Element::kWrongKind) continue;
      if (!spend(values_left_, 1, Budget::kValues)) {
        --taken;
        break;
      }
      if (element == Element::kPastEnd) {
        count_past_end(lists_, lost_.values, record.offset, 1);
        continue;
      }
      past_bins(record.offset, format::kVkNameAt);
      if (!hand_over(value, i, here)) break;
    }
    scan->finish(lists_, paths_.text());
    // A count the file cannot hold is damage of its own, named as such: then only the
    // elements read are known.
    const std::int64_t in_file = elements_in_file(
        extent_, format::cell_contents(counted.value_list), 0, format::kValueListElementBytes);
    const std::int64_t listed = counted.value_count <= in_file ? counted.value_count : taken;
    if (listed > taken && !start_.only_value) {
      skips[index_of(Skip::kNotReached)] += static_cast<std::int32_t>(listed - taken);
    }
  }

  static std::size_t index_of(Skip why) { return static_cast<std::size_t>(why); }
  static std::size_t skip_index(Element element) {
    switch (element) {
      case Element::kNoCell: return index_of(Skip::kNoCell);
      case Element::kWrongKind: return index_of(Skip::kWrongKind);
      case Element::kPastEnd: break;
      case Element::kSound: break;
    }
    return index_of(Skip::kPastEnd);
  }

  // Hands a sound value to the sink, unless a single other value is asked for; false
  // when its data is more than the file can still hold, which stops the walk.
  bool hand_over(const Value& value, std::int32_t index, const KeyEntry& here) {
    const ValueRecord& record = value.record();
    const std::int64_t stored = record.name_length;
    errno = 0;
    std::string name = value.has_name() ? value.name() : std::string();
    if (const int error = read_failed(record.offset, Reading::kValueName, index)) {
      hand_over_unread(index, error, here);
      return true;
    }
    const NameProblem problem = !value.has_name() && stored != 0 ? NameProblem::kUtf16
                                : static_cast<std::int64_t>(name.size()) != stored
                                    ? NameProblem::kNotWhole
                                    : NameProblem::kNone;
    // A value asked for by name is never one whose name could not be read.
    if (start_.only_value && (problem != NameProblem::kNone || shown_one_ ||
                              compare_names(name, *start_.only_value) != 0)) {
      return true;
    }
    shown_one_ = start_.only_value.has_value();
    if (problem != NameProblem::kNone) {
      findings_.add(ValueNameUnread{record.offset, paths_.text(), problem, index, escaped(name),
                                    stored});
      name.clear();
    }
    const std::string unreadable = name_unread(Items::kValues, problem, stored);
    const std::uint32_t data_at = format::cell_contents(record.data_offset);
    const std::int32_t length = value.length();
    std::optional<std::vector<std::uint8_t>> bytes;
    // Up to 4 bytes sit in the record itself; only longer data is read from a cell.
    const Place data = length <= format::kVkInlineMaxBytes
                           ? Place::kInFile
                           : place_cell(extent_, data_at, static_cast<std::uint32_t>(length));
    if (data == Place::kPastEnd) {
      count_past_end(lists_, lost_.data, data_at, 1);
    } else if (data == Place::kNoCell) {
      findings_.add(DataNoCell{data_at, paths_.text(), index, problem == NameProblem::kNone,
                               escaped(name), length});
    } else {
      errno = 0;
      bytes = value.bytes();
      if (const int error = read_failed(data_at, Reading::kValueData, index)) {
        // The name was read: the value is handed over by it, its data marked unread.
        const std::string why = read_failed_reason(error);
        ++counts_.values;
        written(sink_.value(here, ValueEntry{name, stored == 0, index,
                                             unreadable.empty() ? why : unreadable,
                                             value.type(), nullptr, length}));
        return true;
      }
      if (length > format::kVkInlineMaxBytes) past_bins(data_at, static_cast<std::uint32_t>(length));
    }
    if (bytes && length > format::kVkInlineMaxBytes &&
        !spend(data_left_, static_cast<std::uint32_t>(length), Budget::kData)) {
      return false;
    }
    ++counts_.values;
    const ValueEntry entry{name,         stored == 0,  index, unreadable,
                           value.type(), bytes ? &*bytes : nullptr, length};
    written(sink_.value(here, entry));
    return true;
  }

  // errno after a call into the library, reported as a read error of what it was reading
  // (`at` the record it reads from, `index` the subkey's or value's); 0 when none failed.
  int read_failed(std::uint32_t at, Reading reading, std::int32_t index) {
    return read_failed_with(errno, at, reading, index);
  }
  int read_failed_with(int error, std::uint32_t at, Reading reading, std::int32_t index) {
    if (error == 0) return 0;
    findings_.add(ReadFailed{at, paths_.text(), reading, index, error});
    return error;
  }

  static std::string read_failed_reason(int error) { return dump::read_failed(error); }

  // A subkey of the top key whose reading failed: counted among those not dumped.
  void count_unread_subkey(Frame& top, int error) {
    ++top.subkeys_not_read;
    top.subkeys_not_read_reason = read_failed_reason(error);
  }

  // A value whose record or name could not be read, marked in its place by its index.
  void hand_over_unread(std::int32_t index, int error, const KeyEntry& here) {
    if (start_.only_value) return;  // it cannot be told whether this was the one asked for
    const std::string why = read_failed_reason(error);
    ++counts_.values;
    written(sink_.value(here, ValueEntry{{}, false, index, why, 0, nullptr, 0}));
  }

  // A name as a .reg string writes it, for the findings to quote.
  std::string escaped(std::string_view name) const {
    std::string out;
    code_set_.append_name(out, name, true);
    return out;
  }

  // Reports a record or data that lies in the file past the bins the base block declares:
  // the library reads it, but a sound hive keeps all it holds inside its bins.
  void past_bins(std::uint32_t at, std::uint32_t bytes) {
    if (extent_.cut() || at + std::uint64_t{bytes} <= extent_.hive_end) return;
    findings_.add(PastBins{at, paths_.text(), extent_.hive_end});
  }

  // A subkey of the top key not entered: a loop, or a key dumped elsewhere; `under_named`
  // when that is under the key its parent field names, which the top key is not.
  void report_revisit(const Key& child, bool under_named) {
    std::string path(paths_.text());
    path += '\\';
    code_set_.append_name(path, child.name());
    for (const Ancestor& a : start_.above) {
      if (a.offset == child.offset()) return findings_.add(LoopBack{a.offset, path, a.path});
    }
    for (std::size_t level = 0; level < frames_.size(); ++level) {
      if (frames_[level].key.offset() == child.offset()) {
        return findings_.add(LoopBack{child.offset(), path, paths_.up_to(level)});
      }
    }
    if (under_named) {
      return findings_.add(ListedTwice{child.offset(), path,
                                       format::cell_contents(child.record().parent)});
    }
    findings_.add(SharedKey{child.offset(), path});
  }

  // Takes `n` from a budget; false, and the walk stopped, when less than that is left.
  bool spend(std::uint32_t& left, std::uint32_t n, Budget budget) {
    if (n > left) {
      findings_.add(TooMuch{kNoOffset, budget});
      stopped_ = true;
      return false;
    }
    left -= n;
    return true;
  }

  void written(Unwritten what) {
    if (what) findings_.add(NotWritten{kNoOffset, paths_.text(), std::move(what)});
  }

  const Start& start_;
  int max_depth_;
  const CodeSet& code_set_;
  Findings& findings_;
  Progress& progress_;
  Sink& sink_;
  Extent extent_;
  LostPastEnd lost_;
  ListContext lists_;
  Parentage parentage_;
  SeenKeys seen_;
  // Keys kept under a key their parent field does not name: met again, they are shared.
  std::unordered_set<std::uint32_t> astray_;
  std::uint32_t subkeys_left_;
  std::uint32_t values_left_;
  std::uint32_t data_left_;
  bool stopped_ = false;
  bool shown_one_ = false;  // the one value asked for has been handed over
  std::vector<Frame> frames_;
  PathBuilder<std::string> paths_;
  Counts counts_;
};

}  // namespace

Counts walk(const Hive& hive, const Start& start, int max_depth, const CodeSet& code_set,
            Findings& findings, Progress& progress, Sink& sink) {
  return Walker(hive, start, max_depth, code_set, findings, progress, sink).run();
}

}  // namespace vesk::dump
