// Run-time errors and the rounding rules that every handler shares.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace tw {

// A run-time error with the number and message the user sees when a handler
// does not trap it.
class RunTimeError : public std::runtime_error {
 public:
  RunTimeError(int number, const std::string& message)
      : std::runtime_error(message), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

// The numbers and messages of the two errors the core can raise, fixed, so
// that a user who reports one gives the number the saver's makers know:
// arithmetic that leaves an integer's range, and a picture asked for outside
// its set.
inline constexpr int kOverflowError = 6;
inline constexpr const char* kOverflowMessage = "Overflow";
inline constexpr int kIndexOutOfBoundsError = 35600;
inline constexpr const char* kIndexOutOfBoundsMessage = "Index out of bounds";

[[noreturn]] inline void raiseOverflow() { throw RunTimeError(kOverflowError, kOverflowMessage); }

// Nearest whole number, an exact half going to the even neighbour.
inline double roundHalfEven(double v) {
  double r = std::round(v);  // halves away from zero
  if (std::fabs(v - std::trunc(v)) == 0.5) r = 2.0 * std::round(v / 2.0);
  return r;
}

// Storing a fractional value into a 32-bit integer: made whole, then range checked.
inline int32_t toInt32(double v) {
  double r = roundHalfEven(v);
  if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
    raiseOverflow();
  return static_cast<int32_t>(r);
}

}  // namespace tw
