// Diagnostics on standard error, one line each, "vesk-dump: FILE: what". A refusal ends
// the dump before it starts; an error is counted, and the dump goes on.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "progress.h"

namespace vesk::dump {

class Report {
 public:
  Report(std::ostream& err, std::string file, Progress& progress);

  void refuse(std::string_view why);
  // Prints the first kShownErrors errors; the rest are only counted.
  void error(std::string_view what);
  // An error after which the dump stops short: always printed.
  void stop(std::string_view what);
  // Says how many errors were not printed, if any.
  void finish();
  bool has_errors() const { return errors_ > 0; }

  static constexpr std::int64_t kShownErrors = 100;

 private:
  void line(std::string_view what);

  std::ostream& err_;
  std::string file_;
  Progress& progress_;
  std::int64_t errors_ = 0;
  std::int64_t hidden_ = 0;
};

}  // namespace vesk::dump
