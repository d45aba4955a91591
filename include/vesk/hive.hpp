// vesk/hive.hpp: a small C++17 interface over the 17 flat functions of vesk_10.h, and
// the facts of the records that hosts need (value types, flags, list signatures).
//
// A Hive owns its HiveHandle; Keys and Values are light copies of the library's records
// that share the Hive's state, so one used after its Hive closed throws HiveClosed
// rather than reading freed memory. Every fact comes from the exported functions, read
// when asked for, and every text is copied into a std::string at once (the library keeps
// a text only until its next text-returning call). Each call into the library is made
// under one lock for the whole program, so Hives may be used from several threads.
//
// Damage: iterating a key's subkeys() or values() applies vesk/cell_checks.hpp's checks
// as vesk-dump does. An element that names no cell in the file, or a cell of the wrong
// kind, is skipped and never yielded; a list is read no further than the file holds;
// what was skipped is in the list's damage() once the iteration is done. walk() visits
// every key once (a key met again is reported, not entered), so it always ends. The
// raw at(index) and size() read what the library gives, unchecked.
//
// Dirty hives: Hive::open(path, Dirty::apply_logs) reads a dirty hive as Windows loads
// it, with the transaction logs beside it applied to a private in-memory copy
// (vesk/transaction_logs.hpp, as vesk-dump --logs; Linux only, elsewhere a dirty hive is
// refused); warning() says what was applied, logs_report() holds it, and when the logs
// cannot be applied Hive::open throws OpenErrc::not_written_cleanly saying why.
// Hive::open(path, Dirty::read) reads a hive whose sequence numbers differ through a
// private in-memory view marked clean (vesk/private_view.hpp, Linux only; elsewhere it
// is refused as dirty), without its logs, and warning() says so.
//
// Opening: Hive(path) never throws and is false when the file did not open;
// Hive::open(path) throws OpenError, whose code() and what() say why in vesk-dump's
// words (std::errc codes for what the system refuses, OpenErrc for what the file is).
//
// A program that calls the library from one thread only may define VESK_HIVE_NO_LOCK
// before including this header; the benchmarks build their walk both ways to show what
// the lock costs. The two builds live in different inline namespaces, so both may be
// linked into one program.
#ifndef VESK_HIVE_HPP
#define VESK_HIVE_HPP

#include <chrono>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <ratio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include "vesk/base_block.hpp"
#include "vesk/cell_checks.hpp"
#include "vesk/layout.hpp"
#include "vesk/private_view.hpp"
#include "vesk/transaction_logs.hpp"
#include "vesk_10.h"

