// Every sentence vesk-dump says about a hive, built from the finding's fields. The words
// for subkeys and values, one and many, are chosen here, so a finding only says which.
#include "messages.h"

#include <cstring>

#include "hex_digits.h"
#include "layout.h"

namespace vesk::dump {
namespace {

using std::to_string;

std::string plural(std::int64_t n, const char* one, const char* many) {
  return to_string(n) + " " + (n == 1 ? one : many);
}

const char* many_of(Items items) { return items == Items::kSubkeys ? "subkeys" : "values"; }
const char* one_of(Items items) { return items == Items::kSubkeys ? "subkey" : "value"; }

// "key PATH: its N things", the start of a sentence about a key's lists.
std::string its(std::string_view path, std::int64_t n, Items items) {
  return "key " + std::string(path) + ": its " + to_string(n) + " " + many_of(items);
}

// A value's name as a sentence shows it: quoted, or @ for the default value.
std::string display(std::string_view escaped) {
  return escaped.empty() ? std::string("@") : "\"" + std::string(escaped) + "\"";
}

// The two characters of a list signature such as "lh".
std::string letters(std::uint16_t signature) {
  return {static_cast<char>(signature & 0xFF), static_cast<char>(signature >> 8)};
}

std::string four_hex(std::uint16_t signature) {
  std::string out;
  append_hex(out, signature, 4);
  return out;
}

std::string other_list(std::uint16_t signature) {
  return "their list is an \"" + letters(signature) + "\" list, which the library does not read";
}

std::string not_lf(std::uint16_t signature) {
  return "their list has no \"lf\" signature (0x" + four_hex(signature) + ")";
}

std::string said(const FileCut& f) {
  return "the file holds " + to_string(f.at) + " bytes, but its base block says the hive needs " +
         to_string(f.hive_end) + " (4096 + " + to_string(f.bins_size) +
         " of hive bins): it was cut short; what lies past its end is counted, not dumped";
}

std::string said(const ChecksumWrong& f) {
  return "the base block's checksum is " + hex_offset(f.stored) + ", but its words give " +
         hex_offset(f.computed);
}

std::string said(const BadBin& f) {
  std::string text;
  switch (f.fault) {
    case BinFault::kSignature: text = "the bin at " + hex_offset(f.at) + " is not signed \"hbin\""; break;
    case BinFault::kOffset:
      text = "the bin at " + hex_offset(f.at) + " says it lies at " + hex_offset(f.found + format::kFirstBinAt);
      break;
    case BinFault::kSize:
      text = "the bin at " + hex_offset(f.at) + " says its size is " + to_string(f.found) +
             ", no multiple of 4096 inside the declared bins";
      break;
    case BinFault::kBinsSize:
      return "the base block declares " + to_string(f.found) +
             " bytes of hive bins, no multiple of 4096";
  }
  if (f.last) text += "; the bins after it cannot be found";
  return text;
}

std::string said(const PastBins& f) {
  return "key " + std::string(f.path) + ": a record or data at " + hex_offset(f.at) +
         " lies past the end of the bins the base block declares (" + to_string(f.hive_end) + ")";
}

std::string said(const ParentElsewhere& f) {
  return "key " + std::string(f.path) + " (at " + hex_offset(f.at) +
         ") names the key at " + hex_offset(f.named) + " as its parent";
}

std::string said(const ListedTwice& f) {
  return "key " + std::string(f.path) + " is listed here too, but is dumped only under the key at " +
         hex_offset(f.named) + ", which its parent field names";
}

std::string said(const DepthLimit& f) {
  return "subkeys of " + std::string(f.path) + " are not dumped: the depth limit is " +
         to_string(f.limit);
}

std::string said(const NoSubkeyList& f) {
  return "key " + std::string(f.path) + ": counts " + to_string(f.count) +
         " subkeys, but names no list (key at " + hex_offset(f.at) + ")";
}

std::string said(const ListNoCell& f) {
  return its(f.path, f.count, f.items) + " are not dumped: their list's offset " +
         hex_offset(f.list_at) + " is no cell in the file";
}

std::string said(const ListNotFollowed& f) {
  const std::string what = its(f.path, f.count, Items::kSubkeys) + " are not dumped: ";
  if (f.other_kind) return what + other_list(f.signature);
  return what + "their list at " + hex_offset(f.at) + " has no \"lf\" signature (0x" +
         four_hex(f.signature) + ")";
}

std::string said(const CountMismatch& f) {
  std::string what = "key " + std::string(f.path) + ": counts " + to_string(f.counted) +
                     " subkeys, but its list at " + hex_offset(f.at) + " holds " +
                     to_string(f.stored);
  if (f.held > f.counted && f.counted == 0) {
    return what + "; they are dumped while each is a sound key";
  }
  if (f.held > f.counted && f.counted > 0) {
    return what + "; its first " + to_string(f.counted) +
           " are dumped, and the others while each is a sound key";
  }
  return what + "; the list's are dumped";
}

std::string said(const ListBeyondFile& f) {
  const std::string key = "key " + std::string(f.path) + ": ";
  if (f.items == Items::kSubkeys) {
    return key + "its list at " + hex_offset(f.at) + " counts " + to_string(f.count) +
           " subkeys, but the file holds " + to_string(f.fit) +
           " from there on; those are read while each is a sound key";
  }
  return key + "counts " + to_string(f.count) + " values, but the file holds " +
         to_string(f.fit) + " from their list at " + hex_offset(f.at) +
         " on; those are read while each is a sound value";
}

std::string said(const NegativeCount& f) {
  return its(f.path, f.count, Items::kValues) +
         " are not dumped: a count cannot be negative (key at " + hex_offset(f.at) + ")";
}

std::string said(const SkippedRun& f) {
  const std::int32_t n = f.last - f.first + 1;
  const char* one = one_of(f.items);
  const char* many = many_of(f.items);
  const std::string node = f.items == Items::kSubkeys ? "key node" : "value node";
  std::string what = "key " + std::string(f.path) + ": ";
  what += n == 1 ? std::string(one) + " " + to_string(f.first)
                 : std::string(many) + " " + to_string(f.first) + " to " + to_string(f.last);
  if (f.no_node == 0) {
    what += (n == 1 ? " points" : " point") + std::string(" to no cell in the file");
  } else if (f.no_cell == 0) {
    what += n == 1 ? " is no " + node : " are no " + node + "s";
  } else {
    what += " point to no cell in the file or are no " + node + "s";
  }
  what += (n == 1 ? " (at " : " (the first at ") + hex_offset(f.first_at) + "); skipped";
  if (f.unread > 0) what += ", and the list's last " + plural(f.unread, one, many) + " not read";
  return what;
}

std::string said(const KeyNameUnread& f) {
  if (f.problem == NameProblem::kUtf16) {
    return "key " + std::string(f.path) +
           ": its name is stored as UTF-16, which the library reads only up to the first zero"
           " byte";
  }
  return "key " + std::string(f.path) + ": its name of " + to_string(f.stored) +
         " bytes could not be read whole";
}

std::string said(const ValueNameUnread& f) {
  if (f.problem == NameProblem::kUtf16) {
    return "value " + to_string(f.index) + " of " + std::string(f.path) +
           ": its name is stored as UTF-16, which the library does not read; not shown as a"
           " name";
  }
  return "value " + display(f.name) + " of " + std::string(f.path) + ": its name of " +
         to_string(f.stored) + " bytes could not be read whole";
}

std::string said(const DataNoCell& f) {
  return "value " + (f.name_read ? display(f.name) : to_string(f.index)) + " of " +
         std::string(f.path) + ": data size " + to_string(f.length) + " at " + hex_offset(f.at) +
         " does not fit in the file; data not shown";
}

std::string said(const SharedKey& f) {
  return "key " + std::string(f.path) + " was already dumped under another key; not followed again";
}

std::string said(const LoopBack& f) {
  return "key " + std::string(f.path) + " leads back to its ancestor " + std::string(f.ancestor) +
         "; not followed";
}

std::string said(const TooMuch& f) {
  const char* what = f.budget == Budget::kSubkeys ? "more subkey references"
                     : f.budget == Budget::kValues ? "more value references"
                                                   : "more value data";
  return std::string("the hive holds ") + what +
         " than a file of this size holds; the rest is not dumped";
}

std::string said(const PastEnd& /*f*/) { return {}; }

std::string said(const LostPastEnd& f) {
  std::string parts[3];
  int n = 0;
  if (f.keys > 0) parts[n++] = plural(f.keys, "key", "keys");
  if (f.values > 0) parts[n++] = plural(f.values, "value", "values");
  if (f.data > 0) parts[n++] = "the data of " + plural(f.data, "value", "values");
  if (n == 0) return {};
  std::string what = parts[0];
  for (int i = 1; i < n; ++i) what += (i == n - 1 ? " and " : ", ") + parts[i];
  const bool one = f.keys + f.values + f.data == 1;
  return what + (one ? " lies" : " lie") + " past the end of the cut file; not dumped";
}

std::string said(const NotWritten& f) {
  const Unwritten& u = f.what;
  const std::string path(f.path);
  if (u.why == Unwritten::Why::kNameShownWithMarks) {
    return (u.of_value ? "value " + u.shown + " of " + path : "key " + path) +
           ": control characters in its name are shown as '?'";
  }
  return (u.of_value ? "value " + to_string(u.index) + " of " + path : "key " + path) +
         ": not written: " + why_unwritten(u);
}

std::string said(const ReadDirty& f) {
  return "warning: its sequence numbers " + to_string(f.primary) + " and " +
         to_string(f.secondary) +
         " differ: it was not written out cleanly, and this primary file may miss changes"
         " still held in its transaction logs; read as it is (--ignore-dirty)";
}

std::string said(const NotStorable& f) {
  const std::string why = ": the library reads only names stored as 8-bit text";
  if (f.of_value) return "no value \"" + std::string(f.typed) + "\"" + why;
  return "no key " + std::string(f.typed) + " under " + std::string(f.under) + why;
}

std::string said(const NoSuchKey& f) {
  const std::string step = "\"" + std::string(f.step) + "\"";
  if (f.is_value) {
    return step + " is a value of " + std::string(f.under) + ", not a key; print it with --value";
  }
  return "no key " + step + " under " + std::string(f.under);
}

std::string said(const NoSuchValue& f) {
  return "no value " + display(f.name) + " in " + std::string(f.under);
}

std::string said(const OutputFailed& f) {
  return std::string("writing the output failed") +
         (f.error != 0 ? std::string(": ") + std::strerror(f.error) : std::string());
}

// What a failed read was for, as "reading ..." goes on.
std::string reading(const ReadFailed& f) {
  const std::string key = f.path.empty() ? std::string() : " of key " + std::string(f.path);
  const std::string index = to_string(f.index);
  switch (f.reading) {
    case Reading::kHive: return "the base block";
    case Reading::kRootKey: return "the root key";
    case Reading::kKeyPath: return "the keys on the way to KEYPATH";
    case Reading::kSubkeyList: return "the subkey list" + key;
    case Reading::kSubkey: return "subkey " + index + key;
    case Reading::kKeyName: return "the name of subkey " + index + key;
    case Reading::kValueList: return "the value list" + key;
    case Reading::kValue: return "value " + index + key;
    case Reading::kValueName: return "the name of value " + index + key;
    case Reading::kBinHeaders: return "the headers of the bins";
    case Reading::kValueData: break;
  }
  return "the data of value " + index + key;
}

std::string said(const ReadFailed& f) {
  return "reading " + reading(f) +
         (f.at != kNoOffset ? " (at " + hex_offset(f.at) + ")" : std::string()) +
         " failed: " + std::strerror(f.error) + "; what that read would have given is not dumped";
}

std::string said(const FileChanged& f) {
  std::string text = "the file changed while it was read";
  if (f.size_before != f.size_after) {
    text += " (it held " + to_string(f.size_before) + " bytes, now " +
            to_string(f.size_after) + ")";
  }
  return text + "; what was read of it may mix its old and new contents";
}

std::string said(const LogsSaid& f) { return std::string(f.text); }

std::string said(const LogsNotApplied& f) {
  if (!f.why.empty()) return "not read: " + std::string(f.why);
  return "not read: its transaction logs could not be applied; --ignore-dirty reads the"
         " primary file as it stands";
}

std::string said(const LogsIncomplete&) {
  return "warning: the transaction logs were not applied whole: the output may miss changes"
         " they hold";
}

// Each kind as the summary names it, in the order of Kind.
constexpr const char* kLabels[] = {
    "file cut short",
    "references into the part the cut file lost (not dumped)",
    "subkey references to no cell in the file",
    "subkey references to a cell that is no key node",
    "value references to no cell in the file",
    "value references to a cell that is no value node",
    "lists at no cell in the file",
    "subkey lists without a list signature",
    "subkey counts their lists disagree with",
    "counts the file cannot hold",
    "value data that does not fit in the file",
    "subkeys leading back to an ancestor",
    "keys listed under more than one key",
    "walks stopped: more references or data than the file holds",
    "other errors",
    "base blocks whose checksum is wrong",
    "bins with a wrong signature, offset or size",
    "keys, values or data past the bins the base block declares",
    "keys whose parent field names another key than the one listing them",
    "keys listed under more than one key, dumped under the one their parent field names",
    "key names stored as UTF-16",
    "value names stored as UTF-16",
    "names not readable whole",
    "subkey lists of a kind the library does not follow",
    "keys at the depth limit, their subkeys not followed",
    "reads the system refused",
    "changes to the file while it was read",
};
static_assert(sizeof kLabels / sizeof kLabels[0] == static_cast<std::size_t>(Kind::kCount_),
              "a label for every kind");

}  // namespace

std::string sentence(const Finding& finding) {
  return std::visit([](const auto& f) { return said(f); }, finding);
}

const char* label(Kind kind) { return kLabels[static_cast<std::size_t>(kind)]; }

std::string logs_hint(const std::vector<std::string>& logs) {
  if (logs.empty()) return {};
  std::string names;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    names += (i == 0 ? "" : i + 1 == logs.size() ? " and " : ", ") + logs[i];
  }
  return "; its transaction " + std::string(logs.size() == 1 ? "log " : "logs ") + names +
         (logs.size() == 1 ? " lies" : " lie") + " beside it: --logs applies " +
         (logs.size() == 1 ? "it" : "them");
}

