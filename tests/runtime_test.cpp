#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shell/run_state.h"
#include "shell/runtime.h"
#include "shell/text.h"

namespace tw {
namespace {

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  struct Case { double in; double out; };
  for (Case c : {Case{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},
                 {1.57, 2}, {6.25, 6}, {12.5, 12}, {37.5, 38}, {0.49999, 0}, {2.5000001, 3},
                 {1e15 + 0.5, 1e15}}) {
    EXPECT_EQ(roundHalfEven(c.in), c.out) << c.in;
  }
}

TEST(Int32, StoringOutOfRangeIsAnOverflowError) {
  EXPECT_EQ(toInt32(2147483647.0), 2147483647);
  EXPECT_THROW(toInt32(2147483648.0), RunTimeError);
  EXPECT_THROW(toInt32(std::numeric_limits<double>::quiet_NaN()), RunTimeError);
}

// Each way a run ends is its own status; the user sees 0 for success and 1
// for either failure.
TEST(ExitStatus, FailuresAreToldApartAndBothExitWithOne) {
  struct Case { ExitStatus status; int code; };
  for (Case c : {Case{ExitStatus::Success, 0}, {ExitStatus::AfterRunTimeError, 1},
                 {ExitStatus::RecordNotKept, 1}})
    EXPECT_EQ(exitCodeOf(c.status), c.code) << static_cast<int>(c.status);
  EXPECT_NE(ExitStatus::AfterRunTimeError, ExitStatus::RecordNotKept);
}

TEST(Texts, TimeAndDateHaveFixedWidths) {
  struct Case { LocalTime t; const char* time; const char* date; };
  for (const Case& c : {Case{{2026, 12, 8, 17, 4, 9, 0}, "17:04:09", "12-08-2026"},
                        Case{{999, 1, 2, 0, 0, 0, 999}, "00:00:00", "01-02-0999"},
                        Case{{2030, 10, 31, 23, 59, 59, 0}, "23:59:59", "10-31-2030"}}) {
    EXPECT_EQ(timeText(c.t), c.time);
    EXPECT_EQ(dateText(c.t), c.date);
  }
}

TEST(Texts, SecondsSinceMidnightIncludeMilliseconds) {
  EXPECT_FLOAT_EQ(secondsSinceMidnight({2026, 1, 1, 1, 1, 1, 500}), 3661.5f);
}

TEST(Texts, NumbersInGeneralFormat) {
  struct Case { double v; const char* text; };
  for (Case c : {Case{1, "1"}, {1.01, "1.01"}, {1.5, "1.5"}, {12.34, "12.34"},
                 {33554.43, "33554.43"}, {0.1 + 0.2, "0.3"}, {-2.5, "-2.5"}, {100, "100"}}) {
    EXPECT_EQ(numberText(c.v), c.text);
  }
  EXPECT_EQ(wholeText(0), "0");
  EXPECT_EQ(wholeText(-17), "-17");
  EXPECT_EQ(wholeText(3355443), "3355443");
}

TEST(Texts, NumberReadFromTheLongestNumericBeginning) {
  struct Case { const char* text; double v; };
  for (Case c : {Case{"57", 57}, {"1.23", 1.23}, {"57cm", 57}, {"-3.5x", -3.5}, {"+4", 4},
                 {"1e3", 1000}, {"2E-2", 0.02}, {"1e", 1}, {"1e+", 1}, {"7.", 7}, {".5", 0},
                 {"", 0}, {"***", 0}, {"abc12", 0}, {"-", 0}, {"12.5.3", 12.5}, {" 5", 0}}) {
    EXPECT_DOUBLE_EQ(textToNumber(c.text), c.v) << '"' << c.text << '"';
  }
  EXPECT_TRUE(std::isinf(textToNumber("1e999")));
  EXPECT_EQ(textToNumber("1e-999"), 0.0);
}

}  // namespace
}  // namespace tw