namespace vesk {

// Outside the inline namespaces, so that a locked and an unlocked build share it.
namespace shared_detail {
// The library keeps its current file and its text area for the whole process and
// serves one thread at a time: one lock for every call, whatever the hive.
inline std::mutex& library_mutex() {
  static std::mutex mutex;
  return mutex;
}
}  // namespace shared_detail

#if defined(VESK_HIVE_NO_LOCK)
inline namespace unlocked {
#else
inline namespace locked {
#endif

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

// Flags and signatures as the records show them (the numbers are the layout's).
// KeyRecord::flags: the name is stored as 8-bit text (else UTF-16LE, which the library
// reads only up to its first zero byte); the root key's flags are exactly kKeyRootFlags.
inline constexpr std::uint16_t kKeyNameIs8BitFlag = format::kNkCompressedNameFlag;
inline constexpr std::uint16_t kKeyRootFlags = format::kNkRootFlags;
// ValueRecord::flags: the name is stored as 8-bit text (else the library reads none).
inline constexpr std::uint16_t kValueNameIs8BitFlag = format::kVkCompressedNameFlag;
// ValueRecord::data_size: the data (at most 4 bytes) is inline in data_offset.
inline constexpr std::uint32_t kValueDataInlineFlag = format::kVkInlineFlag;
// KeyListRecord::signature, the two letters read little-endian. The library follows
// "lf" lists only.
inline constexpr std::uint16_t kSigLfList = format::kSigLf;
inline constexpr std::uint16_t kSigLhList = format::kSigLh;
inline constexpr std::uint16_t kSigLiList = format::kSigLi;
inline constexpr std::uint16_t kSigRiList = format::kSigRi;

// A key's last-written time: 100-nanosecond ticks of the system clock, which hold every
// FILETIME (years 1601 to 30828) where nanoseconds would not.
using FileTime = std::chrono::time_point<std::chrono::system_clock,
                                         std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>;

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

// What a file is, when it is not a hive this library reads.
enum class OpenErrc {
  not_a_hive = 1,       // too short, no "regf", not a regular file
  wrong_version,        // not version 1.3
  not_written_cleanly,  // its sequence numbers differ
  unsupported,          // another file type, format or clustering factor
  no_root_key,          // no root key where the library looks for it
  refused,              // refused though its base block looks right (it changed)
};

inline const std::error_category& open_category() {
  class Category : public std::error_category {
   public:
    const char* name() const noexcept override { return "vesk"; }
    std::string message(int code) const override {
      switch (static_cast<OpenErrc>(code)) {
        case OpenErrc::not_a_hive: return "not a hive";
        case OpenErrc::wrong_version: return "not a version 1.3 hive";
        case OpenErrc::not_written_cleanly: return "the hive was not written out cleanly";
        case OpenErrc::unsupported: return "a hive of a kind the library does not read";
        case OpenErrc::no_root_key: return "no root key";
        case OpenErrc::refused: return "refused by the library";
      }
      return "unknown";
    }
  };
  static const Category category;
  return category;
}

inline std::error_code make_error_code(OpenErrc e) {
  return {static_cast<int>(e), open_category()};
}

// Why a file did not open: code() is a std::errc code (no_such_file_or_directory,
// permission_denied, is_a_directory) or an OpenErrc; reason() is vesk-dump's text;
// what() is "PATH: REASON".
class OpenError : public std::runtime_error {
 public:
  OpenError(std::error_code code, const std::string& path, const std::string& reason)
      : std::runtime_error(path + ": " + reason), code_(code), path_(path), reason_(reason) {}
  const std::error_code& code() const noexcept { return code_; }
  const std::string& path() const noexcept { return path_; }
  const std::string& reason() const noexcept { return reason_; }

 private:
  std::error_code code_;
  std::string path_;
  std::string reason_;
};

// A Key, Value or list used after its Hive was closed or destroyed.
class HiveClosed : public std::logic_error {
 public:
  HiveClosed() : std::logic_error("vesk: the hive of this key or value is closed") {}
};

namespace detail {

// The handle a Hive and everything read from it share; null once the Hive closed.
struct OpenHive {
  HiveHandle* handle;
};
using HiveRef = std::shared_ptr<OpenHive>;

#if defined(VESK_HIVE_NO_LOCK)
struct Lock {};
#else
using Lock = std::lock_guard<std::mutex>;
#endif

// One call into the library: holds the lock, and the handle only while it is open.
class Call {
 public:
  explicit Call(const HiveRef& hive) : lock_(make_lock()) {
    if (!hive || hive->handle == nullptr) throw HiveClosed();
    handle_ = hive->handle;
  }
  HiveHandle* handle() const { return handle_; }

 private:
#if defined(VESK_HIVE_NO_LOCK)
  static Lock make_lock() { return {}; }
#else
  static std::mutex& make_lock() { return shared_detail::library_mutex(); }
#endif
  Lock lock_;
  HiveHandle* handle_ = nullptr;
};

// A handle the caller owns, for the constructors that take a raw HiveHandle.
inline HiveRef borrowed(HiveHandle* hive) { return std::make_shared<OpenHive>(OpenHive{hive}); }

// The file's first base_block::kRootHeadBytes bytes (fewer when it is shorter), which
// hold the base block and the root key's place, and its size as the library sees it
// (the low 32 bits); or the OpenError for what the system refuses.
struct Head {
  std::vector<unsigned char> bytes;
  std::int32_t file_size = 0;
};

inline Head read_head(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) throw OpenError(ec, path, "cannot open: " + ec.message());
  if (fs::is_directory(status)) {
    throw OpenError(std::make_error_code(std::errc::is_a_directory), path,
                    "cannot open: it is a directory");
  }
  if (!fs::is_regular_file(status)) {
    throw OpenError(make_error_code(OpenErrc::not_a_hive), path, "cannot open: not a regular file");
  }
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    const int error = errno != 0 ? errno : EACCES;
    throw OpenError(std::error_code(error, std::generic_category()), path,
                    std::string("cannot open: ") + std::strerror(error));
  }
  Head head;
  head.bytes.resize(base_block::kRootHeadBytes);
  head.bytes.resize(std::fread(head.bytes.data(), 1, head.bytes.size(), f));
  std::fclose(f);
  head.file_size = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(fs::file_size(path, ec)));
  return head;
}

inline OpenErrc code_of(base_block::Reason reason) {
  using base_block::Reason;
  switch (reason) {
    case Reason::too_short:
    case Reason::no_signature: return OpenErrc::not_a_hive;
    case Reason::wrong_version: return OpenErrc::wrong_version;
    case Reason::not_written_cleanly: return OpenErrc::not_written_cleanly;
    case Reason::file_type:
    case Reason::file_format:
    case Reason::clustering_factor: return OpenErrc::unsupported;
    case Reason::refused_anyway: return OpenErrc::refused;
    case Reason::root_file_ends_before_bin:
    case Reason::root_no_bin_signature:
    case Reason::root_file_ends_inside_bin:
    case Reason::root_not_a_key:
    case Reason::root_flags:
    case Reason::root_not_found: break;
  }
  return OpenErrc::no_root_key;
}

inline OpenError refused(const std::string& path, const base_block::Refusal& why) {
  return OpenError(make_error_code(code_of(why.reason)), path, base_block::sentence(why));
}

// Why OpenRegistryFile refused `path`: the library's own rules, applied to the file's
// first bytes.
inline OpenError why_not_opened(const std::string& path) {
  Head head = read_head(path);
  if (head.bytes.size() < sizeof(BaseBlock)) head.bytes.resize(sizeof(BaseBlock), 0);
  return refused(path, base_block::judge_base_block(head.bytes.data(), head.file_size)
                           .value_or(base_block::Refusal{base_block::Reason::refused_anyway, {}}));
}

// Why SearchRootKey found no root key in `path`: it must be the first cell of the
// first bin.
inline OpenError why_no_root(const std::string& path) {
  const Head head = read_head(path);
  return refused(path, base_block::judge_root(head.bytes.data(), head.bytes.size())
                           .value_or(base_block::Refusal{base_block::Reason::root_not_found, {}}));
}

}  // namespace detail

