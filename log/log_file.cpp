#include "log/log_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "shell/runtime.h"
#include "shell/text.h"

namespace tw {
namespace {

constexpr int kEof = std::char_traits<char>::eof();

}  // namespace

bool FieldReader::atEnd() {
  std::streambuf* buf = in_.rdbuf();
  return buf == nullptr || buf->sgetc() == kEof;
}

std::string FieldReader::readField() {
  std::streambuf* buf = in_.rdbuf();
  if (buf == nullptr || in_.bad()) throw LogReadError("read failed");
  while (buf->sgetc() == ' ') buf->sbumpc();
  if (buf->sgetc() == kEof) throw LogReadError("nothing left to read");

  std::string field;
  bool quoted = false;
  if (buf->sgetc() == '"') {
    quoted = true;
    buf->sbumpc();
    for (int c = buf->sbumpc(); c != kEof && c != '"'; c = buf->sbumpc())
      field.push_back(static_cast<char>(c));
  }
  // Up to the delimiter: the field's own text, or what trails a closing quote.
  for (int c = buf->sgetc(); c != kEof; c = buf->sgetc()) {
    buf->sbumpc();
    if (c == ',' || c == '\n') break;
    if (c == '\r') {
      if (buf->sgetc() == '\n') buf->sbumpc();
      break;
    }
    if (!quoted) field.push_back(static_cast<char>(c));
  }
  if (in_.bad()) throw LogReadError("read failed");
  return field;
}

std::string recordLine(std::string_view figure, std::string_view unit, std::string_view date,
                       std::string_view time) {
  std::string line;
  line.reserve(figure.size() + unit.size() + date.size() + time.size() + 5);
  line.append(figure).append(" ").append(unit).append(" ").append(date).append(" ").append(time);
  line.append(kLineEnd);
  return line;
}

int64_t exactBillionths(std::string_view text) {
  // Beyond this power of ten a number is past any 32-bit sum; an exponent
  // saturates here, which leaves the outcome as it was.
  constexpr int64_t kHighestPower = 18;
  constexpr int64_t kExponentCap = 100'000;
  constexpr int64_t kDecimalsKept = 9;
  constexpr uint64_t kLargest = (uint64_t{1} << 32) * kBillionthsPerUnit;
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };

  const size_t n = text.size();
  size_t i = 0;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t wholeStart = i;
  while (i < n && isDigit(text[i])) ++i;
  const size_t wholeEnd = i;
  if (wholeEnd == wholeStart) return 0;
  size_t fractionStart = wholeEnd, fractionEnd = wholeEnd;
  if (i + 1 < n && text[i] == '.' && isDigit(text[i + 1])) {
    fractionStart = ++i;
    while (i < n && isDigit(text[i])) ++i;
    fractionEnd = i;
  }
  int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    bool exponentNegative = false;
    if (j < n && (text[j] == '+' || text[j] == '-')) exponentNegative = text[j++] == '-';
    const size_t exponentStart = j;
    while (j < n && isDigit(text[j]))
      exponent = std::min(exponent * 10 + (text[j++] - '0'), kExponentCap);
    if (j == exponentStart) exponent = 0;
    if (exponentNegative) exponent = -exponent;
  }

  // Every digit lands on its own power of ten, so the sum of all of them stays
  // below 10^19 and fits without overflow before the range is checked.
  uint64_t value = 0;
  auto place = [&](char c, int64_t power) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (digit == 0 || power < 0) return;
    if (power > kHighestPower) throw LogReadError("number out of range");
    uint64_t scaled = digit;
    for (int64_t p = 0; p < power; ++p) scaled *= 10;
    value += scaled;
  };
  const int64_t lastWholePower = exponent + kDecimalsKept;
  for (size_t k = wholeStart; k < wholeEnd; ++k)
    place(text[k], lastWholePower + static_cast<int64_t>(wholeEnd - 1 - k));
  for (size_t k = fractionStart; k < fractionEnd; ++k)
    place(text[k], lastWholePower - static_cast<int64_t>(k - fractionStart + 1));
  if (value >= kLargest) throw LogReadError("number out of range");
  const auto magnitude = static_cast<int64_t>(value);
  return negative ? -magnitude : magnitude;
}

