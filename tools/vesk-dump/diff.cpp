// The walk of two hives at once. Each pair of keys with the same name is read whole on
// both sides (its values and its subkeys' names, nothing deeper), the two are sorted and
// merged by name, and the key's own changes are handed over before its common subkeys
// are entered; so memory holds the names of one key per level, never a hive. Lists are
// judged as a dump judges them (list_scan.h, placement.h), with the same budgets, and
// no key is entered twice on either side. Whatever a side did not read whole (a finding
// was made while reading it) leaves the names only on the other side "not compared".
// An added or removed subtree is walked by the dump's own walk, for its counts and for
// a writer that writes it out.
#include "diff.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "code_set.h"
#include "diff_writers.h"
#include "dump.h"
#include "layout.h"
#include "list_scan.h"
#include "messages.h"
#include "output.h"
#include "path_builder.h"
#include "placement.h"
#include "progress.h"
#include "report.h"
#include "vesk/hive.hpp"
#include "walk.h"

namespace vesk::dump {
namespace {

// A Report that also tells damage from what the library cannot read, and counts the
// findings that leave a list not read whole.
class SideReport : public Findings {
 public:
  SideReport(std::ostream& err, const std::string& file, Progress& progress)
      : report_(err, file, progress) {}
  void add(const Finding& finding) override {
    // A run of skipped list elements is damage, though it names no kind of its own.
    const Kind kind = std::visit(
        [](const auto& f) {
          if constexpr (std::is_same_v<std::decay_t<decltype(f)>, SkippedRun>) {
            return Kind::kKeyNoCell;
          } else {
            return kind_of(f);
          }
        },
        finding);
    if (kind < Kind::kUtf16KeyName)
      ++damage_;
    else if (kind < Kind::kCount_)
      ++unreadable_;
    // A name not read whole leaves its own item unmatched, not the rest of its list.
    if (kind != Kind::kUtf16KeyName && kind != Kind::kUtf16ValueName &&
        kind != Kind::kNameNotWhole) {
      ++made_;
    }
    ++all_;
    report_.add(finding);
  }
  Report& report() { return report_; }
  std::int64_t made() const { return made_; }
  std::int64_t all() const { return all_; }
  bool damage() const { return damage_ > 0; }
  bool unreadable() const { return unreadable_ > 0; }

 private:
  Report report_;
  std::int64_t made_ = 0;
  std::int64_t all_ = 0;
  std::int64_t damage_ = 0;
  std::int64_t unreadable_ = 0;
};

class Counter : public Sink {
 public:
  Unwritten key(const KeyEntry&) override { return {}; }
  Unwritten value(const KeyEntry&, const ValueEntry&) override { return {}; }
  void subkeys(const KeyEntry&) override {}
  void key_end(const KeyEntry&) override {}
};

struct SubkeyItem {
  std::string name;
  Key key;
  std::string unreadable;  // why the name is not read whole
};

// One key as one side holds it, its names sorted as the registry compares them.
struct KeyRead {
  std::vector<ValueItem> values;
  std::vector<SubkeyItem> subkeys;
  bool values_whole = true;
  bool subkeys_whole = true;
  // What cannot be matched by name, kept out of the lists: for each, the name of the
  // subkey it is (empty for a value of the key) and why.
  std::vector<std::pair<std::string, std::string>> unread;
};

// Moves the items whose names are not read whole out of `items` into `unread`.
template <class Item, class Why>
void set_apart(std::vector<Item>& items, KeyRead& read, Why&& why) {
  auto whole = std::stable_partition(items.begin(), items.end(),
                                     [](const Item& i) { return i.unreadable.empty(); });
  for (auto i = whole; i != items.end(); ++i) read.unread.push_back(why(*i));
  items.erase(whole, items.end());
}

template <class Item>
void sort_by_name(std::vector<Item>& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const Item& a, const Item& b) { return compare_names(a.name, b.name) < 0; });
}