class Value {
 public:
  Value(detail::HiveRef hive, const ValueRecord& record, std::uint32_t type)
      : hive_(std::move(hive)), record_(record), type_(type) {}
  // Over a handle the caller keeps open for as long as the Value is used.
  Value(HiveHandle* hive, const ValueRecord& record, std::uint32_t type)
      : Value(detail::borrowed(hive), record, type) {}

  // The name, or "{default}" when none is stored as 8-bit text.
  std::string name() const {
    const detail::Call call(hive_);
    return GetValueName(call.handle(), &record_);
  }
  // Whether the name is stored (as 8-bit text); a value without one is the key's default.
  bool has_name() const { return (record_.flags & kValueNameIs8BitFlag) != 0; }
  std::uint32_t type() const { return type_; }
  // The data size in bytes.
  std::int32_t length() const {
    ValueRecord copy = record_;  // the library clears the inline bit of what it is given
    const detail::Call call(hive_);
    return GetValueDataLength(call.handle(), &copy);
  }
  // The 32-bit number: inline data whole, otherwise the first 4 bytes of the data.
  std::uint32_t dword() const {
    const detail::Call call(hive_);
    return GetValueDword(call.handle(), &record_);
  }
  // The data read as UTF-16LE and converted to the 8-bit code set.
  std::string text() const {
    ValueRecord copy = record_;
    const detail::Call call(hive_);
    return GetValueString(call.handle(), &copy);
  }
  // The bytes stored: from the file when longer than 4, else from the inline field.
  // None when the size cannot be true, being larger than the whole file.
  std::optional<std::vector<std::uint8_t>> bytes() const {
    ValueRecord copy = record_;
    copy.data_size &= ~kValueDataInlineFlag;  // as GetValueDataLength clears it
    const auto size = static_cast<std::int32_t>(copy.data_size);
    if (size <= 4) {
      const std::uint32_t field = copy.data_offset;  // the library reads these from here
      std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
      for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(field >> (8 * i));
      }
      if (!hive_ || hive_->handle == nullptr) throw HiveClosed();
      return out;
    }
    const detail::Call call(hive_);
    if (size > call.handle()->file_size) return std::nullopt;
    if (checks::place_data(checks::extent_of(*call.handle()), copy.data_offset, size) !=
        checks::Place::in_file) {
      return std::nullopt;
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    if (GetValueData(call.handle(), &copy, out.data()) == 0) return std::nullopt;
    return out;
  }
  const ValueRecord& record() const { return record_; }

