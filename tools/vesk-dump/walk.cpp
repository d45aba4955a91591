// An explicit stack rather than recursion, so no hive and no depth limit can exhaust the
// machine's stack. Every key, value, list and data run is checked against the file
// before it is trusted; what fails is reported and skipped, and its siblings are read.
// The budgets follow from the layout: every subkey reference takes 8 bytes of an "lf"
// list, every value reference 4 bytes of a value list, and every byte of data longer
// than 4 bytes a byte of its own cell, so a hive whose sound cells ask for more than
// that is sharing or inventing them, and the walk stops reading there. Cells that fail
// their checks are not charged; a list stops being read after a run of them instead.
#include "walk.h"

#include <algorithm>

#include "checks.h"
#include "layout.h"

#include <cstdio>
#include <unordered_set>
#include <utility>

namespace vesk::dump {
namespace {

// Key offsets already walked: a bit per 8-byte cell position for the offsets a sound
// hive has (contents 4 bytes into an 8-aligned cell, inside the file), a set for others.
class SeenKeys {
 public:
  explicit SeenKeys(std::uint32_t file_size)
      : limit_(file_size), bits_((file_size >> 9) + 1, 0) {}

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

// Past its trusted count a list is read only while its elements pass; within it, this
// many failures in a row end the list (real damage rarely hits more neighbours).
constexpr std::int32_t kFailuresInARow = 8;

std::string plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// What the elements of a list must name, and how messages call them.
struct Items {
  const char* one;
  const char* many;
  const char* node;
  Finding no_cell;
  Finding no_node;
  std::uint16_t signature;
  std::uint32_t fixed_bytes;  // of the node, before its name
};
constexpr Items kSubkeyItems{"subkey", "subkeys", "key node", Finding::kKeyNoCell,
                             Finding::kKeyNotNk, format::kSigNk, format::kNkNameAt};
constexpr Items kValueItems{"value", "values", "value node", Finding::kValueNoCell,
                            Finding::kValueNotVk, format::kSigVk, format::kVkNameAt};

class Walker {
 public:
  Walker(const Hive& hive, const Start& start, int max_depth, const CodeSet& code_set,
         Report& report, Progress& progress, Sink& sink)
      : start_(start),
        max_depth_(max_depth),
        code_set_(code_set),
        report_(report),
        progress_(progress),
        sink_(sink),
        file_size_(static_cast<std::uint32_t>(hive.handle()->file_size)),
        extent_(extent_of(*hive.handle())),
        seen_(file_size_),
        subkeys_left_(file_size_ / 8 + 1),
        values_left_(file_size_ / 4 + 1),
        data_left_(file_size_) {}

  Counts run() {
    for (const Ancestor& a : start_.above) seen_.insert(a.offset);
    seen_.insert(start_.key.offset());
    path_ = start_.path;
    enter(start_.key, start_.name, start_.name_whole);
    while (!frames_.empty()) {
      Frame& top = frames_.back();
      if (!stopped_ && top.list && top.scan.next < top.scan.end) {
        const std::int32_t index = top.scan.next++;
        Key child = top.list->at(index).first;
        const Place place = judge(top.scan, kSubkeyItems, index, child.offset(),
                                  child.record().signature);
        if (place == Place::kNoCell) continue;
        if (subkeys_left_-- == 0) {
          stop("more subkey references than a file of this size holds");
          continue;
        }
        if (place == Place::kPastEnd) {
          past_end(past_end_keys_, child.offset(), 1);
          continue;
        }
        if (!seen_.insert(child.offset())) {
          report_revisit(child);
          continue;
        }
        std::string name = child.name();
        const std::size_t cut = path_.size();
        path_ += '\\';
        const bool whole = code_set_.append_name(path_, name);
        enter(child, std::move(name), whole, cut);  // `top` may dangle from here on
      } else {
        flush(top.scan, kSubkeyItems);
        sink_.key_end(view(top));
        path_.resize(top.cut);
        frames_.pop_back();
      }
    }
    report_past_end();
    return counts_;
  }

