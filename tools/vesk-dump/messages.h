// The words of vesk-dump's findings, in one place: each finding as its sentence, each
// kind as the --check summary names it, and the short reasons the writers show beside
// what they leave out. Nothing here decides what is shown or counts anything.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "entries.h"
#include "findings.h"

namespace vesk::dump {

// The finding's line on standard error, without the "vesk-dump: FILE: " before it.
std::string sentence(const Finding& finding);

// The kind as the summary of --check names it.
const char* label(Kind kind);

// What a dirty hive's refusal adds about the logs beside it (their file names), before
// "; --ignore-dirty ...": which lie there and that --logs applies them; empty for none.
std::string logs_hint(const std::vector<std::string>& logs);

// A file offset as the messages show it: 0x and eight hex digits.
std::string hex_offset(std::uint32_t at);

// Why a key's or a value's name is not handed over whole, as the writers mark it;
// `stored` is its stored length in bytes. Empty for NameProblem::kNone.
std::string name_unread(Items of, NameProblem problem, std::int64_t stored);

// Why a key's subkeys are not dumped, as the writers mark it (see NotRead for `detail`).
std::string subkeys_unread(NotRead why, std::int64_t detail);

// Why what a failed read held is not dumped, as the writers mark it; `error` is errno.
std::string read_failed(int error);

// Elements of a followed list left out, counted by Skip (kNone and kSeveral unused).
using SkipCounts = std::array<std::int32_t, static_cast<std::size_t>(Skip::kSeveral)>;

// Each reason of `counts` with its count, as the writers mark them ("1 reference to no
// cell in the file; 2 keys listed under another key as well"); empty when all are 0.
std::string skipped_reasons(Items of, const SkipCounts& counts);

// Why a writer left something out ("its name holds control characters"); empty for
// Unwritten::Why::kNothing and kNameShownWithMarks, which leave nothing out.
std::string why_unwritten(const Unwritten& what);

// Why --diff did not compare a part: `in_old` names the hive it concerns, `index` and
// `detail` the value's index and why its name is unread, for the name reasons.
std::string why_not_compared(Uncompared why, bool in_old, std::int32_t index = 0,
                             std::string_view detail = {});

// Why -o refuses a file: it is one of the hives being read.
const char* output_is_hive();

// A hint for a KEYPATH that names no key, from how it was typed: forward slashes, or a
// backslash the shell took away; empty when none fits. `children` are the names of the
// subkeys of the last key found (as printed), `missing` the step not found.
std::string key_path_hint(std::string_view missing, const std::vector<std::string>& children);

}  // namespace vesk::dump