// One hive's side of the walk: what a dump's walk keeps, for reading one key at a time.
class Side {
 public:
  Side(const Hive& hive, SideReport& findings, bool is_old)
      : is_old_(is_old),
        hive_(hive),
        findings_(findings),
        extent_(extent_of(*hive.handle())),
        lists_{extent_, findings_, lost_},
        seen_bits_(extent_.file_size / 8 + 1, false),
        subkeys_left_(extent_.file_size / 8 + 1),
        values_left_(extent_.file_size / 4 + 1),
        data_left_(extent_.file_size) {}

  const Hive& hive() const { return hive_; }
  bool is_old() const { return is_old_; }
  SideReport& findings() { return findings_; }
  void finish() {
    if (lost_.keys + lost_.values + lost_.data > 0) findings_.add(lost_);
  }

  // True the first time a key is entered.
  bool enter(std::uint32_t offset) {
    if ((offset & 7) != 4 || offset >= extent_.file_size) return others_.insert(offset).second;
    if (seen_bits_[offset / 8]) return false;
    seen_bits_[offset / 8] = true;
    return true;
  }

  // Reads `key`'s values, and its subkeys' names unless `names_too` is false; `path` is
  // the key's printed path, for the findings.
  KeyRead read(const Key& key, const std::string& path, bool names_too) {
    KeyRead out;
    std::int64_t before = findings_.made();
    read_values(key, path, out.values);
    out.values_whole = findings_.made() == before && !stopped_;
    if (!names_too) {
      out.subkeys_whole = key.record().subkey_count == 0;
      return out;
    }
    before = findings_.made();
    read_subkeys(key, path, out.subkeys);
    out.subkeys_whole = findings_.made() == before && !stopped_;
    set_apart(out.values, out, [this](const ValueItem& v) {
      return std::make_pair(std::string(), why_not_compared(Uncompared::kValueNameUnread,
                                                            is_old_, v.index, v.unreadable));
    });
    set_apart(out.subkeys, out, [this](const SubkeyItem& k) {
      return std::make_pair(
          k.name, why_not_compared(Uncompared::kSubkeyNameUnread, is_old_, 0, k.unreadable));
    });
    sort_by_name(out.values);
    sort_by_name(out.subkeys);
    return out;
  }

  // Whether the budget of subkeys still allows a walk of a subtree; what a walk read is
  // taken from it afterwards, so keys shared between subtrees cannot be walked over and
  // over.
  bool can_walk() {
    if (subkeys_left_ > 0) return true;
    spend(subkeys_left_, 1, Budget::kSubkeys);
    return false;
  }
  void walked(std::int64_t keys) {
    subkeys_left_ -= static_cast<std::uint32_t>(std::min<std::int64_t>(keys, subkeys_left_));
  }

  void report_revisit(std::uint32_t offset, const std::string& path,
                      const std::vector<std::pair<std::uint32_t, std::string>>& chain) {
    for (const auto& [at, ancestor] : chain) {
      if (at == offset) return findings_.add(LoopBack{at, path, ancestor});
    }
    findings_.add(SharedKey{offset, path});
  }

 private:
  void read_values(const Key& key, const std::string& path, std::vector<ValueItem>& out) {
    std::optional<ListScan> scan = scan_values(lists_, path, key.record(), key.offset());
    if (!scan) return;
    const Values list = key.values();
    while (scan->more() && !stopped_) {
      const std::int32_t i = scan->take();
      const Value value = list.at(i);
      const ValueRecord& record = value.record();
      const Element element = scan->judge(lists_, path, i, record.offset, record.signature);
      if (element == Element::kNoCell || element == Element::kWrongKind) continue;
      if (!spend(values_left_, 1, Budget::kValues)) break;
      if (element == Element::kPastEnd) {
        count_past_end(lists_, lost_.values, record.offset, 1);
        continue;
      }
      out.push_back(item(value, i, path));
      if (out.back().bytes && out.back().length > format::kVkInlineMaxBytes &&
          !spend(data_left_, static_cast<std::uint32_t>(out.back().length), Budget::kData)) {
        break;
      }
    }
    scan->finish(lists_, path);
  }

