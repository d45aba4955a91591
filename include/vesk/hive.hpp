// vesk/hive.hpp: a small C++17 interface over the 17 flat functions of vesk_10.h.
//
// A Hive owns its HiveHandle; Keys and Values are light copies of the library's records
// and live no longer than their Hive. Every fact comes from the exported functions, read
// when asked for, and every text is copied into a std::string at once (the library keeps
// a text only until its next text-returning call). Like the library, one thread at a time.
#ifndef VESK_HIVE_HPP
#define VESK_HIVE_HPP

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vesk_10.h"

namespace vesk {

// The registry's value types by number. The library passes types through untouched;
// these name the ones Windows defines.
inline constexpr std::uint32_t kTypeNone = 0;
inline constexpr std::uint32_t kTypeString = 1;
inline constexpr std::uint32_t kTypeExpandString = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeDwordBigEndian = 5;
inline constexpr std::uint32_t kTypeLink = 6;
inline constexpr std::uint32_t kTypeMultiString = 7;
inline constexpr std::uint32_t kTypeResourceList = 8;
inline constexpr std::uint32_t kTypeFullResourceDescriptor = 9;
inline constexpr std::uint32_t kTypeResourceRequirementsList = 10;
inline constexpr std::uint32_t kTypeQword = 11;

// Case folding as the registry compares names: ASCII and the Latin-1 letters that the
// 8-bit names stored in a hive can hold.
inline unsigned char fold_case(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  return c;
}

// <0, 0 or >0 as `a` sorts before, with or after `b`, ignoring case.
inline int compare_names(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int d = fold_case(static_cast<unsigned char>(a[i])) -
                  fold_case(static_cast<unsigned char>(b[i]));
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

class Value {
 public:
  Value(HiveHandle* hive, const ValueRecord& record, std::uint32_t type)
      : hive_(hive), record_(record), type_(type) {}

  std::string name() const { return GetValueName(hive_, &record_); }
  // Whether the name is stored (as 8-bit text); a value without one is the key's default.
  bool has_name() const { return (record_.flags & 1u) != 0; }
  std::uint32_t type() const { return type_; }
  // The data size in bytes; clears the inline bit in this copy of the record.
  std::int32_t length() { return GetValueDataLength(hive_, &record_); }
  // The 32-bit number: inline data whole, otherwise the first 4 bytes of the data.
  std::uint32_t dword() const { return GetValueDword(hive_, &record_); }
  // The data read as UTF-16LE and converted to the 8-bit code set.
  std::string text() { return GetValueString(hive_, &record_); }
  // The bytes stored: from the file when longer than 4, else from the inline field.
  // None when the size cannot be true, being larger than the whole file.
  std::optional<std::vector<std::uint8_t>> bytes() {
    const std::int32_t size = length();
    if (size <= 4) {
      const std::uint32_t field = dword();
      std::vector<std::uint8_t> out(static_cast<std::size_t>(size < 0 ? 0 : size));
      for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(field >> (8 * i));
      }
      return out;
    }
    if (size > hive_->file_size) return std::nullopt;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    if (GetValueData(hive_, &record_, out.data()) == 0) return std::nullopt;
    return out;
  }
  const ValueRecord& record() const { return record_; }

 private:
  HiveHandle* hive_;
  ValueRecord record_;
  std::uint32_t type_;
};

class Key;

// Subkeys by index: each step reads one element and the subkey's record.
template <typename List, typename Item>
class IndexIterator;

class Subkeys {
 public:
  using iterator = IndexIterator<Subkeys, Key>;
  Subkeys(HiveHandle* hive, const KeyRecord& key) : hive_(hive) {
    count_ = GetSubKeyList(hive, &key, &list_);
    if (count_ < 0) count_ = 0;
  }
  std::int32_t size() const { return count_; }
  // The list's signature and element count as the file holds them, "lf" or not.
  const KeyListRecord& record() const { return list_; }
  // The subkey at `index` and its name hint (up to the first 4 bytes of its name).
  std::pair<Key, std::string> at(std::int32_t index) const;
  iterator begin() const;
  iterator end() const;

 private:
  HiveHandle* hive_;
  KeyListRecord list_{};
  std::int32_t count_ = 0;
};

class Values {
 public:
  using iterator = IndexIterator<Values, Value>;
  Values(HiveHandle* hive, const KeyRecord& key) : hive_(hive) {
    count_ = GetValueList(hive, &key, &list_);
    if (count_ < 0) count_ = 0;
  }
  std::int32_t size() const { return count_; }
  Value at(std::int32_t index) const {
    ValueRecord record{};
    const auto type = static_cast<std::uint32_t>(GetValue(hive_, &list_, index, &record));
    return Value(hive_, record, type);
  }
  iterator begin() const;
  iterator end() const;

