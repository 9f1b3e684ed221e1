#pragma once
// Clocks and thread identity.
#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock (never jumps with the wall clock).
int64_t MonotonicMilliseconds();

struct LocalTime {
  int year, month, day;           // month 1..12, day 1..31
  int hour, minute, second, millisecond;
};
LocalTime LocalTimeNow();

// The kernel's id of the calling thread; never 0.
uint32_t CurrentThreadId();

}  // namespace platform
