#include "base/MyThreadMath.h"

#include <gtest/gtest.h>

// The cells are std::atomic underneath; what is checked here is their own contract: which
// operations give the value before and which the value after, and the widths they wrap at.
TEST(MyThreadMath, ResultsAndWidths) {
  TInterlockedCounter16 c16;
  c16.Init(static_cast<int16_t>(0xFFFF));
  EXPECT_EQ(c16.Dec(), -2);
  c16.Init(32767);
  EXPECT_EQ(c16.Inc(), -32768);  // wraps like the 16-bit register

  TInterlockedInt32 c32;
  c32.Init(INT32_MAX);
  EXPECT_EQ(c32.Inc(), INT32_MIN);         // the value after
  EXPECT_EQ(c32.Exchange(34), INT32_MIN);  // the value before
  EXPECT_TRUE(c32.Add(1000) == 1034 && c32.Sub(1000) == 34 && c32.Dec() == 33 && c32.Clear() == 33 && c32.Read() == 0);

  TInterlocked7Bit c7;
  c7.Init(200);  // 200 and 127
  EXPECT_TRUE(c7.Read() == 72 && c7.Change(true) == 73 && c7.Set(5) == 73 && c7.Clear() == 5 && !c7.IsSet());

  TInterlockedBool b;
  b.Init(true);
  EXPECT_TRUE(b.Exchange(false) && b.Toggle() && b.Read());  // Toggle gives the value afterwards

  TInterlockedInt64 c64;
  c64.Init(INT64_MAX);
  EXPECT_EQ(c64.Add(1), INT64_MIN);
  EXPECT_EQ(c64.Add(0x100000000LL), INT64_MIN + 0x100000000LL);  // all 8 bytes change together
  EXPECT_EQ(c64.Exchange(77), INT64_MIN + 0x100000000LL);
  EXPECT_TRUE(c64.Sub(1000) == -923 && c64.Clear() == -923);

  TInterlockedDouble d;
  d.Set(34.0);
  EXPECT_EQ(d.Exchange(77.0), 34.0);
  EXPECT_TRUE(d.Clear() == 77.0 && d.Read() == 0.0);
}

// The cells hold at start-up; cells that did not would stop the program there, with the
// unit's assertion on standard error.
TEST(MyThreadMath, StartupCheckHoldsAndStopsTheProgramWhenItFails) {
  EXPECT_TRUE(ThreadMathSelfCheck());
  EXPECT_TRUE(RunThreadMathStartupCheck(ThreadMathSelfCheck));
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(RunThreadMathStartupCheck([] { return false; }), "^Unit MyThreadMath\n$");
}