  ValueItem item(const Value& value, std::int32_t index, const std::string& path) {
    const ValueRecord& record = value.record();
    const std::int64_t stored = record.name_length;
    ValueItem v;
    v.name = value.has_name() ? value.name() : std::string();
    v.is_default = stored == 0;
    v.index = index;
    v.type = value.type();
    v.length = value.length();
    const NameProblem problem = !value.has_name() && stored != 0 ? NameProblem::kUtf16
                                : static_cast<std::int64_t>(v.name.size()) != stored
                                    ? NameProblem::kNotWhole
                                    : NameProblem::kNone;
    if (problem != NameProblem::kNone) {
      findings_.add(ValueNameUnread{record.offset, path, problem, index, v.name, stored});
      v.name.clear();
      v.unreadable = name_unread(Items::kValues, problem, stored);
    }
    const std::uint32_t data_at = format::cell_contents(record.data_offset);
    const Place data = v.length <= format::kVkInlineMaxBytes
                           ? Place::kInFile
                           : place_cell(extent_, data_at, static_cast<std::uint32_t>(v.length));
    if (data == Place::kPastEnd) {
      count_past_end(lists_, lost_.data, data_at, 1);
    } else if (data == Place::kNoCell) {
      findings_.add(
          DataNoCell{data_at, path, index, problem == NameProblem::kNone, v.name, v.length});
    } else {
      v.bytes = value.bytes();
    }
    return v;
  }

  void read_subkeys(const Key& key, const std::string& path, std::vector<SubkeyItem>& out) {
    const KeyRecord& record = key.record();
    if (stopped_ || (record.subkey_count == 0 && record.subkey_list == format::kNoCell)) return;
    std::optional<Unread> unread;
    if (!subkey_list_in_file(lists_, path, record, key.offset(), unread)) return;
    const Subkeys list = key.subkeys();
    ListScan scan =
        scan_subkeys(lists_, path, key.subkey_count(), list.record(), list.size(), unread);
    while (scan.more() && !stopped_) {
      const std::int32_t index = scan.take();
      Key child = list.at(index).first;
      const Element element =
          scan.judge(lists_, path, index, child.offset(), child.record().signature);
      if (element == Element::kNoCell || element == Element::kWrongKind) continue;
      if (!spend(subkeys_left_, 1, Budget::kSubkeys)) break;
      if (element == Element::kPastEnd) {
        count_past_end(lists_, lost_.keys, child.offset(), 1);
        continue;
      }
      std::string name = child.name();
      const std::size_t stored = child.record().name_length;
      NameProblem problem = NameProblem::kNone;
      if ((child.record().flags & format::kNkCompressedNameFlag) == 0) {
        problem = NameProblem::kUtf16;
      } else if (name.size() != stored) {
        problem = NameProblem::kNotWhole;
      }
      std::string why = name_unread(Items::kSubkeys, problem, static_cast<std::int64_t>(stored));
      if (problem != NameProblem::kNone) {
        std::string at = path + '\\' + name;
        findings_.add(
            KeyNameUnread{child.offset(), at, problem, static_cast<std::int64_t>(stored)});
      }
      out.push_back({std::move(name), std::move(child), std::move(why)});
    }
    scan.finish(lists_, path);
  }

  bool spend(std::uint32_t& left, std::uint32_t n, Budget budget) {
    if (n > left) {
      if (!stopped_) findings_.add(TooMuch{kNoOffset, budget});
      stopped_ = true;
      return false;
    }
    left -= n;
    return true;
  }

  bool is_old_;
  const Hive& hive_;
  SideReport& findings_;
  Extent extent_;
  LostPastEnd lost_;
  ListContext lists_;
  std::vector<bool> seen_bits_;
  std::unordered_set<std::uint32_t> others_;
  std::uint32_t subkeys_left_;
  std::uint32_t values_left_;
  std::uint32_t data_left_;
  bool stopped_ = false;
};

bool same_value(const ValueItem& a, const ValueItem& b) {
  return a.type == b.type && *a.bytes == *b.bytes;
}

