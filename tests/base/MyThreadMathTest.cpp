#include "base/MyThreadMath.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr int Threads = 4;
constexpr int Rounds = 100000;

template <typename F>
void RunThreads(F body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t) threads.emplace_back(body);
  for (auto& t : threads) t.join();
}

}  // namespace

TEST(MyThreadMath, Counter16DecrementOfFFFFIsMinusTwo) {
  TInterlockedCounter16 c;
  c.Init(static_cast<int16_t>(0xFFFF));
  EXPECT_EQ(c.Dec(), -2);
  EXPECT_EQ(c.Read(), -2);
  EXPECT_EQ(c.Inc(), -1);
  EXPECT_EQ(c.Inc(), 0);
  c.Init(0);
  EXPECT_EQ(c.Dec(), -1);
  c.Init(32767);
  EXPECT_EQ(c.Inc(), -32768);  // wraps like the 16-bit register
}

TEST(MyThreadMath, Int32Operations) {
  TInterlockedInt32 c;
  c.Init(55);
  EXPECT_EQ(c.Read(), 55);
  EXPECT_EQ(c.Clear(), 55);
  EXPECT_EQ(c.Read(), 0);
  EXPECT_EQ(c.Exchange(34), 0);  // the value before
  EXPECT_EQ(c.Exchange(77), 34);
  EXPECT_EQ(c.Inc(), 78);  // the value after
  EXPECT_EQ(c.Dec(), 77);
  EXPECT_EQ(c.Add(1000), 1077);
  EXPECT_EQ(c.Sub(1000), 77);
  c.Init(INT32_MAX);
  EXPECT_EQ(c.Inc(), INT32_MIN);
}

TEST(MyThreadMath, SevenBitCell) {
  TInterlocked7Bit c;
  c.Init(200);  // 200 and 127
  EXPECT_EQ(c.Read(), 72);
  EXPECT_TRUE(c.IsSet());
  EXPECT_EQ(c.Change(true), 73);
  EXPECT_EQ(c.Change(false), 72);
  EXPECT_EQ(c.Set(5), 72);
  EXPECT_EQ(c.Read(), 5);
  c.Clear();
  EXPECT_FALSE(c.IsSet());
  EXPECT_EQ(c.Read(), 0);
}

TEST(MyThreadMath, BooleanCell) {
  TInterlockedBool b;
  b.Init(true);
  EXPECT_TRUE(b.Read());
  EXPECT_TRUE(b.Exchange(false));
  EXPECT_FALSE(b.Read());
  b.Set(true);
  EXPECT_TRUE(b.Read());
  EXPECT_FALSE(b.Toggle());  // the value afterwards
  EXPECT_TRUE(b.Toggle());
}

TEST(MyThreadMath, Int64Sequence) {
  TInterlockedInt64 c;
  c.Init(55);
  EXPECT_EQ(c.Read(), 55);
  c.Clear();
  EXPECT_EQ(c.Read(), 0);
  c.Exchange(34);
  EXPECT_EQ(c.Read(), 34);
  EXPECT_EQ(c.Exchange(77), 34);
  EXPECT_EQ(c.Add(1), 78);
  EXPECT_EQ(c.Add(1000), 1078);
  EXPECT_EQ(c.Sub(1), 1077);
  EXPECT_EQ(c.Sub(1000), 77);
  EXPECT_EQ(c.Clear(), 77);  // the old value
  c.Init(INT64_MAX);
  EXPECT_EQ(c.Add(1), INT64_MIN);
  EXPECT_EQ(c.Add(0x100000000LL), INT64_MIN + 0x100000000LL);  // all 8 bytes change together
}

TEST(MyThreadMath, DoubleSequence) {
  TInterlockedDouble c;
  c.Init(55.0);
  EXPECT_EQ(c.Read(), 55.0);
  c.Clear();
  EXPECT_EQ(c.Read(), 0.0);
  c.Set(34.0);
  EXPECT_EQ(c.Read(), 34.0);
  EXPECT_EQ(c.Exchange(77.0), 34.0);
  EXPECT_EQ(c.Read(), 77.0);
  EXPECT_EQ(c.Clear(), 77.0);
}

TEST(MyThreadMath, Int32UnderThreads) {
  TInterlockedInt32 c;
  RunThreads([&] {
    for (int i = 0; i < Rounds; ++i) c.Inc();
  });
  EXPECT_EQ(c.Read(), Threads * Rounds);
  RunThreads([&] {
    for (int i = 0; i < Rounds; ++i) c.Sub(2);
  });
  EXPECT_EQ(c.Read(), -Threads * Rounds);
}

TEST(MyThreadMath, Int32IncrementResultsAreUnique) {
  TInterlockedInt32 c;
  std::vector<std::vector<int32_t>> seen(Threads);
  std::vector<std::thread> threads;
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < Rounds; ++i) seen[t].push_back(c.Inc());
    });
  for (auto& t : threads) t.join();
  std::vector<bool> hit(Threads * Rounds + 1, false);
  for (auto& s : seen)
    for (int32_t v : s) {
      ASSERT_GE(v, 1);
      ASSERT_LE(v, Threads * Rounds);
      ASSERT_FALSE(hit[v]) << v;
      hit[v] = true;
    }
}

TEST(MyThreadMath, Int64UnderThreads) {
  TInterlockedInt64 c;
  c.Init(0xFFFFFFF0LL);  // additions cross the 32-bit boundary
  RunThreads([&] {
    for (int i = 0; i < Rounds; ++i) c.Add(3);
  });
  EXPECT_EQ(c.Read(), 0xFFFFFFF0LL + 3LL * Threads * Rounds);
  RunThreads([&] {
    for (int i = 0; i < Rounds; ++i) c.Sub(3);
  });
  EXPECT_EQ(c.Read(), 0xFFFFFFF0LL);
}

TEST(MyThreadMath, Counter16UnderThreads) {
  TInterlockedCounter16 c;
  c.Init(-1);
  RunThreads([&] {
    for (int i = 0; i < 5000; ++i) {
      c.Inc();
      c.Dec();
    }
  });
  EXPECT_EQ(c.Read(), -1);
  RunThreads([&] {
    for (int i = 0; i < 5000; ++i) c.Inc();
  });
  EXPECT_EQ(c.Read(), Threads * 5000 - 1);
}

TEST(MyThreadMath, BoolAnd7BitUnderThreads) {
  TInterlockedBool b;
  b.Init(false);
  TInterlocked7Bit seven;
  seven.Init(0);
  RunThreads([&] {
    for (int i = 0; i < Rounds; ++i) {
      b.Toggle();
      seven.Change(i % 2 == 0);
    }
  });
  EXPECT_FALSE(b.Read());  // an even number of toggles
  EXPECT_EQ(seven.Read(), 0);
}

TEST(MyThreadMath, ExchangeHandsOutEveryValueOnce) {
  // Each thread swaps its own values in; every value swapped in comes out exactly once.
  TInterlockedInt64 c;
  c.Init(-1);
  std::vector<std::vector<int64_t>> out(Threads);
  std::vector<std::thread> threads;
  constexpr int N = 20000;
  for (int t = 0; t < Threads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < N; ++i) out[t].push_back(c.Exchange(static_cast<int64_t>(t) * N + i));
    });
  for (auto& t : threads) t.join();
  std::vector<int> count(Threads * N, 0);
  int initial = 0;
  for (auto& o : out)
    for (int64_t v : o) v < 0 ? ++initial : ++count[v];
  ++count[c.Read()];
  EXPECT_EQ(initial, 1);
  for (int v : count) ASSERT_EQ(v, 1);
}