std::string hex_offset(std::uint32_t at) {
  std::string text = "0x";
  append_hex(text, at, 8);
  return text;
}

std::string name_unread(Items of, NameProblem problem, std::int64_t stored) {
  switch (problem) {
    case NameProblem::kUtf16:
      // The library reads a key's UTF-16 name up to a zero byte, a value's not at all.
      return of == Items::kSubkeys ? "name stored as UTF-16, read only up to its first zero byte"
                                   : "name stored as UTF-16";
    case NameProblem::kNotWhole: return "name of " + to_string(stored) + " bytes not read whole";
    case NameProblem::kNone: break;
  }
  return {};
}

std::string subkeys_unread(NotRead why, std::int64_t detail) {
  const auto signature = static_cast<std::uint16_t>(detail);
  switch (why) {
    case NotRead::kDepthLimit: return "the depth limit is " + to_string(detail);
    case NotRead::kListPastEnd: return "their list lies past the end of the file";
    case NotRead::kNoList: return "the key names no list for them";
    case NotRead::kListNoCell: return "their list's offset is no cell in the file";
    case NotRead::kOtherListKind: return other_list(signature);
    case NotRead::kReadError: return read_failed(static_cast<int>(detail));
    case NotRead::kNotLf: break;
  }
  return not_lf(signature);
}

