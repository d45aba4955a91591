// Diagnostics on standard error, one line each, "vesk-dump: FILE: what". A refusal ends
// the dump before it starts; a finding is counted by kind, and the dump goes on. With
// --check the lines give way to one summary: every kind found, its count and offsets.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "progress.h"

namespace vesk::dump {

// What is wrong, for the summary. Damage is what a sound hive never holds; the next
// kinds are hives the library cannot read whole; the last are limits of the dump.
enum class Finding {
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
  kUtf16KeyName,    // from here on: what the library cannot read
  kUtf16ValueName,
  kNameNotWhole,
  kOtherListKind,
  kDepthLimit,      // a limit of the dump itself
  kCount_
};

class Report {
 public:
  Report(std::ostream& err, std::string file, Progress& progress);

  void refuse(std::string_view why);
  // A note that is neither damage nor error, always printed.
  void warn(std::string_view what);
  // A line about findings already counted: printed unless only a summary is wanted.
  void note(std::string_view what);
  // Counts `count` findings of `kind`, the first at file offset `at`, and prints `what`
  // (the first kShownErrors lines; none when only a summary is wanted).
  void found(Finding kind, std::uint32_t at, std::string_view what, std::int64_t count = 1);
  // Counts findings without a line of their own.
  void tally(Finding kind, std::uint32_t at, std::int64_t count);
  // The line for findings just tallied, within the limit on lines like found().
  void print(std::string_view what, std::int64_t count = 1);
  // Like found(), but printed even when only a summary is wanted: the first thing to know.
  void headline(Finding kind, std::uint32_t at, std::string_view what);
  // An error of no particular kind.
  void error(std::string_view what) { found(Finding::kOther, kNoOffset, what); }
  // An error after which the dump stops short: printed unless only a summary is wanted.
  void stop(std::string_view what);
  // From now on, lines give way to summary().
  void summary_only() { summary_only_ = true; }
  // Prints what was read and every kind found, with counts and the first offsets.
  void summary(std::int64_t keys, std::int64_t values);
  // Says how many errors were not printed, if any.
  void finish();
  bool has_errors() const { return errors_ > 0; }

  static constexpr std::int64_t kShownErrors = 100;
  static constexpr int kShownOffsets = 3;
  static constexpr std::uint32_t kNoOffset = 0xFFFFFFFF;

 private:
  struct Tally {
    std::int64_t count = 0;
    int offsets_kept = 0;
    std::array<std::uint32_t, kShownOffsets> offsets{};
  };

  void line(std::string_view what);
  void print_kinds(Finding from, Finding to);

  std::ostream& err_;
  std::string file_;
  Progress& progress_;
  std::int64_t errors_ = 0;
  std::int64_t shown_ = 0;   // lines printed by found()
  std::int64_t hidden_ = 0;  // findings not printed for the limit
  bool summary_only_ = false;
  std::array<Tally, static_cast<std::size_t>(Finding::kCount_)> kinds_{};
};

}  // namespace vesk::dump