 private:
  // The reading of one list: which elements to read, and the run of failed ones not yet
  // reported (consecutive elements that failed the same way make one message).
  struct Scan {
    std::int32_t next = 0;
    std::int32_t end = 0;      // elements inside the file, up to the list's count
    std::int32_t trusted = 0;  // elements the counts agree on
    std::int32_t in_row = 0;   // failures since the last sound element
    std::int32_t first = -1;   // the run: elements first..last
    std::int32_t last = -1;
    std::uint32_t first_at = 0;
    std::int32_t no_cell = 0;  // how many of them point to no cell, the first at no_cell_at
    std::int32_t no_node = 0;  // and how many to a cell of the wrong kind
    std::uint32_t no_cell_at = 0;
    std::uint32_t no_node_at = 0;
  };

  struct Frame {
    Key key;
    std::string name;
    bool name_whole;
    std::optional<Subkeys> list;
    Scan scan;
    std::size_t cut;  // path_ without this key's name
    std::string unreadable;  // why the name is not whole; empty when it is
    std::int32_t subkeys_not_read = 0;
    std::string subkeys_not_read_reason;
  };

  KeyEntry view(const Frame& f) const {
    const KeyRecord& r = f.key.record();
    return {f.name, path_, static_cast<int>(frames_.size()) - 1, f.name_whole,
            std::uint64_t{r.last_written_high} << 32 | r.last_written_low, r.subkey_count,
            r.value_count, start_.chars, f.unreadable, f.subkeys_not_read,
            f.subkeys_not_read_reason};
  }

  void enter(const Key& key, std::string name, bool name_whole, std::size_t cut = 0) {
    ++counts_.keys;
    progress_.update(counts_.keys, counts_.values);
    const int depth = static_cast<int>(frames_.size());
    std::string unreadable = check_name(key, name);
    frames_.push_back(Frame{key, std::move(name), name_whole, std::nullopt, {}, cut,
                            std::move(unreadable), 0, {}});
    const KeyEntry here = view(frames_.back());
    sink_.key(here);
    values(key, here);
    // The list is read before the subkeys call, so the writers learn what it leaves out.
    list_subkeys(key, depth);
    sink_.subkeys(view(frames_.back()));
  }

  // Reads and checks the key's subkey list into its frame; what is not dumped is counted
  // in the frame with the reason, for the writers to say.
  void list_subkeys(const Key& key, int depth) {
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
    if (depth >= max_depth_) {
      if (counted != 0) {
        not_read(frame, counted, "the depth limit is " + std::to_string(max_depth_));
        if (start_.depth_limit_is_damage) {
          report_.found(Finding::kDepthLimit, key.offset(),
                        "subkeys of " + path_ + " are not dumped: the depth limit is " +
                            std::to_string(max_depth_));
        }
      }
      return;
    }
    const std::uint32_t at = format::cell_contents(record.subkey_list);
    switch (place_cell(extent_, at, format::kLfHeaderBytes)) {
      case Place::kInFile:
        break;
      case Place::kPastEnd:
        // An "lf" list holds at most 0x7FFF elements, whatever a damaged count says.
        if (counted > 0) {
          past_end(past_end_keys_, at, std::min(counted, 0x7FFF));
          not_read(frame, counted, "their list lies past the end of the file");
        }
        return;
      case Place::kNoCell:
        if (counted != 0 && record.subkey_list == format::kNoCell) {
          report_.found(Finding::kCountMismatch, key.offset(),
                        "key " + path_ + ": counts " + std::to_string(counted) +
                            " subkeys, but names no list (key at " + hex_offset(key.offset()) +
                            ")");
          not_read(frame, counted, "the key names no list for them");
        } else if (counted != 0) {
          report_.found(Finding::kListNoCell, key.offset(),
                        its(counted, "subkeys") + " are not dumped: their list's offset " +
                            hex_offset(at) +
                            " is no cell in the file");
          not_read(frame, counted, "their list's offset is no cell in the file");
        }
        return;
    }
    const Subkeys& list = frame.list.emplace(key.subkeys());
    check_list(frame, list);
  }

