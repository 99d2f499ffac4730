// Feeds arbitrary bytes to everything that reads walked.log: the field
// reader, start-up's banner check, the number reader and the report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "log/log_file.h"
#include "shell/text.h"

namespace {

void require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Start-up's check: one field, compared with the banner.
  {
    std::istringstream in(bytes);
    tw::FieldReader reader(in);
    try {
      const std::string first = reader.readField();
      require(first.size() <= bytes.size());
    } catch (const tw::LogReadError&) {
    }
  }

  // Every field, as the report reads them; the reader always moves on, and
  // only spaces before the end can make a read fail.
  {
    std::istringstream in(bytes);
    tw::FieldReader reader(in);
    size_t fields = 0;
    try {
      while (!reader.atEnd()) {
        const std::string field = reader.readField();
        (void)tw::textToNumber(field);
        // The exact reading either fails as too large or stays below 2^32 units.
        try {
          const int64_t billionths = tw::exactBillionths(field);
          require(billionths > -(int64_t{1} << 32) * tw::kBillionthsPerUnit &&
                  billionths < (int64_t{1} << 32) * tw::kBillionthsPerUnit);
        } catch (const tw::LogReadError&) {
        }
        require(++fields <= bytes.size());
      }
    } catch (const tw::LogReadError&) {
      require(bytes.find_last_not_of(' ') < bytes.size() - 1 || bytes.find_first_not_of(' ') ==
                                                                     std::string::npos);
    }
  }

  // The report: a total, or a failure the error box reports.
  {
    std::istringstream in(bytes);
    try {
      const tw::DistanceReport report = tw::reportDistances(tw::sumLoggedDistances(in));
      const std::string text = tw::reportText(report);
      require(text.rfind("On file: ", 0) == 0);
      require(text.size() >= 22 && text.compare(text.size() - 3, 3, " ft") == 0);
    } catch (const tw::LogReadError&) {
    }
  }
  return 0;
}
