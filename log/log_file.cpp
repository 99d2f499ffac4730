#include "log/log_file.h"

#include <cmath>
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

LoggedSums sumLoggedDistances(std::istream& in) {
  // Positions in a field were 16-bit: a first space beyond this is a failure.
  constexpr size_t kLongestPosition = 32767;
  FieldReader reader(in);
  LoggedSums sums;
  auto numberBeforeFirstSpace = [&](const std::string& field, double& sum) {
    const size_t space = field.find(' ');
    if (space == std::string::npos) return;
    if (space + 1 > kLongestPosition) throw LogReadError("field too long");
    sum += textToNumber(std::string_view(field).substr(0, space));
  };
  while (!reader.atEnd()) {
    const std::string field = reader.readField();
    if (field.find("cm") != std::string::npos) numberBeforeFirstSpace(field, sums.centimetres);
    if (field.find("mts") != std::string::npos) numberBeforeFirstSpace(field, sums.metres);
  }
  return sums;
}

DistanceReport reportDistances(const LoggedSums& sums) {
  constexpr double kCentimetresPerMetre = 100;
  constexpr double kMetresPerFoot = 0.3048;
  const double metres = sums.centimetres / kCentimetresPerMetre + sums.metres;
  auto whole = [](double v) {
    const double r = roundHalfEven(v);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
      throw LogReadError("total out of range");
    return static_cast<int32_t>(r);
  };
  return DistanceReport{whole(metres), whole(metres / kMetresPerFoot)};
}

std::string reportText(const DistanceReport& report) {
  return "On file: " + wholeText(report.metres) + " mts  = " + wholeText(report.feet) + " ft";
}

}  // namespace tw