  void not_read(Frame& frame, std::int32_t count, std::string why) {
    frame.subkeys_not_read = count;
    frame.subkeys_not_read_reason = std::move(why);
  }

  // The library follows "lf" lists only. Subkeys that hang under any other list would
  // be missing from the dump without a word, so each such key is named. Where the key's
  // count and its list's disagree, one of them is damaged: the elements both agree on
  // are read, and those past that only while each is a sound key.
  void check_list(Frame& frame, const Subkeys& list) {
    Scan& scan = frame.scan;
    const KeyListRecord& record = list.record();
    const std::int32_t counted = frame.key.subkey_count();
    if (record.signature != format::kSigLf) {
      if (counted == 0) return;  // a stale offset under a key without subkeys
      const char first = static_cast<char>(record.signature & 0xFF);
      const char second = static_cast<char>(record.signature >> 8);
      const bool known = (first == 'l' && (second == 'i' || second == 'h')) ||
                         (first == 'r' && second == 'i');
      if (known) {
        const std::string what = std::string("their list is an \"") + first + second +
                                 "\" list, which the library does not read";
        report_.found(Finding::kOtherListKind, record.offset,
                      its(counted, "subkeys") + " are not dumped: " + what);
        not_read(frame, counted, what);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(record.signature));
        report_.found(Finding::kListNotLf, record.offset,
                      its(counted, "subkeys") + " are not dumped: their list at " +
                          hex_offset(record.offset) +
                          " has no \"lf\" signature (0x" + hex + ")");
        not_read(frame, counted, std::string("their list has no \"lf\" signature (0x") + hex + ")");
      }
      return;
    }
    const std::int32_t held = list.size();
    const auto fit = static_cast<std::int32_t>(std::min<std::uint32_t>(
        elements_in_file(extent_, record.offset, format::kLfElementsAt, format::kLfElementBytes),
        0x7FFF));
    scan.end = std::min(held, fit);
    scan.trusted = std::min(std::max(counted, 0), scan.end);
    if (record.count != counted) {
      std::string what = "key " + path_ + ": counts " + std::to_string(counted) +
                         " subkeys, but its list at " + hex_offset(record.offset) + " holds " +
                         std::to_string(record.count);
      if (held > counted && counted == 0) {
        what += "; they are dumped while each is a sound key";
      } else if (held > counted && counted > 0) {
        what += "; its first " + std::to_string(counted) +
                " are dumped, and the others while each is a sound key";
      } else {
        what += "; the list's are dumped";
      }
      report_.found(Finding::kCountMismatch, record.offset, what);
    }
    if (held > fit) {
      const std::uint64_t end =
          record.offset + format::kLfElementsAt + std::uint64_t{format::kLfElementBytes} * held;
      if (extent_.cut() && end <= extent_.hive_end) {
        past_end(past_end_keys_, record.offset, held - fit);
      } else {
        report_.found(Finding::kCountTooLarge, record.offset,
                      "key " + path_ + ": its list at " + hex_offset(record.offset) +
                          " counts " + std::to_string(held) + " subkeys, but the file holds " +
                          std::to_string(fit) + " from there on; those are read while each is a"
                          " sound key");
        scan.trusted = 0;
      }
    }
  }

  // Whether an element of a list names a cell of the list's kind inside the file. A
  // failure joins the scan's run of failures, and may end the scan.
  Place judge(Scan& scan, const Items& items, std::int32_t index, std::uint32_t at,
              std::uint16_t signature) {
    Place place = place_cell(extent_, at, items.fixed_bytes);
    if (place == Place::kNoCell) {
      failed(scan, items, false, index, at);
    } else if (place == Place::kInFile && signature != items.signature) {
      failed(scan, items, true, index, at);
      place = Place::kNoCell;
    } else if (place == Place::kInFile) {
      flush(scan, items);
      scan.in_row = 0;
    }
    return place;
  }

