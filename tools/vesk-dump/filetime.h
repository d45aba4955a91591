// A key's last-write time as the hive stores it, a FILETIME (100 ns ticks since
// 1601-01-01 UTC), written as ISO 8601 text. Only the arithmetic lives here; which
// writer shows the time, and how it shows one it cannot write, is the writer's choice.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::dump {

enum class TimeKind { kDate, kZero, kOutOfRange };

// kZero for 0 (no time stored); kOutOfRange for a time at or after 10000-01-01, which
// four-digit years cannot show; kDate for every other FILETIME.
TimeKind time_kind(std::uint64_t filetime);

// Appends "YYYY-MM-DDThh:mm:ss.fffffffZ", all seven digits of the ticks kept, when the
// time is a kDate; otherwise appends nothing and returns false.
bool append_iso_time(std::string& out, std::uint64_t filetime);

// Appends the time as tree and timeline show it: the ISO text, "zero", or
// "out of range 0x" and the sixteen hex digits of the stored value.
void append_time_or_reason(std::string& out, std::uint64_t filetime);

}  // namespace vesk::dump
