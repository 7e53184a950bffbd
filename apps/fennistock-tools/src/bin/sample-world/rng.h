// Rng: the generator's only source of variation, a splitmix64 stream. Every draw depends on the
// seed and the draws before it, so one seed always gives the same world.
#pragma once

#include <cmath>
#include <cstdint>

namespace fennistock::sample_world {

// One step of splitmix64: also a good 64-bit mixing function for hashing lattice points.
[[nodiscard]] constexpr uint64_t mix64(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  // An independent stream for one part of the world, so that adding draws to one part never
  // shifts another.
  [[nodiscard]] Rng fork(uint64_t salt) const { return Rng(mix64(state_ ^ mix64(salt + 0x9E3779B97F4A7C15ull))); }

  uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ull;
    return mix64(state_);
  }
  uint32_t u32() { return static_cast<uint32_t>(next() >> 32); }
  // Uniform in [0, 1), 53 bits.
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double lo, double hi) { return lo + (hi - lo) * unit(); }
  // Log-uniform in [lo, hi); REQUIRES: 0 < lo <= hi.
  double log_uniform(double lo, double hi) { return lo * std::exp(std::log(hi / lo) * unit()); }
  // Uniform in [0, n); REQUIRES: n > 0.
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) * n >> 32); }
  // Uniform in [lo, hi], inclusive.
  uint32_t between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
  bool chance(double p) { return unit() < p; }

 private:
  uint64_t state_;
};

}  // namespace fennistock::sample_world