LoggedSums sumLoggedDistances(std::istream& in) {
  // A position in a field is counted in 16 bits: a first space beyond this
  // is a failure.
  constexpr size_t kLongestPosition = 32767;
  constexpr int64_t kLowest = int64_t{std::numeric_limits<int32_t>::min()} * kBillionthsPerUnit;
  constexpr int64_t kHighest = int64_t{std::numeric_limits<int32_t>::max()} * kBillionthsPerUnit;
  FieldReader reader(in);
  LoggedSums sums;
  auto addNumberBeforeFirstSpace = [&](const std::string& field, int64_t& sum) {
    const size_t space = field.find(' ');
    if (space == std::string::npos) return;
    if (space + 1 > kLongestPosition) throw LogReadError("field too long");
    // Both terms lie below 2^32 units, so the sum cannot overflow before the check.
    sum += exactBillionths(std::string_view(field).substr(0, space));
    if (sum < kLowest || sum > kHighest) throw LogReadError("sum out of range");
  };
  while (!reader.atEnd()) {
    const std::string field = reader.readField();
    if (field.find("cm") != std::string::npos)
      addNumberBeforeFirstSpace(field, sums.centimetreBillionths);
    if (field.find("mts") != std::string::npos) addNumberBeforeFirstSpace(field, sums.metreBillionths);
  }
  return sums;
}

namespace {

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0); }
int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// A whole part plus a fraction numerator / denominator (0 <= numerator <
// denominator), made whole half to even.
int64_t wholeHalfEven(int64_t whole, int64_t numerator, int64_t denominator) {
  const int64_t twice = 2 * numerator;
  if (twice > denominator || (twice == denominator && floorMod(whole, 2) != 0)) return whole + 1;
  return whole;
}

int32_t inRange(int64_t v) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    throw LogReadError("total out of range");
  return static_cast<int32_t>(v);
}

}  // namespace

DistanceReport reportDistances(const LoggedSums& sums) {
  // The total in metres as a whole part and a fraction in units of 10^-11 m,
  // the unit of a centimetre billionth: every term stays exact.
  constexpr int64_t kFractionPerMetre = 100 * kBillionthsPerUnit;
  constexpr int64_t kFractionPerMetreBillionth = 100;
  // 0.3048 metres to the foot: feet = metres * 1250 / 381.
  constexpr int64_t kFeetNumerator = 1250;
  constexpr int64_t kFeetDenominator = 381;

  int64_t whole = floorDiv(sums.centimetreBillionths, kFractionPerMetre) +
                  floorDiv(sums.metreBillionths, kBillionthsPerUnit);
  int64_t fraction = floorMod(sums.centimetreBillionths, kFractionPerMetre) +
                     floorMod(sums.metreBillionths, kBillionthsPerUnit) * kFractionPerMetreBillionth;
  if (fraction >= kFractionPerMetre) {
    ++whole;
    fraction -= kFractionPerMetre;
  }
  const int32_t metres = inRange(wholeHalfEven(whole, fraction, kFractionPerMetre));

  // (whole + fraction) * 1250 / 381, split so that no product overflows.
  const int64_t scaledWhole = whole * kFeetNumerator;
  int64_t feet = floorDiv(scaledWhole, kFeetDenominator);
  const int64_t rest =
      floorMod(scaledWhole, kFeetDenominator) * kFractionPerMetre + fraction * kFeetNumerator;
  const int64_t restDenominator = kFeetDenominator * kFractionPerMetre;
  feet += rest / restDenominator;
  return DistanceReport{metres, inRange(wholeHalfEven(feet, rest % restDenominator, restDenominator))};
}

std::string reportText(const DistanceReport& report) {
  return "On file: " + wholeText(report.metres) + " mts  = " + wholeText(report.feet) + " ft";
}

}  // namespace tw