  void failed(Scan& scan, const Items& items, bool cell_found, std::int32_t index,
              std::uint32_t at) {
    if (scan.first >= 0 && scan.last + 1 != index) flush(scan, items);
    if (scan.first < 0) {
      scan.first = index;
      scan.first_at = at;
    }
    scan.last = index;
    if (!cell_found && scan.no_cell++ == 0) scan.no_cell_at = at;
    if (cell_found && scan.no_node++ == 0) scan.no_node_at = at;
    if (index >= scan.trusted || ++scan.in_row >= kFailuresInARow) {
      flush(scan, items, scan.end - index - 1);
      scan.next = scan.end;
    }
  }

  // Reports the scan's run of failed elements, if any, and how many after it are left unread.
  void flush(Scan& scan, const Items& items, std::int32_t unread = 0) {
    if (scan.first < 0) return;
    const std::int32_t n = scan.last - scan.first + 1;
    std::string what = "key " + path_ + ": ";
    what += n == 1 ? std::string(items.one) + " " + std::to_string(scan.first)
                   : std::string(items.many) + " " + std::to_string(scan.first) + " to " +
                         std::to_string(scan.last);
    const std::string node = items.node;
    if (scan.no_node == 0) {
      what += (n == 1 ? " points" : " point") + std::string(" to no cell in the file");
    } else if (scan.no_cell == 0) {
      what += n == 1 ? " is no " + node : " are no " + node + "s";
    } else {
      what += " point to no cell in the file or are no " + node + "s";
    }
    what += (n == 1 ? " (at " : " (the first at ") + hex_offset(scan.first_at) + "); skipped";
    if (unread > 0) {
      what += ", and the list's last " + plural(unread, items.one, items.many) + " not read";
    }
    if (scan.no_cell > 0) report_.tally(items.no_cell, scan.no_cell_at, scan.no_cell);
    if (scan.no_node > 0) report_.tally(items.no_node, scan.no_node_at, scan.no_node);
    report_.print(what, n);
    scan.first = -1;
    scan.no_cell = 0;
    scan.no_node = 0;
  }

  // "key PATH: its N things", the start of a message about the current key's lists.
  std::string its(std::int32_t n, const char* things) const {
    return "key " + path_ + ": its " + std::to_string(n) + " " + things;
  }

  // A reference into the part of the hive a cut file lost: counted, reported at the end.
  void past_end(std::int64_t& counter, std::uint32_t at, std::int64_t n) {
    counter += n;
    report_.tally(Finding::kPastEnd, at, n);
  }

  void report_past_end() {
    std::string parts[3];
    int n = 0;
    if (past_end_keys_ > 0) parts[n++] = plural(past_end_keys_, "key", "keys");
    if (past_end_values_ > 0) parts[n++] = plural(past_end_values_, "value", "values");
    if (past_end_data_ > 0) parts[n++] = "the data of " + plural(past_end_data_, "value", "values");
    if (n == 0) return;
    std::string what = parts[0];
    for (int i = 1; i < n; ++i) what += (i == n - 1 ? " and " : ", ") + parts[i];
    const bool one = past_end_keys_ + past_end_values_ + past_end_data_ == 1;
    report_.note(what + (one ? " lies" : " lie") + " past the end of the cut file; not dumped");
  }