 private:
  HiveHandle* hive_;
  ValueListRecord list_{};
  std::int32_t count_ = 0;
};

class Key {
 public:
  Key(HiveHandle* hive, const KeyRecord& record) : hive_(hive), record_(record) {}

  std::string name() const { return GetRegKeyName(hive_, &record_); }
  std::int32_t subkey_count() const { return CountSubKeys(&record_); }
  std::int32_t value_count() const { return CountValues(&record_); }
  Subkeys subkeys() const { return Subkeys(hive_, record_); }
  Values values() const { return Values(hive_, record_); }
  const KeyRecord& record() const { return record_; }
  // The file offset of this key's node: the same key always has the same one.
  std::uint32_t offset() const { return record_.offset; }

  // The subkey named `name`, ignoring case. An "lf" list is sorted by upper-cased
  // names, so the lookup binary-searches it, ordering each probe by its name hint (no
  // name read) and reading the full name only where the hints tie. A name not found
  // that way is looked for by a scan, so a list out of order still answers right; only
  // absent names pay for it.
  std::optional<Key> subkey(std::string_view name) const {
    const Subkeys list = subkeys();
    const std::int32_t n = list.size();
    const std::string_view wanted_hint = name.substr(0, 4);
    std::int32_t lo = 0;
    std::int32_t hi = n;
    while (lo < hi) {
      const std::int32_t mid = lo + (hi - lo) / 2;
      const auto probe = list.at(mid);
      // A hint is the first four bytes of its name: where hints differ, the names sort
      // as the hints do.
      int order = compare_names(probe.second, wanted_hint);
      if (order == 0) order = compare_names(probe.first.name(), name);
      if (order == 0) return probe.first;
      if (order < 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    for (std::int32_t i = 0; i < n; ++i) {
      auto entry = list.at(i);
      if (compare_names(entry.first.name(), name) == 0) return entry.first;
    }
    return std::nullopt;
  }

 private:
  HiveHandle* hive_;
  KeyRecord record_;
};

inline std::pair<Key, std::string> Subkeys::at(std::int32_t index) const {
  KeyRecord record{};
  std::string hint = GetSubKey(hive_, &list_, index, &record);
  return {Key(hive_, record), std::move(hint)};
}

// Steps through a list by index; each dereference asks the library for that element.
template <typename List, typename Item>
class IndexIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = Item;
  using difference_type = std::ptrdiff_t;
  using pointer = const Item*;
  using reference = Item;

  IndexIterator(const List* list, std::int32_t index) : list_(list), index_(index) {}
  Item operator*() const { return item(list_->at(index_)); }
  IndexIterator& operator++() {
    ++index_;
    return *this;
  }
  bool operator==(const IndexIterator& o) const { return index_ == o.index_; }
  bool operator!=(const IndexIterator& o) const { return index_ != o.index_; }

 private:
  static Item item(std::pair<Key, std::string> entry) { return entry.first; }
  static Item item(Value value) { return value; }

  const List* list_;
  std::int32_t index_;
};

inline Subkeys::iterator Subkeys::begin() const { return iterator(this, 0); }
inline Subkeys::iterator Subkeys::end() const { return iterator(this, count_); }

inline Values::iterator Values::begin() const { return iterator(this, 0); }
inline Values::iterator Values::end() const { return iterator(this, count_); }

class Hive {
 public:
  // Opens the hive at `path`; is_open() says whether it is a hive the library reads.
  explicit Hive(const std::string& path) : handle_(OpenRegistryFile(path.c_str())) {}
  ~Hive() { CloseRegistryFile(handle_); }
  Hive(Hive&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Hive& operator=(Hive&& other) noexcept {
    if (this != &other) {
      CloseRegistryFile(handle_);
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  bool is_open() const { return handle_ != nullptr; }
  explicit operator bool() const { return is_open(); }
  HiveHandle* handle() const { return handle_; }

  // The root key, or none when the hive has none where the library looks for it.
  std::optional<Key> root() const {
    if (handle_ == nullptr) return std::nullopt;
    KeyRecord record{};
    if (SearchRootKey(handle_, &record) == 0) return std::nullopt;
    return Key(handle_, record);
  }

  // The key at a backslash-separated path below the root ("Microsoft\\Windows"), ignoring
  // case; an empty path is the root itself. None when any step is absent.
  std::optional<Key> open_key(std::string_view path) const {
    std::optional<Key> key = root();
    while (key && !path.empty()) {
      const std::size_t cut = path.find('\\');
      const std::string_view step = path.substr(0, cut);
      path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
      if (!step.empty()) key = key->subkey(step);
    }
    return key;
  }

 private:
  HiveHandle* handle_;
};

}  // namespace vesk

#endif  // VESK_HIVE_HPP
