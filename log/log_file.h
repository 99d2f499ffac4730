// The walked.log format: the banner line, the record lines and the one rule by
// which both readers take the file apart, field by field.
#pragma once

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "shell/text.h"

namespace tw {

inline constexpr const char* kLogFileName = "walked.log";
inline constexpr const char* kLogBackupSuffix = ".bak";
// One fixed text for the program's whole life: start-up compares the file's
// first field with it, so it holds no comma and no double quote.
inline constexpr const char* kLogBanner = "*** Visit Korvek at https://korvek.example ***";
inline constexpr const char* kLineEnd = kCrLf;

// Reading past the end, or a failing read.
class LogReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Skips spaces; a field that opens with a double quote runs to the next double
// quote, any other runs to the next comma or line end (CR LF, LF or CR). The
// reader then stands after that comma or line end.
class FieldReader {
 public:
  explicit FieldReader(std::istream& in) : in_(in) {}
  bool atEnd();
  std::string readField();

 private:
  std::istream& in_;
};

// The record line the end of a run appends: the distance number first and
// directly followed by a space, then unit, date and time, single-spaced.
std::string recordLine(std::string_view figure, std::string_view unit, std::string_view date,
                       std::string_view time);

// The report's sums over a whole log: the number in front of the first space
// of every field that holds "cm", and of every field that holds "mts". Both
// are exact, in billionths of their unit: a decimal fraction such as 1.13 is
// never rounded to binary, and a hand-edited number counts to nine decimals.
struct LoggedSums {
  int64_t centimetreBillionths = 0;
  int64_t metreBillionths = 0;
};
inline constexpr int64_t kBillionthsPerUnit = 1'000'000'000;

// The number in front of a field's first space, in billionths: the longest
// beginning that reads as a decimal number (optional sign, digits, optional
// "." with digits, optional exponent), 0 when there is none. Decimals beyond
// the ninth are dropped. Throws LogReadError when the number is so large that
// no 32-bit sum could hold it.
int64_t exactBillionths(std::string_view text);

// Throws LogReadError on a failing read, a field whose first space lies beyond
// the reach of a 16-bit position, or a sum that leaves the 32-bit range.
LoggedSums sumLoggedDistances(std::istream& in);

struct DistanceReport {
  int32_t metres = 0;
  int32_t feet = 0;
};
// Total metres and feet (at 0.3048 metres to the foot), each made whole once,
// half to even, from the exact sums; throws LogReadError when either falls
// outside the 32-bit range.
DistanceReport reportDistances(const LoggedSums& sums);
std::string reportText(const DistanceReport& report);

}  // namespace tw
