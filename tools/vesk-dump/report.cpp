// One place that formats diagnostics, so every message names the tool and the file,
// and the one place that counts them by kind for the summary of --check.
#include "report.h"

#include <utility>

#include "checks.h"

namespace vesk::dump {
namespace {

// Each kind as the summary names it, in the order of Finding.
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
    "key names stored as UTF-16",
    "value names stored as UTF-16",
    "names not readable whole",
    "subkey lists of a kind the library does not follow",
    "keys at the depth limit, their subkeys not followed",
};
static_assert(sizeof kLabels / sizeof kLabels[0] == static_cast<std::size_t>(Finding::kCount_),
              "a label for every kind");

}  // namespace

Report::Report(std::ostream& err, std::string file, Progress& progress)
    : err_(err), file_(std::move(file)), progress_(progress) {}

void Report::line(std::string_view what) {
  progress_.clear();
  err_ << "vesk-dump: " << file_ << ": " << what << '\n';
}

void Report::refuse(std::string_view why) { line(why); }

void Report::warn(std::string_view what) { line(what); }

void Report::note(std::string_view what) {
  if (!summary_only_) line(what);
}

void Report::tally(Finding kind, std::uint32_t at, std::int64_t count) {
  errors_ += count;
  Tally& t = kinds_[static_cast<std::size_t>(kind)];
  t.count += count;
  if (at != kNoOffset && t.offsets_kept < kShownOffsets) t.offsets[t.offsets_kept++] = at;
}

void Report::found(Finding kind, std::uint32_t at, std::string_view what, std::int64_t count) {
  tally(kind, at, count);
  print(what, count);
}

void Report::print(std::string_view what, std::int64_t count) {
  if (summary_only_) return;
  if (shown_ == kShownErrors) {
    hidden_ += count;
    return;
  }
  ++shown_;
  line(what);
}

void Report::headline(Finding kind, std::uint32_t at, std::string_view what) {
  tally(kind, at, 1);
  line(what);
}

void Report::stop(std::string_view what) {
  tally(Finding::kTooMuch, kNoOffset, 1);
  if (!summary_only_) line(what);
}

void Report::print_kinds(Finding from, Finding to) {
  for (auto k = static_cast<std::size_t>(from); k < static_cast<std::size_t>(to); ++k) {
    const Tally& t = kinds_[k];
    if (t.count == 0) continue;
    std::string text = std::string("  ") + kLabels[k] + ": " + std::to_string(t.count);
    for (int i = 0; i < t.offsets_kept; ++i) {
      text += (i == 0 ? " (at " : ", ") + hex_offset(t.offsets[i]);
    }
    if (t.offsets_kept > 0) text += t.count > t.offsets_kept ? ", ...)" : ")";
    line(text);
  }
}

void Report::summary(std::int64_t keys, std::int64_t values) {
  std::int64_t damage = 0;
  std::int64_t unreadable = 0;
  for (std::size_t k = 0; k < kinds_.size(); ++k) {
    (k < static_cast<std::size_t>(Finding::kUtf16KeyName) ? damage : unreadable) +=
        kinds_[k].count;
  }
  line(std::to_string(keys) + (keys == 1 ? " key and " : " keys and ") +
       std::to_string(values) + (values == 1 ? " value read" : " values read"));
  if (damage == 0) {
    line("no damage found");
  } else {
    line("damage found, " + std::to_string(damage) + " in all:");
    print_kinds(Finding::kCut, Finding::kUtf16KeyName);
  }
  if (unreadable > 0) {
    line("no damage, but what the library cannot read, " + std::to_string(unreadable) +
         " in all:");
    print_kinds(Finding::kUtf16KeyName, Finding::kCount_);
  }
}

void Report::finish() {
  if (hidden_ > 0) {
    line(std::to_string(hidden_) + " more errors not shown, " + std::to_string(errors_) +
         " in all");
  }
  err_.flush();
}

}  // namespace vesk::dump