// Calls `pair(a, b)` for the items of two sorted lists, matched by name; either is null
// where only the other list holds the name.
template <class Item, class Pair>
void merge(const std::vector<Item>& a, const std::vector<Item>& b, Pair&& pair) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() || j < b.size()) {
    const int order = i == a.size() ? 1 : j == b.size() ? -1 : compare_names(a[i].name, b[j].name);
    pair(order <= 0 ? &a[i] : nullptr, order >= 0 ? &b[j] : nullptr);
    if (order <= 0) ++i;
    if (order >= 0) ++j;
  }
}

// A name twice in one list (damage, or names the library reads cut) cannot be matched.
template <class Item>
bool twice(const std::vector<Item>& items, const Item* item) {
  if (item == nullptr) return false;
  const std::size_t at = static_cast<std::size_t>(item - items.data());
  return (at > 0 && compare_names(items[at - 1].name, item->name) == 0) ||
         (at + 1 < items.size() && compare_names(items[at + 1].name, item->name) == 0);
}

class Differ {
 public:
  Differ(Side& was, Side& now, const CodeSet& code_set, int max_depth, Progress& progress,
         ChangeSink& sink)
      : was_(was),
        now_(now),
        code_set_(code_set),
        max_depth_(max_depth),
        progress_(progress),
        sink_(sink) {}

  bool differ() const { return changes_ > 0; }
  bool not_compared() const { return uncompared_ > 0; }

  void run(const Key& a, const Key& b, const std::string& name) {
    start(name);
    was_.enter(a.offset());
    now_.enter(b.offset());
    open(a, b);
    while (!frames_.empty()) {
      Frame& top = frames_.back();
      if (top.next < top.children.size()) {
        const Child child = top.children[top.next++];
        step(child);  // `top` may dangle from here on
      } else {
        frames_.pop_back();
        stored_.pop();
        printed_.pop();
        chain_was_.pop_back();
        chain_now_.pop_back();
      }
    }
  }

  // A first key in one hive only (KEYPATH there alone, or named in another case in
  // each): all of it removed, or added.
  void run_one_side(bool old, const Key& key, const std::string& name) {
    start(name);
    subtree(old ? was_ : now_, {}, key,
            old ? Change::What::kKeyRemoved : Change::What::kKeyAdded);
  }

 private:
  struct Child {
    const SubkeyItem* was;
    const SubkeyItem* now;
  };
  struct Frame {
    KeyRead was, now;
    std::vector<Child> children;
    std::size_t next = 0;
  };

  void start(const std::string& name) {
    stored_.start(name);
    std::string printed;
    code_set_.append_name(printed, name);
    printed_.start(std::move(printed));
  }

  void emit(const Change& c) {
    ++(c.what == Change::What::kNotCompared ? uncompared_ : changes_);
    const Unwritten what = sink_.change(c);
    if (what) now_.findings().add(NotWritten{kNoOffset, c.path, what});
  }

  void not_compared(std::string_view path, const std::string& why) {
    Change c;
    c.path = path;
    c.why = why;
    emit(c);
  }

