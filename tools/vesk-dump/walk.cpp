// An explicit stack rather than recursion, so no hive and no depth limit can exhaust the
// machine's stack. The budgets follow from the layout: every subkey reference takes 8
// bytes of an "lf" list, every value reference 4 bytes of a value list, and every byte of
// data longer than 4 bytes a byte of its own cell, so a hive that asks for more than
// that is sharing or inventing them, and the walk stops reading there.
#include "walk.h"

#include "layout.h"
#include "value_text.h"

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
      if (!stopped_ && top.list && top.next < top.list->size()) {
        const std::int32_t index = top.next++;
        if (subkeys_left_-- == 0) {
          stop("more subkey references than a file of this size holds");
          continue;
        }
        Key child = top.list->at(index).first;
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
        sink_.key_end(view(top));
        path_.resize(top.cut);
        frames_.pop_back();
      }
    }
    return counts_;
  }

 private:
  struct Frame {
    Key key;
    std::string name;
    bool name_whole;
    std::optional<Subkeys> list;
    std::int32_t next = 0;
    std::size_t cut;  // path_ without this key's name
    std::string unreadable;
    std::int32_t subkeys_not_read = 0;
    std::string subkeys_not_read_reason;
  };

  KeyEntry view(const Frame& f) const {
    return {f.name,         path_,           static_cast<int>(frames_.size()) - 1,
            f.name_whole,   start_.chars,    f.unreadable,
            f.subkeys_not_read, f.subkeys_not_read_reason};
  }

  void enter(const Key& key, std::string name, bool name_whole, std::size_t cut = 0) {
    ++counts_.keys;
    progress_.update(counts_.keys, counts_.values);
    const int depth = static_cast<int>(frames_.size());
    std::string unreadable = check_name(key, name);
    frames_.push_back(
        Frame{key, std::move(name), name_whole, std::nullopt, 0, cut, std::move(unreadable), 0, {}});
    const KeyEntry here = view(frames_.back());
    sink_.key(here);
    values(key, here);
    // The list is read before the subkeys call, so the writers learn what it leaves out.
    // A key whose count is 0 has no subkeys, as Windows reads it; this also spares a read
    // of the list for every leaf.
    Frame& frame = frames_.back();
    if (!stopped_ && key.subkey_count() != 0) {
      if (depth >= max_depth_) {
        report_.error("subkeys of " + path_ + " are not dumped: the depth limit is " +
                      std::to_string(max_depth_));
        frame.subkeys_not_read = key.subkey_count();
        frame.subkeys_not_read_reason = "the depth limit is " + std::to_string(max_depth_);
      } else {
        check_list(frame, frame.list.emplace(key.subkeys()));
      }
    }
    sink_.subkeys(view(frame));
  }

  // The library follows "lf" lists only. Subkeys that hang under any other list would
  // be missing from the dump without a word, so each such key is named; so is a key
  // whose own count disagrees with its list's (the list is what gets dumped).
  void check_list(Frame& frame, const Subkeys& list) {
    const KeyListRecord& record = list.record();
    const std::int32_t counted = frame.key.subkey_count();
    if (record.signature != format::kSigLf) {
      const char first = static_cast<char>(record.signature & 0xFF);
      const char second = static_cast<char>(record.signature >> 8);
      const auto printable = [](char c) { return c >= 'a' && c <= 'z'; };
      std::string what;
      if (printable(first) && printable(second)) {
        what = std::string("is an \"") + first + second + "\" list, which the library does not read";
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(record.signature));
        what = std::string("has no \"lf\" signature (0x") + hex + ")";
      }
      frame.subkeys_not_read = counted;
      frame.subkeys_not_read_reason = "their list " + what;
      report_.error("key " + path_ + ": its " + std::to_string(counted) +
                    " subkeys are not dumped: their list " + what);
    } else if (list.size() != counted) {
      report_.error("key " + path_ + ": counts " + std::to_string(counted) +
                    " subkeys, but its list holds " + std::to_string(list.size()) +
                    "; the list's are dumped");
    }
  }

  // Reports a name the library does not read whole and returns why; empty for a whole one.
  std::string check_name(const Key& key, const std::string& name) {
    const std::size_t stored = key.record().name_length;
    std::string why;
    if ((key.record().flags & format::kNkCompressedNameFlag) == 0) {
      why = "name stored as UTF-16, read only up to its first zero byte";
      report_.error("key " + path_ + ": its name is stored as UTF-16, which the library reads"
                    " only up to the first zero byte");
    } else if (name.size() != stored) {
      why = "name of " + std::to_string(stored) + " bytes not read whole";
      report_.error("key " + path_ + ": its name of " + std::to_string(stored) +
                    " bytes could not be read whole");
    }
    return why;
  }

  void values(const Key& key, const KeyEntry& here) {
    const Values list = key.values();
    for (std::int32_t i = 0; i < list.size() && !stopped_; ++i) {
      if (values_left_-- == 0) {
        stop("more value references than a file of this size holds");
        break;
      }
      Value value = list.at(i);
      const std::size_t stored = value.record().name_length;
      std::string name = value.has_name() ? value.name() : std::string();
      std::string unreadable;
      if (!value.has_name() && stored != 0) {
        unreadable = "name stored as UTF-16";
        report_.error("value " + std::to_string(i) + " of " + path_ +
                      ": its name is stored as UTF-16, which the library does not read;"
                      " not shown as a name");
      } else if (name.size() != stored) {
        unreadable = "name of " + std::to_string(stored) + " bytes not read whole";
        report_.error("value " + display(name) + " of " + path_ + ": its name of " +
                      std::to_string(stored) + " bytes could not be read whole");
        name.clear();
      }
      const bool is_default = stored == 0;
      const std::int32_t length = value.length();
      const std::optional<std::vector<std::uint8_t>> bytes = value.bytes();
      if (!bytes) {
        report_.error("value " + (unreadable.empty() ? display(name) : std::to_string(i)) +
                      " of " + path_ + ": data size " +
                      std::to_string(length) + " is larger than the file; data not shown");
      } else if (length > 4) {
        const auto size = static_cast<std::uint32_t>(length);
        if (size > data_left_) {
          stop("more value data than a file of this size holds");
          break;
        }
        data_left_ -= size;
      }
      ++counts_.values;
      ValueEntry entry{name,         is_default, i, unreadable, value.type(), bytes ? &*bytes : nullptr,
                       length,       {}};
      if (bytes && sink_.shows_text(entry.type)) entry.text = shown_text(value, *bytes);
      sink_.value(here, entry);
    }
  }

  // The library's conversion of string data to the code set, when the stored bytes are
  // printable text and the conversion reads back as exactly those characters.
  std::optional<std::string> shown_text(Value& value,
                                        const std::vector<std::uint8_t>& bytes) const {
    const std::optional<std::u32string> stored = printable_text(bytes);
    if (!stored) return std::nullopt;
    if (stored->empty()) return std::string();
    std::string text = value.text();
    const std::optional<std::u32string> back = code_set_.decode(text);
    if (!back || *back != *stored) return std::nullopt;
    return text;
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
      if (a.offset == child.offset()) return followed_back(path, a.path);
    }
    for (const Frame& f : frames_) {
      if (f.key.offset() == child.offset()) {
        const std::size_t end = &f == &frames_.back() ? path_.size() : (&f + 1)->cut;
        return followed_back(path, path_.substr(0, end));
      }
    }
    report_.error("key " + path + " was already dumped under another key; not followed again");
  }

  void followed_back(const std::string& path, const std::string& ancestor) {
    report_.error("key " + path + " leads back to its ancestor " + ancestor + "; not followed");
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
  SeenKeys seen_;
  std::uint32_t subkeys_left_;
  std::uint32_t values_left_;
  std::uint32_t data_left_;
  bool stopped_ = false;
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
