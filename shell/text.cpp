#include "shell/text.h"

#include <array>
#include <cmath>
#include <charconv>
#include <cstdio>
#include <limits>

namespace tw {
namespace {

void putDigits(char* out, int v, int digits) {
  for (int i = digits - 1; i >= 0; --i, v /= 10) out[i] = static_cast<char>('0' + v % 10);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Three zero-padded fields in a pattern such as "00:00:00": two digits, two
// digits, then `lastDigits` digits.
std::string threeFields(const char* pattern, int first, int second, int last, int lastDigits) {
  std::string s = pattern;
  putDigits(&s[0], first, 2);
  putDigits(&s[3], second, 2);
  putDigits(&s[6], last, lastDigits);
  return s;
}

}  // namespace

// The clock is refreshed on every tick: its text is built without formatting calls.
std::string timeText(const LocalTime& t) {
  return threeFields("00:00:00", t.hour % 100, t.minute % 100, t.second % 100, 2);
}

std::string dateText(const LocalTime& t) {
  return threeFields("00-00-0000", t.month % 100, t.day % 100, t.year % 10000, 4);
}

float secondsSinceMidnight(const LocalTime& t) {
  return static_cast<float>(t.hour * 3600 + t.minute * 60 + t.second + t.millisecond / 1000.0);
}

std::string wholeText(long long v) {
  std::array<char, 24> buf{};
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
  return std::string(buf.data(), end);
}

std::string numberText(double v) {
  // Hundredths, as the distance figure shows them on every walk tick, are
  // written from their integer: the same text general format gives, cheaper.
  constexpr double kLargestExactHundredths = 1e13;
  const double hundredths = std::nearbyint(v * 100);
  if (std::fabs(hundredths) < kLargestExactHundredths && hundredths / 100 == v) {
    const long long n = static_cast<long long>(hundredths);
    const long long magnitude = n < 0 ? -n : n;
    std::string s = wholeText(magnitude / 100);
    const int cents = static_cast<int>(magnitude % 100);
    if (cents != 0) {
      s += '.';
      s += static_cast<char>('0' + cents / 10);
      if (cents % 10 != 0) s += static_cast<char>('0' + cents % 10);
    }
    return n < 0 ? '-' + s : s;
  }
  // to_chars never consults the C locale, which Qt sets from the user's
  // environment and which would otherwise turn the point into a comma.
  std::array<char, 64> buf{};
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v,
                                 std::chars_format::general, 15);
  std::string s(buf.data(), end);
  if (s.find('e') == std::string::npos) return s;
  // Outside the ranges the program reaches; fixed notation keeps the form
  // free of exponents all the same.
  end = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed).ptr;
  return std::string(buf.data(), end);
}

double textToNumber(std::string_view text) {
  // Plain digits, as the walk tick reads its own figure back, are summed exactly.
  constexpr size_t kExactDigits = 15;
  if (!text.empty() && text.size() <= kExactDigits) {
    long long whole = 0;
    size_t i = 0;
    while (i < text.size() && isDigit(text[i])) whole = whole * 10 + (text[i++] - '0');
    if (i == text.size()) return static_cast<double>(whole);
  }
  size_t i = 0;
  const size_t n = text.size();
  size_t start = 0;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t digitsStart = i;
  while (i < n && isDigit(text[i])) ++i;
  if (i == digitsStart) return 0.0;
  size_t end = i;
  if (i + 1 < n && text[i] == '.' && isDigit(text[i + 1])) {
    ++i;
    while (i < n && isDigit(text[i])) ++i;
    end = i;
  }
  if (end < n && (text[end] == 'e' || text[end] == 'E')) {
    size_t j = end + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    const size_t expStart = j;
    while (j < n && isDigit(text[j])) ++j;
    if (j > expStart) end = j;
  }
  if (text[start] == '+') ++start;  // from_chars takes no plus sign
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + end, value);
  if (ec == std::errc::result_out_of_range) {
    // A magnitude beyond double: infinity, or zero for an underflow.
    const bool negative = text[0] == '-';
    const bool tiny = std::string_view(text.data() + start, end - start).find("e-") !=
                          std::string_view::npos ||
                      std::string_view(text.data() + start, end - start).find("E-") !=
                          std::string_view::npos;
    if (tiny) return 0.0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  return value;
}

}  // namespace tw
