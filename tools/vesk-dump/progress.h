// The progress line on standard error for long dumps: keys and values so far, redrawn
// in place a few times a second and erased before any other message and at the end.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>

namespace vesk::dump {

class Progress {
 public:
  using Clock = std::function<double()>;  // seconds from any fixed point

  // Shows nothing unless `enabled`. The first line appears only once a dump has run for
  // kFirstAfter seconds, so short dumps stay silent.
  Progress(std::ostream& err, bool enabled, Clock clock = steady_seconds);

  // Counts so far, called once per key; cheap when nothing is due.
  void update(std::int64_t keys, std::int64_t values);
  // The same without the count of calls, for one who waits (on the writer, say) and
  // calls it a few times a second.
  void update_if_due(std::int64_t keys, std::int64_t values);
  // Erases the line if one is shown.
  void clear();

  static double steady_seconds();
  static constexpr double kFirstAfter = 0.5;
  static constexpr double kEvery = 0.2;
  static constexpr std::int64_t kCallsPerLook = 64;  // calls between looks at the clock

 private:
  std::ostream& err_;
  bool enabled_;
  Clock clock_;
  double start_ = 0;
  double next_ = 0;
  std::int64_t calls_ = 0;
  std::size_t shown_ = 0;  // length of the line on screen, 0 when none
};

}  // namespace vesk::dump