std::string read_failed(int error) {
  return std::string("a read of the file failed: ") + std::strerror(error);
}

std::string skipped_reasons(Items of, const SkipCounts& counts) {
  const bool keys = of == Items::kSubkeys;
  std::string text;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const std::int32_t n = counts[i];
    if (n == 0) continue;
    if (!text.empty()) text += "; ";
    switch (static_cast<Skip>(i)) {
      case Skip::kNoCell: text += plural(n, "reference", "references") + " to no cell in the file"; break;
      case Skip::kWrongKind:
        text += plural(n, "reference", "references") + " to a cell that is no " +
                (keys ? "key node" : "value node");
        break;
      case Skip::kPastEnd:
        text += plural(n, "reference", "references") + " into the part the cut file lost";
        break;
      case Skip::kListedElsewhere: text += plural(n, "key", "keys") + " dumped elsewhere"; break;
      case Skip::kNotReached: text += to_string(n) + " not read after damage or a stop"; break;
      case Skip::kNone:
      case Skip::kSeveral: break;
    }
  }
  return text;
}

std::string why_unwritten(const Unwritten& what) {
  const std::string page = to_string(what.code_page);
  switch (what.why) {
    case Unwritten::Why::kNameHasControls:
      return "its name holds a line end, a NUL or a closing ']' that a .reg line cannot carry";
    case Unwritten::Why::kPathNotInCodePage:
      return "its path has characters that code page " + page + " lacks";
    case Unwritten::Why::kNameNotInCodePage:
      return "its name has characters that code page " + page + " lacks";
    case Unwritten::Why::kDataNotInCodePage:
      return "its data cannot be written exactly in code page " + page;
    case Unwritten::Why::kNothing:
    case Unwritten::Why::kNameShownWithMarks: break;
  }
  return {};
}

