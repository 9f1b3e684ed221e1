#pragma once
// The animation tests' clock and sleeper, injected while each test runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gif/gui/GifPicture.h"
#include "platform/core/Clock.h"
#include "tests/gif/GifTestSupport.h"

namespace gif::test {

// The injected clock: it stands still unless the test or the animation's sleeps move it.
inline int64_t fakeNow = 0;
inline std::vector<int> sleeps;

class GifClockTest : public ::testing::Test {
protected:
  void SetUp() override {
    qttest::EnsureApp();
    fakeNow = 1000;
    sleeps.clear();
    platform::SetClockSource([] { return fakeNow; });
    SetGIFSleeper([](int ms) { sleeps.push_back(ms), fakeNow += ms; });
  }
  void TearDown() override {
    platform::SetClockSource(nullptr);
    SetGIFSleeper(nullptr);
  }
};

}  // namespace gif::test