 private:
  detail::HiveRef hive_;
  ValueRecord record_;
  std::uint32_t type_;
};

class Key;

// Steps through the elements of a list that passed the checks; it shares them, so it
// stays valid when the range it came from is gone.
template <typename Item>
class CheckedIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = Item;
  using difference_type = std::ptrdiff_t;
  using pointer = const Item*;
  using reference = Item;

  CheckedIterator(std::shared_ptr<const std::vector<Item>> items, std::size_t index)
      : items_(std::move(items)), index_(index) {}
  Item operator*() const { return (*items_)[index_]; }
  const Item* operator->() const { return &(*items_)[index_]; }
  CheckedIterator& operator++() {
    ++index_;
    return *this;
  }
  CheckedIterator operator++(int) {
    CheckedIterator before = *this;
    ++index_;
    return before;
  }
  bool operator==(const CheckedIterator& o) const { return index_ == o.index_; }
  bool operator!=(const CheckedIterator& o) const { return index_ != o.index_; }

 private:
  std::shared_ptr<const std::vector<Item>> items_;
  std::size_t index_;
};

using checks::Damage;

namespace detail {
template <typename Item>
struct Checked {
  std::vector<Item> items;
  std::vector<Damage> damage;
};
}  // namespace detail

// A key's subkeys. Iteration yields the sound ones (each read once, when the iteration
// starts); at(index) reads any element as the library gives it. The checked reading is
// kept in the object, so one Subkeys (or Values) is not to be first iterated from two
// threads at once; each thread's own, from key.subkeys(), is.
class Subkeys {
 public:
  using iterator = CheckedIterator<Key>;
  Subkeys(detail::HiveRef hive, const KeyRecord& key) : hive_(std::move(hive)), key_(key) {
    const detail::Call call(hive_);
    count_ = GetSubKeyList(call.handle(), &key, &list_);
    if (count_ < 0) count_ = 0;
  }
  Subkeys(HiveHandle* hive, const KeyRecord& key) : Subkeys(detail::borrowed(hive), key) {}
  std::int32_t size() const { return count_; }
  // The list's signature and element count as the file holds them, "lf" or not.
  const KeyListRecord& record() const { return list_; }
  // The subkey at `index` and its name hint (up to the first 4 bytes of its name).
  std::pair<Key, std::string> at(std::int32_t index) const;
  iterator begin() const;
  iterator end() const;
  // What the checks skipped or found wrong in the list; complete once read.
  const std::vector<Damage>& damage() const { return checked().damage; }

 private:
  const detail::Checked<Key>& checked() const;

  detail::HiveRef hive_;
  KeyRecord key_{};
  KeyListRecord list_{};
  std::int32_t count_ = 0;
  mutable std::shared_ptr<const detail::Checked<Key>> checked_;
};

