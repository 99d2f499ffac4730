#include "shell/text.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <limits>

namespace tw {
namespace {

std::string twoDigits(int v) {
  std::array<char, 4> buf{};
  std::snprintf(buf.data(), buf.size(), "%02d", v % 100);
  return buf.data();
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string timeText(const LocalTime& t) {
  return twoDigits(t.hour) + ':' + twoDigits(t.minute) + ':' + twoDigits(t.second);
}

std::string dateText(const LocalTime& t) {
  std::array<char, 8> year{};
  std::snprintf(year.data(), year.size(), "%04d", t.year % 10000);
  return twoDigits(t.month) + '-' + twoDigits(t.day) + '-' + year.data();
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