  // Reads a pair of keys at the current path, hands over their own changes and pushes
  // their frame.
  void open(const Key& a, const Key& b) {
    const bool deeper = static_cast<int>(stored_.depth()) < max_depth_;
    Frame f{was_.read(a, printed_.text(), deeper), now_.read(b, printed_.text(), deeper), {}, 0};
    progress_.update(++keys_, 0);
    const std::int64_t changes = changes_;
    const std::int64_t uncompared = uncompared_;
    for (const KeyRead* read : {&f.was, &f.now}) {
      for (const auto& [below, why] : read->unread) {
        std::string path(stored_.text());
        if (!below.empty()) path += '\\' + below;
        not_compared(path, why);
      }
    }
    // Whatever the lists' reading left out is said once for the key, so that two lists
    // neither of which was read are not taken for two equal ones.
    for (const KeyRead* read : {&f.was, &f.now}) {
      const bool old = read == &f.was;
      if (!read->values_whole) {
        not_compared(stored_.text(), why_not_compared(Uncompared::kValuesNotAllRead, old));
      }
      if (deeper && !read->subkeys_whole) {
        not_compared(stored_.text(), why_not_compared(Uncompared::kSubkeysNotAllRead, old));
      }
    }
    values(f);
    // A name on one side only is an addition, a removal or not compared: told below.
    bool one_sided = false;
    merge(f.was.subkeys, f.now.subkeys, [&](const SubkeyItem* x, const SubkeyItem* y) {
      f.children.push_back({x, y});
      one_sided = one_sided || x == nullptr || y == nullptr || x->name != y->name;
    });
    if (!deeper && (a.record().subkey_count > 0 || b.record().subkey_count > 0)) {
      not_compared(stored_.text(), subkeys_unread(NotRead::kDepthLimit, max_depth_));
    }
    const KeyRecord& ra = a.record();
    const KeyRecord& rb = b.record();
    if (changes == changes_ && uncompared == uncompared_ && !one_sided &&
        (ra.last_written_high != rb.last_written_high ||
         ra.last_written_low != rb.last_written_low)) {
      Change c;
      c.what = Change::What::kTimeOnly;
      c.path = stored_.text();
      c.time_was = std::uint64_t{ra.last_written_high} << 32 | ra.last_written_low;
      c.time_now = std::uint64_t{rb.last_written_high} << 32 | rb.last_written_low;
      emit(c);
    }
    frames_.push_back(std::move(f));
    chain_was_.push_back({a.offset(), printed_.text()});
    chain_now_.push_back({b.offset(), printed_.text()});
  }

  void values(const Frame& f) {
    const std::string_view path = stored_.text();
    merge(f.was.values, f.now.values, [&](const ValueItem* x, const ValueItem* y) {
      std::string why;
      if (twice(f.was.values, x) || twice(f.now.values, y)) {
        why = why_not_compared(Uncompared::kValueNameTwice, true);
      } else if ((x != nullptr && !x->bytes) || (y != nullptr && !y->bytes)) {
        why = why_not_compared(Uncompared::kDataDoesNotFit, true);
      } else if (x == nullptr && !f.was.values_whole) {
        why = why_not_compared(Uncompared::kValueOnlyIn, false);
      } else if (y == nullptr && !f.now.values_whole) {
        why = why_not_compared(Uncompared::kValueOnlyIn, true);
      }
      if (!why.empty()) return not_compared(path, why);
      Change c;
      c.what = Change::What::kValueChanged;
      c.path = path;
      c.was = x;
      c.now = y;
      if (x != nullptr && y != nullptr && x->name != y->name) {
        // Named in another case: regedit would keep OLD's, so it goes and comes back.
        c.now = nullptr;
        c.what = Change::What::kValueRemoved;
        emit(c);
        c.was = nullptr;
        c.now = y;
        c.what = Change::What::kValueAdded;
      } else if (x == nullptr) {
        c.what = Change::What::kValueAdded;
      } else if (y == nullptr) {
        c.what = Change::What::kValueRemoved;
      } else if (same_value(*x, *y)) {
        return;
      }
      emit(c);
    });
  }