  // Reports a name the library does not read whole and returns why; empty for a whole one.
  std::string check_name(const Key& key, const std::string& name) {
    const std::size_t stored = key.record().name_length;
    std::string why;
    if ((key.record().flags & format::kNkCompressedNameFlag) == 0) {
      why = "name stored as UTF-16, read only up to its first zero byte";
      report_.found(Finding::kUtf16KeyName, key.offset(),
                    "key " + path_ + ": its name is stored as UTF-16, which the library reads"
                    " only up to the first zero byte");
    } else if (name.size() != stored) {
      why = "name of " + std::to_string(stored) + " bytes not read whole";
      report_.found(Finding::kNameNotWhole, key.offset(),
                    "key " + path_ + ": its name of " + std::to_string(stored) +
                        " bytes could not be read whole");
    }
    return why;
  }

  // The key's value list, checked: a count the file can hold, a list inside the file.
  // Fills `scan` and returns true when there is anything to read.
  bool value_list(const Key& key, Scan& scan) {
    const KeyRecord& record = key.record();
    const std::int32_t count = record.value_count;
    if (count == 0 || record.value_list == format::kNoCell) return false;
    if (count < 0) {
      report_.found(Finding::kCountTooLarge, key.offset(),
                    its(count, "values") + " are not dumped: a count cannot be negative (key at " +
                        hex_offset(key.offset()) + ")");
      return false;
    }
    const std::uint32_t at = format::cell_contents(record.value_list);
    switch (place_cell(extent_, at, format::kValueListElementBytes)) {
      case Place::kInFile:
        break;
      case Place::kPastEnd:
        past_end(past_end_values_, at, count);
        return false;
      case Place::kNoCell:
        report_.found(Finding::kListNoCell, key.offset(),
                      its(count, "values") + " are not dumped: their list's offset " +
                          hex_offset(at) +
                          " is no cell in the file");
        return false;
    }
    const std::uint32_t fit =
        elements_in_file(extent_, at, 0, format::kValueListElementBytes);
    scan.end = static_cast<std::int32_t>(std::min<std::uint32_t>(fit, count));
    scan.trusted = scan.end;
    if (scan.end < count) {
      const std::uint64_t end = at + std::uint64_t{format::kValueListElementBytes} * count;
      if (extent_.cut() && end <= extent_.hive_end) {
        past_end(past_end_values_, at, count - scan.end);
      } else {
        report_.found(Finding::kCountTooLarge, at,
                      "key " + path_ + ": counts " + std::to_string(count) +
                          " values, but the file holds " + std::to_string(fit) +
                          " from their list at " + hex_offset(at) +
                          " on; those are read while each is a sound value");
        scan.trusted = 0;
      }
    }
    return true;
  }

