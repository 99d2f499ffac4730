// Texts the program shows and reads, independent of the user's locale.
#pragma once

#include <string>
#include <string_view>

#include "shell/services.h"

namespace tw {

// The line end of the help text and of walked.log.
inline constexpr const char* kCrLf = "\r\n";

// "hh:mm:ss" on a 24-hour clock.
std::string timeText(const LocalTime& t);
// "mm-dd-yyyy".
std::string dateText(const LocalTime& t);
// Seconds since midnight, in single precision, as the run-time's timer gives them.
float secondsSinceMidnight(const LocalTime& t);

// A whole number as plain decimal digits, "-" only when negative.
std::string wholeText(long long v);
// A fractional number in general format: up to 15 significant digits, no
// trailing zeros, "." as the decimal point.
std::string numberText(double v);

// The value of the longest beginning of a text that reads as a decimal number
// (optional sign, digits, optional "." with digits, optional exponent); 0 when
// the text does not begin with a number.
double textToNumber(std::string_view text);

}  // namespace tw
