// The words of vesk-dump's findings, in one place: each finding as its sentence, each
// kind as the --check summary names it, and the short reasons the writers show beside
// what they leave out. Nothing here decides what is shown or counts anything.
#pragma once

#include <cstdint>
#include <string>
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

// Why a writer left something out ("its name holds control characters"); empty for
// Unwritten::Why::kNothing and kNameShownWithMarks, which leave nothing out.
std::string why_unwritten(const Unwritten& what);

}  // namespace vesk::dump
