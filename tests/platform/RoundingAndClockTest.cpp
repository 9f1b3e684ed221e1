#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <utility>

#include "platform/core/Clock.h"
#include "platform/core/RoundHalfEven.h"

TEST(RoundHalfEven, TiesGoToTheEvenNeighbourInAnyRoundingMode) {
  const std::pair<double, int> cases[] = {{0.5, 0},     {1.5, 2},     {2.5, 2},   {-0.5, 0},    {-1.5, -2},
                                          {-2.5, -2},   {0.49, 0},    {0.51, 1},  {-0.51, -1},  {254.5, 254},
                                          {255.5, 256}, {1e300, INT_MAX}, {-1e300, INT_MIN}, {NAN, 0}};
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::fesetround(mode);
    for (auto [value, result] : cases) EXPECT_EQ(RoundHalfEven(value), result) << value << " mode " << mode;
  }
  std::fesetround(FE_TONEAREST);
}

namespace {
int64_t fakeNow = 0;
int64_t FakeClock() { return fakeNow; }
}  // namespace

TEST(Clock, ATestClockReplacesTheMonotonicOneUntilRemoved) {
  fakeNow = 1000;
  const platform::TClockSource previous = platform::SetClockSource(&FakeClock);
  EXPECT_EQ(previous, &platform::MonotonicMilliseconds);
  EXPECT_EQ(platform::ClockMilliseconds(), 1000);
  fakeNow += 50;
  EXPECT_EQ(platform::ClockMilliseconds(), 1050);
  fakeNow = -1;  // a reading no monotonic clock gives
  EXPECT_EQ(platform::SetClockSource(nullptr), &FakeClock);
  // The monotonic clock again: its reading lies between two readings of it, however long a busy
  // machine takes between them.
  const int64_t a = platform::MonotonicMilliseconds();
  const int64_t b = platform::ClockMilliseconds();
  const int64_t c = platform::MonotonicMilliseconds();
  EXPECT_GE(b, a);
  EXPECT_LE(b, c);
}