// A key's values. Iteration yields the sound ones, checked when it starts; at(index)
// reads any element as the library gives it.
class Values {
 public:
  using iterator = CheckedIterator<Value>;
  Values(detail::HiveRef hive, const KeyRecord& key) : hive_(std::move(hive)), key_(key) {
    const detail::Call call(hive_);
    count_ = GetValueList(call.handle(), &key, &list_);
    if (count_ < 0) count_ = 0;
  }
  Values(HiveHandle* hive, const KeyRecord& key) : Values(detail::borrowed(hive), key) {}
  std::int32_t size() const { return count_; }
  Value at(std::int32_t index) const {
    ValueRecord record{};
    std::uint32_t type = 0;
    {
      const detail::Call call(hive_);
      type = static_cast<std::uint32_t>(GetValue(call.handle(), &list_, index, &record));
    }
    return Value(hive_, record, type);
  }
  iterator begin() const { return iterator(share(), 0); }
  iterator end() const { return iterator(share(), checked().items.size()); }
  // What the checks skipped or found wrong: elements, the list, data outside the file.
  const std::vector<Damage>& damage() const { return checked().damage; }

 private:
  std::shared_ptr<const std::vector<Value>> share() const {
    return {checked_ptr(), &checked_ptr()->items};
  }
  const detail::Checked<Value>& checked() const { return *checked_ptr(); }
  const std::shared_ptr<const detail::Checked<Value>>& checked_ptr() const {
    if (checked_) return checked_;
    auto out = std::make_shared<detail::Checked<Value>>();
    const detail::Call call(hive_);
    const checks::Extent extent = checks::extent_of(*call.handle());
    checks::ListRun run = checks::plan_values(extent, key_, out->damage);
    while (run.more()) {
      const std::int32_t i = run.take();
      ValueRecord record{};
      const auto type = static_cast<std::uint32_t>(GetValue(call.handle(), &list_, i, &record));
      const checks::Element e = run.judge(extent, i, record.offset, record.signature, out->damage);
      if (e == checks::Element::past_end) {
        out->damage.push_back({Damage::Kind::past_end, checks::Items::values, record.offset, i, i,
                               0, 0, 0, 1});
      }
      if (e != checks::Element::sound) continue;
      const auto length = static_cast<std::int32_t>(record.data_size & ~kValueDataInlineFlag);
      const checks::Place data = checks::place_data(extent, record.data_offset, length);
      if (data != checks::Place::in_file) {
        out->damage.push_back({data == checks::Place::past_end ? Damage::Kind::past_end
                                                               : Damage::Kind::data_no_cell,
                               checks::Items::values, format::cell_contents(record.data_offset),
                               i, i, 0, 0, 0, length});
      }
      out->items.emplace_back(hive_, record, type);
    }
    run.finish(out->damage);
    checked_ = std::move(out);
    return checked_;
  }

  detail::HiveRef hive_;
  KeyRecord key_{};
  ValueListRecord list_{};
  std::int32_t count_ = 0;
  mutable std::shared_ptr<const detail::Checked<Value>> checked_;
};

class Key {
 public:
  Key(detail::HiveRef hive, const KeyRecord& record) : hive_(std::move(hive)), record_(record) {}
  // Over a handle the caller keeps open for as long as the Key is used.
  Key(HiveHandle* hive, const KeyRecord& record) : Key(detail::borrowed(hive), record) {}

