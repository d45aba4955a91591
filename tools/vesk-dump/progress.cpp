// Throttled by the clock, looked at only every few dozen keys, so progress costs nothing
// measurable on a dump that writes hundreds of thousands of keys.
#include "progress.h"

#include <chrono>
#include <string>
#include <utility>

namespace vesk::dump {

double Progress::steady_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Progress::Progress(std::ostream& err, bool enabled, Clock clock)
    : err_(err), enabled_(enabled), clock_(std::move(clock)) {
  if (enabled_) {
    start_ = clock_();
    next_ = start_ + kFirstAfter;
  }
}

void Progress::update(std::int64_t keys, std::int64_t values) {
  if (!enabled_ || calls_++ % kCallsPerLook != 0) return;
  update_if_due(keys, values);
}

void Progress::update_if_due(std::int64_t keys, std::int64_t values) {
  if (!enabled_) return;
  const double now = clock_();
  if (now < next_) return;
  next_ = now + kEvery;
  std::string line = "\r" + std::to_string(keys) + " keys, " + std::to_string(values) + " values";
  const std::size_t length = line.size() - 1;
  if (length < shown_) line.append(shown_ - length, ' ');
  shown_ = length;
  err_ << line << std::flush;
}

void Progress::clear() {
  if (shown_ == 0) return;
  err_ << '\r' << std::string(shown_, ' ') << '\r' << std::flush;
  shown_ = 0;
}

}  // namespace vesk::dump