  void values(const Key& key, const KeyEntry& here) {
    Scan scan;
    if (!value_list(key, scan)) return;
    const Values list = key.values();
    while (scan.next < scan.end && !stopped_) {
      const std::int32_t i = scan.next++;
      Value value = list.at(i);
      const Place place = judge(scan, kValueItems, i, value.record().offset,
                                value.record().signature);
      if (place == Place::kNoCell) continue;
      if (values_left_-- == 0) {
        stop("more value references than a file of this size holds");
        break;
      }
      if (place == Place::kPastEnd) {
        past_end(past_end_values_, value.record().offset, 1);
        continue;
      }
      const std::size_t stored = value.record().name_length;
      std::string name = value.has_name() ? value.name() : std::string();
      std::string unreadable;
      if (!value.has_name() && stored != 0) {
        unreadable = "name stored as UTF-16";
      } else if (name.size() != stored) {
        unreadable = "name of " + std::to_string(stored) + " bytes not read whole";
      }
      // A value asked for by name is never one whose name could not be read.
      if (start_.only_value && (!unreadable.empty() || shown_one_ ||
                                compare_names(name, *start_.only_value) != 0)) {
        continue;
      }
      shown_one_ = start_.only_value.has_value();
      if (!value.has_name() && stored != 0) {
        report_.found(Finding::kUtf16ValueName, value.record().offset,
                      "value " + std::to_string(i) + " of " + path_ +
                          ": its name is stored as UTF-16, which the library does not read;"
                          " not shown as a name");
      } else if (!unreadable.empty()) {
        report_.found(Finding::kNameNotWhole, value.record().offset,
                      "value " + display(name) + " of " + path_ + ": its name of " +
                          std::to_string(stored) + " bytes could not be read whole");
        name.clear();
      }
      const bool is_default = stored == 0;
      const std::string shown_name = unreadable.empty() ? display(name) : std::to_string(i);
      const std::uint32_t data_at = format::cell_contents(value.record().data_offset);
      const std::int32_t length = value.length();
      std::optional<std::vector<std::uint8_t>> bytes;
      // Up to 4 bytes sit in the record itself; only longer data is read from a cell.
      const Place data = length <= format::kVkInlineMaxBytes
                             ? Place::kInFile
                             : place_cell(extent_, data_at, static_cast<std::uint32_t>(length));
      if (data == Place::kPastEnd) {
        past_end(past_end_data_, data_at, 1);
      } else if (data == Place::kNoCell) {
        report_.found(Finding::kDataNoCell, data_at,
                      "value " + shown_name + " of " + path_ + ": data size " +
                          std::to_string(length) + " at " + hex_offset(data_at) +
                          " does not fit in the file; data not shown");
      } else {
        bytes = value.bytes();
      }
      if (bytes && length > 4) {
        const auto size = static_cast<std::uint32_t>(length);
        if (size > data_left_) {
          stop("more value data than a file of this size holds");
          break;
        }
        data_left_ -= size;
      }
      ++counts_.values;
      const ValueEntry entry{name,   is_default, i, unreadable, value.type(),
                             bytes ? &*bytes : nullptr, length};
      sink_.value(here, entry);
    }
    flush(scan, kValueItems);
  }

  std::string display(std::string_view name) const {
    if (name.empty()) return "@";
    std::string out = "\"";
    code_set_.append_name(out, name, true);
    return out + "\"";
  }

  void report_revisit(const Key& child) {
    std::string path = path_ + "\\";
    code_set_.append_name(path, child.name());
    for (const Ancestor& a : start_.above) {
      if (a.offset == child.offset()) return followed_back(path, a.path, a.offset);
    }
    for (const Frame& f : frames_) {
      if (f.key.offset() == child.offset()) {
        const std::size_t end = &f == &frames_.back() ? path_.size() : (&f + 1)->cut;
        return followed_back(path, path_.substr(0, end), child.offset());
      }
    }
    report_.found(Finding::kShared, child.offset(),
                  "key " + path + " was already dumped under another key; not followed again");
  }

  void followed_back(const std::string& path, const std::string& ancestor, std::uint32_t at) {
    report_.found(Finding::kLoop, at,
                  "key " + path + " leads back to its ancestor " + ancestor + "; not followed");
  }

  void stop(const std::string& why) {
    report_.stop("the hive holds " + why + "; the rest is not dumped");
    stopped_ = true;
  }

  const Start& start_;
  int max_depth_;
  const CodeSet& code_set_;
  Report& report_;
  Progress& progress_;
  Sink& sink_;
  std::uint32_t file_size_;
  Extent extent_;
  SeenKeys seen_;
  std::uint32_t subkeys_left_;
  std::uint32_t values_left_;
  std::uint32_t data_left_;
  bool stopped_ = false;
  std::int64_t past_end_keys_ = 0;
  std::int64_t past_end_values_ = 0;
  std::int64_t past_end_data_ = 0;
  bool shown_one_ = false;  // the one value asked for has been handed over
  std::vector<Frame> frames_;
  std::string path_;
  Counts counts_;
};

}  // namespace

Counts walk(const Hive& hive, const Start& start, int max_depth, const CodeSet& code_set,
            Report& report, Progress& progress, Sink& sink) {
  return Walker(hive, start, max_depth, code_set, report, progress, sink).run();
}

}  // namespace vesk::dump