  void step(const Child& child) {
    const Frame& top = frames_.back();
    const SubkeyItem* either = child.was != nullptr ? child.was : child.now;
    push(either->name);
    std::string why;
    if (twice(top.was.subkeys, child.was) || twice(top.now.subkeys, child.now)) {
      why = why_not_compared(Uncompared::kSubkeyNameTwice, true);
    } else if (child.was == nullptr && !top.was.subkeys_whole) {
      why = why_not_compared(Uncompared::kSubkeyOnlyIn, false);
    } else if (child.now == nullptr && !top.now.subkeys_whole) {
      why = why_not_compared(Uncompared::kSubkeyOnlyIn, true);
    }
    if (!why.empty()) {
      not_compared(stored_.text(), why);
    } else if (child.was == nullptr) {
      subtree(now_, chain_now_, child.now->key, Change::What::kKeyAdded);
    } else if (child.now == nullptr) {
      subtree(was_, chain_was_, child.was->key, Change::What::kKeyRemoved);
    } else if (child.was->name != child.now->name) {
      // Named in another case: regedit keeps an existing key's, so all of it goes and
      // comes back under NEW's name.
      subtree(was_, chain_was_, child.was->key, Change::What::kKeyRemoved);
      stored_.pop();
      printed_.pop();
      push(child.now->name);
      subtree(now_, chain_now_, child.now->key, Change::What::kKeyAdded);
    } else {
      const bool first_a = was_.enter(child.was->key.offset());
      const bool first_b = now_.enter(child.now->key.offset());
      if (!first_a) was_.report_revisit(child.was->key.offset(), printed_.text(), chain_was_);
      if (!first_b) now_.report_revisit(child.now->key.offset(), printed_.text(), chain_now_);
      if (first_a && first_b) return open(child.was->key, child.now->key);
      not_compared(stored_.text(), why_not_compared(Uncompared::kReadTwice, true));
    }
    stored_.pop();
    printed_.pop();
  }

  void push(const std::string& name) {
    stored_.push([&](std::string& p) { return p += name, true; });
    printed_.push([&](std::string& p) { return code_set_.append_name(p, name); });
  }

  // An added or removed key with all below it, walked by the dump's walk for its counts
  // (and, when added, into the sink's writer).
  void subtree(Side& side, const std::vector<std::pair<std::uint32_t, std::string>>& chain,
               const Key& key, Change::What what) {
    Start start{key,  key.name(), printed_.text(), utf16_of_stored(stored_.text()),
                true, {},         std::nullopt,    true};
    for (const auto& [at, path] : chain) start.above.push_back({at, path});
    if (!side.enter(key.offset())) {
      side.report_revisit(key.offset(), printed_.text(), chain);
      return not_compared(stored_.text(), why_not_compared(Uncompared::kReadTwice, true));
    }
    if (!side.can_walk()) {
      return not_compared(stored_.text(), why_not_compared(Uncompared::kTooManyKeys, true));
    }
    Counter counter;
    Sink* writer = what == Change::What::kKeyAdded ? sink_.added_subtree() : nullptr;
    const int depth_left = max_depth_ - static_cast<int>(stored_.depth());
    const std::int64_t before = side.findings().all();
    const Counts counts = walk(side.hive(), start, depth_left, code_set_, side.findings(),
                               progress_, writer != nullptr ? *writer : counter);
    side.walked(counts.keys);
    Change c;
    c.what = what;
    c.path = stored_.text();
    c.keys = counts.keys - 1;
    c.values = counts.values;
    emit(c);
    if (side.findings().all() != before) {
      not_compared(stored_.text(), why_not_compared(Uncompared::kBelowNotWhole, side.is_old()));
    }
  }

  Side& was_;
  Side& now_;
  const CodeSet& code_set_;
  int max_depth_;
  Progress& progress_;
  ChangeSink& sink_;
  PathBuilder<std::string> stored_;
  PathBuilder<std::string> printed_;
  std::vector<std::pair<std::uint32_t, std::string>> chain_was_;
  std::vector<std::pair<std::uint32_t, std::string>> chain_now_;
  std::vector<Frame> frames_;
  std::int64_t keys_ = 0;
  std::int64_t changes_ = 0;
  std::int64_t uncompared_ = 0;
};

class Quiet : public Findings {
 public:
  void add(const Finding&) override {}
};

}  // namespace

