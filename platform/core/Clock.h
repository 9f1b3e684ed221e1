#pragma once
// Clocks and thread identity.
#include <cstdint>

namespace platform {

// Milliseconds of a monotonic clock (never jumps with the wall clock).
int64_t MonotonicMilliseconds();

// The clock that timing reads (type-ahead, animation), in milliseconds: the monotonic clock,
// unless a test has put a clock of its own in its place.
int64_t ClockMilliseconds();
using TClockSource = int64_t (*)();
// Makes source the clock (nullptr: the monotonic clock again); returns the source it replaces.
TClockSource SetClockSource(TClockSource source);

struct LocalTime {
  int year, month, day;           // month 1..12, day 1..31
  int hour, minute, second, millisecond;
};
LocalTime LocalTimeNow();

// The kernel's id of the calling thread; never 0.
uint32_t CurrentThreadId();

}  // namespace platform
