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
#include <utility>
#include <vector>

#include "vesk/base_block.hpp"
#include "vesk/layout.hpp"
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

// Steps through a list by index; each dereference asks the library for that element.
// It holds a copy of the list, so it stays valid when the range it came from is gone.
template <typename List, typename Item>
class IndexIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = Item;
  using difference_type = std::ptrdiff_t;
  using pointer = const Item*;
  using reference = Item;

  IndexIterator(const List& list, std::int32_t index) : list_(list), index_(index) {}
  Item operator*() const { return item(list_.at(index_)); }
  IndexIterator& operator++() {
    ++index_;
    return *this;
  }
  IndexIterator operator++(int) {
    IndexIterator before = *this;
    ++index_;
    return before;
  }
  bool operator==(const IndexIterator& o) const { return index_ == o.index_; }
  bool operator!=(const IndexIterator& o) const { return index_ != o.index_; }

 private:
  template <typename Pair>
  static Item item(Pair entry) {
    if constexpr (std::is_same_v<Pair, Item>) {
      return entry;
    } else {
      return entry.first;
    }
  }

  List list_;
  std::int32_t index_;
};

// Subkeys by index: each step reads one element and the subkey's record.
class Subkeys {
 public:
  using iterator = IndexIterator<Subkeys, Key>;
  Subkeys(detail::HiveRef hive, const KeyRecord& key) : hive_(std::move(hive)) {
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

 private:
  detail::HiveRef hive_;
  KeyListRecord list_{};
  std::int32_t count_ = 0;
};

class Values {
 public:
  using iterator = IndexIterator<Values, Value>;
  Values(detail::HiveRef hive, const KeyRecord& key) : hive_(std::move(hive)) {
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
  iterator begin() const { return iterator(*this, 0); }
  iterator end() const { return iterator(*this, count_); }

 private:
  detail::HiveRef hive_;
  ValueListRecord list_{};
  std::int32_t count_ = 0;
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

inline Subkeys::iterator Subkeys::begin() const { return iterator(*this, 0); }
inline Subkeys::iterator Subkeys::end() const { return iterator(*this, count_); }

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

class Hive {
 public:
  // Opens the hive at `path`; never throws (but std::bad_alloc). is_open() says whether
  // it is a hive the library reads; Hive::open says why not.
  explicit Hive(const std::string& path) {
    auto state = std::make_shared<detail::OpenHive>(detail::OpenHive{nullptr});
    {
      [[maybe_unused]] const detail::Lock lock(make_lock());
      state->handle = OpenRegistryFile(path.c_str());
    }
    if (state->handle != nullptr) state_ = std::move(state);
  }
  // Opens the hive at `path` and finds its root key, or throws OpenError saying why not.
  static Hive open(const std::string& path) {
    Hive hive(path);
    if (!hive) throw detail::why_not_opened(path);
    if (!hive.root()) throw detail::why_no_root(path);
    return hive;
  }
  ~Hive() { close(); }
  Hive(Hive&& other) noexcept : state_(std::move(other.state_)) {}
  Hive& operator=(Hive&& other) noexcept {
    if (this != &other) {
      close();
      state_ = std::move(other.state_);
    }
    return *this;
  }
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
};

}  // inline namespace

}  // namespace vesk

namespace std {
// So that code() == vesk::OpenErrc::wrong_version and the like compare.
template <>
struct is_error_code_enum<vesk::OpenErrc> : true_type {};
}  // namespace std

#endif  // VESK_HIVE_HPP
