// Diagnostics on standard error, one line each, "vesk-dump: FILE: what". A refusal ends
// the dump before it starts; a finding is counted by kind, and the dump goes on. With
// --check the lines give way to one summary: every kind found, its count and offsets.
// What a finding says is messages.h's; whether, and how often, it is said is decided here.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "findings.h"
#include "progress.h"

namespace vesk::dump {

class Report : public Findings {
 public:
  Report(std::ostream& err, std::string file, Progress& progress);

  // Counts the finding under its kind and prints its sentence as its Said asks: within
  // the limit of kShownErrors lines, and not at all when only a summary is wanted,
  // unless it is a headline.
  void add(const Finding& finding) override;

  // A refusal worded outside vesk-dump (by the library's interface): always printed.
  void refuse(std::string_view why);
  // From now on, lines give way to summary().
  void summary_only() { summary_only_ = true; }
  // Prints what was read and every kind found, with counts and the first offsets.
  void summary(std::int64_t keys, std::int64_t values);
  // Says how many errors were not printed, if any.
  void finish();
  bool has_errors() const { return errors_ > 0; }

  static constexpr std::int64_t kShownErrors = 100;
  static constexpr int kShownOffsets = 3;

 private:
  struct Tally {
    std::int64_t count = 0;
    int offsets_kept = 0;
    std::array<std::uint32_t, kShownOffsets> offsets{};
  };

  // Counts `count` findings of `kind`, the first at file offset `at`.
  void tally(Kind kind, std::uint32_t at, std::int64_t count);
  // A line for `count` findings just tallied, within the limit on lines.
  void print(std::string_view what, std::int64_t count);
  void line(std::string_view what);
  void print_kinds(Kind from, Kind to);

  std::ostream& err_;
  std::string file_;
  Progress& progress_;
  std::int64_t errors_ = 0;
  std::int64_t shown_ = 0;   // lines printed by print()
  std::int64_t hidden_ = 0;  // findings not printed for the limit
  bool summary_only_ = false;
  int first_read_error_ = 0;  // errno of the first read that failed, for the summary
  std::array<Tally, static_cast<std::size_t>(Kind::kCount_)> kinds_{};
};

}  // namespace vesk::dump
