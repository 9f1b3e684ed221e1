#pragma once
// Work measured against other work of the same run, never against the clock on the wall: the CPU
// time of the calling thread (time it waits for a CPU, a lock or the disk does not count), compared
// between two sizes of one job. Work that grows with the size grows by the sizes' ratio; work that
// grows with its square, by the square of it. Each size is run in turn, more than once, and the
// least time of each is taken, so that a burst of load on the machine during one round does not
// count; a slow or busy machine changes both alike. Timings themselves belong to bench/.
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <sstream>
#include <string>

namespace workgrowth {

// CPU seconds the calling thread has used.
inline double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU seconds of the calling thread that job takes.
inline double CpuSecondsOf(const std::function<void()>& job) {
  const double start = ThreadCpuSeconds();
  job();
  return ThreadCpuSeconds() - start;
}

// How many times the work of job(small) job(large) is: rounds of both sizes in turn, the least of
// each; tidy (when given) runs after each job, outside the measure.
inline double GrowthRatio(const std::function<void(int)>& job, int small, int large, int rounds = 3,
                          const std::function<void()>& tidy = {}) {
  auto once = [&](int size) {
    const double t = CpuSecondsOf([&] { job(size); });
    if (tidy) tidy();
    return t;
  };
  double s = std::numeric_limits<double>::infinity(), l = s;
  for (int round = 0; round < rounds; ++round) {
    s = std::min(s, once(small));
    l = std::min(l, once(large));
  }
  return l / std::max(s, 1e-6);
}

// The work of job grows no faster than its size: at large it is at most three times the sizes'
// ratio of the work at small. Work that grows with the square of the size, from sizes 8 apart, is
// 64 times; linear work 8 at most.
inline ::testing::AssertionResult GrowsLinearly(const std::function<void(int)>& job, int small, int large,
                                                int rounds = 3, const std::function<void()>& tidy = {}) {
  const double ratio = GrowthRatio(job, small, large, rounds, tidy);
  const double sizes = static_cast<double>(large) / small;
  if (ratio < 3 * sizes) return ::testing::AssertionSuccess();
  std::ostringstream out;
  out << "the work at " << large << " is " << ratio << " times the work at " << small << "; growing with the size, "
      << sizes << " times, it would stay below " << 3 * sizes;
  return ::testing::AssertionFailure() << out.str();
}

}  // namespace workgrowth
