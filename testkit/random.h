// A seeded random stream (splitmix64) for the hive generators: small, and the same
// numbers from the same seed with every compiler, so generated hives are reproducible.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk::test {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [0, n).
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
  }
  // A number in [lo, hi].
  std::int32_t between(std::int32_t lo, std::int32_t hi) {
    return lo + static_cast<std::int32_t>(below(static_cast<std::uint32_t>(hi - lo + 1)));
  }
  bool percent(std::uint32_t p) { return below(100) < p; }
  bool per_mille(std::uint32_t p) { return below(1000) < p; }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(static_cast<std::uint32_t>(N))];
  }
  template <typename T>
  const T& pick(const std::vector<T>& from) {
    return from[below(static_cast<std::uint32_t>(from.size()))];
  }

 private:
  std::uint64_t state_;
};

}  // namespace vesk::test
