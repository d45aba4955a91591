// --grep and --type: a Sink in front of any writer that passes on only the values that
// match, and the keys that hold them or whose names match, each with every key above
// it, so that a tree or a JSON document stays whole. Keys are held back until
// something below them matches; what a held key's writer could not write is then not
// reported, as the walk has moved past it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entries.h"

namespace vesk::dump {

struct Filter {
  std::u32string grep;               // empty: any; matched with case ignored
  std::vector<std::uint32_t> types;  // empty: any
  bool active() const { return !grep.empty() || !types.empty(); }
};

// A type as --type takes it: "REG_SZ" (or "sz"), case ignored, or a number, decimal
// or 0x hex; none for anything else.
std::optional<std::uint32_t> parse_type(std::string_view text);

class FilterSink : public Sink {
 public:
  FilterSink(Sink& inner, Filter filter);
  // Whether anything was passed on.
  bool matched() const { return matched_; }

  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
  void subkeys(const KeyEntry& key) override;
  void key_end(const KeyEntry& key) override;

 private:
  // A key entered and not yet ended, its views' text kept here.
  struct Held {
    std::string name, path, name_in_path, unreadable, reason;
    std::u16string start_path;
    KeyEntry entry;
    bool passed = false;
    bool subkeys_called = false;
    bool all_values = false;  // its name matched: every value of it goes through
  };
  static void keep(Held& held, const KeyEntry& key);
  static KeyEntry view(const Held& held);
  bool matches(std::string_view latin1) const;
  bool data_matches(const ValueEntry& value) const;
  void pass_held();

  Sink& inner_;
  Filter filter_;
  std::vector<Held> held_;
  bool matched_ = false;
};

}  // namespace vesk::dump
