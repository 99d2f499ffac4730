// The program's one generator of uniform numbers in [0, 1), reseeded from the
// seconds since midnight wherever the handlers say so.
#pragma once

#include <bit>
#include <cstdint>

namespace tw {

class Random {
 public:
  void reseed(float secondsSinceMidnight) {
    state_ = 0x9E3779B97F4A7C15ULL ^ std::bit_cast<uint32_t>(secondsSinceMidnight);
  }
  double next() {
    // splitmix64: small, fast and well mixed even from neighbouring seeds.
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
  }

 private:
  uint64_t state_ = 0x853C49E6748FEA9BULL;
};

}  // namespace tw