std::string why_not_compared(Uncompared why, bool in_old, std::int32_t index,
                             std::string_view detail) {
  const std::string side = in_old ? "OLD" : "NEW";
  const std::string other = in_old ? "NEW" : "OLD";
  switch (why) {
    case Uncompared::kValueNameUnread:
      return side + ": value " + std::to_string(index) + ": its " + std::string(detail);
    case Uncompared::kSubkeyNameUnread:
      return side + ": its " + std::string(detail);
    case Uncompared::kValuesNotAllRead:
      return side + ": values not all read";
    case Uncompared::kSubkeysNotAllRead:
      return side + ": subkeys not all read";
    case Uncompared::kValueNameTwice:
      return "a value name held twice in one key";
    case Uncompared::kSubkeyNameTwice:
      return "a subkey name held twice in one key";
    case Uncompared::kDataDoesNotFit:
      return "the data of a value does not fit in the file";
    case Uncompared::kValueOnlyIn:
      return "a value only in " + side + ", and " + other + "'s values not read whole";
    case Uncompared::kSubkeyOnlyIn:
      return "only in " + side + ", and " + other + "'s subkeys of its parent not read whole";
    case Uncompared::kReadTwice:
      return "a key already read elsewhere in its hive";
    case Uncompared::kTooManyKeys:
      return "more keys than its hive's file can hold";
    case Uncompared::kBelowNotWhole:
      return side + ": parts below it not read whole";
  }
  return {};
}

const char* output_is_hive() {
  return "is a hive being read; the output must go to another file";
}

std::string key_path_hint(std::string_view missing, const std::vector<std::string>& children) {
  if (missing.find('/') != std::string_view::npos) {
    return "separate keys with backslashes, not '/', and quote the path";
  }
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (const std::string& child : children) {
    if (child.size() >= missing.size()) continue;
    bool same = true;
    for (std::size_t i = 0; same && i < child.size(); ++i) {
      same = lower(child[i]) == lower(missing[i]);
    }
    if (same) {
      return "the shell may have taken a backslash: quote the path, as '" + child + "\\" +
             std::string(missing.substr(child.size())) + "'";
    }
  }
  return {};
}

}  // namespace vesk::dump