  std::string name() const {
    const detail::Call call(hive_);
    return GetRegKeyName(call.handle(), &record_);
  }
  // Whether the name is stored as 8-bit text: a name stored as UTF-16 reads only up to
  // its first zero byte.
  bool name_is_8bit() const { return (record_.flags & kKeyNameIs8BitFlag) != 0; }
  std::int32_t subkey_count() const { return CountSubKeys(&record_); }
  std::int32_t value_count() const { return CountValues(&record_); }
  // When the key was last written, as stored.
  FileTime last_written() const {
    // FILETIME counts from 1601-01-01, the system clock from 1970-01-01.
    constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
    const std::uint64_t ticks =
        static_cast<std::uint64_t>(record_.last_written_high) << 32 | record_.last_written_low;
    return FileTime(FileTime::duration(static_cast<std::int64_t>(ticks - kUnixEpochTicks)));
  }
  Subkeys subkeys() const { return Subkeys(hive_, record_); }
  Values values() const { return Values(hive_, record_); }
  // How many subkeys the key counts that its list hides from the library: all of them
  // under a list other than "lf", those past the end of a shorter "lf" list; else 0.
  std::int32_t subkeys_not_read() const {
    const std::int32_t counted = subkey_count();
    if (counted <= 0) return 0;
    const Subkeys list = subkeys();
    if (list.record().signature != kSigLfList) return counted;
    return list.size() < counted ? counted - list.size() : 0;
  }
  const KeyRecord& record() const { return record_; }
  // The key node this key's record names as its parent, unchecked like Subkeys::at (the
  // root's names none: judge it with checks::judge_element before trusting it). The
  // library reads a key only as a list's element, so it is read as the one element of a
  // list whose element field is the record's parent field.
  Key named_parent() const {
    const KeyListRecord one{record_.offset + format::kNkParentAt - format::kLfElementsAt,
                            kSigLfList, 1};
    KeyRecord record{};
    {
      const detail::Call call(hive_);
      GetSubKey(call.handle(), &one, 0, &record);
    }
    return Key(hive_, record);
  }
  // The file offset of this key's node: the same key always has the same one.
  std::uint32_t offset() const { return record_.offset; }