int diff_files(const std::string& old_path, const std::string& new_path, const DiffOptions& options,
               std::ostream& out, std::ostream& err) {
  Progress progress(err, options.progress);
  SideReport was_report(err, old_path, progress);
  SideReport now_report(err, new_path, progress);
  const Hive was_hive(old_path);
  const Hive now_hive(new_path);
  const CodeSet code_set;
  Options find;
  find.key_path = options.key_path;
  find.prefix = options.prefix;
  find.has_prefix = !options.prefix.empty();
  std::optional<Key> roots[2];
  std::optional<Key> keys[2];
  const Hive* hives[2] = {&was_hive, &now_hive};
  SideReport* reports[2] = {&was_report, &now_report};
  const std::string* paths[2] = {&old_path, &new_path};
  for (int i = 0; i < 2; ++i) {
    if (!*hives[i]) {
      reports[i]->report().refuse(vesk::why_not_opened(*paths[i]).reason());
      return kRefused;
    }
    const std::optional<Key> root = hives[i]->root();
    if (!root) {
      reports[i]->report().refuse(vesk::why_no_root(*paths[i]).reason());
      return kRefused;
    }
    // Looked for quietly: a KEYPATH in one hive alone is a subtree removed or added.
    Quiet quiet;
    std::ostream nowhere(nullptr);
    roots[i] = root;
    keys[i] = find_key(*root, find, quiet, nowhere);
  }
  if (!keys[0] && !keys[1]) {
    // Said for each hive; a hint both would give, once.
    std::ostringstream hints[2];
    for (int i = 0; i < 2; ++i) find_key(*roots[i], find, *reports[i], hints[i]);
    err << hints[0].str() << (hints[1].str() != hints[0].str() ? hints[1].str() : "");
    return kRefused;
  }
  // Paths start at the root key's name, which may differ between the hives: NEW's is
  // the one a .reg applies to. The first key's own name is as each hive stores it.
  std::string name = options.prefix;
  std::string names[2];
  if (!options.key_path.empty()) {
    if (name.empty()) name = now_hive.root()->name();
    // As a dump reads it: in the code set, or as the line formats print it.
    const std::string wanted = code_set.to_stored(options.key_path)
                                   .value_or(stored_of_line_text(options.key_path).value_or(""));
    std::string_view rest = wanted;
    if (compare_names(rest.substr(0, rest.find('\\')), name) == 0) {
      rest = rest.find('\\') == std::string_view::npos ? "" : rest.substr(rest.find('\\') + 1);
    }
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    if (!rest.empty()) name += '\\' + std::string(rest);
    const std::size_t last = name.size() - (rest.size() - (rest.rfind('\\') + 1));
    for (int i = 0; i < 2; ++i) {
      names[i] = name;
      // Not a key found by its place in a list ("<key 3: ...>"), whose name differs.
      if (!rest.empty() && keys[i] && compare_names(keys[i]->name(), name.substr(last)) == 0) {
        names[i].replace(last, std::string::npos, keys[i]->name());
      }
    }
  } else {
    if (name.empty()) name = (keys[1] ? keys[1] : keys[0])->name();
    names[0] = names[1] = name;
  }

  Side was(was_hive, was_report, true);
  Side now(now_hive, now_report, false);
  Output output(out);
  const std::unique_ptr<ChangeSink> sink = make_change_sink(options.format, output, code_set);
  Differ differ(was, now, code_set, options.max_depth, progress, *sink);
  // A first key named in another case in each hive goes and comes back, as any other.
  if (keys[0] && (!keys[1] || names[0] != names[1])) differ.run_one_side(true, *keys[0], names[0]);
  if (keys[1] && (!keys[0] || names[0] != names[1])) differ.run_one_side(false, *keys[1], names[1]);
  if (keys[0] && keys[1] && names[0] == names[1]) differ.run(*keys[0], *keys[1], names[1]);
  was.finish();
  now.finish();
  const std::optional<int> refused = output.finish();
  progress.clear();
  if (refused) {
    now_report.add(OutputFailed{kNoOffset, *refused});
    return kOutputFailed;
  }
  was_report.report().finish();
  now_report.report().finish();
  if (was_report.damage() || now_report.damage()) return kDumpedWithDamage;
  if (differ.not_compared() || was_report.unreadable() || now_report.unreadable()) {
    return kNotCompared;
  }
  return differ.differ() ? kDiffer : kDumped;
}

}  // namespace vesk::dump
