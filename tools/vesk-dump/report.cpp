// The one place that prints diagnostics, so every line names the tool and the file, and
// the one place that counts findings by kind for the summary of --check.
#include "report.h"

#include <cstring>
#include <type_traits>
#include <utility>

#include "messages.h"

namespace vesk::dump {

Report::Report(std::ostream& err, std::string file, Progress& progress)
    : err_(err), file_(std::move(file)), progress_(progress) {}

void Report::line(std::string_view what) {
  progress_.clear();
  err_ << "vesk-dump: " << file_ << ": " << what << '\n';
}

void Report::refuse(std::string_view why) { line(why); }

void Report::tally(Kind kind, std::uint32_t at, std::int64_t count) {
  errors_ += count;
  Tally& t = kinds_[static_cast<std::size_t>(kind)];
  t.count += count;
  if (at != kNoOffset && t.offsets_kept < kShownOffsets) t.offsets[t.offsets_kept++] = at;
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

void Report::add(const Finding& finding) {
  std::visit(
      [this, &finding](const auto& f) {
        using F = std::decay_t<decltype(f)>;
        if constexpr (std::is_same_v<F, SkippedRun>) {
          // One line for the run, each failure counted under its own kind.
          const bool keys = f.items == Items::kSubkeys;
          if (f.no_cell > 0) tally(keys ? Kind::kKeyNoCell : Kind::kValueNoCell, f.no_cell_at, f.no_cell);
          if (f.no_node > 0) tally(keys ? Kind::kKeyNotNk : Kind::kValueNotVk, f.no_node_at, f.no_node);
          print(sentence(finding), f.no_cell + f.no_node);
        } else {
          switch (F::kSaid) {
            case Said::kLine:
              if constexpr (std::is_same_v<F, ReadFailed>) {
                if (first_read_error_ == 0) first_read_error_ = f.error;
              }
              tally(kind_of(f), f.at, 1);
              print(sentence(finding), 1);
              break;
            case Said::kHeadline:
              tally(kind_of(f), f.at, 1);
              line(sentence(finding));
              break;
            case Said::kStop:
              tally(kind_of(f), f.at, 1);
              if (!summary_only_) line(sentence(finding));
              break;
            case Said::kNote:
              if (!summary_only_) line(sentence(finding));
              break;
            case Said::kAlways:
              line(sentence(finding));
              break;
            case Said::kCounted:
              if constexpr (std::is_same_v<F, PastEnd>) tally(kind_of(f), f.at, f.count);
              break;
          }
        }
      },
      finding);
}

void Report::print_kinds(Kind from, Kind to) {
  for (auto k = static_cast<std::size_t>(from); k < static_cast<std::size_t>(to); ++k) {
    const Tally& t = kinds_[k];
    if (t.count == 0) continue;
    std::string text = std::string("  ") + label(static_cast<Kind>(k)) + ": " + std::to_string(t.count);
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
  std::int64_t not_read = 0;  // failed reads and changes: what the walk saw is not the file
  for (std::size_t k = 0; k < kinds_.size(); ++k) {
    const auto kind = static_cast<Kind>(k);
    (kind < Kind::kUtf16KeyName ? damage : kind < Kind::kReadError ? unreadable : not_read) +=
        kinds_[k].count;
  }
  line(std::to_string(keys) + (keys == 1 ? " key and " : " keys and ") +
       std::to_string(values) + (values == 1 ? " value read" : " values read"));
  if (not_read > 0) {
    // What a failed read gave is not judged, so the file's soundness is not known.
    line("the file could not be read as it stands, " + std::to_string(not_read) + " in all:");
    print_kinds(Kind::kReadError, Kind::kCount_);
    if (first_read_error_ != 0) {
      line(std::string("  the first failed read: ") + std::strerror(first_read_error_));
    }
  }
  if (damage == 0) {
    line(not_read > 0 ? "no damage seen in what was read, which is not all" : "no damage found");
  } else {
    line("damage found, " + std::to_string(damage) + " in all:");
    print_kinds(Kind::kCut, Kind::kUtf16KeyName);
  }
  if (unreadable > 0) {
    line("no damage, but what the library cannot read, " + std::to_string(unreadable) +
         " in all:");
    print_kinds(Kind::kUtf16KeyName, Kind::kReadError);
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