  // The subkey named `name`, ignoring case. An "lf" list is sorted by upper-cased
  // names, so the lookup binary-searches it, ordering each probe by its name hint (no
  // name read) and reading the full name only where the hints tie. A name not found
  // that way is looked for by a scan, so a list out of order still answers right; only
  // absent names pay for it.
  std::optional<Key> subkey(std::string_view name) const;
  // The same lookup over the elements as the library gives them, unchecked.
  std::optional<Key> unchecked_subkey(std::string_view name) const {
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
  detail::HiveRef hive_;
  KeyRecord record_;
};

inline std::pair<Key, std::string> Subkeys::at(std::int32_t index) const {
  KeyRecord record{};
  std::string hint;
  {
    const detail::Call call(hive_);
    hint = GetSubKey(call.handle(), &list_, index, &record);
  }
  return {Key(hive_, record), std::move(hint)};
}

inline const detail::Checked<Key>& Subkeys::checked() const {
  if (checked_) return *checked_;
  auto out = std::make_shared<detail::Checked<Key>>();
  {
    const detail::Call call(hive_);
    const checks::Extent extent = checks::extent_of(*call.handle());
    if (checks::subkey_list_in_file(extent, key_, out->damage)) {
      checks::ListRun run = checks::plan_subkeys(extent, key_.subkey_count, list_, count_,
                                                 out->damage);
      while (run.more()) {
        const std::int32_t i = run.take();
        KeyRecord record{};
        GetSubKey(call.handle(), &list_, i, &record);
        const checks::Element e =
            run.judge(extent, i, record.offset, record.signature, out->damage);
        if (e == checks::Element::past_end) {
          out->damage.push_back({Damage::Kind::past_end, checks::Items::subkeys, record.offset,
                                 i, i, 0, 0, 0, 1});
        }
        if (e == checks::Element::sound) out->items.emplace_back(hive_, record);
      }
      run.finish(out->damage);
    }
  }
  checked_ = std::move(out);
  return *checked_;
}

inline Subkeys::iterator Subkeys::begin() const {
  checked();
  return iterator({checked_, &checked_->items}, 0);
}
inline Subkeys::iterator Subkeys::end() const {
  checked();
  return iterator({checked_, &checked_->items}, checked_->items.size());
}

// The subkey the lookup finds, when it passes the checks an iteration applies.
inline std::optional<Key> Key::subkey(std::string_view name) const {
  std::optional<Key> found = unchecked_subkey(name);
  if (!found) return found;
  const detail::Call call(hive_);
  const checks::Element e = checks::judge_element(checks::extent_of(*call.handle()),
                                                  checks::Items::subkeys, found->offset(),
                                                  found->record().signature);
  if (e != checks::Element::sound) return std::nullopt;
  return found;
}

// Why the library refused `path` (a Hive of it is false), or why it found no root key
// there, as Hive::open would throw it. Read from the file after the refusal; never
// throws but std::bad_alloc.
inline OpenError why_not_opened(const std::string& path) {
  try {
    return detail::why_not_opened(path);
  } catch (const OpenError& system_refused) {
    return system_refused;
  }
}
inline OpenError why_no_root(const std::string& path) {
  try {
    return detail::why_no_root(path);
  } catch (const OpenError& system_refused) {
    return system_refused;
  }
}

// What to do with a dirty hive: refuse it, as the library does; read it as its primary
// file stands, through a private view; or apply its transaction logs (those beside it)
// to a private copy, as Windows does at load. A clean hive reads as it is in every case.
enum class Dirty { refuse, read, apply_logs };

class Hive {
 public:
  // Opens the hive at `path`; never throws (but std::bad_alloc). is_open() says whether
  // it is a hive the library reads; Hive::open says why not. With Dirty::read, a dirty
  // hive is read through a private view (see warning()).
  explicit Hive(const std::string& path, Dirty dirty = Dirty::refuse) {
    auto state = std::make_shared<detail::OpenHive>(detail::OpenHive{nullptr});
    std::string opened = path;
    if (dirty == Dirty::read) {
      view_ = std::make_shared<PrivateView>(path);
      if (view_->dirty() && view_->problem().empty()) warning_ = view_->warning(path);
      opened = view_->path();
    } else if (dirty == Dirty::apply_logs) {
      logs_ = std::make_shared<const logs::HiveWithLogs>(logs::open_with_logs(path));
      if (logs_->ok() && logs_->report().dirty) {
        warning_ = path + ": warning:";
        for (const std::string& line : logs::describe(logs_->report())) warning_ += " " + line + ";";
        warning_.pop_back();
      }
      if (logs_->ok()) opened = logs_->path();
    }
    {
      [[maybe_unused]] const detail::Lock lock(make_lock());
      state->handle = OpenRegistryFile(opened.c_str());
    }
    if (state->handle != nullptr) {
      state_ = std::move(state);
    } else {
      warning_.clear();
      view_.reset();
      if (logs_ && logs_->ok()) logs_.reset();  // a failure to apply them stays, for open()
    }
  }
  // Opens the hive at `path` and finds its root key, or throws OpenError saying why not
  // (judged from the file itself: a dirty hive of another version is refused for its
  // version).
  static Hive open(const std::string& path, Dirty dirty = Dirty::refuse) {
    Hive hive(path, dirty);
    if (!hive && hive.logs_ && !hive.logs_->ok() && hive.logs_->report().has_signature) {
      throw OpenError(make_error_code(OpenErrc::not_written_cleanly), path,
                      "the hive was not written out cleanly, and its transaction logs could "
                      "not be applied: " + hive.logs_->error());
    }
    if (!hive) throw detail::why_not_opened(path);
    if (!hive.root()) throw detail::why_no_root(path);
    return hive;
  }
  ~Hive() { close(); }
  Hive(Hive&& other) noexcept
      : state_(std::move(other.state_)), view_(std::move(other.view_)),
        logs_(std::move(other.logs_)), warning_(std::move(other.warning_)) {}
  Hive& operator=(Hive&& other) noexcept {
    if (this != &other) {
      close();
      state_ = std::move(other.state_);
      view_ = std::move(other.view_);
      logs_ = std::move(other.logs_);
      warning_ = std::move(other.warning_);
    }
    return *this;
  }

