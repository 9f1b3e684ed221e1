#include "platform/core/RoundHalfEven.h"

#include <cmath>
#include <limits>

namespace platform {

int RoundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (whole <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(whole);
}

}  // namespace platform
