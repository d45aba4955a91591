// One place that formats diagnostics, so every message names the tool and the file.
#include "report.h"

#include <utility>

namespace vesk::dump {

Report::Report(std::ostream& err, std::string file, Progress& progress)
    : err_(err), file_(std::move(file)), progress_(progress) {}

void Report::line(std::string_view what) {
  progress_.clear();
  err_ << "vesk-dump: " << file_ << ": " << what << '\n';
}

void Report::refuse(std::string_view why) { line(why); }

void Report::error(std::string_view what) {
  ++errors_;
  if (errors_ - hidden_ > kShownErrors) {
    ++hidden_;
    return;
  }
  line(what);
}

void Report::stop(std::string_view what) {
  ++errors_;
  line(what);
}

void Report::finish() {
  if (hidden_ > 0) {
    line(std::to_string(hidden_) + " more errors not shown, " + std::to_string(errors_) +
         " in all");
  }
  err_.flush();
}

}  // namespace vesk::dump
