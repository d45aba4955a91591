// What vesk-dump finds in a hive, as plain facts: one record per kind of sentence, with
// the offsets, counts and names the sentence needs, and the kind the --check summary
// counts it under. No words here: messages.h turns a finding into its sentence, and a
// Findings (the Report) decides whether and how it is shown.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "entries.h"

namespace vesk::dump {

inline constexpr std::uint32_t kNoOffset = 0xFFFFFFFF;

// What is wrong, for the summary. Damage is what a sound hive never holds; the next
// kinds are hives the library cannot read whole; the last are limits of the dump.
enum class Kind {
  kCut,             // the file is shorter than its base block says
  kPastEnd,         // a reference into the part a cut file lost
  kKeyNoCell,       // a subkey reference to no cell in the file
  kKeyNotNk,        // a subkey reference to a cell that is no key node
  kValueNoCell,
  kValueNotVk,
  kListNoCell,      // a subkey or value list at no cell in the file
  kListNotLf,       // a subkey list with no signature at all
  kCountMismatch,   // a key's subkey count and its list's disagree
  kCountTooLarge,   // a count the file cannot hold, or a negative one
  kDataNoCell,      // data that does not fit the file
  kLoop,            // a subkey leading back to an ancestor
  kShared,          // a key listed under two keys
  kTooMuch,         // more references or data than the file holds: the dump stopped
  kOther,           // an error from outside the walk, such as a failed write
  kChecksum,        // the base block's checksum is not the one its words give
  kBadBin,          // a bin along the declared bins with a wrong signature, offset or size
  kPastBins,        // a key, value or data in the file but past the bins the base block declares
  kParentElsewhere, // a key whose parent field names another key than the one listing it
  kListedTwice,     // a key listed under a second key, dumped under the one its record names
  kUtf16KeyName,    // from here on: what the library cannot read
  kUtf16ValueName,
  kNameNotWhole,
  kOtherListKind,
  kDepthLimit,      // a limit of the dump itself
  kReadError,       // from here on: the file could not be read as it stood; what the
  kChanged,         // failed read or the change gave is not judged as damage
  kCount_
};

// How a finding reaches standard error.
enum class Said {
  kLine,      // counted, and a line of its own within the limit on lines
  kHeadline,  // counted, and a line even when only the summary is wanted
  kStop,      // counted; a line unless only the summary is wanted, past the limit too
  kNote,      // not counted; a line unless only the summary is wanted
  kCounted,   // counted only
  kAlways,    // not counted; a line always: a refusal, a warning
};

// What a list holds.
enum class Items { kSubkeys, kValues };

// Why subkeys a key counts are not dumped; `detail` is the depth limit for kDepthLimit,
// the list's signature for kOtherListKind and kNotLf.
// kReadError: a read of the list failed, `detail` the system's error number.
enum class NotRead {
  kDepthLimit, kListPastEnd, kNoList, kListNoCell, kOtherListKind, kNotLf, kReadError
};

// Subkeys a key counts that are not dumped, and why.
struct Unread {
  std::int32_t count;
  NotRead why;
  std::int64_t detail = 0;
};

// Why a name is not handed over whole.
enum class NameProblem { kNone, kUtf16, kNotWhole };

// The budgets that end a walk once a file of the hive's size cannot hold more.
enum class Budget { kSubkeys, kValues, kData };

// Paths and names below are as printed: in the code set, with '?' for control characters.
// `at` is the offset the summary lists for the finding.

struct FileCut {  // the file is shorter than its base block says
  static constexpr Kind kKind = Kind::kCut;
  static constexpr Said kSaid = Said::kHeadline;
  std::uint32_t at;  // the file's size
  std::uint64_t hive_end;
  std::uint32_t bins_size;
};

struct DepthLimit {  // a key's subkeys lie below the depth limit
  static constexpr Kind kKind = Kind::kDepthLimit;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the key
  std::string_view path;
  int limit;
};

struct NoSubkeyList {  // a key counts subkeys but names no list
  static constexpr Kind kKind = Kind::kCountMismatch;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the key
  std::string_view path;
  std::int32_t count;
};

struct ListNoCell {  // a key's list is at no cell in the file
  static constexpr Kind kKind = Kind::kListNoCell;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the key
  std::string_view path;
  Items items;
  std::int32_t count;
  std::uint32_t list_at;
};

// A subkey list the library does not follow: an "li", "lh" or "ri" list (`other_kind`),
// or one with no list signature at all.
struct ListNotFollowed {
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the list
  std::string_view path;
  std::int32_t count;
  std::uint16_t signature;
  bool other_kind;
};

struct CountMismatch {  // a key's subkey count and its list's disagree
  static constexpr Kind kKind = Kind::kCountMismatch;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the list
  std::string_view path;
  std::int32_t counted;  // by the key
  std::int32_t stored;   // by the list's record
  std::int32_t held;     // elements the list holds as the library reads it
};

struct ListBeyondFile {  // a list counts more elements than the file holds from it on
  static constexpr Kind kKind = Kind::kCountTooLarge;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the list
  std::string_view path;
  Items items;
  std::int64_t count;
  std::int64_t fit;
};

struct NegativeCount {  // a key's value count below zero
  static constexpr Kind kKind = Kind::kCountTooLarge;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the key
  std::string_view path;
  std::int32_t count;
};

// A run of consecutive list elements that name no cell (no_cell of them) or a cell of
// the wrong kind (no_node), skipped; `unread` elements after it left unread. Counted
// under the two kinds of `items`, the first of each at its own offset.
struct SkippedRun {
  static constexpr Said kSaid = Said::kLine;
  std::string_view path;
  Items items;
  std::int32_t first;
  std::int32_t last;
  std::uint32_t first_at;
  std::int32_t no_cell;
  std::uint32_t no_cell_at;
  std::int32_t no_node;
  std::uint32_t no_node_at;
  std::int32_t unread;
};

struct KeyNameUnread {  // a key's name the library does not read whole
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the key
  std::string_view path;
  NameProblem problem;
  std::int64_t stored;  // the name's stored length in bytes
};

struct ValueNameUnread {  // a value's name the library does not read whole
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the value
  std::string_view path;
  NameProblem problem;
  std::int32_t index;
  std::string_view name;  // what was read of it, escaped as in a .reg string
  std::int64_t stored;
};

struct DataNoCell {  // data that does not fit in the file
  static constexpr Kind kKind = Kind::kDataNoCell;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the data
  std::string_view path;
  std::int32_t index;
  bool name_read;         // false: the value is named by its index
  std::string_view name;  // escaped as in a .reg string; empty for the default value
  std::int32_t length;
};

struct SharedKey {  // a key listed under a second key
  static constexpr Kind kKind = Kind::kShared;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the key
  std::string_view path;  // under the second key
};

struct LoopBack {  // a subkey that is one of its ancestors
  static constexpr Kind kKind = Kind::kLoop;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the ancestor
  std::string_view path;      // of the subkey
  std::string_view ancestor;  // the ancestor's own path
};

struct TooMuch {  // the walk stopped: a budget ran out
  static constexpr Kind kKind = Kind::kTooMuch;
  static constexpr Said kSaid = Said::kStop;
  std::uint32_t at = kNoOffset;
  Budget budget;
};

struct PastEnd {  // references into the part a cut file lost, summed up by LostPastEnd
  static constexpr Kind kKind = Kind::kPastEnd;
  static constexpr Said kSaid = Said::kCounted;
  std::uint32_t at;
  std::int64_t count;
};

struct LostPastEnd {  // all that lay past the end of a cut file, at the end of the walk
  static constexpr Kind kKind = Kind::kPastEnd;
  static constexpr Said kSaid = Said::kNote;
  std::uint32_t at = kNoOffset;
  std::int64_t keys = 0;
  std::int64_t values = 0;
  std::int64_t data = 0;  // values whose data
};

struct NotWritten {  // what a writer could not write as it stands
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at = kNoOffset;
  std::string_view path;  // of the key, or of the value's key
  Unwritten what;
};

// What the file audit (file_audit.h) finds, reading the file apart from the library.

struct ChecksumWrong {  // the base block's checksum
  static constexpr Kind kKind = Kind::kChecksum;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // where it is stored
  std::uint32_t stored;
  std::uint32_t computed;
};

enum class BinFault { kSignature, kOffset, kSize, kBinsSize };

struct BadBin {  // a bin header along the declared bins, or the declared size itself
  static constexpr Kind kKind = Kind::kBadBin;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;  // the bin; the base block's field for kBinsSize
  BinFault fault;
  std::uint32_t found;  // the signature, offset or size as stored
  bool last;            // the bins after it cannot be found
};

struct PastBins {  // a record or data past the bins the base block declares
  static constexpr Kind kKind = Kind::kPastBins;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;
  std::string_view path;  // of the key, or of the value's key
  std::uint64_t hive_end;
};

struct ParentElsewhere {  // a key listed under one key whose own record names another
  static constexpr Kind kKind = Kind::kParentElsewhere;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;       // the key
  std::string_view path;  // as listed
  std::uint32_t named;    // the parent its record names, as a file offset
};

// A key listed under a key its record does not name as parent, not dumped there: it is
// dumped under the key its record names, which lists it too.
struct ListedTwice {
  static constexpr Kind kKind = Kind::kListedTwice;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;       // the key
  std::string_view path;  // where it is listed and not dumped
  std::uint32_t named;    // the parent its record names, as a file offset
};

// What vesk-dump itself says before or after the walk.

struct ReadDirty {  // --ignore-dirty on a hive whose sequence numbers differ
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kAlways;
  std::uint32_t at = kNoOffset;
  std::uint32_t primary;
  std::uint32_t secondary;
};

struct LogsSaid {  // --logs: a line of what recovery read, applied and left, as it words it
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kAlways;
  std::uint32_t at = kNoOffset;
  std::string_view text;
};

struct LogsNotApplied {  // --logs: no view could be made; the hive is not read
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kAlways;
  std::uint32_t at = kNoOffset;
  std::string_view why;  // the in-memory file's failure; empty when the logs failed
};

struct LogsIncomplete {  // --logs: read, but a log or an entry was not applied
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kHeadline;
  std::uint32_t at = kNoOffset;
};

struct NotStorable {  // a KEYPATH or --value with a character no stored name holds
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kAlways;
  std::uint32_t at = kNoOffset;
  bool of_value;
  std::string_view typed;  // as typed
  std::string_view under;  // the path of the key it was looked for under
};

struct NoSuchKey {  // a KEYPATH step with no key of its name
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kAlways;
  std::uint32_t at = kNoOffset;
  std::string_view step;   // as printed, unquoted
  std::string_view under;  // the path of the last key found
  bool is_value;           // the last step names a value of that key instead
};

struct NoSuchValue {  // --value naming no value of the key
  static constexpr Kind kKind = Kind::kOther;
  static constexpr Said kSaid = Said::kAlways;
  std::uint32_t at = kNoOffset;
  std::string_view name;  // as printed, unquoted; empty for the default value
  std::string_view under;
};

struct OutputFailed {  // the output could not be written: the dump stops short
  static constexpr Kind kKind = Kind::kTooMuch;
  static constexpr Said kSaid = Said::kStop;
  std::uint32_t at = kNoOffset;
  int error;  // the system's reason; 0 when none was given
};

// What a failed read was reading.
enum class Reading { kHive, kRootKey, kKeyPath, kSubkeyList, kSubkey, kKeyName, kValueList,
                     kValue, kValueName, kValueData, kBinHeaders };

struct ReadFailed {  // the system refused a read: what it would have given is not judged
  static constexpr Kind kKind = Kind::kReadError;
  static constexpr Said kSaid = Said::kLine;
  std::uint32_t at;       // the record being read, or kNoOffset
  std::string_view path;  // of the key, or of the value's key; empty before the walk
  Reading reading;
  std::int32_t index;     // the subkey's or value's, where `reading` names one
  int error;              // errno
};

struct FileChanged {  // the file's size or modification time moved during the run
  static constexpr Kind kKind = Kind::kChanged;
  static constexpr Said kSaid = Said::kHeadline;
  std::uint32_t at = kNoOffset;
  std::uint64_t size_before;
  std::uint64_t size_after;
};

// The kind a finding is counted under.
template <class F>
constexpr Kind kind_of(const F& /*finding*/) { return F::kKind; }
inline Kind kind_of(const ListNotFollowed& f) {
  return f.other_kind ? Kind::kOtherListKind : Kind::kListNotLf;
}
inline Kind kind_of(const KeyNameUnread& f) {
  return f.problem == NameProblem::kUtf16 ? Kind::kUtf16KeyName : Kind::kNameNotWhole;
}
inline Kind kind_of(const ValueNameUnread& f) {
  return f.problem == NameProblem::kUtf16 ? Kind::kUtf16ValueName : Kind::kNameNotWhole;
}

using Finding =
    std::variant<FileCut, DepthLimit, NoSubkeyList, ListNoCell, ListNotFollowed, CountMismatch,
                 ListBeyondFile, NegativeCount, SkippedRun, KeyNameUnread,
                 ValueNameUnread, DataNoCell, SharedKey, LoopBack, TooMuch, PastEnd,
                 LostPastEnd, NotWritten, ReadDirty, NotStorable, NoSuchKey, NoSuchValue,
                 OutputFailed, ReadFailed, FileChanged, ChecksumWrong, BadBin,
                 PastBins, ParentElsewhere, ListedTwice, LogsSaid, LogsNotApplied,
                 LogsIncomplete>;

// Why --diff did not compare a part of the hives; messages.h words it.
enum class Uncompared {
  kValueNameUnread,    // a value's name not read whole, in one hive
  kSubkeyNameUnread,   // a subkey's
  kValuesNotAllRead,   // a key's value list not read whole, in one hive
  kSubkeysNotAllRead,  // its subkey list
  kValueNameTwice,     // a name held twice in one list (damage, or names read cut)
  kSubkeyNameTwice,
  kDataDoesNotFit,     // a value's data does not fit in its file
  kValueOnlyIn,        // a value in one hive only, whose other hive's list was not read whole
  kSubkeyOnlyIn,       // the same for a subkey
  kReadTwice,          // a key already read elsewhere in its hive
  kTooManyKeys,        // more keys than the hive's file can hold
  kBelowNotWhole,      // an added or removed key with parts below it not read whole
};

// Where findings go as they are made, in the order they are made.
class Findings {
 public:
  virtual ~Findings() = default;
  virtual void add(const Finding& finding) = 0;
};

}  // namespace vesk::dump
