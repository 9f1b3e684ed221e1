#include "platform/core/Clock.h"

#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <ctime>

namespace platform {

int64_t MonotonicMilliseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

namespace {
// Atomic: the clock may be read from any thread while a test swaps it.
std::atomic<TClockSource> clockSource{&MonotonicMilliseconds};
}  // namespace

int64_t ClockMilliseconds() { return clockSource.load(std::memory_order_acquire)(); }

TClockSource SetClockSource(TClockSource source) {
  return clockSource.exchange(source ? source : &MonotonicMilliseconds, std::memory_order_acq_rel);
}

LocalTime LocalTimeNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm t;
  localtime_r(&secs, &t);
  return LocalTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                   static_cast<int>(ts.tv_nsec / 1000000)};
}

uint32_t CurrentThreadId() {
  thread_local uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

}  // namespace platform
