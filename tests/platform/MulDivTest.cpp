#include <gtest/gtest.h>

#include <climits>

#include "platform/core/MulDiv.h"

TEST(MulDiv, RoundsHalvesAwayFromZeroAndFailsWithMinusOne) {
  const struct {
    int number, numerator, denominator, result;
  } cases[] = {
      {10, 3, 4, 8},
      {10, 1, 4, 3},
      {-10, 1, 4, -3},
      {10, -1, 4, -3},
      {-10, -1, 4, 3},
      {10, 1, -4, -3},
      {7, 1, 3, 2},
      {-7, 1, 3, -2},
      {0, 5, 3, 0},
      {5, 0, 3, 0},
      {1, 1, 0, -1},
      {INT_MAX, 2, 2, INT_MAX},
      {INT_MAX, 2, 1, -1},
      {INT_MIN, 1, 1, INT_MIN},
      {INT_MIN, -1, 1, -1},
      {INT_MIN, 1, -1, -1},
      {65536, 65536, 65536, 65536},
      {50, 100, 200, 25},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
        << c.number << " * " << c.numerator << " / " << c.denominator;
}
