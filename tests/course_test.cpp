#include "tests/harness.h"

namespace tw::test {
namespace {

TEST(Course, FirstCourseIsLaidOutAtStartUp) {
  Saver s;
  s.load();
  EXPECT_TRUE(s->walkDirection == 1 || s->walkDirection == 2);
}

}  // namespace
}  // namespace tw::test