  // What a host should tell its user about how the hive was read: non-empty when a
  // dirty hive is read through a private view, as it stands or with its logs applied.
  const std::string& warning() const { return warning_; }
  // With Dirty::apply_logs, what recovery did (see vesk/transaction_logs.hpp's Report;
  // may_miss_changes() says whether what is read may lack some); else none.
  const logs::Report* logs_report() const { return logs_ ? &logs_->report() : nullptr; }
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  // Closes the file; every Key, Value and list read from this Hive then throws HiveClosed.
  void close() noexcept {
    if (!state_) return;
    {
      [[maybe_unused]] const detail::Lock lock(make_lock());
      CloseRegistryFile(state_->handle);
      state_->handle = nullptr;
    }
    state_.reset();
    view_.reset();
    logs_.reset();
  }

  bool is_open() const { return state_ != nullptr; }
  explicit operator bool() const { return is_open(); }
  HiveHandle* handle() const { return state_ ? state_->handle : nullptr; }

  // The root key, or none when the hive has none where the library looks for it.
  std::optional<Key> root() const {
    if (!state_) return std::nullopt;
    KeyRecord record{};
    {
      const detail::Call call(state_);
      if (SearchRootKey(call.handle(), &record) == 0) return std::nullopt;
    }
    return Key(state_, record);
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
#if defined(VESK_HIVE_NO_LOCK)
  static detail::Lock make_lock() { return {}; }
#else
  static std::mutex& make_lock() { return shared_detail::library_mutex(); }
#endif

  detail::HiveRef state_;
  std::shared_ptr<PrivateView> view_;  // kept for as long as the library reads it
  std::shared_ptr<const logs::HiveWithLogs> logs_;  // likewise, the recovered copy
  std::string warning_;
};

// Visits every key below and including `top`, depth first, each before its subkeys and
// in list order, as vesk-dump does: on_key(path, key, values) for each, path being the
// names below `top` joined by backslashes ("" for `top`); on_damage(path, damage) for
// what the checks skipped in the key's lists (after on_key, so that values the host
// iterated are judged) and for a subkey met again, which is not entered. A key listed
// under two keys is entered where first met (vesk-dump enters it under the one its parent
// field names, when that one lists it). Keys are held on an explicit stack, so no depth
// exhausts the machine's.
template <typename OnKey, typename OnDamage>
void walk(const Key& top, OnKey&& on_key, OnDamage&& on_damage) {
  struct Frame {
    std::string path;
    std::shared_ptr<const Subkeys> list;
    Subkeys::iterator next;
    Subkeys::iterator end;
  };
  std::unordered_set<std::uint32_t> seen{top.offset()};
  std::vector<Frame> frames;
  auto enter = [&](const Key& key, std::string path) {
    const Values values = key.values();
    on_key(static_cast<const std::string&>(path), key, values);
    for (const Damage& d : values.damage()) on_damage(static_cast<const std::string&>(path), d);
    auto list = std::make_shared<const Subkeys>(key.subkeys());
    auto first = list->begin();
    auto last = list->end();
    for (const Damage& d : list->damage()) on_damage(static_cast<const std::string&>(path), d);
    frames.push_back(Frame{std::move(path), std::move(list), first, last});
  };
  enter(top, std::string());
  while (!frames.empty()) {
    Frame& f = frames.back();
    if (f.next == f.end) {
      frames.pop_back();
      continue;
    }
    const Key child = *f.next++;
    std::string path = f.path.empty() ? child.name() : f.path + "\\" + child.name();
    if (!seen.insert(child.offset()).second) {
      on_damage(static_cast<const std::string&>(path),
                Damage{Damage::Kind::revisit, checks::Items::subkeys, child.offset()});
      continue;
    }
    enter(child, std::move(path));
  }
}

}  // inline namespace

}  // namespace vesk

namespace std {
// So that code() == vesk::OpenErrc::wrong_version and the like compare.
template <>
struct is_error_code_enum<vesk::OpenErrc> : true_type {};
}  // namespace std

#endif  // VESK_HIVE_HPP
